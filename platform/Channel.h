// Channel: one end of a two-way byte stream between this process and a child
// it starts, read with a time limit, so that a child that hangs or dies is
// noticed instead of waited for.
#pragma once

#include "FileDescriptor.h"

#include <cstddef>
#include <utility>

namespace platform {

enum class ReceiveOutcome {
  Complete,  // every byte asked for arrived
  Closed,    // the other end closed first (a child that ended); what came is lost
  TimedOut,  // the time limit passed first
};

class Channel {
 public:
  // Two connected ends; neither is inherited by programs this process starts
  // unless handed to them. Throws PlatformError with the system's reason.
  static std::pair<Channel, Channel> MakePair();

  // Takes over an end handed down by the parent.
  explicit Channel(FileDescriptor End) : end_(std::move(End)) {}

  int Descriptor() const { return end_.Get(); }
  void Close() { end_.Close(); }

  // Sends all Count bytes; false when the other end is gone. Safe to call
  // from a signal handler.
  bool Send(const void* Data, std::size_t Count) const;

  // Receives exactly Count bytes, waiting at most TimeoutSeconds in all
  // (negative: without limit). Throws PlatformError on a failure of the
  // system other than the other end going away.
  ReceiveOutcome Receive(void* Data, std::size_t Count, double TimeoutSeconds) const;

 private:
  FileDescriptor end_;
};

}  // namespace platform
