// The accumulation of band readings (ConfrontaCMC) against outcomes worked out by hand: the
// agreement count and the narrowing window, count-weighted positions, unread symbols taken over,
// the exchange of the readings, the last entry's missing neighbour and the 127-entry limit.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "codeline_fixture.h"
#include "micr/micr.h"

namespace pvk::test {
namespace {

// The line's height array holds the agreeing passes.
struct Acc {
  int tol = 6, minSpan = 8, maxSpan = 20, blankGap = 15;
  void run(Line& r, Line& b) {
    ConfrontaCMC(r.text, r.conf, r.start, r.end, r.height, r.n, b.text, b.conf, b.start, b.end, b.height, b.n, tol,
                 minSpan, maxSpan, blankGap);
  }
};

Line counted(const std::string& t, int conf, int count, int shift = 0) {
  Line l(t, conf, 20, 10, 100 + shift);
  for (int k = 0; k < l.n; ++k) l.height[k] = count;
  return l;
}

std::vector<int> counts(const Line& l) { return std::vector<int>(l.height, l.height + l.n); }

TEST(Cmc7Accumulate, AnEmptyReadingTakesThePassWhole) {
  Line r, b = counted("12:4", 9, 1);
  Acc().run(r, b);
  EXPECT_EQ(r.str(), "12:4");
  EXPECT_EQ(r.confs(), (std::vector<int>{9, 9, 9, 9}));
  EXPECT_EQ(r.start[3], 160);
}

TEST(Cmc7Accumulate, AgreeingPassesSumTheirCountsAndScoresUpToTheCaps) {
  Line r = counted("123", 50, 3), b = counted("123", 9, 2);
  r.conf[2] = 115;
  r.height[2] = 29;
  Acc().run(r, b);
  EXPECT_EQ(r.str(), "123");
  EXPECT_EQ(r.confs(), (std::vector<int>{59, 59, 120}));
  EXPECT_EQ(counts(r), (std::vector<int>{5, 5, 30}));
}

TEST(Cmc7Accumulate, PositionsAreWeightedByThePassesBehindThem) {
  Line r, b;
  r.add('7', 40, 100, 110);
  r.height[0] = 3;
  b.add('7', 4, 104, 115);
  b.height[0] = 1;
  Acc().run(r, b);
  // (100 x 3 + 104) / 4 = 101, (110 x 3 + 115) / 4 = 111 (truncated from 111.25).
  EXPECT_EQ(r.start[0], 101);
  EXPECT_EQ(r.end[0], 111);
  EXPECT_EQ(r.height[0], 4);
}

TEST(Cmc7Accumulate, TheWindowNarrowsAsAgreementsAccumulate) {
  // tol 6: the window is 12 until the third agreement, 9 for the fourth and fifth, 6 after.
  struct Case {
    int shifted;  // index of the one entry of B placed `by` columns right
    int by;
    bool matched;
  };
  for (Case c : {Case{1, 10, true}, Case{3, 10, false}, Case{3, 8, true}, Case{5, 8, false}, Case{5, 5, true}}) {
    Line r = counted("1234567", 40, 1), b = counted("1234567", 8, 1);
    b.start[c.shifted] += c.by;
    b.end[c.shifted] += c.by;
    Acc().run(r, b);
    SCOPED_TRACE("entry " + std::to_string(c.shifted) + " moved by " + std::to_string(c.by));
    EXPECT_EQ(r.str(), "1234567");
    EXPECT_EQ(r.height[c.shifted], c.matched ? 2 : 1);
    EXPECT_EQ(r.conf[c.shifted], c.matched ? 48 : 40);
  }
}

TEST(Cmc7Accumulate, DifferentSymbolsAtOnePlaceAreSettledByScore) {
  struct Case {
    int cR, cB;
    std::string text;
    int conf;
    int count;
  };
  for (Case c : {Case{10, 30, "1", 20, 1}, Case{30, 10, "5", 20, 4}, Case{12, 12, "?", 0, 1}}) {
    Line r = counted("5", c.cR, 4), b = counted("1", c.cB, 1);
    Acc().run(r, b);
    SCOPED_TRACE(c.cR);
    EXPECT_EQ(r.str(), c.text);
    EXPECT_EQ(r.confs()[0], c.conf);
    EXPECT_EQ(r.height[0], c.count);
  }
}

TEST(Cmc7Accumulate, AnUnreadSymbolTakesAPlausibleReadingOver) {
  for (int width : {10, 25, 8}) {
    Line r = counted("1?3", 30, 2), b;
    b.add('8', 5, 120, 120 + width);
    Acc().run(r, b);
    SCOPED_TRACE(width);
    // Only a span strictly inside (8, 20) is taken; the unread symbol is left as it was.
    EXPECT_EQ(r.str(), width == 10 ? "183" : "1?3");
  }
  Line r = counted("123", 30, 2), b = counted("1?3", 5, 1);
  Acc().run(r, b);
  EXPECT_EQ(r.str(), "123") << "an unread symbol of the pass changes nothing";
  EXPECT_EQ(r.confs(), (std::vector<int>{35, 30, 35}));
}

TEST(Cmc7Accumulate, TheReadingWithMoreReadNeighboursBecomesTheBase) {
  // R reads one lone symbol; the pass reads two neighbours, the second one too wide to be taken
  // from a pass. After the exchange the wide one is R's own and stays.
  Line r, b;
  r.add('5', 40, 100, 110);
  b.add('5', 8, 100, 110).add('6', 8, 120, 150);
  r.height[0] = 3;
  b.height[0] = b.height[1] = 1;
  Acc().run(r, b);
  EXPECT_EQ(r.str(), "56");
  EXPECT_EQ(r.confs(), (std::vector<int>{48, 8}));
  EXPECT_EQ(counts(r), (std::vector<int>{4, 1}));

  Line r2, b2;  // no exchange when R rates as high: the wide symbol is refused
  r2.add('4', 40, 80, 90).add('5', 40, 100, 110);
  b2.add('5', 8, 100, 110).add('6', 8, 120, 150);
  Acc().run(r2, b2);
  EXPECT_EQ(r2.str(), "45");
}

TEST(Cmc7Accumulate, APassEntryOverlappingTheLastEntryHasRoomAfterIt) {
  // R's last entry is unread; the blank before it is removed first, which leaves a stale copy of
  // the last entry in the slot after it. A pass reading shifted by more than the plain window
  // still fits: nothing follows R's last entry.
  Line r, b;
  r.add('2', 30, 80, 90).add('1', 30, 100, 110).add(' ', 100, 111, 139).add('?', 1, 140, 160);
  for (int k = 0; k < r.n; ++k) r.height[k] = 1;
  b.add('1', 8, 100, 110).add('7', 8, 153, 165);
  b.height[0] = b.height[1] = 1;
  Acc a;
  a.blankGap = 100;
  a.run(r, b);
  EXPECT_EQ(r.str(), "217");
  EXPECT_EQ(r.start[2], 153);
}

TEST(Cmc7Accumulate, SymbolsOnlyThePassHoldsAreInsertedOrAppendedWhenPlausible) {
  Line r, b;
  r.add('2', 30, 140, 150).add('3', 30, 160, 170);
  r.height[0] = r.height[1] = 2;
  b.add('1', 7, 100, 110).add('?', 7, 120, 130).add('3', 7, 160, 170).add('?', 7, 180, 190).add('5', 7, 200, 210);
  b.add('6', 7, 220, 250);
  for (int k = 0; k < b.n; ++k) b.height[k] = 1;
  Acc a;
  a.blankGap = 100;
  a.run(r, b);
  // '1' inserted before, '5' appended; the unread ones and the one of span 30 are not.
  EXPECT_EQ(r.str(), "1235");
  EXPECT_EQ(r.confs(), (std::vector<int>{7, 30, 37, 7}));
  EXPECT_EQ(counts(r), (std::vector<int>{1, 2, 3, 1}));

  Line r2 = counted("12", 30, 1), b2;
  b2.add('1', 3, 100, 110).add('?', 1, 120, 130).add('9', 3, 150, 160);
  b2.height[0] = b2.height[1] = 1;
  b2.height[2] = 4;  // a score below one per pass is appended as unread with nothing
  Acc().run(r2, b2);
  EXPECT_EQ(r2.str(), "12 ?");
  EXPECT_EQ(r2.confs(), (std::vector<int>{33, 30, 100, 0}));
  EXPECT_EQ(r2.start[2], 131);
  EXPECT_EQ(r2.end[2], 149);
}

TEST(Cmc7Accumulate, AReadSymbolShiftedAsideGivesWayToAStrongerPass) {
  Line r, b;
  r.add('1', 5, 100, 110).add('2', 5, 160, 170);
  b.add('1', 9, 108, 118).add('2', 3, 160, 170);
  for (int k = 0; k < 2; ++k) r.height[k] = b.height[k] = 1;
  Acc a;
  a.tol = 3;  // window 6: the first pair overlaps without matching
  a.blankGap = 100;
  a.run(r, b);
  EXPECT_EQ(r.str(), "12");
  EXPECT_EQ(r.confs()[0], 8) << "one point less than the pass";
  EXPECT_EQ(r.start[0], 108);
}

TEST(Cmc7Accumulate, NothingGrowsPastTheLastUsableSlot) {
  Line r, b;
  for (int k = 0; k < kCdlUsable; ++k) r.add(static_cast<char>('0' + k % 10), 30, 1000 + 40 * k, 1010 + 40 * k);
  for (int k = 0; k < kCdlUsable; ++k) r.height[k] = 1;
  r.text[kCdlUsable] = 0;
  // Before, between (wide gaps) and after R: every insert, blank and append is refused.
  b.add('1', 9, 10, 20).add('2', 9, 40, 50).add('3', 9, 20000, 20010);
  b.height[0] = b.height[1] = b.height[2] = 1;
  Acc a;
  a.blankGap = 5;
  a.run(r, b);
  EXPECT_EQ(r.n, kCdlUsable);
  EXPECT_EQ(r.text[kCdlUsable], 0);
  EXPECT_EQ(r.str().substr(0, 3), "012");
}

}  // namespace
}  // namespace pvk::test
