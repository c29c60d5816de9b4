// Replacing a file atomically: streamed through a temporary file beside it, or as a
// read-modify-write of the whole file under an exclusive lock.
#pragma once

#include <cstddef>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/win_types.h"

namespace platform {

// A new file written beside `path` (in the same folder, so the rename stays within one file
// system) and renamed over it on Commit: readers see the old file or the new one, never a mix.
// Failing, Abandon or destruction before Commit removes the temporary file and leaves the old
// file byte for byte. The temporary is always a new file (O_EXCL | O_NOFOLLOW), never reached
// through a link; the rename replaces the entry at `path` itself, a link included, not its
// target. On failure errno (and Error()) says why.
class FileReplacement {
  public:
    // The permission bits of the new file.
    enum class Permissions {
        kPrivate,       // its user's alone (0600 less the umask): the content is private
        kLikeReplaced,  // those of the regular file at `path`, else 0666 less the umask
    };
    // Whether Commit flushes the content to disk before the rename.
    enum class Sync { kToDisk, kNone };

    FileReplacement() = default;
    FileReplacement(const FileReplacement&) = delete;
    FileReplacement& operator=(const FileReplacement&) = delete;
    ~FileReplacement() { Abandon(); }

    // Creates the temporary file and opens it for writing. Its name is the target's, hidden,
    // with a random suffix; with `nameBytesKept`, only that much of the target's name, so that a
    // long name still leaves room for the suffix.
    bool Begin(const std::string& path, Permissions permissions,
               std::size_t nameBytesKept = std::string::npos);
    // The same for a writer that opens the temporary by its name (TemporaryPath()) itself and
    // sees to its own flushing: the file is created and closed again; Commit only renames it.
    bool Reserve(const std::string& path, Permissions permissions,
                 std::size_t nameBytesKept = std::string::npos);

    bool Active() const { return !tempPath_.empty(); }
    const std::string& TemporaryPath() const { return tempPath_; }
    // The open temporary file (after Begin), for writers that take a stream.
    std::FILE* Stream() const { return stream_; }

    // Sets the temporary file's permission bits to exactly `bits`.
    bool SetPermissionBits(unsigned bits);
    // Appends to the temporary file. A failure abandons the replacement.
    bool Write(std::string_view bytes);
    // Flushes what was written (to disk with Sync::kToDisk) and closes the temporary file,
    // including any write error the stream met before. A failure abandons the replacement.
    bool Close(Sync sync = Sync::kToDisk);
    // Closes the temporary file if it is open and renames it over the path. A failure abandons
    // the replacement.
    bool Commit(Sync sync = Sync::kToDisk);
    // Drops the temporary file; the path stays as it was. Keeps errno.
    void Abandon();

    // The errno of the last failure, 0 when none.
    int Error() const { return error_; }

  private:
    bool Create(const std::string& path, Permissions permissions, std::size_t nameBytesKept);
    bool Fail();

    std::string path_;
    std::string tempPath_;
    std::FILE* stream_ = nullptr;
    int error_ = 0;
};

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
