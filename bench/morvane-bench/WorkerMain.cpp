// morvane-bench-worker: holds one build of DetailEnhancementByBilaterFilter
// and makes the calls morvane-bench asks for (WorkerProtocol.h): the source
// copied into a guarded buffer outside the timed part, the call timed alone,
// then the slack before the buffer and the row padding checked. Knows no Qt
// and loads nothing but the build, so that it starts quickly after a crash.
#include "WorkerProtocol.h"
#include "platform/Channel.h"
#include "platform/ChildProcess.h"
#include "platform/Errors.h"
#include "platform/FaultTrap.h"
#include "platform/GuardedBuffer.h"
#include "platform/LibraryFile.h"
#include "platform/SharedMemory.h"

#include <chrono>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

namespace {

using Filter = int(unsigned char* Src, int Width, int Height, int Stride, int Strength);
using bench::Reply;
using bench::ReplyMessage;
using bench::Request;
using bench::RequestMessage;

const platform::Channel* fault_channel = nullptr;

void TellFault(int Signal, std::uintptr_t Address, bool Faulted) {
  ReplyMessage message;
  message.reply = Reply::Fault;
  message.signal = Signal;
  message.address = Address;
  message.faulted = Faulted ? 1 : 0;
  fault_channel->Send(&message, sizeof message);
}

void SendText(const platform::Channel& Channel, Reply Kind, const std::string& Text) {
  ReplyMessage message;
  message.reply = Kind;
  message.text_bytes = static_cast<std::uint32_t>(Text.size());
  Channel.Send(&message, sizeof message);
  Channel.Send(Text.data(), Text.size());
}

std::int64_t Nanoseconds(std::chrono::steady_clock::duration Duration) {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(Duration).count();
}

class Worker {
 public:
  Worker(Filter* Entry, const platform::Channel& Channel)
      : entry_(Entry),
        channel_(Channel),
        source_(platform::FileDescriptor(bench::kSourceDescriptor), bench::kMaxBufferBytes,
                platform::SharedMemory::Access::ReadOnly),
        result_(platform::FileDescriptor(bench::kResultDescriptor), bench::kMaxBufferBytes,
                platform::SharedMemory::Access::ReadWrite),
        buffer_(bench::kMaxBufferBytes, bench::kMinimumSlack) {}

  // Answers requests until morvane-bench closes the channel.
  void Serve() {
    RequestMessage request;
    while (channel_.Receive(&request, sizeof request, -1) == platform::ReceiveOutcome::Complete) {
      ReplyMessage reply;
      switch (request.request) {
        case Request::Picture: reply = Picture(request); break;
        case Request::Call: reply = Call(request); break;
        case Request::Compare: reply = Compare(); break;
      }
      if (!channel_.Send(&reply, sizeof reply)) return;
    }
  }

 private:
  ReplyMessage Picture(const RequestMessage& Request) {
    width_ = Request.width;
    height_ = Request.height;
    stride_ = Request.stride;
    result_.Reserve(Bytes(stride_));
    placed_ = 0;
    ReplyMessage reply;
    reply.reply = Reply::PictureReady;
    reply.begin = buffer_.Begin();
    reply.end = buffer_.End();
    reply.page = platform::GuardedBuffer::PageSize();
    return reply;
  }

  ReplyMessage Call(const RequestMessage& Request) {
    const int stride = Request.call_stride;
    const std::size_t bytes = Bytes(stride);
    if (placed_ != bytes) {
      buffer_.Place(bytes);
      FillSlack();
      placed_ = bytes;
    }
    std::uint8_t* data = buffer_.Data();
    ReplyMessage reply;
    const auto copy_start = std::chrono::steady_clock::now();
    Restore(data, stride);
    const auto call_start = std::chrono::steady_clock::now();
    reply.result = entry_(data, width_, height_, stride, Request.strength);
    const auto call_end = std::chrono::steady_clock::now();
    reply.copy_ns = Nanoseconds(call_start - copy_start);
    reply.call_ns = Nanoseconds(call_end - call_start);

    const std::span<std::uint8_t> slack = buffer_.Slack();
    for (std::size_t i = 0; i < slack.size(); ++i) {
      if (slack[i] == bench::PatternByte(i)) continue;
      ++reply.slack_changed;
      reply.slack_nearest = static_cast<std::int64_t>(i) - static_cast<std::int64_t>(slack.size());
      slack[i] = bench::PatternByte(i);
    }
    const std::size_t row = 3 * static_cast<std::size_t>(width_);
    for (int y = 0; y < height_; ++y) {
      const std::uint8_t* padding = data + static_cast<std::size_t>(y) * stride + row;
      for (std::size_t i = 0; i < stride - row; ++i) reply.padding_changed += padding[i] != bench::PatternByte(i);
    }
    if (Request.keep != 0) std::memcpy(result_.Data(), data, bytes);
    return reply;
  }

  ReplyMessage Compare() const {
    const std::uint8_t* data = buffer_.Data();
    const std::size_t row = 3 * static_cast<std::size_t>(width_);
    const std::size_t stride = placed_ / static_cast<std::size_t>(height_);
    ReplyMessage reply;
    reply.reply = Reply::Compared;
    reply.same = 1;
    for (int y = 0; y < height_ && reply.same != 0; ++y) {
      reply.same = std::memcmp(data + y * stride, result_.Data() + y * static_cast<std::size_t>(stride_), row) == 0;
    }
    return reply;
  }

  std::size_t Bytes(int Stride) const { return static_cast<std::size_t>(Stride) * static_cast<std::size_t>(height_); }

  void FillSlack() {
    const std::span<std::uint8_t> slack = buffer_.Slack();
    for (std::size_t i = 0; i < slack.size(); ++i) slack[i] = bench::PatternByte(i);
  }

  // The source into the buffer; at another stride than the source's, row by
  // row with the padding pattern after each row.
  void Restore(std::uint8_t* Data, int Stride) const {
    if (Stride == stride_) {
      std::memcpy(Data, source_.Data(), Bytes(Stride));
      return;
    }
    const std::size_t row = 3 * static_cast<std::size_t>(width_);
    for (int y = 0; y < height_; ++y) {
      std::uint8_t* out = Data + static_cast<std::size_t>(y) * Stride;
      std::memcpy(out, source_.Data() + static_cast<std::size_t>(y) * stride_, row);
      for (std::size_t i = 0; i < Stride - row; ++i) out[row + i] = bench::PatternByte(i);
    }
  }

  Filter* entry_;
  const platform::Channel& channel_;
  platform::SharedMemory source_;
  platform::SharedMemory result_;
  platform::GuardedBuffer buffer_;
  std::size_t placed_ = 0;
  int width_ = 0;
  int height_ = 0;
  int stride_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  platform::EndWithParent();
  const platform::Channel channel{platform::FileDescriptor(bench::kChannelDescriptor)};
  // The places are tried in order, as the window tries them; the reasons of
  // every place that failed are told together.
  Filter* entry = nullptr;
  std::unique_ptr<platform::LibraryFile> library;
  std::string reasons;
  for (int i = 1; i < argc && entry == nullptr; ++i) {
    try {
      library = std::make_unique<platform::LibraryFile>(argv[i]);
      entry = reinterpret_cast<Filter*>(library->EntryPoint("DetailEnhancementByBilaterFilter"));
    } catch (const platform::LibraryLoadError& e) {
      library.reset();
      reasons += reasons.empty() ? "" : "; ";
      reasons += e.what();
    }
  }
  if (entry == nullptr) {
    SendText(channel, Reply::NotLoaded, reasons);
    return 0;
  }
  SendText(channel, Reply::Loaded, library->FilePath());
  try {
    fault_channel = &channel;
    platform::TrapFaults(TellFault);
    Worker(entry, channel).Serve();
  } catch (const std::exception& e) {
    // morvane-bench sees the channel close and says the worker failed; the
    // reason goes to its standard error.
    std::fprintf(stderr, "morvane-bench-worker: %s\n", e.what());
    return 1;
  }
  return 0;
}
