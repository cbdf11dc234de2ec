// The DataMatrix reader entry: the symbol's outline in the zone, its upright warp, the passes
// of up to four tries, and the retries (square output, a border cut away, the zone doubled to
// 600 dpi).
#include "symbols/symbols.h"

#include "core/records.h"
#include "core/trace.h"
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>
#include <vector>

namespace {

using pvk::symbols::dm::Reading;
using pvk::symbols::dm::runList;
using pvk::symbols::dm::thresholdInto;

inline bool strictDocument() {
  const int t = MyOcr.typeDoc;
  return t == 3 || t == 4 || t == 6 || t == 7 || t == 8;
}

constexpr int kOutlineBlur = 15;

// Points of a contour that lie at a corner of a cols x rows zone.
int cornerPoints(const std::vector<cv::Point>& contour, int cols, int rows) {
  int n = 0;
  for (const cv::Point& p : contour)
    if ((p.x > cols - 3 || p.x < 2) && (p.y > rows - 3 || p.y < 2)) ++n;
  return n;
}

// A dark surround that fills the zone's corners is the background a label lies on, not a
// symbol: its largest hole, when that makes a good part of it, is the label's paper, which
// holds the symbol. Otherwise the contour itself.
int holeOfSurround(const std::vector<std::vector<cv::Point>>& contours, const std::vector<cv::Vec4i>& tree, int k,
                   int cols, int rows, double small) {
  if (cornerPoints(contours[k], cols, rows) < 2) return k;
  const double area = cv::contourArea(contours[k], false);
  int best = k;
  double bestArea = std::max(small, area / 4);
  for (int c = tree[k][2]; c >= 0; c = tree[c][0]) {
    const double a = cv::contourArea(contours[c], false);
    if (a > bestArea) {
      best = c;
      bestArea = a;
    }
  }
  return best;
}

// The binary image of the dark eroded by 3 and dilated by 7 pixels, thresholded from the
// blurred zone already shaped so (Otsu's threshold of the blur when 0, written back).
constexpr int kOutlineErode = 7, kOutlineDilate = 15;

// The outline search on the zone's blur, shaped: the largest contour that fits; `hole` tells
// that it is the paper inside a dark surround.
bool outlineOf(const cv::Mat& blurred, const cv::Mat& shaped, cv::Mat& bin, std::vector<std::vector<cv::Point>>& found,
               double& threshold, int dpi, bool& hole) {
  if (threshold == 0) threshold = pvk::geometry::otsuLevel(blurred);
  thresholdInto(shaped, bin, static_cast<int>(std::floor(threshold)), 0);
  // Nothing dark at this threshold: no contour, and no need to trace the image for none.
  if (cv::countNonZero(bin) == 0) return false;
  std::vector<cv::Vec4i> tree;
  const std::vector<std::vector<cv::Point>> contours = pvk::geometry::treeContours(bin, &tree);
  // The smallest symbol read is 10 x 10 modules of 10 mil, a tenth of an inch square: a blob
  // of less area is no symbol at this resolution.
  const double big = 25600 * dpi / 300, small = (dpi / 10.0) * (dpi / 10.0);
  const bool strict = strictDocument();
  int top[4] = {-1, -1, -1, -1};
  double areas[4] = {};
  bool touchesFrame = false;
  for (int k = 0; k < static_cast<int>(contours.size()); ++k) {
    const double area = cv::contourArea(contours[k], false);
    if (strict && area > big && cornerPoints(contours[k], blurred.cols, blurred.rows) >= 2) {
      touchesFrame = true;
      continue;
    }
    if (area <= small) continue;
    for (int s = 0; s < 4; ++s) {
      if (top[s] >= 0 && areas[s] > area) continue;
      for (int m = 3; m > s; --m) {
        top[m] = top[m - 1];
        areas[m] = areas[m - 1];
      }
      top[s] = k;
      areas[s] = area;
      break;
    }
  }
  if (top[0] < 0) return false;
  int chosen = top[0];
  if (touchesFrame && top[1] >= 0 && contours.size() > 1 && cv::contourArea(contours[1], false) > 9.0) chosen = top[1];
  const int outer = chosen;
  if (!strict) chosen = holeOfSurround(contours, tree, chosen, blurred.cols, blurred.rows, small);
  hole = chosen != outer;
  found.push_back(contours[chosen]);
  return true;
}

// The outline search at threshold t (0: Otsu's of the blur), answered from an earlier search
// at the same threshold when there was one.
const Reading::OutlineTry& outlineAt(Reading& st, double t) {
  for (const Reading::OutlineTry& o : st.outlines)
    if (o.asked == t) return o;
  Reading::OutlineTry o{t, t, false, false, {}};
  std::vector<std::vector<cv::Point>> found;
  o.found = outlineOf(st.blurred, st.shaped, st.bin, found, o.threshold, st.img.dpi, o.hole);
  if (o.found) o.outline = std::move(found.back());
  st.outlines.push_back(std::move(o));
  return st.outlines.back();
}

// The symbol the locator finds in the upright warp from corners c to a x b, answered from an
// earlier warp alike when there was one (the same pixels give the same crop).
cv::Mat locatedSymbol(Reading& st, const cv::Point2f c[3], int a, int b) {
  for (const Reading::UprightTry& u : st.uprights)
    if (u.width == a && u.height == b && std::equal(c, c + 3, u.corners)) return u.crop;
  Reading::UprightTry u{{c[0], c[1], c[2]}, a, b, cv::Mat()};
  // Below the side the L search needs, and the side its bounding-box stand-in needs, the
  // locator finds nothing in any warp: no need to warp.
  const int least = std::min(32, MyOcr.dmDpi * 32 / 300);
  if (std::min(a, b) >= least) u.crop = imageReaderDM().locateSymbol(pvk::geometry::uprightWarp(st.image, c, a, b));
  st.uprights.push_back(u);
  return u.crop;
}

// The corners, size and warp of one try's outline and the symbol the locator cropped from it
// (empty: none); false when the try is skipped.
bool uprightSymbol(Reading& st, const std::vector<cv::Point>& outline, bool hole, cv::Mat& crop) {
  const cv::RotatedRect box = pvk::geometry::minAreaBox(outline);
  cv::Point2f p[4];
  pvk::geometry::boxCorners(box, p);
  if (std::memcmp(p, st.prev, sizeof p) == 0) return false;
  std::memcpy(st.prev, p, sizeof p);
  const int w = static_cast<int>(box.size.width), h = static_cast<int>(box.size.height);
  if (w < 16 || h < 16) return false;
  int a = box.angle < -45 ? h : w, b = box.angle < -45 ? w : h;
  cv::Point2f c[4];
  ChooseSymbolCorners(p, c);
  const int m = st.img.dpi / 75;
  // The paper inside a dark surround already holds the quiet zone: a margin would take in the
  // surround, whose dark edges the locator would take for the symbol's.
  if (!hole && GrowSymbolCorners(c, static_cast<float>(m), st.img.width, st.img.height)) {
    a += 4 * m;
    b += 4 * m;
  }
  if (st.squarePass) a = b = std::min(a, b);
  crop = locatedSymbol(st, c, a, b);
  return true;
}

// One pass of up to four tries; the accepted length, 0, or -1 when the first try found no
// outline (the caller applies the no-outline rule).
int runPass(Reading& st) {
  std::fill(std::begin(st.table), std::end(st.table), 0);
  std::fill(std::begin(st.prev), std::end(st.prev), cv::Point2f());
  st.symbolSeen = st.squarePass;
  int base = 0;
  for (int i = 0; i < 4; ++i) {
    if (pvk::core::stopRequested()) return 0;
    if (i > 0 && (st.table[i] > (base < 170 ? base + 80 : 250) || st.table[i] < (base > 89 ? base - 80 : 10))) continue;
    double t = st.table[i];
    const Reading::OutlineTry& o = outlineAt(st, t);
    t = o.threshold;
    if (!o.found) {
      if (i == 0) return -1;
      continue;
    }
    if (i == 0) {
      base = t < 201 ? static_cast<int>(t) + 30 : 230;
      st.table[0] = base;
      for (int k = 1; k < 32; ++k) st.table[k] = std::max(0, base - 7 * k);
    }
    cv::Mat crop;
    if (!uprightSymbol(st, o.outline, o.hole, crop)) continue;
    const int length = runList(st, crop, st.table[i]);
    if (length > 0) return length;
  }
  return 0;
}

// A copy of the zone without a border of dpi / 25 pixels, read again; > 0 when it read.
int borderCut(const PVKImg& img, int stride, char* out, unsigned short& len) {
  const int c = img.dpi / 25;
  if (c < 1) return 0;
  const int w = img.width - 2 * c, h = img.height - 2 * c;
  if (w < 1 || h < 1 || std::min(w, h) * img.dpi <= 59999) return 0;
  std::vector<uint8_t> buf;
  try {
    buf.resize(static_cast<size_t>(h) * stride);
  } catch (const std::bad_alloc&) {
    return 0;
  }
  std::memcpy(buf.data(), img.data + static_cast<size_t>(c) * stride + c, buf.size());
  PVKImg cut{static_cast<uint16_t>(w), static_cast<uint16_t>(h), static_cast<uint16_t>(stride), img.dpi, buf.data()};
  const unsigned short before = len;
  const int r = PDataMatrixDecode(&cut, out, len);
  if (r > 0) return r;
  len = before;
  return 0;
}

// The zone doubled to 600 dpi, read again with the DataMatrix resolution at 600.
int doubledRead(const PVKImg& img, int stride, char* out, unsigned short& len) {
  const long w = 2L * img.width, h = 2L * img.height, s = 2L * stride;
  if (w > 65535 || h > 65535 || s > 65535) {
    len = 0;
    return 0;
  }
  std::vector<uint8_t> buf;
  try {
    buf.assign(static_cast<size_t>(s) * h, 0);
  } catch (const std::bad_alloc&) {
    return 0;  // len as it came in
  }
  for (int y = 0; y < img.height; ++y) {
    const uint8_t* src = img.data + static_cast<size_t>(y) * stride;
    uint8_t* dst = buf.data() + static_cast<size_t>(2 * y) * s;
    for (int x = 0; x < img.width; ++x) dst[2 * x] = dst[2 * x + 1] = src[x];
    std::memcpy(dst + s, dst, static_cast<size_t>(s));
  }
  PVKImg twice{static_cast<uint16_t>(w), static_cast<uint16_t>(h), static_cast<uint16_t>(s), 600, buf.data()};
  struct DpiRestore {
    uint16_t dpi;
    ~DpiRestore() { MyOcr.dmDpi = dpi; }
  } restore{img.dpi};
  MyOcr.dmDpi = 600;
  return PDataMatrixDecode(&twice, out, len);
}

// At 300 dpi a failed square pass is followed by the zone doubled all the same, and that reads
// symbols whose modules are too small for either pass at 300 (two pixels or so): the doubled read
// goes first, and the square pass only when it read nothing. When neither reads, len is as the
// doubled read left it.
int doubledThenSquare(Reading& st, int stride, unsigned short& len) {
  const unsigned short capacity = len;
  const auto dpi = MyOcr.dmDpi;  // the doubled read leaves the zone's resolution behind
  const int d = doubledRead(st.img, stride, st.out, len);
  if (d > 0) return d;
  const unsigned short left = len;
  len = capacity;
  MyOcr.dmDpi = dpi;
  st.squarePass = true;
  const int r = runPass(st);
  if (r > 0) return r;
  len = left;
  return d;
}

// The cubic warp undershoots an edge by at most 14592 / 32768 of its contrast: from a zone whose
// darkest pixel is 168 or lighter it makes no pixel below 129, so neither the L of a symbol nor
// the bounding box of its ink is ever found, in the zone, a cut of it or the zone doubled.
constexpr int kLightestInk = 167;

bool holdsInk(const cv::Mat& zone) {
  uint8_t darkest = 255;
  for (int y = 0; y < zone.rows; ++y) {
    const uint8_t* p = zone.ptr<uint8_t>(y);
    darkest = std::min(darkest, *std::min_element(p, p + zone.cols));
  }
  return darkest <= kLightestInk;
}

int decodeZone(PVKImg& img, char* out, unsigned short& len) {
  const int stride = img.stride != 0 ? img.stride : img.width;
  Reading st(img, out, len);
  st.image = cv::Mat(img.height, img.width, CV_8UC1, img.data, static_cast<size_t>(stride));
  if (!holdsInk(st.image)) {
    len = 0;
    return 0;
  }
  st.blurred = pvk::geometry::squareBlur(st.image, kOutlineBlur);
  st.shaped = pvk::geometry::dilateErodeSquare(st.blurred, kOutlineErode, kOutlineDilate);
  int r = runPass(st);
  if (r > 0) return r;
  if (r == 0 && st.symbolSeen && !MyITACheck.equalsAt10) {
    if (img.dpi == 300 && !pvk::core::stopRequested()) return doubledThenSquare(st, stride, len);
    st.squarePass = true;
    r = runPass(st);
    if (r > 0) return r;
  }
  if (r < 0) {  // no outline on the first try of a pass
    if (MyDev.productId != 0 || !MyITACheck.active) {
      st.symbolSeen = MyITACheck.semicolonAt10 != 0;
    } else if (!MyITACheck.semicolonAt10) {
      st.symbolSeen = false;
    } else if (img.dpi > 300) {
      st.symbolSeen = true;
    } else {
      r = borderCut(img, stride, out, len);
      if (r > 0) return r;
      st.symbolSeen = true;
    }
  }
  // A host's stop ends the retries: what was not read by now stays unread.
  if (st.symbolSeen && img.dpi == 300 && !MyITACheck.equalsAt10 && !pvk::core::stopRequested())
    return doubledRead(img, stride, out, len);
  len = 0;
  return 0;
}

}  // namespace


bool findImgContoursDM(const cv::Mat& img, std::vector<std::vector<cv::Point>>& found, double& threshold, int dpi,
                       int blur) {
  bool hole = false;
  const cv::Mat blurred = pvk::geometry::squareBlur(img, blur);
  cv::Mat bin;
  return outlineOf(blurred, pvk::geometry::dilateErodeSquare(blurred, kOutlineErode, kOutlineDilate), bin, found,
                   threshold, dpi, hole);
}

int PDataMatrixDecode(PVKImg* img, char* out, unsigned short& len) {
  if (img == nullptr || img->data == nullptr) {
    WriteTrace("DataMatrix - null pointer", false);
    return -1;
  }
  // A stride below the width would read rows past the caller's buffer.
  if (out == nullptr || len == 0 || (img->stride != 0 && img->stride < img->width)) {
    WriteTrace("DataMatrix - invalid parameter", false);
    len = 0;
    return -1;
  }
  out[0] = 0;
  if (img->width < 32 || img->height < 32) return 0;
  try {
    return decodeZone(*img, out, len);
  } catch (...) {
    WriteTrace("PDataMatrixDecode exception", false);
    return -1;
  }
}

double angle(cv::Point p1, cv::Point p2, cv::Point p0) {
  const double dy1 = p1.y - p0.y, dx2 = p2.x - p0.x;
  if (std::fabs(dy1) - dx2 <= 70) return 0.0;
  const double dx1 = p1.x - p0.x, dy2 = p2.y - p0.y;
  if (dx1 == dx2 && dy1 == dy2) return 0.0;
  const double r = std::atan((dx1 * dx2 + dy1 * dy2) / std::sqrt((dx1 * dx1 + dy1 * dy1) * (dx2 * dx2 + dy2 * dy2)));
  if ((dy1 > -10 && dy1 < 0) || (dy1 > 50 && dy2 > 50)) return -r;
  return r;
}
