// Separation of sides and planes plus per-pixel correction of one two-sided cheque-sized
// stream at 300 dpi (2592 sensor pixels, 2100 lines), grey and colour, in place as during an
// acquisition; printed as a ratio to a memcpy of the same bytes measured in the same run.
// The third line applies a brightness table; the first two the neutral one. Thread CPU time:
// the figure is a ratio to the memcpy of the same round.
#include <time.h>

#include <algorithm>
#include <cstdlib>
#include <cstdio>
#include <cstring>
#include <vector>

#include "acquisition/acquisition.h"

using namespace pvk::acquisition;

namespace {

constexpr uint32_t kPixels = 2592;
constexpr uint32_t kLines = 2100;
constexpr int kRounds = 9;

// Thread CPU time: on a machine loaded by other work, wall time counts their turns too.
double now() {
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

struct Side {
  std::vector<uint8_t> black;
  std::vector<float> coef;
};

void run(const char* name, uint32_t planes, int brightness) {
  StreamGeometry g{};
  g.layout = StreamLayout::Plain;
  g.sensorPixels = kPixels;
  g.planes = planes;
  g.trimWidth = kPixels;
  const size_t rawBytes = static_cast<size_t>(g.rawLineBytes()) * kLines;
  const size_t outRow = g.outRowBytes();
  std::vector<uint8_t> stream(rawBytes);
  uint32_t h = 12345;
  for (auto& b : stream) {
    h = h * 1103515245u + 12345u;
    b = static_cast<uint8_t>(20 + (h >> 16) % 220);
  }
  // The buffer as the acquisition lays it out: one row of margin, then the raw stream.
  std::vector<uint8_t> buffer(outRow + rawBytes);
  std::vector<uint8_t> copyTarget(rawBytes);
  Side sides[2];
  for (Side& s : sides) {
    s.black.resize(kPixels * planes);
    s.coef.resize(kPixels * planes);
    std::vector<uint8_t> white(kPixels * planes);
    for (size_t x = 0; x < white.size(); ++x) {
      s.black[x] = static_cast<uint8_t>(15 + x % 9);
      white[x] = static_cast<uint8_t>(200 + x % 31);
    }
    for (uint32_t p = 0; p < planes; ++p)
      fillGains(s.coef.data() + p * kPixels, kPixels, kPixels, white.data() + p * kPixels,
                s.black.data() + p * kPixels, kPixels, 265.0f);
  }
  uint8_t lut[256];
  for (int v = 0; v < 256; ++v) lut[v] = static_cast<uint8_t>(std::min(255, std::max(0, v + brightness)));

  std::vector<double> times, copies;
  for (int round = 0; round < kRounds; ++round) {
    std::memcpy(buffer.data() + outRow, stream.data(), rawBytes);
    double t0 = now();
    SeparationState st;
    uint64_t lines = separateStream(g, st, buffer.data() + outRow, rawBytes, buffer.data(),
                                    buffer.size(), kLines, nullptr);
    for (uint32_t side = 0; side < 2; ++side)
      for (uint32_t p = 0; p < planes; ++p) {
        CorrectionPlane cp{};
        cp.firstPixel = buffer.data() + p * 2 * kPixels + (side ? 0 : kPixels);
        cp.rowStride = outRow;
        cp.rows = static_cast<uint32_t>(lines);
        cp.sensorPixels = kPixels;
        cp.trimWidth = cp.fullWidth = kPixels;
        cp.black = sides[side].black.data() + p * kPixels;
        cp.blackBytes = kPixels;
        cp.coef = sides[side].coef.data() + p * kPixels;
        cp.coefCount = kPixels;
        cp.lut = lut;
        correctPlane(cp, true);
      }
    double t1 = now();
    std::memcpy(copyTarget.data(), stream.data(), rawBytes);
    double t2 = now();
    times.push_back(t1 - t0);
    copies.push_back(t2 - t1);
    if (lines != kLines) std::printf("%s: only %llu lines separated\n", name, static_cast<unsigned long long>(lines));
  }
  std::sort(times.begin(), times.end());
  std::sort(copies.begin(), copies.end());
  const double best = times[times.size() / 2], bestCopy = copies[copies.size() / 2];
  std::printf("%-28s %6.1f MB  separation+correction %7.2f ms  memcpy %6.2f ms  ratio %5.1f (goal <= 4)\n",
              name, rawBytes / 1e6, best * 1e3, bestCopy * 1e3, best / bestCopy);
}

}  // namespace

int main() {
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3) load[0] = -1;
  std::printf("bench_separation: two-sided 300 dpi cheque stream, median of %d interleaved rounds, thread CPU "
              "time; load average %.1f %.1f %.1f\n", kRounds, load[0], load[1], load[2]);
  run("grey (1 plane)", 1, 0);
  run("colour (3 planes)", 3, 0);
  run("colour, brightness +10", 3, 10);  // a table that is not the identity
  return 0;
}
