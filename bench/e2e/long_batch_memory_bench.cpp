// Memory over a long batch: the example documents copied in turn to DOCUMENTS (default 500)
// and converted by one folvane-cli run keeping links and bookmarks, while the resident memory
// of folvane-cli and of each of its offices is sampled from /proc. Prints them at the batch's
// start (after its first document), at each quarter and at its end, the growth per document
// from the first quarter (once the offices have warmed up) to the end, the peaks, and how many
// office processes ran after the first document (more than the offices allowed means some were
// replaced; before it, a fresh profile's first start restarts its office once).
//
//   long_batch_memory_bench [DOCUMENTS [PROGRAM_FOLDER]]
//
// The TESSALINE_OFFICE_* settings of its environment reach folvane-cli. PROGRAM_FOLDER is as for
// batch_vs_office_bench.
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "bench/e2e/batch_processes.h"
#include "tests/support/scoped_environment.h"

namespace fs = std::filesystem;
using namespace bench_e2e;

namespace {

struct Sample {
    int converted = 0;
    long cliKb = 0;
    std::map<pid_t, long> officesKb;  // by office pid
    long OfficesKb() const {
        long sum = 0;
        for (const auto& [pid, kb] : officesKb) {
            sum += kb;
        }
        return sum;
    }
};

void PrintSample(const char* when, const Sample& sample) {
    std::printf("%-8s after %5d documents: offices %7.1f MiB (", when, sample.converted,
                sample.OfficesKb() / 1024.0);
    const char* separator = "";
    for (const auto& [pid, kb] : sample.officesKb) {
        std::printf("%s%d: %.1f", separator, static_cast<int>(pid), kb / 1024.0);
        separator = ", ";
    }
    std::printf(")  folvane-cli %6.1f MiB\n", sample.cliKb / 1024.0);
}

const char* Setting(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr && *value != '\0' ? value : "(default)";
}

}  // namespace

int main(int argc, char** argv) {
    const int wanted = std::max(1, argc > 1 ? std::atoi(argv[1]) : 500);
    const fs::path programs = argc > 2 ? argv[2] : TESSALINE_PROGRAM_DIR;
    const fs::path examples = fs::path(TESSALINE_SOURCE_DIR) / "examples";
    testing_support::ScopedPlatform platform;
    if (!PrepareInstallation(programs))
        return 2;
    const std::vector<std::string> paths =
        CopyExamplesInTurn(examples, platform.Work() / "documents", wanted);
    const int count = static_cast<int>(paths.size());
    std::printf(
        "%d documents (the %zu examples in turn); TESSALINE_OFFICE_MAX_DOCUMENTS %s, "
        "TESSALINE_OFFICE_MAX_MEMORY_MB %s\n",
        count, ExampleCount(examples), Setting("TESSALINE_OFFICE_MAX_DOCUMENTS"),
        Setting("TESSALINE_OFFICE_MAX_MEMORY_MB"));

    const fs::path out = platform.Work() / "pdf";
    fs::create_directories(out);
    std::vector<std::string> cli = {(programs / "folvane-cli").string(), "--keep-links",
                                    "--keep-bookmarks", "-o", out.string()};
    cli.insert(cli.end(), paths.begin(), paths.end());
    // The offices are the office processes whose profile lies in this root.
    const std::string officeMarker = (platform.Root() / "office-profile").string();
    std::mutex mutex;
    std::vector<Sample> samples;
    std::map<pid_t, std::pair<int, int>> officesSeen;  // from and to which document count
    const Measured run = RunSampled(
        cli, {}, platform.Work() / "folvane-cli.log",
        [&](pid_t cli) {
            Sample sample;
            sample.converted = CountPdfs(out);
            sample.cliKb = ResidentKb(cli);
            for (const pid_t office : ProcessesNaming(officeMarker, false)) {
                if (const long kb = ResidentKb(office); kb > 0) {
                    sample.officesKb[office] = kb;
                }
            }
            std::lock_guard<std::mutex> lock(mutex);
            for (const auto& [office, kb] : sample.officesKb) {
                if (sample.converted > 0) {
                    officesSeen.try_emplace(office, sample.converted, sample.converted)
                        .first->second.second = sample.converted;
                }
            }
            if (!sample.officesKb.empty()) {
                samples.push_back(std::move(sample));
            }
        },
        500);

    const int converted = CountPdfs(out);
    std::printf(
        "folvane-cli: %.1f s, exit %d, %d/%d PDFs, %zu office processes after the first "
        "document:",
        run.seconds, run.exitCode, converted, count, officesSeen.size());
    for (const auto& [office, span] : officesSeen) {
        std::printf(" %d (documents %d-%d)", static_cast<int>(office), span.first, span.second);
    }
    std::printf("\n");
    if (samples.empty()) {
        std::printf("no office was seen running\n");
        return 1;
    }
    // A row for the first sample past each mark (the first document, each quarter); the last
    // sample while the offices still ran is the end.
    const Sample* warm = nullptr;
    const char* marks[] = {"start", "1/4", "middle", "3/4"};
    for (int quarter = 0; quarter < 4; ++quarter) {
        const int wantedDone = std::max(1, count * quarter / 4);
        const auto at = std::find_if(samples.begin(), samples.end(),
                                     [&](const Sample& s) { return s.converted >= wantedDone; });
        if (at != samples.end()) {
            PrintSample(marks[quarter], *at);
            warm = quarter == 1 ? &*at : warm;
        }
    }
    // The end: the last sample with as many offices as most samples saw (at the very end they
    // are being ended, and a replacement has one fewer for a moment).
    std::map<std::size_t, int> officeCounts;
    for (const Sample& sample : samples) {
        ++officeCounts[sample.officesKb.size()];
    }
    const std::size_t usualOffices =
        std::max_element(officeCounts.begin(), officeCounts.end(),
                         [](const auto& a, const auto& b) { return a.second < b.second; })
            ->first;
    const Sample& last = *std::find_if(samples.rbegin(), samples.rend(), [&](const Sample& s) {
        return s.officesKb.size() == usualOffices;
    });
    PrintSample("end", last);
    const auto peak = std::max_element(
        samples.begin(), samples.end(),
        [](const Sample& a, const Sample& b) { return a.OfficesKb() < b.OfficesKb(); });
    std::printf("offices' peak %.1f MiB after %d documents; folvane-cli's peak %.1f MiB\n",
                peak->OfficesKb() / 1024.0, peak->converted,
                std::max_element(
                    samples.begin(), samples.end(),
                    [](const Sample& a, const Sample& b) {
                        return a.cliKb < b.cliKb;
                    })->cliKb /
                    1024.0);
    if (warm != nullptr && last.converted > warm->converted) {
        const double documents = last.converted - warm->converted;
        std::printf(
            "growth per document from 1/4 to the end: offices %+.1f KiB, folvane-cli "
            "%+.1f KiB\n",
            (last.OfficesKb() - warm->OfficesKb()) / documents,
            (last.cliKb - warm->cliKb) / documents);
    }
    if (run.exitCode != 0) {
        // The documents that failed, and the summary: the converted ones say where they went.
        std::istringstream log(testing_support::ReadFile(platform.Work() / "folvane-cli.log"));
        std::printf("folvane-cli's log, less the converted documents:\n");
        for (std::string line; std::getline(log, line);) {
            if (line.find(" -> ") == std::string::npos) {
                std::printf("%s\n", line.c_str());
            }
        }
    }
    return run.exitCode == 0 && converted == count ? 0 : 1;
}
