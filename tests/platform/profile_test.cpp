#include "platform/profile.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/last_error.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

using testing_support::ReadFile;
using testing_support::WriteFile;

namespace {

class Profile : public ::testing::Test {
  protected:
    std::string Path(const std::string& name = "test.ini") const {
        return (platform_.Work() / name).string();
    }

    std::string Read(const char* section, const char* key, const char* def = "",
                     const std::string& file = {}) const {
        char buffer[4096];
        DWORD n = GetPrivateProfileStringA(section, key, def, buffer, sizeof buffer,
                                           (file.empty() ? Path() : file).c_str());
        return std::string(buffer, n);
    }

    bool Write(const char* section, const char* key, const char* value) const {
        return WritePrivateProfileStringA(section, key, value, Path().c_str()) != FALSE;
    }

    testing_support::ScopedPlatform platform_;
};

// Splits a double-NUL list of `count` bytes (without the final NUL) into its items.
std::vector<std::string> SplitList(const char* list, DWORD count) {
    std::vector<std::string> items;
    for (const char* p = list; p < list + count && *p != '\0'; p += items.back().size() + 1) {
        items.emplace_back(p);
    }
    return items;
}

using Items = std::vector<std::string>;

}  // namespace

TEST_F(Profile, MissingFileSectionOrKeyGivesTheDefault) {
    EXPECT_EQ(Read("S", "k", "fallback"), "fallback");
    EXPECT_EQ(Read("S", "k", nullptr), "");
    EXPECT_EQ(Read("S", "k", "trailing  "), "trailing") << "trailing blanks of a default go";
    EXPECT_FALSE(std::filesystem::exists(Path())) << "reading creates nothing";

    ASSERT_TRUE(Write("S", "k", "v"));
    EXPECT_EQ(Read("Other", "k", "d"), "d");
    EXPECT_EQ(Read("S", "other", "d"), "d");
}

TEST_F(Profile, WriteCreatesFileSectionAndKeyAndReplacesValues) {
    ASSERT_TRUE(Write("First", "a", "1"));
    ASSERT_TRUE(Write("First", "b", "2"));
    ASSERT_TRUE(Write("Second", "c", "3"));
    ASSERT_TRUE(Write("First", "a", "one"));
    EXPECT_EQ(ReadFile(Path()), "[First]\na=one\nb=2\n\n[Second]\nc=3\n");
    EXPECT_EQ(Read("First", "a"), "one");
    EXPECT_EQ(Read("Second", "c"), "3");
}

TEST_F(Profile, NamesCompareWithoutCaseAndValuesKeepTheirTextBetweenBlanks) {
    WriteFile(Path(),
              "[Setting]\n  EMFCount = 12  \nQuoted=\"a b\"\nEq=x=y;z\nEmpty=\n"
              "[Ünïcode Sectión]\nKëy=välue\n");
    EXPECT_EQ(Read("SETTING", "emfcount"), "12");
    EXPECT_EQ(Read("setting", "quoted"), "\"a b\"");
    EXPECT_EQ(Read("Setting", "Eq"), "x=y;z");
    EXPECT_EQ(Read("Setting", "Empty", "d"), "");
    EXPECT_EQ(Read("ÜNÏCODE SECTIÓN", "KËY"), "välue");

    ASSERT_TRUE(Write("SETTING", "EMFCOUNT", "13"));
    EXPECT_EQ(Read("Setting", "EMFCount"), "13");
    EXPECT_NE(ReadFile(Path()).find("[Setting]\nEMFCOUNT=13\n"), std::string::npos)
        << "the section keeps its spelling, the rewritten line takes the writer's";
}

TEST_F(Profile, BufferTooSmallGivesSizeMinusOneForValuesAndSizeMinusTwoForLists) {
    ASSERT_TRUE(Write("Section", "key", "abcdef"));
    ASSERT_TRUE(Write("Section", "other", "x"));
    ASSERT_TRUE(Write("Two", "k", "y"));

    char buffer[16];
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileStringA("Section", "key", "", buffer, 4, Path().c_str()), 3u);
    EXPECT_STREQ(buffer, "abc");
    EXPECT_EQ(buffer[4], 'X') << "nothing written past the buffer";
    EXPECT_EQ(GetPrivateProfileStringA("Section", "key", "", buffer, 7, Path().c_str()), 6u);
    EXPECT_STREQ(buffer, "abcdef");
    EXPECT_EQ(GetPrivateProfileStringA("Section", "key", "", buffer, 6, Path().c_str()), 5u);
    EXPECT_EQ(
        GetPrivateProfileStringA("Section", "missing", "long default", buffer, 5, Path().c_str()),
        4u);
    EXPECT_STREQ(buffer, "long");
    EXPECT_EQ(GetPrivateProfileStringA("Section", "key", "", buffer, 0, Path().c_str()), 0u);

    // Section names "Section\0Two\0\0" need 13 bytes.
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, 13, Path().c_str()), 12u);
    EXPECT_EQ(SplitList(buffer, 12), (Items{"Section", "Two"}));
    std::memset(buffer, 'X', sizeof buffer);
    EXPECT_EQ(GetPrivateProfileSectionNamesA(buffer, 10, Path().c_str()), 8u);
    EXPECT_EQ(std::string(buffer, 10), std::string("Section\0\0\0", 10));
    EXPECT_EQ(buffer[10], 'X');

    // Key names and section lines follow the same rule.
    EXPECT_EQ(GetPrivateProfileStringA("Section", nullptr, "", buffer, 6, Path().c_str()), 4u);
    EXPECT_EQ(std::string(buffer, 6), std::string("key\0\0\0", 6));
    char wide[32];
    EXPECT_EQ(GetPrivateProfileSectionA("Section", wide, 20, Path().c_str()), 19u);
    EXPECT_EQ(SplitList(wide, 19), (Items{"key=abcdef", "other=x"}));
    EXPECT_EQ(GetPrivateProfileSectionA("Section", wide, 19, Path().c_str()), 17u);
    EXPECT_EQ(SplitList(wide, 17), (Items{"key=abcdef", "other="}));
    EXPECT_EQ(GetPrivateProfileSectionA("Section", buffer, 8, Path().c_str()), 6u);
    EXPECT_EQ(std::string(buffer, 8), std::string("key=ab\0\0", 8));
}

TEST_F(Profile, NullKeyDeletesASectionAndNullValueDeletesAKey) {
    ASSERT_TRUE(Write("A", "x", "1"));
    ASSERT_TRUE(Write("A", "y", "2"));
    ASSERT_TRUE(Write("B", "z", "3"));
    ASSERT_TRUE(Write("a", "X", nullptr));
    EXPECT_EQ(Read("A", "x", "gone"), "gone");
    EXPECT_EQ(Read("A", "y"), "2");
    ASSERT_TRUE(Write("A", nullptr, nullptr));
    EXPECT_EQ(Read("A", "y", "gone"), "gone");
    EXPECT_EQ(ReadFile(Path()), "[B]\nz=3\n");
    EXPECT_TRUE(Write("Missing", "k", nullptr)) << "deleting what is not there succeeds";
    EXPECT_TRUE(Write("Missing", nullptr, nullptr));

    // A key present twice (a hand-edited file) does not come back after its deletion.
    WriteFile(Path(), "[S]\nk=1\nk=2\n");
    ASSERT_TRUE(Write("S", "k", nullptr));
    EXPECT_EQ(Read("S", "k", "gone"), "gone");
}

TEST_F(Profile, SectionsAreListedAndReplacedWhole) {
    WriteFile(Path(), "[S]\n; a comment\na = 1\n\nbare line\nb=2\n\n[T]\nc=3\n");
    char buffer[256];
    DWORD n = GetPrivateProfileSectionA("s", buffer, sizeof buffer, Path().c_str());
    EXPECT_EQ(SplitList(buffer, n), (Items{"a = 1", "bare line", "b=2"}));
    n = GetPrivateProfileStringA("S", nullptr, "", buffer, sizeof buffer, Path().c_str());
    EXPECT_EQ(SplitList(buffer, n), (Items{"a", "bare line", "b"}));
    EXPECT_EQ(GetPrivateProfileSectionA("None", buffer, sizeof buffer, Path().c_str()), 0u);
    EXPECT_EQ(buffer[0], '\0');

    const char lines[] = "x=10\0 y = 20 \0";
    ASSERT_TRUE(WritePrivateProfileSectionA("S", lines, Path().c_str()));
    n = GetPrivateProfileSectionA("S", buffer, sizeof buffer, Path().c_str());
    EXPECT_EQ(SplitList(buffer, n), (Items{"x=10", "y = 20"}));
    EXPECT_EQ(Read("S", "y"), "20");
    EXPECT_EQ(Read("S", "a", "gone"), "gone");
    EXPECT_EQ(Read("T", "c"), "3");
    EXPECT_EQ(ReadFile(Path()), "[S]\n; a comment\nx=10\ny = 20\n\n[T]\nc=3\n");

    ASSERT_TRUE(WritePrivateProfileSectionA("New", "k=v\0", Path().c_str()));
    EXPECT_EQ(Read("New", "k"), "v");
    ASSERT_TRUE(WritePrivateProfileSectionA("S", nullptr, Path().c_str()));
    n = GetPrivateProfileSectionNamesA(buffer, sizeof buffer, Path().c_str());
    EXPECT_EQ(SplitList(buffer, n), (Items{"T", "New"}));
}

TEST_F(Profile, FilesWrittenOnWindowsAreReadAndKeepTheirForm) {
    const std::string windows =
        "\xEF\xBB\xBF; written by Notepad\r\n[AppLanguage]\r\nLanguage=Chinese\r\n\r\n"
        "[Output]\r\nFolder = C:\\Users\\me\\Documents \r\n";
    WriteFile(Path(), windows);
    EXPECT_EQ(Read("AppLanguage", "Language"), "Chinese");
    EXPECT_EQ(Read("Output", "Folder"), "C:\\Users\\me\\Documents");
    char names[64];
    DWORD n = GetPrivateProfileSectionNamesA(names, sizeof names, Path().c_str());
    EXPECT_EQ(SplitList(names, n), (Items{"AppLanguage", "Output"}));

    ASSERT_TRUE(Write("AppLanguage", "Language", "English"));
    EXPECT_EQ(ReadFile(Path()),
              "\xEF\xBB\xBF; written by Notepad\r\n[AppLanguage]\r\nLanguage=English\r\n\r\n"
              "[Output]\r\nFolder = C:\\Users\\me\\Documents \r\n");

    // A UTF-16 file with its byte-order mark, as Windows writes Unicode profiles.
    std::u16string utf16 = u"\uFEFF[Réglages]\r\nNom=Été\r\n";
    std::string bytes;
    for (char16_t unit : utf16) {
        bytes.push_back(static_cast<char>(unit & 0xFF));
        bytes.push_back(static_cast<char>(unit >> 8));
    }
    WriteFile(Path("unicode.ini"), bytes);
    EXPECT_EQ(Read("Réglages", "Nom", "", Path("unicode.ini")), "Été");
    ASSERT_TRUE(
        WritePrivateProfileStringA("Réglages", "Nom", "Hiver", Path("unicode.ini").c_str()));
    EXPECT_EQ(Read("réglages", "nom", "", Path("unicode.ini")), "Hiver");
    EXPECT_EQ(ReadFile(Path("unicode.ini")).substr(0, 2), "\xFF\xFE") << "stays UTF-16";
}

TEST_F(Profile, WritesThatWouldBreakTheFileAreRefusedAndChangeNothing) {
    ASSERT_TRUE(Write("S", "k", "v"));
    const std::string before = ReadFile(Path());
    const struct {
        const char* section;
        const char* key;
        const char* value;
    } refused[] = {
        {"S", "k", "line\nnext=injected"},
        {"S", "k", "a\rb"},
        {"S", "a=b", "v"},
        {"S", "[T]", "v"},
        {"S", ";k", "v"},
        {"S]x", "k", "v"},
        {"S\n[T]", "k", "v"},
        {nullptr, "k", "v"},
    };
    for (const auto& write : refused) {
        SetLastError(ERROR_SUCCESS);
        EXPECT_FALSE(Write(write.section, write.key, write.value))
            << (write.key ? write.key : "") << " / " << (write.value ? write.value : "");
        EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    }
    EXPECT_FALSE(WritePrivateProfileSectionA("S", "ok=1\0[T]\0", Path().c_str()));
    EXPECT_EQ(ReadFile(Path()), before);
}

TEST_F(Profile, AFailedWriteLeavesNoFileBehindAndDamagesNone) {
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", ""));
    auto insideMissing = (platform_.Work() / "missing" / "x.ini").string();
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", insideMissing.c_str()));
    EXPECT_EQ(GetLastError(), ERROR_FILE_NOT_FOUND);

    // Deleting from a file that does not exist does not create it.
    EXPECT_TRUE(Write("S", "k", nullptr));
    EXPECT_FALSE(std::filesystem::exists(Path()));

    // A folder standing where the file should be: the write fails, the folder is untouched.
    std::filesystem::create_directory(Path("folder.ini"));
    EXPECT_FALSE(WritePrivateProfileStringA("S", "k", "v", Path("folder.ini").c_str()));
    EXPECT_TRUE(std::filesystem::is_directory(Path("folder.ini")));
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Work()), Items{})
        << "no temporary file is left behind";
}

TEST_F(Profile, ReplacingKeepsPermissionsAndFollowsLinks) {
    ASSERT_TRUE(Write("S", "k", "v"));
    ASSERT_EQ(::chmod(Path().c_str(), 0640), 0);
    ASSERT_TRUE(Write("S", "k", "w"));
    struct stat info {};
    ASSERT_EQ(::stat(Path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);

    std::filesystem::create_symlink(Path(), Path("link.ini"));
    ASSERT_TRUE(WritePrivateProfileStringA("S", "via", "link", Path("link.ini").c_str()));
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.ini")));
    EXPECT_EQ(Read("S", "via"), "link");
}

TEST_F(Profile, TwoProcessesWritingOneFileAtOnceLoseNothing) {
    const int kCount = 1000;
    const std::string file = Path("shared.ini");
    pid_t first = testing_support::StartProcess({PROFILE_WRITER_PATH, file, "first", "1000"});
    pid_t second = testing_support::StartProcess({PROFILE_WRITER_PATH, file, "second", "1000"});
    ASSERT_EQ(testing_support::WaitProcess(first), 0);
    ASSERT_EQ(testing_support::WaitProcess(second), 0);

    for (const char* prefix : {"first", "second"}) {
        for (int i = 0; i < kCount; ++i) {
            std::string key = prefix + std::to_string(i);
            const char* section = i % 2 == 0 ? "Even" : "Odd";
            ASSERT_EQ(Read(section, key.c_str(), "lost", file), "value of " + key);
        }
    }
    // Well-formed: two section headers, one line per key, nothing else.
    std::string content = ReadFile(file);
    EXPECT_EQ(std::count(content.begin(), content.end(), '\n'), 2 * kCount + 2 + 1);
    EXPECT_EQ(std::count(content.begin(), content.end(), '['), 2);
    EXPECT_EQ(testing_support::ListFilesRecursively(platform_.Work()), Items{"shared.ini"});
}

TEST_F(Profile, AValueIsReadFromTheFirstSectionOfItsNameOnly) {
    WriteFile(Path(),
              "orphan=before any section\r\n[S]\r\nk = first\r\n[T]\r\nk=other\r\n"
              "[s]\r\nk=second\r\nlate=only in the repeat\r\n");
    EXPECT_EQ(Read("S", "k"), "first");
    EXPECT_EQ(Read("T", "k"), "other");
    EXPECT_EQ(Read("S", "late", "missing"), "missing") << "as the section listing sees it";
    EXPECT_EQ(Read("S", "orphan", "missing"), "missing");
    char lines[128];
    DWORD n = GetPrivateProfileSectionA("S", lines, sizeof lines, Path().c_str());
    EXPECT_EQ(SplitList(lines, n), Items{"k = first"});
}
