// Reading the settings at start and writing them at exit.
//
// The main window owns a TAppSettings, a TTrimModeList and the placement and combo choices
// gathered in TWindowSettings. Wiring:
//
//   At creation, after the trim-mode combo has been filled from the built-in list:
//     TQSettingsStore store;
//     TWindowSettings window;   // holds the designed placement and the default choices
//     QString message;
//     const bool loaded = LoadSettings(store, window, TrimModes, AppSettings, message);
//     apply window (App_* placement and state, gViewRate to the zoom combo),
//     rebuild the trim-mode combo from TrimModes, select window.gTrimMode in it;
//     if (!loaded) show message in an error box (every value that could be read is used).
//
//   When the window closes:
//     TWindowSettings window;
//     window.App_WindowState = 0, 1 or 2 (normal, minimised, maximised);
//     window.App_Top/Left/Height/Width = the outer frame, only meaningful while normal;
//     window.gViewRate = zoom combo index; window.gTrimMode = trim-mode combo index (-1: none);
//     if (!SaveSettings(store, window, TrimModes, AppSettings, message)) show message.
//
// After LoadSettings every index in TWindowSettings is in range (0-6 for the zoom, an entry of
// TrimModes for the trim mode, 0-2 for the state), whatever the file held.
#pragma once

#include <QString>
#include <cstdint>

#include "AppSettings.h"
#include "SettingsStore.h"
#include "TrimModePreset.h"

namespace tarvo {

inline constexpr char kMsgSettingCannotRead[] = "'%s' の取得に失敗しました";
inline constexpr char kMsgSettingWrongType[] = "'%s' のデータ型が不正です";
inline constexpr char kMsgSettingBeyondCount[] =
    "'%s' は gModeCount を超える番号のプリセットの値です";
inline constexpr char kMsgSettingCannotWrite[] = "'%s' の設定に失敗しました";
inline constexpr char kMsgSettingsCannotSave[] = "設定ファイルを保存できません (%s)";
inline constexpr char kMsgSettingsUnreadable[] = "設定ファイル %s を読み込めません";
inline constexpr char kMsgSettingsDamaged[] = "設定ファイル %s は壊れています";
inline constexpr char kMsgSettingsBackup[] = "元の設定ファイルを %s として残しました";
inline constexpr char kMsgSettingsNoBackup[] =
    "設定ファイル %s の控えを作成できません。読めなかった設定は終了時に失われます";

// The main window's share of the settings, named after the stored values. The initial values
// are the window's designed placement and the default choices.
struct TWindowSettings {
  static constexpr int32_t kStateNormal = 0;
  static constexpr int32_t kStateMinimised = 1;
  static constexpr int32_t kStateMaximised = 2;
  // 1/8 ... 8/1, then the picture fitted to the window.
  static constexpr int32_t kViewRateCount = 8;

  int32_t App_Top = 319;
  int32_t App_Left = 323;
  int32_t App_Height = 480;  // outer size
  int32_t App_Width = 696;
  int32_t App_WindowState = kStateNormal;
  int32_t gViewRate = 3;  // "100.0% (1/1)"
  int32_t gTrimMode = TTrimModeList::kFreeMode;

  friend bool operator==(const TWindowSettings&, const TWindowSettings&) = default;
};

// Applies every stored value that is present. Preconditions: appSettings and window hold their
// initial values and trimModes the built-in presets. A stored preset count replaces the user
// presets by the stored ones.
// Returns false when something could not be read; message then says what, one line each: a
// value present with the wrong type or out of range (it keeps its initial value, all others are
// still read), a preset without its size (dropped, the others kept), a damaged file (whatever
// lines could be read are used) or a store that cannot be read at all (everything stays as it
// was). When the presets could not be read whole or the file is damaged, the file is first kept
// beside as a backup, since the exit writes back only what was read; message says where.
bool LoadSettings(TSettingsStore& store, TWindowSettings& window, TTrimModeList& trimModes,
                  TAppSettings& appSettings, QString& message);

// Writes every value (the four bounds only while the window is in the normal state, so a run
// that ends maximised keeps the normal bounds of an earlier one). Returns false when a value
// cannot be written; message then names it. A store that cannot be opened writes nothing and
// counts as success. A store that cannot keep what was written names the file or folder at
// fault and the system's reason. Presets beyond the new count are left in the store and
// ignored.
bool SaveSettings(TSettingsStore& store, const TWindowSettings& window,
                  const TTrimModeList& trimModes, const TAppSettings& appSettings,
                  QString& message);

}  // namespace tarvo
