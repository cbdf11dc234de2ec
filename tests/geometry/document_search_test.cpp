// The pieces of the document search against the image library's own: the external contour
// search in a framed image (point for point, in the same order), Otsu's level and the Gaussian
// blur; the working images kept between documents; the pieces of a torn document joined.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <numeric>
#include <vector>

#include "geometry/geometry.h"

using namespace pvk::geometry;

namespace {

using Contours = std::vector<std::vector<cv::Point>>;

// The image searched inside a frame of zeros, as the document search lays it out.
Contours framedSearch(const cv::Mat& binary) {
  cv::Mat framed(binary.rows + 2, binary.cols + 2, CV_8UC1, cv::Scalar(99));
  frameWithZeros(framed);
  binary.copyTo(framed(cv::Rect(1, 1, binary.cols, binary.rows)));
  return externalContoursOfFramed(framed);
}

Contours librarySearch(const cv::Mat& binary) {
  Contours c;
  cv::findContours(binary, c, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
  return c;
}

// Blobs, holes, pieces touching the edges and single-pixel specks, in values other than 255 too.
cv::Mat scene(int rows, int cols, unsigned seed, int blobs, double speckle) {
  cv::RNG rng(seed);
  cv::Mat m(rows, cols, CV_8UC1, cv::Scalar(0));
  for (int i = 0; i < blobs; ++i) {
    cv::RotatedRect r(cv::Point2f(rng.uniform(-10, cols + 10), rng.uniform(-10, rows + 10)),
                      cv::Size2f(rng.uniform(2, std::max(3, cols / 2)), rng.uniform(2, std::max(3, rows / 2))),
                      rng.uniform(0, 180));
    cv::Point2f p[4];
    r.points(p);
    std::vector<cv::Point> poly(p, p + 4);
    cv::fillConvexPoly(m, poly, cv::Scalar(rng.uniform(1, 256)));
    if (i % 3 == 2) cv::circle(m, r.center, std::max(1, static_cast<int>(r.size.width / 5)), cv::Scalar(0), -1);
  }
  for (int y = 0; y < rows; ++y)
    for (int x = 0; x < cols; ++x)
      if (rng.uniform(0.0, 1.0) < speckle) m.at<uint8_t>(y, x) = static_cast<uint8_t>(rng.uniform(1, 256));
  return m;
}

TEST(ContourSearch, FramedSearchFindsTheLibrarysContours) {
  struct Case {
    int rows, cols, blobs;
    double speckle;
  };
  const Case cases[] = {{1, 1, 1, 0.5},   {1, 40, 3, 0.3},  {40, 1, 3, 0.3},   {2, 2, 1, 0.6},   {3, 3, 2, 0.5},
                        {64, 64, 0, 0.0}, {64, 64, 6, 0.0}, {97, 131, 9, 0.02}, {200, 300, 4, 0.2},
                        {480, 640, 12, 0.001}};
  unsigned seed = 1;
  for (const Case& c : cases) {
    for (int round = 0; round < 3; ++round, ++seed) {
      SCOPED_TRACE(testing::Message() << c.rows << "x" << c.cols << " seed " << seed);
      cv::Mat img = scene(c.rows, c.cols, seed, c.blobs, c.speckle);
      EXPECT_EQ(framedSearch(img), librarySearch(img));
    }
  }
}

TEST(ContourSearch, FramedImageIsSearchedInPlaceAndMarked) {
  cv::Mat img = scene(120, 160, 7, 5, 0.0);
  cv::Mat framed(img.rows + 2, img.cols + 2, CV_8UC1, cv::Scalar(77));
  frameWithZeros(framed);
  EXPECT_EQ(cv::countNonZero(framed), img.rows * img.cols);
  img.copyTo(framed(cv::Rect(1, 1, img.cols, img.rows)));
  EXPECT_EQ(externalContoursOfFramed(framed), librarySearch(img));
  EXPECT_GT(cv::norm(framed(cv::Rect(1, 1, img.cols, img.rows)), img, cv::NORM_INF), 0);
  // Too small to hold an image inside its frame, or of another type: nothing found.
  cv::Mat tiny(2, 2, CV_8UC1, cv::Scalar(0));
  EXPECT_TRUE(externalContoursOfFramed(tiny).empty());
  cv::Mat wide(10, 10, CV_16UC1, cv::Scalar(0));
  EXPECT_TRUE(externalContoursOfFramed(wide).empty());
}

TEST(OtsuLevel, TheLevelTheLibrarysOtsuThresholdPicks) {
  cv::RNG rng(11);
  enum Kind { Uniform, Band, Constant, Normal, TwoLevels, Blocks, Kinds };
  for (int k = 0; k < 3000; ++k) {
    const int rows = rng.uniform(1, 40), cols = rng.uniform(1, 70);
    const int kind = k % Kinds;
    cv::Mat m(rows, cols, CV_8UC1);
    if (kind == Uniform) {
      rng.fill(m, cv::RNG::UNIFORM, 0, 256);
    } else if (kind == Band) {
      const int a = rng.uniform(0, 256), b = rng.uniform(0, 256);
      rng.fill(m, cv::RNG::UNIFORM, std::min(a, b), std::max(a, b) + 1);
    } else if (kind == Constant) {
      // One value, or one value and a single other pixel: the classes are nearly empty.
      m.setTo(rng.uniform(0, 256));
      if (rng.uniform(0, 2)) m.at<uint8_t>(rows - 1, cols - 1) = static_cast<uint8_t>(rng.uniform(0, 256));
    } else if (kind == Normal) {
      rng.fill(m, cv::RNG::NORMAL, rng.uniform(20, 230), rng.uniform(1, 60));
    } else if (kind == Blocks) {
      // Flat areas with edges anywhere along a row, as a blurred page gives them.
      m.setTo(rng.uniform(0, 256));
      cv::rectangle(m, cv::Rect(rng.uniform(0, cols), rng.uniform(0, rows), rng.uniform(1, 40), rng.uniform(1, 30)),
                    cv::Scalar(rng.uniform(0, 256)), cv::FILLED);
    } else {
      // Dark background and bright paper, as the scanner sees a document.
      for (int y = 0; y < rows; ++y)
        for (int x = 0; x < cols; ++x)
          m.at<uint8_t>(y, x) = static_cast<uint8_t>(rng.uniform(0, 2) ? rng.uniform(10, 40) : rng.uniform(180, 230));
    }
    cv::Mat out;
    const double library = cv::threshold(m, out, 1.0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
    ASSERT_EQ(otsuLevel(m), library) << rows << "x" << cols << " kind " << kind << " case " << k;
    if (rows > 2 && cols > 2) {
      cv::Mat view = m(cv::Rect(1, 1, cols - 2, rows - 2));
      ASSERT_EQ(otsuLevel(view), cv::threshold(view, out, 1.0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU)) << k;
    }
  }
  EXPECT_EQ(otsuLevel(cv::Mat()), 0);
}

// Sizes below, at and past the 32- and 64-pixel steps and the kernel's 15 rows, noise and the
// flat paper and background of a scan, into memory of the image's own and into a view of a larger
// image; each version the processor has gives the library's bytes.
TEST(GaussianBlur, EveryVersionGivesTheLibrarysBytes) {
  const cv::Size sizes[] = {{1, 1}, {40, 1}, {1, 40}, {2, 3}, {15, 15}, {31, 16}, {32, 7}, {33, 14},
                            {63, 20}, {64, 9}, {65, 33}, {97, 131}, {200, 61}, {517, 40}};
  cv::RNG rng(5);
  for (const cv::Size& size : sizes) {
    for (int scene = 0; scene < 4; ++scene) {
      cv::Mat src(size, CV_8UC1);
      if (scene == 0) {
        rng.fill(src, cv::RNG::UNIFORM, 0, 256);
      } else if (scene == 3) {
        // Rows of one level each beside paper from column 32 on, with a speck at the right edge:
        // blocks of one level, and runs of equal column sums that are no level's.
        for (int y = 0; y < size.height; ++y) src.row(y).setTo(20 + y * 7 % 200);
        if (size.width > 32) src(cv::Rect(32, 0, size.width - 32, size.height)).setTo(230);
        src.at<uint8_t>(size.height / 2, size.width - 1) = 3;
      } else if (scene == 2) {
        // Paper with a dark rule across it: rows 7 away from the rule still come out a shade
        // darker than the paper.
        src.setTo(230);
        cv::rectangle(src, cv::Rect(0, size.height / 2, size.width, 3), cv::Scalar(25), cv::FILLED);
      } else {
        src.setTo(25);
        cv::rectangle(src, cv::Rect(size.width / 4, size.height / 3, size.width / 2 + 1, size.height), cv::Scalar(230),
                      cv::FILLED);
      }
      for (int width : {15, 3}) {
        cv::Mat library;
        cv::GaussianBlur(src, library, cv::Size(width, 15), 0, 0, cv::BORDER_REFLECT_101);
        for (Lanes lanes : {Lanes::None, Lanes::Eight, Lanes::Sixteen}) {
          SCOPED_TRACE(testing::Message() << size << " scene " << scene << " width " << width << " lanes "
                                          << static_cast<int>(lanes));
          cv::Mat own(size, CV_8UC1, cv::Scalar(7));
          cv::Mat larger(size.height + 2, size.width + 2, CV_8UC1, cv::Scalar(7));
          cv::Mat view = larger(cv::Rect(1, 1, size.width, size.height));
          gaussianBlur15(src, own, lanes, width);
          gaussianBlur15(src, view, lanes, width);
          EXPECT_EQ(cv::norm(own, library, cv::NORM_INF), 0);
          EXPECT_EQ(cv::norm(view, library, cv::NORM_INF), 0);
          EXPECT_EQ(cv::countNonZero(larger != 7), cv::countNonZero(view != 7));  // nothing written around it
          // With a floor the bytes below it stay the library's and no other falls below it; 26 is
          // one above the dark scene's flat grey, whose rows must then come out as they are, and
          // 230 the paper's, below which the rows a rule darkens by a shade fall.
          for (uint8_t floor : {26, 128, 230}) {
            cv::Mat floored(size, CV_8UC1, cv::Scalar(7));
            gaussianBlur15(src, floored, lanes, width, floor);
            const cv::Mat below = library < floor;
            EXPECT_EQ(cv::countNonZero((floored < floor) != below), 0) << int(floor);
            EXPECT_EQ(cv::norm(floored, library, cv::NORM_INF, below), 0) << int(floor);
          }
        }
      }
    }
  }
}

// A cheque at 200 dpi torn across into n strips 16 pixels apart: one of 420 columns (the only
// one above the least document area) and n - 1 narrower ones, the wide one first, in the middle
// or last. Each joining pass joins the three next largest pieces to the largest, so four bring
// up to 13 together, whichever the search meets first: the box found spans the whole cheque.
TEST(DocumentSearch, EveryPieceOfATornDocumentIsJoined) {
  constexpr int kLeft = 50, kTop = 50, kRows = 700, kGap = 16;
  const ImgInfo front = MyDev.img[1];
  MyDev.img[1].dpiH = MyDev.img[1].dpiV = 200;
  MyITACheck.active = 0;
  MyAcq.secondPartPending = MyAcq.twoPartActive = 0;
  for (int n : {4, 5, 13})
    for (int wide : {0, n / 2, n - 1}) {
      SCOPED_TRACE(testing::Message() << n << " pieces, the wide one at " << wide);
      std::vector<int> widths;
      for (int i = 0; i < n - 1; ++i) widths.push_back(148 - 8 * i);
      if (wide == n - 1) std::reverse(widths.begin(), widths.end());
      widths.insert(widths.begin() + wide, 420);
      const int span = std::accumulate(widths.begin(), widths.end(), (n - 1) * kGap);
      cv::Mat img(kRows + 2 * kTop, span + 2 * kLeft, CV_8UC1, cv::Scalar(30));
      for (int i = 0, x = kLeft; i < n; x += widths[i++] + kGap) img(cv::Rect(x, kTop, widths[i], kRows)).setTo(220);
      cv::RotatedRect box;
      bool joined = false;
      ASSERT_TRUE(findImgContours(img, box, 200, 200, joined));
      const cv::Rect found = box.boundingRect();
      EXPECT_NEAR(found.x, kLeft, 3);
      EXPECT_NEAR(found.width, span, 4);
      EXPECT_NEAR(found.y, kTop, 3);
      EXPECT_NEAR(found.height, kRows, 4);
    }
  MyDev.img[1] = front;
  releaseKeptImages();
}

TEST(KeptImages, OneMemoryPerKindGrownAndLetGoAsSizesChange) {
  releaseKeptImages();
  cv::Mat a = keptImage(Kept::Stretch, 100, 200);
  cv::Mat b = keptImage(Kept::Search, 100, 200);
  ASSERT_EQ(a.size(), cv::Size(200, 100));
  EXPECT_TRUE(a.isContinuous());
  EXPECT_NE(a.data, b.data);
  // The memory handed out stays usable until the kind is asked for again.
  a.setTo(5);
  EXPECT_EQ(cv::countNonZero(a), 20000);
  // Smaller down to a quarter, or turned: the same memory.
  EXPECT_EQ(keptImage(Kept::Stretch, 200, 100).data, a.data);
  EXPECT_EQ(keptImage(Kept::Stretch, 25, 200).data, a.data);
  // Below a quarter, or larger: other memory of the new size.
  cv::Mat c = keptImage(Kept::Stretch, 70, 70);
  EXPECT_EQ(c.size(), cv::Size(70, 70));
  cv::Mat d = keptImage(Kept::Stretch, 400, 400);
  EXPECT_EQ(d.size(), cv::Size(400, 400));
  // Two images of one size side by side in one memory; a part that is not there is none.
  cv::Mat first = keptImage(Kept::Search, 30, 40, 0, 2), second = keptImage(Kept::Search, 30, 40, 1, 2);
  EXPECT_EQ(second.data, first.data + 1200);
  EXPECT_TRUE(keptImage(Kept::Search, 30, 40, 2, 2).empty());
  d.setTo(1);
  EXPECT_TRUE(keptImage(Kept::Working, 0, 10).empty());
  EXPECT_TRUE(keptImage(Kept::Working, 10, -1).empty());
  releaseKeptImages();
}

}  // namespace
