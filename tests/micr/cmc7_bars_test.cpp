// The CMC7 bar decoder on inputs worked out by hand: the geometry block, the gap code and its
// retries, the lobe walks, the grouping of bars into characters, the confidence of a reading and
// the plausibility passes.
#include <gtest/gtest.h>

#include <array>
#include <map>
#include <vector>

#include "codeline_fixture.h"
#include "micr/micr.h"

namespace pvk::test {
namespace {

using Block = std::array<int, kDatiCmc>;

Block current() {
  Block b;
  for (int k = 0; k < kDatiCmc; ++k) b[k] = datiCmc[k];
  return b;
}

TEST(CmcGeometry, BlockPerFontAndResolution) {
  struct Case {
    short font;
    int dpi;
    Block d;
  };
  const Case cases[] = {
      {0, 150, {17, 4, 1, 1, 0, 0, 7, 2, 1, 7, 7, 6, 28, 25, 29, 19, 30, 22}},
      {32, 200, {23, 5, 1, 1, 0, 0, 9, 3, 2, 9, 10, 8, 37, 33, 38, 25, 40, 29}},
      {202, 300, {35, 8, 1, 1, 0, 0, 14, 5, 3, 14, 15, 12, 56, 50, 58, 39, 61, 44}},
      {111, 600, {70, 16, 2, 2, 0, 0, 28, 10, 6, 27, 29, 24, 112, 100, 117, 78, 123, 88}},
      {1, 150, {20, 7, 1, 1, 0, 0, 13, 4, 3, 11, 12, 10, 55, 49, 57, 38, 60, 12}},
      {1, 200, {26, 10, 1, 1, 0, 0, 17, 5, 4, 15, 16, 13, 73, 65, 76, 51, 80, 16}},
      {33, 300, {40, 15, 1, 1, 0, 0, 26, 8, 6, 23, 24, 20, 110, 99, 115, 77, 121, 25}},
      {2, 600, {80, 30, 2, 2, 0, 0, 52, 16, 12, 46, 48, 40, 220, 198, 231, 154, 242, 50}},
      {0, 20, {2, 1, 1, 1, 0, 0, 1, 1, 1, 1, 1, 1, 3, 2, 3, 2, 3, 2}},  // the floor of 1
  };
  for (const Case& c : cases) {
    datiCmc[4] = 99;
    InitDatiCMC(c.font, static_cast<float>(c.dpi) / 300);
    EXPECT_EQ(current(), c.d) << c.font << " at " << c.dpi;
  }
}

// Gaps of a symbol at 300 dpi: narrow 6, wide 12.
std::vector<int> gapsOf(int pattern, int narrow = 6, int wide = 12) {
  std::vector<int> g(7, 0);
  for (int k = 1; k <= 6; ++k) g[k] = (pattern >> (k - 1)) & 1 ? wide : narrow;
  return g;
}

TEST(CmcGapCode, FifteenSymbolsAndNothingElse) {
  const std::map<int, char> table = {{3, '7'},  {5, '3'},  {6, '2'},  {9, '4'},  {10, '9'},
                                     {12, '0'}, {17, '1'}, {18, '8'}, {20, '6'}, {24, '5'},
                                     {33, ':'}, {34, ';'}, {36, '<'}, {40, '='}, {48, '>'}};
  InitDatiCMC(0, 1.0f);
  for (int p = 0; p < 64; ++p) {
    const auto it = table.find(p);
    EXPECT_EQ(CodiceCMC7[p], it == table.end() ? '?' : it->second) << p;
    std::vector<int> g = gapsOf(p);
    char conf = 5;
    EXPECT_EQ(DecodeCMCChar(g.data(), conf), it == table.end() ? '?' : it->second) << p;
    EXPECT_EQ(conf, 5) << "clean gaps keep the confidence; a failed retry gives its point back";
  }
}

TEST(CmcGapCode, LimitsDoubtAndRetries) {
  InitDatiCMC(0, 1.0f);  // wide above 8; reject below 3 or above 15; doubt below 5 or above 14
  struct Case {
    std::vector<int> g;
    int conf;
    char out;
    int confOut;
  };
  const Case cases[] = {
      {{0, 6, 6, 12, 12, 6, 6}, 5, '0', 5},
      {{0, 3, 6, 12, 12, 6, 6}, 5, '0', 4},   // exactly the lowest accepted gap, doubtful
      {{0, 2, 6, 12, 12, 6, 6}, 5, '?', 5},   // one below: rejected, confidence kept
      {{0, 6, 6, 15, 12, 6, 6}, 5, '0', 4},   // the highest accepted, doubtful
      {{0, 6, 6, 16, 12, 6, 6}, 5, '?', 5},
      {{0, 4, 4, 12, 12, 6, 6}, 5, '0', 4},   // two doubtful gaps cost one point
      {{0, 6, 9, 12, 12, 6, 6}, 5, '0', 4},   // 14 at 8; 12 ('0') on the raised try at 9
      {{0, 6, 8, 12, 6, 6, 6}, 5, '2', 4},    // 4 at 8 and 9; 6 ('2') on the lowered try at 7
      {{0, 6, 6, 6, 6, 6, 6}, 5, '?', 5},     // nothing decodes: the point comes back
      {{0, 6, 9, 12, 12, 6, 6}, 1, '?', 1},   // no retry below 2
      {{0, 4, 9, 12, 12, 6, 6}, 2, '?', 1},   // the doubt leaves 1: no retry
      {{0, 4, 9, 12, 12, 6, 6}, 5, '0', 3},   // doubt and retry
  };
  for (const Case& c : cases) {
    std::vector<int> g = c.g;
    char conf = static_cast<char>(c.conf);
    EXPECT_EQ(DecodeCMCChar(g.data(), conf), c.out) << c.g[1] << c.g[2] << c.g[3];
    EXPECT_EQ(conf, c.confOut) << c.g[1] << " " << c.g[2] << " " << c.g[3];
  }
  datiCmc[4] = 9;  // the magnetic doubt zone (9, 11)
  datiCmc[5] = 11;
  std::vector<int> g{0, 6, 6, 10, 12, 6, 6};
  char conf = 5;
  EXPECT_EQ(DecodeCMCChar(g.data(), conf), '0');
  EXPECT_EQ(conf, 4);
  g = {0, 6, 6, 11, 12, 6, 6};
  conf = 5;
  EXPECT_EQ(DecodeCMCChar(g.data(), conf), '0');
  EXPECT_EQ(conf, 5) << "the zone is exclusive";
}

// ---- Lobes -------------------------------------------------------------------------------------

struct Marks {
  std::vector<int> maxS, maxE, minS, minE;
  explicit Marks(int n) : maxS(n, 7), maxE(n, 7), minS(n, 7), minE(n, 7) {}
  // Nonzero entries as (position, value) pairs.
  static std::vector<std::pair<int, int>> of(const std::vector<int>& v) {
    std::vector<std::pair<int, int>> out;
    for (size_t i = 0; i < v.size(); ++i)
      if (v[i]) out.emplace_back(static_cast<int>(i), v[i]);
    return out;
  }
};

using Pairs = std::vector<std::pair<int, int>>;

Marks lobes(const std::vector<int>& values, int at = 15, int n = 40) {
  std::vector<int> sig(n, 0);
  for (size_t k = 0; k < values.size(); ++k) sig[at + k] = values[k];
  Marks m(n);
  EXPECT_TRUE(ElaboraSegnale(sig.data(), m.maxS.data(), m.maxE.data(), m.minS.data(), m.minE.data(), n, 0, n));
  return m;
}

TEST(CmcLobes, WalksMarkTheLobesWhereTheyBeginAndEnd) {
  // One positive lobe: its marks are the first samples below a third of the peak.
  Marks a = lobes({10, 40, 90, 40, 10});
  EXPECT_EQ(Marks::of(a.maxS), (Pairs{{15, 90}}));
  EXPECT_EQ(Marks::of(a.maxE), (Pairs{{19, 90}}));
  EXPECT_TRUE(Marks::of(a.minS).empty());
  // One negative lobe: marks at the first samples above half the minimum; its tail is no lobe.
  Marks b = lobes({-10, -40, -90, -40, -10});
  EXPECT_TRUE(Marks::of(b.maxS).empty());
  EXPECT_EQ(Marks::of(b.minS), (Pairs{{16, -90}}));
  EXPECT_EQ(Marks::of(b.minE), (Pairs{{18, -90}}));
  // A positive lobe swinging into a negative one, as a magnetic edge pair does.
  Marks c = lobes({20, 60, 90, 60, 20, -30, -80, -30, -5});
  EXPECT_EQ(Marks::of(c.maxS), (Pairs{{15, 90}}));
  EXPECT_EQ(Marks::of(c.maxE), (Pairs{{19, 90}}));
  EXPECT_EQ(Marks::of(c.minS), (Pairs{{20, -80}}));
  EXPECT_EQ(Marks::of(c.minE), (Pairs{{22, -80}}));
  // Two touching lobes: the dip at 19 ends the first and starts the second; the shared position
  // is resolved by moving the first lobe's end one to the left.
  Marks d = lobes({20, 60, 90, 60, 40, 70, 100, 70, 20});
  EXPECT_EQ(Marks::of(d.maxS), (Pairs{{15, 90}, {19, 100}}));
  EXPECT_EQ(Marks::of(d.maxE), (Pairs{{18, 90}, {23, 100}}));
  // A dip inside a lobe that does not rise for two samples is no lobe boundary.
  Marks e = lobes({20, 90, 60, 70, 50, 10});
  EXPECT_EQ(Marks::of(e.maxS), (Pairs{{15, 90}}));
  EXPECT_EQ(Marks::of(e.maxE), (Pairs{{20, 90}}));
  // The window: nothing before position 10 or from n - 4 on.
  Marks f = lobes({20, 90, 20}, 3);
  EXPECT_TRUE(Marks::of(f.maxS).empty());
}

TEST(CmcLobes, ShortSignalsAndEmptyWindowsGiveNoLobes) {
  for (int n = 0; n <= 15; ++n) {  // up to 14 the window is empty; 15 has one position
    std::vector<int> sig(n, 0), a(n, 7), b(n, 7), c(n, 7), d(n, 7);
    for (int i = 0; i < n; ++i) sig[i] = (i % 3 == 1) ? 90 : (i % 3 == 2 ? -60 : 0);
    EXPECT_TRUE(ElaboraSegnale(sig.data(), a.data(), b.data(), c.data(), d.data(), n, 0, n));
    if (n == 15) continue;
    for (int i = 0; i < n; ++i) ASSERT_TRUE(a[i] == 0 && b[i] == 0 && c[i] == 0 && d[i] == 0) << n;
  }
  // A window that starts past its end (first far beyond last) is empty too.
  const int n = 4000;
  std::vector<int> sig(n, 0), a(n, 7), b(n, 7);
  for (int i = 0; i < n; ++i) sig[i] = (i / 5) % 2 ? 90 : 0;
  EXPECT_TRUE(ElaboraSegnale(sig.data(), a.data(), b.data(), nullptr, nullptr, n, 3000, 900));
  EXPECT_TRUE(Marks::of(a).empty());
  EXPECT_TRUE(ElaboraSegnale(sig.data(), a.data(), b.data(), nullptr, nullptr, n, 2000, 2100));
  EXPECT_FALSE(Marks::of(a).empty());
  EXPECT_TRUE(Marks::of(a).front().first >= 976 && Marks::of(a).back().first < 3124);
}

TEST(CmcProfile, ColumnWindowsDoubledAndLobesMovedToTheirCentres) {
  // 10 columns, 20 rows: column x holds x in rows 5..12 and 0 elsewhere; columns 3 and 7 are bars.
  const int W = 10, H = 20;
  std::vector<uint8_t> px(W * H, 0);
  for (int y = 5; y < 13; ++y)
    for (int x = 0; x < W; ++x) px[y * W + x] = static_cast<uint8_t>(x == 3 || x == 7 ? 200 : x);
  PVKImg img{W, H, W, 300, px.data()};
  std::vector<int> profile(2 * W, -1), peaks(2 * W, -1), work(2 * W, -1);
  profile[2 * W - 1] = 4242;
  ASSERT_TRUE(ElaboraSegnaleCMC(&img, profile.data(), peaks.data(), work.data(), 4));
  EXPECT_EQ(profile[0], 0);
  EXPECT_EQ(profile[2], 8);                 // 2 x (4 x 1)
  EXPECT_EQ(profile[6], 1600);              // 2 x (4 x 200): the best window of column 3
  EXPECT_EQ(profile[7], 800 + 16);          // columns 3 and 4
  EXPECT_EQ(profile[2 * W - 2], 2 * 4 * 9);
  EXPECT_EQ(profile[2 * W - 1], 4242) << "the last position is the caller's";
  // A window of 40 rows is the whole height: 20 rows, one doubling of 16; 16 rows none.
  ASSERT_TRUE(ElaboraSegnaleCMC(&img, profile.data(), peaks.data(), work.data(), 40));
  EXPECT_EQ(profile[6], 2 * (8 * 200 >> 1));
  ASSERT_TRUE(ElaboraSegnaleCMC(&img, profile.data(), peaks.data(), work.data(), 16));
  EXPECT_EQ(profile[6], 2 * 8 * 200);
  EXPECT_FALSE(ElaboraSegnaleCMC(nullptr, profile.data(), peaks.data(), work.data(), 4));
}

TEST(CmcProfile, OnePeakPerBarAtItsCentre) {
  // Bars of 3 columns at 20, 40 and 60 of an 80-column image.
  const int W = 80, H = 30;
  std::vector<uint8_t> px(W * H, 0);
  for (int y = 0; y < H; ++y)
    for (int b : {20, 40, 60})
      for (int x = b; x < b + 3; ++x) px[y * W + x] = 250;
  PVKImg img{W, H, W, 300, px.data()};
  std::vector<int> profile(2 * W, 0), peaks(2 * W, 0), work(2 * W, 0);
  ASSERT_TRUE(ElaboraSegnaleCMC(&img, profile.data(), peaks.data(), work.data(), 30));
  // Each lobe runs from the last zero before the bar (2b - 2) to the first after it (2b + 5).
  EXPECT_EQ(Marks::of(peaks), (Pairs{{42, 2 * (30 * 250 >> 1)}, {82, 2 * (30 * 250 >> 1)}, {122, 2 * (30 * 250 >> 1)}}));
}

// ---- Characters --------------------------------------------------------------------------------

struct Bars {
  std::vector<int> profile, peaks;
  explicit Bars(int n) : profile(n, 0), peaks(n, 0) {}
  // Bars from x on, spaced by the gaps (samples between bars).
  int put(int x, const std::vector<int>& gaps, int peak = 100, int prof = 500) {
    peaks[x] = peak, profile[x] = prof;
    for (int g : gaps) {
      x += g + 1;
      peaks[x] = peak, profile[x] = prof;
    }
    return x;
  }
};

struct Decoded {
  char c;
  int start, end, conf, meanProfile, meanPeak;
};

Decoded decode(Bars& b, int start, int conf = 4, int minPeak = 80) {
  Decoded d{};
  int s = start, e = -1, mp = -1, mk = -1;
  char cf = static_cast<char>(conf);
  d.c = decodCMC(e, s, cf, static_cast<int>(b.peaks.size()), b.profile.data(), mp, 100, b.peaks.data(), 30, mk,
                 minPeak);
  d.start = s, d.end = e, d.conf = cf, d.meanProfile = mp, d.meanPeak = mk;
  return d;
}

TEST(CmcCharacter, BarsGroupIntoOneCharacter) {
  InitDatiCMC(0, 1.0f);  // good span 50..58, acceptable 39..61, end of character after a run of 16
  Bars a(300);
  a.put(20, {6, 6, 12, 12, 6, 6});  // '0', span 54
  a.put(120, {6, 6, 12, 12, 6, 6});
  Decoded d = decode(a, 10);
  EXPECT_EQ(d.c, '0');
  EXPECT_EQ(d.start, 20);
  EXPECT_EQ(d.end, 75);
  EXPECT_EQ(d.conf, 4);
  EXPECT_EQ(d.meanProfile, 500);
  EXPECT_EQ(d.meanPeak, 100);
  EXPECT_EQ(decode(a, d.end).c, '0') << "the next character from the end of this one";

  Bars wide(300);  // span 59: acceptable but not good, one point
  wide.put(20, {6, 6, 12, 12, 6, 11});
  d = decode(wide, 20);
  EXPECT_EQ(d.c, '?') << "gap 11 makes the pattern 44";
  Bars slack(300);
  slack.put(20, {6, 6, 13, 13, 8, 8});  // '0' at span 60
  d = decode(slack, 20);
  EXPECT_EQ(d.c, '0');
  EXPECT_EQ(d.conf, 3);

  Bars six(300);  // a bar missing: '?' over the six, never a symbol
  six.put(20, {6, 6, 12, 12, 13});
  d = decode(six, 20);
  EXPECT_EQ(d.c, '?');
  EXPECT_EQ(d.end, 20 + 54 + 1);

  Bars four(300);
  four.put(20, {20, 12, 12});
  four.peaks[95] = 100;  // far behind: another character
  d = decode(four, 20);
  EXPECT_EQ(d.c, 0);
  EXPECT_EQ(d.start, 20);
  EXPECT_EQ(d.end, 21);
  EXPECT_EQ(d.conf, 0);
  EXPECT_EQ(d.meanPeak, 0);

  Bars tooWide(300);  // span 62: outside the acceptable span
  tooWide.put(20, {6, 6, 15, 15, 7, 7});
  d = decode(tooWide, 20);
  EXPECT_EQ(d.c, 0);
  EXPECT_EQ(d.conf, 0);

  Bars weak(300);  // mean peak below the minimum
  weak.put(20, {6, 6, 12, 12, 6, 6}, 70);
  EXPECT_EQ(decode(weak, 20).c, 0);
  EXPECT_EQ(decode(weak, 20, 4, 60).c, '0');
  EXPECT_EQ(decode(a, 20, 0).c, '?') << "no decoding without confidence";
}

TEST(CmcCharacter, ExtraBarsRaiseTheThreshold) {
  InitDatiCMC(0, 1.0f);
  Bars a(300);
  a.put(20, {6, 6, 12, 12, 6, 6});
  a.peaks[30] = 35, a.profile[30] = 500;  // a faint bar between the 2nd and 3rd
  a.peaks[50] = 38, a.profile[50] = 500;
  Decoded d = decode(a, 20);
  EXPECT_EQ(d.c, '0') << "nine bars at 30, seven at 40";
  EXPECT_EQ(d.meanPeak, 100);
  Bars many(300);  // twelve equal bars never make one character
  many.put(20, {6, 6, 6, 6, 6, 6, 6, 6, 6, 6, 6});
  EXPECT_EQ(decode(many, 20).c, 0);
}

TEST(CmcConfidence, BarReadingConfidences) {
  Line a;
  const char text[] = "12 345?6";
  const int conf[] = {7, 10, 100, 12, 4, 6, 1, 9};
  int strength[] = {4, 4, 1, 4, 4, 2, 1, 0};
  for (int i = 0; i < 8; ++i) a.add(text[i], conf[i], 0, 0);
  // mean 5, low 3, ref 6: c = strength / ref (or low + ref) x (conf / strength - 1.1) x 80
  EXPECT_EQ(CalcolaConfidenzaCMC7Barre(a.text, a.conf, strength, a.n, 24), 30);
  EXPECT_EQ(a.str(), "12 345??");
  EXPECT_EQ(a.confs(), (std::vector<int>{34, 74, 87, 100, 0, 33, 1, 1}));

  Line one;
  one.add('1', 50, 0, 0).add('?', 1, 0, 0).add('2', 0, 0, 0);
  int s1[] = {5, 1, 5};
  EXPECT_EQ(CalcolaConfidenzaCMC7Barre(one.text, one.conf, s1, one.n, 10), 1);
  EXPECT_EQ(one.n, 0);
}

TEST(CmcChecks, AWeakCharacterAfterARemovedOneIsJudgedByItsOwnBars) {
  Line a;
  a.add('1', 5, 100, 150).add('2', 5, 160, 210).add('?', 0, 220, 270).add('3', 5, 280, 330).add('4', 5, 340, 390);
  int profile[] = {100, 100, 10, 100, 20};
  int peak[] = {100, 100, 10, 100, 20};
  EXPECT_TRUE(VerificaCdl(a.text, a.conf, a.n, a.start, a.end, a.height, profile, peak, 35));
  EXPECT_EQ(a.str(), "123") << "'3' keeps its strong bars, '4' is judged by its weak ones";
  EXPECT_EQ(a.confs(), (std::vector<int>{5, 5, 5}));
  EXPECT_EQ(a.height[0], 1);
  EXPECT_EQ(a.start[2], 280);

  Line b;  // isolation costs one point; between 50% and 33% of the means another
  b.add('1', 5, 100, 150).add('2', 1, 300, 350).add('3', 5, 500, 550).add('4', 5, 560, 610).add('5', 5, 620, 670);
  int p2[] = {100, 100, 100, 40, 100};
  EXPECT_TRUE(VerificaCdl(b.text, b.conf, b.n, b.start, b.end, b.height, p2, p2, 35));
  EXPECT_EQ(b.str(), "1345");
  EXPECT_EQ(b.confs(), (std::vector<int>{5, 5, 4, 5}));

  Line c;  // too few characters, or bars too faint
  c.add('1', 5, 100, 150).add('2', 5, 160, 210);
  int p3[] = {100, 100};
  EXPECT_FALSE(VerificaCdl(c.text, c.conf, c.n, c.start, c.end, c.height, p3, p3, 35));
  EXPECT_EQ(c.n, 0);
  Line d("123", 5);
  int p4[] = {19, 19, 19};
  EXPECT_FALSE(VerificaCdl(d.text, d.conf, d.n, d.start, d.end, d.height, p4, p4, 35));
}

TEST(CmcChecks, FinalPassDropsWeakSymbolsBesideBlanks) {
  Line a;
  for (auto [t, c] : std::vector<std::pair<char, int>>{{'1', 40}, {'2', 40}, {' ', 100}, {'5', 9}, {' ', 100},
                                                        {'3', 40}, {'4', 40}, {' ', 100}})
    a.add(t, c, a.n * 20, a.n * 20 + 10);
  // mean 169 / 6 = 28: weak 14, lone 7
  EXPECT_TRUE(VerificaCdlFinale(a.text, a.conf, a.start, a.end, a.height, a.n));
  EXPECT_EQ(a.str(), "12  34");
  EXPECT_EQ(a.end[2], a.start[3] - 1) << "the blank stretched over the removed symbol";

  Line b;  // a low mean: weak 4, lone 5
  for (auto [t, c] : std::vector<std::pair<char, int>>{{'1', 6}, {' ', 100}, {'2', 4}, {' ', 100}, {'3', 6},
                                                        {'7', -3}, {' ', 100}, {'?', 1}})
    b.add(t, c, b.n * 20, b.n * 20 + 10);
  EXPECT_TRUE(VerificaCdlFinale(b.text, b.conf, b.start, b.end, b.height, b.n));
  EXPECT_EQ(b.str(), "1  3") << "'2' too lone, '7' negative then unread";

  Line c;
  c.add(' ', 100, 0, 5).add('?', 1, 10, 20).add(' ', 100, 25, 30);
  EXPECT_FALSE(VerificaCdlFinale(c.text, c.conf, c.start, c.end, c.height, c.n));
}

TEST(CmcChecks, ReadCharactersWithReadNeighbours) {
  Line a("1?23 4", 50);
  int sum = -1;
  EXPECT_EQ(ValutaOK(a.text, a.conf, nullptr, a.n, &sum), 2);
  EXPECT_EQ(sum, 100);
  const int weight[] = {2, 2, 2, 4, 2, 2};
  EXPECT_EQ(ValutaOK(a.text, a.conf, weight, a.n, &sum), 2);
  EXPECT_EQ(sum, 75);
}

TEST(CmcChecks, DirtyColumns) {
  const int W = 12, H = 70;  // 3H >= 200: a column is dirty with more than 52 dark pixels
  std::vector<uint8_t> px(W * H, 200);
  for (int y = 0; y < 53; ++y) px[y * W + 5] = 89, px[y * W + 3] = 0, px[y * W + 7] = 10;
  for (int y = 0; y < 52; ++y) px[y * W + 6] = 0;
  PVKImg img{W, H, W, 300, px.data()};
  std::vector<char> flags(30, 9);
  verificaRigheVerticaliSporco(&img, flags.data(), 5);
  for (int i = 0; i < 30; ++i)
    EXPECT_EQ(flags[i], i == 10 || i == 12 ? 1 : i < 17 ? 0 : 9) << i;  // column 3 is outside 4..7
  MyOcr.ocrImgCdlVariant = 0;
  EXPECT_TRUE(IsSporcoVerticale(flags.data(), 5, 11));
  EXPECT_FALSE(IsSporcoVerticale(flags.data(), 11, 12));
  MyOcr.ocrImgCdlVariant = 1;
  EXPECT_FALSE(IsSporcoVerticale(flags.data(), 0, 30));
  MyOcr.ocrImgCdlVariant = 0;
  PVKImg narrow{8, H, W, 300, px.data()};
  std::fill(flags.begin(), flags.end(), 9);
  verificaRigheVerticaliSporco(&narrow, flags.data(), 0);
  for (int i = 0; i < 30; ++i) EXPECT_EQ(flags[i], i < 8 ? 0 : 9);
}

TEST(CmcChecks, WeakBarsArePruned) {
  InitDatiCMC(0, 1.0f);
  int amp[] = {100, 100, 10, 100, 100, 100, 12, 100, 100};
  int bars[] = {0, 7, 14, 21, 28, 35, 42, 49, 56};
  int gaps[12] = {};
  int n = 9;
  EXPECT_EQ(EliminaBarrePiccole(amp, bars, n, gaps), 2);
  EXPECT_EQ(n, 7);
  EXPECT_EQ(std::vector<int>(bars, bars + 7), (std::vector<int>{0, 7, 21, 28, 35, 49, 56}));
  int six = 6;
  EXPECT_EQ(EliminaBarrePiccole(amp, bars, six, gaps), 3);
}

}  // namespace
}  // namespace pvk::test
