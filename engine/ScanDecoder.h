// The scan decoders, which fill the coefficient store from the coded data of a file's scans.
#pragma once

#include <cstdint>
#include <functional>
#include <string_view>

#include "BitStreamFile.h"
#include "CoefficientStore.h"
#include "JpegModel.h"

namespace tarvo {

// What a scan decoder reports through: a failure's text, and the MCU row its walk has reached.
struct TScanReports {
  std::function<void(std::string_view)> Failure;
  std::function<void(int)> AtRow;
};

// Decodes a scan of a sequential frame: every block of its components whole (ITU-T T.81 F.2).
// False after a report, also when the data end before the last block.
bool DecodeSequentialScan(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                          TCoefficientStore& store, const TScanReports& reports);

// Decodes a scan of a progressive frame into blocks that earlier scans of it may have begun:
// its band of coefficients, or one more bit of them (ITU-T T.81 G.1.2). The store must start
// cleared.
bool DecodeProgressiveScan(const TJpegModel& model, const TScan& scan, TInBitStreamFile& reader,
                           TCoefficientStore& store, const TScanReports& reports);

}  // namespace tarvo
