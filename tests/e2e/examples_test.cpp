// Every example document converted by folvane-cli, keeping links and bookmarks, against
// LibreOffice's own export of the same document: the same pages with the same text, a link
// for every link with the same target over the same text, and the same outline.
#include <gtest/gtest.h>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_comparison.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

class EndToEndExamples : public PipelineTest, public testing::WithParamInterface<std::string> {};

TEST_P(EndToEndExamples, ConvertsLikeLibreOfficesOwnExport) {
    const std::string name = GetParam();
    std::string error;
    const fs::path reference = ReferencePdf(name, &error);
    ASSERT_FALSE(reference.empty()) << error;

    testing_support::ScopedPlatform platform;
    ASSERT_TRUE(InstallPlatform());
    const fs::path document = CopyExamples({name}, platform.Work() / "documents").front();
    const fs::path output = platform.Work() / "pdf";
    fs::create_directories(output);
    const testing_support::ProcessResult run =
        RunCli({"--keep-links", "--keep-bookmarks", "-o", output.string(), document.string()},
               document.parent_path());
    EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
    const fs::path pdf = output / (document.stem().string() + ".pdf");
    ASSERT_TRUE(fs::exists(pdf)) << run.output;
    EXPECT_NE(run.output.find(pdf.string()), std::string::npos)
        << "the job's line names no PDF: " << run.output;
    EXPECT_EQ(QpdfCheckProblems(pdf), "");

    ExpectLikeReferenceExport(pdf, reference, document, ReferenceDocumentFolder());
}

std::string TestName(const testing::TestParamInfo<std::string>& info) {
    std::string name = info.param;
    for (char& c : name) {
        c = std::isalnum(static_cast<unsigned char>(c)) != 0 ? c : '_';
    }
    return name;
}

INSTANTIATE_TEST_SUITE_P(Examples, EndToEndExamples, testing::ValuesIn(ExampleDocumentNames()),
                         TestName);

}  // namespace
}  // namespace e2e
