// The selection and the unsaved-changes question under real keys and a real mouse, through the
// X server to the program.
#include <QPoint>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

// The sample photo, 1203 x 917 with 16 x 16 MCUs, selected whole.
const QString kWholePicture = QStringLiteral("[   1,   1] - [1203, 917] (1203, 917)");

// At 1/8 and 1/4 the paint area is 150 x 114 and 300 x 229 view pixels, short of the picture's
// last columns and rows; Ctrl+A and an edge dragged past the far corner still take them, and a
// zoom moves nothing.
TEST_F(XWindow, AtReducedRatesTheSelectionReachesThePicturesBorder) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Key({QStringLiteral("ctrl+KP_Subtract"), QStringLiteral("ctrl+KP_Subtract"),
              QStringLiteral("ctrl+KP_Subtract")});
  ASSERT_TRUE(tarvo->WaitFor(kRate, QStringLiteral(" 12.5% (1/8)")));
  tarvo->Key({QStringLiteral("ctrl+a")});
  EXPECT_TRUE(tarvo->WaitFor(kInfo, kWholePicture));
  tarvo->Key({QStringLiteral("ctrl+KP_Add")});
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(kRate) == QStringLiteral(" 25.0% (1/4)") &&
           state.value(kPaintBox).endsWith(QStringLiteral(",300,229"));
  }));
  EXPECT_EQ(tarvo->State().value(kInfo), kWholePicture);
  // The bottom-right handle pulled in to (150, 100), then out past the far corner.
  tarvo->Drag(kPaintBox, QPoint(298, 227), QPoint(150, 100));
  EXPECT_TRUE(tarvo->WaitFor(kInfo, QStringLiteral("[   1,   1] - [ 600, 400] ( 600, 400)")));
  tarvo->Drag(kPaintBox, QPoint(149, 99), QPoint(320, 250));
  EXPECT_TRUE(tarvo->WaitFor(kInfo, kWholePicture));
}

// With an unsaved trim, Ctrl+O asks the close question first; Escape answers "キャンセル": no
// open dialog follows and the trim stays.
TEST_F(XWindow, EscapeAtTheUnsavedChangesQuestionKeepsTheTrim) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Drag(kPaintBox, QPoint(20, 20), QPoint(400, 300));
  ASSERT_TRUE(tarvo->WaitFor(kInfo, QStringLiteral("[  17,  17] - [ 400, 300] ( 384, 284)")));
  tarvo->Key({QStringLiteral("ctrl+x")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("modified"), QStringLiteral("1")));
  const QString status = tarvo->State().value(QStringLiteral("status"));
  tarvo->Key({QStringLiteral("ctrl+o")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("active"), QStringLiteral("警告")));
  tarvo->Key({QStringLiteral("Escape")});
  // Ctrl+A reaches the window only when no dialog holds the keys.
  tarvo->Key({QStringLiteral("ctrl+a")});
  EXPECT_TRUE(tarvo->WaitFor(kInfo, QStringLiteral("[   1,   1] - [ 384, 284] ( 384, 284)")));
  EXPECT_EQ(tarvo->State().value(QStringLiteral("modal")), QString());
  EXPECT_EQ(tarvo->State().value(QStringLiteral("modified")), QStringLiteral("1"));
  EXPECT_EQ(tarvo->State().value(QStringLiteral("status")), status);
}

}  // namespace
}  // namespace tarvo::xtest
