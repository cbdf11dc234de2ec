// Exported calls of scan and read: the font database listing.
#include <cstring>

#include "api/exported.h"
#include "reading/reading.h"

namespace {

constexpr int kNameBuffer = 260;

// The frame both listing calls share: no device needed, a null buffer refused, a missing name
// reported as -1 with the buffer cleared.
int listDatabase(const char* call, const char* failTrace, bool (*step)(char*), char* name) {
  return pvk::api::guarded(call, [&]() -> int {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit(call, h)) {
      RMSVERIFICARESULT();
      return static_cast<int>(MyDev.lastResult);
    }
    if (name == nullptr) {
      WriteTrace("err - ", call, "null buffer", false);
      MyDev.lastResult = PVK_ERR_INV_PARAMETER;
      RMSVERIFICARESULT();
      return PVK_ERR_INV_PARAMETER;
    }
    if (step(name)) {
      MyDev.lastResult = PVK_OK;
      RMSVERIFICARESULT();
      return PVK_OK;
    }
    std::memset(name, 0, kNameBuffer);
    WriteTrace(failTrace, false);
    MyDev.lastResult = PVK_ERR_GENERIC;
    RMSVERIFICARESULT();
    return PVK_ERR_GENERIC;
  });
}

}  // namespace

extern "C" int PVKFirstDataBaseFN(char* name) {
  return listDatabase("PVKFirstDataBaseFN", "setting first database", Vx3FirstDataBaseFN, name);
}

extern "C" int PVKNextDataBaseFN(char* name) {
  return listDatabase("PVKNextDataBaseFN", "setting next database", Vx3NextDataBaseFN, name);
}
