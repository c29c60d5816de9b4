#include "platform/atomic_file.h"

#include <sys/stat.h>

#include <cerrno>
#include <chrono>
#include <future>
#include <memory>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "tests/support/process_resources.h"
#include "tests/support/scoped_environment.h"

using platform::EditResult;
using platform::FileReplacement;
using platform::UpdateFileAtomically;

TEST(AtomicFile, EditsSeeTheCurrentContentAndRejectedEditsWriteNothing) {
    testing_support::TempFolder folder;
    const std::string path = (folder.Path() / "f.txt").string();
    ASSERT_EQ(UpdateFileAtomically(path,
                                   [](std::optional<std::string>& content) {
                                       EXPECT_FALSE(content.has_value());
                                       content = "one";
                                       return EditResult::kChanged;
                                   }),
              ERROR_SUCCESS);
    EXPECT_EQ(UpdateFileAtomically(path,
                                   [](std::optional<std::string>& content) {
                                       EXPECT_EQ(content, "one");
                                       content = "garbage";
                                       return EditResult::kRejected;
                                   }),
              ERROR_INVALID_PARAMETER);
    EXPECT_EQ(testing_support::ReadFile(path), "one");

    const std::string fresh = (folder.Path() / "never.txt").string();
    EXPECT_EQ(UpdateFileAtomically(
                  fresh, [](std::optional<std::string>&) { return EditResult::kUnchanged; }),
              ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(fresh));
}

TEST(AtomicFile, ALinkToNothingFailsTheUpdateRatherThanBeingWrittenThrough) {
    testing_support::TempFolder folder;
    const std::filesystem::path target = folder.Path() / "target.txt";
    const std::filesystem::path link = folder.Path() / "link.txt";
    std::filesystem::create_symlink(target, link);
    // Run apart, so that an update that never ends fails the test instead of stalling it.
    auto done = std::make_shared<std::promise<DWORD>>();
    std::future<DWORD> result = done->get_future();
    std::thread([done, path = link.string()] {
        done->set_value(UpdateFileAtomically(path, [](std::optional<std::string>& content) {
            content = "through the link";
            return EditResult::kChanged;
        }));
    }).detach();
    ASSERT_EQ(result.wait_for(std::chrono::seconds(10)), std::future_status::ready)
        << "the update never ends";
    EXPECT_NE(result.get(), ERROR_SUCCESS);
    EXPECT_FALSE(std::filesystem::exists(target));
    EXPECT_TRUE(std::filesystem::is_symlink(link));
}

TEST(AtomicFile, ThreadsAppendingToOneFileLoseNoUpdate) {
    testing_support::TempFolder folder;
    const std::string path = (folder.Path() / "counter.txt").string();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&path] {
            for (int i = 0; i < 200; ++i) {
                UpdateFileAtomically(path, [](std::optional<std::string>& content) {
                    content = content.value_or("") + "x";
                    return EditResult::kChanged;
                });
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(testing_support::ReadFile(path), std::string(800, 'x'));
    EXPECT_EQ(testing_support::ListFilesRecursively(folder.Path()),
              std::vector<std::string>{"counter.txt"});
}

// The streamed replacement: a write that fails part way, or a replacement dropped before its
// commit, leaves the old file byte for byte and nothing beside it.
TEST(FileReplacement, AFailedOrDroppedReplacementLeavesTheOldFileWhole) {
    testing_support::TempFolder folder;
    const std::filesystem::path path = folder.Path() / "keep.pdf";
    const std::string before = std::string(300, 'o') + '\0' + "old";
    testing_support::WriteFile(path, before);
    {
        FileReplacement file;
        ASSERT_TRUE(file.Begin(path.string(), FileReplacement::Permissions::kLikeReplaced));
        testing_support::ScopedFileSizeLimit limit(100);
        EXPECT_FALSE(file.Write(std::string(4096, 'n')) && file.Commit());
        EXPECT_EQ(file.Error(), EFBIG);
    }
    {
        FileReplacement file;
        ASSERT_TRUE(file.Reserve(path.string(), FileReplacement::Permissions::kPrivate));
        testing_support::WriteFile(file.TemporaryPath(), "never committed");
    }
    EXPECT_EQ(testing_support::ReadFile(path), before);
    EXPECT_EQ(testing_support::ListFilesRecursively(folder.Path()),
              std::vector<std::string>{"keep.pdf"});
}

// The new file takes the replaced file's mode or the user's alone, and replaces a link at the
// path rather than writing through it.
TEST(FileReplacement, CommitsWithTheAskedModeAndNeverWritesThroughALink) {
    testing_support::TempFolder folder;
    const std::filesystem::path path = folder.Path() / "out.pdf";
    testing_support::WriteFile(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const auto modeOf = [](const std::filesystem::path& p) {
        struct stat info {};
        EXPECT_EQ(::lstat(p.c_str(), &info), 0);
        return info.st_mode & 07777;
    };
    for (const auto permissions :
         {FileReplacement::Permissions::kLikeReplaced, FileReplacement::Permissions::kPrivate}) {
        FileReplacement file;
        ASSERT_TRUE(file.Begin(path.string(), permissions));
        ASSERT_TRUE(file.Write("new"));
        ASSERT_TRUE(file.Commit());
        EXPECT_EQ(testing_support::ReadFile(path), "new");
        EXPECT_EQ(modeOf(path),
                  permissions == FileReplacement::Permissions::kPrivate ? 0600u : 0640u);
    }

    const std::filesystem::path target = folder.Path() / "target.txt";
    const std::filesystem::path link = folder.Path() / "link.pdf";
    testing_support::WriteFile(target, "target");
    std::filesystem::create_symlink(target, link);
    FileReplacement file;
    ASSERT_TRUE(file.Reserve(link.string(), FileReplacement::Permissions::kPrivate));
    testing_support::WriteFile(file.TemporaryPath(), "replaced");
    ASSERT_TRUE(file.Commit());
    EXPECT_FALSE(std::filesystem::is_symlink(link));
    EXPECT_EQ(testing_support::ReadFile(link), "replaced");
    EXPECT_EQ(testing_support::ReadFile(target), "target");
}
