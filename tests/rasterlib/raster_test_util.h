// Shared helpers of the raster library tests: synthetic pictures, a scratch directory,
// and the bridge to the independent Debian tools (ImageMagick, libtiff tools, djpeg).
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "../common/scratch_dir.h"
#include "rasterlib/rasterlib.h"

namespace pvk::rasterlib::test {

// A fresh directory per test process, removed at exit.
inline const std::string& scratchDir()
{
    static const std::string dir = pvk::testing::processScratchDir("pvk_raster_");
    return dir;
}

inline std::string scratch(const std::string& name) { return scratchDir() + "/" + name; }

// Runs a shell command quietly; true when it exits with 0.
inline bool run(const std::string& cmd)
{
    // PVK_TEST_VERBOSE=1 shows what the tools say.
    std::string quiet = getenv("PVK_TEST_VERBOSE") ? cmd : "{ " + cmd + " ; } >/dev/null 2>&1";
    return system(quiet.c_str()) == 0;
}

// Runs a shell command and returns its standard output.
inline std::string capture(const std::string& cmd)
{
    std::string out;
    FILE* p = popen((cmd + " 2>/dev/null").c_str(), "r");
    if (!p) return out;
    char buf[4096];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), p)) > 0) out.append(buf, n);
    pclose(p);
    return out;
}

inline std::vector<uint8_t> readFile(const std::string& path)
{
    std::vector<uint8_t> data;
    FILE* f = fopen(path.c_str(), "rb");
    if (!f) return data;
    uint8_t buf[65536];
    size_t n;
    while ((n = fread(buf, 1, sizeof(buf), f)) > 0) data.insert(data.end(), buf, buf + n);
    fclose(f);
    return data;
}

inline void writeFile(const std::string& path, const std::vector<uint8_t>& data)
{
    FILE* f = fopen(path.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    if (!data.empty()) fwrite(data.data(), 1, data.size(), f);
    fclose(f);
}

// Top-down RGB bytes of an image, as the tools print them.
inline std::vector<uint8_t> rgbOf(RasterImage& img)
{
    std::vector<uint8_t> out;
    for (int32_t y = static_cast<int32_t>(img.GetHeight()) - 1; y >= 0; --y)
        for (int32_t x = 0; x < static_cast<int32_t>(img.GetWidth()); ++x) {
            RGBQUAD c = img.GetPixelColor(x, y);
            out.push_back(c.rgbRed);
            out.push_back(c.rgbGreen);
            out.push_back(c.rgbBlue);
        }
    return out;
}

// ImageMagick's decoding of a file as top-down 8-bit RGB.
inline std::vector<uint8_t> toolRgb(const std::string& path, const std::string& extra = "")
{
    const std::string raw = path + ".rgb";
    if (!run("convert '" + path + "'" + extra + " -depth 8 rgb:'" + raw + "'")) return {};
    return readFile(raw);
}

// A 24-bit picture with red rising along x and green along y; blue(x, y) gives the third channel.
template <class Blue>
inline void makeRamps(RasterImage& img, uint32_t w, uint32_t h, Blue blue)
{
    ASSERT_NE(img.Create(w, h, 24, 0), nullptr);
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x) {
            RGBQUAD c;
            c.rgbRed = static_cast<uint8_t>(x * 255 / (w > 1 ? w - 1 : 1));
            c.rgbGreen = static_cast<uint8_t>(y * 255 / (h > 1 ? h - 1 : 1));
            c.rgbBlue = blue(x, y);
            c.rgbReserved = 0;
            img.SetPixelColor(static_cast<int32_t>(x), static_cast<int32_t>(y), c);
        }
}

// A 24-bit test picture: smooth gradients with some hard edges.
inline void makeColor(RasterImage& img, uint32_t w, uint32_t h)
{
    makeRamps(img, w, h,
              [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(((x / 8 + y / 8) & 1) ? 200 : 40); });
}

// A smooth 24-bit picture, for lossy codecs.
inline void makeSmooth(RasterImage& img, uint32_t w, uint32_t h)
{
    makeRamps(img, w, h, [](uint32_t x, uint32_t y) { return static_cast<uint8_t>(128 + 100 * sin((x + y) / 9.0)); });
}

// A palette picture of the given depth with a grey palette and a pattern of indexes.
inline void makeIndexed(RasterImage& img, uint32_t w, uint32_t h, uint32_t bpp)
{
    ASSERT_NE(img.Create(w, h, bpp, 0), nullptr);
    img.SetGrayPalette();
    const uint32_t n = img.GetNumColors();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            img.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y),
                              static_cast<uint8_t>((x * 7 + y * 3 + (x * y) % 5) % n));
}

inline bool samePixels(RasterImage& a, RasterImage& b)
{
    if (a.GetWidth() != b.GetWidth() || a.GetHeight() != b.GetHeight()) return false;
    return rgbOf(a) == rgbOf(b);
}

inline double psnr(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size() || a.empty()) return 0;
    double se = 0;
    for (size_t i = 0; i < a.size(); ++i) se += (double(a[i]) - b[i]) * (double(a[i]) - b[i]);
    if (se == 0) return 99;
    return 10 * log10(255.0 * 255.0 * a.size() / se);
}

inline int maxDiff(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b)
{
    if (a.size() != b.size()) return 256;
    int m = 0;
    for (size_t i = 0; i < a.size(); ++i) m = std::max(m, std::abs(int(a[i]) - int(b[i])));
    return m;
}

// Writes a binary PPM that the tools convert into the formats under test.
inline void writePpm(RasterImage& img, const std::string& path)
{
    std::vector<uint8_t> data;
    std::string hdr = "P6\n" + std::to_string(img.GetWidth()) + " " + std::to_string(img.GetHeight()) + "\n255\n";
    data.assign(hdr.begin(), hdr.end());
    std::vector<uint8_t> px = rgbOf(img);
    data.insert(data.end(), px.begin(), px.end());
    writeFile(path, data);
}

inline bool saveAs(RasterImage& img, const std::string& path, uint32_t type)
{
    return img.Save(path.c_str(), type);
}

}  // namespace pvk::rasterlib::test
