// An amount's stars set small: read under a star's size, they are held back from the line and
// placed once it is read, only in the cells an amount prints its stars in, next to its figures.
#include <algorithm>
#include <cstdint>
#include <vector>

#include "ocr/ocr.h"

namespace pvk::ocr {

namespace {

uint32_t widthOf(const ChInfo& e) { return e.right > e.left ? e.right - e.left : 0u; }
uint32_t heightOf(const ChInfo& e) { return e.bottom > e.top ? e.bottom - e.top : 0u; }
uint32_t apart(uint32_t a, uint32_t b) { return a > b ? a - b : b - a; }

uint32_t median(std::vector<uint32_t>& v) {
  std::nth_element(v.begin(), v.begin() + static_cast<long>(v.size() / 2), v.end());
  return v[v.size() / 2];
}

// The figures of the line: its first and last digit, their median top, height and width.
struct Figures {
  unsigned first = 0, last = 0;
  uint32_t top = 0, height = 0, width = 0;
};

bool figuresOf(const char* text, const ChInfo* info, unsigned n, Figures& f) {
  std::vector<uint32_t> tops, heights, widths;
  for (unsigned i = 0; i < n; ++i) {
    if (!isDigit(text[i])) continue;
    if (tops.empty()) f.first = i;
    f.last = i;
    tops.push_back(info[i].top);
    heights.push_back(heightOf(info[i]));
    widths.push_back(widthOf(info[i]));
  }
  if (tops.empty()) return false;
  f.top = median(tops);
  f.height = median(heights);
  f.width = median(widths);
  return true;
}

// The cell of a star beside `inner`, its neighbour towards the figures: clear of it by no more
// than a figure's width, hanging from the figures' top, a quarter to two thirds of their height
// and no wider than a figure.
bool inStarCell(const ChInfo& s, const ChInfo& inner, bool before, const Figures& f) {
  if (before ? s.right > inner.left : s.left < inner.right) return false;
  const uint32_t gap = before ? inner.left - s.right : s.left - inner.right;
  const uint32_t h = heightOf(s);
  return gap <= f.width && 4 * h >= f.height && 3 * h <= 2 * f.height && widthOf(s) <= f.width &&
         4 * apart(s.top, f.top) <= f.height;
}

// Two stars of one line printed alike: height and width within a quarter of the larger, or a pixel.
bool alike(const ChInfo& a, const ChInfo& b) {
  const uint32_t ha = heightOf(a), hb = heightOf(b), wa = widthOf(a), wb = widthOf(b);
  return 4 * apart(ha, hb) <= std::max<uint32_t>(4, std::max(ha, hb)) &&
         4 * apart(wa, wb) <= std::max<uint32_t>(4, std::max(wa, wb));
}

// One end of the line: the stars read there and the held ones that continue them, outward.
struct End {
  bool before;
  std::vector<ChInfo> read;
  std::vector<HeldStar> placed;
};

// The held stars that continue the run of stars at one end, walking out from the line's last
// entry there while each stands in its cell.
void placeAtEnd(End& e, const ChInfo& outermost, const Figures& f, const HeldStar* held, unsigned count) {
  std::vector<HeldStar> out;
  for (unsigned k = 0; k < count; ++k)
    if (e.before ? held[k].box.right <= outermost.left : held[k].box.left >= outermost.right) out.push_back(held[k]);
  std::sort(out.begin(), out.end(), [&](const HeldStar& a, const HeldStar& b) {
    return e.before ? a.box.left > b.box.left : a.box.left < b.box.left;
  });
  ChInfo inner = outermost;
  for (const HeldStar& s : out) {
    if (!inStarCell(s.box, inner, e.before, f)) break;
    e.placed.push_back(s);
    inner = s.box;
  }
}

bool matched(const ChInfo& s, const End (&ends)[2]) {
  int alikeCount = 0;  // s itself is among them
  for (const End& e : ends) {
    for (const ChInfo& r : e.read) alikeCount += alike(s, r);
    for (const HeldStar& p : e.placed) alikeCount += alike(s, p.box);
  }
  return alikeCount >= 2;
}

// A placed star no other star of the two ends matches in size ends its run, which may leave
// another without its match: until none is left.
void keepMatched(End (&ends)[2]) {
  for (bool cut = true; cut;) {
    cut = false;
    for (End& e : ends)
      for (size_t k = 0; k < e.placed.size() && !cut; ++k)
        if (!matched(e.placed[k].box, ends)) {
          e.placed.resize(k);
          cut = true;
        }
  }
}

void insertAt(char* text, char* conf, ChInfo* info, unsigned& n, unsigned pos, const HeldStar& s) {
  for (unsigned i = n; i > pos; --i) {
    text[i] = text[i - 1];
    conf[i] = conf[i - 1];
    info[i] = info[i - 1];
  }
  text[pos] = '*';
  conf[pos] = static_cast<char>(s.conf);
  info[pos] = s.box;
  ++n;
}

}  // namespace

bool holdStar(const BlockRec& b, unsigned char conf, int split, HeldStar& s) {
  if (b.left < 5 || b.right + 7 >= width || b.right > UINT16_MAX || b.bottom > UINT16_MAX) return false;
  s.box = ChInfo{};
  s.box.left = static_cast<uint16_t>(b.left);
  s.box.right = static_cast<uint16_t>(b.right);
  s.box.top = static_cast<uint16_t>(b.top);
  s.box.bottom = static_cast<uint16_t>(b.bottom);
  s.box.split = static_cast<uint32_t>(split);
  s.box.dbIndex = pCurDB != nullptr ? pCurDB->index : 1;
  const bool edge = b.top <= 2 || b.bottom + 4 >= height;
  s.conf = edge ? static_cast<unsigned char>(std::max(1, conf / 2)) : conf;
  return true;
}

unsigned placeHeldStars(char* text, char* conf, ChInfo* info, unsigned& n, unsigned room, const HeldStar* held,
                        unsigned count) {
  Figures f;
  if (text == nullptr || conf == nullptr || info == nullptr || held == nullptr || !figuresOf(text, info, n, f))
    return 0;
  End ends[2] = {{true, {}, {}}, {false, {}, {}}};
  bool open[2] = {true, true};
  for (unsigned i = 0; i < n; ++i) {
    if (i >= f.first && i <= f.last) continue;
    End& e = ends[i < f.first ? 0 : 1];
    if (text[i] == '*') e.read.push_back(info[i]);
    else open[i < f.first ? 0 : 1] = false;
  }
  if (open[0]) placeAtEnd(ends[0], info[0], f, held, count);
  if (open[1]) placeAtEnd(ends[1], info[n - 1], f, held, count);
  keepMatched(ends);
  unsigned added = 0;
  for (int k = 1; k >= 0; --k) {
    for (const HeldStar& s : ends[k].placed) {
      if (added == room) return added;
      insertAt(text, conf, info, n, k == 1 ? n : 0, s);
      ++added;
    }
  }
  return added;
}

}  // namespace pvk::ocr
