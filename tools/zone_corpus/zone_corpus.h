// The zone corpus: grey OCR zone images with their truth, for the accuracy tests and the
// benchmark of the zone reader. Text is drawn from the font files (FreeType) and from our drawn
// codeline and microperforation glyphs at the zone's resolution with the fonts' own advances,
// then degraded (skew, ink and contrast, paper texture, blur, noise). Everything follows from the
// request and its seed: the same request gives the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "glyphs.h"

namespace pvk::zonecorpus {

// How a zone is degraded after drawing. Levels are grey levels (0 black, 255 white).
struct Conditions {
  std::string name = "clean";
  double blurSigma = 0;     // Gaussian blur, pixels
  double noiseSigma = 0;    // Gaussian noise per pixel, grey levels
  double contrast = 1;      // ink to paper difference as a share of the drawn one
  uint8_t ink = 0;          // grey of full ink before the contrast is applied
  uint8_t paper = 255;
  double texture = 0;       // amplitude of the smooth paper texture, grey levels
  double skewDegrees = 0;   // the whole zone turned about its centre
};

// The named condition sets of the corpus. mild: blur up to 0.6 px, noise up to 6 levels,
// contrast down to 60 %, skew up to 0.5 degree; hard goes further and adds paper texture.
// Each is drawn from the seed within its limits.
Conditions clean();
Conditions mild(uint64_t seed);
Conditions hard(uint64_t seed);

struct ZoneRequest {
  short font = 4;
  uint16_t typeDoc = 0;
  int dpi = 300;               // any resolution from 100 to 1200
  int lines = 1;               // 1..3 text lines
  bool italianLayout = false;  // font 202: the Italian cheque codeline
  Conditions cond;
  uint64_t seed = 1;
  std::vector<std::string> text;  // the lines to draw; empty: chosen from the font's valid set
  std::string face;               // which font file draws it ("" chosen from the seed); see faces()
};

struct Zone {
  glyphs::GreyImage image;
  std::vector<std::string> lines;  // the truth, one text per line, blanks as drawn
  short font = 0;
  uint16_t typeDoc = 0;
  int dpi = 0;
  bool italianLayout = false;
  bool backlit = false;  // light holes on a dark ground (938-940)
  Conditions cond;
  std::string face;  // the database name whose font drew it
  std::string id;    // a file stem naming font, typeDoc, dpi, condition and seed
};

// The faces that can draw a font code (database names of the generated font databases).
std::vector<std::string> faces(short font);
// The characters of the engine's valid set for the font and typeDoc that the font's faces draw
// (lower case off, no expected payee). Worked out once per pair; the engine's database list is
// emptied on the way.
std::string drawableSet(short font, uint16_t typeDoc);
// The typeDoc such a zone has on a document.
uint16_t usualTypeDoc(short font, bool italianLayout);
// Text lines for a request, as the reading code expects them for that font.
std::vector<std::string> sampleText(const ZoneRequest& r);
// Draws a zone. Throws std::invalid_argument for a font code the corpus does not know.
Zone makeZone(const ZoneRequest& r);
// Degrades a zone drawn elsewhere (grey, 0 ink, 255 paper) as makeZone degrades its own.
glyphs::GreyImage degradeDrawn(const glyphs::GreyImage& drawn, const Conditions& c, uint64_t seed);

// The fonts of the corpus: 1, 2, 3, 4, 5, 38, 39, 202, 9-12, 935-945.
std::vector<short> corpusFonts();
// Requests of a whole corpus: for each font, dpi of dpis and condition (clean, mild, hard as
// named in conds), perCell zones with 1-3 lines where the font reads several lines; font 202
// both with and without the Italian layout; font 1 at 300 dpi only.
std::vector<ZoneRequest> corpus(const std::vector<short>& fonts, const std::vector<int>& dpis,
                                const std::vector<std::string>& conds, int perCell, uint64_t seed);

// Writes <dir>/<id>.pgm and <dir>/<id>.txt (the truth: font, typeDoc, dpi, condition, face and
// one "line=" entry per text line). False when a file cannot be written.
bool writeZone(const std::string& dir, const Zone& z);

}  // namespace pvk::zonecorpus
