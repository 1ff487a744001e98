// Reads the marker segments of a JPEG file into a TJpegModel, refusing what the engine cannot
// trim with the reason.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "ByteStream.h"
#include "JpegError.h"
#include "JpegModel.h"

namespace tarvo {

// Fills model from source, or returns why the file is refused. Short reads raise EStreamError.
TJpegStatus ReadJpegModel(TByteStream& source, TJpegModel& model);

// The layout of a picture the trim carries along rather than analyses (its own output, a stored
// preview or gain map): the segments after SOI up to and including the first scan header, kinds
// told as analysis tells them. The walk stops quietly, with what it has, at anything that is not
// a whole segment.
std::vector<TSegment> ReadHeaderLayout(std::span<const std::uint8_t> jpeg);

}  // namespace tarvo
