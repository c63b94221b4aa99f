// The operating-system machinery that morvane-bench's verdicts rest on: a
// guarded buffer faults exactly outside its buffer and its slack, a child
// process gets exactly the descriptors and environment it is handed and dies
// with everything it started, and a channel notices a child that hangs or
// goes away.
#include "platform/Channel.h"
#include "platform/ChildProcess.h"
#include "platform/GuardedBuffer.h"

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <string>

namespace {

constexpr std::size_t kSlack = 4096;

void Touch(volatile std::uint8_t* Byte) { *Byte = static_cast<std::uint8_t>(*Byte + 1); }

// Killed by the fault; AddressSanitizer reports the fault and aborts instead.
bool Faulted(int Status) {
#if defined(__SANITIZE_ADDRESS__)
  if (WIFSIGNALED(Status) && WTERMSIG(Status) == SIGABRT) return true;
#endif
  return WIFSIGNALED(Status) && WTERMSIG(Status) == SIGSEGV;
}

TEST(GuardedBuffer, EveryBufferByteIsUsableAndTheBytesAroundItFault) {
  platform::GuardedBuffer buffer(100'000, kSlack);
  const std::size_t page = platform::GuardedBuffer::PageSize();
  // Shrinking and growing again moves the inaccessible memory before the slack.
  for (const std::size_t bytes : {std::size_t{100'000}, std::size_t{1}, std::size_t{4097}, std::size_t{3},
                                  std::size_t{99'999}}) {
    SCOPED_TRACE(bytes);
    std::uint8_t* data = buffer.Place(bytes);
    std::memset(data, 7, bytes);
    const std::span<std::uint8_t> slack = buffer.Slack();
    EXPECT_GE(slack.size(), kSlack);
    EXPECT_LT(slack.size(), kSlack + page);
    EXPECT_EQ(slack.data() + slack.size(), data);
    std::memset(slack.data(), 1, slack.size());
    EXPECT_EXIT(Touch(data + bytes), Faulted, "");
    EXPECT_EXIT(Touch(slack.data() - 1), Faulted, "");
    EXPECT_EXIT(Touch(reinterpret_cast<std::uint8_t*>(buffer.Begin())), Faulted, "");
  }
}

std::string Slurp(const std::string& Path) {
  std::ifstream in(Path);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

TEST(ChildProcess, GetsTheHandedDescriptorsAndEnvironmentAndNothingElse) {
  char folder_template[] = "/tmp/morvane-child-XXXXXX";
  const std::string folder = ::mkdtemp(folder_template);
  const std::string out = folder + "/out";
  auto [mine, theirs] = platform::Channel::MakePair();
  // A descriptor of this process that is not handed down must not arrive,
  // even one left open across programs started.
  const int inheritable = ::dup(STDERR_FILENO);
  const std::string script = "ls /proc/self/fd | sort -n | tr '\\n' ' ' > " + out + "; echo \" $MORVANE_PROBE\" >> " +
                             out + "; echo to-standard-output; printf x >&3";
  platform::ChildProcess child("/bin/sh", {"-c", script}, {theirs.Descriptor()}, {"MORVANE_PROBE=probed"});
  theirs.Close();
  char byte = 0;
  ASSERT_EQ(mine.Receive(&byte, 1, 10), platform::ReceiveOutcome::Complete);
  EXPECT_EQ(byte, 'x');
  const platform::ChildExit exit = child.Wait();
  EXPECT_FALSE(exit.Signalled);
  EXPECT_EQ(exit.Code, 0);
  // Standard input, output and error, the handed channel as 3, and the
  // descriptor ls reads the folder with.
  EXPECT_EQ(Slurp(out), "0 1 2 3 4  probed\n");
  ::close(inheritable);
  std::remove(out.c_str());
  ::rmdir(folder.c_str());
}

TEST(ChildProcess, KillEndsEverythingTheChildStartedAndSaysBySignal) {
  auto [mine, theirs] = platform::Channel::MakePair();
  // The child starts a grandchild that would outlive it, and tells its number.
  platform::ChildProcess child("/bin/sh", {"-c", "sleep 1000 & echo $! >&3; wait"}, {theirs.Descriptor()}, {});
  theirs.Close();
  char text[32] = {};
  for (std::size_t i = 0; i < sizeof text - 1; ++i) {
    ASSERT_EQ(mine.Receive(&text[i], 1, 10), platform::ReceiveOutcome::Complete);
    if (text[i] == '\n') break;
  }
  const pid_t grandchild = std::stoi(text);
  ASSERT_EQ(::kill(grandchild, 0), 0);
  const platform::ChildExit exit = child.Kill();
  EXPECT_TRUE(exit.Signalled);
  EXPECT_EQ(exit.Code, SIGKILL);
  // The grandchild is gone once init has reaped it.
  for (int i = 0; i < 100 && ::kill(grandchild, 0) == 0; ++i) ::usleep(20'000);
  EXPECT_NE(::kill(grandchild, 0), 0);
  EXPECT_EQ(platform::DescribeSignal(SIGSEGV), "SIGSEGV (Segmentation fault)");
}

TEST(Channel, TellsATimeLimitPassedFromAPeerThatWentAway) {
  auto [mine, theirs] = platform::Channel::MakePair();
  char bytes[8];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(mine.Receive(bytes, sizeof bytes, 0.2), platform::ReceiveOutcome::TimedOut);
  EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(200));
  // Half a message, then the other end closes.
  ASSERT_TRUE(theirs.Send("abcd", 4));
  theirs.Close();
  EXPECT_EQ(mine.Receive(bytes, sizeof bytes, 5), platform::ReceiveOutcome::Closed);
  EXPECT_FALSE(mine.Send("x", 1));
}

}  // namespace
