// What the options dialog does, without the widgets: a working copy of the trim modes and the
// general settings, the preset grid's rows and the edit fields of the selected row.
#pragma once

#include <QString>

#include "AppSettings.h"
#include "TrimModePreset.h"

namespace tarvo {

// The edit fields under the grid, as the user typed them.
struct TPresetFields {
  QString Title;
  QString Explanation;
  QString AspectRatio_X;
  QString AspectRatio_Y;
  bool ExtendSize = false;
  bool FixAspectRatio = true;

  friend bool operator==(const TPresetFields&, const TPresetFields&) = default;
};

// Grid rows count from 1 (row 0 is the header): row r shows working entry r + 1, so the two
// built-in modes never appear. Rows without an entry are blank; there is always at least one.
class TOptionsEditor {
 public:
  static constexpr int kMinimumRowCount = 7;  // header + six rows
  static constexpr int kColumnCount = 6;

  enum class TUpdateResult {
    Incomplete,    // a field was empty; nothing changed
    NotAnInteger,  // a size field held no 32-bit decimal number; nothing changed
    Updated,       // the selected row's entry was replaced
    Added,         // a blank row was selected: a new entry follows the last one and is selected
  };

  // Every showing: copies trimModes and the general settings, fits the row count to the list
  // and refills the fields from the selected row.
  void Show(const TTrimModeList& trimModes, const TAppSettings& appSettings);
  // The grid's selection handler; also refills the fields.
  void SelectRow(int row);
  // "追加・更新": add or update, decided by the selected row. Both size fields are checked
  // before anything changes; on NotAnInteger, badNumber receives the offending text.
  TUpdateResult Update(const TPresetFields& fields, QString& badNumber);
  // "削除": removes the selected row's entry; the next one moves up into the row.
  void DeleteSelected();
  // "初期化", after the user has agreed: the working copy gets the built-in presets.
  void Initialise();
  // OK: the working list replaces trimModes and the general settings are copied back.
  void Commit(TTrimModeList& trimModes, TAppSettings& appSettings) const;

  int RowCount() const { return rowCount_; }
  int SelectedRow() const { return selectedRow_; }
  // Null for a blank row.
  const TTrimModePreset* EntryAtRow(int row) const;
  const TTrimModeList& EditTrimModes() const { return editTrimModes_; }
  const TPresetFields& Fields() const { return fields_; }
  bool DeleteEnabled() const { return EntryAtRow(selectedRow_) != nullptr; }

  // The general tab's check boxes and save-folder choice, edited in place by the dialog.
  TAppSettings General;

  static QString HeaderText(int column);
  static QString CellText(const TTrimModePreset& preset, int column);
  static bool IsRightAligned(int column) { return column >= 2; }

 private:
  static int EntryIndex(int row) { return row + 1; }

  TTrimModeList editTrimModes_;
  int rowCount_ = kMinimumRowCount;
  int selectedRow_ = 1;
  TPresetFields fields_;
};

}  // namespace tarvo
