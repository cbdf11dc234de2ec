// The zone corpus judged from outside: the same request gives the same bytes, the text has the
// shape each font's readers expect, backlit zones are inverted, the scoring tells its errors
// apart. Tesseract judges the text-font zones in the benchmark (too slow under the sanitizers).
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "ocr_base_fixture.h"
#include "zone_corpus.h"
#include "zone_score.h"

namespace pvk::test {
namespace {

using namespace pvk::zonecorpus;

double meanGrey(const glyphs::GreyImage& g) {
  double s = 0;
  for (int y = 0; y < g.height; ++y)
    for (int x = 0; x < g.width; ++x) s += g.at(x, y);
  return s / (static_cast<double>(g.width) * g.height);
}

class ZoneCorpus : public OcrBaseTest {};

TEST_F(ZoneCorpus, TheSameRequestGivesTheSameBytes) {
  ZoneRequest r;
  r.font = 945;
  r.typeDoc = 3;
  r.dpi = 240;
  r.cond = hard(5);
  r.seed = 5;
  const Zone a = makeZone(r), b = makeZone(r);
  EXPECT_EQ(a.image.pixels, b.image.pixels);
  EXPECT_EQ(a.lines, b.lines);
  EXPECT_EQ(a.id, b.id);
  r.seed = 6;
  EXPECT_NE(makeZone(r).image.pixels, a.image.pixels);
}

TEST_F(ZoneCorpus, TextHasTheShapeOfEachFont) {
  for (const ZoneRequest& r : corpus(corpusFonts(), {300}, {"clean"}, 2, 11)) {
    const std::vector<std::string> lines = sampleText(r);
    const std::string set = drawableSet(r.font, r.typeDoc);
    ASSERT_FALSE(set.empty()) << r.font;
    ASSERT_GE(lines.size(), 1u);
    ASSERT_LE(lines.size(), 3u);
    for (const std::string& l : lines) {
      ASSERT_FALSE(l.empty()) << r.font;
      EXPECT_NE(l.front(), ' ');
      EXPECT_NE(l.back(), ' ');
      for (char c : l) EXPECT_TRUE(c == ' ' || set.find(c) != std::string::npos) << r.font << " '" << c << "' in " << l;
    }
    if (r.font == 1 || r.font == 202 || r.font == 39 || (r.font >= 935 && r.font <= 944)) {
      EXPECT_EQ(lines.size(), 1u) << r.font;
    }
    if (r.font == 39) {
      EXPECT_EQ(lines[0].size(), 13u);
    }
    if (r.font == 202 && r.italianLayout) {
      const std::string& l = lines[0];
      ASSERT_EQ(l.size(), 33u);
      EXPECT_EQ(l[12], ' ');
      EXPECT_EQ(l[23], ' ');
      for (size_t p : {0u, 11u, 22u, 32u}) EXPECT_NE(std::string(":;<=>").find(l[p]), std::string::npos) << l;
    }
    if (r.font == 944 || r.font == 937) {
      EXPECT_NE(lines[0].find_first_of(",/"), std::string::npos) << lines[0];
    }
  }
}

TEST_F(ZoneCorpus, ConditionsStayWithinTheirLimits) {
  for (uint64_t s = 1; s < 40; ++s) {
    const Conditions m = mild(s);
    EXPECT_LE(m.blurSigma, 0.6);
    EXPECT_LE(m.noiseSigma, 6.0);
    EXPECT_GE(m.contrast, 0.6);
    EXPECT_LE(std::fabs(m.skewDegrees), 0.5);
    EXPECT_EQ(m.texture, 0.0);
  }
  ZoneRequest r;
  r.font = 938;
  r.typeDoc = 3;
  EXPECT_TRUE(makeZone(r).backlit);
  EXPECT_LT(meanGrey(makeZone(r).image), 128) << "light holes on a dark ground";
  r.font = 935;
  EXPECT_GT(meanGrey(makeZone(r).image), 128);
  r.font = 77;
  EXPECT_THROW(makeZone(r), std::invalid_argument);
}

TEST(ZoneScore, ErrorsAreToldApart) {
  const struct {
    std::vector<std::string> truth;
    std::string text, conf;
    bool keepBlanks, bestRow;
    long errors, subs, rejects, ins, del, confW;
  } cases[] = {
      {{"AB CD"}, "ABCD", "\x50\x50\x50\x50", false, false, 0, 0, 0, 0, 0, 0},
      {{"AB CD"}, "ABCD", "\x50\x50\x50\x50", true, false, 1, 0, 0, 0, 1, 0},
      {{"ABCD"}, "AXC?", "\x50\x31\x50\x01", false, false, 2, 1, 1, 0, 0, 0},   // X at 49: not confident
      {{"ABCD"}, "AXCD", "\x50\x32\x50\x50", false, false, 1, 1, 0, 0, 0, 1},   // X at 50: confident
      {{"ABCD"}, "ABCDE", "", false, false, 1, 0, 0, 1, 0, 0},
      {{"ABC", "DEF"}, "ABC\r\nDEF", "", false, false, 0, 0, 0, 0, 0, 0},
      {{"ABC", "DEF"}, "DEF", "", false, true, 0, 0, 0, 0, 0, 0},
      {{"ABC", "DEF"}, "DEF", "", false, false, 4, 0, 0, 0, 4, 0},
  };
  for (const auto& c : cases) {
    const Tally t = scoreReading(c.truth, c.text, c.conf, c.keepBlanks, c.bestRow);
    EXPECT_EQ(t.errors, c.errors) << c.text;
    EXPECT_EQ(t.substitutions, c.subs) << c.text;
    EXPECT_EQ(t.rejects, c.rejects) << c.text;
    EXPECT_EQ(t.insertions, c.ins) << c.text;
    EXPECT_EQ(t.deletions, c.del) << c.text;
    EXPECT_EQ(t.confidentWrong, c.confW) << c.text;
    EXPECT_EQ(t.exact, c.errors == 0 ? 1 : 0);
  }
}

}  // namespace
}  // namespace pvk::test
