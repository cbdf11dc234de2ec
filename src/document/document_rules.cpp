// The arithmetic of the document road kept apart from the device: firmware capability flags,
// the combined deskew angle, top skips, paper-move line counts, the short-cheque test and
// whether a stream that ended early held the whole document.
#include <algorithm>
#include <cmath>

#include "document/document.h"

namespace pvk::document {

namespace {

bool is202x(uint16_t fw) { return fw >= 0x2021 && fw <= 0x20FF; }

}  // namespace

FirmwareCaps firmwareCaps(uint16_t fw, uint16_t productId, uint32_t serialHigh, uint32_t serialLow,
                          bool compositionBit22, bool greyForcing) {
  FirmwareCaps c{};
  const bool f202x = is202x(fw);
  c.a = f202x || fw >= 0x2103;
  c.b = fw > 0x3106 && !compositionBit22;
  c.c = (fw > 0x3000 || (fw < 0x2103 && !f202x)) && !compositionBit22;
  // One batch of that model keeps its rear sensor on whatever the firmware says.
  if (productId == 0x000B && serialHigh == 0 && serialLow >= 330100 && serialLow <= 330106) c.c = 0;
  c.d = 1;
  if (fw < 0x2102 && !f202x && fw != 0x2008 && fw != 0x2009 && fw != 0x2010) c.d = fw == 0x2003;
  c.e = fw == 0x2008 || fw == 0x2009 || fw > 0x3000;
  c.f = fw > 0x3000;
  c.g = fw >= 0x2021;
  c.backward = fw >= 0x2009;
  c.h = fw >= 0x2021;
  c.backward2 = fw >= 0x2021;
  c.i = fw >= 0x2021 && !greyForcing;
  c.j = f202x || (fw >= 0x2111 && fw <= 0x21FF) || fw > 0x2202;
  c.fw3000 = fw > 0x2FFF;
  return c;
}

// A missing angle takes the opposite of the other side's (the two sensors see the document
// from opposite faces); angles of one sign on both faces contradict each other and count as
// no skew; the weighted mean is ignored below a threshold that depends on the document's
// proportions, and with MICR beyond 30 degrees.
void combineAngles(const AngleInput& in, float& front, float& rear) {
  front = in.front;
  rear = in.rear;
  if (front == kNoAngle && rear == kNoAngle) {
    front = rear = 0.0f;
  } else if (rear == kNoAngle) {
    rear = -front;
  } else if (front == kNoAngle) {
    front = -rear;
  }
  if (in.micr && !in.deskewMicr) front = rear = 0.0f;
  if (in.onePart && in.micrReverse) rear = -front;
  if ((front > 0 && rear > 0) || (front < 0 && rear < 0)) {
    front = rear = 0.0f;
    return;
  }
  if (in.frontWeight < 4 && in.rearWeight < 4) {
    front = rear = 0.0f;
    return;
  }
  const float c = (static_cast<float>(in.frontWeight) * front - static_cast<float>(in.rearWeight) * rear) /
                  static_cast<float>(in.frontWeight + in.rearWeight);
  const float limit = in.tallDocument ? 0.004361111111111111f : 0.017444444444444443f;
  if (std::fabs(c) < limit || (in.micr && std::fabs(c) > 0.5235988f)) {
    front = rear = 0.0f;
    return;
  }
  front = c;
  rear = -c;
}

SkipResult skipTop(uint16_t height, uint16_t trimTop, bool topSkipDevice, uint16_t topSkip, uint16_t addSkip,
                   bool streamRead) {
  SkipResult r{};
  if (height == 0) return r;
  r.fullHeight = static_cast<uint16_t>(trimTop + height);
  uint32_t skipped = trimTop;
  uint32_t withoutAdd = trimTop;
  if (topSkipDevice) {
    withoutAdd = std::max<uint32_t>(topSkip, trimTop);
    skipped = withoutAdd + (streamRead ? 0u : addSkip);
  }
  if (skipped >= height) return SkipResult{0, 0, r.fullHeight};
  r.height = static_cast<uint16_t>(height - skipped);
  r.trimTop = static_cast<uint16_t>(std::min<uint32_t>(withoutAdd, r.height));
  return r;
}

uint32_t moveLines(uint32_t lines300, uint32_t frontDpiV, uint16_t granularity) {
  // A granularity nobody set (0) would divide by zero: every line count is a multiple of 1.
  const uint32_t g = granularity == 0 ? 1 : granularity;
  const uint64_t lines = static_cast<uint64_t>(lines300) * frontDpiV / 300;
  const uint64_t rounded = (lines + g - 1) / g * g;
  return static_cast<uint32_t>(std::min<uint64_t>(rounded, 0xFFFFFFFFu));
}

uint16_t moveByTimeLines150(uint16_t fw, int milliseconds, uint16_t defaultHeight150) {
  if (fw > 0x2FFF || milliseconds > 4999) return defaultHeight150;
  const int64_t lines = static_cast<int64_t>(defaultHeight150) * milliseconds / 5000;
  return lines > 4999 ? static_cast<uint16_t>(lines) : 1;
}

uint16_t opticalOffset300(int edgeRows, int maxDpiV) {
  // A document reaching past the image's edge gives a negative edge: as an unsigned line count
  // it would shift the magnetic signal by tens of thousands of lines.
  if (edgeRows <= 0 || maxDpiV <= 0) return 0;
  return static_cast<uint16_t>(std::min<int64_t>(static_cast<int64_t>(edgeRows) * 300 / maxDpiV, 0xFFFF));
}

bool chequeTooShort(int frontTrimWidth, int rearTrimWidth, int frontDpiH, int frontHeight, int frontDpiV,
                    int rearHeight, int rearDpiV) {
  const int64_t width300 = static_cast<int64_t>(std::max(frontTrimWidth, rearTrimWidth)) * frontDpiH / 300;
  const int64_t rear300 = static_cast<int64_t>(rearHeight) * rearDpiV / 300;
  const int64_t front300 = static_cast<int64_t>(frontHeight) * frontDpiV / 300;
  return width300 >= 1926 && width300 <= 2324 && rear300 < 800 && rear300 * 110 / 100 < front300;
}

namespace {

// A row shows paper when a sixteenth of its width is brighter than the transport can be: the
// deskew never takes a level below 100 for the document's edge.
bool rowShowsPaper(const ImgInfo& side, uint32_t row, uint32_t left, uint32_t width) {
  constexpr uint8_t kPaper = 100;
  const uint32_t planes = side.colourPlanes > 1 ? side.colourPlanes : 1;
  const uint8_t* line = side.firstRow + static_cast<size_t>(row) * side.rawLineBytes + left;
  for (uint32_t p = 0; p < planes; ++p) {
    const uint8_t* px = line + static_cast<size_t>(p) * side.planeLineBytes;
    uint32_t bright = 0;
    for (uint32_t x = 0; x < width; ++x) bright += px[x] >= kPaper;
    if (bright * 16 > width) return true;
  }
  return false;
}

}  // namespace

bool streamHoldsWholeDocument(const ImgInfo& side) {
  if (!side.firstRow || side.rowsUsed == 0) return false;
  const uint32_t left = side.trimWidth ? side.trimLeft : 0;
  const uint32_t width = side.trimWidth ? side.trimWidth : side.sensorPixels;
  if (width == 0 || left + width > side.planeLineBytes) return false;
  const uint32_t last = side.rowsUsed - 1u;
  if (rowShowsPaper(side, last, left, width)) return false;
  for (uint32_t r = last; r-- > 0;)
    if (rowShowsPaper(side, r, left, width)) return true;
  return false;
}

}  // namespace pvk::document
