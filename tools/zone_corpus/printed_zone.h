// Zones printed by others: text lines set by ImageMagick in the system's font files at a point
// size and resolution, as a host's printer would set them, then degraded like the corpus. Nothing
// here goes through the renderer that draws our font databases, so a reader judged on these
// zones is judged on print it was not made from.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "zone_corpus.h"

namespace pvk::zonecorpus {

struct PrintRequest {
  short font = 3;
  uint16_t typeDoc = 0;
  int dpi = 300;
  double points = 10;            // type size
  std::string fontFile;          // a TrueType or OpenType file
  std::vector<std::string> lines;  // the text, one entry per line
  Conditions cond;
  uint64_t seed = 1;
  // Rows of a neighbouring line the zone takes in, at 300 dpi (scaled by dpi / 300): 0 none,
  // > 0 below the text, < 0 above it. The zone's edge cuts the neighbour's ink through its
  // middle; it is not part of the truth.
  int neighbourRows = 0;
  std::string neighbour;  // the neighbouring line's text
};

// A text font of the printed corpus: the font code that reads it, its document type, the face
// that prints it and the family it is reported under.
struct PrintedFont {
  short font;
  uint16_t typeDoc;
  std::string fontFile;
  std::string family;
};
// OCR-A (2), OCR-B alphanumeric (3) and numeric (4), the payee (945) and amount (944) fonts in
// Liberation Sans.
std::vector<PrintedFont> printedFonts();

// The corpus: for each font, resolution and condition (clean, mild, hard as named in conds),
// perCell one-line zones at 8 to 14 points; for the fonts that keep the best row of a zone (2,
// 4) perCell more whose zone takes in 60 to 65 rows (300 dpi) of a neighbouring line. The text
// is drawn from the font's valid set, with the look-alikes a font confuses (O and 0, Q, W) often.
std::vector<PrintRequest> printedCorpus(const std::vector<int>& dpis, const std::vector<std::string>& conds,
                                        int perCell, uint64_t seed);

// ImageMagick's program, or an empty text when it is not installed.
std::string magickProgram();

// One line set by ImageMagick: grey (0 ink, 255 paper), its own line box (ascent and descent of
// the face) and no margin. Throws std::runtime_error when ImageMagick fails.
glyphs::GreyImage setLine(const std::string& text, const std::string& fontFile, double points, int dpi);

// The zone: the lines stacked at the face's line pitch inside a margin of 0.08 inch left and
// right and a quarter line above and below, the neighbour's half line when asked, then degraded.
Zone printZone(const PrintRequest& r);

}  // namespace pvk::zonecorpus
