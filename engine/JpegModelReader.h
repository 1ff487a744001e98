// Reads the marker segments of a JPEG file into a TJpegModel, refusing what the engine cannot
// trim with the reason.
#pragma once

#include "ByteStream.h"
#include "JpegError.h"
#include "JpegModel.h"

namespace tarvo {

// Fills model from source, or returns why the file is refused. Short reads raise EStreamError.
TJpegStatus ReadJpegModel(TByteStream& source, TJpegModel& model);

}  // namespace tarvo
