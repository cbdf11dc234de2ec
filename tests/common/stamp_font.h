// A stamp font of our own for the endorser tests: each glyph is a bar in its first column and a
// line across at a row of its own, so a test can tell glyphs apart and see which way up they are.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace pvk::testing {

struct StampGlyph {
  char ch;
  int width;
};

// Whether glyph `ch` of `width` columns inks text line `line` (0..11 as written), column `col`.
inline bool glyphInk(char ch, int line, int col) {
  if (ch == ' ') return false;
  return col == 0 || line == static_cast<unsigned char>(ch) % 12;
}

// The bytes of a font file: the characters, their widths (a width of 10 written as CR LF in a
// CR LF file), and each glyph's 12 lines.
inline std::string stampFontBytes(const std::vector<StampGlyph>& glyphs, bool crlf, int rows = 12) {
  const std::string eol = crlf ? "\r\n" : "\n";
  std::string s;
  for (const auto& g : glyphs) s += g.ch;
  s += eol;
  for (const auto& g : glyphs) {
    if (crlf && g.width == 10) s += "\r\n";
    else s += static_cast<char>(g.width);
  }
  s += eol;
  for (const auto& g : glyphs)
    for (int r = 0; r < rows; ++r) {
      for (int c = 0; c < g.width; ++c) s += glyphInk(g.ch, r, c) ? '#' : ' ';
      s += eol;
    }
  return s;
}

inline bool writeFile(const std::string& path, const std::string& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

// The digits, 'A' (10 columns wide), a space and '-'.
inline std::vector<StampGlyph> stampGlyphs() {
  std::vector<StampGlyph> g;
  for (char c = '0'; c <= '9'; ++c) g.push_back({c, 6 + (c - '0') % 3});
  g.push_back({'A', 10});
  g.push_back({' ', 4});
  g.push_back({'-', 5});
  return g;
}

// An 8-bit grey BMP (bottom-up rows, grey palette) of width x height with pixel(x, y).
template <typename Pixel>
std::string greyBmp(int width, int height, Pixel pixel) {
  const int stride = (width + 3) / 4 * 4;
  const int dataOffset = 14 + 40 + 1024;
  const int size = dataOffset + stride * height;
  std::string s;
  auto u16 = [&](int v) { s += static_cast<char>(v & 255); s += static_cast<char>((v >> 8) & 255); };
  auto u32 = [&](long v) { u16(static_cast<int>(v & 0xFFFF)); u16(static_cast<int>((v >> 16) & 0xFFFF)); };
  s += "BM";
  u32(size); u32(0); u32(dataOffset);
  u32(40); u32(width); u32(height); u16(1); u16(8); u32(0); u32(stride * height); u32(11811); u32(11811);
  u32(256); u32(0);
  for (int i = 0; i < 256; ++i) { s += static_cast<char>(i); s += static_cast<char>(i); s += static_cast<char>(i); s += '\0'; }
  for (int y = height - 1; y >= 0; --y) {
    for (int x = 0; x < width; ++x) s += static_cast<char>(pixel(x, y));
    for (int x = width; x < stride; ++x) s += '\0';
  }
  return s;
}

}  // namespace pvk::testing
