// What the endorser sends the head before a document: the print set-up block with the stamp's
// position scaled by the intensity, and the stamp as 12-bit column words on bulk OUT endpoint 6.
#include <libusb.h>

#include "core/records.h"
#include "device/device.h"
#include "device/inkjet.h"

namespace pvk::device {
namespace {

constexpr unsigned char kStampEndpoint = 0x06;
constexpr unsigned kStampTimeoutMs = 5000;

uint16_t clampWord(long v) { return v < 0 ? 0 : v > 0xFFFF ? 0xFFFF : static_cast<uint16_t>(v); }

}  // namespace

int inkjetScale() {
  const int head = MyInkjet.headIntensity;
  const int intensity = MyInkjet.intensity;
  const bool usable = head != 0 && (MyDev.fwVersion < 0x3100 || intensity != 0);
  const int scale = usable ? intensity * 100 / head : 100;
  // A weak intensity against a strong head default rounds to 0: positions divide by it.
  return scale != 0 ? scale : 100;
}

void inkjetSetUpBlock(uint8_t out[8]) {
  const long scale = inkjetScale();
  const uint16_t x = clampWord((static_cast<long>(MyInkjet.xOrigin) + MyInkjet.stampOffset) * 100 / scale);
  const uint16_t y = clampWord((static_cast<long>(MyInkjet.yOrigin) + MyInkjet.secondOffset) * 100 / scale);
  out[0] = static_cast<uint8_t>(x);
  out[1] = static_cast<uint8_t>(x >> 8);
  out[2] = MyInkjet.intensity;
  out[3] = MyInkjet.fireCount;
  out[4] = static_cast<uint8_t>(y);
  out[5] = static_cast<uint8_t>(y >> 8);
  out[6] = MyDev.fwVersion > 0x5004 ? MyInkjet.headOption : 0;
  out[7] = 0;
}

bool stampColumns(PVKImg& stamp, uint8_t* out, size_t size) {
  const size_t bytes = static_cast<size_t>(stamp.width) * 2;
  if (bytes > size || (stamp.width && (!stamp.data || !out))) return false;
  const int rows = stamp.height < kStampRows ? stamp.height : kStampRows;
  for (uint16_t c = 0; c < stamp.width; ++c) {
    uint16_t word = 0;
    for (int r = 0; r < stamp.height; ++r) {
      uint8_t& px = stamp.data[static_cast<size_t>(r) * stamp.stride + c];
      px = px < 128 ? 0 : 255;
      if (px == 0 && r < rows) word = static_cast<uint16_t>(word | (1u << r));
    }
    out[2 * c] = static_cast<uint8_t>(word);
    out[2 * c + 1] = static_cast<uint8_t>(word >> 8);
  }
  return true;
}

}  // namespace pvk::device

bool ScriviTimbro(char* columns, int bytes) {
  if (!MyDev.usbHandle || !columns || bytes < 0) return false;
  int done = 0;
  const int rc = libusb_bulk_transfer(MyDev.usbHandle, pvk::device::kStampEndpoint,
                                      reinterpret_cast<unsigned char*>(columns), bytes, &done,
                                      pvk::device::kStampTimeoutMs);
  if (rc != 0 || done != bytes) {
    pvk::device::traceError("error writing stamp", rc != 0 ? rc : done);
    return false;
  }
  return true;
}
