// Side copies on side images laid out by hand: the copy geometry, plain row copies, quarter
// turns through the resize, zone copies folded to grey, and every refusal with its result.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "document/document.h"
#include "geometry/geometry.h"

namespace {

// A side of w x h pixels with `planes` planes in the raw layout; pixel (x, y) of plane p holds
// value(x, y, p). The buffer is owned by the fixture.
struct HandSide {
  std::vector<uint8_t> buf;
  ImgInfo img{};
  HandSide(int w, int h, int planes, int dpiH = 300, int dpiV = 300, int top = 2, int left = 3) {
    const int planeLine = w + left + 5;
    const int raw = planeLine * planes;
    buf.assign(static_cast<size_t>(raw) * (h + top + 1), 0xEE);
    img.side = 1;
    img.colourPlanes = static_cast<uint8_t>(planes == 1 ? 1 : 3);
    img.planesPerLine = static_cast<uint8_t>(planes);
    img.trimTop = static_cast<uint16_t>(top);
    img.trimLeft = static_cast<uint16_t>(left);
    img.trimWidth = img.fullWidth = static_cast<uint16_t>(w);
    img.rowsUsed = img.fullHeight = static_cast<uint16_t>(h);
    img.planeLineBytes = static_cast<uint16_t>(planeLine);
    img.rawLineBytes = static_cast<uint16_t>(raw);
    img.dpiH = static_cast<uint16_t>(dpiH);
    img.dpiV = static_cast<uint16_t>(dpiV);
    img.firstRow = buf.data();
    img.bytesAllocated = img.imageBytes = buf.size();
    img.outputFlag = 1;
    img.deskewApplied = 1;
    img.hasData = 1;
    for (int y = 0; y < h; ++y)
      for (int p = 0; p < planes; ++p)
        for (int x = 0; x < w; ++x) at(x, y, p) = value(x, y, p);
  }
  static uint8_t value(int x, int y, int p) { return static_cast<uint8_t>(10 + x * 7 + y * 31 + p * 50); }
  uint8_t& at(int x, int y, int p) {
    return buf[static_cast<size_t>(img.trimTop + y) * img.rawLineBytes + img.trimLeft +
               static_cast<size_t>(p) * img.planeLineBytes + x];
  }
};

uint8_t outPixel(const ImgInfo& out, int x, int y, int p) {
  return out.firstRow[static_cast<size_t>(y) * out.rawLineBytes + static_cast<size_t>(p) * out.planeLineBytes + x];
}

class SideCopy : public ::testing::Test {
 protected:
  void SetUp() override {
    MyDev = _DevInfo{};
    MyAcq = AcqInfo{};
    MyMICR = MICRInfo{};
  }
  void TearDown() override { std::free(out.allocBase); }
  ImgInfo out{};
};

}  // namespace

TEST_F(SideCopy, SameResolutionWithoutChangesIsARowCopy) {
  HandSide s(13, 7, 3);
  // A previous output buffer is replaced (and freed: the sanitizer sees any leak).
  out.allocBase = static_cast<uint8_t*>(std::malloc(64));
  ASSERT_TRUE(WrapCutCopyOut(s.img, 0, 300, 0, 0, out, 0, false, false));
  EXPECT_EQ(out.trimWidth, 13);
  EXPECT_EQ(out.rowsUsed, 7);
  EXPECT_EQ(out.planeLineBytes, 16);
  EXPECT_EQ(out.rawLineBytes, 48);
  EXPECT_EQ(out.dpiH, 300);
  EXPECT_EQ(out.outputFlag, 1);
  EXPECT_EQ(out.corrected, 1);
  EXPECT_EQ(out.hasData, 1);
  for (int y = 0; y < 7; ++y)
    for (int p = 0; p < 3; ++p)
      for (int x = 0; x < 13; ++x) ASSERT_EQ(outPixel(out, x, y, p), HandSide::value(x, y, p)) << x << "," << y;
}

TEST_F(SideCopy, QuarterTurnRightAndLeft) {
  HandSide s(5, 3, 1);
  ASSERT_TRUE(WrapCutCopyOut(s.img, 256, 300, 0, 0, out, 0, false, false));
  ASSERT_EQ(out.trimWidth, 3);
  ASSERT_EQ(out.rowsUsed, 5);
  // A right turn: output (x, y) shows source (y, h - 1 - x).
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(outPixel(out, x, y, 0), HandSide::value(y, 2 - x, 0)) << x << "," << y;
  ASSERT_TRUE(WrapCutCopyOut(s.img, 768, 300, 0, 0, out, 0, false, false));
  for (int y = 0; y < 5; ++y)
    for (int x = 0; x < 3; ++x) EXPECT_EQ(outPixel(out, x, y, 0), HandSide::value(4 - y, x, 0)) << x << "," << y;
  ASSERT_TRUE(WrapCutCopyOut(s.img, 512, 300, 0, 0, out, 0, false, false));
  ASSERT_EQ(out.trimWidth, 5);
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x) EXPECT_EQ(outPixel(out, x, y, 0), HandSide::value(4 - x, 2 - y, 0));
}

TEST_F(SideCopy, HalfResolutionHalvesBothDirections) {
  HandSide s(40, 20, 1);
  ASSERT_TRUE(WrapCutCopyOut(s.img, 0, 150, 0, 0, out, 0, false, false));
  EXPECT_EQ(out.trimWidth, 20);
  EXPECT_EQ(out.rowsUsed, 10);
  EXPECT_EQ(out.dpiH, 150);
  EXPECT_EQ(out.dpiV, 150);
}

TEST_F(SideCopy, RefusalsLeaveTheOutputAlone) {
  HandSide s(8, 4, 1);
  s.img.outputFlag = 0;
  MyDev.lastResult = 0;
  EXPECT_FALSE(WrapCutCopyOut(s.img, 0, 300, 0, 0, out, 0, false, false));
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_GENERIC);
  EXPECT_EQ(out.allocBase, nullptr);
  s.img.outputFlag = 1;
  MyDev.lastResult = 0;
  EXPECT_FALSE(WrapCutCopyOut(s.img, 100, 300, 0, 0, out, 0, false, false));
  EXPECT_EQ(MyDev.lastResult, 0);  // an unexpected rotation has no code of its own
  EXPECT_FALSE(WrapCutCopyOut(s.img, 0, 0, 0, 0, out, 0, false, false));
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_INV_PARAMETER);
  s.img.rowsUsed = 200;  // a rectangle beyond the buffer is not read
  EXPECT_FALSE(WrapCutCopyOut(s.img, 0, 300, 0, 0, out, 0, false, false));
  EXPECT_EQ(out.allocBase, nullptr);
  s.img.rowsUsed = 4;
  s.img.dpiH = 0;  // a side without a resolution cannot be scaled
  EXPECT_FALSE(WrapCutCopyOut(s.img, 0, 300, 0, 0, out, 0, false, false));
  EXPECT_EQ(out.allocBase, nullptr);
  // An output size beyond any side record is refused, whatever it comes to modulo 2^32.
  HandSide tiny(3, 3, 1, 1, 1);
  EXPECT_FALSE(WrapCutCopyOut(tiny.img, 0, 1431655799, 0, 0, out, 0, false, false));
  EXPECT_EQ(out.allocBase, nullptr);
  PVKImg zone{};
  EXPECT_FALSE(WrapCutCopyIn(tiny.img, 0, 1431655799, 1431655799, &zone, 0, false, false, false));
  EXPECT_EQ(zone.data, nullptr);
  // A resolution a record cannot state is refused rather than stored cut to 16 bits.
  HandSide small(3, 3, 1);
  EXPECT_FALSE(WrapCutCopyOut(small.img, 0, 70000, 0, 0, out, 0, false, false));
  EXPECT_EQ(out.allocBase, nullptr);
  EXPECT_FALSE(WrapCutCopyIn(small.img, 0, 300, 70000, &zone, 0, false, false, false));
  EXPECT_EQ(zone.data, nullptr);
}

TEST_F(SideCopy, ZoneCopyFoldsColourToGrey) {
  HandSide s(9, 4, 3);
  PVKImg zone{};
  ASSERT_TRUE(WrapCutCopyIn(s.img, 0, 300, 300, &zone, 0, true, false, false));
  ASSERT_NE(zone.data, nullptr);
  EXPECT_EQ(zone.width, 9);
  EXPECT_EQ(zone.height, 4);
  EXPECT_EQ(zone.stride, 16);
  EXPECT_EQ(zone.dpi, 300);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 9; ++x) {
      const int mean = (HandSide::value(x, y, 0) + HandSide::value(x, y, 1) + HandSide::value(x, y, 2)) / 3;
      EXPECT_EQ(zone.data[y * zone.stride + x], mean);
    }
  // A second copy replaces the first buffer.
  ASSERT_TRUE(WrapCutCopyIn(s.img, 256, 300, 300, &zone, 0, false, false, false));
  EXPECT_EQ(zone.width, 4);
  EXPECT_EQ(zone.height, 9);
  EXPECT_EQ(zone.stride, 3 * 8);
  std::free(zone.data);
}

TEST_F(SideCopy, ZoneCopyRefusals) {
  HandSide s(9, 4, 1);
  PVKImg zone{};
  MyDev.lastResult = 5;
  s.img.outputFlag = 0;
  EXPECT_FALSE(WrapCutCopyIn(s.img, 0, 300, 300, &zone, 0, false, false, false));
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_GENERIC);
  EXPECT_EQ(zone.data, nullptr);
  EXPECT_EQ(zone.width, 1);
  EXPECT_EQ(zone.height, 0);
  EXPECT_EQ(zone.stride, 1);
  EXPECT_EQ(zone.dpi, 300);
  s.img.outputFlag = 1;
  s.img.trimWidth = 0;
  MyDev.lastResult = 5;
  EXPECT_FALSE(WrapCutCopyIn(s.img, 0, 300, 300, &zone, 0, false, false, false));
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_INV_PARAMETER);
  s.img.trimWidth = 9;
  MyDev.lastResult = 5;
  EXPECT_FALSE(WrapCutCopyIn(s.img, 0, 0, 300, &zone, 0, false, false, false));
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_INV_PARAMETER);
  EXPECT_FALSE(WrapCutCopyIn(s.img, 300, 300, 300, &zone, 0, false, false, false));
  EXPECT_FALSE(WrapCutCopyIn(s.img, 0, 300, 300, nullptr, 0, false, false, false));
}

TEST_F(SideCopy, ZoneImagesAreFreedPerSide) {
  for (int s = 0; s < 3; ++s) {
    MyOcr.ocrImg[s].data = static_cast<uint8_t*>(std::malloc(16));
    MyOcr.ocrImg[s].width = 4;
    MyOcr.ocrImgValid[s] = 1;
    MyOcr.reqDpiH[s] = MyOcr.reqDpiV[s] = 200;
  }
  MyOcrFree(3, true);  // no such side: nothing happens
  EXPECT_NE(MyOcr.ocrImg[2].data, nullptr);
  MyOcrFree(0, false);
  EXPECT_EQ(MyOcr.ocrImg[0].data, nullptr);
  EXPECT_EQ(MyOcr.ocrImg[0].width, 0);
  EXPECT_EQ(MyOcr.ocrImgValid[0], 0);
  EXPECT_EQ(MyOcr.reqDpiH[0], 200);
  MyOcrFree(1, true);
  MyOcrFree(2, true);
  EXPECT_EQ(MyOcr.reqDpiH[1], 0);
  EXPECT_EQ(MyOcr.reqDpiV[2], 0);
}

namespace {

using pvk::geometry::CopyGeometry;
using pvk::geometry::copyGeometry;

// A side record with only the fields the copy geometry reads.
ImgInfo side(uint16_t w, uint16_t h, uint16_t dpiH, uint16_t dpiV, uint8_t planes = 1) {
  ImgInfo s{};
  s.trimWidth = w;
  s.rowsUsed = h;
  s.dpiH = dpiH;
  s.dpiV = dpiV;
  s.planesPerLine = planes;
  s.colourPlanes = planes;
  return s;
}

}  // namespace

TEST(CopyGeometry, RotationsSwapAndToggleMirrors) {
  CopyGeometry g;
  const ImgInfo s = side(101, 50, 300, 300);
  ASSERT_TRUE(copyGeometry(s, 0, 300, 300, false, true, g));
  EXPECT_FALSE(g.swap);
  EXPECT_FALSE(g.mirrorA);
  EXPECT_TRUE(g.mirrorB);
  EXPECT_EQ(g.planeLine, 104);
  EXPECT_EQ(g.rows, 50);
  ASSERT_TRUE(copyGeometry(s, 256, 300, 300, false, false, g));
  EXPECT_TRUE(g.swap);
  EXPECT_TRUE(g.mirrorA);
  EXPECT_FALSE(g.mirrorB);
  EXPECT_EQ(g.planeLine, 56);  // a turned row is a column: the height, rounded up to 8
  EXPECT_EQ(g.rows, 101);
  ASSERT_TRUE(copyGeometry(s, 768, 300, 300, false, false, g));
  EXPECT_TRUE(g.swap);
  EXPECT_FALSE(g.mirrorA);
  EXPECT_TRUE(g.mirrorB);
  ASSERT_TRUE(copyGeometry(s, 512, 300, 300, true, true, g));
  EXPECT_FALSE(g.swap);
  EXPECT_FALSE(g.mirrorA);
  EXPECT_FALSE(g.mirrorB);
  EXPECT_FALSE(copyGeometry(s, 100, 300, 300, false, false, g));
  EXPECT_FALSE(copyGeometry(s, -256, 300, 300, false, false, g));
}

TEST(CopyGeometry, ScalesEachDirectionByItsResolution) {
  CopyGeometry g;
  ASSERT_TRUE(copyGeometry(side(600, 100, 300, 100, 3), 0, 200, 200, false, false, g));
  EXPECT_EQ(g.width, 400);
  EXPECT_EQ(g.height, 200);
  EXPECT_EQ(g.rawLine, 3 * 400);
  // A side without a resolution gets no size at all rather than a division by zero.
  ASSERT_TRUE(copyGeometry(side(600, 100, 0, 0), 0, 200, 200, false, false, g));
  EXPECT_EQ(g.width, 0);
  EXPECT_EQ(g.rawLine, 0);
  // A resolution so high that the size leaves 32 bits must not come back as a small size:
  // 3 x 1431655799 is 2^32 + 101.
  ASSERT_TRUE(copyGeometry(side(3, 3, 1, 1), 0, 1431655799, 1431655799, false, false, g));
  EXPECT_EQ(g.width, 0);
  EXPECT_EQ(g.height, 0);
  EXPECT_EQ(g.rawLine, 0);
}
