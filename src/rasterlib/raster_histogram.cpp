// Histogram operations of the raster image: counting, and the tone remappings built on
// the brightness distribution (stretch, equalise, normalise, logarithm, root).
#include <cmath>
#include <cstring>

#include "rasterlib/raster_image.h"

namespace {

inline int luminance(const RGBQUAD& c) { return (306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10; }

}  // namespace

int32_t RasterImage::Histogram(int32_t* red, int32_t* green, int32_t* blue, int32_t* gray, int32_t colorspace)
{
    if (!pDib) return 0;
    for (int32_t* a : {red, green, blue, gray})
        if (a) memset(a, 0, 256 * sizeof(int32_t));
    for (int32_t y = 0; y < head.biHeight; ++y) {
        info.nProgress = 50 * y / head.biHeight;
        for (int32_t x = 0; x < head.biWidth; ++x) {
            RGBQUAD c = BlindGetPixelColor(x, y);
            switch (colorspace) {
            case 1: c = HSLtoRGB(c); break;
            case 2: c = YUVtoRGB(c); break;
            case 3: c = YIQtoRGB(c); break;
            case 4: c = XYZtoRGB(c); break;
            default: break;
            }
            if (red) ++red[c.rgbRed];
            if (green) ++green[c.rgbGreen];
            if (blue) ++blue[c.rgbBlue];
            if (gray) ++gray[luminance(c)];
        }
    }
    int32_t n = 0;
    for (int32_t* a : {red, green, blue, gray})
        if (a)
            for (int i = 0; i < 256; ++i) n = a[i] > n ? a[i] : n;
    return n;
}

// Maps the Y of every palette entry or pixel through the table.
static void applyToLuminance(RasterImage& img, const uint8_t table[256])
{
    auto map = [&](RGBQUAD c) {
        RGBQUAD yuv = RasterImage::RGBtoYUV(c);
        yuv.rgbRed = table[yuv.rgbRed];
        RGBQUAD out = RasterImage::YUVtoRGB(yuv);
        out.rgbReserved = c.rgbReserved;
        return out;
    };
    RGBQUAD* pal = img.GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < img.GetNumColors(); ++i) img.SetPaletteColor(static_cast<uint8_t>(i), map(pal[i]));
        return;
    }
    const int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
    for (int32_t y = 0; y < h; ++y) {
        img.SetProgress(50 + 50 * y / h);
        for (int32_t x = 0; x < w; ++x) img.BlindSetPixelColor(x, y, map(img.BlindGetPixelColor(x, y)));
    }
}

static void luminanceHistogram(RasterImage& img, uint64_t hist[256])
{
    memset(hist, 0, 256 * sizeof(uint64_t));
    const int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) ++hist[luminance(img.BlindGetPixelColor(x, y))];
}

bool RasterImage::HistogramStretch(int32_t method, double threshold)
{
    if (!pDib) return false;
    const bool grayIndexes = head.biBitCount == 8 && IsGrayScale();
    uint64_t hist[3][256];
    memset(hist, 0, sizeof(hist));
    const int channels = (method == 2 && !grayIndexes) ? 3 : 1;
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) {
            if (grayIndexes) {
                ++hist[0][BlindGetPixelIndex(x, y)];
                continue;
            }
            const RGBQUAD c = BlindGetPixelColor(x, y);
            if (method == 1) {
                ++hist[0][c.rgbRed];
                ++hist[0][c.rgbGreen];
                ++hist[0][c.rgbBlue];
            } else if (method == 2) {
                ++hist[0][c.rgbRed];
                ++hist[1][c.rgbGreen];
                ++hist[2][c.rgbBlue];
            } else {
                ++hist[0][luminance(c)];
            }
        }
    uint8_t table[3][256];
    bool change = false;
    for (int ch = 0; ch < channels; ++ch) {
        uint64_t peak = 0;
        for (int i = 0; i < 256; ++i) peak = hist[ch][i] > peak ? hist[ch][i] : peak;
        const double limit = threshold * static_cast<double>(peak);
        int low = 0, high = 255;
        while (low < 255 && !(hist[ch][low] > limit)) ++low;
        while (high > 0 && !(hist[ch][high] > limit)) --high;
        const bool same = (low == 0 && high == 255) || high <= low;
        for (int v = 0; v < 256; ++v)
            table[ch][v] = same ? static_cast<uint8_t>(v) : Val_0_255(255 * (v - low) / (high - low));
        change = change || !same;
    }
    if (!change) return true;
    if (grayIndexes) {
        for (int32_t y = 0; y < head.biHeight; ++y) {
            uint8_t* row = GetBits(static_cast<uint32_t>(y));
            for (int32_t x = 0; x < head.biWidth; ++x) row[x] = table[0][row[x]];
        }
        return true;
    }
    if (method == 1) return Lut(table[0], table[0], table[0]);
    if (method == 2) return Lut(table[0], table[1], table[2]);
    applyToLuminance(*this, table[0]);
    return true;
}

bool RasterImage::HistogramEqualize()
{
    if (!pDib) return false;
    uint64_t hist[256], cum[256];
    luminanceHistogram(*this, hist);
    uint64_t run = 0;
    for (int i = 0; i < 256; ++i) cum[i] = run += hist[i];
    if (cum[255] == cum[0]) return false;
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) table[v] = static_cast<uint8_t>((cum[v] - cum[0]) * 255 / (cum[255] - cum[0]));
    applyToLuminance(*this, table);
    return true;
}

bool RasterImage::HistogramNormalize()
{
    if (!pDib) return false;
    uint64_t hist[256];
    luminanceHistogram(*this, hist);
    const uint64_t cut = static_cast<uint64_t>(head.biWidth) * head.biHeight / 100;
    int low = 0, high = 255;
    for (uint64_t sum = 0; low < 255; ++low)
        if ((sum += hist[low]) > cut) break;
    for (uint64_t sum = 0; high > 0; --high)
        if ((sum += hist[high]) > cut) break;
    if (low == high) {
        low = 0;
        high = 255;
        while (low < 255 && !hist[low]) ++low;
        while (high > 0 && !hist[high]) --high;
        if (low >= high) return false;
    }
    if (high < low) std::swap(low, high);
    uint8_t table[256];
    for (int v = 0; v < 256; ++v)
        table[v] = v < low ? 0 : (v > high ? 255 : static_cast<uint8_t>((v - low) * 254 / (high - low)));
    applyToLuminance(*this, table);
    return true;
}

// The largest luminance of the palette or the pixels.
static int largestLuminance(RasterImage& img)
{
    int m = 0;
    if (RGBQUAD* pal = img.GetPalette()) {
        for (uint32_t i = 0; i < img.GetNumColors(); ++i) m = luminance(pal[i]) > m ? luminance(pal[i]) : m;
        return m;
    }
    for (uint32_t y = 0; y < img.GetHeight(); ++y)
        for (uint32_t x = 0; x < img.GetWidth(); ++x) {
            const int l = luminance(img.BlindGetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y)));
            m = l > m ? l : m;
        }
    return m;
}

bool RasterImage::HistogramLog()
{
    if (!pDib) return false;
    const int m = largestLuminance(*this);
    const double scale = 255.0 / (m > 0 ? log(m + 1.0) : log(2.0));
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) {
        const double t = log(v + 1.0) * scale;
        table[v] = t >= 255 ? 255 : static_cast<uint8_t>(t);
    }
    applyToLuminance(*this, table);
    return true;
}

bool RasterImage::HistogramRoot()
{
    if (!pDib) return false;
    const int m = largestLuminance(*this);
    const double scale = 256.0 / (m > 0 ? sqrt(m + 1.0) : sqrt(2.0));
    uint8_t table[256];
    for (int v = 0; v < 256; ++v) {
        const double t = sqrt(static_cast<double>(v)) * scale;
        table[v] = t > 255 ? 255 : static_cast<uint8_t>(t);
    }
    applyToLuminance(*this, table);
    return true;
}
