// The correction record: brightness/contrast tables, the correction-mode code and the LED
// levels of each side.
#include <gtest/gtest.h>

#include <cstring>

#include "calibration/calibration.h"

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
