// The photocell wait, the document test and the cleaning cycle against the software scanner,
// on a virtual clock. The cleaning cycle's paper moves are counted here: each one starts an
// acquisition on the device (the sheet model moves the sheet on), without acquiring an image.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "../device/device_fixture.h"
#include "control/control.h"
#include "core/frame.h"
#include "core/ini.h"
#include "core/records.h"
#include "core/results.h"
#include "device/device.h"
#include "pvkemu.h"
#include "pvkemu_sheet.h"

namespace {

struct Move {
  bool forward;
  unsigned lines, dpi;
};
std::vector<Move> moves;
int moveResult = 0;

// The paper move as the cleaning cycle sees it: the acquisition start on the device.
int countedMove(bool forward, unsigned short lines, unsigned short dpi) {
  moves.push_back({forward, lines, dpi});
  if (moveResult < 0) return moveResult;
  Vx3BaseContrlMsg(209, 52, nullptr, 0, true);
  return 0;
}

class SheetTest : public pvk::test::DeviceTest {
 protected:
  int dev = -1;

  void SetUp() override {
    DeviceTest::SetUp();
    if (HasFatalFailure()) return;
    std::snprintf(MyLog.deviceFile, sizeof MyLog.deviceFile, "%s/pid_0009_x.reg", dir.c_str());
    moves.clear();
    moveResult = 0;
    pvk::control::cleaningMove = countedMove;
    dev = add(full());
    ASSERT_GE(open(), 0);
    // The capabilities the sheet routines read, as the composition of this device gives them.
    MyDev.photocellPresent = 1;
    MyDev.adfPresent = 0;
    MyDev.FwCapBackward = 1;
    MyAcq.cfgFlags[kCfgWaitDoc] = 1;
    MyAcq.msWaitDoc = 10000;
    MyDev.stopRequest = 0;
    Vx3BaseContrlMsg(208, 9, nullptr, 0, true);  // scanner enabled, as the scanner open leaves it
    pvkemu_log_clear();
  }

  void TearDown() override {
    pvk::control::cleaningMove = Vx3MoveScannerLinesOld;
    DeviceTest::TearDown();
  }

  // A whole trace line.
  bool traced(const std::string& line) const { return trace().find(line + "\r\n") != std::string::npos; }

  // Vendor requests with this wValue in the log.
  static int requests(int value) {
    int n = 0;
    for (size_t i = 0; i < pvkemu_log_count(); ++i) {
      pvkemu_request r;
      pvkemu_log_get(i, &r);
      if (r.kind == PVKEMU_LOG_CONTROL && r.value == value) ++n;
    }
    return n;
  }
};

constexpr int kNever = 1000000;

TEST_F(SheetTest, PollStepsOfTheDocumentWait) {
  struct Row { unsigned wait, polls; uint64_t ms; };
  const Row rows[] = {{49, 49, 49}, {50, 5, 50}, {199, 19, 190}, {200, 4, 200}, {100, 10, 100}};
  for (const Row& r : rows) {
    ASSERT_EQ(pvkemu_sheet(dev, kNever, -1, PVKEMU_SHEET_ENTRY), 0);
    MyAcq.msWaitDoc = static_cast<uint16_t>(r.wait);
    Vx3ResultSet(0);
    const uint64_t t0 = pvkemu_clock_elapsed_ms();
    EXPECT_FALSE(WaitFotocellula());
    EXPECT_EQ(Vx3ResultGet(), -10);
    EXPECT_EQ(pvkemu_sheet_polls(dev), static_cast<int>(r.polls)) << r.wait;
    EXPECT_EQ(pvkemu_clock_elapsed_ms() - t0, r.ms) << r.wait;
    EXPECT_TRUE(traced("err -  acquisition timeout 1 " + std::to_string(r.wait)));
  }
}

TEST_F(SheetTest, DocumentArrivesAndIsConfirmed) {
  pvkemu_sheet(dev, 3, -1, PVKEMU_SHEET_ENTRY);
  MyAcq.msWaitDoc = 100;
  const uint64_t t0 = pvkemu_clock_elapsed_ms();
  EXPECT_TRUE(WaitFotocellula());
  // Three empty polls 10 ms apart, then the second reading 300 ms after the first.
  EXPECT_EQ(pvkemu_clock_elapsed_ms() - t0, 3 * 10 + 300u);
  EXPECT_EQ(pvkemu_sheet_polls(dev), 5);
}

TEST_F(SheetTest, ZeroWaitNeverTimesOut) {
  pvkemu_sheet(dev, 500, -1, PVKEMU_SHEET_ENTRY);
  MyAcq.msWaitDoc = 0;
  EXPECT_TRUE(WaitFotocellula());
  EXPECT_GE(pvkemu_clock_elapsed_ms(), 500 * 50u);
}

TEST_F(SheetTest, WaitsThatDoNotRun) {
  MyDev.stopRequest = 1;
  EXPECT_FALSE(WaitFotocellula());
  EXPECT_EQ(Vx3ResultGet(), -19);
  MyDev.stopRequest = 0;
  MyAcq.cfgFlags[kCfgWaitDoc] = 0;
  EXPECT_TRUE(WaitFotocellula());
  MyAcq.cfgFlags[kCfgWaitDoc] = 1;
  MyDev.photocellPresent = 0;
  EXPECT_TRUE(WaitFotocellula());
  EXPECT_EQ(requests(3), 0);  // no status read at all
}

TEST_F(SheetTest, ProductsThatNeverReportADocument) {
  pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_ENTRY);
  bool error = false;
  EXPECT_TRUE(DocInMaster(error, false, false));
  MyDev.productId = 5;
  EXPECT_FALSE(DocInMaster(error, false, false));
  MyDev.productId = 9;
  MyDev.vendorId ^= 1;  // a foreign vendor's product 9
  EXPECT_FALSE(DocInMaster(error, false, false));
  EXPECT_FALSE(error);
}

TEST_F(SheetTest, FeederDocumentCountsUnlessIgnored) {
  pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_FEEDER);
  bool error = false;
  EXPECT_FALSE(DocInMaster(error, false, false));  // no feeder on this device record
  MyDev.adfPresent = 1;
  EXPECT_TRUE(DocInMaster(error, false, false));
  EXPECT_FALSE(DocInMaster(error, false, true));
}

TEST_F(SheetTest, DisabledScannerIsEnabledOncePerTest) {
  Vx3BaseContrlMsg(208, 10, nullptr, 0, true);  // scanner off
  pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_ENTRY);
  pvkemu_log_clear();
  bool error = false;
  EXPECT_TRUE(DocInMaster(error, false, false));
  EXPECT_EQ(requests(9), 1);
  EXPECT_TRUE(traced("enabling device"));
  // An enable that the device refuses: -21.
  Vx3BaseContrlMsg(208, 10, nullptr, 0, true);
  pvkemu_fault(dev, 9, PVKEMU_DIR_ANY, PVKEMU_FAULT_STALL, -1, 0);
  EXPECT_FALSE(DocInMaster(error, false, false));
  EXPECT_FALSE(error);
  EXPECT_EQ(Vx3ResultGet(), -21);
  EXPECT_TRUE(traced("err -  enable scanner first"));
}

TEST_F(SheetTest, StatusReadFailureIsAnError) {
  pvkemu_fault(dev, 3, PVKEMU_DIR_ANY, PVKEMU_FAULT_STALL, -1, 0);
  bool error = false;
  EXPECT_FALSE(DocInMaster(error, true, false));
  EXPECT_TRUE(error);
  EXPECT_FALSE(WaitFotocellula());
}

class CleanTest : public SheetTest {
 protected:
  void SetUp() override {
    SheetTest::SetUp();
    MyDev.cleaningRequired = 1;
    WritePrivateProfileString("General", "CleaningRequired", "1", MyLog.deviceFile);
  }
  std::string flag() const {
    char buf[16];
    GetPrivateProfileString("General", "CleaningRequired", "-", buf, sizeof buf, MyLog.deviceFile);
    return buf;
  }
};

TEST_F(CleanTest, SheetThatLeavesClearsTheFlag) {
  pvkemu_sheet(dev, 5, 3, PVKEMU_SHEET_ENTRY);
  EXPECT_EQ(Vx3Clean(), 0);
  EXPECT_EQ(MyDev.cleaningRequired, 0);
  EXPECT_EQ(flag(), "0");
  ASSERT_GE(moves.size(), 4u);
  EXPECT_EQ(moves[0].lines, 300u);
  EXPECT_EQ(moves[0].dpi, 300u);
  EXPECT_EQ(moves[1].lines, 320u);
  EXPECT_TRUE(moves[1].forward);
  EXPECT_FALSE(moves[2].forward);  // backward moves allowed: the direction flips
  EXPECT_EQ(moves.back().lines, 400u);
  EXPECT_EQ(moves.back().dpi, 100u);
}

TEST_F(CleanTest, ScrubPassesHalveTheirLength) {
  MyDev.FwCapBackward = 0;
  pvkemu_sheet(dev, 0, 12, PVKEMU_SHEET_ENTRY);
  EXPECT_EQ(Vx3Clean(), 0);
  // 300, then passes of 2 x 320, 4 x 160, 8 x 80 (the sheet leaves in the third pass).
  ASSERT_GE(moves.size(), 12u);
  EXPECT_EQ(moves[2].lines, 320u);
  EXPECT_EQ(moves[3].lines, 160u);
  EXPECT_EQ(moves[7].lines, 80u);
  for (const Move& m : moves) EXPECT_TRUE(m.forward);
}

TEST_F(CleanTest, SheetStillInAfterTheEjectIsADeviceError) {
  pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_ENTRY);
  EXPECT_EQ(Vx3Clean(), -21);
  EXPECT_EQ(MyDev.cleaningRequired, 1);
  EXPECT_EQ(flag(), "1");
  EXPECT_EQ(moves.back().lines, 400u);
}

TEST_F(CleanTest, DocumentWaitingInTheFeederKeepsTheFlag) {
  MyDev.adfPresent = 1;
  pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_FEEDER);
  EXPECT_EQ(Vx3Clean(), -21);
  EXPECT_EQ(MyDev.cleaningRequired, 1);
}

TEST_F(CleanTest, NoSheetTimesOutAfterTenSeconds) {
  const uint64_t t0 = pvkemu_clock_elapsed_ms();
  EXPECT_EQ(Vx3Clean(), -10);
  EXPECT_GE(pvkemu_clock_elapsed_ms() - t0, 10000u);
  EXPECT_TRUE(traced("Clean - timeout waiting sheet insertion"));
  EXPECT_TRUE(moves.empty());
  EXPECT_EQ(flag(), "1");
}

TEST_F(CleanTest, ScannerThatCannotBeEnabledKeepsItsCode) {
  Vx3BaseContrlMsg(208, 10, nullptr, 0, true);
  pvkemu_fault(dev, 9, PVKEMU_DIR_ANY, PVKEMU_FAULT_STALL, -1, 0);
  EXPECT_EQ(Vx3Clean(), -21);
}

TEST_F(CleanTest, FailuresOfTheStatusAndTheMoves) {
  pvkemu_sheet(dev, 0, -1, PVKEMU_SHEET_ENTRY);
  moveResult = -19;
  EXPECT_EQ(Vx3Clean(), -19);
  EXPECT_EQ(Vx3ResultGet(), -19);
  moveResult = 0;
  pvkemu_fault(dev, 3, PVKEMU_DIR_ANY, PVKEMU_FAULT_STALL, -1, 0);
  Vx3ResultSet(-3);  // left by an earlier call: no part of this failure
  EXPECT_EQ(Vx3Clean(), -1);
  EXPECT_TRUE(traced("Clean - device error waiting sheet insertion"));
}

TEST_F(SheetTest, PageCounterOfADeviceThatCountsItself) {
  MyDev.pageRegister = 1;
  const uint32_t before = pvkemu_device_profile(dev)->pages;
  AggiornaNumPag();
  EXPECT_EQ(pvkemu_device_profile(dev)->pages, before + 1);
  AggiornaNInkjet();
  EXPECT_EQ(requests(46), 1);
}

TEST_F(SheetTest, PhotoTuningRoundTrip) {
  MyDev.photoTuning = 1;
  char bytes[8] = {1, 2, 3, 4, 5, 6, 7, 8}, back[8] = {};
  EXPECT_EQ(Vx3PhotoTunWrite(bytes), 0);
  EXPECT_EQ(Vx3PhotoTunRead(back), 0);
  EXPECT_EQ(std::memcmp(bytes, back, 8), 0);
  pvkemu_fault(dev, 21, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 4);
  EXPECT_EQ(Vx3PhotoTunWrite(bytes), -1);
  // A code left by an earlier call does not stand for a failed read.
  Vx3ResultSet(-3);
  pvkemu_fault(dev, 21, PVKEMU_DIR_IN, PVKEMU_FAULT_TIMEOUT, 1, 0);
  EXPECT_EQ(Vx3PhotoTunRead(back), -1);
}

}  // namespace
