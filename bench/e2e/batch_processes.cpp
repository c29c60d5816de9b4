#include "bench/e2e/batch_processes.h"

#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <fstream>
#include <iterator>
#include <thread>

namespace fs = std::filesystem;

namespace bench_e2e {

namespace {

// Empty when the process is gone (reading its files then fails, which the stream throws).
std::string ReadProcFile(const std::string& pid, const char* name) {
    std::ifstream in("/proc/" + pid + "/" + name, std::ios::binary);
    try {
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        return {};
    }
}

std::vector<std::string> ExampleNames(const fs::path& examples) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(examples)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".doc" || extension == ".docx") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());
    return names;
}

}  // namespace

bool PrepareInstallation(const fs::path& programs) {
    if (::access("/usr/lib/libreoffice/program/soffice.bin", X_OK) != 0 ||
        !fs::exists(programs / "libTessalineWord.so")) {
        std::fprintf(stderr, "needs LibreOffice and the built components in %s\n",
                     programs.c_str());
        return false;
    }
    if (std::system((programs / "tessaline-install >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "tessaline-install failed\n");
        return false;
    }
    return true;
}

std::size_t ExampleCount(const fs::path& examples) {
    return ExampleNames(examples).size();
}

std::vector<std::string> CopyExamplesInTurn(const fs::path& examples, const fs::path& folder,
                                            int count) {
    const std::vector<std::string> names = ExampleNames(examples);
    std::vector<std::string> paths;
    if (names.empty()) {
        return paths;
    }
    fs::create_directories(folder);
    fs::copy(examples / "sub", folder / "sub", fs::copy_options::recursive);
    for (int i = 0; i < count; ++i) {
        const std::string& name = names[i % names.size()];
        paths.push_back((folder / (std::to_string(i + 1) + "-" + name)).string());
        fs::copy_file(examples / name, paths.back());
    }
    return paths;
}

long ResidentKb(pid_t pid) {
    const std::string status = ReadProcFile(std::to_string(pid), "status");
    const std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6);
}

std::vector<pid_t> ProcessesNaming(const std::string& marker, bool environmentToo) {
    std::vector<pid_t> found;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return found;
    }
    const std::string self = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.empty() || pid[0] < '1' || pid[0] > '9' || pid == self) {
            continue;
        }
        if (ReadProcFile(pid, "cmdline").find(marker) != std::string::npos ||
            (environmentToo && ReadProcFile(pid, "environ").find(marker) != std::string::npos)) {
            found.push_back(static_cast<pid_t>(std::atol(pid.c_str())));
        }
    }
    ::closedir(proc);
    return found;
}

long ResidentSumKb(const std::vector<pid_t>& pids) {
    long sum = 0;
    for (const pid_t pid : pids) {
        sum += ResidentKb(pid);
    }
    return sum;
}

Measured RunSampled(const std::vector<std::string>& argv, const Environment& environment,
                    const fs::path& log, const std::function<void(pid_t)>& sample, int every) {
    Measured measured;
    std::fflush(stdout);  // the child must not print the parent's buffered lines again
    const auto start = std::chrono::steady_clock::now();
    const pid_t pid = ::fork();
    if (pid < 0) {
        return measured;
    }
    if (pid == 0) {
        for (const auto& [name, value] : environment) {
            ::setenv(name.c_str(), value.c_str(), 1);
        }
        if (std::freopen(log.c_str(), "w", stdout) == nullptr ||
            ::dup2(STDOUT_FILENO, STDERR_FILENO) < 0) {
            ::_exit(126);
        }
        std::vector<char*> args;
        for (const std::string& arg : argv) {
            args.push_back(const_cast<char*>(arg.c_str()));
        }
        args.push_back(nullptr);
        ::execv(args[0], args.data());
        ::_exit(127);
    }
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        while (!done) {
            sample(pid);
            std::this_thread::sleep_for(std::chrono::milliseconds(every));
        }
    });
    int status = 0;
    struct rusage usage {};
    while (::wait4(pid, &status, 0, &usage) < 0 && errno == EINTR) {
    }
    measured.seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    done = true;
    sampler.join();
    measured.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    measured.largestProcessKb = usage.ru_maxrss;
    return measured;
}

int CountPdfs(const fs::path& folder) {
    int count = 0;
    std::error_code error;
    for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error)) {
        count += it->path().extension() == ".pdf" ? 1 : 0;
    }
    return count;
}

}  // namespace bench_e2e
