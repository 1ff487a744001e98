#include "PicturePatch.h"

#include <cstring>

#include <QRect>

#include "UprightPicture.h"

namespace tarvo {

std::optional<TPicturePatch> PatchOf(std::span<const std::uint8_t> jpeg, const TTrimRect& patchRect,
                                     const TPicture& held, TOrientation shown) {
  // Full-size pixels along a patch edge inside the picture that may differ from a decode of the
  // whole: the chroma smoothed across it reaches two.
  constexpr std::int32_t kEdge = 4;
  const std::int32_t r = held.Reduction;
  const QSize frame = shown.Transpose ? held.Frame.transposed() : held.Frame;
  const QSize stored = shown.Transpose ? held.Pixels.size().transposed() : held.Pixels.size();
  const auto up = [r](std::int32_t v) { return (v + r - 1) / r; };
  const auto inside = [](std::int32_t edge, std::int32_t end) { return edge > 0 && edge < end; };
  // Rounded as the decoder rounds, and the kept part rounded inwards.
  const TTrimRect at{patchRect.Left / r, patchRect.Top / r, up(patchRect.Right),
                     up(patchRect.Bottom)};
  const TTrimRect kept{
      up(patchRect.Left + (inside(patchRect.Left, frame.width()) ? kEdge : 0)),
      up(patchRect.Top + (inside(patchRect.Top, frame.height()) ? kEdge : 0)),
      inside(patchRect.Right, frame.width()) ? (patchRect.Right - kEdge) / r : at.Right,
      inside(patchRect.Bottom, frame.height()) ? (patchRect.Bottom - kEdge) / r : at.Bottom};
  if (patchRect.Left % r != 0 || patchRect.Top % r != 0 || at.Right > stored.width() ||
      at.Bottom > stored.height() || kept.Left >= kept.Right || kept.Top >= kept.Bottom) {
    return std::nullopt;
  }
  const TPicture decoded = UprightPicture(DecodePicture(jpeg, r), shown);
  const TTrimRect where = shown.Map(at, stored.width(), stored.height());
  const TTrimRect into = shown.Map(kept, stored.width(), stored.height());
  if (decoded.Pixels.size() != QSize(where.Right - where.Left, where.Bottom - where.Top) ||
      decoded.Pixels.format() != QImage::Format_RGB888) {
    return std::nullopt;
  }
  return TPicturePatch{decoded.Pixels.copy(into.Left - where.Left, into.Top - where.Top,
                                           into.Right - into.Left, into.Bottom - into.Top),
                       {into.Left, into.Top},
                       r};
}

bool Mend(TPicture& picture, const TPicturePatch& patch) {
  const QImage& from = patch.Pixels;
  if (picture.Reduction != patch.Reduction || from.isNull() ||
      from.format() != QImage::Format_RGB888 || picture.Pixels.format() != QImage::Format_RGB888 ||
      !picture.Pixels.rect().contains(QRect(patch.At, from.size()))) {
    return false;
  }
  // Pixels that cannot be copied for want of memory are let go.
  uchar* into = picture.Pixels.bits();
  if (into == nullptr) return false;
  const qsizetype line = picture.Pixels.bytesPerLine();
  const auto rowBytes = static_cast<std::size_t>(from.width()) * 3;
  for (int y = 0; y < from.height(); ++y) {
    std::memcpy(into + (patch.At.y() + y) * line + qsizetype{3} * patch.At.x(),
                from.constScanLine(y), rowBytes);
  }
  return true;
}

}  // namespace tarvo
