#include "components/printer/service/SpoolerService.h"

#include <dlfcn.h>
#include <poll.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "components/printer/EmfSpoolDriver.h"
#include "contracts/Installation.h"
#include "platform/files.h"
#include "platform/named_pipe.h"
#include "platform/spooler.h"

namespace {

using tessaline::contracts::kHandOffPipeName;

// The program creates its pipe only once the print request has returned; the job waits for it
// to appear, within a limit, as the print path does before it calls the extractor. It looks
// often: the program waits for the pages meanwhile, and every look costs next to nothing.
constexpr auto kPipeLookInterval = std::chrono::milliseconds(2);

// A pidfd becomes readable when its process has ended.
bool Ended(int pidfd) {
    pollfd process{pidfd, POLLIN, 0};
    return pidfd >= 0 && ::poll(&process, 1, 0) > 0;
}

enum class PipeWait { kReady, kTimedOut, kSubmitterEnded };

PipeWait WaitForProgramPipe(unsigned limitMs, int submitterPidfd) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (Ended(submitterPidfd)) {
            return PipeWait::kSubmitterEnded;
        }
        if (WaitNamedPipeA(kHandOffPipeName, 1)) {
            return PipeWait::kReady;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return PipeWait::kTimedOut;
        }
        std::this_thread::sleep_for(kPipeLookInterval);
    }
}

int CallConvertFile(const std::string& ravelinPath) {
    void* library = dlopen(ravelinPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        std::fprintf(stderr, "tessaline-spoold: cannot load %s: %s\n", ravelinPath.c_str(),
                     dlerror());
        return 2;
    }
    using ConvertFileProc = int (*)();
    auto convert = reinterpret_cast<ConvertFileProc>(dlsym(library, "ConvertFile"));
    if (convert == nullptr) {
        std::fprintf(stderr, "tessaline-spoold: %s has no ConvertFile\n", ravelinPath.c_str());
        dlclose(library);
        return 2;
    }
    convert();
    dlclose(library);
    return 0;
}

}  // namespace

std::string SpoolFileName(DWORD jobNumber) {
    char name[32];
    std::snprintf(name, sizeof name, "%05u.SPL", static_cast<unsigned>(jobNumber));
    return name;
}

int RunSpoolerJob(const SpoolerServiceOptions& options) {
    const std::string folder = platform::SpoolFolder();
    std::error_code ignored;
    std::filesystem::create_directories(folder, ignored);
    const std::string spoolPath = folder + SpoolFileName(options.jobNumber);

    std::string error;
    const bool spooled = printer::WriteSpoolFile(options.jobFile, spoolPath, &error);
    std::filesystem::remove(options.jobFile, ignored);
    if (!spooled) {
        std::fprintf(stderr, "tessaline-spoold: job %u: %s\n",
                     static_cast<unsigned>(options.jobNumber), error.c_str());
        return 1;
    }

    // Held without shared deletion, so the extractor's clean-up of old spool files leaves it.
    HANDLE held = CreateFileA(spoolPath.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    int result = 1;
    const PipeWait wait = WaitForProgramPipe(options.pipeWaitMs, options.submitterPidfd);
    if (wait == PipeWait::kReady) {
        result = CallConvertFile(options.ravelinPath);
    } else {
        std::fprintf(stderr, "tessaline-spoold: job %u: %s\n",
                     static_cast<unsigned>(options.jobNumber),
                     wait == PipeWait::kSubmitterEnded
                         ? "the program that printed it has ended; the job is dropped"
                         : "no program waited for the pages");
    }
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    DeleteFileA(spoolPath.c_str());
    return result;
}
