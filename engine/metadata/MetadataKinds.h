// Every metadata kind a cut asks, in the order it asks them: the first that owns a segment
// decides it.
#pragma once

#include <span>

#include "MetadataKind.h"

namespace tarvo {

std::span<const TMetadataKind> MetadataKinds();

}  // namespace tarvo
