#include "LoadSaveSettings.h"

namespace tarvo {
namespace {

QString NameMessage(const char* pattern, const QString& name) {
  return QString::fromUtf8(pattern).replace(QStringLiteral("%s"), name);
}

QString PresetValueName(const char* prefix, int32_t number) {
  return QLatin1StringView(prefix) + QString::number(number);
}

// Reads values for LoadSettings; the first failure leaves its message and stops the load.
class TSettingsReader {
 public:
  TSettingsReader(const TSettingsStore& store, QString& message)
      : store_(store), message_(message) {}

  // Each reads name into target when present and leaves target alone when absent. False, with
  // the message set, when the value is present but cannot be read as asked.
  bool IfPresent(const QString& name, int32_t& target, bool* present = nullptr) {
    int32_t value = 0;
    const TReadStatus status = store_.ReadInteger(name, value);
    if (present != nullptr) *present = status == TReadStatus::Ok;
    if (status == TReadStatus::Ok) target = value;
    return status == TReadStatus::Ok || status == TReadStatus::Absent || Fail(status, name);
  }

  bool IfPresent(const QString& name, bool& target) {
    int32_t value = 0;
    bool present = false;
    if (!IfPresent(name, value, &present)) return false;
    if (present) target = value != 0;
    return true;
  }

  bool IfPresent(const QString& name, QString& target) {
    QString value;
    const TReadStatus status = store_.ReadString(name, value);
    if (status == TReadStatus::Ok) target = value;
    return status == TReadStatus::Ok || status == TReadStatus::Absent || Fail(status, name);
  }

  // Like IfPresent, but an absent value fails as well.
  bool Required(const QString& name, int32_t& target) {
    const TReadStatus status = store_.ReadInteger(name, target);
    return status == TReadStatus::Ok || Fail(status, name);
  }

 private:
  bool Fail(TReadStatus status, const QString& name) {
    message_ = NameMessage(
        status == TReadStatus::WrongType ? kMsgSettingWrongType : kMsgSettingCannotRead, name);
    return false;
  }

  const TSettingsStore& store_;
  QString& message_;
};

bool ReadUserPreset(TSettingsReader& read, int32_t number, TTrimModePreset& preset) {
  return read.IfPresent(PresetValueName("Mode_Title_", number), preset.Title) &&
         read.IfPresent(PresetValueName("Mode_Explanation_", number), preset.Explanation) &&
         read.Required(PresetValueName("Mode_AspectRatio_X_", number), preset.AspectRatio_X) &&
         read.Required(PresetValueName("Mode_AspectRatio_Y_", number), preset.AspectRatio_Y) &&
         read.IfPresent(PresetValueName("Mode_ExtendSize_", number), preset.ExtendSize) &&
         read.IfPresent(PresetValueName("Mode_FixAspectRatio_", number), preset.FixAspectRatio);
}

bool ReadValues(TSettingsReader& read, TWindowSettings& window, TTrimModeList& trimModes,
                TAppSettings& appSettings) {
  if (!read.IfPresent(QStringLiteral("App_Top"), window.App_Top) ||
      !read.IfPresent(QStringLiteral("App_Left"), window.App_Left) ||
      !read.IfPresent(QStringLiteral("App_Height"), window.App_Height) ||
      !read.IfPresent(QStringLiteral("App_Width"), window.App_Width) ||
      !read.IfPresent(QStringLiteral("App_WindowState"), window.App_WindowState) ||
      !read.IfPresent(QStringLiteral("gViewRate"), window.gViewRate)) {
    return false;
  }

  int32_t modeCount = 0;
  bool modeCountStored = false;
  if (!read.IfPresent(QStringLiteral("gModeCount"), modeCount, &modeCountStored)) return false;
  if (modeCountStored) {
    // A stored count, even 0, replaces the factory presets: the user may have deleted them.
    trimModes.KeepBuiltInModesOnly();
    for (int32_t number = 0; number < modeCount; ++number) {
      TTrimModePreset preset;
      if (!ReadUserPreset(read, number, preset)) return false;
      trimModes.Append(std::move(preset));
    }
  }

  return read.IfPresent(QStringLiteral("gTrimMode"), window.gTrimMode) &&
         read.IfPresent(QStringLiteral("gAllowDropExif"), appSettings.gAllowDropExif) &&
         read.IfPresent(QStringLiteral("ShowExplanation_AdjustRect"),
                        appSettings.ShowExplanation_AdjustRect) &&
         read.IfPresent(QStringLiteral("ShowExplanation_AllowDropExif"),
                        appSettings.ShowExplanation_AllowDropExif) &&
         read.IfPresent(QStringLiteral("gKeepTimeStamp_Create"),
                        appSettings.gKeepTimeStamp_Create) &&
         read.IfPresent(QStringLiteral("gKeepTimeStamp_Write"), appSettings.gKeepTimeStamp_Write) &&
         read.IfPresent(QStringLiteral("gSaveFolder"), appSettings.gSaveFolder) &&
         read.IfPresent(QStringLiteral("gSaveFolderName"), appSettings.gSaveFolderName);
}

// A hand-edited file may hold any number; the window and the preset list only ever see
// indexes that exist. Out-of-range choices fall back to the defaults.
void KeepIndexesInRange(TWindowSettings& window, const TTrimModeList& trimModes) {
  const TWindowSettings defaults;
  if (window.App_WindowState < TWindowSettings::kStateNormal ||
      window.App_WindowState > TWindowSettings::kStateMaximised) {
    window.App_WindowState = defaults.App_WindowState;
  }
  if (window.gViewRate < 0 || window.gViewRate >= TWindowSettings::kViewRateCount) {
    window.gViewRate = defaults.gViewRate;
  }
  if (trimModes.Find(window.gTrimMode) == nullptr) window.gTrimMode = defaults.gTrimMode;
}

// Writes values for SaveSettings; the first failure leaves its message and stops the save.
class TSettingsWriter {
 public:
  TSettingsWriter(TSettingsStore& store, QString& message) : store_(store), message_(message) {}

  bool Integer(const QString& name, int32_t value) {
    return store_.WriteInteger(name, value) || Fail(name);
  }
  bool Boolean(const QString& name, bool value) { return Integer(name, value ? 1 : 0); }
  bool String(const QString& name, const QString& value) {
    return store_.WriteString(name, value) || Fail(name);
  }

 private:
  bool Fail(const QString& name) {
    message_ = NameMessage(kMsgSettingCannotWrite, name);
    return false;
  }

  TSettingsStore& store_;
  QString& message_;
};

bool WriteUserPreset(TSettingsWriter& write, int32_t number, const TTrimModePreset& preset) {
  return write.String(PresetValueName("Mode_Title_", number), preset.Title) &&
         write.String(PresetValueName("Mode_Explanation_", number), preset.Explanation) &&
         write.Integer(PresetValueName("Mode_AspectRatio_X_", number), preset.AspectRatio_X) &&
         write.Integer(PresetValueName("Mode_AspectRatio_Y_", number), preset.AspectRatio_Y) &&
         write.Boolean(PresetValueName("Mode_ExtendSize_", number), preset.ExtendSize) &&
         write.Boolean(PresetValueName("Mode_FixAspectRatio_", number), preset.FixAspectRatio);
}

bool WriteValues(TSettingsWriter& write, const TWindowSettings& window,
                 const TTrimModeList& trimModes, const TAppSettings& appSettings) {
  if (!write.Integer(QStringLiteral("App_WindowState"), window.App_WindowState)) return false;
  if (window.App_WindowState == TWindowSettings::kStateNormal &&
      !(write.Integer(QStringLiteral("App_Top"), window.App_Top) &&
        write.Integer(QStringLiteral("App_Left"), window.App_Left) &&
        write.Integer(QStringLiteral("App_Height"), window.App_Height) &&
        write.Integer(QStringLiteral("App_Width"), window.App_Width))) {
    return false;
  }
  if (!write.Integer(QStringLiteral("gViewRate"), window.gViewRate) ||
      !write.Integer(QStringLiteral("gTrimMode"), window.gTrimMode) ||
      !write.Boolean(QStringLiteral("gAllowDropExif"), appSettings.gAllowDropExif) ||
      !write.Boolean(QStringLiteral("ShowExplanation_AdjustRect"),
                     appSettings.ShowExplanation_AdjustRect) ||
      !write.Boolean(QStringLiteral("ShowExplanation_AllowDropExif"),
                     appSettings.ShowExplanation_AllowDropExif) ||
      !write.Integer(QStringLiteral("gModeCount"), trimModes.UserPresetCount())) {
    return false;
  }
  for (int index = TTrimModeList::kFirstUserPreset; index < trimModes.Count(); ++index) {
    if (!WriteUserPreset(write, index - TTrimModeList::kFirstUserPreset, trimModes[index])) {
      return false;
    }
  }
  return write.Boolean(QStringLiteral("gKeepTimeStamp_Create"),
                       appSettings.gKeepTimeStamp_Create) &&
         write.Boolean(QStringLiteral("gKeepTimeStamp_Write"), appSettings.gKeepTimeStamp_Write) &&
         write.Boolean(QStringLiteral("gSaveFolder"), appSettings.gSaveFolder) &&
         write.String(QStringLiteral("gSaveFolderName"), appSettings.gSaveFolderName);
}

}  // namespace

bool LoadSettings(TSettingsStore& store, TWindowSettings& window, TTrimModeList& trimModes,
                  TAppSettings& appSettings, QString& message) {
  if (!store.Open()) return true;
  TSettingsReader read(store, message);
  const bool loaded = ReadValues(read, window, trimModes, appSettings);
  store.Close();
  KeepIndexesInRange(window, trimModes);
  return loaded;
}

bool SaveSettings(TSettingsStore& store, const TWindowSettings& window,
                  const TTrimModeList& trimModes, const TAppSettings& appSettings,
                  QString& message) {
  if (!store.Open()) return true;
  TSettingsWriter write(store, message);
  const bool written = WriteValues(write, window, trimModes, appSettings);
  if (!store.Close() && written) {
    // The store keeps all values or none, so the first value written is the one that failed.
    message = NameMessage(kMsgSettingCannotWrite, QStringLiteral("App_WindowState"));
    return false;
  }
  return written;
}

}  // namespace tarvo
