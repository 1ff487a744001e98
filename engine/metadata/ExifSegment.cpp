#include "ExifSegment.h"

#include <algorithm>
#include <optional>
#include <string_view>

#include "ExifOrientation.h"
#include "ExifRewrite.h"
#include "ExifThumbnail.h"
#include "JpegMarkers.h"
#include "MakerNotePreviews.h"
#include "PictureSize.h"
#include "TiffView.h"

namespace tarvo {

namespace {

// "Exif" and two pad bytes come before the TIFF structure.
constexpr std::string_view kExifIdentifier{"Exif\0\0", 6};
constexpr std::size_t kMaxSegmentBody = 65535 - 2;  // the length word counts itself
// Exif thumbnails are made to fit 160 x 120, the size Exif recommends (DC-008 4.5.8).
constexpr int kThumbnailWidth = 160;
constexpr int kThumbnailHeight = 120;

// As analysis tells an Exif segment: the identifier, two pad bytes and a TIFF header.
bool OwnsExif(std::uint16_t marker, std::span<const std::uint8_t> body) {
  return marker == markers::kApp1 &&
         body.size() >= kExifIdentifier.size() + TTiffView::kHeaderSize &&
         std::string_view(reinterpret_cast<const char*>(body.data()), 4) == "Exif";
}

// The box a thumbnail drawn anew fits: the old one's size class, its longer side along the
// cut's, or the size Exif recommends.
TPictureSize ThumbnailBox(std::span<const std::uint8_t> old, const TCutContext& cut) {
  int longer = kThumbnailWidth;
  int shorter = kThumbnailHeight;
  if (const std::optional<TPictureSize> size = ReadPictureSize(old)) {
    longer = std::max(size->Width, size->Height);
    shorter = std::min(size->Width, size->Height);
  }
  return cut.Width >= cut.Height ? TPictureSize{longer, shorter} : TPictureSize{shorter, longer};
}

// The thumbnail of tiff drawn again from the cut, or removed.
void FollowThumbnail(std::vector<std::uint8_t>& tiff, const TCutContext& cut) {
  const TExifThumbnailKind kind = ExifThumbnailKind(tiff);
  if (kind == TExifThumbnailKind::kNone) return;
  constexpr std::size_t kMaxTiff = kMaxSegmentBody - kExifIdentifier.size();
  std::vector<std::uint8_t> picture;
  if (kind == TExifThumbnailKind::kJpeg && cut.Maker != nullptr) {
    const std::span<const std::uint8_t> old = ExifJpegThumbnail(tiff);
    const TPictureSize box = ThumbnailBox(old, cut);
    // Where the segment has no room for the thumbnail at the old one's quality, a lower one
    // makes it fit.
    picture = cut.DrawCut({box.Width, box.Height, old, 0, ExifThumbnailRoom(tiff, kMaxTiff)});
  }
  ReplaceExifThumbnail(tiff, picture, kMaxTiff);
  if (const std::optional<TPictureSize> size = ReadPictureSize(picture)) {
    RestateExifThumbnail(tiff, size->Width, size->Height, cut.Orientation);
  }
}

TSegmentFate FollowExif(const TSegmentRef& segment, const TCutContext& cut) {
  std::vector<std::uint8_t> body(segment.Body.begin(), segment.Body.end());
  if (!RestateExif(body, cut.Width, cut.Height, cut.Orientation)) return TSegmentFate::Copy();
  const bool padded = std::equal(kExifIdentifier.begin(), kExifIdentifier.end(), body.begin());
  if (segment.FirstInHeader && padded && !cut.KeepThumbnails) {
    std::vector<std::uint8_t> structure(body.begin() + kExifIdentifier.size(), body.end());
    FollowCutInMakerNotes(structure, DrawerOf(cut));
    FollowThumbnail(structure, cut);
    body.resize(kExifIdentifier.size());
    body.insert(body.end(), structure.begin(), structure.end());
  }
  return TSegmentFate::Replace(std::move(body));
}

}  // namespace

bool RestateExif(std::vector<std::uint8_t>& body, int width, int height, TOrientation orientation) {
  if (!OwnsExif(markers::kApp1, body)) return false;
  TTiffView tiff(std::span<std::uint8_t>(body).subspan(kExifIdentifier.size()));
  if (!tiff.Valid()) return false;
  RewriteExifPixelSize(tiff, static_cast<std::uint32_t>(width), static_cast<std::uint32_t>(height));
  RewriteExifOrientation(tiff, orientation);
  return true;
}

void RemoveExifThumbnail(std::vector<std::uint8_t>& body) {
  std::vector<std::uint8_t> structure(body.begin() + kExifIdentifier.size(), body.end());
  ReplaceExifThumbnail(structure, {}, structure.size());
  body.resize(kExifIdentifier.size());
  body.insert(body.end(), structure.begin(), structure.end());
}

TMetadataKind ExifKind() { return {OwnsExif, FollowExif}; }

std::vector<std::uint8_t> ExifInPlaceOfDropped(const TCutContext& cut) {
  if (!cut.DropExif || cut.Orientation.IsIdentity()) return {};
  return OrientationOnlyExif(cut.Orientation);
}

}  // namespace tarvo
