#include "convert/SharedStateLock.h"

namespace {

// The note: the printer the holder switched to, then the user's own default, one per line. A
// name holds no line break (the spooler refuses such names).
std::string MakeNote(const std::string& switchedTo, const std::string& userPrinter) {
    return switchedTo + "\n" + userPrinter + "\n";
}

bool ParseNote(const std::string& note, std::string* switchedTo, std::string* userPrinter) {
    const std::size_t first = note.find('\n');
    if (first == std::string::npos) {
        return false;
    }
    const std::size_t second = note.find('\n', first + 1);
    if (second == std::string::npos) {
        return false;
    }
    *switchedTo = note.substr(0, first);
    *userPrinter = note.substr(first + 1, second - first - 1);
    return !switchedTo->empty() && !userPrinter->empty();
}

}  // namespace

CSharedStateLock::CSharedStateLock(IPrinterControl* printer) : printer_(printer) {}

CSharedStateLock::~CSharedStateLock() {
    Release();
}

bool CSharedStateLock::Acquire(const std::function<bool()>& keepWaiting,
                               const std::function<void()>& onWait) {
    bool waiting = false;
    const bool acquired = lock_.Acquire([&] {
        if (!waiting) {
            waiting = true;
            if (onWait) {
                onWait();
            }
        }
        return keepWaiting && keepWaiting();
    });
    if (!acquired) {
        return false;
    }
    // A holder that died with the virtual printer as the default left its note.
    std::lock_guard<std::mutex> guard(mutex_);
    std::string switchedTo;
    std::string userPrinter;
    if (printer_ != nullptr && ParseNote(lock_.Note(), &switchedTo, &userPrinter) &&
        printer_->GetDefaultPrinter() == switchedTo) {
        printer_->SetDefaultPrinter(userPrinter);
    }
    lock_.SetNote({});
    switchedTo_.clear();
    return true;
}

bool CSharedStateLock::MakeDefaultPrinter(const std::string& printerName) {
    std::lock_guard<std::mutex> guard(mutex_);
    if (printer_ == nullptr) {
        return false;
    }
    const std::string current = printer_->GetDefaultPrinter();
    if (current == printerName) {
        return true;
    }
    // With no default printer there is nothing to put back afterwards.
    if (!current.empty() && lock_.Held()) {
        lock_.SetNote(MakeNote(printerName, current));
        switchedTo_ = printerName;
    }
    return printer_->SetDefaultPrinter(printerName);
}

void CSharedStateLock::RestoreLocked(const std::string& switchedTo) {
    std::string noted;
    std::string userPrinter;
    if (printer_ == nullptr || switchedTo.empty() ||
        !ParseNote(lock_.Note(), &noted, &userPrinter)) {
        return;
    }
    // A printer the user chose meanwhile stays the default.
    if (printer_->GetDefaultPrinter() == switchedTo) {
        printer_->SetDefaultPrinter(userPrinter);
    }
}

void CSharedStateLock::Release() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (!lock_.Held()) {
        return;
    }
    RestoreLocked(switchedTo_);
    switchedTo_.clear();
    lock_.SetNote({});
    lock_.Release();
}

void CSharedStateLock::RestoreUserPrinter() {
    std::lock_guard<std::mutex> guard(mutex_);
    if (lock_.Held()) {
        RestoreLocked(switchedTo_);
    }
}

bool CSharedStateLock::Held() const {
    return lock_.Held();
}

bool WhenNoBatchRuns(const std::function<void()>& action) {
    platform::UserLock lock(kSharedStateLockName);
    if (!lock.TryAcquire()) {
        return false;
    }
    action();
    return true;
}
