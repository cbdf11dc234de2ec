// A codeline font file through FreeType: each glyph's outline taken in font units and scaled so
// that the font's advance is the print pitch (a char size would be rounded to whole pixels per
// em by fonts that ask for it), moved to its sub-pixel place, thickened by the ink spread and
// rendered as area coverage into one canvas.
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H

#include <algorithm>
#include <cmath>
#include <stdexcept>

#include "codeline_print.h"

namespace pvk::codelineprint {

namespace {

FT_Pos to26Dot6(double px) { return static_cast<FT_Pos>(std::lround(px * 64)); }

}  // namespace

FontSpec sharedE13B(const std::string& dir) {
  return {Micr::E13B, dir + "/GnuMICR.ttf", "0123456789:=<;", "0123456789ABCD"};
}

FontSpec sharedCMC7(const std::string& dir) {
  return {Micr::CMC7, dir + "/CMC7.ttf", "123456789:;<=", "123456789[]{|"};
}

struct PrintFont::Face {
  FT_Library lib = nullptr;
  FT_Face face = nullptr;
  double advance = 0;  // font units of the first letter's advance: one cell
  double top = 0;      // font units above the baseline of the tallest letter
  double bottom = 0;   // font units of the lowest letter's bottom (negative below the baseline)
  ~Face() {
    if (face) FT_Done_Face(face);
    if (lib) FT_Done_FreeType(lib);
  }
};

PrintFont::PrintFont(FontSpec spec) : spec_(std::move(spec)), face_(std::make_unique<Face>()) {
  if (spec_.symbols.size() != spec_.letters.size() || spec_.letters.empty())
    throw std::runtime_error("font spec without one letter per symbol");
  if (FT_Init_FreeType(&face_->lib) != 0) throw std::runtime_error("FreeType cannot start");
  if (FT_New_Face(face_->lib, spec_.file.c_str(), 0, &face_->face) != 0)
    throw std::runtime_error("cannot open font " + spec_.file);
  face_->top = -1e9;
  face_->bottom = 1e9;
  for (char letter : spec_.letters) {
    const FT_UInt g = FT_Get_Char_Index(face_->face, static_cast<unsigned char>(letter));
    if (g == 0 || FT_Load_Glyph(face_->face, g, FT_LOAD_NO_SCALE) != 0)
      throw std::runtime_error(spec_.file + " has no letter " + letter);
    FT_BBox box;
    FT_Outline_Get_CBox(&face_->face->glyph->outline, &box);
    face_->top = std::max(face_->top, static_cast<double>(box.yMax));
    face_->bottom = std::min(face_->bottom, static_cast<double>(box.yMin));
    if (face_->advance == 0) face_->advance = static_cast<double>(face_->face->glyph->metrics.horiAdvance);
  }
  if (face_->advance <= 0) throw std::runtime_error(spec_.file + " has no advance");
}

PrintFont::~PrintFont() = default;

double PrintFont::inkHeight(double pitch) const { return (face_->top - face_->bottom) / face_->advance * pitch; }

namespace {

// Renders the outline now in the slot (font units) at scale pixels per unit with its origin at
// (x, baseline) of the canvas, adding its coverage; returns where its ink landed.
glyphs::CharBox drawGlyph(FT_GlyphSlot slot, double scale, double x, double baseline, double spread,
                          glyphs::Coverage& cv) {
  glyphs::CharBox box{0, 0, 0, 0, 0, 0, cv.width, 0, cv.height, 0};
  FT_Outline* o = &slot->outline;
  const auto m = static_cast<FT_Fixed>(std::lround(scale * 64 * 65536));  // 16.16, to 26.6 pixels
  FT_Matrix toPixels{m, 0, 0, m};
  FT_Outline_Transform(o, &toPixels);
  if (spread != 0) FT_Outline_EmboldenXY(o, to26Dot6(spread), to26Dot6(spread));
  const int ox = static_cast<int>(std::floor(x)), oy = static_cast<int>(std::floor(baseline));
  // FreeType's y runs up: a baseline lower on the canvas is a shift down.
  FT_Outline_Translate(o, to26Dot6(x - ox), -to26Dot6(baseline - oy));
  FT_BBox cb;
  FT_Outline_Get_CBox(o, &cb);
  box.x0 = ox + cb.xMin / 64.0;
  box.x1 = ox + cb.xMax / 64.0;
  box.y0 = oy - cb.yMax / 64.0;
  box.y1 = oy - cb.yMin / 64.0;
  if (FT_Render_Glyph(slot, FT_RENDER_MODE_NORMAL) != 0) throw std::runtime_error("FreeType cannot render");
  const FT_Bitmap& bm = slot->bitmap;
  const int x0 = ox + slot->bitmap_left, y0 = oy - slot->bitmap_top;
  for (unsigned r = 0; r < bm.rows; ++r)
    for (unsigned c = 0; c < bm.width; ++c) {
      const int px = x0 + static_cast<int>(c), py = y0 + static_cast<int>(r);
      const uint8_t a = bm.buffer[r * static_cast<unsigned>(std::abs(bm.pitch)) + c];
      if (a == 0 || px < 0 || py < 0 || px >= cv.width || py >= cv.height) continue;
      float& dst = cv.value[static_cast<size_t>(py) * cv.width + px];
      dst = std::min(1.0f, dst + a / 255.0f);
      box.left = std::min(box.left, px);
      box.right = std::max(box.right, px + 1);
      box.top = std::min(box.top, py);
      box.bottom = std::max(box.bottom, py + 1);
    }
  return box;
}

}  // namespace

Printed PrintFont::print(const std::string& text, const Placement& p) const {
  if (p.dpi <= 0 || p.pitch <= 0) throw std::invalid_argument("no print size");
  const double cell = p.pitch * p.dpi;
  const double scale = cell / face_->advance;  // pixels per font unit
  Printed out;
  out.ink.width = static_cast<int>(std::ceil((p.marginLeft + p.pitch * text.size() + p.marginRight) * p.dpi));
  out.ink.height = static_cast<int>(std::ceil((p.marginTop + inkHeight(p.pitch) + p.marginBottom) * p.dpi));
  out.ink.value.assign(static_cast<size_t>(out.ink.width) * out.ink.height, 0.0f);
  const double baseline = p.marginTop * p.dpi + face_->top * scale + p.phaseY;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ') continue;
    const size_t k = spec_.symbols.find(text[i]);
    if (k == std::string::npos) throw std::invalid_argument(std::string("the font prints no '") + text[i] + "'");
    if (FT_Load_Char(face_->face, static_cast<unsigned char>(spec_.letters[k]), FT_LOAD_NO_SCALE) != 0)
      throw std::runtime_error("FreeType cannot load a glyph of " + spec_.file);
    const double x = p.marginLeft * p.dpi + cell * static_cast<double>(i) + p.phaseX;
    glyphs::CharBox box = drawGlyph(face_->face->glyph, scale, x, baseline, p.inkSpread, out.ink);
    box.symbol = text[i];
    box.index = static_cast<int>(i);
    out.boxes.push_back(box);
  }
  return out;
}

}  // namespace pvk::codelineprint
