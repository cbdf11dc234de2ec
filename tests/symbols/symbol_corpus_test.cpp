// The symbol corpus: ground truth in our readers' form, exact module widths when drawn, seeded
// degradations, and the peers agreeing with the truth on clean symbols.
#include <gtest/gtest.h>

#include <cmath>

#include "symbol_corpus.h"
#include "symbol_peers.h"

using namespace pvk::corpus;
namespace sb = pvk::peers;

namespace {

ModuleGrid encoded(Symbology s, const std::string& data, bool check = false) {
  SymbolSpec sp;
  sp.symbology = s;
  sp.data = data;
  sp.check = check;
  ModuleGrid g;
  std::string err;
  EXPECT_TRUE(encode(sp, g, &err)) << err;
  return g;
}

std::string truth(Symbology s, const std::string& data, bool check = false, int font = 0) {
  SymbolSpec sp;
  sp.symbology = s;
  sp.data = data;
  sp.check = check;
  ModuleGrid g = encoded(s, data, check);
  return truthFor(sp, g, font);
}

}  // namespace

TEST(SymbolCorpusTruth, EachSymbologyInTheFormOurReadersGive) {
  struct Case {
    Symbology s;
    std::string data;
    bool check;
    int font;
    std::string want;
  } cases[] = {
      {Symbology::Code39, "AB-1", true, 0, "AB-1F"},           // mod 43 check kept
      {Symbology::Code39, "AB-1", false, 0, "AB-1"},
      {Symbology::Code32, "12345678", false, 0, "123456788"},  // nine digits
      {Symbology::Codabar, "A1234B", false, 0, "A1234B"},      // start and stop kept
      {Symbology::Codabar, "A1234B", true, 0, "A12345B"},      // A=16 + 1+2+3+4 + B=17 = 43, +5 = 48
      {Symbology::Code93, "aB", false, 0, "aB"},               // full ASCII expanded, no C/K
      {Symbology::Code128, std::string("A\0B", 3), false, 0, "A\xEC" "B"},
      {Symbology::UpcA, "12345678901", false, 0, "123456789012"},
      {Symbology::UpcA, "12345678901", false, 310, "0123456789012"},
      {Symbology::Ean13, "012345678901", false, 7, "123456789012"},  // read as UPC-A
      {Symbology::Ean13, "012345678901", false, 310, "0123456789012"},
      {Symbology::UpcE, "123455", false, 0, "01234558"},
      {Symbology::Ean8, "1234567", false, 0, "12345670"},
  };
  for (const auto& c : cases)
    EXPECT_EQ(truth(c.s, c.data, c.check, c.font), c.want) << symbologyName(c.s) << " " << c.data;
}

TEST(SymbolCorpusDraw, WholePixelModulesAreExactAndFractionalOnesKeepTheirArea) {
  ModuleGrid g = encoded(Symbology::Code128, "PVK-2024");
  std::vector<int> el = elementModules(g);
  int dark = 0, total = 0;
  for (size_t i = 0; i < el.size(); ++i) dark += i % 2 ? 0 : el[i], total += el[i];
  ASSERT_EQ(total, g.cols);
  for (double px : {2.0, 3.0, 2.25, 1.5}) {
    DrawSpec d;
    d.modulePx = px;
    d.barHeightPx = 20;
    Placement where;
    Image im = render(g, d, degradationFor(0, 1), &where);
    const uint8_t* row = im.row(im.height / 2);
    double ink = 0;
    for (int x = 0; x < im.width; ++x) ink += (235.0 - row[x]) / (235 - 25);
    EXPECT_NEAR(ink, dark * px, im.width / 256.0 + 0.01) << px;
    EXPECT_NEAR(where.right - where.left, g.cols * px, 1.0 / 16);
    if (px != std::floor(px)) continue;
    // Whole-pixel modules: every pixel is paper or ink, and the runs are the modules.
    std::vector<int> runs;
    int x = static_cast<int>(where.left);
    while (x < static_cast<int>(where.right)) {
      uint8_t v = row[x];
      ASSERT_TRUE(v == 25 || v == 235) << x;
      int n = 0;
      while (x < im.width && row[x] == v) ++x, ++n;
      runs.push_back(n);
    }
    ASSERT_EQ(runs.size(), el.size());
    for (size_t i = 0; i < el.size(); ++i) EXPECT_EQ(runs[i], el[i] * static_cast<int>(px)) << i;
  }
}

// Stacked rows keep the encoder's height: a PDF417 row is 3 modules high (drawn 1 high, no row
// survives a scan line of its own), so a symbol at 2 px per module is 6 px a row.
TEST(SymbolCorpusDraw, StackedRowsAreAsHighAsTheEncoderMakesThem) {
  for (const char* data : {"HELLO WORLD 123", "0123456789012345678901234567890123456789"}) {
    ModuleGrid g = encoded(Symbology::Pdf417, data);
    ASSERT_GE(g.rows, 3);
    for (float h : g.rowHeight) EXPECT_FLOAT_EQ(h, 3.f) << data;
    DrawSpec d;
    d.modulePx = 2;
    Placement where;
    Image im = render(g, d, degradationFor(0, 1), &where);
    EXPECT_NEAR(where.bottom - where.top, g.rows * 6.0, 1.0 / 16) << data;
  }
  ModuleGrid qr = encoded(Symbology::QrCode, "HELLO");
  for (float h : qr.rowHeight) EXPECT_FLOAT_EQ(h, 1.f);
}

TEST(SymbolCorpusDegrade, LevelsAreGradedSeededAndRecorded) {
  Degradation d0 = degradationFor(0, 5);
  EXPECT_EQ(describe(d0), "rot=0.00 spread=0.00 voids=0/0.00 scratches=0/0.00 paper=235 ink=25 blur=0.00 noise=0.0 jpeg=0");
  double lastBlur = 0;
  for (int level = 1; level < kLevels; ++level) {
    Degradation d = degradationFor(level, 5);
    EXPECT_EQ(d.level, level);
    EXPECT_GT(d.blurSigmaPx, lastBlur * 0.8);
    EXPECT_GT(d.noiseSigma, 0);
    lastBlur = d.blurSigmaPx;
  }
  SymbolSpec sp{Symbology::Code39, "SEED42", false};
  DrawSpec draw;
  Sample a, b, c;
  ASSERT_TRUE(makeSample(sp, draw, 3, 77, a));
  ASSERT_TRUE(makeSample(sp, draw, 3, 77, b));
  ASSERT_TRUE(makeSample(sp, draw, 3, 78, c));
  EXPECT_EQ(a.image.pixels, b.image.pixels);
  EXPECT_NE(a.image.pixels, c.image.pixels);
  EXPECT_EQ(a.deg.seed, 77u);
  EXPECT_EQ(a.truth, "SEED42");
}

TEST(SymbolCorpusJudges, PeersReadEveryCleanLinearSymbolAsItsTruthAndNothingOnNegatives) {
  for (Symbology s : linearSymbologies()) {
    for (const SymbolSpec& sp : specsFor(s, 2, 3)) {
      DrawSpec d;
      d.xMils = 13;
      Sample smp;
      ASSERT_TRUE(makeSample(sp, d, 0, 1, smp));
      sb::Reading z = sb::readZBar(smp.image, {s});
      sb::Reading x = sb::readZXing(smp.image, {s});
      bool read = false;
      for (const auto& t : z.texts) read |= sb::normalise(s, t, smp.truth) == smp.truth;
      for (const auto& t : x.texts) read |= sb::normalise(s, t, smp.truth) == smp.truth;
      EXPECT_TRUE(read) << smp.id << " truth " << escapeText(smp.truth);
    }
  }
  std::vector<Sample> neg = negativeSet(1, 400, 100, 200, 9);
  ASSERT_EQ(neg.size(), 5u);
  for (const Sample& n : neg) {
    EXPECT_TRUE(n.negative);
    EXPECT_TRUE(sb::readZBar(n.image, {}).texts.empty()) << n.id;
  }
}
