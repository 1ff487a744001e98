#include "MainController.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <functional>

#include "JpegFixtures.h"

namespace tarvo {
namespace {

// The window as the controller sees it: what it was last told to show.
class TRecordingView : public TMainView {
 public:
  int ViewRateIndex() const override { return rateIndex; }
  int TrimModeIndex() const override { return 0; }
  void ShowPicture(const TPicture& picture, std::int32_t, std::int32_t) override {
    pictureSize = picture.Pixels.size();
  }
  void SetViewSize(int width, int height) override { viewSize = QSize(width, height); }
  void SetStatusText(const QString& text) override { status = text; }
  // As the desktop shows it: "[*]" becomes the marker while modified.
  void SetTitle(const QString& text, bool modified) override {
    title =
        QString(text).replace(QStringLiteral("[*]"), modified ? QStringLiteral("*") : QString());
  }
  void SetInformationText(const QString& text) override { information = text; }
  void SetCommandStates(const TCommandStates& states) override { commands = states; }
  void RepaintFrame(const TTrimRect&) override {}
  void SetPointer(TPointerShape) override {}
  void ShowSlowDecode(bool) override {}
  QString ChooseFileToOpen() override { return toOpen; }
  bool ExplainAdjustRect(bool&) override { return true; }

  int rateIndex = kViewRateOneToOne;
  QString toOpen;
  QSize pictureSize;
  QSize viewSize;
  QString status;
  QString title;
  QString information;
  TCommandStates commands;
};

// Saves where the test says, and answers every question with yes.
class TSaveTo : public TDocumentPrompts {
 public:
  TAnswer Ask(const QString&, bool) override { return TAnswer::Yes; }
  QString RunSaveDialog(const QString&, const QString&) override { return path; }
  QString path;
};

TEST(MainController, EachCommandBringsPictureStatusAndCommandsUpToDate) {
  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("a.jpg"));
  const QString saved = dir.filePath(QStringLiteral("b.jpg"));
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  fixtures::WriteFile(source.toStdString(), fixtures::MakeJpeg(options));
  TRecordingView view;
  TSaveTo prompts;
  prompts.path = saved;
  TMainController controller(view, prompts, [](const std::string&, int) {});
  view.toOpen = source;
  const TCommandStates file{.SaveFile = true, .SaveAsFile = true, .CloseFile = true};
  TCommandStates selected = file;
  selected.GoOperation = selected.AdjustRect = true;
  TCommandStates trimmed = file;
  trimmed.Undo = true;
  TCommandStates trimmedSelected = selected;
  trimmedSelected.Undo = true;
  const QString range = QStringLiteral(" トリミング範囲 : [  17,  33] - [ 208, 160] ( 192, 128)");
  const QString caption = QStringLiteral("JPEGファイル切り出しプログラム - tarvo -");
  const QString a = "a.jpg — " + caption;
  const QString aModified = "a.jpg* — " + caption;
  const QString bSaved = "b.jpg — " + caption;

  const struct {
    const char* step;
    std::function<void()> run;
    QSize picture;
    QString status;
    QString title;
    QString information;
    TCommandStates commands;
  } steps[] = {
      {"open", [&] { controller.OpenFile(); }, {320, 240}, source + " (320x240)", a, "", file},
      {"select",
       [&] {
         controller.Selection().Place({16, 32, 208, 160});
       },
       {320, 240},
       source + " (320x240)",
       a,
       "[  17,  33] - [ 208, 160] ( 192, 128)",
       selected},
      {"trim", [&] { controller.Trim(); }, {192, 128}, source + range, aModified, "", trimmed},
      {"undo",
       [&] { controller.Undo(); },
       {320, 240},
       source + " (320x240)",
       a,
       "[  17,  33] - [ 208, 160] ( 192, 128)",
       selected},
      {"trim again",
       [&] { controller.Trim(); },
       {192, 128},
       source + range,
       aModified,
       "",
       trimmed},
      {"save as", [&] { controller.SaveAsFile(); }, {192, 128}, saved + range, bSaved, "", trimmed},
      {"zoom out",
       [&] { view.rateIndex = 2, controller.ApplyViewRate(); },
       {96, 64},
       saved + range,
       bSaved,
       "",
       trimmed},
      {"select all",
       [&] { controller.KeyDown(Qt::Key_A, Qt::ControlModifier, {}); },
       {96, 64},
       saved + range,
       bSaved,
       "[   1,   1] - [ 192, 128] ( 192, 128)",
       trimmedSelected},
      {"close", [&] { controller.CloseFile(); }, {0, 0}, "", caption, "", TCommandStates{}},
  };
  for (const auto& s : steps) {
    s.run();
    EXPECT_EQ(view.pictureSize, s.picture) << s.step;
    EXPECT_EQ(view.status.toStdString(), s.status.toStdString()) << s.step;
    EXPECT_EQ(view.title.toStdString(), s.title.toStdString()) << s.step;
    EXPECT_EQ(view.information.toStdString(), s.information.toStdString()) << s.step;
    EXPECT_EQ(view.commands, s.commands) << s.step;
  }
  // The view keeps its last size without a picture.
  EXPECT_EQ(view.viewSize, QSize(96, 64));
}

// Only the rows that arrived can be selected: Ctrl+A and a selection moved down stop there.
TEST(MainController, ACutOffFileIsSelectedDownToItsLastCompleteRow) {
  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("cut.jpg"));
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  fixtures::Bytes cut = fixtures::MakeJpeg(options);
  cut.resize(cut.size() / 2);
  fixtures::WriteFile(source.toStdString(), cut);
  TRecordingView view;
  TSaveTo prompts;
  int warnings = 0;
  TMainController controller(view, prompts, [&warnings](const std::string&, int severity) {
    warnings += severity == kSeverityWarning;
  });
  view.toOpen = source;
  controller.OpenFile();
  EXPECT_EQ(warnings, 1);
  EXPECT_EQ(view.pictureSize, QSize(320, 240));
  controller.KeyDown(Qt::Key_A, Qt::ControlModifier, {});
  const TTrimRect all = controller.Selection().SelectionRect();
  EXPECT_EQ(all.Right, 320);
  EXPECT_GT(all.Bottom, 0);
  EXPECT_LT(all.Bottom, 240);
  // Moved down as far as it goes, it stays inside them.
  controller.MouseDown(160, 20);
  controller.MouseMove(160, 239, true);
  controller.MouseUp();
  EXPECT_EQ(controller.Selection().SelectionRect(), all);
  controller.Trim();
  EXPECT_EQ(view.pictureSize, QSize(320, all.Bottom));
}

}  // namespace
}  // namespace tarvo
