// Exported calls that report on the library itself.
#include <cstdio>
#include <cstring>

#include "api/exported.h"
#include "core/cnf_dir.h"
#include "core/frame.h"

extern "C" int PVKLibInfo(char* buf, int size) {
  return pvk::api::guarded("PVKLibInfo", [&] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKLibInfo", h)) return -1;
    char info[64];
    std::snprintf(info, sizeof info, "%s ver. %s", pvk::core::kLibraryFile, pvk::core::kVersion);
    const int n = static_cast<int>(std::strlen(info)) + 1;
    if (buf != nullptr && size >= n) {
      std::memcpy(buf, info, static_cast<size_t>(n));
      MyDev.lastResult = PVK_OK;
    } else if (buf != nullptr && size >= 1) {
      MyDev.lastResult = PVK_ERR_INV_PARAMETER;
      WriteTrace("info too small", size, false);
      buf[0] = '\0';
    } else {
      MyDev.lastResult = PVK_OK;
    }
    RMSVERIFICARESULT();
    return n;
  });
}

extern "C" int PVKRestoreDefaultInitPath(void) {
  return pvk::api::guarded("PVKRestoreDefaultInitPath", [] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKRestoreDefaultInitPath", h)) {
      RMSVERIFICARESULT();
      return MyDev.lastResult;
    }
    Vx3CnfDirSet(nullptr, true, false);
    MyDev.lastResult = PVK_OK;
    RMSVERIFICARESULT();
    return MyDev.lastResult;
  });
}

extern "C" int PVKDravin(int) { return PVK_ERR_SW_NOT_SUPPORTED; }
