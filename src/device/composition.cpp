// The device composition: the capability words that say what hardware is fitted, turned into
// the capability flags of the device record, and the magnetic head configuration.
#include <cstdlib>
#include <cstring>

#include "core/ini.h"
#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"

namespace {

int compositionLength(uint16_t fw) {
  if (fw < 0x2010) return 2;
  if (fw < 0x3000) return 3;
  if (fw <= 0x3106) return 4;
  return 8;
}

uint8_t bitOf(unsigned long v, int n) { return static_cast<uint8_t>((v >> n) & 1u); }

bool adfDisabledByIni() {
  char value[260];
  GetPrivateProfileString("ADF", "disable", "0", value, sizeof value, MyLog.iniPath);
  return std::strtol(value, nullptr, 10) > 0;
}

bool alignerFixSerial(uint32_t low) {
  static const uint32_t serials[] = {360584, 360599, 360608, 360620, 360621, 360623};
  for (uint32_t s : serials)
    if (s == low) return true;
  return false;
}

// Capabilities of the command set of firmware 0x3000 and later.
void fw3000Capabilities(unsigned long l, unsigned long h, const unsigned char* r) {
  const uint16_t fw = MyDev.fwVersion;
  MyDev.deviceClass = fw < 0x4000 ? r[2] : 12;
  if (fw >= 0x4000) {
    MyDev.backlightHw = bitOf(l, 17);
    if (MyDev.backlightHw) MyDev.backlightSide = 1;
  }
  if (fw >= 0x5003) MyDev.photoTuning = bitOf(l, 27);
  MyDev.rearPresent = bitOf(l, 1);
  MyDev.adfPresent = bitOf(l, 8);
  MyDev.magAlign = bitOf(l, 30);
  if (fw > 0x5009) {
    MyDev.irHw = bitOf(l, 31);
    MyDev.uvHw = bitOf(l, 24);
  }
  if (fw > 0x5010) {
    MyDev.streamEndCap = bitOf(h, 4);
    MyDev.buzzerPresent = bitOf(h, 5);
  }
  if (MyDev.productId == 3 && MyDev.serialHigh == 0 && fw == 0x5005 && alignerFixSerial(MyDev.serialLow)) {
    MyDev.magAlign = 0;
    WriteTrace("EEPROM alligner fix", false);
  }
  if (fw > 0x5000) MyDev.sideSwitch = bitOf(l, 22);
  if (adfDisabledByIni()) {
    WriteTrace("ADF diasbled by ini", false);
    MyDev.adfPresent = 0;
    MyDev.feederDisabledIni = 1;
  }
  MyDev.inkjetPresent = bitOf(l, 9);
  MyDev.inkjetReady = 0;
  if (MyDev.inkjetPresent) {
    MyDev.inkjetReady = InkjetReadCnfData(512) ? 1 : 0;
    if (!MyDev.inkjetReady)
      pvk::device::traceWarning("Inkjet is not supported in this configuration (full speed?).");
  }
  MyDev.gateA = bitOf(l, 11);
  MyDev.gateB = bitOf(l, 13);
  if (fw > 0x4004) MyDev.gateC = bitOf(l, 18);
  if (fw > 0x4010) MyDev.gateD = bitOf(l, 25);
  if (fw >= 0x4006 && fw <= 0x500F) MyDev.altSideLayout = bitOf(l, 19);
  MyDev.ledCalib = 1;
  if (fw >= 0x4005) {
    MyDev.doubleFeedHw = bitOf(l, 16);
  } else {
    MyDev.doubleFeedHw = 0;
    MyAcq.doubleFeed = 0;
    MyAcq.doubleFeedDelivery = 0;
  }
}

// The capabilities that only some firmware ranges report. A reply sets them afresh, so that a
// device of an older range does not inherit what an earlier device of this process had.
void clearRangedCapabilities() {
  MyDev.backlightHw = MyDev.photoTuning = MyDev.adfPresent = MyDev.magAlign = 0;
  MyDev.irHw = MyDev.uvHw = MyDev.streamEndCap = MyDev.buzzerPresent = MyDev.sideSwitch = 0;
  MyDev.feederDisabledIni = MyDev.inkjetPresent = MyDev.inkjetReady = 0;
  MyDev.gateA = MyDev.gateB = MyDev.gateC = MyDev.gateD = 0;
  MyDev.altSideLayout = MyDev.doubleFeedHw = MyDev.ledCalib = 0;
}

void clearHead() {
  std::memset(&MyMICR.head, 0, sizeof MyMICR.head);
  MyMICR.headPresent = 0;
}

// Fills the MICR record from a 16-byte head configuration; false when the head is refused.
bool takeHead(const unsigned char* b) {
  const uint16_t fw = MyDev.fwVersion;
  const bool modelB = MyDev.productId == 0x000B;
  const uint16_t vRes = static_cast<uint16_t>(b[4] * 10);
  if (vRes < 100) {
    pvk::device::traceError("invalid magnetic head VRes", vRes);
    return false;
  }
  const bool sideOne = b[1] & 0x02;
  if (modelB)
    MyMICR.rotation = (b[1] & 0x40) ? 768 : 256;
  else
    MyMICR.rotation = (b[1] & (fw <= 0x3103 ? 0x04 : 0x40)) ? 256 : 768;
  for (int i = 0; i < 3; ++i) MyMICR.head.flags[i] = (b[1] >> (3 + i)) & 1;
  MyMICR.reverse = MyMICR.head.flags[2];
  MyMICR.refOffset = static_cast<int16_t>(static_cast<int16_t>(b[2] | (b[3] << 8)) / 2);
  MyMICR.head.vRes = vRes;
  MyMICR.head.param5 = b[5];
  MyMICR.head.bytesPerLine = b[6];
  MyMICR.head.param7 = b[7];
  if (fw > 0x3104) {
    MyMICR.head.pair8 = (modelB && fw < 0x3112) ? 16 : static_cast<uint16_t>(b[8] | (b[11] << 8));
    MyMICR.head.pair9 = static_cast<uint16_t>(b[9] | (b[12] << 8));
    MyMICR.head.vRes2 = b[10] ? static_cast<uint16_t>(b[10] * 10) : static_cast<uint16_t>(vRes / 3);
    MyMICR.head.pair13 = static_cast<uint16_t>(b[13] | (b[14] << 8));
    if (modelB && MyMICR.head.pair13 == 0 && (b[1] & 0x08)) MyMICR.head.pair13 = 1296;
  } else {
    MyMICR.head.vRes2 = 100;
  }
  const int64_t limits[4] = {0, -130, 0, 130};
  std::memcpy(MyMICR.head.limits, limits, sizeof limits);
  MyMICR.head.counter = 0;
  if (!modelB) MyMICR.side = sideOne ? 1 : 0;
  MyMICR.headPresent = 1;
  return true;
}

void readHead(unsigned long l) {
  clearHead();
  if (MyDev.fwVersion < 0x3007 || !bitOf(l, 12)) return;
  unsigned char b[16] = {0};
  int rc = Vx3BaseContrlMsg(208, 40, reinterpret_cast<char*>(b), 16, true);
  if (rc != 16 || !(b[1] & 0x01)) return;
  if (!MyDev.highSpeed) {
    pvk::device::traceWarning("micr disabled in full speed");
    return;
  }
  if (!takeHead(b)) clearHead();
}

}  // namespace

bool Vx3CompositionLH(unsigned long& low, unsigned long& high) {
  low = high = 0;
  const uint16_t fw = MyDev.fwVersion;
  if (fw >= 0x4001 && fw <= 0x4008) {
    unsigned char scratch[8] = {0};
    Vx3BaseContrlMsg(208, 12, reinterpret_cast<char*>(scratch), 8, true);
  }
  const int length = compositionLength(fw);
  unsigned char r[8] = {0};
  // A short reply leaves every capability as it was: its missing bytes are no flags.
  if (Vx3BaseContrlMsg(208, 1, reinterpret_cast<char*>(r), length, true) < length) return false;
  uint32_t l32 = r[1];
  if (fw >= 0x3000) l32 |= static_cast<uint32_t>(r[3]) << 8;
  if (fw >= 0x4000) l32 |= (static_cast<uint32_t>(r[4]) << 16) | (static_cast<uint32_t>(r[5]) << 24);
  unsigned long l = static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(l32)));
  unsigned long h = fw >= 0x4000 ? static_cast<unsigned long>(r[6] | (r[7] << 8)) : 0;
  clearRangedCapabilities();

  if (fw < 0x2010) {
    MyDev.rearPresent = 1;
    MyDev.deviceClass = fw < 0x2000 ? 12 : 5;
  } else if (fw < 0x3000) {
    MyDev.deviceClass = r[2];
    MyDev.rearPresent = bitOf(l, 1);
  } else {
    fw3000Capabilities(l, h, r);
  }
  for (int t = 0; t < 3; ++t) MyDev.trackReader[t] = bitOf(l, 4 + t);
  MyDev.photocellPresent = bitOf(l, 7);
  if (fw == 0x1007 || fw >= 0x2000)
    readHead(l);
  else {
    MyDev.photocellPresent = 0;
    clearHead();
  }
  if (fw >= 0x2021 && fw <= 0x2FFF)
    MyDev.extPowerSensed = 1;
  else if (fw < 0x3104)
    MyDev.extPowerSensed = 0;
  else
    MyDev.extPowerSensed = bitOf(l, 14);
  low = l;
  high = h;
  return l != 0;
}

bool Vx3CompositionLH() {
  unsigned long l, h;
  return Vx3CompositionLH(l, h);
}

unsigned long Vx3CompositionL() {
  unsigned long l, h;
  return Vx3CompositionLH(l, h) ? l : 0;
}

unsigned long Vx3Composition() { return Vx3CompositionL(); }

bool Vx3CompositionLHTwain(unsigned long& low, unsigned long& high) {
  low = high = 0;
  return false;
}
