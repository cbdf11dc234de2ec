// The accumulation of the optical CMC7 bar readings: each band pass's reading is merged into the
// reading of the passes before it, so that a character many bands agree on gathers their count
// and their decoding scores, and a band that read a character the others missed adds it.
#include <algorithm>
#include <cstdlib>
#include <utility>

#include "micr/micr.h"

using pvk::micr::confOf;
using pvk::micr::isRead;

namespace {

constexpr int kMaxCount = 30;   // agreeing passes counted per character
constexpr int kMaxScore = 120;  // summed decoding scores per character

// One reading as the merge walks it: count holds the agreeing passes of each entry.
struct Reading {
  char* text;
  char* conf;
  int* start;
  int* end;
  int* count;
  int& n;

  int span(int k) const { return end[k] - start[k]; }
};

struct Accumulation {
  Reading r, b;
  int tol, minSpan, maxSpan;
  int window;      // the match window, narrowing as agreements accumulate
  int agreed = 0;  // matches of the same symbol so far
};

void swapReadings(Reading& r, Reading& b) {
  const int n = std::max(r.n, b.n);
  for (int k = 0; k <= n && k < kCdlChars; ++k) {
    std::swap(r.text[k], b.text[k]);
    std::swap(r.conf[k], b.conf[k]);
    std::swap(r.start[k], b.start[k]);
    std::swap(r.end[k], b.end[k]);
    std::swap(r.count[k], b.count[k]);
  }
  std::swap(r.n, b.n);
}

void dropBlanks(Reading& x) {
  for (int k = 0; k < x.n; ++k)
    if (x.text[k] == ' ') RimuoviCar(x.text, x.conf, x.start, x.end, x.count, k--, x.n);
}

// B's entry j over R's entry i, with the confidence given.
void takeOver(Accumulation& m, int i, int j, int conf) {
  SostituisciCarattereCMC(m.b.text, m.b.conf, m.b.start, m.b.end, m.b.count, j, m.r.text, m.r.conf, m.r.start,
                          m.r.end, m.r.count, i);
  m.r.conf[i] = static_cast<char>(conf);
}

bool spanStrictlyInside(const Accumulation& m, int j) {
  return m.b.span(j) > m.minSpan && m.b.span(j) < m.maxSpan;
}

// Averages of two positions weighted by the passes behind them; a pair without passes counts one
// each.
int weighted(int valueR, int countR, int valueB, int countB) {
  if (countR + countB < 1) countR = countB = 1;
  return static_cast<int>((static_cast<long long>(valueR) * countR + static_cast<long long>(valueB) * countB) /
                          (countR + countB));
}

// Two entries at one place under the current window.
void settleMatched(Accumulation& m, int i, int j) {
  Reading &r = m.r, &b = m.b;
  if (r.text[i] == b.text[j]) {
    ++m.agreed;
    if (m.agreed == 3 || m.agreed == 4) m.window = m.tol * 3 / 2;
    if (m.agreed >= 5) m.window = m.tol;
    r.end[i] = weighted(r.end[i], r.count[i], b.end[j], b.count[j]);
    r.start[i] = weighted(r.start[i], r.count[i], b.start[j], b.count[j]);
    if (r.text[i] == '?') {
      r.count[i] = 1;
    } else {
      r.count[i] = std::min(r.count[i] + b.count[j], kMaxCount);
      r.conf[i] = static_cast<char>(std::min(confOf(r.conf[i]) + confOf(b.conf[j]), kMaxScore));
    }
    return;
  }
  if (b.text[j] == '?') return;
  if (r.text[i] == '?') {
    if (spanStrictlyInside(m, j) && b.text[j] != ' ') takeOver(m, i, j, confOf(b.conf[j]));
    return;
  }
  const int cR = confOf(r.conf[i]), cB = confOf(b.conf[j]);
  if (cR < cB) {
    takeOver(m, i, j, cB - cR);
  } else {
    r.conf[i] = static_cast<char>(cR - cB);
    if (cR - cB == 0) {
      r.text[i] = '?';
      r.count[i] = 1;
    }
  }
}

// Two overlapping entries too far apart to be one reading of one place. Advances i and j.
void settleUnmatched(Accumulation& m, int& i, int& j, bool prevR, bool nextR) {
  Reading &r = m.r, &b = m.b;
  const int cR = confOf(r.conf[i]), cB = confOf(b.conf[j]);
  if (cB <= cR) {
    ++i, ++j;
    return;
  }
  if (r.text[i] == '?') {
    if (prevR && nextR) {
      takeOver(m, i, j, cB);
    } else if (!prevR && nextR) {
      ++j;
      return;
    }
    ++i, ++j;
    return;
  }
  const bool right = r.start[i] < b.start[j] && r.end[i] < b.end[j];
  const bool left = b.start[j] < r.start[i] && b.end[j] < r.end[i];
  if ((right && nextR) || (left && prevR && nextR)) {
    takeOver(m, i, j, cB - 1);
    ++i, ++j;
    return;
  }
  // B's symbol belongs to an unread neighbour of R's entry, which gives way to it.
  if (right && !prevR && i > 0 && r.text[i - 1] == '?') {
    takeOver(m, i - 1, j, cB - 1);
    RimuoviCar(r.text, r.conf, r.start, r.end, r.count, i, r.n);
    ++j;
    return;
  }
  if (left && !nextR && i + 1 < r.n && r.text[i + 1] == '?') {
    takeOver(m, i + 1, j, cB - 1);
    RimuoviCar(r.text, r.conf, r.start, r.end, r.count, i, r.n);
    ++i, ++j;
    return;
  }
  ++i, ++j;
}

// The walk over both readings. A neighbour past the last used entry leaves room: the slots there
// hold stale values of earlier edits.
void walk(Accumulation& m) {
  Reading &r = m.r, &b = m.b;
  int i = 0, j = 0;
  while (i < r.n && j < b.n) {
    if (i > kCdlUsable - 1) {
      ++i;
      continue;
    }
    if (j > kCdlUsable - 1) {
      ++j;
      continue;
    }
    const bool prevR = i == 0 || r.end[i - 1] <= b.start[j];
    const bool prevB = j == 0 || b.end[j - 1] <= r.start[i];
    const bool nextR = i + 1 >= r.n || b.end[j] < r.start[i + 1];
    const bool roomB = j + 1 >= b.n || r.end[i] < b.start[j + 1];
    int extra = 0;
    if (r.text[i] == '?' && prevR && nextR)
      extra = m.window;
    else if (b.text[j] == '?' && roomB && prevB)
      extra = m.window;

    if (b.end[j] < r.start[i]) {  // B lies wholly before R's entry
      const bool refused = (i > 0 && b.start[j] <= r.end[i - 1]) || b.text[j] == '?' || b.span(j) < m.minSpan ||
                           b.span(j) > m.maxSpan;
      const int before = r.n;
      if (!refused)
        AggungiCar(r.text, r.conf, r.start, r.end, r.count, i, r.n, b.text[j], b.conf[j], b.start[j], b.end[j],
                   b.count[j]);
      if (r.n > before) ++i;
      ++j;
      continue;
    }
    if (r.end[i] < b.start[j]) {  // R's entry lies wholly before B
      ++i;
      continue;
    }
    const int reach = extra + m.window;
    if (std::abs(r.start[i] - b.start[j]) < reach && std::abs(r.end[i] - b.end[j]) < reach) {
      settleMatched(m, i, j);
      ++i, ++j;
      continue;
    }
    settleUnmatched(m, i, j, prevR, nextR);
  }
  // What B read past R's last entry is added: read symbols of a plausible span only.
  for (; j < b.n && j < kCdlUsable; ++j) {
    if (r.n > 0 && b.start[j] < r.end[r.n - 1]) continue;
    if (!isRead(b.text[j]) || !spanStrictlyInside(m, j)) continue;
    const int cB = confOf(b.conf[j]);
    const bool empty = b.count[j] < 1 || cB / b.count[j] < 1;
    AggungiCar(r.text, r.conf, r.start, r.end, r.count, r.n, r.n, empty ? '?' : b.text[j],
               static_cast<char>(empty ? 0 : cB), b.start[j], b.end[j], empty ? 1 : b.count[j]);
  }
}

void insertBlanks(Reading& r, int blankGap) {
  for (int k = 1; k < r.n && r.n < kCdlUsable; ++k) {
    if (r.start[k] > r.end[k - 1] + blankGap) {
      AggungiCar(r.text, r.conf, r.start, r.end, r.count, k, r.n, ' ', 100, r.end[k - 1] + 1, r.start[k] - 1, 1);
      ++k;
    }
  }
}

}  // namespace

void ConfrontaCMC(char* textR, char* confR, int* startR, int* endR, int* countR, int& nR, char* textB, char* confB,
                  int* startB, int* endB, int* countB, int& nB, int tol, int minSpan, int maxSpan, int blankGap) {
  if (nR < 0 || nR > kCdlUsable || nB < 0 || nB > kCdlUsable) return;
  Reading r{textR, confR, startR, endR, countR, nR};
  Reading b{textB, confB, startB, endB, countB, nB};
  if (nR == 0) {
    for (int k = 0; k < nB; ++k) {
      textR[k] = textB[k];
      confR[k] = confB[k];
      startR[k] = startB[k];
      endR[k] = endB[k];
      countR[k] = countB[k];
    }
    nR = nB;
    textR[nR] = 0;
    confR[nR] = 0;
    return;
  }
  if (ValutaOK(textR, confR, nullptr, nR, nullptr) < ValutaOK(textB, confB, nullptr, nB, nullptr)) swapReadings(r, b);
  dropBlanks(r);
  dropBlanks(b);
  Accumulation m{r, b, tol, minSpan, maxSpan, 2 * tol};
  walk(m);
  insertBlanks(r, blankGap);
}
