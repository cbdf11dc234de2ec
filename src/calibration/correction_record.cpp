// The per-side correction record: creation for the current setting, neutral data, LED levels,
// reference accessors, the correction-mode code and the brightness/contrast tables.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "core/trace.h"

CorInfoSide MyCorS[kSides];
BrCrInfoSide MyBrCr[kSides];

namespace pvk::calibration {
DarkZones darkZones[2];
}  // namespace pvk::calibration

namespace {

CorInfoSide* orGlobal(CorInfoSide* cor) { return cor ? cor : MyCorS; }

int clampInt(int v, int lo, int hi) { return v < lo ? lo : (v > hi ? hi : v); }

}  // namespace

uint16_t CorrMode() {
  unsigned code = (MyAcq.mode & 7u) | ((MyAcq.greyLed & 7u) << 4) | 256u;
  if (!MyDev.bothSidesCalib && MyAcq.rearOff) code += 512;
  if (MyAcq.uv) code += 1024;
  if (MyAcq.backlight) code += 2048;
  if (MyDev.highSpeed) code += 4096;
  if (MyDev.micrDependentCalib && MyMICR.enabled) {
    unsigned bit = MyMICR.head.flags[0] ? 1u : 0u;  // head configuration bit 3
    code += bit * 8192u + (1u - bit) * 16384u;
  }
  if (MyAcq.ir) code += 32768;
  return static_cast<uint16_t>(code);
}

void CorrModeResetAll() { CorrModeReset(MyCorS); }

void InitCorrInfo() {
  for (auto& s : MyCorS) s.modeLoaded = 0;
  // Called at every scanner open: the factory data read before may belong to another device.
  EEPROMCalibCacheClear();
}

void CorrInfoFree(CorInfoSide* cor) {
  cor = orGlobal(cor);
  for (int s = 0; s < kSides; ++s) {
    std::free(cor[s].white);
    std::free(cor[s].black);
    cor[s].white = nullptr;
    cor[s].black = nullptr;
  }
}

bool CorrInfoCreate(CorInfoSide* cor) {
  cor = orGlobal(cor);
  CorrInfoFree(cor);
  std::memset(cor, 0, sizeof(CorInfoSide) * kSides);
  pvk::acquisition::imgInitForMode(MyAcq.mode);
  unsigned planes = MyAcq.planesPerLine ? MyAcq.planesPerLine : 1;
  for (int s = 0; s < kSides; ++s) {
    if (s == 2 && !MyAcq.backlight) break;
    unsigned pixels = MyDev.img[s].sensorPixels;
    unsigned alloc = s == 2 ? pixels : pixels * planes;
    if (alloc > 0xFFFF) alloc = 0xFFFF;
    cor[s].pixelsInUse = static_cast<uint16_t>(pixels);
    cor[s].pixelsAlloc = static_cast<uint16_t>(alloc);
    cor[s].white = static_cast<uint8_t*>(std::calloc(alloc ? alloc : 1, 1));
    if (!cor[s].white) {
      WriteTrace("err - ", "CorrInfo creation with invalid memory allocation", errno, false);
    } else {
      cor[s].black = static_cast<uint8_t*>(std::calloc(alloc ? alloc : 1, 1));
      if (!cor[s].black)
        WriteTrace("err - ", "CorrInfo creation (2) with invalid memory allocation", errno, false);
    }
    if (!cor[s].white || !cor[s].black) {
      WriteTrace("err - ", "Create calibration file", false);
      CorrInfoFree(cor);
      MyDev.lastResult = -5;
      return false;
    }
  }
  return true;
}

void CorrModeReset(CorInfoSide* cor) {
  cor = orGlobal(cor);
  for (int s = 0; s < kSides; ++s) cor[s].modeLoaded = 0;
  CorrInfoFree(cor);
  if (MyDev.state <= 0) return;
  if (!CorrInfoCreate(cor)) return;
  for (int s = 0; s < kSides; ++s) {
    std::memset(cor[s].whiteLev, 255, sizeof cor[s].whiteLev);
    std::memset(cor[s].blackLev, 0, sizeof cor[s].blackLev);
    if (cor[s].white) std::memset(cor[s].white, 255, cor[s].pixelsAlloc);
    if (cor[s].black) std::memset(cor[s].black, 0, cor[s].pixelsAlloc);
  }
  // The LED levels live in MyCorS alone: LedLevSet writes there.
  LedLevSet(1, 1000);
  bool older = MyDev.fwVersion <= 0x2FFF && !IS_202X_VERSION();
  if (older) LedLevSet(1, static_cast<uint16_t>(static_cast<float>(MyCorS[1].ledLev[0]) * 0.8f));
  LedLevSet(0, 1000);
  if (older) LedLevSet(0, static_cast<uint16_t>(static_cast<float>(MyCorS[0].ledLev[0]) * 0.8f));
  LedLevSet(2, 1000);
}

namespace {

// Start of a plane of one side's reference (the white or the black one, chosen by member).
uint8_t* referencePlane(CorInfoSide* cor, uint8_t side, uint8_t plane, uint8_t* CorInfoSide::*reference) {
  cor = orGlobal(cor);
  // A plane equal to the plane count would already lie past the buffer.
  if (side > 2 || plane >= (MyAcq.planesPerLine ? MyAcq.planesPerLine : 1) || !(cor[side].*reference))
    return nullptr;
  if (side == 2) return plane == 0 ? cor[2].*reference : nullptr;
  size_t offset = static_cast<size_t>(plane) * cor[side].pixelsInUse;
  return offset < cor[side].pixelsAlloc ? cor[side].*reference + offset : nullptr;
}

}  // namespace

uint8_t* CorrInfoWhiteLevel(CorInfoSide* cor, uint8_t side, uint8_t plane) {
  return referencePlane(cor, side, plane, &CorInfoSide::white);
}

uint8_t* CorrInfoBackLevel(CorInfoSide* cor, uint8_t side, uint8_t plane) {
  return referencePlane(cor, side, plane, &CorInfoSide::black);
}

void LedLevSet(uint8_t side, uint16_t level, int colour) {
  if (side > 2) return;
  int slot;
  switch (colour) {
    case kColourRed: slot = 0; break;
    case kColourGreen: slot = 1; break;
    case kColourBlue: slot = 2; break;
    case kColourIr: slot = 3; break;
    case kColourUv: slot = 4; break;
    default: return;
  }
  unsigned maximum = !MyDev.highSpeed ? 63u : (MyDev.fwVersion < 0x3000 ? 511u : 255u);
  unsigned value = level;
  if (level == 1000) {
    if (colour == kColourUv) {
      value = defautUVLedLev();
    } else if (side == 2) {
      value = defautBLLedLev();
    } else if (IS_21XX_VERSION() && !MyAcq.rgb) {
      value = !MyDev.highSpeed ? 25u : (MyDev.fwVersion < 0x3000 ? 300u : 255u);
    } else {
      value = maximum;
    }
  }
  MyCorS[side].ledLev[slot] = static_cast<uint16_t>(value < maximum ? value : maximum);
}

void LedLevSet(uint8_t side, uint16_t level) {
  if (side > 2) return;
  // Each level goes through the one-LED setter: 1000 asks for the defaults and every level is
  // held to what the link and firmware allow.
  auto set = [&](int colour, bool on) { LedLevSet(side, on ? level : 0, colour); };
  if (side == 2) {
    set(kColourRed, MyAcq.backlight != 0);
    return;
  }
  switch (MyAcq.greyLed) {
    case 1:
    case 2:
      set(kColourRed, true);
      set(kColourGreen, true);
      set(kColourBlue, true);
      break;
    case 3:
    case 4:
    case 5:
      set(kColourRed, MyAcq.greyLed == 3);
      set(kColourGreen, MyAcq.greyLed == 4);
      set(kColourBlue, MyAcq.greyLed == 5);
      break;
    default: break;
  }
  set(kColourUv, MyAcq.uv != 0);
  set(kColourIr, MyAcq.ir != 0);
}

int16_t ColVar2Fix(int16_t plane) {
  if (plane < MyAcq.colourLines || (!MyDev.irHw && !MyDev.uvHw)) return plane;
  if (plane == MyAcq.colourPlanes) return 3;
  if (plane == MyAcq.colourIrPlanes) return 4;
  WriteTrace("error asking ColVar2Fix", plane, false);
  return 0;
}

bool HasFrontOnlyCalibration() { return MyDev.rearPresent && !MyDev.bothSidesCalib; }

void BrightnessContrastEval(uint8_t side) {
  if (side > 2) return;
  BrCrInfoSide& b = MyBrCr[side];
  for (int v = 0; v < 256; ++v) {
    int32_t c = static_cast<int32_t>(b.contrast) * (v - 128);
    b.lut[v] = static_cast<uint8_t>(clampInt(v + b.brightness + (c >> 7), 0, 255));
  }
}

int16_t Brightness(uint8_t side) { return side > 2 ? 0 : MyBrCr[side].brightness; }
int16_t Contrast(uint8_t side) { return side > 2 ? 0 : MyBrCr[side].contrast; }

void Brightness(uint8_t side, int16_t value) {
  if (side > 2 || MyBrCr[side].brightness == value) return;
  MyBrCr[side].brightness = value;
  BrightnessContrastEval(side);
}

void Contrast(uint8_t side, int16_t value) {
  if (side > 2 || MyBrCr[side].contrast == value) return;
  MyBrCr[side].contrast = value;
  BrightnessContrastEval(side);
}

void Brightness(int side, short value) {
  if (side >= 0 && side <= 2) Brightness(static_cast<uint8_t>(side), static_cast<int16_t>(value));
}

void Contrast(int side, short value) {
  if (side >= 0 && side <= 2) Contrast(static_cast<uint8_t>(side), static_cast<int16_t>(value));
}

uint8_t BrightnessAndContrast(uint8_t side, uint8_t value) {
  return side > 2 ? value : MyBrCr[side].lut[value];
}

void ReAllign() {
  if (!MyAcq.realign) return;
  ImgInfo& f = MyDev.img[1];
  if (!f.firstRow || f.rawLineBytes == 0) return;
  const size_t lineBytes = f.rawLineBytes;
  for (unsigned row = 0; row < f.rowsUsed; ++row) {
    uint8_t* line = f.firstRow + row * lineBytes;
    for (unsigned i = 0; i + 1 < f.trimWidth && i + 1 < lineBytes; ++i) {
      if (line[i] == 0 && line[i + 1] == 0) {
        if (i > 0) {
          // The tail of the line takes white: the next row is not ours to borrow from.
          size_t shift = i + 1;
          std::memmove(line, line + shift, lineBytes - shift);
          std::memset(line + lineBytes - shift, 0xFF, shift);
        }
        break;
      }
    }
  }
}

void InitVerificaDoppi(ImgInfo* img) {
  if (!img) return;
  static const int kRear[3] = {1450, 220, 2330};
  static const int kFront[3] = {1100, 2330, 220};
  int d = img->dpiH;
  int w = d * 64 / 300;
  int half = w / 2;
  for (int side = 0; side < 2; ++side) {
    const int* centres = side == 0 ? kRear : kFront;
    auto& z = pvk::calibration::darkZones[side];
    for (int i = 0; i < 3; ++i) {
      z.start[i] = d * centres[i] / 300 - half;
      z.stop[i] = z.start[i] + w;
      z.dark[i] = 0;
    }
  }
}
