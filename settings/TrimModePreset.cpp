#include "TrimModePreset.h"

#include "ShiftJisText.h"

namespace tarvo {

using namespace Qt::StringLiterals;

namespace {

TTrimModePreset WithinTextLimits(TTrimModePreset preset) {
  preset.Title = CutToShiftJisBytes(preset.Title);
  preset.Explanation = CutToShiftJisBytes(preset.Explanation);
  return preset;
}

}  // namespace

TTrimModeList::TTrimModeList() { SetDefaultTrimModes(*this); }

const TTrimModePreset* TTrimModeList::Find(int index) const {
  if (index < 0 || index >= Count()) return nullptr;
  return &entries_[index];
}

void TTrimModeList::Append(TTrimModePreset preset) {
  entries_.push_back(WithinTextLimits(std::move(preset)));
}

bool TTrimModeList::Replace(int index, TTrimModePreset preset) {
  if (!IsUserPreset(index)) return false;
  entries_[index] = WithinTextLimits(std::move(preset));
  return true;
}

bool TTrimModeList::Remove(int index) {
  if (!IsUserPreset(index)) return false;
  entries_.erase(entries_.begin() + index);
  return true;
}

void TTrimModeList::KeepBuiltInModesOnly() { entries_.resize(kFirstUserPreset); }

void SetDefaultTrimModes(TTrimModeList& trimModes) {
  trimModes.entries_.clear();
  trimModes.entries_.push_back({u"自由"_s, QString(), 0, 0, true, true});
  trimModes.entries_.push_back({u"固定比率"_s, QString(), 0, 0, true, true});
  // "Ｌ" is the full-width letter: the photo-print size as it is written in Japanese.
  trimModes.entries_.push_back(
      {u"Ｌ版(横)"_s, u"(127mm x 89mm / 1524 x 1074)"_s, 1524, 1074, true, true});
  trimModes.entries_.push_back(
      {u"Ｌ版(縦)"_s, u"(89mm x 127mm / 1074 x 1524)"_s, 1074, 1524, true, true});
  trimModes.entries_.push_back(
      {u"カメラ(横)"_s, u"一般的なカメラの比率 (3:2)"_s, 3, 2, true, true});
  trimModes.entries_.push_back(
      {u"カメラ(縦)"_s, u"一般的なカメラの比率 (2:3)"_s, 2, 3, true, true});
}

}  // namespace tarvo
