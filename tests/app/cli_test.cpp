#include <filesystem>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "ui/StartupSettings.h"
#include "app/cli/CliOptions.h"
#include "platform/shell.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace {

namespace fs = std::filesystem;
using testing_support::RunProcess;
using testing_support::ScopedPlatform;
using testing_support::WriteFile;

const std::string kCli = TESSALINE_PROGRAM_DIR "/folvane-cli";

CliOptions Parse(const std::vector<std::string>& arguments) {
    CliOptions options;
    CliParseError error;
    EXPECT_TRUE(ParseCliOptions(arguments, &options, &error)) << error.key << " " << error.argument;
    return options;
}

TEST(CliOptions, EverySettingsOptionMarksTheJobsOptionsAsSet) {
    const std::vector<std::vector<std::string>> settings = {
        {"--keep-links"},    {"--keep-bookmarks"},      {"--no-print"},           {"--no-change"},
        {"--no-copy"},       {"--title", "T"},          {"--subject", "S"},       {"--author", "A"},
        {"--keywords", "K"}, {"--owner-password", "o"}, {"--user-password", "u"},
    };
    for (const auto& setting : settings) {
        EXPECT_TRUE(Parse(setting).pdfOptionsGiven) << setting[0];
    }
    for (const auto& other : std::vector<std::vector<std::string>>{
             {"--keep-existing"}, {"-o", "out"}, {"--lang", "English"}, {"a.doc"}}) {
        EXPECT_FALSE(Parse(other).pdfOptionsGiven) << other[0];
    }

    const CliOptions all =
        Parse({"--title", "标题", "--subject", "S", "--author", "A", "--keywords", "K",
               "--owner-password", "o", "--user-password", "u", "--no-print", "--no-change",
               "--no-copy", "--keep-links", "--keep-bookmarks", "x.docx"});
    CPdfOptions expected;
    expected.m_strTitle = "标题";
    expected.m_strSubject = "S";
    expected.m_strAuthor = "A";
    expected.m_strKeywords = "K";
    expected.m_strOwnerPassword = "o";
    expected.m_strUserPassword = "u";
    expected.m_bNoPrint = expected.m_bNoChange = expected.m_bNoCopy = 1;
    expected.m_bKeepLinks = expected.m_bKeepBookmarks = 1;
    EXPECT_EQ(all.pdf, expected);
    EXPECT_EQ(all.files, std::vector<std::string>{"x.docx"});
}

TEST(CliOptions, ValuesComeSeparateOrAttachedAndFilesMayLookLikeOptionsAfterTheEnd) {
    EXPECT_EQ(Parse({"-o", "out"}).outputFolder, "out");
    EXPECT_EQ(Parse({"-oout"}).outputFolder, "out");
    EXPECT_EQ(Parse({"--output=out dir"}).outputFolder, "out dir");
    EXPECT_EQ(Parse({"--title="}).pdf.m_strTitle, "");
    EXPECT_EQ(Parse({"--keep-existing", "a.doc"}).keepExisting, true);
    EXPECT_EQ(Parse({"a.doc", "--", "--keep-links", "-"}).files,
              (std::vector<std::string>{"a.doc", "--keep-links", "-"}));
    EXPECT_FALSE(Parse({"a.doc", "--", "--keep-links"}).pdfOptionsGiven);
}

TEST(CliOptions, UnknownOptionsAndMissingValuesAreUsageErrors) {
    for (const auto& [arguments, key, argument] :
         std::vector<std::tuple<std::vector<std::string>, std::string, std::string>>{
             {{"--bogus"}, "UnknownOption", "--bogus"},
             {{"--keep-links=1"}, "UnknownOption", "--keep-links=1"},
             {{"a.doc", "--title"}, "MissingValue", "--title"},
             {{"-o"}, "MissingValue", "-o"},
         }) {
        CliOptions options;
        CliParseError error;
        EXPECT_FALSE(ParseCliOptions(arguments, &options, &error)) << argument;
        EXPECT_EQ(error.key, key) << argument;
        EXPECT_EQ(error.argument, argument);
    }
}

TEST(StartupSettings, TheDefaultOutputFolderIsTessalineInTheDocumentsFolder) {
    ScopedPlatform platform;
    EXPECT_EQ(platform::PersonalDocumentsFolder(), platform.Home().string() + "/Documents");

    // xdg-user-dirs' own file moves it, relative to $HOME or absolute.
    fs::create_directories(platform.Home() / ".config");
    WriteFile(platform.Home() / ".config/user-dirs.dirs",
              "# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR=\"$HOME/Desktop\"\n"
              "XDG_DOCUMENTS_DIR=\"$HOME/Dokumente/\"\n");
    testing_support::ScopedEnvVar config("XDG_CONFIG_HOME", std::nullopt);
    EXPECT_EQ(platform::PersonalDocumentsFolder(), platform.Home().string() + "/Dokumente");
    // Pointing it at the home folder switches it off.
    WriteFile(platform.Home() / ".config/user-dirs.dirs", "XDG_DOCUMENTS_DIR=\"$HOME/\"\n");
    EXPECT_EQ(platform::PersonalDocumentsFolder(), platform.Home().string() + "/Documents");

    ASSERT_FALSE(fs::exists(ConfigFilePath())) << "the test program's folder has a Config.ini";
    EXPECT_EQ(StartupDestinationDir(), platform.Home().string() + "/Documents/Tessaline/");
}

TEST(FolvaneCli, AnswersHelpVersionAndUsageErrorsInTheChosenLanguage) {
    ScopedPlatform platform;
    auto help = RunProcess({kCli, "--help"});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("--keep-bookmarks"), std::string::npos) << help.output;

    auto version = RunProcess({kCli, "--version"});
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.output.rfind("folvane-cli ", 0), 0u) << version.output;

    auto unknown = RunProcess({kCli, "--lang", "Chinese", "--frobnicate", "a.doc"});
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_NE(unknown.errors.find("未知选项: --frobnicate"), std::string::npos) << unknown.errors;
    // One line and a pointer to the help, not the whole help.
    EXPECT_EQ(unknown.errors.find("--keep-bookmarks"), std::string::npos) << unknown.errors;
    EXPECT_NE(unknown.errors.find("folvane-cli --help"), std::string::npos) << unknown.errors;

    auto language = RunProcess({kCli, "--lang", "Klingon", "a.doc"});
    EXPECT_EQ(language.exitCode, 2);
    EXPECT_NE(language.errors.find(": Klingon"), std::string::npos) << language.errors;

    auto nothing = RunProcess({kCli, "--lang", "English"});
    EXPECT_EQ(nothing.exitCode, 2);
    EXPECT_EQ(nothing.errors,
              "folvane-cli: No documents were given.\n"
              "Try 'folvane-cli --help' for more information.\n");
}

TEST(CliOptions, PasswordsComeFromFilesOrStandardInput) {
    ScopedPlatform platform;
    WriteFile(platform.Work() / "owner.txt", "owner secret\r\nnext line\n");
    CliOptions options = Parse({"--owner-password-file", (platform.Work() / "owner.txt").string(),
                                "--user-password-file=-", "a.docx"});
    EXPECT_TRUE(options.pdfOptionsGiven);
    std::istringstream input("user secret\n");
    CliParseError error;
    ASSERT_TRUE(ReadPasswordFiles(&options, input, &error));
    EXPECT_EQ(options.pdf.m_strOwnerPassword, "owner secret");
    EXPECT_EQ(options.pdf.m_strUserPassword, "user secret");

    // Both from standard input: the owner's line first.
    options = Parse({"--owner-password-file", "-", "--user-password-file", "-"});
    std::istringstream both("first\nsecond\n");
    ASSERT_TRUE(ReadPasswordFiles(&options, both, &error));
    EXPECT_EQ(options.pdf.m_strOwnerPassword, "first");
    EXPECT_EQ(options.pdf.m_strUserPassword, "second");

    options = Parse({"--user-password-file", (platform.Work() / "missing").string()});
    EXPECT_FALSE(ReadPasswordFiles(&options, input, &error));
    EXPECT_EQ(error.key, "PasswordFile");
    EXPECT_EQ(error.argument, (platform.Work() / "missing").string());
}

TEST(FolvaneCli, RefusedDocumentsAreReportedAndFailTheRun) {
    ScopedPlatform platform;
    WriteFile(platform.Work() / "notes.txt", "text");
    auto run = RunProcess({kCli, "--lang", "English", "-o", platform.Work().string(),
                           (platform.Work() / "notes.txt").string(),
                           (platform.Work() / "missing.docx").string()});
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_NE(run.errors.find("notes.txt: not added: Only Word documents"), std::string::npos)
        << run.errors;
    EXPECT_NE(run.errors.find("missing.docx: not added: The file does not exist."),
              std::string::npos)
        << run.errors;
    EXPECT_NE(run.output.find("0/0 documents converted"), std::string::npos) << run.output;

    // An output folder that does not exist yet is made, with its parents.
    const fs::path deep = platform.Work() / "new" / "deeper";
    auto made = RunProcess({kCli, "--lang", "English", "-o", deep.string(),
                            (platform.Work() / "missing.docx").string()});
    EXPECT_EQ(made.exitCode, 1);
    EXPECT_TRUE(fs::is_directory(deep)) << made.errors;
}

}  // namespace
