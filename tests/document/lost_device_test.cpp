// A scanner unplugged and plugged back while the host is idle, on both profiles: the first call
// finds the old handle dead and says so (-18), the next one reopens the scanner and works, and a
// reset that succeeds leaves no old failure behind.
#include <gtest/gtest.h>
#include <string>

#include "../common/cheque_feed.h"
#include "../common/scanner_scratch.h"
#include "../common/synthetic_cheque.h"
#include "PlavikMS.h"
#include "device/device.h"
#include "document/document.h"
#include "pvkemu.h"

namespace {

struct Profile {
  const char* name;
  void (*make)(pvkemu_profile*);
};

class LostDevice : public pvk::testing::ScannerScratch, public ::testing::WithParamInterface<Profile> {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(ScannerScratch::SetUp());
    pvkemu_profile p;
    GetParam().make(&p);
    dev = pvkemu_add_device(&p);
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override { PVKClose(handle()); }
  void* handle() const { return reinterpret_cast<void*>(static_cast<intptr_t>(h)); }
  // One grey cheque, acquired without waiting at the photocell.
  int32_t scan() {
    pvk::testing::ChequeSpec spec;
    const auto front = pvk::testing::drawSide(spec, 1, false);
    const auto rear = pvk::testing::drawSide(spec, 1, true);
    if (pvk::testing::feedGrey(dev, front, rear) != 0) return -1000;
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;
    return AcquireImg(0, MyDev.img, true);
  }

  int dev = -1;
  int h = -1;
};

TEST_P(LostDevice, UnplugAndReplugWhileIdleThenAScanWorks) {
  ASSERT_EQ(scan(), 0);
  pvkemu_unplug(dev);
  pvkemu_replug(dev);
  // The first call finds the old handle dead: it says so, unless its own acquisition already
  // reopened the scanner and went on.
  const int first = PVKMoveScannerLines(handle(), 1, 100, 300);
  EXPECT_TRUE(first == PVK_ERR_NOT_READY || first == 0) << first;
  EXPECT_EQ(PVKGetLastResult(), first);
  EXPECT_NE(PVKReadStatusL(handle()), 0);  // reopened
  EXPECT_EQ(MyDev.state, 1);
  EXPECT_EQ(PVKSetParameter(5, 120), 0);
  ASSERT_EQ(scan(), 0);
  EXPECT_GT(MyDev.img[1].rowsUsed, 700);
  EXPECT_EQ(pvkemu_open_handles(dev), 1);  // the dead handle was closed
}

TEST_P(LostDevice, UnpluggedForAWhileComesBackOnceReplugged) {
  pvkemu_unplug(dev);
  EXPECT_EQ(PVKReadStatusL(handle()), 0);  // finds it gone
  EXPECT_EQ(MyDev.state, -1);
  EXPECT_EQ(PVKSetParameter(5, 120), PVK_ERR_GENERIC);  // the reopen finds nothing
  EXPECT_EQ(PVKSetParameter(5, 120), PVK_ERR_GENERIC);
  pvkemu_replug(dev);
  int r = PVK_ERR_GENERIC;
  for (int call = 0; call < 2 && r != 0; ++call) r = PVKSetParameter(5, 120);
  EXPECT_EQ(r, 0);
  ASSERT_EQ(scan(), 0);
}

TEST_P(LostDevice, ASuccessfulResetLeavesZero) {
  EXPECT_EQ(PVKSetParameter(5, 300), PVK_ERR_INV_PARAMETER);
  EXPECT_EQ(PVKReset(handle()), 0);
  EXPECT_EQ(PVKGetLastResult(), 0);
  EXPECT_EQ(PVKReset(handle()), 0);
  // After a loss found by a call, the reset reopens the scanner and succeeds as well.
  pvkemu_unplug(dev);
  pvkemu_replug(dev);
  EXPECT_EQ(PVKReadStatusL(handle()), 0);
  EXPECT_EQ(PVKReset(handle()), 0);
  EXPECT_EQ(PVKGetLastResult(), 0);
  EXPECT_EQ(MyDev.state, 1);
}

INSTANTIATE_TEST_SUITE_P(BothProfiles, LostDevice,
                         ::testing::Values(Profile{"basic", pvkemu_profile_basic}, Profile{"full", pvkemu_profile_full}),
                         [](const ::testing::TestParamInfo<Profile>& i) { return std::string(i.param.name); });

}  // namespace
