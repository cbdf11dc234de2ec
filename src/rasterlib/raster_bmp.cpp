// BMP codec: reads Windows and OS/2 bitmaps (uncompressed, RLE8, RLE4, bit fields 16 and
// 32 bit), writes uncompressed bitmaps. Every read is bounded by the image's own buffers.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include "rasterlib/raster_codecs.h"

namespace {

const uint16_t kBmpMagic = 0x4D42;  // "BM"

int64_t rowBytes(int64_t bits, int64_t width) { return ((bits * width + 31) / 32) * 4; }

// Pels per metre to dpi; values that do not fit leave the default (SetXDPI turns 0 into 96).
int32_t dpiFromPelsPerMetre(int32_t ppm)
{
    const double dpi = floor(ppm * 254.0 / 10000.0 + 0.5);
    return (dpi >= 1.0 && dpi <= 1000000.0) ? static_cast<int32_t>(dpi) : 0;
}

// Moves forward over bytes nobody needs; 64-bit counts that overflow a seek go to the end.
void skipBytes(RasterFile* f, uint64_t n)
{
    if (n == 0) return;
    if (n > 0x7FFFFFFFull) f->Seek(0, SEEK_END);
    else f->Seek(static_cast<int32_t>(n), SEEK_CUR);
}

}  // namespace

bool RasterImageBMP::DibReadBitmapInfo(RasterFile* fh, tagBITMAPINFOHEADER* pdib)
{
    if (!fh || !pdib) return false;
    if (fh->Read(pdib, sizeof(tagBITMAPINFOHEADER), 1) == 0) return false;
    bihtoh(pdib);
    switch (pdib->biSize) {
    case 12: {
        // OS/2 core header: u16 width, height, planes, bit count after the size.
        uint8_t raw[12];
        memcpy(raw, pdib, 12);
        tagBITMAPINFOHEADER bih;
        memset(&bih, 0, sizeof(bih));
        bih.biSize = 12;
        bih.biWidth = raw[4] | (raw[5] << 8);
        bih.biHeight = raw[6] | (raw[7] << 8);
        bih.biPlanes = static_cast<uint16_t>(raw[8] | (raw[9] << 8));
        bih.biBitCount = static_cast<uint16_t>(raw[10] | (raw[11] << 8));
        *pdib = bih;
        fh->Seek(-28, SEEK_CUR);
        break;
    }
    case 40: break;
    case 64: fh->Seek(24, SEEK_CUR); break;
    case 124:
        // Bit-field masks sit right after the first 40 bytes of this header: stay there.
        if (pdib->biCompression != BI_BITFIELDS) fh->Seek(84, SEEK_CUR);
        break;
    default: {
        if (pdib->biSize < 41) return false;
        const __int128 need = static_cast<__int128>(pdib->biHeight) * rowBytes(pdib->biBitCount, pdib->biWidth);
        if (static_cast<__int128>(pdib->biSizeImage) >= need && pdib->biPlanes == 1 && pdib->biClrUsed == 0) {
            if (pdib->biCompression == BI_RGB) skipBytes(fh, pdib->biSize - 40u);
        } else {
            return false;
        }
        break;
    }
    }
    if (pdib->biSizeImage == 0) {
        const __int128 size = static_cast<__int128>(rowBytes(pdib->biBitCount, pdib->biWidth)) * pdib->biHeight;
        pdib->biSizeImage = (size < 0 || size > 0xFFFFFFFFll) ? 0xFFFFFFFFu : static_cast<uint32_t>(size);
    }
    if (pdib->biClrUsed == 0 && pdib->biBitCount <= 8) pdib->biClrUsed = 1u << pdib->biBitCount;
    return true;
}

bool RasterImageBMP::Encode(RasterFile* hFile)
{
    if (!EncodeSafeCheck(hFile)) return false;
    try {
        tagBITMAPFILEHEADER hdr;
        hdr.bfType = kBmpMagic;
        hdr.bfSize = GetSize() + 14;
        hdr.bfReserved1 = hdr.bfReserved2 = 0;
        hdr.bfOffBits = 14 + 40 + GetPaletteSize();
        if (hFile->Write(&hdr, sizeof(hdr), 1) != 1) throw "Error writing BMP file header";
        memcpy(pDib, &head, sizeof(tagBITMAPINFOHEADER));
        // A short write is a failed encode (full disk, closed stream), never a success. The
        // pixels go from where they are, borrowed or not.
        const uint32_t front = head.biSize + GetPaletteSize();
        if (hFile->Write(pDib, front, 1) != 1 || (head.biSizeImage && hFile->Write(info.pImage, head.biSizeImage, 1) != 1))
            throw "Error writing BMP file";
    } catch (const char* message) {
        if (*message) SetError(message);
        return false;
    }
    return true;
}

void RasterImageBMP::ReadRle8(RasterFile* hFile)
{
    const int64_t eff = info.dwEffWidth;
    const int64_t total = eff * head.biHeight;
    uint8_t* bits = info.pImage;
    int64_t row = 0, col = 0;
    auto put = [&](uint8_t v) {
        const int64_t pos = row * eff + col;
        if (row >= 0 && pos >= 0 && pos < total) bits[pos] = v;
        ++col;
    };
    uint8_t status, second, run[256];
    while (hFile->Read(&status, 1, 1) == 1) {
        if (status != 0) {
            uint8_t color;
            if (hFile->Read(&color, 1, 1) != 1) return;
            for (int i = 0; i < status; ++i) put(color);
            continue;
        }
        if (hFile->Read(&second, 1, 1) != 1) return;
        switch (second) {
        case 1: return;  // end of bitmap
        case 0:
            ++row;
            col = 0;
            break;
        case 2: {
            uint8_t delta[2];
            if (hFile->Read(delta, 1, 2) != 2) return;
            col += delta[0];
            row += delta[1];
            break;
        }
        default: {
            const size_t got = hFile->Read(run, 1, second);
            for (size_t i = 0; i < got; ++i) put(run[i]);
            if (got < second) return;
            if (second & 1) hFile->Read(run, 1, 1);
            break;
        }
        }
    }
}

void RasterImageBMP::ReadRle4(RasterFile* hFile)
{
    const int64_t eff = info.dwEffWidth;
    const int64_t total = eff * head.biHeight;
    uint8_t* bits = info.pImage;
    int64_t row = 0, col = 0;
    bool high = true;
    auto put = [&](uint8_t nibble) {
        const int64_t pos = row * eff + col;
        const bool inside = row >= 0 && pos >= 0 && pos < total;
        if (high) {
            if (inside) bits[pos] = static_cast<uint8_t>(nibble << 4);
            high = false;
        } else {
            if (inside) bits[pos] |= static_cast<uint8_t>(nibble & 0x0F);
            ++col;
            high = true;
        }
    };
    uint8_t status, second;
    while (hFile->Read(&status, 1, 1) == 1) {
        if (status != 0) {
            uint8_t color;
            if (hFile->Read(&color, 1, 1) != 1) return;
            for (int i = 0; i < status; ++i) put((i & 1) ? (color & 0x0F) : (color >> 4));
            continue;
        }
        if (hFile->Read(&second, 1, 1) != 1) return;
        switch (second) {
        case 1: return;
        case 0:
            ++row;
            col = 0;
            high = true;
            break;
        case 2: {
            uint8_t delta[2];
            if (hFile->Read(delta, 1, 2) != 2) return;
            col += delta[0] / 2;
            row += delta[1];
            break;
        }
        default: {
            uint8_t b;
            if (hFile->Read(&b, 1, 1) != 1) return;
            for (int i = 0; i < second; ++i) {
                put((i & 1) ? (b & 0x0F) : (b >> 4));
                if ((i & 1) && i + 1 < second && hFile->Read(&b, 1, 1) != 1) return;
            }
            if ((second + 1) & 2) hFile->Read(&b, 1, 1);
            break;
        }
        }
    }
}

bool RasterImageBMP::Decode(RasterFile* hFile)
{
    if (!hFile) return false;
    std::vector<uint8_t> bitfields;
    try {
        const int32_t start = hFile->Tell();
        tagBITMAPFILEHEADER bf;
        if (hFile->Read(&bf, sizeof(bf), 1) == 0) throw "Not a BMP";
        bf.bfOffBits = m_ntohl(bf.bfOffBits);
        if (m_ntohs(bf.bfType) != kBmpMagic) {
            bf.bfOffBits = 0;  // a bare information header: no file header, no data offset
            hFile->Seek(start, SEEK_SET);
        }
        tagBITMAPINFOHEADER bmp;
        if (!DibReadBitmapInfo(hFile, &bmp)) throw "Error reading BMP info";
        const bool os2 = bmp.biSize == 12;
        const bool topDown = bmp.biHeight < 0;
        if (bmp.biHeight == INT32_MIN) throw "Error reading BMP info";
        if (topDown) bmp.biHeight = -bmp.biHeight;

        if (info.nEscape == -1) {
            head.biWidth = bmp.biWidth;
            head.biHeight = bmp.biHeight;
            info.dwType = IMAGE_TYPE_BMP;
            throw "output dimensions returned";
        }
        // Rows that may be left in the caller's buffer need no zeroed area of their own: it is
        // zeroed below only if they are read after all.
        bool unzeroed = info.nBorrow == 1 && !topDown && bmp.biCompression == BI_RGB &&
                        (bmp.biBitCount == 24 || bmp.biBitCount == 8 || bmp.biBitCount == 4 || bmp.biBitCount == 1);
        m_leavePixels = unzeroed;
        if (!Create(static_cast<uint32_t>(bmp.biWidth), static_cast<uint32_t>(bmp.biHeight), bmp.biBitCount,
                    IMAGE_TYPE_BMP))
            throw "";
        auto zeroPixels = [&]() {
            if (unzeroed) memset(info.pImage, 0, head.biSizeImage);
            unzeroed = false;
        };
        SetXDPI(dpiFromPelsPerMetre(bmp.biXPelsPerMeter));
        SetYDPI(dpiFromPelsPerMetre(bmp.biYPelsPerMeter));
        if (info.nEscape) throw "Cancelled";

        RGBQUAD* pal = GetPalette();
        if (pal) {
            const uint32_t fileCount = bmp.biClrUsed ? bmp.biClrUsed : (bmp.biBitCount < 32 ? 1u << bmp.biBitCount : 0u);
            // The file may claim more entries than its depth allows: keep what fits the
            // palette, step over the rest so the pixel data is found where it starts.
            uint32_t cap = bmp.biBitCount <= 8 ? (1u << bmp.biBitCount) : 0u;
            if (cap > head.biClrUsed) cap = head.biClrUsed;
            const uint32_t count = fileCount < cap ? fileCount : cap;
            const uint32_t entry = os2 ? 3 : 4;
            hFile->Read(pal, entry, count);
            skipBytes(hFile, static_cast<uint64_t>(fileCount - count) * entry);
            if (os2) {
                uint8_t* p = reinterpret_cast<uint8_t*>(pal);
                for (int32_t i = static_cast<int32_t>(count) - 1; i >= 0; --i) {
                    pal[i].rgbRed = p[3 * i + 2];
                    pal[i].rgbGreen = p[3 * i + 1];
                    pal[i].rgbBlue = p[3 * i];
                    pal[i].rgbReserved = 0;
                }
            } else {
                for (uint32_t i = 0; i < count; ++i) pal[i].rgbReserved = 0;
            }
            info.last_c_isvalid = false;
        }
        if (info.nEscape) throw "Cancelled";

        auto toData = [&]() {
            if (bf.bfOffBits) hFile->Seek(static_cast<int32_t>(start + static_cast<int64_t>(bf.bfOffBits)), SEEK_SET);
        };
        // Never more than the rows hold, whatever the header claims.
        const uint64_t rowsBytes = static_cast<uint64_t>(info.dwEffWidth) * head.biHeight;
        const uint64_t want = bmp.biSizeImage < rowsBytes ? bmp.biSizeImage : rowsBytes;
        // The rows read whole from a buffer in memory, as they are: point at them when asked to.
        auto borrowRows = [&]() {
            auto* mem = dynamic_cast<RasterMemFile*>(hFile);
            const int32_t at = hFile->Tell(), total = hFile->Size();
            if (info.nBorrow != 1 || topDown || want != rowsBytes || !mem || at < 0 || total < 0 ||
                static_cast<uint64_t>(at) + want > static_cast<uint64_t>(total)) {
                zeroPixels();
                return false;
            }
            info.pImage = mem->GetBuffer(false) + at;
            info.nBorrow = 2;
            return true;
        };
        auto readMasks = [&](uint32_t& r, uint32_t& g, uint32_t& b) {
            uint32_t m[3] = {0, 0, 0};
            hFile->Read(m, 4, 3);
            r = m_ntohl(m[0]);
            g = m_ntohl(m[1]);
            b = m_ntohl(m[2]);
        };
        switch (bmp.biBitCount) {
        case 32: {
            uint32_t r = 0x00FF0000, g = 0x0000FF00, b = 0x000000FF;
            if (bmp.biCompression == BI_BITFIELDS) readMasks(r, g, b);
            else if (bmp.biCompression != BI_RGB) throw "unknown compression";
            toData();
            try {
                bitfields.assign(static_cast<size_t>(head.biWidth) * 4 * head.biHeight, 0);
            } catch (const std::bad_alloc&) {
                throw "can't allocate memory";
            }
            hFile->Read(bitfields.data(), 1, bitfields.size());
            Bitfield2RGB(bitfields.data(), r, g, b, 32);
            break;
        }
        case 24:
            if (bmp.biCompression != BI_RGB) throw "unknown compression";
            toData();
            if (!borrowRows()) hFile->Read(info.pImage, 1, static_cast<size_t>(want));
            break;
        case 16: {
            uint32_t r = 0x7C00, g = 0x03E0, b = 0x001F;
            if (bmp.biCompression == BI_BITFIELDS) readMasks(r, g, b);
            toData();
            const uint64_t bytes = static_cast<uint64_t>((head.biWidth + 1) / 2) * 4 * head.biHeight;
            hFile->Read(info.pImage, 1, static_cast<size_t>(bytes < rowsBytes ? bytes : rowsBytes));
            Bitfield2RGB(info.pImage, r, g, b, 16);
            break;
        }
        case 8:
        case 4:
        case 1:
            toData();
            switch (bmp.biCompression) {
            case BI_RGB:
                if (!borrowRows()) hFile->Read(info.pImage, 1, static_cast<size_t>(want));
                break;
            case BI_RLE8: ReadRle8(hFile); break;
            case BI_RLE4: ReadRle4(hFile); break;
            default: throw "compression type not supported";
            }
            break;
        default: break;  // depths without a reader keep the zeroed rows
        }
        if (topDown) Flip();
    } catch (const char* message) {
        if (*message) SetError(message);
        return info.nEscape == -1 && info.dwType == IMAGE_TYPE_BMP;
    }
    return true;
}
