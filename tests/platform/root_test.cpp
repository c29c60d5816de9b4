#include "platform/root.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include "tests/support/scoped_environment.h"

using testing_support::ScopedEnvVar;
using testing_support::TempFolder;

TEST(PlatformRoot, ComesFromTessalineRootThenXdgDataHomeThenHome) {
    TempFolder folder;
    ScopedEnvVar home("HOME", folder.Str());
    ScopedEnvVar xdg("XDG_DATA_HOME", std::nullopt);
    ScopedEnvVar root("TESSALINE_ROOT", std::nullopt);
    EXPECT_EQ(platform::PlatformRoot(), folder.Path() / ".local/share/tessaline");
    {
        ScopedEnvVar empty("TESSALINE_ROOT", "");
        EXPECT_EQ(platform::PlatformRoot(), folder.Path() / ".local/share/tessaline")
            << "an empty variable counts as unset";
    }
    ScopedEnvVar data("XDG_DATA_HOME", (folder.Path() / "data").string());
    EXPECT_EQ(platform::PlatformRoot(), folder.Path() / "data/tessaline");
    ScopedEnvVar set("TESSALINE_ROOT", (folder.Path() / "custom").string());
    EXPECT_EQ(platform::PlatformRoot(), folder.Path() / "custom");
}

TEST(PlatformRoot, IsCreatedPrivateOnlyWhenAskedFor) {
    TempFolder folder;
    auto wanted = folder.Path() / "a/b/root";
    ScopedEnvVar root("TESSALINE_ROOT", wanted.string());
    EXPECT_FALSE(std::filesystem::exists(wanted));
    std::filesystem::path made;
    ASSERT_TRUE(platform::EnsurePlatformRoot(&made));
    EXPECT_EQ(made, wanted);
    struct stat info {};
    ASSERT_EQ(::stat(wanted.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);

    testing_support::WriteFile(folder.Path() / "file", "x");
    ScopedEnvVar blocked("TESSALINE_ROOT", (folder.Path() / "file/root").string());
    EXPECT_FALSE(platform::EnsurePlatformRoot(nullptr));
}
