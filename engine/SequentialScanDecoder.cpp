// The sequential scan decoder: whole blocks, DC predicted from the component's previous block.
#include <array>

#include "HuffmanBlockCoder.h"
#include "ScanDecoder.h"
#include "ScanWalk.h"

namespace tarvo {

EJpegError DecodeSequentialScan(const TJpegModel& model, const TScan& scan,
                                TInBitStreamFile& reader, TCoefficientStore& store,
                                TScanReport& report, int mcuRows) {
  const TScanTables tables = ScanTables(model, scan);
  std::array<int, TCoefficientStore::kMaxComponents> predictor{};
  return WalkScan(
      model, scan, reader, store, report,
      [&](TBitBuffer& bits, std::size_t c, std::int16_t* block) {
        return DecodeBlock(bits, *tables.Dc[c], *tables.Ac[c], predictor[c], block);
      },
      [&] { predictor.fill(0); }, mcuRows);
}

}  // namespace tarvo
