// The average character size of a reading and the re-spacing of a line from its character gaps:
// the zone reader and the merging of readings re-space what they assemble, and the average
// size they measure becomes the reference of the following recognition steps.
#include <algorithm>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

bool hasStroke(char c) {  // small letters with an ascender or a descender
  switch (c) {
    case 'b': case 'd': case 'f': case 'g': case 'h': case 'j': case 'k': case 'l': case 'p': case 'q':
    case 't': return true;
    default: return false;
  }
}

int sevenTenths(int h) { return 7 * h <= 9 ? 1 : 7 * h / 10; }

uint16_t toSize(int v) { return static_cast<uint16_t>(std::clamp(v, 0, 0xFFFF)); }

// The mean of sum over c measured characters, or the reference old while the sample is too
// small; with update a larger mean becomes the reference and, when nominal may follow, the
// nominal size too.
uint16_t measuredSize(long sum, int c, int limit, uint16_t old, bool update, uint16_t& reference, bool writeNominal,
                      uint16_t& nominal) {
  if (c <= limit && (old > 3 || c == 0)) return old;
  const uint16_t v = toSize(static_cast<int>(sum / c));
  if (update && std::min<int>(old, 4) < v) {
    reference = v;
    if (writeNominal) nominal = v;
  }
  return v;
}

}  // namespace

void Ricalcola_ah_aw(char* text, char* conf, ChInfo* info, int n, uint16_t& width, uint16_t& height,
                     float& spaceFactor, bool update) {
  spaceFactor = 0;
  if (text == nullptr || conf == nullptr || info == nullptr) return;
  int blanks = 0, others = 0, k = 0, c = 0;
  long wsum = 0, hsum = 0;
  float sfSum = 0;
  for (int i = 0; i < n; ++i) {
    const char ch = text[i];
    if (ch == ' ') { ++blanks; continue; }
    if (isLineBreak(ch)) { ++others; continue; }
    if (conf[i] <= 9) continue;
    sfSum += readingSpaceFactor(info[i].dbIndex);
    ++k;
    const int w = info[i].right - info[i].left;
    const int h = info[i].bottom - info[i].top;
    if (isDigit(ch)) {
      wsum += std::max(1, w);
      hsum += MyOcr.currentFont == 3 ? hOCRB_Num(std::max(2, h)) : std::max(1, h);
    } else if (isCapital(ch)) {
      wsum += w;
      hsum += h;
    } else if (ch >= 'a' && ch <= 'z') {
      hsum += hasStroke(ch) ? std::max(1, h) : sevenTenths(h);
      wsum += sevenTenths(h);
    } else {
      ++others;
      continue;
    }
    ++c;
  }
  const int m = (n - blanks - others) * 6;
  const int limit = m > 109 ? 10 : m > 19 ? m / 10 : 2;

  if (k > 0) {
    spaceFactor = sfSum / static_cast<float>(k);
  } else {
    spaceFactor = 1.0f;
    for (int i = 0; i < n; ++i) {
      if (text[i] == ' ' || text[i] == '?' || isLineBreak(text[i])) continue;
      if (const DBEntry* db = readingDB(info[i].dbIndex)) spaceFactor = db->spaceFactor;
      break;
    }
  }

  // aw and ah may be the outputs themselves: both are read before either is written.
  const uint16_t oldW = aw, oldH = ah;
  width = measuredSize(wsum, c, limit, oldW, update, aw, !MyOcr.fixedSize, MyOcr.charWidth);
  height = measuredSize(hsum, c, limit, oldH, update, ah, !MyOcr.fixedSize && !MyOcr.secondSize, MyOcr.charHeight);
}

namespace {

struct Thresholds {
  int T, T2, Tmax;
};

bool monospaceFont(short font) { return font == 944 || font == 945; }

Thresholds gapThresholds(short font, int W, float spaceFactor) {
  const float s = MyOcr.engineScale;
  const int bySpace = static_cast<int>(W * spaceFactor + 0.49f);
  switch (font) {
    case 35: case 40: case 935: case 936: case 938: case 939: case 941: case 942: {
      const int t = static_cast<int>(24 * s);
      return {t, t, 0};
    }
    case 41: case 937: case 940: case 943: {
      const int t = static_cast<int>(45 * s);
      return {t, t, 0};
    }
    case 39: {
      const int t = static_cast<int>(30 * s);
      return {t, t, 0};
    }
    case 944: return {0, static_cast<int>(35 * s), static_cast<int>(40 * s)};
    case 945: return {0, std::min(bySpace, static_cast<int>(24 * s)), static_cast<int>(30 * s)};
    default: return {bySpace, static_cast<int>(bySpace * 1.3), 0};
  }
}

// Digits other than 1, capitals other than I, and the amount filler take part in the statistics.
bool counted(char c) { return (isDigit(c) && c != '1') || (isCapital(c) && c != 'I') || c == '*'; }

// The normal threshold of fonts 944 and 945 from the gaps of the line; fixedPitch may become true.
int statisticalThreshold(const char* text, const ChInfo* info, int n, int W, int T2, bool& fixedPitch) {
  int mono = 0, c = 0;
  for (int i = 1; i < n; ++i) {
    if (!counted(text[i])) continue;
    const DBEntry* db = readingDB(info[i].dbIndex);
    mono += db != nullptr ? db->narrow : 0;
    ++c;
  }
  if (!fixedPitch) {
    const int need = 2 * c <= 5 ? 2 : std::max(2, 2 * c / 3);
    if (mono > need) fixedPitch = true;
  }

  // A line break restarts the measurement: the first character of the next line has no gap.
  int g = 0, b = 0;
  long gapSum = 0;
  int prevRight = info[0].right;
  bool skipNext = text[0] == ' ' || isLineBreak(text[0]);
  for (int i = 1; i < n; ++i) {
    const char ch = text[i];
    if (ch == ' ') {
      ++b;
      skipNext = true;
      continue;
    }
    if (ch == '\r') continue;
    if (ch == '\n') {
      skipNext = true;
      continue;
    }
    if (counted(ch) && !skipNext) {
      gapSum += info[i].left - prevRight;
      ++g;
    }
    prevRight = info[i].right;
    skipNext = false;
  }
  if (g <= 2 || (g == 3 && b == 1) || (g >= 4 && g / 2 >= b && b >= (g > 9 ? g / 5 : 1) && g <= 4)) return T2;
  const int avg = static_cast<int>(gapSum / (g - 1));
  if (avg == 0) return T2;
  if (fixedPitch) return (std::max(avg, W) + avg / 2 + T2) / 2;
  return (13 * avg / 10 + T2) / 2;
}

// One pass: every blank out, then a blank into every gap above its threshold. The number of
// blanks inserted, or -1 when nothing is left to space.
int spacingPass(char* text, char* conf, ChInfo* info, int& n, int max, bool fixedPitch, int T, int Twide) {
  for (int i = n - 1; i >= 0; --i)
    if (text[i] == ' ') RimuoviCarattere(text, conf, info, i, n);
  if (n <= 1) return -1;
  int inserted = 0;
  for (int i = 1; i < n;) {
    const char cur = text[i], prev = text[i - 1];
    if (cur == ' ' || prev == ' ' || cur == '\r' || prev == '\r') { ++i; continue; }
    if (cur == '\n' || prev == '\n') { i += 2; continue; }
    const int gap = info[i].left - info[i - 1].right;
    const bool narrowPair = cur == 'I' || cur == '1' || prev == 'I' || prev == '1';
    const int threshold = !fixedPitch && narrowPair ? Twide : T;
    if (gap <= threshold) { ++i; continue; }
    if (n > 126) break;
    const int before = n;
    AggiungiCarattere(' ', conf[i], info[i], text, conf, info, i, max, n);
    // A reading full below 127 entries refuses the blank: the entry at i is still the
    // character, so the pass ends rather than rewrite it as a blank.
    if (n == before) break;
    info[i].left = static_cast<uint16_t>(std::min(info[i - 1].right + 1, 0xFFFF));
    info[i].right = columnBefore(info[i + 1].left);
    info[i].agreement = 1;
    ++inserted;
    i += 2;
  }
  return inserted;
}

}  // namespace

void VerificaAggiungiSpazi(char* text, char* conf, ChInfo* info, int& n, int max, short font) {
  if (text == nullptr || conf == nullptr || info == nullptr || n < 2) return;
  float spaceFactor = 0;
  Ricalcola_ah_aw(text, conf, info, n, aw, ah, spaceFactor, true);
  const int W = aw;
  bool fixedPitch = FixSizeFont != 0;
  Thresholds th = gapThresholds(font, W, spaceFactor);
  if (monospaceFont(font)) th.T = statisticalThreshold(text, info, n, W, th.T2, fixedPitch);

  int T = th.T;
  int Twide = std::max(th.T2, T);
  for (;;) {
    const int inserted = spacingPass(text, conf, info, n, max, fixedPitch, T, Twide);
    if (inserted < 0 || n <= 8) break;
    // The walks step by 4 (944, wider) and by 2 (945, narrower), the last step cut short so
    // that T never passes Tmax and never falls to aw / 3.
    if (font == 944) {
      const int q = n > 11 ? n / 4 : 3;
      if (!(inserted > q && T < th.Tmax)) break;
      const int step = std::min(4, th.Tmax - T);
      T += step;
      Twide += step;
    } else if (font == 945) {
      const int step = std::min(2, T - aw / 3 - 1);
      if (!(inserted == 0 && step > 0)) break;
      T -= step;
      Twide = std::max(Twide - step, T);
    } else {
      break;
    }
  }
  if (n >= 0 && n < max) {
    text[n] = '\0';
    conf[n] = 0;
  }
}
