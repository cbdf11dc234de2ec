// Test documents of the codeline readers: CMC7 and E13B codeline images drawn from our glyphs at
// any resolution up to 600 dpi, with every symbol, stroke weight and sub-pixel phase, degraded
// (ImageMagick blur and rotation, seeded noise, contrast) and marked (voids in the ink, a stain,
// a signature stroke, a background pattern); mirrored lines for the mirrored CMC7 font; and the
// combined documents, whose magnetic head samples come from the same line through the signal
// synthesiser with columns and samples tied as the readers convert them. The same request gives
// the same bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "glyphs.h"
#include "magsynth.h"

namespace pvk::codelinedocs {

// What happens to a line after drawing. Levels are grey (0 black, 255 white).
struct Degradation {
  std::string name = "clean";
  double strokeWeight = 0;     // pixels added to every stroke's width and height (may be < 0)
  double phaseX = 0;           // sub-pixel shift of the drawing, pixels
  double phaseY = 0;
  uint8_t ink = 0;             // contrast: the grey of full ink and of the paper
  uint8_t paper = 255;
  double blurSigma = 0;        // ImageMagick Gaussian blur, pixels
  double rotationDegrees = 0;  // ImageMagick rotation about the centre, the size kept
  double noiseSigma = 0;       // seeded Gaussian noise per pixel, grey levels
  bool voids = false;          // a few characters lose a spot of their ink
  bool stain = false;          // a light stain over two or three characters
  bool signature = false;      // a pen stroke across the line
  bool pattern = false;        // a light security pattern behind the line
};

// The named conditions of the corpus: clean, stroke (heavy and light ink), phase, blur, noise,
// rotation, contrast, voids, stain, signature, pattern, and "all" (everything mild at once).
// Each is drawn from the seed within its limits; rotation stays within 1 degree.
std::vector<Degradation> conditions(uint32_t seed);
Degradation condition(const std::string& name, uint32_t seed);

struct DocRequest {
  short font = 202;              // 202 or 0 CMC7, 111 mirrored CMC7, 1 or 33 E13B
  std::string text;              // empty: sampleText(font, seed)
  int dpi = 300;                 // 150..600
  Degradation deg;
  uint32_t seed = 1;
  std::vector<int> ordinaryInk;  // characters printed in ordinary ink: seen, never sensed
};

struct Doc {
  glyphs::GreyImage image;
  std::string truth;                   // the text drawn, blanks included
  std::vector<glyphs::CharBox> boxes;  // where each character landed (mirrored with the line)
  short font = 0;
  int dpi = 0;
  bool mirrored = false;
  Degradation deg;
  std::vector<int> ordinaryInk;
  std::string id;                      // a file stem naming font, dpi, condition and seed
};

bool isE13B(short font);
// A line of the font: for CMC7 the Italian cheque layout (separators at 0, 11, 22, 32, 39, 51,
// blanks at 12, 23, 33, 40), for E13B a transit, account and amount layout; digits from the seed.
std::string sampleText(short font, uint32_t seed);
// Every symbol of the font in turn, with blanks between groups (for the symbol coverage sets).
std::string everySymbol(short font);
// Draws a document. Throws std::invalid_argument for a font code or symbol it does not draw.
Doc makeDoc(const DocRequest& r);

// What a document goes through after drawing, on any drawn line: the marks over it (pattern,
// voids, stain, signature, from the seed), ImageMagick's blur and rotation, then the noise.
// Stroke weight, phase and contrast belong to the drawing and are not applied here. Throws
// std::runtime_error when ImageMagick cannot be run.
void degrade(glyphs::GreyImage& img, const std::vector<glyphs::CharBox>& boxes, const Degradation& deg,
             uint64_t seed);

// The magnetic side of a combined document.
struct Magnetic {
  magsynth::Head head;
  magsynth::Signal signal;
  int offset = 0;       // the document's optical-magnetic offset, lines (the head side's edge)
  int rawLines = 0;     // raw lines of the head side (at the head's lines per inch)
};

// The head samples of the document's line. The transport samples the head at its own lines per
// inch (head.linesPerInch, 300 as a scanner runs) whatever the image's dpi: the first cell's
// leading edge lies at image column marginLeft x dpi + phaseX, and a column c at raw line
// c x linesPerInch / dpi + offset, so at sample (c x 300 / dpi + offset - head.refLines) x R / 3
// for a head at 300. Characters in ordinary ink and the marks carry no magnetic ink. Mirrored
// documents have no magnetic side: throws std::invalid_argument.
Magnetic magnetic(const Doc& d, const magsynth::Head& head, int offset, const magsynth::Impairments& imp = {});

// Writes <dir>/<id>.pgm and <dir>/<id>.txt (truth, font, dpi, condition, seed). False when a
// file cannot be written.
bool writeDoc(const std::string& dir, const Doc& d);

}  // namespace pvk::codelinedocs
