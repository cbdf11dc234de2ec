// Timing helpers the benchmarks share: durations in the unit printed, the median of runs, the
// kernel's own clocks for programs that run the software scanner with its virtual clock, and the
// process's peak memory.
#pragma once

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <chrono>
#include <vector>

namespace pvk::bench {

using Clock = std::chrono::steady_clock;

inline double us(Clock::duration d) { return std::chrono::duration<double, std::micro>(d).count(); }
inline double ms(Clock::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

// The median of runs calls of f, each returning its own time.
template <typename F>
double median(int runs, F&& f) {
  std::vector<double> t;
  for (int i = 0; i < runs; ++i) t.push_back(f());
  std::sort(t.begin(), t.end());
  return t[t.size() / 2];
}

// The median time of runs calls of f, in microseconds.
template <typename F>
double medianMicros(int runs, F&& f) {
  return median(runs, [&] {
    const auto a = Clock::now();
    f();
    return us(Clock::now() - a);
  });
}

// The median of times already taken; 0 for none.
inline double median(std::vector<double> t) {
  std::sort(t.begin(), t.end());
  return t.empty() ? 0 : t[t.size() / 2];
}

// Seconds of clock id asked of the kernel itself: with the software scanner's virtual clock on,
// clock_gettime answers the virtual time (the library's waits then cost nothing).
inline double kernelSeconds(clockid_t id) {
  struct timespec t;
  syscall(SYS_clock_gettime, id, &t);
  return static_cast<double>(t.tv_sec) + t.tv_nsec / 1e9;
}

// Starts the peak resident set afresh from what is resident now (Linux 4.0 on; elsewhere the
// peak stays counted from the program's start).
inline void resetPeak() {
  if (FILE* f = std::fopen("/proc/self/clear_refs", "w")) {
    std::fputs("5", f);
    std::fclose(f);
  }
}

// Peak resident set of this process in MiB (VmHWM: this program image only, from its exec on).
inline double ownPeakMiB() {
  FILE* f = std::fopen("/proc/self/status", "r");
  if (!f) return -1;
  char line[256];
  double kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "VmHWM: %lf kB", &kb) == 1) break;
  std::fclose(f);
  return kb / 1024.0;
}

}  // namespace pvk::bench
