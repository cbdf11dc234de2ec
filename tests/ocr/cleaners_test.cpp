// The per-font cleaners: the three size filters, zero against letter O by height, the stamp
// tail, and the microperforated fields against the expected texts of the cheque check.
#include <cstdio>

#include "ocr_post_fixture.h"

namespace pvk::test {
namespace {

using Cleaners = OcrPostTest;

// Characters 15 wide and 30 high on a pitch of 20, with the boxes given by index changed.
Reading sized(const std::string& s, std::initializer_list<std::pair<int, Box>> changed = {}) {
  Reading r = Reading::of(s);
  for (const auto& [i, b] : changed) {
    r.box(i).left = static_cast<uint16_t>(b.left);
    r.box(i).right = static_cast<uint16_t>(b.right);
    r.box(i).top = static_cast<uint16_t>(b.top);
    r.box(i).bottom = static_cast<uint16_t>(b.bottom);
  }
  return r;
}

TEST_F(Cleaners, TooFewMeasurableCharactersClearTheReading) {
  using Filter = void (*)(char*, char*, ChInfo*, int&, int, int, int, int);
  for (Filter f : {Filter{PulisciMicroperforati}, Filter{PulisciFontOCRB}, Filter{PulisciFontFixSize}}) {
    Reading r = Reading::of("A-B");
    r.c()[2] = 30;  // not above 30: not measured
    f(r.t(), r.c(), r.i(), r.n, 0, 0, 0, 0);
    EXPECT_EQ(r.n, 0);
  }
}

TEST_F(Cleaners, MicroperforatedSizes) {
  // Eight digits, the fifth 31 wide: averages 17 x 30, widths 13..23, heights 25..38.
  Reading r = sized("12345678/-", {{4, {90, 121}}, {8, {170, 185, 10, 32}}, {9, {190, 193}}});
  PulisciMicroperforati(r.t(), r.c(), r.i(), r.n, 0, 0, 0, 0);
  EXPECT_EQ(r.str(), "1234?678/-");  // the slash counts 34/23 of its height; the dash is not measured
  EXPECT_EQ(r.c()[4], 1);
  // Longer than ten characters: the unread outlier goes.
  Reading longer = sized("12345678/-9", {{4, {90, 121}}, {8, {170, 185, 10, 32}}, {9, {190, 193}}});
  PulisciMicroperforati(longer.t(), longer.c(), longer.i(), longer.n, 0, 0, 0, 0);
  EXPECT_EQ(longer.str(), "1234678/-9");
  // The caller's limits narrow the bounds.
  Reading limited = sized("123456", {{2, {50, 65, 10, 43}}});
  PulisciMicroperforati(limited.t(), limited.c(), limited.i(), limited.n, 0, 0, 0, 32);
  EXPECT_EQ(limited.str(), "12?456");
}

TEST_F(Cleaners, SmallUnreadCharacters) {
  // '?' 2 wide, below a fifth of the average width 15.
  Reading ocrb = sized("AB?CD", {{2, {50, 52}}});
  ocrb.c()[2] = 1;
  Reading fixed = ocrb;
  PulisciFontOCRB(ocrb.t(), ocrb.c(), ocrb.i(), ocrb.n, 0, 0, 0, 0);
  EXPECT_EQ(ocrb.str(), "ABCD");
  PulisciFontFixSize(fixed.t(), fixed.c(), fixed.i(), fixed.n, 0, 0, 0, 0);
  EXPECT_EQ(fixed.str(), "AB CD");
}

// The CMC7 limits (25..38 wide, at least 26 high at 300 dpi) follow the engine scale, truncated:
// a probe beside nine characters of the zone's usual size is kept or turned unread.
TEST_F(Cleaners, Cmc7SizesAtTheEngineScale) {
  struct Case {
    float scale;
    int fillW, fillH, w, h;
    bool kept;
  };
  const Case cases[] = {
      {1.0f, 25, 34, 25, 34, true},  {1.0f, 25, 34, 24, 34, false}, {1.0f, 25, 34, 25, 26, true},
      {1.0f, 25, 34, 25, 25, false}, {1.0f, 25, 34, 38, 34, true},  {1.0f, 25, 34, 39, 34, false},
      // 240 dpi: 20, 30.4 and 20.8 cut to 20, 30 and 20
      {0.8f, 20, 27, 20, 27, true},  {0.8f, 20, 27, 19, 27, false}, {0.8f, 20, 27, 20, 20, true},
      {0.8f, 20, 27, 20, 19, false}, {0.8f, 20, 27, 30, 27, true},  {0.8f, 20, 27, 31, 27, false},
      // 200 dpi: 16.7 and 17.3 cut to 16 and 17
      {200.0f / 300, 17, 23, 16, 23, true}, {200.0f / 300, 17, 23, 15, 23, false},
      {200.0f / 300, 17, 23, 17, 17, true}, {200.0f / 300, 17, 23, 17, 16, false},
  };
  for (const Case& c : cases) {
    Reading r;
    for (int i = 0; i < 10; ++i) {
      const bool probe = i == 4;
      const int w = probe ? c.w : c.fillW, h = probe ? c.h : c.fillH;
      r.push('3', 90, {40 * i, 40 * i + w, 10, 10 + h});
    }
    pvk::ocr::cleanCmc7Sizes(r.t(), r.c(), r.i(), r.n, c.scale);
    EXPECT_EQ(r.str()[4], c.kept ? '3' : '?') << c.scale << " " << c.w << "x" << c.h;
    EXPECT_EQ(r.str().substr(0, 4), "3333");
  }
}

TEST_F(Cleaners, LargeUnreadCharactersOfOCRB) {
  struct Case {
    const char* in;
    int at;  // the '?', 40 wide: above 8/5 of the average
    const char* out;
  };
  const Case cases[] = {{"AB ? CD", 3, "AB CD"}, {"ABC?DE", 3, "ABC?DE"}, {" AB ?", 4, "AB"}};
  for (const Case& c : cases) {
    Reading r = sized(c.in, {{c.at, {70, 110}}});
    r.c()[c.at] = 1;
    PulisciFontOCRB(r.t(), r.c(), r.i(), r.n, 0, 0, 0, 0);
    EXPECT_EQ(r.str(), c.out) << c.in;
  }
  Reading tall = sized("ABCDE", {{2, {50, 65, 0, 60}}});
  PulisciFontOCRB(tall.t(), tall.c(), tall.i(), tall.n, 0, 0, 0, 0);
  EXPECT_EQ(tall.str(), "AB?DE");
}

TEST_F(Cleaners, ZeroAgainstLetterOByHeight) {
  // Heights per character; '0' and 'O' marked '*' in flags carry the zero/letter-O flag. The
  // zero and the O are told by where their height falls between the capitals' and the digits'
  // (taken 9 % above the capitals when the line has none), clear of the threshold by a fifth of
  // the gap and by 0.75 px at least. What the heights cannot settle comes out at 40: on the side
  // its height leans to by half a pixel or more, else on the side of its word's other characters.
  struct Case {
    const char* text;
    std::vector<int> heights;
    const char* flags;
    const char* out;
    std::vector<int> conf;
    int read = 90;  // the confidence of every entry as read
  };
  const Case cases[] = {
      // Digits 34, capitals 30: the threshold is 32.6, a height must stand 0.8 clear of it. The
      // O at 33 stands above the zero turned to O at 31, across the threshold: a zero.
      {"23BC0O0", {34, 34, 30, 30, 31, 33, 31}, "    ** ", "23BCO00", {90, 90, 90, 90, 45, 40, 90}},
      {"23BC0O0", {34, 34, 30, 30, 31, 34, 31}, "    ** ", "23BCO00", {90, 90, 90, 90, 45, 45, 90}},
      // Digits only 2 taller: still apart, the threshold 31.6; 0.6 below it only leans to 'O'.
      {"23BC0O0", {32, 32, 30, 30, 31, 33, 31}, "    ** ", "23BCO00", {90, 90, 90, 90, 40, 45, 90}},
      {"23BC0O0", {32, 32, 30, 30, 31, 32, 31}, "    ** ", "23BCO00", {90, 90, 90, 90, 40, 40, 90}},
      // 8-point type at 200 dpi: capitals 15, digits 17, the threshold 16.30. An O a pixel taller
      // than its capitals (16) proves nothing and takes its word's letters; one at 17 (0.70 over)
      // leans to zero, one at 18 (1.70 over) is a zero for sure.
      {"R0AD 27", {15, 16, 15, 15, 15, 17, 17}, " *     ", "ROAD 27", {90, 40, 90, 90, 90, 90, 90}},
      {"R0AD 27", {15, 17, 15, 15, 15, 17, 17}, " *     ", "R0AD 27", {90, 40, 90, 90, 90, 90, 90}},
      {"ROAD 27", {15, 18, 15, 15, 15, 17, 17}, " *     ", "R0AD 27", {90, 45, 90, 90, 90, 90, 90}},
      {"BOX 1O0", {15, 16, 15, 15, 17, 16, 16}, " *   **", "BOX 100", {90, 40, 90, 90, 90, 40, 40}},
      // A confident zero the heights turn to O keeps no more than 49 (a Q whose tail is lost).
      {"23BC0", {34, 34, 30, 30, 31}, "    *", "23BCO", {100, 100, 100, 100, 49}, 100},
      // 8 points at 200 dpi, the zeros and O 16 high, the threshold 16.05: the line's zeros and O at two
      // heights either side of it part them; an open one as high as one its word settled follows it.
      {"000 AP 47280", {16, 16, 16, 1, 15, 15, 1, 16, 16, 17, 17, 17}, "***        *", "OOO AP 47280",
       {40, 40, 40, 90, 90, 90, 90, 90, 90, 90, 90, 90}},
      {"DOOR 000", {16, 16, 16, 15, 1, 16, 16, 16}, " **  ***", "DOOR OOO", {90, 40, 40, 90, 90, 40, 40, 40}},
      // One alone: above the round capitals it is a zero, a pixel under the middle figure an O.
      {"7UO 27 H", {17, 16, 17, 1, 17, 17, 1, 15}, "  *     ", "7U0 27 H", {90, 90, 40, 90, 90, 90, 90, 90}},
      {"7X0 27 H", {17, 15, 16, 1, 17, 17, 1, 15}, "  *     ", "7XO 27 H", {90, 90, 40, 90, 90, 90, 90, 90}},
      // A mixed word: the nearest settled neighbours decide when they agree, else nothing moves.
      {"AO7 KOX 4O8", {15, 16, 17, 15, 15, 16, 15, 15, 17, 16, 17}, " *   *   * ", "AO7 KOX 408",
       {90, 40, 90, 90, 90, 40, 90, 90, 90, 40, 90}},
      // Digits no taller than capitals: nothing is settled.
      {"23BC0O0", {30, 30, 30, 30, 31, 33, 31}, "    ** ", "23BC0O0", {90, 90, 90, 90, 40, 40, 90}},
      // Neither: a ring a pixel over two round capitals, the line's tallest, is a zero among
      // letters; one a pixel lower is not, nor one under the line's taller rings. One no taller
      // than the round capitals that its word and neighbours leave open is an O.
      {"IUGOW 7", {27, 29, 29, 30, 27, 1, 28}, "   *   ", "IUG0W 7", {90, 90, 90, 40, 90, 90, 90}},
      {"IUG0W 7", {27, 29, 29, 29, 27, 1, 28}, "   *   ", "IUGOW 7", {90, 90, 90, 40, 90, 90, 90}},
      {"QU0TA 100", {18, 18, 19, 17, 17, 1, 18, 20, 20}, "  *    **", "QUOTA 100",
       {90, 90, 40, 90, 90, 90, 90, 40, 40}},
      {"G03 QU", {18, 18, 18, 1, 18, 18}, " *    ", "GO3 QU", {90, 40, 90, 90, 90, 90}},
      {"G03 QU", {18, 19, 18, 1, 18, 18}, " *    ", "G03 QU", {90, 40, 90, 90, 90, 90}},
      // A word of rings alone takes its rings' majority: one leaning to zero by 0.7 px follows
      // the three the line's two ring heights make letters O.
      {"O0OO AB 47", {16, 17, 16, 16, 1, 15, 15, 1, 17, 17}, "****      ", "OOOO AB 47",
       {40, 40, 40, 40, 90, 90, 90, 90, 90, 90}},
      // No digit: the digits stand 9 % above the capitals, the threshold is 31.9.
      {"BCE0O", {30, 30, 30, 31, 33}, "   **", "BCEO0", {90, 90, 90, 45, 45}},
      {"ROOM", {30, 31, 31, 30}, " ** ", "ROOM", {90, 90, 90, 90}},
      // Nothing to measure against.
      {"OOO", {30, 30, 30}, "***", "OOO", {40, 40, 40}},
  };
  MyOcr.currentFont = 3;
  for (const Case& c : cases) {
    Reading r;
    for (size_t i = 0; i < c.heights.size(); ++i) {
      r.push(c.text[i], c.read, {static_cast<int>(10 + 20 * i), static_cast<int>(25 + 20 * i), 10, 10 + c.heights[i]});
      r.box(static_cast<int>(i)).zeroLetterO = c.flags[i] == '*' ? 1 : 0;
    }
    verificaO0_OCRB(r.t(), r.c(), r.i(), r.n);
    EXPECT_EQ(r.str(), c.out) << c.text;
    EXPECT_EQ(r.confs(), c.conf) << c.text;
  }
  // Only the alphanumeric OCR-B fonts.
  MyOcr.currentFont = 4;
  Reading other;
  for (int i = 0; i < 3; ++i) other.push('O', 90, {10 + 20 * i, 25 + 20 * i, 10, 40});
  verificaO0_OCRB(other.t(), other.c(), other.i(), other.n);
  EXPECT_EQ(other.confs(), (std::vector<int>{90, 90, 90}));
}

TEST_F(Cleaners, OcrbFragmentsComeOutUnder50) {
  // Five boxes 20 wide and 30 high but the last (w x h): a capital or figure narrower than 5/8
  // of the mean width or lower than 4/5 of the mean height drops to 40; I and 1 are narrow by
  // design, marks are not measured.
  struct Case {
    const char* text;
    int w, h, conf;
  };
  const Case cases[] = {
      {"ABCDL", 12, 30, 90},  // mean width 18.4: 12 is 0.652 of it
      {"ABCDL", 11, 30, 40},  // 18.2: 11 is 0.604
      {"ABCDU", 20, 23, 90},  // mean height 28.6: 23 is 0.804 of it
      {"ABCDU", 20, 22, 40},  // 28.4: 22 is 0.775
      {"ABCD7", 8, 30, 40},   {"ABCDI", 8, 30, 90}, {"ABCD1", 8, 30, 90}, {"ABCD-", 8, 6, 90},
  };
  MyOcr.currentFont = 3;
  for (const Case& c : cases) {
    Reading r;
    for (int i = 0; i < 5; ++i) {
      const int w = i == 4 ? c.w : 20, h = i == 4 ? c.h : 30;
      r.push(c.text[i], 90, {10 + 30 * i, 10 + 30 * i + w, 10, 10 + h});
    }
    pvk::ocr::capOcrbFragments(r.t(), r.c(), r.i(), r.n);
    EXPECT_EQ(r.str(), c.text);
    EXPECT_EQ(r.confs(), (std::vector<int>{90, 90, 90, 90, c.conf})) << c.text << " " << c.w << "x" << c.h;
  }
}

TEST_F(Cleaners, StampTail) {
  struct Case {
    const char* in;
    int pos;
    const char* out;
  };
  const Case cases[] = {{"ABCD x y", 4, "ABCD"}, {"ABCD xy", 4, "ABCD xy"}, {"ABCDx y", 4, "ABCD"},
                        {"ABCD ?x", 4, "ABCD"},  {"ABCDE", 4, "ABCD"},      {"ABCD", 4, "ABCD"},
                        {"ABCD", -1, "ABCD"}};
  for (const Case& c : cases) {
    Reading r = Reading::of(c.in);
    RimuoviTimbri(c.pos, r.t(), r.c(), r.i(), r.n);
    EXPECT_EQ(r.str(), c.out) << c.in;
    EXPECT_EQ(r.t()[r.n], '\0') << c.in;
  }
}

TEST_F(Cleaners, AcceptingMicroperforatedReadings) {
  struct Case {
    short font;
    const char* text;
    int conf;
    const char* number;
    const char* payee;
    const char* amount1;
    const char* amount2;
    bool ok;
  };
  const Case cases[] = {
      {945, "ROSSI", 100, "", "", "", "", true},  // no expected payee: all sure, three or more
      {945, "ROSSI", 99, "", "", "", "", false},
      {945, "RO", 100, "", "", "", "", false},
      {945, "ROSSI", 40, "", "ROSSI", "", "", true},
      {939, "ROSSO", 100, "", "ROSSI", "", "", false},
      {935, "0123456789", 40, "0123456789", "", "", "", true},
      {938, "0123456789", 100, "", "", "", "", false},
      {944, "999", 50, "", "", "123,45", "999", true},
      {940, "999", 100, "", "", "123,45", "", false},
      {937, "999", 100, "", "", "", "", true},
      {945, "RO?SI", 100, "", "", "", "", false},
      {4, "ROSSI", 100, "", "", "", "", false},
  };
  for (const Case& c : cases) {
    MyITACheck = ITACheckInfo{};
    std::snprintf(MyITACheck.expected1, sizeof MyITACheck.expected1, "%s", c.number);
    std::snprintf(MyITACheck.expPayee, sizeof MyITACheck.expPayee, "%s", c.payee);
    std::snprintf(MyITACheck.expAmount1, sizeof MyITACheck.expAmount1, "%s", c.amount1);
    std::snprintf(MyITACheck.expAmount2, sizeof MyITACheck.expAmount2, "%s", c.amount2);
    Reading r = Reading::of(c.text, c.conf);
    EXPECT_EQ(MicorforaturaOK(c.font, r.t(), r.c(), r.n), c.ok) << c.font << " " << c.text;
    const bool matched = c.ok && c.conf < 100;
    if (matched) {
      EXPECT_EQ(r.confs(), std::vector<int>(r.n, 100)) << c.text;
    }
  }
}

TEST_F(Cleaners, RetryWithUnreadCharactersBlanked) {
  MyOcr.currentFont = 945;
  std::snprintf(MyITACheck.expPayee, sizeof MyITACheck.expPayee, "ROSSI MARIO");
  Reading r = Reading::of("?ROSSI??MARIO?", 60);
  EXPECT_TRUE(VerificaMicroforaturaConPulizia(r.t(), r.c(), r.i(), r.n));
  EXPECT_EQ(r.str(), "ROSSI MARIO");
  EXPECT_EQ(r.t()[r.n], '\0');
  EXPECT_EQ(r.confs(), std::vector<int>(11, 100));
  EXPECT_EQ(r.box(5).left, 130);  // the merged blank runs over both unread places
  EXPECT_EQ(r.box(5).right, 165);
  Reading other = Reading::of("?ROSSI??MARIA?", 60);
  EXPECT_FALSE(VerificaMicroforaturaConPulizia(other.t(), other.c(), other.i(), other.n));
  EXPECT_EQ(other.str(), "?ROSSI??MARIA?");
}

TEST_F(Cleaners, MergingMicroperforatedReadings) {
  MyOcr.currentFont = 935;
  Reading a = Reading::of("1?3");
  a.setConfs({60, 1, 70});
  Reading b = Reading::of("1234");
  b.setConfs({80, 60, 50, 90});
  ConfrontaMicroforatura(a.t(), a.c(), a.i(), a.n, b.t(), b.c(), b.i(), b.n, 10, true, 935, kOcrChars, false);
  EXPECT_EQ(a.str(), "1234");
  EXPECT_EQ(a.confs(), (std::vector<int>{100, 30, 100, 90}));
  EXPECT_EQ(a.t()[4], '\0');
}

TEST_F(Cleaners, MicroperforatedDisagreements) {
  struct Case {
    int own, other;
    bool insert, keepOwn;
    char c;
    int conf;
  };
  const Case cases[] = {{50, 70, true, false, '?', 1},  {50, 70, true, true, '7', 50},
                        {65, 70, true, false, '7', 30}, {65, 70, false, false, '?', 1},
                        {75, 70, false, false, '7', 30}, {90, 40, false, false, '7', 50}};
  for (const Case& c : cases) {
    Reading a = Reading::of("7", c.own), b = Reading::of("1", c.other);
    ConfrontaMicroforatura(a.t(), a.c(), a.i(), a.n, b.t(), b.c(), b.i(), b.n, 10, c.insert, 4, kOcrChars,
                           c.keepOwn);
    EXPECT_EQ(a.t()[0], c.c) << c.own << " " << c.other;
    EXPECT_EQ(a.c()[0], c.conf) << c.own << " " << c.other;
  }
}

TEST_F(Cleaners, MicroperforatedInsertionBudget) {
  // Three characters only reading 2 has: a number field takes two, or three when reading 2 is
  // the expected cheque number. The gap of 25 that stays takes a blank.
  for (bool expected : {false, true}) {
    MyITACheck = ITACheckInfo{};
    if (expected) std::snprintf(MyITACheck.expected1, sizeof MyITACheck.expected1, "12345");
    Reading a;
    a.push('1', 90, {10, 25});
    a.push('5', 90, {90, 105});
    Reading b = Reading::of("12345");
    ConfrontaMicroforatura(a.t(), a.c(), a.i(), a.n, b.t(), b.c(), b.i(), b.n, 10, true, 35, kOcrChars, false);
    EXPECT_EQ(a.str(), expected ? "12345" : "123 5");
  }
}

}  // namespace
}  // namespace pvk::test
