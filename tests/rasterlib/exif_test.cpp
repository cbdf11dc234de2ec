// EXIF sections of JPEG files: resolution, orientation, camera fields and the
// thumbnail, and blocks that lie about their own layout.
#include "exif_test_util.h"
#include "raster_test_util.h"

using namespace pvk::rasterlib::test;

namespace {

std::vector<uint8_t> plainJpeg(uint32_t w, uint32_t h, const std::string& name)
{
    RasterImage pic;
    makeColor(pic, w, h);
    const std::string src = scratch(name + ".ppm"), out = scratch(name + ".jpg");
    writePpm(pic, src);
    EXPECT_TRUE(run("cjpeg -quality 85 -outfile '" + out + "' '" + src + "'"));
    return readFile(out);
}

// IFD0 with make, orientation 6, 300 x 150 per centimetre, a nested EXIF directory and
// a link to IFD1, which holds an 8 x 4 thumbnail.
std::vector<ExifDir> cameraDirs(const std::vector<uint8_t>& thumb)
{
    std::vector<ExifDir> dirs(3);
    dirs[0].entries = {
        {271, 2, 6, {}, std::string("Maker", 6)},
        {272, 2, 8, {}, std::string("Model-9", 8)},
        {274, 3, 1, {6}, ""},
        {282, 5, 1, {300, 1}, ""},
        {283, 5, 1, {300, 2}, ""},
        {296, 3, 1, {3}, ""},
        {34665, 4, 1, {}, "", 1},
    };
    dirs[0].next = 2;
    dirs[1].entries = {
        {36867, 2, 20, {}, std::string("2026:12:07 10:11:12", 20)},
        {37385, 3, 1, {1}, ""},
        {34855, 3, 1, {2}, ""},
        {37510, 7, 16, {}, std::string("ASCII\0\0\0hello   ", 16)},
    };
    dirs[2].blob = thumb;
    return dirs;
}

std::vector<uint8_t> withThumbnail(ExifBuilder& b, std::vector<ExifDir> dirs, size_t thumbSize)
{
    dirs[2].entries = {{513, 4, 1, {0}, ""}, {514, 4, 1, {0}, ""}};
    b.block(dirs);  // first pass places the thumbnail
    dirs[2].entries = {{513, 4, 1, {dirs[2].blobOffset}, ""}, {514, 4, 1, {static_cast<uint32_t>(thumbSize)}, ""}};
    return b.block(dirs);
}

}  // namespace

TEST(Exif, ResolutionOrientationCameraAndThumbnail)
{
    const std::vector<uint8_t> thumb = plainJpeg(8, 4, "thumb");
    const std::vector<uint8_t> jpeg = plainJpeg(32, 16, "camera");
    for (bool bigEndian : {false, true}) {
        ExifBuilder b(bigEndian);
        const std::vector<uint8_t> block = withThumbnail(b, cameraDirs(thumb), thumb.size());
        std::vector<uint8_t> file = ExifBuilder::insert(jpeg, ExifBuilder::app1(block));
        RasterImageJPG img;
        RasterMemFile mem(file.data(), static_cast<uint32_t>(file.size()));
        ASSERT_TRUE(img.Decode(&mem)) << img.GetLastError();
        const RasterExifData& exif = img.GetExifInfo();
        EXPECT_TRUE(exif.IsExif);
        EXPECT_EQ(img.GetXDPI(), 762) << bigEndian;  // 300 per cm
        EXPECT_EQ(img.GetYDPI(), 381);
        EXPECT_EQ(exif.Orientation, 6);
        EXPECT_STREQ(exif.CameraMake, "Maker");
        EXPECT_STREQ(exif.CameraModel, "Model-9");
        EXPECT_STREQ(exif.DateTime, "2026:12:07 10:11:12");
        EXPECT_EQ(exif.FlashUsed, 1);
        EXPECT_EQ(exif.ISOequivalent, 400);
        EXPECT_STREQ(exif.Comments, "hello");
        EXPECT_EQ(exif.Width, 32);
        EXPECT_EQ(exif.ThumbnailSize, thumb.size());

        const std::string path = scratch(bigEndian ? "exif_mm.jpg" : "exif_ii.jpg");
        const std::string out = scratch(bigEndian ? "thumb_mm.jpg" : "thumb_ii.jpg");
        writeFile(path, file);
        // ImageMagick sees the same EXIF fields.
        EXPECT_EQ(capture("identify -format '%[EXIF:Orientation] %[EXIF:Make]' '" + path + "'"), "6 Maker");
        RasterImage any;
        ASSERT_TRUE(any.GetExifThumbnail(path.c_str(), out.c_str(), IMAGE_TYPE_JPG));
        EXPECT_EQ(capture("identify -format '%w %h' '" + out + "'"), "4 8");  // turned clockwise
        EXPECT_FALSE(any.GetExifThumbnail(path.c_str(), out.c_str(), IMAGE_TYPE_BMP));
    }
}

TEST(Exif, EncodeCarriesTheExifSectionOfADecodedImage)
{
    const std::vector<uint8_t> jpeg = plainJpeg(16, 16, "carry");
    ExifBuilder b(false);
    std::vector<ExifDir> dirs(1);
    dirs[0].entries = {{271, 2, 6, {}, std::string("Maker", 6)}, {274, 3, 1, {3}, ""}};
    std::vector<uint8_t> file = ExifBuilder::insert(jpeg, ExifBuilder::app1(b.block(dirs)));
    RasterImageJPG img;
    RasterMemFile in(file.data(), static_cast<uint32_t>(file.size()));
    ASSERT_TRUE(img.Decode(&in));
    RasterMemFile out;
    out.Open();
    ASSERT_TRUE(img.Encode(&out)) << img.GetLastError();
    RasterImageJPG again;
    out.Seek(0, SEEK_SET);
    ASSERT_TRUE(again.Decode(&out)) << again.GetLastError();
    EXPECT_TRUE(again.GetExifInfo().IsExif);
    EXPECT_EQ(again.GetExifInfo().Orientation, 3);
    EXPECT_STREQ(again.GetExifInfo().CameraMake, "Maker");
}

TEST(Exif, LyingBlocksOnlyMeanNoExif)
{
    const std::vector<uint8_t> jpeg = plainJpeg(24, 8, "lying");
    auto bad = [](std::vector<ExifDir> dirs) { return dirs; };
    std::vector<std::pair<std::string, std::vector<ExifDir>>> cases;
    {
        std::vector<ExifDir> d(1);
        d[0].entries = {{282, 5, 1, {300, 1}, ""}, {271, 2, 64, {}, std::string(64, 'x')}};
        d[0].entries[1].forcedOffset = 0xFFFFFF00;
        cases.push_back({"value offset outside the block", d});
    }
    {
        std::vector<ExifDir> d(1);
        d[0].entries = {{282, 5, 0x40000000, {300, 1}, ""}};  // 8 x count wraps 32 bits
        cases.push_back({"count times size overflows", d});
    }
    {
        std::vector<ExifDir> d(1);
        d[0].entries = {{282, 5, 1, {300, 1}, ""}, {34665, 4, 1, {0x7FFFFFF0}, ""}};
        cases.push_back({"nested directory outside", d});
    }
    {
        std::vector<ExifDir> d(1);
        d[0].entries = {{282, 5, 1, {300, 1}, ""}, {40965, 4, 1, {}, "", 0}};
        cases.push_back({"directory nested in itself", d});
    }
    {
        std::vector<ExifDir> d(1);
        d[0].entries = {{282, 5, 1, {300, 1}, ""}};
        d[0].next = 0;
        cases.push_back({"directory loop", d});
    }
    {
        std::vector<ExifDir> d(1);
        d[0].entries = {{282, 5, 1, {300, 1}, ""}, {271, 99, 1, {0}, ""}};
        cases.push_back({"format code", d});
    }
    for (auto& c : cases) {
        ExifBuilder b(false);
        std::vector<uint8_t> file = ExifBuilder::insert(jpeg, ExifBuilder::app1(b.block(c.second)));
        RasterImage img;
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const bool ok = img.Decode(file.data(), static_cast<uint32_t>(file.size()), IMAGE_TYPE_JPG);
        EXPECT_EQ(testing::internal::GetCapturedStdout(), "") << c.first;
        EXPECT_EQ(testing::internal::GetCapturedStderr(), "") << c.first;
        EXPECT_TRUE(ok) << c.first << ": " << img.GetLastError();
        EXPECT_EQ(img.GetXDPI(), 96) << c.first;  // JFIF 1:1, not the EXIF value
        EXPECT_EQ(img.GetWidth(), 24u);
    }
    (void)bad;

    // Zero counts and out-of-range values: read nothing, keep the default.
    std::vector<ExifDir> d(1);
    d[0].entries = {{282, 5, 0, {}, ""}, {283, 5, 1, {0xFFFFFFFF, 1}, ""}, {296, 3, 1, {2}, ""},
                    {513, 4, 1, {0x10000}, ""}, {514, 4, 1, {0xFFFF}, ""}};
    ExifBuilder b(false);
    std::vector<uint8_t> file = ExifBuilder::insert(jpeg, ExifBuilder::app1(b.block(d)));
    RasterImageJPG img;
    RasterMemFile mem(file.data(), static_cast<uint32_t>(file.size()));
    ASSERT_TRUE(img.Decode(&mem));
    EXPECT_TRUE(img.GetExifInfo().IsExif);
    EXPECT_EQ(img.GetXDPI(), 96);
    EXPECT_EQ(img.GetYDPI(), 96);  // 4294967295 dpi does not fit: default kept
    EXPECT_EQ(img.GetExifInfo().ThumbnailPointer, nullptr);
}

TEST(Exif, SectionReaderMessagesStayInside)
{
    std::vector<uint8_t> jpeg = plainJpeg(8, 8, "sections");
    // Seven fill bytes before a marker: our reader gives up, libjpeg still decodes.
    std::vector<uint8_t> padded(jpeg.begin(), jpeg.begin() + 2);
    padded.insert(padded.end(), 6, 0xFF);
    padded.insert(padded.end(), jpeg.begin() + 2, jpeg.end());
    RasterImage img;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    EXPECT_TRUE(img.Decode(padded.data(), static_cast<uint32_t>(padded.size()), IMAGE_TYPE_JPG));
    EXPECT_STREQ(img.GetLastError(), "too many padding bytes");

    // End of image before any scan.
    std::vector<uint8_t> noImage = {0xFF, 0xD8, 0xFF, 0xD9};
    EXPECT_FALSE(img.Decode(noImage.data(), 4, IMAGE_TYPE_JPG));

    // A start-of-frame section too short for its sizes.
    std::vector<uint8_t> shortSof = {0xFF, 0xD8, 0xFF, 0xC0, 0x00, 0x04, 0x08, 0x00, 0xFF, 0xD9};
    EXPECT_FALSE(img.Decode(shortSof.data(), static_cast<uint32_t>(shortSof.size()), IMAGE_TYPE_JPG));

    // More than twenty sections.
    std::vector<uint8_t> many(jpeg.begin(), jpeg.begin() + 2);
    for (int i = 0; i < 25; ++i) many.insert(many.end(), {0xFF, 0xED, 0x00, 0x03, 0x00});
    many.insert(many.end(), jpeg.begin() + 2, jpeg.end());
    EXPECT_TRUE(img.Decode(many.data(), static_cast<uint32_t>(many.size()), IMAGE_TYPE_JPG));
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
}
