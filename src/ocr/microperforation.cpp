// Microperforated cheque fields (number, payee, amount punched as dots): a reading is accepted
// against the expected texts of the cheque check, retried with its unread characters blanked,
// or merged with a second reading of the same field by the boxes of the characters.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

bool numberField(short font) { return font == 935 || font == 938 || font == 941; }
bool payeeField(short font) { return font == 936 || font == 939 || font == 942 || font == 945; }
bool amountField(short font) { return font == 937 || font == 940 || font == 943 || font == 944; }

// The expected cheque number of the cheque check.
const char* expectedNumber() { return MyITACheck.expected1; }

bool known(const char* expected, size_t size) { return strnlen(expected, size) > 0; }

bool equalsText(const char* expected, size_t size, const char* text, int n) {
  const size_t len = strnlen(expected, size);
  return len > 0 && len == static_cast<size_t>(n) && std::memcmp(expected, text, len) == 0;
}

bool allCertain(const char* conf, int n) {
  for (int i = 0; i < n; ++i)
    if (conf[i] <= 99) return false;
  return true;
}

}  // namespace

bool MicorforaturaOK(short font, char* text, char* conf, int n) {
  if (text == nullptr || conf == nullptr || n < 1 || text[0] == '\0' || findInReading(text, n, '?') >= 0)
    return false;
  bool equal = false, ok = false;
  if (numberField(font)) {
    equal = equalsText(expectedNumber(), sizeof MyITACheck.expected1, text, n);
    ok = equal;
  } else if (payeeField(font)) {
    if (known(MyITACheck.expPayee, sizeof MyITACheck.expPayee)) {
      equal = equalsText(MyITACheck.expPayee, sizeof MyITACheck.expPayee, text, n);
      ok = equal;
    } else {
      ok = n >= 3 && allCertain(conf, n);
    }
  } else if (amountField(font)) {
    if (known(MyITACheck.expAmount1, sizeof MyITACheck.expAmount1)) {
      equal = equalsText(MyITACheck.expAmount1, sizeof MyITACheck.expAmount1, text, n) ||
              equalsText(MyITACheck.expAmount2, sizeof MyITACheck.expAmount2, text, n);
      ok = equal;
    } else {
      ok = n >= 3 && allCertain(conf, n);
    }
  }
  if (equal) std::fill(conf, conf + n, static_cast<char>(100));
  return ok;
}

bool VerificaMicroforaturaConPulizia(char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr || conf == nullptr) return false;
  if (MicorforaturaOK(MyOcr.currentFont, text, conf, n)) return true;
  if (n > 63 || findInReading(text, n, '?') < 0) return false;
  OcrReading copy{};
  int m = n;
  std::memcpy(copy.text, text, static_cast<size_t>(n));
  std::memcpy(copy.conf, conf, static_cast<size_t>(n));
  if (info != nullptr) std::memcpy(copy.info, info, static_cast<size_t>(n) * sizeof(ChInfo));
  for (int i = 0; i < m; ++i)
    if (copy.text[i] == '?') copy.text[i] = ' ';
  while (m > 0 && copy.text[0] == ' ') RimuoviCarattere(copy.text, copy.conf, copy.info, 0, m);
  while (m > 0 && copy.text[m - 1] == ' ') RimuoviCarattere(copy.text, copy.conf, copy.info, m - 1, m);
  for (int i = 1; i < m;) {
    if (copy.text[i] == ' ' && copy.text[i - 1] == ' ') {
      copy.info[i - 1].right = copy.info[i].right;
      RimuoviCarattere(copy.text, copy.conf, copy.info, i, m);
    } else {
      ++i;
    }
  }
  if (!MicorforaturaOK(MyOcr.currentFont, copy.text, copy.conf, m)) return false;
  std::memcpy(text, copy.text, static_cast<size_t>(m));
  std::memcpy(conf, copy.conf, static_cast<size_t>(m));
  if (info != nullptr) std::memcpy(info, copy.info, static_cast<size_t>(m) * sizeof(ChInfo));
  text[m] = '\0';
  conf[m] = 0;
  n = m;
  return true;
}

namespace {

// The two readings being merged, and the insertions reading 1 may still take.
struct MicroMerge {
  char *t1, *c1;
  ChInfo* i1;
  int& n1;
  const char *t2, *c2;
  const ChInfo* i2;
  int n2;
  int tol;
  bool insert, keepOwn;
  int budget;
  int limit;  // insertion limit of reading 1

  int diff(uint16_t a, uint16_t b) const { return std::abs(a - b); }
  bool fits(int i, int j) const {
    return diff(i1[i].left, i2[j].left) < tol && diff(i1[i].right, i2[j].right) < tol;
  }
  // Inserts character j of reading 2 at i of reading 1; false when it may not.
  bool take(int i, int j) {
    if (!insert || budget <= 0) return false;
    const int before = n1;
    AggiungiCarattere(t2[j], c2[j], i2[j], t1, c1, i1, i, limit, n1);
    if (n1 == before) return false;
    --budget;
    return true;
  }
  void settleMatch(int i, int j) {
    if (t1[i] == t2[j]) {
      c1[i] = 100;
    } else if (t1[i] != '?') {
      if (t2[j] == '?' || keepOwn) return;
      if (c1[i] + (insert ? 10 : 0) <= c2[j]) {
        t1[i] = '?';
        c1[i] = 1;
      } else {
        c1[i] = static_cast<char>(std::max(30, c1[i] - c2[j]));
      }
    } else if (c2[j] >= 46) {
      const int half = c2[j] / 2;
      t1[i] = half < 20 ? '?' : t2[j];
      c1[i] = static_cast<char>(half < 20 ? 1 : half);
    }
  }
};

void removeBlanks(char* text, char* conf, ChInfo* info, int& n) {
  for (int i = n - 1; i >= 0; --i)
    if (text[i] == ' ') RimuoviCarattere(text, conf, info, i, n);
}

}  // namespace

void ConfrontaMicroforatura(char* t1, char* c1, ChInfo* i1, int& count1, char* t2, char* c2, ChInfo* i2,
                            int& count2, int tol, bool insert, short font, short max, bool keepOwn) {
  if (t1 == nullptr || c1 == nullptr || i1 == nullptr || t2 == nullptr || c2 == nullptr || i2 == nullptr) return;
  if (count1 < 0 || count2 < 0) return;
  const bool number = font == 35 || numberField(font);
  const int budget = !number ? 4 : equalsText(expectedNumber(), sizeof MyITACheck.expected1, t2, count2) ? 3 : 2;
  removeBlanks(t1, c1, i1, count1);
  removeBlanks(t2, c2, i2, count2);
  const int limit = std::min({count1 + 10, static_cast<int>(max), kOcrChars});
  MicroMerge x{t1, c1, i1, count1, t2, c2, i2, count2, tol, insert, keepOwn, budget, limit};

  constexpr int kFar = 1000;
  int i = 0, j = 0;
  while (i < count1 && j < count2) {
    if (t1[i] == '?') c1[i] = 1;
    if (i >= kOcrUsableChars) { ++i; continue; }
    if (j >= kOcrUsableChars) { ++j; continue; }
    const int dl = x.diff(i1[i].left, i2[j].left), dr = x.diff(i1[i].right, i2[j].right);
    const int dlNext2 = j + 1 < count2 ? x.diff(i1[i].left, i2[j + 1].left) : kFar;
    const int drNext2 = j + 1 < count2 ? x.diff(i1[i].right, i2[j + 1].right) : kFar;
    const int dlNext1 = i + 1 < count1 ? x.diff(i1[i + 1].left, i2[j].left) : kFar;
    const int drNext1 = i + 1 < count1 ? x.diff(i1[i + 1].right, i2[j].right) : kFar;
    const bool next2Better = dlNext2 < dl && drNext2 < dr;
    const bool next1Better = dlNext1 < dl && drNext1 < dr;
    if (dl < tol && dr < tol && !next2Better && !next1Better) {
      x.settleMatch(i, j);
      ++i;
      ++j;
    } else if (dlNext2 < tol && drNext2 < tol) {  // reading 2 holds an extra character
      if (x.take(i, j)) ++i;
      ++j;
    } else if (!(dlNext1 < tol && drNext1 < tol)) {
      if (i1[i].left > i2[j].right) {
        if (x.take(i, j)) ++i;
        ++j;
      } else if (i2[j].left <= i1[i].right && t1[i] != '?') {
        if (t2[j] != '?') ++i;
        ++j;
      } else {
        ++i;
      }
    } else {
      ++i;
    }
  }
  for (; j < count2; ++j) {
    if (count1 > 0 && i2[j].left <= i1[count1 - 1].right) continue;
    x.take(count1, j);
  }
  VerificaAggiungiSpazi(t1, c1, i1, count1, std::min(static_cast<int>(max), kOcrChars), font);
}
