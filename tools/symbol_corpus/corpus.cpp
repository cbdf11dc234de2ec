// Symbol corpus: samples, the graded corpus and its files.
#include <cstdio>

#include "symbol_corpus.h"

namespace pvk::corpus {

bool makeSample(const SymbolSpec& spec, const DrawSpec& draw, int level, uint32_t seed, Sample& out,
                std::string* error) {
  Sample s;
  if (!encode(spec, s.grid, error)) return false;
  s.spec = spec;
  s.draw = draw;
  s.deg = degradationFor(level, seed);
  // The drawing bounds ink spread by the module: record what was applied.
  double mod = modulePixels(draw);
  if (s.deg.inkSpreadPx > 0.4 * mod) s.deg.inkSpreadPx = 0.4 * mod;
  if (s.deg.inkSpreadPx < -0.4 * mod) s.deg.inkSpreadPx = -0.4 * mod;
  s.image = render(s.grid, draw, s.deg, &s.where);
  s.truth = truthFor(spec, s.grid, 0);
  s.truthFont7 = truthFor(spec, s.grid, 7);
  char id[160];
  std::snprintf(id, sizeof id, "%s_%ddpi_x%03d_L%d_s%u", symbologyName(spec.symbology), draw.dpi,
                static_cast<int>(modulePixels(draw) * 1000.0 / draw.dpi * 10 + 0.5), level, seed);
  s.id = id;
  out = std::move(s);
  return true;
}

std::vector<Sample> buildCorpus(const CorpusOptions& o) {
  std::vector<Sample> out;
  const std::vector<Symbology>& syms = o.symbologies.empty() ? linearSymbologies() : o.symbologies;
  uint32_t serial = o.seed * 100000u;
  for (Symbology sym : syms) {
    std::vector<double> xs = o.xMils;
    if (xs.empty()) xs = isLinear(sym) ? std::vector<double>{7.5, 10, 13, 20} : std::vector<double>{10, 15, 20};
    std::vector<SymbolSpec> specs = specsFor(sym, o.specsPerSymbology, o.seed);
    for (const SymbolSpec& spec : specs)
      for (int dpi : o.dpis)
        for (double x : xs)
          for (int level : o.levels) {
            DrawSpec d;
            d.dpi = dpi;
            d.xMils = x;
            d.barHeightPx = o.barHeightPx;
            Sample s;
            if (makeSample(spec, d, level, ++serial, s)) out.push_back(std::move(s));
          }
  }
  return out;
}

bool writePgm(const std::string& path, const Image& im) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  std::fprintf(f, "P5\n# dpi %d\n%d %d\n255\n", im.dpi, im.width, im.height);
  bool ok = std::fwrite(im.pixels.data(), 1, im.pixels.size(), f) == im.pixels.size();
  return std::fclose(f) == 0 && ok;
}

std::string escapeText(const std::string& bytes) {
  std::string out;
  for (unsigned char c : bytes) {
    if (c >= 32 && c < 127 && c != '\\') {
      out += static_cast<char>(c);
    } else {
      char b[8];
      std::snprintf(b, sizeof b, "\\x%02X", c);
      out += b;
    }
  }
  return out;
}

bool writeSidecar(const std::string& path, const Sample& s) {
  FILE* f = std::fopen(path.c_str(), "w");
  if (!f) return false;
  std::fprintf(f, "id=%s\n", s.id.c_str());
  std::fprintf(f, "width=%d\nheight=%d\ndpi=%d\n", s.image.width, s.image.height, s.image.dpi);
  if (s.negative) {
    std::fprintf(f, "negative=1\nkind=%s\n", s.kind.c_str());
  } else {
    std::fprintf(f, "negative=0\nsymbology=%s\nfont=%d\n", symbologyName(s.spec.symbology), ownFont(s.spec.symbology));
    std::fprintf(f, "data=%s\ncheck=%d\n", escapeText(s.spec.data).c_str(), s.spec.check ? 1 : 0);
    std::fprintf(f, "truth=%s\ntruth_font7=%s\n", escapeText(s.truth).c_str(), escapeText(s.truthFont7).c_str());
    std::fprintf(f, "modules=%dx%d\nmodule_px=%.4f\nx_mils=%.2f\n", s.grid.cols, s.grid.rows, modulePixels(s.draw),
                 modulePixels(s.draw) * 1000.0 / s.draw.dpi);
    std::fprintf(f, "symbol=%.2f,%.2f,%.2f,%.2f\n", s.where.left, s.where.top, s.where.right, s.where.bottom);
  }
  std::fprintf(f, "level=%d\nseed=%u\ndegradation=%s\n", s.deg.level, s.deg.seed, describe(s.deg).c_str());
  return std::fclose(f) == 0;
}

}  // namespace pvk::corpus
