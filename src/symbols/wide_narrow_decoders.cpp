// Linear decoders that tell wide from narrow elements: Code 39, Codabar and Interleaved 2 of 5.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "ocr/ocr.h"
#include "symbols/symbols.h"

namespace {

using pvk::symbols::finish;

// One Code 39 character of 9 elements at w: its table row, or -1. The threshold sits midway
// between the narrowest and the widest element, and moves when no row matches.
int decod39(const int* w) {
  int lo = *std::min_element(w, w + 9), hi = *std::max_element(w, w + 9);
  int base = std::max((lo + hi) / 2, 1);
  static const int kNudge[] = {0, 2, 4, 6, 7, -2, -4, -6, -7};
  for (int nudge : kNudge) {
    int t = base + nudge, bits = 0;
    for (int i = 0; i < 9; ++i) bits = bits * 2 + (w[i] > t ? 1 : 0);
    for (int r = 0; r < kCode39Rows; ++r)
      if (kCode39Table[r].pattern == bits) return r;
  }
  return -1;
}

// One Codabar character of 7 elements at w: its table row, or -1.
int decodCODABAR(const int* w) {
  int widestBar = std::max({w[0], w[2], w[4], w[6]}), widestSpace = std::max({w[1], w[3], w[5]});
  int total = 0;
  for (int i = 0; i < 7; ++i) total += w[i];
  for (int attempt = 0; attempt < 2; ++attempt) {
    int barT = attempt ? total / 9 : widestBar * 5 / 8;
    int spaceT = attempt ? total / 7 : widestSpace * 5 / 8;
    int wideBars = 0, narrowestWide = total;
    for (int i = 0; i < 7; i += 2)
      if (w[i] > barT) ++wideBars, narrowestWide = std::min(narrowestWide, w[i]);
    if (wideBars != 1 && wideBars != 3) continue;
    int bits = 0;
    for (int i = 0; i < 7; ++i) {
      bool wide;
      if (i % 2 == 0) {
        wide = w[i] > barT;
      } else if (wideBars == 1) {
        wide = w[i] > spaceT;
      } else {
        // Three wide bars leave every space narrow, but none may be a sliver, and none as wide as
        // a wide bar: that space is wide and one of the bars was taken for wide by spread ink.
        if (w[i] * 8 <= widestSpace * 3 || w[i] >= narrowestWide) return -1;
        wide = false;
      }
      bits = bits * 2 + (wide ? 1 : 0);
    }
    for (int r = 0; r < kCodabarRows; ++r)
      if (kCodabarTable[r].pattern == bits) return r;
    return -1;
  }
  return -1;
}

// The width between the narrow and the wide elements of a run's list: the middle of their two
// means, found from the least and the largest; 0 when the wide ones are not half again as wide
// (no two widths to tell apart).
int wideNarrowSplit(const std::vector<int>& v) {
  if (v.empty()) return 0;
  const auto [least, most] = std::minmax_element(v.begin(), v.end());
  double narrow = *least, wide = *most;
  for (int round = 0; round < 8; ++round) {
    const double t = (narrow + wide) / 2;
    double sum[2] = {}, n[2] = {};
    for (int x : v) sum[x > t] += x, ++n[x > t];
    if (!n[0] || !n[1]) return 0;
    narrow = sum[0] / n[0];
    wide = sum[1] / n[1];
  }
  return 2 * wide >= 3 * narrow ? static_cast<int>((narrow + wide) / 2 + 0.5) : 0;
}

// The widths that part narrow from wide bars and spaces over a whole Codabar run of `count`
// elements (characters and the gaps between them), each its own: spread ink widens every bar
// and narrows every space alike.
struct CodabarSplit {
  int bar = 0, space = 0;
  void measure(const int* w, int count) {
    std::vector<int> bars, spaces;
    for (int i = 0; i + 6 < count; i += 8)
      for (int k = 0; k < 7; ++k) (k % 2 ? spaces : bars).push_back(w[i + k]);
    bar = wideNarrowSplit(bars);
    space = wideNarrowSplit(spaces);
  }
};

// One Codabar character read against the run's splits: its table row, or -1 when an element lies
// within an eighth of its split (too near to tell) or the pattern is no character's.
int decodCODABARInRun(const int* w, const CodabarSplit& split) {
  if (!split.bar || !split.space) return -1;
  int bits = 0;
  for (int i = 0; i < 7; ++i) {
    const int t = i % 2 ? split.space : split.bar;
    if (std::abs(static_cast<long long>(w[i]) - t) * 8 < t) return -1;
    bits = bits * 2 + (w[i] > t ? 1 : 0);
  }
  for (int r = 0; r < kCodabarRows; ++r)
    if (kCodabarTable[r].pattern == bits) return r;
  return -1;
}

// Interleaved 2 of 5: wide/narrow bits (first element most significant) to the digit.
char i25Digit(int bits) {
  static const struct {
    int bits;
    char digit;
  } kDigits[] = {{0x06, '0'}, {0x11, '1'}, {0x09, '2'}, {0x18, '3'}, {0x05, '4'},
                 {0x14, '5'}, {0x0C, '6'}, {0x03, '7'}, {0x12, '8'}, {0x0A, '9'}};
  for (const auto& d : kDigits)
    if (d.bits == bits) return d.digit;
  return '?';
}


int read39(const int* w, int count, char* text, char* conf, bool& check, bool& startFound) {
  check = false;
  startFound = false;
  text[0] = 0;
  if (count < 19 || count % 10 != 9) return 0;
  int chars = (count + 1) / 10;
  int first = decod39(w);
  if (first < 0 || kCode39Table[first].ch != '*') return 0;
  startFound = true;
  int n = 0, sum = 0, lastValue = 0;
  bool stop = false;
  for (int c = 1; c < chars; ++c) {
    int r = decod39(w + 10 * c);
    if (r < 0) return 0;
    if (kCode39Table[r].ch == '*') {
      // The stop may only close the run.
      if (c != chars - 1) return 0;
      stop = true;
      break;
    }
    if (n >= kMaxBarcodeChars) return 0;
    text[n++] = kCode39Table[r].ch;
    sum += lastValue;
    lastValue = kCode39Table[r].value;
  }
  if (n <= 1) return 0;
  // The optional mod-43 check character: the values of all characters but the last.
  check = stop || sum % 43 == lastValue;
  if (n == 2) check = false;
  int c = check ? (n > 6 ? 100 : Confidence_ChecSumOK) : Confidence_ChecSumKO;
  if (!check && Confidence_ChecSumKO < 20) return 0;
  return finish(text, conf, n, c);
}


int readCODABAR(const int* w, int count, char* text, char* conf, bool& check) {
  check = false;
  text[0] = 0;
  if (count < 23 || count % 8 != 7) return 0;
  int n = 0, sum = 0;
  std::vector<int> values;
  // A character whose own widest elements mislead its thresholds (a narrow space near the
  // scanner's resolution, blurred wider) is read against the whole run's.
  CodabarSplit split;
  bool measured = false;
  for (int i = 0; i + 6 < count; i += 8) {
    int r = decodCODABAR(w + i);
    if (r < 0) {
      if (!measured) split.measure(w, count), measured = true;
      r = decodCODABARInRun(w + i, split);
    }
    if (r < 0 || n >= kMaxBarcodeChars) return 0;
    text[n++] = kCodabarTable[r].ch;
    values.push_back(kCodabarTable[r].value);
  }
  // Start and stop are letters A..D, and no letter stands between them.
  for (int i = 0; i < n; ++i) {
    bool letter = values[i] >= 16;
    if (letter != (i == 0 || i == n - 1)) return 0;
  }
  for (int i = 0; i < n; ++i)
    if (i != n - 2) sum += values[i];
  check = (16 - sum % 16) % 16 == values[n - 2];
  if (check) return finish(text, conf, n, n < 11 ? Confidence_ChecSumOK : 100);
  if (Confidence_ChecSumKO < 20) return 0;
  return finish(text, conf, n, Confidence_ChecSumKO);
}


int read25(const int* w, int count, char* text, char* conf, bool& check, int height, int runLength) {
  check = false;
  text[0] = 0;
  if (count < 17 || count % 10 != 7) return 0;
  int s = w[0] + w[1] + w[2] + w[3];
  if (3 * (w[0] + w[1]) > 2 * s || 3 * (w[2] + w[3]) > 2 * s) return 0;
  const int* stop = w + count - 3;
  int ss = stop[0] + stop[1] + stop[2];
  if (5 * stop[0] < 2 * ss || 5 * stop[2] > 2 * ss) return 0;
  int n = 0;
  for (int g = 4; g + 10 <= count - 3; g += 10) {
    calcModstr m{};
    m.count = 5;
    int total = 0;
    for (int k = 0; k < 5; ++k) {
      m.e[k + 1].value = static_cast<uint32_t>(w[g + 2 * k] + w[g + 2 * k + 1]);
      total += w[g + 2 * k] + w[g + 2 * k + 1];
    }
    NormalizzaValore(&m, total, 14);
    int bars = 0, spaces = 0;
    for (int k = 1; k <= 5; ++k) {
      // A pair outside 1..5 modules gets one correction, then fails.
      while (m.e[k].value < 1 || m.e[k].value > 5)
        if (!correggiMod(&m, 0)) return 0;
    }
    for (int k = 1; k <= 5; ++k) {
      int b = w[g + 2 * (k - 1)], sp = w[g + 2 * (k - 1) + 1];
      uint32_t v = m.e[k].value;
      bool wb = v >= 4 || (v == 3 && b >= sp), ws = v >= 4 || (v == 3 && sp > b);
      bars = bars * 2 + wb;
      spaces = spaces * 2 + ws;
    }
    char d1 = i25Digit(bars), d2 = i25Digit(spaces);
    if (d1 == '?' || d2 == '?' || n + 2 > kMaxBarcodeChars) return 0;
    text[n++] = d1;
    text[n++] = d2;
  }
  text[n] = 0;
  check = Calcola_Check(text, n - 1) == 1;
  int c;
  if (check) {
    c = n < 5 ? std::min<int>(Confidence_ChecSumKO, 20) : Confidence_ChecSumOK;
    // A band much lower than one digit is wide reads like a stray pattern.
    if (runLength > 0 && height * n < runLength) {
      c = std::max(20, Confidence_ChecSumOK * height * n / runLength);
      check = false;
    }
  } else {
    if (n < 5) return 0;
    c = Confidence_ChecSumKO;
  }
  return finish(text, conf, n, c);
}

}  // namespace

int Cerca_Codice_39(const int* w, int count, char* text, char* conf, bool& check, bool& startFound) {
  return pvk::symbols::noReading(text, conf, read39(w, count, text, conf, check, startFound));
}

int Cerca_Codice_CODABAR(const int* w, int count, char* text, char* conf, bool& check) {
  return pvk::symbols::noReading(text, conf, readCODABAR(w, count, text, conf, check));
}

int Cerca_Codice_25(const int* w, int count, char* text, char* conf, bool& check, int height, int runLength) {
  return pvk::symbols::noReading(text, conf, read25(w, count, text, conf, check, height, runLength));
}
