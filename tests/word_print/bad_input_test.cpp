// PDFs the print path must refuse: each gives a reason, and no job (nor half of one) is left,
// while a file already at the job's path stays as it was.
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/word/print/PrintedDocument.h"
#include "tests/support/process_resources.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"
#include "tests/word_print/sample_pdfs.h"

namespace {

namespace fs = std::filesystem;
using word_print_test::SamplePage;

struct BadPdf {
    std::string what;
    std::function<void(const fs::path&)> make;
    std::string reason;  // expected in the error
};

// Rewrites the PDF with every object at the top level, so one object's bytes can be found.
void Flatten(const fs::path& pdf) {
    const fs::path flat = pdf.string() + ".flat";
    {
        QPDF source;
        source.processFile(pdf.c_str());
        QPDFWriter writer(source, flat.c_str());
        writer.setObjectStreamMode(qpdf_o_disable);
        writer.write();
    }
    fs::rename(flat, pdf);
}

// Breaks the "obj" keyword of the indirect object `object` in the file.
void BreakObject(const fs::path& pdf, QPDFObjGen object) {
    std::string bytes = testing_support::ReadFile(pdf);
    const std::string head =
        "\n" + std::to_string(object.getObj()) + " " + std::to_string(object.getGen()) + " obj";
    const std::size_t at = bytes.find(head);
    ASSERT_NE(at, std::string::npos);
    bytes.replace(at + head.size() - 3, 3, "jbo");
    testing_support::WriteFile(pdf, bytes);
}

void TwoPages(const fs::path& pdf) {
    word_print_test::WriteCairoPdf(
        pdf, {SamplePage{595.28, 841.89, "One", true}, SamplePage{595.28, 841.89, "Two", false}});
}

void Encrypt(const fs::path& pdf, const std::string& userPassword) {
    const fs::path plain = pdf.string() + ".plain";
    TwoPages(plain);
    auto result = testing_support::RunProcess({testing_support::FindProgram("qpdf"), "--encrypt",
                                               userPassword, "owner", "256", "--", plain.string(),
                                               pdf.string()});
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    fs::remove(plain);
}

std::vector<BadPdf> BadPdfs() {
    return {
        {"a missing file", [](const fs::path&) {}, "cannot read the PDF"},
        {"a text file",
         [](const fs::path& pdf) { testing_support::WriteFile(pdf, "Dear reader,\n"); },
         "cannot read the PDF"},
        {"an empty file", [](const fs::path& pdf) { testing_support::WriteFile(pdf, ""); },
         "cannot read the PDF"},
        {"a PDF cut in half",
         [](const fs::path& pdf) {
             TwoPages(pdf);
             fs::resize_file(pdf, fs::file_size(pdf) / 2);
         },
         "cannot read the PDF"},
        {"a PDF that needs a password", [](const fs::path& pdf) { Encrypt(pdf, "secret"); },
         "encrypted"},
        {"an encrypted PDF without a user password", [](const fs::path& pdf) { Encrypt(pdf, ""); },
         "encrypted"},
        {"a PDF without pages",
         [](const fs::path& pdf) {
             QPDF empty;
             empty.emptyPDF();
             QPDFWriter writer(empty, pdf.c_str());
             writer.write();
         },
         "no pages"},
        {"a PDF whose second page's content is broken",
         [](const fs::path& pdf) {
             TwoPages(pdf);
             Flatten(pdf);
             QPDF source;
             source.processFile(pdf.c_str());
             const QPDFObjGen content =
                 QPDFObjectHandle(source.getAllPages().at(1)).getKey("/Contents").getObjGen();
             BreakObject(pdf, content);
         },
         "page 2"},
        {"a PDF whose font is broken",
         [](const fs::path& pdf) {
             TwoPages(pdf);
             Flatten(pdf);
             QPDF source;
             source.processFile(pdf.c_str());
             QPDFObjectHandle fonts =
                 QPDFObjectHandle(source.getAllPages().at(0)).getKey("/Resources").getKey("/Font");
             BreakObject(pdf, fonts.getKey(fonts.getKeys().begin()->c_str()).getObjGen());
         },
         "page 1"},
        {"a page larger than a PDF page may be",
         [](const fs::path& pdf) {
             TwoPages(pdf);
             word_print_test::EditPdf(pdf, [](QPDF& source) {
                 QPDFObjectHandle(source.getAllPages().at(1))
                     .replaceKey("/MediaBox", QPDFObjectHandle::parse("[0 0 20000 500]"));
             });
         },
         "page 2 measures 20000 x 500 points"},
        {"a page without a MediaBox",
         [](const fs::path& pdf) {
             TwoPages(pdf);
             word_print_test::EditPdf(pdf, [](QPDF& source) {
                 QPDFObjectHandle(source.getAllPages().at(0)).removeKey("/MediaBox");
             });
         },
         "page 1 has no valid MediaBox"},
    };
}

}  // namespace

TEST(WordPrintBadInput, EveryBadPdfIsRefusedWithItsReasonAndLeavesNoJob) {
    if (testing_support::FindProgram("qpdf").empty()) {
        GTEST_SKIP() << "skipped: qpdf is needed to encrypt the samples";
    }
    for (const BadPdf& bad : BadPdfs()) {
        SCOPED_TRACE(bad.what);
        testing_support::TempFolder sources;
        testing_support::TempFolder jobs;
        const fs::path pdf = sources.Path() / "document.pdf";
        bad.make(pdf);
        const fs::path job = jobs.Path() / "document.job";

        std::string error;
        EXPECT_FALSE(
            word_print::WritePrintJobFromPdf(pdf.string(), "document.docx", job.string(), &error));
        EXPECT_NE(error.find(bad.reason), std::string::npos) << error;
        EXPECT_TRUE(fs::is_empty(jobs.Path()));

        // A job already at that path survives a failed run untouched.
        testing_support::WriteFile(job, "an earlier job");
        EXPECT_FALSE(
            word_print::WritePrintJobFromPdf(pdf.string(), "document.docx", job.string(), &error));
        EXPECT_EQ(testing_support::ListFilesRecursively(jobs.Path()),
                  std::vector<std::string>{"document.job"});
        EXPECT_EQ(testing_support::ReadFile(job), "an earlier job");
    }
}

TEST(WordPrintBadInput, AJobThatCannotBeWrittenIsRefusedAndRemoved) {
    testing_support::TempFolder folder;
    const fs::path pdf = folder.Path() / "document.pdf";
    TwoPages(pdf);
    std::string error;
    EXPECT_FALSE(word_print::WritePrintJobFromPdf(
        pdf.string(), "document.docx", (folder.Path() / "missing" / "document.job").string(),
        &error));
    EXPECT_NE(error.find("cannot create the print job"), std::string::npos) << error;

    EXPECT_FALSE(word_print::WritePrintJobFromPdf(
        pdf.string(), std::string(70000, 'n'), (folder.Path() / "document.job").string(), &error));
    EXPECT_NE(error.find("document name"), std::string::npos) << error;

    // A disk that fills up after the first page.
    {
        testing_support::ScopedFileSizeLimit limit(fs::file_size(pdf) / 2);
        EXPECT_FALSE(word_print::WritePrintJobFromPdf(
            pdf.string(), "document.docx", (folder.Path() / "document.job").string(), &error));
    }
    EXPECT_NE(error.find("cannot write the print job"), std::string::npos) << error;
    EXPECT_EQ(testing_support::ListFilesRecursively(folder.Path()),
              std::vector<std::string>{"document.pdf"});
}
