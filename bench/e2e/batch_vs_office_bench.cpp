// The whole batch against LibreOffice alone: the example documents, repeated to at least 40,
// converted once by folvane-cli keeping links and bookmarks and once by LibreOffice's own
// `soffice --headless --convert-to pdf` exporting links and bookmarks, in the same run. Prints
// both wall times, their ratio (the target is at most 1.5) and peak memory: the largest single
// process (getrusage of the reaped children) and the largest sum over the run's processes
// (sampled from /proc: folvane-cli, its office, the spooler's workers).
//
//   batch_vs_office_bench [DOCUMENTS]      (at least 40; default 40)
#include <dirent.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "support/scoped_environment.h"

namespace fs = std::filesystem;

namespace {

constexpr char kOfficeFilter[] =
    R"(pdf:writer_pdf_Export:{"ExportBookmarks":{"type":"boolean","value":"true"}})";

struct Measured {
    int exitCode = -1;
    double seconds = 0;
    long largestProcessKb = 0;  // ru_maxrss of the child and everything it reaped
    long peakSumKb = 0;         // the most the run's processes held at one time
};

// Empty when the process is gone (reading its files then fails, which the stream throws).
std::string ReadProcFile(const std::string& pid, const char* name) {
    std::ifstream in("/proc/" + pid + "/" + name, std::ios::binary);
    try {
        return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    } catch (const std::exception&) {
        return {};
    }
}

long ResidentKb(const std::string& pid) {
    const std::string status = ReadProcFile(pid, "status");
    const std::size_t at = status.find("VmRSS:");
    return at == std::string::npos ? 0 : std::atol(status.c_str() + at + 6);
}

// Resident memory of every process whose command line or environment names `marker`.
long ResidentSumKb(const std::string& marker) {
    long sum = 0;
    DIR* proc = ::opendir("/proc");
    if (proc == nullptr) {
        return 0;
    }
    const std::string self = std::to_string(::getpid());
    while (const dirent* entry = ::readdir(proc)) {
        const std::string pid = entry->d_name;
        if (pid.empty() || pid[0] < '1' || pid[0] > '9' || pid == self) {
            continue;
        }
        if (ReadProcFile(pid, "cmdline").find(marker) != std::string::npos ||
            ReadProcFile(pid, "environ").find(marker) != std::string::npos) {
            sum += ResidentKb(pid);
        }
    }
    ::closedir(proc);
    return sum;
}

// Runs argv with the extra environment, its output into `log`, sampling the memory of the
// processes that carry `marker` while it runs.
Measured Run(const std::vector<std::string>& argv,
             const std::vector<std::pair<std::string, std::string>>& environment,
             const fs::path& log, const std::string& marker) {
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
            measured.peakSumKb = std::max(measured.peakSumKb, ResidentSumKb(marker));
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
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
    measured.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    measured.largestProcessKb = usage.ru_maxrss;
    return measured;
}

int CountPdfs(const fs::path& folder) {
    int count = 0;
    for (const auto& entry : fs::directory_iterator(folder)) {
        count += entry.path().extension() == ".pdf" ? 1 : 0;
    }
    return count;
}

void Report(const char* name, const Measured& measured, int pdfs, int documents) {
    std::printf(
        "%-28s %8.2f s  exit %d  %d/%d PDFs  largest process %7.1f MiB  all processes "
        "%7.1f MiB\n",
        name, measured.seconds, measured.exitCode, pdfs, documents,
        measured.largestProcessKb / 1024.0, measured.peakSumKb / 1024.0);
}

}  // namespace

int main(int argc, char** argv) {
    const int wanted = std::max(40, argc > 1 ? std::atoi(argv[1]) : 40);
    const fs::path programs = TESSALINE_PROGRAM_DIR;
    const fs::path examples = fs::path(TESSALINE_SOURCE_DIR) / "examples";
    if (::access("/usr/lib/libreoffice/program/soffice.bin", X_OK) != 0 ||
        !fs::exists(programs / "libTessalineWord.so")) {
        std::fprintf(stderr, "needs LibreOffice and the built components in %s\n",
                     programs.c_str());
        return 2;
    }
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(examples)) {
        const std::string extension = entry.path().extension().string();
        if (extension == ".doc" || extension == ".docx") {
            names.push_back(entry.path().filename().string());
        }
    }
    std::sort(names.begin(), names.end());

    // A private installation for folvane-cli, and the documents under names of their own so that
    // no two PDFs share a name.
    testing_support::ScopedPlatform platform;
    if (std::system((programs / "tessaline-install >/dev/null").c_str()) != 0) {
        std::fprintf(stderr, "tessaline-install failed\n");
        return 2;
    }
    const fs::path documents = platform.Work() / "documents";
    fs::create_directories(documents);
    fs::copy(examples / "sub", documents / "sub", fs::copy_options::recursive);
    std::vector<std::string> paths;
    for (int i = 0; i < wanted; ++i) {
        const std::string& name = names[i % names.size()];
        paths.push_back((documents / (std::to_string(i + 1) + "-" + name)).string());
        fs::copy_file(examples / name, paths.back());
    }
    const int count = static_cast<int>(paths.size());
    std::printf("%d documents (the %zu examples in turn)\n", count, names.size());

    const fs::path ours = platform.Work() / "folvane-cli";
    fs::create_directories(ours);
    std::vector<std::string> cli = {(programs / "folvane-cli").string(), "--keep-links",
                                    "--keep-bookmarks", "-o", ours.string()};
    cli.insert(cli.end(), paths.begin(), paths.end());
    const Measured batch =
        Run(cli, {}, platform.Work() / "folvane-cli.log", platform.Root().string());

    // LibreOffice with a fresh profile of its own, as the batch's office starts with one.
    const fs::path office = platform.Work() / "office";
    const fs::path theirs = platform.Work() / "soffice";
    fs::create_directories(office / "tmp");
    std::vector<std::string> soffice = {
        "/usr/bin/soffice", "--headless",
        "--norestore",      "-env:UserInstallation=file://" + (office / "profile").string(),
        "--convert-to",     kOfficeFilter,
        "--outdir",         theirs.string()};
    soffice.insert(soffice.end(), paths.begin(), paths.end());
    const Measured alone = Run(soffice, {{"TMPDIR", (office / "tmp").string()}},
                               platform.Work() / "soffice.log", office.string());

    Report("folvane-cli", batch, CountPdfs(ours), count);
    Report("soffice --convert-to pdf", alone, CountPdfs(theirs), count);
    const double ratio = alone.seconds > 0 ? batch.seconds / alone.seconds : 0;
    std::printf("ratio folvane-cli / soffice: %.2f (target at most 1.5: %s)\n", ratio,
                ratio <= 1.5 ? "met" : "NOT met");
    if (batch.exitCode != 0) {
        std::printf("folvane-cli's log:\n%s\n",
                    testing_support::ReadFile(platform.Work() / "folvane-cli.log").c_str());
    }
    return batch.exitCode == 0 && CountPdfs(ours) == count ? 0 : 1;
}
