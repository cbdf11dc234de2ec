// Factory calibration data of a device with a sensor model: the 64-byte info block of the
// selected set (serial tail, set code, levels, gains 100 %, pixels per column) and then the
// rear and front white reference lines, 64 bytes per read.
#include <algorithm>
#include <cstring>
#include <map>
#include <vector>

#include "image_stream.h"

namespace pvk::emulator {
namespace {

struct Reader {
  uint8_t set = 0;
  size_t pos = 0;  // bytes of the set's data handed out; the info block comes first
  bool infoSent = false;
};

std::map<int, Reader>& readers() {
  static std::map<int, Reader> r;
  return r;
}

void infoBlock(const Device& d, const pvkemu_sensor& m, uint8_t set, uint8_t* info) {
  std::memset(info, 0, 64);
  size_t len = strnlen(d.profile.serial, sizeof d.profile.serial);
  const char* tail = d.profile.serial + (len > 6 ? len - 6 : 0);
  std::memcpy(info, tail, std::min<size_t>(6, std::strlen(tail)));
  info[7] = set;
  info[8] = m.backlight_level;
  for (int k = 0; k < 3; ++k) {
    info[9 + k] = info[12 + k] = m.white_level;    // colour white levels, rear and front
    info[15 + k] = info[18 + k] = m.black_level;   // colour black levels
    info[21 + k] = info[24 + k] = m.led_level;     // colour LED levels
    info[27 + k] = info[30 + k] = 100;             // colour gains
    info[33 + k] = info[36 + k] = m.white_level;   // grey white levels
    info[39 + k] = info[42 + k] = m.black_level;   // grey black levels
    info[45 + k] = info[48 + k] = m.led_level;     // grey LED levels
  }
  info[51] = info[52] = 100;
  uint32_t c = eepromPixels(d.profile.product_id, set);
  info[54] = static_cast<uint8_t>(c & 0xFF);
  info[55] = static_cast<uint8_t>(c >> 8);
}

}  // namespace

void eepromReset() { readers().clear(); }

void eepromSelect(Device& d, uint8_t set) { readers()[d.id] = Reader{set, 0, false}; }

int eepromRead(Device& d, unsigned char* data, uint16_t length) {
  const pvkemu_sensor* m = sensorOf(d.id);
  std::memset(data, 0, length);
  if (!m) return length;  // an empty EEPROM
  Reader& r = readers()[d.id];
  if (r.set != 3 && r.set != 6) return length;
  if (!r.infoSent) {
    uint8_t info[64];
    infoBlock(d, *m, r.set, info);
    std::memcpy(data, info, std::min<size_t>(length, 64));
    r.infoSent = true;
    return length;
  }
  const uint32_t c = eepromPixels(d.profile.product_id, r.set);
  for (uint16_t i = 0; i < length; ++i, ++r.pos) {
    if (r.pos >= 2u * c) break;
    int side = r.pos < c ? 0 : 1;  // the rear line first, then the front
    uint32_t x = static_cast<uint32_t>(r.pos % c);
    data[i] = static_cast<unsigned char>(sensorWhite(*m, d.id, side, x, true));
  }
  return length;
}

}  // namespace pvk::emulator
