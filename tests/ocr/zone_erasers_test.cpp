// The zone erasers on grey images drawn by hand: exactly the border, mark and speck pixels
// whiten, and nothing else changes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ocr/ocr.h"

namespace pvk::test {
namespace {

// A grey image with a stride wider than its width, so that writes past the width show.
struct Grey {
  int w, h, stride;
  std::vector<uint8_t> px;
  Grey(int w_, int h_, uint8_t v = 255) : w(w_), h(h_), stride(w_ + 4), px(static_cast<size_t>(stride) * h_, v) {
    for (int y = 0; y < h; ++y)
      for (int x = w; x < stride; ++x) at(x, y) = 77;  // padding that must never change
  }
  uint8_t& at(int x, int y) { return px[static_cast<size_t>(y) * stride + x]; }
  void fill(int x0, int y0, int x1, int y1, uint8_t v) {
    for (int y = y0; y < y1; ++y)
      for (int x = x0; x < x1; ++x) at(x, y) = v;
  }
  PVKImg view() { return PVKImg{uint16_t(w), uint16_t(h), uint16_t(stride), 300, px.data()}; }
  // One row as text: '#' for pixels at most 128, '.' otherwise.
  std::string row(int y) {
    std::string s;
    for (int x = 0; x < w; ++x) s.push_back(at(x, y) <= 128 ? '#' : '.');
    return s;
  }
  void setRow(int y, const std::string& s) {
    for (int x = 0; x < w; ++x) at(x, y) = s[x] == '#' ? 0 : 255;
  }
};

TEST(TagliaBordi, CutsDarkSideBordersAndKeepsThePointer) {
  struct Case {
    int left, right;  // dark columns at each side
    int result, width;
  };
  // Light from column 4 on gives 0; a left border of 6 gives 6 and a width of 40 - 6, then the
  // right border narrows it to R - L with R the first light column from the right.
  const Case cases[] = {{0, 0, 0, 40}, {4, 0, 0, 40}, {6, 0, 6, 34}, {6, 8, 6, 31 - 6}, {0, 8, 0, 31}};
  for (const Case& c : cases) {
    Grey g(40, 20);
    g.fill(0, 0, c.left, 20, 10);
    g.fill(40 - c.right, 0, 40, 20, 10);
    PVKImg v = g.view();
    uint8_t* before = v.data;
    EXPECT_EQ(TagliaBordi(&v), c.result) << c.left << "/" << c.right;
    EXPECT_EQ(v.width, c.width) << c.left << "/" << c.right;
    EXPECT_EQ(v.data, before);
  }
}

TEST(TagliaBordi, LightnessIsTheMeanOverTheInnerRows) {
  // Column 4 and 5 have a mean of exactly 40 over rows 4..h-5 (not light), column 6 of 41.
  Grey g(32, 24);
  g.fill(0, 0, 4, 24, 0);
  g.fill(4, 4, 6, 20, 40);
  g.fill(6, 4, 7, 20, 41);
  g.fill(4, 0, 7, 4, 0);    // the outer rows do not count
  g.fill(4, 20, 7, 24, 0);
  PVKImg v = g.view();
  EXPECT_EQ(TagliaBordi(&v), 6);
  EXPECT_EQ(v.width, 26);
}

TEST(TagliaBordi, SmallOrDarkImages) {
  Grey small(15, 40, 0);
  PVKImg v = small.view();
  EXPECT_EQ(TagliaBordi(&v), 0);
  EXPECT_EQ(v.width, 15);
  Grey dark(30, 20, 0);  // no light column at all
  v = dark.view();
  TagliaBordi(&v);
  EXPECT_LE(v.width, 30);
  EXPECT_EQ(TagliaBordi(nullptr), 0);
}

TEST(RimuoviBordo, WhitensOnlyTheRunsTouchingTheEdges) {
  Grey g(12, 3);
  g.setRow(0, "###..##..###");
  g.setRow(1, "############");
  g.setRow(2, ".##..##..##.");
  PVKImg v = g.view();
  RimuoviBordo(&v, 128);
  EXPECT_EQ(g.row(0), ".....##.....");
  EXPECT_EQ(g.row(1), "............");
  EXPECT_EQ(g.row(2), ".##..##..##.");
  EXPECT_EQ(g.at(12, 1), 77);
}

TEST(RimuoviBordo, ThresholdIsInclusive) {
  Grey g(6, 1);
  g.at(0, 0) = 100;
  g.at(1, 0) = 101;
  PVKImg v = g.view();
  RimuoviBordo(&v, 100);
  EXPECT_EQ(g.at(0, 0), 255);
  EXPECT_EQ(g.at(1, 0), 101);
}

TEST(CancellaSegni, ShortIsolatedRunsWhitenButNeverTheLast) {
  struct Case {
    const char* in;
    const char* out;
  };
  // maxLen 3, minGap 2: a run shorter than 3 with gaps of 3 or more before it and after it goes.
  const Case cases[] = {
      {"...##...####...##", "........####...##"},  // the last run stays
      {"..##...####...#", "..##...####...#"},      // gap of 2 before the first run: kept
      {"...###...#..#", "...###...#..#"},           // a run of 3 is not short; gap of 2 after '#'
      {"...#...#...#...#", "...............#"},
      {"#...#...#", "#.......#"},  // the first run has no gap before it
  };
  for (const Case& c : cases) {
    Grey g(static_cast<int>(std::string(c.in).size()), 1);
    g.setRow(0, c.in);
    PVKImg v = g.view();
    CancellaSegni(&v, 3, 2, 128);
    EXPECT_EQ(g.row(0), c.out) << c.in;
  }
}

TEST(CancellaQuadrati, WhitensASpeckInsideALightRingOnly) {
  Grey g(24, 16);
  g.at(8, 8) = 0;                // a lone speck
  g.fill(16, 4, 19, 12, 0);      // a bar taller than the square: its ring is dark
  g.at(1, 1) = 0;                // within 3 pixels of the edge: out of reach
  PVKImg v = g.view();
  CancellaQuadrati(&v, 4, 128);  // 5 x 5 squares
  EXPECT_EQ(g.at(8, 8), 255);
  EXPECT_EQ(g.at(17, 8), 0);
  EXPECT_EQ(g.at(1, 1), 0);
  for (int y = 0; y < 16; ++y) EXPECT_EQ(g.at(24, y), 77);
}

TEST(CancellaQuadrati, SizeBoundsAndOddSizes) {
  // size 5 and 4 both use 5 x 5 squares: a 3 x 3 blob fits inside the ring, a 4 x 4 one not.
  for (int size : {4, 5}) {
    Grey g(30, 20);
    g.fill(6, 6, 9, 9, 0);
    g.fill(16, 6, 20, 10, 0);
    PVKImg v = g.view();
    CancellaQuadrati(&v, static_cast<unsigned short>(size), 128);
    EXPECT_EQ(g.at(7, 7), 255) << size;
    EXPECT_EQ(g.at(6, 6), 255) << size;
    EXPECT_EQ(g.at(17, 7), 0) << size;
  }
  Grey g(20, 20);
  g.at(10, 10) = 0;
  PVKImg v = g.view();
  CancellaQuadrati(&v, 2, 128);
  EXPECT_EQ(g.at(10, 10), 0) << "nothing below size 3";
  // A speck whose square would reach within 3 pixels of the bottom-right corner stays.
  Grey corner(12, 12);
  corner.at(7, 7) = 0;
  v = corner.view();
  CancellaQuadrati(&v, 4, 128);
  EXPECT_EQ(corner.at(7, 7), 0);
  corner.at(6, 6) = 0;
  CancellaQuadrati(&v, 4, 128);
  EXPECT_EQ(corner.at(6, 6), 255);
}

TEST(ZoneErasers, NullImagesAreIgnored) {
  RimuoviBordo(nullptr, 10);
  CancellaSegni(nullptr, 1, 1, 10);
  CancellaQuadrati(nullptr, 5, 10);
  PVKImg none{20, 20, 20, 300, nullptr};
  EXPECT_EQ(TagliaBordi(&none), 0);
  CancellaQuadrati(&none, 5, 10);
}

}  // namespace
}  // namespace pvk::test
