// The raw side buffer kept between documents: handed back refilled white exactly where it was
// written, replaced when it is too small or far too large, and freed when dropped.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

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
  uint8_t* small = takeSideBuffer(1000, 1000);  // less than half of it: replaced
  EXPECT_TRUE(white(small, 1000));
  releaseSideBuffer(small);
  // Dropped while lent: it is freed when it comes back (the leak checker watches).
  uint8_t* lent = takeSideBuffer(1000, 1000);
  dropSideBuffer();
  releaseSideBuffer(lent);
  releaseSideBuffer(nullptr);
  dropSideBuffer();
}

}  // namespace
