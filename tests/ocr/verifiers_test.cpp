// The per-font verifiers: each pair rule on two templates that differ only in the area the rule
// names (moving the ink from one template's area to the other's moves the loser), and the size
// windows and edge cases of each font.
#include <functional>
#include <tuple>
#include <utility>

#include "ocr_core_fixture.h"

namespace pvk::test {
namespace {

struct Rect {
  int r0, r1, c0, c1;
};

// Some neutral ink in the middle of every cell, so that ink rules see a character.
Cell32 baseCell() {
  Cell32 c(32, 0);
  fillCell(c, 13, 19, 12, 18);
  return c;
}

Cell32 withInk(const Rect& r) {
  Cell32 c = baseCell();
  fillCell(c, r.r0, r.r1, r.c0, r.c1);
  return c;
}

using Verifier = std::function<bool(uint32_t*)>;

struct PairCase {
  const char* name;
  short font;
  char best, second;
  Rect area;              // inside the first area the rule compares
  Rect also{0, -1, 0, 0};  // more ink of the best template (none when empty)
};

class Verifiers : public OcrCoreTest {
 protected:
  void SetUp() override {
    OcrCoreTest::SetUp();
    validChars("");
  }
  // Best in slot 1, second in slot 2.
  static void candidates(char best, int bestScore, const Cell32& bestCell, char second, int secondScore,
                         const Cell32& secondCell) {
    data_ascii[1] = static_cast<unsigned char>(best);
    data_ascii[2] = static_cast<unsigned char>(second);
    std::copy(bestCell.begin(), bestCell.end(), data_std_bbk[1]);
    std::copy(secondCell.begin(), secondCell.end(), data_std_bbk[2]);
    pDB[1] = pDB[2] = nullptr;
    I_char = best;
    II_char = second;
    I_nn = 1;
    II_nn = 2;
    I_score = bestScore;
    II_score = secondScore;
    MicroD_I = MicroD_II = 0;
  }
  // With the cell on the best template the second loses; on the second's template the best loses.
  void expectPairRule(const PairCase& c, int bestScore, int secondScore, const Verifier& verify) {
    Cell32 inked = withInk(c.area);
    if (c.also.r1 >= c.also.r0) fillCell(inked, c.also.r0, c.also.r1, c.also.c0, c.also.c1);
    const Cell32 plain = baseCell();
    for (bool onBest : {true, false}) {
      SCOPED_TRACE(testing::Message() << c.name << (onBest ? " on best" : " on second"));
      useFont(c.font, 40, 30);
      validChars("");
      candidates(c.best, bestScore, inked, c.second, secondScore, plain);
      Cell32 cell = onBest ? inked : plain;
      EXPECT_TRUE(verify(cell.data()));
      if (onBest) {
        EXPECT_EQ(I_score, bestScore);
        EXPECT_LT(II_score, secondScore);
      } else {
        EXPECT_LT(I_score, bestScore);
        EXPECT_EQ(II_score, secondScore);
      }
    }
  }
};

// Areas kept off the edge strips (columns 0-5 and 26-31) unless the rule names a strip, so that
// the round-letter edge test stays out of the way.
constexpr Rect kHighRight{2, 8, 22, 25}, kMidLeft{13, 19, 6, 9}, kMidMid{11, 12, 10, 20}, kMidRight{13, 19, 22, 25},
    kLowLeft{24, 29, 6, 9}, kLowRight{24, 28, 22, 25}, kLeft{2, 29, 1, 4}, kRight{2, 29, 27, 30},
    kMidHigh{2, 8, 12, 18}, kHighLeft{2, 8, 1, 4};

TEST_F(Verifiers, GenericFontPairs) {
  const PairCase cases[] = {
      {"0/D", 9, '0', 'D', kLeft, kRight},  {"O/Q", 9, 'O', 'Q', kLowRight}, {"M/N", 9, 'M', 'N', kMidHigh},
      {"P/R", 9, 'P', 'R', kLowRight},    {"P/F", 9, 'P', 'F', kHighRight},
  };
  for (const PairCase& c : cases)
    expectPairRule(c, 60, 55, [](uint32_t* cell) { return VerificaGenericoFont(cell, 20, 35, 1000); });
}

TEST_F(Verifiers, CMC7Pairs) {
  const PairCase cases[] = {
      {"0/6", 202, '0', '6', kMidMid},   {"0/9", 202, '0', '9', kMidMid},   {"1/4", 202, '1', '4', kLowLeft},
      {"2/3", 202, '2', '3', kMidLeft},  {"2/7", 202, '2', '7', kLowRight}, {"2/9", 202, '2', '9', kMidRight},
      {"3/7", 202, '3', '7', kLowRight}, {":/;", 202, ':', ';', kLowRight}, {"5/6", 202, '5', '6', kLowLeft},
      {"5/9", 202, '5', '9', kMidLeft},  {"6/8", 202, '6', '8', kHighRight}, {"8/9", 202, '8', '9', kMidLeft},
      {"8/9 low", 202, '8', '9', kLowLeft},
  };
  for (const PairCase& c : cases)
    expectPairRule(c, 60, 50, [](uint32_t* cell) { return VerificaCMC7(1000, 30, 35, cell); });
}

TEST_F(Verifiers, PayeeFontPairs) {
  const PairCase cases[] = {
      {"O/C", 944, 'O', 'C', kMidRight}, {"O/G", 944, 'O', 'G', kLowRight}, {"O/G mid", 944, 'O', 'G', kMidRight},
      {"O/Q", 944, 'O', 'Q', kLowRight}, {"E/F", 944, 'E', 'F', kLowRight}, {"P/R", 944, 'P', 'R', kLowRight},
      {"I/T", 944, 'I', 'T', kLowLeft},  {"S/8", 944, 'S', '8', kLowRight}, {"S/8 high", 944, 'S', '8', kHighLeft},
      {"0/D", 944, '0', 'D', kLeft, kRight},
  };
  for (const PairCase& c : cases)
    expectPairRule(c, 60, 50, [](uint32_t* cell) { return VerificaMicroperforationAltri(50, 20, 35, cell); });
}

TEST_F(Verifiers, PairRulesWithoutAreas) {
  struct Case {
    const char* name;
    short font;
    char best, second;
    unsigned h;
    int bestAfter, secondAfter;
  };
  const Case cases[] = {
      {"generic 0/O", 9, '0', 'O', 35, 60, 45},   {"generic 5/S", 9, '5', 'S', 35, 60, 45},
      {"944 O/0", 944, 'O', '0', 35, 30, 55},     {"945 O/0", 945, 'O', '0', 35, 60, 27},
      {"944 I/i tall", 944, 'I', 'i', 35, 60, 27}, {"944 I/i short", 944, 'I', 'i', 20, 30, 55},
      {"944 l/I", 944, 'I', 'l', 35, 60, 27},      {"944 I/1", 944, 'I', '1', 35, 30, 55},
      {"945 I/1", 945, 'I', '1', 35, 60, 27},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    useFont(c.font, 40, 30);
    validChars("");
    ah = 40;
    const Cell32 cell = baseCell();
    candidates(c.best, 60, cell, c.second, 55, cell);
    Cell32 probe = cell;
    const bool ok = c.font == 9 ? VerificaGenericoFont(probe.data(), 20, c.h, 1000)
                                : VerificaMicroperforationAltri(50, 20, c.h, probe.data());
    EXPECT_TRUE(ok);
    EXPECT_EQ(I_score, c.bestAfter);
    EXPECT_EQ(II_score, c.secondAfter);
  }
}

TEST_F(Verifiers, InkRules) {
  // M over V: little ink in the feet halves the M; C over G: a bar in the middle halves the C.
  useFont(9, 40, 30);
  Cell32 cell = baseCell();
  candidates('M', 60, cell, 'V', 55, cell);
  EXPECT_TRUE(VerificaGenericoFont(cell.data(), 20, 35, 1000));
  EXPECT_EQ(I_score, 30);
  fillCell(cell, 24, 29, 0, 9);
  candidates('M', 60, cell, 'V', 55, cell);
  EXPECT_TRUE(VerificaGenericoFont(cell.data(), 20, 35, 1000));
  EXPECT_EQ(II_score, 27);

  // A dot at most half the nominal height (40) is one; a block taller than that is a filled-in
  // mark, not a dot, however well it matched.
  for (const auto& [h, ok] : {std::pair<unsigned, bool>{20, true}, {21, false}}) {
    candidates('.', 90, cell, '-', 30, cell);
    EXPECT_EQ(VerificaGenericoFont(cell.data(), 10, h, 1000), ok) << h;
  }
  // The ink floor: twice the nominal height (80), for a dot or a comma 40 x 40 / 32 = 50.
  for (const auto& [c, black, ok] : {std::tuple{'.', 50u, true}, {'.', 49u, false}, {',', 50u, true}, {'-', 79u, false}}) {
    candidates(c, 90, cell, 'B', 30, cell);
    EXPECT_EQ(VerificaGenericoFont(cell.data(), 10, 10, black), ok) << c << " " << black;
  }

  // An amount's one is at most 3/5 as wide as it is tall (12 by 20 is, 13 by 20 is not); a
  // payee line's keeps the width window alone.
  MyOcr.maxCharHeight = 60;
  using OneCase = std::tuple<short, unsigned, bool>;
  for (const auto& [font, w, ok] : {OneCase{944, 12, true}, OneCase{944, 13, false}, OneCase{945, 13, true}}) {
    useFont(font, 40, 30);
    const Cell32 plain = baseCell();
    candidates('1', 90, plain, 'B', 20, plain);
    Cell32 probe = plain;
    EXPECT_EQ(VerificaMicroperforationAltri(50, w, 20, probe.data()), ok) << font << " " << w;
  }

  // A payee j or one no taller than 11/10 of the line (40: 44 rows is, 45 is not), with no ink at
  // the top left, is a small capital J under 50; a flag at the top left keeps the one.
  useFont(945, 40, 30);
  validChars("J1jB");
  ah = 40;
  for (const auto& [c, h, flag, out] :
       {std::tuple{'j', 44u, false, 'J'}, {'j', 45u, false, 'j'}, {'1', 40u, false, 'J'}, {'1', 40u, true, '1'}}) {
    Cell32 probe = flag ? withInk({0, 4, 0, 31}) : baseCell();
    candidates(c, 80, probe, 'B', 20, probe);
    VerificaMicroperforationAltri(50, 10, h, probe.data());
    EXPECT_EQ(I_char, out) << c << " " << h << " " << flag;
    EXPECT_EQ(I_score, out == 'J' ? 49 : 80) << c << " " << h;
  }

  useFont(944, 40, 30);
  Cell32 g = baseCell();
  candidates('C', 60, g, 'G', 55, g);
  EXPECT_TRUE(VerificaMicroperforationAltri(50, 20, 35, g.data()));
  EXPECT_EQ(I_score, 30);  // the base has 49 pixels in the middle zone
}

TEST_F(Verifiers, E13BZeroAndSizes) {
  useFont(1, 36, 29);
  Cell32 hollow(32, 0);
  fillCell(hollow, 0, 31, 0, 5);
  candidates('0', 60, hollow, '8', 40, hollow);
  EXPECT_TRUE(VerificaE13B(28, 34, hollow.data()));
  EXPECT_EQ(II_score, 40);
  Cell32 filled = hollow;
  fillCell(filled, 14, 15, 14, 15);
  candidates('0', 60, filled, '8', 40, filled);
  EXPECT_TRUE(VerificaE13B(28, 34, filled.data()));
  EXPECT_EQ(II_score, 10);
  candidates('0', 45, hollow, '8', 40, hollow);
  EXPECT_TRUE(VerificaE13B(28, 34, hollow.data()));
  EXPECT_EQ(I_score, 22);
  EXPECT_EQ(II_score, 20);

  struct Size {
    char c;
    unsigned w, h;
    bool ok;
  };
  for (const Size& s : {Size{'1', 12, 30, true}, Size{'1', 22, 30, false}, Size{';', 21, 19, true},
                        Size{';', 21, 20, false}, Size{'<', 32, 30, true}, Size{'A', 25, 34, false},
                        Size{'=', 21, 38, true}}) {
    candidates(s.c, 60, hollow, '8', 40, hollow);
    EXPECT_EQ(VerificaE13B(s.w, s.h, hollow.data()), s.ok) << s.c << " " << s.w << "x" << s.h;
  }
  EXPECT_GE(countOf(trace(), "unexpected E13B char"), 1);
}

// The size windows are pixels at 300 dpi: at another resolution each bound is k x scale,
// truncated (21 x 0.8 = 16.8 admits 16, not 17; 34 x 2/3 = 22.7 admits 22).
TEST_F(Verifiers, SizeWindowsScaleWithTheZoneResolution) {
  struct Case {
    short font;
    int dpi;
    char c;
    uint8_t microD;
    unsigned w, h;
    bool ok;
    int score;  // the best's confidence after the verifier (from 90)
  };
  const Case cases[] = {
      {1, 240, '1', 0, 16, 24, true, 90},  {1, 240, '1', 0, 17, 24, false, 90}, {1, 240, '1', 0, 16, 23, false, 90},
      {1, 200, '0', 0, 22, 25, true, 90},  {1, 200, '0', 0, 23, 25, false, 90}, {1, 200, ';', 0, 14, 6, true, 90},
      {35, 240, 'A', 0, 26, 33, true, 90}, {35, 240, 'A', 0, 27, 33, false, 1}, {35, 240, 'A', 0, 16, 24, true, 81},
      {35, 200, 'A', 1, 22, 23, true, 72}, {35, 200, 'A', 1, 22, 24, false, 1},
      {944, 240, ',', 0, 16, 20, true, 90}, {944, 240, ',', 0, 17, 20, false, 90}, {944, 240, ',', 0, 16, 21, false, 90},
  };
  Cell32 cell = baseCell();
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << " " << c.w << "x" << c.h << " at " << c.dpi << " dpi");
    useFont(c.font);
    MyOcr.engineScale = static_cast<float>(c.dpi) / 300.0f;
    candidates(c.c, 90, cell, 'B', 20, cell);
    MicroD_I = c.microD;
    const bool ok = c.font == 1     ? VerificaE13B(c.w, c.h, cell.data())
                    : c.font == 944 ? VerificaMicroperforationAltri(50, c.w, c.h, cell.data())
                                    : VerificaMicroperforation(c.w, c.h);
    EXPECT_EQ(ok, c.ok);
    if (c.font == 35) {
      EXPECT_EQ(I_score, c.score);
    }
  }
}

TEST_F(Verifiers, CMC7WeakBlocksBecomeBlanks) {
  useFont(202, 40, 30);
  validChars("");
  const Cell32 cell = baseCell();
  candidates('5', 45, cell, '6', 20, cell);
  EXPECT_FALSE(VerificaCMC7(150, 30, 35, Cell32(cell).data()));
  EXPECT_EQ(I_char, ' ');
  EXPECT_EQ(II_char, ' ');
  candidates('5', 45, cell, '6', 20, cell);
  EXPECT_TRUE(VerificaCMC7(250, 30, 35, Cell32(cell).data()));  // enough ink: kept
  candidates('5', 39, cell, '6', 20, cell);
  EXPECT_FALSE(VerificaCMC7(250, 30, 35, Cell32(cell).data()));
  EXPECT_EQ(I_char, '5');
  // Size windows: '<' 27..37 rows, '3' without ink in the middle loses all confidence.
  candidates('<', 90, cell, '6', 20, cell);
  EXPECT_TRUE(VerificaCMC7(250, 30, 37, Cell32(cell).data()));
  EXPECT_FALSE(VerificaCMC7(250, 30, 38, Cell32(cell).data()));
  Cell32 empty(32, 0);
  candidates('3', 90, empty, '6', 20, empty);
  EXPECT_TRUE(VerificaCMC7(250, 30, 35, empty.data()));
  EXPECT_EQ(I_score, 1);
}

TEST_F(Verifiers, OCRBWindowsAndRules) {
  useFont(4, 32, 22);
  validChars("");
  MyOcr.minCharHeight = 18;
  MyOcr.maxCharHeight = 42;
  MyOcr.minCharWidth = 8;
  MyOcr.maxCharWidth = 28;
  Cell32 cell = baseCell();
  // '#' at 40 leaves the verifier with confidence 1, which the recognizer rejects.
  candidates('#', 40, cell, 'H', 20, cell);
  EXPECT_TRUE(VerificaOCRB(false, 20, 35, cell.data()));
  EXPECT_EQ(I_score, 1);
  // O over 0: nine tenths, and the two change places when the O no longer leads.
  candidates('O', 80, cell, '0', 75, cell);
  EXPECT_TRUE(VerificaOCRB(false, 20, 35, cell.data()));
  EXPECT_EQ(I_char, '0');
  EXPECT_EQ(II_char, 'O');
  // A 7 needs ink in the top-left corner.
  candidates('7', 80, cell, '1', 40, cell);
  EXPECT_FALSE(VerificaOCRB(false, 20, 35, cell.data()));
  Cell32 seven = withInk(kHighLeft);
  candidates('7', 80, seven, '1', 40, seven);
  EXPECT_TRUE(VerificaOCRB(false, 20, 35, seven.data()));
  EXPECT_EQ(I_score, 80);
  // L over E: the right-hand areas must be no closer to the E.
  const Cell32 e = withInk(kMidRight);
  candidates('L', 80, cell, 'E', 70, e);
  EXPECT_TRUE(VerificaOCRB(false, 20, 35, cell.data()));
  candidates('L', 80, cell, 'E', 70, e);
  Cell32 onE = e;
  EXPECT_FALSE(VerificaOCRB(false, 20, 35, onE.data()));
  // Font limits, and a narrow capital loses half.
  candidates('A', 80, cell, 'B', 40, cell);
  EXPECT_FALSE(VerificaOCRB(false, 20, 43, cell.data()));
  minWNum = 12;
  candidates('A', 80, cell, 'B', 40, cell);
  EXPECT_TRUE(VerificaOCRB(false, 10, 35, cell.data()));
  EXPECT_EQ(I_score, 40);
}

TEST_F(Verifiers, MicroperforationWindows) {
  useFont(35, 40, 23);
  validChars("");
  struct Case {
    char c;
    uint8_t microD;
    unsigned w, h;
    int score;
    bool ok;
  };
  const Case cases[] = {
      {'I', 0, 20, 35, 1, false},  // an I 20 pixels wide
      {'I', 0, 12, 35, 90, true},  {'A', 1, 25, 30, 72, true},  {'A', 1, 25, 36, 1, false},
      {'/', 0, 25, 20, 90, true},  {'@', 0, 25, 26, 1, false},  {'A', 0, 25, 31, 81, true},
      {'A', 0, 34, 35, 1, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.c << " " << c.w << "x" << c.h);
    const Cell32 cell = baseCell();
    candidates(c.c, 90, cell, 'B', 20, cell);
    MicroD_I = c.microD;
    EXPECT_EQ(VerificaMicroperforation(c.w, c.h), c.ok);
    EXPECT_EQ(I_score, c.score);
  }
  const Cell32 cell = baseCell();
  candidates('A', 64, cell, 'B', 20, cell);
  EXPECT_FALSE(VerificaMicroperforation(25, 35));
  candidates('A', 70, cell, 'B', 20, cell);
  EXPECT_TRUE(VerificaMicroperforation(25, 35));
  EXPECT_EQ(I_score, 35);
  EXPECT_EQ(II_score, 10);
}

}  // namespace
}  // namespace pvk::test
