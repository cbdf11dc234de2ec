// The 15 x 15 Gaussian blur of the document search and of the sharpening. The image library
// works it out in whole numbers: weights 1 3 6 12 20 30 36 40 36 30 20 12 6 3 1 (in 256ths) down
// the columns and along the rows, one rounding at the end. The same sums here give its bytes,
// with the processor's multiply-adds over 16 to 64 pixels at a time.
#include <immintrin.h>

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstring>
#include <vector>

#include "core/image_utils.h"
#include "geometry/geometry.h"

namespace pvk::geometry {

namespace {

constexpr int kTaps = 15;
constexpr int kHalf = kTaps / 2;
constexpr int kWeight[kTaps] = {1, 3, 6, 12, 20, 30, 36, 40, 36, 30, 20, 12, 6, 3, 1};

// The weights along the rows: the 15 above, or the library's three of a blur 3 pixels wide.
struct RowKernel {
  int taps;
  int weight[kTaps];
};
constexpr RowKernel kWide{kTaps, {1, 3, 6, 12, 20, 30, 36, 40, 36, 30, 20, 12, 6, 3, 1}};
constexpr RowKernel kNarrow{3, {64, 128, 64}};
// A column sum (at most 255 x 256) is kept less 32768, so that it fits a signed 16-bit lane.
constexpr int kColumnBias = 32768;
// A row sum of biased column sums, plus what rounds it, less the bias the 256 weights carry.
constexpr int kRowBias = kColumnBias * 256 + kColumnBias;
// The row buffer holds the column sums with their reflected neighbours on either side, and one
// zero more on the right that the vectors read with a weight of 0.
constexpr int kPadLeft = 8;
constexpr int kPadRight = 16;
// The columns of a block whose rows are checked for one level.
constexpr int kBlock = 32;

// Index i of a line of n reflected about its end pixels (gfedcb|abcdefgh|gfedcba), as the
// library's border of that kind, worked out here: it is asked 30 times a row.
int reflected(int i, int n) {
  if (n == 1) return 0;
  while (i < 0 || i >= n) i = i < 0 ? -i : 2 * n - 2 - i;
  return i;
}

int16_t columnSum(const uint8_t* const* rows, int x) {
  int s = 0;
  for (int k = 0; k < kTaps; ++k) s += kWeight[k] * rows[k][x];
  return static_cast<int16_t>(s - kColumnBias);
}

uint8_t rowSum(const RowKernel& r, const int16_t* sums, int x) {
  int s = 0;
  for (int k = 0; k < r.taps; ++k) s += r.weight[k] * sums[x + k - r.taps / 2];
  return static_cast<uint8_t>((s + kRowBias) >> 16);
}

// Weights of taps k and k + 1 as the byte pairs and the 16-bit pairs of the multiply-adds.
int16_t bytePair(int k) { return static_cast<int16_t>(kWeight[k] | (k + 1 < kTaps ? kWeight[k + 1] << 8 : 0)); }
int32_t wordPair(const RowKernel& r, int k) { return r.weight[k] | (k + 1 < r.taps ? r.weight[k + 1] << 16 : 0); }

// Column sums of 32 pixels from x on, while whole steps fit; returns where it stopped. The
// interleaved bytes of two rows times their two weights give 16-bit sums of pixel pairs. With
// `level`, x a multiple of 32: a step whose block is of one level in all the rows (level[x / 32]
// at least 0) has the sums of that level, 256 times it.
__attribute__((target("avx2"))) int columnsEight(const uint8_t* const* rows, int16_t* out, int x, int n,
                                                 const int16_t* level = nullptr) {
  const __m256i bias = _mm256_set1_epi16(static_cast<int16_t>(kColumnBias));
  for (; x + 32 <= n; x += 32) {
    if (level && level[x / kBlock] >= 0) {
      const __m256i sum = _mm256_set1_epi16(static_cast<int16_t>(level[x / kBlock] * 256 - kColumnBias));
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), sum);
      _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 16), sum);
      continue;
    }
    __m256i lo = _mm256_setzero_si256(), hi = lo;
    for (int k = 0; k < kTaps; k += 2) {
      const __m256i a = _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k] + x));
      const __m256i b = k + 1 < kTaps ? _mm256_loadu_si256(reinterpret_cast<const __m256i*>(rows[k + 1] + x))
                                      : _mm256_setzero_si256();
      const __m256i w = _mm256_set1_epi16(bytePair(k));
      lo = _mm256_add_epi16(lo, _mm256_maddubs_epi16(_mm256_unpacklo_epi8(a, b), w));
      hi = _mm256_add_epi16(hi, _mm256_maddubs_epi16(_mm256_unpackhi_epi8(a, b), w));
    }
    // lo holds pixels 0-7 and 16-23, hi 8-15 and 24-31.
    lo = _mm256_sub_epi16(lo, bias);
    hi = _mm256_sub_epi16(hi, bias);
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm256_permute2x128_si256(lo, hi, 0x20));
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x + 16), _mm256_permute2x128_si256(lo, hi, 0x31));
  }
  return x;
}

// Row sums of 16 pixels from x on. A multiply-add of the sums loaded from tap k on weighs each
// pair of neighbours by taps k and k + 1: the loads from even taps give the even pixels' sums in
// 32-bit lanes, the loads one further the odd pixels'; nothing is shuffled.
// With `runs` set, a step whose column sums are all one (as under a block of one level) is that
// sum's pixel, worked out once.
__attribute__((target("avx2"))) int rowsEight(const RowKernel& r, const int16_t* sums, uint8_t* out, int x,
                                              int n, bool runs = false) {
  const __m256i bias = _mm256_set1_epi32(kRowBias);
  for (; x + 16 <= n; x += 16) {
    const int16_t* p = sums + x - r.taps / 2;
    if (runs) {
      // The 15 + taps - 1 sums of the step, in two loads that overlap.
      const __m256i first = _mm256_set1_epi16(p[0]);
      const __m256i same = _mm256_and_si256(
          _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p)), first),
          _mm256_cmpeq_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + r.taps - 1)), first));
      if (_mm256_movemask_epi8(same) == -1) {
        const char pixel = static_cast<char>((p[0] * 256 + kRowBias) >> 16);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x), _mm_set1_epi8(pixel));
        continue;
      }
    }
    __m256i even = _mm256_setzero_si256(), odd = even;
    for (int k = 0; k < r.taps; k += 2) {
      const __m256i w = _mm256_set1_epi32(wordPair(r, k));
      even = _mm256_add_epi32(even, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k)), w));
      odd = _mm256_add_epi32(odd, _mm256_madd_epi16(_mm256_loadu_si256(reinterpret_cast<const __m256i*>(p + k + 1)), w));
    }
    even = _mm256_srai_epi32(_mm256_add_epi32(even, bias), 16);
    odd = _mm256_srai_epi32(_mm256_add_epi32(odd, bias), 16);
    const __m256i words = _mm256_or_si256(even, _mm256_slli_epi32(odd, 16));  // pixels in order
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_packus_epi16(_mm256_castsi256_si128(words), _mm256_extracti128_si256(words, 1)));
  }
  return x;
}

// The 512-bit intrinsics leave their unused pass-through operand undefined, which GCC 12 reports
// as a read of an uninitialised value.
#pragma GCC diagnostic push
#if !defined(__clang__)  // a warning of GCC alone
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
__attribute__((target("avx512f,avx512bw"))) int columnsSixteen(const uint8_t* const* rows, int16_t* out, int x,
                                                               int n) {
  const __m512i bias = _mm512_set1_epi16(static_cast<int16_t>(kColumnBias));
  const __m512i first = _mm512_set_epi64(11, 10, 3, 2, 9, 8, 1, 0), second = _mm512_set_epi64(15, 14, 7, 6, 13, 12, 5, 4);
  for (; x + 64 <= n; x += 64) {
    __m512i lo = _mm512_setzero_si512(), hi = lo;
    for (int k = 0; k < kTaps; k += 2) {
      const __m512i a = _mm512_loadu_si512(rows[k] + x);
      const __m512i b = k + 1 < kTaps ? _mm512_loadu_si512(rows[k + 1] + x) : _mm512_setzero_si512();
      const __m512i w = _mm512_set1_epi16(bytePair(k));
      lo = _mm512_add_epi16(lo, _mm512_maddubs_epi16(_mm512_unpacklo_epi8(a, b), w));
      hi = _mm512_add_epi16(hi, _mm512_maddubs_epi16(_mm512_unpackhi_epi8(a, b), w));
    }
    // Each 128-bit lane of lo holds eight pixels, of hi the eight after them.
    lo = _mm512_sub_epi16(lo, bias);
    hi = _mm512_sub_epi16(hi, bias);
    _mm512_storeu_si512(out + x, _mm512_permutex2var_epi64(lo, first, hi));
    _mm512_storeu_si512(out + x + 32, _mm512_permutex2var_epi64(lo, second, hi));
  }
  return x;
}

__attribute__((target("avx512f,avx512bw"))) int rowsSixteen(const RowKernel& r, const int16_t* sums, uint8_t* out,
                                                            int x, int n) {
  const __m512i bias = _mm512_set1_epi32(kRowBias);
  for (; x + 32 <= n; x += 32) {
    const int16_t* p = sums + x - r.taps / 2;
    __m512i even = _mm512_setzero_si512(), odd = even;
    for (int k = 0; k < r.taps; k += 2) {
      const __m512i w = _mm512_set1_epi32(wordPair(r, k));
      even = _mm512_add_epi32(even, _mm512_madd_epi16(_mm512_loadu_si512(p + k), w));
      odd = _mm512_add_epi32(odd, _mm512_madd_epi16(_mm512_loadu_si512(p + k + 1), w));
    }
    even = _mm512_srai_epi32(_mm512_add_epi32(even, bias), 16);
    odd = _mm512_srai_epi32(_mm512_add_epi32(odd, bias), 16);
    const __m512i words = _mm512_or_si512(even, _mm512_slli_epi32(odd, 16));  // pixels in order
    _mm256_storeu_si256(reinterpret_cast<__m256i*>(out + x), _mm512_cvtepi16_epi8(words));
  }
  return x;
}
#pragma GCC diagnostic pop

// Whether every column sum of a row is at least `floor` in 256ths: the weights along the row are
// positive and sum to 256ths too, so each of its pixels comes out at the floor or above.
bool sumsAtLeast(const int16_t* sums, int cols, uint8_t floor) {
  const int least = floor * 256 - kColumnBias;
  int16_t low = INT16_MAX;
  for (int x = 0; x < cols; ++x) low = std::min(low, sums[x]);
  return low >= least;
}

// For each row, whether the rows its blur draws on (7 either side, reflected into the image)
// hold no pixel below `floor`: each pixel of it is then a mean of pixels at the floor or above.
std::vector<uint8_t> blankRows(const cv::Mat& src, uint8_t floor) {
  const int rows = src.rows, cols = src.cols;
  std::vector<uint8_t> light(rows), blank(rows, 0);
  for (int y = 0; y < rows; ++y) {
    const uint8_t* p = src.ptr<uint8_t>(y);
    uint8_t least = 255;
    for (int x = 0; x < cols; ++x) least = std::min(least, p[x]);
    light[y] = least >= floor;
  }
  for (int y = 0, dark = 0; y < rows + kHalf; ++y) {
    // dark counts the rows below the floor among y - kTaps + 1 .. y; row y - kHalf draws on them.
    if (y < rows) dark += !light[y];
    if (y >= kTaps && y - kTaps < rows) dark -= !light[y - kTaps];
    if (y >= kHalf) blank[y - kHalf] = dark == 0;
  }
  return blank;
}

// The blocks of 32 columns that are of one level in each of the rows seen last, as the band of a
// row's blur moves down: a scanner's background and its paper, held at the ends of the range by
// the correction, often are. A block of one level through the band has known column sums.
class LevelBlocks {
 public:
  explicit LevelBlocks(int cols) : value_(cols / kBlock, -1), run_(cols / kBlock, 0), level_(cols / kBlock, -1) {}

  // The next row down; `whole` when the band ends at it and lies whole in the image. The row
  // `next` bytes on is asked for meanwhile: a side's rows lie apart and are read here first.
  void add(const uint8_t* row, bool whole, size_t next) {
    any_ = false;
    for (size_t b = 0; b < value_.size(); ++b) {
      const uint8_t* p = row + b * kBlock;
      __builtin_prefetch(p + next);
      const int v = oneLevel(p) ? p[0] : -1;
      run_[b] = v >= 0 && v == value_[b] ? run_[b] + 1 : (v >= 0 ? 1 : 0);
      value_[b] = static_cast<int16_t>(v);
      level_[b] = whole && run_[b] >= kTaps ? value_[b] : int16_t(-1);
      any_ = any_ || level_[b] >= 0;
    }
  }
  void clear() {
    std::fill(level_.begin(), level_.end(), int16_t(-1));
    any_ = false;
  }
  // Per block its level through the band, or -1; null when there is none.
  const int16_t* levels() const { return any_ ? level_.data() : nullptr; }

 private:
  static bool oneLevel(const uint8_t* p) {
    uint64_t w[4];
    std::memcpy(w, p, sizeof w);
    const uint64_t all = p[0] * 0x0101010101010101ull;
    return ((w[0] ^ all) | (w[1] ^ all) | (w[2] ^ all) | (w[3] ^ all)) == 0;
  }
  std::vector<int16_t> value_, run_, level_;
  bool any_ = false;
};

}  // namespace

void gaussianBlur15(const cv::Mat& src, cv::Mat& dst, Lanes lanes, int width, uint8_t floor) {
  const bool wide = lanes == Lanes::Sixteen && pvk::core::processorHas(pvk::core::Cpu::BytePermutes);
  const bool eight = lanes != Lanes::None && pvk::core::processorHas(pvk::core::Cpu::EightLanes);
  // A part of a larger image is blurred by the library with the pixels around it, not reflected.
  if (!eight || src.type() != CV_8UC1 || dst.type() != CV_8UC1 || dst.size() != src.size() || src.empty() ||
      src.isSubmatrix() || dst.data == src.data || (width != kTaps && width != 3)) {
    cv::GaussianBlur(src, dst, cv::Size(width, kTaps), 0, 0, cv::BORDER_REFLECT_101);
    return;
  }
  const RowKernel& kernel = width == kTaps ? kWide : kNarrow;
  const int rows = src.rows, cols = src.cols;
  std::vector<int16_t> buffer(static_cast<size_t>(cols) + kPadLeft + kPadRight, 0);
  int16_t* sums = buffer.data() + kPadLeft;
  const uint8_t* band[kTaps];
  const std::vector<uint8_t> blank = floor > 0 ? blankRows(src, floor) : std::vector<uint8_t>(rows, 0);
  // The band of row y is rows y - 7 to y + 7; it lies whole in the image from row 7 to the
  // eighth last, and blocks of one level are looked for there alone.
  LevelBlocks levels(wide ? 0 : cols);
  for (int k = 0; !wide && k < kHalf && k < rows; ++k) levels.add(src.ptr<uint8_t>(k), false, src.step);
  for (int y = 0; y < rows; ++y) {
    if (!wide && y + kHalf < rows) levels.add(src.ptr<uint8_t>(y + kHalf), y >= kHalf, y + kHalf + 1 < rows ? src.step : 0);
    else levels.clear();
    if (blank[y]) {
      std::memset(dst.ptr<uint8_t>(y), 255, cols);
      continue;
    }
    for (int k = 0; k < kTaps; ++k) band[k] = src.ptr<uint8_t>(reflected(y + k - kHalf, rows));
    // The columns a whole step leaves over are summed by one more step that ends at the row's
    // end, where the row is that wide: some sums are worked out twice, none one by one.
    int x = wide ? columnsSixteen(band, sums, 0, cols) : 0;
    x = columnsEight(band, sums, x, cols, levels.levels());
    if (x < cols && cols >= 32) x = columnsEight(band, sums, cols - 32, cols);
    for (; x < cols; ++x) sums[x] = columnSum(band, x);
    for (int k = 1; k <= kHalf; ++k) {
      sums[-k] = sums[reflected(-k, cols)];
      sums[cols - 1 + k] = sums[reflected(cols - 1 + k, cols)];
    }
    uint8_t* out = dst.ptr<uint8_t>(y);
    if (floor > 0 && sumsAtLeast(sums, cols, floor)) {
      std::memset(out, 255, cols);
      continue;
    }
    x = wide ? rowsSixteen(kernel, sums, out, 0, cols) : 0;
    x = rowsEight(kernel, sums, out, x, cols, levels.levels() != nullptr);
    if (x < cols && cols >= 16) x = rowsEight(kernel, sums, out, cols - 16, cols);
    for (; x < cols; ++x) out[x] = rowSum(kernel, sums, x);
  }
}

}  // namespace pvk::geometry
