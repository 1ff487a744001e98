#include "EmbeddedCopyFixtures.h"

#include <algorithm>
#include <array>
#include <iterator>

namespace tarvo::fixtures {

namespace {

Bytes Word32(std::uint32_t value) {
  return {static_cast<std::uint8_t>(value >> 24), static_cast<std::uint8_t>(value >> 16),
          static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)};
}

Bytes Concat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& part : parts) out.insert(out.end(), part.begin(), part.end());
  return out;
}

Bytes Segment(std::uint8_t code, const Bytes& body) {
  return Concat({{0xFF, code, static_cast<std::uint8_t>((body.size() + 2) >> 8),
                  static_cast<std::uint8_t>(body.size() + 2)},
                 body});
}

const char kBase64[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

}  // namespace

std::vector<std::uint8_t> RedCornerPixels(int width, int height) {
  std::vector<std::uint8_t> rgb = PhotoPixels(width, height, 3);
  for (int y = 0; y < 32; ++y) {
    for (int x = 0; x < 32; ++x) {
      std::uint8_t* pixel = &rgb[(static_cast<std::size_t>(y) * width + x) * 3];
      pixel[0] = 255;
      pixel[1] = pixel[2] = 0;
    }
  }
  return rgb;
}

bool HasRed(const Pixels& pixels) {
  for (std::size_t i = 0; i + 2 < pixels.samples.size(); i += 3) {
    if (pixels.samples[i] > 200 && pixels.samples[i + 1] < 80 && pixels.samples[i + 2] < 80) {
      return true;
    }
  }
  return false;
}

Bytes RedCornerThumbnail() {
  const std::vector<std::uint8_t> whole = RedCornerPixels(128, 96);
  std::vector<std::uint8_t> small;
  for (int y = 0; y < 30; ++y) {
    for (int x = 0; x < 40; ++x) {
      const std::size_t from = (static_cast<std::size_t>(y * 96 / 30) * 128 + x * 128 / 40) * 3;
      small.insert(small.end(), whole.begin() + static_cast<std::ptrdiff_t>(from),
                   whole.begin() + static_cast<std::ptrdiff_t>(from + 3));
    }
  }
  JpegOptions options;
  options.width = 40;
  options.height = 30;
  options.writeJfif = false;
  return MakeJpegFromPixels(options, small);
}

Bytes PhotoshopResource(std::uint16_t id, const std::string& name, const Bytes& data) {
  Bytes out = {
      '8', 'B', 'I', 'M', static_cast<std::uint8_t>(id >> 8), static_cast<std::uint8_t>(id)};
  out.push_back(static_cast<std::uint8_t>(name.size()));
  for (const char c : name) out.push_back(static_cast<std::uint8_t>(c));
  if (out.size() % 2 == 1) out.push_back(0);
  out = Concat({out, Word32(static_cast<std::uint32_t>(data.size())), data});
  if (data.size() % 2 == 1) out.push_back(0);
  return out;
}

Bytes PhotoshopThumbnail(std::uint16_t id, const Bytes& jpeg) {
  // Format 1 (JPEG), 40 x 30, row bytes, total and compressed size, 24 bits, one plane.
  return PhotoshopResource(id, "",
                           Concat({Word32(1),
                                   Word32(40),
                                   Word32(30),
                                   Word32(120),
                                   Word32(3600),
                                   Word32(static_cast<std::uint32_t>(jpeg.size())),
                                   {0, 24, 0, 1},
                                   jpeg}));
}

MakerNoteExif MakeMakerNoteExif(bool littleEndian, const Bytes& preview, const Bytes& thumbnail) {
  constexpr std::uint32_t kExifIfd = 26, kNote = 44, kInner = kNote + 10;
  constexpr std::uint32_t kPreviewIfd = 38, kPreview = 68;  // from the maker note's own header
  const std::uint32_t noteSize = 10 + kPreview + static_cast<std::uint32_t>(preview.size()) + 16;
  const std::uint32_t ifd1 = kNote + noteSize;
  const std::uint32_t thumbnailAt = ifd1 + 2 + 2 * 12 + 4;
  Bytes tiff(thumbnailAt + thumbnail.size(), 0);
  const auto put = [&](std::uint32_t at, std::uint32_t value, int size) {
    for (int k = 0; k < size; ++k) {
      const int shift = 8 * (littleEndian ? k : size - 1 - k);
      tiff[at + static_cast<std::uint32_t>(k)] = static_cast<std::uint8_t>(value >> shift);
    }
  };
  // A header at base, then IFDs of {tag, type, count, value} entries, offsets from base.
  const auto header = [&](std::uint32_t base) {
    tiff[base] = tiff[base + 1] = littleEndian ? 'I' : 'M';
    put(base + 2, 42, 2);
    put(base + 4, 8, 4);
  };
  const auto ifd = [&](std::uint32_t at,
                       std::initializer_list<std::array<std::uint32_t, 4>> entries) {
    put(at, static_cast<std::uint32_t>(entries.size()), 2);
    for (const auto& [tag, type, count, value] : entries) {
      put(at + 2, tag, 2), put(at + 4, type, 2), put(at + 6, count, 4);
      // A short value stands in the first two bytes of the value field.
      put(at + 10, value, type == 3 && count == 1 ? 2 : 4);
      at += 12;
    }
  };
  header(0);
  ifd(8, {{0x8769, 4, 1, kExifIfd}});
  put(8 + 2 + 12, ifd1, 4);
  ifd(kExifIfd, {{0x927C, 7, noteSize, kNote}});
  std::copy_n("Nikon\0\x02\x10\0\0", 10, tiff.begin() + kNote);
  header(kInner);
  ifd(kInner + 8,
      {{0x0001, 7, 4, littleEndian ? 0x30313230u : 0x30323130u}, {0x0011, 4, 1, kPreviewIfd}});
  ifd(kInner + kPreviewIfd,
      {{0x0201, 4, 1, kPreview}, {0x0202, 4, 1, static_cast<std::uint32_t>(preview.size())}});
  std::copy(preview.begin(), preview.end(), tiff.begin() + kInner + kPreview);
  std::fill_n(tiff.begin() + kInner + kPreview + static_cast<std::ptrdiff_t>(preview.size()), 16,
              0xAB);
  ifd(ifd1,
      {{0x0201, 4, 1, thumbnailAt}, {0x0202, 4, 1, static_cast<std::uint32_t>(thumbnail.size())}});
  std::copy(thumbnail.begin(), thumbnail.end(), tiff.begin() + thumbnailAt);
  return {tiff, kInner + kPreview, thumbnailAt};
}

std::string XmpWithThumbnail(const Bytes& jpeg) {
  std::string base64;
  for (std::size_t i = 0; i < jpeg.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, jpeg.size() - i);
    std::uint32_t group = std::uint32_t{jpeg[i]} << 16;
    if (n > 1) group |= std::uint32_t{jpeg[i + 1]} << 8;
    if (n > 2) group |= jpeg[i + 2];
    for (std::size_t k = 0; k < 4; ++k)
      base64 += k <= n ? kBase64[group >> (18 - 6 * k) & 63] : '=';
    // Adobe's programs break the text with escaped newlines.
    if (i % 57 == 54) base64 += "&#xA;";
  }
  return "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>"
         "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF "
         "xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\"><rdf:Description "
         "rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\" "
         "xmlns:xmpGImg=\"http://ns.adobe.com/xap/1.0/g/img/\" xmp:Rating=\"3\"><xmp:Thumbnails>"
         "<rdf:Alt><rdf:li rdf:parseType=\"Resource\"><xmpGImg:width>40</xmpGImg:width>"
         "<xmpGImg:height>30</xmpGImg:height><xmpGImg:format>JPEG</xmpGImg:format>"
         "<xmpGImg:image>" +
         base64 +
         "</xmpGImg:image></rdf:li></rdf:Alt></xmp:Thumbnails></rdf:Description></rdf:RDF>"
         "</x:xmpmeta>" +
         std::string(2048, ' ') + "<?xpacket end=\"w\"?>";
}

Bytes MakeJpegWithEmbeddedCopies(bool littleEndian) {
  const Bytes thumbnail = RedCornerThumbnail();
  const std::string xmp = XmpWithThumbnail(thumbnail);
  const Bytes iptc = {0x1C, 0x02, 0x00, 0x00, 0x02, 0x00, 0x04, 0x1C,
                      0x02, 0x05, 0x00, 0x03, 'S',  'e',  'a'};
  // A FlashPix contents list in name only: FlashPix readers skip what they do not understand.
  const Bytes flashPix = {'F', 'P', 'X', 'R', 0, 0, 1, 0, 0, 0, 0};
  JpegOptions options;
  options.width = 128;
  options.height = 96;
  options.extraSegments = {
      Segment(0xE0, Concat({{'J', 'F', 'X', 'X', 0, 0x10}, thumbnail})),
      Segment(0xE1, Concat({{'E', 'x', 'i', 'f', 0, 0},
                            MakeMakerNoteExif(littleEndian, thumbnail, thumbnail).tiff})),
      Segment(0xE1, Concat({Bytes(std::begin("http://ns.adobe.com/xap/1.0/"),
                                  std::end("http://ns.adobe.com/xap/1.0/")),
                            Bytes(xmp.begin(), xmp.end())})),
      Segment(0xE2, flashPix),
      Segment(0xED,
              Concat({Bytes(std::begin("Photoshop 3.0"), std::end("Photoshop 3.0")),
                      PhotoshopResource(0x0404, "", iptc), PhotoshopThumbnail(0x040C, thumbnail),
                      PhotoshopResource(0x03ED, "", Bytes(16, 0x48))}))};
  return Concat({MakeJpegFromPixels(options, RedCornerPixels(128, 96)), thumbnail});
}

}  // namespace tarvo::fixtures
