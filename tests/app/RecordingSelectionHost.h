// A selection host for tests: records what the selection asks of the window.
#pragma once

#include <array>
#include <optional>
#include <set>
#include <string>

#include "Selection.h"

namespace tarvo {

// Frames are kept as the set of rectangles
// currently drawn on the picture, so a frame drawn once too often or too rarely shows up.
class TRecordingHost : public TSelectionHost {
 public:
  void DrawSelection(const TTrimRect& rect) override {
    const std::array<int32_t, 4> key{rect.Left, rect.Top, rect.Right, rect.Bottom};
    if (!Frames.erase(key)) Frames.insert(key);
    Information = SelectionInformation(rect);
  }
  void ClearInformation() override { Information.clear(); }
  void EnableSelectionCommands(bool enabled) override { CommandsEnabled = enabled; }
  void SetPointer(TPointerShape shape) override { Pointer = shape; }

  std::set<std::array<int32_t, 4>> Frames;
  std::string Information;
  std::optional<bool> CommandsEnabled;
  std::optional<TPointerShape> Pointer;
};

}  // namespace tarvo
