#include "StoredImages.h"

#include <algorithm>
#include <cstdlib>
#include <string_view>

#include "ExifSegment.h"
#include "GainMap.h"
#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "PictureSize.h"
#include "XmpContainer.h"

namespace tarvo {

namespace {

using TBytes = std::vector<std::uint8_t>;

// An image stored after the main picture, as the source holds it.
struct TStoredImage {
  TByteRange Range;
  std::optional<std::size_t> MpEntry;
  std::optional<std::size_t> Item;
  bool GainMap = false;
};

// A picture drawn anew, of size, carries the APPn and COM segments of the one it replaces, in
// their order, where keep says they keep meaning for it: an Exif segment then states the new size
// and orientation and loses its thumbnail, which showed the old picture.
template <typename Keep>
TBytes WithMetadataOf(const TBytes& drawn, std::span<const std::uint8_t> old,
                      TOrientation orientation, Keep keep) {
  const auto soi = markers::MarkerBytes(markers::kSoi);
  TBytes out(soi.begin(), soi.end());
  const std::optional<TPictureSize> size = ReadPictureSize(drawn);
  for (const TSegment& segment : ReadHeaderLayout(old)) {
    if (!markers::IsAppOrCom(segment.Marker) || !keep(segment)) continue;
    std::vector<std::uint8_t> body(old.begin() + static_cast<std::ptrdiff_t>(segment.Body()),
                                   old.begin() + static_cast<std::ptrdiff_t>(segment.End));
    if (size && RestateExif(body, size->Width, size->Height, orientation)) {
      RemoveExifThumbnail(body);
    }
    const auto marker = markers::MarkerBytes(segment.Marker);
    out.insert(out.end(), marker.begin(), marker.end());
    out.push_back(static_cast<std::uint8_t>((body.size() + 2) >> 8));
    out.push_back(static_cast<std::uint8_t>(body.size() + 2));
    out.insert(out.end(), body.begin(), body.end());
  }
  out.insert(out.end(), drawn.begin() + 2, drawn.end());
  return out;
}

// The images the source stores after its main picture, by its MP entries or else by its XMP
// container directory.
std::vector<TStoredImage> StoredImages(const TCutContext& cut, const std::optional<TMpIndex>& index,
                                       const std::vector<TContainerItem>& items) {
  std::vector<TStoredImage> images;
  const std::span<const std::uint8_t> file = cut.Source;
  if (index) {
    const auto ranges = LocateMpImages(file, *index, cut.ImageEnd);
    for (std::size_t i = 1; i < ranges.size(); ++i) {
      if (ranges[i]) images.push_back({*ranges[i], i, std::nullopt, false});
    }
    std::sort(images.begin(), images.end(), [](const TStoredImage& a, const TStoredImage& b) {
      return a.Range.Start < b.Range.Start;
    });
  } else if (items.size() > 1) {
    std::uint64_t at = cut.ImageEnd + items[0].Padding;
    for (std::size_t k = 1; k < items.size(); ++k) {
      if (!items[k].Length || at + *items[k].Length > file.size() || *items[k].Length < 2 ||
          !markers::MarkerAt(file, static_cast<std::size_t>(at), markers::kSoi)) {
        break;
      }
      const auto start = static_cast<std::size_t>(at);
      images.push_back({{start, start + static_cast<std::size_t>(*items[k].Length)},
                        std::nullopt,
                        std::nullopt});
      at += *items[k].Length + items[k].Padding;
    }
  }
  // Directory items after the main picture are the stored images in file order.
  for (std::size_t k = 0; k < images.size(); ++k) {
    if (k + 1 < items.size()) images[k].Item = k + 1;
    const std::span<const std::uint8_t> image =
        file.subspan(images[k].Range.Start, images[k].Range.End - images[k].Range.Start);
    images[k].GainMap =
        IsGainMap(image) || (images[k].Item && items[*images[k].Item].Semantic == "GainMap");
  }
  return images;
}

// rect of the source's pixels scaled onto a width x height picture of the same scene, grown
// outward to whole pixels.
TTrimRect ScaledOutward(const TTrimRect& rect, std::int64_t width, std::int64_t height,
                        const TCutContext& cut) {
  const std::int64_t sourceWidth = cut.Model.Width;
  const std::int64_t sourceHeight = cut.Model.Height;
  const auto scaled = [](std::int64_t at, std::int64_t to, std::int64_t from, bool up) {
    return static_cast<std::int32_t>(up ? (at * to + from - 1) / from : at * to / from);
  };
  return {scaled(rect.Left, width, sourceWidth, false),
          scaled(rect.Top, height, sourceHeight, false),
          scaled(rect.Right, width, sourceWidth, true),
          scaled(rect.Bottom, height, sourceHeight, true)};
}

// The cut's wipes scaled onto a picture of grid's size that shows the same scene, each with fill
// where given, else its own.
std::vector<TWipe> ScaledWipes(const TMcuGrid& grid, const TCutContext& cut,
                               std::optional<EWipeFill> fill = std::nullopt) {
  std::vector<TWipe> wipes;
  for (const TWipe& wipe : cut.Wipes) {
    wipes.push_back(
        {ScaledOutward(wipe.Region, grid.Width, grid.Height, cut), fill.value_or(wipe.Fill)});
  }
  return wipes;
}

// picture (a whole stored picture of the scene, stored pixels as info says) with the cut's wipes
// scaled onto it, as the main picture was wiped, and every copy it holds drawn again; picture
// itself when the cut wipes nothing, empty when it cannot be wiped.
TBytes WipedAlike(std::span<const std::uint8_t> picture, const TStoredPictureInfo& info,
                  const TCutContext& cut, std::optional<EWipeFill> fill = std::nullopt) {
  if (cut.Wipes.empty()) return TBytes(picture.begin(), picture.end());
  return cut.Cutter->Cut(picture, WholePicture(info.Grid, info.Orientation), false, nullptr,
                         ScaledWipes(info.Grid, cut, fill));
}

// region of picture (its stored pixels) turned as the cut's blocks were: without loss where
// picture's own MCU grid gives exactly that (and lossless says it may), else drawn again with
// its own tables and sampling, carrying its metadata; empty when neither can be done.
TBytes CutRegion(std::span<const std::uint8_t> picture, const TStoredPictureInfo& info,
                 const TTrimRect& region, bool lossless, bool dropExif, const TCutContext& cut) {
  TTurnLoss loss;
  const TOrientedTrim wanted =
      Turned(Within(WholePicture(info.Grid, info.Orientation), region), cut.Turn, info.Grid, loss);
  if (lossless && loss.Right == 0 && loss.Bottom == 0) {
    TOrientedTrim written;
    TBytes result = cut.Cutter->Cut(picture, wanted, dropExif, &written);
    if (!result.empty() && written.Source == region) return result;
  }
  if (cut.Maker == nullptr) return {};
  const TBytes drawn = cut.Maker->Recoded(picture, region, cut.Turn);
  if (drawn.size() < 2) return {};
  return WithMetadataOf(drawn, picture, wanted.Tag, [dropExif](const TSegment& segment) {
    return !dropExif || segment.Marker != markers::kApp1;
  });
}

// The gain map cut to the region of the cut, scaled to its own size, and turned with it. Under
// the cut's wipes it takes the gain around them, so that it keeps no outline of what they
// blanked.
TBytes CutGainMap(std::span<const std::uint8_t> map, const TCutContext& cut) {
  const std::optional<TStoredPictureInfo> info = cut.Cutter->Analyze(map);
  const int sourceWidth = cut.Model.Width;
  const int sourceHeight = cut.Model.Height;
  if (!info || sourceWidth <= 0 || sourceHeight <= 0) return {};
  const TBytes wiped = WipedAlike(map, *info, cut, EWipeFill::kFlat);
  if (wiped.empty()) return {};
  map = wiped;
  const TTrimRect& rect = cut.Rect;
  const std::int64_t width = info->Grid.Width;
  const std::int64_t height = info->Grid.Height;
  TTrimRect region = ScaledOutward(rect, width, height, cut);
  region.Right =
      std::clamp<std::int32_t>(region.Right, region.Left + 1, static_cast<std::int32_t>(width));
  region.Bottom =
      std::clamp<std::int32_t>(region.Bottom, region.Top + 1, static_cast<std::int32_t>(height));
  if (region.Left >= width || region.Top >= height) return {};
  // Only a region that starts exactly where the cut does may keep the map's blocks as they are;
  // otherwise the smooth, small map is drawn again.
  const bool exact = rect.Left * width % sourceWidth == 0 && rect.Top * height % sourceHeight == 0;
  return CutRegion(map, *info, region, exact, false, cut);
}

// A preview of the whole picture turned and wiped as the picture was, without loss, carrying
// its metadata. Empty when a turn would lose pixels at a partial MCU, when the preview does not
// show the picture at one scale on both axes (bars beside it would put a scaled wipe in the
// wrong place), or when it cannot be done.
TBytes FollowLosslessly(std::span<const std::uint8_t> picture, const TCutContext& cut) {
  const std::optional<TStoredPictureInfo> info = cut.Cutter->Analyze(picture);
  if (!info) return {};
  const TMcuGrid& grid = info->Grid;
  const bool turned = !cut.Turn.IsIdentity();
  if (turned && (grid.Width % grid.McuWidth != 0 || grid.Height % grid.McuHeight != 0)) return {};
  if (!cut.Wipes.empty()) {
    // Within one preview pixel of the picture's shape.
    const std::int64_t across = std::int64_t{grid.Width} * cut.Model.Height;
    const std::int64_t down = std::int64_t{grid.Height} * cut.Model.Width;
    if (std::abs(across - down) >= std::max(cut.Model.Width, cut.Model.Height)) return {};
  }
  TTurnLoss loss;
  // The picture's own tag, if it has one, follows the turn as the main picture's does.
  return cut.Cutter->Cut(picture,
                         Turned(WholePicture(grid, info->Orientation), cut.Turn, grid, loss),
                         cut.DropExif, nullptr, ScaledWipes(grid, cut));
}

// A large preview drawn again from the cut at its old longer side, never larger than the cut.
TBytes DrawPreview(std::span<const std::uint8_t> preview, const TCutContext& cut) {
  const std::optional<TStoredPictureInfo> info = cut.Cutter->Analyze(preview);
  if (cut.Maker == nullptr || !info) return {};
  const int side = std::max(info->Grid.Width, info->Grid.Height);
  const TBytes drawn = cut.DrawCut({side, side, preview});
  if (drawn.size() < 2) return {};
  // It keeps the segments the camera gave it, which readers expect there; its Exif data, if
  // kept, describe the new picture.
  return WithMetadataOf(drawn, preview, cut.Orientation, [&](const TSegment& segment) {
    return !cut.DropExif || segment.Marker != markers::kApp1;
  });
}

TBytes FollowImage(const TStoredImage& image, const std::optional<TMpIndex>& index,
                   const TCutContext& cut, bool& showsWipedCut) {
  const std::span<const std::uint8_t> bytes =
      cut.Source.subspan(image.Range.Start, image.Range.End - image.Range.Start);
  const std::uint32_t type = index && image.MpEntry ? index->Entries[*image.MpEntry].Type() : 0;
  if (image.GainMap) return CutGainMap(bytes, cut);
  if (type == kMpLargeThumbnailVga || type == kMpLargeThumbnailFullHd) {
    if (cut.KeepThumbnails) return TBytes(bytes.begin(), bytes.end());
    // A turn or a wipe of the whole picture is done to its preview the same way, without loss
    // and far sooner than drawing it again; a cut draws it anew.
    TBytes result;
    const bool whole = cut.Rect == TTrimRect{0, 0, cut.Model.Width, cut.Model.Height};
    if (whole && (!cut.Turn.IsIdentity() || !cut.Wipes.empty())) {
      result = FollowLosslessly(bytes, cut);
      showsWipedCut = !result.empty() && !cut.Wipes.empty();
    }
    if (result.empty()) result = DrawPreview(bytes, cut);
    return result;
  }
  // Another view of the scene the same size as the main picture is cut and turned with it.
  if (type >= kMpPanorama && type <= kMpMultiAngle) {
    const std::optional<TStoredPictureInfo> info = cut.Cutter->Analyze(bytes);
    if (info && info->Grid.Width == cut.Model.Width && info->Grid.Height == cut.Model.Height) {
      // Wiped where the main picture is, as another view shows the same place there.
      const TBytes wiped = WipedAlike(bytes, *info, cut);
      if (wiped.empty()) return {};
      return CutRegion(wiped, *info, cut.Rect, true, cut.DropExif, cut);
    }
  }
  return TBytes(bytes.begin(), bytes.end());
}

// The MP entries cut down to the images the output holds: a list never names one it lacks.
void ListHeldImages(TStoredImagesPlan& plan, const TCutContext& cut) {
  std::vector<bool> held(plan.Index->Entries.size());
  for (const TStoredImagesPlan::TImage& image : plan.Images) {
    if (!image.Bytes.empty() && image.MpEntry) held[*image.MpEntry] = true;
  }
  if (std::count(held.begin() + 1, held.end(), true) + 1 ==
      static_cast<std::ptrdiff_t>(held.size())) {
    return;
  }
  const TSegment& segment = cut.Model.Segments[plan.IndexSegment];
  plan.IndexBody = WithHeldEntries(
      cut.Source.subspan(segment.Body(), static_cast<std::size_t>(segment.End) - segment.Body()),
      plan.Index->Base - segment.Body(), *plan.Index, held);
  std::vector<std::size_t> renumbered(held.size());
  std::size_t kept = 1;
  for (std::size_t i = 1; i < held.size(); ++i) {
    if (held[i]) renumbered[i] = kept++;
  }
  for (TStoredImagesPlan::TImage& image : plan.Images) {
    if (image.MpEntry) {
      image.MpEntry =
          held[*image.MpEntry] ? std::optional(renumbered[*image.MpEntry]) : std::nullopt;
    }
  }
  plan.Index->Entries.resize(kept);
}

}  // namespace

TStoredImagesPlan FollowStoredImages(const TCutContext& cut) {
  TStoredImagesPlan plan;
  plan.RestStart = cut.ImageEnd;
  if (!cut.StoredImages || cut.Cutter == nullptr) return plan;
  // The directory finds the images even where the output leaves the XMP packet out.
  const std::vector<TContainerItem> items = ReadContainerItems(XmpPacket(cut.Source));
  plan.Index = ReadMpIndex(cut.Source);
  if (plan.Index) {
    const std::span<const TSegment> header = cut.Model.HeaderSegments();
    const auto segment = std::find_if(header.begin(), header.end(), [&](const TSegment& s) {
      return s.Body() + 4 == plan.Index->Base;
    });
    if (segment == header.end()) {
      plan.Index.reset();
    } else {
      plan.IndexSegment = static_cast<std::size_t>(segment - header.begin());
    }
  }
  const std::vector<TStoredImage> images = StoredImages(cut, plan.Index, items);
  if (images.empty() && !plan.Index) return plan;
  plan.Rebuilt = true;
  for (const TStoredImage& image : images) {
    bool showsWipedCut = false;
    plan.Images.push_back(
        {image.MpEntry, image.Item, FollowImage(image, plan.Index, cut, showsWipedCut)});
    if (showsWipedCut) plan.ShowsWipedCut = plan.Images.size() - 1;
    plan.RestStart = std::max(plan.RestStart, image.Range.End);
  }
  if (plan.Index) ListHeldImages(plan, cut);
  return plan;
}

}  // namespace tarvo
