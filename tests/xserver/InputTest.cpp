// Keys and the wheel as a user's hardware sends them, through the X server to the program.
#include <QPoint>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

// Each sequence ends on a rate its faulty counterpart never passes through, so a main-keyboard
// key that zoomed could not hide behind a state line sampled too early.
TEST_F(XWindow, CtrlWithTheKeypadPlusOrMinusZoomsTheMainKeyboardsDoNot) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_EQ(tarvo->State().value(kRate), QStringLiteral("100.0% (1/1)"));
  tarvo->Key({QStringLiteral("ctrl+minus"), QStringLiteral("ctrl+KP_Add")});
  EXPECT_TRUE(tarvo->WaitFor(kRate, QStringLiteral("200.0% (2/1)")));
  tarvo->Key({QStringLiteral("ctrl+plus"), QStringLiteral("ctrl+KP_Subtract"),
              QStringLiteral("ctrl+KP_Subtract")});
  EXPECT_TRUE(tarvo->WaitFor(kRate, QStringLiteral(" 50.0% (1/2)")));
}

// Wheel down over a combo would step to later items; the zoom key after the turns is processed
// after them, so once its rate shows, the turns have been handled too.
TEST_F(XWindow, TheWheelOverEitherComboChangesNeither) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  const QString mode = tarvo->State().value(QStringLiteral("mode"));
  for (const QString& combo : {QStringLiteral("Cbo_ViewRate"), QStringLiteral("Cbo_TrimMode")}) {
    tarvo->Click(combo, 10, 8, 5);
    tarvo->Click(combo, 10, 8, 5);
  }
  tarvo->Key({QStringLiteral("ctrl+KP_Subtract")});
  EXPECT_TRUE(tarvo->WaitFor(kRate, QStringLiteral(" 50.0% (1/2)")));
  EXPECT_EQ(tarvo->State().value(QStringLiteral("mode")), mode);
}

// A drop-down closed with Escape hands the keyboard back: the next Down moves the selection and
// leaves both combos as they were.
TEST_F(XWindow, AnArrowKeyAfterADropDownClosesActsOnce) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Drag(QStringLiteral("PaintBox"), {20, 20}, {200, 150});
  ASSERT_TRUE(tarvo->WaitFor(
      [](const TState& state) { return !state.value(QStringLiteral("info")).isEmpty(); }));
  const TState before = tarvo->State();
  for (const QString& combo : {QStringLiteral("Cbo_ViewRate"), QStringLiteral("Cbo_TrimMode")}) {
    tarvo->Click(combo, 10, 8);
    ASSERT_TRUE(tarvo->WaitFor(
        [](const TState& state) { return !state.value(QStringLiteral("popup")).isEmpty(); }));
    tarvo->Key({QStringLiteral("Escape")});
    EXPECT_TRUE(tarvo->WaitFor([&combo](const TState& state) {
      return state.value(QStringLiteral("popup")).isEmpty() &&
             state.value(QStringLiteral("focus")) != combo;
    })) << qPrintable(combo);
  }
  tarvo->Key({QStringLiteral("Down"), QStringLiteral("ctrl+KP_Subtract")});
  EXPECT_TRUE(tarvo->WaitFor(kRate, QStringLiteral(" 50.0% (1/2)")));
  EXPECT_NE(tarvo->State().value(QStringLiteral("info")), before.value(QStringLiteral("info")));
  EXPECT_EQ(tarvo->State().value(QStringLiteral("mode")), before.value(QStringLiteral("mode")));
}

// Ctrl+Y and Ctrl+Shift+Z, typed on the keyboard, redo the trim Ctrl+Z took back; undone, the
// trim's selection is back.
TEST_F(XWindow, EitherRedoKeyDoesAgainWhatUndoTookBack) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Drag(kPaintBox, {20, 20}, {200, 150});
  // The selection as the release left it, not as a move on the way showed it.
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kInfo).contains(QStringLiteral("200, 150]"));
  }));
  const QString selection = tarvo->State().value(kInfo);
  const QString modified = QStringLiteral("modified");
  tarvo->Key({QStringLiteral("ctrl+x")});
  ASSERT_TRUE(tarvo->WaitFor(modified, QStringLiteral("1")));
  const QString trimmed = tarvo->State().value(QStringLiteral("status"));
  for (const QString& redo : {QStringLiteral("ctrl+y"), QStringLiteral("ctrl+shift+z")}) {
    tarvo->Key({QStringLiteral("ctrl+z")});
    EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
      return state.value(modified) == QStringLiteral("0") && state.value(kInfo) == selection;
    })) << qPrintable(redo);
    tarvo->Key({redo});
    EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
      return state.value(modified) == QStringLiteral("1") &&
             state.value(QStringLiteral("status")) == trimmed;
    })) << qPrintable(redo);
  }
}

// The wheel's tilt and Shift with the wheel both scroll the picture sideways, by whole line
// steps each, and leave its vertical position alone.
TEST_F(XWindow, TiltAndShiftWheelScrollTheViewSideways) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  // Narrow enough to leave the 1203 pixels wide photo room to scroll two steps.
  server_.Run(QStringLiteral("xdotool"),
              {QStringLiteral("windowsize"), tarvo->State().value(QStringLiteral("wid")),
               QStringLiteral("700"), QStringLiteral("480")});
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(QStringLiteral("frame")).split(u',').value(2).toInt() < 720;
  }));
  const auto paintBoxAt = [](const TState& state) {
    const QStringList place = state.value(QStringLiteral("PaintBox")).split(u',');
    return place.size() == 4 ? QPoint(place[0].toInt(), place[1].toInt()) : QPoint();
  };
  const QPoint start = paintBoxAt(tarvo->State());
  tarvo->Click(QStringLiteral("PaintBox"), 40, 40, 7);
  int firstStep = 0;
  EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
    firstStep = start.x() - paintBoxAt(state).x();
    return firstStep > 0;
  }));
  tarvo->Click(QStringLiteral("PaintBox"), 40 + firstStep, 40, 5, QStringLiteral("shift"));
  EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
    return paintBoxAt(state) == start - QPoint(2 * firstStep, 0);
  })) << qPrintable(tarvo->State().value(QStringLiteral("PaintBox")));
}

}  // namespace
}  // namespace tarvo::xtest
