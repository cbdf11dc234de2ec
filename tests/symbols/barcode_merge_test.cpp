// The result list of the linear reader: merging by position, insertion with room checked,
// removal, weak runs, and the Code 32 conversion.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "symbols/symbols.h"

namespace {

constexpr int kCap = 64;

// A list of kCap entries plus guard bytes that nothing may touch.
struct List {
  char text[kCap + 8];
  char conf[kCap + 8];
  unsigned short start[kCap + 8];
  unsigned short length[kCap + 8];
  int count = 0;
  List() {
    std::memset(text, 0x5A, sizeof text);
    std::memset(conf, 0x5A, sizeof conf);
    std::memset(start, 0x5A, sizeof start);
    std::memset(length, 0x5A, sizeof length);
    text[0] = conf[0] = 0;
  }
  bool guardsIntact(int limit) const {
    for (int i = limit; i < kCap + 8; ++i)
      if (text[i] != 0x5A || conf[i] != 0x5A) return false;
    return true;
  }
  std::string str() const { return std::string(text, count); }
};

// One reading as the cascade hands it over.
struct Reading {
  char text[kCap];
  char conf[kCap];
  unsigned short start[kCap];
  unsigned short length[kCap];
  int n;
  Reading(const char* t, int c, unsigned short pos) {
    n = static_cast<int>(std::strlen(t));
    std::memcpy(text, t, n + 1);
    std::memset(conf, c, n);
    conf[n] = 0;
    SetIniEnd(start, length, pos, n);
  }
};

void merge(List& l, const Reading& r, int limit = kCap) {
  AggiornaBest(l.text, l.conf, l.start, l.length, &l.count, limit, r.text, r.conf, r.start, r.length, r.n);
}

}  // namespace

TEST(BarcodeMerge, TheSameReadingWithin49SamplesAddsItsConfidencesUpTo100) {
  List l;
  merge(l, Reading("ABC123", 60, 400));
  merge(l, Reading("ABC123", 30, 449));
  EXPECT_EQ(l.str(), "ABC123");
  EXPECT_EQ(l.conf[0], 90);
  merge(l, Reading("ABC123", 30, 351));
  EXPECT_EQ(l.conf[5], 100);
  EXPECT_EQ(l.count, 6);
}

TEST(BarcodeMerge, ReadingsFiftySamplesApartStaySeparateInPositionOrder) {
  List l;
  merge(l, Reading("SECOND", 80, 450));
  merge(l, Reading("FIRST", 80, 400));
  merge(l, Reading("THIRD", 80, 900));
  EXPECT_EQ(l.str(), "FIRST SECOND THIRD");
  EXPECT_EQ(l.conf[5], 100);
  EXPECT_EQ(l.length[5], 1);
  EXPECT_EQ(l.start[5], 0);
  EXPECT_EQ(l.start[0], 400);
  EXPECT_EQ(l.length[6], 6);
}

TEST(BarcodeMerge, ADifferentTextAtTheSamePlaceGoesToTheStronger) {
  List l;
  merge(l, Reading("WRONG1", 50, 400));
  merge(l, Reading("RIGHT1", 90, 420));
  EXPECT_EQ(l.str(), "RIGHT1");
  EXPECT_EQ(l.conf[0], 40);  // lowered by the reading it replaced
  merge(l, Reading("OTHER1", 30, 410));
  EXPECT_EQ(l.str(), "RIGHT1");
  EXPECT_EQ(l.conf[0], 10);
}

TEST(BarcodeMerge, ShortWeakReadingsAreNeverInserted) {
  List l;
  merge(l, Reading("ABCD", 45, 400));
  EXPECT_EQ(l.count, 0);
  merge(l, Reading("ABCDE", 45, 400));
  EXPECT_EQ(l.str(), "ABCDE");
}

TEST(BarcodeMerge, AnInsertionThatDoesNotFitIsSkippedAndNothingIsWrittenPastTheList) {
  for (int limit = 1; limit <= 30; ++limit) {
    List l;
    merge(l, Reading("0123456789", 90, 100), limit);
    merge(l, Reading("ABCDEFGH", 90, 900), limit);
    merge(l, Reading("abcdefgh", 90, 10), limit);
    EXPECT_LT(l.count, limit);
    EXPECT_TRUE(l.guardsIntact(limit)) << limit;
    EXPECT_EQ(l.text[l.count], 0);
    const char* want = limit >= 29 ? "abcdefgh 0123456789 ABCDEFGH"
                       : limit >= 20 ? "0123456789 ABCDEFGH"
                       : limit >= 11 ? "0123456789"
                       : limit >= 9  ? "ABCDEFGH"
                                     : "";
    EXPECT_EQ(l.str(), want) << limit;
  }
}

TEST(BarcodeMerge, RemovalTakesTheSeparatorWithTheReading) {
  List l;
  merge(l, Reading("AAAAA", 90, 100));
  merge(l, Reading("BBBBB", 90, 300));
  merge(l, Reading("CCCCC", 90, 500));
  RimuoviBarCode(l.text, l.conf, l.start, l.length, 6, 5, &l.count);
  EXPECT_EQ(l.str(), "AAAAA CCCCC");
  RimuoviBarCode(l.text, l.conf, l.start, l.length, 6, 5, &l.count);
  EXPECT_EQ(l.str(), "AAAAA");
}

TEST(BarcodeMerge, WeakRunsStartAnywhereButAtABlankCrOrLf) {
  const char text[] = "AB CD\rE";
  const char conf[] = {50, 10, 100, 19, 20, 3, 15};
  struct Case {
    int pos, want;
  } cases[] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}, {5, 0}, {6, 1}, {7, 0}};
  for (const Case& c : cases) EXPECT_EQ(ChechIfToDelete(c.pos, 7, text, conf), c.want) << c.pos;
}

TEST(BarcodeMerge, Base32ToBase10Table) {
  Confidence_ChecSumOK = 80;
  struct Case {
    const char* in;
    int rc;
    const char* out;
  } cases[] = {
      {"000000", 9, "000000000"}, {"000001", 9, "000000001"}, {"00000B", 9, "000000010"},
      {"00000Z", 9, "000000031"}, {"000010", 9, "000000032"}, {"0U0000", 9, "027262976"},
      {"3PRM8N", 9, "123456788"}, {"ZZZZZZ", -1, nullptr},   {"00000A", -1, nullptr},
      {"00000E", -1, nullptr},    {"00000I", -1, nullptr},    {"00000O", -1, nullptr},
      {"0000-0", -1, nullptr},    {"", 0, nullptr},
  };
  for (const Case& c : cases) {
    char t[16], k[16];
    std::strcpy(t, c.in);
    std::memset(k, 90, sizeof k);
    EXPECT_EQ(Base32ToBase10(t, k), c.rc) << c.in;
    if (c.out) {
      EXPECT_STREQ(t, c.out);
      EXPECT_EQ(k[8], 80);
    }
  }
}

TEST(BarcodeMerge, AReadingInsideASurerLongerOneIsItsPieceAndGoes) {
  const struct {
    std::vector<std::pair<const char*, int>> readings;  // text and confidence, in position order
    const char* want;
  } cases[] = {
      {{{"12345", 46}, {"1234567890", 90}, {"XYZ12", 80}}, "1234567890 XYZ12"},  // a head
      {{{"791545056762164987", 100}, {"6762164987", 46}}, "791545056762164987"},  // a tail
      {{{"1234567890", 60}, {"67890", 60}}, "1234567890 67890"},  // not surer: both stay
      {{{"1234567890", 46}, {"67890", 90}}, "1234567890 67890"},  // the surer one is shorter
  };
  for (const auto& c : cases) {
    List l;
    unsigned short pos = 100;
    for (const auto& [text, conf] : c.readings) merge(l, Reading(text, conf, pos += 200));
    l.count = DropPieces(l.text, l.conf, l.start, l.length, l.count);
    EXPECT_EQ(l.str(), c.want);
    EXPECT_EQ(l.text[l.count], 0);
  }
}
