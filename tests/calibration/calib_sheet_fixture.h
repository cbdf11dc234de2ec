// A scanner of the software bus with its calibration sheet, for whole calibration runs: the
// scanner opened on a fresh configuration directory, the sheet as wide as each mode's sensor
// line, the spread of a paper row of the next document, and the calibration files written.
#pragma once

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "../common/cheque_feed.h"
#include "../common/scanner_scratch.h"
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

class Calibration : public pvk::testing::ScannerScratch {
 protected:
  void TearDown() override {
    if (HasFailure()) {
      char path[300] = {0};
      PVKLogFileName(path);
      std::string cmd = std::string("grep -a 'err\\|war' '") + path + "' | sort | uniq -c | sort -rn | head -30";
      (void)!std::system(cmd.c_str());
    }
    if (handle > 0) PVKClose(h());
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
    openProfile(p, sensor(200));
  }
  // A sensor whose white just saturates at LED level `led`.
  static pvkemu_sensor sensor(uint8_t led) {
    pvkemu_sensor model{};
    model.seed = 7;
    model.white_min = 170;
    model.white_max = 235;
    model.white_level = 220;
    model.black_level = 12;
    model.led_level = led;
    return model;
  }
  void openProfile(const pvkemu_profile& p, const pvkemu_sensor& model) {
    dev = pvkemu_add_device(&p);
    ASSERT_EQ(pvkemu_sensor_model(dev, &model), 0);
    handle = PVKInitializeSN(const_cast<char*>(dir.c_str()), nullptr);
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

  int dev = -1;
  int handle = -1;
};

}  // namespace
