// Page and stamp counters kept by the device and in the per-device counters file, and the
// default OCR font data-base directory.
#include <cstdio>
#include <cstring>

#include "control/control.h"
#include "core/frame.h"
#include "core/ini.h"
#include "core/trace.h"
#include "device/device.h"

namespace {

constexpr uint64_t kCounterMax = 2147483647;
constexpr int kBankDevice = 208;

// A counter stops at the largest int; one already beyond it (a garbled counters file, a device
// register read as negative) is held there, so that the file never gets a wrapped number.
void bump(uint64_t& counter) {
  counter = counter < kCounterMax ? counter + 1 : kCounterMax;
}

void count(uint64_t& total, uint64_t& current, int reg, const char* totalKey, const char* currentKey) {
  bump(total);
  bump(current);
  if (MyDev.pageRegister) Vx3BaseContrlMsg(kBankDevice, reg, nullptr, 0, true);
  if (MyLog.deviceFile[0] == '\0') return;
  // Both counters in one rewrite of the file when the device keeps no total of its own.
  char totalText[24], currentText[24];
  std::snprintf(totalText, sizeof totalText, "%d", static_cast<int>(total));
  std::snprintf(currentText, sizeof currentText, "%d", static_cast<int>(current));
  const char* keys[] = {totalKey, currentKey};
  const char* values[] = {totalText, currentText};
  const int first = MyDev.pageRegister ? 1 : 0;
  WritePrivateProfileStrings("General", keys + first, values + first, 2 - first, MyLog.deviceFile);
}

}  // namespace

void AggiornaNumPag() { count(MyDev.pagesTotal, MyDev.pagesCurrent, 43, "nPages", "nPagesCur"); }

void AggiornaNInkjet() { count(MyDev.stampsTotal, MyDev.stampsCurrent, 46, "InkjetCnt", "InkjetCntCur"); }

// The INI's DBDir, else the databases installed with the library, else the configuration
// directory.
void Vx3SetDefaultDBDir() {
  char dir[260];
  GetPrivateProfileString("OCR", "DBDir", "", dir, sizeof dir, MyLog.iniPath);
  const char* src = MyDev.cnfDir;
  if (dir[0] != '\0') {
    WriteTrace("changing DBDir", dir, false);
    src = dir;
  } else if (pvk::core::installedFontDbDir(dir, sizeof dir)) {
    src = dir;
  }
  // Leave room for the '/' and the terminator.
  constexpr size_t room = sizeof MyOcr.dbDir - 2;
  size_t n = strnlen(src, room);
  std::memcpy(MyOcr.dbDir, src, n);
  if (n == 0 || (src[n - 1] != '/' && src[n - 1] != '\\')) MyOcr.dbDir[n++] = '/';
  MyOcr.dbDir[n] = '\0';
}
