// The DataMatrix locator of one binarisation attempt: the solid L edges of the symbol in the
// upright zone image, its crop and binarisation, and the module size and sampling origin.
#include "symbols/symbols.h"

#include "core/records.h"
#include "core/trace.h"
#include "geometry/geometry.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

namespace {

inline bool strictDocument() {
  const int t = MyOcr.typeDoc;
  return t == 3 || t == 4 || t == 6 || t == 7 || t == 8;
}

inline uint8_t px(const cv::Mat& m, int x, int y) { return m.ptr<uint8_t>(y)[x]; }

// Reads one line of n pixels as pairs of a dark run d and its light tail l: `pair(d, l, i)` when
// the dark pixel i closes a pair. `leading`, shared by a whole scan, skips pixels above 128
// until the first dark one. Leaves the open run and its tail in d and l.
template <typename Pixel, typename Pair>
void scanPairs(int n, Pixel at, bool& leading, Pair pair, int& d, int& l) {
  d = l = 0;
  for (int i = 0; i < n; ++i) {
    const uint8_t v = at(i);
    if (leading && v > 128) continue;
    if (v >= 128) {
      ++l;
      continue;
    }
    leading = false;
    if (l > 0) {
      pair(d, l, i);
      d = 1;
      l = 0;
    } else {
      ++d;
    }
  }
}

// The longest dark run of a line and where it lies.
struct Run {
  int length = 0, line = 0, start = 0, end = 0;
};

}  // namespace

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

int imageReaderDM::findDataMatrix(int tolerance, const cv::Mat& img) {
  if (img.empty()) {
    WriteTrace("PDataMatrix - findDataMatrix with NULL image", false);
    return -1;
  }
  const int W = img.cols, H = img.rows, dpi = MyOcr.dmDpi;
  if (H < dpi * 32 / 300 || W < dpi * 32 / 300 || W == 0) return -1;

  // Left edge: the longest vertical dark run, column by column.
  Run best;
  bool leading = true;
  for (int x = 0; x < W; ++x) {
    int d, l;
    scanPairs(H, [&](int y) { return px(img, x, y); }, leading,
              [&](int run, int tail, int y) {
                if (run > best.length) best = {run, x, std::max(0, y - run - tail), std::max(0, y - tail)};
              },
              d, l);
    if (d > best.length && H - d - l < best.start) best.start = std::max(0, H - d - l);
    if (d > best.length && (d > best.length + tolerance || x <= best.line))
      best = {d, x, std::max(0, H - d - l), std::max(0, H - l)};
  }
  if (leading) return -1;

  // Bottom edge: the longest horizontal dark run, rows from the bottom up.
  Run best2;
  leading = true;
  for (int y = H - 1; y >= 1; --y) {
    int d, l;
    scanPairs(W, [&](int x) { return px(img, x, y); }, leading,
              [&](int run, int tail, int x) {
                if (run > best2.length + tolerance) best2 = {run, y, std::max(0, x - run - tail), std::max(0, x - tail)};
                else if (run == best2.length && y > best2.line)
                  best2 = {best2.length, y, std::max(0, x - run - tail), std::max(0, x - tail)};
              },
              d, l);
    if (d > best2.length + tolerance) best2 = {d, y, std::max(0, W - d - l), std::max(0, W - l)};
    else if (d + tolerance >= best2.length && y > best2.line)
      best2 = {best2.length, y, std::max(0, W - d - l), std::max(0, W - l)};
  }
  if (leading || best2.line <= 15 || best2.end <= 15) return -1;

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

cv::Mat imageReaderDM::transformImage(int threshold, const cv::Mat& img) {
  const cv::Point2f tl(corners[0], corners[1]), bl(corners[2], corners[3]), br(corners[4], corners[5]),
      tr(corners[6], corners[7]);
  const float w = static_cast<float>(std::min(cv::norm(tl - tr), cv::norm(bl - br)));
  const float h = static_cast<float>(std::min(cv::norm(tl - bl), cv::norm(tr - br)));
  const cv::Point2f quad[4] = {tl, bl, br, tr};
  cv::Mat crop = pvk::geometry::perspectiveCrop(img, quad, w, h);
  if (crop.empty()) {
    WriteTrace("invalid imageCropped", false);
    return cv::Mat();
  }
  pvk::geometry::thresholdBinary(crop, threshold);
  return crop;
}

cv::Mat imageReaderDM::adjust(const cv::Mat& img, int threshold, int tolerance) {
  if (img.empty()) {
    WriteTrace("Datamatrix, NULL imgSrc", false);
    return cv::Mat();
  }
  const bool strict = strictDocument();
  bool fallback = false;
  if (findDataMatrix(tolerance, img) != 0) {
    if (!strict) return cv::Mat();
    fallback = true;
  } else if (strict) {
    const float* c = corners;
    const float ys[4] = {c[1], c[3], c[5], c[7]}, xs[4] = {c[0], c[2], c[4], c[6]};
    const int ySpan = static_cast<int>(*std::max_element(ys, ys + 4) - *std::min_element(ys, ys + 4));
    const int xSpan = static_cast<int>(*std::max_element(xs, xs + 4) - *std::min_element(xs, xs + 4));
    const int dpi = MyOcr.dmDpi, lim = dpi * 130 / 300;
    // A short edge is taken for a stray line: the bounding box stands in for the L.
    if (ySpan < lim && findDataMatrixTirna(tolerance, img) != 0) return cv::Mat();
    if (xSpan < lim && findDataMatrixTirna(tolerance, img) != 0) return cv::Mat();
    fallback = std::abs(ySpan - xSpan) > dpi / 30;
  }
  if (fallback && findDataMatrixTirna(tolerance, img) != 0) return cv::Mat();
  return transformImage(threshold, img);
}

cv::Mat imageReaderDM::adjustImage(const cv::Mat& img, int threshold) {
  for (int tolerance = 0; tolerance <= 2; ++tolerance) {
    if (pvk::core::stopRequested()) break;
    cv::Mat b = adjust(img, threshold, tolerance);
    if (!b.empty()) return b;
  }
  return cv::Mat();
}
