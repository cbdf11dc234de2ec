// Acquisition modes: the mode table of each device variant, the disabled-mode tables, the
// automatic choice from the requested resolutions, and the line geometry a mode gives each side.
#include <algorithm>
#include <cstring>

#include "control/control.h"
#include "core/defaults.h"
#include "core/results.h"
#include "core/trace.h"

using namespace pvk::control;

namespace pvk::control {

ModeInfo modeInfo(int mode) {
  static const ModeInfo table[8] = {
      {600, 1003}, {300, 1005}, {300, 1003}, {300, 15}, {300, 1001}, {0, 0}, {200, 1003}, {200, 1001}};
  if (mode < 0 || mode > 7) return {0, 0};
  return table[mode];
}

unsigned lineRate(uint32_t timing) {
  switch (timing) {
    case 1000: return 100;
    case 1001: return 200;
    case 15: return 300;
    case 1003: return 600;
    default: return 900;
  }
}

bool isOwnProduct(uint16_t product) {
  return MyDev.vendorId == PVK_USB_VENDOR_ID && MyDev.productId == product;
}

bool isMoxModel() { return isOwnProduct(kProductMox); }

namespace {

bool colourOn() { return MyAcq.rgb != 0; }
bool micrOn() { return MyMICR.enabled != 0; }
bool backlightOn() { return MyAcq.backlight != 0; }

}  // namespace

bool modeAllowed(int mode, bool mox) {
  const bool hs = MyDev.highSpeed != 0;
  const bool alt = MyDev.altSideLayout != 0;
  switch (mode) {
    case 0: return hs && !micrOn() && !colourOn() && !backlightOn();
    case 1: return hs && colourOn();
    case 2: return colourOn();
    case 3: return backlightOn() ? !colourOn() : true;
    case 4: return !mox && !micrOn() && !backlightOn() && !colourOn();
    case 6: return !mox && !micrOn() && !backlightOn() && colourOn() && !alt;
    case 7:
      if (mox) return !micrOn() && !colourOn();
      return !micrOn() && !backlightOn() && !colourOn() && !alt;
    default: return false;
  }
}

void disabledModeTable(uint8_t t[8], bool mox) {
  const uint8_t bits = MyAcq.disabledModes;
  if (mox) {
    for (int k = 0; k < 8; ++k) t[k] = (k >= 4 && k <= 6) ? 1 : ((bits >> k) & 1);
    return;
  }
  for (int k = 0; k < 8; ++k) t[k] = 1;
  for (int k = 1; k <= 3; ++k) t[k] = (bits >> k) & 1;
  const bool colour = colourOn();
  if (MyDev.irHw || MyDev.uvHw) {
    t[1] = t[2] = t[3] = 1;
    if (colour) t[1] = 0; else t[3] = 0;
  }
  if (MyDev.slowAcq) {
    t[1] = t[2] = t[3] = 1;
    t[3] = 0;
    if (colour) t[1] = 0;
  }
  if (backlightOn()) {
    t[1] = t[2] = t[3] = 1;
    if (colour) t[1] = 0; else t[3] = 0;
  }
}

}  // namespace pvk::control

bool ModoAbilitato() {
  if (isMoxModel()) return ModoAbilitatoMOX();
  uint8_t t[8];
  disabledModeTable(t, false);
  if (MyAcq.mode < 8 && t[MyAcq.mode] == 0) return true;
  Vx3ResultSet(-3);
  return false;
}

bool ModoAbilitatoMOX() {
  uint8_t t[8];
  disabledModeTable(t, true);
  if (t[0] && t[1] && t[2] && t[3] && t[7]) {
    WriteTrace("all modes disabled", false);
    return false;
  }
  if (MyAcq.mode < 8 && t[MyAcq.mode] == 0) return true;
  Vx3ResultSet(-3);
  return false;
}

namespace {

// One pass of the standard choice; -1 when it finds no mode.
int choosePass(const uint8_t t[8], unsigned h, unsigned v) {
  const bool micr = MyMICR.enabled != 0;
  const bool hs = MyDev.highSpeed != 0;
  const bool colour = MyAcq.rgb != 0;
  const bool backlight = MyAcq.backlight != 0;
  if (v <= 200 && !micr) {
    if (h <= 200 && t[7] == 0) return 7;
    if (t[4] == 0) return 4;
  }
  enum { kStep3, kStep4, kStep5, kStep6 } next = kStep3;
  if (hs && !colour && (h > 300 || v > 300)) {
    if (t[0] == 0 && !micr) return 0;
  } else if (hs && !colour) {
    next = kStep4;
  }
  if (next == kStep3) next = v > 600 ? kStep6 : kStep4;
  if (next == kStep4) {
    if (t[0] != 0 && MyAcq.colourLines == 1) return 3;
    if (v <= 300) {
      if (t[3] == 0) return 3;
      next = kStep5;
    } else {
      next = v <= 600 ? kStep5 : kStep6;
    }
  }
  if (next == kStep5) {
    if (h <= 200 && t[6] == 0 && !micr) return 6;
    if (t[2] == 0) return 2;
  }
  if (!hs && t[2] == 0) return 2;
  if (t[1] == 0) return 1;
  if (backlight) return colour ? 1 : 3;
  return -1;
}

}  // namespace

void SetAcquisitionMode(unsigned int h, unsigned int v) {
  if (isMoxModel()) {
    SetAcquisitionMode_MOX(h, v);
    return;
  }
  uint8_t t[8];
  disabledModeTable(t, false);
  int mode = choosePass(t, h, v);
  if (mode < 0) {
    // Nothing fits the table: every mode becomes eligible, and the second pass always ends.
    std::memset(t, 0, sizeof t);
    mode = choosePass(t, h, v);
  }
  MyAcq.mode = static_cast<uint8_t>(mode < 0 ? 3 : mode);
}

void SetAcquisitionMode_MOX(unsigned int h, unsigned int v) {
  uint8_t t[8];
  disabledModeTable(t, true);
  const bool micr = MyMICR.enabled != 0;
  const bool hs = MyDev.highSpeed != 0;
  const bool colour = MyAcq.rgb != 0;
  uint8_t mode = 3;
  if (t[0] == 0 && hs && !colour && (h > 300 || v > 300) && !micr) mode = 0;
  else if (t[7] == 0 && v <= 200 && h <= 200 && !micr) mode = 7;
  else if (t[3] == 0 && v <= 300) mode = 3;
  else if (t[2] == 0 && v <= 600 && !micr) mode = 2;
  else if (t[1] == 0) mode = 1;
  MyAcq.mode = mode;
}

namespace pvk::control {

void syncHeadGeometry() {
  if (!MyMICR.headPresent) return;
  MyMICR.samplesOneSide = MyMICR.head.pair8;
  MyMICR.samplesTwoSides = MyMICR.head.pair9;
  MyMICR.pixelsPerLine = MyMICR.head.pair13;
  MyMICR.fixedWidth = MyMICR.head.flags[0] && MyMICR.head.pair13 != 0;
  MyMICR.vResGrey = MyMICR.head.vRes;
  MyMICR.vResColour = MyMICR.head.vRes2;
}

}  // namespace pvk::control

bool PID0009_Rev3000_SetAcquisitionMode() {
  // Resolutions are computed in 32 bits: output dpi up to 32767 times three colour lines
  // does not fit in 16.
  unsigned out = static_cast<unsigned>(std::max<int>({MyDev.outDpi[0], MyDev.outDpi[1], 0}));
  if (MyAcq.planesPerLine < 1 || MyAcq.planesPerLine > 5) MyAcq.planesPerLine = MyAcq.colourLines = 1;
  if (MyAcq.colourLines != 1 && MyAcq.colourLines != 3) {
    MyAcq.colourLines = 1;
    MyAcq.planesPerLine = static_cast<uint8_t>(1 + MyAcq.ir + MyAcq.uv);
  }
  const unsigned lines = MyAcq.colourLines;
  unsigned h = 0, v = 0;
  if (isOCROperation()) {
    h = std::max({MyOcr.reqDpiH[0], MyOcr.reqDpiH[1], MyOcr.reqDpiH[2]});
    v = std::max<unsigned>(std::max(MyOcr.reqDpiV[0], MyOcr.reqDpiV[1]) / lines, MyOcr.reqDpiV[2]);
  }
  v = std::max(v, out) * lines;
  if (!MyMICR.enabled) {
    SetAcquisitionMode(std::max(h, out), v);
  } else if (MyAcq.rgb) {
    if (v / lines > MyMICR.vResColour) v = MyMICR.vResColour * lines;
    SetAcquisitionMode(300, v);
  } else {
    SetAcquisitionMode(300, std::min<unsigned>(v, MyMICR.vResGrey));
  }
  return true;
}

unsigned char PID0009_Rev3000_BestResMode() { return 3; }
unsigned char PID0009_Rev3000_BestResMode_MOX() { return 3; }

namespace {

// Geometry of the chosen mode, shared by both variants; the product-0x000B variant divides
// the line rate by the planes per raw line instead of the colour lines.
bool initGeometry(bool mox) {
  ImgInfo* img = MyDev.img;
  const bool frontOn = !MyAcq.frontOff, rearOn = !MyAcq.rearOff;
  syncHeadGeometry();
  MyDev.bufferShared = 1;
  MyAcq.topOffsetFront = MyAcq.topOffsetRear = 1;
  MyAcq.rowBlock = (MyAcq.frontOff || MyAcq.rearOff) ? 16 : 8;
  if (isOwnProduct(kProductWide)) MyAcq.rowBlock = 16;

  if (MyAcq.modeLocked) {
    if (!(mox ? ModoAbilitatoMOX() : ModoAbilitato())) return false;
  } else {
    PID0009_Rev3000_SetAcquisitionMode();
  }
  const int mode = MyAcq.mode;
  if (mode > 7 || !modeAllowed(mode, mox)) {
    Vx3ResultSet(-3);
    return false;
  }
  const ModeInfo m = modeInfo(mode);
  const unsigned divisor = mox ? std::max<unsigned>(MyAcq.planesPerLine, 1)
                               : std::max<unsigned>(MyAcq.colourLines, 1);
  const uint16_t dpiV = static_cast<uint16_t>(lineRate(m.timing) / divisor);
  for (int s = 0; s < kSides; ++s) img[s].dpiH = m.dpiH;
  MyAcq.lineTiming = m.timing;
  img[0].dpiV = img[1].dpiV = dpiV;
  if (MyAcq.backlight) {
    MyAcq.rowBlock *= 2;
    img[2].dpiV = img[MyDev.backlightSide == 0 ? 0 : 1].dpiV;
  }

  if (MyMICR.enabled) {
    MyMICR.samplesPer3Px = (MyAcq.frontOff || MyAcq.rearOff) ? MyMICR.samplesOneSide : MyMICR.samplesTwoSides;
    MyMICR.extraBytes = static_cast<uint16_t>(MyAcq.planesPerLine * MyMICR.samplesPer3Px);
  } else {
    MyMICR.samplesPer3Px = 0;
    MyMICR.extraBytes = 0;
  }

  const unsigned sensorDiv = isOwnProduct(kProductWide) ? 600 : 300;
  for (int s = 0; s < kSides; ++s) {
    uint32_t width = img[s].dpiH * 2592u / sensorDiv;
    if (MyMICR.enabled && MyMICR.fixedWidth) {
      width = img[s].dpiH * static_cast<uint32_t>(MyMICR.pixelsPerLine) / 300u;
      MyAcq.rowBlock = 16;
    }
    if (MyAcq.backlight) MyAcq.rowBlock *= 2;
    if (width > 0xFFFF) {
      Vx3ResultSet(-3);
      return false;
    }
    img[s].trimLeft = 0;
    img[s].trimWidth = img[s].sensorPixels = static_cast<uint16_t>(width);
  }
  img[2].colourPlanes = img[2].planesPerLine = 1;

  uint32_t raw = 0, plane = 0;
  if (frontOn) {
    raw += uint32_t(img[1].sensorPixels) * img[1].planesPerLine;
    plane += img[1].sensorPixels;
  }
  if (rearOn) {
    raw += uint32_t(img[0].sensorPixels) * img[0].planesPerLine;
    plane += img[0].sensorPixels;
  }
  if (MyAcq.backlight) raw += img[2].sensorPixels;
  if (raw > 0xFFFF) {
    Vx3ResultSet(-3);
    return false;
  }
  for (int s = 0; s < kSides; ++s) {
    img[s].rawLineBytes = static_cast<uint16_t>(raw);
    img[s].planeLineBytes = static_cast<uint16_t>(plane);
  }
  Vx3ResultSet(0);
  return true;
}

}  // namespace

bool PID0009_Rev3000_InitMyImg() {
  if (isMoxModel()) return PID0009_Rev3000_InitMyImg_MOX();
  return initGeometry(false);
}

bool PID0009_Rev3000_InitMyImg_MOX() { return initGeometry(true); }

bool InitMyImgFW() {
  if (MyAcq.usbBlock == 0) MyAcq.usbBlock = MyDev.highSpeed ? 512 : 64;
  const uint16_t fw = MyDev.fwVersion;
  if (fw >= 0x3001) return PID0009_Rev3000_InitMyImg();
  if (fw == 0) {
    WriteTrace("err - ", "invalid HW version", false);
    Vx3ResultSet(-1);
    return false;
  }
  WriteTrace("err - ", "This SW version is not supporting this HW version", fw, false);
  Vx3ResultSet(-11);
  return false;
}

unsigned char ResModeBest() {
  const uint16_t fw = MyDev.fwVersion;
  if (fw >= 0x3001) return PID0009_Rev3000_BestResMode();
  if (fw >= 0x2205 && fw <= 0x2209) {
    WriteTrace("err - ", "This SW version is not supporting this HW version", fw, false);
    Vx3ResultSet(-11);
  }
  return 0;
}

unsigned short MaxHeight150() {
  unsigned h = MyDev.adfPresent ? 2304 : 2048;
  if (MyDev.inkjetPresent) h += 512;
  return static_cast<unsigned short>(h);
}
