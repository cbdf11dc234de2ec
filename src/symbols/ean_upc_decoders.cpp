// EAN-8, EAN-13, UPC-A and UPC-E: digits of 4 elements read from two distances in modules,
// the left half's sets giving EAN-13's first digit and UPC-E's check digit.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "ocr/ocr.h"
#include "symbols/symbols.h"

namespace {

using pvk::symbols::finish;

constexpr int kAnySet = -1;
constexpr int kLeft = 1;
constexpr int kRight = 2;

// Key = 10 x first distance + second distance; set 1 digits are the even-parity codes of
// the left half (and, read forwards, the right half's codes).
struct DigitRow {
  int key;
  char digit;
  int set;
};
const DigitRow kDigits[20] = {
    {34, '1', 0}, {43, '2', 0}, {25, '3', 0}, {54, '4', 0}, {45, '5', 0}, {52, '6', 0}, {34, '7', 0},
    {43, '8', 0}, {32, '9', 0}, {23, '0', 0}, {44, '1', 1}, {33, '2', 1}, {55, '3', 1}, {24, '4', 1},
    {35, '5', 1}, {22, '6', 1}, {44, '7', 1}, {33, '8', 1}, {42, '9', 1}, {53, '0', 1},
};

// The left half's set pattern (first digit most significant, 1 = set 1) to EAN-13's first
// digit, and to UPC-E's check digit.
const int kFirstDigitPattern[10] = {0, 11, 13, 14, 19, 25, 28, 21, 22, 26};
const int kUpceCheckPattern[10] = {56, 52, 50, 49, 44, 38, 35, 42, 41, 37};

int digitOfPattern(const int* table, int pattern) {
  for (int d = 0; d < 10; ++d)
    if (table[d] == pattern) return d;
  return -1;
}

// Bars (in modules) of each digit's code in set 0 and in set 1: every digit has two bars.
const int kBarModules[2][10] = {{3, 3, 3, 5, 3, 3, 5, 5, 5, 3}, {4, 4, 4, 2, 4, 4, 2, 2, 2, 4}};

// 1/7 and 2/8 share their distances and differ only in their bars' share of the digit (tenths
// of a module, 7 x bars x 10 / width). Print that thickens or thins every bar moves every share
// alike, and errors in the same direction can cancel in the check digit: the choice is made once
// the whole symbol is read, against the bias the other digits show.
struct BarShares {
  int bias = 0;      // sum over the other digits of their share less their code's
  int biased = 0;    // digits summed in bias
  struct Doubt {
    char* digit;
    int set;
    int share;
  } doubts[12];
  int doubtful = 0;

  // Takes the choice between 1/7 or 2/8 apart from the other digits.
  void add(char* digit, int set, int share) {
    if ((*digit == '1' || *digit == '2') && doubtful < 12) {
      doubts[doubtful++] = Doubt{digit, set, share};
      return;
    }
    bias += share - 10 * kBarModules[set][*digit - '0'];
    ++biased;
  }
  // Guard elements are one module each: their bars less their spaces is the bias too. The
  // symbol's first element is measured one sample short and is left out.
  void addGuard(const int* w, int first, int n, double module) {
    int bars = 0, spaces = 0;
    double barSum = 0, spaceSum = 0;
    for (int i = std::max(first, 1); i < first + n; ++i) {
      if (i % 2) spaceSum += w[i], ++spaces;
      else barSum += w[i], ++bars;
    }
    if (!bars || !spaces || module <= 0) return;
    bias += static_cast<int>(std::lround(10 * (barSum / bars - spaceSum / spaces) / module));
    ++biased;
  }
  // Chooses each doubtful digit; false when one lies too near the middle of its two codes to tell.
  bool resolve() {
    constexpr int kMargin = 3;
    const int b = biased ? (bias + (bias >= 0 ? biased / 2 : -biased / 2)) / biased : 0;
    for (int i = 0; i < doubtful; ++i) {
      Doubt& d = doubts[i];
      const int share = d.share - b;
      const int middle = d.set == 0 ? 40 : 30;  // 1/2 have 3 modules of bar in set 0, 4 in set 1
      if (std::abs(share - middle) <= kMargin) return false;
      const bool seven = d.set == 0 ? share > middle : share < middle;
      if (seven) *d.digit = *d.digit == '1' ? '7' : '8';
    }
    return true;
  }
};

// The guards (first element, element count) of a symbol of `modules` modules into the bias.
void addGuards(BarShares& shares, const int* w, int count, int modules, std::initializer_list<std::pair<int, int>> guards) {
  long long total = 0;
  for (int i = 0; i < count; ++i) total += w[i];
  for (const auto& g : guards) shares.addGuard(w, g.first, g.second, static_cast<double>(total) / modules);
}

// Whether the edge distance d of a digit total wide is within slack hundredths of a module of
// the whole count of modules it was read as; any distance is when slack is negative.
bool nearWhole(int d, int total, uint32_t modules, int slack) {
  return slack < 0 || std::abs(7 * d - static_cast<int>(modules) * total) * 100 <= slack * total;
}

// Reads `digits` digits of 4 elements from w[index] into text; false when one fails, or when an
// edge distance misses its whole module count by more than slack hundredths of a module (when
// slack is not negative).
bool DecodEanUpc(const int* w, char* text, int digits, int allowedSet, int side, int count, int index,
                 int& setPattern, BarShares& shares, int slack = -1) {
  for (int d = 0; d < digits; ++d, index += 4) {
    if (index + 4 > count) return false;
    const int* e = w + index;
    calcModstr m{};
    m.count = 2;
    m.e[1].value = static_cast<uint32_t>(side == kLeft ? e[2] + e[3] : e[0] + e[1]);
    m.e[2].value = static_cast<uint32_t>(e[1] + e[2]);
    int total = e[0] + e[1] + e[2] + e[3];
    int bars = side == kLeft ? e[1] + e[3] : e[0] + e[2];
    NormalizzaValore(&m, total, 7);
    auto ok = [&] { return m.e[1].value >= 2 && m.e[1].value <= 5 && m.e[2].value >= 2 && m.e[2].value <= 5; };
    if (!ok() && (!correggiMod(&m, 0) || !ok())) return false;
    if (!nearWhole(side == kLeft ? e[2] + e[3] : e[0] + e[1], total, m.e[1].value, slack) ||
        !nearWhole(e[1] + e[2], total, m.e[2].value, slack))
      return false;
    int key = static_cast<int>(m.e[1].value * 10 + m.e[2].value);
    int found = -1;
    for (int r = 0; r < 20 && found < 0; ++r)
      if (kDigits[r].key == key && (allowedSet == kAnySet || allowedSet == kDigits[r].set)) found = r;
    if (found < 0 || total <= 0) return false;
    text[d] = kDigits[found].digit;
    shares.add(text + d, kDigits[found].set, 7 * bars * 10 / total);
    if (setPattern != -1) setPattern = setPattern * 2 + kDigits[found].set;
  }
  return true;
}

}  // namespace

int Calcola_Check(const char* digits, int n) {
  if (!digits || n < 2) return 0;
  for (int i = 1; i < n; ++i)
    if (digits[i] < '0') return 0;
  int sum = 0;
  for (int i = n - 1, weight = 3; i >= 0; --i, weight = 4 - weight) sum += weight * (digits[i] - '0');
  return (10 - sum % 10) % 10 == digits[n] - '0' ? 1 : 0;
}

bool Testa_CONTR_EAN_UPC(const int* widths, int first, int k, int& mean) {
  int sum = 0;
  for (int i = 0; i < k; ++i) sum += widths[first + i];
  mean = k ? sum / k : 0;
  int lo = mean + mean / 2, hi = lo + mean;
  for (int i = 0; i + 1 < k; ++i) {
    int pair = widths[first + i] + widths[first + i + 1];
    if (pair < lo || pair > hi) return false;
  }
  return true;
}

namespace {

// The start guard's test. A run opens on its first bar's rising edge, and that bar is measured
// one sample (10 in widths) short: the guard passes with that sample given back too, so that a
// first bar thinned by blur as well does not drag the guard's mean below its pairs. (A run read
// backwards has its short element last, and passes as it is.)
bool startGuard(const int* w, int& mean) {
  const int g[3] = {w[0] + 10, w[1], w[2]};
  return Testa_CONTR_EAN_UPC(w, 0, 3, mean) || Testa_CONTR_EAN_UPC(g, 0, 3, mean);
}

int readEAN8(const int* w, int count, char* text, char* conf, bool& check, int height) {
  check = false;
  text[0] = 0;
  int g1, g2, g3;
  if (count != 43 || !startGuard(w, g1) || !Testa_CONTR_EAN_UPC(w, 19, 5, g2) ||
      !Testa_CONTR_EAN_UPC(w, 40, 3, g3))
    return 0;
  int none = -1;
  BarShares shares;
  addGuards(shares, w, count, 67, {{0, 3}, {19, 5}, {40, 3}});
  if (!DecodEanUpc(w, text, 4, 0, kLeft, count, 3, none, shares) ||
      !DecodEanUpc(w, text + 4, 4, 1, kRight, count, 24, none, shares) || !shares.resolve())
    return 0;
  text[8] = 0;
  if (!Calcola_Check(text, 7)) return 0;
  check = true;
  // Guards wider than the band is high: a short band across a tall symbol, or a stray pattern.
  int c = Confidence_ChecSumOK, guard = (g1 + g2 + g3) / 60;  // mean guard element in pixels
  if (guard > height && guard > 0) c = c * height / guard;
  return finish(text, conf, 8, c);
}

// The 59 elements of EAN-13 and UPC-A: three guards, six left digits of leftSet into left,
// six right digits into right.
bool read59(const int* w, int count, char* left, char* right, int leftSet, int& pattern) {
  int g, none = -1;
  BarShares shares;
  if (count == 59) addGuards(shares, w, count, 95, {{0, 3}, {27, 5}, {56, 3}});
  return count == 59 && startGuard(w, g) && Testa_CONTR_EAN_UPC(w, 27, 5, g) &&
         Testa_CONTR_EAN_UPC(w, 56, 3, g) && DecodEanUpc(w, left, 6, leftSet, kLeft, count, 3, pattern, shares) &&
         DecodEanUpc(w, right, 6, 1, kRight, count, 32, none, shares) && shares.resolve();
}

int readEAN13(const int* w, int count, char* text, char* conf, bool& check) {
  check = false;
  text[0] = 0;
  int pattern = 0;
  if (!read59(w, count, text + 1, text + 7, kAnySet, pattern)) return 0;
  int first = digitOfPattern(kFirstDigitPattern, pattern);
  if (first < 0) return 0;
  text[0] = static_cast<char>('0' + first);
  text[13] = 0;
  if (!Calcola_Check(text, 12)) return 0;
  check = true;
  return finish(text, conf, 13, 100);
}

int readUPCA(const int* w, int count, char* text, char* conf, bool& check) {
  check = false;
  text[0] = 0;
  int none = -1;
  if (!read59(w, count, text, text + 6, 0, none)) return 0;
  text[12] = 0;
  if (!Calcola_Check(text, 11)) return 0;
  check = true;
  return finish(text, conf, 12, 100);
}

int readUPCE(const int* w, int count, char* text, char* conf, bool& check) {
  check = false;
  text[0] = 0;
  int g;
  if (count != 33 || !startGuard(w, g) || !Testa_CONTR_EAN_UPC(w, 28, 5, g)) return 0;
  int pattern = 0;
  text[0] = '0';
  BarShares shares;
  addGuards(shares, w, count, 51, {{0, 3}, {27, 6}});
  // UPC-E's check digit is no symbol of its own but the set pattern of its six digits: one edge
  // read a module off changes a digit and its set together, and two such digits can make
  // another valid pattern whose check fits. Each edge distance must lie near a whole module
  // count (a digit read halfway between two counts is a guess); at the pixel grid of a narrow
  // module a guess is likely.
  constexpr int kUpceSlack = 35;
  if (!DecodEanUpc(w, text + 1, 6, kAnySet, kLeft, count, 3, pattern, shares, kUpceSlack) || !shares.resolve())
    return 0;
  int checkDigit = digitOfPattern(kUpceCheckPattern, pattern);
  if (checkDigit < 0) return 0;
  text[7] = static_cast<char>('0' + checkDigit);
  text[8] = 0;
  // The check digit is that of the UPC-A number the six digits stand for.
  const char* d = text + 1;
  char a[13];
  switch (d[5]) {
    case '0': case '1': case '2': std::snprintf(a, sizeof a, "0%c%c%c0000%c%c%c", d[0], d[1], d[5], d[2], d[3], d[4]); break;
    case '3': std::snprintf(a, sizeof a, "0%c%c%c00000%c%c", d[0], d[1], d[2], d[3], d[4]); break;
    case '4': std::snprintf(a, sizeof a, "0%c%c%c%c00000%c", d[0], d[1], d[2], d[3], d[4]); break;
    default: std::snprintf(a, sizeof a, "0%c%c%c%c%c0000%c", d[0], d[1], d[2], d[3], d[4], d[5]); break;
  }
  a[11] = text[7];
  a[12] = 0;
  check = Calcola_Check(a, 11) == 1;
  if (check) return finish(text, conf, 8, Confidence_ChecSumOK);
  if (Confidence_ChecSumKO < 20) return 0;
  return finish(text, conf, 8, Confidence_ChecSumKO);
}

}  // namespace

int Cerca_Codice_EAN8(const int* w, int count, char* text, char* conf, bool& check, int height) {
  return pvk::symbols::noReading(text, conf, readEAN8(w, count, text, conf, check, height));
}

int Cerca_Codice_EAN13(const int* w, int count, char* text, char* conf, bool& check) {
  return pvk::symbols::noReading(text, conf, readEAN13(w, count, text, conf, check));
}

int Cerca_Codice_UPCA(const int* w, int count, char* text, char* conf, bool& check) {
  return pvk::symbols::noReading(text, conf, readUPCA(w, count, text, conf, check));
}

int Cerca_Codice_UPCE(const int* w, int count, char* text, char* conf, bool& check) {
  return pvk::symbols::noReading(text, conf, readUPCE(w, count, text, conf, check));
}
