// Derives the QR tables that the symbol model needs from symbols that zint makes, checks them on
// symbols that qrencode makes, and prints them as C++ source. Everything is measured on the
// module grids: alignment centres, the format and version codes, and the block layout.
//
//   qr_tables_gen > src/symbols/qr_tables.cpp
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "qr_grids.h"
#include "symbols/symbols.h"

using pvk::qrgen::Grid;

namespace {

std::mt19937 rng(20261207);

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "qr_tables_gen: %s\n", why.c_str());
  std::exit(1);
}

int sizeOf(int version) { return 17 + 4 * version; }

// Bytes 0x80..0xFF only, so that every encoder keeps them in one byte-mode segment.
std::string highBytes(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>(0x80 + rng() % 0x80);
  return s;
}

std::string digits(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('0' + rng() % 10);
  return s;
}

std::string upperCase(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s += static_cast<char>('A' + rng() % 26);
  return s;
}

// Kanji in UTF-8, which zint puts into Kanji mode.
std::string kanji(size_t n) {
  static const char* const kChars[] = {"日", "本", "語", "漢", "字", "東", "京", "大",
                                       "山", "川", "田", "中", "人", "学", "生", "先"};
  std::string s;
  for (size_t i = 0; i < std::max<size_t>(n, 1); ++i) s += kChars[rng() % 16];
  return s;
}

Grid zint(const std::string& payload, int version, int level, int mask) {
  return pvk::qrgen::zintQr(payload, version, level, mask, true);
}

// The largest byte payload zint puts into the version at the level.
size_t byteCapacity(int version, int level) {
  size_t lo = 0, hi = 3000;
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    Grid g = zint(highBytes(mid), version, level, 0);
    if (!g.empty() && static_cast<int>(g.size()) == sizeOf(version))
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

// ---- Format and version codes at the places the model reads them --------------------------

int formatFirst(const Grid& g) {
  int v = 0;
  for (int c = 0; c <= 5; ++c) v = (v << 1) | g[8][c];
  v = (v << 1) | g[8][7];
  v = (v << 1) | g[8][8];
  v = (v << 1) | g[7][8];
  for (int r = 5; r >= 0; --r) v = (v << 1) | g[r][8];
  return v;
}

int formatSecond(const Grid& g) {
  int n = static_cast<int>(g.size()), v = 0;
  for (int r = n - 1; r >= n - 7; --r) v = (v << 1) | g[r][8];
  for (int c = n - 8; c <= n - 1; ++c) v = (v << 1) | g[8][c];
  return v;
}

int versionCode(const Grid& g, bool lowerLeft) {
  int n = static_cast<int>(g.size()), v = 0;
  for (int a = 5; a >= 0; --a) {
    for (int b = 9; b <= 11; ++b) v = (v << 1) | (lowerLeft ? g[n - b][a] : g[a][n - b]);
  }
  return v;
}

// ---- Function modules: what stays the same over many symbols of one version -----------------

using Mask = std::vector<std::vector<bool>>;

Mask constantModules(const std::vector<Grid>& grids) {
  int n = static_cast<int>(grids[0].size());
  Mask m(n, std::vector<bool>(n, true));
  for (const Grid& g : grids) {
    for (int r = 0; r < n; ++r)
      for (int c = 0; c < n; ++c)
        if (g[r][c] != grids[0][r][c]) m[r][c] = false;
  }
  return m;
}

bool alignmentAt(const Grid& g, int r, int c) {
  int n = static_cast<int>(g.size());
  if (r < 2 || c < 2 || r + 2 >= n || c + 2 >= n) return false;
  for (int dr = -2; dr <= 2; ++dr) {
    for (int dc = -2; dc <= 2; ++dc) {
      int ring = std::max(std::abs(dr), std::abs(dc));
      if (g[r + dr][c + dc] != (ring == 1 ? 0 : 1)) return false;
    }
  }
  return true;
}

// The alignment positions of a version: 6 first, then the centres found in constant modules.
std::vector<int> alignmentPositions(const Grid& g, const Mask& constant, std::set<std::pair<int, int>>& centres) {
  int n = static_cast<int>(g.size());
  std::set<int> pos;
  for (int r = 2; r < n - 2; ++r) {
    for (int c = 2; c < n - 2; ++c) {
      bool fixed = true;
      for (int dr = -2; dr <= 2 && fixed; ++dr)
        for (int dc = -2; dc <= 2 && fixed; ++dc) fixed = constant[r + dr][c + dc];
      if (fixed && alignmentAt(g, r, c)) {
        centres.insert({r, c});
        pos.insert(r);
        pos.insert(c);
      }
    }
  }
  if (!pos.empty()) pos.insert(6);
  return {pos.begin(), pos.end()};
}

// ---- Codewords -------------------------------------------------------------------------------

// Modules outside the function patterns, in the zigzag placement order, unmasked.
std::vector<int> dataModules(const Grid& g, const Mask& reserved, int mask) {
  // The data masks are the standard's formulas, which the symbol model holds.
  Symbol masks;
  masks.mask = mask;
  int n = static_cast<int>(g.size());
  std::vector<int> bits;
  bool up = true;
  for (int right = n - 1; right >= 1; right -= 2) {
    if (right == 6) right = 5;
    for (int i = 0; i < n; ++i) {
      int r = up ? n - 1 - i : i;
      for (int c = right; c >= right - 1; --c)
        if (!reserved[r][c]) bits.push_back(g[r][c] ^ (masks.isMasked(r, c) ? 1 : 0));
    }
    up = !up;
  }
  return bits;
}

std::vector<int> codewords(const std::vector<int>& bits) {
  std::vector<int> cw;
  for (size_t i = 0; i + 8 <= bits.size(); i += 8) {
    int v = 0;
    for (int b = 0; b < 8; ++b) v = (v << 1) | bits[i + b];
    cw.push_back(v);
  }
  return cw;
}

// Reed-Solomon check codewords of one block over GF(256) (x^8 + x^4 + x^3 + x^2 + 1), with
// the generator polynomial of the roots alpha^0 .. alpha^(ec - 1).
std::vector<int> checkWords(const std::vector<int>& data, int ec) {
  int exp[512], log[256] = {0};
  for (int i = 0, x = 1; i < 255; ++i, x = (x << 1) ^ (x & 0x80 ? 0x11D : 0)) {
    exp[i] = exp[i + 255] = x;
    log[x] = i;
  }
  auto mul = [&](int a, int b) { return a && b ? exp[log[a] + log[b]] : 0; };
  std::vector<int> gen{1};
  for (int i = 0; i < ec; ++i) {
    std::vector<int> next(gen.size() + 1, 0);
    for (size_t j = 0; j < gen.size(); ++j) {
      next[j] ^= gen[j];
      next[j + 1] ^= mul(gen[j], exp[i]);
    }
    gen = next;
  }
  std::vector<int> rem(ec, 0);
  for (int d : data) {
    int f = d ^ rem[0];
    rem.erase(rem.begin());
    rem.push_back(0);
    for (int j = 0; j < ec; ++j) rem[j] ^= mul(gen[j + 1], f);
  }
  return rem;
}

// Undoes the interleaving of `data` codewords over `blocks` blocks (the last data % blocks
// blocks one longer) and checks that each block's check codewords follow from its data and
// that the data is one byte segment holding the payload.
bool holdsPayload(const std::vector<int>& cw, int data, int blocks, int version, const std::string& payload) {
  int k = data / blocks, longer = data % blocks, shorter = blocks - longer;
  int ec = (static_cast<int>(cw.size()) - data) / blocks;
  if (k + 1 + ec > 255) return false;  // no Reed-Solomon block over GF(256) is longer
  std::vector<std::vector<int>> b(blocks);
  size_t next = 0;
  for (int i = 0; i <= k; ++i) {
    for (int j = 0; j < blocks; ++j) {
      if (i == k && j < shorter) continue;
      b[j].push_back(cw[next++]);
    }
  }
  std::vector<std::vector<int>> checks(blocks);
  for (int i = 0; i < ec; ++i)
    for (int j = 0; j < blocks; ++j) checks[j].push_back(cw[next++]);
  for (int j = 0; j < blocks; ++j)
    if (checkWords(b[j], ec) != checks[j]) return false;
  std::vector<int> bits;
  for (const auto& block : b)
    for (int v : block)
      for (int i = 7; i >= 0; --i) bits.push_back((v >> i) & 1);
  size_t pos = 0;
  auto take = [&](int n) {
    int v = 0;
    for (int i = 0; i < n; ++i) v = (v << 1) | bits[pos++];
    return v;
  };
  int countBits = version < 10 ? 8 : 16;
  if (bits.size() < 4 + static_cast<size_t>(countBits) + 8 * payload.size()) return false;
  if (take(4) != 4 || take(countBits) != static_cast<int>(payload.size())) return false;
  for (char ch : payload)
    if (take(8) != static_cast<unsigned char>(ch)) return false;
  return true;
}

// Correctable errors of a block: half its check codewords, less the few that the smallest
// symbols keep for detection (1-L three, 1-M and 2-L two, the other odd counts one).
int correctable(int version, char level, int ec) {
  int kept = ec % 2;
  if (version == 1 && level == 'L') kept = 3;
  if ((version == 1 && level == 'M') || (version == 2 && level == 'L')) kept = 2;
  return (ec - kept) / 2;
}

struct Layout {
  int total, b1, c, k, r;
};

}  // namespace

int main() {
  std::map<int, int> formats;  // masked code -> 5 data bits
  std::vector<std::vector<int>> alignment(41);
  std::vector<int> versionCodes(41, 0);
  std::vector<Mask> reserved(41);
  const int zintLevels[4] = {2, 1, 4, 3};  // model order M, L, H, Q as zint's level numbers

  // Format codes: every level and mask, in a small and a large symbol.
  for (int version : {1, 12}) {
    for (int level = 1; level <= 4; ++level) {
      for (int mask = 0; mask < 8; ++mask) {
        Grid g = zint(highBytes(3), version, level, mask);
        if (g.empty()) fail("zint refused a format symbol");
        int code = formatFirst(g);
        if (formatSecond(g) != code) fail("the two format copies differ");
        int data = pvk::qrgen::levelBits(pvk::qrgen::levelLetter(level)) << 3 | mask;
        if (formats.count(code) && formats[code] != data) fail("one format code, two meanings");
        formats[code] = data;
      }
    }
  }
  if (formats.size() != 32) fail("not 32 format codes");

  std::vector<Layout> layouts(41 * 4);
  for (int v = 1; v <= 40; ++v) {
    // Many symbols of the version: what never changes is a function module. Per mask, one
    // symbol of each mode at each level, so that no bit of the first mode indicator or count
    // stays the same, at lengths that move the padding, and four symbols of random bytes
    // filling every codeword at the four levels. The format areas change with the mask and
    // level and are added by place.
    size_t caps[4];
    for (int li = 0; li < 4; ++li) caps[li] = byteCapacity(v, zintLevels[li]);
    std::vector<Grid> grids;
    for (int i = 0; i < 64; ++i) {
      int kind = i / 8 % 4, li = i / 8 % 4;
      bool full = i >= 32;
      size_t cap = caps[li], len = full ? cap : 1 + rng() % cap;
      std::string payload = full        ? highBytes(len)
                            : kind == 0 ? digits(len)
                            : kind == 1 ? upperCase(len)
                            : kind == 2 ? highBytes(len)
                                        : kanji(len / 2);
      Grid g = pvk::qrgen::zintQr(payload, v, zintLevels[li], i % 8, full || kind == 2);
      if (static_cast<int>(g.size()) != sizeOf(v)) fail("zint made another size for version " + std::to_string(v));
      grids.push_back(g);
    }
    Mask fixed = constantModules(grids);
    int n = sizeOf(v);
    for (int i = 0; i <= 8; ++i) {
      fixed[8][i] = fixed[i][8] = true;
      if (i < 8) fixed[8][n - 1 - i] = fixed[n - 1 - i][8] = true;
    }
    reserved[v] = fixed;
    std::set<std::pair<int, int>> centres;
    alignment[v] = alignmentPositions(grids[0], fixed, centres);
    size_t expected = alignment[v].size() < 2 ? 0 : v < 7 ? 1 : alignment[v].size() * alignment[v].size() - 3;
    if (centres.size() != expected) fail("alignment centres of version " + std::to_string(v) + " do not form a grid");
    if (v >= 7) {
      versionCodes[v] = versionCode(grids[0], false);
      if (versionCode(grids[0], true) != versionCodes[v] || (versionCodes[v] >> 12) != v)
        fail("version code of version " + std::to_string(v));
    }

    for (int li = 0; li < 4; ++li) {
      int level = zintLevels[li];
      char letter = pvk::qrgen::levelLetter(level);
      size_t n8 = caps[li];
      int data = static_cast<int>(n8) + (v < 10 ? 2 : 3);
      std::string payload = highBytes(n8);
      Grid g = zint(payload, v, level, -1);
      if (static_cast<int>(g.size()) != n) fail("zint refused a full symbol");
      auto f = formats.find(formatFirst(g));
      if (f == formats.end() || (f->second >> 3) != li) fail("full symbol with a foreign format code");
      std::vector<int> cw = codewords(dataModules(g, fixed, f->second & 7));
      int total = static_cast<int>(cw.size()), found = 0, blocks = 0;
      for (int nb = 1; nb <= data; ++nb) {
        if ((total - data) % nb != 0) continue;
        if (holdsPayload(cw, data, nb, v, payload)) {
          ++found;
          blocks = nb;
        }
      }
      if (found != 1) fail("no single block layout for version " + std::to_string(v) + letter);
      int k = data / blocks, longer = data % blocks, ec = (total - data) / blocks;
      layouts[v * 4 + li] = {total, blocks - longer, k + ec, k, correctable(v, letter, ec)};
    }
    std::fprintf(stderr, "version %d: %zu alignment centres, %d codewords\n", v, centres.size(),
                 layouts[v * 4].total);
  }

  // The other encoder must agree: its symbols carry our version and format codes and
  // alignment patterns at our centres.
  for (int v = 1; v <= 40; ++v) {
    for (char level : {'L', 'M', 'Q', 'H'}) {
      Grid g = pvk::qrgen::qrencodeQr(highBytes(4), v, level);
      if (static_cast<int>(g.size()) != sizeOf(v)) fail("qrencode made another size");
      auto f = formats.find(formatFirst(g));
      if (f == formats.end() || (f->second >> 3) != pvk::qrgen::levelBits(level)) fail("qrencode format code");
      if (v >= 7 && versionCode(g, false) != versionCodes[v]) fail("qrencode version code");
      const auto& p = alignment[v];
      for (size_t i = 0; i < p.size(); ++i)
        for (size_t j = 0; j < p.size(); ++j) {
          bool finder = (i == 0 && j == 0) || (i == 0 && j + 1 == p.size()) || (i + 1 == p.size() && j == 0);
          bool used = v >= 7 ? !finder : (i == 1 && j == 1);
          if (used && !alignmentAt(g, p[i], p[j])) fail("qrencode lacks an alignment pattern");
        }
    }
  }

  std::printf("// Generated by tools/qr_tables from QR symbols of zint, checked on symbols of qrencode.\n");
  std::printf("// Do not edit: run qr_tables_gen and check its output in.\n");
  std::printf("#include \"symbols/symbols.h\"\n\n");
  std::printf("const int Symbol::VERSION_QR[40][8] = {\n");
  for (int v = 1; v <= 40; ++v) {
    std::vector<int> row = alignment[v].empty() ? std::vector<int>{0} : alignment[v];
    std::printf("    {%d", v);
    for (int i = 0; i < 7; ++i) std::printf(", %d", i < static_cast<int>(row.size()) ? row[i] : -1);
    std::printf("},\n");
  }
  std::printf("};\n\nconst int Symbol::FORMAT_INFO_DECODE_LOOKUP[32][2] = {\n");
  for (const auto& [code, data] : formats) std::printf("    {0x%04X, 0x%02X},\n", code, data);
  std::printf("};\n\nconst int Symbol::VERSION_DECODE_INFO_QR[34] = {\n");
  for (int v = 7; v <= 40; ++v) std::printf("    0x%05X,%s", versionCodes[v], (v - 6) % 4 == 0 ? "\n" : "");
  std::printf("\n};\n\n// {total, first-group blocks, c, k, r} for levels M, L, H, Q.\n");
  std::printf("const int16_t CodeData::CODE_BLOCK_CHARACTERISTIC[40][4][5] = {\n");
  for (int v = 1; v <= 40; ++v) {
    std::printf("    {");
    for (int li = 0; li < 4; ++li) {
      const Layout& l = layouts[v * 4 + li];
      std::printf("{%d, %d, %d, %d, %d}%s", l.total, l.b1, l.c, l.k, l.r, li < 3 ? ", " : "");
    }
    std::printf("},\n");
  }
  std::printf("};\n");
  return 0;
}
