#include "platform/atomic_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
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

// The path whose file is replaced: a symbolic link's final target, else the path itself.
std::string ResolveTarget(const std::string& path) {
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) != nullptr) {
        return resolved;
    }
    return path;
}

// "<folder>/.<name>.<8 hex digits>": hidden, and in the target's folder.
std::string TemporaryNameFor(const std::string& path, std::size_t nameBytesKept) {
    const size_t slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
    static thread_local std::mt19937 random{std::random_device{}()};
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".%08x", static_cast<unsigned>(random()));
    return folder + "." + name.substr(0, nameBytesKept) + suffix;
}

// The process's file creation mask, read without changing it: umask() reads it only by setting
// it, for a moment, for every thread, and a file another thread made then would get no mask.
mode_t CurrentUmask() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            return static_cast<mode_t>(std::stoul(line.substr(6), nullptr, 8));
        }
    }
    return 022;
}

}  // namespace

bool FileReplacement::Fail() {
    error_ = errno;
    Abandon();
    errno = error_;
    return false;
}

void FileReplacement::Abandon() {
    const int saved = errno;
    if (stream_ != nullptr) {
        std::fclose(stream_);
        stream_ = nullptr;
    }
    if (!tempPath_.empty()) {
        ::unlink(tempPath_.c_str());
        tempPath_.clear();
    }
    path_.clear();
    errno = saved;
}

bool FileReplacement::Create(const std::string& path, Permissions permissions,
                             std::size_t nameBytesKept) {
    Abandon();
    error_ = 0;
    if (path.empty()) {
        errno = EINVAL;
        return Fail();
    }
    // The kernel applies the umask, as for any new file.
    const mode_t mode = permissions == Permissions::kPrivate ? 0600 : 0666;
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string tempPath = TemporaryNameFor(path, nameBytesKept);
        const int fd =
            ::open(tempPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
        if (fd < 0) {
            if (errno == EEXIST) {
                continue;
            }
            return Fail();
        }
        path_ = path;
        tempPath_ = std::move(tempPath);
        struct stat existing {};
        if (permissions == Permissions::kLikeReplaced && ::stat(path.c_str(), &existing) == 0 &&
            S_ISREG(existing.st_mode) && ::fchmod(fd, existing.st_mode & 07777) != 0) {
            ::close(fd);
            return Fail();
        }
        stream_ = ::fdopen(fd, "wb");
        if (stream_ == nullptr) {
            ::close(fd);
            return Fail();
        }
        return true;
    }
    errno = EEXIST;
    return Fail();
}

bool FileReplacement::Begin(const std::string& path, Permissions permissions,
                            std::size_t nameBytesKept) {
    return Create(path, permissions, nameBytesKept);
}

bool FileReplacement::Reserve(const std::string& path, Permissions permissions,
                              std::size_t nameBytesKept) {
    if (!Create(path, permissions, nameBytesKept)) {
        return false;
    }
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    return closed || Fail();
}

bool FileReplacement::SetPermissionBits(unsigned bits) {
    if (stream_ == nullptr) {
        errno = EBADF;
        return Fail();
    }
    return ::fchmod(::fileno(stream_), static_cast<mode_t>(bits)) == 0 || Fail();
}

bool FileReplacement::Write(std::string_view bytes) {
    if (stream_ == nullptr) {
        errno = EBADF;
        return Fail();
    }
    return bytes.empty() || std::fwrite(bytes.data(), 1, bytes.size(), stream_) == bytes.size() ||
           Fail();
}

bool FileReplacement::Close(Sync sync) {
    if (stream_ == nullptr) {
        if (Active()) {
            return true;  // reserved: its writer has closed it
        }
        errno = EBADF;
        return Fail();
    }
    // A write error met earlier (also one a library's own flush ran into) is remembered by the
    // stream.
    const bool flushed = std::fflush(stream_) == 0 && std::ferror(stream_) == 0 &&
                         (sync == Sync::kNone || ::fsync(::fileno(stream_)) == 0);
    const int flushError = errno;
    const bool closed = std::fclose(stream_) == 0;
    stream_ = nullptr;
    if (!flushed) {
        errno = flushError;
        return Fail();
    }
    return closed || Fail();
}

bool FileReplacement::Commit(Sync sync) {
    if (!Close(sync)) {
        return false;
    }
    if (::rename(tempPath_.c_str(), path_.c_str()) != 0) {
        return Fail();
    }
    tempPath_.clear();
    path_.clear();
    return true;
}

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

    // No flush to disk: the profile and registry files are rewritten for every key, and a flush
    // each time would make a long job's page list slow (bench/ini_bench.cpp).
    FileReplacement replacement;
    if (!replacement.Begin(path, FileReplacement::Permissions::kPrivate) ||
        !replacement.SetPermissionBits(locked.st_mode & 07777) || !replacement.Write(*content) ||
        !replacement.Commit(FileReplacement::Sync::kNone)) {
        const DWORD error = ErrorFromErrno(replacement.Error());
        discardCreated();
        return error;
    }
    return ERROR_SUCCESS;
}

}  // namespace platform
