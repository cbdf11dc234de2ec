// The codeline readers called directly on a printed line, each reading starting from the OCR
// state of a host's default zone read of side 1 (the INI's defaults, no blanks kept): ReadOCR
// with the font's optical font, ReadCMCHor, and ReadE13BVert with the head samples of the line's
// ink in the MICR state. For the benchmark and the tests, which link the library's internals.
#pragma once

#include <string>

#include "codeline_print.h"

namespace pvk::codelineprint {

enum class Reader { Ocr, CmcHor, E13BVert };

// "ReadOCR 1", "ReadOCR 202", "ReadCMCHor", "ReadE13BVert".
std::string readerName(Reader r, Micr kind);

struct DirectReading {
  int n = 0;             // the reader's result
  std::string text;      // n characters when n > 0
  std::string conf;
  double seconds = 0;    // thread CPU time of the reader's call alone
};

// dbDir: the font databases' directory. head: the head's impairments, for E13BVert only. The
// MICR state is left disabled. Throws std::invalid_argument for a reader of the other font.
DirectReading readDirect(Reader r, const Line& l, const std::string& dbDir, const magsynth::Impairments& head = {});

}  // namespace pvk::codelineprint
