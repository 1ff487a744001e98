// Writes the window of a trim as a complete JPEG file from the model and the coefficient store.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "ByteStream.h"
#include "CoefficientStore.h"
#include "JpegModel.h"
#include "TrimWindow.h"

namespace tarvo {

struct TWriteReports {
  std::function<void(std::string_view)> Failure;
  std::function<void(int)> AtRow;  // the MCU row about to be coded
};

// Writes the header segments, the window coded with tables chosen for it, and the source's
// tail after scanEnd (EOI and whatever follows) into output, which is empty. With dropExif
// every APP1 segment, before or after the scan, is left out; otherwise an Exif segment states
// the window's size. The MP entries of an MPF segment follow the new length. False after a
// report.
bool WriteWindow(const TJpegModel& model, const TCoefficientStore& store,
                 std::span<const std::uint8_t> source, std::int64_t scanEnd,
                 const TTrimWindow& window, bool dropExif, TByteStream& output,
                 const TWriteReports& reports);

}  // namespace tarvo
