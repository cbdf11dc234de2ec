// Merging magnetic readings by position and the editing under it: hand-worked merges, blanks
// at wide gaps, overlapping neighbours, and seeded random merge sequences that must keep the
// five arrays aligned and within 127 entries.
#include <gtest/gtest.h>

#include <cstring>
#include <random>
#include <string>

#include "micr/micr.h"

namespace {

struct Mag {
  char t[128] = {};
  char c[128] = {};
  int s[128] = {};
  int e[128] = {};
  int h[128] = {};
  int n = 0;
  Mag& add(char ch, int conf, int start, int end, int hits = 1) {
    t[n] = ch, c[n] = static_cast<char>(conf), s[n] = start, e[n] = end, h[n] = hits;
    ++n;
    return *this;
  }
  std::string text() const { return std::string(t, t + n); }
};

void merge(Mag& a, Mag& b, bool accumulate, int tol = 31, int minW = 75, int maxW = 115, int gap = 160) {
  ConfrontaMICR(a.t, a.c, a.s, a.e, a.h, a.n, b.t, b.c, b.s, b.e, b.h, b.n, tol, minW, maxW, gap, accumulate);
}

TEST(ConfrontaMICR, IntoAnEmptyLineBMovesWhole) {
  Mag a, b;
  b.add('1', 40, 100, 190).add(' ', 4, 191, 224).add('2', 30, 225, 315);
  merge(a, b, true);
  EXPECT_EQ(a.text(), "1 2");
  EXPECT_EQ(a.e[2], 315);
  EXPECT_EQ(b.n, 0);
  EXPECT_EQ(b.t[0], 0);
  Mag none;
  merge(a, none, true);
  EXPECT_EQ(a.text(), "1 2") << "an empty B changes nothing";
}

TEST(ConfrontaMICR, AgreementAddsHitsAndConfidencesAtTheMeanPosition) {
  Mag a, b;
  a.add('5', 50, 100, 190, 1).add('6', 100, 225, 315, 20);
  b.add('5', 40, 106, 196, 3).add('6', 40, 227, 317, 15);
  merge(a, b, true);
  ASSERT_EQ(a.text(), "56");
  EXPECT_EQ(a.s[0], (106 * 3 + 100) / 4);
  EXPECT_EQ(a.e[0], (196 * 3 + 190) / 4);
  EXPECT_EQ(a.h[0], 4);
  EXPECT_EQ(a.c[0], 90);
  EXPECT_EQ(a.h[1], 30) << "hits stop at 30";
  EXPECT_EQ(a.c[1], 120) << "confidence stops at 120";
  Mag c, d;
  c.add('5', 50, 100, 190, 2);
  d.add('5', 40, 106, 196, 3);
  merge(c, d, false);
  EXPECT_EQ(c.s[0], 100) << "without accumulate nothing moves";
  EXPECT_EQ(c.c[0], 50);
}

TEST(ConfrontaMICR, DisagreementsGoToTheStrongerReading) {
  Mag a, b;
  a.add('3', 40, 100, 190).add('4', 60, 225, 315).add('8', 50, 350, 440);
  b.add('8', 70, 102, 192).add('9', 20, 226, 316).add('0', 50, 352, 442);
  merge(a, b, true);
  EXPECT_EQ(a.text(), "84?");
  EXPECT_EQ(a.c[0], 30);
  EXPECT_EQ(a.c[1], 40);
  EXPECT_EQ(a.c[2], 1) << "equal confidences leave '?'";
  EXPECT_EQ(a.h[2], 1);
  Mag x, y;
  x.add('3', 40, 100, 190).add('4', 60, 225, 315);
  y.add('8', 70, 102, 192).add('9', 20, 226, 316);
  merge(x, y, false);
  EXPECT_EQ(x.text(), "84");
  EXPECT_EQ(x.c[0], 70) << "taken over whole";
  EXPECT_EQ(x.c[1], 60) << "without accumulate the weaker leaves A as it was";
}

TEST(ConfrontaMICR, AnUnreadPlaceTakesAPlausibleSymbolWithinTwiceTheTolerance) {
  Mag a, b;
  a.add('1', 50, 100, 190).add('?', 1, 250, 340).add('3', 50, 400, 490);
  b.add('2', 30, 210, 300);  // 40 away: beyond tol 31, within 62; fits between A's neighbours
  merge(a, b, true);
  EXPECT_EQ(a.text(), "123");
  EXPECT_EQ(a.s[1], 210);
  Mag c, d;
  c.add('?', 1, 250, 340);
  d.add('2', 30, 260, 300);  // 40 wide: too narrow to take over
  merge(c, d, true);
  EXPECT_EQ(c.text(), "?");
}

TEST(ConfrontaMICR, SymbolsOfOneReadingAloneAreTakenOverAndWideGapsGetBlanks) {
  Mag a, b;
  a.add('4', 50, 500, 590).add('5', 50, 625, 715);
  b.add('1', 40, 100, 190).add('?', 1, 250, 340).add('7', 20, 1000, 1090).add('8', 40, 1125, 1140);
  merge(a, b, true);
  // '1' goes in before A, the '?' is not taken, '7' is appended, '8' is too narrow.
  EXPECT_EQ(a.text(), "1 45 7");
  EXPECT_EQ(a.c[1], 100);
  EXPECT_EQ(a.s[1], 191);
  EXPECT_EQ(a.e[1], 499);
  EXPECT_EQ(a.h[1], 1);
  EXPECT_EQ(a.c[5], 20);
}

TEST(RimuoviSovrapposti, DropsTheLessConfidentOfTwoOverlappingAndBothWhenEqual) {
  Mag a;
  a.add('1', 30, 100, 190).add('2', 50, 180, 270).add('3', 40, 400, 490).add('4', 40, 480, 570).add('5', 9, 600, 690);
  RimuoviSovrapposti(a.t, a.c, a.s, a.e, a.h, a.n);
  EXPECT_EQ(a.text(), "25");
}

TEST(MagneticEditing, InsertionsStopAt127AndRemovalsKeepTheArraysTogether) {
  Mag a;
  for (int k = 0; k < 130; ++k)
    AggiungiCarattereMICR('0' + k % 10, 50, k * 10, k * 10 + 5, 2, a.t, a.c, a.s, a.e, a.h, 0, a.n, 128);
  EXPECT_EQ(a.n, 127);
  EXPECT_EQ(a.t[127], 0);
  EXPECT_EQ(a.s[0], 1260) << "each went in front";
  AggiungiCarattereMICR('X', 1, 0, 0, 1, a.t, a.c, a.s, a.e, nullptr, 200, a.n, 50);
  EXPECT_EQ(a.n, 127) << "max 50 refuses";
  RimuoviCarattereMICR(a.t, a.c, a.s, a.e, 0, a.n);
  EXPECT_EQ(a.n, 126);
  EXPECT_EQ(a.s[0], 1250);
  EXPECT_EQ(a.t[126], 0);
  int zero = 0;
  RimuoviCarattereMICR(a.t, a.c, a.s, a.e, 0, zero);
  EXPECT_EQ(zero, 0);
}

TEST(ConfrontaMICR, RandomMergeSequencesStayWithin127AlignedEntries) {
  std::mt19937 rnd(24);
  const std::string symbols = "0123456789:;<=>?";
  auto randomLine = [&](Mag& m, int count, int origin) {
    m = Mag{};
    int pos = origin;
    for (int k = 0; k < count && m.n < 127; ++k) {
      pos += 80 + static_cast<int>(rnd() % 120);
      const int w = 60 + static_cast<int>(rnd() % 70);
      m.add(symbols[rnd() % symbols.size()], 1 + static_cast<int>(rnd() % 100), pos, pos + w,
            static_cast<int>(rnd() % 4));
      if (rnd() % 9 == 0 && m.n < 127) m.add(' ', 4, pos + w + 1, pos + w + 20);
    }
  };
  for (int round = 0; round < 300; ++round) {
    Mag a, b;
    randomLine(a, static_cast<int>(rnd() % 128), 0);
    randomLine(b, static_cast<int>(rnd() % 128), static_cast<int>(rnd() % 200));
    if (a.n > 127) a.n = 127;
    if (b.n > 127) b.n = 127;
    merge(a, b, rnd() % 2, 10 + static_cast<int>(rnd() % 60), 50, 140, 100 + static_cast<int>(rnd() % 200));
    ASSERT_GE(a.n, 0);
    ASSERT_LE(a.n, 127) << round;
    ASSERT_EQ(a.t[a.n], 0) << round;
    for (int k = 0; k < a.n; ++k) {
      ASSERT_NE(a.t[k], 0) << round << " " << k;
      ASSERT_LE(a.s[k], a.e[k] + 1) << round << " " << k;
      ASSERT_GE(a.h[k], 0) << round << " " << k;  // hit counts of a B moved into an empty A stay as given
      ASSERT_LE(a.h[k], 30) << round << " " << k;
    }
    ASSERT_LE(b.n, 127);
  }
}

}  // namespace
