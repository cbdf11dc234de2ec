// The size metrics of one text line: its reference character width and height, the fractions of
// them that the recognizer's shape rules compare with, the plausible block sizes per font, and
// the block attributes that record where each block stands in the line.
#include <algorithm>

#include "core/records.h"
#include "ocr/ocr.h"

uint32_t aw_2 = 0, aw_1_8 = 1, ah_1_3 = 1, ah_num_let = 1, aw_not_full_width_max = 0;
uint32_t ah_max = 0, aw_max = 0, ah_min = 0, aw_min = 0;
uint32_t minPix = 0;

namespace {

uint32_t atLeast1(uint32_t v) { return v < 1 ? 1 : v; }

uint32_t scaled(double k) { return static_cast<uint32_t>(k * MyOcr.engineScale); }

void widthFractions() {
  aw_2 = 2u * aw;
  aw_3_2 = 3u * aw / 2;
  aw_2_3 = 2u * aw <= 2 ? 1 : 2u * aw / 3;
  aw_1_2 = atLeast1(aw / 2u);
  aw_1_3 = atLeast1(aw / 3u);
  aw_1_6 = aw > 5 ? atLeast1(aw / 6u) : 1;
  aw_1_8 = atLeast1(aw / 8u);
}

void heightFractions() {
  ah_1_2 = atLeast1(ah / 2u);
  ah_1_3 = atLeast1(ah / 3u);
  ah_1_6 = ah > 5 ? atLeast1(ah / 6u) : 1;
  ah_2_3 = atLeast1(2u * ah / 3);
  const int nl = hSogliaOCRBNumLet(ah);
  ah_num_let = nl > 0 ? static_cast<uint32_t>(nl) : 1;
}

void sizeLimits(short font) {
  if (IsMICROPERFORATIONFont(font, true)) {
    ah_max = scaled(44);
    aw_max = scaled(26);
    ah_min = scaled(25);
    aw_min = scaled(10);
  } else if (font == 1) {
    ah_max = scaled(75);
    aw_max = scaled(34);
  } else {
    ah_max = 2u * ah;
    aw_max = 2u * aw;
  }
}

// The factor of the lowest block height: punctuation makes low blocks plausible (an amount's
// comma too).
float minHeightFactor() {
  float k = coefMinH;
  if (IsValid('.') || IsValid('-') || IsValid(','))
    k = std::min(k, 0.1f);
  else if (!clearSmall)
    k = std::min(k, 0.3f);
  return k;
}

// Fonts with sizes of their own, applied after the general rules.
void fontOverrides(short font) {
  if (IsOCRBFont(font)) {
    ah_full_height_min = 5u * ah / 7;
    minHNum = std::max<uint32_t>(minHNum, 5u * ah / 7);
    minWNum = std::max<uint32_t>(minWNum, 4u * aw / 7);
  }
  if (font == 944 || font == 945) {
    minHNum = scaled(20);
    minWNum = scaled(10);
  } else if (font == 202) {
    minH = scaled(20);
    maxH = scaled(44);
    minW = minWNum = scaled(23);
    maxW = scaled(40);
    minHNum = scaled(30);
  } else if (font == 1) {
    const float c = ah / 32.0f;
    minH = static_cast<uint32_t>(6 * c);
    maxH = static_cast<uint32_t>(45 * c);
    minW = scaled(8);
    maxW = scaled(36);
    minHNum = static_cast<uint32_t>(25 * c);
    IsLow[';'] = 0;
    IsLow['<'] = 0;
  }
}

}  // namespace

namespace pvk::ocr {

void setLineMetrics() {
  const short font = MyOcr.currentFont;
  const bool fixed = MyOcr.fixedSize != 0;
  const uint32_t H = MyOcr.charHeight;
  const uint32_t W = MyOcr.charWidth;
  if (aw < 1) aw = 1;
  if (ah < 1) ah = 1;
  widthFractions();
  heightFractions();
  sizeLimits(font);

  const uint32_t w = fixed ? W : aw;
  maxW = 4 * w;
  maxH = static_cast<uint32_t>(1.5 * ah);
  minW = Verifica_i_Arial != 0 ? 1 : 2;
  const float k = minHeightFactor();
  minH = static_cast<uint32_t>((fixed ? H : ah) * k);
  minHNum = H / 2;
  if (clearSmall) minHNum = std::max<uint32_t>(minHNum, static_cast<uint32_t>(ah * coefMinH));
  minWNum = aw_1_3;
  // With the fixed-size switch the shape limits come from the nominal size.
  const uint32_t rw = fixed && W > 0 ? W : aw;
  const uint32_t rh = fixed && H > 0 ? H : ah;
  ah_full_height_min = 4 * rh / 7;
  aw_full_width_min = 4 * rw / 7;
  ah_not_full_height_max = 5 * rh / 7;
  aw_not_full_width_max = 5 * rw / 7;
  fontOverrides(font);
  minPix = 2 * minW * minHNum / 3;
  // The width floor is two columns at 300 dpi: at lower resolutions an amount's comma, a quarter
  // of a figure wide, may come out one column wide. Only the floor scales; the least ink of an
  // unread block stays as it was.
  if (font == 944) minW = std::min(minW, std::max<uint32_t>(1, scaled(2)));
}

namespace {
uint32_t placeTop = 0, placeHeight = 0;
}  // namespace

void setLinePlace(uint32_t lineTop, uint32_t lineHeight) {
  placeTop = lineTop;
  placeHeight = lineHeight;
}

// By sixteenths of the line: a block ending above 7/16 stands high, one starting below 9/16 low
// (below 12/16 at the bottom).
Place placeOf(uint32_t top, uint32_t bottom) {
  if (placeHeight == 0 || bottom <= top) return Place::Unknown;
  const auto at = [](uint32_t row) { return row > placeTop ? (row - placeTop) * 16 / placeHeight : 0u; };
  if (at(bottom) < 7) return Place::High;
  if (at(top) >= 12) return Place::Bottom;
  if (at(top) >= 9) return Place::Low;
  return Place::Middle;
}

void lineAttributes(unsigned first, unsigned end, uint32_t lineTop, uint32_t lineHeight) {
  if (end > kBlockSlots) end = kBlockSlots;
  if (lineHeight < 1) lineHeight = 1;
  auto cls = [&](uint32_t row) {
    const uint32_t off = row > lineTop ? row - lineTop : 0;
    return std::min<uint32_t>(off * 32 / lineHeight, 31);
  };
  unsigned topHist[32] = {};
  unsigned bottomHist[32] = {};
  for (unsigned p = first; p < end; ++p) {
    const BlockRec& b = tblk[stblk[p]];
    if (b.top == 0 || b.bottom <= b.top) continue;
    ++topHist[cls(b.top)];
    ++bottomHist[cls(b.bottom - 1)];
  }
  for (unsigned p = first; p < end; ++p) {
    const unsigned s = stblk[p];
    const BlockRec& b = tblk[s];
    if (s >= kBlockSlots || b.top == 0 || b.bottom <= b.top) continue;
    uint8_t* r = attrToWrite(s).rest;
    r[0] = static_cast<uint8_t>(cls(b.top));
    r[1] = static_cast<uint8_t>(cls(b.bottom - 1));
    r[2] = static_cast<uint8_t>(std::min(topHist[r[0]], 255u));
    r[3] = static_cast<uint8_t>(std::min(bottomHist[r[1]], 255u));
  }
}

}  // namespace pvk::ocr
