#include "XmpThumbnails.h"

#include <algorithm>
#include <charconv>
#include <optional>

namespace tarvo {

namespace {

constexpr std::string_view kImage = "GImg:image";
constexpr std::string_view kWidth = "GImg:width";
constexpr std::string_view kHeight = "GImg:height";
constexpr std::string_view kItem = "<rdf:li";
constexpr std::string_view kItemEnd = "</rdf:li>";
constexpr std::string_view kPacketEnd = "<?xpacket end";
// Adobe draws XMP thumbnails to fit 256 x 256; one that does not say its size is drawn so.
constexpr int kDefaultSide = 256;
// Room kept for the width and height growing by a digit each.
constexpr std::size_t kSizeSlack = 8;

std::string Base64(std::span<const std::uint8_t> bytes) {
  constexpr std::string_view kDigits =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = std::uint32_t{bytes[i]} << 16;
    if (n > 1) group |= std::uint32_t{bytes[i + 1]} << 8;
    if (n > 2) group |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k) {
      out += k <= n ? kDigits[group >> (18 - 6 * k) & 63] : '=';
    }
  }
  return out;
}

// Where a property's value stands, as an attribute (name="value") or an element
// (<name>value</name>); name starts at at, just after its namespace prefix.
struct TValue {
  std::size_t Start = 0;
  std::size_t End = 0;
};

std::optional<TValue> ValueAfter(std::string_view text, std::size_t at, std::string_view name) {
  std::size_t p = at + name.size();
  while (p < text.size() &&
         (text[p] == ' ' || text[p] == '\t' || text[p] == '\r' || text[p] == '\n'))
    ++p;
  if (p < text.size() && text[p] == '=') {
    p = text.find_first_of("\"'", p);
    if (p == std::string_view::npos) return std::nullopt;
    const std::size_t end = text.find(text[p], p + 1);
    if (end == std::string_view::npos) return std::nullopt;
    return TValue{p + 1, end};
  }
  if (p >= text.size() || text[p] != '>') return std::nullopt;
  // Only an opening tag holds the value; its closing tag repeats the prefixed name.
  const std::size_t open = text.rfind('<', at);
  if (open == std::string_view::npos || text[open + 1] == '/') return std::nullopt;
  const std::string close = "</" + std::string(text.substr(open + 1, at + name.size() - open - 1));
  const std::size_t end = text.find(close, p + 1);
  if (end == std::string_view::npos) return std::nullopt;
  return TValue{p + 1, end};
}

// The value of a size property within [from, to), if it reads as a number.
std::optional<std::pair<TValue, int>> SizeIn(std::string_view text, std::size_t from,
                                             std::size_t to, std::string_view name) {
  const std::size_t at = text.substr(0, to).find(name, from);
  if (at == std::string_view::npos) return std::nullopt;
  const std::optional<TValue> value = ValueAfter(text, at, name);
  if (!value || value->End > to) return std::nullopt;
  int number = 0;
  const auto [end, error] =
      std::from_chars(text.data() + value->Start, text.data() + value->End, number);
  if (error != std::errc() || end != text.data() + value->End || number <= 0 || number > 0xFFFF) {
    return std::nullopt;
  }
  return std::pair{*value, number};
}

// The whitespace before the packet's end, which writers leave for edits in place.
struct TPadding {
  std::size_t Start = 0;
  std::size_t End = 0;
  std::size_t size() const { return End - Start; }
};

TPadding Padding(std::string_view packet) {
  const std::size_t end = packet.rfind(kPacketEnd);
  if (end == std::string_view::npos || end == 0) return {};
  const std::size_t last = packet.find_last_not_of(" \t\r\n", end - 1);
  return {last == std::string_view::npos ? 0 : last + 1, end};
}

struct TEdit {
  std::size_t Start = 0;
  std::size_t End = 0;
  std::string Text;
};

}  // namespace

std::string FollowCutInXmpThumbnails(std::string_view packet, std::size_t maxSize,
                                     const TDrawCut& draw) {
  std::string out(packet);
  for (std::size_t from = 0;;) {
    const std::size_t at = out.find(kImage, from);
    if (at == std::string::npos) break;
    const std::optional<TValue> image = ValueAfter(out, at, kImage);
    if (!image) {
      from = at + kImage.size();
      continue;
    }
    // The list item that holds the thumbnail with its other properties: an element that closes
    // itself where they are its attributes, otherwise up to its end tag.
    const std::size_t itemStart = out.rfind(kItem, at);
    const std::size_t tagEnd = out.find('>', image->End);
    std::size_t itemEnd = out.size();
    if (itemStart != std::string::npos && tagEnd != std::string::npos &&
        out.find('>', itemStart) == tagEnd && out[tagEnd - 1] == '/') {
      itemEnd = tagEnd + 1;
    } else if (const std::size_t end = out.find(kItemEnd, image->End); end != std::string::npos) {
      itemEnd = end + kItemEnd.size();
    }
    const std::size_t regionStart = itemStart == std::string::npos ? at : itemStart;
    const auto width = SizeIn(out, regionStart, itemEnd, kWidth);
    const auto height = SizeIn(out, regionStart, itemEnd, kHeight);
    const std::size_t rest = out.size() - (image->End - image->Start);
    const std::size_t limit = maxSize + Padding(out).size();
    const std::size_t room = limit > rest + kSizeSlack ? limit - rest - kSizeSlack : 0;
    const std::vector<std::uint8_t> picture =
        room < 4 ? std::vector<std::uint8_t>{}
                 : draw(width ? width->second : kDefaultSide,
                        height ? height->second : kDefaultSide, {}, room / 4 * 3);
    const std::optional<TJpegExtent> drawn = FindJpegExtent(picture);
    const std::string text = drawn ? Base64(picture) : std::string();
    std::vector<TEdit> edits;
    if (text.empty() || text.size() > room) {
      // Without a picture the item says nothing true; without an item, the value is emptied.
      edits.push_back(itemStart != std::string::npos ? TEdit{itemStart, itemEnd, {}}
                                                     : TEdit{image->Start, image->End, {}});
    } else {
      edits.push_back({image->Start, image->End, text});
      if (width)
        edits.push_back({width->first.Start, width->first.End, std::to_string(drawn->Width)});
      if (height)
        edits.push_back({height->first.Start, height->first.End, std::to_string(drawn->Height)});
    }
    // From the last edit back, so that each one's offsets still hold when it is made.
    std::sort(edits.begin(), edits.end(),
              [](const TEdit& a, const TEdit& b) { return a.Start > b.Start; });
    std::ptrdiff_t moved = 0;
    for (const TEdit& edit : edits) {
      out.replace(edit.Start, edit.End - edit.Start, edit.Text);
      moved += static_cast<std::ptrdiff_t>(edit.Text.size()) -
               static_cast<std::ptrdiff_t>(edit.End - edit.Start);
    }
    from = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(itemEnd) + moved);
    if (out.size() > maxSize) {
      const TPadding padding = Padding(out);
      out.erase(padding.Start, std::min(out.size() - maxSize, padding.size()));
    }
  }
  return out;
}

}  // namespace tarvo
