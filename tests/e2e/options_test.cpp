// The PDF options of the command line, read back with poppler's and qpdf's tools: the document
// information (Chinese text too), AES-256 encryption with both passwords, and the permissions.
#include <gtest/gtest.h>

#include <set>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/link_targets.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

constexpr char kDocument[] = "one-page-letter.doc";
constexpr char kOwnerPassword[] = "owner-Secret1";
constexpr char kUserPassword[] = "user-Secret2";

class EndToEndOptions : public PipelineTest {
  protected:
    void SetUpPipeline() override { ASSERT_TRUE(InstallPlatform()); }

    // Converts the letter with the options; the PDF's path, or empty after a failure.
    fs::path Convert(const std::vector<std::string>& options) {
        const fs::path document = CopyExamples({kDocument}, platform_.Work() / "documents").front();
        const fs::path output = platform_.Work() / "pdf";
        fs::create_directories(output);
        std::vector<std::string> arguments = options;
        arguments.insert(arguments.end(), {"-o", output.string(), document.string()});
        const testing_support::ProcessResult run = RunCli(arguments, document.parent_path());
        EXPECT_EQ(run.exitCode, 0) << run.output << run.errors;
        const fs::path pdf = output / (document.stem().string() + ".pdf");
        EXPECT_TRUE(fs::exists(pdf)) << run.output << run.errors;
        return fs::exists(pdf) ? pdf : fs::path();
    }

    std::string ShowEncryption(const fs::path& pdf, const std::string& password) {
        return testing_support::RunProcess(
                   {"/usr/bin/qpdf", "--show-encryption", "--password=" + password, pdf.string()})
            .output;
    }

    testing_support::ScopedPlatform platform_;
};

TEST_F(EndToEndOptions, InformationAndPasswordsAsSetWithPrintingAndCopyingRefused) {
    const std::string title = "Quarterly letter 季度报告";
    const std::string subject = "Links kept through printing";
    const std::string author = "Tessaline Tester 测试员";
    const std::string keywords = "letter, links, 链接";
    const fs::path pdf =
        Convert({"--keep-links", "--title", title, "--subject", subject, "--author", author,
                 "--keywords", keywords, "--owner-password", kOwnerPassword, "--user-password",
                 kUserPassword, "--no-print", "--no-copy"});
    ASSERT_FALSE(pdf.empty());

    EXPECT_NE(ReadPdfInfo(pdf).exitCode, 0) << "opened without a password";
    EXPECT_NE(ReadPdfInfo(pdf, "-upw", "not-the-password").exitCode, 0)
        << "opened with a wrong user password";
    EXPECT_NE(ReadPdfInfo(pdf, "-opw", "not-the-password").exitCode, 0)
        << "opened with a wrong owner password";

    const PdfInfo info = ReadPdfInfo(pdf, "-upw", kUserPassword);
    ASSERT_EQ(info.exitCode, 0);
    EXPECT_EQ(info.Field("Title"), title);
    EXPECT_EQ(info.Field("Subject"), subject);
    EXPECT_EQ(info.Field("Author"), author);
    EXPECT_EQ(info.Field("Keywords"), keywords);
    const std::string encrypted = info.Field("Encrypted");
    EXPECT_NE(encrypted.find("print:no"), std::string::npos) << encrypted;
    EXPECT_NE(encrypted.find("copy:no"), std::string::npos) << encrypted;
    EXPECT_NE(encrypted.find("change:yes"), std::string::npos) << encrypted;
    EXPECT_NE(encrypted.find("AES-256"), std::string::npos) << encrypted;
    EXPECT_EQ(ReadPdfInfo(pdf, "-opw", kOwnerPassword).exitCode, 0);

    const std::string asUser = ShowEncryption(pdf, kUserPassword);
    EXPECT_NE(asUser.find("Supplied password is user password"), std::string::npos) << asUser;
    EXPECT_NE(asUser.find("R = 6"), std::string::npos) << asUser;
    EXPECT_NE(asUser.find("file encryption method: AESv3"), std::string::npos) << asUser;
    EXPECT_NE(asUser.find("print high resolution: not allowed"), std::string::npos) << asUser;
    EXPECT_NE(asUser.find("extract for any purpose: not allowed"), std::string::npos) << asUser;
    EXPECT_NE(asUser.find("modify other: allowed"), std::string::npos) << asUser;
    const std::string asOwner = ShowEncryption(pdf, kOwnerPassword);
    EXPECT_NE(asOwner.find("Supplied password is owner password"), std::string::npos) << asOwner;
    EXPECT_EQ(QpdfCheckProblems(pdf, kUserPassword), "");

    // The encrypted file still has the letter's page and links.
    std::string error;
    const fs::path reference = ReferencePdf(kDocument, &error);
    ASSERT_FALSE(reference.empty()) << error;
    EXPECT_EQ(info.Field("Pages"), ReadPdfInfo(reference).Field("Pages"));
    std::set<std::string> ours;
    for (const PdfLink& link : ReadPdfFacts(pdf, kUserPassword).links) {
        ours.insert(ComparableTarget(link, pdf.parent_path(), platform_.Work() / "documents"));
    }
    std::set<std::string> expected;
    for (const PdfLink& link : ReadPdfFacts(reference).links) {
        expected.insert(ComparableTarget(link, reference.parent_path(), ReferenceDocumentFolder()));
    }
    EXPECT_EQ(ours, expected);
}

TEST_F(EndToEndOptions, ChangingRefusedWithoutPasswordsOpensFreely) {
    const std::string title = "Letter without passwords";
    const fs::path pdf = Convert({"--title", title, "--no-change"});
    ASSERT_FALSE(pdf.empty());
    const PdfInfo info = ReadPdfInfo(pdf);
    ASSERT_EQ(info.exitCode, 0) << "a PDF without passwords must open without one";
    EXPECT_EQ(info.Field("Title"), title);
    const std::string encrypted = info.Field("Encrypted");
    EXPECT_NE(encrypted.find("print:yes"), std::string::npos) << encrypted;
    EXPECT_NE(encrypted.find("copy:yes"), std::string::npos) << encrypted;
    EXPECT_NE(encrypted.find("change:no"), std::string::npos) << encrypted;
    const std::string encryption = ShowEncryption(pdf, "");
    // The empty password opens the file but is not the owner's: the restriction holds.
    EXPECT_NE(encryption.find("Supplied password is user password"), std::string::npos)
        << encryption;
    EXPECT_NE(encryption.find("modify other: not allowed"), std::string::npos) << encryption;
    EXPECT_NE(encryption.find("print high resolution: allowed"), std::string::npos) << encryption;
    EXPECT_EQ(QpdfCheckProblems(pdf), "");
}

TEST_F(EndToEndOptions, InformationAloneKeepsEveryPermission) {
    const std::string author = "作者 Author";
    const fs::path pdf = Convert({"--author", author});
    ASSERT_FALSE(pdf.empty());
    const PdfInfo info = ReadPdfInfo(pdf);
    ASSERT_EQ(info.exitCode, 0);
    EXPECT_EQ(info.Field("Author"), author);
    const std::string encrypted = info.Field("Encrypted");
    if (encrypted != "no") {
        EXPECT_NE(encrypted.find("print:yes copy:yes change:yes"), std::string::npos) << encrypted;
    }
    EXPECT_EQ(QpdfCheckProblems(pdf), "");
}

}  // namespace
}  // namespace e2e
