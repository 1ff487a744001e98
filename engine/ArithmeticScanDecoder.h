// The decoder of arithmetic-coded scans, sequential and progressive (ITU-T T.81 F.2.4, G.2),
// which fills the coefficient store as the Huffman scan decoders do.
#pragma once

#include <cstdint>
#include <span>

#include "CoefficientStore.h"
#include "JpegModel.h"
#include "ScanDecoder.h"

namespace tarvo {

// Decodes scan from the file's bytes into store, which must start cleared. Returns why it
// failed: the data are damaged, or end before the scan's last block.
EJpegError DecodeArithmeticScan(const TJpegModel& model, const TScan& scan,
                                std::span<const std::uint8_t> bytes, TCoefficientStore& store,
                                TScanReport& report);

}  // namespace tarvo
