// The image object and its streams: creation limits, resolution, ownership moves and
// the format dispatch.
#include "raster_test_util.h"

#include <cstring>

using namespace pvk::rasterlib::test;

TEST(RasterCreate, RefusesEmptyNegativeAndOversizedBitmaps)
{
    RasterImage img;
    EXPECT_EQ(img.Create(0, 10, 8, 1), nullptr);
    EXPECT_STREQ(img.GetLastError(), "RasterImage::Create : width and height must be greater than zero");
    EXPECT_EQ(img.Create(10, 0, 8, 1), nullptr);
    // A negative size arriving through the unsigned parameter is refused, not wrapped.
    EXPECT_EQ(img.Create(static_cast<uint32_t>(-5), 10, 8, 1), nullptr);
    EXPECT_STREQ(img.GetLastError(), "RasterImage::Create : width and height must be greater than zero");
    EXPECT_EQ(img.Create(20000, 20000, 24, 1), nullptr);
    EXPECT_STREQ(img.GetLastError(), "RASTERIMAGE_MAX_MEMORY exceeded");
    // 65536 x 65536 x 24 bit overflows 32 bits: the check must still refuse it.
    EXPECT_EQ(img.Create(65536, 65536, 24, 1), nullptr);
    EXPECT_STREQ(img.GetLastError(), "RASTERIMAGE_MAX_MEMORY exceeded");
    EXPECT_EQ(img.Create(0x7FFFFFFF, 0x7FFFFFFF, 1, 1), nullptr);
    EXPECT_FALSE(img.IsValid());
}

TEST(RasterCreate, RoundsDepthAndSizesPaletteAndStride)
{
    RasterImage img;
    ASSERT_NE(img.Create(10, 10, 3, 1), nullptr);
    EXPECT_EQ(img.GetBpp(), 4);
    EXPECT_EQ(img.GetNumColors(), 16u);
    EXPECT_EQ(img.GetEffWidth(), 8u);
    struct { uint32_t in, bpp, colors; } cases[] = {{0, 1, 2}, {1, 1, 2}, {2, 4, 16}, {5, 8, 256}, {8, 8, 256},
                                                    {12, 24, 0}, {32, 24, 0}, {64, 24, 0}};
    for (const auto& c : cases) {
        ASSERT_NE(img.Create(33, 3, c.in, 1), nullptr) << c.in;
        EXPECT_EQ(img.GetBpp(), c.bpp) << c.in;
        EXPECT_EQ(img.GetNumColors(), c.colors) << c.in;
        EXPECT_EQ(img.GetEffWidth() % 4, 0u);
        EXPECT_EQ(img.GetSize(), 40 + 4 * c.colors + img.GetEffWidth() * 3);
    }
    EXPECT_EQ(img.GetBits(3), nullptr);
    EXPECT_EQ(img.GetBits(2), img.GetBits(0) + 2 * img.GetEffWidth());
}

TEST(RasterCreate, ResolutionAndDefaults)
{
    RasterImage img;
    EXPECT_EQ(img.GetXDPI(), 96);
    EXPECT_EQ(img.GetJpegQuality(), 90);
    EXPECT_EQ(img.GetTransIndex(), -1);
    img.SetXDPI(0);
    EXPECT_EQ(img.GetXDPI(), 96);
    ASSERT_NE(img.Create(4, 4, 8, 1), nullptr);
    img.SetXDPI(300);
    img.SetYDPI(200);
    auto* dib = static_cast<tagBITMAPINFOHEADER*>(img.GetDIB());
    EXPECT_EQ(dib->biXPelsPerMeter, 11811);
    EXPECT_EQ(dib->biYPelsPerMeter, 7874);
    img.SetXDPI(0);
    EXPECT_EQ(dib->biXPelsPerMeter, 3780);
    img.SetXDPI(0x7FFFFFFF);  // saturates instead of overflowing
    EXPECT_EQ(dib->biXPelsPerMeter, 0x7FFFFFFF);
    img.SetJpegQualityF(-3);
    EXPECT_EQ(img.GetJpegQuality(), 0);
    EXPECT_STREQ(RasterImage::GetVersion(), "RasterImage 7.0.2");
}

TEST(RasterTypes, NamesIdsAndIndexes)
{
    EXPECT_EQ(RasterImage::GetTypeIdFromName("BMP"), 1u);
    EXPECT_EQ(RasterImage::GetTypeIdFromName("jpe"), 3u);
    EXPECT_EQ(RasterImage::GetTypeIdFromName("JFI"), 3u);
    EXPECT_EQ(RasterImage::GetTypeIdFromName("Tif"), 6u);
    EXPECT_EQ(RasterImage::GetTypeIdFromName("png"), 0u);
    EXPECT_EQ(RasterImage::GetTypeIdFromName(nullptr), 0u);
    for (uint32_t i = 0; i <= RasterImage::GetNumTypes(); ++i)
        EXPECT_EQ(RasterImage::GetTypeIndexFromId(RasterImage::GetTypeIdFromIndex(i)), i);
    RasterImage img;
    EXPECT_FALSE(img.SetType(2));
    EXPECT_EQ(img.GetType(), 0u);
    EXPECT_TRUE(img.SetType(6));
    img.SetCodecOption(5);
    EXPECT_EQ(img.GetCodecOption(IMAGE_TYPE_TIF), 5u);
    EXPECT_EQ(img.GetCodecOption(IMAGE_TYPE_JPG), 0u);
}

TEST(RasterMemFile, GrowsInStepsAndReadsBack)
{
    RasterMemFile f;
    ASSERT_TRUE(f.Open());
    EXPECT_FALSE(f.Open());
    std::vector<uint8_t> data(70000);
    for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31);
    EXPECT_EQ(f.Write(data.data(), 1, data.size()), data.size());
    EXPECT_EQ(f.Capacity(), 131072u);
    EXPECT_EQ(f.Size(), 70000);
    EXPECT_TRUE(f.Seek(-10, SEEK_END));
    uint8_t tail[20];
    EXPECT_EQ(f.Read(tail, 1, 20), 10u);  // cut at the end
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(0, memcmp(tail, data.data() + 69990, 10));
    EXPECT_TRUE(f.Seek(-100, SEEK_SET));  // negative positions become 0
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_FALSE(f.Seek(0, 7));
    EXPECT_EQ(f.GetC(), data[0]);
    EXPECT_EQ(f.Scanf("%d", nullptr), 0);
    uint8_t* buf = f.GetBuffer(true);
    f.Close();
    free(buf);
}

TEST(RasterMemFile, LineReadsAndNullBuffer)
{
    char text[] = "ab\ncd";
    RasterMemFile f(reinterpret_cast<uint8_t*>(text), 5);
    char line[8];
    ASSERT_NE(f.GetS(line, 8), nullptr);
    EXPECT_STREQ(line, "ab\n");
    ASSERT_NE(f.GetS(line, 1), nullptr);
    EXPECT_STREQ(line, "");
    ASSERT_NE(f.GetS(line, 3), nullptr);
    EXPECT_STREQ(line, "cd");
    EXPECT_EQ(f.GetS(line, 8), nullptr);  // the end of the buffer, no newline
    // Writing past the end of a caller's buffer copies it instead of reallocating it.
    EXPECT_EQ(f.Write("XYZ", 1, 3), 3u);
    EXPECT_STREQ(text, "ab\ncd");

    RasterMemFile none(nullptr, 0);
    EXPECT_EQ(none.Tell(), -1);
    EXPECT_EQ(none.Size(), -1);
    EXPECT_TRUE(none.Eof());
    EXPECT_EQ(none.Error(), -1);
    EXPECT_FALSE(none.Flush());
    EXPECT_EQ(none.GetC(), -1);
}

TEST(RasterIOFile, NullFileFailsEveryOperation)
{
    RasterIOFile f(nullptr);
    uint8_t b;
    EXPECT_EQ(f.Read(&b, 1, 1), 0u);
    EXPECT_EQ(f.Write(&b, 1, 1), 0u);
    EXPECT_FALSE(f.Seek(0, SEEK_SET));
    EXPECT_EQ(f.Tell(), 0);
    EXPECT_EQ(f.Size(), -1);
    EXPECT_TRUE(f.Eof());
    EXPECT_EQ(f.Error(), -1);
    EXPECT_FALSE(f.PutC(1));
}

TEST(RasterOwnership, GhostTransferAndCopy)
{
    RasterImage src;
    makeColor(src, 9, 7);
    src.SetXDPI(200);
    RasterImage copy(src);
    EXPECT_TRUE(samePixels(copy, src));
    EXPECT_NE(copy.GetDIB(), src.GetDIB());
    EXPECT_EQ(copy.GetXDPI(), 200);

    RasterImage blank(src, false);
    EXPECT_EQ(blank.GetWidth(), 9u);
    EXPECT_EQ(blank.GetPixelColor(3, 3).rgbRed, 0);

    RasterImage moved;
    void* dib = copy.GetDIB();
    EXPECT_TRUE(moved.Transfer(copy));
    EXPECT_EQ(moved.GetDIB(), dib);
    EXPECT_FALSE(copy.IsValid());

    moved = src;
    EXPECT_TRUE(samePixels(moved, src));
    moved = moved;  // self-assignment keeps the picture
    EXPECT_TRUE(moved.IsValid());
}

TEST(RasterOwnership, ClearAndArrays)
{
    RasterImage img;
    ASSERT_NE(img.Create(9, 2, 1, 0), nullptr);
    img.Clear(5);
    EXPECT_EQ(img.GetBits(0)[0], 0xFF);
    ASSERT_NE(img.Create(9, 2, 4, 0), nullptr);
    img.Clear(0x3);
    EXPECT_EQ(img.GetBits(0)[0], 0x33);

    // 32-bit input drops its fourth byte; rows flip on request.
    uint8_t px[2 * 2 * 4] = {1, 2, 3, 99, 4, 5, 6, 99, 7, 8, 9, 99, 10, 11, 12, 99};
    ASSERT_TRUE(img.CreateFromArray(px, 2, 2, 32, 8, true));
    EXPECT_EQ(img.GetBpp(), 24);
    EXPECT_EQ(img.GetPixelColor(0, 1).rgbBlue, 1);
    EXPECT_EQ(img.GetPixelColor(1, 0).rgbRed, 12);
    EXPECT_FALSE(img.CreateFromArray(px, 2, 2, 16, 8, false));
    EXPECT_FALSE(img.CreateFromArray(nullptr, 2, 2, 8, 8, false));
    uint8_t gray[3] = {10, 20, 30};
    ASSERT_TRUE(img.CreateFromArray(gray, 3, 1, 8, 3, false));
    EXPECT_TRUE(img.IsGrayScale());
    EXPECT_EQ(img.GetPixelGray(2, 0), 30);
}

TEST(RasterDispatch, UnknownTypesAndBuffers)
{
    RasterImage img;
    makeColor(img, 8, 8);
    RasterMemFile f;
    f.Open();
    EXPECT_FALSE(img.Encode(&f, 2));
    EXPECT_STREQ(img.GetLastError(), "Encode: Unknown format");
    EXPECT_FALSE(img.Encode(static_cast<RasterFile*>(nullptr), IMAGE_TYPE_BMP));
    EXPECT_STREQ(img.GetLastError(), "null file handler");
    RasterImage* pages[1] = {&img};
    EXPECT_FALSE(img.Encode(&f, pages, 1, IMAGE_TYPE_BMP));
    EXPECT_STREQ(img.GetLastError(), "Multipage Encode, Unsupported operation for this format");

    uint8_t* buf = reinterpret_cast<uint8_t*>(&f);
    int32_t size = 0;
    EXPECT_FALSE(img.Encode(buf, size, IMAGE_TYPE_BMP));
    EXPECT_STREQ(img.GetLastError(), "the buffer must be empty");

    RasterImage empty;
    uint8_t* out = nullptr;
    EXPECT_FALSE(empty.Encode(out, size, IMAGE_TYPE_BMP));
    EXPECT_STREQ(empty.GetLastError(), "null image!!!");
    EXPECT_FALSE(empty.Decode(static_cast<RasterFile*>(nullptr), 0));
    EXPECT_STREQ(empty.GetLastError(), "null file handler");
    EXPECT_FALSE(empty.CheckFormat(nullptr, 0, 0));
    EXPECT_STREQ(empty.GetLastError(), "invalid or empty buffer");
}

TEST(RasterDispatch, DetectsFormatAndKeepsOwnErrorText)
{
    RasterImage img;
    makeColor(img, 12, 5);
    uint8_t* bmp = nullptr;
    int32_t size = 0;
    ASSERT_TRUE(img.Encode(bmp, size, IMAGE_TYPE_BMP));

    RasterImage asJpeg;
    EXPECT_FALSE(asJpeg.Decode(bmp, static_cast<uint32_t>(size), IMAGE_TYPE_JPG));
    EXPECT_NE(std::string(asJpeg.GetLastError()).find("JPEG"), std::string::npos) << asJpeg.GetLastError();

    RasterImage detected;
    ASSERT_TRUE(detected.Decode(bmp, static_cast<uint32_t>(size), 0));
    EXPECT_EQ(detected.GetType(), static_cast<uint32_t>(IMAGE_TYPE_BMP));
    EXPECT_TRUE(samePixels(detected, img));

    RasterImage probe;
    EXPECT_TRUE(probe.CheckFormat(bmp, static_cast<uint32_t>(size), 0));
    EXPECT_EQ(probe.GetWidth(), 12u);
    EXPECT_FALSE(probe.IsValid());  // headers only
    EXPECT_TRUE(probe.CheckFormat(bmp, static_cast<uint32_t>(size), IMAGE_TYPE_BMP));
    EXPECT_FALSE(probe.CheckFormat(bmp, static_cast<uint32_t>(size), IMAGE_TYPE_TIF));
    img.FreeMemory(bmp);

    uint8_t junk[64];
    memset(junk, 0x5A, sizeof(junk));
    RasterImage unknown;
    EXPECT_FALSE(unknown.Decode(junk, sizeof(junk), 0));
    EXPECT_STREQ(unknown.GetLastError(), "Decode: Unknown or wrong format");
}

TEST(RasterDispatch, LoadAndSaveFiles)
{
    RasterImage img;
    makeColor(img, 20, 10);
    const std::string path = scratch("load.bmp");
    ASSERT_TRUE(img.Save(path.c_str(), IMAGE_TYPE_BMP));
    RasterImage wrongType;
    EXPECT_TRUE(wrongType.Load(path.c_str(), IMAGE_TYPE_TIF));  // falls back to detection
    EXPECT_TRUE(samePixels(wrongType, img));
    RasterImage missing;
    EXPECT_FALSE(missing.Load(scratch("nothing.bmp").c_str(), 0));
    EXPECT_FALSE(img.Save("/nonexistent-dir/x.bmp", IMAGE_TYPE_BMP));
    RasterImage fromPath(path.c_str(), 0);
    EXPECT_TRUE(samePixels(fromPath, img));
}

TEST(RasterDispatch, Rgba)
{
    RasterImage img;
    makeColor(img, 3, 2);
    uint8_t* rgba = nullptr;
    int32_t size = 0;
    ASSERT_TRUE(img.Encode2RGBA(rgba, size, false));
    ASSERT_EQ(size, 3 * 2 * 4);
    RGBQUAD top = img.GetPixelColor(2, 1);
    EXPECT_EQ(rgba[8], top.rgbRed);
    EXPECT_EQ(rgba[10], top.rgbBlue);
    EXPECT_EQ(rgba[11], 255);
    img.FreeMemory(rgba);
}

TEST(RasterDump, RoundTrip)
{
    RasterImage img;
    makeIndexed(img, 7, 3, 4);
    std::vector<uint8_t> dump(img.DumpSize());
    EXPECT_EQ(img.Dump(dump.data()), dump.size());
    RasterImage back;
    EXPECT_EQ(back.UnDump(dump.data()), dump.size());
    EXPECT_TRUE(samePixels(back, img));
}
