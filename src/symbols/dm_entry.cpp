// The DataMatrix reader entry: the symbol's outline in the zone, its upright warp, the
// threshold lists of the locator and sampler, and the retries (square output, a border cut
// away, the zone doubled to 600 dpi).
#include "symbols/symbols.h"

#include "core/records.h"
#include "core/trace.h"
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <new>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

inline bool strictDocument() {
  const int t = MyOcr.typeDoc;
  return t == 3 || t == 4 || t == 6 || t == 7 || t == 8;
}

constexpr int kOutlineBlur = 15;

// Failure counts towards giving a list up; Counted only adds to the count.
enum class Outcome { Failure, Counted, Skipped, Left, Accepted };

// What an attempt on one binary symbol image came to: the same bytes always come to the same,
// so a binary image met again (the threshold lists repeat values, and neighbouring thresholds
// often cut a sharp symbol alike) is answered from here instead of measured and sampled again.
class TriedBinaries {
 public:
  struct Result {
    Outcome outcome;
    bool decoded;  // it got as far as sampling codewords
  };
  const Result* find(uint64_t k) const {
    const auto it = results_.find(k);
    return it == results_.end() ? nullptr : &it->second;
  }
  void add(uint64_t k, Result r) { results_.emplace(k, r); }

  // The size and the bytes, eight at a time in four lanes that do not wait on one another, each
  // step multiplied in and its high half folded down so every byte reaches every bit; the lanes
  // folded together at the end.
  static uint64_t key(const cv::Mat& b) {
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

 private:
  std::unordered_map<uint64_t, Result> results_;
};

// A binary symbol image measured: whether its grid was measured and a version picked, and the
// sampler so set before its first sample. The first look over a list measures each image and
// samples it at the origin; the full pass samples it again from there, or after the origin when
// the first look's sample there ended in a failed correction (which writes nothing).
struct Measured {
  bool ok = false;
  parseImageDM sampler;
  bool resume = false;  // the first sample failed correction: go on from the origins below
  uint16_t rowOffset = 0, colOffset = 0, sampleRow = 0, sampleCol = 0;
};

// The working state of one entry call.
struct Reading {
  Reading(const PVKImg& i, char* o, unsigned short c) : img(i), out(o), capacity(c) {}
  const PVKImg& img;
  char* out;
  unsigned short capacity;
  cv::Mat image;
  cv::Mat blurred;  // the outline search's blur of the image, the same on every try
  cv::Mat shaped;   // the blur eroded and dilated as every try's binary image is
  int table[32] = {};
  cv::Point2f prev[4] = {};
  bool squarePass = false;
  bool symbolSeen = false;
  cv::Mat stored;  // the last binary symbol image processed
  int counter = 0;
  TriedBinaries tried;
  std::unordered_map<uint64_t, std::unique_ptr<Measured>> measured;
  cv::Mat bin;  // the outline search's binary image, its memory kept from try to try
  // What each outline search asked and found: the square pass asks the first pass's thresholds
  // of the same images again.
  struct OutlineTry {
    double asked, threshold;
    bool found, hole;
    std::vector<cv::Point> outline;
  };
  std::vector<OutlineTry> outlines;
  // The symbol each upright warp gave the locator, by its corners and size: the square pass
  // warps a square outline alike, and tries at other thresholds often find the same outline.
  struct UprightTry {
    cv::Point2f corners[3];
    int width, height;
    cv::Mat crop;
  };
  std::vector<UprightTry> uprights;
};

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
  // Otsu's threshold of the crop from its counts, summed in the order and precision of the
  // threshold of the outline search, so that near-equal between-class variances are told apart
  // alike.
  int otsu() const {
    if (crop_.empty()) return 0;
    const double scale = 1. / (static_cast<double>(crop_.rows) * crop_.cols);
    double mu = 0;
    for (int i = 0; i < 256; ++i) mu += i * static_cast<double>(countAt(i));
    mu *= scale;
    double mu1 = 0, q1 = 0, maxSigma = 0;
    int level = 0;
    for (int i = 0; i < 256; ++i) {
      const double p = countAt(i) * scale;
      mu1 *= q1;
      q1 += p;
      const double q2 = 1. - q1;
      if (std::min(q1, q2) < FLT_EPSILON || std::max(q1, q2) > 1. - FLT_EPSILON) continue;
      mu1 = (mu1 + i * p) / q1;
      const double mu2 = (mu - q1 * mu1) / q2;
      const double sigma = q1 * q2 * (mu1 - mu2) * (mu1 - mu2);
      if (sigma > maxSigma) {
        maxSigma = sigma;
        level = i;
      }
    }
    return level;
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

// Whether the crop shows a timing pattern opposite its L at a threshold of the list: a symbol
// reads only at a binarisation that does, so a crop without one at any is no symbol, and the
// list is not tried (nor does it count as a symbol seen for the retries).
bool timingSeen(const cv::Mat& crop, const std::vector<int>& list, int top) {
  for (const int v : list)
    if (v >= 5 && v <= top && pvk::symbols::dmTimingAt(crop, v)) return true;
  return false;
}

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
