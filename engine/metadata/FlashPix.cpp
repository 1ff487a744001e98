#include "FlashPix.h"

#include <algorithm>
#include <string_view>

#include "JpegMarkers.h"

namespace tarvo {

namespace {

constexpr std::string_view kFlashPixIdentifier{"FPXR\0", 5};

bool OwnsFlashPix(std::uint16_t marker, std::span<const std::uint8_t> body) {
  return marker == markers::kApp2 && body.size() >= kFlashPixIdentifier.size() &&
         std::equal(kFlashPixIdentifier.begin(), kFlashPixIdentifier.end(), body.begin());
}

TSegmentFate FollowFlashPix(const TSegmentRef&, const TCutContext& cut) {
  return cut.KeepThumbnails ? TSegmentFate::Copy() : TSegmentFate::Drop();
}

}  // namespace

TMetadataKind FlashPixKind() { return {OwnsFlashPix, FollowFlashPix}; }

}  // namespace tarvo
