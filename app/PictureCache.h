// The decoded pictures of one state of the document, one per reduction.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <vector>

#include <QPoint>

#include "PictureDecoder.h"

namespace tarvo {

// A picture is decoded the first time a view rate needs its reduction and kept while the
// document's bytes stay the same, so zooming back and scrolling never decode. The bytes stay the
// document's: each call that decodes is handed them. Reduced rates
// decode reduced: a 48-megapixel photo shown at 1/4 never has its full-size pixels in memory.
class TPictureCache {
 public:
  // A decode that takes longer than this is announced through the slow-decode notice.
  static constexpr std::chrono::milliseconds kSlowDecode{250};

  // The reduction a view rate paints from: at 1/2, 1/4 and 1/8 one picture pixel per view
  // pixel, at 1/1 and above the full picture.
  static int ReductionFor(std::int32_t viewNum, std::int32_t viewDen);

  // Called on this thread with true when a decode still runs after kSlowDecode (it may
  // repaint meanwhile), and with false once that decode is over, whether it failed or not.
  void SetSlowDecodeNotice(std::function<void(bool running)> notice) {
    slowDecode_ = std::move(notice);
  }

  // Decodes jpeg at reduction, announcing a slow decode, and keeps nothing of it: a document
  // decodes its picture before its bytes replace those held.
  TPicture Decode(std::span<const std::uint8_t> jpeg, int reduction);
  // Releases the pictures held and holds picture instead; the other reductions of the same
  // bytes follow once they are asked for.
  const TPicture& Hold(TPicture picture);
  // The picture at reduction of jpeg, the bytes of the pictures held, decoded on first use.
  const TPicture& At(std::span<const std::uint8_t> jpeg, int reduction);
  // The bytes are now trimmed, a trim whose frame starts at `at` in the picture held: each reduced
  // picture held is replaced by its cut instead of decoded again. A trim keeps whole blocks and
  // each reduced pixel is an average inside one block, so only the chroma right along the cut may
  // differ by a little. The full-size picture, which shows the decoded pixels exactly, and any
  // picture the cut does not fit are released, to be decoded when asked for. Raises
  // EPictureError, holding nothing, when the trimmed bytes have no readable frame.
  void KeepTrimmed(std::span<const std::uint8_t> trimmed, QPoint at);
  // Releases every picture.
  void Clear();

  bool Holds(int reduction) const;
  // Decodes so far, for the tests that check nothing is decoded twice.
  int DecodeCount() const { return decodeCount_; }

 private:
  static std::size_t Slot(int reduction);

  std::array<std::optional<TPicture>, std::size(kPictureReductions)> pictures_;
  std::function<void(bool running)> slowDecode_;
  int decodeCount_ = 0;
};

}  // namespace tarvo
