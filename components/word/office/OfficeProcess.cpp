#include "components/word/office/OfficeProcess.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <thread>
#include <vector>

#include "components/word/office/FileUrl.h"
#include "components/word/office/RemoteContent.h"
#include "platform/environment_settings.h"

namespace word_component {

namespace {

// FNV-1a: stable across builds and runs, unlike std::hash, so every process of one root finds
// the same pipe.
std::uint64_t StableHash(const std::string& text) {
    std::uint64_t hash = 0xcbf29ce484222325ULL;
    for (unsigned char c : text) {
        hash ^= c;
        hash *= 0x100000001b3ULL;
    }
    return hash;
}

}  // namespace

std::string OfficeProgramPath() {
    return platform::PathSetting(platform::Setting::OfficeProgram);
}

bool OfficeProgramAvailable() {
    return ::access(OfficeProgramPath().c_str(), X_OK) == 0;
}

OfficeIdentity IdentityForRoot(const std::string& platformRoot, unsigned slot) {
    OfficeIdentity identity;
    char hash[17];
    std::snprintf(hash, sizeof hash, "%016llx",
                  static_cast<unsigned long long>(StableHash(platformRoot)));
    const std::string suffix = std::string(RemoteContentAllowed() ? "-remote" : "") +
                               (slot == 0 ? std::string() : "-" + std::to_string(slot));
    identity.pipeName = std::string("tessaline-") + hash + suffix;
    identity.profileUrl = FileUrlFromPath(platformRoot + "/office-profile" + suffix);
    identity.connectUrl = "uno:pipe,name=" + identity.pipeName + ";urp;StarOffice.ComponentContext";
    identity.profileArgument = "-env:UserInstallation=" + identity.profileUrl;
    identity.temporaryFolder = platformRoot + "/office-temp" + suffix;
    return identity;
}

pid_t StartOfficeProcess(const OfficeIdentity& identity, std::string* error) {
    const std::string program = OfficeProgramPath();
    ::mkdir(identity.temporaryFolder.c_str(), 0700);
    // Everything the child needs is made before fork: after it only async-signal-safe calls.
    std::vector<std::string> arguments = {program,
                                          "--headless",
                                          "--invisible",
                                          "--nologo",
                                          "--norestore",
                                          "--nodefault",
                                          "--nolockcheck",
                                          "--nofirststartwizard",
                                          identity.profileArgument,
                                          "--accept=pipe,name=" + identity.pipeName + ";urp;"};
    // The office's own temporary files stay out of the user's temporary folder, where the
    // hand-off's pages live.
    std::vector<std::string> environment;
    for (char** variable = environ; *variable != nullptr; ++variable) {
        if (std::strncmp(*variable, "TMPDIR=", 7) != 0 &&
            std::strncmp(*variable, "XDG_CACHE_HOME=", 15) != 0 &&
            std::strncmp(*variable, "GSETTINGS_BACKEND=", 18) != 0) {
            environment.emplace_back(*variable);
        }
    }
    environment.push_back("TMPDIR=" + identity.temporaryFolder);
    // A headless office has no business in the user's desktop settings: its settings stay in
    // memory and what it caches (dconf's database among it) stays in its own folder.
    environment.push_back("GSETTINGS_BACKEND=memory");
    environment.push_back("XDG_CACHE_HOME=" + identity.temporaryFolder + "/cache");
    std::vector<char*> envp;
    for (std::string& variable : environment) {
        envp.push_back(variable.data());
    }
    envp.push_back(nullptr);
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);
    const pid_t parent = ::getpid();

    const pid_t pid = ::fork();
    if (pid < 0) {
        *error = std::string("cannot start the office: ") + std::strerror(errno);
        return -1;
    }
    if (pid == 0) {
        // The office must not outlive us, even when we are killed.
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != parent) {
            ::_exit(127);
        }
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        const int devNull = ::open("/dev/null", O_RDWR);
        if (devNull >= 0) {
            ::dup2(devNull, STDIN_FILENO);
            ::dup2(devNull, STDOUT_FILENO);
            ::dup2(devNull, STDERR_FILENO);
        }
        // Our descriptors (the caller's files, pipes, sockets) are none of the office's business.
        ::syscall(SYS_close_range, 3U, ~0U, 0U);
        ::setpgid(0, 0);
        ::execve(argv[0], argv.data(), envp.data());
        ::_exit(127);
    }
    return pid;
}

bool OfficeProcessRunning(pid_t pid, int* exitCode) {
    if (exitCode != nullptr) {
        *exitCode = -1;
    }
    if (pid <= 0) {
        return false;
    }
    int status = 0;
    const pid_t result = ::waitpid(pid, &status, WNOHANG);
    if (result == pid && WIFEXITED(status) && exitCode != nullptr) {
        *exitCode = WEXITSTATUS(status);
    }
    return result == 0;
}

void EndOfficeProcess(pid_t pid, std::chrono::milliseconds grace) {
    if (pid <= 0) {
        return;
    }
    using Clock = std::chrono::steady_clock;
    auto waitFor = [pid](std::chrono::milliseconds limit) {
        const auto deadline = Clock::now() + limit;
        do {
            int status = 0;
            const pid_t result = ::waitpid(pid, &status, WNOHANG);
            if (result == pid || (result < 0 && errno == ECHILD)) {
                return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        } while (Clock::now() < deadline);
        return false;
    };
    if (waitFor(grace)) {
        return;
    }
    ::kill(pid, SIGTERM);
    if (waitFor(std::chrono::milliseconds(3000))) {
        return;
    }
    ::kill(pid, SIGKILL);
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
}

}  // namespace word_component
