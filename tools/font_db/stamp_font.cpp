// The endorser's stamp font: the characters a bank endorsement uses, drawn from the 5 x 7 dot
// glyphs of the microperforation font and stretched to the print head's 12 dots, in the stamp
// font file's layout (a line of characters, a line of their widths, then each glyph as 12 text
// lines, '#' ink and ' ' blank, the top of the character first).
#include <stdexcept>
#include <string>
#include <vector>

#include "font_db.h"

namespace pvk::fontdb {
namespace {

using glyphs::micro::kColumns;
using glyphs::micro::kRows;

constexpr int kStampRows = 12;
constexpr int kWidth = kColumns + 1;  // a blank column after each glyph keeps characters apart

// The seven dot rows of c, top first, bit 4 the left column; the dot glyphs have no colon.
std::vector<uint8_t> dotRows(char c) {
  if (c == ' ') return std::vector<uint8_t>(kRows, 0);
  if (c == ':') return {0x00, 0x00, 0x04, 0x00, 0x04, 0x00, 0x00};
  return glyphs::micro::rows(c);
}

// Seven dot rows over twelve text lines: the top, middle and bottom rows twice, the two rows
// between them once, so that a glyph's bars stand alike.
int dotRowOf(int line) { return (line * kRows + kStampRows / 4) / kStampRows; }

}  // namespace

std::string stampFontBytes() {
  std::string s = kStampFontChars;
  s += '\n';
  s += std::string(s.size() - 1, static_cast<char>(kWidth));
  s += '\n';
  for (const char* c = kStampFontChars; *c; ++c) {
    const std::vector<uint8_t> rows = dotRows(*c);
    if (rows.size() != static_cast<size_t>(kRows)) throw std::runtime_error(std::string("no dot glyph for ") + *c);
    for (int line = 0; line < kStampRows; ++line) {
      for (int col = 0; col < kWidth; ++col)
        s += col < kColumns && (rows[dotRowOf(line)] >> (kColumns - 1 - col)) & 1 ? '#' : ' ';
      s += '\n';
    }
  }
  return s;
}

}  // namespace pvk::fontdb
