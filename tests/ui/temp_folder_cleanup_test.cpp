// The window's clean-up of the page files' folder when it closes.
#include "ui/TempFolderCleanup.h"

#include <filesystem>

#include <gtest/gtest.h>

#include "convert/SharedStateLock.h"
#include "platform/paths.h"
#include "tests/support/scoped_environment.h"

namespace {

namespace fs = std::filesystem;
using testing_support::WriteFile;

TEST(TempFolderCleanup, TheFolderGoesOnlyWhenNoBatchHoldsItsPagesAndLinksAreNotFollowed) {
    testing_support::ScopedPlatform platform;
    const fs::path folder = platform::TempPath() + "DravelleOutput";
    fs::create_directories(folder / "sub");
    WriteFile(folder / "1_000000.emf", "page");
    WriteFile(folder / "sub" / "config.ini", "[Setting]");
    // A link inside leads to a file of the user's that must survive.
    WriteFile(platform.Work() / "keep.txt", "mine");
    fs::create_directory_symlink(platform.Work(), folder / "link");

    {
        CSharedStateLock batch(nullptr);  // a batch of this window, printing
        ASSERT_TRUE(batch.Acquire({}, {}));
        EXPECT_FALSE(DeleteHandOffFolderWhenNoBatchRuns());
        EXPECT_TRUE(fs::exists(folder / "1_000000.emf"));
    }
    EXPECT_TRUE(DeleteHandOffFolderWhenNoBatchRuns());
    EXPECT_FALSE(fs::exists(folder));
    EXPECT_TRUE(fs::exists(platform.Work() / "keep.txt"));
    EXPECT_FALSE(DeleteFolderTree("")) << "an empty path deletes nothing";
}

}  // namespace
