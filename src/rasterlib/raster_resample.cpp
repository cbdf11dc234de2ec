// Resampling and canvas operations of the raster image: free rotation, scaling, shrink,
// crop, skew, borders and thumbnails. Results keep the depth; palette images take the
// nearest palette entry of each computed colour.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "rasterlib/raster_image.h"

namespace {

const double kDegToRad = 3.14159265358979323846 / 180.0;

// The new picture of a whole-image operation, with our settings and palette.
bool makeLike(RasterImage& src, RasterImage& out, int64_t w, int64_t h)
{
    if (w <= 0 || h <= 0 || w > 0x7FFFFFFF || h > 0x7FFFFFFF) return false;
    out.Copy(src, false);  // settings and palette, no pixels
    if (!out.Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), src.GetBpp(), src.GetType())) return false;
    if (src.GetPalette()) out.SetPalette(src.GetPalette(), src.GetNumColors());
    return true;
}

// The source pixels one destination pixel covers along one axis when n pixels shrink to m,
// with their weights in thousandths of a pixel: destination pixel d spans [d n 1000 / m,
// (d + 1) n 1000 / m) in source thousandths.
struct Span {
    int32_t first;
    std::vector<int32_t> weight;
    int64_t total;
};

std::vector<Span> areaSpans(int64_t n, int64_t m)
{
    std::vector<Span> spans(static_cast<size_t>(m));
    for (int64_t d = 0; d < m; ++d) {
        const int64_t from = d * n * 1000 / m, to = (d + 1) * n * 1000 / m;
        Span& s = spans[static_cast<size_t>(d)];
        s.first = static_cast<int32_t>(from / 1000);
        s.total = to - from;
        for (int64_t i = from / 1000; i * 1000 < to && i < n; ++i)
            s.weight.push_back(static_cast<int32_t>(std::min(to, (i + 1) * 1000) - std::max(from, i * 1000)));
    }
    return spans;
}

// Area averaging of a 24-bit picture shrunk in both directions: each destination pixel is the
// mean of the source pixels it covers, weighed by the covered area in integer thousandths.
void areaShrink(RasterImage& src, RasterImage& out, int32_t newx, int32_t newy)
{
    const std::vector<Span> xs = areaSpans(src.GetWidth(), newx), ys = areaSpans(src.GetHeight(), newy);
    for (int32_t y = 0; y < newy; ++y) {
        const Span& sy = ys[static_cast<size_t>(y)];
        for (int32_t x = 0; x < newx; ++x) {
            const Span& sx = xs[static_cast<size_t>(x)];
            int64_t b = 0, g = 0, r = 0;
            for (size_t j = 0; j < sy.weight.size(); ++j)
                for (size_t i = 0; i < sx.weight.size(); ++i) {
                    const RGBQUAD c = src.BlindGetPixelColor(sx.first + static_cast<int32_t>(i),
                                                             sy.first + static_cast<int32_t>(j), false);
                    const int64_t w = static_cast<int64_t>(sx.weight[i]) * sy.weight[j];
                    b += c.rgbBlue * w;
                    g += c.rgbGreen * w;
                    r += c.rgbRed * w;
                }
            const int64_t total = sx.total * sy.total;
            out.BlindSetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(b / total), static_cast<uint8_t>(g / total),
                                                 static_cast<uint8_t>(r / total), 0});
        }
    }
}

// Size of the box around a w x h picture turned by the angle.
void turnedBox(double w, double h, double rad, int64_t& nw, int64_t& nh)
{
    const double c = fabs(cos(rad)), s = fabs(sin(rad));
    nw = static_cast<int64_t>(floor(w * c + h * s + 0.5));
    nh = static_cast<int64_t>(floor(w * s + h * c + 0.5));
    if (nw < 1) nw = 1;
    if (nh < 1) nh = 1;
}

// Fills an nw x nh result pixel by pixel: sample(x, y, dx, dy) gets the offset (dx, dy) of the
// pixel centre from the result's centre. Progress in percent of rows; stops when escape is set.
template <class Sample>
void fillAroundCentre(RasterImageInfo& info, int64_t nw, int64_t nh, Sample sample)
{
    const double ocx = nw / 2.0, ocy = nh / 2.0;
    for (int32_t y = 0; y < nh; ++y) {
        info.nProgress = static_cast<int32_t>(100 * y / nh);
        if (info.nEscape) break;
        for (int32_t x = 0; x < nw; ++x) sample(x, y, x + 0.5 - ocx, y + 0.5 - ocy);
    }
}

}  // namespace

static bool deliver(RasterImage& self, RasterImage& out, RasterImage* dst)
{
    if (!out.IsValid()) return false;
    return dst ? dst->Transfer(out) : self.Transfer(out);
}

bool RasterImage::Rotate(float angle, RasterImage* iDst)
{
    if (!pDib || !std::isfinite(angle)) return false;
    const double a = fmod(static_cast<double>(angle), 360.0);
    if (a == 0) {
        if (iDst) iDst->Copy(*this);
        return true;
    }
    if (fmod(a, 180.0) == 0) return Rotate180(iDst);
    const double rad = a * kDegToRad, c = cos(rad), s = sin(rad);
    int64_t nw, nh;
    turnedBox(head.biWidth, head.biHeight, rad, nw, nh);
    RasterImage out;
    if (!makeLike(*this, out, nw, nh)) {
        SetError(out.GetLastError()[0] ? out.GetLastError() : "Rotate: result too large");
        return false;
    }
    const double icx = head.biWidth / 2.0, icy = head.biHeight / 2.0;
    fillAroundCentre(info, nw, nh, [&](int32_t x, int32_t y, double dx, double dy) {
        // Inverse turn of the pixel centre (counter-clockwise turns for positive angles).
        const int32_t sx = static_cast<int32_t>(floor(dx * c + dy * s + icx));
        const int32_t sy = static_cast<int32_t>(floor(-dx * s + dy * c + icy));
        if (head.biClrUsed) out.BlindSetPixelIndex(x, y, GetPixelIndex(sx, sy));
        else out.BlindSetPixelColor(x, y, GetPixelColor(sx, sy));
    });
    return deliver(*this, out, iDst);
}

bool RasterImage::Rotate2(float angle, RasterImage* iDst, InterpolationMethod inMethod, OverflowMethod ofMethod,
                          RGBQUAD* replColor, bool optimizeRightAngles, bool bKeepOriginalSize)
{
    if (!pDib || !std::isfinite(angle)) return false;
    double a = fmod(static_cast<double>(angle), 360.0);
    if (a < 0) a += 360;
    if (optimizeRightAngles) {
        const bool square = head.biWidth == head.biHeight;
        if (fabs(a) < 1e-6 || fabs(a - 360) < 1e-6) {
            if (iDst) iDst->Copy(*this);
            return true;
        }
        if (fabs(a - 180) < 1e-6) return Rotate180(iDst);
        if (fabs(a - 90) < 1e-6 && (square || !bKeepOriginalSize)) return RotateLeft(iDst);
        if (fabs(a - 270) < 1e-6 && (square || !bKeepOriginalSize)) return RotateRight(iDst);
    }
    const double rad = a * kDegToRad, c = cos(rad), s = sin(rad);
    int64_t nw = head.biWidth, nh = head.biHeight;
    if (!bKeepOriginalSize) turnedBox(head.biWidth, head.biHeight, rad, nw, nh);
    RasterImage out;
    if (!makeLike(*this, out, nw, nh)) {
        SetError(out.GetLastError()[0] ? out.GetLastError() : "Rotate2: result too large");
        return false;
    }
    const double icx = head.biWidth / 2.0, icy = head.biHeight / 2.0;
    fillAroundCentre(info, nw, nh, [&](int32_t x, int32_t y, double dx, double dy) {
        const float sx = static_cast<float>(dx * c + dy * s + icx - 0.5);
        const float sy = static_cast<float>(-dx * s + dy * c + icy - 0.5);
        out.BlindSetPixelColor(x, y, GetPixelColorInterpolated(sx, sy, inMethod, ofMethod, replColor));
    });
    return deliver(*this, out, iDst);
}

bool RasterImage::Resample(int32_t newx, int32_t newy, int mode, RasterImage* iDst)
{
    if (!pDib || newx <= 0 || newy <= 0) return false;
    if (newx == head.biWidth && newy == head.biHeight) {
        if (iDst) iDst->Copy(*this);
        return true;
    }
    RasterImage out;
    if (!makeLike(*this, out, newx, newy)) {
        SetError(out.GetLastError());
        return false;
    }
    const float xs = static_cast<float>(head.biWidth) / newx, ys = static_cast<float>(head.biHeight) / newy;
    if (mode != 1 && mode != 2 && head.biBitCount == 24 && newx < head.biWidth && newy < head.biHeight) {
        areaShrink(*this, out, newx, newy);
        return deliver(*this, out, iDst);
    }
    for (int32_t y = 0; y < newy; ++y) {
        info.nProgress = 100 * y / newy;
        if (info.nEscape) break;
        for (int32_t x = 0; x < newx; ++x) {
            if (mode == 1) {
                const int32_t sx = static_cast<int32_t>(x * xs), sy = static_cast<int32_t>(y * ys);
                if (head.biClrUsed) out.BlindSetPixelIndex(x, y, GetPixelIndex(sx, sy));
                else out.BlindSetPixelColor(x, y, GetPixelColor(sx, sy));
                continue;
            }
            const float sx = (x + 0.5f) * xs - 0.5f, sy = (y + 0.5f) * ys - 0.5f;
            RGBQUAD c;
            if (mode == 2) c = GetPixelColorInterpolated(x * xs - 0.5f, y * ys - 0.5f, IM_BICUBIC2, OM_REPEAT);
            else c = GetPixelColorInterpolated(sx, sy, IM_BILINEAR, OM_REPEAT);
            out.BlindSetPixelColor(x, y, c);
        }
    }
    return deliver(*this, out, iDst);
}

bool RasterImage::Resample2(int32_t newx, int32_t newy, InterpolationMethod inMethod, OverflowMethod ofMethod,
                            RasterImage* iDst, bool disableAveraging)
{
    if (!pDib || newx <= 0 || newy <= 0) return false;
    RasterImage out;
    if (!makeLike(*this, out, newx, newy)) {
        SetError(out.GetLastError());
        return false;
    }
    const float xs = static_cast<float>(head.biWidth) / newx, ys = static_cast<float>(head.biHeight) / newy;
    const bool average = !disableAveraging && (xs > 1 || ys > 1);
    for (int32_t y = 0; y < newy; ++y) {
        info.nProgress = 100 * y / newy;
        if (info.nEscape) break;
        for (int32_t x = 0; x < newx; ++x) {
            const float sx = (x + 0.5f) * xs - 0.5f, sy = (y + 0.5f) * ys - 0.5f;
            out.BlindSetPixelColor(x, y, average ? GetAreaColorInterpolated(sx, sy, xs, ys, inMethod, ofMethod)
                                                 : GetPixelColorInterpolated(sx, sy, inMethod, ofMethod));
        }
    }
    return deliver(*this, out, iDst);
}

bool RasterImage::QIShrink(int32_t newx, int32_t newy, RasterImage* iDst, bool bChangeBpp)
{
    if (!pDib || newx <= 0 || newy <= 0) return false;
    if (newx > head.biWidth || newy > head.biHeight) {
        SetError("QIShrink can't enlarge image");
        return false;
    }
    RasterImage out;
    const bool to24 = bChangeBpp && head.biClrUsed;
    if (to24) {
        out.CopyInfo(*this);
        if (!out.Create(static_cast<uint32_t>(newx), static_cast<uint32_t>(newy), 24, GetType())) return false;
    } else if (!makeLike(*this, out, newx, newy)) {
        SetError(out.GetLastError());
        return false;
    }
    const int64_t w = head.biWidth, h = head.biHeight;
    for (int32_t y = 0; y < newy; ++y) {
        const int32_t y0 = static_cast<int32_t>(y * h / newy), y1 = static_cast<int32_t>((y + 1) * h / newy);
        for (int32_t x = 0; x < newx; ++x) {
            const int32_t x0 = static_cast<int32_t>(x * w / newx), x1 = static_cast<int32_t>((x + 1) * w / newx);
            uint64_t r = 0, g = 0, b = 0, n = 0;
            for (int32_t sy = y0; sy < y1; ++sy)
                for (int32_t sx = x0; sx < x1; ++sx) {
                    const RGBQUAD c = BlindGetPixelColor(sx, sy);
                    r += c.rgbRed;
                    g += c.rgbGreen;
                    b += c.rgbBlue;
                    ++n;
                }
            if (!n) n = 1;
            out.BlindSetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(b / n), static_cast<uint8_t>(g / n),
                                                 static_cast<uint8_t>(r / n), 0});
        }
    }
    return deliver(*this, out, iDst);
}

bool RasterImage::Crop(int32_t left, int32_t top, int32_t right, int32_t bottom, RasterImage* iDst)
{
    if (!pDib) return false;
    clampRect(left, top, right, bottom);
    if (left == right || top == bottom) {
        SetError("Crop: empty rectangle");
        return false;
    }
    RasterImage out;
    if (!makeLike(*this, out, right - left, bottom - top)) {
        SetError(out.GetLastError());
        return false;
    }
    const int32_t h = head.biHeight, nh = bottom - top;
    for (int32_t r = 0; r < nh; ++r) {
        const int32_t sy = h - 1 - (top + r), dy = nh - 1 - r;
        if (head.biBitCount >= 8) {
            const uint32_t bytes = head.biBitCount / 8;
            memcpy(out.GetBits(static_cast<uint32_t>(dy)), GetBits(static_cast<uint32_t>(sy)) + left * bytes,
                   static_cast<size_t>(right - left) * bytes);
        } else {
            for (int32_t x = left; x < right; ++x) out.BlindSetPixelIndex(x - left, dy, BlindGetPixelIndex(x, sy));
        }
    }
    return deliver(*this, out, iDst);
}

bool RasterImage::Crop(const RECT& rect, RasterImage* iDst)
{
    return Crop(rect.left, rect.top, rect.right, rect.bottom, iDst);
}

bool RasterImage::CropRotatedRectangle(int32_t topx, int32_t topy, int32_t width, int32_t height, float angle,
                                       RasterImage* iDst)
{
    if (!pDib || width <= 0 || height <= 0 || !std::isfinite(angle)) return false;
    if (fabsf(angle) < 0.0002f) return Crop(topx, topy, topx + width, topy + height, iDst);
    // Corners of the turned rectangle, top-down coordinates.
    const double c = cos(angle), s = sin(angle);
    const double px[4] = {double(topx), topx + width * c, topx - height * s, topx + width * c - height * s};
    const double py[4] = {double(topy), topy + width * s, topy + height * c, topy + width * s + height * c};
    double minx = px[0], maxx = px[0], miny = py[0], maxy = py[0];
    for (int i = 1; i < 4; ++i) {
        minx = fmin(minx, px[i]);
        maxx = fmax(maxx, px[i]);
        miny = fmin(miny, py[i]);
        maxy = fmax(maxy, py[i]);
    }
    if (maxx - minx > 1e7 || maxy - miny > 1e7) return false;
    RasterImage box;
    if (!Crop(static_cast<int32_t>(floor(minx)), static_cast<int32_t>(floor(miny)), static_cast<int32_t>(ceil(maxx)),
              static_cast<int32_t>(ceil(maxy)), &box))
        return false;
    if (!box.Rotate(static_cast<float>(angle * 57.29577951308232))) return false;
    const int32_t cx = (static_cast<int32_t>(box.GetWidth()) - width) / 2;
    const int32_t cy = (static_cast<int32_t>(box.GetHeight()) - height) / 2;
    RasterImage out;
    if (!box.Crop(cx, cy, cx + width, cy + height, &out)) return false;
    return deliver(*this, out, iDst);
}

bool RasterImage::Skew(float xgain, float ygain, int32_t xpivot, int32_t ypivot, bool bEnableInterpolation)
{
    if (!pDib || !std::isfinite(xgain) || !std::isfinite(ygain)) return false;
    RasterImage out;
    if (!makeLike(*this, out, head.biWidth, head.biHeight)) return false;
    for (int32_t y = 0; y < head.biHeight; ++y) {
        info.nProgress = 100 * y / head.biHeight;
        if (info.nEscape) break;
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const float sx = x + (y - ypivot) * xgain, sy = y + (x - xpivot) * ygain;
            RGBQUAD c;
            if (bEnableInterpolation) {
                c = GetPixelColorInterpolated(sx, sy, IM_BILINEAR, OM_BACKGROUND);
            } else {
                const float rx = floorf(sx + 0.5f), ry = floorf(sy + 0.5f);
                const bool far = !(fabsf(rx) < 1e9f) || !(fabsf(ry) < 1e9f);
                c = GetPixelColor(far ? -1 : static_cast<int32_t>(rx), far ? -1 : static_cast<int32_t>(ry));
            }
            out.BlindSetPixelColor(x, y, c);
        }
    }
    return Transfer(out);
}

bool RasterImage::Expand(int32_t left, int32_t top, int32_t right, int32_t bottom, RGBQUAD canvascolor,
                         RasterImage* iDst)
{
    if (!pDib || left < 0 || top < 0 || right < 0 || bottom < 0) return false;
    const int64_t nw = int64_t(head.biWidth) + left + right, nh = int64_t(head.biHeight) + top + bottom;
    RasterImage out;
    if (!makeLike(*this, out, nw, nh)) {
        SetError(out.GetLastError()[0] ? out.GetLastError() : "Expand: result too large");
        return false;
    }
    for (int32_t y = 0; y < nh; ++y)
        for (int32_t x = 0; x < nw; ++x) {
            const int32_t sx = x - left, sy = y - bottom;
            if (IsInside(sx, sy)) {
                if (head.biClrUsed) out.BlindSetPixelIndex(x, y, BlindGetPixelIndex(sx, sy));
                else out.BlindSetPixelColor(x, y, BlindGetPixelColor(sx, sy));
            } else {
                out.BlindSetPixelColor(x, y, canvascolor);
            }
        }
    return deliver(*this, out, iDst);
}

bool RasterImage::Expand(int32_t newx, int32_t newy, RGBQUAD canvascolor, RasterImage* iDst)
{
    if (!pDib || newx < head.biWidth || newy < head.biHeight) return false;
    const int32_t left = (newx - head.biWidth) / 2, top = (newy - head.biHeight) / 2;
    return Expand(left, top, newx - head.biWidth - left, newy - head.biHeight - top, canvascolor, iDst);
}

bool RasterImage::Thumbnail(int32_t newx, int32_t newy, RGBQUAD canvascolor, RasterImage* iDst)
{
    if (!pDib || newx <= 0 || newy <= 0) return false;
    RasterImage work(*this);
    if (head.biWidth > newx || head.biHeight > newy) {
        const float factor = (static_cast<float>(newx) / newy) * head.biHeight > head.biWidth
                                 ? static_cast<float>(newy) / head.biHeight
                                 : static_cast<float>(newx) / head.biWidth;
        int32_t rw = static_cast<int32_t>(head.biWidth * factor), rh = static_cast<int32_t>(head.biHeight * factor);
        rw = rw < 1 ? 1 : (rw > newx ? newx : rw);
        rh = rh < 1 ? 1 : (rh > newy ? newy : rh);
        if (!work.Resample(rw, rh, 0)) return false;
    }
    RasterImage out;
    if (!work.Expand(newx, newy, canvascolor, &out)) return false;
    return deliver(*this, out, iDst);
}
