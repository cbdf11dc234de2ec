// barcode_tables: writes the pattern tables of Code 39, Code 128, Codabar and Code 93 as C++
// source, each pattern read off the modules that an independent encoder draws for a known
// character. Usage: barcode_tables [OUT.cpp] (standard output without an argument).
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "symbol_corpus.h"

using namespace pvk::corpus;

namespace {

[[noreturn]] void fail(const std::string& what) {
  std::fprintf(stderr, "barcode_tables: %s\n", what.c_str());
  std::exit(1);
}

std::vector<int> elementsOf(Symbology s, const std::string& data) {
  SymbolSpec sp;
  sp.symbology = s;
  sp.data = data;
  ModuleGrid g;
  std::string err;
  if (!encode(sp, g, &err)) fail("the encoder refused " + data + ": " + err);
  return elementModules(g);
}

// Wide/narrow bits of n elements from `first`, element `first` in the most significant bit.
int wideBits(const std::vector<int>& e, size_t first, int n) {
  if (first + n > e.size()) fail("symbol shorter than expected");
  int bits = 0;
  for (int i = 0; i < n; ++i) bits = bits * 2 + (e[first + i] > 1 ? 1 : 0);
  return bits;
}

std::string charLiteral(int c) {
  char b[16];
  if (c == '\'' || c == '\\') std::snprintf(b, sizeof b, "'\\%c'", c);
  else if (c >= 32 && c < 127) std::snprintf(b, sizeof b, "'%c'", c);
  else std::snprintf(b, sizeof b, "0x%02X", c);
  return b;
}

const char kCode39Chars[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ-. $/+%";

void code39(FILE* out) {
  std::fprintf(out, "// Code 39: the 43 data characters with their check values, then the start/stop '*'.\n");
  std::fprintf(out, "const Code39Row kCode39Table[kCode39Rows] = {\n");
  for (int v = 0; v < 43; ++v) {
    // Start (9), gap, the character (9): elements 10..18.
    std::vector<int> e = elementsOf(Symbology::Code39, std::string(1, kCode39Chars[v]));
    std::fprintf(out, "    {0x%03X, %s, %d},\n", wideBits(e, 10, 9), charLiteral(kCode39Chars[v]).c_str(), v);
  }
  std::vector<int> e = elementsOf(Symbology::Code39, "0");
  std::fprintf(out, "    {0x%03X, '*', 0},\n};\n\n", wideBits(e, 0, 9));
}

void codabar(FILE* out) {
  const char chars[] = "0123456789-$:/.+ABCD";
  std::fprintf(out, "// Codabar: digits, the six symbols and the four start/stop letters with their values.\n");
  std::fprintf(out, "const CodabarRow kCodabarTable[kCodabarRows] = {\n");
  for (int v = 0; v < 20; ++v) {
    int bits;
    if (v < 16) {
      std::vector<int> e = elementsOf(Symbology::Codabar, std::string("A") + chars[v] + "A");
      bits = wideBits(e, 8, 7);
    } else {
      std::vector<int> e = elementsOf(Symbology::Codabar, std::string(1, chars[v]) + "0" + chars[v]);
      bits = wideBits(e, 0, 7);
    }
    std::fprintf(out, "    {0x%02X, %s, %d},\n", bits, charLiteral(chars[v]).c_str(), v);
  }
  std::fprintf(out, "};\n\n");
}

// Edge-to-similar-edge distances of the element group at `first`.
std::vector<int> distances(const std::vector<int>& e, size_t first, int count) {
  std::vector<int> t;
  for (int i = 0; i < count; ++i) t.push_back(e.at(first + i) + e.at(first + i + 1));
  return t;
}

void code93(FILE* out) {
  // The shift characters, read from characters that need them in full ASCII: ($) before
  // control characters, (%) before NUL, (/) before '!', (+) before lower case.
  struct Item {
    int ch;
    int value;
    std::string data;
    size_t at;  // element index of the symbol in the encoded run
  };
  std::vector<Item> items;
  for (int v = 0; v < 43; ++v) items.push_back({kCode39Chars[v], v, std::string(1, kCode39Chars[v]), 6});
  items.push_back({'(', 43, "\x01", 6});
  items.push_back({')', 44, std::string(1, '\0'), 6});
  items.push_back({'[', 45, "!", 6});
  items.push_back({']', 46, "a", 6});
  items.push_back({'!', 0, "0", 0});
  std::fprintf(out, "// Code 93: key = base-4 number of the four distances less 2; the shift characters are\n");
  std::fprintf(out, "// written ( ) [ ] for ($) (%%) (/) (+), start/stop '!'.\n");
  std::fprintf(out, "const Code93Row kCode93Table[kCode93Rows] = {\n");
  for (const Item& it : items) {
    std::vector<int> e = elementsOf(Symbology::Code93, it.data);
    std::vector<int> t = distances(e, it.at, 4);
    int key = 0;
    for (int d : t) {
      if (d < 2 || d > 5) fail("Code 93 distance out of range");
      key = key * 4 + (d - 2);
    }
    std::fprintf(out, "    {%d, %s, %d},\n", key, charLiteral(it.ch).c_str(), it.value);
  }
  std::fprintf(out, "};\n\n");
}

// The 107 Code 128 symbols. Values 0..95 are set B characters (value + 32) in a one-character
// symbol; the check symbol of a set B symbol "c1 c2" is (104 + v1 + 2 v2) mod 103, which
// reaches 96..102; the starts come from data that opens in set A, B or C.
std::vector<int> code128Symbol(int v) {
  auto symbolAt = [](const std::vector<int>& e, int index) {
    return std::vector<int>(e.begin() + 6 * index, e.begin() + 6 * index + 6);
  };
  if (v < 96) return symbolAt(elementsOf(Symbology::Code128, std::string(1, static_cast<char>(v + 32))), 1);
  if (v <= 102) {
    for (int v1 = 0; v1 < 96; ++v1)
      for (int v2 = 0; v2 < 96; ++v2)
        if ((104 + v1 + 2 * v2) % 103 == v) {
          std::string d{static_cast<char>(v1 + 32), static_cast<char>(v2 + 32)};
          std::vector<int> e = elementsOf(Symbology::Code128, d);
          if (e.size() != 6 * 5 + 1) continue;  // the encoder chose another set
          return symbolAt(e, 3);
        }
    fail("no data gives check value " + std::to_string(v));
  }
  if (v == 103) return symbolAt(elementsOf(Symbology::Code128, "\x01"), 0);
  if (v == 104) return symbolAt(elementsOf(Symbology::Code128, "a"), 0);
  if (v == 105) return symbolAt(elementsOf(Symbology::Code128, "12"), 0);
  std::vector<int> e = elementsOf(Symbology::Code128, "a");
  return std::vector<int>(e.end() - 7, e.end() - 1);  // the stop, its final bar aside
}

void code128(FILE* out) {
  std::fprintf(out, "// Code 128: set A and set B characters (0: none), set C value, symbol value, key of the\n");
  std::fprintf(out, "// four distances t1 x 512 + t2 x 64 + t3 x 8 + t4, bar modules.\n");
  std::fprintf(out, "const tab128str Tab128[kTab128Rows] = {\n");
  for (int v = 0; v <= 106; ++v) {
    std::vector<int> e = code128Symbol(v);
    int sum = 0;
    for (int x : e) sum += x;
    if (sum != 11) fail("Code 128 symbol of " + std::to_string(sum) + " modules");
    std::vector<int> t = distances(e, 0, 4);
    int key = t[0] * 512 + t[1] * 64 + t[2] * 8 + t[3];
    int a = v < 64 ? v + 32 : v < 96 ? v - 64 : 0;
    if (v == 64) a = 0xEC;  // set A NUL: a text cannot hold a NUL
    int b = v < 96 ? v + 32 : 0;
    std::fprintf(out, "    {%s, %s, %d, %d, %d, %d},\n", charLiteral(a).c_str(), charLiteral(b).c_str(), v < 100 ? v : 0, v,
                 key, e[0] + e[2] + e[4]);
  }
  std::fprintf(out, "};\n\n");
}

}  // namespace

int main(int argc, char** argv) {
  FILE* out = argc > 1 ? std::fopen(argv[1], "w") : stdout;
  if (!out) fail("cannot write the output file");
  std::fprintf(out,
               "// Generated by tools/barcode_tables from the modules of an independent encoder; do not edit.\n"
               "// Pattern tables of the linear decoders: element 0 in the most significant bit, 1 = wide.\n"
               "#include \"symbols/symbols.h\"\n\n");
  code39(out);
  codabar(out);
  code93(out);
  code128(out);
  return (out == stdout ? std::fflush(out) : std::fclose(out)) == 0 ? 0 : 1;
}
