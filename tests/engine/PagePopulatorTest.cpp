// The thread that faults pages in ahead of the decoder ends whenever it is told to.
#include "PagePopulator.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <memory>
#include <thread>

namespace tarvo {
namespace {

std::atomic<bool> checking{false};

// Holds the thread between its look at stop and its look at the decoder's progress, long
// enough for a Finish to come in there.
void LingerBetweenChecks() {
  checking = true;
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
}

TEST(PagePopulatorDeathTest, FinishEndsTheThreadBetweenItsChecks) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        // A thread that never ends leaves the child to the alarm.
        alarm(20);
        constexpr std::size_t kBytes = std::size_t{64} << 20;
        const auto memory = std::make_unique_for_overwrite<std::byte[]>(kBytes);
        TPagePopulator populator;
        populator.BetweenChecks = &LingerBetweenChecks;
        populator.Start({std::span(memory.get(), kBytes)}, 2);
        while (!checking) std::this_thread::yield();
        populator.Finish();
        std::exit(0);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace tarvo
