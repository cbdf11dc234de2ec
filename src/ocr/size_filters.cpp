// Per-font clean-up of a finished reading: characters whose box is out of proportion with the
// average box become unread or go (or, on OCR-B lines, lose their confidence), OCR-B zeros and
// letters O are told apart by height, and a tail of isolated characters (stamp debris) is dropped.
#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>
#include <vector>

#include "ocr/ocr.h"

using namespace pvk::ocr;

namespace {

int widthOf(const ChInfo& b) { return std::max(0, b.right - b.left); }
int heightOf(const ChInfo& b) { return std::max(0, b.bottom - b.top); }
bool isLetter(char c) { return std::isalpha(static_cast<unsigned char>(c)) != 0; }

struct Bounds {
  int wLo, wHi, hLo, hHi;
  bool widthOut(int w) const { return w < wLo || w > wHi; }
  bool heightOut(int h) const { return h < hLo || h > hHi; }
};

// Factors of the bounds over the average width and height: low and high, each num / den.
struct BoundFactors {
  int wLoNum, wLoDen, wHiNum, wHiDen, hLoNum, hLoDen, hHiNum, hHiDen;
};

constexpr BoundFactors kMicroperforated{4, 5, 7, 5, 6, 7, 9, 7};
constexpr BoundFactors kPrinted{1, 5, 8, 5, 5, 7, 9, 7};

// The bounds from the average box of the confident characters, narrowed by the caller's limits;
// false (and the reading emptied) with fewer than two such characters.
bool sizeBounds(char* text, const char* conf, const ChInfo* info, int& n, bool wideOne, const BoundFactors& f,
                int minW, int maxW, int minH, int maxH, Bounds& b) {
  int k = 0;
  long wsum = 0, hsum = 0;
  for (int i = 0; i < n; ++i) {
    const char c = text[i];
    if (!(isDigit(c) || isLetter(c) || c == '?') || conf[i] <= 30) continue;
    int w = widthOf(info[i]);
    if (c == 'I' || (wideOne && c == '1')) w = w * 11 / 6;
    wsum += w;
    hsum += heightOf(info[i]);
    ++k;
  }
  if (k < 2) {
    n = 0;
    text[0] = '\0';
    return false;
  }
  const long aw1 = wsum / k, ah1 = hsum / k;
  b = {static_cast<int>(f.wLoNum * aw1 / f.wLoDen), static_cast<int>(f.wHiNum * aw1 / f.wHiDen),
       static_cast<int>(f.hLoNum * ah1 / f.hLoDen), static_cast<int>(f.hHiNum * ah1 / f.hHiDen)};
  if (minW > 0 && b.wLo < minW) b.wLo = minW;
  if (maxW > 0 && b.wHi > maxW) b.wHi = maxW;
  if (minH > 0 && b.hLo < minH) b.hLo = minH;
  if (maxH > 0 && b.hHi > maxH) b.hHi = maxH;
  return true;
}

bool valid(const char* text, const char* conf, const ChInfo* info) {
  return text != nullptr && conf != nullptr && info != nullptr;
}

void makeUnread(char* text, char* conf, int i) {
  text[i] = '?';
  conf[i] = 1;
}

}  // namespace

void PulisciMicroperforati(char* text, char* conf, ChInfo* info, int& n, int minW, int maxW, int minH, int maxH) {
  Bounds b{};
  if (!valid(text, conf, info) || !sizeBounds(text, conf, info, n, false, kMicroperforated, minW, maxW, minH, maxH, b))
    return;
  for (int i = 0; i < n; ++i) {
    const char c = text[i];
    if (c == ' ' || c == '?' || c == '-' || c == '\'') continue;
    const int w = c == 'I' ? widthOf(info[i]) * 11 / 6 : widthOf(info[i]);
    // A slash or a star of holes spans five rows of the seven: measured as a full-height
    // character. The star stands a little taller than the slash (its holes reach the rows' edges),
    // so it takes the plain ratio; with the slash's it outgrows the 240-dpi ceiling.
    const int h = c == '/' ? heightOf(info[i]) * 34 / 23 : c == '*' ? heightOf(info[i]) * 7 / 5 : heightOf(info[i]);
    if (b.widthOut(w) || b.heightOut(h)) makeUnread(text, conf, i);
  }
  if (strnlen(text, static_cast<size_t>(n)) <= 10) return;
  for (int i = 0; i < n;) {
    if (text[i] == '?' && (b.widthOut(widthOf(info[i])) || b.heightOut(heightOf(info[i]))))
      RimuoviCarattere(text, conf, info, i, n);
    else
      ++i;
  }
}

void PulisciFontOCRB(char* text, char* conf, ChInfo* info, int& n, int minW, int maxW, int minH, int maxH) {
  Bounds b{};
  if (!valid(text, conf, info) || !sizeBounds(text, conf, info, n, true, kPrinted, minW, maxW, minH, maxH, b))
    return;
  for (int i = 0; i < n;) {
    const char c = text[i];
    const int w = widthOf(info[i]), h = heightOf(info[i]);
    if (isDigit(c) || isLetter(c)) {
      const int wm = c == '1' || c == 'I' ? w * 9 / 6 : w;
      if (b.widthOut(wm) || b.heightOut(h)) makeUnread(text, conf, i);
    } else if (c == '?') {
      const bool small = h < b.hLo || w < b.wLo;
      const bool leftFree = i == 0 || isBlankOrUnread(text[i - 1]);
      const bool rightFree = i + 1 >= n || isBlankOrUnread(text[i + 1]);
      if (small || ((h > b.hHi || w > b.wHi) && leftFree && rightFree)) {
        RimuoviCarattere(text, conf, info, i, n);
        continue;
      }
    }
    ++i;
  }
  while (n > 0 && text[n - 1] == ' ') RimuoviCarattere(text, conf, info, n - 1, n);
  while (n > 0 && text[0] == ' ') RimuoviCarattere(text, conf, info, 0, n);
  for (int i = 1; i < n;) {
    if (text[i] == ' ' && text[i - 1] == ' ') RimuoviCarattere(text, conf, info, i, n);
    else ++i;
  }
}

void PulisciFontFixSize(char* text, char* conf, ChInfo* info, int& n, int minW, int maxW, int minH, int maxH) {
  Bounds b{};
  if (!valid(text, conf, info) || !sizeBounds(text, conf, info, n, false, kPrinted, minW, maxW, minH, maxH, b))
    return;
  for (int i = 0; i < n; ++i) {
    const char c = text[i];
    const int w = widthOf(info[i]), h = heightOf(info[i]);
    if (c == ' ') continue;
    if (c != '?') {
      if (b.widthOut(w) || b.heightOut(h)) makeUnread(text, conf, i);
    } else if (h < b.hLo || w < b.wLo) {
      text[i] = ' ';
    }
  }
}

void pvk::ocr::cleanCmc7Sizes(char* text, char* conf, ChInfo* info, int& n, float scale) {
  // Fixed 300-dpi floors would turn every character of a 200 or 240 dpi zone, and of a line
  // printed a little narrow, into '?'; like every other size of the engine they follow its scale.
  const auto at = [scale](int px) { return static_cast<int>(static_cast<float>(px) * scale); };
  PulisciFontFixSize(text, conf, info, n, at(25), at(38), at(26), 0);
}

namespace {

// The OCR-B faces we read set their digits about 9 % taller than their capitals, and the round
// zero and letter O 1 % and 3 % above the flat ones (their overshoot): zero and O differ by
// their height alone.
constexpr double kDigitOverCapital = 1.087;
constexpr double kOOverCapital = 1.027;
constexpr double kZeroOverDigit = 1.012;
// The confidence of a zero or O that the heights cannot settle: never one to trust.
constexpr char kUnsettled = 40;
// The most a zero or O the heights turned keeps.
constexpr char kTurned = 49;
// A glyph's measured height moves by up to a pixel with the ink spread and the sampling phase,
// so a height closer than this to the threshold proves nothing, whatever the type size.
constexpr double kSureMargin = 0.75;
// Closer than the sure margin, a height this far from the threshold still tells which way the
// character leans; the reading takes that side, under 50.
constexpr double kLeanMargin = 0.5;
// What an unsettled entry is still open to: not one, or none yet.
constexpr char kSettled = 0, kOpen = 1;

struct MeanHeight {
  long sum = 0;
  int k = 0;
  void add(int h) { sum += h, ++k; }
  double mean() const { return k > 0 ? static_cast<double>(sum) / k : 0; }
};

// The heights of a line that part its zeros from its letters O: a zero stands above the threshold.
struct ZeroOHeights {
  double t = 0, margin = 0;
  bool apart = false;
};

ZeroOHeights zeroOHeights(const char* text, const ChInfo* info, int n) {
  MeanHeight digits, capitals;
  for (int i = 0; i < n; ++i) {
    const char c = text[i];
    if (c >= '1' && c <= '9') digits.add(heightOf(info[i]));
    else if (c >= 'B' && c <= 'Z' && c != 'O') capitals.add(heightOf(info[i]));
  }
  // A line without one of the two takes its height from the other; a line whose digits do not
  // stand taller than its capitals cannot tell the two apart.
  double hd = digits.mean(), hl = capitals.mean();
  if (digits.k == 0) hd = hl * kDigitOverCapital;
  if (capitals.k == 0) hl = hd / kDigitOverCapital;
  // A height settles the character only when it stands clear of the threshold by a fifth of the
  // gap, and never by less than the sure margin.
  return {(hl * kOOverCapital + hd * kZeroOverDigit) / 2, std::max(kSureMargin, (hd - hl) / 5),
          hl > 0 && hd - hl >= 1};
}

// 'O' or '0' for the kind of character around entry i in its word (letters only, digits only,
// or, when asked, the nearest known neighbours on both sides agreeing), '\0' when the word does
// not say.
// Entries still open count for neither kind.
char kindAround(const char* text, const char* open, int n, int i, bool neighbours) {
  int a = i, b = i;
  while (a > 0 && text[a - 1] != ' ') --a;
  while (b + 1 < n && text[b + 1] != ' ') ++b;
  const auto kindAt = [&](int j) -> char {
    if (open[j] != kSettled) return 0;
    if (isDigit(text[j])) return '0';
    return isLetter(text[j]) ? 'O' : 0;
  };
  bool letters = false, digits = false;
  char left = 0, right = 0;
  for (int j = a; j <= b; ++j) {
    const char k = kindAt(j);
    letters = letters || k == 'O';
    digits = digits || k == '0';
    if (k != 0 && j < i) left = k;
    if (k != 0 && j > i && right == 0) right = k;
  }
  if (letters != digits) return letters ? 'O' : '0';
  return neighbours && left == right ? left : 0;
}

bool roundCapital(char c) { return c != '\0' && std::strchr("CGJQSU", c) != nullptr; }

// The heights a zero or O is judged against inside its line: the lowest and highest of the zeros
// and letters O, the highest round capital (the letter O's own overshoot) and the middle figure
// but the one (every figure stands above the letter O).
struct ZeroOPeers {
  int lo = 1 << 30, hi = -1, roundCap = -1, roundCaps = 0, midFigure = -1;
  char side(int h, double t) const {
    if (lo < t && t < hi && 2 * h != lo + hi) return 2 * h < lo + hi ? 'O' : '0';
    if (roundCap >= 0 && h >= roundCap + 1) return '0';
    if (midFigure >= 0 && h + 1 <= midFigure) return 'O';
    return kOpen;
  }
  // On a line whose figures measure no taller than its capitals (a lone 7 loses its thin foot),
  // the round capitals still stand as high as a letter O: a ring a pixel above the tallest of two
  // or more of them, and as tall as the line's tallest ring, is a zero whatever letters its word
  // holds (a ring under the line's tallest may be the O beside them); one nothing else settles
  // and no taller than they is an O.
  bool aboveRoundCapitals(int h) const { return roundCaps >= 2 && h >= roundCap + 1 && h >= hi; }
  bool amongRoundCapitals(int h) const { return roundCaps >= 2 && h <= roundCap; }
};

ZeroOPeers zeroOPeers(const char* text, const ChInfo* info, int n) {
  ZeroOPeers p;
  std::vector<int> figures;
  for (int i = 0; i < n; ++i) {
    const char c = text[i];
    const int h = heightOf(info[i]);
    if (info[i].zeroLetterO && (c == '0' || c == 'O')) p.lo = std::min(p.lo, h), p.hi = std::max(p.hi, h);
    else if (roundCapital(c)) p.roundCap = std::max(p.roundCap, h), ++p.roundCaps;
    else if (c >= '2' && c <= '9') figures.push_back(h);
  }
  if (!figures.empty()) {
    std::nth_element(figures.begin(), figures.begin() + figures.size() / 2, figures.end());
    p.midFigure = figures[figures.size() / 2];
  }
  return p;
}

// Per entry: kSettled, kOpen, or the side a height short of the sure margin leans to. A height
// clear of the threshold settles its entry; one it turns comes out under 50 (a Q whose tail is
// lost stands as low as an O).
std::vector<char> settleByLine(char* text, char* conf, const ChInfo* info, int n, const ZeroOHeights& z) {
  std::vector<char> open(static_cast<size_t>(n), kSettled);
  for (int i = 0; i < n; ++i) {
    if (!info[i].zeroLetterO || (text[i] != '0' && text[i] != 'O')) continue;
    const double d = heightOf(info[i]) - z.t;
    if (!z.apart || std::fabs(d) < z.margin) {
      conf[i] = std::min(conf[i], kUnsettled);
      open[static_cast<size_t>(i)] = z.apart && std::fabs(d) >= kLeanMargin ? (d > 0 ? '0' : 'O') : kOpen;
      continue;
    }
    const char c = d > 0 ? '0' : 'O';
    if (c == text[i]) continue;
    text[i] = c;
    conf[i] = std::min<char>(halvedConf(conf[i]), kTurned);
  }
  return open;
}

// The side every decided zero or O of height h in the line takes, kOpen when none is decided or
// they disagree.
char sideOfHeight(const char* text, const ChInfo* info, const std::vector<char>& side, int h) {
  char found = kOpen;
  for (size_t i = 0; i < side.size(); ++i) {
    const int at = static_cast<int>(i);
    if (!info[at].zeroLetterO || heightOf(info[at]) != h) continue;
    const char s = side[i] == kSettled ? text[at] : side[i];
    if (s != '0' && s != 'O') continue;
    if (found != kOpen && found != s) return kOpen;
    found = s;
  }
  return found;
}

bool isRing(const char* text, const ChInfo* info, int i) {
  return info[i].zeroLetterO != 0 && (text[i] == '0' || text[i] == 'O');
}

// A word made of zeros and letters O alone is of one kind (OOOOOOOO, 000): its rings the heights
// left open take the side most of its rings take, so that one ring a pixel taller or lower than
// its like does not turn alone. A tie moves nothing.
void ringWordAgrees(const char* text, const ChInfo* info, int a, int b, const std::vector<char>& open,
                    std::vector<char>& side) {
  int zeros = 0, letters = 0, opened = 0;
  for (int j = a; j < b; ++j) {
    if (!isRing(text, info, j)) return;
    const auto k = static_cast<size_t>(j);
    const char s = open[k] == kSettled ? text[j] : side[k];
    opened += open[k] != kSettled;
    zeros += s == '0';
    letters += s == 'O';
  }
  if (b - a < 2 || opened == 0 || zeros == letters) return;
  for (int j = a; j < b; ++j)
    if (open[static_cast<size_t>(j)] != kSettled) side[static_cast<size_t>(j)] = zeros > letters ? '0' : 'O';
}

void ringWordsAgree(const char* text, const ChInfo* info, int n, const std::vector<char>& open,
                    std::vector<char>& side) {
  for (int a = 0; a < n;) {
    int b = a;
    while (b < n && text[b] != ' ') ++b;
    ringWordAgrees(text, info, a, b, open, side);
    a = b + 1;
  }
}

}  // namespace

void verificaO0_OCRB(char* text, char* conf, ChInfo* info, int n) {
  if (!valid(text, conf, info) || n < 3 || !IsOCRBFontAlfaNum(MyOcr.currentFont)) return;
  const ZeroOHeights z = zeroOHeights(text, info, n);
  const std::vector<char> open = settleByLine(text, conf, info, n, z);
  const ZeroOPeers peers = zeroOPeers(text, info, n);
  // What the heights against the line leave open, a word of letters only or figures only says
  // (on a line that cannot part figures from capitals, a ring above its round capitals first);
  // else the decided zeros and letters O of the same height; on a line whose figures stand above
  // its capitals, the line's own zeros and letters O (two heights among them, either side of the
  // threshold), the round capitals and the figures; else the two neighbours in the word when
  // they agree; else, on a line that cannot part figures from capitals, a ring among its round
  // capitals. A word of rings alone then takes its rings' majority. Under 50 all the same.
  std::vector<char> side(open);
  for (size_t i = 0; i < side.size(); ++i) {
    if (open[i] != kOpen) continue;
    const int at = static_cast<int>(i);
    const char kind = !z.apart && peers.aboveRoundCapitals(heightOf(info[at]))
                          ? '0'
                          : kindAround(text, open.data(), n, at, false);
    side[i] = kind != 0 ? kind : kOpen;
  }
  const std::vector<char> decided(side);
  for (size_t i = 0; i < side.size(); ++i) {
    if (side[i] != kOpen) continue;
    const int at = static_cast<int>(i);
    side[i] = sideOfHeight(text, info, decided, heightOf(info[at]));
    if (side[i] == kOpen && z.apart) side[i] = peers.side(heightOf(info[at]), z.t);
    if (side[i] == kOpen) side[i] = kindAround(text, open.data(), n, at, true);
    const bool unsettled = side[i] != '0' && side[i] != 'O';
    if (unsettled && !z.apart && peers.amongRoundCapitals(heightOf(info[at]))) side[i] = 'O';
  }
  ringWordsAgree(text, info, n, open, side);
  for (size_t i = 0; i < side.size(); ++i)
    if (side[i] == '0' || side[i] == 'O') text[i] = side[i];
}

namespace {

// An OCR-B capital or figure narrower than 5/8 of the line's mean box, or lower than 4/5 of it,
// is a fragment of one (the stem and foot of a U taken for an L, a J's hook for a U): the face has
// no such letter but I and the one.
bool ocrbFragment(char c, int w, int h, double aw, double ah) {
  if (!(isDigit(c) || (c >= 'A' && c <= 'Z')) || c == 'I' || c == '1') return false;
  return w * 8 < aw * 5 || h * 5 < ah * 4;
}

}  // namespace

void pvk::ocr::capOcrbFragments(const char* text, char* conf, const ChInfo* info, int n) {
  if (!valid(text, conf, info) || n < 3 || !IsOCRBFontAlfaNum(MyOcr.currentFont)) return;
  MeanHeight widths, heights;
  for (int i = 0; i < n; ++i) {
    const char c = text[i];
    if (!(isDigit(c) || isLetter(c) || c == '?') || conf[i] <= 30) continue;
    const int w = widthOf(info[i]);
    widths.add(c == 'I' || c == '1' ? w * 11 / 6 : w);
    heights.add(heightOf(info[i]));
  }
  if (widths.k < 3) return;
  for (int i = 0; i < n; ++i)
    if (ocrbFragment(text[i], widthOf(info[i]), heightOf(info[i]), widths.mean(), heights.mean()))
      conf[i] = std::min(conf[i], kUnsettled);
}

void RimuoviTimbri(int pos, char* text, char* conf, ChInfo* info, int& n) {
  if (text == nullptr || pos < 0 || n <= pos) return;
  if (pos < n - 1) {
    for (int i = pos; i < n; ++i) {
      if (isBlankOrUnread(text[i])) continue;
      if (i > pos && !isBlankOrUnread(text[i - 1])) return;
      if (i < n - 1 && !isBlankOrUnread(text[i + 1])) return;
    }
  }
  while (n > pos) RimuoviCarattere(text, conf, info, n - 1, n);
}
