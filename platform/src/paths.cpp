#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/last_error.h"

namespace platform {
namespace {

// The private per-user folder under /tmp. Anyone may create a name in /tmp, so a folder that
// is already there is used only when it is really ours and closed to others.
bool EnsurePrivateFolder(const std::string& folder) {
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    struct stat info {};
    if (::lstat(folder.c_str(), &info) != 0) {
        SetLastError(ErrorFromErrno(errno));
        return false;
    }
    if (!S_ISDIR(info.st_mode) || info.st_uid != ::getuid() || (info.st_mode & 0077) != 0) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

}  // namespace

std::string TempPath() {
    const char* tmpdir = std::getenv("TMPDIR");
    std::string folder;
    if (tmpdir != nullptr && *tmpdir != '\0') {
        folder = tmpdir;
    } else {
        folder = "/tmp/tessaline-" + std::to_string(::getuid());
        if (!EnsurePrivateFolder(folder)) {
            return {};
        }
    }
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder;
}

std::string ExecutablePath() {
    std::string path(256, '\0');
    for (;;) {
        ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n < 0) {
            return {};
        }
        if (static_cast<size_t>(n) < path.size()) {
            path.resize(static_cast<size_t>(n));
            return path;
        }
        path.resize(path.size() * 2);
    }
}

}  // namespace platform

DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer) {
    std::string folder = platform::TempPath();
    if (folder.empty()) {
        return 0;
    }
    if (buffer == nullptr || folder.size() + 1 > bufferLength) {
        return static_cast<DWORD>(folder.size() + 1);
    }
    std::memcpy(buffer, folder.c_str(), folder.size() + 1);
    return static_cast<DWORD>(folder.size());
}

DWORD GetModuleFileNameA(void* module, LPSTR fileName, DWORD size) {
    if (module != nullptr) {
        // Only the executable itself is known by handle here.
        SetLastError(ERROR_INVALID_HANDLE);
        return 0;
    }
    std::string path = platform::ExecutablePath();
    if (path.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return 0;
    }
    if (fileName == nullptr || size == 0) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    if (path.size() < size) {
        std::memcpy(fileName, path.c_str(), path.size() + 1);
        SetLastError(ERROR_SUCCESS);
        return static_cast<DWORD>(path.size());
    }
    std::memcpy(fileName, path.data(), size - 1);
    fileName[size - 1] = '\0';
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return size;
}
