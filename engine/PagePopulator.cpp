#include "PagePopulator.h"

#include <algorithm>
#include <cstdint>

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

constexpr std::size_t kPage = 4096;
// Regions advance together by this share of their size per step (1/64 of each).
constexpr std::size_t kSteps = 64;
constexpr std::size_t kWorthwhile = std::size_t{8} << 20;

bool Populate(std::byte* from, std::byte* to) {
  // madvise wants page-aligned starts; the part below the first boundary is the decoder's.
  const auto start = (reinterpret_cast<std::uintptr_t>(from) + kPage - 1) / kPage * kPage;
  const auto end = reinterpret_cast<std::uintptr_t>(to) / kPage * kPage;
  if (end <= start) return true;
  return madvise(reinterpret_cast<void*>(start), end - start, MADV_POPULATE_WRITE) == 0;
}

void PopulateInStep(const std::vector<std::span<std::byte>>& regions) {
  for (std::size_t step = 0; step < kSteps; ++step) {
    for (const std::span<std::byte> region : regions) {
      const std::size_t begin = region.size() * step / kSteps;
      const std::size_t end = region.size() * (step + 1) / kSteps;
      if (!Populate(region.data() + begin, region.data() + end)) return;
    }
  }
}
#endif

}  // namespace

void TPagePopulator::Start(std::vector<std::span<std::byte>> regions) {
  Wait();
#if defined(__linux__)
  std::size_t total = 0;
  for (const std::span<std::byte> region : regions) total += region.size();
  if (total < kWorthwhile) return;
  try {
    thread_ = std::thread(PopulateInStep, std::move(regions));
  } catch (const std::system_error&) {
    // No thread to be had: the decoder faults the pages in itself.
  }
#else
  (void)regions;
#endif
}

void TPagePopulator::Wait() {
  if (thread_.joinable()) thread_.join();
}

}  // namespace tarvo
