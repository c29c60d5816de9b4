// Extraction throughput and memory: a spool file of 200 pages of 1 MiB each is cut into page
// files by the extractor in a fresh process. Prints MB/s and the peak resident memory above the
// process's starting point, which must stay under three times the largest page.
//
//   spool_extract_bench [PAGES] [PAGE_BYTES]
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"
#include "platform/registry.h"
#include "spool/SpoolExtractor.h"
#include "tests/support/emf_writer.h"
#include "tests/support/process_resources.h"
#include "tests/support/spool_writer.h"

namespace fs = std::filesystem;
using testing_support::Bytes;

namespace {

void AppendU32(std::ofstream& out, std::uint32_t value) {
    char bytes[4] = {static_cast<char>(value), static_cast<char>(value >> 8),
                     static_cast<char>(value >> 16), static_cast<char>(value >> 24)};
    out.write(bytes, 4);
}

// Streams the spool file to disk so the writer's own memory stays small.
void WriteSpoolFile(const fs::path& path, int pages, size_t pageBytes) {
    testing_support::SamplePageOptions options;
    options.targetBytes = pageBytes;
    const Bytes page = testing_support::MakeSamplePage(options);
    const Bytes header = testing_support::SpoolWriter(u"Benchmark.docx").Finish();
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(header.data()),
              static_cast<std::streamsize>(header.size()));
    for (int i = 0; i < pages; ++i) {
        AppendU32(out, 12);
        AppendU32(out, static_cast<std::uint32_t>(page.size()));
        out.write(reinterpret_cast<const char*>(page.data()),
                  static_cast<std::streamsize>(page.size()));
    }
}

// The measured part, in a process of its own.
int Extract() {
    const long baseline = testing_support::CurrentResidentKb();
    auto start = std::chrono::steady_clock::now();
    int result = ExtractSpoolPages();
    double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%d %.6f %ld %ld\n", result, seconds, baseline, testing_support::PeakResidentKb());
    return 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--extract") {
        return Extract();
    }
    const int pages = argc > 1 ? std::atoi(argv[1]) : 200;
    const size_t pageBytes = argc > 2 ? std::strtoul(argv[2], nullptr, 10) : 1u << 20;

    char pattern[] = "/tmp/spool-bench-XXXXXX";
    const fs::path work = ::mkdtemp(pattern);
    setenv("TESSALINE_ROOT", (work / "root").c_str(), 1);
    setenv("TMPDIR", (work / "tmp").c_str(), 1);
    unsetenv("windir");
    fs::create_directories(work / "tmp");
    const fs::path spoolFolder = work / "root/windows/system32/spool/PRINTERS";
    fs::create_directories(spoolFolder);
    const fs::path spool = spoolFolder / "00001.SPL";
    WriteSpoolFile(spool, pages, pageBytes);
    const double megabytes = static_cast<double>(fs::file_size(spool)) / (1024.0 * 1024.0);

    // The spooler keeps the job's file open, so the extractor's first listing leaves it.
    HANDLE holder = CreateFileA(spool.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    char self[4096] = {};
    ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    std::string command = std::string(self, static_cast<size_t>(length)) + " --extract";
    FILE* child = popen(command.c_str(), "r");
    int result = -1;
    double seconds = 0;
    long baseline = 0;
    long peak = 0;
    if (child == nullptr ||
        std::fscanf(child, "%d %lf %ld %ld", &result, &seconds, &baseline, &peak) != 4) {
        std::fprintf(stderr, "the extraction process failed\n");
        return 1;
    }
    pclose(child);
    CloseHandle(holder);

    const long growthKb = peak - baseline;
    const long limitKb = static_cast<long>(3 * pageBytes / 1024);
    std::printf("spool file:   %d pages of %zu bytes (%.1f MB)\n", pages, pageBytes, megabytes);
    std::printf("result:       %d\n", result);
    std::printf("throughput:   %.1f MB/s (%.3f s)\n", megabytes / seconds, seconds);
    std::printf("peak RSS:     %ld KiB (%ld KiB above the start; limit %ld KiB)\n", peak, growthKb,
                limitKb);
    fs::remove_all(work);
    if (result != 0 || growthKb >= limitKb) {
        std::printf("FAILED: %s\n", result != 0 ? "no pages extracted" : "memory above the limit");
        return 1;
    }
    return 0;
}
