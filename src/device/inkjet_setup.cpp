// Set-up of the endorser's stamp for the next document: a text with its stamp font or a BMP
// image, the print position, intensity and fire count, then the stamp prepared for the head.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/records.h"
#include "core/trace.h"
#include "device/device.h"
#include "device/inkjet.h"

namespace {

using pvk::device::traceError;

void clearStamp() {
  std::free(MyInkjet.stamp.data);
  MyInkjet.stamp = PVKImg{};
  MyInkjet.stampTurned = 0;
}

int32_t failed(int32_t code) {
  clearStamp();
  MyInkjet.stampText[0] = 0;
  MyInkjet.fontName[0] = 0;
  MyDev.lastResult = code;
  return code;
}

int32_t refuse(const char* text) {
  traceError(text);
  return failed(PVK_ERR_INV_PARAMETER);
}

// The text and font of a font stamp, stored when they fit their fields.
int32_t takeText(const char* text, const char* font, short size) {
  if (size < 0) return refuse("negative size");
  if (!font) return refuse("null font pointer");
  if (strnlen(text, sizeof MyInkjet.stampText) >= sizeof MyInkjet.stampText) {
    WriteTrace(text, false);
    return refuse("stamp too long");
  }
  if (strnlen(font, sizeof MyInkjet.fontName) >= sizeof MyInkjet.fontName) {
    WriteTrace(font, false);
    return refuse("font too long");
  }
  std::strcpy(MyInkjet.stampText, text);
  std::strcpy(MyInkjet.fontName, font);
  return 0;
}

void takeHeadValues(short intensity, short fireCount) {
  const int level = MyInkjet.headIntensity + intensity;
  if (MyDev.fwVersion >= 0x3100) {
    MyInkjet.intensity = static_cast<uint8_t>(std::clamp(level, 1, 255));
    MyInkjet.fireCount = static_cast<uint8_t>(std::min(std::max<int>(fireCount, MyInkjet.minFireCount), 255));
  } else {
    MyInkjet.intensity = static_cast<uint8_t>(std::clamp(level, 0, 255));
    MyInkjet.fireCount = 0;
  }
}

}  // namespace

int32_t Inkjet1SetUp(const char* text, const char* font, short size, short intensity, short offset,
                     short keepImage, short fireCount, short rotate180) {
  clearStamp();
  MyInkjet.stampText[0] = 0;
  MyInkjet.fontName[0] = 0;
  if (!MyDev.inkjetPresent) {
    traceError("no inkjet detected");
    return failed(PVK_ERR_HW_NOT_SUPPORTED);
  }
  if (!MyDev.inkjetReady) {
    traceError("no inkjet ready");
    return failed(PVK_ERR_HW_NOT_SUPPORTED);
  }
  if (!text || !text[0]) {
    MyDev.lastResult = 0;
    return 0;
  }
  if (!font && size == 0) {
    const auto readStamp = pvk::device::deviceHooks.readStampImage;
    if (readStamp == nullptr || !readStamp(text, &MyInkjet.stamp)) {
      WriteTrace(text, false);
      return refuse("stamp file invalid");
    }
    MyInkjet.stamp.dpi = 300;
  } else if (takeText(text, font, size) < 0) {
    return MyDev.lastResult;
  }
  if (offset < 0) return refuse("negative offset");
  MyInkjet.stampOffset = static_cast<uint16_t>(offset);
  MyInkjet.secondOffset = 0;
  MyInkjet.stampColumns = static_cast<uint64_t>(size);
  MyInkjet.stampImageRequested = keepImage > 0 ? 1 : 0;
  MyInkjet.rotate180 = rotate180 > 0 ? 1 : 0;
  takeHeadValues(intensity, fireCount);
  MyInkjet.armed = 0;
  MyInkjet.printed = 0;
  MyDev.lastResult = 0;
  if (!InkjetPrepare_TIJ10()) return failed(MyDev.lastResult < 0 ? MyDev.lastResult : PVK_ERR_INV_PARAMETER);
  MyInkjet.armed = 1;
  MyDev.lastResult = 0;
  return 0;
}
