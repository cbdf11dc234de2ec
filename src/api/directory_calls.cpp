// Exported calls of the trace file name, the configuration directory and the forced resolution.
#include <cstdio>
#include <cstring>

#include "api/exported.h"
#include "core/cnf_dir.h"
#include "core/frame.h"

namespace {

constexpr size_t kPathBuf = 260;

}  // namespace

extern "C" int PVKLogFileName(char* buf) {
  return pvk::api::guarded("PVKLogFileName", [&] {
    if (buf == nullptr) {
      WriteTrace("err - ", "PVKLogFileName with null buffer", false);
      return static_cast<int>(PVK_ERR_INV_PARAMETER);
    }
    std::memset(buf, 0, kPathBuf);
    // At most 259 characters and the terminator, a longer path cut.
    if (MyLog.Log != 0) std::snprintf(buf, kPathBuf, "%.*s", static_cast<int>(kPathBuf - 1), MyLog.tracePath);
    return static_cast<int>(PVK_OK);
  });
}

extern "C" int PVKConfigDirGet(void* handle, char* buf) {
  return pvk::api::guarded("PVKConfigDirGet", [&] {
    const uint64_t value = reinterpret_cast<uintptr_t>(handle);
    if (value != 0 && value != pvk::core::kInvalidHandle && !DllFunctInit("PVKConfigDirGet", handle)) {
      RMSVERIFICARESULT();
      return static_cast<int>(MyDev.lastResult);
    }
    if (buf == nullptr) {
      WriteTrace("err - ", "PVKConfigDirGet with null buffer", false);
      MyDev.lastResult = PVK_ERR_INV_PARAMETER;
      return static_cast<int>(PVK_ERR_INV_PARAMETER);
    }
    std::memcpy(buf, MyDev.cnfDir, kPathBuf);
    MyDev.lastResult = PVK_OK;
    RMSVERIFICARESULT();
    return static_cast<int>(PVK_OK);
  });
}

extern "C" int PVKGetForcedRes(unsigned short* dpiFront, unsigned short* dpiRear,
                               unsigned short* dpiVert1, unsigned short* dpiVert2) {
  return pvk::api::guarded("PVKGetForcedRes", [&] {
    const int r = GetForcedRes(dpiFront, dpiRear, dpiVert1, dpiVert2);
    MyDev.lastResult = r;
    return r;
  });
}
