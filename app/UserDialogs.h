// UserDialogs: the questions the window puts to the user — which file to open,
// which name to save under, and message boxes. The window is given one, so
// that tests can answer in place of a person.
#pragma once

#include "platform/MessageBox.h"
#include "platform/Window.h"

#include <cstdint>
#include <string>

class UserDialogs {
 public:
  virtual ~UserDialogs() = default;

  virtual std::string ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                                     const std::string& Title, const std::string& InitialDir) = 0;
  // FileName is the name suggested in the dialog's name field.
  virtual std::string ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                                     const std::string& Title, std::int16_t& FilterIndex,
                                     const std::string& InitialDir,
                                     const std::string& FileName) = 0;
  // Detail, when not empty, is the reason behind Prompt.
  virtual platform::MsgBoxResult MsgBox(const std::string& Prompt, platform::MsgBoxStyle Buttons,
                                        const std::string& Detail) = 0;
};
