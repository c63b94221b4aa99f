// WorkerProtocol: what morvane-bench and its worker processes say to each
// other. A worker holds one build of the entry point and makes every call of
// it, so that a build that crashes, hangs or scribbles takes only its worker
// with it.
//
// The worker is started with the places to load the build from, tried in
// order, as arguments, and with three descriptors: its end of the channel,
// the source picture (shared memory, which it maps read-only) and the result
// (shared memory it writes the kept output into, for morvane-bench to read).
// Every message is one fixed-size struct; texts follow their message.
#pragma once

#include <cstddef>
#include <cstdint>

namespace bench {

inline constexpr int kChannelDescriptor = 3;
inline constexpr int kSourceDescriptor = 4;
inline constexpr int kResultDescriptor = 5;

// The largest source, result and call buffer: address space that each side
// maps once; larger than any picture the loader accepts (250 megapixels).
inline constexpr std::size_t kMaxBufferBytes = std::size_t{2} << 30;

// Bytes of slack before a call's buffer at the least, and the pattern that
// fills the slack and the row padding, so that a write there shows.
inline constexpr std::size_t kMinimumSlack = 4096;
inline std::uint8_t PatternByte(std::size_t Index) { return static_cast<std::uint8_t>(0xA5 ^ (Index * 0x3D)); }

enum class Request : std::uint32_t {
  // A new source: Width x Height pixels, rows Stride bytes apart, the padding
  // of each row filled with PatternByte(0), PatternByte(1), ....
  Picture,
  // One call at Strength with the source copied into a buffer of CallStride
  // bytes a row. Keep: the output is copied into the result afterwards
  // (CallStride is then the source's stride).
  Call,
  // Whether the output of the last call equals the kept result, pixel bytes only.
  Compare,
};

struct RequestMessage {
  Request request = Request::Call;
  std::int32_t width = 0;
  std::int32_t height = 0;
  std::int32_t stride = 0;
  std::int32_t call_stride = 0;
  std::int32_t strength = 0;
  std::uint32_t keep = 0;
};

enum class Reply : std::uint32_t {
  Loaded,        // text: the file loaded
  NotLoaded,     // text: why, for each place tried
  PictureReady,  // the guarded mapping: begin, end, page (GuardedBuffer)
  CallDone,
  Compared,      // same
  Fault,         // signal, address (when faulted): the worker dies of it right after
};

struct ReplyMessage {
  Reply reply = Reply::CallDone;
  std::int32_t result = 0;
  std::int64_t call_ns = 0;
  std::int64_t copy_ns = 0;
  // Slack bytes found changed after the call, and the offset from the
  // buffer's first byte of the changed one nearest to it (negative).
  std::uint64_t slack_changed = 0;
  std::int64_t slack_nearest = 0;
  std::uint64_t padding_changed = 0;
  std::uint32_t same = 0;
  std::uint64_t begin = 0;
  std::uint64_t end = 0;
  std::uint64_t page = 0;
  std::int32_t signal = 0;
  std::uint64_t address = 0;
  std::uint32_t faulted = 0;
  std::uint32_t text_bytes = 0;
};

}  // namespace bench
