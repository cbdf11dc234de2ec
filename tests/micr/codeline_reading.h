// The reading a zone reader gives for a drawn codeline: its truth at the drawn boxes (in reading
// order, blanks spanning the gap between their neighbours), every entry at one confidence; and
// what a codeline reader hands out, gathered for the tests.
#pragma once

#include <algorithm>
#include <string>
#include <vector>

#include "codeline_docs.h"
#include "ocr/ocr.h"

namespace pvk::codelinedocs {

// What a codeline reader handed out: its count, and its text, confidences and boxes when it
// read something.
struct Reading {
  int n = 0;
  std::string text;
  std::vector<int> conf;
  std::vector<ChInfo> info;
};

inline OcrReading readingOf(const Doc& d, int conf = 90) {
  OcrReading o{};
  std::string text = d.truth;
  if (d.mirrored) std::reverse(text.begin(), text.end());
  size_t box = 0;
  for (size_t k = 0; k < text.size() && o.n < kOcrUsableChars; ++k) {
    ChInfo& c = o.info[o.n];
    c.agreement = 1;
    const auto& near = d.boxes[std::min(box, d.boxes.size() - 1)];
    c.top = static_cast<uint16_t>(near.top);
    c.bottom = static_cast<uint16_t>(near.bottom);
    if (text[k] == ' ') {
      c.left = static_cast<uint16_t>(box > 0 ? d.boxes[box - 1].right : 0);
      c.right = static_cast<uint16_t>(box < d.boxes.size() ? d.boxes[box].left : d.image.width);
    } else {
      c.left = static_cast<uint16_t>(d.boxes[box].left);
      c.right = static_cast<uint16_t>(d.boxes[box].right);
      ++box;
    }
    o.text[o.n] = text[k];
    o.conf[o.n] = static_cast<char>(conf);
    ++o.n;
  }
  return o;
}

}  // namespace pvk::codelinedocs
