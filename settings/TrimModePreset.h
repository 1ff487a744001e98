// Trim modes: how the selection is set up (free, ratio lock, or a preset size or ratio).
#pragma once

#include <QString>
#include <cstdint>
#include <vector>

namespace tarvo {

// One trim mode. For user presets X and Y are either a size in picture pixels or a ratio,
// depending on ExtendSize; the two built-in modes mean what their position says and ignore them.
struct TTrimModePreset {
  QString Title;        // shown in the trim-mode combo and the options grid
  QString Explanation;  // second column of both
  int32_t AspectRatio_X = 0;
  int32_t AspectRatio_Y = 0;
  bool ExtendSize = true;      // largest X:Y rectangle that fits instead of exactly X x Y pixels
  bool FixAspectRatio = true;  // keep the ratio while the user resizes the selection

  friend bool operator==(const TTrimModePreset&, const TTrimModePreset&) = default;
};

// The ordered list of trim modes, one to one with the items of the trim-mode combo.
//
// Entry 0 is "自由" (free selection) and entry 1 "固定比率" (lock the ratio of the current
// selection); both are always present. Entries from kFirstUserPreset on are user presets: only
// they are stored and editable. Entries are values, so copying a list copies every preset.
// Titles and explanations are cut to 255 Shift-JIS bytes whenever a preset enters the list.
class TTrimModeList {
 public:
  static constexpr int kFreeMode = 0;
  static constexpr int kFixedRatioMode = 1;
  static constexpr int kFirstUserPreset = 2;

  // A new list holds the six built-in presets (see SetDefaultTrimModes).
  TTrimModeList();

  int Count() const { return static_cast<int>(entries_.size()); }
  int UserPresetCount() const { return Count() - kFirstUserPreset; }
  bool IsUserPreset(int index) const { return index >= kFirstUserPreset && index < Count(); }

  // Precondition: 0 <= index < Count().
  const TTrimModePreset& operator[](int index) const { return entries_[index]; }
  // Null for an index outside the list: indexes from stored settings or a combo go through here.
  const TTrimModePreset* Find(int index) const;

  void Append(TTrimModePreset preset);
  // Only user presets can be replaced or removed; other indexes change nothing and give false.
  bool Replace(int index, TTrimModePreset preset);
  bool Remove(int index);
  // Drops every user preset, leaving "自由" and "固定比率".
  void KeepBuiltInModesOnly();

  std::vector<TTrimModePreset>::const_iterator begin() const { return entries_.begin(); }
  std::vector<TTrimModePreset>::const_iterator end() const { return entries_.end(); }

  friend bool operator==(const TTrimModeList&, const TTrimModeList&) = default;
  friend void SetDefaultTrimModes(TTrimModeList& trimModes);

 private:
  std::vector<TTrimModePreset> entries_;
};

// Empties the list and appends the two built-in modes and the four factory presets:
// "Ｌ版(横)", "Ｌ版(縦)", "カメラ(横)", "カメラ(縦)".
void SetDefaultTrimModes(TTrimModeList& trimModes);

}  // namespace tarvo
