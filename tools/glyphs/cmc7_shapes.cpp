// CMC7 as it is printed: seven vertical strokes 0.15 mm wide whose six intervals (0.30 mm narrow,
// 0.50 mm wide, two of them wide) are the code of the symbol, and whose tops and bottoms are cut
// to the outline of the numeral or symbol that the strokes draw. The outlines are drawn here as
// polygons on the character's box; each stroke keeps the rows where its centre line lies inside.
#include <algorithm>
#include <map>
#include <stdexcept>

#include "glyphs.h"

namespace pvk::glyphs {
namespace {

// A point of an outline: x across the strokes' span (0 the first stroke's left edge, 1 the last
// stroke's right edge), y down the character's height (0 top, 1 bottom).
struct Pt {
  double x, y;
};
using Polygon = std::vector<Pt>;

struct Cmc7Def {
  char symbol;
  int pattern;                   // bit k-1: interval k is wide
  std::vector<Polygon> outline;  // the union of these polygons is the character's ink
};

Polygon rect(double x0, double y0, double x1, double y1) { return {{x0, y0}, {x1, y0}, {x1, y1}, {x0, y1}}; }

// The numerals are drawn with bars 0.2 high (top, middle, bottom) and sides as wide as the two
// outer strokes, the outer corners cut; the symbols are bands and blocks of whole strokes.
const std::vector<Cmc7Def>& cmc7Defs() {
  static const std::vector<Cmc7Def> defs = {
      {'0', 12,
       {{{0, 0.12}, {0.12, 0}, {0.25, 0}, {0.25, 1}, {0.12, 1}, {0, 0.88}},
        {{0.75, 0}, {0.88, 0}, {1, 0.12}, {1, 0.88}, {0.88, 1}, {0.75, 1}},
        rect(0.12, 0, 0.88, 0.25), rect(0.12, 0.75, 0.88, 1)}},
      // a stem, a flag falling to the left from its top, a foot on either side
      {'1', 17,
       {rect(0.43, 0, 0.70, 1), {{0, 0.20}, {0.45, 0.02}, {0.45, 0.27}, {0, 0.45}}, rect(0, 0.67, 0.43, 1),
        rect(0.70, 0.55, 1, 1)}},
      // a hook at the top left, the upper right side, a diagonal down to the filled lower left
      {'2', 6,
       {rect(0.1, 0, 0.9, 0.2), {{0, 0.12}, {0.12, 0}, {0.25, 0}, {0.25, 0.35}, {0, 0.35}},
        {{0.75, 0}, {0.88, 0}, {1, 0.1}, {1, 0.5}, {0.75, 0.56}}, {{0, 0.675}, {1, 0.295}, {1, 0.505}, {0, 0.885}},
        {{0, 0.675}, {0.45, 0.504}, {0.45, 1}, {0, 1}}, rect(0, 0.8, 1, 1)}},
      // the upper and lower bars bent down at the left, a half middle bar, a pointed right side
      {'3', 5,
       {{{0, 0.1}, {0.1, 0}, {0.9, 0}, {1, 0.1}, {1, 0.25}, {0.5, 0.25}, {0, 0.33}},
        {{0, 0.9}, {0.1, 1}, {0.9, 1}, {1, 0.9}, {1, 0.75}, {0.5, 0.75}, {0, 0.67}}, rect(0.5, 0.4, 1, 0.6),
        {{0.78, 0}, {0.9, 0}, {1, 0.1}, {1, 0.45}, {0.92, 0.5}, {1, 0.55}, {1, 0.9}, {0.9, 1}, {0.78, 1}}}},
      // a diagonal from the top right to the left side, the cross bar, the stem parted at the
      // diagonal's foot
      {'4', 9,
       {{{0, 0.323}, {0.748, 0}, {0.748, 0.3}, {0, 0.623}}, {{0, 0.323}, {0.3, 0.193}, {0.3, 0.85}, {0, 0.85}},
        rect(0, 0.65, 0.62, 0.85), rect(0.65, 0, 1, 0.3), rect(0.65, 0.6, 1, 1)}},
      {'5', 24,
       {rect(0, 0, 1, 0.23), rect(0, 0, 0.22, 0.575), rect(0, 0.375, 0.8, 0.575),
        {{0.75, 0.375}, {0.85, 0.375}, {1, 0.48}, {1, 0.9}, {0.9, 1}, {0.75, 1}}, rect(0, 0.775, 0.85, 1)}},
      {'6', 20,
       {{{0, 0.1}, {0.1, 0}, {0.25, 0}, {0.25, 1}, {0.1, 1}, {0, 0.9}}, rect(0.1, 0, 0.75, 0.2),
        {{0.75, 0}, {0.9, 0}, {1, 0.1}, {1, 0.25}, {0.75, 0.25}}, rect(0.1, 0.4, 0.8, 0.6),
        {{0.75, 0.4}, {0.9, 0.4}, {1, 0.5}, {1, 0.9}, {0.9, 1}, {0.75, 1}}, rect(0.1, 0.8, 0.8, 1)}},
      // the top bar with a short left end, a broad diagonal down to a foot at the lower left
      {'7', 3,
       {rect(0, 0, 1, 0.227), rect(0, 0, 0.12, 0.35),
        {{0, 0.80}, {0.585, 0.365}, {0.66, 0.2}, {1, 0.2}, {1, 0.46}, {0.36, 0.90}, {0.36, 1}, {0, 1}}}},
      // two rings, the sides pinched at the waist
      {'8', 18,
       {{{0, 0.1}, {0.1, 0}, {0.3, 0}, {0.3, 0.45}, {0.2, 0.45}, {0, 0.40}},
        {{0, 0.9}, {0.1, 1}, {0.3, 1}, {0.3, 0.55}, {0.2, 0.55}, {0, 0.60}},
        {{1, 0.1}, {0.9, 0}, {0.7, 0}, {0.7, 0.45}, {0.8, 0.45}, {1, 0.40}},
        {{1, 0.9}, {0.9, 1}, {0.7, 1}, {0.7, 0.55}, {0.8, 0.55}, {1, 0.60}}, rect(0.1, 0, 0.9, 0.2),
        rect(0.2, 0.4, 0.8, 0.6), rect(0.1, 0.8, 0.9, 1)}},
      {'9', 10,
       {{{0.75, 0}, {0.9, 0}, {1, 0.1}, {1, 0.9}, {0.9, 1}, {0.75, 1}},
        {{0, 0.1}, {0.1, 0}, {0.25, 0}, {0.25, 0.6}, {0.1, 0.6}, {0, 0.5}}, rect(0.1, 0, 0.8, 0.2),
        rect(0.1, 0.4, 0.8, 0.6), rect(0.2, 0.8, 0.8, 1), {{0, 0.75}, {0.25, 0.75}, {0.25, 1}, {0.1, 1}, {0, 0.9}}}},
      // S1: a band rising to the right
      {':', 33, {{{0, 0.4}, {1, 0}, {1, 0.6}, {0, 1}}}},
      // S2: a step, the left four strokes low, the right three whole
      {';', 34, {rect(0, 0.33, 0.56, 1), rect(0.56, 0, 1, 1)}},
      // S3: two bands across, the upper one the broader
      {'<', 36, {rect(0, 0, 1, 0.52), rect(0, 0.76, 1, 1)}},
      // S4: the left four strokes parted in the middle, the right three short and centred
      {'=', 40, {rect(0, 0, 0.52, 0.4), rect(0, 0.6, 0.52, 1), rect(0.52, 0.15, 1, 0.85)}},
      // S5: a band falling to the right
      {'>', 48, {{{0, 0}, {1, 0.4}, {1, 1}, {0, 0.6}}}},
  };
  return defs;
}

struct Interval {
  double a, b;
};

// The rows of polygon p on the vertical line at x: its edges' crossings, paired in order.
std::vector<Interval> rowsInside(const Polygon& p, double x) {
  std::vector<double> ys;
  for (size_t i = 0; i < p.size(); ++i) {
    const Pt& u = p[i];
    const Pt& v = p[(i + 1) % p.size()];
    // Half-open in x, so that a line through a vertex counts the vertex once.
    if ((u.x <= x) == (v.x <= x)) continue;
    ys.push_back(u.y + (x - u.x) * (v.y - u.y) / (v.x - u.x));
  }
  std::sort(ys.begin(), ys.end());
  std::vector<Interval> out;
  for (size_t i = 0; i + 1 < ys.size(); i += 2) out.push_back({ys[i], ys[i + 1]});
  return out;
}

// The union of the outline's rows on the line at x, in order, touching pieces joined.
std::vector<Interval> rowsInside(const std::vector<Polygon>& outline, double x) {
  std::vector<Interval> all;
  for (const Polygon& p : outline)
    for (const Interval& r : rowsInside(p, x)) all.push_back(r);
  std::sort(all.begin(), all.end(), [](const Interval& l, const Interval& r) { return l.a < r.a; });
  std::vector<Interval> out;
  for (const Interval& r : all) {
    if (!out.empty() && r.a <= out.back().b + 1e-9) out.back().b = std::max(out.back().b, r.b);
    else out.push_back(r);
  }
  return out;
}

Glyph makeCmc7(const Cmc7Def& d) {
  const double span = 4 * cmc7::kNarrow + 2 * cmc7::kWide + cmc7::kBar;
  Glyph g{d.symbol, span, 0, 0, {}};
  double x = 0, top = cmc7::kHeight, bottom = 0;
  for (int k = 0; k < 7; ++k) {
    if (k > 0) x += (d.pattern >> (k - 1)) & 1 ? cmc7::kWide : cmc7::kNarrow;
    for (const Interval& r : rowsInside(d.outline, (x + cmc7::kBar / 2) / span)) {
      const double y0 = r.a * cmc7::kHeight, y1 = r.b * cmc7::kHeight;
      g.shapes.push_back({Shape::Rect, x, y0, x + cmc7::kBar, y1});
      top = std::min(top, y0);
      bottom = std::max(bottom, y1);
    }
  }
  g.top = top;
  g.height = bottom - top;
  return g;
}

}  // namespace

const std::vector<Glyph>& cmc7::drawn() {
  static const std::vector<Glyph> all = [] {
    std::vector<Glyph> out;
    for (const Cmc7Def& d : cmc7Defs()) out.push_back(makeCmc7(d));
    return out;
  }();
  return all;
}

int cmc7::pattern(char symbol) {
  for (const Cmc7Def& d : cmc7Defs())
    if (d.symbol == symbol) return d.pattern;
  return -1;
}

}  // namespace pvk::glyphs
