// The decoded pictures of one state of the document, one per reduction, held as they are shown.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <QPoint>

#include "Orientation.h"
#include "PictureDecoder.h"
#include "PicturePatch.h"
#include "TrimRect.h"

namespace tarvo {

// A picture is decoded the first time a view rate needs its reduction and kept while the
// document's bytes stay the same, so zooming back and scrolling never decode. Each is held turned
// the way the document shows it (see UprightPicture), turned once when it is decoded: a picture
// turned at every repaint would hold up the window for seconds. The bytes stay the document's:
// each call that decodes is handed them, and how they are shown. Reduced rates
// decode reduced: a 48-megapixel photo shown at 1/4 never has its full-size pixels in memory.
class TPictureCache {
 public:
  // The reduction a view rate paints from: at 1/2, 1/4 and 1/8 one picture pixel per view
  // pixel, at 1/1 and above the full picture.
  static int ReductionFor(std::int32_t viewNum, std::int32_t viewDen);

  // Releases the pictures held and holds picture, decoded elsewhere, instead; the other
  // reductions of the same bytes follow once they are asked for.
  const TPicture& Hold(TPicture picture);
  // Holds picture, decoded elsewhere from the bytes of the pictures held, beside them.
  void Keep(TPicture picture);
  // The picture at reduction of jpeg, the bytes of the pictures held, decoded and turned as shown
  // on first use.
  const TPicture& At(std::span<const std::uint8_t> jpeg, int reduction, TOrientation shown);
  // The bytes are now trimmed, a trim whose frame starts at `at` in the stored picture of the
  // pictures held, which are shown as `shown`, as the trim is: each reduced
  // picture held is replaced by its cut instead of decoded again. A trim keeps whole blocks and
  // each reduced pixel is an average inside one block, so only the chroma right along the cut may
  // differ by a little. The full-size picture, which shows the decoded pixels exactly, and any
  // picture the cut does not fit are released, to be decoded when asked for. Raises
  // EPictureError, holding nothing, when the trimmed bytes have no readable frame.
  void KeepTrimmed(std::span<const std::uint8_t> trimmed, QPoint at, TOrientation shown);
  // The bytes are now changed only where patch lies: the picture held at its reduction is mended
  // there instead of decoded again, and the others are released.
  void KeepPatched(const TPicturePatch& patch);
  // Releases every picture but the one at reduction.
  void KeepOnly(int reduction);
  // Releases every picture.
  void Clear();

  bool Holds(int reduction) const;
  // The picture held at reduction, or else at the reduction nearest to it; nothing when none is.
  const TPicture* Nearest(int reduction) const;
  // Pictures decoded so far, for the tests that check nothing is decoded twice.
  int DecodeCount() const { return decodeCount_; }

 private:
  static std::size_t Slot(int reduction);

  std::array<std::optional<TPicture>, std::size(kPictureReductions)> pictures_;
  int decodeCount_ = 0;
};

}  // namespace tarvo
