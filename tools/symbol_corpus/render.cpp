// Symbol corpus: drawing a module grid on a canvas 16 times finer than the output, with the
// degradations that act on the ink (rotation, ink spread, voids, scratches), area-downsampling
// to grey, then contrast, blur, noise and a JPEG round trip on the output pixels.
#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <random>

#include "symbol_corpus.h"

#include <jpeglib.h>  // after <cstdio>: it needs size_t and FILE

namespace pvk::corpus {

namespace {

constexpr int kFine = 16;  // fine pixels per output pixel, each way

// The ink of the unrotated fine canvas: horizontal bands of constant pattern, each a sorted
// list of dark spans [x0, x1), after ink spread (a square dilation or erosion, done as a
// vertical pass over module rows and a horizontal pass over the spans).
struct Band {
  int y0, y1;
  std::vector<int> edges;  // x0, x1, x0, x1, ...
};

struct Void {
  double x, y, r;
};
struct Scratch {
  double x, y, dx, dy, halfWidth;  // a point, the unit direction, half the width (fine px)
};

struct Canvas {
  std::vector<Band> bands;
  std::vector<Void> voids;
  std::vector<Scratch> scratches;
  int width0 = 0, height0 = 0;  // unrotated content, fine px

  // Which band and which span boundary a point falls between: points with the same answer see
  // the same ink, voids and scratches aside.
  long cell(double x, double y) const {
    if (bands.empty() || y < bands.front().y0 || y >= bands.back().y1) return -1;
    auto b = std::upper_bound(bands.begin(), bands.end(), y, [](double v, const Band& bd) { return v < bd.y0; });
    --b;
    if (y >= b->y1) return -1;
    long e = std::upper_bound(b->edges.begin(), b->edges.end(), x) - b->edges.begin();
    return (b - bands.begin()) * 100000L + e;
  }

  bool nearMarks(double x, double y, double reach) const {
    for (const Void& v : voids)
      if (std::hypot(x - v.x, y - v.y) < v.r + reach) return true;
    for (const Scratch& s : scratches)
      if (std::fabs((x - s.x) * s.dy - (y - s.y) * s.dx) < s.halfWidth + reach) return true;
    return false;
  }

  bool inkAt(double x, double y) const {
    if (bands.empty() || y < bands.front().y0 || y >= bands.back().y1) return false;
    auto b = std::upper_bound(bands.begin(), bands.end(), y, [](double v, const Band& bd) { return v < bd.y0; });
    --b;
    if (y >= b->y1) return false;
    auto e = std::upper_bound(b->edges.begin(), b->edges.end(), x);
    if (((e - b->edges.begin()) & 1) == 0) return false;
    for (const Void& v : voids)
      if ((x - v.x) * (x - v.x) + (y - v.y) * (y - v.y) < v.r * v.r) return false;
    for (const Scratch& s : scratches)
      if (std::fabs((x - s.x) * s.dy - (y - s.y) * s.dx) < s.halfWidth) return false;
    return true;
  }
};

// Dark spans of one set of module columns, grown (spread > 0) or shrunk (< 0) sideways.
std::vector<int> spansOf(const std::vector<uint8_t>& dark, const std::vector<int>& colEdge, int ox, int spread) {
  std::vector<int> out;
  int cols = static_cast<int>(dark.size());
  for (int c = 0; c < cols;) {
    if (!dark[c]) {
      ++c;
      continue;
    }
    int a = c;
    while (c < cols && dark[c]) ++c;
    int x0 = ox + colEdge[a] - spread, x1 = ox + colEdge[c] + spread;
    if (x1 <= x0) continue;
    if (!out.empty() && x0 <= out.back())
      out.back() = std::max(out.back(), x1);
    else
      out.push_back(x0), out.push_back(x1);
  }
  return out;
}

Canvas buildCanvas(const ModuleGrid& g, const std::vector<int>& colEdge, const std::vector<int>& rowEdge, int ox,
                   int oy, int spread) {
  Canvas cv;
  std::vector<int> cuts;
  for (int e : rowEdge) {
    cuts.push_back(oy + e - std::abs(spread));
    cuts.push_back(oy + e + std::abs(spread));
  }
  std::sort(cuts.begin(), cuts.end());
  cuts.erase(std::unique(cuts.begin(), cuts.end()), cuts.end());
  std::vector<uint8_t> dark(g.cols);
  for (size_t k = 0; k + 1 < cuts.size(); ++k) {
    int y0 = cuts[k], y1 = cuts[k + 1];
    double ym = 0.5 * (y0 + y1) - oy;
    double lo = ym - std::abs(spread), hi = ym + std::abs(spread);
    // Module rows whose extent meets [lo, hi]: their OR grows the ink, their AND shrinks it
    // (and a reach outside the symbol shrinks it to nothing).
    bool outside = lo < rowEdge.front() || hi >= rowEdge.back();
    std::fill(dark.begin(), dark.end(), spread >= 0 ? 0 : 1);
    if (spread < 0 && outside) std::fill(dark.begin(), dark.end(), 0);
    for (int r = 0; r < g.rows; ++r) {
      if (rowEdge[r + 1] <= lo || rowEdge[r] > hi) continue;
      for (int c = 0; c < g.cols; ++c) dark[c] = spread >= 0 ? (dark[c] | g.at(r, c)) : (dark[c] & g.at(r, c));
    }
    Band b{y0, y1, spansOf(dark, colEdge, ox, spread)};
    if (!cv.bands.empty() && cv.bands.back().edges == b.edges && cv.bands.back().y1 == y0)
      cv.bands.back().y1 = y1;
    else
      cv.bands.push_back(std::move(b));
  }
  return cv;
}

// Coverage (0..256) of each output pixel of an unrotated canvas, by spans.
void coverUnrotated(const Canvas& cv, int w, int h, std::vector<int>& cover) {
  cover.assign(static_cast<size_t>(w) * h, 0);
  for (const Band& b : cv.bands) {
    for (int fy = std::max(b.y0, 0); fy < std::min(b.y1, h * kFine); ++fy) {
      int* row = cover.data() + static_cast<size_t>(fy / kFine) * w;
      for (size_t k = 0; k + 1 < b.edges.size(); k += 2) {
        int x0 = std::max(b.edges[k], 0), x1 = std::min(b.edges[k + 1], w * kFine);
        while (x0 < x1) {
          int px = x0 / kFine, end = std::min(x1, (px + 1) * kFine);
          row[px] += end - x0;
          x0 = end;
        }
      }
    }
  }
}

int coverByPoints(const Canvas& cv, int px, int py, double cosA, double sinA, double cxR, double cyR, double cx0,
                  double cy0) {
  int n = 0;
  for (int sy = 0; sy < kFine; ++sy) {
    double fy = py * kFine + sy + 0.5 - cyR;
    for (int sx = 0; sx < kFine; ++sx) {
      double fx = px * kFine + sx + 0.5 - cxR;
      // Back to the unrotated canvas: the picture turned counter-clockwise on the page.
      double ux = cosA * fx - sinA * fy + cx0, uy = sinA * fx + cosA * fy + cy0;
      n += cv.inkAt(ux, uy);
    }
  }
  return n;
}

void gaussianBlur(std::vector<double>& img, int w, int h, double sigma) {
  if (sigma <= 0.05) return;
  int r = std::max(1, static_cast<int>(std::ceil(3 * sigma)));
  std::vector<double> k(2 * r + 1);
  double sum = 0;
  for (int i = -r; i <= r; ++i) sum += k[i + r] = std::exp(-0.5 * i * i / (sigma * sigma));
  for (double& v : k) v /= sum;
  std::vector<double> tmp(img.size());
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double s = 0;
      for (int i = -r; i <= r; ++i) s += k[i + r] * img[static_cast<size_t>(y) * w + std::clamp(x + i, 0, w - 1)];
      tmp[static_cast<size_t>(y) * w + x] = s;
    }
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) {
      double s = 0;
      for (int i = -r; i <= r; ++i) s += k[i + r] * tmp[static_cast<size_t>(std::clamp(y + i, 0, h - 1)) * w + x];
      img[static_cast<size_t>(y) * w + x] = s;
    }
}

void jpegRoundTrip(Image& im, int quality) {
  jpeg_compress_struct c{};
  jpeg_error_mgr err{};
  c.err = jpeg_std_error(&err);
  jpeg_create_compress(&c);
  unsigned char* buf = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&c, &buf, &size);
  c.image_width = im.width;
  c.image_height = im.height;
  c.input_components = 1;
  c.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&c);
  jpeg_set_quality(&c, quality, TRUE);
  jpeg_start_compress(&c, TRUE);
  while (c.next_scanline < c.image_height) {
    JSAMPROW row = im.row(c.next_scanline);
    jpeg_write_scanlines(&c, &row, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);

  jpeg_decompress_struct d{};
  d.err = jpeg_std_error(&err);
  jpeg_create_decompress(&d);
  jpeg_mem_src(&d, buf, size);
  jpeg_read_header(&d, TRUE);
  d.out_color_space = JCS_GRAYSCALE;
  jpeg_start_decompress(&d);
  while (d.output_scanline < d.output_height) {
    JSAMPROW row = im.row(d.output_scanline);
    jpeg_read_scanlines(&d, &row, 1);
  }
  jpeg_finish_decompress(&d);
  jpeg_destroy_decompress(&d);
  free(buf);
}

double uniform(std::mt19937& rng, double lo, double hi) {
  return std::uniform_real_distribution<double>(lo, hi)(rng);
}

}  // namespace

Degradation degradationFor(int level, uint32_t seed) {
  Degradation d;
  d.level = std::clamp(level, 0, kLevels - 1);
  d.seed = seed;
  if (d.level == 0) return d;
  std::mt19937 rng(seed * 2654435761u + 12345u);
  int i = d.level - 1;
  const double rot[] = {0.5, 1.5, 3.0, 5.0};
  const double spread[] = {0.12, 0.25, 0.4, 0.6};
  const int voids[] = {0, 1, 3, 5};
  const int scratches[] = {0, 1, 1, 2};
  const double blur[] = {0.35, 0.6, 0.9, 1.2};
  const double noise[] = {2, 4, 7, 11};
  const int jpeg[] = {92, 80, 65, 45};
  d.rotationDeg = uniform(rng, -rot[i], rot[i]);
  d.inkSpreadPx = uniform(rng, -spread[i], spread[i]);
  d.voids = voids[i];
  d.voidRadiusPx = d.voids ? uniform(rng, 0.5, 1.5) : 0;
  d.scratches = scratches[i];
  d.scratchWidthPx = d.scratches ? uniform(rng, 0.5, 1.0) : 0;
  d.paper = 235 - static_cast<int>(uniform(rng, 0, 8.0 * d.level));
  d.ink = 25 + static_cast<int>(uniform(rng, 15.0, 22.0) * d.level);
  d.blurSigmaPx = blur[i] * uniform(rng, 0.8, 1.2);
  d.noiseSigma = noise[i];
  d.jpegQuality = (d.level == 1 && rng() % 2) ? 0 : jpeg[i];
  return d;
}

std::string describe(const Degradation& d) {
  char b[256];
  std::snprintf(b, sizeof b,
                "rot=%.2f spread=%.2f voids=%d/%.2f scratches=%d/%.2f paper=%d ink=%d blur=%.2f noise=%.1f jpeg=%d",
                d.rotationDeg, d.inkSpreadPx, d.voids, d.voidRadiusPx, d.scratches, d.scratchWidthPx, d.paper, d.ink,
                d.blurSigmaPx, d.noiseSigma, d.jpegQuality);
  return b;
}

double modulePixels(const DrawSpec& draw) {
  return draw.modulePx > 0 ? draw.modulePx : draw.xMils * draw.dpi / 1000.0;
}

Image render(const ModuleGrid& g, const DrawSpec& draw, const Degradation& degIn, Placement* where) {
  Degradation deg = degIn;
  double mod = modulePixels(draw);
  double modF = mod * kFine;
  bool linear = g.rows == 1 && !g.rowHeight.empty() && g.rowHeight[0] == 0.f;
  int barH = draw.barHeightPx > 0 ? draw.barHeightPx : static_cast<int>(std::lround(0.4 * draw.dpi));

  // Module edges on the fine grid, so every module is X wide to a sixteenth of a pixel.
  std::vector<int> colEdge(g.cols + 1), rowEdge(g.rows + 1);
  for (int c = 0; c <= g.cols; ++c) colEdge[c] = static_cast<int>(std::lround(c * modF));
  double acc = 0;
  for (int r = 0; r <= g.rows; ++r) {
    rowEdge[r] = linear ? (r ? barH * kFine : 0) : static_cast<int>(std::lround(acc * modF));
    if (r < g.rows) acc += g.rowHeight[r] > 0 ? g.rowHeight[r] : 1.f;
  }
  int quiet = static_cast<int>(std::lround(draw.quietModules * modF));
  int vmargin = linear ? draw.marginPx * kFine : std::max(quiet, draw.marginPx * kFine);
  int w0 = (colEdge.back() + 2 * quiet + kFine - 1) / kFine, h0 = (rowEdge.back() + 2 * vmargin + kFine - 1) / kFine;
  int ox = (w0 * kFine - colEdge.back()) / 2, oy = (h0 * kFine - rowEdge.back()) / 2;

  // Ink spread may not swallow a module or wipe one out.
  deg.inkSpreadPx = std::clamp(deg.inkSpreadPx, -0.4 * mod, 0.4 * mod);
  Canvas cv = buildCanvas(g, colEdge, rowEdge, ox, oy, static_cast<int>(std::lround(deg.inkSpreadPx * kFine)));
  cv.width0 = w0 * kFine;
  cv.height0 = h0 * kFine;
  std::mt19937 rng(deg.seed * 40503u + 7u);
  for (int i = 0; i < deg.voids; ++i)
    cv.voids.push_back({uniform(rng, ox, ox + colEdge.back()), uniform(rng, oy, oy + rowEdge.back()),
                        deg.voidRadiusPx * kFine});
  for (int i = 0; i < deg.scratches; ++i) {
    double a = uniform(rng, -0.6, 0.6) + (rng() % 2 ? 0 : 1.5707963);
    cv.scratches.push_back({uniform(rng, ox, ox + colEdge.back()), uniform(rng, oy, oy + rowEdge.back()), std::cos(a),
                            std::sin(a), 0.5 * deg.scratchWidthPx * kFine});
  }

  double th = deg.rotationDeg * 3.14159265358979 / 180.0, cosA = std::cos(th), sinA = std::sin(th);
  int w = w0, h = h0;
  if (std::fabs(deg.rotationDeg) > 1e-9) {
    w = static_cast<int>(std::ceil(std::fabs(w0 * cosA) + std::fabs(h0 * sinA)));
    h = static_cast<int>(std::ceil(std::fabs(w0 * sinA) + std::fabs(h0 * cosA)));
  }
  std::vector<int> cover;
  if (w == w0 && h == h0 && std::fabs(deg.rotationDeg) <= 1e-9) {
    coverUnrotated(cv, w, h, cover);
    // Voids and scratches: recount the pixels they may touch, point by point.
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px) {
        double x = (px + 0.5) * kFine, y = (py + 0.5) * kFine;
        if (cv.nearMarks(x, y, kFine)) cover[static_cast<size_t>(py) * w + px] = coverByPoints(cv, px, py, 1, 0, 0, 0, 0, 0);
      }
  } else {
    cover.assign(static_cast<size_t>(w) * h, 0);
    double cxR = w * kFine / 2.0, cyR = h * kFine / 2.0, cx0 = w0 * kFine / 2.0, cy0 = h0 * kFine / 2.0;
    double sx0 = ox - 2.0 * kFine, sx1 = ox + colEdge.back() + 2.0 * kFine;
    double sy0 = oy - 2.0 * kFine, sy1 = oy + rowEdge.back() + 2.0 * kFine;
    for (int py = 0; py < h; ++py)
      for (int px = 0; px < w; ++px) {
        double fx = (px + 0.5) * kFine - cxR, fy = (py + 0.5) * kFine - cyR;
        double ux = cosA * fx - sinA * fy + cx0, uy = sinA * fx + cosA * fy + cy0;
        if (ux < sx0 - kFine || ux > sx1 + kFine || uy < sy0 - kFine || uy > sy1 + kFine) continue;
        // A pixel whose four corners fall between the same edges of the same band is uniform.
        double hx = kFine / 2.0;
        long c0 = cv.cell(ux + cosA * -hx - sinA * -hx, uy + sinA * -hx + cosA * -hx);
        if (c0 == cv.cell(ux + cosA * hx - sinA * -hx, uy + sinA * hx + cosA * -hx) &&
            c0 == cv.cell(ux + cosA * -hx - sinA * hx, uy + sinA * -hx + cosA * hx) &&
            c0 == cv.cell(ux + cosA * hx - sinA * hx, uy + sinA * hx + cosA * hx) && !cv.nearMarks(ux, uy, kFine)) {
          cover[static_cast<size_t>(py) * w + px] = cv.inkAt(ux, uy) ? kFine * kFine : 0;
          continue;
        }
        cover[static_cast<size_t>(py) * w + px] = coverByPoints(cv, px, py, cosA, sinA, cxR, cyR, cx0, cy0);
      }
  }
  if (where) {
    where->left = (ox - (w0 - w) * kFine / 2.0) / kFine;
    where->right = where->left + colEdge.back() / double(kFine);
    where->top = (oy - (h0 - h) * kFine / 2.0) / kFine;
    where->bottom = where->top + rowEdge.back() / double(kFine);
  }

  std::vector<double> grey(cover.size());
  for (size_t i = 0; i < cover.size(); ++i)
    grey[i] = deg.paper - (deg.paper - deg.ink) * cover[i] / double(kFine * kFine);
  gaussianBlur(grey, w, h, deg.blurSigmaPx);
  if (deg.noiseSigma > 0) {
    std::normal_distribution<double> n(0, deg.noiseSigma);
    for (double& v : grey) v += n(rng);
  }
  Image im;
  im.width = w;
  im.height = h;
  im.dpi = draw.dpi;
  im.pixels.resize(grey.size());
  for (size_t i = 0; i < grey.size(); ++i) im.pixels[i] = static_cast<uint8_t>(std::clamp(std::lround(grey[i]), 0L, 255L));
  if (deg.jpegQuality > 0) jpegRoundTrip(im, deg.jpegQuality);
  return im;
}

}  // namespace pvk::corpus
