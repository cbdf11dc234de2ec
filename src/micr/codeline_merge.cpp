// The merge of two position-tagged readings of one codeline (optical and bar, or optical and
// magnetic): entries are paired by position under a running shift, disagreements are settled by
// confidence, and what only one reading holds is kept where it fits.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "micr/micr.h"

using pvk::micr::confOf;
using pvk::micr::isRead;

namespace {

// One reading as the merge walks it; height is never carried here.
struct Reading {
  char* text;
  char* conf;
  int* start;
  int* end;
  int& n;
};

struct MergeState {
  Reading a, b;
  int offset = 0;  // B to A shift, kept as the halved running mean of matched pairs
  int minGap, tol, maxConf;
  int& disagreements;
  bool keepHundred;
};

void dropBlanks(Reading& r) {
  for (int i = 0; i < r.n; ++i)
    if (r.text[i] == ' ') RimuoviCar(r.text, r.conf, r.start, r.end, nullptr, i--, r.n);
}

bool matches(const MergeState& m, int i, int j) {
  return std::abs(m.a.start[i] - m.b.start[j] - m.offset) < m.tol && std::abs(m.a.end[i] - m.b.end[j] - m.offset) < m.tol;
}

void setUnread(Reading& r, int i) {
  r.text[i] = '?';
  r.conf[i] = 1;
}

// B's entry j takes A's place i, in A's scale.
void copyFromB(MergeState& m, int i, int j) {
  SostituisciCarattereCMC(m.b.text, m.b.conf, m.b.start, m.b.end, nullptr, j, m.a.text, m.a.conf, m.a.start, m.a.end,
                          nullptr, i);
  m.a.start[i] += m.offset;
  m.a.end[i] += m.offset;
}

// Two different readings of one place: the more confident wins, weakened by the other.
void contest(MergeState& m, int i, int j) {
  const int cA = confOf(m.a.conf[i]), cB = confOf(m.b.conf[j]);
  if (cB < cA) {
    if (m.b.text[j] == '?') return;
    int c;
    if (m.keepHundred && cA == 100)
      c = cB <= 2 ? 99 : cB < 40 ? 100 - cB / 3 : std::max(1, 100 - cB / 3);
    else
      c = cB > 2 ? std::max(1, cA - cB / 3) : std::max(1, cA - 1);
    m.a.conf[i] = static_cast<char>(c);
  } else if (cB < 30) {
    setUnread(m.a, i);
  } else if (cA < cB) {
    copyFromB(m, i, j);
    const int c = std::min(cB - cA, m.maxConf);
    m.a.conf[i] = static_cast<char>(c);
    if (c < 10) setUnread(m.a, i);
  } else {
    setUnread(m.a, i);
  }
}

void countDisagreement(MergeState& m, int i, int j) {
  if (confOf(m.b.conf[j]) > 10 && isRead(m.a.text[i]) && isRead(m.b.text[j])) ++m.disagreements;
}

// Inserts B's entry j into A at i with a raised confidence; false when A is full.
bool insertFromB(MergeState& m, int i, int j) {
  const int before = m.a.n;
  const int c = std::min(confOf(m.b.conf[j]) + 10, m.maxConf);
  AggungiCar(m.a.text, m.a.conf, m.a.start, m.a.end, nullptr, i, m.a.n, m.b.text[j], static_cast<char>(c),
             m.b.start[j] + m.offset, m.b.end[j] + m.offset, 1);
  return m.a.n > before;
}

// Steps an unmatched pair; i and j advance as the pair's layout says.
void stepUnmatched(MergeState& m, int& i, int& j) {
  Reading &a = m.a, &b = m.b;
  const int sB = b.start[j] + m.offset, eB = b.end[j] + m.offset;
  // An unread symbol of one reading where the other read one, inside the room of its neighbours.
  if (a.text[i] == '?' && isRead(b.text[j]) && i > 0 && i + 1 < a.n && a.end[i - 1] < sB && eB < a.start[i + 1]) {
    if (confOf(b.conf[j]) > 10) ++m.disagreements;
    contest(m, i, j);
    ++i, ++j;
    return;
  }
  if (b.text[j] == '?' && j > 0 && j + 1 < b.n && b.end[j - 1] + m.offset < a.start[i] &&
      a.end[i] < b.start[j + 1] + m.offset) {
    contest(m, i, j);
    ++i, ++j;
    return;
  }
  if (a.end[i] <= sB + 3) {  // A lies wholly before B
    ++i;
    return;
  }
  if (eB < a.start[i]) {  // B lies wholly before A
    if (confOf(b.conf[j]) >= 11 && a.start[i] > eB + m.minGap && (i == 0 || a.end[i - 1] < sB) && insertFromB(m, i, j))
      ++i;
    ++j;
    return;
  }
  // Overlapping without matching. A neighbour past the last entry never matches.
  if (a.text[i] != '?') {
    if (i + 1 < a.n && matches(m, i + 1, j))
      ++i;
    else if (j + 1 < b.n && matches(m, i, j + 1))
      ++j;
    else
      ++i, ++j;
    return;
  }
  if (b.text[j] != '?') {
    copyFromB(m, i, j);
    a.conf[i] = static_cast<char>(ConfMicrNoBarre(confOf(a.conf[i]), m.maxConf, 0, a.text[i]));
  } else {
    const int e = std::min(a.end[i], b.end[j]);
    a.end[i] = e;
    b.end[j] = e;
  }
  ++i, ++j;
}

// A blank with full confidence wherever two neighbours stand more than spaceGap apart.
void insertBlanks(Reading& r, int spaceGap) {
  for (int k = 1; k < r.n && r.n < kCdlUsable; ++k) {
    if (r.start[k] > r.end[k - 1] + spaceGap) {
      const int s = r.end[k - 1] + 1, e = r.start[k] - 1;
      AggungiCar(r.text, r.conf, r.start, r.end, nullptr, k, r.n, ' ', 100, s, e, 1);
      ++k;
    }
  }
}

}  // namespace

void ConfrontaCMCMag(char* textA, char* confA, int* startA, int* endA, int& nA, char* textB, char* confB,
                     int* startB, int* endB, int& nB, int minGap, int tol, int spaceGap, int maxConf, int spare,
                     int& disagreements, bool keepHundred) {
  disagreements = 0;
  if (nA < 0 || nA > kCdlUsable || nB < 0 || nB > kCdlUsable) return;
  MergeState m{{textA, confA, startA, endA, nA}, {textB, confB, startB, endB, nB}, 0, minGap, tol, maxConf,
               disagreements, keepHundred};
  dropBlanks(m.a);
  dropBlanks(m.b);
  int i = 0, j = 0;
  while (i < nA && j < nB) {
    if (textA[i] == '?' && confOf(confA[i]) > 1) confA[i] = 1;
    if (!matches(m, i, j)) {
      stepUnmatched(m, i, j);
      continue;
    }
    if (textA[i] == textB[j]) {
      if (textA[i] == '?') {
        confA[i] = 1;
      } else {
        m.offset = (((startA[i] - startB[j]) + (endA[i] - endB[j])) / 2 + m.offset) / 2;
        confA[i] = kConfAgree;
      }
    } else {
      countDisagreement(m, i, j);
      contest(m, i, j);
    }
    ++i, ++j;
  }
  // What B holds past A's end is added where it cannot overlap A's last entry.
  for (; j < nB; ++j) {
    if (confOf(confB[j]) <= 29) continue;
    if ((nA == 0 || (i >= 1 && startB[j] + minGap > endA[i - 1])) && insertFromB(m, i, j)) ++i;
  }
  insertBlanks(m.a, spaceGap);
  insertBlanks(m.b, spaceGap);
}

void AggiungiCdlMag(const char* textA, const char* confA, const int* startA, const int* endA, int nA, char* textB,
                    char* confB, const int* startB, const int* endB, int& nB, int maxLen) {
  if (nA < 0 || nA > kCdlUsable || nB < 0 || nB > kCdlUsable) return;
  constexpr int kScratch = 1024;
  char spaced[kScratch] = {}, confs[kScratch] = {};
  int len = 0, j = 0;
  for (int k = 0; k < nA && len < kScratch - 1; ++k) {
    // B's blanks that open well before A's entry are carried over.
    for (; j < nB && startB[j] + 19 <= startA[k] && len < kScratch - 2; ++j)
      if (textB[j] == ' ') spaced[len++] = ' ';
    spaced[len++] = textA[k];
  }
  for (int k = 0; k < nB; ++k) confs[k] = static_cast<char>('/' + confOf(confB[k]) / 10);
  const int n0 = nB;
  if (n0 + 2 + len + 2 + n0 >= maxLen) return;
  auto put = [&](char c) {
    textB[nB] = c;
    confB[nB] = 100;
    ++nB;
  };
  put('\r'), put('\n');
  for (int k = 0; k < len; ++k) put(spaced[k]);
  put('\r'), put('\n');
  for (int k = 0; k < n0; ++k) put(confs[k]);
  textB[nB] = 0;
}
