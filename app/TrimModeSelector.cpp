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

std::optional<TTrimRect> PresetRect(const TTrimModePreset& preset, const TPresetView& view) {
  const int32_t ax = preset.AspectRatio_X;
  const int32_t ay = preset.AspectRatio_Y;
  const int32_t width = view.PictureWidth;
  const int32_t height = view.PictureHeight;
  if (ax <= 0 || ay <= 0 || width < 1 || height < 1) return std::nullopt;
  if (!preset.ExtendSize && width > ax && height > ay) return TTrimRect{0, 0, ax, ay};
  if (int64_t{width} * ay < int64_t{height} * ax) {
    // Narrower than the ratio: the full width.
    return TTrimRect{0, 0, width, std::max(CeilQuotientUpTo(width, ay, ax, height), 1)};
  }
  return TTrimRect{0, 0, std::max(CeilQuotientUpTo(height, ax, ay, width), 1), height};
}

void ChangeTrimMode(TSelection& selection, int index, const TTrimModeList& trimModes,
                    const TPresetView& view) {
  switch (TrimModeKindAt(index, trimModes)) {
    case TTrimModeKind::Free:
      selection.SetKeepAspect(false);
      return;
    case TTrimModeKind::FixedRatio: {
      // With no selection these are the proportions of the last one.
      const TTrimRect& r = selection.SelectionRect();
      selection.SetKeepAspect(true);
      selection.SetAspect(r.Right - r.Left, r.Bottom - r.Top);
      return;
    }
    case TTrimModeKind::Preset:
      break;
  }
  const TTrimModePreset& preset = trimModes[index];
  selection.SetAspect(preset.AspectRatio_X, preset.AspectRatio_Y);
  selection.SetKeepAspect(preset.FixAspectRatio);
  if (const std::optional<TTrimRect> rect = PresetRect(preset, view)) {
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
