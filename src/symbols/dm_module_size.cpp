// The module size of a cropped binary DataMatrix symbol from its timing patterns, and the pixel
// where sampling starts.
#include "symbols/symbols.h"

#include "core/records.h"
#include "core/trace.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline bool darkAt(const cv::Mat& m, int x, int y) { return m.ptr<uint8_t>(y)[x] < 128; }
inline int roundHalfUp(double x) { return static_cast<int>(std::floor(x + 0.5)); }

// The places along a line of n pixels where a pixel differs in kind (light: at least `least`,
// 0 < least < 256) from the one before it, into at (room for n); their count. The kinds are
// gathered 64 pixels to a word and each change taken from the word: a loop per pixel would
// mispredict at the end of every run.
int edgesOf(const uint8_t* line, int n, int least, int* at) {
  int count = 0;
  uint64_t before = line[0] >= least ? 1 : 0;  // the kind of the pixel before the word
  for (int x = 0; x < n; x += 64) {
    const int m = std::min(64, n - x);
    uint64_t light = 0;
    int b = 0;
#if defined(__SSE2__)
    const __m128i l = _mm_set1_epi8(static_cast<char>(least));
    for (; b + 16 <= m; b += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + x + b));
      const int up = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_max_epu8(v, l), v));
      light |= static_cast<uint64_t>(static_cast<unsigned>(up)) << b;
    }
#endif
    for (; b < m; ++b) light |= static_cast<uint64_t>(line[x + b] >= least ? 1 : 0) << b;
    uint64_t change = light ^ ((light << 1) | before);
    if (m < 64) change &= (uint64_t{1} << m) - 1;
    before = (light >> (m - 1)) & 1;
    for (; change != 0; change &= change - 1) at[count++] = x + __builtin_ctzll(change);
  }
  return count;
}

// Run lengths of one line in ten slots (slot 0 dark, then light and dark alternately), with
// the means of the groups of ten accepted so far.
struct LineRuns {
  int runs[10] = {};
  int s = 0;
  int groups = 0;
  double sumMeans = 0;
  bool abandoned = false;
};

// Counts the runs of a line of n pixels, run by run (`at`: room for n places; light: at least
// `least`). Leading light pixels are skipped. When a dark run closes the light slot `last`, `onGroup` decides on the
// group (its mean, or 0 to abandon the line).
template <typename OnGroup>
LineRuns countRuns(const uint8_t* line, int n, int* at, OnGroup onGroup, int last = 9, int least = 128) {
  LineRuns r;
  const int edges = edgesOf(line, n, least, at);
  int e = 0;
  auto runEnd = [&]() { return e < edges ? at[e++] : n; };
  for (int i = line[0] < least ? 0 : runEnd(); i < n;) {
    int j = runEnd();
    if (r.s % 2 == 0) {
      r.runs[r.s] += j - i;
    } else if (r.s < last) {
      r.runs[++r.s] += j - i;
    } else {
      const double mean = onGroup(r.runs);
      if (mean == 0.0) {
        r.abandoned = true;
        return r;
      }
      ++r.groups;
      r.sumMeans += mean;
      for (int k = 0; k < 10 && r.runs[k] != 0; ++k) r.runs[k] = 0;
      r.s = 0;
      r.runs[0] = j - i;
    }
    if (j == n) break;
    i = j;
    j = runEnd();
    r.runs[++r.s] += j - i;  // a light run follows a dark one: its slot is the next
    i = j;
  }
  return r;
}

// Across: the mean run of the last row of the symbol image (light: at least `least`) whose
// regular runs number as many as its width in modules, else 0; the last group of ten regular
// runs met in `lastGroupMean` when asked. `at`: room for a row's places.
double acrossWidth(const cv::Mat& img, int least, int* at, double* lastGroupMean) {
  const int W = img.cols;
  auto checkAcross = [lastGroupMean](const int* runs) {
    const double m = imageReaderDM::checkRatio(runs, 9);
    if (m != 0.0 && lastGroupMean != nullptr) *lastGroupMean = m;
    return m;
  };
  double width = 0.0;
  for (int y = 0; y < img.rows; ++y) {
    LineRuns l = countRuns(img.ptr<uint8_t>(y), W, at, checkAcross, 9, least);
    if (l.abandoned || l.s >= 9 || l.groups < 1) continue;
    const double tail = imageReaderDM::checkRatio(l.runs, l.s);
    if (tail == 0.0) continue;
    const int runs = 10 * l.groups + l.s + 1;
    const double mean = (10 * l.sumMeans + (l.s + 1) * tail) / runs;
    const int n = roundHalfUp(W / mean);
    if (runs == n && n != 1) width = mean;
  }
  return width;
}

// The module width of a W x H symbol image whose rows gave none, from its module height mh: the
// width over the columns of the size whose rows are H / mh, the nearest of them to W / mh when
// several have those rows; mh itself when no size has them or the width so found is a quarter
// or more off mh (the crop then takes in more than the symbol). A symbol printed a few pixels
// wider than high would otherwise be sampled at the height's pitch across, drifting a module off
// by its far side.
double widthFromHeight(int W, int H, double mh) {
  const int r = roundHalfUp(H / mh), wide = roundHalfUp(W / mh);
  int columns = 0;
  for (const DmVersion& v : VERSION)
    if (v.rows == r && (columns == 0 || std::abs(v.columns - wide) < std::abs(columns - wide))) columns = v.columns;
  if (columns == 0) return mh;
  const double width = static_cast<double>(W) / columns;
  return std::fabs(width - mh) < mh / 4 ? width : mh;
}

}  // namespace

bool pvk::symbols::dmRowsGiveWidth(const cv::Mat& crop, int v) {
  if (crop.empty() || crop.type() != CV_8UC1 || std::min(crop.cols, crop.rows) < 10) return false;
  // At v below 0 or from 255 on the image is all light or all dark: no runs.
  if (v < 0 || v >= 255) return false;
  std::vector<int> at(crop.cols);
  double group = 0.0;
  return acrossWidth(crop, v + 1, at.data(), &group) != 0.0 || group != 0.0;
}

bool imageReaderDM::findPixelSize(const cv::Mat& bin) {
  parseImageDM& p = parser;
  if (bin.empty()) {
    WriteTrace("findPixelSize with NULL img", false);
    return false;
  }
  const int W = bin.cols, H = bin.rows;
  if (std::min(W, H) < 10) return false;
  // The last group of ten regular runs met across the rows, in reading order: it stands in
  // for the module width when no whole row matches the width.
  double lastGroupMean = 0.0;
  auto check = [](const int* runs) { return imageReaderDM::checkRatio(runs, 9); };
  // The columns as the rows of the transposed image, read in memory order.
  const cv::Mat columns = pvk::symbols::transposed(bin);
  std::vector<int> at(std::max(W, H));

  const double across = acrossWidth(bin, 128, at.data(), &lastGroupMean);
  if (across != 0.0) p.moduleWidth = across;
  // Down, from the right: the right timing column (its first light module skipped).
  for (int x = W - 1; x >= 0; --x) {
    LineRuns r = countRuns(columns.ptr<uint8_t>(x), H, at.data(), check);
    if (r.abandoned) continue;
    if (r.s % 2 == 1) {  // a column ending in a light run drops it
      r.runs[r.s] = 0;
      --r.s;
    }
    if (r.s >= 9 || r.groups < 1) continue;
    const double tail = checkRatio(r.runs, r.s);
    const int runs = tail == 0.0 ? 10 * r.groups + r.s : 10 * r.groups + r.s + 1;
    const double mean = tail == 0.0 ? 10 * r.sumMeans / runs : (10 * r.sumMeans + (r.s + 1) * tail) / runs;
    const int n = roundHalfUp(H / mean);
    if (runs == n - 1 && n != 2) {
      p.moduleHeight = mean;
      break;
    }
  }
  if (p.moduleWidth == 1.0 && lastGroupMean != 0.0) p.moduleWidth = lastGroupMean;
  if (p.moduleHeight == 1.0) {
    // Eight runs closed by a dark pixel are enough for a small symbol's timing column.
    for (int x = W - 1; x >= 0 && p.moduleHeight == 1.0; --x)
      countRuns(columns.ptr<uint8_t>(x), H, at.data(),
                [&](const int* runs) {
                  const double m = checkRatio(runs, 7);
                  if (m != 0.0) p.moduleHeight = m;
                  return 0.0;  // the column ends here either way
                },
                7);
  }
  if (p.moduleWidth == 1.0 && p.moduleHeight != 1.0) p.moduleWidth = widthFromHeight(W, H, p.moduleHeight);
  if (p.moduleHeight == 1.0 && p.moduleWidth != 1.0) p.moduleHeight = p.moduleWidth;
  return findStartings(bin);
}

bool imageReaderDM::findStartings(const cv::Mat& bin) {
  parseImageDM& p = parser;
  if (bin.empty()) {
    WriteTrace("findStartings with NULL img", false);
    return false;
  }
  const int W = bin.cols, H = bin.rows;
  const double mh = p.moduleHeight, mw = p.moduleWidth;

  // Column start: where the left finder bar ends, in the second and third module rows. Where a
  // row's dark run goes on past two modules (data modules dark next to the finder), the finder
  // still ends one module after it began: the run's end would put the origin a module or two
  // inside the symbol, and sampling only ever moves further in.
  int cs = 0;
  for (int y = static_cast<int>(mh); y < static_cast<int>(3 * mh) && y < H; ++y) {
    int x = 0, firstDark = -1;
    for (; x < 3 * mw && x < W; ++x) {
      if (darkAt(bin, x, y)) {
        if (firstDark < 0) firstDark = x;
      } else if (firstDark >= 0) {
        break;
      }
    }
    if (firstDark >= 0 && x < 3 * mw && x < W && x < 2 * mw) {
      cs = x;
      break;
    }
    cs = firstDark >= 0 ? firstDark + static_cast<int>(mw) : x;
  }
  // Row start: where the first light module of the right timing column ends.
  int rs = 0;
  for (int x = W - 1; x >= 0 && x > W - 3 * mw; --x) {
    int y = 0;
    bool light = false;
    for (; y < 3 * mh && y < H; ++y) {
      const bool l = bin.ptr<uint8_t>(y)[x] > 128;
      if (l) light = true;
      else if (light) break;
    }
    rs = y;
    if (light && y < 3 * mh && y < H && y < 2 * mh) break;
  }
  if (rs == 0) p.startRow = static_cast<uint16_t>(mh);
  else if (rs < mh / 2) p.startRow = static_cast<uint16_t>(mh / 2);
  else p.startRow = static_cast<uint16_t>(rs);
  if (cs == 0) p.startCol = static_cast<uint16_t>(mw);
  else if (cs == 1) p.startCol = static_cast<uint16_t>(mw / 2);
  else p.startCol = static_cast<uint16_t>(cs);
  p.sampleRow = p.startRow;
  p.sampleCol = p.startCol;
  const int d = MyOcr.dmDpi * 14 / 300;
  p.rowOffsetReset = p.rowOffset = static_cast<uint16_t>(std::max(p.startRow - d, 0));
  p.colOffsetReset = p.colOffset = static_cast<uint16_t>(std::max(p.startCol - d, 0));
  return true;
}
