// The codeline readers called directly on lines printed in fonts that others drew: a few
// representative lines, and how often each symbol reads right. Every gate is the level measured
// when it was set: a ratchet that may only go up. When a reader reads more, raise its gates to
// what the test reports ("may rise"); never lower one. First, that the print is the size the
// readers are promised and that the head senses it where the optical columns say.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "codeline_scan.h"
#include "micr/micr.h"
#include "ocr/ocr.h"
#include "print_read.h"
#include "saved_records.h"
#include "zone_score.h"

namespace cp = pvk::codelineprint;
using pvk::zonecorpus::Tally;

namespace {

const std::string kFonts = PVK_TEST_DATA_DIR "/fonts";

class CodelinePrint : public ::testing::Test {
 protected:
  void SetUp() override {
    struct stat st;
    if (::stat((kFonts + "/GnuMICR.ttf").c_str(), &st) != 0 || ::stat((kFonts + "/CMC7.ttf").c_str(), &st) != 0)
      GTEST_SKIP() << "no codeline fonts under " << kFonts;
  }
  static Tally read(cp::Micr kind, cp::Reader r, const std::string& text, const std::string& condition,
                    uint32_t seed, int dpi = 300, double size = 1) {
    const cp::PrintFont f(kind == cp::Micr::E13B ? cp::sharedE13B(kFonts) : cp::sharedCMC7(kFonts));
    const cp::Line l = cp::printLine(f, {text, dpi, condition, seed, size});
    const cp::DirectReading d = cp::readDirect(r, l, PVK_FONT_DB_DIR, cp::headImpairments(condition, seed));
    return pvk::zonecorpus::scoreReading({l.truth}, d.text, d.conf, false, false);
  }
  pvk::testing::SavedRecords saved_;
};

constexpr cp::Micr E13B = cp::Micr::E13B, CMC7 = cp::Micr::CMC7;
constexpr cp::Reader Ocr = cp::Reader::Ocr, E13BVert = cp::Reader::E13BVert, CmcHor = cp::Reader::CmcHor;

}  // namespace

// The cell pitch and the glyph heights at each resolution, to a 64th of a pixel (where the
// outlines are placed); the first lobe of the head signal where the first ink column lies.
TEST_F(CodelinePrint, PrintKeepsPitchAndHeightAndTheHeadSensesItWhereItLies) {
  struct Case {
    cp::Micr kind;
    const char* text;
    double heightUnits;  // of the glyphs printed, in advances of the font (one advance is a cell)
  };
  const Case cases[] = {{E13B, "0808", 702.0 / 751}, {CMC7, "1919", 800.0 / 751}};
  for (const Case& c : cases)
    for (int dpi : {300, 240, 200}) {
      SCOPED_TRACE(testing::Message() << c.text << " at " << dpi << " dpi");
      const cp::PrintFont f(c.kind == E13B ? cp::sharedE13B(kFonts) : cp::sharedCMC7(kFonts));
      const cp::Line l = cp::printLine(f, {c.text, dpi, "clean", 5});
      ASSERT_EQ(l.boxes.size(), 4u);
      const double cell = 0.125 * dpi;
      EXPECT_NEAR(l.boxes[2].x0 - l.boxes[0].x0, 2 * cell, 1.0 / 64);
      EXPECT_NEAR(l.boxes[3].x1 - l.boxes[1].x1, 2 * cell, 1.0 / 64);
      EXPECT_NEAR(l.boxes[0].y1 - l.boxes[0].y0, c.heightUnits * cell, 1.0 / 32);
      pvk::magsynth::Impairments quiet;
      const pvk::codelinedocs::Magnetic m = cp::magnetic(l, 520, quiet);
      size_t first = 0;
      while (first < m.signal.samples.size() && std::abs(m.signal.samples[first] - 128) < 8) ++first;
      // The head runs at 300 lines per inch whatever the image's dpi.
      const double expected = (l.boxes[0].x0 * 300 / dpi + 520 - m.head.refLines) * m.head.samplesPer3Px / 3.0;
      EXPECT_NEAR(static_cast<double>(first), expected, 4);
    }
}

// Lines of the benchmark's layouts, at 300 dpi and the standard size unless named (the seed
// chooses layout, digits and phase). A gate equal to the line's length asks for the line exactly,
// nothing added.
TEST_F(CodelinePrint, RepresentativeLinesReadAtLeastAsWellAsWhenTheirGatesWereSet) {
  struct Case {
    cp::Micr kind;
    cp::Reader reader;
    const char* condition;
    uint32_t seed;
    long right;  // characters read right, at least
    int dpi = 300;
    double size = 1;  // of the print to the standard's
  };
  const Case cases[] = {
      {E13B, E13BVert, "clean", 4, 38}, {E13B, E13BVert, "mild", 7, 38}, {E13B, E13BVert, "clean", 7, 38},
      {E13B, Ocr, "clean", 10, 38},     {CMC7, CmcHor, "clean", 1, 37},   {CMC7, CmcHor, "mild", 11, 28},
      {CMC7, Ocr, "clean", 3, 35},      {CMC7, CmcHor, "hard", 5, 28},    {CMC7, CmcHor, "clean", 6, 37, 200},
      {CMC7, Ocr, "mild", 8, 37, 240},   {E13B, E13BVert, "clean", 2, 27, 200}, {E13B, E13BVert, "mild", 3, 27, 240},
      {CMC7, CmcHor, "clean", 2, 37, 300, 0.72}, {CMC7, CmcHor, "hard", 4, 26, 300, 1.2},
      {E13B, Ocr, "clean", 2, 27, 300, 1.2},     {E13B, Ocr, "mild", 3, 27, 300, 0.75},
      {E13B, Ocr, "hard", 9, 37, 300, 0.71},     {CMC7, Ocr, "clean", 2, 37, 300, 1.2},
      {CMC7, Ocr, "mild", 5, 28, 300, 0.75},
  };
  for (const Case& c : cases) {
    const std::string text = cp::sampleLine(c.kind, c.seed);
    SCOPED_TRACE(cp::readerName(c.reader, c.kind) + " " + c.condition + " " + std::to_string(c.dpi) + " " +
                 std::to_string(c.size) + " " + text);
    const Tally t = read(c.kind, c.reader, text, c.condition, c.seed, c.dpi, c.size);
    EXPECT_GE(t.right(), c.right);
    EXPECT_EQ(t.confidentWrong, 0);
    if (c.right == t.chars) {
      EXPECT_EQ(t.exact, 1);
    }
    if (t.right() > c.right) std::printf("may rise: %s seed %u to %ld\n", text.c_str(), c.seed, t.right());
  }
}

// Each symbol twice in each of two lines, one clean and one mild: how many of its four prints each
// reader reads right.
TEST_F(CodelinePrint, EachSymbolReadsRightAtLeastAsOftenAsWhenItsGateWasSet) {
  struct Lines {
    cp::Micr kind;
    cp::Reader second;
    const char* clean;
    const char* mild;
  };
  const Lines lines[] = {{E13B, E13BVert, ":0123456789: 9876543210< ;=<;=", "<5678901234< ;4321098765; =::="},
                         {CMC7, CmcHor, ":123456789; 987654321< =:;<=", "<456789123= 321987654: ;<=:;"}};
  Tally byReader[2][2];  // [font][optical OCR, second reader]
  for (int k = 0; k < 2; ++k)
    for (int r = 0; r < 2; ++r) {
      const cp::Reader reader = r ? lines[k].second : Ocr;
      byReader[k][r].add(read(lines[k].kind, reader, lines[k].clean, "clean", 1));
      byReader[k][r].add(read(lines[k].kind, reader, lines[k].mild, "mild", 2));
    }
  struct Gate {
    cp::Micr kind;
    char symbol;
    long ocr, second;  // of 4, by ReadOCR with the optical font, and by ReadE13BVert or ReadCMCHor
  };
  const Gate gates[] = {
      {E13B, '0', 4, 4}, {E13B, '1', 4, 4}, {E13B, '2', 4, 4}, {E13B, '3', 4, 4}, {E13B, '4', 4, 4},
      {E13B, '5', 4, 4}, {E13B, '6', 4, 4}, {E13B, '7', 4, 4}, {E13B, '8', 4, 4}, {E13B, '9', 4, 4},
      {E13B, ':', 4, 4}, {E13B, '=', 4, 4}, {E13B, '<', 4, 4}, {E13B, ';', 4, 4},  // transit amount on-us dash
      {CMC7, '1', 4, 4}, {CMC7, '2', 4, 4}, {CMC7, '3', 4, 4}, {CMC7, '4', 4, 4}, {CMC7, '5', 4, 4},
      {CMC7, '6', 4, 4}, {CMC7, '7', 4, 4}, {CMC7, '8', 4, 4}, {CMC7, '9', 4, 4},
      {CMC7, ':', 4, 4}, {CMC7, ';', 4, 4}, {CMC7, '<', 4, 4}, {CMC7, '=', 4, 4},  // S1 to S4
  };
  for (const Gate& g : gates) {
    const int k = g.kind == E13B ? 0 : 1;
    const long got[2] = {byReader[k][0].bySymbol[g.symbol].right, byReader[k][1].bySymbol[g.symbol].right};
    SCOPED_TRACE(testing::Message() << (k ? "CMC7 '" : "E13B '") << g.symbol << "'");
    EXPECT_EQ(byReader[k][0].bySymbol[g.symbol].total, 4);
    EXPECT_GE(got[0], g.ocr);
    EXPECT_GE(got[1], g.second);
    if (got[0] > g.ocr || got[1] > g.second)
      std::printf("may rise: %s '%c' to %ld, %ld\n", k ? "CMC7" : "E13B", g.symbol, got[0], got[1]);
  }
}

// The head's symbols are told apart in samples of print at the standard pitch: the signal of a
// line printed a quarter larger is stretched out of them, and what the recogniser finds there
// must not confirm the optical line nor fill its gaps. The optical reading: the line's 0s and 4s
// at their boxes, what the engine once read of it at its own resolution, which the head then
// "confirmed" and filled with confident wrong digits.
TEST_F(CodelinePrint, TheHeadOfALinePrintedOffSizeConfirmsNothing) {
  const cp::PrintFont f(cp::sharedE13B(kFonts));
  const cp::Line l = cp::printLine(f, {cp::sampleLine(E13B, 19), 300, "clean", 19, 1.25});
  cp::readDirect(Ocr, l, PVK_FONT_DB_DIR);  // leaves the default OCR state
  pvk::codelinedocs::Magnetic mag = cp::magnetic(l, 520, cp::headImpairments("clean", 19));
  OcrReading o{};
  for (const auto& b : l.boxes)
    if (b.symbol == '0' || b.symbol == '4') {
      o.text[o.n] = b.symbol;
      o.conf[o.n] = 100;
      o.info[o.n].left = static_cast<uint16_t>(b.left);
      o.info[o.n++].right = static_cast<uint16_t>(b.right);
    }
  pvk::codelinedocs::installHeadSamples(mag);
  MyOcr.currentFont = 33;
  char text[129] = {}, conf[129] = {};
  pvk::glyphs::GreyImage image = l.image;
  EXPECT_EQ(pvk::micr::combineE13B(image.view(), o, text, conf, 128), 0) << text;
}
