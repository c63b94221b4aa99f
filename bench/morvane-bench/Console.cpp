// Console: lines on standard error; the progress line is erased with a
// carriage return and the terminal's erase-to-end-of-line before any other.
#include "Console.h"

#include "platform/Terminal.h"

#include <cstdio>

namespace bench {

Console::Console(bool Quiet) : progress_(!Quiet && platform::ErrorsGoToTerminal()) {}

void Console::Say(const std::string& Line) {
  EndProgress();
  std::fprintf(stderr, "morvane-bench: %s\n", Line.c_str());
  std::fflush(stderr);
}

void Console::Problem(const std::string& Text) { Say(Text); }

void Console::Warning(const std::string& Text) { Say("warning: " + Text); }

void Console::Progress(int Done, int Total, const std::string& Picture, double SecondsLeft) {
  if (!progress_) return;
  std::string left;
  if (SecondsLeft >= 0) {
    const long seconds = static_cast<long>(SecondsLeft + 0.5);
    char text[48];
    std::snprintf(text, sizeof text, ", about %ld:%02ld left", seconds / 60, seconds % 60);
    left = text;
  }
  std::string name = Picture;
  constexpr std::size_t kLongest = 50;
  if (name.size() > kLongest) name = "..." + name.substr(name.size() - kLongest + 3);
  std::fprintf(stderr, "\r\033[K[%d/%d] %s%s", Done + 1, Total, name.c_str(), left.c_str());
  std::fflush(stderr);
  drawn_ = true;
}

void Console::EndProgress() {
  if (!drawn_) return;
  std::fprintf(stderr, "\r\033[K");
  std::fflush(stderr);
  drawn_ = false;
}

}  // namespace bench
