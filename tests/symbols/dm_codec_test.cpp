// Reed-Solomon codec over GF(2^m) and DataMatrix block correction, on code words built from
// the generator polynomial and on the codewords libdmtx writes.
#include <gtest/gtest.h>

#include <dmtx.h>

#include <algorithm>
#include <random>
#include <set>

#include "dm_symbols.h"
#include "symbols/symbols.h"

namespace {

// libdmtx size indices of the 21 sizes read, in our table's order.
const int kDmtxSizes[kDmVersions] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 24, 26, 25, 27, 28, 29};

TEST(ReedSolomonCodec, FieldVisitsEveryNonZeroElementOnceAndLargerFieldsAreRefused) {
  for (int m = 2; m <= 16; ++m) {
    cReedSolomonCodec c;
    ASSERT_EQ(c.Init(m, 2, 1, 1), 1) << m;
    const int nn = (1 << m) - 1;
    std::vector<char> seen(nn + 1, 0);
    for (int i = 0; i < nn; ++i) {
      const int a = c.alphaTo()[i];
      ASSERT_TRUE(a >= 1 && a <= nn && !seen[a]) << "m " << m << " i " << i;
      seen[a] = 1;
      ASSERT_EQ(c.indexOf()[a], i);
    }
    EXPECT_EQ(c.indexOf()[0], nn);  // the log of zero
    EXPECT_EQ(c.modnn(nn), 0);
    EXPECT_EQ(c.modnn(3 * nn + 5), 5 % nn);
  }
  cReedSolomonCodec c;
  EXPECT_EQ(c.Init(17, 2, 1, 1), 0);
  EXPECT_EQ(c.Init(1, 2, 1, 1), 0);
}

// GF multiply through the codec's tables.
int mul(const cReedSolomonCodec& c, int a, int b) {
  if (a == 0 || b == 0) return 0;
  return c.alphaTo()[c.modnn(c.indexOf()[a] + c.indexOf()[b])];
}

// The generator polynomial from its roots (coefficient k of x^k at index k).
std::vector<int> generator(const cReedSolomonCodec& c, int nroots, int fcr = 1, int prim = 1) {
  std::vector<int> g{1};
  for (int i = 0; i < nroots; ++i) {
    const int root = c.alphaTo()[c.modnn((fcr + i) * prim % c.nn())];
    std::vector<int> next(g.size() + 1, 0);
    for (size_t k = 0; k < g.size(); ++k) {
      next[k + 1] ^= g[k];
      next[k] ^= mul(c, g[k], root);
    }
    g = next;
  }
  return g;
}

// A code word a(x) g(x) with a random a of degree below KK (below `used` - nroots for a word
// shortened to its first `used` symbols).
std::vector<int> randomCodeWord(const cReedSolomonCodec& c, int nroots, int fcr, int prim, std::mt19937& rng,
                                int used = 0) {
  const int nn = c.nn();
  const std::vector<int> g = generator(c, nroots, fcr, prim);
  std::vector<int> word(nn, 0);
  std::uniform_int_distribution<int> sym(0, nn);
  for (int j = 0; j < (used > 0 ? used - nroots : c.kk()); ++j) {
    const int a = sym(rng);
    for (size_t k = 0; k < g.size(); ++k) word[j + k] ^= mul(c, a, g[k]);
  }
  return word;
}

TEST(ReedSolomonCodec, CorrectsErrorsAndErasuresWithinReachForEveryFieldSize) {
  std::mt19937 rng(29);
  for (int m = 3; m <= 16; ++m) {
    const int nroots = m <= 8 ? 6 : 4, fcr = m % 3, prim = 1;
    cReedSolomonCodec c;
    ASSERT_EQ(c.Init(m, nroots, fcr, prim), 1);
    const int nn = c.nn();
    const std::vector<int> word = randomCodeWord(c, nroots, fcr, prim, rng);
    std::uniform_int_distribution<int> pos(0, nn - 1), val(1, nn);
    for (int errors = 0; errors <= nroots / 2; ++errors) {
      // errors plus erasures within reach: 2e + s <= nroots.
      const int erasures = nroots - 2 * errors;
      std::vector<int> bad = word;
      std::set<int> hit;
      while (static_cast<int>(hit.size()) < errors + erasures) hit.insert(pos(rng));
      std::vector<int> erased(hit.begin(), hit.end());
      for (int p : erased) bad[p] ^= val(rng);
      erased.resize(erasures);
      std::vector<int> out(c.kk());
      const int r = c.Decode(bad.data() + nroots, bad.data(), erased.data(), erasures, out.data(), c.kk());
      ASSERT_GE(r, errors) << "m " << m;
      ASSERT_TRUE(std::equal(out.begin(), out.end(), word.begin() + nroots)) << "m " << m << " errors " << errors;
    }
  }
}

// Errors sought among a shortened word's symbols alone are the errors the whole code finds, or
// no decoding where the whole code would place one in the shortening.
TEST(ReedSolomonCodec, AShortenedWordDecodesAsTheWholeCodeDecodesIt) {
  std::mt19937 rng(37);
  cReedSolomonCodec c;
  ASSERT_EQ(c.Init(8, 10, 1, 1), 1);
  for (int used : {15, 30, 120}) {
    std::uniform_int_distribution<int> pos(0, used - 1), val(1, 255);
    for (int errors = 0; errors <= 12; ++errors) {
      for (int trial = 0; trial < 20; ++trial) {
        std::vector<int> bad = randomCodeWord(c, 10, 1, 1, rng, used);
        std::set<int> hit;
        while (static_cast<int>(hit.size()) < std::min(errors, used)) hit.insert(pos(rng));
        for (int p : hit) bad[p] ^= val(rng);
        std::vector<int> whole(c.kk()), shortened(c.kk());
        const int r = c.Decode(bad.data() + 10, bad.data(), nullptr, 0, whole.data(), c.kk());
        const int rs = c.Decode(bad.data() + 10, bad.data(), nullptr, 0, shortened.data(), c.kk(), used);
        const bool inside = r >= 0 && std::all_of(whole.begin() + used - 10, whole.end(), [](int v) { return v == 0; });
        ASSERT_EQ(rs, inside ? r : -1) << used << " " << errors;
        if (rs >= 0) {
          ASSERT_EQ(shortened, whole);
        }
      }
    }
  }
}

// The check codewords of every block of a libdmtx symbol stay in the last nroots places.
struct Block {
  std::vector<unsigned char> cw;
  int nroots;
};

std::vector<Block> dmtxBlocks() {
  std::vector<Block> blocks;
  for (int v = 0; v < kDmVersions; ++v) {
    const DmBlocks& b = CODE_BLOCK_CHARACTERISTIC[v];
    std::string text;
    for (int i = 0; text.size() < static_cast<size_t>(b.data) * 2 - 4 && i < 400; ++i) text += char('0' + i % 10);
    const dmtest::ModuleGrid g = dmtest::dmtxGrid(text.substr(0, std::max(2, b.data * 2 - 4)), 'a', kDmtxSizes[v]);
    EXPECT_TRUE(g.ok) << v;
    EXPECT_EQ(static_cast<int>(g.codewords.size()), b.data + b.check) << v;
    for (int k = 0; k < b.blocks; ++k) {
      Block blk;
      for (int i = k; i < b.data; i += b.blocks) blk.cw.push_back(g.codewords[i]);
      for (int i = k; i < b.check; i += b.blocks) blk.cw.push_back(g.codewords[b.data + i]);
      blk.nroots = b.check / b.blocks;
      blocks.push_back(blk);
    }
  }
  return blocks;
}

TEST(DataMatrixBlock, SeededErrorsAreCorrectedUpToHalfTheCheckCodewordsAndRefusedBeyond) {
  std::mt19937 rng(1029);
  int farDecoded = 0, farRefused = 0;
  for (const Block& blk : dmtxBlocks()) {
    const int n = static_cast<int>(blk.cw.size()), t = blk.nroots / 2;
    ASSERT_EQ(ReedSolomonForDataMatrix(blk.cw.data(), n, blk.nroots), 0);
    int nd = 0;
    auto clean = GetCorrectedCodewords(nd);
    ASSERT_EQ(nd, n - blk.nroots);
    ASSERT_TRUE(std::equal(clean.get(), clean.get() + nd, blk.cw.begin()));
    std::uniform_int_distribution<int> pos(0, n - 1), val(1, 255);
    for (int errors = 1; errors <= n; ++errors) {
      for (int trial = 0; trial < 3; ++trial) {
        std::vector<unsigned char> bad = blk.cw;
        std::set<int> hit;
        while (static_cast<int>(hit.size()) < errors) hit.insert(pos(rng));
        for (int p : hit) bad[p] ^= static_cast<unsigned char>(val(rng));
        const int r = ReedSolomonForDataMatrix(bad.data(), n, blk.nroots);
        if (errors <= t) {
          ASSERT_EQ(r, errors) << "n " << n << " errors " << errors;
          auto data = GetCorrectedCodewords(nd);
          ASSERT_TRUE(std::equal(data.get(), data.get() + nd, blk.cw.begin()));
        } else if (errors <= blk.nroots - t) {
          ASSERT_EQ(r, -1) << "n " << n << " errors " << errors;  // no code word lies that close
          EXPECT_FALSE(WasDecodable());
        } else {
          (r < 0 ? farRefused : farDecoded)++;
        }
      }
    }
  }
  std::printf("far beyond reach: %d refused, %d decoded to another code word\n", farRefused, farDecoded);
  EXPECT_GT(farRefused, 10 * farDecoded);
}

TEST(DataMatrixBlock, ACodeWordReachedOnlyThroughTheShorteningIsRefused) {
  // x^s g(x) has all its nroots + 1 coefficients nonzero. Added to a good block with its top e
  // terms past the block's end (in the zero padding of the shortened code), and those terms left
  // out, it leaves a block within e <= t of a code word of the full-length code that is no code
  // word of the block: the only correction reaching it writes into the padding.
  int tried = 0;
  for (const Block& blk : dmtxBlocks()) {
    const int n = static_cast<int>(blk.cw.size()), t = blk.nroots / 2;
    cReedSolomonCodec c;
    ASSERT_EQ(c.Init(8, blk.nroots, 1, 1), 1);
    const std::vector<int> g = generator(c, blk.nroots);
    for (int e = 1; e <= t; ++e) {
      const int s = n - blk.nroots + e - 1;
      std::vector<unsigned char> bad = blk.cw;
      for (int p = s; p < n; ++p) bad[n - 1 - p] ^= static_cast<unsigned char>(g[p - s]);  // power p: codeword n-1-p
      SCOPED_TRACE(::testing::Message() << "n " << n << " nroots " << blk.nroots << " e " << e);
      // The full-length decoder does reach a code word, e symbols away, all of them in the padding.
      std::vector<int> rec(255, 0), out(c.kk());
      for (int p = 0; p < n; ++p) rec[p] = bad[n - 1 - p];
      ASSERT_EQ(c.Decode(rec.data() + blk.nroots, rec.data(), nullptr, 0, out.data(), c.kk()), e);
      for (int p = blk.nroots; p < 255; ++p)
        ASSERT_EQ(out[p - blk.nroots], p < n ? rec[p] : p <= s + blk.nroots ? g[p - s] : 0) << p;
      EXPECT_EQ(ReedSolomonForDataMatrix(bad.data(), n, blk.nroots), -1);
      EXPECT_FALSE(WasDecodable());
      ++tried;
    }
  }
  EXPECT_GT(tried, 100);
}

TEST(DataMatrixBlock, LongBlocksAndBadArguments) {
  std::vector<unsigned char> cw(288, 7);
  EXPECT_EQ(ReedSolomonForDataMatrix(cw.data(), 288, 84), -1);  // longer than the code
  EXPECT_EQ(ReedSolomonForDataMatrix(nullptr, 8, 5), -1);
  EXPECT_EQ(ReedSolomonForDataMatrix(cw.data(), 4, 5), -1);
  int n = 0;
  EXPECT_EQ(GetCorrectedCodewords(n), nullptr);
}

TEST(DataMatrixBlock, CheckCodewordsOfEverySquareSizeAsASecondEncoderCountsThem) {
  // The table goes by row count alone: libdmtx's square sizes give the counts, and a row count
  // no square has (an 8-row rectangle's among them) gives 0.
  for (int i = 0; i < DmtxSymbolSquareCount; ++i) {
    const int rows = dmtxGetSymbolAttribute(DmtxSymAttribSymbolRows, i);
    ASSERT_EQ(dmtxGetSymbolAttribute(DmtxSymAttribSymbolCols, i), rows) << i;
    EXPECT_EQ(GetNoOfErrorCorrectionWords(rows), dmtxGetSymbolAttribute(DmtxSymAttribSymbolErrorWords, i)) << rows;
  }
  for (int rows : {0, -10, 8, 9, 11, 28, 30, 100, 143, 145, 146})
    EXPECT_EQ(GetNoOfErrorCorrectionWords(rows), 0) << rows;
}

}  // namespace
