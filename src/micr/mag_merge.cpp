// Editing and merging of magnetic candidate codelines (positions in samples, the fifth array
// holding hit counts): the readings of many filter passes add up by position, agreeing symbols
// summing their hits and confidences, the stronger reading winning a disagreement.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "micr/micr.h"

namespace {

constexpr int kMaxHits = 30;
constexpr int kMaxConf = 120;

bool isQuery(char c) { return c == '?'; }

// Everything a walk needs of one line.
struct Cdl {
  char* t;
  char* c;
  int* s;
  int* e;
  int* h;
  int& n;
};

void prepare(Cdl x) {
  for (int i = 0; i < x.n; ++i)
    if (x.h[i] < 1) x.h[i] = 1;
  for (int i = 0; i < x.n; ++i)
    if (x.t[i] == ' ') RimuoviCarEDecrementa(x.t, x.c, x.s, x.e, x.h, i, x.n);
}

void insertFrom(Cdl a, int i, const Cdl& b, int j, bool& inserted) {
  const int before = a.n;
  AggiungiCarattereMICR(static_cast<unsigned char>(b.t[j]), static_cast<unsigned char>(b.c[j]), b.s[j], b.e[j], b.h[j],
                        a.t, a.c, a.s, a.e, a.h, i, a.n, kCdlChars);
  inserted = a.n > before;
}

// Both entries cover one place and are close enough to be one reading of it. A symbol taken
// over from B must have a plausible width (minW, maxW exclusive).
void matched(Cdl a, int i, Cdl b, int j, bool accumulate, int minW, int maxW) {
  const int ha = a.h[i], hb = b.h[j];
  if (a.t[i] == b.t[j]) {
    if (accumulate) {
      if (a.e[i] != b.e[j]) a.e[i] = (b.e[j] * hb + a.e[i] * ha) / (ha + hb);
      if (a.s[i] != b.s[j]) a.s[i] = (b.s[j] * hb + a.s[i] * ha) / (ha + hb);
    }
    if (isQuery(a.t[i])) {
      a.h[i] = 1;
      a.c[i] = 1;
    } else if (accumulate) {
      a.h[i] = std::min(ha + hb, kMaxHits);
      a.c[i] = static_cast<char>(std::min(pvk::micr::confOf(a.c[i]) + pvk::micr::confOf(b.c[j]), kMaxConf));
    }
    return;
  }
  if (isQuery(b.t[j])) return;
  if (isQuery(a.t[i])) {
    const int w = b.e[j] - b.s[j];
    if (minW < w && w < maxW && b.t[j] != ' ') SostituisciCarattereCMC(b.t, b.c, b.s, b.e, b.h, j, a.t, a.c, a.s, a.e, a.h, i);
    return;
  }
  const int ca = pvk::micr::confOf(a.c[i]), cb = pvk::micr::confOf(b.c[j]);
  if (ca < cb) {
    SostituisciCarattereCMC(b.t, b.c, b.s, b.e, b.h, j, a.t, a.c, a.s, a.e, a.h, i);
    if (accumulate) a.c[i] = static_cast<char>(cb - ca);
  } else if (accumulate) {
    a.c[i] = static_cast<char>(ca - cb);
    if (ca == cb) {
      a.t[i] = '?';
      a.h[i] = 1;
      a.c[i] = 1;
    }
  }
}

}  // namespace

void AggiungiCarattereMICR(unsigned char ch, unsigned char cf, int s, int e, int hits, char* text, char* conf,
                           int* start, int* end, int* fifth, int pos, int& n, int max) {
  if (!text || !conf || !start || !end || n < 0 || n + 1 >= std::min(max, kCdlChars)) return;
  pos = std::clamp(pos, 0, n);
  const size_t tail = static_cast<size_t>(n - pos);
  std::memmove(text + pos + 1, text + pos, tail);
  std::memmove(conf + pos + 1, conf + pos, tail);
  std::memmove(start + pos + 1, start + pos, tail * sizeof(int));
  std::memmove(end + pos + 1, end + pos, tail * sizeof(int));
  if (fifth) std::memmove(fifth + pos + 1, fifth + pos, tail * sizeof(int));
  text[pos] = static_cast<char>(ch);
  conf[pos] = static_cast<char>(cf);
  start[pos] = s;
  end[pos] = e;
  if (fifth) fifth[pos] = hits;
  ++n;
  text[n] = conf[n] = 0;
}

void RimuoviCarattereMICR(char* text, char* conf, int* start, int* end, int pos, int& n) {
  if (!text || !conf || !start || !end || n <= 0 || pos < 0 || pos >= n) return;
  const size_t tail = static_cast<size_t>(n - pos - 1);
  std::memmove(text + pos, text + pos + 1, tail);
  std::memmove(conf + pos, conf + pos + 1, tail);
  std::memmove(start + pos, start + pos + 1, tail * sizeof(int));
  std::memmove(end + pos, end + pos + 1, tail * sizeof(int));
  --n;
  text[n] = conf[n] = 0;
}

void RimuoviSovrapposti(char* text, char* conf, int* start, int* end, int* fifth, int& n) {
  for (int i = 0; i < n - 1; ++i) {
    if (end[i] <= start[i + 1]) continue;
    const int a = pvk::micr::confOf(conf[i]), b = pvk::micr::confOf(conf[i + 1]);
    if (a < b) {
      RimuoviCarEDecrementa(text, conf, start, end, fifth, i, n);
    } else if (a > b) {
      RimuoviCar(text, conf, start, end, fifth, i + 1, n);
    } else {
      RimuoviCar(text, conf, start, end, fifth, i, n);
      RimuoviCarEDecrementa(text, conf, start, end, fifth, i, n);
    }
  }
}

void ConfrontaMICR(char* tA, char* cA, int* sA, int* eA, int* hA, int& nA, char* tB, char* cB, int* sB, int* eB,
                   int* hB, int& nB, int tol, int minW, int maxW, int gap, bool accumulate) {
  if (nB <= 0) return;
  if (nA <= 0) {
    std::memcpy(tA, tB, kCdlChars);
    std::memcpy(cA, cB, kCdlChars);
    std::memcpy(sA, sB, kCdlChars * sizeof(int));
    std::memcpy(eA, eB, kCdlChars * sizeof(int));
    std::memcpy(hA, hB, kCdlChars * sizeof(int));
    nA = nB;
    tB[0] = 0;
    nB = 0;
    return;
  }
  Cdl a{tA, cA, sA, eA, hA, nA}, b{tB, cB, sB, eB, hB, nB};
  prepare(a);
  prepare(b);
  const auto plausible = [&](int j) {
    const int w = eB[j] - sB[j];
    return minW < w && w < maxW;
  };
  int i = 0, j = 0;
  while (i < nA && j < nB) {
    if (i > kCdlUsable - 1) {
      ++i;
      continue;
    }
    if (j > kCdlUsable - 1) {
      ++j;
      continue;
    }
    const int sa = sA[i], ea = eA[i], sb = sB[j], eb = eB[j];
    const bool bFitsA = (i == 0 || eA[i - 1] <= sb) && (i == nA - 1 || eb <= sA[i + 1]);
    const bool aFitsB = (j == 0 || eB[j - 1] <= sa) && (j == nB - 1 || ea <= sB[j + 1]);
    const int t = ((isQuery(tA[i]) && bFitsA) || (isQuery(tB[j]) && aFitsB)) ? 2 * tol : tol;
    bool inserted = false;
    if (sa <= eb && sb <= ea) {
      if (std::abs(sa - sb) < t && std::abs(ea - eb) < t) {
        matched(a, i, b, j, accumulate, minW, maxW);
        ++i, ++j;
      } else if (i == nA - 1 || eb <= sA[i + 1]) {
        if (ea <= sb && pvk::micr::confOf(cB[j]) > 1) insertFrom(a, i, b, j, inserted);
        if (inserted) ++i;
        ++j;
      } else if (j < nB - 1 && ea > sB[j + 1]) {
        ++i, ++j;
      } else {
        ++i;
      }
    } else if (sa <= eb) {  // A lies wholly before B
      ++i;
    } else {  // B lies wholly before A
      if (!((i > 0 && sb <= eA[i - 1]) || isQuery(tB[j]) || !plausible(j))) insertFrom(a, i, b, j, inserted);
      if (inserted) ++i;
      ++j;
    }
  }
  for (; j < nB && j < kCdlUsable; ++j) {
    if (tB[j] == ' ' || isQuery(tB[j]) || !plausible(j)) continue;
    if (nA > 0 && eA[nA - 1] > sB[j]) continue;
    const int hb = hB[j], cb = pvk::micr::confOf(cB[j]);
    const bool unread = hb < 1 || cb / hb < 1;
    AggiungiCarattereMICR(static_cast<unsigned char>(unread ? '?' : tB[j]), static_cast<unsigned char>(unread ? 1 : cb),
                          sB[j], eB[j], unread ? 1 : std::max(1, hb), tA, cA, sA, eA, hA, nA, nA, kCdlChars);
  }
  for (int k = 1; k < nA; ++k)
    if (sA[k] > eA[k - 1] + gap) AggungiCar(tA, cA, sA, eA, hA, k, nA, ' ', 100, eA[k - 1] + 1, sA[k] - 1, 1);
  RimuoviSovrapposti(tA, cA, sA, eA, hA, nA);
}
