// The QR locator: finds the three finder patterns among the contours of a binarised image,
// takes the code area around them, corrects its perspective and binarises it, then measures the
// module size from the finders' 1:1:3:1:1 runs for the symbol model.
#include <algorithm>
#include <cmath>

#include <opencv2/core/core_c.h>
#include <opencv2/imgproc.hpp>

#include "geometry/geometry.h"
#include "symbols/symbols.h"

using pvk::geometry::contoursOf;

namespace {

// The outlines of a binary image with what the finder test asks of each; the search for the
// least area re-selects from these rather than tracing the same image again.
struct Outlines {
  std::vector<std::vector<cv::Point>> contours;
  std::vector<cv::Rect> rects;
  std::vector<double> areas;
};

Outlines outlinesOf(const cv::Mat& img) {
  Outlines o;
  // Only the ends of straight runs are kept: the area, the box and the hull stay the same.
  o.contours = contoursOf(img, cv::RETR_LIST, cv::CHAIN_APPROX_SIMPLE);
  o.rects.reserve(o.contours.size());
  o.areas.reserve(o.contours.size());
  for (const auto& c : o.contours) {
    // Box and area in one pass over the points; integer sums keep the area exact.
    int x0 = c[0].x, y0 = c[0].y, x1 = x0, y1 = y0;
    long long twice = 0;
    for (size_t k = 0, prev = c.size() - 1; k < c.size(); prev = k++) {
      x0 = std::min(x0, c[k].x);
      x1 = std::max(x1, c[k].x);
      y0 = std::min(y0, c[k].y);
      y1 = std::max(y1, c[k].y);
      twice += static_cast<long long>(c[prev].x) * c[k].y - static_cast<long long>(c[prev].y) * c[k].x;
    }
    o.rects.emplace_back(x0, y0, x1 - x0 + 1, y1 - y0 + 1);
    o.areas.push_back(std::fabs(0.5 * static_cast<double>(twice)));
  }
  return o;
}

// Outlines of at least minArea, filled and square enough, that hold exactly two others (a finder
// is a ring around a square), nearly square and at most half the image wide.
std::vector<cv::RotatedRect> finderBoxesOf(const Outlines& o, double minArea, double minFill, double minAspect,
                                           int cols) {
  std::vector<size_t> candidates;
  for (size_t k = 0; k < o.contours.size(); ++k) {
    const cv::Rect& r = o.rects[k];
    const double aspect = static_cast<double>(std::min(r.width, r.height)) / std::max(r.width, r.height);
    if (o.areas[k] >= minArea && o.areas[k] / (static_cast<double>(r.width) * r.height) >= minFill &&
        aspect >= minAspect)
      candidates.push_back(k);
  }
  // Only the outlines starting within an outline's columns can lie inside it: with the
  // candidates ordered by left edge each looks at those alone.
  std::vector<std::pair<int, size_t>> byLeft;
  byLeft.reserve(candidates.size());
  for (size_t k : candidates) byLeft.emplace_back(o.rects[k].x, k);
  std::sort(byLeft.begin(), byLeft.end());
  std::vector<cv::RotatedRect> boxes;
  for (size_t k : candidates) {
    const cv::Rect& outer = o.rects[k];
    int inside = 0;
    auto j = std::lower_bound(byLeft.begin(), byLeft.end(), std::make_pair(outer.x, size_t{0}));
    for (; j != byLeft.end() && j->first < outer.x + outer.width && inside <= 2; ++j)
      if (j->second != k && (outer | o.rects[j->second]) == outer) ++inside;
    if (inside != 2) continue;
    const cv::RotatedRect box = cv::minAreaRect(o.contours[k]);
    const int w = static_cast<int>(box.size.width), h = static_cast<int>(box.size.height);
    const int s = std::min(w, h), l = std::max(w, h);
    if (s >= l * 80 / 100 && s <= cols / 2) boxes.push_back(box);
  }
  return boxes;
}

// The points of the outer outlines of `binary` inside the polygon, opened once; `work` gets the
// opened image. Only the polygon's box with a margin of two pixels is worked on: all beyond is
// dark and stays dark through the opening, so the outlines are those of the whole image.
std::vector<cv::Point> pointsInsidePolygon(const cv::Mat& binary, const std::vector<cv::Point>& polygon, cv::Mat& work) {
  const cv::Rect bounds = cv::boundingRect(polygon);
  const cv::Rect box = cv::Rect(bounds.x - 2, bounds.y - 2, bounds.width + 4, bounds.height + 4) &
                       cv::Rect(0, 0, binary.cols, binary.rows);
  work = cv::Mat::zeros(binary.size(), CV_8UC1);
  std::vector<cv::Point> all;
  if (box.empty()) return all;
  std::vector<cv::Point> shifted;
  for (const cv::Point& p : polygon) shifted.push_back(p - box.tl());
  cv::Mat part;
  pvk::geometry::keepInsidePolygon(binary(box), shifted, part);
  part.copyTo(work(box));
  for (const auto& c : contoursOf(part, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_NONE))
    for (const cv::Point& p : c) all.push_back(p + box.tl());
  return all;
}

}  // namespace

imageReader::imageReader() { init(); }

imageReader::imageReader(int width, int height, int depth, int channels) {
  init();
  allocateImage(width, height, depth, channels);
}

imageReader::~imageReader() { release_image(); }

void imageReader::init() {
  found = 0;
  release_image();
  finders.clear();
  codeArea.clear();
  std::fill(std::begin(codeCorners), std::end(codeCorners), cv::Point());
  std::fill(std::begin(finderBoxes), std::end(finderBoxes), cv::RotatedRect());
}

IplImage* imageReader::setImage(IplImage* img) {
  release_image();
  if (!img) return nullptr;
  source = cv::cvarrToMat(img);
  binary = cv::Mat::zeros(source.size(), CV_8UC1);
  work = binary.clone();
  return img;
}

void imageReader::allocateImage(int width, int height, int depth, int channels) {
  release_image();
  int type = CV_MAKETYPE(depth == IPL_DEPTH_16U ? CV_16U : CV_8U, std::max(channels, 1));
  source = cv::Mat::zeros(std::max(height, 0), std::max(width, 0), type);
  binary = cv::Mat::zeros(source.size(), CV_8UC1);
  work = binary.clone();
}

void imageReader::release_image() {
  source.release();
  binary.release();
  code.release();
  work.release();
  binaryCode.release();
  binaryCode2.release();
}

IplImage* imageReader::binaryCodeImage() {
  if (binaryCode.empty()) return nullptr;
  binaryView = cvIplImage(binaryCode);
  return &binaryView;
}

IplImage* imageReader::adjustImage(IplImage* img, bool& seen, int blockSize, int param) {
  IplImage* result = nullptr;
  try {
    setImage(img);
    if (!source.empty()) result = adjust(blockSize, param);
  } catch (const cv::Exception&) {
    // A block size the adaptive threshold cannot take, or an image it cannot read: no code.
    result = nullptr;
  }
  if (found) seen = true;
  source.release();
  return result;
}

IplImage* imageReader::adjust(int blockSize, int param) {
  found = 0;
  std::fill(std::begin(codeCorners), std::end(codeCorners), cv::Point());
  std::fill(std::begin(finderBoxes), std::end(finderBoxes), cv::RotatedRect());
  if (source.empty() || source.depth() != CV_8U) return nullptr;
  source = pvk::geometry::greyOf(source);
  pvk::geometry::medianThresholdInverse(source, binary, work, blockSize, param);

  // A noisy image gives many small square blobs: raise the least area until few are left.
  double q = 0.00015;
  const double area = static_cast<double>(source.cols) * source.rows;
  const Outlines outlines = outlinesOf(binary);
  int searches = 0;
  for (; searches < 12; ++searches) {
    finders = finderBoxesOf(outlines, area * q, 0.1, 0.1, binary.cols);
    if (finders.size() < 4) break;
    q *= 2;
  }
  if (searches == 12 || finders.size() != 3) return nullptr;
  found = 1;
  if (findContourCodearea(50.0).size() != 4) return nullptr;
  transformImage();
  if (code.empty()) return nullptr;
  createBinaryImg();
  codeView = cvIplImage(code);
  return &codeView;
}

const std::vector<cv::RotatedRect>& imageReader::findFinderPattern(const cv::Mat& img, double minArea, double minFill,
                                                                   double minAspect) {
  finders = finderBoxesOf(outlinesOf(img), minArea, minFill, minAspect, img.cols);
  return finders;
}

const std::vector<cv::Point>& imageReader::findContourCodearea(double epsilon) {
  codeArea.clear();
  // Each finder grown by 2 modules on every side (7 + 4 modules) reaches the code's edges.
  std::vector<cv::Point> corners;
  for (size_t k = 0; k < finders.size(); ++k) {
    if (k < 3) finderBoxes[k] = finders[k];
    cv::RotatedRect grown = finders[k];
    grown.size.width += 4 * grown.size.width / 7;
    grown.size.height += 4 * grown.size.height / 7;
    cv::Point2f p[4];
    grown.points(p);
    for (const cv::Point2f& q : p) corners.emplace_back(cvRound(q.x), cvRound(q.y));
  }
  if (corners.empty()) return codeArea;
  cv::Point2f box[4];
  cv::minAreaRect(corners).points(box);
  std::vector<cv::Point> polygon;
  for (const cv::Point2f& q : box) polygon.emplace_back(cvRound(q.x), cvRound(q.y));
  const std::vector<cv::Point> all = pointsInsidePolygon(binary, polygon, work);
  if (all.empty()) return codeArea;
  std::vector<cv::Point> hull;
  cv::convexHull(all, hull, true);
  cv::approxPolyDP(hull, codeArea, epsilon, true);
  return codeArea;
}

int seq_cmp_by_clockwise(const void* a, const void* b, void* centre) {
  const cv::Point& p = *static_cast<const cv::Point*>(a);
  const cv::Point& q = *static_cast<const cv::Point*>(b);
  const cv::Point2f& c = *static_cast<const cv::Point2f*>(centre);
  const float ap = cv::fastAtan2(static_cast<float>(p.y - c.y), static_cast<float>(c.x - p.x));
  const float aq = cv::fastAtan2(static_cast<float>(q.y - c.y), static_cast<float>(c.x - q.x));
  return aq > ap ? 1 : aq < ap ? -1 : 0;
}

cv::Rect imageReader::transformImage() {
  code.release();
  if (codeArea.size() != 4) return cv::Rect();
  cv::Point2f centre(0, 0);
  for (const cv::Point& p : codeArea) centre += cv::Point2f(static_cast<float>(p.x), static_cast<float>(p.y));
  centre *= 1.0f / static_cast<float>(codeArea.size());
  std::vector<cv::Point> sorted = codeArea;
  std::sort(sorted.begin(), sorted.end(), [&](const cv::Point& a, const cv::Point& b) {
    return seq_cmp_by_clockwise(&a, &b, &centre) < 0;
  });
  std::copy(sorted.begin(), sorted.end(), codeCorners);

  // The corner farthest from every finder is the one without a finder: the top-left lies
  // two corners on from it.
  int far = 0;
  double farDist = -1;
  for (int k = 0; k < 4; ++k) {
    double nearest = 1e300;
    for (size_t f = 0; f < finders.size() && f < 3; ++f) {
      const double dx = sorted[k].x - finders[f].center.x, dy = sorted[k].y - finders[f].center.y;
      nearest = std::min(nearest, dx * dx + dy * dy);
    }
    if (nearest > farDist) {
      farDist = nearest;
      far = k;
    }
  }
  const int i0 = (far + 2) % 4;
  cv::Point2f from[4], to[4];
  for (int k = 0; k < 4; ++k) from[k] = cv::Point2f(static_cast<float>(sorted[k].x), static_cast<float>(sorted[k].y));
  from[2] = from[3] - from[0] + from[1];
  const float side = static_cast<float>(cv::norm(from[0] - from[1]));
  to[i0] = cv::Point2f(0, 0);
  to[(i0 + 1) % 4] = cv::Point2f(side, 0);
  to[(i0 + 2) % 4] = cv::Point2f(side, side);
  to[(i0 + 3) % 4] = cv::Point2f(0, side);
  // The square of side + 1 at the origin, cut to the image as a region of interest is; each
  // pixel of the warp depends on its own place alone, so only that square is warped.
  const cv::Rect region = cv::Rect(0, 0, static_cast<int>(side) + 1, static_cast<int>(side) + 1) &
                          cv::Rect(0, 0, source.cols, source.rows);
  if (region.width <= 0 || region.height <= 0) return cv::Rect();
  code = pvk::geometry::perspectiveWarp(source, from, to, region.size());
  return region;
}

void imageReader::createBinaryImg() {
  binaryCode = pvk::geometry::openedOtsu(code);
  binaryCode2 = binaryCode;
}

void imageReader::find() {
  // Before a code image exists there is nothing to measure: the module size stays as it is.
  if (binaryCode2.empty()) return;
  const cv::Mat& img = binaryCode2;
  for (int y = 2; y < img.rows; y += 3) {
    const unsigned char* line = img.ptr<unsigned char>(y);
    int runs[5] = {0, 0, 0, 0, 0};
    int slot = 0;
    for (int x = 0; x < img.cols; ++x) {
      const bool dark = line[x] < 128;
      if (dark == ((slot & 1) == 0)) {
        ++runs[slot];
      } else if (dark) {
        ++runs[++slot];
      } else if (slot < 4) {
        ++runs[++slot];
      } else if (checkRatio(runs)) {
        std::fill(runs, runs + 5, 0);
        slot = 0;
      } else {
        // Not a finder: its first dark-light pair goes, the rest may start one.
        runs[0] = runs[2];
        runs[1] = runs[3];
        runs[2] = runs[4];
        runs[3] = 1;
        runs[4] = 0;
        slot = 3;
      }
    }
  }
}

bool imageReader::checkRatio(int* runs) {
  int sum = 0;
  for (int i = 0; i < 5; ++i) {
    if (runs[i] == 0) return false;
    sum += runs[i];
  }
  if (sum < 7) return false;
  const double m = sum / 7.0;
  int t = m < 4 ? 1 : Symbol::round(m < 8 ? m / 4 : m / 8);
  t = std::max(t, 1);
  for (int i : {0, 1, 3, 4})
    if (std::fabs(m - runs[i]) > t) return false;
  if (std::fabs(3 * m - runs[2]) > 3 * t) return false;
  symbol.moduleSize = m;
  return true;
}

bool imageReader::initialize(IplImage* img) {
  symbol.image = img;
  find();
  return symbol.init();
}
