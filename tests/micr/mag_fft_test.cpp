// The FFT band filter against a direct DFT worked out here: notching of strong tones, the band
// kept, the scaling, cut-offs at and beyond the ends of the spectrum, refused windows, repeated
// passes and repeated runs.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <vector>

#include "micr/micr.h"

namespace {

using cd = std::complex<double>;

struct Tone {
  int bin;
  double amplitude;
  double phase;
};

// A window of n + 1 samples at offset `start` of a longer signal: DC plus tones whose bins are
// counted on the transform length n (the filter transforms end - start - 1 points).
std::vector<int> tones(int total, int start, int n, int dc, const std::vector<Tone>& list) {
  std::vector<int> sig(total, dc);
  for (int t = 0; t < total; ++t) {
    double v = dc;
    for (const Tone& k : list) v += k.amplitude * std::cos(2 * M_PI * k.bin * (t - start) / n + k.phase);
    sig[t] = static_cast<int>(std::lround(v));
  }
  return sig;
}

struct Filter {
  int lo, hi;
  bool flip = false, atLeast50 = false;
  int amp = 60;
};

// What the filter must write, from a direct DFT: notching, the band mask, the scale and clamp.
std::vector<int> expected(const std::vector<int>& sig, int start, int end, int binLo, int binHi, float strong,
                          float outside, const Filter& f) {
  const int n = end - start - 1;
  std::vector<cd> X(n);
  for (int k = 0; k < n; ++k) {
    cd acc = 0;
    for (int t = 0; t < n; ++t) acc += double(sig[start + t]) * std::polar(1.0, -2 * M_PI * double(k) * t / n);
    X[k] = acc;
  }
  X[0] = 0;
  const long S = long(strong * (n / 2)), O = long((n / 2) * outside);
  for (int k = 0; k < n; ++k) {
    const long re = std::labs(long(X[k].real())), im = std::labs(long(X[k].imag()));
    if (re > S || im > S || ((k < binLo || k > binHi) && (re > O || im > O)))
      for (int j = std::max(0, k - 1); j <= std::min(n - 1, k + 1); ++j) X[j] = 0;
  }
  for (int k = 0; k < n; ++k)
    if (k < f.lo || (k >= f.hi && k < n - f.hi) || k >= n - f.lo) X[k] = 0;
  std::vector<double> y(n);
  long m = 0;
  for (int t = 0; t < n; ++t) {
    cd acc = 0;
    for (int k = 0; k < n; ++k) acc += X[k] * std::polar(1.0, 2 * M_PI * double(k) * t / n);
    y[t] = acc.real();
    m = std::max(m, std::labs(long(y[t])));
  }
  double scale = 1;
  if (m > 1) scale = -double(f.atLeast50 && std::abs(f.amp) < 50 ? 50 : std::abs(f.amp)) / double(m);
  if (f.flip) scale = -scale;
  // The filter clears the signal up to the window's end and leaves the rest (77 in these tests).
  std::vector<int> out(sig.size(), 77);
  std::fill(out.begin(), out.begin() + std::min<size_t>(end, out.size()), 0);
  for (int t = 0; t < n; ++t) out[start + t] = int(std::clamp(long(y[t] * scale), -127L, 127L));
  return out;
}

void expectNear(const std::vector<int>& got, const std::vector<int>& want, int tol, const char* what) {
  ASSERT_EQ(got.size(), want.size());
  int worst = 0;
  size_t at = 0;
  for (size_t i = 0; i < got.size(); ++i)
    if (std::abs(got[i] - want[i]) > worst) worst = std::abs(got[i] - want[i]), at = i;
  EXPECT_LE(worst, tol) << what << ": sample " << at << " is " << got[at] << ", " << want[at] << " expected";
}

class BandFilter : public ::testing::Test {
 protected:
  void TearDown() override { freeFFT(); }
  // Runs CreaFFT then FiltraFFT on a copy, returns the filtered copy (whole signal).
  std::vector<int> run(std::vector<int> sig, int start, int end, int binLo, int binHi, float strong, float outside,
                       const Filter& f) {
    EXPECT_TRUE(CreaFFT(sig.data(), start, end, binLo, binHi, strong, outside));
    std::vector<int> out(sig.size(), 77);
    EXPECT_TRUE(FiltraFFT(out.data(), f.lo, f.hi, f.flip, f.atLeast50, f.amp));
    return out;
  }
};

TEST_F(BandFilter, KeepsExactlyTheTonesInsideTheBand) {
  // Transform length 600: bins 40 and 90 inside [30, 100), 7 and 200 outside; notching set
  // high enough to leave all four (the next test notches).
  const int start = 20, n = 600, end = start + n + 1;
  const std::vector<Tone> list = {{7, 40, 0.3}, {40, 30, 1.1}, {90, 40, -0.7}, {200, 20, 2.0}};
  const std::vector<int> sig = tones(end + 30, start, n, 128, list);
  const Filter f{30, 100};
  const std::vector<int> got = run(sig, start, end, 1, 300, 100, 50, f);
  expectNear(got, expected(sig, start, end, 1, 300, 100, 50, f), 1, "against the DFT");
  // Against the two in-band tones themselves, negated and scaled to the amplitude.
  std::vector<double> band(n);
  double peak = 0;
  for (int t = 0; t < n; ++t) {
    band[t] = 3 * std::cos(2 * M_PI * 40 * t / n + 1.1) + 4 * std::cos(2 * M_PI * 90 * t / n - 0.7);
    peak = std::max(peak, std::fabs(band[t]));
  }
  for (int t = 0; t < n; ++t) EXPECT_NEAR(got[start + t], -60 * band[t] / peak, 2.0) << t;
  for (int t = 0; t < start; ++t) EXPECT_EQ(got[t], 0);
  EXPECT_EQ(got[end - 1], 0) << "cleared up to the window's end";
  for (size_t t = end; t < got.size(); ++t) EXPECT_EQ(got[t], 77) << "past the window: left alone";
}

TEST_F(BandFilter, NotchesStrongTonesAndTheirNeighbours) {
  const int start = 10, n = 512, end = start + n + 1;
  // 60: above 10 inside the band; 150: above 5 outside [binLo, binHi]; 100 and 20 stay.
  const std::vector<Tone> list = {{20, 4, 0}, {60, 12, 0.5}, {100, 4, 0.2}, {150, 6, 0}};
  const std::vector<int> sig = tones(end + 5, start, n, 100, list);
  const Filter f{1, n / 2, false, false, 90};
  const std::vector<int> got = run(sig, start, end, 10, 120, 10, 5, f);
  expectNear(got, expected(sig, start, end, 10, 120, 10, 5, f), 1, "against the DFT");
  // What is left is the two weak tones: project the output on each tone.
  auto power = [&](int bin) {
    cd acc = 0;
    for (int t = 0; t < n; ++t) acc += double(got[start + t]) * std::polar(1.0, -2 * M_PI * bin * t / n);
    return std::abs(acc) / n;
  };
  EXPECT_GT(power(20), 10);
  EXPECT_GT(power(100), 10);
  EXPECT_LT(power(60), 0.5);
  EXPECT_LT(power(150), 0.5);
}

TEST_F(BandFilter, SmallOutputIsWrittenUnscaled) {
  // A step of one count between two samples: its spectrum is tiny in bins 20 and 179 (the band
  // [20, 21) and its mirror), the output never exceeds 1 and so is not stretched to amp.
  const int start = 0, n = 200, end = n + 1;
  std::vector<int> sig(end + 2, 0);
  sig[50] = 1;
  sig[51] = -1;
  for (bool flip : {false, true}) {
    const Filter f{20, 21, flip, true, 90};
    const std::vector<int> got = run(sig, start, end, 0, n, 1000, 1000, f);
    const std::vector<int> want = expected(sig, start, end, 0, n, 1000, 1000, f);
    int nonzero = 0;
    for (int t = 0; t < n; ++t) {
      EXPECT_LE(std::abs(got[t]), 1);
      nonzero += got[t] != 0;
    }
    EXPECT_GT(nonzero, 4) << "flip " << flip;
    expectNear(got, want, 0, flip ? "flipped" : "plain");
  }
}

TEST_F(BandFilter, CutOffsAtTheEndsOfTheSpectrum) {
  const int start = 30, n = 400, end = start + n + 1;
  const std::vector<int> sig = tones(end + 10, start, n, 128, {{1, 3, 0}, {5, 4, 0.4}, {150, 3, 1}, {199, 2, 0}});
  for (const Filter& f : {Filter{0, 50}, Filter{0, 200}, Filter{3, 250}, Filter{0, 400}, Filter{10, 10}}) {
    const std::vector<int> got = run(sig, start, end, 0, n, 1000, 1000, f);
    expectNear(got, expected(sig, start, end, 0, n, 1000, 1000, f), 1, "cut-offs");
  }
}

TEST_F(BandFilter, CutOffsBeyondTheSpectrumStayInsideIt) {
  const int start = 30, n = 300, end = start + n + 1;
  std::vector<int> sig = tones(end + 10, start, n, 128, {{12, 4, 0}, {40, 3, 0}});
  ASSERT_TRUE(CreaFFT(sig.data(), start, end, 0, n, 1000, 1000));
  std::vector<int> out(sig.size(), 5);
  for (const Filter& f : {Filter{n + 40, 60}, Filter{5, -30}, Filter{-10, -20}, Filter{n * 3, -n * 3}}) {
    ASSERT_TRUE(FiltraFFT(out.data(), f.lo, f.hi, false, false, 50));
    for (int v : std::vector<int>(out.begin(), out.begin() + end - 1)) EXPECT_EQ(v, 0);
  }
  // The kept spectrum is whole: an ordinary pass afterwards is the ordinary result.
  const Filter f{10, 45};
  ASSERT_TRUE(FiltraFFT(out.data(), f.lo, f.hi, false, false, f.amp));
  const std::vector<int> want = expected(sig, start, end, 0, n, 1000, 1000, f);
  for (int t = 0; t < end - 1; ++t) EXPECT_NEAR(out[t], want[t], 1) << t;
}

TEST_F(BandFilter, RefusesWindowsOfFewerThanOneHundredPoints) {
  std::vector<int> sig(400, 9);
  ASSERT_TRUE(CreaFFT(sig.data(), 0, 300, 0, 300, 10, 5));
  EXPECT_FALSE(CreaFFT(sig.data(), 0, 100, 0, 100, 10, 5));  // 99 points
  std::vector<int> out(400, 3);
  EXPECT_FALSE(FiltraFFT(out.data(), 1, 20, false, false, 50)) << "the refused window left no run";
  EXPECT_EQ(out[0], 3);
  EXPECT_FALSE(CreaFFT(sig.data(), 50, 20, 0, 100, 10, 5));
  EXPECT_TRUE(CreaFFT(sig.data(), 0, 101, 0, 100, 10, 5));  // 100 points
  EXPECT_EQ(fftN, 100);
  EXPECT_EQ(fftN_1_2, 50);
  EXPECT_TRUE(fftFirst);
}

TEST_F(BandFilter, EqualCutOffsTwiceGiveEqualOutput) {
  const int start = 12, n = 500, end = start + n + 1;
  std::vector<int> sig = tones(end, start, n, 120, {{30, 4, 0}, {70, 3, 1}, {130, 4, 2}});
  ASSERT_TRUE(CreaFFT(sig.data(), start, end, 0, n, 1000, 1000));
  std::vector<int> a(end), b(end), c(end);
  ASSERT_TRUE(FiltraFFT(a.data(), 20, 80, false, false, 70));
  EXPECT_FALSE(fftFirst);
  ASSERT_TRUE(FiltraFFT(c.data(), 100, 140, true, true, 10));
  ASSERT_TRUE(FiltraFFT(b.data(), 20, 80, false, false, 70));
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST_F(BandFilter, ManyRunsReleaseTheirBuffers) {
  // Leaks show under the leak checker of the sanitised build.
  std::vector<int> sig = tones(3000, 0, 2000, 128, {{50, 3, 0}});
  std::vector<int> out(3000);
  for (int run = 0; run < 40; ++run) {
    ASSERT_TRUE(CreaFFT(sig.data(), run, 1000 + 40 * run, 0, 2000, 10, 5));
    ASSERT_TRUE(FiltraFFT(out.data(), 5, 200, false, false, 50));
  }
  freeFFT();
  EXPECT_FALSE(FiltraFFT(out.data(), 5, 200, false, false, 50));
  freeFFT();  // twice is harmless
}

}  // namespace
