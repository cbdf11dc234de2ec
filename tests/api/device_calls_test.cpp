// The exported device calls, as a host sees them, on the software scanner's default scanner
// (full-featured profile, product 9, serial 12400512, firmware 0x5011).
#include <dlfcn.h>
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "PlavikMS.h"
#include "host_test_util.h"

namespace {

using apitest::asHandle;
using apitest::fileText;
using apitest::processDir;

class DeviceCalls : public ::testing::Test {
 protected:
  std::string dir = processDir();
  int h = -1;
  void SetUp() override {
    // These tests need the software scanner as this process's libusb.
    ASSERT_NE(dlsym(RTLD_DEFAULT, "pvkemu_loaded"), nullptr);
    // The directory goes in before start-up, so that nothing is written elsewhere.
    h = PVKInitializeSN(dir.data(), nullptr);
    ASSERT_GT(h, 0) << PVKGetLastResult();
  }
  void TearDown() override {
    while (PVKClose(asHandle(h)) == 0 && PVKReadStatusL(asHandle(h)) != 0) {
    }
  }
  std::string file(const std::string& name) {
    return fileText(dir + "/" + name);
  }
};

TEST_F(DeviceCalls, IdentityOfTheOpenedScanner) {
  EXPECT_EQ(h, 9400512);
  uint16_t vid = 0, pid = 0, fw = 0;
  EXPECT_EQ(PVKDeviceInfo(asHandle(h), &vid, &pid, &fw), 0);
  EXPECT_EQ(pid, 9);
  EXPECT_EQ(fw, 0x5011);
  EXPECT_EQ(PVKDeviceInfo(asHandle(h), nullptr, nullptr, nullptr), 0);
  char text[80];
  EXPECT_EQ(PVKVersion(nullptr, text, sizeof text), 49);
  EXPECT_STREQ(text, "SW Version 2.2.5.2 build ZUN, FW 0x5011, PID_0009");
  EXPECT_EQ(PVKVersion(nullptr, nullptr, 0), 50);
  EXPECT_EQ(PVKVersion(nullptr, text, 10), -1);
  EXPECT_EQ(PVKGetLastResult(), -3);
}

TEST_F(DeviceCalls, SerialNumberBufferRules) {
  char sn[16];
  EXPECT_EQ(PVKReadSN(asHandle(h), nullptr, 0), 9);
  EXPECT_EQ(PVKReadSN(asHandle(h), sn, 8), -1);  // the length itself leaves no room for the end
  EXPECT_EQ(PVKGetLastResult(), -3);
  std::memset(sn, 'x', sizeof sn);
  EXPECT_EQ(PVKReadSN(asHandle(h), sn, 9), 9);
  EXPECT_STREQ(sn, "12400512");
  EXPECT_EQ(PVKGetLastResult(), 0);
}

TEST_F(DeviceCalls, StatusAndComposition) {
  long status = PVKReadStatusL(asHandle(h));
  EXPECT_NE(status, 0);
  EXPECT_NE(status & (1L << 16), 0);  // external power present
  EXPECT_NE(PVKCompositionL(), 0u);
  EXPECT_EQ(PVKCompositionH(), 0x30u);
  EXPECT_EQ(PVKReadStatusL(asHandle(12345)), 0);  // another handle is refused
}

TEST_F(DeviceCalls, OpeningTwiceNeedsTwoCloses) {
  EXPECT_EQ(PVKInitialize(reinterpret_cast<unsigned char*>(dir.data())), h);
  EXPECT_EQ(PVKClose(asHandle(h)), 0);
  EXPECT_NE(PVKReadStatusL(asHandle(h)), 0);
  EXPECT_EQ(PVKClose(asHandle(h)), 0);
  EXPECT_EQ(PVKReadStatusL(asHandle(h)), 0);
  EXPECT_EQ(PVKClose(asHandle(h)), -1);
  h = PVKInitialize(nullptr);
  EXPECT_EQ(h, 9400512);
}

TEST_F(DeviceCalls, PageCountersAndTheirReset) {
  EXPECT_EQ(PVKPagNumTot(asHandle(h)), 52340);
  EXPECT_EQ(PVKInkjetNumTot(asHandle(h)), 1710);
  EXPECT_EQ(PVKPagNumCur(asHandle(h), true), 0);
  EXPECT_NE(file("pid_0009_12400512.reg").find("nPagesCur=0"), std::string::npos);
  EXPECT_EQ(PVKInkjetNumCur(asHandle(h), true), 0);
  EXPECT_NE(file("pid_0009_12400512.reg").find("InkjetCntCur=0"), std::string::npos);
  EXPECT_EQ(PVKPagNumTot(nullptr), -1);
  EXPECT_EQ(PVKPagNumTot(asHandle(h)), -1);  // the null handle withdrew the handle
  EXPECT_EQ(PVKClose(asHandle(h)), -1);
  // Opening again gives the same handle back, and the device is the host's again.
  EXPECT_EQ(PVKInitialize(nullptr), h);
  EXPECT_EQ(PVKPagNumTot(asHandle(h)), 52340);
}

TEST_F(DeviceCalls, ModelsAndSerialsChooseTheDevice) {
  ASSERT_EQ(PVKClose(asHandle(h)), 0);
  EXPECT_EQ(PVKInitializeA6A4(true), -1);  // the default scanner is neither model
  EXPECT_EQ(PVKGetLastResult(), -21);
  EXPECT_EQ(PVKInitializeSN(nullptr, const_cast<char*>("00000000")), -1);
  EXPECT_EQ(PVKGetLastResult(), -21);
  h = PVKInitializeSN(nullptr, const_cast<char*>("12400512"));
  EXPECT_EQ(h, 9400512);
}

TEST_F(DeviceCalls, ResetAndSpecialHardware) {
  EXPECT_EQ(PVKReset(asHandle(h)), 0);
  EXPECT_EQ(PVKSpecialHW(asHandle(h)), 0u);
  EXPECT_EQ(PVKGenerateInstLog(nullptr), 0);
}

// A configuration directory whose name does not fit the record keeps the one in force; the
// scanner still opens.
TEST_F(DeviceCalls, OverlongDirectoryKeepsTheOneInForce) {
  ASSERT_EQ(PVKClose(asHandle(h)), 0);
  std::string deep = dir;
  while (deep.size() < 300) deep += "/" + std::string(60, 'd');
  ASSERT_EQ(std::system(("mkdir -p '" + deep + "'").c_str()), 0);
  h = PVKInitialize(reinterpret_cast<unsigned char*>(deep.data()));
  EXPECT_EQ(h, 9400512) << PVKGetLastResult();
  EXPECT_EQ(PVKPagNumCur(asHandle(h), true), 0);
  EXPECT_NE(file("pid_0009_12400512.reg").find("nPagesCur=0"), std::string::npos);
}

}  // namespace
