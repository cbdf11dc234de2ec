// The font databases of the OCR engine, made from free fonts: text fonts rasterised through
// FreeType, the codeline and microperforation fonts from the drawn glyphs. Each glyph is
// rendered, binarised, segmented by the engine and stored as a template with the engine's own
// cell scaler, so the templates are what the engine would make of that glyph. Beside them the
// endorser's stamp font, from the microperforation dots. Everything here is deterministic: two
// runs write identical bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "glyphs.h"

namespace pvk::fontdb {

// One way of drawing the characters of a database.
struct Rendering {
  double capHeight;  // pixels at 300 dpi of a capital (text fonts); 0: print size (drawn fonts)
  double spread;     // ink spread, pixels: strokes grow by this much in width and height
};

struct DbSpec {
  std::string name;      // file name as the set-ups register it, e.g. "ocrbA04.db"
  std::string fontFile;  // text fonts: the font file; empty for drawn fonts
  glyphs::Font drawn;    // drawn fonts: which one (meaningless for text fonts)
  double baseSpread;     // ink spread of every rendering (the heavier variants)
  std::string chars;     // the characters, in code order
  std::vector<Rendering> renderings;
  bool isText() const { return !fontFile.empty(); }
  std::string fileName() const;  // upper-cased, as the engine opens it
};

// The 20 databases, with their characters and renderings worked out from the engine's set-ups
// (the font codes that register each file, their nominal heights and their valid sets). Throws
// std::runtime_error when a font file is missing.
const std::vector<DbSpec>& databases();
const DbSpec* findDatabase(const std::string& name);

// A rendered line of text with the pixel box of each drawn character.
using Line = glyphs::Codeline;

struct LineOptions {
  double dpi = 300;
  double capHeight = 32;  // at 300 dpi; scaled by dpi / 300 (text fonts)
  double spread = 0;      // pixels at the line's dpi
  double margin = 0.1;    // inches around the text
  double gapFactor = 0;   // extra space between characters, as a fraction of the capital height
};

// Draws text in the database's font at o.dpi. Blanks advance by the font's own blank.
Line renderLine(const DbSpec& db, const std::string& text, const LineOptions& o);

// One template's source: the rendered glyph at 300 dpi (grey) and its one-bit ink image with
// the box that the engine segmented.
struct GlyphSample {
  glyphs::GreyImage grey;
  std::vector<uint8_t> ink;      // 1 where grey < 128, same size and stride as grey
  int left, top, right, bottom;  // union of the blocks the engine found, exclusive right/bottom
  int lineTop, lineHeight;       // the line box: capitals' top to the baseline, or the font's box
  std::vector<uint32_t> band;    // the engine image it was segmented in
  bool found;                    // the engine found a block
};
GlyphSample renderGlyph(const DbSpec& db, char c, const Rendering& r);

// One database's content in file order: per character every rendering.
struct Template {
  unsigned char code;
  uint32_t cell[32];
  uint8_t attr[32];
};
std::vector<Template> makeTemplates(const DbSpec& db);
// The file bytes of the templates (count, codes, cells, attribute records; little-endian).
std::string fileBytes(const std::vector<Template>& t);

// The endorser's stamp font, installed as stamp12.fnt: its characters, the blank first (a
// character the font lacks is drawn with the first glyph), and the file's bytes. Throws
// std::runtime_error when a character has no dot glyph.
constexpr char kStampFontName[] = "stamp12.fnt";
constexpr char kStampFontChars[] = " 0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ/-.:#";
std::string stampFontBytes();

}  // namespace pvk::fontdb
