// What the batches of one user share: one virtual printer, one default printer, one pipe name,
// one hand-off file and one folder of page files. A batch holds this lock from the moment it
// switches the default printer until its PDF thread has read the printed pages; a second batch
// (another window, or the command line) waits for it meanwhile. The system releases the lock
// when the holding process dies, so a crashed batch never blocks the next one.
//
// Outside the lock the default printer is the user's own: the holder notes the user's printer in
// the lock file before it makes the virtual printer the default, and puts it back when it lets the
// lock go. A holder that died before that leaves the note, and the next holder puts the printer
// back first.
#pragma once

#include <functional>
#include <mutex>
#include <string>

#include "convert/ConversionLegs.h"
#include "platform/user_lock.h"

// The lock file's name in the platform root.
inline constexpr char kSharedStateLockName[] = "batch.lock";

class CSharedStateLock {
  public:
    // Without a printer control the lock only excludes other batches.
    explicit CSharedStateLock(IPrinterControl* printer);
    CSharedStateLock(const CSharedStateLock&) = delete;
    CSharedStateLock& operator=(const CSharedStateLock&) = delete;
    // Lets the lock go as Release does.
    ~CSharedStateLock();

    // Takes the lock, waiting while another batch holds it for as long as `keepWaiting` says so
    // (it is asked every few milliseconds, and `onWait` is called once when the wait begins).
    // False when the wait was given up or the lock file cannot be used.
    bool Acquire(const std::function<bool()>& keepWaiting, const std::function<void()>& onWait);
    // Makes `printerName` the default printer, noting the user's own default first; nothing to
    // do when it already is. False when the switch fails.
    bool MakeDefaultPrinter(const std::string& printerName);
    // Puts the user's default printer back (when this holder switched it and nobody chose another
    // since) and lets the lock go. Does nothing when the lock is not held; any thread may call it.
    void Release();
    // Puts the user's default printer back without letting the lock go: for a process that is
    // about to end, whose lock the system releases.
    void RestoreUserPrinter();
    bool Held() const;

  private:
    void RestoreLocked(const std::string& switchedTo);

    IPrinterControl* printer_;
    platform::UserLock lock_{kSharedStateLockName};
    std::mutex mutex_;
    std::string switchedTo_;  // the printer this holder made the default, while it holds the lock
};

// Runs `action` while holding the shared state, only when no batch of the user holds it (this
// process's included); true when it ran. For what must not happen under a running batch, such as
// deleting the folder of page files.
bool WhenNoBatchRuns(const std::function<void()>& action);
