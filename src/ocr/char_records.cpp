// The character records of a reading: appending one recognised block to the current line (its
// overlap with the previous entry, the blanks a wide gap stands for, the entries that are too
// small or too close to the edges), removing an entry, and the position-dependent character sets.
#include <algorithm>
#include <cstring>

#include "core/records.h"
#include "core/trace.h"
#include "ocr/ocr.h"

unsigned nCharOcr = 0;
char last_c = 0;
uint8_t Maiuscolo = 1;
int32_t cumulaConf = 0;
uint16_t reject_nchar_cnt = 0;
uint8_t add_blank_horiz = 1;

namespace {

struct Box {
  uint32_t left, right, top, bottom;
};

bool real(char c) { return c != '?' && c != ' ' && c != '\r' && c != '\n'; }

bool within3(uint32_t a, uint32_t b) { return (a > b ? a - b : b - a) <= 3; }

// The line pointers and counters of one call.
struct LineRef {
  char* text;
  char* conf;
  ChInfo* info;
  unsigned& n;
  unsigned& nRead;
  int maxChars;
};

// Drops entry pos of the line and keeps the reading's count in step.
void dropEntry(LineRef& l, unsigned pos) {
  if (l.n == 0) return;
  rimuovi_ocr_char(l.text, l.conf, l.info, pos, l.n);
  if (nCharOcr > 0) --nCharOcr;
}

void lastRightOrZero(const LineRef& l) { last_j2 = l.n > 0 ? l.info[l.n - 1].right : 0; }

uint8_t zeroLetterO() {
  return ValidSet != nullptr && IsValid('0') && (IsValid('O') || IsValid('o')) ? 1 : 0;
}

// Writes the entry at n and counts it when there is room; 1 (with the trace) when the reading is
// full. The entry written past the count is overwritten by the terminator.
int storeEntry(LineRef& l, char c, unsigned char conf, const Box& b, int splitMarker, uint8_t db) {
  l.text[l.n] = c;
  l.conf[l.n] = static_cast<char>(conf);
  ChInfo& e = l.info[l.n];
  e = ChInfo{};
  e.left = static_cast<uint16_t>(b.left);
  e.right = static_cast<uint16_t>(b.right);
  e.top = static_cast<uint16_t>(b.top);
  e.bottom = static_cast<uint16_t>(b.bottom);
  e.split = static_cast<uint32_t>(splitMarker);
  e.dbIndex = db;
  e.zeroLetterO = zeroLetterO();
  const auto uc = static_cast<unsigned char>(c);
  if (real(c)) ++l.nRead;
  if (IsLettera[uc] && IsLettera[static_cast<unsigned char>(last_c)]) {
    Lettera = 1;
    Numero = 0;
  } else if (IsDigit(c) && IsDigit(last_c)) {
    Numero = 1;
    Lettera = 0;
  }
  if (IsMaiuscolo[uc]) Maiuscolo = 1;
  if (IsMinuscolo[uc]) Maiuscolo = 0;
  last_c = c;
  if (static_cast<int>(nCharOcr) + 1 < l.maxChars) {
    ++nCharOcr;
    ++l.n;
    return 0;
  }
  WriteTrace("war - ", "too many ocr chars", false);
  return 1;
}

// Fonts whose set changes with the position in the line: a font-12 form alternates digits and
// letters, the OCR-B line of a typeDoc-2 payment slip has fields of its own.
void positionSets(unsigned n) {
  const short font = MyOcr.currentFont;
  if (font == 12) {
    if (n == 8 || n == 11 || n == 15) ValidSet = AlfaSet.data();
    if (n == 6 || n == 9 || n == 12) ValidSet = NumSet.data();
  } else if (font == 3 && MyOcr.typeDoc == 2) {
    if (n == 11 || n == 65 || n == 68) ValidSet = AlfaNumSet.data();
    if (n == 42) ValidSet = NumSet.data();
    if (n == 67) {
      TmpSet.fill(0);
      TmpSet['E'] = TmpSet['I'] = 1;
      ValidSet = TmpSet.data();
    }
  }
}

// The overlap of a block that starts before the end of the previous entry. 0: go on, 1: the
// new entry is dropped.
int resolveOverlap(LineRef& l, char c, const Box& b) {
  if (l.n == 0) return 1;
  if (l.n == 1) {
    if (l.text[0] != '?') return 1;
    dropEntry(l, 0);
    last_j2 = 0;
    return 0;
  }
  const unsigned p = l.n - 1;
  ChInfo& prev = l.info[p];
  if (b.left > prev.right) {
    last_j2 = prev.right;
    return 0;
  }
  if (l.text[p] == ' ') {
    if (c == ' ') {
      prev.right = static_cast<uint16_t>(std::max<uint32_t>(prev.right, b.left));
      return 1;
    }
    if (b.left < 1 || b.left - 1 <= prev.left) {
      dropEntry(l, p);
    } else {
      prev.right = static_cast<uint16_t>(b.left - 1);
    }
    lastRightOrZero(l);
    return 0;
  }
  if (l.text[p] == '?') {
    dropEntry(l, p);
    lastRightOrZero(l);
    return 0;
  }
  return 1;
}

// Width of one blank: the line's reference width scaled by the database's space factor.
uint32_t blankUnit() {
  if (MyOcr.currentFont == 944) return 35;
  if (pCurDB == nullptr) return aw > 0 ? aw : 1;
  const auto u = static_cast<uint32_t>(aw * pCurDB->spaceFactor);
  return u < 1 ? 1 : u;
}

// The blanks before a block that starts after a gap. 0: go on, 1: the line is full, 2: the new
// entry is dropped.
int gapBlanks(LineRef& l, char c, unsigned char conf, const Box& b) {
  const double k = last_c == 'l' || last_c == '1' ? 0.9 : 1.0;
  double g = (b.left - last_j2) * k / blankUnit();
  const bool splitWide = pCurDB != nullptr && pCurDB->split != 0;
  if (!splitWide && std::strchr("1VWl.()", c) != nullptr) g *= 0.9;
  const auto gaps = static_cast<unsigned>(g);
  if (gaps >= 4 && last_j2 > 1) {
    if (l.nRead == 0 && l.text[l.n - 1] == '?') {
      dropEntry(l, l.n - 1);
      if (l.n > 0 && l.text[l.n - 1] == ' ') dropEntry(l, l.n - 1);
      lastRightOrZero(l);
    } else if (c == '?') {
      return 2;
    }
  }
  if (add_blank_horiz != 0 && gaps >= 1 && l.n > 0 && b.left > last_j2 + 1 && l.text[l.n - 1] != ' ') {
    const ChInfo& prev = l.info[l.n - 1];
    const Box blank{last_j2 + 1, last_j2, (prev.top + b.top) / 2, (prev.bottom + b.bottom) / 2};
    cumulaConf += 100;
    if (storeEntry(l, ' ', 100, blank, 0, 1) != 0) return 1;
  }
  (void)conf;
  return 0;
}

}  // namespace

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

void rimuovi_ocr_char(char* text, char* conf, ChInfo* info, unsigned pos, unsigned& n) {
  // Nothing to remove: an empty line stays as it is (the count must not wrap).
  if (n == 0 || text == nullptr || conf == nullptr || info == nullptr) return;
  for (unsigned i = pos; i + 1 < n; ++i) {
    text[i] = text[i + 1];
    conf[i] = conf[i + 1];
    info[i] = info[i + 1];
  }
  text[n - 1] = 0;
  conf[n - 1] = 0;
  --n;
}

// Where a block starts for the overlap tests: a letter of the kerned payee face that reaches back
// under the previous one by a sixth of the narrower of the two or less (an A under a W, a T over
// an L's foot) starts where the previous one ends; it is no second reading of it.
uint32_t kernedStart(const LineRef& l, char c, const Box& b) {
  if (MyOcr.currentFont != 945 || l.n == 0 || b.left >= last_j2 || !real(c)) return b.left;
  const ChInfo& p = l.info[l.n - 1];
  if (!real(l.text[l.n - 1]) || p.right != last_j2 || b.left <= p.left) return b.left;
  const uint32_t w = b.right - b.left, pw = p.right - p.left;
  return 6 * (last_j2 - b.left) <= (w < pw ? w : pw) ? last_j2 : b.left;
}

int AggiungiCarattereOCR(char c, unsigned char conf, unsigned block, unsigned char flag, char* text, char* confs,
                         ChInfo* info, unsigned& n, unsigned& nRead, int maxChars, unsigned lineIndex,
                         int splitMarker) {
  if (text == nullptr || confs == nullptr || info == nullptr || block >= kBlockSlots) return 1;
  LineRef l{text, confs, info, n, nRead, maxChars};
  const BlockRec& blk = tblk[block];
  const Box b{blk.left, blk.right, blk.top, blk.bottom};
  const uint32_t w = b.right > b.left ? b.right - b.left : 0;
  const uint32_t h = b.bottom > b.top ? b.bottom - b.top : 0;
  const short font = MyOcr.currentFont;
  const bool single = MyOcr.singleChar != 0;
  text[n] = 0;
  confs[n] = 0;

  const uint32_t start = kernedStart(l, c, b);
  if (start < last_j2 && resolveOverlap(l, c, b) != 0) return 0;
  if (TagliaSopraPrimaLinea != 0 && lineIndex == 0 && b.bottom < TopPrimaLineaValida) return 0;

  if (c == 1) c = '?';
  if (c == ' ') {
    if (n == 0) return 0;
    if (text[n - 1] == ' ') {
      info[n - 1].right = static_cast<uint16_t>(b.right);
      last_j2 = b.right;
      return 0;
    }
    if ((font == 936 || font == 939 || font == 942 || font == 945) && last_j2 > 300 && b.left > last_j2 + 200)
      return 1;
  }
  if (n == 0 && ((font == 39 && c == '-') || c == ',' || c == '.')) return 0;

  if (start < last_j2 && !single && n > 0) {
    const auto prevConf = static_cast<unsigned char>(confs[n - 1]);
    if (conf <= prevConf || prevConf == 0) return 0;
    dropEntry(l, n - 1);
    lastRightOrZero(l);
  }

  if (c == '?' && (h < minHNum || w < minWNum || w * h < minPix)) return 0;
  if (c != ' ' && n > 0) {
    const ChInfo& p = info[n - 1];
    if (within3(b.left, p.left) && within3(b.right, p.right) && within3(b.top, p.top) && within3(b.bottom, p.bottom))
      return 0;
  }
  if (!single && (b.left < 5 || b.right + 7 >= width)) {
    if (c == '?') return 0;
    c = '?';
    conf = 1;
  }
  if (b.top <= 2 || b.bottom + 4 >= height) conf = static_cast<unsigned char>(std::max(1, conf / 2));

  if (c == '?') {
    if (h > maxH || b.right < 20 || b.left + 20 >= width) return 0;
    if (reject_nchar != 0 && ++reject_nchar_cnt == reject_nchar) return 1;
  }

  cumulaConf += conf;
  // A line of many weak characters is noise: all of it loses its confidence.
  if (n + 1 > 5 && cumulaConf / static_cast<int32_t>(n + 1) < 10) {
    for (unsigned i = 0; i < n; ++i) confs[i] = 1;
    return 1;
  }

  if (c != ' ' && n > 0 && b.left > last_j2) {
    const int r = gapBlanks(l, c, conf, b);
    if (r == 1) return 1;
    if (r == 2) return 0;
  }
  if (c != ' ') last_j2 = b.right;

  const uint8_t db = pCurDB != nullptr && real(c) ? pCurDB->index : flag;
  if (storeEntry(l, c, conf, b, splitMarker, db) != 0) return 1;
  positionSets(n);
  return 0;
}

bool shift_block_with_line(unsigned block, unsigned k, unsigned m) {
  if (block == 0 || block >= kBlockSlots || imag == nullptr) return false;
  BlockRec& b = tblk[block];
  if (b.bottom <= b.top || b.bottom - b.top < 8 || b.bottom > height || b.right > width) return false;
  const uint64_t limit = static_cast<uint64_t>(k) * m;
  auto rowInk = [&](uint32_t r) {
    uint64_t s = 0;
    for (uint32_t c = b.left; c < b.right; ++c) s += imag[static_cast<size_t>(r) * width + c] != 0;
    return s;
  };
  const uint32_t top = b.top, bottom = b.bottom, mid = top + (bottom - top) / 2;
  uint32_t newTop = top, newBottom = bottom;
  for (uint32_t r = bottom - 1; r >= mid && r > top; --r)
    if (rowInk(r) <= limit) newBottom = r;
  for (uint32_t r = top; r < mid; ++r)
    if (rowInk(r) <= limit) newTop = r + 1;
  if (newBottom <= newTop) return false;
  const bool moved = newTop != top || newBottom != bottom;
  b.top = newTop;
  b.bottom = newBottom;
  return moved;
}
