// Blurs of the raster image: the Gaussian kernel and row filter, the Gaussian blur over
// rows and columns, the text-stroke blur, the selective blur and the unsharp mask.
// Palette images are raised to 24 bits for the work and brought back afterwards.
#include <cmath>
#include <cstring>
#include <memory>
#include <vector>

#include "rasterlib/raster_image.h"

int32_t RasterImage::gen_convolve_matrix(float radius, float** cmatrix_p)
{
    if (!cmatrix_p) return 0;
    radius = fabsf(radius) + 1.0f;
    if (!(radius < 1000.0f)) radius = 1000.0f;
    const float stdDev = radius;
    radius = stdDev * 2;
    int32_t length = 2 * static_cast<int32_t>(ceilf(radius - 0.5f)) + 1;
    if (length <= 0) length = 1;
    float* cmatrix = new float[static_cast<size_t>(length)];
    const int32_t center = length / 2;
    double sum = 0;
    for (int32_t i = 0; i < length; ++i) {
        // Integrate the Gaussian over the tap with 51 samples, 0.02 apart.
        const double base = i - center - 0.5;
        double tap = 0;
        for (int j = 0; j <= 50; ++j) {
            const double x = base + j * 0.02;
            tap += exp(-(x * x) / (2.0 * stdDev * stdDev));
        }
        cmatrix[i] = static_cast<float>(tap / 51);
        sum += cmatrix[i];
    }
    for (int32_t i = 0; i < length; ++i) cmatrix[i] = static_cast<float>(cmatrix[i] / sum);
    *cmatrix_p = cmatrix;
    return length;
}

float* RasterImage::gen_lookup_table(float* cmatrix, int32_t cmatrix_length)
{
    if (!cmatrix || cmatrix_length <= 0) return nullptr;
    float* table = new float[static_cast<size_t>(cmatrix_length) * 256];
    for (int32_t i = 0; i < cmatrix_length; ++i)
        for (int j = 0; j < 256; ++j) table[i * 256 + j] = cmatrix[i] * static_cast<float>(j);
    return table;
}

void RasterImage::blur_line(float* ctable, float* cmatrix, int32_t cmatrix_length, uint8_t* cur_col,
                            uint8_t* dest_col, int32_t y, int32_t bytes)
{
    if (!ctable || !cmatrix || !cur_col || !dest_col || cmatrix_length <= 0 || y <= 0 || bytes <= 0) return;
    const int32_t half = cmatrix_length / 2;
    for (int32_t row = 0; row < y; ++row) {
        for (int32_t b = 0; b < bytes; ++b) {
            float sum = 0, weight = 0;
            for (int32_t i = 0; i < cmatrix_length; ++i) {
                const int32_t p = row + i - half;
                if (p < 0 || p >= y) continue;  // taps past the ends: renormalise by what is inside
                sum += ctable[i * 256 + cur_col[p * bytes + b]];
                weight += cmatrix[i];
            }
            const float v = weight > 0 ? sum / weight : cur_col[row * bytes + b];
            dest_col[row * bytes + b] = static_cast<uint8_t>(v >= 255 ? 255 : (v <= 0 ? 0 : v + 0.5f));
        }
    }
}

namespace {

// A 24-bit working copy of an image and the way back to its depth and palette.
struct Work24 {
    RasterImage img;
    bool gray = false;
    uint32_t bpp = 24;
    std::vector<RGBQUAD> palette;

    bool from(RasterImage& src)
    {
        img.Copy(src);
        bpp = src.GetBpp();
        if (bpp == 24) return img.IsValid();
        gray = src.IsGrayScale() && bpp == 8;
        if (RGBQUAD* p = src.GetPalette()) palette.assign(p, p + src.GetNumColors());
        return img.IncreaseBpp(24);
    }

    bool back()
    {
        if (bpp == 24) return true;
        if (gray) return img.GrayScale();
        return img.DecreaseBpp(bpp, false, palette.data(), static_cast<uint32_t>(palette.size()));
    }
};

void blurRowsAndColumns(RasterImage& img, float* ctable, float* cmatrix, int32_t length, bool rows, bool cols)
{
    const int32_t w = static_cast<int32_t>(img.GetWidth()), h = static_cast<int32_t>(img.GetHeight());
    if (rows) {
        std::vector<uint8_t> out(static_cast<size_t>(w) * 3);
        for (int32_t y = 0; y < h; ++y) {
            uint8_t* row = img.GetBits(static_cast<uint32_t>(y));
            RasterImage::blur_line(ctable, cmatrix, length, row, out.data(), w, 3);
            memcpy(row, out.data(), out.size());
        }
    }
    if (cols) {
        std::vector<uint8_t> in(static_cast<size_t>(h) * 3), out(in.size());
        for (int32_t x = 0; x < w; ++x) {
            for (int32_t y = 0; y < h; ++y) memcpy(&in[static_cast<size_t>(y) * 3], img.GetBits(static_cast<uint32_t>(y)) + 3 * x, 3);
            RasterImage::blur_line(ctable, cmatrix, length, in.data(), out.data(), h, 3);
            for (int32_t y = 0; y < h; ++y) memcpy(img.GetBits(static_cast<uint32_t>(y)) + 3 * x, &out[static_cast<size_t>(y) * 3], 3);
        }
    }
}

}  // namespace

bool RasterImage::GaussianBlur(float radius, RasterImage* iDst)
{
    if (!pDib) return false;
    Work24 work;
    if (!work.from(*this)) return false;
    float* cm = nullptr;
    const int32_t length = gen_convolve_matrix(radius, &cm);
    std::unique_ptr<float[]> cmatrix(cm), ctable(gen_lookup_table(cm, length));
    blurRowsAndColumns(work.img, ctable.get(), cmatrix.get(), length, true, true);
    if (!work.back()) return false;
    return iDst ? iDst->Transfer(work.img) : Transfer(work.img);
}

void RasterImage::blur_text(uint8_t threshold, uint8_t decay, uint8_t max_depth, RasterImage* iSrc,
                            RasterImage* iDst, uint8_t bytes)
{
    if (!iSrc || !iDst || !iSrc->IsValid() || !iDst->IsValid() || bytes == 0) return;
    const int32_t w = static_cast<int32_t>(iSrc->GetWidth()), h = static_cast<int32_t>(iSrc->GetHeight());
    // Dark stroke pixels spread along the row, fading by the decay per step.
    for (int32_t y = 0; y < h; ++y) {
        const uint8_t* src = iSrc->GetBits(static_cast<uint32_t>(y));
        uint8_t* dst = iDst->GetBits(static_cast<uint32_t>(y));
        for (int32_t x = 0; x < w; ++x)
            for (int32_t b = 0; b < bytes; ++b) {
                int best = src[x * bytes + b];
                for (int32_t d = 1; d <= max_depth; ++d)
                    for (int32_t nx : {x - d, x + d}) {
                        if (nx < 0 || nx >= w) continue;
                        const int v = src[nx * bytes + b];
                        if (v < threshold && v + decay * d < best) best = v + decay * d;
                    }
                dst[x * bytes + b] = static_cast<uint8_t>(best > 255 ? 255 : best);
            }
    }
}

bool RasterImage::TextBlur(uint8_t threshold, uint8_t decay, uint8_t max_depth, bool bBlurHorizontal,
                           bool bBlurVertical, RasterImage* iDst)
{
    if (!pDib) return false;
    Work24 work;
    if (!work.from(*this)) return false;
    if (bBlurHorizontal) {
        RasterImage out(work.img);
        blur_text(threshold, decay, max_depth, &work.img, &out, 3);
        work.img.Transfer(out);
    }
    if (bBlurVertical) {
        RasterImage turned;
        if (!work.img.RotateLeft(&turned)) return false;
        RasterImage out(turned);
        blur_text(threshold, decay, max_depth, &turned, &out, 3);
        if (!out.RotateRight(&work.img)) return false;
    }
    if (!work.back()) return false;
    return iDst ? iDst->Transfer(work.img) : Transfer(work.img);
}

bool RasterImage::SelectiveBlur(float radius, uint8_t threshold, RasterImage* iDst)
{
    if (!pDib) return false;
    RasterImage blurred;
    if (!GaussianBlur(radius, &blurred)) return false;
    RasterImage out(*this);
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const RGBQUAD o = BlindGetPixelColor(x, y), b = blurred.BlindGetPixelColor(x, y);
            RGBQUAD c = o;
            if (abs(o.rgbRed - b.rgbRed) < threshold) c.rgbRed = b.rgbRed;
            if (abs(o.rgbGreen - b.rgbGreen) < threshold) c.rgbGreen = b.rgbGreen;
            if (abs(o.rgbBlue - b.rgbBlue) < threshold) c.rgbBlue = b.rgbBlue;
            out.BlindSetPixelColor(x, y, c);
        }
    return iDst ? iDst->Transfer(out) : Transfer(out);
}

bool RasterImage::UnsharpMask(float radius, float amount, int32_t threshold)
{
    if (!pDib) return false;
    if (!std::isfinite(amount)) return false;
    RasterImage blurred;
    if (!GaussianBlur(radius, &blurred)) return false;
    auto sharpen = [&](int o, int b) {
        const int diff = o - b;
        if (abs(diff) < threshold) return o;
        const float v = o + amount * diff;
        return v < 0 ? 0 : (v > 255 ? 255 : static_cast<int>(v));
    };
    for (int32_t y = 0; y < head.biHeight; ++y)
        for (int32_t x = 0; x < head.biWidth; ++x) {
            const RGBQUAD o = BlindGetPixelColor(x, y), b = blurred.BlindGetPixelColor(x, y);
            BlindSetPixelColor(x, y, RGBQUAD{Val_0_255(sharpen(o.rgbBlue, b.rgbBlue)),
                                             Val_0_255(sharpen(o.rgbGreen, b.rgbGreen)),
                                             Val_0_255(sharpen(o.rgbRed, b.rgbRed)), o.rgbReserved});
        }
    return true;
}
