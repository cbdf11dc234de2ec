// The edits of a reading: removal, insertion and replacement keep text, confidences and boxes
// aligned, the terminators where promised, and the neighbours' boxes fitted; the trims at the
// ends of a line and the average character size.
#include "ocr_post_fixture.h"

namespace pvk::test {
namespace {

using LineEdit = OcrPostTest;

TEST_F(LineEdit, RemovalMovesTheTailAndTheTerminator) {
  struct Case {
    int pos, n;
    const char* text;  // the count's characters afterwards
    int newN;
    char atOldLast;  // text[3] afterwards
  };
  const Case cases[] = {
      {4, 4, "ABC", 3, 'D'},   // pos == n lowers the count only
      {3, 4, "ABC", 3, '\0'},  // pos == n - 1: the terminator moves down
      {0, 4, "BCD", 3, '\0'},
      {-1, 4, "ABCD", 4, 'D'},  // a negative pos changes nothing
      {7, 4, "ABC", 3, 'D'},
  };
  for (const Case& c : cases) {
    Reading r = Reading::of("ABCD", 90, 20, 15, 5);
    r.setConfs({11, 22, 33, 44});
    RimuoviCarattere(r.t(), r.c(), r.i(), c.pos, r.n);
    EXPECT_EQ(r.n, c.newN) << c.pos;
    EXPECT_EQ(r.str(), c.text) << c.pos;
    EXPECT_EQ(r.t()[3], c.atOldLast) << c.pos;
    for (int i = 0; i < r.n; ++i) {  // each box still beside its character
      const int k = r.t()[i] - 'A';
      EXPECT_EQ(r.box(i).left, 10 + 20 * k);
      EXPECT_EQ(r.c()[i], 11 * (k + 1));
    }
  }
  Reading empty(4);
  RimuoviCarattere(empty.t(), empty.c(), empty.i(), 0, empty.n);
  EXPECT_EQ(empty.n, 0);
  Reading noInfo = Reading::of("AB");
  RimuoviCarattere(noInfo.t(), nullptr, nullptr, 0, noInfo.n);
  EXPECT_EQ(noInfo.str(), "B");
}

TEST_F(LineEdit, InsertionRespectsTheLimit) {
  ChInfo x{};
  x.left = 500;
  struct Case {
    int pos, max;
    const char* text;
  };
  const Case cases[] = {{1, 10, "AxBC"}, {3, 10, "ABCx"}, {9, 10, "ABCx"}, {0, 4, "ABC"}, {-2, 10, "ABC"}};
  for (const Case& c : cases) {
    Reading r = Reading::of("ABC", 90, 20, 15, c.max);
    AggiungiCarattere('x', 77, x, r.t(), r.c(), r.i(), c.pos, c.max, r.n);
    EXPECT_EQ(r.str(), c.text) << c.pos << " " << c.max;
    EXPECT_EQ(r.t()[r.n], '\0');
    const size_t at = r.str().find('x');
    if (at != std::string::npos) {
      EXPECT_EQ(r.c()[at], 77);
      EXPECT_EQ(r.box(static_cast<int>(at)).left, 500);
    }
  }
}

TEST_F(LineEdit, LineBreaksBecomeBlanks) {
  Reading r = Reading::of("AB\r\nCD");
  r.setConfs({1, 2, 3, 4, 5, 6});
  RimuoviCRLF(r.t(), r.c(), r.i(), r.n);
  EXPECT_EQ(r.str(), "AB CD");
  EXPECT_EQ(r.confs(), (std::vector<int>{1, 2, 3, 5, 6}));
  Reading lone = Reading::of("A\rB");
  RimuoviCRLF(lone.t(), lone.c(), lone.i(), lone.n);
  EXPECT_EQ(lone.str(), "A B");
}

TEST_F(LineEdit, UnreadPairsAtTheEnds) {
  Reading r = Reading::of("? ? AB ?");
  RimuoviCHNRInizialiEFinali(r.t(), r.c(), r.i(), r.n);
  EXPECT_EQ(r.str(), "AB");
}

TEST_F(LineEdit, OuterAndDoubleBlanks) {
  struct Case {
    const char* in;
    const char* out;
  };
  const Case cases[] = {{"  A  B ", "A B"}, {"A ' B", "A'B"}, {"A .B", "A.B"}, {"A . B", "A. B"}, {"   ", ""}};
  for (const Case& c : cases) {
    Reading r = Reading::of(c.in);
    RimuoviSpaziEsterniEDoppi(r.t(), r.c(), r.i(), r.n);
    EXPECT_EQ(r.str(), c.out) << c.in;
  }
  Reading r = Reading::of("A  B");
  RimuoviSpaziEsterniEDoppi(r.t(), r.c(), r.i(), r.n);
  EXPECT_EQ(r.box(1).right, 10 + 20 * 2 + 15);  // the first blank took the second's right column
}

TEST_F(LineEdit, WorstCharacter) {
  Reading blanks = Reading::of("   ");
  char worst = 0;
  int count = -1;
  CercaCaratterePeggiore(blanks.t(), blanks.c(), blanks.i(), blanks.n, worst, count);
  EXPECT_EQ(worst, 110);
  EXPECT_EQ(count, 0);
  Reading r = Reading::of("A?B ");
  r.setConfs({50, 5, 70, 1});
  r.box(0).agreement = 3;
  r.box(1).agreement = 1;
  r.box(2).agreement = 2;
  CercaCaratterePeggiore(r.t(), r.c(), r.i(), r.n, worst, count);
  EXPECT_EQ(worst, 5);
  EXPECT_EQ(count, 2);  // the '?' gives no agreement count
}

TEST_F(LineEdit, ConfidenceScaling) {
  Reading r = Reading::of("ABC");
  r.setConfs({91, 1, 100});
  int total = 77;
  RiduciConfidenza(total, r.c(), r.n, 0.5f, true);
  EXPECT_EQ(r.confs(), (std::vector<int>{45, 1, 50}));
  EXPECT_EQ(total, 38);
  RiduciConfidenza(total, r.c(), r.n, 0.0f, true);
  EXPECT_EQ(r.confs(), (std::vector<int>{1, 1, 1}));
  EXPECT_EQ(total, 1);
  total = 90;
  RiduciConfidenza(total, r.c(), r.n, 2.0f, false);
  EXPECT_EQ(total, 100);
  EXPECT_EQ(r.confs(), (std::vector<int>{1, 1, 1}));
}

TEST_F(LineEdit, TrailingDebris) {
  struct Case {
    const char* in;
    bool cut;
    const char* out;
  };
  const Case cases[] = {{"AB12 xy", true, "AB12"}, {"AB12", false, "AB12"}, {"AB12 ", false, "AB12 "},
                        {"ABxyz", true, "AB"},       {"ABC", false, "ABC"}};
  for (const Case& c : cases) {
    Reading r = Reading::of(c.in);
    EXPECT_EQ(RimuoviSchifezzeFinali(r.t(), r.c(), r.n), c.cut) << c.in;
    EXPECT_EQ(r.str(), c.out) << c.in;
    if (c.cut) {
      EXPECT_EQ(r.c()[r.n], 0);
    }
  }
}

TEST_F(LineEdit, CharactersAboveTheFirstLine) {
  Reading r;
  r.push('x', 90, {10, 20, 0, 8});
  r.push('?', 90, {30, 40, 10, 40});
  r.push('A', 90, {50, 60, 10, 40});
  r.push('B', 90, {70, 80, 0, 8});
  TopPrimaLineaValida = 20;
  TagliaCaratteriSopraPrimaLinea(r.t(), r.c(), r.i(), r.n);
  EXPECT_EQ(r.str(), "AB");
  TopPrimaLineaValida = 50;
  TagliaCaratteriSopraPrimaLinea(r.t(), r.c(), r.i(), r.n);
  EXPECT_EQ(r.n, 0);
}

TEST_F(LineEdit, FoldingTwoReadings) {
  struct Case {
    char c;
    bool sum;
    int conf1, conf2, agree1, agree2;
    int conf, agree;
  };
  const Case cases[] = {
      {'A', false, 70, 60, 2, 1, 70, 2}, {'A', false, 50, 60, 2, 1, 60, 1}, {'A', true, 70, 60, 2, 1, 100, 3},
      {'A', true, 40, 30, 1, 1, 55, 2},  {'?', true, 20, 10, 1, 1, 35, 3},  {'?', true, 97, 10, 1, 1, 100, 3},
      {' ', true, 40, 30, 1, 1, 30, 1},
  };
  for (const Case& c : cases) {
    Reading a, b;
    a.push(c.c, c.conf1, {10, 30, 10, 41}, c.agree1);
    b.push(c.c, c.conf2, {14, 30, 20, 40}, c.agree2);
    AggiornaCarattere(c.c, a.c(), a.i(), 0, b.c(), b.i(), 0, c.sum);
    EXPECT_EQ(b.c()[0], c.conf) << c.c << c.sum << c.conf1;
    EXPECT_EQ(b.box(0).agreement, c.agree) << c.c << c.sum << c.conf1;
    EXPECT_EQ(b.box(0).left, 12);
    EXPECT_EQ(b.box(0).right, 30);
    EXPECT_EQ(b.box(0).top, 15);
    EXPECT_EQ(b.box(0).bottom, 40);  // (41 + 40) / 2, truncated
  }
}

TEST_F(LineEdit, InsertionFitsTheBoxBetweenNeighbours) {
  ChInfo x{};
  x.left = 20;
  x.right = 60;
  // A real character between two real ones: it is narrowed to their gap.
  Reading r;
  r.push('A', 90, {10, 25});
  r.push('B', 90, {50, 70});
  int pos = 1;
  AggiungiEVerifica('x', 80, x, r.t(), r.c(), r.i(), pos, r.n, kOcrChars);
  EXPECT_EQ(r.str(), "AxB");
  EXPECT_EQ(pos, 2);
  EXPECT_EQ(r.lefts(), (std::vector<int>{10, 26, 50}));
  EXPECT_EQ(r.rights(), (std::vector<int>{25, 49, 70}));
  // Beside blanks, the blanks give way.
  Reading s;
  s.push(' ', 90, {10, 40});
  s.push(' ', 90, {41, 80});
  pos = 1;
  AggiungiEVerifica('x', 80, x, s.t(), s.c(), s.i(), pos, s.n, kOcrChars);
  EXPECT_EQ(s.str(), " x ");
  EXPECT_EQ(s.rights(), (std::vector<int>{19, 60, 80}));
  EXPECT_EQ(s.lefts(), (std::vector<int>{10, 20, 61}));
}

TEST_F(LineEdit, RefusedInsertionsChangeNothing) {
  ChInfo x{};
  x.left = 20;
  x.right = 60;
  const int cases[][2] = {{1, 3}, {3, 10}};  // {pos, max}: a full reading; pos beyond n
  for (const auto& c : cases) {
    Reading r = Reading::of("  ", 90, 40, 39, 10);  // blanks [10,49] and [50,89]
    int pos = c[0];
    AggiungiEVerifica('x', 80, x, r.t(), r.c(), r.i(), pos, r.n, c[1]);
    EXPECT_EQ(r.str(), "  ");
    EXPECT_EQ(pos, c[0]);
    EXPECT_EQ(r.rights(), (std::vector<int>{49, 89}));
    EXPECT_EQ(r.lefts(), (std::vector<int>{10, 50}));
  }
  // A box that does not fit between real neighbours is not inserted.
  Reading r;
  r.push('A', 90, {10, 40});
  r.push('B', 90, {41, 70});
  int pos = 1;
  AggiungiEVerifica('x', 80, x, r.t(), r.c(), r.i(), pos, r.n, kOcrChars);
  EXPECT_EQ(r.str(), "AB");
  EXPECT_EQ(pos, 1);
}

TEST_F(LineEdit, ReplacementFitsTheBox) {
  ChInfo x{};
  x.left = 5;
  x.right = 100;
  Reading r;
  r.push('?', 90, {0, 30});
  r.push('?', 90, {31, 60});
  r.push('B', 90, {61, 90});
  SostituisciEVerifica2(r.t(), r.c(), r.i(), 1, r.n, 'x', 70, x);
  EXPECT_EQ(r.str(), "?x" "B");
  EXPECT_EQ(r.lefts(), (std::vector<int>{0, 5, 61}));
  EXPECT_EQ(r.rights(), (std::vector<int>{4, 60, 90}));
  EXPECT_EQ(r.c()[1], 70);
  SostituisciEVerifica2(r.t(), r.c(), r.i(), 3, r.n, 'y', 70, x);  // beyond n: nothing
  EXPECT_EQ(r.str(), "?x" "B");
}

TEST_F(LineEdit, AverageCharacterSize) {
  // Twelve digits 12 wide and 28 high, one lower-case 'a' 20 high, one blank.
  Reading r;
  for (int i = 0; i < 12; ++i) r.push('5', 80, {10 + 20 * i, 22 + 20 * i, 10, 38});
  r.push('a', 80, {300, 310, 10, 30});
  r.push(' ', 80, {311, 330});
  uint16_t w = 0, h = 0;
  float sf = 0;
  Ricalcola_ah_aw(r.t(), r.c(), r.i(), r.n, w, h, sf, true);
  EXPECT_EQ(w, (12 * 12 + 14) / 13);
  EXPECT_EQ(h, (12 * 28 + 14) / 13);
  EXPECT_FLOAT_EQ(sf, 0.9f);  // no database list
  EXPECT_EQ(aw, w);
  EXPECT_EQ(ah, h);
  EXPECT_EQ(MyOcr.charWidth, w);
  EXPECT_EQ(MyOcr.charHeight, h);
}

TEST_F(LineEdit, AverageSizeSwitchesAndSmallSamples) {
  Reading r;
  for (int i = 0; i < 12; ++i) r.push('5', 80, {10 + 20 * i, 22 + 20 * i, 10, 38}, 1, static_cast<uint8_t>(i % 2));
  databases(1, 1.5f);  // index 1 is beyond the list: 0.9
  MyOcr.fixedSize = 0;
  MyOcr.secondSize = 1;
  uint16_t w = 0, h = 0;
  float sf = 0;
  Ricalcola_ah_aw(r.t(), r.c(), r.i(), r.n, w, h, sf, true);
  EXPECT_FLOAT_EQ(sf, (6 * 1.5f + 6 * 0.9f) / 12);
  EXPECT_EQ(MyOcr.charWidth, 12);
  EXPECT_EQ(MyOcr.charHeight, 30);  // the second size switch keeps the nominal height
  // Two characters are below the minimum sample: the references stay.
  Reading few = Reading::of("AB", 80, 40, 30);
  aw = 15;
  ah = 30;
  Ricalcola_ah_aw(few.t(), few.c(), few.i(), few.n, w, h, sf, true);
  EXPECT_EQ(w, 15);
  EXPECT_EQ(h, 30);
  // Unsure characters are ignored entirely.
  Reading unsure = Reading::of("ABCDEFGHIJKL", 9, 40, 30);
  Ricalcola_ah_aw(unsure.t(), unsure.c(), unsure.i(), unsure.n, w, h, sf, false);
  EXPECT_EQ(w, 15);
  EXPECT_FLOAT_EQ(sf, 1.5f);  // the database of the first character
}

}  // namespace
}  // namespace pvk::test
