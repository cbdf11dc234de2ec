// Exported calls of the OCR font database directory.
#include "api/exported.h"
#include "ocr/ocr.h"

namespace {

// Handles 0 and 0xFFFFFFFF stand for "no device": the guard is given the no-device handle.
void* guardHandle(void* handle, bool& noDevice) {
  const uint64_t value = reinterpret_cast<uintptr_t>(handle);
  noDevice = value == 0 || value == pvk::core::kInvalidHandle;
  return noDevice ? pvk::core::noDeviceHandle() : handle;
}

}  // namespace

extern "C" int PVKDBDirGet(void* handle, char* buf, int size) {
  return pvk::api::guarded("PVKDBDirGet", [&] {
    bool noDevice = false;
    void* h = guardHandle(handle, noDevice);
    if (!DllFunctInit("PVKDBDirGet", h)) {
      RMSVERIFICARESULT();
      return -1;
    }
    const int r = Vx3DBDirGet(buf, static_cast<short>(size));
    RMSVERIFICARESULT();
    return r;
  });
}

extern "C" int PVKDBDirSet(void* handle, const char* dir) {
  return pvk::api::guarded("PVKDBDirSet", [&] {
    bool noDevice = false;
    void* h = guardHandle(handle, noDevice);
    if (!DllFunctInit("PVKDBDirSet", h)) {
      RMSVERIFICARESULT();
      return noDevice ? -1 : static_cast<int>(MyDev.lastResult);
    }
    const int r = Vx3DBDirSet(dir);
    RMSVERIFICARESULT();
    return r;
  });
}
