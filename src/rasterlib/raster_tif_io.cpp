// libtiff over a RasterFile: the client procedures, per-handle message handlers (nothing
// reaches stderr), and the row unpackers of the TIFF decoder.
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include <tiffio.h>

#include "rasterlib/raster_codecs.h"

namespace {

const tmsize_t kTiffMaxSingleAlloc = 512 * 1024 * 1024;

RasterFile* fileOf(thandle_t h) { return static_cast<RasterFile*>(h); }

tmsize_t tiffRead(thandle_t h, void* buf, tmsize_t size)
{
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(fileOf(h)->Read(buf, 1, static_cast<size_t>(size)));
}

tmsize_t tiffWrite(thandle_t h, void* buf, tmsize_t size)
{
    if (size <= 0) return 0;
    return static_cast<tmsize_t>(fileOf(h)->Write(buf, 1, static_cast<size_t>(size)));
}

toff_t tiffSeek(thandle_t h, toff_t off, int whence)
{
    if (off == static_cast<toff_t>(-1)) return static_cast<toff_t>(-1);
    // Our streams address 31 bits; anything further is a failed seek.
    if (off > 0x7FFFFFFFu) return static_cast<toff_t>(-1);
    if (!fileOf(h)->Seek(static_cast<int32_t>(off), whence)) return static_cast<toff_t>(-1);
    if (whence == SEEK_SET) return off;
    const int32_t pos = fileOf(h)->Tell();
    return pos < 0 ? static_cast<toff_t>(-1) : static_cast<toff_t>(pos);
}

int tiffClose(thandle_t) { return 0; }

toff_t tiffSize(thandle_t h)
{
    const int32_t size = fileOf(h)->Size();
    return size < 0 ? 0 : static_cast<toff_t>(size);
}

int tiffMap(thandle_t, void**, toff_t*) { return 0; }
void tiffUnmap(thandle_t, void*, toff_t) {}

int tiffError(TIFF*, void* user, const char* module, const char* fmt, va_list ap)
{
    RasterImageTIF::TiffMessages* msg = static_cast<RasterImageTIF::TiffMessages*>(user);
    if (msg && msg->text) {
        int n = 0;
        if (module && *module) n = snprintf(msg->text, 256, "%s: ", module);
        if (n < 0 || n >= 256) n = 0;
        vsnprintf(msg->text + n, static_cast<size_t>(256 - n), fmt, ap);
        msg->error = true;
    }
    return 1;  // handled: libtiff's global handler (stderr) is not called
}

int tiffWarning(TIFF*, void* user, const char* module, const char* fmt, va_list ap)
{
    RasterImageTIF::TiffMessages* msg = static_cast<RasterImageTIF::TiffMessages*>(user);
    // A warning never hides an error met on the same handle.
    if (msg && msg->text && !msg->error) {
        int n = 0;
        if (module && *module) n = snprintf(msg->text, 256, "%s: ", module);
        if (n < 0 || n >= 256) n = 0;
        vsnprintf(msg->text + n, static_cast<size_t>(256 - n), fmt, ap);
    }
    return 1;
}

}  // namespace

RasterImageTIF::RasterImageTIF() : RasterImage(IMAGE_TYPE_TIF), m_tif2(nullptr), m_multipage(false), m_pages(0)
{
    m_messages.text = nullptr;
    m_messages.error = false;
}

RasterImageTIF::~RasterImageTIF()
{
    if (m_tif2) TIFFClose(m_tif2);
}

TIFF* RasterImageTIF::OpenStream(RasterFile* hFile, const char* mode)
{
    if (!hFile) return nullptr;
    m_messages.text = info.szLastError;
    m_messages.error = false;
    TIFFOpenOptions* opts = TIFFOpenOptionsAlloc();
    if (!opts) return nullptr;
    TIFFOpenOptionsSetErrorHandlerExtR(opts, tiffError, &m_messages);
    TIFFOpenOptionsSetWarningHandlerExtR(opts, tiffWarning, &m_messages);
    TIFFOpenOptionsSetMaxSingleMemAlloc(opts, kTiffMaxSingleAlloc);
    TIFF* tif = TIFFClientOpenExt("TIFF IMAGE", mode, static_cast<thandle_t>(hFile), tiffRead, tiffWrite, tiffSeek,
                                  tiffClose, tiffSize, tiffMap, tiffUnmap, opts);
    TIFFOpenOptionsFree(opts);
    return tif;
}

TIFF* RasterImageTIF::TIFFOpenEx(RasterFile* hFile) { return OpenStream(hFile, "r"); }

void RasterImageTIF::TIFFCloseEx(TIFF* tif)
{
    if (tif) TIFFClose(tif);
}

namespace {

// Bits [offset, offset + bits) of an MSB-first stream, bits <= 32; reads up to 5 bytes
// from offset / 8 (the decoder pads its buffers for this).
uint32_t sampleAt(const uint8_t* src, uint64_t offset, int bits)
{
    const uint8_t* p = src + offset / 8;
    uint64_t window = 0;
    for (int i = 0; i < 5; ++i) window = (window << 8) | p[i];
    const int shift = 40 - static_cast<int>(offset % 8) - bits;
    const uint64_t mask = bits >= 32 ? 0xFFFFFFFFull : ((1ull << bits) - 1);
    return static_cast<uint32_t>((window >> shift) & mask);
}

}  // namespace

void RasterImageTIF::MoveBits(uint8_t* dest, const uint8_t* from, int count, int bpp)
{
    if (!dest || !from || count <= 0 || bpp <= 0) return;
    if (bpp >= 32) {
        for (int i = 0; i < count; ++i) {
            uint32_t word;
            memcpy(&word, from + 4 * static_cast<size_t>(i), 4);
            dest[i] = static_cast<uint8_t>(word >> 24);
        }
        return;
    }
    for (int i = 0; i < count; ++i) {
        const uint32_t v = sampleAt(from, static_cast<uint64_t>(i) * bpp, bpp);
        dest[i] = static_cast<uint8_t>(bpp <= 8 ? v : v >> (bpp - 8));
    }
}

void RasterImageTIF::MoveBitsPal(uint8_t* dest, const uint8_t* from, int count, int bpp, const RGBQUAD* pal)
{
    if (!dest || !from || !pal || count <= 0 || bpp <= 0 || bpp > 24) return;
    for (int i = 0; i < count; ++i) {
        uint32_t v = sampleAt(from, static_cast<uint64_t>(i) * bpp, bpp);
        if (bpp == 16) {
            v = ((v & 0xFF) << 8) | (v >> 8);
        } else if (bpp < 16) {
            const uint32_t aligned = v << (16 - bpp);
            v = ((((aligned & 0xFF) << 8) | (aligned >> 8)) & 0xFFFF) >> (16 - bpp);
        }
        const RGBQUAD& c = pal[v];
        dest[3 * i] = c.rgbBlue;
        dest[3 * i + 1] = c.rgbGreen;
        dest[3 * i + 2] = c.rgbRed;
    }
}

void RasterImageTIF::TileToStrip(uint8_t* out, const uint8_t* in, uint32_t rows, uint32_t cols, int outskew,
                                 int inskew)
{
    while (rows-- > 0) {
        memcpy(out, in, cols);
        out += cols + outskew;
        in += cols + inskew;
    }
}
