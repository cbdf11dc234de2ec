// Exported scanner control calls: parameters, calibration and cleaning, brightness and contrast,
// paper moves, stop and scan enable, photo-sensor tuning.
#include <algorithm>
#include <cstdint>
#include <cstring>

#include "api/exported.h"
#include "calibration/calibration.h"
#include "control/control.h"
#include "core/frame.h"
#include "core/results.h"
#include "device/device.h"
#include "document/document.h"

using pvk::api::withHandle;

namespace {

bool fitsId(int id) { return id >= 0 && id <= 0xFFFF; }
bool fitsValue(int v) { return v >= INT16_MIN && v <= INT16_MAX; }

}  // namespace

extern "C" int PVKSetParameter(int id, int value) {
  // The device's own handle: the call needs an open device.
  void* own = reinterpret_cast<void*>(static_cast<uintptr_t>(MyDev.handleValue));
  return withHandle("PVKSetParameter", own, [&] {
    // Ids and values are 16-bit: a wider number must not wrap onto another id or value.
    if (!fitsId(id) || !fitsValue(value)) {
      WriteTrace("PVK_ERR_INV_PARAMETER setting ParId", id, false);
      return -3;
    }
    return Vx3ParamSet(static_cast<unsigned short>(id), static_cast<short>(value), false);
  });
}

extern "C" int PVKGetParameter(int id, short* value) {
  return withHandle("PVKGetParameter", pvk::core::noDeviceHandle(), [&] {
    if (value == nullptr) return -3;
    if (!fitsId(id)) {
      WriteTrace("PVK_ERR_INV_PARAMETER getting ParId", id, false);
      return -3;
    }
    return Vx3ParamGet(static_cast<unsigned short>(id), value);
  });
}

extern "C" int PVKGetParameter0(unsigned short id) {
  return pvk::api::guarded("PVKGetParameter0", [&] {
    short v = 0;
    void* h = pvk::core::noDeviceHandle();
    if (DllFunctInit("PVKGetParameter0", h)) Vx3ParamGet(id, &v);
    RMSVERIFICARESULT();
    return static_cast<int>(v);
  }, 0);
}

extern "C" int PVKCalibrate(void* handle) { return withHandle("PVKCalibrate", handle, [] { return Vx3Calibrate(); }); }

extern "C" int PVKCheckCalibration(void* handle) {
  return withHandle("PVKCheckCalibration", handle, [] { return Vx3CalibrateCheck(); });
}

extern "C" int PVKClean(void* handle) { return withHandle("PVKClean", handle, [] { return Vx3Clean(); }); }

extern "C" int PVKCheckCleaning(void* handle) {
  return withHandle("PVKCheckCleaning", handle, [] {
    const int r = Vx3CleanCheck();
    if (r != 0) WriteTrace("PVKCheckCleaning returning", r, false);
    return r;
  });
}

extern "C" int PVKBrightness(void* handle, short front, short rear) {
  return withHandle("PVKBrightness", handle, [&] { return Vx3Brightness(front, rear); });
}

extern "C" int PVKContrast(void* handle, short front, short rear) {
  return withHandle("PVKContrast", handle, [&] { return Vx3Contrast(front, rear); });
}

extern "C" int PVKMoveScanner_mSec(void* handle, short a, short b, int ms) {
  return withHandle("PVKMoveScanner_mSec", handle, [&] { return Vx3MoveScanner(b >= 1, a >= 1, ms, 100, 0); });
}

extern "C" int PVKPreScan(void* handle, short value) {
  return withHandle("PVKPreScan", handle, [&] {
    return Vx3PreScan(static_cast<uint16_t>(value / 1000), static_cast<uint16_t>(value % 1000));
  });
}

extern "C" int PVKMoveScannerLines(void* handle, short forward, short lines, short dpi) {
  return withHandle("PVKMoveScannerLines", handle, [&] {
    return Vx3MoveScannerLinesOld(forward >= 1, static_cast<unsigned short>(std::max<short>(lines, 0)),
                                  static_cast<unsigned short>(std::max<short>(dpi, 0)));
  });
}

extern "C" int PVKScanEnable(void* handle, short) {
  return withHandle("PVKScanEnable", handle, [] {
    Vx3Stop(0);
    return 0;
  });
}

extern "C" int PVKStop(void* handle, short value) {
  // Beside a running call only the stop request is touched: the guard could reopen the device,
  // and the trace and the last result belong to the call that is running. Alone, PVKStop holds
  // its frame to the end, so that no call starting meanwhile runs beside it either.
  pvk::core::StopFrame frame;
  if (!frame.alone()) {
    pvk::core::requestStop(value >= 1);
    return 0;
  }
  return pvk::api::caught("PVKStop", [&] { return pvk::api::handleFrame("PVKStop", handle, [&] { return Vx3Stop(value); }); });
}

extern "C" int PVKScannerReset(void* handle) {
  return pvk::api::guarded("PVKScannerReset", [&] { return isValidHandleAndDevice(handle) ? 0 : -3; });
}

extern "C" int PVKPhotoTunRead(void* handle, char* bytes8) {
  return withHandle("PVKPhotoTunRead", handle, [&] { return Vx3PhotoTunRead(bytes8); });
}

extern "C" int PVKPhotoTunWrite(void* handle, char* bytes8) {
  return withHandle("PVKPhotoTunWrite", handle, [&] { return Vx3PhotoTunWrite(bytes8); });
}

extern "C" int PVKPhotoTunReadVB(void* handle, unsigned char* b0, unsigned char* b1, unsigned char* b2,
                                 unsigned char* b3, unsigned char* b4, unsigned char* b5, unsigned char* b6,
                                 unsigned char* b7) {
  char bytes[8] = {};
  const int r = PVKPhotoTunRead(handle, bytes);
  unsigned char* out[8] = {b0, b1, b2, b3, b4, b5, b6, b7};
  for (int k = 0; k < 8; ++k)
    if (out[k] != nullptr) *out[k] = static_cast<unsigned char>(bytes[k]);
  return r;
}

extern "C" int PVKPhotoTunWriteVB(void* handle, unsigned char b0, unsigned char b1, unsigned char b2,
                                  unsigned char b3, unsigned char b4, unsigned char b5, unsigned char b6,
                                  unsigned char b7) {
  char bytes[8] = {char(b0), char(b1), char(b2), char(b3), char(b4), char(b5), char(b6), char(b7)};
  return PVKPhotoTunWrite(handle, bytes);
}
