// tessaline-spoold --printer NAME --job NUMBER JOBFILE
//
// Started by the spooler for each job of a printer whose driver it serves. The first process
// detaches a worker and ends at once, so whoever submitted the job keeps no child; the worker
// prints the job. TESSALINE_SPOOLER_WAIT_MS bounds the wait for the program's pipe.
#include <sys/types.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "ProgramFolder.h"
#include "SpoolerService.h"

namespace {
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
    if (const char* wait = std::getenv("TESSALINE_SPOOLER_WAIT_MS")) {
        options.pipeWaitMs = static_cast<unsigned>(std::strtoul(wait, nullptr, 10));
    }
    options.ravelinPath = GetProgramFolder() + "libRavelin.so";

    pid_t worker = fork();
    if (worker < 0) {
        std::perror("tessaline-spoold: fork");
        return 1;
    }
    if (worker > 0) {
        return 0;
    }
    setsid();
    return RunSpoolerJob(options);
}
