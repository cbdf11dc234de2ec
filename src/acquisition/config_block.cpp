// The 33-byte acquisition configuration block (bank 209, register 51) and the firmware
// predicates and LED defaults it depends on.
#include <climits>
#include <cstdlib>
#include <cstring>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "core/defaults.h"
#include "core/trace.h"

bool IS_3000_VERSION() { return MyDev.fwVersion >= 0x3001; }
bool IS_2209_VERSION() { return MyDev.fwVersion == 0x2209; }
bool IS_2208_VERSION() { return MyDev.fwVersion == 0x2208; }
bool IS_2205_VERSION() { return MyDev.fwVersion >= 0x2205 && MyDev.fwVersion <= 0x2207; }
bool IS_2201_VERSION() { return MyDev.fwVersion >= 0x2201 && MyDev.fwVersion <= 0x2204; }
bool IS_21XX_VERSION() {
  uint16_t v = MyDev.fwVersion;
  return (v >= 0x2104 && v <= 0x21FF) || (v == 0x2103 && MyDev.serialLow > 216547);
}
bool IS_202X_VERSION() { return MyDev.fwVersion >= 0x2021 && MyDev.fwVersion <= 0x20FF; }

namespace {

// A level that is not a number takes the default; numbers are clamped to a byte.
uint8_t ledDefault(const char* key, long fallback) {
  const long v = pvk::core::iniNumberIn("BackLight", key, LONG_MIN, LONG_MAX, fallback);
  return static_cast<uint8_t>(v < 0 ? 0 : (v > 255 ? 255 : v));
}

uint8_t levelByte(uint16_t level) {
  uint8_t b = static_cast<uint8_t>(level & 0xFF);
  return b == 0xFF ? 0xFE : b;
}

uint8_t clampByte(uint16_t level) { return level > 255 ? 255 : static_cast<uint8_t>(level); }

// The endorser's two composition bits (11 and 13) go out while a stamp is armed on firmware
// up to 0x30FF with the endorser ready.
uint8_t inkjetBits() {
  if (!MyInkjet.armed || MyDev.fwVersion > 0x30FF || !MyDev.inkjetReady) return 0;
  return static_cast<uint8_t>((MyDev.gateA ? 0x10 : 0) | (MyDev.gateB ? 0x20 : 0));
}

}  // namespace

uint8_t defautBLLedLev() { return ledDefault(MyAcq.rgb ? "LedLevIRRGB" : "LedLevIRGray", 150); }

uint8_t defautUVLedLev() {
  if (!MyAcq.uv) return 0;
  return ledDefault(MyAcq.rgb ? "LedLevUVRGB" : "LedLevUVGray", 254);
}

namespace pvk::acquisition {

void buildConfigBlock(const ConfigBlockInput& in, uint8_t* out, bool* linesLimited) {
  std::memset(out, 0, kConfigBlockBytes);
  if (linesLimited) *linesLimited = false;

  out[0] = static_cast<uint8_t>((in.mode & 7) | (in.slowAcq ? 0x40 : 0));

  bool keepOne = in.ledColour >= 3 && in.ledColour <= 5;
  uint8_t b1 = 0;
  if (in.colour) b1 |= 0x01;
  else if (keepOne) b1 |= 0x08;
  if (in.frontOn) b1 |= 0x02;
  if (in.rearOn) b1 |= 0x04;
  if (in.uv) b1 |= 0x10;
  if (in.ir) b1 |= 0x20;
  out[1] = b1;

  uint8_t b2 = 0x08;
  if (in.forward) b2 |= 0x01;
  if (in.startupMove) b2 |= 0x02;
  if ((in.micr && in.micrDisablesAdf) || in.noAdf || in.moveNoAdf) b2 |= 0x04;
  if (in.micr) b2 |= 0x20;
  out[2] = b2;

  uint8_t b3 = in.inkjetBits & 0x30;
  if (!in.cfgFlags[0]) b3 |= 0x08;
  if (!in.cfgFlags[1]) b3 |= 0x04;
  if (!in.cfgFlags[2]) b3 |= 0x01;
  if (!in.cfgFlags[3]) b3 |= 0x02;
  if (in.backlight) b3 |= 0x40;
  out[3] = b3;

  for (int c = 0; c < 3; ++c) {
    bool kept = !keepOne || c == in.ledColour - 3;
    out[4 + c] = kept ? levelByte(in.ledFront[c]) : 0;
    out[7 + c] = kept ? levelByte(in.ledRear[c]) : 0;
  }

  uint64_t planes = in.planes ? in.planes : 1;
  uint64_t lines = in.planeLineBytes ? in.bytesToRead / in.planeLineBytes : 0;
  if (in.backlight) lines = lines * (planes + 1) / planes;
  if (lines > 0xFFFF) {
    lines = 0xFFFF;
    if (linesLimited) *linesLimited = true;
  }
  out[10] = static_cast<uint8_t>(lines & 0xFF);
  out[11] = static_cast<uint8_t>(lines >> 8);

  uint64_t p = planes + (in.backlight ? 1 : 0);
  uint64_t timing = in.productId == 0x000B ? in.dpiV * p * 3 / 2 : in.dpiV * p * 5 / 2;
  bool inkjetModel = in.productId == 0x0003 || in.productId == 0x0004 || in.productId == 0x0008 ||
                     in.productId == 0x0009 || in.productId == 0x000E;
  if (inkjetModel && in.inkjetPresent && in.fwVersion <= 0x30FF && timing != 0) {
    uint64_t least = 6ull * in.dpiV * planes;
    if (timing < least) timing = least;
  }
  out[12] = static_cast<uint8_t>(timing & 0xFF);
  out[13] = static_cast<uint8_t>((timing >> 8) & 0xFF);

  // Both invisible-light levels go out as soon as either light is on.
  const bool invisible = in.uv || in.ir;
  out[14] = invisible ? clampByte(in.ledFront[4]) : 0;
  out[15] = invisible ? clampByte(in.ledFront[3]) : 0;
  out[16] = invisible ? clampByte(in.ledRear[4]) : 0;
  out[17] = invisible ? clampByte(in.ledRear[3]) : 0;
  out[18] = (in.backlight && !in.moveByTime) ? clampByte(in.backlightLevel) : 0;
}

ConfigBlockInput configBlockInputFromRecords() {
  ConfigBlockInput in{};
  const ImgInfo& front = MyDev.img[1];
  in.mode = MyAcq.mode;
  in.slowAcq = MyDev.slowAcq != 0;
  in.colour = MyAcq.rgb != 0;
  in.ledColour = MyAcq.greyLed;
  in.frontOn = !MyAcq.frontOff;
  in.rearOn = !MyAcq.rearOff;
  in.uv = MyAcq.uv != 0;
  in.ir = MyAcq.ir != 0;
  in.backlight = MyAcq.backlight != 0;
  in.forward = MyAcq.forward != 0;
  in.startupMove = MyAcq.startupMove != 0;
  in.micr = MyMICR.enabled != 0;
  in.micrDisablesAdf = MyMICR.disablesAdf != 0;
  in.noAdf = !MyDev.adfPresent;
  in.moveNoAdf = MyAcq.noFeedMove != 0;
  std::memcpy(in.cfgFlags, MyAcq.cfgFlags, sizeof in.cfgFlags);
  in.inkjetBits = inkjetBits();
  for (int c = 0; c < kColourSlots; ++c) {
    in.ledFront[c] = MyCorS[1].ledLev[c];
    in.ledRear[c] = MyCorS[0].ledLev[c];
  }
  in.backlightLevel = MyCorS[2].ledLev[0];
  in.moveByTime = MyAcq.paperMove2 != 0;
  in.bytesToRead = currentBytesToRead();
  in.planeLineBytes = front.planeLineBytes;
  in.planes = MyAcq.planesPerLine;
  in.dpiV = front.dpiV;
  in.productId = MyDev.productId;
  in.inkjetPresent = MyDev.inkjetPresent != 0;
  in.fwVersion = MyDev.fwVersion;
  return in;
}

}  // namespace pvk::acquisition

int ConfiguraDevice() {
  using namespace pvk::acquisition;
  if (MyAcq.backlight) LedLevSet(2, defautBLLedLev());
  ConfigBlockInput in = configBlockInputFromRecords();
  if (in.slowAcq && MyLog.Debug) WriteTrace("slow acquisition", false);
  uint8_t block[kConfigBlockBytes];
  bool limited = false;
  buildConfigBlock(in, block, &limited);
  if (limited) WriteTrace("nLines limited for FPGA buffer size", false);
  return pvk::acquisition::controlRequest(209, 51, reinterpret_cast<char*>(block), kConfigBlockBytes, false);
}
