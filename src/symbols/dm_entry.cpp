// The DataMatrix reader entry: the symbol's outline in the zone, its upright warp, the
// threshold lists of the locator and sampler, and the retries (square output, a border cut
// away, the zone doubled to 600 dpi).
#include "symbols/symbols.h"

#include "core/records.h"
#include "core/trace.h"
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

namespace {

inline bool strictDocument() {
  const int t = MyOcr.typeDoc;
  return t == 3 || t == 4 || t == 6 || t == 7 || t == 8;
}

// The working state of one entry call.
struct Reading {
  Reading(const PVKImg& i, char* o, unsigned short c) : img(i), out(o), capacity(c) {}
  const PVKImg& img;
  char* out;
  unsigned short capacity;
  cv::Mat image;
  int table[32] = {};
  cv::Point2f prev[4] = {};
  bool squarePass = false;
  bool symbolSeen = false;
  cv::Mat stored;  // the last binary symbol image processed
  int counter = 0;
};

// Failure counts towards giving a list up; Counted only adds to the count.
enum class Outcome { Failure, Counted, Skipped, Left, Accepted };

// One attempt with list entry v on the warped image; the accepted length in `length`.
Outcome attempt(Reading& st, const cv::Mat& warped, int v, unsigned short& length) {
  imageReaderDM r;
  cv::Mat b = r.adjustImage(warped, v);
  if (b.empty()) return Outcome::Failure;
  if (!st.stored.empty() && st.stored.rows == b.rows && st.stored.cols == b.cols &&
      std::equal(b.datastart, b.dataend, st.stored.datastart))
    return Outcome::Skipped;
  try {
    st.stored = b.clone();
  } catch (const std::bad_alloc&) {
    WriteTrace("unexpected memory error; skipping", false);
    return Outcome::Skipped;
  }
  if (!r.findPixelSize(b)) return Outcome::Failure;
  parseImageDM s = parseImageDM::withMeasures(r.parser);
  if (!s.setImage(b)) return Outcome::Failure;
  for (;;) {
    if (s.extractDataRegion() == -1) return Outcome::Counted;
    st.symbolSeen = true;
    st.counter = 0;
    if (!s.readCodewords()) return Outcome::Left;
    const int n = s.getDataBlocks(st.out, length, st.capacity);
    if (n == -3) continue;
    if (n != 0) return Outcome::Left;
    const bool accepted = MyITACheck.active ? length > 28 : length != 0;
    return accepted ? Outcome::Accepted : Outcome::Left;
  }
}

// The corners, size and warp of one try's outline; false when the try is skipped.
bool uprightOutline(Reading& st, const std::vector<cv::Point>& outline, cv::Mat& warped) {
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
  if (GrowSymbolCorners(c, static_cast<float>(m), st.img.width, st.img.height)) {
    a += 4 * m;
    b += 4 * m;
  }
  if (st.squarePass) a = b = std::min(a, b);
  warped = pvk::geometry::uprightWarp(st.image, c, a, b);
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
    std::vector<std::vector<cv::Point>> found;
    double t = st.table[i];
    if (!findImgContoursDM(st.image, found, t, st.img.dpi, 15)) {
      if (i == 0) return -1;
      continue;
    }
    if (i == 0) {
      base = t < 201 ? static_cast<int>(t) + 30 : 230;
      st.table[0] = base;
      for (int k = 1; k < 32; ++k) st.table[k] = std::max(0, base - 7 * k);
    }
    cv::Mat warped;
    if (!uprightOutline(st, found.back(), warped)) continue;
    const int top = st.table[i];
    const std::vector<int> list = pvk::symbols::dmThresholdList(top);
    for (int j = 0; j < static_cast<int>(list.size()); ++j) {
      if (pvk::core::stopRequested()) return 0;
      if (list[j] < 5 || list[j] > top) continue;
      unsigned short length = 0;
      const Outcome o = attempt(st, warped, list[j], length);
      if (o == Outcome::Accepted) return length;
      if (j <= 22 || (o != Outcome::Failure && o != Outcome::Counted)) continue;
      if (o == Outcome::Counted) {
        ++st.counter;
        continue;
      }
      // Late failures with nothing reaching decoding in between: give the list up.
      if (st.counter >= 5) break;
      ++st.counter;
    }
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

int decodeZone(PVKImg& img, char* out, unsigned short& len) {
  const int stride = img.stride != 0 ? img.stride : img.width;
  Reading st(img, out, len);
  st.image = cv::Mat(img.height, img.width, CV_8UC1, img.data, static_cast<size_t>(stride));
  int r = runPass(st);
  if (r > 0) return r;
  if (r == 0 && st.symbolSeen && !MyITACheck.equalsAt10) {
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

std::vector<int> pvk::symbols::dmThresholdList(int t) {
  std::vector<int> list;
  const int h = t / 2;
  auto add = [&](int v) {
    if (list.size() < 29) list.push_back(v);
  };
  add(h);
  for (int step : {10, 5, 3, 1}) {
    if (h >= 5)
      for (int v = h; v >= 5; v -= step) add(v);
    for (int v = h; v <= t; v += step) add(v);
  }
  return list;
}

bool findImgContoursDM(const cv::Mat& img, std::vector<std::vector<cv::Point>>& found, double& threshold, int dpi,
                       int blur) {
  cv::Mat bin;
  threshold = pvk::geometry::blurThresholdInverse(img, bin, blur, threshold);
  pvk::geometry::erodeDilateSquare(bin, 7, 15);
  const std::vector<std::vector<cv::Point>> contours = pvk::geometry::treeContours(bin);
  const double big = 25600 * dpi / 300, small = 4096 * dpi / 300;
  int top[4] = {-1, -1, -1, -1};
  double areas[4] = {};
  bool touchesFrame = false;
  for (int k = 0; k < static_cast<int>(contours.size()); ++k) {
    const double area = cv::contourArea(contours[k], false);
    if (strictDocument() && area > big) {
      int atCorner = 0;
      for (const cv::Point& p : contours[k])
        if ((p.x > img.cols - 3 || p.x < 2) && (p.y > img.rows - 3 || p.y < 2)) ++atCorner;
      if (atCorner >= 2) {
        touchesFrame = true;
        continue;
      }
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
  found.push_back(contours[chosen]);
  return true;
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
