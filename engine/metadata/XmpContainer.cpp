#include "XmpContainer.h"

#include <algorithm>
#include <charconv>

#include "JpegMarkers.h"
#include "JpegModelReader.h"

namespace tarvo {

namespace {

constexpr std::string_view kItemNamespace = "http://ns.google.com/photos/1.0/container/item/";

// The prefix the packet binds to the item namespace ("Item" by custom), empty when none.
std::string ItemPrefix(std::string_view xmp) {
  for (const char quote : {'"', '\''}) {
    const std::string value = std::string("=") + quote + std::string(kItemNamespace) + quote;
    const std::size_t at = xmp.find(value);
    if (at == std::string_view::npos) continue;
    const std::size_t colon = xmp.rfind("xmlns:", at);
    if (colon == std::string_view::npos) continue;
    return std::string(xmp.substr(colon + 6, at - colon - 6));
  }
  return {};
}

// The value of attribute name inside the tag text, with its place in the packet.
std::optional<std::string_view> Attribute(std::string_view xmp, std::size_t tagStart,
                                          std::size_t tagEnd, const std::string& name,
                                          std::size_t& valueAt) {
  std::size_t at = tagStart;
  while ((at = xmp.find(name, at)) != std::string_view::npos && at < tagEnd) {
    const bool starts = at > 0 && (xmp[at - 1] == ' ' || xmp[at - 1] == '\n' ||
                                   xmp[at - 1] == '\t' || xmp[at - 1] == '\r');
    std::size_t equals = at + name.size();
    while (equals < tagEnd && xmp[equals] == ' ') ++equals;
    if (starts && equals + 1 < tagEnd && xmp[equals] == '=') {
      std::size_t open = equals + 1;
      while (open < tagEnd && xmp[open] == ' ') ++open;
      const char quote = xmp[open];
      const std::size_t close =
          (quote == '"' || quote == '\'') ? xmp.find(quote, open + 1) : std::string_view::npos;
      if (close != std::string_view::npos && close < tagEnd) {
        valueAt = open + 1;
        return xmp.substr(open + 1, close - open - 1);
      }
    }
    at += name.size();
  }
  return std::nullopt;
}

std::optional<std::uint64_t> Number(std::string_view text) {
  std::uint64_t value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

}  // namespace

std::vector<TContainerItem> ReadContainerItems(std::string_view xmp) {
  std::vector<TContainerItem> items;
  const std::string prefix = ItemPrefix(xmp);
  if (prefix.empty()) return items;
  const std::string semantic = prefix + ":Semantic";
  // Each item is one element whose attributes name its semantic.
  for (std::size_t tag = xmp.find('<'); tag != std::string_view::npos;
       tag = xmp.find('<', tag + 1)) {
    const std::size_t tagEnd = xmp.find('>', tag);
    if (tagEnd == std::string_view::npos) break;
    std::size_t at = 0;
    const std::optional<std::string_view> kind = Attribute(xmp, tag, tagEnd, semantic, at);
    if (!kind) continue;
    TContainerItem item;
    item.Semantic = std::string(*kind);
    // The list element that holds the item, or is it.
    const std::size_t element = xmp.rfind("<rdf:li", tag);
    const std::size_t close = xmp.find("</rdf:li>", tag);
    if (element != std::string_view::npos &&
        (items.empty() || element > items.back().ElementStart)) {
      item.ElementStart = element;
      item.ElementEnd = element == tag && xmp[tagEnd - 1] == '/' ? tagEnd + 1
                        : close == std::string_view::npos        ? 0
                                                                 : close + 9;
    }
    if (const auto length = Attribute(xmp, tag, tagEnd, prefix + ":Length", at)) {
      item.Length = Number(*length);
      if (item.Length) {
        item.LengthAt = at;
        item.LengthSize = length->size();
      }
    }
    if (const auto padding = Attribute(xmp, tag, tagEnd, prefix + ":Padding", at)) {
      if (const auto value = Number(*padding)) {
        item.Padding = *value;
        item.PaddingAt = at;
        item.PaddingSize = padding->size();
      }
    }
    items.push_back(std::move(item));
  }
  return items;
}

std::string WithItemLengths(std::string_view xmp, const std::vector<TContainerItem>& items,
                            const std::vector<std::optional<std::uint64_t>>& lengths) {
  struct TEdit {
    std::size_t At, Size;
    std::string Text;
  };
  std::vector<TEdit> edits;
  for (std::size_t k = 0; k < items.size(); ++k) {
    if (k < lengths.size() && lengths[k] == 0u && items[k].ElementEnd != 0) {
      edits.push_back({items[k].ElementStart, items[k].ElementEnd - items[k].ElementStart, ""});
      continue;
    }
    if (items[k].LengthSize != 0 && k < lengths.size() && lengths[k]) {
      edits.push_back({items[k].LengthAt, items[k].LengthSize, std::to_string(*lengths[k])});
    }
    if (items[k].PaddingSize != 0) edits.push_back({items[k].PaddingAt, items[k].PaddingSize, "0"});
  }
  std::sort(edits.begin(), edits.end(), [](const TEdit& a, const TEdit& b) { return a.At > b.At; });
  std::string packet(xmp);
  for (const TEdit& edit : edits) packet.replace(edit.At, edit.Size, edit.Text);
  return packet;
}

std::string_view XmpPacket(std::span<const std::uint8_t> jpeg) {
  for (const TSegment& segment : ReadHeaderLayout(jpeg)) {
    if (SegmentIs(jpeg, segment, markers::kApp1, kXmpIdentifier)) {
      const std::size_t at = segment.Body() + kXmpIdentifier.size();
      return {reinterpret_cast<const char*>(jpeg.data()) + at, segment.End - at};
    }
  }
  return {};
}

}  // namespace tarvo
