// The print path on what it really receives: LibreOffice's own PDF export of the example
// documents (fonts subset once for the whole document, pictures, charts, CJK text, links). Every
// page keeps its text where it stood, and the payloads, with shared objects kept once, stay
// within 1.15 times the export.
#include <qpdf/QPDF.hh>

#include <cctype>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/word/print/PayloadPages.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"
#include "tests/word_print/merged_size.h"
#include "tests/word_print/sample_pdfs.h"

namespace {

namespace fs = std::filesystem;

class WordPrintOfficeExport : public ::testing::TestWithParam<const char*> {};

// LibreOffice's PDF export of an example document, with a profile of its own.
fs::path ExportPdf(const std::string& soffice, const testing_support::TempFolder& folder,
                   const std::string& document, std::string* error) {
    testing_support::ProcessOptions options;
    options.environment["HOME"] = folder.Str();
    options.environment["TMPDIR"] = folder.Str();
    const testing_support::ProcessResult result = testing_support::RunProcess(
        {soffice, "--headless", "--norestore",
         "-env:UserInstallation=file://" + (folder.Path() / "profile").string(), "--convert-to",
         "pdf", "--outdir", folder.Str(), TESSALINE_SOURCE_DIR "/examples/" + document},
        options);
    const fs::path pdf = folder.Path() / fs::path(document).replace_extension(".pdf");
    if (!fs::exists(pdf)) {
        *error = "LibreOffice made no PDF (exit " + std::to_string(result.exitCode) +
                 "): " + result.errors;
    }
    return pdf;
}

}  // namespace

TEST_P(WordPrintOfficeExport, EveryPageKeepsItsTextAndTheMergedPayloadsStaySmall) {
    const std::string soffice = testing_support::FindProgram("soffice");
    if (soffice.empty() || testing_support::FindProgram("pdftotext").empty() ||
        testing_support::FindProgram("qpdf").empty()) {
        GTEST_SKIP() << "skipped: LibreOffice (soffice), pdftotext and qpdf are needed";
    }
    testing_support::TempFolder folder("word-print-export");
    std::string error;
    const fs::path exported = ExportPdf(soffice, folder, GetParam(), &error);
    ASSERT_TRUE(error.empty()) << error;

    word_print::PayloadPages pages;
    ASSERT_TRUE(pages.Open(exported.string(), &error)) << error;
    ASSERT_GT(pages.PageCount(), 0u);
    word_print_test::MergedSize merged;
    word_print::PayloadPage page;
    const fs::path payload = folder.Path() / "payload.pdf";
    for (std::size_t i = 0; i < pages.PageCount(); ++i) {
        SCOPED_TRACE("page " + std::to_string(i + 1));
        ASSERT_TRUE(pages.MakePage(i, &page, &error)) << error;
        testing_support::WriteFile(payload, page.pdf);
        int exitCode = -1;
        const std::string check = word_print_test::QpdfCheck(payload, &exitCode);
        EXPECT_EQ(exitCode, 0) << check;
        EXPECT_EQ(word_print_test::PageText(payload),
                  word_print_test::PageText(exported, static_cast<int>(i) + 1));
        EXPECT_EQ(word_print_test::WordBoxes(payload, 1),
                  word_print_test::WordBoxes(exported, static_cast<int>(i) + 1));

        QPDF pdf;
        pdf.processMemoryFile("payload", page.pdf.data(), page.pdf.size());
        merged.AddPage(pdf.getAllPages().at(0));
    }
    EXPECT_LE(static_cast<double>(merged.Bytes()),
              1.15 * static_cast<double>(fs::file_size(exported)))
        << "export " << fs::file_size(exported) << " bytes";
}

INSTANTIATE_TEST_SUITE_P(Examples, WordPrintOfficeExport,
                         ::testing::Values("tables-and-images.docx", "chinese-report.docx",
                                           "long-manual.docx"),
                         [](const ::testing::TestParamInfo<const char*>& info) {
                             std::string name = fs::path(info.param).stem().string();
                             for (char& c : name) {
                                 c = std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
                             }
                             return name;
                         });
