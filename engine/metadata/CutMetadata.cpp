#include "CutMetadata.h"

#include "ExifSegment.h"
#include "JpegMarkers.h"
#include "MetadataKinds.h"
#include "PictureSize.h"
#include "TrailingPictures.h"

namespace tarvo {

TMetadataPlan DecideMetadata(const TCutContext& source) {
  TMetadataPlan plan;
  TCutContext cut = source;
  plan.Stored = FollowStoredImages(cut);
  if (plan.Stored.ShowsWipedCut && cut.Maker != nullptr) {
    // A wiped picture's copies no larger than its wiped preview are drawn from the preview: the
    // picture itself would have to be decoded in full for its DC values.
    const std::span<const std::uint8_t> preview =
        plan.Stored.Images[*plan.Stored.ShowsWipedCut].Bytes;
    const std::optional<TPictureSize> size = ReadPictureSize(preview);
    cut.DrawCut = [draw = source.DrawCut, preview, size,
                   maker = cut.Maker](const TDrawRequest& request) {
      std::vector<std::uint8_t> drawn;
      if (size && size->Width >= request.MaxWidth && size->Height >= request.MaxHeight) {
        drawn = maker->Smaller(preview, request.MaxWidth, request.MaxHeight, request.Like,
                               request.MaxBytes, request.Quality);
      }
      return drawn.empty() ? draw(request) : drawn;
    };
  }
  plan.Stored.Rest = FollowTrailer(cut, plan.Stored.RestStart);
  if (cut.StoredImages) cut.Stored = &plan.Stored;
  const TJpegModel& model = cut.Model;
  plan.Fates.resize(model.Segments.size());
  const std::span<const TMetadataKind> kinds = MetadataKinds();
  std::vector<bool> seen(kinds.size());
  const std::size_t headerEnd = model.HeaderSegments().size();
  const std::size_t tailStart = model.Segments.size() - model.TailSegments().size();
  for (std::size_t i = 0; i < model.Segments.size(); ++i) {
    const TSegment& segment = model.Segments[i];
    // Segments between the scans of a progressive file are not written at all.
    if (!markers::IsAppOrCom(segment.Marker) || (i >= headerEnd && i < tailStart)) continue;
    if (cut.DropExif && segment.Marker == markers::kApp1) {
      plan.Fates[i] = TSegmentFate::Drop();
      continue;
    }
    const std::span<const std::uint8_t> body =
        cut.Source.subspan(segment.Body(), static_cast<std::size_t>(segment.End) - segment.Body());
    for (std::size_t k = 0; k < kinds.size(); ++k) {
      if (!kinds[k].Owns(segment.Marker, body)) continue;
      const bool inHeader = i < headerEnd;
      plan.Fates[i] = kinds[k].Follow({segment.Marker, body, inHeader, inHeader && !seen[k]}, cut);
      seen[k] = seen[k] || inHeader;
      break;
    }
  }
  if (!plan.Stored.IndexBody.empty()) {
    plan.Fates[plan.Stored.IndexSegment] = TSegmentFate::Replace(plan.Stored.IndexBody);
  }
  plan.Inserted = ExifInPlaceOfDropped(cut);
  return plan;
}

}  // namespace tarvo
