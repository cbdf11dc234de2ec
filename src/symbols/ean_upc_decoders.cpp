// EAN-8, EAN-13, UPC-A and UPC-E: digits of 4 elements read from two distances in modules,
// the left half's sets giving EAN-13's first digit and UPC-E's check digit.
#include <cstdio>
#include <cstring>

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

// Reads `digits` digits of 4 elements from w[index] into text; false when one fails.
bool DecodEanUpc(const int* w, char* text, int digits, int allowedSet, int side, int count, int index,
                 int& setPattern) {
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
    int key = static_cast<int>(m.e[1].value * 10 + m.e[2].value);
    int share = total ? 7 * bars * 10 / total : 0;
    int found = -1;
    for (int r = 0; r < 20 && found < 0; ++r)
      if (kDigits[r].key == key && (allowedSet == kAnySet || allowedSet == kDigits[r].set)) found = r;
    if (found < 0) return false;
    char digit = kDigits[found].digit;
    int set = kDigits[found].set;
    // 1/7 and 2/8 share their distances: the bars' share of the digit tells them apart.
    if (set == 0 && share >= 40 && (digit == '1' || digit == '2')) digit = digit == '1' ? '7' : '8';
    if (set == 1 && share < 31 && (digit == '1' || digit == '2')) digit = digit == '1' ? '7' : '8';
    text[d] = digit;
    if (setPattern != -1) setPattern = setPattern * 2 + set;
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

int readEAN8(const int* w, int count, char* text, char* conf, bool& check, int height) {
  check = false;
  text[0] = 0;
  int g1, g2, g3;
  if (count != 43 || !Testa_CONTR_EAN_UPC(w, 0, 3, g1) || !Testa_CONTR_EAN_UPC(w, 19, 5, g2) ||
      !Testa_CONTR_EAN_UPC(w, 40, 3, g3))
    return 0;
  int none = -1;
  if (!DecodEanUpc(w, text, 4, 0, kLeft, count, 3, none) || !DecodEanUpc(w, text + 4, 4, 1, kRight, count, 24, none))
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
  return count == 59 && Testa_CONTR_EAN_UPC(w, 0, 3, g) && Testa_CONTR_EAN_UPC(w, 27, 5, g) &&
         Testa_CONTR_EAN_UPC(w, 56, 3, g) && DecodEanUpc(w, left, 6, leftSet, kLeft, count, 3, pattern) &&
         DecodEanUpc(w, right, 6, 1, kRight, count, 32, none);
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
  if (count != 33 || !Testa_CONTR_EAN_UPC(w, 0, 3, g) || !Testa_CONTR_EAN_UPC(w, 28, 5, g)) return 0;
  int pattern = 0;
  text[0] = '0';
  if (!DecodEanUpc(w, text + 1, 6, kAnySet, kLeft, count, 3, pattern)) return 0;
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
