// FileDescriptor: one open descriptor of the operating system, owned alone and
// closed when its owner goes.
#pragma once

#include <utility>

namespace platform {

class FileDescriptor {
 public:
  FileDescriptor() = default;
  explicit FileDescriptor(int Descriptor) : fd_(Descriptor) {}
  ~FileDescriptor() { Close(); }
  FileDescriptor(FileDescriptor&& Other) noexcept : fd_(std::exchange(Other.fd_, -1)) {}
  FileDescriptor& operator=(FileDescriptor&& Other) noexcept {
    if (this != &Other) {
      Close();
      fd_ = std::exchange(Other.fd_, -1);
    }
    return *this;
  }
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  void Close();

 private:
  int fd_ = -1;
};

}  // namespace platform
