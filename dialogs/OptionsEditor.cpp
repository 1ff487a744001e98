#include "OptionsEditor.h"

#include <algorithm>
#include <array>

#include "DecimalInteger.h"

namespace tarvo {

using namespace Qt::StringLiterals;

void TOptionsEditor::Show(const TTrimModeList& trimModes, const TAppSettings& appSettings) {
  editTrimModes_ = trimModes;
  General = appSettings;
  rowCount_ = std::max(kMinimumRowCount, editTrimModes_.Count());
  // The row picked at an earlier showing may lie beyond a list that has shrunk since.
  SelectRow(std::min(selectedRow_, rowCount_ - 1));
}

const TTrimModePreset* TOptionsEditor::EntryAtRow(int row) const {
  return row >= 1 ? editTrimModes_.Find(EntryIndex(row)) : nullptr;
}

void TOptionsEditor::SelectRow(int row) {
  selectedRow_ = std::max(row, 1);
  const TTrimModePreset* entry = EntryAtRow(selectedRow_);
  if (entry == nullptr) {
    fields_ = TPresetFields();
    return;
  }
  fields_ = {entry->Title,
             entry->Explanation,
             QString::number(entry->AspectRatio_X),
             QString::number(entry->AspectRatio_Y),
             entry->ExtendSize,
             entry->FixAspectRatio};
}

TOptionsEditor::TUpdateResult TOptionsEditor::Update(const TPresetFields& fields,
                                                     QString& badNumber) {
  if (fields.Title.isEmpty() || fields.Explanation.isEmpty() || fields.AspectRatio_X.isEmpty() ||
      fields.AspectRatio_Y.isEmpty()) {
    return TUpdateResult::Incomplete;
  }
  TTrimModePreset preset{fields.Title,      fields.Explanation,   0, 0,
                         fields.ExtendSize, fields.FixAspectRatio};
  // Both numbers are checked first, so a pasted bad number never leaves a half-updated entry.
  for (const auto& [text, target] : {std::pair{&fields.AspectRatio_X, &preset.AspectRatio_X},
                                     std::pair{&fields.AspectRatio_Y, &preset.AspectRatio_Y}}) {
    if (ParseDecimalInt32(*text, *target) != TDecimalParse::Ok) {
      badNumber = *text;
      return TUpdateResult::NotAnInteger;
    }
  }

  if (editTrimModes_.Replace(EntryIndex(selectedRow_), preset)) return TUpdateResult::Updated;

  // Whichever blank row is selected, the new entry goes after the last one.
  const int count = editTrimModes_.Count();
  selectedRow_ = count - 1;
  editTrimModes_.Append(std::move(preset));
  rowCount_ = std::max(kMinimumRowCount, count + 1);
  SelectRow(selectedRow_);
  return TUpdateResult::Added;
}

void TOptionsEditor::DeleteSelected() {
  if (!editTrimModes_.Remove(EntryIndex(selectedRow_))) return;
  SelectRow(selectedRow_);
}

void TOptionsEditor::Initialise() {
  SetDefaultTrimModes(editTrimModes_);
  SelectRow(selectedRow_);
}

void TOptionsEditor::Commit(TTrimModeList& trimModes, TAppSettings& appSettings) const {
  trimModes = editTrimModes_;
  // Only what the general tab shows; the explanation flags and the last folder stay as they are.
  appSettings.gKeepTimeStamp_Create = General.gKeepTimeStamp_Create;
  appSettings.gKeepTimeStamp_Write = General.gKeepTimeStamp_Write;
  appSettings.gSaveFolder = General.gSaveFolder;
  appSettings.gAllowDropExif = General.gAllowDropExif;
  appSettings.gKeepThumbnails = General.gKeepThumbnails;
}

QString TOptionsEditor::HeaderText(int column) {
  // The spaces belong to the texts: they keep the headers clear of the right-aligned numbers.
  static const std::array<QString, kColumnCount> headers = {
      u"タイトル"_s, u"説明"_s, u"横サイズ "_s, u"縦サイズ "_s, u" 拡張"_s, u"比率"_s};
  return headers.at(column);
}

QString TOptionsEditor::CellText(const TTrimModePreset& preset, int column) {
  switch (column) {
    case 0:
      return preset.Title;
    case 1:
      return preset.Explanation;
    case 2:
      return QString::number(preset.AspectRatio_X);
    case 3:
      return QString::number(preset.AspectRatio_Y);
    case 4:
      return preset.ExtendSize ? u"する"_s : u"しない"_s;
    default:
      return preset.FixAspectRatio ? u"固定"_s : u"可変"_s;
  }
}

}  // namespace tarvo
