// Keeping the connection: the handle and state checks, reopening a lost device (only the same
// scanner), requests that all fail, the stop commands and the busy scan.
#include "device_fixture.h"

#include "document/document.h"

namespace pvk::test {
namespace {

class Connection : public DeviceTest {
 protected:
  int dev = -1;
  int handle = -1;
  void SetUp() override {
    DeviceTest::SetUp();
    dev = add(full());
    handle = open();
    ASSERT_GT(handle, 0);
  }
  void* h() const { return reinterpret_cast<void*>(static_cast<uintptr_t>(handle)); }
  void loseDevice() {
    const uint32_t zeros[11] = {0};
    pvkemu_script_status(dev, zeros, 11);
    EXPECT_EQ(FX2ReadStatusL(), 0);
    ASSERT_EQ(MyDev.state, -2);
  }
};

TEST_F(Connection, HandleChecks) {
  EXPECT_TRUE(isValidHandleAndDevice(h()));
  EXPECT_FALSE(isValidHandle(reinterpret_cast<void*>(uintptr_t{0xFFFFFFFFu})));
  EXPECT_FALSE(isValidHandle(reinterpret_cast<void*>(uintptr_t{12345})));
  EXPECT_FALSE(isValidHandle(nullptr));  // a null handle withdraws the stored one
  EXPECT_FALSE(isValidHandle(h()));
  MyDev.state = -5;
  EXPECT_FALSE(isValidDevice());
  EXPECT_EQ(MyDev.state, -2);
  EXPECT_TRUE(traced("err -  device in unexpected state  -5"));
}

TEST_F(Connection, ALostDeviceIsReopenedOnTheSecondCheck) {
  loseDevice();
  EXPECT_FALSE(isValidDevice());  // invalid -> reopen pending
  EXPECT_EQ(MyDev.state, -1);
  EXPECT_TRUE(isValidDevice());   // reopened
  EXPECT_EQ(MyDev.state, 1);
  EXPECT_EQ(pvkemu_open_handles(dev), 1);
  EXPECT_NE(FX2ReadStatusL(), 0);
  EXPECT_TRUE(traced("reopening device - valid device "));
}

TEST_F(Connection, TheCallGuardReopensOnTheCallAfterNext) {
  loseDevice();
  void* handle = h();
  EXPECT_FALSE(DllFunctInit("PVKReadStatusL", handle));
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_TRUE(DllFunctInit("PVKReadStatusL", handle));
  EXPECT_EQ(MyDev.state, 1);
  EXPECT_NE(FX2ReadStatusL(), 0);
}

TEST_F(Connection, UnplugAndReplugOfTheSameScannerReopens) {
  pvkemu_unplug(dev);
  EXPECT_EQ(FX2ReadStatusL(), 0);
  MyDev.state = -1;
  EXPECT_FALSE(isValidDevice());  // still away
  EXPECT_EQ(MyDev.state, -2);
  EXPECT_EQ(MyDev.usbHandle, nullptr);  // the closed handle is not brought back
  char b[8];
  EXPECT_EQ(Vx3BaseContrlMsg(208, 3, b, 8, true), -1);
  pvkemu_replug(dev);
  MyDev.state = -1;
  EXPECT_TRUE(isValidDevice());
  EXPECT_NE(FX2ReadStatusL(), 0);
  EXPECT_EQ(MyDev.handleValue, static_cast<uint64_t>(handle));
}

TEST_F(Connection, ADifferentScannerIsNotTakenForTheLostOne) {
  std::string mine = MyDev.serialString;
  pvkemu_unplug(dev);
  pvkemu_profile other = full();
  std::snprintf(other.serial, sizeof other.serial, "%s", "99999999");
  int second = add(other);
  MyDev.state = -1;
  EXPECT_FALSE(isValidDevice());
  EXPECT_EQ(MyDev.state, -2);
  EXPECT_EQ(pvkemu_open_handles(second), 0);
  EXPECT_EQ(std::string(MyDev.serialString), mine);
  EXPECT_TRUE(traced("reopening device - no reopen " + mine));
}

TEST_F(Connection, ReopenNeedsASerial) {
  MyDev.serialString[0] = 0;
  EXPECT_FALSE(RiapriDevice());
  EXPECT_TRUE(traced("null sn"));
  EXPECT_EQ(MyDev.reopening, 0);
}

TEST_F(Connection, EveryRequestFailingGivesCodesAndTraces) {
  for (int kind : {PVKEMU_FAULT_TIMEOUT, PVKEMU_FAULT_NO_DEVICE}) {
    pvkemu_clear_faults();
    pvkemu_fault(dev, PVKEMU_ANY_REQUEST, PVKEMU_DIR_ANY, kind, -1, 0);
    EXPECT_EQ(FX2ReadStatusL(), 0);
    unsigned long l = 1, hi = 1;
    EXPECT_FALSE(Vx3CompositionLH(l, hi));
    EXPECT_EQ(Vx3SpecialHW(), 0u);
    uint64_t pages = MyDev.pagesTotal;
    LeggiNPages(true, true);
    EXPECT_EQ(MyDev.pagesTotal, pages);
    EXPECT_TRUE(SetScanBusy(false));
    FermaAcquisizione(1, true, true);
    EXPECT_EQ(Vx3ScanEnable(1), MyDev.lastResult);
    Vx3DeviceClose(false);
    EXPECT_EQ(open(), -1);
    EXPECT_EQ(MyDev.lastResult, -21);
    pvkemu_clear_faults();
    ASSERT_GT(open(), 0);
  }
  EXPECT_TRUE(traced("err -  control transfer timeout"));
  EXPECT_TRUE(traced("err -  control transfer - no device"));
}

TEST_F(Connection, StopCommandsByFirmware) {
  MyDev.fwVersion = 0x3004;
  pvkemu_log_clear();
  stopAcq = 0;
  FermaAcquisizione(1);
  EXPECT_EQ(stopAcq, 1);
  EXPECT_EQ(briefs(vendorRequests()), (Strings{"C0/63/1", "C0/67/1"}));
  // Older firmware: packet end once per acquisition, then the two stop commands.
  MyDev.fwVersion = 0x2009;
  inviatoPktend = 0;
  pvkemu_log_clear();
  FermaAcquisizione(1, true, true);
  FermaAcquisizione(1, true, true);
  EXPECT_EQ(briefs(vendorRequests()),
            (Strings{"C0/34/1", "C0/12/1", "C0/33/1", "C0/12/1", "C0/33/1"}));
  // Stop 0 only raises the flag; a second part of a two-part document waits without force.
  pvkemu_log_clear();
  FermaAcquisizione(0);
  MyAcq.secondPartPending = 1;
  MyAcq.twoPartActive = 0;
  FermaAcquisizione(1, false, false);
  EXPECT_TRUE(vendorRequests().empty());
}

TEST_F(Connection, BusyScan) {
  pvkemu_log_clear();
  uint32_t busy = (1u << 3) | 2u;
  pvkemu_script_status(dev, &busy, 1);
  MyDev.lastResult = 0;
  EXPECT_FALSE(SetScanBusy(true));
  EXPECT_EQ(MyDev.lastResult, -2);
  EXPECT_TRUE(traced("err -  Device is busy"));
  EXPECT_TRUE(SetScanBusy(true));
  EXPECT_TRUE(Vx3Reset());  // ends the busy scan
  EXPECT_EQ(MyDev.scanBusy, 0);
  EXPECT_EQ(briefs(vendorRequests()), (Strings{"C0/3/8", "C0/3/8", "C0/64/1", "C0/65/1"}));
  MyDev.handleValue = 0xFFFFFFFFu;
  EXPECT_FALSE(Vx3Reset());
}

}  // namespace
}  // namespace pvk::test
