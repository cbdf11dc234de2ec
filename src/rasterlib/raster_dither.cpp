// Depth and tone operations beyond the basic conversions: dithering to 1 bit in its many
// flavours, the negative, and the radial pixel mappings.
#include <algorithm>
#include <array>
#include <cmath>
#include <utility>
#include <vector>

#include "rasterlib/raster_image.h"

namespace {

struct Spread {
    int dx, dy, weight;  // dy counts rows downward (toward the bottom of the picture)
};

// Error-diffusion kernels and their divisors.
const std::vector<Spread>& kernelFor(int method, int& divisor)
{
    static const std::vector<Spread> floyd = {{1, 0, 7}, {-1, 1, 3}, {0, 1, 5}, {1, 1, 1}};
    static const std::vector<Spread> burkes = {{1, 0, 8}, {2, 0, 4}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4}, {2, 1, 2}};
    static const std::vector<Spread> stucki = {{1, 0, 8},  {2, 0, 4},  {-2, 1, 2}, {-1, 1, 4}, {0, 1, 8}, {1, 1, 4},
                                               {2, 1, 2},  {-2, 2, 1}, {-1, 2, 2}, {0, 2, 4},  {1, 2, 2}, {2, 2, 1}};
    static const std::vector<Spread> jarvis = {{1, 0, 7},  {2, 0, 5},  {-2, 1, 3}, {-1, 1, 5}, {0, 1, 7}, {1, 1, 5},
                                               {2, 1, 3},  {-2, 2, 1}, {-1, 2, 3}, {0, 2, 5},  {1, 2, 3}, {2, 2, 1}};
    static const std::vector<Spread> sierra = {{1, 0, 5}, {2, 0, 3}, {-2, 1, 2}, {-1, 1, 4}, {0, 1, 5},
                                               {1, 1, 4}, {2, 1, 2}, {-1, 2, 2}, {0, 2, 3},  {1, 2, 2}};
    static const std::vector<Spread> stevenson = {{2, 0, 32},  {-3, 1, 12}, {-1, 1, 26}, {1, 1, 30}, {3, 1, 16},
                                                  {-2, 2, 12}, {0, 2, 26},  {2, 2, 12},  {-3, 3, 5}, {-1, 3, 12},
                                                  {1, 3, 12},  {3, 3, 5}};
    switch (method) {
    case 2: divisor = 32; return burkes;
    case 3: divisor = 42; return stucki;
    case 4: divisor = 48; return jarvis;
    case 5: divisor = 32; return sierra;
    case 6: divisor = 200; return stevenson;
    default: divisor = 16; return floyd;
    }
}

// A 16 x 16 clustered-dot table: the cells ranked by their distance from the tile centre (ties
// by angle), each rank a threshold of its own, so that a flat grey of level v lights v of the
// 256 cells and keeps its brightness.
const std::array<uint8_t, 256>& clusteredDots()
{
    static const std::array<uint8_t, 256> table = [] {
        std::array<int, 256> cells{};
        for (int c = 0; c < 256; ++c) cells[static_cast<size_t>(c)] = c;
        auto key = [](int c) {
            const double dx = (c & 15) - 7.5, dy = (c >> 4) - 7.5;
            return std::make_pair(dx * dx + dy * dy, std::atan2(dy, dx));
        };
        std::stable_sort(cells.begin(), cells.end(), [&](int a, int b) { return key(a) < key(b); });
        std::array<uint8_t, 256> t{};
        for (int rank = 0; rank < 256; ++rank) t[static_cast<size_t>(cells[static_cast<size_t>(rank)])] = static_cast<uint8_t>(rank);
        return t;
    }();
    return table;
}

// Threshold (0..255) of an ordered-dither method at a pixel, counted from the top.
int orderedThreshold(int method, int x, int y)
{
    static const int bayer4[4][4] = {{0, 8, 2, 10}, {12, 4, 14, 6}, {3, 11, 1, 9}, {15, 7, 13, 5}};
    if (method == 1) return bayer4[y & 3][x & 3] * 16 + 8;
    const int i = x & 15, j = y & 15;
    if (method == 7) {
        // 16 x 16 Bayer matrix by interleaving the bits of (x xor y) and y.
        int v = 0;
        for (int bit = 0; bit < 4; ++bit) {
            v |= (((i ^ j) >> bit) & 1) << (2 * (3 - bit) + 1);
            v |= ((j >> bit) & 1) << (2 * (3 - bit));
        }
        return v;
    }
    if (method == 8) return clusteredDots()[static_cast<size_t>(j * 16 + i)];
    // Diagonal lines.
    return ((i + j) & 15) * 16 + 8;
}

}  // namespace

bool RasterImage::Dither(int32_t method)
{
    if (!pDib) return false;
    if (head.biBitCount == 1) return true;
    if (!GrayScale()) return false;
    RasterImage out;
    if (!createLike(out, GetWidth(), GetHeight(), 1)) return false;
    out.SetPaletteColor(0, 0, 0, 0);
    out.SetPaletteColor(1, 255, 255, 255);
    const int32_t w = head.biWidth, h = head.biHeight;
    if (method == 1 || method == 7 || method == 8 || method == 9) {
        for (int32_t r = 0; r < h; ++r) {
            const uint8_t* row = GetBits(static_cast<uint32_t>(h - 1 - r));
            for (int32_t x = 0; x < w; ++x)
                if (row[x] > orderedThreshold(method, x, r)) out.BlindSetPixelIndex(x, h - 1 - r, 1);
        }
        return Transfer(out);
    }
    int divisor = 16;
    const std::vector<Spread>& spread = kernelFor(method, divisor);
    // Levels are kept in units of 1/divisor: the shares of an error lose at most that much to
    // the integer division, instead of up to a whole level each, and a flat grey keeps its
    // brightness.
    std::vector<int32_t> level(static_cast<size_t>(w) * h);
    for (int32_t r = 0; r < h; ++r) {
        const uint8_t* row = GetBits(static_cast<uint32_t>(h - 1 - r));
        for (int32_t x = 0; x < w; ++x) level[static_cast<size_t>(r) * w + x] = row[x] * divisor;
    }
    for (int32_t r = 0; r < h; ++r) {
        info.nProgress = 100 * r / h;
        for (int32_t x = 0; x < w; ++x) {
            const int32_t v = level[static_cast<size_t>(r) * w + x];
            const int32_t set = v > 127 * divisor ? 255 * divisor : 0;
            if (set) out.BlindSetPixelIndex(x, h - 1 - r, 1);
            const int32_t err = v - set;
            for (const Spread& s : spread) {
                const int32_t nx = x + s.dx, nr = r + s.dy;
                if (nx < 0 || nx >= w || nr >= h) continue;
                level[static_cast<size_t>(nr) * w + nx] += err * s.weight / divisor;
            }
        }
    }
    return Transfer(out);
}

bool RasterImage::Negative()
{
    if (!pDib) return false;
    RGBQUAD* pal = GetPalette();
    if (pal && !IsGrayScale()) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) {
            pal[i].rgbRed = static_cast<uint8_t>(255 - pal[i].rgbRed);
            pal[i].rgbGreen = static_cast<uint8_t>(255 - pal[i].rgbGreen);
            pal[i].rgbBlue = static_cast<uint8_t>(255 - pal[i].rgbBlue);
        }
        info.last_c_isvalid = false;
        return true;
    }
    for (uint32_t i = 0; i < head.biSizeImage; ++i) info.pImage[i] = static_cast<uint8_t>(~info.pImage[i]);
    if (!pal) {
        info.nBkgndColor.rgbRed = static_cast<uint8_t>(255 - info.nBkgndColor.rgbRed);
        info.nBkgndColor.rgbGreen = static_cast<uint8_t>(255 - info.nBkgndColor.rgbGreen);
        info.nBkgndColor.rgbBlue = static_cast<uint8_t>(255 - info.nBkgndColor.rgbBlue);
    }
    return true;
}

bool RasterImage::CircleTransform(int type, int32_t rmax, float Koeff)
{
    if (!pDib || !std::isfinite(Koeff)) return false;
    RasterImage out(*this);
    if (!out.IsValid()) return false;
    const int32_t w = head.biWidth, h = head.biHeight;
    const double cx = w / 2.0, cy = h / 2.0;
    const double limit = rmax > 0 ? rmax : (cx < cy ? cx : cy);
    if (limit <= 0) return true;
    const double koeff = Koeff == 0 ? 1.0 : Koeff;
    for (int32_t y = 0; y < h; ++y) {
        info.nProgress = 100 * y / h;
        if (info.nEscape) break;
        for (int32_t x = 0; x < w; ++x) {
            const double dx = x - cx, dy = y - cy, r = hypot(dx, dy);
            if (r >= limit) continue;
            double angle = atan2(dy, dx), nr = r, sx, sy;
            switch (type) {
            case 0: nr = r * r / limit; break;
            case 1: nr = sqrt(r * limit); break;
            case 2: angle += r / koeff; break;
            default: break;
            }
            if (type == 3) {
                sx = (angle + M_PI) / (2 * M_PI) * (w - 1);
                sy = r / limit * (h - 1);
            } else if (type > 3 || type < 0) {
                sx = x + ((y / 32) & 1 ? 16 : -16);
                sy = y + ((x / 32) & 1 ? 16 : -16);
            } else {
                sx = cx + nr * cos(angle);
                sy = cy + nr * sin(angle);
            }
            const int32_t ix = static_cast<int32_t>(floor(sx + 0.5)), iy = static_cast<int32_t>(floor(sy + 0.5));
            if (!IsInside(ix, iy)) continue;
            if (head.biClrUsed) out.BlindSetPixelIndex(x, y, BlindGetPixelIndex(ix, iy));
            else out.BlindSetPixelColor(x, y, BlindGetPixelColor(ix, iy));
        }
    }
    return Transfer(out);
}
