// The whole batch against LibreOffice alone: the example documents, repeated to at least 40,
// converted once by folvane-cli keeping links and bookmarks and once by LibreOffice's own
// `soffice --headless --convert-to pdf` exporting links and bookmarks, in the same run. Prints
// both wall times, their ratio (the target is at most 1.5), peak memory: the largest single
// process (getrusage of the reaped children) and the largest sum over the run's processes
// (sampled from /proc: folvane-cli, its office, the spooler's workers), and the PDFs' sizes
// against LibreOffice's, per document and in total (the target is at most 1.15 each).
//
//   batch_vs_office_bench [DOCUMENTS [PROGRAM_FOLDER]]   (at least 40; default 40)
//
// PROGRAM_FOLDER (default: this build's) is where folvane-cli and its components are: a copy of
// another build's, to compare two builds in turn.
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

#include "bench/e2e/batch_processes.h"
#include "tests/support/scoped_environment.h"

namespace fs = std::filesystem;

namespace {

using namespace bench_e2e;

constexpr char kOfficeFilter[] =
    R"(pdf:writer_pdf_Export:{"ExportBookmarks":{"type":"boolean","value":"true"}})";

// Runs argv with the extra environment, its output into `log`, and the most the processes that
// carry `marker` held at one time.
Measured Run(const std::vector<std::string>& argv, const Environment& environment,
             const fs::path& log, const std::string& marker) {
    long peakSumKb = 0;
    Measured measured = RunSampled(argv, environment, log, [&](pid_t) {
        peakSumKb = std::max(peakSumKb, ResidentSumKb(ProcessesNaming(marker, true)));
    });
    measured.peakSumKb = peakSumKb;
    return measured;
}

void Report(const char* name, const Measured& measured, int pdfs, int documents) {
    std::printf(
        "%-28s %8.2f s  exit %d  %d/%d PDFs  largest process %7.1f MiB  all processes "
        "%7.1f MiB\n",
        name, measured.seconds, measured.exitCode, pdfs, documents,
        measured.largestProcessKb / 1024.0, measured.peakSumKb / 1024.0);
}

constexpr double kSizeTarget = 1.15;

struct Sizes {
    std::uintmax_t ours = 0;
    std::uintmax_t theirs = 0;
    double Ratio() const { return theirs > 0 ? static_cast<double>(ours) / theirs : 0; }
};

std::uintmax_t SizeOr0(const fs::path& path) {
    std::error_code error;
    const std::uintmax_t size = fs::file_size(path, error);
    return error ? 0 : size;
}

// Both PDFs of every copy, summed per example document ("<n>-<name>" is a copy of <name>).
// Returns whether every document met the target.
bool ReportSizes(const std::vector<std::string>& paths, const fs::path& ours,
                 const fs::path& theirs) {
    std::map<std::string, Sizes> byDocument;
    Sizes total;
    for (const std::string& path : paths) {
        const std::string copy = fs::path(path).filename().string();
        const std::string pdf = fs::path(copy).stem().string() + ".pdf";
        Sizes& sizes = byDocument[copy.substr(copy.find('-') + 1)];
        const Sizes one{SizeOr0(ours / pdf), SizeOr0(theirs / pdf)};
        sizes.ours += one.ours;
        sizes.theirs += one.theirs;
        total.ours += one.ours;
        total.theirs += one.theirs;
    }
    bool met = true;
    for (const auto& [name, sizes] : byDocument) {
        met = met && sizes.Ratio() <= kSizeTarget;
        std::printf("size %-34s %10ju / %10ju bytes  ratio %.3f%s\n", name.c_str(), sizes.ours,
                    sizes.theirs, sizes.Ratio(), sizes.Ratio() <= kSizeTarget ? "" : "  (above)");
    }
    std::printf(
        "size ratio folvane-cli / soffice: %.3f in total (target at most %.2f for every "
        "document: %s)\n",
        total.Ratio(), kSizeTarget, met ? "met" : "NOT met");
    return met;
}

}  // namespace

int main(int argc, char** argv) {
    const int wanted = std::max(40, argc > 1 ? std::atoi(argv[1]) : 40);
    const fs::path programs = argc > 2 ? argv[2] : TESSALINE_PROGRAM_DIR;
    const fs::path examples = fs::path(TESSALINE_SOURCE_DIR) / "examples";
    // A private installation for folvane-cli, and the documents under names of their own so that
    // no two PDFs share a name.
    testing_support::ScopedPlatform platform;
    if (!PrepareInstallation(programs))
        return 2;
    const std::vector<std::string> paths =
        CopyExamplesInTurn(examples, platform.Work() / "documents", wanted);
    const int count = static_cast<int>(paths.size());
    std::printf("%d documents (the %zu examples in turn)\n", count, ExampleCount(examples));

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
    ReportSizes(paths, ours, theirs);
    if (batch.exitCode != 0) {
        std::printf("folvane-cli's log:\n%s\n",
                    testing_support::ReadFile(platform.Work() / "folvane-cli.log").c_str());
    }
    return batch.exitCode == 0 && CountPdfs(ours) == count ? 0 : 1;
}
