#include "TrimModeSelector.h"

#include <algorithm>
#include <cmath>

namespace tarvo {

namespace {

// ⌈x × num ÷ den⌉ with the quotient in floating point, capped at limit.
int32_t CeilQuotientUpTo(int64_t x, int32_t num, int32_t den, int32_t limit) {
  const double q = std::ceil(static_cast<double>(x) * num / den);
  return static_cast<int32_t>(std::min(q, static_cast<double>(limit)));
}

}  // namespace

TTrimModeKind TrimModeKindAt(int index, const TTrimModeList& trimModes) {
  if (index == TTrimModeList::kFixedRatioMode) return TTrimModeKind::FixedRatio;
  if (trimModes.IsUserPreset(index)) return TTrimModeKind::Preset;
  return TTrimModeKind::Free;
}

std::optional<TSelectionRect> PresetRect(const TTrimModePreset& preset, const TPresetView& view) {
  const int32_t ax = preset.AspectRatio_X;
  const int32_t ay = preset.AspectRatio_Y;
  if (ax <= 0 || ay <= 0 || view.ViewWidth < 1 || view.ViewHeight < 1) return std::nullopt;
  int32_t right = 0;
  int32_t bottom = 0;
  if (!preset.ExtendSize && view.PictureWidth > ax && view.PictureHeight > ay) {
    right = static_cast<int32_t>(int64_t{ax} * view.ViewScaleNum / view.ViewScaleDen);
    bottom = static_cast<int32_t>(int64_t{ay} * view.ViewScaleNum / view.ViewScaleDen);
  } else if (int64_t{view.PictureWidth} * ay < int64_t{view.PictureHeight} * ax) {
    // Narrower than the ratio: the full width. ViewWidth is truncated before the quotient is
    // rounded up, so at rates below 1/1 the height could pass the picture by a pixel.
    right = view.ViewWidth;
    bottom = CeilQuotientUpTo(view.ViewWidth, ay, ax, view.ViewHeight);
  } else {
    bottom = view.ViewHeight;
    right = CeilQuotientUpTo(view.ViewHeight, ax, ay, view.ViewWidth);
  }
  // A size below one view pixel at a small rate still leaves a selection to see and trim.
  return TSelectionRect{0, 0, std::clamp(right, 1, view.ViewWidth),
                        std::clamp(bottom, 1, view.ViewHeight)};
}

void ChangeTrimMode(TSelection& selection, int index, const TTrimModeList& trimModes,
                    const TPresetView& view) {
  switch (TrimModeKindAt(index, trimModes)) {
    case TTrimModeKind::Free:
      selection.KeepAspect = false;
      return;
    case TTrimModeKind::FixedRatio: {
      // With no selection these are the proportions of the last one.
      const TSelectionRect& r = selection.SelectionRect;
      selection.KeepAspect = true;
      selection.AspectX = r.Right - r.Left;
      selection.AspectY = r.Bottom - r.Top;
      return;
    }
    case TTrimModeKind::Preset:
      break;
  }
  const TTrimModePreset& preset = trimModes[index];
  selection.AspectX = preset.AspectRatio_X;
  selection.AspectY = preset.AspectRatio_Y;
  selection.KeepAspect = preset.FixAspectRatio;
  if (const std::optional<TSelectionRect> rect = PresetRect(preset, view)) {
    selection.Place(*rect);
  }
}

TTrimModeWidths MeasureTrimModes(const TTrimModeList& trimModes,
                                 const std::function<int(const QString&)>& textWidth) {
  TTrimModeWidths widths;
  int explanationWidth = 0;
  for (const TTrimModePreset& preset : trimModes) {
    widths.ModeTitleWidth = std::max(widths.ModeTitleWidth, textWidth(preset.Title));
    explanationWidth = std::max(explanationWidth, textWidth(preset.Explanation));
  }
  widths.ModeDropDownWidth = widths.ModeTitleWidth + explanationWidth;
  return widths;
}

int RebuiltTrimModeIndex(int previousIndex, int count) {
  return std::min(std::max(previousIndex, 0), count - 1);
}

}  // namespace tarvo
