// The binarisation thresholds of a zone: fifteen grey-level points of the zone's own
// distribution, a range per font derived from them, a series of thresholds spread over the range
// and tried from the middle outwards, and the narrower series of a further cycle.
#include <algorithm>
#include <cassert>

#include "core/image_utils.h"
#include "ocr/ocr.h"

uint8_t ValSogliaOCR[15];
int32_t sMean = 0;

void CalcolaValSoglia(PVKImg* img) {
  ValSogliaOCR[0] = 45;
  pvk::core::LevelCounts counts;
  if (img != nullptr && img->data != nullptr && img->stride >= img->width)
    for (int y = 0; y < img->height; ++y)
      counts.add(img->data + static_cast<size_t>(y) * img->stride, static_cast<size_t>(img->width));
  uint64_t hist[256];
  for (int level = 0; level <= 255; ++level) hist[level] = counts[level];
  // The targets are shares of every pixel the running count walks over. Counting only the mid
  // levels would let a zone of black ink on white paper (no grey but the stroke edges) meet every
  // target with its ink alone: the points then sit at 5, 6, 7, ... instead of at the paper, and
  // the series built on them misses the thin bars of a clean codeline.
  uint64_t total = 0;
  for (int level = 0; level <= 255; ++level) total += hist[level];
  const uint64_t step = std::max<uint64_t>(total, 1) / 16;
  uint64_t running = hist[0] + hist[1] + hist[2] + hist[3] + hist[4];
  int found = 0;
  for (int level = 5; level <= 255 && found < 15; ++level) {
    running += hist[level];
    if (running >= (found + 1) * step) ValSogliaOCR[found++] = static_cast<uint8_t>(level);
  }
  // One point per level can run out of levels (light paper, little ink): the points not reached
  // take the last one found rather than what the previous zone left.
  for (int k = std::max(found, 1); k < 15; ++k) ValSogliaOCR[k] = ValSogliaOCR[k - 1];
}

namespace {

// The smallest step between two thresholds of a first series.
float minimumFirstStep() {
  const short font = MyOcr.currentFont;
  if (Is_BACKL_Font(font) || UtilizzoImgBacklight != 0 || MyOcr.zoneSide == 2 || IsCMC7Font(font)) return 3.0f;
  if (font == 944 || font == 945) return 2.0f;
  return 5.0f;
}

uint8_t clampThreshold(float value) {
  const int v = static_cast<int>(value);
  if (v < 2) return 1;
  return v >= 250 ? 250 : static_cast<uint8_t>(v);
}

// Index order from the middle outwards: for long series the odd distances first.
int trialOrder(int count, int* order) {
  const int mid = count / 2;
  int n = 0;
  order[n++] = mid;
  auto both = [&](int d) {
    if (mid - d >= 0) order[n++] = mid - d;
    if (mid + d < count) order[n++] = mid + d;
  };
  if (count > 9) {
    for (int d = 1; d <= mid; d += 2) both(d);
    for (int d = 2; d <= mid; d += 2) both(d);
  } else {
    for (int d = 1; d <= mid; ++d) both(d);
  }
  return n;
}

}  // namespace

void CalcolaOptSoglia(uint8_t* out, int a, int b, uint16_t& n, uint16_t count, bool first) {
  assert(count >= 2 && count <= 16);
  n = 0;
  if (out == nullptr || count < 2 || count > 16) return;
  int lo = std::min(a, b), hi = std::max(a, b);
  const int w = first ? 40 : 10;
  if (hi < lo + w) {
    if (lo < w) {
      hi += w;
    } else if (hi + w < 256) {
      lo -= w / 2;
      hi += w / 2;
    } else {
      lo -= w;
    }
  }
  const float step = std::max(static_cast<float>(hi - lo) / static_cast<float>(count - 1),
                              first ? minimumFirstStep() : 1.0f);
  uint8_t values[16];
  float value = static_cast<float>(std::max(lo, 1));
  for (int i = 0; i < count; ++i, value += step) values[i] = clampThreshold(value);
  int order[16];
  const int ordered = trialOrder(count, order);
  for (int i = 0; i < ordered; ++i) out[i] = values[order[i]];
  n = count;
}

namespace pvk::ocr {

namespace {

struct FirstRange {
  int low, high, count, D;
  float K;
};

FirstRange firstRange(short font, const uint8_t* v) {
  const int v0 = v[0], v8 = v[8], v14 = v[14];
  if (font == 202) return {std::min(v0, 5), std::min(v8, MyOcr.zoneSide == 2 ? 100 : 180), 15, 20, 0.01f};
  if (font == 1) return {v0 < 50 ? 50 : std::min(v0, 100), v8 < 150 ? 150 : std::min(v8, 180), 9, 20, 0.1f};
  if (font == 3 || font == 4 || font == 5 || font == 38 || font == 39)
    return {std::min(v0, 10), std::min(v8, 150), 9, 20, 0.1f};
  if (Is_BACKL_Font(font)) return {5, std::clamp(v14, 150, 240), 15, 5, 0.01f};
  if (IsMICROPERFORATIONFont(font, true) && font >= 935) return {v0 > 9 ? v0 / 2 : 5, std::max(v14, 220), 15, 5, 0.01f};
  if ((font == 944 || font == 945) && UtilizzoImgBacklight != 0) return {10, std::min(v8, 100), 15, 5, 0.01f};
  if (font == 944 || font == 945) {
    const int low = v0 < 20 ? 10 : v0 <= 100 ? std::min(v0 / 2, 30) : v0 / 2;
    return {low, std::max(v8, 80), 15, 20, 0.02f};
  }
  return {std::min(v0, 30), std::max(v8, 150), 9, 20, 0.1f};
}

}  // namespace

void firstThresholdSeries(PVKImg* zone, ThresholdSeries& s) {
  CalcolaValSoglia(zone);
  const FirstRange r = firstRange(MyOcr.currentFont, ValSogliaOCR);
  s.count = static_cast<uint16_t>(r.count);
  s.D = r.D;
  s.K = r.K;
  CalcolaOptSoglia(s.t, r.high, r.low, s.n, s.count, true);
}

void nextThresholdSeries(ThresholdSeries& s, int lo, int hi) {
  s.K /= 4;
  s.D /= 4;
  sMean = 0;
  if (lo < 0 || hi < lo) return;
  sMean = (lo + hi) / 2;
  const int e = (hi - lo) / s.count < 4 ? 10 : 0;
  if (lo <= 15)
    CalcolaOptSoglia(s.t, 5, std::max(hi, 25), s.n, s.count, false);
  else
    CalcolaOptSoglia(s.t, std::max(lo - e, 5), std::min(hi + e, 250), s.n, s.count, false);
}

}  // namespace pvk::ocr
