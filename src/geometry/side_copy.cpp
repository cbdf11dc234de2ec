// Copies of an acquired side: into a separate output image for the image calls, and into a
// PVKImg for the zone readers. Both scale to the asked resolution, turn by quarter turns and
// mirror through the resize; the output copy takes a plain row copy when nothing changes.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/image_utils.h"
#include "core/trace.h"
#include "geometry/geometry.h"

namespace {

using pvk::geometry::CopyGeometry;

constexpr uint16_t kOwnVendor = PVK_USB_VENDOR_ID;

// Products whose backlight image comes mirrored when the magnetic head reads the rear.
bool mirroredBacklightModel() {
  if (MyDev.vendorId != kOwnVendor) return false;
  switch (MyDev.productId) {
    case 0x0003: case 0x0004: case 0x0008: case 0x0009: case 0x000E: return true;
    default: return false;
  }
}

void failResult(int32_t code) {
  if (MyDev.lastResult > 0) MyDev.lastResult = code;
}

// An output record of the copy geometry over a new zeroed buffer; null when out of memory.
uint8_t* prepareOutput(const ImgInfo& src, const CopyGeometry& g, int planes, int dpiH, int dpiV, ImgInfo& out) {
  const size_t bytes = static_cast<size_t>(g.rawLine) * static_cast<size_t>(g.rows);
  auto* buf = static_cast<uint8_t*>(std::calloc(bytes ? bytes : 1, 1));
  if (!buf) return nullptr;
  out = ImgInfo{};
  out.side = src.side;
  out.colourPlanes = planes == 1 ? 1 : src.colourPlanes;
  out.planesPerLine = static_cast<uint8_t>(planes);
  out.trimWidth = out.fullWidth = out.fullRight = static_cast<uint16_t>(g.width);
  out.rowsUsed = out.fullHeight = static_cast<uint16_t>(g.height);
  out.sensorPixels = static_cast<uint16_t>(g.swap ? g.height : g.width);
  out.planeLineBytes = static_cast<uint16_t>(g.planeLine);
  out.rawLineBytes = static_cast<uint16_t>(g.rawLine);
  out.dpiH = static_cast<uint16_t>(dpiH);
  out.dpiV = static_cast<uint16_t>(dpiV);
  out.firstRow = out.writePtr = out.allocBase = buf;
  out.imageBytes = out.bytesAllocated = bytes;
  out.deskewAngle = kNoAngle;
  return buf;
}

bool sizesFit(const CopyGeometry& g, int planes) {
  const int64_t raw = static_cast<int64_t>(g.planeLine) * planes;
  return g.width > 0 && g.height > 0 && g.width <= 0xFFFF && g.height <= 0xFFFF && g.planeLine <= 0xFFFF &&
         raw <= 0xFFFF;
}

// Same size, no turn, no change of pixels: rows are copied plane by plane.
void plainCopy(const ImgInfo& src, ImgInfo& out) {
  const int planes = src.planesPerLine;
  for (int r = 0; r < src.rowsUsed; ++r) {
    const uint8_t* row = src.firstRow + (static_cast<size_t>(src.trimTop) + r) * src.rawLineBytes + src.trimLeft;
    for (int p = 0; p < planes; ++p)
      std::memcpy(out.firstRow + static_cast<size_t>(r) * out.rawLineBytes + static_cast<size_t>(p) * out.planeLineBytes,
                  row + static_cast<size_t>(p) * src.planeLineBytes, src.trimWidth);
  }
}

uint16_t roundUp8(int v) { return static_cast<uint16_t>((v + 7) / 8 * 8); }

}  // namespace

namespace pvk::geometry {

bool copyGeometry(const ImgInfo& src, short rotation, int dpiH, int dpiV, bool mirrorA, bool mirrorB,
                  CopyGeometry& g) {
  g = CopyGeometry{};
  g.mirrorA = mirrorA;
  g.mirrorB = mirrorB;
  switch (rotation) {
    case 0: break;
    case 256: g.swap = true; g.mirrorA = !g.mirrorA; break;
    case 768: g.swap = true; g.mirrorB = !g.mirrorB; break;
    case 512: g.mirrorA = !g.mirrorA; g.mirrorB = !g.mirrorB; break;
    default: return false;
  }
  // A side without a resolution cannot be scaled: leave the size 0 for the caller to refuse.
  if (src.dpiH == 0 || src.dpiV == 0) return true;
  const int64_t width = static_cast<int64_t>(src.trimWidth) * dpiH / src.dpiH;
  const int64_t height = static_cast<int64_t>(src.rowsUsed) * dpiV / src.dpiV;
  // A size no side record can hold stays 0 as well: cut to int it could pass for a small one.
  if (width > 0xFFFF || height > 0xFFFF) return true;
  g.width = static_cast<int>(width);
  g.height = static_cast<int>(height);
  const int rowLength = g.swap ? g.height : g.width;
  g.planeLine = roundUp8(rowLength);
  g.rawLine = g.planeLine * std::max<int>(src.planesPerLine, 1);
  g.rows = g.swap ? g.width : g.height;
  return true;
}

}  // namespace pvk::geometry

bool WrapCutCopyOut(ImgInfo src, short rotation, int dpi, short brightness, short contrast, ImgInfo& dst,
                    uint8_t, bool mirrorA, bool mirrorB) {
  if (!src.outputFlag) {
    WriteTrace("err - ", "wrap cut and copy old style", false);
    MyDev.lastResult = PVK_ERR_GENERIC;
    return false;
  }
  CopyGeometry g;
  if (!pvk::geometry::copyGeometry(src, rotation, dpi, dpi, mirrorA, mirrorB, g)) {
    WriteTrace("err - ", "unexpected rotation", false);
    return false;
  }
  const int planes = src.planesPerLine ? src.planesPerLine : 1;
  // The output record states its resolution in 16 bits.
  if (!src.firstRow || dpi <= 0 || dpi > 0xFFFF || !sizesFit(g, planes)) {
    WriteTrace("err - ", "wrap cut and copy with invalid size", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  ImgInfo out;
  uint8_t* buf = prepareOutput(src, g, planes, dpi, dpi, out);
  if (!buf) {
    WriteTrace("err - ", "allocating image buffer", false);
    MyDev.lastResult = PVK_ERR_GENERIC;
    return false;
  }
  out.hasData = out.corrected = out.outputFlag = 1;
  out.deskewApplied = 1;
  out.deskewAngle = 0.0f;

  const bool deskewOn = MyAcq.deskew != 0;
  const bool plain = src.dpiH == dpi && src.dpiV == dpi && rotation == 0 && !mirrorA && !mirrorB && brightness == 0 &&
                     contrast == 0 && !(deskewOn && !src.deskewApplied);
  bool ok = true;
  if (plain) {
    // The trimmed rectangle must lie in the side's buffer before a byte of it is copied.
    ok = pvk::geometry::planesFit(src, src.trimTop, src.trimLeft, src.rowsUsed, src.trimWidth, planes,
                                     pvk::geometry::bytesBehindFirstRow(src));
    if (ok)
      plainCopy(src, out);
    else {
      WriteTrace("err - ", "wrap cut and copy outside the image buffer", false);
      MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    }
  } else {
    short side = deskewOn ? static_cast<short>(src.side) : -1;
    bool flipB = g.mirrorB;
    if (src.side == 2) {
      side = static_cast<short>(MyDev.backlightSide);
      if (mirroredBacklightModel() && MyMICR.enabled && MyMICR.side == 0) flipB = !flipB;
    }
    char msg[128] = "";
    ok = pvk::geometry::resizeSide(&src, side, &out, brightness, contrast, false, false, g.mirrorA, flipB, g.swap, msg);
    if (!ok) WriteTrace("err - ", msg, false);
  }
  if (!ok) {
    std::free(buf);
    return false;
  }
  pvk::core::releaseSideBuffer(dst.allocBase);
  dst = out;
  return true;
}

bool WrapCutCopyIn(ImgInfo src, short rotation, int verticalDpi, int horizontalDpi, PVKImg* dst, uint8_t, bool grey,
                   bool mirrorA, bool mirrorB) {
  if (!dst) {
    WriteTrace("err - ", "wrap with null image", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  auto fail = [&](const char* text, int32_t code) {
    if (text) WriteTrace("err - ", text, false);
    if (code) failResult(code);
    std::free(dst->data);
    *dst = PVKImg{1, 0, 1, static_cast<uint16_t>(horizontalDpi), nullptr};
    return false;
  };
  if (!src.outputFlag) return fail("wrap with rotation not supported - image not elaborated", PVK_ERR_GENERIC);
  if (src.trimWidth == 0 || src.rowsUsed == 0) return fail("wrap with zero h or w image", PVK_ERR_INV_PARAMETER);
  CopyGeometry g;
  if (!pvk::geometry::copyGeometry(src, rotation, horizontalDpi, verticalDpi, mirrorA, mirrorB, g))
    return fail("unexpected rotation", 0);
  const bool fold = grey && src.colourPlanes == 3;
  const int planes = fold ? 1 : (src.planesPerLine ? src.planesPerLine : 1);
  g.rawLine = g.planeLine * planes;
  if (!src.firstRow || horizontalDpi <= 0 || verticalDpi <= 0 || horizontalDpi > 0xFFFF || verticalDpi > 0xFFFF ||
      g.rawLine == 0 || g.rows == 0)
    return fail("wrap with zero output size", PVK_ERR_INV_PARAMETER);
  if (!sizesFit(g, planes)) return fail("wrap with zero output size", PVK_ERR_INV_PARAMETER);

  ImgInfo out;
  uint8_t* buf = prepareOutput(src, g, planes, horizontalDpi, verticalDpi, out);
  if (!buf) return fail("allocating image buffer", PVK_ERR_GENERIC);
  char msg[128] = "";
  // The reverse order of the grey fold is a per-side capability no device of ours has.
  if (!pvk::geometry::resizeSide(&src, -1, &out, 0, 0, fold, false, g.mirrorA, g.mirrorB, g.swap, msg)) {
    std::free(buf);
    WriteTrace("err - ", msg, false);
    return fail(nullptr, 0);
  }
  std::free(dst->data);
  dst->width = out.trimWidth;
  dst->height = out.rowsUsed;
  dst->stride = static_cast<uint16_t>(g.rawLine);
  dst->dpi = static_cast<uint16_t>(horizontalDpi);
  dst->data = buf;
  return true;
}
