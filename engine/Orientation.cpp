#include "Orientation.h"

#include <algorithm>
#include <array>

namespace tarvo {

namespace {

// Indexed by Exif value - 1: 1 as stored, 2 mirrored left to right, 3 turned half round,
// 4 mirrored top to bottom, 5 transposed, 6 turned clockwise, 7 transverse, 8 turned
// anticlockwise (the stored row 0 lies where the tag's words put it).
constexpr std::array<TOrientation, 8> kByExifValue = {
    kAsStored,   kMirrorHorizontal, kRotate180,  kMirrorVertical,
    kTransposed, kRotate90,         kTransverse, kRotate270};

}  // namespace

int TOrientation::ExifValue() const {
  // The table holds all eight, so the search always finds this one.
  return static_cast<int>(std::find(kByExifValue.begin(), kByExifValue.end(), *this) -
                          kByExifValue.begin()) +
         1;
}

TOrientation TOrientation::FromExif(int value) {
  return value >= 1 && value <= 8 ? kByExifValue[static_cast<std::size_t>(value - 1)] : kAsStored;
}

}  // namespace tarvo
