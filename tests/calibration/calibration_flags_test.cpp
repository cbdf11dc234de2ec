// Calibration runs on scanners whose firmware says different things of their LEDs, sides and
// transport: shared or separate LED levels per side, red, green and blue set apart or together,
// grey started from the colour levels, front-only settings, the sheet length, backward passes,
// and settings that depend on the magnetic head. Each run leaves files the next document uses.
#include <array>

#include "calib_sheet_fixture.h"
#include "core/image_utils.h"

namespace {

struct Block {
  uint32_t lines;
  bool forward;
};

class CalibrationFlags : public Calibration {
 protected:
  // A scanner of the basic profile (full speed, highest LED level 63) whose sensor saturates
  // well below that level, the weaker LEDs as their gains say; with firmware below 0x3001 the
  // device is the basic one with the capability flags that firmware gives (the library sets
  // up images only for later firmware).
  void openAs(uint16_t fw, std::array<uint8_t, 3> gains = {0, 0, 0}, bool greyForcing = false) {
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    pvkemu_sensor m = sensor(30);
    for (int k = 0; k < 3; ++k) m.led_gain[k] = gains[k];
    openProfile(p, m);
    pvk::document::storeFirmwareCaps(pvk::document::firmwareCaps(fw, p.product_id, 0, 0, false, greyForcing));
  }
  // Calibrates on a fresh sheet, with the request log kept for the configuration blocks.
  int calibrate(uint32_t length300 = 5000) {
    sheet(length300);
    pvkemu_log_clear();
    return PVKCalibrate(h());
  }
  // The configuration blocks the run sent: lines asked and direction.
  static std::vector<Block> blocks() {
    std::vector<Block> out;
    for (size_t i = 0; i < pvkemu_log_count(); ++i) {
      pvkemu_request r{};
      pvkemu_log_get(i, &r);
      if (r.kind == PVKEMU_LOG_CONTROL && r.request_type == 0x40 && r.value == 61 && r.length == 33)
        out.push_back({static_cast<uint32_t>(r.data[10] | r.data[11] << 8), (r.data[2] & 1) != 0});
    }
    return out;
  }
  static bool anyBackward(const std::vector<Block>& b) {
    for (const Block& x : b)
      if (!x.forward) return true;
    return false;
  }
  // The LED levels a setting's file holds for a side, in the first mode that sets up.
  std::array<int, 3> levels(short colour, int side, bool rearOff = false) {
    EXPECT_EQ(PVKSetParameter(0, colour), 0);
    MyAcq.modeLocked = 1;
    bool found = false;
    for (int mode = 0; mode < 8 && !found; ++mode) found = MyDevImgInitWithMode(0, static_cast<unsigned char>(mode), true);
    EXPECT_TRUE(found);
    SetRearOff(rearOff);
    CorrModeReset(MyCorS);
    EXPECT_TRUE(CorrInfoRead(MyCorS)) << std::hex << CorrMode();
    MyAcq.modeLocked = 0;
    SetRearOff(false);
    const uint16_t* l = MyCorS[side].ledLev;
    return {l[0], l[1], l[2]};
  }
  // Calibration files whose setting code has one of these bits.
  size_t filesWith(unsigned bits) const {
    size_t n = 0;
    for (const std::string& f : calibFiles()) {
      const size_t dot = f.rfind('.');
      if (dot >= 4 && (std::strtoul(f.substr(dot - 4, 4).c_str(), nullptr, 16) & bits)) ++n;
    }
    return n;
  }
  static bool allEqual(const std::array<int, 3>& l) { return l[0] == l[1] && l[1] == l[2]; }
  uint32_t inches(int n) const { return static_cast<uint32_t>(EvalNumLine(n, 1, MyDev.img[1].dpiV)); }
};

TEST_F(CalibrationFlags, LaterFirmwareSetsEachLedApartAndStartsGreyFromColour) {
  openAs(0x3103, {100, 80, 60});
  ASSERT_EQ(calibrate(), 0);
  const std::vector<Block> b = blocks();
  ASSERT_FALSE(b.empty());
  EXPECT_NEAR(b[0].lines, inches(3), 8);  // a third-generation device takes the whole sheet first
  EXPECT_TRUE(anyBackward(b));       // the white passes go back and forth
  EXPECT_EQ(filesWith(0x200), 0u);   // both sides calibrate together
  // A weaker LED is driven harder; grey keeps the proportions of the colour levels.
  const auto colour = levels(2, 1), grey = levels(1, 1);
  EXPECT_LT(colour[0], colour[1]);
  EXPECT_LT(colour[1], colour[2]);
  EXPECT_LT(grey[0], grey[2]);
  EXPECT_NEAR(grey[0] * 100.0 / grey[2], colour[0] * 100.0 / colour[2], 15.0);
  EXPECT_EQ(PVKCheckCalibration(h()), 0);
  ASSERT_EQ(PVKSetParameter(0, 1), 0);
  const double spread = paperSpread();
  EXPECT_GE(spread, 0.0);
  EXPECT_LT(spread, 5.0);
}

TEST_F(CalibrationFlags, SecondGenerationFirmwareSharesOneLevelPerColour) {
  // Red, green and blue move together on all three, with one first pass of an inch.
  // 0x2021: colour, one level per colour for both sides, a transport that reverses between
  // white passes. 0x2010: grey only, front-only settings, no reversing. 0x2008: grey only,
  // each side its own levels, no backward moves at all.
  for (uint16_t fw : {0x2021, 0x2010, 0x2008}) {
    SCOPED_TRACE(fw);
    pvkemu_reset();
    for (const std::string& f : calibFiles()) std::remove((dir + "/" + f).c_str());
    openAs(fw, {100, 80, 60});
    ASSERT_EQ(calibrate(), 0);
    const std::vector<Block> b = blocks();
    ASSERT_GE(b.size(), 2u);
    EXPECT_NEAR(b[0].lines, inches(1), 8);
    EXPECT_EQ(anyBackward(b), fw == 0x2021);
    EXPECT_EQ(filesWith(0x200) > 0, fw == 0x2010);
    const auto grey = levels(1, 1);
    EXPECT_TRUE(allEqual(grey)) << grey[0] << " " << grey[2];
    if (fw == 0x2021) {
      const auto colour = levels(2, 1);
      EXPECT_TRUE(allEqual(colour)) << colour[0] << " " << colour[2];
      EXPECT_EQ(levels(2, 0), colour);
    }
    if (fw == 0x2010) {
      EXPECT_EQ(levels(1, 1, true), grey);  // the front-only setting's own file
    }
    EXPECT_EQ(PVKCheckCalibration(h()), 0);
    PVKClose(h());
    handle = -1;
  }
}

TEST_F(CalibrationFlags, AGreyOnlyDeviceCalibratesGreyFromFullLevels) {
  openAs(0x3103, {100, 80, 60}, true);
  ASSERT_NE(PVKSetParameter(0, 2), 0);  // colour is refused
  ASSERT_EQ(calibrate(), 0);
  EXPECT_TRUE(allEqual(levels(1, 1)));
  EXPECT_EQ(filesWith(0x20), 0u);  // no colour settings
  EXPECT_EQ(PVKCheckCalibration(h()), 0);
}

TEST_F(CalibrationFlags, SettingsThatDependOnTheMagneticHeadGetTheirOwnFiles) {
  pvkemu_profile p;
  pvkemu_profile_full(&p);
  p.composition_low &= ~((1u << 31) | (1u << 24) | (1u << 17));
  openProfile(p, sensor(200));
  // No device reports it; a device that did would calibrate every setting with MICR too.
  MyDev.micrDependentCalib = 1;
  ASSERT_EQ(calibrate(), 0);
  EXPECT_GT(filesWith(0x6000), 0u);
  EXPECT_EQ(PVKCheckCalibration(h()), 0);
}

}  // namespace
