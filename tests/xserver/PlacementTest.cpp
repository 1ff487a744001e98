// Where the window opens on a real screen, how the picture fits it, and Tab through its toolbar.
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

// Tab reaches both combos; "ウィンドウに合わせる", the last item, shows the 1203 x 917 photo whole
// and is chosen again when the window is resized.
TEST_F(XWindow, TabReachesTheCombosAndTheFittedRateFollowsTheWindow) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  const QString focus = QStringLiteral("focus");
  tarvo->Key({QStringLiteral("Tab")});
  ASSERT_TRUE(tarvo->WaitFor(focus, QStringLiteral("Cbo_ViewRate")));
  tarvo->Key({QStringLiteral("Tab")});
  ASSERT_TRUE(tarvo->WaitFor(focus, QStringLiteral("Cbo_TrimMode")));
  tarvo->Key({QStringLiteral("shift+Tab")});
  ASSERT_TRUE(tarvo->WaitFor(focus, QStringLiteral("Cbo_ViewRate")));
  tarvo->Key({QStringLiteral("End")});
  ASSERT_TRUE(tarvo->WaitFor(kRate, QStringLiteral("ウィンドウに合わせる")));
  const auto fits = [](const TState& state) {
    const QStringList box = state.value(kPaintBox).split(u',');
    const QStringList frame = state.value(QStringLiteral("frame")).split(u',');
    return box.size() == 4 && frame.size() == 4 &&
           box[0].toInt() + box[2].toInt() <= frame[2].toInt() &&
           box[1].toInt() + box[3].toInt() <= frame[3].toInt();
  };
  EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
    return state.value(kPaintBox).endsWith(QStringLiteral(",300,229")) && fits(state);  // 1/4
  })) << qPrintable(tarvo->State().value(kPaintBox));
  server_.Run(QStringLiteral("xdotool"),
              {QStringLiteral("windowsize"), tarvo->State().value(QStringLiteral("wid")),
               QStringLiteral("1250"), QStringLiteral("900")});
  EXPECT_TRUE(tarvo->WaitFor([&](const TState& state) {
    return state.value(kPaintBox).endsWith(QStringLiteral(",601,458")) && fits(state);  // 1/2
  })) << qPrintable(tarvo->State().value(kPaintBox));
}

}  // namespace
}  // namespace tarvo::xtest
