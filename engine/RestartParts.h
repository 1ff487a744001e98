// A one-scan sequential picture decoded in parts that start after restart markers, one thread a
// part: every restart interval starts with fresh DC predictors (ITU-T T.81 F.2.1.3.1), so the
// parts do not depend on each other.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "CoefficientStore.h"
#include "JpegModel.h"
#include "ScanDecoder.h"

namespace tarvo {

// Decodes MCU rows firstRow to endRow - 1 of model's one sequential Huffman scan (SingleScan)
// from the file's bytes in up to parts parts, each starting at an MCU row where a restart
// interval starts, firstRow too; the first part runs on the calling thread, which alone calls
// atRow. True once every block is decoded exactly as the sequential decode decodes it, every
// restart marker found in turn where that decode reads it. False when the rows cannot be split
// or a part fails: the caller then decodes them sequentially, which also tells why a damaged
// scan fails. Rows that end before the scan does must end where an interval ends; markerAfter,
// when given, then receives where the marker after them starts, for a sequential decode to go
// on from.
bool DecodeInRestartParts(const TJpegModel& model, std::span<const std::uint8_t> bytes,
                          TCoefficientStore& store, const TRowProc& atRow, int firstRow, int endRow,
                          int parts, std::size_t* markerAfter = nullptr);

}  // namespace tarvo
