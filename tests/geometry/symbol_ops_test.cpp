// The 2D locators' image operations against the plain OpenCV sequences they stand for: the
// crop of a quadrilateral, one grey erosion and dilation for the binary ones of every
// threshold, and the integer blur and cubic warp.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include "geometry/geometry.h"

namespace {

cv::Mat noise(cv::Size s, uint64_t seed) {
  cv::Mat m(s, CV_8UC1);
  cv::RNG(seed).fill(m, cv::RNG::UNIFORM, 0, 256);
  return m;
}

// The whole source warped, then the width x height region at the origin cut to the image.
cv::Mat cropReference(const cv::Mat& src, const cv::Point2f q[4], float w, float h) {
  const cv::Point2f to[4] = {{0, 0}, {0, h}, {w, h}, {w, 0}};
  cv::Mat warped;
  cv::warpPerspective(src, warped, cv::getPerspectiveTransform(q, to), src.size(),
                      cv::INTER_LINEAR | cv::WARP_FILL_OUTLIERS, cv::BORDER_CONSTANT, cv::Scalar(0));
  return warped(cv::Rect(0, 0, static_cast<int>(w), static_cast<int>(h)) & cv::Rect(0, 0, src.cols, src.rows)).clone();
}

TEST(SymbolOps, CropMatchesTheWarpOfTheWholeImage) {
  const cv::Mat src = noise({120, 90}, 7);
  struct Case {
    const char* what;
    cv::Point2f tl, bl, br, tr;
  } const cases[] = {
      {"upright, whole pixels", {10, 5}, {10, 65}, {90, 65}, {90, 5}},
      {"upright at the origin", {0, 0}, {0, 89}, {119, 89}, {119, 0}},
      {"upright, half pixels", {10.5f, 5}, {10.5f, 65}, {90.5f, 65}, {90.5f, 5}},
      {"turned", {12, 4}, {8, 60}, {88, 66}, {92, 9}},
      {"larger than the image", {0, 0}, {0, 200}, {300, 200}, {300, 0}},
  };
  for (const Case& c : cases) {
    const cv::Point2f q[4] = {c.tl, c.bl, c.br, c.tr};
    const float w = static_cast<float>(std::min(cv::norm(c.tl - c.tr), cv::norm(c.bl - c.br)));
    const float h = static_cast<float>(std::min(cv::norm(c.tl - c.bl), cv::norm(c.tr - c.br)));
    const cv::Mat got = pvk::geometry::perspectiveCrop(src, q, w, h), want = cropReference(src, q, w, h);
    ASSERT_EQ(got.size(), want.size()) << c.what;
    EXPECT_EQ(cv::countNonZero(got != want), 0) << c.what;
  }
}

TEST(SymbolOps, OneGreyShapingGivesEveryThresholdsBinaryShaping) {
  for (cv::Size s : {cv::Size(64, 40), cv::Size(200, 31)}) {
    cv::Mat grey;
    cv::GaussianBlur(noise(s, s.width), grey, cv::Size(5, 5), 0);
    const cv::Mat shaped = pvk::geometry::dilateErodeSquare(grey, 7, 15);
    for (double t : {0.0, 90.0, 127.0, 128.0, 200.0}) {
      cv::Mat want, got;
      const double used = pvk::geometry::thresholdInverse(grey, want, t);  // 0: Otsu's
      pvk::geometry::erodeDilateSquare(want, 7, 15);
      pvk::geometry::thresholdInverse(shaped, got, used);
      EXPECT_EQ(cv::countNonZero(got != want), 0) << s << " at " << t;
    }
  }
}

std::vector<cv::Mat> pages();

TEST(SymbolOps, GreyShapingIsTheLibrarysDilationThenErosion) {
  auto library = [](const cv::Mat& g, int d, int e) {
    cv::Mat out;
    cv::dilate(g, out, cv::getStructuringElement(cv::MORPH_RECT, {d, d}), {-1, -1}, 1, cv::BORDER_CONSTANT,
               cv::morphologyDefaultBorderValue());
    cv::erode(out, out, cv::getStructuringElement(cv::MORPH_RECT, {e, e}), {-1, -1}, 1, cv::BORDER_CONSTANT,
              cv::morphologyDefaultBorderValue());
    return out;
  };
  // Images narrower and lower than either window, a single row and column, widths either side of
  // both vector widths, a zone's width, heights that end inside and on a block of the window,
  // printed-looking pages, and a view into a wider image (filtered with the pixels around it).
  const cv::Mat wide = noise({240, 60}, 5);
  std::vector<cv::Mat> images = {noise({1, 1}, 1),    noise({5, 3}, 2),    noise({1, 40}, 3),   noise({40, 1}, 4),
                                 noise({17, 15}, 6),  noise({15, 30}, 7),  noise({33, 31}, 8),  noise({31, 16}, 10),
                                 noise({32, 45}, 11), noise({65, 29}, 12), noise({206, 199}, 9), noise({600, 240}, 13),
                                 wide(cv::Rect(3, 2, 201, 50))};
  for (const cv::Mat& page : pages()) images.push_back(page);
  for (const cv::Mat& g : images)
    for (auto [d, e] : {std::pair{7, 15}, std::pair{1, 1}, std::pair{3, 5}, std::pair{9, 3}, std::pair{31, 33}}) {
      const cv::Mat got = pvk::geometry::dilateErodeSquare(g, d, e), want = library(g, d, e);
      ASSERT_EQ(got.size(), want.size()) << g.size() << " " << d << "/" << e;
      EXPECT_EQ(cv::countNonZero(got != want), 0) << g.size() << " " << d << "/" << e;
    }
}

// Printed-looking pages (dark blocks on paper) and noise, the sizes from the smallest the blur
// reflects in to a zone's, odd widths and a view into a wider image among them.
std::vector<cv::Mat> pages() {
  std::vector<cv::Mat> out;
  cv::RNG rng(11);
  for (cv::Size s : {cv::Size(15, 15), cv::Size(16, 40), cv::Size(45, 40), cv::Size(144, 143), cv::Size(601, 240)}) {
    out.push_back(noise(s, s.area()));
    cv::Mat page(s, CV_8UC1, cv::Scalar(225));
    for (int k = 0; k < 30; ++k)
      cv::rectangle(page, cv::Rect(rng.uniform(0, s.width), rng.uniform(0, s.height), rng.uniform(1, 12), rng.uniform(1, 12)),
                    cv::Scalar(rng.uniform(0, 90)), cv::FILLED);
    out.push_back(page);
  }
  const cv::Mat wide = noise({300, 90}, 3);
  out.push_back(wide(cv::Rect(7, 5, 200, 80)));
  return out;
}

TEST(SymbolOps, BlurIsTheLibrarysGaussian) {
  for (const cv::Mat& src : pages())
    for (int k : {15, 5}) {
      cv::Mat want;
      cv::GaussianBlur(src, want, cv::Size(k, k), 0, 0, cv::BORDER_DEFAULT);
      EXPECT_EQ(cv::countNonZero(pvk::geometry::squareBlur(src, k) != want), 0) << src.size() << " kernel " << k;
    }
}

// Binary images at several densities of foreground (any value above 0), nested rings, a full
// image and printed-looking pages: sizes from one pixel to either side of the vector width and a
// zone's, trees deep and wide, and pages with more borders than the labels the tracing has.
std::vector<cv::Mat> binaries() {
  std::vector<cv::Mat> out;
  for (cv::Size s : {cv::Size(1, 1), cv::Size(1, 7), cv::Size(9, 1), cv::Size(2, 2), cv::Size(15, 3), cv::Size(16, 16),
                     cv::Size(17, 9), cv::Size(31, 12), cv::Size(33, 40), cv::Size(64, 20)})
    for (int level : {60, 128, 200}) {
      cv::Mat b;
      cv::threshold(noise(s, s.area() + level), b, level, 7, cv::THRESH_BINARY);
      out.push_back(b);
    }
  cv::Mat rings(61, 67, CV_8UC1, cv::Scalar(0));
  for (int k = 0; k < 14; ++k) cv::rectangle(rings, cv::Rect(2 * k, 2 * k + 1, 67 - 4 * k, 58 - 4 * k), cv::Scalar(255 * (k % 2 == 0)), 1);
  cv::circle(rings, {33, 30}, 2, cv::Scalar(255), cv::FILLED);
  out.push_back(rings);
  out.push_back(cv::Mat(5, 4, CV_8UC1, cv::Scalar(255)));
  for (const cv::Mat& page : pages()) {
    cv::Mat b;
    cv::threshold(page, b, 128, 255, cv::THRESH_BINARY_INV);
    out.push_back(b);
  }
  return out;
}

TEST(SymbolOps, ContourTreeIsTheLibrarys) {
  for (const cv::Mat& b : binaries()) {
    std::vector<std::vector<cv::Point>> want;
    std::vector<cv::Vec4i> wantTree, gotTree;
    cv::findContours(b, want, wantTree, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
    const auto got = pvk::geometry::treeContours(b, &gotTree);
    EXPECT_EQ(got, want) << b.size() << " " << want.size() << " contours";
    EXPECT_EQ(gotTree, wantTree) << b.size();
    EXPECT_EQ(pvk::geometry::treeContours(b), want) << b.size();
  }
}

TEST(SymbolOps, UprightWarpIsTheLibrarysCubicWarp) {
  struct Case {
    const char* what;
    cv::Point2f from[3];
    int w, h;
  } const cases[] = {
      {"whole pixels", {{10, 5}, {90, 5}, {90, 65}}, 80, 60},
      {"grown by a margin", {{6, 1}, {94, 1}, {94, 69}}, 96, 76},
      {"whole pixels past the edges", {{-3, -2}, {137, -2}, {137, 118}}, 140, 120},
      {"whole pixels far outside", {{-400, 300}, {-390, 300}, {-390, 310}}, 10, 10},
      {"turned a little", {{12.3f, 4.1f}, {91.7f, 8.9f}, {88.2f, 66.4f}}, 80, 58},
      {"turned a quarter", {{80, 3}, {80, 70}, {5, 70}}, 67, 75},
      {"past every edge", {{-20.5f, -9}, {130, -9}, {130, 110}}, 40, 30},
      {"degenerate", {{10, 10}, {10, 10}, {10, 10}}, 12, 9},
  };
  for (const cv::Mat& src : pages())
    for (const Case& c : cases) {
      const cv::Point2f to[3] = {{0, 0}, {static_cast<float>(c.w), 0}, {static_cast<float>(c.w), static_cast<float>(c.h)}};
      cv::Mat want;
      cv::warpAffine(src, want, cv::getAffineTransform(c.from, to), cv::Size(c.w, c.h), cv::INTER_CUBIC, cv::BORDER_REFLECT,
                     cv::Scalar(0));
      const cv::Mat got = pvk::geometry::uprightWarp(src, c.from, c.w, c.h);
      ASSERT_EQ(got.size(), want.size()) << c.what;
      EXPECT_EQ(cv::countNonZero(got != want), 0) << c.what << " on " << src.size();
    }
}

}  // namespace
