// The three drawn fonts: E13B as blocks on its 0.013-inch grid, microperforation as round holes on
// a 5 x 7 grid, and the tables of all three (CMC7 is drawn in cmc7_shapes.cpp).
#include <algorithm>
#include <map>
#include <stdexcept>

#include "glyphs.h"

namespace pvk::glyphs {
namespace {

struct Box {
  double x0, y0, x1, y1;
};

// ---- E13B: rectangles in grid units, y from the top of the 9-unit line box ----------------

struct E13bDef {
  char symbol;
  double width;  // units
  double top;    // units
  std::vector<Box> boxes;
};

// Thin strokes are 1.2 units, the heavy parts that carry the magnetic signature 2-2.5 units.
const std::vector<E13bDef>& e13bDefs() {
  static const std::vector<E13bDef> defs = {
      {'0', 7, 0, {{1, 0, 6, 1.2}, {1, 7.8, 6, 9}, {0, 1, 1.5, 8}, {5.5, 1, 7, 8}}},
      {'1', 4, 0, {{1.5, 0, 3, 7}, {0.5, 0, 1.5, 1.2}, {0, 6.5, 4, 9}}},
      {'2', 4, 0, {{0, 0, 4, 1.2}, {2.8, 1.2, 4, 4.4}, {0, 4, 4, 5.2}, {0, 5.2, 1.5, 6.5}, {0, 6.5, 4, 9}}},
      {'3', 5, 0, {{0, 0, 4, 1.2}, {2.8, 0, 4, 4.2}, {1, 4, 4, 5.2}, {2.5, 4.6, 5, 9}, {0, 7.8, 5, 9}}},
      {'4', 6, 0, {{0, 0, 1.2, 5.8}, {0, 4.6, 6, 5.8}, {3.2, 2.5, 5.5, 9}}},
      {'5', 5, 0, {{0, 0, 5, 1.2}, {0, 0, 1.2, 4.6}, {0, 3.6, 5, 4.8}, {2.8, 3.6, 5, 9}, {0, 7.6, 5, 9}}},
      {'6', 6, 0, {{0, 0, 1.5, 9}, {0, 0, 4.5, 1.2}, {0, 3.8, 6, 5}, {3.8, 3.8, 6, 9}, {0, 7.6, 6, 9}}},
      {'7', 5, 0, {{0, 0, 5, 1.2}, {3.8, 0, 5, 4.5}, {2.2, 4, 4.6, 9}}},
      {'8', 7, 0, {{1, 0, 6, 1.2}, {1, 0, 2.2, 4.4}, {4.8, 0, 6, 4.4}, {0, 3.8, 7, 5}, {0, 3.8, 2.2, 9},
                   {4.8, 3.8, 7, 9}, {0, 7.8, 7, 9}}},
      {'9', 6, 0, {{0, 0, 6, 1.2}, {0, 0, 1.2, 5}, {0, 4, 6, 5.2}, {3.8, 0, 6, 9}}},
      // transit: a bar and two squares
      {':', 7, 0, {{0, 0, 1.5, 9}, {3.5, 0.5, 7, 3.5}, {3.5, 5.5, 7, 8.5}}},
      // amount: two squares, a bar, one square
      {'=', 7, 0, {{0, 0.5, 2, 3}, {0, 6, 2, 8.5}, {3, 0, 4.5, 9}, {5.5, 3, 7, 6}}},
      // on-us: two bars and a square, seven units high
      {'<', 7, 1, {{0, 0, 1.5, 7}, {2.5, 0, 4, 7}, {5, 0, 7, 2}}},
      // dash: four short strokes
      {';', 6, 2.5, {{0, 0, 0.9, 4}, {1.7, 0, 2.6, 4}, {3.4, 0, 4.3, 4}, {5.1, 0, 6, 4}}},
  };
  return defs;
}

Glyph makeE13b(const E13bDef& d) {
  const double u = e13b::kUnit;
  Glyph g{d.symbol, d.width * u, d.top * u, 0, {}};
  double bottom = 0;
  for (const Box& b : d.boxes) {
    g.shapes.push_back({Shape::Rect, b.x0 * u, (d.top + b.y0) * u, b.x1 * u, (d.top + b.y1) * u});
    bottom = std::max(bottom, b.y1);
  }
  g.height = bottom * u;
  return g;
}

// ---- Microperforation: 5 x 7 hole grid ------------------------------------------------------

const std::map<char, std::vector<const char*>>& microDefs() {
  static const std::map<char, std::vector<const char*>> d = {
      {'0', {".OOO.", "O...O", "O..OO", "O.O.O", "OO..O", "O...O", ".OOO."}},
      {'1', {"..O..", ".OO..", "O.O..", "..O..", "..O..", "..O..", "OOOOO"}},
      {'2', {".OOO.", "O...O", "....O", "...O.", "..O..", ".O...", "OOOOO"}},
      {'3', {"OOOOO", "...O.", "..O..", "...O.", "....O", "O...O", ".OOO."}},
      {'4', {"...O.", "..OO.", ".O.O.", "O..O.", "OOOOO", "...O.", "...O."}},
      {'5', {"OOOOO", "O....", "OOOO.", "....O", "....O", "O...O", ".OOO."}},
      {'6', {"..OO.", ".O...", "O....", "OOOO.", "O...O", "O...O", ".OOO."}},
      {'7', {"OOOOO", "....O", "...O.", "..O..", ".O...", ".O...", ".O..."}},
      {'8', {".OOO.", "O...O", "O...O", ".OOO.", "O...O", "O...O", ".OOO."}},
      {'9', {".OOO.", "O...O", "O...O", ".OOOO", "....O", "...O.", ".OO.."}},
      {'A', {".OOO.", "O...O", "O...O", "OOOOO", "O...O", "O...O", "O...O"}},
      {'B', {"OOOO.", "O...O", "O...O", "OOOO.", "O...O", "O...O", "OOOO."}},
      {'C', {".OOO.", "O...O", "O....", "O....", "O....", "O...O", ".OOO."}},
      {'D', {"OOO..", "O..O.", "O...O", "O...O", "O...O", "O..O.", "OOO.."}},
      {'E', {"OOOOO", "O....", "O....", "OOOO.", "O....", "O....", "OOOOO"}},
      {'F', {"OOOOO", "O....", "O....", "OOOO.", "O....", "O....", "O...."}},
      {'G', {".OOO.", "O...O", "O....", "O.OOO", "O...O", "O...O", ".OOOO"}},
      {'H', {"O...O", "O...O", "O...O", "OOOOO", "O...O", "O...O", "O...O"}},
      {'I', {".OOO.", "..O..", "..O..", "..O..", "..O..", "..O..", ".OOO."}},
      {'J', {"..OOO", "...O.", "...O.", "...O.", "...O.", "O..O.", ".OO.."}},
      {'K', {"O...O", "O..O.", "O.O..", "OO...", "O.O..", "O..O.", "O...O"}},
      {'L', {"O....", "O....", "O....", "O....", "O....", "O....", "OOOOO"}},
      {'M', {"O...O", "OO.OO", "O.O.O", "O.O.O", "O...O", "O...O", "O...O"}},
      {'N', {"O...O", "O...O", "OO..O", "O.O.O", "O..OO", "O...O", "O...O"}},
      {'O', {".OOO.", "O...O", "O...O", "O...O", "O...O", "O...O", ".OOO."}},
      {'P', {"OOOO.", "O...O", "O...O", "OOOO.", "O....", "O....", "O...."}},
      {'Q', {".OOO.", "O...O", "O...O", "O...O", "O.O.O", "O..O.", ".OO.O"}},
      {'R', {"OOOO.", "O...O", "O...O", "OOOO.", "O.O..", "O..O.", "O...O"}},
      {'S', {".OOOO", "O....", "O....", ".OOO.", "....O", "....O", "OOOO."}},
      {'T', {"OOOOO", "..O..", "..O..", "..O..", "..O..", "..O..", "..O.."}},
      {'U', {"O...O", "O...O", "O...O", "O...O", "O...O", "O...O", ".OOO."}},
      {'V', {"O...O", "O...O", "O...O", "O...O", "O...O", ".O.O.", "..O.."}},
      {'W', {"O...O", "O...O", "O...O", "O.O.O", "O.O.O", "O.O.O", ".O.O."}},
      {'X', {"O...O", "O...O", ".O.O.", "..O..", ".O.O.", "O...O", "O...O"}},
      {'Y', {"O...O", "O...O", ".O.O.", "..O..", "..O..", "..O..", "..O.."}},
      {'Z', {"OOOOO", "....O", "...O.", "..O..", ".O...", "O....", "OOOOO"}},
      {'/', {".....", "....O", "...O.", "..O..", ".O...", "O....", "....."}},
      {'-', {".....", ".....", ".....", ".OOO.", ".....", ".....", "....."}},
      {'\'', {"..O..", "..O..", ".....", ".....", ".....", ".....", "....."}},
      {',', {".....", ".....", ".....", ".....", ".....", "..O..", ".O..."}},
      {'.', {".....", ".....", ".....", ".....", ".....", ".....", "..O.."}},
      {'*', {".....", "O.O.O", ".OOO.", "OOOOO", ".OOO.", "O.O.O", "....."}},
      {'#', {".O.O.", ".O.O.", "OOOOO", ".O.O.", "OOOOO", ".O.O.", ".O.O."}},
      {'&', {".OO..", "O..O.", "O.O..", ".O...", "O.O.O", "O..O.", ".OO.O"}},
      {'@', {".OOO.", "O...O", "O.OOO", "O.OO.", "O....", ".OOOO", "....."}},
  };
  return d;
}

Glyph makeMicro(char symbol, const std::vector<const char*>& rows) {
  const double step = micro::kStep, hole = micro::kHole;
  Glyph g{symbol, (micro::kColumns - 1) * step + hole, 0, 0, {}};
  int first = -1, last = -1;
  for (int r = 0; r < micro::kRows; ++r)
    for (int c = 0; c < micro::kColumns; ++c)
      if (rows[r][c] == 'O') {
        if (first < 0) first = r;
        last = r;
        g.shapes.push_back({Shape::Ellipse, c * step, r * step, c * step + hole, r * step + hole});
      }
  g.top = first * step;
  g.height = (last - first) * step + hole;
  return g;
}

struct Tables {
  std::map<char, Glyph> e13b, cmc7, micro;
  std::string e13bOrder, cmc7Order, microOrder;
};

const Tables& tables() {
  static const Tables t = [] {
    Tables t;
    for (const E13bDef& d : e13bDefs()) {
      t.e13b.emplace(d.symbol, makeE13b(d));
      t.e13bOrder += d.symbol;
    }
    for (const Glyph& g : cmc7::drawn()) {
      t.cmc7.emplace(g.symbol, g);
      t.cmc7Order += g.symbol;
    }
    for (const auto& [c, rows] : microDefs()) t.micro.emplace(c, makeMicro(c, rows));
    t.microOrder = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ/-',.*#&@";
    return t;
  }();
  return t;
}

const std::map<char, Glyph>& tableOf(Font font) {
  switch (font) {
    case Font::E13B: return tables().e13b;
    case Font::CMC7: return tables().cmc7;
    case Font::Micro: return tables().micro;
  }
  throw std::invalid_argument("unknown font");
}

}  // namespace

std::string symbols(Font font) {
  switch (font) {
    case Font::E13B: return tables().e13bOrder;
    case Font::CMC7: return tables().cmc7Order;
    case Font::Micro: return tables().microOrder;
  }
  return {};
}

const Glyph* glyph(Font font, char symbol) {
  const auto& t = tableOf(font);
  const auto it = t.find(symbol);
  return it == t.end() ? nullptr : &it->second;
}

double pitch(Font font) {
  switch (font) {
    case Font::E13B: return e13b::kPitch;
    case Font::CMC7: return cmc7::kPitch;
    case Font::Micro: return micro::kPitch;
  }
  return 0;
}

double lineHeight(Font font) {
  switch (font) {
    case Font::E13B: return e13b::kHeight;
    case Font::CMC7: return cmc7::kHeight;
    case Font::Micro: return (micro::kRows - 1) * micro::kStep + micro::kHole;
  }
  return 0;
}

std::vector<uint8_t> micro::rows(char symbol) {
  const auto& d = microDefs();
  const auto it = d.find(symbol);
  if (it == d.end()) return {};
  std::vector<uint8_t> out;
  for (const char* row : it->second) {
    uint8_t bits = 0;
    for (int c = 0; c < kColumns; ++c)
      if (row[c] == 'O') bits |= static_cast<uint8_t>(1u << (kColumns - 1 - c));
    out.push_back(bits);
  }
  return out;
}

}  // namespace pvk::glyphs
