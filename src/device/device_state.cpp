// Keeping the connection usable: the call guard with its handle and state checks, the
// reopening of a lost device, the stop of a running acquisition, the busy scan and the
// reference-counted close.
#include <cstring>

#include "core/frame.h"
#include "core/records.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"
#include "device/inkjet.h"
#include "device/mag_stripe.h"

uint8_t inviatoPktend = 0;

namespace pvk::device {

DeviceHooks deviceHooks = {RiapriDevice, nullptr, nullptr, nullptr};

namespace {
unsigned lostCount = 0;
}  // namespace

void markLost() {
  if (MyDev.state <= 0) return;
  WriteTrace("err - ", "device not answering - reopen at next call", false);
  MyDev.state = kStateReopen;
  ++lostCount;
}

unsigned lostMarks() { return lostCount; }

}  // namespace pvk::device

using pvk::device::kNoHandle;
using pvk::device::kStateInvalid;
using pvk::device::kStateReopen;
using pvk::device::kStateValid;

bool isValidHandle(void* handle) {
  const uint64_t value = reinterpret_cast<uintptr_t>(handle);
  if (value == 0) {
    MyDev.handleValue = kNoHandle;
    return false;
  }
  if (value == kNoHandle) return false;
  return value == MyDev.handleValue;
}

bool isValidDevice() {
  bool valid = false;
  if (MyDev.state > 0) return true;
  // The reopen and the correction reset go through the hooks, which tests replace.
  const pvk::device::DeviceHooks& hooks = pvk::device::deviceHooks;
  if (MyDev.state == kStateReopen) {
    valid = hooks.reopen != nullptr && hooks.reopen();
    if (!valid) MyDev.state = kStateInvalid;
  } else if (MyDev.state == kStateInvalid) {
    MyDev.state = kStateReopen;
  } else if (MyDev.state < 0) {
    WriteTrace("err - ", "device in unexpected state ", MyDev.state, false);
    MyDev.state = kStateInvalid;
  }
  if (!valid && hooks.resetCorrection != nullptr) hooks.resetCorrection();
  return valid;
}

bool isValidHandleAndDevice(void* handle) { return isValidHandle(handle) && isValidDevice(); }

bool DllFunctInit(const char* name, void*& handle) {
  DllFunctInit(name);
  if (handle == pvk::core::noDeviceHandle()) return true;
  if (isValidHandle(handle) && isValidDevice()) return true;
  WriteTrace(handle == nullptr ? "null handle (AA)" : "invalid handle (AA)", false);
  MyDev.lastResult = PVK_ERR_GENERIC;
  return false;
}

bool RiapriDevice() {
  if (MyDev.reopening) {
    WriteTrace("reopen while reopening", false);
    for (int step = 0; step < 100 && MyDev.reopening; ++step) Sleep(10);
    if (MyDev.reopening) {
      WriteTrace("reopen while reopening invalid", false);
      return false;
    }
    if (MyDev.state == kStateValid) {
      WriteTrace("reopen while reopening - device valid", false);
      return true;
    }
    WriteTrace("reopen while reopening invalid", false);
    return false;
  }
  MyDev.reopening = 1;
  WriteTrace("reopen", false);
  if (!MyDev.serialString[0]) {
    MyDev.reopening = 0;
    WriteTrace("null sn", false);
    return false;
  }
  static _DevInfo copy;  // large: kept out of the stack
  pvk::core::copyDeviceRecord(copy, MyDev);  // the stop request stays the host's
  // Only the scanner that was lost may come back: another one on the bus is not it.
  if (Vx3BaseOpen(copy.serialString)) {
    pvk::device::traceLine("reopening device ", copy.serialString, MyDev.openTag);
    Vx3MagStripeReopen();
    pvk::device::traceLine("reopening device - valid device ", copy.serialString, "");
    libusb_device* dev = MyDev.usbDevice;
    libusb_device_handle* h = MyDev.usbHandle;
    uint8_t highSpeed = MyDev.highSpeed;
    pvk::core::copyDeviceRecord(MyDev, copy);
    MyDev.usbDevice = dev;
    MyDev.usbHandle = h;
    MyDev.highSpeed = highSpeed;
    MyDev.state = kStateValid;
    MyDev.reopening = 0;
    return true;
  }
  // The old handle was closed by the attempt: it must not come back with the copy.
  libusb_device* dev = MyDev.usbDevice;
  libusb_device_handle* h = MyDev.usbHandle;
  pvk::core::copyDeviceRecord(MyDev, copy);
  MyDev.usbDevice = dev;
  MyDev.usbHandle = h;
  pvk::device::traceLine("reopening device - no reopen ", copy.serialString, "");
  MyDev.state = kStateInvalid;
  MyDev.reopening = 0;
  return false;
}

void FermaAcquisizione(int stop, bool force, bool packetEnd) {
  InkjetStop();
  const bool send = force || !(MyAcq.secondPartPending && !MyAcq.twoPartActive);
  if (stop == 0) {
    stopAcq = 1;
    return;
  }
  const bool fw3000 = MyDev.fwVersion >= 0x3000;
  if (packetEnd && !fw3000 && !inviatoPktend) {
    inviatoPktend = 1;
    stopAcq = 1;
    Sleep(10);
    Vx3BaseContrlMsg(209, 24, nullptr, 0, true);
    Sleep(10);
  }
  stopAcq = 1;
  if (!send) return;
  if (!fw3000) {
    Vx3BaseContrlMsg(209, 2, nullptr, 0, true);
    Vx3BaseContrlMsg(209, 23, nullptr, 0, true);
  } else {
    Vx3BaseContrlMsg(209, 53, nullptr, 0, true);
    if (MyDev.fwVersion <= 0x3004) Sleep(10);
    Vx3BaseContrlMsg(209, 57, nullptr, 0, true);
  }
}

void FermaAcquisizione(int stop) { FermaAcquisizione(stop, true, false); }

bool SetScanBusy(bool on) {
  MyDev.scanBusy = on ? 1 : 0;
  if (MyDev.fwVersion < 0x2003) return true;
  const bool fw3000 = MyDev.fwVersion >= 0x3000;
  if (!on) {
    Vx3BaseContrlMsg(209, fw3000 ? 55 : 9, nullptr, 0, true);
    return true;
  }
  if (FX2ReadStatusL() & (1L << 3)) {
    pvk::device::traceError("Device is busy");
    MyDev.lastResult = PVK_ERR_BUSY;
    return false;
  }
  Vx3BaseContrlMsg(209, fw3000 ? 54 : 8, nullptr, 0, true);
  return true;
}

void ScannerSpegniTutto() {
  if (!MyDev.scanBusy) return;
  SetScanBusy(false);
  FermaAcquisizione(0);
}

bool Vx3Reset() {
  if (MyDev.handleValue == 0 || MyDev.handleValue == kNoHandle) return false;
  ScannerSpegniTutto();
  return true;
}

void Vx3BaseClose() {
  if (MyDev.openCount >= 2) {
    --MyDev.openCount;
  } else {
    MyDev.openCount = 0;
    pidDLLClose();
    MyDev.state = pvk::device::kStateClosed;
    MyDev.handleValue = kNoHandle;
    Vx3BaseCloseLinux();
  }
  // Posts only a lock this process holds, then closes it; the next request reopens it.
  CloseSemaforoEP0(true);
}

int Vx3DeviceClose(bool reset) {
  if (pvk::device::deviceHooks.closeScanner != nullptr) pvk::device::deviceHooks.closeScanner(reset);
  Vx3BaseClose();
  WriteTrace("---------------------------- device closed ----------------------------", false);
  MyDev.lastResult = 0;
  return 0;
}
