// What a PDF417 symbol holds, worked out from first principles beside an encoder run as a black
// box: the check codewords over GF(929), the row indicators, the 17-module characters of zint's
// module rows, and the codeword stream read back through a character table. The table generator
// and the PDF417 tests share it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pvk::tools::pdf417 {

constexpr int kPrime = 929;

// splitmix64: the same draws on every platform, for the generator and the tests.
struct Rng {
  uint64_t s;
  explicit Rng(uint64_t seed) : s(seed) {}
  uint64_t next()
  {
    uint64_t z = (s += 0x9e3779b97f4a7c15ull);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ull;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebull;
    return z ^ (z >> 31);
  }
  // Uniform in lo..hi.
  int in(int lo, int hi) { return lo + static_cast<int>(next() % static_cast<uint64_t>(hi - lo + 1)); }
};

// The check codewords (2^(level+1) of them) that make the whole stream, data first with
// codeword 0 of highest degree, vanish at 3^1 .. 3^(2^(level+1)).
std::vector<int> checkCodewords(const std::vector<int>& data, int level);
// The value of the stream as a polynomial (codeword 0 of highest degree) at 3^j, modulo 929.
int syndrome(const std::vector<int>& cw, int j);

// Row indicator values of row r (0-based) of a symbol of rows x cols data columns.
int leftIndicator(int r, int rows, int cols, int level);
int rightIndicator(int r, int rows, int cols, int level);

// The six edge-to-similar-edge distances of the 17-module character starting at m (1 = bar),
// packed one per 4 bits, t1 in bits 20-23; 0 when the modules are not 4 bars and 4 spaces that
// start with a bar and add up to 17.
uint32_t characterKey(const uint8_t* m);

// One symbol as module rows (1 = bar), one entry per symbol row.
struct Modules {
  int rows = 0;
  int width = 0;      // modules per row
  int cols = 0;       // data columns
  std::vector<std::vector<uint8_t>> bits;
};

// Options of one zint run; level -1 lets zint choose; cols 0 too.
struct Request {
  std::string payload;
  int level = -1;
  int cols = 0;
  int rows = 0;
  int eci = 0;
  bool readerInit = false;
  int structIndex = 0;    // 1-based; 0 none
  int structCount = 0;
  std::string structId;
};

// Encodes through libzint in process. False (with the reason in err) when zint refuses or the
// rows are not start, indicators, columns and stop.
bool encode(const Request& rq, Modules& out, std::string* err = nullptr);

// Reads the codewords of every row back through a table (tab[cluster/3][value] = key), row
// indicators included: cw[r][0] left, cw[r][cols + 1] right; -1 where no entry matches.
std::vector<std::vector<int>> readCodewords(const Modules& m, const uint64_t (*tab)[kPrime]);
// The data and check codewords row after row (indicators dropped), as the reader hands them on.
std::vector<int> dataStream(const std::vector<std::vector<int>>& rowCw);

}  // namespace pvk::tools::pdf417
