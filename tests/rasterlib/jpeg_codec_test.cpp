// JPEG codec: quality, resolution and colour handling, judged against libjpeg's own
// tools and ImageMagick.
#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

namespace {

std::vector<uint8_t> encodeJpeg(RasterImage& img, int quality, uint32_t options = 0)
{
    img.SetJpegQuality(static_cast<uint8_t>(quality));
    img.SetCodecOption(options, IMAGE_TYPE_JPG);
    uint8_t* buf = nullptr;
    int32_t size = 0;
    EXPECT_TRUE(img.Encode(buf, size, IMAGE_TYPE_JPG)) << img.GetLastError();
    std::vector<uint8_t> out(buf, buf + size);
    free(buf);
    return out;
}

bool decodeJpeg(RasterImage& img, std::vector<uint8_t>& data)
{
    return img.Decode(data.data(), static_cast<uint32_t>(data.size()), IMAGE_TYPE_JPG);
}

void makeGray(RasterImage& img, uint32_t w, uint32_t h)
{
    ASSERT_NE(img.Create(w, h, 8, 0), nullptr);
    img.SetGrayPalette();
    for (uint32_t y = 0; y < h; ++y)
        for (uint32_t x = 0; x < w; ++x)
            img.SetPixelIndex(static_cast<int32_t>(x), static_cast<int32_t>(y),
                              static_cast<uint8_t>((x * 3 + y * 2) % 256));
}

}  // namespace

TEST(JpegRoundTrip, QualityControlsFidelityAndSize)
{
    RasterImage color, gray;
    makeSmooth(color, 96, 64);
    makeGray(gray, 96, 64);
    for (RasterImage* img : {&color, &gray}) {
        std::vector<uint8_t> q30 = encodeJpeg(*img, 30), q60 = encodeJpeg(*img, 60), q90 = encodeJpeg(*img, 90);
        EXPECT_LT(q30.size(), q60.size());
        EXPECT_LT(q60.size(), q90.size());
        RasterImage back;
        ASSERT_TRUE(decodeJpeg(back, q90)) << back.GetLastError();
        EXPECT_EQ(back.GetBpp(), img->GetBpp());
        EXPECT_GT(psnr(rgbOf(back), rgbOf(*img)), 30.0);
        // libjpeg's own decoder agrees with ours byte for byte.
        const std::string path = scratch(img->GetBpp() == 8 ? "rt_gray.jpg" : "rt_color.jpg");
        writeFile(path, q90);
        ASSERT_TRUE(run("djpeg -pnm -outfile '" + path + ".pnm' '" + path + "'"));
        EXPECT_EQ(toolRgb(path + ".pnm"), rgbOf(back));
    }
    // A grey picture is written with one component.
    const std::string gpath = scratch("rt_gray.jpg");
    EXPECT_EQ(capture("identify -format '%[colorspace]' '" + gpath + "'"), "Gray");
}

TEST(JpegRoundTrip, OptionsStillDecode)
{
    RasterImage color;
    makeSmooth(color, 40, 24);
    for (uint32_t opt : {0x1u, 0x8u, 0x10u, 0x1000u, 0x2000u, 0x4u}) {
        std::vector<uint8_t> data = encodeJpeg(color, 85, opt);
        RasterImage back;
        ASSERT_TRUE(decodeJpeg(back, data)) << opt << ": " << back.GetLastError();
        if (opt == 0x4u) {
            EXPECT_EQ(back.GetBpp(), 8);
        } else {
            EXPECT_GT(psnr(rgbOf(back), rgbOf(color)), 28.0) << opt;
        }
    }
    // Decoder options: grey output, scaling.
    std::vector<uint8_t> data = encodeJpeg(color, 90);
    RasterImage gray;
    gray.SetCodecOption(0x80, IMAGE_TYPE_JPG);
    ASSERT_TRUE(decodeJpeg(gray, data));
    EXPECT_TRUE(gray.IsGrayScale());
    RasterImage half;
    half.SetJpegScale(2);
    ASSERT_TRUE(decodeJpeg(half, data));
    EXPECT_EQ(half.GetWidth(), 20u);
}

TEST(JpegRoundTrip, PaletteImagesNeedGrey)
{
    RasterImage pal;
    ASSERT_NE(pal.Create(8, 8, 8, 0), nullptr);
    pal.SetStdPalette();
    uint8_t* buf = nullptr;
    int32_t size = 0;
    EXPECT_FALSE(pal.Encode(buf, size, IMAGE_TYPE_JPG));
    EXPECT_STREQ(pal.GetLastError(), "JPEG can save only RGB or GreyScale images");
    EXPECT_EQ(buf, nullptr);
}

TEST(JpegResolution, DensityInEveryUnit)
{
    RasterImage img;
    makeColor(img, 16, 16);
    img.SetXDPI(300);
    img.SetYDPI(200);
    std::vector<uint8_t> data = encodeJpeg(img, 80);
    // JFIF APP0: units 1 (dpi), densities as set.
    ASSERT_GT(data.size(), 20u);
    EXPECT_EQ(data[13], 1);
    EXPECT_EQ((data[14] << 8) | data[15], 300);
    EXPECT_EQ((data[16] << 8) | data[17], 200);
    const std::string path = scratch("dpi.jpg");
    writeFile(path, data);
    EXPECT_EQ(capture("identify -format '%x %y' '" + path + "'"), "300 200");
    RasterImage back;
    ASSERT_TRUE(decodeJpeg(back, data));
    EXPECT_EQ(back.GetXDPI(), 300);
    EXPECT_EQ(back.GetYDPI(), 200);

    RasterImage pic;
    makeColor(pic, 16, 16);
    const std::string src = scratch("density.ppm");
    writePpm(pic, src);
    const std::string cm = scratch("cm.jpg");
    ASSERT_TRUE(run("convert '" + src + "' -units PixelsPerCentimeter -density 40x20 '" + cm + "'"));
    RasterImage fromCm;
    ASSERT_TRUE(fromCm.Load(cm.c_str(), IMAGE_TYPE_JPG));
    EXPECT_EQ(fromCm.GetXDPI(), 102);  // 40 x 2.54 + 0.5
    EXPECT_EQ(fromCm.GetYDPI(), 51);

    // Unit 0 with densities 1:1 keeps the default.
    const std::string aspect = scratch("aspect.jpg");
    ASSERT_TRUE(run("cjpeg -quality 80 -outfile '" + aspect + "' '" + src + "'"));
    std::vector<uint8_t> a = readFile(aspect);
    ASSERT_EQ(a[13], 0);
    RasterImage fromAspect;
    ASSERT_TRUE(decodeJpeg(fromAspect, a));
    EXPECT_EQ(fromAspect.GetXDPI(), 96);
    EXPECT_EQ(fromAspect.GetYDPI(), 96);
}

TEST(JpegToolFiles, ProgressiveCmykAndGrey)
{
    RasterImage pic;
    makeColor(pic, 48, 40);
    const std::string src = scratch("tools.ppm");
    writePpm(pic, src);
    struct { std::string cmd; std::string name; int tolerance; } files[] = {
        {"cjpeg -progressive -quality 90 -outfile '%s' '" + src + "'", "prog.jpg", 0},
        {"cjpeg -grayscale -outfile '%s' '" + src + "'", "gray.jpg", 0},
        {"cjpeg -sample 1x1 -optimize -outfile '%s' '" + src + "'", "s444.jpg", 0},
        {"convert '" + src + "' -colorspace CMYK -quality 95 '%s'", "cmyk.jpg", 3},
    };
    for (const auto& f : files) {
        const std::string path = scratch(f.name);
        std::string cmd = f.cmd;
        cmd.replace(cmd.find("%s"), 2, path);
        ASSERT_TRUE(run(cmd)) << cmd;
        RasterImage img;
        ASSERT_TRUE(img.Load(path.c_str(), IMAGE_TYPE_JPG)) << f.name << ": " << img.GetLastError();
        const std::vector<uint8_t> tool = toolRgb(path);
        ASSERT_EQ(tool.size(), rgbOf(img).size()) << f.name;
        EXPECT_LE(maxDiff(rgbOf(img), tool), f.tolerance) << f.name;
    }
}

TEST(JpegDamage, CutScanDataDecodesWithWarning)
{
    RasterImage img;
    makeColor(img, 64, 64);
    std::vector<uint8_t> data = encodeJpeg(img, 90);
    std::vector<uint8_t> cut(data.begin(), data.begin() + static_cast<long>(data.size() * 2 / 3));
    RasterImage back;
    ASSERT_TRUE(decodeJpeg(back, cut));
    EXPECT_EQ(back.GetHeight(), 64u);
    EXPECT_NE(std::string(back.GetLastError()).find("Premature end of JPEG file"), std::string::npos)
        << back.GetLastError();

    RasterImage empty;
    RasterMemFile none;
    none.Open();
    EXPECT_FALSE(empty.Decode(&none, IMAGE_TYPE_JPG));
    EXPECT_STREQ(empty.GetLastError(), "Empty input file");

    // Headers cut at every length fail cleanly or decode; nothing else.
    for (size_t n = 1; n < 700 && n < data.size(); n += 7) {
        std::vector<uint8_t> head(data.begin(), data.begin() + static_cast<long>(n));
        RasterImage part;
        if (!decodeJpeg(part, head)) {
            EXPECT_NE(part.GetLastError()[0], 0) << n;
        }
    }
}

TEST(JpegEncode, WriteErrorsAreReported)
{
    RasterImage img;
    makeColor(img, 300, 300);
    FILE* full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(img.Encode(full, IMAGE_TYPE_JPG));
    fclose(full);
    EXPECT_NE(std::string(img.GetLastError()).find("Output file write error"), std::string::npos)
        << img.GetLastError();
}

TEST(JpegDamage, HugeClaimedSizeIsRefusedBeforeDecoding)
{
    RasterImage img;
    makeSmooth(img, 16, 16);
    img.SetCodecOption(0x10, IMAGE_TYPE_JPG);  // progressive: all coefficients held in memory
    uint8_t* buf = nullptr;
    int32_t size = 0;
    ASSERT_TRUE(img.Encode(buf, size, IMAGE_TYPE_JPG));
    std::vector<uint8_t> data(buf, buf + size);
    free(buf);
    // Rewrite the frame header's sizes to 60000 x 60000.
    bool patched = false;
    for (size_t i = 0; i + 9 < data.size(); ++i)
        if (data[i] == 0xFF && (data[i + 1] == 0xC2 || data[i + 1] == 0xC0)) {
            data[i + 5] = data[i + 7] = 0xEA;
            data[i + 6] = data[i + 8] = 0x60;
            patched = true;
            break;
        }
    ASSERT_TRUE(patched);
    RasterImage big;
    EXPECT_FALSE(big.Decode(data.data(), static_cast<uint32_t>(data.size()), IMAGE_TYPE_JPG));
    EXPECT_STREQ(big.GetLastError(), "RASTERIMAGE_MAX_MEMORY exceeded");
}
