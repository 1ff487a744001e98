// The selection on the real main window under QTest: dragged with the mouse, trimmed, undone,
// chosen by preset and moved by keys.
#include <QAction>
#include <QApplication>
#include <QLabel>
#include <QTemporaryDir>
#include <QTest>
#include <memory>

#include "JpegFixtures.h"
#include "MainWindow.h"
#include "PictureView.h"
#include "Resources.h"
#include "SettingsStore.h"
#include "TrimModeCombo.h"

namespace tarvo {

class SelectionWindowTest : public QObject {
  Q_OBJECT

 private:
  // A shown window on a settings file of its own, with an 800 × 600 4:4:4 photo open at 100 %.
  std::unique_ptr<TFm_Main> OpenPhoto() {
    fixtures::JpegOptions options;
    options.width = 800;
    options.height = 600;
    options.sampling = fixtures::Sampling::k444;
    const QString path = dir_.filePath(QStringLiteral("photo.jpg"));
    fixtures::WriteFile(path.toStdString(), fixtures::MakeJpeg(options));
    auto window = std::make_unique<TFm_Main>(
        std::make_unique<TQSettingsStore>(dir_.filePath(QStringLiteral("tarvo.conf"))),
        TDocumentWork{.Threads = TBackgroundWork::TThreads::Caller});
    window->resize(1000, 800);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get())) qFatal("window not shown");
    window->OpenDocument(path);
    return window;
  }

  template <typename T>
  static T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no child %s", name);
    return child;
  }

  // Where the window's keys go first: the focused control, or the window itself.
  static QWidget* KeyTarget(TFm_Main& window) {
    QWidget* focus = QApplication::focusWidget();
    return focus != nullptr ? focus : &window;
  }

  static QString Information(TFm_Main& window) {
    return Child<QLabel>(window, "Lbl_Information")->text();
  }

  static void Drag(QWidget* area, QPoint from, QPoint to) {
    QTest::mousePress(area, Qt::LeftButton, Qt::NoModifier, from);
    QTest::mouseMove(area, (from + to) / 2);
    QTest::mouseMove(area, to);
    QTest::mouseRelease(area, Qt::LeftButton, Qt::NoModifier, to);
  }

  QTemporaryDir dir_;

 private slots:
  void initTestCase() { InitResources(); }

  void mouseDragThenTrimKeepsWholeMcus() {
    const std::unique_ptr<TFm_Main> owner = OpenPhoto();
    TFm_Main& window = *owner;
    auto* paintBox = Child<TPaintBox>(window, "PaintBox");
    QCOMPARE(paintBox->size(), QSize(800, 600));
    const QImage clean = paintBox->grab().toImage();
    QVERIFY(!window.CommandStates().GoOperation);

    Drag(paintBox, QPoint(100, 100), QPoint(500, 400));
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{96, 96, 500, 400}));
    QCOMPARE(window.Selection().SelectionState(), selIdle);
    QCOMPARE(Information(window), QStringLiteral("[  97,  97] - [ 500, 400] ( 404, 304)"));
    QVERIFY(window.CommandStates().GoOperation);
    QVERIFY(window.CommandStates().AdjustRect);
    // The frame paints dark and light dashes on its edge and leaves its inside alone.
    const QImage framed = paintBox->grab().toImage();
    QCOMPARE(framed.pixel(96, 96), qRgb(0, 0, 0));
    QCOMPARE(framed.pixel(100, 96), qRgb(255, 255, 255));
    QCOMPARE(framed.pixel(300, 250), clean.pixel(300, 250));

    // A click outside removes it and leaves no trace.
    QTest::mouseClick(paintBox, Qt::LeftButton, Qt::NoModifier, QPoint(700, 500));
    QCOMPARE(window.Selection().SelectionState(), selNone);
    QVERIFY(Information(window).isEmpty());
    QVERIFY(!window.CommandStates().GoOperation);
    QCOMPARE(paintBox->grab().toImage(), clean);

    Drag(paintBox, QPoint(100, 100), QPoint(500, 400));
    Child<QAction>(window, "mnu_GoOperation")->trigger();
    QCOMPARE(paintBox->Picture().Frame, QSize(404, 304));
    QCOMPARE(window.Selection().SelectionState(), selNone);
    QVERIFY(!window.CommandStates().GoOperation);
    QVERIFY(window.CommandStates().Undo);

    // Undo brings the picture back with the selection that was trimmed.
    Child<QAction>(window, "mnu_Undo")->trigger();
    QCOMPARE(paintBox->Picture().Frame, QSize(800, 600));
    QCOMPARE(window.Selection().SelectionState(), selIdle);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{96, 96, 500, 400}));
    QCOMPARE(Information(window), QStringLiteral("[  97,  97] - [ 500, 400] ( 404, 304)"));
    QVERIFY(window.CommandStates().GoOperation);
    QCOMPARE(paintBox->grab().toImage(), framed);
  }

  void presetModePlacesItsSelectionAfterTrimAndOpen() {
    const std::unique_ptr<TFm_Main> owner = OpenPhoto();
    TFm_Main& window = *owner;
    auto* combo = Child<TTrimModeCombo>(window, "Cbo_TrimMode");
    QCOMPARE(combo->count(), 6);
    combo->setCurrentIndex(5);  // "カメラ(縦)", 2 : 3
    emit combo->activated(5);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{0, 0, 400, 600}));
    QVERIFY(window.CommandStates().GoOperation);
    Child<QAction>(window, "mnu_GoOperation")->trigger();
    auto* paintBox = Child<TPaintBox>(window, "PaintBox");
    QCOMPARE(paintBox->Picture().Frame, QSize(400, 600));
    // The preset is placed again on the trimmed picture, ready for the next trim.
    QCOMPARE(window.Selection().SelectionState(), selIdle);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{0, 0, 400, 600}));
    QVERIFY(window.CommandStates().GoOperation);
    window.OpenDocument(dir_.filePath(QStringLiteral("photo.jpg")));
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{0, 0, 400, 600}));
    QVERIFY(window.CommandStates().GoOperation);

    // "自由" keeps the selection; Ctrl+A then takes the whole picture.
    combo->setCurrentIndex(0);
    emit combo->activated(0);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{0, 0, 400, 600}));
    window.Selection().Place({8, 8, 100, 100});
    QTest::keyClick(KeyTarget(window), Qt::Key_A, Qt::ControlModifier);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{0, 0, 800, 600}));
  }

  void keysMoveAndResizeTheSelection() {
    const std::unique_ptr<TFm_Main> owner = OpenPhoto();
    TFm_Main& window = *owner;
    auto* paintBox = Child<TPaintBox>(window, "PaintBox");
    Drag(paintBox, QPoint(100, 100), QPoint(500, 400));
    QWidget* target = KeyTarget(window);
    QTest::keyClick(target, Qt::Key_Right);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{104, 96, 508, 400}));
    QTest::keyClick(target, Qt::Key_Down, Qt::ShiftModifier);
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{104, 96, 508, 408}));
    QCOMPARE(Information(window), QStringLiteral("[ 105,  97] - [ 508, 408] ( 404, 312)"));

    // "選択範囲の調整" widens to whole MCUs once the explanation is switched off.
    window.Settings().ShowExplanation_AdjustRect = false;
    window.mnu_AdjustRectClick();
    QCOMPARE(window.Selection().SelectionRect(), (TTrimRect{104, 96, 512, 408}));
  }

  void pointerShowsTheHandleAndTheToolbarRestoresIt() {
    const std::unique_ptr<TFm_Main> owner = OpenPhoto();
    TFm_Main& window = *owner;
    auto* paintBox = Child<TPaintBox>(window, "PaintBox");
    Drag(paintBox, QPoint(100, 100), QPoint(500, 400));
    QTest::mouseMove(paintBox, QPoint(499, 250));
    QVERIFY(QGuiApplication::overrideCursor() != nullptr);
    QCOMPARE(QGuiApplication::overrideCursor()->shape(), Qt::SizeHorCursor);
    QTest::mouseMove(Child<QWidget>(window, "Pnl_Menu"), QPoint(900, 3));
    QCOMPARE(QGuiApplication::overrideCursor(), nullptr);
  }
};

}  // namespace tarvo

QTEST_MAIN(tarvo::SelectionWindowTest)
#include "SelectionWindowTest.moc"
