// Utilities on a side record: reset of the trim rectangle and the copy of a side's trimmed
// colour planes into a PVKImg.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/image_utils.h"
#include "control/control.h"
#include "core/frame.h"
#include "core/results.h"
#include "core/trace.h"

void MyDevImgTrimReset(ImgInfo* img) {
  if (img == nullptr) return;
  img->trimTop = img->fullTop;
  img->trimLeft = img->fullLeft;
  img->trimWidth = img->fullWidth;
  img->rowsUsed = img->fullHeight;
}

namespace {

// Frees the side's own buffer; its rows went with it, so the record no longer points at them.
void releaseSide(ImgInfo& src) {
  if (src.allocBase == nullptr) return;
  pvk::core::releaseSideBuffer(src.allocBase);
  src.allocBase = nullptr;
  src.firstRow = src.writePtr = nullptr;
}

// Whether the rows the copy reads lie inside the side's own buffer (a view is taken as it is).
bool rowsInsideBuffer(const ImgInfo& src, unsigned p, unsigned w, unsigned h) {
  if (src.allocBase == nullptr || src.bytesAllocated == 0 || h == 0 || w == 0) return true;
  if (src.firstRow < src.allocBase) return false;
  const uint64_t start = uint64_t(src.firstRow - src.allocBase);
  const uint64_t last = start + (uint64_t(src.trimTop) + h - 1) * src.rawLineBytes + src.trimLeft +
                        uint64_t(p - 1) * src.planeLineBytes + w;
  return last <= src.bytesAllocated + src.margin;
}

}  // namespace

bool ImgInfoToPVKImg(ImgInfo& src, PVKImg* dst) {
  pvk::core::CallInProgress running;  // exported: it sets the last result
  // A C host passes the side by pointer, which may be null: its address is looked at as it
  // came, out of sight of the rule that a reference is never null.
  const void* side = &src;
  __asm__("" : "+r"(side));
  if (side == nullptr || dst == nullptr || src.firstRow == nullptr) {
    Vx3ResultSet(-3);
    return false;
  }
  const unsigned p = src.colourPlanes, q = src.planesPerLine;
  const unsigned w = src.trimWidth, h = src.rowsUsed;
  const uint32_t stride = p * ((w + 3u) & ~3u);
  // A plane line must hold the trimmed width, and all planes must fit in one raw line.
  if (p == 0 || q < p || stride > 0xFFFF || uint32_t(src.trimLeft) + w > src.planeLineBytes ||
      uint32_t(src.planeLineBytes) * q > src.rawLineBytes || !rowsInsideBuffer(src, p, w, h)) {
    Vx3ResultSet(-3);
    return false;
  }
  std::free(dst->data);
  dst->data = nullptr;
  dst->width = static_cast<uint16_t>(w);
  dst->height = static_cast<uint16_t>(h);
  dst->dpi = src.dpiH;
  dst->stride = static_cast<uint16_t>(stride);
  dst->data = static_cast<uint8_t*>(std::calloc((size_t(h) + 16) * stride + 1, 1));
  if (dst->data == nullptr) {
    WriteTrace("err - ", "NSImgInfoToPVKImg - memory allocation failed", errno, false);
    Vx3ResultSet(-4);
    dst->height = 0;
    releaseSide(src);
    return false;
  }
  const uint8_t* row = src.firstRow + size_t(src.trimTop) * src.rawLineBytes + src.trimLeft;
  const size_t slot = (w + 3u) & ~3u;
  for (unsigned y = 0; y < h; ++y, row += src.rawLineBytes) {
    uint8_t* out = dst->data + size_t(y) * stride;
    for (unsigned k = 0; k < p; ++k) std::memcpy(out + k * slot, row + size_t(k) * src.planeLineBytes, w);
  }
  releaseSide(src);
  return true;
}
