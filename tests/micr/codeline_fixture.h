// A codeline of the MICR tests: the five arrays and the count, built from a text with one cell
// per character at a fixed pitch, and read back as text and confidences.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "micr/micr.h"

namespace pvk::test {

struct Line {
  char text[kCdlChars] = {};
  char conf[kCdlChars] = {};
  int start[kCdlChars] = {};
  int end[kCdlChars] = {};
  int height[kCdlChars] = {};
  int n = 0;

  Line() = default;
  // Entry k spans [first + k * pitch, first + k * pitch + width]; conf c, height k + 2.
  Line(const std::string& t, int c = 50, int pitch = 20, int width = 10, int first = 100) {
    for (char ch : t) add(ch, c, first + n * pitch, first + n * pitch + width);
  }
  Line& add(char ch, int c, int s, int e) {
    text[n] = ch;
    conf[n] = static_cast<char>(c);
    start[n] = s;
    end[n] = e;
    height[n] = n + 2;
    ++n;
    text[n] = 0;
    return *this;
  }
  std::string str() const { return std::string(text, static_cast<size_t>(n)); }
  std::vector<int> confs() const {
    std::vector<int> v;
    for (int i = 0; i < n; ++i) v.push_back(static_cast<signed char>(conf[i]));
    return v;
  }
  // The five-array calls take the line's arrays in this order.
  char* t() { return text; }
};

}  // namespace pvk::test
