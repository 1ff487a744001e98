#include "WindowPlacement.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

const QRect kPrimary(0, 0, 1280, 1000);
const QRect kRight(1280, 0, 1920, 1080);

TEST(WindowPlacement, KeptWhileWholeOnAScreenElseMovedAndShrunkOntoOne) {
  // A 1366x768 screen with a 40-pixel panel, and 1920x1080 at scale 2 with a 24-pixel one.
  const QRect laptop(0, 0, 1366, 728);
  const QRect scaled(0, 0, 960, 516);
  const struct {
    QRect stored;
    QList<QRect> screens;
    QRect expected;
  } cases[] = {
      {{323, 319, 696, 480}, {kPrimary}, {323, 319, 696, 480}},
      // The first placement on small and scaled screens: moved up and left just enough.
      {{323, 319, 696, 480}, {laptop}, {323, 224, 696, 480}},
      {{323, 319, 696, 480}, {scaled}, {264, 12, 696, 480}},
      // A frame one pixel past the right edge, or its title bar above the top or its bottom
      // below the screen's.
      {{585, 100, 696, 480}, {kPrimary}, {584, 100, 696, 480}},
      {{100, -10, 696, 480}, {kPrimary}, {100, 0, 696, 480}},
      {{100, 1000 - kTitleBarHeight + 1, 696, 480}, {kPrimary}, {100, 496, 696, 480}},
      // On a second monitor that is still there; across both, onto the one holding more of it;
      // then unplugged: centred on the primary screen.
      {{2000, 500, 696, 480}, {kPrimary, kRight}, {2000, 500, 696, 480}},
      {{1000, 100, 696, 480}, {kPrimary, kRight}, {1280, 100, 696, 480}},
      {{2000, 500, 696, 480}, {kPrimary}, {292, 248, 696, 480}},
      // Larger than the screen: shrunk to fit it, title bar included.
      {{-5000, 0, 3000, 2000}, {kPrimary}, {0, 0, 1280, 1000 - kTitleBarHeight}},
      {{-100, -100, 3000, 2000}, {kPrimary}, {0, 0, 1280, 1000 - kTitleBarHeight}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FittedPlacement(c.stored, c.screens, c.screens.front()), c.expected)
        << c.stored.x() << ',' << c.stored.y();
  }
}

}  // namespace
}  // namespace tarvo
