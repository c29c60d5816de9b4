#include "SpoolerService.h"

#include <dlfcn.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

#include "EmfSpoolDriver.h"
#include "platform/files.h"
#include "platform/named_pipe.h"
#include "platform/spooler.h"

namespace {

constexpr char kProgramPipe[] = "\\\\.\\pipe\\tessalinepipe";

// The program creates its pipe only once the print request has returned; the job waits for it
// to appear, within a limit, as the print path does before it calls the extractor. It looks
// often: the program waits for the pages meanwhile, and every look costs next to nothing.
constexpr auto kPipeLookInterval = std::chrono::milliseconds(2);

bool WaitForProgramPipe(unsigned limitMs) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
    for (;;) {
        if (WaitNamedPipeA(kProgramPipe, 1)) {
            return true;
        }
        if (std::chrono::steady_clock::now() >= deadline) {
            return false;
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
    if (WaitForProgramPipe(options.pipeWaitMs)) {
        result = CallConvertFile(options.ravelinPath);
    } else {
        std::fprintf(stderr, "tessaline-spoold: job %u: no program waited for the pages\n",
                     static_cast<unsigned>(options.jobNumber));
    }
    if (held != INVALID_HANDLE_VALUE) {
        CloseHandle(held);
    }
    DeleteFileA(spoolPath.c_str());
    return result;
}
