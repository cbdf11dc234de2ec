// The Italian cheque correction rules, case by case from tables: each case states the Italian
// cheque references it runs with, the reading before and after and the verdict.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reading/reading.h"

namespace {

// A reading in 256-byte buffers as the readers hand them over; confidences given per character.
struct Reading {
  char text[256]{};
  char conf[256]{};
  ChInfo info[256]{};
  Reading(const std::string& t, const std::vector<int>& c) {
    std::memcpy(text, t.data(), t.size());
    for (size_t i = 0; i < t.size(); ++i) conf[i] = static_cast<char>(i < c.size() ? c[i] : c.back());
  }
  int confAt(int i) const { return static_cast<uint8_t>(conf[i]); }
};

std::vector<int> confs(const std::string& t, int all) { return std::vector<int>(t.size() ? t.size() : 1, all); }

class ChequeRules : public ::testing::Test {
 protected:
  void SetUp() override { std::memset(&MyITACheck, 0, sizeof MyITACheck); }
  static void dataMatrixAmount(const char* digits, const char* formatted) {
    std::strcpy(MyITACheck.dmAmount, digits);
    std::strcpy(MyITACheck.dmAmountFmt, formatted);
  }
};

// ---- Codeline fields --------------------------------------------------------------------------

struct FieldCase {
  const char* name;
  bool abiCab;             // CorreggiABIeCAB, else CorreggiNAssegno
  std::string code;
  std::vector<int> codeConf;
  std::string ref;
  std::vector<int> refConf;
  int t;
  bool result;
  std::string codeAfter;
  std::vector<std::pair<int, int>> confAfter;  // position, confidence
};

TEST_F(ChequeRules, CodelineFieldsAgainstAReference) {
  const std::vector<FieldCase> cases = {
      {"weak digit confirmed", false, "1234567890;0300", {100, 100, 100, 30, 100}, "1234567890", {100}, 100, true,
       "1234567890;0300", {{3, 100}, {0, 100}}},
      {"one confident difference taken", false, "1234567890;", {90, 90, 90, 60, 90}, "1239567890", {95}, 90, true,
       "1239567890;", {{3, 90}, {0, 100}}},
      {"three differences corrected", false, "1x3x5x7890;", {50}, "1234567890", {100}, 100, true, "1234567890;",
       {{1, 100}, {3, 100}, {5, 100}, {0, 100}}},
      {"four differences left alone", false, "1x3x5x7x90;", {50}, "1234567890", {100}, 100, false, "1x3x5x7x90;",
       {{0, 50}, {1, 50}}},
      {"wrong closing character stops at the difference", false, "1234x67890:", {100}, "1234567890", {100}, 90,
       false, "1234x67890:", {{4, 100}}},
      {"a more confident code character is kept", false, "1234x67890;", {100}, "1234567890", {95}, 90, false,
       "1234x67890;", {{4, 90}}},
      {"blank code character replaced whatever its confidence", false, "1234 67890;", {100}, "1234567890", {95}, 90,
       true, "1234567890;", {{4, 90}}},
      {"weak and unread reference characters unused", false, "1234567890;", {50}, "12?4 67890", {100, 100, 100, 100,
       100, 100, 10, 100}, 90, true, "1234567890;", {{2, 50}, {4, 50}, {6, 50}, {0, 100}}},
      {"short reference", false, "1234567890;", {50}, "123456789", {100}, 90, false, "1234567890;", {{0, 50}}},
      {"code without its closing position", false, "1234567890", {50}, "1234567890", {100}, 90, false, "1234567890",
       {{0, 50}}},
      {"ABI/CAB confirmed", true, "030021234>", {40}, "030021234", {100}, 100, true, "030021234>", {{8, 100}}},
      {"ABI/CAB three differences", true, "0x0x2x234>", {40}, "030021234", {100}, 100, true, "030021234>",
       {{1, 100}}},
      {"ABI/CAB four differences", true, "0x0x1x3x>", {40}, "030021234", {100}, 100, false, "0x0x1x3x>", {}},
      {"ABI/CAB wrong closing", true, "03002x234;", {100}, "030021234", {100}, 90, false, "03002x234;", {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reading code(c.code, c.codeConf), ref(c.ref, c.refConf);
    const bool r = c.abiCab ? CorreggiABIeCAB(code.text, code.conf, ref.text, ref.conf, static_cast<uint8_t>(c.t))
                            : CorreggiNAssegno(code.text, code.conf, ref.text, ref.conf, static_cast<uint8_t>(c.t));
    EXPECT_EQ(r, c.result);
    EXPECT_EQ(std::string(code.text), c.codeAfter);
    for (auto [pos, v] : c.confAfter) EXPECT_EQ(code.confAt(pos), v) << "position " << pos;
  }
}

// ---- Cheque number ----------------------------------------------------------------------------

struct NumeroCase {
  const char* name;
  std::string text;
  int conf;
  std::string ref;
  bool relaxed;
  bool result;
  std::string after;
};

TEST_F(ChequeRules, ChequeNumberAgainstAReference) {
  const std::vector<NumeroCase> cases = {
      {"final unread digit", "012345678?", 90, "0123456789", false, true, "0123456789"},
      {"two confident differences", "01234x6y89", 90, "0123456789", false, false, "01234x6y89"},
      {"complete number needs nothing", "0123456780", 90, "0123456789", false, false, "0123456780"},
      {"strict wants ten reference characters", "012345678?", 90, "012345678", false, false, "012345678?"},
      {"strict refuses an unread reference", "012345678?", 90, "0123?56789", false, false, "012345678?"},
      {"padded on the right", "0123456", 90, "0123456789", false, true, "0123456789"},
      {"padded on the left", "3456789", 90, "0123456789", false, true, "0123456789"},
      {"too much padding", "56789", 90, "0123456789", false, false, "?????56789"},
      {"nine characters with an unread end", "01234567?", 90, "0123456789", false, true, "0123456789"},
      {"nine other characters", "01234567x", 90, "0123456789", false, false, "01234567x"},
      {"eleven around the reference", "x0123456789", 90, "0123456789", false, false, "0123456789"},
      {"eleven, leading unread dropped", "?012345678?", 90, "0123456789", false, true, "0123456789"},
      {"eleven, eleventh dropped", "012345678?x", 90, "0123456789", false, true, "0123456789"},
      {"eleven that cannot be cut", "?12345678?x", 90, "0123456789", false, false, "?12345678?x"},
      {"twelve with a leading pair", "? 012345678?", 90, "0123456789", false, true, "0123456789"},
      {"twelve with a trailing pair", "01234567?9 ?", 90, "0123456789", false, true, "0123456789"},
      {"relaxed with a short reference", "1234567?90", 90, "12345678", true, true, "1234567890"},
      {"relaxed leaves positions past the reference", "1234567?9?", 90, "12345678", true, false, "123456789?"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Reading text(c.text, confs(c.text, c.conf));
    std::string ref = c.ref;
    EXPECT_EQ(CorreggiNumero(text.text, text.conf, ref.data(), 60, c.relaxed), c.result);
    EXPECT_EQ(std::string(text.text), c.after);
  }
}

TEST_F(ChequeRules, ChequeNumberCorrectionsTakeTheGivenConfidence) {
  Reading text("012345678?", {100, 100, 100, 100, 100, 100, 100, 100, 100, 1});
  char ref[] = "0123456789";
  ASSERT_TRUE(CorreggiNumero(text.text, text.conf, ref, 60, false));
  EXPECT_EQ(text.confAt(9), 60);
  EXPECT_EQ(text.confAt(8), 100);
  // A certain character that differs keeps itself but loses its certainty.
  Reading sure("0123456x8?", {100});
  EXPECT_TRUE(CorreggiNumero(sure.text, sure.conf, ref, 60, false));
  EXPECT_EQ(std::string(sure.text), "0123456x89");
  EXPECT_EQ(sure.confAt(7), 60);
}

// ---- Amount -----------------------------------------------------------------------------------

struct AmountCase {
  const char* name;
  std::string text;
  int conf;
  std::string dmDigits, dmFormatted;
  bool result;
  std::string after;
};

TEST_F(ChequeRules, AmountNormalised) {
  const std::vector<AmountCase> cases = {
      {"stars before the amount", "**123,45", 90, "", "", true, "000000123,45"},
      {"comma and a thousands mark", "1.234,56", 90, "", "", true, "000001234,56"},
      {"comma with blanks", "1 234 ,56", 90, "", "", true, "000001234,56"},
      {"comma before three digits is no separator", "12,345", 90, "", "", true, "000000123,45"},
      {"two commas", "1,234,56", 90, "", "", false, ""},
      {"blank before the decimals", "1234 56", 90, "", "", true, "000001234,56"},
      {"one missing decimal", "123,4", 90, "", "", true, "000000123,4?"},
      {"digits left of nine places", "1234567890,12", 90, "", "", false, ""},
      {"zeros left of nine places", "0001234567890,12", 90, "", "", false, ""},
      {"without separator", "12345", 90, "", "", true, "000000123,45"},
      {"without separator, too long", "123456789012", 90, "", "", false, ""},
      {"without separator, unread decimal", "1234?", 90, "", "", false, ""},
      {"too short", "1,2", 90, "", "", false, ""},
      {"leading unread fillers", "?? *?123,45", 90, "", "", true, "00000?123,45"},
      {"equal to the DataMatrix amount", "12345", 90, "00000012345", "000000123,45", true, "000000123,45"},
      {"weak digit off the DataMatrix amount", "12395", 10, "00000012345", "000000123,45", true, "000000123,45"},
      {"confident digit off the DataMatrix amount", "12395", 90, "00000012345", "000000123,45", false,
       "000000123,45"},
      {"two digits off the DataMatrix amount", "12399", 90, "00000012345", "000000123,45", false, ""},
      {"length off the DataMatrix amount", "123456", 90, "00000012345", "000000123,45", false, ""},
      {"eleven digits beyond 32 bits", "98765432109", 90, "98765432109", "987654321,09", true, "987654321,09"},
      {"eleven digits 2^32 apart", "98765432109", 90, "94470464813", "944704648,13", false, ""},
      {"three confident differences", "555,55", 90, "00000012345", "000000123,45", false, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(&MyITACheck, 0, sizeof MyITACheck);
    if (!c.dmDigits.empty()) dataMatrixAmount(c.dmDigits.c_str(), c.dmFormatted.c_str());
    Reading r(c.text, confs(c.text, c.conf));
    EXPECT_EQ(CorreggiAmount(r.text, r.conf, r.info, 40), c.result);
    EXPECT_EQ(std::string(r.text), c.after);
  }
}

TEST_F(ChequeRules, AmountSeparatorFromBoxWidths) {
  // Blanks between holes are narrow; the separator gap is the widest near the end.
  auto boxed = [](const std::string& t, const std::vector<int>& widths) {
    Reading r(t, confs(t, 90));
    int x = 0;
    for (size_t i = 0; i < t.size(); ++i) {
      const int w = t[i] == ' ' ? widths[i] : 12;
      r.info[i].left = static_cast<uint16_t>(x);
      r.info[i].right = static_cast<uint16_t>(x + w);
      x += w + 2;
    }
    return r;
  };
  // The '?' before the last blank keeps the blank-before-decimals rule from deciding.
  Reading narrow = boxed("123 4? 56", {0, 0, 0, 5, 0, 0, 20, 0, 0});
  EXPECT_TRUE(CorreggiAmount(narrow.text, narrow.conf, narrow.info, 40));
  EXPECT_EQ(std::string(narrow.text), "00001234?,56");
  Reading wide = boxed("123 4? 56", {0, 0, 0, 18, 0, 0, 20, 0, 0});
  EXPECT_TRUE(CorreggiAmount(wide.text, wide.conf, wide.info, 40));
  EXPECT_EQ(std::string(wide.text), "000123?4?,56");
  EXPECT_EQ(wide.confAt(6), 1);
}

TEST_F(ChequeRules, AmountConfidences) {
  Reading r("12345", confs("12345", 90));
  ASSERT_TRUE(CorreggiAmount(r.text, r.conf, r.info, 40));
  EXPECT_EQ(r.confAt(0), 80);  // padding without separator
  EXPECT_EQ(r.confAt(9), 80);  // the separator put in
  EXPECT_EQ(r.confAt(10), 90);
  dataMatrixAmount("00000012345", "000000123,45");
  Reading low("12395", confs("12395", 10));
  ASSERT_TRUE(CorreggiAmount(low.text, low.conf, low.info, 40));
  EXPECT_EQ(low.confAt(10), 40);   // corrected
  EXPECT_EQ(low.confAt(6), 100);   // confirmed
  // Unread leading digits against the reference's leading zeros count once together.
  Reading lead("??123,45", {1, 1, 90});
  ASSERT_TRUE(CorreggiAmount(lead.text, lead.conf, lead.info, 40));
  EXPECT_EQ(std::string(lead.text), "000000123,45");
  EXPECT_EQ(lead.confAt(4), 40);
  EXPECT_EQ(lead.confAt(5), 40);
}

// ---- Payee ------------------------------------------------------------------------------------

struct PayeeCase {
  const char* name;
  std::string payee;
  std::string text;
  bool result;
  std::string after;
};

TEST_F(ChequeRules, PayeeAgainstTheDataMatrix) {
  const std::vector<PayeeCase> cases = {
      {"identical", "MARIO ROSSI", "MARIO ROSSI", true, "MARIO ROSSI"},
      {"equal apart from blanks", "MARIO ROSSI", "MARIOROS SI", true, "MARIO ROSSI"},
      {"contained, one short", "MARIO ROSSI", "MARIO ROSS", true, "MARIO ROSSI"},
      {"one look-alike and one mismatch", "MARIO ROSSI", "MAR?O R0SSI", true, "MARIO ROSSI"},
      {"missing blank inserted", "MARIO ROSSI", "MARIOR0SSI", true, "MARIO ROSSI"},
      {"more than three mismatches", "MARIO ROSSI", "NXRIZ RQSSL", false, "NXRIZ RQSSL"},
      {"rest of the payee appended", "ANNA BIANCHI SRL", "ANNA B1ANCHI", true, "ANNA BIANCHI SRL"},
      {"few extra characters cut", "MARIO ROSSI", "MARIO R0SSI XY", true, "MARIO ROSSI"},
      {"unformable payee characters", "CAFFE' ROSSI", "CAFFE R0SSI", true, "CAFFE ROSSI"},
      {"no payee", "", "MARIO ROSSI", false, "MARIO ROSSI"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::memset(&MyITACheck, 0, sizeof MyITACheck);
    std::strcpy(MyITACheck.dmPayee, c.payee.c_str());
    Reading r(c.text, confs(c.text, 90));
    EXPECT_EQ(CorreggiBeneficiario(r.text, r.conf, 40, 256), c.result);
    EXPECT_EQ(std::string(r.text), c.after);
  }
}

TEST_F(ChequeRules, PayeeConfidences) {
  std::strcpy(MyITACheck.dmPayee, "MARIO ROSSI");
  Reading same("MARIO ROSSI", confs("MARIO ROSSI", 50));
  ASSERT_TRUE(CorreggiBeneficiario(same.text, same.conf, 40, 256));
  for (int i = 0; i < 11; ++i) EXPECT_EQ(same.confAt(i), 100);
  Reading fixed("MARIO R0SSI", confs("MARIO R0SSI", 50));
  ASSERT_TRUE(CorreggiBeneficiario(fixed.text, fixed.conf, 40, 256));
  EXPECT_EQ(fixed.confAt(7), 40);
  EXPECT_EQ(fixed.confAt(0), 100);
  // Three confident characters after the payee stay, distrusted.
  Reading extra("MARIO R0SSI XYZ", confs("MARIO R0SSI XYZ", 90));
  ASSERT_TRUE(CorreggiBeneficiario(extra.text, extra.conf, 40, 256));
  EXPECT_EQ(std::string(extra.text), "MARIO ROSSI XYZ");
  EXPECT_EQ(extra.confAt(12), 20);
}

TEST_F(ChequeRules, PayeeGrowsOnlyInsideItsBuffer) {
  std::strcpy(MyITACheck.dmPayee, "ANNA MARIA BIANCHI SRL");
  for (int size : {16, 17, 18, 23}) {
    SCOPED_TRACE(size);
    Reading r("ANNAMARIA B1ANC", confs("ANNAMARIA B1ANC", 90));
    std::memset(r.text + size, 'Z', 32);
    EXPECT_TRUE(CorreggiBeneficiario(r.text, r.conf, 40, size));
    EXPECT_LT(std::strlen(r.text), static_cast<size_t>(size));
    for (int k = size; k < size + 32; ++k) ASSERT_EQ(r.text[k], 'Z') << "byte " << k;
  }
}

// ---- Small rules ------------------------------------------------------------------------------

TEST_F(ChequeRules, BlankRules) {
  Reading r(" A  B   C ", {1, 2, 3, 4, 5, 6, 7, 8, 9, 10});
  short n = 10;
  RimuoviSpazi(r.text, r.conf, n);
  EXPECT_EQ(n, 3);
  EXPECT_EQ(std::string(r.text), "ABC");
  EXPECT_EQ(r.confAt(1), 5);
  Reading d("A  B   C ", confs("A  B   C ", 9));
  RimuoviDoppiSpaziESpazioFinale(d.text, d.conf, d.info);
  EXPECT_EQ(std::string(d.text), "A B C");
  EXPECT_TRUE(CaratteriSimilioNonRiconosciuti('D', 'O'));
  EXPECT_TRUE(CaratteriSimilioNonRiconosciuti('0', 'D'));
  EXPECT_TRUE(CaratteriSimilioNonRiconosciuti('?', 'X'));
  EXPECT_FALSE(CaratteriSimilioNonRiconosciuti('O', '0'));
  EXPECT_TRUE(BeneficiarioCarattereRiconoscibile('#'));
  EXPECT_FALSE(BeneficiarioCarattereRiconoscibile('\''));
  EXPECT_FALSE(BeneficiarioCarattereRiconoscibile('a'));
}

// ---- Alignment of two readings ------------------------------------------------------------------

Reading spaced(const std::string& t, int origin, int pitch, int width) {
  Reading r(t, confs(t, 90));
  for (size_t i = 0; i < t.size(); ++i) {
    r.info[i].left = static_cast<uint16_t>(origin + pitch * static_cast<int>(i));
    r.info[i].right = static_cast<uint16_t>(r.info[i].left + width);
  }
  return r;
}

TEST_F(ChequeRules, BestShiftOfIdenticalReadingsIsZero) {
  Reading a = spaced("1234567890", 100, 30, 20), b = spaced("1234567890", 100, 30, 20);
  int nA = 10, nB = 10;
  EXPECT_EQ(ValutaBestShift(a.text, a.info, nA, b.text, b.info, nB, 20), 0);
  EXPECT_EQ(std::memcmp(a.info, b.info, sizeof(ChInfo) * 10), 0);
}

TEST_F(ChequeRules, BestShiftFoundAndApplied) {
  // B lies 40 pixels left of A, with one character A lacks in front: the first pass (tolerance
  // 20) cannot pair them, the second can.
  Reading a = spaced("1234567890", 140, 30, 20), b = spaced("71234567890", 70, 30, 20);
  int nA = 10, nB = 11;
  const int s = ValutaBestShift(a.text, a.info, nA, b.text, b.info, nB, 20);
  EXPECT_GE(s, 36);
  EXPECT_LE(s, 40);
  EXPECT_EQ(b.info[0].left, 70 + s);
  EXPECT_EQ(b.info[10].right, 70 + 300 + 20 + s);
}

TEST_F(ChequeRules, BestShiftRefusesEmptyAndLongReadings) {
  std::string longText(129, '1');
  Reading a = spaced("123", 100, 30, 20), b = spaced("123", 140, 30, 20), big = spaced(longText, 100, 1, 1);
  int n0 = 0, n3 = 3, n129 = 129;
  EXPECT_EQ(ValutaBestShift(a.text, a.info, n0, b.text, b.info, n3, 20), 0);
  EXPECT_EQ(ValutaBestShift(a.text, a.info, n3, b.text, b.info, n0, 20), 0);
  EXPECT_EQ(ValutaBestShift(big.text, big.info, n129, b.text, b.info, n3, 20), 0);
  EXPECT_EQ(ValutaBestShift(a.text, a.info, n3, big.text, big.info, n129, 20), 0);
  EXPECT_EQ(b.info[0].left, 140);
}

}  // namespace
