// Pixel access, palette operations and drawing.
#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

namespace {

RGBQUAD rgb(uint8_t r, uint8_t g, uint8_t b) { return RGBQUAD{b, g, r, 0}; }

}  // namespace

TEST(RasterPixels, IndexLayoutAtEveryDepth)
{
    for (uint32_t bpp : {1u, 4u, 8u}) {
        RasterImage img;
        ASSERT_NE(img.Create(13, 3, bpp, 0), nullptr);
        const uint8_t top = static_cast<uint8_t>(img.GetNumColors() - 1);
        img.SetPixelIndex(0, 0, top);
        img.SetPixelIndex(12, 2, 1);
        img.SetPixelIndex(5, 1, top);
        EXPECT_EQ(img.GetPixelIndex(0, 0), top);
        EXPECT_EQ(img.GetPixelIndex(1, 0), 0);
        EXPECT_EQ(img.GetPixelIndex(12, 2), 1);
        EXPECT_EQ(img.GetPixelIndex(5, 1), top);
        EXPECT_EQ(img.GetPixelIndex(4, 1), 0);
        EXPECT_EQ(img.GetPixelIndex(6, 1), 0);
    }
    RasterImage img;
    ASSERT_NE(img.Create(9, 1, 1, 0), nullptr);
    img.SetPixelIndex(0, 0, 1);
    EXPECT_EQ(img.GetBits(0)[0], 0x80);  // most significant bit first
    ASSERT_NE(img.Create(3, 1, 4, 0), nullptr);
    img.SetPixelIndex(1, 0, 0xA);
    EXPECT_EQ(img.GetBits(0)[0], 0x0A);  // odd x: low nibble
}

TEST(RasterPixels, OutsideReadsAndWrites)
{
    RasterImage img;
    ASSERT_NE(img.Create(4, 4, 8, 0), nullptr);
    img.SetGrayPalette();
    img.SetPixelIndex(0, 0, 9);
    img.SetPixelIndex(-1, 0, 50);
    img.SetPixelIndex(4, 0, 50);
    EXPECT_EQ(img.GetPixelIndex(-1, 0), 9);  // no background: first pixel byte
    img.SetTransIndex(7);
    EXPECT_EQ(img.GetPixelIndex(100, 100), 7);
    EXPECT_EQ(img.GetPixelColor(-5, 2).rgbRed, 7);
    img.SetTransIndex(300);
    EXPECT_EQ(img.GetTransIndex(), 0);
    img.SetPixelColor(-1, -1, rgb(1, 2, 3));

    RasterImage none;
    EXPECT_EQ(none.GetPixelIndex(0, 0), 0);
    none.SetPixelIndex(0, 0, 1);
    EXPECT_EQ(none.GetPalette(), nullptr);
    EXPECT_EQ(none.BlindGetPixelPointer(0, 0), nullptr);
}

TEST(RasterPalette, NearestIndexRules)
{
    RasterImage img;
    ASSERT_NE(img.Create(2, 2, 8, 0), nullptr);
    img.SetPaletteColor(0, 0, 0, 0);
    img.SetPaletteColor(1, 10, 10, 10);
    img.SetPaletteColor(2, 20, 20, 20);
    for (int i = 3; i < 256; ++i) img.SetPaletteColor(static_cast<uint8_t>(i), 255, 255, 255);
    EXPECT_EQ(img.GetNearestIndex(rgb(5, 5, 5)), 0);  // halfway: the lower entry wins
    EXPECT_EQ(img.GetNearestIndex(rgb(16, 16, 16)), 2);
    img.SetPaletteColor(2, 200, 0, 0);  // a palette change invalidates the cached answer
    EXPECT_EQ(img.GetNearestIndex(rgb(16, 16, 16)), 1);

    img.SetStdPalette();
    img.SetClrImportant(16);
    EXPECT_EQ(img.GetClrImportant(), 16u);
    EXPECT_LT(img.GetNearestIndex(rgb(250, 250, 250)), 16);
    img.SetPixelColor(0, 0, rgb(255, 0, 0));
    EXPECT_EQ(img.GetPixelIndex(0, 0), 1);  // dark red (128, 0, 0): entry 249 is not among the first 16
    img.SetClrImportant(300);
    EXPECT_EQ(img.GetClrImportant(), 0u);
}

TEST(RasterPalette, StandardAndGreyPalettes)
{
    RasterImage img;
    ASSERT_NE(img.Create(2, 2, 1, 0), nullptr);
    img.SetGrayPalette();
    EXPECT_EQ(img.GetPaletteColor(1).rgbGreen, 255);
    ASSERT_NE(img.Create(2, 2, 4, 0), nullptr);
    img.SetGrayPalette();
    EXPECT_EQ(img.GetPaletteColor(1).rgbRed, 17);
    EXPECT_EQ(img.GetPaletteColor(15).rgbRed, 255);
    EXPECT_FALSE(img.IsGrayScale());  // entry i must be (i, i, i)
    img.SetStdPalette();
    EXPECT_EQ(img.GetPaletteColor(7).rgbRed, 192);
    EXPECT_EQ(img.GetPaletteColor(12).rgbBlue, 255);

    ASSERT_NE(img.Create(2, 2, 8, 0), nullptr);
    img.SetStdPalette();
    EXPECT_EQ(img.GetPaletteColor(16).rgbRed, 255);
    EXPECT_EQ(img.GetPaletteColor(16).rgbGreen, 170);
    EXPECT_EQ(img.GetPaletteColor(21).rgbRed, 80);
    EXPECT_EQ(img.GetPaletteColor(226).rgbRed, 242);
    EXPECT_EQ(img.GetPaletteColor(245).rgbRed, 14);
    EXPECT_EQ(img.GetPaletteColor(247).rgbBlue, 164);
    for (int ramp = 0; ramp < 18; ++ramp) {
        RGBQUAD dark = img.GetPaletteColor(static_cast<uint8_t>(10 + ramp * 12 + 11));
        EXPECT_EQ(std::max({dark.rgbRed, dark.rgbGreen, dark.rgbBlue}), 80) << ramp;
    }
    img.SetGrayPalette();
    EXPECT_TRUE(img.IsGrayScale());
    uint8_t r = 0;
    EXPECT_TRUE(img.GetPaletteColor(200, &r, nullptr, nullptr));
    EXPECT_EQ(r, 200);
}

TEST(RasterPalette, SwapBlendAndCompare)
{
    RasterImage a;
    makeIndexed(a, 6, 4, 4);
    const uint8_t before = a.GetPixelIndex(1, 0);
    const RGBQUAD c3 = a.GetPaletteColor(3);
    a.SwapIndex(before, 3);
    EXPECT_EQ(a.GetPixelIndex(1, 0), 3);
    EXPECT_EQ(a.GetPaletteColor(before).rgbRed, c3.rgbRed);

    RasterImage b(a);
    EXPECT_TRUE(a.IsSamePalette(b));
    b.BlendPalette(RasterRGB(255, 0, 0), 100);
    EXPECT_EQ(b.GetPaletteColor(0).rgbRed, 255);
    EXPECT_FALSE(a.IsSamePalette(b));
    b.SwapRGB2BGR();
    EXPECT_EQ(b.GetPaletteColor(0).rgbBlue, 255);

    RasterImage c;
    makeColor(c, 3, 1);
    const RGBQUAD p = c.GetPixelColor(2, 0);
    c.SwapRGB2BGR();
    EXPECT_EQ(c.GetPixelColor(2, 0).rgbBlue, p.rgbRed);
    EXPECT_EQ(RasterImage::RGBQUADtoRGB(RasterImage::RGBtoRGBQUAD(0x123456)), 0x123456u);
}

TEST(RasterDrawing, LinesRectanglesAndBlending)
{
    RasterImage img;
    ASSERT_NE(img.Create(5, 12, 24, 0), nullptr);
    img.DrawLine(0, 3, 0, 1, rgb(255, 255, 255));
    int lit = 0;
    for (int y = 0; y < 12; ++y)
        for (int x = 0; x < 5; ++x) lit += img.GetPixelColor(x, y).rgbRed == 255;
    EXPECT_EQ(lit, 4);
    img.Clear(0);
    img.DrawLine(2, 2, 2, 2, rgb(255, 0, 0));
    EXPECT_EQ(img.GetPixelColor(2, 2).rgbRed, 255);
    img.DrawLine(-100, 100, -3, 50, rgb(0, 255, 0));  // clipped, not written outside

    img.Clear(0);
    EXPECT_TRUE(img.SetRectColor(0, 0, 5, 10, rgb(0, 0, 255)));
    EXPECT_EQ(img.GetPixelColor(0, 11).rgbBlue, 255);  // top visible row
    EXPECT_EQ(img.GetPixelColor(4, 2).rgbBlue, 255);
    EXPECT_EQ(img.GetPixelColor(0, 1).rgbBlue, 0);
    EXPECT_TRUE(img.SetRectColor(9, 9, 9, 20, rgb(1, 1, 1)));  // empty after clamping
    RECT r = {-5, 50, 50, -5};
    EXPECT_TRUE(img.SetRectColor(r, rgb(7, 7, 7)));  // clamped and ordered
    EXPECT_EQ(img.GetPixelColor(4, 0).rgbRed, 7);

    img.BlendPixelColor(1, 1, rgb(255, 255, 255), 0.5f);
    EXPECT_EQ(img.GetPixelColor(1, 1).rgbRed, (255 * 128 + 7 * 128) >> 8);

    RasterImage pal;
    makeIndexed(pal, 6, 3, 8);
    EXPECT_TRUE(pal.SetRectColor(1, 0, 4, 1, rgb(255, 255, 255)));
    EXPECT_EQ(pal.GetPixelIndex(2, 2), 255);
    EXPECT_NE(pal.GetPixelIndex(0, 2), 255);
}

TEST(RasterDrawing, TransparentMask)
{
    RasterImage img;
    makeIndexed(img, 5, 5, 8);
    img.SetTransIndex(img.GetPixelIndex(2, 2));
    RasterImage mask;
    ASSERT_TRUE(img.GetTransparentMask(&mask));
    EXPECT_EQ(mask.GetBpp(), 1);
    EXPECT_EQ(mask.GetPixelIndex(2, 2), 1);
    int set = 0;
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 5; ++x) set += mask.GetPixelIndex(x, y) == (img.GetPixelIndex(x, y) == img.GetTransIndex());
    EXPECT_EQ(set, 25);
}

TEST(RasterGeometry, PointsAndRectangles)
{
    EXPECT_FLOAT_EQ(RasterPoint2(0, 0).Distance(3, 4), 5.0f);
    RasterRect2 a(0, 0, 4, 2), b(2, 1, 6, 5);
    EXPECT_FLOAT_EQ(a.Surface(), 8.0f);
    RasterRect2 x = a.CrossSection(b);
    EXPECT_FLOAT_EQ(x.left, 2);
    EXPECT_FLOAT_EQ(x.bottom, 2);
    EXPECT_FLOAT_EQ(a.CrossSection(RasterRect2(10, 10, 12, 12)).Width(), 0);
    EXPECT_FLOAT_EQ(a.Center().x, 2);
}
