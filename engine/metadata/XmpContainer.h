// The container directory an XMP packet may hold (Container:Directory, one Container:Item per
// file stored in this one, in order, the main picture first): what each item is and how long,
// read from the attributes Item:Semantic, Item:Length and Item:Padding.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tarvo {

inline constexpr std::string_view kXmpIdentifier{"http://ns.adobe.com/xap/1.0/\0", 29};

struct TContainerItem {
  std::string Semantic;  // "Primary", "GainMap", …
  std::optional<std::uint64_t> Length;
  std::uint64_t Padding = 0;
  // Where the values of Item:Length and Item:Padding sit in the packet, 0 without them.
  std::size_t LengthAt = 0, LengthSize = 0;
  std::size_t PaddingAt = 0, PaddingSize = 0;
  // The element that lists the item: its rdf:li, from its start to one past its end.
  std::size_t ElementStart = 0, ElementEnd = 0;
};

// The items of the packet's directory, empty without one.
std::vector<TContainerItem> ReadContainerItems(std::string_view xmp);

// The packet with item k's Item:Length set to lengths[k] where both are given, and every
// Item:Padding set to 0: a trim stores the files one right after the other. An item whose
// length is 0 names a file the trim does not hold, and leaves the directory.
std::string WithItemLengths(std::string_view xmp, const std::vector<TContainerItem>& items,
                            const std::vector<std::optional<std::uint64_t>>& lengths);

// The XMP packet of the first XMP segment among jpeg's header segments, empty without one.
std::string_view XmpPacket(std::span<const std::uint8_t> jpeg);

}  // namespace tarvo
