// Templates made by the engine: each rendering of a glyph is binarised halfway, segmented as a
// band of its own, and the box around every block found is scaled into the store's cell by the
// engine's scaler, exactly as a block of a read zone would be.
#include <algorithm>
#include <cmath>
#include <cstring>
#include <stdexcept>

#include "core/records.h"
#include "font_db.h"
#include "ocr/ocr.h"

namespace pvk::fontdb {

Line renderTextLine(const DbSpec& db, const std::string& text, const LineOptions& o, int* baselineOut);

namespace {

// A font code whose segmentation suits the database: noise rules and hole joining differ.
short segmentationFont(const DbSpec& db) {
  if (db.isText()) return 9;
  switch (db.drawn) {
    case glyphs::Font::E13B: return 1;
    case glyphs::Font::CMC7: return 202;
    case glyphs::Font::Micro: return 935;
  }
  return 9;
}

glyphs::CodelineOptions drawnOptions(double dpi, double spread) {
  glyphs::CodelineOptions o;
  o.raster.dpi = dpi;
  o.raster.inkSpread = spread;
  o.marginLeft = o.marginRight = 0.05;
  o.marginTop = o.marginBottom = 0.05;
  return o;
}

// Segments the one-bit image as the engine would and returns the union of its blocks.
bool segmentGlyph(const DbSpec& db, GlyphSample& g) {
  std::vector<uint32_t>& band = g.band;
  const int w4 = (g.grey.width + 3) & ~3;
  band.assign(static_cast<size_t>(w4) * g.grey.height, 0);
  for (int y = 0; y < g.grey.height; ++y)
    for (int x = 0; x < g.grey.width; ++x) band[static_cast<size_t>(y) * w4 + x] = g.ink[y * g.grey.stride + x];
  MyOcr.currentFont = segmentationFont(db);
  MyOcr.engineScale = 1.0f;
  MyOcr.charHeight = 0;
  MyOcr.charWidth = 0;
  MyOcr.fixedSize = 0;
  if (ocr_pre_process(band.data(), static_cast<uint16_t>(g.grey.width), static_cast<uint16_t>(g.grey.height)) < 0)
    return false;
  BlockRec all{UINT32_MAX, UINT32_MAX, 0, 0, 0, 0, 0, 0};
  for (unsigned s = 1; s < lastblock; ++s) {
    const BlockRec& b = tblk[s];
    if (b.top == 0) continue;
    all.top = std::min(all.top, b.top);
    all.left = std::min(all.left, b.left);
    all.bottom = std::max(all.bottom, b.bottom);
    all.right = std::max(all.right, b.right);
  }
  if (all.bottom == 0) return false;
  tblk[1] = all;
  stblk[1] = 1;
  if (lastblock < 2) lastblock = 2;
  g.left = static_cast<int>(all.left);
  g.top = static_cast<int>(all.top);
  g.right = static_cast<int>(all.right);
  g.bottom = static_cast<int>(all.bottom);
  return true;
}

}  // namespace

Line renderLine(const DbSpec& db, const std::string& text, const LineOptions& o) {
  if (db.isText()) return renderTextLine(db, text, o, nullptr);
  glyphs::CodelineOptions co = drawnOptions(o.dpi, o.spread + db.baseSpread * o.dpi / 300.0);
  co.marginLeft = co.marginRight = o.margin;
  return glyphs::renderCodeline(db.drawn, text, co);
}

GlyphSample renderGlyph(const DbSpec& db, char c, const Rendering& r) {
  GlyphSample g{};
  if (db.isText()) {
    LineOptions o;
    o.capHeight = r.capHeight;
    o.spread = r.spread;
    o.margin = 0.04;
    int baseline = 0;
    g.grey = renderTextLine(db, std::string(1, c), o, &baseline).image;
    g.lineHeight = static_cast<int>(std::lround(r.capHeight));
    g.lineTop = baseline - g.lineHeight;
  } else {
    g.grey = glyphs::renderCodeline(db.drawn, std::string(1, c), drawnOptions(300, r.spread + db.baseSpread)).image;
    g.lineTop = static_cast<int>(std::lround(0.05 * 300));
    g.lineHeight = static_cast<int>(std::lround(glyphs::lineHeight(db.drawn) * 300));
  }
  g.ink.assign(g.grey.pixels.size(), 0);
  for (size_t i = 0; i < g.grey.pixels.size(); ++i) g.ink[i] = g.grey.pixels[i] < 128 ? 1 : 0;
  g.found = segmentGlyph(db, g);
  return g;
}

std::vector<Template> makeTemplates(const DbSpec& db) {
  std::vector<Template> out;
  for (char c : db.chars) {
    size_t made = 0;
    for (const Rendering& r : db.renderings) {
      GlyphSample g = renderGlyph(db, c, r);
      // A stroke thinner than the engine keeps (a hyphen of a small size) gives no template.
      if (!g.found) continue;
      ++made;
      imag = g.band.data();  // the segmented band, with the union of its blocks in slot 1
      Template t{};
      t.code = static_cast<unsigned char>(c);
      if (!put_std_size_char(1, 1)) throw std::runtime_error(db.name + ": cannot scale '" + std::string(1, c) + "'");
      std::memcpy(t.cell, data_std_bbk[1], sizeof t.cell);
      const BlockRec& b = tblk[1];
      const uint32_t h = b.bottom > b.top ? b.bottom - b.top : 1;
      std::memset(&tattr[1], 0, sizeof tattr[1]);
      tattr[1].aspect = std::clamp<uint32_t>((b.right - b.left) * 32 / h, 4, 96);
      pvk::ocr::lineAttributes(1, 2, static_cast<uint32_t>(std::max(g.lineTop, 0)),
                               static_cast<uint32_t>(std::max(g.lineHeight, 1)));
      std::memcpy(t.attr, &tattr[1], sizeof t.attr);
      out.push_back(t);
    }
    if (made == 0) throw std::runtime_error(db.name + ": the engine finds no block in '" + std::string(1, c) + "'");
  }
  imag = nullptr;
  return out;
}

std::string fileBytes(const std::vector<Template>& t) {
  std::string out;
  auto le32 = [&out](uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
  };
  le32(static_cast<uint32_t>(t.size()));
  for (const Template& x : t) out.push_back(static_cast<char>(x.code));
  for (const Template& x : t)
    for (uint32_t row : x.cell) le32(row);
  for (const Template& x : t) out.append(reinterpret_cast<const char*>(x.attr), sizeof x.attr);
  return out;
}

}  // namespace pvk::fontdb
