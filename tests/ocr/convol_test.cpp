// Binarisation of a zone into the one-bit engine image: the neighbourhood rule of each mode
// worked by hand at its boundary (T = threshold x 7, unsigned divisions that truncate), the
// rows and columns each mode covers, the margin runs, rule removal and the buffer's size.
#include <iterator>
#include <vector>

#include "ocr_base_fixture.h"

namespace {

using pvk::test::OcrBaseTest;

// A grey image, white unless painted, rows padded beyond the width to catch stride slips.
struct Grey {
  int width, height, stride;
  std::vector<uint8_t> px;
  PVKImg img;
  Grey(int w, int h, uint8_t fill = 255) : width(w), height(h), stride(w + 5), px(static_cast<size_t>(stride) * h, 7) {
    for (int y = 0; y < h; ++y)
      for (int x = 0; x < w; ++x) at(x, y) = fill;
    img = PVKImg{static_cast<uint16_t>(w), static_cast<uint16_t>(h), static_cast<uint16_t>(stride), 300, px.data()};
  }
  uint8_t& at(int x, int y) { return px[static_cast<size_t>(y) * stride + x]; }
  void rect(int x0, int y0, int x1, int y1, uint8_t v) {  // inclusive corners
    for (int y = y0; y <= y1; ++y)
      for (int x = x0; x <= x1; ++x) at(x, y) = v;
  }
  // The 3x3 neighbourhood of (x, y), rows top first.
  void cross(int x, int y, std::initializer_list<uint8_t> nine) {
    auto v = nine.begin();
    for (int dy = -1; dy <= 1; ++dy)
      for (int dx = -1; dx <= 1; ++dx) at(x + dx, y + dy) = *v++;
  }
};

class Binarise : public OcrBaseTest {
 protected:
  void SetUp() override {
    OcrBaseTest::SetUp();
    MyOcr.neighbourWeight = 7;
    MyOcr.currentFont = 4;
  }
  void TearDown() override {
    pvk::ocr::freeBWImg();
    OcrBaseTest::TearDown();
  }
  uint32_t at(const Grey& g, int x, int y) const { return BWImg[static_cast<size_t>(y) * ((g.width + 3) & ~3) + x]; }
  int blackCount(const Grey& g) const {
    int n = 0;
    for (int i = 0; i < ((g.width + 3) & ~3) * g.height; ++i) n += BWImg[i] != 0;
    return n;
  }
  // The centre pixel of a 3x3 neighbourhood at (10, 6) of a white image.
  uint32_t centre(uint8_t threshold, std::initializer_list<uint8_t> nine) {
    Grey g(24, 14);
    g.cross(10, 6, nine);
    EXPECT_TRUE(Convol(&g.img, threshold, false));
    return at(g, 10, 6);
  }
};

TEST_F(Binarise, WhiteStaysWhiteInEveryMode) {
  Grey g(33, 17);
  for (short font : {4, 1, 935}) {
    MyOcr.currentFont = font;
    for (uint8_t vertical : {0, 1}) {
      PrivilegiaBarreVert = vertical;
      ASSERT_TRUE(Convol(&g.img, 100, true));
      EXPECT_EQ(blackCount(g), 0) << font << " " << int(vertical);
    }
  }
  EXPECT_EQ(SogliaBW, 100);
}

// Rows 4 .. height - 3 of text mode; dark everywhere but the side margins, wide enough to keep
// columns 3 and width - 4 white so that no margin run starts there. The row sum spreads the dark
// by one column on either side.
TEST_F(Binarise, TextModeCoversItsRowsAndColumns) {
  Grey g(20, 12, 0);
  g.rect(0, 0, 4, 11, 255);
  g.rect(15, 0, 19, 11, 255);
  ASSERT_TRUE(Convol(&g.img, 100, false));
  for (int y = 0; y < 12; ++y)
    for (int x = 0; x < 20; ++x)
      EXPECT_EQ(at(g, x, y), y >= 4 && y <= 9 && x >= 4 && x <= 15 ? 1u : 0u) << x << "," << y;
}

TEST_F(Binarise, AllBlackIsErasedByTheMarginRuns) {
  Grey g(21, 13, 0);
  for (short font : {4, 1}) {
    MyOcr.currentFont = font;
    ASSERT_TRUE(Convol(&g.img, 100, false));
    EXPECT_EQ(blackCount(g), 0) << font;
  }
  // Vertical-bar mode covers every column of rows 3 .. height - 5: the margins keep columns
  // 0..2 and width-3.. of those rows.
  PrivilegiaBarreVert = 1;
  ASSERT_TRUE(Convol(&g.img, 100, false));
  EXPECT_EQ(blackCount(g), (13 - 7) * 6);
  for (int y : {3, 8}) {
    EXPECT_EQ(at(g, 0, y) + at(g, 2, y) + at(g, 18, y) + at(g, 20, y), 4u) << y;
    EXPECT_EQ(at(g, 3, y) + at(g, 17, y), 0u) << y;
  }
  EXPECT_EQ(at(g, 0, 2) + at(g, 0, 9), 0u);
}

// Text mode at threshold 12: T = 84, 2T/5 = 33 (2 x (T/5) would be 32, rounding 34), 4T/5 = 67
// (4 x (T/5) would be 64); microperforation fonts take 2T/5 for the row sum.
TEST_F(Binarise, TextModeBoundaries) {
  const uint8_t W = 255;
  EXPECT_EQ(centre(12, {W, 10, W, W, 11, W, W, 11, W}), 1u) << "column sum 32";
  EXPECT_EQ(centre(12, {W, 11, W, W, 11, W, W, 11, W}), 0u) << "column sum 33";
  EXPECT_EQ(centre(12, {W, W, W, 22, 22, 22, W, W, W}), 1u) << "row sum 66";
  EXPECT_EQ(centre(12, {W, W, W, 22, 22, 23, W, W, W}), 0u) << "row sum 67";
  MyOcr.currentFont = 936;
  EXPECT_EQ(centre(12, {W, W, W, 11, 11, 10, W, W, W}), 1u) << "row sum 32";
  EXPECT_EQ(centre(12, {W, W, W, 11, 11, 11, W, W, W}), 0u) << "row sum 33";
  // The whole neighbourhood, centre twice: 33 + 33 + corners against T = 84.
  EXPECT_EQ(centre(12, {4, 11, 4, 11, 11, 11, 5, 11, 5}), 1u) << "sum 84";
  EXPECT_EQ(centre(12, {4, 11, 5, 11, 11, 11, 5, 11, 5}), 0u) << "sum 85";
}

// E13B mode at threshold 14: T = 98, 3T/5 = 58 (3 x (T/5) would be 57, rounding 59). The
// diagonal sum X = mid[x] + mid[x-1] + down[x+1] counts down[x+1] twice in the total.
TEST_F(Binarise, E13BModeBoundaries) {
  MyOcr.currentFont = 1;
  EXPECT_EQ(centre(14, {0, 58, 0, 0, 0, 0, 0, 0, 0}), 1u) << "column 58";
  EXPECT_EQ(centre(14, {0, 59, 0, 0, 0, 0, 0, 0, 0}), 0u) << "column 59";
  EXPECT_EQ(centre(14, {0, 0, 0, 58, 0, 0, 0, 0, 0}), 1u) << "diagonal 58";
  EXPECT_EQ(centre(14, {0, 0, 0, 59, 0, 0, 0, 0, 0}), 0u) << "diagonal 59";
  EXPECT_EQ(centre(14, {0, 0, 0, 0, 0, 255, 0, 0, 0}), 1u) << "mid[x+1] is not looked at";
  EXPECT_EQ(centre(14, {40, 0, 0, 0, 0, 0, 58, 0, 0}), 1u) << "total 98";
  EXPECT_EQ(centre(14, {40, 0, 0, 0, 0, 0, 59, 0, 0}), 0u) << "total 99";
  EXPECT_EQ(centre(14, {0, 0, 0, 0, 0, 0, 0, 0, 49}), 1u) << "down[x+1] twice: 98";
  EXPECT_EQ(centre(14, {0, 0, 0, 0, 0, 0, 0, 0, 50}), 0u) << "down[x+1] twice: 100";
}

// Vertical-bar mode: five values of a column against 4T/5; 67 at threshold 12 (4 x (T/5) would
// be 64), 72 at threshold 13 (rounding would give 73).
TEST_F(Binarise, VerticalBarModeBoundaries) {
  PrivilegiaBarreVert = 1;
  const struct {
    uint8_t threshold;
    int sum;
    uint32_t black;
  } cases[] = {{12, 67, 1}, {12, 68, 0}, {13, 72, 1}, {13, 73, 0}};
  for (const auto& c : cases) {
    Grey g(24, 16);
    for (int y = 4; y <= 8; ++y) g.at(10, y) = 0;
    g.at(10, 6) = static_cast<uint8_t>(c.sum);
    ASSERT_TRUE(Convol(&g.img, c.threshold, false));
    EXPECT_EQ(at(g, 10, 6), c.black) << int(c.threshold) << " " << c.sum;
    EXPECT_EQ(blackCount(g), static_cast<int>(c.black));
  }
}

TEST_F(Binarise, ThresholdZeroNeedsAWholeDarkNeighbourhood) {
  // A 5x5 black block whose centre (10, 7) is 1: text mode finds no pixel whose neighbourhood
  // misses it; E13B mode does not look at mid[x + 1], so (9, 7) is black; vertical-bar mode
  // blackens the middle row but column 10.
  const int expected[] = {0, 1, 4};
  for (int mode = 0; mode < 3; ++mode) {
    MyOcr.currentFont = mode == 1 ? 1 : 4;
    PrivilegiaBarreVert = mode == 2;
    Grey g(24, 16);
    g.rect(8, 5, 12, 9, 0);
    g.at(10, 7) = 1;
    ASSERT_TRUE(Convol(&g.img, 0, false));
    EXPECT_EQ(blackCount(g), expected[mode]) << mode;
    EXPECT_EQ(at(g, 10, 7), 0u);
    if (mode == 1) {
      EXPECT_EQ(at(g, 9, 7), 1u);
    }
  }
    PrivilegiaBarreVert = 0;
  MyOcr.currentFont = 4;
  Grey g(24, 16);
  g.rect(8, 5, 12, 9, 0);
  ASSERT_TRUE(Convol(&g.img, 0, false));
  EXPECT_EQ(blackCount(g), 9) << "the inner 3x3";
  EXPECT_EQ(at(g, 9, 6) + at(g, 11, 8), 2u);
}

// A bar touching the left margin, one touching the right, and a blob between them.
TEST_F(Binarise, MarginRunsAreErasedFromBothSides) {
  Grey g(40, 14);
  g.rect(0, 5, 12, 8, 0);
  g.rect(18, 5, 21, 8, 0);
  g.rect(30, 5, 39, 8, 0);
  ASSERT_TRUE(Convol(&g.img, 80, false));
  for (int x = 0; x < 40; ++x)
    EXPECT_EQ(at(g, x, 6), x >= 18 && x <= 21 ? 1u : 0u) << x;
}

// At threshold 80 the rule's ends do not spread: a rule of n dark pixels is a run of n. Rules
// start on either side of column 61, so that one of 61 ends on column 122 or passes 61.
TEST_F(Binarise, RulesLongerThanSixtyAreReplacedByTheRowAbove) {
  for (int start : {20, 62}) {
    for (int length : {60, 61, 100}) {
      Grey g(200, 20);
      g.rect(start, 10, start + length - 1, 10, 0);
      const int stroke = start + 30;
      g.rect(stroke, 5, stroke, 15, 0);  // a stroke crossing the rule
      ASSERT_TRUE(Convol(&g.img, 80, true));
      int rowBlack = 0;
      for (int x = 0; x < 200; ++x) rowBlack += at(g, x, 10);
      EXPECT_EQ(rowBlack, length > 60 ? 1 : length) << start << " " << length;
      EXPECT_EQ(at(g, stroke, 10), 1u);
      ASSERT_TRUE(Convol(&g.img, 80, false));
      rowBlack = 0;
      for (int x = 0; x < 200; ++x) rowBlack += at(g, x, 10);
      EXPECT_EQ(rowBlack, length);
    }
  }
}

// The bar mode writes the side columns the other modes never write: a white image after it
// comes out white in every mode.
TEST_F(Binarise, NothingOfTheLastImageIsLeftAtTheSides) {
  for (short font : {short{4}, short{1}}) {
    PrivilegiaBarreVert = 1;
    Grey dark(40, 20, 0);
    ASSERT_TRUE(Convol(&dark.img, 100, false));
    ASSERT_GT(blackCount(dark), 0);
    PrivilegiaBarreVert = 0;
    MyOcr.currentFont = font;
    Grey white(40, 20);
    ASSERT_TRUE(Convol(&white.img, 100, false));
    EXPECT_EQ(blackCount(white), 0) << font;
  }
}

// The buffer is kept for smaller images and grown for a taller one (a fault when it is not).
TEST_F(Binarise, ATallerImageAfterASmallerOne) {
  Grey small(30, 10, 0);
  ASSERT_TRUE(Convol(&small.img, 100, false));
  Grey tall(30, 400);
  tall.rect(10, 390, 14, 394, 0);
  ASSERT_TRUE(Convol(&tall.img, 100, false));
  EXPECT_EQ(at(tall, 12, 392), 1u);
  EXPECT_EQ(blackCount(tall), 5 * 5 + 2 * 5) << "the block and a column on either side";
  Grey again(30, 10);
  ASSERT_TRUE(Convol(&again.img, 100, false));
  EXPECT_EQ(blackCount(again), 0) << "cleared, not reallocated";
  pvk::ocr::freeBWImg();
  EXPECT_EQ(BWImg, nullptr);
  ASSERT_TRUE(Convol(&tall.img, 100, false));
  EXPECT_EQ(at(tall, 12, 392), 1u);
}

// A kept buffer skips storing rows it knows to be blank: one image after another, ink moving
// between rows, the whole band dark (erased by the margin runs), another width and mode, must
// give what a fresh buffer gives, and the rows said to hold ink must cover every black pixel.
TEST_F(Binarise, AKeptBufferGivesWhatAFreshOneGives) {
  struct Step {
    int width, height, x0, y0, x1, y1;
    short font;
  } steps[] = {{40, 20, 10, 6, 20, 9, 4},  {40, 20, 10, 12, 20, 15, 4}, {40, 20, 0, 0, 39, 19, 4},
               {40, 20, 10, 6, 20, 9, 4},  {41, 20, 10, 10, 20, 12, 1}, {40, 16, 10, 4, 20, 5, 4},
               {40, 20, 10, 14, 20, 17, 4}};
  auto run = [&](const Step& s) {
    MyOcr.currentFont = s.font;
    Grey g(s.width, s.height);
    g.rect(s.x0, s.y0, s.x1, s.y1, 0);
    EXPECT_TRUE(Convol(&g.img, 100, false));
    const size_t w4 = (static_cast<size_t>(s.width) + 3) & ~size_t{3};
    return std::vector<uint32_t>(BWImg, BWImg + w4 * s.height);
  };
  std::vector<std::vector<uint32_t>> fresh;
  for (const Step& s : steps) {
    pvk::ocr::freeBWImg();
    fresh.push_back(run(s));
  }
  pvk::ocr::freeBWImg();
  for (size_t k = 0; k < std::size(steps); ++k) {
    const std::vector<uint32_t> kept = run(steps[k]);
    EXPECT_EQ(kept, fresh[k]) << "step " << k;
    const size_t w4 = kept.size() / steps[k].height;
    uint32_t first = 0, end = 0;
    pvk::ocr::inkRowSpan(BWImg, w4, static_cast<uint32_t>(steps[k].height), first, end);
    for (size_t i = 0; i < kept.size(); ++i) {
      if (kept[i] == 0) continue;
      EXPECT_TRUE(i / w4 >= first && i / w4 < end) << "step " << k << " row " << i / w4;
    }
  }
}

TEST_F(Binarise, ImagesWithoutPixelsAreRefused) {
  EXPECT_FALSE(Convol(nullptr, 100, false));
  EXPECT_EQ(MyDev.lastResult, -3);
  PVKImg none{10, 10, 10, 300, nullptr};
  EXPECT_FALSE(Convol(&none, 100, false));
  Grey g(20, 10);
  g.img.stride = 19;
  EXPECT_FALSE(Convol(&g.img, 100, false));
  PVKImg empty{0, 0, 0, 300, nullptr};
  EXPECT_TRUE(Convol(&empty, 100, true));
  Grey tiny(3, 3, 0);
  PrivilegiaBarreVert = 1;
  EXPECT_TRUE(Convol(&tiny.img, 100, true));
}

}  // namespace
