// Image output of a document acquired from the software scanner: each side saved in the
// formats of the format word, turned, stacked and collected in a multipage file, every file
// read back by an independent tool; the blank-page test on a written and on an empty cheque.
#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "../../common/cheque_feed.h"
#include "../../common/scanner_scratch.h"
#include "../../common/synthetic_cheque.h"
#include "../image_test_util.h"
#include "control/control.h"
#include "device/device.h"
#include "document/document.h"
#include "image/image.h"
#include "image/image_calls.h"
#include "pvkemu.h"
#include "pvkemu_image.h"

namespace {

using namespace pvk::image;

using imgtest::run;

bool has(const std::string& text, const std::string& what) { return text.find(what) != std::string::npos; }

class DocumentOutput : public pvk::testing::ScannerScratch {
 protected:
  void TearDown() override
  {
    Vx3MultiPageClose();
    if (handle > 0)
      Vx3DeviceClose(false);
  }
  // Opens the basic (grey) scanner, feeds a cheque and acquires it; output at outDpi.
  int32_t acquire(bool written = true, short outDpi = 200)
  {
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    int dev = pvkemu_add_device(&p);
    handle = Vx3Initialize(0, dir.data(), -1, nullptr);
    if (handle <= 0)
      return -1000;
    if (!Vx3PVKImgCreate(outDpi, outDpi, 0))
      return -1001;
    pvk::testing::ChequeSpec spec;
    if (!written)
      spec.ink = spec.paper[0];
    front = pvk::testing::drawSide(spec, 1, false);
    rear = pvk::testing::drawSide(spec, 1, true);
    // A signature-like block in the middle of the front, paper on both sides of it (the bars
    // of the cheque start at its left edge, where the blank test takes them for border).
    if (written)
      for (int y = 500; y < 540; ++y)
        for (int x = 1300; x < 1500; ++x)
          front.planes[0][static_cast<size_t>(y) * front.width + x] = spec.ink;
    pvk::testing::feedGrey(dev, front, rear);
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;  // the stream is already there
    return AcquireImg(0, MyDev.img, true);
  }
  std::string identify(const std::string& file, const char* format)
  {
    return run(std::string("/usr/bin/identify -units PixelsPerInch -format '") + format + "' '" + file + "'");
  }
  // Expected output size of a side at the output dpi (the copy-out scales by dpi).
  int outWidth(int side) const { return MyDev.img[side].trimWidth * 200 / MyDev.img[side].dpiH / 4 * 4; }
  int outHeight(int side) const { return MyDev.img[side].rowsUsed * 200 / MyDev.img[side].dpiV; }

  int handle = -1;
  pvk::testing::SidePlanes front, rear;
};

TEST_F(DocumentOutput, FrontAndRearInEveryFormat)
{
  ASSERT_EQ(acquire(), 0);
  const int w = outWidth(1), h = outHeight(1);
  ASSERT_GT(w, 1000);
  ASSERT_GT(h, 400);
  std::string jpg = path("front.jpg");
  ASSERT_EQ(saveImage(1, -1, 0, 0, nullptr, 80, kJpeg, 0, 0, 0, jpg.c_str()), 0);
  EXPECT_EQ(identify(jpg, "%w %h %[fx:round(resolution.x)]"),
            std::to_string(w) + " " + std::to_string(h) + " 200");
  EXPECT_TRUE(has(run("djpeg -pnm '" + jpg + "' | pnmfile"), "PGM raw, " + std::to_string(w)));
  // The left half carries the text bars, the right edge is paper only: darker on the left.
  auto meanOf = [&](int x, int width) {
    return std::atof(run("/usr/bin/convert '" + jpg + "' -crop " + std::to_string(width) + "x" +
                         std::to_string(h) + "+" + std::to_string(x) + "+0 +repage -format '%[fx:mean*255]' info:")
                         .c_str());
  };
  double left = meanOf(0, w / 2), right = meanOf(w - w / 8, w / 8);
  EXPECT_GT(right, 180);
  EXPECT_LT(left, right - 10);

  struct Case {
    const char* name;
    short format;
    const char* compression;
    const char* bits;
  } cases[] = {{"g3.tif", kTiffG3, "CCITT Group 3", "Bits/Sample: 1"},
               {"g4.tif", kTiffG4, "CCITT Group 4", "Bits/Sample: 1"},
               {"lzw.tif", kTiffLzw, "LZW", "Bits/Sample: 8"},
               {"none.tif", kTiffNone, "Compression Scheme: None", "Bits/Sample: 8"},
               {"jpeg.tif", kTiffJpeg, "JPEG", "Bits/Sample: 8"}};
  for (const Case& c : cases) {
    std::string file = path(c.name);
    short quality = c.format == kTiffJpeg ? 70 : 0;
    ASSERT_EQ(saveImage(1, -1, 0, 0, nullptr, quality, c.format, 0, 0, 0, file.c_str()), 0) << c.name;
    std::string info = run("tiffinfo '" + file + "' 2>/dev/null");
    EXPECT_TRUE(has(info, c.compression)) << c.name << info;
    EXPECT_TRUE(has(info, c.bits)) << c.name << info;
    EXPECT_TRUE(has(info, "Image Width: " + std::to_string(w) + " Image Length: " + std::to_string(h))) << info;
    EXPECT_TRUE(has(info, "Resolution: 200, 200 pixels/inch")) << info;
  }
  std::string bmp = path("rear.bmp");
  ASSERT_EQ(saveImage(0, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, bmp.c_str()), 0);
  EXPECT_EQ(identify(bmp, "%w %h"), std::to_string(outWidth(0)) + " " + std::to_string(outHeight(0)));
  double dpi = std::atof(identify(bmp, "%[fx:resolution.x]").c_str());
  EXPECT_NEAR(dpi, 200.0, 0.02);
  // A 24-bit request on a grey acquisition is refused.
  EXPECT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 24, bmp.c_str()), -3);
}

TEST_F(DocumentOutput, TurnsFlipsAndStacks)
{
  ASSERT_EQ(acquire(), 0);
  const int w = outWidth(1), h = outHeight(1);
  std::string turned = path("turned.jpg");
  ASSERT_EQ(saveImage(1, -1, 0, 0, nullptr, 80, kJpeg, 0x100, 0, 0, turned.c_str()), 0);
  std::string size = identify(turned, "%w %h");
  int tw = 0, th = 0;
  ASSERT_EQ(std::sscanf(size.c_str(), "%d %d", &tw, &th), 2);
  EXPECT_NEAR(tw, h, 4);
  EXPECT_NEAR(th, w, 4);
  std::string half = path("half.bmp");
  ASSERT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0x200, 0, 0, half.c_str()), 0);
  EXPECT_EQ(identify(half, "%w %h"), std::to_string(w) + " " + std::to_string(h));

  std::string stacked = path("fr.jpg");
  ASSERT_EQ(Vx3PVKImgSaveFR(1, 0, 0, 0, 0, 0, 80, kJpeg, 0, 0, 0, stacked.c_str()), 0);
  size = identify(stacked, "%w %h");
  ASSERT_EQ(std::sscanf(size.c_str(), "%d %d", &tw, &th), 2);
  EXPECT_NEAR(tw, std::max(w, outWidth(0)), 4);
  EXPECT_EQ(th, h + outHeight(0));

  // The two-call get hands out what a save writes.
  int n = twoCallGet(1, -1, 0, 0, nullptr, 80, kJpeg, 0, 200, 0, nullptr);
  ASSERT_GT(n, 1000);
  std::vector<unsigned char> buf(static_cast<size_t>(n));
  EXPECT_EQ(twoCallGet(1, -1, 0, 0, nullptr, 80, kJpeg, 0, 200, 0, buf.data()), n);
  EXPECT_EQ(buf[0], 0xFF);
  EXPECT_EQ(buf[1], 0xD8);
}

TEST_F(DocumentOutput, MultipageOfBothSides)
{
  ASSERT_EQ(acquire(), 0);
  std::string f = path("f.bmp"), r = path("r.bmp"), multi = path("both.tif");
  ASSERT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, f.c_str()), 0);
  ASSERT_EQ(saveImage(0, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, r.c_str()), 0);
  ASSERT_EQ(Vx3MultiPageInit(multi.c_str(), kTiffG4, 0), 0);
  EXPECT_EQ(Vx3MultiPageAdd(f.c_str()), 0);
  EXPECT_EQ(Vx3MultiPageAdd(r.c_str()), 0);
  EXPECT_EQ(Vx3MultiPageClose(), 0);
  std::string info = run("tiffinfo '" + multi + "' 2>/dev/null");
  EXPECT_TRUE(has(info, "Page Number: 1-1")) << info;
  EXPECT_TRUE(has(info, "Page Number: 2-2")) << info;
  EXPECT_TRUE(has(info, "CCITT Group 4")) << info;
  EXPECT_EQ(run("/usr/bin/identify -format '%w\\n' '" + multi + "'"),
            std::to_string(outWidth(1)) + "\n" + std::to_string(outWidth(0)) + "\n");
}

TEST_F(DocumentOutput, BlankPageOnAWrittenAndAnEmptyCheque)
{
  ASSERT_EQ(acquire(true), 0);
  EXPECT_EQ(IsPageBlank(1, 10, 128), 0);
  EXPECT_EQ(IsPageBlank(2, 10, 128), -3);
  Vx3DeviceClose(false);
  handle = -1;
  pvkemu_reset();
  ASSERT_EQ(acquire(false), 0);
  EXPECT_EQ(IsPageBlank(1, 10, 128), 6);
  EXPECT_EQ(IsPageBlank(0, 10, 128), 6);
}

TEST_F(DocumentOutput, AcquiredHeightAtAnotherDpi)
{
  ASSERT_EQ(acquire(), 0);
  const ImgInfo& s = MyDev.img[1];
  EXPECT_EQ(Vx3GetAcqHeight(1, 100), s.rowsUsed * 100 / s.dpiV);
}

}  // namespace
