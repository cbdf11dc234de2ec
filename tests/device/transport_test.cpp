// The vendor control request on the wire: values by bank, commands by firmware, the refusals
// that never reach the bus, the bytes actually transferred and the traces of failures.
#include "device_fixture.h"

namespace pvk::test {
namespace {

class Transport : public DeviceTest {
 protected:
  int dev = -1;
  void SetUp() override {
    DeviceTest::SetUp();
    dev = add(full());
    ASSERT_TRUE(Vx3BaseOpen(nullptr));
    MyDev.fwVersion = 0x5011;
    pvkemu_log_clear();
  }
};

TEST_F(Transport, BankOffsetsFormTheRequestValue) {
  char buf[64] = {0};
  EXPECT_EQ(Vx3BaseContrlMsg(210, 2, buf, 64, true), 64);  // stripe track 1: 210/2 is wValue 52
  EXPECT_EQ(Vx3BaseContrlMsg(209, 20, buf, 8, true), 8);   // capability: wValue 30
  EXPECT_EQ(Vx3BaseContrlMsg(208, 42, buf, 4, true), 4);   // pages: wValue 42
  EXPECT_EQ(Vx3BaseContrlMsg(209, 51, buf, 33, false), 33);  // configuration block: wValue 61
  auto rs = vendorRequests();
  EXPECT_EQ(briefs(rs), (Strings{"C0/52/64", "C0/30/8", "C0/42/4", "40/61/33"}));
  for (const auto& r : rs) {
    EXPECT_EQ(r.request, 4);
    EXPECT_EQ(r.index, 0);
  }
  EXPECT_EQ(pvk::device::requestValue(211, 7), 7);
}

TEST_F(Transport, CommandsCarryAScratchByteFromFirmware0x2007) {
  MyDev.fwVersion = 0x2006;
  EXPECT_EQ(Vx3BaseContrlMsg(209, 2, nullptr, 0, true), 0);
  MyDev.fwVersion = 0x2007;
  EXPECT_EQ(Vx3BaseContrlMsg(209, 2, nullptr, 0, true), 1);
  EXPECT_EQ(briefs(vendorRequests()), (Strings{"C0/12/0", "C0/12/1"}));
}

TEST_F(Transport, BadArgumentsNeverReachTheBus) {
  char buf[65] = {0};
  MyDev.lastResult = 0;
  EXPECT_EQ(Vx3BaseContrlMsg(208, 19, buf, 65, true), -1);
  EXPECT_EQ(MyDev.lastResult, -1);
  EXPECT_TRUE(traced("err -  Base control message IN with too much data 65"));
  EXPECT_EQ(Vx3BaseContrlMsg(208, 19, nullptr, 64, true), -1);
  EXPECT_TRUE(traced("err -  Base control message IN with invalid memory buffer - val 19"));
  // An OUT request with data but no buffer, and a negative length, are refused as well.
  EXPECT_EQ(Vx3BaseContrlMsg(208, 20, nullptr, 8, false), -1);
  EXPECT_EQ(Vx3BaseContrlMsg(208, 20, buf, -1, false), -1);
  EXPECT_EQ(Vx3BaseContrlMsg(208, 3, buf, -5, true), -1);
  EXPECT_TRUE(vendorRequests().empty());
  EXPECT_EQ(Vx3BaseContrlMsg(208, 19, buf, 64, true), 64);  // 64 bytes is the most a request carries
  EXPECT_EQ(vendorRequests().size(), 1u);
}

TEST_F(Transport, DataRequestsReportTheBytesTransferred) {
  pvkemu_fault(dev, 2, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 2);
  char buf[5] = {0};
  EXPECT_EQ(Vx3BaseContrlMsg(208, 2, buf, 5, true), 2);
  EXPECT_EQ(Vx3BaseContrlMsg(208, 2, buf, 5, true), 5);
  // The device answers the version with 5 bytes even when asked for more.
  char big[16];
  EXPECT_EQ(Vx3BaseContrlMsg(208, 2, big, 16, true), 5);
}

TEST_F(Transport, FailuresAreTracedWithTheirCodeAndValue) {
  char buf[8];
  pvkemu_fault(dev, 3, PVKEMU_DIR_IN, PVKEMU_FAULT_TIMEOUT, 1, 0);
  pvkemu_fault(dev, 34, PVKEMU_DIR_OUT, PVKEMU_FAULT_NO_DEVICE, 1, 0);
  pvkemu_fault(dev, 52, PVKEMU_DIR_IN, PVKEMU_FAULT_STALL, 1, 0);
  MyDev.lastResult = 7;
  EXPECT_EQ(Vx3BaseContrlMsg(208, 3, buf, 8, true), -1);
  EXPECT_EQ(Vx3BaseContrlMsg(208, 34, buf, 1, false), -1);
  EXPECT_EQ(Vx3BaseContrlMsg(210, 2, buf, 8, true), -1);
  EXPECT_EQ(MyDev.lastResult, 7);  // a bus failure leaves the last result to the caller
  std::string t = trace();
  EXPECT_NE(t.find("err -  control transfer timeout\r\nerr -  Read usb register -7\tasking 3\r\n"), std::string::npos) << t;
  EXPECT_NE(t.find("err -  control transfer - no device\r\nerr -  Write usb register -4\tasking 34\r\n"), std::string::npos);
  EXPECT_NE(t.find("err -  Read usb register -9\tasking 52\r\n"), std::string::npos);
}

TEST_F(Transport, NoDeviceNoRequest) {
  Vx3BaseCloseLinux();
  char buf[8];
  EXPECT_EQ(Vx3BaseContrlMsg(208, 3, buf, 8, true), -1);
  EXPECT_EQ(Vx3BaseContrlMsgDev3(nullptr, 208, 3, buf, 8, true), -1);
  EXPECT_TRUE(vendorRequests().empty());
}

TEST_F(Transport, InterfaceClaimFailuresAreTraced) {
  Vx3BaseCloseLinux();
  pvkemu_fault_claim(dev, LIBUSB_ERROR_BUSY, 1);
  ASSERT_TRUE(Vx3BaseOpen(nullptr));  // the claim failure is traced only
  EXPECT_TRUE(traced("err -  LIBUSB_ERROR_BUSY claiming interface"));
  EXPECT_EQ(pvkemu_claimed(dev), 0);
  EXPECT_TRUE(Vx3ReleaseInterface() == false);  // nothing claimed: not found, not traced
  EXPECT_FALSE(traced("releasing interface"));
}

}  // namespace
}  // namespace pvk::test
