// The raster image object: construction, bitmap ownership (create, ghost, transfer, copy),
// descriptive information and its accessors.
#include "rasterlib/raster_image.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

namespace {

// Pixels per metre of a resolution, saturated where a huge dpi would not fit the header.
int32_t pelsPerMetre(int32_t dpi)
{
    const double ppm = floor(dpi * 10000.0 / 254.0 + 0.5);
    return ppm >= 2147483647.0 ? 2147483647 : static_cast<int32_t>(ppm);
}

uint32_t strideFor(uint32_t width, uint32_t bpp)
{
    return static_cast<uint32_t>(((static_cast<uint64_t>(bpp) * width + 31) / 32) * 4);
}

}  // namespace

RasterImage::RasterImage(uint32_t imagetype) { Startup(imagetype); }

RasterImage::RasterImage(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype)
{
    Startup(imagetype);
    Create(width, height, bpp, imagetype);
}

RasterImage::RasterImage(const RasterImage& src, bool copypixels, bool copyselection, bool copyalpha)
{
    Startup(src.GetType());
    Copy(src, copypixels, copyselection, copyalpha);
}

RasterImage::RasterImage(const char* filename, uint32_t imagetype)
{
    Startup(imagetype);
    Load(filename, imagetype);
}

RasterImage::RasterImage(FILE* stream, uint32_t imagetype)
{
    Startup(imagetype);
    Decode(stream, imagetype);
}

RasterImage::RasterImage(RasterFile* stream, uint32_t imagetype)
{
    Startup(imagetype);
    Decode(stream, imagetype);
}

RasterImage::RasterImage(uint8_t* buffer, uint32_t size, uint32_t imagetype)
{
    Startup(imagetype);
    Decode(buffer, size, imagetype);
}

RasterImage::~RasterImage()
{
    DestroyFrames();
    Destroy();
}

RasterImage& RasterImage::operator=(const RasterImage& src)
{
    if (this != &src) Copy(src);
    return *this;
}

void RasterImage::Startup(uint32_t imagetype)
{
    pDib = nullptr;
    memset(&head, 0, sizeof(head));
    memset(&info, 0, sizeof(info));
    info.dwType = imagetype;
    info.fQuality = 90.0f;
    info.nBkgndIndex = -1;
    info.nAlphaMax = 255;
    info.bEnabled = true;
    info.nJpegScale = 1;
    SetXDPI(96);
    SetYDPI(96);
    info.bLittleEndianHost = true;
}

void* RasterImage::Create(uint32_t width, uint32_t height, uint32_t bpp, uint32_t imagetype)
{
    if (!Destroy()) {
        m_leavePixels = false;
        return nullptr;
    }
    // Sizes travel in signed 32-bit header fields: anything that reads as <= 0 is refused.
    if (static_cast<int32_t>(width) <= 0 || static_cast<int32_t>(height) <= 0) {
        SetError("RasterImage::Create : width and height must be greater than zero");
        return nullptr;
    }
    uint32_t colors;
    if (bpp <= 1) {
        bpp = 1; colors = 2;
    } else if (bpp <= 4) {
        bpp = 4; colors = 16;
    } else if (bpp <= 8) {
        bpp = 8; colors = 256;
    } else {
        bpp = 24; colors = 0;
    }
    const uint64_t stride = strideFor(width, bpp);
    const uint64_t raw = static_cast<uint64_t>(width) * height * bpp / 8;
    if (raw > RASTERIMAGE_MAX_MEMORY || stride * height > RASTERIMAGE_MAX_MEMORY) {
        SetError("RASTERIMAGE_MAX_MEMORY exceeded");
        return nullptr;
    }
    info.dwEffWidth = static_cast<uint32_t>(stride);
    head.biSize = sizeof(tagBITMAPINFOHEADER);
    head.biWidth = static_cast<int32_t>(width);
    head.biHeight = static_cast<int32_t>(height);
    head.biPlanes = 1;
    head.biBitCount = static_cast<uint16_t>(bpp);
    head.biCompression = BI_RGB;
    head.biClrUsed = colors;
    head.biClrImportant = 0;
    head.biSizeImage = static_cast<uint32_t>(stride * height);
    info.dwType = imagetype;
    info.last_c_isvalid = false;

    const bool leavePixels = m_leavePixels;
    m_leavePixels = false;
    if (leavePixels) {
        pDib = malloc(GetSize());
        if (pDib) memset(pDib, 0, head.biSize + GetPaletteSize());
    } else {
        pDib = calloc(1, GetSize());
    }
    if (!pDib) {
        SetError("RasterImage::Create can't allocate memory");
        return nullptr;
    }
    memcpy(pDib, &head, sizeof(head));
    info.pImage = static_cast<uint8_t*>(pDib) + head.biSize + GetPaletteSize();
    return pDib;
}

bool RasterImage::Destroy()
{
    if (info.pGhost) return false;
    free(pDib);
    pDib = nullptr;
    info.pImage = nullptr;
    return true;
}

bool RasterImage::DestroyFrames()
{
    if (info.pGhost) return false;
    for (RasterImage* frame : ppFrames) delete frame;
    ppFrames.clear();
    return true;
}

void RasterImage::SetError(const char* text)
{
    if (!text) text = "";
    strncpy(info.szLastError, text, sizeof(info.szLastError) - 1);
    info.szLastError[sizeof(info.szLastError) - 1] = 0;
}

bool RasterImage::createLike(RasterImage& out, uint32_t w, uint32_t h, uint32_t bpp)
{
    out.CopyInfo(*this);
    if (out.Create(w, h, bpp, GetType())) return true;
    SetError(out.GetLastError());
    return false;
}

void RasterImage::CopyInfo(const RasterImage& src)
{
    if (pDib) return;
    memcpy(&info, &src.info, sizeof(info));
    // The information describes settings, not ownership: never inherit a borrowed bitmap.
    info.pGhost = nullptr;
    info.pImage = nullptr;
}

void RasterImage::Ghost(const RasterImage* src)
{
    if (!src) return;
    memcpy(&head, &src->head, sizeof(head));
    memcpy(&info, &src->info, sizeof(info));
    pDib = src->pDib;
    info.pGhost = const_cast<RasterImage*>(src);
}

bool RasterImage::Transfer(RasterImage& from, bool bTransferFrames)
{
    if (&from == this) return true;
    if (!Destroy()) return false;
    memcpy(&head, &from.head, sizeof(head));
    memcpy(&info, &from.info, sizeof(info));
    pDib = from.pDib;
    if (bTransferFrames) {
        DestroyFrames();
        ppFrames.swap(from.ppFrames);
    }
    from.pDib = nullptr;
    memset(&from.head, 0, sizeof(from.head));
    memset(&from.info, 0, sizeof(from.info));
    return true;
}

void RasterImage::Copy(const RasterImage& src, bool copypixels, bool, bool)
{
    if (&src == this || src.info.pGhost || info.pGhost) return;
    memcpy(&info, &src.info, sizeof(info));
    memcpy(&head, &src.head, sizeof(head));
    info.pImage = nullptr;
    free(pDib);
    pDib = nullptr;
    if (!src.pDib) return;
    info.nBorrow = 0;  // the copy owns its pixels, wherever the source's lie
    if (!Create(src.GetWidth(), src.GetHeight(), src.GetBpp(), src.GetType())) return;
    head.biClrImportant = src.head.biClrImportant;
    if (copypixels) {
        memcpy(pDib, src.pDib, head.biSize + GetPaletteSize());
        memcpy(info.pImage, src.info.pImage, head.biSizeImage);
    } else {
        RGBQUAD* pal = src.GetPalette();
        if (pal) SetPalette(pal, src.GetNumColors() > 256 ? 256 : src.GetNumColors());
    }
}

void RasterImage::Clear(uint8_t bval)
{
    if (!pDib) return;
    if (head.biBitCount == 1 && bval) bval = 0xFF;
    if (head.biBitCount == 4) bval = static_cast<uint8_t>((bval & 0x0F) | (bval << 4));
    memset(info.pImage, bval, head.biSizeImage);
}

uint8_t* RasterImage::GetBits(uint32_t row)
{
    if (!pDib) return nullptr;
    if (row == 0) return info.pImage;
    if (row < GetHeight()) return info.pImage + static_cast<size_t>(row) * info.dwEffWidth;
    return nullptr;
}

uint32_t RasterImage::GetSize() { return head.biSize + head.biSizeImage + GetPaletteSize(); }

bool RasterImage::IsInside(int32_t x, int32_t y) const
{
    return y >= 0 && y < head.biHeight && x >= 0 && x < head.biWidth;
}

void RasterImage::SetXDPI(int32_t dpi)
{
    if (dpi <= 0) dpi = 96;
    info.xDPI = dpi;
    head.biXPelsPerMeter = pelsPerMetre(dpi);
    if (pDib) static_cast<tagBITMAPINFOHEADER*>(pDib)->biXPelsPerMeter = head.biXPelsPerMeter;
}

void RasterImage::SetYDPI(int32_t dpi)
{
    if (dpi <= 0) dpi = 96;
    info.yDPI = dpi;
    head.biYPelsPerMeter = pelsPerMetre(dpi);
    if (pDib) static_cast<tagBITMAPINFOHEADER*>(pDib)->biYPelsPerMeter = head.biYPelsPerMeter;
}

uint8_t RasterImage::GetJpegQuality() const
{
    float q = info.fQuality + 0.5f;
    if (q > 255.0f) q = 255.0f;
    return static_cast<uint8_t>(q);
}

void RasterImage::GetOffset(int32_t* x, int32_t* y) const
{
    if (x) *x = info.xOffset;
    if (y) *y = info.yOffset;
}

void RasterImage::SetOffset(int32_t x, int32_t y)
{
    info.xOffset = x;
    info.yOffset = y;
}

void RasterImage::SetTransIndex(int32_t idx)
{
    if (idx >= static_cast<int32_t>(head.biClrUsed)) idx = 0;
    info.nBkgndIndex = idx;
}

RGBQUAD RasterImage::GetTransColor()
{
    if (head.biBitCount < 24 && info.nBkgndIndex >= 0)
        return GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex));
    return info.nBkgndColor;
}

void RasterImage::SetTransColor(RGBQUAD rgb)
{
    rgb.rgbReserved = 0;
    info.nBkgndColor = rgb;
}

uint32_t RasterImage::GetCodecOption(uint32_t imagetype)
{
    if (imagetype == 0) imagetype = GetType();
    return info.dwCodecOpt[GetTypeIndexFromId(imagetype)];
}

bool RasterImage::SetCodecOption(uint32_t opt, uint32_t imagetype)
{
    if (imagetype == 0) imagetype = GetType();
    info.dwCodecOpt[GetTypeIndexFromId(imagetype)] = opt;
    return true;
}

void RasterImage::SetFlags(uint32_t flags, bool bLockReservedFlags)
{
    info.dwFlags = bLockReservedFlags ? (flags & 0x0000FFFF) : flags;
}

bool RasterImage::SetType(uint32_t type)
{
    if (type == IMAGE_TYPE_BMP || type == IMAGE_TYPE_JPG || type == IMAGE_TYPE_TIF) {
        info.dwType = type;
        return true;
    }
    info.dwType = 0;
    return false;
}

uint32_t RasterImage::GetTypeIdFromName(const char* ext)
{
    if (!ext) return 0;
    char low[4] = {0, 0, 0, 0};
    for (int i = 0; i < 3 && ext[i]; ++i)
        low[i] = static_cast<char>(ext[i] >= 'A' && ext[i] <= 'Z' ? ext[i] - 'A' + 'a' : ext[i]);
    if (strcmp(low, "bmp") == 0) return IMAGE_TYPE_BMP;
    if (strcmp(low, "jpg") == 0 || strcmp(low, "jpe") == 0 || strcmp(low, "jfi") == 0) return IMAGE_TYPE_JPG;
    if (strcmp(low, "tif") == 0) return IMAGE_TYPE_TIF;
    return 0;
}

uint32_t RasterImage::GetTypeIdFromIndex(uint32_t index)
{
    static const uint32_t ids[] = {0, IMAGE_TYPE_BMP, IMAGE_TYPE_JPG, IMAGE_TYPE_TIF};
    return index < 4 ? ids[index] : 0;
}

uint32_t RasterImage::GetTypeIndexFromId(uint32_t id)
{
    switch (id) {
    case IMAGE_TYPE_BMP: return 1;
    case IMAGE_TYPE_JPG: return 2;
    case IMAGE_TYPE_TIF: return 3;
    default: return 0;
    }
}

RasterImage* RasterImage::GetFrame(int32_t nFrame) const
{
    if (nFrame < 0 || static_cast<size_t>(nFrame) >= ppFrames.size()) return nullptr;
    return ppFrames[static_cast<size_t>(nFrame)];
}

uint8_t RasterImage::GetColorType() { return head.biBitCount <= 8 ? 1 : 2; }

const char* RasterImage::GetVersion() { return "RasterImage 7.0.2"; }
float RasterImage::GetVersionNumber() { return 7.00002f; }

uint16_t RasterImage::m_ntohs(uint16_t word) const
{
    if (info.bLittleEndianHost) return word;
    return static_cast<uint16_t>((word >> 8) | (word << 8));
}

uint32_t RasterImage::m_ntohl(uint32_t dword) const
{
    if (info.bLittleEndianHost) return dword;
    return (dword >> 24) | ((dword >> 8) & 0xFF00u) | ((dword << 8) & 0xFF0000u) | (dword << 24);
}

void RasterImage::bihtoh(tagBITMAPINFOHEADER* bih) const
{
    bih->biSize = m_ntohl(bih->biSize);
    bih->biWidth = static_cast<int32_t>(m_ntohl(static_cast<uint32_t>(bih->biWidth)));
    bih->biHeight = static_cast<int32_t>(m_ntohl(static_cast<uint32_t>(bih->biHeight)));
    bih->biPlanes = m_ntohs(bih->biPlanes);
    bih->biBitCount = m_ntohs(bih->biBitCount);
    bih->biCompression = m_ntohl(bih->biCompression);
    bih->biSizeImage = m_ntohl(bih->biSizeImage);
    bih->biXPelsPerMeter = static_cast<int32_t>(m_ntohl(static_cast<uint32_t>(bih->biXPelsPerMeter)));
    bih->biYPelsPerMeter = static_cast<int32_t>(m_ntohl(static_cast<uint32_t>(bih->biYPelsPerMeter)));
    bih->biClrUsed = m_ntohl(bih->biClrUsed);
    bih->biClrImportant = m_ntohl(bih->biClrImportant);
}

int32_t RasterImage::CompareColors(const void* elem1, const void* elem2)
{
    const RGBQUAD* c1 = static_cast<const RGBQUAD*>(elem1);
    const RGBQUAD* c2 = static_cast<const RGBQUAD*>(elem2);
    int g1 = (601 * c1->rgbGreen + 117 * c1->rgbBlue + 306 * c1->rgbRed) >> 10;
    int g2 = (601 * c2->rgbGreen + 117 * c2->rgbBlue + 306 * c2->rgbRed) >> 10;
    return g1 - g2;
}

void RasterImage::FreeMemory(void* memblock) { free(memblock); }

// Dump layout: header, information block, a bitmap flag and the bitmap, a frames flag.
uint32_t RasterImage::DumpSize()
{
    uint32_t n = sizeof(head) + sizeof(info) + 1 + 1;
    if (pDib) n += GetSize();
    return n;
}

uint32_t RasterImage::Dump(uint8_t* dst)
{
    if (!dst) return 0;
    uint8_t* p = dst;
    memcpy(p, &head, sizeof(head)); p += sizeof(head);
    memcpy(p, &info, sizeof(info)); p += sizeof(info);
    *p++ = pDib ? 1 : 0;
    if (pDib) {  // the pixels from where they are, borrowed or not
        const uint32_t front = head.biSize + GetPaletteSize();
        memcpy(p, pDib, front);
        memcpy(p + front, info.pImage, GetSize() - front);
        p += GetSize();
    }
    *p++ = 0;  // frames are never dumped
    return static_cast<uint32_t>(p - dst);
}

uint32_t RasterImage::UnDump(const uint8_t* src)
{
    if (!src || !Destroy()) return 0;
    DestroyFrames();
    const uint8_t* p = src;
    memcpy(&head, p, sizeof(head)); p += sizeof(head);
    memcpy(&info, p, sizeof(info)); p += sizeof(info);
    info.pGhost = nullptr;
    info.pImage = nullptr;
    info.nBorrow = 0;
    if (*p++) {
        if (!Create(GetWidth(), GetHeight(), GetBpp(), GetType())) return 0;
        memcpy(pDib, p, GetSize());
        p += GetSize();
    }
    ++p;
    return static_cast<uint32_t>(p - src);
}

bool RasterImage::CreateFromArray(uint8_t* pArray, uint32_t dwWidth, uint32_t dwHeight,
                                  uint32_t dwBitsperpixel, uint32_t dwBytesperline, bool bFlipImage)
{
    if (!pArray || dwWidth == 0 || dwHeight == 0) return false;
    std::vector<uint8_t*> rows(dwHeight);
    for (uint32_t y = 0; y < dwHeight; ++y) rows[y] = pArray + static_cast<size_t>(y) * dwBytesperline;
    return CreateFromMatrix(rows.data(), dwWidth, dwHeight, dwBitsperpixel, dwBytesperline, bFlipImage);
}

bool RasterImage::CreateFromMatrix(uint8_t** ppMatrix, uint32_t dwWidth, uint32_t dwHeight,
                                   uint32_t dwBitsperpixel, uint32_t dwBytesperline, bool bFlipImage)
{
    if (!ppMatrix || dwWidth == 0 || dwHeight == 0) return false;
    uint32_t bpp = dwBitsperpixel;
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 24 && bpp != 32) return false;
    if (!Create(dwWidth, dwHeight, bpp == 32 ? 24 : bpp, 0)) return false;
    if (bpp < 24) SetGrayPalette();
    for (uint32_t y = 0; y < dwHeight; ++y) {
        const uint8_t* src = ppMatrix[y];
        if (!src) continue;
        uint8_t* dst = info.pImage + static_cast<size_t>(bFlipImage ? dwHeight - 1 - y : y) * info.dwEffWidth;
        if (bpp == 32) {
            for (uint32_t x = 0; x < dwWidth && static_cast<uint64_t>(x) * 4 + 3 <= dwBytesperline; ++x) {
                dst[3 * x] = src[4 * x];
                dst[3 * x + 1] = src[4 * x + 1];
                dst[3 * x + 2] = src[4 * x + 2];
            }
        } else {
            memcpy(dst, src, info.dwEffWidth < dwBytesperline ? info.dwEffWidth : dwBytesperline);
        }
    }
    return true;
}

namespace {

// Where a channel mask sits: shift down by `low`, then scale its `width` bits to 8.
struct MaskShift {
    uint32_t mask;
    int low;
    int width;
};

MaskShift maskShift(uint32_t mask)
{
    MaskShift s{mask, 0, 0};
    if (mask == 0) return s;  // a zero mask is a zero channel
    while (!((mask >> s.low) & 1u)) ++s.low;
    int high = 31;
    while (!((mask >> high) & 1u)) --high;
    s.width = high - s.low + 1;
    return s;
}

uint8_t channel(uint32_t pixel, const MaskShift& s)
{
    if (s.mask == 0) return 0;
    uint32_t v = (pixel & s.mask) >> s.low;
    return static_cast<uint8_t>(s.width >= 8 ? v >> (s.width - 8) : v << (8 - s.width));
}

}  // namespace

void RasterImage::Bitfield2RGB(uint8_t* src, uint32_t redmask, uint32_t greenmask, uint32_t bluemask,
                               uint8_t bpp)
{
    if (!src || !pDib || head.biBitCount != 24) return;
    const MaskShift r = maskShift(redmask), g = maskShift(greenmask), b = maskShift(bluemask);
    const int32_t w = head.biWidth, h = head.biHeight;
    const size_t eff = info.dwEffWidth;
    if (bpp == 16) {
        // Expands in place (src may be the pixel buffer): last pixel first, so no 16-bit
        // input is overwritten before it is read.
        const size_t src16 = static_cast<size_t>((w + 1) / 2) * 4;
        for (int32_t y = h - 1; y >= 0; --y) {
            for (int32_t x = w - 1; x >= 0; --x) {
                const uint8_t* p = src + y * src16 + 2 * static_cast<size_t>(x);
                uint32_t px = p[0] | (static_cast<uint32_t>(p[1]) << 8);
                uint8_t* d = info.pImage + y * eff + 3 * static_cast<size_t>(x);
                d[0] = channel(px, b);
                d[1] = channel(px, g);
                d[2] = channel(px, r);
            }
        }
    } else if (bpp == 32) {
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                const uint8_t* p = src + (static_cast<size_t>(y) * w + x) * 4;
                uint32_t px = p[0] | (static_cast<uint32_t>(p[1]) << 8) | (static_cast<uint32_t>(p[2]) << 16) |
                              (static_cast<uint32_t>(p[3]) << 24);
                uint8_t* d = info.pImage + y * eff + 3 * static_cast<size_t>(x);
                d[0] = channel(px, b);
                d[1] = channel(px, g);
                d[2] = channel(px, r);
            }
        }
    }
}
