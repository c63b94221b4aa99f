// Channel over a Unix stream socket pair: send(2) with MSG_NOSIGNAL, so a
// child that has died makes Send return false instead of raising SIGPIPE.
#include "Channel.h"

#include "Errors.h"

#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <string>

namespace platform {

std::pair<Channel, Channel> Channel::MakePair() {
  int ends[2];
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
    throw PlatformError(std::string("cannot make a channel to a child process: ") + std::strerror(errno));
  }
  return {Channel(FileDescriptor(ends[0])), Channel(FileDescriptor(ends[1]))};
}

bool Channel::Send(const void* Data, std::size_t Count) const {
  const auto* bytes = static_cast<const char*>(Data);
  while (Count > 0) {
    const ssize_t sent = ::send(end_.Get(), bytes, Count, MSG_NOSIGNAL);
    if (sent < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes += sent;
    Count -= static_cast<std::size_t>(sent);
  }
  return true;
}

ReceiveOutcome Channel::Receive(void* Data, std::size_t Count, double TimeoutSeconds) const {
  using Clock = std::chrono::steady_clock;
  const auto deadline =
      Clock::now() + std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(TimeoutSeconds));
  auto* bytes = static_cast<char*>(Data);
  while (Count > 0) {
    int wait_ms = -1;
    if (TimeoutSeconds >= 0) {
      const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return ReceiveOutcome::TimedOut;
      wait_ms = static_cast<int>(std::min<long long>(left, 1'000'000'000));
    }
    pollfd ready{end_.Get(), POLLIN, 0};
    const int polled = ::poll(&ready, 1, wait_ms);
    if (polled < 0) {
      if (errno == EINTR) continue;
      throw PlatformError(std::string("cannot wait for a child process: ") + std::strerror(errno));
    }
    if (polled == 0) continue;  // the deadline is checked above
    const ssize_t got = ::recv(end_.Get(), bytes, Count, 0);
    if (got == 0) return ReceiveOutcome::Closed;
    if (got < 0) {
      if (errno == EINTR || errno == EAGAIN) continue;
      if (errno == ECONNRESET) return ReceiveOutcome::Closed;
      throw PlatformError(std::string("cannot read from a child process: ") + std::strerror(errno));
    }
    bytes += got;
    Count -= static_cast<std::size_t>(got);
  }
  return ReceiveOutcome::Complete;
}

}  // namespace platform
