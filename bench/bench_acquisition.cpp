// Host-side cost of one document once its stream has arrived: the whole acquisition road
// (bulk read from the software scanner's queue, separation of sides and planes, correction,
// deskew and crop of both sides) for a 300 dpi grey and a colour cheque, measured in CPU time
// of this thread and printed beside the time the same raw bytes take on a USB 2.0 high-speed
// link (about 40 MB/s) and beside a memcpy of those bytes measured in the same run.
#include <stdlib.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "../tests/common/synthetic_cheque.h"
#include "control/control.h"
#include "device/device.h"
#include "document/document.h"
#include "pvkemu.h"

namespace {

constexpr double kUsbBytesPerSecond = 40e6;
constexpr int kRounds = 5;

double cpuSeconds() {
  struct timespec t;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);  // not redirected by the virtual clock
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

struct Result {
  const char* name;
  size_t bytes;
  double acquire;  // seconds per document, best of the rounds
  double copy;     // seconds per memcpy of the same bytes, best of the rounds
  int code;
};

Result run(const char* name, bool colour, const std::string& dir) {
  Result r{name, 0, 1e9, 1e9, 0};
  pvkemu_reset();
  pvkemu_profile p;
  pvkemu_profile_full(&p);
  const int dev = pvkemu_add_device(&p);
  if (Vx3Initialize(0, const_cast<char*>(dir.c_str()), -1, nullptr) <= 0) {
    r.code = MyDev.lastResult;
    return r;
  }
  Vx3ParamSet(0, colour ? 2 : 1, false);
  pvk::testing::ChequeSpec spec;
  spec.angleDeg = 2.5;
  const auto front = pvk::testing::drawSide(spec, colour ? 3 : 1, false);
  const auto rear = pvk::testing::drawSide(spec, colour ? 3 : 1, true);
  const auto stream = pvk::testing::plainStream(front, rear);
  r.bytes = stream.size();
  std::vector<uint8_t> target(stream.size());
  for (int i = 0; i < kRounds; ++i) {
    pvkemu_stream_push(dev, stream.data(), stream.size());
    pvkemu_stream_end(dev);
    MyAcq.cfgFlags[kCfgWaitDoc] = 0;
    const double t0 = cpuSeconds();
    r.code = AcquireImg(0, MyDev.img, true);
    r.acquire = std::min(r.acquire, cpuSeconds() - t0);
    const double t1 = cpuSeconds();
    std::memcpy(target.data(), stream.data(), stream.size());
    r.copy = std::min(r.copy, cpuSeconds() - t1);
    if (r.code < 0) break;
  }
  Vx3DeviceClose(false);
  return r;
}

}  // namespace

int main() {
  pvkemu_clock_virtual(1);  // the library's waits cost no time; CPU time is measured apart
  char tmpl[] = "/tmp/pvk_bench_XXXXXX";
  if (!mkdtemp(tmpl)) return 1;
  const std::string dir = tmpl;
  Result results[] = {run("grey 300 dpi", false, dir), run("colour 300 dpi", true, dir)};
  std::printf("%-16s %10s %12s %12s %12s %10s %10s\n", "document", "raw MB", "host ms", "USB2 ms",
              "memcpy ms", "USB/host", "host/copy");
  for (const Result& r : results) {
    if (r.code < 0) {
      std::printf("%-16s failed with %d\n", r.name, r.code);
      continue;
    }
    const double usb = r.bytes / kUsbBytesPerSecond;
    std::printf("%-16s %10.2f %12.2f %12.2f %12.3f %10.2f %10.1f\n", r.name, r.bytes / 1e6, r.acquire * 1e3,
                usb * 1e3, r.copy * 1e3, usb / r.acquire, r.acquire / std::max(r.copy, 1e-9));
  }
  std::string cmd = "rm -rf " + dir;
  return std::system(cmd.c_str()) == 0 ? 0 : 1;
}
