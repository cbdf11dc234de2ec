// The rule blocks of the magnetic E13B recogniser: the peaks and valleys of one character window,
// measured from its closing valley, against the distance windows of every symbol. Two lobes are
// tried for 0, 1, 2, 3, 4, 5, 6, 9 and ':', three lobes for 1, 6, 7, 8, 9, '<', ';' and '='.
// Distances and widths are in samples of the down-sampled head signal.
#include <algorithm>

#include "micr/e13b_window.h"
#include "micr/micr.h"

namespace pvk::micr::e13b {
namespace {

bool in(int v, int lo, int hi) { return v >= lo && v <= hi; }

// Thresholds of one window, all from the noise level N.
struct Levels {
  int N, N53, N43, N32, top;
  explicit Levels(int n) : N(n), N53(5 * n / 3), N43(4 * n / 3), N32(3 * n / 2), top(std::min(2 * n, 50)) {}
};

// Copies of the window's lobe lists pruned to `want` starts and ends; false when they can't be.
bool pruned(const Window& w, int want, int* pk, int* en) {
  if (w.nPeaks < want || w.nEnds < want) return false;
  int np = w.nPeaks, ne = w.nEnds, ref = 0;
  std::copy(w.peaks, w.peaks + np, pk);
  std::copy(w.ends, w.ends + ne, en);
  const int minLevel = 3 * w.N / 2;
  // Each list is judged by its own values: a lobe's end lies further from its start than the
  // pruning looks.
  while (np > want)
    if (!PulisciMax(np, pk, minLevel, w.maxStart, w.maxStart, ref)) return false;
  while (ne > want)
    if (!PulisciMax(ne, en, minLevel, w.maxEnd, w.maxEnd, ref)) return false;
  return true;
}

// No peak above level within span samples before `before` or after `after`.
bool peaksFree(const Window& w, int before, int after, int level, int span) {
  return BordiPuliti(before, std::max(level, 1), w.maxEnd, span, after, 0, w.maxStart, span, w.last, 0);
}
// No valley below level (negative) within span samples before `before` or after `after`.
bool valleysFree(const Window& w, int before, int after, int level, int span) {
  return BordiPuliti(before, 0, w.minEnd, span, after, std::min(level, -1), w.minStart, span, w.last, 0);
}

// The deepest valley start strictly between two positions: its position (-1 none) and value.
int deepestBetween(const Window& w, int from, int to, int& value) {
  int at = -1;
  value = 0;
  for (int i = std::max(from + 1, 0); i < std::min(to, w.last); ++i)
    if (w.minStart[i] < value) {
      value = w.minStart[i];
      at = i;
    }
  return at;
}

// Distance from the closing valley to the middle of the valley lobe starting at v.
int valleyDistance(const Window& w, int v, int N) {
  if (v < 0) return 0;
  int ve = w.p;
  for (int i = v + 1; i < w.p; ++i)
    if (w.minEnd[i] < -N) {
      ve = i;
      break;
    }
  return w.p - (v + ve) / 2;
}

// Base confidence of a group from its strongest peak and deepest valley and the closing valley.
int baseConfidence(const Window& w, const Levels& L, int strongPeak, int deepValley, int closing) {
  return w.baseConf + (deepValley < -L.top) + (strongPeak > L.top) - 2 * (closing > -L.N53) - (closing > -L.N);
}

struct Offer {
  const Window& w;
  Found& f;
  int start, mean;
  void operator()(char symbol, int conf) const {
    const int k = IndiceE13B(symbol);
    if (conf < 1 || k > 13) return;
    valido[k] = 1;
    if (conf < confidenza[k]) return;
    confidenza[k] = static_cast<signed char>(std::min(conf, 127));
    f.start[k] = start;
    f.end[k] = w.q;
    f.strength[k] = std::max(mean, 0);
  }
};

void twoLobes(const Window& w, Found& f) {
  int pk[kMaxLobes], en[kMaxLobes];
  if (!pruned(w, 2, pk, en)) return;
  const Levels L(w.N);
  const int P1 = pk[0], E1 = en[0], P2 = pk[1], E2 = en[1], p = w.p, q = w.q;
  const int a1 = w.maxStart[P1], a2 = w.maxStart[P2], cl = w.minStart[p];
  int vVal = 0;
  const int v = deepestBetween(w, E1, P2, vVal);
  const int dA = valleyDistance(w, v, L.N);
  const int dB = p - (P1 + E1) / 2, dC = p - (P2 + E2) / 2;
  const int w1 = std::max(E1 - P1, 0), w2 = std::max(E2 - P2, 0);
  const int strong = std::max(a1, a2), deep = std::min(vVal, cl);
  if (strong < L.N53 || deep > -L.N53) return;
  const int valleyMean = v < 0 ? cl : (vVal + cl) / 2;
  if (!peaksFree(w, P1, q, std::max((a1 + a2) / 2, L.N53), 20) ||
      !valleysFree(w, P1, q, std::min(valleyMean, -L.N53), 20)) {
      return;
  }
  int c = baseConfidence(w, L, strong, deep, cl), mean = 0;
  const bool rated = VerificaLivelli(L.N43, 255, c, vVal, cl, 0, 0, a1, a2, 0, 0, mean);
  f.mean = std::max(f.mean, mean);
  if (!rated) return;
  const int shallow = v < 0 ? cl : std::max(vVal, cl);
  const int cp = c - 2 * !peaksFree(w, P1, q, std::max(std::min(a1, a2) / 2, L.N53), 20) -
                 2 * !valleysFree(w, P1, q, std::min(shallow / 2, -L.N53), 20);
  const Offer offer{w, f, P1, mean};

  if (in(dA, 70, std::min(dB, 79) - 1) && in(dB, 80, 94) && in(dC, 4, 17) && in(w1, 2, 14) && in(w2, 2, 14))
    offer('0', c);

  if (in(dB, 42, 54) && in(dC, 29, 43) && in(w1, 4, 25) && in(w2, 4, 25)) {
    const int near = std::min(strong / 2, L.N);
    int c1 = cp - 2 * (dC > 40);
    c1 -= N_Max_Significativi(P1 - 70, P1, -1, w.last, w.maxStart, near) > 0 ||
          N_Max_Significativi(q + 1, q + 70, -1, w.last, w.maxStart, near) > 0;
    c1 -= N_Min_Significativi(E2 + 1, p, -1, w.last, w.minStart, -L.N) == 0;
    c1 -= N_Min_Significativi(q + 1, q + 70, -1, w.last, w.minStart, -L.N) > 0;
    offer('1', c1);
  }

  if (in(dA, 43, std::min(dB, 52) - 1) && in(dB, 71, 89) && in(dC, 16, 29) && in(w1, 2, 14) && in(w2, 2, 19))
    offer('4', cp);

  if (in(dA, 38, std::min(dB, 55) - 1) && in(dB, 53, 69) && in(dC, 5, 15) && in(w1, 3, 14) && in(w2, 3, 14))
    offer('5', cp - (dA < 43 && dB < 55));

  if (a1 >= L.N53 && in(dB, 71, 79) && (in(dC, 32, 39) || dC < 12) && in(w1, 2, 14) && in(w2, 2, 14))
    offer('6', cp - 2);

  if (in(dA, 56, std::min(dB, 76) - 1) && in(dB, 69, 77) && in(dC, 13, 29) && in(w1, 5, 17) && in(w2, 5, 29))
    offer('9', cp - 2);

  // Transit: a full-height bar, then two blocks side by side. Its inner valley (the bar's far
  // edge) is the deeper one and nothing falls in the last 30 samples before the closing edge.
  if (in(dB, 81, 91) && in(dC, 26, 39) && in(w1, 4, 25) && in(w2, 4, 29) && w2 + dC >= 40 && v >= 0 &&
      3 * std::min(a1, a2) >= strong && BordoLiberoMin(p - 30, p, p, w.last, w.minStart, -L.N)) {
    int c10 = cp - (w.cut < 600);
    c10 -= dA >= 56 || dC < 30;
    c10 -= w2 + dC < 44;
    c10 -= 3 * -vVal < 2 * -cl;  // the bar's edge shallower than two thirds of the closing one
    c10 -= 3 * -cl < -vVal;      // the closing edge lost against the bar's
    c10 -= a2 > a1;              // the blocks' edge stronger than the bar's
    offer(':', c10);
  }

  if (w.length == 105 && dA >= 29 && in(dB, 44, 54) && in(dC, 5, 17) && in(w1, 2, 12) && in(w2, 2, 12) && v >= 0 &&
      3 * -cl >= 2 * -vVal && 3 * a1 >= 2 * a2) {
    int c2 = cp - 2 * (cl > vVal) - 2 * (a1 < a2);
    c2 -= vVal > -L.N ? 3 : vVal > -L.N53 ? 2 : 0;
    c2 -= 3 * a2 < -cl;
    c2 -= dB > 49 && dC > 15;
    offer('2', c2);
  }

  // Three: a weak first edge, the strong middle stroke, and a closing edge in two steps (a
  // valley between the last lobe and the closing one); no valley between its two lobes.
  const bool threeWindows = in(dB, 51, 71) && in(dC, 18, 29);
  const bool threeMain = threeWindows && dB + w1 > 59 && dC + w2 < 42;
  const bool threeLate = !threeWindows && in(dB, 36, 53) && dC < 15 &&
                         N_Max_Significativi(p + 18, p + 40, -1, w.last, w.maxStart, L.N) > 0;
  if ((threeMain || threeLate) && in(w1, 4, 17) && in(w2, 4, 17) && a1 < std::max(a2, w.strongest)) {
    int c3 = cp - (2 * a2 < w.strongest);
    c3 -= N_Min_Significativi(E2 + 1, p, -1, w.last, w.minStart, -L.N) == 0;
    c3 -= vVal < -L.N;
    offer('3', c3);
  }
}

void threeLobes(const Window& w, Found& f) {
  int pk[kMaxLobes], en[kMaxLobes];
  if (!pruned(w, 3, pk, en)) return;
  const Levels L(w.N);
  const int p = w.p, q = w.q;
  const int P1 = pk[0], E1 = en[0], P2 = pk[1], E2 = en[1], P3 = pk[2], E3 = en[2];
  const int a1 = w.maxStart[P1], a2 = w.maxStart[P2], a3 = w.maxStart[P3], cl = w.minStart[p];
  int v1Val = 0, v2Val = 0;
  const int v1 = deepestBetween(w, E1, P2, v1Val);
  deepestBetween(w, E2, P3, v2Val);
  const int dv = valleyDistance(w, v1, L.N);
  const int d1 = p - (P1 + E1) / 2, d2 = p - (P2 + E2) / 2, d3 = p - (P3 + E3) / 2;
  const int w1 = std::max(E1 - P1, 0), w2 = std::max(E2 - P2, 0), w3 = std::max(E3 - P3, 0);
  const int strong = std::max({a1, a2, a3}), deep = std::min({v1Val, v2Val, cl});
  if (strong < L.N53 || deep > -L.N53) return;
  const int peakLevel = std::max((a1 + a2 + a3) / 3, L.N53);
  int valleySum = cl, valleys = 1;
  for (int v : {v1Val, v2Val})
    if (v < 0) valleySum += v, ++valleys;
  const int valleyLevel = std::min(valleySum / valleys, -L.N53);
  if (!peaksFree(w, P1, q, peakLevel, 10) || !valleysFree(w, P1, q, valleyLevel, 10)) return;
  int c = baseConfidence(w, L, strong, deep, cl);
  c -= 2 * !peaksFree(w, P1, q, peakLevel, 20) + 2 * !valleysFree(w, P1, q, valleyLevel, 20);
  int mean = 0;
  const bool rated = VerificaLivelli(L.N43, 255, c, v1Val, v2Val, cl, 0, a1, a2, a3, 0, mean);
  f.mean = std::max(f.mean, mean);
  if (!rated) return;
  const Offer offer{w, f, P1, mean};
  auto widths = [&](int lo1, int hi1, int lo2, int hi2, int lo3, int hi3) {
    return in(w1, lo1, hi1) && in(w2, lo2, hi2) && in(w3, lo3, hi3);
  };

  if (a1 >= a2 && a1 >= a3 && v2Val <= std::min(v1Val, cl) && in(d1, 42, 52) && in(d2, 29, 41) && in(d3, 3, 11) &&
      widths(2, 12, 2, 12, 2, 12))
    offer('1', c - 1);
  if (in(d1, 69, 79) && in(d2, 31, 39) && in(d3, 5, 9) && widths(1, 14, 1, 14, 1, 14)) offer('6', c);
  if (in(d1, 56, 68) && in(d2, 31, 41) && in(d3, 5, 14) && widths(2, 14, 2, 14, 2, 14)) offer('7', c);
  if (in(d1, 81, 94) && in(d2, 71, 84) && in(d3, 21, 27) && widths(3, 14, 3, 14, 3, 14)) offer('8', c);
  if (in(dv, 56, std::min(d1, 76) - 1) && in(d1, 69, 79) && in(d2, 14, 28) && in(d3, 4, 13) &&
      widths(5, 14, 5, 14, 1, 14))
    offer('9', c);

  if (in(d1, 84, 94) && in(d2, 55, 74) && in(d3, 21, 44) && widths(6, 21, 6, 21, 6, 27) && 3 * a1 >= strong &&
      3 * a2 >= strong && v1Val < 0 && v2Val < 0) {
    int c12 = c - (w1 + d1 <= 91) - (d1 < 86) - (w2 + d2 > 75) - (w3 + d3 > 50);
    c12 -= (2 * a1 < strong) + (2 * a2 < strong) + (a3 == strong);
    offer('<', c12);
  }

  // Dash: three strokes of one height, the last one thin and close to the closing edge. Their
  // leading edges rise alike, so no lobe may fall below a third of the strongest; the thin
  // stroke's lobe is no weaker than the others' (it was once expected below 5N/3, which no dash
  // of the standard's shape gives).
  if (3 * std::min({a1, a2, a3}) >= strong && in(d1, 81, 94) && in(d2, 41, 54) && in(d3, 3, 14) &&
      widths(6, 19, 6, 21, 6, 14)) {
    int c13 = c - 2 * (w3 + d3 > 17) - (d3 > 9);
    int shallowest = 0, deepest = 0;
    for (int v : {v1Val, v2Val, cl}) {
      c13 -= v > -L.N53;
      if (v < 0) shallowest = shallowest == 0 ? v : std::max(shallowest, v);
      deepest = std::min(deepest, v);
    }
    c13 -= a1 < L.N53;
    c13 -= 2 - (a2 >= L.N53);
    c13 -= deepest < 3 * shallowest;  // one valley more than three times another
    offer(';', c13);
  }

  if (in(d1, 81, 94) && in(d2, 43, 56) && in(d3, 17, 25) && widths(6, 24, 4, 19, 6, 24) && 3 * a1 >= strong &&
      3 * a2 >= strong && 3 * a3 >= strong) {
    int c11 = c - (w2 > 14) - (2 * a1 < strong) - (2 * a2 < strong) - (2 * a3 < strong);
    c11 -= !BordoLiberoMin(q, q + 30, q, w.last, w.minStart, -L.N);
    c11 -= !BordoLiberoMax(q, q + 30, q, w.last, w.maxStart, L.N);
    c11 -= !BordoLiberoMin(P1 - 30, P1, P1, w.last, w.minEnd, -L.N);
    c11 -= !BordoLiberoMax(P1 - 30, P1, P1, w.last, w.maxEnd, L.N);
    offer('=', c11);
  }
}

}  // namespace

void rateWindow(const Window& w, Found& f) {
  twoLobes(w, f);
  threeLobes(w, f);
}

}  // namespace pvk::micr::e13b
