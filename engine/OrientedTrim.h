// What a sequence of trims and lossless turns keeps: one rectangle of stored pixels, one turn
// applied to it, and the orientation the result's Exif data states. Every further trim or turn
// composes into the same three, so a cut is always written from the source in one step.
#pragma once

#include <cstdint>

#include "Orientation.h"
#include "TrimRect.h"

namespace tarvo {

struct TOrientedTrim {
  TTrimRect Source;   // stored pixels of the source
  TOrientation Turn;  // how the kept blocks are moved
  TOrientation Tag;   // the orientation the output asks viewers to show it in

  // The size of the output as stored.
  std::int32_t Width() const {
    return Turn.Transpose ? Source.Bottom - Source.Top : Source.Right - Source.Left;
  }
  std::int32_t Height() const {
    return Turn.Transpose ? Source.Right - Source.Left : Source.Bottom - Source.Top;
  }
};

// The source's MCU size and picture size, in stored pixels: the grid every cut lands on.
struct TMcuGrid {
  std::int32_t McuWidth = 8, McuHeight = 8;
  std::int32_t Width = 0, Height = 0;
};

// Pixels a turn cut off, counted at the edges of the output as it was before the turn: blocks
// only ever move from its right and bottom edges to the left or top.
struct TTurnLoss {
  std::int32_t Right = 0;
  std::int32_t Bottom = 0;
};

// The whole picture as stored, shown the way its Exif data says.
inline TOrientedTrim WholePicture(const TMcuGrid& grid, TOrientation tag) {
  return {{0, 0, grid.Width, grid.Height}, kAsStored, tag};
}

// A block can only be written at a block position of the output, so every edge of the source
// rectangle that becomes the output's left or top edge must lie on the source's MCU grid (the
// output's grid is the source's, transposed). Such an edge moves outwards to the grid line
// before it, as a trim's left and top always have; an edge that becomes the left or top after a
// mirror moves outwards as well, unless that would pass the picture's edge, where it moves
// inwards and leaves the partial MCU out. Other edges stay: the declared size hides the rest of
// their MCUs.
// Every cut, turned or not, lands on the grid here and nowhere else; the trim snaps what it is
// given, and reports what it kept.
TOrientedTrim Snapped(const TOrientedTrim& cut, const TMcuGrid& grid);

// rect as an unturned cut snaps it (Snapped): Left and Top move down to the grid line at or
// before them, Right and Bottom stay. For a selection in the pixels of the picture as shown,
// whose MCU is mcuWidth x mcuHeight. Negative values and empty rectangles pass unchanged for the
// trim to refuse.
inline TTrimRect SnapToMcuGrid(const TTrimRect& rect, std::int32_t mcuWidth,
                               std::int32_t mcuHeight) {
  return Snapped({rect, kAsStored, kAsStored}, {mcuWidth, mcuHeight, rect.Right, rect.Bottom})
      .Source;
}

// True when cut is non-empty, inside the picture and already snapped: what a trim can write.
bool Writable(const TOrientedTrim& cut, const TMcuGrid& grid);

// cut trimmed to rect, given in the pixels of cut's output as stored, not snapped; empty when
// rect is empty or not inside that output.
TOrientedTrim Within(const TOrientedTrim& cut, const TTrimRect& rect);

// cut trimmed to rect, given in the pixels of cut's output as stored, then snapped; empty (and
// so refused by a trim) when rect is empty or not inside that output.
TOrientedTrim Trimmed(const TOrientedTrim& cut, const TTrimRect& rect, const TMcuGrid& grid);

// cut's output turned by turn; its tag follows, so that viewers show the turned picture. Partial
// MCUs that would come to the left or top are cut off and counted in loss.
TOrientedTrim Turned(const TOrientedTrim& cut, TOrientation turn, const TMcuGrid& grid,
                     TTurnLoss& loss);

// cut's output turned the way its tag says, with the tag then saying "as stored".
TOrientedTrim Upright(const TOrientedTrim& cut, const TMcuGrid& grid, TTurnLoss& loss);

}  // namespace tarvo
