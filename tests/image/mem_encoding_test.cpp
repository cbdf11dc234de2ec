// Encoding into memory, multipage TIFF and the file utilities, judged by independent tools:
// tiffinfo for compression, depth and pages, identify and djpeg for size, dpi and pixels.
#include <sys/stat.h>

#include <cstdlib>
#include <fstream>
#include <vector>

#include "PlavikMS.h"
#include "image/image.h"
#include "image/image_calls.h"
#include "image_test_util.h"

namespace {

using imgtest::run;
using imgtest::slurp;
using namespace pvk::image;

class MemEncoding : public imgtest::ImageTest {
 protected:
  // A w x h picture as the elaboration builds it: grey (8 bits) or colour (24 bits), a dark
  // left half and a light right half, the top row darker than the rest.
  std::vector<uint8_t> makeBmp(uint16_t w, uint16_t h, bool colour, uint16_t dpi = 200)
  {
    size_t planes = colour ? 3 : 1;
    std::vector<uint8_t> rows(planes * w * h);
    for (size_t r = 0; r < h; ++r)
      for (size_t p = 0; p < planes; ++p)
        for (size_t x = 0; x < w; ++x)
          rows[r * planes * w + p * w + x] = r == 0 ? 5 : x < w / 2 ? 40 : 220;
    std::vector<uint8_t> bmp(ImgBMPSize(planes * w, h));
    long size = 0;
    ImgBMPElabora(rows.data(), h, w, w, static_cast<uint16_t>(planes * w),
                  static_cast<uint16_t>(planes * w), dpi, dpi, 0, 0,
                  static_cast<uint16_t>(8 * planes), true, true, bmp.data(), &size);
    bmp.resize(static_cast<size_t>(size));
    return bmp;
  }
  std::string encodeToFile(const std::vector<uint8_t>& bmp, const char* name, int quality,
                           short format, short rotation, short bpp)
  {
    long size = static_cast<long>(bmp.size());
    uint8_t* out = EncodeImage(bmp.data(), &size, quality, 128, format, rotation, 200, 200, bpp);
    EXPECT_NE(out, nullptr) << name;
    std::string file = path(name);
    if (out)
      writeWholeFile(file.c_str(), out, static_cast<size_t>(size));
    std::free(out);
    return file;
  }
  std::string tiffinfo(const std::string& file) { return run("tiffinfo '" + file + "' 2>/dev/null"); }
  static bool has(const std::string& text, const std::string& what)
  {
    return text.find(what) != std::string::npos;
  }
};

TEST_F(MemEncoding, JpegQualityOutsideOneToHundredGivesNothing)
{
  std::vector<uint8_t> bmp = makeBmp(64, 32, false);
  for (int q : {0, 101}) {
    long size = static_cast<long>(bmp.size());
    EXPECT_EQ(EncodeImage(bmp.data(), &size, q, 128, kJpeg, 0, 200, 200, 8), nullptr);
    EXPECT_EQ(size, 0);
  }
  long size = 10;
  EXPECT_EQ(EncodeImage(nullptr, &size, 80, 128, kJpeg, 0, 200, 200, 8), nullptr);
  EXPECT_EQ(size, 10);
  std::vector<uint8_t> garbage(200, 'x');
  size = 200;
  EXPECT_EQ(EncodeImage(garbage.data(), &size, 80, 128, kJpeg, 0, 200, 200, 8), nullptr);
  EXPECT_TRUE(traced("error encoding image"));
}

TEST_F(MemEncoding, JpegDecodesToTheSameSizeAndDpi)
{
  std::string file = encodeToFile(makeBmp(120, 40, true), "c.jpg", 80, kJpeg, 0, 24);
  EXPECT_EQ(run("djpeg -pnm '" + file + "' | pnmfile"), "stdin:\tPPM raw, 120 by 40  maxval 255\n");
  EXPECT_EQ(run("/usr/bin/identify -units PixelsPerInch -format '%w %h %[fx:round(resolution.x)]' '" + file + "'"),
            "120 40 200");
  // A darker left half, a lighter right half: within the tolerance of the codec.
  std::string px = run("djpeg -grayscale -pnm '" + file + "' | pnmtopnm -plain 2>/dev/null | tail -n +4");
  EXPECT_FALSE(px.empty());
}

TEST_F(MemEncoding, TiffCompressionsAsAsked)
{
  std::vector<uint8_t> colour = makeBmp(64, 32, true);
  std::string g3 = tiffinfo(encodeToFile(colour, "g3.tif", 0, kTiffG3, 0, 0));
  EXPECT_TRUE(has(g3, "CCITT Group 3")) << g3;
  EXPECT_TRUE(has(g3, "Bits/Sample: 1")) << g3;
  EXPECT_TRUE(has(g3, "Resolution: 200, 200 pixels/inch")) << g3;
  std::string g4 = tiffinfo(encodeToFile(colour, "g4.tif", 0, kTiffG4, 0, 0));
  EXPECT_TRUE(has(g4, "CCITT Group 4")) << g4;
  std::string lzw = tiffinfo(encodeToFile(colour, "lzw.tif", 0, kTiffLzw, 0, 8));
  EXPECT_TRUE(has(lzw, "Compression Scheme: LZW")) << lzw;
  EXPECT_TRUE(has(lzw, "Bits/Sample: 8")) << lzw;
  EXPECT_TRUE(has(lzw, "Samples/Pixel: 1")) << lzw;
  std::string none = tiffinfo(encodeToFile(colour, "none.tif", 0, kTiffNone, 0, 24));
  EXPECT_TRUE(has(none, "Compression Scheme: None")) << none;
  EXPECT_TRUE(has(none, "Samples/Pixel: 3")) << none;
  std::string tj = tiffinfo(encodeToFile(colour, "tj.tif", 70, kTiffJpeg, 0, 24));
  EXPECT_TRUE(has(tj, "JPEG")) << tj;
  // Black and white pixels where the picture was dark and light.
  std::string px = run("/usr/bin/convert '" + path("g4.tif") + "' -depth 8 gray:-");
  ASSERT_EQ(px.size(), 64u * 32);
  EXPECT_EQ(static_cast<uint8_t>(px[5 * 64 + 3]), 0);
  EXPECT_EQ(static_cast<uint8_t>(px[5 * 64 + 60]), 255);
}

TEST_F(MemEncoding, RotationAndFlipTurnThePicture)
{
  std::vector<uint8_t> bmp = makeBmp(64, 32, false);
  std::string turned = encodeToFile(bmp, "r.bmp", 0, kBmp, 0x100, 8);
  EXPECT_EQ(run("/usr/bin/identify -format '%w %h' '" + turned + "'"), "32 64");
  std::string flipped = encodeToFile(bmp, "f.bmp", 0, 0x0804, 0, 8);
  std::string px = run("/usr/bin/convert '" + flipped + "' -depth 8 gray:-");
  ASSERT_EQ(px.size(), 64u * 32);
  EXPECT_EQ(static_cast<uint8_t>(px[31 * 64 + 50]), 5);   // the dark top row is now at the bottom
  EXPECT_EQ(static_cast<uint8_t>(px[0 * 64 + 50]), 220);
}

TEST_F(MemEncoding, MultipageCollectsPagesInOneFile)
{
  std::vector<std::string> pages;
  for (int i = 0; i < 3; ++i) {
    pages.push_back(encodeToFile(makeBmp(static_cast<uint16_t>(64 + 8 * i), 32, i == 1), ("p" + std::to_string(i) + ".bmp").c_str(),
                                 0, kBmp, 0, 0));
  }
  std::string file = path("multi.tif");
  EXPECT_EQ(Vx3MultiPageAdd(pages[0].c_str()), -8);
  EXPECT_TRUE(traced("MultiPage - missing initialization"));
  EXPECT_EQ(Vx3MultiPageInit(file.c_str(), kBmp, 0), -3);
  EXPECT_TRUE(traced("MultiPage - invalid encoding parameter"));
  ASSERT_EQ(Vx3MultiPageInit(file.c_str(), kTiffLzw, 0), 0);
  EXPECT_EQ(Vx3MultiPageInit(file.c_str(), kTiffLzw, 0), -1);
  EXPECT_TRUE(traced("multipage pending"));
  for (const std::string& p : pages)
    EXPECT_EQ(Vx3MultiPageAdd(p.c_str()), 0);
  EXPECT_EQ(Vx3MultiPageAdd(path("missing.bmp").c_str()), -1);
  EXPECT_TRUE(traced("loading multipage file"));
  EXPECT_EQ(Vx3MultiPageClose(), 0);
  EXPECT_EQ(Vx3MultiPageClose(), -8);
  std::string info = tiffinfo(file);
  EXPECT_TRUE(has(info, "TIFF Directory at offset")) << info;
  EXPECT_EQ(run("/usr/bin/identify -format '%w\\n' '" + file + "'"), "64\n72\n80\n");
  EXPECT_TRUE(has(info, "PageName: Page 3")) << info;
  EXPECT_TRUE(has(info, "Page Number: 2-2")) << info;
}

TEST_F(MemEncoding, MultipageJpegKeepsCountingOverBlackAndWhitePages)
{
  std::string bw = encodeToFile(makeBmp(64, 32, false), "bw.tif", 0, kTiffG4, 0, 0);
  std::string grey = encodeToFile(makeBmp(64, 32, false), "grey.bmp", 0, kBmp, 0, 0);
  std::string file = path("mj.tif");
  ASSERT_EQ(Vx3MultiPageInit(file.c_str(), kTiffJpeg, 0), 0);
  EXPECT_TRUE(traced("MultiPage - invalid quality value - forcing 60"));
  EXPECT_EQ(Vx3MultiPageAdd(grey.c_str()), 0);
  // A one-bit page cannot be JPEG-compressed: stored uncompressed, the file goes on.
  EXPECT_EQ(Vx3MultiPageAdd(bw.c_str()), 0);
  EXPECT_EQ(Vx3MultiPageAdd(grey.c_str()), 0);
  EXPECT_EQ(Vx3MultiPageClose(), 0);
  std::string info = tiffinfo(file);
  EXPECT_EQ(run("/usr/bin/identify -format '%w\\n' '" + file + "'"), "64\n64\n64\n");
  EXPECT_TRUE(has(info, "Compression Scheme: None")) << info;
  EXPECT_TRUE(has(info, "Page Number: 2-2")) << info;
  // A file that cannot be created leaves nothing pending: the writer is free for the next init.
  EXPECT_EQ(Vx3MultiPageInit(path("no/dir.tif").c_str(), kTiffG4, 0), -1);
  EXPECT_TRUE(traced("no multipage file"));
  EXPECT_EQ(Vx3MultiPageAdd(grey.c_str()), -8);
  EXPECT_EQ(Vx3MultiPageClose(), -8);
  EXPECT_EQ(Vx3MultiPageInit(nullptr, kTiffG4, 0), -1);
  ASSERT_EQ(Vx3MultiPageInit(path("again.tif").c_str(), kTiffG4, 0), 0);
  EXPECT_EQ(Vx3MultiPageAdd(grey.c_str()), 0);
  EXPECT_EQ(Vx3MultiPageClose(), 0);
  EXPECT_EQ(run("/usr/bin/identify -format '%w\\n' '" + path("again.tif") + "'"), "64\n");
}

TEST_F(MemEncoding, ConvertInPlaceKeepsTheFileWhenItCannot)
{
  std::string file = encodeToFile(makeBmp(64, 32, false), "conv.bmp", 0, kBmp, 0, 0);
  std::string before = slurp(file);
  int h = -1, w = -1, dpi = -1;
  EXPECT_FALSE(ConvertiImg(file.c_str(), kTiffLzw, 0, &h, &w, &dpi));
  EXPECT_TRUE(traced("invalid format 3"));
  EXPECT_EQ(slurp(file), before);
  EXPECT_EQ(dpi, 100);
  // Replaced whole by its conversion, with the permissions it had.
  chmod(file.c_str(), 0640);
  ASSERT_TRUE(ConvertiImg(file.c_str(), kTiffG4, 0, &h, &w, &dpi));
  EXPECT_EQ(h, 32);
  EXPECT_EQ(w, 64);
  EXPECT_EQ(dpi, 200);
  struct stat st1 {};
  stat(file.c_str(), &st1);
  EXPECT_EQ(st1.st_mode & 0777, 0640u);
  EXPECT_TRUE(has(tiffinfo(file), "CCITT Group 4"));
  // A one-bit picture cannot become a JPEG: the encoding fails first, the file stays whole.
  before = slurp(file);
  EXPECT_FALSE(ConvertiImg(file.c_str(), kJpeg, 80, &h, &w, &dpi));
  EXPECT_TRUE(traced("ConvertiImg - encoding "));
  EXPECT_EQ(slurp(file), before);
  // Not an image at all: refused, and the file is left as it was.
  std::string text = path("text.bmp");
  writeWholeFile(text.c_str(), "not a picture", 13);
  EXPECT_FALSE(ConvertiImg(text.c_str(), kBmp, 0, &h, &w, &dpi));
  EXPECT_TRUE(traced("ConvertiImg - creating "));
  EXPECT_EQ(slurp(text), "not a picture");
}

TEST_F(MemEncoding, ImageInfoReportsUnreadableFiles)
{
  std::string file = encodeToFile(makeBmp(64, 32, false, 300), "info.jpg", 75, kJpeg, 0, 8);
  short x = 0, y = 0, h = 0, w = 0;
  EXPECT_TRUE(GetImageInfo(file.c_str(), &x, &y, &h, &w));
  EXPECT_EQ(w, 64);
  EXPECT_EQ(h, 32);
  EXPECT_EQ(x, 200);
  EXPECT_FALSE(GetImageInfo(path("missing").c_str(), &x, &y, &h, &w));
  EXPECT_EQ(x, 96);
  EXPECT_EQ(y, 96);
  EXPECT_EQ(h, 0);
  EXPECT_EQ(w, 0);
  EXPECT_FALSE(GetImageInfo(nullptr, &x, &y, &h, &w));
}

// The outputs are 16-bit: a picture wider or higher than 32767 pixels is refused rather than
// reported wrapped (a 40000-wide JPEG must not read as -25536), and a resolution beyond them
// (a garbled density of 65535) reads as the default, never as -1.
TEST_F(MemEncoding, ImageInfoRefusesWhatItsOutputsCannotHold)
{
  const struct { int w, h; bool fits; } sizes[] = {{40000, 2, false}, {2, 40000, false}, {32767, 2, true}, {32768, 1, false}};
  for (const auto& c : sizes) {
    const std::string pgm = path("big.pgm"), jpg = path("big.jpg");
    {
      std::ofstream out(pgm, std::ios::binary);
      out << "P5\n" << c.w << " " << c.h << "\n255\n" << std::string(static_cast<size_t>(c.w) * c.h, '\x80');
    }
    ASSERT_EQ(run("cjpeg -outfile '" + jpg + "' '" + pgm + "' && echo ok"), "ok\n");
    short x = 0, y = 0, h = 0, w = 0;
    EXPECT_EQ(GetImageInfo(jpg.c_str(), &x, &y, &h, &w), c.fits) << c.w << "x" << c.h;
    EXPECT_EQ(w, c.fits ? c.w : 0);
    EXPECT_EQ(h, c.fits ? c.h : 0);
  }
  EXPECT_TRUE(traced("err - GetImageInfo - image too large for the outputs"));
  // A JFIF header claiming 65535 dots per inch.
  std::string jpeg = slurp(encodeToFile(makeBmp(64, 32, false), "dense.jpg", 75, kJpeg, 0, 8));
  ASSERT_EQ(jpeg.compare(6, 4, "JFIF"), 0);
  jpeg[13] = 1;
  for (int i = 14; i < 18; ++i) jpeg[i] = '\xFF';
  writeWholeFile(path("dense.jpg").c_str(), jpeg.data(), jpeg.size());
  short x = 0, y = 0, h = 0, w = 0;
  EXPECT_TRUE(GetImageInfo(path("dense.jpg").c_str(), &x, &y, &h, &w));
  EXPECT_EQ(x, 96);
  EXPECT_EQ(y, 96);
  EXPECT_EQ(w, 64);
  EXPECT_TRUE(traced("war - GetImageInfo - resolution out of range"));
}

// Front and rear stacked: the wider front on top, the rear's rows padded with zeros.
TEST_F(MemEncoding, FrontAndRearStackInOnePicture)
{
  std::vector<uint8_t> front(1000 * 20, 200), rear(800 * 10, 60);
  auto layOut = [](ImgInfo& s, uint8_t side, std::vector<uint8_t>& px, uint16_t w, uint16_t h) {
    s = ImgInfo{};
    s.side = side;
    s.colourPlanes = s.planesPerLine = 1;
    s.trimWidth = w;
    s.rowsUsed = h;
    s.planeLineBytes = s.rawLineBytes = w;
    s.dpiH = s.dpiV = 200;
    s.firstRow = px.data();
    s.hasData = 1;
  };
  layOut(MyDev.img[1], 1, front, 1000, 20);
  layOut(MyDev.img[0], 0, rear, 800, 10);
  MyDev.outDpi[1] = 200;
  MyDev.outDpi[0] = 300;
  MyAcq.colourLines = 1;
  std::string file = path("fr.bmp");
  ASSERT_EQ(Vx3PVKImgSaveFR(1, 0, 0, 0, 0, 0, 0, kBmp, 0, 0, 8, file.c_str()), 0);
  EXPECT_EQ(run("/usr/bin/identify -units PixelsPerInch -format '%w %h %[fx:round(resolution.x)]' '" + file + "'"),
            "1000 30 300");
  std::string px = run("/usr/bin/convert '" + file + "' -depth 8 gray:-");
  ASSERT_EQ(px.size(), 1000u * 30);
  EXPECT_EQ(static_cast<uint8_t>(px[0]), 200);
  EXPECT_EQ(static_cast<uint8_t>(px[25 * 1000 + 799]), 60);
  EXPECT_EQ(static_cast<uint8_t>(px[25 * 1000 + 800]), 0);
  // A side without an image and a side code beyond 2 are refused.
  MyDev.img[0].firstRow = nullptr;
  EXPECT_EQ(Vx3PVKImgSaveFR(1, 0, 0, 0, 0, 0, 0, kBmp, 0, 0, 8, file.c_str()), -3);
  EXPECT_TRUE(traced("GetElabImgStruct with null data pointer"));
  EXPECT_EQ(Vx3PVKImgSaveFR(1, 0, 0, 5, 0, 0, 0, kBmp, 0, 0, 8, file.c_str()), -3);
  EXPECT_TRUE(traced("Save front rear  with invalid side"));
  EXPECT_EQ(Vx3PVKImgSaveFR(1, 0, 0, 0, 0, 0, 0, kBmp, 0, 0, 8, nullptr), -3);
  EXPECT_TRUE(traced("save with null filename"));
}

// One trim threshold runs across both sides: a side already elaborated cuts with the one in
// force, left by the side before it (an uncalibrated side gives 60), or 0 when it comes first.
std::vector<int> cutThresholds;
bool recordingCopyOut(ImgInfo src, short rotation, int dpi, short brightness, short contrast, ImgInfo& dst,
                      uint8_t threshold, bool flipH, bool flipV)
{
  cutThresholds.push_back(threshold);
  return imgtest::plainCopyOut(src, rotation, dpi, brightness, contrast, dst, threshold, flipH, flipV);
}

TEST_F(MemEncoding, FrontAndRearShareOneTrimThreshold)
{
  std::vector<uint8_t> px(64 * 8, 128);
  for (uint8_t side : {0, 1}) {
    ImgInfo& s = MyDev.img[side];
    s = ImgInfo{};
    s.side = side;
    s.colourPlanes = s.planesPerLine = 1;
    s.trimWidth = s.planeLineBytes = s.rawLineBytes = 64;
    s.rowsUsed = 8;
    s.dpiH = s.dpiV = 200;
    s.firstRow = px.data();
    MyDev.outDpi[side] = 200;
  }
  MyAcq.colourLines = 1;
  pvk::image::sideCopyOut = &recordingCopyOut;
  const std::string file = path("fr.bmp");
  struct { uint8_t frontElaborated, rearElaborated; std::vector<int> expected; } cases[] = {
      {0, 1, {60, 60}}, {1, 0, {0, 60}}, {0, 0, {60, 60}}, {1, 1, {0, 0}}};
  for (const auto& c : cases) {
    MyDev.img[1].outputFlag = c.frontElaborated;
    MyDev.img[0].outputFlag = c.rearElaborated;
    cutThresholds.clear();
    ASSERT_EQ(Vx3PVKImgSaveFR(1, 0, 0, 0, 0, 0, 0, kBmp, 0, 0, 8, file.c_str()), 0);
    EXPECT_EQ(cutThresholds, c.expected) << int(c.frontElaborated) << int(c.rearElaborated);
  }
}

// Quality 999: with the cheque check at level 3 the search lands in the [IQA] window; below
// level 3 one encoding at the INI quality, clamped to 1..100.
TEST_F(MemEncoding, AutoQualityKeepsTheFileInsideItsWindow)
{
  std::vector<uint8_t> px(400 * 300);
  uint32_t seed = 7;
  for (uint8_t& p : px) {
    seed = seed * 1103515245u + 12345u;
    p = static_cast<uint8_t>(seed >> 24);
  }
  ImgInfo& s = MyDev.img[1];
  s = ImgInfo{};
  s.side = 1;
  s.colourPlanes = s.planesPerLine = 1;
  s.trimWidth = 400;
  s.rowsUsed = 300;
  s.planeLineBytes = s.rawLineBytes = 400;
  s.dpiH = s.dpiV = 200;
  s.firstRow = px.data();
  MyAcq.colourLines = 1;
  int size30 = 0;
  uint8_t* out = Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 30, kJpeg, 0, 200, 0, &size30);
  ASSERT_NE(out, nullptr);
  std::free(out);
  MyITACheck.level = 3;
  MyIQA.quality[1] = 95;
  MyIQA.lower[1] = static_cast<uint16_t>(size30 / 1024 - 2);
  MyIQA.upper[1] = static_cast<uint16_t>(size30 / 1024 + 2);
  int size = 0;
  out = Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 999, kJpeg, 0, 200, 0, &size);
  ASSERT_NE(out, nullptr);
  std::free(out);
  EXPECT_GE(size, MyIQA.lower[1] * 1024);
  EXPECT_LE(size, MyIQA.upper[1] * 1024);
  EXPECT_TRUE(traced("autoquality - side 1,"));
  // An INI start quality of 0 is clamped, not handed to the encoder.
  MyIQA.quality[1] = 0;
  out = Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 999, kJpeg, 0, 200, 0, &size);
  EXPECT_NE(out, nullptr);
  std::free(out);

  MyITACheck.level = 0;
  std::string ini = path("lib.ini");
  writeWholeFile(ini.c_str(), "[Image]\nAutoquality=150\n", 24);
  std::snprintf(MyLog.iniPath, sizeof MyLog.iniPath, "%s", ini.c_str());
  out = Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 999, kJpeg, 0, 200, 0, &size);
  EXPECT_NE(out, nullptr);
  std::free(out);
  EXPECT_TRUE(traced("ignoring QUALITY_ITA_CHECK, using 100"));
  writeWholeFile(ini.c_str(), "[Image]\nAutoquality=0\n", 22);
  std::free(Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 999, kJpeg, 0, 200, 0, &size));
  EXPECT_TRUE(traced("ignoring QUALITY_ITA_CHECK, using 1"));
  // The default holds for a missing key or file, and for a value that is not a number, warned
  // once however often it is read.
  for (const std::string text : {"[Image]\n", "[Image]\nAutoquality=best\n", ""}) {
    SCOPED_TRACE(text);
    std::remove(ini.c_str());
    if (!text.empty()) writeWholeFile(ini.c_str(), text.c_str(), text.size());
    std::remove(path("trace.log").c_str());
    for (int i = 0; i < 2; ++i) std::free(Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 999, kJpeg, 0, 200, 0, &size));
    EXPECT_TRUE(traced("ignoring QUALITY_ITA_CHECK, using 30"));
    const std::string t = trace();
    const size_t warned = t.find("war -  [Image] Autoquality=best: value not usable");
    EXPECT_EQ(warned != std::string::npos, text.find("best") != std::string::npos);
    EXPECT_EQ(t.find("war -", warned == std::string::npos ? 0 : warned + 1), std::string::npos) << t;
  }
}

}  // namespace
