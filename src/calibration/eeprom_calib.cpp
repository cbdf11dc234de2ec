// Reading the factory calibration of the 300 or 600 dpi setting from the device and turning it
// into white and black references; the converse fills the same buffers from MyCorS.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "core/trace.h"

uint8_t EEPROMCalibInfo300[kEEPROMInfoBytes];
uint8_t EEPROMCalibInfo600[kEEPROMInfoBytes];
uint8_t* EEPROMCalibData300 = nullptr;
uint8_t* EEPROMCalibData600 = nullptr;

namespace {

uint8_t* infoFor(char code) { return code == 3 ? EEPROMCalibInfo300 : EEPROMCalibInfo600; }
uint8_t*& dataFor(char code) { return code == 3 ? EEPROMCalibData300 : EEPROMCalibData600; }

size_t dataBytes(int c) { return (2u * c + 63) / 64 * 64; }

int sizeField(const uint8_t* info) { return info[kEEInfoSize] | info[kEEInfoSize + 1] << 8; }

void setSizeField(uint8_t* info, int c) {
  info[kEEInfoSize] = static_cast<uint8_t>(c & 0xFF);
  info[kEEInfoSize + 1] = static_cast<uint8_t>((c >> 8) & 0xFF);
}

bool failWith(int code, const char* text) {
  WriteTrace("err - ", text, false);
  MyDev.lastResult = code;
  return false;
}

// The serial tail the block must carry: the whole serial up to 6 characters, else its last 6.
bool serialMatches(const uint8_t* info) {
  size_t len = strnlen(MyDev.serialString, sizeof MyDev.serialString);
  const char* expected = MyDev.serialString + (len > 6 ? len - 6 : 0);
  size_t stored = strnlen(reinterpret_cast<const char*>(info), 7);
  return stored == std::strlen(expected) && std::memcmp(info, expected, stored) == 0;
}

char codeForFrontDpi() {
  switch (MyDev.img[1].dpiH) {
    case 300: return 3;
    case 600: return 6;
    default: return 0;
  }
}

uint8_t clampByte(float v) {
  int i = static_cast<int>(v);
  return static_cast<uint8_t>(i < 0 ? 0 : (i > 255 ? 255 : i));
}

// Bytes of plane p of a reference that are really there, at most `want`.
uint32_t planeRoom(const CorInfoSide& c, uint32_t p, uint32_t want) {
  size_t off = static_cast<size_t>(p) * c.pixelsInUse;
  if (!c.white || !c.black || off >= c.pixelsAlloc) return 0;
  return static_cast<uint32_t>(std::min<size_t>(want, c.pixelsAlloc - off));
}

bool readFromDevice(char code, uint8_t* info, uint8_t* data, int c) {
  char sel = code;
  pvk::acquisition::controlRequest(208, 17, &sel, 1, false);
  int r = pvk::acquisition::controlRequest(208, 19, reinterpret_cast<char*>(info), kEEPROMInfoBytes, true);
  // A short reply leaves bytes of an earlier block behind: it is no block at all.
  if (r < kEEPROMInfoBytes) {
    if (r >= 0) r = -1;
    info[0] = 0;
    WriteTrace("err - ", "calibration info read", r, false);
    MyDev.lastResult = -1;
    return false;
  }
  if (!serialMatches(info)) {
    info[0] = 0;
    WriteTrace("invalid EEPROM calibration data - sn", false);
    MyDev.lastResult = -1;
    return false;
  }
  if (info[kEEInfoCode] != code) {
    info[0] = 0;
    WriteTrace("invalid EEPROM calibration data - dpi", false);
    MyDev.lastResult = -1;
    return false;
  }
  if (sizeField(info) != c) {
    info[0] = 0;
    WriteTrace("invalid EEPROM calibration data - size", sizeField(info), false);
    setSizeField(info, c);
    MyDev.lastResult = -1;
    return false;
  }
  size_t blocks = dataBytes(c) / 64;
  for (size_t b = 0; b < blocks; ++b) {
    r = pvk::acquisition::controlRequest(208, 19, reinterpret_cast<char*>(data + b * 64), 64, true);
    if (r < 64) {
      if (r >= 0) r = -1;
      // Half a data set must not be taken for a whole one at the next read.
      info[0] = 0;
      WriteTrace("err - ", "calibration data read", r, false);
      MyDev.lastResult = -1;
      return false;
    }
  }
  return true;
}

}  // namespace

int EEPROMPixelPerCol(char code) {
  bool small = MyDev.productId == 0x000E;
  if (code == 3) return small ? 1296 : 2592;
  if (code == 6) return small ? 2592 : 5184;
  return 0;
}

bool EEPROMCalibDataInit(char code) {
  if (code != 3 && code != 6) {
    WriteTrace("err - ", "invalid dpi in calibration read", code * 100, false);
    MyDev.lastResult = -1;
    return false;
  }
  int c = EEPROMPixelPerCol(code);
  setSizeField(infoFor(code), c);
  uint8_t*& data = dataFor(code);
  if (!data) {
    data = static_cast<uint8_t*>(std::calloc(dataBytes(c), 1));
    if (!data) {
      MyDev.lastResult = -4;
      return false;
    }
  }
  return true;
}

bool EEPROMCalibDataRead(char code) {
  if (!EEPROMCalibDataInit(code)) return false;
  uint8_t* info = infoFor(code);
  uint8_t* data = dataFor(code);
  // A cached block is reused only for the device it came from.
  bool cached = info[0] != 0 && serialMatches(info);
  if (!cached) {
    if (!data) return failWith(-1, "invalid data in calibration read");
    if (!readFromDevice(code, info, data, EEPROMPixelPerCol(code))) return false;
  }
  bool ok = EEPROMCalibData_to_CorInfoSide();
  MyDev.lastResult = ok ? 0 : -1;
  return ok;
}

bool EEPROMCalibData_to_CorInfoSide() {
  char code = codeForFrontDpi();
  if (!code) return failWith(-1, "invalid dpi or color in calibration update");
  const uint8_t* info = infoFor(code);
  const int c = sizeField(info);
  // The buffer holds two lines of the set's own size, whatever the size field says by now.
  if (c != MyCorS[1].pixelsInUse || c > EEPROMPixelPerCol(code)) {
    WriteTrace("err - ", "invalid sizeCol in EEPROM", c, false);
    return false;
  }
  const uint8_t* data = dataFor(code);
  if (!data) return failWith(-1, "invalid structure in calibration update");
  bool colour;
  if (MyAcq.greyLed == 2) colour = true;
  else if (MyAcq.greyLed == 1) colour = false;
  else return failWith(-1, "invalid color in calibration update");

  CorInfoSide& f = MyCorS[1];
  CorInfoSide& r = MyCorS[0];
  const int rl = colour ? kEEInfoColourRearLed : kEEInfoGrayRearLed;
  const int fl = colour ? kEEInfoColourFrontLed : kEEInfoGrayFrontLed;
  const int rw = colour ? kEEInfoColourRearWhite : kEEInfoGrayRearWhite;
  const int fw = colour ? kEEInfoColourFrontWhite : kEEInfoGrayFrontWhite;
  const int rb = colour ? kEEInfoColourRearBlack : kEEInfoGrayRearBlack;
  const int fb = colour ? kEEInfoColourFrontBlack : kEEInfoGrayFrontBlack;
  for (int k = 0; k < 3; ++k) {
    f.ledLev[k] = info[fl + k];
    r.ledLev[k] = info[rl + k];
    f.whiteLev[k] = info[fw + k];
    r.whiteLev[k] = info[rw + k];
    f.blackLev[k] = info[fb + k];
    r.blackLev[k] = info[rb + k];
  }
  MyCorS[2].ledLev[0] = info[kEEInfoBacklight];

  const uint8_t* rearLine = data;
  const uint8_t* frontLine = data + c;
  const int planes = colour ? 3 : 1;
  for (int p = 0; p < planes; ++p) {
    int gainF = colour ? info[kEEInfoColourFrontGain + p] : info[kEEInfoGrayFrontGain];
    int gainR = colour ? info[kEEInfoColourRearGain + p] : info[kEEInfoGrayRearGain];
    float gF = static_cast<float>(gainF) / 100.0f;
    float gR = static_cast<float>(gainR) / 100.0f;
    int wF = f.whiteLev[p] <= 9 ? 10 : f.whiteLev[p];
    int wR = r.whiteLev[p] <= 9 ? 10 : r.whiteLev[p];
    float rF = static_cast<float>(f.blackLev[p]) / static_cast<float>(wF);
    float rR = static_cast<float>(r.blackLev[p]) / static_cast<float>(wR);
    // Bounded by the data line, and by each side's own reference arrays.
    uint32_t n = std::min<uint32_t>(f.pixelsInUse, static_cast<uint32_t>(c));
    uint32_t nF = planeRoom(f, p, n);
    uint32_t nR = planeRoom(r, p, n);
    uint8_t* fW = f.white ? f.white + p * f.pixelsInUse : nullptr;
    uint8_t* fB = f.black ? f.black + p * f.pixelsInUse : nullptr;
    uint8_t* rW = r.white ? r.white + p * r.pixelsInUse : nullptr;
    uint8_t* rB = r.black ? r.black + p * r.pixelsInUse : nullptr;
    for (uint32_t x = 0; x < nF; ++x) {
      float v = static_cast<float>(frontLine[x]) * gF;
      fW[x] = clampByte(v);
      fB[x] = clampByte(v * rF);
    }
    for (uint32_t x = 0; x < nR; ++x) {
      float v = static_cast<float>(rearLine[x]) * gR;
      rW[x] = clampByte(v);
      rB[x] = clampByte(v * rR);
    }
  }
  return true;
}

namespace {

// The gain over the line without its half-inch margins, read no further than `limit` bytes.
int whiteGain(const uint8_t* stored, const uint8_t* current, int limit) {
  if (!stored || !current) return 100;
  const int d = MyDev.img[1].dpiH;
  const int w = MyDev.img[1].fullWidth;
  int from = d / 2;
  int to = std::min<int>(w - d / 2, limit);
  if (to - from < d) return 100;
  long sumStored = 0, sumCurrent = 0;
  for (int x = from; x < to; ++x) {
    sumStored += stored[x];
    sumCurrent += current[x];
  }
  if (sumStored == 0) return 100;
  long gain = sumCurrent * 100 / sumStored;
  return gain < 10 || gain > 190 ? 100 : static_cast<int>(gain);
}

}  // namespace

int GuadWhiteCalib(uint8_t* stored, uint8_t* current) {
  return whiteGain(stored, current, MyCorS[1].pixelsInUse);
}

void EEPROMCalibDataFill(uint8_t*& rearLine, uint8_t*& frontLine, uint8_t* data, int C) {
  rearLine = data;
  frontLine = data ? data + C : nullptr;
}

bool CorInfoSide_to_EEPROMCalibData() {
  char code = codeForFrontDpi();
  if (!code) return failWith(-1, "invalid dpi or color in calibration update");
  uint8_t* info = infoFor(code);
  // The size field may hold what an earlier conversion wrote; the halves must stay inside the
  // buffer, which holds two lines of the set's own size.
  const int c = std::min(sizeField(info), EEPROMPixelPerCol(code));
  CorInfoSide& f = MyCorS[1];
  CorInfoSide& r = MyCorS[0];
  setSizeField(info, f.pixelsInUse);
  uint8_t* data = dataFor(code);
  uint8_t* rearHalf = nullptr;
  uint8_t* frontHalf = nullptr;
  EEPROMCalibDataFill(rearHalf, frontHalf, data, c);
  const uint32_t n = std::min<uint32_t>(f.pixelsInUse, static_cast<uint32_t>(c));
  if (MyAcq.greyLed == 1) {
    if (!data) return failWith(-1, "invalid sequence in calibration update");
    for (int k = 0; k < 3; ++k) {
      info[kEEInfoGrayRearWhite + k] = f.whiteLev[k];
      info[kEEInfoGrayFrontWhite + k] = f.whiteLev[k];
      info[kEEInfoGrayRearBlack + k] = f.blackLev[k];
      info[kEEInfoGrayFrontBlack + k] = f.blackLev[k];
      info[kEEInfoGrayRearLed + k] = static_cast<uint8_t>(r.ledLev[k]);
      info[kEEInfoGrayFrontLed + k] = static_cast<uint8_t>(f.ledLev[k]);
    }
    if (code == 6) {
      if (r.white) std::memcpy(rearHalf, r.white, planeRoom(r, 0, n));
      if (f.white) std::memcpy(frontHalf, f.white, planeRoom(f, 0, n));
    }
    const int roomF = static_cast<int>(planeRoom(f, 0, n));
    const int roomR = static_cast<int>(planeRoom(r, 0, n));
    info[kEEInfoGrayFrontGain] = static_cast<uint8_t>(whiteGain(frontHalf, f.white, roomF));
    info[kEEInfoGrayRearGain] = static_cast<uint8_t>(whiteGain(rearHalf, r.white, roomR));
    return true;
  }
  if (MyAcq.greyLed != 2) return failWith(-4, "memory color in calibration update");
  if (!data) return failWith(-4, "memory error in calibration update");
  const uint32_t stride = f.pixelsInUse;
  auto mean = [&](uint8_t* half, const CorInfoSide& s) {
    uint32_t m = std::min(planeRoom(s, 2, n), n);
    for (uint32_t x = 0; x < m; ++x)
      half[x] = static_cast<uint8_t>((s.white[x] + s.white[stride + x] + s.white[2 * stride + x]) / 3);
  };
  // The front's pixel count serves as stride for both sides: bound by the rear's own array.
  if (r.pixelsInUse == stride) mean(rearHalf, r);
  mean(frontHalf, f);
  for (int k = 0; k < 3; ++k) {
    info[kEEInfoColourRearWhite + k] = r.whiteLev[k];
    info[kEEInfoColourFrontWhite + k] = f.whiteLev[k];
    info[kEEInfoColourRearBlack + k] = r.blackLev[k];
    info[kEEInfoColourFrontBlack + k] = f.blackLev[k];
    info[kEEInfoColourRearLed + k] = static_cast<uint8_t>(r.ledLev[k]);
    info[kEEInfoColourFrontLed + k] = static_cast<uint8_t>(f.ledLev[k]);
    const int roomF = static_cast<int>(planeRoom(f, k, n));
    const int roomR = static_cast<int>(planeRoom(r, k, n));
    info[kEEInfoColourFrontGain + k] = static_cast<uint8_t>(
        whiteGain(frontHalf, roomF ? f.white + k * stride : nullptr, roomF));
    info[kEEInfoColourRearGain + k] = static_cast<uint8_t>(
        whiteGain(rearHalf, roomR ? r.white + k * r.pixelsInUse : nullptr, roomR));
  }
  info[kEEInfoBacklight] = defautBLLedLev();
  return true;
}

void EEPROMCalibDataFree(char code) {
  if (code != 3 && code != 6) {
    WriteTrace("err - ", "invalid dpi in calibration free", code * 100, false);
    MyDev.lastResult = -1;
    return;
  }
  std::free(dataFor(code));
  dataFor(code) = nullptr;
}

void EEPROMCalibCacheClear() {
  EEPROMCalibInfo300[0] = 0;
  EEPROMCalibInfo600[0] = 0;
}
