// The merge of two readings by position against outcomes worked out by hand, and the conversions
// between the position scales.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>

#include "codeline_fixture.h"
#include "micr/micr.h"

namespace pvk::test {
namespace {

struct Merge {
  int minGap = 5, tol = 10, spaceGap = 30, maxConf = 81;
  bool keepHundred = false;
  int dis = -1;
  void run(Line& a, Line& b) {
    ConfrontaCMCMag(a.text, a.conf, a.start, a.end, a.n, b.text, b.conf, b.start, b.end, b.n, minGap, tol, spaceGap,
                    maxConf, 12345, dis, keepHundred);
  }
};

TEST(CodelineMerge, AShiftedRereadingAgreesAndTracksItsOffset) {
  Line a, b;
  a.add('1', 50, 100, 120).add('2', 50, 140, 160).add('3', 50, 180, 200).add('5', 50, 260, 280);
  b.add('1', 60, 106, 126).add('2', 60, 146, 166).add('3', 60, 186, 206).add('4', 60, 226, 246).add('5', 60, 266,
                                                                                                    286);
  Merge m;
  m.run(a, b);
  EXPECT_EQ(a.str(), "12345");
  EXPECT_EQ(a.confs(), (std::vector<int>{110, 110, 110, 70, 110}));
  // The offset after three agreeing pairs: (-6 + 0) / 2 = -3, (-6 - 3) / 2 = -4, (-6 - 4) / 2 = -5;
  // the symbol found only in B lands in A's scale with it.
  EXPECT_EQ(a.start[3], 221);
  EXPECT_EQ(a.end[3], 241);
  EXPECT_EQ(m.dis, 0);
  EXPECT_EQ(b.str(), "12345") << "no gap of B is wider than 30";

  Line c, d;  // the same with maxConf below cB + 10, and a B symbol too weak to be inserted
  c.add('1', 50, 100, 120).add('5', 50, 260, 280);
  d.add('1', 75, 100, 120).add('4', 75, 220, 240).add('5', 75, 260, 280);
  Merge wide;
  wide.spaceGap = 200;
  wide.run(c, d);
  EXPECT_EQ(c.str(), "145");
  EXPECT_EQ(c.confs()[1], 81);
  Line e, f;
  e.add('1', 50, 100, 120).add('5', 50, 260, 280);
  f.add('1', 75, 100, 120).add('4', 10, 220, 240).add('5', 75, 260, 280);
  m.run(e, f);
  EXPECT_EQ(e.str(), "1 5") << "not inserted; the gap of 140 gets a blank";
  EXPECT_EQ(e.confs()[1], 100);
  EXPECT_EQ(e.start[1], 121);
  EXPECT_EQ(e.end[1], 259);
}

TEST(CodelineMerge, EveryBranchOfTheContest) {
  struct Case {
    int cA;
    char tB;
    int cB;
    bool keepHundred;
    char tOut;
    int cOut;
    int dis;
  };
  const Case cases[] = {
      {50, '7', 20, false, '1', 44, 1},   // B weaker: A pays a third of it
      {50, '7', 2, false, '1', 49, 0},    // a very weak B costs one point (and is no disagreement)
      {50, '7', 11, false, '1', 47, 1},
      {100, '7', 2, true, '1', 99, 0},    // keeping a sure A
      {100, '7', 20, true, '1', 94, 1},
      {100, '7', 60, true, '1', 80, 1},
      {100, '7', 60, false, '1', 80, 1},
      {50, '?', 20, false, '1', 50, 0},   // an unread B changes nothing
      {10, '7', 20, false, '?', 1, 1},    // both weak: unread
      {50, '7', 60, false, '7', 10, 1},   // B stronger: B wins by the difference
      {50, '7', 55, false, '?', 1, 1},    // ... unless the difference is below 10
      {20, '7', 110, false, '7', 81, 1},  // ... capped at maxConf
      {50, '7', 50, false, '?', 1, 1},    // equal: unread
  };
  for (const Case& k : cases) {
    Line a, b;
    a.add('1', k.cA, 100, 120);
    b.add(k.tB, k.cB, 103, 123);
    Merge m;
    m.keepHundred = k.keepHundred;
    m.run(a, b);
    EXPECT_EQ(a.str(), std::string(1, k.tOut)) << k.cA << " " << k.cB;
    EXPECT_EQ(a.confs()[0], k.cOut) << k.cA << " " << k.cB;
    EXPECT_EQ(m.dis, k.dis) << k.cA << " " << k.cB;
    if (k.tOut == '7') {
      EXPECT_EQ(a.start[0], 103) << "B's bounds at offset 0";
    }
  }
}

TEST(CodelineMerge, UnmatchedNeighboursAndOverlaps) {
  Merge m;
  m.tol = 5;
  // A's unread symbol between its neighbours, B's read one fitting there: contest with the count.
  Line a, b;
  a.add('1', 50, 100, 120).add('?', 9, 135, 165).add('3', 50, 180, 200);
  b.add('1', 50, 100, 120).add('2', 60, 142, 158).add('3', 50, 180, 200);
  m.run(a, b);
  EXPECT_EQ(a.str(), "123");
  EXPECT_EQ(a.confs(), (std::vector<int>{110, 59, 110})) << "the '?' was first set to 1";
  EXPECT_EQ(m.dis, 1);
  // B's unread symbol where A read one: contest without the count; an unread B changes nothing.
  Line c, d;
  c.add('1', 50, 100, 120).add('2', 50, 135, 165).add('3', 50, 180, 200);
  d.add('1', 50, 100, 120).add('?', 40, 142, 158).add('3', 50, 180, 200);
  m.run(c, d);
  EXPECT_EQ(c.str(), "123");
  EXPECT_EQ(c.confs()[1], 50);
  EXPECT_EQ(m.dis, 0);
  // Overlapping, unmatched, A unread at its first entry: B's symbol replaces it.
  for (int cB : {60, 8}) {
    Line e, f;
    e.add('?', 1, 100, 130).add('2', 50, 140, 160);
    f.add('1', cB, 108, 122).add('2', 50, 140, 160);
    m.run(e, f);
    EXPECT_EQ(e.str(), cB == 60 ? "12" : "?2");
    EXPECT_EQ(e.confs()[0], cB);
    EXPECT_EQ(e.start[0], 108);
  }
  // Both unread: both ends become the smaller.
  Line g, h;
  g.add('?', 1, 100, 130).add('2', 50, 140, 160);
  h.add('?', 1, 108, 124).add('2', 50, 140, 160);
  m.run(g, h);
  EXPECT_EQ(g.end[0], 124);
  EXPECT_EQ(h.end[0], 124);
  // Overlapping read symbols: A's next entry matches B's, so only A advances.
  Line p, q;
  p.add('1', 50, 100, 120).add('7', 50, 125, 145).add('3', 50, 180, 200);
  q.add('7', 50, 127, 147).add('3', 50, 180, 200);
  m.spaceGap = 200;
  m.run(p, q);
  EXPECT_EQ(p.str(), "173");
  EXPECT_EQ(p.confs(), (std::vector<int>{50, 110, 110}));
}

TEST(CodelineMerge, ALastEntryHasNoNextToMatch) {
  // A's slot past its last entry holds a stale entry that would match B's last one; it must not
  // be read, or B's '7' would be left over and appended.
  Line a, b;
  a.add('1', 50, 100, 120).add('2', 50, 140, 160);
  a.start[2] = 150, a.end[2] = 170, a.text[2] = 0;
  b.add('1', 50, 100, 120).add('7', 50, 150, 170);
  b.start[2] = 100, b.end[2] = 120;
  Merge m;
  m.tol = 8;
  m.minGap = 15;
  m.run(a, b);
  EXPECT_EQ(a.str(), "12");
  EXPECT_EQ(a.confs(), (std::vector<int>{110, 50}));
  // B's last entry has no next either: A's entry is passed as usual.
  Line c, d;
  c.add('1', 50, 100, 120).add('2', 50, 140, 160).add('3', 50, 180, 200);
  d.add('1', 50, 100, 120).add('7', 50, 150, 170);
  d.start[2] = 140, d.end[2] = 160;
  m.run(c, d);
  EXPECT_EQ(c.str(), "123");
}

TEST(CodelineMerge, WhatBHoldsPastAIsAppendedAndBlanksFillWideGaps) {
  Line a, b;
  a.add('1', 50, 100, 120);
  b.add('1', 50, 100, 120).add('2', 40, 140, 160).add('3', 29, 180, 200).add('4', 40, 300, 320);
  Merge m;
  m.run(a, b);
  EXPECT_EQ(a.str(), "12 4") << "the 29 stays out";
  EXPECT_EQ(a.confs(), (std::vector<int>{110, 50, 100, 50}));
  EXPECT_EQ(b.str(), "123 4");
  Line empty, c;
  c.add('5', 40, 10, 20);
  m.run(empty, c);
  EXPECT_EQ(empty.str(), "5");
}

TEST(CodelineReport, ASecondLineShowsTheOtherReadingSpacedLikeThisOne) {
  Line a("123"), b;
  b.add('1', 90, 100, 110).add(' ', 100, 111, 119).add('2', 45, 120, 130).add('3', 5, 140, 150);
  char text[64] = {}, conf[64] = {};
  std::memcpy(text, b.text, 4);
  std::memcpy(conf, b.conf, 4);
  int n = 4;
  AggiungiCdlMag(a.text, a.conf, a.start, a.end, a.n, text, conf, b.start, b.end, n, 64);
  EXPECT_EQ(std::string(text, n), "1 23\r\n12 3\r\n893/");
  n = 4;
  text[4] = 0;
  AggiungiCdlMag(a.text, a.conf, a.start, a.end, a.n, text, conf, b.start, b.end, n, 15);
  EXPECT_EQ(n, 4) << "4 + 2 + 4 + 2 + 4 bytes do not stay under 15";
}

TEST(CodelineScales, ConversionsRoundTripWithinOneColumn) {
  const int refs[] = {-20, 0, 35};
  const int offs[] = {-50, 0, 77};
  for (int ratio = 9; ratio <= 12; ++ratio)
    for (int ref : refs)
      for (int off : offs) {
        MyMICR.samplesPer3Px = static_cast<uint16_t>(ratio);
        MyMICR.refOffset = static_cast<int16_t>(ref);
        int s[200], e[200];
        ChInfo boxes[200] = {};
        for (int i = 0; i < 200; ++i) {
          s[i] = i * 7;
          e[i] = i * 7 + 3;
          boxes[i].left = static_cast<uint16_t>(s[i]);
          boxes[i].right = static_cast<uint16_t>(e[i]);
        }
        int s2[200], e2[200];
        ASSERT_EQ(IniOttico2IniMagnetico(200, boxes, s2, e2, off), 200);
        ASSERT_EQ(IniOttico2IniMagnetico(200, s, e, off), 200);
        for (int i = 0; i < 200; ++i) ASSERT_TRUE(s2[i] == s[i] && e2[i] == e[i]) << "box form = array form";
        ASSERT_EQ(IniMagnetico2IniOttico(200, s, e, off), 200);
        for (int i = 0; i < 200; ++i) {
          ASSERT_LE(std::abs(s[i] - i * 7), 1) << ratio << " " << ref << " " << off << " " << i;
          ASSERT_LE(std::abs(e[i] - (i * 7 + 3)), 1);
        }
      }
  // By hand: ratio 10, ref 5, off 20: (100 + 15) x 10 / 3 = 383.3 -> 383; 383 x 3 / 10 = 114.9 -> 114 - 15.
  MyMICR.samplesPer3Px = 10;
  MyMICR.refOffset = 5;
  int s[1] = {100}, e[1] = {-40};
  IniOttico2IniMagnetico(1, s, e, 20);
  EXPECT_EQ(s[0], 383);
  EXPECT_EQ(e[0], -83) << "(-40 + 15) x 10 / 3 = -83.3, toward zero";
  IniMagnetico2IniOttico(1, s, e, 20);
  EXPECT_EQ(s[0], 99);
  EXPECT_EQ(e[0], -39);
  MyMICR.samplesPer3Px = 0;
  EXPECT_EQ(IniMagnetico2IniOttico(1, s, e, 20), 0);
  EXPECT_EQ(s[0], 99) << "no ratio: nothing converted";
  int b[2] = {7, -7}, c[2] = {8, 9};
  EXPECT_EQ(IniBarre2IniOttico(2, b, c), 2);
  EXPECT_EQ(b[0], 3);
  EXPECT_EQ(b[1], -3);
  EXPECT_EQ(c[1], 4);
  EXPECT_EQ(IniOttico2IniBarre(2, b, c), 2);
  EXPECT_EQ(b[1], -6);
  EXPECT_EQ(c[1], 8);
}

}  // namespace
}  // namespace pvk::test
