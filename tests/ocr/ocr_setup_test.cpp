// The engine set-up per font: sizes at the zone's scale, ranges, confidence, options, and the
// databases registered in order, on small test databases named as on disk (upper case).
#include <cstdio>

#include "ocr_base_fixture.h"

namespace {

using pvk::test::countOf;
using pvk::test::OcrBaseTest;
using pvk::test::someChars;

const char* const kDiskNames[] = {"OCRBA04.DB",   "OCRBB04.DB",     "OCRBC04.DB",     "COURIER04.DB", "ARIAL04.DB",
                                  "ARIALCOR04.DB", "SERIFABT204.DB", "SERIFABT404.DB", "MICROC04.DB",  "CMC7AA04.DB",
                                  "CMC7AB04.DB",   "ABIIMPA04.DB",   "ABIBENA04.DB",   "ARIALNUM04.DB", "IBMGOTA04.DB",
                                  "VX3IDFS04.DB",  "CALIBRIA04.DB",  "E13BA04.DB",     "E13BB04.DB",   "OCRAEB204.DB"};

class Setup : public OcrBaseTest {
 protected:
  void SetUp() override {
    OcrBaseTest::SetUp();
    for (const char* name : kDiskNames) writeDb(name, someChars(2));
    oldFont = -1;
  }
  // The list as "NAME narrow space split" entries joined by '|'.
  static std::string listed() {
    std::string out;
    char entry[64];
    for (int i = 0; i < nDBLoaded; ++i) {
      const DBEntry& e = DBList[i];
      std::snprintf(entry, sizeof entry, "%s%s %d %.1f %d", i ? "|" : "", e.name, e.narrow, e.spaceFactor, e.split);
      out += entry;
    }
    return out;
  }
};

std::string multiFont(const char* ocrb, const char* f) {
  const std::string o = std::string(" 1 ") + ocrb + " 0";
  const std::string F = std::string(" ") + f + " ";
  return "OCRBA04.DB" + o + "|OCRBB04.DB" + o + "|OCRBC04.DB" + o + "|COURIER04.DB 1" + F + "1|ARIAL04.DB 0" + F +
         "0|ARIALCOR04.DB 0" + F + "0|SERIFABT204.DB 1" + F + "1|SERIFABT404.DB 1" + F + "1";
}

TEST_F(Setup, EachFontRegistersItsDatabasesInOrder) {
  const struct {
    short font;
    uint16_t typeDoc;
    int h, w, minConf;
    std::string dbs;
  } cases[] = {
      {4, 5, 32, 22, 50, "OCRBA04.DB 1 1.3 0"},
      {39, 5, 32, 22, 50, "OCRBA04.DB 1 1.5 0"},
      {3, 5, 32, 22, 50, "OCRBA04.DB 1 1.3 0"},
      {205, 12, 32, 22, 30, "OCRBA04.DB 1 1.0 0"},
      {3, 12, 32, 22, 30, "OCRBA04.DB 1 1.0 0"},
      {2, 5, 32, 24, 30, "OCRAEB204.DB 1 1.5 0"},
      {1, 5, 36, 29, 30, "E13BA04.DB 1 1.2 0|E13BB04.DB 1 1.2 0"},
      {202, 5, 40, 30, 20, "CMC7AA04.DB 1 0.8 0|CMC7AB04.DB 1 0.8 0"},
      {35, 5, 40, 23, 20, "MICROC04.DB 1 1.6 0"},
      {40, 5, 40, 23, 20, "MICROC04.DB 1 1.0 0"},
      {939, 5, 40, 23, 5, "MICROC04.DB 1 1.0 0"},
      {940, 5, 40, 23, 5, "MICROC04.DB 1 1.6 0"},
      {945, 5, 25, 17, 30,
       "ABIBENA04.DB 0 0.8 0|OCRBA04.DB 1 0.5 0|ARIAL04.DB 0 0.5 0|ARIALNUM04.DB 0 0.5 0|COURIER04.DB 0 1.0 1|"
       "IBMGOTA04.DB 0 0.8 0|VX3IDFS04.DB 1 0.8 0|CALIBRIA04.DB 1 0.8 0"},
      {944, 5, 25, 17, 30,
       "ABIIMPA04.DB 0 1.5 0|ABIBENA04.DB 0 1.5 0|OCRBA04.DB 1 0.8 0|ARIAL04.DB 0 0.8 0|ARIALNUM04.DB 0 0.8 0|"
       "COURIER04.DB 0 1.0 1|IBMGOTA04.DB 0 1.5 0|VX3IDFS04.DB 1 1.5 0|CALIBRIA04.DB 1 1.5 0"},
      {11, 13, 24, 20, 50, multiFont("1.0", "1.0")},
      {12, 12, 24, 24, 30, multiFont("3.2", "3.0")},
      {10, 5, 24, 24, 30, multiFont("1.2", "1.0")},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "font " << c.font << " typeDoc " << c.typeDoc);
    MyOcr.typeDoc = c.typeDoc;
    const int n = InitOCR(c.font, true, 1.0f);
    EXPECT_EQ(n, countOf(c.dbs, "|") + 1);
    EXPECT_EQ(n, nDBLoaded);
    EXPECT_EQ(listed(), c.dbs);
    EXPECT_EQ(MyOcr.charHeight, c.h);
    EXPECT_EQ(MyOcr.charWidth, c.w);
    EXPECT_EQ(MyOcr.minLineConf, c.minConf);
    EXPECT_EQ(MyOcr.currentFont, c.font);
    EXPECT_EQ(MyDev.lastResult, 0);
    EXPECT_EQ(dfnchars, 1 + 2 * n) << "each database read once";
  }
}

TEST_F(Setup, OcrBFourAtScaleOne) {
  MyOcr.lowerCase = 1;
  MyOcr.neighbourWeight = 0;
  MyOcr.multiLine = 0;
  ASSERT_EQ(InitOCR(4, true, 1.0f), 1);
  // Ranges wide enough for OCR-B at 8 to 14 points: 14-point digits stand 46 rows, its widest
  // capitals 29 columns.
  EXPECT_EQ(MyOcr.minCharHeight, 18);
  EXPECT_EQ(MyOcr.maxCharHeight, 48);
  EXPECT_EQ(MyOcr.minCharWidth, 8);
  EXPECT_EQ(MyOcr.maxCharWidth, 31);
  EXPECT_EQ(MyOcr.multiLine, 1);
  EXPECT_EQ(MyOcr.fixedSize, 1);
  EXPECT_EQ(MyOcr.lowerCase, 0);
  EXPECT_EQ(MyOcr.neighbourWeight, 7);
  EXPECT_EQ(MyOcr.minAgreement, 3);
  EXPECT_FLOAT_EQ(MyOcr.engineScale, 1.0f);
  EXPECT_TRUE(clearSmall);
  EXPECT_FLOAT_EQ(coefMinH, 0.5f);
  EXPECT_FALSE(removeIsolated);
  EXPECT_FALSE(pesaNumLet);
  EXPECT_EQ(reject_nchar, 100);
  EXPECT_TRUE(caricadati);
  EXPECT_EQ(oldFont, 4);
}

// Sizes are trunc(k x scale): 32 x 0.66 = 21.12 and 22 x 0.66 = 14.52.
TEST_F(Setup, SizesScaleAndTruncate) {
  ASSERT_EQ(InitOCR(4, true, 0.5f), 1);
  EXPECT_EQ(MyOcr.charHeight, 16);
  EXPECT_EQ(MyOcr.charWidth, 11);
  EXPECT_EQ(MyOcr.minCharHeight, 9);
  EXPECT_EQ(MyOcr.maxCharWidth, 15);
  ASSERT_EQ(InitOCR(4, true, 0.66f), 1);
  EXPECT_EQ(MyOcr.charHeight, 21);
  EXPECT_EQ(MyOcr.charWidth, 14);
  ASSERT_EQ(InitOCR(1, true, 2.0f), 2);
  EXPECT_EQ(MyOcr.charHeight, 72);
  EXPECT_EQ(MyOcr.maxCharHeight, 31) << "kept from the font-4 set-up at 0.66";
}

TEST_F(Setup, CodesWithoutDatabasesOrWithoutASetUp) {
  const struct {
    short font;
    uint16_t typeDoc;
    int result, code;
  } cases[] = {{-1, 5, 0, 0},  {7, 5, 0, 0},      {8, 5, 0, 0},      {120, 5, 0, 0},    {300, 5, 0, 0},
               {310, 5, 0, 0}, {305, 5, -1, -33}, {302, 5, -1, -33}, {0, 5, -1, -33},   {6, 5, -1, -33},
               {36, 5, -1, -33}, {204, 5, -1, -33}, {205, 1, -1, -33}, {1000, 5, -1, -33}, {1001, 5, -1, -34},
               {-2, 5, -1, -33}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.font);
    MyOcr.typeDoc = c.typeDoc;
    MyDev.lastResult = 99;
    EXPECT_EQ(InitOCR(c.font, true, 1.0f), c.result);
    EXPECT_EQ(MyDev.lastResult, c.code);
    EXPECT_EQ(nDBLoaded, 0);
    EXPECT_EQ(MyOcr.charHeight, 32) << "the defaults of every set-up are written";
  }
  const std::string t = trace();
  EXPECT_EQ(countOf(t, "err -  font is too high 1001\r\n"), 1) << t;
  EXPECT_EQ(countOf(t, "err -  Init OCR - font not enabled (C) 305\r\nerr -  Init OCR - current typedoc 5\r\n"), 1);
  EXPECT_EQ(countOf(t, "Init OCR - font not enabled (C)"), 9);
  MyOcr.typeDoc = 12;
  EXPECT_EQ(InitOCR(204, true, 1.0f), 1);
  EXPECT_EQ(MyOcr.minCharHeight, 20);
  EXPECT_EQ(MyOcr.maxCharWidth, 20);
}

TEST_F(Setup, SwitchesAndRangesKeptWhereTheRowSaysNothing) {
  ASSERT_EQ(InitOCR(4, true, 1.0f), 1);
  ASSERT_EQ(InitOCR(9, true, 1.0f), 8);
  EXPECT_EQ(MyOcr.multiLine, 1) << "kept";
  EXPECT_EQ(MyOcr.fixedSize, 0);
  EXPECT_EQ(MyOcr.minCharHeight, 0);
  EXPECT_EQ(MyOcr.maxCharHeight, 48) << "kept";
  EXPECT_EQ(MyOcr.maxCharWidth, 31) << "kept";
  EXPECT_TRUE(pesaNumLet);
  MyOcr.multiLine = 0;
  MyOcr.typeDoc = 5;
  ASSERT_EQ(InitOCR(3, true, 1.0f), 1);
  EXPECT_EQ(MyOcr.multiLine, 0) << "font 3 keeps it outside typeDoc 2";
  MyOcr.typeDoc = 2;
  ASSERT_EQ(InitOCR(3, true, 1.0f), 1);
  EXPECT_EQ(MyOcr.multiLine, 1);
  MyOcr.typeDoc = 12;
  ASSERT_EQ(InitOCR(3, true, 1.0f), 1);
  EXPECT_EQ(MyOcr.multiLine, 0);
  EXPECT_FLOAT_EQ(coefMinH, 0.3f);
  for (uint16_t mapping : {2, 0}) {
    MyOcr.e13bMapping = mapping;
    ASSERT_EQ(InitOCR(1, true, 1.0f), 2);
    EXPECT_EQ(MyOcr.remapPending, mapping != 0);
    EXPECT_TRUE(removeIsolated);
    EXPECT_FALSE(clearSmall);
  }
  ASSERT_EQ(InitOCR(936, true, 1.0f), 1);
  EXPECT_TRUE(pesaNumLet);
  ASSERT_EQ(InitOCR(2, true, 1.0f), 1);
  EXPECT_EQ(reject_nchar, 20);
}

// The same code again finds its databases loaded; another code clears the list first.
TEST_F(Setup, TheListHoldsTheDatabasesOfOneCode) {
  ASSERT_EQ(InitOCR(38, true, 1.0f), 1);
  ASSERT_EQ(std::remove(path("OCRBA04.DB").c_str()), 0);
  EXPECT_EQ(InitOCR(38, true, 1.0f), 1) << "not read again";
  EXPECT_EQ(InitOCR(39, true, 1.0f), -1) << "read again after the clear";
  EXPECT_EQ(MyDev.lastResult, -34);
  EXPECT_NE(trace().find("- err - Reading database " + path("OCRBA04.DB")), std::string::npos);
  writeDb("OCRBA04.DB", someChars(5));
  EXPECT_EQ(InitOCR(39, true, 1.0f), 1);
  EXPECT_EQ(dfnchars, 6);
}

TEST_F(Setup, AFailedRegistrationKeepsWhatWasRegistered) {
  ASSERT_EQ(std::remove(path("ARIAL04.DB").c_str()), 0);
  EXPECT_EQ(InitOCR(945, true, 1.0f), -1);
  EXPECT_EQ(MyDev.lastResult, -34);
  EXPECT_EQ(listed(), "ABIBENA04.DB 0 0.8 0|OCRBA04.DB 1 0.5 0");
  EXPECT_EQ(MyOcr.charHeight, 25);
  EXPECT_EQ(MyOcr.minLineConf, 30);
}

// Loading off: names only, nothing opened, nothing cleared, the last loaded code kept.
TEST_F(Setup, WithLoadingOffNamesAccumulate) {
  ASSERT_EQ(InitOCR(2, true, 1.0f), 1);
  for (const char* name : kDiskNames) std::remove(path(name).c_str());
  EXPECT_EQ(InitOCR(35, false, 1.0f), 2);
  EXPECT_FALSE(caricadati);
  EXPECT_EQ(InitOCR(4, false, 1.0f), 3);
  EXPECT_EQ(InitOCR(0, false, 1.0f), -1);
  EXPECT_EQ(MyDev.lastResult, -33);
  EXPECT_EQ(countOf(trace(), "Init OCR"), 0) << "no trace with loading off";
  EXPECT_EQ(oldFont, 2);
  char name[kDBNameSize];
  const char* expected[] = {"OCRAEB204.DB", "MICROC04.DB", "OCRBA04.DB"};
  for (short i = 0; i < 3; ++i) {
    ASSERT_TRUE(ocr_db_fname(i, name));
    EXPECT_STREQ(name, expected[i]);
  }
  EXPECT_EQ(DBList[1].loaded, 0);
  // A code without a set-up leaves the switch off; the next set-up with loading on turns it on.
  EXPECT_EQ(InitOCR(7, true, 1.0f), 0);
  EXPECT_FALSE(caricadati);
  EXPECT_EQ(InitOCR(4, true, 1.0f), -1);
  EXPECT_TRUE(caricadati);
}

}  // namespace
