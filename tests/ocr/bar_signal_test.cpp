// Module counts, the cleaned copy of a barcode zone, the edge signal of a band (its edges at
// the module boundaries of an encoder's symbol), and the band searches' fall-backs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "ocr/ocr.h"
#include "symbol_corpus.h"

using namespace pvk::corpus;

namespace {

calcModstr mods(std::initializer_list<uint32_t> values) {
  calcModstr m{};
  for (uint32_t v : values) m.e[++m.count].value = v;
  return m;
}

PVKImg viewOf(Image& im) {
  return PVKImg{static_cast<uint16_t>(im.width), static_cast<uint16_t>(im.height), static_cast<uint16_t>(im.width),
                static_cast<uint16_t>(im.dpi), im.pixels.data()};
}

// Every element boundary from x on, in samples (half pixels), for elements el modules wide.
std::vector<int> boundaries(double x, const std::vector<int>& el, double px) {
  std::vector<int> want{static_cast<int>(2 * x + 0.5)};
  for (int e : el) {
    x += e * px;
    want.push_back(static_cast<int>(2 * x + 0.5));
  }
  return want;
}

// The edges of out (2 w samples) are want, within tol samples, rising and falling in turn.
void expectEdgesAt(const std::vector<int>& out, int w, const std::vector<int>& want, int tol, double px) {
  std::vector<int> got;
  for (int i = 0; i < 2 * w; ++i)
    if (out[i]) got.push_back(i);
  ASSERT_EQ(got.size(), want.size()) << px;
  for (size_t i = 0; i < want.size(); ++i) {
    EXPECT_NEAR(got[i], want[i], tol) << px << " edge " << i;
    EXPECT_EQ(out[got[i]] > 0, i % 2 == 0) << px << " edge " << i << ": rising edges open the bars";
  }
}

}  // namespace

TEST(ModuleCounts, WidthsBecomeWholeModulesWithTheirResiduals) {
  calcModstr m = mods({10, 20, 30});
  EXPECT_FLOAT_EQ(NormalizzaValore(&m, 60, 6), 0.0f);
  EXPECT_EQ(m.e[1].value, 1u);
  EXPECT_EQ(m.e[2].value, 2u);
  EXPECT_EQ(m.e[3].value, 3u);
  EXPECT_FLOAT_EQ(m.e[3].residual, 0.0f);
  // 14 over 4 modules of 3.5... one unit is 3.5: 7/3.5 = 2, 5/3.5 = 1.43 -> 1 (+0.43), 2/3.5 -> 1 (-0.43).
  m = mods({7, 5, 2});
  EXPECT_NEAR(NormalizzaValore(&m, 14, 4), 0.4286f, 1e-3);
  EXPECT_EQ(m.e[2].value, 1u);
  EXPECT_EQ(m.e[3].value, 1u);
  EXPECT_EQ(NormalizzaValore(nullptr, 10, 2), 0.0f);
  EXPECT_EQ(NormalizzaValore(&m, 10, 0), 0.0f);
  // A unit below half a sample is held at 0.5.
  m = mods({1});
  NormalizzaValore(&m, 1, 10);
  EXPECT_EQ(m.e[1].value, 2u);
}

TEST(ModuleCounts, CorrectionMovesTheLargestResidualAndCountsTies) {
  calcModstr m{};
  m.count = 3;
  float r[] = {0.1f, -0.3f, 0.25f};
  for (int i = 0; i < 3; ++i) m.e[i + 1] = {3, r[i]};
  ASSERT_TRUE(correggiMod(&m, 0));
  EXPECT_EQ(m.e[2].value, 2u);
  EXPECT_EQ(m.e[2].residual, 0.0f);
  EXPECT_TRUE(correggiMod(&m, 0));  // then 0.25 upwards
  EXPECT_EQ(m.e[3].value, 4u);
  EXPECT_FALSE(correggiMod(&m, 0));  // 0.1 is within 0.2
  // Two equal residuals: the second is chosen only when a tie is asked for.
  calcModstr t{};
  t.count = 2;
  t.e[1] = {2, 0.4f};
  t.e[2] = {2, -0.4f};
  calcModstr t2 = t;
  ASSERT_TRUE(correggiMod(&t, 1));
  EXPECT_EQ(t.e[2].value, 1u);
  EXPECT_FALSE(correggiMod(&t2, 2));
}

TEST(Pulisci, SevenRowsAreRefusedAndTheCopyIsInvertedAndStretched) {
  std::vector<uint8_t> px(40 * 12, 200);
  for (int y = 0; y < 12; ++y)
    for (int x = 10; x < 20; ++x) px[y * 40 + x] = 30;
  PVKImg src{40, 7, 40, 300, px.data()}, dst{};
  MyDev.lastResult = 99;
  EXPECT_FALSE(pulisci(&src, &dst, 0));
  EXPECT_EQ(MyDev.lastResult, 0);
  EXPECT_EQ(dst.data, nullptr);
  src.height = 12;
  ASSERT_TRUE(pulisci(&src, &dst, 0));
  EXPECT_EQ(dst.stride, 40);
  EXPECT_GT(dst.data[5 * 40 + 15], dst.data[5 * 40 + 30]);  // bars bright, paper dark
  EXPECT_EQ(dst.data[5 * 40 + 30], 0);
  for (int x = 0; x < 40; ++x) EXPECT_EQ(dst.data[11 * 40 + x], 0);  // the last row stays 0
  std::free(dst.data);
  src.width = 39;
  src.stride = 40;
  ASSERT_TRUE(pulisci(&src, &dst, 0));
  EXPECT_EQ(dst.stride, 40);
  std::free(dst.data);
}

TEST(Pulisci, WidthsThatWrapTheStrideAreRefused) {
  uint8_t px[16] = {};
  for (uint16_t w : {65533, 65534, 65535}) {
    PVKImg src{w, 8, w, 300, px}, dst{};
    MyDev.lastResult = 0;
    EXPECT_FALSE(pulisci(&src, &dst, 0));
    EXPECT_EQ(MyDev.lastResult, -3);
  }
  PVKImg none{64, 8, 64, 300, nullptr}, dst{};
  EXPECT_FALSE(pulisci(&none, &dst, 0));
  EXPECT_FALSE(pulisci(nullptr, &dst, 0));
}

TEST(BarSignal, EdgesOfACleanSymbolLieOnItsModuleBoundaries) {
  for (double px : {2.0, 3.0, 4.0}) {
    SymbolSpec sp{Symbology::Code128, "EDGE-42"};
    DrawSpec d;
    d.modulePx = px;
    d.barHeightPx = 30;
    d.marginPx = 2;
    Sample s;
    ASSERT_TRUE(makeSample(sp, d, 0, 1, s));
    PVKImg img = viewOf(s.image), clean{};
    ASSERT_TRUE(pulisci(&img, &clean, 0));
    int w = img.width;
    std::vector<int> sig(2 * w + 16), out(2 * w + 16);
    ASSERT_TRUE(normalizzaBarcode(&clean, sig.data(), out.data(), 24));
    std::free(clean.data);
    expectEdgesAt(out, w, boundaries(s.where.left, elementModules(s.grid), px), 1, px);
  }
}

// The edge signal of one PDF417 row: an edge of the right sign at every element boundary, down
// to one pixel per module, where a bar, a one-pixel space and the next bar lie within four
// samples. A scan that resumed two samples after its stop lost the rising edge after a narrow
// space and shifted the falling ones.
TEST(BarSignal, PdfRowEdgesLieOnEveryElementBoundary) {
  for (double px : {1.0, 2.0, 3.0}) {
    SymbolSpec sp{Symbology::Pdf417, "ROW EDGES 0123"};
    DrawSpec d;
    d.modulePx = px;
    d.quietModules = 2;
    d.marginPx = 2;
    Sample s;
    ASSERT_TRUE(makeSample(sp, d, 0, 1, s));
    ASSERT_GE(s.grid.rows, 3);
    PVKImg img = viewOf(s.image), clean{};
    ASSERT_TRUE(pulisci(&img, &clean, -60));
    int w = img.width;
    std::vector<int> sig(2 * w + 16), work(2 * w + 16), out(2 * w + 16);
    const int row = 1, rowPx = static_cast<int>(3 * px);
    PVKImg band = clean;
    band.data = clean.data + static_cast<size_t>(s.where.top + row * rowPx) * clean.stride;
    band.height = static_cast<uint16_t>(rowPx);
    ASSERT_TRUE(normalizza(&band, sig.data(), work.data(), out.data(), rowPx));
    std::free(clean.data);
    double x = s.where.left;
    while (!s.grid.at(row, static_cast<int>((x - s.where.left) / px + 0.5))) x += px;
    expectEdgesAt(out, w, boundaries(x, elementModules(s.grid, row), px), 2, px);
  }
}

TEST(BandSearch, ABlankZoneIsOneBandAndThreeLinesAreThree) {
  std::vector<uint8_t> px(300 * 200, 230);
  PVKImg img{300, 200, 300, 300, px.data()};
  RigaType bands[kMaxRighe];
  EXPECT_EQ(CercaRowBase(&img, bands, 4, 10, 2, 128, 5), 1);
  EXPECT_EQ(bands[0].start, 0);
  EXPECT_EQ(bands[0].height, 200);
  for (int line = 0; line < 3; ++line)
    for (int y = 30 + 60 * line; y < 50 + 60 * line; ++y)
      for (int x = 40; x < 260; ++x) px[y * 300 + x] = 20;
  int n = CercaRowBase(&img, bands, 4, 10, 2, 128, 5);
  ASSERT_EQ(n, 3);
  for (int i = 0; i + 1 < n; ++i) EXPECT_LE(bands[i].start + bands[i].height, bands[i + 1].start + bands[i + 1].height);
  for (int i = 0; i < n; ++i) EXPECT_LE(bands[i].start, 30 + 60 * i);
  ClmnType cols[kMaxColonne];
  EXPECT_GE(CercaColBase(img, cols, 4, 10, 2, 128, 5), 1);
  uint8_t black = 0, white = 0;
  CalcolaBlackWhite(&img, black, white);
  EXPECT_EQ(black, 20);
  EXPECT_EQ(white, 230);
  PVKImg tiny{11, 40, 11, 300, px.data()};
  CalcolaBlackWhite(&tiny, black, white);
  EXPECT_EQ(black, 0);
  EXPECT_EQ(white, 255);
}

// A block one grey below the dark level is a band; at the level the zone is blank and comes
// back whole, as the blurred search would give it.
TEST(BandSearch, ABlockAtTheDarkLevelIsPaperAndOneBelowIsABand) {
  struct Case {
    uint8_t grey;
    bool band;
  };
  for (const Case c : {Case{127, true}, Case{128, false}}) {
    std::vector<uint8_t> px(300 * 200, 230);
    for (int y = 80; y < 120; ++y)
      for (int x = 100; x < 200; ++x) px[y * 300 + x] = c.grey;
    PVKImg img{300, 200, 300, 300, px.data()};
    RigaType bands[kMaxRighe];
    ASSERT_EQ(CercaRowBase(&img, bands, 4, 10, 2, 128, 5), 1) << int(c.grey);
    EXPECT_EQ(bands[0].height < 200, c.band) << int(c.grey);
    ClmnType cols[kMaxColonne];
    ASSERT_EQ(CercaColBase(img, cols, 4, 10, 2, 128, 5), 1) << int(c.grey);
    EXPECT_EQ(cols[0].width < 300, c.band) << int(c.grey);
  }
}

TEST(BandSearch, RowStudyFindsTextLinesAndKeepsItsThresholds) {
  std::vector<uint8_t> px(200 * 120, 225);
  for (int line = 0; line < 2; ++line)
    for (int y = 20 + 50 * line; y < 45 + 50 * line; ++y)
      for (int x = 10; x < 190; x += 3) px[y * 200 + x] = 30;
  PVKImg img{200, 120, 200, 300, px.data()};
  StudiaRighe st{nullptr, nullptr, 4, 0, 6, 16, 6, 60, 0};
  RigaType bands[kMaxRighe] = {};
  int n = CercaRighe(&img, st, 0, 128, bands, false);
  EXPECT_EQ(n, 2);
  EXPECT_EQ(std::memcmp(ValSoglia, OptValSoglia, sizeof ValSoglia), 0);
  ASSERT_TRUE(CalcolaValRighe(&img, st));
  for (int i = 1; i < kSoglie; ++i) EXPECT_GE(ValSoglia[i], ValSoglia[i - 1]);
  pvk::ocr::freeStudy(st);
  // Only black and white: a zone without contrast.
  std::vector<uint8_t> bw(64 * 20, 255);
  bw[5] = 0;
  PVKImg flat{64, 20, 64, 300, bw.data()};
  ASSERT_TRUE(CalcolaValRighe(&flat, st));
  EXPECT_EQ(st.quality, 200);
  EXPECT_EQ(ValSoglia[7], 1);
  pvk::ocr::freeStudy(st);
  RigaType b[4] = {{10, 10, 0}, {22, 10, 0}, {40, 5, 0}, {0, 0, 0}};
  allarga(b, 3, 50, 3);
  EXPECT_EQ(b[0].start, 7);
  EXPECT_EQ(b[1].start, 20);
  EXPECT_LE(b[1].start + b[1].height, 40);
  EXPECT_LE(b[2].start + b[2].height, 49);
}
