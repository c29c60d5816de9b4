// A long document is cut a page at a time: the memory the cut needs follows its largest page,
// not the document's size.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <functional>
#include <string>

#include <gtest/gtest.h>

#include "components/word/print/PrintedDocument.h"
#include "contracts/PrintJob.h"
#include "tests/support/process_resources.h"
#include "tests/support/scoped_environment.h"
#include "tests/word_print/sample_pdfs.h"

namespace {

namespace fs = std::filesystem;

// Runs `work` in a child process of its own, so its peak memory is its own and not whatever
// this process used before. Returns the child's growth of peak resident memory in KiB, or -1
// when `work` failed.
long PeakGrowthInChildKb(const std::function<bool()>& work) {
    int channel[2];
    if (::pipe(channel) != 0) {
        return -1;
    }
    const pid_t child = ::fork();
    if (child == 0) {
        ::close(channel[0]);
        const long before = testing_support::PeakResidentKb();
        const long growth = work() ? testing_support::PeakResidentKb() - before : -1;
        const bool sent = ::write(channel[1], &growth, sizeof growth) == sizeof growth;
        ::_exit(sent ? 0 : 1);
    }
    ::close(channel[1]);
    long growth = -1;
    if (::read(channel[0], &growth, sizeof growth) != sizeof growth) {
        growth = -1;
    }
    ::close(channel[0]);
    int status = 0;
    ::waitpid(child, &status, 0);
    return growth;
}

}  // namespace

TEST(WordPrintLargeDocument, FourHundredPagesAreCutInMemoryFollowingOnePageNotTheDocument) {
    testing_support::ScopedPlatform platform;
    const fs::path pdf = platform.Work() / "large.pdf";
    const fs::path job = platform.Work() / "large.job";
    constexpr int kPages = 400;
    constexpr int kPageBytes = 256 * 1024;
    // Written in a child too: qpdf holds the whole document in memory while it writes it.
    ASSERT_GE(PeakGrowthInChildKb([&] {
                  word_print_test::WriteLargePdf(pdf, kPages, kPageBytes);
                  return true;
              }),
              0);
    const auto pdfBytes = static_cast<long>(fs::file_size(pdf));
    ASSERT_GT(pdfBytes, long{kPages} * kPageBytes);

    std::string error;
    const long growthKb = PeakGrowthInChildKb([&] {
        return word_print::WritePrintJobFromPdf(pdf.string(), "large.docx", job.string(), &error);
    });
    ASSERT_GE(growthKb, 0) << "the job could not be written";

    tessaline::contracts::PrintJobReader reader;
    ASSERT_TRUE(reader.Open(job.string(), &error)) << error;
    EXPECT_EQ(reader.PageCount(), static_cast<std::uint32_t>(kPages));
    // Every page's picture travelled: the job is as large as the document.
    EXPECT_GT(static_cast<long>(fs::file_size(job)), pdfBytes);
    // A fifth of the document leaves room for a few pages at once, qpdf's objects and the
    // allocator's slack (about 9 MiB here), and is far below holding the document.
    EXPECT_LT(growthKb * 1024, pdfBytes / 5) << "peak memory grew by " << growthKb << " KiB for a "
                                             << pdfBytes / 1024 << " KiB document";
}
