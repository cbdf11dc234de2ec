// The codeline print benchmark's cells: which reader read which font at which resolution and
// condition, the tally of its readings and its time, and the two halves that fill them (the
// readers called directly, the scan-and-read call on the software scanner).
#pragma once

#include <string>
#include <vector>

#include "codeline_print.h"
#include "zone_score.h"

namespace pvk::printbench {

namespace cp = pvk::codelineprint;

// Raw stream bytes per second of a USB 2.0 high-speed link.
constexpr double kUsbBytesPerSecond = 40e6;

struct Options {
  int lines = 20;                  // lines per cell
  std::vector<int> dpis = {300, 240, 200};
  bool e13b = true, cmc7 = true;   // fonts
  bool direct = true, scan = true; // halves
};

struct Cell {
  std::string reader;
  cp::Micr kind;
  int dpi;
  std::string condition;
  std::string size;         // of the print to the standard's: "1", or the range of a cell's lines
  zonecorpus::Tally tally;  // seconds: thread CPU time of the readings
  double usbSeconds = 0;    // the documents' raw streams on USB 2.0, summed over the lines
};

class Cells {
 public:
  Cell& at(const std::string& reader, cp::Micr kind, int dpi, const std::string& condition,
           const std::string& size = "1");
  const std::vector<Cell>& all() const { return cells_; }

 private:
  std::vector<Cell> cells_;
};

// Thread CPU seconds so far (the kernel's clock: the software scanner's virtual clock stays out).
double threadSeconds();

// The reading of one line scored against its truth (blanks left out on both sides).
zonecorpus::Tally score(const std::string& truth, const char* text, const char* conf, int n, double seconds);

// The readers called directly on printed lines: ReadOCR with the font's optical font, and
// ReadCMCHor (CMC7) or ReadE13BVert with the head samples of the same ink (E13B). Also lines
// printed narrow and wide at 300 dpi (the font at 0.71 to 0.79 and 1.15 to 1.25 of its size).
void readDirect(const cp::PrintFont& font, const Options& o, Cells& cells);

// PVKImgScan1 on cheques carrying printed lines, on the software scanner: the optical zone fonts
// (0, 1) fed upright, the magnetic ones (32, 33, and 34 in either font) fed lengthwise with head
// samples. False when the library cannot be opened on the software scanner.
bool readScanned(const std::vector<const cp::PrintFont*>& fonts, const Options& o, Cells& cells);

}  // namespace pvk::printbench
