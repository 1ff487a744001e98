// Photos that carry copies of themselves in every place files keep them besides the Exif
// thumbnail and MPF, each copy showing a red corner that a cut removes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "JpegFixtures.h"

namespace tarvo::fixtures {

// Photo pixels whose top left 32 x 32 is bright red: what a cut that starts right of or below
// it must show nowhere.
std::vector<std::uint8_t> RedCornerPixels(int width, int height);
bool HasRed(const Pixels& pixels);
// A 40 x 30 picture of RedCornerPixels(128, 96), as a thumbnail of it.
Bytes RedCornerThumbnail();

// An image resource: signature, id, Pascal name padded to even, size, data padded to even.
Bytes PhotoshopResource(std::uint16_t id, const std::string& name, const Bytes& data);
// A thumbnail resource (0x040C, or 0x0409) holding a 40 x 30 jpeg.
Bytes PhotoshopThumbnail(std::uint16_t id, const Bytes& jpeg);

// An Exif structure (from its byte order mark) whose maker note, Nikon's way, holds a TIFF
// structure of its own with a PreviewIFD addressing preview, then sixteen bytes of other maker
// data; IFD1 holds thumbnail.
struct MakerNoteExif {
  Bytes tiff;
  std::size_t previewAt = 0;
  std::size_t thumbnailAt = 0;
};
MakerNoteExif MakeMakerNoteExif(bool littleEndian, const Bytes& preview, const Bytes& thumbnail);

// An XMP packet whose xmp:Thumbnails item holds jpeg, with a couple of kilobytes of padding.
std::string XmpWithThumbnail(const Bytes& jpeg);

// A 128 x 96 photo of RedCornerPixels whose JFXX, Exif (IFD1 and a maker-note preview), XMP and
// Photoshop (beside IPTC records) thumbnails, FlashPix segment and a JPEG after its EOI all show
// the whole of it, red corner included.
Bytes MakeJpegWithEmbeddedCopies(bool littleEndian);

}  // namespace tarvo::fixtures
