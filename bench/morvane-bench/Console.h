// Console: what morvane-bench says on standard error while it runs: problems
// and warnings as they are found, one line each, and a progress line with the
// time left that is redrawn in place when standard error is a terminal.
#pragma once

#include <string>

namespace bench {

class Console {
 public:
  // Quiet: no progress line (problems and warnings are still told).
  explicit Console(bool Quiet);

  void Problem(const std::string& Text);
  void Warning(const std::string& Text);
  // Before picture Done + 1 of Total; SecondsLeft is negative while unknown.
  void Progress(int Done, int Total, const std::string& Picture, double SecondsLeft);
  // Clears the progress line for good.
  void EndProgress();

 private:
  void Say(const std::string& Line);

  bool progress_ = false;
  bool drawn_ = false;
};

}  // namespace bench
