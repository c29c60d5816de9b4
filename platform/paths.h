// Folders and module names: the temporary folder and the running executable.
#pragma once

#include <string>

#include "platform/win_types.h"

// The user's temporary folder, ending in "/", private to the user as %TEMP% is on Windows:
// $TMPDIR (else /tmp) when it is a private folder of the user (see EnsurePrivateFolder), else a
// folder "tessaline-<uid>" in it, made and checked by EnsurePrivateFolder.
// Returns the length copied without the terminator; when the buffer is too small, the size
// needed including the terminator. 0 on failure (with the last error set).
DWORD GetTempPathA(DWORD bufferLength, LPSTR buffer);

// The full path of the running executable (module null or the executable itself). As on
// Windows: the count copied without the terminator; when the buffer is too small the path is
// cut to size - 1 characters, the count is size and the last error ERROR_INSUFFICIENT_BUFFER.
DWORD GetModuleFileNameA(void* module, LPSTR fileName, DWORD size);

namespace platform {
// GetTempPathA as a string; empty when the folder cannot be had.
std::string TempPath();
// Makes sure `folder` (its parent must exist) is a folder only this user can use: created with
// mode 0700 when missing; one already there must be a real folder, not a symbolic link, owned
// by the user; group and others lose their access to it. A link, or a folder of another user,
// is refused as it stands: false with ERROR_ACCESS_DENIED (else the error of the failed
// creation).
bool EnsurePrivateFolder(const std::string& folder);
// The running executable's full path, without a length limit; empty on failure.
std::string ExecutablePath();
}  // namespace platform
