// Decoding the whole interleaved scan into the coefficient store.
#include <array>
#include <new>
#include <span>
#include <vector>

#include "HuffmanBlockCoder.h"
#include "JpegMarkers.h"
#include "JpegTrimming.h"
#include "Messages.h"
#include "StreamError.h"

namespace tarvo {

void TJpegTrimming::AllocateStore() {
  std::array<std::size_t, kSlots> blocks{};
  bool fits = true;
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (hSampling_[s] == 0) continue;
    blocks[s] = static_cast<std::size_t>(mcuCols_) * hSampling_[s] *
                static_cast<std::size_t>(mcuRows_) * vSampling_[s];
    fits = fits && blocks[s] <= store_[s].Capacity();
  }
  // Memory that is kept was faulted in by an earlier decode; new memory gets its pages faulted
  // in on the side, row by row ahead of the decoder. Before memory is given back, a populating
  // thread from earlier must be done with it.
  populator_.Finish();
  std::vector<std::span<std::byte>> regions;
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (hSampling_[s] == 0) continue;
    store_[s].Resize(blocks[s]);
    regions.push_back(std::as_writable_bytes(
        std::span(store_[s].Block(0), blocks[s] * TCoefficientArray::kBlockCoefficients)));
  }
  if (!fits) populator_.Start(std::move(regions), static_cast<std::size_t>(mcuRows_));
}

bool TJpegTrimming::DecodeAllMcus() {
  dcPredictor_.fill(0);
  restartCount_ = 0;
  int restartNumber = 0;
  AllocateStore();
  // However decoding ends, the populating thread ends with it.
  struct TFinish {
    TPagePopulator& populator;
    ~TFinish() { populator.Finish(); }
  } const finish{populator_};
  try {
    for (int r = 0; r < mcuRows_; ++r) {
      ReportProgress(r);
      populator_.Advance(static_cast<std::size_t>(r));
      for (int m = 0; m < mcuCols_; ++m) {
        const bool decoded = ForEachBlockOfMcu(r, m, [&](std::size_t s, std::int16_t* block) {
          return DecodeBlock(reader_->Bits(), Table(0, dcSelector_[s]), Table(1, acSelector_[s]),
                             dcPredictor_[s], block);
        });
        // Bits taken from a marker are not image data: the scan is cut short or damaged, and
        // the reader has said so already.
        if (reader_->MarkerMet()) return false;
        if (!decoded) {
          Report(kMsgHuffmanBlock);
          return false;
        }
        if (restartEnabled_ && ++restartCount_ == restartInterval_ &&
            !(r == mcuRows_ - 1 && m == mcuCols_ - 1)) {
          // Reading the marker at byte level drops the interval's fill bits. Anything but the
          // next RSTn in turn means intervals were lost or the data run on: the blocks after it
          // would land in the wrong place.
          dcPredictor_.fill(0);
          restartCount_ = 0;
          if (!ReadRestartMarker(restartNumber)) {
            Report(kMsgBitStream);
            return false;
          }
          restartNumber = (restartNumber + 1) % 8;
        }
      }
    }
  } catch (const EStreamError&) {
    // Running out of data after a marker inside them is the same fault, reported already.
    if (!reader_->MarkerMet()) throw;
    return false;
  }
  return true;
}

bool TJpegTrimming::ReadRestartMarker(int number) {
  if (reader_->ReadByte() != 0xFF) return false;
  std::uint8_t code;
  // A marker may be preceded by fill bytes 0xFF (ITU-T T.81 B.1.1.2).
  do {
    code = reader_->ReadByte();
  } while (code == 0xFF);
  return code == ((markers::kRst0 & 0xFF) + number);
}

}  // namespace tarvo
