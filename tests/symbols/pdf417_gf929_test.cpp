// Error correction over GF(929): arithmetic, clean streams, and seeded error injection at every
// level up to the limit, one past it (always refused) and far beyond (right or nothing).
#include <algorithm>

#include "pdf417_test_util.h"

namespace {

using namespace pdf417test;
using pvk::tools::pdf417::checkCodewords;

using Gf929Test = PdfTest;

std::vector<int> randomCodeword(Rng& rng, int dataCount, int level)
{
  std::vector<int> cw(dataCount);
  for (int& c : cw)
    c = rng.in(0, 928);
  auto checks = checkCodewords(cw, level);
  cw.insert(cw.end(), checks.begin(), checks.end());
  return cw;
}

// count distinct positions of cw replaced by another value, or by -1 when erase.
void damage(Rng& rng, std::vector<int>& cw, int count, bool erase)
{
  std::vector<int> pos(cw.size());
  for (size_t i = 0; i < pos.size(); ++i)
    pos[i] = static_cast<int>(i);
  for (int k = 0; k < count; ++k) {
    std::swap(pos[k], pos[rng.in(k, static_cast<int>(pos.size()) - 1)]);
    int& c = cw[pos[k]];
    c = erase ? -1 : (c + rng.in(1, 928)) % 929;
  }
}

TEST_F(Gf929Test, ArithmeticModulo929)
{
  InitTables();
  EXPECT_EQ(GFmul(0, 5), 0);
  EXPECT_EQ(GFmul(5, 0), 0);
  EXPECT_EQ(GFmul(928, 928), 1);  // (-1)(-1)
  EXPECT_EQ(GFmul(31, 30), 1);    // 930 = 929 + 1
  for (int x = 1; x < 929; ++x)
    ASSERT_EQ(GFmul(GFdiv(1, x), x), 1) << x;
  EXPECT_EQ(GFdiv(0, 7), 0);
  EXPECT_EQ(GFdiv(100, 7), GFmul(100, GFdiv(1, 7)));
  EXPECT_FALSE(traced("zero division"));
  EXPECT_EQ(GFdiv(5, 0), 0);
  EXPECT_TRUE(traced("zero division"));
  // Horner with codeword 0 of highest degree: 2 x 3 + 1 at 3^1.
  int cw[2] = {2, 1};
  EXPECT_EQ(CalcSyndromes(cw, 2, 1), 7);
  EXPECT_EQ(CalcSyndromes(cw, 2, 2), 19);
}

TEST_F(Gf929Test, CleanStreamsAreLeftAloneAtEveryLevel)
{
  Rng rng(1);
  for (int level = 0; level <= 8; ++level) {
    std::vector<int> cw = randomCodeword(rng, 30, level), before = cw;
    EXPECT_EQ(CorrectErrs(cw.data(), static_cast<int>(cw.size()), (2 << level) - 2), 0) << level;
    EXPECT_EQ(cw, before);
  }
}

struct Injection {
  int level;
  int dataCount;
};

class Gf929Injection : public Gf929Test, public ::testing::WithParamInterface<Injection> {};

// Up to 2^L - 1 substituted codewords are corrected, and up to 2^(L+1) - 2 erased ones (their
// places are known); one or two more are always refused, because every syndrome is checked; far
// more give the codeword or nothing.
TEST_P(Gf929Injection, CorrectsUpToTheLimitAndNeverReturnsAWrongCodeword)
{
  const int level = GetParam().level, nSynd = (2 << level) - 2;
  Rng rng(100 + level);
  for (bool erase : {false, true}) {
    const int limit = erase ? nSynd : (1 << level) - 1;
    for (int trial = 0; trial < 2; ++trial) {
      std::vector<int> good = randomCodeword(rng, GetParam().dataCount, level);
      const int n = static_cast<int>(good.size());
      for (int errors : {1, limit, limit + 1, limit + 2, 3 * limit + 3}) {
        if (errors > n / 2)
          continue;
        std::vector<int> cw = good;
        damage(rng, cw, errors, erase);
        // An erased codeword whose value was 0 is no error.
        int wrong = 0;
        for (int i = 0; i < n; ++i)
          wrong += (cw[i] < 0 ? 0 : cw[i]) != good[i];
        int r = CorrectErrs(cw.data(), n, nSynd);
        SCOPED_TRACE(::testing::Message() << "level " << level << " errors " << errors
                                          << (erase ? " erased" : " substituted"));
        // The decoder cannot know that an erased value was 0: erasures count by their number.
        const int damaged = erase ? errors : wrong;
        if (damaged <= limit) {
          EXPECT_EQ(r, wrong);
          EXPECT_EQ(cw, good);
        } else if (damaged <= limit + 2) {
          EXPECT_EQ(r, -1);
        } else if (r >= 0) {
          EXPECT_EQ(cw, good);
        }
      }
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Levels, Gf929Injection,
                         ::testing::Values(Injection{0, 12}, Injection{1, 20}, Injection{2, 25},
                                           Injection{3, 40}, Injection{4, 60}, Injection{5, 80},
                                           Injection{6, 100}, Injection{7, 150},
                                           Injection{8, 400}));

// Erased and substituted codewords together: f erasures and e errors are corrected while
// f + 2e stays within 2^(L+1) - 2; one past that budget gives the codeword or nothing.
TEST_F(Gf929Test, ErasuresAndErrorsTogetherWithinTheirBudget)
{
  const struct {
    int level, erased, substituted;
    bool within;
  } cases[] = {{2, 2, 2, true}, {2, 4, 1, true}, {2, 6, 0, true}, {2, 1, 3, false}, {2, 3, 2, false},
               {4, 10, 10, true}, {4, 28, 1, true}, {4, 11, 10, false}};
  Rng rng(29);
  for (const auto& c : cases)
    for (int trial = 0; trial < 4; ++trial) {
      std::vector<int> good = randomCodeword(rng, 30, c.level), cw = good;
      damage(rng, cw, c.erased + c.substituted, false);
      for (int k = 0, i = 0; k < c.erased; ++i) {
        if (cw[i] != good[i]) {
          cw[i] = -1;
          ++k;
        }
      }
      const int r = CorrectErrs(cw.data(), static_cast<int>(cw.size()), (2 << c.level) - 2);
      SCOPED_TRACE(::testing::Message() << "level " << c.level << " erased " << c.erased << " substituted "
                                        << c.substituted);
      if (c.within) {
        EXPECT_GE(r, c.substituted);
      }
      if (c.within || r >= 0) {
        EXPECT_EQ(cw, good);
      }
    }
}

// An erased codeword whose true value is 928 is still found: the erasure enters as 0, not as
// -1, which is 928 modulo 929 and would look right.
TEST_F(Gf929Test, ErasureOf928IsLocated)
{
  std::vector<int> good;
  Rng rng(7);
  do
    good = randomCodeword(rng, 20, 2);
  while (std::find(good.begin(), good.end(), 928) == good.end());
  std::vector<int> cw = good;
  auto at = std::find(cw.begin(), cw.end(), 928);
  *at = -1;
  cw[at == cw.begin() ? 1 : 0] = -1;
  EXPECT_EQ(CorrectErrs(cw.data(), static_cast<int>(cw.size()), 6), 2);
  EXPECT_EQ(cw, good);
}

TEST_F(Gf929Test, RefusesWhatItCannotHold)
{
  EXPECT_EQ(CorrectErrs(nullptr, 10, 2), -1);
  EXPECT_TRUE(traced("err - correct error with null pointer"));
  // More codewords than any symbol holds: 3^(928 - j) would need a negative power.
  std::vector<int> big(929, 0);
  big[3] = 5;
  EXPECT_EQ(CorrectErrs(big.data(), 929, 6), -1);
  // Level 0 only checks: one error cannot be corrected.
  Rng rng(3);
  std::vector<int> cw = randomCodeword(rng, 10, 0);
  cw[4] = (cw[4] + 1) % 929;
  EXPECT_EQ(CorrectErrs(cw.data(), static_cast<int>(cw.size()), 0), -1);
}

// Streams that are no codeword at all: the locator's roots may lie beyond the stream or be
// fewer than its degree. Nothing is written out of bounds and a result always checks.
TEST_F(Gf929Test, GarbageNeverPassesAsACorrection)
{
  Rng rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    int level = rng.in(1, 3), n = rng.in((2 << level) + 1, 60);
    std::vector<int> cw(n);
    for (int& c : cw)
      c = rng.in(-1, 928);
    int r = CorrectErrs(cw.data(), n, (2 << level) - 2);
    for (int j = 1; r >= 0 && j <= (2 << level); ++j)
      ASSERT_EQ(CalcSyndromes(cw.data(), n, j), 0);
  }
}

}  // namespace
