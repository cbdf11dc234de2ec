// Line assembly: the segmented band is read line by line into the three arrays of a reading.
// Each line gets its size metrics and valid set, each block is scaled and recognised, weak or
// too wide blocks are split and read again, and the line is judged as a whole before it is
// closed with CR LF or dropped.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/records.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace {

constexpr char kCR = 13;
constexpr char kLF = 10;
constexpr char kSure = 'd';  // the confidence written under CR and LF

// The reading being written.
struct Out {
  char* text;
  char* conf;
  ChInfo* info;
  int maxChars;
  bool end = false;  // stop request, no room left
};

// The line being built: its entries start at base.
struct Line {
  Out& o;
  unsigned base;
  unsigned n = 0;
  unsigned nRead = 0;
  bool closed = false;  // AggiungiCarattereOCR asked to end the line
  std::vector<pvk::ocr::HeldStar> held;  // an amount's stars set small, placed at the line's end
  char* text() const { return o.text + base; }
  char* conf() const { return o.conf + base; }
  ChInfo* info() const { return o.info + base; }
};

// CR LF at the end of the entries when two more fit (one entry stays for the terminator).
bool appendCrLf(Out& o, const ChInfo& model) {
  if (static_cast<int>(nCharOcr) + 2 >= o.maxChars) return false;
  for (char c : {kCR, kLF}) {
    o.text[nCharOcr] = c;
    o.conf[nCharOcr] = kSure;
    o.info[nCharOcr] = model;
    ++nCharOcr;
  }
  return true;
}

struct SavedSets {
  uint8_t* valid;
  int offset;  // which working set ValidSet pointed into, -1 none
  CharTable sets[4];
};

CharTable* workingSets[4] = {&NumSet, &AlfaSet, &AlfaNumSet, &TmpSet};

SavedSets saveSets() {
  SavedSets s{ValidSet, -1, {NumSet, AlfaSet, AlfaNumSet, TmpSet}};
  for (int i = 0; i < 4; ++i)
    if (ValidSet == workingSets[i]->data()) s.offset = i;
  return s;
}

void restoreSets(const SavedSets& s) {
  for (int i = 0; i < 4; ++i) *workingSets[i] = s.sets[i];
  ValidSet = s.offset >= 0 ? workingSets[s.offset]->data() : s.valid;
}

uint32_t blockW(unsigned b) { return tblk[b].right > tblk[b].left ? tblk[b].right - tblk[b].left : 0; }
uint32_t blockH(unsigned b) { return tblk[b].bottom > tblk[b].top ? tblk[b].bottom - tblk[b].top : 0; }

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
  explicit BlockReader(Line& line) : l_(line) {}

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
  Line& l_;

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

// ---- The line as a whole ---------------------------------------------------------------------

// A star under a star's size: held back while the line is read, it is placed only beside the
// figures and does not make the line's characters.
bool smallStar(const Line& l, unsigned i) {
  const ChInfo& e = l.info()[i];
  return l.text()[i] == '*' && pvk::ocr::underStarFloor(e.right - e.left, e.bottom - e.top);
}

void placeHeldStars(Line& l) {
  const int free = l.o.maxChars - static_cast<int>(nCharOcr) - 3;  // CR LF and the terminator
  if (l.held.empty() || free <= 0) return;
  const unsigned added = pvk::ocr::placeHeldStars(l.text(), l.conf(), l.info(), l.n, static_cast<unsigned>(free),
                                                  l.held.data(), static_cast<unsigned>(l.held.size()));
  l.nRead += added;
  nCharOcr = l.base + l.n;
}

uint32_t quarterOr(uint32_t nominal) {
  if (nominal == 0) return 6;
  if (nominal < 4) return 1;
  return nominal / 4;
}

// Fonts 944 and 945: a payee line is made of characters of a plausible size (300-dpi pixels
// scaled by the engine scale: an 8-point capital at 200 dpi stands 15 rows).
bool payeeSized(const Line& l) {
  uint32_t sw = 0, sh = 0, k = 0;
  for (unsigned i = 0; i < l.n; ++i) {
    const auto c = static_cast<unsigned char>(l.text()[i]);
    if (!(IsDigit(static_cast<char>(c)) || IsMaiuscolo[c] || (c == '*' && !smallStar(l, i)))) continue;
    const ChInfo& e = l.info()[i];
    sw += e.right > e.left ? e.right - e.left : 0;
    sh += e.bottom > e.top ? e.bottom - e.top : 0;
    ++k;
  }
  const float s = MyOcr.engineScale;
  return k > 0 && sh / k >= static_cast<uint32_t>(16 * s) && sw / k > static_cast<uint32_t>(9 * s);
}

// Characters read from a split block next to an unread one, and blocks on the band's edges.
void markDoubtful(Line& l) {
  char* t = l.text();
  char* cf = l.conf();
  ChInfo* in = l.info();
  for (unsigned i = 0; i < l.n; ++i) {
    if (t[i] == 1) t[i] = ' ';
    if (in[i].split == 0) continue;
    auto c = static_cast<unsigned char>(cf[i]);
    if (i > 0 && t[i - 1] == '?') c = static_cast<unsigned char>(std::max(1, c / 2));
    if (i + 1 < l.n && t[i + 1] == '?') c = static_cast<unsigned char>(std::max(1, c / 2));
    cf[i] = static_cast<char>(c);
  }
  if (l.n == 0) return;
  if (in[0].left < 4) {
    t[0] = '?';
    cf[0] = 1;
  }
  if (in[l.n - 1].right + 5 >= width) {
    t[l.n - 1] = '?';
    cf[l.n - 1] = 1;
  }
}

// The line's score and mean character size decide whether it is text at all.
bool lineScoreOk(Line& l) {
  char* t = l.text();
  ChInfo* in = l.info();
  int score = 0;
  uint32_t sw = 0, sh = 0, counted = 0, nonBlank = 0;
  for (unsigned i = 0; i < l.n; ++i) {
    if (t[i] == ' ') continue;
    ++nonBlank;
    if (t[i] == '?') {
      score = std::max(0, score - 10);
      continue;
    }
    const ChInfo& e = in[i];
    if (e.right <= e.left || e.bottom <= e.top) {
      t[i] = '?';
      continue;
    }
    const auto c = static_cast<unsigned char>(l.conf()[i]);
    score += t[i] == '1' ? c / 2 : c;
    if (std::strchr(",-./\\'", t[i]) != nullptr) continue;
    sw += e.right - e.left;
    sh += e.bottom - e.top;
    ++counted;
  }
  if (counted == 0 || nonBlank == 0) return false;
  if (sw / counted < quarterOr(MyOcr.charWidth) || sh / counted < quarterOr(MyOcr.charHeight)) return false;
  const int m = MyOcr.minLineConf;
  const int least = 2 * m <= 29 ? 10 : std::max(10, 2 * m / 3);
  const int mean = score / static_cast<int>(nonBlank);
  if (mean < least) return false;
  return !(counted == 1 && mean < m);
}

// Isolated characters at the ends of a line: a lone entry that a blank separates from the rest
// goes with the blank when it is no wider than one character.
void removeIsolatedEnds(Line& l) {
  const auto limit = static_cast<uint32_t>(1.2 * aw);
  auto narrow = [&](unsigned i) { return static_cast<uint32_t>(l.info()[i].right - l.info()[i].left) < limit; };
  bool changed = true;
  while (changed && l.n > 2) {
    changed = false;
    if (l.text()[1] == ' ' && narrow(0)) {
      rimuovi_ocr_char(l.text(), l.conf(), l.info(), 0, l.n);
      rimuovi_ocr_char(l.text(), l.conf(), l.info(), 0, l.n);
      changed = true;
    } else if (l.n > 2 && l.text()[l.n - 2] == ' ' && narrow(l.n - 1)) {
      rimuovi_ocr_char(l.text(), l.conf(), l.info(), l.n - 1, l.n);
      rimuovi_ocr_char(l.text(), l.conf(), l.info(), l.n - 1, l.n);
      changed = true;
    }
  }
  while (l.n > 0 && l.text()[0] == ' ') rimuovi_ocr_char(l.text(), l.conf(), l.info(), 0, l.n);
  while (l.n > 0 && l.text()[l.n - 1] == ' ') rimuovi_ocr_char(l.text(), l.conf(), l.info(), l.n - 1, l.n);
  nCharOcr = l.base + l.n;
}

void dropLine(Line& l) {
  std::memset(l.text(), 0, l.n);
  std::memset(l.conf(), 0, l.n);
  l.n = 0;
  nCharOcr = l.base;
  last_j2 = 0;
}

// The closing CR LF of a line holding a character; false when there is no room for it.
bool closeLine(Line& l) {
  ChInfo model{};
  bool real = false;
  uint16_t top = UINT16_MAX, bottom = 0;
  for (unsigned i = 0; i < l.n; ++i) {
    const char c = l.text()[i];
    if (c == '?' || c == ' ') continue;
    real = true;
    top = std::min(top, l.info()[i].top);
    bottom = std::max(bottom, l.info()[i].bottom);
  }
  if (!real) return true;
  ++nLineeLetteOCR;
  model.top = top;
  model.bottom = bottom;
  if (!appendCrLf(l.o, model)) return false;
  last_j2 = 0;
  return true;
}

// The line end: false when the reading ends here.
bool finishLine(Line& l) {
  if (pvk::core::stopRequested()) return false;
  unsigned unread = 0;
  for (unsigned i = 0; i < l.n; ++i) unread += l.text()[i] == '?';
  if (reject_nchar != 0 && unread > reject_nchar) {
    dropLine(l);
    return true;
  }
  if (l.n == 0) return true;
  const short font = MyOcr.currentFont;
  if (font == 944) placeHeldStars(l);
  if ((font == 944 || font == 945) && !payeeSized(l)) {
    dropLine(l);
    return true;
  }
  if (MyOcr.singleChar == 0) {
    markDoubtful(l);
    if (!lineScoreOk(l)) {
      dropLine(l);
      return true;
    }
    if (removeIsolated) {
      if (l.n < 2) {
        dropLine(l);
        return true;
      }
      removeIsolatedEnds(l);
    }
  }
  return closeLine(l);
}

// ---- One line --------------------------------------------------------------------------------

bool lineHasBlocks(unsigned first, unsigned end) {
  for (unsigned p = first; p < end && p < kBlockSlots; ++p)
    if (tblk[stblk[p]].top != 0) return true;
  return false;
}

// The line's sizes: false when it is too small or too wide to hold text, or (with valid false)
// when the font has no valid set.
bool lineSizes(unsigned first, unsigned end, bool& valid) {
  const uint32_t H = MyOcr.charHeight, W = MyOcr.charWidth;
  uint16_t mw = static_cast<uint16_t>(W), mh = static_cast<uint16_t>(H);
  average_blocks(first, end, mw, mh);
  if (mh < std::max<uint32_t>(H / 4, 4) || mw < std::max<uint32_t>(W / 4, 4)) return false;
  valid = DefineValidSet() && ValidSet != nullptr;
  if (!valid) return false;
  SogliaOCR = 512;
  SogliaOCR_2 = 409;
  JoinBlocks(mw, mh, first, end);
  average_blocks(first, end, mw, mh);
  const auto widest = std::max<uint32_t>(static_cast<uint32_t>(50 * MyOcr.engineScale), width / 2u);
  if (mh < H / 3 || mw < (W > 11 ? W / 3 : 4) || mw > widest) return false;
  if (MyOcr.fixedSize != 0) {
    aw = static_cast<uint16_t>(W);
    ah = static_cast<uint16_t>(H);
  } else {
    aw = mw;
    ah = mh;
    if (MyOcr.currentFont == 944) {
      // A line height out of the amount's sizes is no measure of it; the top reaches the
      // tallest the set-up admits (a 14-point amount at 300 dpi stands 37 rows: held to the
      // nominal 25, its digits were taller than any block read and only cut parts were read).
      const uint32_t tallest = std::max<uint32_t>(36, MyOcr.maxCharHeight);
      if (mh < 20 || mh > tallest) ah = static_cast<uint16_t>(H);
      if (mw < 10 || mw > 26) aw = static_cast<uint16_t>(W);
    }
  }
  pvk::ocr::setLineMetrics();
  return true;
}

// The body of the line's characters, where its marks are placed from: the median top and bottom
// of its blocks at least half the line high (a speck or a comma below would stretch the line).
void setLineBody(unsigned first, unsigned end, uint32_t lineHeight) {
  std::vector<uint32_t> tops, bottoms;
  for (unsigned p = first; p < end; ++p) {
    const unsigned b = stblk[p];
    if (b == 0 || b >= kBlockSlots || tblk[b].top == 0 || 2 * blockH(b) < lineHeight) continue;
    tops.push_back(tblk[b].top);
    bottoms.push_back(tblk[b].bottom);
  }
  if (tops.empty()) {
    pvk::ocr::setLinePlace(0, 0);
    return;
  }
  std::nth_element(tops.begin(), tops.begin() + tops.size() / 2, tops.end());
  std::nth_element(bottoms.begin(), bottoms.begin() + bottoms.size() / 2, bottoms.end());
  const uint32_t top = tops[tops.size() / 2], bottom = bottoms[bottoms.size() / 2];
  pvk::ocr::setLinePlace(top, bottom > top ? bottom - top : 0);
}

// Reads line l of the line table; false when the reading ends (stop, no room, no valid set).
bool readLine(Out& o, uint32_t l, bool& noValidSet) {
  const LineRec& rec = tln[l];
  const unsigned first = rec.first;
  const unsigned end = std::min<unsigned>(tln[l + 1].first, kBlockSlots);
  const uint32_t h = rec.bottom > rec.top ? rec.bottom - rec.top : 0;
  const uint32_t H = MyOcr.charHeight;
  reject_nchar_cnt = 0;
  last_j2 = 0;
  last_c = 0;
  Lettera = Numero = 0;
  cumulaConf = 0;
  Maiuscolo = 1;
  const uint32_t lowest = MyOcr.currentFont == 202 ? H / 8 : (H >= 32 ? H / 4 : 8);
  if (h < lowest) return true;
  if (nCharOcr > 0 && o.text[nCharOcr - 1] != kLF) {
    const uint32_t ref = ah > 0 ? ah : 1;
    if ((ref + 2 * h) / (2 * ref) >= 1) {
      ChInfo model{};
      model.right = o.info[nCharOcr - 1].right;
      model.top = o.info[nCharOcr - 1].top;
      if (!appendCrLf(o, model)) return false;
      last_j2 = 0;
    }
  }
  bool valid = true;
  if (!lineSizes(first, end, valid)) {
    noValidSet = !valid;
    return valid;
  }
  pvk::ocr::lineAttributes(first, end, rec.top, h);
  setLineBody(first, end, h);
  if (!lineHasBlocks(first, end)) return true;

  Line line{o, nCharOcr, 0, 0, false, {}};
  BlockReader reader(line);
  for (unsigned p = first; p < end && !line.closed; ++p) {
    if (pvk::core::stopRequested()) return false;
    const unsigned b = stblk[p];
    if (b == 0 || b >= kBlockSlots || tblk[b].top == 0) continue;
    if (blockW(b) < minW && blockH(b) < minH) continue;
    reader.process(b, 0, 0, Penalty::None);
  }
  return finishLine(line);
}

}  // namespace

uint16_t convert_to_ascii(char* text, char* conf, ChInfo* info, int maxChars) {
  if (text == nullptr || conf == nullptr || info == nullptr || maxChars < 1) return 0;
  const SavedSets saved = saveSets();
  std::memset(text, 0, static_cast<size_t>(maxChars));
  std::memset(conf, 0, static_cast<size_t>(maxChars));
  nCharOcr = 0;
  Out o{text, conf, info, maxChars};
  bool noValidSet = false;
  for (uint32_t l = 0; l < num_of_lines && l + 1 < kLineRecords; ++l) {
    if (!readLine(o, l, noValidSet)) break;
  }
  if (noValidSet) {
    WriteTrace("err - ", "Missing OCR valid set", false);
    restoreSets(saved);
    return 65535;
  }
  unsigned count = nCharOcr;
  // The closing CR LF of the last line goes; two real characters never do.
  if (count >= 3 && text[count - 2] == kCR && text[count - 1] == kLF) count -= 2;
  for (unsigned i = 0; i < count; ++i) info[i].agreement = 1;
  text[count] = 0;
  conf[count] = 0;
  nCharOcr = count;
  restoreSets(saved);
  return static_cast<uint16_t>(count);
}

short ocr_read(char* text, char* conf, ChInfo* info, int maxChars, unsigned short nLines) {
  if (text == nullptr || conf == nullptr || info == nullptr || maxChars < 1) {
    WriteTrace("err - ", "ocr_read with invalid buffers", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return -1;
  }
  std::memset(text, 0, static_cast<size_t>(maxChars));
  std::memset(conf, 0, static_cast<size_t>(maxChars));
  std::memset(static_cast<void*>(info), 0, sizeof(ChInfo) * static_cast<size_t>(maxChars));
  std::memset(white_bbk, 0, sizeof white_bbk);
  std::memset(black_bbk, 0xFF, sizeof black_bbk);
  nLineeLetteOCR = nLines;
  add_blank_horiz = 1;
  if (lastblock < 2 && MyOcr.singleChar == 0) {
    WriteTrace("war - ", "not single char", false);
    return 0;
  }
  if (nDBLoaded < 1) {
    WriteTrace("err - ", "no database char loaded", false);
    MyDev.lastResult = PVK_ERR_OCR;
    return -1;
  }
  return static_cast<short>(convert_to_ascii(text, conf, info, maxChars));
}
