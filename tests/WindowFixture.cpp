// The scripted dialogs, the pixel helpers and the window fixture.
#include "WindowFixture.h"

#include "platform/internal/NativeWidget.h"
#include "platform/Screen.h"

#include <QTest>

#include <algorithm>
#include <utility>

std::string ScriptedDialogs::ShowOpenDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                                            const std::string& Title,
                                            const std::string& InitialDir) {
  OpenRequests.push_back({OwnerWindow, Filter, Title, InitialDir, {}});
  if (OpenAnswers.empty()) return {};
  std::string answer = std::move(OpenAnswers.front());
  OpenAnswers.pop_front();
  return answer;
}

std::string ScriptedDialogs::ShowSaveDialog(platform::Hwnd OwnerWindow, const std::string& Filter,
                                            const std::string& Title, std::int16_t& FilterIndex,
                                            const std::string& InitialDir,
                                            const std::string& FileName) {
  SaveRequests.push_back({OwnerWindow, Filter, Title, InitialDir, FileName});
  if (SaveAnswers.empty()) return {};
  FilterIndex = 1;
  std::string answer = std::move(SaveAnswers.front());
  SaveAnswers.pop_front();
  return answer;
}

platform::MsgBoxResult ScriptedDialogs::MsgBox(const std::string& Prompt,
                                               platform::MsgBoxStyle Buttons,
                                               const std::string& Detail) {
  Messages.push_back({Prompt, Buttons, Detail});
  if (BoxOpenMs > 0) QTest::qWait(BoxOpenMs);
  if (BoxAnswers.empty()) {
    const bool yes_no = (static_cast<int>(Buttons) & 7) == static_cast<int>(platform::MsgBoxStyle::YesNo);
    return yes_no ? platform::MsgBoxResult::No : platform::MsgBoxResult::Ok;
  }
  const platform::MsgBoxResult answer = BoxAnswers.front();
  BoxAnswers.pop_front();
  return answer;
}

bool Pixels::RegionEquals(const Pixels& Other, int Left, int Top, int W, int H,
                          int Strength) const {
  for (int y = 0; y < H; ++y) {
    for (int x = 0; x < W; ++x) {
      const std::uint8_t* mine = At(Left + x, Top + y);
      const std::uint8_t* theirs = Other.At(Left + x, Top + y);
      for (int c = 0; c < 3; ++c) {
        if (theirs[c] != static_cast<std::uint8_t>(mine[c] + Strength)) return false;
      }
    }
  }
  return true;
}

bool Pixels::OutsideIs(const std::vector<std::uint8_t>& Colour, int Left, int Top, int W,
                       int H) const {
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      const bool inside = x >= Left && x < Left + W && y >= Top && y < Top + H;
      if (!inside && !std::equal(Colour.begin(), Colour.end(), At(x, y))) return false;
    }
  }
  return true;
}

Pixels PixelsOf(const platform::Picture& Picture) {
  return {Picture.PixelWidth(), Picture.PixelHeight(), Picture.Pixels()};
}

Pixels PixelsOf(const Cimage& Image) {
  return {Image.Width(), Image.Height(),
          std::vector<std::uint8_t>(Image.PixelBytes().begin(), Image.PixelBytes().end())};
}

WindowTest::WindowTest(std::string LibraryName, std::vector<std::string> Folders)
    : library(std::move(LibraryName), std::move(Folders)) {}

WindowTest::WindowTest(EnhancementLibrary::File First, EnhancementLibrary::File Second)
    : library(std::move(First)),
      second(std::make_unique<EnhancementLibrary>(std::move(Second))) {}

void WindowTest::SetUp() {
  ASSERT_TRUE(folder.isValid());
  fake_.Resolve<void()>("FakeProcessingReset")();
  form = std::make_unique<FrmTest>(dialogs, library, second.get());
  form->Show();
  QWidget* window = platform::NativeWidget(form->hWnd());
  window->activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(window));
  const Pixels blank = Source();
  background.assign(blank.At(0, 0), blank.At(0, 0) + 3);
}

void WindowTest::TearDown() {
  if (form) platform::NativeWidget(form->hWnd())->close();
}

std::string WindowTest::PathOf(const std::string& Name) const {
  return folder.filePath(QString::fromStdString(Name)).toStdString();
}

std::string WindowTest::WritePicture(const std::string& Name, int Width, int Height) {
  const int stride = (3 * Width + 3) & ~3;
  std::vector<std::uint8_t> bytes(static_cast<std::size_t>(stride) * Height);
  for (int y = 0; y < Height; ++y) {
    for (int x = 0; x < Width; ++x) {
      std::uint8_t* pixel = &bytes[static_cast<std::size_t>(y) * stride + 3 * x];
      pixel[0] = static_cast<std::uint8_t>(x * 3 + y);
      pixel[1] = static_cast<std::uint8_t>(y * 5 + x / 7);
      pixel[2] = static_cast<std::uint8_t>(x ^ y);
    }
  }
  const std::string path = PathOf(Name);
  platform::SavePicture(platform::Picture(std::move(bytes), Width, Height,
                                          platform::TwipsPerPixelX(), platform::TwipsPerPixelY()),
                        path);
  return path;
}

void WindowTest::Click(platform::Window& Control) {
  QTest::mouseClick(platform::NativeWidget(Control.hWnd()), Qt::LeftButton);
}

void WindowTest::PressKey(platform::Window& Control, int Key) {
  QTest::keyClick(platform::NativeWidget(Control.hWnd()), static_cast<Qt::Key>(Key));
}

void WindowTest::Open(const std::string& Path) {
  dialogs.OpenAnswers.push_back(Path);
  Click(form->CmdOpen);
}

void WindowTest::Save(const std::string& Path) {
  dialogs.SaveAnswers.push_back(Path);
  Click(form->CmdSave);
}

const FakeProcessingCall& WindowTest::LastCall() {
  return *fake_.Resolve<const FakeProcessingCall*()>("FakeProcessingLastCall")();
}

void WindowTest::FakeGivesResult(int Result) {
  fake_.Resolve<decltype(FakeProcessingGiveResult)>("FakeProcessingGiveResult")(Result);
}

std::uint64_t WindowTest::FakeHash(const std::uint8_t* Bytes, std::uint64_t Count) {
  return fake_.Resolve<decltype(FakeProcessingHash)>("FakeProcessingHash")(Bytes, Count);
}
