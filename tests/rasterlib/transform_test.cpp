// Depth changes and lossless turns.
#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

TEST(RasterDepth, GrayScaleAndThreshold)
{
    RasterImage img;
    ASSERT_NE(img.Create(3, 1, 24, 0), nullptr);
    img.SetPixelColor(0, 0, RGBQUAD{255, 255, 255, 0});
    img.SetPixelColor(1, 0, RGBQUAD{0, 0, 255, 0});  // pure red
    img.SetPixelColor(2, 0, RGBQUAD{0, 0, 0, 0});
    img.SetXDPI(300);
    RasterImage gray(img);
    ASSERT_TRUE(gray.GrayScale());
    EXPECT_EQ(gray.GetBpp(), 8);
    EXPECT_TRUE(gray.IsGrayScale());
    EXPECT_EQ(gray.GetPixelIndex(0, 0), 255);
    EXPECT_EQ(gray.GetPixelIndex(1, 0), 76);
    EXPECT_EQ(gray.GetXDPI(), 300);

    RasterImage levels;
    ASSERT_NE(levels.Create(3, 1, 24, 0), nullptr);
    for (int x = 0; x < 3; ++x) {
        const uint8_t v = static_cast<uint8_t>(127 + x);
        levels.SetPixelColor(x, 0, RGBQUAD{v, v, v, 0});
    }
    levels.SetXDPI(300);
    levels.SetCodecOption(7, IMAGE_TYPE_TIF);
    ASSERT_TRUE(levels.Threshold(128));
    EXPECT_EQ(levels.GetBpp(), 1);
    EXPECT_EQ(levels.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(levels.GetPixelIndex(1, 0), 0);  // equal to the level: black
    EXPECT_EQ(levels.GetPixelIndex(2, 0), 1);
    EXPECT_EQ(levels.GetPaletteColor(1).rgbRed, 255);
    // The thresholded picture starts from fresh settings; the caller sets them again.
    EXPECT_EQ(levels.GetXDPI(), 96);
    EXPECT_EQ(levels.GetCodecOption(IMAGE_TYPE_TIF), 0u);
}

TEST(RasterDepth, PaletteImagesTurnGrey)
{
    for (uint32_t bpp : {1u, 4u, 8u}) {
        RasterImage img;
        ASSERT_NE(img.Create(5, 2, bpp, 0), nullptr);
        img.SetStdPalette();
        img.SetPixelIndex(1, 1, 1);
        const uint8_t expect = img.GetPixelGray(1, 1);
        ASSERT_TRUE(img.GrayScale());
        EXPECT_EQ(img.GetBpp(), 8);
        EXPECT_TRUE(img.IsGrayScale());
        EXPECT_EQ(img.GetPixelIndex(1, 1), expect) << bpp;
    }
}

TEST(RasterDepth, IncreaseAndDecrease)
{
    RasterImage bw;
    ASSERT_NE(bw.Create(9, 2, 1, 0), nullptr);
    bw.SetStdPalette();
    bw.SetPixelIndex(3, 1, 1);
    RasterImage up(bw);
    ASSERT_TRUE(up.IncreaseBpp(8));
    EXPECT_EQ(up.GetPixelIndex(3, 1), 1);
    EXPECT_EQ(up.GetPaletteColor(1).rgbRed, 255);
    EXPECT_EQ(up.GetPaletteColor(2).rgbRed, 0);
    EXPECT_FALSE(up.IncreaseBpp(4));  // lower depth
    EXPECT_FALSE(up.IncreaseBpp(16));
    EXPECT_TRUE(up.IncreaseBpp(8));
    ASSERT_TRUE(up.IncreaseBpp(24));
    EXPECT_EQ(up.GetPixelColor(3, 1).rgbGreen, 255);

    RasterImage gray;
    ASSERT_NE(gray.Create(256, 1, 8, 0), nullptr);
    gray.SetGrayPalette();
    for (int x = 0; x < 256; ++x) gray.SetPixelIndex(x, 0, static_cast<uint8_t>(x));
    ASSERT_TRUE(gray.DecreaseBpp(1, false, nullptr, 256));
    EXPECT_EQ(gray.GetBpp(), 1);
    for (int x = 0; x < 256; ++x) EXPECT_EQ(gray.GetPixelColor(x, 0).rgbRed, x <= 127 ? 0 : 255) << x;

    RasterImage small(bw);
    EXPECT_FALSE(small.DecreaseBpp(8, false, nullptr, 256));
    EXPECT_STREQ(small.GetLastError(), "DecreaseBpp: target BPP greater than source BPP");
    EXPECT_TRUE(small.DecreaseBpp(1, false, nullptr, 0));

    RasterImage color;
    makeColor(color, 16, 16);
    ASSERT_TRUE(color.DecreaseBpp(4, true, nullptr, 0));  // error diffusion stays in range
    EXPECT_EQ(color.GetBpp(), 4);
}

TEST(RasterTurns, QuarterTurnsAgreeWithTheirDefinition)
{
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        RasterImage src;
        if (bpp == 24) makeColor(src, 70, 67);  // crosses the 64-pixel blocks
        else makeIndexed(src, 70, 67, bpp);
        RasterImage left(src), right(src), half(src);
        ASSERT_TRUE(left.RotateLeft());
        ASSERT_TRUE(right.RotateRight());
        ASSERT_TRUE(half.Rotate180());
        ASSERT_EQ(left.GetWidth(), 67u);
        ASSERT_EQ(left.GetHeight(), 70u);
        const int ow = 70, oh = 67;
        bool okLeft = true, okRight = true, okHalf = true;
        for (int y = 0; y < ow; ++y)
            for (int x = 0; x < oh; ++x) {
                okLeft &= left.GetPixelColor(x, y).rgbRed == src.GetPixelColor(y, oh - 1 - x).rgbRed;
                okRight &= right.GetPixelColor(x, y).rgbRed == src.GetPixelColor(ow - 1 - y, x).rgbRed;
            }
        for (int y = 0; y < oh; ++y)
            for (int x = 0; x < ow; ++x)
                okHalf &= half.GetPixelColor(ow - 1 - x, oh - 1 - y).rgbBlue == src.GetPixelColor(x, y).rgbBlue;
        EXPECT_TRUE(okLeft) << bpp;
        EXPECT_TRUE(okRight) << bpp;
        EXPECT_TRUE(okHalf) << bpp;
        ASSERT_TRUE(right.RotateLeft());
        EXPECT_TRUE(samePixels(right, src)) << bpp;
    }
}

TEST(RasterTurns, FlipMirrorAndDestinations)
{
    RasterImage one;
    makeColor(one, 1, 1);
    RasterImage same(one);
    ASSERT_TRUE(same.Rotate180());
    EXPECT_TRUE(samePixels(same, one));

    RasterImage row;
    makeColor(row, 9, 1);
    RasterImage flipped(row);
    ASSERT_TRUE(flipped.Flip());
    EXPECT_TRUE(samePixels(flipped, row));

    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        RasterImage src;
        if (bpp == 24) makeColor(src, 11, 5);
        else makeIndexed(src, 11, 5, bpp);
        RasterImage m(src), f(src);
        ASSERT_TRUE(m.Mirror());
        ASSERT_TRUE(f.Flip());
        bool ok = true;
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 11; ++x) {
                ok &= m.GetPixelColor(10 - x, y).rgbGreen == src.GetPixelColor(x, y).rgbGreen;
                ok &= f.GetPixelColor(x, 4 - y).rgbGreen == src.GetPixelColor(x, y).rgbGreen;
            }
        EXPECT_TRUE(ok) << bpp;
    }

    RasterImage src;
    makeColor(src, 6, 4);
    RasterImage dst;
    ASSERT_TRUE(src.RotateRight(&dst));
    EXPECT_EQ(src.GetWidth(), 6u);  // the source stays as it was
    EXPECT_EQ(dst.GetWidth(), 4u);

    RasterImage empty;
    EXPECT_FALSE(empty.Flip());
    EXPECT_FALSE(empty.Mirror());
    EXPECT_FALSE(empty.RotateLeft());
    EXPECT_FALSE(empty.GrayScale());
    EXPECT_FALSE(empty.Threshold(1));
}

TEST(RasterTurns, ExifOrientation)
{
    RasterImage src;
    makeColor(src, 6, 4);
    RasterImage six(src), right(src);
    ASSERT_TRUE(six.RotateExif(6));
    right.RotateRight();
    EXPECT_TRUE(samePixels(six, right));
    RasterImage eight(src), left(src);
    ASSERT_TRUE(eight.RotateExif(8));
    left.RotateLeft();
    EXPECT_TRUE(samePixels(eight, left));
    RasterImage two(src);
    ASSERT_TRUE(two.RotateExif(2));
    EXPECT_TRUE(samePixels(two, src));
}
