// Opening a file or web address with the desktop's launcher: the argument as given, the caller
// never held up, nothing left behind.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "platform/shell.h"
#include "tests/support/fake_xdg_open.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"

using testing_support::FakeXdgOpen;

namespace {

TEST(ShellOpen, HandsOverOneArgumentAsWrittenWithoutWaitingAndReapsTheLauncher) {
    FakeXdgOpen launcher;
    // Held until ShellOpen has returned: a caller that waited for the launcher would see it give
    // up.
    launcher.Hold();
    const std::string document = "/home/user/Quarterly report $(date); 'v2' & \"final\".pdf";
    ASSERT_TRUE(platform::ShellOpen(document));
    launcher.Release();
    auto call = launcher.NextCall();
    ASSERT_TRUE(call.has_value());
    EXPECT_TRUE(call->released) << "ShellOpen waited for the launcher";
    EXPECT_EQ(call->arguments, std::vector<std::string>{document});
    const std::string process = "/proc/" + std::to_string(call->pid);
    EXPECT_TRUE(testing_support::WaitUntil([&] { return !std::filesystem::exists(process); },
                                           std::chrono::seconds(60)))
        << "the launcher was left a zombie";

    ASSERT_TRUE(platform::ShellOpen("-n.pdf"));
    call = launcher.NextCall();
    ASSERT_TRUE(call.has_value());
    EXPECT_EQ(call->arguments, std::vector<std::string>{"./-n.pdf"});
}

TEST(ShellOpen, FailsWhenThereIsNoLauncherOrNothingToOpen) {
    testing_support::TempFolder empty;
    testing_support::ScopedEnvVar path("PATH", empty.Str());
    EXPECT_FALSE(platform::ShellOpen("https://tessaline.example/"));

    FakeXdgOpen launcher;
    EXPECT_FALSE(platform::ShellOpen(""));
}

}  // namespace
