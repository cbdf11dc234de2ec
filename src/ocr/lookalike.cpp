// Merging a new reading of a zone into the kept one: the lines of the two readings are matched
// by their rows, the characters of matched lines by their boxes; agreeing characters fold
// together, characters only one reading has are carried over or skipped, disagreements go to
// the pair rules, and the result is re-spaced.
#include <algorithm>
#include <climits>
#include <cstdlib>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

int lineEnd(const char* text, int n, int start) {
  const int cr = findInReading(text, n, '\r', start);
  return cr < 0 ? n : cr;
}

int nextLineStart(const char* text, int n, int end) {
  if (end >= n) return n;
  return end + 1 < n && text[end + 1] == '\n' ? end + 2 : end + 1;
}

struct LineStats {
  int start = 0, end = 0;
  long sum = 0;
  int top = INT_MAX, bottom = -1;
  int left = INT_MAX, right = 0;
  bool any = false;
  int length() const { return end - start; }
  // The mean over every character of the line, blanks and unread ones included.
  long mean() const { return sum / std::max(1, length()); }
};

LineStats lineStats(const ReadingRef& r, int start) {
  LineStats s;
  s.start = start;
  s.end = lineEnd(r.text, *r.n, start);
  for (int i = start; i < s.end; ++i) {
    const ChInfo& b = r.info[i];
    s.left = std::min<int>(s.left, b.left);
    s.right = std::max<int>(s.right, b.right);
    const char c = r.text[i];
    if (isBlankOrUnread(c) || isLineBreak(c)) continue;
    s.sum += c == '.' || c == '/' ? r.conf[i] / 2 : r.conf[i];
    s.top = std::min<int>(s.top, b.top);
    s.bottom = std::max<int>(s.bottom, b.bottom);
    s.any = true;
  }
  return s;
}

struct Merge {
  ReadingRef K, N;
  bool margins, editNew, sum;
  int max;
  int wide, narrow;
  int minLine;   // a carried character or line must be more confident than this
  int minCarry;  // and a character from N at least this confident
};

// Copies the line s of `from` into `to` in front of position at, closed by CR LF carrying the
// line's extent. Nothing when the whole line does not fit.
bool copyLine(const Merge& x, const ReadingRef& from, const LineStats& s, const ReadingRef& to, int at) {
  if (*to.n + s.length() + 2 >= x.max) return false;
  for (int i = 0; i < s.length(); ++i)
    AggiungiCarattere(from.text[s.start + i], from.conf[s.start + i], from.info[s.start + i], to.text, to.conf,
                      to.info, at + i, x.max, *to.n);
  ChInfo extent{};
  extent.agreement = 1;
  extent.left = static_cast<uint16_t>(s.left);
  extent.right = static_cast<uint16_t>(s.right);
  extent.top = static_cast<uint16_t>(s.top);
  extent.bottom = static_cast<uint16_t>(s.bottom);
  AggiungiCarattere('\r', 100, extent, to.text, to.conf, to.info, at + s.length(), x.max, *to.n);
  AggiungiCarattere('\n', 100, extent, to.text, to.conf, to.info, at + s.length() + 1, x.max, *to.n);
  return true;
}

struct Dist {
  int dl, dr;
  bool closerThan(const Dist& o) const { return dl < o.dl && dr < o.dr; }
};

Dist distance(const Merge& x, int k, int m) {
  const ChInfo& a = x.K.info[k];
  const ChInfo& b = x.N.info[m];
  Dist d{std::abs(a.left - b.left), std::abs(a.right - b.right)};
  if (pieceMark(x.K.text[k]) || pieceMark(x.N.text[m])) {
    d.dl = std::max(0, d.dl - aw / 2);
    d.dr = std::max(0, d.dr - aw / 2);
  }
  return d;
}

bool real(char c) { return !isBlankOrUnread(c) && !isLineBreak(c); }

// Carries N's character at m into K in front of k (k then moves past it); m moves on either way.
void carryIntoK(const Merge& x, int& k, int& m) {
  const char c = x.N.text[m], cf = x.N.conf[m];
  if (real(c) && cf > x.minLine && cf >= x.minCarry)
    AggiungiEVerifica(c, cf, x.N.info[m], x.K.text, x.K.conf, x.K.info, k, *x.K.n, x.max);
  ++m;
}

// Carries K's character at k into N in front of m (only with editNew); k moves on either way.
void carryIntoN(const Merge& x, int& k, int& m) {
  const char c = x.K.text[k], cf = x.K.conf[k];
  if (x.editNew && real(c) && cf > x.minLine)
    AggiungiEVerifica(c, cf, x.K.info[k], x.N.text, x.N.conf, x.N.info, m, *x.N.n, x.max);
  ++k;
}

// What is left of one line when the other has ended, once a pair of the lines has been settled.
void lineLeftovers(const Merge& x, int ks, int k, int m, int ne) {
  if (m >= ne) {
    const int ke = lineEnd(x.K.text, *x.K.n, ks);
    for (; k < ke && x.editNew; ++k)
      AggiungiEVerifica(x.K.text[k], x.K.conf[k], x.K.info[k], x.N.text, x.N.conf, x.N.info, m, *x.N.n, x.max);
    return;
  }
  int ke = lineEnd(x.K.text, *x.K.n, ks);
  for (; m < ne; ++m) {
    const char c = x.N.text[m];
    if (!real(c) || (ke > ks && x.N.info[m].left < x.K.info[ke - 1].right)) continue;
    const bool weak = x.N.conf[m] < 11;
    AggiungiEVerifica(weak ? '?' : c, weak ? 1 : x.N.conf[m], x.N.info[m], x.K.text, x.K.conf, x.K.info, ke,
                      *x.K.n, x.max);
  }
}

// Walks the characters of the matched lines starting at ks in K and ns in N.
void alignLines(const Merge& x, int ks, int ns) {
  int k = ks, m = ns;
  bool settled = false;
  for (;;) {
    const int ke = lineEnd(x.K.text, *x.K.n, ks);
    const int ne = lineEnd(x.N.text, *x.N.n, ns);
    if (k >= ke || m >= ne) {
      if (settled && (k < ke || m < ne)) lineLeftovers(x, ks, k, m, ne);
      return;
    }
    const Dist d = distance(x, k, m);
    const bool bothReal = real(x.K.text[k]) && real(x.N.text[m]);
    if (m + 1 < ne && distance(x, k, m + 1).closerThan(d)) {  // N holds an extra character
      if (bothReal) carryIntoK(x, k, m);
      else ++m;
      continue;
    }
    if (k + 1 < ke && distance(x, k + 1, m).closerThan(d)) {  // K holds an extra character
      if (bothReal) carryIntoN(x, k, m);
      else ++k;
      continue;
    }
    const ChInfo& a = x.K.info[k];
    const ChInfo& b = x.N.info[m];
    const int tol = x.K.text[k] == '?' ? x.wide : x.narrow;
    const bool overlap = a.left <= b.right && b.left <= a.right;
    if (d.dl < tol && d.dr < tol && overlap) {
      settleLookAlikePair(x.K, k, x.N, m, x.margins, x.editNew, x.sum);
      settled = true;
      ++k;
      ++m;
    } else if (x.K.text[k] == ' ') {
      ++k;  // blanks are made again by the re-spacing
    } else if (x.N.text[m] == ' ') {
      ++m;
    } else if (!overlap && b.left < a.left) {
      carryIntoK(x, k, m);
    } else if (!overlap) {
      carryIntoN(x, k, m);
    } else {  // the same place read as boxes of different widths: K keeps its own
      ++k;
      ++m;
    }
  }
}

void matchLines(const Merge& x) {
  const int minLine = MyOcr.minLineConf;
  int V = MyOcr.fixedSize ? MyOcr.charHeight : ah;
  if (!MyOcr.secondSize) V = 2 * V / 3;
  int ks = 0, ns = 0;
  while (ks < *x.K.n && ns < *x.N.n) {
    const LineStats kl = lineStats(x.K, ks), nl = lineStats(x.N, ns);
    if (!kl.any) {
      ks = nextLineStart(x.K.text, *x.K.n, kl.end);
    } else if (!nl.any) {
      ns = nextLineStart(x.N.text, *x.N.n, nl.end);
    } else if (nl.bottom < kl.top) {
      if (nl.mean() > minLine && copyLine(x, x.N, nl, x.K, ks)) ks += nl.length() + 2;
      ns = nextLineStart(x.N.text, *x.N.n, nl.end);
    } else if (kl.bottom < nl.top) {
      if (x.editNew && kl.mean() > minLine && copyLine(x, x.K, kl, x.N, ns)) ns += kl.length() + 2;
      ks = nextLineStart(x.K.text, *x.K.n, kl.end);
    } else if (std::abs(kl.top - nl.top) > V || std::abs(kl.bottom - nl.bottom) > V) {
      if (kl.top <= nl.top) ks = nextLineStart(x.K.text, *x.K.n, kl.end);
      else ns = nextLineStart(x.N.text, *x.N.n, nl.end);
    } else {
      alignLines(x, ks, ns);
      ks = nextLineStart(x.K.text, *x.K.n, lineEnd(x.K.text, *x.K.n, ks));
      ns = nextLineStart(x.N.text, *x.N.n, lineEnd(x.N.text, *x.N.n, ns));
    }
  }
}

bool narrowGlyph(char c) { return c == '1' || c == 'V' || c == 'W' || c == 'l'; }

// Blanks of K where its gaps say so: B is the blank width, B12 the one beside narrow glyphs.
void respaceKept(const Merge& x, int B, int B12) {
  char* t = x.K.text;
  ChInfo* info = x.K.info;
  int prev = 0;
  for (int i = 1; i < *x.K.n;) {
    const char c = t[i];
    if (c == ' ' || c == '\'' || c == '.') { ++i; continue; }
    if (isLineBreak(c) || isLineBreak(t[prev])) { prev = i++; continue; }
    float thr = static_cast<float>(B);
    const DBEntry* db = readingDB(info[i].dbIndex);
    if (db != nullptr && !db->split) {
      const bool afterNarrow = narrowGlyph(t[prev]);
      if (narrowGlyph(c)) thr = afterNarrow ? B12 * 1.2f : static_cast<float>(B12);
      else if (afterNarrow) thr = static_cast<float>(B12);
    }
    const int gap = info[i].left - info[prev].right;
    if (gap >= 0 && t[i - 1] == ' ' && gap < thr) {
      RimuoviCarattere(t, x.K.conf, info, i - 1, *x.K.n);
      --i;
    } else if (gap >= 0 && t[i - 1] != ' ' && gap > thr) {
      ChInfo blank{};
      blank.agreement = 1;
      blank.left = static_cast<uint16_t>(std::min(info[prev].right + 1, 0xFFFF));
      blank.right = columnBefore(info[i].left);
      blank.top = info[i].top;
      blank.bottom = info[i].bottom;
      AggiungiEVerifica(' ', 100, blank, t, x.K.conf, info, i, *x.K.n, x.max);
    }
    prev = i++;
  }
}

void finish(const Merge& x, float keptSpaceFactor) {
  if (x.margins) {
    for (int i = 0; i < *x.K.n;) {
      const ChInfo& b = x.K.info[i];
      if (x.K.text[i] == '?' && b.right - b.left < 4 * aw / 10 && b.bottom - b.top < 4 * ah / 10)
        RimuoviCarattere(x.K.text, x.K.conf, x.K.info, i, *x.K.n);
      else
        ++i;
    }
  }
  const int W = MyOcr.fixedSize ? MyOcr.charWidth : aw;
  const int B = std::max(1, static_cast<int>(W * keptSpaceFactor));
  const int B12 = std::max(1, static_cast<int>(B * 1.2));
  VerificaCaratteriSovrappostiESpazi(x.K.text, x.K.conf, x.K.info, *x.K.n, B);
  VerificaCaratteriSovrappostiESpazi(x.N.text, x.N.conf, x.N.info, *x.N.n, B);
  respaceKept(x, B, B12);
}

}  // namespace

int ConfrontaSimili(char* t1, char* c1, ChInfo* i1, int& count1, char* t2, char* c2, ChInfo* i2, int& count2,
                    bool margins, int max, bool editNew, bool sum) {
  if (t1 == nullptr || c1 == nullptr || i1 == nullptr || t2 == nullptr || c2 == nullptr || i2 == nullptr) return 0;
  if (count1 < 1 || count2 < 1) return 0;
  RimuoviSpaziEsterniEDoppi(t2, c2, i2, count2);
  RimuoviSpaziEsterniEDoppi(t1, c1, i1, count1);
  uint16_t w = 0, h = 0;
  float keptSpaceFactor = 0, newSpaceFactor = 0;
  Ricalcola_ah_aw(t2, c2, i2, count2, w, h, keptSpaceFactor, true);
  Ricalcola_ah_aw(t1, c1, i1, count1, w, h, newSpaceFactor, false);
  VerificaRigheDiverse(t2, c2, i2, count2, 0);
  VerificaRigheDiverse(t1, c1, i1, count1, 0);

  const int wide = 8 * MyOcr.charWidth / 10;
  const int narrow = 6 * (MyOcr.fixedSize ? MyOcr.charWidth : aw) / 10;
  const Merge m{{t2, c2, i2, &count2}, {t1, c1, i1, &count1}, margins, editNew, sum, max, wide, narrow,
                MyOcr.minLineConf, margins ? 10 : 0};
  matchLines(m);
  finish(m, keptSpaceFactor);
  t2[std::max(count2, 0)] = '\0';
  t1[std::max(count1, 0)] = '\0';
  return 1;
}

void VerificaRigheDiverse(char* text, char* conf, ChInfo* info, int& n, int spare) {
  if (text == nullptr || info == nullptr) return;
  const int cr = findInReading(text, n, '\r');
  if (cr < 0) return;
  const int rest = nextLineStart(text, n, cr);
  int top = INT_MAX, bottom = -1;
  for (int i = 0; i < cr; ++i) {
    if (text[i] == ' ' || isLineBreak(text[i])) continue;
    top = std::min<int>(top, info[i].top);
    bottom = std::max<int>(bottom, info[i].bottom);
  }
  if (findInReading(text, n, '\r', rest) >= 0) {
    int restCount = n - rest;
    VerificaRigheDiverse(text + rest, conf != nullptr ? conf + rest : nullptr, info + rest, restCount, spare);
    n = rest + restCount;
  }
  if (bottom < 0) {  // a first line of blanks only goes, with its line break
    for (int i = 0; i < rest; ++i) RimuoviCarattere(text, conf, info, 0, n);
    return;
  }
  for (int i = rest; i < n;) {
    const int mid = (info[i].top + info[i].bottom) / 2;
    if (!isLineBreak(text[i]) && mid >= top && mid <= bottom) RimuoviCarattere(text, conf, info, i, n);
    else ++i;
  }
  if (cr + 2 == n) {
    RimuoviCarattere(text, conf, info, cr, n);
    RimuoviCarattere(text, conf, info, cr, n);
  }
}
