#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "tests/support/scoped_environment.h"

using testing_support::ScopedEnvVar;
using testing_support::TempFolder;

TEST(TempPath, IsTmpdirWithATrailingSeparator) {
    TempFolder folder;
    ScopedEnvVar tmp("TMPDIR", folder.Str());
    char buffer[512];
    DWORD n = GetTempPathA(sizeof buffer, buffer);
    EXPECT_EQ(std::string(buffer, n), folder.Str(true));
    ScopedEnvVar slash("TMPDIR", folder.Str(true));
    EXPECT_EQ(platform::TempPath(), folder.Str(true));
    EXPECT_EQ(GetTempPathA(3, buffer), folder.Str(true).size() + 1) << "size needed";
}

TEST(TempPath, WithoutTmpdirIsAPrivateFolderOfTheUser) {
    ScopedEnvVar tmp("TMPDIR", std::nullopt);
    const std::string expected = "/tmp/tessaline-" + std::to_string(::getuid()) + "/";
    std::string path = platform::TempPath();
    ASSERT_EQ(path, expected);
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_uid, ::getuid());
    EXPECT_EQ(info.st_mode & 0077, 0u);
}

TEST(TempPath, ATmpdirOthersMayUseGetsAPrivateFolderOfTheUserInside) {
    // Like /tmp: anyone may write there, and anyone may have made the name first.
    TempFolder shared;
    ASSERT_EQ(::chmod(shared.Str().c_str(), 01777), 0);
    ScopedEnvVar tmp("TMPDIR", shared.Str(true));
    const std::filesystem::path own = shared.Path() / ("tessaline-" + std::to_string(::getuid()));
    EXPECT_EQ(platform::TempPath(), own.string() + "/");
    EXPECT_EQ(testing_support::FileMode(own), 0700u);
    EXPECT_EQ(platform::TempPath(), own.string() + "/") << "the folder is used again";

    // The user's own folder found open (as earlier versions made DravelleOutput/) is closed.
    std::filesystem::remove(own);
    ASSERT_EQ(::mkdir(own.c_str(), 0755), 0);
    ASSERT_EQ(::chmod(own.c_str(), 0755), 0);
    EXPECT_EQ(platform::TempPath(), own.string() + "/");
    EXPECT_EQ(testing_support::FileMode(own), 0700u);

    // A link to a private folder may be pointed elsewhere later.
    std::filesystem::remove(own);
    TempFolder target;
    std::filesystem::create_directory_symlink(target.Path(), own);
    EXPECT_EQ(platform::TempPath(), "");
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    char buffer[512];
    EXPECT_EQ(GetTempPathA(sizeof buffer, buffer), 0u);
}

TEST(ModuleFileName, IsTheExecutableAndIsCutAsOnWindows) {
    std::string self = platform::ExecutablePath();
    ASSERT_FALSE(self.empty());
    EXPECT_EQ(self.substr(self.rfind('/') + 1), "platform_tests");
    char buffer[1024];
    DWORD n = GetModuleFileNameA(nullptr, buffer, sizeof buffer);
    EXPECT_EQ(std::string(buffer, n), self);

    char small[8];
    EXPECT_EQ(GetModuleFileNameA(nullptr, small, sizeof small), 8u);
    EXPECT_EQ(GetLastError(), ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(std::string(small), self.substr(0, 7));
}
