// Stand-ins for what the connection needs of the scanner layer, the endorser and the stripe
// reader. All are weak: the full definitions of those parts take their place in the library.
// The scanner open here is the least a connection needs: the composition, scan enable and the
// configuration directory.
#include <cstdio>

#include "core/cnf_dir.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"

#define PVK_WEAK __attribute__((weak))

PVK_WEAK int32_t Vx3ScanEnable(short on) {
  int r = MyDev.fwVersion >= 0x3000 ? Vx3BaseContrlMsg(208, on >= 1 ? 9 : 10, nullptr, 0, true)
                                    : Vx3BaseContrlMsg(209, on >= 1 ? 5 : 6, nullptr, 0, true);
  return r > 0 ? 0 : MyDev.lastResult;
}

PVK_WEAK bool ScannerOpen(char* cnfDir) {
  MyDev.lastResult = 0;
  MyDev.stopRequest = 0;
  F0 = 1;
  R0 = 0;
  if (!Vx3CompositionLH()) return false;
  MyAcq.usbBlock = MyDev.highSpeed ? 512 : 64;
  Vx3ScanEnable(1);
  // An empty or unusable directory keeps the one in force.
  if (cnfDir && cnfDir[0]) Vx3CnfDirSet(cnfDir, false, false);
  if (!Vx3IsExtPwrd()) {
    pvk::device::traceError("The device is missing external power");
    MyDev.lastResult = PVK_WAR_NO_EXT_POWER;
  }
  return true;
}

PVK_WEAK void ScannerClose(bool reset) {
  if (MyDev.usbHandle) FermaAcquisizione(0);
  SetScanBusy(false);
  if (reset) Vx3Reset();
}

PVK_WEAK bool SetColor(unsigned char code, bool) { return code >= 1; }
PVK_WEAK int Vx3MoveScanner(bool, bool, int, uint16_t, uint16_t) { return 0; }
