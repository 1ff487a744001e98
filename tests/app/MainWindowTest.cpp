// The real main window under QTest: layout, menus, shortcuts and command states.
#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QScrollArea>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>
#include <QToolButton>

#include "MainWindow.h"
#include "Resources.h"

namespace tarvo {

class MainWindowTest : public QObject {
  Q_OBJECT

 private:
  template <typename T>
  static T* Child(QObject& parent, const char* name) {
    T* child = parent.findChild<T*>(QString::fromLatin1(name));
    if (child == nullptr) qFatal("no child %s", name);
    return child;
  }

 private slots:
  void initTestCase() { InitResources(); }

  void windowHasItsCaptionAndDesignedLayout() {
    TFm_Main window;
    QCOMPARE(window.windowTitle(), QStringLiteral("JPEGファイル切り出しプログラム - tarvo -"));
    QCOMPARE(window.size(), QSize(696, 480));
    QCOMPARE(window.pos(), QPoint(323, 319));
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
    QCOMPARE(viewRate->width(), 73);
    QCOMPARE(viewRate->toolTip(), QStringLiteral("表示の倍率"));
    auto* trimMode = Child<QComboBox>(window, "Cbo_TrimMode");
    QCOMPARE(trimMode->pos(), QPoint(230, 4));
    QCOMPARE(trimMode->width(), 104);
    QCOMPARE(trimMode->toolTip(), QStringLiteral("選択モード"));
    QCOMPARE(Child<QLabel>(window, "Lbl_Information")->pos(), QPoint(352, 8));
  }

  void menusHoldEveryItemInOrder() {
    TFm_Main window;
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
        QStringLiteral("選択範囲の調整|"),
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
    TFm_Main window;
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
    TFm_Main window;
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
};

}  // namespace tarvo

QTEST_MAIN(tarvo::MainWindowTest)
#include "MainWindowTest.moc"
