// Folders and module names: the temporary folder and the running executable.
#pragma once

#include <string>

#include "platform/win_types.h"

// The user's temporary folder, ending in "/": $TMPDIR when it is set, else /tmp/tessaline-<uid>/,
// created with mode 0700 and refused when another user owns it or others may write to it.
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
// The running executable's full path, without a length limit; empty on failure.
std::string ExecutablePath();
}  // namespace platform
