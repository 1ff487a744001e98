#include "TrailingPictures.h"

#include <algorithm>
#include <array>

#include "TiffView.h"
#include "XmpContainer.h"

namespace tarvo {

namespace {

constexpr std::array<std::uint8_t, 8> kPngSignature = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
// A PNG chunk: data length, type, data, CRC.
constexpr std::size_t kChunkOverhead = 12;
// The tags without which IFD0 describes no picture: its width, and where its data is.
constexpr std::uint16_t kImageWidth = 0x0100;
constexpr std::array<std::uint16_t, 3> kDataTags = {0x0111, 0x0144, 0x0201};  // strips, tiles, JPEG

std::uint32_t Get32(std::span<const std::uint8_t> bytes, std::size_t at) {
  return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
         std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// One past a PNG's IEND chunk, or the end of bytes where its chunks do not run to one.
std::size_t PngEnd(std::span<const std::uint8_t> bytes) {
  std::size_t at = kPngSignature.size();
  while (bytes.size() - at >= kChunkOverhead) {
    const std::uint32_t length = Get32(bytes, at);
    if (length > bytes.size() - at - kChunkOverhead) break;
    const bool last = std::equal(bytes.begin() + static_cast<std::ptrdiff_t>(at + 4),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + 8), "IEND");
    at += kChunkOverhead + length;
    if (last) return at;
  }
  return bytes.size();
}

bool IsTiffPicture(std::span<std::uint8_t> bytes) {
  const TTiffView tiff(bytes);
  if (!tiff.Valid()) return false;
  const int count = tiff.EntryCount(tiff.FirstIfd());
  bool width = false;
  bool data = false;
  for (int i = 0; i < count; ++i) {
    const std::uint16_t tag = tiff.Get16(TTiffView::Entry(tiff.FirstIfd(), i));
    width = width || tag == kImageWidth;
    data = data || std::find(kDataTags.begin(), kDataTags.end(), tag) != kDataTags.end();
  }
  return width && data;
}

}  // namespace

int FollowCutInTrailer(std::span<std::uint8_t> trailer, const TDrawCut& draw) {
  int found = RedrawEmbeddedJpegs(trailer, {}, draw);
  for (std::size_t at = 0; at + kPngSignature.size() <= trailer.size(); ++at) {
    const std::span<std::uint8_t> rest = trailer.subspan(at);
    std::size_t end = 0;
    if (std::equal(kPngSignature.begin(), kPngSignature.end(), rest.begin())) {
      end = PngEnd(rest);
    } else if (IsTiffPicture(rest)) {
      end = rest.size();
    } else {
      continue;
    }
    std::fill(rest.begin(), rest.begin() + static_cast<std::ptrdiff_t>(end), std::uint8_t{0});
    ++found;
    at += end - 1;
  }
  return found;
}

std::optional<std::vector<std::uint8_t>> FollowTrailer(const TCutContext& cut,
                                                       std::size_t restStart) {
  if (cut.KeepThumbnails || !cut.StoredImages || restStart >= cut.Source.size()) {
    return std::nullopt;
  }
  // Items of an XMP container that are not JPEG files (a motion photo's video) are named too.
  std::uint64_t named = restStart;
  if (!cut.DropExif) {
    const std::vector<TContainerItem> items = ReadContainerItems(XmpPacket(cut.Source));
    std::uint64_t end = cut.ImageEnd;
    for (std::size_t k = 0; k < items.size(); ++k) {
      if (k > 0 && !items[k].Length) break;
      end += (k > 0 ? *items[k].Length : 0) + items[k].Padding;
      if (k + 1 == items.size()) named = std::max(named, end);
    }
  }
  if (named >= cut.Source.size()) return std::nullopt;
  std::vector<std::uint8_t> rest(cut.Source.begin() + static_cast<std::ptrdiff_t>(restStart),
                                 cut.Source.end());
  const std::span<std::uint8_t> unnamed = std::span(rest).subspan(named - restStart);
  if (FollowCutInTrailer(unnamed, DrawerOf(cut)) == 0) return std::nullopt;
  return rest;
}

}  // namespace tarvo
