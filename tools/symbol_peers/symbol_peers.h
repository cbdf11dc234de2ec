// The peer readers as black boxes: ZXing-cpp and zbar on a grey corpus image, each restricted to
// the symbologies asked for, and their texts put into the form our readers give. Tests check the
// corpus against them; benchmarks set our readers beside them.
#pragma once

#include <string>
#include <vector>

#include "symbol_corpus.h"

namespace pvk::peers {

// What one reader gave for one image, and how long it took.
struct Reading {
  std::vector<std::string> texts;
  double seconds = 0;
};

// Calls of ZXing-cpp that failed an internal assertion (counted as reading nothing).
extern int zxingAborts;

// The peers on a grey image, restricted to these symbologies (empty: every linear one).
Reading readZXing(const corpus::Image& image, const std::vector<corpus::Symbology>& only);
Reading readZBar(const corpus::Image& image, const std::vector<corpus::Symbology>& only);

// A peer's text in the form our readers give (the truth's form): Code 32 from the six Code 39
// characters, Code 128 NUL as 0xEC, UPC-A in 12 digits where an EAN-13 starts with 0, ...
std::string normalise(corpus::Symbology s, const std::string& peerText, const std::string& truth);

}  // namespace pvk::peers
