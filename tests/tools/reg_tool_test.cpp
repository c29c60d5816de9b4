// tessaline-reg, run as a separate program against the test's own platform root.
#include <unistd.h>

#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "platform/registry.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

using namespace std::string_literals;
using testing_support::ProcessResult;

namespace {

using Args = std::vector<std::string>;

constexpr const char* kSuccess = "The operation completed successfully.\n";
constexpr const char* kNotFound =
    "ERROR: The system was unable to find the specified registry key or value.\n";

ProcessResult Reg(Args args, const testing_support::ProcessOptions& options = {}) {
    args.insert(args.begin(), TESSALINE_REG_PATH);
    return testing_support::RunProcess(args, options);
}

void Succeeds(const Args& args) {
    ProcessResult result = Reg(args);
    EXPECT_EQ(result.exitCode, 0) << args[0] << ": " << result.errors;
    EXPECT_EQ(result.output, kSuccess);
}

// The value's type and bytes as the registry functions see them; type 0 when missing.
std::pair<DWORD, std::string> Stored(const char* path, const char* name) {
    HKEY key = nullptr;
    char data[256];
    DWORD size = sizeof data;
    DWORD type = 0;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, path, 0, KEY_READ, &key) != ERROR_SUCCESS) {
        return {0, ""};
    }
    LSTATUS status =
        RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
    RegCloseKey(key);
    return status == ERROR_SUCCESS ? std::pair{type, std::string(data, size)}
                                   : std::pair{DWORD{0}, ""s};
}

class RegTool : public ::testing::Test {
  protected:
    testing_support::ScopedPlatform platform_;
};

}  // namespace

TEST_F(RegTool, AddedValuesAreStoredAsWindowsStoresThemAndQueriedInRegFormat) {
    Succeeds({"add", "HKCU\\Software\\Tessaline", "/v", "TempDir", "/t", "REG_SZ", "/d",
              "/tmp/tessaline/DravelleOutput/", "/f"});
    EXPECT_EQ(Stored("Software\\Tessaline", "TempDir"),
              std::pair(REG_SZ, "/tmp/tessaline/DravelleOutput/\0"s));
    ProcessResult result = Reg({"query", "HKCU\\Software\\Tessaline", "/v", "tempdir"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.output,
              "\nHKEY_CURRENT_USER\\Software\\Tessaline\n"
              "    TempDir    REG_SZ    /tmp/tessaline/DravelleOutput/\n\n");

    // Other types, the default value, options in either form and case, roots by either name.
    Succeeds({"ADD", "hkey_current_user\\Software\\Tessaline\\", "-V", "Count", "-T", "reg_dword",
              "-D", "0x1F"});
    EXPECT_EQ(Stored("Software\\Tessaline", "Count"), std::pair(REG_DWORD, "\x1f\0\0\0"s));
    Succeeds(
        {"add", "HKCU\\Software\\Tessaline", "/v", "Big", "/t", "REG_DWORD", "/d", "4294967295"});
    Succeeds({"add", "HKCU\\Software\\Tessaline", "/ve", "/t", "REG_EXPAND_SZ", "/d", "%HOME%"});
    EXPECT_EQ(Stored("Software\\Tessaline", nullptr), std::pair(REG_EXPAND_SZ, "%HOME%\0"s));
    Succeeds({"add", "HKCU\\Software\\Tessaline\\Sub"});
    Succeeds({"add", "HKLM\\Software\\Tessaline", "/v", "Inifile", "/d", "machine"});

    EXPECT_EQ(Reg({"query", "HKEY_CURRENT_USER\\Software\\Tessaline"}).output,
              "\nHKEY_CURRENT_USER\\Software\\Tessaline\n"
              "    TempDir    REG_SZ    /tmp/tessaline/DravelleOutput/\n"
              "    Count    REG_DWORD    0x1f\n"
              "    Big    REG_DWORD    0xffffffff\n"
              "    (Default)    REG_EXPAND_SZ    %HOME%\n"
              "\n"
              "HKEY_CURRENT_USER\\Software\\Tessaline\\Sub\n");
    EXPECT_EQ(Reg({"query", "hklm\\software\\tessaline", "/v", "Inifile"}).output,
              "\nHKEY_LOCAL_MACHINE\\software\\tessaline\n    Inifile    REG_SZ    machine\n\n");
}

TEST_F(RegTool, DeleteRemovesOneValueOrTheWholeKeyAndMissingOnesExitWithOne) {
    auto missing = [](const Args& args) {
        ProcessResult result = Reg(args);
        EXPECT_EQ(result.exitCode, 1) << args[0] << " " << args.back();
        EXPECT_EQ(result.output, "");
        EXPECT_EQ(result.errors, kNotFound);
    };
    missing({"query", "HKCU\\Software\\Tessaline"});
    missing({"delete", "HKCU\\Software\\Tessaline", "/f"});
    Succeeds({"add", "HKCU\\Software\\Tessaline", "/v", "TempDir", "/d", "/t/"});
    Succeeds({"add", "HKCU\\Software\\Tessaline", "/v", "Inifile", "/d", "/t/config.ini"});
    Succeeds({"add", "HKCU\\Software\\Tessaline\\Deep\\Deeper", "/ve", "/d", "x"});
    missing({"query", "HKCU\\Software\\Tessaline", "/ve"});
    missing({"query", "HKLM\\Software\\Tessaline", "/v", "TempDir"});

    Succeeds({"delete", "HKCU\\Software\\Tessaline", "/v", "INIFILE", "/f"});
    EXPECT_EQ(Stored("Software\\Tessaline", "Inifile").first, 0u);
    EXPECT_EQ(Stored("Software\\Tessaline", "TempDir").first, REG_SZ);
    missing({"delete", "HKCU\\Software\\Tessaline", "/v", "Inifile"});
    missing({"query", "HKCU\\Software\\Tessaline", "/v", "Inifile"});

    Succeeds({"delete", "HKCU\\Software\\Tessaline\\Deep\\Deeper", "/ve"});
    EXPECT_EQ(Stored("Software\\Tessaline\\Deep\\Deeper", "").first, 0u);
    Succeeds({"delete", "HKCU\\Software\\Tessaline", "/f"});
    missing({"query", "HKCU\\Software\\Tessaline\\Deep"});
    EXPECT_EQ(Reg({"query", "HKCU\\Software"}).output, "\nHKEY_CURRENT_USER\\Software\n");
    EXPECT_EQ(Reg({"delete", "HKCU", "/f"}).exitCode, 1) << "a root cannot be deleted";
}

TEST_F(RegTool, WrongCommandLinesExitWithTwoAndShowTheUsage) {
    for (const Args& args : std::vector<Args>{
             {},
             {"list", "HKCU\\Software"},
             {"query"},
             {"query", "HKCR\\Software"},
             {"query", "Software\\Tessaline"},
             {"query", "HKCU\\Software", "/d", "data"},
             {"query", "HKCU\\Software", "/v"},
             {"add", "HKCU\\Software", "/v", "a", "/ve"},
             {"add", "HKCU\\Software", "/v", "a", "/t", "REG_BINARY", "/d", "00"},
             {"add", "HKCU\\Software", "/v", "a", "/t", "REG_DWORD", "/d", "12x"},
             {"add", "HKCU\\Software", "/v", "a", "/t", "REG_DWORD", "/d", "4294967296"},
             {"delete", "HKCU\\Software", "extra"}}) {
        ProcessResult result = Reg(args);
        EXPECT_EQ(result.exitCode, 2) << testing::PrintToString(args);
        EXPECT_NE(result.errors.find("Usage:"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(platform_.Root() / "registry")) << "nothing was changed";
}

TEST_F(RegTool, NothingIsWrittenOutsideThePlatformRoot) {
    testing_support::TempFolder base("reg-isolation");
    const std::filesystem::path root = base.Path() / "root" / "tessaline";
    testing_support::ProcessOptions options;
    options.workingDirectory = base.Str();
    options.environment = {{"TESSALINE_ROOT", root.string()}};
    for (const char* name : {"HOME", "TMPDIR", "XDG_DATA_HOME"}) {
        std::filesystem::create_directory(base.Path() / name);
        options.environment[name] = (base.Path() / name).string();
    }

    EXPECT_EQ(Reg({"query", "HKCU\\Software\\Tessaline"}, options).exitCode, 1);
    EXPECT_FALSE(std::filesystem::exists(root)) << "reading creates nothing";
    for (const Args& args :
         std::vector<Args>{{"add", "HKCU\\Software\\Tessaline", "/v", "TempDir", "/d", "/t/"},
                           {"add", "HKLM\\Software\\Tessaline", "/v", "Inifile", "/d", "/i"},
                           {"delete", "HKLM\\Software\\Tessaline", "/f"},
                           {"query", "HKCU\\Software\\Tessaline", "/v", "TempDir"}}) {
        EXPECT_EQ(Reg(args, options).exitCode, 0) << args[0];
    }
    EXPECT_EQ(testing_support::ListFilesRecursively(base.Path()), Args{"root/tessaline/registry"});
    EXPECT_TRUE(testing_support::ListFilesRecursively(platform_.Root()).empty());
}

TEST_F(RegTool, ManyProcessesAddingAtOnceLoseNoValue) {
    // All writers start before any is waited for; each runs the tool from a forked child so that
    // its output is captured and checked there.
    constexpr int kWriters = 32;
    std::vector<pid_t> writers;
    for (int i = 0; i < kWriters; ++i) {
        pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            const std::string name = "v" + std::to_string(i);
            ProcessResult result =
                Reg({"add", "HKCU\\Software\\Tessaline", "/v", name, "/d", name, "/f"});
            ::_exit(result.exitCode == 0 && result.output == kSuccess ? 0 : 1);
        }
        writers.push_back(pid);
    }
    for (pid_t pid : writers) {
        EXPECT_EQ(testing_support::WaitProcess(pid), 0);
    }
    for (int i = 0; i < kWriters; ++i) {
        const std::string name = "v" + std::to_string(i);
        EXPECT_EQ(Stored("Software\\Tessaline", name.c_str()), std::pair(REG_SZ, name + '\0'));
    }
}
