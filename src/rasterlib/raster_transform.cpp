// Whole-image transforms that the codecs and the image output need: depth changes
// (grey, threshold, more or fewer bits) and the lossless flips and quarter turns.
#include <cstring>
#include <vector>

#include "rasterlib/raster_image.h"

namespace {

inline uint8_t grayOf(const RGBQUAD& c)
{
    return static_cast<uint8_t>((601 * c.rgbGreen + 117 * c.rgbBlue + 306 * c.rgbRed) >> 10);
}

inline uint8_t clampByte(int v) { return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v)); }

}  // namespace

bool RasterImage::GrayScale()
{
    if (!pDib) return false;
    const int32_t w = head.biWidth, h = head.biHeight;
    if (head.biBitCount <= 8) {
        RGBQUAD* pal = GetPalette();
        for (uint32_t i = 0; i < head.biClrUsed; ++i) pal[i].rgbBlue = grayOf(pal[i]);
        if (info.nBkgndIndex >= 0 && static_cast<uint32_t>(info.nBkgndIndex) < head.biClrUsed)
            info.nBkgndIndex = pal[info.nBkgndIndex].rgbBlue;
        if (head.biBitCount == 8) {
            // A full grey ramp maps every byte to itself: the pixels stay as they are.
            bool identity = head.biClrUsed == 256;
            for (uint32_t i = 0; identity && i < 256; ++i) identity = pal[i].rgbBlue == i;
            for (int32_t y = 0; !identity && y < h; ++y) {
                uint8_t* row = info.pImage + static_cast<size_t>(y) * info.dwEffWidth;
                for (int32_t x = 0; x < w; ++x) row[x] = pal[row[x]].rgbBlue;
            }
            SetGrayPalette();
            return true;
        }
        RasterImage gray;
        if (!createLike(gray, GetWidth(), GetHeight(), 8)) return false;
        gray.SetGrayPalette();
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = gray.info.pImage + static_cast<size_t>(y) * gray.info.dwEffWidth;
            for (int32_t x = 0; x < w; ++x) row[x] = pal[BlindGetPixelIndexFast(x, y)].rgbBlue;
        }
        return Transfer(gray);
    }
    RasterImage gray;
    if (!createLike(gray, GetWidth(), GetHeight(), 8)) return false;
    gray.SetGrayPalette();
    if (info.nBkgndIndex >= 0) gray.info.nBkgndIndex = grayOf(info.nBkgndColor);
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = info.pImage + static_cast<size_t>(y) * info.dwEffWidth;
        uint8_t* dst = gray.info.pImage + static_cast<size_t>(y) * gray.info.dwEffWidth;
        for (int32_t x = 0; x < w; ++x, src += 3)
            dst[x] = static_cast<uint8_t>((601 * src[1] + 117 * src[0] + 306 * src[2]) >> 10);
    }
    return Transfer(gray);
}

bool RasterImage::Threshold(uint8_t level)
{
    if (!pDib) return false;
    if (head.biBitCount == 1) return true;
    if (!GrayScale()) return false;
    // The result starts from fresh information: callers set resolution and options again.
    RasterImage bw;
    if (!bw.Create(GetWidth(), GetHeight(), 1, 0)) {
        SetError(bw.GetLastError());
        return false;
    }
    bw.SetPaletteColor(0, 0, 0, 0);
    bw.SetPaletteColor(1, 255, 255, 255);
    // Eight pixels a byte, the leftmost in the high bit; the fresh rows are zero beyond the width.
    const int32_t w = head.biWidth;
    for (int32_t y = 0; y < head.biHeight; ++y) {
        const uint8_t* src = info.pImage + static_cast<size_t>(y) * info.dwEffWidth;
        uint8_t* dst = bw.info.pImage + static_cast<size_t>(y) * bw.info.dwEffWidth;
        int32_t x = 0;
        for (; x + 8 <= w; x += 8, src += 8)
            *dst++ = static_cast<uint8_t>((src[0] > level) << 7 | (src[1] > level) << 6 | (src[2] > level) << 5 |
                                          (src[3] > level) << 4 | (src[4] > level) << 3 | (src[5] > level) << 2 |
                                          (src[6] > level) << 1 | (src[7] > level));
        uint8_t last = 0;
        for (int32_t k = 0; x < w; ++x, ++k, ++src)
            if (*src > level) last = static_cast<uint8_t>(last | (0x80 >> k));
        if (w % 8) *dst = last;
    }
    return Transfer(bw);
}

bool RasterImage::IncreaseBpp(uint32_t nbit)
{
    if (!pDib) return false;
    if (nbit != 4 && nbit != 8 && nbit != 24) return false;
    if (nbit == head.biBitCount) return true;
    if (nbit < head.biBitCount) return false;
    RasterImage tmp;
    if (!createLike(tmp, GetWidth(), GetHeight(), nbit)) return false;
    const int32_t w = head.biWidth, h = head.biHeight;
    if (nbit < 24) {
        tmp.SetPalette(GetPalette(), GetNumColors());
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) tmp.BlindSetPixelIndex(x, y, BlindGetPixelIndexFast(x, y));
    } else {
        if (info.nBkgndIndex >= 0) tmp.info.nBkgndColor = GetPaletteColor(static_cast<uint8_t>(info.nBkgndIndex));
        for (int32_t y = 0; y < h; ++y)
            for (int32_t x = 0; x < w; ++x) tmp.BlindSetPixelColor(x, y, BlindGetPixelColor(x, y));
    }
    return Transfer(tmp);
}

bool RasterImage::DecreaseBpp(uint32_t nbit, bool errordiffusion, RGBQUAD* ppal, uint32_t clrimportant)
{
    if (!pDib) return false;
    if (nbit > head.biBitCount) {
        SetError("DecreaseBpp: target BPP greater than source BPP");
        return false;
    }
    if (nbit == head.biBitCount &&
        (clrimportant == 0 || (head.biClrImportant != 0 && head.biClrImportant < clrimportant)))
        return true;
    RasterImage tmp;
    if (!createLike(tmp, GetWidth(), GetHeight(), nbit)) return false;
    if (clrimportant) tmp.SetClrImportant(clrimportant);
    if (!ppal) tmp.SetStdPalette();
    else if (clrimportant) tmp.SetPalette(ppal, clrimportant);
    else tmp.SetPalette(ppal, 1u << tmp.GetBpp());

    const int32_t w = head.biWidth, h = head.biHeight;
    for (int32_t y = 0; y < h; ++y) {
        info.nProgress = y * 100 / h;
        for (int32_t x = 0; x < w; ++x) {
            const RGBQUAD c = BlindGetPixelColor(x, y);
            tmp.BlindSetPixelColor(x, y, c);
            if (!errordiffusion) continue;
            // Spread what the nearest colour missed over the pixels still to come.
            const RGBQUAD got = tmp.BlindGetPixelColor(x, y);
            const int er = c.rgbRed - got.rgbRed, eg = c.rgbGreen - got.rgbGreen, eb = c.rgbBlue - got.rgbBlue;
            const struct { int dx, dy, weight; } spread[4] = {{1, 0, 7}, {-1, 1, 2}, {0, 1, 4}, {1, 1, 1}};
            for (const auto& s : spread) {
                if (!IsInside(x + s.dx, y + s.dy)) continue;
                RGBQUAD n = BlindGetPixelColor(x + s.dx, y + s.dy);
                n.rgbRed = clampByte(n.rgbRed + er * s.weight / 16);
                n.rgbGreen = clampByte(n.rgbGreen + eg * s.weight / 16);
                n.rgbBlue = clampByte(n.rgbBlue + eb * s.weight / 16);
                BlindSetPixelColor(x + s.dx, y + s.dy, n);
            }
        }
    }
    return Transfer(tmp);
}

bool RasterImage::Flip(bool, bool)
{
    if (!pDib) return false;
    std::vector<uint8_t> buf;
    try {
        buf.resize(info.dwEffWidth);
    } catch (...) {
        return false;
    }
    const size_t eff = info.dwEffWidth;
    for (int32_t top = head.biHeight - 1, bottom = 0; bottom < top; --top, ++bottom) {
        uint8_t* a = info.pImage + static_cast<size_t>(top) * eff;
        uint8_t* b = info.pImage + static_cast<size_t>(bottom) * eff;
        memcpy(buf.data(), a, eff);
        memcpy(a, b, eff);
        memcpy(b, buf.data(), eff);
    }
    return true;
}

bool RasterImage::Mirror(bool, bool)
{
    if (!pDib) return false;
    RasterImage tmp;
    tmp.Copy(*this, false);
    if (!tmp.IsValid()) {
        SetError(tmp.GetLastError());
        return false;
    }
    const int32_t w = head.biWidth, h = head.biHeight;
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = info.pImage + static_cast<size_t>(y) * info.dwEffWidth;
        uint8_t* dst = tmp.info.pImage + static_cast<size_t>(y) * info.dwEffWidth;
        switch (head.biBitCount) {
        case 24:
            for (int32_t x = 0; x < w; ++x) memcpy(dst + 3 * (w - 1 - x), src + 3 * x, 3);
            break;
        case 8:
            for (int32_t x = 0; x < w; ++x) dst[w - 1 - x] = src[x];
            break;
        default:
            for (int32_t x = 0; x < w; ++x) tmp.BlindSetPixelIndex(w - 1 - x, y, BlindGetPixelIndexFast(x, y));
            break;
        }
    }
    Transfer(tmp);
    return IsValid();
}

namespace {

enum class Turn { Left, Right };

}  // namespace

// One quarter turn into a new image; 1-bit images bit by bit, the others in 64 x 64 blocks
// so reads and writes stay within a small working set.
static bool quarterTurn(RasterImage& self, RasterImage& out, Turn turn)
{
    const int32_t ow = static_cast<int32_t>(self.GetWidth()), oh = static_cast<int32_t>(self.GetHeight());
    const int32_t nw = oh, nh = ow;
    const uint32_t bpp = self.GetBpp();
    // result (x, y) = source (sx, sy)
    auto source = [&](int32_t x, int32_t y, int32_t& sx, int32_t& sy) {
        if (turn == Turn::Left) {
            sx = y;
            sy = nw - 1 - x;
        } else {
            sx = ow - 1 - y;
            sy = x;
        }
    };
    if (bpp == 1) {
        out.Clear(0);
        for (int32_t sy = 0; sy < oh; ++sy) {
            for (int32_t sx = 0; sx < ow; ++sx) {
                if (!self.BlindGetPixelIndex(sx, sy)) continue;
                // invert the mapping: which result pixel takes this source pixel
                int32_t x, y;
                if (turn == Turn::Left) {
                    x = nw - 1 - sy;
                    y = sx;
                } else {
                    x = sy;
                    y = ow - 1 - sx;
                }
                out.BlindSetPixelIndex(x, y, 1);
            }
        }
        return true;
    }
    const int32_t block = 64;
    for (int32_t by = 0; by < nh; by += block) {
        for (int32_t bx = 0; bx < nw; bx += block) {
            const int32_t ey = by + block < nh ? by + block : nh;
            const int32_t ex = bx + block < nw ? bx + block : nw;
            for (int32_t y = by; y < ey; ++y) {
                for (int32_t x = bx; x < ex; ++x) {
                    int32_t sx, sy;
                    source(x, y, sx, sy);
                    if (bpp == 24) {
                        memcpy(out.BlindGetPixelPointer(x, y), self.BlindGetPixelPointer(sx, sy), 3);
                    } else {
                        out.BlindSetPixelIndex(x, y, self.BlindGetPixelIndex(sx, sy));
                    }
                }
            }
        }
    }
    return true;
}

bool RasterImage::rotateQuarters(RasterImage* iDst, int quarters)
{
    if (!pDib) return false;
    const bool across = quarters != 2;
    RasterImage tmp;
    if (!createLike(tmp, across ? GetHeight() : GetWidth(), across ? GetWidth() : GetHeight(), GetBpp())) return false;
    tmp.SetPalette(GetPalette(), GetNumColors() > 256 ? 256 : GetNumColors());
    if (across) {
        quarterTurn(*this, tmp, quarters == 1 ? Turn::Left : Turn::Right);
    } else {
        const int32_t w = head.biWidth, h = head.biHeight;
        for (int32_t y = 0; y < h; ++y) {
            for (int32_t x = 0; x < w; ++x) {
                if (head.biClrUsed) tmp.BlindSetPixelIndex(w - 1 - x, h - 1 - y, BlindGetPixelIndexFast(x, y));
                else tmp.BlindSetPixelColor(w - 1 - x, h - 1 - y, BlindGetPixelColor(x, y));
            }
        }
    }
    return iDst ? iDst->Transfer(tmp) : Transfer(tmp);
}

bool RasterImage::RotateLeft(RasterImage* iDst)
{
    return rotateQuarters(iDst, 1);
}

bool RasterImage::RotateRight(RasterImage* iDst)
{
    return rotateQuarters(iDst, 3);
}

bool RasterImage::Rotate180(RasterImage* iDst)
{
    return rotateQuarters(iDst, 2);
}

bool RasterImage::RotateExif(int32_t orientation)
{
    if (!pDib) return false;
    if (orientation < 1) orientation = info.ExifInfo.Orientation;
    bool ok = true;
    switch (orientation) {
    case 3: ok = Rotate180(); break;
    case 6: ok = RotateRight(); break;
    case 5:
    case 8: ok = RotateLeft(); break;
    default: break;
    }
    if (ok) info.ExifInfo.Orientation = 1;
    return ok;
}
