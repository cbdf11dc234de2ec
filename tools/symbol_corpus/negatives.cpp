// Symbol corpus: the negative set, zones that hold no symbol but things a reader could take for
// one (printed text, guilloche, ruled lines) or nothing at all (blank paper, noise).
#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <random>

#include "symbol_corpus.h"

namespace pvk::corpus {

namespace {

const char* const kFonts[] = {
    "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf",
    "/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationSerif-Regular.ttf",
    "/usr/share/fonts/truetype/liberation2/LiberationMono-Bold.ttf",
};

void darken(Image& im, int x, int y, int ink, double amount) {
  if (x < 0 || y < 0 || x >= im.width || y >= im.height || amount <= 0) return;
  uint8_t& p = im.row(y)[x];
  double v = p - (p - ink) * std::min(amount, 1.0);
  p = static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L));
}

// Lines of text in one of the fonts at 8 to 14 points; false when no font could be loaded.
bool drawText(Image& im, std::mt19937& rng, int ink) {
  FT_Library lib;
  if (FT_Init_FreeType(&lib)) return false;
  FT_Face face = nullptr;
  for (int tries = 0; tries < 6 && !face; ++tries)
    if (FT_New_Face(lib, kFonts[(rng() + tries) % 6], 0, &face)) face = nullptr;
  if (!face) {
    FT_Done_FreeType(lib);
    return false;
  }
  int pt = 8 + static_cast<int>(rng() % 7);
  FT_Set_Char_Size(face, pt * 64, 0, im.dpi, im.dpi);
  int lineH = pt * im.dpi * 14 / 720;
  static const char kChars[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789 .,-/:IIIlll111|";
  for (int base = lineH; base < im.height + lineH / 2; base += lineH) {
    int x = static_cast<int>(rng() % 8);
    while (x < im.width) {
      char c = kChars[rng() % (sizeof kChars - 1)];
      if (FT_Load_Char(face, static_cast<unsigned char>(c), FT_LOAD_RENDER)) break;
      FT_GlyphSlot g = face->glyph;
      for (unsigned r = 0; r < g->bitmap.rows; ++r)
        for (unsigned col = 0; col < g->bitmap.width; ++col)
          darken(im, x + g->bitmap_left + static_cast<int>(col), base - g->bitmap_top + static_cast<int>(r), ink,
                 g->bitmap.buffer[r * g->bitmap.pitch + col] / 255.0);
      x += static_cast<int>(g->advance.x >> 6);
    }
  }
  FT_Done_Face(face);
  FT_Done_FreeType(lib);
  return true;
}

// Security-print curves: families of sine waves drawn as thin anti-aliased lines.
void drawGuilloche(Image& im, std::mt19937& rng, int ink) {
  std::uniform_real_distribution<double> u(0, 1);
  int families = 2 + static_cast<int>(rng() % 3);
  for (int f = 0; f < families; ++f) {
    double period = 20 + 80 * u(rng), amp = im.height * (0.1 + 0.4 * u(rng)), phase0 = 6.28 * u(rng);
    int lines = 6 + static_cast<int>(rng() % 10);
    for (int l = 0; l < lines; ++l) {
      double phase = phase0 + l * 0.35, mid = im.height * u(rng);
      for (double x = 0; x < im.width; x += 0.25) {
        double y = mid + amp * std::sin(6.2832 * x / period + phase);
        int yi = static_cast<int>(std::floor(y));
        double fr = y - yi;
        darken(im, static_cast<int>(x), yi, ink, 0.25 * (1 - fr));
        darken(im, static_cast<int>(x), yi + 1, ink, 0.25 * fr);
      }
    }
  }
}

// Form rules: horizontal lines, and sometimes a row of evenly spaced vertical ticks or boxes.
void drawRuled(Image& im, std::mt19937& rng, int ink) {
  int step = 12 + static_cast<int>(rng() % 30);
  for (int y = static_cast<int>(rng() % step); y < im.height; y += step)
    for (int x = 0; x < im.width; ++x) darken(im, x, y, ink, 1.0);
  if (rng() % 2) {
    int vstep = 8 + static_cast<int>(rng() % 40), w = 1 + static_cast<int>(rng() % 3);
    for (int x = static_cast<int>(rng() % vstep); x < im.width; x += vstep)
      for (int y = 0; y < im.height; ++y)
        for (int k = 0; k < w; ++k) darken(im, x + k, y, ink, 1.0);
  }
}

}  // namespace

std::vector<Sample> negativeSet(int count, int width, int height, int dpi, uint32_t seed) {
  static const char* const kKinds[] = {"blank", "noise", "text", "guilloche", "ruled"};
  std::vector<Sample> out;
  for (int k = 0; k < 5; ++k)
    for (int i = 0; i < count; ++i) {
      uint32_t s = seed * 1000u + static_cast<uint32_t>(k * 100 + i);
      std::mt19937 rng(s);
      Sample smp;
      smp.negative = true;
      smp.kind = kKinds[k];
      smp.deg.seed = s;
      smp.deg.level = static_cast<int>(i % kLevels);
      Image& im = smp.image;
      im.width = width;
      im.height = height;
      im.dpi = dpi;
      int paper = 220 + static_cast<int>(rng() % 30), ink = 20 + static_cast<int>(rng() % 60);
      smp.deg.paper = paper;
      smp.deg.ink = ink;
      im.pixels.assign(static_cast<size_t>(width) * height, static_cast<uint8_t>(paper));
      if (k == 2) drawText(im, rng, ink);
      if (k == 3) drawGuilloche(im, rng, ink);
      if (k == 4) drawRuled(im, rng, ink);
      smp.deg.noiseSigma = k == 1 ? 20 + rng() % 40 : 2 + rng() % 4;
      std::normal_distribution<double> n(0, smp.deg.noiseSigma);
      for (uint8_t& p : im.pixels) p = static_cast<uint8_t>(std::clamp(std::lround(p + n(rng)), 0L, 255L));
      char id[96];
      std::snprintf(id, sizeof id, "negative_%s_%ddpi_%02d_s%u", smp.kind.c_str(), dpi, i, s);
      smp.id = id;
      out.push_back(std::move(smp));
    }
  return out;
}

}  // namespace pvk::corpus
