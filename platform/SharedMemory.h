// SharedMemory: memory that this process and the children it starts map at
// once, without copies between them: an anonymous file that grows on demand,
// whose descriptor a child is handed.
#pragma once

#include "FileDescriptor.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace platform {

class SharedMemory {
 public:
  // A new, empty one; Name only shows up in the system's lists of mappings.
  // Throws PlatformError with the system's reason.
  explicit SharedMemory(const std::string& Name);
  // One handed down by the parent.
  explicit SharedMemory(FileDescriptor Inherited);
  ~SharedMemory();
  SharedMemory(const SharedMemory&) = delete;
  SharedMemory& operator=(const SharedMemory&) = delete;

  int Descriptor() const { return fd_.Get(); }

  // Maps at least Bytes of it, writable or not, growing it first when it is
  // shorter; the address holds until the next call that asks for more, or for
  // another access. The mapping at least doubles when it grows. Throws
  // PlatformError naming the size and the reason.
  enum class Access { ReadOnly, ReadWrite };
  std::uint8_t* Map(std::size_t Bytes, Access Access = Access::ReadWrite);

 private:
  FileDescriptor fd_;
  std::uint8_t* data_ = nullptr;
  std::size_t mapped_ = 0;
  Access access_ = Access::ReadWrite;
};

}  // namespace platform
