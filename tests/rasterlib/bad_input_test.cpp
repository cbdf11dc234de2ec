// Hostile and broken input for every decoder: truncated files, absurd headers, unknown
// data. Nothing may crash, print, or claim success for an unusable header; the
// sanitizers of the test build watch every case. Fuzzer findings are replayed here too.
#include <dirent.h>

#include "../../fuzz/raster_ops_driver.h"
#include "bmp_test_util.h"
#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

namespace {

// Decodes quietly; returns the result and checks that nothing reached stdout or stderr.
bool quietDecode(RasterImage& img, const std::vector<uint8_t>& data, uint32_t type, const std::string& what)
{
    std::vector<uint8_t> copy(data);  // exact-size copy: the sanitizers see any overrun
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    const bool ok = copy.empty() ? img.Decode(static_cast<uint8_t*>(nullptr), 0, type)
                                 : img.Decode(copy.data(), static_cast<uint32_t>(copy.size()), type);
    const std::string out = testing::internal::GetCapturedStdout();
    const std::string err = testing::internal::GetCapturedStderr();
    EXPECT_EQ(out, "") << what;
    EXPECT_EQ(err, "") << what;
    if (!ok) {
        EXPECT_NE(img.GetLastError()[0], 0) << what << ": a failure leaves a reason";
    }
    return ok;
}

std::vector<uint8_t> encoded(RasterImage& img, uint32_t type, uint32_t option = 0)
{
    img.SetCodecOption(option, type);
    uint8_t* buf = nullptr;
    int32_t size = 0;
    EXPECT_TRUE(img.Encode(buf, size, type));
    std::vector<uint8_t> out(buf, buf + size);
    free(buf);
    return out;
}

void truncateEverywhere(const std::vector<uint8_t>& data, uint32_t type, const std::string& name, size_t step)
{
    for (size_t n = 0; n < data.size(); n += (n < 300 ? 1 : step)) {
        RasterImage img;
        quietDecode(img, std::vector<uint8_t>(data.begin(), data.begin() + static_cast<long>(n)), type,
                    name + " cut at " + std::to_string(n));
        RasterImage detect;
        quietDecode(detect, std::vector<uint8_t>(data.begin(), data.begin() + static_cast<long>(n)), 0,
                    name + " detected, cut at " + std::to_string(n));
    }
}

}  // namespace

TEST(BadInput, TruncatedFilesOfEveryFormat)
{
    RasterImage color, pal, bw;
    makeColor(color, 40, 30);
    makeIndexed(pal, 33, 9, 8);
    makeIndexed(bw, 41, 13, 1);
    truncateEverywhere(encoded(color, IMAGE_TYPE_BMP), IMAGE_TYPE_BMP, "bmp24", 97);
    truncateEverywhere(encoded(pal, IMAGE_TYPE_BMP), IMAGE_TYPE_BMP, "bmp8", 53);
    truncateEverywhere(encoded(color, IMAGE_TYPE_JPG), IMAGE_TYPE_JPG, "jpeg", 41);
    truncateEverywhere(encoded(color, IMAGE_TYPE_TIF, 5), IMAGE_TYPE_TIF, "tiff lzw", 37);
    truncateEverywhere(encoded(color, IMAGE_TYPE_TIF, 7), IMAGE_TYPE_TIF, "tiff jpeg", 37);
    truncateEverywhere(encoded(bw, IMAGE_TYPE_TIF, 4), IMAGE_TYPE_TIF, "tiff g4", 11);
    truncateEverywhere(encoded(pal, IMAGE_TYPE_TIF, 1), IMAGE_TYPE_TIF, "tiff none", 29);
}

TEST(BadInput, AbsurdBmpHeaders)
{
    auto expectFail = [](const BmpSpec& s, const std::vector<uint8_t>& data, const char* what) {
        RasterImage img;
        EXPECT_FALSE(quietDecode(img, craftBmp(s, data), IMAGE_TYPE_BMP, what)) << what;
    };
    BmpSpec s;
    s.paletteEntries = 256;
    s.width = 0;
    expectFail(s, {}, "zero width");
    s.width = -4;
    expectFail(s, {}, "negative width");
    s.width = 4;
    s.height = INT32_MIN;
    expectFail(s, {}, "most negative height");
    s.height = 0x7FFFFFFF;
    s.width = 0x7FFFFFFF;
    expectFail(s, {}, "huge");
    s.width = 4;
    s.height = 2;
    s.headerSize = 20;
    expectFail(s, {}, "header below 40");
    s.headerSize = 40;
    s.compression = 9;
    expectFail(s, std::vector<uint8_t>(8), "unknown compression");
    s.bits = 24;
    s.compression = BI_RLE8;
    s.paletteEntries = 0;
    expectFail(s, std::vector<uint8_t>(24), "compressed 24 bit");

    // Bit counts without a reader keep zeroed rows; the header itself is usable.
    for (uint16_t bits : {0, 2, 3, 12, 33, 64}) {
        BmpSpec odd;
        odd.bits = bits;
        odd.paletteEntries = bits <= 8 ? (1u << bits) : 0;
        RasterImage img;
        const std::string what = "bit count " + std::to_string(bits);
        quietDecode(img, craftBmp(odd, std::vector<uint8_t>(64, 0xAB)), IMAGE_TYPE_BMP, what);
    }
}

TEST(BadInput, BmpSizesAndPalettesAreCapped)
{
    // An image size far beyond the rows: only the rows are read.
    BmpSpec s;
    s.width = 3;
    s.height = 2;
    s.bits = 24;
    s.sizeImage = 0x7FFFFFF0;
    std::vector<uint8_t> px(64, 0x42);
    RasterImage img;
    ASSERT_TRUE(quietDecode(img, craftBmp(s, px), IMAGE_TYPE_BMP, "oversized image size"));
    EXPECT_EQ(img.GetPixelColor(2, 1).rgbRed, 0x42);

    // A palette of 1000 entries on a 1-bit file: two are kept, the rest skipped, so a
    // file without a file header still finds its pixels.
    BmpSpec p;
    p.fileHeader = false;
    p.width = 8;
    p.height = 1;
    p.bits = 1;
    p.clrUsed = 1000;
    p.paletteEntries = 1000;
    RasterImage bw;
    ASSERT_TRUE(quietDecode(bw, craftBmp(p, {0xF0, 0, 0, 0}), IMAGE_TYPE_BMP, "oversized palette"));
    EXPECT_EQ(bw.GetNumColors(), 2u);
    EXPECT_EQ(bw.GetPixelIndex(0, 0), 1);
    EXPECT_EQ(bw.GetPixelIndex(4, 0), 0);
    EXPECT_EQ(bw.GetPaletteColor(1).rgbRed, 1);

    // Offsets past the end, and a 32-bit palette claim: decoded as far as data goes.
    BmpSpec far;
    far.paletteEntries = 256;
    far.clrUsed = 0xFFFFFFFF;
    RasterImage img2;
    quietDecode(img2, craftBmp(far, {1, 2, 3}), IMAGE_TYPE_BMP, "palette count 2^32-1");
    std::vector<uint8_t> off = craftBmp(BmpSpec{}, std::vector<uint8_t>(8, 1));
    off[10] = 0xFF;
    off[11] = 0xFF;
    off[12] = 0xFF;
    off[13] = 0x7F;
    RasterImage img3;
    quietDecode(img3, off, IMAGE_TYPE_BMP, "data offset past the end");

    // Run-length data that runs off every edge.
    BmpSpec r;
    r.width = 3;
    r.height = 2;
    r.compression = BI_RLE8;
    r.paletteEntries = 256;
    std::vector<uint8_t> rle = {255, 7, 0, 2, 255, 255, 0, 255};
    for (int i = 0; i < 255; ++i) rle.push_back(9);
    rle.insert(rle.end(), {0, 0, 0, 0, 0, 0, 200, 1});
    RasterImage img4;
    EXPECT_TRUE(quietDecode(img4, craftBmp(r, rle), IMAGE_TYPE_BMP, "runaway RLE8"));
    r.bits = 4;
    r.compression = BI_RLE4;
    r.paletteEntries = 16;
    RasterImage img5;
    EXPECT_TRUE(quietDecode(img5, craftBmp(r, rle), IMAGE_TYPE_BMP, "runaway RLE4"));

    // Zero bit-field masks on 16 bit.
    BmpSpec z;
    z.width = 5;
    z.height = 3;
    z.bits = 16;
    z.compression = BI_BITFIELDS;
    z.masks = {0, 0, 0};
    RasterImage img6;
    ASSERT_TRUE(quietDecode(img6, craftBmp(z, std::vector<uint8_t>(24, 0xFF)), IMAGE_TYPE_BMP, "zero masks"));
    EXPECT_EQ(img6.GetPixelColor(4, 2).rgbGreen, 0);
}

TEST(BadInput, AbsurdTiffDirectories)
{
    RasterImage pal;
    makeIndexed(pal, 20, 10, 8);
    std::vector<uint8_t> good = encoded(pal, IMAGE_TYPE_TIF, 1);
    // Corrupt single bytes all over the header and the directory.
    for (size_t i = 0; i < good.size(); ++i) {
        if (i > 16 && i < good.size() - 400) continue;  // skip most pixel bytes
        for (uint8_t v : {0x00, 0xFF, 0x7F}) {
            std::vector<uint8_t> bad(good);
            bad[i] = v;
            RasterImage img;
            quietDecode(img, bad, IMAGE_TYPE_TIF, "byte " + std::to_string(i) + " = " + std::to_string(v));
        }
    }
    // A directory that links to itself.
    std::vector<uint8_t> loop(good);
    const uint32_t ifd = loop[4] | (loop[5] << 8) | (loop[6] << 16) | (static_cast<uint32_t>(loop[7]) << 24);
    const uint32_t n = loop[ifd] | (loop[ifd + 1] << 8);
    const size_t link = ifd + 2 + 12 * n;
    ASSERT_LE(link + 4, loop.size());
    memcpy(&loop[link], &loop[4], 4);
    RasterImage img;
    quietDecode(img, loop, IMAGE_TYPE_TIF, "directory loop");
    RasterImage second;
    second.SetFrame(1);
    EXPECT_FALSE(quietDecode(second, loop, IMAGE_TYPE_TIF, "second page of a loop"));
}

TEST(BadInput, UnknownNullAndEmpty)
{
    RasterImage img;
    EXPECT_FALSE(quietDecode(img, {}, 0, "empty"));
    EXPECT_STREQ(img.GetLastError(), "invalid or empty buffer");
    for (uint32_t type : {0u, 1u, 3u, 6u}) {
        RasterImage t;
        EXPECT_FALSE(quietDecode(t, {0x00}, type, "one byte"));
        EXPECT_FALSE(quietDecode(t, std::vector<uint8_t>(100, 0xFF), type, "all 0xFF"));
        EXPECT_FALSE(quietDecode(t, {'I', 'I', 42, 0, 8, 0, 0, 0}, type, "TIFF header only"));
        EXPECT_FALSE(quietDecode(t, {'B', 'M'}, type, "BMP magic only"));
        EXPECT_FALSE(quietDecode(t, {0xFF, 0xD8}, type, "JPEG start only"));
    }
    RasterImage unknown;
    EXPECT_FALSE(quietDecode(unknown, {'G', 'I', 'F', '8', '9', 'a'}, 7, "unknown type id"));
    EXPECT_STREQ(unknown.GetLastError(), "Decode: Unknown or wrong format");
    EXPECT_FALSE(unknown.Decode(static_cast<FILE*>(nullptr), 0));
    EXPECT_FALSE(unknown.Load(nullptr, 0));
    EXPECT_FALSE(unknown.Save(nullptr, IMAGE_TYPE_BMP));
}

TEST(BadInput, FuzzerFindingsReplay)
{
    DIR* dir = opendir(PVK_RASTER_REGRESSION_DIR);
    if (!dir) return;  // no findings recorded
    int replayed = 0;
    while (dirent* e = readdir(dir)) {
        if (e->d_name[0] == '.') continue;
        const std::string path = std::string(PVK_RASTER_REGRESSION_DIR) + "/" + e->d_name;
        const std::vector<uint8_t> data = readFile(path);
        if (std::string(e->d_name).rfind("ops-", 0) == 0) {
            // Found by the operations fuzzer: run the same sequence of operations.
            pvk::rasterlib::fuzz::runRasterOps(data.data(), data.size());
            ++replayed;
            continue;
        }
        for (uint32_t type : {0u, 1u, 3u, 6u}) {
            RasterImage img;
            quietDecode(img, data, type, path);
        }
        ++replayed;
    }
    closedir(dir);
    RecordProperty("replayed", replayed);
}
