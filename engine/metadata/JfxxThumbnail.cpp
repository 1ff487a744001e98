#include "JfxxThumbnail.h"

#include <algorithm>

#include "JpegMarkers.h"

namespace tarvo {

namespace {

// The extension codes that say how the thumbnail is stored.
constexpr std::uint8_t kJpegCoded = 0x10;
constexpr std::uint8_t kPalette = 0x11;  // width, height, 256 RGB colours, an index per pixel
constexpr std::uint8_t kRgb = 0x13;      // width, height, three bytes per pixel
// A segment body is at most 65533 bytes.
constexpr std::size_t kMaxBody = 65533;

}  // namespace

std::optional<std::vector<std::uint8_t>> FollowCutInJfxx(std::span<const std::uint8_t> body,
                                                         const TDrawCut& draw) {
  const std::vector<std::uint8_t> unchanged(body.begin(), body.end());
  const std::size_t codeAt = kJfxxIdentifier.size();
  if (body.size() <= codeAt) return unchanged;
  const std::uint8_t code = body[codeAt];
  const std::span<const std::uint8_t> data = body.subspan(codeAt + 1);
  int width = 0;
  int height = 0;
  std::span<const std::uint8_t> like;
  if (code == kJpegCoded) {
    if (const std::optional<TJpegExtent> old = FindJpegExtent(data)) {
      width = old->Width;
      height = old->Height;
      like = data;
    }
  } else if (code == kPalette || code == kRgb) {
    if (data.size() >= 2) {
      width = data[0];
      height = data[1];
    }
  } else {
    return unchanged;
  }
  if (width == 0 || height == 0) return std::nullopt;
  const std::size_t budget = kMaxBody - codeAt - 1;
  const std::vector<std::uint8_t> picture = draw(width, height, like, budget);
  if (picture.empty() || picture.size() > budget) return std::nullopt;
  std::vector<std::uint8_t> out(kJfxxIdentifier.begin(), kJfxxIdentifier.end());
  out.push_back(kJpegCoded);
  out.insert(out.end(), picture.begin(), picture.end());
  return out;
}

namespace {

bool OwnsJfxx(std::uint16_t marker, std::span<const std::uint8_t> body) {
  return marker == markers::kApp0 && body.size() >= kJfxxIdentifier.size() &&
         std::equal(kJfxxIdentifier.begin(), kJfxxIdentifier.end(), body.begin());
}

TSegmentFate FollowJfxx(const TSegmentRef& segment, const TCutContext& cut) {
  if (cut.KeepThumbnails) return TSegmentFate::Copy();
  std::optional<std::vector<std::uint8_t>> body = FollowCutInJfxx(segment.Body, DrawerOf(cut));
  return body ? TSegmentFate::Replace(std::move(*body)) : TSegmentFate::Drop();
}

}  // namespace

TMetadataKind JfxxKind() { return {OwnsJfxx, FollowJfxx}; }

}  // namespace tarvo
