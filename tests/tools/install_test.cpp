// tessaline-install, run as a separate program from a program folder of the test's own, against
// the test's own platform root and temporary folder.
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "contracts/Installation.h"
#include "platform/com.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

using namespace std::string_literals;
using testing_support::ProcessResult;
using testing_support::ReadFile;
namespace fs = std::filesystem;
namespace contracts = tessaline::contracts;

namespace {

using Printers = std::vector<platform::PrinterInfo>;

const platform::PrinterInfo kVirtual{"Tessaline", "Tessaline EMF Driver"};
const platform::PrinterInfo kOrdinary{"Office Laser", "Generic Text"};

// The value's type and bytes as the registry functions give them; type 0 when missing.
std::pair<DWORD, std::string> Stored(const std::string& path, const char* name) {
    HKEY key = nullptr;
    char data[512];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {0, ""};
    }
    LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::pair{type, std::string(data, size)}
                                   : std::pair{DWORD{0}, ""s};
}

bool KeyExists(const std::string& path) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(key);
    return true;
}

void SetString(const std::string& path, const char* name, const std::string& value) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                             static_cast<DWORD>(value.size() + 1)),
              ERROR_SUCCESS);
    RegCloseKey(key);
}

// The class a ProgID resolves to through the registry, or the failure.
std::pair<HRESULT, std::string> ClassOf(const char16_t* progId) {
    CLSID clsid{};
    HRESULT hr = CLSIDFromProgID(progId, &clsid);
    return {hr, SUCCEEDED(hr) ? platform::GuidToString(clsid) : ""};
}

std::string ClassKey(const CLSID& clsid) {
    return "Software\\Classes\\CLSID\\" + platform::GuidToString(clsid);
}

bool HasLine(const std::string& output, const std::string& line) {
    return ("\n" + output).find("\n" + line + "\n") != std::string::npos;
}

class Installer : public ::testing::Test {
  protected:
    void SetUp() override {
        // A program folder of the test's own, so which libraries sit beside the tool is known.
        programFolder_ = platform_.Work() / "program";
        fs::create_directories(programFolder_);
        tool_ = programFolder_ / "tessaline-install";
        fs::copy_file(TESSALINE_INSTALL_PATH, tool_);
    }

    ProcessResult Run(std::vector<std::string> args = {},
                      const testing_support::ProcessOptions& options = {}) {
        args.insert(args.begin(), tool_.string());
        return testing_support::RunProcess(args, options);
    }

    ProcessResult Succeeds(std::vector<std::string> args = {}) {
        ProcessResult result = Run(std::move(args));
        EXPECT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_EQ(result.errors, "");
        return result;
    }

    void AddLibrary(const char* name) {
        testing_support::WriteFile(programFolder_ / name, "not loaded by the installer");
    }

    std::string LibraryPath(const char* name) const { return (programFolder_ / name).string(); }

    std::string ExpectedTempDir() const { return platform_.Temp().string() + "/DravelleOutput/"; }

    testing_support::ScopedPlatform platform_;
    fs::path programFolder_;
    fs::path tool_;
};

}  // namespace

TEST_F(Installer, AFreshRootGetsBothPrintersTheOrdinaryDefaultTempDirAndNoMissingClasses) {
    ProcessResult result = Succeeds();

    EXPECT_EQ(platform::ListPrinters(), (Printers{kVirtual, kOrdinary}));
    EXPECT_EQ(platform::DefaultPrinterName(), "Office Laser");
    EXPECT_EQ(Stored("Software\\Tessaline", "TempDir"),
              std::pair(REG_SZ, ExpectedTempDir() + '\0'));
    EXPECT_EQ(platform::DriverService("Tessaline EMF Driver"),
              (programFolder_ / "tessaline-spoold").string())
        << "the virtual printer's jobs go to the service beside the installer";

    // Read back as the hand-off reads it: into an 80-byte buffer.
    HKEY key = nullptr;
    ASSERT_EQ(RegOpenKeyExA(HKEY_CURRENT_USER, "Software\\Tessaline\\", 0, KEY_READ, &key),
              ERROR_SUCCESS);
    char value[80] = {};
    DWORD size = sizeof value;
    EXPECT_EQ(
        RegQueryValueExA(key, "TempDir", nullptr, nullptr, reinterpret_cast<BYTE*>(value), &size),
        ERROR_SUCCESS);
    RegCloseKey(key);
    EXPECT_EQ(std::string(value), ExpectedTempDir());

    // No library beside the tool: neither class is registered, and each skip is told.
    EXPECT_EQ(ClassOf(u"Word.Application").first, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ClassOf(u"PDFCreatorPilot.PDFDocument4").first, REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(KeyExists(ClassKey(contracts::kWordApplicationClsid)));
    EXPECT_TRUE(
        HasLine(result.output, "registered printer Tessaline (driver Tessaline EMF Driver)"))
        << result.output;
    EXPECT_TRUE(HasLine(result.output, "made Office Laser the default printer")) << result.output;
    EXPECT_TRUE(HasLine(result.output,
                        "skipped Word.Application: libTessalineWord.so not in the program folder"))
        << result.output;
    EXPECT_TRUE(HasLine(
        result.output,
        "skipped PDFCreatorPilot.PDFDocument4: libTessalinePdfEngine.so not in the program folder"))
        << result.output;
}

TEST_F(Installer, AnExistingDefaultPrinterIsKept) {
    // One the user had before installing.
    ASSERT_TRUE(platform::AddPrinter("Desk Jet", "PCL 6"));
    ASSERT_TRUE(platform::MakeDefaultPrinter("Desk Jet"));
    ProcessResult result = Succeeds();
    EXPECT_EQ(platform::ListPrinters(), (Printers{{"Desk Jet", "PCL 6"}, kVirtual, kOrdinary}));
    EXPECT_EQ(platform::DefaultPrinterName(), "Desk Jet");
    EXPECT_TRUE(HasLine(result.output, "kept the default printer Desk Jet")) << result.output;

    // One a conversion switched to, kept by a later run of the installer.
    ASSERT_TRUE(platform::MakeDefaultPrinter("Tessaline"));
    Succeeds();
    EXPECT_EQ(platform::DefaultPrinterName(), "Tessaline");

    // A default whose printer was deleted is no default: the ordinary printer takes its place.
    ASSERT_TRUE(platform::MakeDefaultPrinter("Desk Jet"));
    ASSERT_TRUE(platform::DeletePrinter("Desk Jet"));
    Succeeds();
    EXPECT_EQ(platform::DefaultPrinterName(), "Office Laser");
}

TEST_F(Installer, ClassesWhoseLibraryIsInTheProgramFolderAreRegisteredTheOthersSkipped) {
    AddLibrary(contracts::kPdfEngineLibrary);
    ProcessResult result = Succeeds();

    EXPECT_EQ(ClassOf(u"PDFCreatorPilot.PDFDocument4"),
              std::pair(S_OK, platform::GuidToString(contracts::kPdfDocumentClsid)));
    EXPECT_EQ(Stored(ClassKey(contracts::kPdfDocumentClsid) + "\\InprocServer32", ""),
              std::pair(REG_SZ, LibraryPath(contracts::kPdfEngineLibrary) + '\0'));
    EXPECT_EQ(ClassOf(u"Word.Application").first, REGDB_E_CLASSNOTREG);
    EXPECT_TRUE(HasLine(result.output,
                        "skipped Word.Application: libTessalineWord.so not in the program folder"))
        << result.output;

    // A folder of that name is not a library.
    fs::create_directory(programFolder_ / contracts::kWordLibrary);
    Succeeds();
    EXPECT_EQ(ClassOf(u"Word.Application").first, REGDB_E_CLASSNOTREG);
    fs::remove(programFolder_ / contracts::kWordLibrary);

    AddLibrary(contracts::kWordLibrary);
    Succeeds();
    EXPECT_EQ(ClassOf(u"Word.Application"),
              std::pair(S_OK, platform::GuidToString(contracts::kWordApplicationClsid)));
    EXPECT_EQ(Stored(ClassKey(contracts::kWordApplicationClsid) + "\\InprocServer32", ""),
              std::pair(REG_SZ, LibraryPath(contracts::kWordLibrary) + '\0'));
    EXPECT_NE(platform::GuidToString(contracts::kWordApplicationClsid),
              platform::GuidToString(contracts::kPdfDocumentClsid));
}

TEST_F(Installer, RunningItAgainLeavesTheSameState) {
    AddLibrary(contracts::kWordLibrary);
    AddLibrary(contracts::kPdfEngineLibrary);
    Succeeds();
    const std::vector<std::string> files = testing_support::ListFilesRecursively(platform_.Root());
    const std::string registry = ReadFile(platform_.Root() / "registry");
    const std::string printers = ReadFile(platform_.Root() / "printers.ini");
    ASSERT_FALSE(registry.empty());
    ASSERT_FALSE(printers.empty());

    ProcessResult again = Succeeds();
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Root()), files);
    EXPECT_EQ(ReadFile(platform_.Root() / "registry"), registry);
    EXPECT_EQ(ReadFile(platform_.Root() / "printers.ini"), printers);
    EXPECT_TRUE(HasLine(again.output, "printer Tessaline already registered")) << again.output;
    EXPECT_TRUE(HasLine(again.output, "kept the default printer Office Laser")) << again.output;
}

TEST_F(Installer, TheVirtualPrinterGetsItsDriverAndAUsersOrdinaryPrinterIsLeftAlone) {
    ASSERT_TRUE(platform::AddPrinter("tessaline", "Some Other Driver"));
    ASSERT_TRUE(platform::AddPrinter("Office Laser", "PostScript"));
    Succeeds();
    EXPECT_EQ(platform::ListPrinters(),
              (Printers{{"tessaline", "Tessaline EMF Driver"}, {"Office Laser", "PostScript"}}));

    // Uninstalling takes the virtual printer (its driver is the installer's now), not the user's.
    Succeeds({"--uninstall"});
    EXPECT_EQ(platform::ListPrinters(), (Printers{{"Office Laser", "PostScript"}}));
}

TEST_F(Installer, UninstallAfterAFreshInstallLeavesNoPrinterNoDefaultAndNoSettingsKey) {
    AddLibrary(contracts::kWordLibrary);
    AddLibrary(contracts::kPdfEngineLibrary);
    Succeeds();
    ProcessResult result = Succeeds({"--uninstall"});

    EXPECT_EQ(platform::ListPrinters(), Printers{});
    EXPECT_EQ(platform::DefaultPrinterName(), "");
    EXPECT_EQ(platform::DriverService("Tessaline EMF Driver"), std::nullopt);
    EXPECT_FALSE(KeyExists("Software\\Tessaline"));
    EXPECT_EQ(ClassOf(u"Word.Application").first, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ClassOf(u"PDFCreatorPilot.PDFDocument4").first, REGDB_E_CLASSNOTREG);
    EXPECT_FALSE(KeyExists(ClassKey(contracts::kWordApplicationClsid)));
    EXPECT_FALSE(KeyExists(ClassKey(contracts::kPdfDocumentClsid)));
    EXPECT_TRUE(HasLine(result.output, "removed printer Tessaline")) << result.output;
    EXPECT_TRUE(HasLine(result.output, "unregistered Word.Application")) << result.output;

    // Nothing left to take away is no failure.
    result = Succeeds({"--uninstall"});
    EXPECT_TRUE(HasLine(result.output, "printer Tessaline was not registered")) << result.output;
    EXPECT_TRUE(HasLine(result.output, "Word.Application was not registered")) << result.output;
}

TEST_F(Installer, UninstallTakesAwayOnlyWhatTheInstallerAdded) {
    // The user's own printer, default, settings and classes, there before the installer.
    ASSERT_TRUE(platform::AddPrinter("Desk Jet", "PCL 6"));
    ASSERT_TRUE(platform::MakeDefaultPrinter("Desk Jet"));
    SetString("Software\\Tessaline", "Inifile", "/home/user/config.ini");
    SetString("Software\\Other", "Keep", "yes");
    const CLSID userClass = {0x11111111, 0x2222, 0x3333, {4, 4, 5, 5, 5, 5, 5, 5}};
    ASSERT_EQ(platform::RegisterComClass("My.Thing", userClass, "/opt/lib/libthing.so"), S_OK);
    AddLibrary(contracts::kWordLibrary);
    AddLibrary(contracts::kPdfEngineLibrary);
    Succeeds();
    ASSERT_EQ(platform::ListPrinters().size(), 3u);
    ASSERT_EQ(ClassOf(u"Word.Application").first, S_OK);

    // Another class now answers to one of the installer's ProgIDs: it is not the installer's.
    ASSERT_EQ(platform::RegisterComClass("PDFCreatorPilot.PDFDocument4", userClass, ""), S_OK);

    Succeeds({"--uninstall"});
    EXPECT_EQ(platform::ListPrinters(), (Printers{{"Desk Jet", "PCL 6"}}));
    EXPECT_EQ(platform::DefaultPrinterName(), "Desk Jet");
    EXPECT_EQ(Stored("Software\\Tessaline", "TempDir").first, 0u);
    EXPECT_EQ(Stored("Software\\Tessaline", "Inifile"),
              std::pair(REG_SZ, "/home/user/config.ini\0"s));
    EXPECT_EQ(Stored("Software\\Other", "Keep"), std::pair(REG_SZ, "yes\0"s));
    EXPECT_EQ(ClassOf(u"My.Thing"), std::pair(S_OK, platform::GuidToString(userClass)));
    EXPECT_EQ(Stored(ClassKey(userClass) + "\\InprocServer32", ""),
              std::pair(REG_SZ, "/opt/lib/libthing.so\0"s));
    EXPECT_EQ(ClassOf(u"Word.Application").first, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(ClassOf(u"PDFCreatorPilot.PDFDocument4"),
              std::pair(S_OK, platform::GuidToString(userClass)));
    EXPECT_FALSE(KeyExists(ClassKey(contracts::kPdfDocumentClsid)));
}

TEST_F(Installer, ATempDirTooLongForTheHandOffFailsBeforeWritingAnything) {
    // TempDir is TMPDIR + "/DravelleOutput/" (16 bytes); the hand-off file's path adds
    // "config.ini" (10 bytes) and its terminator, and must stay under 80 bytes.
    const std::string base = platform_.Temp().string() + "/";
    auto temporaryFolderOfLength = [&](std::size_t length) {
        std::string folder = base + std::string(length - base.size(), 'x');
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all);  // used as it is only when private
        return folder;
    };
    constexpr std::size_t kLongestFitting = 80 - 1 - 10 - 16 - 1;
    if (base.size() + 1 > kLongestFitting) {
        GTEST_SKIP() << "the temporary folder " << base << " leaves no room to test the limit";
    }

    testing_support::ProcessOptions tooLong;
    tooLong.environment["TMPDIR"] = temporaryFolderOfLength(kLongestFitting + 1);
    ProcessResult result = Run({}, tooLong);
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_EQ(result.output, "");
    EXPECT_NE(result.errors.find("TempDir"), std::string::npos) << result.errors;
    EXPECT_NE(result.errors.find("80 bytes"), std::string::npos) << result.errors;
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Root()), std::vector<std::string>{});
    EXPECT_EQ(platform::ListPrinters(), Printers{});

    // One byte less fits: the hand-off file's path then takes 79 bytes.
    testing_support::ProcessOptions fits;
    const std::string folder = temporaryFolderOfLength(kLongestFitting);
    fits.environment["TMPDIR"] = folder;
    result = Run({}, fits);
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    const std::string tempDir = folder + "/DravelleOutput/";
    EXPECT_EQ(tempDir.size() + std::string("config.ini").size() + 1, 79u);
    EXPECT_EQ(Stored("Software\\Tessaline", "TempDir"), std::pair(REG_SZ, tempDir + '\0'));
}

TEST_F(Installer, TempDirIsTheUsersAlone) {
    // A link where TempDir goes may be pointed elsewhere later: reported, and nothing written.
    const fs::path tempDir = ExpectedTempDir();
    const fs::path elsewhere = platform_.Work() / "elsewhere";
    fs::create_directory(elsewhere);
    fs::permissions(elsewhere, fs::perms::owner_all);
    fs::create_directory_symlink(elsewhere, platform_.Temp() / "DravelleOutput");
    ProcessResult result = Run();
    EXPECT_EQ(result.exitCode, 1);
    EXPECT_NE(result.errors.find(ExpectedTempDir()), std::string::npos) << result.errors;
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Root()), std::vector<std::string>{});

    // The user's own folder there, open as earlier versions made it, is closed to others.
    fs::remove(platform_.Temp() / "DravelleOutput");
    fs::create_directory(tempDir);
    fs::permissions(tempDir, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                 fs::perms::others_read | fs::perms::others_exec);
    result = Run();
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(testing_support::FileMode(tempDir), 0700u);

    // A temporary folder anyone may write to, like /tmp, gets a private folder of the user.
    const fs::path shared = platform_.Work() / "shared";
    fs::create_directory(shared);
    fs::permissions(shared, fs::perms::all | fs::perms::sticky_bit);
    testing_support::ProcessOptions options;
    options.environment["TMPDIR"] = shared.string();
    result = Run({}, options);
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    const fs::path own = shared / ("tessaline-" + std::to_string(::getuid()));
    EXPECT_EQ(Stored("Software\\Tessaline", "TempDir"),
              std::pair(REG_SZ, own.string() + "/DravelleOutput/" + '\0'));
    EXPECT_EQ(testing_support::FileMode(own), 0700u);
    EXPECT_EQ(testing_support::FileMode(own / "DravelleOutput"), 0700u);
}

TEST_F(Installer, UsageErrorsExitWithTwoAndHelpPrintsTheUsage) {
    for (const std::vector<std::string>& args : std::vector<std::vector<std::string>>{
             {"--bogus"}, {"uninstall"}, {"--uninstall", "--uninstall"}, {"--uninstall", "x"}}) {
        ProcessResult result = Run(args);
        EXPECT_EQ(result.exitCode, 2) << args.back();
        EXPECT_EQ(result.output, "");
        EXPECT_NE(result.errors.find("Usage: tessaline-install"), std::string::npos)
            << result.errors;
    }
    ProcessResult help = Succeeds({"--help"});
    EXPECT_EQ(help.output.rfind("Usage: tessaline-install", 0), 0u) << help.output;
    EXPECT_NE(help.output.find("--uninstall"), std::string::npos);
    // Neither installed nor uninstalled anything.
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Root()), std::vector<std::string>{});
}
