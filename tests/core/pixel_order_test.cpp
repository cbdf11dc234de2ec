// Colour pixels between blue-first, red-first and planar rows: every length around the steps of
// the shuffles (5, 16 and 21 pixels), in place and between buffers at odd addresses, against the
// per-pixel loop; nothing outside the pixels is written.
#include <gtest/gtest.h>

#include <random>
#include <vector>

#include "core/image_utils.h"

namespace {

std::vector<uint8_t> randomBytes(size_t n, uint32_t seed)
{
  std::mt19937 rng(seed);
  std::vector<uint8_t> v(n);
  for (auto& b : v) b = static_cast<uint8_t>(rng());
  return v;
}

const size_t kLengths[] = {0, 1, 4, 5, 6, 10, 15, 16, 17, 21, 22, 31, 32, 33, 43, 47, 48, 49, 2592};
constexpr size_t kGuard = 19;  // bytes either side that must stay as they were

TEST(PixelOrder, SwapMatchesThePixelLoopInPlaceAndBetweenBuffers)
{
  uint32_t seed = 3;
  for (size_t n : kLengths) {
    for (size_t offset : {0, 1, 7}) {
      auto src = randomBytes(3 * n + 2 * kGuard + offset, seed++);
      auto want = src;
      for (size_t k = 0; k < n; ++k) std::swap(want[offset + kGuard + 3 * k], want[offset + kGuard + 3 * k + 2]);
      auto dst = randomBytes(src.size(), seed++);
      auto expectDst = dst;
      std::copy(want.begin() + offset + kGuard, want.begin() + offset + kGuard + 3 * n,
                expectDst.begin() + offset + kGuard);
      pvk::core::swapOuterBytes(dst.data() + offset + kGuard, src.data() + offset + kGuard, n);
      EXPECT_EQ(dst, expectDst) << n << " pixels at offset " << offset;
      pvk::core::swapOuterBytes(src.data() + offset + kGuard, src.data() + offset + kGuard, n);
      EXPECT_EQ(src, want) << n << " pixels in place at offset " << offset;
    }
  }
}

TEST(PixelOrder, InterleaveTakesOneByteOfEachPlanePerPixel)
{
  uint32_t seed = 101;
  for (size_t n : kLengths) {
    for (size_t offset : {0, 3}) {
      // The planes side by side as in an acquired row, each with a gap behind it.
      auto row = randomBytes(3 * (n + 5) + offset, seed++);
      const uint8_t* a = row.data() + offset;
      const uint8_t *b = a + n + 5, *c = b + n + 5;
      auto dst = randomBytes(3 * n + 2 * kGuard + offset, seed++);
      auto want = dst;
      for (size_t k = 0; k < n; ++k) {
        want[offset + kGuard + 3 * k] = a[k];
        want[offset + kGuard + 3 * k + 1] = b[k];
        want[offset + kGuard + 3 * k + 2] = c[k];
      }
      pvk::core::interleavePlanes(dst.data() + offset + kGuard, a, b, c, n);
      EXPECT_EQ(dst, want) << n << " pixels at offset " << offset;
    }
  }
}

TEST(PixelOrder, NullPointersWriteNothing)
{
  std::vector<uint8_t> buf(48, 9);
  pvk::core::swapOuterBytes(nullptr, buf.data(), 16);
  pvk::core::swapOuterBytes(buf.data(), nullptr, 16);
  pvk::core::interleavePlanes(buf.data(), buf.data(), nullptr, buf.data(), 16);
  EXPECT_EQ(buf, std::vector<uint8_t>(48, 9));
}

}  // namespace
