// The affine warp that straightens a side, plane by plane. The image library maps each output
// pixel back to the source in fixed point (1/1024 of a pixel along the rows, 1/32 for the
// interpolation) and mixes the four pixels around it in whole numbers with one rounding; the same
// sums here give its bytes, eight or sixteen pixels at a time where the processor has the vectors.
#include <immintrin.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/image_utils.h"
#include "geometry/geometry.h"

namespace pvk::geometry {

namespace {

constexpr int kMapBits = 10;     // the fixed point of the mapped coordinates
constexpr int kTableBits = 5;    // the fraction the interpolation weights use
constexpr int kRound = (1 << kMapBits) / (1 << kTableBits) / 2;
constexpr int kFraction = (1 << kTableBits) - 1;

// Sums that may wrap as the library's do, without the undefined behaviour of a signed overflow.
int wrapped(int a, int b) { return static_cast<int>(static_cast<unsigned>(a) + static_cast<unsigned>(b)); }

// One output pixel from its source position X, Y (in 32nds of a pixel); pixels outside are 0.
uint8_t mixed(const cv::Mat& src, int X, int Y) {
  const int sx = X >> kTableBits, sy = Y >> kTableBits, fx = X & kFraction, fy = Y & kFraction;
  if (sx >= src.cols || sx + 1 < 0 || sy >= src.rows || sy + 1 < 0) return 0;
  int v[4];
  for (int k = 0; k < 4; ++k) {
    const int x = sx + (k & 1), y = sy + (k >> 1);
    v[k] = x >= 0 && x < src.cols && y >= 0 && y < src.rows ? src.ptr<uint8_t>(y)[x] : 0;
  }
  const int s = (32 - fy) * ((32 - fx) * v[0] + fx * v[1]) + fy * ((32 - fx) * v[2] + fx * v[3]);
  return static_cast<uint8_t>(std::min(255, (s + 512) >> 10));
}

// The pairs `pick` names of 16 bytes from `at`, in either half of the vector.
__attribute__((target("avx2"))) __m256i pairsOf(const uint8_t* at, __m256i pick) {
  const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
  return _mm256_shuffle_epi8(_mm256_broadcastsi128_si256(bytes), pick);
}

// The source pairs of a step whose pixels lie in rows sy and sy + 1 (sy within two neighbouring
// rows) and within 16 columns, as the gathers give them: bytes sx and sx + 1 of each row in the
// low bytes of two 16-bit lanes. The ends of the step (their source positions in 1024ths) bound
// its columns and rows, for the map is linear along a row; false when they do not hold the step.
// The rows are loaded 16 bytes wide from the leftmost column: the last row loaded lies above the
// source's last row, so with 16 columns or more every load stays inside the source.
__attribute__((target("avx2"))) bool shuffledPairs(const cv::Mat& src, __m256i sx, __m256i sy, int firstX, int lastX,
                                                   int firstY, int lastY, __m256i& upper, __m256i& lower) {
  const int x0 = firstX >> kMapBits, x7 = lastX >> kMapBits, y0 = firstY >> kMapBits, y7 = lastY >> kMapBits;
  const int left = std::min(x0, x7), right = std::max(x0, x7), top = std::min(y0, y7), bottom = std::max(y0, y7);
  if (src.cols < 16 || right - left > 14 || bottom - top > 1) return false;
  const __m256i beyond = _mm256_or_si256(
      _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(left), sx), _mm256_cmpgt_epi32(sx, _mm256_set1_epi32(right))),
      _mm256_or_si256(_mm256_cmpgt_epi32(_mm256_set1_epi32(top), sy), _mm256_cmpgt_epi32(sy, _mm256_set1_epi32(bottom))));
  if (!_mm256_testz_si256(beyond, beyond)) return false;
  // Lane bytes d, zero, d + 1, zero, d the pixel's column less the leftmost.
  const __m256i d = _mm256_sub_epi32(sx, _mm256_set1_epi32(left));
  const __m256i pick = _mm256_or_si256(_mm256_add_epi32(d, _mm256_slli_epi32(_mm256_add_epi32(d, _mm256_set1_epi32(1)), 16)),
                                       _mm256_set1_epi32(static_cast<int>(0x80008000u)));
  const uint8_t* at = src.data + static_cast<size_t>(top) * src.step + left;
  const __m256i r0 = pairsOf(at, pick), r1 = pairsOf(at + src.step, pick);
  if (bottom == top) {
    upper = r0;
    lower = r1;
    return true;
  }
  const __m256i r2 = pairsOf(at + 2 * src.step, pick), second = _mm256_cmpgt_epi32(sy, _mm256_set1_epi32(top));
  upper = _mm256_blendv_epi8(r0, r1, second);
  lower = _mm256_blendv_epi8(r1, r2, second);
  return true;
}

// A row of a warp that neither turns nor scales: every pixel has the same fractions fx, fy and
// its source one column further than its left neighbour's. Where the four source pixels lie
// inside the source, 32 pixels a step from two loads a row (the same rows, one column apart):
// byte pairs times (32 - fx, fx) give the 16-bit sums across, 16-bit pairs of those times
// (32 - fy, fy) the 32-bit sums down; with no fraction the row is a copy, as the sums give.
// The pixels left over, and those reaching outside, are mixed one by one. False, with nothing
// written, where the source positions along the row would wrap as the general sums do.
__attribute__((target("avx2"))) bool straightRow(const cv::Mat& src, int X0, int Y0, uint8_t* out, int n) {
  if (static_cast<int64_t>(X0) + (static_cast<int64_t>(n) << kMapBits) > INT32_MAX) return false;
  const int sy = Y0 >> kMapBits, fy = (Y0 >> (kMapBits - kTableBits)) & kFraction;
  const int sx = X0 >> kMapBits, fx = (X0 >> (kMapBits - kTableBits)) & kFraction;
  const int X = X0 >> (kMapBits - kTableBits), Y = Y0 >> (kMapBits - kTableBits);
  // The pixels x in [from, to) have their source columns sx + x and sx + x + 1 inside.
  int from = 0, to = 0;
  if (sy >= 0 && sy + 1 < src.rows) {
    from = static_cast<int>(std::clamp<int64_t>(-static_cast<int64_t>(sx), 0, n));
    to = static_cast<int>(std::clamp<int64_t>(static_cast<int64_t>(src.cols) - 1 - sx, from, n));
  }
  for (int x = 0; x < from; ++x) out[x] = mixed(src, X + x * 32, Y);
  int x = from;
  // Source pixel sx + x of the row is top[x - from].
  const uint8_t* top = from < to ? src.ptr<uint8_t>(sy) + (sx + from) : nullptr;
  if (fx == 0 && fy == 0 && from < to) {
    std::memcpy(out + from, top, static_cast<size_t>(to - from));
    x = to;
  }
  const __m256i across = _mm256_set1_epi16(static_cast<int16_t>((32 - fx) | fx << 8));
  const __m256i down = _mm256_set1_epi32((32 - fy) | fy << 16), half = _mm256_set1_epi32(512);
  for (; x + 32 <= to; x += 32) {
    __m256i rows[2][2];  // per row its pixels 0-7 and 16-23, then 8-15 and 24-31
    for (int r = 0; r < 2; ++r) {
      const uint8_t* at = top + (x - from) + r * src.step;
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at));
      const __m256i b = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(at + 1));
      rows[r][0] = _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), across);
      rows[r][1] = _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), across);
    }
    __m256i half16[2];
    for (int h = 0; h < 2; ++h) {
      const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(rows[0][h], rows[1][h]), down);
      const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(rows[0][h], rows[1][h]), down);
      half16[h] = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, half), 10),
                                     _mm256_srai_epi32(_mm256_add_epi32(hi, half), 10));
    }
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_packus_epi16(half16[0], half16[1]));
  }
  for (; x < n; ++x) out[x] = mixed(src, X + x * 32, Y);
  return true;
}

// Whether the map neither turns nor scales: one column of output is one column of source.
bool straightMap(const std::vector<int>& dx, const std::vector<int>& dy) {
  for (size_t x = 0; x < dx.size(); ++x)
    if (dy[x] != 0 || dx[x] != static_cast<int>(x) << kMapBits) return false;
  return true;
}

// Eight output pixels at a time from x on, while whole steps fit; returns where it stopped. A
// step whose source pixels all lie at least two rows above the source's last row and one column
// left of its last column is mixed with vectors; any other step pixel by pixel. While a turn is
// small, the pixels of a step lie in two neighbouring rows and within 16 columns: those rows (and
// the row below) are loaded whole and each pixel's pair picked out by a byte shuffle, which costs
// far less than gathering them four bytes at a time, as a step whose pixels lie farther apart is.
__attribute__((target("avx2"))) int rowEight(const cv::Mat& src, const int* dx, const int* dy, int X0, int Y0,
                                             uint8_t* out, int x, int n) {
  const __m256i x0 = _mm256_set1_epi32(X0), y0 = _mm256_set1_epi32(Y0);
  const __m256i fraction = _mm256_set1_epi32(kFraction), whole = _mm256_set1_epi32(32);
  const __m256i lastX = _mm256_set1_epi32(src.cols - 2), lastY = _mm256_set1_epi32(src.rows - 3);
  const __m256i zero = _mm256_setzero_si256(), stride = _mm256_set1_epi32(static_cast<int>(src.step));
  // Bytes 0 and 1 of each gathered word into two 16-bit lanes.
  const __m256i pair = _mm256_setr_epi8(0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1, 0, -1, 1, -1, 4, -1,
                                        5, -1, 8, -1, 9, -1, 12, -1, 13, -1);
  const __m256i half = _mm256_set1_epi32(512);
  const int* base = reinterpret_cast<const int*>(src.data);
  const int* below = reinterpret_cast<const int*>(src.data + src.step);
  for (; x + 8 <= n; x += 8) {
    const __m256i X = _mm256_srai_epi32(_mm256_add_epi32(x0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dx + x))),
                                        kMapBits - kTableBits);
    const __m256i Y = _mm256_srai_epi32(_mm256_add_epi32(y0, _mm256_loadu_si256(reinterpret_cast<const __m256i*>(dy + x))),
                                        kMapBits - kTableBits);
    const __m256i sx = _mm256_srai_epi32(X, kTableBits), sy = _mm256_srai_epi32(Y, kTableBits);
    const __m256i outside = _mm256_or_si256(_mm256_or_si256(_mm256_cmpgt_epi32(zero, sx), _mm256_cmpgt_epi32(sx, lastX)),
                                            _mm256_or_si256(_mm256_cmpgt_epi32(zero, sy), _mm256_cmpgt_epi32(sy, lastY)));
    if (!_mm256_testz_si256(outside, outside)) {
      alignas(32) int xs[8], ys[8];
      _mm256_store_si256(reinterpret_cast<__m256i*>(xs), X);
      _mm256_store_si256(reinterpret_cast<__m256i*>(ys), Y);
      for (int k = 0; k < 8; ++k) out[x + k] = mixed(src, xs[k], ys[k]);
      continue;
    }
    __m256i top, bottom;
    if (!shuffledPairs(src, sx, sy, wrapped(X0, dx[x]), wrapped(X0, dx[x + 7]), wrapped(Y0, dy[x]),
                       wrapped(Y0, dy[x + 7]), top, bottom)) {
      const __m256i at = _mm256_add_epi32(_mm256_mullo_epi32(sy, stride), sx);
      top = _mm256_shuffle_epi8(_mm256_i32gather_epi32(base, at, 1), pair);
      bottom = _mm256_shuffle_epi8(_mm256_i32gather_epi32(below, at, 1), pair);
    }
    const __m256i fx = _mm256_and_si256(X, fraction), fy = _mm256_and_si256(Y, fraction);
    const __m256i wx = _mm256_or_si256(_mm256_sub_epi32(whole, fx), _mm256_slli_epi32(fx, 16));
    const __m256i wy = _mm256_or_si256(_mm256_sub_epi32(whole, fy), _mm256_slli_epi32(fy, 16));
    const __m256i across = _mm256_or_si256(_mm256_madd_epi16(top, wx), _mm256_slli_epi32(_mm256_madd_epi16(bottom, wx), 16));
    const __m256i s = _mm256_srai_epi32(_mm256_add_epi32(_mm256_madd_epi16(across, wy), half), 10);
    const __m256i words = _mm256_packus_epi32(s, s);
    const __m256i bytes = _mm256_packus_epi16(words, words);
    const uint32_t first = static_cast<uint32_t>(_mm256_extract_epi32(bytes, 0));
    const uint32_t second = static_cast<uint32_t>(_mm256_extract_epi32(bytes, 4));
    std::memcpy(out + x, &first, 4);
    std::memcpy(out + x + 4, &second, 4);
  }
  return x;
}

// The 32-bit lanes of a (pixels 0-7) and b (pixels 8-15) as 16-bit lanes, pixels in order.
__attribute__((target("avx2"))) __m256i inOrder(__m256i a, __m256i b) {
  return _mm256_permute4x64_epi64(_mm256_packs_epi32(a, b), 0xD8);
}

bool fitsInt(int64_t v) { return v >= INT32_MIN && v <= INT32_MAX; }

// Source positions of eight pixels in 32nds of a pixel, from their offsets d in 1024ths.
__attribute__((target("avx2"))) __m256i in32nds(__m256i start, const int* d) {
  const __m256i offsets = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(d));
  return _mm256_srai_epi32(_mm256_add_epi32(start, offsets), kMapBits - kTableBits);
}

// The pairs `pick` names of 16 bytes of a row from column a (pixels 0-7) and from column b
// (pixels 8-15).
__attribute__((target("avx2"))) __m256i pairsOf(const uint8_t* row, int a, int b, __m256i pick) {
  const __m256i bytes = _mm256_loadu2_m128i(reinterpret_cast<const __m128i*>(row + b),
                                            reinterpret_cast<const __m128i*>(row + a));
  return _mm256_shuffle_epi8(bytes, pick);
}

// Sixteen output pixels a step from x on, as rowEight mixes them, while a small turn keeps each
// half step within 16 columns and the step within two neighbouring rows, all inside the source;
// a step that is not is left to rowEight. The map is linear along the row and, with no sum
// wrapping, its columns and rows are in order: the ends of each half bound it. Each half's
// source bytes are loaded 16 wide into its half of the vector, each pixel's pair shuffled out as
// two bytes beside each other, and the pairs times (32 - fx, fx) give the 16-bit sums across.
// As in shuffledPairs the last row loaded lies above the source's last row, so that with 16
// columns or more every load stays inside the source. Returns where it stopped: the rest of the
// row is shorter than a step.
__attribute__((target("avx2"))) int turnedSteps(const cv::Mat& src, const int* dx, const int* dy, int X0, int Y0,
                                                uint8_t* out, int x, int n) {
  if (n - x < 16 || src.cols < 16 || !fitsInt(int64_t{X0} + dx[x]) || !fitsInt(int64_t{X0} + dx[n - 1]) ||
      !fitsInt(int64_t{Y0} + dy[x]) || !fitsInt(int64_t{Y0} + dy[n - 1]))
    return x;
  const __m256i x0 = _mm256_set1_epi32(X0), y0 = _mm256_set1_epi32(Y0), fraction = _mm256_set1_epi32(kFraction);
  const __m256i one = _mm256_set1_epi16(1), whole = _mm256_set1_epi16(32), half = _mm256_set1_epi32(512);
  for (; x + 16 <= n; x += 16) {
    const int a0 = (X0 + dx[x]) >> kMapBits, a7 = (X0 + dx[x + 7]) >> kMapBits;
    const int b0 = (X0 + dx[x + 8]) >> kMapBits, b7 = (X0 + dx[x + 15]) >> kMapBits;
    const int c0 = (Y0 + dy[x]) >> kMapBits, c15 = (Y0 + dy[x + 15]) >> kMapBits;
    const int leftA = std::min(a0, a7), leftB = std::min(b0, b7), top = std::min(c0, c15);
    const int rightA = std::max(a0, a7), rightB = std::max(b0, b7), bottom = std::max(c0, c15);
    if (std::min(leftA, leftB) < 0 || std::max(rightA, rightB) > src.cols - 2 || top < 0 || bottom > src.rows - 3 ||
        rightA - leftA > 14 || rightB - leftB > 14 || bottom - top > 1) {
      rowEight(src, dx, dy, X0, Y0, out, x, x + 16);
      continue;
    }
    const __m256i XA = in32nds(x0, dx + x), XB = in32nds(x0, dx + x + 8);
    const __m256i YA = in32nds(y0, dy + x), YB = in32nds(y0, dy + x + 8);
    // Per pixel: its column less its half's leftmost, its fractions, its row less the top.
    const __m256i d = inOrder(_mm256_sub_epi32(_mm256_srai_epi32(XA, kTableBits), _mm256_set1_epi32(leftA)),
                              _mm256_sub_epi32(_mm256_srai_epi32(XB, kTableBits), _mm256_set1_epi32(leftB)));
    const __m256i fx = inOrder(_mm256_and_si256(XA, fraction), _mm256_and_si256(XB, fraction));
    const __m256i fy = inOrder(_mm256_and_si256(YA, fraction), _mm256_and_si256(YB, fraction));
    const __m256i pick = _mm256_or_si256(d, _mm256_slli_epi16(_mm256_add_epi16(d, one), 8));
    // The rows the next rows of output start to need are asked for a few rows ahead: along a
    // turned row the source rows change, which the processor does not foresee on its own.
    const uint8_t* ahead = src.data + static_cast<size_t>(std::min(top + 4, src.rows - 1)) * src.step;
    _mm_prefetch(reinterpret_cast<const char*>(ahead + leftA), _MM_HINT_T0);
    const uint8_t* row = src.data + static_cast<size_t>(top) * src.step;
    __m256i upper = pairsOf(row, leftA, leftB, pick), lower = pairsOf(row + src.step, leftA, leftB, pick);
    if (bottom != top) {
      const __m256i third = pairsOf(row + 2 * src.step, leftA, leftB, pick);
      const __m256i t = _mm256_set1_epi32(top);
      const __m256i second = _mm256_cmpeq_epi16(inOrder(_mm256_sub_epi32(_mm256_srai_epi32(YA, kTableBits), t),
                                                         _mm256_sub_epi32(_mm256_srai_epi32(YB, kTableBits), t)),
                                                 one);
      upper = _mm256_blendv_epi8(upper, lower, second);
      lower = _mm256_blendv_epi8(lower, third, second);
    }
    const __m256i wx = _mm256_or_si256(_mm256_sub_epi16(whole, fx), _mm256_slli_epi16(fx, 8));
    const __m256i above = _mm256_maddubs_epi16(upper, wx), below = _mm256_maddubs_epi16(lower, wx);
    const __m256i wy = _mm256_sub_epi16(whole, fy);
    const __m256i lo = _mm256_madd_epi16(_mm256_unpacklo_epi16(above, below), _mm256_unpacklo_epi16(wy, fy));
    const __m256i hi = _mm256_madd_epi16(_mm256_unpackhi_epi16(above, below), _mm256_unpackhi_epi16(wy, fy));
    const __m256i words = _mm256_packs_epi32(_mm256_srai_epi32(_mm256_add_epi32(lo, half), 10),
                                             _mm256_srai_epi32(_mm256_add_epi32(hi, half), 10));
    const __m256i bytes = _mm256_permute4x64_epi64(_mm256_packus_epi16(words, words), 0x08);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm256_castsi256_si128(bytes));
  }
  return x;
}

// The 512-bit intrinsics leave their unused pass-through operand undefined, which GCC 12 reports
// as a read of an uninitialised value.
#pragma GCC diagnostic push
#if !defined(__clang__)  // a warning of GCC alone
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif

// Sixteen output pixels at a time from x on, as rowEight does. While a turn is small, the source
// pixels of sixteen neighbours lie in two neighbouring rows and within 64 columns: those rows
// (and the row below) are loaded whole and each pixel's pair picked out by a byte permute. A step
// whose pixels lie farther apart is gathered.
__attribute__((target("avx512f,avx512bw,avx512vbmi"))) int rowSixteen(const cv::Mat& src, const int* dx,
                                                                      const int* dy, int X0, int Y0, uint8_t* out,
                                                                      int x, int n) {
  const __m512i x0 = _mm512_set1_epi32(X0), y0 = _mm512_set1_epi32(Y0);
  const __m512i fraction = _mm512_set1_epi32(kFraction), whole = _mm512_set1_epi32(32);
  const __m512i lastX = _mm512_set1_epi32(src.cols - 2), lastY = _mm512_set1_epi32(src.rows - 3);
  const __m512i zero = _mm512_setzero_si512(), stride = _mm512_set1_epi32(static_cast<int>(src.step));
  const __m512i half = _mm512_set1_epi32(512), next = _mm512_set1_epi32(1 << 16);
  const __mmask64 pairBytes = 0x5555555555555555ull;  // bytes 0 and 2 of each 32-bit lane
  const uint8_t* base = src.data;
  const int* words = reinterpret_cast<const int*>(base);
  const int* below = reinterpret_cast<const int*>(base + src.step);
  for (; x + 16 <= n; x += 16) {
    const __m512i X = _mm512_srai_epi32(_mm512_add_epi32(x0, _mm512_loadu_si512(dx + x)), kMapBits - kTableBits);
    const __m512i Y = _mm512_srai_epi32(_mm512_add_epi32(y0, _mm512_loadu_si512(dy + x)), kMapBits - kTableBits);
    const __m512i sx = _mm512_srai_epi32(X, kTableBits), sy = _mm512_srai_epi32(Y, kTableBits);
    const __mmask16 outside = _mm512_cmpgt_epi32_mask(zero, sx) | _mm512_cmpgt_epi32_mask(sx, lastX) |
                              _mm512_cmpgt_epi32_mask(zero, sy) | _mm512_cmpgt_epi32_mask(sy, lastY);
    if (outside != 0) {
      alignas(64) int xs[16], ys[16];
      _mm512_store_si512(xs, X);
      _mm512_store_si512(ys, Y);
      for (int k = 0; k < 16; ++k) out[x + k] = mixed(src, xs[k], ys[k]);
      continue;
    }
    // A small turn keeps columns and rows in order along the step: its ends bound them all.
    const int x0s = wrapped(X0, dx[x]) >> kMapBits, x15s = wrapped(X0, dx[x + 15]) >> kMapBits;
    const int y0s = wrapped(Y0, dy[x]) >> kMapBits, y15s = wrapped(Y0, dy[x + 15]) >> kMapBits;
    const int left = std::min(x0s, x15s), right = std::max(x0s, x15s);
    const int top = std::min(y0s, y15s), bottom = std::max(y0s, y15s);
    const __mmask16 beyond = _mm512_cmplt_epi32_mask(sx, _mm512_set1_epi32(left)) |
                             _mm512_cmpgt_epi32_mask(sx, _mm512_set1_epi32(right)) |
                             _mm512_cmplt_epi32_mask(sy, _mm512_set1_epi32(top)) |
                             _mm512_cmpgt_epi32_mask(sy, _mm512_set1_epi32(bottom));
    __m512i upper, lower;
    if (beyond == 0 && bottom - top <= 1 && right - left <= 62) {
      // Each lane picks bytes d and d + 1 of the loaded rows, d its column less the leftmost.
      const __m512i d = _mm512_sub_epi32(sx, _mm512_set1_epi32(left));
      const __m512i pick = _mm512_add_epi32(_mm512_or_si512(d, _mm512_slli_epi32(d, 16)), next);
      const __mmask64 within = src.cols - left >= 64 ? ~0ull : (1ull << (src.cols - left)) - 1;
      const uint8_t* at = base + static_cast<size_t>(top) * src.step + left;
      const __m512i r0 = _mm512_maskz_permutexvar_epi8(pairBytes, pick, _mm512_maskz_loadu_epi8(within, at));
      const __m512i r1 =
          _mm512_maskz_permutexvar_epi8(pairBytes, pick, _mm512_maskz_loadu_epi8(within, at + src.step));
      if (bottom == top) {
        upper = r0;
        lower = r1;
      } else {
        const __m512i r2 =
            _mm512_maskz_permutexvar_epi8(pairBytes, pick, _mm512_maskz_loadu_epi8(within, at + 2 * src.step));
        const __mmask16 second = _mm512_cmpgt_epi32_mask(sy, _mm512_set1_epi32(top));
        upper = _mm512_mask_blend_epi32(second, r0, r1);
        lower = _mm512_mask_blend_epi32(second, r1, r2);
      }
    } else {
      // Bytes 0 and 1 of each gathered word into two 16-bit lanes.
      const __m512i pair = _mm512_broadcast_i32x4(_mm_setr_epi8(0, -1, 1, -1, 4, -1, 5, -1, 8, -1, 9, -1, 12, -1, 13, -1));
      const __m512i at = _mm512_add_epi32(_mm512_mullo_epi32(sy, stride), sx);
      upper = _mm512_shuffle_epi8(_mm512_i32gather_epi32(at, words, 1), pair);
      lower = _mm512_shuffle_epi8(_mm512_i32gather_epi32(at, below, 1), pair);
    }
    const __m512i fx = _mm512_and_si512(X, fraction), fy = _mm512_and_si512(Y, fraction);
    const __m512i wx = _mm512_or_si512(_mm512_sub_epi32(whole, fx), _mm512_slli_epi32(fx, 16));
    const __m512i wy = _mm512_or_si512(_mm512_sub_epi32(whole, fy), _mm512_slli_epi32(fy, 16));
    const __m512i across =
        _mm512_or_si512(_mm512_madd_epi16(upper, wx), _mm512_slli_epi32(_mm512_madd_epi16(lower, wx), 16));
    const __m512i s = _mm512_srai_epi32(_mm512_add_epi32(_mm512_madd_epi16(across, wy), half), 10);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm512_cvtusepi32_epi8(s));
  }
  return x;
}
#pragma GCC diagnostic pop

}  // namespace

void affineOutputToSource(const cv::Mat& m, double M[6]) {
  cv::Mat into(2, 3, CV_64F, M);
  m.convertTo(into, CV_64F);
  double d = M[0] * M[4] - M[1] * M[3];
  d = d != 0 ? 1. / d : 0;
  const double a11 = M[4] * d, a22 = M[0] * d;
  M[0] = a11;
  M[1] *= -d;
  M[3] *= -d;
  M[4] = a22;
  const double b1 = -M[0] * M[2] - M[1] * M[5], b2 = -M[3] * M[2] - M[4] * M[5];
  M[2] = b1;
  M[5] = b2;
}

void warpLinear(const cv::Mat& src, cv::Mat& dst, const cv::Mat& m, Lanes lanes) {
  using pvk::core::Cpu;
  if (lanes == Lanes::Sixteen && !pvk::core::processorHas(Cpu::BytePermutes)) lanes = Lanes::Eight;
  if (lanes == Lanes::Eight && !pvk::core::processorHas(Cpu::EightLanes)) lanes = Lanes::None;
  if (src.type() != CV_8UC1 || dst.type() != CV_8UC1 || dst.empty() || src.empty() || src.isSubmatrix() ||
      m.rows != 2 || m.cols != 3 || dst.data == src.data) {
    cv::warpAffine(src, dst, m, dst.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    return;
  }
  double M[6];
  affineOutputToSource(m, M);
  const int cols = dst.cols;
  std::vector<int> dx(static_cast<size_t>(cols)), dy(static_cast<size_t>(cols));
  for (int x = 0; x < cols; ++x) {
    dx[x] = cv::saturate_cast<int>(M[0] * x * (1 << kMapBits));
    dy[x] = cv::saturate_cast<int>(M[3] * x * (1 << kMapBits));
  }
  // The vectors read a word at each of the two source rows of a pixel, or three rows whole.
  if (src.rows < 3 || src.cols < 2) lanes = Lanes::None;
  const bool straight = lanes != Lanes::None && straightMap(dx, dy);
  for (int y = 0; y < dst.rows; ++y) {
    const int X0 = wrapped(cv::saturate_cast<int>((M[1] * y + M[2]) * (1 << kMapBits)), kRound);
    const int Y0 = wrapped(cv::saturate_cast<int>((M[4] * y + M[5]) * (1 << kMapBits)), kRound);
    uint8_t* out = dst.ptr<uint8_t>(y);
    if (straight && straightRow(src, X0, Y0, out, cols)) continue;
    int x = lanes == Lanes::Sixteen ? rowSixteen(src, dx.data(), dy.data(), X0, Y0, out, 0, cols) : 0;
    if (lanes != Lanes::None) x = rowEight(src, dx.data(), dy.data(), X0, Y0, out,
                                           turnedSteps(src, dx.data(), dy.data(), X0, Y0, out, x, cols), cols);
    for (; x < cols; ++x)
      out[x] = mixed(src, wrapped(X0, dx[x]) >> (kMapBits - kTableBits), wrapped(Y0, dy[x]) >> (kMapBits - kTableBits));
  }
}

}  // namespace pvk::geometry
