// Free rotation, resampling (against OpenCV), crop, expand, thumbnails and the edge
// behaviour of sub-pixel reads.
#include <opencv2/imgproc.hpp>

#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

namespace {

cv::Mat toMat(RasterImage& img)
{
    cv::Mat m(static_cast<int>(img.GetHeight()), static_cast<int>(img.GetWidth()), CV_8UC3);
    std::vector<uint8_t> rgb = rgbOf(img);
    memcpy(m.data, rgb.data(), rgb.size());
    return m;
}

}  // namespace

TEST(RasterRotate, RightAnglesAreTheLosslessTurns)
{
    for (uint32_t bpp : {1u, 8u, 24u}) {
        RasterImage src;
        if (bpp == 24) makeColor(src, 23, 11);
        else makeIndexed(src, 23, 11, bpp);
        struct { float angle; int turn; } cases[] = {{90, 1}, {-270, 1}, {270, 3}, {180, 2}, {450, 1}};
        for (const auto& c : cases) {
            RasterImage fast(src), lossless(src);
            ASSERT_TRUE(fast.Rotate2(c.angle, nullptr, RasterImage::IM_BICUBIC2, RasterImage::OM_REPEAT, nullptr, true));
            if (c.turn == 1) lossless.RotateLeft();
            if (c.turn == 2) lossless.Rotate180();
            if (c.turn == 3) lossless.RotateRight();
            EXPECT_TRUE(samePixels(fast, lossless)) << bpp << " " << c.angle;
        }
        // Without the shortcut, a nearest-neighbour quarter turn lands on the same pixels.
        RasterImage slow(src), left(src);
        ASSERT_TRUE(slow.Rotate2(90, nullptr, RasterImage::IM_NEAREST_NEIGHBOUR, RasterImage::OM_REPEAT, nullptr, false));
        left.RotateLeft();
        EXPECT_TRUE(samePixels(slow, left)) << bpp;
    }
}

TEST(RasterRotate, FreeAnglesSizeAndContent)
{
    RasterImage src;
    makeColor(src, 60, 40);
    for (float angle : {30.0f, 45.0f, -17.0f, 123.0f}) {
        RasterImage r(src);
        ASSERT_TRUE(r.Rotate(angle));
        const double rad = angle * M_PI / 180;
        const double ew = 60 * fabs(cos(rad)) + 40 * fabs(sin(rad)), eh = 60 * fabs(sin(rad)) + 40 * fabs(cos(rad));
        EXPECT_NEAR(r.GetWidth(), ew, 1.0) << angle;
        EXPECT_NEAR(r.GetHeight(), eh, 1.0) << angle;
        // The centre stays where it was.
        const RGBQUAD a = r.GetPixelColor(static_cast<int32_t>(r.GetWidth() / 2), static_cast<int32_t>(r.GetHeight() / 2));
        const RGBQUAD b = src.GetPixelColor(30, 20);
        EXPECT_NEAR(a.rgbRed, b.rgbRed, 12) << angle;
        EXPECT_NEAR(a.rgbGreen, b.rgbGreen, 12) << angle;
    }
    // A point right of the centre turns up under a positive (counter-clockwise) angle.
    RasterImage dot;
    ASSERT_NE(dot.Create(41, 41, 24, 0), nullptr);
    dot.SetRectColor(30, 19, 33, 22, RGBQUAD{255, 255, 255, 0});
    ASSERT_TRUE(dot.Rotate2(90, nullptr, RasterImage::IM_BILINEAR, RasterImage::OM_COLOR, nullptr, false));
    RGBQUAD up = dot.GetPixelColor(20, 30);  // bottom-up y: above the centre
    EXPECT_EQ(up.rgbRed, 255);
    RasterImage empty;
    EXPECT_FALSE(empty.Rotate(10));
    EXPECT_FALSE(empty.Rotate2(10));
}

TEST(RasterResample, AgreesWithOpenCv)
{
    RasterImage src;
    makeSmooth(src, 64, 48);
    const cv::Mat ref = toMat(src);
    struct { int w, h, mode, cvMode, tolerance; } cases[] = {
        {128, 96, 0, cv::INTER_LINEAR, 6},  {100, 30, 0, cv::INTER_LINEAR, 10}, {32, 24, 0, cv::INTER_AREA, 6},
        {128, 96, 2, cv::INTER_CUBIC, 8},   {32, 24, 1, cv::INTER_NEAREST, 16},
    };
    for (const auto& c : cases) {
        RasterImage r(src);
        ASSERT_TRUE(r.Resample(c.w, c.h, c.mode)) << c.w;
        ASSERT_EQ(r.GetWidth(), static_cast<uint32_t>(c.w));
        cv::Mat out;
        cv::resize(ref, out, cv::Size(c.w, c.h), 0, 0, c.cvMode);
        std::vector<uint8_t> cvRgb(out.data, out.data + out.total() * 3);
        // Interior pixels: the edges depend on each side's border rule.
        std::vector<uint8_t> ours = rgbOf(r);
        int worst = 0;
        for (int y = 2; y < c.h - 2; ++y)
            for (int x = 2; x < c.w - 2; ++x)
                for (int k = 0; k < 3; ++k) {
                    const size_t i = (static_cast<size_t>(y) * c.w + x) * 3 + k;
                    worst = std::max(worst, std::abs(int(ours[i]) - int(cvRgb[i])));
                }
        EXPECT_LE(worst, c.tolerance) << c.w << "x" << c.h << " mode " << c.mode;
    }
    // Nearest neighbour takes the source pixel at the truncated scaled position, rows
    // counted from the bottom (hence the row or so against OpenCV's top-down choice).
    RasterImage nn(src);
    ASSERT_TRUE(nn.Resample(32, 24, 1));
    bool exact = true;
    for (int y = 0; y < 24; ++y)
        for (int x = 0; x < 32; ++x) exact &= nn.GetPixelColor(x, y).rgbBlue == src.GetPixelColor(x * 2, y * 2).rgbBlue;
    EXPECT_TRUE(exact);
    // Area averaging weighs each covered pixel by its covered area in thousandths and cuts the
    // mean: 10 -> 4 columns give spans of 2.5 pixels (weights 1000, 1000, 500 and 500, 1000,
    // 1000), 3 -> 1 rows a plain mean; the means are cut, not rounded.
    RasterImage area;
    ASSERT_NE(area.Create(10, 3, 24, 0), nullptr);
    for (int x = 0; x < 10; ++x)
        for (int y = 0; y < 3; ++y) area.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(10 * x), 0, static_cast<uint8_t>(x == 4 ? 42 : 10 * x), 0});
    ASSERT_TRUE(area.Resample(4, 1, 0));
    EXPECT_EQ(area.GetPixelColor(0, 0).rgbBlue, (0 + 10 * 1000 + 20 * 500) / 2500);
    EXPECT_EQ(area.GetPixelColor(1, 0).rgbBlue, (20 * 500 + 30 * 1000 + 40 * 1000) / 2500);
    EXPECT_EQ(area.GetPixelColor(1, 0).rgbRed, 32);  // (20 x 500 + 30 x 1000 + 42 x 1000) / 2500 = 32.8
    EXPECT_EQ(area.GetPixelColor(3, 0).rgbBlue, (70 * 500 + 80 * 1000 + 90 * 1000) / 2500);
    RasterImage third;
    ASSERT_NE(third.Create(3, 3, 24, 0), nullptr);
    for (int x = 0; x < 3; ++x)
        for (int y = 0; y < 3; ++y) third.SetPixelColor(x, y, RGBQUAD{static_cast<uint8_t>(20 + 10 * x + 2 * (x == 2)), 0, 0, 0});
    ASSERT_TRUE(third.Resample(1, 1, 0));
    EXPECT_EQ(third.GetPixelColor(0, 0).rgbBlue, 30);  // 276 / 9 = 30.67
    RasterImage r2(src);
    ASSERT_TRUE(r2.Resample2(32, 24, RasterImage::IM_BILINEAR, RasterImage::OM_REPEAT));
    EXPECT_EQ(r2.GetHeight(), 24u);
    EXPECT_FALSE(r2.Resample(0, 10));
    RasterImage shrink(src);
    EXPECT_FALSE(shrink.QIShrink(65, 10));
    EXPECT_STREQ(shrink.GetLastError(), "QIShrink can't enlarge image");
    ASSERT_TRUE(shrink.QIShrink(32, 24));
    const RGBQUAD q = shrink.GetPixelColor(5, 5);
    const RGBQUAD a = src.GetPixelColor(10, 10), b = src.GetPixelColor(11, 11);
    EXPECT_NEAR(q.rgbRed, (a.rgbRed + b.rgbRed) / 2, 2);
}

TEST(RasterCanvas, CropExpandAndThumbnail)
{
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        RasterImage src;
        if (bpp == 24) makeColor(src, 30, 20);
        else makeIndexed(src, 30, 20, bpp);
        RasterImage part;
        ASSERT_TRUE(src.Crop(3, 2, 13, 7, &part)) << bpp;
        ASSERT_EQ(part.GetWidth(), 10u);
        ASSERT_EQ(part.GetHeight(), 5u);
        EXPECT_EQ(part.GetBpp(), bpp);
        bool same = true;
        for (int r = 0; r < 5; ++r)
            for (int x = 0; x < 10; ++x)
                same &= part.GetPixelColor(x, 4 - r).rgbGreen == src.GetPixelColor(x + 3, 19 - (r + 2)).rgbGreen;
        EXPECT_TRUE(same) << bpp;

        RasterImage big;
        const RGBQUAD white{255, 255, 255, 0};
        ASSERT_TRUE(part.Expand(2, 1, 3, 4, white, &big));
        EXPECT_EQ(big.GetWidth(), 15u);
        EXPECT_EQ(big.GetHeight(), 10u);
        EXPECT_EQ(big.GetPixelColor(0, 0).rgbRed, 255);
        EXPECT_EQ(big.GetPixelColor(2, 4 + 4).rgbGreen, part.GetPixelColor(0, 4).rgbGreen);  // top-left of the picture
    }
    RasterImage src;
    makeColor(src, 40, 10);
    EXPECT_FALSE(src.Crop(5, 5, 5, 9));
    EXPECT_FALSE(src.Expand(-1, 0, 0, 0, RGBQUAD{0, 0, 0, 0}));
    EXPECT_FALSE(src.Expand(39, 20, RGBQUAD{0, 0, 0, 0}));
    RasterImage centred;
    ASSERT_TRUE(src.Expand(44, 16, RGBQUAD{0, 0, 255, 0}, &centred));
    EXPECT_EQ(centred.GetPixelColor(2, 3).rgbRed, src.GetPixelColor(0, 0).rgbRed);

    RasterImage thumb;
    ASSERT_TRUE(src.Thumbnail(20, 20, RGBQUAD{0, 255, 0, 0}, &thumb));
    EXPECT_EQ(thumb.GetWidth(), 20u);
    EXPECT_EQ(thumb.GetHeight(), 20u);
    EXPECT_EQ(thumb.GetPixelColor(10, 0).rgbGreen, 255);   // canvas above and below the 20 x 5 picture
    EXPECT_NE(thumb.GetPixelColor(10, 10).rgbGreen, 255);

    RasterImage rot;
    ASSERT_TRUE(src.CropRotatedRectangle(5, 2, 10, 4, 0.0f, &rot));
    EXPECT_EQ(rot.GetWidth(), 10u);
    ASSERT_TRUE(src.CropRotatedRectangle(10, 2, 12, 5, 0.3f, &rot));
    EXPECT_EQ(rot.GetWidth(), 12u);
    EXPECT_EQ(rot.GetHeight(), 5u);
}

TEST(RasterSampling, OverflowMethodsAtTheEdges)
{
    RasterImage img;
    makeColor(img, 5, 4);
    int32_t x = -1, y = 0;
    EXPECT_FALSE(img.OverflowCoordinates(x, y, RasterImage::OM_MIRROR));
    EXPECT_EQ(x, 1);
    x = 5;
    img.OverflowCoordinates(x, y, RasterImage::OM_MIRROR);
    EXPECT_EQ(x, 4);
    x = -1;
    img.OverflowCoordinates(x, y, RasterImage::OM_WRAP);
    EXPECT_EQ(x, 4);
    x = 9;
    y = -3;
    img.OverflowCoordinates(x, y, RasterImage::OM_REPEAT);
    EXPECT_EQ(x, 4);
    EXPECT_EQ(y, 0);
    x = 2;
    y = 2;
    EXPECT_TRUE(img.OverflowCoordinates(x, y, RasterImage::OM_COLOR));

    const RGBQUAD white = img.GetPixelColorWithOverflow(-1, 0, RasterImage::OM_COLOR);
    EXPECT_EQ(white.rgbRed, 255);
    EXPECT_EQ(white.rgbReserved, 0);
    RGBQUAD repl{1, 2, 3, 4};
    EXPECT_EQ(img.GetPixelColorWithOverflow(0, 99, RasterImage::OM_BACKGROUND, &repl).rgbBlue, 1);
    img.SetTransIndex(0);
    img.SetTransColor(RGBQUAD{9, 9, 9, 0});
    EXPECT_EQ(img.GetPixelColorWithOverflow(0, 99, RasterImage::OM_BACKGROUND, &repl).rgbBlue, 9);
    EXPECT_EQ(img.GetPixelColorWithOverflow(0, 99, RasterImage::OM_TRANSPARENT, &repl).rgbBlue, 9);
    EXPECT_EQ(img.GetPixelColorWithOverflow(-1, 0, RasterImage::OM_REPEAT).rgbRed, img.GetPixelColor(0, 0).rgbRed);
    EXPECT_EQ(img.GetPixelColorWithOverflow(5, 0, RasterImage::OM_WRAP).rgbRed, img.GetPixelColor(0, 0).rgbRed);

    // Interpolation at integer positions returns the pixel for interpolating kernels.
    for (auto m : {RasterImage::IM_NEAREST_NEIGHBOUR, RasterImage::IM_BILINEAR, RasterImage::IM_BICUBIC2,
                   RasterImage::IM_CATROM, RasterImage::IM_LANCZOS}) {
        const RGBQUAD c = img.GetPixelColorInterpolated(2, 1, m, RasterImage::OM_REPEAT);
        EXPECT_NEAR(c.rgbRed, img.GetPixelColor(2, 1).rgbRed, 1) << m;
    }
    // Huge and non-numeric coordinates stay defined.
    img.GetPixelColorInterpolated(1e30f, -1e30f, RasterImage::IM_BICUBIC, RasterImage::OM_MIRROR);
    img.GetPixelColorInterpolated(NAN, 1, RasterImage::IM_BILINEAR, RasterImage::OM_WRAP);
    const RGBQUAD area = img.GetAreaColorInterpolated(2, 2, 3, 3, RasterImage::IM_BILINEAR, RasterImage::OM_REPEAT);
    EXPECT_GT(area.rgbGreen, 0);
    EXPECT_FLOAT_EQ(RasterImage::KernelCubic(0), 1.0f);
    EXPECT_FLOAT_EQ(RasterImage::KernelLinear(0.25f), 0.75f);
    EXPECT_NEAR(RasterImage::KernelBessel_Order1(1.0f), 0.44005f, 1e-4);
    EXPECT_NEAR(RasterImage::KernelBessel_Order1(10.0f), 0.04347f, 1e-4);
}
