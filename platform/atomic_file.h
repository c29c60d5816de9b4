// Read-modify-write of a whole file under an exclusive lock, replaced atomically.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/win_types.h"

namespace platform {

enum class EditResult {
    kUnchanged,  // nothing to write
    kChanged,    // write the new content
    kRejected,   // the edit is invalid; nothing is written
};

// Reads the file at `path` (nullopt when it does not exist), lets `edit` change the content and,
// when it reports a change, writes the new content to a temporary file in the same folder and
// renames it over `path`. Writers of the same file, in this process or others, are serialised by
// a lock on the file, so no update is lost; readers see the old or the new file, never a mix.
// A symbolic link is followed and its target replaced; a link found where the path resolved to
// a file (a dangling one, or one made in between) fails the update. The file keeps its permission
// bits; a new file gets `newFileMode` (less the umask). Returns ERROR_SUCCESS or a Windows error
// code; on failure the existing file is untouched.
DWORD UpdateFileAtomically(
    const std::string& path,
    const std::function<EditResult(std::optional<std::string>& content)>& edit,
    unsigned newFileMode = 0666);

// Reads a whole file. nullopt with the error in *error (when given) when it cannot be read.
std::optional<std::string> ReadWholeFile(const std::string& path, DWORD* error = nullptr);

}  // namespace platform
