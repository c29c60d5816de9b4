#include "platform/user_lock.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <thread>

#include "platform/last_error.h"
#include "platform/root.h"

namespace platform {
namespace {

// Short, so that a waiting batch takes the lock in the gap between two jobs of the holder.
constexpr auto kWaitStep = std::chrono::milliseconds(5);

bool LockWholeFile(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

}  // namespace

UserLock::UserLock(std::string name) : name_(std::move(name)) {}

UserLock::~UserLock() {
    Release();
}

int UserLock::OpenLockFile() const {
    std::filesystem::path root;
    if (!EnsurePlatformRoot(&root)) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return -1;
    }
    // Never through a link: the file is the user's own, like the rest of the root.
    const int fd = ::open((root / name_).c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
    }
    return fd;
}

bool UserLock::Acquire(const std::function<bool()>& keepWaiting) {
    if (Held()) {
        return true;
    }
    const int fd = OpenLockFile();
    if (fd < 0) {
        return false;
    }
    while (!LockWholeFile(fd)) {
        if (errno != EAGAIN && errno != EACCES && errno != EINTR) {
            SetLastError(ErrorFromErrno(errno));
            ::close(fd);
            return false;
        }
        if (!keepWaiting || !keepWaiting()) {
            ::close(fd);
            SetLastError(ERROR_SHARING_VIOLATION);
            return false;
        }
        std::this_thread::sleep_for(kWaitStep);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    fd_ = fd;
    return true;
}

bool UserLock::TryAcquire() {
    return Acquire({});
}

void UserLock::Release() {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ >= 0) {
        ::close(fd_);  // closing the description releases its lock
        fd_ = -1;
    }
}

bool UserLock::Held() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return fd_ >= 0;
}

std::string UserLock::Note() const {
    std::lock_guard<std::mutex> lock(mutex_);
    std::string note;
    if (fd_ < 0) {
        return note;
    }
    char chunk[512];
    for (off_t offset = 0;;) {
        const ssize_t n = ::pread(fd_, chunk, sizeof chunk, offset);
        if (n <= 0) {
            break;
        }
        note.append(chunk, static_cast<std::size_t>(n));
        offset += n;
    }
    return note;
}

bool UserLock::SetNote(const std::string& note) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (fd_ < 0 || ::ftruncate(fd_, 0) != 0) {
        return false;
    }
    std::size_t done = 0;
    while (done < note.size()) {
        const ssize_t n =
            ::pwrite(fd_, note.data() + done, note.size() - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n <= 0) {
            return false;
        }
        done += static_cast<std::size_t>(n);
    }
    return true;
}

}  // namespace platform
