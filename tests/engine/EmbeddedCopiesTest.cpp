// The copies of the picture a file embeds besides the Exif thumbnail follow a cut: each is drawn
// again from the cut or left out, and everything around it stays as it was.
#include <gtest/gtest.h>

#include <atomic>
#include <random>
#include <string>

#include "EngineTestSupport.h"
#include "JpegModelReader.h"
#include "LibjpegPictureMaker.h"
#include "TiffView.h"
#include "metadata/CutDrawing.h"
#include "metadata/JfxxThumbnail.h"
#include "metadata/MakerNotePreviews.h"
#include "metadata/MetadataAhead.h"
#include "metadata/PhotoshopResources.h"
#include "metadata/TrailingPictures.h"
#include "metadata/XmpThumbnails.h"

namespace tarvo::testing {
namespace {

using TSpan = std::span<const std::uint8_t>;

// A source whose top left corner is red, a cut that leaves the corner out, and an old copy of
// the whole source, as the file's thumbnails and previews hold it.
struct TCopies {
  TLibjpegPictureMaker maker;
  Bytes source = [] {
    fixtures::JpegOptions options;
    options.width = 128;
    options.height = 96;
    return fixtures::MakeJpegFromPixels(options, RedCornerPixels(128, 96));
  }();
  Bytes cut = fixtures::LibjpegCrop(source, 48, 32, 80, 64);
  Bytes old = fixtures::RedCornerThumbnail();
  TDrawCut draw = [this](int width, int height, TSpan like, std::size_t budget) {
    return maker.Smaller(cut, width, height, like, budget);
  };
  // No maker: nothing can be drawn.
  TDrawCut none = [](int, int, TSpan, std::size_t) { return Bytes{}; };
};

// A picture of the cut: whole, decoded without a warning, not showing the red corner.
void ExpectCutPicture(TSpan bytes, int maxWidth = 0) {
  const std::optional<TJpegExtent> extent = FindJpegExtent(bytes);
  ASSERT_TRUE(extent);
  const fixtures::Pixels pixels =
      fixtures::Decode(Bytes(bytes.begin(), bytes.begin() + extent->End));
  EXPECT_EQ(pixels.warnings, 0);
  EXPECT_FALSE(HasRed(pixels));
  if (maxWidth > 0) {
    EXPECT_LE(pixels.width, maxWidth);
  }
}

Bytes Word32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

using fixtures::MakeMakerNoteExif;
using fixtures::PhotoshopResource;
using fixtures::PhotoshopThumbnail;

TEST(EmbeddedCopies, PhotoshopThumbnailFollowsTheCutAndOtherResourcesStayByteForByte) {
  const TCopies copies;
  const Bytes iptc =
      PhotoshopResource(0x0404, "", Bytes{0x1C, 0x02, 0x05, 0x00, 0x03, 'S', 'e', 'a'});
  const Bytes resolution = PhotoshopResource(0x03ED, "res", Bytes(16, 0x48));
  const Bytes later = PhotoshopResource(0x0422, "", Bytes(5, 0x7A));
  const Bytes resources = Concat({iptc, resolution, PhotoshopThumbnail(0x040C, copies.old),
                                  PhotoshopThumbnail(0x0409, copies.old), later});
  // Written over two segments, split inside the thumbnail.
  const auto body = [](TSpan part) {
    return Concat({Bytes(kPhotoshopIdentifier.begin(), kPhotoshopIdentifier.end()),
                   Bytes(part.begin(), part.end())});
  };
  const Bytes first = body(TSpan(resources).first(100));
  const Bytes second = body(TSpan(resources).subspan(100));
  for (const bool drawn : {true, false}) {
    SCOPED_TRACE(drawn);
    const auto out =
        FollowCutInPhotoshopResources({first, second}, drawn ? copies.draw : copies.none);
    Bytes joined;
    for (const Bytes& segment : out) {
      ASSERT_TRUE(
          std::equal(kPhotoshopIdentifier.begin(), kPhotoshopIdentifier.end(), segment.begin()));
      joined.insert(joined.end(), segment.begin() + kPhotoshopIdentifier.size(), segment.end());
    }
    Bytes expected = Concat({iptc, resolution});
    ASSERT_TRUE(std::equal(expected.begin(), expected.end(), joined.begin()));
    std::size_t at = expected.size();
    if (drawn) {
      // 8BIM, id, empty name, size, then the header whose sizes tell the new JPEG's.
      ASSERT_EQ(joined[at + 4] << 8 | joined[at + 5], 0x040C);
      const auto word = [&](std::size_t k) {
        return std::uint32_t{joined[k]} << 24 | joined[k + 1] << 16 | joined[k + 2] << 8 |
               joined[k + 3];
      };
      const std::size_t data = at + 12;
      const TSpan jpeg = TSpan(joined).subspan(data + 28, word(data + 20));
      ExpectCutPicture(jpeg, 40);
      const std::optional<TJpegExtent> extent = FindJpegExtent(jpeg);
      EXPECT_EQ(word(data + 4), static_cast<std::uint32_t>(extent->Width));
      EXPECT_EQ(word(data + 8), static_cast<std::uint32_t>(extent->Height));
      EXPECT_EQ(word(at + 8), 28 + jpeg.size());
      at = data + ((28 + jpeg.size() + 1) & ~std::size_t{1});
    }
    EXPECT_EQ(Bytes(joined.begin() + static_cast<std::ptrdiff_t>(at), joined.end()), later);
  }
  // Without a thumbnail nothing changes, not even where the segments split.
  const Bytes plain = body(Concat({iptc, resolution}));
  EXPECT_EQ(FollowCutInPhotoshopResources({plain, plain}, copies.draw),
            (std::vector<Bytes>{plain, plain}));
}

TEST(EmbeddedCopies, JfxxThumbnailOfEachFormIsDrawnAgainAsJpeg) {
  const TCopies copies;
  Bytes palette = {8, 6};  // colour 0 red, every pixel colour 0
  palette.resize(2 + 768 + 48, 0);
  palette[2] = 255;
  Bytes rgb = {8, 6};
  for (int i = 0; i < 48; ++i) rgb.insert(rgb.end(), {255, 0, 0});
  struct Case {
    std::uint8_t code;
    Bytes data;
  };
  for (const Case& c : {Case{0x10, copies.old}, Case{0x11, palette}, Case{0x13, rgb}}) {
    SCOPED_TRACE(int{c.code});
    const Bytes body =
        Concat({Bytes(kJfxxIdentifier.begin(), kJfxxIdentifier.end()), {c.code}, c.data});
    const auto out = FollowCutInJfxx(body, copies.draw);
    ASSERT_TRUE(out && out->size() > 6);
    EXPECT_TRUE(std::equal(body.begin(), body.begin() + 5, out->begin()));
    EXPECT_EQ((*out)[5], 0x10);
    ExpectCutPicture(TSpan(*out).subspan(6), c.code == 0x10 ? 40 : 8);
    EXPECT_FALSE(FollowCutInJfxx(body, copies.none));
  }
  const Bytes other = {'J', 'F', 'X', 'X', 0, 0x12, 1, 2};
  EXPECT_EQ(FollowCutInJfxx(other, copies.draw), other);
}

TEST(EmbeddedCopies, MakerNotePreviewIsDrawnAgainInPlaceInBothByteOrders) {
  const TCopies copies;
  const Bytes tiny = TinyGreyJpeg(8, 8);  // shorter than any grey picture drawn
  enum class Expect { kCut, kGrey, kZeros };
  struct Case {
    bool little;
    bool drawn;
    bool tinyPreview;
    Expect expect;
  };
  for (const Case c :
       {Case{true, true, false, Expect::kCut}, Case{false, true, false, Expect::kCut},
        Case{false, false, false, Expect::kGrey}, Case{true, true, true, Expect::kZeros}}) {
    SCOPED_TRACE(c.little * 100 + c.drawn * 10 + c.tinyPreview);
    const Bytes& preview = c.tinyPreview ? tiny : copies.old;
    const fixtures::MakerNoteExif source = MakeMakerNoteExif(c.little, preview, copies.old);
    Bytes tiff = source.tiff;
    EXPECT_EQ(FollowCutInMakerNotes(tiff, c.drawn ? copies.draw : copies.none), 1);
    // Every byte but the preview's reads as before, IFD1's thumbnail among them.
    const auto space = [&](const Bytes& bytes) {
      return Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(source.previewAt),
                   bytes.begin() + static_cast<std::ptrdiff_t>(source.previewAt + preview.size()));
    };
    Bytes outside = tiff, sourceOutside = source.tiff;
    std::fill_n(outside.begin() + static_cast<std::ptrdiff_t>(source.previewAt), preview.size(), 0);
    std::fill_n(sourceOutside.begin() + static_cast<std::ptrdiff_t>(source.previewAt),
                preview.size(), 0);
    EXPECT_EQ(outside, sourceOutside);
    const Bytes now = space(tiff);
    if (c.expect == Expect::kZeros) {
      EXPECT_EQ(now, Bytes(preview.size(), 0));
      continue;
    }
    const std::optional<TJpegExtent> drawn = FindJpegExtent(now);
    ASSERT_TRUE(drawn);
    ExpectCutPicture(now, 40);
    if (c.expect == Expect::kGrey) {
      EXPECT_EQ(Bytes(now.begin(), now.begin() + static_cast<std::ptrdiff_t>(drawn->End)),
                GreyPicture());
    }
    EXPECT_TRUE(std::all_of(now.begin() + static_cast<std::ptrdiff_t>(drawn->End), now.end(),
                            [](std::uint8_t b) { return b == 0; }));
  }
}

// Base64 text as XMP holds it, escaped newlines and all.
std::string Base64Decode(std::string text) {
  for (std::size_t at; (at = text.find("&#xA;")) != std::string::npos;) text.erase(at, 5);
  const std::string digits = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  std::uint32_t group = 0;
  int bits = 0;
  for (const char c : text) {
    const std::size_t value = digits.find(c);
    if (value == std::string::npos) continue;
    group = group << 6 | static_cast<std::uint32_t>(value);
    bits += 6;
    if (bits >= 8) out += static_cast<char>(group >> (bits -= 8) & 0xFF);
  }
  return out;
}

TEST(EmbeddedCopies, XmpThumbnailIsDrawnAgainOrLeftOutWithItsItem) {
  const TCopies copies;
  const std::string old = "/9j/4AAQSkZJRgABAQ&#xA;AAAQABAAD";
  const std::string element =
      "<rdf:li rdf:parseType=\"Resource\"><xmpGImg:width>40</xmpGImg:width><xmpGImg:height>30"
      "</xmpGImg:height><xmpGImg:format>JPEG</xmpGImg:format><xmpGImg:image>" +
      old + "</xmpGImg:image></rdf:li>";
  const std::string attribute =
      "<rdf:li xmpGImg:width=\"40\" xmpGImg:height=\"30\" "
      "xmpGImg:format=\"JPEG\" xmpGImg:image=\"" +
      old + "\"/>";
  const std::string before =
      "<?xpacket begin=\"\"?><x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF><rdf:Description "
      "xmp:Rating=\"3\"><xmp:Thumbnails><rdf:Alt>";
  const std::string after = "</rdf:Alt></xmp:Thumbnails></rdf:Description></rdf:RDF></x:xmpmeta>";
  const std::string padding(2000, ' ');
  const std::string end = "<?xpacket end=\"w\"?>";
  for (const std::string& item : {element, attribute}) {
    const std::string packet = before + item + after + padding + end;
    // As large as it was: the padding makes room for the larger picture.
    const std::string out = FollowCutInXmpThumbnails(packet, packet.size(), copies.draw);
    EXPECT_LE(out.size(), packet.size());
    ASSERT_EQ(out.substr(0, before.size()), before);
    EXPECT_NE(out.find(after), std::string::npos);
    const std::size_t at = out.find("xmpGImg:image") + 14 + (item == attribute);
    const std::string image = Base64Decode(out.substr(at, out.find_first_of("<\"", at) - at));
    const Bytes jpeg(image.begin(), image.end());
    ExpectCutPicture(jpeg, 40);
    const std::optional<TJpegExtent> drawn = FindJpegExtent(jpeg);
    EXPECT_NE(out.find("width" + std::string(item == element ? ">" : "=\"") +
                       std::to_string(drawn->Width)),
              std::string::npos);
    // Nothing to draw with: the item goes.
    EXPECT_EQ(FollowCutInXmpThumbnails(packet, packet.size(), copies.none),
              before + after + padding + end);
  }
}

TEST(EmbeddedCopies, PicturesAfterTheMainOneAreDrawnAgainInPlaceOrZeroed) {
  const TCopies copies;
  const Bytes png = Concat({{0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'},
                            Word32(2),
                            {'I', 'H', 'D', 'R', 1, 2},
                            Word32(0),
                            Word32(0),
                            {'I', 'E', 'N', 'D'},
                            Word32(0)});
  const Bytes head(20, 0x11), middle(10, 0x22), tail(5, 0x33);
  Bytes trailer = Concat({head, copies.old, middle, png, tail});
  EXPECT_EQ(FollowCutInTrailer(trailer, copies.draw), 2);
  EXPECT_EQ(Bytes(trailer.begin(), trailer.begin() + 20), head);
  const TSpan space = TSpan(trailer).subspan(20, copies.old.size());
  ExpectCutPicture(space, 40);
  const std::size_t pngAt = 20 + copies.old.size() + middle.size();
  EXPECT_EQ(Bytes(trailer.begin() + static_cast<std::ptrdiff_t>(pngAt - middle.size()),
                  trailer.begin() + static_cast<std::ptrdiff_t>(pngAt)),
            middle);
  EXPECT_EQ(Bytes(trailer.begin() + static_cast<std::ptrdiff_t>(pngAt), trailer.end()),
            Concat({Bytes(png.size(), 0), tail}));
  // A TIFF picture is zeroed to the end.
  Bytes tiff = Concat({head,
                       {'M', 'M', 0, 42},
                       Word32(8),
                       {0, 2, 1, 0, 0, 3},
                       Word32(1),
                       {0, 8, 0, 0, 1, 0x11, 0, 4},
                       Word32(1),
                       Word32(38),
                       Word32(0),
                       tail});
  EXPECT_EQ(FollowCutInTrailer(tiff, copies.draw), 1);
  EXPECT_EQ(tiff, Concat({head, Bytes(tiff.size() - head.size(), 0)}));
}

// Every JPEG in bytes but the one at its start, and each XMP thumbnail, decoded.
std::vector<fixtures::Pixels> EmbeddedPictures(const Bytes& bytes) {
  std::vector<fixtures::Pixels> pictures;
  for (std::size_t at = 1; at + 3 < bytes.size(); ++at) {
    if (const auto extent = FindJpegExtent(TSpan(bytes).subspan(at))) {
      pictures.push_back(
          fixtures::Decode(Bytes(bytes.begin() + static_cast<std::ptrdiff_t>(at),
                                 bytes.begin() + static_cast<std::ptrdiff_t>(at + extent->End))));
      at += extent->End - 1;
    }
  }
  const std::string text(bytes.begin(), bytes.end());
  for (std::size_t at = text.find("<xmpGImg:image>"); at != std::string::npos;
       at = text.find("<xmpGImg:image>", at + 1)) {
    const std::size_t start = at + 15;
    const std::string image = Base64Decode(text.substr(start, text.find('<', start) - start));
    pictures.push_back(fixtures::Decode(Bytes(image.begin(), image.end())));
  }
  return pictures;
}

// A wipe of the red corner in the whole picture draws every copy again as a cut does, also
// where thumbnails are to be kept: a kept one would show what the wipe blanked.
TEST(EmbeddedCopies, ACutOrAWipeDrawsEveryCopyAgainAndOnlyACutKeepsThemWhenAsked) {
  const TLibjpegPictureMaker maker;
  for (const bool little : {true, false}) {
    for (const bool keep : {false, true}) {
      for (const bool wipe : {false, true}) {
        SCOPED_TRACE(little * 100 + keep * 10 + wipe);
        const Bytes source = fixtures::MakeJpegWithEmbeddedCopies(little);
        TJpegTrimming engine;
        engine.Pictures.Maker = &maker;
        engine.Pictures.KeepThumbnails = keep;
        ASSERT_TRUE(engine.AnalyzeBytes(source));
        if (wipe) engine.Wipes = {{{0, 0, 40, 40}, EWipeFill::kFlat}};
        TByteStream output;
        ASSERT_TRUE(engine.Trim(
            output, wipe ? TTrimRect{0, 0, 128, 96} : TTrimRect{48, 32, 128, 96}, false));
        const bool kept = keep && !wipe;
        const Bytes cut = BytesOf(output);
        // JFXX, the maker note, IFD1, Photoshop, the one after EOI, and XMP's.
        const std::vector<fixtures::Pixels> pictures = EmbeddedPictures(cut);
        EXPECT_EQ(pictures.size(), 6u);
        for (const fixtures::Pixels& picture : pictures) {
          EXPECT_EQ(picture.warnings, 0);
          EXPECT_EQ(HasRed(picture), kept);
        }
        const auto has = [&](std::string_view what) {
          return std::search(cut.begin(), cut.end(), what.begin(), what.end()) != cut.end();
        };
        EXPECT_EQ(has("FPXR"), kept);
        EXPECT_TRUE(has("\x1C\x02\x05\x00\x03Sea"));  // the IPTC record
      }
    }
  }
}

// A plan decided ahead draws the cut only once it is taken, with the drawer handed over then, and
// is the plan decided in place; one dropped asks for no picture and lets its thread go.
TEST(EmbeddedCopies, MetadataDecidedAheadWaitsForTheDrawerOrIsDropped) {
  const TLibjpegPictureMaker maker;
  const Bytes source = fixtures::MakeJpegWithEmbeddedCopies(true);
  TByteStream stream;
  stream.Assign(source);
  TJpegModel model;
  ASSERT_TRUE(ReadJpegModel(stream, model));
  const std::vector<TWipe> wipes{{{0, 0, 40, 40}, EWipeFill::kGrey}};
  const TCutContext context{.Source = source,
                            .Model = model,
                            .ImageEnd = static_cast<std::size_t>(model.Eoi) + 2,
                            .Rect = {0, 0, 128, 96},
                            .Turn = {},
                            .Orientation = {},
                            .Width = 128,
                            .Height = 96,
                            .Maker = &maker,
                            .DrawCut = nullptr,
                            .Wipes = wipes};
  std::atomic<int> asked = 0;
  const auto drawer = [&](const TDrawRequest&) {
    ++asked;
    return GreyPicture();
  };
  { const TMetadataAhead dropped(context); }
  EXPECT_EQ(asked, 0);
  TMetadataAhead ahead(context);
  const TMetadataPlan taken = ahead.Take(drawer);
  const int drawnAhead = asked.exchange(0);
  EXPECT_GT(drawnAhead, 0);
  TCutContext inPlace = context;
  inPlace.DrawCut = drawer;
  const TMetadataPlan planned = DecideMetadata(inPlace);
  EXPECT_EQ(asked, drawnAhead);
  EXPECT_EQ(taken.Inserted, planned.Inserted);
  ASSERT_EQ(taken.Fates.size(), planned.Fates.size());
  for (std::size_t i = 0; i < taken.Fates.size(); ++i) {
    EXPECT_EQ(taken.Fates[i].Action, planned.Fates[i].Action);
    EXPECT_EQ(taken.Fates[i].Body, planned.Fates[i].Body);
  }
}

TEST(EmbeddedCopies, HostileBytesNeverReachOutside) {
  const TCopies copies;
  const TDrawCut grey = [](int, int, TSpan, std::size_t) { return GreyPicture(); };
  const fixtures::MakerNoteExif exif = MakeMakerNoteExif(true, copies.old, copies.old);
  const Bytes resources =
      Concat({Bytes(kPhotoshopIdentifier.begin(), kPhotoshopIdentifier.end()),
              PhotoshopThumbnail(0x040C, copies.old), PhotoshopResource(0x0404, "x", Bytes(3, 1))});
  const Bytes jfxx =
      Concat({Bytes(kJfxxIdentifier.begin(), kJfxxIdentifier.end()), {0x10}, copies.old});
  std::mt19937 random(7);
  for (int round = 0; round < 300; ++round) {
    const auto mutate = [&](Bytes bytes) {
      for (int k = 0; k < 4; ++k)
        bytes[random() % bytes.size()] = static_cast<std::uint8_t>(random());
      bytes.resize(bytes.size() - random() % (bytes.size() / 2));
      return bytes;
    };
    Bytes tiff = mutate(exif.tiff);
    FollowCutInMakerNotes(tiff, grey);
    FollowCutInTrailer(tiff, grey);
    FollowCutInPhotoshopResources({mutate(resources)}, grey);
    FollowCutInJfxx(mutate(jfxx), grey);
    const Bytes text = mutate(Bytes(exif.tiff.begin(), exif.tiff.end()));
    FollowCutInXmpThumbnails(
        std::string("<rdf:li xmpGImg:image=\"") + std::string(text.begin(), text.end()), 100, grey);
  }
}

}  // namespace
}  // namespace tarvo::testing
