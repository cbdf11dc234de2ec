// Plane copies between the raw side layout and single-plane working images, with the
// brightness/contrast table; every hand-over to the image-processing library goes through here.
#include "geometry/geometry.h"

#include <algorithm>
#include <cstring>

#include "core/trace.h"

void BrightnessContrastEval(short brightness, short contrast, unsigned char* table) {
  if (table == nullptr) return;
  for (int v = 0; v < 256; ++v) {
    // The shift is arithmetic on purpose: dark values round toward minus infinity.
    int32_t spread = (static_cast<int32_t>(contrast) * (v - 128)) >> 7;
    int32_t out = v + brightness + spread;
    table[v] = static_cast<unsigned char>(std::clamp(out, 0, 255));
  }
}

void CopiaDati1ColoreA(const unsigned char* src, int srcStride, const unsigned char* dst, int dstStride,
                       short brightness, short contrast, int rows, int cols) {
  if (rows < 1 || cols < 1 || src == nullptr || dst == nullptr) return;
  auto* out = const_cast<unsigned char*>(dst);
  if (brightness == 0 && contrast == 0) {
    for (int r = 0; r < rows; ++r)
      std::memcpy(out + static_cast<ptrdiff_t>(r) * dstStride, src + static_cast<ptrdiff_t>(r) * srcStride,
                  static_cast<size_t>(cols));
    return;
  }
  unsigned char table[256];
  BrightnessContrastEval(brightness, contrast, table);
  for (int r = 0; r < rows; ++r) {
    const unsigned char* s = src + static_cast<ptrdiff_t>(r) * srcStride;
    unsigned char* d = out + static_cast<ptrdiff_t>(r) * dstStride;
    for (int c = 0; c < cols; ++c) d[c] = table[s[c]];
  }
}

void CopiaDati1Colore(const unsigned char* src, int srcStride, const unsigned char* dst, int dstStride,
                      int rows, int cols) {
  if (dst == nullptr) {
    WriteTrace("Copy with NULL pointer", false);
    return;
  }
  CopiaDati1ColoreA(src, srcStride, dst, dstStride, 0, 0, rows, cols);
}

void CopiaDati1ColoreTranspose(const unsigned char* src, int srcStride, unsigned char* dst, int dstStride,
                               int rows, int cols) {
  if (rows < 1 || cols < 1 || src == nullptr || dst == nullptr) return;
  for (int r = 0; r < rows; ++r)
    std::memcpy(dst + static_cast<ptrdiff_t>(r) * dstStride, src + static_cast<ptrdiff_t>(r) * srcStride,
                static_cast<size_t>(cols));
}

namespace {

// One output byte per pixel from the pixel's three colour values; the planes of a row lie
// planeStride bytes apart.
template <class Combine>
void combineThreePlanes(const unsigned char* src, int rowStride, int planeStride, unsigned char* dst,
                        int dstStride, int rows, int cols, Combine combine) {
  if (rows < 1 || cols < 1 || src == nullptr || dst == nullptr) return;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* p0 = src + static_cast<ptrdiff_t>(r) * rowStride;
    const unsigned char* p1 = p0 + planeStride;
    const unsigned char* p2 = p1 + planeStride;
    unsigned char* d = dst + static_cast<ptrdiff_t>(r) * dstStride;
    for (int c = 0; c < cols; ++c) d[c] = combine(p0[c], p1[c], p2[c]);
  }
}

}  // namespace

void CopiaDatiColoreChiaro(const unsigned char* src, int rowStride, int planeStride, unsigned char* dst,
                           int dstStride, int rows, int cols) {
  combineThreePlanes(src, rowStride, planeStride, dst, dstStride, rows, cols,
                     [](unsigned char a, unsigned char b, unsigned char c) { return std::max({a, b, c}); });
}

void CopiaDati3ColoriMean(const unsigned char* src, int planeStride, int rowStride, unsigned char* dst,
                          int dstStride, int rows, int cols) {
  combineThreePlanes(src, rowStride, planeStride, dst, dstStride, rows, cols,
                     [](unsigned char a, unsigned char b, unsigned char c) {
                       return static_cast<unsigned char>((a + b + c) / 3);
                     });
}

void CopiaDatiColori(const unsigned char* src, int planeStride, int rowStride, unsigned char* dst,
                     int dstStride, int rows, int cols, int planes, bool reverse) {
  if (rows < 1 || cols < 1 || planes < 1 || src == nullptr || dst == nullptr) return;
  unsigned char* d = dst;
  for (int r = 0; r < rows; ++r) {
    const unsigned char* row = src + static_cast<ptrdiff_t>(r) * rowStride;
    for (int i = 0; i < planes; ++i) {
      // Reverse starts from the third plane (B of R, G, B) and walks down.
      int p = reverse ? (2 - i) : i;
      if (p < 0) p += planes;
      std::memcpy(d, row + static_cast<ptrdiff_t>(p) * planeStride, static_cast<size_t>(cols));
      d += dstStride;
    }
  }
}
