// Segmentation of one band: the band is installed, labelled into blocks, the block sizes are
// averaged, and the blocks are grouped into text lines, top to bottom, each line's blocks
// ordered left to right through the sorted index stblk.
#include <cstdint>
#include <cstring>
#include <utility>

#include "core/records.h"
#include "core/trace.h"
#include "ocr/ocr.h"

ColRec tcol[1];
uint32_t num_of_cols = 0;
LineRec tln[kLineRecords];
uint32_t num_of_lines = 0;
uint16_t ablkw = 0;
uint16_t ablkh = 0;
uint32_t last_j2 = 0;

namespace {

// One past the highest record of tln, and of stblk, written since each was cleared: a band uses
// a few of either, and clearing the whole tables on every pass showed in a zone's time. Only
// this file writes them.
unsigned linesWritten = kLineRecords;
unsigned sortedWritten = kBlockSlots;

LineRec& lineToWrite(unsigned l) {
  if (l >= linesWritten) linesWritten = l + 1;
  return tln[l];
}

void clearLines() {
  std::memset(static_cast<void*>(tln), 0, sizeof(LineRec) * linesWritten);
  linesWritten = 0;
}

// lastblock is honoured too, for tables filled by hand.
void clearSorted() {
  const unsigned byBlocks = lastblock < kBlockSlots ? lastblock + 1 : kBlockSlots;
  if (byBlocks > sortedWritten) sortedWritten = byBlocks;
  std::memset(stblk, 0, sizeof(uint32_t) * sortedWritten);
  sortedWritten = 0;
}

uint32_t blockHeight(const BlockRec& b) { return b.bottom - b.top; }
uint32_t blockWidth(const BlockRec& b) { return b.right - b.left; }

uint16_t meanOr1(uint64_t sum, uint64_t n) {
  if (n == 0) return 1;
  const uint64_t m = sum / n;
  return static_cast<uint16_t>(m < 1 ? 1 : (m > 0xFFFF ? 0xFFFF : m));
}

// Exchange sort of positions first..end-1: a later position with a smaller key is swapped in.
// Its order of equal keys is the one the engine has always given, so the sort stays; the keys
// are taken out once, so that the inner loop reads one array.
template <typename Key>
void exchangeSort(unsigned first, unsigned end, Key key) {
  if (end > kBlockSlots) end = kBlockSlots;
  if (end <= first + 1) return;
  static uint32_t keys[kBlockSlots];
  for (unsigned p = first; p < end; ++p) keys[p] = key(tblk[stblk[p]]);
  for (unsigned i = first; i + 1 < end; ++i) {
    uint32_t least = keys[i];
    for (unsigned j = i + 1; j < end; ++j) {
      if (keys[j] >= least) continue;
      std::swap(stblk[i], stblk[j]);
      std::swap(least, keys[j]);
    }
    keys[i] = least;
  }
}

struct LineTolerance {
  uint32_t tol;
  uint32_t band;
};

LineTolerance lineTolerance() {
  const uint32_t H = MyOcr.charHeight;
  const float s = MyOcr.engineScale;
  if (H == 0) {
    const uint32_t bySize = ablkh / 3u;
    const auto byScale = static_cast<uint32_t>(9 * s);
    return {bySize < byScale ? bySize : byScale, static_cast<uint32_t>(0.8 * ablkh)};
  }
  const auto band = static_cast<uint32_t>(0.8 * H);
  if (MyOcr.currentFont == 202) return {static_cast<uint32_t>(8 * s), band};
  const auto byScale = static_cast<uint32_t>(5 * s);
  return {H / 5 < byScale ? H / 5 : byScale, band};
}

// The running state of the line being built.
struct OpenLine {
  uint32_t number = 0;
  uint32_t c = 0;      // mean centre row of the counted blocks
  uint32_t b = 0;      // mean bottom of the counted blocks
  uint64_t sumC = 0;
  uint64_t sumB = 0;
  uint32_t k = 0;      // counted blocks
};

// The block at pos opens line number; the first line of a band is at most band rows high.
void openLine(OpenLine& line, uint32_t number, unsigned pos, uint32_t band) {
  BlockRec& blk = tblk[stblk[pos]];
  LineRec& rec = lineToWrite(number);
  rec = LineRec{};
  rec.top = blk.top;
  rec.left = rec.right = tcol[0].left;
  rec.bottom = blk.bottom;
  if (number == 0 && blk.top + band < blk.bottom) rec.bottom = blk.top + band;
  rec.first = pos;
  blk.line = number;
  line = OpenLine{number, blk.cy, blk.bottom, blk.cy, blk.bottom, 1};
}

void updateLine(OpenLine& line, BlockRec& blk, bool byCentreOrTop) {
  LineRec& rec = tln[line.number];
  blk.line = line.number;
  if (!(blockWidth(blk) > 8 || (byCentreOrTop && blockHeight(blk) > 8))) return;
  if (blk.top > rec.bottom) rec.bottom = blk.bottom;
  if (blk.right > rec.right) rec.right = blk.right;
  if (blockHeight(blk) >= 5 && blockWidth(blk) >= 5) {
    if (blk.bottom > rec.bottom) rec.bottom = blk.bottom;
    ++line.k;
    line.sumC += blk.cy;
    line.sumB += blk.bottom;
    line.c = static_cast<uint32_t>(line.sumC / line.k);
    line.b = static_cast<uint32_t>(line.sumB / line.k);
  }
}

// Orders each line's blocks by left column and fits the line's rows to its blocks.
void finishLines(uint32_t lines) {
  for (uint32_t l = 0; l < lines; ++l) {
    LineRec& rec = tln[l];
    const unsigned first = rec.first;
    const unsigned end = tln[l + 1].first;
    exchangeSort(first, end, [](const BlockRec& b) { return b.left; });
    uint32_t top = UINT32_MAX;
    uint32_t bottom = 0;
    for (unsigned p = first; p < end; ++p) {
      const BlockRec& b = tblk[stblk[p]];
      if (b.top == 0) continue;
      if (b.top < top) top = b.top;
      if (b.bottom > bottom) bottom = b.bottom;
    }
    if (bottom != 0) {
      rec.top = top;
      rec.bottom = bottom;
    }
  }
}

}  // namespace

int ocr_pre_process(uint32_t* image, uint16_t bandWidth, uint16_t bandHeight) {
  imag = image;
  width = static_cast<uint16_t>((static_cast<uint32_t>(bandWidth) + 3) & ~3u);
  height = bandHeight;
  imagsize = static_cast<int32_t>(width) * height;
  ablkw = ablkh = 0;
  clearSorted();
  pvk::ocr::clearBlocks();
  clearLines();
  std::memset(tcol, 0, sizeof tcol);
  pvk::ocr::clearAttrs();
  pvk::ocr::setLinePlace(0, 0);
  last_j2 = 0;
  lastblock = 0;
  num_of_lines = 0;
  num_of_cols = 0;
  return process_image();
}

int process_image() {
  filtraPuntiSingoli();
  if (getblocks() < 2) return -1;
  average_all_blocks();
  getcolumns();
  getlines();
  return 1;
}

void average_all_blocks() {
  uint64_t sumW = 0, sumH = 0, n = 0;
  for (unsigned s = 1; s < lastblock && s < kBlockSlots; ++s) {
    const BlockRec& b = tblk[s];
    if (b.top == 0 || blockWidth(b) < 9 || blockHeight(b) < 9) continue;
    sumW += blockWidth(b);
    sumH += blockHeight(b);
    ++n;
  }
  ablkw = meanOr1(sumW, n);
  ablkh = meanOr1(sumH, n);
}

void average_blocks(unsigned first, unsigned end, uint16_t& meanW, uint16_t& meanH) {
  const uint32_t H = MyOcr.charHeight;
  const uint32_t W = MyOcr.charWidth;
  if (MyOcr.currentFont == 202) {
    aw = static_cast<uint16_t>(W);
    ah = static_cast<uint16_t>(H);
    return;
  }
  if (end > kBlockSlots) end = kBlockSlots;
  const auto byScale = static_cast<uint32_t>(64 * MyOcr.engineScale);
  const uint32_t tallest = 2 * H > byScale ? 2 * H : byScale;
  const bool narrowFont = W < 1.5 * H;
  uint64_t sumW = 0, nW = 0, sumH = 0, nH = 0;
  for (unsigned p = first; p < end; ++p) {
    const BlockRec& b = tblk[stblk[p]];
    if (b.top == 0) continue;
    const uint32_t w = blockWidth(b);
    const uint32_t h = blockHeight(b) < 1 ? 1 : blockHeight(b);
    if (narrowFont && w / h > 2) continue;
    if (h > tallest) continue;
    if (h > 6) {
      sumH += h;
      ++nH;
    }
    if (w > 6) {
      sumW += w;
      ++nW;
    }
  }
  meanW = meanOr1(sumW, nW);
  meanH = meanOr1(sumH, nH);
}

void getcolumns() {
  num_of_cols = 1;
  ColRec& col = tcol[0];
  col = ColRec{};
  col.top = 1;
  col.left = 1;
  col.bottom = height < 3 ? 1u : height - 1u;
  col.right = width < 3 ? 1u : width - 1u;
  col.first = 1;
  col.end = lastblock;
  // stblk and tblk hold one entry past the last slot, so lastblock itself is in bounds.
  const unsigned sorted = lastblock < kBlockSlots ? lastblock + 1 : kBlockSlots;
  if (sorted > sortedWritten) sortedWritten = sorted;
  for (uint32_t i = 1; i <= lastblock && i < kBlockSlots; ++i) {
    stblk[i] = i;
    tblk[i].col = 0;
  }
}

uint32_t getlines() {
  const LineTolerance t = lineTolerance();
  const uint32_t H = MyOcr.charHeight;
  clearLines();
  if (num_of_cols == 0) {
    lineToWrite(0).first = 0;
    return 0;
  }
  const unsigned first = tcol[0].first;
  const unsigned end = tcol[0].end < kBlockSlots ? tcol[0].end : kBlockSlots;
  JoinBlocks(0, 0, first, end);
  exchangeSort(first, end, [](const BlockRec& b) { return b.cy; });

  // Empty slots sort first: the first line opens at the first block.
  unsigned pos = first;
  while (pos < end && tblk[stblk[pos]].top == 0) ++pos;
  if (pos >= end) {
    lineToWrite(0).first = first;
    num_of_lines = 0;
    return 0;
  }
  OpenLine line;
  openLine(line, 0, pos, t.band);
  lineToWrite(0).first = first;
  uint32_t lines = 1;
  for (++pos; pos < end; ++pos) {
    const unsigned slot = stblk[pos];
    BlockRec& blk = tblk[slot];
    if (blk.top == 0) continue;
    if (blockHeight(blk) <= 1) {
      remove_block(slot);
      continue;
    }
    // With no nominal height no block counts as too high for a line of its own.
    const bool tooHigh = H != 0 && blockHeight(blk) > 2 * H;
    if (tooHigh || blk.cy <= line.c + t.tol || blk.top <= line.b + t.tol) {
      updateLine(line, blk, !tooHigh);
      continue;
    }
    if (lines > kMaxLineNumber) {
      WriteTrace("err - ", "OCR: too many lines", false);
      MyDev.lastResult = PVK_ERR_OCR;
      return num_of_lines;
    }
    openLine(line, lines, pos, t.band);
    ++lines;
  }
  num_of_lines = lines;
  lineToWrite(lines).first = end;
  finishLines(lines);
  return num_of_lines;
}
