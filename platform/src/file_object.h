// The kernel object behind a file or pipe-client handle: an open descriptor.
#pragma once

#include <unistd.h>

#include <string>

#include "platform/handle.h"

namespace platform {

class FileObject : public KernelObject {
  public:
    explicit FileObject(int fd) : fd_(fd) {}
    ~FileObject() override {
        if (fd_ >= 0) {
            ::close(fd_);
        }
    }
    int Fd() const { return fd_; }

  private:
    int fd_;
};

// Opens the client end of "\\.\pipe\NAME" (the name after the prefix).
HANDLE OpenPipeClient(const std::string& pipeName);

// The name after "\\.\pipe\" when the path names a pipe, else nullptr.
const char* PipeNameOf(LPCSTR path);

}  // namespace platform
