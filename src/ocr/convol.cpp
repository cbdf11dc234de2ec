// Binarisation of a grey zone image into the engine's one-bit working image at one threshold:
// a pixel is black when a small neighbourhood of it is dark enough, the neighbourhood chosen per
// font so that thin E13B strokes and microperforation dots survive; then the runs touching the
// side margins are erased and, on request, long horizontal rules are removed.
#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

uint32_t* BWImg = nullptr;

namespace {

size_t bwCapacity = 0;  // values BWImg holds

// Which rows of BWImg may hold ink (1) and which are wholly 0 (0), as the last binarisation left
// them, for rows of w4 values. The engine after it only ever clears or relabels ink, never inks
// paper, so a row left at 0 is still 0 at the next binarisation, which then need not store it
// again, and the labelling need not visit it.
struct InkRows {
  const uint32_t* image = nullptr;
  size_t w4 = 0;
  std::vector<uint8_t> ink;
};
InkRows inkRows;

void forgetInkRows() { inkRows = InkRows{}; }

// Keeps the buffer when it is large enough for this image, else replaces it; a kept buffer is
// cleared when clear is set.
bool prepareBuffer(size_t values, bool clear) {
  if (BWImg == nullptr) bwCapacity = 0;
  if (BWImg != nullptr && values <= bwCapacity) {
    if (clear) std::memset(BWImg, 0, values * sizeof *BWImg);
    return true;
  }
  forgetInkRows();
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

// What a row kernel tells of the pixels it made.
constexpr uint32_t kSomeBlack = 1, kAllBlack = 2;

// One row of pixels x = from .. to, each 1 when black, else 0; kSomeBlack when one is black,
// kAllBlack when all are. The tests are sums of whole bytes, so every width of vector gives the same pixels; the sums, at
// most nine bytes, are worked out in 16-bit lanes, twice as many to a vector.
PVK_WIDE_VECTORS uint32_t textRow(const uint8_t* __restrict up, const uint8_t* __restrict mid,
                                  const uint8_t* __restrict down, uint32_t* __restrict row, int from, int to,
                                  uint16_t twoFifths, uint16_t limitH, uint16_t T) {
  uint32_t any = 0, all = 1;
  for (int x = from; x <= to; ++x) {
    const auto v = static_cast<uint16_t>(up[x] + mid[x] + down[x]);
    const auto h = static_cast<uint16_t>(mid[x - 1] + mid[x] + mid[x + 1]);
    const auto around = static_cast<uint16_t>(h + v + up[x - 1] + up[x + 1] + down[x - 1] + down[x + 1]);
    row[x] = static_cast<uint32_t>((v < twoFifths) | (h < limitH) | (around <= T));
    any |= row[x];
    all &= row[x];
  }
  return any * kSomeBlack | all * kAllBlack;
}

// The diagonal sum mid[x] + mid[x - 1] + down[x + 1] keeps thin slanted E13B strokes.
PVK_WIDE_VECTORS uint32_t e13bRow(const uint8_t* __restrict up, const uint8_t* __restrict mid,
                                  const uint8_t* __restrict down, uint32_t* __restrict row, int from, int to,
                                  unsigned threeFifths, unsigned T) {
  uint32_t any = 0, all = 1;
  for (int x = from; x <= to; ++x) {
    const unsigned v = up[x] + mid[x] + down[x];
    const unsigned diag = mid[x] + mid[x - 1] + down[x + 1];
    const unsigned around = diag + v + up[x - 1] + up[x + 1] + down[x + 1] + down[x - 1];
    row[x] = (v <= threeFifths) & (diag <= threeFifths) & (around <= T);
    any |= row[x];
    all &= row[x];
  }
  return any * kSomeBlack | all * kAllBlack;
}

PVK_WIDE_VECTORS void barRow(const uint8_t* __restrict r0, const uint8_t* __restrict r1, const uint8_t* __restrict r2,
                             const uint8_t* __restrict r3, const uint8_t* __restrict r4, uint32_t* __restrict row,
                             int width, unsigned fourFifths) {
  for (int x = 0; x < width; ++x) row[x] = static_cast<unsigned>(r0[x] + r1[x] + r2[x] + r3[x] + r4[x]) <= fourFifths;
}

// The first column of from .. to whose pixel is 0, else to + 1: four pixels at a time.
int firstPaper(const uint32_t* row, int from, int to) {
  int x = from;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; x + 3 <= to; x += 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x));
    const int paper = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, zero)));
    if (paper != 0) return x + __builtin_ctz(static_cast<unsigned>(paper));
  }
#endif
  while (x <= to && row[x] != 0) ++x;
  return x;
}

// The last column of from .. to whose pixel is 0, else from - 1.
int lastPaper(const uint32_t* row, int from, int to) {
  int x = to;
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  for (; x - 3 >= from; x -= 4) {
    const __m128i four = _mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x - 3));
    const int paper = _mm_movemask_ps(_mm_castsi128_ps(_mm_cmpeq_epi32(four, zero)));
    if (paper != 0) return x - 3 + 31 - __builtin_clz(static_cast<unsigned>(paper));
  }
#endif
  while (x >= from && row[x] != 0) --x;
  return x;
}

// A row of text or E13B mode once its kernel has made it: the runs of black that touch column
// 3 or column width - 4 are margin, not text, and go. True when black is left.
bool clearMarginRuns(uint32_t* row, int width) {
  const int right = width - 4;
  if (right < 3) return false;
  const int end = firstPaper(row, 3, right);
  std::memset(row + 3, 0, static_cast<size_t>(end - 3) * sizeof *row);
  if (end > right) return false;
  const int x = lastPaper(row, end, right);
  std::memset(row + x + 1, 0, static_cast<size_t>(right - x) * sizeof *row);
  for (int k = end; k <= x; ++k)
    if (row[k] != 0) return true;
  return false;
}

// Whether a row a kernel made (what it told in made) holds black once its margin runs are gone,
// the runs cleared: a row black from end to end is one margin run.
bool blackLeft(uint32_t made, uint32_t* row, int width) {
  if ((made & kAllBlack) != 0) {
    std::memset(row + 3, 0, static_cast<size_t>(width - 6) * sizeof *row);
    return false;
  }
  return made != 0 && clearMarginRuns(row, width);
}

std::vector<uint32_t> scratch;  // one row of the row modes, made before it is stored

// The darkest and the brightest byte of a row over columns 2 .. width - 3, what the centres of
// columns 3 .. width - 4 see.
struct Levels {
  uint8_t darkest = 255, brightest = 0;
};

std::vector<Levels> levelsOfRows(const PVKImg& img) {
  std::vector<Levels> levels(img.height);
  for (int y = 0; y < img.height; ++y) {
    const uint8_t* row = img.data + static_cast<size_t>(y) * img.stride;
    uint8_t lo = 255, hi = 0;
    for (int x = 2; x <= img.width - 3; ++x) {
      lo = row[x] < lo ? row[x] : lo;
      hi = row[x] > hi ? row[x] : hi;
    }
    levels[static_cast<size_t>(y)] = Levels{lo, hi};
  }
  return levels;
}

// Each centre pixel of rows 4 .. height - 3 and columns 3 .. width - 4 (images lower or narrower
// than 7 pixels have none) through rowOf(up, mid, down, row, first column, last column); every
// other pixel is 0. blackAt(v) tells whether a neighbourhood all of whose bytes are v is black;
// the rule grows darker with its sums, so a row whose three rows' bytes lie between two levels
// turns no pixel black when the darkest does not, and every pixel when the brightest does: then
// it is one margin run, blank. Such rows are not made. A row the buffer holds blank already is
// made in a scratch row, which stays in the cache, and stored only when black is left in it.
template <typename BlackAt, typename RowOf>
void centreRows(const PVKImg& img, uint32_t* out, size_t w4, const InkRows& before, std::vector<uint8_t>& ink,
                BlackAt blackAt, RowOf rowOf) {
  const int height = img.height, width = img.width;
  const bool known = before.image == out && before.w4 == w4;
  auto blank = [&](int y) {
    return known && static_cast<size_t>(y) < before.ink.size() && before.ink[static_cast<size_t>(y)] == 0;
  };
  const bool centres = height >= 7 && width >= 7;
  std::vector<Levels> levels;
  if (centres) {
    scratch.assign(w4, 0);
    levels = levelsOfRows(img);
  }
  auto plain = [&](int y) {
    const Levels& a = levels[static_cast<size_t>(y - 1)];
    const Levels& b = levels[static_cast<size_t>(y)];
    const Levels& c = levels[static_cast<size_t>(y + 1)];
    const uint8_t darkest = std::min({a.darkest, b.darkest, c.darkest});
    const uint8_t brightest = std::max({a.brightest, b.brightest, c.brightest});
    return !blackAt(darkest) || blackAt(brightest);
  };
  for (int y = 0; y < height; ++y) {
    uint32_t* to = out + static_cast<size_t>(y) * w4;
    if (!centres || y < 4 || y > height - 3 || plain(y)) {
      if (!blank(y)) std::memset(to, 0, w4 * sizeof *to);
      continue;
    }
    const uint8_t* up = img.data + static_cast<size_t>(y - 1) * img.stride;
    const uint8_t* mid = up + img.stride;
    const uint8_t* down = mid + img.stride;
    if (blank(y)) {
      const bool black = blackLeft(rowOf(up, mid, down, scratch.data(), 3, width - 4), scratch.data(), width);
      if (black) std::memcpy(to, scratch.data(), w4 * sizeof *to);
      ink[static_cast<size_t>(y)] = black;
      continue;
    }
    to[0] = to[1] = to[2] = 0;
    std::memset(to + width - 3, 0, (w4 - static_cast<size_t>(width - 3)) * sizeof *to);
    ink[static_cast<size_t>(y)] = blackLeft(rowOf(up, mid, down, to, 3, width - 4), to, width);
  }
}

// Rows 3 .. height - 5 of the whole width, on a buffer blanked before; margin runs go as in the
// row modes.
void verticalBarMode(const PVKImg& img, uint32_t* out, size_t w4, const Sums& s, std::vector<uint8_t>& ink) {
  if (img.height <= 7) return;
  for (int y = 3; y <= img.height - 5; ++y) {
    const uint8_t* r0 = img.data + static_cast<size_t>(y - 2) * img.stride;
    uint32_t* row = out + static_cast<size_t>(y) * w4;
    barRow(r0, r0 + img.stride, r0 + 2 * img.stride, r0 + 3 * img.stride, r0 + 4 * img.stride, row, img.width,
           s.fourFifths);
    clearMarginRuns(row, img.width);
    ink[static_cast<size_t>(y)] = 1;
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

  const unsigned T = static_cast<unsigned>(threshold) * MyOcr.neighbourWeight;
  const Sums s{T, 2 * T / 5, 3 * T / 5, 4 * T / 5};
  const short font = MyOcr.currentFont;
  InkRows after{BWImg, w4, std::vector<uint8_t>(img->height, 0)};
  if (bars) {
    verticalBarMode(*img, BWImg, w4, s, after.ink);
  } else if (font == 1) {
    // Black needs every sum at its limit: the vertical one of three bytes, the whole of ten.
    auto blackAt = [&](unsigned v) { return 3 * v <= s.threeFifths && 10 * v <= s.T; };
    centreRows(*img, BWImg, w4, inkRows, after.ink, blackAt,
               [&](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t* row, int from, int to) {
                 return e13bRow(up, mid, down, row, from, to, s.threeFifths, s.T);
               });
  } else {
    const uint16_t twoFifths = sumLimit(s.twoFifths), sumT = sumLimit(s.T);
    const uint16_t limitH = sumLimit(IsMICROPERFORATIONFont(font, true) ? s.twoFifths : s.fourFifths);
    // Black needs one sum below its limit: the vertical or the row one of three bytes, the whole
    // of ten.
    auto blackAt = [&](unsigned v) { return 3 * v < twoFifths || 3 * v < limitH || 10 * v <= sumT; };
    centreRows(*img, BWImg, w4, inkRows, after.ink, blackAt,
               [&](const uint8_t* up, const uint8_t* mid, const uint8_t* down, uint32_t* row, int from, int to) {
                 return textRow(up, mid, down, row, from, to, twoFifths, limitH, sumT);
               });
  }
  inkRows = std::move(after);
  if (removeLines && img->height >= 2) removeRules(BWImg, w4, img->width, img->height);
  return true;
}

void pvk::ocr::inkRowSpan(const uint32_t* image, size_t w4, uint32_t height, uint32_t& first, uint32_t& end) {
  first = 0;
  end = height;
  if (image == nullptr || image != inkRows.image || w4 != inkRows.w4 || height > inkRows.ink.size()) return;
  while (first < end && inkRows.ink[first] == 0) ++first;
  while (end > first && inkRows.ink[end - 1] == 0) --end;
}

void pvk::ocr::freeBWImg() {
  forgetInkRows();
  std::free(BWImg);
  BWImg = nullptr;
  bwCapacity = 0;
}
