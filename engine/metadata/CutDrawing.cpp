#include "CutDrawing.h"

#include <algorithm>

#include "JpegMarkers.h"

namespace tarvo {

namespace {

// A box halves this often before a budget is given up.
constexpr int kBudgetHalvings = 4;
// More segments than any real picture's header and scans have: bytes that chain this many are
// not taken for a picture, which bounds the time a search over hostile bytes takes.
constexpr int kMaxHeaderSegments = 1024;

bool IsFrameMarker(std::uint8_t code) {
  return code >= 0xC0 && code <= 0xCF && code != 0xC4 && code != 0xC8 && code != 0xCC;
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
  std::vector<std::uint8_t> out = {0xFF, 0xD8, 0xFF, 0xDB, 0x00, 0x43, 0x00};  // table 0
  out.resize(out.size() + 64, 1);                                              // all steps 1
  const std::uint8_t rest[] = {
      // SOF0: 8 bits, 8 x 8, one component (id 1, 1x1 sampling, table 0)
      0xFF, 0xC0, 0x00, 0x0B, 0x08, 0x00, 0x08, 0x00, 0x08, 0x01, 0x01, 0x11, 0x00,
      // DHT DC 0 and AC 0: one 1-bit code each, for DC category 0 and for EOB
      0xFF, 0xC4, 0x00, 0x14, 0x00, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00, 0xFF,
      0xC4, 0x00, 0x14, 0x10, 0x01, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x00,
      // SOS: component 1 with tables 0 and 0, the whole spectrum
      0xFF, 0xDA, 0x00, 0x08, 0x01, 0x01, 0x00, 0x00, 0x3F, 0x00,
      // the one block: DC difference 0 (mid grey), EOB, padded with 1 bits; EOI
      0x3F, 0xFF, 0xD9};
  out.insert(out.end(), std::begin(rest), std::end(rest));
  return out;
}

std::optional<TJpegExtent> FindJpegExtent(std::span<const std::uint8_t> bytes) {
  const std::size_t size = bytes.size();
  if (size < 4 || bytes[0] != 0xFF || bytes[1] != 0xD8) return std::nullopt;
  TJpegExtent extent;
  std::size_t at = 2;
  int segments = 0;
  while (true) {
    if (at >= size || bytes[at] != 0xFF) return std::nullopt;
    while (at < size && bytes[at] == 0xFF) ++at;  // fill bytes
    if (at >= size) return std::nullopt;
    const std::uint8_t code = bytes[at++];
    if (code >= 0xD0 && code <= 0xD7) continue;  // a restart marker stands alone
    if (code == 0x00 || code == 0x01 || code == 0xD8 || code == 0xD9) return std::nullopt;
    if (at + 2 > size) return std::nullopt;
    const std::size_t length = std::size_t{bytes[at]} << 8 | bytes[at + 1];
    if (length < 2 || at + length > size) return std::nullopt;
    if (++segments > kMaxHeaderSegments) return std::nullopt;
    if (IsFrameMarker(code)) {
      if (length < 8) return std::nullopt;
      extent.Height = bytes[at + 3] << 8 | bytes[at + 4];
      extent.Width = bytes[at + 5] << 8 | bytes[at + 6];
    }
    at += length;
    if ((0xFF00 | code) != markers::kSos) continue;
    if (extent.Width == 0 || extent.Height == 0) return std::nullopt;
    // The coded data runs to the next marker: 0xFF followed by neither a stuffed zero, a restart
    // marker nor a fill byte.
    while (at + 1 < size && !(bytes[at] == 0xFF && bytes[at + 1] != 0x00 && bytes[at + 1] != 0xFF &&
                              (bytes[at + 1] < 0xD0 || bytes[at + 1] > 0xD7))) {
      ++at;
    }
    if (at + 1 >= size) {
      extent.End = size;
      return extent;
    }
    if (bytes[at + 1] == 0xD9) {
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
    if (bytes[at] != 0xFF || bytes[at + 1] != 0xD8 || bytes[at + 2] != 0xFF) {
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
