// The XMP segment follows the cut: its container directory gives the lengths of the images the
// output stores after its main picture.
#pragma once

#include "MetadataKind.h"

namespace tarvo {

TMetadataKind XmpKind();

}  // namespace tarvo
