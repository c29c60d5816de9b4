// What the end-to-end benchmarks share: the example documents copied in turn under names of
// their own, and the resident memory of processes read from /proc.
#pragma once

#include <sys/types.h>

#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace bench_e2e {

// Whether LibreOffice and the built components in `programs` are there, and the installation
// in the current platform root made with `programs`' tessaline-install. False, with the reason
// on standard error, when the benchmark cannot run.
bool PrepareInstallation(const std::filesystem::path& programs);

// `count` copies of the .doc/.docx files of `examples`, taken in turn (sorted by name), in
// `folder` as "<n>-<name>" so that no two PDFs share a name; its sub/ comes along (documents
// link into it). Returns the copies' paths in order.
std::vector<std::string> CopyExamplesInTurn(const std::filesystem::path& examples,
                                            const std::filesystem::path& folder, int count);
// How many distinct example documents the copies cycle through.
std::size_t ExampleCount(const std::filesystem::path& examples);

// VmRSS of one process in KiB; 0 when it is gone.
long ResidentKb(pid_t pid);
// The processes (other than ourselves) whose command line, or environment when asked, contains
// `marker`.
std::vector<pid_t> ProcessesNaming(const std::string& marker, bool environmentToo);
// The sum of their resident memory in KiB.
long ResidentSumKb(const std::vector<pid_t>& pids);

using Environment = std::vector<std::pair<std::string, std::string>>;

struct Measured {
    int exitCode = -1;  // 128 + the signal for one that was killed
    double seconds = 0;
    long largestProcessKb = 0;  // ru_maxrss of the child and everything it reaped
    long peakSumKb = 0;         // the most the run's processes held at one time, when sampled
};
// Runs argv with the extra environment, its output into `log`, calling `sample` with the
// child's pid about every `every` milliseconds while it runs (on a thread of its own).
Measured RunSampled(const std::vector<std::string>& argv, const Environment& environment,
                    const std::filesystem::path& log, const std::function<void(pid_t)>& sample,
                    int every = 100);

// PDF files in a folder.
int CountPdfs(const std::filesystem::path& folder);

}  // namespace bench_e2e
