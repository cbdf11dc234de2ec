// A zone laid on paper: hosts draw zones tight around printed symbols, and a bar (or a PDF417
// row) on the zone's edge has no edge of its own there. Where ink touches an edge of the zone,
// the readers work on a copy widened by paper on that side, so that the first and last bars
// and rows are bounded like any other. A zone with paper all round is copied as it is: its
// edge signal stays what it was.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/image_utils.h"
#include "symbols/symbols.h"

namespace {

// The paper of a row (the grey that a tenth of its pixels reach or pass: its spaces are paper
// even where bars cover most of it) and the middle between it and its ink (the grey a tenth
// of its pixels reach from below).
struct RowLevels {
  uint8_t paper;
  int middle;  // -1: the row holds no ink (less contrast than print has)
};

constexpr int kLeastContrast = 40;

RowLevels levelsOf(const uint8_t* p, int n) {
  // Its tenths lie within its darkest and brightest pixels: a row with less spread than print
  // holds no ink, and its levels need no histogram (the paper grey of a row without ink is never
  // asked for).
  uint8_t least = 255, most = 0;
  for (int x = 0; x < n; ++x) {
    least = std::min(least, p[x]);
    most = std::max(most, p[x]);
  }
  if (most - least < kLeastContrast) return RowLevels{most, -1};
  pvk::core::LevelCounts hist;
  hist.add(p, static_cast<size_t>(n));
  int hi = 255;
  uint64_t seen = hist[255];
  while (seen * 10 < static_cast<uint64_t>(n) && hi > 0) seen += hist[--hi];
  int lo = 0;
  seen = hist[0];
  while (seen * 10 < static_cast<uint64_t>(n) && lo < 255) seen += hist[++lo];
  return RowLevels{static_cast<uint8_t>(hi), hi - lo >= kLeastContrast ? (hi + lo + 1) / 2 : -1};
}

bool ink(uint8_t v, const RowLevels& l) { return v <= l.middle; }

// Whether grey v can be ink in its row at all. Ink lies at the middle or below, and the middle
// at least half the least contrast below the paper, which a tenth of the row reaches: a row
// with fewer pixels that bright has no ink as light as v, and needs no histogram for it.
bool mayBeInk(const uint8_t* p, int n, uint8_t v) {
  const int paperFrom = v + kLeastContrast / 2;
  if (paperFrom > 255) return false;
  int paper = 0;
  for (int x = 0; x < n; ++x) paper += p[x] >= paperFrom;
  return paper * 10 >= n;
}

// What lies beyond an edge pixel: paper where it is ink, the pixel itself where it is paper.
uint8_t beyond(uint8_t v, const RowLevels& l) { return ink(v, l) ? l.paper : v; }

// A side is inked when ink touches it along an eighth of its length or more.
bool inked(int inkCount, int length) { return inkCount * 8 >= length; }

}  // namespace

bool pvk::symbols::copyOnPaper(const PVKImg& img, int marginX, int marginY, PVKImg& out) {
  out = img;
  out.data = nullptr;
  const int iw = img.width, ih = img.height;
  if (!img.data || iw == 0 || ih == 0 || img.stride < iw) return false;
  auto row = [&](int y) { return img.data + static_cast<size_t>(y) * img.stride; };
  std::vector<RowLevels> levels(ih);
  int inkLeft = 0, inkRight = 0, inkTop = 0, inkBottom = 0;
  for (int y = 0; y < ih; ++y) {
    // Of the rows between the first and the last only the end pixels are asked about.
    const uint8_t* p = row(y);
    const bool asked = y == 0 || y == ih - 1 || mayBeInk(p, iw, std::min(p[0], p[iw - 1]));
    levels[y] = asked ? levelsOf(p, iw) : RowLevels{p[0], -1};
    inkLeft += ink(row(y)[0], levels[y]);
    inkRight += ink(row(y)[iw - 1], levels[y]);
  }
  for (int x = 0; x < iw; ++x) {
    inkTop += ink(row(0)[x], levels[0]);
    inkBottom += ink(row(ih - 1)[x], levels[ih - 1]);
  }
  const int left = inked(inkLeft, ih) ? marginX : 0, right = inked(inkRight, ih) ? marginX : 0;
  const int top = inked(inkTop, iw) ? marginY : 0, bottom = inked(inkBottom, iw) ? marginY : 0;
  const int w = iw + left + right, h = ih + top + bottom;
  if (w > 65535 || h > 65535) return false;
  out.width = out.stride = static_cast<uint16_t>(w);
  out.height = static_cast<uint16_t>(h);
  out.data = static_cast<uint8_t*>(std::malloc(static_cast<size_t>(w) * h));
  if (!out.data) return false;
  for (int y = 0; y < ih; ++y) {
    const uint8_t* s = row(y);
    uint8_t* d = out.data + static_cast<size_t>(y + top) * w;
    std::memset(d, beyond(s[0], levels[y]), left);
    std::memcpy(d + left, s, iw);
    std::memset(d + left + iw, beyond(s[iw - 1], levels[y]), right);
  }
  const uint8_t* first = out.data + static_cast<size_t>(top) * w;
  const uint8_t* last = out.data + static_cast<size_t>(top + ih - 1) * w;
  for (int y = 0; y < top; ++y)
    for (int x = 0; x < w; ++x) out.data[static_cast<size_t>(y) * w + x] = beyond(first[x], levels[0]);
  for (int y = top + ih; y < h; ++y)
    for (int x = 0; x < w; ++x) out.data[static_cast<size_t>(y) * w + x] = beyond(last[x], levels[ih - 1]);
  return true;
}

bool pvk::symbols::twoGreyLevels(const PVKImg& img) {
  bool seen[256] = {};
  int levels = 0;
  for (int y = 0; y < img.height; ++y) {
    const uint8_t* p = img.data + static_cast<size_t>(y) * img.stride;
    for (int x = 0; x < img.width; ++x)
      if (!seen[p[x]]) {
        seen[p[x]] = true;
        if (++levels > 2) return false;
      }
  }
  return true;
}
