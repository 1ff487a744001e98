#include "LoadSaveSettings.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <cerrno>
#include <cstring>
#include <vector>

namespace tarvo {

using namespace Qt::StringLiterals;

namespace {

// A settings file in a temporary folder, written by hand where a test needs a damaged one.
class SettingsFileTest : public testing::Test {
 protected:
  QString Path() const { return dir_.filePath("tarvo.conf"); }

  void WriteFile(const QByteArray& text) {
    QFile file(Path());
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[General]\n" + text);
  }

  QVariant Stored(const QString& name) const {
    return QSettings(Path(), QSettings::NativeFormat).value(name);
  }

  bool Load() {
    TQSettingsStore store(Path());
    return LoadSettings(store, window_, modes_, app_, message_);
  }

  bool Save() {
    TQSettingsStore store(Path());
    return SaveSettings(store, window_, modes_, app_, message_);
  }

  QTemporaryDir dir_;
  TWindowSettings window_;
  TTrimModeList modes_;
  TAppSettings app_;
  QString message_;
};

TEST_F(SettingsFileTest, FirstRunKeepsDefaultsAndSavesTheFactoryPresets) {
  ASSERT_TRUE(Load());
  EXPECT_EQ(window_, TWindowSettings());
  EXPECT_EQ(window_.App_Left, 323);
  EXPECT_EQ(window_.App_Top, 319);
  EXPECT_EQ(window_.gViewRate, 3);
  EXPECT_EQ(modes_, TTrimModeList());
  EXPECT_EQ(app_, TAppSettings());
  EXPECT_TRUE(app_.ShowExplanation_AdjustRect);
  EXPECT_TRUE(app_.ShowExplanation_AllowDropExif);

  ASSERT_TRUE(Save());
  EXPECT_EQ(Stored("gModeCount").toString(), "4");
  EXPECT_EQ(Stored("Mode_Title_0").toString(), u"\uFF2C版(横)"_s);
  EXPECT_EQ(Stored("Mode_Title_3").toString(), u"カメラ(縦)"_s);
  EXPECT_EQ(Stored("Mode_Explanation_1").toString(), "(89mm x 127mm / 1074 x 1524)");
  EXPECT_EQ(Stored("Mode_AspectRatio_X_0").toString(), "1524");
  EXPECT_EQ(Stored("Mode_ExtendSize_2").toString(), "1");
  EXPECT_EQ(Stored("Mode_FixAspectRatio_3").toString(), "1");
  EXPECT_FALSE(Stored("Mode_Title_4").isValid());
  EXPECT_EQ(Stored("App_Width").toString(), "696");
  EXPECT_EQ(Stored("gAllowDropExif").toString(), "0");
  EXPECT_EQ(Stored("gKeepThumbnails").toString(), "0");
  EXPECT_EQ(Stored("gSaveFolderName").toString(), "");
}

TEST_F(SettingsFileTest, EverythingSavedIsLoadedBack) {
  window_ = {10, -20, 600, 800, TWindowSettings::kStateNormal, 6, 3};
  modes_.Append({u"名刺, 横"_s, "@odd \"quoted\" text", 91, 55, false, false});
  app_ = {true, true, false, false, true, true, true, "/home/user/写真/"};
  ASSERT_TRUE(Save());

  TWindowSettings window;
  TTrimModeList modes;
  TAppSettings app;
  TQSettingsStore store(Path());
  ASSERT_TRUE(LoadSettings(store, window, modes, app, message_)) << message_.toStdString();
  EXPECT_EQ(window, window_);
  EXPECT_EQ(modes, modes_);
  EXPECT_EQ(app, app_);
}

TEST_F(SettingsFileTest, StoredCountReplacesTheFactoryPresets) {
  WriteFile(
      "gModeCount=1\nMode_Title_0=A4\nMode_AspectRatio_X_0=297\nMode_AspectRatio_Y_0=210\n"
      "gTrimMode=2\n");
  ASSERT_TRUE(Load());
  ASSERT_EQ(modes_.Count(), 3);
  // Absent explanation and flags: empty text, both flags on.
  EXPECT_EQ(modes_[2], (TTrimModePreset{"A4", "", 297, 210, true, true}));
  EXPECT_EQ(window_.gTrimMode, 2);

  WriteFile("gModeCount=0\n");
  TTrimModeList modes;
  TQSettingsStore store(Path());
  ASSERT_TRUE(LoadSettings(store, window_, modes, app_, message_));
  EXPECT_EQ(modes.Count(), 2);
}

TEST_F(SettingsFileTest, MissingPresetSizeDropsThatPresetAlone) {
  WriteFile(
      "App_Top=5\ngModeCount=2\n"
      "Mode_Title_0=one\nMode_AspectRatio_X_0=1\nMode_AspectRatio_Y_0=2\n"
      "Mode_Title_1=two\nMode_AspectRatio_X_1=3\n"
      "gTrimMode=2\ngAllowDropExif=1\ngKeepThumbnails=1\ngWipeFill=2\n");
  EXPECT_FALSE(Load());
  EXPECT_EQ(message_, u"'Mode_AspectRatio_Y_1' の取得に失敗しました\n元の設定ファイルを "_s +
                          Path() + u".bak として残しました"_s);
  EXPECT_EQ(window_.App_Top, 5);
  ASSERT_EQ(modes_.Count(), 3);
  EXPECT_EQ(modes_[2].Title, "one");
  EXPECT_EQ(window_.gTrimMode, 2);
  EXPECT_TRUE(app_.gAllowDropExif);
  EXPECT_TRUE(app_.gKeepThumbnails);
  EXPECT_EQ(app_.gWipeFill, 2);
}

TEST_F(SettingsFileTest, WrongTypeIsNamedAndKeepsItsDefaultAlone) {
  WriteFile("App_Top=7\nApp_Left=abc\nApp_Height=100\ngSaveFolder=1\n");
  EXPECT_FALSE(Load());
  EXPECT_EQ(message_, u"'App_Left' のデータ型が不正です"_s);
  EXPECT_EQ(window_.App_Top, 7);
  EXPECT_EQ(window_.App_Left, 323);
  EXPECT_EQ(window_.App_Height, 100);
  EXPECT_TRUE(app_.gSaveFolder);
  EXPECT_FALSE(QFile::exists(Path() + ".bak"));
}

// Damaged files: what is named, which presets are used, and that the exit's save loses none of
// the user's presets (they stay in the file, or in the backup beside it).
TEST_F(SettingsFileTest, DamagedFilesKeepEveryReadableValue) {
  const QByteArray presets =
      "Mode_Title_0=mine\nMode_AspectRatio_X_0=3\nMode_AspectRatio_Y_0=2\n"
      "Mode_Title_1=also\nMode_AspectRatio_X_1=5\nMode_AspectRatio_Y_1=4\n";
  const QByteArray after = "gTrimMode=3\ngSaveFolderName=/photos/\n";
  const struct {
    const char* what;
    QByteArray text;
    QStringList named;   // in the message, one line each
    QStringList titles;  // of the user presets loaded
    bool backup;
  } cases[] = {
      {"bad window value",
       "App_Top=abc\ngModeCount=2\n" + presets + after,
       {"'App_Top'"},
       {"mine", "also"},
       false},
      {"empty count", "gModeCount=\n" + presets + after, {"'gModeCount'"}, {"mine", "also"}, true},
      {"word count",
       "gModeCount=two\n" + presets + after,
       {"'gModeCount'"},
       {"mine", "also"},
       true},
      {"negative count",
       "gModeCount=-5\n" + presets + after,
       {"'gModeCount'"},
       {"mine", "also"},
       true},
      {"huge width",
       "App_Width=99999999999\ngModeCount=2\n" + presets + after,
       {"'App_Width'"},
       {"mine", "also"},
       false},
      {"bad value in one preset",
       "gModeCount=2\n" + QByteArray(presets).replace("X_0=3", "X_0=wide") + after,
       {"'Mode_AspectRatio_X_0'"},
       {"also"},
       true},
      {"count beyond the presets",
       "gModeCount=9\n" + presets + after,
       {"'Mode_AspectRatio_X_2'"},
       {"mine", "also"},
       true},
      // The exit removes presets beyond its count: any left were never loaded.
      {"preset beyond the count",
       "gModeCount=1\n" + presets + after,
       {"'Mode_AspectRatio_X_1' は gModeCount"},
       {"mine"},
       true},
      {"cut off",
       "gModeCount=2\n" + presets + after + "gKeepTime",
       {"は壊れています"},
       {"mine", "also"},
       true},
      // Qt reads a quoted value on over the lines after it.
      {"quote left open",
       "gSaveFolderName=\"/photos\ngModeCount=2\n" + presets,
       {"は壊れています"},
       {u"\uFF2C版(横)"_s, u"\uFF2C版(縦)"_s, u"カメラ(横)"_s, u"カメラ(縦)"_s},
       true},
      // The count comes after the presets in the file: a lost tail takes it with it.
      {"count lost with the tail",
       presets + "gAllowDropExif=1\n",
       {"'gModeCount'"},
       {"mine", "also"},
       true},
      {"random bytes",
       QByteArray("\x01\xFF[\x80zz\n\x00\x13=\x9F\n[\xE3", 14),
       {"は壊れています"},
       {u"\uFF2C版(横)"_s, u"\uFF2C版(縦)"_s, u"カメラ(横)"_s, u"カメラ(縦)"_s},
       true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    QFile::remove(Path() + ".bak");
    WriteFile(c.text);
    window_ = {};
    app_ = {};
    SetDefaultTrimModes(modes_);
    EXPECT_FALSE(Load());
    const QStringList lines = message_.split('\n');
    ASSERT_EQ(lines.size(), c.named.size() + (c.backup ? 1 : 0)) << message_.toStdString();
    for (int i = 0; i < c.named.size(); ++i) {
      EXPECT_TRUE(lines[i].contains(c.named[i])) << lines[i].toStdString();
    }
    QStringList titles;
    for (int i = TTrimModeList::kFirstUserPreset; i < modes_.Count(); ++i)
      titles << modes_[i].Title;
    EXPECT_EQ(titles, c.titles);
    EXPECT_EQ(QFile::exists(Path() + ".bak"), c.backup);
    if (c.text.contains("gTrimMode=3") && c.titles.size() == 2) {
      EXPECT_EQ(window_.gTrimMode, 3);
      EXPECT_EQ(app_.gSaveFolderName, "/photos/");
    }
    // The exit writes what was read; the damaged original stays in the backup.
    ASSERT_TRUE(Save());
    EXPECT_EQ(Stored("gModeCount").toInt(), c.titles.size());
    if (c.backup) {
      QFile backup(Path() + ".bak");
      ASSERT_TRUE(backup.open(QIODevice::ReadOnly));
      EXPECT_EQ(backup.readAll(), "[General]\n" + c.text);
    }
  }
}

TEST_F(SettingsFileTest, UnreadableOrMistypedValuesGiveTheirMessages) {
  const struct {
    QByteArray line;
    QString message;
  } cases[] = {
      {"App_Width=99999999999", u"'App_Width' の取得に失敗しました"_s},
      {"App_Width=99999999999999999999999", u"'App_Width' の取得に失敗しました"_s},
      {"gViewRate=0x10", u"'gViewRate' のデータ型が不正です"_s},
      {"gAllowDropExif=true", u"'gAllowDropExif' のデータ型が不正です"_s},
      {"gWipeFill=mosaic", u"'gWipeFill' のデータ型が不正です"_s},
      {"gSaveFolderName=@Variant(\\0\\0\\0\\x2\\0\\0\\0\\x5)",
       u"'gSaveFolderName' のデータ型が不正です"_s},
      {"gModeCount=1\nMode_Title_0=x\nMode_AspectRatio_X_0=1\nMode_AspectRatio_Y_0=1\n"
       "Mode_ExtendSize_0=yes",
       u"'Mode_ExtendSize_0' のデータ型が不正です"_s},
  };
  for (const auto& c : cases) {
    WriteFile(c.line + "\n");
    window_ = {};
    app_ = {};
    SetDefaultTrimModes(modes_);
    EXPECT_FALSE(Load()) << c.line.toStdString();
    EXPECT_EQ(message_.split('\n').constFirst(), c.message) << c.line.toStdString();
  }
}

TEST_F(SettingsFileTest, LongTitleIsCutTo255ShiftJisBytes) {
  WriteFile("gModeCount=1\nMode_Title_0=" + QString(200, u'長').toUtf8() +
            "\nMode_AspectRatio_X_0=1\nMode_AspectRatio_Y_0=1\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(modes_[2].Title, QString(127, u'長'));
}

TEST_F(SettingsFileTest, FewerPresetsRemoveTheValuesOfThoseBeyond) {
  for (int i = 0; i < 3; ++i) modes_.Append({QString("extra %1").arg(i), "", 4, 3, true, true});
  ASSERT_TRUE(Save());  // seven user presets
  modes_.Remove(2);
  modes_.Remove(2);
  ASSERT_TRUE(Save());
  EXPECT_EQ(Stored("gModeCount").toString(), "5");
  EXPECT_EQ(Stored("Mode_Title_0").toString(), u"カメラ(横)"_s);
  EXPECT_TRUE(Stored("Mode_Title_4").isValid());
  EXPECT_FALSE(Stored("Mode_Title_5").isValid());
  EXPECT_FALSE(Stored("Mode_FixAspectRatio_6").isValid());

  TTrimModeList modes;
  TQSettingsStore store(Path());
  ASSERT_TRUE(LoadSettings(store, window_, modes, app_, message_)) << message_.toStdString();
  EXPECT_EQ(modes, modes_);
}

TEST_F(SettingsFileTest, MaximisedWindowLeavesTheNormalBoundsAlone) {
  WriteFile("App_Top=11\nApp_Left=22\nApp_Height=333\nApp_Width=444\n");
  window_ = {1, 2, 3000, 4000, TWindowSettings::kStateMaximised, 3, 0};
  ASSERT_TRUE(Save());
  EXPECT_EQ(Stored("App_WindowState").toString(), "2");
  EXPECT_EQ(Stored("App_Top").toString(), "11");
  EXPECT_EQ(Stored("App_Width").toString(), "444");

  ASSERT_TRUE(Load());
  EXPECT_EQ(window_.App_WindowState, TWindowSettings::kStateMaximised);
  EXPECT_EQ(window_.App_Height, 333);
}

TEST_F(SettingsFileTest, OutOfRangeIndexesFallBackToDefaults) {
  WriteFile("App_WindowState=9\ngViewRate=8\ngTrimMode=6\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(window_.App_WindowState, TWindowSettings::kStateNormal);
  EXPECT_EQ(window_.gViewRate, 3);
  EXPECT_EQ(window_.gTrimMode, TTrimModeList::kFreeMode);

  // The last item, the picture fitted to the window, is a rate of its own.
  WriteFile("gViewRate=7\n");
  window_ = {};
  ASSERT_TRUE(Load());
  EXPECT_EQ(window_.gViewRate, 7);

  // A saved "no selection" comes back as the free mode too.
  WriteFile("gTrimMode=-1\ngViewRate=-1\n");
  window_ = {};
  ASSERT_TRUE(Load());
  EXPECT_EQ(window_.gTrimMode, 0);
  EXPECT_EQ(window_.gViewRate, 3);
}

TEST_F(SettingsFileTest, NamesMatchWithoutRegardToCase) {
  WriteFile("app_top=42\nGMODECOUNT=0\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(window_.App_Top, 42);
  EXPECT_EQ(modes_.Count(), 2);
  ASSERT_TRUE(Save());
  const QSettings file(Path(), QSettings::NativeFormat);
  EXPECT_EQ(file.value("app_top").toString(), "42");
  EXPECT_FALSE(file.contains("App_Top"));
}

TEST_F(SettingsFileTest, UnreadableStoreLeavesEverythingAsItWas) {
  ASSERT_TRUE(QDir(dir_.path()).mkdir("tarvo.conf"));  // a folder where the file should be
  window_.App_Top = 1;
  ASSERT_FALSE(Load());
  EXPECT_EQ(message_, u"設定ファイル "_s + Path() + u" を読み込めません"_s);
  message_.clear();
  EXPECT_EQ(window_.App_Top, 1);
  EXPECT_EQ(modes_, TTrimModeList());
  EXPECT_TRUE(Save());
  EXPECT_TRUE(message_.isEmpty());
}

TEST_F(SettingsFileTest, HandWrittenTextWithCommasIsOneText) {
  WriteFile(
      "gModeCount=1\nMode_Title_0=4x6, wide\nMode_AspectRatio_X_0=6\nMode_AspectRatio_Y_0=4\n");
  ASSERT_TRUE(Load());
  EXPECT_EQ(modes_[2].Title, "4x6, wide");
}

// Records what SaveSettings writes and fails at one chosen value.
class RecordingStore final : public TSettingsStore {
 public:
  bool Open() override { return canOpen; }
  QStringList Names() const override { return {}; }
  TReadStatus ReadInteger(const QString&, int32_t&) const override { return TReadStatus::Absent; }
  TReadStatus ReadString(const QString&, QString&) const override { return TReadStatus::Absent; }
  bool WriteInteger(const QString& name, int32_t) override { return Write(name); }
  bool WriteString(const QString& name, const QString&) override { return Write(name); }
  void Remove(const QString&) override {}
  bool Close(QString& reason) override {
    reason = u"/home/u/.config: boom"_s;
    return canClose;
  }
  bool Damaged() const override { return false; }
  QString KeepBackup() override { return {}; }
  QString FileName() const override { return {}; }

  bool canOpen = true;
  bool canClose = true;
  QString failAt;
  QStringList written;

 private:
  bool Write(const QString& name) {
    if (name == failAt) return false;
    written << name;
    return true;
  }
};

TEST(SaveSettings, WritesEveryValueInOrder) {
  RecordingStore store;
  TTrimModeList modes;
  modes.KeepBuiltInModesOnly();
  modes.Append({});
  QString message;
  ASSERT_TRUE(SaveSettings(store, {}, modes, {}, message));
  const QStringList expected = {"App_WindowState",
                                "App_Top",
                                "App_Left",
                                "App_Height",
                                "App_Width",
                                "gViewRate",
                                "gTrimMode",
                                "gAllowDropExif",
                                "gKeepThumbnails",
                                "ShowExplanation_AdjustRect",
                                "ShowExplanation_AllowDropExif",
                                "gModeCount",
                                "Mode_Title_0",
                                "Mode_Explanation_0",
                                "Mode_AspectRatio_X_0",
                                "Mode_AspectRatio_Y_0",
                                "Mode_ExtendSize_0",
                                "Mode_FixAspectRatio_0",
                                "gKeepTimeStamp_Create",
                                "gKeepTimeStamp_Write",
                                "gSaveFolder",
                                "gSaveFolderName",
                                "gWipeFill"};
  EXPECT_EQ(store.written, expected);
}

TEST(SaveSettings, FailedWriteIsNamedAndStopsTheSave) {
  RecordingStore store;
  store.failAt = "gModeCount";
  QString message;
  EXPECT_FALSE(SaveSettings(store, {}, TTrimModeList(), {}, message));
  EXPECT_EQ(message, u"'gModeCount' の設定に失敗しました"_s);
  EXPECT_EQ(store.written.last(), "ShowExplanation_AllowDropExif");

  RecordingStore unsaved;
  unsaved.canClose = false;
  EXPECT_FALSE(SaveSettings(unsaved, {}, TTrimModeList(), {}, message));
  EXPECT_EQ(message, u"設定ファイルを保存できません (/home/u/.config: boom)"_s);
}

// A file that cannot be kept names where and why, for the real store too.
TEST(SaveSettings, AFileThatCannotBeKeptIsNamedWithTheReason) {
  TQSettingsStore store(u"/proc/tarvo-settings-test/tarvo.conf"_s);
  QString message;
  EXPECT_FALSE(SaveSettings(store, {}, TTrimModeList(), {}, message));
  EXPECT_EQ(message, u"設定ファイルを保存できません (/proc/tarvo-settings-test: "_s +
                         QString::fromLocal8Bit(std::strerror(ENOENT)) + u")"_s);
}

TEST(SaveSettings, StoreThatCannotBeOpenedIsLeftAloneSilently) {
  RecordingStore store;
  store.canOpen = false;
  QString message;
  EXPECT_TRUE(SaveSettings(store, {}, TTrimModeList(), {}, message));
  EXPECT_TRUE(store.written.isEmpty());
  EXPECT_TRUE(message.isEmpty());
}

}  // namespace
}  // namespace tarvo
