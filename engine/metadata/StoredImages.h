// The images a JPEG file stores after its main picture (MPF previews and views, HDR gain maps),
// by its MP entries or else by its XMP container directory, made to follow a cut so that none
// shows what the cut took away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "MetadataKind.h"
#include "MpfRewrite.h"

namespace tarvo {

struct TStoredImagesPlan {
  struct TImage {
    std::optional<std::size_t> MpEntry;
    std::optional<std::size_t> Item;  // in the XMP container directory
    std::vector<std::uint8_t> Bytes;  // what the output stores; empty when it leaves it out
  };
  // False: the source's bytes after its main picture follow the output's as they are.
  bool Rebuilt = false;
  // The images in file order, right after the main picture; then the source's bytes from
  // RestStart on.
  std::vector<TImage> Images;
  std::size_t RestStart = 0;
  // Written in place of the source's bytes from RestStart on, where pictures among them that
  // nothing names follow the cut (FollowTrailer).
  std::optional<std::vector<std::uint8_t>> Rest;
  // The MP index whose entries the writer sets to where each image lands, and which of the
  // model's segments holds it.
  std::optional<TMpIndex> Index;
  std::size_t IndexSegment = 0;
  // That segment's new body where the output holds fewer images than it lists (see
  // WithHeldEntries); empty when it stays. Images' MpEntry then count in the new list.
  std::vector<std::uint8_t> IndexBody;
  // An image that shows the whole wiped output as it stands (a preview wiped and turned with it
  // without loss): smaller pictures of the cut are drawn from it sooner than from the picture.
  std::optional<std::size_t> ShowsWipedCut;
};

// Previews drawn again (or turned without loss for a turn of the whole picture), same-size
// views and gain maps cut to the same region, the rest copied; with KeepThumbnails previews stay.
TStoredImagesPlan FollowStoredImages(const TCutContext& cut);

}  // namespace tarvo
