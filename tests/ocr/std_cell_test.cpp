// The standard cell: which scaler a block takes, the border trimming, and the distances and
// counters of cells against counts made pixel by pixel here.
#include <functional>
#include <random>

#include "ocr_core_fixture.h"

namespace pvk::test {
namespace {

class StdCell : public OcrCoreTest {
 protected:
  // A block over rows top..top+h-1 and columns left..left+w-1 in slot 1 of a fresh band.
  Band& block(uint32_t h, uint32_t w, uint32_t top = 4, uint32_t left = 4) {
    band_ = std::make_unique<Band>(static_cast<uint16_t>((left + w + 8 + 3) & ~3u), static_cast<uint16_t>(top + h + 8));
    install(*band_);
    std::memset(tblk, 0, sizeof tblk);
    lastblock = 0;
    setBlock(1, top, left, top + h, left + w);
    return *band_;
  }
  Cell32 scale(uint32_t minH = 1, uint32_t minW = 1, bool* ok = nullptr) {
    Cell32 cell(32, 0);
    const bool r = mk_std_size_bin(1, cell.data(), minH, minW);
    if (ok != nullptr) *ok = r;
    return cell;
  }
  std::unique_ptr<Band> band_;
};

// A frame two pixels thick round the block, so no border row or column is trimmed, with thin
// horizontal strokes inside: only the three-row scaler keeps all of them.
void framedStrokes(Band& band, int top, int left, int h, int w) {
  band.rect(top, left, top + h, left + w);
  band.rect(top + 2, left + 2, top + h - 2, left + w - 2, 0);
  for (int r = top + 6; r < top + h - 4; r += 7) band.rect(r, left, r + 1, left + w);
}

TEST_F(StdCell, ScalerFollowsTheSteps) {
  struct Case {
    uint32_t h, w;
    bool threeRow;
  };
  for (const Case& c : {Case{40, 64, false}, Case{90, 64, false}, Case{80, 40, true}, Case{40, 40, false}}) {
    SCOPED_TRACE(testing::Message() << c.w << "x" << c.h);
    Band& band = block(c.h, c.w);
    framedStrokes(band, 4, 4, static_cast<int>(c.h), static_cast<int>(c.w));
    Cell32 bilinear(32, 0), threeRow(32, 0);
    const float sx = static_cast<float>(c.w) / 32, sy = static_cast<float>(c.h) / 32;
    mk_std_size_bin_1_1(1, bilinear.data(), c.h, c.w, sx, sy);
    mk_std_size_bin_1_2(1, threeRow.data(), c.h, c.w, sx, sy);
    bool ok = false;
    const Cell32 cell = scale(1, 1, &ok);
    ASSERT_TRUE(ok);
    EXPECT_EQ(cell, c.threeRow ? threeRow : bilinear);
    if (c.threeRow) {
      EXPECT_NE(bilinear, threeRow);  // the strokes tell the two apart
    }
    // Scaled once: the frame leaves every border row and column inked.
    EXPECT_EQ(tblk[1].top, 4u);
    EXPECT_EQ(tblk[1].bottom, 4 + c.h);
    EXPECT_EQ(tblk[1].right, 4 + c.w);
  }
}

TEST_F(StdCell, SamplesPastTheImageEdgeAsWhite) {
  // The block ends on the last row and column of the image: the scaler's look at the row below
  // and the column to the right stays inside the image, and reads white there.
  Band band(32, 32);
  band.rect(0, 0, 32, 32);
  install(band);
  setBlock(1, 0, 0, 32, 32);
  Cell32 cell(32, 0);
  mk_std_size_bin_1_1(1, cell.data(), 32, 32, 1.0f, 1.0f);
  EXPECT_EQ(popcount(cell), 1024);
}

TEST_F(StdCell, TrimsOneRowPerPassAtMostNine) {
  // An ink block below some white rows of its box: each pass drops one white top row.
  for (uint32_t white : {3u, 12u}) {
    Band& band = block(40, 64);
    band.rect(4 + static_cast<int>(white), 4, 44, 68);
    bool ok = false;
    scale(1, 1, &ok);
    EXPECT_TRUE(ok);
    EXPECT_EQ(tblk[1].top, 4 + (white < 9 ? white : 9)) << white;
    EXPECT_EQ(tblk[1].bottom, 44u);
  }
}

TEST_F(StdCell, TrimNeverPassesTheOppositeSide) {
  // Boxes of one row or one column without ink: both sides want a trim; the call fails with
  // the bounds still ordered.
  struct Case {
    uint32_t h, w;
  };
  for (const Case& c : {Case{1, 10}, Case{10, 1}, Case{1, 1}}) {
    block(c.h, c.w);
    bool ok = true;
    scale(1, 1, &ok);
    EXPECT_FALSE(ok);
    EXPECT_LE(tblk[1].top, tblk[1].bottom);
    EXPECT_LE(tblk[1].left, tblk[1].right);
    EXPECT_LE(tblk[1].bottom - tblk[1].top, c.h);
    EXPECT_LE(tblk[1].right - tblk[1].left, c.w);
  }
  block(10, 10);
  bool ok = true;
  scale(11, 1, &ok);
  EXPECT_FALSE(ok);  // below the minimum height
}

TEST_F(StdCell, LeftColumnIsBit31) {
  // An L: the left column in every row, the foot along the bottom.
  Band& band = block(64, 32);
  band.rect(4, 4, 68, 12);
  band.rect(56, 4, 68, 36);
  const Cell32 cell = scale();
  EXPECT_NE(cell[10] & 0x80000000u, 0u);
  EXPECT_EQ(cell[10] & 1u, 0u);
  EXPECT_EQ(cell[31], 0xFFFFFFFFu);
  stblk[1] = 1;
  ASSERT_TRUE(put_std_size_char(1, 5));
  EXPECT_EQ(Cell32(data_std_bbk[5], data_std_bbk[5] + 32), cell);
  EXPECT_FALSE(put_std_size_char(1, kStoreCells));
}

Cell32 randomCell(std::mt19937& rng, double density) {
  std::bernoulli_distribution ink(density);
  Cell32 c(32, 0);
  for (int r = 0; r < 32; ++r)
    for (int col = 0; col < 32; ++col)
      if (ink(rng)) c[r] |= 0x80000000u >> col;
  return c;
}

int differing(const Cell32& a, const Cell32& b, int r0, int r1, int c0, int c1) {
  int n = 0;
  for (int r = r0; r <= r1; ++r)
    for (int c = c0; c <= c1; ++c) n += ((a[r] ^ b[r]) >> (31 - c) & 1u) != 0;
  return n;
}

TEST_F(StdCell, SubAreaDistancesCountTheirRectangle) {
  using Fn = uint32_t (*)(const uint32_t*, const uint32_t*);
  struct Area {
    Fn fn;
    int r0, r1, c0, c1;
  };
  const Area areas[] = {
      {high_hamming_dist, 0, 10, 0, 31},        {high_left_hamming_dist, 0, 10, 0, 5},
      {mid_high_hamming_dist, 0, 10, 10, 20},   {high_right_hamming_dist, 0, 10, 21, 31},
      {high_right2_hamming_dist, 0, 10, 16, 31}, {vmid_hamming_dist, 11, 21, 0, 31},
      {mid_left_hamming_dist, 11, 21, 0, 9},    {mid_mid_hamming_dist, 11, 21, 10, 20},
      {mid_right_hamming_dist, 11, 21, 21, 31}, {low_hamming_dist, 22, 31, 0, 31},
      {low_left_hamming_dist, 22, 31, 0, 9},    {low_mid_hamming_dist, 22, 31, 10, 20},
      {low_right_hamming_dist, 22, 31, 21, 31}, {hmid_hamming_dist, 0, 31, 10, 20},
      {left_hamming_dist, 0, 31, 0, 5},         {right_hamming_dist, 0, 31, 26, 31},
      {hamming_dist_no_soglie, 0, 31, 0, 31},
  };
  std::mt19937 rng(111);
  for (int round = 0; round < 4; ++round) {
    const Cell32 a = randomCell(rng, 0.5), b = randomCell(rng, 0.3);
    for (const Area& area : areas)
      EXPECT_EQ(area.fn(a.data(), b.data()), static_cast<uint32_t>(differing(a, b, area.r0, area.r1, area.c0, area.c1)))
          << area.r0 << " " << area.c0 << "-" << area.c1;
    EXPECT_EQ(hamming_dist(a.data(), b.data(), 0, 0, false), static_cast<uint32_t>(differing(a, b, 0, 31, 0, 31)));
  }
}

TEST_F(StdCell, HammingDistanceLimits) {
  Cell32 a(32, 0), inverse(32, 0xFFFFFFFFu);
  fillCell(a, 3, 20, 4, 28);
  for (int r = 0; r < 32; ++r) inverse[r] = ~a[r];
  EXPECT_EQ(hamming_dist(a.data(), a.data(), 140, 70, true), 0u);
  EXPECT_EQ(hamming_dist(a.data(), inverse.data(), 140, 70, true), 1024u);
  EXPECT_EQ(hamming_dist(a.data(), inverse.data(), 0, 0, false), 1024u);
  // 12 differing pixels in the middle zone: over a zone limit of 11, whatever the total.
  Cell32 b = a;
  for (int k = 0; k < 12; ++k) b[11 + k % 11] ^= 0x80000000u >> (10 + k / 11);
  EXPECT_EQ(hamming_dist(a.data(), b.data(), 140, 11, true), 1024u);
  EXPECT_EQ(hamming_dist(a.data(), b.data(), 140, 12, true), 12u);
  // A row band over maxTot rejects; a total over maxTot alone does not.
  // 16 in each diagonal zone: every row and column band holds 16, the total 48.
  Cell32 c = a;
  for (int band = 0; band < 3; ++band) {
    const int r = band * 11, col = band == 2 ? 21 : band * 10;
    for (int k = 0; k < 16; ++k) c[r + k / 8] ^= 0x80000000u >> (col + k % 8);
  }
  EXPECT_EQ(hamming_dist(a.data(), c.data(), 16, 70, true), 48u);
  EXPECT_EQ(hamming_dist(a.data(), c.data(), 15, 70, true), 1024u);
}

TEST_F(StdCell, BlackCountScoreAndCounters) {
  // Top-left zone only: a has 9 black pixels, b none, then 3.
  Cell32 a(32, 0), b(32, 0);
  fillCell(a, 0, 2, 0, 2);
  EXPECT_EQ(hamming_dist_neri(a.data(), b.data(), 5), 9u);
  fillCell(b, 0, 0, 0, 2);
  EXPECT_EQ(hamming_dist_neri(a.data(), b.data(), 5), 0u);
  EXPECT_EQ(hamming_equal_neri(a.data(), b.data()), 3u);

  // Borders do not count; a speck has no neighbours; two crossing bars are one component.
  Cell32 c(32, 0);
  fillCell(c, 0, 31, 0, 0);    // column 0: outside the counted area
  fillCell(c, 10, 14, 10, 14);  // 25 pixels, 9 inner ones with four neighbours, 12 edges with three
  c[20] |= 0x80000000u >> 20;   // a speck
  EXPECT_EQ(PixelNeriBBK(c.data()), 26u);
  EXPECT_EQ(PixelNeriBBKNoSalePepe(c.data()), 21u);
  EXPECT_EQ(detectBlock(c.data()), 3u);
  EXPECT_EQ(black_in_row(0xF0F00001u), 9u);
  Cell32 m(32, 0xFFFF0000u);
  Mask(c.data(), m.data());
  EXPECT_EQ(c[12], (0x80000000u | 0x80000000u >> 10 | 0x80000000u >> 11 | 0x80000000u >> 12 | 0x80000000u >> 13 |
                    0x80000000u >> 14));
}

TEST_F(StdCell, BlockPixelCounters) {
  Band& band = block(6, 6);
  band.rect(4, 4, 10, 10);
  band.at(4, 4) = 0;
  EXPECT_EQ(PixelNeri(1), 35u);
  EXPECT_EQ(PixelNeriNoSalePepe(1), 16u);  // the inner 4 x 4, each with four black neighbours
}

}  // namespace
}  // namespace pvk::test
