// The document box convention and corner naming, pinned with boxes drawn at known angles.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>

#include "geometry/geometry.h"

using namespace pvk::geometry;

namespace {

// A filled rectangle of w x h turned by `deg` (counter-clockwise on screen) about (cx, cy).
std::vector<cv::Point> drawnBox(float cx, float cy, float w, float h, float deg) {
  cv::Mat img(800, 1000, CV_8UC1, cv::Scalar(0));
  cv::Point2f pts[4];
  cv::RotatedRect(cv::Point2f(cx, cy), cv::Size2f(w, h), -deg).points(pts);
  std::vector<cv::Point> poly;
  for (auto& p : pts) poly.emplace_back(cvRound(p.x), cvRound(p.y));
  cv::fillConvexPoly(img, poly, cv::Scalar(255));
  std::vector<std::vector<cv::Point>> c = externalContours(img);
  EXPECT_EQ(c.size(), 1u);
  return c.empty() ? std::vector<cv::Point>{} : c[0];
}

TEST(BoxConvention, AnglesComeInMinusNinetyToZeroWithTheDocumentSizeKept) {
  for (float deg : {0.0f, 10.0f, -10.0f, 45.0f, -45.0f, 30.0f}) {
    SCOPED_TRACE(deg);
    cv::RotatedRect box = minAreaBox(drawnBox(500, 400, 400, 200, deg));
    EXPECT_GE(box.angle, -90.0f);
    EXPECT_LT(box.angle, 0.0f);
    // The document size rule (width along angles from -45, height otherwise) gives 400 x 200
    // for every turn below 45 degrees.
    if (std::fabs(deg) < 44.0f) {
      bool upright = box.angle >= -45.0f;
      float W = upright ? box.size.width : box.size.height;
      float H = upright ? box.size.height : box.size.width;
      EXPECT_NEAR(W, 400, 3);
      EXPECT_NEAR(H, 200, 3);
    }
  }
}

TEST(BoxConvention, NormalisingDescribesTheSameRectangle) {
  for (float a : {90.0f, 0.0f, 10.0f, 45.0f, 80.0f, -30.0f, 135.0f}) {
    SCOPED_TRACE(a);
    cv::RotatedRect raw(cv::Point2f(300, 200), cv::Size2f(120, 60), a);
    cv::RotatedRect n = normaliseBoxAngle(raw);
    EXPECT_GE(n.angle, -90.0f);
    EXPECT_LT(n.angle, 0.0f);
    cv::Point2f p[4], q[4];
    raw.points(p);
    boxCorners(n, q);
    // Same corner set, whatever the order.
    for (auto& pp : p) {
      double best = 1e9;
      for (auto& qq : q) best = std::min<double>(best, std::hypot(pp.x - qq.x, pp.y - qq.y));
      EXPECT_LT(best, 0.01);
    }
  }
  // An upright box from the library's newer convention (90) is the [-90, 0) convention's -90.
  cv::RotatedRect up = normaliseBoxAngle(cv::RotatedRect(cv::Point2f(0, 0), cv::Size2f(50, 80), 90.0f));
  EXPECT_FLOAT_EQ(up.angle, -90.0f);
  EXPECT_FLOAT_EQ(up.size.width, 50.0f);
  EXPECT_FLOAT_EQ(up.size.height, 80.0f);
}

TEST(CornerOrder, NamesTheCornersOfTurnedBoxes) {
  // Skews met on a scanner; the naming holds while the top edge stays above the far corner
  // (up to atan(height / width)).
  for (float deg : {0.0f, 0.4f, 3.0f, -3.0f, 12.0f, -12.0f, 20.0f, -20.0f}) {
    SCOPED_TRACE(deg);
    cv::RotatedRect box = minAreaBox(drawnBox(500, 400, 400, 200, deg));
    cv::Point2f p[4], q[4];
    boxCorners(box, p);
    int ys[4], xs[4];
    orderCorners(p, q, ys, xs);
    // Top-left to top-right runs along the page's top edge (turned by deg), top-right to
    // bottom-right down its right edge.
    double top = std::atan2(q[1].y - q[0].y, q[1].x - q[0].x) * 180 / CV_PI;
    EXPECT_NEAR(top, -deg, 1.0);
    EXPECT_NEAR(std::hypot(q[1].x - q[0].x, q[1].y - q[0].y), 400, 3);
    EXPECT_NEAR(std::hypot(q[2].x - q[1].x, q[2].y - q[1].y), 200, 3);
    EXPECT_NEAR(std::hypot(q[3].x - q[2].x, q[3].y - q[2].y), 400, 3);
    for (int k = 1; k < 4; ++k) {
      EXPECT_LE(ys[k - 1], ys[k]);
      EXPECT_LE(xs[k - 1], xs[k]);
    }
  }
}

TEST(RotateImg, TurnsAboutTheCentreAndFillsBlack) {
  cv::Mat img(201, 201, CV_8UC1, cv::Scalar(200));
  img.at<uint8_t>(100, 180) = 0;  // a dark dot right of the centre
  ASSERT_TRUE(RotateImg(img, 90.0));
  EXPECT_EQ(img.size(), cv::Size(201, 201));
  // Counter-clockwise: the dot goes above the centre.
  double lowest;
  cv::minMaxLoc(img(cv::Rect(99, 19, 3, 3)), &lowest);
  EXPECT_LT(lowest, 160);
  EXPECT_EQ(img.at<uint8_t>(100, 180), 200);
  // Turned by 45 degrees the corners come from outside the image: black.
  ASSERT_TRUE(RotateImg(img, 45.0));
  EXPECT_EQ(img.at<uint8_t>(0, 0), 0);
  EXPECT_EQ(img.at<uint8_t>(100, 100), 200);
}

}  // namespace
