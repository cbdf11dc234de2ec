// The OCR zone table: the one request a host builds zone by zone (OCRDoc) and queries after a
// scan-and-read. Nothing here clears it: start-up does, and the zone count only grows.
#include <cstdint>

#include "core/trace.h"
#include "reading/reading.h"

namespace pvk::reading {
namespace {

int reject(const char* text) {
  WriteTrace("err - ", text, false);
  MyDev.lastResult = PVK_ERR_INV_PARAMETER;
  return -1;
}

bool validSlot(short index) {
  if (index >= 0 && index < PVK_OCR_MAX_ZONES) return true;
  WriteTrace("err - ", "PVKOCRZoneNChar with invalid parameter", index, false);
  MyDev.lastResult = PVK_ERR_INV_PARAMETER;
  return false;
}

// value at dpi to 1/150 inch; C++ division truncates toward zero, so negatives stay negative.
int64_t to150(short value, short dpi) { return static_cast<int64_t>(value) * 150 / dpi; }

}  // namespace

int zoneRotateDoc(short rotation) {
  if (rotation != 0 && rotation != 256 && rotation != 512 && rotation != 768) {
    WriteTrace("err - ", "invalid rotation", rotation, false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return -1;
  }
  OCRDoc.rotation = static_cast<uint16_t>(rotation);
  return 0;
}

int zoneAdd(short dpi, short left, short top, short width, short height, short side, short font, short option) {
  const int index = OCRDoc.nZones;
  if (index < 0 || index >= PVK_OCR_MAX_ZONES) return reject("invalid n. zone");
  if (dpi < 1 || dpi > 600) return reject("invalid dpi");
  if (static_cast<unsigned short>(side) > 1) return reject("invalid side");
  PVKOCRZone& z = OCRDoc.zones[index];
  z.side = side;
  z.font = font;
  z.option = option;
  z.left = to150(left, dpi);
  z.top = to150(top, dpi);
  z.width = to150(width, dpi);
  z.height = to150(height, dpi);
  z.charsRead = 0;
  OCRDoc.nZones = static_cast<int16_t>(index + 1);
  MyDev.lastResult = PVK_OK;
  return index + 1;
}

int zoneNChar(short index) { return validSlot(index) ? OCRDoc.zones[index].charsRead : 0; }

int zoneOCRchar(short index) {
  return validSlot(index) ? static_cast<uint16_t>(OCRDoc.zones[index].font) : -1;
}

}  // namespace pvk::reading
