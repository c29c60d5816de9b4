// Opening a file or web address with the desktop's launcher: the argument as given, the caller
// never held up, nothing left behind.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "platform/shell.h"
#include "tests/support/fake_xdg_open.h"
#include "tests/support/scoped_environment.h"

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
    auto calls = launcher.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_TRUE(calls[0].released) << "ShellOpen waited for the launcher";
    EXPECT_EQ(calls[0].arguments, std::vector<std::string>{document});
    EXPECT_FALSE(std::filesystem::exists("/proc/" + std::to_string(calls[0].pid)))
        << "the launcher was left a zombie";

    ASSERT_TRUE(platform::ShellOpen("-n.pdf"));
    calls = launcher.TakeCalls();
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].arguments, std::vector<std::string>{"./-n.pdf"});
}

TEST(ShellOpen, FailsWhenThereIsNoLauncherOrNothingToOpen) {
    testing_support::TempFolder empty;
    testing_support::ScopedEnvVar path("PATH", empty.Str());
    EXPECT_FALSE(platform::ShellOpen("https://tessaline.example/"));

    FakeXdgOpen launcher;
    EXPECT_FALSE(platform::ShellOpen(""));
    EXPECT_TRUE(launcher.TakeCalls().empty());
}

}  // namespace
