#include "MakerNotePreviews.h"

#include "ExifThumbnail.h"

namespace tarvo {

int FollowCutInMakerNotes(std::span<std::uint8_t> tiff, const TDrawCut& draw) {
  // IFD1's thumbnail has a rewrite of its own, which may give it a size of its own.
  return RedrawEmbeddedJpegs(tiff, ExifJpegThumbnail(tiff), draw);
}

}  // namespace tarvo
