// Reads the marker segments of a JPEG file into a TJpegModel, refusing what the engine cannot
// trim with the reason.
#pragma once

#include "ByteStream.h"
#include "EngineCallbacks.h"
#include "JpegModel.h"

namespace tarvo {

// Fills model from source and reports why when it returns false. Short reads raise
// EStreamError. forTrim picks the trim's wording for a missing SOI and an unknown marker.
bool ReadJpegModel(TByteStream& source, const TMessageProc& onMessage, bool forTrim,
                   TJpegModel& model);

}  // namespace tarvo
