// The size a codeline was printed at, from the pitch of its characters: codeline fonts set one
// character every eighth of an inch, and a line printed from a font scaled down or up keeps its
// shapes but not that pitch. Its image is then the standard line at another resolution, which is
// the resolution it is read at.
#include <algorithm>
#include <cmath>
#include <vector>

#include "ocr/ocr.h"

namespace pvk::ocr {
namespace {

constexpr double kPitchInches = 0.125;
// Pitches looked for, as shares of the standard's.
constexpr double kShareLow = 0.5, kShareHigh = 1.3;
// Below this correlation at its best lag the line shows no steady pitch.
constexpr double kSteady = 0.2;
// A line correlates with itself two characters on about as well as one on: the pitch is the
// shortest lag that comes this close to the best.
constexpr double kNearBest = 0.8;
// A line within this share of the standard's pitch is read as it is.
constexpr double kTolerance = 0.1;
constexpr uint16_t kHighestDpi = 1200;
// The engine reads nothing at this resolution or below.
constexpr long kLowestDpi = 71;

// Ink per column over the whole height, averaged over a tenth of a pitch (the strokes inside a
// character go) less its mean over about one pitch (a stain's or uneven paper's slow swing goes):
// what stays is the rhythm of characters and the gaps between them.
std::vector<double> columnRhythm(const PVKImg& img, double pitch) {
  const size_t w = img.width;
  std::vector<double> sum(w + 1, 0.0);
  for (size_t y = 0; y < img.height; ++y) {
    const uint8_t* row = img.data + y * img.stride;
    for (size_t x = 0; x < w; ++x) sum[x + 1] += 255 - row[x];
  }
  for (size_t x = 0; x < w; ++x) sum[x + 1] += sum[x];
  const auto mean = [&sum, w](size_t x, size_t half) {
    const size_t a = x > half ? x - half : 0, b = std::min(w, x + half + 1);
    return (sum[b] - sum[a]) / static_cast<double>(b - a);
  };
  const auto strokes = static_cast<size_t>(0.1 * pitch), swing = static_cast<size_t>(0.65 * pitch);
  std::vector<double> rhythm(w);
  for (size_t x = 0; x < w; ++x) rhythm[x] = mean(x, strokes) - mean(x, swing);
  return rhythm;
}

// The correlation of the rhythm with itself lag columns on, per column compared: a longer lag
// compares fewer columns and is not the weaker for it.
double correlation(const std::vector<double>& r, int lag, double energy) {
  const size_t compared = r.size() - static_cast<size_t>(lag);
  double s = 0;
  for (size_t x = 0; x < compared; ++x) s += r[x] * r[x + static_cast<size_t>(lag)];
  return s / energy * static_cast<double>(r.size()) / static_cast<double>(compared);
}

}  // namespace

double codelinePitchShare(const PVKImg& img) {
  // The search costs a tenth of the resolution in passes over the columns: a resolution no zone
  // is cut at (a garbled record) is not searched.
  if (img.data == nullptr || img.dpi == 0 || img.dpi > kHighestDpi || img.height < 1 || img.stride < img.width)
    return 0;
  const double pitch = kPitchInches * img.dpi;
  const int lo = static_cast<int>(kShareLow * pitch), hi = static_cast<int>(std::ceil(kShareHigh * pitch));
  // A pitch is told by several characters in a row.
  if (lo < 2 || img.width < 4 * hi) return 0;
  const std::vector<double> rhythm = columnRhythm(img, pitch);
  double energy = 0;
  for (double v : rhythm) energy += v * v;
  if (energy <= 0) return 0;
  std::vector<double> r(static_cast<size_t>(hi) + 2);
  for (int lag = lo - 1; lag <= hi + 1; ++lag) r[static_cast<size_t>(lag)] = correlation(rhythm, lag, energy);
  const auto at = [&r](int lag) { return r[static_cast<size_t>(lag)]; };
  double top = at(lo);
  for (int lag = lo; lag <= hi; ++lag) top = std::max(top, at(lag));
  if (top < kSteady) return 0;
  int best = lo;
  while (best <= hi && !(at(best) >= kNearBest * top && at(best) >= at(best - 1) && at(best) >= at(best + 1))) ++best;
  // A peak at the range's edge may be the slope of one outside it.
  if (best <= lo || best >= hi) return 0;
  const double peak = at(best);
  const double before = at(best - 1), after = at(best + 1);
  const double bend = before - 2 * peak + after;
  const double lag = best + (bend < 0 ? 0.5 * (before - after) / bend : 0.0);
  return lag / pitch;
}

bool codelineOffSize(const PVKImg& img) {
  const double share = codelinePitchShare(img);
  return share > 0 && std::fabs(share - 1) > kTolerance;
}

uint16_t codelineReadingDpi(const PVKImg& img) {
  const double share = codelinePitchShare(img);
  if (share <= 0 || std::fabs(share - 1) <= kTolerance) return img.dpi;
  const long dpi = std::lround(img.dpi * share);
  return dpi > kLowestDpi ? static_cast<uint16_t>(std::min<long>(dpi, 0xFFFF)) : img.dpi;
}

}  // namespace pvk::ocr
