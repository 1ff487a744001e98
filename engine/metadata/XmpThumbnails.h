// The thumbnails an XMP packet carries as base64 text (xmpGImg:image in xmp:Thumbnails, as
// Adobe's programs write them), drawn again from the cut.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "CutDrawing.h"

namespace tarvo {

// packet with each thumbnail drawn again from the cut at its old size, its width and height
// telling the new one's, no larger than maxSize (the packet's padding is given up first); a
// thumbnail that cannot be drawn within that is left out with its list item.
std::string FollowCutInXmpThumbnails(std::string_view packet, std::size_t maxSize,
                                     const TDrawCut& draw);

}  // namespace tarvo
