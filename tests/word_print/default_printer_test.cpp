// Printing a PDF on the default printer: refused without a printer that can print, and through
// the real "Tessaline" driver, spooler service and Ravelin, one page EMF per PDF page, each
// carrying that page's payload.
#include <chrono>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "components/word/print/PayloadPages.h"
#include "components/word/print/PrintedDocument.h"
#include "contracts/Installation.h"
#include "platform/handle.h"
#include "platform/named_pipe.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "tests/support/emf_writer.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"
#include "tests/word_print/sample_pdfs.h"

namespace {

namespace fs = std::filesystem;
using word_print_test::SamplePage;

using tessaline::contracts::kHandOffPathValue;
using tessaline::contracts::kHandOffPipeName;
using tessaline::contracts::kOutputFolder;
using tessaline::contracts::kSettingsKey;
using tessaline::contracts::kTempDirValue;
using tessaline::contracts::kVirtualPrinter;
using tessaline::contracts::kVirtualPrinterDriver;
const std::string kService = TESSALINE_PROGRAM_DIR "/tessaline-spoold";

std::string RegistryValue(const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {};
    }
    char value[1024] = {};
    DWORD size = sizeof value;
    const LSTATUS status =
        RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::string(value) : std::string();
}

std::string ProfileValue(const std::string& file, const char* section, const std::string& key) {
    char value[1024] = {};
    GetPrivateProfileStringA(section, key.c_str(), "", value, sizeof value, file.c_str());
    return value;
}

class WordPrintDefaultPrinter : public ::testing::Test {
  protected:
    fs::path Source() const { return platform_.Work() / "document.pdf"; }

    void InstallVirtualPrinter() {
        platform::AddPrinter(kVirtualPrinter, kVirtualPrinterDriver);
        platform::MakeDefaultPrinter(kVirtualPrinter);
        platform::SetDriverService(kVirtualPrinterDriver, kService);
        const std::string tempDir = platform_.Temp().string() + "/" + kOutputFolder + "/";
        HKEY key = nullptr;
        RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE, nullptr, &key,
                        nullptr);
        RegSetValueExA(key, kTempDirValue, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(tempDir.c_str()),
                       static_cast<DWORD>(tempDir.size() + 1));
        RegCloseKey(key);
    }

    // Nothing of a refused job anywhere: not in the temporary folder, not at the spooler.
    void ExpectNoJobLeft() {
        EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Temp()),
                  std::vector<std::string>{});
        const fs::path spool = platform_.Root() / "spool";
        if (fs::exists(spool / "jobs")) {
            EXPECT_TRUE(fs::is_empty(spool / "jobs"));
        }
        const fs::path spoolFolder = platform::SpoolFolder();
        EXPECT_TRUE(!fs::exists(spoolFolder) || fs::is_empty(spoolFolder));
    }

    testing_support::ScopedPlatform platform_;
};

}  // namespace

TEST_F(WordPrintDefaultPrinter, WithoutAPrinterThatPrintsOrAPdfThatCanBePrintedNothingIsLeft) {
    word_print_test::WriteCairoPdf(Source(), {SamplePage{595.28, 841.89, "Hello", false}});
    std::string error;

    EXPECT_FALSE(word_print::PrintPdfToDefaultPrinter(Source().string(), "document.docx", &error));
    EXPECT_EQ(error, "there is no default printer");
    ExpectNoJobLeft();

    // A printer whose driver has no service would drop the job without a word.
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "Generic Text"));
    ASSERT_TRUE(platform::MakeDefaultPrinter("Office Laser"));
    EXPECT_FALSE(word_print::PrintPdfToDefaultPrinter(Source().string(), "document.docx", &error));
    EXPECT_NE(error.find("\"Office Laser\" has no service for its driver \"Generic Text\""),
              std::string::npos)
        << error;
    ExpectNoJobLeft();

    // A service that cannot be started.
    ASSERT_TRUE(platform::SetDriverService("Generic Text", (platform_.Work() / "none").string()));
    EXPECT_FALSE(word_print::PrintPdfToDefaultPrinter(Source().string(), "document.docx", &error));
    EXPECT_NE(error.find("refused the print job"), std::string::npos) << error;
    ExpectNoJobLeft();

    InstallVirtualPrinter();
    testing_support::WriteFile(platform_.Work() / "broken.pdf", "%PDF-1.4\nnot really\n");
    EXPECT_FALSE(word_print::PrintPdfToDefaultPrinter((platform_.Work() / "broken.pdf").string(),
                                                      "broken.docx", &error));
    EXPECT_NE(error.find("cannot read the PDF"), std::string::npos) << error;
    ExpectNoJobLeft();
}

TEST_F(WordPrintDefaultPrinter, EveryPageReachesRavelinAsAPageEmfCarryingThatPagesPayload) {
    word_print_test::WriteCairoPdf(Source(),
                                   {SamplePage{595.28, 841.89, "Cover page", true},
                                    SamplePage{841.89, 595.28, "Wide table page", true},
                                    SamplePage{419.53, 595.28, "Small last page", false}});
    InstallVirtualPrinter();

    std::string error;
    ASSERT_TRUE(word_print::PrintPdfToDefaultPrinter(Source().string(), "document.docx", &error))
        << error;
    // The spooler took the job file over.
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Temp()), std::vector<std::string>{});

    // The program's side of the hand-off: the pipe, created once PrintOut has returned.
    HANDLE pipe = CreateNamedPipeA(kHandOffPipeName, PIPE_ACCESS_DUPLEX, 0, 1, 0, 0, 1000, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
    const BOOL connected = ConnectNamedPipeWithTimeout(pipe, 60000);
    CloseHandle(pipe);
    ASSERT_TRUE(connected) << "Ravelin never signalled";

    const std::string handOff = RegistryValue(kHandOffPathValue);
    ASSERT_FALSE(handOff.empty());
    EXPECT_EQ(ProfileValue(handOff, "Setting", "EMFCount"), "3");

    word_print::PayloadPages pages;
    ASSERT_TRUE(pages.Open(Source().string(), &error)) << error;
    for (int n = 1; n <= 3; ++n) {
        SCOPED_TRACE("page " + std::to_string(n));
        const std::string emfPath = ProfileValue(handOff, "EMFFiles", "EMF" + std::to_string(n));
        ASSERT_TRUE(fs::exists(emfPath)) << emfPath;
        const testing_support::Bytes emf = testing_support::ReadBytes(emfPath);
        word_print::PayloadPage expected;
        ASSERT_TRUE(pages.MakePage(n - 1, &expected, &error)) << error;
        EXPECT_TRUE(testing_support::PagePayloadOf(emf) == expected.pdf)
            << "the EMF carries another payload";

        // The metafile's frame (hundredths of a millimetre) is the page.
        namespace header = testing_support::emf_header;
        EXPECT_NEAR(testing_support::ReadI32(emf, header::kFrame + 8),
                    expected.widthPoints / 72 * 2540, 2);
        EXPECT_NEAR(testing_support::ReadI32(emf, header::kFrame + 12),
                    expected.heightPoints / 72 * 2540, 2);
    }
    EXPECT_TRUE(ProfileValue(handOff, "EMFFiles", "EMF4").empty());

    // The spooler's worker releases and removes its spool file once Ravelin is done.
    const fs::path spoolFolder = platform::SpoolFolder();
    EXPECT_TRUE(testing_support::WaitUntil([&] { return fs::is_empty(spoolFolder); },
                                           std::chrono::seconds(60)))
        << "the spool file was left behind";
}
