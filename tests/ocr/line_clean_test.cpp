// The cleaning passes of an assembled reading and the re-spacing of a line: each on readings
// built by hand from its edge cases, with the threshold walks of the microperforated fonts.
#include "ocr_post_fixture.h"

namespace pvk::test {
namespace {

using LineClean = OcrPostTest;

TEST_F(LineClean, UnreadAndEmptyBoxes) {
  Reading r;
  r.push('A', 90, {10, 25});
  r.push('?', 60, {30, 34});  // narrower than aw / 3 = 5
  r.push('?', 60, {40, 48});
  r.push('B', 90, {60, 75});
  r.push('C', 90, {80, 80});  // no width
  VerificaCaratteriSovrappostiESpazi(r.t(), r.c(), r.i(), r.n, 3);
  EXPECT_EQ(r.str(), "A?B");
  EXPECT_EQ(r.confs(), (std::vector<int>{90, 1, 90}));
  EXPECT_EQ(r.lefts(), (std::vector<int>{10, 40, 60}));
}

TEST_F(LineClean, OverlapsAndBlanks) {
  Reading narrow;  // an unsure character narrower than half the reference goes
  narrow.push('A', 40, {10, 15});
  narrow.push('B', 90, {12, 40});
  VerificaCaratteriSovrappostiESpazi(narrow.t(), narrow.c(), narrow.i(), narrow.n, 3);
  EXPECT_EQ(narrow.str(), "B");

  Reading wide;  // both wide enough: the pair stays
  wide.push('A', 40, {10, 30});
  wide.push('B', 90, {20, 40});
  VerificaCaratteriSovrappostiESpazi(wide.t(), wide.c(), wide.i(), wide.n, 3);
  EXPECT_EQ(wide.str(), "AB");

  Reading blank;  // a blank overlapped by the character before it starts after it
  blank.push('A', 90, {10, 30});
  blank.push(' ', 90, {25, 60});
  blank.push('B', 90, {61, 80});
  VerificaCaratteriSovrappostiESpazi(blank.t(), blank.c(), blank.i(), blank.n, 10);
  EXPECT_EQ(blank.str(), "A B");
  EXPECT_EQ(blank.lefts(), (std::vector<int>{10, 31, 61}));

  for (int minBlank : {20, 21}) {  // two blanks merge; the merged one is then measured
    Reading two;
    two.push('A', 90, {10, 29});
    two.push(' ', 90, {30, 40});
    two.push(' ', 90, {41, 50});
    two.push('B', 90, {51, 70});
    VerificaCaratteriSovrappostiESpazi(two.t(), two.c(), two.i(), two.n, minBlank);
    EXPECT_EQ(two.str(), minBlank == 20 ? "A B" : "AB");
    if (minBlank == 20) {
      EXPECT_EQ(two.box(1).left, 30);
      EXPECT_EQ(two.box(1).right, 50);
    }
  }
}

TEST_F(LineClean, IsolatedCharactersPerLine) {
  Reading r;
  r.push('A', 90, {10, 25, 10, 40});
  r.push('B', 90, {30, 45, 12, 42});
  r.push('C', 90, {50, 65, 100, 130});  // below its line
  r.push('\r', 100, {10, 65, 10, 40});
  r.push('\n', 100, {10, 65, 10, 40});
  r.push('D', 90, {10, 25, 10, 40});
  r.push('E', 90, {30, 45, 100, 130});  // D and E share no rows; only one may go
  VerificaSeparati(r.t(), r.c(), r.i(), r.n);
  EXPECT_EQ(r.str(), "AB\r\nE");

  Reading unread;  // a '?' is no partner
  unread.push('A', 90, {10, 25, 10, 40});
  unread.push('?', 90, {30, 45, 10, 40});
  unread.push('B', 90, {50, 65, 10, 40});
  unread.push('x', 90, {70, 85, 60, 80});
  VerificaSeparati(unread.t(), unread.c(), unread.i(), unread.n);
  EXPECT_EQ(unread.str(), "A?B");
}

TEST_F(LineClean, LineEnd) {
  struct Case {
    const char* in;
    int blankWidth;
    int lastConf;
    const char* out;
  };
  const Case cases[] = {
      {"ABCDEFG H", 150, 50, "ABCDEFG"},  // a wide blank cuts, the unsure tail goes with it
      {"ABCDEFG x", 10, 40, "ABCDEFG"},   // an unsure last character after a blank
      {"ABCDEF x", 10, 40, "ABCDEF"},
      {"ABCDEFG x", 10, 70, "ABCDEFG x"},
      {"ABCDEFGH x", 10, 90, "ABCDEFGH x"},
      {"AB x", 150, 10, "AB x"},  // short readings stay
  };
  for (const Case& c : cases) {
    Reading r = Reading::of(c.in);
    const int blank = static_cast<int>(std::string(c.in).rfind(' '));
    r.box(blank).right = static_cast<uint16_t>(r.box(blank).left + c.blankWidth);
    r.c()[r.n - 1] = static_cast<char>(c.lastConf);
    PulisciFineRiga(r.t(), r.c(), r.i(), r.n);
    EXPECT_EQ(r.str(), c.out) << c.in;
  }
  Reading lines = Reading::of("ABCDEFG\r\nH x");
  lines.c()[lines.n - 1] = 10;
  PulisciFineRiga(lines.t(), lines.c(), lines.i(), lines.n);
  EXPECT_EQ(lines.n, 12);
}

TEST_F(LineClean, AboveAndBelowTheLine) {
  Reading r;
  r.push('A', 90, {10, 25});
  r.push(' ', 90, {26, 30});
  r.push(' ', 90, {31, 35});
  r.push('B', 90, {36, 50});
  r.push('C', 90, {51, 65});
  r.push('D', 90, {66, 80});
  r.push('x', 50, {81, 95, 45, 60});  // below the middle and the lower band
  r.push(' ', 90, {96, 110});
  r.push('\r', 100, {0, 0, 0, 0});
  r.push('\n', 100, {0, 0, 0, 0});
  r.push('z', 90, {10, 20, 200, 230});  // one character: left alone
  PulisciSottoSopraRiga(r.t(), r.c(), r.i(), r.n);
  EXPECT_EQ(r.str(), "A BCD\r\nz");
  EXPECT_EQ(r.box(1).right, 35);

  Reading spans;
  spans.push('A', 90, {10, 25, 10, 40});
  spans.push('B', 90, {30, 45, 10, 40});
  spans.push('y', 50, {50, 65, 20, 60});  // spans the middle: stays
  spans.push('\'', 5, {70, 75, 0, 12});   // above, unsure
  PulisciSottoSopraRiga(spans.t(), spans.c(), spans.i(), spans.n);
  EXPECT_EQ(spans.str(), "ABy");
}

TEST_F(LineClean, LineStart) {
  for (int left : {400, 401}) {
    Reading r = Reading::of("A?B");
    r.setConfs({90, 50, 3});
    for (int i = 0; i < 3; ++i) r.box(i).left = static_cast<uint16_t>(left + 20 * i);
    Reading kept = r;
    PulisciInizioRiga(r.t(), r.c(), r.i(), r.n, false);
    EXPECT_EQ(r.n, left == 400 ? 3 : 0);
    if (left == 401) {
      EXPECT_EQ(r.t()[0], '\0');
      EXPECT_EQ(r.c()[0], 0);
    }
    PulisciInizioRiga(kept.t(), kept.c(), kept.i(), kept.n, true);
    EXPECT_EQ(kept.confs(), left == 400 ? (std::vector<int>{90, 50, 3}) : (std::vector<int>{45, 50, 1}));
  }
  Reading debris;
  debris.push('x', 90, {100, 110});
  debris.push(' ', 90, {111, 140});
  debris.push('?', 90, {150, 165});
  debris.push('?', 90, {170, 185});
  debris.push('A', 90, {250, 265});
  debris.push('B', 90, {270, 285});
  PulisciInizioRiga(debris.t(), debris.c(), debris.i(), debris.n, false);
  EXPECT_EQ(debris.str(), "AB");
}

TEST_F(LineClean, AmountStart) {
  struct Case {
    const char* in;
    int firstConf;
    bool skip;
    const char* out;
  };
  const Case cases[] = {{"?*123", 90, false, "123"}, {"5*12", 70, false, "12"}, {"5*12", 85, false, "5*12"},
                        {"?*123", 90, true, "?*123"}, {"A 12", 90, false, "12"}};
  for (const Case& c : cases) {
    Reading r = Reading::of(c.in, 90, 30);  // columns 10, 40, 70, 100, ...
    r.c()[0] = static_cast<char>(c.firstConf);
    PulisciInizioRigaAmount(r.t(), r.c(), r.i(), r.n, c.skip);
    EXPECT_EQ(r.str(), c.out) << c.in;
  }
}

class Spacing : public OcrPostTest {
 protected:
  // Characters 15 wide, each after the given gap from the previous one.
  static Reading gaps(const std::string& s, const std::vector<int>& g, int capacity = kOcrChars) {
    Reading r(capacity);
    int left = 10;
    for (size_t i = 0; i < s.size(); ++i) {
      if (i > 0) left += 15 + g[i - 1];
      r.push(s[i], 90, {left, left + 15});
    }
    return r;
  }
};

TEST_F(Spacing, BlanksWhereTheGapPassesTheThreshold) {
  // Capitals 15 wide give aw 15; without databases the space factor is 0.9: T = 13, and 16
  // beside a '1'. The blank that stood between A and B is taken out and not put back.
  Reading r;
  r.push('A', 90, {10, 25});
  r.push(' ', 90, {26, 37});
  r.push('B', 70, {38, 53});
  r.push('C', 71, {67, 82});
  r.push('1', 72, {97, 112});
  r.push('D', 73, {129, 144});
  VerificaAggiungiSpazi(r.t(), r.c(), r.i(), r.n, kOcrChars, 4);
  EXPECT_EQ(r.str(), "AB C1 D");
  EXPECT_EQ(r.lefts(), (std::vector<int>{10, 38, 54, 67, 97, 113, 129}));
  EXPECT_EQ(r.rights(), (std::vector<int>{25, 53, 66, 82, 112, 128, 144}));
  EXPECT_EQ(r.confs(), (std::vector<int>{90, 70, 71, 71, 72, 73, 73}));
  EXPECT_EQ(r.box(2).agreement, 1);
  EXPECT_EQ(r.t()[7], '\0');
  EXPECT_EQ(r.c()[7], 0);
}

TEST_F(Spacing, AFullReadingEndsThePass) {
  Reading r = gaps("AB", {50}, 4);
  r.box(1).agreement = 5;
  VerificaAggiungiSpazi(r.t(), r.c(), r.i(), r.n, 3, 4);
  EXPECT_EQ(r.str(), "AB");
  EXPECT_EQ(r.lefts(), (std::vector<int>{10, 75}));
  EXPECT_EQ(r.box(1).agreement, 5);
  EXPECT_EQ(r.t()[2], '\0');
}

TEST_F(Spacing, FixedThresholdsOfMicroperforatedFonts) {
  // Number fields: 24 pixels at 300 dpi, 48 at 600 dpi.
  for (float scale : {1.0f, 2.0f}) {
    MyOcr.engineScale = scale;
    Reading r = gaps("2345", {24, 25, 47, 49});
    VerificaAggiungiSpazi(r.t(), r.c(), r.i(), r.n, kOcrChars, 935);
    EXPECT_EQ(r.str(), scale == 1.0f ? "23 4 5" : "2345") << scale;
  }
}

TEST_F(Spacing, Font944WidensUpToItsBound) {
  // Six tight pairs (gap -8) apart by G: the statistics give T = 27, and every pass that puts
  // blanks into the five wide gaps widens T by 4, the last step cut to the bound 40.
  for (int G : {40, 41}) {
    std::vector<int> g;
    for (int p = 0; p < 6; ++p) {
      if (p > 0) g.push_back(G);
      g.push_back(-8);
    }
    Reading r = gaps("222222222222", g);
    VerificaAggiungiSpazi(r.t(), r.c(), r.i(), r.n, kOcrChars, 944);
    EXPECT_EQ(r.str(), G == 40 ? "222222222222" : "22 22 22 22 22 22") << G;
  }
}

TEST_F(Spacing, Font945NarrowsDownToAThirdOfTheWidth) {
  // Uniform gaps: the statistics give T above them; each pass without blanks narrows T by 2,
  // never to aw / 3 = 5.
  for (int G : {6, 7}) {
    Reading r = gaps("2222222222", std::vector<int>(9, G));
    VerificaAggiungiSpazi(r.t(), r.c(), r.i(), r.n, kOcrChars, 945);
    EXPECT_EQ(r.str(), G == 6 ? "2222222222" : "2 2 2 2 2 2 2 2 2 2") << G;
  }
}

TEST_F(Spacing, ShortReadingsStay) {
  Reading r = gaps("A", {});
  VerificaAggiungiSpazi(r.t(), r.c(), r.i(), r.n, kOcrChars, 4);
  EXPECT_EQ(r.str(), "A");
}

}  // namespace
}  // namespace pvk::test
