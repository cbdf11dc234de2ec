// The sensor model: each pixel's white response and black offset, shared by the raw stream and
// the factory calibration data so that the two agree as a real scanner's would.
#include <algorithm>

#include "image_stream.h"

namespace pvk::emulator {

uint32_t eepromPixels(uint16_t product, int set) {
  bool small = product == 0x000E;
  return set == 3 ? (small ? 1296 : 2592) : (small ? 2592 : 5184);
}

int sensorWhite(const pvkemu_sensor& s, int, int side, uint32_t x, bool) {
  // A small integer hash: the same pixel always answers the same.
  uint32_t h = s.seed * 2654435761u ^ (static_cast<uint32_t>(side) * 40503u) ^ (x * 2246822519u);
  h ^= h >> 13;
  h *= 3266489917u;
  h ^= h >> 16;
  int lo = std::min(s.white_min, s.white_max), hi = std::max(s.white_min, s.white_max);
  int white = lo + static_cast<int>(h % static_cast<uint32_t>(hi - lo + 1));
  for (uint32_t i = 0; i < std::min<uint32_t>(s.dirt_count, 8); ++i)
    if (s.dirt_columns[i] == x) white /= 5;  // dust on the sensor: the column stays dark
  return white;
}

int sensorBlack(const pvkemu_sensor& s, int white) {
  // The same single-precision product the host uses to derive black from the factory data.
  int w = s.white_level <= 9 ? 10 : s.white_level;
  float ratio = static_cast<float>(s.black_level) / static_cast<float>(w);
  int b = static_cast<int>(static_cast<float>(white) * ratio);
  return std::clamp(b, 0, 255);
}

}  // namespace pvk::emulator
