// Colour and side switches, automatic side and rotation defaults, the device-state save and
// restore around paper moves, the acquired height, the stop request, brightness and contrast,
// the photo-sensor tuning bytes, and the document road's calls this floor reaches by hooks.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/image_utils.h"
#include "calibration/calibration.h"
#include "control/control.h"
#include "core/results.h"
#include "core/trace.h"
#include "device/device.h"

namespace {

int result(int code) {
  Vx3ResultSet(code);
  return code;
}

constexpr uint8_t kIrBit = 8, kUvBit = 16;

// The road's calls before the road installed its own: refused, traced.
int32_t roadMissing() {
  WriteTrace("err - ", "document road not installed", false);
  return result(PVK_ERR_GENERIC);
}
int32_t noAcquire(uint16_t, ImgInfo*, bool) { return roadMissing(); }
int32_t noMove(bool, uint16_t, uint16_t, bool, uint16_t, uint16_t, bool) { return roadMissing(); }

}  // namespace

namespace pvk::control {

RoadHooks roadHooks = {noAcquire, noMove};

}  // namespace pvk::control

bool SetColor(unsigned char code, bool quiet) {
  const AcqInfo saved = MyAcq;
  const uint8_t base = code & ~(kIrBit | kUvBit);
  MyAcq.rgb = MyAcq.ir = MyAcq.uv = 0;
  MyAcq.colour = MyAcq.baseColour = MyAcq.greyLed = base;
  bool ok = true;
  if (base == 1) {
    MyAcq.colourLines = MyAcq.planesPerLine = 1;
  } else if (base >= 2 && base <= 5) {
    ok = MyDev.FwCapI != 0;
    MyAcq.rgb = 1;
    MyAcq.colourLines = MyAcq.planesPerLine = 3;
  } else if (code & (kIrBit | kUvBit)) {
    // IR or UV alone: one grey plane carries the base.
    MyAcq.colour = MyAcq.baseColour = MyAcq.greyLed = 1;
    MyAcq.colourLines = MyAcq.planesPerLine = 1;
  } else {
    ok = false;
  }
  if (ok && (code & kUvBit)) {
    if (!MyDev.uvHw) {
      WriteTrace("UV not supported", false);
      ok = false;
    } else {
      MyAcq.colour |= kUvBit;
      ++MyAcq.planesPerLine;
      MyAcq.uv = 1;
    }
  }
  if (ok && (code & kIrBit)) {
    if (!MyDev.irHw) {
      WriteTrace("IR not supported", false);
      ok = false;
    } else {
      MyAcq.colour |= kIrBit;
      ++MyAcq.planesPerLine;
      MyAcq.ir = 1;
    }
  }
  if (ok) return true;
  if (!quiet) WriteTrace("err - ", "invalid color request", code, false);
  MyAcq = saved;
  Vx3ResultSet(-3);
  return false;
}

bool SetFrontOff(bool off) {
  if (!off) {
    MyAcq.frontOff = 0;
    return false;
  }
  MyDev.img[F0 < kSides ? F0 : 1].hasData = 0;
  const bool micrAllows = !MyMICR.enabled || (MyMICR.side == 0 && MyMICR.samplesOneSide != 0);
  const bool allowed = MyDev.FwCapB && !MyDev.altSideLayout && !MyAcq.backlight && micrAllows;
  MyAcq.frontOff = allowed;
  return allowed;
}

bool SetRearOff(bool off) {
  if (off) MyDev.img[R0 < kSides ? R0 : 0].hasData = 0;
  if (!MyDev.rearPresent) {
    MyAcq.rearOff = 1;
    return true;
  }
  const bool micrKeeps = MyMICR.enabled && (MyMICR.side == 0 || MyMICR.samplesOneSide == 0);
  const bool keep = MyDev.altSideLayout || (MyDev.doubleFeedHw && MyAcq.doubleFeed) || !off || !MyDev.FwCapC ||
                    MyAcq.backlight || micrKeeps;
  MyAcq.rearOff = !keep;
  return !keep;
}

void SetDefaultSideAndRotationAuto() {
  for (auto& r : MyAcq.rotation) r = 0;
  MyAcq.autoFrontSide = F0;
  MyAcq.autoRearSide = R0;
  if (!MyMICR.enabled) return;
  const uint16_t s = MyMICR.side;
  const uint16_t r = MyMICR.rotation;
  const uint16_t o = r == 256 ? 768 : 256;
  MyAcq.autoFrontSide = s;
  MyAcq.autoRearSide = s == 0;
  if (s == 1) {
    MyAcq.rotation[1] = r;
    MyAcq.rotation[0] = o;
  } else if (s == 0) {
    MyAcq.rotation[1] = o;
    MyAcq.rotation[0] = r;
  } else {
    MyAcq.rotation[0] = MyAcq.rotation[1] = o;
  }
  MyAcq.rotation[2] = MyAcq.rotation[MyDev.backlightSide == 0 ? 0 : 1];
}

void SalvaDevice(_DevInfo* dev, AcqInfo* acq, CorInfoSide* cor, BrCrInfoSide* brcr) {
  if (dev == nullptr || acq == nullptr || cor == nullptr || brcr == nullptr) {
    WriteTrace("err - ", "unexpected 1", false);
    return;
  }
  pvk::core::copyDeviceRecord(*dev, MyDev);  // PVKStop may write the stop request meanwhile
  *acq = MyAcq;
  for (int s = 0; s < kSides; ++s) {
    cor[s] = MyCorS[s];
    brcr[s] = MyBrCr[s];
  }
  // The saved copy owns the buffers from now on.
  std::memset(MyDev.img, 0, sizeof MyDev.img);
  std::memset(MyDev.imgFirstPart, 0, sizeof MyDev.imgFirstPart);
  for (auto& c : MyCorS) {
    c.white = c.black = nullptr;
    c.modeLoaded = 0;
  }
}

void RipristinaDevice(_DevInfo* dev, AcqInfo* acq, CorInfoSide* cor, BrCrInfoSide* brcr) {
  if (dev == nullptr || acq == nullptr || cor == nullptr || brcr == nullptr) {
    WriteTrace("err - ", "unexpected 2", false);
    return;
  }
  for (int s = 0; s < kSides; ++s) {
    pvk::core::releaseSideBuffer(MyDev.img[s].allocBase);
    pvk::core::releaseSideBuffer(MyDev.imgFirstPart[s].allocBase);
    // All three sides: the backlight references are allocated like the others.
    std::free(MyCorS[s].white);
    std::free(MyCorS[s].black);
  }
  // The live connection stays: a device reopened during the move keeps its new handle, and one
  // lost during the move stays marked for a reopen. The inkjet stamp is not part of the saved
  // state and is left alone.
  libusb_device* usbDevice = MyDev.usbDevice;
  libusb_device_handle* usbHandle = MyDev.usbHandle;
  const int8_t state = MyDev.state;
  const uint8_t highSpeed = MyDev.highSpeed;
  // The stop request is the host's, not part of the saved set-up, and PVKStop may write it from
  // another thread meanwhile: it keeps its live value.
  pvk::core::copyDeviceRecord(MyDev, *dev);
  MyDev.usbDevice = usbDevice;
  MyDev.usbHandle = usbHandle;
  MyDev.state = state;
  MyDev.highSpeed = highSpeed;
  MyAcq = *acq;
  for (int s = 0; s < kSides; ++s) {
    MyCorS[s] = cor[s];
    MyCorS[s].modeLoaded = 0;
    MyBrCr[s] = brcr[s];
  }
}

int Vx3GetAcqHeight(short side, short dpi) {
  int s = side;
  if (side == 8) s = MyAcq.autoRearSide;
  if (side == 9) s = MyAcq.autoFrontSide;
  if (s < 0 || s >= kSides) {
    WriteTrace("PVKGetAcqHeight with invalid side", side, false);
    return 0;
  }
  if (dpi < 1) {
    WriteTrace("PVKGetAcqHeight with invalid dpi", dpi, false);
    return 0;
  }
  const ImgInfo& r = MyDev.img[s];
  if (r.dpiV == 0) {
    WriteTrace("PVKGetAcqHeight with invalid dpiV", r.dpiV, false);
    return 0;
  }
  return static_cast<int>(uint32_t(r.rowsUsed) * uint32_t(dpi) / r.dpiV);
}

int Vx3Stop(short value) {
  Vx3ResultSet(0);
  if (value >= 1) {
    pvk::core::requestStop(true);
    if (MyLog.Debug) WriteTrace("PVKStop set", false);
  } else {
    pvk::core::requestStop(false);
    if (MyLog.Debug) WriteTrace("PVKStop removed", false);
  }
  return 0;
}

namespace {

int brightnessOrContrast(short front, short rear, void (*apply)(uint8_t, int16_t)) {
  if (front < -100 || front > 100 || rear < -100 || rear > 100) {
    WriteTrace("err - ", "invalid parameter", false);
    return result(-3);
  }
  Vx3ResultSet(0);
  apply(1, front);
  apply(0, rear);
  return Vx3ResultGet();
}

}  // namespace

int Vx3Brightness(short front, short rear) {
  return brightnessOrContrast(front, rear, [](uint8_t s, int16_t v) { Brightness(s, v); });
}

int Vx3Contrast(short front, short rear) {
  return brightnessOrContrast(front, rear, [](uint8_t s, int16_t v) { Contrast(s, v); });
}

int Vx3MoveScannerLinesOld(bool forward, unsigned short lines, unsigned short dpi) {
  return pvk::control::roadHooks.moveScannerLines(forward, lines, dpi, false,
                                                 std::max<uint16_t>(MyAcq.acqTimeoutSec, 30),
                                                 MyAcq.acqTimeoutMs, false);
}

namespace {

constexpr int kBankDevice = 208;
constexpr int kRegTuneWrite = 20;
constexpr int kRegTuneRead = 21;

int tuningFailure() { return result(Vx3ResultGet() < 0 ? Vx3ResultGet() : -1); }

}  // namespace

int Vx3PhotoTunRead(char* bytes8) {
  if (!MyDev.photoTuning) {
    WriteTrace("err - ", "Photo tuning not supported", false);
    return result(-15);
  }
  if (bytes8 == nullptr) return result(-3);
  Vx3ResultSet(0);  // a failure below reports its own code, not one left by an earlier call
  if (Vx3BaseContrlMsg(kBankDevice, kRegTuneRead, bytes8, 8, true) != 8) return tuningFailure();
  return result(0);
}

int Vx3PhotoTunWrite(const char* bytes8) {
  if (!MyDev.photoTuning) {
    WriteTrace("err - ", "Photo tuning not supported", false);
    return result(-15);
  }
  if (bytes8 == nullptr) return result(-3);
  Vx3ResultSet(0);
  char out[8], back[8] = {};
  std::memcpy(out, bytes8, sizeof out);
  if (Vx3BaseContrlMsg(kBankDevice, kRegTuneWrite, out, 8, false) != 8) return tuningFailure();
  if (Vx3BaseContrlMsg(kBankDevice, kRegTuneRead, back, 8, true) != 8) return tuningFailure();
  if (std::memcmp(out, back, sizeof out) != 0) {
    WriteTrace("err - ", "Photo tuning saving error - not matching", false);
    return tuningFailure();
  }
  return result(0);
}
