#include "CutDrawing.h"

#include <algorithm>
#include <array>

#include "JpegMarkers.h"

namespace tarvo {

namespace {

// A box halves this often before a budget is given up.
constexpr int kBudgetHalvings = 4;
// More segments than any real picture's header and scans have: bytes that chain this many are
// not taken for a picture, which bounds the time a search over hostile bytes takes.
constexpr int kMaxHeaderSegments = 1024;

void AppendMarker(std::vector<std::uint8_t>& out, std::uint16_t marker) {
  const auto bytes = markers::MarkerBytes(marker);
  out.insert(out.end(), bytes.begin(), bytes.end());
}

// A segment: its marker, its length counting the length's own two bytes, its body.
void AppendSegment(std::vector<std::uint8_t>& out, std::uint16_t marker,
                   std::span<const std::uint8_t> body) {
  AppendMarker(out, marker);
  const std::size_t length = body.size() + 2;
  out.push_back(static_cast<std::uint8_t>(length >> 8));
  out.push_back(static_cast<std::uint8_t>(length));
  out.insert(out.end(), body.begin(), body.end());
}

}  // namespace

TDrawCut DrawerOf(const TCutContext& cut) {
  return
      [&cut](int maxWidth, int maxHeight, std::span<const std::uint8_t> like, std::size_t budget) {
        std::vector<std::uint8_t> picture;
        for (int halving = 0; picture.empty() && halving <= kBudgetHalvings; ++halving) {
          const TDrawRequest request{std::max(1, maxWidth >> halving),
                                     std::max(1, maxHeight >> halving), like, 0, budget};
          picture = cut.DrawCut(request);
          if (cut.Maker == nullptr || budget == TPictureMaker::kAnySize) break;
        }
        return picture;
      };
}

std::vector<std::uint8_t> GreyPicture() {
  std::vector<std::uint8_t> out;
  AppendMarker(out, markers::kSoi);
  // Table 0, 8-bit steps, every step 1.
  std::array<std::uint8_t, 65> steps{};
  std::fill(steps.begin() + 1, steps.end(), std::uint8_t{1});
  AppendSegment(out, markers::kDqt, steps);
  // 8 bits, 8 x 8, one component: id 1, 1x1 sampling, table 0.
  const std::uint8_t frame[] = {8, 0, 8, 0, 8, 1, 1, 0x11, 0};
  AppendSegment(out, markers::kSof0, frame);
  // DC table 0, then AC table 0: one 1-bit code each, for DC category 0 and for EOB.
  for (const std::uint8_t tableClass : {0x00, 0x10}) {
    std::array<std::uint8_t, 18> table{};
    table[0] = tableClass;
    table[1] = 1;
    AppendSegment(out, markers::kDht, table);
  }
  // Component 1 with tables 0 and 0, the whole spectrum.
  const std::uint8_t scan[] = {1, 1, 0x00, 0, 63, 0};
  AppendSegment(out, markers::kSos, scan);
  // The one block: DC difference 0 (mid grey), EOB, padded with 1 bits.
  out.push_back(0x3F);
  AppendMarker(out, markers::kEoi);
  return out;
}

std::optional<TJpegExtent> FindJpegExtent(std::span<const std::uint8_t> bytes) {
  const std::size_t size = bytes.size();
  if (size < 4 || !markers::StartsWithSoi(bytes)) return std::nullopt;
  TJpegExtent extent;
  std::size_t at = 2;
  int segments = 0;
  while (true) {
    if (at >= size || bytes[at] != markers::kMarkerPrefix) return std::nullopt;
    at = markers::MarkerCodeAt(bytes, at);
    if (at >= size) return std::nullopt;
    const std::uint8_t code = bytes[at++];
    const std::uint16_t marker = markers::MarkerOf(code);
    if (markers::IsRestartMarker(marker)) continue;
    if (code == 0x00 || markers::StandsAlone(marker)) return std::nullopt;
    if (at + 2 > size) return std::nullopt;
    const std::size_t length = std::size_t{bytes[at]} << 8 | bytes[at + 1];
    if (length < 2 || at + length > size) return std::nullopt;
    if (++segments > kMaxHeaderSegments) return std::nullopt;
    if (markers::IsFrameMarker(marker)) {
      // The length, the precision, then the height and the width (ITU-T T.81 B.2.2).
      if (length < 8) return std::nullopt;
      extent.Height = bytes[at + 3] << 8 | bytes[at + 4];
      extent.Width = bytes[at + 5] << 8 | bytes[at + 6];
    }
    at += length;
    if (marker != markers::kSos) continue;
    if (extent.Width == 0 || extent.Height == 0) return std::nullopt;
    // The coded data run to the next marker that ends them; fill bytes belong to that marker.
    while (at + 1 < size &&
           !(bytes[at] == markers::kMarkerPrefix && bytes[at + 1] != markers::kMarkerPrefix &&
             markers::EndsCodedData(bytes[at + 1]))) {
      ++at;
    }
    if (at + 1 >= size) {
      extent.End = size;
      return extent;
    }
    if (markers::MarkerOf(bytes[at + 1]) == markers::kEoi) {
      extent.End = at + 2;
      return extent;
    }
  }
}

void RedrawInPlace(std::span<std::uint8_t> space, const TJpegExtent& old, const TDrawCut& draw) {
  std::vector<std::uint8_t> picture =
      draw(old.Width, old.Height, space.first(std::min(old.End, space.size())), space.size());
  if (picture.empty() || picture.size() > space.size()) picture = GreyPicture();
  if (picture.size() > space.size()) picture.clear();
  std::copy(picture.begin(), picture.end(), space.begin());
  std::fill(space.begin() + static_cast<std::ptrdiff_t>(picture.size()), space.end(),
            std::uint8_t{0});
}

int RedrawEmbeddedJpegs(std::span<std::uint8_t> bytes, std::span<const std::uint8_t> leave,
                        const TDrawCut& draw) {
  int found = 0;
  const std::size_t leaveStart =
      leave.empty() ? bytes.size() : static_cast<std::size_t>(leave.data() - bytes.data());
  for (std::size_t at = 0; at + 3 <= bytes.size();) {
    if (!leave.empty() && at == leaveStart) {
      at += leave.size();
      continue;
    }
    if (!markers::JpegStartsAt(bytes, at)) {
      ++at;
      continue;
    }
    std::span<std::uint8_t> rest = bytes.subspan(at);
    if (leaveStart > at) rest = rest.first(leaveStart - at);
    const std::optional<TJpegExtent> old = FindJpegExtent(rest);
    if (!old) {
      ++at;
      continue;
    }
    RedrawInPlace(rest.first(old->End), *old, draw);
    ++found;
    at += old->End;
  }
  return found;
}

}  // namespace tarvo
