// The images stored after the first one, after a trim: MPF previews drawn again, views and gain
// maps cut with the picture, and the entries and directory lengths finding each of them.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <string>

#include "EngineTestSupport.h"
#include "ExifThumbnail.h"
#include "JpegFixtures.h"
#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "JpegTrimming.h"
#include "LibjpegPictureMaker.h"
#include "MpfRewrite.h"
#include "OrientedTrim.h"
#include "XmpContainer.h"

namespace tarvo::testing {
namespace {

// A MakeMpfJpeg file's MP header, and its entries' fields (fixed layout: header, an IFD of three
// entries, the next-IFD offset, then the entries), read in the file's byte order.
struct MpEntries {
  std::size_t base = 0;
  std::uint32_t firstSize = 0, previewSize = 0, previewOffset = 0;
  MpEntries(const Bytes& jpeg, bool little) {
    const Bytes tag = {'M', 'P', 'F', 0};
    base = static_cast<std::size_t>(std::search(jpeg.begin(), jpeg.end(), tag.begin(), tag.end()) -
                                    jpeg.begin()) +
           4;
    const auto get = [&](std::size_t at) {
      std::uint32_t value = 0;
      for (int k = 0; k < 4; ++k)
        value |= std::uint32_t{jpeg[base + at + k]} << 8 * (little ? k : 3 - k);
      return value;
    };
    firstSize = get(50 + 4);
    previewSize = get(50 + 16 + 4);
    previewOffset = get(50 + 16 + 8);
  }
  // The second image as the entries place it.
  Bytes Second(const Bytes& jpeg) const {
    const auto at = jpeg.begin() + static_cast<std::ptrdiff_t>(base + previewOffset);
    return Bytes(at, at + previewSize);
  }
};

Bytes Preview() {
  fixtures::JpegOptions options;
  options.width = 24;
  options.height = 16;
  options.seed = 7;
  return fixtures::MakeJpeg(options);
}

// Padding bytes before the preview, counted in the first entry's size, as some writers do.
Bytes MpfSource(bool little, const Bytes& preview, std::uint32_t attribute = 0x00010001) {
  fixtures::JpegOptions options;
  options.width = 64;
  options.height = 48;
  // An Exif segment before the MPF one: dropping it moves the MP header.
  options.extraSegments.push_back(fixtures::MakeExifSegment(true, 64, 48));
  return fixtures::MakeMpfJpeg(options, preview, little, attribute, 5);
}

enum class Mode { kMaker, kKeep, kNoMaker };

TEST(MpfRewrite, EntriesFindEachKeptImageInBothByteOrders) {
  const Bytes preview = Preview();
  const TLibjpegPictureMaker maker;
  for (const bool little : {true, false}) {
    for (const Mode mode : {Mode::kMaker, Mode::kKeep, Mode::kNoMaker}) {
      TJpegTrimming engine;
      engine.Pictures.Maker = mode == Mode::kNoMaker ? nullptr : &maker;
      engine.Pictures.KeepThumbnails = mode == Mode::kKeep;
      ASSERT_TRUE(engine.AnalyzeBytes(MpfSource(little, preview)));
      TByteStream output;
      for (const bool dropExif : {false, true}) {
        SCOPED_TRACE(::testing::Message() << little << static_cast<int>(mode) << dropExif);
        ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, dropExif));
        const Bytes trimmed = BytesOf(output);
        const MpEntries entries(trimmed, little);
        if (mode == Mode::kNoMaker) {
          // A preview that cannot be drawn again is left out rather than show the whole picture.
          EXPECT_EQ(entries.firstSize, trimmed.size());
          EXPECT_EQ(entries.previewSize, 0u);
          EXPECT_EQ(entries.previewOffset, 0u);
          continue;
        }
        // The preview follows the first image at once and ends the file.
        EXPECT_EQ(entries.base + entries.previewOffset, entries.firstSize);
        EXPECT_EQ(entries.firstSize + entries.previewSize, trimmed.size());
        const Bytes second = entries.Second(trimmed);
        if (mode == Mode::kKeep) {
          EXPECT_EQ(second, preview);
        } else {
          // Its old longer side, 24, with the trim's aspect.
          const fixtures::Pixels pixels = fixtures::Decode(second);
          EXPECT_EQ(pixels.warnings, 0);
          EXPECT_EQ(pixels.width, 24);
          EXPECT_EQ(pixels.height, 19);
        }
      }
    }
  }
}

// An entry of size and offset 0 stands for an image the file does not hold: it stays so, and
// the others are still rewritten.
TEST(MpfRewrite, EntriesOfImagesNotHeldStayEmpty) {
  Bytes file = MpfSource(false, Preview());
  const std::size_t base = MpEntries(file, false).base;
  std::fill_n(file.begin() + static_cast<std::ptrdiff_t>(base + 50 + 16 + 4), 8, 0);
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(file));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
  const Bytes trimmed = BytesOf(output);
  const MpEntries entries(trimmed, false);
  // What followed the first image (padding, then the preview) stays after it.
  EXPECT_EQ(entries.firstSize, trimmed.size() - 5 - Preview().size());
  EXPECT_EQ(entries.previewSize, 0u);
  EXPECT_EQ(entries.previewOffset, 0u);
}

TEST(MpfRewrite, EntriesThatMissTheirImageAreFoundAgain) {
  const Bytes preview = Preview();
  const Bytes good = MpfSource(true, preview);
  const std::size_t base = MpEntries(good, true).base;
  struct Damage {
    std::size_t at;  // a little-endian field of the entries
    std::int64_t add;
  };
  // The first image's size and offset, the preview's offset a few bytes before its SOI (into
  // the padding) and its size far past the file's end.
  for (const Damage d : {Damage{50 + 4, 1}, Damage{50 + 8, 1}, Damage{50 + 16 + 8, -3},
                         Damage{50 + 16 + 4, 1 << 24}}) {
    Bytes file = good;
    std::int64_t value = 0;
    for (int k = 0; k < 4; ++k) value |= std::int64_t{file[base + d.at + k]} << 8 * k;
    value += d.add;
    for (int k = 0; k < 4; ++k) file[base + d.at + k] = static_cast<std::uint8_t>(value >> 8 * k);
    TJpegTrimming engine;
    engine.Pictures.KeepThumbnails = true;
    ASSERT_TRUE(engine.AnalyzeBytes(file));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
    const Bytes trimmed = BytesOf(output);
    const MpEntries entries(trimmed, true);
    EXPECT_EQ(entries.base + entries.previewOffset, entries.firstSize) << d.at;
    EXPECT_EQ(entries.Second(trimmed), preview) << d.at;
  }
  // A segment that is no MP header at all (byte order "HI") is copied as it is.
  Bytes file = good;
  file[base] ^= 0x01;
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(file));
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
  const Bytes segment(file.begin() + static_cast<std::ptrdiff_t>(base) - 8,
                      file.begin() + static_cast<std::ptrdiff_t>(base) + 50 + 32);
  const Bytes trimmed = BytesOf(output);
  EXPECT_NE(std::search(trimmed.begin(), trimmed.end(), segment.begin(), segment.end()),
            trimmed.end());
}

// A turn of the whole picture turns a preview of whole MCUs without loss, the way the main picture
// turns; one of partial MCUs, or a cut, has its preview drawn again at the size that fits.
TEST(MpfRewrite, AWholeTurnTurnsThePreviewLosslessly) {
  const TLibjpegPictureMaker maker;
  fixtures::JpegOptions wholeMcus;
  wholeMcus.width = 32;
  wholeMcus.height = 16;
  const Bytes lossless = fixtures::MakeJpeg(wholeMcus);
  struct Case {
    Bytes preview;
    bool cropped;
    int width, height;  // of the preview in the trim
  };
  for (const Case& c : {Case{lossless, false, 16, 32}, Case{Preview(), false, 18, 24},
                        Case{lossless, true, 32, 32}}) {
    TJpegTrimming engine;
    engine.Pictures.Maker = &maker;
    ASSERT_TRUE(engine.AnalyzeBytes(MpfSource(true, c.preview)));
    TTurnLoss loss;
    TOrientedTrim cut =
        Turned(WholePicture(engine.Grid(), kAsStored), kRotate90, engine.Grid(), loss);
    if (c.cropped) cut = Trimmed(cut, {0, 0, 48, 48}, engine.Grid());
    TByteStream output;
    ASSERT_TRUE(engine.TrimCut(output, cut, false));
    const Bytes trimmed = BytesOf(output);
    const Bytes stored = MpEntries(trimmed, true).Second(trimmed);
    const fixtures::Pixels pixels = fixtures::Decode(stored);
    EXPECT_EQ(pixels.width, c.width);
    EXPECT_EQ(pixels.height, c.height);
    if (c.preview != lossless || c.cropped) continue;
    TJpegTrimming alone;
    ASSERT_TRUE(alone.AnalyzeBytes(lossless));
    TByteStream turned;
    ASSERT_TRUE(alone.TrimCut(
        turned, Turned(WholePicture(alone.Grid(), kAsStored), kRotate90, alone.Grid(), loss),
        false));
    const Bytes expected = BytesOf(turned);
    // After the MPF segment that WithMetadataOf would add, the turned picture's own bytes.
    EXPECT_TRUE(
        std::equal(expected.begin() + 2, expected.end(), stored.end() - (expected.size() - 2)));
  }
}

TEST(MpfRewrite, ViewsOfTheSameSizeAreCutToTheSameRectangle) {
  fixtures::JpegOptions options;
  options.width = 64;
  options.height = 48;
  options.seed = 9;
  const Bytes view = fixtures::MakeJpeg(options);
  TJpegTrimming alone;
  ASSERT_TRUE(alone.AnalyzeBytes(view));
  TByteStream expected;
  ASSERT_TRUE(alone.Trim(expected, {16, 16, 45, 39}, false));
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeBytes(MpfSource(true, view, 0x00020002)));  // disparity
  TByteStream output;
  ASSERT_TRUE(engine.Trim(output, {16, 16, 45, 39}, false));
  const Bytes trimmed = BytesOf(output);
  EXPECT_EQ(MpEntries(trimmed, true).Second(trimmed), BytesOf(expected));
}

// An Ultra HDR-style file: a primary whose XMP directory lists a gain map of a quarter its size,
// stored after it and listed in its MPF segment.
struct HdrFile {
  Bytes file, map;
};

Bytes XmpSegment(const std::string& packet) {
  const std::string text = std::string(kXmpIdentifier) + packet;
  Bytes segment(4 + text.size());
  segment[0] = 0xFF;
  segment[1] = 0xE1;
  segment[2] = static_cast<std::uint8_t>((text.size() + 2) >> 8);
  segment[3] = static_cast<std::uint8_t>(text.size() + 2);
  std::copy(text.begin(), text.end(), segment.begin() + 4);
  return segment;
}

HdrFile UltraHdr() {
  HdrFile hdr;
  std::vector<std::uint8_t> smooth(32 * 24 * 3);
  for (std::size_t i = 0; i < smooth.size(); ++i) {
    const std::size_t pixel = i / 3;
    smooth[i] = static_cast<std::uint8_t>(60 + 4 * (pixel % 32) + 3 * (pixel / 32));
  }
  fixtures::JpegOptions mapOptions;
  mapOptions.width = 32;
  mapOptions.height = 24;
  mapOptions.sampling = fixtures::Sampling::kGrey;
  mapOptions.writeJfif = false;
  mapOptions.extraSegments = {
      XmpSegment("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF><rdf:Description "
                 "xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" hdrgm:Version=\"1.0\" "
                 "hdrgm:GainMapMax=\"2.0\"/></rdf:RDF></x:xmpmeta>")};
  hdr.map = fixtures::MakeJpegFromPixels(mapOptions, smooth);
  fixtures::JpegOptions options;
  options.width = 128;
  options.height = 96;
  options.extraSegments = {XmpSegment(
      "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF><rdf:Description "
      "xmlns:Container=\"http://ns.google.com/photos/1.0/container/\" "
      "xmlns:Item=\"http://ns.google.com/photos/1.0/container/item/\"><Container:Directory>"
      "<rdf:Seq><rdf:li rdf:parseType=\"Resource\"><Container:Item Item:Semantic=\"Primary\" "
      "Item:Mime=\"image/jpeg\"/></rdf:li><rdf:li rdf:parseType=\"Resource\"><Container:Item "
      "Item:Semantic=\"GainMap\" Item:Mime=\"image/jpeg\" Item:Length=\"" +
      std::to_string(hdr.map.size()) +
      "\"/></rdf:li></rdf:Seq></Container:Directory></rdf:Description></rdf:RDF></x:xmpmeta>")};
  hdr.file = fixtures::MakeMpfJpeg(options, hdr.map, true, 0);
  return hdr;
}

double Psnr(const fixtures::Pixels& a, const fixtures::Pixels& b, int left, int top) {
  double error = 0;
  for (int y = 0; y < a.height; ++y) {
    for (int x = 0; x < a.width; ++x) {
      const double d = a.samples[static_cast<std::size_t>(y) * a.width + x] -
                       b.samples[static_cast<std::size_t>(y + top) * b.width + x + left];
      error += d * d;
    }
  }
  error /= a.width * a.height;
  return error == 0 ? 99 : 10 * std::log10(255.0 * 255.0 / error);
}

TEST(MpfRewrite, GainMapIsCutToTheSameRegion) {
  const HdrFile hdr = UltraHdr();
  const fixtures::Pixels wholeMap = fixtures::Decode(hdr.map);
  const TLibjpegPictureMaker maker;
  struct Case {
    TTrimRect rect;
    TTrimRect mapRegion;
    bool lossless;
  };
  // A quarter of 64, 32 falls on the map's 8 x 8 grid; a quarter of 16 does not.
  for (const Case c : {Case{{64, 32, 128, 96}, {16, 8, 32, 24}, true},
                       Case{{16, 16, 112, 80}, {4, 4, 28, 20}, false}}) {
    TJpegTrimming engine;
    engine.Pictures.Maker = &maker;
    ASSERT_TRUE(engine.AnalyzeBytes(hdr.file));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, c.rect, false));
    const Bytes trimmed = BytesOf(output);
    const MpEntries entries(trimmed, true);
    const Bytes map = entries.Second(trimmed);
    EXPECT_EQ(entries.firstSize + map.size(), trimmed.size());
    const std::string text(trimmed.begin(), trimmed.end());
    EXPECT_NE(text.find("Item:Length=\"" + std::to_string(map.size()) + "\""), std::string::npos);
    // The map keeps its own metadata.
    EXPECT_NE(std::string(map.begin(), map.end()).find("hdrgm:GainMapMax=\"2.0\""),
              std::string::npos);
    const fixtures::Pixels cut = fixtures::Decode(map);
    EXPECT_EQ(cut.warnings, 0);
    ASSERT_EQ(cut.width, c.mapRegion.Right - c.mapRegion.Left);
    ASSERT_EQ(cut.height, c.mapRegion.Bottom - c.mapRegion.Top);
    if (c.lossless) {
      const Bytes reference = fixtures::LibjpegCrop(hdr.map, 16, 8, 16, 16);
      EXPECT_EQ(cut.samples, fixtures::Decode(reference).samples);
    } else {
      EXPECT_GE(Psnr(cut, wholeMap, c.mapRegion.Left, c.mapRegion.Top), 40.0);
    }
  }
}

// Every JPEG a cut carries inside it (the Exif thumbnail, each image the MP entries place) as
// libjpeg sees it, found through the cut's own tags rather than the fixture's layout.
std::vector<Bytes> EmbeddedJpegs(const Bytes& jpeg) {
  std::vector<Bytes> found;
  for (const TSegment& segment : ReadHeaderLayout(jpeg)) {
    if (!SegmentIs(jpeg, segment, markers::kApp1, std::string_view("Exif\0\0", 6))) continue;
    const std::span<const std::uint8_t> tiff(jpeg.data() + segment.Body() + 6,
                                             jpeg.data() + segment.End);
    const std::span<const std::uint8_t> thumbnail = ExifJpegThumbnail(tiff);
    if (!thumbnail.empty()) found.emplace_back(thumbnail.begin(), thumbnail.end());
  }
  if (const std::optional<TMpIndex> index = ReadMpIndex(jpeg)) {
    for (std::size_t i = 1; i < index->Entries.size(); ++i) {
      if (index->Absent(i)) continue;
      const std::size_t start = index->Base + index->Entries[i].Offset;
      EXPECT_LE(start + index->Entries[i].Size, jpeg.size()) << "entry " << i;
      if (start + index->Entries[i].Size > jpeg.size()) continue;
      found.emplace_back(
          jpeg.begin() + static_cast<std::ptrdiff_t>(start),
          jpeg.begin() + static_cast<std::ptrdiff_t>(start + index->Entries[i].Size));
    }
  }
  return found;
}

// A wipe reaches every copy of the picture: a preview of the picture's shape is wiped at its own
// scale, one of another shape (bars beside the picture) drawn anew from the wiped picture, and
// a gain map given one gain over the region, the gain around it.
TEST(MpfRewrite, AWipeReachesThePreviewsAndTheGainMap) {
  const TLibjpegPictureMaker maker;
  const auto wiped = [&maker](const Bytes& file, const TTrimRect& region, EWipeFill fill) {
    TJpegTrimming engine;
    engine.Pictures.Maker = &maker;
    EXPECT_TRUE(engine.AnalyzeBytes(file));
    engine.Wipes = {{region, fill}};
    TByteStream output;
    EXPECT_TRUE(engine.TrimCut(output, WholePicture(engine.Grid(), kAsStored), false));
    const std::vector<Bytes> embedded = EmbeddedJpegs(BytesOf(output));
    return embedded.empty() ? fixtures::Pixels{} : fixtures::Decode(embedded.back());
  };
  fixtures::JpegOptions sameShape;
  sameShape.width = 32;
  sameShape.height = 24;
  for (const Bytes& preview : {fixtures::MakeJpeg(sameShape), Preview()}) {
    // The middle of the picture, 16..48 x 16..40, is the middle of the preview.
    const fixtures::Pixels pixels =
        wiped(MpfSource(true, preview), {16, 16, 48, 40}, EWipeFill::kGrey);
    ASSERT_GT(pixels.width, 0);
    const std::size_t middle =
        (static_cast<std::size_t>(pixels.height / 2) * pixels.width + pixels.width / 2) * 3;
    for (std::size_t c = 0; c < 3; ++c) EXPECT_NEAR(pixels.samples[middle + c], 128, 12);
  }
  // The map's 8 x 8 blocks under 32..96 x 24..72 of the 128 x 96 picture: columns 8..24, all
  // its rows.
  const fixtures::Pixels map = wiped(UltraHdr().file, {32, 24, 96, 72}, EWipeFill::kGrey);
  ASSERT_EQ(map.width, 32);
  for (int y = 0; y < 24; ++y) {
    for (int x = 8; x < 24; ++x) {
      EXPECT_EQ(map.samples[static_cast<std::size_t>(y) * 32 + x], map.samples[8]) << x << "," << y;
    }
  }
}

TEST(MpfRewrite, EveryEmbeddedPictureOfACutDecodesCleanly) {
  const TLibjpegPictureMaker maker;
  fixtures::JpegOptions options;
  options.width = 128;
  options.height = 96;
  const Bytes whole = fixtures::MakeJpeg(options);
  options.extraSegments = {fixtures::MakeExifWithThumbnail(
      false, 128, 96, maker.Smaller(whole, 160, 120, whole), false)};
  const Bytes thumbnailAndPreview = fixtures::MakeMpfJpeg(options, Preview(), false);
  // The fuzz seed's first five bytes steer the fuzzer; the JPEG follows them.
  Bytes seed = fixtures::ReadFile(TARVO_CORPUS_DIR "/seed-420-mpf-preview");
  seed.erase(seed.begin(), seed.begin() + 5);
  struct Case {
    const char* name;
    Bytes file;
    std::size_t pictures;  // what every cut of it carries
  };
  for (const Case& c : {Case{"preview, little-endian", MpfSource(true, Preview()), 1},
                        Case{"preview, big-endian", MpfSource(false, Preview()), 1},
                        Case{"thumbnail and preview", thumbnailAndPreview, 2},
                        Case{"gain map", UltraHdr().file, 1}, Case{"fuzz seed", seed, 1}}) {
    TJpegTrimming engine;
    engine.Pictures.Maker = &maker;
    ASSERT_TRUE(engine.AnalyzeBytes(c.file)) << c.name;
    for (const TTrimRect rect :
         {TTrimRect{0, 0, 48, 32}, TTrimRect{16, 16, 45, 31}, TTrimRect{32, 16, 48, 24}}) {
      SCOPED_TRACE(::testing::Message() << c.name << " " << rect.Left << "," << rect.Top << " "
                                        << rect.Right << "," << rect.Bottom);
      TByteStream output;
      ASSERT_TRUE(engine.Trim(output, rect, false));
      const std::vector<Bytes> pictures = EmbeddedJpegs(BytesOf(output));
      EXPECT_EQ(pictures.size(), c.pictures);
      for (const Bytes& picture : pictures) {
        const fixtures::Pixels pixels = fixtures::Decode(picture);
        EXPECT_EQ(pixels.warnings, 0);
        // No picture shows more than the cut, and a thumbnail stays within 160 x 120.
        EXPECT_GT(pixels.width, 0);
        EXPECT_GT(pixels.height, 0);
        EXPECT_LE(pixels.width, std::min(rect.Right - rect.Left, 160));
        EXPECT_LE(pixels.height, std::min(rect.Bottom - rect.Top, 120));
      }
    }
  }
}

enum class Stored { kPreview, kView, kGainMap };

// A 128 x 96 picture whose top left 32 x 32 is bright, with an Exif thumbnail and, after it, a
// preview, another view of the same size, or a grey gain map whose own top left is bright.
Bytes CornerFile(bool little, Stored stored) {
  std::vector<std::uint8_t> rgb = fixtures::PhotoPixels(128, 96, 5);
  // The photo kept dim, so that nothing but the corner comes near white.
  for (std::uint8_t& sample : rgb) sample = static_cast<std::uint8_t>(40 + sample * 100 / 255);
  for (int y = 0; y < 32; ++y) {
    std::fill_n(rgb.begin() + static_cast<std::ptrdiff_t>(y * 128 * 3), 32 * 3, 255);
  }
  fixtures::JpegOptions options;
  options.width = 128;
  options.height = 96;
  options.pixels = rgb;
  const Bytes whole = fixtures::MakeJpeg(options);
  const TLibjpegPictureMaker maker;
  options.extraSegments = {
      fixtures::MakeExifWithThumbnail(little, 128, 96, maker.Smaller(whole, 40, 30, whole), false)};
  if (stored == Stored::kPreview) {
    return fixtures::MakeMpfJpeg(options, maker.Smaller(whole, 48, 48, whole), little);
  }
  if (stored == Stored::kView) return fixtures::MakeMpfJpeg(options, whole, little, 0x00020002);
  std::vector<std::uint8_t> grey(32 * 24 * 3, 100);
  for (int y = 0; y < 8; ++y) {
    std::fill_n(grey.begin() + static_cast<std::ptrdiff_t>(y * 32 * 3), 8 * 3, 255);
  }
  fixtures::JpegOptions mapOptions;
  mapOptions.width = 32;
  mapOptions.height = 24;
  mapOptions.sampling = fixtures::Sampling::kGrey;
  mapOptions.extraSegments = {
      XmpSegment("<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF><rdf:Description "
                 "xmlns:hdrgm=\"http://ns.adobe.com/hdr-gain-map/1.0/\" "
                 "hdrgm:Version=\"1.0\"/></rdf:RDF></x:xmpmeta>")};
  return fixtures::MakeMpfJpeg(options, fixtures::MakeJpegFromPixels(mapOptions, grey), little, 0);
}

// Every cut and turn that takes the bright corner away keeps each picture the file stores, found
// through the cut's own entries: each decodes cleanly, none is larger than the cut, none shows
// the corner.
TEST(MpfRewrite, EveryPictureFollowsCutsAndTurns) {
  const TLibjpegPictureMaker maker;
  for (const bool little : {true, false}) {
    for (const Stored stored : {Stored::kPreview, Stored::kView, Stored::kGainMap}) {
      TJpegTrimming engine;
      engine.Pictures.Maker = &maker;
      ASSERT_TRUE(engine.AnalyzeBytes(CornerFile(little, stored)));
      const TMcuGrid grid = engine.Grid();
      for (const TOrientation turn :
           {kAsStored, kRotate90, kRotate180, kMirrorHorizontal, kTransposed}) {
        for (const TTrimRect rect :
             {TTrimRect{32, 32, 128, 96}, TTrimRect{48, 16, 128, 96}, TTrimRect{32, 0, 128, 96}}) {
          SCOPED_TRACE(::testing::Message()
                       << little << static_cast<int>(stored) << " turn " << turn.ExifValue() << " "
                       << rect.Left << "," << rect.Top);
          TTurnLoss loss;
          const TOrientedTrim cut =
              Turned(Within(WholePicture(grid, kAsStored), rect), turn, grid, loss);
          TByteStream output;
          ASSERT_TRUE(engine.TrimCut(output, cut, false));
          const std::vector<Bytes> pictures = EmbeddedJpegs(BytesOf(output));
          ASSERT_EQ(pictures.size(), 2u);
          for (const Bytes& picture : pictures) {
            const fixtures::Pixels pixels = fixtures::Decode(picture);
            EXPECT_EQ(pixels.warnings, 0);
            EXPECT_LE(pixels.width, cut.Width());
            EXPECT_LE(pixels.height, cut.Height());
            EXPECT_LT(*std::max_element(pixels.samples.begin(), pixels.samples.end()), 235);
          }
        }
      }
    }
  }
}

}  // namespace
}  // namespace tarvo::testing
