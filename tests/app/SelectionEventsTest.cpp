#include "SelectionEvents.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>
#include <vector>

namespace tarvo {
namespace {

TEST(SelectionEventTapsTest, KeysAreSeenOnceBeforeTheFocusedControlAndNotConsumed) {
  QWidget window;
  auto* layout = new QVBoxLayout(&window);
  auto* panel = new QWidget(&window);
  panel->setFixedHeight(32);
  auto* edit = new QLineEdit(&window);
  layout->addWidget(panel);
  layout->addWidget(edit);
  TSelectionEventTaps taps(&window, panel);
  std::vector<int> keys;
  int panelMoves = 0;
  taps.OnKeyDown = [&keys](int key, Qt::KeyboardModifiers) { keys.push_back(key); };
  taps.OnMenuPanelMouseMove = [&panelMoves] { ++panelMoves; };
  window.show();
  QApplication::setActiveWindow(&window);
  edit->setFocus();
  ASSERT_EQ(QApplication::focusWidget(), edit);

  // Typed into the field, and seen once: F5, which the field passes on to its parents, too.
  QTest::keyClick(edit, Qt::Key_X);
  QTest::keyClick(edit, Qt::Key_F5);
  EXPECT_EQ(keys, (std::vector<int>{Qt::Key_X, Qt::Key_F5}));
  EXPECT_EQ(edit->text(), QStringLiteral("x"));

  // Another window's keys are its own.
  QWidget other;
  auto* otherEdit = new QLineEdit(&other);
  other.show();
  QApplication::setActiveWindow(&other);
  otherEdit->setFocus();
  QTest::keyClick(otherEdit, Qt::Key_Y);
  EXPECT_EQ(keys.size(), 2u);
  other.hide();

  QTest::mouseMove(panel, QPoint(5, 5));
  EXPECT_EQ(panelMoves, 1);
  QTest::mouseMove(edit, QPoint(5, 5));
  EXPECT_EQ(panelMoves, 1);
}

}  // namespace
}  // namespace tarvo
