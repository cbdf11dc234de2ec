// Font predicates, the constant character tables, the character sets chosen per font and
// document type, and the small operations shared by the post-processing.
#include <algorithm>
#include <climits>
#include <set>

#include "ocr_base_fixture.h"

namespace {

using pvk::test::OcrBaseTest;

// The printable members of a table as a sorted string, plus the named high bytes.
std::string members(const uint8_t* t, std::initializer_list<unsigned> high = {}) {
  std::string s;
  for (unsigned c = 0x20; c < 0x7F; ++c)
    if (t[c] == 1) s.push_back(static_cast<char>(c));
  for (unsigned c : high)
    if (t[c] == 1) s += "<" + std::to_string(c) + ">";
  return s;
}

// A sorted member string made of character groups.
std::string of(std::initializer_list<std::string> groups) {
  std::set<char> chars;
  for (const std::string& g : groups) chars.insert(g.begin(), g.end());
  return std::string(chars.begin(), chars.end());
}

const std::string kDigits = "0123456789";
const std::string kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";
const std::string kLower = "abcdefghijklmnopqrstuvwxyz";

TEST(FontPredicates, EveryCodeAsTheFontTableListsIt) {
  // The codes each class holds as the table of font codes lists them; every other code of the
  // 16 bits is outside it.
  const std::set<int> cmc7 = {0, 32, 110, 111, 202}, e13b = {1, 33}, magnetic = {32, 33, 34}, ocra = {2},
                      ocrb = {3, 4, 5, 38, 39, 204, 205}, ocrbAlfa = {3, 204}, pdf = {8},
                      barcode = {7, 300, 301, 303, 304, 306, 307, 308, 309, 310},  // 302, 305: no symbology
                      micro = {35, 40, 41, 935, 936, 937, 938, 939, 940, 941, 942, 943}, payee = {944, 945},
                      backlit = {938, 939, 940};
  for (int f = INT16_MIN; f <= INT16_MAX; ++f) {
    const short font = static_cast<short>(f);
    auto in = [f](const std::set<int>& s) { return s.count(f) > 0; };
    ASSERT_EQ(IsCMC7Font(font), in(cmc7)) << f;
    ASSERT_EQ(IsE13BFont(font), in(e13b)) << f;
    ASSERT_EQ(IsMICRFont(font, true), in(magnetic)) << f;
    ASSERT_EQ(IsMICRFont(font, false), in(magnetic) || in(cmc7) || in(e13b)) << f;
    ASSERT_EQ(IsOCRAFont(font), in(ocra)) << f;
    ASSERT_EQ(IsOCRBFont(font), in(ocrb)) << f;
    ASSERT_EQ(IsOCRBFontAlfaNum(font), in(ocrbAlfa)) << f;
    ASSERT_EQ(IsPDF417(font), in(pdf)) << f;
    ASSERT_EQ(IsBarcode(font), in(barcode)) << f;
    ASSERT_EQ(IsMICROPERFORATIONFont(font, true), in(micro)) << f;
    ASSERT_EQ(IsMICROPERFORATIONFont(font, false), in(micro) || in(payee)) << f;
    ASSERT_EQ(Is_BACKL_Font(font), in(backlit)) << f;
  }
}

TEST(SmallOperations, HeightsVowelsAccentsAndZero) {
  EXPECT_EQ(hSogliaOCRBNumLet(0), 1);
  EXPECT_EQ(hSogliaOCRBNumLet(-5), 1);
  EXPECT_EQ(hSogliaOCRBNumLet(50), 48);
  EXPECT_EQ(hSogliaOCRBNumLet(49), 47) << "4704 / 100 truncates";
  EXPECT_EQ(hOCRB_Num(48), 50);
  EXPECT_EQ(hOCRB_Num(47), 48) << "4700 / 96 truncates";
  for (char c : std::string("aEiOu")) EXPECT_TRUE(IsVocale(c)) << c;
  for (char c : std::string("yB1 ")) EXPECT_FALSE(IsVocale(c)) << c;
  EXPECT_FALSE(IsVocale(static_cast<char>(0xC0)));
  EXPECT_TRUE(IsLetteraAccentataSimile('A', 0xC5));
  EXPECT_TRUE(IsLetteraAccentataSimile(0xC0, 'A'));
  EXPECT_FALSE(IsLetteraAccentataSimile('A', 0xC8));
  EXPECT_TRUE(IsLetteraAccentataSimile('O', 0xD6));
  EXPECT_FALSE(IsLetteraAccentataSimile('O', 0xD7));
  EXPECT_TRUE(IsLetteraAccentataSimile('U', 0xDC));
  EXPECT_FALSE(IsLetteraAccentataSimile('B', 'B'));
  EXPECT_FALSE(alfa_is_zero(0.001f));
  EXPECT_FALSE(alfa_is_zero(-0.001f));
  EXPECT_TRUE(alfa_is_zero(-0.0009f));
  EXPECT_TRUE(alfa_is_zero(0.0f));
}

// The templates as the character tables list them (ranges and lone '-' are where parsing slips).
TEST(CharTables, TemplatesHoldTheirListedMembers) {
  EXPECT_EQ(members(IsLow_.data()), of({"',-.acemnorsuvwxz"}));
  EXPECT_EQ(members(IsNotLow_.data(), {0x80, 0xA6}), of({"\"#$%&()/?@[\\]^`{|}", kDigits, kUpper}) + "<128><166>");
  EXPECT_EQ(members(ISFullHeight_.data(), {0x80, 0xA5, 0xC7}),
            of({"!#$%&()?@[]dfghijklpqty", kDigits, kUpper}) + "<128><165><199>");
  EXPECT_EQ(members(IsNotFullHeight_.data()), of({"\"',-.^_`acemnorsuvwxyz~"}));
  EXPECT_EQ(members(ISFullWidth_.data(), {0xA5, 0xC7}),
            of({"02345678", "9?@[", "ABCDEFGHJKLMNOPQRSTUVWXYZ", "abcdefghkmnopqstuvwxyz"}) + "<165><199>");
  EXPECT_EQ(members(IsNumero.data()), of({"*+-/<=>", kDigits}));
  EXPECT_EQ(members(IsLettera.data(), {0xA6, 0xC7}), of({kUpper, kLower}) + "<166><199>");
  EXPECT_EQ(members(IsMaiuscolo.data(), {0xA5, 0xC7}), kUpper + "<165><199>");
  EXPECT_EQ(members(IsMinuscolo.data()), kLower);
}

class ValidSets : public OcrBaseTest {
 protected:
  bool define(short font, uint16_t typeDoc, bool lower = false) {
    MyOcr.currentFont = font;
    MyOcr.typeDoc = typeDoc;
    MyOcr.lowerCase = lower ? 1 : 0;
    return DefineValidSet();
  }
};

// One row per line of the choice by font: the members of the set in force.
TEST_F(ValidSets, OneMembershipPerRow) {
  const std::string common = ".,-+*/<>";  // typeDoc 0 and 1
  struct Case {
    short font;
    uint16_t typeDoc;
    bool lower, solo, forza;
    const char* payee;
    std::string expected;
  };
  const Case cases[] = {
      {39, 1, false, false, false, "", of({kDigits, "-"})},
      {38, 0, false, false, false, "", of({kDigits, "+<>"})},
      {202, 1, false, false, false, "", of({kDigits, common, "=:;"})},
      {935, 1, true, false, false, "", kDigits},
      {936, 1, true, false, false, "O'NEIL-RE", of({kDigits, kUpper, "'-/@&*#"})},
      {939, 5, false, false, false, "ROSSI", of({kDigits, kUpper, "/@&*#"})},
      {943, 5, false, false, false, "", of({kDigits, "/*#,"})},
      {945, 5, false, false, false, "D'ARCO/X", of({kDigits, kUpper, kLower, "'/@&*#"})},
      {945, 1, true, true, true, "A-B", of({kUpper, "-@&*#"})},
      {944, 1, false, false, false, "", of({kDigits, ",*#"})},
      {4, 3, false, false, false, "", of({kDigits, "-"})},
      {4, 0, false, false, false, "", of({kDigits, common, "#"})},
      {5, 5, false, false, false, "", of({kDigits, "#*+,-.<>/JNPX"})},
      {2, 5, false, false, false, "", of({kDigits, "#*+,.<>CPRUXZ]"})},
      {3, 2, false, false, false, "", of({kDigits, "+<>"})},
      {10, 5, true, false, false, "", of({kUpper, kLower})},
      {10, 5, true, true, false, "", kUpper},
      {12, 1, false, false, false, "", of({kUpper, common, "!?"})},
      {3, 5, false, false, false, "", of({kDigits, kUpper, "#*+,-.<>'/%&"})},
      {204, 12, false, false, false, "", of({kDigits, kUpper, "#*+,-.<>'/%&"})},
      {9, 13, false, false, false, "", of({kDigits, kUpper, "#*+,-.<>/%&"})},
      {9, 5, true, false, false, "", of({kDigits, kUpper, kLower, "*+,-.<>/&"})},
      {1, 1, false, false, false, "", of({kDigits, ":=<;?"})},
      {11, 1, false, false, false, "", of({kDigits, common})},
      {11, 5, false, false, false, "", kDigits},
      {205, 12, false, false, false, "", of({kDigits, "/"})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "font " << c.font << " typeDoc " << c.typeDoc);
    SoloMaiuscolo = c.solo;
    ForzaSoloAlfa = c.forza;
    std::snprintf(MyITACheck.expPayee, sizeof MyITACheck.expPayee, "%s", c.payee);
    ASSERT_TRUE(define(c.font, c.typeDoc, c.lower));
    ASSERT_NE(ValidSet, nullptr);
    EXPECT_EQ(members(ValidSet), c.expected);
  }
}

TEST_F(ValidSets, FontsWithoutASetAreRefused) {
  for (short font : {35, 40, 41, 0, 6, 7, 13, 999}) {
    SCOPED_TRACE(font);
    ASSERT_TRUE(define(4, 0));
    EXPECT_FALSE(define(font, 1));
    EXPECT_EQ(ValidSet, nullptr);
    EXPECT_FALSE(IsValid('0'));
  }
  EXPECT_EQ(pvk::test::countOf(trace(), "err -  Missing valid set definition\r\n"), 8) << trace();
}

TEST_F(ValidSets, ThresholdsPerFont) {
  struct Case {
    short font;
    int ocr, oneZone, hamming;
  };
  // As the choice by font prints them; the microperforation rows at both ends of their range.
  const Case cases[] = {{4, 409, 70, 140},   {1, 409, 50, 140},   {202, 307, 60, 160}, {937, 409, 50, 150},
                        {945, 409, 70, 150}, {944, 409, 70, 140}, {38, 409, 70, 140},  {35, 409, 50, 150},
                        {39, 409, 70, 140},  {934, 409, 70, 140}, {935, 409, 50, 150}, {943, 409, 50, 150},
                        {946, 409, 70, 140}, {41, 409, 50, 150}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.font);
    SogliaOCR = SogliaOCRPerHamming = SogliaOCRPerHamming_1Zone = 1;
    w_zero_stretto_O_largo = delta_zero_stretto_O_largo = 9;
    define(c.font, 5);
    EXPECT_EQ(SogliaOCR, c.ocr);
    EXPECT_EQ(SogliaOCRPerHamming_1Zone, c.oneZone);
    EXPECT_EQ(SogliaOCRPerHamming, c.hamming);
    EXPECT_EQ(w_zero_stretto_O_largo, 0);
    EXPECT_EQ(delta_zero_stretto_O_largo, 0);
  }
}

// The shape classes start from their templates on every call, then take the font's changes.
TEST_F(ValidSets, ShapeClassesAreReloadedAndAdjusted) {
  ASSERT_TRUE(define(945, 5));
  EXPECT_EQ(IsLow['*'], 1);
  IsLow['a'] = 0;
  Change_NumSet('Q', 1);
  ASSERT_TRUE(define(1, 5));
  EXPECT_EQ(IsFullWidth['2'], 0);
  ASSERT_TRUE(define(4, 5));
  EXPECT_EQ(IsFullWidth['2'], 1);
  EXPECT_EQ(IsLow['a'], 1);
  EXPECT_EQ(IsLow['*'], 0);
  EXPECT_FALSE(IsValid('Q'));

  ASSERT_TRUE(define(1, 1));
  EXPECT_EQ(IsFullWidth['2'], 0);
  EXPECT_EQ(IsLow[':'], 0);
  ASSERT_TRUE(define(4, 1));
  EXPECT_EQ(IsLow['+'], 1) << "common punctuation stands low";
  EXPECT_EQ(IsLow['/'], 0);
  ASSERT_TRUE(define(202, 1));
  EXPECT_EQ(IsLow['<'], 0);
  ASSERT_TRUE(define(937, 5));
  EXPECT_EQ(IsLow['/'], 1);
  EXPECT_EQ(IsNotLow['/'], 0);
  EXPECT_EQ(IsFullHeight['/'], 0);
  EXPECT_EQ(IsLow['='], 1);
  EXPECT_EQ(IsLow['#'], 0);
  EXPECT_EQ(IsFullWidth['-'], 0);
  ASSERT_TRUE(define(944, 5));
  EXPECT_EQ(IsFullHeight[','], 0);
  EXPECT_EQ(IsFullWidth['#'], 0);
}

TEST_F(ValidSets, ChangesLastUntilTheNextDefinition) {
  ASSERT_TRUE(define(4, 5));
  Change_NumSet('Z', 1);
  EXPECT_TRUE(IsValid('Z'));
  Change_NumSet('5', 0);
  EXPECT_FALSE(IsValid('5'));
  Change_AlfaNumSet('x', 1);
  Change_AlfaSet('x', 1);
  Change_TmpSet('x', 1);
  EXPECT_EQ(AlfaNumSet['x'] + AlfaSet['x'] + TmpSet['x'], 3);
  // A character made like another: membership and all five shape flags.
  IsFullWidth['m'] = 0;
  Change_AlfaNumSet_Come(0xC9, 'm');
  EXPECT_EQ(AlfaNumSet[0xC9], AlfaNumSet['m']);
  EXPECT_EQ(IsLow[0xC9], 1);
  EXPECT_EQ(IsNotFullHeight[0xC9], 1);
  EXPECT_EQ(IsFullWidth[0xC9], 0);
  Change_AlfaSet_Come(0xC0, 'A');
  EXPECT_EQ(AlfaSet[0xC0], 1);
  EXPECT_EQ(IsNotLow[0xC0], 1);
  EXPECT_EQ(IsFullHeight[0xC0], 1);
  ASSERT_TRUE(define(4, 5));
  EXPECT_FALSE(IsValid('Z'));
  EXPECT_TRUE(IsValid('5'));
}

}  // namespace
