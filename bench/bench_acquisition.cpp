// Host-side cost of one document once its stream has arrived: the whole acquisition road
// (bulk read from the software scanner's queue, separation of sides and planes, correction,
// deskew and crop of both sides) for a 300 dpi grey and a colour cheque, measured in CPU time
// of this thread, CPU time of the whole process and wall time, medians of the rounds, printed
// beside the time the same raw bytes take on a USB 2.0 high-speed link (about 40 MB/s) and beside
// a memcpy of those bytes measured in the same run. The acquisition runs on this thread alone,
// as an exported call runs it.
// Then the peak resident memory of a process that scans one grey cheque, beside that of one
// that links the same libraries and does nothing; the scanning one lets its own drawing of the
// cheque go once the software scanner holds the stream, and counts its peak from there.
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/common/synthetic_cheque.h"
#include "bench_timing.h"
#include "control/control.h"
#include "device/device.h"
#include "document/document.h"
#include "geometry/geometry.h"
#include "pvkemu.h"

namespace {

using pvk::bench::kernelSeconds;
using pvk::bench::median;
using pvk::bench::ownPeakMiB;
using pvk::bench::resetPeak;

constexpr double kUsbBytesPerSecond = 40e6;
constexpr int kRounds = 9;


struct Result {
  const char* name;
  size_t bytes;
  std::vector<double> thread, process, wall;  // seconds per document
  std::vector<double> copy;                   // seconds per memcpy of the same bytes
  int code;
};

// With `timed` false one document is scanned for the memory figure: the program's own copies of
// the cheque are let go once the software scanner holds its stream, and the peak is counted
// from there, so that it is the library's (and the stream waiting on the scanner) alone.
Result run(const char* name, bool colour, const std::string& dir, int rounds, bool timed = true) {
  Result r{name, 0, {}, {}, {}, {}, 0};
  pvkemu_reset();
  pvkemu_profile p;
  pvkemu_profile_full(&p);
  // A serial of its own: the control lock is per device across processes, and other programs
  // driving the software scanner's default device would otherwise make this one wait on it.
  std::snprintf(p.serial, sizeof p.serial, "%08d", 20000000 + static_cast<int>(getpid() % 1000000));
  const int dev = pvkemu_add_device(&p);
  if (Vx3Initialize(0, const_cast<char*>(dir.c_str()), -1, nullptr) <= 0) {
    r.code = MyDev.lastResult;
    return r;
  }
  Vx3ParamSet(0, colour ? 2 : 1, false);
  std::vector<uint8_t> stream;
  {
    pvk::testing::ChequeSpec spec;
    spec.angleDeg = 2.5;
    const auto front = pvk::testing::drawSide(spec, colour ? 3 : 1, false);
    const auto rear = pvk::testing::drawSide(spec, colour ? 3 : 1, true);
    stream = pvk::testing::plainStream(front, rear);
  }
  r.bytes = stream.size();
  std::vector<uint8_t> target(timed ? stream.size() : 0);
  for (int i = 0; i < rounds; ++i) {
    pvkemu_stream_push(dev, stream.data(), stream.size());
    pvkemu_stream_end(dev);
    if (!timed) {
      std::vector<uint8_t>().swap(stream);
      resetPeak();
    }
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;
    const double t0 = kernelSeconds(CLOCK_THREAD_CPUTIME_ID), p0 = kernelSeconds(CLOCK_PROCESS_CPUTIME_ID),
                 w0 = kernelSeconds(CLOCK_MONOTONIC);
    r.code = pvk::geometry::onCallingThreadOnly([] { return AcquireImg(0, MyDev.img, true); });
    r.thread.push_back(kernelSeconds(CLOCK_THREAD_CPUTIME_ID) - t0);
    r.process.push_back(kernelSeconds(CLOCK_PROCESS_CPUTIME_ID) - p0);
    r.wall.push_back(kernelSeconds(CLOCK_MONOTONIC) - w0);
    if (!timed) break;
    const double t1 = kernelSeconds(CLOCK_THREAD_CPUTIME_ID);
    std::memcpy(target.data(), stream.data(), stream.size());
    r.copy.push_back(kernelSeconds(CLOCK_THREAD_CPUTIME_ID) - t1);
    if (r.code < 0) break;
  }
  Vx3DeviceClose(false);
  return r;
}


// Peak resident set of this program run again with `mode` ("idle" or "scan"), as it reports it.
double peakMiB(const char* self, const char* mode) {
  const std::string cmd = std::string(self) + " " + mode;
  FILE* p = popen(cmd.c_str(), "r");
  if (!p) return -1;
  double mib = -1;
  if (std::fscanf(p, "%lf", &mib) != 1) mib = -1;
  return pclose(p) == 0 ? mib : -1;
}

}  // namespace

int main(int argc, char** argv) {
  pvkemu_clock_virtual(1);  // the library's waits cost no time; CPU time is measured apart
  char tmpl[] = "/tmp/pvk_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  const std::string cleanup = "rm -rf " + dir;
  if (argc > 1 && (std::strcmp(argv[1], "grey") == 0 || std::strcmp(argv[1], "colour") == 0)) {
    // For profiling: one kind of document only, as many rounds as asked.
    const int rounds = argc > 2 ? std::max(1, std::atoi(argv[2])) : kRounds;
    const bool colour = argv[1][0] == 'c';
    const Result r = run(argv[1], colour, dir, rounds);
    std::printf("%s: thread %.2f ms, process %.2f ms, wall %.2f ms, median of %d\n", r.name, median(r.thread) * 1e3,
                median(r.process) * 1e3, median(r.wall) * 1e3, rounds);
    return std::system(cleanup.c_str()) == 0 && r.code >= 0 ? 0 : 1;
  }
  if (argc > 1) {  // a child of the memory figure
    const bool scan = std::strcmp(argv[1], "scan") == 0;
    int code = scan ? run("grey 300 dpi", false, dir, 1, false).code : 0;
    std::printf("%.1f\n", ownPeakMiB());
    return std::system(cleanup.c_str()) == 0 && code >= 0 ? 0 : 1;
  }
  double load[3] = {0, 0, 0};
  if (getloadavg(load, 3) != 3) load[0] = -1;
  Result results[] = {run("grey 300 dpi", false, dir, kRounds), run("colour 300 dpi", true, dir, kRounds)};
  std::printf("bench_acquisition: one document, median of %d rounds; load average %.1f %.1f %.1f on %ld cores\n",
              kRounds, load[0], load[1], load[2], sysconf(_SC_NPROCESSORS_ONLN));
  std::printf("%-16s %8s %10s %10s %10s %9s %10s %10s %9s\n", "document", "raw MB", "thread ms", "process ms",
              "wall ms", "USB2 ms", "host/USB", "memcpy ms", "host/copy");
  for (const Result& r : results) {
    if (r.code < 0) {
      std::printf("%-16s failed with %d\n", r.name, r.code);
      continue;
    }
    const double usb = r.bytes / kUsbBytesPerSecond, t = median(r.thread), c = median(r.copy);
    std::printf("%-16s %8.2f %10.2f %10.2f %10.2f %9.2f %10.3f %10.3f %9.1f\n", r.name, r.bytes / 1e6, t * 1e3,
                median(r.process) * 1e3, median(r.wall) * 1e3, usb * 1e3, t / usb, c * 1e3, t / std::max(c, 1e-9));
  }
  std::printf("  host/USB: thread CPU time per document over its transfer time on USB 2.0 (goal <= 0.10);\n"
              "  the acquisition works on the calling thread alone: its thread CPU time is all the host's work\n");
  const double idle = peakMiB(argv[0], "idle"), scan = peakMiB(argv[0], "scan");
  std::printf("peak memory: one grey cheque scanned %.1f MiB, the same program doing nothing %.1f MiB "
              "(goal <= 70 MiB)\n", scan, idle);
  return std::system(cleanup.c_str()) == 0 ? 0 : 1;
}
