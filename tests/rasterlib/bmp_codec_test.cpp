// BMP codec: our own round trips, our files read by ImageMagick, and files written by
// ImageMagick and netpbm read by us, pixel for pixel.
#include "../common/file_kinds.h"
#include "../common/scratch_dir.h"
#include "bmp_test_util.h"
#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

namespace {

std::vector<uint8_t> encode(RasterImage& img, uint32_t type)
{
    uint8_t* buf = nullptr;
    int32_t size = 0;
    EXPECT_TRUE(img.Encode(buf, size, type)) << img.GetLastError();
    std::vector<uint8_t> out(buf, buf + size);
    free(buf);
    return out;
}

bool decode(RasterImage& img, std::vector<uint8_t>& data, uint32_t type = IMAGE_TYPE_BMP)
{
    return img.Decode(data.data(), static_cast<uint32_t>(data.size()), type);
}

// Our decoding of a file against ImageMagick's, within a tolerance per channel.
void expectLikeTool(const std::string& path, int tolerance = 0)
{
    RasterImage img;
    ASSERT_TRUE(img.Load(path.c_str(), IMAGE_TYPE_BMP)) << path << ": " << img.GetLastError();
    const std::vector<uint8_t> tool = toolRgb(path);
    ASSERT_FALSE(tool.empty()) << path;
    EXPECT_LE(maxDiff(rgbOf(img), tool), tolerance) << path;
}

}  // namespace

TEST(BmpRoundTrip, EveryDepthAndOddWidths)
{
    for (uint32_t bpp : {1u, 4u, 8u, 24u}) {
        for (uint32_t w : {1u, 3u, 5u, 33u}) {
            RasterImage img;
            if (bpp == 24) makeColor(img, w, 7);
            else makeIndexed(img, w, 7, bpp);
            img.SetXDPI(300);
            img.SetYDPI(150);
            std::vector<uint8_t> data = encode(img, IMAGE_TYPE_BMP);
            RasterImage back;
            ASSERT_TRUE(decode(back, data)) << back.GetLastError();
            EXPECT_EQ(back.GetBpp(), bpp);
            EXPECT_TRUE(samePixels(back, img)) << bpp << "x" << w;
            EXPECT_EQ(back.GetXDPI(), 300);
            EXPECT_EQ(back.GetYDPI(), 150);

            const std::string path = scratch("rt_" + std::to_string(bpp) + "_" + std::to_string(w) + ".bmp");
            writeFile(path, data);
            EXPECT_EQ(toolRgb(path), rgbOf(img)) << "ImageMagick reads our " << bpp << "-bit file, width " << w;
        }
    }
}

TEST(BmpRoundTrip, HeaderFieldsAsToolsSeeThem)
{
    RasterImage img;
    makeIndexed(img, 5, 3, 8);
    img.SetXDPI(200);
    img.SetYDPI(200);
    const std::string path = scratch("fields.bmp");
    ASSERT_TRUE(img.Save(path.c_str(), IMAGE_TYPE_BMP));
    EXPECT_EQ(capture("identify -format '%w %h %[bmp:format]' '" + path + "'").substr(0, 3), "5 3");
    const std::vector<uint8_t> data = readFile(path);
    ASSERT_GE(data.size(), 54u);
    EXPECT_EQ(data[10] | (data[11] << 8), 14 + 40 + 1024);  // data offset after the palette
    EXPECT_EQ(data[22], 3);                                  // height written positive
    const std::string bmptopnm = capture("bmptopnm '" + path + "' | pnmfile");
    EXPECT_NE(bmptopnm.find("5 by 3"), std::string::npos) << bmptopnm;
}

TEST(BmpToolFiles, Os2RleBitfieldsAndPalettes)
{
    RasterImage pic;
    makeColor(pic, 33, 9);
    const std::string src = scratch("tool_src.ppm");
    writePpm(pic, src);
    struct { std::string cmd; std::string name; int tolerance; } files[] = {
        {"convert '" + src + "' BMP2:", "os2_24.bmp", 0},
        {"convert '" + src + "' BMP3:", "win_24.bmp", 0},
        {"convert '" + src + "' -colors 60 -compress RLE BMP3:", "rle8.bmp", 0},
        {"convert '" + src + "' -define bmp:subtype=RGB565 BMP:", "bf565.bmp", 8},
        {"convert '" + src + "' -define bmp:subtype=RGB555 BMP:", "bf555.bmp", 8},
        {"convert '" + src + "' -alpha set BMP:", "bf32.bmp", 0},
        {"convert '" + src + "' -colors 12 BMP3:", "pal8.bmp", 0},
        {"convert '" + src + "' -colors 2 -type bilevel BMP3:", "bw.bmp", 0},
    };
    for (const auto& f : files) {
        const std::string path = scratch(f.name);
        ASSERT_TRUE(run(f.cmd + "'" + path + "'")) << f.cmd;
        expectLikeTool(path, f.tolerance);
    }
    // netpbm's writers: OS/2 palettes of 3-byte entries, Windows 4 and 8 bit.
    ASSERT_TRUE(run("pnmquant 5 '" + src + "' > '" + scratch("q5.ppm") + "'"));
    for (const std::string opt : {"-os2 -bpp 4", "-os2 -bpp 8", "-windows -bpp 4", "-windows -bpp 8"}) {
        const std::string path = scratch("netpbm" + std::to_string(opt.size()) + opt.substr(1, 2) + ".bmp");
        ASSERT_TRUE(run("ppmtobmp " + opt + " '" + scratch("q5.ppm") + "' > '" + path + "'")) << opt;
        expectLikeTool(path);
    }
}

TEST(BmpToolFiles, TopDownMatchesBottomUpTwin)
{
    RasterImage pic;
    makeColor(pic, 7, 5);
    const std::string src = scratch("td_src.ppm");
    writePpm(pic, src);
    const std::string path = scratch("bottomup.bmp");
    ASSERT_TRUE(run("convert '" + src + "' BMP3:'" + path + "'"));
    std::vector<uint8_t> data = readFile(path);
    ASSERT_EQ(data.size(), 54u + 24 * 5);
    // Same file with a negative height and the rows in the other order.
    std::vector<uint8_t> td(data.begin(), data.begin() + 54);
    const int32_t neg = -5;
    memcpy(&td[22], &neg, 4);
    for (int r = 4; r >= 0; --r) td.insert(td.end(), data.begin() + 54 + r * 24, data.begin() + 54 + (r + 1) * 24);
    RasterImage a, b;
    ASSERT_TRUE(decode(a, data));
    ASSERT_TRUE(decode(b, td));
    EXPECT_TRUE(samePixels(a, b));
    EXPECT_TRUE(samePixels(a, pic));
}

TEST(BmpCrafted, RunLengthEscapesAndPadding)
{
    // RLE8: an odd absolute run with its padding byte, a delta that writes nothing.
    BmpSpec s8;
    s8.width = 4;
    s8.height = 3;
    s8.compression = BI_RLE8;
    s8.paletteEntries = 256;
    std::vector<uint8_t> rle8 = craftBmp(s8, {0, 3, 1, 2, 3, 0, 1, 4, 0, 0, 0, 2, 2, 0, 2, 9, 0, 1});
    RasterImage img;
    ASSERT_TRUE(decode(img, rle8)) << img.GetLastError();
    const uint8_t expect8[3][4] = {{1, 2, 3, 4}, {0, 0, 9, 9}, {0, 0, 0, 0}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(img.GetPixelIndex(x, y), expect8[y][x]) << x << "," << y;

    // RLE4: encoded runs alternate nibbles; absolute runs pad to an even byte count.
    BmpSpec s4;
    s4.width = 4;
    s4.height = 3;
    s4.bits = 4;
    s4.compression = BI_RLE4;
    s4.paletteEntries = 16;
    std::vector<uint8_t> rle4 = craftBmp(
        s4, {4, 0x12, 0, 0, 0, 3, 0x34, 0x50, 1, 0x60, 0, 0, 0, 5, 0x78, 0x98, 0xA0, 0x00, 0, 1});
    ASSERT_TRUE(decode(img, rle4)) << img.GetLastError();
    const uint8_t expect4[3][4] = {{1, 2, 1, 2}, {3, 4, 5, 6}, {7, 8, 9, 8}};
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(img.GetPixelIndex(x, y), expect4[y][x]) << x << "," << y;
}

TEST(BmpCrafted, BareHeadersAndDefaultMasks)
{
    // No file header: the information header starts the data.
    BmpSpec bare;
    bare.fileHeader = false;
    bare.width = 2;
    bare.height = 1;
    bare.paletteEntries = 256;
    std::vector<uint8_t> data = craftBmp(bare, {7, 200, 0, 0});
    RasterImage img;
    ASSERT_TRUE(decode(img, data)) << img.GetLastError();
    EXPECT_EQ(img.GetPixelIndex(1, 0), 200);
    EXPECT_EQ(img.GetPaletteColor(200).rgbGreen, 200);

    // 16 bit without masks is 5-5-5.
    BmpSpec s16;
    s16.width = 2;
    s16.height = 1;
    s16.bits = 16;
    std::vector<uint8_t> b16 = craftBmp(s16, {0x00, 0x7C, 0x1F, 0x00});  // red, blue
    ASSERT_TRUE(decode(img, b16));
    EXPECT_EQ(img.GetBpp(), 24);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbRed, 248);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 0);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbBlue, 248);

    // A zero mask is a zero channel.
    BmpSpec z;
    z.width = 1;
    z.height = 1;
    z.bits = 32;
    z.compression = BI_BITFIELDS;
    z.masks = {0, 0x0000FF00, 0x000000FF};
    std::vector<uint8_t> b32 = craftBmp(z, {0x11, 0x22, 0x33, 0x44});
    ASSERT_TRUE(decode(img, b32));
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbRed, 0);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbGreen, 0x22);
    EXPECT_EQ(img.GetPixelColor(0, 0).rgbBlue, 0x11);
}

TEST(BmpEncode, ShortWriteIsAFailure)
{
    RasterImage img;
    makeColor(img, 64, 64);
    FILE* full = fopen("/dev/full", "wb");
    ASSERT_NE(full, nullptr);
    setvbuf(full, nullptr, _IONBF, 0);
    EXPECT_FALSE(img.Encode(full, IMAGE_TYPE_BMP));
    fclose(full);
    const std::string dev = pvk::testing::processScratchDir("pvk_bmp_") + "/dev";
    ASSERT_EQ(pvk::testing::makeDeviceOrFifo(dev), 0);
    EXPECT_FALSE(img.Save(dev.c_str(), IMAGE_TYPE_BMP));
}
