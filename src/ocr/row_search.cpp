// Text bands and columns of a zone image: dark rows (or columns) of a blurred copy grouped into
// bands, and the row-profile study of the zone reader with its thresholds and band search.
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/shims.h"
#include "core/trace.h"
#include "geometry/geometry.h"
#include "ocr/ocr.h"

uint8_t ValSoglia[kSoglie];
uint8_t OptValSoglia[kSoglie];

namespace {

struct Band {
  int start, height;
};

// Groups lines (rows or columns) 0..n-1 by darkOf into bands: a band opens at a dark line and
// closes after more than gap light lines or at the last line. Returns false past `most` bands.
template <class DarkOf>
bool groupLines(int n, int margin, int gap, int most, DarkOf darkOf, std::vector<Band>& out) {
  int open = -1, light = 0, lastEnd = 0;
  for (int r = margin; r < n - margin; ++r) {
    bool dark = darkOf(r);
    if (open < 0) {
      if (dark && r >= lastEnd) open = r, light = 0;
      continue;
    }
    light = dark ? 0 : light + 1;
    bool lastLine = r == n - margin - 1;
    if (light > gap || lastLine) {
      int start = open <= margin ? 0 : open;
      int end = std::max(r, start + 1);
      if (end >= n - margin - 1) end = n - 1;
      out.push_back({start, std::min(std::max(end - start, 0), n - start)});
      if (static_cast<int>(out.size()) >= most) return false;
      lastEnd = r + 1;
      open = -1;
    }
  }
  return true;
}

void widenBands(std::vector<Band>& bands, int widen, int n) {
  for (Band& b : bands) {
    if (b.start > widen) {
      b.start -= widen;
      b.height += widen;
    } else {
      b.height += b.start;
      b.start = 0;
    }
    if (b.start + b.height + widen < n) b.height += widen;
    else b.height = std::max(n - b.start - 1, 1);
  }
}

// The blurred copy, exact below `floor` (rows with nothing below it may come back white).
cv::Mat blurred(const PVKImg* img, int kw, int kh, uint8_t floor = 0) {
  cv::Mat src(img->height, img->width, CV_8UC1, img->data, img->stride), dst;
  if (kh == 15 && (kw == 15 || kw == 3)) {
    dst.create(src.size(), CV_8UC1);
    pvk::geometry::gaussianBlur15(src, dst, pvk::geometry::Lanes::Sixteen, kw, floor);
  } else {
    cv::GaussianBlur(src, dst, cv::Size(kw, kh), 0);
  }
  return dst;
}

bool usable(const PVKImg* img) { return img && img->data && img->width > 0 && img->height > 0 && img->stride >= img->width; }

// Whether any pixel is darker than `level`. The blur's weights are positive and sum to one, so
// its copy of an image with none has none either and no line of it is dark: the blur, most of
// the cost of a search, is spared on blank paper.
bool anyDarker(const PVKImg* img, uint8_t level) {
  for (int y = 0; y < img->height; ++y) {
    const uint8_t* p = img->data + static_cast<size_t>(y) * img->stride;
    uint8_t least = 255;
    for (int x = 0; x < img->width; ++x) least = std::min(least, p[x]);
    if (least < level) return true;
  }
  return false;
}

}  // namespace

int CercaRowBase(PVKImg* zone, RigaType* out, uint16_t margin, uint16_t gap, uint16_t widen, uint8_t darkLevel,
                 int maxDark) {
  std::memset(out, 0, sizeof(RigaType) * kMaxRighe);
  int H = zone ? zone->height : 0;
  out[0] = {0, static_cast<uint16_t>(H), 0};
  if (!usable(zone)) return 1;
  const int W = zone->width;
  if ((margin + 31 >= H && W < 128) || W < 8 * margin || !anyDarker(zone, darkLevel)) return 1;
  cv::Mat b = blurred(zone, 15, 15, darkLevel);
  std::vector<Band> bands;
  auto dark = [&](int r) {
    const uint8_t* p = b.ptr<uint8_t>(r);
    int n = 0;
    for (int x = margin; x < W - margin; ++x) n += p[x] < darkLevel;
    return n > maxDark;
  };
  if (!groupLines(H, margin, gap, kMaxRighe, dark, bands)) {
    WriteTrace("too many cols", false);
    return 1;
  }
  if (bands.empty()) return 1;
  widenBands(bands, widen, H);
  for (size_t i = 0; i < bands.size(); ++i)
    out[i] = {static_cast<uint16_t>(bands[i].start), static_cast<uint16_t>(bands[i].height), 0};
  return static_cast<int>(bands.size());
}

int CercaColBase(PVKImg zone, ClmnType* out, uint16_t margin, uint16_t gap, uint16_t widen, uint8_t darkLevel,
                 int maxDark) {
  std::memset(out, 0, sizeof(ClmnType) * kMaxColonne);
  int W = zone.width;
  out[0] = {0, static_cast<uint16_t>(W)};
  if (!usable(&zone)) return 1;
  const int H = zone.height;
  if ((H < 64 && margin + 127 >= W) || !anyDarker(&zone, darkLevel)) return 1;
  cv::Mat b = blurred(&zone, 3, 15, darkLevel);
  // Each column's dark pixels, counted along the rows as they lie in memory.
  std::vector<int> darkIn(W, 0);
  for (int y = margin; y < H - margin; ++y) {
    const uint8_t* p = b.ptr<uint8_t>(y);
    for (int x = 0; x < W; ++x) darkIn[x] += p[x] < darkLevel;
  }
  std::vector<Band> cols;
  auto dark = [&](int c) { return darkIn[c] > maxDark; };
  if (!groupLines(W, margin, gap, kMaxColonne, dark, cols)) {
    WriteTrace("too many cols", false);
    return 1;
  }
  if (cols.empty()) return 1;
  widenBands(cols, widen, W);
  for (size_t i = 0; i < cols.size(); ++i)
    out[i] = {static_cast<uint16_t>(cols[i].start), static_cast<uint16_t>(cols[i].height)};
  return static_cast<int>(cols.size());
}

void allarga(RigaType* bands, uint16_t n, uint16_t height, uint16_t k) {
  if (!bands || n < 1 || n > kMaxRighe) return;
  std::vector<RigaType> was(bands, bands + n);
  for (int i = 0; i < n; ++i) {
    int prevEnd = i > 0 ? was[i - 1].start + was[i - 1].height : 0;
    int nextStart = i + 1 < n ? was[i + 1].start : height - 1;
    int start = std::max({static_cast<int>(was[i].start) - k, prevEnd, 0});
    start = std::min(start, static_cast<int>(was[i].start));
    int end = std::min(was[i].start + was[i].height + k - 1, std::max(nextStart, was[i].start + was[i].height));
    bands[i].start = static_cast<uint16_t>(start);
    bands[i].height = static_cast<uint16_t>(std::max(end - start, 0));
  }
}
