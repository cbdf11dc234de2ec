// Gains, per-pixel correction, borders and mirroring, and the firmware predicates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "acquisition/acquisition.h"

using namespace pvk::acquisition;

TEST(Gains, DifferencesAroundTheLimitsAndShortReferences) {
  uint8_t white[6] = {125, 126, 110, 90, 200, 255};
  uint8_t black[6] = {100, 100, 109, 100, 0, 0};
  float coef[8];
  fillGains(coef, 8, 6, white, black, 6, 265.0f);
  EXPECT_FLOAT_EQ(coef[0], 10.0f);            // white - black = 25
  EXPECT_FLOAT_EQ(coef[1], 265.0f / 26.0f);   // 26
  EXPECT_FLOAT_EQ(coef[2], 10.0f);            // 1
  EXPECT_FLOAT_EQ(coef[3], 1.0f);             // negative
  EXPECT_FLOAT_EQ(coef[4], 265.0f / 200.0f);
  EXPECT_FLOAT_EQ(coef[6], 1.0f);             // beyond the width
  fillGains(coef, 8, 8, white, black, 3, 255.0f);  // references shorter than the width
  EXPECT_FLOAT_EQ(coef[1], 255.0f / 26.0f);
  EXPECT_FLOAT_EQ(coef[4], 1.0f);
  fillGains(coef, 8, 8, nullptr, black, 6, 265.0f);
  EXPECT_FLOAT_EQ(coef[1], 1.0f);
}

namespace {

struct Plane {
  std::vector<uint8_t> pixels;
  std::vector<uint8_t> black;
  std::vector<float> coef;
  uint8_t lut[256];
  CorrectionPlane cp{};
  Plane(uint32_t S, uint32_t rows, uint32_t stride) : pixels(stride * rows) {
    for (int v = 0; v < 256; ++v) lut[v] = static_cast<uint8_t>(255 - v);
    cp.rowStride = stride;
    cp.rows = rows;
    cp.sensorPixels = S;
    cp.lut = lut;
  }
  void bind() {
    cp.firstPixel = pixels.data();
    cp.black = black.empty() ? nullptr : black.data();
    cp.blackBytes = static_cast<uint32_t>(black.size());
    cp.coef = coef.empty() ? nullptr : coef.data();
    cp.coefCount = static_cast<uint32_t>(coef.size());
  }
};

}  // namespace

TEST(Correction, ValuesGoThroughTheTableAndTheBordersBecome10) {
  Plane p(10, 2, 16);
  p.black.assign(10, 10);
  p.coef.assign(10, 2.0f);
  p.cp.trimLeft = 2;
  p.cp.trimWidth = 6;
  p.cp.fullWidth = 6;
  uint8_t row[10] = {50, 50, 5, 10, 137, 138, 200, 11, 50, 50};
  std::memcpy(p.pixels.data(), row, 10);
  std::memcpy(p.pixels.data() + 16, row, 10);
  p.pixels[10] = 99;  // beyond the sensor pixels: another plane's byte, left alone
  p.bind();
  correctPlane(p.cp, true);
  for (int r = 0; r < 2; ++r) {
    const uint8_t* l = p.pixels.data() + r * 16;
    EXPECT_EQ(l[0], 10);
    EXPECT_EQ(l[1], 10);
    EXPECT_EQ(l[2], 255);        // negative -> LUT[0]
    EXPECT_EQ(l[3], 255);        // 0 -> LUT[0]
    EXPECT_EQ(l[4], 255 - 254);  // (137 - 10) x 2 = 254
    EXPECT_EQ(l[5], 0);          // 256 -> LUT[255]
    EXPECT_EQ(l[6], 0);
    EXPECT_EQ(l[7], 255 - 2);
    EXPECT_EQ(l[8], 10);         // from full width + trim left on
    EXPECT_EQ(l[9], 10);
  }
  EXPECT_EQ(p.pixels[10], 99);
}

TEST(Correction, ShortReferencesGiveNeutralValuesAndNoOffsetLeavesPixels) {
  Plane p(8, 1, 8);
  p.black.assign(3, 20);  // shorter than the trim width
  p.coef.assign(2, 2.0f);
  p.cp.trimWidth = 8;
  p.cp.fullWidth = 8;
  for (int x = 0; x < 8; ++x) p.pixels[x] = static_cast<uint8_t>(100 + x);
  p.bind();
  correctPlane(p.cp, true);
  EXPECT_EQ(p.pixels[0], 255 - 160);  // (100 - 20) x 2
  EXPECT_EQ(p.pixels[2], 255 - 82);   // black 20, gain 1 beyond the coefficients
  EXPECT_EQ(p.pixels[5], 255 - 105);  // neutral beyond both
  Plane q(8, 1, 8);
  q.cp.trimLeft = 1;
  q.cp.trimWidth = 6;
  q.cp.fullWidth = 6;
  for (int x = 0; x < 8; ++x) q.pixels[x] = 77;
  q.bind();
  correctPlane(q.cp, true);  // no black reference: only the borders change
  EXPECT_EQ(q.pixels[0], 10);
  EXPECT_EQ(q.pixels[3], 77);
  EXPECT_EQ(q.pixels[7], 10);
}

TEST(Correction, MirrorReversesEachRowOverTheWidth) {
  std::vector<uint8_t> px = {1, 2, 3, 4, 9, 5, 6, 7, 8, 9};
  mirrorPlane(px.data(), 5, 2, 4);
  EXPECT_EQ(px, (std::vector<uint8_t>{4, 3, 2, 1, 9, 8, 7, 6, 5, 9}));
}

class Records : public ::testing::Test {
 protected:
  void SetUp() override { std::memset(&MyDev, 0, sizeof MyDev); }
};

TEST_F(Records, FirmwarePredicates) {
  MyDev.fwVersion = 0x3001;
  EXPECT_TRUE(IS_3000_VERSION());
  MyDev.fwVersion = 0x3000;
  EXPECT_FALSE(IS_3000_VERSION());
  MyDev.fwVersion = 0x2207;
  EXPECT_TRUE(IS_2205_VERSION());
  MyDev.fwVersion = 0x2204;
  EXPECT_TRUE(IS_2201_VERSION());
  MyDev.fwVersion = 0x2103;
  MyDev.serialLow = 216547;
  EXPECT_FALSE(IS_21XX_VERSION());
  MyDev.serialLow = 216548;
  EXPECT_TRUE(IS_21XX_VERSION());
  MyDev.fwVersion = 0x2100;
  EXPECT_FALSE(IS_202X_VERSION());
  MyDev.fwVersion = 0x2021;
  EXPECT_TRUE(IS_202X_VERSION());
}

// The correction as one pixel at a time, the form the vectorised lines must match byte for byte.
void referenceCorrection(const CorrectionPlane& p, bool correct) {
  const uint32_t from = std::min(p.trimLeft, p.sensorPixels);
  const uint32_t to = std::min(p.trimLeft + p.trimWidth, p.sensorPixels);
  const uint32_t borderFrom = std::min(p.fullWidth + p.trimLeft, p.sensorPixels);
  for (uint32_t r = 0; r < p.rows; ++r) {
    uint8_t* line = p.firstPixel + r * p.rowStride;
    for (uint32_t x = from; correct && p.black && x < to; ++x) {
      const int b = x < p.blackBytes ? p.black[x] : 0;
      const float gain = p.coef && x < p.coefCount ? p.coef[x] : 1.0f;
      const int iv = static_cast<int>(static_cast<float>(static_cast<int>(line[x]) - b) * gain);
      line[x] = p.lut[iv <= 0 ? 0 : (iv >= 255 ? 255 : iv)];
    }
    for (uint32_t x = 0; x < p.sensorPixels; ++x)
      if (x < from || x >= borderFrom) line[x] = 10;
  }
}

TEST(Correction, RandomLinesComeOutAsCorrectedOnePixelAtATime) {
  std::mt19937 rng(1603);
  auto pick = [&rng](uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng); };
  for (int round = 0; round < 40; ++round) {
    SCOPED_TRACE(round);
    const uint32_t S = pick(1, 300), stride = S + pick(0, 40), rows = pick(1, 5);
    std::vector<uint8_t> pixels(stride * rows + 1), black(S), lut(256);
    std::vector<float> coef(S);
    for (auto& v : pixels) v = static_cast<uint8_t>(rng());
    for (auto& v : black) v = static_cast<uint8_t>(pick(0, 40));
    // Gains as the references give them, exact halves and thirds among them (ties of truncation).
    for (auto& c : coef) c = pick(0, 3) == 0 ? 1.0f / 3.0f * static_cast<float>(pick(1, 9)) : 265.0f / static_cast<float>(pick(26, 255));
    const int brightness = round % 3 == 0 ? 0 : static_cast<int>(pick(0, 60)) - 30;
    for (int v = 0; v < 256; ++v) lut[v] = static_cast<uint8_t>(std::clamp(v + brightness, 0, 255));
    // A shuffled table: a value looked up in the wrong half or lane shows.
    if (round % 3 == 2) std::shuffle(lut.begin(), lut.end(), rng);
    CorrectionPlane cp{};
    cp.rowStride = stride;
    cp.rows = rows;
    cp.sensorPixels = S;
    cp.trimLeft = pick(0, S / 3);
    cp.trimWidth = pick(0, S);
    cp.fullWidth = pick(0, S);
    cp.black = round % 7 == 6 ? nullptr : black.data();
    cp.blackBytes = pick(0, S + 5) > S ? S : pick(0, S);  // references sometimes short
    cp.coef = round % 5 == 4 ? nullptr : coef.data();
    cp.coefCount = pick(0, 3) ? S : pick(0, S);
    cp.lut = lut.data();
    std::vector<uint8_t> want = pixels;
    cp.firstPixel = want.data();
    referenceCorrection(cp, round % 11 != 10);
    cp.firstPixel = pixels.data();
    correctPlane(cp, round % 11 != 10);
    ASSERT_EQ(pixels, want);
  }
}
