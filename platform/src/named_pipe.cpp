#include "platform/named_pipe.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "platform/last_error.h"
#include "platform/paths.h"
#include "platform/root.h"
#include "platform/src/file_object.h"

namespace platform {
namespace {

// A pipe is a socket "NAME.sock" and a lock file "NAME.lock" in the pipe folder. The server
// holds an open-file-description write lock on the lock file for the life of its handle, so a
// live pipe is one whose lock is held: the lock vanishes with the process, the socket file may
// not. The socket file exists while the instance waits for its client.

constexpr size_t kMaxSocketPath = sizeof(sockaddr_un{}.sun_path) - 1;

std::string PipeFolder() {
    std::filesystem::path root;
    EnsurePlatformRoot(&root);
    std::string folder = (root / "pipes").string();
    // Socket paths are limited to 107 bytes; a long root gets a short private folder of its own.
    if (folder.size() + 1 + 64 > kMaxSocketPath) {
        size_t hash = std::hash<std::string>{}(root.string());
        char name[64];
        std::snprintf(name, sizeof name, "/tmp/tessaline-pipes-%u-%zx",
                      static_cast<unsigned>(::getuid()), hash);
        folder = name;
    }
    return folder;
}

// Pipe names are case-insensitive on Windows, and "\" may not appear in a file name.
std::string FileNameOf(const std::string& pipeName) {
    std::string name;
    for (char c : pipeName) {
        unsigned char u = static_cast<unsigned char>(c);
        if (std::isalnum(u) || c == '-' || c == '_' || c == '.') {
            name += static_cast<char>(std::tolower(u));
        } else {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", u);
            name += escaped;
        }
    }
    return name;
}

struct PipePaths {
    std::string socket;
    std::string lock;
    std::string binding;  // where the server's socket is made before it takes the socket's name
};

bool ResolvePipe(const std::string& pipeName, PipePaths* paths) {
    std::string folder = PipeFolder();
    if (!EnsurePrivateFolder(folder)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    std::string base = folder + "/" + FileNameOf(pipeName);
    paths->socket = base + ".sock";
    paths->lock = base + ".lock";
    paths->binding = base + ".new";
    if (paths->socket.size() > kMaxSocketPath) {
        SetLastError(ERROR_BAD_PATHNAME);
        return false;
    }
    return true;
}

bool SetWholeFileLock(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// True when a server holds the pipe's lock; its default time-out (kept in the lock file) goes
// to *defaultTimeout when asked for.
bool ServerAlive(const PipePaths& paths, DWORD* defaultTimeout = nullptr) {
    int fd = ::open(paths.lock.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        return false;
    }
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    bool alive = ::fcntl(fd, F_OFD_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
    if (alive && defaultTimeout != nullptr) {
        char text[16] = {};
        if (::pread(fd, text, sizeof text - 1, 0) > 0) {
            *defaultTimeout = static_cast<DWORD>(std::strtoul(text, nullptr, 10));
        }
    }
    ::close(fd);
    return alive;
}

sockaddr_un AddressOf(const std::string& socketPath) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path, socketPath.c_str(), socketPath.size() + 1);
    return address;
}

class PipeServer : public KernelObject {
  public:
    PipeServer(int lockFd, std::string lockPath, int listenFd, std::string socketPath)
        : lockFd_(lockFd),
          lockPath_(std::move(lockPath)),
          listenFd_(listenFd),
          socketPath_(std::move(socketPath)) {}

    ~PipeServer() override {
        StopListening();
        if (clientFd_ >= 0) {
            ::close(clientFd_);
        }
        // The lock file goes while its lock is still held, so no pipe files are left behind;
        // a server that opened it meanwhile notices the replaced path and starts over.
        ::unlink(lockPath_.c_str());
        ::close(lockFd_);  // releases the pipe
    }

    // Accepts the one client; -1 ms waits without limit.
    BOOL Connect(int timeoutMs) {
        if (clientFd_ >= 0) {
            return TRUE;
        }
        if (listenFd_ < 0) {
            SetLastError(ERROR_NO_DATA);
            return FALSE;
        }
        struct pollfd waiting = {listenFd_, POLLIN, 0};
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        for (;;) {
            int wait = timeoutMs < 0 ? -1
                                     : static_cast<int>(std::max<long long>(
                                           0, std::chrono::duration_cast<std::chrono::milliseconds>(
                                                  deadline - std::chrono::steady_clock::now())
                                                  .count()));
            int ready = ::poll(&waiting, 1, wait);
            if (ready < 0 && errno == EINTR) {
                continue;
            }
            if (ready < 0) {
                SetLastError(ErrorFromErrno(errno));
                return FALSE;
            }
            if (ready == 0) {
                SetLastError(ERROR_SEM_TIMEOUT);
                return FALSE;
            }
            int client = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client < 0 && (errno == EINTR || errno == EAGAIN || errno == ECONNABORTED)) {
                continue;
            }
            if (client < 0) {
                SetLastError(ErrorFromErrno(errno));
                return FALSE;
            }
            clientFd_ = client;
            // One connection per pipe: the instance is no longer free for anyone else.
            StopListening();
            return TRUE;
        }
    }

  private:
    void StopListening() {
        if (listenFd_ < 0) {
            return;
        }
        // The lock is still held, so the socket file is still this server's own.
        ::unlink(socketPath_.c_str());
        ::close(listenFd_);
        listenFd_ = -1;
    }

    int lockFd_;
    std::string lockPath_;
    int listenFd_;
    int clientFd_ = -1;
    std::string socketPath_;
};

}  // namespace

std::string PipeSocketPath(const std::string& pipeName) {
    PipePaths paths;
    return ResolvePipe(pipeName, &paths) ? paths.socket : std::string();
}

HANDLE OpenPipeClient(const std::string& pipeName) {
    PipePaths paths;
    if (!ResolvePipe(pipeName, &paths)) {
        return INVALID_HANDLE_VALUE;
    }
    // Non-blocking, so an instance that already has its client gives EAGAIN (ERROR_PIPE_BUSY)
    // at once instead of a connect that waits for the server to accept.
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0) {
        SetLastError(ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    sockaddr_un address = AddressOf(paths.socket);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        int err = errno;
        ::close(fd);
        bool alive = ServerAlive(paths);
        SetLastError(alive && (err == ENOENT || err == ECONNREFUSED || err == EAGAIN)
                         ? ERROR_PIPE_BUSY
                         : ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    SetLastError(ERROR_SUCCESS);
    return ToHandle(new FileObject(fd));
}

}  // namespace platform

HANDLE CreateNamedPipeA(LPCSTR name, DWORD /*openMode*/, DWORD /*pipeMode*/, DWORD /*maxInstances*/,
                        DWORD /*outBufferSize*/, DWORD /*inBufferSize*/, DWORD defaultTimeOut,
                        void* /*security*/) {
    const char* pipeName = platform::PipeNameOf(name);
    platform::PipePaths paths;
    if (pipeName == nullptr || *pipeName == '\0') {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    if (!platform::ResolvePipe(pipeName, &paths)) {
        return INVALID_HANDLE_VALUE;
    }
    int lockFd = -1;
    for (;;) {
        lockFd = ::open(paths.lock.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
        if (lockFd < 0) {
            SetLastError(platform::ErrorFromErrno(errno));
            return INVALID_HANDLE_VALUE;
        }
        if (!platform::SetWholeFileLock(lockFd, F_WRLCK)) {
            ::close(lockFd);
            SetLastError(ERROR_PIPE_BUSY);
            return INVALID_HANDLE_VALUE;
        }
        // The lock counts only on the file the path still names: a closing server removes its
        // lock file before it lets the lock go.
        struct stat locked {};
        struct stat named {};
        if (::fstat(lockFd, &locked) == 0 && ::stat(paths.lock.c_str(), &named) == 0 &&
            locked.st_ino == named.st_ino && locked.st_dev == named.st_dev) {
            break;
        }
        ::close(lockFd);
    }
    // Holding the lock, any socket file left here belongs to a server that is gone.
    ::unlink(paths.socket.c_str());
    ::unlink(paths.binding.c_str());
    // Windows' default of 50 ms stands for a default time-out of 0.
    std::string timeout = std::to_string(defaultTimeOut != 0 ? defaultTimeOut : 50);
    if (::ftruncate(lockFd, 0) != 0 || ::pwrite(lockFd, timeout.data(), timeout.size(), 0) < 0) {
        // The time-out is only a client's default; the pipe works without it.
    }
    // The socket is bound and listening under another name first and then renamed into place,
    // so a client that sees the pipe's socket file can connect at once, as on Windows, where a
    // pipe instance exists fully or not at all.
    int listenFd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un address = platform::AddressOf(paths.binding);
    if (listenFd < 0 ||
        ::bind(listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::chmod(paths.binding.c_str(), 0600) != 0 ||
        // Backlog 0 queues exactly one client: the pipe's one instance.
        ::listen(listenFd, 0) != 0 || ::rename(paths.binding.c_str(), paths.socket.c_str()) != 0) {
        SetLastError(platform::ErrorFromErrno(errno));
        if (listenFd >= 0) {
            ::close(listenFd);
        }
        ::unlink(paths.binding.c_str());
        ::close(lockFd);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return platform::ToHandle(new platform::PipeServer(lockFd, paths.lock, listenFd, paths.socket));
}

BOOL ConnectNamedPipe(HANDLE pipe, void* /*overlapped*/) {
    auto* server = platform::FromHandle<platform::PipeServer>(pipe);
    return server != nullptr ? server->Connect(-1) : FALSE;
}

BOOL ConnectNamedPipeWithTimeout(HANDLE pipe, DWORD timeoutMs) {
    auto* server = platform::FromHandle<platform::PipeServer>(pipe);
    if (server == nullptr) {
        return FALSE;
    }
    return server->Connect(timeoutMs == NMPWAIT_WAIT_FOREVER
                               ? -1
                               : static_cast<int>(std::min<DWORD>(timeoutMs, 0x7FFFFFFF)));
}

BOOL WaitNamedPipeA(LPCSTR name, DWORD timeOut) {
    const char* pipeName = platform::PipeNameOf(name);
    platform::PipePaths paths;
    if (pipeName == nullptr || !platform::ResolvePipe(pipeName, &paths)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    DWORD serverDefault = 50;
    if (!platform::ServerAlive(paths, &serverDefault)) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    if (timeOut == NMPWAIT_USE_DEFAULT_WAIT) {
        timeOut = serverDefault;
    }
    auto start = std::chrono::steady_clock::now();
    for (;;) {
        if (!platform::ServerAlive(paths)) {
            SetLastError(ERROR_FILE_NOT_FOUND);
            return FALSE;
        }
        if (::access(paths.socket.c_str(), F_OK) == 0) {
            return TRUE;
        }
        if (timeOut != NMPWAIT_WAIT_FOREVER &&
            std::chrono::steady_clock::now() - start >= std::chrono::milliseconds(timeOut)) {
            SetLastError(ERROR_SEM_TIMEOUT);
            return FALSE;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}
