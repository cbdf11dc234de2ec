// QR module grids from the two independent encoders, zint and qrencode, run as command-line
// programs, and their drawing into grey images: the QR tables generator and the tests read them.
#pragma once

#include <opencv2/core.hpp>

#include <cstdint>
#include <string>
#include <vector>

namespace pvk::qrgen {

// [row][column], 1 for a dark module; empty when the encoder refused or failed.
using Grid = std::vector<std::vector<uint8_t>>;

struct ZintOptions {
  int version = 0;     // 1..40, 0 lets the encoder choose
  int level = 0;       // 1 L, 2 M, 3 Q, 4 H; 0 for the encoder's default
  int mask = -1;       // 0..7, -1 lets the encoder choose
  bool binary = false; // bytes as they are, no character set conversion
  std::string extra;   // further command-line options
};

Grid zintQr(const std::string& payload, const ZintOptions& options);
Grid zintQr(const std::string& payload, int version, int level, int mask = -1, bool binary = false,
            const std::string& extra = "");

// qrencode at version `version` or the next larger one that holds the payload; level 'L',
// 'M', 'Q' or 'H'. kanji: the payload is Shift JIS and pairs of it go in Kanji mode;
// eightBit: every byte in byte mode.
Grid qrencodeQr(const std::string& payload, int version, char level, bool kanji = false, bool eightBit = false);

// The grid as an 8-bit grey image, modules of `pixels` square (0 dark, 255 light) inside
// `quiet` light modules on every side.
cv::Mat drawGrid(const Grid& grid, int pixels, int quiet = 0);

// Level letter of a zint level number (1 L .. 4 H) and the level bits of the format
// information (M 0, L 1, H 2, Q 3).
char levelLetter(int zintLevel);
int levelBits(char letter);

}  // namespace pvk::qrgen
