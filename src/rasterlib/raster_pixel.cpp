// Single-pixel access of the raster image: indexes and colours, with and without bounds
// checks, blending, lines and filled rectangles, and the transparency mask.
#include <cstring>
#include <utility>
#include <vector>

#include "rasterlib/raster_image.h"

namespace {

inline uint8_t grayOf(const RGBQUAD& c)
{
    return static_cast<uint8_t>((601 * c.rgbGreen + 117 * c.rgbBlue + 306 * c.rgbRed) >> 10);
}

}  // namespace

uint8_t RasterImage::BlindGetPixelIndex(int32_t x, int32_t y)
{
    return BlindGetPixelIndexFast(x, y);
}

uint8_t RasterImage::BlindGetPixelIndexFast(int32_t x, int32_t y) const
{
    const uint8_t* row = info.pImage + static_cast<size_t>(y) * info.dwEffWidth;
    switch (head.biBitCount) {
    case 8: return row[x];
    case 4: {
        uint8_t b = row[x >> 1];
        return static_cast<uint8_t>((x & 1) ? (b & 0x0F) : (b >> 4));
    }
    case 1: return static_cast<uint8_t>((row[x >> 3] >> (7 - (x & 7))) & 1);
    default: return 0;
    }
}

uint8_t RasterImage::GetPixelIndex(int32_t x, int32_t y)
{
    if (!pDib || head.biClrUsed == 0) return 0;
    if (!IsInside(x, y)) {
        if (info.nBkgndIndex >= 0) return static_cast<uint8_t>(info.nBkgndIndex);
        return *info.pImage;
    }
    return BlindGetPixelIndexFast(x, y);
}

RGBQUAD RasterImage::BlindGetPixelColor(int32_t x, int32_t y, bool)
{
    RGBQUAD c;
    if (head.biClrUsed) {
        c = GetPaletteColor(BlindGetPixelIndexFast(x, y));
    } else {
        const uint8_t* p = info.pImage + static_cast<size_t>(y) * info.dwEffWidth + 3 * static_cast<size_t>(x);
        c.rgbBlue = p[0];
        c.rgbGreen = p[1];
        c.rgbRed = p[2];
    }
    c.rgbReserved = 0;
    return c;
}

RGBQUAD RasterImage::GetPixelColor(int32_t x, int32_t y, bool bGetAlpha)
{
    if (!pDib) return info.nBkgndColor;
    if (!IsInside(x, y)) {
        if (info.nBkgndIndex >= 0) {
            if (head.biBitCount < 24) return GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex));
            return info.nBkgndColor;
        }
        return BlindGetPixelColor(0, 0, bGetAlpha);
    }
    return BlindGetPixelColor(x, y, bGetAlpha);
}

uint8_t RasterImage::GetPixelGray(int32_t x, int32_t y) { return grayOf(GetPixelColor(x, y)); }

void RasterImage::BlindSetPixelIndex(int32_t x, int32_t y, uint8_t i)
{
    uint8_t* row = info.pImage + static_cast<size_t>(y) * info.dwEffWidth;
    switch (head.biBitCount) {
    case 8: row[x] = i; break;
    case 4: {
        uint8_t& b = row[x >> 1];
        b = (x & 1) ? static_cast<uint8_t>((b & 0xF0) | (i & 0x0F)) : static_cast<uint8_t>((b & 0x0F) | (i << 4));
        break;
    }
    case 1: {
        const uint8_t mask = static_cast<uint8_t>(0x80 >> (x & 7));
        if (i & 1) row[x >> 3] |= mask;
        else row[x >> 3] &= static_cast<uint8_t>(~mask);
        break;
    }
    default: break;
    }
}

void RasterImage::SetPixelIndex(int32_t x, int32_t y, uint8_t i)
{
    if (!pDib || head.biClrUsed == 0 || !IsInside(x, y)) return;
    BlindSetPixelIndex(x, y, i);
}

void RasterImage::BlindSetPixelColor(int32_t x, int32_t y, RGBQUAD c, bool)
{
    if (head.biClrUsed) {
        BlindSetPixelIndex(x, y, GetNearestIndex(c));
    } else {
        uint8_t* p = info.pImage + static_cast<size_t>(y) * info.dwEffWidth + 3 * static_cast<size_t>(x);
        p[0] = c.rgbBlue;
        p[1] = c.rgbGreen;
        p[2] = c.rgbRed;
    }
}

void RasterImage::SetPixelColor(int32_t x, int32_t y, RGBQUAD c, bool bSetAlpha)
{
    if (!pDib || !IsInside(x, y)) return;
    BlindSetPixelColor(x, y, c, bSetAlpha);
}

void RasterImage::SetPixelColor(int32_t x, int32_t y, uint32_t cr) { SetPixelColor(x, y, RGBtoRGBQUAD(cr)); }

void RasterImage::BlendPixelColor(int32_t x, int32_t y, RGBQUAD c, float blend, bool bSetAlpha)
{
    if (!pDib || !IsInside(x, y)) return;
    // Blends far outside 0..1 extrapolate and saturate; keep them where the sums fit.
    if (!(blend > -1e6f)) blend = -1e6f;
    if (blend > 1e6f) blend = 1e6f;
    const int64_t a1 = static_cast<int64_t>(blend * 256);
    const int64_t a0 = 256 - a1;
    RGBQUAD old = BlindGetPixelColor(x, y);
    auto mixOf = [&](uint8_t n, uint8_t o) {
        const int64_t v = (n * a1 + o * a0) >> 8;
        return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
    };
    RGBQUAD mix;
    mix.rgbBlue = mixOf(c.rgbBlue, old.rgbBlue);
    mix.rgbGreen = mixOf(c.rgbGreen, old.rgbGreen);
    mix.rgbRed = mixOf(c.rgbRed, old.rgbRed);
    mix.rgbReserved = 0;
    BlindSetPixelColor(x, y, mix, bSetAlpha);
}

uint8_t* RasterImage::BlindGetPixelPointer(int32_t x, int32_t y)
{
    if (!pDib || head.biClrUsed || !IsInside(x, y)) return nullptr;
    return info.pImage + static_cast<size_t>(y) * info.dwEffWidth + 3 * static_cast<size_t>(x);
}

RGBQUAD RasterImage::RGBtoRGBQUAD(uint32_t cr)
{
    RGBQUAD q;
    q.rgbRed = RasterGetR(cr);
    q.rgbGreen = RasterGetG(cr);
    q.rgbBlue = RasterGetB(cr);
    q.rgbReserved = 0;
    return q;
}

uint32_t RasterImage::RGBQUADtoRGB(RGBQUAD c) { return RasterRGB(c.rgbRed, c.rgbGreen, c.rgbBlue); }

void RasterImage::DrawLine(int32_t StartX, int32_t EndX, int32_t StartY, int32_t EndY, RGBQUAD color,
                           bool bSetAlpha)
{
    if (!pDib) return;
    const int64_t deltax = StartX > EndX ? int64_t(StartX) - EndX : int64_t(EndX) - StartX;
    const int64_t deltay = StartY > EndY ? int64_t(StartY) - EndY : int64_t(EndY) - StartY;
    const int32_t xinc = StartX > EndX ? -1 : 1;
    const int32_t yinc = StartY > EndY ? -1 : 1;
    int64_t x = StartX, y = StartY;
    const bool xMajor = deltax >= deltay;
    const int64_t den = xMajor ? deltax : deltay;
    const int64_t add = xMajor ? deltay : deltax;
    int64_t num = den / 2;
    for (int64_t i = 0; i <= den; ++i) {
        if (x >= INT32_MIN && x <= INT32_MAX && y >= INT32_MIN && y <= INT32_MAX)
            SetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y), color, bSetAlpha);
        num += add;
        if (num >= den) {
            num -= den;
            if (xMajor) y += yinc;
            else x += xinc;
        }
        if (xMajor) x += xinc;
        else y += yinc;
    }
}

void RasterImage::clampRect(int32_t& left, int32_t& top, int32_t& right, int32_t& bottom) const
{
    const int32_t w = head.biWidth, h = head.biHeight;
    auto clamp = [](int32_t v, int32_t hi) { return v < 0 ? 0 : (v > hi ? hi : v); };
    left = clamp(left, w);
    right = clamp(right, w);
    top = clamp(top, h);
    bottom = clamp(bottom, h);
    if (left > right) std::swap(left, right);
    if (top > bottom) std::swap(top, bottom);
}

void RasterImage::DrawLine(int32_t StartX, int32_t EndX, int32_t StartY, int32_t EndY, uint32_t cr)
{
    DrawLine(StartX, EndX, StartY, EndY, RGBtoRGBQUAD(cr));
}

bool RasterImage::SetRectColor(int32_t left, int32_t top, int32_t right, int32_t bottom, RGBQUAD color,
                               bool bSetAlpha)
{
    if (!pDib) return false;
    clampRect(left, top, right, bottom);
    if (left == right || top == bottom) return true;
    const int32_t h = head.biHeight, rows = bottom - top;
    switch (head.biBitCount) {
    case 1:
    case 4: {
        const uint8_t idx = GetNearestIndex(color);
        for (int32_t r = top; r < bottom; ++r) {
            info.nProgress = (r - top) * 100 / rows;
            for (int32_t x = left; x < right; ++x) BlindSetPixelIndex(x, h - 1 - r, idx);
        }
        break;
    }
    case 8: {
        const uint8_t idx = GetNearestIndex(color);
        for (int32_t r = top; r < bottom; ++r) {
            info.nProgress = (r - top) * 100 / rows;
            memset(info.pImage + static_cast<size_t>(h - 1 - r) * info.dwEffWidth + left, idx,
                   static_cast<size_t>(right - left));
        }
        break;
    }
    case 24: {
        std::vector<uint8_t> span;
        try {
            span.resize(static_cast<size_t>(right - left) * 3);
        } catch (...) {
            return false;
        }
        for (int32_t x = 0; x < right - left; ++x) {
            span[3 * x] = color.rgbBlue;
            span[3 * x + 1] = color.rgbGreen;
            span[3 * x + 2] = color.rgbRed;
        }
        for (int32_t r = top; r < bottom; ++r) {
            info.nProgress = (r - top) * 100 / rows;
            memcpy(info.pImage + static_cast<size_t>(h - 1 - r) * info.dwEffWidth + 3 * static_cast<size_t>(left),
                   span.data(), span.size());
        }
        break;
    }
    default: break;
    }
    (void)bSetAlpha;
    return true;
}

bool RasterImage::SetRectColor(RECT& rect, RGBQUAD color, bool bSetAlpha)
{
    return SetRectColor(rect.left, rect.top, rect.right, rect.bottom, color, bSetAlpha);
}

bool RasterImage::IsTransparent(int32_t x, int32_t y)
{
    if (!pDib || info.nBkgndIndex < 0) return false;
    if (head.biClrUsed) return GetPixelIndex(x, y) == info.nBkgndIndex;
    RGBQUAD c = GetPixelColor(x, y);
    return c.rgbBlue == info.nBkgndColor.rgbBlue && c.rgbGreen == info.nBkgndColor.rgbGreen &&
           c.rgbRed == info.nBkgndColor.rgbRed;
}

bool RasterImage::GetTransparentMask(RasterImage* iDst)
{
    if (!pDib) return false;
    RasterImage mask;
    if (!mask.Create(GetWidth(), GetHeight(), 1, GetType())) {
        SetError(mask.GetLastError());
        return false;
    }
    mask.SetStdPalette();
    mask.Clear(0);
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x)
            if (IsTransparent(x, y)) mask.BlindSetPixelIndex(x, y, 1);
    if (iDst) return iDst->Transfer(mask);
    return Transfer(mask);
}
