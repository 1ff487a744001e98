// The window as a user sees it mid-session, for the README (copied to docs/screenshot.png).
#include <QImage>

#include "XWindow.h"

namespace tarvo::xtest {
namespace {

TEST_F(XWindow, TheWindowWithASelectionIsPhotographed) {
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  tarvo->Key({QStringLiteral("ctrl+KP_Subtract")});
  ASSERT_TRUE(tarvo->WaitFor(QStringLiteral("rate"), QStringLiteral(" 50.0% (1/2)")));
  tarvo->Drag(QStringLiteral("PaintBox"), {120, 60}, {420, 260});
  ASSERT_TRUE(tarvo->WaitFor(
      [](const TState& state) { return !state.value(QStringLiteral("info")).isEmpty(); }));
  const QStringList frame = tarvo->State().value(QStringLiteral("frame")).split(u',');
  ASSERT_EQ(frame.size(), 4);
  const QString path = QStringLiteral(TARVO_SCREENSHOT);
  QFile::remove(path);
  int status = -1;
  server_.Run(QStringLiteral("import"),
              {QStringLiteral("-window"), QStringLiteral("root"), QStringLiteral("-crop"),
               QStringLiteral("%1x%2+%3+%4").arg(frame[2], frame[3], frame[0], frame[1]),
               QStringLiteral("+repage"), path},
              &status);
  ASSERT_EQ(status, 0);
  EXPECT_EQ(QImage(path).size(), QSize(frame[2].toInt(), frame[3].toInt()));
}

}  // namespace
}  // namespace tarvo::xtest
