// The raw side buffer kept between documents, and what its bytes are meant to hold: the white
// fill of its preparation and the cleared read range of the acquisition are recorded, not
// written, and become bytes only where a later step can read them (settled).
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include "core/image_utils.h"

namespace {

struct Kept {
  uint8_t* base = nullptr;
  uint64_t bytes = 0;  // what was allocated
  bool lent = false;
};

// Bytes recorded as white or cleared that nobody has written yet. A byte's due value is, in
// order: what the bulk read wrote into it (left alone), the cleared range's (0, or 0xFF on
// bytes 0 and 3 of each marked line), the white fill's (0xFF).
struct Pending {
  uint8_t* white = nullptr;
  uint64_t whiteBytes = 0;
  uint8_t* cleared = nullptr;
  uint64_t clearedBytes = 0, lineBytes = 0, markedLines = 0;
  std::vector<std::pair<const uint8_t*, uint64_t>> written;  // by the bulk read since the clear
};

std::mutex guard;
Kept kept;
Pending pending;
bool atOnce = false;
bool deferFill = false;

// The pages wholly inside [from, to) go back to the system; they read as zeros when next touched.
void giveBackPages(uint8_t* from, uint8_t* to) {
  const long size = sysconf(_SC_PAGESIZE);
  if (size <= 0) return;
  const auto page = static_cast<uintptr_t>(size);
  const uintptr_t a = (reinterpret_cast<uintptr_t>(from) + page - 1) / page * page;
  const uintptr_t b = reinterpret_cast<uintptr_t>(to) / page * page;
  if (b > a) madvise(reinterpret_cast<void*>(a), b - a, MADV_DONTNEED);
}

bool within(const uint8_t* p, const uint8_t* base, uint64_t n) { return base != nullptr && p >= base && p < base + n; }

// Writes the due values of the recorded ranges over [from, to), bulk-read bytes excepted.
void settleSpan(uint8_t* from, uint8_t* to) {
  if (from >= to) return;
  if (pending.white != nullptr) {
    uint8_t* a = std::max(from, pending.white);
    uint8_t* b = std::min(to, pending.white + pending.whiteBytes);
    if (a < b) {
      // The cleared range lies inside the white one in every acquisition; outside it is white.
      uint8_t* c0 = pending.cleared ? std::clamp(pending.cleared, a, b) : b;
      uint8_t* c1 = pending.cleared ? std::clamp(pending.cleared + pending.clearedBytes, a, b) : b;
      std::memset(a, 0xFF, static_cast<size_t>(c0 - a));
      std::memset(c1, 0xFF, static_cast<size_t>(b - c1));
    }
  }
  if (pending.cleared != nullptr) {
    uint8_t* a = std::max(from, pending.cleared);
    uint8_t* b = std::min(to, pending.cleared + pending.clearedBytes);
    if (a < b) {
      std::memset(a, 0, static_cast<size_t>(b - a));
      const uint64_t line = pending.lineBytes;
      for (uint64_t r = line ? static_cast<uint64_t>(a - pending.cleared) / line : pending.markedLines;
           r < pending.markedLines && (r + 1) * line <= pending.clearedBytes; ++r) {
        uint8_t* l = pending.cleared + r * line;
        if (l >= b) break;
        if (l >= a) l[0] = 0xFF;
        if (l + 3 >= a && l + 3 < b) l[3] = 0xFF;
      }
    }
  }
}

// Settles [from, to) around what the bulk read wrote.
void settleAround(uint8_t* from, uint8_t* to) {
  std::vector<std::pair<const uint8_t*, uint64_t>> w = pending.written;
  std::sort(w.begin(), w.end());
  uint8_t* at = from;
  for (const auto& [p, n] : w) {
    uint8_t* s = const_cast<uint8_t*>(p);
    if (s + n <= at) continue;
    if (s >= to) break;
    settleSpan(at, std::min(s, to));
    at = std::max(at, s + n);
    if (at >= to) return;
  }
  settleSpan(at, to);
}

void forget() { pending = Pending{}; }

}  // namespace

namespace pvk::core {

uint8_t* lendSideBuffer(uint64_t bytes, uint64_t whiteBytes)
{
  if (whiteBytes > bytes)
    whiteBytes = bytes;
  std::lock_guard<std::mutex> lock(guard);
  uint8_t* base = nullptr;
  if (kept.base != nullptr && !kept.lent) {
    if (kept.bytes >= bytes) {
      kept.lent = true;
      base = kept.base;
      // Far larger than needed now (colour before grey, a longer limit before): the pages past
      // the request go back to the system, and the buffer stays, so that a change of mode does
      // not take a new buffer to be faulted in page by page.
      if (kept.bytes / 2 > bytes)
        giveBackPages(base + bytes, base + kept.bytes);
    } else {
      // Too small: let it go.
      std::free(kept.base);
      kept = Kept{};
    }
  }
  if (base == nullptr) {
    base = static_cast<uint8_t*>(std::malloc(bytes ? bytes : 1));
    if (base == nullptr)
      return nullptr;
    if (kept.base == nullptr)
      kept = Kept{base, bytes, true};
  }
  forget();
  pending.white = base;
  pending.whiteBytes = whiteBytes;
  if (atOnce || !deferFill) {
    settleAround(base, base + whiteBytes);
    forget();
  }
  return base;
}

uint8_t* takeSideBuffer(uint64_t bytes, uint64_t whiteBytes)
{
  uint8_t* base = lendSideBuffer(bytes, whiteBytes);
  if (base != nullptr)
    settleSideBuffer();
  return base;
}

void clearSideBufferRange(uint8_t* from, uint64_t bytes, uint64_t lineBytes, uint64_t markedLines)
{
  std::lock_guard<std::mutex> lock(guard);
  pending.written.clear();
  pending.cleared = bytes ? from : nullptr;
  pending.clearedBytes = bytes;
  pending.lineBytes = lineBytes;
  pending.markedLines = lineBytes ? markedLines : 0;
  if (atOnce) {
    settleSpan(from, from + bytes);
    forget();
  }
}

void deferSideBufferFill(bool on)
{
  std::lock_guard<std::mutex> lock(guard);
  deferFill = on;
}

void settleSideBuffersAtOnce(bool on)
{
  std::lock_guard<std::mutex> lock(guard);
  atOnce = on;
}

void noteSideBufferWritten(const uint8_t* from, uint64_t bytes)
{
  if (from == nullptr || bytes == 0)
    return;
  std::lock_guard<std::mutex> lock(guard);
  if (pending.cleared == nullptr && pending.white == nullptr)
    return;
  pending.written.emplace_back(from, bytes);
}

void settleSideBuffer(uint8_t* from, uint8_t* to)
{
  std::lock_guard<std::mutex> lock(guard);
  if (from == nullptr || from >= to)
    return;
  settleAround(from, to);
  // Settled bytes are the caller's now: a later settling must not write over what it did to them.
  if (pending.white != nullptr || pending.cleared != nullptr)
    pending.written.emplace_back(from, static_cast<uint64_t>(to - from));
}

void settleSideBuffer()
{
  std::lock_guard<std::mutex> lock(guard);
  if (pending.white != nullptr)
    settleAround(pending.white, pending.white + pending.whiteBytes);
  // A cleared range outside the white one (a second part's window in a settled buffer).
  if (pending.cleared != nullptr && !within(pending.cleared, pending.white, pending.whiteBytes))
    settleAround(pending.cleared, pending.cleared + pending.clearedBytes);
  forget();
}

void forgetSideBuffer()
{
  std::lock_guard<std::mutex> lock(guard);
  forget();
}

void releaseSideBuffer(void* buffer)
{
  if (buffer == nullptr)
    return;
  std::lock_guard<std::mutex> lock(guard);
  // Nobody reads a buffer that was given back: what was due in it is due no more.
  if (buffer == pending.white || (buffer == kept.base && within(pending.cleared, kept.base, kept.bytes)))
    forget();
  if (buffer == kept.base) {
    kept.lent = false;
    return;
  }
  std::free(buffer);
}

void dropSideBuffer()
{
  std::lock_guard<std::mutex> lock(guard);
  if (kept.base != nullptr && !kept.lent) {
    if (within(pending.white, kept.base, kept.bytes) || within(pending.cleared, kept.base, kept.bytes))
      forget();
    std::free(kept.base);
  }
  // A lent buffer is no longer ours to keep: it is freed when it comes back.
  kept = Kept{};
}

}  // namespace pvk::core
