// The calibration sheet of the software scanner: a white sheet moved through the transport by
// every acquisition start, read through the sensor model, with injectable dirt and bright
// black columns.
#include <algorithm>
#include <cstdio>
#include <map>

#include "bus.h"
#include "calibration_sheet.h"
#include "image_stream.h"
#include "pvkemu_calib.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"

namespace pvk::emulator {
namespace {

struct Sheet {
  pvkemu_calib_sheet spec{};
  double position = 0;  // lines at 300 dpi past the sensors
  long passes = 0;
};

std::map<int, Sheet>& sheets() {
  static std::map<int, Sheet> s;
  return s;
}

bool known(int dev) { return dev >= 0 && static_cast<size_t>(dev) < bus().devices.size(); }

bool inRange(uint32_t x, uint32_t first, uint32_t count) { return count && x >= first && x - first < count; }

// The sheet of the stream being built: pixels are asked for one by one.
const Sheet* activeSheet = nullptr;
int activeDev = -1;

const Sheet* sheetOf(const Device& d) {
  if (activeSheet && activeDev == d.id) return activeSheet;
  auto it = sheets().find(d.id);
  return it == sheets().end() ? nullptr : &it->second;
}

}  // namespace

bool calibrationSheetFeed(Device& d) {
  auto it = sheets().find(d.id);
  if (it == sheets().end() || !d.configBlockValid) return false;
  Sheet& s = it->second;
  activeSheet = &s;
  activeDev = d.id;
  ++s.passes;
  const uint8_t* c = d.configBlock;
  const bool colour = c[1] & 0x01, frontOn = c[1] & 0x02, rearOn = c[1] & 0x04;
  const int planes = (colour ? 3 : 1) + ((c[1] & 0x20) ? 1 : 0) + ((c[1] & 0x10) ? 1 : 0);
  const int slots = planes + ((c[3] & 0x40) ? 1 : 0);
  const uint32_t lines = (c[10] | (c[11] << 8)) / static_cast<uint32_t>(slots);
  const uint32_t timing = c[12] | (c[13] << 8);
  const double dpiV = std::max(1.0, timing * 2.0 / (5.0 * slots));
  const bool forward = c[2] & 0x01;
  const double perLine = 300.0 / dpiV;
  double room = forward ? (s.spec.length300 - s.position) : s.position;
  uint32_t rows = room <= 0 ? 0 : static_cast<uint32_t>(room / perLine);
  rows = std::min(rows, lines);
  s.position += (forward ? 1.0 : -1.0) * static_cast<double>(rows) * perLine;
  s.position = std::clamp(s.position, 0.0, static_cast<double>(s.spec.length300));
  const uint32_t width = s.spec.width[c[0] & 7];
  if (rows == 0 || width == 0) return true;
  pvkemu_document doc{};
  doc.width = width;
  doc.height = rows;
  doc.micr_per_slot = (frontOn && rearOn) ? s.spec.micr_two_sides : s.spec.micr_one_side;
  feedDocument(d.id, &doc, false, false);
  return false;
}

uint8_t calibrationSheetPixel(const Device& d, int, uint32_t x, int ledLevel, int black, uint8_t raw) {
  const Sheet* sheet = sheetOf(d);
  if (!sheet) return raw;
  const pvkemu_calib_sheet& s = sheet->spec;
  if (ledLevel == 0) return inRange(x, s.bright_first, s.bright_count) ? 200 : raw;
  if (inRange(x, s.dirt_first, s.dirt_count)) return static_cast<uint8_t>(black + (raw - black) / 5);
  return raw;
}

bool calibrationSheetIn(const Device& d) { return sheetOf(d) != nullptr; }

uint32_t calibrationSheetStatus(const Device& d) {
  auto it = sheets().find(d.id);
  if (it == sheets().end()) return 0;
  return it->second.position < it->second.spec.length300 ? PVKEMU_SHEET_ENTRY : 0;
}

void calibrationSheetReset() {
  sheets().clear();
  activeSheet = nullptr;
  activeDev = -1;
}

}  // namespace pvk::emulator

using namespace pvk::emulator;

extern "C" {

int pvkemu_calibration_sheet(int dev, const pvkemu_calib_sheet* sheet) {
  configuredBus();
  if (!known(dev)) return -1;
  activeSheet = nullptr;
  activeDev = -1;
  if (!sheet) {
    sheets().erase(dev);
    return 0;
  }
  Sheet s;
  s.spec = *sheet;
  sheets()[dev] = s;
  return 0;
}

long pvkemu_calibration_position(int dev) {
  auto it = sheets().find(dev);
  return it == sheets().end() ? -1 : static_cast<long>(it->second.position + 0.5);
}

long pvkemu_calibration_passes(int dev) {
  auto it = sheets().find(dev);
  return it == sheets().end() ? -1 : it->second.passes;
}

}  // extern "C"
