// Outline, warp and crop operations of the 2D symbol locators, in the library's C++ interface.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <vector>

#include <immintrin.h>

#include "core/image_utils.h"

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
  if (x + 8 <= n) {
    const __m128i u = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(a + x));
    const __m128i v = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(b + x));
    _mm_storel_epi64(reinterpret_cast<__m128i*>(out + x), kMax ? _mm_max_epu8(u, v) : _mm_min_epu8(u, v));
    x += 8;
  }
#endif
  for (; x < n; ++x) out[x] = kMax ? std::max(a[x], b[x]) : std::min(a[x], b[x]);
}

// The same, 32 bytes at a time first.
template <bool kMax>
__attribute__((target("avx2"))) void extremeOfEight(const uint8_t* a, const uint8_t* b, uint8_t* out, int n) {
  int x = 0;
  for (; x + 32 <= n; x += 32) {
    const __m256i u = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(a + x));
    const __m256i v = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(b + x));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), kMax ? _mm256_max_epu8(u, v) : _mm256_min_epu8(u, v));
  }
  extremeOf<kMax>(a + x, b + x, out + x, n - x);
}

// extremeOf with the widest vectors the processor has.
template <bool kMax>
struct Extreme {
  bool eight = pvk::core::processorHas(pvk::core::Cpu::EightLanes);
  void operator()(const uint8_t* a, const uint8_t* b, uint8_t* out, int n) const {
    if (eight) extremeOfEight<kMax>(a, b, out, n);
    else extremeOf<kMax>(a, b, out, n);
  }
};

// Windows of `side` over a line of len bytes, in place: windows of 1, 2, 4 ... by doubling, then
// two of the largest that fits overlapped; out[x] for the window starting at x.
template <bool kMax>
void slideLine(const Extreme<kMax>& ext, uint8_t* line, int len, int side, uint8_t* out) {
  int span = 1;
  for (; 2 * span <= side; span *= 2) ext(line, line + span, line, len - span);
  ext(line, line + side - span, out, len - side + 1);
}

// The same down the rows of `m`; out row y for the window starting at row y. Cut into blocks of
// `side` rows, a window is one whole block or the end of one block (the extremes from the
// bottom up of each block, in `tail`) and the start of the next (from the top down, in `head`):
// three operations a pixel whatever the side.
template <bool kMax>
void slideRows(const Extreme<kMax>& ext, const cv::Mat& m, int side, cv::Mat& tail, cv::Mat& out) {
  const int len = m.rows, w = m.cols;
  for (int b = 0; b < len; b += side) {
    const int last = std::min(b + side, len) - 1;
    std::copy_n(m.ptr<uint8_t>(last), w, tail.ptr<uint8_t>(last));
    for (int y = last - 1; y >= b; --y) ext(m.ptr<uint8_t>(y), tail.ptr<uint8_t>(y + 1), tail.ptr<uint8_t>(y), w);
  }
  std::vector<uint8_t> buffer(static_cast<size_t>(w));
  const uint8_t* head = nullptr;
  for (int j = side; j < len; ++j) {  // j ends the window starting at y
    const int y = j - side + 1;
    if (y % side == 0) continue;  // a whole block, in tail; head starts again at j + 1
    if (j % side == 0) {
      head = m.ptr<uint8_t>(j);
    } else {
      ext(head, m.ptr<uint8_t>(j), buffer.data(), w);
      head = buffer.data();
    }
    ext(tail.ptr<uint8_t>(y), head, out.ptr<uint8_t>(y), w);
  }
  for (int y = 0; y < len - side + 1; y += side) std::copy_n(tail.ptr<uint8_t>(y), w, out.ptr<uint8_t>(y));
}

// The square maximum (kMax) or minimum of odd side about each pixel of src into out (of its size),
// the window cut at the image's edges (the outside counts for neither): along the rows, then
// down the columns, both exact, so the result is the library's square filter byte for byte.
// `work` holds two images of src's width and side - 1 rows more than its height.
template <bool kMax>
void squareExtreme(const cv::Mat& src, int side, cv::Mat& out, uint8_t* work) {
  const int r = side / 2, W = src.cols, H = src.rows;
  const uint8_t neutral = kMax ? 0 : 255;
  const Extreme<kMax> ext;
  cv::Mat across(H + 2 * r, W, CV_8UC1, work), tail(H + 2 * r, W, CV_8UC1, work + across.total());
  std::vector<uint8_t> line(static_cast<size_t>(W) + 2 * r);
  for (int y = 0; y < H; ++y) {
    // The doubling spills into the margins: they are laid again for each row.
    std::fill_n(line.begin(), r, neutral);
    std::copy_n(src.ptr<uint8_t>(y), W, line.data() + r);
    std::fill_n(line.begin() + W + r, r, neutral);
    slideLine<kMax>(ext, line.data(), W + 2 * r, side, across.ptr<uint8_t>(y + r));
  }
  across.rowRange(0, r).setTo(neutral);
  across.rowRange(H + r, H + 2 * r).setTo(neutral);
  slideRows<kMax>(ext, across, side, tail, out);
}

// Windows wider than this are left to the library: the rows added above and below the image for
// them stay well inside an int.
constexpr int kWidestSide = 1023;

// The maximum of side dilateSide, then the minimum of side erodeSide, of a whole 8-bit image.
cv::Mat squareShaping(const cv::Mat& grey, int dilateSide, int erodeSide) {
  // The dilated image, then two images of side - 1 rows more for each filter's passes; kept from
  // one zone to the next, as memory fresh from the system costs a page fault for every 4 KiB.
  const int W = grey.cols, H = grey.rows;
  uint8_t* work = keptImage(Kept::Shaping, 3 * H + 2 * (std::max(dilateSide, erodeSide) - 1), W).data;
  cv::Mat grown(H, W, CV_8UC1, work), out(H, W, CV_8UC1);
  squareExtreme<true>(grey, dilateSide, grown, work + grey.total());
  squareExtreme<false>(grown, erodeSide, out, work + grey.total());
  return out;
}

}  // namespace

cv::Mat dilateErodeSquare(const cv::Mat& grey, int dilateSide, int erodeSide) {
  // Odd sides on a whole 8-bit image are filtered here, without the library's per-call costs and
  // the wake of its worker threads; a view into a larger image it filters with the pixels
  // around it.
  if (grey.type() == CV_8UC1 && !grey.empty() && !grey.isSubmatrix() && dilateSide % 2 == 1 &&
      erodeSide % 2 == 1 && dilateSide > 0 && erodeSide > 0 && dilateSide <= kWidestSide && erodeSide <= kWidestSide)
    return squareShaping(grey, dilateSide, erodeSide);
  const cv::Mat d = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(dilateSide, dilateSide),
                                              cv::Point(dilateSide / 2, dilateSide / 2));
  const cv::Mat e = cv::getStructuringElement(cv::MORPH_RECT, cv::Size(erodeSide, erodeSide),
                                              cv::Point(erodeSide / 2, erodeSide / 2));
  cv::Mat out;
  cv::dilate(grey, out, d, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  cv::erode(out, out, e, cv::Point(-1, -1), 1, cv::BORDER_CONSTANT, cv::morphologyDefaultBorderValue());
  return out;
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
