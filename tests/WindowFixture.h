// The window under test: a real FrmTest, shown on Qt's offscreen platform, whose
// dialogs and message boxes are answered from a script instead of by a person,
// and whose filter library is the recording stand-in (or any other by name).
#pragma once

#include "FakeProcessing.h"
#include "app/FrmTest.h"
#include "platform/SharedLibrary.h"
#include "platform/Picture.h"

#include <QRect>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <vector>

class ScriptedDialogs : public UserDialogs {
 public:
  struct Request {
    platform::Hwnd Owner;
    std::string Filter;
    std::string Title;
    std::string InitialDir;
    std::string FileName;  // suggested by the save dialog
  };
  struct Message {
    std::string Prompt;
    platform::MsgBoxStyle Style;
    std::string Detail;
  };

  // Answers, taken in turn; a dialog without one is cancelled, a box without
  // one is answered No (or OK).
  std::deque<std::string> OpenAnswers;
  std::deque<std::string> SaveAnswers;
  std::deque<platform::MsgBoxResult> BoxAnswers;
  // How long each box stays up, running the event loop as a modal box does
  // while a person reads it.
  int BoxOpenMs = 0;

  std::vector<Request> OpenRequests;
  std::vector<Request> SaveRequests;
  std::vector<Message> Messages;

  std::string ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                             const std::string& Title, const std::string& InitialDir) override;
  std::string ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                             const std::string& Title, std::int16_t& FilterIndex,
                             const std::string& InitialDir, const std::string& FileName) override;
  platform::MsgBoxResult MsgBox(const std::string& Prompt, platform::MsgBoxStyle Buttons,
                                const std::string& Detail) override;
};

// 24-bit pixels in the drawing layer's layout, with the helpers tests compare by.
struct Pixels {
  int Width = 0;
  int Height = 0;
  std::vector<std::uint8_t> Bytes;

  int Stride() const { return static_cast<int>((3 * Width + 3) & ~3); }
  const std::uint8_t* At(int X, int Y) const { return &Bytes[Y * Stride() + 3 * X]; }
  // This picture's rectangle with Strength added to every byte, as the stand-in does.
  bool RegionEquals(const Pixels& Other, int Left, int Top, int W, int H, int Strength = 0) const;
  // True when every pixel outside the rectangle has the given blue, green, red.
  bool OutsideIs(const std::vector<std::uint8_t>& Colour, int Left, int Top, int W, int H) const;
};

Pixels PixelsOf(const platform::Picture& Picture);
Pixels PixelsOf(const Cimage& Image);

class WindowTest : public ::testing::Test {
 protected:
  // The stand-in filter library from its own folder, unless a test names another.
  explicit WindowTest(std::string LibraryName = "FakeProcessing",
                      std::vector<std::string> Folders = {MORVANE_FAKE_DIR});
  // The first build named by path, and a second one, as on the command line.
  WindowTest(EnhancementLibrary::File First, EnhancementLibrary::File Second);
  void SetUp() override;
  void TearDown() override;

  // A BMP of a pattern that differs in every pixel and channel, in the test's folder.
  std::string WritePicture(const std::string& Name, int Width, int Height);
  std::string PathOf(const std::string& Name) const;

  void Click(platform::Window& Control);
  void PressKey(platform::Window& Control, int Key);
  void Open(const std::string& Path);
  void Save(const std::string& Path);

  const FakeProcessingCall& LastCall();
  // What the stand-in's later calls return (FakeProcessingGiveResult).
  void FakeGivesResult(int Result);
  std::uint64_t FakeHash(const std::uint8_t* Bytes, std::uint64_t Count);
  QRect View() const {
    return {form->ViewLeft, form->ViewTop, form->ViewWidth, form->ViewHeight};
  }
  Pixels Source() const { return PixelsOf(form->PicSrc.Image()); }
  Pixels Result() const { return PixelsOf(form->PicDest.Image()); }
  // The colour of a blank box, as the boxes show it at start.
  std::vector<std::uint8_t> background;

  ScriptedDialogs dialogs;
  EnhancementLibrary library;
  std::unique_ptr<EnhancementLibrary> second;
  std::unique_ptr<FrmTest> form;
  QTemporaryDir folder;

 private:
  platform::SharedLibrary fake_{"FakeProcessing", 1, {MORVANE_FAKE_DIR}};
};
