// Lines of text in a font file, rasterised through FreeType: the font is sized so that a capital
// H stands capHeight pixels high, strokes may be thickened (ink spread), and every character's
// ink box is recorded. Outlines are rendered unhinted, so the result depends on nothing but the
// font file and the arguments.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <stdexcept>

#include "font_db.h"

namespace pvk::fontdb {

namespace {

struct Library {
  FT_Library lib = nullptr;
  std::map<std::string, FT_Face> faces;
  Library() {
    if (FT_Init_FreeType(&lib) != 0) throw std::runtime_error("FreeType cannot start");
  }
  ~Library() {
    for (auto& f : faces) FT_Done_Face(f.second);
    FT_Done_FreeType(lib);
  }
  FT_Face face(const std::string& file) {
    auto it = faces.find(file);
    if (it != faces.end()) return it->second;
    FT_Face f = nullptr;
    if (FT_New_Face(lib, file.c_str(), 0, &f) != 0) throw std::runtime_error("cannot open font " + file);
    faces[file] = f;
    return f;
  }
};

Library& library() {
  static Library l;
  return l;
}

constexpr int kRefPixels = 1000;
constexpr FT_Int32 kLoad = FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP;

// Pixel size of the em that gives a capital H of capHeight pixels.
double emPixels(FT_Face f, double capHeight) {
  FT_Set_Pixel_Sizes(f, 0, kRefPixels);
  if (FT_Load_Char(f, 'H', kLoad) != 0) throw std::runtime_error("font without H");
  FT_BBox box;
  FT_Outline_Get_CBox(&f->glyph->outline, &box);
  const double cap = (box.yMax - box.yMin) / 64.0;
  return kRefPixels * capHeight / cap;
}

void setSize(FT_Face f, double em) {
  const auto e = static_cast<FT_F26Dot6>(std::lround(em * 64));
  FT_Set_Char_Size(f, 0, e, 72, 72);  // 72 dpi: one point is one pixel
}

// Coverage canvas in float; ink adds up to 1.
struct Canvas {
  int w, h;
  std::vector<float> v;
  Canvas(int w_, int h_) : w(w_), h(h_), v(static_cast<size_t>(w_) * h_, 0.0f) {}
};

// Renders the glyph of c with its origin at (x, baseline) (fractional x), thickened by spread;
// returns the ink box in canvas pixels (left > right when nothing was drawn).
glyphs::CharBox drawChar(FT_Face f, unsigned char c, double x, int baseline, double spread, Canvas& cv) {
  glyphs::CharBox box{static_cast<char>(c), 0, 0, 0, 0, 0, cv.w, 0, cv.h, 0};
  if (FT_Load_Char(f, c, kLoad) != 0) return box;
  FT_Outline* o = &f->glyph->outline;
  if (spread != 0) FT_Outline_EmboldenXY(o, static_cast<FT_Pos>(std::lround(spread * 64)),
                                         static_cast<FT_Pos>(std::lround(spread * 64)));
  const double fx = x - std::floor(x);
  FT_Outline_Translate(o, static_cast<FT_Pos>(std::lround(fx * 64)), 0);
  if (FT_Render_Glyph(f->glyph, FT_RENDER_MODE_NORMAL) != 0) return box;
  const FT_Bitmap& bm = f->glyph->bitmap;
  const int x0 = static_cast<int>(std::floor(x)) + f->glyph->bitmap_left;
  const int y0 = baseline - f->glyph->bitmap_top;
  for (unsigned r = 0; r < bm.rows; ++r) {
    for (unsigned col = 0; col < bm.width; ++col) {
      const int px = x0 + static_cast<int>(col), py = y0 + static_cast<int>(r);
      const uint8_t a = bm.buffer[r * static_cast<unsigned>(std::abs(bm.pitch)) + col];
      if (a == 0 || px < 0 || py < 0 || px >= cv.w || py >= cv.h) continue;
      float& dst = cv.v[static_cast<size_t>(py) * cv.w + px];
      dst = std::min(1.0f, dst + a / 255.0f);
      box.left = std::min(box.left, px);
      box.right = std::max(box.right, px + 1);
      box.top = std::min(box.top, py);
      box.bottom = std::max(box.bottom, py + 1);
    }
  }
  box.x0 = box.left;
  box.x1 = box.right;
  box.y0 = box.top;
  box.y1 = box.bottom;
  return box;
}

double advance(FT_Face f, unsigned char c, double spread) {
  if (FT_Load_Char(f, c, kLoad) != 0) return 0;
  return f->glyph->linearHoriAdvance / 65536.0 + std::max(0.0, spread);
}

}  // namespace

bool textDrawable(const std::string& fontFile, unsigned char c) {
  return FT_Get_Char_Index(library().face(fontFile), c) != 0;
}

Line renderTextLine(const DbSpec& db, const std::string& text, const LineOptions& o, int* baselineOut) {
  FT_Face f = library().face(db.fontFile);
  const double scale = o.dpi / 300.0;
  const double em = emPixels(f, o.capHeight * scale);
  setSize(f, em);
  const double spread = o.spread + db.baseSpread * scale;
  const double ascent = f->size->metrics.ascender / 64.0;
  const double descent = -f->size->metrics.descender / 64.0;
  const int margin = static_cast<int>(std::lround(o.margin * o.dpi));
  const double gap = o.gapFactor * o.capHeight * scale;
  double total = 0;
  for (char ch : text) total += advance(f, static_cast<unsigned char>(ch), spread) + gap;
  const int w = static_cast<int>(std::ceil(total)) + 2 * margin + 4;
  const int baseline = margin + static_cast<int>(std::ceil(ascent));
  const int h = baseline + static_cast<int>(std::ceil(descent)) + margin;
  Canvas cv(w, h);
  if (baselineOut != nullptr) *baselineOut = baseline;
  Line line;
  double x = margin;
  for (size_t i = 0; i < text.size(); ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (c != ' ') {
      glyphs::CharBox b = drawChar(f, c, x, baseline, spread, cv);
      b.index = static_cast<int>(i);
      if (b.right > b.left) line.boxes.push_back(b);
    }
    x += advance(f, c, spread) + gap;
  }
  glyphs::GreyImage& img = line.image;
  img.width = w;
  img.height = h;
  img.stride = (w + 3) & ~3;
  img.dpi = static_cast<int>(std::lround(o.dpi));
  img.pixels.assign(static_cast<size_t>(img.stride) * h, 255);
  for (int y = 0; y < h; ++y)
    for (int xx = 0; xx < w; ++xx)
      img.pixels[static_cast<size_t>(y) * img.stride + xx] =
          static_cast<uint8_t>(std::lround(255.0 * (1.0 - cv.v[static_cast<size_t>(y) * w + xx])));
  return line;
}

}  // namespace pvk::fontdb
