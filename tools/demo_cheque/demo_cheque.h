// Demo cheques: the front of a cheque at 300 dpi composed from the zone corpus (OCR-B line,
// codeline) and the symbol corpus (Code 128, PDF417, DataMatrix), each at a known place with the
// text it holds, and the sides as a software scanner sees them. The same request gives the same
// bytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pvk::democheque {

// One printed item: its zone in pixels of the 300 dpi document (a margin around the print), the
// zone font that reads it, and what was printed.
struct Item {
  std::string what;  // "OCR-B", "Code 128", ...
  short font = 0;
  int left = 0, top = 0, width = 0, height = 0;
  std::string text;
};

struct Cheque {
  int width = 1800, height = 800;  // pixels at 300 dpi (6 x 2.67 inches)
  std::vector<uint8_t> front, rear;  // width x height grey, paper 230
  std::vector<Item> items;
};

// codeline 202 (CMC7) or 1 (E13B).
Cheque makeCheque(short codeline);

// Both sides on a transport of sensorPixels x lines (dark 25), the document at (left, top),
// turned half round when upsideDown. Planes are width x lines bytes.
struct Transport {
  int sensorPixels = 2592, lines = 1100, left = 396, top = 120;
  std::vector<uint8_t> front, rear;
};
Transport onTransport(const Cheque& c, bool upsideDown);

}  // namespace pvk::democheque
