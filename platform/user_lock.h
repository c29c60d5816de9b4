// A lock that one user's processes share through a file under the platform root.
//
// It is an open-file-description lock: it belongs to the UserLock object, not to a thread or a
// process. Two objects in one process exclude each other as two processes do, any thread may
// release it, and the system releases it when the holder's process dies, however it ends.
// The file also keeps a short note that a holder writes and the next holder reads, so that what
// a holder that died left undone can be put right.
#pragma once

#include <functional>
#include <mutex>
#include <string>

namespace platform {

class UserLock {
  public:
    // `name`: the lock file's name in the platform root.
    explicit UserLock(std::string name);
    UserLock(const UserLock&) = delete;
    UserLock& operator=(const UserLock&) = delete;
    // Releases the lock when it is held.
    ~UserLock();

    // Takes the lock, waiting while another holder has it for as long as `keepWaiting` (asked
    // every few milliseconds while waiting) says so. False when the wait was given up, or the
    // file cannot be opened (the last error says why). Taking a lock already held is true.
    bool Acquire(const std::function<bool()>& keepWaiting = {});
    // Takes the lock only when nobody holds it.
    bool TryAcquire();
    // Lets the lock go; nothing when it is not held.
    void Release();
    bool Held() const;

    // The note in the lock file; empty when the lock is not held.
    std::string Note() const;
    // Replaces the note; false when the lock is not held or the file cannot be written.
    bool SetNote(const std::string& note);

  private:
    int OpenLockFile() const;

    const std::string name_;
    mutable std::mutex mutex_;
    int fd_ = -1;  // the open file description that holds the lock
};

}  // namespace platform
