// Finding, identifying and opening the scanner: enumeration filters, link speed, the serial
// number and the handle, the version read and the reference-counted open and close.
#include "device_fixture.h"
#include "document/document.h"

namespace pvk::test {
namespace {

using Open = DeviceTest;

pvkemu_profile withProduct(pvkemu_profile p, uint16_t pid, const char* serial) {
  p.product_id = pid;
  std::snprintf(p.serial, sizeof p.serial, "%s", serial);
  return p;
}

TEST_F(Open, ProductsSixAndTenAreNeverOpened) {
  add(withProduct(full(), 6, "1"));
  add(withProduct(full(), 10, "2"));
  EXPECT_FALSE(Vx3BaseOpen(nullptr));
  int third = add(withProduct(full(), 9, "3"));
  ASSERT_TRUE(Vx3BaseOpen(nullptr));
  EXPECT_EQ(MyDev.productId, 9);
  EXPECT_EQ(pvkemu_open_handles(third), 1);
  EXPECT_EQ(pvkemu_open_handles(0) + pvkemu_open_handles(1), 0);
}

TEST_F(Open, ForeignVendorsAndOtherProductsAreSkipped) {
  pvkemu_profile foreign = withProduct(full(), 9, "1");
  foreign.vendor_id = static_cast<uint16_t>(pvk::device::kVendorId + 1);
  add(foreign);
  add(withProduct(full(), 9, "2"));
  int four = add(withProduct(basic(), 4, "3"));
  MyDev.productId = 4;  // a product filter, as after a close
  ASSERT_TRUE(Vx3BaseOpen(nullptr));
  EXPECT_EQ(pvkemu_open_handles(four), 1);
  EXPECT_STREQ(MyDev.serialString, "3");
}

TEST_F(Open, LinkSpeedSetsThePacketSize) {
  add(basic());
  ASSERT_TRUE(Vx3BaseOpen(nullptr));
  EXPECT_EQ(MyDev.highSpeed, 0);
  EXPECT_EQ(MyAcq.usbBlock, 64);
  Vx3BaseCloseLinux();
  pvkemu_reset();
  add(full());
  MyDev.productId = 0;  // the closed device's product would filter
  ASSERT_TRUE(Vx3BaseOpen(nullptr));
  EXPECT_EQ(MyDev.highSpeed, 1);
  EXPECT_EQ(MyAcq.usbBlock, 512);
  EXPECT_STREQ(MyDev.openTag, "Vx3");
  Vx3BaseCloseLinux();
  EXPECT_EQ(MyDev.openTag[0], 0);
}

TEST_F(Open, SerialFilterPicksTheRightDeviceAndClosesTheOthers) {
  int a = add(withProduct(full(), 9, "111"));
  int b = add(withProduct(full(), 9, "222"));
  ASSERT_TRUE(MyImageOpen(0, 0, const_cast<char*>("222"), -1, true, true));
  EXPECT_STREQ(MyDev.serialString, "222");
  EXPECT_EQ(pvkemu_open_handles(a), 0);
  EXPECT_EQ(pvkemu_open_handles(b), 1);
  Vx3BaseCloseLinux();
  EXPECT_FALSE(MyImageOpen(0, 0, const_cast<char*>("333"), -1, true, true));
  EXPECT_EQ(pvkemu_open_handles(a) + pvkemu_open_handles(b), 0);
  EXPECT_EQ(MyDev.usbHandle, nullptr);
  EXPECT_EQ(Vx3DeviceOpen(-1, const_cast<char*>("333")), -1);
  EXPECT_EQ(MyDev.lastResult, -21);
}

TEST_F(Open, SerialSplitAndHandleFormula) {
  add(withProduct(full(), 9, "ABC1234567890"));
  int h = open();
  EXPECT_EQ(MyDev.serialHigh, 12u);
  EXPECT_EQ(MyDev.serialLow, 34567890u);
  EXPECT_EQ(h, 9 * 1000000 + 567890);
  EXPECT_EQ(MyDev.handleValue, static_cast<uint64_t>(h));
  EXPECT_TRUE(traced("---------------------------- device opened ----------------------------"));

  std::snprintf(MyDev.serialString, sizeof MyDev.serialString, "%s", "12345678");
  SnStr2SnHighLow(false);
  EXPECT_EQ(MyDev.serialHigh, 0u);
  EXPECT_EQ(MyDev.serialLow, 12345678u);
  // Only the last 15 characters count.
  std::snprintf(MyDev.serialString, sizeof MyDev.serialString, "%s", "99999123456789012345678");
  SnStr2SnHighLow(false);
  EXPECT_EQ(MyDev.serialHigh, 4567890u);
  EXPECT_EQ(MyDev.serialLow, 12345678u);

  EXPECT_EQ(pvk::device::handleValueFor(4294, 967295), 1u);  // 0xFFFFFFFF is never a handle
  EXPECT_EQ(pvk::device::handleValueFor(14, 1999999), 14999999u);
}

TEST_F(Open, VersionIsReadTwiceAtMost) {
  int dev = add(full());
  pvkemu_fault(dev, 2, PVKEMU_DIR_IN, PVKEMU_FAULT_TIMEOUT, 1, 0);
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.fwVersion, 0x5011);
  Vx3BaseClose();

  pvkemu_log_clear();
  pvkemu_fault(dev, 2, PVKEMU_DIR_IN, PVKEMU_FAULT_TIMEOUT, 2, 0);
  EXPECT_EQ(open(), -1);
  EXPECT_EQ(MyDev.lastResult, -21);
  EXPECT_EQ(MyDev.state, -2);
  EXPECT_EQ(MyDev.handleValue, 0xFFFFFFFFu);
  EXPECT_TRUE(traced("err -  Device with invalid ver -> disconnected or USB stack down"));
  size_t versionReads = 0;
  for (const auto& r : vendorRequests()) versionReads += r.value == 2;
  EXPECT_EQ(versionReads, 2u);
}

TEST_F(Open, AnUntouchedVersionReplyReadsAs0x1005) {
  int dev = add(full());
  pvkemu_fault(dev, 2, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, 1, 0);
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.fwVersion, 0x1005);
  Vx3BaseClose();
  // Kept 0x1005: the first read counts only when it says 0x1005 again; the second one counts.
  pvkemu_log_clear();
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.fwVersion, 0x5011);
  size_t versionReads = 0;
  for (const auto& r : vendorRequests()) versionReads += r.value == 2;
  EXPECT_EQ(versionReads, 2u);
}

TEST_F(Open, AlternativeVersionOf0x2207) {
  pvkemu_profile p = withProduct(basic(), 4, "400000");
  p.firmware = 0x2207;
  p.alt_firmware = 0x3005;
  add(p);
  fw3000Enable = 1;
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.fwVersion, 0x3005);
  Vx3BaseClose();
  pvkemu_reset();
  MyDev.productId = 0;
  add(withProduct(p, 9, "284959"));
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.fwVersion, 0x2207);
  EXPECT_TRUE(traced("forcing not 0x3000 or above FW; read 0x3005"));
  Vx3BaseClose();
  pvkemu_reset();
  add(withProduct(p, 9, "284960"));
  fw3000Enable = 0;
  ASSERT_GT(open(), 0);
  EXPECT_EQ(MyDev.fwVersion, 0x2207);
}

TEST_F(Open, OpenIsCountedAndTheLastCloseCloses) {
  int dev = add(full());
  int h1 = open();
  int h2 = open();
  ASSERT_GT(h1, 0);
  EXPECT_EQ(h1, h2);
  EXPECT_EQ(MyDev.openCount, 2);
  Vx3DeviceClose(false);
  EXPECT_EQ(pvkemu_open_handles(dev), 1);
  EXPECT_EQ(MyDev.state, 1);
  Vx3DeviceClose(false);
  EXPECT_EQ(pvkemu_open_handles(dev), 0);
  EXPECT_EQ(MyDev.state, 0);
  EXPECT_EQ(MyDev.handleValue, 0xFFFFFFFFu);
  EXPECT_TRUE(traced("---------------------------- device closed ----------------------------"));
  // A new opening takes a device of the same product only.
  pvkemu_reset();
  add(withProduct(basic(), 4, "55555555"));
  EXPECT_EQ(open(), -1);
}

TEST_F(Open, InitialisationFailsCleanlyWhenTheScannerCannotBeSetUp) {
  int dev = add(full());
  pvkemu_fault(dev, 1, PVKEMU_DIR_IN, PVKEMU_FAULT_SHORT, -1, 3);  // composition cut short
  EXPECT_EQ(Vx3Initialize(0, nullptr, -1, nullptr), -1);
  EXPECT_EQ(MyDev.lastResult, -21);
  EXPECT_EQ(pvkemu_open_handles(dev), 0);
  EXPECT_EQ(MyDev.handleValue, 0xFFFFFFFFu);
  pvkemu_clear_faults();
  EXPECT_GT(Vx3Initialize(0, nullptr, -1, nullptr), 0);
}

TEST_F(Open, MissingExternalPowerIsAWarningNotAFailure) {
  pvkemu_profile p = full();
  p.status = 0;  // the device senses its power (composition bit 14) and finds none
  int dev = add(p);
  int h = Vx3Initialize(0, nullptr, -1, nullptr);
  EXPECT_GT(h, 0);
  EXPECT_EQ(MyDev.lastResult, 9);
  EXPECT_TRUE(traced("err -  The device is missing external power"));
  EXPECT_EQ(pvkemu_open_handles(dev), 1);
}

TEST_F(Open, AnUnusableDirectoryKeepsTheOneInForce) {
  add(full());
  std::string before = MyDev.cnfDir;
  char bad[] = "/nonexistent/pvk/dir";
  EXPECT_GT(Vx3Initialize(0, bad, -1, nullptr), 0);
  EXPECT_EQ(std::string(MyDev.cnfDir), before);
}

TEST_F(Open, VersionText) {
  char buf[80];
  EXPECT_EQ(Vx3Version(nullptr, 0), 31);
  EXPECT_EQ(Vx3Version(buf, sizeof buf), 30);
  EXPECT_STREQ(buf, "SW Version 2.2.5.2 build ZUN, ");
  pvkemu_profile p = withProduct(full(), 9, "1");
  p.firmware = 0x3103;
  add(p);
  ASSERT_GT(open(), 0);
  EXPECT_EQ(Vx3Version(buf, sizeof buf), 49);
  EXPECT_STREQ(buf, "SW Version 2.2.5.2 build ZUN, FW 0x3103, PID_0009");
  EXPECT_EQ(Vx3Version(buf, 49), -1);  // no room for the terminator
  EXPECT_EQ(MyDev.lastResult, -3);
}

}  // namespace
}  // namespace pvk::test
