// The drawn glyphs: the rasteriser's coverage is exact, rendering is deterministic, and the
// glyphs measured at 300 dpi land in the size windows of the readers that will read them.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <numeric>
#include <string>
#include <vector>

#include "glyphs.h"

namespace pvk::glyphs {
namespace {

double sum(const Coverage& c) { return std::accumulate(c.value.begin(), c.value.end(), 0.0); }

TEST(GlyphRaster, CoverageIsTheAreaAtAnyPhaseAndSpread) {
  struct Case {
    Shape shape;
    double dpi, phaseX, phaseY, spread, area;  // area in pixels
  };
  const double pi = std::acos(-1.0);
  const Case cases[] = {
      {{Shape::Rect, 0.01, 0.01, 0.021, 0.0176}, 1000, 0, 0, 0, 11 * 7.6},
      {{Shape::Rect, 0.01, 0.01, 0.021, 0.0176}, 1000, 0.37, 0.81, 0, 11 * 7.6},
      {{Shape::Rect, 0.01, 0.01, 0.021, 0.0176}, 1000, 0.5, 0.5, 1.5, 12.5 * 9.1},
      {{Shape::Rect, 0.01, 0.01, 0.021, 0.0176}, 1000, 0.5, 0.5, -1, 10 * 6.6},
      {{Shape::Ellipse, 0.01, 0.01, 0.02, 0.02}, 1000, 0.25, 0.5, 0, pi * 25},
      {{Shape::Ellipse, 0.01, 0.01, 0.02, 0.02}, 1000, 0, 0, 2, pi * 36},
  };
  for (const Case& c : cases) {
    RasterOptions o;
    o.dpi = c.dpi;
    o.phaseX = c.phaseX;
    o.phaseY = c.phaseY;
    o.inkSpread = c.spread;
    o.subRows = 64;
    const Coverage cov = rasterise({c.shape}, 40, 40, o);
    EXPECT_NEAR(sum(cov), c.area, c.area * 0.004) << c.phaseX << " " << c.spread;
    for (float v : cov.value) ASSERT_TRUE(v >= 0 && v <= 1);
  }
}

TEST(GlyphRaster, OverlappingShapesCountOnce) {
  RasterOptions o;
  o.dpi = 100;
  const Coverage one = rasterise({{Shape::Rect, 0.1, 0.1, 0.2, 0.2}}, 40, 40, o);
  const Coverage two = rasterise({{Shape::Rect, 0.1, 0.1, 0.2, 0.2}, {Shape::Rect, 0.15, 0.1, 0.25, 0.2}}, 40, 40, o);
  EXPECT_NEAR(sum(one), 100, 1e-6);
  EXPECT_NEAR(sum(two), 150, 1e-6);
}

TEST(GlyphRaster, RenderingIsDeterministicAndFollowsThePhase) {
  CodelineOptions o;
  o.raster.phaseX = 0.3;
  o.raster.inkSpread = 1.2;
  const Codeline a = renderCodeline(Font::CMC7, "0123 456789:;<=>", o);
  const Codeline b = renderCodeline(Font::CMC7, "0123 456789:;<=>", o);
  EXPECT_EQ(a.image.pixels, b.image.pixels);
  o.raster.phaseX = 0.8;
  const Codeline c = renderCodeline(Font::CMC7, "0123 456789:;<=>", o);
  EXPECT_NE(a.image.pixels, c.image.pixels);
  ASSERT_EQ(a.boxes.size(), 15u);
  ASSERT_EQ(c.boxes.size(), 15u);
  EXPECT_NEAR(c.boxes[0].x0 - a.boxes[0].x0, 0.5, 1e-9);
  EXPECT_EQ(a.boxes[4].symbol, '4');
  EXPECT_EQ(a.boxes[4].index, 5);  // the blank keeps its cell
  EXPECT_NEAR(a.boxes[5].x0 - a.boxes[4].x0, 0.125 * 300, 1e-9);
  EXPECT_THROW(renderCodeline(Font::E13B, "12A", o), std::invalid_argument);
}

// The ink box of a single glyph at 300 dpi, binarised halfway.
struct InkBox {
  int w, h;
};
InkBox inkBox(Font f, char c) {
  const Codeline line = renderCodeline(f, std::string(1, c));
  int l = 1 << 20, r = -1, t = 1 << 20, b = -1;
  for (int y = 0; y < line.image.height; ++y)
    for (int x = 0; x < line.image.width; ++x)
      if (line.image.at(x, y) < 128) {
        l = std::min(l, x), r = std::max(r, x), t = std::min(t, y), b = std::max(b, y);
      }
  return {r - l + 1, b - t + 1};
}

struct Window {
  int w0, w1, h0, h1;
};

// The E13B glyphs against the optical E13B verifier's size windows.
TEST(GlyphSizes, E13bFitsTheVerifierWindows) {
  const std::map<char, Window> windows = {
      {'0', {22, 34, 30, 38}}, {'1', {12, 21, 30, 38}}, {'2', {11, 20, 30, 38}}, {'3', {13, 23, 30, 38}},
      {'4', {21, 31, 30, 38}}, {'=', {21, 31, 30, 38}}, {'5', {15, 25, 30, 38}}, {'6', {20, 30, 30, 38}},
      {'7', {12, 22, 30, 38}}, {'8', {24, 33, 30, 38}}, {':', {24, 33, 30, 38}}, {'9', {18, 28, 30, 38}},
      {';', {21, 31, 9, 19}},  {'<', {22, 32, 20, 30}}};
  ASSERT_EQ(symbols(Font::E13B).size(), windows.size());
  for (char c : symbols(Font::E13B)) {
    const InkBox b = inkBox(Font::E13B, c);
    const Window& w = windows.at(c);
    EXPECT_TRUE(b.w >= w.w0 && b.w <= w.w1 && b.h >= w.h0 && b.h <= w.h1) << c << " " << b.w << "x" << b.h;
  }
}

// CMC7: the optical engine's size limits and, on the stroke grid, the decoder's gap classes at
// 300 dpi (two profile positions per column; gap = centre distance - 1). A stroke may be cut into
// pieces by the outline; its pieces share its column.
TEST(GlyphSizes, Cmc7FitsTheEngineLimitsAndTheGapClasses) {
  for (char c : symbols(Font::CMC7)) {
    const InkBox b = inkBox(Font::CMC7, c);
    EXPECT_TRUE(b.w >= 25 && b.w <= 35 && b.h >= 30 && b.h <= 43) << c << " " << b.w << "x" << b.h;
    const Glyph* g = glyph(Font::CMC7, c);
    std::vector<double> strokes;
    for (const Shape& s : g->shapes) {
      EXPECT_NEAR(s.x1 - s.x0, cmc7::kBar, 1e-12) << c;
      EXPECT_TRUE(s.y0 >= 0 && s.y1 <= cmc7::kHeight + 1e-12 && s.y1 > s.y0) << c;
      if (strokes.empty() || s.x0 > strokes.back()) strokes.push_back(s.x0);
    }
    ASSERT_EQ(strokes.size(), 7u) << c;
    int pattern = 0;
    for (int k = 1; k < 7; ++k) {
      const double gap = (strokes[k] - strokes[k - 1]) * 600 - 1;
      EXPECT_TRUE(gap >= 3 && gap <= 15) << c;       // neither rejected
      EXPECT_TRUE(gap >= 5 && gap <= 13.5) << c;     // nor doubtful
      if (gap > 8) pattern |= 1 << (k - 1);
    }
    EXPECT_EQ(pattern, cmc7::pattern(c)) << c;
    const double span = (strokes[6] - strokes[0]) * 600;
    EXPECT_TRUE(span >= 50 && span <= 58) << c << " " << span;  // a good bar span
  }
}

// Microperforation: the verifier's windows per class, holes that join into one character and
// characters that stay apart, and every hole inside its mask band once the box is scaled to 32.
TEST(GlyphSizes, MicroperforationFitsTheVerifierAndTheMasks) {
  const std::string outside = "-',.*";  // punctuation smaller than any window: see the report
  for (char c : symbols(Font::Micro)) {
    const InkBox b = inkBox(Font::Micro, c);
    Window w = c == 'I' ? Window{9, 17, 30, 44} : c == '/' ? Window{20, 33, 18, 28}
                          : c == '@' ? Window{20, 33, 27, 35} : Window{20, 33, 30, 42};
    const bool inside = b.w >= w.w0 && b.w <= w.w1 && b.h >= w.h0 && b.h <= w.h1;
    EXPECT_EQ(inside, outside.find(c) == std::string::npos) << c << " " << b.w << "x" << b.h;
  }
  const double px = 300;
  EXPECT_LE((micro::kStep - micro::kHole) * px, 3.0);
  EXPECT_GE((micro::kPitch - (micro::kColumns - 1) * micro::kStep - micro::kHole + micro::kStep) * px, 4.0);
  // Hole centres in the 32 x 32 cell of a full-size glyph and of 'I'.
  const uint32_t W = 0xE1C38387u, I = 0xF803E00Fu;
  const auto bit = [](uint32_t m, double x) { return (m >> (31 - static_cast<int>(x))) & 1u; };
  for (char c : std::string("08MW#")) {
    const Glyph* g = glyph(Font::Micro, c);
    for (const Shape& s : g->shapes) {
      const double cx = ((s.x0 + s.x1) / 2) / g->width * 32;
      const double cy = ((s.y0 + s.y1) / 2 - g->top) / g->height * 32;
      EXPECT_EQ(bit(W, cx), 1u) << c;
      EXPECT_EQ(static_cast<int>(cy) % 5 <= 1, true) << c << " " << cy;  // rows 0,1,5,6,...,30,31
    }
  }
  const Glyph* gi = glyph(Font::Micro, 'I');
  double l = 1, r = 0;
  for (const Shape& s : gi->shapes) l = std::min(l, s.x0), r = std::max(r, s.x1);
  for (const Shape& s : gi->shapes) EXPECT_EQ(bit(I, ((s.x0 + s.x1) / 2 - l) / (r - l) * 32), 1u);
  EXPECT_EQ(micro::rows('I'), (std::vector<uint8_t>{0x0E, 0x04, 0x04, 0x04, 0x04, 0x04, 0x0E}));
}

}  // namespace
}  // namespace pvk::glyphs
