// Every character of every generated database, set in lines at 200, 240 and 300 dpi, read end
// to end through the binarisation, the segmentation and ocr_read with the font code that
// registers the database.
#include <cstdio>
#include <cstdlib>
#include <set>

#include "ocr_lines_fixture.h"

namespace pvk::test {
namespace {

struct ReadCase {
  const char* db;
  short font;
  uint16_t typeDoc;
  bool lowerCase;
  double floor300;  // the share of characters read in place at 300 dpi that may only go up
};

// Each database with the codes whose sets cover its characters.
const ReadCase kCases[] = {
    {"e13bA04.db", 1, 0, false, 0.9},      {"e13bB04.db", 1, 0, false, 1.0},
    {"ocraeb204.db", 2, 0, false, 0.95},   {"ocrbA04.db", 3, 0, false, 0.9},
    {"ocrbA04.db", 9, 0, true, 0.75},      {"ocrbA04.db", 945, 0, false, 0.6},
    {"ocrbB04.db", 9, 0, true, 0.75},      {"ocrbC04.db", 9, 0, true, 0.75},
    {"ocrbB04.db", 9, 12, true, 0.75},     {"courier04.db", 9, 0, true, 0.7},
    {"courier04.db", 945, 0, false, 0.7},  {"arial04.db", 9, 0, true, 0.65},
    {"arial04.db", 945, 0, false, 0.6},    {"arialcor04.db", 9, 0, true, 0.7},
    {"serifabt204.db", 9, 0, true, 0.65},  {"serifabt404.db", 9, 0, true, 0.65},
    {"serifabt404.db", 9, 12, true, 0.75}, {"arialnum04.db", 944, 0, false, 0.8},
    {"ABIImpA04.db", 944, 0, false, 0.8},  {"ABIBenA04.db", 945, 0, false, 0.75},
    {"IBMgotA04.db", 945, 0, false, 0.6},  {"VX3IDFS04.db", 945, 0, false, 0.6},
    {"calibriA04.db", 945, 0, false, 0.6}, {"microC04.db", 935, 0, false, 1.0},
    {"microC04.db", 936, 0, false, 0.75},  {"microC04.db", 937, 0, false, 0.75},
    {"cmc7aa04.db", 202, 0, false, 0.9},   {"cmc7ab04.db", 202, 0, false, 1.0},
};

class OcrLinesRead : public OcrLinesTest {
 protected:
  // The characters of the database that the code's set can answer.
  static std::string readable(const fontdb::DbSpec& db) {
    std::string out;
    for (char c : db.chars)
      if (IsValid(static_cast<unsigned char>(c))) out.push_back(c);
    return out;
  }
};

// Characters read in their place: the longest common subsequence of what was drawn and what was
// read (blanks left out), over the characters drawn.
double readRate(const std::string& drawn, const std::string& read) {
  std::string r;
  for (char c : read)
    if (c != ' ') r.push_back(c);
  std::vector<std::vector<int>> L(drawn.size() + 1, std::vector<int>(r.size() + 1, 0));
  for (size_t i = 1; i <= drawn.size(); ++i)
    for (size_t j = 1; j <= r.size(); ++j)
      L[i][j] = drawn[i - 1] == r[j - 1] ? L[i - 1][j - 1] + 1 : std::max(L[i - 1][j], L[i][j - 1]);
  return drawn.empty() ? 1.0 : static_cast<double>(L[drawn.size()][r.size()]) / drawn.size();
}

struct Tally {
  size_t drawn = 0;
  double read = 0;
  std::string misses;
};

// Reads the characters of the case's database in lines of 16 at dpi.
Tally readAll(const ReadCase& rc, int dpi) {
  Tally t;
  const fontdb::DbSpec* db = fontdb::findDatabase(rc.db);
  if (db == nullptr || OcrLinesTest::setUp(rc.font, dpi, rc.typeDoc, rc.lowerCase) < 1 || !DefineValidSet()) return t;
  std::string chars;
  for (char c : db->chars)
    if (IsValid(static_cast<unsigned char>(c))) chars.push_back(c);
  for (size_t at = 0; at < chars.size(); at += 16) {
    const std::string text = chars.substr(at, 16);
    fontdb::LineOptions o;
    o.dpi = dpi;
    o.capHeight = MyOcr.charHeight * 300.0 / dpi;
    o.gapFactor = db->isText() ? 0.15 : 0;
    fontdb::Line line = fontdb::renderLine(*db, text, o);
    OcrLinesTest::setUp(rc.font, dpi, rc.typeDoc, rc.lowerCase);
    const LineReading r = OcrLinesTest::readImage(line.image, OcrLinesTest::thresholdFor(rc.font));
    t.drawn += text.size();
    t.read += readRate(text, r.text) * text.size();
    if (r.text != text) t.misses += " [" + text + "]->[" + r.text + "]";
  }
  return t;
}

TEST_F(OcrLinesRead, EveryDatabaseReadsAt300Dpi) {
  for (const ReadCase& rc : kCases) {
    const Tally t = readAll(rc, 300);
    ASSERT_GT(t.drawn, 0u) << rc.db << " with font " << rc.font;
    const double rate = t.read / t.drawn;
    std::printf("%-15s font %3d typeDoc %2d: %5.1f%% of %zu read at 300 dpi%s\n", rc.db, rc.font, rc.typeDoc,
                100 * rate, t.drawn, t.misses.c_str());
    EXPECT_GE(rate, rc.floor300) << rc.db << " with font " << rc.font << t.misses;
  }
}

// Lower resolutions are reported; E13B and CMC7 are read by the engine at 300 dpi only.
TEST_F(OcrLinesRead, LowerResolutionsAreReported) {
  for (int dpi : {240, 200}) {
    size_t drawn = 0;
    double read = 0;
    for (const ReadCase& rc : kCases) {
      const Tally t = readAll(rc, dpi);
      std::printf("%-15s font %3d at %d dpi: %5.1f%% of %zu\n", rc.db, rc.font, dpi,
                  t.drawn ? 100 * t.read / t.drawn : 0.0, t.drawn);
      drawn += t.drawn;
      read += t.read;
    }
    EXPECT_GT(read / drawn, dpi == 240 ? 0.6 : 0.4) << dpi << " dpi";
  }
}

TEST_F(OcrLinesRead, TwoLinesGiveCrLfBetweenThem) {
  const fontdb::DbSpec* db = fontdb::findDatabase("ocrbA04.db");
  ASSERT_NE(db, nullptr);
  ASSERT_EQ(setUp(4, 300), 1);
  fontdb::LineOptions o;
  o.capHeight = MyOcr.charHeight;
  fontdb::Line a = fontdb::renderLine(*db, "12345", o);
  fontdb::Line b = fontdb::renderLine(*db, "67890", o);
  glyphs::GreyImage both = a.image;
  both.height = a.image.height + b.image.height;
  both.pixels.insert(both.pixels.end(), b.image.pixels.begin(), b.image.pixels.end());
  const LineReading r = readImage(both, kHalfway);
  EXPECT_EQ(r.text, "12345\r\n67890");
  ASSERT_EQ(r.conf.size(), 12u);
  EXPECT_EQ(r.conf.substr(5, 2), "dd");
  EXPECT_EQ(r.info[5].left, 0);
  EXPECT_EQ(r.info[5].right, 0);
  EXPECT_GT(r.info[5].bottom, r.info[5].top);
}

}  // namespace
}  // namespace pvk::test
