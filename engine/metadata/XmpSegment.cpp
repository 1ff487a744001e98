#include "XmpSegment.h"

#include <optional>
#include <string>

#include "JpegMarkers.h"
#include "StoredImages.h"
#include "XmpContainer.h"
#include "XmpThumbnails.h"

namespace tarvo {

namespace {

constexpr std::size_t kMaxSegmentBody = 65535 - 2;  // the length word counts itself

bool OwnsXmp(std::uint16_t marker, std::span<const std::uint8_t> body) {
  return marker == markers::kApp1 && body.size() >= kXmpIdentifier.size() &&
         std::equal(kXmpIdentifier.begin(), kXmpIdentifier.end(), body.begin());
}

TSegmentFate FollowXmp(const TSegmentRef& segment, const TCutContext& cut) {
  if (!segment.FirstInHeader) return TSegmentFate::Copy();
  const std::string_view source(
      reinterpret_cast<const char*>(segment.Body.data()) + kXmpIdentifier.size(),
      segment.Body.size() - kXmpIdentifier.size());
  std::string packet(source);
  const std::vector<TContainerItem> items = ReadContainerItems(packet);
  if (!items.empty() && cut.Stored != nullptr) {
    std::vector<std::optional<std::uint64_t>> lengths(items.size());
    for (const TStoredImagesPlan::TImage& image : cut.Stored->Images) {
      if (image.Item && *image.Item < lengths.size()) lengths[*image.Item] = image.Bytes.size();
    }
    packet = WithItemLengths(packet, items, lengths);
  }
  const std::size_t maxPacket = kMaxSegmentBody - kXmpIdentifier.size();
  if (!cut.KeepThumbnails) packet = FollowCutInXmpThumbnails(packet, maxPacket, DrawerOf(cut));
  if (packet == source || packet.size() > maxPacket) return TSegmentFate::Copy();
  std::string body(kXmpIdentifier);
  body += packet;
  return TSegmentFate::Replace(std::vector<std::uint8_t>(body.begin(), body.end()));
}

}  // namespace

TMetadataKind XmpKind() { return {OwnsXmp, FollowXmp}; }

}  // namespace tarvo
