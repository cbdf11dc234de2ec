// Merging two readings of one zone: agreeing readings, look-alike pairs, characters only one
// reading has, lines only one reading has, duplicate rows, and the position-by-position merge.
#include "ocr_post_fixture.h"

namespace pvk::test {
namespace {

class LookAlike : public OcrPostTest {
 protected:
  // Merges n into k; the result code of the merge.
  static int merge(Reading& n, Reading& k, bool margins = false, bool editNew = true, bool sum = false) {
    return ConfrontaSimili(n.t(), n.c(), n.i(), n.n, k.t(), k.c(), k.i(), k.n, margins, kOcrChars, editNew, sum);
  }
  // One character between two sure neighbours A and B, as K and N read it.
  static void pair(char kc, int kConf, char nc, int nConf, Reading& k, Reading& n) {
    k = Reading::of(std::string("A") + kc + "B");
    n = Reading::of(std::string("A") + nc + "B");
    k.c()[1] = static_cast<char>(kConf);
    n.c()[1] = static_cast<char>(nConf);
  }
};

TEST_F(LookAlike, AgreeingReadingsFold) {
  for (bool sum : {false, true}) {
    Reading k = Reading::of("AB12"), n = Reading::of("AB12");
    k.setConfs({40, 30, 20, 10});
    n.setConfs({20, 50, 20, 30});
    for (int i = 0; i < 4; ++i) n.box(i).agreement = 3;
    EXPECT_EQ(merge(n, k, false, true, sum), 1);
    EXPECT_EQ(k.str(), "AB12");
    if (sum) {
      EXPECT_EQ(k.confs(), (std::vector<int>{50, 65, 30, 35}));
      for (int i = 0; i < 4; ++i) EXPECT_EQ(k.box(i).agreement, 4);
    } else {
      EXPECT_EQ(k.confs(), (std::vector<int>{40, 50, 20, 30}));
      EXPECT_EQ(k.box(0).agreement, 1);
      EXPECT_EQ(k.box(1).agreement, 3);
    }
    EXPECT_EQ(k.t()[4], '\0');
  }
}

TEST_F(LookAlike, EmptyReadingsAreNotMerged) {
  Reading k = Reading::of("AB"), n(kOcrChars);
  EXPECT_EQ(merge(n, k), 0);
  EXPECT_EQ(merge(k, n), 0);
  EXPECT_EQ(k.str(), "AB");
}

TEST_F(LookAlike, PairRules) {
  struct Case {
    short font;
    char kc;
    int kConf;
    char nc;
    int nConf;
    bool margins;
    char kAfter;
    int kConfAfter;
    char nAfter;
    int nDeeper = 0;  // how many pixels lower N's box ends
  };
  const Case cases[] = {
      {935, 'O', 60, 'D', 60, false, 'D', 60, 'D'},  // microperforated O against D
      {935, 'D', 60, 'O', 90, false, 'D', 60, 'O'},
      {935, 'F', 60, 'P', 60, false, 'P', 60, 'P'},
      {4, 'E', 50, 'F', 65, false, 'E', 50, 'E'},  // K keeps E, N takes it
      {4, 'E', 50, 'F', 71, false, 'F', 71, 'F'},
      {4, 'P', 50, 'R', 80, false, 'R', 80, 'R'},
      {4, '?', 1, 'X', 60, false, 'X', 60, 'X'},  // unread against read
      {4, 'X', 60, '?', 1, false, 'X', 60, 'X'},
      {4, 'a', 60, 'A', 90, false, 'a', 60, 'A'},  // the same letter: unchanged
      {4, 'U', 50, 'J', 95, false, 'U', 50, 'J'},  // a much surer J only loses 10
      {4, 'U', 50, 'J', 80, false, 'U', 50, 'U'},
      {4, 'X', 40, 'K', 60, false, 'K', 40, 'K'},  // the confidence rule
      {4, 'X', 50, 'K', 60, true, '?', 1, 'K'},
      {4, 'X', 70, 'K', 60, false, 'X', 40, 'K'},
      {4, '8', 80, 'B', 60, false, '8', 80, '8'},  // digit against letter with the margin 10
      {4, '5', 60, 'S', 75, false, 'S', 75, 'S'},
      {3, '0', 66, 'Q', 74, true, 'Q', 74, 'Q', 1},  // OCR-B: a Q reaching lower outlives its lost tail
      {3, '0', 66, 'Q', 74, true, '?', 1, 'Q'},
      {944, ',', 100, '7', 85, false, '7', 85, '7'},  // an amount's comma is a piece of the figure over it
      {944, '7', 85, ',', 100, false, '7', 85, '7'},
      {944, ',', 100, '7', 30, false, ',', 100, ','},      // unless the figure is weak
      {4, ',', 100, '7', 85, false, ',', 58, '7'},         // elsewhere the confidence rule
  };
  for (const Case& c : cases) {
    MyOcr.currentFont = c.font;
    Reading k, n;
    pair(c.kc, c.kConf, c.nc, c.nConf, k, n);
    n.box(1).bottom += c.nDeeper;
    merge(n, k, c.margins);
    const std::string what = std::string(1, c.kc) + " against " + c.nc;
    EXPECT_EQ(k.t()[1], c.kAfter) << what;
    EXPECT_EQ(k.c()[1], c.kConfAfter) << what;
    EXPECT_EQ(n.t()[1], c.nAfter) << what;
    EXPECT_EQ(k.n, 3) << what;
  }
}

TEST_F(LookAlike, TheNewReadingStaysWithoutEditNew) {
  Reading k, n;
  pair('E', 50, 'F', 65, k, n);
  merge(n, k, false, false);
  EXPECT_EQ(k.str(), "AEB");
  EXPECT_EQ(n.str(), "AFB");
}

TEST_F(LookAlike, CharactersOnlyOneReadingHas) {
  Reading k;
  k.push('A', 90, {10, 25});
  k.push('C', 90, {50, 65});
  Reading n = Reading::of("ABC");
  merge(n, k);
  EXPECT_EQ(k.str(), "ABC");
  EXPECT_EQ(k.lefts(), (std::vector<int>{10, 30, 50}));

  for (bool editNew : {true, false}) {
    Reading kept = Reading::of("ABC");
    Reading fresh;
    fresh.push('A', 90, {10, 25});
    fresh.push('C', 90, {50, 65});
    merge(fresh, kept, false, editNew);
    EXPECT_EQ(kept.str(), "ABC");
    EXPECT_EQ(fresh.str(), editNew ? "ABC" : "AC");
  }
}

TEST_F(LookAlike, UnsureCharactersAreNotCarried) {
  MyOcr.minLineConf = 50;
  Reading k;
  k.push('A', 90, {10, 25});
  k.push('C', 90, {50, 65});
  Reading n = Reading::of("ABC");
  n.c()[1] = 50;
  merge(n, k);
  EXPECT_EQ(k.str(), "A C");  // the gap B would have filled takes a blank
}

TEST_F(LookAlike, TheRestOfALongerLine) {
  Reading k = Reading::of("AB");
  Reading n = Reading::of("ABCD");
  n.c()[3] = 8;  // an unsure tail character comes over as unread
  merge(n, k);
  EXPECT_EQ(k.str(), "ABC?");
  EXPECT_EQ(k.c()[3], 1);
}

TEST_F(LookAlike, ALineOfTheNewReadingAboveTheKeptOne) {
  for (int minLine : {0, 95}) {
    MyOcr.minLineConf = static_cast<uint8_t>(minLine);
    Reading k;
    for (int i = 0; i < 3; ++i) k.push("ABC"[i], 90, {10 + 20 * i, 25 + 20 * i, 100, 130});
    Reading n = Reading::of("XYZ");
    merge(n, k);
    if (minLine == 0) {
      ASSERT_EQ(k.str(), "XYZ\r\nABC");
      EXPECT_EQ(k.c()[3], 100);
      EXPECT_EQ(k.c()[4], 100);
      EXPECT_EQ(k.box(3).left, 10);
      EXPECT_EQ(k.box(3).right, 65);
      EXPECT_EQ(k.box(3).top, 10);
      EXPECT_EQ(k.box(3).bottom, 40);
    } else {
      EXPECT_EQ(k.str(), "ABC");
    }
  }
}

TEST_F(LookAlike, KeptLineAboveGoesIntoTheNewReading) {
  Reading k = Reading::of("XYZ");
  Reading n;
  for (int i = 0; i < 3; ++i) n.push("ABC"[i], 90, {10 + 20 * i, 25 + 20 * i, 100, 130});
  merge(n, k);
  EXPECT_EQ(k.str(), "XYZ");
  EXPECT_EQ(n.str(), "XYZ\r\nABC");
}

TEST_F(LookAlike, BlanksAreMadeAgainFromTheGaps) {
  // Gaps of 5 and 40 with aw 15 and a space factor 0.9: a blank where the gap passes 13.
  Reading k, n;
  for (Reading* r : {&k, &n}) {
    r->push('A', 90, {10, 25});
    r->push('B', 90, {30, 45});
    r->push('C', 90, {85, 100});
  }
  k.push('D', 90, {105, 120});
  n.push('D', 90, {105, 120});
  merge(n, k);
  EXPECT_EQ(k.str(), "AB CD");
  EXPECT_EQ(k.box(2).left, 46);
  EXPECT_EQ(k.box(2).right, 84);
  EXPECT_EQ(k.c()[2], 100);
}

TEST_F(LookAlike, DigitAgainstLetter) {
  struct Case {
    bool weigh;
    const char* kText;
    int iK;
    int kConf;
    char nc;
    int nConf;
    bool decided;
    char kAfter, nAfter;
  };
  const Case cases[] = {
      {false, "I", 0, 80, '1', 60, true, 'I', 'I'},
      {false, "I", 0, 65, '1', 60, false, 'I', '1'},
      {false, "I", 0, 60, '1', 75, true, '1', '1'},
      {true, "AB1CD", 2, 80, 'I', 40, true, 'I', 'I'},  // letters around: the letter wins
      {true, "AB1CD", 2, 80, 'I', 30, true, '1', '1'},  // ... unless it is unsure
      {true, "A1B", 1, 80, 'I', 40, true, '1', '1'},    // a digit near the ends: no neighbour rule
      {true, "12I", 2, 60, '1', 50, true, '1', '1'},    // a missing neighbour matches a letter's
      {true, "A?I", 2, 65, '1', 60, false, 'I', '1'},   // no class around: the margin decides
      {true, "X", 0, 90, '1', 10, false, 'X', '1'},     // not the pair
  };
  for (const Case& c : cases) {
    pesaNumLet = c.weigh;
    Reading k = Reading::of(c.kText);
    k.c()[c.iK] = static_cast<char>(c.kConf);
    Reading n = Reading::of(std::string(1, c.nc));
    n.c()[0] = static_cast<char>(c.nConf);
    const bool decided =
        ConfrontaNumeroLettera('1', 'I', 10, c.iK, k.t(), k.c(), k.i(), k.n, 0, n.t(), n.c(), n.i(), n.n);
    EXPECT_EQ(decided, c.decided) << c.kText << " " << c.nConf;
    EXPECT_EQ(k.t()[c.iK], c.kAfter) << c.kText << " " << c.nConf;
    EXPECT_EQ(n.t()[0], c.nAfter) << c.kText << " " << c.nConf;
  }
}

TEST_F(LookAlike, LettersAlikeLoseThePenalty) {
  struct Case {
    int a, b;
    char kAfter;
    int kConf;
    char nAfter;
    int nConf;
  };
  // With the margins 20 and -20 only b = a + 20 reaches the penalty.
  const Case cases[] = {{50, 70, 'E', 40, 'F', 70}, {5, 25, '?', 1, 'F', 25}, {50, 69, 'E', 50, 'E', 50}};
  for (const Case& c : cases) {
    Reading k = Reading::of("E"), n = Reading::of("F");
    k.c()[0] = static_cast<char>(c.a);
    n.c()[0] = static_cast<char>(c.b);
    EXPECT_TRUE(ConfrontaLettereSimili(0, k.t(), k.c(), k.i(), k.n, 0, n.t(), n.c(), n.i(), n.n, true, 20, -20, 10));
    EXPECT_EQ(k.t()[0], c.kAfter) << c.a;
    EXPECT_EQ(k.c()[0], c.kConf) << c.a;
    EXPECT_EQ(n.t()[0], c.nAfter) << c.a;
    EXPECT_EQ(n.c()[0], c.nConf) << c.a;
  }
}

TEST_F(LookAlike, DuplicateRows) {
  auto rows = [](const std::vector<std::pair<std::string, int>>& lines) {
    Reading r;
    for (size_t l = 0; l < lines.size(); ++l) {
      if (l > 0) {
        r.push('\r', 100, {0, 0, 0, 0});
        r.push('\n', 100, {0, 0, 0, 0});
      }
      const int top = lines[l].second;
      for (size_t i = 0; i < lines[l].first.size(); ++i)
        r.push(lines[l].first[i], 90, {10 + 20 * static_cast<int>(i), 25 + 20 * static_cast<int>(i), top, top + 30});
    }
    return r;
  };
  struct Case {
    std::vector<std::pair<std::string, int>> lines;
    const char* out;
  };
  const Case cases[] = {
      {{{"ABC", 10}, {"ABC", 12}}, "ABC"},
      {{{"ABC", 10}, {"XYZ", 100}}, "ABC\r\nXYZ"},
      {{{"   ", 10}, {"XYZ", 100}}, "XYZ"},
      {{{"ABC", 10}, {"DEF", 100}, {"DEF", 100}}, "ABC\r\nDEF"},
  };
  for (const Case& c : cases) {
    Reading r = rows(c.lines);
    VerificaRigheDiverse(r.t(), r.c(), r.i(), r.n, 0);
    EXPECT_EQ(r.str(), c.out);
  }
}

TEST_F(LookAlike, SameLengthReadings) {
  struct Case {
    const char* t1;
    std::vector<int> c1;
    const char* t2;
    std::vector<int> c2;
    int settle;
    bool changed;
    const char* t2After;
    std::vector<int> c2After;
  };
  const Case cases[] = {
      {"AB?", {50, 60, 70}, "AB?", {40, 70, 1}, 0, true, "AB?", {50, 70, 70}},
      {"ABC", {50, 50, 50}, "AB ", {50, 50, 50}, 0, true, "ABC", {50, 50, 50}},
      {"A0", {50, 60}, "AO", {50, 40}, 0, true, "A0", {50, 60}},
      {"ABX", {50, 50, 60}, "ABY", {50, 50, 50}, 0, false, "ABY", {50, 50, 50}},
      {"ABX", {50, 50, 60}, "ABY", {50, 50, 50}, 1, true, "ABX", {50, 50, 60}},
      {"ABX", {50, 50, 54}, "ABY", {50, 50, 50}, 1, true, "AB?", {50, 50, 1}},
      {"ABX", {50, 50, 40}, "ABY", {50, 50, 50}, 1, false, "ABY", {50, 50, 50}},
      {"ABCD", {90, 90, 90, 90}, "WXYZ", {1, 1, 1, 1}, 1, false, "WXYZ", {1, 1, 1, 1}},
      {"ABC", {90, 90, 90}, "AB", {1, 1}, 1, false, "AB", {1, 1}},
  };
  for (const Case& c : cases) {
    Reading a = Reading::of(c.t1), b = Reading::of(c.t2);
    for (size_t i = 0; i < c.c1.size(); ++i) a.c()[i] = static_cast<char>(c.c1[i]);
    for (size_t i = 0; i < c.c2.size(); ++i) b.c()[i] = static_cast<char>(c.c2[i]);
    EXPECT_EQ(ConfrontaSimili2(a.t(), a.c(), a.n, b.t(), b.c(), b.n, c.settle), c.changed) << c.t1 << c.t2;
    EXPECT_EQ(b.str(), c.t2After) << c.t1 << c.t2;
    EXPECT_EQ(b.confs(), c.c2After) << c.t1 << c.t2;
  }
}

}  // namespace
}  // namespace pvk::test
