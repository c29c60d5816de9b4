// A batch long enough for its offices to be replaced on the way (the bound made small): every
// document converts, each PDF holds its own document's pages, and the program ends cleanly,
// also when a replacement is under way as it ends.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

class EndToEndOfficeReplacement : public PipelineTest {};

TEST_F(EndToEndOfficeReplacement, EveryDocumentConvertsAndTheProgramEndsCleanly) {
    testing_support::ScopedPlatform platform;
    ASSERT_TRUE(InstallPlatform());
    testing_support::ScopedEnvVar bound("TESSALINE_OFFICE_MAX_DOCUMENTS", "2");

    const std::vector<std::string> names = {"one-page-letter.doc", "toc-headings.docx",
                                            "chinese-report.docx", "ten-pages.doc"};
    const fs::path output = platform.Work() / "pdf";
    std::vector<std::string> arguments = {"--keep-links", "--keep-bookmarks", "-o",
                                          output.string()};
    // Each document three times, under names of their own, in one batch.
    for (int round = 1; round <= 3; ++round) {
        const fs::path folder = platform.Work() / ("round-" + std::to_string(round));
        for (const fs::path& copy : CopyExamples(names, folder)) {
            const fs::path renamed =
                folder / (std::to_string(round) + "-" + copy.filename().string());
            fs::rename(copy, renamed);
            arguments.push_back(renamed.string());
        }
    }
    const testing_support::ProcessResult run = RunCli(arguments, platform.Work());
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;

    for (const std::string& name : names) {
        std::string error;
        const fs::path reference = ReferencePdf(name, &error);
        ASSERT_FALSE(reference.empty()) << error;
        const std::vector<std::string> expected = PageTexts(reference);
        for (int round = 1; round <= 3; ++round) {
            const fs::path pdf =
                output / (std::to_string(round) + "-" + fs::path(name).stem().string() + ".pdf");
            SCOPED_TRACE(pdf.string());
            ASSERT_TRUE(fs::exists(pdf));
            EXPECT_EQ(PageTexts(pdf), expected);
        }
    }
}

}  // namespace
}  // namespace e2e
