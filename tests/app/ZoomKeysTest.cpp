#include "ZoomKeys.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(ZoomKeys, OnlyCtrlWithTheKeypadsPlusOrMinusZooms) {
  const Qt::KeyboardModifiers keypad = Qt::ControlModifier | Qt::KeypadModifier;
  const struct {
    int key;
    Qt::KeyboardModifiers modifiers;
    std::optional<TZoomStep> expected;
  } cases[] = {
      {Qt::Key_Plus, keypad, TZoomStep::In},
      {Qt::Key_Minus, keypad, TZoomStep::Out},
      {Qt::Key_Plus, keypad | Qt::ShiftModifier, TZoomStep::In},
      {Qt::Key_Plus, Qt::ControlModifier, std::nullopt},
      {Qt::Key_Minus, Qt::ControlModifier | Qt::ShiftModifier, std::nullopt},
      {Qt::Key_Plus, Qt::KeypadModifier, std::nullopt},
      {Qt::Key_Asterisk, keypad, std::nullopt},
  };
  for (const auto& c : cases) EXPECT_EQ(ZoomKeyOf(c.key, c.modifiers), c.expected) << c.key;
}

}  // namespace
}  // namespace tarvo
