// Exported calls of the last result and the messages of the result codes.
#include "api/exported.h"
#include "core/frame.h"
#include "core/results.h"

extern "C" int PVKErrorString(char* buf, int size) {
  return pvk::api::guarded("PVKErrorString", [&] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKErrorString", h)) return -1;
    const int r = static_cast<short>(Vx3ResultMsg(Vx3ResultGet(), buf, static_cast<short>(size)));
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKErrMsg(int code, char* buf, int size) {
  return pvk::api::guarded("PVKErrMsg", [&] {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKErrMsg", h)) return -1;
    const int r = Vx3ResultMsg(code, buf, static_cast<short>(size));
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKGetLastResult(void) {
  return pvk::api::guarded("PVKGetLastResult", [] {
    // Asking for the last result must not change it, whatever the guard does.
    const int last = Vx3ResultGet();
    void* h = pvk::core::noDeviceHandle();
    DllFunctInit("PVKGetLastResult", h);
    Vx3ResultSet(last);
    RMSVERIFICARESULT();
    return last;
  });
}

extern "C" void PVKSetLastResult(int code) {
  pvk::api::guarded("PVKSetLastResult", [&] {
    void* h = pvk::core::noDeviceHandle();
    if (DllFunctInit("PVKSetLastResult", h)) Vx3ResultSet(code);
    RMSVERIFICARESULT();
    return 0;
  });
}
