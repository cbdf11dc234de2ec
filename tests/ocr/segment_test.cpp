// Segmentation of a band into blocks and lines: the labelling against OpenCV's connected
// components, the noise rules, the limits of the block and line tables, and the debug greymaps.
#include <algorithm>
#include <random>
#include <tuple>

#include <opencv2/imgproc.hpp>

#include "ocr_core_fixture.h"

namespace pvk::test {
namespace {

using Box = std::tuple<uint32_t, uint32_t, uint32_t, uint32_t>;  // top, left, bottom, right

std::vector<Box> engineBoxes() {
  std::vector<Box> out;
  for (unsigned s = 1; s < lastblock; ++s)
    if (tblk[s].top != 0) out.emplace_back(tblk[s].top, tblk[s].left, tblk[s].bottom, tblk[s].right);
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<Box> peerBoxes(const Band& band) {
  cv::Mat img(band.h, band.w, CV_8U);
  for (int r = 0; r < band.h; ++r)
    for (int c = 0; c < band.w; ++c) img.at<uint8_t>(r, c) = band.px[r * band.w + c] != 0 ? 255 : 0;
  cv::Mat labels, stats, centroids;
  const int n = cv::connectedComponentsWithStats(img, labels, stats, centroids, 8, CV_32S);
  std::vector<Box> out;
  for (int i = 1; i < n; ++i) {
    const auto top = static_cast<uint32_t>(stats.at<int>(i, cv::CC_STAT_TOP));
    const auto left = static_cast<uint32_t>(stats.at<int>(i, cv::CC_STAT_LEFT));
    out.emplace_back(top, left, top + stats.at<int>(i, cv::CC_STAT_HEIGHT), left + stats.at<int>(i, cv::CC_STAT_WIDTH));
  }
  std::sort(out.begin(), out.end());
  return out;
}

// Filters the band in place as the engine does, then labels it; the peer sees the filtered band.
void expectSameAsPeer(Band& band) {
  imag = band.px.data();
  width = band.w;
  height = band.h;
  std::memset(tblk, 0, sizeof tblk);
  filtraPuntiSingoli();
  Band filtered = band;
  ASSERT_GT(getblocks(), 1u);
  EXPECT_EQ(engineBoxes(), peerBoxes(filtered));
  // After compaction the blocks fill slots 1..lastblock-1 without a gap.
  for (unsigned s = 1; s < lastblock; ++s) EXPECT_NE(tblk[s].top, 0u) << s;
}

class Segmentation : public OcrCoreTest {};

TEST_F(Segmentation, LabellingMatchesConnectedComponentsOnRandomBands) {
  useFont(202);  // CMC7: no noise rule
  std::mt19937 rng(19);
  for (int round = 0; round < 6; ++round) {
    Band band(96, 120);
    std::bernoulli_distribution ink(0.15 + 0.1 * (round % 3));
    for (int r = 1; r + 1 < band.h; ++r)
      for (int c = 1; c + 1 < band.w; ++c) band.at(r, c) = ink(rng) ? 1 : 0;
    SCOPED_TRACE(round);
    expectSameAsPeer(band);
  }
}

TEST_F(Segmentation, LabellingMatchesConnectedComponentsOnDrawnShapes) {
  useFont(202);
  Band band(64, 40);
  band.draw(2, 2, {"#.....#..####...#...#", "#.....#.#.......##.##", "#.....#.#.......#.#.#", "#.....#..###....#...#",
                   "#.....#.....#...#...#", ".#...#......#...#...#", "..###....####....#..."});
  band.rect(12, 4, 30, 6);
  band.rect(28, 4, 30, 20);
  band.draw(14, 30, {"#.#.#.#", ".#.#.#.", "#.#.#.#", "...#...", "..#.#..", ".#...#."});
  expectSameAsPeer(band);
}

TEST_F(Segmentation, NoiseRuleAndPointFilter) {
  // A lone point goes in the point filter. Of the corner "##" over "#." the filter keeps only the
  // corner pixel (its two arms lose their only neighbours); that pixel is noise for a text font
  // and a block of its own for CMC7.
  for (short font : {4, 202}) {
    Band band(32, 24);
    band.at(3, 3) = 1;
    band.draw(6, 10, {"##", "#."});
    band.rect(4, 20, 8, 24);
    useFont(font);
    ASSERT_EQ(segment(band), 1);
    EXPECT_EQ(band.at(3, 3), 0u);
    EXPECT_EQ(band.at(6, 11), 0u);
    const auto boxes = engineBoxes();
    if (font == 4) {
      EXPECT_EQ(boxes, (std::vector<Box>{{4, 20, 8, 24}}));
    } else {
      EXPECT_EQ(boxes, (std::vector<Box>{{4, 20, 8, 24}, {6, 10, 7, 11}}));
    }
  }
}

TEST_F(Segmentation, BandHeightWidthAndOneBlockForAU) {
  useFont(4);
  Band low(16, 15);
  low.rect(2, 2, 10, 8);
  EXPECT_EQ(segment(low), -1);
  EXPECT_EQ(lastblock, 0u);

  Band ok(104, 16);
  ok.rect(2, 2, 10, 8);
  ok.draw(2, 20, {"##....##", "##....##", "##....##", "##....##", "##....##", "##....##", "########", "########"});
  EXPECT_EQ(ocr_pre_process(ok.px.data(), 101, 16), 1);
  EXPECT_EQ(width, 104);
  EXPECT_EQ(imagsize, 104 * 16);
  EXPECT_EQ(engineBoxes(), (std::vector<Box>{{2, 2, 10, 8}, {2, 20, 10, 28}}));
}

// Squares of 2 x 2 at a pitch of 3 from (1, 1): n of them, row by row.
Band squares(uint16_t w, uint16_t h, int n) {
  Band band(w, h);
  for (int k = 0, r = 1; r + 2 < h && k < n; r += 3)
    for (int c = 1; c + 2 < w && k < n; c += 3, ++k) band.rect(r, c, r + 2, c + 2);
  return band;
}

TEST_F(Segmentation, SlotLimitByBandHeightAndFont) {
  // A new pixel takes the next free slot before it joins its neighbour: n squares use slots up
  // to n + 2. A band of 200 rows allows slots below 2048 for a text font, 4096 for CMC7.
  struct Case {
    short font;
    int squares;
    bool labelled;
  };
  for (const Case& c : {Case{4, 2045, true}, Case{4, 2046, false}, Case{202, 2046, true}}) {
    SCOPED_TRACE(c.squares);
    useFont(c.font);
    Band band = squares(100, 200, c.squares);
    EXPECT_EQ(segment(band), c.labelled ? 1 : -1);
    EXPECT_EQ(lastblock, c.labelled ? static_cast<uint32_t>(c.squares) + 1 : 0u);
  }
}

TEST_F(Segmentation, MicroperforationHolesJoinWithinThreePixels) {
  useFont(35, 40, 23);
  for (int gap : {3, 4}) {
    Band band(40, 20);
    band.rect(5, 5, 9, 9);
    band.rect(5, 9 + gap, 9, 13 + gap);
    ASSERT_EQ(segment(band), 1);
    EXPECT_EQ(blocks().size(), gap == 3 ? 1u : 2u) << gap;
  }
}

TEST_F(Segmentation, LinesTopToBottomBlocksLeftToRight) {
  useFont(4, 20, 14);
  Band band(80, 64);
  band.rect(5, 40, 25, 52);  // second block of line 0, first in the table
  band.rect(6, 10, 26, 22);
  band.rect(35, 30, 55, 42);
  band.rect(36, 5, 56, 17);
  ASSERT_EQ(segment(band), 1);
  ASSERT_EQ(num_of_lines, 2u);
  auto leftAt = [](unsigned pos) { return tblk[stblk[pos]].left; };
  EXPECT_EQ(tln[0].first, 1u);
  EXPECT_EQ(tln[1].first, 3u);
  EXPECT_EQ(tln[2].first, lastblock);
  EXPECT_EQ(leftAt(1), 10u);
  EXPECT_EQ(leftAt(2), 40u);
  EXPECT_EQ(leftAt(3), 5u);
  EXPECT_EQ(leftAt(4), 30u);
  EXPECT_EQ(tln[0].top, 5u);
  EXPECT_EQ(tln[0].bottom, 26u);
  EXPECT_EQ(tln[1].top, 35u);
  EXPECT_EQ(tln[1].bottom, 56u);
}

TEST_F(Segmentation, NineHundredNinetyNineLinesAndNoMore) {
  // Blocks 3 wide and 2 high, one white row apart: with a nominal height of 4 each is a line.
  for (int lines : {999, 1000}) {
    useFont(4, 4, 3);
    MyDev.lastResult = 0;
    Band band(8, static_cast<uint16_t>(3 * lines + 4));
    for (int k = 0; k < lines; ++k) band.rect(1 + 3 * k, 2, 3 + 3 * k, 5);
    ASSERT_EQ(segment(band), 1);
    if (lines == 999) {
      EXPECT_EQ(num_of_lines, 999u);
      EXPECT_EQ(MyDev.lastResult, 0);
    } else {
      EXPECT_EQ(num_of_lines, 0u);
      EXPECT_EQ(MyDev.lastResult, PVK_ERR_OCR);
      EXPECT_EQ(countOf(trace(), "err -  OCR: too many lines"), 1);
    }
  }
}

TEST_F(Segmentation, FullTableKeepsColumnsAndSplitsInBounds) {
  useFont(4);
  Band band(64, 40);
  band.rect(5, 5, 30, 40);
  install(band);
  for (unsigned s = 1; s < kSpareSlot; ++s) setBlock(s, 5, 5, 30, 40);
  ASSERT_EQ(lastblock, 4096u);
  getcolumns();
  EXPECT_EQ(stblk[4096], 4096u);
  EXPECT_EQ(tcol[0].end, 4096u);
  ah = 30;
  aw = 20;
  ah_2_3 = 20;
  band.rect(5, 20, 30, 21, 0);  // a column without ink: every split finds its cut
  unsigned n = 0;
  EXPECT_EQ(split_block_hor(4095, 0.0f, false, n), 0u);
  EXPECT_EQ(split_block_hor_fix(4095, 10, n), 0u);
  EXPECT_EQ(split_block_imag_hor(4095, n), 0);
  EXPECT_EQ(split_block_ver(4095, 100, 1), 0u);
  EXPECT_EQ(tblk[kSpareSlot].top, 0u);
}

TEST_F(Segmentation, BlockOperationsMoveLabelsWithRecords) {
  useFont(4);
  Band band(32, 20);
  band.rect(2, 2, 6, 6);
  band.rect(2, 10, 6, 14);
  install(band);
  setBlock(2, 2, 2, 6, 6);
  setBlock(3, 2, 10, 6, 14);
  labelBox(2);
  labelBox(3);
  permute_block(2, 3);
  EXPECT_EQ(tblk[2].left, 10u);
  EXPECT_EQ(tblk[3].left, 2u);
  EXPECT_EQ(band.at(3, 3), 3u);
  EXPECT_EQ(band.at(3, 11), 2u);
  EXPECT_EQ(tblk[kSpareSlot].top, 0u);
  join_block(2, 3);
  EXPECT_EQ(tblk[2].top, 0u);
  EXPECT_EQ(tblk[3].left, 2u);
  EXPECT_EQ(tblk[3].right, 14u);
  EXPECT_EQ(band.at(3, 11), 3u);
  clear_block(3);
  EXPECT_EQ(std::count(band.px.begin(), band.px.end(), 0u), static_cast<long>(band.px.size()));
}

class EngineGreymaps : public OcrCoreTest {};

TEST_F(EngineGreymaps, WritesTheTabledLayout) {
  const uint32_t image[8] = {0, 1, 7, 0, 0, 0, 0, 2};
  ASSERT_TRUE(ImgPGMWrite(path("e.pgm").c_str(), image, 4, 2, 255));
  EXPECT_EQ(readFile(path("e.pgm")), std::string("P5\n# Created by Plavik\n4 2\n255\n") +
                                         std::string("\xff\x00\x00\xff\xff\xff\xff\x00", 8));
  Cell32 cell(32, 0);
  cell[0] = 0x80000001u;
  ASSERT_TRUE(ImgPGMWriteBBK(path("c.pgm").c_str(), cell.data(), 1));
  const std::string c = readFile(path("c.pgm"));
  const std::string header = "P5\n# Created by me\n32 32\n1\n";
  ASSERT_EQ(c.size(), header.size() + 1024);
  EXPECT_EQ(c.substr(0, header.size()), header);
  EXPECT_EQ(static_cast<uint8_t>(c[header.size()]), 0);
  EXPECT_EQ(static_cast<uint8_t>(c[header.size() + 1]), 255);
  EXPECT_EQ(static_cast<uint8_t>(c[header.size() + 31]), 0);
}

TEST_F(EngineGreymaps, ReadTrustsNoHeader) {
  const std::string head = "P5\n# x\n";
  struct Case {
    std::string text;
    bool read;
    const char* trace;
  };
  const std::vector<Case> cases = {
      {head + "3 2 255\n" + std::string(6, 'a'), true, nullptr},
      {head + "3 2 255\n" + std::string(5, 'a'), false, nullptr},
      {head + "-3 2 255\n" + std::string(6, 'a'), false, "read pgm file with invalid parameters"},
      {head + "65536 1 255\n" + std::string(6, 'a'), false, "read pgm file with invalid parameters"},
      {head + "65535 65535 255\n", false, "read pgm file with invalid parameters"},
      {head + "0 4 255\n", false, "read pgm file with invalid parameters"},
      {"P5\n", false, "read pgm file with invalid header"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text.substr(0, 24));
    writeFile(path("r.pgm"), c.text);
    width = height = 0;
    uint8_t* bytes = ImgPGMRead(path("r.pgm").c_str());
    EXPECT_EQ(bytes != nullptr, c.read);
    if (bytes != nullptr) {
      EXPECT_EQ(width, 3);
      EXPECT_EQ(height, 2);
      EXPECT_EQ(imagsize, 6);
      EXPECT_EQ(bytes[5], 'a');
    } else {
      EXPECT_EQ(width, 0);
    }
    std::free(bytes);
    if (c.trace != nullptr) {
      EXPECT_GE(countOf(trace(), c.trace), 1);
    }
  }
}

}  // namespace
}  // namespace pvk::test
