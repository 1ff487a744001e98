// The real main window under QTest: layout, menus, shortcuts and command states.
#include <sys/stat.h>

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListView>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QScreen>
#include <QScrollArea>
#include <QSettings>
#include <QSignalSpy>
#include <QStatusBar>
#include <QStyle>
#include <QStyleOptionComboBox>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <thread>

#include "FileDialogs.h"
#include "JpegFixtures.h"
#include "JpegTrimming.h"
#include "MainWindow.h"
#include "Options.h"
#include "Resources.h"
#include "SettingsStore.h"
#include "WindowPlacement.h"
#include "WindowTexts.h"

namespace tarvo {

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  // A window on a settings file of its own, never the user's, doing its work step by step.
  std::unique_ptr<TFm_Main> NewWindow() {
    return std::make_unique<TFm_Main>(
        std::make_unique<TQSettingsStore>(settingsDir_.filePath(QStringLiteral("tarvo.conf"))),
        TDocumentWork{.Threads = TBackgroundWork::TThreads::Caller});
  }

  // Runs answer on the next modal dialog as soon as it is open.
  static void OnNextModal(std::function<void(QWidget*)> answer) {
    QTimer::singleShot(0, [answer] {
      QWidget* modal = QApplication::activeModalWidget();
      if (modal == nullptr) {
        OnNextModal(answer);
        return;
      }
      answer(modal);
    });
  }

  // Runs answer on the next message box, letting a file dialog before it pass.
  static void OnNextMessageBox(std::function<void(QMessageBox*)> answer) {
    QTimer::singleShot(0, [answer] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (box == nullptr) {
        OnNextMessageBox(answer);
        return;
      }
      answer(box);
    });
  }

  static void ChooseFile(const QString& path) {
    OnNextModal([path](QWidget* modal) {
      auto* dialog = qobject_cast<QFileDialog*>(modal);
      if (dialog == nullptr) qFatal("expected a file dialog");
      dialog->selectFile(path);
      static_cast<QDialog*>(dialog)->accept();
    });
  }

  // The offscreen platform does not hand activation back when a dialog closes.
  static void Activate(QWidget& window) {
    window.activateWindow();
    QTRY_COMPARE(QApplication::activeWindow(), &window);
  }

  // A 320 x 240 photo in dir.
  static QString WritePhoto(const QTemporaryDir& dir) {
    fixtures::JpegOptions options;
    options.width = 320;
    options.height = 240;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    fixtures::WriteFile(path.toStdString(), fixtures::MakeJpeg(options));
    return path;
  }

  QTemporaryDir settingsDir_;

  template <typename T>
  static T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no child %s", name);
    return child;
  }

 private slots:
  void initTestCase() { InitResources(); }

  void windowHasItsCaptionAndDesignedLayout() {
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    QCOMPARE(window.windowTitle(), QStringLiteral("JPEGファイル切り出しプログラム - tarvo -"));
    // The designed placement, as wide as the longest texts of the toolbar and the status bar
    // need, moved and shrunk only as far as the screen needs to hold the whole window.
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const QRect placed = FittedPlacement({323, 319, 696, 480}, {screen}, screen);
    QCOMPARE(window.height(), placed.height());
    QVERIFY(window.width() > 696 || window.width() == screen.width());
    QVERIFY(screen.contains(QRect(window.pos(), window.size())));
    const QString widest = QString::fromStdString(SelectionInformation({0, 0, 99999, 99999})) +
                           QString::fromUtf8(kMsgSelectionDamaged);
    const auto* information = Child<QLabel>(window, "Lbl_Information");
    QVERIFY(information->x() + information->fontMetrics().horizontalAdvance(widest) <=
                window.width() ||
            window.width() == screen.width());
    QCOMPARE(Child<QWidget>(window, "Pnl_Menu")->height(), 32);
    QVERIFY(Child<QScrollArea>(window, "ScrollBox") != nullptr);

    const struct {
      const char* name;
      int left;
      const char* tooltip;
    } buttons[] = {{"Sbn_OpenFile", 0, ""},
                   {"Sbn_SaveAsFile", 28, ""},
                   {"Sbn_Cut", 64, "トリミングの実行"},
                   {"Sbn_Undo", 92, "元に戻す"},
                   {"Sbn_AdjustRect", 120, "選択範囲の調整"}};
    for (const auto& expected : buttons) {
      auto* button = Child<QToolButton>(window, expected.name);
      QCOMPARE(button->geometry(), QRect(expected.left, 2, 28, 28));
      QCOMPARE(button->toolTip(), QString::fromUtf8(expected.tooltip));
      QCOMPARE(button->focusPolicy(), Qt::NoFocus);
      QVERIFY(!button->icon().isNull());
    }
    auto* viewRate = Child<QComboBox>(window, "Cbo_ViewRate");
    QCOMPARE(viewRate->pos(), QPoint(152, 4));
    // As designed, or wider where the font in use needs room to show every rate whole, fraction
    // included; the controls after it move along.
    QStyleOptionComboBox option;
    option.initFrom(viewRate);
    const QRect field = viewRate->style()->subControlRect(QStyle::CC_ComboBox, &option,
                                                          QStyle::SC_ComboBoxEditField, viewRate);
    for (int i = 0; i < viewRate->count(); ++i) {
      QVERIFY2(field.width() >= viewRate->fontMetrics().horizontalAdvance(viewRate->itemText(i)),
               qPrintable(viewRate->itemText(i)));
    }
    const int widened = viewRate->width() - 73;
    QVERIFY(widened >= 0);
    QCOMPARE(viewRate->toolTip(), QStringLiteral("表示の倍率"));
    auto* trimMode = Child<QComboBox>(window, "Cbo_TrimMode");
    QCOMPARE(trimMode->pos(), QPoint(230 + widened, 4));
    QCOMPARE(trimMode->width(), 104);
    QCOMPARE(trimMode->toolTip(), QStringLiteral("選択モード"));
    QCOMPARE(Child<QLabel>(window, "Lbl_Information")->pos(), QPoint(352 + widened, 8));
    for (const QComboBox* combo : {viewRate, trimMode}) {
      QCOMPARE(combo->maxVisibleItems(), 8);
      QCOMPARE(combo->focusPolicy(), Qt::StrongFocus);
    }
    QCOMPARE(viewRate->itemText(7), QStringLiteral("ウィンドウに合わせる"));
  }

  void menusHoldEveryItemInOrder() {
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    QStringList seen;
    for (QAction* top : window.menuBar()->actions()) {
      seen << top->text();
      for (QAction* item : top->menu()->actions()) {
        seen << (item->isSeparator() ? QStringLiteral("-")
                                     : item->text() + QLatin1Char('|') +
                                           item->shortcut().toString(QKeySequence::PortableText));
      }
    }
    const QStringList expected = {
        QStringLiteral("ファイル(&F)"),
        QStringLiteral("ファイルを開く(&O)|Ctrl+O"),
        QStringLiteral("上書き保存(&S)|"),
        QStringLiteral("名前を付けて保存(&A)|Ctrl+S"),
        QStringLiteral("閉じる|"),
        QStringLiteral("-"),
        QStringLiteral("終了|"),
        QStringLiteral("編集(&E)"),
        QStringLiteral("トリミングの実行|Ctrl+X"),
        QStringLiteral("元に戻す|Ctrl+Z"),
        QStringLiteral("やり直し|Ctrl+Y"),
        QStringLiteral("選択範囲の調整|"),
        QStringLiteral("-"),
        QStringLiteral("右に90度回転|Ctrl+R"),
        QStringLiteral("左に90度回転|Ctrl+L"),
        QStringLiteral("180度回転|"),
        QStringLiteral("左右反転|"),
        QStringLiteral("上下反転|"),
        QStringLiteral("Exifの向きに合わせて回転|"),
        QStringLiteral("-"),
        QStringLiteral("選択範囲を塗りつぶす(&W)|"),
        QStringLiteral("-"),
        QStringLiteral("コピー|Ctrl+C"),
        QStringLiteral("-"),
        QStringLiteral("オプション...|"),
        QStringLiteral("拡大\tCtrl +|"),
        QStringLiteral("縮小\tCtrl -|"),
        QStringLiteral("ヘルプ(&H)"),
        QStringLiteral("トピックの検索|"),
        QStringLiteral("-"),
        QStringLiteral("バージョン情報|"),
    };
    QCOMPARE(seen, expected);
  }

  void zoomRunsOnTheKeypadKeysOnly() {
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QSignalSpy zoomIn(Child<QAction>(window, "mnu_ZoomIn"), &QAction::triggered);
    QSignalSpy zoomOut(Child<QAction>(window, "mnu_ZoomOut"), &QAction::triggered);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ControlModifier);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier);
    QCOMPARE(zoomIn.count(), 0);
    QCOMPARE(zoomOut.count(), 0);
    QTest::keyClick(&window, Qt::Key_Plus, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(zoomIn.count(), 1);
    QTest::keyClick(&window, Qt::Key_Minus, Qt::ControlModifier | Qt::KeypadModifier);
    QCOMPARE(zoomOut.count(), 1);
  }

  void menuItemAndButtonSwitchTogether() {
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    const struct {
      const char* item;
      const char* button;
    } pairs[] = {{"mnu_SaveAsFile", "Sbn_SaveAsFile"},
                 {"mnu_GoOperation", "Sbn_Cut"},
                 {"mnu_Undo", "Sbn_Undo"},
                 {"mnu_AdjustRect", "Sbn_AdjustRect"}};
    for (const bool on : {true, false}) {
      window.SetCommandStates({true, on, on, on, on, on, on});
      for (const auto& pair : pairs) {
        QCOMPARE(Child<QAction>(window, pair.item)->isEnabled(), on);
        QCOMPARE(Child<QToolButton>(window, pair.button)->isEnabled(), on);
      }
      QCOMPARE(Child<QAction>(window, "mnu_SaveFile")->isEnabled(), on);
      QCOMPARE(Child<QAction>(window, "mnu_CloseFile")->isEnabled(), on);
    }
    QVERIFY(Child<QAction>(window, "a1")->isEnabled());
    QVERIFY(Child<QToolButton>(window, "Sbn_OpenFile")->isEnabled());
  }

  // Open, trim twice, undo, save as and exit, through the window's own commands and keys.
  void openTrimUndoSaveAsExit() {
    QTemporaryDir dir;
    const QString source = WritePhoto(dir);
    const QString saved = dir.filePath(QStringLiteral("cut.jpg"));

    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    ChooseFile(source);
    QTest::keyClick(&window, Qt::Key_O, Qt::ControlModifier);
    Activate(window);
    QCOMPARE(window.StatusText(), source + QStringLiteral(" (320x240)"));
    QCOMPARE(
        window.CommandStates(),
        (TCommandStates{.SaveFile = true, .SaveAsFile = true, .CloseFile = true, .Turn = true}));

    // Selections as a drag would leave them, on the 16 x 16 MCU grid of a 4:2:0 picture that
    // the view has set up.
    window.Selection().Place({16, 32, 208, 160});
    QVERIFY(window.CommandStates().GoOperation);
    QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier);
    QCOMPARE(window.StatusText(),
             source + QStringLiteral(" トリミング範囲 : [  17,  33] - [ 208, 160] ( 192, 128)"));
    QVERIFY(!window.CommandStates().GoOperation);
    QVERIFY(window.CommandStates().Undo);

    window.Selection().Place({32, 16, 96, 80});
    QTest::mouseClick(Child<QToolButton>(window, "Sbn_Cut"), Qt::LeftButton);
    QCOMPARE(window.Document().TrimHistory().size(), std::size_t{2});

    QTest::mouseClick(Child<QToolButton>(window, "Sbn_Undo"), Qt::LeftButton);
    QCOMPARE(window.Document().TrimHistory().size(), std::size_t{1});
    QCOMPARE(window.Selection().SelectionState(), selIdle);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{32, 16, 96, 80}));
    QVERIFY(window.CommandStates().Undo);
    QVERIFY(window.CommandStates().GoOperation);

    ChooseFile(saved);
    QTest::keyClick(&window, Qt::Key_S, Qt::ControlModifier);
    Activate(window);
    QCOMPARE(window.Document().ModifyCount(), 0);
    // The status bar names the file the document now is.
    QCOMPARE(window.StatusText(),
             saved + QStringLiteral(" トリミング範囲 : [  17,  33] - [ 208, 160] ( 192, 128)"));
    // The saved file is the first trim, block for block, and decodes to its pixels.
    TJpegTrimming engine;
    QVERIFY(engine.AnalyzeFile(source.toStdString()));
    TByteStream expected;
    QVERIFY(engine.Trim(expected, {16, 32, 208, 160}, false));
    const fixtures::Bytes bytes = fixtures::ReadFile(saved.toStdString());
    QVERIFY(bytes == fixtures::Bytes(expected.Bytes().begin(), expected.Bytes().end()));
    QCOMPARE(fixtures::Decode(bytes).width, 192);

    // Nothing unsaved: "終了" closes without a question and stores the settings.
    Child<QAction>(window, "mnu_Exit")->trigger();
    QVERIFY(!window.isVisible());
    const QSettings stored(settingsDir_.filePath(QStringLiteral("tarvo.conf")),
                           QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("App_WindowState")).toInt(), 0);
  }

  // Ctrl+Y and Ctrl+Shift+Z redo what Ctrl+Z took back, "やり直し" after "元に戻す" in the edit
  // menu; a new trim leaves nothing to redo.
  void redoByEitherKey() {
    QTemporaryDir dir;
    const QString source = WritePhoto(dir);
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.OpenDocument(source);
    const QList<QAction*> edit = Child<QMenu>(window, "mnu_Edit")->actions();
    QCOMPARE(edit.indexOf(Child<QAction>(window, "mnu_Redo")),
             edit.indexOf(Child<QAction>(window, "mnu_Undo")) + 1);
    QCOMPARE(Child<QAction>(window, "mnu_Redo")->text(), QStringLiteral("やり直し"));
    window.Selection().Place({16, 32, 208, 160});
    QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier);
    const QString trimmed = window.StatusText();
    const Qt::KeyboardModifiers shifted = Qt::ControlModifier | Qt::ShiftModifier;
    for (const Qt::KeyboardModifiers modifiers :
         {shifted, Qt::KeyboardModifiers(Qt::ControlModifier)}) {
      QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
      QVERIFY(window.CommandStates().Redo);
      QTest::keyClick(&window, modifiers == shifted ? Qt::Key_Z : Qt::Key_Y, modifiers);
      QCOMPARE(window.StatusText(), trimmed);
      QVERIFY(!window.CommandStates().Redo);
    }
    QTest::keyClick(&window, Qt::Key_Z, Qt::ControlModifier);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{16, 32, 208, 160}));
    QTest::keyClick(&window, Qt::Key_X, Qt::ControlModifier);
    QVERIFY(!window.CommandStates().Redo);
    QTest::keyClick(&window, Qt::Key_Y, Qt::ControlModifier);
    QCOMPARE(window.Document().TrimHistory().size(), std::size_t{1});
  }

  // Answers the next question with the button captioned answer, records it, then runs next.
  static void Answer(const char* answer, QString* question, std::function<void()> next = {}) {
    OnNextModal([answer, question, next](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box == nullptr) qFatal("expected a message box");
      *question = box->windowTitle() + QLatin1Char('|') + box->text();
      for (QAbstractButton* button : box->buttons()) {
        if (button->text() == QString::fromUtf8(answer)) button->click();
      }
      if (next) next();
    });
  }

  // With unsaved changes, closing the window, opening another file (dialog or drop) and
  // "閉じる" all ask the close question first; only its answer lets the trims go.
  void unsavedTrimsAreAskedAboutBeforeTheyGo() {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("photo.jpg"));
    const QString other = dir.filePath(QStringLiteral("other.jpg"));
    const QString saved = dir.filePath(QStringLiteral("saved.jpg"));
    fixtures::WriteFile(source.toStdString(), fixtures::MakeJpeg({}));
    fixtures::WriteFile(other.toStdString(), fixtures::MakeJpeg({}));
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    const auto openAndTrim = [&window, &source] {
      window.OpenDocument(source);
      window.Selection().Place({0, 0, 32, 32});
      window.mnu_GoOperationClick();
      QCOMPARE(window.Document().ModifyCount(), 1);
    };
    const QString expected = QStringLiteral("警告|変更があります。\nファイルに保存しますか？");
    openAndTrim();

    QString question;
    Answer("キャンセル", &question);
    QVERIFY(!window.close());
    QCOMPARE(question, expected);
    QVERIFY(window.isVisible());

    // "キャンセル" before the open dialog: no dialog, the trims stay.
    question.clear();
    Answer("キャンセル", &question);
    Child<QAction>(window, "mnu_OpenFile")->trigger();
    QCOMPARE(question, expected);
    QCOMPARE(window.Document().ModifyCount(), 1);
    QCOMPARE(window.Document().DocFileName(), source);

    // "いいえ" lets a dropped file take the document's place.
    question.clear();
    Answer("いいえ(&N)", &question);
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(other)});
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    static_cast<QObject&>(window).event(&drop);
    QTRY_COMPARE(window.Document().DocFileName(), other);
    QCOMPARE(question, expected);

    // "はい" saves first; "閉じる" goes on only once the file is written.
    openAndTrim();
    Activate(window);
    question.clear();
    Answer("はい(&Y)", &question, [&saved] { ChooseFile(saved); });
    Child<QAction>(window, "mnu_CloseFile")->trigger();
    QCOMPARE(question, expected);
    QVERIFY(QFile::exists(saved));
    QCOMPARE(window.CommandStates(), TCommandStates{});
    QVERIFY(window.StatusText().isEmpty());
    Activate(window);
    QVERIFY(window.close());
  }

  // Only the first argument counts, and only at the first showing. A missing file or a folder
  // gets the message a drop of it gets.
  void commandLineFileOpensOnceAtFirstShow() {
    QTemporaryDir dir;
    const QString source = dir.filePath(QStringLiteral("photo.jpg"));
    fixtures::WriteFile(source.toStdString(), fixtures::MakeJpeg({}));

    for (const QString& refused : {dir.filePath(QStringLiteral("none.jpg")), dir.path()}) {
      QString shownForDrop;
      QString shownForArgument;
      const auto record = [](QString* shown) {
        OnNextMessageBox([shown](QMessageBox* box) {
          *shown = box->text();
          box->buttons().constFirst()->click();
        });
      };
      const std::unique_ptr<TFm_Main> dropped = NewWindow();
      dropped->show();
      QVERIFY(QTest::qWaitForWindowExposed(dropped.get()));
      record(&shownForDrop);
      QMimeData data;
      data.setUrls({QUrl::fromLocalFile(refused)});
      QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
      static_cast<QObject&>(*dropped).event(&drop);
      QTRY_VERIFY(!shownForDrop.isEmpty());

      const std::unique_ptr<TFm_Main> argument = NewWindow();
      record(&shownForArgument);
      argument->SetArguments({refused, source});
      argument->show();
      QTRY_COMPARE(shownForArgument, shownForDrop);
      QVERIFY(!argument->Document().HasDocument());
      QVERIFY(argument->StatusText().isEmpty());
    }

    const std::unique_ptr<TFm_Main> window = NewWindow();
    window->SetArguments({source, dir.filePath(QStringLiteral("none.jpg"))});
    window->show();
    QTRY_VERIFY(window->Document().HasDocument());
    QCOMPARE(window->Document().DocFileName(), source);
    window->mnu_CloseFileClick();
    window->hide();
    window->show();
    QTest::qWait(20);
    QVERIFY(!window->Document().HasDocument());
  }

  // Of several dropped files only the first is opened; a file that cannot be read is reported
  // by the general error handler with the application title, and the window keeps its document.
  void droppedFilesAndErrors() {
    QTemporaryDir dir;
    const QString first = dir.filePath(QStringLiteral("first.jpg"));
    const QString second = dir.filePath(QStringLiteral("second.jpg"));
    fixtures::WriteFile(first.toStdString(), fixtures::MakeJpeg({}));
    fixtures::WriteFile(second.toStdString(), fixtures::MakeJpeg({}));
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QMimeData data;
    data.setUrls(
        {QUrl::fromLocalFile(first), QUrl::fromLocalFile(second), QUrl::fromLocalFile(second)});
    QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    // Straight to the window's handler: the application only routes drops of a real drag.
    static_cast<QObject&>(window).event(&drop);
    // Opened after the drop has returned, so the program it came from never waits on us.
    QVERIFY(!window.Document().HasDocument());
    QTRY_COMPARE(window.Document().DocFileName(), first);

    const QString missing = dir.filePath(QStringLiteral("gone.jpg"));
    QString shown;
    OnNextModal([&shown](QWidget* modal) {
      auto* box = qobject_cast<QMessageBox*>(modal);
      if (box == nullptr) qFatal("expected a message box");
      shown = box->windowTitle() + QLatin1Char('|') + box->text();
      box->buttons().constFirst()->click();
    });
    const QString status = window.StatusText();
    const TCommandStates states = window.CommandStates();
    window.RunCommand([&] { window.OpenDocument(missing); });
    // With the system's reason, in the user's language where the system has it.
    QCOMPARE(shown, QStringLiteral("tarvo|ファイル %1 は開けません: %2")
                        .arg(missing, QString::fromLocal8Bit(std::strerror(ENOENT))));
    // The open document is kept as it was.
    QCOMPARE(window.Document().DocFileName(), first);
    QVERIFY(window.Document().HasDocument());
    QCOMPARE(window.StatusText(), status);
    QCOMPARE(window.CommandStates(), states);
  }

  // A FIFO reaches the open as any file does, through the dialog, a drop or the command line;
  // it is refused with the open's message before it is opened, never waited on.
  void fifoIsRefusedUnopenedInEveryWayIn() {
    QTemporaryDir dir;
    const QString fifo = dir.filePath(QStringLiteral("pipe.jpg"));
    QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0666) == 0);
    // Blocked in open(), the window would never come back: fail instead of hanging.
    struct TWatchdog {
      std::atomic<bool> done = false;
      std::thread thread{[this] {
        for (int tenth = 0; tenth < 300 && !done; ++tenth) {
          std::this_thread::sleep_for(std::chrono::milliseconds(100));
        }
        if (!done) qFatal("the window blocked opening a FIFO");
      }};
      ~TWatchdog() {
        done = true;
        thread.join();
      }
    } watchdog;
    const std::function<void(TFm_Main&)> ways[] = {
        [&](TFm_Main& window) {
          ChooseFile(fifo);
          window.RunCommand([&window] { window.mnu_OpenFileClick(); });
        },
        [&](TFm_Main& window) {
          QMimeData data;
          data.setUrls({QUrl::fromLocalFile(fifo)});
          QDropEvent drop(QPointF(100, 100), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
          static_cast<QObject&>(window).event(&drop);
        },
        [&](TFm_Main& window) { window.SetArguments({fifo}); },
    };
    for (const auto& way : ways) {
      const std::unique_ptr<TFm_Main> window = NewWindow();
      QString shown;
      OnNextMessageBox([&shown](QMessageBox* box) {
        shown = box->text();
        box->buttons().constFirst()->click();
      });
      way(*window);
      window->show();
      QTRY_COMPARE(shown, QStringLiteral("ファイル %1 は開けません").arg(fifo));
      QVERIFY(!window->Document().HasDocument());
    }
  }

  // The selection's size never runs past the window's right edge: the padding goes first, then
  // the end of the text.
  void informationTextFitsTheWindow() {
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("photo.jpg"));
    fixtures::JpegOptions options;
    options.width = 320;
    options.height = 240;
    fixtures::WriteFile(path.toStdString(), fixtures::MakeJpeg(options));
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    TFm_Main& window = *owner;
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.OpenDocument(path);
    window.Selection().Place({16, 32, 208, 160});
    auto* label = Child<QLabel>(window, "Lbl_Information");
    for (const int width : {1200, 696, 560, 420}) {
      window.resize(width, 480);
      QTRY_COMPARE(window.width(), width);
      // A window narrower than the combos leaves no room to start the text in.
      QVERIFY2(label->x() >= width || label->geometry().right() < width,
               qPrintable(label->text() + QStringLiteral(" at %1").arg(label->x())));
      if (width < 696) continue;
      for (const char* number : {"17", "33", "208", "160", "192", "128"}) {
        QVERIFY2(label->text().contains(QLatin1String(number)), qPrintable(label->text()));
      }
    }
  }

  // The stored placement replaces the designed one and is written back at close.
  void placementComesFromTheSettingsAndGoesBackToThem() {
    const QString file = settingsDir_.filePath(QStringLiteral("placement.conf"));
    {
      QSettings stored(file, QSettings::IniFormat);
      stored.setValue(QStringLiteral("App_Left"), 100);
      stored.setValue(QStringLiteral("App_Top"), 50);
      stored.setValue(QStringLiteral("App_Width"), 500);
      stored.setValue(QStringLiteral("App_Height"), 400);
    }
    TFm_Main window(std::make_unique<TQSettingsStore>(file));
    QCOMPARE(window.pos(), QPoint(100, 50));
    QCOMPARE(window.size(), QSize(500, 400));
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    window.move(120, 60);
    window.resize(520, 420);
    QVERIFY(window.close());
    const QSettings stored(file, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("App_Left")).toInt(), 120);
    QCOMPARE(stored.value(QStringLiteral("App_Top")).toInt(), 60);
    QCOMPARE(stored.value(QStringLiteral("App_Width")).toInt(), 520);
    QCOMPARE(stored.value(QStringLiteral("App_Height")).toInt(), 420);
    QCOMPARE(stored.value(QStringLiteral("gViewRate")).toInt(), 3);
  }

  void optionsPresetReachesTheComboAndTheSettings() {
    const QString file = settingsDir_.filePath(QStringLiteral("options.conf"));
    auto window = std::make_unique<TFm_Main>(std::make_unique<TQSettingsStore>(file));
    TFm_Options options(window->TrimModeList(), window->Settings(), window.get());
    window->SetDialogs(nullptr, nullptr, &options);
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    auto* combo = Child<QComboBox>(*window, "Cbo_TrimMode");
    const int before = combo->count();
    // Cancel first: nothing may change.
    OnNextModal([](QWidget* modal) {
      Child<QLineEdit>(*modal, "Txt_Title")->setText(QStringLiteral("捨てる"));
      Child<QAbstractButton>(*modal, "Btn_Cancel")->click();
    });
    Child<QAction>(*window, "mnu_Option")->trigger();
    QCOMPARE(combo->count(), before);
    // Then a new preset from a blank row of the grid, committed with OK.
    OnNextModal([](QWidget* modal) {
      auto* grid = Child<QTableWidget>(*modal, "Grid");
      grid->setCurrentCell(grid->rowCount() - 1, 0);
      Child<QLineEdit>(*modal, "Txt_Title")->setText(QStringLiteral("正方形"));
      Child<QLineEdit>(*modal, "Txt_Explanation")->setText(QStringLiteral("1:1"));
      Child<QLineEdit>(*modal, "Txt_AspectRatio_X")->setText(QStringLiteral("1"));
      Child<QLineEdit>(*modal, "Txt_AspectRatio_Y")->setText(QStringLiteral("1"));
      Child<QAbstractButton>(*modal, "Btn_Update")->click();
      Child<QAbstractButton>(*modal, "Btn_OK")->click();
    });
    Activate(*window);
    Child<QAction>(*window, "mnu_Option")->trigger();
    QCOMPARE(combo->count(), before + 1);
    QVERIFY(combo->itemText(before).contains(QStringLiteral("正方形")));
    Activate(*window);
    QVERIFY(window->close());
    const QSettings stored(file, QSettings::IniFormat);
    QCOMPARE(stored.value(QStringLiteral("gModeCount")).toInt(), 5);
    QCOMPARE(stored.value(QStringLiteral("Mode_Title_4")).toString(), QStringLiteral("正方形"));
  }

  void openDialogListsJpegsInEveryLetterCase() {
    QTemporaryDir dir;
    for (const char* name :
         {"a.jpg", "b.JPG", "c.jpeg", "d.JPEG", "e.png", "f.txt", "g.mpo", "h.JPE"}) {
      QFile file(dir.filePath(QString::fromLatin1(name)));
      QVERIFY(file.open(QIODevice::WriteOnly));
    }
    const std::unique_ptr<TFm_Main> owner = NewWindow();
    const std::unique_ptr<QFileDialog> dialog = NewOpenDialog(owner.get());
    dialog->setOption(QFileDialog::DontUseNativeDialog);
    dialog->setDirectory(dir.path());
    auto* filter = Child<QComboBox>(*dialog, "fileTypeCombo");
    QCOMPARE(filter->currentText(), QStringLiteral("画像ファイル (*.JPG)"));
    QCOMPARE(filter->count(), 2);
    QCOMPARE(filter->itemText(1), QStringLiteral("すべてのファイル"));
    auto* list = Child<QListView>(*dialog, "listView");
    const auto listed = [&](int rows) {
      QStringList names;
      for (int row = 0; row < rows; ++row) {
        names << list->model()->index(row, 0, list->rootIndex()).data().toString();
      }
      names.sort();
      return names.join(u' ');
    };
    QTRY_COMPARE(list->model()->rowCount(list->rootIndex()), 6);
    QCOMPARE(listed(6), QStringLiteral("a.jpg b.JPG c.jpeg d.JPEG g.mpo h.JPE"));
    dialog->selectNameFilter(QString::fromUtf8(kAllFilesFilter));
    QTRY_COMPARE(list->model()->rowCount(list->rootIndex()), 8);
  }
};

}  // namespace tarvo

QTEST_MAIN(tarvo::MainWindowTest)
#include "MainWindowTest.moc"
