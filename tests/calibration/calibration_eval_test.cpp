// The arithmetic of calibration on hand-made side records: feature count, LED search steps,
// pass sizes, reference evaluation, the LED table, error texts and the cleaning flag.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "core/ini.h"

namespace {

class CalibrationSteps : public ::testing::Test {
 protected:
  std::vector<uint8_t> pixels, white, black;
  std::string trace, counters;

  void SetUp() override {
    std::memset(&MyDev, 0, sizeof MyDev);
    std::memset(&MyAcq, 0, sizeof MyAcq);
    std::memset(MyCorS, 0, sizeof MyCorS);
    std::memset(&MyLog, 0, sizeof MyLog);
    trace = ::testing::TempDir() + "calib_steps_" + std::to_string(getpid()) + ".log";
    counters = ::testing::TempDir() + "calib_counters_" + std::to_string(getpid()) + ".reg";
    std::remove(trace.c_str());
    std::remove(counters.c_str());
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s", trace.c_str());
    MyLog.Log = 1;
    MyDev.fwVersion = 0x5011;
    MyAcq.planesPerLine = MyAcq.colourLines = 1;
    MyAcq.greyLed = 1;
  }
  void TearDown() override {
    std::memset(MyCorS, 0, sizeof MyCorS);  // the buffers are the test's own vectors
    std::remove(trace.c_str());
    std::remove(counters.c_str());
  }
  std::string read(const std::string& path) const {
    std::ifstream f(path);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  // A front side of `width` pixels, `rows` rows of one plane, with references of its own.
  void frontSide(int width, int rows, int dpi) {
    pixels.assign(static_cast<size_t>(width) * rows, 0);
    white.assign(width, 0);
    black.assign(width, 0);
    ImgInfo& img = MyDev.img[1];
    img.planesPerLine = 1;
    img.fullWidth = img.trimWidth = static_cast<uint16_t>(width);
    img.rawLineBytes = img.planeLineBytes = static_cast<uint16_t>(width);
    img.rowsUsed = static_cast<uint16_t>(rows);
    img.dpiH = img.dpiV = static_cast<uint16_t>(dpi);
    img.firstRow = pixels.data();
    MyCorS[1].white = white.data();
    MyCorS[1].black = black.data();
    MyCorS[1].pixelsInUse = MyCorS[1].pixelsAlloc = static_cast<uint16_t>(width);
  }
  uint8_t& px(int row, int x) { return pixels[static_cast<size_t>(row) * MyDev.img[1].rawLineBytes + x]; }
};

TEST_F(CalibrationSteps, FeatureCountOverTheDevicesFeatures) {
  // A magnetic head and infrared, no ultraviolet or backlight: none, MICR, IR, IR + MICR.
  auto states = pvk::calibration::featureStates(true, true, false, false);
  ASSERT_EQ(states.size(), 4u);
  EXPECT_TRUE(!states[0].micr && !states[0].ir);
  EXPECT_TRUE(states[1].micr && !states[1].ir);
  EXPECT_TRUE(!states[2].micr && states[2].ir);
  EXPECT_TRUE(states[3].micr && states[3].ir);
  auto all = pvk::calibration::featureStates(true, true, false, true);
  ASSERT_EQ(all.size(), 8u);
  EXPECT_TRUE(all[4].backlight && !all[4].micr && !all[4].ir);
  EXPECT_TRUE(all[7].backlight && all[7].micr && all[7].ir);
  EXPECT_EQ(pvk::calibration::featureStates(false, false, false, false).size(), 1u);
}

TEST_F(CalibrationSteps, LedSearchStepsAndPassSizes) {
  EXPECT_EQ(pvk::calibration::reducedLedLevel(40, 20, false), 36);  // min(36, 37)
  EXPECT_EQ(pvk::calibration::reducedLedLevel(2, 10, false), -1);   // the step 1 is not below 1
  EXPECT_EQ(pvk::calibration::reducedLedLevel(33, 10, false), 29);
  EXPECT_EQ(pvk::calibration::reducedLedLevel(255, 100, false), 178);
  EXPECT_EQ(pvk::calibration::reducedLedLevel(255, 100, true), 229);
  // Black pass rows at 300 dpi: 112 up to firmware 0x3000, 32 after.
  MyDev.fwVersion = 0x3000;
  EXPECT_EQ(pvk::calibration::blackPassRows(300), 112);
  EXPECT_EQ(pvk::calibration::blackPassRows(40), 32);
  MyDev.fwVersion = 0x3001;
  EXPECT_EQ(pvk::calibration::blackPassRows(300), 32);
  int s = 0, l = 0;
  pvk::calibration::whitePassSizes(300, s, l);
  EXPECT_EQ(s, 8);
  EXPECT_EQ(l, 32);
  MyDev.fwVersion = 0x3000;
  pvk::calibration::whitePassSizes(300, s, l);
  EXPECT_EQ(s, 3072);
  EXPECT_EQ(l, 3072);
  MyDev.highSpeed = 1;
  pvk::calibration::whitePassSizes(300, s, l);
  EXPECT_EQ(s, 8);
  EXPECT_EQ(l, 64);
  MyDev.FwCapG = 1;  // the transport reverses between white passes
  pvk::calibration::whitePassSizes(300, s, l);
  EXPECT_EQ(s, 64);
  EXPECT_EQ(l, 128);
}

TEST_F(CalibrationSteps, WhiteEvaluation) {
  frontSide(100, 4, 10);
  int sat[kColourSlots] = {};
  WhiteEval(1, 4, sat);
  EXPECT_EQ(MyCorS[1].whiteLev[0], 1);  // a mean white of 0 is level 1
  EXPECT_EQ(sat[0], 0);
  // Columns 10..90 are counted (81, the count starting at 1); 40 saturate at 253, and one
  // reading 254.5 becomes 255 and saturates too.
  for (int r = 0; r < 4; ++r)
    for (int x = 0; x < 100; ++x) px(r, x) = x < 50 ? 253 : 200;
  px(0, 60) = px(1, 60) = 254;
  px(2, 60) = px(3, 60) = 255;
  WhiteEval(1, 4, sat);
  EXPECT_EQ(white[60], 255);
  EXPECT_EQ(white[70], 200);
  EXPECT_EQ(sat[0], 41 * 100 / 82);
  EXPECT_EQ(MyCorS[1].whiteLev[0], (40 * 253 + 40 * 200 + 255) / 82);
}

TEST_F(CalibrationSteps, BlackEvaluation) {
  frontSide(64, 2, 16);
  for (int x = 0; x < 64; ++x) {
    px(0, x) = 10;
    px(1, x) = 11;
  }
  BackEval(1, pixels.data(), 2);
  EXPECT_EQ(black[5], 11);  // 10.5 rounds up
  EXPECT_EQ(MyCorS[1].blackLev[0], 11 * 61 / 62);
  EXPECT_EQ(MyCorS[1].blackLev[1], MyCorS[1].blackLev[0]);  // grey: green and blue follow red
  std::fill(pixels.begin(), pixels.end(), 0);
  BackEval(1, pixels.data(), 2);
  EXPECT_EQ(MyCorS[1].blackLev[0], 1);  // never below 1
}

TEST_F(CalibrationSteps, LedTableConsistency) {
  MyDev.ledIndependent = 1;
  MyDev.bothSidesCalib = 1;
  MyAcq.greyLed = 4;
  MyCorS[1].ledLev[0] = 90;
  VerificaLed();
  EXPECT_EQ(MyCorS[1].ledLev[0], 0);
  EXPECT_EQ(MyCorS[1].ledLev[1], 90);
  // Red alone keeps red; blue alone takes red's level.
  const uint16_t rgb[3] = {70, 50, 30};
  std::memcpy(MyCorS[0].ledLev, rgb, sizeof rgb);
  MyAcq.greyLed = 3;
  VerificaLed();
  EXPECT_TRUE(MyCorS[0].ledLev[0] == 70 && MyCorS[0].ledLev[1] == 0 && MyCorS[0].ledLev[2] == 0);
  MyAcq.greyLed = 5;
  VerificaLed();
  EXPECT_TRUE(MyCorS[0].ledLev[0] == 0 && MyCorS[0].ledLev[1] == 0 && MyCorS[0].ledLev[2] == 70);
  MyDev.ledIndependent = 0;
  MyAcq.greyLed = 2;
  const uint16_t levels[3] = {80, 60, 70};
  std::memcpy(MyCorS[1].ledLev, levels, sizeof levels);
  MyCorS[1].ledLev[3] = MyCorS[1].ledLev[4] = 50;
  MyCorS[2].ledLev[0] = MyCorS[2].ledLev[2] = 40;
  VerificaLed();
  EXPECT_EQ(MyCorS[1].ledLev[0], 60);
  EXPECT_EQ(MyCorS[1].ledLev[2], 60);
  EXPECT_EQ(MyCorS[1].ledLev[3], 0);  // no infrared
  EXPECT_EQ(MyCorS[1].ledLev[4], 0);  // no ultraviolet
  EXPECT_EQ(MyCorS[2].ledLev[0], 0);  // no backlight
  EXPECT_EQ(MyCorS[2].ledLev[2], 0);
  // One level per colour for both sides: the lower non-zero one.
  MyDev.bothSidesCalib = 0;
  MyAcq.greyLed = 1;
  MyCorS[1].ledLev[0] = 0;
  MyCorS[0].ledLev[0] = 30;
  VerificaLed();
  EXPECT_EQ(MyCorS[1].ledLev[0], 30);
  MyCorS[1].ledLev[0] = 50;
  MyCorS[0].ledLev[0] = 70;
  VerificaLed();
  EXPECT_EQ(MyCorS[0].ledLev[0], 50);
}

TEST_F(CalibrationSteps, ErrorTexts) {
  MyAcq.greyLed = 2;
  MyAcq.mode = 3;
  WriteCalibrationError("black ", 0);
  MyAcq.greyLed = 5;
  WriteCalibrationError("white", 1);
  const std::string t = read(trace);
  EXPECT_NE(t.find("RGB - too many errors on black  calibration - rear  - mode 3"), std::string::npos) << t;
  EXPECT_NE(t.find("BLU - too many errors on white calibration - front - mode 3"), std::string::npos) << t;
}

TEST_F(CalibrationSteps, CleaningFlagAndCheck) {
  std::snprintf(MyLog.deviceFile, sizeof MyLog.deviceFile, "%s", counters.c_str());
  MyDev.cleaningCheckEnabled = 1;
  WritePrivateProfileString("General", "CleaningRequired", "1", counters.c_str());
  // Not calibrated: the key is ignored and the flag cleared.
  MyDev.calibValid = 0;
  EXPECT_EQ(Vx3CleanCheck(), 0);
  EXPECT_EQ(MyDev.cleaningRequired, 0);
  EXPECT_NE(read(trace).find("Cleaning ignored as not calibrated"), std::string::npos);
  MyDev.calibValid = 1;
  EXPECT_EQ(Vx3CleanCheck(), PVK_WAR_CLEANING_REQUIRED);
  EXPECT_EQ(MyDev.cleaningRequired, 1);
  WritePrivateProfileString("General", "CleaningRequired", "0", counters.c_str());
  EXPECT_EQ(Vx3CleanCheck(), 0);
  EXPECT_EQ(MyDev.cleaningRequired, 0);
  // The flag raised by the dirt detection becomes result 10 and the key.
  MyDev.cleaningRequired = 1;
  MyDev.lastResult = 0;
  VerificaEdAggiornaCleaningRequired();
  EXPECT_EQ(MyDev.lastResult, PVK_WAR_CLEANING_REQUIRED);
  EXPECT_NE(read(counters).find("CleaningRequired=1"), std::string::npos);
  MyDev.calibValid = 0;
  VerificaEdAggiornaCleaningRequired();
  EXPECT_EQ(MyDev.cleaningRequired, 0);
}

}  // namespace
