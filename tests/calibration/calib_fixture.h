// Records of a small scanner for the calibration tests, a scratch configuration directory, and
// a scripted stand-in for the device's factory calibration requests.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"

namespace calibtest {

// The factory data the stand-in device answers with.
struct FakeEeprom {
  uint8_t info[64] = {};
  std::vector<uint8_t> data;
  int requests = 0;
  int dataBlocksRead = 0;
  int failDataBlock = -1;  // answer -1 to this data block
  char selected = 0;
  bool inInfo = true;
};
inline FakeEeprom* fake = nullptr;

inline int fakeControl(int bank, int reg, char* buf, int len, bool in) {
  FakeEeprom& f = *fake;
  ++f.requests;
  if (bank == 208 && reg == 17 && !in && len == 1) {
    f.selected = buf[0];
    f.inInfo = true;
    f.dataBlocksRead = 0;
    return 1;
  }
  if (bank == 208 && reg == 19 && in && len == 64) {
    if (f.inInfo) {
      std::memcpy(buf, f.info, 64);
      f.inInfo = false;
      return 64;
    }
    int b = f.dataBlocksRead++;
    if (b == f.failDataBlock) return -1;
    for (int i = 0; i < 64; ++i) {
      size_t k = static_cast<size_t>(b) * 64 + i;
      buf[i] = static_cast<char>(k < f.data.size() ? f.data[k] : 0);
    }
    return 64;
  }
  return -1;
}

inline void setInfoSize(uint8_t* info, int c) {
  info[kEEInfoSize] = static_cast<uint8_t>(c & 0xFF);
  info[kEEInfoSize + 1] = static_cast<uint8_t>(c >> 8);
}

class CalibFixture : public ::testing::Test {
 protected:
  std::string dir;
  FakeEeprom eeprom;

  void SetUp() override {
    char tmpl[] = "/tmp/pvk_calib_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    CorrInfoFree(MyCorS);
    std::memset(&MyDev, 0, sizeof MyDev);
    std::memset(&MyAcq, 0, sizeof MyAcq);
    std::memset(&MyMICR, 0, sizeof MyMICR);
    std::memset(MyCorS, 0, sizeof MyCorS);
    EEPROMCalibCacheClear();
    pvk::acquisition::imgInitForMode = [](uint8_t) {};
    fake = &eeprom;
    pvk::acquisition::controlRequest = fakeControl;
    MyDev.state = 1;
    MyDev.productId = 0x000B;
    MyDev.fwVersion = 0x3105;
    MyDev.rearPresent = 1;
    std::strcpy(MyDev.serialString, "AB12");
    std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir.c_str());
    MyAcq.planesPerLine = 1;
    MyAcq.colourLines = 1;
    MyAcq.greyLed = 1;
    geometry(400, 50, 10, 380);
  }

  void TearDown() override {
    CorrInfoFree(MyCorS);
    EEPROMCalibDataFree(3);
    EEPROMCalibDataFree(6);
    std::string cmd = "rm -rf '" + dir + "'";
    ASSERT_EQ(std::system(cmd.c_str()), 0);
  }

  static void geometry(uint16_t pixels, uint16_t dpi, uint16_t left, uint16_t width) {
    for (int s = 0; s < kSides; ++s) {
      ImgInfo& i = MyDev.img[s];
      i.sensorPixels = pixels;
      i.dpiH = dpi;
      i.fullLeft = left;
      i.fullWidth = width;
      i.fullRight = static_cast<uint16_t>(left + width);
    }
  }

  // Calibration data that passes validation and conditioning unchanged in the centre.
  static void fillGood(CorInfoSide* cor) {
    for (int s = 0; s < 2; ++s) {
      cor[s].whiteLev[0] = 200;
      cor[s].blackLev[0] = 20;
      cor[s].ledLev[0] = static_cast<uint16_t>(30 + s);
      cor[s].ledLev[1] = 40;
      cor[s].ledLev[2] = 0x123;
      for (unsigned x = 0; x < cor[s].pixelsAlloc; ++x) {
        cor[s].white[x] = static_cast<uint8_t>(190 + x % 7 + s);
        cor[s].black[x] = static_cast<uint8_t>(15 + x % 5);
      }
    }
  }

  static std::string path() {
    char p[kCalibPathSize];
    EXPECT_TRUE(GetCalibFile(p, true));
    return p;
  }

  static long fileSize(const std::string& p) {
    FILE* f = std::fopen(p.c_str(), "rb");
    if (!f) return -1;
    std::fseek(f, 0, SEEK_END);
    long n = std::ftell(f);
    std::fclose(f);
    return n;
  }
};

}  // namespace calibtest
