// The built library as the spooler side uses it: loaded with dlopen in a process of its own,
// ConvertFile called while the program holds the pipe.
#include <dlfcn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <future>
#include <string>

#include <gtest/gtest.h>

#include "common/ini/Ini.h"
#include "platform/named_pipe.h"
#include "tests/spool/spool_fixture.h"
#include "tests/support/emf_writer.h"
#include "tests/support/run_process.h"
#include "tests/support/spool_writer.h"

using testing_support::Bytes;
using testing_support::SpoolWriter;
namespace fs = std::filesystem;

namespace {

class RavelinLibrary : public spool_testing::SpoolFixture {};

}  // namespace

TEST_F(RavelinLibrary, ExportsConvertFileAndNothingElseOfOurs) {
    void* library = dlopen(RAVELIN_LIBRARY_PATH, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library, nullptr) << dlerror();
    EXPECT_NE(dlsym(library, "ConvertFile"), nullptr);
    EXPECT_EQ(dlsym(library, "_Z17ExtractSpoolPagesv"), nullptr);
    EXPECT_EQ(dlsym(library, "GetPrivateProfileStringA"), nullptr);
    dlclose(library);
}

TEST_F(RavelinLibrary, ConvertFileInAnotherProcessHandsThePagesOverAndSignalsOnce) {
    SpoolWriter writer(u"Report.docx");
    writer.AddDevmode();
    for (int i = 0; i < 4; ++i) {
        testing_support::SamplePageOptions options;
        options.text = u"Page " + std::u16string(1, static_cast<char16_t>(u'1' + i));
        writer.AddPage(testing_support::MakeSamplePage(options), static_cast<size_t>(i) * 7);
        writer.AddRecord(5, Bytes(8));
    }
    writer.AddEveryKnownType(testing_support::MakeSamplePage());
    const Bytes spool = writer.Finish();
    AddSpoolFile("00012.SPL", spool);  // held by this process, as the spooler holds it

    const char* pipeName = "\\\\.\\pipe\\tessalinepipe";
    HANDLE pipe = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX, 0, 1, 0, 0, 1000, nullptr);
    ASSERT_NE(pipe, INVALID_HANDLE_VALUE);

    testing_support::ProcessOptions options;
    options.environment["windir"] = (platform_.Root() / "windows").string();
    auto runner = std::async(std::launch::async, [&] {
        return testing_support::RunProcess({CONVERT_FILE_RUNNER_PATH, RAVELIN_LIBRARY_PATH},
                                           options);
    });
    ASSERT_TRUE(ConnectNamedPipeWithTimeout(pipe, 30000)) << "no signal from ConvertFile";
    CloseHandle(pipe);
    // A second pipe of the same name catches any further connection attempt.
    HANDLE again = CreateNamedPipeA(pipeName, PIPE_ACCESS_DUPLEX, 0, 1, 0, 0, 1000, nullptr);
    auto result = runner.get();
    ASSERT_EQ(result.exitCode, 0) << result.errors;
    EXPECT_EQ(result.output, "0\n");
    EXPECT_FALSE(ConnectNamedPipeWithTimeout(again, 200)) << "the program was signalled twice";
    CloseHandle(again);

    const auto parsed = testing_support::ReadSpool(spool);
    ASSERT_EQ(parsed.pages.size(), 5u);
    const std::vector<std::string> listed = ListedPages();
    ASSERT_EQ(listed.size(), parsed.pages.size());
    for (size_t i = 0; i < listed.size(); ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "1_%06zu.emf", i);
        EXPECT_EQ(listed[i], tempDir_ + name);
        EXPECT_EQ(testing_support::ReadBytes(listed[i]), parsed.pages[i].emf) << listed[i];
    }
    CIni handOff = HandOff();
    EXPECT_EQ(handOff.GetInt("Setting", "EMFCount", -1), 5);
    EXPECT_EQ(CurrentDoc(), "Report.docx");
    EXPECT_EQ(Inifile(), HandOffPath());
    EXPECT_TRUE(std::filesystem::exists(spoolFolder_ / "00012.SPL"))
        << "the held spool file was not deleted";
}

TEST_F(RavelinLibrary, WithoutAFolderOfTheUserAloneNothingIsWrittenAnywhereOrSignalled) {
    AddSpoolFile("00001.SPL", SpoolWriter().AddPage(testing_support::MakeSamplePage()).Finish());
    const fs::path workingFolder = platform_.Work() / "cwd";
    fs::create_directory(workingFolder);
    auto expectRefused = [&](const std::string& why, const fs::path& tmpdir) {
        HANDLE pipe = CreateNamedPipeA("\\\\.\\pipe\\tessalinepipe", PIPE_ACCESS_DUPLEX, 0, 1, 0, 0,
                                       1000, nullptr);
        ASSERT_NE(pipe, INVALID_HANDLE_VALUE);
        testing_support::ProcessOptions options;
        options.environment["windir"] = (platform_.Root() / "windows").string();
        options.environment["TMPDIR"] = tmpdir.string();
        options.workingDirectory = workingFolder.string();
        auto result =
            testing_support::RunProcess({CONVERT_FILE_RUNNER_PATH, RAVELIN_LIBRARY_PATH}, options);
        EXPECT_FALSE(ConnectNamedPipeWithTimeout(pipe, 200)) << why << ": signalled";
        CloseHandle(pipe);
        EXPECT_EQ(result.output, "-1\n") << why;
        EXPECT_NE(result.errors.find("no pages were written"), std::string::npos) << result.errors;
        EXPECT_EQ(Inifile(), std::nullopt) << why;
        for (const fs::path& folder : {platform_.Temp(), platform_.Work()}) {
            EXPECT_EQ(testing_support::ListFilesRecursively(folder), std::vector<std::string>{})
                << why << ": something was written in " << folder;
        }
    };

    // A link, even to a private folder of the user: it can be pointed elsewhere later.
    const fs::path elsewhere = platform_.Temp() / "elsewhere";
    ASSERT_TRUE(fs::create_directory(elsewhere));
    ASSERT_EQ(::chmod(elsewhere.c_str(), 0700), 0);
    fs::create_directory_symlink(elsewhere, fs::path(tempDir_).parent_path());
    expectRefused("link", platform_.Temp());

    // No TempDir, and the user's folder in a temporary folder anyone may write to is a link
    // someone planted: the pages do not fall back to the working folder.
    SetTempDir("");
    const fs::path shared = platform_.Work() / "shared";
    const fs::path own = shared / ("tessaline-" + std::to_string(::getuid()));
    fs::create_directories(shared);
    ASSERT_EQ(::chmod(shared.c_str(), 01777), 0);
    fs::create_directory_symlink(elsewhere, own);
    expectRefused("no temporary folder", shared);
}
