// Exported calls of the device connection: opening and closing, identity, status, composition
// and the page and stamp counters.
#include <cstring>

#include "api/exported.h"
#include "core/cnf_dir.h"
#include "core/frame.h"
#include "core/ini.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"
#include "document/document.h"

namespace {

using pvk::api::guarded;

int finish(int result) {
  MyDev.lastResult = result;
  RMSVERIFICARESULT();
  return result;
}

// Counter values go to the host as int: 0x80000000 and above read as 0x7FFFFFFF.
int counterResult(uint64_t value, bool strictlyAbove, const char* trace) {
  bool tooMany = strictlyAbove ? value > 0x7FFFFFFFu : value >= 0x80000000u;
  if (!tooMany) return static_cast<int>(value);
  if (trace) WriteTrace(trace, false);
  return 0x7FFFFFFF;
}

// Resets a current counter; false (last result -5) when the counters file keeps the old count,
// so that the next read does not bring back what the host was told was gone.
bool resetCurrent(const char* trace, const char* key, uint64_t& field) {
  WriteTrace(trace, false);
  if (MyLog.deviceFile[0] && WritePrivateProfileString("General", key, "0", MyLog.deviceFile) != 1) {
    WriteTrace("err - ", "counter reset not saved", key, false);
    MyDev.lastResult = PVK_ERR_WRITE;
    return false;
  }
  field = 0;
  return true;
}

}  // namespace

extern "C" int PVKInitialize(unsigned char* dir) {
  return guarded("PVKInitialize", [&] {
    char* d = reinterpret_cast<char*>(dir);
    // Start-up with the host's directory, not the guard's default: its first lines go there.
    SoLibInit(d);
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKInitialize", h)) return -1;
    pidDLL = 0;
    int r = Vx3Initialize(0, d, -1, nullptr);
    if (d && d[0]) AggiornaLog(false);
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKInitializeSN(char* dir, char* serial) {
  return guarded("PVKInitializeSN", [&] {
    pidDLL = 0;
    SoLibInit(dir);
    if (dir && dir[0]) {
      if (std::strcmp(dir, MyDev.cnfDir) == 0) {
        WriteTrace("CnfDir is not changed", false);
      } else {
        char previous[sizeof MyDev.cnfDir];
        std::memcpy(previous, MyDev.cnfDir, sizeof previous);
        if (!Vx3CnfDirSet(dir, false, false)) {
          WriteTrace("error setting new CnfDir", dir, false);
          Vx3CnfDirSet(previous, false, false);
          WriteTrace("restored", MyDev.cnfDir, false);
        }
      }
    }
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKInitializeSN", h)) return -1;
    int r = Vx3Initialize(pidDLL, dir, -1, serial);
    if (dir && dir[0]) AggiornaLog(false);
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKInitializeA6A4(bool a4) {
  return guarded("PVKInitializeA6A4", [&] {
    const uint16_t wanted = a4 ? 6 : 10;
    if (pidDLL == 10 && wanted == 6) {
      WriteTrace("A6 version already opened; use different dll istance", false);
      return -1;
    }
    if (pidDLL == 6 && wanted == 10) {
      WriteTrace("A4 version already opened; use different dll istance", false);
      return -1;
    }
    pidDLL = wanted;
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKInitializeA6A4", h)) return -1;
    int r = Vx3Initialize(pidDLL, nullptr, -1, nullptr);
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKReset(void* handle) {
  return guarded("PVKReset", [&] {
    if (MyDev.state == pvk::device::kStateInvalid) MyDev.state = pvk::device::kStateReopen;
    if (!DllFunctInit("PVKReset", handle)) return finish(MyDev.lastResult);
    if (Vx3Reset()) {
      MyDev.lastResult = 0;  // an earlier call's failure is not this reset's
    } else if (MyDev.lastResult >= 0) {
      WriteTrace("reset error", false);
      MyDev.lastResult = PVK_ERR_GENERIC;
    }
    RMSVERIFICARESULT();
    return MyDev.lastResult;
  });
}

extern "C" int PVKClose(void* handle) {
  return guarded("PVKClose", [&] {
    if (!DllFunctInit("PVKClose", handle)) return finish(MyDev.lastResult);
    return finish(Vx3DeviceClose(false));
  });
}

extern "C" long PVKReadStatusL(void* handle) {
  long r = 0;
  guarded("PVKReadStatusL", [&] {
    if (!DllFunctInit("PVKReadStatusL", handle)) return 0;
    r = FX2ReadStatusL();
    if (MyDebug.statusOut) {
      char text[32];
      std::snprintf(text, sizeof text, "statusOut 0x%04lx", static_cast<unsigned long>(r) & 0xFFFFFFFFul);
      WriteTrace(text, false);
    }
    RMSVERIFICARESULT();
    return 0;
  });
  return r;
}

extern "C" int PVKVersion(void*, char* buffer, int size) {
  return guarded("PVKVersion", [&] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKVersion", h)) return -1;
    // Sizes beyond the 16-bit range are taken as the largest a buffer may declare.
    short s = size > 0x7FFF ? 0x7FFF : size < 0 ? -1 : static_cast<short>(size);
    int r = Vx3Version(buffer, s);
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKReadSN(void* handle, char* buffer, int size) {
  return guarded("PVKReadSN", [&] {
    if (!DllFunctInit("PVKReadSN", handle)) return 0;
    const int needed = static_cast<int>(strnlen(MyDev.serialString, sizeof MyDev.serialString)) + 1;
    MyDev.lastResult = 0;
    if (!buffer || size < 1) return needed;
    if (needed > size) {
      WriteTrace("err - ", "buffer too short", false);
      MyDev.lastResult = PVK_ERR_INV_PARAMETER;
      return -1;
    }
    std::memset(buffer, 0, static_cast<size_t>(size));
    std::memcpy(buffer, MyDev.serialString, static_cast<size_t>(needed - 1));
    RMSVERIFICARESULT();
    return needed;
  });
}

namespace {

unsigned long compositionWord(const char* name, bool high) {
  unsigned long r = 0;
  guarded(name, [&] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit(name, h)) return 0;
    unsigned long l = 0, hi = 0;
    Vx3CompositionLH(l, hi);
    r = high ? hi : l;
    RMSVERIFICARESULT();
    return 0;
  });
  return r;
}

}  // namespace

extern "C" unsigned long PVKCompositionL(void) { return compositionWord("PVKCompositionL", false); }

extern "C" unsigned long PVKCompositionH(void) { return compositionWord("PVKCompositionH", true); }

extern "C" unsigned long PVKSpecialHW(void* handle) {
  unsigned long r = 0;
  guarded("PVKSpecialBuild", [&] {
    if (!DllFunctInit("PVKSpecialBuild", handle)) return 0;
    r = Vx3SpecialHW();
    RMSVERIFICARESULT();
    return 0;
  });
  return r;
}

extern "C" int PVKGenerateInstLog(char* text) {
  return guarded("PVKGenerateInstLog", [&] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKGenerateInstLog", h)) return finish(MyDev.lastResult);
    Vx3GenerateInstLog(text);
    MyDev.lastResult = 0;
    RMSVERIFICARESULT();
    return 0;
  });
}

extern "C" int PVKDeviceInfo(void* handle, uint16_t* vendor, uint16_t* product, uint16_t* firmware) {
  return guarded("PVKDeviceInfo", [&] {
    if (!DllFunctInit("PVKDeviceInfo", handle)) return finish(MyDev.lastResult);
    if (vendor) *vendor = MyDev.vendorId;
    if (product) *product = MyDev.productId;
    if (firmware) *firmware = MyDev.fwVersion;
    return finish(0);
  });
}

extern "C" int PVKPagNumTot(void* handle) {
  return guarded("PVKPagNumTot", [&] {
    if (!DllFunctInit("PVKPagNumTot", handle)) return -1;
    LeggiNPages(true, false);
    int r = counterResult(MyDev.pagesTotal, false, "too many pages");
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKPagNumCur(void* handle, bool reset) {
  return guarded("PVKPagNumCur", [&] {
    if (!DllFunctInit("PVKPagNumCur", handle)) return -1;
    LeggiNPages(false, true);
    if (reset && !resetCurrent("resetting PageCntCur", "nPagesCur", MyDev.pagesCurrent)) return static_cast<int>(PVK_ERR_WRITE);
    int r = counterResult(MyDev.pagesCurrent, true, "too many pages current");
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKInkjetNumTot(void* handle) {
  return guarded("PVKInkjetNumTot", [&] {
    if (!DllFunctInit("PVKInkjetNumTot", handle)) return -1;
    LeggiNStamp(true, false);
    int r = counterResult(MyDev.stampsTotal, false, nullptr);
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKInkjetNumCur(void* handle, bool reset) {
  return guarded("PVKInkjetNumCur", [&] {
    if (!DllFunctInit("PVKInkjetNumCur", handle)) return -1;
    LeggiNStamp(false, true);
    if (reset && !resetCurrent("resetting InkjetCntCur", "InkjetCntCur", MyDev.stampsCurrent)) return static_cast<int>(PVK_ERR_WRITE);
    int r = counterResult(MyDev.stampsCurrent, true, nullptr);
    RMSVERIFICARESULT();
    return r;
  });
}
