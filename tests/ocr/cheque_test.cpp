// Judging a finished reading: the overall confidence with its per-font tidying and its choice
// between two lines, the Italian cheque codeline layout on generated codelines with injected
// faults, the unread characters of CMC7 codelines, and payment-form lines to read again.
#include <cstring>
#include <tuple>

#include "ocr_post_fixture.h"

namespace pvk::test {
namespace {

using Cheque = OcrPostTest;

TEST_F(Cheque, CumulativeConfidence) {
  struct Case {
    short font;
    const char* text;
    int conf;
    int result;
  };
  const Case cases[] = {
      {4, "ABCDEFGHJK", 100, 100}, {4, "ABCD?FGHJK", 100, 87},     // one '?' among ten: (900 - 30) / 10
      {12, "ABCDEFGHJKLMNP", 80, 40}, {12, "ABCDEFGHJKLMNPQR", 80, 80},  // font 12 wants 16 characters
      {4, "AIIIB", 80, 40},           {4, "??", 100, 1},
      {4, "ABCDEFGHJK?LMNPQRSTUV", 100, 90},  // (2000 - 30) / 21 = 93, but one '?' caps it at 90
  };
  for (const Case& c : cases) {
    MyOcr.currentFont = c.font;
    Reading r = Reading::of(c.text, c.conf);
    EXPECT_EQ(CalCumulaConf(r.t(), r.c(), r.i(), r.n, true, 0), c.result) << c.text;
  }
  Reading empty(4);
  EXPECT_EQ(CalCumulaConf(empty.t(), empty.c(), empty.i(), empty.n, true, 0), 0);
  MyOcr.currentFont = 4;
  Reading triple = Reading::of("AIIIB", 80);
  CalCumulaConf(triple.t(), triple.c(), triple.i(), triple.n, false, 0);
  EXPECT_EQ(triple.confs(), std::vector<int>(5, 80));  // without edit the characters keep theirs
}

TEST_F(Cheque, TheBetterOfTwoLines) {
  struct Case {
    int conf2;
    const char* kept;
    int result;
  };
  // Line 1: three characters at 100; line 2: five characters.
  const Case cases[] = {{50, "ABC", 100}, {90, "DEFGH", 90}};
  for (const Case& c : cases) {
    MyOcr.currentFont = 4;
    MyOcr.multiLine = 1;
    Reading r = Reading::of("ABC\r\nDEFGH", 100);
    for (int i = 5; i < 10; ++i) r.c()[i] = static_cast<char>(c.conf2);
    EXPECT_EQ(CalCumulaConf(r.t(), r.c(), r.i(), r.n, true, 0), c.result);
    EXPECT_EQ(r.str(), c.kept);
    EXPECT_EQ(r.t()[r.n], '\0');
  }
  MyOcr.multiLine = 0;
  Reading both = Reading::of("ABC\r\nDEFGH", 100);
  CalCumulaConf(both.t(), both.c(), both.i(), both.n, true, 0);
  EXPECT_EQ(both.n, 10);
}

TEST_F(Cheque, OverlapsAndIsolatedUnsureCharacters) {
  MyOcr.currentFont = 4;
  Reading r;
  r.push('A', 90, {10, 25});
  r.push('B', 50, {20, 40});  // overlaps A by 5 and is much less sure
  r.push('C', 90, {45, 60});
  CalCumulaConf(r.t(), r.c(), r.i(), r.n, true, 0);
  EXPECT_EQ(r.str(), "AC");

  Reading slight;  // two columns between wide characters are accepted
  slight.push('A', 90, {10, 25});
  slight.push('B', 50, {23, 40});
  CalCumulaConf(slight.t(), slight.c(), slight.i(), slight.n, true, 0);
  EXPECT_EQ(slight.str(), "AB");

  // The kerned payee face keeps two letters sharing a sixth of the narrower one (5 of 30).
  for (const auto& [font, shared, out] : {std::tuple{945, 5, "AB"}, {945, 6, "A"}, {4, 3, "A"}}) {
    MyOcr.currentFont = static_cast<short>(font);
    Reading kerned;
    kerned.push('A', 90, {10, 40});
    kerned.push('B', 50, {40 - shared, 70 - shared});
    CalCumulaConf(kerned.t(), kerned.c(), kerned.i(), kerned.n, true, 0);
    EXPECT_EQ(kerned.str(), out) << font << " " << shared;
  }
  MyOcr.currentFont = 4;

  Reading isolated = Reading::of("AB x CD", 90);
  isolated.c()[3] = 5;
  CalCumulaConf(isolated.t(), isolated.c(), isolated.i(), isolated.n, true, 0);
  EXPECT_EQ(isolated.str(), "AB CD");
  EXPECT_EQ(isolated.box(2).right, 10 + 20 * 4 + 15);
}

TEST_F(Cheque, PerFontTidying) {
  struct Case {
    short font;
    const char* in;
    const char* out;
  };
  const Case cases[] = {
      {944, ",*,*12,34, ", "**12,34"},  // amount: leading commas, commas in the filler, trailing marks
      {944, "12AB34**", "12 34**"},  // the stars fencing the amount on the right stay
      {945, "RO$SI", "RO SI"},
      {1, "?:123", ":123"},  // E13B: an unread character before a separator
      {1, "123 ?", "123"},
      {0, "12 ? 34", "12 34"},  // CMC7: an unread character alone between blanks
  };
  for (const Case& c : cases) {
    MyOcr.currentFont = c.font;
    Reading r = Reading::of(c.in, 100);
    CalCumulaConf(r.t(), r.c(), r.i(), r.n, true, 0);
    EXPECT_EQ(r.str(), c.out) << c.in;
  }
  MyOcr.currentFont = 1;
  Reading eq = Reading::of("12 = 34", 100);
  eq.c()[3] = 15;
  EXPECT_EQ(CalCumulaConf(eq.t(), eq.c(), eq.i(), eq.n, true, 0), (400 - 30) / 5);
  EXPECT_EQ(eq.str(), "12 ? 34");
}

TEST_F(Cheque, AcceptedMicroperforationIsCertain) {
  MyOcr.currentFont = 935;
  std::snprintf(MyITACheck.expected1, sizeof MyITACheck.expected1, "0012345678");
  Reading r = Reading::of("0012345678", 40);
  EXPECT_EQ(CalCumulaConf(r.t(), r.c(), r.i(), r.n, true, 0), 100);
  Reading other = Reading::of("0012345679", 40);
  EXPECT_EQ(CalCumulaConf(other.t(), other.c(), other.i(), other.n, true, 0), 40);
}

// A codeline of the layout the cheque check knows: separators at 0, 11, 22, 32, 39 and 51,
// blanks at 12, 23, 33 and 40, digits elsewhere, length chars.
std::string codeline(int length = 62) {
  std::string s(static_cast<size_t>(length), '0');
  for (int i = 0; i < length; ++i) s[i] = static_cast<char>('0' + (i * 7) % 10);
  const std::pair<int, char> seps[] = {{0, ':'}, {11, ';'}, {22, '>'}, {32, ':'}, {39, '<'}, {51, '='}};
  for (const auto& [p, c] : seps)
    if (p < length) s[p] = c;
  for (int p : {12, 23, 33, 40})
    if (p < length) s[p] = ' ';
  return s;
}

TEST_F(Cheque, ItalianCodelineLayout) {
  struct Case {
    const char* name;
    std::string text;
    bool edit;
    bool result, complete;
    std::string after;
    std::string field;  // stored first field
  };
  const std::string clean = codeline();
  auto with = [&](std::string s, int pos, char c) {
    s[pos] = c;
    return s;
  };
  const std::string field = clean.substr(1, 10);
  const std::string short40 = codeline(40);
  const Case cases[] = {
      {"clean", clean, true, true, true, clean, field},
      {"clean, no edit", clean, false, true, true, clean, ""},
      {"unread digit", with(clean, 5, '?'), true, true, false, with(clean, 5, '?'), with(clean, 5, '?').substr(1, 10)},
      {"unread blank", with(clean, 23, '?'), true, true, true, clean, field},
      {"unread blank, no edit", with(clean, 23, '?'), false, true, false, with(clean, 23, '?'), ""},
      {"blank in the number", with(clean, 3, ' '), true, true, false, with(clean, 3, '?'), with(clean, 3, '?').substr(1, 10)},
      {"separator in a field", with(clean, 27, ';'), true, true, false, with(clean, 27, ';'), field},
      {"wrong separator at 22", with(clean, 22, '5'), true, true, false, with(clean, 22, '5'), ""},
      {"two separators unread", with(with(clean, 11, '?'), 22, '?'), true, true, false, with(with(clean, 11, '?'), 22, '?'), ""},
      {"not a cheque", with(clean, 11, '5'), true, false, false, with(clean, 11, '5'), ""},
      {"leading debris", "x" + clean, true, true, true, clean, field},
      {"leading unread", "?" + clean, true, true, true, clean, field},
      {"stamp tail", short40 + " x y", true, true, true, short40, short40.substr(1, 10)},
      {"adjacent tail", short40 + " xy", true, true, true, short40 + " xy", short40.substr(1, 10)},
      {"too short", clean.substr(0, 22), true, false, false, clean.substr(0, 22), ""},
      {"no colon", with(clean, 0, ';'), true, false, false, with(clean, 0, ';'), ""},
  };
  for (const Case& c : cases) {
    MyITACheck = ITACheckInfo{};
    Reading r = Reading::of(c.text, 90);
    if (c.text[0] == 'x') r.c()[0] = 5;
    bool complete = true;
    EXPECT_EQ(IsAssegnoItalia(r.t(), r.c(), r.i(), r.n, complete, c.edit), c.result) << c.name;
    EXPECT_EQ(complete, c.complete) << c.name;
    EXPECT_EQ(r.str(), c.after) << c.name;
    EXPECT_EQ(std::string(MyITACheck.cdlField1), c.field) << c.name;
  }
}

TEST_F(Cheque, CodelineEditsOfConfidences) {
  std::string s = codeline();
  s[3] = ' ';
  s[27] = ';';
  Reading r = Reading::of(s, 90);
  bool complete = true;
  IsAssegnoItalia(r.t(), r.c(), r.i(), r.n, complete, true);
  EXPECT_EQ(r.c()[3], 1);   // a blank in the number became unread
  EXPECT_EQ(r.c()[27], 45);  // a separator inside a field is weakened
  MyITACheck.defaultAnswer = 1;
  Reading none = Reading::of("12345", 90);
  EXPECT_TRUE(IsAssegnoItalia(none.t(), none.c(), none.i(), none.n, complete, true));
  EXPECT_FALSE(complete);
}

TEST_F(Cheque, UnreadCharactersAtTheCodelineEnds) {
  const std::string s = "?1?2>" + std::string(40, '5') + "<3?4?";
  struct Case {
    uint16_t type;
    short font;
    std::string text;
    std::string out;
  };
  const Case cases[] = {
      {3, 202, s, "12>" + std::string(40, '5') + "<34"},
      {5, 202, s, s},
      {3, 4, s, s},
      {3, 0, s.substr(0, 47), s.substr(0, 47)},
  };
  for (const Case& c : cases) {
    MyOcr.typeDoc = c.type;
    MyOcr.currentFont = c.font;
    Reading r = Reading::of(c.text);
    VerificaITA_CHECK_BItalia(r.t(), r.c(), r.i(), r.n);
    EXPECT_EQ(r.str(), c.out) << c.type << " " << c.font;
  }
}

TEST_F(Cheque, DoubledAndSmallUnreadCharacters) {
  Reading lead;  // two leading '?' close to the third character: the first goes
  lead.push('?', 90, {10, 20});
  lead.push('?', 90, {21, 30});
  for (int i = 0; i < 6; ++i) lead.push('1', 90, {40 + 20 * i, 55 + 20 * i});
  RimuoviDoppi_CH_NR_e_Piccoli(lead.t(), lead.c(), lead.i(), lead.n, kOcrChars);
  EXPECT_EQ(lead.str(), "?111111");
  EXPECT_EQ(lead.box(0).left, 21);

  Reading pair;  // a pair spanning less than aw
  pair.push('1', 90, {10, 25});
  pair.push('?', 90, {30, 37});
  pair.push('?', 90, {38, 44});
  pair.push('2', 90, {50, 65});
  RimuoviDoppi_CH_NR_e_Piccoli(pair.t(), pair.c(), pair.i(), pair.n, kOcrChars);
  EXPECT_EQ(pair.str(), "1?2");
  EXPECT_EQ(pair.box(1).left, 38);

  for (int max : {kOcrChars, 4}) {  // a wide '?' splits in two where the reading has room
    Reading wide;
    wide.push('1', 90, {10, 25});
    wide.push('?', 70, {30, 70});
    wide.push('2', 90, {75, 90});
    wide.push('.', 90, {92, 94});
    wide.push('?', 70, {95, 97});  // narrower than (int)(0.33 aw) = 4
    RimuoviDoppi_CH_NR_e_Piccoli(wide.t(), wide.c(), wide.i(), wide.n, max);
    if (max == kOcrChars) {
      EXPECT_EQ(wide.str(), "1??2.");
      EXPECT_EQ(wide.lefts(), (std::vector<int>{10, 30, 50, 75, 92}));
      EXPECT_EQ(wide.rights(), (std::vector<int>{25, 50, 70, 90, 94}));
      EXPECT_EQ(wide.confs(), (std::vector<int>{90, 70, 70, 90, 90}));
    } else {
      EXPECT_EQ(wide.str(), "1?2.");
    }
  }
}

TEST_F(Cheque, PaymentFormLinesToReadAgain) {
  struct Case {
    std::string text;
    bool again;
  };
  const Case cases[] = {
      {std::string(71, '7'), false},       {std::string(70, '7'), true},
      {std::string(35, '7') + " " + std::string(35, '7'), true},
      {std::string(60, '7'), false},       {"ABC?DE", true},
      {"AB C DE", true},                   {"ABC DEF", false},
      {"A BCD", true},                     {"ABC D", true},
      {"AB", false},
  };
  for (const Case& c : cases) {
    Reading r = Reading::of(c.text);
    EXPECT_EQ(daMigliorareBollettiniItalia(r.t(), r.c(), r.n), c.again) << c.text;
  }
  Reading r = Reading::of("ABCDEF");
  EXPECT_TRUE(daMigliorareBollettiniItalia(r.t(), nullptr, r.n));
}

}  // namespace
}  // namespace pvk::test
