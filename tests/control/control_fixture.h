// A clean set of process-wide records for the scanner-control tests: a high-speed device of the
// build's vendor with firmware 0x5011 and the trace going to a file of the test's own.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#include "calibration/calibration.h"
#include "control/control.h"
#include "core/defaults.h"
#include "core/records.h"
#include "core/results.h"

namespace pvk::test {

inline void clearRecords() {
  std::memset(&MyDev, 0, sizeof MyDev);
  std::memset(&MyAcq, 0, sizeof MyAcq);
  std::memset(&AcqDefault, 0, sizeof AcqDefault);
  std::memset(&MyOcr, 0, sizeof MyOcr);
  std::memset(&OcrDefault, 0, sizeof OcrDefault);
  std::memset(&MyMICR, 0, sizeof MyMICR);
  std::memset(&MyIQA, 0, sizeof MyIQA);
  std::memset(&MyLog, 0, sizeof MyLog);
  std::memset(MyCorS, 0, sizeof MyCorS);
  std::memset(MyBrCr, 0, sizeof MyBrCr);
  F0 = 1;
  R0 = 0;
}

class ControlTest : public ::testing::Test {
 protected:
  void SetUp() override {
    clearRecords();
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s/control_trace_%d.log",
                  ::testing::TempDir().c_str(), static_cast<int>(getpid()));
    std::remove(MyLog.tracePath);
    MyLog.Log = 1;
    MyDev.vendorId = PVK_USB_VENDOR_ID;
    MyDev.productId = 9;
    MyDev.fwVersion = 0x5011;
    MyDev.highSpeed = 1;
    MyDev.rearPresent = 1;
    MyDev.FwCapA = MyDev.FwCapB = MyDev.FwCapC = MyDev.FwCapI = 1;
    MyDev.backlightSide = 1;
    MyDev.outDpi[0] = MyDev.outDpi[1] = 300;
    MyAcq.colour = MyAcq.baseColour = MyAcq.greyLed = 1;
    MyAcq.colourLines = MyAcq.planesPerLine = 1;
    MyAcq.autoFrontSide = 1;
    MyAcq.thresholds[0] = MyAcq.thresholds[1] = 200;
    MyAcq.acqTimeoutSec = AcqDefault.acqTimeoutSec = 60;
  }
  void TearDown() override {
    FreeMyImg(MyDev.img);
    FreeMyImg(MyDev.imgFirstPart);
    std::remove(MyLog.tracePath);
  }
  static std::string trace() {
    std::ifstream in(MyLog.tracePath, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  static bool traced(const std::string& line) { return trace().find(line + "\r\n") != std::string::npos; }
};

}  // namespace pvk::test
