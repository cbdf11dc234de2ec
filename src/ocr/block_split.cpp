// Repairs of the segmentation: JoinBlocks merges the fragments of one character (an i and its
// dot, a broken stroke), and the splits cut a block that holds touching characters at the
// column or row with the least ink. Boxes have exclusive bottom and right bounds.
#include <cstdint>

#include "core/records.h"
#include "ocr/ocr.h"

namespace {

constexpr int kMaxJoinRounds = 101;

struct JoinLimits {
  uint32_t J;   // neither block may be wider
  uint32_t gH;  // horizontal gap
  uint32_t uW;  // union width
  uint32_t gV;  // vertical gap
  uint32_t uH;  // union height
  uint32_t kernMeanW;  // the mean width a kerned face's pairs are judged by (0: not kerned)
};

uint32_t trunc32(double v) { return v <= 0 ? 0u : static_cast<uint32_t>(v); }

JoinLimits joinLimits(uint16_t mw) {
  const uint32_t W = MyOcr.charWidth;
  const uint32_t H = MyOcr.charHeight;
  const double s = MyOcr.engineScale;
  const short font = MyOcr.currentFont;
  JoinLimits l{};
  if (MyOcr.fixedSize != 0) {
    l.J = W != 0 ? 2 * W : 1;
  } else {
    l.J = mw != 0 ? 2u * mw : 1;
  }
  l.gH = W / 4;
  l.uW = trunc32(0.8 * W);
  l.gV = H / 4;
  l.uH = trunc32(1.2 * H);
  if (font == 1) {
    l.gH = trunc32(11 * s);
    l.uW = trunc32(35 * s);
    l.gV = trunc32(12 * s);
    l.uH = H;
  } else if (IsMICROPERFORATIONFont(font, true)) {
    const double f = (font == 40 || font == 936 || font == 939) ? 1.1 : 1.2;
    l.uW = trunc32(f * W);
    l.uH = trunc32(f * H);
    l.gH = l.gV = trunc32(6 * s);
  } else if (font == 945) {
    // The payee faces are kerned: an L tucks under a T, an A under a V. (The amount's figures
    // are not: they stand on a fixed pitch.)
    l.kernMeanW = mw != 0 ? mw : W;
  } else if (font == 202) {
    int k = 5;
    if (PrivilegiaBarreVert != 0) {
      k = SogliaBW < 110 ? 9 : 7;
    } else if (SogliaBW < 80) {
      k = 6;
    }
    l.gH = trunc32(k * s);
    l.uW = trunc32(40 * s);
  }
  return l;
}

bool within(uint32_t v, uint32_t lo, uint32_t hi) { return v >= lo && v <= hi; }

// The first and last rows holding the block's own ink in columns x0..x1-1 (first > last: none).
struct RowSpan {
  uint32_t first = UINT32_MAX, last = 0;
};

RowSpan inkRows(unsigned slot, const BlockRec& r, uint32_t x0, uint32_t x1) {
  RowSpan s;
  if (x0 < r.left) x0 = r.left;
  if (x1 > r.right) x1 = r.right;
  if (x1 > width) x1 = width;
  for (uint32_t y = r.top; y < r.bottom && y < height; ++y)
    for (uint32_t x = x0; x < x1; ++x)
      if (imag[static_cast<size_t>(y) * width + x] == slot) {
        if (s.first == UINT32_MAX) s.first = y;
        s.last = y;
      }
  return s;
}

// Two letters of the kerned payee face that meet edge to edge or overlap by a few columns: each
// stands four fifths of the union's height and half a mean character wide, their union is 1.4
// mean characters wide or more, the columns they share are a sixth of the narrower one at most,
// and where they meet one keeps to the top quarter and the other to the bottom one (an L's foot
// under a T's bar, an A's foot under a V's arm). The parts of a broken W meet in the same rows
// or halfway up.
bool kernedPair(unsigned sa, const BlockRec& a, unsigned sb, const BlockRec& b, const JoinLimits& l) {
  const uint32_t mw = l.kernMeanW;
  if (mw == 0) return false;
  const uint32_t lo = a.left > b.left ? a.left : b.left, hi = a.right < b.right ? a.right : b.right;
  const uint32_t shared = hi > lo ? hi - lo : 0;
  const uint32_t wa = a.right - a.left, wb = b.right - b.left, narrow = wa < wb ? wa : wb;
  const uint32_t unionW = (a.right > b.right ? a.right : b.right) - (a.left < b.left ? a.left : b.left);
  const uint32_t unionH = (a.bottom > b.bottom ? a.bottom : b.bottom) - (a.top < b.top ? a.top : b.top);
  const auto tall = [unionH](const BlockRec& r) { return 5 * (r.bottom - r.top) >= 4 * unionH; };
  if (6 * shared > narrow || 10 * unionW < 14 * mw || 2 * narrow < mw || !tall(a) || !tall(b)) return false;
  const uint32_t x0 = lo > 0 ? lo - 1 : 0, x1 = (hi > lo ? hi : lo) + 1;
  const RowSpan ra = inkRows(sa, a, x0, x1), rb = inkRows(sb, b, x0, x1);
  if (!(ra.last < rb.first || rb.last < ra.first)) return false;
  const RowSpan& upper = ra.last < rb.first ? ra : rb;
  const RowSpan& lower = ra.last < rb.first ? rb : ra;
  const uint32_t top = a.top < b.top ? a.top : b.top;
  return 4 * (upper.first - top) < unionH && 4 * (top + unionH - 1 - lower.last) < unionH;
}

bool shouldJoin(unsigned sa, const BlockRec& a, unsigned sb, const BlockRec& b, const JoinLimits& l) {
  const bool cols = within(b.left, a.left, a.right) || within(a.left, b.left, b.right);
  const bool rows = within(b.top, a.top, a.bottom) || within(a.top, b.top, b.bottom);
  if (cols && rows) return !kernedPair(sa, a, sb, b, l);
  if (rows) {
    if (b.left >= a.left) return b.left < a.right + l.gH && b.right < a.left + l.uW;
    return a.left < b.right + l.gH && a.right < b.left + l.uW;
  }
  if (cols) {
    if (b.top >= a.top) return b.top < a.bottom + l.gV && b.bottom < a.top + l.uH;
    return a.top < b.bottom + l.gV && a.bottom < b.top + l.uH;
  }
  return false;
}

// One round over the positions; true when it joined something.
bool joinRound(unsigned first, unsigned end, const JoinLimits& l) {
  bool joined = false;
  for (unsigned i = first; i < end; ++i) {
    const unsigned sa = stblk[i];
    for (unsigned j = i + 1; j < end && tblk[sa].top != 0; ++j) {
      const unsigned sb = stblk[j];
      if (sb == sa || sb >= kBlockSlots) continue;
      BlockRec& b = tblk[sb];
      if (b.bottom <= b.top || b.right <= b.left) b.top = b.left = b.bottom = b.right = 0;
      if (b.top == 0) continue;
      const BlockRec& a = tblk[sa];
      if (a.right - a.left > l.J || b.right - b.left > l.J) continue;
      if (!shouldJoin(sa, a, sb, b, l)) continue;
      join_block(sa, sb);  // a is emptied: the inner scan ends with it
      joined = true;
    }
  }
  return joined;
}

bool microFont() { return IsMICROPERFORATIONFont(MyOcr.currentFont, true); }

// The slot a split may take, or 0 when the table has no room below the spare slot.
unsigned newSlot() {
  const uint32_t n = lastblock + 1;
  if (n >= kSpareSlot) return 0;
  pvk::ocr::slotWritten(n);
  return n;
}

uint32_t inkInColumn(const BlockRec& b, uint32_t x) {
  uint32_t n = 0;
  for (uint32_t r = b.top; r < b.bottom && r < height; ++r) n += imag[static_cast<size_t>(r) * width + x] != 0;
  return n;
}

uint32_t inkInRow(const BlockRec& b, uint32_t y) {
  uint32_t n = 0;
  const uint32_t right = b.right < width ? b.right : width;
  for (uint32_t c = b.left; c < right; ++c) n += imag[static_cast<size_t>(y) * width + c] != 0;
  return n;
}

struct Cut {
  bool found = false;
  uint32_t at = 0;
  uint32_t least = 0;
};

// The column of from..to-1 with the least ink, the later of equal counts; a column without
// ink is taken at once.
Cut leastInkColumn(const BlockRec& b, uint32_t from, uint32_t to) {
  Cut cut;
  if (to > width) to = width;
  for (uint32_t x = from; x < to; ++x) {
    const uint32_t n = inkInColumn(b, x);
    if (!cut.found || n <= cut.least) cut = Cut{true, x, n};
    if (n == 0) break;
  }
  return cut;
}

// Cuts b at column x into a new slot n on the left; the left part's pixels move to n.
void cutAtColumn(unsigned b, unsigned n, uint32_t x) {
  BlockRec& blk = tblk[b];
  BlockRec& left = tblk[n];
  left = blk;
  lastblock = n;
  left.left = blk.left;
  left.right = x - 1 > blk.left + 1 ? x - 1 : blk.left + 1;
  if (x + 1 < blk.right) {
    blk.left = x + 1;
    if (blk.right < x + 2) blk.right = x + 2;
  } else {
    blk.left = x;
    if (blk.right < x + 1) blk.right = x + 1;
  }
  uint32_t firstRow = UINT32_MAX, lastRow = 0, rows = 0;
  const uint32_t right = left.right < width ? left.right : width;
  for (uint32_t r = left.top; r < left.bottom && r < height; ++r) {
    bool any = false;
    for (uint32_t c = left.left; c < right; ++c) {
      uint32_t& p = imag[static_cast<size_t>(r) * width + c];
      if (p == b) {
        p = n;
        any = true;
      }
    }
    if (!any) continue;
    if (firstRow == UINT32_MAX) firstRow = r;
    lastRow = r;
    ++rows;
  }
  if (rows >= 2) {
    left.top = firstRow;
    left.bottom = lastRow + 1;
  } else {
    left.top = blk.top;
    left.bottom = blk.top + 1 > blk.bottom ? blk.top + 1 : blk.bottom;
  }
}

bool usable(unsigned b) {
  return imag != nullptr && b != 0 && b < kSpareSlot && tblk[b].top != 0 && tblk[b].right > tblk[b].left;
}

// The first column from..to-1 at which a run of columns without ink grows longer than m.
Cut emptyRunColumn(const BlockRec& b, uint32_t from, uint32_t to, uint32_t m, uint32_t& longest) {
  uint32_t run = 0;
  if (to > width) to = width;
  for (uint32_t x = from; x < to; ++x) {
    run = inkInColumn(b, x) == 0 ? run + 1 : 0;
    if (run > longest) longest = run;
    if (run > m) return Cut{true, x, 0};
  }
  return Cut{};
}

}  // namespace

void JoinBlocks(uint16_t meanW, uint16_t meanH, unsigned first, unsigned end) {
  if (end > kBlockSlots) end = kBlockSlots;
  if (meanW == 0 || meanH == 0) average_blocks(first, end, meanW, meanH);
  const JoinLimits l = joinLimits(meanW);
  for (int round = 0; round < kMaxJoinRounds; ++round)
    if (!joinRound(first, end, l)) break;
}

uint32_t split_block_hor(unsigned b, float heightFactor, bool wide, unsigned& newSlotOut) {
  const short font = MyOcr.currentFont;
  if (IsCMC7Font(font) || microFont() || !usable(b)) return 0;
  uint32_t limit = 1;
  if (heightFactor > 0) {
    float f = heightFactor;
    if (pCurDB != nullptr && pCurDB->split != 0) f += 1.0f;
    const double l = ah * f / 30.0 + 1.5;
    limit = l < 1 ? 1u : static_cast<uint32_t>(l);
  }
  const BlockRec& blk = tblk[b];
  const uint32_t from = wide ? trunc32(blk.left + 0.9 * aw) : blk.left + 2;
  const uint32_t byWidth = trunc32(blk.left + 1.5 * aw);
  const uint32_t to = blk.right - 1 < byWidth ? blk.right - 1 : byWidth;
  if (from >= to) return 0;
  const Cut cut = leastInkColumn(blk, from, to);
  if (!cut.found || cut.least >= limit) return 0;
  const unsigned n = newSlot();
  if (n == 0) return 0;
  cutAtColumn(b, n, cut.at);
  newSlotOut = n;
  return cut.least + 1;
}

uint32_t split_block_hor_fix(unsigned b, uint16_t cutOffset, unsigned& newSlotOut) {
  if (microFont() || !usable(b)) return 0;
  const BlockRec& blk = tblk[b];
  const uint32_t centre = blk.left + cutOffset;
  const uint32_t from = centre >= 2 ? centre - 2 : 0;
  const uint32_t to = centre + 2 < blk.right - 1 ? centre + 2 : blk.right - 1;
  const Cut cut = leastInkColumn(blk, from < blk.left ? blk.left : from, to);
  if (!cut.found || cut.at >= blk.right) return 0;
  const unsigned n = newSlot();
  if (n == 0) return 0;
  cutAtColumn(b, n, cut.at);
  newSlotOut = n;
  return cut.least + 1;
}

int split_block_imag_hor(unsigned b, unsigned& leftSlot) {
  if (!usable(b)) return 0;
  const short font = MyOcr.currentFont;
  BlockRec& blk = tblk[b];
  const uint32_t w = blk.right - blk.left;
  int m = 0;
  const bool cmc7 = IsCMC7Font(font);
  if (microFont()) {
    if (w < 22) return 0;
    m = 2;
  } else if (cmc7) {
    if (w < 32) return 0;
    m = static_cast<int>(8 * MyOcr.engineScale);
  }
  const uint32_t from = blk.left + 2;
  uint32_t to = blk.right >= 2u + m ? blk.right - 2 - m : 0;
  uint32_t longest = 0;
  Cut cut = emptyRunColumn(blk, from, to, static_cast<uint32_t>(m), longest);
  // A CMC7 gap may be narrower than the margin: widen the search and lower the margin.
  while (!cut.found && cmc7 && m >= 7 && longest >= 5) {
    ++to;
    --m;
    cut = emptyRunColumn(blk, from, to, static_cast<uint32_t>(m), longest);
  }
  if (!cut.found) return 0;
  const uint32_t x = cut.at;
  const bool leftWide = x > blk.left + 4;       // x - left - 1 > 3
  const bool rightWide = blk.right > x + 4;     // right - 1 - x > 3
  if (leftWide && rightWide) {
    const unsigned n = newSlot();
    if (n == 0) return 0;
    tblk[n] = blk;
    lastblock = n;
    blk.left = x + 1 < blk.right ? x + 1 : blk.right;
    tblk[n].right = x - 1 > tblk[n].left ? x - 1 : tblk[n].left;
    leftSlot = n;
    return 1;
  }
  if (leftWide) {
    blk.right = x - 1 > blk.left ? x - 1 : blk.left;
  } else if (rightWide) {
    blk.left = x + 1 < blk.right ? x + 1 : blk.right;
  } else {
    return 0;
  }
  leftSlot = b;
  return 1;
}

unsigned split_block_ver(unsigned b, uint32_t maxRow, uint32_t minHeight) {
  if (microFont() || !usable(b)) return 0;
  BlockRec& blk = tblk[b];
  Cut cut;
  for (uint32_t y = blk.top; y < blk.bottom && y < height; ++y) {
    const uint32_t n = inkInRow(blk, y);
    if (!cut.found || n <= cut.least) cut = Cut{true, y, n};
    if (n == 0) break;
  }
  if (!cut.found || cut.least > maxRow) return 0;
  const unsigned n = newSlot();
  if (n == 0) return 0;
  const BlockRec before = blk;
  const uint32_t saved = lastblock;
  lastblock = n;
  BlockRec& upper = tblk[n];
  upper = blk;
  upper.bottom = cut.at;
  if (upper.right < upper.left + 1) upper.right = upper.left + 1;
  blk.top = cut.at + 1;
  const uint32_t upperH = upper.bottom - upper.top;
  const uint32_t lowerH = blk.bottom > blk.top ? blk.bottom - blk.top : 0;
  unsigned result = b;
  if (upperH >= minHeight && lowerH <= ah_2_3) {
    if (lowerH >= minHeight && upperH <= ah_2_3) {
      blk = before;
      result = 0;
    } else {
      blk = upper;
    }
  }
  upper = BlockRec{};
  lastblock = saved;
  return result;
}
