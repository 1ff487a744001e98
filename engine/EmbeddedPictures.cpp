#include "EmbeddedPictures.h"

#include <algorithm>
#include <optional>
#include <string>

#include "ExifThumbnail.h"
#include "GainMap.h"
#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "JpegTrimming.h"
#include "MpfRewrite.h"
#include "OrientedTrim.h"
#include "XmpContainer.h"

namespace tarvo {

namespace {

using TBytes = std::vector<std::uint8_t>;

constexpr std::string_view kExifIdentifier{"Exif\0\0", 6};
constexpr std::size_t kMaxSegmentBody = 65535 - 2;  // the length word counts itself
// Exif thumbnails are made to fit 160 x 120, the size Exif recommends (DC-008 4.5.8).
constexpr int kThumbnailWidth = 160;
constexpr int kThumbnailHeight = 120;

// An image stored after the main picture, as the source holds it.
struct TStoredImage {
  TByteRange Range;
  std::optional<std::size_t> MpEntry;
  std::optional<std::size_t> Item;  // in the XMP container directory
  bool GainMap = false;
  TBytes Result;  // what the trim stores; empty when it leaves the image out
};

// Replaces the body of segment of jpeg with body (which must fit in one segment), in place: the
// bytes after it move, the main picture's coded data among them, but are not copied elsewhere.
void ReplaceSegmentBody(TStreamBytes& jpeg, const TSegment& segment,
                        std::span<const std::uint8_t> body) {
  const std::size_t length = body.size() + 2;
  const auto start = static_cast<std::size_t>(segment.Start);
  const auto end = static_cast<std::size_t>(segment.End);
  const auto at = [&](std::size_t offset) {
    return jpeg.begin() + static_cast<std::ptrdiff_t>(offset);
  };
  if (start + length > end) {
    jpeg.insert(at(end), start + length - end, 0);
  } else {
    jpeg.erase(at(start + length), at(end));
  }
  jpeg[start] = static_cast<std::uint8_t>(length >> 8);
  jpeg[start + 1] = static_cast<std::uint8_t>(length);
  std::copy(body.begin(), body.end(), at(start + 2));
}

// A picture drawn anew carries the metadata segments of the one it replaces that keep meaning
// for it (keep decides), placed before its own.
template <typename Keep>
TBytes WithMetadataOf(const TBytes& drawn, std::span<const std::uint8_t> old, Keep keep) {
  TBytes out = {0xFF, 0xD8};
  for (const TSegment& segment : ReadHeaderLayout(old)) {
    if (markers::IsAppOrCom(segment.Marker) && keep(segment)) {
      out.insert(out.end(), old.begin() + static_cast<std::ptrdiff_t>(segment.MarkerStart()),
                 old.begin() + static_cast<std::ptrdiff_t>(segment.End));
    }
  }
  out.insert(out.end(), drawn.begin() + 2, drawn.end());
  return out;
}

// The trim of picture to rect by the engine, carrying its metadata; empty when it cannot.
TBytes TrimLosslessly(std::span<const std::uint8_t> picture, const TTrimRect& rect, bool dropExif,
                      const TEmbeddedPictureOptions& options) {
  TJpegTrimming engine;
  engine.OnMessage = nullptr;
  engine.Pictures = options;
  engine.Pictures.StoredImages = false;
  TByteStream output;
  if (!engine.AnalyzeBytes(picture) || !engine.Trim(output, rect, dropExif)) return {};
  const auto bytes = output.Bytes();
  return TBytes(bytes.begin(), bytes.end());
}

// The Exif thumbnail drawn again from the main picture, or removed.
void FollowInExif(TStreamBytes& primary, const TCutMode& mode,
                  const TEmbeddedPictureOptions& options) {
  for (const TSegment& segment : ReadHeaderLayout(primary)) {
    if (!SegmentIs(primary, segment, markers::kApp1, kExifIdentifier)) continue;
    const auto tiffStart =
        primary.begin() + static_cast<std::ptrdiff_t>(segment.Body() + kExifIdentifier.size());
    TBytes tiff(tiffStart, primary.begin() + static_cast<std::ptrdiff_t>(segment.End));
    const TExifThumbnailKind kind = ExifThumbnailKind(tiff);
    if (kind == TExifThumbnailKind::kNone) return;
    TBytes picture;
    if (kind == TExifThumbnailKind::kJpeg && options.Maker != nullptr) {
      const std::span<const std::uint8_t> old = ExifJpegThumbnail(tiff);
      if (mode.DcPicture != nullptr) {
        picture = options.Maker->SmallerFromDc(*mode.DcPicture, primary, kThumbnailWidth,
                                               kThumbnailHeight, old);
      }
      if (picture.empty()) {
        picture = options.Maker->Smaller(primary, kThumbnailWidth, kThumbnailHeight, old);
      }
    }
    ReplaceExifThumbnail(tiff, picture, kMaxSegmentBody - kExifIdentifier.size());
    TBytes body(kExifIdentifier.begin(), kExifIdentifier.end());
    body.insert(body.end(), tiff.begin(), tiff.end());
    ReplaceSegmentBody(primary, segment, body);
    return;
  }
}

// The images the source stores after its main picture, by its MP entries or else by its XMP
// container directory.
std::vector<TStoredImage> StoredImages(const TCutSource& source,
                                       const std::vector<TContainerItem>& items) {
  std::vector<TStoredImage> images;
  const std::span<const std::uint8_t> file = source.Bytes;
  if (const std::optional<TMpIndex> index = ReadMpIndex(file)) {
    const auto ranges = LocateMpImages(file, *index, source.ImageEnd);
    for (std::size_t i = 1; i < ranges.size(); ++i) {
      if (ranges[i]) images.push_back({*ranges[i], i, std::nullopt, false, {}});
    }
    std::sort(images.begin(), images.end(), [](const TStoredImage& a, const TStoredImage& b) {
      return a.Range.Start < b.Range.Start;
    });
  } else if (items.size() > 1) {
    std::uint64_t at = source.ImageEnd + items[0].Padding;
    for (std::size_t k = 1; k < items.size(); ++k) {
      if (!items[k].Length || at + *items[k].Length > file.size() || *items[k].Length < 2 ||
          file[at] != 0xFF || file[at + 1] != 0xD8) {
        break;
      }
      const auto start = static_cast<std::size_t>(at);
      images.push_back({{start, start + static_cast<std::size_t>(*items[k].Length)},
                        std::nullopt,
                        std::nullopt,
                        false,
                        {}});
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

// The gain map cut to the region of rect, scaled to its own size.
TBytes CutGainMap(std::span<const std::uint8_t> map, const TCutSource& source,
                  const TTrimRect& rect, const TEmbeddedPictureOptions& options) {
  TJpegTrimming engine;
  engine.OnMessage = nullptr;
  if (!engine.AnalyzeBytes(map) || source.Width <= 0 || source.Height <= 0) return {};
  const std::int64_t width = engine.ImageWidth();
  const std::int64_t height = engine.ImageHeight();
  const auto scaled = [](std::int64_t at, std::int64_t to, std::int64_t from, bool up) {
    return static_cast<std::int32_t>(up ? (at * to + from - 1) / from : at * to / from);
  };
  TTrimRect region{scaled(rect.Left, width, source.Width, false),
                   scaled(rect.Top, height, source.Height, false),
                   scaled(rect.Right, width, source.Width, true),
                   scaled(rect.Bottom, height, source.Height, true)};
  region.Right =
      std::clamp<std::int32_t>(region.Right, region.Left + 1, static_cast<std::int32_t>(width));
  region.Bottom =
      std::clamp<std::int32_t>(region.Bottom, region.Top + 1, static_cast<std::int32_t>(height));
  if (region.Left >= width || region.Top >= height) return {};
  // Where the region starts exactly on one of the map's own MCU boundaries, its blocks are kept
  // as they are; otherwise the smooth, small map is drawn again with its own tables.
  const bool onGrid = rect.Left * width % source.Width == 0 &&
                      rect.Top * height % source.Height == 0 &&
                      McuGridLine(region.Left, engine.McuWidth()) == region.Left &&
                      McuGridLine(region.Top, engine.McuHeight()) == region.Top;
  if (onGrid) return TrimLosslessly(map, region, false, options);
  if (options.Maker == nullptr) return {};
  const TBytes drawn = options.Maker->Recoded(map, region);
  if (drawn.size() < 2) return {};
  return WithMetadataOf(drawn, map, [](const TSegment&) { return true; });
}

// picture's stored pixels turned by turn without loss, carrying its metadata; empty when a turn
// would lose pixels at a partial MCU, or cannot be done.
TBytes TurnLosslessly(std::span<const std::uint8_t> picture, const TOrientation& turn,
                      bool dropExif, const TEmbeddedPictureOptions& options) {
  TJpegTrimming engine;
  engine.OnMessage = nullptr;
  engine.Pictures = options;
  engine.Pictures.StoredImages = false;
  if (!engine.AnalyzeBytes(picture)) return {};
  const TMcuGrid grid = engine.Grid();
  if (grid.Width % grid.McuWidth != 0 || grid.Height % grid.McuHeight != 0) return {};
  TTurnLoss loss;
  TByteStream output;
  // The preview's own tag, if it has one, follows the turn as the main picture's does.
  const TOrientedTrim cut = Turned(WholePicture(grid, engine.ExifOrientation()), turn, grid, loss);
  if (!engine.TrimCut(output, cut, dropExif)) return {};
  const auto bytes = output.Bytes();
  return TBytes(bytes.begin(), bytes.end());
}

// A large preview drawn again from the trim at its old longer side, never larger than the trim.
TBytes DrawPreview(std::span<const std::uint8_t> preview, std::span<const std::uint8_t> primary,
                   const TCutMode& mode, const TEmbeddedPictureOptions& options) {
  TJpegTrimming engine;
  engine.OnMessage = nullptr;
  if (options.Maker == nullptr || !engine.AnalyzeBytes(preview)) return {};
  const int side = std::max(engine.ImageWidth(), engine.ImageHeight());
  TBytes drawn;
  if (mode.DcPicture != nullptr) {
    drawn = options.Maker->SmallerFromDc(*mode.DcPicture, primary, side, side, preview);
  }
  if (drawn.empty()) drawn = options.Maker->Smaller(primary, side, side, preview);
  if (drawn.size() < 2) return {};
  // Its MPF segment says what it is in the set; an Exif segment would describe the old one.
  return WithMetadataOf(drawn, preview,
                        [](const TSegment& segment) { return segment.Marker == markers::kApp2; });
}

bool SameSize(std::span<const std::uint8_t> view, const TCutSource& source) {
  TJpegTrimming engine;
  engine.OnMessage = nullptr;
  return engine.AnalyzeBytes(view) && engine.ImageWidth() == source.Width &&
         engine.ImageHeight() == source.Height;
}

void CutStoredImage(TStoredImage& image, const std::optional<TMpIndex>& index,
                    std::span<const std::uint8_t> primary, const TCutSource& source,
                    const TTrimRect& rect, const TCutMode& mode,
                    const TEmbeddedPictureOptions& options) {
  const std::span<const std::uint8_t> bytes =
      source.Bytes.subspan(image.Range.Start, image.Range.End - image.Range.Start);
  const std::uint32_t type = index && image.MpEntry ? index->Entries[*image.MpEntry].Type() : 0;
  const bool sameSizeView =
      !image.GainMap && type >= kMpPanorama && type <= kMpMultiAngle && SameSize(bytes, source);
  const bool turned = !mode.Turn.IsIdentity();
  if ((image.GainMap || sameSizeView) && turned) {
    image.Result.clear();
  } else if (image.GainMap) {
    image.Result = CutGainMap(bytes, source, rect, options);
  } else if (type == kMpLargeThumbnailVga || type == kMpLargeThumbnailFullHd) {
    if (options.KeepThumbnails) {
      image.Result.assign(bytes.begin(), bytes.end());
    } else {
      // A turn of the whole picture turns its preview the same way, without loss and far sooner
      // than drawing it again; a cut draws it anew.
      const bool whole = rect == TTrimRect{0, 0, source.Width, source.Height};
      if (whole && turned) image.Result = TurnLosslessly(bytes, mode.Turn, mode.DropExif, options);
      if (image.Result.empty()) image.Result = DrawPreview(bytes, primary, mode, options);
    }
  } else if (sameSizeView) {
    image.Result = TrimLosslessly(bytes, rect, mode.DropExif, options);
  } else {
    image.Result.assign(bytes.begin(), bytes.end());
  }
}

// The primary's XMP directory given the stored images' new lengths.
void FollowInXmp(TStreamBytes& primary, const std::vector<TContainerItem>& items,
                 const std::vector<TStoredImage>& images) {
  if (items.empty()) return;
  std::vector<std::optional<std::uint64_t>> lengths(items.size());
  for (const TStoredImage& image : images) {
    if (image.Item) lengths[*image.Item] = image.Result.size();
  }
  for (const TSegment& segment : ReadHeaderLayout(primary)) {
    if (!SegmentIs(primary, segment, markers::kApp1, kXmpIdentifier)) continue;
    const std::string_view packet = XmpPacket(primary);
    std::string body(kXmpIdentifier);
    body += WithItemLengths(packet, items, lengths);
    if (body.size() > kMaxSegmentBody) return;
    ReplaceSegmentBody(primary, segment,
                       std::span(reinterpret_cast<const std::uint8_t*>(body.data()), body.size()));
    return;
  }
}

}  // namespace

void FollowTrim(TStreamBytes& trim, std::size_t imageEnd, const TCutSource& source,
                const TTrimRect& rect, const TCutMode& mode,
                const TEmbeddedPictureOptions& options) {
  // The main picture is most of the trim: it is taken over, not copied.
  const TBytes rest(trim.begin() + static_cast<std::ptrdiff_t>(imageEnd), trim.end());
  trim.resize(imageEnd);
  TStreamBytes primary = std::move(trim);
  const std::vector<TContainerItem> items = ReadContainerItems(XmpPacket(primary));
  std::vector<TStoredImage> images;
  const std::optional<TMpIndex> sourceIndex = ReadMpIndex(source.Bytes);
  if (options.StoredImages) {
    images = StoredImages(source, items);
    for (TStoredImage& image : images) {
      CutStoredImage(image, sourceIndex, primary, source, rect, mode, options);
    }
  }
  if (!options.KeepThumbnails) FollowInExif(primary, mode, options);
  if (options.StoredImages) FollowInXmp(primary, items, images);
  const std::optional<TMpIndex> index = options.StoredImages ? ReadMpIndex(primary) : std::nullopt;
  if (images.empty() && !index) {
    primary.insert(primary.end(), rest.begin(), rest.end());
    trim = std::move(primary);
    return;
  }
  // The images follow the main picture one after the other, then whatever the source kept after
  // the last of them. Entries of images the trim does not hold become empty.
  std::size_t sourceEnd = source.ImageEnd;
  for (const TStoredImage& image : images) sourceEnd = std::max(sourceEnd, image.Range.End);
  TStreamBytes& out = primary;
  if (index) {
    for (std::size_t i = 1; i < index->Entries.size(); ++i) PutMpEntry(out, *index, i, 0, 0);
    PutMpEntry(out, *index, 0, static_cast<std::uint32_t>(out.size()), 0);
  }
  for (const TStoredImage& image : images) {
    if (image.Result.empty()) continue;
    if (index && image.MpEntry && *image.MpEntry < index->Entries.size()) {
      PutMpEntry(out, *index, *image.MpEntry, static_cast<std::uint32_t>(image.Result.size()),
                 static_cast<std::uint32_t>(out.size() - index->Base));
    }
    out.insert(out.end(), image.Result.begin(), image.Result.end());
  }
  out.insert(out.end(), source.Bytes.begin() + static_cast<std::ptrdiff_t>(sourceEnd),
             source.Bytes.end());
  trim = std::move(out);
}

}  // namespace tarvo
