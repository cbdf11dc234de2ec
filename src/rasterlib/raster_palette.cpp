// Palette operations of the raster image: entries, standard and grey palettes, the
// nearest-colour search and its one-entry cache.
#include <cstring>
#include <utility>

#include "core/image_utils.h"
#include "rasterlib/raster_image.h"

namespace {

struct Rgb {
    uint8_t r, g, b;
};

const Rgb kStd16[16] = {{0, 0, 0},       {128, 0, 0},   {0, 128, 0},   {128, 128, 0},
                        {0, 0, 128},     {128, 0, 128}, {0, 128, 128}, {192, 192, 192},
                        {128, 128, 128}, {255, 0, 0},   {0, 255, 0},   {255, 255, 0},
                        {0, 0, 255},     {255, 0, 255}, {0, 255, 255}, {255, 255, 255}};

const Rgb kHues[18] = {{255, 170, 0}, {255, 85, 0},  {254, 0, 0},   {255, 0, 85},   {255, 0, 170}, {254, 0, 254},
                       {170, 0, 255}, {85, 0, 255},  {0, 0, 254},   {0, 85, 255},   {0, 170, 255}, {0, 254, 254},
                       {0, 255, 170}, {0, 255, 85},  {0, 254, 0},   {85, 255, 0},   {170, 255, 0}, {254, 254, 0}};

const Rgb kFirstRamp[12] = {{255, 240, 212}, {255, 226, 177}, {255, 212, 142}, {255, 198, 107},
                            {255, 184, 72},  {255, 170, 37},  {255, 170, 0},   {220, 146, 0},
                            {185, 122, 0},   {150, 98, 0},    {115, 74, 0},    {80, 50, 0}};

// One ramp of twelve: six tints from near white toward the hue, the hue, five shades.
void hueRamp(const Rgb& hue, Rgb out[12])
{
    const int maxc = hue.r > hue.g ? (hue.r > hue.b ? hue.r : hue.b) : (hue.g > hue.b ? hue.g : hue.b);
    for (int t = 0; t < 6; ++t) {
        const int k = 6 - t;  // 6 .. 1 steps away from the hue
        auto tint = [k](int c) { return static_cast<uint8_t>(c + (255 - c) * k * 6 / 43); };
        out[t] = {tint(hue.r), tint(hue.g), tint(hue.b)};
    }
    out[6] = hue;
    static const int shades[5] = {220, 185, 150, 115, 80};
    for (int s = 0; s < 5; ++s) {
        auto shade = [&](int c) { return static_cast<uint8_t>(maxc ? c * shades[s] / maxc : 0); };
        out[7 + s] = {shade(hue.r), shade(hue.g), shade(hue.b)};
    }
}

void fillStd256(RGBQUAD* pal)
{
    auto put = [pal](int i, Rgb c) { pal[i] = RGBQUAD{c.b, c.g, c.r, 0}; };
    for (int i = 0; i < 8; ++i) put(i, kStd16[i]);
    put(8, {192, 220, 192});
    put(9, {166, 202, 240});
    for (int ramp = 0; ramp < 18; ++ramp) {
        Rgb r[12];
        if (ramp == 0) memcpy(r, kFirstRamp, sizeof(r));
        else hueRamp(kHues[ramp], r);
        for (int k = 0; k < 12; ++k) put(10 + ramp * 12 + k, r[k]);
    }
    for (int i = 0; i < 20; ++i) {
        const uint8_t v = static_cast<uint8_t>(242 - 12 * i);
        put(226 + i, {v, v, v});
    }
    const Rgb tail[10] = {{255, 251, 240}, {160, 160, 164}, {128, 128, 128}, {255, 0, 0},   {0, 255, 0},
                          {255, 255, 0},   {0, 0, 255},     {255, 0, 255},   {0, 255, 255}, {255, 255, 255}};
    for (int i = 0; i < 10; ++i) put(246 + i, tail[i]);
}

}  // namespace

uint32_t RasterImage::GetPaletteSize() { return head.biClrUsed * static_cast<uint32_t>(sizeof(RGBQUAD)); }

RGBQUAD* RasterImage::GetPalette() const
{
    if (!pDib || head.biClrUsed == 0) return nullptr;
    return reinterpret_cast<RGBQUAD*>(static_cast<uint8_t*>(pDib) + sizeof(tagBITMAPINFOHEADER));
}

RGBQUAD RasterImage::GetPaletteColor(uint8_t idx)
{
    RGBQUAD c = {0, 0, 0, 0};
    RGBQUAD* pal = GetPalette();
    if (pal && idx < head.biClrUsed) c = pal[idx];
    return c;
}

bool RasterImage::GetPaletteColor(uint8_t idx, uint8_t* r, uint8_t* g, uint8_t* b)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return false;
    if (r) *r = pal[idx].rgbRed;
    if (g) *g = pal[idx].rgbGreen;
    if (b) *b = pal[idx].rgbBlue;
    return true;
}

void RasterImage::SetPaletteColor(uint8_t idx, uint8_t r, uint8_t g, uint8_t b, uint8_t alpha)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return;
    pal[idx] = RGBQUAD{b, g, r, alpha};
    info.last_c_isvalid = false;
}

void RasterImage::SetPaletteColor(uint8_t idx, RGBQUAD c)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || idx >= head.biClrUsed) return;
    pal[idx] = c;
    info.last_c_isvalid = false;
}

void RasterImage::SetPaletteColor(uint8_t idx, uint32_t cr)
{
    SetPaletteColor(idx, RasterGetR(cr), RasterGetG(cr), RasterGetB(cr), 0);
}

void RasterImage::SetPalette(uint32_t n, uint8_t* r, uint8_t* g, uint8_t* b)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || !r) return;
    if (!g) g = r;
    if (!b) b = g;
    if (n > head.biClrUsed) n = head.biClrUsed;
    for (uint32_t i = 0; i < n; ++i) {
        pal[i].rgbRed = r[i];
        pal[i].rgbGreen = g[i];
        pal[i].rgbBlue = b[i];
    }
    info.last_c_isvalid = false;
}

void RasterImage::SetPalette(rgb_color* rgb, uint32_t nColors)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || !rgb) return;
    if (nColors > head.biClrUsed) nColors = head.biClrUsed;
    for (uint32_t i = 0; i < nColors; ++i) {
        pal[i].rgbRed = rgb[i].r;
        pal[i].rgbGreen = rgb[i].g;
        pal[i].rgbBlue = rgb[i].b;
    }
    info.last_c_isvalid = false;
}

void RasterImage::SetPalette(RGBQUAD* pPal, uint32_t nColors)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || !pPal) return;
    uint64_t bytes = static_cast<uint64_t>(nColors) * 4;
    if (bytes > GetPaletteSize()) bytes = GetPaletteSize();
    memmove(pal, pPal, static_cast<size_t>(bytes));
    info.last_c_isvalid = false;
}

void RasterImage::SetGrayPalette()
{
    RGBQUAD* pal = GetPalette();
    const uint32_t n = head.biClrUsed;
    if (!pal || n < 2) return;
    const uint32_t step = 255 / (n - 1);
    for (uint32_t i = 0; i < n; ++i) {
        const uint8_t v = static_cast<uint8_t>(step * i);
        pal[i].rgbBlue = pal[i].rgbGreen = pal[i].rgbRed = v;
    }
    info.last_c_isvalid = false;
}

void RasterImage::SetStdPalette()
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    info.last_c_isvalid = false;
    switch (head.biBitCount) {
    case 1:
        pal[0] = RGBQUAD{0, 0, 0, 0};
        pal[1] = RGBQUAD{255, 255, 255, 0};
        break;
    case 4:
        for (int i = 0; i < 16; ++i) pal[i] = RGBQUAD{kStd16[i].b, kStd16[i].g, kStd16[i].r, 0};
        break;
    case 8: fillStd256(pal); break;
    default: break;
    }
}

void RasterImage::BlendPalette(uint32_t cr, int32_t perc)
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return;
    if (perc > 100) perc = 100;
    if (perc < 0) perc = 0;
    const int r = RasterGetR(cr), g = RasterGetG(cr), b = RasterGetB(cr);
    for (uint32_t i = 0; i < head.biClrUsed; ++i) {
        pal[i].rgbBlue = static_cast<uint8_t>((pal[i].rgbBlue * (100 - perc) + b * perc) / 100);
        pal[i].rgbGreen = static_cast<uint8_t>((pal[i].rgbGreen * (100 - perc) + g * perc) / 100);
        pal[i].rgbRed = static_cast<uint8_t>((pal[i].rgbRed * (100 - perc) + r * perc) / 100);
    }
    info.last_c_isvalid = false;
}

bool RasterImage::IsGrayScale()
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return false;
    if (pal[0].rgbBlue || pal[0].rgbGreen || pal[0].rgbRed) return false;
    for (uint32_t i = 0; i < head.biClrUsed; ++i)
        if (pal[i].rgbBlue != i || pal[i].rgbGreen != i || pal[i].rgbRed != i) return false;
    return true;
}

bool RasterImage::IsSamePalette(RasterImage& img, bool bCheckAlpha)
{
    const uint32_t n = head.biClrUsed;
    if (n == 0 || n != img.head.biClrUsed) return false;
    RGBQUAD* a = GetPalette();
    RGBQUAD* b = img.GetPalette();
    if (!a || !b) return false;
    for (uint32_t i = 0; i < n; ++i) {
        if (a[i].rgbBlue != b[i].rgbBlue || a[i].rgbGreen != b[i].rgbGreen || a[i].rgbRed != b[i].rgbRed)
            return false;
        if (bCheckAlpha && a[i].rgbReserved != b[i].rgbReserved) return false;
    }
    return true;
}

void RasterImage::SwapIndex(uint8_t idx1, uint8_t idx2)
{
    RGBQUAD* pal = GetPalette();
    if (!pal || idx1 >= head.biClrUsed || idx2 >= head.biClrUsed) return;
    std::swap(pal[idx1], pal[idx2]);
    info.last_c_isvalid = false;
    for (int32_t y = 0; y < head.biHeight; ++y) {
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const uint8_t i = BlindGetPixelIndexFast(x, y);
            if (i == idx1) BlindSetPixelIndex(x, y, idx2);
            else if (i == idx2) BlindSetPixelIndex(x, y, idx1);
        }
    }
}

void RasterImage::SwapRGB2BGR()
{
    if (!pDib) return;
    RGBQUAD* pal = GetPalette();
    if (pal) {
        for (uint32_t i = 0; i < head.biClrUsed; ++i) std::swap(pal[i].rgbBlue, pal[i].rgbRed);
        info.last_c_isvalid = false;
        return;
    }
    for (int32_t y = 0; y < head.biHeight; ++y) RGBtoBGR(GetBits(static_cast<uint32_t>(y)), 3 * head.biWidth);
}

void RasterImage::SetClrImportant(uint32_t ncolors)
{
    if (ncolors == 0 || ncolors > 256) {
        head.biClrImportant = 0;
        return;
    }
    switch (head.biBitCount) {
    case 1: head.biClrImportant = ncolors < 2 ? ncolors : 2; break;
    case 4: head.biClrImportant = ncolors < 16 ? ncolors : 16; break;
    case 8: head.biClrImportant = ncolors; break;
    default: break;
    }
    info.last_c_isvalid = false;
}

void RasterImage::RGBtoBGR(uint8_t* buffer, int32_t length)
{
    if (!buffer || head.biClrUsed) return;
    int64_t n = length;
    if (n > 3 * static_cast<int64_t>(head.biWidth)) n = 3 * static_cast<int64_t>(head.biWidth);
    if (n > info.dwEffWidth) n = info.dwEffWidth;
    if (n > 0) pvk::core::swapOuterBytes(buffer, buffer, static_cast<size_t>(n / 3));
}

uint8_t RasterImage::GetNearestIndex(RGBQUAD c)
{
    RGBQUAD* pal = GetPalette();
    if (!pal) return 0;
    if (info.last_c_isvalid && info.last_c.rgbBlue == c.rgbBlue && info.last_c.rgbGreen == c.rgbGreen &&
        info.last_c.rgbRed == c.rgbRed)
        return info.last_c_index;
    uint32_t n = head.biClrImportant ? head.biClrImportant : head.biClrUsed;
    if (n > head.biClrUsed) n = head.biClrUsed;
    int32_t best = 200000;
    uint8_t index = 0;
    for (uint32_t i = 0; i < n; ++i) {
        const int db = pal[i].rgbBlue - c.rgbBlue, dg = pal[i].rgbGreen - c.rgbGreen, dr = pal[i].rgbRed - c.rgbRed;
        const int32_t d = db * db + dg * dg + dr * dr;
        if (d == 0) {
            index = static_cast<uint8_t>(i);
            break;
        }
        if (d < best) {
            best = d;
            index = static_cast<uint8_t>(i);
        }
    }
    info.last_c = c;
    info.last_c_index = index;
    info.last_c_isvalid = true;
    return index;
}
