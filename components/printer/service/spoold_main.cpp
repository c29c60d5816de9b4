// tessaline-spoold --printer NAME --job NUMBER JOBFILE
//
// Started by the spooler for each job of a printer whose driver it serves. The first process
// detaches a worker and ends at once, so whoever submitted the job keeps no child; the worker
// prints the job. TESSALINE_SPOOLER_WAIT_SECONDS bounds the wait for the program's pipe.
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/types.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <filesystem>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "components/printer/service/SpoolerService.h"
#include "platform/environment_settings.h"
#include "platform/program_folder.h"
#include "platform/root.h"

namespace {

// The worker outlives whoever submitted the job: it must not hold their output open (a caller
// reading it to the end would wait for the job). Its own messages go to a log under the root.
void DetachFromTerminalOutput() {
    int null = open("/dev/null", O_RDWR | O_CLOEXEC);
    if (null >= 0) {
        dup2(null, STDIN_FILENO);
        dup2(null, STDOUT_FILENO);
        close(null);
    }
    std::filesystem::path root;
    if (platform::EnsurePlatformRoot(&root)) {
        std::error_code ignored;
        std::filesystem::create_directories(root / "spool", ignored);
        int log = open((root / "spool" / "service.log").c_str(),
                       O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
        if (log >= 0) {
            dup2(log, STDERR_FILENO);
            close(log);
            return;
        }
    }
    if (int quiet = open("/dev/null", O_WRONLY | O_CLOEXEC); quiet >= 0) {
        dup2(quiet, STDERR_FILENO);
        close(quiet);
    }
}

int Usage() {
    std::fprintf(stderr, "usage: tessaline-spoold --printer NAME --job NUMBER JOBFILE\n");
    return 2;
}
}  // namespace

int main(int argc, char** argv) {
    SpoolerServiceOptions options;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--printer" && i + 1 < argc) {
            options.printer = argv[++i];
        } else if (arg == "--job" && i + 1 < argc) {
            options.jobNumber = static_cast<DWORD>(std::strtoul(argv[++i], nullptr, 10));
        } else if (options.jobFile.empty() && !arg.empty() && arg[0] != '-') {
            options.jobFile = arg;
        } else {
            return Usage();
        }
    }
    if (options.jobFile.empty() || options.jobNumber == 0) {
        return Usage();
    }
    const auto wait = platform::DurationSetting(platform::Setting::SpoolerWaitSeconds);
    options.pipeWaitMs = static_cast<unsigned>(std::min<long long>(wait.count(), UINT_MAX));
    options.ravelinPath = GetProgramFolder() + "libRavelin.so";
    // The program that printed the job is this process's parent until the worker detaches.
    options.submitterPidfd = static_cast<int>(::syscall(SYS_pidfd_open, ::getppid(), 0));

    pid_t worker = fork();
    if (worker < 0) {
        std::perror("tessaline-spoold: fork");
        return 1;
    }
    if (worker > 0) {
        return 0;
    }
    setsid();
    DetachFromTerminalOutput();
    return RunSpoolerJob(options);
}
