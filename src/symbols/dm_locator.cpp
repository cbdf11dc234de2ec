// The DataMatrix locator of one binarisation attempt: the solid L edges of the symbol in the
// upright zone image, its crop and binarisation, and the module size and sampling origin.
#include "symbols/symbols.h"

#include "core/records.h"
#include "core/trace.h"
#include "geometry/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <memory>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline bool strictDocument() {
  const int t = MyOcr.typeDoc;
  return t == 3 || t == 4 || t == 6 || t == 7 || t == 8;
}

inline uint8_t px(const cv::Mat& m, int x, int y) { return m.ptr<uint8_t>(y)[x]; }

// The first pixel of line[i..n) of the class (dark: below 128, its top bit clear).
template <bool kDark>
int nextOf(const uint8_t* line, int i, int n) {
#if defined(__SSE2__)
  for (; i + 16 <= n; i += 16) {
    int top = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i)));
    if (kDark) top = ~top & 0xFFFF;
    if (top != 0) return i + __builtin_ctz(static_cast<unsigned>(top));
  }
#endif
  for (; i < n; ++i)
    if ((line[i] < 128) == kDark) return i;
  return n;
}

#if defined(__SSE2__)
// One 16 x 16 tile of 8-bit pixels transposed.
void transposeTile(const uint8_t* s, size_t ss, uint8_t* d, size_t ds) {
  __m128i r[16], t[16];
  for (int i = 0; i < 16; ++i) r[i] = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i * ss));
  // Four rounds of interleaving rows i and i + 8 (bytes, then pairs, quads, eights) leave row k
  // holding column k.
  for (int round = 0; round < 4; ++round) {
    for (int i = 0; i < 8; ++i) {
      t[2 * i] = _mm_unpacklo_epi8(r[i], r[i + 8]);
      t[2 * i + 1] = _mm_unpackhi_epi8(r[i], r[i + 8]);
    }
    for (int i = 0; i < 16; ++i) r[i] = t[i];
  }
  for (int i = 0; i < 16; ++i) _mm_storeu_si128(reinterpret_cast<__m128i*>(d + i * ds), r[i]);
}
#endif

// The pixels of line[0..n) that are exactly 128.
int countOf128(const uint8_t* line, int n) {
  int count = 0, i = 0;
#if defined(__SSE2__)
  const __m128i v128 = _mm_set1_epi8(static_cast<char>(128));
  for (; i + 16 <= n; i += 16) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i));
    count += __builtin_popcount(static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(v, v128))));
  }
#endif
  for (; i < n; ++i) count += line[i] == 128;
  return count;
}

// Reads one line of n pixels as pairs of a dark run d and its light tail l: `pair(d, l, i)` when
// the dark pixel i closes a pair. `leading`, shared by a whole scan, skips pixels above 128
// until the first dark one (a pixel of 128 counts as light). Leaves the open run and its tail
// in d and l.
template <typename Pair>
void scanPairs(const uint8_t* line, int n, bool& leading, Pair pair, int& d, int& l) {
  d = l = 0;
  int i = 0;
  if (leading) {
    i = pvk::symbols::nextDark(line, 0, n);
    l = countOf128(line, i);
    if (i < n) leading = false;
  }
  while (i < n) {
    if (line[i] < 128) {
      const int j = pvk::symbols::nextLight(line, i, n);
      if (l > 0) {
        pair(d, l, i);
        d = j - i;
        l = 0;
      } else {
        d += j - i;
      }
      i = j;
    } else {
      const int j = pvk::symbols::nextDark(line, i, n);
      l += j - i;
      i = j;
    }
  }
}

// The last pixel before `end` of the class (dark: below 128), -1 when none.
template <bool kDark>
int lastOf(const uint8_t* line, int end) {
  int i = end;
#if defined(__SSE2__)
  for (; i >= 16; i -= 16) {
    int top = _mm_movemask_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(line + i - 16)));
    if (kDark) top = ~top & 0xFFFF;
    if (top != 0) return i - 16 + 31 - __builtin_clz(static_cast<unsigned>(top));
  }
#endif
  for (--i; i >= 0; --i)
    if ((line[i] < 128) == kDark) return i;
  return -1;
}

// Reads one line as scanPairs does, but only its dark runs of `least` pixels or more (least >=
// 2): shorter ones can be neither kept nor the longest of the scan. Each such run holds a pixel
// at an index one short of a multiple of least, so only those pixels are looked at, and a run
// found there is followed out to its ends. The open run and its tail are read from the end.
template <typename Pair>
void scanLongPairs(const uint8_t* line, int n, int least, Pair pair, int& d, int& l) {
  for (int x = least - 1; x < n; x += least) {
    if (line[x] >= 128) continue;
    const int start = lastOf<false>(line, x) + 1;
    const int end = pvk::symbols::nextLight(line, x, n);
    const int next = end < n ? pvk::symbols::nextDark(line, end, n) : n;
    if (next >= n) break;  // the line's last run: the open one
    pair(end - start, next - end, next);
    x = (next / least) * least - 1;  // the next step lands on the first sample from next on
  }
  const int lastDark = lastOf<true>(line, n);
  l = n - 1 - lastDark;
  d = lastDark < 0 ? 0 : lastDark - lastOf<false>(line, lastDark);
}

// The dark/light changes along n pixels s bytes apart, dark at or below v.
int changesAlong(const uint8_t* p, int n, size_t s, int v) {
  int changes = 0;
  bool dark = n > 0 && p[0] <= v;
  for (int i = 1; i < n; ++i) {
    const bool d = p[i * s] <= v;
    changes += d != dark;
    dark = d;
  }
  return changes;
}

// The longest dark run of a line and where it lies.
struct Run {
  int length = 0, line = 0, start = 0, end = 0;
};

}  // namespace

cv::Mat pvk::symbols::transposed(const cv::Mat& src) {
  cv::Mat dst;
#if defined(__SSE2__)
  // 16 x 16 tiles through the unpacks (the library moves 8-bit pixels one at a time); the last
  // tile of a row or column of tiles overlaps the one before it, writing the same pixels again.
  const int W = src.cols, H = src.rows;
  if (src.type() == CV_8UC1 && W >= 16 && H >= 16) {
    dst.create(W, H, CV_8UC1);
    for (int y = 0; y < H; y += 16) {
      const int ty = std::min(y, H - 16);
      for (int x = 0; x < W; x += 16) {
        const int tx = std::min(x, W - 16);
        transposeTile(src.ptr<uint8_t>(ty) + tx, src.step, dst.ptr<uint8_t>(tx) + ty, dst.step);
      }
    }
    return dst;
  }
#endif
  cv::transpose(src, dst);
  return dst;
}

// A letter, a word or a stray line cropped as a symbol has a solid or empty edge there; the
// edge row or column may be cut a pixel off the module row, hence three lines each.
bool pvk::symbols::dmTimingAt(const cv::Mat& crop, int v) {
  if (crop.empty() || crop.type() != CV_8UC1) return false;
  const int lines = std::min({3, crop.rows, crop.cols});
  bool top = false, right = false;
  for (int k = 0; k < lines && !top; ++k) top = changesAlong(crop.ptr<uint8_t>(k), crop.cols, 1, v) >= kDmTimingChanges;
  for (int k = 0; k < lines && top && !right; ++k)
    right = changesAlong(crop.ptr<uint8_t>(0) + crop.cols - 1 - k, crop.rows, crop.step, v) >= kDmTimingChanges;
  return top && right;
}

int pvk::symbols::nextDark(const uint8_t* line, int i, int n) { return nextOf<true>(line, i, n); }
int pvk::symbols::nextLight(const uint8_t* line, int i, int n) { return nextOf<false>(line, i, n); }

bool checkVariance(double mean, const int* runs, int tolerance, int last) {
  if (runs[0] < 1 || last < 0) return false;
  const int r = static_cast<int>(std::floor(mean + 0.5));
  for (int i = 0; i <= last && i < 10 && runs[i] >= 1; ++i)
    if (std::abs(r - runs[i]) > tolerance) return false;
  return true;
}

double imageReaderDM::checkRatio(const int* runs, int last) {
  if (last < 0) return 0.0;
  int sum = 0, m = 0;
  for (int i = 0; i <= last && i < 10 && runs[i] >= 1; ++i, ++m) sum += runs[i];
  if (m == 0) return 0.0;
  const double mean = static_cast<double>(sum) / m;
  int tol;
  if (mean > 5 && mean < 8) tol = static_cast<int>(0.25 * mean + 1);
  else if (mean < 5) tol = static_cast<int>(0.5 * mean);
  else tol = static_cast<int>(0.25 * mean);
  return checkVariance(mean, runs, tol, last) ? mean : 0.0;
}

// The dark runs of the two scans of the L search, read from the pixels once and replayed for
// each tolerance: per line, the pairs it closed and its open run at the end.
struct imageReaderDM::EdgeScans {
  struct Pair {
    int run, tail, at;
  };
  struct Scan {
    std::vector<Pair> pairs;
    std::vector<int> lineEnd;  // per line, the index past its pairs
    std::vector<std::pair<int, int>> open;  // per line, the open run and its tail
    bool leading = true;  // no pixel of the scan was dark
    int longest = 0;      // the longest run read so far
  };
  Scan columns, rows;  // columns left to right; rows from the bottom up to row 1

  explicit EdgeScans(const cv::Mat& img) {
    // Columns read as the rows of the transposed image, in memory order.
    const cv::Mat t = pvk::symbols::transposed(img);
    columns.lineEnd.reserve(t.rows);
    columns.open.reserve(t.rows);
    rows.lineEnd.reserve(img.rows);
    rows.open.reserve(img.rows);
    for (int x = 0; x < t.rows; ++x) read(columns, t.ptr<uint8_t>(x), t.cols);
    for (int y = img.rows - 1; y >= 1; --y) read(rows, img.ptr<uint8_t>(y), img.cols);
  }

  // A pair can win only when its run reaches the longest offered before it, less the largest
  // tolerance (the best run lags the longest by at most the tolerance): shorter ones are not kept,
  // and once the longest is 4 or more a line is read for the runs that may be kept only.
  static void read(Scan& s, const uint8_t* line, int n) {
    int d, l;
    auto pair = [&s](int run, int tail, int i) {
      if (run >= s.longest - 2) s.pairs.push_back({run, tail, i});
      s.longest = std::max(s.longest, run);
    };
    if (s.leading || s.longest < 4) scanPairs(line, n, s.leading, pair, d, l);
    else scanLongPairs(line, n, s.longest - 2, pair, d, l);
    s.longest = std::max(s.longest, d);
    s.lineEnd.push_back(static_cast<int>(s.pairs.size()));
    s.open.emplace_back(d, l);
  }
};

int imageReaderDM::findDataMatrix(int tolerance, const cv::Mat& img) {
  if (img.empty()) {
    WriteTrace("PDataMatrix - findDataMatrix with NULL image", false);
    return -1;
  }
  const int dpi = MyOcr.dmDpi;
  if (img.rows < dpi * 32 / 300 || img.cols < dpi * 32 / 300 || img.cols == 0) return -1;
  return findDataMatrix(tolerance, img, EdgeScans(img));
}

int imageReaderDM::findDataMatrix(int tolerance, const cv::Mat& img, const EdgeScans& scans) {
  const int W = img.cols, H = img.rows, dpi = MyOcr.dmDpi;
  if (H < dpi * 32 / 300 || W < dpi * 32 / 300 || W == 0) return -1;

  // Left edge: the longest vertical dark run, column by column.
  Run best;
  const EdgeScans::Scan& cs = scans.columns;
  for (int x = 0, k = 0; x < W; ++x) {
    for (; k < cs.lineEnd[x]; ++k) {
      const EdgeScans::Pair& p = cs.pairs[k];
      if (p.run > best.length) best = {p.run, x, std::max(0, p.at - p.run - p.tail), std::max(0, p.at - p.tail)};
    }
    const int d = cs.open[x].first, l = cs.open[x].second;
    if (d > best.length && H - d - l < best.start) best.start = std::max(0, H - d - l);
    if (d > best.length && (d > best.length + tolerance || x <= best.line))
      best = {d, x, std::max(0, H - d - l), std::max(0, H - l)};
  }
  if (cs.leading) return -1;

  // Bottom edge: the longest horizontal dark run, rows from the bottom up.
  Run best2;
  const EdgeScans::Scan& rs = scans.rows;
  for (int y = H - 1, line = 0, k = 0; y >= 1; --y, ++line) {
    for (; k < rs.lineEnd[line]; ++k) {
      const EdgeScans::Pair& p = rs.pairs[k];
      const int start = std::max(0, p.at - p.run - p.tail), end = std::max(0, p.at - p.tail);
      if (p.run > best2.length + tolerance) best2 = {p.run, y, start, end};
      else if (p.run == best2.length && y > best2.line) best2 = {best2.length, y, start, end};
    }
    const int d = rs.open[line].first, l = rs.open[line].second;
    if (d > best2.length + tolerance) best2 = {d, y, std::max(0, W - d - l), std::max(0, W - l)};
    else if (d + tolerance >= best2.length && y > best2.line)
      best2 = {best2.length, y, std::max(0, W - d - l), std::max(0, W - l)};
  }
  if (rs.leading || best2.line <= 15 || best2.end <= 15) return -1;

  const int lim = dpi / 30;
  if (std::abs(best.end - best2.line) > lim || std::abs(best.line - best2.start) > lim) return -1;
  const float left = static_cast<float>(std::clamp(std::min(best.line, best2.start), 0, W - 1));
  const float right = static_cast<float>(std::clamp(best2.end, 0, W - 1));
  const float top = static_cast<float>(std::clamp(best.start, 0, H - 1));
  const float bottom = static_cast<float>(std::clamp(std::max(best.end, best2.line), 0, H - 1));
  const float c[8] = {left, top, left, bottom, right, bottom, right, top};
  std::copy(c, c + 8, corners);
  return 0;
}

int imageReaderDM::findDataMatrixTirna(int, const cv::Mat& img) {
  if (img.empty()) {
    WriteTrace("PDataMatrix - findDataMatrix with NULL image", false);
    return -1;
  }
  const int W = img.cols, H = img.rows;
  if (H < 32 || W < 32) return -1;
  auto rowHas = [&](int y) {
    const uint8_t* r = img.ptr<uint8_t>(y);
    return std::any_of(r, r + W, [](uint8_t v) { return v < 129; });
  };
  auto colHas = [&](int x) {
    for (int y = 0; y < H; ++y)
      if (px(img, x, y) < 129) return true;
    return false;
  };
  int top = 0, bottom = H - 1, left = 0, right = W - 1;
  while (top < H && !rowHas(top)) ++top;
  while (bottom >= 1 && !rowHas(bottom)) --bottom;
  while (left < W && !colHas(left)) ++left;
  while (right >= 1 && !colHas(right)) --right;
  if (top >= H || bottom < 1 || left >= W || right < 1) return -1;
  const float c[8] = {float(left), float(top), float(left), float(bottom), float(right), float(bottom),
                      float(right), float(top)};
  std::copy(c, c + 8, corners);
  return 0;
}

cv::Mat imageReaderDM::cropSymbol(const cv::Mat& img) {
  const cv::Point2f tl(corners[0], corners[1]), bl(corners[2], corners[3]), br(corners[4], corners[5]),
      tr(corners[6], corners[7]);
  const float w = static_cast<float>(std::min(cv::norm(tl - tr), cv::norm(bl - br)));
  const float h = static_cast<float>(std::min(cv::norm(tl - bl), cv::norm(tr - br)));
  const cv::Point2f quad[4] = {tl, bl, br, tr};
  cv::Mat crop = pvk::geometry::perspectiveCrop(img, quad, w, h);
  if (crop.empty()) WriteTrace("invalid imageCropped", false);
  return crop;
}

cv::Mat imageReaderDM::transformImage(int threshold, const cv::Mat& img) {
  cv::Mat crop = cropSymbol(img);
  if (!crop.empty()) pvk::geometry::thresholdBinary(crop, threshold);
  return crop;
}

// The corners of the symbol in img at one tolerance: the L edges, or on strict documents the
// bounding box of the ink where the L looks like a stray line. False when neither is found.
bool imageReaderDM::locate(const cv::Mat& img, int tolerance, const EdgeScans* scans) {
  if (img.empty()) {
    WriteTrace("Datamatrix, NULL imgSrc", false);
    return false;
  }
  const bool strict = strictDocument();
  bool fallback = false;
  if ((scans ? findDataMatrix(tolerance, img, *scans) : findDataMatrix(tolerance, img)) != 0) {
    if (!strict) return false;
    fallback = true;
  } else if (strict) {
    const float* c = corners;
    const float ys[4] = {c[1], c[3], c[5], c[7]}, xs[4] = {c[0], c[2], c[4], c[6]};
    const int ySpan = static_cast<int>(*std::max_element(ys, ys + 4) - *std::min_element(ys, ys + 4));
    const int xSpan = static_cast<int>(*std::max_element(xs, xs + 4) - *std::min_element(xs, xs + 4));
    const int dpi = MyOcr.dmDpi, lim = dpi * 130 / 300;
    // A short edge is taken for a stray line: the bounding box stands in for the L.
    if (ySpan < lim && findDataMatrixTirna(tolerance, img) != 0) return false;
    if (xSpan < lim && findDataMatrixTirna(tolerance, img) != 0) return false;
    fallback = std::abs(ySpan - xSpan) > dpi / 30;
  }
  return !fallback || findDataMatrixTirna(tolerance, img) == 0;
}

cv::Mat imageReaderDM::adjust(const cv::Mat& img, int threshold, int tolerance) {
  if (!locate(img, tolerance, nullptr)) return cv::Mat();
  return transformImage(threshold, img);
}

cv::Mat imageReaderDM::locateSymbol(const cv::Mat& img) {
  const int dpi = MyOcr.dmDpi;
  std::unique_ptr<EdgeScans> scans;
  if (img.rows >= dpi * 32 / 300 && img.cols >= dpi * 32 / 300 && img.cols > 0) scans.reset(new EdgeScans(img));
  for (int tolerance = 0; tolerance <= 2; ++tolerance) {
    if (pvk::core::stopRequested()) break;
    if (scans ? !locate(img, tolerance, scans.get()) : !locate(img, tolerance, nullptr)) continue;
    cv::Mat crop = cropSymbol(img);
    if (!crop.empty()) return crop;
  }
  return cv::Mat();
}

cv::Mat imageReaderDM::adjustImage(const cv::Mat& img, int threshold) {
  cv::Mat b = locateSymbol(img);
  if (!b.empty()) pvk::geometry::thresholdBinary(b, threshold);
  return b;
}
