#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>

#include "platform/last_error.h"

namespace platform {
namespace {

// Closes a descriptor on scope exit.
class FileDescriptor {
  public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { Reset(); }
    int Get() const { return fd_; }
    void Reset(int fd = -1) {
        if (fd_ >= 0) {
            ::close(fd_);
        }
        fd_ = fd;
    }

  private:
    int fd_;
};

bool ReadAll(int fd, std::string* out) {
    out->clear();
    char chunk[65536];
    for (;;) {
        ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        if (n == 0) {
            return true;
        }
        out->append(chunk, static_cast<size_t>(n));
    }
}

bool WriteAll(int fd, const std::string& data) {
    size_t done = 0;
    while (done < data.size()) {
        ssize_t n = ::write(fd, data.data() + done, data.size() - done);
        if (n < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

// The path whose file is replaced: a symbolic link's final target, else the path itself.
std::string ResolveTarget(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

std::string FolderOf(const std::string& path) {
    size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

mode_t CurrentUmask() {
    // umask can only be read by setting it; the process-wide race is harmless because the
    // value is put back at once and only new-file modes depend on it.
    mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}

}  // namespace

std::optional<std::string> ReadWholeFile(const std::string& path, DWORD* error) {
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    std::string content;
    if (fd.Get() < 0 || !ReadAll(fd.Get(), &content)) {
        if (error != nullptr) {
            *error = ErrorFromErrno(errno);
        }
        return std::nullopt;
    }
    if (error != nullptr) {
        *error = ERROR_SUCCESS;
    }
    return content;
}

DWORD UpdateFileAtomically(const std::string& requestedPath,
                           const std::function<EditResult(std::optional<std::string>&)>& edit,
                           unsigned newFileMode) {
    if (requestedPath.empty()) {
        return ERROR_INVALID_PARAMETER;
    }
    const std::string path = ResolveTarget(requestedPath);

    // Lock the file itself. A writer that replaced the file while we waited leaves us holding
    // the lock of an unlinked inode: open the path again until the locked file is the current one.
    FileDescriptor fd;
    bool created = false;
    struct stat locked {};
    for (;;) {
        // The path is resolved once: a link that appears there afterwards fails the update
        // rather than redirecting it.
        int flags = O_RDWR | O_CLOEXEC | O_NOFOLLOW;
        int raw = ::open(path.c_str(), flags);
        created = false;
        if (raw < 0 && errno == ENOENT) {
            raw = ::open(path.c_str(), flags | O_CREAT | O_EXCL, newFileMode & ~CurrentUmask());
            created = raw >= 0;
            if (raw < 0 && errno == EEXIST) {
                continue;
            }
        }
        if (raw < 0) {
            return ErrorFromErrno(errno);
        }
        fd.Reset(raw);
        while (::flock(fd.Get(), LOCK_EX) != 0) {
            if (errno != EINTR) {
                return ErrorFromErrno(errno);
            }
        }
        struct stat current {};
        if (::fstat(fd.Get(), &locked) != 0) {
            return ErrorFromErrno(errno);
        }
        if (::lstat(path.c_str(), &current) == 0 && current.st_ino == locked.st_ino &&
            current.st_dev == locked.st_dev) {
            break;
        }
    }

    // A file that exists only because this call created it to hold the lock reads as absent,
    // and is removed again unless the edit gives it content.
    std::optional<std::string> content;
    if (!created || locked.st_size > 0) {
        std::string existing;
        if (!ReadAll(fd.Get(), &existing)) {
            return ErrorFromErrno(errno);
        }
        content = std::move(existing);
    }
    const bool existedBefore = content.has_value();

    auto discardCreated = [&] {
        if (created) {
            ::unlink(path.c_str());
        }
    };

    EditResult result = edit(content);
    if (result == EditResult::kRejected) {
        discardCreated();
        return ERROR_INVALID_PARAMETER;
    }
    if (result == EditResult::kUnchanged || !content.has_value()) {
        if (!existedBefore) {
            discardCreated();
        }
        return ERROR_SUCCESS;
    }

    std::string tempPath = FolderOf(path) + "/." + NameOf(path) + ".XXXXXX";
    FileDescriptor temp(::mkostemp(tempPath.data(), O_CLOEXEC));
    if (temp.Get() < 0) {
        DWORD error = ErrorFromErrno(errno);
        discardCreated();
        return error;
    }
    bool ok = ::fchmod(temp.Get(), locked.st_mode & 07777) == 0 && WriteAll(temp.Get(), *content);
    int savedErrno = errno;
    temp.Reset();
    if (!ok || ::rename(tempPath.c_str(), path.c_str()) != 0) {
        if (ok) {
            savedErrno = errno;
        }
        ::unlink(tempPath.c_str());
        discardCreated();
        return ErrorFromErrno(savedErrno);
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
