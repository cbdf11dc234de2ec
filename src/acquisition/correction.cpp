// Per-pixel correction during acquisition: gain coefficients from the white and black
// references, then (pixel - black) x gain through the side's brightness/contrast table.
#include <algorithm>
#include <cmath>
#include <cstring>

#include "acquisition/acquisition.h"
#include "core/image_utils.h"

#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PVK_TABLE_PERMUTES 1
#endif

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

#ifdef PVK_TABLE_PERMUTES
// The conversions leave their unused pass-through operand undefined, which GCC 12 reports as a
// read of an uninitialised value.
#pragma GCC diagnostic push
#if !defined(__clang__)  // a warning of GCC alone
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
// Over [from, to) of a line in place, 64 pixels a step, each gained value looked up in the table
// held in four registers: its low seven bits pick one of 128 entries in either half, its top bit
// the half. The gains are the scalar ones (a float product truncated), so are the bytes. Returns
// where it stopped: the rest of the line is shorter than a step.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) uint32_t gainThroughTable(
    uint8_t* __restrict line, const uint8_t* __restrict black, const float* __restrict coef,
    const uint8_t* __restrict lut, uint32_t from, uint32_t to) {
  const __m512i t0 = _mm512_loadu_si512(lut), t1 = _mm512_loadu_si512(lut + 64);
  const __m512i t2 = _mm512_loadu_si512(lut + 128), t3 = _mm512_loadu_si512(lut + 192);
  const __m512i zero = _mm512_setzero_si512(), top = _mm512_set1_epi32(255);
  uint32_t x = from;
  for (; to - x >= 64; x += 64) {
    __m128i quarter[4];
    for (int q = 0; q < 4; ++q) {
      const uint32_t at = x + 16 * q;
      const __m512i v = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + at)));
      const __m512i b = _mm512_cvtepu8_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(black + at)));
      const __m512 product = _mm512_mul_ps(_mm512_cvtepi32_ps(_mm512_sub_epi32(v, b)), _mm512_loadu_ps(coef + at));
      const __m512i g = _mm512_min_epi32(_mm512_max_epi32(_mm512_cvttps_epi32(product), zero), top);
      quarter[q] = _mm512_cvtepi32_epi8(g);
    }
    __m512i idx = _mm512_zextsi128_si512(quarter[0]);
    idx = _mm512_inserti32x4(idx, quarter[1], 1);
    idx = _mm512_inserti32x4(idx, quarter[2], 2);
    idx = _mm512_inserti32x4(idx, quarter[3], 3);
    const __m512i low = _mm512_permutex2var_epi8(t0, idx, t1);
    const __m512i high = _mm512_permutex2var_epi8(t2, idx, t3);
    _mm512_storeu_si512(line + x, _mm512_mask_blend_epi8(_mm512_movepi8_mask(idx), low, high));
  }
  return x;
}
#pragma GCC diagnostic pop
#endif

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
  // With neutral brightness and contrast the table is the identity and is skipped; otherwise,
  // where the processor looks bytes up in registers, gain and table in one pass; else the line
  // is gained first (a loop that vectorises), then put through the table.
  bool identity = true;
  for (int v = 0; v < 256 && identity; ++v) identity = lut[v] == v;
#ifdef PVK_TABLE_PERMUTES
  const bool inRegisters = !identity && pvk::core::processorHas(pvk::core::Cpu::BytePermutes);
#endif
  for (uint32_t r = 0; r < p.rows; ++r) {
    uint8_t* __restrict line = p.firstPixel + r * p.rowStride;
    // Lines lie a raw line apart, the other side's pixels between them: the next is asked for
    // while this one is gained, as the processor does not fetch ahead across that gap on its own.
    if (offset && r + 1 < p.rows)
      for (uint32_t x = from; x < both; x += 64) __builtin_prefetch(line + p.rowStride + x, 1);
    if (offset) {
      if (identity) {
        gainInPlace(line, p.black, p.coef, from, both);
      } else if (from < both) {
        uint32_t rest = from;
#ifdef PVK_TABLE_PERMUTES
        if (inRegisters) rest = gainThroughTable(line, p.black, p.coef, lut, from, both);
#endif
        gainInPlace(line, p.black, p.coef, rest, both);
        for (uint32_t x = rest; x < both; ++x) line[x] = lut[line[x]];
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
