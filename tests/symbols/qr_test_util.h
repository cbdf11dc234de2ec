// Reading a module grid through the QR symbol model, and bit vectors made by hand.
#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

#include "qr_grids.h"
#include "symbols/symbols.h"

namespace qrtest {

struct Reading {
  bool initOk = false;
  bool result = false;
  std::string text;
  int version = 0;
  char level = 0;
  int mask = -1;
};

// Draws the grid at `pixels` per module (no quiet zone) and reads it with a capacity.
inline Reading readGrid(const pvk::qrgen::Grid& grid, int pixels, unsigned short capacity = 60000) {
  Reading r;
  cv::Mat img = pvk::qrgen::drawGrid(grid, pixels);
  IplImage ipl = cvIplImage(img);
  Symbol s;
  s.image = &ipl;
  s.moduleSize = pixels;
  r.initOk = s.init();
  std::vector<char> out(capacity + 1, '\x7f');
  unsigned short len = capacity;
  r.result = s.getCodeWords(out.data(), &len);
  r.text.assign(out.data(), len);
  r.version = s.version;
  r.level = s.getECCInfo();
  r.mask = s.getMaskInfo();
  return r;
}

inline void appendBits(std::vector<uint16_t>& bits, unsigned value, int n) {
  for (int i = n - 1; i >= 0; --i) bits.push_back((value >> i) & 1);
}

}  // namespace qrtest
