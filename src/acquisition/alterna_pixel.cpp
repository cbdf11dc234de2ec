// The separation of one acquisition's stream, by layout, over the front record's buffer: the
// stream-shift and noise state lives for one acquisition only, so that a shift found in one
// document never displaces the next.
#include <algorithm>
#include <cstdint>

#include "acquisition/acquisition.h"
#include "core/trace.h"

namespace {

using namespace pvk::acquisition;

// The running acquisition's shift offset, previous lines and options.
SeparationState acq;

StreamGeometry geometryOf(const ImgInfo& front, StreamLayout layout, bool micr) {
  StreamGeometry g{};
  g.layout = layout;
  g.sensorPixels = front.sensorPixels;
  g.planes = std::max<uint32_t>(1, MyAcq.planesPerLine);
  g.micrPerSlot = micr ? MyMICR.samplesPer3Px : 0;
  g.micrInBacklight = micr;
  g.trimWidth = front.trimWidth;
  return g;
}

uint64_t outputRoom(const ImgInfo& front, uint64_t outOffset) {
  if (!front.allocBase || !front.bytesAllocated) return UINT64_MAX / 2;
  const uint8_t* end = front.allocBase + front.bytesAllocated;
  const uint8_t* at = front.firstRow + outOffset;
  return at < end ? static_cast<uint64_t>(end - at) : 0;
}

// Runs one layout; false (traced, last result -1) when the records and the stream disagree.
bool run(ImgInfo* front, StreamLayout layout, bool micr, uint64_t& outOffset, uint64_t& inOffset,
         uint64_t lines, uint64_t rawLineLength, uint64_t inBytes) {
  if (!front || !front->firstRow || !front->writePtr) return false;
  StreamGeometry g = geometryOf(*front, layout, micr);
  if (g.outRowBytes() != front->rawLineBytes || g.rawLineBytes() != rawLineLength) {
    WriteTrace("err - ", "correction with invalid LineStep", front->rawLineBytes, false);
    MyDev.lastResult = -1;
    return false;
  }
  MicrSink sink{&MyMICR.samples, &MyMICR.nSamples, &MyMICR.sampleBytes};
  uint64_t done = separateStream(g, acq, front->writePtr + inOffset, inBytes,
                                 front->firstRow + outOffset, outputRoom(*front, outOffset),
                                 lines, &sink);
  inOffset += done * rawLineLength;
  outOffset += done * g.outRowBytes();
  return true;
}

}  // namespace

void AlternaPixel(ImgInfo* front, uint64_t& offset, uint64_t bytes) {
  if (!front || front->rawLineBytes == 0) return;
  uint64_t in = offset, out = offset;
  run(front, StreamLayout::Plain, false, out, in, bytes / front->rawLineBytes,
      front->rawLineBytes, bytes);
  offset = in;
}

void AlternaPixelCMC7(ImgInfo* front, uint64_t& outOffset, uint64_t& inOffset, uint64_t lines,
                      uint64_t rawLineLength) {
  if (!front) return;
  StreamLayout layout = layoutFor(true, false, MyDev.fwVersion, MyDev.productId);
  if (layout == StreamLayout::MicrOlder) AcqDefault.swNoise = acq.swNoise = false;
  run(front, layout, true, outOffset, inOffset, lines, rawLineLength, lines * rawLineLength);
}

void AlternaPixelCMC7RetroIll(ImgInfo* front, uint64_t& outOffset, uint64_t& inOffset,
                              uint64_t lines, uint64_t rawLineLength, bool micr) {
  run(front, StreamLayout::Backlight, micr, outOffset, inOffset, lines, rawLineLength,
      lines * rawLineLength);
}

namespace pvk::acquisition {

int64_t separateCurrent(uint64_t bytes) {
  ImgInfo& front = MyDev.img[1];
  if (front.rawLineBytes < 64) {
    WriteTrace("err - ", "correction with invalid LineStep", front.rawLineBytes, false);
    MyDev.lastResult = -1;
    return -1;
  }
  acq = SeparationState{};
  acq.aligner = MyDev.magAlign != 0;  // the line aligner marks each slot
  acq.swGlitch = AcqDefault.swGlitch != 0;
  acq.swNoise = AcqDefault.swNoise != 0;
  acq.normalDocument = !MyAcq.paperMove && !MyAcq.paperMove2 && !MyAcq.calibrating;
  acq.dpiH = front.dpiH;
  acq.productId = MyDev.productId;
  acq.trimTop = front.trimTop;
  const int32_t lastResult = MyDev.lastResult;
  MyDev.lastResult = 0;
  uint64_t outOffset = 0, inOffset = 0;
  if (MyMICR.enabled) {
    const uint64_t rawLine = front.rawLineBytes + static_cast<uint64_t>(MyMICR.extraBytes);
    const uint64_t lines = bytes / rawLine;
    if (MyAcq.backlight) AlternaPixelCMC7RetroIll(&front, outOffset, inOffset, lines, rawLine, true);
    else AlternaPixelCMC7(&front, outOffset, inOffset, lines, rawLine);
  } else if (MyAcq.backlight) {
    AlternaPixelCMC7RetroIll(&front, outOffset, inOffset, bytes / front.rawLineBytes,
                             front.rawLineBytes, false);
  } else {
    AlternaPixel(&front, outOffset, bytes);
  }
  if (MyDev.lastResult < 0) return -1;
  MyDev.lastResult = lastResult;
  return static_cast<int64_t>(outOffset / front.rawLineBytes);
}

}  // namespace pvk::acquisition
