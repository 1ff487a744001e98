// Memory for large buffers that are written once and read many times: a photo's bytes and
// its coefficients.
#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>

namespace tarvo {

// At least bytes of memory, to be released with FreeLargeBuffer and the same bytes; throws
// std::bad_alloc. Buffers of several megabytes are placed so that the system can back them
// with 2 MB pages: touching tens of megabytes in 4 KB pages costs a page fault each, a large
// part of a first trim.
void* AllocateLargeBuffer(std::size_t bytes);
void FreeLargeBuffer(void* memory, std::size_t bytes) noexcept;
// Whether a buffer of bytes from AllocateLargeBuffer reads as zeros until written.
bool LargeBufferStartsZeroed(std::size_t bytes);

// The machine's physical memory in bytes; the largest value there is where the system does not
// tell.
std::uint64_t PhysicalMemory();

// A standard allocator over AllocateLargeBuffer that leaves new elements uninitialised where
// the element type allows it, so that a buffer about to be filled is not cleared first.
template <typename T>
struct TLargeBufferAllocator {
  using value_type = T;

  TLargeBufferAllocator() = default;
  template <typename U>
  explicit TLargeBufferAllocator(const TLargeBufferAllocator<U>&) noexcept {}

  T* allocate(std::size_t count) {
    if (count > static_cast<std::size_t>(-1) / sizeof(T)) throw std::bad_alloc();
    return static_cast<T*>(AllocateLargeBuffer(count * sizeof(T)));
  }
  void deallocate(T* memory, std::size_t count) noexcept {
    FreeLargeBuffer(memory, count * sizeof(T));
  }

  template <typename U>
  void construct(U* at) noexcept(noexcept(U())) {
    ::new (static_cast<void*>(at)) U;
  }
  template <typename U, typename... Args>
  void construct(U* at, Args&&... args) {
    ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
  }

  friend bool operator==(const TLargeBufferAllocator&, const TLargeBufferAllocator&) {
    return true;
  }
};

}  // namespace tarvo
