// Conditioning and measures of the magnetic signal, on inputs worked out by hand: the moving
// average and its rescale, the mirror, the noise level, character strength, free borders, the
// weakest bar, the nominal E13B strengths.
#include <gtest/gtest.h>

#include <numeric>
#include <vector>

#include "micr/micr.h"

namespace {

TEST(MediaMobile, AWindowTooShortReturns30AndZeros) {
  std::vector<int> in(40, 100), out(40, 7);
  EXPECT_EQ(MediaMobile(in.data(), out.data(), 0, 40, 40, true), 30);
  for (int v : out) EXPECT_EQ(v, 0);
  std::vector<int> big(60, 7);
  EXPECT_EQ(MediaMobile(in.data(), big.data(), 30, 10, 40, false), 30) << "to before from";
  for (int i = 0; i < 40; ++i) EXPECT_EQ(big[i], 0);
  for (int i = 40; i < 60; ++i) EXPECT_EQ(big[i], 7) << "past n: left alone";
}

TEST(MediaMobile, InvertsAroundTheMeanWithoutRescale) {
  // A bump of 80 counts: the 7-tap average (weights 1 1 1 2 1 1 1, over 8) spreads it.
  std::vector<int> in(100, 100), out(100, -1);
  in[50] = 180;
  const int a = MediaMobile(in.data(), out.data(), 0, 100, 100, false);
  // Smoothed values: 100 away from the bump, 110 within 3 of it, 120 at it. Mean over [20, 80):
  // (60 x 100 + 6 x 10 + 20) / 60 = 101 (truncated); amplitude 120 - 101 = 19.
  EXPECT_EQ(a, 19);
  EXPECT_EQ(out[50], 101 - 120);
  EXPECT_EQ(out[48], 101 - 110);
  EXPECT_EQ(out[40], 1);
  EXPECT_EQ(out[19], 0);
  EXPECT_EQ(out[80], 0);
}

TEST(MediaMobile, RescalesAWeakWindowToFifty) {
  // A dip of amplitude 30 below a flat 128: the mean stays 128 (a narrow dip), the largest is 128.
  std::vector<int> in(200, 128), out(200);
  for (int i = 95; i < 105; ++i) in[i] = 128 - 30;  // smoothed: 98 in the middle
  const int a = MediaMobile(in.data(), out.data(), 0, 200, 200, true);
  EXPECT_EQ(a, 50);
  // mean = trunc(sum / 160); largest 128; A = 128 - mean.
  long sum = 0;
  std::vector<int> s(200);
  for (int x = 20; x < 180; ++x) {
    s[x] = (in[x - 3] + in[x - 2] + in[x - 1] + 2 * in[x] + in[x + 1] + in[x + 2] + in[x + 3]) >> 3;
    sum += s[x];
  }
  const int mean = static_cast<int>(static_cast<float>(sum) / 160);
  const int amp = 128 - mean;
  ASSERT_LT(amp, 50);
  for (int x = 20; x < 180; ++x) EXPECT_EQ(out[x], static_cast<int>((mean - s[x]) * 50.0 / amp)) << x;
  EXPECT_EQ(out[100], static_cast<int>((mean - 98) * 50.0 / amp));
}

TEST(MediaMobile, AFlatWindowReadsZeroWhenRescaled) {
  std::vector<int> in(300, 77), out(300, 5);
  EXPECT_EQ(MediaMobile(in.data(), out.data(), 0, 300, 300, true), 50);
  for (int v : out) EXPECT_EQ(v, 0);
  EXPECT_EQ(MediaMobile(in.data(), out.data(), 0, 300, 300, false), 0);
}

TEST(SpecchiaMICR, ReversesInPlace) {
  std::vector<int> v = {1, 2, 3, 4, 5};
  EXPECT_TRUE(SpecchiaMICR(v.data(), 5));
  EXPECT_EQ(v, (std::vector<int>{5, 4, 3, 2, 1}));
  EXPECT_TRUE(SpecchiaMICR(v.data(), 0));
  EXPECT_TRUE(SpecchiaMICR(nullptr, 3));
}

TEST(CalcolaLivelloRumore, MeasuresTheQuietStretch) {
  std::vector<int> s(2000, 128);
  EXPECT_EQ(CalcolaLivelloRumore(s.data(), 999), 10) << "too short: the cap";
  EXPECT_EQ(CalcolaLivelloRumore(s.data(), 2000), 0);
  s[60] = 131;
  s[700] = 126;
  // Mean over [50, 1000): (950 x 128 + 1) / 950 = 128; largest above 131, smallest 126.
  EXPECT_EQ(CalcolaLivelloRumore(s.data(), 2000), 3);
  s[1500] = 250;  // outside the stretch
  EXPECT_EQ(CalcolaLivelloRumore(s.data(), 2000), 3);
  s[300] = 160;
  EXPECT_EQ(CalcolaLivelloRumore(s.data(), 2000), 10) << "capped";
  const _DevInfo saved = MyDev;
  MyDev.inkjetPresent = 1;
  MyDev.serialHigh = 0;
  MyDev.serialLow = 310879;
  EXPECT_EQ(CalcolaLivelloRumore(s.data(), 2000), 15) << "early devices with an inkjet";
  MyDev.serialLow = 310880;
  EXPECT_EQ(CalcolaLivelloRumore(s.data(), 2000), 10);
  MyDev = saved;
}

TEST(CalcolaValMassimiMinimi, StrongestExtremesOverTheNominal) {
  // Maxima 40 30 25 20 10 (and 5 left out), minima -50 -20 -10 -5 -1.
  std::vector<int> s = {0, 10, -1, 40, -50, 5, 30, -20, 25, -10, 20, -5, 0};
  // CMC7: (125 + 86) / 5 = 42.
  EXPECT_EQ(CalcolaValMassimiMinimi(true, '1', s.data(), 0, 13), 42);
  // E13B: the two strongest of each (40 30, -50 -20) = 140 over 0.57 for '7' = 245, / 2 = 122.
  EXPECT_EQ(CalcolaValMassimiMinimi(false, '7', s.data(), 0, 13), 122);
  // A character that is no E13B symbol counts at full strength: 140 / 2.
  EXPECT_EQ(CalcolaValMassimiMinimi(false, '?', s.data(), 0, 13), 70);
  // A value enters where it lies beyond an entry, so equal values fill the list once each slot
  // holds less; the range is half-open; a negative start reads from 0.
  std::vector<int> flat = {9, 9, 9, 9};
  EXPECT_EQ(CalcolaValMassimiMinimi(false, 'x', flat.data(), 0, 4), 9);
  EXPECT_EQ(CalcolaValMassimiMinimi(true, '1', s.data(), 3, 4), 8);
  EXPECT_EQ(CalcolaValMassimiMinimi(true, '1', s.data() + 3, -3, 1), 8);
}

TEST(BorderChecks, FreeBordersOfPeaksAndValleys) {
  std::vector<int> peaks(30, 0), valleys(30, 0);
  peaks[5] = 20;
  peaks[10] = 50;  // self
  valleys[12] = -30;
  EXPECT_TRUE(BordoLiberoMax(0, 20, 10, 30, peaks.data(), 20)) << "20 does not exceed 20";
  EXPECT_FALSE(BordoLiberoMax(0, 20, 10, 30, peaks.data(), 19));
  EXPECT_TRUE(BordoLiberoMax(-10, 5, 99, 30, peaks.data(), 0)) << "[0, 5)";
  EXPECT_TRUE(BordoLiberoMax(6, 40, 10, 30, peaks.data(), 0)) << "self passes, the end is n";
  EXPECT_FALSE(BordoLiberoMin(0, 30, 0, 30, valleys.data(), -29));
  EXPECT_TRUE(BordoLiberoMin(0, 30, 12, 30, valleys.data(), -29));
  EXPECT_TRUE(BordoLiberoMin(0, 30, 0, 12, valleys.data(), -29)) << "n bounds the range";
  // Peaks: level 15 but ref 25 -> 25: peak 20 before pos 8 is free, valley check unused.
  EXPECT_TRUE(BordiPuliti(8, 15, peaks.data(), 5, 20, 0, peaks.data(), 5, 30, 25));
  EXPECT_FALSE(BordiPuliti(8, 15, peaks.data(), 5, 20, 0, peaks.data(), 5, 30, 10));
  EXPECT_FALSE(BordiPuliti(30, 15, peaks.data(), 5, 6, 0, peaks.data(), 5, 30, 10)) << "after pos2";
  // Valleys: level 0 -> min(-ref, level2) = min(-40, -20) = -40: the -30 valley is free.
  EXPECT_TRUE(BordiPuliti(14, 0, valleys.data(), 5, 0, -20, valleys.data(), 5, 30, 40));
  EXPECT_FALSE(BordiPuliti(14, 0, valleys.data(), 5, 0, -20, valleys.data(), 5, 30, 20));
}

TEST(PulisciMax, DropsTheWeakestBar) {
  std::vector<int> start(40, 0), end(40, 0);
  int bars[4] = {2, 10, 20, 30};
  start[2] = 70, start[10] = 40, start[20] = 90, start[30] = 60;
  int count = 4, ref = 0;
  // The weakest start 40 lies below the minimum level 50: it goes, ref 40 x 1.2.
  EXPECT_TRUE(PulisciMax(count, bars, 50, start.data(), end.data(), ref));
  EXPECT_EQ(count, 3);
  EXPECT_EQ(ref, 48);
  EXPECT_EQ(bars[0], 2);
  EXPECT_EQ(bars[1], 20);
  EXPECT_EQ(bars[2], 30);
  // All strong: each bar's first end within three positions counts; bar 30's start 60 is the
  // weakest, 30's end 65 does not change that.
  end[4] = 75, end[21] = 95, end[33] = 65;
  EXPECT_TRUE(PulisciMax(count, bars, 50, start.data(), end.data(), ref));
  EXPECT_EQ(count, 2);
  EXPECT_EQ(ref, 72);
  EXPECT_EQ(bars[1], 20);
  // An end lower than every start names no bar: nothing goes.
  end[4] = 20;
  EXPECT_FALSE(PulisciMax(count, bars, 50, start.data(), end.data(), ref));
  EXPECT_EQ(count, 2);
  int none = 0;
  EXPECT_FALSE(PulisciMax(none, bars, 50, start.data(), end.data(), ref));
  EXPECT_EQ(ref, 255);
}

TEST(NominalE13B, IndexesAndStrengths) {
  const char* order = "0123456789:=<;";
  for (int i = 0; i < 14; ++i) EXPECT_EQ(IndiceE13B(order[i]), i) << order[i];
  for (char c : {'A', '?', ' ', '>', '\0'}) EXPECT_EQ(IndiceE13B(c), 15);
  EXPECT_EQ(PercentualeNominaleE13B('7'), 57);
  EXPECT_EQ(PercentualeNominaleE13B('0'), 112);
  EXPECT_EQ(PercentualeNominaleE13B(';'), 68);
  EXPECT_EQ(PercentualeNominaleE13B('A'), 100);
  EXPECT_EQ(std::accumulate(nominaleE13B, nominaleE13B + 14, 0), 1143);
}

}  // namespace
