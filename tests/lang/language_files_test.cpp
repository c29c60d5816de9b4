// The shipped language files: complete, consistent with each other, and holding every text the
// program's code and windows ask for.

// GCC 12 reports a false "may be used uninitialized" inside libstdc++'s <regex> when optimising
// with the sanitizers on; the pragma covers the library headers only, not this file's code.
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmaybe-uninitialized"
#endif
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "lang/LanguageProvider.h"
#if defined(__GNUC__) && !defined(__clang__)
#pragma GCC diagnostic pop
#endif

namespace fs = std::filesystem;

namespace {

using Pair = std::pair<std::string, std::string>;  // section, key

std::string Show(const Pair& pair) {
    return pair.first + "/" + pair.second;
}

// Every text a window of the program shows, by window.
const std::vector<Pair> kWindowTexts = {
    // Main window: buttons and the output label.
    {"MainDlgUI", "ADD"},
    {"MainDlgUI", "CONVERT"},
    {"MainDlgUI", "REMOVE"},
    {"MainDlgUI", "OPEN"},
    {"MainDlgUI", "OUTPUT"},
    // Batch list column headers.
    {"CListCtrlUI", "CHECK"},
    {"CListCtrlUI", "FN"},
    {"CListCtrlUI", "SIZE"},
    {"CListCtrlUI", "SP"},
    {"CListCtrlUI", "Status"},
    // The list's context menu and the help menu.
    {"Menu", "add"},
    {"Menu", "remove"},
    {"Menu", "clear"},
    {"Menu", "open"},
    {"Menu", "HelpFile"},
    {"Menu", "Support"},
    {"Menu", "About"},
    // Message boxes: the caption and every message.
    {"MsgBox", "MsgBoxTitle"},
    {"MsgBox", "CHECKONE"},
    {"MsgBox", "Folder"},
    {"MsgBox", "Rename"},
    {"MsgBox", "SetPrinter"},
    {"MsgBox", "PInstall"},
    {"MsgBox", "CF"},
    {"MsgBox", "CFFailed"},
    {"MsgBox", "EXIT"},
    {"MsgBox", "NOTPDF"},
    {"MsgBox", "Added"},
    // Language dialog; its OK and Cancel also caption the PDF settings dialog's buttons.
    {"SettingDlgUI", "SettingDlgUITitle"},
    {"SettingDlgUI", "Vernello"},
    {"SettingDlgUI", "SL"},
    {"SettingDlgUI", "OK"},
    {"SettingDlgUI", "Cancel"},
    // PDF settings dialog.
    {"PDFSettingDlgUI", "PDFSettingDlgUITitle"},
    {"PDFSettingDlgUI", "DI"},
    {"PDFSettingDlgUI", "Security"},
    {"PDFSettingDlgUI", "Title"},
    {"PDFSettingDlgUI", "Subject"},
    {"PDFSettingDlgUI", "Author"},
    {"PDFSettingDlgUI", "Keyword"},
    {"PDFSettingDlgUI", "OP"},
    {"PDFSettingDlgUI", "UP"},
    {"PDFSettingDlgUI", "NAP"},
    {"PDFSettingDlgUI", "NAC"},
    {"PDFSettingDlgUI", "NACE"},
    {"PDFSettingDlgUI", "About"},
    {"PDFSettingDlgUI", "Link"},
    {"PDFSettingDlgUI", "Bookmark"},
    {"PDFSettingDlgUI", "AF"},
    {"PDFSettingDlgUI", "Apply"},
    {"PDFSettingDlgUI", "RestrictionTip"},
    // About box.
    {"AboutDlg", "About"},
    {"AboutDlg", "OK"},
    // A failed job's status, and the reason its row gives when the failing step gave none.
    {"JobFailure", "Failed"},
    {"JobFailure", "Unknown"},
};

// Where the program's own code lives.
const char* const kSourceFolders[] = {"app", "convert", "ui", "lang", "skin", "spool", "tools"};

struct LanguageFile {
    std::string name;
    std::map<Pair, std::string> texts;
    std::vector<Pair> duplicates;
};

// Reads a file the way the language library does, but keeps what the library would drop
// silently (a repeated key), so the test can complain about it.
LanguageFile ReadLanguageFile(const fs::path& path) {
    LanguageFile file;
    pugi::xml_document document;
    pugi::xml_parse_result parsed = document.load_file(path.c_str());
    EXPECT_TRUE(parsed) << path << ": " << parsed.description() << " at " << parsed.offset;
    pugi::xml_node root = document.document_element();
    EXPECT_STREQ(root.name(), "Language") << path;
    file.name = root.attribute("name").value();
    for (pugi::xml_node section : root.children("Section")) {
        for (pugi::xml_node text : section.children("Text")) {
            Pair pair{section.attribute("name").value(), text.attribute("key").value()};
            if (!file.texts.emplace(pair, text.text().get()).second) {
                file.duplicates.push_back(pair);
            }
        }
    }
    return file;
}

fs::path ShippedFile(const std::string& name) {
    return fs::path(TESSALINE_SOURCE_DIR) / "resources" / "Languages" / (name + ".xml");
}

using Constants = std::map<std::string, std::string>;

// String constants such as `constexpr char kMsgBox[] = "MsgBox";`.
Constants StringConstants(const std::string& code) {
    static const std::regex definition(R"re(\b(\w+)\s*(?:\[\s*\])?\s*=\s*"([^"]*)"\s*;)re");
    Constants constants;
    for (std::sregex_iterator it(code.begin(), code.end(), definition), end; it != end; ++it) {
        constants.emplace((*it)[1].str(), (*it)[2].str());
    }
    return constants;
}

// A call argument's text: a string literal, or a constant defined in the file or elsewhere.
std::optional<std::string> Resolve(const std::string& argument, const Constants& own,
                                   const Constants& shared) {
    if (argument.front() == '"') {
        return argument.substr(1, argument.size() - 2);
    }
    for (const Constants* constants : {&own, &shared}) {
        if (auto found = constants->find(argument); found != constants->end()) {
            return found->second;
        }
    }
    return std::nullopt;  // a run-time value, such as a helper's parameter
}

// The (section, key) pairs a source file asks for: GetText or LangText calls whose arguments
// are literals or named constants, and calls of a message helper of the same file that passes
// its first parameter on as the key, as in
//   int ShowMessage(const char* key, UINT type) { ... LangText(kMsgBox, key) ... }
//   ShowMessage("CHECKONE", MB_OK);
std::set<Pair> TextPairsAskedFor(const std::string& code, const Constants& shared) {
    static const std::regex call(
        R"re(\b(?:GetText|LangText)\s*\(\s*("[^"]*"|\w+)\s*,\s*("[^"]*"|\w+)\s*\))re");
    static const std::regex helper(
        R"re(\b(\w+)\s*\(\s*const\s+(?:char\s*\*|std::string\s*&)\s*(\w+)[^)]*\)[^{;]*\{[^}]*?)re"
        R"re(\b(?:GetText|LangText)\s*\(\s*("[^"]*"|\w+)\s*,\s*\2(?:\.c_str\(\))?\s*\))re");
    const Constants own = StringConstants(code);
    std::set<Pair> pairs;
    for (std::sregex_iterator it(code.begin(), code.end(), call), end; it != end; ++it) {
        auto section = Resolve((*it)[1].str(), own, shared);
        auto key = Resolve((*it)[2].str(), own, shared);
        if (section && key) {
            pairs.emplace(*section, *key);
        }
    }
    for (std::sregex_iterator it(code.begin(), code.end(), helper), end; it != end; ++it) {
        auto section = Resolve((*it)[3].str(), own, shared);
        if (!section) {
            continue;
        }
        const std::regex use("\\b" + (*it)[1].str() + R"re(\s*\(\s*"([^"]*)")re");
        for (std::sregex_iterator u(code.begin(), code.end(), use), end; u != end; ++u) {
            pairs.emplace(*section, (*u)[1].str());
        }
    }
    return pairs;
}

// Each pair the program's code asks for, with the files that ask for it.
std::map<Pair, std::set<std::string>> PairsTheSourceAsksFor() {
    const fs::path root = TESSALINE_SOURCE_DIR;
    std::map<std::string, std::string> sources;  // relative path, code
    for (const char* folder : kSourceFolders) {
        if (!fs::is_directory(root / folder)) {
            continue;  // a part of the program not written yet
        }
        for (const auto& entry : fs::recursive_directory_iterator(root / folder)) {
            const std::string extension = entry.path().extension().string();
            if (entry.is_regular_file() && (extension == ".h" || extension == ".cpp")) {
                std::ifstream in(entry.path());
                std::stringstream code;
                code << in.rdbuf();
                sources[fs::relative(entry.path(), root).string()] = code.str();
            }
        }
    }
    Constants shared;
    for (const auto& [path, code] : sources) {
        shared.merge(StringConstants(code));
    }
    std::map<Pair, std::set<std::string>> found;
    for (const auto& [path, code] : sources) {
        for (const Pair& pair : TextPairsAskedFor(code, shared)) {
            found[pair].insert(path);
        }
    }
    return found;
}

class ShippedLanguageFiles : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        english_ = new LanguageFile(ReadLanguageFile(ShippedFile(kLanguageEnglish)));
        chinese_ = new LanguageFile(ReadLanguageFile(ShippedFile(kLanguageChinese)));
    }
    static void TearDownTestSuite() {
        delete english_;
        delete chinese_;
    }

    static void ExpectBothHold(const Pair& pair, const std::string& why) {
        EXPECT_EQ(english_->texts.count(pair), 1u)
            << Show(pair) << " missing in English.xml; " << why;
        EXPECT_EQ(chinese_->texts.count(pair), 1u)
            << Show(pair) << " missing in Chinese.xml; " << why;
    }

    static LanguageFile* english_;
    static LanguageFile* chinese_;
};

LanguageFile* ShippedLanguageFiles::english_ = nullptr;
LanguageFile* ShippedLanguageFiles::chinese_ = nullptr;

TEST_F(ShippedLanguageFiles, NameTheDefaultLanguagesAndHoldTheSamePairsEachOnce) {
    EXPECT_EQ(english_->name, kLanguageEnglish);
    EXPECT_EQ(chinese_->name, kLanguageChinese);
    EXPECT_TRUE(english_->duplicates.empty()) << Show(english_->duplicates.front());
    EXPECT_TRUE(chinese_->duplicates.empty()) << Show(chinese_->duplicates.front());
    for (const auto& [pair, text] : english_->texts) {
        EXPECT_EQ(chinese_->texts.count(pair), 1u) << Show(pair) << " is only in English.xml";
    }
    for (const auto& [pair, text] : chinese_->texts) {
        EXPECT_EQ(english_->texts.count(pair), 1u) << Show(pair) << " is only in Chinese.xml";
    }
}

TEST_F(ShippedLanguageFiles, EveryTextIsFilledIn) {
    for (const LanguageFile* file : {english_, chinese_}) {
        for (const auto& [pair, text] : file->texts) {
            EXPECT_FALSE(pair.first.empty() || pair.second.empty()) << file->name;
            EXPECT_NE(text.find_first_not_of(" \t\r\n"), std::string::npos)
                << file->name << ": " << Show(pair) << " is empty";
        }
    }
}

TEST_F(ShippedLanguageFiles, ChineseIsATranslation) {
    size_t same = 0;
    for (const auto& [pair, text] : english_->texts) {
        auto chinese = chinese_->texts.find(pair);
        if (chinese == chinese_->texts.end()) {
            continue;
        }
        if (chinese->second == text) {
            ++same;  // a product name, for instance
        } else {
            EXPECT_TRUE(std::any_of(chinese->second.begin(), chinese->second.end(),
                                    [](char c) { return static_cast<unsigned char>(c) >= 0x80; }))
                << Show(pair) << " in Chinese.xml holds no Chinese: " << chinese->second;
        }
    }
    EXPECT_LE(same * 10, english_->texts.size()) << same << " texts are the same in both files";
}

TEST_F(ShippedLanguageFiles, TranslationsFillInTheSamePlaces) {
    static const std::regex place(R"re(\{\d+\})re");
    const auto places = [](const std::string& text) {
        std::multiset<std::string> found;
        for (std::sregex_iterator it(text.begin(), text.end(), place), end; it != end; ++it) {
            found.insert(it->str());
        }
        return found;
    };
    for (const auto& [pair, text] : english_->texts) {
        auto chinese = chinese_->texts.find(pair);
        if (chinese != chinese_->texts.end()) {
            EXPECT_EQ(places(chinese->second), places(text)) << Show(pair);
        }
    }
}

TEST_F(ShippedLanguageFiles, HoldEveryTextTheWindowsShow) {
    for (const Pair& pair : kWindowTexts) {
        ExpectBothHold(pair, "a window shows it");
    }
}

TEST_F(ShippedLanguageFiles, HoldEveryTextTheProgramsCodeAsksFor) {
    for (const auto& [pair, files] : PairsTheSourceAsksFor()) {
        ExpectBothHold(pair, "asked for in " + *files.begin());
    }
}

// Keeps the scan above honest: a pattern that matched nothing would let every file pass.
TEST(SourceScan, FindsLiteralNamedAndHelperPassedKeys) {
    const std::string code = R"(
        constexpr char kMsgBox[] = "MsgBox";
        int CDialogHost::ShowMessage(const char* key, UINT type) {
            return Box(LangText(kMsgBox, key), LangText(kMsgBox, "MsgBoxTitle"), type);
        }
        void CDialogHost::Run() {
            MessageBox(GetText("MsgBox", "CHECKONE"), GetText( "Menu","add" ));
            std::string caption = LangText(
                "PDFSettingDlgUI",
                kCaptionKey);
            ShowMessage("Rename", MB_YESNO);
            ShowMessage ( "CF", MB_OK);
            GetText(section, key);
            GetText(kUnknown, "Status");
            GetLanguageName(0);
        }
    )";
    const Constants shared = {{"kCaptionKey", "PDFSettingDlgUITitle"}};
    EXPECT_EQ(TextPairsAskedFor(code, shared),
              (std::set<Pair>{{"MsgBox", "MsgBoxTitle"},
                              {"MsgBox", "CHECKONE"},
                              {"Menu", "add"},
                              {"PDFSettingDlgUI", "PDFSettingDlgUITitle"},
                              {"MsgBox", "Rename"},
                              {"MsgBox", "CF"}}));
}

// The copies the build lays out in the program folder are what the program reads at start-up.
TEST_F(ShippedLanguageFiles, ProgramFolderCopiesLoadThroughTheLibrary) {
    LoadLanguages((std::string(TESSALINE_PROGRAM_DIR) + "\\Languages\\*.xml").c_str());
    ASSERT_EQ(LanguageNames(), (std::vector<std::string>{"Chinese", "English"}));
    for (const LanguageFile* file : {english_, chinese_}) {
        SelectLanguage(file->name.c_str());
        for (const Pair& pair : kWindowTexts) {
            auto expected = file->texts.find(pair);
            ASSERT_NE(expected, file->texts.end()) << Show(pair);
            EXPECT_EQ(LangText(pair.first.c_str(), pair.second.c_str()), expected->second)
                << file->name << ": " << Show(pair);
        }
    }
}

}  // namespace
