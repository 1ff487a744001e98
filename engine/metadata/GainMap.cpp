#include "GainMap.h"

#include <string_view>

#include "JpegMarkers.h"
#include "JpegModelReader.h"
#include "XmpContainer.h"

namespace tarvo {

namespace {

constexpr std::string_view kIsoIdentifier{"urn:iso:std:iso:ts:21496:-1\0", 28};
constexpr std::string_view kHdrGainMapNamespaces[] = {"http://ns.adobe.com/hdr-gain-map/1.0/",
                                                      "http://ns.apple.com/HDRGainMap/1.0/"};

}  // namespace

bool IsGainMap(std::span<const std::uint8_t> jpeg) {
  for (const TSegment& segment : ReadHeaderLayout(jpeg)) {
    if (SegmentIs(jpeg, segment, markers::kApp2, kIsoIdentifier)) return true;
  }
  const std::string_view xmp = XmpPacket(jpeg);
  for (const std::string_view name : kHdrGainMapNamespaces) {
    if (xmp.find(name) != std::string_view::npos) return true;
  }
  return false;
}

}  // namespace tarvo
