// TIFF decoder: one page (the image's current frame) of a stripped or tiled file into
// the bitmap; bilevel, grey, palette and CIELab directly, other colour spaces via RGBA.
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

#include <tiffio.h>

#include "core/image_utils.h"
#include "rasterlib/raster_codecs.h"

namespace {

// Extra bytes behind every row buffer: the bit unpackers read a window of up to 5 bytes.
const size_t kPad = 8;
const uint64_t kMaxBuffer = 1ull << 30;

int32_t toDpi(double v)
{
    return (v >= 1.0 && v < 2147483648.0) ? static_cast<int32_t>(v) : 0;
}

int32_t toOffset(double v)
{
    return (v > -2147483648.0 && v < 2147483648.0) ? static_cast<int32_t>(v) : 0;
}

std::vector<uint8_t> makeBuffer(uint64_t bytes)
{
    if (bytes > kMaxBuffer) throw "RasterImageTIF can't allocate memory";
    try {
        return std::vector<uint8_t>(static_cast<size_t>(bytes) + kPad, 0);
    } catch (const std::bad_alloc&) {
        throw "RasterImageTIF can't allocate memory";
    }
}

uint8_t clampChannel(double c)
{
    c = c > 0.00304 ? 1.055 * pow(c, 0.41667) - 0.055 : 12.92 * c;
    const int v = static_cast<int>(c * 255);  // NaN-free: inputs are finite
    return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

RGBQUAD labToRgb(uint8_t L, int8_t a, int8_t b)
{
    const double fy = (L / 2.55 + 16) / 116;
    const double fx = fy + a * 0.002;
    const double fz = fy - b * 0.005;
    const double X = 0.95047 * fx * fx * fx, Y = fy * fy * fy, Z = 1.0883 * fz * fz * fz;
    RGBQUAD c;
    c.rgbRed = clampChannel(3.240479 * X - 1.53715 * Y - 0.498535 * Z);
    c.rgbGreen = clampChannel(-0.969256 * X + 1.875992 * Y + 0.041556 * Z);
    c.rgbBlue = clampChannel(0.055648 * X - 0.204043 * Y + 1.057311 * Z);
    c.rgbReserved = 0;
    return c;
}

// The picture arrives as stored, file row 0 on top; turn it as the Orientation tag says
// it is displayed (6: the stored top row is the right-hand column, a clockwise turn).
void applyOrientation(RasterImage& img, uint16_t orientation)
{
    switch (orientation) {
    case ORIENTATION_TOPRIGHT: img.Mirror(); break;
    case ORIENTATION_BOTRIGHT: img.Flip(); img.Mirror(); break;
    case ORIENTATION_BOTLEFT: img.Flip(); break;
    case ORIENTATION_LEFTTOP: img.RotateRight(); img.Mirror(); break;
    case ORIENTATION_RIGHTTOP: img.RotateRight(); break;
    case ORIENTATION_RIGHTBOT: img.RotateLeft(); img.Mirror(); break;
    case ORIENTATION_LEFTBOT: img.RotateLeft(); break;
    default: break;
    }
}

// The plain (uncompressed, MSB-first) strips of a file held in memory, where they lie: their
// rows are taken from there without libtiff's copy. Anything else (a file on disk, a packed or
// bit-reversed strip, one that does not hold all its rows) is left to libtiff, which reads it or
// reports what is wrong.
class PlainStrips {
public:
    PlainStrips(TIFF* tif, RasterFile* hFile)
    {
        auto* mem = dynamic_cast<RasterMemFile*>(hFile);
        uint16_t compression = COMPRESSION_NONE, fillOrder = FILLORDER_MSB2LSB;
        TIFFGetFieldDefaulted(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetFieldDefaulted(tif, TIFFTAG_FILLORDER, &fillOrder);
        const int32_t size = mem ? mem->Size() : -1;
        if (size < 0 || compression != COMPRESSION_NONE || fillOrder != FILLORDER_MSB2LSB ||
            !TIFFGetField(tif, TIFFTAG_STRIPOFFSETS, &m_offsets) || !TIFFGetField(tif, TIFFTAG_STRIPBYTECOUNTS, &m_counts) ||
            !m_offsets || !m_counts)
            return;
        m_file = mem->GetBuffer(false);
        m_size = static_cast<uint64_t>(size);
        m_strips = TIFFNumberOfStrips(tif);
    }
    // Strip s when it holds `bytes` in the file, else null.
    const uint8_t* at(tstrip_t s, uint64_t bytes) const
    {
        if (!m_file || s >= m_strips || m_counts[s] < bytes || m_offsets[s] > m_size || bytes > m_size - m_offsets[s])
            return nullptr;
        return m_file + m_offsets[s];
    }

private:
    const uint8_t* m_file = nullptr;
    uint64_t m_size = 0;
    uint64_t* m_offsets = nullptr;
    uint64_t* m_counts = nullptr;
    tstrip_t m_strips = 0;
};

// Contiguous 8-bit RGB strips into a 24-bit bitmap: file row 0 is the bitmap's last row,
// samples reordered to blue, green, red. An unreadable strip fails the picture, as libtiff's
// RGBA reader does when told to stop at errors. The rows of a plain strip in a file in memory
// are reordered straight from the file; the others come through a strip buffer. The bitmap
// comes unzeroed: each row is written whole, padding included, and `done` counts the file rows
// written.
void readRgbStrips(TIFF* tif, RasterFile* hFile, RasterImage& img, uint32_t width, uint32_t height,
                   uint32_t rowsPerStrip, uint32_t& done)
{
    if (rowsPerStrip == 0 || rowsPerStrip > height) rowsPerStrip = height;
    const uint64_t line = 3ull * width;
    const PlainStrips plain(tif, hFile);
    std::vector<uint8_t> strip;
    for (uint32_t row = 0; row < height; row += rowsPerStrip) {
        const uint32_t nrow = rowsPerStrip < height - row ? rowsPerStrip : height - row;
        const tstrip_t s = TIFFComputeStrip(tif, row, 0);
        const uint8_t* rows = plain.at(s, nrow * line);
        if (!rows) {
            if (strip.empty()) strip = makeBuffer(line * rowsPerStrip);
            if (TIFFReadEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(nrow * line)) == -1)
                throw "Corrupted TIFF file!";
            rows = strip.data();
        }
        for (uint32_t i = 0; i < nrow; ++i) {
            // The bitmap's rows are filled at falling addresses: a row a few ahead is asked for.
            const uint32_t ahead = row + i + 4;
            if (ahead < height) prefetchRows(img, height - 1 - ahead, height - 1 - ahead, true);
            uint8_t* dst = img.GetBits(height - 1 - (row + i));
            pvk::core::swapOuterBytes(dst, rows + i * line, width);
            memset(dst + line, 0, img.GetEffWidth() - line);
        }
        done = row + nrow;
        if (img.GetEscape()) throw "Cancelled";
        if (static_cast<uint64_t>(row) + rowsPerStrip >= height) break;
    }
}

}  // namespace

bool RasterImageTIF::Decode(RasterFile* hFile)
{
    TIFF* tif = nullptr;
    // Plain RGB strips fill an unzeroed bitmap: if they stop early, the rows not reached (file
    // rows rgbDone on, the bitmap's first rows) are zeroed as any decoder leaves them.
    bool rgbUnzeroed = false;
    uint32_t rgbDone = 0;
    try {
        tif = TIFFOpenEx(hFile);
        if (!tif) throw "Error encountered while opening TIFF file";
        info.nNumFrames = TIFFNumberOfDirectories(tif) & 0xFFFF;
        // The first page is the one just opened: only another is looked for.
        const bool opened = info.nFrame == 0 && TIFFCurrentDirectory(tif) == 0;
        if (info.nFrame < 0 || (!opened && !TIFFSetDirectory(tif, static_cast<tdir_t>(info.nFrame))))
            throw "Error: page not present in TIFF file";

        uint32_t width = 0, height = 0, rowsPerStrip = 0xFFFFFFFF;
        uint16_t spp = 1, bps = 1, photometric = 0, orientation = 1, compression = 1, planar = 1;
        TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
        TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bps);
        TIFFGetField(tif, TIFFTAG_ROWSPERSTRIP, &rowsPerStrip);
        TIFFGetField(tif, TIFFTAG_PHOTOMETRIC, &photometric);
        TIFFGetField(tif, TIFFTAG_ORIENTATION, &orientation);
        TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
        TIFFGetField(tif, TIFFTAG_PLANARCONFIG, &planar);

        if (info.nEscape == -1) {
            head.biWidth = static_cast<int32_t>(width);
            head.biHeight = static_cast<int32_t>(height);
            info.dwType = IMAGE_TYPE_TIF;
            throw "output dimensions returned";
        }

        uint16_t resUnit = RESUNIT_INCH;
        TIFFGetFieldDefaulted(tif, TIFFTAG_RESOLUTIONUNIT, &resUnit);
        float res = 0;
        if (TIFFGetField(tif, TIFFTAG_XRESOLUTION, &res)) {
            if (resUnit == RESUNIT_CENTIMETER) res = static_cast<float>(res * 2.54 + 0.5);
            SetXDPI(toDpi(res));
        }
        if (TIFFGetField(tif, TIFFTAG_YRESOLUTION, &res)) {
            if (resUnit == RESUNIT_CENTIMETER) res = static_cast<float>(res * 2.54 + 0.5);
            SetYDPI(toDpi(res));
        }
        float pos = 0;
        if (TIFFGetField(tif, TIFFTAG_XPOSITION, &pos)) info.xOffset = toOffset(pos);
        if (TIFFGetField(tif, TIFFTAG_YPOSITION, &pos)) info.yOffset = toOffset(pos);
        info.nBkgndIndex = -1;

        if (rowsPerStrip > height) {
            rowsPerStrip = height;
            TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, rowsPerStrip);
        }

        bool rgba = photometric == PHOTOMETRIC_RGB || photometric == PHOTOMETRIC_SEPARATED ||
                    photometric == PHOTOMETRIC_YCBCR || photometric == PHOTOMETRIC_LOGL ||
                    photometric == PHOTOMETRIC_LOGLUV;
        // The row unpackers below take several samples per pixel only as contiguous 8-bit
        // samples; every other layout goes through libtiff's own RGBA conversion.
        if (spp >= 2 && (bps != 8 || planar != PLANARCONFIG_CONTIG)) rgba = true;
        if (bps == 0 || bps > 32) rgba = true;
        const bool bilevelOrPalette = photometric <= PHOTOMETRIC_MINISBLACK || photometric == PHOTOMETRIC_PALETTE;
        const bool largePalette = !rgba && photometric == PHOTOMETRIC_PALETTE && bps > 8;
        uint32_t depth;
        if (rgba || largePalette || spp >= 3) depth = 24;
        else if (bilevelOrPalette && bps == 1) depth = 1;
        else if (bps == 4) depth = 4;
        else depth = 8;

        // Plain 8-bit RGB in strips: the samples as stored, reordered to blue first, without
        // libtiff's RGBA pass and its 4-byte buffer, into a bitmap that needs no zeroing first.
        uint16_t sampleFormat = SAMPLEFORMAT_UINT;
        TIFFGetFieldDefaulted(tif, TIFFTAG_SAMPLEFORMAT, &sampleFormat);
        const bool rgbStrips = rgba && photometric == PHOTOMETRIC_RGB && spp == 3 && bps == 8 &&
                               planar == PLANARCONFIG_CONTIG && sampleFormat == SAMPLEFORMAT_UINT && !TIFFIsTiled(tif) &&
                               compression != COMPRESSION_OJPEG && compression != COMPRESSION_JPEG;

        if (info.nEscape) throw "Cancelled";
        m_leavePixels = rgbStrips;
        if (!Create(width, height, depth, IMAGE_TYPE_TIF)) throw "RasterImageTIF can't create image";
        rgbUnzeroed = rgbStrips;
        SetCodecOption(compression, IMAGE_TYPE_TIF);

        if (rgbStrips) {
            readRgbStrips(tif, hFile, *this, width, height, rowsPerStrip, rgbDone);
            rgbUnzeroed = false;
            applyOrientation(*this, orientation);
            TIFFClose(tif);
            return true;
        }
        if (rgba) {
            std::vector<uint32_t> raster;
            try {
                raster.resize(static_cast<size_t>(width) * height);
            } catch (const std::bad_alloc&) {
                throw "No space for raster buffer";
            }
            // libtiff's RGBA reader flips for the orientation but never transposes: let it
            // read the picture as stored, and turn it below as for every other layout.
            TIFFSetField(tif, TIFFTAG_ORIENTATION, ORIENTATION_TOPLEFT);
            if (!TIFFReadRGBAImage(tif, width, height, raster.data(), 1)) throw "Corrupted TIFF file!";
            for (uint32_t y = 0; y < height; ++y) {
                uint8_t* row = GetBits(y);
                const uint32_t* src = raster.data() + static_cast<size_t>(y) * width;
                for (uint32_t x = 0; x < width; ++x) {
                    row[3 * x] = static_cast<uint8_t>(TIFFGetB(src[x]));
                    row[3 * x + 1] = static_cast<uint8_t>(TIFFGetG(src[x]));
                    row[3 * x + 2] = static_cast<uint8_t>(TIFFGetR(src[x]));
                }
                if (info.nEscape) throw "Cancelled";
            }
            applyOrientation(*this, orientation);
            TIFFClose(tif);
            return true;
        }

        // Palette: 256 entries up to 8 bits, 2^bits for a large palette.
        if (largePalette && bps > 24) throw "Too big palette to handle";
        const uint32_t palBits = bps <= 8 ? bps : 8;
        const size_t palCount = largePalette ? (size_t(1) << bps) : 256;
        std::vector<RGBQUAD> pal;
        try {
            pal.assign(palCount, RGBQUAD{0, 0, 0, 0});
        } catch (const std::bad_alloc&) {
            throw "Unable to allocate TIFF palette";
        }
        if (photometric <= PHOTOMETRIC_MINISBLACK) {
            const uint32_t n = 1u << palBits;
            if (n == 2) {
                const int white = photometric == PHOTOMETRIC_MINISWHITE ? 0 : 1;
                pal[white] = RGBQUAD{255, 255, 255, 0};
            } else {
                const uint32_t step = 255 / (n - 1);
                for (uint32_t i = 0; i < n; ++i) {
                    const uint8_t v = static_cast<uint8_t>(photometric == PHOTOMETRIC_MINISBLACK ? i * step
                                                                                             : 255 - i * step);
                    pal[i] = RGBQUAD{v, v, v, 0};
                }
            }
        } else if (photometric == PHOTOMETRIC_PALETTE) {
            uint16_t *red = nullptr, *green = nullptr, *blue = nullptr;
            if (TIFFGetField(tif, TIFFTAG_COLORMAP, &red, &green, &blue) && red && green && blue) {
                // libtiff holds 2^BitsPerSample entries: never look past them.
                const size_t held = bps < 31 ? (size_t(1) << bps) : palCount;
                const size_t n = held < palCount ? held : palCount;
                bool wide = largePalette;
                for (size_t i = n; !wide && i-- > 0;)
                    if (red[i] > 255 || green[i] > 255 || blue[i] > 255) wide = true;
                for (size_t i = 0; i < n; ++i) {
                    pal[i].rgbRed = static_cast<uint8_t>(wide ? red[i] / 257 : red[i] & 0xFF);
                    pal[i].rgbGreen = static_cast<uint8_t>(wide ? green[i] / 257 : green[i] & 0xFF);
                    pal[i].rgbBlue = static_cast<uint8_t>(wide ? blue[i] / 257 : blue[i] & 0xFF);
                }
            }
        }
        if (!largePalette) SetPalette(pal.data(), 1u << palBits);

        // Row buffers.
        const uint64_t line = (static_cast<uint64_t>(bps) * spp * width + 7) / 8;
        const bool tiled = TIFFIsTiled(tif) != 0;
        uint32_t tileWidth = 0, tileLength = 0;
        std::vector<uint8_t> tileBuf;
        if (tiled) {
            TIFFGetField(tif, TIFFTAG_TILEWIDTH, &tileWidth);
            TIFFGetField(tif, TIFFTAG_TILELENGTH, &tileLength);
            if (tileWidth == 0 || tileLength == 0) throw "Corrupted tiled TIFF file!";
            rowsPerStrip = tileLength;
            tileBuf = makeBuffer(static_cast<uint64_t>(TIFFTileSize(tif)));
        }
        if (rowsPerStrip == 0) rowsPerStrip = height;
        const uint32_t stripRows = rowsPerStrip < height ? rowsPerStrip : height;
        std::vector<uint8_t> strip = makeBuffer(line * stripRows);
        const bool sixteen = bps == 16 && spp == 1 && !largePalette;
        std::vector<int> rowShift(sixteen ? height : 0, 0);
        std::vector<uint8_t> line8(sixteen ? width + kPad : 0);

        const uint64_t scanline = static_cast<uint64_t>(TIFFScanlineSize64(tif));
        const uint64_t tileRow = tiled ? static_cast<uint64_t>(TIFFTileRowSize64(tif)) : 0;
        for (uint32_t row = 0; row < height; row += rowsPerStrip) {
            const uint32_t nrow = rowsPerStrip < height - row ? rowsPerStrip : height - row;
            if (!tiled) {
                const tstrip_t s = TIFFComputeStrip(tif, row, 0);
                // An unreadable strip ends the picture; the rows read so far are kept.
                if (TIFFReadEncodedStrip(tif, s, strip.data(), static_cast<tmsize_t>(nrow * line)) == -1) break;
            } else {
                uint64_t off = 0;
                for (uint32_t col = 0; col < width; col += tileWidth, off += tileRow) {
                    if (TIFFReadTile(tif, tileBuf.data(), col, row, 0, 0) < 0) throw "Corrupted tiled TIFF file!";
                    const uint64_t end = scanline < line ? scanline : line;
                    if (off >= end) break;
                    const uint64_t cols = off + tileRow > end ? end - off : tileRow;
                    const uint32_t rows = nrow < tileLength ? nrow : tileLength;
                    TileToStrip(strip.data() + off, tileBuf.data(), rows, static_cast<uint32_t>(cols),
                                static_cast<int>(line - cols), static_cast<int>(tileRow - cols));
                }
            }
            for (uint32_t i = 0; i < nrow; ++i) {
                const uint8_t* src = strip.data() + (nrow - 1 - i) * line;
                const uint32_t y = height - row - nrow + i;
                uint8_t* dst = GetBits(y);
                if (sixteen) {
                    const uint16_t* s16 = reinterpret_cast<const uint16_t*>(src);
                    if (tiled) {
                        for (uint32_t x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(s16[x] >> 8);
                        continue;
                    }
                    // Scale each row by its own brightest high byte; rows are levelled below.
                    int m = 0;
                    for (uint32_t x = 0; x < width; ++x) m = (s16[x] >> 8) > m ? (s16[x] >> 8) : m;
                    int shift, rs;
                    if (m == 0) {
                        shift = 0;
                        rs = 8;
                    } else if (m >= 128) {
                        shift = 8;
                        rs = 0;
                    } else {
                        rs = 0;
                        while (!((m << rs) & 0x80)) ++rs;
                        shift = 8 - rs;
                    }
                    for (uint32_t x = 0; x < width; ++x) line8[x] = static_cast<uint8_t>((s16[x] >> shift) & 0xFF);
                    rowShift[y] = rs;
                    memcpy(dst, line8.data(), width < GetEffWidth() ? width : GetEffWidth());
                } else if (spp == 1) {
                    if (largePalette) MoveBitsPal(dst, src, static_cast<int>(width), bps, pal.data());
                    else if (bps == depth) memcpy(dst, src, line < GetEffWidth() ? line : GetEffWidth());
                    else MoveBits(dst, src, static_cast<int>(width), bps);
                } else if (spp == 2) {
                    for (uint32_t x = 0; x < width; ++x) SetPixelIndex(static_cast<int32_t>(x), y, src[2 * x]);
                } else {
                    for (uint32_t x = 0; x < width; ++x) {
                        const uint8_t* p = src + static_cast<size_t>(spp) * x;
                        SetPixelColor(static_cast<int32_t>(x), y,
                                      labToRgb(p[0], static_cast<int8_t>(p[1]), static_cast<int8_t>(p[2])));
                    }
                }
            }
            if (info.nEscape) throw "Cancelled";
            if (static_cast<uint64_t>(row) + rowsPerStrip >= height) break;  // never let row wrap
        }
        if (sixteen && height > 0) {
            int k = 8;
            for (uint32_t y = 0; y < height; ++y) k = rowShift[y] < k ? rowShift[y] : k;
            for (uint32_t y = 0; y < height; ++y) {
                if (rowShift[y] <= k) continue;
                uint8_t* dst = GetBits(y);
                for (uint32_t x = 0; x < width; ++x) dst[x] = static_cast<uint8_t>(dst[x] >> (rowShift[y] - k));
            }
        }

        applyOrientation(*this, orientation);
        TIFFClose(tif);
        return true;
    } catch (const char* message) {
        if (*message) SetError(message);
        if (tif) TIFFClose(tif);
        if (rgbUnzeroed && pDib)
            memset(info.pImage, 0, static_cast<size_t>(head.biHeight - rgbDone) * info.dwEffWidth);
        return info.nEscape == -1 && info.dwType == IMAGE_TYPE_TIF;
    }
}
