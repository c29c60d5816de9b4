#include <unistd.h>

#include <filesystem>
#include <string>

#include <gtest/gtest.h>

#include "platform/program_folder.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

using testing_support::RunProcess;

namespace {

std::string ExpectedFolder() {
    return std::filesystem::path(PRINT_PROGRAM_FOLDER_PATH).parent_path().string() + "/";
}

}  // namespace

TEST(ProgramFolder, BothFormsNameTheExecutablesFolderWhateverTheWorkingDirectory) {
    testing_support::TempFolder elsewhere;
    const std::string expected = ExpectedFolder() + "\n" + ExpectedFolder() + "\n";
    for (const std::string& cwd : {std::string("/"), elsewhere.Str(), ExpectedFolder()}) {
        testing_support::ProcessOptions options;
        options.workingDirectory = cwd;
        auto result = RunProcess({PRINT_PROGRAM_FOLDER_PATH}, options);
        ASSERT_EQ(result.exitCode, 0) << result.errors;
        EXPECT_EQ(result.output, expected) << "started from " << cwd;
    }
}

TEST(ProgramFolder, StartedThroughARelativePathOrALinkGivesTheRealFolder) {
    testing_support::TempFolder elsewhere;
    const std::string expected = ExpectedFolder() + "\n" + ExpectedFolder() + "\n";

    testing_support::ProcessOptions fromParent;
    fromParent.workingDirectory =
        std::filesystem::path(PRINT_PROGRAM_FOLDER_PATH).parent_path().parent_path().string();
    auto relative = RunProcess({"programdir/print_program_folder"}, fromParent);
    EXPECT_EQ(relative.output, expected);

    auto link = elsewhere.Path() / "linked";
    std::filesystem::create_symlink(PRINT_PROGRAM_FOLDER_PATH, link);
    auto linked = RunProcess({link.string()});
    EXPECT_EQ(linked.output, expected);
}

TEST(ProgramFolder, TheTestItselfSeesItsOwnFolder) {
    char buffer[kProgramFolderBufferSize];
    GetProgramFolder(buffer);
    std::string folder = buffer;
    ASSERT_FALSE(folder.empty());
    EXPECT_EQ(folder.back(), '/');
    EXPECT_TRUE(std::filesystem::exists(folder + "app_tests"));
    EXPECT_EQ(GetProgramFolder(), folder);
}
