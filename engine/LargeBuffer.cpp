#include "LargeBuffer.h"

#include <cstdint>
#include <cstdlib>

#if defined(__linux__)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace tarvo {

namespace {

constexpr std::size_t kLargePage = std::size_t{2} << 20;

}  // namespace

void* AllocateLargeBuffer(std::size_t bytes) {
  if (bytes < kLargePage) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  if (bytes > static_cast<std::size_t>(-1) - kLargePage) throw std::bad_alloc();
  const std::size_t rounded = (bytes + kLargePage - 1) / kLargePage * kLargePage;
  void* memory = std::aligned_alloc(kLargePage, rounded);
  if (memory == nullptr) throw std::bad_alloc();
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only a hint: without large pages the memory works the same. The partial page at the end
  // stays in small pages, so that no memory is held beyond what was asked for.
  madvise(memory, bytes / kLargePage * kLargePage, MADV_HUGEPAGE);
#endif
  return memory;
}

void FreeLargeBuffer(void* memory) noexcept { std::free(memory); }

std::uint64_t PhysicalMemory() {
#if defined(__linux__)
  const long pages = sysconf(_SC_PHYS_PAGES);
  const long pageSize = sysconf(_SC_PAGESIZE);
  if (pages > 0 && pageSize > 0) {
    return static_cast<std::uint64_t>(pages) * static_cast<std::uint64_t>(pageSize);
  }
#endif
  return UINT64_MAX;
}

}  // namespace tarvo
