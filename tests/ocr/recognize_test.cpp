// Recognition of one block on a small store: templates made from drawn glyphs, and cells set at
// exact distances from their templates to check how distances become confidences.
#include <cctype>

#include "ocr_core_fixture.h"

namespace pvk::test {
namespace {

class Recognize : public OcrCoreTest {
 protected:
  // Registers a database of the given characters (cells filled in later) under fileName; its
  // templates take the next store slots.
  void storeOf(const std::string& fileName, const std::string& chars) {
    std::vector<DbChar> list;
    for (char c : chars) list.push_back({static_cast<unsigned char>(c), Cell{}, 0});
    writeDb(upper(fileName), list);
    ASSERT_TRUE(registerDb(fileName.c_str(), false));
  }
  static std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }
  static void setTemplate(unsigned slot, const Cell32& cell) {
    std::copy(cell.begin(), cell.end(), data_std_bbk[slot]);
  }
  // A block of solid ink in slot 1: its size is what the size rules see.
  void inkBlock(uint32_t h, uint32_t w) {
    band_ = std::make_unique<Band>(static_cast<uint16_t>((w + 12) & ~3u), static_cast<uint16_t>(h + 8));
    band_->rect(4, 4, 4 + static_cast<int>(h), 4 + static_cast<int>(w));
    install(*band_);
    setBlock(1, 4, 4, 4 + h, 4 + w);
  }
  char read(Cell32& cell, unsigned char& conf) {
    unsigned char db = 0;
    return recognize_char(1, cell.data(), conf, db);
  }
  std::unique_ptr<Band> band_;
};

// Flips n pixels of base, spread over the nine zones and kept off the edge strips (columns
// 0-5 and 26-31) so that no zone or band limit and no edge comparison comes into play.
Cell32 flipped(const Cell32& base, int n) {
  const int rowFirst[3] = {0, 11, 22}, rowCount[3] = {11, 11, 10};
  const int colFirst[3] = {6, 10, 21};
  Cell32 out = base;
  for (int k = 0; k < n; ++k) {
    const int z = k % 9, i = k / 9;
    const int rb = z / 3, cb = z % 3;
    const int r = rowFirst[rb] + i % rowCount[rb];
    const int c = colFirst[cb] + i / rowCount[rb];
    out[r] ^= 0x80000000u >> c;
  }
  return out;
}

const Cell32 kSolid(32, 0xFFFFFFFFu);

TEST_F(Recognize, DrawnGlyphsReadAsTheirOwnTemplates) {
  useFont(9, 32, 24);
  validChars("TLO");
  storeOf("glyphs04.db", "TLO");  // registering forgets the engine image: first the store
  Band band(128, 60);
  band.rect(10, 10, 16, 34);  // T
  band.rect(16, 19, 42, 25);
  band.rect(10, 50, 42, 56);  // L
  band.rect(36, 56, 42, 72);
  band.rect(10, 85, 42, 109);  // O
  band.rect(16, 91, 36, 103, 0);
  ASSERT_EQ(segment(band), 1);
  ASSERT_EQ(lastblock, 4u);
  for (unsigned i = 1; i <= 3; ++i) ASSERT_TRUE(put_std_size_char(i, i));
  for (unsigned i = 1; i <= 3; ++i) {
    const unsigned block = stblk[i];
    Cell32 cell(32, 0);
    ASSERT_TRUE(mk_std_size_bin(block, cell.data(), 1, 1));
    unsigned char conf = 0, db = 9;
    const char c = recognize_char(block, cell.data(), conf, db);
    EXPECT_EQ(c, "TLO"[i - 1]);
    EXPECT_EQ(conf, 100);
    EXPECT_EQ(db, 0);
    EXPECT_EQ(pCurDB, &DBList[0]);
    EXPECT_EQ(I_nn, i);
  }
}

TEST_F(Recognize, DistancesBecomeConfidences) {
  struct Case {
    const char* name;
    char best;
    int bestDist;
    char second;
    int secondDist;
    char result;
    int conf;
  };
  const Case cases[] = {
      {"distance 100 alone", 'A', 100, 0, 0, 'A', 80},
      {"70 over 65 is halved", 'A', 150, 'B', 175, 'A', 35},
      {"70 over 68 is unreadable", 'A', 150, 'B', 160, '?', 1},
      {"one letter in two cases", 'O', 200, 'o', 205, 'O', 60},
      {"two letters at 60 and 59", 'O', 200, 'C', 205, '?', 1},
      {"exact template", 'A', 0, 0, 0, 'A', 100},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    useFont(9, 32, 24);
    validChars("ABOoC");
    ocr_clear();
    storeOf("plain04.db", c.second != 0 ? std::string{c.best, c.second} : std::string{c.best});
    inkBlock(40, 30);
    Cell32 cell = kSolid;
    setTemplate(1, flipped(cell, c.bestDist));
    ASSERT_EQ(hamming_dist(cell.data(), data_std_bbk[1], 140, 70, true), static_cast<uint32_t>(c.bestDist));
    if (c.second != 0) setTemplate(2, flipped(cell, c.secondDist));
    unsigned char conf = 0;
    EXPECT_EQ(read(cell, conf), c.result);
    EXPECT_EQ(conf, c.conf);
  }
}

TEST_F(Recognize, DistanceAboveTheSecondThresholdIsUnreadable) {
  useFont(9, 32, 24);
  validChars("A");
  storeOf("plain04.db", "A");
  inkBlock(40, 30);
  Cell32 cell = kSolid;
  setTemplate(1, flipped(cell, 100));
  SogliaOCR_2 = 99;
  unsigned char conf = 0;
  EXPECT_EQ(read(cell, conf), '?');
  EXPECT_EQ(conf, 1);
  EXPECT_EQ(pCurDB, nullptr);
}

TEST_F(Recognize, DigitAfterDigitWeighsLess) {
  for (bool weigh : {true, false}) {
    useFont(9, 32, 24);
    validChars("5");
    ocr_clear();
    storeOf("plain04.db", "5");
    inkBlock(40, 30);
    Cell32 cell = kSolid;
    setTemplate(1, flipped(cell, 25));
    pesaNumLet = weigh;
    Numero = 1;
    last_j2 = 10000;  // no gap before the block: the previous character counts
    unsigned char conf = 0;
    EXPECT_EQ(read(cell, conf), '5');
    EXPECT_EQ(conf, weigh ? 100 : 95);
  }
}

TEST_F(Recognize, SizeAndSetRules) {
  useFont(4, 32, 22);
  validChars("AB");
  storeOf("plain04.db", "AB");
  setTemplate(1, kSolid);
  setTemplate(2, kSolid);
  Cell32 cell = kSolid;
  unsigned char conf = 0;
  inkBlock(1, 30);
  minH = 2;
  EXPECT_EQ(read(cell, conf), ' ');
  EXPECT_EQ(conf, 1);
  minH = 1;
  inkBlock(40, 30);
  maxW = 29;
  EXPECT_EQ(read(cell, conf), 1);  // too large for OCR-B
  useFont(202, 40, 30);
  EXPECT_EQ(read(cell, conf), '?');  // and unreadable for CMC7
  maxW = 1000;
  useFont(9, 32, 24);
  ValidDB[0] = 0;
  EXPECT_EQ(read(cell, conf), '?');  // the database takes no part
  ValidDB[0] = 1;
  validChars("C");
  EXPECT_EQ(read(cell, conf), '?');  // neither character is in the set
  validChars("B");
  EXPECT_EQ(read(cell, conf), 'B');
  EXPECT_EQ(I_nn, 2);
}

TEST_F(Recognize, PayeeDatabasesWinByAQuarter) {
  // A template of an ABIIMP database raises the best distance by a quarter before it is
  // compared, and the raise stays, template after template: B at 110 beats A at 100. From a
  // plain database B loses.
  for (const char* second : {"abiimp04.db", "plainb04.db"}) {
    SCOPED_TRACE(second);
    useFont(944, 25, 17);
    validChars("AB");
    ocr_clear();
    storeOf("plain04.db", "A");
    storeOf(second, std::string(100, 'B'));
    inkBlock(40, 30);
    Cell32 cell = kSolid;
    setTemplate(1, flipped(cell, 100));
    for (unsigned j = 2; j <= 101; ++j) setTemplate(j, flipped(cell, 110 + static_cast<int>(j % 3)));
    unsigned char conf = 0;
    read(cell, conf);
    const bool payee = second[0] == 'a';
    EXPECT_EQ(I_char, payee ? 'B' : 'A');
    EXPECT_EQ(II_char, payee ? 'A' : 'B');
  }
}

TEST_F(Recognize, MicroperforationScoresByHoles) {
  // Cells inked on the holes of the mask their template's database and character choose.
  struct Case {
    const char* file;
    const std::array<uint32_t, 32>* mask;
    uint8_t microD;
    int conf;  // the MICROD window takes 8/10, the low character window 9/10
  };
  const Case cases[] = {{"microd04.db", &MicroperforationMask_microD, 1, 80},
                        {"micro04.db", &MicroperforationMask, 0, 90}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.file);
    useFont(35, 40, 23);
    validChars("A");
    ocr_clear();
    storeOf(c.file, "A");
    Cell32 cell(c.mask->begin(), c.mask->end());
    setTemplate(1, cell);
    inkBlock(30, 25);
    unsigned char conf = 0;
    EXPECT_EQ(read(cell, conf), 'A');
    EXPECT_EQ(conf, c.conf);
    EXPECT_EQ(MicroD_I, c.microD);
  }
}

TEST_F(Recognize, MicroperforationDashWithoutTemplate) {
  useFont(35, 40, 23);
  validChars("-A");
  storeOf("micro04.db", "A");
  setTemplate(1, Cell32(32, 0));
  inkBlock(5, 15);
  Cell32 cell(32, 0xF803E00Fu);
  unsigned char conf = 0, db = 7;
  EXPECT_EQ(recognize_char(1, cell.data(), conf, db), '-');
  EXPECT_EQ(conf, (1024 - 409) / 11);
  EXPECT_EQ(db, 0);
}

}  // namespace
}  // namespace pvk::test
