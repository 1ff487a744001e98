// The later piece of a walk of a scan without restart markers split in two (SplitScanDecode.h):
// walked on a thread of its own from a guessed byte as if an MCU started there, with DC
// predictors 0, until the walk from the true start finds an MCU start the two share.
#pragma once

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdint>
#include <limits>
#include <span>
#include <thread>
#include <vector>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "LargeBuffer.h"
#include "ScanWalk.h"
#include "StreamError.h"

namespace tarvo {

enum class EStartFound { kNotHere, kHere, kNever };

// Starts[i] is where the piece's MCU i starts, as a Position that walks of the same bytes agree
// on, and Predictors[i] the DC predictors there; Starts[i + 1] is where it ends. A block that
// does not decode is mostly a sign that the codes have not yet fallen into step: the piece starts
// again just after it, and Restarts notes the first MCU of each new start, whose own start is not
// in Starts.
template <typename Position>
struct TGuessedPiece {
  using TPredictors = std::array<int, TCoefficientStore::kMaxComponents>;
  // Restarts beyond these say the data are no Huffman code of these tables.
  static constexpr std::size_t kMaxRestarts = 64;

  std::size_t Start = 0;
  std::size_t DataEnd = 0;
  std::int64_t Limit = 0;  // the most MCUs it may walk: what Starts has room for
  std::vector<Position, TLargeBufferAllocator<Position>> Starts;
  std::vector<TPredictors, TLargeBufferAllocator<TPredictors>> Predictors;
  std::vector<std::int64_t> Restarts;
  // MCUs walked without fault, each published with its end.
  std::atomic<std::int64_t> Done{0};
  std::atomic<std::int64_t> StopAt{std::numeric_limits<std::int64_t>::max()};
  std::atomic<bool> Finished{false};
  std::jthread Thread;

  ~TGuessedPiece() { Stop(); }
  void Stop() {
    StopAt.store(0, std::memory_order_relaxed);
    if (Thread.joinable()) Thread.join();
  }

  // Room for limit MCUs from start, in data that end at dataEnd.
  void Prepare(std::size_t start, std::size_t dataEnd, std::int64_t limit) {
    Start = start;
    DataEnd = dataEnd;
    Limit = limit;
    Restarts.reserve(kMaxRestarts);
    Starts.resize(static_cast<std::size_t>(limit + 1));
    Predictors.resize(static_cast<std::size_t>(limit + 1));
  }

  // Walks the piece, on the thread that calls it: mcu(bits, predictor, i) walks MCU i, false
  // where a walk would stop; where(bits) tells where the bits stand.
  template <typename Mcu, typename Where>
  void Walk(std::span<const std::uint8_t> bytes, Mcu&& mcu, Where&& where) {
    EJpegError markerFault = EJpegError::kNone;
    TBitBuffer bits(bytes.data(), bytes.size(), &markerFault);
    std::size_t from = Start;
    bits.Start(from);
    TPredictors predictor{};
    try {
      Starts[0] = where(bits);
      Predictors[0] = predictor;
      for (std::int64_t i = 0; i < Limit && i < StopAt.load(std::memory_order_relaxed);) {
        if (mcu(bits, predictor, i)) {
          Starts[static_cast<std::size_t>(i + 1)] = where(bits);
          Predictors[static_cast<std::size_t>(i + 1)] = predictor;
          Done.store(++i, std::memory_order_release);
          continue;
        }
        // A marker in the data is no guess gone wrong: whatever it is, the walk meets it too.
        if (bits.MarkerMet() || Restarts.size() == kMaxRestarts) break;
        from = DecodableByte(bytes, std::max(bits.Position(), from + 1), DataEnd);
        if (from >= DataEnd) break;
        bits.Start(from);
        predictor.fill(0);
        Restarts.push_back(i);
      }
    } catch (const EStreamError&) {
      // The data end: the piece ends with the MCUs walked before.
    }
    Finished.store(true, std::memory_order_release);
  }

  // Stops the piece after MCU end - 1; true when it walked MCUs first to end - 1, all from one
  // start.
  bool TakeTo(std::int64_t first, std::int64_t end) {
    StopAt.store(end, std::memory_order_relaxed);
    if (Thread.joinable()) Thread.join();
    return Done.load(std::memory_order_acquire) >= end &&
           std::none_of(Restarts.begin(), Restarts.end(),
                        [&](std::int64_t restart) { return restart >= first && restart < end; });
  }

  // Whether the piece has an MCU starting at at, the other walk's next MCU start; cursor keeps
  // the first of its starts not below the places asked before. Waits while the piece has not got
  // as far and goes on.
  EStartFound FindStart(const Position& at, std::int64_t& cursor) {
    for (;;) {
      const std::int64_t done = Done.load(std::memory_order_acquire);
      while (cursor < done && Starts[static_cast<std::size_t>(cursor)] < at) ++cursor;
      if (cursor < done) {
        return Starts[static_cast<std::size_t>(cursor)] == at ? EStartFound::kHere
                                                              : EStartFound::kNotHere;
      }
      if (Finished.load(std::memory_order_acquire)) {
        if (Done.load(std::memory_order_acquire) == done) return EStartFound::kNever;
        continue;
      }
      std::this_thread::yield();
    }
  }
};

}  // namespace tarvo
