// Rows of a zone reading and the payee database selection, on readings written by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "ocr_base_fixture.h"

namespace pvk::test {
namespace {

struct Reading {
  std::string text, conf;
  std::vector<ChInfo> info;
};

// A reading of text with every confidence c, each character in database db.
Reading reading(const std::string& text, char c, uint8_t db = 0) {
  Reading r{text, std::string(text.size(), c), std::vector<ChInfo>(text.size())};
  for (size_t i = 0; i < text.size(); ++i) {
    r.info[i].left = static_cast<uint16_t>(10 * i);
    r.info[i].dbIndex = db;
  }
  return r;
}

class ReadingRows : public OcrBaseTest {
 protected:
  void TearDown() override {
    for (OCRRigaType& r : rows_) pvk::ocr::releaseRow(r);
    pvk::ocr::zoneAllocFailAfter = -1;
    OcrBaseTest::TearDown();
  }
  OCRRigaType rows_[4] = {};
};

TEST_F(ReadingRows, AddingARowCopiesAndCapsAtTheLimit) {
  Reading r = reading("ABCDEFGH", 70);
  r.info[3].top = 33;
  int n = 8;
  ASSERT_TRUE(AggiungiOCRRow(r.text.data(), r.conf.data(), r.info.data(), n, &rows_[0], 100));
  EXPECT_EQ(rows_[0].n, 8);
  EXPECT_EQ(rows_[0].capacity, 36);
  EXPECT_STREQ(rows_[0].text, "ABCDEFGH");
  EXPECT_EQ(std::strlen(rows_[0].conf), 8u);
  EXPECT_EQ(rows_[0].info[3].top, 33);
  // At the limit: n becomes limit - 1 and the capacity the limit.
  n = 8;
  ASSERT_TRUE(AggiungiOCRRow(r.text.data(), r.conf.data(), r.info.data(), n, &rows_[1], 8));
  EXPECT_EQ(n, 7);
  EXPECT_EQ(rows_[1].capacity, 8);
  EXPECT_STREQ(rows_[1].text, "ABCDEFG");
  // Refilling a row releases its old buffers (the leak checker watches).
  n = 2;
  ASSERT_TRUE(AggiungiOCRRow(r.text.data(), r.conf.data(), r.info.data(), n, &rows_[1], 8));
  EXPECT_STREQ(rows_[1].text, "AB");
  EXPECT_EQ(rows_[1].capacity, 8);
}

TEST_F(ReadingRows, AddingARowFailsCleanly) {
  Reading r = reading("XY", 50);
  int n = -2;
  EXPECT_FALSE(AggiungiOCRRow(r.text.data(), r.conf.data(), r.info.data(), n, &rows_[0], 10));
  EXPECT_NE(trace().find("err -  Unexpected b1NChar in AggiungiOCRRow -2"), std::string::npos) << trace();
  for (int failAt = 1; failAt <= 3; ++failAt) {
    n = 2;
    pvk::ocr::zoneAllocFailAfter = failAt;
    MyDev.lastResult = 0;
    EXPECT_FALSE(AggiungiOCRRow(r.text.data(), r.conf.data(), r.info.data(), n, &rows_[0], 10));
    EXPECT_EQ(MyDev.lastResult, -4);
    EXPECT_EQ(rows_[0].text, nullptr);
    EXPECT_EQ(rows_[0].conf, nullptr);
    EXPECT_EQ(rows_[0].info, nullptr);
    EXPECT_EQ(rows_[0].n, 0);
  }
  EXPECT_EQ(countOf(trace(), "AggiungiOCRRow - memory allocation failed"), 3);
}

TEST_F(ReadingRows, TheBestRowMovesToTheFront) {
  const struct {
    std::vector<int> scores;
    std::string kept;
  } cases[] = {{{40, 90, 90, 10}, "r1"}, {{90, 40}, "r0"}, {{5}, "r0"}, {{}, ""}};
  for (const auto& c : cases) {
    unsigned short nRows = static_cast<unsigned short>(c.scores.size());
    for (size_t i = 0; i < c.scores.size(); ++i) {
      Reading r = reading("r" + std::to_string(i), 60);
      int n = 2;
      ASSERT_TRUE(AggiungiOCRRow(r.text.data(), r.conf.data(), r.info.data(), n, &rows_[i], 10));
      rows_[i].score = static_cast<uint8_t>(c.scores[i]);
    }
    ScegliOcrRowMigliore(nRows, rows_);
    EXPECT_EQ(nRows, 1);
    EXPECT_EQ(rows_[0].text ? std::string(rows_[0].text) : std::string(), c.kept);
    for (int i = 1; i < 4; ++i) EXPECT_EQ(rows_[i].text, nullptr);
    pvk::ocr::releaseRow(rows_[0]);
  }
}

TEST_F(ReadingRows, AReadingSplitsAtLineBreaksIntoScoredRows) {
  MyOcr.minLineConf = 30;
  const struct {
    const char* text;
    char conf;             // every character's confidence (CR LF too)
    bool ok;
    int rows;
    const char* first;     // the first row's text
    int firstCapacity;
  } cases[] = {
      {"  AB12\r\n  CD34", 80, true, 2, "AB12", 20},  // leading blanks of each line skipped
      {"AB12\r\nCD34", 20, true, 0, "", 0},           // both at or below the minimum
      {"\r\nCD34", 80, false, 0, "", 0},              // an empty line before a CR
      {"AB12\r\n   ", 80, true, 1, "AB12", 20},       // nothing after the last break
      {"ABCDEFGHIJ", 80, true, 1, "ABCDEFG", 8},       // cut to limit - 1
  };
  for (const auto& c : cases) {
    Reading r = reading(c.text, c.conf);
    unsigned short n = 0;
    EXPECT_EQ(SpezzaInRighe(r.text.data(), r.conf.data(), r.info.data(), static_cast<int>(r.text.size()), rows_, n, 8),
              c.ok)
        << c.text;
    EXPECT_EQ(n, c.rows) << c.text;
    if (c.rows > 0) {
      EXPECT_STREQ(rows_[0].text, c.first);
      EXPECT_EQ(rows_[0].capacity, c.firstCapacity > 8 ? 8 : c.firstCapacity);
      EXPECT_EQ(rows_[0].score, 80);
    }
    for (int k = n; k < 4; ++k) EXPECT_EQ(rows_[k].text, nullptr) << "a row not kept holds nothing";
    unsigned short all = 4;
    CancellaRigheGiaLette(all, rows_);
  }
  // Two lines, the second read better: the best row keeps it alone.
  Reading r = reading("AB12\r\nCD34", 60);
  for (int k = 6; k < 10; ++k) r.conf[k] = 90;
  unsigned short n = 0;
  ASSERT_TRUE(SpezzaInRighe(r.text.data(), r.conf.data(), r.info.data(), 10, rows_, n, 64));
  ASSERT_EQ(n, 2);
  ScegliOcrRowMigliore(n, rows_);
  EXPECT_EQ(n, 1);
  EXPECT_STREQ(rows_[0].text, "CD34");
  EXPECT_EQ(rows_[1].text, nullptr);
}

TEST_F(ReadingRows, EmptyingTheRowsReleasesThem) {
  for (int i = 0; i < 3; ++i) {
    Reading r = reading("row", 60);
    int n = 3;
    ASSERT_TRUE(AggiungiOCRRow(r.text.data(), r.conf.data(), r.info.data(), n, &rows_[i], 10));
  }
  unsigned short nRows = 3;
  CancellaRigheGiaLette(nRows, rows_);
  EXPECT_EQ(nRows, 0);
  for (const OCRRigaType& r : rows_) EXPECT_EQ(r.text, nullptr);
}

TEST_F(ReadingRows, DominantDatabaseCountsConfidentDigitsAndCapitals) {
  ASSERT_GE(InitOCR(945, false, 1.0f), 3);
  int counts[kDBMax];
  // Lower case, punctuation and confidence 9 or less are not counted.
  Reading r = reading("AB12abc.,-", 50, 2);
  r.conf[0] = 9;
  Reading s = reading("XYZ", 10, 1);
  r.text += s.text, r.conf += s.conf, r.info.insert(r.info.end(), s.info.begin(), s.info.end());
  EXPECT_TRUE(EsisteBestDB(counts, r.text.data(), r.conf.data(), r.info.data(), static_cast<int>(r.text.size())));
  EXPECT_EQ(counts[2], 3);
  EXPECT_EQ(counts[1], 3);
  EXPECT_EQ(BestIndex, 1) << "the first of equal counts";
  Reading none = reading("abc ?", 90, 3);
  EXPECT_FALSE(EsisteBestDB(counts, none.text.data(), none.conf.data(), none.info.data(), 5));
  EXPECT_EQ(BestIndex, -1);
}

// Payee databases of font 945: ABIBENA, OCRBA, ARIAL, ARIALNUM, COURIER, IBMGOTA, VX3IDFS, CALIBRIA.
// Of font 944: ABIIMPA first, then the same.
class PayeeDatabases : public ReadingRows {
 protected:
  std::string enabled() {
    std::string out;
    for (int i = 0; i < nDBLoaded; ++i)
      if (ValidDB[i]) out += std::string(out.empty() ? "" : " ") + DBList[i].name;
    return out;
  }
  void setUp(short font) {
    ocr_clear();
    ASSERT_GE(InitOCR(font, false, 1.0f), 8);
    for (int i = 0; i < nDBLoaded; ++i) ValidDB[i] = 1;
    FixSizeFont = 0;
    Verifica_i_Arial = 0;
  }
};

TEST_F(PayeeDatabases, FamiliesNarrowTheDatabases) {
  const struct {
    short font;
    std::vector<int> counts;
    int n;
    bool result;
    const char* kept;
    bool fixSize, arial;
  } cases[] = {
      // Arial family (ARIAL04 and ARIALNUM04: the last such counter, 6) dominates 10 characters.
      {945, {0, 0, 3, 6, 0, 0, 0, 0}, 10, true, "ARIAL04.DB ARIALNUM04.DB", false, true},
      // Courier for 944 keeps the ABIIMPA database (a silent one goes all the same).
      {944, {1, 1, 0, 0, 0, 9, 0, 0, 0}, 12, true, "ABIIMPA04.DB COURIER04.DB", true, false},
      {945, {2, 0, 0, 0, 9, 0, 0, 0}, 12, true, "ABIBENA04.DB COURIER04.DB", true, false},
      {945, {0, 7, 0, 0, 0, 0, 0, 0}, 7, true, "OCRBA04.DB", true, false},
      {945, {0, 0, 0, 0, 0, 0, 0, 6}, 6, true, "CALIBRIA04.DB", false, false},
      {945, {0, 0, 0, 0, 0, 0, 5, 0}, 6, true, "VX3IDFS04.DB", false, false},
      // Two families close together on a short reading: only the silent databases go.
      {945, {0, 3, 0, 0, 4, 0, 0, 0}, 7, true, "OCRBA04.DB COURIER04.DB", false, false},
      // Every database read something and no family stands out: nothing is disabled.
      {945, {1, 1, 1, 1, 1, 1, 1, 1}, 8, false,
       "ABIBENA04.DB OCRBA04.DB ARIAL04.DB ARIALNUM04.DB COURIER04.DB IBMGOTA04.DB VX3IDFS04.DB CALIBRIA04.DB", false,
       true},
  };
  for (const auto& c : cases) {
    setUp(c.font);
    int counts[kDBMax] = {};
    for (size_t i = 0; i < c.counts.size(); ++i) counts[i] = c.counts[i];
    EXPECT_EQ(RiduciDBBeneficiario(counts, c.n), c.result) << c.kept;
    EXPECT_EQ(enabled(), c.kept);
    EXPECT_EQ(FixSizeFont, c.fixSize ? 1 : 0) << c.kept;
    EXPECT_EQ(Verifica_i_Arial, c.arial ? 1 : 0) << c.kept;
  }
}

}  // namespace
}  // namespace pvk::test
