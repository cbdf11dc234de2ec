// The sides of an acquired document made ready for output: which sides are used, the combined
// deskew angle, the endorsement drawn on the front, and the deskew, crop and stamp of each side
// in its own buffer, with the magnetic head's optical offset taken from the document's edge.
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "control/control.h"
#include "core/trace.h"
#include "device/device.h"
#include "device/inkjet.h"
#include "document/document.h"
#include "geometry/geometry.h"

namespace pvk::document {

namespace {

using pvk::geometry::DeskewCall;
using pvk::geometry::deskewWrapStamp;
using pvk::geometry::resizeSide;

// A side is worth finishing when it is output, read by a zone, or carries the backlight image.
bool sideUsed(const ImgInfo* sides, int s) {
  if (MyDev.outDpi[s] > 0 || MyOcr.reqDpiH[s] > 0 || MyOcr.reqDpiV[s] > 0) return true;
  return s == MyDev.backlightSide && MyAcq.backlight && sides[2].hasData;
}

bool carriesBacklight(const ImgInfo* sides, int s) {
  return s == MyDev.backlightSide && MyAcq.backlight && sides[2].hasData && sides[2].firstRow;
}

// No device of ours mirrors a side in its optics; the reverse switch turns the document over.
bool mirrorCapability(int) { return false; }

// Percent by which the head's intensity stretches the stamp across the document.
int stampScale() {
  const int intensity = MyInkjet.intensity;
  const int headDefault = MyInkjet.headIntensity;
  if (MyDev.fwVersion < 0x3100) return headDefault ? intensity * 100 / headDefault : 100;
  return headDefault && intensity ? headDefault * 100 / intensity : 100;
}

// The endorsement turned and scaled to the front side's resolution, and where it goes. The
// stamp image's buffer then belongs to `out` (free with std::free).
bool prepareStamp(const ImgInfo& side, ImgInfo& out, short& column, short& row) {
  column = row = 0;
  const PVKImg& st = MyInkjet.stamp;
  if (!MyInkjet.stampImageRequested || !st.data || !MyDev.inkjetPresent) return false;
  // A stamp still held from an earlier document is no endorsement of one the head did not print.
  if (!inkjetPrinted() || !CheckStamp()) return false;
  const int scale = stampScale();
  const int headRes = MyInkjet.headRes;
  ImgInfo src{};
  src.side = 1;
  src.colourPlanes = src.planesPerLine = 1;
  src.trimWidth = src.fullWidth = src.sensorPixels = st.width;
  src.rowsUsed = src.fullHeight = st.height;
  src.planeLineBytes = src.rawLineBytes = st.stride;
  src.dpiH = static_cast<uint16_t>(scale * headRes / 100);
  src.dpiV = static_cast<uint16_t>(headRes);
  src.firstRow = st.data;
  src.imageBytes = src.bytesAllocated = static_cast<uint64_t>(st.stride) * st.height;
  src.outputFlag = 1;

  const int width = st.width * side.dpiV / std::max(headRes, 10);
  const int height = st.height * side.dpiH / std::max(scale * headRes / 100, 10);
  const int rowBytes = (height + 7) / 8 * 8;
  if (width <= 0 || height <= 0 || width > 0xFFFF || rowBytes > 0xFFFF) {
    WriteTrace("error creating stamp", false);
    return false;
  }
  const size_t bytes = static_cast<size_t>(rowBytes) * width;
  auto* buf = static_cast<uint8_t*>(std::calloc(bytes, 1));
  if (!buf) {
    WriteTrace("error creating stamp", false);
    return false;
  }
  out = ImgInfo{};
  out.side = 1;
  out.colourPlanes = out.planesPerLine = 1;
  out.trimWidth = out.fullWidth = static_cast<uint16_t>(width);
  out.rowsUsed = out.fullHeight = static_cast<uint16_t>(height);
  out.planeLineBytes = out.rawLineBytes = static_cast<uint16_t>(rowBytes);
  out.dpiH = side.dpiV;
  out.dpiV = side.dpiH;
  out.firstRow = out.writePtr = out.allocBase = buf;
  out.imageBytes = out.bytesAllocated = bytes;
  char msg[128] = "";
  if (!resizeSide(&src, -1, &out, 0, 0, false, false, false, false, true, msg)) {
    std::free(buf);
    out = ImgInfo{};
    WriteTrace("err - ", msg, false);
    WriteTrace("error creating stamp", false);
    return false;
  }
  if (MyDev.inkjetPresent) {
    column = static_cast<short>(side.fullWidth - MyInkjet.headOffset * side.dpiH / 100);
    row = static_cast<short>(MyInkjet.stampOffset * side.dpiV / 100);
  }
  return true;
}

int32_t deskewSide(ImgInfo* sides, int s) {
  ImgInfo stamp{};
  short column = 0, row = 0;
  const bool stamped = s == 1 && prepareStamp(sides[s], stamp, column, row);
  ImgInfo* companion = carriesBacklight(sides, s) ? &sides[2] : nullptr;
  const bool mirror = mirrorCapability(s) != (MyAcq.reverse != 0);
  const bool compMirror = companion && (mirrorCapability(2) != (MyAcq.reverse != 0));
  const bool edgeFromTop = (MyMICR.reverse != 0) != !mirrorCapability(s);
  short edge = 0;
  char err[128] = "";
  char info[128] = "";
  DeskewCall call{};
  call.side = &sides[s];
  call.companion = companion;
  call.flipV = mirror;
  call.flipH = false;
  call.compFlipV = compMirror;
  call.compFlipH = false;
  call.deskewNow = MyAcq.deskew != 0;
  call.edgeOffset = &edge;
  call.edgeFromTop = edgeFromTop;
  call.errText = err;
  call.infoText = info;
  call.stamp = stamped ? &stamp : nullptr;
  call.stampColumn = column;
  call.stampRowOffset = row;
  call.enhance = true;
  call.allowRotation = false;
  const bool ok = deskewWrapStamp(call);
  std::free(stamp.allocBase);
  if (!ok) {
    WriteTrace("err - ", err, false);
    if (!companion) {
      WriteTrace("completed KO side", s, false);
      WriteTrace("GetLastError", errno, false);
    }
    return PVK_ERR_OUT_OF_MEMORY;
  }
  if (info[0]) WriteTrace(info, false);
  if (MyMICR.enabled && MyMICR.side == s) MyMICR.opticalOffset300 = opticalOffset300(edge, MyAcq.dpiV);
  sides[s].deskewAngle = 0.0f;
  sides[s].outputFlag = 1;
  if (companion) companion->outputFlag = 1;
  return 0;
}

}  // namespace

int32_t finishSides(ImgInfo* sides, bool secondPart) {
  const int order[2] = {0, 1};
  const int first = MyAcq.rearOff ? 1 : 0;
  for (int s = 0; s < kSides; ++s) PatchBordiFWOld(&sides[s]);
  sides[0].deskewAngle = sides[1].deskewAngle = kNoAngle;
  for (int i = first; i < 2; ++i) {
    const int s = order[i];
    if (!sides[s].rowsUsed || !sides[s].hasData || !sideUsed(sides, s)) continue;
    sides[s].deskewAngle = secondPart ? MyDev.imgFirstPart[s].deskewAngle : 0.0f;
    if (s == MyDev.backlightSide && MyAcq.backlight) {
      sides[2].rowsUsed = sides[s].rowsUsed;
      sides[2].trimTop = sides[s].trimTop;
      sides[2].trimLeft = sides[s].trimLeft;
      sides[2].trimWidth = sides[s].trimWidth;
    }
  }
  MyAcq.deskewSource = (!MyAcq.twoPartActive && !MyAcq.rearOff && sides[0].dpiV && sides[1].dpiV) ? 2 : 4;

  AngleInput in{};
  in.front = sides[1].deskewAngle;
  in.rear = sides[0].deskewAngle;
  in.frontWeight = sides[1].angleWeight;
  in.rearWeight = sides[0].angleWeight;
  in.micr = MyMICR.enabled != 0;
  in.deskewMicr = MyMICR.deskew != 0;
  in.micrReverse = MyMICR.reverse != 0;
  in.onePart = !MyAcq.twoPartActive;
  in.tallDocument = sides[1].rowsUsed + sides[0].rowsUsed >= sides[0].trimWidth + sides[1].trimWidth;
  combineAngles(in, sides[1].deskewAngle, sides[0].deskewAngle);
  sides[2].deskewAngle = sides[MyDev.backlightSide == 0 ? 0 : 1].deskewAngle;
  if (in.micr && in.micrReverse && sides[1].hasData) sides[0].rowsUsed = std::min(sides[0].rowsUsed, sides[1].rowsUsed);

  for (int i = first; i < 2; ++i) {
    const int s = order[i];
    if (!sides[s].rowsUsed || !sides[s].firstRow || !sideUsed(sides, s)) continue;
    const int32_t r = deskewSide(sides, s);
    if (r < 0) return r;
  }
  return 0;
}

void inkjetPrintedClear() { MyInkjet.printed = 0; }
bool inkjetPrinted() { return MyInkjet.printed != 0; }
void inkjetArmedClear() { MyInkjet.armed = 0; }

}  // namespace pvk::document
