// Binarisation threshold series: the grey-level points of a zone, the trial order from the
// middle outwards, the widening of narrow ranges, the clamps, the first series per font and the
// narrower series of a later cycle.
#include <algorithm>
#include <vector>

#include "ocr_base_fixture.h"

namespace {

using pvk::ocr::ThresholdSeries;
using pvk::test::OcrBaseTest;

// A zone holding count pixels of each level, rows padded with dark bytes beyond the width.
struct Zone {
  std::vector<uint8_t> px;
  PVKImg img{};
  explicit Zone(const std::vector<std::pair<uint8_t, int>>& levels) {
    std::vector<uint8_t> flat;
    for (const auto& [level, count] : levels) flat.insert(flat.end(), count, level);
    const int width = 16, stride = 19, height = static_cast<int>((flat.size() + width - 1) / width);
    flat.resize(static_cast<size_t>(width) * height, 255);
    px.assign(static_cast<size_t>(stride) * height, 0);
    for (int y = 0; y < height; ++y) std::copy_n(&flat[static_cast<size_t>(y) * width], width, &px[static_cast<size_t>(y) * stride]);
    img = PVKImg{static_cast<uint16_t>(width), static_cast<uint16_t>(height), static_cast<uint16_t>(stride), 300, px.data()};
  }
};

// Sixteen groups of ten pixels, each group one level: the points are the first fifteen levels.
Zone withPoints(int v0, int v8, int v14) {
  std::vector<std::pair<uint8_t, int>> levels;
  for (int k = 0; k <= 8; ++k) levels.push_back({static_cast<uint8_t>(v0 + (v8 - v0) * k / 8), 10});
  for (int k = 9; k <= 14; ++k) levels.push_back({static_cast<uint8_t>(v8 + (v14 - v8) * (k - 8) / 6), 10});
  levels.push_back({static_cast<uint8_t>(v14 + 1), 10});
  return Zone(levels);
}

std::vector<int> points() { return std::vector<int>(ValSogliaOCR, ValSogliaOCR + 15); }

std::vector<int> series(int a, int b, int count, bool first) {
  uint8_t out[16] = {};
  uint16_t n = 99;
  CalcolaOptSoglia(out, a, b, n, static_cast<uint16_t>(count), first);
  EXPECT_EQ(n, count);
  return std::vector<int>(out, out + count);
}

std::vector<int> sorted(std::vector<int> v) {
  std::sort(v.begin(), v.end());
  return v;
}

class Thresholds : public OcrBaseTest {
 protected:
  void SetUp() override {
    OcrBaseTest::SetUp();
    MyOcr.currentFont = 4;
  }
};

// The points are shares of all pixels: the dark ones (levels 0..4) start the running count, the
// light ones (250 and above) end it; one point per level.
TEST_F(Thresholds, PointsFollowTheRunningCount) {
  Zone z({{2, 40}, {200, 160}, {252, 104}});  // 304 pixels: a point every 19
  CalcolaValSoglia(&z.img);
  EXPECT_EQ(points(), (std::vector<int>{5, 6, 200, 201, 202, 203, 204, 205, 206, 207, 252, 253, 254, 255, 255}));
  Zone even = withPoints(20, 100, 190);
  CalcolaValSoglia(&even.img);
  EXPECT_EQ(ValSogliaOCR[0], 20);
  EXPECT_EQ(ValSogliaOCR[8], 100);
  EXPECT_EQ(ValSogliaOCR[14], 190);
}

// Black ink on white paper with a few grey edge pixels: the middle point is the paper, so the
// first CMC7 series reaches up to 180 rather than stopping near the ink.
TEST_F(Thresholds, SaturatedInkAndPaperKeepThePaperInTheMiddle) {
  Zone z({{0, 40}, {90, 4}, {170, 4}, {255, 272}});
  MyOcr.currentFont = 202;
  ThresholdSeries s{};
  pvk::ocr::firstThresholdSeries(&z.img, s);
  EXPECT_EQ(points(), (std::vector<int>{5, 6, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}));
  const std::vector<int> values = sorted(std::vector<int>(s.t, s.t + s.n));
  EXPECT_EQ(values.front(), 5);
  EXPECT_EQ(values.back(), 180);
}

TEST_F(Thresholds, APaperOnlyZoneGivesItsOwnLevels) {
  Zone z({{250, 90}, {255, 70}});
  CalcolaValSoglia(&z.img);
  EXPECT_EQ(points(), (std::vector<int>{250, 251, 252, 253, 254, 255, 255, 255, 255, 255, 255, 255, 255, 255, 255}));
  // No pixel at all: every target is 0 and the points run from 5.
  CalcolaValSoglia(nullptr);
  EXPECT_EQ(points(), (std::vector<int>{5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19}));
}

// Light paper with little ink runs out of levels after 247..255; the points it does not reach
// must not keep the previous zone's values.
TEST_F(Thresholds, FlatPaperGivesTheSamePointsAfterADarkZone) {
  Zone paper({{30, 10}, {247, 1990}});
  CalcolaValSoglia(&paper.img);
  const std::vector<int> alone = points();
  EXPECT_EQ(alone, (std::vector<int>{247, 248, 249, 250, 251, 252, 253, 254, 255, 255, 255, 255, 255, 255, 255}));
  Zone dark = withPoints(10, 50, 90);
  CalcolaValSoglia(&dark.img);
  CalcolaValSoglia(&paper.img);
  EXPECT_EQ(points(), alone);
}

TEST_F(Thresholds, SeriesAreTriedFromTheMiddleOutwards) {
  EXPECT_EQ(series(160, 20, 15, true),
            (std::vector<int>{90, 80, 100, 60, 120, 40, 140, 20, 160, 70, 110, 50, 130, 30, 150}));
  EXPECT_EQ(series(20, 100, 9, true), (std::vector<int>{60, 50, 70, 40, 80, 30, 90, 20, 100}));
  EXPECT_EQ(series(20, 60, 5, false), (std::vector<int>{40, 30, 50, 20, 60}));
  EXPECT_EQ(series(20, 50, 4, false), (std::vector<int>{40, 30, 50, 20}));
  // Sixteen values: the odd distances from index 8 reach index 15, the even ones index 0.
  EXPECT_EQ(series(10, 160, 16, false),
            (std::vector<int>{90, 80, 100, 60, 120, 40, 140, 20, 160, 70, 110, 50, 130, 30, 150, 10}));
}

// Narrow first ranges are widened to 40, later ones to 10; steps of 7.5 truncate.
TEST_F(Thresholds, NarrowRangesAreWidened) {
  EXPECT_EQ(sorted(series(100, 120, 9, true)), (std::vector<int>{80, 87, 95, 102, 110, 117, 125, 132, 140}));
  EXPECT_EQ(sorted(series(40, 20, 9, true)), (std::vector<int>{20, 27, 35, 42, 50, 57, 65, 72, 80}));
  EXPECT_EQ(sorted(series(220, 240, 9, true)), (std::vector<int>{180, 187, 195, 202, 210, 217, 225, 232, 240}));
  EXPECT_EQ(sorted(series(100, 105, 6, false)), (std::vector<int>{95, 98, 101, 104, 107, 110}));
  EXPECT_EQ(sorted(series(3, 5, 6, false)), (std::vector<int>{3, 5, 7, 10, 12, 15})) << "hi += 10, step 2.4";
  EXPECT_EQ(sorted(series(245, 250, 6, false)), (std::vector<int>{235, 238, 241, 244, 247, 250})) << "lo -= 10";
}

TEST_F(Thresholds, MinimumStepsAndClamps) {
  // 40 / 14 is below every first-series minimum but 2.
  EXPECT_EQ(sorted(series(100, 140, 15, true)).back(), 170) << "step 5";
  MyOcr.currentFont = 202;
  EXPECT_EQ(sorted(series(100, 140, 15, true)).back(), 142) << "CMC7: step 3";
  for (int variant = 0; variant < 3; ++variant) {
    MyOcr.currentFont = variant == 0 ? 939 : 4;
    MyOcr.zoneSide = variant == 1 ? 2 : 0;
    UtilizzoImgBacklight = variant == 2;
    EXPECT_EQ(sorted(series(100, 140, 15, true)).back(), 142) << variant;
  }
  EXPECT_EQ(sorted(series(100, 111, 15, false)).back(), 114) << "later series: step 1";
  MyOcr.currentFont = 4;
  MyOcr.zoneSide = 0;
  UtilizzoImgBacklight = 0;
  EXPECT_EQ(sorted(series(0, 60, 9, true)), (std::vector<int>{1, 8, 16, 23, 31, 38, 46, 53, 61}));
  EXPECT_EQ(sorted(series(230, 255, 9, true)), (std::vector<int>{190, 198, 206, 214, 222, 230, 238, 246, 250}));
}

// The first series of each font row, on zones whose points the test chose.
TEST_F(Thresholds, FirstSeriesPerFont) {
  const struct {
    short font;
    uint16_t side;
    uint8_t backlit;
    int v0, v8, v14;
    int low, high, count, D;
    float K;
  } cases[] = {
      {202, 1, 0, 30, 200, 230, 5, 180, 15, 20, 0.01f},  {202, 2, 0, 30, 200, 230, 5, 100, 15, 20, 0.01f},
      {1, 1, 0, 30, 120, 200, 50, 150, 9, 20, 0.1f},     {1, 1, 0, 70, 160, 200, 70, 160, 9, 20, 0.1f},
      {1, 1, 0, 120, 200, 230, 100, 180, 9, 20, 0.1f},    {39, 1, 0, 30, 120, 200, 10, 120, 9, 20, 0.1f},
      {4, 1, 0, 8, 200, 230, 8, 150, 9, 20, 0.1f},       {938, 1, 0, 30, 60, 100, 5, 150, 15, 5, 0.01f},
      {940, 1, 0, 30, 100, 245, 5, 240, 15, 5, 0.01f},   {935, 1, 0, 8, 100, 200, 5, 220, 15, 5, 0.01f},
      {943, 1, 0, 40, 150, 230, 20, 230, 15, 5, 0.01f},  {944, 1, 1, 40, 150, 230, 10, 100, 15, 5, 0.01f},
      {945, 1, 0, 10, 50, 100, 10, 80, 15, 20, 0.02f},   {945, 1, 0, 80, 150, 200, 30, 150, 15, 20, 0.02f},
      {944, 1, 0, 120, 200, 230, 60, 200, 15, 20, 0.02f}, {9, 1, 0, 50, 100, 200, 30, 150, 9, 20, 0.1f},
      {2, 1, 0, 20, 200, 230, 20, 200, 9, 20, 0.1f},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "font " << c.font << " v0 " << c.v0);
    MyOcr.currentFont = c.font;
    MyOcr.zoneSide = c.side;
    UtilizzoImgBacklight = c.backlit;
    Zone z = withPoints(c.v0, c.v8, c.v14);
    ThresholdSeries s{};
    pvk::ocr::firstThresholdSeries(&z.img, s);
    ASSERT_EQ(ValSogliaOCR[8], c.v8);
    EXPECT_EQ(s.count, c.count);
    EXPECT_EQ(s.n, c.count);
    EXPECT_EQ(s.D, c.D);
    EXPECT_FLOAT_EQ(s.K, c.K);
    const std::vector<int> values = sorted(std::vector<int>(s.t, s.t + s.n));
    EXPECT_EQ(values.front(), std::max(c.low, 1));
    EXPECT_NEAR(values.back(), c.high, 1);
  }
}

TEST_F(Thresholds, LaterSeriesNarrowAroundTheReadings) {
  Zone z = withPoints(30, 120, 200);
  ThresholdSeries s{};
  pvk::ocr::firstThresholdSeries(&z.img, s);
  const std::vector<int> first(s.t, s.t + s.n);
  sMean = 77;
  pvk::ocr::nextThresholdSeries(s, -1, -1);
  EXPECT_EQ(sMean, 0);
  EXPECT_EQ(s.D, 5);
  EXPECT_FLOAT_EQ(s.K, 0.025f);
  EXPECT_EQ(std::vector<int>(s.t, s.t + s.n), first) << "kept when nothing was read";

  pvk::ocr::nextThresholdSeries(s, 60, 100);
  EXPECT_EQ(sMean, 80);
  EXPECT_EQ(s.D, 1);
  EXPECT_EQ(sorted(std::vector<int>(s.t, s.t + s.n)), (std::vector<int>{60, 65, 70, 75, 80, 85, 90, 95, 100}));
  pvk::ocr::nextThresholdSeries(s, 100, 120);  // 20 / 9 < 4: widened by 10 each side
  EXPECT_EQ(sMean, 110);
  EXPECT_EQ(sorted(std::vector<int>(s.t, s.t + s.n)), (std::vector<int>{90, 95, 100, 105, 110, 115, 120, 125, 130}));
  pvk::ocr::nextThresholdSeries(s, 10, 20);  // a low start reaches down to 5
  EXPECT_EQ(sorted(std::vector<int>(s.t, s.t + s.n)), (std::vector<int>{5, 7, 10, 12, 15, 17, 20, 22, 25}));
  pvk::ocr::nextThresholdSeries(s, 240, 250);
  EXPECT_EQ(sorted(std::vector<int>(s.t, s.t + s.n)).back(), 250);
  EXPECT_EQ(s.D, 0);
}

}  // namespace
