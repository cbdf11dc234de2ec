// Sub-pixel and area reads of the raster image: what lies outside the image, the
// interpolation kernels and the weighted sums over neighbours.
#include <cmath>

#include "rasterlib/raster_image.h"

namespace {

const float kPi = 3.14159265358979f;
// Coordinates further out than this are all "far outside"; keeps int conversions defined.
const float kFar = 1.0e7f;

float tame(float v)
{
    if (!(v == v)) return -kFar;  // NaN
    return v < -kFar ? -kFar : (v > kFar ? kFar : v);
}

uint8_t toByte(float v)
{
    if (!(v > 0)) return 0;
    return v >= 255.0f ? 255 : static_cast<uint8_t>(v);
}

RGBQUAD defaultReplacement() { return RGBQUAD{255, 255, 255, 0}; }

}  // namespace

bool RasterImage::OverflowCoordinates(int32_t& x, int32_t& y, OverflowMethod const ofMethod)
{
    if (IsInside(x, y)) return true;
    const int64_t w = head.biWidth, h = head.biHeight;
    if (w <= 0 || h <= 0) return false;
    int64_t nx = x, ny = y;
    switch (ofMethod) {
    case OM_REPEAT:
        nx = nx < 0 ? 0 : (nx >= w ? w - 1 : nx);
        ny = ny < 0 ? 0 : (ny >= h ? h - 1 : ny);
        break;
    case OM_WRAP:
        nx %= w;
        if (nx < 0) nx += w;
        ny %= h;
        if (ny < 0) ny += h;
        break;
    case OM_MIRROR:
        if (nx < 0) nx = (-nx) % w;
        else if (nx >= w) nx = w - 1 - (nx % w);
        if (ny < 0) ny = (-ny) % h;
        else if (ny >= h) ny = h - 1 - (ny % h);
        break;
    default: return false;
    }
    x = static_cast<int32_t>(nx);
    y = static_cast<int32_t>(ny);
    return false;
}

void RasterImage::OverflowCoordinates(float& x, float& y, OverflowMethod const ofMethod)
{
    x = tame(x);
    y = tame(y);
    const float w = static_cast<float>(head.biWidth), h = static_cast<float>(head.biHeight);
    if ((x >= 0 && x < w && y >= 0 && y < h) || w <= 0 || h <= 0) return;
    switch (ofMethod) {
    case OM_REPEAT:
        x = x < 0 ? 0 : (x > w - 1 ? w - 1 : x);
        y = y < 0 ? 0 : (y > h - 1 ? h - 1 : y);
        break;
    case OM_WRAP:
        x = fmodf(x, w);
        if (x < 0) x += w;
        y = fmodf(y, h);
        if (y < 0) y += h;
        break;
    case OM_MIRROR:
        if (x < 0) x = fmodf(-x, w);
        else if (x >= w) x = w - (fmodf(x, w) + 1);
        if (y < 0) y = fmodf(-y, h);
        else if (y >= h) y = h - (fmodf(y, h) + 1);
        break;
    default: break;
    }
}

RGBQUAD RasterImage::GetPixelColorWithOverflow(int32_t x, int32_t y, OverflowMethod const ofMethod,
                                               RGBQUAD* const rplColor)
{
    const RGBQUAD replacement = rplColor ? *rplColor : defaultReplacement();
    if (!pDib) return replacement;
    if (IsInside(x, y)) return BlindGetPixelColor(x, y);
    switch (ofMethod) {
    case OM_BACKGROUND:
        if (info.nBkgndIndex < 0) return replacement;
        if (head.biBitCount >= 24) return info.nBkgndColor;
        return GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex));
    case OM_TRANSPARENT:
        if (info.nBkgndIndex < 0) return replacement;
        return GetTransColor();
    case OM_WRAP:
    case OM_REPEAT:
    case OM_MIRROR:
        OverflowCoordinates(x, y, ofMethod);
        return IsInside(x, y) ? BlindGetPixelColor(x, y) : replacement;
    default: return replacement;
    }
}

void RasterImage::AddAveragingCont(RGBQUAD const& color, float const surf, float& rr, float& gg, float& bb,
                                   float& aa)
{
    rr += color.rgbRed * surf;
    gg += color.rgbGreen * surf;
    bb += color.rgbBlue * surf;
    aa += color.rgbReserved * surf;
}

RGBQUAD RasterImage::GetPixelColorInterpolated(float x, float y, InterpolationMethod const inMethod,
                                               OverflowMethod const ofMethod, RGBQUAD* const rplColor)
{
    if (!pDib) return rplColor ? *rplColor : defaultReplacement();
    x = tame(x);
    y = tame(y);
    if (inMethod == IM_BILINEAR) {
        const float fx = floorf(x), fy = floorf(y);
        const int32_t xi = static_cast<int32_t>(fx), yi = static_cast<int32_t>(fy);
        const float t = x - fx, u = y - fy;
        const RGBQUAD c00 = GetPixelColorWithOverflow(xi, yi, ofMethod, rplColor);
        const RGBQUAD c10 = GetPixelColorWithOverflow(xi + 1, yi, ofMethod, rplColor);
        const RGBQUAD c01 = GetPixelColorWithOverflow(xi, yi + 1, ofMethod, rplColor);
        const RGBQUAD c11 = GetPixelColorWithOverflow(xi + 1, yi + 1, ofMethod, rplColor);
        const float w00 = (1 - t) * (1 - u), w10 = t * (1 - u), w01 = (1 - t) * u, w11 = t * u;
        RGBQUAD c;
        c.rgbRed = toByte(c00.rgbRed * w00 + c10.rgbRed * w10 + c01.rgbRed * w01 + c11.rgbRed * w11);
        c.rgbGreen = toByte(c00.rgbGreen * w00 + c10.rgbGreen * w10 + c01.rgbGreen * w01 + c11.rgbGreen * w11);
        c.rgbBlue = toByte(c00.rgbBlue * w00 + c10.rgbBlue * w10 + c01.rgbBlue * w01 + c11.rgbBlue * w11);
        c.rgbReserved = toByte(c00.rgbReserved * w00 + c10.rgbReserved * w10 + c01.rgbReserved * w01 +
                               c11.rgbReserved * w11);
        return c;
    }
    float (*kernel)(float) = nullptr;
    switch (inMethod) {
    case IM_BSPLINE: kernel = KernelBSpline; break;
    case IM_BICUBIC: kernel = KernelCubic; break;
    case IM_BICUBIC2: kernel = [](float t) { return KernelGeneralizedCubic(t, -0.5f); }; break;
    case IM_LANCZOS: kernel = [](float t) { return KernelLanczosSinc(t, 6.0f); }; break;
    case IM_BOX: kernel = KernelBox; break;
    case IM_HERMITE: kernel = KernelHermite; break;
    case IM_HAMMING: kernel = KernelHamming; break;
    case IM_SINC: kernel = KernelSinc; break;
    case IM_BLACKMAN: kernel = KernelBlackman; break;
    case IM_BESSEL: kernel = KernelBessel; break;
    case IM_GAUSSIAN: kernel = KernelGaussian; break;
    case IM_QUADRATIC: kernel = KernelQuadratic; break;
    case IM_MITCHELL: kernel = KernelMitchell; break;
    case IM_CATROM: kernel = KernelCatrom; break;
    case IM_HANNING: kernel = KernelHanning; break;
    case IM_POWER: kernel = [](float t) { return KernelPower(t, 2.0f); }; break;
    default: {
        // Nearest neighbour, and the fallback for unknown methods.
        const int32_t xi = static_cast<int32_t>(x + 0.5f), yi = static_cast<int32_t>(y + 0.5f);
        return GetPixelColorWithOverflow(xi, yi, ofMethod, rplColor);
    }
    }
    const int32_t xi = static_cast<int32_t>(floorf(x)), yi = static_cast<int32_t>(floorf(y));
    const int32_t lo = inMethod == IM_LANCZOS ? -5 : -1, hi = inMethod == IM_LANCZOS ? 6 : 2;
    float rr = 0, gg = 0, bb = 0, aa = 0;
    for (int32_t j = yi + lo; j <= yi + hi; ++j) {
        const float wy = kernel(static_cast<float>(j) - y);
        if (wy == 0) continue;
        for (int32_t i = xi + lo; i <= xi + hi; ++i) {
            const float wgt = wy * kernel(static_cast<float>(i) - x);
            if (wgt == 0) continue;
            AddAveragingCont(GetPixelColorWithOverflow(i, j, ofMethod, rplColor), wgt, rr, gg, bb, aa);
        }
    }
    return RGBQUAD{toByte(bb), toByte(gg), toByte(rr), toByte(aa)};
}

RGBQUAD RasterImage::GetAreaColorInterpolated(float const xc, float const yc, float const w, float const h,
                                              InterpolationMethod const inMethod, OverflowMethod const ofMethod,
                                              RGBQUAD* const rplColor)
{
    if (!(w > 1.0f) && !(h > 1.0f)) return GetPixelColorInterpolated(xc, yc, inMethod, ofMethod, rplColor);
    if (!pDib) return rplColor ? *rplColor : defaultReplacement();
    // An area far larger than the image reads the same pixels again and again: bound it.
    const float limit = 4.0f * static_cast<float>(head.biWidth + head.biHeight) + 4.0f;
    const float aw = w > limit ? limit : (w >= 1 ? w : 1), ah = h > limit ? limit : (h >= 1 ? h : 1);  // NaN: 1
    const float cx = tame(xc), cy = tame(yc);
    const float x1 = cx - aw / 2, x2 = cx + aw / 2, y1 = cy - ah / 2, y2 = cy + ah / 2;
    float rr = 0, gg = 0, bb = 0, aa = 0;
    for (int32_t py = static_cast<int32_t>(floorf(y1 + 0.5f)); py <= static_cast<int32_t>(floorf(y2 + 0.5f)); ++py) {
        const float top = fmaxf(y1, py - 0.5f), bottom = fminf(y2, py + 0.5f);
        if (bottom <= top) continue;
        for (int32_t px = static_cast<int32_t>(floorf(x1 + 0.5f)); px <= static_cast<int32_t>(floorf(x2 + 0.5f));
             ++px) {
            const float left = fmaxf(x1, px - 0.5f), right = fminf(x2, px + 0.5f);
            if (right <= left) continue;
            AddAveragingCont(GetPixelColorWithOverflow(px, py, ofMethod, rplColor), (right - left) * (bottom - top),
                             rr, gg, bb, aa);
        }
    }
    const float area = aw * ah;
    return RGBQUAD{toByte(bb / area), toByte(gg / area), toByte(rr / area), toByte(aa / area)};
}

float RasterImage::KernelBSpline(const float x)
{
    if (x > 2.0f) return 0.0f;
    auto cube = [](float v) { return v > 0 ? v * v * v : 0.0f; };
    return (cube(x + 2) - 4 * cube(x + 1) + 6 * cube(x) - 4 * cube(x - 1)) / 6.0f;
}

float RasterImage::KernelLinear(const float t)
{
    const float a = fabsf(t);
    return a < 1 ? 1 - a : 0;
}

float RasterImage::KernelCubic(const float t)
{
    const float a = fabsf(t);
    if (a < 1) return t * t * (a - 2) + 1;
    if (a < 2) return a * (a * (5 - a) - 8) + 4;
    return 0;
}

float RasterImage::KernelGeneralizedCubic(const float t, const float a)
{
    const float x = fabsf(t);
    if (x < 1) return (a + 2) * x * x * x - (a + 3) * x * x + 1;
    if (x < 2) return a * x * x * x - 5 * a * x * x + 8 * a * x - 4 * a;
    return 0;
}

float RasterImage::KernelLanczosSinc(const float t, const float r)
{
    if (fabsf(t) > r) return 0;
    if (t == 0) return 1;
    const float pit = kPi * t, pitr = pit / r;
    return (sinf(pit) / pit) * (sinf(pitr) / pitr);
}

float RasterImage::KernelBox(const float x) { return (x >= -0.5f && x < 0.5f) ? 1.0f : 0.0f; }

float RasterImage::KernelHermite(const float x)
{
    const float a = fabsf(x);
    return a < 1 ? (2 * a - 3) * x * x + 1 : 0;
}

float RasterImage::KernelHamming(const float x)
{
    const float a = fabsf(x);
    return a < 1 ? 0.92f * (2 * a - 3) * x * x + 1 : 0;
}

float RasterImage::KernelSinc(const float x)
{
    if (x == 0) return 1;
    return sinf(kPi * x) / (kPi * x);
}

float RasterImage::KernelBlackman(const float x) { return 0.42f + 0.5f * cosf(kPi * x) + 0.08f * cosf(2 * kPi * x); }

float RasterImage::KernelBessel_J1(const float x)
{
    const double y = static_cast<double>(x) * x;
    const double num =
        x * (72362614232.0 + y * (-7895059235.0 + y * (242396853.1 + y * (-2972611.439 + y * (15704.48260 + y * (-30.16036606))))));
    const double den =
        144725228442.0 + y * (2300535178.0 + y * (18583304.74 + y * (99447.43394 + y * (376.9991397 + y))));
    return static_cast<float>(num / den);
}

float RasterImage::KernelBessel_P1(const float x)
{
    const double z = 8.0 / x, y = z * z;
    return static_cast<float>(1.0 + y * (0.183105e-2 + y * (-0.3516396496e-4 + y * (0.2457520174e-5 + y * (-0.240337019e-6)))));
}

float RasterImage::KernelBessel_Q1(const float x)
{
    const double z = 8.0 / x, y = z * z;
    return static_cast<float>(0.04687499995 +
                              y * (-0.2002690873e-3 + y * (0.8449199096e-5 + y * (-0.88228987e-6 + y * 0.105787412e-6))));
}

float RasterImage::KernelBessel_Order1(float x)
{
    if (x == 0) return 0;
    const float p = fabsf(x);
    if (p < 8) return KernelBessel_J1(x);
    const double xx = p - 2.356194491;
    const double v = sqrt(0.636619772 / p) * (cos(xx) * KernelBessel_P1(p) - (8.0 / p) * sin(xx) * KernelBessel_Q1(p));
    return static_cast<float>(x < 0 ? -v : v);
}

float RasterImage::KernelBessel(const float x)
{
    if (x == 0) return kPi / 4;
    return KernelBessel_Order1(kPi * x) / (2 * x);
}

float RasterImage::KernelGaussian(const float x) { return expf(-2.0f * x * x) * 0.79788456f; }

float RasterImage::KernelQuadratic(const float x)
{
    if (x < -1.5f) return 0;
    if (x < -0.5f) return 0.5f * (x + 1.5f) * (x + 1.5f);
    if (x < 0.5f) return 0.75f - x * x;
    if (x < 1.5f) return 0.5f * (x - 1.5f) * (x - 1.5f);
    return 0;
}

float RasterImage::KernelMitchell(const float x)
{
    const float a = fabsf(x);
    if (a < 1) return (7.0f / 6.0f) * a * a * a - 2 * x * x + 8.0f / 9.0f;
    if (a < 2) return -(7.0f / 18.0f) * a * a * a + 2 * x * x - (10.0f / 3.0f) * a + 16.0f / 9.0f;
    return 0;
}

float RasterImage::KernelCatrom(const float x)
{
    const float a = fabsf(x);
    if (a < 1) return 0.5f * (3 * a * a * a - 5 * x * x + 2);
    if (a < 2) return 0.5f * (-a * a * a + 5 * x * x - 8 * a + 4);
    return 0;
}

float RasterImage::KernelHanning(const float x)
{
    return fabsf(x) < 1 ? 0.5f + 0.5f * cosf(kPi * x) : 0;
}

float RasterImage::KernelPower(const float x, const float a)
{
    const float v = fabsf(x);
    return v <= 1 ? 1 - powf(v, a) : 0;
}
