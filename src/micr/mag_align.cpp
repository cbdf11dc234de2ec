// Alignment of two readings of one codeline by position (the optical line and a magnetic
// reading, both in samples): the shift at which they agree best, applied to the second.
#include <algorithm>
#include <cstring>

#include "micr/micr.h"

namespace {

constexpr int kSlots = 128;

struct Reading {
  char* text;
  int* start;
  int* end;
  int& n;
};

void dropBlanks(Reading r) {
  int kept = 0;
  for (int i = 0; i < r.n; ++i) {
    if (r.text[i] == ' ') continue;
    r.text[kept] = r.text[i];
    r.start[kept] = r.start[i];
    r.end[kept] = r.end[i];
    ++kept;
  }
  r.n = kept;
  if (kept < kSlots) r.text[kept] = 0;
}

bool isRead(char c) { return c != ' ' && c != '?' && c != 0; }

struct Count {
  int agree = 0, disagree = 0;
  char marks[kSlots] = {};
};

// Walks both readings with B moved by -x; pairs closer than tol3 at both ends match.
Count compare(const Reading& a, const Reading& b, int x, int tol3) {
  Count c;
  int i = 0, j = 0;
  while (i < a.n && j < b.n) {
    if (i > kSlots - 2) {
      ++i;
      continue;
    }
    if (j > kSlots - 2) {
      ++j;
      continue;
    }
    const int sb = b.start[j] - x, eb = b.end[j] - x;
    if (std::abs(a.start[i] - sb) < tol3 && std::abs(a.end[i] - eb) < tol3) {
      if (b.text[j] != ' ') c.marks[i] = a.text[i] == b.text[j] ? 2 : 1;
      if (isRead(a.text[i]) && isRead(b.text[j])) ++(a.text[i] == b.text[j] ? c.agree : c.disagree);
      ++i, ++j;
    } else if (a.end[i] < sb) {
      ++i;
    } else if (eb < a.start[i]) {
      ++j;
    } else {
      ++c.disagree;
      ++i, ++j;
    }
  }
  return c;
}

}  // namespace

int ValutaCMC(char* textA, int* startA, int* endA, int& nA, char* marks, char* textB, int* startB, int* endB,
              int& nB, int tol, int& agree, int& disagree, bool /*spare*/, int lo, int hi) {
  agree = disagree = 0;
  if (!textA || !startA || !endA || !textB || !startB || !endB) return 0;
  if (nA <= 0 || nB <= 0 || nA > kSlots || nB > kSlots) return 0;
  Reading a{textA, startA, endA, nA}, b{textB, startB, endB, nB};
  dropBlanks(a);
  dropBlanks(b);

  const int tol3 = tol / 3, step = std::max(1, tol3 / 4), reach = 4 * tol;
  const int shorter = std::min(nA, nB);
  bool any = false;
  Count best;
  long sum = 0;
  int tied = 0;
  auto consider = [&](int x) {
    const Count c = compare(a, b, x, tol3);
    if (any && c.agree == best.agree && c.disagree == best.disagree) {
      // Equally good shifts are averaged.
      sum += x;
      ++tied;
      if (best.disagree <= best.agree) std::memcpy(best.marks, c.marks, sizeof best.marks);
      return;
    }
    const int diff = c.agree - c.disagree, bestDiff = best.agree - best.disagree;
    if (c.agree > 0 && (!any || c.agree == shorter || diff >= bestDiff || (bestDiff < 1 && c.agree < best.agree))) {
      any = true;
      best = c;
      sum = x;
      tied = 1;
    }
  };
  int x = 0;
  consider(x);
  do consider(x += step); while (x < reach);
  x = 0;
  do consider(x -= step); while (x > -reach);

  if (!any) {
    if (marks) std::memset(marks, 0, static_cast<size_t>(nA));
    return 0;
  }
  const int s = static_cast<int>(sum / tied);
  for (int j = 0; j < nB; ++j) {
    startB[j] -= s;
    endB[j] -= s;
    if (startB[j] <= lo + 29 || endB[j] >= hi - 29) textB[j] = ' ';
  }
  if (marks) std::memcpy(marks, best.marks, static_cast<size_t>(nA));
  agree = best.agree;
  disagree = best.disagree;
  return s;
}
