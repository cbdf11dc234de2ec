// Opening the device: the identification of the device (firmware version, serial number,
// capabilities) and the handle the host gets. The whole opening for the host, with the scanner
// made ready, is the document road's (Vx3Initialize).
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/frame.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"

namespace pvk::device {

uint32_t handleValueFor(uint16_t product, uint32_t serialLow) {
  uint32_t v = static_cast<uint32_t>(product) * 1000000u + serialLow % 1000000u;
  if (v == 0) v = static_cast<uint32_t>(std::rand());
  if (v == 0) v = product;
  if (v == 0xFFFFFFFFu) v = 1;
  return v;
}

}  // namespace pvk::device

namespace {

using pvk::device::kNoHandle;

int failOpen() {
  MyDev.lastResult = PVK_ERR_DEVICE;
  MyDev.handleValue = kNoHandle;
  return -1;
}

// At most two reads of the version register into a buffer preset so that an untouched reply
// reads as 0x1005. False when no read counts.
bool readVersion() {
  const uint16_t kept = MyDev.fwVersion;
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (attempt == 1) MyDev.fwVersion = 0x1006;
    unsigned char r[5] = {0x00, 0x01, 0x00, 0x00, 0x05};
    if (Vx3BaseContrlMsg(208, 2, reinterpret_cast<char*>(r), 5, true) < 0) continue;
    uint16_t v = pvk::device::versionOf(r);
    if (attempt == 0 && kept == 0x1005 && v != 0x1005) continue;
    MyDev.fwVersion = v;
    return true;
  }
  return false;
}

void alternativeVersion() {
  if (MyDev.fwVersion != 0x2207 || !fw3000Enable) return;
  unsigned char r[5] = {0};
  if (Vx3BaseContrlMsg(208, 60, reinterpret_cast<char*>(r), 5, true) != 5) return;
  uint16_t v = pvk::device::versionOf(r);
  if (r[1] == 0 || v <= MyDev.fwVersion) return;
  if ((MyDev.productId == 3 || MyDev.productId == 9) && MyDev.serialHigh == 0 && MyDev.serialLow <= 284959)
    WriteTrace("forcing not 0x3000 or above FW; read", v, 1, false);
  else
    MyDev.fwVersion = v;
}

void capabilityRequest() {
  MyDev.calibLight = 1;
  if (MyDev.fwVersion <= 0x3103) return;
  unsigned char r[8] = {0};
  if (Vx3BaseContrlMsg(209, 20, reinterpret_cast<char*>(r), 8, true) != 8) return;
  MyDev.capabilityCode = r[1] & 0x38;
  if (MyDev.capabilityCode == 0x10 || MyDev.capabilityCode == 0x20) MyDev.calibLight = 0;
}

}  // namespace

int Vx3DeviceOpen(int first, char* serial) {
  if (MyDev.handleValue != 0 && MyDev.handleValue != kNoHandle) {
    if (isValidDevice()) {
      if (static_cast<uint32_t>(MyDev.openCount) == 0xFFFFFFFFu)
        pvk::device::traceError("too many device open");
      else
        ++MyDev.openCount;
      return static_cast<int>(MyDev.handleValue);
    }
    Vx3DeviceClose(false);
  }
  char* filter = (first < 0 && serial && serial[0]) ? serial : nullptr;
  std::snprintf(SerialFilter, sizeof SerialFilter, "%s", filter ? filter : "");
  if (!MyImageOpen(0, 0, filter, first, true, true) || !Vx3BaseOpen(filter)) return failOpen();
  MyDev.product14 = MyDev.vendorId == pvk::device::kVendorId && MyDev.productId == 14;
  SnStr2SnHighLow(false);
  WriteTrace("---------------------------- device opened ----------------------------", false);
  if (!readVersion()) {
    pvk::device::traceError("Device with invalid ver -> disconnected or USB stack down");
    MyDev.state = pvk::device::kStateInvalid;
    return failOpen();
  }
  alternativeVersion();
  MyDev.pageRegister = MyDev.fwVersion > 0x3100;
  if (!MyAcq.pageNumEn) {
    MyDev.pageRegister = 0;
    WriteTrace("nPage reg disabled", false);
  }
  capabilityRequest();
  LeggiNPages(true, true);
  LeggiNStamp(true, true);
  MyDev.handleValue = pvk::device::handleValueFor(MyDev.productId, MyDev.serialLow);
  MyDev.openCount = 1;
  return static_cast<int>(MyDev.handleValue);
}
