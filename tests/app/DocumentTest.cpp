#include "Document.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <cerrno>
#include <cstring>
#include <map>

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QMimeData>
#include <QTemporaryDir>
#include <QUrl>
#include <deque>
#include <exception>
#include <functional>
#include <future>
#include <string>
#include <string_view>
#include <vector>

#include "ClipboardPicture.h"
#include "FileTimes.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "Messages.h"
#include "StreamError.h"
#include "UprightPicture.h"
#include "WindowTexts.h"

// Readable failure messages for texts.
void PrintTo(const QString& text, std::ostream* out) { *out << text.toStdString(); }

namespace tarvo {

using namespace Qt::StringLiterals;

namespace {

using fixtures::Bytes;

// Answers the document's questions from a script and records what it was asked.
class TScriptedPrompts : public TDocumentPrompts {
 public:
  TAnswer Ask(const QString& text, bool withCancel) override {
    questions.push_back(text);
    EXPECT_FALSE(answers.empty()) << "unexpected question: " << text.toStdString();
    if (answers.empty()) return withCancel ? TAnswer::Cancel : TAnswer::No;
    const TAnswer answer = answers.front();
    answers.pop_front();
    return answer;
  }
  QString RunSaveDialog(const QString& folder, const QString& fileName) override {
    dialogs.push_back(folder + QLatin1Char('|') + fileName);
    EXPECT_FALSE(chosenPaths.empty()) << "unexpected save dialog";
    if (chosenPaths.empty()) return {};
    const QString chosen = chosenPaths.front();
    chosenPaths.pop_front();
    return chosen;
  }

  std::deque<TAnswer> answers;
  std::deque<QString> chosenPaths;  // an empty entry cancels the dialog
  QStringList questions;
  QStringList dialogs;
};

Bytes Load(std::span<const std::uint8_t> bytes) { return {bytes.begin(), bytes.end()}; }

// Drives a document's queue as the window does: starts a step, turns the event loop until the
// queue has done it, and hands back its outcome as the document told it; a failure is raised.
class TDocumentDriver {
 public:
  explicit TDocumentDriver(TDocument& document) : document_(document) {
    document_.SetChangeNotice([this](const TDocumentChange& change) {
      told_.push_back(change);
      if (change.Kind == TDocumentChange::Patched) {
        patches_.push_back(document_.Patch() ? *document_.Patch() : TPicturePatch{});
      }
    });
    document_.SetFailureNotice([this](std::exception_ptr error) { failure_ = error; });
  }

  bool Open(const QString& path, int reduction) {
    return Await(TDocumentChange::Opened, [&] { document_.StartOpen(path, reduction); })
        .has_value();
  }
  bool Trim(const TTrimRect& rect) {
    return Await(TDocumentChange::Trimmed, [&] { document_.StartTrim(rect); }).has_value();
  }
  bool Turn(std::optional<TOrientation> turn) {
    return Await(TDocumentChange::Turned, [&] { document_.StartTurn(turn); }).has_value();
  }
  bool Wipe(const TTrimRect& rect, EWipeFill fill) {
    return Await(TDocumentChange::Wiped, [&] { document_.StartWipe(rect, fill); }).has_value();
  }
  std::optional<TTrimRect> Undo() {
    const auto undone = Await(TDocumentChange::Undone, [&] { document_.StartUndo(); });
    return undone ? undone->Restored : std::nullopt;
  }
  bool Redo() {
    return Await(TDocumentChange::Redone, [&] { document_.StartRedo(); }).has_value();
  }
  // The change the last step told.
  const TDocumentChange& Outcome() const { return outcome_; }
  // The wipe patches the steps since the last one began have shown, an empty one where a patch
  // was taken off.
  const std::vector<TPicturePatch>& Patches() const { return patches_; }

 private:
  std::optional<TDocumentChange> Await(TDocumentChange::TKind kind,
                                       const std::function<void()>& start) {
    told_.clear();
    patches_.clear();
    failure_ = nullptr;
    start();
    while (document_.Working()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 10);
    if (failure_) std::rethrow_exception(failure_);
    for (const TDocumentChange& change : told_) {
      if (change.Kind == kind) return outcome_ = change;
    }
    return std::nullopt;
  }

  TDocument& document_;
  std::vector<TDocumentChange> told_;
  std::vector<TPicturePatch> patches_;
  TDocumentChange outcome_;
  std::exception_ptr failure_;
};

// The pictures are decoded at 1/8: enough to show the document decodes them, and quick.
constexpr int kReduction = 8;

bool HasExif(const Bytes& jpeg) {
  constexpr std::string_view kExif("Exif\0\0", 6);
  return std::search(jpeg.begin(), jpeg.end(), kExif.begin(), kExif.end()) != jpeg.end();
}

class DocumentTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(dir.isValid()); }

  QString Path(const char* name) const { return dir.filePath(QString::fromUtf8(name)); }

  QString WriteJpeg(const char* name, const fixtures::JpegOptions& options) {
    const QString path = Path(name);
    fixtures::WriteFile(path.toStdString(), fixtures::MakeJpeg(options));
    return path;
  }

  // A camera-sized picture: 1600 x 1200, 4:2:0 (16 x 16 MCUs).
  QString SourcePicture() {
    fixtures::JpegOptions options;
    options.width = 1600;
    options.height = 1200;
    options.extraSegments.push_back(fixtures::MakeExifSegment(false, 1600, 1200));
    return WriteJpeg("a.jpg", options);
  }

  // What the engine writes for rect from the file at path, trimmed by a fresh engine.
  static Bytes Expected(const QString& path, const TTrimRect& rect, bool dropExif) {
    TJpegTrimming engine;
    EXPECT_TRUE(engine.AnalyzeFile(path.toStdString()));
    TByteStream out;
    EXPECT_TRUE(engine.Trim(out, rect, dropExif));
    return Load(out.Bytes());
  }

  QTemporaryDir dir;
  TAppSettings settings;
  TScriptedPrompts prompts;
  std::vector<std::string> messages;
  TDocument document{settings, prompts,
                     [this](const std::string& text, int) { messages.push_back(text); }};
  TDocumentDriver driver{document};
};

TEST_F(DocumentTest, TwoTrimsThenTwoUndosWalkBackWithTheSelectionsThatMadeThem) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  EXPECT_EQ(Load(document.Bytes()), fixtures::ReadFile(path.toStdString()));
  EXPECT_EQ(document.StatusText(), path + QStringLiteral(" (1600x1200)"));

  // A Top off the 16-pixel grid moves up to it and the bottom stays: the history, the status
  // text and the undo speak of the rows the output holds.
  ASSERT_TRUE(driver.Trim({16, 8, 656, 488}));
  ASSERT_TRUE(driver.Trim({32, 16, 352, 256}));
  const std::vector<TTrimStep> expectedHistory = {{{16, 0, 656, 488}, false, false, {}, {}, {}},
                                                  {{48, 16, 368, 256}, false, false, {}, {}, {}}};
  EXPECT_EQ(document.TrimHistory(), expectedHistory);
  EXPECT_EQ(document.ModifyCount(), 2);
  EXPECT_EQ(Load(document.Bytes()), Expected(path, {48, 16, 368, 256}, false));
  EXPECT_EQ(document.StatusText(),
            path + QStringLiteral(" トリミング範囲 : [  49,  17] - [ 368, 256] ( 320, 240)"));

  EXPECT_EQ(driver.Undo(), (TTrimRect{32, 16, 352, 256}));
  EXPECT_EQ(Load(document.Bytes()), Expected(path, {16, 8, 656, 488}, false));
  EXPECT_EQ(fixtures::Decode(Load(document.Bytes())).width, 640);
  EXPECT_EQ(document.StatusText(),
            path + QStringLiteral(" トリミング範囲 : [  17,   1] - [ 656, 488] ( 640, 488)"));

  EXPECT_EQ(driver.Undo(), (TTrimRect{16, 0, 656, 488}));
  EXPECT_EQ(Load(document.Bytes()), fixtures::ReadFile(path.toStdString()));
  EXPECT_TRUE(document.TrimHistory().empty());
  EXPECT_EQ(document.ModifyCount(), 0);
  EXPECT_EQ(driver.Undo(), std::nullopt);

  // Trim, undo, trim: the new step is taken on the source picture again.
  ASSERT_TRUE(driver.Trim({32, 16, 352, 256}));
  EXPECT_EQ(document.TrimHistory().back(),
            (TTrimStep{{32, 16, 352, 256}, false, false, {}, {}, {}}));
}

// The picture shown starts where the engine's cut started, not where the selection asked: a
// second trim of it is the engine's own trim of that picture.
TEST_F(DocumentTest, ATrimOfThePictureShownIsTheEnginesTrimOfThatPicture) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  ASSERT_TRUE(driver.Trim({16, 8, 656, 488}));
  const QString shown = Path("shown.jpg");
  fixtures::WriteFile(shown.toStdString(), Load(document.Bytes()));
  ASSERT_TRUE(driver.Trim({0, 8, 320, 248}));
  EXPECT_EQ(document.TrimHistory().back().Rect, (TTrimRect{16, 0, 336, 248}));
  EXPECT_EQ(Load(document.Bytes()), Expected(shown, {0, 8, 320, 248}, false));
}

// A rectangle off the grid is snapped by the engine, as every caller's is: the document
// records and writes what the engine kept.
TEST_F(DocumentTest, AnUnsnappedRectangleKeepsItsRightAndBottomEdges) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  ASSERT_TRUE(driver.Trim({5, 5, 100, 100}));
  EXPECT_EQ(document.TrimHistory().back().Rect, (TTrimRect{0, 0, 100, 100}));
  EXPECT_EQ(Load(document.Bytes()), Expected(path, {0, 0, 100, 100}, false));
}

TEST_F(DocumentTest, RectanglesAreInPixelsOfThePictureShown) {
  ASSERT_TRUE(driver.Open(SourcePicture(), kReduction));
  ASSERT_TRUE(driver.Trim({16, 16, 222, 122}));
  // The picture shown starts at the last trim's corner.
  ASSERT_TRUE(driver.Trim({16, 16, 33, 31}));
  EXPECT_EQ(document.TrimHistory().back(), (TTrimStep{{32, 32, 49, 47}, false, false, {}, {}, {}}));
  EXPECT_EQ(driver.Undo(), (TTrimRect{16, 16, 33, 31}));
  EXPECT_EQ(driver.Undo(), (TTrimRect{16, 16, 222, 122}));
}

TEST_F(DocumentTest, UndoRedoesTheEarlierTrimWithTheExifChoiceRecordedThen) {
  const QString path = SourcePicture();
  ASSERT_TRUE(HasExif(fixtures::ReadFile(path.toStdString())));
  ASSERT_TRUE(driver.Open(path, kReduction));
  settings.gAllowDropExif = true;
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  EXPECT_FALSE(HasExif(Load(document.Bytes())));
  settings.gAllowDropExif = false;
  ASSERT_TRUE(driver.Trim({16, 16, 160, 120}));
  EXPECT_TRUE(HasExif(Load(document.Bytes())));
  EXPECT_EQ(document.TrimHistory().front().DropExif, true);
  EXPECT_EQ(document.TrimHistory().back().DropExif, false);

  ASSERT_TRUE(driver.Undo());
  EXPECT_FALSE(HasExif(Load(document.Bytes())));
  EXPECT_EQ(Load(document.Bytes()), Expected(path, {0, 0, 320, 240}, true));
}

TEST_F(DocumentTest, ModifyCountFollowsTrimsSavesAndUndos) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  EXPECT_TRUE(document.CloseQuery());

  // Trim then undo: back to unchanged, closing asks nothing.
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  ASSERT_TRUE(driver.Undo());
  EXPECT_EQ(document.ModifyCount(), 0);
  EXPECT_TRUE(document.CloseQuery());
  EXPECT_TRUE(prompts.questions.isEmpty());

  // Trim, save, undo: the document has gone back past its saved state.
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  prompts.answers = {TAnswer::Yes};
  ASSERT_TRUE(document.SaveFile());
  EXPECT_EQ(prompts.questions.takeFirst(), QString::fromUtf8(kMsgSaveOver));
  EXPECT_EQ(document.ModifyCount(), 0);
  ASSERT_TRUE(driver.Undo());
  EXPECT_EQ(document.ModifyCount(), -1);
  ASSERT_TRUE(driver.Trim({0, 0, 160, 160}));
  EXPECT_EQ(document.ModifyCount(), -1);

  // The close question: cancel keeps the window; yes with a cancelled dialog asks again; no
  // closes without saving.
  prompts.answers = {TAnswer::Cancel};
  EXPECT_FALSE(document.CloseQuery());
  prompts.answers = {TAnswer::Yes, TAnswer::No};
  prompts.chosenPaths = {QString()};
  EXPECT_TRUE(document.CloseQuery());
  EXPECT_EQ(prompts.questions, QStringList(3, QString::fromUtf8(kMsgModified)));

  // "いいえ" to saving over the file writes nothing.
  const Bytes onDisk = fixtures::ReadFile(path.toStdString());
  prompts.answers = {TAnswer::No};
  EXPECT_FALSE(document.SaveFile());
  EXPECT_EQ(fixtures::ReadFile(path.toStdString()), onDisk);
  EXPECT_EQ(document.ModifyCount(), -1);

  prompts.chosenPaths = {Path("b.jpg")};
  ASSERT_TRUE(document.SaveDocument({}));
  EXPECT_EQ(document.ModifyCount(), 0);
  EXPECT_EQ(fixtures::ReadFile(Path("b.jpg").toStdString()), Load(document.Bytes()));
}

TEST_F(DocumentTest, SaveAsStartsInTheRightFolderAndAsksBeforeOverwriting) {
  const QString path = SourcePicture();
  QDir(dir.path()).mkdir(QStringLiteral("out"));
  const QString outFolder = Path("out/");
  const QString taken = Path("out/taken.jpg");
  fixtures::WriteFile(taken.toStdString(), {1, 2, 3});
  ASSERT_TRUE(driver.Open(path, kReduction));
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));

  // Right after opening the dialog proposes the opened file itself, which exists.
  prompts.chosenPaths = {path};
  prompts.answers = {TAnswer::No};
  EXPECT_FALSE(document.SaveDocument({}));
  EXPECT_EQ(prompts.dialogs.takeFirst(), dir.path() + QStringLiteral("/|a.jpg"));
  EXPECT_EQ(prompts.questions.takeFirst(), QString::fromUtf8(kMsgFileExists));

  // With gSaveFolder off the last folder is never recorded.
  prompts.chosenPaths = {taken};
  prompts.answers = {TAnswer::No};
  EXPECT_FALSE(document.SaveDocument({}));
  EXPECT_TRUE(settings.gSaveFolderName.isEmpty());
  EXPECT_EQ(fixtures::ReadFile(taken.toStdString()), (Bytes{1, 2, 3}));
  // The dialog keeps the path chosen last.
  prompts.chosenPaths = {QString()};
  EXPECT_FALSE(document.SaveDocument({}));
  EXPECT_EQ(prompts.dialogs.last(), outFolder + QStringLiteral("|taken.jpg"));

  // With gSaveFolder on, the chosen folder is recorded even when overwriting is declined, and
  // the next dialog starts there.
  settings.gSaveFolder = true;
  prompts.chosenPaths = {taken};
  prompts.answers = {TAnswer::No};
  EXPECT_FALSE(document.SaveDocument({}));
  EXPECT_EQ(settings.gSaveFolderName, outFolder);
  ASSERT_TRUE(driver.Open(path, kReduction));
  prompts.chosenPaths = {Path("out/new.jpg")};
  ASSERT_TRUE(document.SaveDocument({}));
  EXPECT_EQ(prompts.dialogs.last(), outFolder + QStringLiteral("|a.jpg"));
  EXPECT_EQ(document.DocFileName(), Path("out/new.jpg"));
  EXPECT_EQ(fixtures::ReadFile(Path("out/new.jpg").toStdString()),
            fixtures::ReadFile(path.toStdString()));
}

TEST_F(DocumentTest, AFailedSaveReportsThePathWithTheReasonAndChangesNothing) {
  ASSERT_TRUE(driver.Open(SourcePicture(), kReduction));
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  const QString unreachable = Path("missing/b.jpg");
  try {
    document.SaveDocument(unreachable);
    FAIL() << "no exception";
  } catch (const EStreamError& error) {
    EXPECT_EQ(QString::fromUtf8(error.what()),
              QStringLiteral("ファイル %1 を作成できません: %2")
                  .arg(unreachable, QString::fromLocal8Bit(std::strerror(ENOENT))));
  }
  EXPECT_EQ(document.ModifyCount(), 1);
  EXPECT_EQ(document.DocFileName(), Path("a.jpg"));
  EXPECT_FALSE(QFile::exists(unreachable));
}

// A folder the save could not write to is not where the save dialog opens next, nor the folder
// remembered for the next start.
TEST_F(DocumentTest, AFailedSaveIsNotRemembered) {
  settings.gSaveFolder = true;
  ASSERT_TRUE(driver.Open(SourcePicture(), kReduction));
  prompts.chosenPaths = {Path("missing/b.jpg"), {}};
  EXPECT_THROW(document.SaveDocument({}), EStreamError);
  EXPECT_FALSE(document.SaveDocument({}));
  const QString folder = QFileInfo(Path("a.jpg")).absolutePath() + u'/';
  EXPECT_EQ(prompts.dialogs, QStringList({folder + u"|a.jpg"_s, folder + u"|a.jpg"_s}));
  EXPECT_NE(settings.gSaveFolderName, Path("missing/"));
}

TEST_F(DocumentTest, SavingIntoAFifoNothingReadsIsRefusedAtOnce) {
  ASSERT_TRUE(driver.Open(SourcePicture(), kReduction));
  const QString fifo = Path("pipe.jpg");
  ASSERT_EQ(mkfifo(QFile::encodeName(fifo).constData(), 0666), 0);
  try {
    document.SaveDocument(fifo);
    FAIL() << "no exception";
  } catch (const EStreamError& error) {
    EXPECT_TRUE(QString::fromUtf8(error.what()).endsWith(std::strerror(ENXIO))) << error.what();
  }
  EXPECT_TRUE(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
}

TEST_F(DocumentTest, SavingOverAFileKeepsItsPermissions) {
  ASSERT_TRUE(driver.Open(SourcePicture(), kReduction));
  const QString target = Path("shared.jpg");
  fixtures::WriteFile(target.toStdString(), {1, 2, 3});
  ASSERT_EQ(chmod(QFile::encodeName(target).constData(), 0640), 0);
  ASSERT_TRUE(document.SaveDocument(target));
  struct stat status {};
  ASSERT_EQ(stat(QFile::encodeName(target).constData(), &status), 0);
  EXPECT_EQ(status.st_mode & 0777, 0640u);
  EXPECT_EQ(fixtures::ReadFile(target.toStdString()), Load(document.Bytes()));
  EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).size(), 2) << "temporary left";
}

// File managers find their cached thumbnail of a file by the MD5 of its URI; saved over, the
// file must be shown anew, since its name and perhaps its modification time stay.
TEST_F(DocumentTest, SavingOverAFileMakesTheDesktopForgetItsThumbnails) {
  const QByteArray oldCache = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", Path("cache").toUtf8());
  ASSERT_TRUE(driver.Open(SourcePicture(), kReduction));
  const QString target = Path("with space.jpg");
  fixtures::WriteFile(target.toStdString(), {1, 2, 3});
  const QByteArray uri = "file://" + QUrl::toPercentEncoding(target, "/");
  const QString name =
      QString::fromLatin1(QCryptographicHash::hash(uri, QCryptographicHash::Md5).toHex()) + ".png";
  const QStringList folders = {"normal", "large", "x-large", "xx-large",
                               "fail/gnome-thumbnail-factory"};
  for (const QString& folder : folders) {
    ASSERT_TRUE(QDir().mkpath(Path("cache/thumbnails/") + folder));
    for (const QString& file : {name, QStringLiteral("other.png")}) {
      fixtures::WriteFile((Path("cache/thumbnails/") + folder + '/' + file).toStdString(), {1});
    }
  }
  ASSERT_TRUE(document.SaveDocument(target));
  for (const QString& folder : folders) {
    EXPECT_FALSE(QFile::exists(Path("cache/thumbnails/") + folder + '/' + name))
        << folder.toStdString();
    EXPECT_TRUE(QFile::exists(Path("cache/thumbnails/") + folder + "/other.png"))
        << folder.toStdString();
  }
  if (oldCache.isNull()) {
    qunsetenv("XDG_CACHE_HOME");
  } else {
    qputenv("XDG_CACHE_HOME", oldCache);
  }
}

TEST_F(DocumentTest, SavingKeepsTheOpenedFilesLastWriteTimeOnRequest) {
  const QString path = SourcePicture();
  const std::int64_t past = FileTimeFromUnix(1'500'000'000, 123'456'789);
  ASSERT_TRUE(SetLastWriteTime(path, past, 89));
  // The copy is the file's own time to the nanosecond, not just to its 100 ns unit.
  const auto nanoseconds = [](const QString& file) {
    struct stat status {};
    return stat(QFile::encodeName(file).constData(), &status) == 0 ? status.st_mtim.tv_nsec : -1L;
  };
  ASSERT_TRUE(driver.Open(path, kReduction));
  EXPECT_EQ(document.SourceTimes().LastWriteTime, past);

  ASSERT_TRUE(document.SaveDocument(Path("plain.jpg")));
  EXPECT_GT(ReadFileTimes(Path("plain.jpg")).LastWriteTime, past);

  settings.gKeepTimeStamp_Write = true;
  settings.gKeepTimeStamp_Create = true;
  ASSERT_TRUE(document.SaveDocument(Path("kept.jpg")));
  EXPECT_EQ(ReadFileTimes(Path("kept.jpg")).LastWriteTime, past);
  EXPECT_EQ(nanoseconds(Path("kept.jpg")), 123'456'789L);
  // Saved over itself without a trim: the same bytes and the same time.
  prompts.answers = {TAnswer::Yes};
  ASSERT_TRUE(document.SaveFile());
  EXPECT_EQ(ReadFileTimes(Path("kept.jpg")).LastWriteTime, past);
  EXPECT_EQ(fixtures::ReadFile(Path("kept.jpg").toStdString()),
            fixtures::ReadFile(path.toStdString()));
}

TEST_F(DocumentTest, CopyOffersTheDocumentsBytesOrNothing) {
  EXPECT_EQ(document.ClipboardData(), nullptr);

  ASSERT_TRUE(driver.Open(SourcePicture(), kReduction));
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  const std::unique_ptr<QMimeData> data = document.ClipboardData();
  const Bytes doc = Load(document.Bytes());
  const QByteArray expected(reinterpret_cast<const char*>(doc.data()),
                            static_cast<qsizetype>(doc.size()));
  EXPECT_EQ(data->data(QStringLiteral("JFIF")), expected);
  EXPECT_EQ(data->data(QStringLiteral("image/jpeg")), expected);
  document.WaitForWork();
  const QImage png = QImage::fromData(data->data(QStringLiteral("image/png")), "PNG");
  EXPECT_EQ(png.size(), QSize(320, 240));
}

// A paste is answered in the window's thread: until its PNG is made the picture is offered as
// JPEG only, and a paste asking for the PNG gets nothing at once instead of waiting for it.
TEST(ClipboardPictureTest, OffersThePngOnlyOnceItIsMade) {
  std::promise<QByteArray> made;
  const TClipboardPicture picture(QByteArray("jpeg"), made.get_future().share());
  EXPECT_FALSE(picture.hasFormat(QStringLiteral("image/png")));
  EXPECT_TRUE(picture.data(QStringLiteral("image/png")).isEmpty());
  EXPECT_EQ(picture.data(QStringLiteral("image/jpeg")), QByteArray("jpeg"));
  made.set_value(QByteArray("png"));
  EXPECT_TRUE(picture.hasFormat(QStringLiteral("image/png")));
  EXPECT_EQ(picture.data(QStringLiteral("image/png")), QByteArray("png"));
}

TEST_F(DocumentTest, AFileThatFailsToOpenLeavesTheDocumentAsItWas) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  const Bytes trimmed = Load(document.Bytes());
  const auto unchanged = [&] {
    EXPECT_TRUE(document.HasDocument());
    EXPECT_EQ(document.DocFileName(), path);
    EXPECT_EQ(Load(document.Bytes()), trimmed);
    EXPECT_EQ(document.TrimHistory(),
              (std::vector<TTrimStep>{{{0, 0, 320, 240}, false, false, {}, {}, {}}}));
    EXPECT_EQ(document.ModifyCount(), 1);
  };

  // A lossless frame, which the engine refuses: SOI, then SOF3.
  fixtures::WriteFile(Path("p.jpg").toStdString(),
                      {0xFF, 0xD8, 0xFF, 0xC3, 0, 11, 8, 0, 8, 0, 8, 1, 1, 0x11, 0});
  EXPECT_FALSE(driver.Open(Path("p.jpg"), kReduction));
  EXPECT_EQ(messages.size(), 1u);
  unchanged();
  EXPECT_THROW(driver.Open(Path("nothing.jpg"), kReduction), EStreamError);
  unchanged();
  // Undo still re-trims from the document's own source.
  EXPECT_EQ(driver.Undo(), (TTrimRect{0, 0, 320, 240}));
  EXPECT_EQ(Load(document.Bytes()), fixtures::ReadFile(path.toStdString()));
}

// A download cut off inside its picture data is refused when it is opened, with the reason,
// not at the first trim.
// The rows that arrived of a cut-off file are stored rows: the selection's rows as stored or
// turned half way round, its columns where the orientation transposes the picture.
class CutOffDocumentTest : public DocumentTest,
                           public ::testing::WithParamInterface<std::uint16_t> {};

TEST_P(CutOffDocumentTest, OpensWithTheRowsThatArrivedWhereTheyAreShown) {
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  if (GetParam() != 1) {
    options.extraSegments.push_back(fixtures::MakeExifSegment(true, 320, 240, 4, true, GetParam()));
  }
  Bytes cut = fixtures::MakeJpeg(options);
  cut.resize(cut.size() * 2 / 3);
  const QString path = Path("cut.jpg");
  fixtures::WriteFile(path.toStdString(), cut);
  ASSERT_TRUE(driver.Open(path, kReduction));
  const bool transposed = GetParam() >= 5;
  // A size in the selection's space from one across and one down the stored picture.
  const auto shown = [&](int across, int down) {
    return transposed ? QSize(down, across) : QSize(across, down);
  };
  const QSize selectable = document.SelectableSize();
  const int rows = transposed ? selectable.width() : selectable.height();
  EXPECT_EQ(selectable, shown(320, rows));
  EXPECT_GT(rows, 0);
  EXPECT_LT(rows, 240);
  EXPECT_EQ(rows % document.McuHeight(), 0);
  // Named where the stored top rows show: at the bottom turned half way round, as columns at
  // the right or left where the picture is shown on its side.
  const std::map<int, std::pair<QString, QString>> edges = {{1, {u"上"_s, u"行"_s}},
                                                            {3, {u"下"_s, u"行"_s}},
                                                            {6, {u"右"_s, u"列"_s}},
                                                            {8, {u"左"_s, u"列"_s}}};
  const auto& [edge, unit] = edges.at(GetParam());
  EXPECT_EQ(
      messages,
      std::vector<std::string>{
          u"ファイルが途中で切れています。トリミングできるのは全240%1のうち%2から%3%1までです。"_s
              .arg(unit, edge, QString::number(rows))
              .toStdString()});
  const auto rect = [&](QSize from, QSize to) {
    return TTrimRect{from.width(), from.height(), to.width(), to.height()};
  };
  EXPECT_FALSE(driver.Trim(rect(shown(0, 0), shown(320, rows + 1))));
  ASSERT_TRUE(driver.Trim(rect(shown(16, 0), shown(320, rows))));
  EXPECT_EQ(document.SelectableSize(), shown(304, rows));
}

INSTANTIATE_TEST_SUITE_P(Orientations, CutOffDocumentTest, ::testing::Values(1, 3, 6, 8));

// A file cut off whose data still end in EOI, which only decoding them tells from a whole file, is
// found as its rows are decoded after the open; progressive ones too, cut in their last scan.
TEST_F(DocumentTest, AFileCutOffIsFoundAsItsRowsAreDecoded) {
  const struct {
    const char* name;
    bool progressive;
    bool endsInEoi;
  } cases[] = {
      {"sequential", false, false},
      {"sequential ending in EOI", false, true},
      {"progressive cut in its last scan", true, false},
      {"progressive cut in its last scan, ending in EOI", true, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::JpegOptions options;
    options.width = 320;
    options.height = 240;
    options.progressive = c.progressive;
    Bytes cut = fixtures::MakeJpeg(options);
    // A progressive file's last scan holds the lowest bit of the AC coefficients: cut into it.
    cut.resize(cut.size() * (c.progressive ? 97 : 65) / 100);
    if (c.endsInEoi) cut.insert(cut.end(), {0xFF, 0xD9});
    const QString path = Path("cut.jpg");
    fixtures::WriteFile(path.toStdString(), cut);
    messages.clear();
    ASSERT_TRUE(driver.Open(path, kReduction));
    document.WaitForWork();
    const int rows = document.SelectableSize().height();
    EXPECT_GT(rows, 0);
    EXPECT_LT(rows, 240);
    EXPECT_EQ(rows % document.McuHeight(), 0);
    EXPECT_EQ(messages, std::vector<std::string>{
                            MessageText(TJpegWarning{EJpegWarning::kCutOff, rows, 0, 240})});
    EXPECT_FALSE(driver.Trim({0, 0, 320, rows + 1}));
    ASSERT_TRUE(driver.Trim({16, 0, 320, rows}));
    EXPECT_EQ(document.SelectableSize().height(), rows);
  }
}

// The coefficients are decoded after the open, a piece of rows at a time: a trim given meanwhile
// waits for the piece under way only, and the pieces below follow it.
TEST_F(DocumentTest, AFirstTrimInTheTopRowsRunsBeforeTheRowsBelowAreDecoded) {
  TDocument held{settings,
                 prompts,
                 [](const std::string&, int) {},
                 {.Threads = TBackgroundWork::TThreads::Held, .RowPiecePixels = 320 * 16 * 2}};
  std::vector<std::string> steps;
  held.SetChangeNotice([&](const TDocumentChange& change) {
    const std::string rows = std::to_string(held.DecodedRows());
    if (change.Kind == TDocumentChange::Decoded) {
      steps.push_back("decoded " + rows);
      if (steps.size() == 1) held.StartTrim({0, 0, 64, 32});
    }
    if (change.Kind == TDocumentChange::Trimmed) steps.push_back("trimmed at " + rows);
  });
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  const QString path = WriteJpeg("a.jpg", options);
  held.StartOpen(path, kReduction);
  held.WaitForWork();
  std::vector<std::string> expected = {"decoded 2", "decoded 4", "trimmed at 4"};
  for (const int rows : {6, 8, 10, 12, 14, 15})
    expected.push_back("decoded " + std::to_string(rows));
  EXPECT_EQ(steps, expected);
  EXPECT_EQ(Load(held.Bytes()), Expected(path, {0, 0, 64, 32}, false));
}

// A damaged restart interval, or a scan without restart markers that cannot be read on, is found
// as the rows are decoded after the open: the picture shown names the rows, and the largest band
// of whole rows without damage is offered and trims.
TEST_F(DocumentTest, DamageFoundAfterTheOpenIsNamedAndTheIntactRowsOffered) {
  const struct {
    const char* name;
    int interval;  // the restart interval scrambled, in MCU rows; -1 for no restart markers
    TTrimRect damaged;
    TTrimRect intact;
  } cases[] = {
      {"near the top", 1, {0, 16, 320, 32}, {0, 32, 320, 240}},
      {"near the bottom", 12, {0, 192, 320, 208}, {0, 0, 320, 192}},
      // A code no table has halfway through the data, in MCU row 8.
      {"no restart markers", -1, {0, 128, 320, 240}, {0, 0, 320, 128}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    fixtures::JpegOptions options;
    options.width = 320;
    options.height = 240;
    options.restartInterval = c.interval < 0 ? 0 : 20;  // an MCU row of 16 x 16 MCUs each
    const QString path = Path("damaged.jpg");
    const fixtures::Bytes photo = fixtures::MakeJpeg(options);
    fixtures::WriteFile(path.toStdString(),
                        c.interval < 0 ? fixtures::WithInsertedInScan(photo, 0.5)
                                       : fixtures::WithRestartIntervalScrambled(photo, c.interval));
    ASSERT_TRUE(driver.Open(path, kReduction));
    document.WaitForWork();
    EXPECT_EQ(document.DamagedRegions(), std::vector<TTrimRect>{c.damaged});
    EXPECT_EQ(document.IntactRect(), c.intact);
    EXPECT_TRUE(document.StatusText().endsWith(QString::fromUtf8(kMsgDamagedParts)));
    ASSERT_TRUE(driver.Trim(c.intact));
    EXPECT_TRUE(document.DamagedRegions().empty());
    EXPECT_EQ(document.IntactRect(), std::nullopt);
  }
}

// Closing, or opening another file, while the rows of one are decoded drops them; the rows
// finish on the engine they began on, which goes with them.
TEST_F(DocumentTest, ClosingOrOpeningAnotherWhileRowsAreDecodedDropsThem) {
  const QString first = SourcePicture();
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  const QString second = WriteJpeg("b.jpg", options);
  ASSERT_TRUE(driver.Open(first, kReduction));
  document.Close();
  document.WaitForWork();
  EXPECT_FALSE(document.HasDocument());
  ASSERT_TRUE(driver.Open(first, kReduction));
  ASSERT_TRUE(driver.Open(second, kReduction));
  document.WaitForWork();
  EXPECT_EQ(document.DecodedRows(), 15);
  EXPECT_TRUE(document.CoefficientsDecoded());
  TDocument gone{settings, prompts, [](const std::string&, int) {}};
  ASSERT_TRUE(TDocumentDriver(gone).Open(first, kReduction));
}

// Redo does again what undo took back, trims and turns alike, until a new change; undone
// again, a redone trim gives back the selection that made it.
TEST_F(DocumentTest, RedoDoesAgainWhatUndoTookBackUntilANewChange) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  EXPECT_FALSE(driver.Redo());
  ASSERT_TRUE(driver.Trim({16, 8, 656, 488}));
  const Bytes trimmed = Load(document.Bytes());
  ASSERT_TRUE(driver.Turn(kRotate90));
  const Bytes turned = Load(document.Bytes());
  const std::vector<TTrimStep> history = document.TrimHistory();
  ASSERT_EQ(driver.Undo(), std::nullopt);
  ASSERT_TRUE(driver.Undo());
  EXPECT_EQ(document.RedoSteps().size(), 2u);
  ASSERT_TRUE(driver.Redo());
  EXPECT_EQ(Load(document.Bytes()), trimmed);
  ASSERT_TRUE(driver.Redo());
  EXPECT_EQ(Load(document.Bytes()), turned);
  EXPECT_EQ(document.TrimHistory(), history);
  EXPECT_EQ(document.ModifyCount(), 2);
  EXPECT_FALSE(driver.Redo());
  EXPECT_EQ(driver.Undo(), std::nullopt);
  EXPECT_EQ(driver.Undo(), (TTrimRect{16, 0, 656, 488}));
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  EXPECT_TRUE(document.RedoSteps().empty());
  EXPECT_FALSE(driver.Redo());
}

// Opens asked for in a row are taken by the last: those not begun never begin, and the one under
// way stops before it decodes its picture.
TEST_F(DocumentTest, OnlyTheLastOfOpensInARowDecodesItsPicture) {
  int decodes = 0;
  TDocument held{settings,
                 prompts,
                 [](const std::string&, int) {},
                 {.Threads = TBackgroundWork::TThreads::Held,
                  .Decode = [&](std::span<const std::uint8_t> jpeg, int reduction) {
                    ++decodes;
                    return DecodePicture(jpeg, reduction);
                  }}};
  QString last;
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg"}) {
    last = WriteJpeg(name, {});
    held.StartOpen(last, kReduction);
  }
  held.WaitForWork();
  EXPECT_EQ(decodes, 1);
  EXPECT_EQ(held.DocFileName(), last);
}

TEST_F(DocumentTest, AFailedTrimKeepsThePreviousResult) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  // An empty selection is refused by the engine.
  EXPECT_FALSE(driver.Trim({16, 16, 16, 64}));
  EXPECT_EQ(Load(document.Bytes()), fixtures::ReadFile(path.toStdString()));
  EXPECT_TRUE(document.TrimHistory().empty());
  EXPECT_EQ(document.ModifyCount(), 0);

  ASSERT_TRUE(driver.Trim({16, 8, 656, 488}));
  const Bytes trimmed = Load(document.Bytes());
  EXPECT_FALSE(driver.Trim({16, 16, 64, 16}));
  EXPECT_TRUE(document.HasDocument());
  EXPECT_EQ(Load(document.Bytes()), trimmed);
  EXPECT_EQ(document.TrimHistory().size(), 1u);
  EXPECT_EQ(document.ModifyCount(), 1);
  EXPECT_EQ(document.StatusText(),
            path + QStringLiteral(" トリミング範囲 : [  17,   1] - [ 656, 488] ( 640, 488)"));
}

TEST_F(DocumentTest, CloseForgetsTheDocumentButKeepsTheSaveDialogsPlace) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  ASSERT_TRUE(driver.Trim({0, 0, 320, 240}));
  document.Close();
  EXPECT_FALSE(document.HasDocument());
  EXPECT_TRUE(document.StatusText().isEmpty());
  EXPECT_EQ(document.ModifyCount(), 0);
  EXPECT_TRUE(document.CloseQuery());
  EXPECT_EQ(document.SaveDialogFileName(), QStringLiteral("a.jpg"));
  ASSERT_TRUE(driver.Open(path, kReduction));
  EXPECT_TRUE(document.TrimHistory().empty());
}

// A phone photo stored lying on its side (Orientation 6) is worked on as it is shown: 70 x 100
// upright, rectangles in the stored picture transposed, turns of what is shown.
TEST_F(DocumentTest, APictureShownTurnedIsTrimmedAndTurnedAsShown) {
  fixtures::JpegOptions options;
  options.width = 100;
  options.height = 70;
  options.extraSegments.push_back(fixtures::MakeExifSegment(true, 100, 70, 4, true, 6));
  const QString path = WriteJpeg("six.jpg", options);
  const auto orientationOf = [](std::span<const std::uint8_t> bytes) {
    TJpegTrimming engine;
    EXPECT_TRUE(engine.AnalyzeBytes(bytes));
    return engine.ExifOrientation();
  };
  ASSERT_TRUE(driver.Open(path, kReduction));
  EXPECT_EQ(document.ShownOrientation(), kRotate90);
  EXPECT_EQ(document.StatusText(), path + QStringLiteral(" (70x100)"));

  // The upper half as shown is the stored left half; the stored top edge, the right edge on
  // screen, is the one on the grid.
  ASSERT_TRUE(driver.Trim({16, 0, 70, 50}));
  EXPECT_EQ(document.TrimHistory().back().Rect, (TTrimRect{0, 16, 50, 70}));
  // The status bar names the cut as the screen shows it: 54 wide, 50 high.
  EXPECT_EQ(document.StatusText(),
            path + QStringLiteral(" トリミング範囲 : [   1,   1] - [  54,  50] (  54,  50)"));
  EXPECT_EQ(orientationOf(document.Bytes()), kRotate90);
  EXPECT_EQ(fixtures::Decode(Load(document.Bytes())).width, 50);

  // Turned right, the stored bottom (the left edge as shown) loses its partial MCU row.
  ASSERT_TRUE(driver.Turn(kRotate90));
  // Named where it would lie now: the left edge turned right is the top.
  EXPECT_EQ(driver.Outcome().Notice,
            QStringLiteral("回転・反転で上端の6ピクセルを切り落としました。"));
  EXPECT_EQ(document.ShownOrientation(), kRotate90);
  EXPECT_EQ(fixtures::Decode(Load(document.Bytes())).width, 48);
  // The clipboard's PNG is upright: 50 wide as the stored picture is high.
  const std::unique_ptr<QMimeData> copied = document.ClipboardData();
  document.WaitForWork();
  const QImage png = QImage::fromData(copied->data(QStringLiteral("image/png")));
  EXPECT_EQ(png.size(), QSize(50, 48));

  EXPECT_EQ(driver.Undo(), std::nullopt);  // a turn leaves no selection behind
  EXPECT_EQ(driver.Undo(), (TTrimRect{16, 0, 70, 50}));

  ASSERT_TRUE(driver.Turn(std::nullopt));
  EXPECT_TRUE(document.ShownOrientation().IsIdentity());
  EXPECT_TRUE(orientationOf(document.Bytes()).IsIdentity());
  EXPECT_EQ(fixtures::Decode(Load(document.Bytes())).width, 64);
  EXPECT_FALSE(driver.Turn(std::nullopt));
}

// A wipe is a step: later trims and turns keep it, an undo takes it back and gives its selection
// again, a redo does it again, and what is saved is the engine's wipe of the source composed with
// the steps after it.
TEST_F(DocumentTest, AWipeIsAStepThatTrimsAndTurnsKeepAndUndoAndRedoFollow) {
  const QString path = SourcePicture();
  ASSERT_TRUE(driver.Open(path, kReduction));
  ASSERT_TRUE(driver.Wipe({100, 100, 300, 200}, EWipeFill::kGrey));
  const std::vector<TWipe> wiped = {{{100, 100, 300, 200}, EWipeFill::kGrey}};
  EXPECT_EQ(document.TrimHistory().back(),
            (TTrimStep{{0, 0, 1600, 1200}, false, false, {}, {}, wiped}));
  const Bytes wipedBytes = Load(document.Bytes());
  // The picture held is mended where the wipe reached, not decoded again.
  ASSERT_TRUE(document.Pictures().Holds(kReduction));
  EXPECT_EQ(document.Preview(kReduction)->Pixels, DecodePicture(wipedBytes, kReduction).Pixels);
  const fixtures::Pixels pixels = fixtures::Decode(wipedBytes);
  EXPECT_EQ(pixels.samples[(150 * 1600 + 200) * 3], 128);

  ASSERT_TRUE(driver.Trim({64, 64, 640, 480}));
  ASSERT_TRUE(driver.Turn(kRotate90));
  const TTrimStep last = document.TrimHistory().back();
  EXPECT_EQ(last.Wipes, wiped);
  TJpegTrimming engine;
  ASSERT_TRUE(engine.AnalyzeFile(path.toStdString()));
  engine.Wipes = wiped;
  TByteStream expected;
  ASSERT_TRUE(engine.TrimCut(expected, CutOf(last), false));
  EXPECT_EQ(Load(document.Bytes()), Load(expected.Bytes()));
  const QString saved = Path("saved.jpg");
  ASSERT_TRUE(document.SaveDocument(saved));
  EXPECT_EQ(fixtures::ReadFile(saved.toStdString()), Load(expected.Bytes()));

  EXPECT_EQ(driver.Undo(), std::nullopt);
  EXPECT_EQ(driver.Undo(), (TTrimRect{64, 64, 640, 480}));
  EXPECT_EQ(driver.Undo(), (TTrimRect{100, 100, 300, 200}));
  EXPECT_EQ(Load(document.Bytes()), fixtures::ReadFile(path.toStdString()));
  ASSERT_TRUE(driver.Redo());
  EXPECT_EQ(Load(document.Bytes()), wipedBytes);
  EXPECT_TRUE(document.Modified());
}

// A wipe shows its patch over the picture shown before its file is written; that picture, and
// the one held once the step is done, equal a decode of the file, upright or turned.
TEST_F(DocumentTest, AWipesPatchShowsFirstAndEqualsTheWipedFile) {
  for (const int reduction : {1, 8}) {
    for (const std::uint16_t orientation : {1, 6}) {
      SCOPED_TRACE(testing::Message() << "1/" << reduction << ", orientation " << orientation);
      fixtures::JpegOptions options;
      options.width = 480;
      options.height = 320;
      options.extraSegments = {fixtures::MakeExifSegment(true, 480, 320, 4, true, orientation)};
      ASSERT_TRUE(driver.Open(WriteJpeg("a.jpg", options), reduction));
      TPicture shown = *document.Preview(reduction);
      ASSERT_TRUE(driver.Wipe({100, 60, 260, 180}, EWipeFill::kGrey));
      ASSERT_EQ(driver.Patches().size(), 1u);
      ASSERT_TRUE(Mend(shown, driver.Patches()[0]));
      EXPECT_EQ(shown.Pixels, UprightPicture(DecodePicture(Load(document.Bytes()), reduction),
                                             document.ShownOrientation())
                                  .Pixels);
      EXPECT_EQ(document.Preview(reduction)->Pixels, shown.Pixels);
      EXPECT_EQ(document.Patch(), nullptr);
    }
  }
}

// An undo given while a wipe's file is written runs once it is done and takes it back, and a redo
// does it again: each shows and mends the picture as the wipe did, without decoding it again.
TEST_F(DocumentTest, AnUndoRightAfterAWipeTakesItBackAndARedoMendsAgain) {
  const QString path = SourcePicture();
  for (const bool trimmedFirst : {false, true}) {
    SCOPED_TRACE(trimmedFirst ? "after a trim" : "of the opened file");
    ASSERT_TRUE(driver.Open(path, kReduction));
    if (trimmedFirst) {
      ASSERT_TRUE(driver.Trim({64, 64, 1024, 768}));
    }
    const Bytes before = Load(document.Bytes());
    const QImage shown = document.PictureOrDecode(kReduction)->Pixels;
    const int decodes = document.Pictures().DecodeCount();
    document.StartWipe({100, 100, 300, 200}, EWipeFill::kGrey);
    EXPECT_EQ(driver.Undo(), (TTrimRect{100, 100, 300, 200}));
    // The wipe's patch, then the undo's.
    EXPECT_EQ(driver.Patches().size(), 2u);
    EXPECT_EQ(document.Patch(), nullptr);
    EXPECT_EQ(Load(document.Bytes()), before);
    ASSERT_TRUE(document.Pictures().Holds(kReduction));
    EXPECT_EQ(document.Preview(kReduction)->Pixels, shown);
    ASSERT_TRUE(driver.Redo());
    EXPECT_EQ(driver.Patches().size(), 1u);
    EXPECT_EQ(document.Pictures().DecodeCount(), decodes);
    EXPECT_EQ(document.Preview(kReduction)->Pixels,
              DecodePicture(Load(document.Bytes()), kReduction).Pixels);
  }
}

}  // namespace
}  // namespace tarvo
