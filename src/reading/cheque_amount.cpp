// A microperforated amount brought to the form of nine integer digits, ',' and two decimals:
// fillers and stars dropped, the decimal separator found (a comma, a blank before the last two
// digits, or the widest blank by its box), and the digits checked against the DataMatrix amount.
#include <cstring>

#include "reading/reading.h"

namespace {

using pvk::reading::insertAt;
using pvk::reading::removeAt;

constexpr int kAmountLen = 12;  // nine integer digits, ',' and two decimals
constexpr int kSepPos = 9;

inline uint8_t cf(const char* conf, int i) { return static_cast<uint8_t>(conf[i]); }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isFiller(char c) { return c == '?' || c == '*' || c == ' '; }

struct Reading {
  char* text;
  char* conf;
  ChInfo* info;
  int n;
  void remove(int pos) { removeAt(text, conf, info, n, pos); }
  void insert(int pos, char c, uint8_t v) { insertAt(text, conf, info, n, pos, c, v); }
  bool clear() {
    n = 0;
    text[0] = 0;
    conf[0] = 0;
    return false;
  }
  int width(int i) const { return info ? info[i].right - info[i].left : 0; }
};

// Step 1: leading '?' before fillers, and leading stars beyond twelve characters.
void dropLeadingFillers(Reading& r) {
  if (r.n > 6) {
    while (r.n > 6 && r.text[0] == '?' && isFiller(r.text[1]) && isFiller(r.text[2])) r.remove(0);
  }
  if (r.n > kAmountLen) {
    const int lead = r.n - kAmountLen;
    int i = 0;
    while (i < lead && r.text[i] == '*') ++i;
    if (i == lead) {
      for (int k = 0; k < lead; ++k) r.remove(0);
      if (r.n > 0 && r.text[0] == ' ') r.remove(0);
    }
  }
}

// Step 2: the stars that pad the integer part become zeros; a comma among them is unread.
void starsToZeros(Reading& r) {
  if (r.n > 0 && (r.text[r.n - 1] == ' ' || r.text[r.n - 1] == '*')) r.remove(r.n - 1);
  int s = 0;
  for (int i = 0; i < r.n; ++i) {
    if (r.text[i] == ' ' || r.text[i] == '*') {
      if (r.n - i >= 6) s = i;
      break;
    }
  }
  bool zeroed = false;
  for (int i = s; i < r.n; ++i) {
    const char c = r.text[i];
    if (c == '?' || c == ' ') continue;
    if (c == '*') {
      r.text[i] = '0';
      zeroed = true;
    } else if (c == ',' && !zeroed) {
      r.text[i] = '?';
      r.conf[i] = 1;
    } else {
      break;
    }
  }
}

// Step 3 (a)-(c): the position of the decimal separator, -1 when there is none; -2 when the
// text holds two commas.
int findSeparator(Reading& r) {
  const char* comma = std::strchr(r.text, ',');
  if (comma) {
    if (std::strchr(comma + 1, ',')) return -2;
    for (int i = r.n - 1; i >= 0; --i)
      if (r.text[i] == ' ') r.remove(i);
    const int p = static_cast<int>(std::strchr(r.text, ',') - r.text);
    int digitsAfter = 0;
    for (int i = p + 1; i < r.n; ++i) digitsAfter += isDigit(r.text[i]);
    if (digitsAfter <= 2) return p;
    r.remove(p);
  }
  const int n = r.n;
  if (n >= 4 && r.text[n - 3] == ' ' && isDigit(r.text[n - 4]) && isDigit(r.text[n - 2]) && isDigit(r.text[n - 1]))
    return n - 3;
  if (!std::strchr(r.text, ' ')) return -1;
  // Blanks narrower than the widest one near the end are gaps between holes, not the separator.
  int w = 0;
  for (int i = n >= 3 ? n - 3 : 0; i < n; ++i)
    if (r.text[i] == ' ' && r.width(i) > w) w = r.width(i);
  int last = -1;
  for (int i = 0; i < r.n; ++i)
    if (r.text[i] == ' ') last = i;
  for (int i = 0; i < last;) {
    if (r.text[i] == ' ' && r.width(i) < 8 * w / 10) {
      r.remove(i);
      --last;
    } else {
      ++i;
    }
  }
  return last >= 0 && last == r.n - 3 ? last : -1;
}

// Second half of step 3: the text rebuilt as nine integer positions, the separator and two
// decimals, a thousands mark before the last three integer digits dropped when asked. False
// (text emptied) when digits are left over on the left.
bool buildAmount(Reading& r, int p, uint8_t zeroConf, bool dropThousands) {
  if (dropThousands && p >= 4 && (r.text[p - 4] == '.' || r.text[p - 4] == ' ')) {
    r.remove(p - 4);
    --p;
  }
  char t[kAmountLen + 1];
  char c[kAmountLen + 1];
  ChInfo b[kAmountLen]{};
  t[kSepPos] = ',';
  c[kSepPos] = r.conf[p];
  if (r.info) b[kSepPos] = r.info[p];
  for (int k = 0; k < 2; ++k) {
    const int src = p + 1 + k;
    const bool have = src < r.n;
    t[kSepPos + 1 + k] = have ? r.text[src] : '?';
    c[kSepPos + 1 + k] = have ? r.conf[src] : 1;
    if (r.info) b[kSepPos + 1 + k] = r.info[have ? src : p];
  }
  for (int k = 0; k < kSepPos; ++k) {
    const int src = p - kSepPos + k;
    const bool have = src >= 0;
    t[k] = have ? r.text[src] : '0';
    c[k] = have ? r.conf[src] : static_cast<char>(zeroConf);
    if (r.info && have) b[k] = r.info[src];
  }
  for (int i = 0; i < p - kSepPos; ++i)
    if (r.text[i] != ' ' && r.text[i] != '0' && r.text[i] != '?') return r.clear();
  std::memcpy(r.text, t, kAmountLen);
  std::memcpy(r.conf, c, kAmountLen);
  if (r.info) std::memcpy(r.info, b, sizeof b);
  r.n = kAmountLen;
  r.text[r.n] = 0;
  r.conf[r.n] = 0;
  return true;
}

// Step 4: no separator and no reference: the last two characters are the decimals.
bool amountWithoutSeparator(Reading& r) {
  if (r.n > 11) return r.clear();
  for (int i = r.n - 3; i < r.n; ++i)
    if (i >= 0 && (r.text[i] == '?' || r.text[i] == ' ')) return r.clear();
  for (int i = 0; i < r.n; ++i)
    if (r.text[i] == '*') r.text[i] = '0';
  r.insert(r.n - 2, ',', 80);
  return buildAmount(r, r.n - 3, 80, false);
}

// The decimal value of an all-digit text; false when it has another character or more digits
// than 64 bits hold.
bool amountValue(const char* s, uint64_t& v) {
  v = 0;
  if (!*s || std::strlen(s) > 19) return false;
  for (; *s; ++s) {
    if (!isDigit(*s)) return false;
    v = v * 10 + static_cast<uint64_t>(*s - '0');
  }
  return true;
}

// Step 5: no separator but a DataMatrix amount: the digits compared with it decide where the
// separator goes. The separator position, or -1 with the text emptied.
int separatorFromReference(Reading& r, uint64_t ref) {
  for (int i = r.n - 1; i >= 0; --i)
    if (r.text[i] == ' ') r.remove(i);
  uint64_t v = 0;
  const bool equal = amountValue(r.text, v) && v == ref;
  if (!equal) {
    char digits[24];
    int len = 0;
    for (uint64_t x = ref; x; x /= 10) digits[len++] = static_cast<char>('0' + x % 10);
    int differ = 0;
    if (r.n == len)
      for (int i = 0; i < len; ++i) differ += r.text[i] != digits[len - 1 - i];
    if (r.n < 5 || r.n != len || differ > 1) {
      r.clear();
      return -1;
    }
  }
  if (r.n < 2) {
    r.clear();
    return -1;
  }
  r.insert(r.n - 2, ',', equal ? 100 : 80);
  return r.n - 3;
}

// Step 6: the 12 positions against the formatted DataMatrix amount.
bool compareWithReference(Reading& r, const char* ref, uint8_t confValue) {
  int count = 0;
  bool strong = false, nonzero = false, leading = false;
  for (int i = 0; i < kAmountLen; ++i) {
    const char t = r.text[i], f = ref[i];
    if (t != f) {
      if (t != ' ' && cf(r.conf, i) > 20) {
        count += 2;
        strong = true;
      } else if (!strong && !nonzero && (t == ' ' || t == '?') && f == '0') {
        if (!leading) ++count;
        leading = true;
      } else {
        ++count;
      }
    }
    if (f >= '1' && f <= '9') nonzero = true;
  }
  if (count == 0) {
    std::memset(r.conf, 100, kAmountLen);
    return true;
  }
  if (count > 3) return r.clear();
  int fixes = 0;
  for (int i = 0; i < kAmountLen; ++i) {
    if (ref[i] == '?' || ref[i] == ' ') continue;
    if (r.text[i] != ref[i]) {
      r.text[i] = ref[i];
      r.conf[i] = static_cast<char>(confValue);
      ++fixes;
    } else {
      if (cf(r.conf, i) < confValue) ++fixes;
      r.conf[i] = 100;
    }
  }
  return fixes >= count;
}

}  // namespace

bool CorreggiAmount(char* text, char* conf, ChInfo* info, unsigned char confValue) {
  if (!text || !conf || !text[0]) return false;
  Reading r{text, conf, info, static_cast<int>(std::strlen(text))};
  dropLeadingFillers(r);
  starsToZeros(r);
  if (r.n < 4) return r.clear();

  int p = findSeparator(r);
  if (p == -2) return r.clear();
  uint64_t ref = 0;
  const bool haveRef = amountValue(MyITACheck.dmAmount, ref) && ref != 0;
  bool ok;
  if (p < 0 && !haveRef) {
    ok = amountWithoutSeparator(r);
  } else {
    if (p < 0) p = separatorFromReference(r, ref);
    ok = p >= 0 && buildAmount(r, p, 100, true);
    if (ok && std::strlen(MyITACheck.dmAmountFmt) == kAmountLen)
      ok = compareWithReference(r, MyITACheck.dmAmountFmt, confValue);
  }
  for (int i = 0; i < r.n; ++i)
    if (r.text[i] == ' ') {
      r.text[i] = '?';
      r.conf[i] = 1;
    }
  return ok;
}
