// Gains, per-pixel correction, borders and mirroring; the brightness/contrast tables, LED levels
// and the correction-mode code.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "acquisition/acq_engine.h"
#include "acquisition/correction.h"

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
  void SetUp() override {
    std::memset(&MyDev, 0, sizeof MyDev);
    std::memset(&MyAcq, 0, sizeof MyAcq);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    std::memset(MyBrCr, 0, sizeof MyBrCr);
  }
};

TEST_F(Records, BrightnessContrastTables) {
  BrightnessContrastEval(1);
  for (int v = 0; v < 256; ++v) ASSERT_EQ(BrightnessAndContrast(1, static_cast<uint8_t>(v)), v);
  Contrast(1, int16_t{128});
  EXPECT_EQ(BrightnessAndContrast(1, 100), 72);  // 2v - 128
  EXPECT_EQ(BrightnessAndContrast(1, 200), 255);
  Contrast(1, int16_t{-128});
  EXPECT_EQ(BrightnessAndContrast(1, 0), 128);
  EXPECT_EQ(BrightnessAndContrast(1, 255), 128);
  Contrast(1, int16_t{1});
  EXPECT_EQ(BrightnessAndContrast(1, 127), 126);  // -1 >> 7 = -1
  Contrast(1, int16_t{0});
  Brightness(1, int16_t{-10});
  EXPECT_EQ(BrightnessAndContrast(1, 5), 0);
  // The same value again does not rebuild: a table changed behind it stays.
  MyBrCr[1].lut[40] = 1;
  Brightness(1, int16_t{-10});
  EXPECT_EQ(BrightnessAndContrast(1, 40), 1);
  Brightness(1, int16_t{-9});
  EXPECT_EQ(BrightnessAndContrast(1, 40), 31);
  EXPECT_EQ(Brightness(1), -9);
  Brightness(7, int16_t{3});  // no such side
}

TEST_F(Records, CorrectionModeCodes) {
  MyAcq.greyLed = 1;
  EXPECT_EQ(CorrMode(), 0x0110);
  MyAcq.rearOff = 1;
  MyDev.rearPresent = 1;
  EXPECT_EQ(CorrMode(), 0x0310);
  MyDev.bothSidesCalib = 1;  // one calibration for both sides: the rear switch does not count
  EXPECT_EQ(CorrMode(), 0x0110);
  MyAcq.mode = 3;
  MyAcq.greyLed = 2;
  MyAcq.uv = MyAcq.backlight = MyAcq.ir = 1;
  MyDev.highSpeed = 1;
  EXPECT_EQ(CorrMode(), 0x3 + 0x20 + 0x100 + 0x400 + 0x800 + 0x1000 + 0x8000);
  MyDev.micrDependentCalib = 1;
  MyMICR.enabled = 1;
  EXPECT_EQ(CorrMode() & 0x6000, 0x4000);
  MyMICR.head.flags[0] = 1;  // head configuration bit 3
  EXPECT_EQ(CorrMode() & 0x6000, 0x2000);
}

TEST_F(Records, LedLevels) {
  MyAcq.greyLed = 1;
  std::memset(MyCorS[1].ledLev, 0, sizeof MyCorS[1].ledLev);
  LedLevSet(1, 600, 6);
  EXPECT_EQ(MyCorS[1].ledLev[0], 0);
  LedLevSet(1, 600, kColourRed);  // full speed: at most 63
  EXPECT_EQ(MyCorS[1].ledLev[0], 63);
  MyDev.highSpeed = 1;
  MyDev.fwVersion = 0x2500;
  LedLevSet(1, 600, kColourGreen);
  EXPECT_EQ(MyCorS[1].ledLev[1], 511);
  MyDev.fwVersion = 0x3103;
  LedLevSet(1, 1000, kColourBlue);
  EXPECT_EQ(MyCorS[1].ledLev[2], 255);
  MyAcq.uv = 1;
  LedLevSet(1, 1000, kColourUv);  // the default UV level (no INI: 254), clipped
  EXPECT_EQ(MyCorS[1].ledLev[4], 254);
  MyDev.highSpeed = 0;
  LedLevSet(1, 1000, kColourUv);
  EXPECT_EQ(MyCorS[1].ledLev[4], 63);
  MyAcq.greyLed = 4;
  MyAcq.ir = 1;
  LedLevSet(0, 40);
  EXPECT_EQ(MyCorS[0].ledLev[0], 0);
  EXPECT_EQ(MyCorS[0].ledLev[1], 40);
  EXPECT_EQ(MyCorS[0].ledLev[3], 40);
  EXPECT_EQ(MyCorS[0].ledLev[4], 40);
  LedLevSet(2, 40);
  EXPECT_EQ(MyCorS[2].ledLev[0], 0);  // backlight off
}

TEST_F(Records, SideLevelsTakeTheDefaultsAndMaximaOfEachLed) {
  MyDev.state = 1;
  MyDev.highSpeed = 1;
  MyDev.fwVersion = 0x3105;
  MyAcq.greyLed = 1;
  MyAcq.planesPerLine = 1;
  CorrModeReset(MyCorS);  // neutral data: every LED at its default, never the 1000 asked
  EXPECT_EQ(MyCorS[1].ledLev[0], 255);
  EXPECT_EQ(MyCorS[0].ledLev[2], 255);
  EXPECT_EQ(MyCorS[1].ledLev[4], 0);  // ultraviolet off
  MyAcq.uv = MyAcq.backlight = 1;
  LedLevSet(1, 1000);
  EXPECT_EQ(MyCorS[1].ledLev[4], 254);  // the default ultraviolet level
  LedLevSet(2, 1000);
  EXPECT_EQ(MyCorS[2].ledLev[0], 150);  // the default backlight level
  MyDev.highSpeed = 0;
  MyAcq.greyLed = 3;
  LedLevSet(0, 600);
  EXPECT_EQ(MyCorS[0].ledLev[0], 63);  // full speed
  EXPECT_EQ(MyCorS[0].ledLev[1], 0);
  // Older firmware of the 0x21xx family in grey: its own default, then 0.8 of it.
  MyDev.highSpeed = 1;
  MyDev.fwVersion = 0x2150;
  MyAcq.greyLed = 1;
  MyAcq.uv = MyAcq.backlight = 0;
  CorrModeReset(MyCorS);
  EXPECT_EQ(MyCorS[1].ledLev[0], 240);  // 300 x 0.8
  CorrInfoFree(MyCorS);
}

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
