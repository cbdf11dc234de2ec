// Colour spaces of the raster image (RGB, HSL, YUV, YIQ, XYZ, one byte per component),
// channel split and combine, and the per-colour adjustments built on them.
#include <cmath>
#include <cstring>

#include "rasterlib/raster_image.h"

namespace {

uint8_t roundByte(double v)
{
    if (!(v > 0)) return 0;
    return v >= 255.0 ? 255 : static_cast<uint8_t>(v + 0.5);
}

using Convert = RGBQUAD (*)(RGBQUAD);

Convert fromRgb(int32_t space)
{
    switch (space) {
    case 0: return [](RGBQUAD c) { return c; };
    case 1: return RasterImage::RGBtoHSL;
    case 2: return RasterImage::RGBtoYUV;
    case 3: return RasterImage::RGBtoYIQ;
    case 4: return RasterImage::RGBtoXYZ;
    default: return nullptr;
    }
}

Convert toRgb(int32_t space)
{
    switch (space) {
    case 0: return [](RGBQUAD c) { return c; };
    case 1: return RasterImage::HSLtoRGB;
    case 2: return RasterImage::YUVtoRGB;
    case 3: return RasterImage::YIQtoRGB;
    case 4: return RasterImage::XYZtoRGB;
    default: return nullptr;
    }
}

}  // namespace

RGBQUAD RasterImage::RGBtoHSL(RGBQUAD c)
{
    const double r = c.rgbRed / 255.0, g = c.rgbGreen / 255.0, b = c.rgbBlue / 255.0;
    const double mx = fmax(r, fmax(g, b)), mn = fmin(r, fmin(g, b));
    const double l = (mx + mn) / 2;
    double h = 0, s = 0;
    if (mx != mn) {
        const double d = mx - mn;
        s = l <= 0.5 ? d / (mx + mn) : d / (2 - mx - mn);
        if (r == mx) h = (g - b) / d;
        else if (g == mx) h = 2 + (b - r) / d;
        else h = 4 + (r - g) / d;
        h *= 60;
        if (h < 0) h += 360;
    }
    return RGBQUAD{roundByte(l * 255), roundByte(s * 255), roundByte(h * 255 / 360), c.rgbReserved};
}

float RasterImage::HueToRGB(float n1, float n2, float hue)
{
    hue = fmodf(hue, 360.0f);
    if (hue < 0) hue += 360;
    if (hue < 60) return n1 + (n2 - n1) * hue / 60;
    if (hue < 180) return n2;
    if (hue < 240) return n1 + (n2 - n1) * (240 - hue) / 60;
    return n1;
}

RGBQUAD RasterImage::HSLtoRGB(RGBQUAD c)
{
    const float h = c.rgbRed * 360.0f / 255.0f, s = c.rgbGreen / 255.0f, l = c.rgbBlue / 255.0f;
    if (s == 0) {
        const uint8_t v = roundByte(l * 255);
        return RGBQUAD{v, v, v, c.rgbReserved};
    }
    const float m2 = l <= 0.5f ? l * (1 + s) : l + s - l * s;
    const float m1 = 2 * l - m2;
    return RGBQUAD{roundByte(HueToRGB(m1, m2, h - 120) * 255), roundByte(HueToRGB(m1, m2, h) * 255),
                   roundByte(HueToRGB(m1, m2, h + 120) * 255), c.rgbReserved};
}

RGBQUAD RasterImage::RGBtoYUV(RGBQUAD c)
{
    const double r = c.rgbRed, g = c.rgbGreen, b = c.rgbBlue;
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double u = (b - y) * 0.565 + 128, v = (r - y) * 0.713 + 128;
    return RGBQUAD{roundByte(v), roundByte(u), roundByte(y), c.rgbReserved};
}

RGBQUAD RasterImage::YUVtoRGB(RGBQUAD c)
{
    const double y = c.rgbRed, u = c.rgbGreen - 128.0, v = c.rgbBlue - 128.0;
    return RGBQUAD{roundByte(y + 1.770 * u), roundByte(y - 0.344 * u - 0.714 * v), roundByte(y + 1.403 * v),
                   c.rgbReserved};
}

RGBQUAD RasterImage::RGBtoYIQ(RGBQUAD c)
{
    const double r = c.rgbRed, g = c.rgbGreen, b = c.rgbBlue;
    const double y = 0.299 * r + 0.587 * g + 0.114 * b;
    const double i = 0.596 * r - 0.2742 * g - 0.3219 * b + 128;
    const double q = 0.2109 * r - 0.5229 * g + 0.3119 * b + 128;
    return RGBQUAD{roundByte(q), roundByte(i), roundByte(y), c.rgbReserved};
}

RGBQUAD RasterImage::YIQtoRGB(RGBQUAD c)
{
    const double y = c.rgbRed, i = c.rgbGreen - 128.0, q = c.rgbBlue - 128.0;
    return RGBQUAD{roundByte(y - 1.104 * i + 1.701 * q), roundByte(y - 0.273 * i - 0.647 * q),
                   roundByte(y + 0.956 * i + 0.621 * q), c.rgbReserved};
}

RGBQUAD RasterImage::RGBtoXYZ(RGBQUAD c)
{
    const double r = c.rgbRed, g = c.rgbGreen, b = c.rgbBlue;
    const double x = 0.412453 * r + 0.35758 * g + 0.180423 * b;
    const double y = 0.212671 * r + 0.71516 * g + 0.072169 * b;
    const double z = 0.019334 * r + 0.119193 * g + 0.950227 * b;
    return RGBQUAD{roundByte(z), roundByte(y), roundByte(x), c.rgbReserved};
}

RGBQUAD RasterImage::XYZtoRGB(RGBQUAD c)
{
    const double x = c.rgbRed, y = c.rgbGreen, z = c.rgbBlue;
    const double r = 3.240479 * x - 1.53715 * y - 0.498535 * z;
    const double g = -0.969256 * x + 1.875992 * y + 0.041556 * z;
    const double b = 0.055648 * x - 0.204043 * y + 1.057311 * z;
    return RGBQUAD{roundByte(b), roundByte(g), roundByte(r), c.rgbReserved};
}

bool RasterImage::ConvertColorSpace(const int32_t dstColorSpace, const int32_t srcColorSpace)
{
    if (!pDib) return false;
    const Convert in = toRgb(srcColorSpace), out = fromRgb(dstColorSpace);
    if (!in || !out) {
        SetError("ConvertColorSpace: unknown colorspace");
        return false;
    }
    if (dstColorSpace == srcColorSpace) return true;
    RGBQUAD* pal = GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) pal[i] = out(in(pal[i]));
        info.last_c_isvalid = false;
        return true;
    }
    for (int32_t y = 0; y < head.biHeight; ++y) {
        info.nProgress = 100 * y / head.biHeight;
        if (info.nEscape) break;
        for (int32_t x = 0; x < head.biWidth; ++x) BlindSetPixelColor(x, y, out(in(BlindGetPixelColor(x, y))));
    }
    return true;
}

namespace {

// One grey plane per component of a colour space; null outputs are skipped.
bool splitInto(RasterImage& src, RasterImage* planes[4], Convert convert, bool cmyk)
{
    if (!src.IsValid()) return false;
    RasterImage tmp[4];
    const uint32_t w = src.GetWidth(), h = src.GetHeight();
    for (int p = 0; p < 4; ++p) {
        if (!planes[p]) continue;
        if (!tmp[p].Create(w, h, 8, src.GetType())) return false;
        tmp[p].SetGrayPalette();
    }
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            const RGBQUAD rgb = src.BlindGetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y));
            RGBQUAD c = convert(rgb);
            uint8_t v[4] = {c.rgbRed, c.rgbGreen, c.rgbBlue, 0};
            if (cmyk) {
                v[0] = static_cast<uint8_t>(255 - rgb.rgbRed);
                v[1] = static_cast<uint8_t>(255 - rgb.rgbGreen);
                v[2] = static_cast<uint8_t>(255 - rgb.rgbBlue);
                v[3] = static_cast<uint8_t>((306 * rgb.rgbRed + 601 * rgb.rgbGreen + 117 * rgb.rgbBlue) >> 10);
            }
            for (int p = 0; p < 4; ++p)
                if (planes[p]) tmp[p].GetBits(y)[x] = v[p];
        }
    }
    for (int p = 0; p < 4; ++p)
        if (planes[p]) planes[p]->Transfer(tmp[p]);
    return true;
}

}  // namespace

bool RasterImage::SplitRGB(RasterImage* r, RasterImage* g, RasterImage* b)
{
    RasterImage* p[4] = {r, g, b, nullptr};
    return splitInto(*this, p, [](RGBQUAD c) { return c; }, false);
}

bool RasterImage::SplitCMYK(RasterImage* c, RasterImage* m, RasterImage* y, RasterImage* k)
{
    RasterImage* p[4] = {c, m, y, k};
    return splitInto(*this, p, [](RGBQUAD q) { return q; }, true);
}

bool RasterImage::SplitHSL(RasterImage* h, RasterImage* s, RasterImage* l)
{
    RasterImage* p[4] = {h, s, l, nullptr};
    return splitInto(*this, p, RGBtoHSL, false);
}

bool RasterImage::SplitYUV(RasterImage* y, RasterImage* u, RasterImage* v)
{
    RasterImage* p[4] = {y, u, v, nullptr};
    return splitInto(*this, p, RGBtoYUV, false);
}

bool RasterImage::SplitYIQ(RasterImage* y, RasterImage* i, RasterImage* q)
{
    RasterImage* p[4] = {y, i, q, nullptr};
    return splitInto(*this, p, RGBtoYIQ, false);
}

bool RasterImage::SplitXYZ(RasterImage* x, RasterImage* y, RasterImage* z)
{
    RasterImage* p[4] = {x, y, z, nullptr};
    return splitInto(*this, p, RGBtoXYZ, false);
}

bool RasterImage::Combine(RasterImage* r, RasterImage* g, RasterImage* b, RasterImage* a, int32_t colorspace)
{
    if (!r || !g || !b || !r->IsValid() || !g->IsValid() || !b->IsValid()) return false;
    const Convert back = toRgb(colorspace);
    if (!back) {
        SetError("Combine: unknown colorspace");
        return false;
    }
    const uint32_t w = r->GetWidth(), h = r->GetHeight();
    // Channels of another size are brought to the first one's size.
    RasterImage sized[3];
    RasterImage* ch[3] = {r, g, b};
    for (int i = 1; i < 3; ++i) {
        if (ch[i]->GetWidth() == w && ch[i]->GetHeight() == h) continue;
        if (!ch[i]->Resample(static_cast<int32_t>(w), static_cast<int32_t>(h), 1, &sized[i])) return false;
        ch[i] = &sized[i];
    }
    RasterImage out;
    if (!createLike(out, w, h, 24)) return false;
    (void)a;  // this build keeps no alpha channel
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            const int32_t xi = static_cast<int32_t>(x), yi = static_cast<int32_t>(y);
            RGBQUAD c{ch[2]->GetPixelIndex(xi, yi), ch[1]->GetPixelIndex(xi, yi), ch[0]->GetPixelIndex(xi, yi), 0};
            out.BlindSetPixelColor(xi, yi, back(c));
        }
    return Transfer(out);
}

void RasterImage::HuePalette(float correction)
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    for (uint32_t i = 0; i < head.biClrUsed; ++i) {
        const float hue = std::isfinite(correction) ? i * correction : 0.0f;
        const uint8_t hb = static_cast<uint8_t>(hue >= 0 && hue < 256 ? hue : fmodf(fabsf(hue), 256.0f));  // finite
        pal[i] = HSLtoRGB(RGBQUAD{120, 240, hb, 0});
    }
    info.last_c_isvalid = false;
}

bool RasterImage::Colorize(uint8_t hue, uint8_t sat, float blend)
{
    if (!pDib) return false;
    if (!(blend > 0)) blend = 0;  // NaN too
    if (blend > 1) blend = 1;
    const bool full = blend > 0.999f;
    const int a1 = static_cast<int>(256 * blend), a0 = 256 - a1;
    auto paint = [&](RGBQUAD c) {
        RGBQUAD hsl = RGBtoHSL(c);
        hsl.rgbRed = hue;
        hsl.rgbGreen = sat;
        RGBQUAD n = HSLtoRGB(hsl);
        if (full) return n;
        return RGBQUAD{Val_0_255((n.rgbBlue * a1 + c.rgbBlue * a0) >> 8),
                       Val_0_255((n.rgbGreen * a1 + c.rgbGreen * a0) >> 8),
                       Val_0_255((n.rgbRed * a1 + c.rgbRed * a0) >> 8), c.rgbReserved};
    };
    RGBQUAD* pal = GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) pal[i] = paint(pal[i]);
        info.last_c_isvalid = false;
        return true;
    }
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) BlindSetPixelColor(x, y, paint(BlindGetPixelColor(x, y)));
    return true;
}

bool RasterImage::ShiftRGB(int32_t r, int32_t g, int32_t b)
{
    if (!pDib) return false;
    auto shift = [&](RGBQUAD c) {
        return RGBQUAD{Val_0_255(c.rgbBlue + b), Val_0_255(c.rgbGreen + g), Val_0_255(c.rgbRed + r), c.rgbReserved};
    };
    RGBQUAD* pal = GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) pal[i] = shift(pal[i]);
        info.last_c_isvalid = false;
        return true;
    }
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) BlindSetPixelColor(x, y, shift(BlindGetPixelColor(x, y)));
    return true;
}

float RasterImage::Mean()
{
    if (!pDib) return 0;
    RasterImage gray(*this);
    if (!gray.GrayScale()) return 0;
    double sum = 0;
    for (int32_t y = 0; y < head.biHeight; ++y) {
        const uint8_t* row = gray.GetBits(static_cast<uint32_t>(y));
        for (int32_t x = 0; x < head.biWidth; ++x) sum += row[x];
    }
    return static_cast<float>(sum / (static_cast<double>(head.biWidth) * head.biHeight));
}

bool RasterImage::Lut(uint8_t* pLut)
{
    if (!pDib || !pLut) return false;
    RGBQUAD* pal = GetPalette();
    if (head.biBitCount == 8 && IsGrayScale()) {
        for (int32_t y = 0; y < head.biHeight; ++y) {
            uint8_t* row = GetBits(static_cast<uint32_t>(y));
            for (int32_t x = 0; x < head.biWidth; ++x) row[x] = pLut[row[x]];
        }
        return true;
    }
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) {
            pal[i].rgbRed = pLut[pal[i].rgbRed];
            pal[i].rgbGreen = pLut[pal[i].rgbGreen];
            pal[i].rgbBlue = pLut[pal[i].rgbBlue];
        }
        info.last_c_isvalid = false;
        return true;
    }
    for (int32_t y = 0; y < head.biHeight; ++y) {
        uint8_t* row = GetBits(static_cast<uint32_t>(y));
        for (int32_t x = 0; x < 3 * head.biWidth; ++x) row[x] = pLut[row[x]];
    }
    return true;
}

bool RasterImage::Lut(uint8_t* pLutR, uint8_t* pLutG, uint8_t* pLutB, uint8_t* pLutA)
{
    if (!pDib || !pLutR || !pLutG || !pLutB) return false;
    (void)pLutA;  // no alpha channel in this build
    auto map = [&](RGBQUAD c) {
        return RGBQUAD{pLutB[c.rgbBlue], pLutG[c.rgbGreen], pLutR[c.rgbRed], c.rgbReserved};
    };
    RGBQUAD* pal = GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) pal[i] = map(pal[i]);
        info.last_c_isvalid = false;
        return true;
    }
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) BlindSetPixelColor(x, y, map(BlindGetPixelColor(x, y)));
    return true;
}

bool RasterImage::Light(int32_t brightness, int32_t contrast)
{
    if (!pDib) return false;
    uint8_t table[256];
    for (int v = -128; v < 128; ++v)
        table[v + 128] = Val_0_255(static_cast<int32_t>(v * static_cast<int64_t>(contrast + 100) / 100 + brightness + 128));
    return Lut(table);
}

bool RasterImage::Gamma(float gamma)
{
    if (!pDib || !(gamma > 0)) return false;
    uint8_t table[256];
    for (int i = 0; i < 256; ++i) table[i] = roundByte(255.0 * pow(i / 255.0, 1.0 / gamma));
    return Lut(table);
}

bool RasterImage::GammaRGB(float gammaR, float gammaG, float gammaB)
{
    if (!pDib || !(gammaR > 0) || !(gammaG > 0) || !(gammaB > 0)) return false;
    uint8_t r[256], g[256], b[256];
    for (int i = 0; i < 256; ++i) {
        r[i] = roundByte(255.0 * pow(i / 255.0, 1.0 / gammaR));
        g[i] = roundByte(255.0 * pow(i / 255.0, 1.0 / gammaG));
        b[i] = roundByte(255.0 * pow(i / 255.0, 1.0 / gammaB));
    }
    return Lut(r, g, b);
}

bool RasterImage::Saturate(const int32_t saturation, const int32_t colorspace)
{
    if (!pDib) return false;
    if (colorspace != 1 && colorspace != 2) {
        SetError("Saturate: wrong colorspace");
        return false;
    }
    auto change = [&](RGBQUAD c) {
        if (colorspace == 1) {
            RGBQUAD hsl = RGBtoHSL(c);
            hsl.rgbGreen = Val_0_255(hsl.rgbGreen + saturation);
            return HSLtoRGB(hsl);
        }
        RGBQUAD yuv = RGBtoYUV(c);
        const double k = 1 + saturation / 100.0;
        yuv.rgbGreen = roundByte(128 + (yuv.rgbGreen - 128) * k);
        yuv.rgbBlue = roundByte(128 + (yuv.rgbBlue - 128) * k);
        return YUVtoRGB(yuv);
    };
    RGBQUAD* pal = GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) pal[i] = change(pal[i]);
        info.last_c_isvalid = false;
        return true;
    }
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) BlindSetPixelColor(x, y, change(BlindGetPixelColor(x, y)));
    return true;
}

bool RasterImage::Solarize(uint8_t level, bool bLinkedChannels)
{
    if (!pDib) return false;
    auto solar = [&](RGBQUAD c) {
        if (bLinkedChannels) {
            const int gray = (306 * c.rgbRed + 601 * c.rgbGreen + 117 * c.rgbBlue) >> 10;
            if (gray > level)
                return RGBQUAD{static_cast<uint8_t>(255 - c.rgbBlue), static_cast<uint8_t>(255 - c.rgbGreen),
                               static_cast<uint8_t>(255 - c.rgbRed), c.rgbReserved};
            return c;
        }
        auto inv = [&](uint8_t v) { return static_cast<uint8_t>(v > level ? 255 - v : v); };
        return RGBQUAD{inv(c.rgbBlue), inv(c.rgbGreen), inv(c.rgbRed), c.rgbReserved};
    };
    RGBQUAD* pal = GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) pal[i] = solar(pal[i]);
        info.last_c_isvalid = false;
        return true;
    }
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) BlindSetPixelColor(x, y, solar(BlindGetPixelColor(x, y)));
    return true;
}
