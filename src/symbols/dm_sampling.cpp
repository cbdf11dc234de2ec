// DataMatrix sampling: the symbol size from the measured grid, the data modules of every
// region, and the codewords in the ECC200 placement order.
#include "symbols/symbols.h"

#include "core/trace.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

const DmVersion VERSION[kDmVersions] = {
    {10, 10, 8, 8},    {12, 12, 10, 10}, {14, 14, 12, 12}, {16, 16, 14, 14}, {18, 18, 16, 16},
    {20, 20, 18, 18},  {22, 22, 20, 20}, {24, 24, 22, 22}, {26, 26, 24, 24}, {32, 32, 14, 14},
    {36, 36, 16, 16},  {40, 40, 18, 18}, {44, 44, 20, 20}, {48, 48, 22, 22}, {52, 52, 24, 24},
    {8, 18, 6, 16},    {12, 26, 10, 24}, {8, 32, 6, 14},   {12, 36, 10, 16}, {16, 36, 14, 16},
    {16, 48, 14, 22}};

const DmBlocks CODE_BLOCK_CHARACTERISTIC[kDmVersions] = {
    {3, 1, 5},     {5, 1, 7},     {8, 1, 10},    {12, 1, 12},   {18, 1, 14},  {22, 1, 18},  {30, 1, 20},
    {36, 1, 24},   {44, 1, 28},   {62, 1, 36},   {86, 1, 42},   {114, 1, 48}, {144, 1, 56}, {174, 1, 68},
    {204, 2, 84},  {5, 1, 7},     {16, 1, 14},   {10, 1, 11},   {22, 1, 18},  {32, 1, 24},  {49, 1, 28}};

namespace {

inline int roundHalfUp(double x) { return static_cast<int>(std::floor(x + 0.5)); }

// The entry nearest in the free dimension among those whose fixed dimension matches `want`
// within `slack`; -1 when none does. Ties go to the first entry.
int nearestVersion(bool fixRows, int want, int other, int slack) {
  int best = -1, bestDist = 0;
  for (int i = 0; i < kDmVersions; ++i) {
    const int fixed = fixRows ? VERSION[i].rows : VERSION[i].columns;
    const int free = fixRows ? VERSION[i].columns : VERSION[i].rows;
    if (std::abs(fixed - want) > slack) continue;
    const int dist = std::abs(free - other);
    if (best < 0 || dist < bestDist) {
      best = i;
      bestDist = dist;
    }
  }
  return best;
}

}  // namespace

parseImageDM::parseImageDM() = default;

parseImageDM parseImageDM::withMeasures(const parseImageDM& m) {
  parseImageDM s;
  s.moduleHeight = m.moduleHeight;
  s.moduleWidth = m.moduleWidth;
  s.rowOffsetReset = m.rowOffsetReset;
  s.colOffsetReset = m.colOffsetReset;
  s.rowOffset = m.rowOffset;
  s.colOffset = m.colOffset;
  s.startRow = m.startRow;
  s.startCol = m.startCol;
  s.sampleRow = m.sampleRow;
  s.sampleCol = m.sampleCol;
  return s;
}

int parseImageDM::setImage(const cv::Mat& bin) {
  image = &bin;
  version = -1;
  if (moduleWidth <= 0.0 || moduleHeight <= 0.0) return 0;
  const int c = roundHalfUp(bin.cols / moduleWidth);
  const int r = roundHalfUp(bin.rows / moduleHeight);
  columns = static_cast<uint16_t>(c);
  rows = static_cast<uint16_t>(r);
  rowOffset = colOffset = 0;
  int v = -1;
  for (int i = 0; i < kDmVersions && v < 0; ++i)
    if (VERSION[i].rows == r && VERSION[i].columns == c) v = i;
  if (v < 0) v = nearestVersion(true, r, c, 0);
  if (v < 0) v = nearestVersion(false, c, r, 0);
  if (v < 0 && r < c) v = nearestVersion(true, r, c, 1);
  if (v < 0) v = nearestVersion(false, c, r, 1);
  if (v < 0 || std::abs(VERSION[v].rows - r) > 2 || std::abs(VERSION[v].columns - c) > 2) return 0;
  version = v;
  rows = static_cast<uint16_t>(VERSION[v].rows);
  columns = static_cast<uint16_t>(VERSION[v].columns);
  return 1;
}

int parseImageDM::get(int column, int row) const {
  if (image == nullptr || image->empty()) return -1;
  const long x = sampleCol + roundHalfUp((column - 1) * moduleWidth + moduleWidth / 2);
  const long y = sampleRow + roundHalfUp((row - 1) * moduleHeight + moduleHeight / 2);
  if (x < 0 || y < 0 || x >= image->cols || y >= image->rows) return -1;
  return image->ptr<uint8_t>(static_cast<int>(y))[x] < 128 ? 1 : 0;
}

int parseImageDM::extractDataRegion() {
  if (version < 0 || version >= kDmVersions) return -1;
  const DmVersion& v = VERSION[version];
  const int vertical = rows / v.regionRows, horizontal = columns / v.regionColumns;
  if (vertical < 1 || vertical > 52 || horizontal < 1 || horizontal > 52) return -1;
  if (vertical * v.regionRows > 52 || horizontal * v.regionColumns > 52) return -1;
  if (image == nullptr || image->empty()) return -1;
  // The pixel column of each module column and the pixel row of each module row, as get()
  // places them, worked out once for the whole symbol.
  const int nx = horizontal * (v.regionColumns + 2), ny = vertical * (v.regionRows + 2);
  std::vector<long> xs(nx + 1), ys(ny + 1);
  for (int c = 1; c <= nx; ++c) xs[c] = sampleCol + roundHalfUp((c - 1) * moduleWidth + moduleWidth / 2);
  for (int r = 1; r <= ny; ++r) ys[r] = sampleRow + roundHalfUp((r - 1) * moduleHeight + moduleHeight / 2);
  for (int ry = 0; ry < vertical; ++ry)
    for (int rx = 0; rx < horizontal; ++rx)
      for (int r = 0; r < v.regionRows; ++r) {
        // Each region sits inside a one-module border of finder and alignment patterns.
        const long y = ys[ry * (v.regionRows + 2) + r + 1];
        if (y < 0 || y >= image->rows) return -1;
        const uint8_t* line = image->ptr<uint8_t>(static_cast<int>(y));
        for (int c = 0; c < v.regionColumns; ++c) {
          const long x = xs[rx * (v.regionColumns + 2) + c + 1];
          if (x < 0 || x >= image->cols) return -1;
          mapping[ry * v.regionRows + r][rx * v.regionColumns + c] = line[x] < 128 ? 1 : 0;
        }
      }
  mappingRows = static_cast<uint16_t>(vertical * v.regionRows);
  mappingColumns = static_cast<uint16_t>(horizontal * v.regionColumns);
  return 0;
}

// ---- ECC200 placement ----------------------------------------------------------------------

namespace {

// Module places of the four corner shapes for bits 1..8; a negative row or column counts from
// the far edge of the mapping matrix (-1 is the last).
struct Place {
  int row, col;
};
constexpr Place kCorners[4][8] = {
    {{-1, 0}, {-1, 1}, {-1, 2}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}},
    {{-3, 0}, {-2, 0}, {-1, 0}, {0, -4}, {0, -3}, {0, -2}, {0, -1}, {1, -1}},
    {{-3, 0}, {-2, 0}, {-1, 0}, {0, -2}, {0, -1}, {1, -1}, {2, -1}, {3, -1}},
    {{-1, 0}, {-1, -1}, {0, -3}, {0, -2}, {0, -1}, {1, -3}, {1, -2}, {1, -1}},
};

// The placement walk over an nrow x ncol mapping of `count` codewords: `visit(row, col, k, bit)`
// for each module of codeword k (bit 1 the most significant), each module once. Returns the
// number of codewords the walk placed (some may lie past `count`, and are not visited).
template <typename Visit>
int walkPlacement(int nrow, int ncol, int count, Visit visit) {
  uint8_t marks[52][52] = {};
  auto module = [&](int row, int col, int k, int bit) {
    if (row < 0) {
      row += nrow;
      col += 4 - ((nrow + 4) % 8);
    }
    if (col < 0) {
      col += ncol;
      row += 4 - ((ncol + 4) % 8);
    }
    if (row < 0 || col < 0 || row >= nrow || col >= ncol || k >= count) return;
    marks[row][col] = 1;
    visit(row, col, k, bit);
  };
  auto utah = [&](int row, int col, int k) {
    const Place shape[8] = {{-2, -2}, {-2, -1}, {-1, -2}, {-1, -1}, {-1, 0}, {0, -2}, {0, -1}, {0, 0}};
    for (int bit = 0; bit < 8; ++bit) module(row + shape[bit].row, col + shape[bit].col, k, bit + 1);
  };
  auto corner = [&](int shape, int k) {
    for (int bit = 0; bit < 8; ++bit) {
      const Place& p = kCorners[shape][bit];
      module(p.row < 0 ? nrow + p.row : p.row, p.col < 0 ? ncol + p.col : p.col, k, bit + 1);
    }
  };
  int k = 0, row = 4, col = 0;
  do {
    if (row == nrow && col == 0) corner(0, k++);
    if (row == nrow - 2 && col == 0 && ncol % 4 != 0) corner(1, k++);
    if (row == nrow - 2 && col == 0 && ncol % 8 == 4) corner(2, k++);
    if (row == nrow + 4 && col == 2 && ncol % 8 == 0) corner(3, k++);
    // Up and to the right, then down and to the left, one diagonal sweep each.
    do {
      if (row < nrow && col >= 0 && !marks[row][col]) utah(row, col, k++);
      row -= 2;
      col += 2;
    } while (row >= 0 && col < ncol);
    row += 1;
    col += 3;
    do {
      if (row >= 0 && col < ncol && !marks[row][col]) utah(row, col, k++);
      row += 2;
      col -= 2;
    } while (row < nrow && col >= 0);
    row += 3;
    col += 1;
  } while (row < nrow || col < ncol);
  return k;
}

// The walk of a mapping size, done once: for each codeword the 8 places (row x 52 + column,
// most significant bit first; -1 where the bit has no module).
struct Placement {
  int rows = 0, columns = 0, count = 0;
  std::vector<int16_t> places;
};

Placement placementOf(int nrow, int ncol) {
  Placement p{nrow, ncol, nrow * ncol / 8, {}};
  p.places.assign(static_cast<size_t>(p.count) * 8, -1);
  const int placed = walkPlacement(nrow, ncol, p.count, [&p](int row, int col, int k, int bit) {
    p.places[static_cast<size_t>(k) * 8 + bit - 1] = static_cast<int16_t>(row * 52 + col);
  });
  p.count = std::min(p.count, placed);
  p.places.resize(static_cast<size_t>(p.count) * 8);
  return p;
}

// The placements of the symbol sizes read.
const Placement* knownPlacement(int nrow, int ncol) {
  static const std::vector<Placement> known = [] {
    std::vector<Placement> all;
    for (const DmVersion& v : VERSION)
      all.push_back(placementOf(v.rows / v.regionRows * v.regionRows, v.columns / v.regionColumns * v.regionColumns));
    return all;
  }();
  for (const Placement& p : known)
    if (p.rows == nrow && p.columns == ncol) return &p;
  return nullptr;
}

}  // namespace

bool parseImageDM::readCodewords() {
  const int nrow = mappingRows, ncol = mappingColumns;
  if (nrow > 52 || ncol > 52 || nrow < 1 || ncol < 1) return false;
  try {
    codewords.assign(static_cast<size_t>(nrow) * ncol / 8, 0);
  } catch (...) {
    WriteTrace("error allocating codewords", false);
    return false;
  }
  const uint8_t* modules = &mapping[0][0];
  if (const Placement* p = knownPlacement(nrow, ncol)) {
    for (int k = 0; k < p->count; ++k) {
      unsigned v = 0;
      for (int bit = 0; bit < 8; ++bit) {
        const int at = p->places[static_cast<size_t>(k) * 8 + bit];
        v = (v << 1) | (at >= 0 && modules[at] ? 1u : 0u);
      }
      codewords[k] = static_cast<unsigned char>(v);
    }
    codewords.resize(static_cast<size_t>(p->count));
    return true;
  }
  const int placed = walkPlacement(nrow, ncol, static_cast<int>(codewords.size()), [&](int row, int col, int k, int bit) {
    if (mapping[row][col]) codewords[k] |= static_cast<unsigned char>(1 << (8 - bit));
  });
  codewords.resize(std::min<size_t>(codewords.size(), static_cast<size_t>(placed)));
  return true;
}
