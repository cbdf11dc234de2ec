// Outline, warp and crop operations of the 2D symbol locators, in the library's C++ interface.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pvk::geometry {

double thresholdInverse(const cv::Mat& blurred, cv::Mat& bin, double threshold) {
  if (threshold == 0) return cv::threshold(blurred, bin, 0, 255, cv::THRESH_BINARY_INV | cv::THRESH_OTSU);
  cv::threshold(blurred, bin, threshold, 255, cv::THRESH_BINARY_INV);
  return threshold;
}

double blurThresholdInverse(const cv::Mat& src, cv::Mat& bin, int blur, double threshold) {
  return thresholdInverse(squareBlur(src, blur), bin, threshold);
}

void erodeDilateSquare(cv::Mat& bin, int erodeSide, int dilateSide) {
  const cv::Mat e = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(erodeSide, erodeSide),
                                              cv::Point(erodeSide / 2, erodeSide / 2));
  const cv::Mat d = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(dilateSide, dilateSide),
                                              cv::Point(dilateSide / 2, dilateSide / 2));
  cv::erode(bin, bin, e, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  cv::dilate(bin, bin, d, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
}

namespace {

// The larger (kMax) or smaller of a[x] and b[x] into out[x], x ascending: out may be a, and b may
// lie ahead of it in the same line.
template <bool kMax>
void extremeOf(const uint8_t* a, const uint8_t* b, uint8_t* out, int n) {
  int x = 0;
#if defined(__SSE2__)
  for (; x + 16 <= n; x += 16) {
    const __m128i u = _mm_loadu_si128(reinterpret_cast<const __m128i*>(a + x));
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + x));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), kMax ? _mm_max_epu8(u, v) : _mm_min_epu8(u, v));
  }
#endif
  for (; x < n; ++x) out[x] = kMax ? std::max(a[x], b[x]) : std::min(a[x], b[x]);
}

// Windows of `side` over a line of len bytes, in place: windows of 1, 2, 4 ... by doubling, then
// two of the largest that fits overlapped; out[x] for the window starting at x.
template <bool kMax>
void slideLine(uint8_t* line, int len, int side, uint8_t* out) {
  int span = 1;
  for (; 2 * span <= side; span *= 2) extremeOf<kMax>(line, line + span, line, len - span);
  extremeOf<kMax>(line, line + side - span, out, len - side + 1);
}

// The same down the len rows of `m`, each row a whole line of bytes; out row y for the window
// starting at row y.
template <bool kMax>
void slideRows(cv::Mat& m, int side, cv::Mat& out) {
  const int len = m.rows, w = m.cols;
  int span = 1;
  for (; 2 * span <= side; span *= 2)
    for (int y = 0; y < len - span; ++y) extremeOf<kMax>(m.ptr<uint8_t>(y), m.ptr<uint8_t>(y + span), m.ptr<uint8_t>(y), w);
  for (int y = 0; y < len - side + 1; ++y)
    extremeOf<kMax>(m.ptr<uint8_t>(y), m.ptr<uint8_t>(y + side - span), out.ptr<uint8_t>(y), w);
}

// The square maximum (kMax) or minimum of odd side about each pixel, the window cut at the
// image's edges (the outside counts for neither): along the rows, then down the columns, both
// exact, so the result is the library's square filter byte for byte.
template <bool kMax>
cv::Mat squareExtreme(const cv::Mat& src, int side) {
  const int r = side / 2, W = src.cols, H = src.rows;
  const uint8_t neutral = kMax ? 0 : 255;
  cv::Mat across(H + 2 * r, W, CV_8UC1, cv::Scalar(neutral)), out(H, W, CV_8UC1);
  std::vector<uint8_t> line(static_cast<size_t>(W) + 2 * r);
  for (int y = 0; y < H; ++y) {
    std::fill(line.begin(), line.end(), neutral);
    std::copy_n(src.ptr<uint8_t>(y), W, line.data() + r);
    slideLine<kMax>(line.data(), W + 2 * r, side, across.ptr<uint8_t>(y + r));
  }
  slideRows<kMax>(across, side, out);
  return out;
}

}  // namespace

cv::Mat dilateErodeSquare(const cv::Mat& grey, int dilateSide, int erodeSide) {
  // Odd sides on a whole 8-bit image up to 256 pixels wide (a zone's character blocks and symbols)
  // are filtered here, without the library's per-call costs; on wider ones the library's own row
  // filter is quicker, and a view into a larger image it filters with the pixels around it.
  if (grey.type() == CV_8UC1 && !grey.empty() && grey.cols <= 256 && !grey.isSubmatrix() && dilateSide % 2 == 1 &&
      erodeSide % 2 == 1 && dilateSide > 0 && erodeSide > 0)
    return squareExtreme<false>(squareExtreme<true>(grey, dilateSide), erodeSide);
  const cv::Mat d = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(dilateSide, dilateSide),
                                              cv::Point(dilateSide / 2, dilateSide / 2));
  const cv::Mat e = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(erodeSide, erodeSide),
                                              cv::Point(erodeSide / 2, erodeSide / 2));
  cv::Mat out;
  cv::dilate(grey, out, d, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  cv::erode(out, out, e, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  return out;
}

std::vector<std::vector<cv::Point>> treeContours(const cv::Mat& binary, std::vector<cv::Vec4i>* hierarchy) {
  std::vector<std::vector<cv::Point>> contours;
  // The tracing works on a framed copy of its own: the image is left as it was.
  if (hierarchy)
    cv::findContours(binary, contours, *hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
  else cv::findContours(binary, contours, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
  return contours;
}

cv::Mat perspectiveCrop(const cv::Mat& src, const cv::Point2f quad[4], float width, float height) {
  const cv::Point2f to[4] = {cv::Point2f(0, 0), cv::Point2f(0, height), cv::Point2f(width, height),
                             cv::Point2f(width, 0)};
  // A region reaching past the image is cut to it, as a region of interest would be. Each pixel
  // of a warp depends on its own place alone, so only the region kept is warped.
  const cv::Rect roi = cv::Rect(0, 0, static_cast<int>(width), static_cast<int>(height)) &
                       cv::Rect(0, 0, src.cols, src.rows);
  if (roi.width <= 0 || roi.height <= 0) return cv::Mat();
  const cv::Mat m = cv::getPerspectiveTransform(quad, to);
  // An upright rectangle of whole pixels moves without a change of scale: every pixel of the
  // warp is a source pixel, and copying them gives the same image without the interpolation.
  const cv::Point shift(cvRound(-m.at<double>(0, 2)), cvRound(-m.at<double>(1, 2)));
  const cv::Mat translation = (cv::Mat_<double>(3, 3) << 1, 0, -shift.x, 0, 1, -shift.y, 0, 0, 1);
  const cv::Rect from(shift, roi.size());
  if (cv::norm(m, translation, cv::NORM_INF) < 1e-9 && (from & cv::Rect(0, 0, src.cols, src.rows)) == from)
    return src(from).clone();
  cv::Mat warped;
  cv::warpPerspective(src, warped, m, roi.size(), cv::INTER_LINEAR | cv::WARP_FILL_OUTLIERS, cv::BORDER_CONSTANT,
                      cv::Scalar(0));
  return warped;
}

void thresholdBinary(cv::Mat& img, int threshold) { cv::threshold(img, img, threshold, 255, cv::THRESH_BINARY); }

}  // namespace pvk::geometry
