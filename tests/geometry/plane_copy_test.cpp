// Plane copies between the raw layout and working images, and the brightness/contrast table.
#include <gtest/gtest.h>

#include <vector>

#include "geometry/geometry.h"

namespace {

TEST(BrightnessContrast, TableFollowsTheFormula) {
  unsigned char t[256];
  BrightnessContrastEval(0, 0, t);
  for (int v = 0; v < 256; ++v) EXPECT_EQ(t[v], v);
  BrightnessContrastEval(10, 0, t);
  EXPECT_EQ(t[0], 10);
  EXPECT_EQ(t[245], 255);
  EXPECT_EQ(t[250], 255);  // saturates
  BrightnessContrastEval(0, 128, t);
  EXPECT_EQ(t[128], 128);
  EXPECT_EQ(t[138], 148);  // v - 128 doubled
  EXPECT_EQ(t[30], 0);
  EXPECT_EQ(t[250], 255);
  // Negative contrast flattens toward 128; the arithmetic shift rounds toward minus infinity.
  BrightnessContrastEval(0, -64, t);
  EXPECT_EQ(t[128], 128);
  EXPECT_EQ(t[129], 128);   // 129 + (-64 >> 7) = 129 - 1
  EXPECT_EQ(t[0], 64);      // 0 + (8192 >> 7)
  EXPECT_EQ(t[255], 191);   // 255 + (-8128 >> 7) = 255 - 64 (rounded down)
  BrightnessContrastEval(-300, 0, t);
  EXPECT_EQ(t[255], 0);
}

// A raw layout of 3 planes, 2 rows, plane line 8, raw line 24; plane p holds 10*(p+1) + column.
std::vector<unsigned char> rawPlanes() {
  std::vector<unsigned char> raw(48);
  for (int r = 0; r < 2; ++r)
    for (int p = 0; p < 3; ++p)
      for (int c = 0; c < 8; ++c) raw[r * 24 + p * 8 + c] = static_cast<unsigned char>(10 * (p + 1) + c + 100 * r);
  return raw;
}

TEST(PlaneCopy, HelpersReadTheRightStrides) {
  std::vector<unsigned char> raw = rawPlanes();
  unsigned char out[2 * 6] = {};
  CopiaDati1Colore(raw.data() + 8, 24, out, 6, 2, 5);  // plane 1
  EXPECT_EQ(out[0], 20);
  EXPECT_EQ(out[4], 24);
  EXPECT_EQ(out[6], 120);
  EXPECT_EQ(out[5], 0);  // only cols bytes per row

  unsigned char bright[2 * 8] = {};
  CopiaDatiColoreChiaro(raw.data(), 24, 8, bright, 8, 2, 8);  // row stride first
  EXPECT_EQ(bright[0], 30);
  EXPECT_EQ(bright[8 + 7], 137);

  unsigned char mean[2 * 8] = {};
  CopiaDati3ColoriMean(raw.data(), 8, 24, mean, 8, 2, 8);  // plane stride first
  EXPECT_EQ(mean[0], 20);
  EXPECT_EQ(mean[8 + 1], 121);

  unsigned char v[3] = {255, 255, 254}, m[1];
  CopiaDati3ColoriMean(v, 1, 3, m, 1, 1, 1);
  EXPECT_EQ(m[0], 254);  // truncated mean
}

TEST(PlaneCopy, ColourLinesBecomeSuccessiveRows) {
  std::vector<unsigned char> raw = rawPlanes();
  unsigned char rows[6 * 8] = {};
  CopiaDatiColori(raw.data(), 8, 24, rows, 8, 2, 8, 3, false);
  EXPECT_EQ(rows[0], 10);
  EXPECT_EQ(rows[8], 20);
  EXPECT_EQ(rows[16], 30);
  EXPECT_EQ(rows[24], 110);
  CopiaDatiColori(raw.data(), 8, 24, rows, 8, 2, 8, 3, true);
  EXPECT_EQ(rows[0], 30);  // B, G, R
  EXPECT_EQ(rows[8], 20);
  EXPECT_EQ(rows[16], 10);
  EXPECT_EQ(rows[40], 110);
}

TEST(PlaneCopy, TableAppliesOnlyWhenAsked) {
  unsigned char src[4] = {0, 100, 200, 250}, dst[4] = {};
  CopiaDati1ColoreA(src, 4, dst, 4, 10, 0, 1, 4);
  EXPECT_EQ(dst[1], 110);
  EXPECT_EQ(dst[3], 255);
  CopiaDati1ColoreA(src, 4, dst, 4, 0, 0, 1, 4);
  EXPECT_EQ(dst[3], 250);
  // Nothing happens below one row, and a null destination is ignored.
  dst[0] = 7;
  CopiaDati1ColoreA(src, 4, dst, 4, 10, 0, 0, 4);
  EXPECT_EQ(dst[0], 7);
  CopiaDati1Colore(src, 4, nullptr, 4, 1, 4);
}

}  // namespace
