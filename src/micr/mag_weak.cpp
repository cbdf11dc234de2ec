// Removal of characters too weak in the magnetic signal: each character's strength is measured
// in the conditioned signal against three thresholds above the background, its confidence
// scaled down or the character removed.
#include <algorithm>
#include <cmath>
#include <cstdlib>

#include "micr/micr.h"

namespace {

struct Thresholds {
  int d, e, f;
};

// The background level around the line and the thresholds it raises (in and out of d, e, f).
void deriveThresholds(char* text, char* conf, int* start, int* end, int& n, int& d, int& e, int& f, float f1,
                      float f2, float f3, int* sig, int from, int to, bool cmc7, int off) {
  const int s0 = std::max(0, start[0] - off), e0 = std::min(end[n - 1] - off, to);
  long sum = 0;
  int count = 0;
  // The background is read inside [from, to) only, however far the line's ends lie.
  auto take = [&](int a, int b) {
    for (int i = std::max({a, from, 0}); i < std::min(b, to); ++i) {
      sum += std::abs(sig[i]);
      count += sig[i] != 0;
    }
  };
  take(from, s0);
  take(e0, to);
  const int bg = static_cast<int>(static_cast<float>(sum) / std::max(count, 1) * 0.8f + 0.5f);

  long strength = 0;
  int measured = 0;
  for (int i = 0; i < n; ++i) {
    const int cs = std::max(start[i], from), ce = std::min(end[i], to);
    if (cs >= ce || text[i] == ' ') {
      RimuoviCarattereMICR(text, conf, start, end, i, n);
      --i;
      continue;
    }
    if (text[i] == '?' || pvk::micr::confOf(conf[i]) <= 9) continue;
    strength += CalcolaValMassimiMinimi(cmc7, text[i], sig, cs, ce);
    ++measured;
  }
  int k = 8;
  if (measured > 3) {
    const int m = static_cast<int>(strength / measured);
    k = m < f ? f : std::min(m, 8);
  }
  d = std::max(static_cast<int>(f1 * k), d) + bg;
  e = std::max(static_cast<int>(f2 * k), e) + bg;
  f = std::max(static_cast<int>(f3 * k), f) + bg;
}

}  // namespace

void RimuoviCaratteriDeboli(char* text, char* conf, int* start, int* end, int& n, char* status, int& weak,
                            int& middle, int& strong, int& d, int& e, int& f, float f1, float f2, float f3, int* sig,
                            int from, int to, bool cmc7, int off, bool keepIsolated) {
  bool flagged[kCdlChars] = {};
  if (f > 8) f = 8;
  weak = middle = strong = 0;
  if (n <= 0 || !text || !conf || !start || !end || !sig) return;
  n = std::min(n, kCdlUsable);
  if (!status) deriveThresholds(text, conf, start, end, n, d, e, f, f1, f2, f3, sig, from, to, cmc7, off);

  Thresholds t{d, e, f};
  for (int i = 0; i < n; ++i) {
    const char ch = text[i];
    if (ch == ' ' || ch == '?') continue;
    if (status && status[i] == 2) {
      conf[i] = 100;
      ++strong;
      continue;
    }
    // The signal has nothing before its first sample: a character that an offset puts there is
    // measured from sample 0.
    const int s = std::max(start[i] - off, 0), r = end[i] - off;
    if (r <= 0) continue;
    if (r > to) break;
    if (status && to <= r + 99) t = {d / 2, e / 2, f / 2};
    int v = CalcolaValMassimiMinimi(cmc7, ch, sig, s, r);
    if (cmc7 && (ch == '<' || ch == '1' || ch == ':')) v = v * 3 / 2;
    const int c = pvk::micr::confOf(conf[i]);
    if (v < t.d) {
      ++weak;
      flagged[i] = true;
    } else if (v < t.e) {
      const int nc = std::max(1, c * v / t.e);
      conf[i] = static_cast<char>(nc);
      if (nc > 9) {
        ++middle;
      } else {
        ++weak;
        flagged[i] = true;
      }
    } else if (v < t.f) {
      const int nc = std::max(1, c * v / t.f);
      conf[i] = static_cast<char>(nc);
      if (nc < 20) {
        text[i] = '?';
        conf[i] = 1;
        ++weak;
      } else {
        ++middle;
      }
    } else if (c <= 1) {
      ++weak;
    } else if (status || c < 20) {
      ++middle;
    } else {
      ++strong;
    }
  }

  // Removal, from the end so that the flags keep their places; a weak character between two
  // that are not weak may stay.
  const int before = n;
  for (int i = before - 1; i >= 0; --i) {
    if (!flagged[i]) continue;
    const bool isolated = i > 0 && i < before - 1 && !flagged[i - 1] && !flagged[i + 1];
    if (!(keepIsolated && isolated)) RimuoviCarattereMICR(text, conf, start, end, i, n);
  }
}
