// Neighbourhood filters of the raster image: convolution, morphology, median, contour,
// noise and jitter. Each works from a copy and hands the result back with Transfer.
#include <algorithm>
#include <cstring>
#include <vector>

#include "rasterlib/raster_image.h"

namespace {

// A small private random source: the host's rand() sequence is not ours to disturb.
struct Random {
    uint64_t state = 0x9E3779B97F4A7C15ull;
    // Uniform in [0, 2^31).
    uint32_t next()
    {
        state ^= state << 13;
        state ^= state >> 7;
        state ^= state << 17;
        return static_cast<uint32_t>(state >> 33);
    }
    double unit() { return next() / 2147483648.0; }
};

inline uint8_t channelOf(const RGBQUAD& c, int ch) { return ch == 0 ? c.rgbRed : (ch == 1 ? c.rgbGreen : c.rgbBlue); }

}  // namespace

// Runs fn(x, y, neighbours) over every pixel, neighbours being the colours of the
// Ksize x Ksize window inside the image; the result goes into a copy that replaces us.
template <class PixelFn>
static bool neighbourhoodPass(RasterImage& img, int32_t Ksize, PixelFn fn)
{
    if (!img.IsValid() || Ksize < 1 || Ksize > 255) return false;
    RasterImage out(img);
    if (!out.IsValid()) return false;
    const int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
    const int32_t k2 = Ksize / 2, kmax = Ksize - k2;
    std::vector<RGBQUAD> window;
    window.reserve(static_cast<size_t>(Ksize) * Ksize);
    for (int32_t y = 0; y < h; ++y) {
        img.SetProgress(100 * y / h);
        if (img.GetEscape()) break;
        for (int32_t x = 0; x < w; ++x) {
            window.clear();
            for (int32_t j = -k2; j < kmax; ++j)
                for (int32_t i = -k2; i < kmax; ++i)
                    if (img.IsInside(x + i, y + j)) window.push_back(img.BlindGetPixelColor(x + i, y + j));
            out.BlindSetPixelColor(x, y, fn(img.BlindGetPixelColor(x, y), window));
        }
    }
    return img.Transfer(out);
}

bool RasterImage::Filter(int32_t* kernel, int32_t Ksize, int32_t Kfactor, int32_t Koffset)
{
    if (!pDib || !kernel || Ksize < 1 || Ksize > 255) return false;
    if (Kfactor == 0) Kfactor = 1;
    RasterImage out(*this);
    if (!out.IsValid()) {
        SetError(out.GetLastError());
        return false;
    }
    const int32_t w = head.biWidth, h = head.biHeight, k2 = Ksize / 2, kmax = Ksize - k2;
    for (int32_t y = 0; y < h; ++y) {
        info.nProgress = 100 * y / h;
        if (info.nEscape) break;
        for (int32_t x = 0; x < w; ++x) {
            int64_t r = 0, g = 0, b = 0;
            for (int32_t j = -k2; j < kmax; ++j)
                for (int32_t i = -k2; i < kmax; ++i) {
                    if (!IsInside(x + i, y + j)) continue;
                    const int64_t k = kernel[(j + k2) * Ksize + (i + k2)];
                    const RGBQUAD c = BlindGetPixelColor(x + i, y + j);
                    r += k * c.rgbRed;
                    g += k * c.rgbGreen;
                    b += k * c.rgbBlue;
                }
            auto val = [&](int64_t s) { return Val_0_255(static_cast<int32_t>(std::clamp<int64_t>(s / Kfactor + Koffset, -1, 256))); };
            out.BlindSetPixelColor(x, y, RGBQUAD{val(b), val(g), val(r), 0});
        }
    }
    return Transfer(out);
}

bool RasterImage::Erode(int32_t Ksize)
{
    return neighbourhoodPass(*this, Ksize, [](RGBQUAD, const std::vector<RGBQUAD>& n) {
        RGBQUAD m{255, 255, 255, 0};
        for (const RGBQUAD& c : n) {
            m.rgbRed = std::min(m.rgbRed, c.rgbRed);
            m.rgbGreen = std::min(m.rgbGreen, c.rgbGreen);
            m.rgbBlue = std::min(m.rgbBlue, c.rgbBlue);
        }
        return m;
    });
}

bool RasterImage::Dilate(int32_t Ksize)
{
    return neighbourhoodPass(*this, Ksize, [](RGBQUAD, const std::vector<RGBQUAD>& n) {
        RGBQUAD m{0, 0, 0, 0};
        for (const RGBQUAD& c : n) {
            m.rgbRed = std::max(m.rgbRed, c.rgbRed);
            m.rgbGreen = std::max(m.rgbGreen, c.rgbGreen);
            m.rgbBlue = std::max(m.rgbBlue, c.rgbBlue);
        }
        return m;
    });
}

bool RasterImage::Edge(int32_t Ksize)
{
    return neighbourhoodPass(*this, Ksize, [](RGBQUAD, const std::vector<RGBQUAD>& n) {
        uint8_t lo[3] = {255, 255, 255}, hi[3] = {0, 0, 0};
        for (const RGBQUAD& c : n)
            for (int ch = 0; ch < 3; ++ch) {
                lo[ch] = std::min(lo[ch], channelOf(c, ch));
                hi[ch] = std::max(hi[ch], channelOf(c, ch));
            }
        return RGBQUAD{static_cast<uint8_t>(255 - (hi[2] - lo[2])), static_cast<uint8_t>(255 - (hi[1] - lo[1])),
                       static_cast<uint8_t>(255 - (hi[0] - lo[0])), 0};
    });
}

bool RasterImage::Median(int32_t Ksize)
{
    return neighbourhoodPass(*this, Ksize, [](RGBQUAD, const std::vector<RGBQUAD>& n) {
        uint8_t med[3];
        std::vector<uint8_t> v(n.size());
        for (int ch = 0; ch < 3; ++ch) {
            for (size_t i = 0; i < n.size(); ++i) v[i] = channelOf(n[i], ch);
            std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
            med[ch] = v[v.size() / 2];
        }
        return RGBQUAD{med[2], med[1], med[0], 0};
    });
}

bool RasterImage::Contour()
{
    return neighbourhoodPass(*this, 3, [](RGBQUAD self, const std::vector<RGBQUAD>& n) {
        int diff[3] = {0, 0, 0};
        for (const RGBQUAD& c : n)
            for (int ch = 0; ch < 3; ++ch) diff[ch] = std::max(diff[ch], std::abs(channelOf(self, ch) - channelOf(c, ch)));
        return RGBQUAD{static_cast<uint8_t>(255 - diff[2]), static_cast<uint8_t>(255 - diff[1]),
                       static_cast<uint8_t>(255 - diff[0]), 0};
    });
}

bool RasterImage::Noise(int32_t level)
{
    if (!pDib) return false;
    Random rnd;
    for (int32_t y = 0; y < head.biHeight; ++y) {
        info.nProgress = 100 * y / head.biHeight;
        if (info.nEscape) break;
        for (int32_t x = 0; x < head.biWidth; ++x) {
            RGBQUAD c = BlindGetPixelColor(x, y);
            const int32_t n = static_cast<int32_t>(level * (rnd.unit() - 0.5));
            c.rgbRed = Val_0_255(c.rgbRed + n);
            c.rgbGreen = Val_0_255(c.rgbGreen + n);
            c.rgbBlue = Val_0_255(c.rgbBlue + n);
            BlindSetPixelColor(x, y, c);
        }
    }
    return true;
}

bool RasterImage::Jitter(int32_t radius)
{
    if (!pDib) return false;
    RasterImage out(*this);
    if (!out.IsValid()) return false;
    Random rnd;
    for (int32_t y = 0; y < head.biHeight; ++y) {
        info.nProgress = 100 * y / head.biHeight;
        if (info.nEscape) break;
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const int32_t nx = x + static_cast<int32_t>((rnd.unit() - 0.5) * radius);
            const int32_t ny = y + static_cast<int32_t>((rnd.unit() - 0.5) * radius);
            if (IsInside(nx, ny)) out.BlindSetPixelColor(x, y, BlindGetPixelColor(nx, ny));
        }
    }
    return Transfer(out);
}
