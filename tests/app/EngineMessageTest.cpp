#include "EngineMessage.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>

namespace tarvo {
namespace {

// A notice or an error is only acknowledged: one OK button, never a "はい" that reads as a choice.
TEST(EngineMessage, EachSeverityHasItsBoxAndOthersShowNothing) {
  EXPECT_EQ(EngineMessageBox("情報", 0),
            (TMessageBoxContent{TMessageBoxKind::Plain, QStringLiteral("tarvo"),
                                QStringLiteral("情報"), QStringLiteral("OK")}));
  EXPECT_EQ(EngineMessageBox("注意", 1),
            (TMessageBoxContent{TMessageBoxKind::Warning, QStringLiteral("警告"),
                                QStringLiteral("注意"), QStringLiteral("OK")}));
  // The engine's carriage returns become line breaks.
  EXPECT_EQ(EngineMessageBox("一行目\r二行目", 2),
            (TMessageBoxContent{TMessageBoxKind::Error, QStringLiteral("エラー"),
                                QStringLiteral("一行目\n二行目\n処理を行うことが出来ません。"),
                                QStringLiteral("OK")}));
  EXPECT_EQ(EngineMessageBox("x", 3), std::nullopt);
  EXPECT_EQ(EngineMessageBox("x", -1), std::nullopt);
}

// With no window active (just after a file dialog, or at start), a box still belongs to the
// visible main window rather than opening in the middle of the screen.
TEST(EngineMessage, BoxesBelongToTheMainWindowWhenNoneIsActive) {
  QMainWindow window;
  EXPECT_EQ(MessageBoxOwner(), nullptr);
  window.show();
  EXPECT_EQ(MessageBoxOwner(), &window);
}

}  // namespace
}  // namespace tarvo
