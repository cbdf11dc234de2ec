// Coverage of vector shapes on a pixel grid: each pixel row is cut into sub-rows, each sub-row
// into the union of the shapes' spans, and the spans are summed exactly along the row.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "glyphs.h"

namespace pvk::glyphs {
namespace {

struct Span {
  double a, b;
};

// The span of a shape (pixel coordinates) on the horizontal line y, false when it misses.
bool spanAt(const Shape& s, double y, Span& out) {
  if (y < s.y0 || y >= s.y1) return false;
  if (s.kind == Shape::Rect) {
    out = {s.x0, s.x1};
    return true;
  }
  const double cx = (s.x0 + s.x1) / 2, cy = (s.y0 + s.y1) / 2;
  const double rx = (s.x1 - s.x0) / 2, ry = (s.y1 - s.y0) / 2;
  const double t = (y - cy) / ry;
  const double half = rx * std::sqrt(std::max(0.0, 1 - t * t));
  if (half <= 0) return false;
  out = {cx - half, cx + half};
  return true;
}

// Adds the length of [a, b) that falls in each pixel of row to acc.
void addSpan(std::vector<double>& acc, double a, double b) {
  const int width = static_cast<int>(acc.size());
  a = std::max(a, 0.0);
  b = std::min(b, static_cast<double>(width));
  if (b <= a) return;
  const int first = static_cast<int>(std::floor(a));
  const int last = std::min(width - 1, static_cast<int>(std::ceil(b)) - 1);
  for (int x = first; x <= last; ++x) acc[x] += std::min(b, x + 1.0) - std::max(a, static_cast<double>(x));
}

}  // namespace

std::vector<Shape> place(const Glyph& g, double x, double y) {
  std::vector<Shape> out = g.shapes;
  for (Shape& s : out) {
    s.x0 += x;
    s.x1 += x;
    s.y0 += y;
    s.y1 += y;
  }
  return out;
}

Coverage rasterise(const std::vector<Shape>& shapes, int width, int height, const RasterOptions& o) {
  if (width < 0 || height < 0 || o.dpi <= 0 || o.subRows < 1) throw std::invalid_argument("bad raster size");
  Coverage c;
  c.width = width;
  c.height = height;
  c.value.assign(static_cast<size_t>(width) * height, 0.0f);
  // Shapes in pixels, grown by the spread; those that vanish are dropped.
  std::vector<Shape> px;
  const double g = o.inkSpread / 2;
  for (const Shape& s : shapes) {
    Shape p{s.kind, s.x0 * o.dpi + o.phaseX - g, s.y0 * o.dpi + o.phaseY - g, s.x1 * o.dpi + o.phaseX + g,
            s.y1 * o.dpi + o.phaseY + g};
    if (p.x1 > p.x0 && p.y1 > p.y0) px.push_back(p);
  }
  std::vector<double> acc(width);
  std::vector<Span> spans;
  for (int y = 0; y < height; ++y) {
    std::fill(acc.begin(), acc.end(), 0.0);
    for (int k = 0; k < o.subRows; ++k) {
      const double yy = y + (k + 0.5) / o.subRows;
      spans.clear();
      Span sp{};
      for (const Shape& s : px)
        if (spanAt(s, yy, sp)) spans.push_back(sp);
      if (spans.empty()) continue;
      std::sort(spans.begin(), spans.end(), [](const Span& l, const Span& r) { return l.a < r.a; });
      Span cur = spans[0];
      for (size_t i = 1; i < spans.size(); ++i) {
        if (spans[i].a <= cur.b) {
          cur.b = std::max(cur.b, spans[i].b);
        } else {
          addSpan(acc, cur.a, cur.b);
          cur = spans[i];
        }
      }
      addSpan(acc, cur.a, cur.b);
    }
    float* row = &c.value[static_cast<size_t>(y) * width];
    for (int x = 0; x < width; ++x) row[x] = static_cast<float>(std::min(1.0, acc[x] / o.subRows));
  }
  return c;
}

PVKImg GreyImage::view() {
  PVKImg img{};
  img.width = static_cast<uint16_t>(width);
  img.height = static_cast<uint16_t>(height);
  img.stride = static_cast<uint16_t>(stride);
  img.dpi = static_cast<uint16_t>(dpi);
  img.data = pixels.data();
  return img;
}

GreyImage toGrey(const Coverage& c, int dpi, uint8_t paper, uint8_t ink) {
  GreyImage img;
  img.width = c.width;
  img.height = c.height;
  img.stride = (c.width + 3) / 4 * 4;
  img.dpi = dpi;
  img.pixels.assign(static_cast<size_t>(img.stride) * c.height, paper);
  const double range = static_cast<double>(paper) - ink;
  for (int y = 0; y < c.height; ++y)
    for (int x = 0; x < c.width; ++x)
      img.pixels[static_cast<size_t>(y) * img.stride + x] =
          static_cast<uint8_t>(std::lround(paper - c.at(x, y) * range));
  return img;
}

Codeline renderCodeline(Font font, const std::string& text, const CodelineOptions& o) {
  const double dpi = o.raster.dpi;
  const double step = o.pitch > 0 ? o.pitch : pitch(font);
  Codeline line;
  const int width =
      static_cast<int>(std::ceil((o.marginLeft + step * text.size() + o.marginRight) * dpi));
  const int height = static_cast<int>(std::ceil((o.marginTop + lineHeight(font) + o.marginBottom) * dpi));
  const double g = o.raster.inkSpread / 2;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    const Glyph* gl = glyph(font, text[i]);
    if (!gl) throw std::invalid_argument(std::string("no glyph for '") + text[i] + "'");
    // Each glyph stands in the middle of its cell.
    const double x = o.marginLeft + step * i + (step - gl->width) / 2;
    const std::vector<Shape> placed = place(*gl, x, o.marginTop);
    CharBox box{text[i], static_cast<int>(i), 1e30, -1e30, 1e30, -1e30, 0, 0, 0, 0};
    for (const Shape& s : placed) {
      box.x0 = std::min(box.x0, s.x0 * dpi + o.raster.phaseX - g);
      box.x1 = std::max(box.x1, s.x1 * dpi + o.raster.phaseX + g);
      box.y0 = std::min(box.y0, s.y0 * dpi + o.raster.phaseY - g);
      box.y1 = std::max(box.y1, s.y1 * dpi + o.raster.phaseY + g);
    }
    box.left = std::max(0, static_cast<int>(std::floor(box.x0)));
    box.right = std::min(width, static_cast<int>(std::ceil(box.x1)));
    box.top = std::max(0, static_cast<int>(std::floor(box.y0)));
    box.bottom = std::min(height, static_cast<int>(std::ceil(box.y1)));
    line.boxes.push_back(box);
    line.shapes.insert(line.shapes.end(), placed.begin(), placed.end());
  }
  line.image = toGrey(rasterise(line.shapes, width, height, o.raster), static_cast<int>(std::lround(dpi)), o.paper,
                      o.ink);
  return line;
}

}  // namespace pvk::glyphs
