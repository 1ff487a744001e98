// Faults freshly allocated buffers in on another core, a little ahead of the decoder filling them.
#pragma once

#include <atomic>
#include <cstddef>
#include <span>
#include <thread>
#include <vector>

namespace tarvo {

// The kernel clears every page it hands out; for the tens of megabytes of a photo's coefficient
// store that clearing is a large part of a first trim. A second thread asks the kernel to map
// the pages front to back, all regions in step, as the decoder's walk will touch them, so the
// decoder seldom waits for a fault. It keeps at most about kLeadBytes ahead of the decoder, so a
// damaged file whose decoding stops early never has more memory faulted in than it reached.
// The thread never reads or writes the memory itself: the kernel keeps what the decoder wrote.
// Where the kernel cannot populate pages, the thread stops and the decoder takes the faults.
class TPagePopulator {
 public:
  TPagePopulator() = default;
  TPagePopulator(const TPagePopulator&) = delete;
  TPagePopulator& operator=(const TPagePopulator&) = delete;
  ~TPagePopulator() { Finish(); }

  // Starts populating regions, each split into steps equal parts that the decoder fills in
  // order. Small totals are left to the decoder: a thread would cost more than it saves.
  void Start(std::vector<std::span<std::byte>> regions, std::size_t steps);
  // The decoder has filled the first done steps.
  void Advance(std::size_t done);
  // Stops the thread and waits for it; the regions may be freed after this.
  void Finish();

  // Runs on the thread between its look at whether to stop and its look at the decoder's
  // progress, where a Finish may come in; tests widen that gap with it.
  void (*BetweenChecks)() = nullptr;

 private:
  void Run(std::vector<std::span<std::byte>> regions, std::size_t steps);

  std::thread thread_;
  std::atomic<std::size_t> done_{0};
  std::atomic<bool> stop_{false};
};

}  // namespace tarvo
