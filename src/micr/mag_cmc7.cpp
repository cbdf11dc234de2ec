// Magnetic CMC7 recognition on the peak arrays of one conditioned head signal: the seven
// strokes of each character gathered from the lobe starts and ends, checked for width and clean
// surroundings, decoded from the six gaps between their centres. The optical reading, in sample
// positions, tells which symbol to expect where; a confirmed one lets the scan skip a pitch.
#include <algorithm>
#include <vector>

#include "micr/micr.h"

namespace {

constexpr int kMaxStrokes = 20;
constexpr int kPitchSkip = 106;

// Stroke levels from the quiet stretch before the codeline.
struct Levels {
  int l = 2, l53 = 3, l2 = 4, half = 1, l32 = 3;
};

Levels strokeLevels(int* maxStart, int first, int n) {
  int w0 = first <= 1033 ? 10 : first - 1024;
  w0 = std::max(w0, first - 580);
  int c = 0, s = 1, x = 0;
  for (int i = std::max(w0, 0); i < std::min(first - 80, n); ++i)
    if (maxStart[i] > 0) {
      ++c;
      s += maxStart[i];
      x = std::max(x, maxStart[i]);
    }
  Levels v;
  const int l = (s + x) / (c + 1) * 2 / 3;
  if (c > 9 && l > 1) {
    v.l = std::min(l, 5);
    v.l53 = v.l * 5 / 3;
    v.l2 = std::min(2 * v.l, 50);
  }
  v.half = v.l / 2;
  v.l32 = v.l * 3 / 2;
  return v;
}

// A list of at most kMaxStrokes positions, kept on the stack: a place is tried at every sample.
struct StrokeList {
  int at[kMaxStrokes] = {};
  int count = 0;

  size_t size() const { return static_cast<size_t>(count); }
  bool empty() const { return count == 0; }
  int& back() { return at[count - 1]; }
  int operator[](size_t i) const { return at[i]; }
  void push_back(int v) { at[count++] = v; }
  void pop_back() { --count; }
  void clear() { count = 0; }
  void dropFirst() {
    std::copy(at + 1, at + count, at);
    --count;
  }
};

struct Strokes {
  StrokeList starts, ends;
};

// The strokes of one place, from s0 up to p, at threshold t. False when no end closes them.
bool gather(int* maxStart, int* maxEnd, int s0, int p, int n, int t, Strokes& k) {
  k.starts.clear();
  k.starts.push_back(s0);
  k.ends.clear();
  for (int i = s0 + 1; i < p; ++i) {
    if (maxStart[i] > t) {
      if (k.ends.size() < k.starts.size()) {
        if (maxStart[i] >= maxStart[k.starts.back()]) k.starts.back() = i;
      } else if (k.starts.size() < kMaxStrokes) {
        k.starts.push_back(i);
      }
    }
    if (maxEnd[i] > t) {
      if (k.ends.size() < k.starts.size()) {
        if (k.ends.size() < kMaxStrokes) k.ends.push_back(i);
      } else if (maxEnd[i] >= maxEnd[k.ends.back()]) {
        k.ends.back() = i;
      }
    }
  }
  if (k.ends.size() < k.starts.size()) {
    // The last stroke may close at or just after p; the search stops at the signal's end.
    bool found = false;
    for (int i = p; i <= p + 9 && i < n && !found; ++i) {
      if (maxEnd[i] > t) {
        k.ends.push_back(i);
        found = true;
      } else if (maxStart[i] > t) {
        break;
      }
    }
    if (!found && k.ends.empty()) return false;
  }
  return true;
}

// Prunes a stroke list to seven with PulisciMax, which looks up to three positions past a
// stroke: on the arrays themselves when that stays inside the signal, else on a copy of them
// around the place, zero outside the signal.
bool pruneTo7(StrokeList& list, int* amp, int* endAmp, int from, int to, int n, int minLevel) {
  if (list.count <= 7) return true;
  const int len = to + 4 - from;
  std::vector<int> a, e;
  int *startAt = amp + from, *endAt = endAmp + from;
  if (from < 0 || to + 4 > n) {
    a.assign(len, 0);
    e.assign(len, 0);
    for (int i = from; i < to + 4; ++i)
      if (i >= 0 && i < n) a[i - from] = amp[i], e[i - from] = endAmp[i];
    startAt = a.data();
    endAt = e.data();
  }
  for (int k = 0; k < list.count; ++k) list.at[k] -= from;
  int ref = 255;
  while (list.count > 7)
    if (!PulisciMax(list.count, list.at, minLevel, startAt, endAt, ref)) return false;
  for (int k = 0; k < list.count; ++k) list.at[k] += from;
  return true;
}

struct Place {
  char symbol = 0;  // 0: no character here
  int conf = 0;
  int s0 = 0;
  int amplitude = 0;
};

// The place whose strokes did not give seven clean ones: '?' when they were strong.
Place unread(int amplitude, int s0) {
  Place r;
  if (amplitude > 10) r = {'?', 1, s0, amplitude};
  return r;
}

Place recognise(int* maxStart, int* maxEnd, int s0, int p, int last, int n, const Levels& lv, int mS,
                int minConf) {
  Strokes k;
  if (!gather(maxStart, maxEnd, s0, p, n, 5, k)) return {};
  if (k.starts.size() <= 6 || k.ends.size() <= 6)
    if (!gather(maxStart, maxEnd, s0, p, n, 3, k)) return {};
  if (k.starts.size() > k.ends.size()) k.starts.pop_back();
  else if (k.ends.size() > k.starts.size()) k.ends.dropFirst();

  if (k.starts.size() < 7 || k.ends.size() < 7) {
    int sum = 0;
    for (size_t i = 0; i < 7; ++i) sum += maxStart[i < k.starts.size() ? k.starts[i] : 0];
    return unread(sum / 6, k.starts.empty() ? 0 : k.starts[0]);
  }
  const int r = std::max(mS / 2, lv.l32);
  const int to = std::max(k.starts.back(), k.ends.back()) + 1;
  if (!pruneTo7(k.starts, maxStart, maxEnd, s0, to, n, r)) return {};
  if (!pruneTo7(k.ends, maxEnd, maxEnd, s0, to, n, r)) return {};
  int a[7], lowest = 255, highest = 0, sum = 0;
  for (int i = 0; i < 7; ++i) {
    a[i] = maxStart[k.starts[i]];
    lowest = std::min(lowest, a[i]);
    highest = std::max(highest, a[i]);
    sum += a[i];
  }
  const int S0 = k.starts[0];
  if (highest < lv.l53) return {};
  const int v = std::max(lv.l53, (lowest + a[0]) / 2);
  if (!BordiPuliti(S0 - 1, v, maxEnd, 20, p - 1, -v, maxStart, 10, last, lv.l))
    return {};
  int cb = highest > lv.l2 ? minConf + 1 : minConf;
  if (!BordiPuliti(S0 - 1, v, maxEnd, 30, p - 1, -v, maxStart, 20, last, lv.l))
    cb -= 2;
  const int amplitude = sum / 7;
  for (int i = 0; i < 7; ++i) {
    const int w = std::max(k.ends[i] - k.starts[i], 0);
    if (w < 2 || w > 15) return unread(amplitude, S0);
  }
  int gaps[7] = {0};
  for (int i = 1; i < 7; ++i)
    gaps[i] = std::max((k.starts[i] + k.ends[i]) / 2 - (k.starts[i - 1] + k.ends[i - 1]) / 2, 0);
  // The magnetic gap limits, in samples at about 1,000 per inch.
  datiCmc[1] = 16, datiCmc[4] = 15, datiCmc[5] = 17, datiCmc[7] = 10, datiCmc[8] = 6, datiCmc[9] = 21,
  datiCmc[10] = 23;
  char conf = static_cast<char>(cb);
  const char symbol = DecodeCMCChar(gaps, conf);
  const int best = std::max(cb, minConf), t = best >= 4 ? 3 : best;
  if (pvk::micr::confOf(conf) < t || symbol == '?') return unread(amplitude, S0);
  return {symbol, pvk::micr::confOf(conf), S0, amplitude};
}

struct Output {
  char* text;
  char* conf;
  int* hits;
  int* start;
  int* end;
  int n = 0;
  int amplitude[kCdlChars] = {};

  void put(int k, char ch, int c, int s, int e, int amp) {
    text[k] = ch;
    conf[k] = static_cast<char>(c);
    hits[k] = 1;
    start[k] = s;
    end[k] = e;
    amplitude[k] = amp;
  }
};

// Records a place's result; returns the step to the next scan position.
int record(Output& o, const Place& r, int p, char expected, int gap) {
  const int ch = r.conf < 0 ? '?' : r.symbol, c = r.conf < 0 ? 1 : r.conf;
  const int s = r.s0 > 0 ? r.s0 : p - 80;
  const int k = o.n;
  bool replaced = false, blank = false;
  if (k == 0 || o.text[k - 1] == ' ') {
    o.put(k, static_cast<char>(ch), c, s, p, r.amplitude);
    ++o.n;
  } else if (s - o.end[k - 1] > 9) {
    // A blank goes only where it and its character both fit.
    blank = s - o.end[k - 1] > gap && k + 2 <= kCdlUsable;
    if (blank) {
      o.put(k, ' ', 4, o.end[k - 1] + 1, s - 1, 1);
      ++o.n;
    }
    o.put(o.n, static_cast<char>(ch), c, s, p, r.amplitude);
    ++o.n;
  } else if (ch == '?') {
    // touching a character: nothing to add
  } else if (o.text[k - 1] == ch) {
    o.conf[k - 1] = static_cast<char>(std::max(pvk::micr::confOf(o.conf[k - 1]), c));
  } else {
    const int prev = pvk::micr::confOf(o.conf[k - 1]);
    if (c < prev) return 1;
    if (c == prev) {
      o.put(k - 1, '?', c, std::min(o.start[k - 1], r.s0), std::max(o.end[k - 1], p), r.amplitude);
      return 1;
    }
    o.put(k - 1, static_cast<char>(ch), c, s, p, r.amplitude);
    replaced = true;
  }
  const bool confirmed = expected && expected != '?' && ch == expected;
  return confirmed || (c > 3 && !replaced && !blank && o.n != 1) ? kPitchSkip : 1;
}

// Fewer than four read characters lose a point each; otherwise characters far from the mean
// width are doubted.
void finish(Output& o) {
  int read = 0, widths = 0;
  for (int i = 0; i < o.n; ++i)
    if (pvk::micr::isRead(o.text[i])) ++read, widths += o.end[i] - o.start[i];
  if (read < 4) {
    for (int i = 0; i < o.n; ++i) {
      if (!pvk::micr::isRead(o.text[i])) continue;
      const int c = pvk::micr::confOf(o.conf[i]) - 1;
      o.conf[i] = static_cast<char>(c < 1 ? 0 : c);
      if (c < 1) o.text[i] = '?';
    }
    return;
  }
  const int w = widths / read;
  for (int i = 0; i < o.n; ++i) {
    if (o.text[i] == ' ') continue;
    const int width = o.end[i] - o.start[i];
    const bool query = o.text[i] == '?';
    if (width > w * 109 / 100 || width < w * 91 / 100) {
      o.text[i] = query ? ' ' : '?';
      if (!query) o.conf[i] = 1;
    } else if (query || (width >= w * 95 / 100 && width <= w * 105 / 100)) {
      continue;
    } else if (pvk::micr::confOf(o.conf[i]) < 3) {
      o.text[i] = '?';
      o.conf[i] = 1;
    } else {
      o.conf[i] = static_cast<char>(pvk::micr::confOf(o.conf[i]) - 2);
    }
  }
}

}  // namespace

int RiconosciCaratteriCMC7(char* text, char* conf, int* hits, int* start, int* end, char* optText, int* optStart,
                           int* optEnd, int optN, int* maxStart, int* maxEnd, int first, int last, int n, int back,
                           int minConf, int gap) {
  if (!text || !conf || !hits || !start || !end || !maxStart || !maxEnd) return 0;
  std::fill(text, text + kCdlChars, 0);
  std::fill(conf, conf + kCdlChars, 0);
  std::fill(hits, hits + kCdlChars, 0);
  std::fill(start, start + kCdlChars, 0);
  std::fill(end, end + kCdlChars, 0);
  if (!optText || !optStart || !optEnd) optN = 0;
  last = std::min(last, n);
  const Levels lv = strokeLevels(maxStart, first, n);
  int p = first > 239 ? first - 120 : 120;
  if (last <= p) return 0;
  Output o{text, conf, hits, start, end};
  int opt = 0;
  while (o.n < kCdlUsable) {
    while (p < last && maxEnd[p] <= 2) ++p;
    if (p >= last) break;
    const int w = p - back;
    while (opt < optN && !(w < optEnd[opt] - 49 && (opt == optN - 1 || p <= optStart[opt + 1] + 50))) ++opt;
    const char expected = opt < optN ? optText[opt] : 0;
    int s0 = std::max(w, 0);
    while (s0 < p && maxStart[s0] <= lv.half) ++s0;
    if (s0 >= p) {
      ++p;
      continue;
    }
    int mS = 0, mE = 0;
    for (int i = s0; i <= p; ++i) mS = std::max(mS, maxStart[i]), mE = std::max(mE, maxEnd[i]);
    const Place r = mS >= lv.half && mE != 0 ? recognise(maxStart, maxEnd, s0, p, last, n, lv, mS, minConf) : Place{};
    p += r.symbol ? record(o, r, p, expected, gap) : 1;
  }
  if (o.n == 0) return 0;
  finish(o);
  return o.n;
}
