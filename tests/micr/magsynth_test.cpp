// The head signal synthesiser: its rates, the lobes of one stroke once conditioned, polarity and
// mirror, the truth of each character, seeded impairments, and the codeline drawn for the optics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <vector>

#include "magsynth.h"
#include "micr/micr.h"

namespace {

using pvk::glyphs::Font;
namespace ms = pvk::magsynth;

ms::Codeline cmc7(const std::string& text, double startLine = 400) {
  ms::Codeline c;
  c.font = Font::CMC7;
  c.text = text;
  c.startLine = startLine;
  return c;
}

// The signal as the reading loop conditions it first: moving average, inverted around its mean.
std::vector<int> conditioned(const ms::Signal& s) {
  std::vector<int> in = s.samples, out(in.size());
  MediaMobile(in.data(), out.data(), 0, static_cast<int>(in.size()), static_cast<int>(in.size()), false);
  return out;
}

int argMax(const std::vector<int>& v, int from, int to) {
  return static_cast<int>(std::max_element(v.begin() + from, v.begin() + to) - v.begin());
}
int argMin(const std::vector<int>& v, int from, int to) {
  return static_cast<int>(std::min_element(v.begin() + from, v.begin() + to) - v.begin());
}

TEST(MagSynth, BytesPerRawLineAndSamplesPerInch) {
  struct Case {
    int r, planes;
    double lines;
    int bytesPerLine, samples;  // for 600 raw lines
  } cases[] = {{10, 1, 300, 10, 2000}, {10, 3, 300, 30, 2000}, {12, 1, 250, 12, 2400}, {15, 1, 200, 15, 3000}};
  for (const Case& c : cases) {
    ms::Head h;
    h.samplesPer3Px = c.r;
    h.planes = c.planes;
    h.linesPerInch = c.lines;
    const ms::Signal s = ms::synthesise(h, cmc7("0123"), 600);
    EXPECT_EQ(s.bytesPerLine, c.bytesPerLine);
    EXPECT_EQ(s.bytes.size(), 600u * c.bytesPerLine);
    EXPECT_EQ(s.samples.size(), static_cast<size_t>(c.samples));
    EXPECT_DOUBLE_EQ(h.samplesPerInch(), c.r * c.lines / 3);
    // One cell of 0.125 inch apart: 125 samples at 1,000 samples per inch.
    ASSERT_EQ(s.truth.size(), 4u);
    EXPECT_NEAR(s.truth[1].first - s.truth[0].first, 0.125 * h.samplesPerInch(), 1.0);
  }
}

TEST(MagSynth, TruthOfEachCharacterIsItsInk) {
  // Defaults: 1,000 samples per inch; the first cell at line 400 is sample (400 - 201) x 10 / 3;
  // a CMC7 glyph is 2.35 mm wide, centred in its 0.125-inch cell.
  const ms::Signal s = ms::synthesise(ms::Head{}, cmc7("5 =", 400), 1200);
  ASSERT_EQ(s.truth.size(), 2u);
  const double glyph = 2.35 / 25.4 * 1000, cell = 1990.0 / 3;
  const double x0 = cell + (125 - glyph) / 2;
  EXPECT_EQ(s.truth[0].symbol, '5');
  EXPECT_EQ(s.truth[0].first, static_cast<int>(x0));
  EXPECT_EQ(s.truth[0].last, static_cast<int>(std::ceil(x0 + glyph)) - 1);
  EXPECT_EQ(s.truth[1].symbol, '=');
  EXPECT_EQ(s.truth[1].index, 2);
  EXPECT_EQ(s.truth[1].first, static_cast<int>(x0 + 250));
}

TEST(MagSynth, OneStrokeGivesAPositiveThenANegativeLobe) {
  // The first stroke of a CMC7 '6': 0.15 mm (6 samples) of ink over four fifths of the line; the
  // next stroke follows 12 samples after its start.
  const ms::Signal s = ms::synthesise(ms::Head{}, cmc7("6"), 900);
  const std::vector<int> c = conditioned(s);
  const int lead = s.truth[0].first;
  const int top = argMax(c, lead - 4, lead + 4), bottom = argMin(c, lead + 2, lead + 10);
  EXPECT_GT(c[top], 20);
  EXPECT_LT(c[bottom], -20);
  EXPECT_NEAR(bottom - top, 6, 1);
  for (int i = 40; i < lead - 8; ++i) ASSERT_LE(std::abs(c[i]), 1) << "no signal before the ink, " << i;
}

TEST(MagSynth, InvertedAndMirroredHeads) {
  const ms::Signal plain = ms::synthesise(ms::Head{}, cmc7("0:9"), 1000);
  ms::Impairments inv;
  inv.inverted = true;
  const ms::Signal inverted = ms::synthesise(ms::Head{}, cmc7("0:9"), 1000, inv);
  for (size_t i = 0; i < plain.samples.size(); ++i)
    ASSERT_NEAR(inverted.samples[i] - 128, 128 - plain.samples[i], 1) << i;
  ms::Impairments mir;
  mir.mirrored = true;
  const ms::Signal mirrored = ms::synthesise(ms::Head{}, cmc7("0:9"), 1000, mir);
  std::vector<int> back = mirrored.samples;
  ASSERT_TRUE(SpecchiaMICR(back.data(), static_cast<int>(back.size())));
  EXPECT_EQ(back, plain.samples);
  EXPECT_EQ(mirrored.truth[0].first, plain.truth[0].first) << "truth as the reader sees it";
  // Stream order: the last sample's bytes come first.
  EXPECT_EQ(mirrored.bytes[0], plain.bytes[plain.samples.size() * 3 - 1]);
}

TEST(MagSynth, SamplesAreTheMeanOfTheirBytes) {
  ms::Head h;
  h.planes = 3;
  ms::Impairments noisy;
  noisy.noise = 4;
  const ms::Signal s = ms::synthesise(h, cmc7("123"), 500, noisy);
  const int k = h.bytesPerSample();
  for (size_t i = 0; i < s.samples.size(); ++i) {
    int sum = 0;
    for (int j = 0; j < k; ++j) sum += s.bytes[i * k + j];
    ASSERT_EQ(s.samples[i], sum / k);
  }
  int differ = 0;
  for (size_t i = 0; i + 1 < s.bytes.size(); i += k) differ += s.bytes[i] != s.bytes[i + 1];
  EXPECT_GT(differ, 100) << "noise lies on each byte";
}

TEST(MagSynth, ImpairmentsAreSeededAndGraded) {
  const ms::Codeline line = cmc7("0123456789:;<=>", 300);
  const ms::Signal clean = ms::synthesise(ms::Head{}, line, 2600);
  EXPECT_EQ(ms::synthesise(ms::Head{}, line, 2600, ms::graded(0, 7)).bytes, clean.bytes);
  for (int grade = 1; grade <= 3; ++grade) {
    const ms::Signal a = ms::synthesise(ms::Head{}, line, 2600, ms::graded(grade, 11));
    EXPECT_EQ(ms::synthesise(ms::Head{}, line, 2600, ms::graded(grade, 11)).bytes, a.bytes) << grade;
    EXPECT_NE(ms::synthesise(ms::Head{}, line, 2600, ms::graded(grade, 12)).bytes, a.bytes) << grade;
    EXPECT_NE(a.bytes, clean.bytes);
  }
  // A weak character reads weaker by its share; a missing shape takes edges away; stray ink
  // adds edges that belong to no character.
  ms::Codeline weak = line;
  weak.strength = {1, 0.4};
  const std::vector<int> full = conditioned(clean), faint = conditioned(ms::synthesise(ms::Head{}, weak, 2600));
  const ms::CharTruth& t = clean.truth[1];
  const int a = *std::max_element(full.begin() + t.first - 3, full.begin() + t.last + 3);
  const int b = *std::max_element(faint.begin() + t.first - 3, faint.begin() + t.last + 3);
  EXPECT_NEAR(b, 0.4 * a, 2);
  ms::Impairments gone;
  gone.missingFraction = 1;
  gone.spurious = 3;
  const std::vector<ms::InkEdge> all = ms::inkEdges(line), fewer = ms::inkEdges(line, 0, gone);
  const auto stray = std::count_if(fewer.begin(), fewer.end(), [](const ms::InkEdge& e) { return e.character < 0; });
  EXPECT_EQ(stray, 6);
  EXPECT_EQ(all.size(), 15u * 14);
  EXPECT_EQ(fewer.size() - stray, 15u * 12);
}

TEST(MagSynth, SpeedVariationMovesTheTruthWithTheInk) {
  ms::Impairments swing;
  swing.speedVariation = 0.04;
  swing.speedPeriod = 700;
  const ms::Codeline line = cmc7("0000000000", 300);
  const ms::Signal plain = ms::synthesise(ms::Head{}, line, 2000), moved = ms::synthesise(ms::Head{}, line, 2000, swing);
  const std::vector<int> c = conditioned(moved);
  int shifted = 0;
  for (size_t i = 0; i < moved.truth.size(); ++i) {
    const ms::CharTruth& t = moved.truth[i];
    shifted += t.first != plain.truth[i].first;
    // The strongest lobe of the character's first stroke sits at its first sample.
    EXPECT_NEAR(argMax(c, t.first - 5, t.first + 6), t.first, 2) << i;
  }
  EXPECT_GT(shifted, 3);
}

TEST(MagSynth, TheCodelineDrawnForTheOpticsRunsDownTheRows) {
  // Ink of a character starts at line startLine + its offset in the cell, across at `top`.
  ms::Head h;
  const ms::Codeline line = cmc7("08", 100);
  std::vector<uint8_t> plane(200 * 400, 230);
  ms::drawCodeline(h, line, plane.data(), 200, 400, 50, {}, false, 20);
  auto dark = [&](int x, int y) { return plane[static_cast<size_t>(y) * 200 + x] < 125; };
  const double offset = (0.125 - 2.35 / 25.4) / 2 * 300;
  int firstRow = -1;
  for (int y = 0; y < 400 && firstRow < 0; ++y)
    for (int x = 0; x < 200; ++x)
      if (dark(x, y)) {
        firstRow = y;
        break;
      }
  EXPECT_NEAR(firstRow, 100 + offset, 1.0);
  int left = 200, right = -1;
  for (int x = 0; x < 200; ++x)
    if (dark(x, firstRow + 1)) left = std::min(left, x), right = std::max(right, x);
  // Across the rows: the first piece of the first stroke, cut to the outline of the '0'.
  const pvk::glyphs::Shape& first = pvk::glyphs::glyph(Font::CMC7, '0')->shapes.front();
  EXPECT_NEAR(left, 50 + first.y0 * 300, 1);
  EXPECT_NEAR(right - left + 1, (first.y1 - first.y0) * 300, 2);
  // Second cell: 0.125 inch = 37.5 lines later.
  bool inkAtSecond = false;
  for (int x = 0; x < 200; ++x) inkAtSecond |= dark(x, static_cast<int>(100 + offset + 37.5 + 1));
  EXPECT_TRUE(inkAtSecond);
  EXPECT_THROW(ms::synthesise(h, cmc7("0A"), 100), std::invalid_argument);
}

}  // namespace
