// PDF417 start pattern: found in the edge signal of a band, then checked in the pixels, line by
// line, for the lines of the zone that it spans: the symbol's rows lie there and nowhere else.
// Before a zone is straightened, its lines are searched one by one for a start or stop pattern.
#include <emmintrin.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ocr/ocr.h"
#include "symbols/symbols.h"

int pvk::symbols::pdfCollectRuns(const int* e, int n, int at, int edge, bool forward, int* runs)
{
  int pos = at;
  for (int k = 0; k < 8; ++k) {
    int j = pos;
    do
      j += forward ? 1 : -1;
    while (j >= 0 && j < n && std::abs(e[j]) <= edge);
    if (j < 0 || j >= n)
      return -1;
    runs[forward ? k : 7 - k] = std::abs(j - pos);
    pos = j;
  }
  return std::abs(pos - at);
}

namespace {

// The start pattern's code lets a bar of one module pass for its 8 and a space of ten for its
// last 3, which the strokes of printed text give. A pattern blurred, spread or thinned keeps a
// first bar of more than half its 8 modules and a last space of less than twice its 3.
bool startShaped(const int* runs, int span)
{
  return runs[0] * 17 >= 4 * span && runs[7] * 17 <= 6 * span;
}

}  // namespace

int pvk::symbols::pdfFindStart(const int* e, int n, int from, int strong, int edge, int* runs, int& span)
{
  for (int i = std::max(from, 0); i < n; ++i) {
    if (e[i] <= strong)
      continue;
    span = pdfCollectRuns(e, n, i, edge, true, runs);
    if (span > 31 && startShaped(runs, span) && decodPdf417(runs, 0, 1, 0) == 1000)
      return i;
    ++i;  // two samples further
  }
  return -1;
}

namespace {

// The mean grey of pixels x0..x1 of one line.
int meanOf(const uint8_t* line, int x0, int x1)
{
  int sum = 0;
  for (int x = x0; x <= x1; ++x)
    sum += line[x];
  return sum / (x1 - x0 + 1);
}

// The start pattern as the averaged signal gave it, in pixels from its bar's first one: the
// bar's width and the 3-module space that ends the pattern.
struct Pattern {
  int bar;
  int space, spaceWidth;
  int width;  // the whole pattern, as wide as a codeword
};

Pattern patternOf(const int* runs)
{
  int before = 0;
  for (int k = 0; k < 7; ++k)
    before += runs[k];
  return Pattern{std::max(runs[0] / 2, 2), before / 2, std::max(runs[7] / 2, 1), (before + runs[7]) / 2};
}

// Where one line crosses the start pattern: its wide bar a run of ink about as wide as the bar
// found, beginning near `expect`, and the 3-module space that ends the pattern paper. A rule or
// a line of text inks the space too, blank paper leaves the bar out.
struct Crossing {
  bool found = false;
  int at = 0;        // the bar's first pixel
  int contrast = 0;  // the bar's middle above the last space's, in grey levels
};

Crossing cross(const uint8_t* line, int width, int expect, const Pattern& p, int level)
{
  Crossing c;
  int x = std::max(expect - p.bar / 2, 0);
  const int last = std::min(expect + p.bar / 2, width - 1);
  while (x <= last && line[x] <= level)
    ++x;
  if (x > last || (x > 0 && line[x - 1] > level))
    return c;
  int end = x;
  while (end < width && line[end] > level)
    ++end;
  const int s0 = x + p.space + p.spaceWidth / 4, s1 = x + p.space + 3 * p.spaceWidth / 4;
  if ((end - x) * 2 < p.bar || (end - x) * 2 > 3 * p.bar || s1 >= width)
    return c;
  const int ink = meanOf(line, x + (end - x) / 4, x + 3 * (end - x) / 4);
  const int paper = meanOf(line, s0, std::max(s0, s1));
  if (paper > level)
    return c;
  c.found = true;
  c.at = x;
  c.contrast = ink - paper;
  return c;
}

// The longest stretch [top, bottom) of lines with a contrast (not -1), over gaps of up to 3
// lines (a speck, a scratch).
void longestStretch(const std::vector<int>& contrast, int& top, int& bottom)
{
  const int h = static_cast<int>(contrast.size());
  for (int y = 0; y < h;) {
    if (contrast[y] < 0) {
      ++y;
      continue;
    }
    int end = y + 1, gap = 0;
    for (int k = y + 1; k < h && gap <= 3; ++k) {
      gap = contrast[k] >= 0 ? 0 : gap + 1;
      if (!gap)
        end = k + 1;
    }
    if (end - y > bottom - top)
      top = y, bottom = end;
    y = end;
  }
}

// How far above and below [top, bottom) the codeword right of the pattern (the left row
// indicator) stays inked, over gaps of up to 3 lines: the lines of the rows beside the pattern.
int rowsBeside(const PVKImg& img, const std::vector<int>& atLine, const Pattern& p, int level, int top, int bottom)
{
  const int h = img.height, w = img.width;
  auto inked = [&](int y) {
    const uint8_t* line = img.data + static_cast<size_t>(y) * img.stride;
    const int x0 = std::min(atLine[y] + p.width, w - 1), x1 = std::min(atLine[y] + 2 * p.width, w);
    return x0 < x1 && *std::max_element(line + x0, line + x1) > level;
  };
  for (int gap = 0, y = top - 1; y >= 0 && gap <= 3; --y)
    if (inked(y))
      top = y, gap = 0;
    else
      ++gap;
  for (int gap = 0, y = bottom; y < h && gap <= 3; ++y)
    if (inked(y))
      bottom = y + 1, gap = 0;
    else
      ++gap;
  return bottom - top;
}

}  // namespace

bool pvk::symbols::pdfStartLines(const PVKImg& img, int start, const int* runs, int& top, int& bottom)
{
  const int w = img.width, h = img.height;
  const Pattern pattern = patternOf(runs);
  const int x0 = std::min(start / 2, w - 1), bar = pattern.bar;
  // Ink is what is brighter than half the brightest middle of the bar along the zone.
  int inked = 0;
  const int mid0 = std::min(x0 + bar / 3, w - 1), mid1 = std::min(x0 + 2 * bar / 3, w - 1);
  for (int y = 0; y < h; ++y)
    inked = std::max(inked, meanOf(img.data + static_cast<size_t>(y) * img.stride, mid0, mid1));
  const int level = inked / 2;
  // Line by line, the bar followed where it leans; then the longest stretch of crossing lines.
  std::vector<int> contrast(h, -1), atLine(h, x0);
  for (int y = 0, expect = x0; y < h; ++y) {
    const Crossing c = cross(img.data + static_cast<size_t>(y) * img.stride, w, expect, pattern, level);
    if (c.found) {
      contrast[y] = c.contrast;
      expect = c.at;
    }
    atLine[y] = expect;
  }
  int bestTop = 0, bestBottom = 0;
  longestStretch(contrast, bestTop, bestBottom);
  // A pattern is ink on paper: the bar well above the space on nearly every line of the stretch,
  // which the chance edges of noise or of a blank zone never give.
  long sum = 0, lines = 0;
  for (int y = bestTop; y < bestBottom; ++y)
    if (contrast[y] >= 0)
      sum += contrast[y], ++lines;
  if (lines < 6 || 4 * lines < 3 * (bestBottom - bestTop) || sum < 64 * lines)
    return false;
  // Then the rest of the bar, where the pattern shows less clearly. A start pattern runs down
  // every row it starts; a stack of like codewords inside a symbol runs down a few of them.
  auto inkedAt = [&](int y, int at) {
    return meanOf(img.data + static_cast<size_t>(y) * img.stride, std::min(at + bar / 3, w - 1),
                  std::min(at + 2 * bar / 3, w - 1)) > level;
  };
  top = bestTop;
  while (top > 0 && inkedAt(top - 1, atLine[bestTop]))
    --top;
  bottom = bestBottom;
  while (bottom < h && inkedAt(bottom, atLine[bestBottom - 1]))
    ++bottom;
  if (4 * (bottom - top) < 3 * rowsBeside(img, atLine, pattern, level, top, bottom))
    return false;
  // And the paper around it, which holds the symbol's first and last row boundaries: up to 6
  // blank lines above, 20 below (a symbol of few lines is told from its paper there).
  for (int paper = 0; top > 0 && paper < 6 && !inkedAt(top - 1, atLine[bestTop]); ++paper)
    --top;
  for (int paper = 0; bottom < h && paper < 20 && !inkedAt(bottom, atLine[bestBottom - 1]); ++paper)
    ++bottom;
  return true;
}

namespace {

// The edge signal of a cleaned image, each column at its most inked 64 lines (a start pattern
// that leans stays sharp), with the levels of a strong edge and of any edge.
struct EdgeSignal {
  std::vector<int> edges;
  int strong = 0, edge = 0;
};

EdgeSignal edgeSignal(const PVKImg& img, int lines)
{
  const int n = 2 * img.width;
  std::vector<int> signal(n), work(n);
  EdgeSignal s;
  s.edges.resize(n);
  PVKImg band = img;
  normalizza(&band, signal.data(), work.data(), s.edges.data(), std::min<int>(img.height, lines));
  int most = 0;
  for (int v : s.edges)
    most = std::max(most, v);
  s.strong = most / 4;
  s.edge = most / 8;
  return s;
}

}  // namespace

bool pvk::symbols::pdfStartSeen(const PVKImg& img, int lines)
{
  // Bands of `lines` lines overlapping by half, the last one ending at the last line.
  const int h = std::min<int>(std::max(lines, 1), img.height), step = std::max(h / 2, 1);
  for (int y = 0;; y += step) {
    PVKImg band = img;
    band.data = img.data + static_cast<size_t>(std::min(y, img.height - h)) * img.stride;
    band.height = static_cast<uint16_t>(h);
    const EdgeSignal s = edgeSignal(band, h);
    int runs[8], span = 0;
    if (pdfFindStart(s.edges.data(), static_cast<int>(s.edges.size()), 0, s.strong, s.edge, runs, span) >= 0)
      return true;
    if (y + h >= img.height)
      return false;
  }
}

bool pvk::symbols::pdfSymbolLines(const PVKImg& img, int& top, int& bottom)
{
  const EdgeSignal s = edgeSignal(img, 64);
  const int n = static_cast<int>(s.edges.size());
  int runs[8], span = 0;
  for (int i = pdfFindStart(s.edges.data(), n, 0, s.strong, s.edge, runs, span); i >= 0;
       i = pdfFindStart(s.edges.data(), n, i + 2, s.strong, s.edge, runs, span))
    if (pdfStartLines(img, i, runs, top, bottom))
      return true;
  return false;
}

namespace {

// The start and stop patterns' first 17 modules as sums of neighbouring runs (a bar and the
// space after it, a space and the bar after it): ink spread or thinned shifts every edge of a
// kind alike and leaves these sums as they are.
constexpr int kStartPairs[7] = {9, 2, 2, 2, 2, 2, 4};
constexpr int kStopPairs[7] = {8, 2, 4, 4, 2, 2, 3};

// Whether each sum of two neighbouring runs of 8 spanning `total` pixels rounds, in 17ths of
// the total, to the pattern's count.
bool pairsRound(const int* runs, int total, const int* pairs)
{
  for (int k = 0; k < 7; ++k) {
    const int twice17 = 34 * (runs[k] + runs[k + 1]);
    if (twice17 < (2 * pairs[k] - 1) * total || twice17 >= (2 * pairs[k] + 1) * total)
      return false;
  }
  return true;
}

// One line's ink above a grey level, one bit a pixel, 64 to a word, the first pixel lowest.
struct InkBits {
  std::vector<uint64_t> words;
  int width = 0;

  void set(const uint8_t* line, int w, int level)
  {
    width = w;
    const size_t n = static_cast<size_t>(w + 63) / 64;
    words.resize(n + 1);
    words[n] = 0;
    const __m128i flip = _mm_set1_epi8(static_cast<char>(0x80));
    const __m128i above = _mm_set1_epi8(static_cast<char>(level ^ 0x80));
    auto sixteen = [&](int x) {
      const __m128i v = _mm_xor_si128(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x)), flip);
      return static_cast<uint64_t>(static_cast<uint32_t>(_mm_movemask_epi8(_mm_cmpgt_epi8(v, above))) & 0xffffu);
    };
    size_t i = 0;
    int x = 0;
    for (; x + 64 <= w; x += 64, ++i)
      words[i] = sixteen(x) | sixteen(x + 16) << 16 | sixteen(x + 32) << 32 | sixteen(x + 48) << 48;
    if (i == n)
      return;
    uint64_t rest = 0;
    for (int k = 0; x + k + 16 <= w; k += 16)
      rest |= sixteen(x + k) << k;
    for (int k = (w - x) & ~15; x + k < w; ++k)
      rest |= static_cast<uint64_t>(line[x + k] > level) << k;
    words[i] = rest;
  }
  // The 64 pixels from word i's first shifted on by k (0..63) pixels.
  uint64_t from(size_t i, int k) const { return k ? words[i] >> k | words[i + 1] << (64 - k) : words[i]; }
  bool at(int x) const { return words[x >> 6] >> (x & 63) & 1; }
  // The run of pixels like pixel x, from x: its length, to the line's end at most.
  int run(int x) const
  {
    const bool ink = at(x);
    int n = 0;
    while (x + n < width) {
      const uint64_t w = words[(x + n) >> 6] >> ((x + n) & 63);
      const uint64_t other = ink ? ~w : w;
      const int left = 64 - ((x + n) & 63);
      const int same = other ? std::min(__builtin_ctzll(other), left) : left;
      n += same;
      if (same < left)
        break;
    }
    return std::min(n, width - x);
  }
};

// Whether the bar beginning at x and the 7 runs after it, with ink after the last, are the
// start or the stop pattern at least as wide as the reader's least codeword (16 pixels).
bool patternAt(const InkBits& ink, int x)
{
  int runs[8], total = 0;
  for (int k = 0; k < 8; ++k) {
    if (x + total >= ink.width)
      return false;
    runs[k] = ink.run(x + total);
    total += runs[k];
    // Both patterns' second and third runs round to 2 modules of 17 and their first two to 8
    // or 9, which leaves the first bar more than twice as wide as the next two runs together:
    // a stroke of text followed by its paper ends here, before the third run is measured.
    if ((k == 1 && 2 * (runs[1] + 1) >= runs[0]) || (k == 2 && 2 * (runs[1] + runs[2]) >= runs[0]))
      return false;
  }
  return x + total < ink.width && total >= 16 &&
         (pairsRound(runs, total, kStartPairs) || pairsRound(runs, total, kStopPairs));
}

// The pixels of word i where a run of ink at least 6 pixels wide begins: where either pattern's
// sums round as they should, its first bar is that wide, and only these runs are tried.
uint64_t wideBarsAt(const InkBits& ink, size_t i)
{
  uint64_t wide = ink.words[i];
  for (int k = 1; k < 6 && wide; ++k)
    wide &= ink.from(i, k);
  const uint64_t before = ink.words[i] << 1 | (i ? ink.words[i - 1] >> 63 : 0);
  return wide & ~before;
}

// 1 when the line crosses a start or stop pattern, 0 when not, -1 when not even a bar wide
// enough to begin one.
int lineShowsPattern(const InkBits& ink)
{
  bool bars = false;
  const size_t n = ink.words.size() - 1;
  for (size_t i = 0; i < n; ++i)
    for (uint64_t begins = wideBarsAt(ink, i); begins; begins &= begins - 1) {
      bars = true;
      if (patternAt(ink, static_cast<int>(i * 64) + __builtin_ctzll(begins)))
        return 1;
    }
  return bars ? 0 : -1;
}

}  // namespace

int pvk::symbols::pdfPatternLines(const PVKImg& img, int enough)
{
  // Ink is brighter than paper here by as little as the cleaning's last offsets leave of faint
  // print, and blur fills a module's space up to the higher levels: a line is read at each.
  static const int kLevels[] = {32, 64, 96};
  InkBits ink;
  int lines = 0;
  for (int y = 0; y < img.height && lines < enough; ++y) {
    const uint8_t* line = img.data + static_cast<size_t>(y) * img.stride;
    // The ink at a level lies within the ink at each lower one: a line without a wide bar at
    // one level has none at the levels above.
    for (const int level : kLevels) {
      ink.set(line, img.width, level);
      const int shown = lineShowsPattern(ink);
      lines += shown > 0;
      if (shown != 0)
        break;
    }
  }
  return lines;
}
