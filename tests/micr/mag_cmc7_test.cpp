// Magnetic CMC7 recognition and weak-character removal on synthesised head signals, conditioned
// as the reading loop conditions them (moving average or a band-filter pass, lobes, both
// polarities).
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "magsynth.h"
#include "micr/micr.h"

namespace {

namespace ms = pvk::magsynth;

// A signal as one pass of the reading loop leaves it: filtered, with its four peak arrays.
struct Pass {
  std::vector<int> raw, filtered, maxS, maxE, minS, minE;
  int n = 0, first = 1, last = 0;

  explicit Pass(const ms::Signal& s, bool mirrored = false) : raw(s.samples) {
    n = static_cast<int>(raw.size());
    if (mirrored) SpecchiaMICR(raw.data(), n);
    filtered.assign(n, 0);
    last = n - 1;
  }
  int wFrom() const { return first < 1034 ? 10 : first - 1024; }
  int wTo() const { return std::min(last + 1024, n - 4); }
  void smooth() { MediaMobile(raw.data(), filtered.data(), wFrom(), wTo(), n, true); }
  // One band pass with the cut-offs of the sweep's first CMC7 pass.
  void band(int step = 0) {
    const float s = static_cast<float>(wTo() - wFrom()) / 9844.0f;
    const int hiMin = std::max(1, static_cast<int>(1200 * s)), hiMax = static_cast<int>(1400 * s);
    const int loMin = std::max(1, static_cast<int>(100 * s)), loMax = static_cast<int>(400 * s);
    const int amp = MediaMobile(raw.data(), filtered.data(), wFrom(), wTo(), n, true);
    ASSERT_TRUE(CreaFFT(raw.data(), wFrom(), wTo(), loMin, hiMax, 10.0f, 5.0f));
    const int hiStep = std::max(1, (hiMax - 1 - hiMin) / 5);
    ASSERT_TRUE(FiltraFFT(filtered.data(), loMax, hiMin + step * hiStep, false, false, amp));
    freeFFT();
  }
  void lobes() {
    maxS.assign(n, 0), maxE.assign(n, 0), minS.assign(n, 0), minE.assign(n, 0);
    ASSERT_TRUE(ElaboraSegnale(filtered.data(), maxS.data(), maxE.data(), minS.data(), minE.data(), n, first, last));
  }
  // The second polarity: the signal negated, maxima and minima exchanged.
  void invert() {
    for (int i = first; i < last; ++i) {
      filtered[i] = -filtered[i];
      std::swap(maxS[i], minS[i]);
      std::swap(maxE[i], minE[i]);
      maxS[i] = -maxS[i], minS[i] = -minS[i], maxE[i] = -maxE[i], minE[i] = -minE[i];
    }
  }
};

struct Reading {
  char text[128], conf[128];
  int hits[128], start[128], end[128];
  int n = 0;
  std::string str() const { return std::string(text, text + n); }
};

struct Guide {
  char text[128] = {};
  int start[128] = {}, end[128] = {};
  int n = 0;
  Guide() = default;
  Guide(const ms::Signal& s, const std::string& symbols = "") {
    for (const ms::CharTruth& t : s.truth) {
      text[n] = symbols.empty() ? t.symbol : symbols[n % symbols.size()];
      start[n] = t.first;
      end[n] = t.last;
      ++n;
    }
  }
};

Reading recognise(Pass& p, Guide* g) {
  Reading r;
  InitDatiMICR(32, 1.0f);
  r.n = RiconosciCaratteriCMC7(r.text, r.conf, r.hits, r.start, r.end, g ? g->text : nullptr, g ? g->start : nullptr,
                               g ? g->end : nullptr, g ? g->n : 0, p.maxS.data(), p.maxE.data(), p.first, p.last, p.n,
                               105, 4, 160);
  return r;
}

// Each read symbol of r against the printed character it overlaps; returns the wrong ones.
std::string wrongSymbols(const Reading& r, const ms::Signal& s) {
  std::string wrong;
  for (int i = 0; i < r.n; ++i) {
    if (!pvk::micr::isRead(r.text[i])) continue;
    char printed = 0;
    for (const ms::CharTruth& t : s.truth)
      if (r.start[i] <= t.last && t.first <= r.end[i]) printed = t.symbol;
    if (printed != r.text[i]) wrong += r.text[i];
  }
  return wrong;
}

ms::Codeline line(const std::string& text, double startLine = 500) {
  ms::Codeline c;
  c.text = text;
  c.startLine = startLine;
  return c;
}

const std::string kLine = "0123456789:;<=>0918273645";

TEST(MagneticCMC7, CleanLinesWithAnExactGuideReadExactly) {
  for (bool inverted : {false, true}) {
    ms::Impairments imp;
    imp.inverted = inverted;
    const ms::Signal s = ms::synthesise(ms::Head{}, line(kLine), 2000, imp);
    for (int pass = 0; pass < 2; ++pass) {
      Pass p(s);
      if (pass == 0) p.smooth();
      else p.band();
      p.lobes();
      // An inverted head puts the strokes' leading edges on the negative lobes.
      if (inverted) p.invert();
      Guide g(s);
      const Reading r = recognise(p, &g);
      EXPECT_EQ(r.str(), kLine) << (inverted ? "inverted" : "plain") << " pass " << pass;
      for (int i = 0; i < r.n; ++i) EXPECT_EQ(r.hits[i], 1);
    }
  }
}

TEST(MagneticCMC7, WithoutAGuideOrWithAWrongOneNothingIsMisread) {
  const ms::Signal s = ms::synthesise(ms::Head{}, line(kLine), 2000, ms::graded(1, 3));
  for (int guideKind = 0; guideKind < 2; ++guideKind) {
    Pass p(s);
    p.band();
    p.lobes();
    Guide wrong(s, "7777");
    const Reading r = recognise(p, guideKind ? &wrong : nullptr);
    EXPECT_EQ(wrongSymbols(r, s), "") << "guide " << guideKind << ": " << r.str();
    int read = 0;
    for (int i = 0; i < r.n; ++i) read += pvk::micr::isRead(r.text[i]);
    EXPECT_GE(read, static_cast<int>(kLine.size()) - 3) << r.str();
  }
}

TEST(MagneticCMC7, MirroredHeadReadsOnceUndone) {
  ms::Impairments imp;
  imp.mirrored = true;
  const ms::Signal s = ms::synthesise(ms::Head{}, line("12345:67890"), 1400, imp);
  Pass p(s, true);
  p.smooth();
  p.lobes();
  Guide g(s);
  EXPECT_EQ(recognise(p, &g).str(), "12345:67890");
}

TEST(MagneticCMC7, ALineEndingAtTheSignalsEnd) {
  // The last character's closing strokes lie in the last samples: the search for a stroke's end
  // must stop at the signal's end (the arrays are exactly n long).
  const ms::Signal full = ms::synthesise(ms::Head{}, line("123456"), 1000);
  const int n = full.truth.back().last + 4;
  ms::Signal s = full;
  s.samples.resize(static_cast<size_t>(n));
  for (int cut = 0; cut < 8; ++cut) {
    Pass p(s);
    p.n = n - cut;
    p.raw.resize(p.n), p.filtered.resize(p.n);
    p.last = p.n - 1;
    p.smooth();
    p.lobes();
    const Reading r = recognise(p, nullptr);
    EXPECT_EQ(wrongSymbols(r, s), "") << cut;
  }
}

TEST(MagneticCMC7, TouchingResultsOfOneSymbolMergeAndWideGapsGetBlanks) {
  const ms::Signal s = ms::synthesise(ms::Head{}, line("12    34"), 1400);
  Pass p(s);
  p.smooth();
  p.lobes();
  Guide g(s);
  const Reading r = recognise(p, &g);
  ASSERT_EQ(r.str(), "12 34");
  EXPECT_EQ(r.conf[2], 4);
  EXPECT_EQ(r.start[2], r.end[1] + 1);
  EXPECT_EQ(r.end[2], r.start[3] - 1);
}

// ---- Weak characters ---------------------------------------------------------------------

struct Line {
  char text[128] = {}, conf[128] = {};
  int start[128] = {}, end[128] = {};
  int n = 0;
};

Line fromTruth(const ms::Signal& s, int conf = 60) {
  Line l;
  for (const ms::CharTruth& t : s.truth) {
    l.text[l.n] = t.symbol;
    l.conf[l.n] = static_cast<char>(conf);
    l.start[l.n] = t.first;
    l.end[l.n] = t.last;
    ++l.n;
  }
  return l;
}

TEST(WeakCharacters, AFaintCharacterGoesItsFullInkNeighboursAreStrong) {
  ms::Codeline c = line("0123456789");
  c.strength = {1, 1, 1, 1, 0.03, 1, 1, 1, 1, 1};
  const ms::Signal s = ms::synthesise(ms::Head{}, c, 1500);
  Pass p(s);
  p.band();
  for (bool keep : {false, true}) {
    Line l = fromTruth(s);
    int weak = 0, middle = 0, strong = 0, d = 3, e = 10, f = 15;
    RimuoviCaratteriDeboli(l.text, l.conf, l.start, l.end, l.n, nullptr, weak, middle, strong, d, e, f, 0.1f, 0.35f,
                           0.7f, p.filtered.data(), p.first, p.last, true, 0, keep);
    if (keep) {
      EXPECT_EQ(std::string(l.text, l.text + l.n), "0123456789") << "one weak between strong neighbours stays";
    } else {
      EXPECT_EQ(std::string(l.text, l.text + l.n), "012356789");
    }
    EXPECT_EQ(weak, 1);
    EXPECT_EQ(strong, 9);
    EXPECT_EQ(middle, 0);
    EXPECT_LT(d, e);
    EXPECT_LE(f, 8 + d) << "f is capped at 8 before the background is added";
  }
}

TEST(WeakCharacters, TwoWeakNeighboursBothGoAndConfirmedOnesAreStrong) {
  ms::Codeline c = line("0123456789");
  c.strength = {1, 1, 0.03, 0.03, 1, 1, 1, 1, 1, 0.03};
  const ms::Signal s = ms::synthesise(ms::Head{}, c, 1500);
  Pass p(s);
  p.band();
  Line l = fromTruth(s);
  char status[128] = {};
  status[5] = 2;  // confirmed by the other reading: strong with 100 whatever its signal
  int weak = 0, middle = 0, strong = 0, d = 20, e = 30, f = 40;
  RimuoviCaratteriDeboli(l.text, l.conf, l.start, l.end, l.n, status, weak, middle, strong, d, e, f, 0.3f, 0.5f, 0.7f,
                         p.filtered.data(), p.first, 100000, true, 0, true);
  // 2 and 3 are weak side by side, 9 has no right neighbour: all three go.
  EXPECT_EQ(std::string(l.text, l.text + l.n), "0145678");
  EXPECT_EQ(l.conf[3], 100);
  EXPECT_EQ(weak, 3);
  EXPECT_EQ(strong, 1);
  EXPECT_EQ(f, 8) << "f is capped at 8 first";
}

TEST(WeakCharacters, AnEntryNearSampleZeroWithAPositiveOffset) {
  const ms::Signal s = ms::synthesise(ms::Head{}, line("12", 205), 600);
  Pass p(s);
  p.smooth();
  Line l = fromTruth(s);
  ASSERT_LT(l.start[0], 30);
  int weak = 0, middle = 0, strong = 0, d = 3, e = 10, f = 15;
  // Offset 40 puts the first character's start before sample 0: it is measured from sample 0.
  RimuoviCaratteriDeboli(l.text, l.conf, l.start, l.end, l.n, nullptr, weak, middle, strong, d, e, f, 0.1f, 0.35f,
                         0.7f, p.filtered.data(), 0, p.n, true, 40, false);
  EXPECT_EQ(weak + middle + strong, 2);
}

}  // namespace
