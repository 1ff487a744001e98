// A photo with a damaged restart interval, as a user meets it through the X server: the window
// says so once the blocks are decoded, and Ctrl+A takes the rows below the damage.
#include "JpegFixtures.h"
#include "XWindow.h"

namespace tarvo::xtest {
namespace {

TEST_F(XWindow, CtrlAInADamagedPhotoSelectsTheIntactRows) {
  fixtures::JpegOptions options;
  options.width = 320;
  options.height = 240;
  options.restartInterval = 20;  // one row of 16 x 16 MCUs each: interval 3 is rows 48-63
  fixtures::WriteFile(Photo().toStdString(),
                      fixtures::WithRestartIntervalScrambled(fixtures::MakeJpeg(options), 3));
  const std::unique_ptr<TTarvo> tarvo = OpenPhoto();
  ASSERT_TRUE(tarvo->WaitFor([](const TState& state) {
    return state.value(QStringLiteral("status")).contains(QStringLiteral("データが壊れている部分"));
  })) << qPrintable(tarvo->State().value(QStringLiteral("status")));
  tarvo->Key({QStringLiteral("ctrl+a")});
  EXPECT_TRUE(tarvo->WaitFor(kInfo, QStringLiteral("[   1,  65] - [ 320, 240] ( 320, 176)")))
      << qPrintable(tarvo->State().value(kInfo));
  tarvo->Key({QStringLiteral("ctrl+x")});
  EXPECT_TRUE(tarvo->WaitFor(QStringLiteral("modified"), QStringLiteral("1")));
}

}  // namespace
}  // namespace tarvo::xtest
