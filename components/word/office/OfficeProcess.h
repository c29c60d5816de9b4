// The headless office's operating-system process: where its program is, the pipe it listens on
// and the profile it uses (both derived from the platform root, so every process of one
// installation shares one office), starting it and ending it.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace word_component {

// $TESSALINE_OFFICE_PROGRAM when set, else LibreOffice's soffice.bin.
std::string OfficeProgramPath();
// True when the office program exists and may be run.
bool OfficeProgramAvailable();

// Pipe name and profile of the office of that slot that serves the given platform root (two
// offices cannot share a profile). Slot 0's names have no suffix; slot n's end in "-n". The
// offices of a process that lets them fetch remote content (RemoteContent.h) are others, with
// "-remote" before that: a process never uses an office started under the other setting.
struct OfficeIdentity {
    std::string pipeName;         // "tessaline-<hash of the root>"
    std::string profileUrl;       // file:// URL of "<root>/office-profile"
    std::string connectUrl;       // the UNO URL that reaches the office's component context
    std::string profileArgument;  // "-env:UserInstallation=<profileUrl>"
    std::string temporaryFolder;  // the office's TMPDIR: "<root>/office-temp"
};
OfficeIdentity IdentityForRoot(const std::string& platformRoot, unsigned slot = 0);

// Starts the office program headless, listening on the identity's pipe. The child dies with
// the calling thread (PR_SET_PDEATHSIG), so call it from a thread that lives as long as the
// office should. Returns the pid, or -1 with the reason in *error.
pid_t StartOfficeProcess(const OfficeIdentity& identity, std::string* error);

// True while the child has not ended; reaps it when it has, giving its exit code in *exitCode
// (-1 when it was killed or was reaped elsewhere).
bool OfficeProcessRunning(pid_t pid, int* exitCode = nullptr);

// Waits up to `grace` for the child to end by itself, then sends SIGTERM, waits a little more,
// then SIGKILL; always reaps it.
void EndOfficeProcess(pid_t pid, std::chrono::milliseconds grace);

}  // namespace word_component
