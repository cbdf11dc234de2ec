// Reading the blocks of one text line: each block is scaled and recognised, a weak block is
// trimmed, cut or split and its parts read again, and what reads is appended to the line.
#include <algorithm>
#include <cstring>

#include "core/records.h"
#include "ocr/ocr.h"

using pvk::ocr::AssemblyLine;
using pvk::ocr::blockH;
using pvk::ocr::blockW;

namespace {

bool sameBounds(const BlockRec& a, const BlockRec& b) {
  return a.top == b.top && a.left == b.left && a.bottom == b.bottom && a.right == b.right;
}

bool anyDatabaseNamed(const char* word) {
  for (int i = 0; DBList != nullptr && i < nDBLoaded; ++i)
    if (std::strstr(DBList[i].name, word) != nullptr) return true;
  return false;
}

struct Read {
  char c = ' ';
  unsigned char conf = 1;
  bool ok = false;
};

enum class Penalty { None, Part, Forced };

// Reads the blocks of one line, splitting and re-reading the doubtful ones.
class BlockReader {
 public:
  explicit BlockReader(AssemblyLine& line) : l_(line) {}

  void process(unsigned b, int r, int splits, Penalty pen) {
    for (int reread = 0;; ++reread) {
      const BlockRec before = tblk[b];
      Read x = read(b, r, pen);
      if (!x.ok || holdSmallStar(b, x, r)) return;
      if (x.c == ' ') {
        if (starPair(b, splits)) splitParts(b, splits, Penalty::None, 1.0f);
        return;
      }
      const uint32_t w = blockW(b), h = blockH(b);
      const bool small = w < minWNum && h < minHNum;
      if (x.conf > 40 || small || splits > 8) {
        if (!(x.c == '?' && small)) append(x, b, r);
        return;
      }
      if (x.c != '?' && x.c != 1 && x.conf >= 20) {
        const bool tooWide = w > aw_3_2 || ((x.c == 'H' || x.c == 'U') && w > aw);
        if (!tooWide || !splitParts(b, splits, Penalty::Part, 1.0f)) append(x, b, r);
        return;
      }
      if (retry(b, x, r, splits)) return;
      if (reread < 3 && !sameBounds(before, tblk[b])) continue;
      append(x, b, r);
      return;
    }
  }

 private:
  AssemblyLine& l_;

  static Read readRaw(unsigned b) {
    Read x;
    if (b == 0 || b >= kBlockSlots || tblk[b].top == 0) return x;
    uint32_t cell[32];
    if (!mk_std_size_bin(b, cell, 1, 1)) return x;
    if (blockW(b) < minW && blockH(b) < minH) return x;
    unsigned char db = 0;
    x.c = recognize_char(b, cell, x.conf, db);
    x.ok = true;
    return x;
  }

  // A read of a block that came from a split pays for it: r splits of the block, and the part
  // penalty of a split made here.
  static Read read(unsigned b, int r, Penalty pen) {
    Read x = readRaw(b);
    if (!x.ok || x.c == ' ' || x.c == 1) return x;
    const bool isI = x.c == 'I';
    if (r > 0) {
      const int prod = x.conf * (100 - (isI ? 15 : 10) * r);
      x.conf = static_cast<unsigned char>(prod < 100 ? 1 : prod / 100);
    }
    if (pen != Penalty::None) {
      const int c = x.conf - (isI ? 15 : 10);
      x.conf = static_cast<unsigned char>(c < 1 ? 1 : c);
      if (pen == Penalty::Forced) x.conf = static_cast<unsigned char>(std::max(1, x.conf * 2 / 3));
    }
    return x;
  }

  // An amount's star under a star's size waits for the end of the line, where its place is
  // known.
  bool holdSmallStar(unsigned b, const Read& x, int r) {
    if (x.c != '*' || MyOcr.currentFont != 944 || !pvk::ocr::underStarFloor(blockW(b), blockH(b))) return false;
    pvk::ocr::HeldStar s{};
    if (!l_.closed && pvk::ocr::holdStar(tblk[b], x.conf, r, s)) l_.held.push_back(s);
    return true;
  }

  void append(const Read& x, unsigned b, int r) {
    if (l_.closed) return;
    if (AggiungiCarattereOCR(x.c, x.conf, b, 1, l_.text(), l_.conf(), l_.info(), l_.n, l_.nRead, l_.o.maxChars,
                             nLineeLetteOCR, r) != 0)
      l_.closed = true;
  }

  // Cuts a wide block at its thinnest column and reads both parts; false when it does not cut.
  bool splitParts(unsigned b, int splits, Penalty pen, float factor) {
    unsigned part = 0;
    const uint32_t r = split_block_hor(b, factor, blockW(b) > aw_3_2, part);
    if (r == 0) return false;
    process(part, static_cast<int>(r), splits + 1, pen);
    process(b, static_cast<int>(r), splits + 1, pen);
    return true;
  }

  // An amount's stars run together when set small at low resolution: lower than a figure and half
  // as wide again as tall, the pair reads as nothing whole, so it is cut and its parts read.
  static bool starPair(unsigned b, int splits) {
    const uint32_t w = blockW(b), h = blockH(b);
    return MyOcr.currentFont == 944 && splits == 0 && h < minHNum && 2 * w >= 3 * h;
  }

  // A narrow unread block of an Arial font is often an I whose serif-less stroke lost its edges:
  // trimmed by a few columns it is read again and kept only as 'I'.
  bool arialI(unsigned b, const Read& x, int r) {
    const uint32_t w = blockW(b);
    if (x.c != '?' || w >= aw_1_2 || blockH(b) <= ah_1_2 || !anyDatabaseNamed("ARIAL")) return false;
    const BlockRec saved = tblk[b];
    if (w == 2) {
      tblk[b].right -= 1;
    } else {
      const uint32_t W = MyOcr.charWidth;
      const uint32_t k = W <= 8 ? 2 : (W + 7) / 8;
      if (w <= 2 * (k / 2) + 1) return false;
      tblk[b].left += k / 2;
      tblk[b].right -= k / 2;
    }
    const Read y = read(b, r, Penalty::None);
    if (y.ok && y.c == 'I') {
      append(y, b, r);
      return true;
    }
    tblk[b] = saved;
    return false;
  }

  // E13B: a block higher than the font is cut to the rows of the line's first character and
  // split; what reads well is kept, and the block's first bounds come back.
  bool e13bTall(unsigned b, int r) {
    const uint32_t H = MyOcr.charHeight;
    if (MyOcr.currentFont != 1 || blockH(b) <= H || H == 0) return false;
    const BlockRec saved = tblk[b];
    uint32_t top = saved.bottom - H, bottom = saved.bottom;
    if (l_.n > 0 && l_.text()[0] != '?' && l_.text()[0] != ' ') {
      const ChInfo& f = l_.info()[0];
      top = f.top > 4 ? f.top - 4u : 0u;
      bottom = f.bottom + 4u;
    }
    tblk[b].top = std::max(top, saved.top);
    tblk[b].bottom = std::min(bottom, saved.bottom);
    if (tblk[b].bottom <= tblk[b].top) {
      tblk[b] = saved;
      return false;
    }
    bool kept = false;
    unsigned part = 0;
    const uint32_t s = split_block_hor(b, 1.0f, blockW(b) > aw_3_2, part);
    if (s != 0) {
      const Read p = read(part, static_cast<int>(s), Penalty::None);
      if (p.ok && p.c != '?' && p.c != ' ' && p.conf >= 21) {
        append(p, part, static_cast<int>(s));
        kept = true;
      }
    }
    const Read y = read(b, static_cast<int>(s), Penalty::None);
    if (y.ok && y.c != '?' && y.c != ' ' && y.conf > 20) {
      append(y, b, static_cast<int>(s));
      kept = true;
    }
    tblk[b] = saved;
    return kept;
  }

  // The split paths of a weak block, in order; true when one of them took the block.
  bool retry(unsigned b, const Read& x, int r, int splits) {
    if (arialI(b, x, r)) return true;
    if (e13bTall(b, r)) return true;
    const short font = MyOcr.currentFont;
    if (blockH(b) > ah_2_3 && split_block_ver(b, aw_1_8, ah_1_2) != 0) {
      process(b, r, splits + 1, Penalty::Part);
      return true;
    }
    unsigned left = 0;
    if (split_block_imag_hor(b, left) != 0) {
      if (left != b) process(left, 1, splits + 1, Penalty::Part);
      process(b, 1, splits + 1, Penalty::Part);
      return true;
    }
    if (splitParts(b, splits, Penalty::Part, 1.0f)) return true;
    const uint32_t wref = MyOcr.fixedSize != 0 ? MyOcr.charWidth : aw;
    const uint32_t w = blockW(b);
    if (w > 1.2 * wref && x.conf <= 9 && !IsMICROPERFORATIONFont(font, true) && !IsCMC7Font(font)) {
      const float ratio = std::max(1.5f * static_cast<float>(wref), 4.0f);
      if (splitParts(b, splits, Penalty::Forced, ratio)) return true;
    } else if (font == 945 && MyOcr.fixedSize != 0 && w > 1.8 * aw) {
      unsigned part = 0;
      const uint32_t s = split_block_hor_fix(b, aw, part);
      if (s != 0) {
        process(part, static_cast<int>(s), splits + 1, Penalty::Part);
        process(b, static_cast<int>(s), splits + 1, Penalty::Part);
        return true;
      }
    }
    return false;
  }
};

}  // namespace

bool pvk::ocr::readLineBlocks(AssemblyLine& line, unsigned first, unsigned end) {
  BlockReader reader(line);
  for (unsigned p = first; p < end && !line.closed; ++p) {
    if (pvk::core::stopRequested()) return false;
    const unsigned b = stblk[p];
    if (b == 0 || b >= kBlockSlots || tblk[b].top == 0) continue;
    if (blockW(b) < minW && blockH(b) < minH) continue;
    reader.process(b, 0, 0, Penalty::None);
  }
  return true;
}
