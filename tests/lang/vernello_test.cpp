// The language library through its exports, and the program's binding to it.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "components/vernello/Vernello.h"
#include "lang/LanguageProvider.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace fs = std::filesystem;
using testing_support::TempFolder;
using testing_support::WriteFile;

namespace {

std::string LanguageXml(const std::string& name, const std::string& sections) {
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Language name=\"" + name + "\">" +
           sections + "</Language>\n";
}

std::vector<std::string> ListedNames() {
    std::vector<std::string> names;
    for (int i = 0; i < GetLanguageCount(); ++i) {
        names.emplace_back(GetLanguageName(i));
    }
    return names;
}

// Three languages with overlapping keys, beside files the library must pass over. The file
// names sort differently by bytes (English, chinese, deutsch) than by the folder's order
// (chinese, deutsch, English).
class VernelloLibrary : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteFile(
            folder_.Path() / "English.xml",
            LanguageXml("English",
                        "<Section name=\"MsgBox\">"
                        "<Text key=\"MsgBoxTitle\">Notice</Text>"
                        "<Text key=\"CF\">Done.</Text>"
                        "<Text key=\"Only\">English only</Text>"
                        "</Section>"
                        "<Section name=\"Menu\"><Text key=\"CF\">Menu entry</Text></Section>"));
        WriteFile(folder_.Path() / "chinese.xml",
                  LanguageXml("Chinese",
                              "<Section name=\"MsgBox\">"
                              "<Text key=\"MsgBoxTitle\">提示</Text>"
                              "<Text key=\"CF\">完成。</Text>"
                              "</Section>"));
        WriteFile(
            folder_.Path() / "deutsch.xml",
            LanguageXml("Deutsch",
                        "<Section name=\"MsgBox\"><Text key=\"CF\">Fertig.</Text></Section>"));
        WriteFile(folder_.Path() / "broken.xml", "<Language name=\"Broken\"><Section name=");
        WriteFile(folder_.Path() / "skin.xml", "<Skin name=\"NotALanguage\"/>");
        WriteFile(folder_.Path() / "notes.txt", LanguageXml("Notes", ""));
        fs::create_directory(folder_.Path() / "folder.xml");
        LoadAll();
    }

    void LoadAll() { LoadLanguages((folder_.Str() + "/*.xml").c_str()); }

    TempFolder folder_{"vernello"};
};

TEST_F(VernelloLibrary, ListsEachLanguageFileInFolderOrderAndSkipsTheRest) {
    EXPECT_EQ(GetLanguageCount(), 3);
    EXPECT_EQ(ListedNames(), (std::vector<std::string>{"Chinese", "Deutsch", "English"}));
    for (int outside : {-1, 3, 100}) {
        ASSERT_NE(GetLanguageName(outside), nullptr);
        EXPECT_STREQ(GetLanguageName(outside), "");
    }
}

TEST_F(VernelloLibrary, SelectedLanguageAnswersAndEnglishFillsItsGaps) {
    // English is in effect before anything is selected.
    EXPECT_STREQ(GetText("MsgBox", "CF"), "Done.");

    SelectLanguage("Chinese");
    EXPECT_STREQ(GetText("MsgBox", "CF"), "完成。");
    EXPECT_STREQ(GetText("MsgBox", "MsgBoxTitle"), "提示");
    EXPECT_STREQ(GetText("MsgBox", "Only"), "English only");
    // The same key in another section is another text.
    EXPECT_STREQ(GetText("Menu", "CF"), "Menu entry");

    SelectLanguage("Deutsch");
    EXPECT_STREQ(GetText("MsgBox", "CF"), "Fertig.");
    EXPECT_STREQ(GetText("MsgBox", "MsgBoxTitle"), "Notice");

    SelectLanguage("English");
    EXPECT_STREQ(GetText("MsgBox", "CF"), "Done.");
}

TEST_F(VernelloLibrary, APairNoLanguageHasGivesAnEmptyTextNeverNull) {
    SelectLanguage("Chinese");
    const char* missing[][2] = {{"MsgBox", "Nope"}, {"Nope", "CF"},  {"msgbox", "CF"},
                                {"MsgBox", "cf"},   {nullptr, "CF"}, {"MsgBox", nullptr}};
    for (const auto& pair : missing) {
        const char* text = GetText(pair[0], pair[1]);
        ASSERT_NE(text, nullptr);
        EXPECT_STREQ(text, "") << (pair[0] ? pair[0] : "(null)") << "/"
                               << (pair[1] ? pair[1] : "(null)");
    }
}

TEST_F(VernelloLibrary, UnknownOrDifferentlyCasedNamesSelectEnglish) {
    for (const char* name :
         {"chinese", "CHINESE", "Klingon", "", static_cast<const char*>(nullptr)}) {
        SelectLanguage("Chinese");
        SelectLanguage(name);
        EXPECT_STREQ(GetText("MsgBox", "CF"), "Done.") << (name ? name : "(null)");
    }
}

TEST_F(VernelloLibrary, WithoutEnglishTheFirstListedLanguageStandsIn) {
    fs::remove(folder_.Path() / "English.xml");
    LoadAll();
    EXPECT_STREQ(GetText("MsgBox", "CF"), "完成。");
    SelectLanguage("Deutsch");
    SelectLanguage("Klingon");
    EXPECT_STREQ(GetText("MsgBox", "CF"), "完成。");
    // No English to fall back on.
    SelectLanguage("Deutsch");
    EXPECT_STREQ(GetText("MsgBox", "MsgBoxTitle"), "");
}

TEST_F(VernelloLibrary, PatternsTakeBackslashesAndWildcardsInTheFileName) {
    std::string windowsFolder = folder_.Str();
    std::replace(windowsFolder.begin(), windowsFolder.end(), '/', '\\');

    LoadLanguages((windowsFolder + "\\?EUTSCH.x*").c_str());
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"Deutsch"});

    LoadLanguages((windowsFolder + "\\English.xml").c_str());
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"English"});

    LoadLanguages((folder_.Str() + "/*ese.xml").c_str());
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"Chinese"});
}

TEST_F(VernelloLibrary, LoadingAgainReplacesTheLanguages) {
    SelectLanguage("Chinese");
    for (const std::string& pattern :
         {folder_.Str() + "/*.none", folder_.Str() + "/missing/*.xml", std::string()}) {
        LoadAll();
        LoadLanguages(pattern.c_str());
        EXPECT_EQ(GetLanguageCount(), 0) << pattern;
        EXPECT_STREQ(GetLanguageName(0), "");
        SelectLanguage("Chinese");
        ASSERT_NE(GetText("MsgBox", "CF"), nullptr);
        EXPECT_STREQ(GetText("MsgBox", "CF"), "");
    }
    LoadLanguages(nullptr);
    EXPECT_EQ(GetLanguageCount(), 0);

    // A new load starts again from English, whatever was selected before.
    LoadAll();
    SelectLanguage("Chinese");
    LoadAll();
    EXPECT_STREQ(GetText("MsgBox", "CF"), "Done.");
}

TEST_F(VernelloLibrary, ReturnedTextsAndNamesOutliveLaterSelections) {
    const char* english = GetText("MsgBox", "CF");
    const char* firstName = GetLanguageName(0);
    SelectLanguage("Chinese");
    const char* chinese = GetText("MsgBox", "CF");
    const char* title = GetText("MsgBox", "MsgBoxTitle");
    for (int i = 0; i < 10; ++i) {
        SelectLanguage(i % 2 == 0 ? "Deutsch" : "English");
        GetText("MsgBox", "CF");
        GetLanguageName(i % 3);
    }
    EXPECT_STREQ(english, "Done.");
    EXPECT_STREQ(chinese, "完成。");
    EXPECT_STREQ(title, "提示");
    EXPECT_STREQ(firstName, "Chinese");
}

// A worker fetches texts while the UI thread switches languages: every text it sees is one
// language's whole text, and the ones it keeps stay readable.
TEST_F(VernelloLibrary, TextsStayWholeWhileAnotherThreadSwitchesLanguages) {
    const std::set<std::string> expected = {"Done.", "完成。", "Fertig."};
    std::atomic<bool> readerDone{false};
    std::atomic<int> wrong{0};
    std::set<std::string> seen;
    std::vector<const char*> kept;

    std::thread reader([&] {
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int i = 0; (i < 20000 || seen.size() < expected.size()) &&
                        std::chrono::steady_clock::now() < deadline;
             ++i) {
            const char* text = GetText("MsgBox", "CF");
            std::string copy = text;
            if (expected.count(copy) == 0) {
                ++wrong;
            }
            seen.insert(copy);
            if (i % 1000 == 0) {
                kept.push_back(text);
            }
        }
        readerDone = true;
    });
    const char* names[] = {"Chinese", "Deutsch", "English", "Unknown"};
    for (int i = 0; !readerDone; ++i) {
        SelectLanguage(names[i % 4]);
    }
    reader.join();

    EXPECT_EQ(wrong, 0);
    EXPECT_EQ(seen, expected);
    for (const char* text : kept) {
        EXPECT_EQ(expected.count(text), 1u);
    }
}

// The program passes "Languages\*.xml": a relative pattern is read from the program folder (the
// test's own folder here), never from the working directory.
TEST(VernelloPattern, RelativePatternIsTakenFromTheProgramFolder) {
    const fs::path programFolder = fs::read_symlink("/proc/self/exe").parent_path();
    const std::string sub = "vernello-relative-" + std::to_string(::getpid());
    struct Cleanup {
        fs::path folder;
        fs::path workingDirectory = fs::current_path();
        ~Cleanup() {
            fs::current_path(workingDirectory);
            std::error_code ignored;
            fs::remove_all(folder, ignored);
        }
    } cleanup{programFolder / sub};

    fs::create_directory(cleanup.folder);
    WriteFile(cleanup.folder / "English.xml", LanguageXml("FromProgramFolder", ""));
    TempFolder elsewhere{"vernello-cwd"};
    fs::create_directory(elsewhere.Path() / sub);
    WriteFile(elsewhere.Path() / sub / "English.xml", LanguageXml("FromWorkingDirectory", ""));
    fs::current_path(elsewhere.Path());

    LoadLanguages((sub + "\\*.xml").c_str());
    EXPECT_EQ(ListedNames(), std::vector<std::string>{"FromProgramFolder"});
}

TEST(VernelloFileFormat, TextsAreTakenAsWrittenAndTheFileNameStandsInForAMissingName) {
    TempFolder folder{"vernello-format"};
    WriteFile(folder.Path() / "Plain.xml",
              "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
              "<!-- comment -->\n"
              "<Language>\n"
              "  <Section name=\"MsgBox\">\n"
              "    <Text key=\"Lines\">First line.&#10;&#10;Second line.</Text>\n"
              "    <Text key=\"Escaped\">&lt;&quot;Tessaline&quot; &amp; more&gt;</Text>\n"
              "    <Text key=\"Spaced\">  padded  </Text>\n"
              "    <Text key=\"Data\"><![CDATA[a <b> c]]></Text>\n"
              "    <Text key=\"Twice\">first</Text>\n"
              "    <Text key=\"Twice\">second</Text>\n"
              "    <Text>no key</Text>\n"
              "    <Note key=\"Note\">not a text</Note>\n"
              "  </Section>\n"
              "  <Section name=\"MsgBox\"><Text key=\"Later\">merged</Text></Section>\n"
              "</Language>\n");

    LoadLanguages((folder.Str() + "/*.xml").c_str());
    ASSERT_EQ(ListedNames(), std::vector<std::string>{"Plain"});
    SelectLanguage("Plain");
    EXPECT_STREQ(GetText("MsgBox", "Lines"), "First line.\n\nSecond line.");
    EXPECT_STREQ(GetText("MsgBox", "Escaped"), "<\"Tessaline\" & more>");
    EXPECT_STREQ(GetText("MsgBox", "Spaced"), "  padded  ");
    EXPECT_STREQ(GetText("MsgBox", "Data"), "a <b> c");
    EXPECT_STREQ(GetText("MsgBox", "Twice"), "first");
    EXPECT_STREQ(GetText("MsgBox", "Later"), "merged");
    EXPECT_STREQ(GetText("MsgBox", "Note"), "");
    EXPECT_STREQ(GetText("MsgBox", ""), "");
}

// The library stands in for an outside component: the program sees its five calls and none of
// its insides (the XML reader, the platform code it carries).
TEST(VernelloExports, ExactlyTheFiveCallsAreExported) {
    const std::string nm = testing_support::FindProgram("nm");
    if (nm.empty()) {
        GTEST_SKIP() << "nm (binutils) is not installed, so the exports cannot be listed";
    }
    const std::string library = std::string(TESSALINE_PROGRAM_DIR) + "/libVernello.so";
    auto listing = testing_support::RunProcess({nm, "-D", "--defined-only", library});
    ASSERT_EQ(listing.exitCode, 0) << listing.errors;
    std::set<std::string> exported;
    std::istringstream lines(listing.output);
    for (std::string line; std::getline(lines, line);) {
        std::istringstream fields(line);
        std::string address, type, name;
        if (fields >> address >> type >> name && type != "A") {
            exported.insert(name);
        }
    }
    EXPECT_EQ(exported, (std::set<std::string>{"GetLanguageCount", "GetLanguageName", "GetText",
                                               "LoadLanguages", "SelectLanguage"}));
}

TEST(LanguageProvider, CopiesOutliveTheLibrarysNextLoad) {
    TempFolder folder{"vernello-provider"};
    WriteFile(folder.Path() / "b.xml",
              LanguageXml("English",
                          "<Section name=\"MainDlgUI\"><Text key=\"ADD\">Add</Text>"
                          "</Section>"));
    WriteFile(folder.Path() / "A.xml",
              LanguageXml("Chinese",
                          "<Section name=\"MainDlgUI\"><Text key=\"ADD\">添加</Text>"
                          "</Section>"));
    LoadLanguages((folder.Str() + "/*.xml").c_str());
    SelectLanguage(kLanguageChinese);

    const std::string text = LangText("MainDlgUI", "ADD");
    const std::vector<std::string> names = LanguageNames();
    LoadLanguages((folder.Str() + "/*.none").c_str());

    EXPECT_EQ(text, "添加");
    EXPECT_EQ(names, (std::vector<std::string>{"Chinese", "English"}));
    EXPECT_EQ(LangText("MainDlgUI", "ADD"), "");
    EXPECT_TRUE(LanguageNames().empty());
}

TEST(LanguageProvider, DefaultLanguageIsChineseOnlyForAChinesePrcInterface) {
    EXPECT_STREQ(DefaultLanguageName(0x0804), "Chinese");
    for (unsigned other : {0x0409u, 0x0404u, 0x0C04u, 0x1004u, 0x0004u, 0x0407u, 0u}) {
        EXPECT_STREQ(DefaultLanguageName(other), "English") << std::hex << other;
    }
}

}  // namespace
