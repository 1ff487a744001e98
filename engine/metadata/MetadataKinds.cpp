#include "MetadataKinds.h"

#include "ExifSegment.h"
#include "FlashPix.h"
#include "JfxxThumbnail.h"
#include "PhotoshopResources.h"
#include "XmpSegment.h"

namespace tarvo {

std::span<const TMetadataKind> MetadataKinds() {
  static const TMetadataKind kinds[] = {ExifKind(), XmpKind(), PhotoshopKind(), JfxxKind(),
                                        FlashPixKind()};
  return kinds;
}

}  // namespace tarvo
