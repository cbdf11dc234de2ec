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

#include "calib_sheet_fixture.h"
#include "PlavikMS.h"
#include "calibration/calibration.h"
#include "control/control.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_calib.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace {

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
  EXPECT_TRUE(calibFiles().empty());  // a run that failed writes nothing
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
