// The ink of a codeline after its impairments: the shapes of each character, placed in inches
// from the first cell's leading edge (x along the travel, y down from the line's top).
#pragma once

#include <cstdint>
#include <vector>

#include "magsynth.h"

namespace pvk::magsynth::detail {

struct PlacedInk {
  int character;  // index in the text, -1 for stray ink
  char symbol;
  double strength;
  std::vector<glyphs::Shape> shapes;
};

std::vector<PlacedInk> placeInk(const Codeline& line, const Impairments& imp);

// A small seeded generator that gives the same numbers on every platform.
class Random {
 public:
  explicit Random(uint32_t seed) : state_(seed * 2654435761u + 0x9E3779B9u) {}
  uint32_t next();
  double uniform();   // [0, 1)
  double gaussian();  // mean 0, deviation 1

 private:
  uint64_t state_;
};

}  // namespace pvk::magsynth::detail
