#include "PagePopulator.h"

#include <algorithm>
#include <cstdint>
#include <limits>
#include <system_error>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace tarvo {

namespace {

#if defined(__linux__)
// Linux 5.14 and later; older C libraries lack the name.
#ifndef MADV_POPULATE_WRITE
#define MADV_POPULATE_WRITE 23
#endif
#endif

constexpr std::size_t kPage = 4096;
constexpr std::size_t kWorthwhile = std::size_t{8} << 20;
// How far the thread may run ahead of the decoder: enough that the decoder of a photo seldom
// catches up, little enough that a damaged file cannot make it fault in gigabytes.
constexpr std::size_t kLeadBytes = std::size_t{32} << 20;

bool Populate(std::byte* from, std::byte* to) {
#if defined(__linux__)
  // madvise wants page-aligned starts; the part below the first boundary is the decoder's.
  const auto start = (reinterpret_cast<std::uintptr_t>(from) + kPage - 1) / kPage * kPage;
  const auto end = reinterpret_cast<std::uintptr_t>(to) / kPage * kPage;
  if (end <= start) return true;
  return madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE) == 0;
#else
  (void)from;
  (void)to;
  return false;
#endif
}

}  // namespace

void TPagePopulator::Start(std::vector<std::span<std::byte>> regions, std::size_t steps) {
  Finish();
  std::size_t total = 0;
  for (const std::span<std::byte> region : regions) total += region.size();
  if (total < kWorthwhile || steps == 0) return;
  done_ = 0;
  stop_ = false;
  try {
    thread_ = std::thread(&TPagePopulator::Run, this, std::move(regions), steps);
  } catch (const std::system_error&) {
    // No thread to be had: the decoder faults the pages in itself.
  }
}

void TPagePopulator::Run(std::vector<std::span<std::byte>> regions, std::size_t steps) {
  std::size_t total = 0;
  for (const std::span<std::byte> region : regions) total += region.size();
  const std::size_t lead = std::max<std::size_t>(1, steps * std::min(kLeadBytes, total) / total);
  for (std::size_t step = 0; step < steps; ++step) {
    for (;;) {
      if (stop_) return;
      if (BetweenChecks != nullptr) BetweenChecks();
      const std::size_t done = done_;
      // Finish sets done_ to the largest value there is: done + lead would wrap round and wait
      // for a change that never comes.
      if (step < done || step - done < lead) break;
      done_.wait(done);
    }
    for (const std::span<std::byte> region : regions) {
      const std::size_t begin = region.size() * step / steps;
      const std::size_t end = region.size() * (step + 1) / steps;
      if (!Populate(region.data() + begin, region.data() + end)) return;
    }
  }
}

void TPagePopulator::Advance(std::size_t done) {
  if (!thread_.joinable()) return;
  done_ = done;
  done_.notify_one();
}

void TPagePopulator::Finish() {
  if (!thread_.joinable()) return;
  stop_ = true;
  done_ = std::numeric_limits<std::size_t>::max();
  done_.notify_one();
  thread_.join();
}

}  // namespace tarvo
