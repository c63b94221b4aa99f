// BuildProcess: one build of the entry point as morvane-bench holds it: a
// worker process that loaded it, asked to make calls and watched while it
// does. A worker that crashed or hung is replaced by a fresh one at the next
// request; nothing else is lost.
#pragma once

#include "WorkerProtocol.h"
#include "platform/Channel.h"
#include "platform/ChildProcess.h"
#include "platform/SharedMemory.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace bench {

// How one call ended, and what it did besides its work.
struct CallOutcome {
  enum class End {
    Returned,
    Crashed,         // the worker died: Signal, or Detail for another way to end
    OutsideBuffer,   // it died of an access outside the buffer: Detail says where
    TimedOut,        // no return within the time limit; the worker was killed
  };
  End end = End::Returned;
  int result = 0;
  int signal = 0;
  std::string detail;
  double call_ms = 0;
  double copy_ms = 0;
  std::uint64_t slack_changed = 0;
  std::int64_t slack_nearest = 0;
  std::uint64_t padding_changed = 0;
};

class BuildProcess {
 public:
  // Places: where the build may be, tried in order (a path, or file names on
  // the library search path). Environment: NAME=VALUE entries for the worker.
  BuildProcess(std::string WorkerProgram, std::vector<std::string> Places, std::vector<std::string> Environment,
               platform::SharedMemory& Source, double CallTimeoutSeconds);
  ~BuildProcess();

  // Starts the worker and loads the build; the reason when it cannot be
  // loaded, for every place tried.
  std::optional<std::string> Start();
  // The file the build was loaded from.
  const std::string& File() const { return file_; }

  // The source has changed: Width x Height pixels, Stride bytes a row.
  void UsePicture(int Width, int Height, int Stride);
  // One call, the source copied into its buffer first. Keep: its output
  // becomes the result that Result() and SameAsKept() refer to (Stride must
  // be the source's).
  CallOutcome Call(int Strength, int Stride, bool Keep);
  // Whether the last call's output equals the kept result; none when the
  // worker has died since.
  std::optional<bool> SameAsKept();
  // The kept output, in the source's layout.
  const std::uint8_t* Result() const;

 private:
  bool Running() const { return process_ != nullptr; }
  std::optional<std::string> Launch();
  void Restart();
  std::string Describe(const ReplyMessage& Fault, std::size_t BufferBytes, int Stride, bool& Outside) const;
  CallOutcome Ended(CallOutcome Outcome, platform::ReceiveOutcome Received, const ReplyMessage& Reply,
                    std::size_t BufferBytes, int Stride);

  std::string worker_program_;
  std::vector<std::string> places_;
  std::vector<std::string> environment_;
  platform::SharedMemory& source_;
  platform::SharedMemory result_;
  double call_timeout_s_;
  std::unique_ptr<platform::ChildProcess> process_;
  std::unique_ptr<platform::Channel> channel_;
  std::string file_;
  RequestMessage picture_;
  bool picture_sent_ = false;
  ReplyMessage layout_;
};

}  // namespace bench
