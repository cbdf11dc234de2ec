// Deskew calls at their edges: refusals, no document, the pending record, the stamp, the
// companion image and the vertical stretch.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <vector>

#include "geometry/geometry.h"
#include "side_buffer.h"
#include "synthetic_document.h"

using namespace pvk::testing;

namespace {

class DeskewRules : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(PVKPendingDeskew, 0, sizeof PVKPendingDeskew);
    MyDev.img[1].dpiH = MyDev.img[1].dpiV = 300;
    MyITACheck.active = 0;
  }
  bool run(ImgInfo& side, bool now, bool fromTop = false, bool flipV = false, ImgInfo* companion = nullptr) {
    edge = -1;
    return PVKDeskewWrapStamp(&side, companion, flipV, false, false, false, now, edge, fromTop, err, info, nullptr,
                              0, 0, false);
  }
  short edge = -1;
  char err[40] = "";
  char info[40] = "";
};

std::vector<uint8_t> bytesOf(const ImgInfo& img) {
  return std::vector<uint8_t>(img.allocBase, img.allocBase + img.bytesAllocated);
}

TEST_F(DeskewRules, ResolutionsItCannotUseAreRefusedUntouched) {
  SideBuffer side(400, 100, 1, 1, 200, 300);
  PVKPendingDeskew[1].ImgAcqSrcWidht = 5;
  PVKPendingDeskew[1].flipSrcV = true;
  std::vector<uint8_t> before = bytesOf(side.front);
  EXPECT_FALSE(run(side.front, true));
  EXPECT_STREQ(err, "dpiV higher than dpiH");
  EXPECT_EQ(PVKPendingDeskew[1].ImgAcqSrcWidht, 0);  // the entry is cleared all the same
  EXPECT_TRUE(PVKPendingDeskew[1].flipSrcV);          // its flips stay
  EXPECT_EQ(bytesOf(side.front), before);
  side.front.dpiV = 0;
  EXPECT_FALSE(run(side.front, true));
  side.front.dpiV = 200;
  side.front.dpiH = 0;
  EXPECT_FALSE(run(side.front, true));
}

TEST_F(DeskewRules, NoDocumentKeepsTheSideAsAcquired) {
  SideBuffer side(600, 300, 1, 1, 300, 150, 300);
  cv::Mat dark(300, 600, CV_8UC1);
  cv::randu(dark, 10, 30);
  putPlane(side.front, 0, dark);
  ImgInfo recordBefore = side.front;
  std::vector<uint8_t> before = bytesOf(side.front);
  ASSERT_TRUE(run(side.front, false));
  EXPECT_STREQ(info, "no contour found");
  EXPECT_STREQ(err, "");
  EXPECT_EQ(edge, 300);  // measured from the bottom with the corners at the origin
  EXPECT_EQ(bytesOf(side.front), before);
  EXPECT_EQ(std::memcmp(&recordBefore, &side.front, sizeof(ImgInfo)), 0);
  EXPECT_FALSE(pvk::geometry::deskewPending(1));
  ASSERT_TRUE(run(side.front, true, true));
  EXPECT_EQ(edge, 0);
}

TEST_F(DeskewRules, CropRecordsTheDeskewFromTheClampedOrigin) {
  DocSpec spec;
  spec.angleDeg = 5;
  spec.centre = {static_cast<float>(spec.docW / 2 + 10), 640};
  const double rad = spec.angleDeg * CV_PI / 180;
  const double reachW = spec.docW / 2.0 * std::cos(rad) + spec.docH / 2.0 * std::sin(rad);
  const double reachH = spec.docW / 2.0 * std::sin(rad) + spec.docH / 2.0 * std::cos(rad);
  const double leftmost = spec.centre.x - reachW;  // about -24: a corner beyond the sensor
  Synthetic s = makeDocument(spec);
  SideBuffer side(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
  putPlane(side.front, 0, s.scene);
  ASSERT_TRUE(run(side.front, false, true));
  const PVKDeskewEntry& e = PVKPendingDeskew[1];
  float minX = 1e9f, minY = 1e9f;
  for (int k = 0; k < 4; ++k) minX = std::min(minX, e.ImgAcqSrcBox[k][0]), minY = std::min(minY, e.ImgAcqSrcBox[k][1]);
  // Relative to the crop as cut (column 0), not to the corner outside the sensor.
  EXPECT_NEAR(minX, leftmost, 3);
  EXPECT_NEAR(minY, 0, 3);
  EXPECT_NEAR(e.ImgAcqSrcWidht, spec.docW, 2);
  EXPECT_NEAR(e.ImgAcqSrcHeight, spec.docH, 2);
  EXPECT_FLOAT_EQ(e.ImgAcqDstBox[2][0], static_cast<float>(e.ImgAcqSrcWidht));
  EXPECT_NEAR(side.front.trimWidth, spec.centre.x + reachW, 3);
  EXPECT_NEAR(side.front.rowsUsed, 2 * reachH, 3);
  const int top = static_cast<int>(spec.centre.y - reachH);
  EXPECT_NEAR(edge, top + (spec.docW * std::sin(rad)) / 2, 3);  // mean of the two upper corners

  // With a vertical flip the recorded rows are mirrored inside the crop.
  SideBuffer flipped(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
  putPlane(flipped.front, 0, s.scene);
  ASSERT_TRUE(run(flipped.front, false, false, true));
  EXPECT_TRUE(PVKPendingDeskew[1].flipSrcV);
  float maxY = 0;
  for (int k = 0; k < 4; ++k) maxY = std::max(maxY, PVKPendingDeskew[1].ImgAcqSrcBox[k][1]);
  EXPECT_NEAR(maxY, flipped.front.rowsUsed, 2);
  // Flip and measure-from-top cancel: the edge comes from the top again.
  EXPECT_NEAR(edge, top + (spec.docW * std::sin(rad)) / 2, 3);
}

TEST_F(DeskewRules, CompanionFollowsTheSideGeometry) {
  DocSpec spec;
  spec.angleDeg = 4;
  Synthetic s = makeDocument(spec);
  SideBuffer side(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
  SideBuffer light(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
  putPlane(side.front, 0, s.scene);
  cv::Mat half;
  s.scene.convertTo(half, CV_8U, 0.5);
  putPlane(light.front, 0, half);
  light.front.side = 2;
  ASSERT_TRUE(run(side.front, true, false, false, &light.front)) << err;
  EXPECT_EQ(light.front.trimWidth, side.front.trimWidth);
  EXPECT_EQ(light.front.rowsUsed, side.front.rowsUsed);
  EXPECT_EQ(light.front.deskewApplied, 1);
  cv::Mat a = getPlane(side.front, 0), b = getPlane(light.front, 0);
  EXPECT_GE(correlation(a, b), 0.99);
  EXPECT_NEAR(cv::mean(b)[0] * 2, cv::mean(a)[0], 3);
}

TEST_F(DeskewRules, OutputLargerThanTheBufferIsRefused) {
  DocSpec spec;
  spec.angleDeg = 2;
  Synthetic s = makeDocument(spec);
  cv::Mat half;
  cv::resize(s.scene, half, cv::Size(spec.sensorW, spec.sensorH / 2), 0, 0, cv::INTER_AREA);
  // No room below the rows for the stretch to the horizontal dpi.
  SideBuffer side(spec.sensorW, spec.sensorH / 2, 1, 1, 300, 150);
  putPlane(side.front, 0, half);
  std::vector<uint8_t> before = bytesOf(side.front);
  EXPECT_FALSE(run(side.front, true));
  EXPECT_STREQ(err, "output exceeds image buffer");
  EXPECT_EQ(bytesOf(side.front), before);
  EXPECT_EQ(side.front.dpiV, 150);
}

TEST_F(DeskewRules, BadRecordsNeverCrash) {
  short e = 0;
  char t1[40], t2[40];
  EXPECT_FALSE(PVKDeskewWrapStamp2(nullptr, nullptr, false, false, false, false, true, e, false, t1, t2, nullptr, 0,
                                   0, true, false));
  SideBuffer side(400, 100, 1, 1, 300, 300);
  side.front.rowsUsed = 5000;  // more rows than the buffer holds
  EXPECT_FALSE(PVKDeskewWrapStamp2(&side.front, nullptr, false, false, false, false, true, e, false, nullptr,
                                   nullptr, nullptr, 0, 0, true, false));
  side.front.rowsUsed = 100;
  side.front.firstRow = nullptr;
  EXPECT_FALSE(run(side.front, true));
}

TEST(Stamp, DrawsInkInsideTheDocumentOnly) {
  cv::Mat img(100, 200, CV_8UC1, cv::Scalar(220));
  // Stamp 30 x 20: ink in its left half, no ink (255) in its right half.
  std::vector<uint8_t> px(32 * 20, 255);
  for (int r = 0; r < 20; ++r)
    for (int c = 0; c < 15; ++c) px[r * 32 + c] = 0;
  ImgInfo stamp{};
  stamp.firstRow = px.data();
  stamp.bytesAllocated = px.size();
  stamp.trimWidth = 30;
  stamp.rowsUsed = 20;
  stamp.rawLineBytes = 32;
  stamp.planeLineBytes = 32;
  int ys[4] = {10, 10, 80, 80}, xs[4] = {5, 5, 150, 150};
  AggiungiTimbro(img, &stamp, ys, xs, 40, 5);
  EXPECT_EQ(img.at<uint8_t>(15, 40), 50);   // row offset below the top edge
  EXPECT_EQ(img.at<uint8_t>(34, 54), 50);
  EXPECT_EQ(img.at<uint8_t>(35, 40), 220);  // below the stamp
  EXPECT_EQ(img.at<uint8_t>(20, 60), 220);  // white stamp pixels leave the document alone
  EXPECT_EQ(img.at<uint8_t>(14, 40), 220);

  // Negative column starts at 0; a stamp taller than the document is cut at its bottom edge.
  cv::Mat img2(100, 200, CV_8UC1, cv::Scalar(220));
  int ys2[4] = {70, 70, 80, 80};
  AggiungiTimbro(img2, &stamp, ys2, xs, -10, 0);
  EXPECT_EQ(img2.at<uint8_t>(70, 0), 50);
  EXPECT_EQ(img2.at<uint8_t>(79, 0), 50);
  EXPECT_EQ(img2.at<uint8_t>(80, 0), 220);
  // A stamp record claiming more rows than its bytes draws nothing.
  stamp.rowsUsed = 200;
  cv::Mat img3(100, 200, CV_8UC1, cv::Scalar(220));
  AggiungiTimbro(img3, &stamp, ys, xs, 40, 5);
  EXPECT_EQ(cv::countNonZero(img3 != 220), 0);
}

TEST(FixVRes, StretchesWithinTheLimitAndTheBuffer) {
  EXPECT_EQ(PVKFixVRes(nullptr, 1.5f, 100), 0);
  SideBuffer side(64, 100, 2, 1, 300, 300, 60);
  cv::Mat m(100, 64, CV_8UC1, cv::Scalar(200));
  m.row(50).setTo(0);
  m.row(51).setTo(0);
  putPlane(side.front, 0, m);
  putPlane(side.front, 1, m);
  side.front.rowsUsed = 9;
  EXPECT_EQ(PVKFixVRes(&side.front, 1.5f, 500), 1);
  EXPECT_EQ(side.front.rowsUsed, 9);
  side.front.rowsUsed = 100;
  EXPECT_EQ(PVKFixVRes(&side.front, 1.5f, 120), 1);  // 150 rows exceed the limit: nothing done
  EXPECT_EQ(side.front.rowsUsed, 100);
  EXPECT_EQ(PVKFixVRes(&side.front, 2.0f, 400), 0);  // 200 rows do not fit the 160-row buffer
  EXPECT_EQ(side.front.rowsUsed, 100);
  EXPECT_EQ(getPlane(side.front, 0).at<uint8_t>(50, 3), 0);
  EXPECT_EQ(PVKFixVRes(&side.front, 1.5f, 400), 1);
  EXPECT_EQ(side.front.rowsUsed, 150);
  EXPECT_EQ(side.front.fullHeight, 100);
  for (int p = 0; p < 2; ++p) {
    cv::Mat out = getPlane(side.front, p);
    EXPECT_LT(out.at<uint8_t>(76, 10), 100) << p;  // the dark line moved down to about 75..77
    EXPECT_GT(out.at<uint8_t>(50, 10), 150) << p;
  }
}

}  // namespace
