// The threshold lists of the DataMatrix entry: each try's binarisations of its symbol crop, the
// first look that samples them at their measured origins, and the full pass over the list with
// the answers of images met before.
#include "symbols/symbols.h"

#include "geometry/geometry.h"

#include <opencv2/core.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace pvk::symbols::dm {

// The size and the bytes, eight at a time in four lanes that do not wait on one another, each
// step multiplied in and its high half folded down so every byte reaches every bit; the lanes
// folded together at the end.
uint64_t TriedBinaries::key(const cv::Mat& b) {
  uint64_t lane[4] = {1469598103934665603ull, 0x243F6A8885A308D3ull, 0x13198A2E03707344ull, 0xA4093822299F31D0ull};
  auto mix = [](uint64_t& h, uint64_t v) {
    h = (h ^ v) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 32;
  };
  mix(lane[0], static_cast<uint64_t>(b.rows));
  mix(lane[1], static_cast<uint64_t>(b.cols));
  for (int y = 0; y < b.rows; ++y) {
    const uint8_t* p = b.ptr<uint8_t>(y);
    int x = 0;
    for (uint64_t v[4]; x + 32 <= b.cols; x += 32) {
      std::memcpy(v, p + x, 32);
      for (int k = 0; k < 4; ++k) mix(lane[k], v[k]);
    }
    for (uint64_t v; x + 8 <= b.cols; x += 8) {
      std::memcpy(&v, p + x, 8);
      mix(lane[2], v);
    }
    for (; x < b.cols; ++x) mix(lane[3], p[x]);
  }
  uint64_t h = lane[0];
  for (int k = 1; k < 4; ++k) mix(h, lane[k]);
  return h;
}

// A pixel above t as `above`, the others as 255 - `above`, from src into dst (made src's size).
// Done here in one plain pass: the library's threshold hands a whole zone to its worker
// threads, and a binarisation of a crop would first be a copy.
void thresholdInto(const cv::Mat& src, cv::Mat& dst, int t, uint8_t above) {
  dst.create(src.size(), CV_8UC1);
  // A pixel is above t when it is at least t + 1; for t outside 0..254 all are on one side.
  const int least = std::clamp(t + 1, 0, 256);
  const uint8_t flip = above == 255 ? 0 : 255;
  for (int y = 0; y < src.rows; ++y) {
    const uint8_t* s = src.ptr<uint8_t>(y);
    uint8_t* d = dst.ptr<uint8_t>(y);
    int x = 0;
#if defined(__SSE2__)
    if (least >= 1 && least <= 255) {
      const __m128i l = _mm_set1_epi8(static_cast<char>(least)), f = _mm_set1_epi8(static_cast<char>(flip));
      for (; x + 16 <= src.cols; x += 16) {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + x));
        const __m128i up = _mm_cmpeq_epi8(_mm_max_epu8(v, l), v);
        _mm_storeu_si128(reinterpret_cast<__m128i*>(d + x), _mm_xor_si128(up, f));
      }
    }
#endif
    for (; x < src.cols; ++x) d[x] = s[x] >= least ? above : static_cast<uint8_t>(255 - above);
  }
}

namespace {

// The module size, origin and version of binary symbol image b (key k), measured once.
Measured& measure(Reading& st, const cv::Mat& b, uint64_t k) {
  std::unique_ptr<Measured>& m = st.measured[k];
  if (m) return *m;
  m.reset(new Measured);
  imageReaderDM r;
  if (!r.findPixelSize(b)) return *m;
  m->sampler = parseImageDM::withMeasures(r.parser);
  m->ok = m->sampler.setImage(b) != 0;
  return *m;
}

bool acceptedLength(unsigned short length) { return MyITACheck.active ? length > 28 : length != 0; }

// The sampling and decoding of binary image b (key k) from its measured origin on, with the
// resampling it asks for; `decoded` tells that codewords were sampled.
Outcome measureAndDecode(Reading& st, const cv::Mat& b, uint64_t k, unsigned short& length, bool& decoded) {
  const Measured& m = measure(st, b, k);
  if (!m.ok) return Outcome::Failure;
  parseImageDM s = m.sampler;
  s.image = &b;
  if (m.resume) {  // what the sample at the origin did, but the failed correction
    st.symbolSeen = true;
    st.counter = 0;
    decoded = true;
    s.rowOffset = m.rowOffset;
    s.colOffset = m.colOffset;
    s.sampleRow = m.sampleRow;
    s.sampleCol = m.sampleCol;
  }
  for (;;) {
    if (s.extractDataRegion() == -1) return Outcome::Counted;
    st.symbolSeen = true;
    st.counter = 0;
    decoded = true;
    if (!s.readCodewords()) return Outcome::Left;
    const int n = s.getDataBlocks(st.out, length, st.capacity);
    if (n == -3) continue;
    if (n != 0) return Outcome::Left;
    return acceptedLength(length) ? Outcome::Accepted : Outcome::Left;
  }
}

// A binarisation of a list's crop, with its key.
struct Binary {
  cv::Mat image;
  uint64_t key;
};

// The binarisations of one list's crop. Two thresholds with no pixel of the crop between them
// cut it alike: the list repeats values and steps by one, and a threshold that cuts as an earlier
// one did is given that one's image instead of a new one.
class Binarisations {
 public:
  explicit Binarisations(const cv::Mat& crop) : crop_(crop) {
    if (crop.empty()) return;
    // Four counts interleaved, so that neighbouring pixels of one shade do not wait on one
    // counter.
    int part[4][256] = {};
    for (int y = 0; y < crop.rows; ++y) {
      const uint8_t* p = crop.ptr<uint8_t>(y);
      int x = 0;
      for (; x + 4 <= crop.cols; x += 4) {
        ++part[0][p[x]];
        ++part[1][p[x + 1]];
        ++part[2][p[x + 2]];
        ++part[3][p[x + 3]];
      }
      for (; x < crop.cols; ++x) ++part[0][p[x]];
    }
    for (int i = 0; i < 256; ++i)
      atOrBelow_[i] = (i > 0 ? atOrBelow_[i - 1] : 0) + part[0][i] + part[1][i] + part[2][i] + part[3][i];
  }
  // The crop's pixels at or below v: two thresholds that leave as many dark cut the crop alike.
  int darkAt(int v) const { return v < 0 ? 0 : atOrBelow_[std::min(v, 255)]; }
  // Otsu's threshold of the crop from its counts, as the outline search takes it of its blur.
  int otsu() const {
    if (crop_.empty()) return 0;
    std::array<int, 256> counts{};
    for (int i = 0; i < 256; ++i) counts[i] = countAt(i);
    return pvk::geometry::otsuLevelOfCounts(counts, static_cast<double>(crop_.rows) * crop_.cols);
  }
  // The binarisation at v; `fresh` tells that no earlier threshold cut the crop so.
  Binary at(int v, bool* fresh = nullptr) {
    const int dark = darkAt(v);
    for (const Made& m : made_)
      if (m.dark == dark) {
        if (fresh) *fresh = false;
        return m.binary;
      }
    if (fresh) *fresh = true;
    cv::Mat b;
    thresholdInto(crop_, b, v, 255);
    made_.push_back({dark, {b, TriedBinaries::key(b)}});
    return made_.back().binary;
  }

 private:
  struct Made {
    int dark;  // the crop's pixels at or below the threshold, which the image shows dark
    Binary binary;
  };
  int countAt(int i) const { return atOrBelow_[i] - (i > 0 ? atOrBelow_[i - 1] : 0); }
  const cv::Mat& crop_;
  int atOrBelow_[256] = {};
  std::vector<Made> made_;
};

// One attempt with list entry v on the grey symbol the locator cropped from this try's upright
// image (empty: it found none); the accepted length in `length`.
Outcome attempt(Reading& st, const cv::Mat& crop, int v, Binarisations& bins, unsigned short& length) {
  if (crop.empty()) return Outcome::Failure;
  const Binary bin = bins.at(v);
  const cv::Mat& b = bin.image;
  if (!st.stored.empty() && st.stored.rows == b.rows && st.stored.cols == b.cols &&
      (b.datastart == st.stored.datastart || std::equal(b.datastart, b.dataend, st.stored.datastart)))
    return Outcome::Skipped;
  // Nothing writes to b from here on: the last image processed shares its memory.
  st.stored = b;
  const uint64_t k = bin.key;
  if (const TriedBinaries::Result* seen = st.tried.find(k)) {
    if (seen->decoded) {
      st.symbolSeen = true;
      st.counter = 0;
    }
    return seen->outcome;
  }
  bool decoded = false;
  const Outcome o = measureAndDecode(st, b, k, length, decoded);
  if (o != Outcome::Accepted) st.tried.add(k, {o, decoded});
  return o;
}

// Entries of a list up to here are never given up on: the first look may take them in any order.
constexpr int kLastSure = 22;

// Whether the grid measured spans the crop: the version's modules at the measured sizes cover
// it to within half a module each way. A module size measured short or long drifts the sample
// off the modules across the symbol, and such a sample is seldom corrected.
bool gridSpansCrop(const parseImageDM& s, const cv::Mat& crop) {
  return std::fabs(s.columns * s.moduleWidth - crop.cols) < s.moduleWidth / 2 &&
         std::fabs(s.rows * s.moduleHeight - crop.rows) < s.moduleHeight / 2;
}

// The first look's sample of a measured binarisation at its origin: the accepted length (the
// text in `text`), else 0, with where a failed correction left the sampler for the full pass.
int sampleAtOrigin(Reading& st, const cv::Mat& b, Measured& m, std::vector<char>& text) {
  parseImageDM s = m.sampler;
  s.image = &b;
  unsigned short length = 0;
  // Too few codewords is left to the full pass, which traces it.
  if (s.extractDataRegion() == -1 || !s.readCodewords() || s.codewords.size() < 4) return 0;
  const int n = s.getDataBlocks(text.data(), length, st.capacity);
  if (n == -3) {
    m.resume = true;
    m.rowOffset = s.rowOffset;
    m.colOffset = s.colOffset;
    m.sampleRow = s.sampleRow;
    m.sampleCol = s.sampleCol;
  }
  return n == 0 && acceptedLength(length) ? length : 0;
}

// A first-look candidate not yet looked at, measured; nullptr when the crop was cut so before
// (tried, measured, or an earlier threshold of the list) or no grid was measured.
Measured* measuredFresh(Reading& st, Binarisations& bins, int v, Binary& bin) {
  bool fresh = false;
  bin = bins.at(v, &fresh);
  if (!fresh || st.tried.find(bin.key) != nullptr || st.measured.count(bin.key) != 0) return nullptr;
  Measured& m = measure(st, bin.image, bin.key);
  return m.ok ? &m : nullptr;
}

// Whether the rows of the crop at v give the module width, answered once for each cut.
class RowWidths {
 public:
  RowWidths(const cv::Mat& crop, const Binarisations& bins) : crop_(crop), bins_(bins) {}
  bool at(int v) {
    const int dark = bins_.darkAt(v);
    for (const auto& [d, gives] : seen_)
      if (d == dark) return gives;
    seen_.emplace_back(dark, pvk::symbols::dmRowsGiveWidth(crop_, v));
    return seen_.back().second;
  }

 private:
  const cv::Mat& crop_;
  const Binarisations& bins_;
  std::vector<std::pair<int, bool>> seen_;
};

// The first look over a list: each binarisation sampled at its measured origin alone, before any
// is sampled again at other origins, those nearest the crop's own Otsu threshold first. Those
// whose rows give no module width, or whose grid does not span the crop, come after the others
// (those without a width are not even measured until then): a module size taken from elsewhere, or
// measured short or long, drifts off the modules across the symbol, and such a sample is seldom
// corrected.
// A symbol one of them reads there is read without the resampling of those before it in the
// list, each origin of which costs a failed correction; the full pass then goes over the list as
// ever, its measures kept. Nothing the full pass counts is touched, and the text goes to the
// caller only when accepted. The accepted length, or 0.
int firstLook(Reading& st, const cv::Mat& crop, const std::vector<int>& list, int top, Binarisations& bins) {
  if (crop.empty()) return 0;
  std::vector<int> order;
  for (int j = 0; j < static_cast<int>(list.size()) && j <= kLastSure; ++j)
    if (list[j] >= 5 && list[j] <= top) order.push_back(list[j]);
  const int otsu = bins.otsu();
  std::stable_sort(order.begin(), order.end(),
                   [otsu](int a, int b) { return std::abs(a - otsu) < std::abs(b - otsu); });
  std::vector<char> text(st.capacity);
  struct Later {
    int v;
    Binary bin;
    Measured* m;  // nullptr: not measured yet
  };
  std::vector<Later> later;
  RowWidths rows(crop, bins);
  int length = 0;
  for (const int v : order) {
    if (pvk::core::stopRequested()) return 0;
    Binary bin;
    Measured* m = nullptr;
    if (!rows.at(v)) later.push_back({v, bin, nullptr});
    else if ((m = measuredFresh(st, bins, v, bin)) == nullptr) continue;
    else if (!gridSpansCrop(m->sampler, crop)) later.push_back({v, bin, m});
    else if ((length = sampleAtOrigin(st, bin.image, *m, text)) != 0) break;
  }
  for (size_t i = 0; length == 0 && i < later.size(); ++i) {
    if (pvk::core::stopRequested()) return 0;
    Later& l = later[i];
    if (l.m == nullptr && (l.m = measuredFresh(st, bins, l.v, l.bin)) == nullptr) continue;
    length = sampleAtOrigin(st, l.bin.image, *l.m, text);
  }
  if (length != 0) std::memcpy(st.out, text.data(), st.capacity);
  return length;
}

// Whether the crop shows a timing pattern opposite its L at a threshold of the list: a symbol
// reads only at a binarisation that does, so a crop without one at any is no symbol, and the
// list is not tried (nor does it count as a symbol seen for the retries).
bool timingSeen(const cv::Mat& crop, const std::vector<int>& list, int top) {
  for (const int v : list)
    if (v >= 5 && v <= top && pvk::symbols::dmTimingAt(crop, v)) return true;
  return false;
}

}  // namespace

// The threshold list of one try, each entry one candidate binarisation of the symbol cropped
// from the try's upright image (empty: none was found); the accepted length, or 0.
int runList(Reading& st, const cv::Mat& crop, int top) {
  const std::vector<int> list = pvk::symbols::dmThresholdList(top);
  if (!timingSeen(crop, list, top)) return 0;
  Binarisations bins(crop);
  if (const int length = firstLook(st, crop, list, top, bins)) return length;
  for (int j = 0; j < static_cast<int>(list.size()); ++j) {
    if (pvk::core::stopRequested()) return 0;
    if (list[j] < 5 || list[j] > top) continue;
    unsigned short length = 0;
    const Outcome o = attempt(st, crop, list[j], bins, length);
    if (o == Outcome::Accepted) return length;
    if (j <= kLastSure || (o != Outcome::Failure && o != Outcome::Counted)) continue;
    if (o == Outcome::Counted) {
      ++st.counter;
      continue;
    }
    // Late failures with nothing reaching decoding in between: give the list up.
    if (st.counter >= 5) break;
    ++st.counter;
  }
  return 0;
}

}  // namespace pvk::symbols::dm

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
