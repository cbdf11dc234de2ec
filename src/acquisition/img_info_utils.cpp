// Utilities on a side record: reset of the trim rectangle and the copy of a side's trimmed
// colour planes into a PVKImg.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "acquisition/scanner_control.h"
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

void releaseSide(ImgInfo& src) {
  std::free(src.allocBase);
  src.allocBase = nullptr;
}

}  // namespace

bool ImgInfoToPVKImg(ImgInfo& src, PVKImg* dst) {
  if (dst == nullptr || src.firstRow == nullptr) {
    Vx3ResultSet(-3);
    return false;
  }
  const unsigned p = src.colourPlanes, q = src.planesPerLine;
  const unsigned w = src.trimWidth, h = src.rowsUsed;
  const uint32_t stride = p * ((w + 3u) & ~3u);
  // A plane line must hold the trimmed width, and all planes must fit in one raw line.
  if (p == 0 || q < p || stride > 0xFFFF || uint32_t(src.trimLeft) + w > src.planeLineBytes ||
      uint32_t(src.planeLineBytes) * q > src.rawLineBytes) {
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
