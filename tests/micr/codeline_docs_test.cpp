// The codeline test documents: what the reader tests take as truth must hold, or every rate
// measured on them is wrong: boxes on the ink, mirrored boxes with the mirrored line, and the
// magnetic samples of a character where the readers' conversion puts its columns.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <string>

#include "codeline_docs.h"
#include "micr/micr.h"

namespace cd = pvk::codelinedocs;

namespace {

cd::Doc draw(short font, const std::string& condition, uint32_t seed = 3, int dpi = 300) {
  cd::DocRequest r;
  r.font = font;
  r.dpi = dpi;
  r.seed = seed;
  r.deg = cd::condition(condition, seed);
  return cd::makeDoc(r);
}

// The darkest grey inside a box and the darkest grey of the column strip just outside it.
int darkestIn(const cd::Doc& d, int x0, int x1) {
  int v = 255;
  for (int y = 0; y < d.image.height; ++y)
    for (int x = std::max(0, x0); x < std::min(d.image.width, x1); ++x) v = std::min<int>(v, d.image.at(x, y));
  return v;
}

}  // namespace

TEST(CodelineDocs, TheSameRequestGivesTheSameBytesAndEveryConditionDiffersFromClean) {
  const cd::Doc clean = draw(202, "clean");
  for (const cd::Degradation& deg : cd::conditions(3)) {
    SCOPED_TRACE(deg.name);
    cd::DocRequest r;
    r.font = 202;
    r.seed = 3;
    r.deg = deg;
    const cd::Doc a = cd::makeDoc(r), b = cd::makeDoc(r);
    EXPECT_EQ(a.image.pixels, b.image.pixels);
    EXPECT_EQ(a.truth, clean.truth);
    if (deg.name != "clean") {
      EXPECT_NE(a.image.pixels, clean.image.pixels);
    }
    if (deg.name == "rotation") {
      EXPECT_LE(std::abs(deg.rotationDegrees), 1.0);
    }
  }
  EXPECT_THROW(draw(202, "smudge"), std::invalid_argument);
  EXPECT_THROW(draw(7, "clean"), std::invalid_argument);
}

TEST(CodelineDocs, BoxesHoldTheInkAndFollowAMirroredLine) {
  for (short font : {202, 111, 1}) {
    SCOPED_TRACE(font);
    const cd::Doc d = draw(font, "clean");
    const size_t drawn = static_cast<size_t>(std::count_if(d.truth.begin(), d.truth.end(), [](char c) { return c != ' '; }));
    ASSERT_EQ(d.boxes.size(), drawn);
    for (size_t k = 0; k < d.boxes.size(); ++k) {
      const auto& b = d.boxes[k];
      EXPECT_LT(darkestIn(d, b.left, b.right), 64) << k;
      // The column just left of a box is paper: boxes are not shifted by the mirror.
      EXPECT_GT(darkestIn(d, b.left - 1, b.left), 200) << k;
      if (k > 0) {
        EXPECT_LT(d.boxes[k - 1].right, b.left) << k;
      }
    }
    // Mirrored boxes run left to right over the reversed text.
    if (font == 111) {
      EXPECT_EQ(d.boxes.front().symbol, d.truth.back());
    }
  }
}

TEST(CodelineDocs, MagneticSamplesLieWhereTheReadersPutTheColumns) {
  // The readers convert a column with the head's reference offset and samples per three pixels.
  const int16_t savedRef = MyMICR.refOffset;
  const uint16_t savedRatio = MyMICR.samplesPer3Px;
  pvk::magsynth::Head head;
  MyMICR.refOffset = static_cast<int16_t>(head.refLines);
  MyMICR.samplesPer3Px = static_cast<uint16_t>(head.samplesPer3Px);
  for (short font : {202, 1}) {
    cd::DocRequest r;
    r.font = font;
    r.seed = 5;
    r.deg = cd::condition("phase", 5);
    r.ordinaryInk = {3};
    const cd::Doc d = cd::makeDoc(r);
    const cd::Magnetic m = cd::magnetic(d, head, 40);
    ASSERT_EQ(m.signal.truth.size(), d.boxes.size());
    for (size_t k = 0; k < d.boxes.size(); ++k) {
      int s = d.boxes[k].left, e = d.boxes[k].right - 1;
      IniOttico2IniMagnetico(1, &s, &e, m.offset);
      const auto& t = m.signal.truth[k];
      // Within one column's samples (R / 3 = 3.3) and the rounding of each side.
      EXPECT_NEAR(t.first, s, 5) << font << " char " << k;
      EXPECT_NEAR(t.last, e, 5) << font << " char " << k;
      EXPECT_EQ(t.strength, t.index == 3 ? 0.0 : 1.0) << k;
    }
  }
  EXPECT_THROW(cd::magnetic(draw(111, "clean"), head, 40), std::invalid_argument);
  MyMICR.refOffset = savedRef;
  MyMICR.samplesPer3Px = savedRatio;
}
