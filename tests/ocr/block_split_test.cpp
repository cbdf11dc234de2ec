// Joining the fragments of one character and cutting touching characters apart.
#include "ocr_core_fixture.h"

namespace pvk::test {
namespace {

class BlockSplit : public OcrCoreTest {
 protected:
  // One block in slot 1 over everything drawn in the band's box.
  void oneBlock(Band& band, uint32_t top, uint32_t left, uint32_t bottom, uint32_t right) {
    install(band);
    std::memset(tblk, 0, sizeof tblk);
    lastblock = 0;
    setBlock(1, top, left, bottom, right);
    labelBox(1);
  }
};

TEST_F(BlockSplit, HorizontalCutAtAOnePixelTouchBelowTheInkLimit) {
  // Two bars joined by one pixel in column 30. The ink limit L = trunc(ah x f / 30 + 1.5): 1 for
  // f = 0 or 0.01, 2 for f = 1 or for 0.01 with a database that widens the factor.
  struct Case {
    float f;
    bool splitDb;
    uint32_t result;
  };
  DBEntry wide{};
  wide.split = 1;
  for (const Case& c : {Case{0.0f, false, 0}, Case{0.01f, false, 0}, Case{1.0f, false, 2}, Case{0.01f, true, 2}}) {
    SCOPED_TRACE(c.f);
    useFont(4);
    ah = 30;
    aw = 30;
    Band band(64, 48);
    band.rect(10, 10, 31, 30);  // left part on rows 10..30
    band.rect(5, 31, 36, 51);
    band.at(20, 30) = 1;
    oneBlock(band, 5, 10, 36, 51);
    pCurDB = c.splitDb ? &wide : nullptr;
    unsigned n = 0;
    ASSERT_EQ(split_block_hor(1, c.f, false, n), c.result);
    if (c.result == 0) {
      EXPECT_EQ(lastblock, 2u);
      continue;
    }
    EXPECT_EQ(n, 3u);
    EXPECT_EQ(lastblock, 3u);
    const BlockRec& left = tblk[n];
    EXPECT_EQ(left.left, 10u);
    EXPECT_EQ(left.right, 29u);
    EXPECT_EQ(left.top, 10u);
    EXPECT_EQ(left.bottom, 31u);
    EXPECT_EQ(tblk[1].left, 31u);
    EXPECT_EQ(tblk[1].right, 51u);
    EXPECT_EQ(band.at(20, 15), 3u);
    EXPECT_EQ(band.at(20, 40), 1u);
  }
}

TEST_F(BlockSplit, NoHorizontalSplitForCMC7OrMicroperforationFonts) {
  for (short font : {202, 35}) {
    useFont(font);
    ah = aw = 30;
    Band band(64, 48);
    band.rect(5, 10, 36, 30);
    band.rect(5, 31, 36, 51);
    oneBlock(band, 5, 10, 36, 51);
    unsigned n = 0;
    EXPECT_EQ(split_block_hor(1, 1.0f, false, n), 0u) << font;
    // The fixed cut is refused for microperforation fonts only.
    EXPECT_EQ(split_block_hor_fix(1, 21, n) != 0, font == 202) << font;
  }
}

TEST_F(BlockSplit, FixedCutTakesTheLeastInkNearTheOffset) {
  useFont(945);
  Band band(64, 48);
  band.rect(5, 10, 36, 51);
  band.rect(5, 22, 36, 23, 0);
  oneBlock(band, 5, 10, 36, 51);
  unsigned n = 0;
  EXPECT_EQ(split_block_hor_fix(1, 13, n), 1u);  // columns 21..24: column 22 is empty
  EXPECT_EQ(tblk[n].right, 21u);
  EXPECT_EQ(tblk[1].left, 23u);
}

TEST_F(BlockSplit, ImageCutAtEmptyColumns) {
  struct Case {
    short font;
    uint32_t right;
    uint32_t gapFrom, gapTo;  // empty columns
    int result;
    uint32_t keptLeft, keptRight;  // of slot 1 after the cut
  };
  const Case cases[] = {
      {4, 30, 20, 20, 1, 21, 30},  // both parts wide: slot 1 keeps the right part
      {4, 18, 14, 14, 0, 10, 18},  // parts of 3 columns each
      {4, 20, 14, 14, 1, 15, 20},  // only the right part is wide
      {4, 20, 16, 16, 1, 10, 15},  // only the left part is wide
      {202, 50, 25, 31, 1, 32, 50},  // CMC7: a gap of 7 passes once the margin is lowered to 6
      {202, 50, 25, 30, 0, 10, 50},  // a gap of 6 does not
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.font << " " << c.right << " " << c.gapFrom);
    useFont(c.font, 40, 30);
    Band band(64, 48);
    band.rect(5, 10, 36, static_cast<int>(c.right));
    band.rect(5, static_cast<int>(c.gapFrom), 36, static_cast<int>(c.gapTo) + 1, 0);
    oneBlock(band, 5, 10, 36, c.right);
    unsigned out = 0;
    EXPECT_EQ(split_block_imag_hor(1, out), c.result);
    EXPECT_EQ(tblk[1].left, c.keptLeft);
    EXPECT_EQ(tblk[1].right, c.keptRight);
    if (c.result == 1 && c.keptLeft > 10 && c.keptRight == c.right && out != 1) {
      EXPECT_EQ(tblk[out].left, 10u);
      EXPECT_EQ(tblk[out].right, c.gapTo == c.gapFrom ? c.gapFrom - 1 : c.gapTo - 1);
    }
  }
}

TEST_F(BlockSplit, VerticalCutKeepsOnePart) {
  struct Case {
    uint32_t bottom;
    uint32_t emptyRow;
    uint32_t maxRow;
    unsigned result;
    uint32_t top, newBottom;
  };
  // ah_2_3 = 20, minimum part height 5; the block spans rows 10..bottom-1.
  const Case cases[] = {
      {50, 35, 0, 1, 10, 35},  // upper 25 rows, lower 14: the upper replaces the block
      {40, 25, 0, 0, 10, 40},  // 15 and 14 rows: both could be a character, undone
      {50, 15, 0, 1, 16, 50},  // upper 5 rows, lower 34: the lower part stays
      {50, 99, 2, 0, 10, 50},  // no row with at most 2 pixels
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.emptyRow);
    useFont(4);
    ah_2_3 = 20;
    Band band(32, 64);
    band.rect(10, 10, static_cast<int>(c.bottom), 20);
    if (c.emptyRow < c.bottom) band.rect(static_cast<int>(c.emptyRow), 10, static_cast<int>(c.emptyRow) + 1, 20, 0);
    oneBlock(band, 10, 10, c.bottom, 20);
    EXPECT_EQ(split_block_ver(1, c.maxRow, 5), c.result);
    EXPECT_EQ(tblk[1].top, c.top);
    EXPECT_EQ(tblk[1].bottom, c.newBottom);
    EXPECT_EQ(lastblock, 2u);
    EXPECT_EQ(tblk[3].top, 0u);
  }
}

TEST_F(BlockSplit, JoinsTheDotOfAnIWithItsStem) {
  // Nominal height 20: vertical gap H / 4 = 5, union height 24.
  for (uint32_t dotBottom : {15u, 13u}) {
    useFont(4, 20, 14);
    Band band(32, 48);
    band.rect(18, 10, 34, 13);
    band.rect(static_cast<int>(dotBottom) - 3, 10, static_cast<int>(dotBottom), 13);
    install(band);
    setBlock(1, 18, 10, 34, 13);
    setBlock(2, dotBottom - 3, 10, dotBottom, 13);
    stblk[1] = 1;
    stblk[2] = 2;
    JoinBlocks(10, 20, 1, 3);
    const bool joined = dotBottom == 15;  // a gap of 3 rows; 5 is not below H / 4
    EXPECT_EQ(blocks().size(), joined ? 1u : 2u) << dotBottom;
    if (joined) {
      EXPECT_EQ(tblk[2].top, 12u);
      EXPECT_EQ(tblk[2].bottom, 34u);
    }
  }
}

TEST_F(BlockSplit, KernedPayeeLettersStayApart) {
  // An L at columns 10-29 and a T (or, low, an inverted T: where they meet both keep to the
  // bottom, as the halves of a broken W meet in the same rows), mean width 20: payee letters
  // sharing a sixth of the narrower or less, each half the mean width and 4/5 of the union's
  // height or more, one at the top and one at the bottom where they meet, stay two blocks.
  struct Case {
    short font;
    int left, right, top;
    bool low, apart;
  };
  const Case cases[] = {
      {945, 29, 49, 10, false, true}, {945, 27, 47, 10, false, true}, {945, 26, 46, 10, false, false},  // 3 of 20
      {945, 29, 39, 10, false, true}, {945, 29, 38, 10, false, false}, {945, 29, 49, 10, true, false},  // narrow; low
      {945, 29, 49, 18, false, false}, {944, 29, 49, 10, false, false}, {3, 29, 49, 10, false, false},  // fragment
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.font << " " << c.left << "-" << c.right << " top " << c.top << c.low);
    useFont(c.font, 30, 20);
    Band band(64, 64);
    band.rect(10, 10, 40, 13, 1);
    band.rect(36, 10, 40, 30, 1);
    const int bar = c.low ? 36 : c.top, mid = (c.left + c.right) / 2;
    band.rect(bar, c.left, bar + 4, c.right, 2);
    band.rect(c.top, mid - 1, 40, mid + 2, 2);
    install(band);
    setBlock(1, 10, 10, 40, 30);
    setBlock(2, static_cast<uint32_t>(c.top), static_cast<uint32_t>(c.left), 40, static_cast<uint32_t>(c.right));
    stblk[1] = 1;
    stblk[2] = 2;
    JoinBlocks(20, 30, 1, 3);
    EXPECT_EQ(blocks().size(), c.apart ? 2u : 1u);
  }
}

TEST_F(BlockSplit, CMC7JoinGapFollowsTheThresholdAndBarMode) {
  struct Case {
    uint8_t bars;
    uint8_t threshold;
    uint32_t gap;  // the widest gap that still joins is the limit minus one
  };
  for (const Case& c : {Case{1, 100, 9}, Case{1, 120, 7}, Case{0, 70, 6}, Case{0, 90, 5}}) {
    for (uint32_t gap : {c.gap - 1, c.gap}) {
      SCOPED_TRACE(testing::Message() << int(c.bars) << " " << int(c.threshold) << " " << gap);
      useFont(202, 40, 30);
      MyOcr.fixedSize = 1;
      PrivilegiaBarreVert = c.bars;
      SogliaBW = c.threshold;
      Band band(64, 48);
      install(band);
      setBlock(1, 10, 10, 40, 20);
      setBlock(2, 10, 20 + gap, 40, 26 + gap);
      stblk[1] = 1;
      stblk[2] = 2;
      JoinBlocks(0, 0, 1, 3);
      EXPECT_EQ(blocks().size(), gap < c.gap ? 1u : 2u);
    }
  }
}

}  // namespace
}  // namespace pvk::test
