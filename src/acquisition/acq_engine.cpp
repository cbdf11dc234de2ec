// One document's acquisition: checks, configuration and start, the bulk read of the whole raw
// stream into the front buffer, then separation, magnetic samples and correction in place.
#include <dirent.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "acquisition/acquisition.h"
#include "calibration/calibration.h"
#include "core/image_utils.h"
#include "core/trace.h"
#include "device/device.h"

namespace {

struct AcqWork {
  uint8_t running;
  uint8_t done;
  uint64_t bytesToRead;
  ImgInfo* front;
};
AcqWork ParAcq;
bool streamEndedShort = false;

// Gain coefficients per side, planes x reference pixels, alive for one acquisition.
float* CoefCor[kSides];
uint32_t CoefCount[kSides];

void freeCoefficients() {
  for (int s = 0; s < kSides; ++s) {
    std::free(CoefCor[s]);
    CoefCor[s] = nullptr;
    CoefCount[s] = 0;
  }
}

int fail(int code, const char* text) {
  WriteTrace("err - ", text, false);
  MyDev.lastResult = code;
  return 0;
}

// Calibration reads raw lines: neither gains nor correction apply to them.
bool calibrationAcquisition() { return MyAcq.rawLines || MyAcq.calibrating; }

bool chequeDocType() {
  uint16_t t = MyOcr.typeDoc;
  return t == 3 || t == 4 || t == 6 || t == 7 || t == 8;
}

bool makeCoefficients(int side) {
  const ImgInfo& img = MyDev.img[side];
  const CorInfoSide& cor = MyCorS[side];
  uint32_t planes = side == 2 ? 1 : std::max<uint32_t>(1, MyAcq.planesPerLine);
  uint32_t ref = cor.pixelsInUse;
  uint32_t count = planes * ref;
  std::free(CoefCor[side]);
  CoefCor[side] = static_cast<float*>(std::malloc(sizeof(float) * (count ? count : 1)));
  if (!CoefCor[side]) {
    WriteTrace("err - ", "error creating correction coef", errno, false);
    MyDev.lastResult = -1;
    return false;
  }
  CoefCount[side] = count;
  float numerator = (side < 2 && chequeDocType()) ? 255.0f : 265.0f;
  for (uint32_t p = 0; p < planes; ++p) {
    float* c = CoefCor[side] + p * ref;
    const uint8_t* white = nullptr;
    const uint8_t* black = nullptr;
    if (side < 2 && !calibrationAcquisition()) {
      white = CorrInfoWhiteLevel(MyCorS, side, p);
      black = CorrInfoBackLevel(MyCorS, side, p);
    }
    uint32_t refBytes = cor.pixelsAlloc > p * ref ? std::min<uint32_t>(ref, cor.pixelsAlloc - p * ref) : 0;
    pvk::acquisition::fillGains(c, ref, img.fullWidth, white, black, refBytes, numerator);
  }
  return true;
}

}  // namespace

namespace pvk::acquisition {

void requestStop(bool stop) { pvk::core::requestStop(stop); }

bool stopRequested() { return pvk::core::stopRequested(); }

uint64_t currentBytesToRead() {
  return ParAcq.bytesToRead ? ParAcq.bytesToRead : MyDev.img[1].imageBytes;
}

bool lastStreamEndedShort() { return streamEndedShort; }

}  // namespace pvk::acquisition

void CorrezioneImgInAcq(ImgInfo* img) {
  using namespace pvk::acquisition;
  if (!img || calibrationAcquisition() || !img->hasData || !img->firstRow) return;
  img->corrected = 1;
  const int side = img->side;
  if (side > 1) return;
  const ImgInfo& front = MyDev.img[1];
  const CorInfoSide& cor = MyCorS[side];
  uint32_t planes = std::max<uint32_t>(1, img->planesPerLine);
  for (uint32_t p = 0; p < planes; ++p) {
    CorrectionPlane cp{};
    cp.firstPixel = img->firstRow + p * front.planeLineBytes;
    cp.rowStride = front.rawLineBytes;
    cp.rows = img->rowsUsed;
    cp.sensorPixels = img->sensorPixels;
    cp.trimLeft = img->trimLeft;
    cp.trimWidth = img->trimWidth;
    cp.fullWidth = img->fullWidth;
    cp.black = CorrInfoBackLevel(MyCorS, static_cast<uint8_t>(side), static_cast<uint8_t>(p));
    uint32_t ref = cor.pixelsInUse;
    cp.blackBytes = cor.pixelsAlloc > p * ref ? std::min<uint32_t>(ref, cor.pixelsAlloc - p * ref) : 0;
    bool haveCoef = CoefCor[side] && CoefCount[side] >= (p + 1) * ref;
    cp.coef = haveCoef ? CoefCor[side] + p * ref : nullptr;
    cp.coefCount = haveCoef ? ref : 0;
    cp.lut = MyBrCr[side].lut;
    correctPlane(cp, MyAcq.calibOption != 0);
  }
  if (MyDev.productId == 0x000B && side == 1) {
    uint32_t width = img->trimWidth;
    if (width > 32768) {
      WriteTrace("err - ", "unexpeded width", width, false);
      return;
    }
    // The trimmed pixels are mirrored; the borders stay where they are.
    const uint32_t left = std::min<uint32_t>(img->trimLeft, img->sensorPixels);
    width = std::min<uint32_t>(width, img->sensorPixels - left);
    for (uint32_t p = 0; p < planes; ++p)
      mirrorPlane(img->firstRow + p * front.planeLineBytes + left, front.rawLineBytes,
                  img->rowsUsed, width);
  }
}

void ScambiaImmaginiADF() {}

void ThrAcq_0x3000() {
  ParAcq.running = 1;
  MyDev.lastResult = 0;
  int timeout = MyAcq.acqTimeoutSec * 1000 + MyAcq.acqTimeoutMs;
  ConfiguraDevice();
  pvk::acquisition::controlRequest(209, 56, nullptr, 0, true);
  pvk::acquisition::controlRequest(209, 52, nullptr, 0, true);
  ImgInfo& front = MyDev.img[1];
  unsigned long size = ParAcq.bytesToRead;
  if (!Vx3BaseBulkRead(timeout, front.writePtr, size, !MyAcq.paperMove2)) {
    WriteTrace("Vx3BaseBulkRead error", false);
    // Some refusals of the read leave no code of their own: a failed read is never a success.
    if (MyDev.lastResult >= 0) MyDev.lastResult = -1;
  }
  front.imageBytes = std::min<uint64_t>(size, ParAcq.bytesToRead);
  // A host stops a read from another thread through the device's stop request.
  if (pvk::acquisition::stopRequested()) {
    WriteTrace("err - ", "acquisition stopped", false);
    MyDev.lastResult = -19;
  }
  FermaAcquisizione(1, true, false);
  ParAcq.done = 1;
}

namespace {

// After a good read the side records reach no further than the rows made from the bytes read,
// and the steps after the engine (deskew with its vertical stretch, the stretch of firmware
// 0x4002) write, never read, past them: only the buffer up to that reach is settled. The first
// part of a two-part document is settled whole, as the second part goes on in the same buffer.
void settleAfterRead(const ImgInfo& front, uint64_t got) {
  if (MyAcq.twoPartActive && !MyAcq.secondPartPending) {
    pvk::core::settleSideBuffer();
    return;
  }
  uint8_t* start = front.firstRow;
  if (MyAcq.twoPartActive && MyAcq.firstPartRow[1] != nullptr && MyAcq.firstPartRow[1] < start)
    start = MyAcq.firstPartRow[1];
  uint8_t* readEnd = front.writePtr + got;
  // Rows of the document so far, stretched by dpiH / dpiV at most and by 1.046 at most, with a
  // row to spare on each count.
  const uint64_t row = std::max<uint64_t>(front.rawLineBytes, 1);
  const uint64_t rows = static_cast<uint64_t>(readEnd - start) / row + 1;
  const uint64_t ratio = front.dpiV ? std::max<uint64_t>(front.dpiH, front.dpiV) : 1;
  const uint64_t scaled = (front.dpiV ? rows * ratio / front.dpiV : rows) + 1;
  const uint64_t reach = (scaled * 1050 + 999) / 1000 + 2;
  pvk::core::settleSideBuffer(start, std::max(readEnd, start + reach * row));
}

uint8_t scanSteps() {
  using namespace pvk::acquisition;
  ImgInfo& front = MyDev.img[1];
  ImgInfo& rear = MyDev.img[0];
  if (!isValidDevice()) return fail(-1, "Bulk read with invalid device");
  if (!front.firstRow) return fail(-3, "Null bulk buffer");
  uint64_t bytes = front.imageBytes;
  if (bytes == 0) {
    if (MyAcq.twoPartActive && MyAcq.secondPartPending) {
      front.imageBytes = rear.imageBytes = 0;
      front.rowsUsed = rear.rowsUsed = 0;
      MyDev.lastResult = 0;
      return 1;
    }
    return fail(-3, "Wrong bulk size request");
  }
  if (!front.writePtr) return fail(-1, "unexpected - acquisition with invalid buffer");
  const uint64_t rawLine = front.rawLineBytes + (MyMICR.enabled ? MyMICR.extraBytes : 0);
  // Never read beyond the buffer, whatever the records claim.
  if (front.allocBase && front.bytesAllocated) {
    uint8_t* end = front.allocBase + front.bytesAllocated;
    uint64_t room = front.writePtr < end ? static_cast<uint64_t>(end - front.writePtr) : 0;
    bytes = std::min(bytes, room);
  }
  front.imageBytes = 0;
  ParAcq.bytesToRead = bytes;
  ParAcq.front = &front;
  MyAcq.streamRead = 1;
  // The range to read is cleared, with 0xFF on bytes 0 and 3 of each raw line; the bytes are
  // written once the read has shown which of them can still be read (settleAfterRead).
  pvk::core::clearSideBufferRange(front.writePtr, bytes, rawLine, front.rowsUsed);
  for (int s = 0; s < kSides; ++s)
    if (MyDev.img[s].hasData && !makeCoefficients(s)) return 0;

  ThrAcq_0x3000();
  if (MyDev.lastResult < 0) return 0;

  const uint64_t got = front.imageBytes;
  streamEndedShort = got < bytes;
  settleAfterRead(front, got);
  // Raw lines with magnetic bytes are longer than the image rows: count lines, not row bytes.
  uint64_t height = rawLine ? got / rawLine : 0;
  if (MyDev.fwVersion > 0x3000 && !MyAcq.frontOff && !MyAcq.rearOff) {
    int64_t lines = separateCurrent(got);
    if (lines < 0) return 0;
    height = static_cast<uint64_t>(lines);
  }
  height = std::min<uint64_t>(height, 0xFFFF);
  front.rowsUsed = rear.rowsUsed = static_cast<uint16_t>(height);
  rear.imageBytes = front.imageBytes = height * front.rawLineBytes;
  if (MyAcq.calibOption) {
    CorrezioneImgInAcq(&front);
    CorrezioneImgInAcq(&rear);
  }
  if (MyAcq.twoPartActive && !MyAcq.secondPartPending)
    for (int s = 0; s < kSides; ++s) MyAcq.firstPartRow[s] = MyDev.img[s].firstRow;
  for (int s = 0; s < kSides; ++s) {
    ImgInfo& img = MyDev.img[s];
    MyAcq.endPtr[s] = (s == 2 && !MyAcq.backlight) || !img.firstRow ? nullptr
                                                                    : img.firstRow + img.imageBytes;
  }
  // The records now hold the rows made from the stream: what was not settled is never read.
  pvk::core::forgetSideBuffer();
  return 1;
}

}  // namespace

uint8_t Vx3Scan_PID009_Singolo() {
  std::memset(&ParAcq, 0, sizeof ParAcq);
  streamEndedShort = false;
  InitVerificaDoppi(&MyDev.img[1]);
  stopAcq = 0;
  inviatoPktend = 0;
  uint8_t ok = 0;
  try {
    ok = scanSteps();
  } catch (const std::bad_alloc&) {
    WriteTrace("err - ", "acquisition - memory allocation failed", false);
    MyDev.lastResult = -4;
    ok = 0;
  }
  freeCoefficients();
  if (!ok || MyDev.lastResult < 0) {
    // A failed acquisition leaves its records over the whole buffer: every byte as it is due.
    pvk::core::settleSideBuffer();
    return 0;
  }
  MyDev.lastResult = 0;
  return 1;
}

uint8_t Vx3Scan_PID009() {
  ScambiaImmaginiADF();
  uint8_t ok = Vx3Scan_PID009_Singolo();
  ScambiaImmaginiADF();
  return ok;
}

void CancellaAltPixelPgm() {
  if (!MyDev.cnfDir[0]) return;
  struct dirent** list = nullptr;
  int n = scandir(MyDev.cnfDir, &list, nullptr, alphasort);
  if (n < 0) return;
  static const char* const kPatterns[] = {"AltPixel", "_OcrF.pgm", "_OcrR.pgm", "_OcrB.pgm"};
  for (int i = n - 1; i >= 0; --i) {
    const char* name = list[i]->d_name;
    for (const char* pat : kPatterns) {
      if (std::strstr(name, pat)) {
        char path[600];
        if (std::snprintf(path, sizeof path, "%s/%s", MyDev.cnfDir, name) < static_cast<int>(sizeof path))
          std::remove(path);
        break;
      }
    }
    std::free(list[i]);
  }
  std::free(list);
}
