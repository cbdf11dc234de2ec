// What a hostile page costs a host: one scan-and-read call on the demo cheque and on pages made to
// defeat the readers (noise, stripes, the cheque's print on a guilloche background of the kind
// security paper carries), each with a request of one whole-cheque zone and one of twenty
// whole-cheque zones of twenty kinds. The figure is the page's reading time over the clean
// cheque's reading time for the same request, both measured in the same rounds; then the time a
// stop pressed on another thread takes to end the call, pressed at several moments of a
// twenty-zone read of the noise page.
//
// `bench_hostile_pages fonts` prints instead, for profiling, one whole-cheque zone of each kind
// on the noise page and on the clean cheque; `bench_hostile_pages stop MS` presses one stop MS
// milliseconds into the twenty-zone noise read and prints when, on the monotonic clock.
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "../bench_session.h"
#include "../bench_timing.h"
#include "PlavikMS.h"
#include "core/records.h"
#include "demo_cheque.h"
#include "document/document.h"
#include "pvkemu.h"
#include "pvkemu_image.h"
#include "pvkemu_sheet.h"
#include "reading/reading.h"

namespace {

namespace dc = pvk::democheque;
using pvk::bench::kernelSeconds;
using pvk::bench::median;

constexpr short kTextSize = 4096;
// Twenty kinds of zone: the engine's fonts, the composite modes, the symbol readers.
constexpr short kKinds[] = {1, 2, 3, 4, 5, 9, 10, 11, 12, 38, 100, 110, 120, 121, 14, 202, 203, 7, 8, 36};

double now() { return kernelSeconds(CLOCK_MONOTONIC); }

struct Page {
  const char* name;
  dc::Cheque cheque;
};

// The cheque's paper replaced by f(x, y), its print kept where ink is darker than f.
template <typename F>
Page pageOf(const char* name, const dc::Cheque& clean, bool keepPrint, F f) {
  Page p{name, clean};
  for (int y = 0; y < clean.height; ++y)
    for (int x = 0; x < clean.width; ++x) {
      uint8_t& px = p.cheque.front[static_cast<size_t>(y) * clean.width + x];
      const uint8_t v = f(x, y);
      px = keepPrint ? std::min(px, v) : v;
    }
  return p;
}

std::vector<Page> pages() {
  const dc::Cheque clean = dc::makeCheque(202);
  std::mt19937 rng(1234);
  std::vector<Page> out;
  out.push_back({"clean cheque", clean});
  out.push_back(pageOf("noise", clean, false, [&](int, int) { return static_cast<uint8_t>(rng() & 0xFF); }));
  out.push_back(pageOf("stripes", clean, false, [](int x, int y) { return ((x + y / 3) / 4) % 2 ? 230 : 40; }));
  out.push_back(pageOf("security", clean, true, [](int x, int y) {
    const double wave = std::sin(x / 2.5 + 7.0 * std::sin(y / 23.0)) * std::sin(y / 3.0 + 5.0 * std::sin(x / 41.0));
    return static_cast<uint8_t>(190 + 45 * wave);
  }));
  return out;
}

using pvk::bench::Session;

PVKOCRDoc request(const Session& s, const short* fonts, int n) {
  OCRDoc = PVKOCRDoc{};
  for (int i = 0; i < n; ++i) PVKOCRZoneAdd(s.h(), 300, 0, 0, 1800, 800, 1, fonts[i], 0);
  PVKOCRZoneRotateDoc(s.h(), 0);
  return OCRDoc;
}

char text[kTextSize], conf[kTextSize];

void feed(const Session& s, const Page& p) {
  const dc::Transport t = dc::onTransport(p.cheque, false);
  pvkemu_document d{};
  d.width = static_cast<uint32_t>(t.sensorPixels);
  d.height = static_cast<uint32_t>(t.lines);
  d.front[0] = t.front.data();
  d.rear[0] = t.rear.data();
  pvkemu_feed(s.dev, &d);
  pvkemu_sheet(s.dev, 0, 1, PVKEMU_SHEET_ENTRY);
}

int scan(const Session& s, const Page& p, const PVKOCRDoc& req) {
  feed(s, p);
  OCRDoc = req;
  return PVKImgScan1(s.h(), &OCRDoc, text, conf, kTextSize);
}

// The zones read again on the sides the last call acquired: the reading alone, in seconds.
double readAgain(const PVKOCRDoc& req, int& result) {
  MyOcr.typeDoc = MyOcr.typeDocSaved;
  MyMICR.enabled = 0;
  MyMICR.cdlFound = 0;
  OCRDoc = req;
  result = Vx3Read_CheckParameter(&OCRDoc, text, conf) ? 0 : MyDev.lastResult;
  const double from = now();
  if (result == 0) result = Vx3ReadDoc(&OCRDoc, text, conf, kTextSize);
  const double took = now() - from;
  MyOcrFree(1, true);
  MyOcrFree(0, true);
  MyOcrFree(2, true);
  return took;
}

// Median reading time of each page with one request, rounds taking the pages in turn.
std::vector<double> readingTimes(const Session& s, const std::vector<Page>& ps, const PVKOCRDoc& req, int rounds,
                                 std::vector<int>& results) {
  std::vector<std::vector<double>> t(ps.size());
  results.assign(ps.size(), 0);
  for (int r = 0; r < rounds; ++r)
    for (size_t i = 0; i < ps.size(); ++i) {
      scan(s, ps[i], PVKOCRDoc{});  // acquired only
      t[i].push_back(readAgain(req, results[i]));
    }
  std::vector<double> out;
  for (auto& v : t) out.push_back(median(v));
  return out;
}

// Seconds the last call of stopLatency took.
double callSeconds = 0;

// A stop pressed `delay` seconds into a call: the seconds from the stop to the call's return
// (negative when the call ended before the stop), and the call's result.
double stopLatency(const Session& s, const Page& p, const PVKOCRDoc& req, double delay, int& result) {
  std::atomic<double> pressed{-1};
  std::atomic<bool> done{false};
  void* h = s.h();
  feed(s, p);
  OCRDoc = req;
  const double start = now();
  std::thread stopper([&] {
    while (!done && now() < start + delay) {
    }
    if (done) return;
    pressed = now();
    PVKStop(h, 1);
  });
  result = PVKImgScan1(h, &OCRDoc, text, conf, kTextSize);
  const double end = now();
  callSeconds = end - start;
  done = true;
  stopper.join();
  PVKStop(h, 0);
  return pressed < 0 ? -1 : end - pressed;
}

void perFont(const Session& s, const std::vector<Page>& ps) {
  std::printf("%-6s %12s %12s %8s\n", "font", "clean ms", "noise ms", "ratio");
  const std::vector<Page> two = {ps[0], ps[1]};
  for (short f : kKinds) {
    std::vector<int> results;
    const std::vector<double> t = readingTimes(s, two, request(s, &f, 1), 1, results);
    std::printf("%-6d %12.1f %12.1f %8.1f   results %d %d\n", f, t[0] * 1e3, t[1] * 1e3, t[1] / t[0], results[0],
                results[1]);
    std::fflush(stdout);
  }
}

}  // namespace

int main(int argc, char** argv) {
  pvkemu_clock_virtual(1);  // the library's waits cost no time
  const bool fonts = argc > 1 && std::strcmp(argv[1], "fonts") == 0;
  const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  char tmpl[] = "/tmp/pvk_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  const std::vector<Page> ps = pages();
  Session s;
  if (!s.open(dir, pvkemu_profile_basic, 22000000)) {
    std::printf("bench_hostile_pages: the software scanner did not open (last result %d)\n", PVKGetLastResult());
    return 1;
  }
  double load[3] = {-1, -1, -1};
  if (getloadavg(load, 3) != 3) load[0] = -1;
  std::printf("bench_hostile_pages: reading time of hostile pages over the clean cheque's, median of %d rounds; "
              "load average %.1f %.1f %.1f on %ld cores\n",
              rounds, load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
  if (fonts) {
    perFont(s, ps);
  } else if (argc > 1 && std::strcmp(argv[1], "stop") == 0) {
    // One stop at the delay given (ms) on the twenty-zone noise read: when it was pressed and
    // when the call returned, on the monotonic clock, for a profiler's time window.
    int result = 0;
    const double delay = (argc > 2 ? std::atof(argv[2]) : 1000) / 1e3;
    const double from = now();
    const double l = stopLatency(s, ps[1], request(s, kKinds, 20), delay, result);
    std::printf("started %.6f, stop pressed %.6f, returned %.6f (%d)\n", from, from + delay, from + delay + l, result);
  } else {
    const short one = 203;
    const struct {
      const char* name;
      PVKOCRDoc req;
    } reqs[] = {{"1 zone (203)", request(s, &one, 1)}, {"20 zones", request(s, kKinds, 20)}};
    std::printf("%-14s %-14s %10s %12s %7s\n", "request", "page", "result", "reading ms", "ratio");
    for (const auto& r : reqs) {
      std::vector<int> results;
      const std::vector<double> t = readingTimes(s, ps, r.req, rounds, results);
      for (size_t i = 0; i < ps.size(); ++i)
        std::printf("%-14s %-14s %10d %12.1f %7.1f\n", i == 0 ? r.name : "", ps[i].name, results[i], t[i] * 1e3,
                    t[i] / t[0]);
      std::fflush(stdout);
    }
    // Stops spread over the whole call: its acquisition, then every kind of zone in turn.
    int result = 0;
    const double whole = stopLatency(s, ps[1], reqs[1].req, 1e9, result) < 0 ? callSeconds : 0;
    std::printf("stop pressed during a 20-zone read of the noise page (the call takes %.0f ms):\n%-10s %12s %8s\n",
                whole * 1e3, "after ms", "latency ms", "result");
    std::vector<double> latencies;
    for (int k = 0; k <= 10; ++k) {
      const double delay = k == 0 ? 0.002 : whole * (k - 0.5) / 10;
      const double l = stopLatency(s, ps[1], reqs[1].req, delay, result);
      if (l >= 0) latencies.push_back(l);
      std::printf("%-10.0f %12.1f %8d\n", delay * 1e3, l * 1e3, result);
    }
    if (!latencies.empty())
      std::printf("stop latency: median %.1f ms, at most %.1f ms\n", median(latencies) * 1e3,
                  *std::max_element(latencies.begin(), latencies.end()) * 1e3);
  }
  s.close();
  (void)!std::system(("rm -rf '" + dir + "'").c_str());
  return 0;
}
