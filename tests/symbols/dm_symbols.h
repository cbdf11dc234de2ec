// DataMatrix test symbols: module grids from the two independent encoders (libdmtx, libzint)
// and their drawings at a given module size.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace dmtest {

struct ModuleGrid {
  int rows = 0, cols = 0;
  std::vector<unsigned char> dark;       // row-major, 1 = dark module
  std::vector<unsigned char> codewords;  // data then check codewords (libdmtx only)
  bool ok = false;
  bool at(int r, int c) const { return dark[static_cast<size_t>(r) * cols + c] != 0; }
};

// libdmtx with an encodation scheme ('a', 'c', 't', 'x', 'e', '8', 'b') and a size index
// (-2 square automatic, -3 rectangle automatic, or 0.. in the libdmtx size order).
ModuleGrid dmtxGrid(const std::string& text, char scheme = 'a', int sizeIdx = -2);

struct ZintOptions {
  int size = 0;           // option_2: 0 automatic
  bool square = true;
  bool gs1 = false;
  int eci = 0;
  int appendIndex = 0, appendCount = 0;
};
ModuleGrid zintGrid(const std::string& data, const ZintOptions& o = {});

// The grid drawn at px pixels per module (dark 0, light 255) inside a light quiet zone.
cv::Mat drawGrid(const ModuleGrid& g, int px, int quiet = 0);

// Our entry on a grey zone (stride = width), with the DataMatrix resolution set to dpi.
std::string readOurs(const uint8_t* pixels, int width, int height, int dpi);
// libdmtx on the same zone, giving up after timeoutMs; empty when it reads nothing.
std::string readLibdmtx(const uint8_t* pixels, int width, int height, int timeoutMs);

}  // namespace dmtest
