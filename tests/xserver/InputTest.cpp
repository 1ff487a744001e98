// Keys and the wheel as a user's hardware sends them, through the X server to the program.
#include "XWindow.h"

namespace tarvo::xtest {
namespace {

const QString kRate = QStringLiteral("rate");

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

}  // namespace
}  // namespace tarvo::xtest
