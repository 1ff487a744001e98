// The pictures a JPEG file holds besides its main one (the Exif thumbnail, MPF previews and
// views, HDR gain maps), made to follow a trim so that none shows what the trim cut away.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

#include "ByteStream.h"
#include "DcPicture.h"
#include "Orientation.h"
#include "PictureMaker.h"
#include "TrimRect.h"

namespace tarvo {

struct TEmbeddedPictureOptions {
  // Draws thumbnails, previews and gain maps that cannot be cut losslessly; without one they are
  // left out of the trim.
  const TPictureMaker* Maker = nullptr;
  // The thumbnail and previews stay byte for byte, as they were in the source.
  bool KeepThumbnails = false;
  // False for the images inside a file, whose own stored images are left as they are.
  bool StoredImages = true;
};

struct TCutSource {
  std::span<const std::uint8_t> Bytes;
  std::size_t ImageEnd = 0;  // one past the main picture's EOI
  int Width = 0;
  int Height = 0;
};

// How the main picture was cut.
struct TCutMode {
  bool DropExif = false;
  // How its blocks were turned or mirrored. Gain maps and views of the same size are then left
  // out: they are only ever cut, and would no longer lie over the picture they belong to.
  TOrientation Turn;
  // The main picture's DC picture, which draws a thumbnail without decoding the picture again.
  const TDcPicture* DcPicture = nullptr;
};

// trim holds the main picture cut to rect (source pixels, Left and Top on the MCU grid), ending
// at imageEnd, followed by the source's bytes after its main picture. Rewrites the trim's Exif
// thumbnail, and rebuilds what follows the main picture from the source's MPF entries or XMP
// container directory: previews drawn again, same-size views and gain maps cut to the same
// region, the rest copied; the MP entries and directory lengths then describe the result.
// Views are cut with the Exif data dropped or kept as the main picture was. rect is what the
// main picture keeps of the source, before any turn.
void FollowTrim(TStreamBytes& trim, std::size_t imageEnd, const TCutSource& source,
                const TTrimRect& rect, const TCutMode& mode,
                const TEmbeddedPictureOptions& options);

}  // namespace tarvo
