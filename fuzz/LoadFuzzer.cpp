// libFuzzer target for the picture loader: any bytes, written as a file, either
// are refused with PictureLoadError or load into a picture that an image buffer
// takes whole, and two loads of the same bytes give the same pixels.
#include "imaging/Cimage.h"
#include "platform/Errors.h"
#include "platform/Picture.h"

#include <QGuiApplication>

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

namespace {

std::string& InputPath() {
  static std::string path;
  return path;
}

std::unique_ptr<platform::Picture> LoadOrNull() {
  try {
    return platform::LoadPicture(InputPath());
  } catch (const platform::PictureLoadError&) {
    return nullptr;
  }
}

void Check(bool Holds, const char* What) {
  if (Holds) return;
  std::fprintf(stderr, "broken promise: %s\n", What);
  std::abort();
}

// Where the sums go, so that the reads are not optimised away.
volatile unsigned sink;

// Reads every byte, so that the sanitizers see any that was never written or lies
// outside its buffer.
unsigned Sum(const std::uint8_t* Bytes, std::size_t Count) {
  unsigned sum = 0;
  for (std::size_t i = 0; i < Count; ++i) sum += Bytes[i];
  return sum;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* Argc, char*** Argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  static QGuiApplication application(*Argc, *Argv);
  const char* folder = std::getenv("TMPDIR");
  InputPath() = std::string(folder ? folder : "/tmp") + "/morvane-load-fuzz-" +
                std::to_string(::getpid());
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* Data, std::size_t Size) {
  {
    std::ofstream file(InputPath(), std::ios::binary | std::ios::trunc);
    file.write(reinterpret_cast<const char*>(Data), static_cast<std::streamsize>(Size));
    Check(file.good(), "the input could not be written as a file");
  }
  const auto first = LoadOrNull();
  const auto second = LoadOrNull();
  Check((first == nullptr) == (second == nullptr), "one load refused what the other took");
  if (!first) return 0;
  Check(first->PixelWidth() > 0 && first->PixelHeight() > 0, "a loaded picture has no pixels");
  Check(first->Pixels() == second->Pixels(), "two loads gave different pixels");
  Check(first->CutShort() == second->CutShort(), "two loads disagree on the file's end");

  Cimage image;
  Check(image.LoadPictureFromStdPicture(first.get()), "the image buffer refused a loaded picture");
  Check(image.Width() == first->PixelWidth() && image.Height() == first->PixelHeight(),
        "the image buffer has another size than the picture");
  sink = Sum(image.PixelBytes().data(), image.PixelBytes().size()) +
         Sum(first->Pixels().data(), first->Pixels().size());
  return 0;
}
