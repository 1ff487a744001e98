// Timing for the benchmarks: the best of several runs, the one least disturbed by other work.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>

namespace tarvo::bench {

// Milliseconds of the fastest of runs calls of work; setup runs before each, untimed.
inline double BestMilliseconds(
    int runs, const std::function<void()>& work, const std::function<void()>& setup = [] {}) {
  double best = 1e300;
  for (int i = 0; i < runs; ++i) {
    setup();
    const auto start = std::chrono::steady_clock::now();
    work();
    const std::chrono::duration<double, std::milli> spent =
        std::chrono::steady_clock::now() - start;
    best = std::min(best, spent.count());
  }
  return best;
}

}  // namespace tarvo::bench
