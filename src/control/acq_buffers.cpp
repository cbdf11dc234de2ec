// Preparation of the side records and their one raw buffer before every acquisition: offsets,
// rows, allocation with room for the vertical stretch, the views of the rear and backlight
// sides, the magnetic sample buffer, the rounding to the USB block and the two-part window.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "control/control.h"
#include "core/defaults.h"
#include "core/image_utils.h"
#include "core/results.h"
#include "core/trace.h"
#include "device/inkjet.h"

using namespace pvk::control;

namespace {

constexpr int kRear = 0, kFront = 1, kBack = 2;

void freeRecord(ImgInfo& r) {
  pvk::core::releaseSideBuffer(r.allocBase);
  r.allocBase = nullptr;
}

void freeSamples() {
  std::free(MyMICR.samples);
  MyMICR.samples = nullptr;
  MyMICR.sampleBytes = 0;
  MyMICR.sampleRows = 0;
  MyMICR.nSamples = 0;
}

// Frees every buffer of the triple and the sample buffer after an allocation failure.
bool allocationFailed(ImgInfo* r, const char* what) {
  WriteTrace("err - ", what, errno, false);
  for (int s = 0; s < kSides; ++s) {
    freeRecord(r[s]);
    r[s].firstRow = r[s].writePtr = nullptr;
  }
  freeSamples();
  WriteTrace("err - ", "InitMyImg - memory allocation failed", false);
  Vx3ResultSet(-4);
  return false;
}

uint16_t ceilDiv(uint16_t a, uint8_t b) { return b == 0 ? a : static_cast<uint16_t>((a + b - 1) / b); }

// Records only, the fresh path: geometry from the mode, then the full rectangles.
bool prepareRecords(unsigned short lines) {
  ImgInfo* img = MyDev.img;
  for (int s = 0; s < kSides; ++s) {
    freeRecord(img[s]);
    freeRecord(MyDev.imgFirstPart[s]);
    std::memset(&img[s], 0, sizeof img[s]);
    std::memset(&MyDev.imgFirstPart[s], 0, sizeof img[s]);
    img[s].side = static_cast<uint8_t>(s);
    img[s].deskewAngle = kNoAngle;
  }
  MyAcq.rowBlock = 1;
  img[kBack].colourPlanes = img[kBack].planesPerLine = 1;
  const uint8_t planes = MyAcq.rgb ? 3 : 1;
  MyAcq.colourPlanes = planes;
  MyAcq.colourIrPlanes = static_cast<uint8_t>(planes + MyAcq.ir);
  MyAcq.planesPerLine = static_cast<uint8_t>(planes + MyAcq.ir + MyAcq.uv);
  for (int s : {kRear, kFront}) {
    img[s].colourPlanes = planes;
    img[s].planesPerLine = MyAcq.planesPerLine;
  }

  if (!InitMyImgFW()) {
    if (Vx3ResultGet() == -3) {
      if (lines != 0) WriteTrace("err - ", "Setting invalid Acquisition Mode", MyAcq.mode, false);
    } else if (MyDev.fwVersion != 0) {
      // A missing firmware version keeps its own -1; only a known but old firmware is -11.
      WriteTrace("err - ", "This SW version is not supporting this HW version", MyDev.fwVersion, false);
      Vx3ResultSet(-11);
    }
    for (int s = 0; s < kSides; ++s) img[s].dpiH = MyAcq.dpiH[s] = 100;
    MyAcq.dpiV = 100;
    return false;
  }

  for (int s = 0; s < kSides; ++s) MyAcq.dpiH[s] = img[s].dpiH;
  MyAcq.dpiV = std::max(img[kRear].dpiV, img[kFront].dpiV);
  img[kFront].trimTop = MyAcq.topOffsetFront = ceilDiv(MyAcq.topOffsetFront, MyAcq.planesPerLine);
  img[kRear].trimTop = MyAcq.topOffsetRear = ceilDiv(MyAcq.topOffsetRear, MyAcq.planesPerLine);
  for (int s : {kRear, kFront}) {
    img[s].fullTop = img[s].trimTop;
    img[s].fullLeft = img[s].trimLeft;
    img[s].fullWidth = img[s].trimWidth;
    img[s].fullRight = static_cast<uint16_t>(img[s].fullLeft + img[s].fullWidth);
  }
  const ImgInfo& carrier = img[MyDev.backlightSide == 0 ? kRear : kFront];
  img[kBack].trimTop = img[kBack].fullTop = carrier.trimTop;
  img[kBack].fullLeft = img[kBack].trimLeft;
  img[kBack].fullWidth = img[kBack].trimWidth;
  img[kBack].fullRight = static_cast<uint16_t>(img[kBack].fullLeft + img[kBack].fullWidth);
  return true;
}

// The second part of a two-part document: the first-part records take over the buffer, and
// the live records become windows after the first part's bytes.
bool prepareSecondPart(unsigned short lines) {
  if (lines == 0) return true;
  ImgInfo* img = MyDev.img;
  ImgInfo* first = MyDev.imgFirstPart;
  // The first-part copies made when the first part ended are replaced: free them, or they leak.
  for (int s = 0; s < kSides; ++s) {
    if (first[s].allocBase != img[s].allocBase) freeRecord(first[s]);
    first[s] = img[s];
    img[s].allocBase = nullptr;
    img[s].corrected = 0;
  }
  for (int s = 0; s < kSides; ++s) {
    const uint64_t size = MyAcq.sideBytes[s];
    const uint16_t raw = img[s].rawLineBytes;
    if (size == 0 || raw == 0) continue;
    const uint64_t firstBytes = std::min<uint64_t>(uint64_t(raw) * first[kFront].rowsUsed, size);
    uint64_t bytes = std::min<uint64_t>(uint64_t(lines) * raw, size);
    uint8_t* at = MyAcq.sideData[s];
    if (at == nullptr && first[s].firstRow != nullptr) at = first[s].firstRow + firstBytes;
    // The window must stay inside the buffer that the first part now owns (the front's for a view).
    const ImgInfo& owner = first[s].allocBase != nullptr ? first[s] : first[kFront];
    const uint8_t* base = owner.allocBase;
    if (base != nullptr && at != nullptr) {
      const uint64_t used = at >= base ? uint64_t(at - base) : owner.bytesAllocated;
      const uint64_t room = used < owner.bytesAllocated ? owner.bytesAllocated - used : 0;
      bytes = std::min(bytes, room - room % raw);
    } else {
      bytes = 0;
    }
    img[s].trimTop = img[s].fullTop = 0;
    img[s].rowsUsed = static_cast<uint16_t>(std::min<uint64_t>(bytes / raw, 0xFFFF));
    img[s].imageBytes = bytes;
    img[s].firstRow = img[s].writePtr = at;
    img[s].trimLeft = img[s].fullLeft;
    img[s].trimWidth = img[s].fullWidth;
  }
  if (MyAcq.sideBytes[kRear] == 0 && first[kRear].imageBytes == 0 && MyDev.bufferShared) {
    img[kRear].imageBytes = img[kFront].imageBytes;
    img[kRear].rowsUsed = img[kFront].rowsUsed;
    img[kRear].firstRow = MyAcq.sideData[kRear] != nullptr
                              ? MyAcq.sideData[kRear]
                              : (img[kFront].firstRow ? img[kFront].firstRow + img[kFront].sensorPixels : nullptr);
    img[kRear].trimTop = img[kRear].fullTop;
    img[kRear].trimLeft = img[kRear].fullLeft;
    img[kRear].trimWidth = img[kRear].fullWidth;
  }
  SetHeightOffset(img);
  return true;
}

}  // namespace

void SetHeightOffset(ImgInfo* img) {
  const uint32_t v = std::max(img[kRear].dpiV, img[kFront].dpiV);
  uint32_t L = 270, T = 0, A = 270;
  if (isMoxModel()) {
    L = 0; T = 100; A = 0;
  } else if (MyDev.fwVersion == 0x1005 || MyDev.fwVersion == 0x1007) {
    A = 0;
  }
  MyAcq.leadIn = static_cast<uint16_t>(L * v / 300);
  MyAcq.topMargin = static_cast<uint16_t>(T * v / 300);
  MyAcq.tail = static_cast<uint16_t>(A * v / 300);
  MyAcq.bottomMargin = static_cast<uint16_t>(T * v / 300);
  if (MyAcq.calibrating) {
    MyAcq.leadIn = MyAcq.topMargin = MyAcq.tail = MyAcq.bottomMargin = 0;
  } else if (MyAcq.twoPartActive && MyAcq.secondPartPending) {
    MyAcq.leadIn = MyAcq.topMargin = 0;
  } else if (MyAcq.twoPartActive) {
    MyAcq.tail = MyAcq.bottomMargin = 0;
  }
}

void SetImgHeight(ImgInfo* img, unsigned short lines) {
  if (lines == 0) return;
  const uint32_t block = std::max<uint32_t>(MyAcq.rowBlock, 1);
  uint32_t rows = uint32_t(lines) + MyAcq.topMargin + MyAcq.tail + MyAcq.topOffsetFront;
  rows = (rows + block - 1) / block * block;
  rows = std::min<uint32_t>(rows, 0xFFFF);
  img[kFront].rowsUsed = static_cast<uint16_t>(rows);
  if (MyAcq.backlight) img[kBack].rowsUsed = static_cast<uint16_t>(rows);
}

bool SetImgBuffer(ImgInfo* img) {
  const bool pending = MyAcq.twoPartActive && MyAcq.secondPartPending;
  if (pending) {
    for (int s = 0; s < kSides; ++s)
      if (img[s].firstRow) img[s].writePtr = img[s].firstRow + img[s].margin;
    return true;
  }
  ImgInfo& front = img[kFront];
  for (int s = 0; s < kSides; ++s) {
    ImgInfo& r = img[s];
    if (r.rowsUsed == 0 || (s == kBack && !MyAcq.backlight)) continue;
    uint64_t bufferRows = r.rowsUsed;
    if (MyAcq.twoPartActive)
      bufferRows = std::max<uint64_t>(bufferRows, uint64_t(DefaultHeight150()) * r.dpiV / 150);
    r.imageBytes = uint64_t(r.rowsUsed) * r.rawLineBytes;
    MyAcq.sideBytes[s] = bufferRows * r.rawLineBytes;
    // The backlight pixels end each raw line of the front buffer: that side is a view.
    if (s == kBack) continue;
    uint64_t allocRows = bufferRows + 16;
    if (r.dpiV != 0 && r.dpiH > r.dpiV) allocRows = allocRows * r.dpiH / r.dpiV;
    const uint64_t lineSize = uint64_t(r.rawLineBytes) + MyMICR.extraBytes;
    const uint64_t bytes = allocRows * lineSize;
    const bool extraLine = MyDev.fwVersion > 0x3000;
    freeRecord(r);
    // The kept buffer when it fits; its white fill is written only where it can be read.
    uint8_t* base = pvk::core::lendSideBuffer(bytes + (extraLine ? lineSize : 0) + 1, bytes);
    if (base == nullptr) return allocationFailed(img, "set image buffer with invalid memory allocation");
    r.allocBase = r.firstRow = base;
    r.bytesAllocated = bytes;
    r.margin = extraLine ? lineSize : 0;
    r.writePtr = base + r.margin;
  }

  freeSamples();
  const uint64_t rows = std::max(img[kRear].rowsUsed, front.rowsUsed);
  if (MyMICR.enabled && rows != 0) {
    const uint64_t size = uint64_t(MyMICR.extraBytes) * rows * 2;
    MyMICR.samples = static_cast<uint8_t*>(std::malloc(size + 1));
    if (MyMICR.samples == nullptr) return allocationFailed(img, "set CMC7 buffer with invalid memory allocation");
    std::memset(MyMICR.samples, 0xFF, size);
    MyMICR.sampleBytes = size;
    MyMICR.sampleRows = rows;
    MyMICR.nSamples = 0;
  }

  if (front.firstRow == nullptr) {
    img[kRear].firstRow = img[kBack].firstRow = nullptr;
  } else {
    img[kRear].firstRow = front.firstRow + front.sensorPixels;
    img[kBack].firstRow =
        MyAcq.backlight ? front.firstRow + uint64_t(front.planeLineBytes) * MyAcq.planesPerLine : nullptr;
  }
  img[kRear].writePtr = img[kRear].firstRow;
  img[kBack].writePtr = img[kBack].firstRow;
  return true;
}

void CheckImgSize(ImgInfo* img) {
  const uint64_t block = std::max<uint16_t>(MyAcq.usbBlock, 1);
  for (int s = 0; s < kSides; ++s) {
    ImgInfo& r = img[s];
    if (r.rowsUsed == 0) continue;
    if (r.imageBytes < block) {
      r.imageBytes = 0;
      return;
    }
    const uint64_t old = r.imageBytes;
    r.imageBytes = (old + block - 1) / block * block;
    if (r.imageBytes != old && !MyMICR.enabled)
      WriteTrace("err - ", "SetImgSize not multiple of wBlock", static_cast<int>(std::min<uint64_t>(old, 0x7FFFFFFF)), false);
  }
}

void FreeMyImg(ImgInfo* records) {
  if (records == nullptr) return;
  for (int s = 0; s < kSides; ++s) {
    freeRecord(records[s]);
    records[s].firstRow = records[s].writePtr = nullptr;
    records[s].rowsUsed = 0;
  }
  freeSamples();
  pvk::core::dropSideBuffer();
}

bool MyDevImgInit(unsigned short lines, bool) {
  if (MyAcq.twoPartActive && MyAcq.secondPartPending) return prepareSecondPart(lines);
  if (lines != 0 && MyInkjet.armed && !InkjetStart()) return false;
  if (!prepareRecords(lines)) return false;
  ImgInfo* img = MyDev.img;
  SetHeightOffset(img);
  SetImgHeight(img, lines);
  if (!SetImgBuffer(img)) return false;
  CheckImgSize(img);
  return true;
}

bool MyDevImgInitWithMode(unsigned short lines, unsigned char mode, bool) {
  const AcqInfo saved = MyAcq;
  if (MyAcq.modeLocked) MyAcq.mode = mode;
  if (!MyDevImgInit(lines, true)) {
    MyAcq = saved;
    return false;
  }
  if (lines == 0) return true;
  const bool ok = SetImgBuffer(MyDev.img);
  if (ok) CheckImgSize(MyDev.img);
  return ok;
}
