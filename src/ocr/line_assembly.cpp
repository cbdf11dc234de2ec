// Line assembly: the segmented band is read line by line into the three arrays of a reading.
// Each line gets its size metrics and valid set, its blocks are read one by one, and the line
// is judged as a whole before it is closed with CR LF or dropped.
#include <algorithm>
#include <cstring>
#include <vector>

#include "core/records.h"
#include "core/trace.h"
#include "ocr/ocr.h"

using pvk::ocr::AssemblyLine;
using pvk::ocr::AssemblyOut;
using pvk::ocr::blockH;

namespace {

constexpr char kCR = 13;
constexpr char kLF = 10;
constexpr char kSure = 'd';  // the confidence written under CR and LF

// CR LF at the end of the entries when two more fit (one entry stays for the terminator).
bool appendCrLf(AssemblyOut& o, const ChInfo& model) {
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

// ---- The line as a whole ---------------------------------------------------------------------

// A star under a star's size: held back while the line is read, it is placed only beside the
// figures and does not make the line's characters.
bool smallStar(const AssemblyLine& l, unsigned i) {
  const ChInfo& e = l.info()[i];
  return l.text()[i] == '*' && pvk::ocr::underStarFloor(e.right - e.left, e.bottom - e.top);
}

void placeHeldStars(AssemblyLine& l) {
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
bool payeeSized(const AssemblyLine& l) {
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
void markDoubtful(AssemblyLine& l) {
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
bool lineScoreOk(AssemblyLine& l) {
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
void removeIsolatedEnds(AssemblyLine& l) {
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

void dropLine(AssemblyLine& l) {
  std::memset(l.text(), 0, l.n);
  std::memset(l.conf(), 0, l.n);
  l.n = 0;
  nCharOcr = l.base;
  last_j2 = 0;
}

// The closing CR LF of a line holding a character; false when there is no room for it.
bool closeLine(AssemblyLine& l) {
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
bool finishLine(AssemblyLine& l) {
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
bool readLine(AssemblyOut& o, uint32_t l, bool& noValidSet) {
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

  AssemblyLine line{o, nCharOcr, 0, 0, false, {}};
  if (!pvk::ocr::readLineBlocks(line, first, end)) return false;
  return finishLine(line);
}

}  // namespace

uint16_t convert_to_ascii(char* text, char* conf, ChInfo* info, int maxChars) {
  if (text == nullptr || conf == nullptr || info == nullptr || maxChars < 1) return 0;
  const SavedSets saved = saveSets();
  std::memset(text, 0, static_cast<size_t>(maxChars));
  std::memset(conf, 0, static_cast<size_t>(maxChars));
  nCharOcr = 0;
  AssemblyOut o{text, conf, info, maxChars};
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
