// Output images of a side: planes, grey conversion, flips, transposition, pending deskew and the
// bounds of the caller's records.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstring>

#include "geometry/geometry.h"
#include "side_buffer.h"

using namespace pvk::testing;

namespace {

class Resize : public ::testing::Test {
 protected:
  void SetUp() override { std::memset(PVKPendingDeskew, 0, sizeof PVKPendingDeskew); }
  char msg[64] = "";
};

// A colour side whose planes hold distinct constant values plus a column ramp.
void fillPlanes(ImgInfo& img, const int base[3]) {
  for (int p = 0; p < 3; ++p) {
    cv::Mat m(img.rowsUsed, img.trimWidth, CV_8UC1);
    for (int c = 0; c < m.cols; ++c) m.col(c).setTo(base[p] + c % 4);
    putPlane(img, p, m);
  }
}

TEST_F(Resize, ColourPlanesGoToTheirOwnPlanes) {
  SideBuffer side(40, 20, 3, 3, 200, 200);
  const int base[3] = {20, 120, 220};
  fillPlanes(side.front, base);
  OutputImage out(40, 20, 3, 200, 200, 40);
  ASSERT_TRUE(PVKResize2(&side.front, -1, &out.rec, 0, 0, false, false, false, false, false, msg)) << msg;
  for (int p = 0; p < 3; ++p) EXPECT_EQ(cv::norm(getPlane(side.front, p), getPlane(out.rec, p), cv::NORM_INF), 0);
  // The rear view reads its own half of each plane line.
  fillPlanes(side.rear, base);
  ASSERT_TRUE(PVKResize2(&side.rear, -1, &out.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_EQ(getPlane(out.rec, 2).at<uint8_t>(5, 5), 221);
}

TEST_F(Resize, BrightnessAndContrastApplyToEveryPlane) {
  SideBuffer side(16, 4, 3, 3, 200, 200);
  const int base[3] = {20, 120, 250};
  fillPlanes(side.front, base);
  OutputImage out(16, 4, 3, 200, 200, 16);
  ASSERT_TRUE(PVKResize2(&side.front, -1, &out.rec, 10, 0, false, false, false, false, false, msg));
  EXPECT_EQ(getPlane(out.rec, 0).at<uint8_t>(0, 0), 30);
  EXPECT_EQ(getPlane(out.rec, 1).at<uint8_t>(0, 1), 131);
  EXPECT_EQ(getPlane(out.rec, 2).at<uint8_t>(0, 3), 255);
}

TEST_F(Resize, GreyIsTheMeanOrTheInterleavedColourLines) {
  SideBuffer side(16, 4, 3, 3, 200, 200);
  const int base[3] = {255, 255, 254};
  fillPlanes(side.front, base);
  OutputImage out(16, 4, 1, 200, 200, 16);
  ASSERT_TRUE(PVKResize2(&side.front, -1, &out.rec, 0, 0, true, false, false, false, false, msg));
  EXPECT_EQ(out.rec.colourPlanes, 1);
  EXPECT_EQ(out.rec.planesPerLine, 1);
  EXPECT_EQ(getPlane(out.rec, 0).at<uint8_t>(0, 0), 254);

  // Unequal dpi: the three colour lines of each row become three rows before the resize.
  SideBuffer uneven(16, 4, 3, 3, 300, 100);
  const int distinct[3] = {10, 100, 200};
  fillPlanes(uneven.front, distinct);
  OutputImage tall(16, 12, 1, 300, 300, 16);
  ASSERT_TRUE(PVKResize2(&uneven.front, -1, &tall.rec, 0, 0, true, false, false, false, false, msg));
  cv::Mat g = getPlane(tall.rec, 0);
  EXPECT_EQ(g.at<uint8_t>(0, 0), 10);
  EXPECT_EQ(g.at<uint8_t>(1, 0), 100);
  EXPECT_EQ(g.at<uint8_t>(2, 0), 200);
  ASSERT_TRUE(PVKResize2(&uneven.front, -1, &tall.rec, 0, 0, true, true, false, false, false, msg));
  g = getPlane(tall.rec, 0);
  EXPECT_EQ(g.at<uint8_t>(0, 0), 200);  // reversed: B, G, R
  EXPECT_EQ(g.at<uint8_t>(2, 0), 10);
}

TEST_F(Resize, FlipsAndTransposeTurnTheOutput) {
  SideBuffer side(30, 10, 1, 1, 200, 200);
  cv::Mat m(10, 30, CV_8UC1);
  for (int r = 0; r < 10; ++r)
    for (int c = 0; c < 30; ++c) m.at<uint8_t>(r, c) = static_cast<uint8_t>(r * 30 + c > 255 ? 255 : r * 30 + c);
  m.at<uint8_t>(0, 0) = 7;
  putPlane(side.front, 0, m);
  OutputImage out(30, 10, 1, 200, 200, 32);
  out.rec.fullWidth = 30, out.rec.fullHeight = 10;
  ASSERT_TRUE(PVKResize2(&side.front, -1, &out.rec, 0, 0, false, false, false, false, true, msg)) << msg;
  EXPECT_EQ(out.rec.trimWidth, 10);
  EXPECT_EQ(out.rec.rowsUsed, 30);
  EXPECT_EQ(out.rec.fullWidth, 10);
  EXPECT_EQ(out.rec.fullHeight, 30);
  cv::Mat t = getPlane(out.rec, 0);
  EXPECT_EQ(t.at<uint8_t>(0, 0), 7);
  EXPECT_EQ(t.at<uint8_t>(29, 0), 29);  // column 29 of row 0
  OutputImage flipped(30, 10, 1, 200, 200, 32);
  ASSERT_TRUE(PVKResize2(&side.front, -1, &flipped.rec, 0, 0, false, false, true, true, false, msg));
  EXPECT_EQ(getPlane(flipped.rec, 0).at<uint8_t>(9, 29), 7);
  // Every mirror before the turn, at the side's own size and resampled, against the library's
  // flip and transpose, on a side wider and higher than the blocks the turn goes by.
  SideBuffer big(77, 45, 1, 1, 200, 200);
  cv::Mat noise(45, 77, CV_8UC1);
  cv::randu(noise, 0, 256);
  putPlane(big.front, 0, noise);
  for (int outW : {77, 50}) {
    for (int flips = 0; flips < 4; ++flips) {
      const bool v = flips & 1, h = flips & 2;
      OutputImage turned(outW, 45, 1, 200, 200, 48);
      ASSERT_TRUE(PVKResize2(&big.front, -1, &turned.rec, 0, 0, false, false, v, h, true, msg)) << msg;
      cv::Mat expected;
      cv::resize(noise, expected, cv::Size(outW, 45), 0, 0, cv::INTER_LINEAR);
      if (v || h) cv::flip(expected, expected, v && h ? -1 : (v ? 0 : 1));
      cv::transpose(expected, expected);
      EXPECT_EQ(cv::norm(getPlane(turned.rec, 0), expected, cv::NORM_INF), 0) << outW << " flips " << flips;
    }
  }
}

TEST_F(Resize, RefusesWhatDoesNotFitOrIsMissing) {
  SideBuffer side(40, 20, 1, 1, 200, 200);
  OutputImage out(40, 20, 1, 200, 200, 40);
  out.rec.trimWidth = 0;
  EXPECT_FALSE(PVKResize2(&side.front, -1, &out.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_STREQ(msg, "PVKResize - null width for output image buffer - side 1");
  out.rec.trimWidth = 40;
  out.rec.rowsUsed = 0;
  EXPECT_FALSE(PVKResize2(&side.front, -1, &out.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_STREQ(msg, "PVKResize - null height for output image buffer - side 1");
  out.rec.rowsUsed = 20;
  EXPECT_FALSE(PVKResize2(&side.front, -1, nullptr, 0, 0, false, false, false, false, false, msg));
  EXPECT_STREQ(msg, "PVKResize - NULL output image buffer");
  EXPECT_FALSE(PVKResize2(nullptr, -1, &out.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_TRUE(PVKResize2(&side.front, -1, &out.rec, 0, 0, false, false, false, false, false, nullptr));

  // An output larger than the destination's buffer is refused before a byte is written.
  OutputImage small(40, 20, 1, 200, 200, 40);
  small.rec.rowsUsed = 200;
  std::memset(small.rec.allocBase, 0x5A, small.rec.bytesAllocated);
  EXPECT_FALSE(PVKResize2(&side.front, -1, &small.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_EQ(small.rec.allocBase[0], 0x5A);
  // A source claiming more rows than its buffer holds is refused too.
  side.rear.rowsUsed = 400;
  EXPECT_FALSE(PVKResize2(&side.rear, -1, &out.rec, 0, 0, false, false, false, false, false, msg));
  // A source naming no planes has no bytes to vouch for: it is refused, never read past its buffer.
  uint8_t tiny[8] = {};
  ImgInfo none = side.front;
  none.allocBase = nullptr;
  none.firstRow = tiny;
  none.bytesAllocated = sizeof tiny;
  none.planesPerLine = 0;
  EXPECT_FALSE(PVKResize2(&none, -1, &out.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_STREQ(msg, "PVKResize - invalid source image");
}

TEST_F(Resize, PendingDeskewAppliesOnlyToValidEntries) {
  SideBuffer side(40, 20, 1, 1, 200, 200);
  cv::Mat m(20, 40, CV_8UC1, cv::Scalar(100));
  m(cv::Rect(0, 0, 20, 10)).setTo(30);
  putPlane(side.front, 0, m);
  // An entry that moves the top-left 20 x 10 quarter onto a 20 x 10 output.
  PVKDeskewEntry& e = PVKPendingDeskew[1];
  const float src[4][2] = {{0, 0}, {20, 0}, {20, 10}, {0, 10}};
  std::memcpy(e.ImgAcqSrcBox, src, sizeof src);
  std::memcpy(e.ImgAcqDstBox, src, sizeof src);
  e.ImgAcqSrcWidht = 20;
  e.ImgAcqSrcHeight = 10;
  OutputImage out(40, 20, 1, 200, 200, 40);
  ASSERT_TRUE(PVKResize2(&side.front, 1, &out.rec, 0, 0, false, false, false, false, false, msg)) << msg;
  EXPECT_EQ(out.rec.trimWidth, 20);
  EXPECT_EQ(out.rec.rowsUsed, 10);
  EXPECT_LE(cv::mean(getPlane(out.rec, 0))[0], 31);
  // Side 0 and -1 have no such entry; a zero bottom-right corner or size means none either.
  OutputImage plain(40, 20, 1, 200, 200, 40);
  ASSERT_TRUE(PVKResize2(&side.front, 0, &plain.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_EQ(plain.rec.trimWidth, 40);
  e.ImgAcqDstBox[2][0] = e.ImgAcqDstBox[2][1] = 0;
  ASSERT_TRUE(PVKResize2(&side.front, 1, &plain.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_EQ(plain.rec.trimWidth, 40);
  // The size recomputed after the deskew must still fit the caller's buffer: a 30 x 16 upright
  // image does not fit a buffer made for 20 x 10 rows of 24 bytes.
  e.ImgAcqDstBox[2][0] = 30, e.ImgAcqDstBox[2][1] = 16;
  e.ImgAcqSrcWidht = 30;
  e.ImgAcqSrcHeight = 16;
  OutputImage tight(20, 10, 1, 200, 200, 24);
  std::memset(tight.rec.allocBase, 0x5A, tight.rec.bytesAllocated);
  EXPECT_FALSE(PVKResize2(&side.front, 1, &tight.rec, 0, 0, false, false, false, false, false, msg));
  EXPECT_STREQ(msg, "PVKResize - output image buffer too small");
  for (uint64_t i = 0; i < tight.rec.bytesAllocated; ++i) ASSERT_EQ(tight.rec.allocBase[i], 0x5A);
  // A deskewed size that does not fit the 16-bit record fields is refused.
  e.ImgAcqDstBox[2][0] = 20, e.ImgAcqDstBox[2][1] = 10;
  e.ImgAcqSrcWidht = 70000;
  EXPECT_FALSE(PVKResize2(&side.front, 1, &plain.rec, 0, 0, false, false, false, false, false, msg));
  // So is a source with no dpi to scale by.
  e.ImgAcqSrcWidht = 20;
  side.front.dpiH = 0;
  EXPECT_FALSE(PVKResize2(&side.front, 1, &plain.rec, 0, 0, false, false, false, false, false, msg));
}

}  // namespace
