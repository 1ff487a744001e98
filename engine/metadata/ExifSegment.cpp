#include "ExifSegment.h"

#include <string_view>

#include "ExifOrientation.h"
#include "ExifRewrite.h"
#include "ExifThumbnail.h"
#include "JpegMarkers.h"
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

// The thumbnail of tiff drawn again from the cut, or removed.
void FollowThumbnail(std::vector<std::uint8_t>& tiff, const TCutContext& cut) {
  const TExifThumbnailKind kind = ExifThumbnailKind(tiff);
  if (kind == TExifThumbnailKind::kNone) return;
  std::vector<std::uint8_t> picture;
  if (kind == TExifThumbnailKind::kJpeg && cut.Maker != nullptr) {
    picture = cut.DrawCut({kThumbnailWidth, kThumbnailHeight, ExifJpegThumbnail(tiff)});
  }
  ReplaceExifThumbnail(tiff, picture, kMaxSegmentBody - kExifIdentifier.size());
}

TSegmentFate FollowExif(const TSegmentRef& segment, const TCutContext& cut) {
  std::vector<std::uint8_t> body(segment.Body.begin(), segment.Body.end());
  TTiffView tiff(std::span<std::uint8_t>(body).subspan(kExifIdentifier.size()));
  if (!tiff.Valid()) return TSegmentFate::Copy();
  RewriteExifPixelSize(tiff, static_cast<std::uint32_t>(cut.Width),
                       static_cast<std::uint32_t>(cut.Height));
  RewriteExifOrientation(tiff, cut.Orientation);
  const bool padded = std::equal(kExifIdentifier.begin(), kExifIdentifier.end(), body.begin());
  if (segment.FirstInHeader && padded && !cut.KeepThumbnails) {
    std::vector<std::uint8_t> structure(body.begin() + kExifIdentifier.size(), body.end());
    FollowThumbnail(structure, cut);
    body.resize(kExifIdentifier.size());
    body.insert(body.end(), structure.begin(), structure.end());
  }
  return TSegmentFate::Replace(std::move(body));
}

}  // namespace

TMetadataKind ExifKind() { return {OwnsExif, FollowExif}; }

std::vector<std::uint8_t> ExifInPlaceOfDropped(const TCutContext& cut) {
  if (!cut.DropExif || cut.Orientation.IsIdentity()) return {};
  return OrientationOnlyExif(cut.Orientation);
}

}  // namespace tarvo
