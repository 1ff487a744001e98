#include "LoadSaveSettings.h"

#include <QStringList>
#include <climits>
#include <vector>

namespace tarvo {
namespace {

QString NameMessage(const char* pattern, const QString& name) {
  return QString::fromUtf8(pattern).replace(QStringLiteral("%s"), name);
}

QString PresetValueName(const char* prefix, int32_t number) {
  return QLatin1StringView(prefix) + QString::number(number);
}

// Reads values for LoadSettings. A value that cannot be read is named in problems and leaves
// its target alone, so it keeps its default while every other value is still read.
class TSettingsReader {
 public:
  TSettingsReader(const TSettingsStore& store, QStringList& problems)
      : store_(store), problems_(problems) {}

  // Each reads name into target when present and leaves target alone when absent. False when
  // the value is present but cannot be read as asked.
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

  const TSettingsStore& Store() const { return store_; }

  bool Absent(const QString& name) const {
    QString ignored;
    return store_.ReadString(name, ignored) == TReadStatus::Absent;
  }

  // For a value that reads as a number but is none the program can use.
  bool Fail(TReadStatus status, const QString& name) {
    return Fail(status == TReadStatus::WrongType ? kMsgSettingWrongType : kMsgSettingCannotRead,
                name);
  }
  bool Fail(const char* pattern, const QString& name) {
    problems_ << NameMessage(pattern, name);
    return false;
  }

 private:
  const TSettingsStore& store_;
  QStringList& problems_;
};

constexpr const char* kPresetValuePrefixes[] = {"Mode_Title_",         "Mode_Explanation_",
                                                "Mode_AspectRatio_X_", "Mode_AspectRatio_Y_",
                                                "Mode_ExtendSize_",    "Mode_FixAspectRatio_"};

// The preset number a per-preset value name ends in; -1 for any other name.
int64_t PresetNumberOf(const QString& name) {
  for (const char* prefix : kPresetValuePrefixes) {
    const QLatin1StringView start(prefix);
    if (!name.startsWith(start, Qt::CaseInsensitive)) continue;
    const QStringView digits = QStringView(name).sliced(start.size());
    // Ten digits hold every count the file can state.
    if (digits.isEmpty() || digits.size() > 10) return -1;
    for (const QChar digit : digits) {
      if (digit < u'0' || digit > u'9') return -1;
    }
    return digits.toLongLong();
  }
  return -1;
}

// The first stored value of a preset numbered count or more, or empty.
QString ValueBeyondCount(const TSettingsStore& store, int32_t count) {
  for (const QString& name : store.Names()) {
    if (PresetNumberOf(name) >= count) return name;
  }
  return {};
}

bool PresetAbsent(const TSettingsReader& read, int32_t number) {
  for (const char* prefix : kPresetValuePrefixes) {
    if (!read.Absent(PresetValueName(prefix, number))) return false;
  }
  return true;
}

// False when a value of the preset could not be read: a size the preset cannot do without
// drops it (kept false), any other value keeps its default.
bool ReadUserPreset(TSettingsReader& read, int32_t number, TTrimModePreset& preset, bool& kept) {
  // Every value is read, so that each bad one is named.
  const bool title = read.IfPresent(PresetValueName("Mode_Title_", number), preset.Title);
  const bool explanation =
      read.IfPresent(PresetValueName("Mode_Explanation_", number), preset.Explanation);
  const bool x =
      read.Required(PresetValueName("Mode_AspectRatio_X_", number), preset.AspectRatio_X);
  const bool y =
      read.Required(PresetValueName("Mode_AspectRatio_Y_", number), preset.AspectRatio_Y);
  const bool extend =
      read.IfPresent(PresetValueName("Mode_ExtendSize_", number), preset.ExtendSize);
  const bool fix =
      read.IfPresent(PresetValueName("Mode_FixAspectRatio_", number), preset.FixAspectRatio);
  kept = x && y;
  return title && explanation && x && y && extend && fix;
}

// Reads the user presets; false when they could not all be read as stored.
bool ReadUserPresets(TSettingsReader& read, TTrimModeList& trimModes) {
  int32_t modeCount = 0;
  bool modeCountStored = false;
  bool whole = read.IfPresent(QStringLiteral("gModeCount"), modeCount, &modeCountStored);
  if (whole && modeCount < 0)
    whole = read.Fail(TReadStatus::Unreadable, QStringLiteral("gModeCount"));
  if (whole && !modeCountStored) {
    if (PresetAbsent(read, 0)) return true;
    // The count is written after the presets: a file that lost its tail lost it too. The
    // presets are read as far as they go, and the file is kept.
    whole = read.Fail(TReadStatus::Absent, QStringLiteral("gModeCount"));
  }
  // Without a usable count, the presets stored are read up to the first number none has.
  if (!whole) modeCount = INT32_MAX;
  std::vector<TTrimModePreset> presets;
  for (int32_t number = 0; number < modeCount; ++number) {
    if (PresetAbsent(read, number)) {
      whole =
          whole && read.Fail(TReadStatus::Absent, PresetValueName("Mode_AspectRatio_X_", number));
      break;
    }
    TTrimModePreset preset;
    bool kept = false;
    whole = ReadUserPreset(read, number, preset, kept) && whole;
    if (kept) presets.push_back(std::move(preset));
  }
  // The exit removes the values of presets beyond the count it writes: any still here were
  // never loaded, by a count edited or damaged since, and would be lost at the exit.
  if (whole && modeCountStored) {
    if (const QString beyond = ValueBeyondCount(read.Store(), modeCount); !beyond.isEmpty()) {
      whole = read.Fail(kMsgSettingBeyondCount, beyond);
    }
  }
  // A stored count, even 0, replaces the factory presets: the user may have deleted them. A
  // bad count with no preset found leaves the factory presets.
  if (modeCountStored || !presets.empty()) {
    trimModes.KeepBuiltInModesOnly();
    for (TTrimModePreset& preset : presets) trimModes.Append(std::move(preset));
  }
  return whole;
}

// False when the presets could not be read whole; every other problem is only named.
bool ReadValues(TSettingsReader& read, TWindowSettings& window, TTrimModeList& trimModes,
                TAppSettings& appSettings) {
  read.IfPresent(QStringLiteral("App_Top"), window.App_Top);
  read.IfPresent(QStringLiteral("App_Left"), window.App_Left);
  read.IfPresent(QStringLiteral("App_Height"), window.App_Height);
  read.IfPresent(QStringLiteral("App_Width"), window.App_Width);
  read.IfPresent(QStringLiteral("App_WindowState"), window.App_WindowState);
  read.IfPresent(QStringLiteral("gViewRate"), window.gViewRate);
  const bool presetsWhole = ReadUserPresets(read, trimModes);
  read.IfPresent(QStringLiteral("gTrimMode"), window.gTrimMode);
  read.IfPresent(QStringLiteral("gAllowDropExif"), appSettings.gAllowDropExif);
  read.IfPresent(QStringLiteral("gKeepThumbnails"), appSettings.gKeepThumbnails);
  read.IfPresent(QStringLiteral("ShowExplanation_AdjustRect"),
                 appSettings.ShowExplanation_AdjustRect);
  read.IfPresent(QStringLiteral("ShowExplanation_AllowDropExif"),
                 appSettings.ShowExplanation_AllowDropExif);
  read.IfPresent(QStringLiteral("gKeepTimeStamp_Create"), appSettings.gKeepTimeStamp_Create);
  read.IfPresent(QStringLiteral("gKeepTimeStamp_Write"), appSettings.gKeepTimeStamp_Write);
  read.IfPresent(QStringLiteral("gSaveFolder"), appSettings.gSaveFolder);
  read.IfPresent(QStringLiteral("gSaveFolderName"), appSettings.gSaveFolderName);
  // Written only by versions that can wipe; a fill this one does not know stays grey.
  int32_t wipeFill = appSettings.gWipeFill;
  read.IfPresent(QStringLiteral("gWipeFill"), wipeFill);
  if (wipeFill >= 0 && wipeFill <= 2) appSettings.gWipeFill = wipeFill;
  return presetsWhole;
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
  // Removes every value of the presets numbered count or more.
  void RemovePresetsFrom(int32_t count) {
    for (QString name = ValueBeyondCount(store_, count); !name.isEmpty();
         name = ValueBeyondCount(store_, count)) {
      store_.Remove(name);
    }
  }
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
      !write.Boolean(QStringLiteral("gKeepThumbnails"), appSettings.gKeepThumbnails) ||
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
  write.RemovePresetsFrom(trimModes.UserPresetCount());
  return write.Boolean(QStringLiteral("gKeepTimeStamp_Create"),
                       appSettings.gKeepTimeStamp_Create) &&
         write.Boolean(QStringLiteral("gKeepTimeStamp_Write"), appSettings.gKeepTimeStamp_Write) &&
         write.Boolean(QStringLiteral("gSaveFolder"), appSettings.gSaveFolder) &&
         write.String(QStringLiteral("gSaveFolderName"), appSettings.gSaveFolderName) &&
         write.Integer(QStringLiteral("gWipeFill"), appSettings.gWipeFill);
}

}  // namespace

bool LoadSettings(TSettingsStore& store, TWindowSettings& window, TTrimModeList& trimModes,
                  TAppSettings& appSettings, QString& message) {
  if (!store.Open()) {
    message = NameMessage(kMsgSettingsUnreadable, store.FileName());
    return false;
  }
  QStringList problems;
  if (store.Damaged()) problems << NameMessage(kMsgSettingsDamaged, store.FileName());
  TSettingsReader read(store, problems);
  const bool presetsWhole = ReadValues(read, window, trimModes, appSettings);
  // The exit writes the presets as loaded: what could not be read would be lost for good.
  if (!presetsWhole || store.Damaged()) {
    const QString backup = store.KeepBackup();
    problems << (backup.isEmpty() ? NameMessage(kMsgSettingsNoBackup, store.FileName())
                                  : NameMessage(kMsgSettingsBackup, backup));
  }
  QString ignored;
  store.Close(ignored);
  KeepIndexesInRange(window, trimModes);
  message = problems.join(QLatin1Char('\n'));
  return problems.isEmpty();
}

bool SaveSettings(TSettingsStore& store, const TWindowSettings& window,
                  const TTrimModeList& trimModes, const TAppSettings& appSettings,
                  QString& message) {
  if (!store.Open()) return true;
  TSettingsWriter write(store, message);
  const bool written = WriteValues(write, window, trimModes, appSettings);
  if (QString reason; !store.Close(reason) && written) {
    // The store keeps all values or none: it is the file that failed, not a value.
    message = NameMessage(kMsgSettingsCannotSave, reason);
    return false;
  }
  return written;
}

}  // namespace tarvo
