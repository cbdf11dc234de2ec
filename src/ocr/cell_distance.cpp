// Distances between two standard cells: the zone-wise Hamming distance with its rejection
// limits, the sub-area distances the verifiers compare look-alikes on, black counts per zone,
// and the 4-connected component count of a cell. All work on whole 32-bit rows.
#include <cstdint>
#include <cstring>

#include "core/image_utils.h"
#include "ocr/ocr.h"

namespace {

constexpr uint32_t colMask(int from, int to) {
  uint32_t m = 0;
  for (int c = from; c <= to; ++c) m |= 0x80000000u >> c;
  return m;
}

constexpr uint32_t kLeftBand = colMask(0, 9);
constexpr uint32_t kMidBand = colMask(10, 20);
constexpr uint32_t kRightBand = colMask(21, 31);
constexpr int kRowBandFirst[3] = {0, 11, 22};
constexpr int kRowBandEnd[3] = {11, 22, 32};
constexpr uint32_t kColBands[3] = {kLeftBand, kMidBand, kRightBand};

__attribute__((always_inline)) inline uint32_t bits(uint32_t v) {
  return static_cast<uint32_t>(__builtin_popcount(v));
}

// Differing pixels of rows first..last and columns from..to.
uint32_t areaDist(const uint32_t* a, const uint32_t* b, int first, int last, uint32_t mask) {
  uint32_t n = 0;
  for (int r = first; r <= last; ++r) n += bits((a[r] ^ b[r]) & mask);
  return n;
}

// Counts per zone, [row band][column band], of the rows that op makes of a and b.
template <typename Op>
void zoneCounts(const uint32_t* a, const uint32_t* b, Op op, uint32_t z[3][3]) {
  for (int rb = 0; rb < 3; ++rb) {
    for (int cb = 0; cb < 3; ++cb) z[rb][cb] = 0;
    for (int r = kRowBandFirst[rb]; r < kRowBandEnd[rb]; ++r) {
      const uint32_t v = op(a[r], b[r]);
      for (int cb = 0; cb < 3; ++cb) z[rb][cb] += bits(v & kColBands[cb]);
    }
  }
}

}  // namespace

const uint32_t val[32] = {
    0x80000000u >> 0,  0x80000000u >> 1,  0x80000000u >> 2,  0x80000000u >> 3,  0x80000000u >> 4,
    0x80000000u >> 5,  0x80000000u >> 6,  0x80000000u >> 7,  0x80000000u >> 8,  0x80000000u >> 9,
    0x80000000u >> 10, 0x80000000u >> 11, 0x80000000u >> 12, 0x80000000u >> 13, 0x80000000u >> 14,
    0x80000000u >> 15, 0x80000000u >> 16, 0x80000000u >> 17, 0x80000000u >> 18, 0x80000000u >> 19,
    0x80000000u >> 20, 0x80000000u >> 21, 0x80000000u >> 22, 0x80000000u >> 23, 0x80000000u >> 24,
    0x80000000u >> 25, 0x80000000u >> 26, 0x80000000u >> 27, 0x80000000u >> 28, 0x80000000u >> 29,
    0x80000000u >> 30, 0x80000000u >> 31};
uint8_t myChar[32][32];
uint32_t white_bbk[32] = {};
uint32_t black_bbk[32] = {0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                          0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                          0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                          0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                          0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu, 0xFFFFFFFFu,
                          0xFFFFFFFFu, 0xFFFFFFFFu};

namespace {

constexpr uint64_t twice(uint32_t m) { return static_cast<uint64_t>(m) << 32 | m; }
constexpr uint64_t kLeftPair = twice(kLeftBand);
constexpr uint64_t kMidPair = twice(kMidBand);
constexpr uint64_t kRightPair = twice(kRightBand);

// Rows r and r + 1 side by side, in one load: the masks are the same in both halves, so the
// order the halves take in the word does not matter.
__attribute__((always_inline)) inline uint64_t pair(const uint32_t* cell, int r) {
  uint64_t v;
  std::memcpy(&v, cell + r, sizeof v);
  return v;
}

__attribute__((always_inline)) inline uint32_t wideBits(uint64_t v) {
  return static_cast<uint32_t>(__builtin_popcountll(v));
}

// Differing pixels of rows first .. end - 1 in each column band, two rows to a 64-bit word.
template <int First, int End>
__attribute__((always_inline)) inline void bandCounts(const uint32_t* a, const uint32_t* b, uint32_t z[3]) {
  z[0] = z[1] = z[2] = 0;
#pragma GCC unroll 8
  for (int r = First; r + 1 < End; r += 2) {
    const uint64_t v = pair(a, r) ^ pair(b, r);
    z[0] += wideBits(v & kLeftPair);
    z[1] += wideBits(v & kMidPair);
    z[2] += wideBits(v & kRightPair);
  }
  if ((End - First) % 2 != 0) {
    const uint32_t v = a[End - 1] ^ b[End - 1];
    z[0] += bits(v & kLeftBand);
    z[1] += bits(v & kMidBand);
    z[2] += bits(v & kRightBand);
  }
}

// Band by band, so that a template over a limit is dropped before the rest is counted: the
// column bands only grow, so a partial sum over maxTot already rejects. Inlined into each
// version below, its bit counts take the instructions of the version's processor.
struct Limits {
  uint32_t maxTot;
  uint32_t maxZone;
  bool withThr;
  uint32_t cutoff;
  uint32_t total = 0;
  uint32_t colBand[3] = {0, 0, 0};
  // Adds one row band's counts: false once the cell is out of reach.
  __attribute__((always_inline)) bool add(const uint32_t z[3]) {
    const uint32_t rowBand = z[0] + z[1] + z[2];
    total += rowBand;
    if (total > cutoff) return false;
    if (!withThr) return true;
    if (rowBand > maxTot) return false;
    for (int k = 0; k < 3; ++k) {
      colBand[k] += z[k];
      if (z[k] > maxZone || colBand[k] > maxTot) return false;
    }
    return true;
  }
};

__attribute__((always_inline)) inline uint32_t zoneDistance(const uint32_t* a, const uint32_t* b, uint32_t maxTot,
                                                            uint32_t maxZone, bool withThr,
                                                            uint32_t cutoff = 1024) {
  Limits l{maxTot, maxZone, withThr, cutoff};
  uint32_t z[3];
  bandCounts<kRowBandFirst[0], kRowBandEnd[0]>(a, b, z);
  if (!l.add(z)) return 1024;
  bandCounts<kRowBandFirst[1], kRowBandEnd[1]>(a, b, z);
  if (!l.add(z)) return 1024;
  bandCounts<kRowBandFirst[2], kRowBandEnd[2]>(a, b, z);
  if (!l.add(z)) return 1024;
  return l.total;
}

uint32_t zoneDistancePlain(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone, bool withThr,
                           uint32_t cutoff) {
  return zoneDistance(a, b, maxTot, maxZone, withThr, cutoff);
}

uint32_t limitedPlain(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone, uint32_t cutoff) {
  return zoneDistance(a, b, maxTot, maxZone, true, cutoff);
}

#if defined(__x86_64__) && defined(__GNUC__)
// The recognizer compares every block with every template: a bit count of one instruction
// instead of a library call makes it several times faster.
__attribute__((target("popcnt"))) uint32_t zoneDistanceCounted(const uint32_t* a, const uint32_t* b,
                                                                uint32_t maxTot, uint32_t maxZone, bool withThr,
                                                                uint32_t cutoff) {
  return zoneDistance(a, b, maxTot, maxZone, withThr, cutoff);
}
__attribute__((target("popcnt"))) uint32_t limitedCounted(const uint32_t* a, const uint32_t* b, uint32_t maxTot,
                                                           uint32_t maxZone, uint32_t cutoff) {
  return zoneDistance(a, b, maxTot, maxZone, true, cutoff);
}
#else
uint32_t zoneDistanceCounted(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone, bool withThr,
                             uint32_t cutoff) {
  return zoneDistance(a, b, maxTot, maxZone, withThr, cutoff);
}
uint32_t limitedCounted(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone, uint32_t cutoff) {
  return zoneDistance(a, b, maxTot, maxZone, true, cutoff);
}
#endif

uint32_t distance(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone, bool withThr,
                  uint32_t cutoff) {
  static const bool counted = pvk::core::processorHas(pvk::core::Cpu::BitCounts);
  return counted ? zoneDistanceCounted(a, b, maxTot, maxZone, withThr, cutoff)
                 : zoneDistancePlain(a, b, maxTot, maxZone, withThr, cutoff);
}

}  // namespace

uint32_t hamming_dist(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone, bool withThr) {
  return distance(a, b, maxTot, maxZone, withThr, 1024);
}

pvk::ocr::LimitedDistance pvk::ocr::limitedDistanceVersion() {
  static const bool counted = pvk::core::processorHas(pvk::core::Cpu::BitCounts);
  return counted ? limitedCounted : limitedPlain;
}

uint32_t pvk::ocr::limitedDistance(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone,
                                   uint32_t cutoff) {
  return limitedDistanceVersion()(a, b, maxTot, maxZone, cutoff);
}

uint32_t high_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 0, 10, colMask(0, 31)); }
uint32_t high_left_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 0, 10, colMask(0, 5)); }
uint32_t mid_high_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 0, 10, kMidBand); }
uint32_t high_right_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 0, 10, kRightBand); }
uint32_t high_right2_hamming_dist(const uint32_t* a, const uint32_t* b) {
  return areaDist(a, b, 0, 10, colMask(16, 31));
}
uint32_t vmid_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 11, 21, colMask(0, 31)); }
uint32_t mid_left_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 11, 21, kLeftBand); }
uint32_t mid_mid_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 11, 21, kMidBand); }
uint32_t mid_right_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 11, 21, kRightBand); }
uint32_t low_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 22, 31, colMask(0, 31)); }
uint32_t low_left_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 22, 31, kLeftBand); }
uint32_t low_mid_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 22, 31, kMidBand); }
uint32_t low_right_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 22, 31, kRightBand); }
uint32_t hmid_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 0, 31, kMidBand); }
uint32_t left_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 0, 31, colMask(0, 5)); }
uint32_t right_hamming_dist(const uint32_t* a, const uint32_t* b) { return areaDist(a, b, 0, 31, colMask(26, 31)); }

uint32_t hamming_dist_no_soglie(const uint32_t* a, const uint32_t* b) {
  return areaDist(a, b, 0, 31, 0xFFFFFFFFu);
}

uint32_t hamming_equal_neri(const uint32_t* a, const uint32_t* b) {
  uint32_t n = 0;
  for (int r = 0; r < 32; ++r) n += bits(a[r] & b[r]);
  return n;
}

uint32_t hamming_dist_neri(const uint32_t* a, const uint32_t* b, uint32_t thr) {
  uint32_t za[3][3];
  uint32_t zb[3][3];
  zoneCounts(a, b, [](uint32_t x, uint32_t) { return x; }, za);
  zoneCounts(a, b, [](uint32_t, uint32_t y) { return y; }, zb);
  uint32_t score = 0;
  for (int rb = 0; rb < 3; ++rb) {
    for (int cb = 0; cb < 3; ++cb) {
      const uint32_t hi = za[rb][cb] > zb[rb][cb] ? za[rb][cb] : zb[rb][cb];
      const uint32_t lo = za[rb][cb] > zb[rb][cb] ? zb[rb][cb] : za[rb][cb];
      if (hi > thr && lo == 0) {
        score += hi;
      } else if (lo < thr && thr < hi) {
        const uint32_t half = (hi - lo) / 2;
        if (half > thr) score += half;
      }
    }
  }
  return score;
}

void Mask(uint32_t* a, const uint32_t* m) {
  for (int r = 0; r < 32; ++r) a[r] &= m[r];
}

uint32_t black_in_row(uint32_t row) { return bits(row); }

namespace {

// 4-connected fill of myChar from (r, c): visited bytes become 2. The depth is bounded by the
// 1024 pixels of a cell.
uint32_t detectBlockRec(int r, int c) {
  if (r < 0 || r > 31 || c < 0 || c > 31 || myChar[r][c] != 1) return 0;
  myChar[r][c] = 2;
  detectBlockRec(r, c - 1);
  detectBlockRec(r, c + 1);
  detectBlockRec(r - 1, c);
  detectBlockRec(r + 1, c);
  return 1;
}

}  // namespace

uint32_t detectBlock(const uint32_t* cell) {
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c) myChar[r][c] = (cell[r] & val[c]) != 0 ? 1 : 0;
  uint32_t n = 0;
  for (int r = 0; r < 32; ++r)
    for (int c = 0; c < 32; ++c) n += detectBlockRec(r, c);
  return n;
}
