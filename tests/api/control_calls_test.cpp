// Scanner control as a host sees it, on the software scanner's default scanner (full-featured
// profile: colour, IR, UV, backlight, photo-sensor tuning, entry photocell, feeder).
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "PlavikMS.h"
#include "host_test_util.h"
#include "../../emulator/pvkemu.h"  // the software scanner's test interface
#include "../../emulator/pvkemu_image.h"

namespace {

using apitest::asHandle;
using apitest::busOfOne;
using apitest::emu;
using apitest::fileText;
using apitest::processDir;

class ControlCalls : public ::testing::Test {
 protected:
  std::string dir = processDir();
  int h = -1;
  void SetUp() override {
    ASSERT_NE(emu<void*>("pvkemu_loaded"), nullptr);
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override {
    while (PVKClose(asHandle(h)) == 0 && PVKReadStatusL(asHandle(h)) != 0) {
    }
  }
  short get(int id) {
    short v = -999;
    EXPECT_EQ(PVKGetParameter(id, &v), 0) << id;
    return v;
  }
  std::string counters() {
    char sn[32] = {};
    PVKReadSN(asHandle(h), sn, sizeof sn);
    return fileText(dir + "/pid_0009_" + sn + ".reg");
  }
};

TEST_F(ControlCalls, ParametersKeepTheirRanges) {
  EXPECT_EQ(get(0), 1);
  EXPECT_EQ(PVKSetParameter(65536, 2), -3);  // not id 0
  EXPECT_EQ(get(0), 1);
  EXPECT_EQ(PVKSetParameter(0, 24), 0);  // IR and UV without a base colour
  EXPECT_EQ(get(0), 25);
  EXPECT_EQ(PVKSetParameter(0, 6), -3);
  EXPECT_EQ(get(0), 25);
  EXPECT_EQ(PVKSetParameter(0, 1), 0);
  EXPECT_EQ(PVKSetParameter(6, 128), 0);
  EXPECT_EQ(get(6), 128);
  EXPECT_EQ(PVKGetParameter0(6), 128);
  EXPECT_EQ(PVKSetParameter(5, -1), -3);
  EXPECT_EQ(PVKGetLastResult(), -3);
  EXPECT_EQ(PVKSetParameter(1, 2), -3);
  EXPECT_EQ(get(1), 1);
  EXPECT_EQ(PVKSetParameter(103, 0), 0);
  EXPECT_EQ(get(103), 60);
  EXPECT_EQ(PVKSetParameter(19, 1), 0);
  EXPECT_EQ(get(19), 1);
  EXPECT_EQ(PVKSetParameter(19, 0), 0);
  EXPECT_EQ(PVKSetParameter(1000, 5), -3);
  short v = 77;
  EXPECT_EQ(PVKGetParameter(104, &v), -3);
  EXPECT_EQ(v, 77);
  EXPECT_EQ(PVKGetParameter(0, nullptr), -3);
  EXPECT_EQ(PVKGetParameter0(7), 0);
}

TEST_F(ControlCalls, ParametersNeedTheOpenDevice) {
  short v = 0;
  EXPECT_EQ(PVKClose(asHandle(h)), 0);
  EXPECT_EQ(PVKSetParameter(6, 10), -1);
  EXPECT_EQ(PVKGetParameter(6, &v), 0);  // reading works without a device
  h = PVKInitializeSN(dir.data(), nullptr);
}

TEST_F(ControlCalls, BrightnessContrastAndWrongHandles) {
  EXPECT_EQ(PVKBrightness(asHandle(h), 50, -50), 0);
  EXPECT_EQ(PVKContrast(asHandle(h), 101, 0), -3);
  EXPECT_EQ(PVKBrightness(asHandle(h + 1), 0, 0), -1);
  EXPECT_EQ(PVKScannerReset(asHandle(h)), 0);
  EXPECT_EQ(PVKScannerReset(asHandle(h + 1)), -3);
  EXPECT_EQ(PVKGetAcqHeight(asHandle(h), 3, 100), 0);
}

TEST_F(ControlCalls, PhotoTuningRoundTrip) {
  EXPECT_EQ(PVKPhotoTunWriteVB(asHandle(h), 1, 2, 3, 4, 5, 6, 7, 8), 0);
  unsigned char b[8] = {};
  EXPECT_EQ(PVKPhotoTunReadVB(asHandle(h), &b[0], &b[1], &b[2], &b[3], &b[4], &b[5], &b[6], nullptr), 0);
  for (int k = 0; k < 7; ++k) EXPECT_EQ(b[k], k + 1);
  EXPECT_EQ(PVKPhotoTunRead(asHandle(h), nullptr), -3);
}

// Each paper move of the cleaning cycle is an acquisition: the device streams a short white
// sheet for it, and the sheet model moves the cleaning sheet on.
class Cleaning : public ControlCalls {
 protected:
  void SetUp() override {
    // A bus of one full-featured scanner, as the default one, shaped by the test.
    ASSERT_NE(emu<void*>("pvkemu_loaded"), nullptr);
    ASSERT_EQ(busOfOne("pvkemu_profile_full"), 0);
    pvkemu_document doc{};
    doc.width = 2592;
    doc.height = 16;
    ASSERT_EQ(emu<int (*)(int, const pvkemu_document*)>("pvkemu_feed")(0, &doc), 0);
    ControlCalls::SetUp();
  }
  void TearDown() override {
    emu<int (*)(int)>("pvkemu_sheet_remove")(0);
    ControlCalls::TearDown();
  }
  void sheet(int polls, int moves) {
    ASSERT_EQ(emu<int (*)(int, int, int, uint32_t)>("pvkemu_sheet")(0, polls, moves, 0x4), 0);
  }
};

TEST_F(Cleaning, ASheetThatGoesThroughClearsTheFlag) {
  sheet(5, 4);
  EXPECT_EQ(PVKClean(asHandle(h)), 0);
  EXPECT_NE(counters().find("CleaningRequired=0"), std::string::npos) << counters();
}

TEST_F(Cleaning, ASheetThatStaysInIsADeviceError) {
  sheet(0, -1);
  const std::string before = counters();
  EXPECT_EQ(PVKClean(asHandle(h)), -21);
  EXPECT_EQ(PVKGetLastResult(), -21);
  EXPECT_EQ(counters(), before);  // the cleaning-required flag is not cleared
}

TEST_F(Cleaning, StopRequestEndsTheMovesUntilScanEnable) {
  sheet(0, 4);
  EXPECT_EQ(PVKStop(asHandle(h), 1), 0);
  EXPECT_EQ(PVKClean(asHandle(h)), -19);
  EXPECT_EQ(PVKScanEnable(asHandle(h), 0), 0);
  sheet(0, 4);
  EXPECT_EQ(PVKClean(asHandle(h)), 0);
}

}  // namespace
