// StandardDialogs: the real dialogs and message boxes, shown to the person at
// the screen.
#pragma once

#include "UserDialogs.h"

class StandardDialogs : public UserDialogs {
 public:
  std::string ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                             const std::string& Title, const std::string& InitialDir) override;
  std::string ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                             const std::string& Title, std::int16_t& FilterIndex,
                             const std::string& InitialDir, const std::string& FileName) override;
  platform::MsgBoxResult MsgBox(const std::string& Prompt, platform::MsgBoxStyle Buttons,
                                const std::string& Detail) override;
};
