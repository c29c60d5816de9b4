// The test process's own resources: its memory, and limits a test imposes on it.
#pragma once

#include <sys/resource.h>

namespace testing_support {

// Resident memory now, and the peak so far, in KiB.
long CurrentResidentKb();
long PeakResidentKb();

// Makes writes to regular files fail past `bytes` (EFBIG instead of SIGXFSZ) while it lives.
class ScopedFileSizeLimit {
  public:
    explicit ScopedFileSizeLimit(rlim_t bytes);
    ScopedFileSizeLimit(const ScopedFileSizeLimit&) = delete;
    ScopedFileSizeLimit& operator=(const ScopedFileSizeLimit&) = delete;
    ~ScopedFileSizeLimit();

  private:
    struct rlimit old_ {};
    void (*oldHandler_)(int) = nullptr;
};

}  // namespace testing_support
