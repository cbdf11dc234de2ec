// Exported calls of scan and read: the font database listing.
#include <cstring>

#include "api/exported.h"
#include "reading/reading.h"

namespace {

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
    std::memset(name, 0, kDBNameBuffer);
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

extern "C" int PVKImgScan1(void* handle, PVKOCRDoc* doc, char* text, char* conf, short size) {
  return pvk::api::guarded("ImgScan", [&]() -> int {
    void* h = handle;
    if (!DllFunctInit("ImgScan", h)) return static_cast<int>(MyDev.lastResult);
    const bool zones = doc != nullptr && doc->nZones >= 1;
    if (size > 0) {
      if (text != nullptr) std::memset(text, 0, static_cast<size_t>(size));
      if (conf != nullptr) std::memset(conf, 0, static_cast<size_t>(size));
    }
    if (zones && (size <= 0 || text == nullptr)) {
      WriteTrace("err - ", size <= 0 ? "ImgScan - invalid buffer size" : "ImgScan - invalid codeline pointer", size,
                 false);
      MyDev.lastResult = PVK_ERR_INV_PARAMETER;
      RMSVERIFICARESULT();
      return PVK_ERR_INV_PARAMETER;
    }
    Vx3Read(doc, text, conf, size);
    if ((MyLog.Debug & 0x2) != 0 && text != nullptr && size > 0 && text[0] != '\0') WriteTrace(text, false);
    RMSVERIFICARESULT();
    return static_cast<int>(MyDev.lastResult);
  });
}

extern "C" int PVKCheckOCRType(short font) {
  return pvk::api::guarded("PVKCheckOCRType", [&]() -> int {
    void* h = pvk::core::noDeviceHandle();
    if (!DllFunctInit("PVKCheckOCRType", h)) {
      RMSVERIFICARESULT();
      return static_cast<int>(MyDev.lastResult);
    }
    const int r = Vx3OCREnabledCheck(font, true);
    MyDev.lastResult = r;
    RMSVERIFICARESULT();
    return r;
  });
}
