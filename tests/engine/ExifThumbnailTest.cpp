// The Exif thumbnail and size tags after a trim: drawn again from the trim, removed, or kept.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "EngineTestSupport.h"
#include "ExifThumbnail.h"
#include "JpegFixtures.h"
#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "LibjpegPictureMaker.h"
#include "OrientedTrim.h"
#include "TiffView.h"

namespace tarvo::testing {
namespace {

// The TIFF structure of jpeg's Exif segment.
Bytes ExifTiff(const Bytes& jpeg) {
  for (const TSegment& segment : ReadHeaderLayout(jpeg)) {
    if (SegmentIs(jpeg, segment, markers::kApp1, std::string_view("Exif\0\0", 6))) {
      return Bytes(jpeg.begin() + static_cast<std::ptrdiff_t>(segment.Body() + 6),
                   jpeg.begin() + static_cast<std::ptrdiff_t>(segment.End));
    }
  }
  return {};
}

// The value of tag in the IFD at ifd, if there.
std::optional<std::uint32_t> Tag(Bytes& tiff, std::uint32_t ifd, std::uint16_t tag) {
  const TTiffView view(tiff);
  for (int i = 0; i < view.EntryCount(ifd); ++i) {
    const std::uint32_t entry = TTiffView::Entry(ifd, i);
    if (view.Get16(entry) != tag) continue;
    return view.Get16(entry + 2) == 3 ? view.Get16(entry + 8) : view.Get32(entry + 8);
  }
  return std::nullopt;
}

// A 128 x 96 photo whose top left 32 x 32 is bright red, with an Exif thumbnail of it all.
Bytes RedCornerPhoto(bool little, bool strips) {
  const std::vector<std::uint8_t> rgb = RedCornerPixels(128, 96);
  fixtures::JpegOptions options;
  options.width = 128;
  options.height = 96;
  const Bytes whole = fixtures::MakeJpegFromPixels(options, rgb);
  const Bytes thumbnail =
      strips ? Bytes(4 * 3 * 3, 0xFF) : TLibjpegPictureMaker().Smaller(whole, 40, 30, whole);
  options.extraSegments = {fixtures::MakeExifWithThumbnail(little, 128, 96, thumbnail, strips)};
  return fixtures::MakeJpegFromPixels(options, rgb);
}

TEST(ExifThumbnail, FollowsTheTrimAndSizeTagsTellItInBothByteOrders) {
  const TLibjpegPictureMaker maker;
  // The source's own thumbnail shows the red corner.
  const Bytes sourceTiff = ExifTiff(RedCornerPhoto(true, false));
  const std::span<const std::uint8_t> sourceThumbnail = ExifJpegThumbnail(sourceTiff);
  ASSERT_TRUE(HasRed(fixtures::Decode(Bytes(sourceThumbnail.begin(), sourceThumbnail.end()))));
  struct Case {
    bool little, strips, withMaker, keep;
  };
  for (const Case c : {Case{true, false, true, false}, Case{false, false, true, false},
                       Case{true, true, true, false}, Case{false, false, false, false},
                       Case{true, false, true, true}}) {
    SCOPED_TRACE(::testing::Message() << c.little << c.strips << c.withMaker << c.keep);
    const Bytes source = RedCornerPhoto(c.little, c.strips);
    TJpegTrimming engine;
    engine.Pictures.Maker = c.withMaker ? &maker : nullptr;
    engine.Pictures.KeepThumbnails = c.keep;
    ASSERT_TRUE(engine.AnalyzeBytes(source));
    TByteStream output;
    ASSERT_TRUE(engine.Trim(output, {32, 32, 128, 96}, false));
    const Bytes trimmed = BytesOf(output);
    Bytes tiff = ExifTiff(trimmed);
    // IFD0 at 8, the Exif IFD at 50 and a second one linked from IFD1 all state 96 x 64.
    const std::uint32_t ifd1 = TTiffView(tiff).Get32(8 + 2 + 3 * 12);
    EXPECT_EQ(Tag(tiff, 8, 0x0100), 96u);
    EXPECT_EQ(Tag(tiff, 8, 0x0101), 64u);
    EXPECT_EQ(Tag(tiff, 50, 0xA002), 96u);
    EXPECT_EQ(Tag(tiff, 50, 0xA003), 64u);
    EXPECT_EQ(Tag(tiff, 80 + 2 + (c.strips ? 6 : 4) * 12 + 4, 0xA003), 64u);
    const std::span<const std::uint8_t> thumbnail = ExifJpegThumbnail(tiff);
    if (c.keep) {
      const Bytes old = ExifTiff(source);
      const auto kept = ExifJpegThumbnail(old);
      EXPECT_TRUE(std::equal(thumbnail.begin(), thumbnail.end(), kept.begin(), kept.end()));
    } else if (c.strips) {
      EXPECT_EQ(ifd1, 0u);  // IFD1 unlinked
      EXPECT_EQ(ExifThumbnailKind(tiff), TExifThumbnailKind::kNone);
    } else if (!c.withMaker) {
      EXPECT_TRUE(thumbnail.empty());
      EXPECT_EQ(ifd1, 0u);  // no IFD1 without its thumbnail's tags
    } else {
      const fixtures::Pixels pixels = fixtures::Decode(Bytes(thumbnail.begin(), thumbnail.end()));
      EXPECT_EQ(pixels.warnings, 0);
      // The old thumbnail's size class, 40 x 30, at the trim's aspect.
      EXPECT_EQ(pixels.width, 40);
      EXPECT_EQ(pixels.height, 27);
      EXPECT_FALSE(HasRed(pixels));
    }
  }
}

TEST(ExifThumbnail, IsDrawnAgainFromATurnedCut) {
  const TLibjpegPictureMaker maker;
  TJpegTrimming engine;
  engine.Pictures.Maker = &maker;
  ASSERT_TRUE(engine.AnalyzeBytes(RedCornerPhoto(true, false)));
  TByteStream output;
  TTurnLoss loss;
  ASSERT_TRUE(engine.TrimCut(
      output, Turned(WholePicture(engine.Grid(), kAsStored), kRotate90, engine.Grid(), loss),
      false));
  Bytes tiff = ExifTiff(BytesOf(output));
  EXPECT_EQ(Tag(tiff, 8, 0x0100), 96u);
  EXPECT_EQ(Tag(tiff, 8, 0x0101), 128u);
  const std::span<const std::uint8_t> thumbnail = ExifJpegThumbnail(tiff);
  const fixtures::Pixels pixels = fixtures::Decode(Bytes(thumbnail.begin(), thumbnail.end()));
  EXPECT_LT(pixels.width, pixels.height);
  // The red corner, stored top left, now lies top right.
  const auto red = [&pixels](int x) {
    const std::uint8_t* pixel = &pixels.samples[static_cast<std::size_t>(x) * 3];
    return pixel[0] > 200 && pixel[1] < 80 && pixel[2] < 80;
  };
  EXPECT_TRUE(red(pixels.width - 2));
  EXPECT_FALSE(red(1));
}

// A wiped red corner leaves no red in the thumbnail, even one the trim was asked to keep,
// whatever fill (a mosaic shows averages by design) or turn the wipe goes with.
TEST(ExifThumbnail, ShowsNoTraceOfAWipe) {
  const TLibjpegPictureMaker maker;
  struct Case {
    EWipeFill fill;
    bool keep;
    TOrientation turn;
  };
  for (const Case c :
       {Case{EWipeFill::kGrey, true, kAsStored}, Case{EWipeFill::kFlat, false, kAsStored},
        Case{EWipeFill::kFlat, true, kRotate90}}) {
    SCOPED_TRACE(static_cast<int>(c.fill));
    TJpegTrimming engine;
    engine.Pictures.Maker = &maker;
    engine.Pictures.KeepThumbnails = c.keep;
    ASSERT_TRUE(engine.AnalyzeBytes(RedCornerPhoto(true, false)));
    engine.Wipes = {{{0, 0, 32, 32}, c.fill}};
    TByteStream output;
    TTurnLoss loss;
    ASSERT_TRUE(engine.TrimCut(
        output, Turned(WholePicture(engine.Grid(), kAsStored), c.turn, engine.Grid(), loss),
        false));
    const Bytes tiff = ExifTiff(BytesOf(output));
    const std::span<const std::uint8_t> thumbnail = ExifJpegThumbnail(tiff);
    ASSERT_FALSE(thumbnail.empty());
    EXPECT_FALSE(HasRed(fixtures::Decode(Bytes(thumbnail.begin(), thumbnail.end()))));
  }
}

// Pictures drawn from the same cut, one from its blocks' DC values and one from its pixels, agree
// but for rounding and chroma upsampling.
void ExpectAlike(const Bytes& fromBlocks, const Bytes& fromPixels) {
  const fixtures::Pixels a = fixtures::Decode(fromBlocks);
  const fixtures::Pixels b = fixtures::Decode(fromPixels);
  ASSERT_EQ(a.width, b.width);
  ASSERT_EQ(a.height, b.height);
  ASSERT_EQ(a.samples.size(), b.samples.size());
  int worst = 0;
  double total = 0;
  for (std::size_t i = 0; i < a.samples.size(); ++i) {
    const int difference = std::abs(a.samples[i] - b.samples[i]);
    worst = std::max(worst, difference);
    total += difference;
  }
  EXPECT_LE(worst, 24);
  EXPECT_LE(total / static_cast<double>(a.samples.size()), 1.5);
}

// A cut large enough for an eighth of it to fill the thumbnail's box, or a VGA preview's, gets
// them from the decoded blocks' DC values; they must look as drawn from the cut's pixels do, over
// every mapping of blocks to the cut: cropped off the grid's origin, turned, mirrored. 4:2:2
// chroma is halved across only, so turning its blocks also changes its sampling.
TEST(ExifThumbnail, DrawnFromTheBlocksLooksAsDrawnFromTheCut) {
  const TLibjpegPictureMaker maker;
  fixtures::JpegOptions options;
  options.width = 1296;
  options.height = 1000;
  options.sampling = fixtures::Sampling::k422;
  // Whatever the old thumbnail and preview show is drawn anew, the thumbnail in its size class.
  fixtures::JpegOptions old;
  old.width = 160;
  old.height = 120;
  options.extraSegments = {
      fixtures::MakeExifWithThumbnail(true, 1296, 1000, fixtures::MakeJpeg(old), false)};
  fixtures::JpegOptions preview;
  preview.width = 120;
  preview.height = 90;
  TJpegTrimming engine;
  engine.Pictures.Maker = &maker;
  ASSERT_TRUE(
      engine.AnalyzeBytes(fixtures::MakeMpfJpeg(options, fixtures::MakeJpeg(preview), true)));
  const TMcuGrid grid = engine.Grid();
  TTurnLoss loss;
  const TOrientedTrim whole = WholePicture(grid, kAsStored);
  for (const TOrientedTrim& cut :
       {Trimmed(whole, {16, 32, 1296, 1000}, grid), Turned(whole, kRotate90, grid, loss),
        Trimmed(Turned(whole, kTransverse, grid, loss), {0, 16, 990, 1290}, grid)}) {
    SCOPED_TRACE(cut.Width());
    TByteStream output;
    ASSERT_TRUE(engine.TrimCut(output, cut, false));
    const Bytes trimmed = BytesOf(output);
    const Bytes tiff = ExifTiff(trimmed);
    const std::span<const std::uint8_t> thumbnail = ExifJpegThumbnail(tiff);
    const bool wide = cut.Width() >= cut.Height();
    ExpectAlike(Bytes(thumbnail.begin(), thumbnail.end()),
                maker.Smaller(trimmed, wide ? 160 : 120, wide ? 120 : 160, trimmed));
    // The preview is the file's last picture; coded data never holds an SOI.
    const Bytes soi{0xFF, 0xD8, 0xFF};
    const auto last = std::find_end(trimmed.begin(), trimmed.end(), soi.begin(), soi.end());
    ExpectAlike(Bytes(last, trimmed.end()), maker.Smaller(trimmed, 120, 120, trimmed));
  }
}

TEST(ExifThumbnail, ThatWouldNotFitIsRemovedAndTheOldBytesAreZeroed) {
  Bytes segment = fixtures::MakeExifWithThumbnail(true, 64, 48, Bytes(100, 0xAB), false);
  Bytes tiff(segment.begin() + 10, segment.end());
  // A thumbnail in the middle of the structure cannot be cut off: its bytes are cleared.
  tiff.insert(tiff.end(), 10, 0x11);
  const Bytes picture(150, 0xCD);
  EXPECT_LT(ExifThumbnailRoom(tiff, tiff.size() + 49), picture.size());
  ReplaceExifThumbnail(tiff, picture, tiff.size() + 49);
  EXPECT_EQ(ExifThumbnailKind(tiff), TExifThumbnailKind::kNone);
  EXPECT_EQ(TTiffView(tiff).Get32(8 + 2 + 3 * 12), 0u);  // IFD1 unlinked
  EXPECT_EQ(std::count(tiff.begin(), tiff.end(), 0xAB), 0);
  EXPECT_EQ(std::count(tiff.begin(), tiff.end(), 0xCD), 0);
}

// A segment already at its limit keeps a new thumbnail where the old one was, or in the zero
// bytes that pad its end, as cameras leave them; in both byte orders.
TEST(ExifThumbnail, FitsInTheOldPlaceOrThePaddingOfAFullSegment) {
  struct Case {
    bool little;
    std::size_t padding, picture;
  };
  for (const Case c :
       {Case{true, 400, 80}, Case{false, 0, 100}, Case{true, 400, 300}, Case{false, 400, 450}}) {
    SCOPED_TRACE(::testing::Message() << c.little << " " << c.padding << " " << c.picture);
    Bytes segment = fixtures::MakeExifWithThumbnail(c.little, 64, 48, Bytes(100, 0xAB), false);
    Bytes tiff(segment.begin() + 10, segment.end());
    tiff.insert(tiff.end(), c.padding, 0);
    const std::size_t size = tiff.size();
    Bytes picture(c.picture, 0xCD);
    picture.front() = 0xFF;
    ASSERT_GE(ExifThumbnailRoom(tiff, size), picture.size());
    ReplaceExifThumbnail(tiff, picture, size);
    const std::span<const std::uint8_t> kept = ExifJpegThumbnail(tiff);
    EXPECT_TRUE(std::equal(kept.begin(), kept.end(), picture.begin(), picture.end()));
    EXPECT_LE(tiff.size(), size);
    EXPECT_EQ(std::count(tiff.begin(), tiff.end(), 0xAB), 0);
  }
}

}  // namespace
}  // namespace tarvo::testing
