// What choosing a trim mode does to the selection, and how the mode list fills the combo.
#pragma once

#include <QString>
#include <cstdint>
#include <functional>
#include <optional>

#include "Selection.h"
#include "TrimModePreset.h"

namespace tarvo {

// The kind of the combo's item index: "固定比率" at 1, a preset from 2 on. No item (-1) or an
// index beyond the list reads no entry and selects freely.
TTrimModeKind TrimModeKindAt(int index, const TTrimModeList& trimModes);

// The size of the picture shown, in image pixels, for placing a preset's selection.
struct TPresetView {
  int32_t PictureWidth = 0;
  int32_t PictureHeight = 0;
};

// The selection a preset places at the picture's top-left corner, in image pixels: its two
// terms as a size when it does not extend and the picture is strictly larger, otherwise the
// largest rectangle of its ratio. Never beyond the picture and never empty; none for a term that
// is zero or negative, or an empty picture.
std::optional<TTrimRect> PresetRect(const TTrimModePreset& preset, const TPresetView& view);

// Applies the mode at index to the selection of a loaded picture: the built-in modes set or
// release the ratio lock, a preset places its selection and sets the lock from its flag.
void ChangeTrimMode(TSelection& selection, int index, const TTrimModeList& trimModes,
                    const TPresetView& view);

// Widths of the two columns of the combo's items, measured in the combo's font.
struct TTrimModeWidths {
  int ModeTitleWidth = 0;     // widest title
  int ModeDropDownWidth = 0;  // widest title plus widest explanation
};
TTrimModeWidths MeasureTrimModes(const TTrimModeList& trimModes,
                                 const std::function<int(const QString&)>& textWidth);

// The item index after the combo is refilled: the previous one while it still exists, else the
// last item; no item becomes the first.
int RebuiltTrimModeIndex(int previousIndex, int count);

}  // namespace tarvo
