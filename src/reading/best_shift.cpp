// Two readings of one microperforated zone come from different images (backlight, front,
// mirrored rear) whose zones do not fall on the same pixels: the shift that lays the character
// boxes of one over the other lets the merges pair the right characters.
#include <algorithm>
#include <cstdlib>

#include "reading/reading.h"

namespace {

constexpr int kMaxReading = 128;
constexpr int kLastIndex = 127;
constexpr int kPasses = 8;

struct Pass {
  int matches = 0;
  int mismatches = 0;
  int shift = 0;
};

// One walk of both readings with tolerance t; the shift follows the matched characters.
Pass walk(const char* a, const ChInfo* ba, int nA, const char* b, const ChInfo* bb, int nB, int t) {
  Pass p;
  int i = 0, j = 0, s = 0;
  while (i < nA && j < nB && i < kLastIndex && j < kLastIndex) {
    if (a[i] == ' ') {
      ++i;
      continue;
    }
    if (b[j] == ' ') {
      ++j;
      continue;
    }
    const int dl = ba[i].left - bb[j].left;
    const int dr = ba[i].right - bb[j].right;
    if (std::abs(dl - s) <= t && std::abs(dr - s) <= t) {
      if (a[i] == b[j]) {
        s = (s + (dl + dr) / 2) / 2;
        if (a[i] != '?') ++p.matches;
      } else if (a[i] != '?' && b[j] != '?') {
        ++p.mismatches;
      }
      ++i, ++j;
    } else if (ba[i].left > bb[j].right + s) {
      ++j;  // B's character lies wholly left of A's: B has one A lacks
    } else if (bb[j].left + s > ba[i].right) {
      ++i;
    } else {
      ++i, ++j;
    }
  }
  p.shift = s;
  return p;
}

uint16_t shifted(uint16_t edge, int shift) {
  return static_cast<uint16_t>(std::clamp(static_cast<int>(edge) + shift, 0, 0xFFFF));
}

}  // namespace

int ValutaBestShift(char* textA, ChInfo* boxesA, int& nA, char* textB, ChInfo* boxesB, int& nB, int tolerance) {
  if (!textA || !boxesA || !textB || !boxesB) return 0;
  if (nA <= 0 || nB <= 0 || nA > kMaxReading || nB > kMaxReading) return 0;
  const int goal = std::min(nA, nB);
  const int tol = std::clamp(tolerance, 0, 1 << 16);
  Pass best;
  for (int k = 1; k <= kPasses; ++k) {
    const Pass p = walk(textA, boxesA, nA, textB, boxesB, nB, tol * k);
    if (p.matches == goal) {
      best = p;
      break;
    }
    const int diff = p.matches - p.mismatches;
    const int bestDiff = best.matches - best.mismatches;
    if (diff > bestDiff || (bestDiff < 1 && best.matches < p.matches)) best = p;
  }
  for (int k = 0; k < nB; ++k) {
    boxesB[k].left = shifted(boxesB[k].left, best.shift);
    boxesB[k].right = shifted(boxesB[k].right, best.shift);
  }
  return best.shift;
}
