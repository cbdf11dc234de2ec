// Magnetic E13B recognition: walks the peak arrays of a conditioned head signal from left to
// right, cuts a character window before every significant valley, lets the rule blocks rate
// the window's peaks and valleys, keeps the best symbol and finally weighs every character's
// measured strength against its symbol's nominal strength.
#include <algorithm>
#include <cstring>

#include "micr/e13b_window.h"
#include "micr/micr.h"

namespace {

using pvk::micr::confOf;
using pvk::micr::isRead;
using pvk::micr::e13b::Found;
using pvk::micr::e13b::kMaxLobes;
using pvk::micr::e13b::Window;

// Noise level of the quiet stretches around the start of the codeline: the peaks and valleys
// there, their largest magnitude and their sum, at least 5 and at most 20.
int noiseLevel(const int* maxStart, const int* minStart, int first, int last) {
  const int s0 = first < 370 ? 10 : first - 360;
  long largest = 0, sum = 10, count = 0;
  auto take = [&](int from, int to) {
    for (int i = std::max(from, 0); i < std::min(to, last); ++i) {
      if (maxStart[i] > 0) largest = std::max<long>(largest, maxStart[i]), sum += maxStart[i], ++count;
      if (minStart[i] < 0) largest = std::max<long>(largest, -static_cast<long>(minStart[i])), sum -= minStart[i], ++count;
    }
  };
  take(s0, first - 80);
  // Bounded by last: a codeline starting near the end of the signal leaves less to look at.
  take(first + 80, first + 200);
  // Quiet stretches without a single peak hold no noise: the floor, not the weight the sum
  // starts with (that weight alone would read as a noise level of 15 and hide weak strokes).
  if (count == 0) return 5;
  const long n = (largest + sum) / (count + 1) * 15 / 10;
  return static_cast<int>(std::clamp<long>(n, 5, 20));
}

// Peaks above level and their ends in [from, to], as strokes that alternate start and end: a
// start while the last one is still open replaces it when stronger, and so does an end after
// the last one closed. The longer list then loses its surplus.
void collect(Window& w, int from, int to, int level) {
  w.nPeaks = w.nEnds = 0;
  for (int i = from; i <= to; ++i) {
    if (w.maxStart[i] > level) {
      if (w.nPeaks > w.nEnds) {
        if (w.maxStart[i] >= w.maxStart[w.peaks[w.nPeaks - 1]]) w.peaks[w.nPeaks - 1] = i;
      } else if (w.nPeaks < kMaxLobes) {
        w.peaks[w.nPeaks++] = i;
      }
    }
    if (w.maxEnd[i] > level) {
      if (w.nEnds < w.nPeaks) {
        w.ends[w.nEnds++] = i;
      } else if (w.nEnds > 0 && w.maxEnd[i] >= w.maxEnd[w.ends[w.nEnds - 1]]) {
        w.ends[w.nEnds - 1] = i;
      }
    }
  }
  if (w.nPeaks > w.nEnds) w.nPeaks = w.nEnds;
  while (w.nEnds > w.nPeaks) {
    std::memmove(w.ends, w.ends + 1, sizeof(int) * static_cast<size_t>(w.nEnds - 1));
    --w.nEnds;
  }
  w.strongest = 0;
  for (int k = 0; k < w.nPeaks; ++k) w.strongest = std::max(w.strongest, w.maxStart[w.peaks[k]]);
}

// The codeline being built, with the measured strength of each entry.
struct Line {
  char* text;
  char* conf;
  int* height;
  int* start;
  int* end;
  int strength[kCdlChars];
  int n;

  void put(int i, char ch, int cf, int s, int e, int st) {
    text[i] = ch;
    conf[i] = static_cast<char>(cf);
    start[i] = s;
    end[i] = e;
    if (height) height[i] = 1;
    strength[i] = st;
  }
};

enum class Stored { Appended, AfterBlank, Replaced, Kept, Full };

// Stores one window's result; a result touching the previous character competes with it.
Stored store(Line& l, char ch, int cf, int s, int e, int st) {
  if (cf < 0) ch = '?';  // a negative confidence stays with an unread symbol
  const int i = l.n - 1;
  if (l.n > 0 && l.text[i] != ' ' && s <= l.end[i] + 9) {
    const int prev = confOf(l.conf[i]);
    if (ch == '?' || cf < prev) return Stored::Kept;
    if (ch == l.text[i]) {
      l.conf[i] = static_cast<char>(std::max(prev, cf));
      return Stored::Kept;
    }
    if (cf == prev) {
      l.put(i, '?', cf, std::min(l.start[i], s), std::max(l.end[i], e), st);
      return Stored::Kept;
    }
    l.put(i, ch, cf, s, e, st);
    return Stored::Replaced;
  }
  if (l.n >= kCdlUsable) return Stored::Full;
  Stored how = Stored::Appended;
  if (l.n > 0 && s - l.end[i] > datiMICR[0]) {
    // A blank only together with its character.
    if (l.n + 2 > kCdlUsable) return Stored::Full;
    l.put(l.n, ' ', 4, l.end[i] + 1, s - 1, 0);
    ++l.n;
    how = Stored::AfterBlank;
  }
  l.put(l.n, ch, cf, s, e, st);
  ++l.n;
  l.text[l.n] = 0;
  l.conf[l.n] = 0;
  return how;
}

// One confidence point off a read character; at 0 it becomes '?' with 0.
void losePoint(Line& l, int i, int points = 1) {
  const int c = confOf(l.conf[i]) - points;
  if (c <= 0) {
    l.text[i] = '?';
    l.conf[i] = 0;
  } else {
    l.conf[i] = static_cast<char>(c);
  }
}

// Lone characters and characters after an unread one lose a point; then every character is
// weighed against the strength its symbol should have at the line's mean level.
void finish(Line& l) {
  for (int i = 0; i < l.n; ++i) {
    if (!isRead(l.text[i])) continue;
    const bool afterUnread = i > 0 && l.text[i - 1] == '?';
    const bool alone = (i == 0 || l.text[i - 1] == ' ') && (i + 1 >= l.n || l.text[i + 1] == ' ');
    if (afterUnread || alone) losePoint(l, i);
  }
  int L = 0, P = 0;
  if (!CalcolaVolerMedioENominaleE13B(l.text, l.strength, l.n, L, P)) {
    for (int i = 0; i < l.n; ++i)
      if (isRead(l.text[i])) losePoint(l, i);
    return;
  }
  for (int i = 0; i < l.n; ++i) {
    const char ch = l.text[i];
    if (ch == ' ') continue;
    const int e = PercentualeNominaleE13B(ch) * L / P, v = l.strength[i], c = confOf(l.conf[i]);
    if (e < 1) continue;
    auto unread = [&] {
      l.text[i] = '?';
      l.conf[i] = 1;
    };
    if (3 * v < e) {
      if (ch == '?') l.text[i] = ' ';
      else unread();
    } else if (ch == '?') {
      continue;
    } else if (5 * v > 9 * e) {
      if (c <= 2) unread();
      else l.conf[i] = static_cast<char>(c - 2);
    } else if (3 * v < 2 * e) {
      const int scaled = c * 3 * v / (2 * e);
      if (scaled < 2) unread();
      else l.conf[i] = static_cast<char>(scaled);
    } else if (3 * v > 5 * e) {
      if (c <= 1) unread();
      else l.conf[i] = static_cast<char>(c - 1);
    }
  }
}

}  // namespace

int RiconosciCaratteriE13B(char* text, char* conf, int* height, int* start, int* end, char* optText, int* optStart,
                           int* optEnd, int optN, int* maxStart, int* maxEnd, int* minStart, int* minEnd, int first,
                           int last, int n, int window, int baseConf, int cut) {
  if (!text || !conf || !start || !end) return 0;
  std::memset(text, 0, kCdlChars);
  std::memset(conf, 0, kCdlChars);
  std::memset(start, 0, sizeof(int) * kCdlChars);
  std::memset(end, 0, sizeof(int) * kCdlChars);
  if (height) std::memset(height, 0, sizeof(int) * kCdlChars);
  E13B_SET[15] = '?';
  if (!maxStart || !maxEnd || !minStart || !minEnd) return 0;
  if (!optText || !optStart || !optEnd) optN = 0;
  // The arrays hold n entries; the stroke pruning looks three past a lobe, so nothing at the
  // very end of them is read. The extractor leaves no lobe there anyway.
  if (n > 0) last = std::min(last, n - 3);
  if (last < 1 || window < 1) return 0;

  Line line{text, conf, height, start, end, {}, 0};
  Window w{};
  w.maxStart = maxStart;
  w.maxEnd = maxEnd;
  w.minStart = minStart;
  w.minEnd = minEnd;
  w.last = last;
  w.N = noiseLevel(maxStart, minStart, first, last);
  w.length = window;
  w.baseConf = baseConf;
  w.cut = cut;
  const int N = w.N, V = N == 5 ? -2 : -(N / 2);

  int p = first < 240 ? 120 : first - 120, o = 0;
  while (p < last) {
    while (p < last && minStart[p] >= V) ++p;
    if (p >= last) break;
    w.p = p;
    w.q = p;
    for (int j = p; j < last; ++j)
      if (minEnd[j] != 0) {
        w.q = j;
        break;
      }
    const int from = std::max(p - window, 0);
    // The optical character over the middle of the window, if any.
    const int centre = p - window / 2;
    while (o < optN && optEnd[o] < centre) ++o;
    w.expected = o < optN && optStart[o] <= centre && isRead(optText[o]) ? optText[o] : 0;
    std::memset(valido, 0, sizeof valido);
    std::memset(confidenza, 0, sizeof confidenza);

    int firstPeak = -1, strongAt = -1;
    bool anyEnd = false;
    for (int i = from; i <= p; ++i) {
      if (strongAt < 0 && maxStart[i] >= N) strongAt = i;
      if (firstPeak < 0 && maxStart[i] > N) firstPeak = i;
      anyEnd |= maxEnd[i] != 0;
    }
    if (strongAt < 0 || !anyEnd) {
      ++p;
      continue;
    }
    if (firstPeak < 0) firstPeak = strongAt;
    collect(w, firstPeak, p, N);
    if (w.nEnds <= 2) collect(w, firstPeak, p, N / 2);

    Found f{};
    f.mean = -1;
    pvk::micr::e13b::rateWindow(w, f);
    int k = UnoSoloValido(15);
    char ch;
    int cf, s, e, st;
    if (k >= 0) {
      ch = E13B_SET[k];
      cf = confidenza[k];
      s = f.start[k];
      e = f.end[k];
      st = f.strength[k];
    } else if (f.mean >= 21) {
      ch = '?';
      cf = 1;
      s = firstPeak;
      e = p;
      st = f.mean;
    } else {
      ++p;
      continue;
    }
    if (s == 0 && e == 0) s = p - 90, e = p;
    else if (e == 0) e = s + 80;
    else if (s == 0) s = e - 80;

    const bool firstChar = line.n == 0;
    const Stored how = store(line, ch, cf, s, e, st);
    if (how == Stored::Full) break;
    const bool confirmed = w.expected != 0 && ch == w.expected;
    const bool plain = cf >= 4 && how != Stored::Replaced && how != Stored::AfterBlank && !firstChar;
    p += confirmed || plain ? 106 : 1;
  }
  if (line.n == 0) return 0;
  finish(line);
  text[line.n] = 0;
  conf[line.n] = 0;
  return line.n;
}
