// The numeric serial number, the per-device counters file and the page and stamp counters that
// the device registers and that file keep.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "core/ini.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"

namespace pvk::device {

void countersFilePath(char* out, size_t size, const char* cnfDir, uint16_t product, const char* serial) {
  if (!out || size == 0) return;
  out[0] = 0;
  if (!cnfDir || !serial) return;
  char prefix[300];
  int n = std::snprintf(prefix, sizeof prefix, "%s/pid_%04x_", cnfDir, product);
  const size_t suffix = 4;  // ".reg"
  if (n < 0 || static_cast<size_t>(n) + suffix + 1 >= size) return;
  // The serial comes from the device: cut it to what fits and keep it a plain file name, so
  // the path never leaves the configuration directory.
  size_t room = size - 1 - static_cast<size_t>(n) - suffix;
  std::memcpy(out, prefix, static_cast<size_t>(n));
  size_t k = 0;
  for (; serial[k] && k < room; ++k) {
    unsigned char c = static_cast<unsigned char>(serial[k]);
    out[n + static_cast<int>(k)] = (c == '/' || c < 0x20 || c == 0x7F) ? '_' : static_cast<char>(c);
  }
  std::memcpy(out + n + k, ".reg", suffix + 1);
}

}  // namespace pvk::device

void AssegnaMyDevReg() {
  pvk::device::countersFilePath(MyLog.deviceFile, sizeof MyLog.deviceFile, MyDev.cnfDir, MyDev.productId,
                                MyDev.serialString);
}

void SnStr2SnHighLow(bool keepLetters) {
  char piece[16] = {0};
  size_t len = strnlen(MyDev.serialString, sizeof MyDev.serialString);
  size_t take = len < 15 ? len : 15;
  std::memcpy(piece, MyDev.serialString + len - take, take);
  if (!keepLetters)
    for (size_t i = 0; i < take; ++i)
      if (piece[i] < '0' || piece[i] > '9') piece[i] = '0';
  if (take >= 9) {
    MyDev.serialLow = static_cast<uint32_t>(std::strtoul(piece + take - 8, nullptr, 10));
    piece[take - 8] = 0;
    MyDev.serialHigh = static_cast<uint32_t>(std::strtoul(piece, nullptr, 10));
  } else {
    MyDev.serialHigh = 0;
    MyDev.serialLow = static_cast<uint32_t>(std::strtoul(piece, nullptr, 10));
  }
  AssegnaMyDevReg();
}

namespace {

// A counter of the counters file; negative numbers and missing keys count as 0.
uint64_t fileCounter(const char* key) {
  char value[260];
  GetPrivateProfileString("General", key, "0", value, sizeof value, MyLog.deviceFile);
  long long v = std::strtoll(value, nullptr, 10);
  return v < 0 ? 0 : static_cast<uint64_t>(v);
}

// A counter register of the device: a signed 32-bit number; false when no full reply came.
bool registerCounter(int reg, uint64_t& out) {
  unsigned char r[4] = {0};
  if (Vx3BaseContrlMsg(208, reg, reinterpret_cast<char*>(r), 4, true) != 4) return false;
  int32_t v = static_cast<int32_t>(r[0] | (r[1] << 8) | (r[2] << 16) | (static_cast<uint32_t>(r[3]) << 24));
  out = static_cast<uint64_t>(static_cast<int64_t>(v));
  return true;
}

}  // namespace

void LeggiNPages(bool total, bool current) {
  if (!MyDev.openTag[0] || !MyDev.serialString[0]) return;
  if (total) {
    if (MyDev.pageRegister)
      registerCounter(42, MyDev.pagesTotal);  // a failed read keeps the total
    else if (MyLog.deviceFile[0])
      MyDev.pagesTotal = fileCounter("nPages");
  }
  if (current && MyLog.deviceFile[0]) MyDev.pagesCurrent = fileCounter("nPagesCur");
}

void LeggiNStamp(bool total, bool current) {
  if (!MyDev.serialString[0]) return;
  if (total) {
    // A failed read keeps the stamp total: the page total is no stamp count.
    if (MyDev.pageRegister)
      registerCounter(45, MyDev.stampsTotal);
    else if (MyLog.deviceFile[0])
      MyDev.stampsTotal = fileCounter("InkjetCnt");
  }
  if (current && MyLog.deviceFile[0]) MyDev.stampsCurrent = fileCounter("InkjetCntCur");
}
