// The QR locator on symbols drawn at 300 and 200 dpi with rotations and degradations: three
// finders, a four-corner code area, the module size within 10 %, and the symbol model reading
// the located code. Pass counts per degradation level are ratchets: they may only go up.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <random>

#include "qr_test_util.h"

using pvk::qrgen::Grid;

namespace {

struct Scene {
  cv::Mat image;
  double moduleSize;  // pixels per module in the image
};

// The grid with a quiet zone of 4 modules, at `mm` millimetres per module and `dpi`, turned
// by `angle` degrees on a white page, blurred by `sigma`, its contrast cut to dark..light and
// grey noise of deviation `noise` added.
Scene scene(const Grid& g, int dpi, double mm, double angle, double sigma, int dark, int light, double noise,
            std::mt19937& rng) {
  const double m = mm / 25.4 * dpi;
  const cv::Mat fine = pvk::qrgen::drawGrid(g, 10, 4);
  const int side = static_cast<int>(std::lround(fine.cols * m / 10));
  cv::Mat img;
  cv::resize(fine, img, cv::Size(side, side), 0, 0, cv::INTER_AREA);
  const int page = side + side / 2;
  cv::Mat canvas(page, page, CV_8UC1, cv::Scalar(255));
  img.copyTo(canvas(cv::Rect(side / 4, side / 4, side, side)));
  const cv::Mat rot = cv::getRotationMatrix2D(cv::Point2f(page / 2.0f, page / 2.0f), angle, 1.0);
  cv::warpAffine(canvas, img, rot, canvas.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(255));
  if (sigma > 0) cv::GaussianBlur(img, img, cv::Size(0, 0), sigma);
  std::normal_distribution<double> n(0, noise);
  for (int y = 0; y < img.rows; ++y) {
    for (int x = 0; x < img.cols; ++x) {
      unsigned char& p = img.at<unsigned char>(y, x);
      const double v = dark + (light - dark) * p / 255.0 + (noise > 0 ? n(rng) : 0);
      p = cv::saturate_cast<unsigned char>(v);
    }
  }
  return {img, m};
}

struct Level {
  const char* name;
  double angle, sigma;
  int dark, light;
  double noise;
};

const Level kLevels[] = {
    {"clean", 0, 0, 0, 255, 0},
    {"turned", 17, 0, 0, 255, 0},
    {"turned and blurred", -28, 0.8, 0, 255, 0},
    {"turned, blurred, noisy, low contrast", 9, 1.0, 60, 200, 12},
};

struct Outcome {
  bool finders = false, located = false, sized = false, read = false;
};

Outcome locate(const Scene& s, const std::string& payload, int blockSize, int param) {
  Outcome o;
  imageReader r;
  bool seen = false;
  IplImage ipl = cvIplImage(s.image);
  IplImage* code = r.adjustImage(&ipl, seen, blockSize, param);
  o.finders = seen && r.found == 1;
  if (!code) return o;
  o.located = r.codeArea.size() == 4;
  // The size the finder runs give, before the model fits it to the grid.
  r.find();
  o.sized = std::fabs(r.symbol.moduleSize - s.moduleSize) <= 0.1 * s.moduleSize;
  const bool init = r.initialize(r.binaryCodeImage());
  if (!init) return o;
  std::vector<char> out(4000);
  unsigned short len = 4000;
  r.symbol.getCodeWords(out.data(), &len);
  o.read = std::string(out.data(), len) == payload;
  return o;
}

}  // namespace

TEST(QrLocator, FindsFindersCodeAreaAndModuleSize) {
  std::mt19937 rng(113);
  struct Count {
    int finders = 0, located = 0, sized = 0, read = 0, total = 0;
  };
  std::vector<Count> counts(std::size(kLevels));
  const int versions[] = {1, 2, 4, 7, 10};
  for (size_t li = 0; li < std::size(kLevels); ++li) {
    const Level& lv = kLevels[li];
    for (int dpi : {300, 200}) {
      for (int v : versions) {
        const std::string payload = "QR LOCATOR " + std::to_string(v) + " AT " + std::to_string(dpi);
        pvk::qrgen::ZintOptions zo;
        zo.version = v;
        zo.level = 2;
        const Grid g = pvk::qrgen::zintQr(payload, zo);
        ASSERT_FALSE(g.empty());
        const Scene s = scene(g, dpi, 0.42, lv.angle, lv.sigma, lv.dark, lv.light, lv.noise, rng);
        // Global threshold midway between paper and ink, and the adaptive one.
        for (auto [block, param] : {std::pair{0, (lv.dark + lv.light) / 2}, std::pair{51, 10}}) {
          const Outcome o = locate(s, payload, block, param);
          Count& c = counts[li];
          c.finders += o.finders;
          c.located += o.located;
          c.sized += o.sized;
          c.read += o.read;
          ++c.total;
        }
      }
    }
  }
  // Ratchets: the counts first measured; raise them when the locator gets better.
  const Count floor[] = {{20, 18, 11, 11}, {20, 18, 13, 10}, {17, 16, 10, 5}, {14, 13, 10, 7}};
  for (size_t li = 0; li < counts.size(); ++li) {
    const Count& c = counts[li];
    std::printf("level %-40s finders %2d located %2d module size %2d read %2d of %d\n", kLevels[li].name, c.finders,
                c.located, c.sized, c.read, c.total);
    EXPECT_GE(c.finders, floor[li].finders) << kLevels[li].name;
    EXPECT_GE(c.located, floor[li].located) << kLevels[li].name;
    EXPECT_GE(c.sized, floor[li].sized) << kLevels[li].name;
    EXPECT_GE(c.read, floor[li].read) << kLevels[li].name;
  }
}

namespace {

// A finder-like mark: a dark ring of w x h pixels (one sixth of each side thick) around a dark
// centre, on white.
void drawFinder(cv::Mat& img, int x, int y, int w, int h) {
  cv::rectangle(img, cv::Rect(x, y, w, h), cv::Scalar(0), cv::FILLED);
  cv::rectangle(img, cv::Rect(x + w / 6, y + h / 6, w - 2 * (w / 6), h - 2 * (h / 6)), cv::Scalar(255), cv::FILLED);
  cv::rectangle(img, cv::Rect(x + w / 3, y + h / 3, w - 2 * (w / 3), h - 2 * (h / 3)), cv::Scalar(0), cv::FILLED);
}

}  // namespace

// The shorter side must be at least 80 % of the longer, in whole percent.
TEST(QrLocator, FinderBoxesNearlySquare) {
  for (auto [h, kept] : {std::pair{81, 1u}, std::pair{80, 0u}}) {
    cv::Mat img(300, 300, CV_8UC1, cv::Scalar(255));
    drawFinder(img, 50, 50, 101, h);
    cv::Mat bin;
    cv::threshold(img, bin, 128, 255, cv::THRESH_BINARY_INV);
    imageReader r;
    EXPECT_EQ(r.findFinderPattern(bin, 10, 0.1, 0.1).size(), kept) << "height " << h;
  }
}

TEST(QrLocator, RefusesWhatHoldsNoSymbol) {
  imageReader r;
  bool seen = false;
  cv::Mat blank(200, 200, CV_8UC1, cv::Scalar(255));
  IplImage ipl = cvIplImage(blank);
  EXPECT_EQ(r.adjustImage(&ipl, seen, 0, 128), nullptr);
  EXPECT_FALSE(seen);
  EXPECT_EQ(r.adjustImage(nullptr, seen, 0, 128), nullptr);
  // Two symbols: six finders, not three.
  pvk::qrgen::ZintOptions zo;
  zo.version = 1;
  const cv::Mat one = pvk::qrgen::drawGrid(pvk::qrgen::zintQr("ONE", zo), 5, 4);
  cv::Mat two(one.rows, one.cols * 2, CV_8UC1);
  one.copyTo(two(cv::Rect(0, 0, one.cols, one.rows)));
  one.copyTo(two(cv::Rect(one.cols, 0, one.cols, one.rows)));
  ipl = cvIplImage(two);
  EXPECT_EQ(r.adjustImage(&ipl, seen, 0, 128), nullptr);
  EXPECT_FALSE(seen);
  // An even block size is no adaptive threshold: no code, no exception.
  ipl = cvIplImage(one);
  EXPECT_EQ(r.adjustImage(&ipl, seen, 50, 10), nullptr);
  // The same symbol alone is found, and `seen` is never cleared afterwards.
  EXPECT_NE(r.adjustImage(&ipl, seen, 0, 128), nullptr);
  EXPECT_TRUE(seen);
  EXPECT_EQ(r.adjustImage(&ipl, seen, 50, 10), nullptr);
  EXPECT_TRUE(seen);
}

// Before any code image the module size stays 1.0 and the model's own size rule decides.
TEST(QrLocator, InitializeBeforeAnyCode) {
  for (auto [side, ok] : {std::pair{200, false}, std::pair{21, true}}) {
    imageReader r;
    cv::Mat img(side, side, CV_8UC1, cv::Scalar(255));
    IplImage ipl = cvIplImage(img);
    EXPECT_EQ(r.initialize(&ipl), ok) << side;
    EXPECT_EQ(r.symbol.moduleSize, 1.0);
  }
  imageReader sized(64, 48, IPL_DEPTH_8U, 3);
  EXPECT_EQ(sized.source.cols, 64);
  EXPECT_EQ(sized.binary.rows, 48);
  EXPECT_EQ(sized.binary.channels(), 1);
}

TEST(QrLocator, CheckRatio) {
  imageReader r;
  int exact[5] = {4, 4, 12, 4, 4};
  EXPECT_TRUE(r.checkRatio(exact));
  EXPECT_DOUBLE_EQ(r.symbol.moduleSize, 4.0);
  int off[5] = {4, 4, 12, 4, 7};  // m = 31/7, t = 1: the last run is 2.6 away
  EXPECT_FALSE(r.checkRatio(off));
  int zero[5] = {4, 0, 12, 4, 4};
  EXPECT_FALSE(r.checkRatio(zero));
  int tiny[5] = {1, 1, 2, 1, 1};  // sum 6
  EXPECT_FALSE(r.checkRatio(tiny));
  int large[5] = {10, 10, 33, 10, 11};  // m = 10.57, t = round(1.3) = 1: 33 is within 3
  EXPECT_TRUE(r.checkRatio(large));
  int wide[5] = {10, 9, 33, 10, 11};  // 9 lies 1.4 from m = 10.43
  EXPECT_FALSE(r.checkRatio(wide));
}
