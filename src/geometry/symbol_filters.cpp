// The two costly filters of the 2D symbol locators: the 15 x 15 Gaussian blur of the outline
// search (the document search's own) and the cubic upright warp of an outline, in integers,
// pixel for pixel the image library's own fixed-point results, without its per-call and
// per-pixel overheads; the warp, on processors with eight-lane vectors, eight pixels a step.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cstddef>
#include <cmath>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if defined(__x86_64__) && defined(__GNUC__)
#include <immintrin.h>
#define PVK_EIGHT_LANES 1
#endif

#include "core/image_utils.h"

namespace pvk::geometry {

namespace {

// ---- Cubic warp ------------------------------------------------------------------------------
// The library's fixed-point remap: source positions in 32nds of a pixel, and for each of the
// 32 x 32 fractions 4 x 4 taps in units of 2^-15 that sum to exactly 2^15.
constexpr int kFracBits = 5, kFrac = 1 << kFracBits;
constexpr int kCoordBits = 10;  // the affine steps are held in 1024ths before the fraction is cut
constexpr int kTapBits = 15;

struct CubicTaps {
  alignas(16) int16_t w[kFrac * kFrac][16];
};

void cubicWeights(float x, float* c) {
  const float a = -0.75f;
  c[0] = ((a * (x + 1) - 5 * a) * (x + 1) + 8 * a) * (x + 1) - 4 * a;
  c[1] = ((a + 2) * x - (a + 3)) * x * x + 1;
  c[2] = ((a + 2) * (1 - x) - (a + 3)) * (1 - x) * (1 - x) + 1;
  c[3] = 1.f - c[0] - c[1] - c[2];
}

// The rounded products of the row and column weights; what rounding left over the exact sum
// goes to the largest (or comes off the smallest) of the four central taps.
void roundTaps(const float* wy, const float* wx, int16_t* t) {
  int sum = 0;
  for (int k1 = 0; k1 < 4; ++k1)
    for (int k2 = 0; k2 < 4; ++k2) sum += t[k1 * 4 + k2] = cv::saturate_cast<int16_t>(wy[k1] * wx[k2] * (1 << kTapBits));
  const int diff = sum - (1 << kTapBits);
  if (diff == 0) return;
  int lo = 2 * 4 + 2, hi = lo;
  for (int k1 = 2; k1 < 4; ++k1)
    for (int k2 = 2; k2 < 4; ++k2) {
      const int k = k1 * 4 + k2;
      if (t[k] < t[lo]) lo = k;
      else if (t[k] > t[hi]) hi = k;
    }
  if (diff < 0) t[hi] = static_cast<int16_t>(t[hi] - diff);
  else t[lo] = static_cast<int16_t>(t[lo] - diff);
}

const CubicTaps& cubicTaps() {
  static const CubicTaps taps = [] {
    CubicTaps t{};
    float w[kFrac][4];
    for (int i = 0; i < kFrac; ++i) cubicWeights(static_cast<float>(i) * (1.f / kFrac), w[i]);
    for (int i = 0; i < kFrac; ++i)
      for (int j = 0; j < kFrac; ++j) roundTaps(w[i], w[j], t.w[i * kFrac + j]);
    return t;
  }();
  return taps;
}

// Rounded to the nearest integer, halves to even; out of range (or not a number) as the
// processor's conversion gives it, INT_MIN.
inline int roundToInt(double v) {
  if (!(std::fabs(v) < 2147483647.0)) return INT_MIN;
  return static_cast<int>(std::nearbyint(v));
}

inline int wrapAdd(int a, int b) {
  return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b));
}

inline uint8_t tapsToPixel(int sum) {
  return cv::saturate_cast<uint8_t>((sum + (1 << (kTapBits - 1))) >> kTapBits);
}

// The sum of one output pixel's taps over the 4 x 4 pixels from S (row step st).
inline int cubicSum(const uint8_t* S, size_t st, const int16_t* w) {
  int sum = 0;
  for (int k = 0; k < 4; ++k, S += st) sum += S[0] * w[4 * k] + S[1] * w[4 * k + 1] + S[2] * w[4 * k + 2] + S[3] * w[4 * k + 3];
  return sum;
}

#if defined(__SSE2__)
// The products of one pixel's 4 x 4 neighbourhood and taps, summed in four parts.
inline __m128i cubicParts(const uint8_t* S, size_t st, const int16_t* w) {
  int r[4];
  for (int k = 0; k < 4; ++k) std::memcpy(&r[k], S + k * st, 4);
  const __m128i px = _mm_unpacklo_epi64(_mm_unpacklo_epi32(_mm_cvtsi32_si128(r[0]), _mm_cvtsi32_si128(r[1])),
                                        _mm_unpacklo_epi32(_mm_cvtsi32_si128(r[2]), _mm_cvtsi32_si128(r[3])));
  const __m128i zero = _mm_setzero_si128();
  return _mm_add_epi32(_mm_madd_epi16(_mm_unpacklo_epi8(px, zero), _mm_load_si128(reinterpret_cast<const __m128i*>(w))),
                       _mm_madd_epi16(_mm_unpackhi_epi8(px, zero), _mm_load_si128(reinterpret_cast<const __m128i*>(w + 8))));
}

// Four output pixels from their neighbourhoods at base + off[k] with taps w[k].
inline void cubicFour(const uint8_t* base, const ptrdiff_t* off, const int16_t* const* w, size_t st, uint8_t* d) {
  const __m128i s0 = cubicParts(base + off[0], st, w[0]), s1 = cubicParts(base + off[1], st, w[1]);
  const __m128i s2 = cubicParts(base + off[2], st, w[2]), s3 = cubicParts(base + off[3], st, w[3]);
  const __m128i t0 = _mm_add_epi32(_mm_unpacklo_epi32(s0, s1), _mm_unpackhi_epi32(s0, s1));
  const __m128i t1 = _mm_add_epi32(_mm_unpacklo_epi32(s2, s3), _mm_unpackhi_epi32(s2, s3));
  __m128i sum = _mm_add_epi32(_mm_unpacklo_epi64(t0, t1), _mm_unpackhi_epi64(t0, t1));
  sum = _mm_srai_epi32(_mm_add_epi32(sum, _mm_set1_epi32(1 << (kTapBits - 1))), kTapBits);
  const __m128i narrow = _mm_packs_epi32(sum, sum);
  const int four = _mm_cvtsi128_si32(_mm_packus_epi16(narrow, narrow));
  std::memcpy(d, &four, 4);
}
#endif

// Index p of a line of n pixels reflected about its ends (cba|abcdefgh|hgf).
inline int reflect(int p, int n) {
  if (p < 0) p = -p - 1;
  else if (p >= n) p = 2 * n - 1 - p;
  return static_cast<unsigned>(p) < static_cast<unsigned>(n) ? p : cv::borderInterpolate(p, n, cv::BORDER_REFLECT);
}

// The same near an edge, the source reflected.
int cubicSumAtEdge(const cv::Mat& src, int sx, int sy, const int16_t* w) {
  int xs[4];
  for (int i = 0; i < 4; ++i) xs[i] = reflect(sx + i, src.cols);
  int sum = 0;
  for (int r = 0; r < 4; ++r) {
    const uint8_t* S = src.ptr<uint8_t>(reflect(sy + r, src.rows));
    for (int c = 0; c < 4; ++c) sum += S[xs[c]] * w[4 * r + c];
  }
  return sum;
}

// Source positions in 32nds of a pixel of one output row.
struct WarpRow {
  int x0, y0;            // of the row's first pixel
  const int *dx, *dy;    // the steps along the row
};

// The output pixel at source position (X, Y).
inline uint8_t cubicPixel(const cv::Mat& src, const CubicTaps& taps, int X, int Y) {
  const int16_t* w = taps.w[((Y & (kFrac - 1)) << kFracBits) | (X & (kFrac - 1))];
  // Inside, the positions are far from what 16 bits hold; outside they are clamped to it.
  const int sx = (X >> kFracBits) - 1, sy = (Y >> kFracBits) - 1;
  if (static_cast<unsigned>(sx) < static_cast<unsigned>(src.cols - 3) &&
      static_cast<unsigned>(sy) < static_cast<unsigned>(src.rows - 3))
    return tapsToPixel(cubicSum(src.ptr<uint8_t>(sy) + sx, src.step, w));
  return tapsToPixel(cubicSumAtEdge(src, cv::saturate_cast<int16_t>(X >> kFracBits) - 1,
                                    cv::saturate_cast<int16_t>(Y >> kFracBits) - 1, w));
}

#if defined(PVK_EIGHT_LANES)
// One pixel's 4 x 4 neighbourhood times its taps, in eight parts.
__attribute__((target("avx2"))) inline __m256i cubicPartsEight(const uint8_t* S, ptrdiff_t st, const int16_t* w) {
  int r[4];
  for (int k = 0; k < 4; ++k) std::memcpy(&r[k], S + k * st, 4);
  __m128i px = _mm_cvtsi32_si128(r[0]);
  px = _mm_insert_epi32(px, r[1], 1);
  px = _mm_insert_epi32(px, r[2], 2);
  px = _mm_insert_epi32(px, r[3], 3);
  return _mm256_madd_epi16(_mm256_cvtepu8_epi16(px), _mm256_loadu_si256(reinterpret_cast<const __m256i*>(w)));
}

// Eight output pixels from their neighbourhoods at base + off[k] with taps w[k]: the parts of
// pixels 0-3 and 4-7 summed pairwise into the two halves, then the halves added.
__attribute__((target("avx2"))) inline void cubicEight(const uint8_t* base, const ptrdiff_t* off,
                                                       const int16_t* const* w, ptrdiff_t st, uint8_t* d) {
  __m256i v[8];
  for (int k = 0; k < 8; ++k) v[k] = cubicPartsEight(base + off[k], st, w[k]);
  const __m256i a = _mm256_hadd_epi32(_mm256_hadd_epi32(v[0], v[1]), _mm256_hadd_epi32(v[2], v[3]));
  const __m256i b = _mm256_hadd_epi32(_mm256_hadd_epi32(v[4], v[5]), _mm256_hadd_epi32(v[6], v[7]));
  __m256i sum = _mm256_add_epi32(_mm256_permute2x128_si256(a, b, 0x20), _mm256_permute2x128_si256(a, b, 0x31));
  sum = _mm256_srai_epi32(_mm256_add_epi32(sum, _mm256_set1_epi32(1 << (kTapBits - 1))), kTapBits);
  const __m256i narrow = _mm256_packs_epi32(sum, sum);
  const __m256i bytes = _mm256_packus_epi16(narrow, narrow);
  const int lo = _mm256_cvtsi256_si32(bytes), hi = _mm_cvtsi128_si32(_mm256_extracti128_si256(bytes, 1));
  std::memcpy(d, &lo, 4);
  std::memcpy(d + 4, &hi, 4);
}

// The row below eight pixels at a time where all eight neighbourhoods lie inside the source,
// else pixel by pixel; returns where it stopped.
__attribute__((target("avx2"))) int warpRowEight(const cv::Mat& src, const CubicTaps& taps, const WarpRow& r, int width,
                                                 uint8_t* d) {
  constexpr int cut = kCoordBits - kFracBits;
  const __m256i x0 = _mm256_set1_epi32(r.x0), y0 = _mm256_set1_epi32(r.y0), one = _mm256_set1_epi32(1);
  const __m256i frac = _mm256_set1_epi32(kFrac - 1), flip = _mm256_set1_epi32(INT_MIN);
  const __m256i limW = _mm256_set1_epi32((src.cols - 3) ^ INT_MIN), limH = _mm256_set1_epi32((src.rows - 3) ^ INT_MIN);
  const ptrdiff_t stride = static_cast<ptrdiff_t>(src.step);
  alignas(32) int sx[8], sy[8], f[8];
  int x = 0;
  for (; x + 8 <= width; x += 8) {
    const __m256i dx = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.dx + x));
    const __m256i dy = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(r.dy + x));
    const __m256i X = _mm256_srai_epi32(_mm256_add_epi32(x0, dx), cut);
    const __m256i Y = _mm256_srai_epi32(_mm256_add_epi32(y0, dy), cut);
    const __m256i vx = _mm256_sub_epi32(_mm256_srai_epi32(X, kFracBits), one);
    const __m256i vy = _mm256_sub_epi32(_mm256_srai_epi32(Y, kFracBits), one);
    // Unsigned comparisons, made signed by flipping the top bit.
    const __m256i in = _mm256_and_si256(_mm256_cmpgt_epi32(limW, _mm256_xor_si256(vx, flip)),
                                        _mm256_cmpgt_epi32(limH, _mm256_xor_si256(vy, flip)));
    if (_mm256_movemask_epi8(in) != -1) {
      alignas(32) int xs[8], ys[8];
      _mm256_store_si256(reinterpret_cast<__m256i*>(xs), X);
      _mm256_store_si256(reinterpret_cast<__m256i*>(ys), Y);
      for (int k = 0; k < 8; ++k) d[x + k] = cubicPixel(src, taps, xs[k], ys[k]);
      continue;
    }
    _mm256_store_si256(reinterpret_cast<__m256i*>(sx), vx);
    _mm256_store_si256(reinterpret_cast<__m256i*>(sy), vy);
    const __m256i fy = _mm256_slli_epi32(_mm256_and_si256(Y, frac), kFracBits);
    _mm256_store_si256(reinterpret_cast<__m256i*>(f), _mm256_or_si256(fy, _mm256_and_si256(X, frac)));
    ptrdiff_t off[8];
    const int16_t* w[8];
    for (int k = 0; k < 8; ++k) {
      off[k] = sy[k] * stride + sx[k];
      w[k] = taps.w[f[k]];
    }
    cubicEight(src.data, off, w, stride, d + x);
  }
  return x;
}
#endif

void warpRow(const cv::Mat& src, const CubicTaps& taps, const WarpRow& r, int width, uint8_t* d, bool wide) {
  constexpr int cut = kCoordBits - kFracBits;
  int x = 0;
#if defined(PVK_EIGHT_LANES)
  if (wide) x = warpRowEight(src, taps, r, width, d);
#else
  (void)wide;
#endif
#if defined(__SSE2__)
  // Four pixels at a time where all four neighbourhoods lie inside the source.
  const __m128i x0 = _mm_set1_epi32(r.x0), y0 = _mm_set1_epi32(r.y0), one = _mm_set1_epi32(1);
  const __m128i frac = _mm_set1_epi32(kFrac - 1), flip = _mm_set1_epi32(INT_MIN);
  const __m128i limW = _mm_set1_epi32((src.cols - 3) ^ INT_MIN), limH = _mm_set1_epi32((src.rows - 3) ^ INT_MIN);
  const ptrdiff_t stride = static_cast<ptrdiff_t>(src.step);
  alignas(16) int sx[4], sy[4], f[4];
  for (; x + 4 <= width; x += 4) {
    const __m128i X = _mm_srai_epi32(_mm_add_epi32(x0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.dx + x))), cut);
    const __m128i Y = _mm_srai_epi32(_mm_add_epi32(y0, _mm_loadu_si128(reinterpret_cast<const __m128i*>(r.dy + x))), cut);
    const __m128i vx = _mm_sub_epi32(_mm_srai_epi32(X, kFracBits), one), vy = _mm_sub_epi32(_mm_srai_epi32(Y, kFracBits), one);
    // Unsigned comparisons, made signed by flipping the top bit.
    const __m128i in = _mm_and_si128(_mm_cmplt_epi32(_mm_xor_si128(vx, flip), limW),
                                     _mm_cmplt_epi32(_mm_xor_si128(vy, flip), limH));
    if (_mm_movemask_epi8(in) != 0xFFFF) {
      alignas(16) int xs[4], ys[4];
      _mm_store_si128(reinterpret_cast<__m128i*>(xs), X);
      _mm_store_si128(reinterpret_cast<__m128i*>(ys), Y);
      for (int k = 0; k < 4; ++k) d[x + k] = cubicPixel(src, taps, xs[k], ys[k]);
      continue;
    }
    _mm_store_si128(reinterpret_cast<__m128i*>(sx), vx);
    _mm_store_si128(reinterpret_cast<__m128i*>(sy), vy);
    _mm_store_si128(reinterpret_cast<__m128i*>(f),
                    _mm_or_si128(_mm_slli_epi32(_mm_and_si128(Y, frac), kFracBits), _mm_and_si128(X, frac)));
    const ptrdiff_t off[4] = {sy[0] * stride + sx[0], sy[1] * stride + sx[1], sy[2] * stride + sx[2],
                              sy[3] * stride + sx[3]};
    const int16_t* w[4] = {taps.w[f[0]], taps.w[f[1]], taps.w[f[2]], taps.w[f[3]]};
    cubicFour(src.data, off, w, src.step, d + x);
  }
#endif
  for (; x < width; ++x) d[x] = cubicPixel(src, taps, wrapAdd(r.x0, r.dx[x]) >> cut, wrapAdd(r.y0, r.dy[x]) >> cut);
}

// True when the row steps move one whole source pixel across and none down: an upright outline
// warped at its own size.
bool steppedByWholePixels(const std::vector<int>& dx, const std::vector<int>& dy) {
  for (size_t x = 0; x < dx.size(); ++x)
    if (dx[x] != static_cast<int>(x) << kCoordBits || dy[x] != 0) return false;
  return true;
}

// A row of whole-pixel steps that starts on a whole source pixel samples each pixel at no
// fraction: the taps there are 32767 on the pixel and 1 on its lower right neighbour, whose sum
// rounds to the pixel itself, so the row is the source row copied (reflected past its edges).
// False, writing nothing, when the row starts between pixels.
bool copyRow(const cv::Mat& src, const WarpRow& r, int width, uint8_t* d) {
  constexpr int cut = kCoordBits - kFracBits;
  const int X = r.x0 >> cut, Y = r.y0 >> cut;
  if ((X & (kFrac - 1)) != 0 || (Y & (kFrac - 1)) != 0) return false;
  // Where the warp's positions would wrap round along the row, it is left to the warp.
  if (static_cast<long long>(r.x0) + (static_cast<long long>(width) << kCoordBits) > INT_MAX) return false;
  // Positions are held in 16 bits, as the warp holds them; the start is checked whole, then
  // each pixel clamped as the warp clamps it.
  const int sx = X >> kFracBits, sy = Y >> kFracBits;
  const uint8_t* row = src.ptr<uint8_t>(reflect(cv::saturate_cast<int16_t>(sy), src.rows));
  const int inside = sx >= 0 && sx <= src.cols - width ? width : 0;
  if (inside > 0) {
    std::memcpy(d, row + sx, static_cast<size_t>(width));
    return true;
  }
  for (int x = 0; x < width; ++x) d[x] = row[reflect(cv::saturate_cast<int16_t>(sx + x), src.cols)];
  return true;
}

// Output pixel (x, y) samples the source at the inverse map M of it.
cv::Mat cubicWarp(const cv::Mat& src, const double* M, int width, int height) {
  const CubicTaps& taps = cubicTaps();
  constexpr int scale = 1 << kCoordBits, half = scale / kFrac / 2;
  std::vector<int> dx(static_cast<size_t>(width)), dy(static_cast<size_t>(width));
  for (int x = 0; x < width; ++x) {
    dx[x] = roundToInt(M[0] * x * scale);
    dy[x] = roundToInt(M[3] * x * scale);
  }
  cv::Mat dst(height, width, CV_8UC1);
  const bool wide = pvk::core::processorHas(pvk::core::Cpu::EightLanes);
  const bool unitSteps = steppedByWholePixels(dx, dy);
  for (int y = 0; y < height; ++y) {
    const WarpRow r{wrapAdd(roundToInt((M[1] * y + M[2]) * scale), half),
                    wrapAdd(roundToInt((M[4] * y + M[5]) * scale), half), dx.data(), dy.data()};
    uint8_t* d = dst.ptr<uint8_t>(y);
    if (!unitSteps || !copyRow(src, r, width, d)) warpRow(src, taps, r, width, d, wide);
  }
  return dst;
}

}  // namespace

cv::Mat squareBlur(const cv::Mat& src, int blur) {
  // The 15 x 15 blur is the document search's; a view into a larger image is blurred by the
  // library with the pixels around it.
  if (blur == 15 && src.type() == CV_8UC1 && !src.empty() && !src.isSubmatrix()) {
    cv::Mat blurred(src.size(), CV_8UC1);
    gaussianBlur15(src, blurred);
    return blurred;
  }
  cv::Mat blurred;
  cv::GaussianBlur(src, blurred, cv::Size(blur, blur), 0, 0, cv::BORDER_DEFAULT);
  return blurred;
}

cv::Mat uprightWarp(const cv::Mat& src, const cv::Point2f from[3], int width, int height) {
  const cv::Point2f to[3] = {cv::Point2f(0, 0), cv::Point2f(static_cast<float>(width), 0),
                             cv::Point2f(static_cast<float>(width), static_cast<float>(height))};
  const cv::Mat m = cv::getAffineTransform(from, to);
  // Source positions are held in 16 bits, as the library holds them.
  if (src.type() != CV_8UC1 || src.cols < 4 || src.rows < 4 || src.cols > SHRT_MAX - 4 || src.rows > SHRT_MAX - 4 ||
      width <= 0 || height <= 0) {
    cv::Mat out;
    cv::warpAffine(src, out, m, cv::Size(width, height), cv::INTER_CUBIC, cv::BORDER_REFLECT, cv::Scalar(0));
    return out;
  }
  double M[6];
  affineOutputToSource(m, M);
  return cubicWarp(src, M, width, height);
}

}  // namespace pvk::geometry
