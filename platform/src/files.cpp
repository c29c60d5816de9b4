#include "platform/files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/src/file_object.h"
#include "platform/text.h"

namespace platform {
namespace {

// An open-file-description lock on the whole file: it belongs to the handle, not the process,
// so it conflicts with every other open of the file, in this process or another.
bool LockWholeFile(int fd, short type) {
    struct flock lock {};
    lock.l_type = type;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    return ::fcntl(fd, F_OFD_SETLK, &lock) == 0;
}

// True when someone holds a lock that a whole-file write lock would conflict with.
bool HeldByAnother(int fd) {
    struct flock lock {};
    lock.l_type = F_WRLCK;
    lock.l_whence = SEEK_SET;
    lock.l_start = 0;
    lock.l_len = 0;
    if (::fcntl(fd, F_OFD_GETLK, &lock) != 0) {
        return false;
    }
    return lock.l_type != F_UNLCK;
}

class FindObject : public KernelObject {
  public:
    std::string folder;
    std::vector<std::string> names;
    size_t next = 0;
};

void FillFindData(const std::string& folder, const std::string& name, WIN32_FIND_DATAA* data) {
    std::memset(data, 0, sizeof *data);
    struct stat info {};
    if (::stat((folder + "/" + name).c_str(), &info) == 0) {
        data->dwFileAttributes =
            S_ISDIR(info.st_mode) ? FILE_ATTRIBUTE_DIRECTORY : FILE_ATTRIBUTE_NORMAL;
        auto size = static_cast<ULONGLONG>(info.st_size);
        data->nFileSizeLow = static_cast<DWORD>(size & 0xFFFFFFFF);
        data->nFileSizeHigh = static_cast<DWORD>(size >> 32);
    } else {
        data->dwFileAttributes = FILE_ATTRIBUTE_NORMAL;
    }
    std::strncpy(data->cFileName, name.c_str(), MAX_PATH - 1);
}

bool MatchFrom(const std::u16string& pattern, size_t p, const std::u16string& name, size_t n) {
    // Iterative wildcard match with backtracking to the last "*".
    size_t starP = std::u16string::npos;
    size_t starN = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == u'?' || pattern[p] == name[n])) {
            ++p;
            ++n;
        } else if (p < pattern.size() && pattern[p] == u'*') {
            starP = p++;
            starN = n;
        } else if (starP != std::u16string::npos) {
            p = starP + 1;
            n = ++starN;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == u'*') {
        ++p;
    }
    return p == pattern.size();
}

}  // namespace

bool MatchesWildcard(std::string_view pattern, std::string_view name) {
    // "*.*" matches every name, with or without a dot, as on Windows.
    if (pattern == "*.*") {
        return true;
    }
    return MatchFrom(UpcaseUtf16(pattern), 0, UpcaseUtf16(name), 0);
}

const char* PipeNameOf(LPCSTR path) {
    static constexpr char kPrefix[] = "\\\\.\\pipe\\";
    if (path != nullptr && std::strncmp(path, kPrefix, sizeof kPrefix - 1) == 0) {
        return path + sizeof kPrefix - 1;
    }
    return nullptr;
}

}  // namespace platform

using platform::FileObject;

HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, void* /*security*/,
                   DWORD creationDisposition, DWORD /*flagsAndAttributes*/,
                   HANDLE /*templateFile*/) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    if (const char* pipe = platform::PipeNameOf(fileName)) {
        return platform::OpenPipeClient(pipe);
    }
    int flags = O_CLOEXEC;
    bool read = (desiredAccess & GENERIC_READ) != 0;
    bool write = (desiredAccess & GENERIC_WRITE) != 0;
    // A lock that keeps deleters away needs read access, so such handles always read.
    bool guardDeletion = (shareMode & FILE_SHARE_DELETE) == 0;
    flags |= write ? ((read || guardDeletion) ? O_RDWR : O_WRONLY) : O_RDONLY;
    switch (creationDisposition) {
        case CREATE_NEW:
            flags |= O_CREAT | O_EXCL;
            break;
        case CREATE_ALWAYS:
            flags |= O_CREAT | O_TRUNC;
            break;
        case OPEN_EXISTING:
            break;
        case OPEN_ALWAYS:
            flags |= O_CREAT;
            break;
        case TRUNCATE_EXISTING:
            flags |= O_TRUNC;
            break;
        default:
            SetLastError(ERROR_INVALID_PARAMETER);
            return INVALID_HANDLE_VALUE;
    }
    int fd = ::open(fileName, flags, 0666);
    if (fd < 0) {
        SetLastError(errno == EEXIST ? ERROR_FILE_EXISTS : platform::ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    if (guardDeletion && !platform::LockWholeFile(fd, F_RDLCK)) {
        // Another handle holds the file exclusively (a deleter in the middle of its check).
        ::close(fd);
        SetLastError(ERROR_SHARING_VIOLATION);
        return INVALID_HANDLE_VALUE;
    }
    SetLastError(ERROR_SUCCESS);
    return platform::ToHandle(new FileObject(fd));
}

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead,
              void* /*overlapped*/) {
    auto* object = platform::FromHandle<FileObject>(file);
    if (bytesRead != nullptr) {
        *bytesRead = 0;
    }
    if (object == nullptr) {
        return FALSE;
    }
    DWORD done = 0;
    while (done < bytesToRead) {
        ssize_t n = ::read(object->Fd(), static_cast<char*>(buffer) + done, bytesToRead - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetLastError(platform::ErrorFromErrno(errno));
            return FALSE;
        }
        if (n == 0) {
            break;
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesRead != nullptr) {
        *bytesRead = done;
    }
    return TRUE;
}

BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               void* /*overlapped*/) {
    auto* object = platform::FromHandle<FileObject>(file);
    if (bytesWritten != nullptr) {
        *bytesWritten = 0;
    }
    if (object == nullptr) {
        return FALSE;
    }
    DWORD done = 0;
    while (done < bytesToWrite) {
        ssize_t n =
            ::write(object->Fd(), static_cast<const char*>(buffer) + done, bytesToWrite - done);
        if (n < 0 && errno == EINTR) {
            continue;
        }
        if (n < 0) {
            SetLastError(platform::ErrorFromErrno(errno));
            if (bytesWritten != nullptr) {
                *bytesWritten = done;
            }
            return FALSE;
        }
        done += static_cast<DWORD>(n);
    }
    if (bytesWritten != nullptr) {
        *bytesWritten = done;
    }
    return TRUE;
}

DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod) {
    auto* object = platform::FromHandle<FileObject>(file);
    if (object == nullptr) {
        return INVALID_SET_FILE_POINTER;
    }
    int whence = moveMethod == FILE_BEGIN     ? SEEK_SET
                 : moveMethod == FILE_CURRENT ? SEEK_CUR
                                              : SEEK_END;
    off_t offset = distanceHigh != nullptr
                       ? static_cast<off_t>((static_cast<LONGLONG>(*distanceHigh) << 32) |
                                            static_cast<DWORD>(distance))
                       : static_cast<off_t>(distance);
    off_t position = ::lseek(object->Fd(), offset, whence);
    if (position < 0) {
        SetLastError(platform::ErrorFromErrno(errno == EINVAL ? EINVAL : errno));
        return INVALID_SET_FILE_POINTER;
    }
    if (distanceHigh != nullptr) {
        *distanceHigh = static_cast<LONG>(static_cast<ULONGLONG>(position) >> 32);
    }
    SetLastError(ERROR_SUCCESS);
    return static_cast<DWORD>(static_cast<ULONGLONG>(position) & 0xFFFFFFFF);
}

BOOL DeleteFileA(LPCSTR fileName) {
    if (fileName == nullptr || *fileName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    struct stat info {};
    if (::lstat(fileName, &info) != 0) {
        SetLastError(platform::ErrorFromErrno(errno));
        return FALSE;
    }
    if (S_ISDIR(info.st_mode)) {
        SetLastError(ERROR_ACCESS_DENIED);
        return FALSE;
    }
    if (S_ISREG(info.st_mode)) {
        int fd = ::open(fileName, O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        if (fd >= 0) {
            bool held = platform::HeldByAnother(fd);
            ::close(fd);
            if (held) {
                SetLastError(ERROR_SHARING_VIOLATION);
                return FALSE;
            }
        }
    }
    if (::unlink(fileName) != 0) {
        SetLastError(platform::ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

BOOL CreateDirectoryA(LPCSTR pathName, void* /*security*/) {
    if (pathName == nullptr || *pathName == '\0') {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return FALSE;
    }
    if (::mkdir(pathName, 0777) != 0) {
        SetLastError(errno == ENOENT ? ERROR_PATH_NOT_FOUND : platform::ErrorFromErrno(errno));
        return FALSE;
    }
    return TRUE;
}

DWORD GetFileAttributesA(LPCSTR fileName) {
    struct stat info {};
    if (fileName == nullptr || ::stat(fileName, &info) != 0) {
        SetLastError(fileName == nullptr ? ERROR_INVALID_PARAMETER
                                         : platform::ErrorFromErrno(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(info.st_mode)) {
        return FILE_ATTRIBUTE_DIRECTORY;
    }
    return (info.st_mode & 0222) == 0 ? FILE_ATTRIBUTE_READONLY : FILE_ATTRIBUTE_NORMAL;
}

HANDLE FindFirstFileA(LPCSTR fileName, WIN32_FIND_DATAA* findData) {
    if (fileName == nullptr || findData == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::string path = fileName;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string::npos ? std::string(".")
                         : slash == 0               ? std::string("/")
                                                    : path.substr(0, slash);
    std::string pattern = slash == std::string::npos ? path : path.substr(slash + 1);

    DIR* dir = ::opendir(folder.c_str());
    if (dir == nullptr) {
        SetLastError(errno == ENOENT || errno == ENOTDIR ? ERROR_PATH_NOT_FOUND
                                                         : platform::ErrorFromErrno(errno));
        return INVALID_HANDLE_VALUE;
    }
    auto find = std::make_unique<platform::FindObject>();
    find->folder = folder;
    while (struct dirent* entry = ::readdir(dir)) {
        if (platform::MatchesWildcard(pattern, entry->d_name)) {
            find->names.emplace_back(entry->d_name);
        }
    }
    ::closedir(dir);
    // NTFS keeps names in the order of their upcased UTF-16 form.
    std::stable_sort(find->names.begin(), find->names.end(),
                     [](const std::string& a, const std::string& b) {
                         return platform::UpcaseUtf16(a) < platform::UpcaseUtf16(b);
                     });
    if (find->names.empty()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    platform::FillFindData(find->folder, find->names[0], findData);
    find->next = 1;
    return platform::ToHandle(find.release());
}

BOOL FindNextFileA(HANDLE findFile, WIN32_FIND_DATAA* findData) {
    auto* find = platform::FromHandle<platform::FindObject>(findFile);
    if (find == nullptr || findData == nullptr) {
        return FALSE;
    }
    if (find->next >= find->names.size()) {
        SetLastError(ERROR_NO_MORE_FILES);
        return FALSE;
    }
    platform::FillFindData(find->folder, find->names[find->next++], findData);
    return TRUE;
}

BOOL FindClose(HANDLE findFile) {
    if (platform::FromHandle<platform::FindObject>(findFile) == nullptr) {
        return FALSE;
    }
    return CloseHandle(findFile);
}
