// What the tests of the OCR engine core share: a one-bit band drawn by hand and installed as
// the engine image, the engine state emptied around each test, cells written row by row, and a
// small template store made from drawn glyph blocks.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "ocr_base_fixture.h"
#include "ocr/ocr.h"

namespace pvk::test {

// A band of w x h pixels (w a multiple of 4), 0 white and 1 black.
struct Band {
  uint16_t w;
  uint16_t h;
  std::vector<uint32_t> px;

  Band(uint16_t width_, uint16_t height_) : w(width_), h(height_), px(static_cast<size_t>(width_) * height_, 0) {}
  uint32_t& at(int r, int c) { return px[static_cast<size_t>(r) * w + c]; }
  // Fills rows top..bottom-1 and columns left..right-1.
  void rect(int top, int left, int bottom, int right, uint32_t v = 1) {
    for (int r = top; r < bottom; ++r)
      for (int c = left; c < right; ++c) at(r, c) = v;
  }
  // Draws rows of text, '#' black, from (top, left).
  void draw(int top, int left, const std::vector<std::string>& rows) {
    for (size_t r = 0; r < rows.size(); ++r)
      for (size_t c = 0; c < rows[r].size(); ++c)
        if (rows[r][c] == '#') at(top + static_cast<int>(r), left + static_cast<int>(c)) = 1;
  }
};

using Cell32 = std::vector<uint32_t>;

inline Cell32 cellOf(std::initializer_list<uint32_t> rows) {
  Cell32 c(rows);
  c.resize(32, 0);
  return c;
}

// Sets the bits of columns from..to (column 0 = bit 31) in rows top..bottom.
inline void fillCell(Cell32& cell, int top, int bottom, int from, int to) {
  for (int r = top; r <= bottom; ++r)
    for (int c = from; c <= to; ++c) cell[r] |= 0x80000000u >> c;
}

inline int popcount(const Cell32& c) {
  int n = 0;
  for (uint32_t row : c) n += __builtin_popcount(row);
  return n;
}

class OcrCoreTest : public OcrBaseTest {
 protected:
  void SetUp() override {
    OcrBaseTest::SetUp();
    resetCore();
  }
  void TearDown() override {
    resetCore();
    OcrBaseTest::TearDown();
  }
  static void resetCore() {
    imag = nullptr;
    width = height = 0;
    lastblock = 0;
    num_of_lines = num_of_cols = 0;
    std::memset(tblk, 0, sizeof tblk);
    std::memset(stblk, 0, sizeof stblk);
    std::memset(tln, 0, sizeof tln);
    aw = ah = 0;
    SogliaBW = 0;
    PrivilegiaBarreVert = 0;
    ValidSet = nullptr;
    SogliaOCR = 409;
    SogliaOCR_2 = 409;
    SogliaOCRPerHamming = 140;
    SogliaOCRPerHamming_1Zone = 70;
    w_zero_stretto_O_largo = delta_zero_stretto_O_largo = 0;
    pesaNumLet = true;
    Lettera = Numero = 0;
    last_j2 = 0;
    pCurDB = nullptr;
    for (CharTable* t : {&IsLow, &IsNotLow, &IsFullHeight, &IsNotFullHeight, &IsFullWidth, &TmpSet}) t->fill(0);
    minW = minH = 1;
    maxW = maxH = 1000;
    minHNum = minWNum = 0;
    aw_full_width_min = aw_3_2 = aw_2_3 = aw_1_2 = aw_1_3 = aw_1_6 = 0;
    ah_full_height_min = ah_not_full_height_max = ah_1_2 = ah_1_6 = ah_2_3 = 0;
    I_score_delta_low_conf = 10;
  }
  // Permissive character sizes of the font; the characters of chars are the valid set.
  static void validChars(const char* chars) {
    TmpSet.fill(0);
    for (const char* c = chars; *c != '\0'; ++c) TmpSet[static_cast<unsigned char>(*c)] = 1;
    ValidSet = TmpSet.data();
    MyOcr.minCharHeight = MyOcr.minCharWidth = 0;
    MyOcr.maxCharHeight = MyOcr.maxCharWidth = 1000;
  }
  // The font and the nominal size of the engine at scale 1.
  static void useFont(short font, uint16_t charH = 32, uint16_t charW = 22) {
    MyOcr.currentFont = font;
    MyOcr.engineScale = 1.0f;
    MyOcr.charHeight = charH;
    MyOcr.charWidth = charW;
  }
  // Installs the band as the engine image and segments it.
  int segment(Band& band) { return ocr_pre_process(band.px.data(), band.w, band.h); }
  // Installs the band without segmenting it and sets one block record by hand.
  void install(Band& band) {
    imag = band.px.data();
    width = band.w;
    height = band.h;
    imagsize = band.w * band.h;
  }
  static void setBlock(unsigned slot, uint32_t top, uint32_t left, uint32_t bottom, uint32_t right) {
    tblk[slot] = BlockRec{top, left, bottom, right, 0, 0, (top + bottom) / 2, (left + right) / 2};
    if (lastblock <= slot) lastblock = slot + 1;
  }
  // Relabels every ink pixel of the box to the slot.
  static void labelBox(unsigned slot) {
    const BlockRec& b = tblk[slot];
    for (uint32_t r = b.top; r < b.bottom; ++r)
      for (uint32_t c = b.left; c < b.right; ++c)
        if (imag[r * width + c] != 0) imag[r * width + c] = slot;
  }
  std::vector<BlockRec> blocks() const {
    std::vector<BlockRec> out;
    for (unsigned s = 1; s < lastblock; ++s)
      if (tblk[s].top != 0) out.push_back(tblk[s]);
    return out;
  }
};

}  // namespace pvk::test
