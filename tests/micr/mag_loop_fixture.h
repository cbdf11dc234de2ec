// Shared by the reading-loop tests: a codeline's arrays, the records the loop reads saved and
// restored around each test, synthesised lines installed as head bytes with the guide their
// truth gives, and one reading.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "magsynth.h"
#include "micr/micr.h"
#include "saved_records.h"

namespace pvk::testing {

struct MagLine {
  char text[kCdlChars] = {}, conf[kCdlChars] = {};
  int start[kCdlChars] = {}, end[kCdlChars] = {};
  int n = 0;
  std::string str() const { return std::string(text, static_cast<size_t>(n)); }
  // The text with each character's confidence and span, for failure messages.
  std::string detail() const {
    std::string d;
    for (int i = 0; i < n; ++i)
      d += std::string(1, text[i]) + "(" + std::to_string(static_cast<unsigned char>(conf[i])) + " " +
           std::to_string(start[i]) + "-" + std::to_string(end[i]) + ") ";
    return d;
  }
};

class MagRecords : public ::testing::Test {
 protected:
  void SetUp() override {
    fNameDatiMICR = nullptr;
    MyOcr.cdlMicr = 0;
  }
  SavedRecords saved;
};

// Head bytes for the loop: the head enabled, not reversed, planes and font as given.
inline void installSamples(std::vector<uint8_t>& bytes, int planes, int font) {
  MyMICR.enabled = 1;
  MyMICR.samples = bytes.empty() ? nullptr : bytes.data();
  MyMICR.nSamples = bytes.size();
  MyMICR.reverse = 0;
  MyAcq.planesPerLine = static_cast<uint8_t>(planes);
  MyOcr.currentFont = static_cast<int16_t>(font);
}

// Reads the installed samples over [from, to] with a guide.
inline int readMag(MagLine& out, MagLine& guide, int from, int to) {
  guide.text[guide.n] = 0;
  out.n = LetturaMag(out.text, out.conf, out.start, out.end, from, to, guide.text, guide.conf, guide.start, guide.end,
                     guide.n);
  return out.n;
}

// A synthesised line from raw line 500, and its optical guide (confidence 60): each
// character's first and last column of ink, a column being R / 3 samples, converted to samples
// as the combined readers convert optical positions ([toSample(first), toSample(last + 1))).
struct MagSynth {
  magsynth::Signal signal;
  MagLine guide;
  int to = 0;
};
inline MagSynth synthesiseLine(const std::string& text, glyphs::Font font, const magsynth::Impairments& imp,
                               int rawLines = 2200) {
  magsynth::Head head;
  magsynth::Codeline line;
  line.font = font;
  line.text = text;
  line.startLine = 500;
  MagSynth s;
  s.signal = magsynth::synthesise(head, line, rawLines, imp);
  for (const magsynth::CharTruth& t : s.signal.truth) {
    MagLine& g = s.guide;
    g.text[g.n] = t.symbol;
    g.conf[g.n] = 60;
    const int r = head.samplesPer3Px;
    const auto toSample = [r](int column) { return column * r / 3; };
    g.start[g.n] = toSample(t.first * 3 / r);
    g.end[g.n] = toSample(t.last * 3 / r + 1) - 1;
    ++g.n;
  }
  s.to = static_cast<int>(s.signal.samples.size());
  return s;
}

}  // namespace pvk::testing
