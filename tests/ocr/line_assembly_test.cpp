// The line assembly's own rules on blocks placed by hand (overlaps, blanks from gaps, a line of
// weak characters, a full buffer, entry removal, an amount's small stars) and on lines drawn in
// a generated font (two lines and their CR LF, a buffer too small for the line, the offline path
// of a greymap file).
#include <cstdio>
#include <cstdlib>
#include <tuple>

#include "ocr_lines_fixture.h"

namespace pvk::test {
namespace {

class LineAssembly : public OcrLinesTest {
 protected:
  void SetUp() override {
    OcrLinesTest::SetUp();
    useFont(9);
    validChars("ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789");
    width = 400;
    height = 100;
    aw = 20;
    ah = 30;
    minHNum = minWNum = minPix = 0;
    maxH = 1000;
    TagliaSopraPrimaLinea = 0;
    reject_nchar = 0;
    db_ = DBEntry{};
    db_.index = 3;
    db_.spaceFactor = 1.0f;
    pCurDB = &db_;
    nCharOcr = 0;
    last_c = 0;
    cumulaConf = 0;
    add_blank_horiz = 1;
    last_j2 = 0;
  }
  // Appends c read from a block at columns left..right-1, rows 30..60.
  int add(char c, unsigned char conf, uint32_t left, uint32_t right, int maxChars = 64) {
    setBlock(1, 30, left, 60, right);
    return AggiungiCarattereOCR(c, conf, 1, 1, text_, conf_, info_, n_, nRead_, maxChars, 0, 0);
  }
  std::string text() const { return std::string(text_, n_); }

  DBEntry db_{};
  char text_[64] = {};
  char conf_[64] = {};
  ChInfo info_[64] = {};
  unsigned n_ = 0;
  unsigned nRead_ = 0;
};

TEST_F(LineAssembly, OverlapReplacesAnUnreadEntryAndDropsOneOverALetter) {
  EXPECT_EQ(add('?', 30, 50, 70), 0);
  EXPECT_EQ(add('A', 90, 60, 80), 0);  // starts inside the '?': the '?' goes
  EXPECT_EQ(text(), "A");
  EXPECT_EQ(add('B', 90, 82, 102), 0);
  EXPECT_EQ(add('C', 95, 92, 112), 0);  // starts inside the 'B': the C goes
  EXPECT_EQ(text(), "AB");
  EXPECT_EQ(info_[1].left, 82);
  EXPECT_EQ(nCharOcr, 2u);
}

TEST_F(LineAssembly, AKernedPayeeLetterIsNoSecondReading) {
  // A at columns 80-99, then B 20 wide under it: in the kerned payee face a letter reaching back
  // a sixth of the narrower or less is kept; more, or another face, drops it.
  for (const auto& [font, left, out] : {std::tuple{945, 97u, "AB"}, {945, 96u, "A"}, {944, 99u, "A"}, {9, 99u, "A"}}) {
    n_ = nCharOcr = last_j2 = 0;
    useFont(static_cast<short>(font));
    add('A', 90, 80, 100);
    add('B', 95, left, left + 20);
    EXPECT_EQ(text(), out) << font << " " << left;
  }
}

TEST_F(LineAssembly, AGapOfFourAndAHalfWidthsIsOneBlank) {
  add('A', 90, 50, 70);
  add('B', 90, 70 + 90, 180);  // 90 columns after the A, the reference width 20
  EXPECT_EQ(text(), "A B");
  EXPECT_EQ(conf_[1], 100);
  EXPECT_EQ(info_[1].dbIndex, 1);
  EXPECT_EQ(info_[0].dbIndex, 3);
  // A wider space factor of the template's database makes the same gap narrower than a blank.
  db_.spaceFactor = 5.0f;
  add('C', 90, 180 + 90, 290);
  EXPECT_EQ(text(), "A BC");
}

TEST_F(LineAssembly, TheSixthEntryOfAWeakLineTurnsItToConfidenceOne) {
  for (int i = 0; i < 5; ++i) EXPECT_EQ(add('A', 9, 50 + 22 * i, 70 + 22 * i), 0) << i;
  EXPECT_EQ(add('B', 9, 160, 180), 1);
  ASSERT_EQ(n_, 5u);
  for (unsigned i = 0; i < n_; ++i) EXPECT_EQ(conf_[i], 1) << i;
}

TEST_F(LineAssembly, AFullBufferKeepsNineOfTenEntriesAndSaysSo) {
  int r = 0;
  for (int i = 0; i < 12 && r == 0; ++i) r = add('A', 90, 20 + 22 * i, 40 + 22 * i, 10);
  EXPECT_EQ(r, 1);
  EXPECT_EQ(n_, 9u);
  EXPECT_EQ(nCharOcr, 9u);
  EXPECT_EQ(countOf(trace(), "too many ocr chars"), 1);
}

TEST_F(LineAssembly, BlocksAtTheEdgesAreUnreadOrHalved) {
  add('A', 90, 2, 20);  // starts within the five leftmost columns
  EXPECT_EQ(text(), "?");
  EXPECT_EQ(conf_[0], 1);
  n_ = 0;
  nCharOcr = 0;
  last_j2 = 0;
  setBlock(1, 1, 100, 40, 120);  // starts in row 1: half the confidence
  AggiungiCarattereOCR('B', 90, 1, 1, text_, conf_, info_, n_, nRead_, 64, 0, 0);
  EXPECT_EQ(text(), "B");
  EXPECT_EQ(conf_[0], 45);
}

TEST_F(LineAssembly, RemovingFromAnEmptyLineChangesNothing) {
  unsigned n = 0;
  char t[4] = {'x', 'y', 0, 0};
  char c[4] = {5, 6, 0, 0};
  ChInfo in[4] = {};
  rimuovi_ocr_char(t, c, in, 0, n);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(t[0], 'x');
  n = 2;
  rimuovi_ocr_char(t, c, in, 7, n);  // past the end: the last entry goes
  EXPECT_EQ(n, 1u);
  EXPECT_EQ(t[0], 'x');
  EXPECT_EQ(t[1], 0);
  rimuovi_ocr_char(t, c, in, 0, n);
  EXPECT_EQ(n, 0u);
  EXPECT_EQ(t[0], 0);
}

TEST_F(LineAssembly, ShiftBlockTrimsThinRowsAtTheEnds) {
  Band band(40, 40);
  band.rect(10, 5, 11, 6);   // one pixel above
  band.rect(11, 5, 29, 15);  // the body
  band.rect(29, 5, 30, 6);   // one pixel below
  install(band);
  setBlock(1, 10, 5, 30, 15);
  EXPECT_TRUE(shift_block_with_line(1, 1, 1));
  EXPECT_EQ(tblk[1].top, 11u);
  EXPECT_EQ(tblk[1].bottom, 29u);
  EXPECT_FALSE(shift_block_with_line(1, 1, 1));
  setBlock(2, 10, 20, 17, 30);  // 7 rows: too low to trim
  EXPECT_FALSE(shift_block_with_line(2, 100, 100));
}

// ---- Lines drawn in a generated font ---------------------------------------------------------

class DrawnLines : public OcrLinesTest {
 protected:
  glyphs::GreyImage lines(const std::vector<std::string>& texts) {
    const fontdb::DbSpec* db = fontdb::findDatabase("ocrbA04.db");
    fontdb::LineOptions o;
    o.capHeight = MyOcr.charHeight;
    glyphs::GreyImage all;
    for (const std::string& t : texts) {
      const fontdb::Line l = fontdb::renderLine(*db, t, o);
      if (all.pixels.empty()) {
        all = l.image;
        continue;
      }
      EXPECT_EQ(l.image.stride, all.stride);
      all.height += l.image.height;
      all.pixels.insert(all.pixels.end(), l.image.pixels.begin(), l.image.pixels.end());
    }
    return all;
  }
};

TEST_F(DrawnLines, TwoLinesAreJoinedByCrLfAndTheLastCrLfGoes) {
  ASSERT_EQ(setUp(3, 300), 1);
  glyphs::GreyImage img = lines({"AB", "CD"});
  const LineReading r = readImage(img, kHalfway);
  EXPECT_EQ(r.text, "AB\r\nCD") << trace();
  ASSERT_EQ(r.count, 6);
  EXPECT_EQ(r.conf.substr(2, 2), "dd");
  for (const ChInfo& e : r.info) EXPECT_EQ(e.agreement, 1);
  EXPECT_EQ(nLineeLetteOCR, 2u);
}

// A buffer of 10 entries for 12 characters: nine are kept, and the last two stay though they
// are not a closing CR LF.
TEST_F(DrawnLines, ABufferTooSmallKeepsNineCharacters) {
  ASSERT_EQ(setUp(4, 300), 1);
  glyphs::GreyImage img = lines({"123456789012"});
  const LineReading r = readImage(img, kHalfway, 10);
  EXPECT_EQ(r.text, "123456789");
  EXPECT_EQ(countOf(trace(), "too many ocr chars"), 1);
}

TEST_F(DrawnLines, ABandOfNoBlockOrNoDatabaseReadsNothing) {
  char text[16], conf[16];
  ChInfo info[16];
  lastblock = 1;
  EXPECT_EQ(ocr_read(text, conf, info, 16, 0), 0);
  EXPECT_EQ(countOf(trace(), "not single char"), 1);
  lastblock = 3;
  EXPECT_EQ(ocr_read(text, conf, info, 16, 0), -1);
  EXPECT_EQ(MyDev.lastResult, PVK_ERR_OCR);
  EXPECT_EQ(countOf(trace(), "no database char loaded"), 1);
  EXPECT_EQ(ocr_read(nullptr, conf, info, 16, 0), -1);
  EXPECT_EQ(ocr_read(text, conf, info, 0, 0), -1);
}

TEST_F(DrawnLines, AGreymapFileIsReadOffline) {
  ASSERT_EQ(setUp(4, 300), 1);
  glyphs::GreyImage img = lines({"4711"});
  std::vector<uint32_t> ink(static_cast<size_t>(img.width) * img.height);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) ink[static_cast<size_t>(y) * img.width + x] = img.at(x, y) < 125;
  const std::string file = path("zone.pgm");
  ASSERT_TRUE(ImgPGMWrite(file.c_str(), ink.data(), static_cast<uint16_t>(img.width),
                          static_cast<uint16_t>(img.height), 255));
  ASSERT_EQ(process_image(file.c_str()), 1);
  EXPECT_EQ(width % 8, 0);
  EXPECT_GE(width, img.width);
  char text[16], conf[16];
  ChInfo info[16];
  EXPECT_EQ(ocr_read(text, conf, info, 16, 0), 4);
  EXPECT_EQ(std::string(text), "4711");
  std::free(imag);
  imag = nullptr;
  EXPECT_EQ(process_image(path("missing.pgm").c_str()), -1);
}

// A good greymap read offline: its rows widened to a multiple of 8, ink below 125 and none from
// 125 on, and no fault left behind (no error line, result code 0), whatever its width.
TEST_F(OcrLinesTest, AGoodGreymapLeavesNoFaultBehind) {
  const struct {
    uint16_t w, h, widened;
  } cases[] = {{7, 2, 8}, {8, 3, 8}, {9, 2, 16}};
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.w << " x " << c.h);
    std::string grey;
    std::vector<uint32_t> ink;
    for (int y = 0; y < c.h; ++y)
      for (int x = 0; x < c.widened; ++x) {
        if (x < c.w) grey += static_cast<char>(x % 3 == 0 ? 124 : x % 3 == 1 ? 125 : 0);
        ink.push_back(x < c.w && x % 3 != 1);
      }
    writeFile(path("good.pgm"), "P5\n# by hand\n" + std::to_string(c.w) + " " + std::to_string(c.h) + "\n255\n" + grey);
    ASSERT_TRUE(getimage(path("good.pgm").c_str()));
    EXPECT_EQ(MyDev.lastResult, 0);
    EXPECT_EQ(countOf(trace(), "err - "), 0) << trace();
    EXPECT_EQ(width, c.widened);
    EXPECT_EQ(std::vector<uint32_t>(imag, imag + imagsize), ink);
    std::free(imag);
    imag = nullptr;
  }
}

// An amount's small stars held back from the line go to its ends only in a star's cell next to
// the figures (here 10 wide and 14 high from row 12, 2 apart) and matched by another star. Held
// stars are given outward from the line's ends: before or after, gap to the entry inside them,
// width, height and rows below the figures' top.
TEST(AmountStars, HeldStarsArePlacedOnlyInTheirCells) {
  struct Star {
    bool before;
    uint16_t gap, w, h, below;
  };
  struct Case {
    const char* line;
    std::vector<Star> held;
    const char* want;
  };
  const Star b{true, 2, 4, 6, 0}, a{false, 2, 4, 6, 0};
  const Case cases[] = {
      {"1234", {b, b}, "**1234"},
      {"1234", {a, a}, "1234**"},
      {"1234", {b, a}, "*1234*"},
      {"1234", {b}, "1234"},                                              // no star matches it
      {"1234", {b, a, {true, 10, 4, 6, 0}}, "**1234*"},                   // a figure's width apart
      {"1234", {b, a, {true, 11, 4, 6, 0}}, "*1234*"},                    // one column more
      {"1234", {{true, 2, 4, 4, 0}, {true, 2, 4, 4, 0}}, "**1234"},       // a quarter of the figures' height
      {"1234", {{true, 2, 3, 3, 0}, {true, 2, 3, 3, 0}}, "1234"},
      {"1234", {{true, 2, 6, 9, 0}, {true, 2, 6, 9, 0}}, "**1234"},       // two thirds of it
      {"1234", {{true, 2, 6, 10, 0}, {true, 2, 6, 10, 0}}, "1234"},
      {"1234", {{true, 2, 10, 9, 0}, {true, 2, 10, 9, 0}}, "**1234"},     // a figure's width
      {"1234", {{true, 2, 11, 9, 0}, {true, 2, 11, 9, 0}}, "1234"},
      {"1234", {{true, 2, 4, 6, 3}, {true, 2, 4, 6, 3}}, "**1234"},       // hanging a quarter lower
      {"1234", {{true, 2, 4, 6, 4}, {true, 2, 4, 6, 4}}, "1234"},
      {"1234", {b, {true, 2, 4, 9, 0}}, "1234"},                          // not alike
      {"?1234", {b, b}, "?1234"},                                         // the run is closed
  };
  for (const Case& c : cases) {
    char text[32] = {}, conf[32] = {};
    ChInfo info[32] = {};
    unsigned n = 0;
    for (const char* p = c.line; *p != 0; ++p, ++n) {
      text[n] = *p;
      conf[n] = 90;
      info[n].left = static_cast<uint16_t>(40 + 12 * n);
      info[n].right = static_cast<uint16_t>(info[n].left + 10);
      info[n].top = 12;
      info[n].bottom = 26;
    }
    std::vector<pvk::ocr::HeldStar> held;
    uint16_t edge[2] = {info[0].left, info[n - 1].right};
    for (const Star& s : c.held) {
      pvk::ocr::HeldStar h{};
      h.conf = 60;
      h.box.left = s.before ? static_cast<uint16_t>(edge[0] - s.gap - s.w) : static_cast<uint16_t>(edge[1] + s.gap);
      h.box.right = static_cast<uint16_t>(h.box.left + s.w);
      h.box.top = static_cast<uint16_t>(12 + s.below);
      h.box.bottom = static_cast<uint16_t>(h.box.top + s.h);
      edge[s.before ? 0 : 1] = s.before ? h.box.left : h.box.right;
      held.push_back(h);
    }
    pvk::ocr::placeHeldStars(text, conf, info, n, 8, held.data(), static_cast<unsigned>(held.size()));
    EXPECT_EQ(std::string(text, n), c.want) << c.line << " with " << held.size() << " held";
  }
}

}  // namespace
}  // namespace pvk::test
