// Per-font verifiers of a recognition: each checks the best candidate's size against the
// font's character sizes and arbitrates look-alike pairs on the small area of the cell where
// the two differ, lowering a confidence or rejecting the block.
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "core/records.h"
#include "core/trace.h"
#include "ocr/ocr.h"
namespace {

// A sub-area distance of two cells.
using Area = uint32_t (*)(const uint32_t*, const uint32_t*);

enum class Halved { None, Best, Second };
// Half: the one at less than half the other's distance wins; ThreeQuarters: less than 3/4.
enum class Rule { Half, ThreeQuarters };

// The black pixels of the cell in the area.
uint32_t ink(const uint32_t* cell, Area area) { return area(cell, white_bbk); }

// B (the second's distance) well below A (the best's) halves the best's confidence; otherwise A
// well below B halves the second's.
Halved arbitrate(uint32_t A, uint32_t B, Rule rule) {
  const bool quarter = rule == Rule::ThreeQuarters;
  if (quarter ? B < 3 * A / 4 : B < A / 2) {
    I_score >>= 1;
    return Halved::Best;
  }
  if (quarter ? A < 3 * B / 4 : A < B / 2) {
    II_score >>= 1;
    return Halved::Second;
  }
  return Halved::None;
}

Halved compareOn(const uint32_t* cell, Area area, Rule rule) {
  return arbitrate(area(cell, data_std_bbk[I_nn]), area(cell, data_std_bbk[II_nn]), rule);
}

Halved compareOnSum(const uint32_t* cell, Area a1, Area a2, Rule rule) {
  const uint32_t* best = data_std_bbk[I_nn];
  const uint32_t* second = data_std_bbk[II_nn];
  return arbitrate(a1(cell, best) + a2(cell, best), a1(cell, second) + a2(cell, second), rule);
}

bool isPair(char a, char b) { return (I_char == a && II_char == b) || (I_char == b && II_char == a); }

int32_t& scoreOf(char c) { return I_char == c ? I_score : II_score; }

bool fontLimits(unsigned w, unsigned h) {
  return h >= MyOcr.minCharHeight && h <= MyOcr.maxCharHeight && w >= MyOcr.minCharWidth &&
         w <= MyOcr.maxCharWidth;
}

uint32_t scaled(double k) {
  const double v = k * MyOcr.engineScale;
  return v <= 0 ? 0u : static_cast<uint32_t>(v);
}

bool inRange(unsigned v, uint32_t lo, uint32_t hi) { return v >= lo && v <= hi; }

bool dbNameHolds(uint16_t slot, const char* word) {
  const DBEntry* e = pDB[slot];
  return e != nullptr && std::strstr(e->name, word) != nullptr;
}

// The ink of the left and right edge strips of the template differs too much for a round letter.
bool lopsided(const uint32_t* cell, uint16_t slot) {
  const uint32_t L = left_hamming_dist(cell, data_std_bbk[slot]);
  const uint32_t R = right_hamming_dist(cell, data_std_bbk[slot]);
  const uint32_t lo = L < R ? L : R;
  const uint32_t diff = L > R ? L - R : R - L;
  return diff > (lo < 40 ? 20 : lo / 2);
}

// Pixels at 300 dpi, scaled to the zone's resolution as every other size of the engine.
struct E13BSize {
  char c;
  uint32_t wMin, wMax, hMin, hMax;
};

constexpr E13BSize kE13B[] = {
    {'0', 22, 34, 30, 38}, {'1', 12, 21, 30, 38}, {'2', 11, 20, 30, 38}, {'3', 13, 23, 30, 38},
    {'4', 21, 31, 30, 38}, {'=', 21, 31, 30, 38}, {'5', 15, 25, 30, 38}, {'6', 20, 30, 30, 38},
    {'7', 12, 22, 30, 38}, {'8', 24, 33, 30, 38}, {':', 24, 33, 30, 38}, {'9', 18, 28, 30, 38},
    {';', 21, 31, 9, 19},  {'<', 22, 32, 20, 30},
};

// v within the window [lo, hi] given in pixels at 300 dpi, scaled to the zone's resolution.
bool inScaled(unsigned v, double lo, double hi) { return inRange(v, scaled(lo), scaled(hi)); }

// One microperforation candidate against the size window of its class: a template of a
// "MICROD" database, else its character's.
void microWindow(char c, uint8_t microD, int32_t& score, unsigned w, unsigned h) {
  bool fits = c == 'I' || inScaled(w, 20, 33);
  int num = 1, den = 1;
  if (microD != 0) {
    fits = fits && inScaled(h, 25, 35);
    num = 8, den = 10;
  } else if (c == 'I') {
    fits = inScaled(w, 9, 17) && inScaled(h, 30, 44);
  } else if (c == '/' || c == '*') {
    // A star of holes fills five rows, as the slash does, or all seven.
    fits = fits && inScaled(h, 18, c == '*' ? 42 : 28);
  } else if (c == '@') {
    fits = fits && inScaled(h, 27, 35);
  } else {
    fits = fits && inScaled(h, 30, 42);
    if (h < scaled(32) && ValidSet != NumSet.data()) num = 9, den = 10;
  }
  score = fits ? score * num / den : 1;
}

}  // namespace

bool VerificaE13B(unsigned w, unsigned h, uint32_t* cell) {
  const char c = I_char;
  for (const E13BSize& e : kE13B) {
    if (e.c != c) continue;
    if (!inScaled(w, e.wMin, e.wMax) || !inScaled(h, e.hMin, e.hMax)) break;
    if (c == '0') {
      if (I_score < 50) {
        I_score >>= 1;
        II_score >>= 1;
      }
      if (ink(cell, mid_mid_hamming_dist) >= 3) II_score /= 4;
    }
    return true;
  }
  WriteTrace("unexpected E13B char", false);
  return false;
}

bool VerificaMicroperforation(unsigned w, unsigned h) {
  if (I_score < 65) return false;
  if (I_score < 80) {
    I_score >>= 1;
    if (II_score > 1) II_score >>= 1;
  }
  microWindow(I_char, MicroD_I, I_score, w, h);
  microWindow(II_char, MicroD_II, II_score, w, h);
  return I_score >= 30;
}

namespace {

void halveBothAtLeast1() {
  I_score = I_score >> 1 < 1 ? 1 : I_score >> 1;
  II_score = II_score >> 1 < 1 ? 1 : II_score >> 1;
}

void twoThirdsAtLeast1() {
  I_score = I_score * 2 / 3 < 1 ? 1 : I_score * 2 / 3;
  II_score = II_score * 2 / 3 < 1 ? 1 : II_score * 2 / 3;
}

bool isCapitalOrDigit(char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); }

// Characters checked by the font limits alone, after a narrow one loses half its confidence.
bool plainOCRBShape(char c) {
  return std::strchr("02345689ABCDEFGHKMNOQRSVWXYZ", c) != nullptr && c != '\0';
}

// The 'L' read over an 'E': the right-hand areas must not be closer to the 'E'.
bool ocrbLOverE(const uint32_t* cell) {
  for (Area area : {high_right2_hamming_dist, mid_right_hamming_dist}) {
    const uint32_t A = area(cell, data_std_bbk[I_nn]);
    if (A > area(cell, data_std_bbk[II_nn])) return false;
    if (A > 10) I_score -= 10;
  }
  return true;
}

// Size windows of the OCR-B marks at 300 dpi (rows, then columns), scaled by the engine scale:
// each admits the mark set at 8 to 14 points, with a pixel or two of ink spread either way; and
// the least confidence the mark is taken at.
struct OcrbMark {
  char c;
  double h0, h1, w0, w1;
  int32_t minScore;
};

constexpr OcrbMark kOcrbMarks[] = {
    {'#', 24, 48, 15, 31, 0},  {'\'', 7, 24, 2, 12, 50}, {'*', 13, 31, 13, 31, 35}, {'+', 16, 35, 13, 31, 50},
    {',', 11, 25, 11, 25, 50}, {'-', 3, 9, 15, 31, 50},   {'.', 5, 13, 5, 16, 50},   {'<', 17, 39, 13, 31, 0},
    {'>', 17, 39, 13, 31, 0},
};

const OcrbMark* ocrbMark(char c) {
  for (const OcrbMark& m : kOcrbMarks)
    if (m.c == c) return &m;
  return nullptr;
}

bool markFits(const OcrbMark& m, unsigned w, unsigned h) {
  return inRange(h, scaled(m.h0), scaled(m.h1)) && inRange(w, scaled(m.w0), scaled(m.w1));
}

bool ocrbByCharacter(unsigned w, unsigned h, const uint32_t* cell) {
  const char c = I_char;
  const bool narrow = w < minWNum;
  if (const OcrbMark* m = ocrbMark(c)) {
    if (!markFits(*m, w, h)) return false;
    if (c == '#' && I_score <= 49) I_score = 1;
    return I_score >= m->minScore;
  }
  switch (c) {
    case '/': return fontLimits(w, h) && ink(cell, high_left_hamming_dist) <= 10 && I_score >= 50;
    case '1':
      if (!inRange(h, MyOcr.minCharHeight, MyOcr.maxCharHeight) || !inRange(w, scaled(7), scaled(20))) return false;
      if (w < scaled(8)) {
        I_score >>= 1;
        II_score >>= 1;
      } else if (w < scaled(9)) {
        I_score = I_score * 2 / 3;
        II_score = II_score * 2 / 3;
      }
      return true;
    case '7': {
      if (narrow) I_score >>= 1;
      if (!fontLimits(w, h)) return false;
      const uint32_t corner = ink(cell, high_left_hamming_dist);
      if (corner == 0) return false;
      if (corner <= 4) I_score >>= 1;
      return true;
    }
    case 'I': return inRange(h, MyOcr.minCharHeight, MyOcr.maxCharHeight) && inRange(w, scaled(7), scaled(24));
    case 'J':
    case 'U': return fontLimits(w, h) && ink(cell, low_mid_hamming_dist) >= 3;
    case 'L':
      if (II_char == 'E' && !ocrbLOverE(cell)) return false;
      if (narrow) I_score >>= 1;
      return fontLimits(w, h);
    case 'P':
      return II_char != 'R' ||
             low_right_hamming_dist(cell, data_std_bbk[I_nn]) <= low_right_hamming_dist(cell, data_std_bbk[II_nn]);
    case 'T':
      return fontLimits(w, h) && ink(cell, low_left_hamming_dist) <= 5 && ink(cell, low_right_hamming_dist) < 6;
    default:
      if (!plainOCRBShape(c)) return true;
      if (narrow) I_score >>= 1;
      return fontLimits(w, h);
  }
}

}  // namespace

namespace {

void exchangeCandidates() {
  std::swap(I_char, II_char);
  std::swap(I_nn, II_nn);
  std::swap(I_score, II_score);
  std::swap(MicroD_I, MicroD_II);
}

// Marks scale to much the same cell (a dot and a dash are both a solid square): their sizes tell
// them apart. A mark the block cannot be is no rival, and a best mark that does not fit gives way
// to a second one that does.
void ocrbMarksBySize(unsigned w, unsigned h) {
  const OcrbMark* best = ocrbMark(I_char);
  const OcrbMark* second = II_nn != 0 ? ocrbMark(II_char) : nullptr;
  if (second == nullptr) return;
  if (best != nullptr && !markFits(*best, w, h) && markFits(*second, w, h)) exchangeCandidates();
  const OcrbMark* rival = ocrbMark(II_char);
  if (rival != nullptr && !markFits(*rival, w, h)) II_score = 1;
}

}  // namespace

bool VerificaOCRB(bool swapped, unsigned w, unsigned h, uint32_t* cell) {
  if (!swapped) ocrbMarksBySize(w, h);
  if (!swapped && I_char == '0' && II_char == 'O') II_score = II_score * 9 / 10;
  if (!swapped && I_char == 'O' && II_char == '0') {
    I_score = I_score * 9 / 10;
    if (I_score <= II_score) exchangeCandidates();
  }
  if (I_score < 40) {
    halveBothAtLeast1();
  } else if (I_score < 55) {
    twoThirdsAtLeast1();
  }
  if (isCapitalOrDigit(I_char) && h < minHNum) I_score >>= 1;
  return ocrbByCharacter(w, h, cell);
}

namespace {

bool roundLetter(char c) { return c == '0' || c == 'O' || c == 'o'; }

// The pairs a generic font arbitrates when the two candidates are close.
void genericPairs(const uint32_t* cell, unsigned w, unsigned h) {
  if (isPair('.', '-')) {
    // Both scale to a solid cell: a dash is at least twice as wide as it is high, a dot is not.
    scoreOf(w >= 2 * h ? '.' : '-') >>= 1;
  } else if (isPair('0', 'O')) {
    II_score -= 10;
  } else if (isPair('0', 'D') || isPair('O', 'D')) {
    compareOn(cell, left_hamming_dist, Rule::Half);
  } else if (isPair('O', 'Q')) {
    compareOn(cell, low_right_hamming_dist, Rule::ThreeQuarters);
  } else if (isPair('M', 'N')) {
    const uint32_t* best = data_std_bbk[I_nn];
    const uint32_t* second = data_std_bbk[II_nn];
    arbitrate(mid_high_hamming_dist(cell, best) + mid_mid_hamming_dist(cell, best) + low_mid_hamming_dist(cell, best),
              mid_high_hamming_dist(cell, second) + mid_mid_hamming_dist(cell, second) +
                  low_mid_hamming_dist(cell, second),
              Rule::ThreeQuarters);
  } else if (isPair('M', 'V')) {
    const uint32_t feet = ink(cell, low_left_hamming_dist) + ink(cell, low_right_hamming_dist);
    if (feet <= 9) scoreOf('M') >>= 1;
    if (feet >= 16) scoreOf('V') >>= 1;
  } else if (isPair('P', 'R')) {
    compareOn(cell, low_right_hamming_dist, Rule::Half);
  } else if (isPair('P', 'F')) {
    compareOn(cell, high_right_hamming_dist, Rule::ThreeQuarters);
  } else if (isPair('5', 'S')) {
    II_score = II_score <= 10 ? 1 : II_score - 10;
  }
}

}  // namespace

bool VerificaGenericoFont(uint32_t* cell, unsigned w, unsigned h, unsigned black) {
  int32_t& m = I_score_delta_low_conf;
  if (I_score >= 2 && I_score <= 49) {
    I_score /= 3;
    if (II_score > 1) II_score /= 3;
    m /= 2;
  }
  const uint32_t H = MyOcr.charHeight;
  const uint32_t W = MyOcr.charWidth;
  // A dot stands well under half a character's height in every face: a block that tall that
  // scaled to a dot's solid cell is a denser mark filled in (an OCR-A '#' at 8 points, 200 dpi).
  if (I_char == '.' && 2 * h > H) return false;
  // Ink is an area: the floor, made for 300 dpi, shrinks with the square of the engine scale
  // (the nominal height already carries one factor of it), or a 200-dpi dot never has enough.
  const double s = MyOcr.engineScale;
  const auto floorAt300 = static_cast<uint32_t>(std::min(2.0 * H * s, 100.0 * s * s));
  uint32_t minBlack = s > 0 && s < 1 ? floorAt300 : (2 * H < 100 ? 2 * H : 100);
  if (I_char == 'P' && ink(cell, low_right_hamming_dist) > 30) return false;
  if (dbNameHolds(I_nn, "ARIAL")) {
    if (I_char == 'I' || I_char == 'l') {
      if (w > 0.6 * W || h < 0.6 * H || h > 1.4 * H) return false;
      if (minBlack > 40) minBlack = 40;
    }
    if ((I_char == 'O' || I_char == 'U') && w < 0.8 * W) return false;
  }
  if (roundLetter(I_char) && !roundLetter(II_char) && II_score > 1 && lopsided(cell, I_nn)) {
    I_score >>= 1;
    II_score >>= 1;
  }
  // A dot or a comma is a mark of a few pixels: under 12 points it has less ink than twice the
  // character height, the floor made for characters, and was never read. Its floor is a
  // thirty-second of the height squared (a 4 by 4 dot at 200 dpi, 10 points; a speck still goes).
  if (I_char == '.' || I_char == ',') minBlack = std::min(minBlack, H * H / 32);
  if (black < minBlack) return false;
  const int32_t margin = m + 1 < 15 ? m + 1 : 15;
  if (I_score < II_score + margin) {
    if (I_score < 41) return false;
    genericPairs(cell, w, h);
    return true;
  }
  return !(IsMinuscolo[static_cast<unsigned char>(I_char)] && I_score < 60);
}

namespace {

bool blankReject() {
  I_char = II_char = ' ';
  return false;
}

// The CMC7 look-alike pairs, each compared on the areas where its two characters differ.
void cmc7Pairs(const uint32_t* cell) {
  if (isPair('0', '6')) {
    compareOn(cell, mid_mid_hamming_dist, Rule::Half);
    compareOn(cell, high_right_hamming_dist, Rule::Half);
  } else if (isPair('0', '9')) {
    compareOn(cell, mid_mid_hamming_dist, Rule::Half);
    compareOn(cell, low_left_hamming_dist, Rule::Half);
  } else if (isPair('1', '4')) {
    compareOnSum(cell, low_left_hamming_dist, high_right_hamming_dist, Rule::Half);
  } else if (isPair('2', '3') || isPair('2', '7')) {
    compareOnSum(cell, mid_left_hamming_dist, low_right_hamming_dist, Rule::Half);
  } else if (isPair('2', '9')) {
    compareOnSum(cell, mid_left_hamming_dist, mid_right_hamming_dist, Rule::Half);
  } else if (isPair('3', '7') || isPair(':', ';')) {
    compareOn(cell, low_right_hamming_dist, Rule::Half);
  } else if (isPair('5', '6')) {
    compareOn(cell, low_left_hamming_dist, Rule::Half);
  } else if (isPair('5', '9')) {
    compareOn(cell, mid_left_hamming_dist, Rule::Half);
  } else if (isPair('6', '8')) {
    compareOn(cell, high_right_hamming_dist, Rule::Half);
  } else if (isPair('8', '9')) {
    if (compareOn(cell, mid_left_hamming_dist, Rule::Half) == Halved::None)
      compareOn(cell, low_left_hamming_dist, Rule::Half);
  }
}

bool widthFits(unsigned w) { return inRange(w, MyOcr.minCharWidth, MyOcr.maxCharWidth); }

bool cmc7Size(unsigned w, unsigned h, const uint32_t* cell) {
  switch (I_char) {
    case '0':
    case '6': return widthFits(w);
    case '3':
      if (ink(cell, mid_mid_hamming_dist) < 2) I_score = 1;
      return widthFits(w);
    case '5':
      if (II_char == '6' &&
          low_left_hamming_dist(cell, data_std_bbk[I_nn]) > low_left_hamming_dist(cell, data_std_bbk[II_nn]))
        I_score >>= 1;
      return widthFits(w);
    case ':':
    case ';':
    case '=': return inRange(h, scaled(27), scaled(42)) && widthFits(w);
    case '<': return inRange(h, scaled(27), scaled(37)) && widthFits(w);
    case '>': return inRange(h, scaled(32), scaled(42)) && widthFits(w);
    default: return fontLimits(w, h);
  }
}

}  // namespace

bool VerificaCMC7(unsigned black, unsigned w, unsigned h, uint32_t* cell) {
  I_score_delta_low_conf = 10;
  if (I_score < 50) {
    if (black < 210) return blankReject();
    if (I_score < 40) return false;
  }
  if (I_score < II_score + 18) {
    if (black < 200) return blankReject();
    cmc7Pairs(cell);
  }
  return cmc7Size(w, h, cell);
}

namespace {

bool cornerInk(const uint32_t* cell, Area area) { return ink(cell, area) >= 5; }

// No capital or digit of the payee faces but W and M is wider than 6/5 of its height: a block
// that is, is two characters run together (an L kerned under a T).
bool payeeAspect(char c, unsigned w, unsigned h) {
  const bool capitalOrDigit = (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9');
  return !capitalOrDigit || c == 'W' || c == 'M' || 5 * w <= 6 * h;
}

// An amount's star under the size a star is read at alone, set small at a low resolution: its
// thin arms fall out of the binarised block, which keeps the star's upright proportions, no
// wider than tall by a quarter and at least half as wide as tall. It is read only when no other
// character comes near it, by the margin that settles a pair at once; the line then keeps it
// only in the cells an amount's stars fill (line assembly).
bool smallAmountStar(unsigned w, unsigned h) {
  return MyOcr.currentFont == 944 && 2 * w >= h && 4 * w <= 5 * h && I_score >= 50 && II_score + 14 < I_score;
}

bool altriByCharacter(unsigned w, unsigned h, const uint32_t* cell) {
  if (!payeeAspect(I_char, w, h)) return false;
  const uint32_t Hmin = MyOcr.minCharHeight, Hmax = MyOcr.maxCharHeight;
  const uint32_t Wmin = MyOcr.minCharWidth, Wmax = MyOcr.maxCharWidth;
  const bool arial = dbNameHolds(I_nn, "ARIAL");
  // The floors and ceilings are 300-dpi pixels scaled by the engine scale, wide enough for the
  // payee faces set at 8 to 14 points (an 8-point zero stands 23 rows, a 14-point one is 25
  // columns wide).
  switch (I_char) {
    case '*':
      if (pvk::ocr::underStarFloor(w, h)) return smallAmountStar(w, h);
      return inRange(h, scaled(10), Hmax) && inRange(w, scaled(10), Wmax) && h >= 0.8 * w && w >= 0.8 * h &&
             I_score >= 60;
    case ',': return h <= scaled(25) && w <= scaled(20);
    case '0': return inRange(h, scaled(21), Hmax) && inRange(w, Wmin, Wmax);
    case '1':
      // An amount's one, flag included, is at most three fifths as wide as it is tall; the width
      // window alone took a 14-point seven at 200 dpi (17 by 20) for a one. Payee lines keep the
      // window: there a J printed small reads as a one, and without it as a confident 'j'.
      return inRange(h, scaled(14), Hmax) && inRange(w, scaled(7), scaled(27)) &&
             (MyOcr.currentFont != 944 || 5 * w <= 3 * h);
    case '7':
      return ink(cell, high_left_hamming_dist) >= 5 && ink(cell, low_right_hamming_dist) <= 8 && fontLimits(w, h);
    case 'I':
      return inRange(h, Hmin, Hmax) && (inRange(w, scaled(7), scaled(24)) || (arial && w <= scaled(8)));
    case 'N': return ink(cell, high_right_hamming_dist) > 4;
    case 'W': return inRange(h, Hmin, Hmax) && inRange(w, Wmin, scaled(57));  // 55 columns at 14 points
    case 'O':
    case 'U':
      return inRange(h, scaled(21), Hmax) &&
             (arial ? inRange(w, scaled(17), scaled(42)) : inRange(w, Wmin, Wmax));
    case 'X':
      return cornerInk(cell, high_left_hamming_dist) && cornerInk(cell, high_right_hamming_dist) &&
             cornerInk(cell, low_left_hamming_dist) && cornerInk(cell, low_right_hamming_dist) && fontLimits(w, h);
    case 'Z':
      return cornerInk(cell, high_left_hamming_dist) && cornerInk(cell, low_right_hamming_dist) && fontLimits(w, h);
    case 'i':
    case 'l': return inRange(h, Hmin, Hmax) && w <= Wmax;
    default: return fontLimits(w, h);
  }
}

void altriRoundDOverD(const uint32_t* cell, unsigned w, unsigned h) {
  const uint32_t A = left_hamming_dist(cell, data_std_bbk[I_nn]);
  const uint32_t B = left_hamming_dist(cell, data_std_bbk[II_nn]);
  if (compareOn(cell, left_hamming_dist, Rule::Half) != Halved::None || A < B / 2) return;
  const uint16_t d = I_char == 'D' ? I_nn : II_nn;
  if (dbNameHolds(d, "OCRB") && w > 2 * h / 3) scoreOf('D') >>= 1;
}

void altriPairs(const uint32_t* cell, unsigned w, unsigned h) {
  const short font = MyOcr.currentFont;
  const uint32_t twoThirds = 2u * ah / 3;
  if (isPair('O', '0')) {
    scoreOf(font == 944 ? 'O' : '0') >>= 1;
  } else if (isPair('O', 'C')) {
    compareOn(cell, mid_right_hamming_dist, Rule::Half);
  } else if (isPair('0', 'D') || isPair('O', 'D')) {
    altriRoundDOverD(cell, w, h);
  } else if (isPair('O', 'G')) {
    compareOn(cell, low_right_hamming_dist, Rule::Half);
    compareOn(cell, mid_right_hamming_dist, Rule::Half);
  } else if (isPair('O', 'Q') || isPair('E', 'F') || isPair('P', 'R')) {
    compareOn(cell, low_right_hamming_dist, Rule::Half);
  } else if (isPair('C', 'G')) {
    if (ink(cell, mid_mid_hamming_dist) >= 11) scoreOf('C') >>= 1;
  } else if (I_char == 'I' && II_char == 'i') {
    (h >= twoThirds ? II_score : I_score) >>= 1;
  } else if (I_char == 'i' && II_char == 'I') {
    (h <= twoThirds ? II_score : I_score) >>= 1;
  } else if (isPair('l', 'I')) {
    scoreOf('l') >>= 1;
  } else if (I_char == 'I' && II_char == '1') {
    (font == 944 ? I_score : II_score) >>= 1;
  } else if (isPair('I', 'T')) {
    compareOnSum(cell, low_right_hamming_dist, low_left_hamming_dist, Rule::Half);
  } else if (I_char == 'S' && II_char == '8') {
    if (compareOn(cell, low_right_hamming_dist, Rule::Half) == Halved::None)
      compareOn(cell, high_left_hamming_dist, Rule::Half);
  }
}

// A capital J set small reads as a j or a one. No j stands only a capital's height (its dot and
// its tail reach above and below it), and the payee face's one carries a flag at the top left:
// such a block is the J, under 50, for the shapes alone do not settle it.
void payeeSmallJ(unsigned h, const uint32_t* cell) {
  if (MyOcr.currentFont != 945 || (I_char != 'j' && I_char != '1') || !IsValid('J')) return;
  if (10 * h > 11 * ah || ink(cell, high_left_hamming_dist) != 0) return;
  I_char = 'J';
  if (I_score > 49) I_score = 49;
}

}  // namespace

bool VerificaMicroperforationAltri(int /*minimum*/, unsigned w, unsigned h, uint32_t* cell) {
  payeeSmallJ(h, cell);
  if (!roundLetter(I_char) && roundLetter(II_char) && lopsided(cell, II_nn)) II_score >>= 1;
  if (roundLetter(I_char) && !roundLetter(II_char) && II_score >= 2 && lopsided(cell, I_nn)) I_score >>= 1;
  if (!altriByCharacter(w, h, cell)) return false;
  if (II_score + 14 < I_score) return true;
  altriPairs(cell, w, h);
  return true;
}

namespace pvk::ocr {

bool underStarFloor(uint32_t w, uint32_t h) { return h < scaled(10) || w < scaled(10); }

}  // namespace pvk::ocr
