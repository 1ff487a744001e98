// Whether a JPEG stored after the main picture is an HDR gain map: a grey or colour map that
// tells HDR screens how much to brighten each region of the main picture.
#pragma once

#include <cstdint>
#include <span>

namespace tarvo {

// True when the image's own metadata announces a gain map: XMP in the hdrgm namespace (Ultra
// HDR, Adobe) or Apple's HDRGainMap namespace, or an ISO 21496-1 APP2 segment.
bool IsGainMap(std::span<const std::uint8_t> jpeg);

}  // namespace tarvo
