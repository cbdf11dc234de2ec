// Thresholds of the raster image (by mask, by level, by histogram analysis, adaptive),
// mixing of two images, channel repair, red-eye removal and boundary tracing.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "rasterlib/raster_image.h"

namespace {

bool sameColor(const RGBQUAD& a, const RGBQUAD& b)
{
    return a.rgbRed == b.rgbRed && a.rgbGreen == b.rgbGreen && a.rgbBlue == b.rgbBlue;
}

// Class statistics of a histogram split at k, from prefix sums (O(1) per split).
struct Classes {
    double w[257], m[257], q[257], e[257];  // sums of p, i p, i^2 p, p ln p over levels below

    explicit Classes(const double* p)
    {
        w[0] = m[0] = q[0] = e[0] = 0;
        for (int i = 0; i < 256; ++i) {
            w[i + 1] = w[i] + p[i];
            m[i + 1] = m[i] + i * p[i];
            q[i + 1] = q[i] + double(i) * i * p[i];
            e[i + 1] = e[i] + (p[i] > 0 ? p[i] * log(p[i]) : 0);
        }
    }
    // Weight, mean and spread (sum of squared distances) of levels [a, b].
    void range(int a, int b, double& wt, double& mean, double& spread) const
    {
        wt = w[b + 1] - w[a];
        const double sum = m[b + 1] - m[a];
        mean = wt > 0 ? sum / wt : 0;
        spread = (q[b + 1] - q[a]) - wt * mean * mean;
        if (spread < 0) spread = 0;
    }
    double plogp(int a, int b) const { return e[b + 1] - e[a]; }
};

// Thresholds from a histogram of levels lo..hi; -1 when none is found. Above t is white.
int thresholdBy(int method, const double* p, int lo, int hi)
{
    const Classes c(p);
    double best = 0;
    int t = -1;
    for (int k = lo; k < hi; ++k) {
        double w0, m0, s0, w1, m1, s1;
        c.range(lo, k, w0, m0, s0);
        c.range(k + 1, hi, w1, m1, s1);
        if (w0 <= 0 || w1 <= 0) continue;
        double score;  // larger is better
        switch (method) {
        case 1: score = w0 * w1 * (m0 - m1) * (m0 - m1); break;  // between-class variance
        case 2: {                                                  // minimum error
            const double v0 = s0 / w0, v1 = s1 / w1;
            if (v0 <= 0 || v1 <= 0) continue;
            score = -(1 + w0 * log(v0) + w1 * log(v1) - 2 * (w0 * log(w0) + w1 * log(w1)));
            break;
        }
        case 3:  // entropy of the two classes
            score = -(c.plogp(lo, k) / w0 - log(w0)) - (c.plogp(k + 1, hi) / w1 - log(w1));
            break;
        default: score = -fabs(s0 - s1); break;  // balanced squared distances
        }
        if (t < 0 || score > best) {
            best = score;
            t = k;
        }
    }
    return t;
}

}  // namespace

bool RasterImage::Threshold(RasterImage* pThresholdMask)
{
    if (!pDib) return false;
    if (!pThresholdMask || !pThresholdMask->IsValid() || !pThresholdMask->IsGrayScale() ||
        pThresholdMask->GetWidth() != GetWidth() || pThresholdMask->GetHeight() != GetHeight()) {
        SetError("Threshold: the mask must be a grey image of the same size");
        return false;
    }
    RasterImage gray(*this);
    if (!gray.GrayScale()) {
        SetError(gray.GetLastError());
        return false;
    }
    RasterImage bw;
    if (!createLike(bw, GetWidth(), GetHeight(), 1)) return false;
    bw.SetPaletteColor(0, 0, 0, 0);
    bw.SetPaletteColor(1, 255, 255, 255);
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x)
            if (gray.BlindGetPixelIndex(x, y) > pThresholdMask->BlindGetPixelIndex(x, y)) bw.BlindSetPixelIndex(x, y, 1);
    return Transfer(bw);
}

bool RasterImage::Threshold2(uint8_t level, bool bDirection, RGBQUAD nBkgndColor, bool bSetAlpha)
{
    if (!pDib) return false;
    RasterImage gray(*this);
    if (!gray.GrayScale()) return false;
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const uint8_t g = gray.BlindGetPixelIndex(x, y);
            if (bDirection ? g >= level : g < level) BlindSetPixelColor(x, y, nBkgndColor, bSetAlpha);
        }
    return true;
}

int32_t RasterImage::OptimalThreshold(int32_t method, RECT* pBox, RasterImage* pContrastMask)
{
    if (!pDib || head.biBitCount != 8 || !IsGrayScale()) return -1;
    int32_t left = 0, top = 0, right = head.biWidth, bottom = head.biHeight;
    if (pBox) {
        left = pBox->left;
        top = pBox->top;
        right = pBox->right;
        bottom = pBox->bottom;
        clampRect(left, top, right, bottom);
        if (left == right || top == bottom) return -1;
    }
    const bool useMask = pContrastMask && pContrastMask->IsValid() && pContrastMask->GetWidth() == GetWidth() &&
                         pContrastMask->GetHeight() == GetHeight();
    double hist[256];
    memset(hist, 0, sizeof(hist));
    double total = 0;
    for (int32_t r = top; r < bottom; ++r) {
        const int32_t y = head.biHeight - 1 - r;
        const uint8_t* row = GetBits(static_cast<uint32_t>(y));
        for (int32_t x = left; x < right; ++x) {
            if (useMask && pContrastMask->GetPixelIndex(x, y) == 0) continue;
            hist[row[x]] += 1;
            total += 1;
        }
    }
    if (total == 0) return -1;
    int lo = 0, hi = 255;
    while (lo < 255 && hist[lo] == 0) ++lo;
    while (hi > 0 && hist[hi] == 0) --hi;
    if (lo == hi) return lo - 1;
    for (double& v : hist) v /= total;
    int t;
    switch (method) {
    case 1:
    case 2:
    case 3:
    case 4: t = thresholdBy(method, hist, lo, hi); break;
    default: {
        int sum = 0, n = 0;
        for (int m = 1; m <= 4; ++m)
            if (const int v = thresholdBy(m, hist, lo, hi); v >= 0) {
                sum += v;
                ++n;
            }
        t = n ? sum / n : -1;
    }
    }
    return t;
}

bool RasterImage::AdaptiveThreshold(int32_t method, int32_t nBoxSize, RasterImage* pContrastMask, int32_t nBias,
                                    float fGlobalLocalBalance)
{
    if (!pDib || nBoxSize < 1 || !std::isfinite(fGlobalLocalBalance)) return false;
    RasterImage gray(*this);
    if (!gray.GrayScale()) return false;
    const int32_t global = gray.OptimalThreshold(method, nullptr, pContrastMask);
    if (global < 0) {
        SetError("AdaptiveThreshold: no threshold found");
        return false;
    }
    const float balance = fGlobalLocalBalance < 0 ? 0 : (fGlobalLocalBalance > 1 ? 1 : fGlobalLocalBalance);
    const int32_t w = head.biWidth, h = head.biHeight;
    const int32_t nx = static_cast<int32_t>((int64_t(w) + nBoxSize - 1) / nBoxSize);
    const int32_t ny = static_cast<int32_t>((int64_t(h) + nBoxSize - 1) / nBoxSize);
    const int32_t bias = nBias > 512 ? 512 : (nBias < -512 ? -512 : nBias);
    RasterImage levels;
    if (!levels.Create(static_cast<uint32_t>(nx), static_cast<uint32_t>(ny), 8, 0)) return false;
    levels.SetGrayPalette();
    for (int32_t by = 0; by < ny; ++by)
        for (int32_t bx = 0; bx < nx; ++bx) {
            auto edge = [nBoxSize](int32_t i) {
                return static_cast<int32_t>(std::min<int64_t>(int64_t(i) * nBoxSize, 0x7FFFFFFF));
            };
            RECT box = {edge(bx), edge(by), edge(bx + 1), edge(by + 1)};
            int32_t local = gray.OptimalThreshold(method, &box, pContrastMask);
            if (local < 0) local = global;
            const int32_t t = static_cast<int32_t>(global * balance + local * (1 - balance)) + bias;
            levels.BlindSetPixelIndex(bx, ny - 1 - by, Val_0_255(t));
        }
    if (!levels.Resample(w, h, 0)) return false;
    if (!levels.IsGrayScale()) levels.GrayScale();
    return Threshold(&levels);
}

bool RasterImage::Mix(RasterImage& imgsrc2, ImageOpType op, int32_t lXOffset, int32_t lYOffset, bool bMixAlpha)
{
    if (!pDib || !imgsrc2.IsValid()) return false;
    if (op < OpAdd || op > OpBlendAlpha) {
        SetError("Mix: unknown operation");
        return false;
    }
    (void)bMixAlpha;
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const int32_t sx = x - lXOffset, sy = y - lYOffset;
            if (!imgsrc2.IsInside(sx, sy)) continue;
            const RGBQUAD d = BlindGetPixelColor(x, y), s = imgsrc2.BlindGetPixelColor(sx, sy);
            const bool sT = imgsrc2.IsTransparent(sx, sy), dT = IsTransparent(x, y);
            auto each = [&](auto fn) {
                return RGBQUAD{Val_0_255(fn(d.rgbBlue, s.rgbBlue)), Val_0_255(fn(d.rgbGreen, s.rgbGreen)),
                               Val_0_255(fn(d.rgbRed, s.rgbRed)), 0};
            };
            RGBQUAD r = d;
            switch (op) {
            case OpAdd: r = each([](int a, int b) { return a + b; }); break;
            case OpAnd: r = each([](int a, int b) { return a & b; }); break;
            case OpXor: r = each([](int a, int b) { return a ^ b; }); break;
            case OpOr: r = each([](int a, int b) { return a | b; }); break;
            case OpMask: r = (s.rgbRed || s.rgbGreen || s.rgbBlue) ? s : d; break;
            case OpSrcCopy: r = sT ? d : s; break;
            case OpDstCopy: r = dT ? s : d; break;
            case OpScreen: r = (dT && !sT) ? s : d; break;
            case OpSub: r = each([](int a, int b) { return a - b; }); break;
            case OpSrcBlend: {
                const int dist = (abs(d.rgbRed - s.rgbRed) + abs(d.rgbGreen - s.rgbGreen) + abs(d.rgbBlue - s.rgbBlue)) / 3;
                if (dist < 17) r = each([dist](int a, int b) { return (b * (16 - dist) + a * dist) / 16; });
                break;
            }
            case OpAvg: r = each([](int a, int b) { return (a + b) / 2; }); break;
            case OpBlendAlpha: {
                const int a = s.rgbReserved;
                if (a > 250) r = s;
                else if (a >= 5) r = each([a](int dv, int sv) { return (sv * a + dv * (255 - a)) / 255; });
                break;
            }
            }
            BlindSetPixelColor(x, y, r);
        }
    return true;
}

void RasterImage::MixFrom(RasterImage& imagesrc2, int32_t lXOffset, int32_t lYOffset)
{
    if (!pDib || !imagesrc2.IsValid()) return;
    for (int32_t y = 0; y < static_cast<int32_t>(imagesrc2.GetHeight()); ++y)
        for (int32_t x = 0; x < static_cast<int32_t>(imagesrc2.GetWidth()); ++x) {
            const int64_t dx = int64_t(x) + lXOffset, dy = int64_t(y) + lYOffset;
            if (dx < 0 || dy < 0 || dx >= head.biWidth || dy >= head.biHeight) continue;
            if (imagesrc2.IsTransparent(x, y)) continue;
            BlindSetPixelColor(static_cast<int32_t>(dx), static_cast<int32_t>(dy), imagesrc2.BlindGetPixelColor(x, y));
        }
}

bool RasterImage::RepairChannel(RasterImage* ch, float radius)
{
    if (!ch || !ch->IsValid() || ch->GetBpp() != 8 || !std::isfinite(radius)) return false;
    RasterImage out(*ch);
    const int32_t w = static_cast<int32_t>(ch->GetWidth()), h = static_cast<int32_t>(ch->GetHeight());
    for (int32_t y = 1; y < h - 1; ++y) {
        const uint8_t *up = ch->GetBits(static_cast<uint32_t>(y + 1)), *row = ch->GetBits(static_cast<uint32_t>(y)),
                      *down = ch->GetBits(static_cast<uint32_t>(y - 1));
        uint8_t* dst = out.GetBits(static_cast<uint32_t>(y));
        for (int32_t x = 1; x < w - 1; ++x) {
            // Pull each pixel toward its cross neighbours, the diagonals counting half.
            const float cross = 0.25f * (up[x] + down[x] + row[x - 1] + row[x + 1]);
            const float diag = 0.25f * (up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1]);
            const float target = (cross + 0.5f * diag) / 1.5f;
            const float v = row[x] + radius * (target - row[x]) + 0.5f;
            dst[x] = v <= 0 ? 0 : (v >= 255 ? 255 : static_cast<uint8_t>(v));
        }
    }
    return ch->Transfer(out);
}

bool RasterImage::Repair(float radius, int32_t niterations, int32_t colorspace)
{
    if (!pDib) return false;
    RasterImage a, b, c;
    bool ok;
    switch (colorspace) {
    case 0: ok = SplitRGB(&a, &b, &c); break;
    case 1: ok = SplitHSL(&a, &b, &c); break;
    case 2: ok = SplitYUV(&a, &b, &c); break;
    case 3: ok = SplitYIQ(&a, &b, &c); break;
    case 4: ok = SplitXYZ(&a, &b, &c); break;
    default: SetError("Repair: wrong colorspace"); return false;
    }
    if (!ok) return false;
    for (int32_t i = 0; i < niterations && i < 1000; ++i) {
        RepairChannel(&a, radius);
        RepairChannel(&b, radius);
        RepairChannel(&c, radius);
    }
    const bool wasIndexed = IsIndexed();
    const bool wasGray = wasIndexed && IsGrayScale();
    if (!Combine(&a, &b, &c, nullptr, colorspace)) return false;
    if (wasGray) return GrayScale();
    return true;
}

bool RasterImage::RedEyeRemove(float strength)
{
    if (!pDib || !std::isfinite(strength)) return false;
    const double w = head.biWidth, h = head.biHeight, cx = w / 2, cy = h / 2, area = w * h / 4;
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const double d2 = (x - cx) * (x - cx) + (y - cy) * (y - cy);
            double a = 1 - 5 * (d2 / area);
            if (a <= 0) continue;
            a *= strength;
            if (a <= 0) continue;
            if (a > 1) a = 1;  // red moves at most all the way to the target
            RGBQUAD c = BlindGetPixelColor(x, y);
            const int target = c.rgbGreen < c.rgbBlue ? c.rgbGreen : c.rgbBlue;
            if (c.rgbRed <= target) continue;
            c.rgbRed = Val_0_255(static_cast<int32_t>(c.rgbRed * (1 - a) + target * a));
            BlindSetPixelColor(x, y, c);
        }
    return true;
}

bool RasterImage::Trace(RGBQUAD color_target, RGBQUAD color_trace)
{
    if (!pDib) return false;
    // color_target draws the boundary; color_trace is the background the regions differ from.
    RasterImage out(*this);
    if (!out.IsValid()) return false;
    const int32_t w = head.biWidth, h = head.biHeight;
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const bool region = !sameColor(BlindGetPixelColor(x, y), color_trace);
            bool edge = false;
            if (region) {
                static const int d[4][2] = {{1, 0}, {-1, 0}, {0, 1}, {0, -1}};
                for (const auto& o : d)
                    if (!IsInside(x + o[0], y + o[1]) || sameColor(BlindGetPixelColor(x + o[0], y + o[1]), color_trace))
                        edge = true;
            }
            out.BlindSetPixelColor(x, y, edge ? color_target : color_trace);
        }
    return Transfer(out);
}
