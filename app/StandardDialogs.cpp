// StandardDialogs: the API module's file dialogs and the platform's message box.
#include "StandardDialogs.h"

#include "support/FileDialogs.h"

std::string StandardDialogs::ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                                            const std::string& Title,
                                            const std::string& InitialDir) {
  return API::ShowOpenDialog(OwnerWindow, Filter, Title, InitialDir);
}

std::string StandardDialogs::ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                                            const std::string& Title, std::int16_t& FilterIndex,
                                            const std::string& InitialDir,
                                            const std::string& FileName) {
  return API::ShowSaveDialog(OwnerWindow, Filter, Title, FilterIndex, InitialDir, FileName);
}

platform::MsgBoxResult StandardDialogs::MsgBox(const std::string& Prompt,
                                               platform::MsgBoxStyle Buttons,
                                               const std::string& Detail) {
  return platform::MsgBox(Prompt, Buttons, {}, Detail);
}
