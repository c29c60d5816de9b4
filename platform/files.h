// Files with the Windows rules the system depends on: a file held open without shared deletion
// cannot be deleted, and folder listings come in the order NTFS returns them (ascending,
// ignoring case).
#pragma once

#include <string_view>

#include "platform/handle.h"
#include "platform/win_types.h"

constexpr DWORD GENERIC_READ = 0x80000000;
constexpr DWORD GENERIC_WRITE = 0x40000000;

constexpr DWORD FILE_SHARE_READ = 0x1;
constexpr DWORD FILE_SHARE_WRITE = 0x2;
constexpr DWORD FILE_SHARE_DELETE = 0x4;

constexpr DWORD CREATE_NEW = 1;
constexpr DWORD CREATE_ALWAYS = 2;
constexpr DWORD OPEN_EXISTING = 3;
constexpr DWORD OPEN_ALWAYS = 4;
constexpr DWORD TRUNCATE_EXISTING = 5;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x1;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x10;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x80;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;

constexpr DWORD FILE_BEGIN = 0;
constexpr DWORD FILE_CURRENT = 1;
constexpr DWORD FILE_END = 2;

struct FILETIME {
    DWORD dwLowDateTime;
    DWORD dwHighDateTime;
};

struct WIN32_FIND_DATAA {
    DWORD dwFileAttributes;
    FILETIME ftCreationTime;
    FILETIME ftLastAccessTime;
    FILETIME ftLastWriteTime;
    DWORD nFileSizeHigh;
    DWORD nFileSizeLow;
    DWORD dwReserved0;
    DWORD dwReserved1;
    CHAR cFileName[MAX_PATH];
    CHAR cAlternateFileName[14];
};

// Opens or creates a file; "\\.\pipe\NAME" opens the client end of a named pipe. A share mode
// without FILE_SHARE_DELETE keeps other processes from deleting the file while the handle is
// open (an open-file-description read lock on the whole file).
HANDLE CreateFileA(LPCSTR fileName, DWORD desiredAccess, DWORD shareMode, void* security,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

BOOL ReadFile(HANDLE file, LPVOID buffer, DWORD bytesToRead, LPDWORD bytesRead, void* overlapped);
BOOL WriteFile(HANDLE file, LPCVOID buffer, DWORD bytesToWrite, LPDWORD bytesWritten,
               void* overlapped);
DWORD SetFilePointer(HANDLE file, LONG distance, LONG* distanceHigh, DWORD moveMethod);
constexpr DWORD INVALID_SET_FILE_POINTER = 0xFFFFFFFF;

// Fails with ERROR_SHARING_VIOLATION while another holder keeps the file open without shared
// deletion, with ERROR_FILE_NOT_FOUND when it does not exist, ERROR_ACCESS_DENIED on a folder.
BOOL DeleteFileA(LPCSTR fileName);

// Creates one folder; ERROR_ALREADY_EXISTS when it is there, ERROR_PATH_NOT_FOUND without parent.
BOOL CreateDirectoryA(LPCSTR pathName, void* security);

DWORD GetFileAttributesA(LPCSTR fileName);

// Lists the entries of a folder matching a pattern of "*" and "?" (letter case ignored), in
// NTFS order. INVALID_HANDLE_VALUE with ERROR_FILE_NOT_FOUND when nothing matches,
// ERROR_PATH_NOT_FOUND when the folder is missing.
HANDLE FindFirstFileA(LPCSTR fileName, WIN32_FIND_DATAA* findData);
BOOL FindNextFileA(HANDLE findFile, WIN32_FIND_DATAA* findData);  // ERROR_NO_MORE_FILES at end
BOOL FindClose(HANDLE findFile);

namespace platform {
// True when a "*" / "?" pattern matches a name, ignoring letter case.
bool MatchesWildcard(std::string_view pattern, std::string_view name);
}  // namespace platform
