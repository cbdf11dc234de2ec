// Repairs of the raw stream: the one-byte shift test against the previous line, and the
// replacement of dark streaks (a dirty or failing sensor pixel run) by the previous line.
#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "acquisition/acquisition.h"
#include "core/trace.h"

// "noise detected" is traced once per library load.
uint8_t SegnalatoDisturbo = 0;

namespace pvk::acquisition {

bool detectGlitch(const uint8_t* slot, const uint8_t* prev, uint32_t slotLen, uint32_t trimWidth,
                  uint32_t window, int32_t& glitchOffset, int& delta) {
  delta = 0;
  uint32_t len = std::min<uint32_t>(2 * trimWidth, slotLen);
  uint32_t w = std::min(window, len / 2);
  if (w == 0) return false;
  long s0 = 0, sm = 0, sp = 0;
  auto sum = [&](uint32_t from, uint32_t to) {
    for (uint32_t j = from; j < to; ++j) {
      int p = prev[j];
      s0 += std::abs(slot[j] - p);
      if (j > 0) sm += std::abs(slot[j - 1] - p);
      if (j + 1 < slotLen) sp += std::abs(slot[j + 1] - p);
    }
  };
  sum(0, w);
  sum(len - w, len);
  long t = s0 * 3 / 5;
  long m = std::min<long>(w, 50);
  char text[96];
  bool fired = false;
  if (t > sm && sm >= m && sm < sp) {
    fired = true;
    std::snprintf(text, sizeof text, "negative glith \t%ld\t%ld\t%ld", sm, s0, sp);
    WriteTrace(text, false);
    if (glitchOffset <= -128) {
      WriteTrace("glitch offset too large", glitchOffset, false);
    } else {
      --glitchOffset;
      delta = -1;
    }
  }
  if (t > sp && sp >= m && sm > sp) {
    fired = true;
    std::snprintf(text, sizeof text, "positive glith \t%ld\t%ld\t%ld", sm, s0, sp);
    WriteTrace(text, false);
    if (glitchOffset < 128) {
      ++glitchOffset;
      delta = 1;
    } else {
      WriteTrace("glitch offset too large", glitchOffset, false);
    }
  }
  return fired;
}

}  // namespace pvk::acquisition

bool CorreggiDisturbi(uint8_t* line, int count, uint8_t* prev) {
  if (!line || !prev || count <= 0) return false;
  const uint32_t n = static_cast<uint32_t>(count);
  bool repaired = false;
  uint32_t runStart = 0;
  uint32_t run = 0;
  for (uint32_t x = 0; x <= n; ++x) {
    bool dark = x < n && ((line[x] < 30 && prev[x] > 60) || (line[x] < 60 && prev[x] > 120));
    if (dark) {
      if (run++ == 0) runStart = x;
      continue;
    }
    if (run > 32) {
      std::copy(prev + runStart, prev + runStart + run, line + runStart);
      repaired = true;
    }
    run = 0;
  }
  if (repaired && !SegnalatoDisturbo) {
    SegnalatoDisturbo = 1;
    WriteTrace("noise detected", false);
  }
  return repaired;
}
