// Deskew and crop of synthetic documents whose position, angle and content are known.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cstring>

#include "geometry/geometry.h"
#include "side_buffer.h"
#include "synthetic_document.h"

using namespace pvk::testing;

namespace {

struct Result {
  bool ok = false;
  short edge = -1;
  char err[40] = "";
  char info[40] = "";
};

Result deskew(ImgInfo& side, bool now, bool flipV = false, bool flipH = false, ImgInfo* stamp = nullptr,
              short stampCol = 0, short stampRow = 0, bool enhance = true) {
  Result r;
  r.ok = PVKDeskewWrapStamp(&side, nullptr, flipV, flipH, false, false, now, r.edge, false, r.err, r.info, stamp,
                            stampCol, stampRow, enhance);
  return r;
}

class DeskewSynthetic : public ::testing::Test {
 protected:
  void SetUp() override {
    std::memset(PVKPendingDeskew, 0, sizeof PVKPendingDeskew);
    MyDev.img[1].dpiH = MyDev.img[1].dpiV = 300;
    MyITACheck.active = 0;
  }

  // Upright output checked against the page: size, skew, marker, bright corners, content.
  static void expectUpright(const cv::Mat& out, const cv::Mat& page, double minCorr = 0.9) {
    EXPECT_NEAR(out.cols, page.cols, 2);
    EXPECT_NEAR(out.rows, page.rows, 2);
    EXPECT_LT(residualSkew(out, page.cols, page.rows), 0.3);
    cv::Point2f m = darkCentroid(out, cv::Rect(0, 0, 140, 140));
    EXPECT_NEAR(m.x, 40 + Synthetic::kMarker / 2.0, 5);
    EXPECT_NEAR(m.y, 40 + Synthetic::kMarker / 2.0, 5);
    for (cv::Point c : {cv::Point(4, 4), cv::Point(out.cols - 16, 4), cv::Point(4, out.rows - 16),
                        cv::Point(out.cols - 16, out.rows - 16)})
      EXPECT_GT(cv::mean(out(cv::Rect(c, cv::Size(12, 12))))[0], 150) << "corner at " << c;
    EXPECT_GE(correlation(page, out), minCorr);
  }
};

TEST_F(DeskewSynthetic, TurnedGreyPagesComeOutUpright) {
  for (double angle : {0.0, 4.0, -7.5, 12.0}) {
    SCOPED_TRACE(angle);
    DocSpec spec;
    spec.angleDeg = angle;
    spec.seed = static_cast<unsigned>(angle * 10 + 100);
    Synthetic s = makeDocument(spec);
    SideBuffer buf(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
    putPlane(buf.front, 0, s.scene);
    Result r = deskew(buf.front, true);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_STREQ(r.info, "");
    EXPECT_EQ(buf.front.deskewApplied, 1);
    EXPECT_EQ(buf.front.trimTop, 0);
    EXPECT_EQ(buf.front.fullHeight, buf.front.rowsUsed);
    expectUpright(getPlane(buf.front, 0), s.page);
  }
}

TEST_F(DeskewSynthetic, HalfVerticalResolutionIsStretchedFirst) {
  DocSpec spec;
  spec.angleDeg = 3.0;
  Synthetic s = makeDocument(spec);
  cv::Mat half;
  cv::resize(s.scene, half, cv::Size(spec.sensorW, spec.sensorH / 2), 0, 0, cv::INTER_AREA);
  // Room for the stretched rows, as the buffer preparation leaves it.
  SideBuffer buf(spec.sensorW, spec.sensorH / 2, 1, 1, 300, 150, spec.sensorH / 2 + 16);
  putPlane(buf.front, 0, half);
  Result r = deskew(buf.front, true);
  ASSERT_TRUE(r.ok) << r.err;
  EXPECT_EQ(buf.front.dpiV, 300);
  expectUpright(getPlane(buf.front, 0), s.page);
}

TEST_F(DeskewSynthetic, ColourPlanesKeepTheirOwnValues) {
  DocSpec spec;
  spec.angleDeg = -5.0;
  Synthetic s = makeDocument(spec);
  SideBuffer buf(spec.sensorW, spec.sensorH, 3, 3, 300, 300);
  const double gain[3] = {1.0, 0.8, 0.6};
  for (int p = 0; p < 3; ++p) {
    cv::Mat plane;
    s.scene.convertTo(plane, CV_8U, gain[p]);
    putPlane(buf.front, p, plane);
  }
  Result r = deskew(buf.front, true, false, false, nullptr, 0, 0, false);
  ASSERT_TRUE(r.ok) << r.err;
  double means[3];
  for (int p = 0; p < 3; ++p) {
    cv::Mat out = getPlane(buf.front, p);
    cv::Mat page;
    s.page.convertTo(page, CV_8U, gain[p]);
    EXPECT_NEAR(out.cols, spec.docW, 2);
    EXPECT_GE(correlation(page, out), 0.9) << "plane " << p;
    means[p] = cv::mean(out)[0];
  }
  // Planes in R, G, B order, none swapped or copied over another.
  EXPECT_GT(means[0], means[1] + 20);
  EXPECT_GT(means[1], means[2] + 20);
}

TEST_F(DeskewSynthetic, DamagedAndSplitDocumentsAreFoundWhole) {
  struct Case {
    const char* name;
    void (*apply)(DocSpec&);
  };
  const Case cases[] = {
      {"torn corner", [](DocSpec& d) { d.tornCorner = true, d.angleDeg = 2.0; }},
      {"dark band", [](DocSpec& d) { d.darkBand = true, d.angleDeg = -3.0; }},
      {"two pieces", [](DocSpec& d) { d.twoPieces = true, d.angleDeg = 1.5; }},
      {"dust", [](DocSpec& d) { d.dust = true, d.angleDeg = 6.0; }},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    DocSpec spec;
    c.apply(spec);
    Synthetic s = makeDocument(spec);
    SideBuffer buf(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
    putPlane(buf.front, 0, s.scene);
    Result r = deskew(buf.front, true);
    ASSERT_TRUE(r.ok) << r.err;
    cv::Mat out = getPlane(buf.front, 0);
    EXPECT_NEAR(out.cols, spec.docW, 2);
    EXPECT_NEAR(out.rows, spec.docH, 2);
    EXPECT_LT(residualSkew(out, spec.docW, spec.docH), 0.3);
    // The missing parts are background, not paper: content correlation stays high regardless.
    EXPECT_GE(correlation(s.page, out), 0.85);
  }
}

TEST_F(DeskewSynthetic, DocumentTouchingTheBottomEdgeIsCutThere) {
  // Cut by the sensor's last row: what is visible is the document.
  DocSpec spec;
  spec.docH = 1000;
  spec.centre = {1296, static_cast<float>(spec.sensorH - spec.docH / 2 + 100)};  // 100 rows below the sensor
  Synthetic s = makeDocument(spec);
  SideBuffer buf(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
  putPlane(buf.front, 0, s.scene);
  Result r = deskew(buf.front, true, false, false, nullptr, 0, 0, false);
  ASSERT_TRUE(r.ok) << r.err;
  cv::Mat out = getPlane(buf.front, 0);
  EXPECT_NEAR(out.cols, spec.docW, 2);
  EXPECT_NEAR(out.rows, spec.docH - 100, 2);
  EXPECT_GE(correlation(s.page(cv::Rect(0, 0, spec.docW, out.rows)), out), 0.9);
  EXPECT_LE(r.edge, 2);  // measured from the bottom: the document reaches it

  // A short visible part (under 590 rows at 300 dpi) is taken only at a low threshold, where
  // the blurred edge lies about one blur radius outside the paper on each side.
  DocSpec low;
  low.centre = {1296, static_cast<float>(low.sensorH - low.docH / 2 + 320)};
  Synthetic t = makeDocument(low);
  SideBuffer lowBuf(low.sensorW, low.sensorH, 1, 1, 300, 300);
  putPlane(lowBuf.front, 0, t.scene);
  r = deskew(lowBuf.front, true, false, false, nullptr, 0, 0, false);
  ASSERT_TRUE(r.ok) << r.err;
  out = getPlane(lowBuf.front, 0);
  EXPECT_NEAR(out.cols, low.docW, 8);
  EXPECT_NEAR(out.rows, low.docH - 320, 8);
  cv::Point2f m = darkCentroid(out, cv::Rect(0, 0, 140, 140));
  EXPECT_NEAR(m.x, 40 + Synthetic::kMarker / 2.0, 8);
  EXPECT_NEAR(m.y, 40 + Synthetic::kMarker / 2.0, 8);
}

TEST_F(DeskewSynthetic, TurningFirstStraightensADocumentCutAtTheBottom) {
  DocSpec spec;
  spec.docH = 1000;
  spec.angleDeg = 5.0;
  spec.centre = {1296, static_cast<float>(spec.sensorH - spec.docH / 2 + 60)};
  Synthetic s = makeDocument(spec);
  for (bool allow : {false, true}) {
    SCOPED_TRACE(allow);
    SideBuffer buf(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
    putPlane(buf.front, 0, s.scene);
    Result r;
    r.ok = PVKDeskewWrapStamp2(&buf.front, nullptr, false, false, false, false, true, r.edge, false, r.err, r.info,
                               nullptr, 0, 0, false, allow);
    ASSERT_TRUE(r.ok) << r.err;
    cv::Mat out = getPlane(buf.front, 0);
    EXPECT_LT(residualSkew(out, spec.docW, spec.docH), 0.3);
    cv::Point2f m = darkCentroid(out, cv::Rect(0, 0, 140, 140));
    EXPECT_NEAR(m.x, 40 + Synthetic::kMarker / 2.0, 5);
    EXPECT_NEAR(m.y, 40 + Synthetic::kMarker / 2.0, 5);
  }
}

TEST_F(DeskewSynthetic, CropThenOutputMatchesDeskewNow) {
  for (bool flip : {false, true}) {
    SCOPED_TRACE(flip);
    DocSpec spec;
    spec.angleDeg = -6.0;
    // A box corner beyond the left edge: the crop is clamped there.
    spec.centre = {static_cast<float>(spec.docW / 2 + 10), 650};
    Synthetic s = makeDocument(spec);

    SideBuffer now(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
    putPlane(now.front, 0, s.scene);
    ASSERT_TRUE(deskew(now.front, true, flip, flip, nullptr, 0, 0, false).ok);
    cv::Mat upright = getPlane(now.front, 0);

    SideBuffer crop(spec.sensorW, spec.sensorH, 1, 1, 300, 300);
    putPlane(crop.front, 0, s.scene);
    Result r = deskew(crop.front, false, flip, flip, nullptr, 0, 0, false);
    ASSERT_TRUE(r.ok) << r.err;
    EXPECT_EQ(crop.front.deskewApplied, 0);
    ASSERT_TRUE(pvk::geometry::deskewPending(1));
    EXPECT_EQ(PVKPendingDeskew[1].flipSrcV, flip);
    cv::Mat cropped = getPlane(crop.front, 0);

    OutputImage out(upright.cols + 40, upright.rows + 40, 1, 300, 300);
    char msg[64];
    ASSERT_TRUE(PVKResize(&crop.front, 1, &out.rec, false, false, false, false, false, msg)) << msg;
    EXPECT_NEAR(out.rec.trimWidth, upright.cols, 2);
    EXPECT_NEAR(out.rec.rowsUsed, upright.rows, 2);
    cv::Mat viaOutput = getPlane(out.rec, 0);
    EXPECT_GE(correlation(upright, viaOutput), 0.95);
    if (!flip) {
      EXPECT_LT(residualSkew(viaOutput, spec.docW, spec.docH), 0.3);
    }

    // The side keeps its cropped pixels: a second output is the same image.
    EXPECT_EQ(cv::norm(cropped, getPlane(crop.front, 0), cv::NORM_INF), 0);
    OutputImage again(upright.cols + 40, upright.rows + 40, 1, 300, 300);
    ASSERT_TRUE(PVKResize(&crop.front, 1, &again.rec, false, false, false, false, false, msg)) << msg;
    EXPECT_EQ(cv::norm(viaOutput, getPlane(again.rec, 0), cv::NORM_INF), 0);
  }
}

}  // namespace
