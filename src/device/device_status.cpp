// The status word of the device, normalised for the host and the acquisition code, and the small
// operations that depend only on the status and the capabilities: external power, the
// special-hardware code and the buzzer.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "core/records.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"

namespace {

constexpr int kStatusReads = 11;

uint32_t bit(uint32_t v, int n) { return (v >> n) & 1u; }

// Raw status of a reply: bytes 1..3, and byte 4 on firmware above 0x30FF.
uint32_t rawStatus(const unsigned char* r) {
  uint32_t raw = r[1] | (r[2] << 8) | (static_cast<uint32_t>(r[3]) << 16);
  if (MyDev.fwVersion > 0x30FF) raw |= static_cast<uint32_t>(r[4]) << 24;
  return raw;
}

// Bits 24..27 of the device move one place down; bit 17 goes when the INI disables the feeder.
uint32_t remapUpperBits(uint32_t raw) {
  uint32_t v = raw & ~(0xFu << 24);
  if (bit(raw, 24)) v |= 1u << 23;
  if (bit(raw, 25)) v |= 1u << 24;
  if (bit(raw, 26)) v |= 1u << 25;
  if (MyDev.streamEndCap && bit(raw, 27)) v |= 1u << 26;
  if (MyDev.feederDisabledIni) v &= ~(1u << 17);
  return v;
}

bool gatedProduct() {
  if (MyDev.vendorId != pvk::device::kVendorId) return false;
  switch (MyDev.productId) {
    case 3: case 4: case 8: case 9: case 14: return true;
    default: return false;
  }
}

uint32_t adjust(uint32_t v, uint32_t raw) {
  if (MyDev.extPowerSensed && !bit(raw, 16)) v |= 1u << 2;
  if (!MyDev.extPowerSensed) v |= 1u << 16;
  for (int t = 0; t < 3; ++t)
    if (!MyDev.trackReader[t]) v &= ~(1u << (9 + t));
  v &= ~(1u << 27);
  if (MyDev.inkjetPresent && MyDev.inkjetReady) v |= 1u << 27;
  if (gatedProduct()) {
    v &= ~(0x1Fu << 18);
    if (MyDev.photocellPresent && bit(raw, 31)) v |= 1u << 18;
    if (MyDev.gateA && bit(raw, 18)) v |= 1u << 19;
    if (MyDev.gateB && bit(raw, 19)) v |= 1u << 20;
    if (MyDev.gateC && bit(raw, 20)) v |= 1u << 21;
    if (MyDev.gateD && bit(raw, 21)) v |= 1u << 22;
  }
  return v;
}

}  // namespace

long FX2ReadStatusL() {
  for (int attempt = 0; attempt < kStatusReads; ++attempt) {
    unsigned char r[8] = {0};
    int rc = Vx3BaseContrlMsg(208, 3, reinterpret_cast<char*>(r), 8, true);
    // A reply without the status bytes is no status: stale bytes must not become flags.
    if (rc < (MyDev.fwVersion > 0x30FF ? 5 : 4)) return 0;
    uint32_t raw = rawStatus(r);
    if (MyDebug.statusIn) {
      char text[32];
      std::snprintf(text, sizeof text, "statusIn 0x%08x", raw);
      WriteTrace(text, false);
    }
    uint32_t v = remapUpperBits(raw);
    if (v != 0) return static_cast<long>(static_cast<int32_t>(adjust(v, raw)));
    pvk::device::traceWarning("Read status returning INVALID value -> retry", attempt);
    if (attempt == kStatusReads - 1) {
      pvk::device::traceError("Read status returning INVALID value -> labelling device as invalid", errno);
      MyDev.state = pvk::device::kStateInvalid;
      return 0;
    }
    Sleep(200);
    if (MyDev.state == pvk::device::kStateInvalid) MyDev.state = pvk::device::kStateReopen;
  }
  return 0;
}

bool FX2ReadStatusLH(unsigned long* low, unsigned long* high) {
  static unsigned char previous[8];
  unsigned char r[8] = {0};
  if (Vx3BaseContrlMsg(208, 3, reinterpret_cast<char*>(r), 8, true) < 8) return false;
  if (std::memcmp(r, previous, sizeof r) != 0) {
    std::memcpy(previous, r, sizeof r);
    std::memset(r, 0, sizeof r);
    if (Vx3BaseContrlMsg(208, 3, reinterpret_cast<char*>(r), 8, true) < 8) return false;
  }
  if (low) *low = static_cast<unsigned long>(static_cast<long>(static_cast<int32_t>(rawStatus(r))));
  if (high) *high = MyDev.fwVersion >= 0x5003 ? static_cast<unsigned long>(r[5] | (r[6] << 8)) : 0;
  return true;
}

bool Vx3IsExtPwrd() {
  if (!MyDev.extPowerSensed) return true;
  return (FX2ReadStatusL() & (1L << 16)) != 0;
}

unsigned long Vx3SpecialHW() {
  if (MyDev.fwVersion < 0x2202 || MyDev.fwVersion == 0x2210) {
    pvk::device::traceWarning("Special HW command not supported");
    return 2;
  }
  unsigned char r[8] = {0};
  if (Vx3BaseContrlMsg(208, 8, reinterpret_cast<char*>(r), 8, true) < 4) return 0;
  return r[1] | (r[2] << 8) | (static_cast<unsigned long>(r[3]) << 16);
}

int Vx3ComandaBuzzer(unsigned char value, unsigned short ms) {
  if (!MyDev.buzzerPresent) return PVK_ERR_HW_NOT_SUPPORTED;
  int rc = value != 0 ? Vx3BaseContrlMsg(208, 34, reinterpret_cast<char*>(&value), 1, false)
                      : Vx3BaseContrlMsg(208, 35, nullptr, 0, true);
  if (rc < 0) return rc;
  if (ms != 0) Sleep(ms);
  return 0;
}
