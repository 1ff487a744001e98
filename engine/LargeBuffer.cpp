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

// AddressSanitizer watches only the memory its allocator hands out: under it, large buffers
// come from that allocator too, and start with whatever it leaves in them.
#if defined(__linux__) && !defined(__SANITIZE_ADDRESS__)
#define TARVO_MAPPED_BUFFERS 1
#endif

std::size_t RoundedToLargePages(std::size_t bytes) {
  return (bytes + kLargePage - 1) / kLargePage * kLargePage;
}

}  // namespace

bool LargeBufferStartsZeroed(std::size_t bytes) {
#if defined(TARVO_MAPPED_BUFFERS)
  return bytes >= kLargePage;
#else
  (void)bytes;
  return false;
#endif
}

void* AllocateLargeBuffer(std::size_t bytes) {
  if (bytes < kLargePage) {
    void* memory = std::malloc(bytes == 0 ? 1 : bytes);
    if (memory == nullptr) throw std::bad_alloc();
    return memory;
  }
  if (bytes > static_cast<std::size_t>(-1) - 2 * kLargePage) throw std::bad_alloc();
  const std::size_t rounded = RoundedToLargePages(bytes);
#if defined(TARVO_MAPPED_BUFFERS)
  // Mapped afresh, the pages read as zeros and take no memory until written: a buffer that must
  // start cleared needs no clearing, and what a cut-off file never fills is never held. One
  // large page more places the buffer on a large-page boundary.
  void* mapped = mmap(nullptr, rounded + kLargePage, PROT_READ | PROT_WRITE,
                      MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (mapped == MAP_FAILED) throw std::bad_alloc();
  const auto first = reinterpret_cast<std::uintptr_t>(mapped);
  const std::uintptr_t start = (first + kLargePage - 1) / kLargePage * kLargePage;
  if (start != first) munmap(mapped, start - first);
  if (const std::size_t after = first + kLargePage - start; after != 0) {
    munmap(reinterpret_cast<void*>(start + rounded), after);
  }
  void* memory = reinterpret_cast<void*>(start);
#else
  void* memory = std::aligned_alloc(kLargePage, rounded);
  if (memory == nullptr) throw std::bad_alloc();
#endif
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only a hint: without large pages the memory works the same. The partial page at the end
  // stays in small pages, so that no memory is held beyond what was asked for.
  madvise(memory, bytes / kLargePage * kLargePage, MADV_HUGEPAGE);
#endif
  return memory;
}

void FreeLargeBuffer(void* memory, std::size_t bytes) noexcept {
#if defined(TARVO_MAPPED_BUFFERS)
  if (memory != nullptr && bytes >= kLargePage) {
    munmap(memory, RoundedToLargePages(bytes));
    return;
  }
#else
  (void)bytes;
#endif
  std::free(memory);
}

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
