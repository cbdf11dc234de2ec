// Output elaboration and the image calls on side images laid out by hand: request checks,
// output levels, rotation resolvers, the BMP path, the two-call get, the quality search step
// and the blank-page test. The side copy-out is replaced by a plain copy here.
#include <cstdlib>
#include <vector>

#include "../common/file_kinds.h"
#include "../common/file_limit.h"
#include "calibration/calibration.h"
#include "image/image.h"
#include "image/image_calls.h"
#include "image/jpeg_autoquality.h"
#include "image_test_util.h"

namespace imgtest {

// A plain copy-out at the side's own resolution: the cut this folder receives.
bool plainCopyOut(ImgInfo src, short rotation, int, short, short, ImgInfo& dst, uint8_t, bool, bool)
{
  if (rotation != 0)
    return false;
  dst = src;
  size_t bytes = static_cast<size_t>(src.rowsUsed) * src.rawLineBytes;
  dst.allocBase = static_cast<uint8_t*>(std::malloc(bytes));
  std::memcpy(dst.allocBase, src.firstRow, bytes);
  dst.firstRow = dst.allocBase;
  return true;
}

}  // namespace imgtest

namespace {

using namespace pvk::image;

class OutputElab : public imgtest::ImageTest {
 protected:
  // A grey front side of w x h laid out as one plane per raw line.
  void layOutFront(uint16_t w, uint16_t h, uint16_t dpi, uint8_t paper)
  {
    raw.assign(static_cast<size_t>(w) * h, paper);
    ImgInfo& s = MyDev.img[1];
    s.side = 1;
    s.colourPlanes = 1;
    s.planesPerLine = 1;
    s.trimWidth = w;
    s.rowsUsed = h;
    s.planeLineBytes = s.rawLineBytes = w;
    s.dpiH = s.dpiV = dpi;
    s.firstRow = raw.data();
    s.hasData = 1;
    MyDev.outDpi[1] = static_cast<int16_t>(dpi);
    MyAcq.colourLines = 1;
  }
  void TearDown() override
  {
    releaseTwoCallSlots();
    ImageTest::TearDown();
  }
  std::vector<uint8_t> raw;
};

TEST_F(OutputElab, RequestCheckRefusesWhatCannotBeEncoded)
{
  bool bw = false;
  EXPECT_TRUE(VerificaFormatoImmagine(-1, kJpeg, 999, 0, bw));
  EXPECT_FALSE(VerificaFormatoImmagine(-1, kJpeg, 0, 0, bw));
  EXPECT_FALSE(VerificaFormatoImmagine(-1, kJpeg, 80, 1, bw));
  EXPECT_TRUE(traced("Image Elaboration - JPEG with B&W depth 1"));
  EXPECT_FALSE(VerificaFormatoImmagine(-1, kTiffJpeg, 999, 0, bw));
  EXPECT_FALSE(VerificaFormatoImmagine(-1, 7, 0, 0, bw));
  EXPECT_TRUE(traced("Image Elaboration - invalid image format 7"));
  EXPECT_FALSE(VerificaFormatoImmagine(-1, kTiffG4, 0, 8, bw));
  EXPECT_TRUE(traced("Image Elaboration -  with TIF invalid bpp 8"));
  bw = false;
  EXPECT_TRUE(VerificaFormatoImmagine(-1, kTiffG3, 0, 0, bw));
  EXPECT_TRUE(bw);
  EXPECT_TRUE(VerificaFormatoImmagine(-1, kBmp, 0, 8, bw));
  EXPECT_FALSE(bw);
  EXPECT_FALSE(VerificaFormatoImmagine(-1, kTiffLzw, 0, 4, bw));
  EXPECT_FALSE(VerificaFormatoImmagine(16, kBmp, 0, 8, bw));
  EXPECT_TRUE(traced("Image Elaboration - UV not enabled"));
  MyAcq.ir = 1;
  EXPECT_FALSE(VerificaFormatoImmagine(8, kBmp, 0, 24, bw));
  EXPECT_TRUE(traced("Image Elaboration - IR with invalid bpp"));
}

TEST_F(OutputElab, OutputLevelsAcceptFrontAndRearWithinRange)
{
  EXPECT_EQ(Vx3ElabImgBrightness(2, 10), -3);
  EXPECT_TRUE(traced("ElabImgBrightness - invalid side"));
  EXPECT_EQ(Vx3ElabImgBrightness(1, 101), -3);
  EXPECT_TRUE(traced("ElabImgBrightness - invalid value"));
  EXPECT_EQ(Vx3ElabImgContrast(0, -100), 0);
  EXPECT_EQ(MyDev.img[0].outContrast, -100);
  EXPECT_EQ(Vx3ElabImgBrightness(1, 40), 0);
  EXPECT_EQ(MyDev.img[1].outBrightness, 40);
  // Without calibration data loaded the trim threshold is the fixed 60; with it, the side's
  // table at 50 (older firmware) or 40, never below 20.
  MyDev.img[1].side = 1;
  MyCorS[1].modeLoaded = 0;
  EXPECT_EQ(AutoTrimThresh(&MyDev.img[1]), 60);
  MyCorS[1].modeLoaded = 0x0123;
  for (int v = 0; v < 256; ++v)
    MyBrCr[1].lut[v] = static_cast<uint8_t>(v + 1);
  MyDev.fwVersion = 0x3100;
  EXPECT_EQ(AutoTrimThresh(&MyDev.img[1]), 51);
  MyDev.fwVersion = 0x3101;
  EXPECT_EQ(AutoTrimThresh(&MyDev.img[1]), 41);
  MyBrCr[1].lut[40] = 12;
  EXPECT_EQ(AutoTrimThresh(&MyDev.img[1]), 20);
  MyCorS[1].modeLoaded = 0;
}

TEST_F(OutputElab, RotationResolvers)
{
  short rot = 256;
  bool h = true, v = true;
  R0 = 0;
  GestisciRotate(rot, h, v, 0);
  EXPECT_EQ(rot, 768);
  EXPECT_FALSE(h || v);
  GestisciRotate(rot, h, v, 1);
  EXPECT_EQ(rot, 768);
  MyOcrOpt.found = 0;
  GestisciAutoRotate(rot, h, v, 1);
  EXPECT_EQ(rot, 0);
  MyOcrOpt.found = 1;
  MyOcrOpt.rotation = 256;
  GestisciAutoRotate(rot, h, v, 0);
  EXPECT_EQ(rot, 768);
  MyOcrBL = OcrBLInfo{{0, 512, 256, 768}, 1, 0};
  GestisciAutoRotate(rot, h, v, 2);
  EXPECT_EQ(rot, 512);
  EXPECT_TRUE(h);
  EXPECT_FALSE(v);
  MyOcrOpt = OcrOptInfo{};
}

TEST_F(OutputElab, QualitySearchStepFollowsTheWindow)
{
  QualityWindow w = autoQualityWindow(20, 100);
  EXPECT_EQ(w.min, 23552);
  EXPECT_EQ(w.max, 99328);
  w = autoQualityWindow(20, 24);
  EXPECT_EQ(w.min, 20480);
  EXPECT_EQ(w.max, 24576);
  // 200000 bytes at quality 50 in a 40..60 KiB window: (51200 x 50) / 200000 = 12.
  w = autoQualityWindow(40, 60);
  int q = 50, hi = 100, lo = 0;
  EXPECT_EQ(nextQuality(q, 200000, w, hi, lo), QualityStep::Next);
  EXPECT_EQ(q, 12);
  EXPECT_EQ(hi, 50);
  // Too small now: never back above the bound seen, the mean is taken instead.
  EXPECT_EQ(nextQuality(q, 10000, w, hi, lo), QualityStep::Next);
  EXPECT_EQ(lo, 12);
  EXPECT_EQ(q, 31);
  EXPECT_EQ(nextQuality(q, 50000, w, hi, lo), QualityStep::Inside);
  q = 1;
  EXPECT_EQ(nextQuality(q, 900000, w, hi, lo), QualityStep::StopAtOne);
  q = 99;
  hi = 100;
  EXPECT_EQ(nextQuality(q, 100, w, hi, lo), QualityStep::StopAt99);
  EXPECT_EQ(clampQuality(0), 1);
  EXPECT_EQ(clampQuality(150), 100);
}

TEST_F(OutputElab, GreyBmpComesBackUnencodedWithOutputLevels)
{
  layOutFront(10, 3, 200, 120);
  raw[0] = 0;
  MyDev.img[1].outBrightness = 10;
  int size = 0;
  uint8_t* bmp = Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, &size);
  ASSERT_NE(bmp, nullptr);
  // Width rounded down to 8, three rows, bottom-up: the first source row is the last one.
  EXPECT_EQ(size, 1078 + 8 * 3);
  EXPECT_EQ(bmp[1078 + 2 * 8], 10);
  EXPECT_EQ(bmp[1078], 130);
  std::string file = path("f.bmp");
  ASSERT_TRUE(writeWholeFile(file.c_str(), bmp, static_cast<size_t>(size)));
  EXPECT_EQ(imgtest::run("/usr/bin/identify -format '%w %h' '" + file + "'"), "8 3");
  std::free(bmp);
  PVKRoi roi{0, 0, 5, 0};
  bmp = Vx3ElabImgStructGet(1, -1, 0, 0, &roi, 0, kBmp, 0, 200, 8, &size);
  std::free(bmp);
  EXPECT_TRUE(traced("ROI not supported"));
}

TEST_F(OutputElab, RefusalsOfTheElaboration)
{
  int size = 5;
  EXPECT_EQ(Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, &size), nullptr);
  EXPECT_TRUE(traced("GetElabImgStruct with null data pointer"));
  EXPECT_EQ(MyDev.lastResult, -3);
  layOutFront(3, 3, 200, 120);
  EXPECT_EQ(Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, &size), nullptr);
  EXPECT_EQ(MyDev.lastResult, 3);
  EXPECT_TRUE(traced("war - ImgGet with null dimensions - invalid width"));
  EXPECT_EQ(Vx3ElabImgStructGet(3, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, &size), nullptr);
  EXPECT_TRUE(traced("GetElabImgStruct - invalid image handle"));
  // A turned cut refused by the copy-out.
  layOutFront(16, 4, 200, 120);
  EXPECT_EQ(Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 0, kBmp, 0x100, 200, 8, &size), nullptr);
  EXPECT_TRUE(traced("GetElabImgStruct with invalid parameter"));
}

TEST_F(OutputElab, TwoCallGetFillsAndEmptiesItsSlot)
{
  EXPECT_EQ(twoCallGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, reinterpret_cast<unsigned char*>(&raw)), -1);
  EXPECT_TRUE(traced("F not available side"));
  layOutFront(16, 4, 200, 99);
  int size = twoCallGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, nullptr);
  EXPECT_EQ(size, 1078 + 64);
  // A second first call replaces the slot (the old picture is released, not leaked).
  EXPECT_EQ(twoCallGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, nullptr), size);
  std::vector<unsigned char> buf(static_cast<size_t>(size));
  EXPECT_EQ(twoCallGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, buf.data()), size);
  EXPECT_EQ(buf[0], 'B');
  EXPECT_EQ(buf[1078], 99);
  EXPECT_EQ(twoCallGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, buf.data()), -1);
}

TEST_F(OutputElab, SaveWritesTheSideOrRefuses)
{
  layOutFront(16, 4, 200, 99);
  std::string file = path("s.bmp");
  EXPECT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, file.c_str()), 0);
  EXPECT_EQ(imgtest::run("/usr/bin/identify -format '%w %h %[fx:round(resolution.x)]' -units PixelsPerInch '" + file + "'"),
            "16 4 200");
  EXPECT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 24, file.c_str()), -3);
  EXPECT_TRUE(traced("ImgSave - invalid rgb image request"));
  EXPECT_EQ(saveImage(5, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, file.c_str()), -3);
  EXPECT_TRUE(traced("ImgSave with invalid side 5"));
  EXPECT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, nullptr), -3);
  // A path longer than any fixed buffer is refused by the file system, not overflowed.
  std::string longPath = dir + "/" + std::string(300, 'a') + "/" + std::string(300, 'b');
  EXPECT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, longPath.c_str()), -5);
  EXPECT_TRUE(traced("SaveImgStruct with invalid file name or path"));
  // A disk that fills up is a write error, not a success (the trace of the writer goes to a
  // file of its own, which the limit on every file's size leaves room for).
  EXPECT_EQ(pvk::testing::withFileLimit(512, [&] {
              std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s", path("full.log").c_str());
              return saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, path("full.bmp").c_str());
            }),
            -5);
  EXPECT_NE(imgtest::slurp(path("full.log")).find("SaveImgStruct with invalid nBytes written"), std::string::npos);
  // A device is no file to write into.
  ASSERT_EQ(pvk::testing::makeDeviceOrFifo(path("dev")), 0);
  EXPECT_EQ(saveImage(1, -1, 0, 0, nullptr, 0, kBmp, 0, 0, 8, path("dev").c_str()), -5);
}

TEST_F(OutputElab, BlankPageLooksBetweenTheMargins)
{
  layOutFront(250, 1000, 300, 230);
  EXPECT_EQ(IsPageBlank(1, 0, 128), 6);
  // A black border around the paper does not count.
  for (int r = 0; r < 1000; ++r)
    raw[r * 250] = raw[r * 250 + 249] = 0;
  EXPECT_EQ(IsPageBlank(1, 0, 128), 6);
  // Writing inside the dropped third of an inch is ignored, inside the page it counts.
  raw[50 * 250 + 100] = raw[50 * 250 + 101] = 20;
  EXPECT_EQ(IsPageBlank(1, 0, 128), 6);
  raw[500 * 250 + 100] = raw[500 * 250 + 101] = 20;
  EXPECT_EQ(IsPageBlank(1, 0, 128), 0);
  EXPECT_EQ(IsPageBlank(1, 10, 128), 6);  // 10 per thousand of 250 pixels: 2 dark pixels allowed
  EXPECT_EQ(IsPageBlank(2, 0, 128), -3);
  EXPECT_TRUE(traced("IsPageBlank - invalid side 2"));
  EXPECT_EQ(IsPageBlank(1, 101, 128), -3);
  EXPECT_TRUE(traced("IsPageBlank - invalid  PixThreshold 101"));
  MyDev.img[1].hasData = 0;
  EXPECT_EQ(IsPageBlank(1, 0, 128), -3);
  EXPECT_TRUE(traced("IsPageBlank - no data"));
}

TEST_F(OutputElab, QualityCheckOnlyOpensItsFiles)
{
  std::string a = path("a.jpg");
  ASSERT_TRUE(writeWholeFile(a.c_str(), "x", 1));
  EXPECT_EQ(Vx3IQACheck(a.c_str(), a.c_str()), -11);
  EXPECT_EQ(Vx3IQACheck(a.c_str(), path("none").c_str()), -6);
  EXPECT_TRUE(traced("error opening Rear file"));
  EXPECT_EQ(Vx3IQACheck(nullptr, a.c_str()), -3);
}

TEST_F(OutputElab, CreateChecksResolutionsAndBacklight)
{
  MyAcq.modeLocked = 1;  // no mode preparation in this test
  EXPECT_TRUE(Vx3PVKImgCreate(200, 300, 0));
  EXPECT_EQ(MyDev.outDpi[1], 200);
  EXPECT_EQ(MyDev.outDpi[0], 300);
  EXPECT_EQ(MyAcq.backlight, 0);
  EXPECT_FALSE(Vx3PVKImgCreate(601, 300, 0));
  EXPECT_TRUE(traced("ImgCreate with invalid dpi"));
  EXPECT_EQ(MyDev.lastResult, -3);
  EXPECT_FALSE(Vx3PVKImgCreate(200, 200, 200));
  EXPECT_EQ(MyDev.lastResult, -15);
  EXPECT_TRUE(traced("backlight not supported by HW"));
  MyDev.backlightHw = 1;
  MyDev.backlightSide = 1;
  EXPECT_FALSE(Vx3PVKImgCreate(200, 200, 300));
  EXPECT_TRUE(traced("BACKLIGHT and FRONT images must have the same resolution"));
  EXPECT_TRUE(Vx3PVKImgCreate(300, 200, 300));
  EXPECT_EQ(MyAcq.backlight, 1);
  EXPECT_EQ(MyDev.outDpi[2], 300);
  // A second part pending: nothing else changes.
  MyAcq.twoPartActive = MyAcq.secondPartPending = 1;
  EXPECT_TRUE(Vx3PVKImgCreate(100, 100, 0));
  EXPECT_EQ(MyDev.outDpi[1], 300);
}

TEST_F(OutputElab, FreeReleasesSidesStampAndSamples)
{
  MyDev.img[1].allocBase = MyDev.img[1].firstRow = static_cast<uint8_t*>(std::malloc(64));
  MyDev.img[0].firstRow = MyDev.img[1].allocBase + 32;  // a view into the front buffer
  MyInkjet.stamp = PVKImg{8, 12, 8, 200, static_cast<uint8_t*>(std::malloc(96))};
  MyMICR.samples = static_cast<uint8_t*>(std::malloc(10));
  MyMICR.nSamples = 10;
  EXPECT_EQ(Vx3PVKImgFree(), 0);
  EXPECT_EQ(MyDev.img[1].allocBase, nullptr);
  EXPECT_EQ(MyDev.img[0].firstRow, nullptr);
  EXPECT_EQ(MyInkjet.stamp.data, nullptr);
  EXPECT_EQ(MyInkjet.stamp.width, 0);
  EXPECT_EQ(MyMICR.samples, nullptr);
  // Every image call is then refused until the next document.
  int size = 0;
  EXPECT_EQ(Vx3ElabImgStructGet(1, -1, 0, 0, nullptr, 0, kBmp, 0, 200, 8, &size), nullptr);
  EXPECT_EQ(MyDev.lastResult, -3);
}

// A side as 24-bit pixels: grey bytes tripled, colour planes interleaved; a raw line wide
// enough that three of them no longer fit 16 bits.
TEST_F(OutputElab, ElaboratedPixelsOfWideSides)
{
  layOutFront(30000, 2, 300, 90);
  raw[30000 + 29999] = 7;
  uint8_t* px = Vx3GetElabImg(1, 0, 0);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(px[0], 90);
  size_t last = 3 * (30000 + 29999);
  EXPECT_EQ(px[last], 7);
  EXPECT_EQ(px[last + 2], 7);
  std::free(px);

  std::vector<uint8_t> colour(3 * 8 * 2);
  for (size_t i = 0; i < colour.size(); ++i)
    colour[i] = static_cast<uint8_t>(i);
  ImgInfo& s = MyDev.img[0];
  s = ImgInfo{};
  s.colourPlanes = s.planesPerLine = 3;
  s.trimWidth = 8;
  s.rowsUsed = 2;
  s.planeLineBytes = 8;
  s.rawLineBytes = 24;
  s.dpiH = s.dpiV = 200;
  s.firstRow = colour.data();
  px = Vx3GetElabImg(0, 0, 0);
  ASSERT_NE(px, nullptr);
  EXPECT_EQ(px[3], 1);       // pixel 1: plane 0, 1, 2
  EXPECT_EQ(px[4], 9);
  EXPECT_EQ(px[5], 17);
  EXPECT_EQ(px[24 + 0], 24);  // second row
  std::free(px);
  EXPECT_EQ(Vx3GetElabImg(3, 0, 0), nullptr);
  EXPECT_TRUE(traced("GetElabImg - invalid image side 3"));
  MyDev.img[2].firstRow = nullptr;
  EXPECT_EQ(Vx3GetElabImg(2, 0, 0), nullptr);
}

}  // namespace
