// Colour spaces, channel split and combine, kernels and morphology, histograms, the
// Fourier transforms, dithering, and images without pixels.
#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

namespace {

std::vector<RGBQUAD> sampleColors()
{
    std::vector<RGBQUAD> out;
    for (int r = 0; r < 256; r += 51)
        for (int g = 0; g < 256; g += 51)
            for (int b = 0; b < 256; b += 51)
                out.push_back(RGBQUAD{static_cast<uint8_t>(b), static_cast<uint8_t>(g), static_cast<uint8_t>(r), 0});
    return out;
}

int channelError(RGBQUAD a, RGBQUAD b)
{
    return std::max({std::abs(a.rgbRed - b.rgbRed), std::abs(a.rgbGreen - b.rgbGreen), std::abs(a.rgbBlue - b.rgbBlue)});
}

}  // namespace

TEST(RasterColorSpace, RoundTrips)
{
    int yuv = 0, hsl = 0, yiq = 0, xyz = 0;
    for (const RGBQUAD c : sampleColors()) {
        yuv = std::max(yuv, channelError(c, RasterImage::YUVtoRGB(RasterImage::RGBtoYUV(c))));
        hsl = std::max(hsl, channelError(c, RasterImage::HSLtoRGB(RasterImage::RGBtoHSL(c))));
        // I and Q of saturated colours fall outside a byte: only in-range colours round-trip.
        const double i = 0.596 * c.rgbRed - 0.2742 * c.rgbGreen - 0.3219 * c.rgbBlue + 128;
        const double q = 0.2109 * c.rgbRed - 0.5229 * c.rgbGreen + 0.3119 * c.rgbBlue + 128;
        if (i >= 0 && i <= 255 && q >= 0 && q <= 255)
            yiq = std::max(yiq, channelError(c, RasterImage::YIQtoRGB(RasterImage::RGBtoYIQ(c))));
        // XYZ bytes hold Z only up to 255: colours with little blue stay in range.
        if (c.rgbBlue <= 204) xyz = std::max(xyz, channelError(c, RasterImage::XYZtoRGB(RasterImage::RGBtoXYZ(c))));
    }
    EXPECT_LE(yuv, 2);
    EXPECT_LE(hsl, 4);  // hue in 255 steps of 1.41 degrees
    EXPECT_LE(yiq, 3);
    EXPECT_LE(xyz, 4);
    const RGBQUAD red = RasterImage::RGBtoHSL(RGBQUAD{0, 0, 255, 0});
    EXPECT_EQ(red.rgbRed, 0);     // hue
    EXPECT_EQ(red.rgbGreen, 255); // saturation
    EXPECT_EQ(red.rgbBlue, 128);  // lightness
    EXPECT_EQ(RasterImage::RGBtoYUV(RGBQUAD{255, 255, 255, 0}).rgbRed, 255);
}

TEST(RasterColorSpace, SplitAndCombineRestore)
{
    RasterImage src;
    makeColor(src, 21, 13);
    RasterImage r, g, b;
    ASSERT_TRUE(src.SplitRGB(&r, &g, &b));
    EXPECT_TRUE(r.IsGrayScale());
    EXPECT_EQ(g.GetPixelIndex(4, 7), src.GetPixelColor(4, 7).rgbGreen);
    RasterImage back;
    ASSERT_TRUE(back.Combine(&r, &g, &b, nullptr, 0));
    EXPECT_TRUE(samePixels(back, src));

    RasterImage y, u, v;
    ASSERT_TRUE(src.SplitYUV(&y, &u, nullptr));
    EXPECT_FALSE(v.IsValid());
    RasterImage c, m, ye, k;
    ASSERT_TRUE(src.SplitCMYK(&c, &m, &ye, &k));
    EXPECT_EQ(c.GetPixelIndex(3, 3), 255 - src.GetPixelColor(3, 3).rgbRed);

    RasterImage conv(src);
    ASSERT_TRUE(conv.ConvertColorSpace(2, 0));
    ASSERT_TRUE(conv.ConvertColorSpace(0, 2));
    EXPECT_LE(maxDiff(rgbOf(conv), rgbOf(src)), 2);
    EXPECT_FALSE(conv.ConvertColorSpace(9, 0));
}

TEST(RasterFilters, KernelOnAnImpulseAndMorphology)
{
    RasterImage img;
    ASSERT_NE(img.Create(9, 9, 8, 0), nullptr);
    img.SetGrayPalette();
    img.SetPixelIndex(4, 4, 1);
    int32_t kernel[9] = {1, 2, 3, 4, 5, 6, 7, 8, 9};
    ASSERT_TRUE(img.Filter(kernel, 3, 1, 0));
    // Each tap sees the impulse once: the kernel comes back, turned half round.
    for (int j = 0; j < 3; ++j)
        for (int i = 0; i < 3; ++i) EXPECT_EQ(img.GetPixelIndex(3 + i, 3 + j), kernel[(2 - j) * 3 + (2 - i)]) << i << "," << j;
    EXPECT_EQ(img.GetPixelIndex(0, 0), 0);

    RasterImage square;
    ASSERT_NE(square.Create(11, 11, 8, 0), nullptr);
    square.SetGrayPalette();
    square.SetRectColor(3, 3, 8, 8, RGBQUAD{255, 255, 255, 0});  // 5 x 5 white square
    auto count = [](RasterImage& im) {
        int n = 0;
        for (int y = 0; y < 11; ++y)
            for (int x = 0; x < 11; ++x) n += im.GetPixelIndex(x, y) == 255;
        return n;
    };
    RasterImage eroded(square), dilated(square), median(square), edge(square);
    ASSERT_TRUE(eroded.Erode(3));
    ASSERT_TRUE(dilated.Dilate(3));
    ASSERT_TRUE(median.Median(3));
    ASSERT_TRUE(edge.Edge(3));
    EXPECT_EQ(count(eroded), 9);
    EXPECT_EQ(count(dilated), 49);
    EXPECT_EQ(count(median), 25 - 4);  // the corners fall
    EXPECT_EQ(edge.GetPixelIndex(5, 5), 255);
    EXPECT_EQ(edge.GetPixelIndex(3, 5), 0);

    RasterImage blur(square);
    ASSERT_TRUE(blur.GaussianBlur(1.5f));
    EXPECT_TRUE(blur.IsGrayScale());
    EXPECT_GT(blur.GetPixelIndex(2, 5), 0);
    EXPECT_LT(blur.GetPixelIndex(5, 5), 255);
    RasterImage sharp(square);
    ASSERT_TRUE(sharp.UnsharpMask(1.0f, 1.0f, 0));
    RasterImage text(square);
    ASSERT_TRUE(text.TextBlur(100, 2, 3));
    RasterImage noisy(square);
    ASSERT_TRUE(noisy.Noise(40));
    ASSERT_TRUE(noisy.Jitter(3));
    ASSERT_TRUE(noisy.Repair(0.5f, 2, 0));
    RasterImage contour(square);
    ASSERT_TRUE(contour.Contour());
    EXPECT_EQ(contour.GetPixelIndex(5, 5), 255);
}

TEST(RasterHistogram, CountsStretchAndEqualise)
{
    RasterImage img;
    ASSERT_NE(img.Create(16, 4, 8, 0), nullptr);
    img.SetGrayPalette();
    for (int x = 0; x < 16; ++x)
        for (int y = 0; y < 4; ++y) img.SetPixelIndex(x, y, static_cast<uint8_t>(100 + x * 2));
    int32_t gray[256];
    EXPECT_EQ(img.Histogram(nullptr, nullptr, nullptr, gray), 4);
    EXPECT_EQ(gray[100], 4);
    EXPECT_EQ(gray[101], 0);
    EXPECT_EQ(img.Histogram(nullptr), 0);

    RasterImage stretched(img);
    ASSERT_TRUE(stretched.HistogramStretch(0, 0));
    EXPECT_EQ(stretched.GetPixelIndex(0, 0), 0);
    EXPECT_EQ(stretched.GetPixelIndex(15, 0), 255);

    RasterImage full;
    ASSERT_NE(full.Create(256, 1, 8, 0), nullptr);
    full.SetGrayPalette();
    for (int x = 0; x < 256; ++x) full.SetPixelIndex(x, 0, static_cast<uint8_t>(x));
    RasterImage same(full);
    ASSERT_TRUE(same.HistogramStretch(0, 0));
    EXPECT_TRUE(samePixels(same, full));

    // Four equal grey levels (none at 0) equalise to their cumulative share: 63, 127, 191, 255.
    RasterImage levels;
    ASSERT_NE(levels.Create(4, 4, 8, 0), nullptr);
    levels.SetGrayPalette();
    for (int x = 0; x < 4; ++x)
        for (int y = 0; y < 4; ++y) levels.SetPixelIndex(x, y, static_cast<uint8_t>(100 + 10 * x));
    ASSERT_TRUE(levels.HistogramEqualize());
    for (int x = 0; x < 4; ++x) EXPECT_EQ(levels.GetPixelColor(x, 2).rgbRed, 255 * (x + 1) / 4) << x;
    RasterImage color;
    makeSmooth(color, 32, 32);
    RasterImage black;
    ASSERT_NE(black.Create(4, 4, 24, 0), nullptr);
    EXPECT_FALSE(black.HistogramEqualize());
    EXPECT_FALSE(black.HistogramNormalize());
    RasterImage n(color), l(color), r(color);
    EXPECT_TRUE(n.HistogramNormalize());
    EXPECT_TRUE(l.HistogramLog());
    EXPECT_TRUE(r.HistogramRoot());
    EXPECT_TRUE(r.HistogramStretch(1, 0.1));
    EXPECT_TRUE(r.HistogramStretch(2, 0.1));
}

TEST(RasterFourier, ConstantImagesAndTransformsAgree)
{
    std::vector<double> re(16), im(16), re2(16), im2(16);
    for (int i = 0; i < 16; ++i) {
        re[i] = sin(i * 0.7) * 10 + i;
        im[i] = cos(i * 0.3);
    }
    std::vector<double> fr(re), fi(im);
    ASSERT_TRUE(RasterImage::FFT(1, 4, fr.data(), fi.data()));
    ASSERT_TRUE(RasterImage::DFT(1, 16, re.data(), im.data(), re2.data(), im2.data()));
    for (int i = 0; i < 16; ++i) {
        EXPECT_NEAR(fr[i], re2[i], 1e-9);
        EXPECT_NEAR(fi[i], im2[i], 1e-9);
    }
    ASSERT_TRUE(RasterImage::FFT(-1, 4, fr.data(), fi.data()));
    for (int i = 0; i < 16; ++i) EXPECT_NEAR(fr[i], re[i], 1e-9);

    for (int w : {16, 12}) {
        RasterImage flat;
        ASSERT_NE(flat.Create(static_cast<uint32_t>(w), 16, 8, 0), nullptr);
        flat.SetGrayPalette();
        flat.Clear(40);
        RasterImage mag, phase;
        ASSERT_TRUE(flat.FFT2(&flat, nullptr, &mag, &phase, 1, false, true)) << w;
        int nonzero = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < w; ++x) nonzero += mag.GetPixelIndex(x, y) != 0;
        EXPECT_EQ(nonzero, 1) << w;
        EXPECT_GT(mag.GetPixelIndex(0, 0), 0) << w;
    }
    EXPECT_TRUE(RasterImage::IsPowerof2(64));
    EXPECT_FALSE(RasterImage::IsPowerof2(0));
    EXPECT_FALSE(RasterImage::IsPowerof2(48));
}

TEST(RasterTone, DitherNegativeAndTables)
{
    RasterImage ramp;
    ASSERT_NE(ramp.Create(64, 16, 8, 0), nullptr);
    ramp.SetGrayPalette();
    for (int x = 0; x < 64; ++x)
        for (int y = 0; y < 16; ++y) ramp.SetPixelIndex(x, y, static_cast<uint8_t>(x * 4));
    for (int method = 0; method <= 9; ++method) {
        RasterImage d(ramp);
        ASSERT_TRUE(d.Dither(method)) << method;
        EXPECT_EQ(d.GetBpp(), 1);
        // Darker on the left, lighter on the right, whatever the pattern.
        int left = 0, right = 0;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) {
                left += d.GetPixelIndex(x, y);
                right += d.GetPixelIndex(48 + x, y);
            }
        EXPECT_LT(left, right) << method;
    }
    // A flat grey keeps its brightness: the white share within 1 % of level / 255.
    for (int level : {64, 128, 192}) {
        RasterImage flat;
        ASSERT_NE(flat.Create(256, 256, 8, 0), nullptr);
        flat.SetGrayPalette();
        flat.Clear(static_cast<uint8_t>(level));
        for (int method = 0; method <= 9; ++method) {
            RasterImage d(flat);
            ASSERT_TRUE(d.Dither(method));
            int white = 0;
            for (int y = 0; y < 256; ++y)
                for (int x = 0; x < 256; ++x) white += d.GetPixelIndex(x, y);
            EXPECT_NEAR(white / 65536.0, level / 255.0, 0.01) << "method " << method << " level " << level;
        }
    }
    RasterImage neg(ramp);
    ASSERT_TRUE(neg.Negative());
    EXPECT_EQ(neg.GetPixelIndex(10, 0), 255 - 40);
    RasterImage color;
    makeColor(color, 4, 4);
    RasterImage cneg(color);
    ASSERT_TRUE(cneg.Negative());
    EXPECT_EQ(cneg.GetPixelColor(1, 1).rgbRed, 255 - color.GetPixelColor(1, 1).rgbRed);

    RasterImage light(ramp);
    ASSERT_TRUE(light.Light(20, 0));
    EXPECT_EQ(light.GetPixelIndex(10, 0), 60);
    RasterImage gam(ramp);
    ASSERT_TRUE(gam.Gamma(1.0f));
    EXPECT_TRUE(samePixels(gam, ramp));
    EXPECT_FALSE(gam.Gamma(0));
    RasterImage sol(ramp);
    ASSERT_TRUE(sol.Solarize(128, true));
    EXPECT_EQ(sol.GetPixelColor(40, 0).rgbRed, 255 - 160);  // through the palette
    EXPECT_EQ(sol.GetPixelColor(20, 0).rgbRed, 80);
    RasterImage sat(color);
    EXPECT_FALSE(sat.Saturate(10, 3));
    EXPECT_STREQ(sat.GetLastError(), "Saturate: wrong colorspace");
    EXPECT_TRUE(sat.Saturate(-255, 1));
    EXPECT_EQ(sat.GetPixelColor(2, 2).rgbRed, sat.GetPixelColor(2, 2).rgbGreen);  // grey now

    RasterImage otsu(ramp);
    const int32_t t = otsu.OptimalThreshold(1);
    EXPECT_GT(t, 90);
    EXPECT_LT(t, 170);
    EXPECT_EQ(color.OptimalThreshold(1), -1);  // needs 8-bit grey
    ASSERT_TRUE(otsu.AdaptiveThreshold(1, 16));
    EXPECT_EQ(otsu.GetBpp(), 1);

    RasterImage a, b;
    makeColor(a, 8, 8);
    makeColor(b, 8, 8);
    ASSERT_TRUE(a.Mix(b, RasterImage::OpXor));
    EXPECT_EQ(a.GetPixelColor(3, 3).rgbRed, 0);
    EXPECT_FALSE(a.Mix(b, static_cast<RasterImage::ImageOpType>(12)));
}

TEST(RasterEmpty, ImagesWithoutPixelsRefuseEverything)
{
    RasterImage e;
    RGBQUAD c{0, 0, 0, 0};
    int32_t k[1] = {1};
    EXPECT_FALSE(e.Rotate(33));
    EXPECT_FALSE(e.Resample(10, 10));
    EXPECT_FALSE(e.Resample2(10, 10));
    EXPECT_FALSE(e.QIShrink(1, 1));
    EXPECT_FALSE(e.Crop(0, 0, 1, 1));
    EXPECT_FALSE(e.Skew(0.1f, 0.1f));
    EXPECT_FALSE(e.Expand(1, 1, 1, 1, c));
    EXPECT_FALSE(e.Thumbnail(10, 10, c));
    EXPECT_FALSE(e.CircleTransform(0));
    EXPECT_FALSE(e.Negative());
    EXPECT_FALSE(e.Dither(0));
    EXPECT_FALSE(e.Filter(k, 1, 1, 0));
    EXPECT_FALSE(e.Erode());
    EXPECT_FALSE(e.GaussianBlur());
    EXPECT_FALSE(e.HistogramStretch());
    EXPECT_FALSE(e.Light(1));
    EXPECT_FALSE(e.Colorize(10, 10));
    EXPECT_FALSE(e.Trace(c, c));
    EXPECT_FALSE(e.FFT2(&e, nullptr, nullptr, nullptr));
    EXPECT_FALSE(e.IsValid());

    // Sizes of zero and absurd sizes refuse without touching the picture.
    RasterImage img;
    makeColor(img, 6, 6);
    const std::vector<uint8_t> before = rgbOf(img);
    EXPECT_FALSE(img.Resample(0, 5));
    EXPECT_FALSE(img.Resample(-3, 5));
    EXPECT_FALSE(img.Resample(100000, 100000));
    EXPECT_FALSE(img.Expand(0x7FFFFFFF, 1, 1, 1, c));
    EXPECT_FALSE(img.Filter(nullptr, 3, 1, 0));
    EXPECT_FALSE(img.Filter(k, 0, 1, 0));
    EXPECT_EQ(rgbOf(img), before);
    ASSERT_TRUE(img.Skew(0.2f, 0, 0, 0, true));
    ASSERT_TRUE(img.CircleTransform(2, 3, 0.5f));
    ASSERT_TRUE(img.CircleTransform(3));
    ASSERT_TRUE(img.Colorize(100, 200, 0.5f));
    ASSERT_TRUE(img.RedEyeRemove());
    ASSERT_TRUE(img.Trace(RGBQUAD{0, 0, 0, 0}, RGBQUAD{255, 255, 255, 0}));
}

TEST(RasterThresholds, EveryMethodSplitsTwoClearClasses)
{
    // Two grey populations, 40 and 200, with a little spread each.
    RasterImage img;
    ASSERT_NE(img.Create(40, 10, 8, 0), nullptr);
    img.SetGrayPalette();
    for (int x = 0; x < 40; ++x)
        for (int y = 0; y < 10; ++y)
            img.SetPixelIndex(x, y, static_cast<uint8_t>((x < 20 ? 40 : 200) + (x + y) % 5));
    for (int method = 0; method <= 4; ++method) {
        const int32_t t = img.OptimalThreshold(method);
        EXPECT_GE(t, 44) << method;
        EXPECT_LT(t, 200) << method;
    }
    RECT box = {0, 0, 10, 10};
    const int32_t inBox = img.OptimalThreshold(1, &box);  // the dark class alone: 40..44
    EXPECT_GE(inBox, 40);
    EXPECT_LT(inBox, 44);
    RECT empty = {5, 5, 5, 9};
    EXPECT_EQ(img.OptimalThreshold(1, &empty), -1);
    RasterImage mask;
    ASSERT_NE(mask.Create(40, 10, 8, 0), nullptr);
    mask.SetGrayPalette();
    mask.Clear(120);
    RasterImage bw(img);
    ASSERT_TRUE(bw.Threshold(&mask));
    EXPECT_EQ(bw.GetPixelIndex(5, 5), 0);
    EXPECT_EQ(bw.GetPixelIndex(30, 5), 1);
    RasterImage small;
    ASSERT_NE(small.Create(4, 4, 8, 0), nullptr);
    EXPECT_FALSE(bw.Threshold(&small));
    // Small boxes on a large picture stay quick.
    RasterImage big;
    ASSERT_NE(big.Create(400, 300, 8, 0), nullptr);
    big.SetGrayPalette();
    for (int x = 0; x < 400; ++x)
        for (int y = 0; y < 300; ++y) big.SetPixelIndex(x, y, static_cast<uint8_t>((x * 7 + y * 3) & 255));
    EXPECT_TRUE(big.AdaptiveThreshold(0, 4));
}

TEST(RasterEmpty, NonNumericArgumentsAreRefusedOrTamed)
{
    RasterImage img;
    makeColor(img, 12, 9);
    const float nan = NAN, inf = INFINITY;
    EXPECT_FALSE(img.Rotate(nan));
    EXPECT_FALSE(img.Rotate2(inf));
    EXPECT_FALSE(img.Skew(nan, 0));
    EXPECT_FALSE(img.CircleTransform(2, 4, nan));
    EXPECT_FALSE(img.UnsharpMask(1, nan, 0));
    EXPECT_FALSE(img.RedEyeRemove(nan));
    EXPECT_FALSE(img.Gamma(nan));
    EXPECT_FALSE(img.CropRotatedRectangle(1, 1, 3, 3, inf));
    EXPECT_TRUE(img.Colorize(10, 10, nan));
    EXPECT_TRUE(img.GaussianBlur(nan));
    img.BlendPixelColor(1, 1, RGBQUAD{1, 2, 3, 0}, 1e30f);
    img.GetAreaColorInterpolated(2, 2, nan, 5, RasterImage::IM_BILINEAR);
    img.GetAreaColorInterpolated(2, 2, 1e30f, 1e30f, RasterImage::IM_BILINEAR, RasterImage::OM_WRAP);
    RasterImage gray(img);
    gray.GrayScale();
    EXPECT_FALSE(gray.AdaptiveThreshold(1, 4, nullptr, 0, nan));
    EXPECT_TRUE(gray.AdaptiveThreshold(1, 4, nullptr, 0x7FFFFFFF, 0.5f));
    RasterImage pal;
    makeIndexed(pal, 4, 4, 8);
    pal.HuePalette(nan);
    pal.HuePalette(1e30f);
    EXPECT_TRUE(pal.IsValid());
}
