// Conditioning of a white reference when calibration data is loaded: margins and outliers of
// the black reference are evened out, dark white-reference pixels are patched, and a run of
// dark pixels inside the tracked region is reported as dirt on the sensor.
#include <algorithm>

#include "calibration/calibration.h"
#include "core/trace.h"

namespace pvk::calibration {

namespace {

struct Patcher {
  uint8_t* white;
  const uint8_t* black;
  int span;
  int half;
  int strong;
  int darkRun = 0;
  bool dirt = false;

  void patch(int x) { white[x] = static_cast<uint8_t>(std::min(black[x] + span, 255)); }

  // Tracking: a pixel below black + half is dark and patched; four in a row mean dirt.
  void track(int x) {
    if (white[x] < black[x] + half) {
      patch(x);
      if (darkRun >= 3) dirt = true;
      ++darkRun;
    } else {
      darkRun = 0;
    }
  }

  // A margin starts searching: the first eight good pixels of a run are still patched.
  void margin(int from, int to, int step) {
    bool searching = true;
    int count = 0;
    for (int x = from; x != to; x += step) {
      if (!searching) {
        track(x);
      } else if (white[x] >= black[x] + strong) {
        if (count > 7) searching = false;
        else patch(x);
        ++count;
      } else {
        patch(x);
        count = 0;
      }
    }
  }
};

}  // namespace

bool conditionWhiteReference(const ConditionInput& in, bool& dirt) {
  const int P = std::max(in.pixels, 0);
  const int left = std::clamp(in.left, 0, P);
  const int right = std::clamp(in.left + in.width, left, P);
  const int width = right - left;
  int delta = in.dpi;
  if (width < in.dpi) {
    WriteTrace("unexpected delta in evaluation callibration", false);
    delta = width / 4;
  }
  const int lo = left + delta;
  const int hi = right - delta;
  if (lo >= hi) {
    WriteTrace("err - ", "unexpected null width reading calibration file", false);
    return false;
  }
  uint8_t* white = in.white;
  uint8_t* black = in.black;
  const int W = in.whiteLevel;
  const int B = in.blackLevel;
  const int t = std::max((B + 2 * W) / 3 - B, 20);
  long sumB = 0, sumW = 0, count = 1;
  for (int x = lo; x < hi; ++x) {
    if (white[x] > black[x] + t) {
      sumB += black[x];
      sumW += white[x];
      ++count;
    }
  }
  const int avgB = static_cast<int>(sumB / count);
  const int avgW = std::max(static_cast<int>(sumW / count), t);
  const int span = (avgW - avgB) & 0xFF;
  const int half = span / 2;
  const int strong = (3 * half) / 2;

  for (int x = 0; x < left; ++x) {
    black[x] = static_cast<uint8_t>(avgB);
    white[x] = static_cast<uint8_t>(std::min(avgW, 255));
  }
  for (int x = 0; x < P; ++x)
    if (black[x] > avgB + 100 || black[x] >= 201) black[x] = static_cast<uint8_t>(avgB);

  Patcher pt{white, black, span, half, strong};
  pt.margin(left, lo, 1);
  for (int x = lo; x < hi; ++x) pt.track(x);
  pt.margin(right - 1, hi - 1, -1);
  for (int x = right; x < P; ++x) {
    black[x] = static_cast<uint8_t>(avgB);
    white[x] = static_cast<uint8_t>(std::min(avgW, 255));
  }
  dirt = dirt || pt.dirt;
  return true;
}

}  // namespace pvk::calibration
