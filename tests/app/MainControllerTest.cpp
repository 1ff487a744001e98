#include "MainController.h"

#include <gtest/gtest.h>

#include <QClipboard>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QTemporaryDir>
#include <QThread>
#include <atomic>
#include <functional>

#include "ClipboardPicture.h"
#include "JpegFixtures.h"
#include "WindowTexts.h"

namespace tarvo {
namespace {

// The window as the controller sees it: what it was last told to show.
class TRecordingView : public TMainView {
 public:
  int ViewRateIndex() const override { return rateIndex; }
  QSize ViewAreaSize() const override { return area; }
  int TrimModeIndex() const override { return 0; }
  void ShowPicture(const TPicture& picture, std::int32_t, std::int32_t) override {
    pictureSize = picture.Pixels.size();
    patch = {};
  }
  void ShowPatch(const TPicturePatch& shown) override {
    patch = shown;
    if (!shown.Pixels.isNull()) ++patchesShown;
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
  void ShowDamage(const std::vector<TTrimRect>& regions) override { damage = regions; }
  void SetPointer(TPointerShape) override {}
  void ShowError(const QString& text) override { errors << text; }
  void CloseAgain() override { ++closeAgain; }
  QString ChooseFileToOpen() override { return toOpen; }
  bool ExplainAdjustRect(bool&) override { return true; }

  int rateIndex = kViewRateOneToOne;
  QSize area{1000, 700};
  QString toOpen;
  QSize pictureSize;
  TPicturePatch patch;
  int patchesShown = 0;
  QSize viewSize;
  QString status;
  QString title;
  QString information;
  TCommandStates commands;
  QStringList errors;
  int closeAgain = 0;
  std::vector<TTrimRect> damage;
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
  const TCommandStates file{.SaveFile = true, .SaveAsFile = true, .CloseFile = true, .Turn = true};
  TCommandStates selected = file;
  selected.GoOperation = selected.AdjustRect = true;
  TCommandStates trimmed = file;
  trimmed.Undo = true;
  TCommandStates trimmedSelected = selected;
  trimmedSelected.Undo = true;
  // An undone trim can be redone, until the next trim.
  TCommandStates undone = selected;
  undone.Redo = true;
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
       undone},
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
    controller.WaitForWork();
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
  controller.WaitForWork();
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
  controller.WaitForWork();
  EXPECT_EQ(view.pictureSize, QSize(320, all.Bottom));
}

// A damaged file shows its damage; Ctrl+A selects the rows without it, and a selection that takes
// damage says so beside its size.
TEST(MainController, ADamagedFileOffersItsIntactRows) {
  QTemporaryDir dir;
  const QString source = dir.filePath(QStringLiteral("damaged.jpg"));
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  options.restartInterval = 20;  // an MCU row of 16 x 16 MCUs each
  fixtures::WriteFile(source.toStdString(),
                      fixtures::WithRestartIntervalScrambled(fixtures::MakeJpeg(options), 3));
  TRecordingView view;
  TSaveTo prompts;
  // A refusal is told over the commands as they stand once the trim is back, not as they stood
  // while it ran.
  std::vector<TCommandStates> atMessage;
  TMainController controller(view, prompts,
                             [&](const std::string&, int) { atMessage.push_back(view.commands); });
  view.toOpen = source;
  controller.OpenFile();
  controller.WaitForWork();
  EXPECT_EQ(view.damage, (std::vector<TTrimRect>{{0, 48, 320, 64}}));
  EXPECT_TRUE(view.status.endsWith(QString::fromUtf8(kMsgDamagedParts)));
  controller.KeyDown(Qt::Key_A, Qt::ControlModifier, {});
  EXPECT_EQ(controller.Selection().SelectionRect(), (TTrimRect{0, 64, 320, 240}));
  EXPECT_FALSE(view.information.endsWith(QString::fromUtf8(kMsgSelectionDamaged)));
  controller.Selection().Place({0, 32, 64, 96});
  EXPECT_TRUE(view.information.endsWith(QString::fromUtf8(kMsgSelectionDamaged)));
  controller.Trim();
  controller.WaitForWork();
  ASSERT_EQ(atMessage.size(), 1u);
  EXPECT_TRUE(atMessage[0].GoOperation);
  EXPECT_TRUE(atMessage[0].SaveAsFile);
  // A wipe in intact rows shows at once, but the whole picture its step writes takes the damage:
  // the step is refused, and what it showed goes again.
  controller.Selection().Place({0, 128, 64, 160});
  controller.Wipe(EWipeFill::kGrey);
  controller.WaitForWork();
  EXPECT_EQ(view.patchesShown, 1);
  EXPECT_TRUE(view.patch.Pixels.isNull());
  EXPECT_EQ(atMessage.size(), 2u);
  EXPECT_TRUE(controller.Document().TrimHistory().empty());
  controller.Selection().Place({0, 64, 64, 96});
  controller.Trim();
  controller.WaitForWork();
  EXPECT_TRUE(view.damage.empty());
}

// Files, a view and a controller whose decoder the test can hold up or make fail.
class MainControllerWork : public ::testing::Test {
 protected:
  QString Write(const char* name, int width, int height) {
    fixtures::JpegOptions options;
    options.width = width;
    options.height = height;
    const QString path = dir.filePath(QString::fromUtf8(name));
    fixtures::WriteFile(path.toStdString(), fixtures::MakeJpeg(options));
    return path;
  }
  void OpenAndSelect(const QString& path) {
    controller.OpenDocument(path);
    controller.WaitForWork();
    controller.Selection().Place({16, 16, 112, 80});
  }

  QTemporaryDir dir;
  TRecordingView view;
  TSaveTo prompts;
  std::atomic<bool> failDecode = false;
  std::atomic<bool> holdDecode = false;
  TMainController controller{
      view, prompts, [](const std::string&, int) {},
      TDocumentWork{.Decode = [this](std::span<const std::uint8_t> jpeg, int reduction) {
        while (holdDecode) QThread::msleep(1);
        if (failDecode) throw EPictureError(42);
        return DecodePicture(jpeg, reduction);
      }}};
};

// Work whose outcome is no longer wanted when it comes back is dropped, whatever finishes first.
TEST_F(MainControllerWork, OutcomesNoLongerWantedAreDropped) {
  const QString a = Write("a.jpg", 320, 240);
  const QString b = Write("b.jpg", 160, 128);
  const struct {
    const char* name;
    std::function<void()> run;
    QString file;
    std::size_t trims;
    QSize picture;
  } cases[] = {
      {"an open after an open",
       [&] {
         controller.OpenDocument(a);
         controller.OpenDocument(b);
       },
       b,
       0,
       {160, 128}},
      {"an open during a trim",
       [&] {
         OpenAndSelect(a);
         controller.Trim();
         controller.OpenDocument(b);
       },
       b,
       0,
       {160, 128}},
      {"a zoom left for another",
       [&] {
         OpenAndSelect(a);
         view.rateIndex = 1;  // 25 %
         controller.ApplyViewRate();
         view.rateIndex = 0;  // 12.5 %
         controller.ApplyViewRate();
       },
       a,
       0,
       {40, 30}},
  };
  for (const auto& c : cases) {
    view.rateIndex = kViewRateOneToOne;
    c.run();
    controller.WaitForWork();
    EXPECT_EQ(controller.Document().DocFileName(), c.file) << c.name;
    EXPECT_EQ(controller.Document().TrimHistory().size(), c.trims) << c.name;
    EXPECT_EQ(view.pictureSize, c.picture) << c.name;
    EXPECT_FALSE(view.status.isEmpty()) << c.name;
  }
}

// Fitted to the window, a picture takes the largest rate it shows whole at, at each open and
// each change of the room it has.
TEST_F(MainControllerWork, AFittedPictureFollowsTheRoomItHas) {
  view.rateIndex = kViewRateFit;
  view.area = QSize(700, 500);
  controller.OpenDocument(Write("a.jpg", 320, 240));
  controller.WaitForWork();
  EXPECT_EQ(view.viewSize, QSize(640, 480));
  view.area = QSize(300, 500);
  controller.ViewAreaResized();
  controller.WaitForWork();
  EXPECT_EQ(view.viewSize, QSize(160, 120));
  EXPECT_EQ(controller.ShownRateIndex(), 2);
}

// Closing while the document changes waits for the change, then asks as always: the file saved
// holds the whole trim.
TEST_F(MainControllerWork, ClosingDuringATrimWaitsForItThenAsks) {
  OpenAndSelect(Write("a.jpg", 320, 240));
  prompts.path = dir.filePath(QStringLiteral("saved.jpg"));
  controller.Trim();
  // The trim is back only once the event loop has turned.
  EXPECT_FALSE(controller.CloseQuery());
  EXPECT_EQ(view.closeAgain, 0);
  controller.WaitForWork();
  EXPECT_EQ(view.closeAgain, 1);
  EXPECT_EQ(controller.Document().TrimHistory().size(), 1u);
  ASSERT_TRUE(controller.CloseQuery());
  const std::span<const std::uint8_t> bytes = controller.Document().Bytes();
  EXPECT_EQ(fixtures::ReadFile(prompts.path.toStdString()),
            fixtures::Bytes(bytes.begin(), bytes.end()));
}

// Commands and keys given while the document changes wait for the change, then run in the order
// given, as typed ahead: Ctrl+X, Ctrl+A, Ctrl+S saves the trimmed picture with all of it selected.
TEST_F(MainControllerWork, CommandsGivenDuringAChangeRunAfterItInOrder) {
  OpenAndSelect(Write("a.jpg", 320, 240));
  prompts.path = dir.filePath(QStringLiteral("saved.jpg"));
  controller.Trim();
  controller.KeyDown(Qt::Key_A, Qt::ControlModifier, {});
  controller.SaveAsFile();
  EXPECT_FALSE(QFile::exists(prompts.path));
  controller.WaitForWork();
  const std::span<const std::uint8_t> bytes = controller.Document().Bytes();
  EXPECT_EQ(fixtures::ReadFile(prompts.path.toStdString()),
            fixtures::Bytes(bytes.begin(), bytes.end()));
  EXPECT_EQ(controller.Selection().SelectionRect(), (TTrimRect{0, 0, 96, 64}));
  EXPECT_EQ(view.status.left(prompts.path.size()), prompts.path);
}

// Work that runs longer than a moment says so in the status bar; commands are taken meanwhile,
// to run once it is back.
TEST_F(MainControllerWork, LongWorkShowsInTheStatusBar) {
  holdDecode = true;
  controller.OpenDocument(Write("a.jpg", 64, 48));
  EXPECT_TRUE(view.commands.GoOperation);
  QElapsedTimer waited;
  waited.start();
  while (waited.elapsed() < TMainController::kProgressDelayMs + 50) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  EXPECT_EQ(view.status, QString::fromUtf8(kMsgReadingPicture));
  holdDecode = false;
  controller.WaitForWork();
  EXPECT_TRUE(view.status.endsWith(QStringLiteral("(64x48)")));
  EXPECT_TRUE(view.commands.SaveAsFile);
}

// The PNG for pasting is made on the side once for each state of the document: a second copy
// of the same state serves the PNG made for the first at once, a trim has its own made.
TEST_F(MainControllerWork, EachStateHasItsPngMadeOnce) {
  OpenAndSelect(Write("a.jpg", 320, 240));
  const auto copied = [&] {
    controller.Copy();
    return qobject_cast<const TClipboardPicture*>(QGuiApplication::clipboard()->mimeData());
  };
  ASSERT_NE(copied(), nullptr);
  EXPECT_EQ(view.status, QString::fromUtf8(kMsgMakingPng));
  controller.WaitForWork();
  EXPECT_TRUE(view.status.endsWith(QStringLiteral("(320x240)")));
  const TClipboardPicture* again = copied();
  ASSERT_NE(again, nullptr);
  EXPECT_TRUE(again->PngReady());
  controller.Trim();
  controller.WaitForWork();
  const TClipboardPicture* trimmed = copied();
  ASSERT_NE(trimmed, nullptr);
  controller.WaitForWork();
  EXPECT_EQ(QImage::fromData(trimmed->data(QStringLiteral("image/png")), "PNG").size(),
            QSize(96, 64));
}

// A picture that fails to decode after a trim or an undo closes the document, and the window
// shows exactly that: no picture, no status, no commands but open, the caption alone.
TEST_F(MainControllerWork, APictureThatFailsAfterATrimOrUndoLeavesTheWindowClosed) {
  const QString path = Write("a.jpg", 320, 240);
  const std::function<void()> failing[] = {
      [&] {
        failDecode = true;
        controller.Trim();
      },
      [&] {
        controller.Trim();
        controller.WaitForWork();
        failDecode = true;
        controller.Undo();
      },
  };
  for (const auto& run : failing) {
    failDecode = false;
    view.errors.clear();
    OpenAndSelect(path);
    // At 100 % the trimmed picture is decoded anew; after an undo every picture is.
    run();
    controller.WaitForWork();
    EXPECT_FALSE(controller.Document().HasDocument());
    EXPECT_EQ(view.errors, QStringList{QStringLiteral("JPEG エラー #42")});
    EXPECT_EQ(view.pictureSize, QSize(0, 0));
    EXPECT_TRUE(view.status.isEmpty());
    EXPECT_TRUE(view.information.isEmpty());
    EXPECT_EQ(view.title, QStringLiteral("JPEGファイル切り出しプログラム - tarvo -"));
    EXPECT_EQ(view.commands, TCommandStates{});
  }
}

}  // namespace
}  // namespace tarvo
