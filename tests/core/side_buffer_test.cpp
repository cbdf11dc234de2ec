// The raw side buffer kept between documents: handed back refilled white exactly where it was
// written, replaced when it is too small or far too large, and freed when dropped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/image_utils.h"

namespace {

using pvk::core::dropSideBuffer;
using pvk::core::releaseSideBuffer;
using pvk::core::takeSideBuffer;

bool white(const uint8_t* p, size_t n) { return std::all_of(p, p + n, [](uint8_t b) { return b == 0xFF; }); }

TEST(SideBuffer, ComesBackWhiteWhereverTheLastUserWrote)
{
  dropSideBuffer();
  const size_t n = 1 << 20;
  uint8_t* a = takeSideBuffer(n + 100, n);
  ASSERT_NE(a, nullptr);
  EXPECT_TRUE(white(a, n));
  // Writes at the very start, in the middle, on the last white byte, and past the white part.
  a[0] = 0;
  std::memset(a + 5000, 0x12, 300);
  a[n - 1] = 0xFE;
  a[n + 50] = 0;
  releaseSideBuffer(a);
  uint8_t* b = takeSideBuffer(n + 100, n);
  EXPECT_EQ(b, a);
  EXPECT_TRUE(white(b, n));
  // A smaller white part than before: only that part is promised.
  std::memset(b + 10, 0x00, 20);
  releaseSideBuffer(b);
  uint8_t* c = takeSideBuffer(n, 100);
  EXPECT_EQ(c, a);
  EXPECT_TRUE(white(c, 100));
  releaseSideBuffer(c);
  dropSideBuffer();
}

TEST(SideBuffer, ALentBufferIsNotLentTwiceAndSizesOutOfRangeAreReplaced)
{
  dropSideBuffer();
  uint8_t* a = takeSideBuffer(4096, 4096);
  uint8_t* b = takeSideBuffer(4096, 4096);  // the kept one is out: a buffer of its own
  ASSERT_NE(a, nullptr);
  ASSERT_NE(b, nullptr);
  EXPECT_NE(a, b);
  EXPECT_TRUE(white(b, 4096));
  releaseSideBuffer(b);  // freed: not the kept one
  releaseSideBuffer(a);
  uint8_t* larger = takeSideBuffer(8192, 8192);
  EXPECT_TRUE(white(larger, 8192));
  releaseSideBuffer(larger);
  uint8_t* again = takeSideBuffer(5000, 5000);  // fits and needs more than half: the same one
  EXPECT_EQ(again, larger);
  releaseSideBuffer(again);
  uint8_t* small = takeSideBuffer(1000, 1000);  // less than half of it: the same one, its pages past 1000 given back
  EXPECT_EQ(small, larger);
  EXPECT_TRUE(white(small, 1000));
  releaseSideBuffer(small);
  // Dropped while lent: it is freed when it comes back (the leak checker watches).
  uint8_t* lent = takeSideBuffer(1000, 1000);
  dropSideBuffer();
  releaseSideBuffer(lent);
  releaseSideBuffer(nullptr);
  dropSideBuffer();
}

// One acquisition's worth of side-buffer events: the white fill, the cleared read range with its
// marked lines, and the spans the bulk read wrote (with their bytes).
struct Acquisition {
  uint64_t bytes, white, clearFrom, clearBytes, line, marked;
  std::vector<std::pair<uint64_t, std::vector<uint8_t>>> reads;
};

Acquisition randomAcquisition(std::mt19937& rng)
{
  auto pick = [&rng](uint64_t lo, uint64_t hi) { return std::uniform_int_distribution<uint64_t>(lo, hi)(rng); };
  Acquisition a{};
  a.bytes = pick(3000, 9000);
  a.white = a.bytes - pick(0, 200);
  a.line = pick(4, 97);
  a.clearFrom = pick(0, a.line);
  a.clearBytes = pick(0, a.white - a.clearFrom);
  a.marked = pick(0, a.clearBytes / a.line + 3);  // sometimes more lines than the range holds
  for (uint64_t at = a.clearFrom; at < a.clearFrom + a.clearBytes;) {
    const uint64_t n = std::min(pick(1, 700), a.clearFrom + a.clearBytes - at);
    std::vector<uint8_t> data(n);
    for (auto& b : data)
      b = static_cast<uint8_t>(rng());
    a.reads.emplace_back(at, std::move(data));
    at += n + pick(0, 1) * pick(1, 300);  // some gaps: a short transfer, a read that ended early
  }
  return a;
}

// Runs the events on a buffer whose previous contents are `stale`; true settles at once.
uint8_t* run(const Acquisition& a, bool atOnce, uint8_t stale)
{
  pvk::core::settleSideBuffersAtOnce(atOnce);
  pvk::core::deferSideBufferFill(true);
  uint8_t* b = pvk::core::lendSideBuffer(a.bytes, a.white);
  pvk::core::deferSideBufferFill(false);
  if (!atOnce)
    std::memset(b, stale, a.bytes);  // what a longer previous document left behind
  pvk::core::clearSideBufferRange(b + a.clearFrom, a.clearBytes, a.line, a.marked);
  for (const auto& [at, data] : a.reads) {
    std::memcpy(b + at, data.data(), data.size());
    pvk::core::noteSideBufferWritten(b + at, data.size());
  }
  pvk::core::settleSideBuffersAtOnce(false);
  return b;
}

TEST(SideBuffer, DeferredFillGivesTheBytesOfAnImmediateOneWhereverItIsSettled)
{
  std::mt19937 rng(16);
  for (int round = 0; round < 60; ++round) {
    dropSideBuffer();
    const Acquisition a = randomAcquisition(rng);
    uint8_t* ref = run(a, true, 0);
    const std::vector<uint8_t> want(ref, ref + a.white);
    releaseSideBuffer(ref);
    uint8_t* got = run(a, false, static_cast<uint8_t>(round % 2 ? 0x00 : 0x5A));
    // A window settled first (as after a good read), then touched by a later step; the rest
    // settled afterwards (as on a failure) must leave the window alone.
    const uint64_t w0 = std::uniform_int_distribution<uint64_t>(0, a.white)(rng);
    const uint64_t w1 = std::uniform_int_distribution<uint64_t>(w0, a.white)(rng);
    pvk::core::settleSideBuffer(got + w0, got + w1);
    ASSERT_TRUE(std::equal(want.begin() + w0, want.begin() + w1, got + w0)) << "round " << round;
    std::vector<uint8_t> after(got + w0, got + w1);
    for (uint64_t i = 0; i < after.size(); i += 7)
      after[i] = got[w0 + i] = static_cast<uint8_t>(after[i] + 1);
    pvk::core::settleSideBuffer();
    for (uint64_t i = 0; i < a.white; ++i) {
      const uint8_t expected = i >= w0 && i < w1 ? after[i - w0] : want[i];
      ASSERT_EQ(got[i], expected) << "round " << round << " byte " << i;
    }
    // Settled once, nothing is due any more.
    std::memset(got, 0x33, a.bytes);
    pvk::core::settleSideBuffer();
    ASSERT_EQ(got[a.white / 2], 0x33);
    releaseSideBuffer(got);
  }
  dropSideBuffer();
}

TEST(SideBuffer, WhatIsDueIsForgottenWithTheBufferThatOwedIt)
{
  dropSideBuffer();
  // Outside a document's acquisition the white fill is written at once.
  uint8_t* a = pvk::core::lendSideBuffer(4096, 4096);
  EXPECT_TRUE(white(a, 4096));
  std::memset(a, 0x44, 4096);
  pvk::core::settleSideBuffer();
  EXPECT_EQ(a[4095], 0x44);
  releaseSideBuffer(a);
  pvk::core::deferSideBufferFill(true);
  a = pvk::core::lendSideBuffer(4096, 4096);
  pvk::core::deferSideBufferFill(false);
  pvk::core::clearSideBufferRange(a + 64, 1024, 64, 16);
  std::memset(a, 0x44, 4096);
  pvk::core::forgetSideBuffer();  // a good read: what was not settled is never read
  pvk::core::settleSideBuffer();
  EXPECT_EQ(a[0], 0x44);
  EXPECT_EQ(a[100], 0x44);
  releaseSideBuffer(a);
  // Given back with bytes still due: nothing is written into it afterwards.
  pvk::core::deferSideBufferFill(true);
  uint8_t* b = pvk::core::lendSideBuffer(4096, 4096);
  pvk::core::deferSideBufferFill(false);
  ASSERT_EQ(b, a);
  std::memset(b, 0x44, 4096);
  releaseSideBuffer(b);
  pvk::core::settleSideBuffer();
  EXPECT_EQ(b[10], 0x44);
  dropSideBuffer();
}

}  // namespace
