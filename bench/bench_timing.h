// Timing helpers the benchmarks share: durations in the unit printed, the median of runs, and
// the kernel's own clocks for programs that run the software scanner with its virtual clock.
#pragma once

#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
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

}  // namespace pvk::bench
