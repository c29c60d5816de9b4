#include "platform/paths.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <string>

#include "platform/last_error.h"

namespace platform {
namespace {

// A trailing "/" would make lstat look through a link to the folder it names.
std::string WithoutTrailingSeparators(std::string folder) {
    while (!folder.empty() && folder.back() == '/') {
        folder.pop_back();
    }
    return folder;
}

bool IsPrivateFolder(const std::string& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) &&
           info.st_uid == ::getuid() && (info.st_mode & 0077) == 0;
}

// A real folder of the user's own that others may still enter (as earlier versions made
// DravelleOutput/) is closed to them. The mode is changed through a descriptor opened without
// following links, so it is that very folder, whatever happens to the name meanwhile.
void CloseOwnFolderToOthers(const std::string& folder) {
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
        return;
    }
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
        (info.st_mode & 0077) != 0) {
        ::fchmod(fd, info.st_mode & 0700);
    }
    ::close(fd);
}

}  // namespace

bool EnsurePrivateFolder(const std::string& path) {
    const std::string folder = WithoutTrailingSeparators(path);
    if (folder.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return false;
    }
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : ErrorFromErrno(errno));
        return false;
    }
    // Someone else may have made the name first: the folder is used only when it is really
    // ours and closed to others; only a folder of our own is closed.
    CloseOwnFolderToOthers(folder);
    if (!IsPrivateFolder(folder)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return false;
    }
    return true;
}

std::string TempPath() {
    const char* tmpdir = std::getenv("TMPDIR");
    const std::string base =
        WithoutTrailingSeparators(tmpdir != nullptr && *tmpdir != '\0' ? tmpdir : "/tmp");
    if (IsPrivateFolder(base)) {
        return base + "/";
    }
    // A folder others may use (like /tmp) gets a private folder of the user inside it.
    const std::string folder = base + "/tessaline-" + std::to_string(::getuid());
    if (!EnsurePrivateFolder(folder)) {
        return {};
    }
    return folder + "/";
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
