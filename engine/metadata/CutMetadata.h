// The metadata of a cut, decided from the source before anything is written: what becomes of
// each segment, what is added, and what follows the main picture.
#pragma once

#include <cstdint>
#include <vector>

#include "MetadataKind.h"
#include "StoredImages.h"

namespace tarvo {

struct TMetadataPlan {
  // One per segment of the model; only APPn and COM segments are ever other than kCopy.
  std::vector<TSegmentFate> Fates;
  // Whole segments, markers included, written right after the leading APP0 segments.
  std::vector<std::uint8_t> Inserted;
  TStoredImagesPlan Stored;
};

// Asks each kind (MetadataKinds) about the segments it owns, after the stored images are
// decided, which some segments describe. With DropExif every APP1 segment is left out first.
TMetadataPlan DecideMetadata(const TCutContext& cut);

}  // namespace tarvo
