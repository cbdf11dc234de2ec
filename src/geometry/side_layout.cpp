// Bounds of side buffers and the small shared pieces of the geometry calls, with their
// process-wide data: the pending deskew of each side and the debug switch.
#include "geometry/geometry.h"

#include <cstring>

PVKDeskewEntry PVKPendingDeskew[2];
unsigned char debugOn = 0;

namespace pvk::geometry {

uint64_t bytesBehindFirstRow(const ImgInfo& img) {
  if (img.firstRow == nullptr) return 0;
  if (img.allocBase != nullptr) {
    if (img.firstRow < img.allocBase) return 0;
    uint64_t offset = static_cast<uint64_t>(img.firstRow - img.allocBase);
    return offset >= img.bytesAllocated ? 0 : img.bytesAllocated - offset;
  }
  return img.bytesAllocated != 0 ? img.bytesAllocated : img.imageBytes;
}

bool planesFit(const ImgInfo& img, uint64_t top, uint64_t left, uint64_t rows, uint64_t cols,
               uint64_t planes, uint64_t capacity) {
  if (rows == 0 || cols == 0 || planes == 0) return true;
  if (planes > 1 && left + cols > img.planeLineBytes) return false;  // would spill into the next plane
  if (planes == 1 && img.rawLineBytes != 0 && left + cols > img.rawLineBytes) return false;
  uint64_t last = (top + rows - 1) * img.rawLineBytes + left + (planes - 1) * img.planeLineBytes + cols;
  return last <= capacity;
}

bool deskewPending(int side) {
  if (side != 0 && side != 1) return false;
  const PVKDeskewEntry& e = PVKPendingDeskew[side];
  bool cornerSet = e.ImgAcqDstBox[2][0] != 0.0f || e.ImgAcqDstBox[2][1] != 0.0f;
  return cornerSet && e.ImgAcqSrcWidht != 0 && e.ImgAcqSrcHeight != 0;
}

void putText(char* buf, const char* text, size_t size) {
  if (buf == nullptr || size == 0) return;
  std::strncpy(buf, text, size - 1);
  buf[size - 1] = '\0';
}

}  // namespace pvk::geometry
