// What the batches of one user share (the printer, the pipe, the hand-off and the page files),
// through the real pipeline: two folvane-cli runs at once give every PDF its own document's
// pages, and the user's default printer is back afterwards, also after a run was ended from
// outside.
#include <signal.h>

#include <chrono>
#include <thread>

#include <gtest/gtest.h>

#include "platform/spooler.h"
#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

constexpr char kUserPrinter[] = "Office Laser";  // the installer's default printer

class EndToEndSharedState : public PipelineTest {
  protected:
    void SetUpPipeline() override {
        ASSERT_TRUE(InstallPlatform());
        ASSERT_EQ(platform::DefaultPrinterName(), kUserPrinter);
    }

    // Each document's PDF in `output` has the pages and text of LibreOffice's own export.
    void ExpectOwnPages(const std::vector<std::string>& names, const fs::path& output) {
        for (const std::string& name : names) {
            SCOPED_TRACE(name);
            std::string error;
            const fs::path reference = ReferencePdf(name, &error);
            ASSERT_FALSE(reference.empty()) << error;
            const fs::path pdf = output / (fs::path(name).stem().string() + ".pdf");
            ASSERT_TRUE(fs::exists(pdf));
            EXPECT_EQ(PageTexts(pdf), PageTexts(reference));
        }
    }

    // Starts folvane-cli on `name` and waits until its batch has made the virtual printer the
    // default; the process id, or -1 when that did not happen in time.
    pid_t StartAndWaitForThePrinterSwitch(const std::string& name) {
        const fs::path document = CopyExamples({name}, platform_.Work() / "interrupted").front();
        const pid_t cli = testing_support::StartProcess(
            {CliPath().string(), "-o", (platform_.Work() / "interrupted-pdf").string(),
             document.string()});
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::minutes(2);
        while (platform::DefaultPrinterName() != "Tessaline") {
            if (std::chrono::steady_clock::now() > deadline) {
                ::kill(cli, SIGKILL);
                testing_support::WaitProcess(cli);
                return -1;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        }
        return cli;
    }

    testing_support::ScopedPlatform platform_;
};

TEST_F(EndToEndSharedState, TwoBatchesAtOnceGiveEveryPdfItsOwnDocument) {
    const std::vector<std::string> first = {"one-page-letter.doc", "toc-headings.docx",
                                            "ten-pages.doc", "web-and-file-links.docx"};
    const std::vector<std::string> second = {"chinese-report.docx", "heading-levels.doc",
                                             "tables-and-images.docx", "ten-pages.docx"};
    struct Batch {
        std::vector<std::string> names;
        fs::path output;
        testing_support::ProcessResult result;
    };
    Batch batches[] = {{first, platform_.Work() / "pdf-1", {}},
                       {second, platform_.Work() / "pdf-2", {}}};
    std::vector<std::thread> runs;
    for (int b = 0; b < 2; ++b) {
        Batch& batch = batches[b];
        const fs::path folder = platform_.Work() / ("documents-" + std::to_string(b + 1));
        std::vector<std::string> arguments = {"-o", batch.output.string()};
        for (const fs::path& copy : CopyExamples(batch.names, folder)) {
            arguments.push_back(copy.string());
        }
        runs.emplace_back(
            [&batch, arguments, folder] { batch.result = RunCli(arguments, folder); });
    }
    for (std::thread& run : runs) {
        run.join();
    }
    for (const Batch& batch : batches) {
        EXPECT_EQ(batch.result.exitCode, 0) << batch.result.output << batch.result.errors;
        ExpectOwnPages(batch.names, batch.output);
    }
    EXPECT_EQ(platform::DefaultPrinterName(), kUserPrinter);
}

TEST_F(EndToEndSharedState, TheUsersPrinterIsBackAfterARunWasEndedFromOutside) {
    for (const int signal : {SIGINT, SIGTERM}) {
        SCOPED_TRACE(signal);
        const pid_t cli = StartAndWaitForThePrinterSwitch("long-manual.docx");
        ASSERT_GT(cli, 0) << "the virtual printer never became the default";
        ::kill(cli, signal);
        EXPECT_EQ(testing_support::WaitProcess(cli), -1) << "it ends by its signal, as before";
        EXPECT_EQ(platform::DefaultPrinterName(), kUserPrinter);
    }

    // A run killed outright cannot put it back; the next run does, and converts its own pages.
    const pid_t cli = StartAndWaitForThePrinterSwitch("long-manual.docx");
    ASSERT_GT(cli, 0);
    ::kill(cli, SIGKILL);
    testing_support::WaitProcess(cli);
    const fs::path document =
        CopyExamples({"one-page-letter.doc"}, platform_.Work() / "next").front();
    const fs::path output = platform_.Work() / "next-pdf";
    const testing_support::ProcessResult next =
        RunCli({"-o", output.string(), document.string()}, document.parent_path());
    EXPECT_EQ(next.exitCode, 0) << next.output << next.errors;
    ExpectOwnPages({"one-page-letter.doc"}, output);
    EXPECT_EQ(platform::DefaultPrinterName(), kUserPrinter);
}

}  // namespace
}  // namespace e2e
