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
// zone font that reads it, and what was printed (for a text, without its blanks: a zone added
// with option 0 reads it so).
struct Item {
  std::string what;  // "OCR-B", "Code 128", ...
  short font = 0;
  int left = 0, top = 0, width = 0, height = 0;
  std::string text;
};

// A codeline in magnetic ink: drawn by the transport that carries it along the travel, where the
// magnetic head senses it, at (x, y) of the document (the first cell's leading edge, the glyphs'
// top).
struct MagneticLine {
  bool cmc7 = false;
  std::string text;
  int x = 0, y = 0;
};

struct Cheque {
  int width = 1800, height = 800;  // pixels at 300 dpi (6 x 2.67 inches)
  std::vector<uint8_t> front, rear;  // width x height grey, paper 230
  std::vector<Item> items;
  MagneticLine micr;  // empty text: the codeline is printed on the front
};

// codeline 202 (CMC7) or 1 (E13B). With magneticInk the codeline is not on the front but in
// `micr`, its item read with the magnetic zone font (32 CMC7, 33 E13B), named "CMC7 magnetic
// codeline" or "E13B magnetic codeline".
Cheque makeCheque(short codeline, bool magneticInk = false);

// Prints one more Code 128 (10 mils) at (x, y) and adds its item with the zone font given;
// downward: turned a quarter to the right, its bars across the cheque, read from top to bottom.
void addCode128(Cheque& c, const std::string& what, short font, const std::string& data, int x, int y,
                bool downward = false);

// Both sides on a transport of sensorPixels x lines (dark 25), the document at (left, top),
// turned half round when upsideDown. Planes are width x lines bytes.
struct Transport {
  int sensorPixels = 2592, lines = 1100, left = 396, top = 120;
  std::vector<uint8_t> front, rear;
  std::vector<uint8_t> micr;  // magnetic head bytes in stream order; empty: the rest level
  int micrPerSlot = 0;        // head bytes per plane slot of a raw line; 0: the head is off
};
Transport onTransport(const Cheque& c, bool upsideDown);

// The cheque fed lengthwise, its front on the side the magnetic head of the software scanner's
// full profile reads (the rear sensor), the codeline along the travel at the head, as a scanner
// with that head turns it upright. The magnetic line is drawn there, and with samples its head
// bytes are synthesised for `planes` plane slots per raw line (1 grey, 3 colour), with the noise
// of a head; without them the head sends its rest level (micr empty, micrPerSlot still set).
Transport alongTravel(const Cheque& c, bool samples, int planes);

}  // namespace pvk::democheque
