// Blocks of the engine image: the one-pass 8-connected labelling of a band into the block table,
// the point filter that runs before it, and the operations that move, join, empty and compact
// block records together with the labels of their pixels.
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "ocr/ocr.h"

uint16_t width = 0;
uint16_t height = 0;
int32_t imagsize = 0;
BlockRec tblk[kBlockSlots];
uint32_t lastblock = 0;
uint32_t stblk[kBlockSlots];
BlockAttr tattr[kBlockSlots];

namespace {

unsigned attrsWritten = kBlockSlots;  // one past the highest slot of tattr written since it was cleared
unsigned blocksWritten = kBlockSlots;  // the same for tblk

}  // namespace

BlockAttr& pvk::ocr::attrToWrite(unsigned slot) {
  if (slot >= attrsWritten) attrsWritten = slot + 1;
  return tattr[slot];
}

void pvk::ocr::clearAttrs() {
  std::memset(static_cast<void*>(tattr), 0, sizeof(BlockAttr) * attrsWritten);
  attrsWritten = 0;
}

void pvk::ocr::slotWritten(unsigned slot) {
  if (slot >= blocksWritten) blocksWritten = slot < kBlockSlots ? slot + 1 : kBlockSlots;
}

// Slots are taken from the bottom up (labelling, splits at lastblock + 1, the spare slot of an
// exchange), and moves and joins only go between slots taken: nothing above the highest slot
// noted holds anything. lastblock is honoured too, for tables filled by hand.
void pvk::ocr::clearBlocks() {
  slotWritten(lastblock);
  std::memset(static_cast<void*>(tblk), 0, sizeof(BlockRec) * blocksWritten);
  blocksWritten = 0;
}

namespace {

constexpr unsigned kNoiseFreeLimit = 4096;
// Microperforation holes wider or higher than these are not holes.
constexpr uint32_t kHoleMaxW = 25;
constexpr uint32_t kHoleMaxH = 36;
constexpr uint32_t kHoleReach = 3;

bool isEmpty(unsigned slot) { return tblk[slot].top == 0; }

uint32_t& px(uint32_t row, uint32_t col) { return imag[static_cast<size_t>(row) * width + col]; }

// Bit i set when pixel p[i] of the 16 from p on is not paper.
inline unsigned inkOf16(const uint32_t* p) {
#if defined(__SSE2__)
  const __m128i zero = _mm_setzero_si128();
  auto paper = [p, zero](int k) {
    return _mm_cmpeq_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p + k)), zero);
  };
  const __m128i lanes = _mm_packs_epi16(_mm_packs_epi32(paper(0), paper(4)), _mm_packs_epi32(paper(8), paper(12)));
  return ~static_cast<unsigned>(_mm_movemask_epi8(lanes)) & 0xFFFFu;
#else
  unsigned m = 0;
  for (int k = 0; k < 16; ++k) m |= (p[k] != 0 ? 1u : 0u) << k;
  return m;
#endif
}

// Calls ink(c) for each column c of 1 .. width - 2 whose pixel in row r is not 0 when it is
// reached, left to right; ink may change pixel c only. A band is mostly paper: after a paper
// pixel the next ink is looked for sixteen pixels at a time.
template <typename Ink>
inline void eachInk(uint32_t r, Ink ink) {
  const uint32_t* row = imag + static_cast<size_t>(r) * width;
  const uint32_t end = width - 1u;
  for (uint32_t c = 1; c < end;) {
    if (row[c] != 0) {
      ink(c++);
      continue;
    }
    ++c;
    while (c + 16 <= end) {
      const unsigned m = inkOf16(row + c);
      if (m != 0) {
        c += static_cast<uint32_t>(__builtin_ctz(m));
        break;
      }
      c += 16;
    }
  }
}

// Rows first .. end - 1 of 1 .. height - 2 may hold ink; every other row is 0 (height >= 3).
void rowsWithInk(uint32_t& first, uint32_t& end) {
  pvk::ocr::inkRowSpan(imag, width, height, first, end);
  if (first < 1) first = 1;
  if (end > height - 1u) end = height - 1u;
}

// Rewrites the label from to to inside the box; the box is clipped to the image.
// Every pixel is written back, its own value or the new one, so that the row goes through in
// vectors: a box can be the width of the band.
void relabel(const BlockRec& box, uint32_t from, uint32_t to) {
  const uint32_t bottom = box.bottom < height ? box.bottom : height;
  const uint32_t right = box.right < width ? box.right : width;
  for (uint32_t r = box.top; r < bottom; ++r) {
    uint32_t* row = imag + static_cast<size_t>(r) * width;
    for (uint32_t c = box.left; c < right; ++c) row[c] = row[c] == from ? to : row[c];
  }
}

bool microperforation() { return IsMICROPERFORATIONFont(MyOcr.currentFont, true); }

unsigned slotLimit() {
  const short font = MyOcr.currentFont;
  if (IsCMC7Font(font) || microperforation() || height >= 400) return kNoiseFreeLimit;
  const unsigned byRows = static_cast<unsigned>(height) * 4096u / 400u;
  return byRows > 1024 ? byRows : 1024;
}

// Slots from 3 up below this one are all in use while a band is labelled: emptying a slot
// lowers it, so a new block need not scan the whole table.
unsigned firstFreeHint = 3;

void emptied(unsigned slot) {
  if (slot >= 3 && slot < firstFreeHint) firstFreeHint = slot;
}

// Slot 2 when free, else the first free slot from 3 up; kSpareSlot when none is.
unsigned freeSlot() {
  if (isEmpty(2)) return 2;
  for (unsigned s = firstFreeHint; s < kSpareSlot; ++s) {
    if (isEmpty(s)) {
      firstFreeHint = s;
      return s;
    }
  }
  firstFreeHint = kSpareSlot;
  return kSpareSlot;
}

void setCentres() {
  for (unsigned s = 1; s < lastblock; ++s) {
    BlockRec& b = tblk[s];
    if (b.top == 0) continue;
    b.cy = (b.top + b.bottom) / 2;
    b.cx = (b.left + b.right) / 2;
  }
}

// While a band is labelled its pixels hold marks, not slots: a joined block's pixels would
// otherwise be rewritten at every join, and on a page of noise one block that spans the band
// joins thousands of others (every join rewriting the band). A mark names its block through
// a chain of joins, each root mark holding the block's slot; the pixels get their slots in one
// pass at the end, the same slots the rewriting at every join would have left.
class Marks {
 public:
  static constexpr uint32_t kFirst = 2;  // pixel values 0 (white) and 1 (ink) are not marks

  void clear() {
    parent_.clear();
    slot_.clear();
  }
  uint32_t add(unsigned slot) {
    parent_.push_back(static_cast<uint32_t>(parent_.size()));
    slot_.push_back(slot);
    return static_cast<uint32_t>(parent_.size() - 1) + kFirst;
  }
  // The root mark of the block that pixel value v belongs to.
  uint32_t root(uint32_t v) {
    uint32_t m = v - kFirst;
    while (parent_[m] != m) {
      parent_[m] = parent_[parent_[m]];
      m = parent_[m];
    }
    return m + kFirst;
  }
  unsigned slot(uint32_t root) const { return slot_[root - kFirst]; }
  void join(uint32_t fromRoot, uint32_t toRoot) { parent_[fromRoot - kFirst] = toRoot - kFirst; }

 private:
  std::vector<uint32_t> parent_;
  std::vector<unsigned> slot_;
};
Marks marks;

// The block of labelled neighbour n takes the pixel at (r, c), as merging a one-pixel block of
// the pixel's own (in slot s) into it would, without making that block: slot s is free again at
// once. False, with nothing done, when that block lies in slot s itself.
void takePixel(BlockRec& b, uint32_t r, uint32_t c) {
  if (b.top == 0) {
    b = BlockRec{r, c, r + 1, c + 1, b.col, b.line, b.cy, b.cx};
  } else {
    if (r < b.top) b.top = r;
    if (c < b.left) b.left = c;
    if (r + 1 > b.bottom) b.bottom = r + 1;
    if (c + 1 > b.right) b.right = c + 1;
  }
}

bool joinAtOnce(uint32_t r, uint32_t c, unsigned s, uint32_t n, uint32_t& cur) {
  const uint32_t to = marks.root(n);
  const unsigned slot = marks.slot(to);
  if (slot == s) return false;
  takePixel(tblk[slot], r, c);
  emptied(s);
  cur = to;
  return true;
}

// Labels one black pixel at (r, c); false when the table is full.
bool labelPixel(uint32_t r, uint32_t c, unsigned limit, bool noiseRule, unsigned& highest) {
  const unsigned s = freeSlot();
  if (s >= limit) return false;
  if (s > highest) highest = s;
  // The neighbours already scanned: left, upper left, above, upper right. A neighbour still at 1
  // lies on the unscanned border: it is ink but no block to join.
  const uint32_t scanned[4] = {px(r, c - 1), px(r - 1, c - 1), px(r - 1, c), px(r - 1, c + 1)};
  // Bit k set when neighbour k holds a mark, gathered without branches on the pixels.
  unsigned marked = 0;
  for (unsigned k = 0; k < 4; ++k) marked |= static_cast<unsigned>(scanned[k] >= Marks::kFirst) << k;
  unsigned toJoin = marked;
  uint32_t cur = 0;
  // Most ink lies beside ink already labelled: the pixel goes straight into the block of the
  // first such neighbour.
  if (marked != 0 && joinAtOnce(r, c, s, scanned[__builtin_ctz(marked)], cur)) {
    toJoin &= toJoin - 1;
  } else {
    cur = marks.add(s);
    tblk[s] = BlockRec{r, c, r + 1, c + 1, 0, 0, 0, 0};
  }
  px(r, c) = cur;
  for (; toJoin != 0; toJoin &= toJoin - 1) {
    const uint32_t to = marks.root(scanned[__builtin_ctz(toJoin)]);
    if (to == cur) continue;
    const unsigned from = marks.slot(cur);
    mergeBlockRecords(from, marks.slot(to));
    emptied(from);
    marks.join(cur, to);
    cur = to;
  }
  const int white = (scanned[0] == 0) + (scanned[1] == 0) + (scanned[2] == 0) + (scanned[3] == 0);
  if (noiseRule && white == 4) {
    const int black = (px(r, c + 1) != 0) + (px(r + 1, c - 1) != 0) + (px(r + 1, c) != 0) +
                      (px(r + 1, c + 1) != 0);
    if (black < 2) {
      remove_block(marks.slot(cur));
      emptied(marks.slot(cur));
      px(r, c) = 0;
    }
  }
  return true;
}

// Where a run of ink along a row stands while it is labelled: the slot a new block would take
// (known until a block is made or joined) and a mark above right known to be in the run's block.
struct Run {
  unsigned slot = 0;
  bool slotKnown = false;
  uint32_t joinedAbove = 0;
};

// Labels the black pixel at (r, c) whose left neighbour is labelled, as labelPixel does: the
// pixel goes to that neighbour's block, whose block already holds the neighbours above left and
// above (they were the left neighbour's above and above right), so only the one above right can
// join another block. False when the table is full.
bool continueRun(uint32_t r, uint32_t c, unsigned limit, unsigned& highest, Run& run) {
  if (!run.slotKnown) {
    run.slot = freeSlot();
    run.slotKnown = true;
  }
  const unsigned s = run.slot;
  if (s >= limit) return false;
  if (s > highest) highest = s;
  uint32_t cur = marks.root(px(r, c - 1));
  const unsigned slot = marks.slot(cur);
  if (slot == s) {  // not a block of its own: the general rule
    run.slotKnown = false;
    return labelPixel(r, c, limit, false, highest);
  }
  takePixel(tblk[slot], r, c);
  emptied(s);
  px(r, c) = cur;
  const uint32_t above = px(r - 1, c + 1);
  if (above < Marks::kFirst || above == run.joinedAbove) return true;
  run.joinedAbove = above;
  const uint32_t to = marks.root(above);
  if (to == cur) return true;
  mergeBlockRecords(slot, marks.slot(to));
  emptied(slot);
  marks.join(cur, to);
  run.slotKnown = false;
  return true;
}

// One row's ink: a pixel that starts a run by the general rule, the rest of the run along it.
bool labelRow(uint32_t r, unsigned limit, bool noiseRule, unsigned& highest) {
  bool full = false;
  Run run;
  eachInk(r, [&](uint32_t c) {
    if (full) return;
    if (px(r, c - 1) >= Marks::kFirst) {
      full = !continueRun(r, c, limit, highest, run);
      return;
    }
    full = !labelPixel(r, c, limit, noiseRule, highest);
    run.slotKnown = false;
    run.joinedAbove = px(r - 1, c + 1);
  });
  return !full;
}

// The border is never labelled, only read beside its neighbours, as ink or paper: a value
// above 1 left there would pass for a mark.
void borderToInk() {
  for (uint32_t c = 0; c < width; ++c) {
    if (px(0, c) > 1) px(0, c) = 1;
    if (px(height - 1, c) > 1) px(height - 1, c) = 1;
  }
  for (uint32_t r = 0; r < height; ++r) {
    if (px(r, 0) > 1) px(r, 0) = 1;
    if (px(r, width - 1) > 1) px(r, width - 1) = 1;
  }
}

// Every labelled pixel takes the slot of its block; neighbours mostly hold the same mark.
void marksToSlots() {
  uint32_t mark = 0, slot = 0, first = 1, end = 1;
  rowsWithInk(first, end);
  for (uint32_t r = first; r < end; ++r) {
    eachInk(r, [&](uint32_t c) {
      const uint32_t v = px(r, c);
      if (v < Marks::kFirst) return;
      if (v != mark) {
        mark = v;
        slot = marks.slot(marks.root(v));
      }
      px(r, c) = slot;
    });
  }
}

bool near(uint32_t a0, uint32_t a1, uint32_t b0, uint32_t b1) {
  auto within = [](uint32_t x, uint32_t y) { return (x > y ? x - y : y - x) <= kHoleReach; };
  const bool overlap = (b0 >= a0 && b0 < a1) || (a0 >= b0 && a0 < b1);
  return overlap || within(a0, b0) || within(a0, b1) || within(a1, b0) || within(a1, b1);
}

// Each hole of the paper is a block: drop what is too big for a hole, then join holes that lie
// within reach of each other, round after round, until a round joins nothing.
bool joinHoles() {
  for (unsigned s = 1; s < lastblock; ++s) {
    const BlockRec& b = tblk[s];
    if (b.top != 0 && (b.right - b.left >= kHoleMaxW || b.bottom - b.top >= kHoleMaxH)) remove_block(s);
  }
  compactify_tblk();
  if (lastblock < 2) return false;
  bool joined = true;
  while (joined) {
    joined = false;
    for (unsigned i = 1; i < lastblock; ++i) {
      for (unsigned j = i + 1; j < lastblock; ++j) {
        if (isEmpty(i) || isEmpty(j)) continue;
        const BlockRec& a = tblk[i];
        const BlockRec& b = tblk[j];
        if (near(a.top, a.bottom, b.top, b.bottom) && near(a.left, a.right, b.left, b.right)) {
          join_block(j, i);
          joined = true;
        }
      }
    }
    if (joined) compactify_tblk();
  }
  return true;
}

}  // namespace

void filtraPuntiSingoli() {
  if (imag == nullptr || width < 3 || height < 3) return;
  uint32_t first = 1, end = 1;
  rowsWithInk(first, end);
  for (uint32_t r = first; r < end; ++r) {
    eachInk(r, [r](uint32_t c) {
      const uint32_t direct = (px(r, c - 1) != 0) + (px(r, c + 1) != 0) + (px(r - 1, c) != 0) +
                              (px(r + 1, c) != 0);
      const uint32_t diagonal = (px(r - 1, c - 1) != 0) + (px(r - 1, c + 1) != 0) +
                                (px(r + 1, c - 1) != 0) + (px(r + 1, c + 1) != 0);
      if (direct < 2 && direct + diagonal < 4) px(r, c) = 0;
    });
  }
}

uint32_t getblocks() {
  lastblock = 0;
  if (imag == nullptr || height < 16 || width < 3) return 0;
  const unsigned limit = slotLimit();
  const bool noiseRule = !IsCMC7Font(MyOcr.currentFont) && !microperforation();
  unsigned highest = 0;
  firstFreeHint = 3;
  marks.clear();
  borderToInk();
  bool full = false;
  uint32_t first = 1, end = 1;
  rowsWithInk(first, end);
  // A host's stop ends the labelling as a full table does: the pass reads nothing.
  for (uint32_t r = first; r < end && !full; ++r) {
    full = pvk::core::stopRequested();
    if (full) break;
    full = !labelRow(r, limit, noiseRule, highest);
  }
  pvk::ocr::slotWritten(highest);
  marksToSlots();
  if (full) {
    lastblock = 0;
    return 0;
  }
  lastblock = highest + 1;
  compactify_tblk();
  setCentres();
  if (microperforation() && !joinHoles()) {
    lastblock = 0;
    return 0;
  }
  if (lastblock > 1) return lastblock;
  lastblock = 0;
  return 0;
}

void remove_block(unsigned slot) {
  if (slot < kBlockSlots) tblk[slot] = BlockRec{};
}

void move_block(unsigned from, unsigned to) {
  if (from >= kBlockSlots || to >= kBlockSlots || from == to) return;
  relabel(tblk[from], from, to);
  tblk[to] = tblk[from];
  tblk[from] = BlockRec{};
}

void clear_block(unsigned slot) {
  if (slot == 0 || slot >= kBlockSlots || isEmpty(slot)) return;
  const BlockRec box = tblk[slot];
  tblk[slot] = BlockRec{};
  const uint32_t bottom = box.bottom < height ? box.bottom : height;
  const uint32_t right = box.right < width ? box.right : width;
  for (uint32_t r = box.top; r < bottom; ++r) {
    for (uint32_t c = box.left; c < right; ++c) {
      const uint32_t v = px(r, c);
      if (v == 0) continue;
      px(r, c) = 0;
      // Ink of another block inside the box takes that whole block with it.
      if (v != slot && v < kBlockSlots) clear_block(v);
    }
  }
}

void join_block(unsigned a, unsigned b) {
  if (a == b || a >= kBlockSlots || b >= kBlockSlots) return;
  relabel(tblk[a], a, b);
  mergeBlockRecords(a, b);
}

void mergeBlockRecords(unsigned a, unsigned b) {
  if (a == b || a >= kBlockSlots || b >= kBlockSlots) return;
  BlockRec& src = tblk[a];
  BlockRec& dst = tblk[b];
  if (dst.top == 0) {
    const BlockRec keep = dst;
    dst = src;
    dst.col = keep.col;
    dst.line = keep.line;
    dst.cy = keep.cy;
    dst.cx = keep.cx;
  } else if (src.top != 0) {
    if (src.top < dst.top) dst.top = src.top;
    if (src.left < dst.left) dst.left = src.left;
    if (src.bottom > dst.bottom) dst.bottom = src.bottom;
    if (src.right > dst.right) dst.right = src.right;
  }
  src = BlockRec{};
}

void permute_block(unsigned a, unsigned b) {
  if (a == b || a >= kSpareSlot || b >= kSpareSlot) return;
  pvk::ocr::slotWritten(kSpareSlot);
  move_block(a, kSpareSlot);
  move_block(b, a);
  move_block(kSpareSlot, b);
}

uint32_t compactify_tblk() {
  if (lastblock > kBlockSlots) lastblock = kBlockSlots;
  if (microperforation() && MyOcr.charHeight != 0) {
    const uint32_t limit = static_cast<uint32_t>(MyOcr.charHeight) * 3 / 2;
    for (unsigned s = 1; s < lastblock; ++s)
      if (!isEmpty(s) && tblk[s].bottom - tblk[s].top > limit) remove_block(s);
  }
  unsigned low = 1;
  unsigned high = lastblock > 0 ? lastblock - 1 : 0;
  while (true) {
    while (low < high && !isEmpty(low)) ++low;
    while (high > low && isEmpty(high)) --high;
    if (low >= high) break;
    move_block(high, low);
  }
  while (lastblock > 1 && isEmpty(lastblock - 1)) --lastblock;
  if (lastblock < 1) lastblock = 1;
  return lastblock;
}
