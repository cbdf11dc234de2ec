// Timing helpers the benchmarks share: durations in the unit printed, and the median of runs.
#pragma once

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

}  // namespace pvk::bench
