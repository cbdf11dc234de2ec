// Disagreements between two readings of one character: which reading keeps which character when
// look-alikes meet (digit against letter, letter against letter, dot, unread against read), by
// confidence margins, by the neighbouring characters, and for OCR-B zeros by height.
#include <algorithm>
#include <cctype>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

// The reading `to` takes, at position at, the character c with confidence cf and the box ci.
void take(ReadingRef to, int at, char c, char cf, const ChInfo& ci) {
  SostituisciEVerifica2(to.text, to.conf, to.info, at, *to.n, c, cf, ci);
}

bool isClass(bool digitClass, char c) {
  const auto u = static_cast<unsigned char>(c);
  return digitClass ? std::isdigit(u) != 0 : std::isalpha(u) != 0;
}

// The neighbours of K's character tell which of the two characters belongs there: 1 K's, -1 N's,
// 0 no verdict. The winner needs a confidence above 30.
int neighbourVerdict(char digit, int iK, const char* tK, const char* cK, int nK, int iN, const char* cN) {
  const bool kHoldsDigit = tK[iK] == digit;
  if (kHoldsDigit && (iK < 2 || iK > nK - 2)) return 0;
  // Beside a letter, a missing neighbour at the ends of the reading matches either class.
  auto fits = [&](bool digitClass, int at) {
    if (at < 0 || at >= nK) return !kHoldsDigit;
    return isClass(digitClass, tK[at]);
  };
  const bool digits = fits(true, iK - 1) && fits(true, iK + 1);
  const bool letters = fits(false, iK - 1) && fits(false, iK + 1);
  if (digits == letters) return 0;
  const bool kFits = kHoldsDigit == digits;
  const int winnerConf = kFits ? cK[iK] : cN[iN];
  if (winnerConf <= 30) return 0;
  return kFits ? 1 : -1;
}

}  // namespace

bool ConfrontaNumeroLettera(char digit, char letter, int margin, int iK, char* tK, char* cK, ChInfo* infoK,
                            int& nK, int iN, char* tN, char* cN, ChInfo* infoN, int& nN) {
  if (tK == nullptr || cK == nullptr || infoK == nullptr || tN == nullptr || cN == nullptr || infoN == nullptr)
    return false;
  if (iK < 0 || iK >= nK || iN < 0 || iN >= nN) return false;
  const char k = tK[iK], n = tN[iN];
  if ((k != digit && k != letter) || (n != digit && n != letter)) return false;
  const ReadingRef K{tK, cK, infoK, &nK}, N{tN, cN, infoN, &nN};
  int verdict = 0;
  if (pesaNumLet && k != n) verdict = neighbourVerdict(digit, iK, tK, cK, nK, iN, cN);
  if (verdict == 0) {
    if (cK[iK] > cN[iN] + margin) verdict = 1;
    else if (cN[iN] > cK[iK] + margin) verdict = -1;
    else return false;
  }
  if (verdict > 0) take(N, iN, k, cK[iK], infoK[iK]);
  else take(K, iK, n, cN[iN], infoN[iN]);
  return true;
}

bool ConfrontaLettereSimili(int iK, char* tK, char* cK, ChInfo* infoK, int& nK, int iN, char* tN, char* cN,
                            ChInfo* infoN, int& nN, bool editN, char marginK, char marginN, char penalty) {
  if (tK == nullptr || cK == nullptr || infoK == nullptr || tN == nullptr || cN == nullptr || infoN == nullptr)
    return true;
  if (iK < 0 || iK >= nK || iN < 0 || iN >= nN) return true;
  const ReadingRef K{tK, cK, infoK, &nK}, N{tN, cN, infoN, &nN};
  const int a = cK[iK], b = cN[iN];
  if (marginK + a > b) {
    if (editN) take(N, iN, tK[iK], cK[iK], infoK[iK]);
    return true;
  }
  if (a < marginN + b) {
    take(K, iK, tN[iN], cN[iN], infoN[iN]);
    return true;
  }
  auto lose = [penalty](char& t, char& c) {
    if (c <= penalty) {
      t = '?';
      c = 1;
    } else {
      c = static_cast<char>(c - penalty);
    }
  };
  if (a <= b) lose(tK[iK], cK[iK]);
  if (b <= a && editN) lose(tN[iN], cN[iN]);
  return true;
}

namespace {

struct Pair {
  ReadingRef K, N;
  int k, m;
  bool editNew;
  char kc() const { return K.text[k]; }
  char nc() const { return N.text[m]; }
  char ck() const { return K.conf[k]; }
  char cn() const { return N.conf[m]; }
  void kTakesN() const { take(K, k, nc(), cn(), N.info[m]); }
  void nTakesK() const {
    if (editNew) take(N, m, kc(), ck(), K.info[k]);
  }
  bool is(char n, char k) const { return nc() == n && kc() == k; }
};

char droppedBy10(char c) { return static_cast<char>(c < 11 ? 1 : c - 10); }

// OCR-B zero against letter O, both flagged by the recognizer: the taller reading is a zero.
void settleByHeight(const Pair& p) {
  const int t = hSogliaOCRBNumLet(ah);
  auto weight = [t](char c, char conf, const ChInfo& ci) {
    const int h = std::max(1, ci.bottom - ci.top);
    return c == '0' ? conf * h / t : conf * t / h;
  };
  const int wn = weight(p.nc(), p.cn(), p.N.info[p.m]);
  const int wk = weight(p.kc(), p.ck(), p.K.info[p.k]);
  if (wn > wk) p.kTakesN();
  else if (wk > wn) p.nTakesK();
}

bool numberLetter(const Pair& p, char digit, char letter, int margin) {
  return ConfrontaNumeroLettera(digit, letter, margin, p.k, p.K.text, p.K.conf, p.K.info, *p.K.n, p.m, p.N.text,
                                p.N.conf, p.N.info, *p.N.n);
}

void lettersAlike(const Pair& p, char marginK, char marginN, char penalty) {
  ConfrontaLettereSimili(p.k, p.K.text, p.K.conf, p.K.info, *p.K.n, p.m, p.N.text, p.N.conf, p.N.info, *p.N.n,
                         p.editNew, marginK, marginN, penalty);
}

bool zeroOrO(char c) { return c == '0' || c == 'O'; }
bool pairOf(const Pair& p, char a, char b) { return (p.kc() == a && p.nc() == b) || (p.kc() == b && p.nc() == a); }

// An OCR-B Q's tail is a thin stroke that crosses its bowl low on the right and ends just below
// it: a threshold that loses the tip leaves a shorter ring read as a zero or an O, while none grows
// a tail on a ring. A Q read at 50 or more whose box reaches lower than the ring's keeps its place.
bool tailedQ(char q, char cq, const ChInfo& qBox, char ring, char cRing, const ChInfo& ringBox) {
  return q == 'Q' && zeroOrO(ring) && cq >= 50 && cq > cRing && qBox.bottom > ringBox.bottom;
}

bool ocrbTailedQ(const Pair& p) {
  if (!IsOCRBFont(MyOcr.currentFont)) return false;
  if (tailedQ(p.kc(), p.ck(), p.K.info[p.k], p.nc(), p.cn(), p.N.info[p.m])) return true;
  if (!tailedQ(p.nc(), p.cn(), p.N.info[p.m], p.kc(), p.ck(), p.K.info[p.k])) return false;
  p.kTakesN();
  return true;
}

// The rules that settle a pair outright; false when the pair goes on to the confidence rule.
bool settleSpecial(const Pair& p) {
  const char k = p.kc(), n = p.nc();
  if (IsMICROPERFORATIONFont(MyOcr.currentFont, true)) {
    if (p.is('D', 'O') || p.is('P', 'F')) { p.kTakesN(); return true; }
    if (p.is('O', 'D') || p.is('F', 'P')) return true;
  }
  if (n == '?' && k == ' ') { take(p.K, p.k, '?', p.cn(), p.N.info[p.m]); return true; }
  if (n == ' ' && k == '?') {
    if (p.editNew) take(p.N, p.m, '?', p.ck(), p.K.info[p.k]);
    return true;
  }
  if (isBlankOrUnread(n)) { p.nTakesK(); return true; }
  if (isBlankOrUnread(k)) { p.kTakesN(); return true; }
  const auto uk = static_cast<unsigned char>(k), un = static_cast<unsigned char>(n);
  if (std::isalpha(uk) && std::isalpha(un) && std::tolower(uk) == std::tolower(un)) return true;
  // A dot or an amount's comma against a character: the character is kept unless it is weak.
  if (pieceMark(k)) {
    if (p.cn() < 31 && p.ck() > p.cn()) p.nTakesK();
    else p.kTakesN();
    return true;
  }
  if (pieceMark(n)) {
    if (p.ck() >= p.cn() || p.ck() > 30) p.nTakesK();
    else p.kTakesN();
    return true;
  }
  if (p.is('J', 'U')) {
    if (p.cn() > p.ck() + 39) {
      if (p.editNew) p.N.conf[p.m] = droppedBy10(p.cn());
    } else {
      p.nTakesK();
    }
    return true;
  }
  if (p.is('U', 'J')) {
    if (p.ck() > p.cn() + 39) p.K.conf[p.k] = droppedBy10(p.ck());
    else p.kTakesN();
    return true;
  }
  if (p.is('F', 'E') || p.is('V', 'M') || p.is('P', 'R')) { lettersAlike(p, 20, -20, 10); return true; }
  if (p.is('E', 'F') || p.is('M', 'V') || p.is('R', 'P')) { lettersAlike(p, -20, 20, 20); return true; }
  if (IsLetteraAccentataSimile(un, uk)) {
    if (p.ck() > p.cn() + 30) p.nTakesK();
    else if (p.cn() > p.ck() + 30) p.kTakesN();
    return true;
  }
  if (ocrbTailedQ(p)) return true;
  if (pairOf(p, '1', 'I')) return numberLetter(p, '1', 'I', 10);
  if (zeroOrO(k) && zeroOrO(n)) {
    if (MyOcr.currentFont == 3 && p.K.info[p.k].zeroLetterO && p.N.info[p.m].zeroLetterO) settleByHeight(p);
    else numberLetter(p, '0', 'O', 0);
    return true;
  }
  if (pairOf(p, '8', 'B') || pairOf(p, '5', 'B') || pairOf(p, '5', 'S'))
    return numberLetter(p, '8', 'B', 10) || numberLetter(p, '5', 'B', 10) || numberLetter(p, '5', 'S', 10);
  return false;
}

}  // namespace

namespace pvk::ocr {

bool pieceMark(char c) { return c == '.' || (c == ',' && MyOcr.currentFont == 944); }

void settleLookAlikePair(ReadingRef K, int k, ReadingRef N, int m, bool margins, bool editNew, bool sum) {
  const Pair p{K, N, k, m, editNew};
  if (p.kc() == p.nc()) {
    AggiornaCarattere(p.kc(), N.conf, N.info, m, K.conf, K.info, k, sum);
    return;
  }
  if (settleSpecial(p)) return;
  const int ck = p.ck(), cn = p.cn();
  const int m1 = margins ? 8 : 0, m2 = margins ? 16 : 0;
  if (ck <= cn + m1 && cn > ck + m2) {
    take(K, k, p.nc(), static_cast<char>(std::max(2, cn - ck / 2)), N.info[m]);
  } else if (ck <= cn + m1) {
    K.text[k] = '?';
    K.conf[k] = 1;
    K.info[k].agreement = std::max(K.info[k].agreement, N.info[m].agreement);
  } else {
    K.conf[k] = static_cast<char>(std::max(2, ck - cn / 2));
  }
}

}  // namespace pvk::ocr

bool ConfrontaSimili2(char* t1, char* c1, int count1, char* t2, char* c2, int count2, int settle) {
  if (t1 == nullptr || c1 == nullptr || t2 == nullptr || c2 == nullptr) return false;
  if (count1 != count2 || count2 < 1) return false;
  int d = 0;
  for (int i = 0; i < count2; ++i)
    if (t1[i] != '?' && t2[i] != '?' && t1[i] != t2[i]) ++d;
  if (d > std::max(1.0, 0.1 * count2)) return false;

  bool changed = false;
  auto takeFirst = [&](int i) {
    changed = changed || t2[i] != t1[i] || c2[i] != c1[i];
    t2[i] = t1[i];
    c2[i] = c1[i];
  };
  auto unread = [&](int i) {
    changed = changed || t2[i] != '?' || c2[i] != 1;
    t2[i] = '?';
    c2[i] = 1;
  };
  for (int i = 0; i < count2; ++i) {
    const char a = t1[i], b = t2[i];
    const int ca = c1[i], cb = c2[i];
    if (a == b) {
      if (ca > cb) takeFirst(i);
    } else if (!isBlankOrUnread(a) && isBlankOrUnread(b) && ca > 0) {
      takeFirst(i);
    } else if (zeroOrO(a) && zeroOrO(b)) {
      if (ca > cb) takeFirst(i);
    } else if (!settle || a == '?' || b == '?') {
      continue;
    } else if (b != ' ' && a != ' ') {
      if (ca > cb + 5) takeFirst(i);
      else if (ca + 4 >= cb) unread(i);
    } else if (b == ' ') {
      if (ca >= 31) takeFirst(i);
      else if (a == ' ' || ca + 4 < cb) continue;
      else if (ca <= cb + 5) unread(i);
      else takeFirst(i);
    }
  }
  return changed;
}
