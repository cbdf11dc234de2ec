// The magnetic head signal of a codeline, synthesised from the drawn glyphs and a head model: the
// head bytes a scanner appends to its raw lines, the down-sampled signal a reader works on, and
// the truth of every character. Also draws the same codeline into a document plane, along the
// direction of travel, for the software scanner. Seeded and deterministic.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "glyphs.h"

struct pvkemu_document;

namespace pvk::magsynth {

// How the head turns ink into bytes. The head's output is DC minus gain times the derivative of
// the ink under its gap along the travel (so a rise of ink in sample order reads as a positive
// lobe once the signal is conditioned), sampled at samplesPerInch() and clipped to 0..255.
struct Head {
  int samplesPer3Px = 10;    // R: magnetic bytes per plane slot of a raw line
  int planes = 1;            // plane slots per raw line (the bytes per sample are 3 x planes)
  double linesPerInch = 300; // raw lines per inch of travel
  int refLines = 200;        // the head lies this many raw lines ahead of the optical line
  // Lines by which the document offset the acquisition computes falls short of the document's
  // first row (the box it finds starts half a line above that row, and the offset is
  // truncated): the head's samples follow that offset, so that converting an optical column
  // with it and refLines lands on the column's samples.
  double opticalLag = 1;
  double gap = 0.004;        // width of the head's response to one ink edge, inches (a Hann bump)
  double dc = 128;           // output with no ink in motion
  double gain = 160;         // bytes per unit of track coverage gained per sample
  double track = 0;          // height of the track the head reads, inches; 0: the font's line
  int fine = 8;              // integration steps per sample

  int bytesPerLine() const { return planes * samplesPer3Px; }
  int bytesPerSample() const { return 3 * planes; }
  double samplesPerInch() const { return samplesPer3Px * linesPerInch / 3.0; }
  // Sample position (before any speed variation) of a point of ink at this raw line of the
  // optical frame: (line - refLines - opticalLag) x R / 3.
  double sampleAtLine(double line) const { return (line - refLines - opticalLag) * samplesPer3Px / 3.0; }
};

// A codeline on the document: one cell per character at the pitch, each glyph centred in its
// cell as the optical renderer draws it; a blank leaves its cell empty.
struct Codeline {
  glyphs::Font font = glyphs::Font::CMC7;
  std::string text;
  double startLine = 400;          // raw line (optical frame) of the first cell's leading edge
  double pitch = 0;                // inches between cells; 0: the font's print pitch
  std::vector<double> strength;    // ink of each character, 1 full; missing entries are 1
};

// Impairments of the line and of the head, all off by default. Random choices use the seed.
struct Impairments {
  uint32_t seed = 1;
  double speedVariation = 0;   // relative speed swing of the document (0.03: +-3 %), slow
  double speedPeriod = 1800;   // samples per cycle of that swing
  double gainDrift = 0;        // gain moves linearly from 1 - d to 1 + d along the signal
  double noise = 0;            // standard deviation of the noise on each byte
  double toneAmplitude = 0;    // a hum of this amplitude (bytes) ...
  double toneCyclesPerInch = 7;  // ... and frequency
  double wander = 0;           // amplitude (bytes) of a slow wander of the baseline
  double wanderPeriod = 3000;  // samples per cycle of that wander
  double saturation = 0;       // > 0: the output is clipped to dc +- saturation
  bool inverted = false;       // the head's polarity reversed
  bool mirrored = false;       // samples in reverse order (a head whose reverse-signal flag is set)
  double weakFraction = 0;     // share of characters printed with weakLevel of the ink
  double weakLevel = 0.35;
  double missingFraction = 0;  // share of characters that lose one of their shapes
  int spurious = 0;            // specks of stray ink scattered along the line
  double spacing = 1;          // the pitch multiplied by this (below 1: tight spacing)
};

// Impairments of a grade: 0 none, 1 light, 2 moderate, 3 heavy (every kind at once).
Impairments graded(int grade, uint32_t seed);

// Where a character landed, in samples of the signal as a reader sees it (after the mirror of a
// reversed head is undone).
struct CharTruth {
  char symbol;
  int index;   // position in the text
  int first;   // first sample under its ink
  int last;    // last sample under its ink
  double strength;
};

struct Signal {
  std::vector<uint8_t> bytes;    // head bytes in stream order: bytesPerLine() per raw line
  std::vector<int> samples;      // the down-sampled signal: mean of each bytesPerSample() bytes
  std::vector<CharTruth> truth;  // the drawn characters, left to right
  int rawLines = 0;
  int bytesPerLine = 0;
};

// The ink profile along the travel: positions (inches from the first cell's leading edge) where
// the share of the track covered by ink steps, and the step. Blank cells add nothing.
struct InkEdge {
  double at;
  double step;
  int character;  // index in the text; -1 for stray ink
};
std::vector<InkEdge> inkEdges(const Codeline& line, double track = 0, const Impairments& imp = {});

// The head signal of a codeline over rawLines raw lines. Throws std::invalid_argument for a
// symbol the font does not draw or a head without samples.
Signal synthesise(const Head& head, const Codeline& line, int rawLines, const Impairments& imp = {});

// The head signal of any ink given as its profile along the travel (`at` in inches from the raw
// line startLine of the optical frame), over rawLines raw lines: print drawn by others, its
// profile measured from the pixels. The signal carries no truth; the impairments act on the head
// and the travel only (the ink's own are for drawn lines). Throws std::invalid_argument for a
// head without samples.
Signal synthesise(const Head& head, const std::vector<InkEdge>& profile, double startLine, int rawLines,
                  const Impairments& imp = {});

// Draws the codeline into a document plane of width x height bytes (one row per raw line, 300
// pixels per inch across): the text runs down the rows from line.startLine, the glyphs' tops at
// column `top` (or at the right, `top` being the column of the glyphs' top edge, when flipAcross).
// Missing and stray ink of the impairments are drawn too (weak ink prints as dark as any).
void drawCodeline(const Head& head, const Codeline& line, uint8_t* plane, int width, int height, int top,
                  const Impairments& imp = {}, bool flipAcross = false, uint8_t ink = 40);

// Points the document's magnetic fields at the signal's bytes (which must outlive the feed).
void attach(const Signal& s, const Head& head, pvkemu_document& doc);

}  // namespace pvk::magsynth
