// Faults freshly allocated buffers in on another core while the decoder starts filling them.
#pragma once

#include <cstddef>
#include <span>
#include <thread>
#include <vector>

namespace tarvo {

// The kernel clears every page it hands out; for the tens of megabytes of a photo's coefficient
// store that clearing is a large part of a first trim. A second thread asks the kernel to map
// the pages front to back, all regions in step, as the decoder's walk touches them, so the
// decoder seldom waits for a fault. The thread never reads or writes the memory itself: the
// kernel keeps what the decoder has already written. Where the kernel cannot populate pages,
// the thread stops and the decoder takes the faults as before.
class TPagePopulator {
 public:
  TPagePopulator() = default;
  TPagePopulator(const TPagePopulator&) = delete;
  TPagePopulator& operator=(const TPagePopulator&) = delete;
  ~TPagePopulator() { Wait(); }

  // Starts populating the regions (after waiting for an earlier run). Small totals are left
  // to the decoder: a thread would cost more than it saves.
  void Start(std::vector<std::span<std::byte>> regions);
  // Returns when the thread has finished; the regions may be freed after this.
  void Wait();

 private:
  std::thread thread_;
};

}  // namespace tarvo
