// Fourier transforms of grey raster images: radix-2 FFT, direct DFT for other lengths,
// and the 2-D transform over rows and columns.
#include <cmath>
#include <vector>

#include "rasterlib/raster_image.h"

bool RasterImage::IsPowerof2(int32_t x) { return x > 0 && (x & (x - 1)) == 0; }

// In place over 2^m points; dir 1 forward (scaled by 1/n), -1 inverse.
bool RasterImage::FFT(int dir, int m, double* x, double* y)
{
    if (!x || !y || m < 0 || m > 30) return false;
    const int32_t n = 1 << m;
    // Bit reversal.
    for (int32_t i = 0, j = 0; i < n - 1; ++i) {
        if (i < j) {
            std::swap(x[i], x[j]);
            std::swap(y[i], y[j]);
        }
        int32_t k = n >> 1;
        while (k <= j) {
            j -= k;
            k >>= 1;
        }
        j += k;
    }
    // Butterflies.
    double c1 = -1.0, c2 = 0.0;
    for (int32_t l = 0, l2 = 1; l < m; ++l) {
        const int32_t l1 = l2;
        l2 <<= 1;
        double u1 = 1.0, u2 = 0.0;
        for (int32_t j = 0; j < l1; ++j) {
            for (int32_t i = j; i < n; i += l2) {
                const int32_t i1 = i + l1;
                const double t1 = u1 * x[i1] - u2 * y[i1];
                const double t2 = u1 * y[i1] + u2 * x[i1];
                x[i1] = x[i] - t1;
                y[i1] = y[i] - t2;
                x[i] += t1;
                y[i] += t2;
            }
            const double z = u1 * c1 - u2 * c2;
            u2 = u1 * c2 + u2 * c1;
            u1 = z;
        }
        c2 = sqrt((1.0 - c1) / 2.0);
        if (dir == 1) c2 = -c2;
        c1 = sqrt((1.0 + c1) / 2.0);
    }
    if (dir == 1)
        for (int32_t i = 0; i < n; ++i) {
            x[i] /= n;
            y[i] /= n;
        }
    return true;
}

// Direct transform of m points from (x1, y1) into (x2, y2); same scaling as FFT.
bool RasterImage::DFT(int dir, int32_t m, double* x1, double* y1, double* x2, double* y2)
{
    if (!x1 || !y1 || !x2 || !y2 || m < 1) return false;
    const double sign = dir == 1 ? -1.0 : 1.0;
    for (int32_t i = 0; i < m; ++i) {
        double re = 0, im = 0;
        const double arg = sign * 2.0 * M_PI * i / m;
        for (int32_t k = 0; k < m; ++k) {
            const double c = cos(k * arg), s = sin(k * arg);
            re += x1[k] * c - y1[k] * s;
            im += x1[k] * s + y1[k] * c;
        }
        x2[i] = dir == 1 ? re / m : re;
        y2[i] = dir == 1 ? im / m : im;
    }
    return true;
}

namespace {

// One line of n points through FFT (power of two) or DFT.
void transformLine(int dir, std::vector<double>& re, std::vector<double>& im, bool fft)
{
    const int32_t n = static_cast<int32_t>(re.size());
    if (fft) {
        int m = 0;
        while ((1 << m) < n) ++m;
        RasterImage::FFT(dir, m, re.data(), im.data());
        return;
    }
    std::vector<double> r2(re.size()), i2(im.size());
    RasterImage::DFT(dir, n, re.data(), im.data(), r2.data(), i2.data());
    re.swap(r2);
    im.swap(i2);
}

bool grayCopy(RasterImage* src, RasterImage& out, int32_t w, int32_t h)
{
    if (!src || !src->IsValid()) return false;
    out.Copy(*src);
    if (!out.GrayScale()) return false;
    if (static_cast<int32_t>(out.GetWidth()) != w || static_cast<int32_t>(out.GetHeight()) != h)
        return out.Resample(w, h, 1);
    return true;
}

}  // namespace

bool RasterImage::FFT2(RasterImage* srcReal, RasterImage* srcImag, RasterImage* dstReal, RasterImage* dstImag,
                       int32_t direction, bool bForceFFT, bool bMagnitude)
{
    if (!srcReal || !srcReal->IsValid()) return false;
    int32_t w = static_cast<int32_t>(srcReal->GetWidth()), h = static_cast<int32_t>(srcReal->GetHeight());
    if (bForceFFT) {
        int32_t pw = 1, ph = 1;
        while (pw < w) pw <<= 1;
        while (ph < h) ph <<= 1;
        w = pw;
        h = ph;
    }
    if (static_cast<int64_t>(w) * h > (1 << 24)) return false;
    RasterImage re8, im8;
    if (!grayCopy(srcReal, re8, w, h)) return false;
    const bool haveImag = srcImag && grayCopy(srcImag, im8, w, h);
    const bool fft = IsPowerof2(w) && IsPowerof2(h);

    std::vector<double> re(static_cast<size_t>(w) * h), im(re.size(), 0.0);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            re[static_cast<size_t>(y) * w + x] = re8.GetBits(static_cast<uint32_t>(y))[x];
            if (haveImag) im[static_cast<size_t>(y) * w + x] = im8.GetBits(static_cast<uint32_t>(y))[x];
        }
    const int dir = direction == 1 ? 1 : -1;
    std::vector<double> lr, li;
    lr.resize(static_cast<size_t>(w));
    li.resize(static_cast<size_t>(w));
    for (int32_t y = 0; y < h; ++y) {
        for (int32_t x = 0; x < w; ++x) {
            lr[x] = re[static_cast<size_t>(y) * w + x];
            li[x] = im[static_cast<size_t>(y) * w + x];
        }
        transformLine(dir, lr, li, fft);
        for (int32_t x = 0; x < w; ++x) {
            re[static_cast<size_t>(y) * w + x] = lr[x];
            im[static_cast<size_t>(y) * w + x] = li[x];
        }
    }
    lr.resize(static_cast<size_t>(h));
    li.resize(static_cast<size_t>(h));
    for (int32_t x = 0; x < w; ++x) {
        for (int32_t y = 0; y < h; ++y) {
            lr[y] = re[static_cast<size_t>(y) * w + x];
            li[y] = im[static_cast<size_t>(y) * w + x];
        }
        transformLine(dir, lr, li, fft);
        for (int32_t y = 0; y < h; ++y) {
            re[static_cast<size_t>(y) * w + x] = lr[y];
            im[static_cast<size_t>(y) * w + x] = li[y];
        }
    }

    // Bytes can hold only so much: scale by the size, the inverse by its reciprocal.
    double scale = pow(2.0, log2(static_cast<double>(w > h ? w : h)) - 4);
    if (dir == -1) scale = 1.0 / scale;
    if (bMagnitude) scale *= 4;
    RasterImage outRe, outIm;
    if (!outRe.Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 8, 0) ||
        !outIm.Create(static_cast<uint32_t>(w), static_cast<uint32_t>(h), 8, 0))
        return false;
    outRe.SetGrayPalette();
    outIm.SetGrayPalette();
    for (int32_t y = 0; y < h; ++y) {
        uint8_t* pr = outRe.GetBits(static_cast<uint32_t>(y));
        uint8_t* pi = outIm.GetBits(static_cast<uint32_t>(y));
        for (int32_t x = 0; x < w; ++x) {
            const double r = re[static_cast<size_t>(y) * w + x], i = im[static_cast<size_t>(y) * w + x];
            const double v = bMagnitude ? sqrt(r * r + i * i) : r;
            pr[x] = Val_0_255(static_cast<int32_t>(std::fmin(256.0, std::fmax(-1.0, v * scale))));
            pi[x] = Val_0_255(static_cast<int32_t>(std::fmin(256.0, std::fmax(-1.0, i * scale))));
        }
    }
    if (dstReal) dstReal->Transfer(outRe);
    if (dstImag) dstImag->Transfer(outIm);
    return true;
}
