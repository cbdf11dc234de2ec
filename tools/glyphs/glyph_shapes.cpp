// The drawn fonts' tables: microperforation as round holes on a 5 x 7 grid; E13B and CMC7
// come from their own files.
#include <algorithm>
#include <map>
#include <stdexcept>

#include "glyphs.h"

namespace pvk::glyphs {
namespace {

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
    for (const Glyph& g : e13b::drawn()) {
      t.e13b.emplace(g.symbol, g);
      t.e13bOrder += g.symbol;
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
