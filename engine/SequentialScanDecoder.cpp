// The sequential scan decoder: whole blocks, DC predicted from the component's previous block.
#include <array>

#include "HuffmanBlockCoder.h"
#include "ScanDecoder.h"
#include "ScanWalk.h"

namespace tarvo {

EJpegError DecodeSequentialScan(const TJpegModel& model, const TScan& scan,
                                TInBitStreamFile& reader, TCoefficientStore& store,
                                TScanReport& report, int mcuRows) {
  std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents> dc{};
  std::array<const THuffmanTable*, TCoefficientStore::kMaxComponents> ac{};
  for (std::size_t c = 0; c < scan.Components.size(); ++c) {
    dc[c] = &model.Table(scan.Components[c].DcTable);
    ac[c] = &model.Table(scan.Components[c].AcTable);
  }
  std::array<int, TCoefficientStore::kMaxComponents> predictor{};
  return WalkScan(
      model, scan, reader, store, report,
      [&](TBitBuffer& bits, std::size_t c, std::int16_t* block) {
        return DecodeBlock(bits, *dc[c], *ac[c], predictor[c], block);
      },
      [&] { predictor.fill(0); }, mcuRows);
}

}  // namespace tarvo
