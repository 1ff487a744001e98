// Every user-visible text of the engine, in one place so tests can compare against it.
#pragma once

#include <string>
#include <string_view>

namespace tarvo {

inline constexpr std::string_view kMsgStreamReadError = "ストリームからの読み込みエラー";
inline constexpr std::string_view kMsgStreamWriteError = "ストリームへの書き込みエラー";
inline constexpr std::string_view kMsgCannotOpenFile = "ファイル %s は開けません";
inline constexpr std::string_view kMsgCannotCreateFile = "ファイル %s を作成できません";

// Replaces the first "%s" of pattern with argument.
std::string FormatMessage(std::string_view pattern, std::string_view argument);

}  // namespace tarvo
