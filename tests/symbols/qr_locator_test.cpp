// The QR locator on corpus symbols at 300 and 200 dpi with rotations and degradations: three
// finders, a four-corner code area, the module size within 10 %, and the symbol model reading
// the located code; pass counts per level are ratchets. Then its rules one by one.
#include <gtest/gtest.h>

#include <opencv2/imgproc.hpp>

#include <cmath>

#include "qr_test_util.h"
#include "symbol_corpus.h"

namespace {

struct Outcome {
  bool finders = false, located = false, sized = false, read = false;
};

Outcome locate(const pvk::corpus::Image& image, double moduleSize, const std::string& payload, int blockSize,
               int param) {
  Outcome o;
  imageReader r;
  bool seen = false;
  cv::Mat m(image.height, image.width, CV_8UC1, const_cast<uint8_t*>(image.pixels.data()));
  IplImage ipl = cvIplImage(m);
  IplImage* code = r.adjustImage(&ipl, seen, blockSize, param);
  o.finders = seen && r.found == 1;
  if (!code) return o;
  o.located = r.codeArea.size() == 4;
  // The size the finder runs give, before the model fits it to the grid.
  r.find();
  o.sized = std::fabs(r.symbol.moduleSize - moduleSize) <= 0.1 * moduleSize;
  if (!r.initialize(r.binaryCodeImage())) return o;
  std::vector<char> out(4000);
  unsigned short len = 4000;
  r.symbol.getCodeWords(out.data(), &len);
  o.read = std::string(out.data(), len) == payload;
  return o;
}

struct Count {
  int finders = 0, located = 0, sized = 0, read = 0, total = 0;
};

}  // namespace

// Corpus symbols at 300 dpi (15 mils) and 200 dpi (20 mils), every degradation level, as the
// level draws them and turned a further 25 degrees; a global threshold and the adaptive one.
TEST(QrLocator, FindsFindersCodeAreaAndModuleSize) {
  using namespace pvk::corpus;
  const auto specs = specsFor(Symbology::QrCode, 1, 30);
  ASSERT_EQ(specs.size(), 1u);
  ModuleGrid grid;
  ASSERT_TRUE(encode(specs[0], grid));
  std::vector<Count> counts(kLevels);
  for (int level = 0; level < kLevels; ++level) {
    for (auto [dpi, mils] : {std::pair{300, 15.0}, std::pair{200, 20.0}}) {
      for (double turn : {0.0, 25.0}) {
        DrawSpec draw;
        draw.dpi = dpi;
        draw.xMils = mils;
        Degradation deg = degradationFor(level, 113 + level);
        deg.rotationDeg += turn;
        const Image img = render(grid, draw, deg);
        for (auto [block, param] : {std::pair{0, (deg.paper + deg.ink) / 2}, std::pair{51, 10}}) {
          const Outcome o = locate(img, modulePixels(draw), specs[0].data, block, param);
          Count& c = counts[level];
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
  const Count floor[kLevels] = {{8, 8, 4, 4}, {8, 8, 4, 4}, {8, 8, 3, 3}, {8, 8, 6, 4}, {7, 7, 6, 0}};
  for (int level = 0; level < kLevels; ++level) {
    const Count& c = counts[level];
    std::printf("level %d: finders %d, code area %d, module size %d, read %d of %d\n", level, c.finders, c.located,
                c.sized, c.read, c.total);
    EXPECT_GE(c.finders, floor[level].finders) << level;
    EXPECT_GE(c.located, floor[level].located) << level;
    EXPECT_GE(c.sized, floor[level].sized) << level;
    EXPECT_GE(c.read, floor[level].read) << level;
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
  const cv::Mat one = pvk::qrgen::drawGrid(pvk::qrgen::zintQr("ONE", 1, 0), 5, 4);
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
