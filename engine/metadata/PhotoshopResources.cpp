#include "PhotoshopResources.h"

#include <algorithm>
#include <array>
#include <optional>

#include "JpegMarkers.h"

namespace tarvo {

namespace {

using TBytes = std::vector<std::uint8_t>;

constexpr std::uint16_t kThumbnail = 0x040C;
constexpr std::uint16_t kOldThumbnail = 0x0409;  // Photoshop 4's, its samples in BGR order
// The thumbnail resource's data: format, width, height, row bytes, total size, compressed size
// (six 32-bit words), bits per pixel and planes (two 16-bit words), then the JPEG.
constexpr std::size_t kThumbnailHeader = 28;
// A drawn thumbnail's resource around its JPEG: signature, id, empty name, size, the header
// above and a pad byte.
constexpr std::size_t kResourceHeader = 4 + 2 + 2 + 4 + kThumbnailHeader + 1;
constexpr std::uint32_t kJpegFormat = 1;
// The longer side Photoshop gives its thumbnails, for one that does not say its size.
constexpr int kDefaultSide = 160;
// A segment body is at most 65533 bytes, the identifier included.
constexpr std::size_t kMaxResourcesPerSegment = 65533 - kPhotoshopIdentifier.size();

// The signatures image resources carry: Photoshop's own and those of programs that write them
// the same way.
constexpr std::array<std::string_view, 5> kSignatures = {"8BIM", "PHUT", "AgHg", "DCSR", "MeSa"};

std::uint32_t Get32(std::span<const std::uint8_t> data, std::size_t at) {
  return std::uint32_t{data[at]} << 24 | std::uint32_t{data[at + 1]} << 16 |
         std::uint32_t{data[at + 2]} << 8 | data[at + 3];
}

void Put32(TBytes& out, std::uint32_t value) {
  for (int shift = 24; shift >= 0; shift -= 8)
    out.push_back(static_cast<std::uint8_t>(value >> shift));
}

struct TResource {
  std::size_t Start = 0;  // its signature
  std::size_t Data = 0;   // its data, after the size word
  std::size_t Size = 0;   // of its data, not counting the pad byte
  std::size_t End = 0;    // after the pad byte
  std::uint16_t Id = 0;
};

// The resource at at, all of it inside data; empty where none starts or it runs past the end.
std::optional<TResource> ReadResource(std::span<const std::uint8_t> data, std::size_t at) {
  if (data.size() - at < 7) return std::nullopt;
  const std::string_view signature(reinterpret_cast<const char*>(data.data() + at), 4);
  if (std::find(kSignatures.begin(), kSignatures.end(), signature) == kSignatures.end()) {
    return std::nullopt;
  }
  TResource resource{at, 0, 0, 0, static_cast<std::uint16_t>(data[at + 4] << 8 | data[at + 5])};
  // A Pascal-string name, its length byte included padded to an even size.
  const std::size_t name = (std::size_t{data[at + 6]} + 2) & ~std::size_t{1};
  const std::size_t sizeAt = at + 6 + name;
  if (sizeAt + 4 > data.size()) return std::nullopt;
  resource.Size = Get32(data, sizeAt);
  resource.Data = sizeAt + 4;
  if (resource.Size > data.size() - resource.Data) return std::nullopt;
  resource.End = std::min(data.size(), resource.Data + resource.Size + (resource.Size & 1));
  return resource;
}

// The thumbnail resource drawn again from the cut at the size class of the old one; empty when
// it cannot be drawn.
TBytes RedrawnThumbnail(std::span<const std::uint8_t> data, const TResource& old,
                        std::size_t budget, const TDrawCut& draw) {
  const std::span<const std::uint8_t> header = data.subspan(old.Data, old.Size);
  int width = kDefaultSide;
  int height = kDefaultSide;
  std::span<const std::uint8_t> like;
  if (header.size() >= kThumbnailHeader) {
    const std::uint32_t oldWidth = Get32(header, 4);
    const std::uint32_t oldHeight = Get32(header, 8);
    if (oldWidth > 0 && oldHeight > 0 && oldWidth <= 0xFFFF && oldHeight <= 0xFFFF) {
      width = static_cast<int>(oldWidth);
      height = static_cast<int>(oldHeight);
    }
    like = header.subspan(kThumbnailHeader);
  }
  if (budget <= kResourceHeader) return {};
  const TBytes picture = draw(width, height, like, budget - kResourceHeader);
  const std::optional<TJpegExtent> drawn = FindJpegExtent(picture);
  if (!drawn || picture.size() > budget - kResourceHeader) return {};
  TBytes out = {'8', 'B', 'I', 'M', kThumbnail >> 8, kThumbnail & 0xFF, 0, 0};  // no name
  Put32(out, static_cast<std::uint32_t>(kThumbnailHeader + picture.size()));
  const auto rowBytes = static_cast<std::uint32_t>((drawn->Width * 24 + 31) / 32 * 4);
  Put32(out, kJpegFormat);
  Put32(out, static_cast<std::uint32_t>(drawn->Width));
  Put32(out, static_cast<std::uint32_t>(drawn->Height));
  Put32(out, rowBytes);
  Put32(out, rowBytes * static_cast<std::uint32_t>(drawn->Height));
  Put32(out, static_cast<std::uint32_t>(picture.size()));
  out.insert(out.end(), {0, 24, 0, 1});  // 24 bits per pixel, one plane
  out.insert(out.end(), picture.begin(), picture.end());
  if (out.size() & 1) out.push_back(0);
  return out;
}

}  // namespace

std::vector<std::vector<std::uint8_t>> FollowCutInPhotoshopResources(
    const std::vector<std::span<const std::uint8_t>>& bodies, const TDrawCut& draw) {
  std::vector<TBytes> unchanged;
  TBytes data;
  for (const std::span<const std::uint8_t> body : bodies) {
    unchanged.emplace_back(body.begin(), body.end());
    if (body.size() >= kPhotoshopIdentifier.size()) {
      data.insert(data.end(), body.begin() + kPhotoshopIdentifier.size(), body.end());
    }
  }
  std::vector<TResource> resources;
  std::size_t parsed = 0;
  while (const std::optional<TResource> resource = ReadResource(data, parsed)) {
    resources.push_back(*resource);
    parsed = resource->End;
  }
  const auto isThumbnail = [](const TResource& resource) {
    return resource.Id == kThumbnail || resource.Id == kOldThumbnail;
  };
  const auto first = std::find_if(resources.begin(), resources.end(), isThumbnail);
  if (first == resources.end()) return unchanged;
  // One thumbnail, the current kind, where the first one stood; every other resource, and what
  // follows that cannot be read as resources, as it was. The thumbnail gets the room the others
  // leave in as many segments as the source gave them, so the output has no more.
  TBytes before, after;
  for (const TResource& resource : resources) {
    if (isThumbnail(resource)) continue;
    TBytes& part = resource.Start < first->Start ? before : after;
    part.insert(part.end(), data.begin() + static_cast<std::ptrdiff_t>(resource.Start),
                data.begin() + static_cast<std::ptrdiff_t>(resource.End));
  }
  after.insert(after.end(), data.begin() + static_cast<std::ptrdiff_t>(parsed), data.end());
  const std::size_t room = bodies.size() * kMaxResourcesPerSegment;
  const std::size_t others = before.size() + after.size();
  const TBytes thumbnail = RedrawnThumbnail(data, *first, room > others ? room - others : 0, draw);
  TBytes resourcesOut = std::move(before);
  resourcesOut.insert(resourcesOut.end(), thumbnail.begin(), thumbnail.end());
  resourcesOut.insert(resourcesOut.end(), after.begin(), after.end());
  std::vector<TBytes> out;
  for (std::size_t at = 0; at < resourcesOut.size(); at += kMaxResourcesPerSegment) {
    TBytes& body = out.emplace_back(kPhotoshopIdentifier.begin(), kPhotoshopIdentifier.end());
    const std::size_t end = std::min(resourcesOut.size(), at + kMaxResourcesPerSegment);
    body.insert(body.end(), resourcesOut.begin() + static_cast<std::ptrdiff_t>(at),
                resourcesOut.begin() + static_cast<std::ptrdiff_t>(end));
  }
  return out;
}

namespace {

bool OwnsPhotoshop(std::uint16_t marker, std::span<const std::uint8_t> body) {
  return marker == markers::kApp13 && body.size() >= kPhotoshopIdentifier.size() &&
         std::equal(kPhotoshopIdentifier.begin(), kPhotoshopIdentifier.end(), body.begin());
}

TSegmentFate FollowPhotoshop(const TSegmentRef& segment, const TCutContext& cut) {
  if (cut.KeepThumbnails || !segment.InHeader) return TSegmentFate::Copy();
  // The resources run on over every such segment of the header; this one is the k-th.
  std::vector<std::span<const std::uint8_t>> bodies;
  std::size_t k = 0;
  for (const TSegment& other : cut.Model.HeaderSegments()) {
    const std::span<const std::uint8_t> body =
        cut.Source.subspan(other.Body(), static_cast<std::size_t>(other.End) - other.Body());
    if (!OwnsPhotoshop(other.Marker, body)) continue;
    if (body.data() == segment.Body.data()) k = bodies.size();
    bodies.push_back(body);
  }
  std::vector<TBytes> out = FollowCutInPhotoshopResources(bodies, DrawerOf(cut));
  if (k >= out.size()) return TSegmentFate::Drop();
  return TSegmentFate::Replace(std::move(out[k]));
}

}  // namespace

TMetadataKind PhotoshopKind() { return {OwnsPhotoshop, FollowPhotoshop}; }

}  // namespace tarvo
