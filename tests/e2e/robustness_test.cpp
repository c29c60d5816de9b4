// A batch of thirty documents of which some are bad: every good one converts, each bad one
// fails with a reason of its own on its line, and the batch leaves no process and no file
// behind outside the output folder and TempDir.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <chrono>
#include <map>
#include <optional>
#include <random>
#include <thread>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/process_scan.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

#ifdef E2E_TEST_DOCUMENTS
#include "tests/word/reference_office.h"
#endif

namespace e2e {
namespace {

using testing_support::ReadFile;
using testing_support::WriteFile;

// Small examples (one to three pages) the good documents are copies of.
const std::vector<std::string> kGoodSources = {
    "one-page-letter.doc",          "absolute-file-links.docx", "absolute-file-links.doc",
    "web-and-file-links.docx",      "web-and-file-links.doc",   "picture-and-shape-links.doc",
    "picture-and-shape-links.docx", "bookmark-links.docx"};

// Every file below the folders with its content, by full path.
std::map<std::string, std::string> Snapshot(const std::vector<fs::path>& folders) {
    std::map<std::string, std::string> files;
    for (const fs::path& folder : folders) {
        for (const std::string& file : testing_support::ListFilesRecursively(folder)) {
            const fs::path path = folder / file;
            files[path.string()] = fs::is_regular_file(path) ? ReadFile(path) : std::string();
        }
    }
    return files;
}

bool IsBelow(const std::string& path, const fs::path& folder) {
    const std::string prefix = folder.string() + "/";
    return path.rfind(prefix, 0) == 0;
}

// The lines of `text` that report on `document`: they begin with its path and ": ".
std::vector<std::string> LinesAbout(const std::string& text, const fs::path& document) {
    std::vector<std::string> lines;
    const std::string prefix = document.string() + ": ";
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        end = end == std::string::npos ? text.size() : end;
        const std::string line = text.substr(start, end - start);
        if (line.rfind(prefix, 0) == 0) {
            lines.push_back(line.substr(prefix.size()));
        }
        start = end + 1;
    }
    return lines;
}

class EndToEndRobustness : public PipelineTest {
  protected:
    void SetUpPipeline() override {
#ifndef E2E_TEST_DOCUMENTS
        GTEST_SKIP() << "the password-protected document is made by the tests' own office "
                        "(tests/word), which is not built here";
#endif
    }
};

TEST_F(EndToEndRobustness, BadDocumentsFailOnTheirOwnAndLeaveNothingBehind) {
    fs::path passwordDocument;
#ifdef E2E_TEST_DOCUMENTS
    {
        std::string error;
        ASSERT_TRUE(word_test::EnsureTestDocuments(E2E_TEST_DOCUMENTS, &error)) << error;
        // The tests' office stores it as .doc or .docx; either is a protected Word document.
        for (const auto& entry : fs::directory_iterator(E2E_TEST_DOCUMENTS)) {
            if (entry.path().stem() == "password") {
                passwordDocument = entry.path();
            }
        }
        ASSERT_FALSE(passwordDocument.empty()) << "no password document in " << E2E_TEST_DOCUMENTS;
    }
#endif
    testing_support::ScopedPlatform platform;
    ASSERT_TRUE(InstallPlatform());

    const fs::path batch = platform.Work() / "batch";
    const fs::path output = platform.Work() / "pdf";
    fs::create_directories(output);
    CopyExamples({}, batch);  // sub/, for the relative links

    std::vector<fs::path> good;
    for (int i = 0; i < 24; ++i) {
        const std::string& source = kGoodSources[i % kGoodSources.size()];
        char prefix[16];
        std::snprintf(prefix, sizeof prefix, "good-%02d-", i + 1);
        good.push_back(batch / (prefix + source));
        fs::copy_file(ExamplesFolder() / source, good.back());
    }
    const fs::path oddFolder = batch / "a folder's \"quoted\" name 季度 报告";
    fs::create_directories(oddFolder);
    good.push_back(oddFolder / "信函 letter 'draft'.doc");
    fs::copy_file(ExamplesFolder() / "one-page-letter.doc", good.back());

    std::map<fs::path, std::string> bad;  // document -> what is wrong with it
    const fs::path corrupt = batch / "corrupt.docx";
    const std::string docx = ReadFile(ExamplesFolder() / "web-and-file-links.docx");
    WriteFile(corrupt, docx.substr(0, docx.size() / 2));
    bad[corrupt] = "a .docx cut in half";
    const fs::path empty = batch / "empty.doc";
    WriteFile(empty, "");
    bad[empty] = "a zero-byte .doc";
    const fs::path noise = batch / "noise.doc";
    std::mt19937 random(4711);
    std::string bytes(48 * 1024, '\0');
    for (char& c : bytes) {
        c = static_cast<char>(random() & 0xFF);
    }
    WriteFile(noise, bytes);
    bad[noise] = "random bytes named .doc";
    const fs::path locked = batch / ("locked" + passwordDocument.extension().string());
    fs::copy_file(passwordDocument, locked);
    bad[locked] = "a password-protected document";
    const fs::path vanishing = batch / "vanishing.doc";
    fs::copy_file(ExamplesFolder() / "one-page-letter.doc", vanishing);
    bad[vanishing] = "a document deleted after it was added";

    // Bad documents among the good ones; the one to be deleted comes last.
    std::vector<fs::path> documents;
    const std::vector<fs::path> badInOrder = {corrupt, empty, noise, locked};
    for (std::size_t i = 0; i < good.size(); ++i) {
        documents.push_back(good[i]);
        if (i % 6 == 5 && i / 6 < badInOrder.size()) {
            documents.push_back(badInOrder[i / 6]);
        }
    }
    documents.push_back(vanishing);
    ASSERT_EQ(documents.size(), 30u);

    const std::map<std::string, std::string> before =
        Snapshot({platform.Work(), platform.Temp(), platform.Home()});

    // Output goes to files outside the platform's folders, read after the batch.
    testing_support::TempFolder capture("e2e-batch-output");
    std::vector<std::string> command = {
        "/bin/sh",
        "-c",
        "exec \"$0\" \"$@\" >'" + capture.Str() + "/out' 2>'" + capture.Str() + "/err'",
        CliPath().string(),
        "--keep-links",
        "--keep-bookmarks",
        "-o",
        output.string()};
    for (const fs::path& document : documents) {
        command.push_back(document.string());
    }
    testing_support::ProcessOptions options;
    options.workingDirectory = batch.string();
    const pid_t cli = testing_support::StartProcess(command, options);

    // The documents are all added before the first job starts; once the first PDF is there,
    // the last document goes away before the batch reaches it.
    bool deleted = false;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::minutes(4);
    while (!deleted && std::chrono::steady_clock::now() < giveUp) {
        if (!fs::is_empty(output)) {
            deleted = fs::remove(vanishing);
            break;
        }
        int status = 0;
        if (::waitpid(cli, &status, WNOHANG) == cli) {
            FAIL() << "folvane-cli ended before any PDF was written:\n"
                   << ReadFile(capture.Path() / "out") << ReadFile(capture.Path() / "err");
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    const int exitCode = testing_support::WaitProcess(cli);
    const std::string out = ReadFile(capture.Path() / "out");
    const std::string err = ReadFile(capture.Path() / "err");
    ASSERT_TRUE(deleted) << "no PDF appeared, so the document was not deleted:\n" << out << err;
    EXPECT_EQ(exitCode, 1) << out << err;

    int succeeded = 0;
    for (const fs::path& document : good) {
        SCOPED_TRACE(document.string());
        const std::vector<std::string> lines = LinesAbout(out, document);
        ASSERT_EQ(lines.size(), 1u) << out << err;
        const fs::path pdf = output / (document.stem().string() + ".pdf");
        EXPECT_NE(lines[0].find(" -> " + pdf.string()), std::string::npos) << lines[0];
        ASSERT_TRUE(fs::exists(pdf));
        EXPECT_EQ(QpdfCheckProblems(pdf), "");
        ++succeeded;
    }
    for (const auto& [document, what] : bad) {
        SCOPED_TRACE(what + ": " + document.string());
        const std::vector<std::string> lines = LinesAbout(out + err, document);
        ASSERT_EQ(lines.size(), 1u) << out << err;
        // "<failed>: <reason>": the reason says what went wrong with this document.
        EXPECT_EQ(lines[0].find(" -> "), std::string::npos) << lines[0];
        const std::size_t colon = lines[0].find(": ");
        ASSERT_NE(colon, std::string::npos) << "no reason: " << lines[0];
        EXPECT_FALSE(TrimBlanks(lines[0].substr(colon + 2)).empty()) << "no reason: " << lines[0];
        EXPECT_FALSE(fs::exists(output / (document.stem().string() + ".pdf")));
    }
    const std::string printed = TrimBlanks(out);
    const std::string summary = printed.substr(printed.find_last_of('\n') + 1);
    EXPECT_EQ(summary.rfind(std::to_string(succeeded) + "/30 ", 0), 0u)
        << "the summary should count " << succeeded << " of 30: " << summary;

    const std::vector<ProcessSeen> left = ProcessesLeft(
        {platform.Root().string(), platform.Temp().string(), platform.Home().string()},
        std::chrono::seconds(10));
    for (const ProcessSeen& process : left) {
        ADD_FAILURE() << "process " << process.pid << " is still running: " << process.commandLine;
    }

    // Nothing new or changed but PDFs in the output folder and files in TempDir.
    const fs::path tempDir = platform.Temp() / "DravelleOutput";
    const std::map<std::string, std::string> after =
        Snapshot({platform.Work(), platform.Temp(), platform.Home()});
    for (const auto& [path, content] : after) {
        if (IsBelow(path, output) || IsBelow(path, tempDir)) {
            continue;
        }
        const auto old = before.find(path);
        EXPECT_TRUE(old != before.end())
            << "new file outside the output folder and TempDir: " << path;
        EXPECT_TRUE(old == before.end() || old->second == content) << "changed: " << path;
    }
    for (const auto& [path, content] : before) {
        EXPECT_TRUE(after.count(path) || path == vanishing.string()) << "gone: " << path;
    }
}

}  // namespace
}  // namespace e2e
