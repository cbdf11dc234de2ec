// Binarisation of a grey zone image into the engine's one-bit working image at one threshold:
// a pixel is black when a small neighbourhood of it is dark enough, the neighbourhood chosen per
// font so that thin E13B strokes and microperforation dots survive; then the runs touching the
// side margins are erased and, on request, long horizontal rules are removed.
#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

uint32_t* BWImg = nullptr;

namespace {

size_t bwCapacity = 0;  // values BWImg holds

// Keeps the buffer when it is large enough for this image, else replaces it; a kept buffer is
// cleared when clear is set.
bool prepareBuffer(size_t values, bool clear) {
  if (BWImg == nullptr) bwCapacity = 0;
  if (BWImg != nullptr && values <= bwCapacity) {
    if (clear) std::memset(BWImg, 0, values * sizeof *BWImg);
    return true;
  }
  std::free(BWImg);
  bwCapacity = values > 0 ? values : 1;
  BWImg = static_cast<uint32_t*>(std::calloc(bwCapacity, sizeof *BWImg));
  if (BWImg != nullptr) return true;
  bwCapacity = 0;
  WriteTrace("err - ", "Convolution", static_cast<int>(GetLastError()), false);
  MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
  return false;
}

struct Sums {
  unsigned T, twoFifths, threeFifths, fourFifths;
};

// The clones are chosen by an ifunc resolver while the library is being relocated, before a
// ThreadSanitizer runtime is ready to run instrumented code: that build keeps one version.
#if defined(__x86_64__) && defined(__GNUC__) && !defined(__clang__) && !defined(__SANITIZE_THREAD__)
#define PVK_WIDE_VECTORS __attribute__((target_clones("arch=x86-64-v4", "avx2", "default")))
#else
#define PVK_WIDE_VECTORS
#endif

// A limit for sums of at most nine bytes, in 16 bits: above 2295 every sum passes it alike.
uint16_t sumLimit(unsigned limit) { return static_cast<uint16_t>(limit < 4096 ? limit : 4096); }

// One row of pixels x = from .. to, each 1 when black, else 0. The tests are sums of whole
// bytes, so every width of vector gives the same pixels; the sums, at most nine bytes, are
// worked out in 16-bit lanes, twice as many to a vector.
PVK_WIDE_VECTORS void textRow(const uint8_t* __restrict up, const uint8_t* __restrict mid,
                              const uint8_t* __restrict down, uint32_t* __restrict row, int from, int to,
                              uint16_t twoFifths, uint16_t limitH, uint16_t T) {
  for (int x = from; x <= to; ++x) {
    const auto v = static_cast<uint16_t>(up[x] + mid[x] + down[x]);
    const auto h = static_cast<uint16_t>(mid[x - 1] + mid[x] + mid[x + 1]);
    const auto around = static_cast<uint16_t>(h + v + up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1]);
    row[x] = static_cast<uint32_t>((v < twoFifths) | (h < limitH) | (around <= T));
  }
}

// The diagonal sum mid[x] + mid[x - 1] + down[x + 1] keeps thin slanted E13B strokes.
PVK_WIDE_VECTORS void e13bRow(const uint8_t* __restrict up, const uint8_t* __restrict mid,
                              const uint8_t* __restrict down, uint32_t* __restrict row, int from, int to,
                              unsigned threeFifths, unsigned T) {
  for (int x = from; x <= to; ++x) {
    const unsigned v = up[x] + mid[x] + down[x];
    const unsigned diag = mid[x] + mid[x - 1] + down[x + 1];
    const unsigned around = diag + v + up[x - 1] + up[x + 1] + down[x + 1] + down[x - 1];
    row[x] = (v <= threeFifths) & (diag <= threeFifths) & (around <= T);
  }
}

PVK_WIDE_VECTORS void barRow(const uint8_t* __restrict r0, const uint8_t* __restrict r1, const uint8_t* __restrict r2,
                             const uint8_t* __restrict r3, const uint8_t* __restrict r4, uint32_t* __restrict row,
                             int width, unsigned fourFifths) {
  for (int x = 0; x < width; ++x) row[x] = static_cast<unsigned>(r0[x] + r1[x] + r2[x] + r3[x] + r4[x]) <= fourFifths;
}

// Each centre pixel of rows 4 .. height - 3 and columns 3 .. width - 4 (images lower or narrower
// than 7 pixels have none) through rowOf(up, mid, down, row, first column, last column).
template <typename RowOf>
void eachCentre(const PVKImg& img, uint32_t* out, size_t w4, RowOf rowOf) {
  if (img.height < 7 || img.width < 7) return;
  for (int y = 4; y <= img.height - 3; ++y) {
    const uint8_t* up = img.data + static_cast<size_t>(y - 1) * img.stride;
    const uint8_t* mid = up + img.stride;
    const uint8_t* down = mid + img.stride;
    rowOf(up, mid, down, out + static_cast<size_t>(y) * w4, 3, img.width - 4);
  }
}

// The modes that go through eachCentre write every centre pixel: only the pixels around them
// keep values of the last threshold and are cleared.
void clearAroundCentres(uint32_t* out, size_t w4, int width, int height) {
  if (height < 7 || width < 7) {
    std::memset(out, 0, w4 * static_cast<size_t>(height) * sizeof *out);
    return;
  }
  std::memset(out, 0, 4 * w4 * sizeof *out);
  for (int y = 4; y <= height - 3; ++y) {
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    row[0] = row[1] = row[2] = 0;
    std::memset(row + width - 3, 0, (w4 - static_cast<size_t>(width - 3)) * sizeof *out);
  }
  std::memset(out + static_cast<size_t>(height - 2) * w4, 0, 2 * w4 * sizeof *out);
}

void textMode(const PVKImg& img, uint32_t* out, size_t w4, const Sums& s, unsigned limitH) {
  eachCentre(img, out, w4, [&](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t* row, int from,
                               int to) {
    textRow(up, mid, down, row, from, to, sumLimit(s.twoFifths), sumLimit(limitH), sumLimit(s.T));
  });
}

void e13bMode(const PVKImg& img, uint32_t* out, size_t w4, const Sums& s) {
  eachCentre(img, out, w4, [&](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t* row, int from,
                               int to) { e13bRow(up, mid, down, row, from, to, s.threeFifths, s.T); });
}

void verticalBarMode(const PVKImg& img, uint32_t* out, size_t w4, const Sums& s) {
  if (img.height <= 7) return;
  for (int y = 3; y <= img.height - 5; ++y) {
    const uint8_t* r0 = img.data + static_cast<size_t>(y - 2) * img.stride;
    barRow(r0, r0 + img.stride, r0 + 2 * img.stride, r0 + 3 * img.stride, r0 + 4 * img.stride,
           out + static_cast<size_t>(y) * w4, img.width, s.fourFifths);
  }
}

// Runs of black that touch column 3 or column width - 4 are margin, not text.
void clearMarginRuns(uint32_t* out, size_t w4, int width, int height) {
  const int right = width - 4;
  if (right < 0) return;
  for (int y = 0; y < height; ++y) {
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    int end = 3;
    while (end <= right && row[end] != 0) row[end++] = 0;
    for (int x = right; x >= end && row[x] != 0; --x) row[x] = 0;
  }
}

constexpr int kRuleRun = 61;  // black pixels in a row that make a rule

// Whether the row holds a run of kRuleRun black pixels. Such a run covers a column that is a
// multiple of kRuleRun, so only the runs through those columns are measured.
bool holdsRule(const uint32_t* row, int width) {
  for (int x = 0; x < width; x += kRuleRun) {
    if (row[x] == 0) continue;
    int from = x, to = x;
    while (from > 0 && row[from - 1] != 0) --from;
    while (to + 1 < width && row[to + 1] != 0) ++to;
    if (to - from + 1 >= kRuleRun) return true;
  }
  return false;
}

// A row holding a run of more than 60 black pixels takes, at its black pixels, the row above.
void removeRules(uint32_t* out, size_t w4, int width, int height) {
  for (int y = 1; y < height; ++y) {
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    if (!holdsRule(row, width)) continue;
    const uint32_t* above = row - w4;
    for (int x = 0; x < width; ++x)
      if (row[x] != 0) row[x] = above[x];
  }
}

}  // namespace

bool Convol(PVKImg* img, unsigned char threshold, bool removeLines) {
  if (img == nullptr || (img->data == nullptr && img->width > 0 && img->height > 0) || img->stride < img->width) {
    WriteTrace("err - ", "Convolution", "invalid image", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  SogliaBW = threshold;
  const size_t w4 = (static_cast<size_t>(img->width) + 3) & ~static_cast<size_t>(3);
  const bool bars = PrivilegiaBarreVert != 0;
  if (!prepareBuffer(w4 * img->height, bars)) return false;
  if (!bars) clearAroundCentres(BWImg, w4, img->width, img->height);

  const unsigned T = static_cast<unsigned>(threshold) * MyOcr.neighbourWeight;
  const Sums s{T, 2 * T / 5, 3 * T / 5, 4 * T / 5};
  const short font = MyOcr.currentFont;
  if (bars)
    verticalBarMode(*img, BWImg, w4, s);
  else if (font == 1)
    e13bMode(*img, BWImg, w4, s);
  else
    textMode(*img, BWImg, w4, s, IsMICROPERFORATIONFont(font, true) ? s.twoFifths : s.fourFifths);

  clearMarginRuns(BWImg, w4, img->width, img->height);
  if (removeLines && img->height >= 2) removeRules(BWImg, w4, img->width, img->height);
  return true;
}

void pvk::ocr::freeBWImg() {
  std::free(BWImg);
  BWImg = nullptr;
  bwCapacity = 0;
}
