// Drawn glyphs of the codeline and microperforation fonts, as vector shapes on their print
// grids, and their rasterisation into grey images at any resolution: the test-data generators
// (codelines, font databases, magnetic head signals) draw from here. Everything is deterministic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "PlavikMS.h"  // PVKImg

namespace pvk::glyphs {

enum class Font { E13B, CMC7, Micro };

// One piece of ink in inches, y downwards, relative to the glyph's cell: a rectangle, or the
// ellipse inscribed in the rectangle (the holes of a microperforation).
struct Shape {
  enum Kind { Rect, Ellipse } kind;
  double x0, y0, x1, y1;
};

struct Glyph {
  char symbol;
  double width;   // width of the drawing box from its left edge, inches (the ink's right edge;
                  // the whole hole grid for the microperforation)
  double top;     // first row of ink below the line's top, inches
  double height;  // ink extent downwards from top, inches
  std::vector<Shape> shapes;  // positions relative to (0, 0) = (left, line top)
};

// The symbols a font draws, in the order of its table.
std::string symbols(Font font);
// The glyph of symbol, or null when the font does not draw it.
const Glyph* glyph(Font font, char symbol);
// Print geometry of each font, inches.
double pitch(Font font);       // advance from one character to the next
double lineHeight(Font font);  // height of the line box every glyph sits in

// Geometry the fonts are built from, kept visible for the checks and the signal synthesiser.
namespace e13b {
constexpr double kUnit = 0.013;  // the grid of the font
constexpr double kPitch = 0.125;
constexpr double kHeight = 9 * kUnit;
// Every symbol, digits first, then transit, amount, on-us and dash (e13b_shapes.cpp).
const std::vector<Glyph>& drawn();
}  // namespace e13b
namespace cmc7 {
constexpr double kMm = 1.0 / 25.4;
constexpr double kBar = 0.15 * kMm;     // stroke width
constexpr double kNarrow = 0.30 * kMm;  // stroke to stroke, narrow interval
constexpr double kWide = 0.50 * kMm;    // stroke to stroke, wide interval
constexpr double kHeight = 2.9 * kMm;   // character height: the tallest stroke
constexpr double kPitch = 0.125;
// Six-bit interval pattern of a symbol (bit k-1: interval k is wide), -1 when not drawn.
int pattern(char symbol);
// Every symbol, digits first: seven strokes each cut to the symbol's outline (cmc7_shapes.cpp).
const std::vector<Glyph>& drawn();
}  // namespace cmc7
namespace micro {
constexpr double kStep = 0.02;   // hole centre to hole centre, both directions
constexpr double kHole = 0.01;   // hole diameter
constexpr int kColumns = 5;
constexpr int kRows = 7;
constexpr double kPitch = 6 * kStep;  // five hole columns and one empty
// The seven hole rows of a symbol, top first, one bit per column with bit 4 the left column;
// empty when not drawn. '@' fills six rows, '/' five (rows 1..5), 'I' the three middle columns.
std::vector<uint8_t> rows(char symbol);
}  // namespace micro

// ---- Rasterisation -------------------------------------------------------------------------

// Ink coverage 0..1 per pixel, row by row.
struct Coverage {
  int width = 0;
  int height = 0;
  std::vector<float> value;
  float at(int x, int y) const { return value[static_cast<size_t>(y) * width + x]; }
};

struct RasterOptions {
  double dpi = 300;
  double phaseX = 0;     // sub-pixel shift of the whole drawing, pixels
  double phaseY = 0;
  double inkSpread = 0;  // every shape grows by this many pixels in width and height (may be < 0)
  int subRows = 16;      // coverage samples per pixel row (columns are exact)
};

// A placed glyph: its shapes moved to (x, y) inches from the image's top-left corner.
std::vector<Shape> place(const Glyph& g, double x, double y);
// Coverage of shapes (inches) on a width x height grid at o.dpi.
Coverage rasterise(const std::vector<Shape>& shapes, int width, int height, const RasterOptions& o);

// An 8-bit grey image (0 black, 255 white) that owns its pixels.
struct GreyImage {
  int width = 0;
  int height = 0;
  int stride = 0;  // width raised to a multiple of 4
  int dpi = 0;
  std::vector<uint8_t> pixels;
  uint8_t at(int x, int y) const { return pixels[static_cast<size_t>(y) * stride + x]; }
  // A record viewing the pixels (valid while this image lives and is not resized).
  PVKImg view();
};

// paper - coverage x (paper - ink), rounded.
GreyImage toGrey(const Coverage& c, int dpi, uint8_t paper = 255, uint8_t ink = 0);

// ---- Codelines -----------------------------------------------------------------------------

struct CodelineOptions {
  RasterOptions raster;
  double pitch = 0;          // inches between character cells; 0: the font's print pitch
  double marginLeft = 0.1;   // inches of paper around the line
  double marginRight = 0.1;
  double marginTop = 0.04;
  double marginBottom = 0.04;
  uint8_t paper = 255;
  uint8_t ink = 0;
};

// Where one glyph of a codeline landed.
struct CharBox {
  char symbol;
  int index;        // position in the text
  double x0, x1;    // ink extent in pixels, exact (spread included)
  double y0, y1;
  int left, right;  // pixel box: [left, right) x [top, bottom), every pixel the ink touches
  int top, bottom;
};

struct Codeline {
  GreyImage image;
  std::vector<CharBox> boxes;  // one per drawn symbol, left to right
  std::vector<Shape> shapes;   // every placed shape, inches
};

// Draws text in font, one cell per character at the pitch; a blank leaves its cell empty.
// Throws std::invalid_argument for a symbol the font does not draw.
Codeline renderCodeline(Font font, const std::string& text, const CodelineOptions& o = {});

}  // namespace pvk::glyphs
