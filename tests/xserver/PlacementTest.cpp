// Where the window opens on a real screen.
#include <QRect>
#include <QSettings>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

TEST_F(XWindow, APlacementStoredForAnotherScreenOpensOnThisOne) {
  {
    QSettings stored(ConfigHome() + QStringLiteral("/Quillmoor/tarvo.conf"),
                     QSettings::NativeFormat);
    stored.setValue(QStringLiteral("App_Left"), 3000);
    stored.setValue(QStringLiteral("App_Top"), 2000);
  }
  TTarvo tarvo(server_, {}, ConfigHome());
  EXPECT_TRUE(tarvo.WaitFor([](const TState& state) {
    const QStringList frame = state.value(QStringLiteral("frame")).split(u',');
    return frame.size() == 4 && state.value(QStringLiteral("wid")) != QString() &&
           QRect(0, 0, 1280, 1024)
               .contains(
                   QRect(frame[0].toInt(), frame[1].toInt(), frame[2].toInt(), frame[3].toInt()));
  })) << qPrintable(tarvo.State().value(QStringLiteral("frame")));
}

}  // namespace
}  // namespace tarvo::xtest
