// BuildProcess: the worker's lifecycle and the reading of its replies.
#include "BuildProcess.h"

#include "platform/Errors.h"

#include <cstdio>
#include <utility>

namespace bench {

namespace {

std::string Seconds(double Value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", Value);
  return text;
}

std::string Hex(std::uint64_t Value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(Value));
  return text;
}

}  // namespace

BuildProcess::BuildProcess(std::string WorkerProgram, std::vector<std::string> Places,
                           std::vector<std::string> Environment, platform::SharedMemory& Source,
                           double CallTimeoutSeconds)
    : worker_program_(std::move(WorkerProgram)),
      places_(std::move(Places)),
      environment_(std::move(Environment)),
      source_(Source),
      result_("morvane-bench result", kMaxBufferBytes, platform::SharedMemory::Access::ReadOnly),
      call_timeout_s_(CallTimeoutSeconds) {}

BuildProcess::~BuildProcess() = default;

std::optional<std::string> BuildProcess::Start() { return Launch(); }

std::optional<std::string> BuildProcess::Launch() {
  auto [mine, theirs] = platform::Channel::MakePair();
  process_ = std::make_unique<platform::ChildProcess>(
      worker_program_, places_, std::vector<int>{theirs.Descriptor(), source_.Descriptor(), result_.Descriptor()},
      environment_);
  theirs.Close();
  channel_ = std::make_unique<platform::Channel>(std::move(mine));
  picture_sent_ = false;

  ReplyMessage reply;
  std::string text;
  platform::ReceiveOutcome received = channel_->Receive(&reply, sizeof reply, call_timeout_s_);
  if (received == platform::ReceiveOutcome::Complete) {
    text.resize(reply.text_bytes);
    received = channel_->Receive(text.data(), text.size(), call_timeout_s_);
  }
  std::optional<std::string> failure;
  if (received == platform::ReceiveOutcome::TimedOut) {
    process_->Kill();
    failure = "it did not finish loading within " + Seconds(call_timeout_s_) + " s";
  } else if (received == platform::ReceiveOutcome::Closed) {
    const platform::ChildExit exit = process_->Wait();
    failure = exit.Signalled ? "loading it crashed with " + platform::DescribeSignal(exit.Code)
                             : "the worker ended while loading it, with exit status " + std::to_string(exit.Code);
  } else if (reply.reply != Reply::Loaded) {
    process_->Wait();
    failure = text;
  }
  if (failure) {
    process_.reset();
    channel_.reset();
    return failure;
  }
  file_ = text;
  return std::nullopt;
}

void BuildProcess::UsePicture(int Width, int Height, int Stride) {
  picture_ = RequestMessage{};
  picture_.request = Request::Picture;
  picture_.width = Width;
  picture_.height = Height;
  picture_.stride = Stride;
  picture_sent_ = false;
}

void BuildProcess::Restart() {
  process_.reset();
  channel_.reset();
  if (const std::optional<std::string> failure = Launch()) {
    throw platform::PlatformError("the build could not be loaded again: " + *failure);
  }
}

CallOutcome BuildProcess::Call(int Strength, int Stride, bool Keep) {
  const std::size_t bytes = static_cast<std::size_t>(Stride) * static_cast<std::size_t>(picture_.height);
  CallOutcome outcome;
  try {
    if (!Running()) Restart();
    if (!picture_sent_) {
      ReplyMessage ready;
      if (!channel_->Send(&picture_, sizeof picture_) ||
          channel_->Receive(&ready, sizeof ready, call_timeout_s_) != platform::ReceiveOutcome::Complete ||
          ready.reply != Reply::PictureReady) {
        throw platform::PlatformError("the worker did not take the picture");
      }
      layout_ = ready;
      picture_sent_ = true;
    }
  } catch (const platform::PlatformError& e) {
    process_.reset();
    channel_.reset();
    outcome.end = CallOutcome::End::Crashed;
    outcome.detail = e.what();
    return outcome;
  }

  RequestMessage request;
  request.request = Request::Call;
  request.call_stride = Stride;
  request.strength = Strength;
  request.keep = Keep ? 1 : 0;
  ReplyMessage reply;
  platform::ReceiveOutcome received = platform::ReceiveOutcome::Closed;
  if (channel_->Send(&request, sizeof request)) received = channel_->Receive(&reply, sizeof reply, call_timeout_s_);
  if (received == platform::ReceiveOutcome::Complete && reply.reply == Reply::CallDone) {
    outcome.result = reply.result;
    outcome.call_ms = reply.call_ns / 1e6;
    outcome.copy_ms = reply.copy_ns / 1e6;
    outcome.slack_changed = reply.slack_changed;
    outcome.slack_nearest = reply.slack_nearest;
    outcome.padding_changed = reply.padding_changed;
    return outcome;
  }
  return Ended(outcome, received, reply, bytes, Stride);
}

CallOutcome BuildProcess::Ended(CallOutcome Outcome, platform::ReceiveOutcome Received, const ReplyMessage& Reply,
                                std::size_t BufferBytes, int Stride) {
  if (Received == platform::ReceiveOutcome::TimedOut) {
    process_->Kill();
    Outcome.end = CallOutcome::End::TimedOut;
    Outcome.detail = "did not return within " + Seconds(call_timeout_s_) + " s; its processes were killed";
  } else {
    const platform::ChildExit exit = process_->Wait();
    Outcome.end = CallOutcome::End::Crashed;
    if (exit.Signalled) Outcome.signal = exit.Code;
    if (Received == platform::ReceiveOutcome::Complete && Reply.reply == Reply::Fault) {
      bool outside = false;
      Outcome.signal = Reply.signal;
      Outcome.detail = Describe(Reply, BufferBytes, Stride, outside);
      if (outside) Outcome.end = CallOutcome::End::OutsideBuffer;
    } else if (exit.Signalled) {
      Outcome.detail = "crashed with " + platform::DescribeSignal(exit.Code);
    } else {
      Outcome.detail = "ended its process with exit status " + std::to_string(exit.Code);
    }
  }
  process_.reset();
  channel_.reset();
  return Outcome;
}

std::string BuildProcess::Describe(const ReplyMessage& Fault, std::size_t BufferBytes, int Stride,
                                   bool& Outside) const {
  const std::uint64_t address = Fault.address;
  Outside = false;
  if (Fault.faulted == 0) return "crashed with " + platform::DescribeSignal(Fault.signal);
  const std::string buffer = "its buffer of " + std::to_string(Stride) + " x " + std::to_string(picture_.height) +
                             " = " + std::to_string(BufferBytes) + " bytes";
  Outside = true;
  // Only the inaccessible pages of the guarded mapping fault.
  if (address >= layout_.end && address < layout_.end + layout_.page) {
    const std::uint64_t after = address - layout_.end;
    return "read or wrote outside " + buffer + ": " + platform::DescribeSignal(Fault.signal) + " at the byte " +
           (after == 0 ? std::string("right after its last one") : std::to_string(after) + " bytes after its end");
  }
  if (address >= layout_.begin && address < layout_.end) {
    const std::uint64_t before = layout_.end - BufferBytes - address;
    return "read or wrote outside " + buffer + ": " + platform::DescribeSignal(Fault.signal) + " " +
           std::to_string(before) + " bytes before its first byte";
  }
  Outside = false;
  return "crashed with " + platform::DescribeSignal(Fault.signal) + " at address " + Hex(address);
}

std::optional<bool> BuildProcess::SameAsKept() {
  if (!Running()) return std::nullopt;
  RequestMessage request;
  request.request = Request::Compare;
  ReplyMessage reply;
  if (!channel_->Send(&request, sizeof request) ||
      channel_->Receive(&reply, sizeof reply, call_timeout_s_) != platform::ReceiveOutcome::Complete ||
      reply.reply != Reply::Compared) {
    process_.reset();
    channel_.reset();
    return std::nullopt;
  }
  return reply.same != 0;
}

const std::uint8_t* BuildProcess::Result() const { return result_.Data(); }

}  // namespace bench
