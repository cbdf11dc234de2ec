// Linear decoders that read edge-to-similar-edge distances in whole modules, which ink spread
// does not change: Code 128 and Code 93.
#include <algorithm>
#include <cstdlib>

#include "ocr/ocr.h"
#include "symbols/symbols.h"

namespace {

using pvk::symbols::finish;

constexpr int kStartExpected = -2;
constexpr int kStopExpected = -1;
constexpr int kFailed = 255;

// The four distances of the 6 elements at w as module counts of a symbol `modules` wide.
// `expected` (0: none) is the width a symbol should have in this run: a symbol off by more
// than half a module is measured against the mean of the two.
calcModstr distances(const int* w, int modules, int expected) {
  calcModstr m{};
  m.count = 4;
  int total = 0;
  for (int k = 0; k < 6; ++k) total += w[k];
  for (int k = 0; k < 4; ++k) m.e[k + 1].value = static_cast<uint32_t>(w[k] + w[k + 1]);
  calcModstr keep = m;
  NormalizzaValore(&m, total, modules);
  if (expected > 0 && std::abs(total - expected) * 2 * modules > expected) {
    m = keep;
    NormalizzaValore(&m, total + expected, 2 * modules);
  }
  return m;
}

bool inRange(const calcModstr& m, uint32_t lo, uint32_t hi) {
  for (int k = 1; k <= 4; ++k)
    if (m.e[k].value < lo || m.e[k].value > hi) return false;
  return true;
}

// The value of the Code 128 symbol at w in the given mode, or kFailed; corrections counts the
// module corrections it needed (at most two).
int Decod128Value(const int* w, int mode, int expected, int& corrections) {
  corrections = 0;
  calcModstr m = distances(w, 11, expected);
  while (!inRange(m, 2, 7)) {
    if (corrections >= 2 || !correggiMod(&m, 0)) return kFailed;
    ++corrections;
  }
  int lo = mode == kStartExpected ? 103 : mode == kStopExpected ? 106 : 0;
  int hi = mode == kStartExpected ? 105 : 106;
  for (;;) {
    int key = static_cast<int>(m.e[1].value * 512 + m.e[2].value * 64 + m.e[3].value * 8 + m.e[4].value);
    for (int v = lo; v <= hi; ++v)
      if (Tab128[v].key == key) return v;
    if (corrections >= 2 || !correggiMod(&m, 0) || !inRange(m, 2, 7)) return kFailed;
    ++corrections;
  }
}

// The code set and the pending switches of a Code 128 symbol run.
struct Set128 {
  char set = 'B';
  bool shift = false;       // the next data symbol is read in the other of A and B
  bool fnc4 = false;        // the next character is raised by 128
  bool latched = false;     // two FNC4 in a row: every character is raised until the next pair
  bool lastWasFnc4 = false;
};

// Applies one data symbol: outputs its characters into text (n grows) or switches the set.
void apply128(Set128& s, int v, char* text, int& n) {
  char set = s.set;
  if (s.shift && set != 'C') set = set == 'A' ? 'B' : 'A';
  bool wasFnc4 = s.lastWasFnc4;
  s.lastWasFnc4 = false;
  s.shift = false;
  auto put = [&](int c) {
    bool raise = s.latched != s.fnc4;
    s.fnc4 = false;
    if (raise) c = (c == 0xEC ? 0 : c) + 128;
    if (n < kMaxBarcodeChars) text[n++] = static_cast<char>(c);
  };
  if (set == 'C') {
    // FNC4 raises characters of sets A and B only: digit pairs are never raised.
    if (v < 100 && n + 1 < kMaxBarcodeChars) {
      text[n++] = static_cast<char>('0' + v / 10);
      text[n++] = static_cast<char>('0' + v % 10);
    } else if (v == 100) {
      s.set = 'B';
    } else if (v == 101) {
      s.set = 'A';
    }
    return;
  }
  if (v < 96) {
    put(set == 'A' ? Tab128[v].setA : Tab128[v].setB);
    return;
  }
  int fnc4 = set == 'A' ? 101 : 100;
  if (v == fnc4) {
    // A second FNC4 in a row latches (or releases) the raised characters.
    if (wasFnc4) {
      s.latched = !s.latched;
      s.fnc4 = false;
    } else {
      s.fnc4 = true;
      s.lastWasFnc4 = true;
    }
  } else if (v == 98) {
    s.shift = true;
  } else if (v == 99) {
    s.set = 'C';
  } else if (v == (set == 'A' ? 100 : 101)) {
    s.set = set == 'A' ? 'B' : 'A';
  }
}

// The Code 93 table row of the symbol at w, or -1.
int Decod93(const int* w) {
  calcModstr m = distances(w, 9, 0);
  if (!inRange(m, 2, 5) && (!correggiMod(&m, 0) || !inRange(m, 2, 5))) return -1;
  int key = 0;
  for (int k = 1; k <= 4; ++k) key = key * 4 + static_cast<int>(m.e[k].value) - 2;
  for (int r = 0; r < kCode93Rows; ++r)
    if (kCode93Table[r].key == key) return r;
  return -1;
}

// Code 93 full ASCII: ( ) [ ] before a letter stand for ($) (%) (/) (+).
int expand93(const char* in, int n, char* out) {
  static const signed char kPercent[26] = {27, 28, 29, 30, 31, 59, 60, 61, 62, 63, 91, 92, 93,
                                           94, 95, 123, 124, 125, 126, 127, 0, 64, 96, 127, 127, 127};
  int k = 0;
  for (int i = 0; i < n; ++i) {
    char c = in[i];
    bool letter = i + 1 < n && in[i + 1] >= 'A' && in[i + 1] <= 'Z';
    if (letter && (c == '(' || c == '[' || c == ']' || c == ')')) {
      char l = in[++i];
      out[k++] = static_cast<char>(c == '(' ? l - 64 : c == '[' ? l - 32 : c == ']' ? l + 32 : kPercent[l - 'A']);
    } else {
      out[k++] = c;
    }
  }
  return k;
}


int read128(const int* w, int count, char* text, char* conf, bool& check) {
  check = false;
  text[0] = 0;
  if (count < 25 || count % 6 != 1) return 0;
  int total = 0;
  for (int i = 0; i < count - 1; ++i) total += w[i];
  int expected = 6 * total / (count - 1);
  int corr = 0;
  int startV = Decod128Value(w, kStartExpected, expected, corr);
  if (startV == kFailed) return 0;
  if (Decod128Value(w + count - 7, kStopExpected, expected, corr) != 106) return 0;
  Set128 s;
  s.set = static_cast<char>('A' + (startV - 103));
  int n = 0, sum = startV, pos = 1;
  int checkAt = count - 13;
  for (int i = 6; i < checkAt; i += 6, ++pos) {
    int v = Decod128Value(w + i, 0, expected, corr);
    if (v == kFailed || v > 102) return 0;
    sum += pos * v;
    apply128(s, v, text, n);
  }
  int checkV = Decod128Value(w + checkAt, 0, expected, corr);
  if (checkV == kFailed || corr > 0 || checkV != sum % 103) return 0;
  if (n == 0) return 0;
  check = true;
  return finish(text, conf, n, n < 11 ? Confidence_ChecSumOK : 100);
}


int read93(const int* w, int count, char* text, char* conf, bool& check) {
  check = false;
  text[0] = 0;
  if (count < 31 || count % 6 != 1) return 0;
  int symbols = (count - 1) / 6;
  int rows[kMaxBarre / 6 + 1];
  for (int k = 0; k < symbols; ++k)
    if ((rows[k] = Decod93(w + 6 * k)) < 0) return 0;
  if (kCode93Table[rows[0]].ch != '!' || kCode93Table[rows[symbols - 1]].ch != '!') return 0;
  int data = symbols - 4;  // start, C, K and stop aside
  char raw[kMaxBarre / 6 + 1];
  for (int k = 0; k < data; ++k) {
    if (kCode93Table[rows[k + 1]].ch == '!') return 0;
    raw[k] = static_cast<char>(kCode93Table[rows[k + 1]].ch);
  }
  auto weighted = [&](int n, int cycle) {
    int s = 0;
    for (int k = 0; k < n; ++k) s += ((n - 1 - k) % cycle + 1) * kCode93Table[rows[k + 1]].value;
    return s % 47;
  };
  if (weighted(data, 20) != kCode93Table[rows[data + 1]].value) return 0;
  check = weighted(data + 1, 15) == kCode93Table[rows[data + 2]].value;
  int n = std::min(expand93(raw, data, text), kMaxBarcodeChars);
  if (n == 0) return 0;
  return finish(text, conf, n, n > 10 ? 100 : Confidence_ChecSumOK);
}

}  // namespace

int Cerca_Codice_128(const int* w, int count, char* text, char* conf, bool& check) {
  return pvk::symbols::noReading(text, conf, read128(w, count, text, conf, check));
}

int Cerca_Codice_93(const int* w, int count, char* text, char* conf, bool& check) {
  return pvk::symbols::noReading(text, conf, read93(w, count, text, conf, check));
}
