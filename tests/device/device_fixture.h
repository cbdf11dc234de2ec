// A device-layer test on the software scanner: a fresh bus, a virtual clock, a configuration
// directory of its own and a trace file that the test can read back.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "core/frame.h"
#include "core/records.h"
#include "device/device.h"
#include <libusb.h>

#include "../common/ep0_lock_file.h"
#include "pvkemu.h"

namespace pvk::test {

class DeviceTest : public ::testing::Test {
 protected:
  std::string dir;
  std::vector<std::string> lockNames;  // EP0 lock files of the devices added

  void SetUp() override {
    ASSERT_EQ(pvkemu_loaded(), 1);
    pvkemu_reset();
    pvkemu_clock_virtual(1);
    char tmpl[] = "/tmp/pvkdevXXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir = tmpl;
    SoLibInit(dir.c_str());
    std::memset(&MyDev, 0, sizeof MyDev);
    MyDev.handleValue = pvk::device::kNoHandle;
    std::snprintf(MyDev.cnfDir, sizeof MyDev.cnfDir, "%s", dir.c_str());
    MyLog.Log = 1;
    MyLog.LogSize = 0;
    MyLog.LogTimeStamp = 0;
    MyLog.Verbose = 0;
    std::snprintf(MyLog.tracePath, sizeof MyLog.tracePath, "%s/trace.log", dir.c_str());
    MyAcq.pageNumEn = 1;
    EP0SemaphoreTimeout = 60000;
  }

  void TearDown() override {
    CloseSemaforoEP0(false);
    while (MyDev.openCount > 0 && MyDev.usbHandle) Vx3BaseClose();
    Vx3BaseCloseLinux();
    pvkemu_clock_virtual(0);
    for (const std::string& n : lockNames) ::unlink(n.c_str());
    removeLockOfMyDev();
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) ADD_FAILURE() << "cannot remove " << dir;
    EXPECT_EQ(pvkemu_error_count(), 0) << pvkemu_last_error();
  }

  // A profile with a serial of this process, so that test processes running side by side never
  // share an EP0 lock.
  static pvkemu_profile full() {
    pvkemu_profile p;
    pvkemu_profile_full(&p);
    std::snprintf(p.serial, sizeof p.serial, "7%07d", static_cast<int>(getpid() % 10000000));
    return p;
  }
  static pvkemu_profile basic() {
    pvkemu_profile p;
    pvkemu_profile_basic(&p);
    std::snprintf(p.serial, sizeof p.serial, "6%07d", static_cast<int>(getpid() % 10000000));
    return p;
  }

  int add(const pvkemu_profile& p) {
    lockNames.push_back(pvk::testing::ep0LockFile(p.vendor_id, p.product_id, p.serial));
    return pvkemu_add_device(&p);
  }

  // Tests give the device record serials of their own: the lock file named after the record's.
  static void removeLockOfMyDev() {
    char name[160];
    pvk::device::ep0LockPath(name, sizeof name, MyDev.vendorId, MyDev.productId, MyDev.serialLow);
    ::unlink(name);
  }

  // Opens the first device through the connection layer; the handle value or -1.
  int open(const char* serial = nullptr) {
    return Vx3DeviceOpen(-1, const_cast<char*>(serial));
  }

  std::string trace() const {
    std::ifstream f(dir + "/trace.log", std::ios::binary);
    std::stringstream s;
    s << f.rdbuf();
    return s.str();
  }
  bool traced(const std::string& text) const { return trace().find(text) != std::string::npos; }

  // The vendor control requests in the log, from entry `from` on.
  static std::vector<pvkemu_request> vendorRequests(size_t from = 0) {
    std::vector<pvkemu_request> out;
    for (size_t i = from; i < pvkemu_log_count(); ++i) {
      pvkemu_request r;
      pvkemu_log_get(i, &r);
      if (r.kind == PVKEMU_LOG_CONTROL && (r.request_type & 0x60) == 0x40) out.push_back(r);
    }
    return out;
  }
  static std::vector<pvkemu_request> bulkSubmissions() {
    std::vector<pvkemu_request> out;
    for (size_t i = 0; i < pvkemu_log_count(); ++i) {
      pvkemu_request r;
      pvkemu_log_get(i, &r);
      if (r.kind == PVKEMU_LOG_BULK_SUBMIT) out.push_back(r);
    }
    return out;
  }
  // One request as "type/value/length", for comparing whole sequences.
  static std::string brief(const pvkemu_request& r) {
    char t[32];
    std::snprintf(t, sizeof t, "%02X/%d/%d", r.request_type, r.value, r.length);
    return t;
  }
  static std::vector<std::string> briefs(const std::vector<pvkemu_request>& rs) {
    std::vector<std::string> out;
    for (const auto& r : rs) out.push_back(brief(r));
    return out;
  }
};

using Strings = std::vector<std::string>;

}  // namespace pvk::test
