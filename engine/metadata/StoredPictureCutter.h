// Cuts and turns pictures a file stores besides its main one (previews, other views, gain maps)
// without loss. The engine hands one in, so that the metadata kinds never make an engine.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "Orientation.h"
#include "OrientedTrim.h"
#include "Wipe.h"

namespace tarvo {

struct TStoredPictureInfo {
  TMcuGrid Grid;             // its size and MCU size, as stored
  TOrientation Orientation;  // what its own Exif data asks
};

class TStoredPictureCutter {
 public:
  virtual ~TStoredPictureCutter() = default;
  // What picture (a whole JPEG file) is; nothing when it cannot be cut.
  virtual std::optional<TStoredPictureInfo> Analyze(
      std::span<const std::uint8_t> picture) const = 0;
  // picture's cut, written without loss with its own metadata following as a main picture's
  // does, the images it stores itself left as they are; empty when it cannot be written.
  // written, when given, receives the cut as snapped to picture's MCU grid and written. wipes
  // (in picture's stored pixels) are blanked first, and then every copy of picture it holds is
  // drawn again.
  virtual std::vector<std::uint8_t> Cut(std::span<const std::uint8_t> picture,
                                        const TOrientedTrim& cut, bool dropExif,
                                        TOrientedTrim* written = nullptr,
                                        std::span<const TWipe> wipes = {}) const = 0;
};

}  // namespace tarvo
