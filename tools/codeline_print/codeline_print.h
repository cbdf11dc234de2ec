// Codelines printed in E13B and CMC7 fonts that others drew: a TrueType font rendered through
// FreeType at any resolution and printed size, degraded from a seed (clean, mild, hard), the
// magnetic head samples of the same ink, and the cheque it is printed on as the software scanner
// feeds it. The readers are judged on these shapes, not only on our own drawings. The same
// request gives the same bytes.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "codeline_docs.h"
#include "demo_cheque.h"
#include "glyphs.h"
#include "magsynth.h"

namespace pvk::codelineprint {

enum class Micr { E13B, CMC7 };

// A font file and the letter it holds for each of our symbols (digits, and for E13B ':' transit,
// '=' amount, '<' on-us, ';' dash; for CMC7 ':' ';' '<' '=' '>' the separators S1 to S5).
struct FontSpec {
  Micr kind = Micr::E13B;
  std::string file;
  std::string symbols;  // ours, in table order
  std::string letters;  // the font's, one per symbol
};

// The two fonts kept under tests/data/fonts (dir names that folder). GnuMICR: digits, A transit,
// B amount, C on-us, D dash. The CMC7 font: digits 1 to 9, '[' S1, ']' S2, '{' S3, '|' S4; its
// '0' carries the intervals of S2 and is left out, and it has no S5.
FontSpec sharedE13B(const std::string& dir);
FontSpec sharedCMC7(const std::string& dir);

// How a line lies on the paper. The font is scaled so that its character advance is the pitch
// (E13B: digits 0.117 inch high; CMC7: strokes about 0.15 mm wide).
struct Placement {
  double dpi = 300;
  double pitch = 0.125;  // inches per character cell
  double marginLeft = 0.1, marginRight = 0.1, marginTop = 0.1, marginBottom = 0.1;  // inches of paper
  double phaseX = 0, phaseY = 0;  // sub-pixel shift of the whole line, pixels
  double inkSpread = 0;           // pixels added to every stroke's width and height (may be < 0)
};

struct Printed {
  glyphs::Coverage ink;
  std::vector<glyphs::CharBox> boxes;  // one per printed symbol, left to right
};

// A font opened through FreeType (unhinted outlines, so the result depends on the file and the
// arguments only).
class PrintFont {
 public:
  // Throws std::runtime_error when the file cannot be opened or lacks a letter the line needs.
  explicit PrintFont(FontSpec spec);
  ~PrintFont();
  PrintFont(const PrintFont&) = delete;
  PrintFont& operator=(const PrintFont&) = delete;

  const FontSpec& spec() const { return spec_; }
  // Inches from the top of the tallest glyph to the bottom of the lowest at this pitch.
  double inkHeight(double pitch) const;
  // Prints text (our symbols; a blank leaves its cell empty), the font's origin at the left of
  // each cell and its tallest glyph's top at the top margin. Throws std::invalid_argument for a
  // symbol the font does not print.
  Printed print(const std::string& text, const Placement& p) const;

 private:
  struct Face;
  FontSpec spec_;
  std::unique_ptr<Face> face_;
};

// ---- Lines ----------------------------------------------------------------------------------

// A codeline in one of a few cheque layouts (fields of digits between the symbols), digits from
// the seed; CMC7 lines use digits 1 to 9 and S1 to S4 only.
std::string sampleLine(Micr kind, uint32_t seed);

// "clean" (black on white, the line at a sub-pixel phase), "mild" (blur 0.5 px, noise 8, ink 50
// on paper 230), "hard" (blur about 1 px, a stain, noise 12, turned by about 1 degree, ink spread
// about 0.6 px at 300 dpi, weaker contrast). Throws std::invalid_argument for another name.
codelinedocs::Degradation condition(const std::string& name, uint32_t seed);
const std::vector<std::string>& conditionNames();

struct LineRequest {
  std::string text;
  int dpi = 300;
  std::string condition = "clean";
  uint32_t seed = 1;
  double size = 1;  // the print's size to the standard's (0.8: a line printed a fifth smaller)
};

struct Line {
  Micr kind = Micr::E13B;
  glyphs::GreyImage image;
  std::string truth;
  std::vector<glyphs::CharBox> boxes;
  codelinedocs::Degradation deg;
  // The magnetic ink along the line: where the share of the head's track (the font's height)
  // that ink covers steps, in inches from the image's column 0. Measured at 1200 dpi from the same
  // print, before the marks and the blur: what the head senses is the ink, not its picture.
  std::vector<magsynth::InkEdge> profile;
};

// Prints and degrades a line at r.dpi on the default margins. Throws std::invalid_argument for a
// symbol the font does not print, std::runtime_error when ImageMagick cannot be run.
Line printLine(const PrintFont& f, const LineRequest& r);

// The impairments of the head for a condition: some noise on every sample (no head is silent),
// more for mild, and for hard a slow swing of the speed and a wander of the baseline.
magsynth::Impairments headImpairments(const std::string& condition, uint32_t seed);

// Head samples of the line for a reader called directly, tied to its columns as
// codelinedocs::magnetic ties a drawn line's: the head sampled at the transport's 300 lines per
// inch whatever the image's dpi, column c at sample (c x 300 / dpi + offset - refLines) x R / 3.
codelinedocs::Magnetic magnetic(const Line& l, int offset, const magsynth::Impairments& imp);

// ---- Cheques --------------------------------------------------------------------------------

// A cheque with the line printed on its front, as the software scanner feeds it, and the one
// zone that reads it. Zone fonts 0 and 1: fed upright, no head samples. Zone fonts 32 and 33 (and
// 34, either font): fed lengthwise past the head (democheque::alongTravel), with the head samples
// of the line's ink.
struct Cheque {
  democheque::Cheque cheque;  // 6 x 2.67 inches at 300 dpi; paper at the condition's paper grey
  democheque::Transport transport;
  magsynth::Signal head;      // the samples of a lengthwise cheque (transport.micr holds their bytes)
  std::string truth;
  size_t streamBytes = 0;     // the grey raw stream the scanner sends for it
};

// r.dpi must be 300. Throws std::invalid_argument for another zone font or a line that does not
// fit on the cheque.
Cheque printCheque(const PrintFont& f, const LineRequest& r, short zoneFont, const magsynth::Impairments& head);

}  // namespace pvk::codelineprint
