// MsgBox: the modal message box, with the classic style numbers for its icon,
// buttons and default button, and the answer the user gave.
#pragma once

#include <string>

namespace platform {

enum class MsgBoxStyle : int {
  OkOnly = 0,
  YesNo = 4,
  Critical = 16,
  Question = 32,
  Exclamation = 48,
  Information = 64,
  DefaultButton2 = 256,
};

constexpr MsgBoxStyle operator|(MsgBoxStyle A, MsgBoxStyle B) {
  return static_cast<MsgBoxStyle>(static_cast<int>(A) | static_cast<int>(B));
}

enum class MsgBoxResult { Ok = 1, Yes = 6, No = 7 };

// Shows Prompt, with Detail (the reason behind it, when there is one) under it,
// and waits for the user. Without a Title the box carries the application's
// title. Closing a Yes/No box without choosing answers No.
MsgBoxResult MsgBox(const std::string& Prompt, MsgBoxStyle Buttons = MsgBoxStyle::OkOnly,
                    const std::string& Title = {}, const std::string& Detail = {});

}  // namespace platform
