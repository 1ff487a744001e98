#include "EngineMessage.h"

#include <gtest/gtest.h>

namespace tarvo {
namespace {

TEST(EngineMessage, EachSeverityHasItsBoxAndOthersShowNothing) {
  EXPECT_EQ(EngineMessageBox("情報", 0),
            (TMessageBoxContent{TMessageBoxKind::Plain, QStringLiteral("tarvo"),
                                QStringLiteral("情報"), QStringLiteral("OK")}));
  EXPECT_EQ(EngineMessageBox("注意", 1),
            (TMessageBoxContent{TMessageBoxKind::Warning, QStringLiteral("警告"),
                                QStringLiteral("注意"), QStringLiteral("はい(&Y)")}));
  // The engine's carriage returns become line breaks.
  EXPECT_EQ(EngineMessageBox("一行目\r二行目", 2),
            (TMessageBoxContent{TMessageBoxKind::Error, QStringLiteral("エラー"),
                                QStringLiteral("一行目\n二行目\n処理を行うことが出来ません。"),
                                QStringLiteral("はい(&Y)")}));
  EXPECT_EQ(EngineMessageBox("x", 3), std::nullopt);
  EXPECT_EQ(EngineMessageBox("x", -1), std::nullopt);
}

}  // namespace
}  // namespace tarvo
