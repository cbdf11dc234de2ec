// The ink of a codeline: glyph shapes placed cell by cell as the optical renderer places them,
// thinned, dropped or sprinkled by the impairments; its profile along the travel as the steps of
// the share of the head's track that ink covers; and the same ink drawn into a document plane.
#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "line_ink.h"
#include "pvkemu_image.h"

namespace pvk::magsynth {
namespace detail {

uint32_t Random::next() {
  // splitmix64, cut to 32 bits
  state_ += 0x9E3779B97F4A7C15ull;
  uint64_t z = state_;
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return static_cast<uint32_t>((z ^ (z >> 31)) >> 32);
}

double Random::uniform() { return next() / 4294967296.0; }

double Random::gaussian() {
  const double u = (next() + 1.0) / 4294967297.0;
  const double v = uniform();
  return std::sqrt(-2.0 * std::log(u)) * std::cos(2 * M_PI * v);
}

namespace {

// A CMC7 stroke cut by its outline is drawn in pieces: the whole stroke goes, every piece in its
// column, as when a bar fails to print.
void dropOneShape(PlacedInk& ink, glyphs::Font font, uint32_t which) {
  const auto gone = ink.shapes.begin() + static_cast<long>(which % ink.shapes.size());
  if (font != glyphs::Font::CMC7) {
    ink.shapes.erase(gone);
    return;
  }
  const double column = gone->x0;
  ink.shapes.erase(std::remove_if(ink.shapes.begin(), ink.shapes.end(),
                                  [column](const glyphs::Shape& s) { return s.x0 == column; }),
                   ink.shapes.end());
}

}  // namespace

std::vector<PlacedInk> placeInk(const Codeline& line, const Impairments& imp) {
  const double step = (line.pitch > 0 ? line.pitch : glyphs::pitch(line.font)) * imp.spacing;
  Random rnd(imp.seed);
  std::vector<PlacedInk> out;
  for (size_t i = 0; i < line.text.size(); ++i) {
    const char c = line.text[i];
    if (c == ' ') continue;
    const glyphs::Glyph* g = glyphs::glyph(line.font, c);
    if (!g) throw std::invalid_argument(std::string("no glyph for '") + c + "'");
    PlacedInk ink{static_cast<int>(i), c, i < line.strength.size() ? line.strength[i] : 1.0,
                  glyphs::place(*g, step * i + (step - g->width) / 2, 0)};
    // Draw both choices for every character, so that one impairment does not move the other's.
    const double weak = rnd.uniform(), missing = rnd.uniform();
    const uint32_t which = rnd.next();
    if (weak < imp.weakFraction) ink.strength *= imp.weakLevel;
    if (missing < imp.missingFraction && ink.shapes.size() > 1) dropOneShape(ink, line.font, which);
    out.push_back(std::move(ink));
  }
  const double length = step * static_cast<double>(line.text.size());
  const double height = glyphs::lineHeight(line.font);
  for (int k = 0; k < imp.spurious; ++k) {
    const double x = rnd.uniform() * length, w = 0.003 + 0.006 * rnd.uniform();
    const double h = height * (0.2 + 0.6 * rnd.uniform()), y = (height - h) * rnd.uniform();
    out.push_back({-1, 0, 1.0, {{glyphs::Shape::Rect, x, y, x + w, y + h}}});
  }
  return out;
}

}  // namespace detail

namespace {

// Share of [0, track) that the union of the shapes' rows covers, for shapes spanning one column.
double coveredShare(std::vector<std::pair<double, double>>& rows, double track) {
  std::sort(rows.begin(), rows.end());
  double covered = 0, reach = 0;
  for (auto [a, b] : rows) {
    a = std::max(a, reach);
    b = std::min(b, track);
    if (b > a) covered += b - a;
    reach = std::max(reach, b);
  }
  return covered / track;
}

}  // namespace

std::vector<InkEdge> inkEdges(const Codeline& line, double track, const Impairments& imp) {
  if (track <= 0) track = glyphs::lineHeight(line.font);
  std::vector<InkEdge> edges;
  for (const detail::PlacedInk& ink : detail::placeInk(line, imp)) {
    // The profile is flat between the shapes' left and right edges: the union of their rows,
    // measured once per interval, gives it without counting overlaps twice.
    std::vector<double> xs;
    for (const glyphs::Shape& s : ink.shapes) {
      xs.push_back(s.x0);
      xs.push_back(s.x1);
    }
    std::sort(xs.begin(), xs.end());
    xs.erase(std::unique(xs.begin(), xs.end()), xs.end());
    double previous = 0;
    std::vector<std::pair<double, double>> rows;
    for (size_t k = 0; k < xs.size(); ++k) {
      double share = 0;
      if (k + 1 < xs.size()) {
        const double mid = (xs[k] + xs[k + 1]) / 2;
        rows.clear();
        for (const glyphs::Shape& s : ink.shapes)
          if (s.x0 <= mid && mid < s.x1) rows.push_back({s.y0, s.y1});
        share = coveredShare(rows, track) * ink.strength;
      }
      if (share != previous) edges.push_back({xs[k], share - previous, ink.character});
      previous = share;
    }
  }
  std::sort(edges.begin(), edges.end(), [](const InkEdge& a, const InkEdge& b) { return a.at < b.at; });
  return edges;
}

void drawCodeline(const Head& head, const Codeline& line, uint8_t* plane, int width, int height, int top,
                  const Impairments& imp, bool flipAcross, uint8_t inkLevel) {
  if (!plane || width < 1 || height < 1) return;
  // Across the travel the sensor has 300 pixels per inch, along it linesPerInch: the shapes are
  // turned (travel down the rows) and stretched so that one rasterisation at 300 dpi fits both.
  const double stretch = head.linesPerInch / 300.0;
  std::vector<glyphs::Shape> turned;
  double first = 1e30, last = -1e30;
  for (const detail::PlacedInk& ink : detail::placeInk(line, imp))
    for (const glyphs::Shape& s : ink.shapes) {
      glyphs::Shape t{s.kind, flipAcross ? -s.y1 : s.y0, s.x0 * stretch, flipAcross ? -s.y0 : s.y1, s.x1 * stretch};
      turned.push_back(t);
      first = std::min(first, t.y0 * 300);
      last = std::max(last, t.y1 * 300);
    }
  if (turned.empty()) return;
  const int r0 = std::max(0, static_cast<int>(std::floor(line.startLine + first)) - 1);
  const int r1 = std::min(height, static_cast<int>(std::ceil(line.startLine + last)) + 1);
  if (r1 <= r0) return;
  glyphs::RasterOptions o;
  o.dpi = 300;
  o.phaseX = top;
  o.phaseY = line.startLine - r0;
  const glyphs::Coverage c = glyphs::rasterise(turned, width, r1 - r0, o);
  for (int y = r0; y < r1; ++y)
    for (int x = 0; x < width; ++x) {
      uint8_t& p = plane[static_cast<size_t>(y) * width + x];
      const double v = p - c.at(x, y - r0) * (p - std::min<double>(p, inkLevel));
      p = static_cast<uint8_t>(std::lround(v));
    }
}

void attach(const Signal& s, const Head& head, pvkemu_document& doc) {
  doc.micr = s.bytes.data();
  doc.micr_length = s.bytes.size();
  doc.micr_per_slot = static_cast<uint32_t>(head.samplesPer3Px);
}

}  // namespace pvk::magsynth
