#include "WindowPlacement.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

const QRect kPrimary(0, 0, 1280, 1000);
const QRect kRight(1280, 0, 1920, 1080);

TEST(WindowPlacement, KeptWhileItsTitleBarCanBeGrabbedElseMovedOntoThePrimaryScreen) {
  const struct {
    QRect stored;
    QList<QRect> screens;
    QRect expected;
  } cases[] = {
      {{323, 319, 696, 480}, {kPrimary}, {323, 319, 696, 480}},
      // Mostly off the right edge, but a grip's width of its title bar still shows.
      {{1280 - kTitleBarGrip, 100, 696, 480}, {kPrimary}, {1280 - kTitleBarGrip, 100, 696, 480}},
      {{1281 - kTitleBarGrip, 100, 696, 480}, {kPrimary}, {292, 248, 696, 480}},
      // On a second monitor that is still there; then unplugged.
      {{2000, 500, 696, 480}, {kPrimary, kRight}, {2000, 500, 696, 480}},
      {{2000, 500, 696, 480}, {kPrimary}, {292, 248, 696, 480}},
      // The title bar above the screen's top or below its bottom.
      {{100, -10, 696, 480}, {kPrimary}, {292, 248, 696, 480}},
      {{100, 1000 - kTitleBarHeight + 1, 696, 480}, {kPrimary}, {292, 248, 696, 480}},
      // Larger than the screen: shrunk to fit it, title bar included.
      {{-5000, 0, 3000, 2000}, {kPrimary}, {0, 0, 1280, 1000 - kTitleBarHeight}},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(FittedPlacement(c.stored, c.screens, kPrimary), c.expected) << c.stored.x();
  }
}

}  // namespace
}  // namespace tarvo
