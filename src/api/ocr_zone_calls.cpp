// Exported calls of the OCR zone table. They take the caller's device handle: a zone table is
// built for the open scanner. The work is the reading floor's.
#include "api/exported.h"
#include "reading/reading.h"

namespace {

// The guard, then op; a refused call returns `refused` with the guard's result left in place.
template <typename Op>
int zoneCall(const char* name, void* handle, int refused, Op&& op) {
  return pvk::api::guarded(name, [&] {
    if (!DllFunctInit(name, handle)) {
      RMSVERIFICARESULT();
      return refused;
    }
    const int r = op();
    RMSVERIFICARESULT();
    return r;
  });
}

}  // namespace

extern "C" int PVKOCRZoneRotateDoc(void* handle, short rotation) {
  return zoneCall("PVKOCRZoneRotateDoc", handle, -1, [&] { return pvk::reading::zoneRotateDoc(rotation); });
}

extern "C" int PVKOCRZoneAdd(void* handle, short dpi, short left, short top, short width, short height, short side,
                             short font, short option) {
  return zoneCall("PVKOCRZoneAdd", handle, -1, [&] {
    return pvk::reading::zoneAdd(dpi, left, top, width, height, side, font, option);
  });
}

extern "C" int PVKOCRZoneNChar(void* handle, short zone) {
  return zoneCall("PVKOCRZoneNChar", handle, 0, [&] { return pvk::reading::zoneNChar(zone); });
}

extern "C" int PVKOCRZoneOCRchar(void* handle, short zone) {
  return zoneCall("PVKOCRZoneOCRchar", handle, -1, [&] { return pvk::reading::zoneOCRchar(zone); });
}
