// Calibration end to end on the software scanner: the calibration sheet goes through the
// transport, every setting gets its file, the next document is corrected with it, and dirt,
// bright black columns, a short sheet and missing files give their results.
#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../common/cheque_feed.h"
#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "calibration/calibration.h"
#include "control/control.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_calib.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace {

class Calibration : public ::testing::Test {
 protected:
  void SetUp() override {
    pvkemu_clock_virtual(1);
    pvkemu_reset();
    char tmpl[] = "/tmp/pvk_calib_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
  }
  void TearDown() override {
    if (HasFailure()) {
      char path[300] = {0};
      PVKLogFileName(path);
      std::string cmd = std::string("grep -a 'err\\|war' '") + path + "' | sort | uniq -c | sort -rn | head -30";
      (void)!std::system(cmd.c_str());
    }
    if (handle > 0) PVKClose(h());
    std::string cmd = "rm -rf " + dir;
    (void)!std::system(cmd.c_str());
    pvkemu_clock_virtual(0);
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<intptr_t>(handle)); }

  // The full-featured scanner without infrared, ultraviolet and backlight, so that a run
  // visits a handful of settings.
  void open(bool eeprom = false, bool allFeatures = false) {
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    if (!allFeatures) p.composition_low &= ~((1u << 31) | (1u << 24) | (1u << 17));
    if (eeprom) p.composition_low |= 1u << 22;
    dev = pvkemu_add_device(&p);
    pvkemu_sensor model{};
    model.seed = 7;
    model.white_min = 170;
    model.white_max = 235;
    model.white_level = 220;
    model.black_level = 12;
    model.led_level = 200;
    ASSERT_EQ(pvkemu_sensor_model(dev, &model), 0);
    handle = PVKInitialize(reinterpret_cast<unsigned char*>(dir.data()));
    ASSERT_GT(handle, 0) << PVKGetLastResult();
  }
  // The sheet, as wide as each mode's sensor line.
  void sheet(uint32_t length300, uint32_t dirt = 0, uint32_t bright = 0) {
    pvkemu_calib_sheet s{};
    s.length300 = length300;
    const AcqInfo acq = MyAcq;
    MyAcq.modeLocked = 1;
    for (short colour : {1, 2})
      for (int mode = 0; mode < 8; ++mode)
        if (Vx3ParamSet(0, colour, true) == 0 && MyDevImgInitWithMode(0, static_cast<unsigned char>(mode), true))
          s.width[mode] = MyDev.img[1].sensorPixels;
    MyAcq = acq;
    MyDevImgInit(0, true);
    s.micr_two_sides = MyMICR.samplesTwoSides;
    s.micr_one_side = MyMICR.samplesOneSide;
    s.dirt_first = 1000;
    s.dirt_count = dirt;
    s.bright_first = 300;
    s.bright_count = bright;
    ASSERT_EQ(pvkemu_calibration_sheet(dev, &s), 0);
  }
  // Feeds a grey cheque with the sheet out of the way and returns the spread (standard
  // deviation) of a paper row across the front image: the sensor's unevenness that correction
  // must take out.
  double paperSpread() {
    pvkemu_calibration_sheet(dev, nullptr);
    pvk::testing::ChequeSpec spec;
    front = pvk::testing::drawSide(spec, 1, false);
    rear = pvk::testing::drawSide(spec, 1, true);
    EXPECT_EQ(pvk::testing::feedGrey(dev, front, rear), 0);
    pvkemu_sheet(dev, 0, 1, PVKEMU_SHEET_ENTRY);
    if (!Vx3Read_AcquireImg()) return -1;
    const ImgInfo& side = MyDev.img[1];
    const int row = 440 * side.dpiV / 300;
    const uint8_t* p = side.firstRow + static_cast<size_t>(side.trimTop + row) * side.rawLineBytes + side.trimLeft;
    double sum = 0, sq = 0;
    int n = 0;
    for (int x = 20; x < side.trimWidth - 20; ++x, ++n) {
      sum += p[x];
      sq += double(p[x]) * p[x];
    }
    const double mean = sum / n;
    return std::sqrt(sq / n - mean * mean);
  }
  pvk::testing::SidePlanes front, rear;

  std::vector<std::string> calibFiles(bool emptyOnly = false) const {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    if (!d) return out;
    while (dirent* e = readdir(d)) {
      std::string n = e->d_name;
      if (n.size() < 4 || n.substr(n.size() - 4) != ".pcf") continue;
      struct stat st {};
      stat((dir + "/" + n).c_str(), &st);
      if (!emptyOnly || st.st_size == 0) out.push_back(n);
    }
    closedir(d);
    return out;
  }
  bool exists(const std::string& name) const { return access((dir + "/" + name).c_str(), F_OK) == 0; }

  std::string dir;
  int dev = -1;
  int handle = -1;
};

TEST_F(Calibration, EverySettingGetsItsFileAndTheOptionsSurvive) {
  open();
  sheet(5000);
  ASSERT_EQ(PVKSetParameter(0, 2), 0);  // the caller works in colour
  const AcqInfo before = MyAcq;
  EXPECT_EQ(PVKCheckCalibration(h()), PVK_WAR_NO_CALIB);
  EXPECT_EQ(PVKCalibrate(h()), 0);
  EXPECT_FALSE(calibFiles().empty());
  EXPECT_TRUE(calibFiles(true).empty());
  EXPECT_FALSE(exists("_tmp_calib.reg"));
  EXPECT_EQ(PVKCheckCalibration(h()), 0);
  EXPECT_EQ(MyAcq.colour, before.colour);
  EXPECT_EQ(MyAcq.rgb, before.rgb);
  EXPECT_EQ(MyAcq.calibrating, 0);
  EXPECT_EQ(MyAcq.rearOff, before.rearOff);
  EXPECT_EQ(MyAcq.msValLines, before.msValLines);
  EXPECT_EQ(0, std::memcmp(MyAcq.cfgFlags, before.cfgFlags, sizeof before.cfgFlags));
  // The sheet went out of the transport.
  EXPECT_EQ(pvkemu_calibration_position(dev), 5000);
}


TEST_F(Calibration, TheNextDocumentIsCorrectedWithTheNewData) {
  open();
  ASSERT_EQ(PVKSetParameter(0, 1), 0);
  const double before = paperSpread();
  ASSERT_GT(before, 5.0);  // the sensor's white response varies from pixel to pixel
  sheet(5000);
  ASSERT_EQ(PVKCalibrate(h()), 0);
  const double after = paperSpread();
  ASSERT_GE(after, 0.0);
  EXPECT_LT(after, before / 3) << before << " -> " << after;
}

TEST_F(Calibration, ADirtySensorAsksForCleaning) {
  open();
  MyDev.cleaningCheckEnabled = MyDev.cleaningCalibCheck = 1;
  sheet(5000, 6);
  EXPECT_EQ(PVKCalibrate(h()), PVK_WAR_CLEANING_REQUIRED);
  EXPECT_EQ(PVKCheckCleaning(h()), PVK_WAR_CLEANING_REQUIRED);
  std::ifstream counters(MyLog.deviceFile);
  std::stringstream text;
  text << counters.rdbuf();
  EXPECT_NE(text.str().find("CleaningRequired=1"), std::string::npos) << text.str();
}

TEST_F(Calibration, BrightBlackColumnsFailEverySetting) {
  open();
  sheet(5000, 0, 400);
  EXPECT_EQ(PVKCalibrate(h()), PVK_ERR_CALIB);
  EXPECT_FALSE(calibFiles(true).empty());  // what the run left is truncated
  EXPECT_EQ(calibFiles(true).size(), calibFiles().size());
  EXPECT_EQ(PVKCheckCalibration(h()), PVK_WAR_NO_CALIB);
  EXPECT_EQ(pvkemu_calibration_position(dev), 5000);
}

TEST_F(Calibration, AShortSheetIsEjected) {
  open();
  sheet(1200);
  EXPECT_EQ(PVKCalibrate(h()), PVK_ERR_CALIB_SHEET_SHORT);
  EXPECT_EQ(pvkemu_calibration_position(dev), 1200);
  bool error = false;
  EXPECT_FALSE(DocInMaster(error, false, true));
  EXPECT_EQ(PVKCheckCalibration(h()), PVK_WAR_NO_CALIB);
}

TEST_F(Calibration, AMissingFileWithAndWithoutFactoryData) {
  for (bool eeprom : {false, true}) {
    SCOPED_TRACE(eeprom);
    pvkemu_reset();
    open(eeprom);
    sheet(5000);
    ASSERT_EQ(PVKCalibrate(h()), 0);
    // The grey file of the 300-dpi mode goes missing.
    ASSERT_EQ(PVKSetParameter(0, 1), 0);
    MyAcq.modeLocked = 1;
    ASSERT_TRUE(MyDevImgInitWithMode(0, 3, true));
    char path[kCalibPathSize];
    ASSERT_TRUE(GetCalibFile(path, true));
    MyAcq.modeLocked = 0;
    ASSERT_EQ(std::remove(path), 0) << path;
    EXPECT_EQ(PVKCheckCalibration(h()), eeprom ? 0 : PVK_WAR_NO_CALIB);
    EXPECT_EQ(access(path, F_OK) == 0, eeprom);
    PVKClose(h());
    handle = -1;
  }
}


TEST_F(Calibration, FixedLedsTakeTheWholeSheetInOnePass) {
  open();
  MyDev.ledCalib = 0;  // a device whose LED levels cannot be set
  // Too short for a black band: refused before anything is written.
  sheet(20);
  EXPECT_EQ(PVKCalibrate(h()), PVK_ERR_CALIB);
  char path[300] = {0};
  PVKLogFileName(path);
  std::ifstream f(path);
  std::stringstream t;
  t << f.rdbuf();
  EXPECT_NE(t.str().find("calibrating back side - invalid height"), std::string::npos);
  EXPECT_TRUE(calibFiles().empty());
  // The fresh record sends LED levels of 0, and the software scanner's sheet then reads its
  // black offset from end to end: a white reference of dark pixels.
  sheet(3000);
  EXPECT_EQ(PVKCalibrate(h()), PVK_ERR_CALIB);
  std::ifstream g(path);
  std::stringstream u;
  u << g.rdbuf();
  EXPECT_NE(u.str().find("bad calibration - too many white error"), std::string::npos);
  EXPECT_EQ(pvkemu_calibration_position(dev), 3000);
}

}  // namespace
