// Recognition of one block: size and noise checks, the search of the template store for the
// best and second candidate of different characters, their distances turned into confidences,
// and the verifier of the current font, which may penalise, swap or reject them.
#include <algorithm>
#include <array>
#include <cctype>
#include <cstdint>
#include <cstring>
#include <initializer_list>
#include <utility>

#include "core/records.h"
#include "ocr/ocr.h"

uint32_t minW = 0, maxW = 0, minH = 0, maxH = 0;
uint32_t minHNum = 0, minWNum = 0;
uint32_t aw_full_width_min = 0, aw_3_2 = 0, aw_2_3 = 0, aw_1_2 = 0, aw_1_3 = 0, aw_1_6 = 0;
uint32_t ah_full_height_min = 0, ah_not_full_height_max = 0, ah_1_2 = 0, ah_1_6 = 0, ah_2_3 = 0;
uint8_t Lettera = 0;
uint8_t Numero = 0;
int32_t SogliaOCR_2 = 409;

char I_char = ' ';
char II_char = ' ';
uint16_t I_nn = 0;
uint16_t II_nn = 0;
int32_t I_score = 0;
int32_t II_score = 0;
int32_t I_score_min = 30;
int32_t I_score_delta_low_conf = 10;
uint8_t MicroD_I = 0;
uint8_t MicroD_II = 0;
DBEntry* pCurDB = nullptr;

namespace {

constexpr uint32_t W3 = 0xE1C38387u;  // three-pixel hole columns 0-2, 7-9, 14-16, 22-24, 29-31
constexpr uint32_t kDash = 0xF803E00Fu;

constexpr std::array<uint32_t, 32> rowsHolding(std::initializer_list<int> rows, uint32_t v) {
  std::array<uint32_t, 32> m{};
  for (int r : rows) m[r] = v;
  return m;
}

constexpr std::array<uint32_t, 32> maskI() {
  auto m = rowsHolding({5, 6, 10, 11, 15, 16, 20, 21, 25, 26}, 0x0003E000u);
  for (int r : {0, 1, 30, 31}) m[r] = kDash;
  return m;
}

// Distances above this are never reached by two cells: a raised best distance saturates here.
constexpr int64_t kScoreCeiling = int64_t{1} << 30;

bool nameHolds(const DBEntry* e, const char* word) { return e != nullptr && std::strstr(e->name, word) != nullptr; }

bool microFont() { return IsMICROPERFORATIONFont(MyOcr.currentFont, true); }

char noResult(char c, unsigned char& conf, unsigned char& db) {
  conf = 1;
  db = 0;
  pCurDB = nullptr;
  return c;
}

void resetState() {
  I_score_delta_low_conf = 10;
  I_score_min = 30;
  I_score = II_score = 0;
  I_nn = II_nn = 0;
  BestIndex = -1;
  MicroD_I = MicroD_II = 0;
  I_char = II_char = ' ';
}

using pvk::ocr::Place;

// Block shape and context of one recognition.
struct Shape {
  uint32_t w;
  uint32_t h;
  uint32_t left;
  Place place;
};

bool low(Place p) { return p == Place::Low || p == Place::Bottom; }

// A dot, a comma, a dash, an apostrophe and a star scale to much the same cell: their place in
// the line tells them apart. Nothing but a dot or a comma starts below the line's middle (a dash
// not in its last quarter), and neither of them ends above it. A large comma scales to a slash,
// which rises from the foot of the line to its top.
bool outOfPlace(unsigned char c, Place p) {
  if (p == Place::Bottom && c == '-') return true;
  if (low(p)) return c == '\'' || c == '"' || c == '`' || c == '*' || c == '/';
  if (p == Place::High) return c == '.' || c == ',';
  return false;
}

// The size and set rules under which a template of character c takes no part, its database
// monospace or not.
bool characterExcluded(unsigned char c, const Shape& s, bool mono) {
  if (!IsValid(c) || outOfPlace(c, s.place)) return true;
  // An amount's block under two columns is read only under the lower floor a comma has at low
  // resolution (see the line metrics), and only as a comma.
  if (MyOcr.currentFont == 944 && s.w < 2 && c != ',') return true;
  if (IsFullWidth[c] && s.w < aw_full_width_min) return true;
  if (mono && s.w > aw_3_2) return true;
  if (IsFullHeight[c]) {
    if (s.h < ah_full_height_min) return true;
  } else if (IsNotFullHeight[c] && s.h >= ah_not_full_height_max) {
    return true;
  }
  if (IsNotLow[c] && s.h < ah_1_2) return true;
  if ((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) {
    if (s.h < minHNum && !IsLow[c]) return true;
    if (s.h > minHNum && IsLow[c]) return true;
  }
  return mono && s.w < aw_1_3 && c != '.' && c != ',' && c != '\'';
}

// The rules depend on the block and the character only: worked out once per block for the
// characters of the store rather than once per template.
struct Exclusions {
  bool known[2][256] = {};
  bool excluded[2][256] = {};
  bool of(unsigned char c, const Shape& s, bool mono) {
    if (!known[mono][c]) {
      known[mono][c] = true;
      excluded[mono][c] = characterExcluded(c, s, mono);
    }
    return excluded[mono][c];
  }
};

// What a template's database decides for it: the database switched off, monospace, one of the
// payee databases.
struct Database {
  const DBEntry* e = nullptr;
  bool off = false;
  bool mono = false;
  bool abi = false;
  void take(const DBEntry* db) {
    e = db;
    off = e != nullptr && e->index < kDBMax && ValidDB[e->index] == 0;
    mono = e != nullptr && e->narrow != 0;
    abi = nameHolds(e, "ABIIMP") || nameHolds(e, "ABIBEN");
  }
};

// A mark narrower than a sixth of the line's width is no mark. Where the resolution has lowered
// the width floor under the two columns it is at 300 dpi, an amount's comma may be as narrow as
// the floor: a sixth of a line widened by run-together blocks is over its one column.
uint32_t markWidthFloor(unsigned char c) {
  return c == ',' && MyOcr.currentFont == 944 && minW < 2 ? std::min(aw_1_6, minW) : aw_1_6;
}

// The distance adjusted by context; false when the template drops out.
bool adjustDistance(unsigned j, unsigned char c, const Shape& s, int32_t dW, int32_t& d) {
  if (d > dW) d += 4 * (d - dW);
  if (pesaNumLet && ((Lettera != 0 && IsLettera[c]) || (Numero != 0 && IsNumero[c]))) d = d < 30 ? 0 : d - 30;
  if (c == '.' || c == ',') return !(s.h < ah_1_6 || s.w < markWidthFloor(c));
  if (c == 'I' && nameHolds(pDB[j], "ARIAL")) {
    if (s.w > aw_1_2 || s.h < ah_1_2) return false;
    if (d >= 221 && s.w > 9) return false;
    return d <= 300;
  }
  const int32_t w0 = w_zero_stretto_O_largo;
  const auto w = static_cast<int32_t>(s.w);
  if (w0 != 0) {
    if (c == '0' && w > w0) d = delta_zero_stretto_O_largo * d / (w - w0);
    if (c == 'O' && w < w0) d = delta_zero_stretto_O_largo * d / (w0 - w);
  }
  return true;
}

unsigned char slotChar(uint16_t slot) { return slot != 0 ? data_ascii[slot] : 0; }

void takeSlot(unsigned j, int32_t d) {
  const unsigned char c = data_ascii[j];
  if (d > I_score) {
    if (c != slotChar(I_nn) && d < II_score) {
      II_nn = static_cast<uint16_t>(j);
      II_score = d;
    }
  } else if (c == slotChar(I_nn)) {
    I_nn = static_cast<uint16_t>(j);
    I_score = d;
  } else if (c == slotChar(II_nn)) {
    if (d < II_score) {
      II_nn = static_cast<uint16_t>(j);
      II_score = d;
    }
    VerificaScore(I_score, I_nn, II_score, II_nn);
  } else {
    II_nn = I_nn;
    II_score = I_score;
    I_nn = static_cast<uint16_t>(j);
    I_score = d;
  }
}

// The distance above which a template can change nothing: past SogliaOCR it is dropped, and
// past the second's distance plus the 30 that a digit among digits or a letter among letters
// takes off it cannot become best or second (the adjustments only add otherwise). A template
// of the payee databases raises the best distance whenever it passes SogliaOCR, so it is
// followed that far.
uint32_t mattersBelow(bool abi) {
  const int64_t limit = abi ? SogliaOCR : std::min<int64_t>(SogliaOCR, int64_t{II_score} + 30);
  return limit < 0 ? 0 : limit > 1024 ? 1024 : static_cast<uint32_t>(limit);
}

void searchTemplates(const uint32_t* cell, const Shape& s, int32_t dW) {
  const bool small = s.w <= 3;
  const uint32_t maxTot = static_cast<uint32_t>(SogliaOCRPerHamming) * (small ? 2 : 1);
  const uint32_t maxZone = static_cast<uint32_t>(SogliaOCRPerHamming_1Zone) * (small ? 2 : 1);
  const unsigned end = dfnchars < kStoreCells ? dfnchars : kStoreCells;
  Exclusions x;
  // A database's templates lie together: it is looked at once per run of them, not once per
  // template.
  Database db;
  const pvk::ocr::LimitedDistance dist = pvk::ocr::limitedDistanceVersion();
  for (unsigned j = 1; j < end; ++j) {
    if (pDB[j] != db.e) db.take(pDB[j]);
    const unsigned char c = data_ascii[j];
    if (db.off || x.of(c, s, db.mono)) continue;
    const bool abi = db.abi;
    auto d = static_cast<int32_t>(dist(cell, data_std_bbk[j], maxTot, maxZone, mattersBelow(abi)));
    if (d > SogliaOCR) continue;
    if (!adjustDistance(j, c, s, dW, d)) continue;
    if (abi) {
      const int64_t raised = int64_t{I_score} * 10 / 8;
      I_score = static_cast<int32_t>(raised > kScoreCeiling ? kScoreCeiling : raised);
    }
    takeSlot(j, d);
  }
}

const uint32_t* maskFor(uint16_t slot, uint8_t& microD) {
  if (nameHolds(pDB[slot], "MICROD")) {
    microD = 1;
    return MicroperforationMask_microD.data();
  }
  switch (data_ascii[slot]) {
    case '/': return MicroperforationMask_barra.data();
    case '@': return MicroperforationMask_ET.data();
    case 'I': return MicroperforationMask_I.data();
    default: return MicroperforationMask.data();
  }
}

struct HoleFit {
  int32_t e = 0;  // cell ink on the holes
  int32_t c = 0;  // of which the template has too
};

HoleFit holeFit(const uint32_t* cell, uint16_t slot, uint8_t& microD) {
  const uint32_t* m = maskFor(slot, microD);
  HoleFit f;
  for (int r = 0; r < 32; ++r) {
    f.e += static_cast<int32_t>(black_in_row(cell[r] & m[r]));
    f.c += static_cast<int32_t>(black_in_row(cell[r] & m[r] & data_std_bbk[slot][r]));
  }
  return f;
}

// Confidences of a microperforation font from how the ink falls on the holes; true when the
// best candidate is knocked out (the block then reads as a blank on failure).
bool microperforationScores(const uint32_t* cell) {
  bool out = false;
  const auto kC = static_cast<int32_t>(hamming_dist(cell, black_bbk, 0, 0, false));
  auto whiteMismatch = [&](uint16_t slot) {
    const auto kT = static_cast<int32_t>(hamming_dist(data_std_bbk[slot], black_bbk, 0, 0, false));
    return kC < kT * 6 / 10 || kC > kT * 12 / 10;
  };
  if (whiteMismatch(I_nn)) {
    out = true;
    I_score = 1024;
  }
  if (II_nn != 0 && whiteMismatch(II_nn)) II_score = 1024;

  int32_t B = 0, c = 0, x = 0;
  if (I_score != 1024) {
    B = static_cast<int32_t>(hamming_equal_neri(cell, black_bbk));
    const HoleFit f = holeFit(cell, I_nn, MicroD_I);
    c = f.c;
    x = f.e - f.c;
    if (c <= 9 || x > c / 2) {
      out = true;
      I_score = 1;
    } else {
      I_score = (c - x) * 100 / f.e;
      if (c < B / 3) I_score = I_score * c * 3 / B;
      if (I_score < 1) I_score = 1;
    }
  } else {
    I_score = 1;
  }

  if (II_nn == 0 || II_score == 1024) {
    II_score = 1;
    return out;
  }
  const HoleFit f2 = holeFit(cell, II_nn, MicroD_II);
  const int32_t x2 = f2.e - f2.c;
  const int32_t y = c - x;
  const int32_t y2 = f2.c - x2;
  if (y < y2 && f2.c > x2) {
    I_score = y * I_score / y2;
    if (I_score < 1) I_score = 1;
  }
  if (f2.c > 9) {
    II_score = x2 + y2 * 100 / f2.c;
    if (f2.c < B / 3) II_score = II_score * f2.c * 3 / B;
    if (II_score < 1) II_score = 1;
  } else {
    II_score = 1;
  }
  return out;
}

void exchangeCandidates() {
  std::swap(I_char, II_char);
  std::swap(I_nn, II_nn);
  std::swap(I_score, II_score);
  std::swap(MicroD_I, MicroD_II);
}

bool runVerifier(int minimum, unsigned black, const Shape& s, uint32_t* cell, bool swapped) {
  const short font = MyOcr.currentFont;
  if (font == 202) return VerificaCMC7(black, s.w, s.h, cell);
  if (IsOCRBFont(font)) return VerificaOCRB(swapped, s.w, s.h, cell);
  if (microFont()) return VerificaMicroperforation(s.w, s.h);
  if (font == 944 || font == 945) return VerificaMicroperforationAltri(minimum, s.w, s.h, cell);
  if (font == 1) return VerificaE13B(s.w, s.h, cell);
  return VerificaGenericoFont(cell, s.w, s.h, black);
}

// The verifier loop: false when the block is rejected.
bool verify(unsigned black, const Shape& s, uint32_t* cell) {
  const short font = MyOcr.currentFont;
  const int minimum = microFont() ? 30 : (font == 944 ? 50 : 40);
  bool swapped = false;
  while (true) {
    if (I_score < minimum) return false;
    if (!runVerifier(minimum, black, s, cell, swapped)) return false;
    if (I_score >= II_score) return true;
    if (swapped) {
      exchangeCandidates();
      return true;
    }
    if (II_score <= 10) return true;
    exchangeCandidates();
    swapped = true;
  }
}

// Microperforation blocks that matched no template: a dash or an apostrophe by shape alone.
bool microperforationShape(const Shape& s, const uint32_t* cell, char& out, unsigned char& conf) {
  static constexpr auto kDashCell = rowsHolding(
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28,
       29, 30, 31},
      kDash);
  static constexpr auto kApostropheCell = rowsHolding(
      {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31}, 0xFFFFFFFFu);
  const auto shapeConf = static_cast<unsigned char>((1024 - SogliaOCR) / 11);
  const auto below = [&](const std::array<uint32_t, 32>& model) {
    return static_cast<int32_t>(hamming_dist(cell, model.data(), 0, 0, false)) < SogliaOCR;
  };
  // The shapes' windows are pixels at 300 dpi, scaled to the zone's resolution.
  const auto within = [](unsigned v, int lo, int hi) {
    return v >= static_cast<unsigned>(lo * MyOcr.engineScale) && v <= static_cast<unsigned>(hi * MyOcr.engineScale);
  };
  if (IsValid('-') && within(s.w, 11, 19) && within(s.h, 2, 7) && below(kDashCell)) {
    out = '-';
    conf = shapeConf;
    return true;
  }
  if (IsValid('\'') && within(s.w, 2, 6) && within(s.h, 7, 11) && below(kApostropheCell)) {
    out = '\'';
    conf = shapeConf;
    return true;
  }
  return false;
}

// The margin over the second does not apply to one letter read in both cases.
bool sameLetterOtherCase() {
  return II_score != 0 && I_char != II_char &&
         std::toupper(static_cast<unsigned char>(I_char)) == std::toupper(static_cast<unsigned char>(II_char));
}

// The OCR-B and monospace faces give their l the foot of an L, and a small proportional L
// scales to that l better than to its own template, so that the L may not even come second:
// read l, a block wider than half its height after a capital is the capital, in every font but
// OCR-B's own.
bool footedLAfterACapital(const Shape& s) {
  return I_char == 'l' && 2 * s.w > s.h && Maiuscolo != 0 && IsValid('L') && !IsOCRBFont(MyOcr.currentFont);
}

// One letter read in both cases with confidences close together: the shapes alone do not give
// its case (a monospace l has the foot of an L), the letter before it does.
void caseFromTheLetterBefore(const Shape& s) {
  if (footedLAfterACapital(s)) {
    if (II_char == 'L') {
      std::swap(I_char, II_char);
      std::swap(I_nn, II_nn);
    } else {
      I_char = 'L';
    }
    return;
  }
  if (!sameLetterOtherCase() || I_score >= II_score + I_score_delta_low_conf) return;
  const bool upper = std::isupper(static_cast<unsigned char>(I_char)) != 0;
  if (upper == (Maiuscolo != 0)) return;
  std::swap(I_char, II_char);
  std::swap(I_nn, II_nn);
}

}  // namespace

const std::array<uint32_t, 32> MicroperforationMask =
    rowsHolding({0, 1, 5, 6, 10, 11, 15, 16, 20, 21, 25, 26, 30, 31}, W3);
const std::array<uint32_t, 32> MicroperforationMask_microD =
    rowsHolding({0, 1, 6, 7, 12, 13, 18, 19, 24, 25, 30, 31}, W3);
const std::array<uint32_t, 32> MicroperforationMask_ET = MicroperforationMask_microD;
const std::array<uint32_t, 32> MicroperforationMask_barra =
    rowsHolding({0, 1, 2, 7, 8, 9, 14, 15, 16, 22, 23, 24, 29, 30, 31}, W3);
const std::array<uint32_t, 32> MicroperforationMask_I = maskI();

void VerificaScore(int& firstScore, unsigned short& firstSlot, int& secondScore, unsigned short& secondSlot) {
  if (secondScore >= firstScore) return;
  std::swap(firstScore, secondScore);
  std::swap(firstSlot, secondSlot);
}

char recognize_char(unsigned block, uint32_t* cell, unsigned char& conf, unsigned char& db) {
  resetState();
  if (block >= kBlockSlots || cell == nullptr) return noResult(' ', conf, db);
  const BlockRec& b = tblk[block];
  const Shape s{b.right > b.left ? b.right - b.left : 0, b.bottom > b.top ? b.bottom - b.top : 0, b.left,
                pvk::ocr::placeOf(b.top, b.bottom)};
  const short font = MyOcr.currentFont;
  const bool micro = microFont();

  if (s.h == 0 || s.w < minW || s.h < minH) return noResult(' ', conf, db);
  if (s.w > maxW || s.h > maxH) return noResult(IsCMC7Font(font) ? '?' : 1, conf, db);

  if (!micro) {
    const uint32_t n = PixelNeriBBK(cell);
    const uint32_t clean = PixelNeriBBKNoSalePepe(cell);
    if (clean < 10 || clean < (n >= 20 ? n / 2 : 10)) return noResult(' ', conf, db);
  }

  uint32_t aspect = s.w * 32 / s.h;
  pvk::ocr::attrToWrite(block).aspect = aspect < 4 ? 4 : (aspect > 96 ? 96 : aspect);

  I_score = II_score = 1024;
  I_char = II_char = '?';
  const uint32_t black = PixelNeri(block);
  uint32_t minBlack = micro || IsOCRBFont(font) ? 40 : 100;
  if (!micro && minBlack > s.w * s.h / 6) minBlack = s.w * s.h / 6 > 4 ? s.w * s.h / 6 : 4;
  if (black < minBlack) {
    I_char = II_char = ' ';
    // An amount's comma has far less ink than a digit: only low in the line may so little ink be read.
    if (font == 944 && black < 80 && !low(s.place)) return noResult(' ', conf, db);
  }

  if (aw_2_3 + s.left > last_j2) Lettera = Numero = 0;

  const uint32_t factor = s.w <= 3 ? 3 : 2;
  auto dW = static_cast<int32_t>(hamming_dist(cell, white_bbk, factor * SogliaOCRPerHamming,
                                              factor * SogliaOCRPerHamming_1Zone, true));
  if (font == 202 && dW > 500) dW = 500;

  searchTemplates(cell, s, dW);

  if (I_score > 1023 && (s.h < MyOcr.minCharHeight || s.w < MyOcr.minCharWidth)) I_char = II_char = ' ';
  if (I_nn == 0 && micro) {
    char shape = 0;
    if (microperforationShape(s, cell, shape, conf)) {
      db = 0;
      pCurDB = nullptr;
      return shape;
    }
    if (s.h <= 7 || s.w <= 6) return ' ';
  }
  if (I_nn == 0) return noResult(I_char == ' ' ? ' ' : '?', conf, db);
  I_char = static_cast<char>(data_ascii[I_nn]);
  if (II_nn != 0) II_char = static_cast<char>(data_ascii[II_nn]);
  if (I_score > SogliaOCR_2) return noResult('?', conf, db);

  bool knockedOut = false;
  if (!micro) {
    I_score = 100 - (I_score / 5 < 99 ? I_score / 5 : 99);
    II_score = II_nn != 0 ? 100 - (II_score / 5 < 99 ? II_score / 5 : 99) : 1;
  } else {
    knockedOut = microperforationScores(cell);
  }

  if (!verify(black, s, cell)) return noResult(knockedOut || I_char == ' ' ? ' ' : '?', conf, db);

  caseFromTheLetterBefore(s);
  int32_t v = I_score;
  if (v < I_score_min) return noResult('?', conf, db);
  if (!sameLetterOtherCase()) {
    if (v < II_score + 3) return noResult('?', conf, db);
    if (v < II_score + I_score_delta_low_conf) v /= 2;
  }
  if (v > 100) v = 100;
  conf = static_cast<unsigned char>(v);
  pCurDB = pDB[I_nn];
  db = pCurDB != nullptr ? pCurDB->index : 0;
  return I_char;
}
