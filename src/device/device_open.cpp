// Opening the scanner for the host: the initialisation around the opening, the identification
// of the device (firmware version, serial number, capabilities) and the handle the host gets.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "acquisition/document.h"
#include "acquisition/scanner_control.h"
#include "core/cnf_dir.h"
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

void defaultColour() {
  if (SetColor(MyAcq.colour, false)) return;
  pvk::device::traceError("invalid default color", MyAcq.colour);
  MyAcq.colour = AcqDefault.colour = 1;
  MyAcq.baseColour = AcqDefault.baseColour = 1;
  if (!SetColor(1, false))
    pvk::device::traceError("changing color to GRAY", MyDev.lastResult);
  else
    WriteTrace("default color changed to gray", false);
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

int Vx3Initialize(unsigned short pid, char* cnfDir, int first, char* serial) {
  pidDLL = pid;
  MyDev.lastResult = 0;
  SoLibInit(cnfDir);
  int h = Vx3DeviceOpen(first, serial);
  if (h == 0 || static_cast<uint32_t>(h) == 0xFFFFFFFFu) {
    pidDLLClose();
    return -1;
  }
  if (!DirExist(MyDev.cnfDir)) {
    WriteTrace("CnfDir not Accessible", false);
    Vx3DeviceClose(false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    pidDLLClose();
    return -1;
  }
  // A directory that cannot be used (missing, or a name the record cannot hold) keeps the one
  // in force; it does not fail the open.
  char keep[1] = {0};
  const bool usable = cnfDir && cnfDir[0] && strnlen(cnfDir, sizeof MyDev.cnfDir) < sizeof MyDev.cnfDir &&
                      DirExist(cnfDir);
  char* dir = usable ? cnfDir : keep;
  if (!ScannerOpen(dir)) {
    // A scanner whose composition or buffers cannot be set up is no usable device.
    int code = MyDev.lastResult < 0 ? MyDev.lastResult : PVK_ERR_DEVICE;
    pvk::device::traceError("scanner open failed", code);
    Vx3DeviceClose(false);
    pidDLLClose();
    MyDev.lastResult = code;
    return -1;
  }
  // The scanner open may have moved the configuration directory: the counters file follows it.
  char before[sizeof MyLog.deviceFile];
  std::memcpy(before, MyLog.deviceFile, sizeof before);
  AssegnaMyDevReg();
  if (std::strcmp(before, MyLog.deviceFile) != 0) {
    LeggiNPages(true, true);
    LeggiNStamp(true, true);
  }
  const int warning = MyDev.lastResult > 0 ? MyDev.lastResult : 0;
  defaultColour();
  if (MyDev.fwVersion >= 0x3001 && MyDev.fwVersion <= 0x3003) {
    AcqInfo saved = MyAcq;
    MyAcq.calibrating = 1;
    Vx3MoveScanner(false, false, 1, 100, 0);
    MyAcq = saved;
  }
  if (warning && MyDev.lastResult >= 0) MyDev.lastResult = warning;
  return h;
}
