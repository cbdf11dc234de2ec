// Per-pixel correction during acquisition: gain coefficients from the white and black
// references, then (pixel - black) x gain through the side's brightness/contrast table.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "acquisition/acquisition.h"

namespace pvk::acquisition {

void fillGains(float* coef, uint32_t count, uint32_t width, const uint8_t* white,
               const uint8_t* black, uint32_t refBytes, float numerator) {
  // References shorter than the image, or missing, give a neutral gain.
  uint32_t usable = (white && black) ? std::min({width, count, refBytes}) : 0;
  for (uint32_t x = 0; x < usable; ++x) {
    int d = static_cast<int>(white[x]) - static_cast<int>(black[x]);
    coef[x] = d > 25 ? numerator / static_cast<float>(d) : (d >= 1 ? 10.0f : 1.0f);
  }
  for (uint32_t x = usable; x < count; ++x) coef[x] = 1.0f;
}

namespace {

// (pixel - black) x gain, truncated toward zero and held to 0..255. Exact in floats (a small
// integer times a float, then truncated), so the wider vectors of a processor that has them
// give the same bytes as the narrow ones.
inline uint8_t gained(uint8_t v, uint8_t black, float coef) {
  int iv = static_cast<int>(static_cast<float>(static_cast<int>(v) - black) * coef);
  return static_cast<uint8_t>(iv <= 0 ? 0 : (iv >= 255 ? 255 : iv));
}

// The clones are chosen by an ifunc resolver while the library is being relocated, before a
// ThreadSanitizer runtime is ready to run instrumented code: that build keeps one version.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define PVK_WIDE_VECTORS __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define PVK_WIDE_VECTORS
#endif

// Over [from, to) of a line, in place.
PVK_WIDE_VECTORS void gainInPlace(uint8_t* __restrict line, const uint8_t* __restrict black,
                                  const float* __restrict coef, uint32_t from, uint32_t to) {
  for (uint32_t x = from; x < to; ++x) line[x] = gained(line[x], black[x], coef[x]);
}

// Over [from, to) of a line, into another.
PVK_WIDE_VECTORS void gainInto(const uint8_t* __restrict line, uint8_t* __restrict out,
                               const uint8_t* __restrict black, const float* __restrict coef,
                               uint32_t from, uint32_t to) {
  for (uint32_t x = from; x < to; ++x) out[x] = gained(line[x], black[x], coef[x]);
}

}  // namespace

void correctPlane(const CorrectionPlane& p, bool correct) {
  const uint32_t from = std::min(p.trimLeft, p.sensorPixels);
  const uint32_t to = std::min(p.trimLeft + p.trimWidth, p.sensorPixels);
  const uint32_t borderFrom = std::min(p.fullWidth + p.trimLeft, p.sensorPixels);
  const bool offset = correct && p.black;
  // Inside both references the full formula; beyond them the pixel passes with black 0 and
  // gain 1 (or the gain alone where only the black reference is short).
  const uint32_t both = std::max(from, std::min({to, p.blackBytes, p.coef ? p.coefCount : 0u}));
  const uint8_t* __restrict lut = p.lut;
  // With neutral brightness and contrast the table is the identity and is skipped; otherwise
  // the gains go into a line of their own first (a loop that vectorises), then through it.
  bool identity = true;
  for (int v = 0; v < 256 && identity; ++v) identity = lut[v] == v;
  std::vector<uint8_t> gains(identity || !offset ? 0 : both);
  for (uint32_t r = 0; r < p.rows; ++r) {
    uint8_t* __restrict line = p.firstPixel + r * p.rowStride;
    if (offset) {
      if (identity) {
        gainInPlace(line, p.black, p.coef, from, both);
      } else if (from < both) {
        gainInto(line, gains.data(), p.black, p.coef, from, both);
        for (uint32_t x = from; x < both; ++x) line[x] = lut[gains[x]];
      }
      for (uint32_t x = both; x < to; ++x) {
        const uint8_t b = x < p.blackBytes ? p.black[x] : 0;
        const float gain = p.coef && x < p.coefCount ? p.coef[x] : 1.0f;
        line[x] = lut[gained(line[x], b, gain)];
      }
    }
    std::memset(line, 10, from);
    if (borderFrom < p.sensorPixels) std::memset(line + borderFrom, 10, p.sensorPixels - borderFrom);
  }
}

void mirrorPlane(uint8_t* firstPixel, size_t rowStride, uint32_t rows, uint32_t width) {
  for (uint32_t r = 0; r < rows; ++r) {
    uint8_t* line = firstPixel + r * rowStride;
    std::reverse(line, line + width);
  }
}

}  // namespace pvk::acquisition
