// Decoding the whole interleaved scan into the coefficient store.
#include "HuffmanBlockCoder.h"
#include "JpegTrimming.h"
#include "Messages.h"

namespace tarvo {

void TJpegTrimming::AllocateStore() {
  for (std::size_t s = 0; s < kSlots; ++s) {
    if (hSampling_[s] == 0) continue;
    store_[s].Resize(static_cast<std::size_t>(mcuCols_) * hSampling_[s] *
                     static_cast<std::size_t>(mcuRows_) * vSampling_[s]);
  }
}

bool TJpegTrimming::DecodeAllMcus() {
  dcPredictor_.fill(0);
  restartCount_ = 0;
  AllocateStore();
  for (int r = 0; r < mcuRows_; ++r) {
    ReportProgress(r);
    for (int m = 0; m < mcuCols_; ++m) {
      const bool decoded = ForEachBlockOfMcu(r, m, [&](std::size_t s, std::int16_t* block) {
        return DecodeBlock(reader_->Bits(), Table(0, dcSelector_[s]), Table(1, acSelector_[s]),
                           dcPredictor_[s], block);
      });
      if (!decoded) {
        Report(kMsgHuffmanBlock);
        return false;
      }
      if (restartEnabled_ && ++restartCount_ == restartInterval_ &&
          !(r == mcuRows_ - 1 && m == mcuCols_ - 1)) {
        // The RSTn marker is not examined; reading it as a word drops the interval's fill bits.
        dcPredictor_.fill(0);
        restartCount_ = 0;
        reader_->ReadWord();
      }
    }
  }
  return true;
}

}  // namespace tarvo
