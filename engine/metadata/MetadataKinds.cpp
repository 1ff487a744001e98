#include "MetadataKinds.h"

#include "ExifSegment.h"
#include "XmpSegment.h"

namespace tarvo {

std::span<const TMetadataKind> MetadataKinds() {
  static const TMetadataKind kinds[] = {ExifKind(), XmpKind()};
  return kinds;
}

}  // namespace tarvo
