#include "OrientedTrim.h"

namespace tarvo {

namespace {

// One axis of the source rectangle and what the turn does with it.
struct TAxis {
  std::int32_t& Low;
  std::int32_t& High;
  std::int32_t Mcu;
  std::int32_t Extent;
  // The axis runs backwards in the output: its High edge becomes the output's left or top.
  bool Reversed;
};

// The two axes of cut's source rectangle, x first.
struct TAxes {
  TAxis X, Y;
};

TAxes AxesOf(TOrientedTrim& cut, const TMcuGrid& grid) {
  const TOrientation& turn = cut.Turn;
  return {{cut.Source.Left, cut.Source.Right, grid.McuWidth, grid.Width,
           turn.Transpose ? turn.MirrorY : turn.MirrorX},
          {cut.Source.Top, cut.Source.Bottom, grid.McuHeight, grid.Height,
           turn.Transpose ? turn.MirrorX : turn.MirrorY}};
}

void SnapOutwards(TAxis axis) {
  if (!axis.Reversed) {
    if (axis.Low > 0) axis.Low = McuGridLine(axis.Low, axis.Mcu);
    return;
  }
  if (axis.High <= 0 || axis.High % axis.Mcu == 0) return;
  const std::int32_t below = McuGridLine(axis.High, axis.Mcu);
  axis.High = below + axis.Mcu <= axis.Extent ? below + axis.Mcu : below;
}

bool WritableAxis(const TAxis& axis) {
  return axis.Low >= 0 && axis.Low < axis.High && axis.High <= axis.Extent &&
         (axis.Reversed ? axis.High : axis.Low) % axis.Mcu == 0;
}

// Moves the axis's leading edge inwards onto the grid; returns the pixels that leaves out.
std::int32_t SnapInwards(TAxis axis) {
  if (axis.Reversed) {
    const std::int32_t lost = axis.High % axis.Mcu;
    axis.High -= lost;
    return lost;
  }
  const std::int32_t lost = (axis.Mcu - axis.Low % axis.Mcu) % axis.Mcu;
  axis.Low += lost;
  return lost;
}

}  // namespace

TOrientedTrim Snapped(const TOrientedTrim& cut, const TMcuGrid& grid) {
  TOrientedTrim snapped = cut;
  const TAxes axes = AxesOf(snapped, grid);
  SnapOutwards(axes.X);
  SnapOutwards(axes.Y);
  return snapped;
}

bool Writable(const TOrientedTrim& cut, const TMcuGrid& grid) {
  TOrientedTrim copy = cut;
  const TAxes axes = AxesOf(copy, grid);
  return WritableAxis(axes.X) && WritableAxis(axes.Y);
}

TOrientedTrim Within(const TOrientedTrim& cut, const TTrimRect& rect) {
  // Outside the output, a rectangle could still map into the source, onto pixels an earlier
  // trim or turn left out; it is made empty for the trim to refuse.
  if (!LiesInside(rect, cut.Width(), cut.Height())) return {{}, cut.Turn, cut.Tag};
  const TTrimRect local = cut.Turn.Inverse().Map(rect, cut.Width(), cut.Height());
  return {local.Shifted(cut.Source.Left, cut.Source.Top), cut.Turn, cut.Tag};
}

TOrientedTrim Trimmed(const TOrientedTrim& cut, const TTrimRect& rect, const TMcuGrid& grid) {
  return Snapped(Within(cut, rect), grid);
}

TOrientedTrim Turned(const TOrientedTrim& cut, TOrientation turn, const TMcuGrid& grid,
                     TTurnLoss& loss) {
  TOrientedTrim turned = cut;
  turned.Turn = cut.Turn.Then(turn);
  // Viewers show the tag applied to the stored pixels; undoing the turn first and doing it
  // again last keeps what they show turned with the pixels.
  turned.Tag = turn.Inverse().Then(cut.Tag).Then(turn);
  const TAxes axes = AxesOf(turned, grid);
  const std::int32_t lostX = SnapInwards(axes.X);
  const std::int32_t lostY = SnapInwards(axes.Y);
  // Before the turn, the source's x axis ran along the output's rows unless transposed.
  loss = cut.Turn.Transpose ? TTurnLoss{lostY, lostX} : TTurnLoss{lostX, lostY};
  return turned;
}

TOrientedTrim Upright(const TOrientedTrim& cut, const TMcuGrid& grid, TTurnLoss& loss) {
  TOrientedTrim upright = Turned(cut, cut.Tag, grid, loss);
  upright.Tag = kAsStored;
  return upright;
}

}  // namespace tarvo
