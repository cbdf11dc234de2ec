// Where the PDF417 symbol lies in a cleaned zone (bars bright on dark): the columns it spans,
// its skew, and the boundaries of its rows down the straightened image.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <vector>

#include "ocr/ocr.h"
#include "symbols/symbols.h"

using pvk::symbols::kPdfMaxRows;
using pvk::symbols::pdfTrace;

namespace {

// The first run of marked columns (counted across gaps of at most 200 columns) longer than w
// and than twice the gap after it; -1 when none.
int firstQualifyingRun(const std::vector<uint8_t>& marked, int w)
{
  const int n = static_cast<int>(marked.size());
  int count = 0, from = -1;
  for (int x = 0; x < n;) {
    if (!marked[x]) {
      ++x;
      continue;
    }
    int e = x;
    while (e < n && marked[e])
      ++e;
    int g = e;
    while (g < n && !marked[g])
      ++g;
    if (from < 0)
      from = x;
    count += e - x;
    if (count > w && count > 2 * (g - e))
      return from;
    if (g - e > 200) {
      count = 0;
      from = -1;
    }
    x = g;
  }
  return -1;
}

// Mean grey of the lines of a row over the first cols columns (bars are bright here).
long meanBrightness(const PVKImg& img, const datiRigheType& row, int cols)
{
  long sum = 0, count = 0;
  for (int y = row.first; y < row.last && y < img.height; ++y) {
    const uint8_t* p = img.data + static_cast<size_t>(y) * img.stride;
    for (int x = 0; x < cols; ++x)
      sum += p[x];
    count += cols;
  }
  return count ? sum / count : 0;
}

}  // namespace

// ---- Horizontal extent ----------------------------------------------------------------------

bool pvk::symbols::pdfFindExtent(const PVKImg& img, int& left, int& right)
{
  const int w = img.width, h = img.height;
  // 65535 lines of 255 at most: 32 bits hold a column's sum, and the sums run many at a time.
  std::vector<uint32_t> column(w, 0);
  for (int y = 0; y + 1 < h; ++y) {
    const uint8_t* row = img.data + static_cast<size_t>(y) * img.stride;
    for (int x = 0; x < w; ++x)
      column[x] += row[x];
  }
  const std::vector<long> sums(column.begin(), column.end());
  long t = 0;
  for (long s : sums)
    t = std::max(t, s);
  t /= 5;
  std::vector<uint8_t> marked(w);
  left = -1;
  for (int attempt = 0; attempt < 5 && left < 0; ++attempt) {
    for (int x = 0; x < w; ++x)
      marked[x] = sums[x] > t || (x > 0 && x + 1 < w && sums[x - 1] > t && sums[x + 1] > t);
    for (int width = 20; width >= 6 && left < 0; width -= 2)
      left = firstQualifyingRun(marked, width);
    if (left < 0)
      t = std::max(t * 12 / 10, 10L);
  }
  if (left < 0)
    return false;
  right = w - 1;
  while (right > left + 10 && sums[right] <= 100)
    --right;
  // Trailing marks (text, specks) beyond a gap wider than 10 columns are not the symbol. A
  // symbol of few rows may be blank across all of them for up to 6 modules: the gap must
  // also be wider than that, a module being an eighth of the start pattern's first bar.
  int bar = 0;
  while (left + bar < w && marked[left + bar])
    ++bar;
  const int minGap = std::max(10, 6 * bar / 8);
  for (;;) {
    int gapEnd = -1;
    for (int x = right, seen = 0, gap = 0; x > left + 10 && seen < 100; --x, ++seen) {
      gap = marked[x] ? 0 : gap + 1;
      if (gap > minGap) {
        gapEnd = x;
        break;
      }
    }
    if (gapEnd < 0)
      break;
    int x = gapEnd;
    while (x > left + 10 && !marked[x])
      --x;
    if (x <= left + 10)
      break;
    right = x;
  }
  return true;
}

// ---- Rows ----------------------------------------------------------------------------------

int pvk::symbols::pdfFindRows(const PVKImg& img, datiRigheType* rows, float& meanHeight, int& base, int lag)
{
  const int h = img.height, cols = std::min(2 * h, static_cast<int>(img.width));
  const int n = h - lag;
  if (n < 1)
    return 0;
  std::vector<long> d(n, 0);
  for (int y = 0; y < n; ++y) {
    const uint8_t* a = img.data + static_cast<size_t>(y) * img.stride;
    const uint8_t* b = a + lag * static_cast<size_t>(img.stride);
    long s = 0;
    for (int x = 0; x < cols; ++x)
      s += std::abs(b[x] - a[x]);
    d[y] = s;
  }
  int y0 = 0;
  while (y0 < n && d[y0] <= 99)
    ++y0;
  if (y0 == n)
    return 0;
  long m = 0;
  for (int y = y0; y < n; ++y)
    m += d[y];
  m /= n - y0;
  int y = y0;
  while (y < n && d[y] < m)
    ++y;
  if (y >= n - 20)
    return 0;
  // An extreme may be flat (crisp print gives plateaus as wide as the 4-line difference): it is
  // the line where the profile turns into it, the profile turning back after the flat.
  auto flatEnd = [&](int k) {
    while (k + 1 < n && d[k + 1] == d[k])
      ++k;
    return k;
  };
  auto localMin = [&](int k) {
    const int e = k > 0 ? flatEnd(k) : 0;
    return k > 0 && e + 1 < n && d[k] < d[k - 1] && d[e] < d[e + 1];
  };
  auto localMax = [&](int k) {
    const int e = k > 0 ? flatEnd(k) : 0;
    return k > 0 && e + 1 < n && d[k] > d[k - 1] && d[e] > d[e + 1];
  };
  std::vector<int> peaks;
  while (y < n) {
    int peakAt = y, peakEnd = y;
    long peak = d[y];
    for (++y; y < n; ++y) {
      // A peak found below the mean (a weak boundary) ends where it falls.
      if ((d[y] < m && d[y] < peak) || (localMin(y) && d[y] < peak - m / 8))
        break;
      if (d[y] > peak) {
        peak = d[y];
        peakAt = peakEnd = y;
      } else if (d[y] == peak && peakEnd == y - 1) {
        peakEnd = y;
      }
    }
    // A flat top stands for the middle of its lines, where a blurred edge would peak.
    peaks.push_back((peakAt + peakEnd + 1) / 2);
    if (peaks.size() > kPdfMaxRows)
      return 0;
    long valley = y < n ? d[y] : 0;
    for (++y; y < n; ++y) {
      if (d[y] >= m || (localMax(y) && d[y] > valley + m / 8))
        break;
      valley = std::min(valley, d[y]);
    }
  }
  const int nPeaks = static_cast<int>(peaks.size());
  if (nPeaks < 2)
    return 0;
  // A boundary lies half the difference's reach below its peak.
  const int below = (lag + 1) / 2;
  for (int k = 0; k < nPeaks; ++k) {
    rows[k].first = std::min(peaks[k] + below, h - 1);
    rows[k].last = k + 1 < nPeaks ? std::min(peaks[k + 1] + below, h - 1) : h - 1;
  }
  meanHeight = static_cast<float>(rows[nPeaks - 1].first - rows[0].first) / (nPeaks - 1);
  // The last peak is the symbol's bottom edge when blank paper follows it: no row there.
  int nRows = nPeaks;
  if (meanBrightness(img, rows[nPeaks - 1], cols) * 4 < meanBrightness(img, rows[0], cols))
    --nRows;
  if (nRows < 2)
    return 0;
  datiRigheType& lastRow = rows[nRows - 1];
  if (lastRow.last - lastRow.first < meanHeight)
    lastRow.last = std::min(lastRow.first + static_cast<int>(meanHeight), h - 1);
  base = rows[0].first;
  for (int k = 0; k < nRows; ++k) {
    rows[k].first -= base;
    rows[k].last -= base;
    rows[k].height = rows[k].last - rows[k].first;
  }
  return nRows;
}

// ---- Skew ----------------------------------------------------------------------------------

float CalcolaAngoloPDF(PVKImg* img, int left, int right)
{
  if (!img || !img->data) {
    pdfTrace("", "unexpected null pointer in evaluating PDF rotation");
    return 0;
  }
  const int w = img->width;
  if (img->height <= 19 || right - left <= 99)
    return 0;
  const int leftStart = std::max(left - 5, 0);
  const int rightEnd = w <= right + 5 ? w - 5 : right - 5;
  // The first row where a column of the band has seen more than 10 bright pixels.
  auto firstTop = [&](int from, int step, int& row, int& col) {
    int counts[50] = {};
    for (int y = 0; y < img->height; ++y) {
      const uint8_t* p = img->data + static_cast<size_t>(y) * img->stride;
      for (int k = 0; k < 50; ++k) {
        int x = from + step * k;
        if (x < 0 || x >= w)
          break;
        if (p[x] > 100 && ++counts[k] > 10) {
          row = y;
          col = k;
          return true;
        }
      }
    }
    return false;
  };
  int r1, c1, r2, c2;
  if (!firstTop(leftStart, 1, r1, c1) || !firstTop(rightEnd, -1, r2, c2))
    return 0;
  int dx = (rightEnd - c2) - (leftStart + c1);
  if (dx <= 1)
    return 0;
  float angle = std::atan(static_cast<float>(r2 - r1) / static_cast<float>(dx));
  return alfa_is_zero(angle) ? 0.0f : angle;
}
