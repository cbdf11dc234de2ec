// Drives the raster image operations on small pictures made from arbitrary bytes, with
// parameters (sizes, angles, radii, kernels, methods) taken from the first bytes. Shared
// by the libFuzzer target and the test that replays the inputs it found.
#pragma once

#include <cstdint>
#include <cstring>

#include "rasterlib/rasterlib.h"

namespace pvk::rasterlib::fuzz {

struct Params {
    const uint8_t* p;
    size_t n, at = 0;
    uint8_t byte() { return at < n ? p[at++] : 0; }
    int32_t small(int32_t lo, int32_t hi) { return lo + byte() % (hi - lo + 1); }
    float real()
    {
        uint8_t b[4] = {byte(), byte(), byte(), byte()};
        float f;
        memcpy(&f, b, 4);
        return f;
    }
};

inline void apply(RasterImage& img, RasterImage& other, Params& q)
{
    RasterImage dst;
    RGBQUAD c{q.byte(), q.byte(), q.byte(), q.byte()};
    switch (q.byte() % 40) {
    case 0: img.Rotate(q.real()); break;
    case 1:
        img.Rotate2(q.real(), &dst, static_cast<RasterImage::InterpolationMethod>(q.small(0, 19)),
                    static_cast<RasterImage::OverflowMethod>(q.small(0, 7)), &c, q.byte() & 1, q.byte() & 1);
        break;
    case 2: img.Resample(q.small(-2, 200), q.small(-2, 200), q.small(0, 3)); break;
    case 3:
        img.Resample2(q.small(-2, 200), q.small(-2, 200), static_cast<RasterImage::InterpolationMethod>(q.small(0, 19)),
                      static_cast<RasterImage::OverflowMethod>(q.small(0, 7)), nullptr, q.byte() & 1);
        break;
    case 4: img.QIShrink(q.small(-1, 60), q.small(-1, 60), nullptr, q.byte() & 1); break;
    case 5: img.Crop(q.small(-10, 60), q.small(-10, 60), q.small(-10, 60), q.small(-10, 60)); break;
    case 6: img.CropRotatedRectangle(q.small(-5, 50), q.small(-5, 50), q.small(-1, 50), q.small(-1, 50), q.real()); break;
    case 7: img.Skew(q.real(), q.real(), q.small(-50, 50), q.small(-50, 50), q.byte() & 1); break;
    case 8: img.Expand(q.small(-1, 40), q.small(-1, 40), q.small(-1, 40), q.small(-1, 40), c); break;
    case 9: img.Thumbnail(q.small(-1, 80), q.small(-1, 80), c); break;
    case 10: img.CircleTransform(q.small(-1, 5), q.small(-5, 100), q.real()); break;
    case 11: img.Dither(q.small(-1, 10)); break;
    case 12: {
        int32_t k[25];
        for (int32_t& v : k) v = static_cast<int8_t>(q.byte());
        img.Filter(k, q.small(0, 5), static_cast<int8_t>(q.byte()), static_cast<int8_t>(q.byte()));
        break;
    }
    case 13: img.Erode(q.small(-1, 7)); break;
    case 14: img.Dilate(q.small(-1, 7)); break;
    case 15: img.Median(q.small(-1, 7)); break;
    case 16: img.Edge(q.small(-1, 7)); break;
    case 17: img.GaussianBlur(q.real(), &dst); break;
    case 18: img.TextBlur(q.byte(), q.byte(), q.small(0, 9), q.byte() & 1, q.byte() & 1); break;
    case 19: img.UnsharpMask(q.real(), q.real(), static_cast<int8_t>(q.byte())); break;
    case 20: img.Light(static_cast<int16_t>(q.byte() << 8 | q.byte()), static_cast<int16_t>(q.byte() << 8 | q.byte())); break;
    case 21: img.Gamma(q.real()); break;
    case 22: img.Saturate(static_cast<int8_t>(q.byte()), q.small(0, 3)); break;
    case 23: img.HistogramStretch(q.small(0, 3), q.real()); break;
    case 24: img.HistogramEqualize(); img.HistogramNormalize(); img.HistogramLog(); img.HistogramRoot(); break;
    case 25: img.OptimalThreshold(q.small(0, 5)); img.AdaptiveThreshold(q.small(0, 5), q.small(-1, 40), nullptr, static_cast<int8_t>(q.byte()), q.real()); break;
    case 26: img.Colorize(q.byte(), q.byte(), q.real()); img.ShiftRGB(static_cast<int8_t>(q.byte()), 3, -3); break;
    case 27: img.ConvertColorSpace(q.small(-1, 5), q.small(-1, 5)); break;
    case 28: {
        RasterImage a, b, d;
        if (img.SplitYIQ(&a, &b, &d)) img.Combine(&a, &b, &d, nullptr, q.small(0, 5));
        break;
    }
    case 29: img.FFT2(&img, q.byte() & 1 ? &other : nullptr, &dst, nullptr, q.byte() & 1 ? 1 : -1, q.byte() & 1, q.byte() & 1); break;
    case 30: img.Repair(q.real(), q.small(0, 3), q.small(-1, 5)); break;
    case 31: img.Mix(other, static_cast<RasterImage::ImageOpType>(q.small(-1, 12)), q.small(-20, 20), q.small(-20, 20)); break;
    case 32: img.MixFrom(other, q.small(-20, 20), q.small(-20, 20)); img.RedEyeRemove(q.real()); break;
    case 33: img.Trace(c, RGBQUAD{q.byte(), q.byte(), q.byte(), 0}); break;
    case 34:
        img.GetPixelColorInterpolated(q.real(), q.real(), static_cast<RasterImage::InterpolationMethod>(q.small(0, 19)),
                                      static_cast<RasterImage::OverflowMethod>(q.small(0, 7)), &c);
        img.GetAreaColorInterpolated(q.real(), q.real(), q.real(), q.real(),
                                     static_cast<RasterImage::InterpolationMethod>(q.small(0, 19)),
                                     static_cast<RasterImage::OverflowMethod>(q.small(0, 7)));
        break;
    case 35: img.DecreaseBpp(q.small(0, 24), q.byte() & 1, nullptr, q.small(0, 255)); img.IncreaseBpp(q.small(0, 24)); break;
    case 36: img.Threshold(q.byte()); img.Threshold(&other); img.Threshold2(q.byte(), q.byte() & 1, c); break;
    case 37: img.Flip(); img.Mirror(); img.RotateLeft(); img.RotateRight(&dst); img.Rotate180(); break;
    case 38: img.Noise(static_cast<int8_t>(q.byte())); img.Jitter(q.small(-3, 9)); img.Contour(); break;
    default: img.SelectiveBlur(q.real(), q.byte(), &dst); img.Solarize(q.byte(), q.byte() & 1); img.Negative(); break;
    }
}

inline void runRasterOps(const uint8_t* data, size_t size)
{
    if (size < 8 || size > 4096) return;
    Params q{data, size};
    static const uint32_t depths[4] = {1, 4, 8, 24};
    const uint32_t w = 1 + q.byte() % 40, h = 1 + q.byte() % 40, bpp = depths[q.byte() % 4];
    RasterImage img;
    if (!img.Create(w, h, bpp, 0)) return;
    if (q.byte() & 1) img.SetGrayPalette();
    else img.SetStdPalette();
    // Pixels from the tail of the input, repeated as needed.
    const uint8_t* tail = data + size / 2;
    const size_t tailLen = size - size / 2;
    uint8_t* bits = img.GetBits(0);
    for (uint32_t i = 0; i < img.GetEffWidth() * h; ++i) bits[i] = tail[i % tailLen];
    RasterImage other(img);
    other.Mirror();
    for (int step = 0; step < 3; ++step) apply(img, other, q);
}

}  // namespace pvk::rasterlib::fuzz
