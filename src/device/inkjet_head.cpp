// The endorser's head across a document: its configuration, the stamp prepared for it (made
// from the font, turned once when asked, checked against the head's buffer), the start before
// the document, the stop at its end and the printed-count check after it.
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"
#include "device/inkjet.h"

namespace {

using pvk::device::traceError;

constexpr uint32_t kSerialsOffset52[] = {310712, 310713, 310718, 310725, 310735, 310736,
                                         301724, 310825, 310738, 310742, 310350};

bool fail(int code) {
  MyDev.lastResult = code;
  return false;
}

// A failed request leaves whatever the transport recorded; it must not read as success.
bool failRequest() {
  if (MyDev.lastResult >= 0) MyDev.lastResult = PVK_ERR_GENERIC;
  return false;
}

void freeStamp() {
  std::free(MyInkjet.stamp.data);
  MyInkjet.stamp = PVKImg{};
  MyInkjet.stampTurned = 0;
}

bool turnStamp() {
  PVKImg& st = MyInkjet.stamp;
  const size_t bytes = static_cast<size_t>(st.stride) * st.height;
  auto* turned = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
  if (!turned) {
    traceError("creating stamp mirrored image", errno);
    return fail(PVK_ERR_GENERIC);
  }
  std::memset(turned, 255, bytes);
  for (uint16_t r = 0; r < st.height; ++r)
    for (uint16_t c = 0; c < st.width; ++c)
      turned[static_cast<size_t>(st.height - 1 - r) * st.stride + (st.width - 1 - c)] =
          st.data[static_cast<size_t>(r) * st.stride + c];
  std::free(st.data);
  st.data = turned;
  MyInkjet.stampTurned = 1;
  return true;
}

// The stamp image made from the font when there is none yet.
bool stampFromFont() {
  char path[PATH_MAX];
  if (!pvk::device::findStampFont(MyInkjet.fontName, path, sizeof path)) {
    freeStamp();
    return false;
  }
  const int r = pvk::device::createStamp(path, kStampRows, true);
  if (r == 0) return true;
  if (r == -1) {
    pvk::device::traceError("corrupted or invalid file ", path);
    return fail(PVK_ERR_GENERIC);
  }
  return fail(r);
}

}  // namespace

bool InkjetReadCnfData(unsigned short mode) {
  if ((mode != 0 && mode != 0x200) || !MyDev.inkjetPresent) return false;
  return InkjetReadCnfData_TIJ10();
}

bool InkjetReadCnfData_TIJ10() {
  unsigned char r[64] = {0};
  if (Vx3BaseContrlMsg(208, 81, reinterpret_cast<char*>(r), 64, true) < 9) return false;
  MyInkjet.headRes = r[0];
  MyInkjet.headOffset = static_cast<uint16_t>(r[1] | (r[7] << 8));
  MyInkjet.headIntensity = r[2];
  MyInkjet.xOrigin = static_cast<uint16_t>(r[3] | (r[4] << 8));
  MyInkjet.yOrigin = static_cast<uint16_t>(r[5] | (r[6] << 8));
  MyInkjet.stampBufferSize = MyDev.fwVersion > 0x3102 ? r[8] * 64u : 2048u;
  if (MyDev.fwVersion == 0x3102 && MyInkjet.headOffset == 710 && MyDev.serialHigh == 0)
    for (uint32_t sn : kSerialsOffset52)
      if (MyDev.serialLow == sn) MyInkjet.headOffset = 52;
  return MyInkjet.headRes != 0;
}

bool InkjetPrepare_TIJ10() {
  if (MyAcq.mode > 7) {
    traceError("unexpected mode when printing");
    return fail(PVK_ERR_INV_PARAMETER);
  }
  if (MyInkjet.headRes == 0 && !InkjetReadCnfData_TIJ10()) {
    if (MyInkjet.headRes != 0) return failRequest();
    traceError("inkjet not supported in this mode");
    return fail(PVK_ERR_HW_NOT_SUPPORTED);
  }
  if (!MyInkjet.stamp.data && !stampFromFont()) return false;
  // Preparation runs at set-up and again before the print: the stamp is turned only once.
  if (MyInkjet.rotate180 && !MyInkjet.stampTurned && !turnStamp()) return false;
  MyInkjet.stampColumns = MyInkjet.stamp.width;
  if (MyInkjet.stamp.height != kStampRows) {
    freeStamp();
    return false;
  }
  if (MyInkjet.stamp.width * 2u > MyInkjet.stampBufferSize) {
    traceError("stamp is larger then stamp buffer", MyInkjet.stamp.width);
    return fail(PVK_ERR_INV_PARAMETER);
  }
  return true;
}

bool InkjetStart() {
  if (MyInkjet.printed) {
    MyInkjet.armed = 0;
    return false;
  }
  if (!MyDev.inkjetPresent || !MyDev.inkjetReady) return false;
  return InkjetStart_TIJ10();
}

bool InkjetStart_TIJ10() {
  MyInkjet.armed = 0;
  // Nothing is sent for a stamp that could not be prepared: its columns would not fit the
  // stream buffer, or there is no image to take them from.
  if (!InkjetPrepare_TIJ10()) {
    if (MyDev.lastResult >= 0) MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  uint8_t block[8];
  pvk::device::inkjetSetUpBlock(block);
  if (Vx3BaseContrlMsg(208, 72, reinterpret_cast<char*>(block), 8, false) < 0) return failRequest();
  const size_t size = MyInkjet.stampBufferSize;
  auto* stream = static_cast<uint8_t*>(std::calloc(size ? size : 1, 1));
  if (!stream) {
    traceError("error allocating stamp buffer", static_cast<long>(size));
    return fail(PVK_ERR_GENERIC);
  }
  if (!pvk::device::stampColumns(MyInkjet.stamp, stream, size)) {
    std::free(stream);
    return fail(PVK_ERR_INV_PARAMETER);
  }
  MyInkjet.expectedCount = static_cast<uint32_t>(MyInkjet.stampColumns * 2);
  // A failed write shows as an incomplete print when the count is checked.
  ScriviTimbro(reinterpret_cast<char*>(stream), MyInkjet.stamp.width * 2);
  std::free(stream);
  if (!MyInkjet.stampImageRequested) freeStamp();
  if (Vx3BaseContrlMsg(208, 70, nullptr, 0, true) < 0) return failRequest();
  MyInkjet.printing = 1;
  MyInkjet.armed = 1;
  return true;
}

bool CheckStamp() {
  if (!MyDev.inkjetPresent) return true;
  return CheckStamp_TIJ10();
}

bool CheckStamp_TIJ10() {
  if (MyInkjet.expectedCount) {
    unsigned char r[8] = {0};
    if (Vx3BaseContrlMsg(208, 80, reinterpret_cast<char*>(r), 8, true) < 5) {
      traceError("error checking printed stamp");
      return failRequest();
    }
    MyInkjet.printedCount = r[1] | (r[2] << 8) | (r[3] << 16) | (static_cast<uint32_t>(r[4]) << 24);
    if (MyInkjet.printedCount < MyInkjet.expectedCount) {
      traceError("incomplete stamp", static_cast<long>(MyInkjet.printedCount));
      return fail(PVK_ERR_INKJET_INCOMPLETE);
    }
  }
  MyDev.lastResult = 0;
  return true;
}

void InkjetStop() {
  if (MyDev.inkjetPresent && MyInkjet.printing) {
    MyInkjet.printed = 1;
    InkjetStop_TIJ10();
  }
}

void InkjetStop_TIJ10() {
  Vx3BaseContrlMsg(208, 71, nullptr, 0, true);
  MyInkjet.armed = 0;
  MyInkjet.printing = 0;
}

void InkjetOff_TIJ10() {
  if (MyDev.inkjetPresent && MyInkjet.printing) InkjetStop_TIJ10();
}

bool CreateStamp() {
  WriteTrace("CreateStamp to be implemented", false);
  MyDev.lastResult = PVK_ERR_SW_NOT_SUPPORTED;
  return false;
}
