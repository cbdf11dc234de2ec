// The standard cell: a block of the engine image scaled to 32 x 32 one-bit pixels, its border
// trimmed pass by pass until every border row and column carries ink, and the black-pixel
// counters of blocks and cells that tell characters from specks.
#include <cstdint>

#include "ocr/ocr.h"

namespace {

constexpr int kMaxPasses = 9;
// A cell pixel is black when its sampled value passes 10/21, in single precision.
constexpr float kOn = 10.0f / 21.0f;

// Pixel (y, x) relative to the block's top-left corner: 1 when the image pixel is ink. The
// column right of the block and the row below it are sampled too; outside the image they are white.
struct Sampler {
  uint32_t top;
  uint32_t left;
  int p(int64_t y, int64_t x) const {
    const int64_t r = top + y;
    const int64_t c = left + x;
    if (r < 0 || c < 0 || r >= height || c >= width) return 0;
    return imag[static_cast<size_t>(r) * width + static_cast<size_t>(c)] != 0 ? 1 : 0;
  }
};

struct Column {
  int64_t ix;
  int64_t ix1;
  float wx0;
  float wx1;
};

Column column(int c, float sx, int64_t w) {
  const float x = static_cast<float>(c) * sx;
  const auto ix = static_cast<int64_t>(x);
  const int64_t ix1 = ix < w ? ix + 1 : w;
  return Column{ix, ix1, static_cast<float>(ix1) - x, x - static_cast<float>(ix)};
}

float rowValue(const Sampler& s, int64_t row, const Column& col) {
  return static_cast<float>(s.p(row, col.ix)) * col.wx0 + static_cast<float>(s.p(row, col.ix1)) * col.wx1;
}

uint32_t countColumn(const uint32_t* cell, uint32_t bit) {
  uint32_t n = 0;
  for (int r = 0; r < 32; ++r) n += (cell[r] & bit) != 0;
  return n;
}

bool validBlock(unsigned block) { return imag != nullptr && block < kBlockSlots; }

}  // namespace

// The 32 sampled columns of a block w wide at step sx, each with the image columns of its two
// samples; a sample outside the image reads column 0 and its bit in inside0 or inside1 is clear.
struct Columns {
  Column c[32];
  int64_t at0[32], at1[32];
  uint32_t inside0 = 0, inside1 = 0;
  Columns(float sx, int64_t w, uint32_t left) {
    for (int k = 0; k < 32; ++k) {
      c[k] = column(k, sx, w);
      at0[k] = inImage(left + c[k].ix, inside0, k);
      at1[k] = inImage(left + c[k].ix1, inside1, k);
    }
  }
  static int64_t inImage(int64_t x, uint32_t& inside, int k) {
    if (x < 0 || x >= width) return 0;
    inside |= val[k];
    return x;
  }
};

// Row y of the block in the engine image, or null outside it.
const uint32_t* imageRow(uint32_t top, int64_t y) {
  const int64_t r = top + y;
  return r >= 0 && r < height ? imag + static_cast<size_t>(r) * width : nullptr;
}

// Which samples of one image row are ink: bit c of first for the left sample of cell column c,
// of second for the right one. Outside the image nothing is ink.
struct RowInk {
  uint32_t first = 0;
  uint32_t second = 0;
};

// Only columns 0 and 31 when edges is set.
RowInk rowInk(const uint32_t* row, const Columns& cols, bool edges) {
  RowInk k;
  if (row == nullptr) return k;
  if (edges) {
    k.first = static_cast<uint32_t>(row[cols.at0[0]] != 0) << 31 | static_cast<uint32_t>(row[cols.at0[31]] != 0);
    k.second = static_cast<uint32_t>(row[cols.at1[0]] != 0) << 31 | static_cast<uint32_t>(row[cols.at1[31]] != 0);
    k.first &= cols.inside0;
    k.second &= cols.inside1;
    return k;
  }
  // Shifted in from the right, column c ends at bit 31 - c; no branch on the ink, which a
  // processor cannot predict.
  for (int c = 0; c < 32; ++c) {
    k.first = k.first << 1 | static_cast<uint32_t>(row[cols.at0[c]] != 0);
    k.second = k.second << 1 | static_cast<uint32_t>(row[cols.at1[c]] != 0);
  }
  k.first &= cols.inside0;
  k.second &= cols.inside1;
  return k;
}

// The ink of image rows of a block, each row looked at once however many cell rows sample it.
class InkRows {
 public:
  InkRows(const Columns& cols, uint32_t top) : cols_(cols), top_(top) {}
  // Row y's ink, of columns 0 and 31 only when edges is set.
  RowInk at(int64_t y, bool edges) {
    for (Entry& e : seen_)
      if (e.y == y && (edges || !e.edges)) return e.ink;
    Entry& e = seen_[next_];
    next_ ^= 1;
    e = Entry{y, edges, rowInk(imageRow(top_, y), cols_, edges)};
    return e.ink;
  }

 private:
  struct Entry {
    int64_t y = -1;  // the rows sampled are never above the block's top
    bool edges = false;
    RowInk ink;
  };
  const Columns& cols_;
  uint32_t top_;
  Entry seen_[2];
  int next_ = 0;
};

// The four sums one row can give a cell column, by which of its two samples are ink: the
// products of 0/1 pixels with the weights, summed in the order of the bilinear formula.
struct ColumnSums {
  float v[32][4];
  explicit ColumnSums(const Columns& cols) {
    for (int c = 0; c < 32; ++c) {
      const Column& col = cols.c[c];
      v[c][0] = 0.0f + 0.0f;
      v[c][1] = col.wx0 + 0.0f;
      v[c][2] = 0.0f + col.wx1;
      v[c][3] = col.wx0 + col.wx1;
    }
  }
};

unsigned sampleCase(const RowInk& k, uint32_t bit) {
  return ((k.first & bit) != 0 ? 1u : 0u) | ((k.second & bit) != 0 ? 2u : 0u);
}

namespace {

// The cell of mk_std_size_bin_1_1; with edges set only rows 0 and 31 and columns 0 and 31 are
// sampled, the rest left white.
void sampleCell(unsigned block, uint32_t* cell, int64_t h, int64_t w, float sx, float sy, bool edges) {
  const Columns cols(sx, w, tblk[block].left);
  const ColumnSums sums(cols);
  InkRows ink(cols, tblk[block].top);
  for (int r = 0; r < 32; ++r) {
    const float y = static_cast<float>(r) * sy;
    const auto iy = static_cast<int64_t>(y);
    int64_t iy1 = iy + 1;
    float wy0 = static_cast<float>(iy + 1) - y;
    float wy1 = y - static_cast<float>(iy);
    if (iy >= h) {
      iy1 = iy;
      wy0 = static_cast<float>(h) - y;
    }
    const bool edgeRow = edges && r != 0 && r != 31;
    const RowInk k0 = ink.at(iy, edgeRow);
    const RowInk k1 = ink.at(iy1, edgeRow);
    // No ink under a cell pixel leaves it white, its value a sum of zeros. Ink under all four
    // samples of a row inside the block makes it black: its value is the product of the weight
    // sums, each 1 to a few units in the last place. Only the pixels between are worked out.
    uint32_t bits = iy < h ? k0.first & k0.second & k1.first & k1.second : 0u;
    for (uint32_t mixed = (k0.first | k0.second | k1.first | k1.second) & ~bits; mixed != 0;) {
      const int c = __builtin_clz(mixed);
      mixed &= ~val[c];
      const float v = sums.v[c][sampleCase(k0, val[c])] * wy0 + sums.v[c][sampleCase(k1, val[c])] * wy1;
      bits |= static_cast<uint32_t>(v > kOn) << (31 - c);
    }
    cell[r] = bits;
  }
}

}  // namespace

void mk_std_size_bin_1_1(unsigned block, uint32_t* cell, int64_t h, int64_t w, float sx, float sy) {
  if (!validBlock(block) || cell == nullptr) return;
  sampleCell(block, cell, h, w, sx, sy, false);
}

void mk_std_size_bin_1_2(unsigned block, uint32_t* cell, int64_t h, int64_t w, float sx, float sy) {
  if (!validBlock(block) || cell == nullptr) return;
  const Sampler s{tblk[block].top, tblk[block].left};
  const Columns cols(sx, w, tblk[block].left);
  for (int r = 0; r < 32; ++r) {
    const auto iy = static_cast<int64_t>(static_cast<float>(r) * sy);
    int64_t rows[3] = {iy, iy + 1, iy + 2};
    // Rows stop at the one just below the block.
    if (iy + 1 >= h) rows[2] = iy + 1;
    if (iy >= h) rows[1] = rows[2] = iy;
    uint32_t bits = 0;
    for (int c = 0; c < 32; ++c) {
      const Column& col = cols.c[c];
      const float v = rowValue(s, rows[0], col) + rowValue(s, rows[1], col) + rowValue(s, rows[2], col);
      if (v > kOn) bits |= val[c];
    }
    cell[r] = bits;
  }
}

namespace {

// The cell of a block h x w at its bounds in the table; only what a trim looks at when edges is
// set, where the sampling allows it.
void sampleBlock(unsigned block, uint32_t* cell, uint32_t h, uint32_t w, bool edges) {
  const float sx = static_cast<float>(w) / 32.0f;
  const float sy = static_cast<float>(h) / 32.0f;
  if (sx >= 2.0f || sy < 2.0f) {
    sampleCell(block, cell, h, w, sx, sy, edges);
  } else {
    mk_std_size_bin_1_2(block, cell, h, w, sx, sy);
  }
}

// The whole cell of the block at the bounds it had, its bounds now kept.
void sampleWhole(unsigned block, uint32_t* cell, const BlockRec& had) {
  const BlockRec now = tblk[block];
  tblk[block] = had;
  sampleBlock(block, cell, had.bottom - had.top, had.right - had.left, false);
  tblk[block] = now;
}

}  // namespace

// A pass only decides whether to trim, from the cell's border: it samples the border alone, and
// the whole cell is sampled once, at the bounds of the last pass.
bool mk_std_size_bin(unsigned block, uint32_t* cell, uint32_t minHeight, uint32_t minWidth) {
  if (!validBlock(block) || cell == nullptr) return false;
  BlockRec& b = tblk[block];
  BlockRec sampled{};  // bounds of the last pass
  for (int pass = 1;; ++pass) {
    const uint32_t h = b.bottom > b.top ? b.bottom - b.top : 0;
    const uint32_t w = b.right > b.left ? b.right - b.left : 0;
    if (w < minWidth || h < minHeight || w == 0 || h == 0) {
      // The cell of the last pass is left whole behind a refusal too.
      if (pass > 1) sampleWhole(block, cell, sampled);
      return false;
    }
    sampled = b;
    sampleBlock(block, cell, h, w, true);
    const uint32_t topInk = black_in_row(cell[0]);
    const uint32_t bottomInk = black_in_row(cell[31]);
    const uint32_t rightInk = countColumn(cell, val[31]);
    const uint32_t leftInk = countColumn(cell, val[0]);
    bool trimmed = false;
    // A trim never passes the opposite side: a block of one row or column keeps its bounds
    // ordered and fails on the next pass.
    if (topInk < 2 && b.top < b.bottom) ++b.top, trimmed = true;
    if (bottomInk < 2 && b.bottom > b.top) --b.bottom, trimmed = true;
    if (rightInk < 2 && b.right > b.left) --b.right, trimmed = true;
    if (leftInk < 2 && b.left < b.right) ++b.left, trimmed = true;
    if (!trimmed || pass == kMaxPasses) {
      sampleWhole(block, cell, sampled);
      return b.right > b.left && b.bottom > b.top;
    }
  }
}

bool put_std_size_char(unsigned i, unsigned j) {
  if (i >= kBlockSlots || j == 0 || j >= static_cast<unsigned>(kStoreCells)) return false;
  const unsigned block = stblk[i];
  if (block == 0 || block >= kBlockSlots) return false;
  return mk_std_size_bin(block, data_std_bbk[j], 1, 1);
}

uint32_t PixelNeri(unsigned block) {
  if (!validBlock(block)) return 0;
  const BlockRec& b = tblk[block];
  uint32_t n = 0;
  for (uint32_t r = b.top; r < b.bottom && r < height; ++r)
    for (uint32_t c = b.left; c < b.right && c < width; ++c) n += imag[static_cast<size_t>(r) * width + c] != 0;
  return n;
}

uint32_t PixelNeriNoSalePepe(unsigned block) {
  if (!validBlock(block)) return 0;
  const BlockRec& b = tblk[block];
  auto ink = [](uint32_t r, uint32_t c) { return imag[static_cast<size_t>(r) * width + c] != 0 ? 1u : 0u; };
  uint32_t n = 0;
  for (uint32_t r = b.top + 1; r + 2 < b.bottom + 1 && r + 1 < height; ++r) {
    for (uint32_t c = b.left + 1; c + 2 < b.right + 1 && c + 1 < width; ++c) {
      if (!ink(r, c)) continue;
      if (ink(r, c - 1) + ink(r, c + 1) + ink(r - 1, c) + ink(r + 1, c) >= 2) ++n;
    }
  }
  return n;
}

uint32_t PixelNeriBBK(const uint32_t* cell) {
  uint32_t n = 0;
  for (int r = 1; r <= 30; ++r) n += black_in_row(cell[r] & 0x7FFFFFFEu);
  return n;
}

// Inner pixels with at least three of their four direct neighbours black, a row at a time: each
// neighbour shifted onto the pixel's bit, three of four when some three agree.
uint32_t PixelNeriBBKNoSalePepe(const uint32_t* cell) {
  uint32_t n = 0;
  for (int r = 1; r <= 30; ++r) {
    const uint32_t left = cell[r] >> 1, right = cell[r] << 1, up = cell[r - 1], down = cell[r + 1];
    const uint32_t three = (left & right & (up | down)) | (up & down & (left | right));
    n += black_in_row(cell[r] & three & 0x7FFFFFFEu);
  }
  return n;
}
