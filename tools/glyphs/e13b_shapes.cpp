// E13B as the standard draws it on its 0.013-inch grid: every character 9 units high (0.117 inch)
// but the on-us symbol (7) and the dash (4), 4 to 7 units wide, thin strokes one unit wide and
// the heavy strokes two; the heavy parts sit low and to the right, where their ink gives each
// digit its magnetic signature. Characters are right-aligned: their ink ends at the right edge of
// a box seven units wide, so the right edges of a line keep one pitch apart whatever the widths.
#include <algorithm>

#include "glyphs.h"

namespace pvk::glyphs {
namespace {

// A rectangle in grid units, y from the top of the 9-unit line box.
struct Box {
  double x0, y0, x1, y1;
};

struct Drawing {
  char symbol;
  double width;  // ink width, units
  std::vector<Box> boxes;
};

constexpr double kBoxUnits = 7;  // the widest characters; narrower ones stand at its right

// The slanted joint of the 7: a band about one unit thick across its slant that steps two units
// left while it drops one, from the upper right stroke (x 4..5) to the stem (x 2..3), cut into
// slices an eighth of a unit high so that it stays a set of rectangles.
std::vector<Box> sevenJoint() {
  std::vector<Box> out;
  const double top = 3.4, slope = 2, thick = 0.5;  // the right edge trails the left by thick units
  for (double y = top; y < top + 1 + thick; y += 0.125) {
    const double mid = y + 0.0625;
    const double left = std::clamp(4 - slope * (mid - top), 2.0, 4.0);
    const double right = std::clamp(5 - slope * (mid - top - thick), 3.0, 5.0);
    out.push_back({left, y, right, y + 0.125});
  }
  return out;
}

std::vector<Drawing> drawings() {
  std::vector<Drawing> d = {
      // zero: a ring of thin strokes over the full height
      {'0', 7, {{0, 0, 7, 1}, {0, 8, 7, 9}, {0, 0, 1, 9}, {6, 0, 7, 9}}},
      // one: a flag at the top left, a thin stem, a heavy foot the full width
      {'1', 4, {{0, 0, 2, 1.5}, {1, 0, 2, 5}, {0, 5, 4, 9}}},
      // two: thin throughout, the upper stroke at the right, the lower at the left
      {'2', 4, {{0, 0, 4, 1}, {3, 0, 4, 5}, {0, 4, 4, 5}, {0, 4, 1, 9}, {0, 8, 4, 9}}},
      // three: thin upper half, the lower right stroke heavy and wider than the top
      {'3', 5, {{0, 0, 4, 1}, {3, 0, 4, 4.5}, {0, 4, 3, 5}, {3, 4.5, 5, 9}, {0, 8, 5, 9}}},
      // four: a heavy left stroke that stops above the foot, a thin bar, a heavy right foot
      {'4', 6, {{0, 0, 2, 7}, {0, 6, 4, 7}, {4, 5, 6, 9}}},
      // five: thin throughout, the upper stroke at the left, the lower at the right
      {'5', 5, {{0, 0, 5, 1}, {0, 0, 1, 5}, {0, 4, 5, 5}, {4, 4, 5, 9}, {0, 8, 5, 9}}},
      // six: a full-height left stroke, a short hook at the top, a closed lower bowl
      {'6', 6, {{0, 0, 1, 9}, {0, 0, 4, 1}, {3, 0, 4, 2.5}, {0, 5, 6, 6}, {5, 5, 6, 9}, {0, 8, 6, 9}}},
      // seven: a bar with a short left stroke; the right stroke slants into a stem to the foot
      {'7', 5, {{0, 0, 5, 1}, {0, 0, 1, 3}, {4, 0, 5, 3.5}, {2, 4.4, 3, 9}}},
      // eight: a narrow thin upper bowl on a wide lower bowl with heavy sides
      {'8', 7, {{1, 0, 6, 1}, {1, 0, 2, 5}, {5, 0, 6, 5}, {1, 4, 6, 5}, {0, 4.5, 2, 9}, {5, 4.5, 7, 9}, {0, 8, 7, 9}}},
      // nine: a thin upper bowl over a heavy right stem
      {'9', 6, {{0, 0, 6, 1}, {0, 0, 1, 5}, {0, 4, 6, 5}, {5, 0, 6, 9}, {4, 4, 6, 9}}},
      // transit: a heavy bar and two squares, one at the top and one at the bottom
      {':', 7, {{0, 1.5, 2, 7.5}, {4, 0, 7, 3}, {4, 6, 7, 9}}},
      // amount: stepped square, bar, square: low at the left, a thin bar in the middle, high at
      // the right
      {'=', 7, {{0, 5, 2, 9}, {3, 2.25, 4, 6.75}, {5, 0, 7, 4}}},
      // on-us: two thin bars and a square at the top right, seven units high
      {'<', 7, {{0, 1.5, 1, 7.5}, {2, 1.5, 3, 7.5}, {4, 0.5, 7, 4.5}}},
      // dash: three strokes four units high in the middle of the line, heavy, heavy, thin
      {';', 7, {{0, 2.5, 2, 6.5}, {3, 2.5, 5, 6.5}, {6, 2.5, 7, 6.5}}},
  };
  for (Drawing& g : d)
    if (g.symbol == '7') {
      const std::vector<Box> joint = sevenJoint();
      g.boxes.insert(g.boxes.end(), joint.begin(), joint.end());
    }
  return d;
}

Glyph makeGlyph(const Drawing& d) {
  const double u = e13b::kUnit, shift = kBoxUnits - d.width;
  double top = 9, bottom = 0;
  for (const Box& b : d.boxes) {
    top = std::min(top, b.y0);
    bottom = std::max(bottom, b.y1);
  }
  Glyph g{d.symbol, kBoxUnits * u, top * u, (bottom - top) * u, {}};
  for (const Box& b : d.boxes)
    g.shapes.push_back({Shape::Rect, (b.x0 + shift) * u, b.y0 * u, (b.x1 + shift) * u, b.y1 * u});
  return g;
}

}  // namespace

const std::vector<Glyph>& e13b::drawn() {
  static const std::vector<Glyph> all = [] {
    std::vector<Glyph> out;
    for (const Drawing& d : drawings()) out.push_back(makeGlyph(d));
    return out;
  }();
  return all;
}

}  // namespace pvk::glyphs
