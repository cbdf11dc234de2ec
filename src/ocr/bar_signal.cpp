// Bar signals for the barcode and PDF417 readers: the cleaned, inverted copy of a zone, the
// one-dimensional edge signal of a scan band, and bar widths turned into whole module counts.
#include <emmintrin.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

#include "core/image_utils.h"
#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace {

// For every column x, the largest sum of n vertically consecutive grey values of rows 0..h-1
// (n <= h), into best[x]. Walked line by line, which the cache takes far better than column by
// column.
void largestColumnRuns(const PVKImg* img, int n, std::vector<int>& best) {
  const int w = img->width, h = img->height;
  std::vector<int> sum(w, 0);
  auto line = [img](int y) { return img->data + static_cast<size_t>(y) * img->stride; };
  for (int y = 0; y < n; ++y) {
    const uint8_t* p = line(y);
    for (int x = 0; x < w; ++x) sum[x] += p[x];
  }
  best = sum;
  for (int y = n; y < h; ++y) {
    const uint8_t* in = line(y);
    const uint8_t* out = line(y - n);
    for (int x = 0; x < w; ++x) {
      sum[x] += in[x] - out[x];
      best[x] = std::max(best[x], sum[x]);
    }
  }
}

int rowsToUse(const PVKImg* img, int rows) { return rows >= 1 && rows <= img->height ? rows : img->height; }

bool usable(const PVKImg* img) {
  return img && img->data && img->width > 0 && img->height > 0 && img->stride >= img->width;
}

// One run of samples on one side of the level: its extreme and where the extreme first and
// last occurs.
struct Run {
  int value;
  int first;
  int last;
};

}  // namespace

bool normalizzaBarcode(PVKImg* band, int* signal, int* out, int rows) {
  if (!usable(band) || !signal || !out) return false;
  int w = band->width, n = rowsToUse(band, rows), s = 2 * w;
  std::vector<int> runs;
  largestColumnRuns(band, n, runs);
  for (int x = 0; x < w; ++x) signal[2 * x] = signal[2 * x + 1] = runs[x] / 128;
  signal[s - 1] = 0;
  std::memset(out, 0, sizeof(int) * s);

  long long sum = 0;
  for (int i = 0; i < s; ++i) sum += signal[i];
  int m = static_cast<int>(sum / s);
  int hi = std::min(n / 2, std::max(m, 8));
  int q = m / 4;
  int lo = std::min(n / 3, std::max(m - q, 4));
  int cap = std::min(2 * n / 3, std::max(m + q, 12));

  // Alternate valleys (at or below hi) and peaks (above it); an edge lies midway between the
  // last extreme of one run and the first extreme of the next.
  bool havePrev = false;
  Run prev{};
  bool prevPeak = false;
  for (int i = 0; i < s;) {
    bool peak = signal[i] > hi;
    Run r{peak ? std::min(signal[i], cap) : std::max(signal[i], lo), i, i};
    int j = i;
    for (; j < s && (signal[j] > hi) == peak; ++j) {
      int v = peak ? std::min(signal[j], cap) : std::max(signal[j], lo);
      if (peak ? v > r.value : v < r.value) r = {v, j, j};
      else if (v == r.value) r.last = j;
    }
    if (havePrev && prevPeak != peak) {
      int pos = (prev.last + r.first) / 2;
      if (pos > 0 && pos < s - 1) out[pos] = r.value - prev.value;
    }
    prev = r;
    prevPeak = peak;
    havePrev = true;
    i = j;
  }
  out[s - 1] = 0;
  return true;
}

bool normalizza(PVKImg* band, int* signal, int* work, int* out, int rows) {
  if (!usable(band) || !signal || !work || !out) return false;
  int w = band->width, n = rowsToUse(band, rows), s = 2 * w;
  int shift = 0;
  for (int reach = 16; reach < n; reach *= 2) ++shift;
  std::vector<int> v;
  largestColumnRuns(band, n, v);
  for (int x = 0; x < w; ++x) v[x] >>= shift;
  for (int x = 0; x + 1 < w; ++x) {
    signal[2 * x] = 2 * v[x];
    signal[2 * x + 1] = v[x] + v[x + 1];
  }
  signal[s - 2] = 2 * v[w - 1];
  signal[s - 1] = 0;
  std::memset(out, 0, sizeof(int) * s);
  std::memset(work, 0, sizeof(int) * s);

  long long sum = 0;
  for (int i = 0; i < s; ++i) sum += signal[i];
  int m = static_cast<int>(sum / s);
  int d = std::min(std::max(m / 16, 8), 64);
  int low = m / 4;

  // Edge scan: from a start value, over equal and faint samples, to the next different one;
  // the next scan starts from the value where this one stopped, with the sample right after
  // it: skipping that one loses the rising edge after a one-pixel space and moves the falling
  // edges half a pixel early.
  int lastEdge = -1;
  int start = 0, sv = signal[0], i = 1;
  while (i < s) {
    while (i < s && (signal[i] == sv || signal[i] < low)) {
      if (signal[i] == sv) start = i;
      ++i;
    }
    if (i >= s) break;
    int delta = signal[i] - sv, len = std::max(i - start, 1);
    if (delta > d || delta < -d) {
      int strength = 4 * delta / len;
      if (lastEdge >= 0 && (out[lastEdge] > 0) == (strength > 0)) {
        // Two edges of one sign in a row: the weaker goes.
        if (std::abs(strength) > std::abs(out[lastEdge])) {
          out[lastEdge] = 0;
          out[start] = strength;
          lastEdge = start;
        }
      } else {
        out[start] = strength;
        lastEdge = start;
      }
    }
    start = i;
    sv = signal[i];
    i += 1;
  }

  long long tot = 0;
  int cnt = 0;
  for (int i = 0; i < s; ++i)
    if (out[i]) tot += std::min(std::abs(out[i]), 500), ++cnt;
  int a = cnt ? static_cast<int>(tot / cnt) : 0;
  int floorLevel = a < 60 ? 10 : a / 6;
  for (int i = 0; i < s; ++i)
    if (out[i] && std::abs(out[i]) <= floorLevel) out[i] = 0;
  return true;
}

float NormalizzaValore(calcModstr* m, int total, int modules) {
  if (!m) return 0;
  if (modules == 0) {
    WriteTrace("war - ", "normalization with invalid parameter", false);
    return 0;
  }
  float u = std::max(static_cast<float>(total) / modules, 0.5f);
  float largest = 0;
  uint32_t n = std::min<uint32_t>(m->count, kCalcModMax);
  for (uint32_t i = 1; i <= n; ++i) {
    float x = m->e[i].value / u;
    m->e[i].value = static_cast<uint32_t>(x + 0.5f);
    m->e[i].residual = x - static_cast<float>(m->e[i].value);
    largest = std::max(largest, m->e[i].residual);
  }
  return largest;
}

bool correggiMod(calcModstr* m, unsigned ties) {
  if (!m) return false;
  int chosen = 0;
  float best = 0;
  unsigned seen = 0;
  uint32_t n = std::min<uint32_t>(m->count, kCalcModMax);
  for (uint32_t i = 1; i <= n; ++i) {
    float a = std::fabs(m->e[i].residual);
    if (a <= 0.2f) continue;
    if (!chosen || a > best) {
      chosen = static_cast<int>(i);
      best = a;
      seen = 0;
    } else if (a == best) {
      ++seen;
      if (ties > 0) chosen = static_cast<int>(i);
    }
  }
  if (!chosen || ties > seen) return false;
  calcModEntry& e = m->e[chosen];
  if (e.residual > 0) ++e.value;
  else if (e.value > 0) --e.value;
  e.residual = 0;
  return true;
}

namespace {

// The running sums of an inverted row: sums[x + 1] = sums[x] + 255 - row[x], sums[0] = 0. Sixteen
// pixels at a time: their sums within the group in 16-bit lanes (at most 16 x 255), then widened
// and carried on from the groups before.
void invertedRunningSums(const uint8_t* row, int w, int* sums) {
  const __m128i allOnes = _mm_set1_epi8(-1), zero = _mm_setzero_si128();
  auto within = [](__m128i v) {
    v = _mm_add_epi16(v, _mm_slli_si128(v, 2));
    v = _mm_add_epi16(v, _mm_slli_si128(v, 4));
    return _mm_add_epi16(v, _mm_slli_si128(v, 8));
  };
  sums[0] = 0;
  int x = 0, carried = 0;
  for (; x + 16 <= w; x += 16) {
    const __m128i inverted = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), allOnes);
    const __m128i lo = within(_mm_unpacklo_epi8(inverted, zero));
    const __m128i hi = _mm_add_epi16(within(_mm_unpackhi_epi8(inverted, zero)),
                                     _mm_set1_epi16(static_cast<int16_t>(_mm_extract_epi16(lo, 7))));
    const __m128i base = _mm_set1_epi32(carried);
    __m128i* out = reinterpret_cast<__m128i*>(sums + x + 1);
    _mm_storeu_si128(out, _mm_add_epi32(base, _mm_unpacklo_epi16(lo, zero)));
    _mm_storeu_si128(out + 1, _mm_add_epi32(base, _mm_unpackhi_epi16(lo, zero)));
    _mm_storeu_si128(out + 2, _mm_add_epi32(base, _mm_unpacklo_epi16(hi, zero)));
    _mm_storeu_si128(out + 3, _mm_add_epi32(base, _mm_unpackhi_epi16(hi, zero)));
    carried += _mm_extract_epi16(hi, 7);
  }
  for (; x < w; ++x) sums[x + 1] = carried += 255 - row[x];
}

// The largest sum of `length` neighbouring pixels of a row, from its running sums.
int largestStretch(const int* sums, int w, int length) {
  int best = 0;
  for (int x = 0; x + length <= w; ++x) best = std::max(best, sums[x + length] - sums[x]);
  return best;
}

// The inverted grey less b, times the gain, cut to a byte: written out rather than looked up,
// so that it runs over many pixels at a time.
void stretchRow(const uint8_t* s, uint8_t* d, int w, int b, float gain) {
  for (int x = 0; x < w; ++x)
    d[x] = static_cast<uint8_t>(std::clamp(static_cast<int>(static_cast<float>(255 - s[x] - b) * gain), 0, 255));
}

// The same two with the processor's 256-bit vectors: the same operations on eight lanes.
__attribute__((target("avx2"))) int largestStretchEight(const int* sums, int w, int length) {
  int best = 0;
  for (int x = 0; x + length <= w; ++x) best = std::max(best, sums[x + length] - sums[x]);
  return best;
}

__attribute__((target("avx2"))) void stretchRowEight(const uint8_t* s, uint8_t* d, int w, int b, float gain) {
  for (int x = 0; x < w; ++x)
    d[x] = static_cast<uint8_t>(std::clamp(static_cast<int>(static_cast<float>(255 - s[x] - b) * gain), 0, 255));
}

}  // namespace

bool pulisci(PVKImg* src, PVKImg* dst, int offset) {
  if (!src || !dst || !src->data || src->stride < src->width) {
    WriteTrace("err - ", "pulisci - invalid image", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  // A width of 65533 or more has no stride raised to a multiple of 4 in 16 bits.
  if (src->width > 65532) {
    WriteTrace("err - ", "pulisci - image too wide", src->width, false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  int w = src->width, h = src->height;
  dst->width = src->width;
  dst->height = src->height;
  dst->dpi = src->dpi;
  dst->stride = static_cast<uint16_t>((w + 3) & ~3);
  dst->data = nullptr;
  if (h < 8) {
    MyDev.lastResult = 0;
    return false;
  }
  dst->data = static_cast<uint8_t*>(std::calloc(static_cast<size_t>(h + 16) * dst->stride, 1));
  if (!dst->data) {
    WriteTrace("err - ", "Allocation failed", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    return false;
  }
  int* rowMean = static_cast<int*>(std::calloc(h + 16, sizeof(int)));
  int* rowPeak = static_cast<int*>(std::calloc(h + 16, sizeof(int)));
  int* prefix = static_cast<int*>(std::malloc((static_cast<size_t>(w) + 1) * sizeof(int)));
  if (!rowMean || !rowPeak || !prefix) {
    WriteTrace("err - ", "pulisci - memory allocation failed in cleaning image - 2", static_cast<int>(GetLastError()),
               false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    std::free(rowMean);
    std::free(rowPeak);
    std::free(prefix);
    std::free(dst->data);
    dst->data = nullptr;
    return false;
  }

  // Each row's mean ink and its most inked stretch of L pixels, from the running sums of the
  // inverted row: the stretches' sums are then differences, taken all at once.
  int L = std::min(w, 128);
  const bool eight = pvk::core::processorHas(pvk::core::Cpu::EightLanes);
  long long meanSum = 0;
  for (int y = 0; y < h - 1; ++y) {
    const uint8_t* s = src->data + static_cast<size_t>(y) * src->stride;
    invertedRunningSums(s, w, prefix);
    rowMean[y] = prefix[w] / w;
    meanSum += rowMean[y];
    rowPeak[y] = (eight ? largestStretchEight(prefix, w, L) : largestStretch(prefix, w, L)) / (8 * L);
  }
  std::free(prefix);
  int mean = std::clamp(static_cast<int>(meanSum / (h - 1)), 0, 255);
  int K = h > 11 ? 8 : h - 4;
  int S = 0, run = 0;
  for (int y = 0; y < h - 1; ++y) {
    run += rowPeak[y] - (y >= K ? rowPeak[y - K] : 0);
    if (y >= K - 1) S = std::max(S, run);
  }
  float gain = 510.0f / static_cast<float>(S + 255);
  int b = std::clamp(mean + offset, 20, 230);
  for (int y = 0; y < h - 1; ++y) {
    const uint8_t* s = src->data + static_cast<size_t>(y) * src->stride;
    uint8_t* d = dst->data + static_cast<size_t>(y) * dst->stride;
    if (eight) stretchRowEight(s, d, w, b, gain);
    else stretchRow(s, d, w, b, gain);
  }
  std::free(rowMean);
  std::free(rowPeak);
  MyDev.lastResult = 0;
  return true;
}

void CalcolaBlackWhite(PVKImg* img, uint8_t& black, uint8_t& white) {
  black = 0;
  white = 255;
  if (!usable(img) || img->width < 12 || img->width > 4096 || img->height < 12) return;
  int w = img->width, h = img->height;
  // Column sums of three rows, then three of them side by side.
  std::vector<int> col(w);
  int lo = 9 * 255 + 1, hi = -1;
  for (int y = 0; y + 2 < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const uint8_t* p = img->data + static_cast<size_t>(y) * img->stride + x;
      col[x] = p[0] + p[img->stride] + p[2 * static_cast<size_t>(img->stride)];
    }
    for (int x = 0; x + 2 < w; ++x) {
      int s = col[x] + col[x + 1] + col[x + 2];
      lo = std::min(lo, s);
      hi = std::max(hi, s);
    }
  }
  black = static_cast<uint8_t>(lo / 9);
  white = static_cast<uint8_t>(hi / 9);
}
