// The raw side buffer kept between documents: taken by the acquisition's buffer preparation,
// given back whenever a side record lets go of its buffer.
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "core/image_utils.h"

namespace {

struct Kept {
  uint8_t* base = nullptr;
  uint64_t bytes = 0;  // what was allocated
  bool lent = false;
};

std::mutex guard;
Kept kept;

// One past the last byte of [0, n) that is not 0xFF (0 when all are): the bytes written since
// the buffer was white all lie below it.
uint64_t dirtyEnd(const uint8_t* p, uint64_t n)
{
  constexpr uint64_t kBlock = 256;
  while (n >= kBlock) {
    uint64_t all = ~uint64_t{0};
    for (uint64_t i = n - kBlock; i < n; i += 8) {
      uint64_t w;
      std::memcpy(&w, p + i, 8);
      all &= w;
    }
    if (all != ~uint64_t{0})
      break;
    n -= kBlock;
  }
  while (n > 0 && p[n - 1] == 0xFF)
    --n;
  return n;
}

}  // namespace

namespace pvk::core {

uint8_t* takeSideBuffer(uint64_t bytes, uint64_t whiteBytes)
{
  if (whiteBytes > bytes)
    whiteBytes = bytes;
  std::lock_guard<std::mutex> lock(guard);
  if (kept.base != nullptr && !kept.lent) {
    if (kept.bytes >= bytes && kept.bytes / 2 <= bytes) {
      std::memset(kept.base, 0xFF, dirtyEnd(kept.base, whiteBytes));
      kept.lent = true;
      return kept.base;
    }
    // Too small, or far larger than needed now (the limits shrank): let it go.
    std::free(kept.base);
    kept = Kept{};
  }
  auto* base = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
  if (base == nullptr)
    return nullptr;
  std::memset(base, 0xFF, whiteBytes);
  if (kept.base == nullptr)
    kept = Kept{base, bytes, true};
  return base;
}

void releaseSideBuffer(void* buffer)
{
  if (buffer == nullptr)
    return;
  std::lock_guard<std::mutex> lock(guard);
  if (buffer == kept.base) {
    kept.lent = false;
    return;
  }
  std::free(buffer);
}

void dropSideBuffer()
{
  std::lock_guard<std::mutex> lock(guard);
  if (kept.base != nullptr && !kept.lent)
    std::free(kept.base);
  // A lent buffer is no longer ours to keep: it is freed when it comes back.
  kept = Kept{};
}

}  // namespace pvk::core
