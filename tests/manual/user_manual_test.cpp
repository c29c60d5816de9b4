// The user manual the build puts into the program folder: a sound PDF whose bookmarks are its
// chapters, whose text can be searched, and which names the window's controls as the language
// files spell them.
#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "tests/e2e/pdf_facts.h"

namespace fs = std::filesystem;

namespace {

const fs::path kManual = fs::path(TESSALINE_PROGRAM_DIR) / "UserDocument.pdf";

const std::vector<std::string> kChapters = {
    "About Tessaline",
    "Adding and Removing Documents",
    "The Document List",
    "PDF Settings",
    "Converting",
    "Choosing the Language",
    "Where Tessaline Keeps Files",
    "When a Document Fails",
    "Converting from the Command Line",
    "快速入门（简体中文）",
};

struct Caption {
    const char* language;
    const char* section;
    const char* key;
};

// The captions the manual quotes: buttons, columns, menus, dialogs and messages.
const std::vector<Caption> kQuotedCaptions = {
    {"English", "MainDlgUI", "ADD"},
    {"English", "MainDlgUI", "REMOVE"},
    {"English", "MainDlgUI", "OPEN"},
    {"English", "MainDlgUI", "CONVERT"},
    {"English", "MainDlgUI", "OUTPUT"},
    {"English", "CListCtrlUI", "CHECK"},
    {"English", "CListCtrlUI", "FN"},
    {"English", "CListCtrlUI", "SIZE"},
    {"English", "CListCtrlUI", "SP"},
    {"English", "CListCtrlUI", "Status"},
    {"English", "Menu", "add"},
    {"English", "Menu", "remove"},
    {"English", "Menu", "clear"},
    {"English", "Menu", "open"},
    {"English", "Menu", "HelpFile"},
    {"English", "Menu", "Support"},
    {"English", "Menu", "About"},
    {"English", "MsgBox", "NOTPDF"},
    {"English", "MsgBox", "Added"},
    {"English", "MsgBox", "EXIT"},
    {"English", "SettingDlgUI", "SettingDlgUITitle"},
    {"English", "SettingDlgUI", "SL"},
    {"English", "PDFSettingDlgUI", "PDFSettingDlgUITitle"},
    {"English", "PDFSettingDlgUI", "DI"},
    {"English", "PDFSettingDlgUI", "Title"},
    {"English", "PDFSettingDlgUI", "Subject"},
    {"English", "PDFSettingDlgUI", "Author"},
    {"English", "PDFSettingDlgUI", "Keyword"},
    {"English", "PDFSettingDlgUI", "OP"},
    {"English", "PDFSettingDlgUI", "UP"},
    {"English", "PDFSettingDlgUI", "NAP"},
    {"English", "PDFSettingDlgUI", "NAC"},
    {"English", "PDFSettingDlgUI", "NACE"},
    {"English", "PDFSettingDlgUI", "About"},
    {"English", "PDFSettingDlgUI", "Link"},
    {"English", "PDFSettingDlgUI", "Bookmark"},
    {"English", "PDFSettingDlgUI", "AF"},
    {"English", "PDFSettingDlgUI", "Apply"},
    {"Chinese", "MainDlgUI", "ADD"},
    {"Chinese", "MainDlgUI", "CONVERT"},
    {"Chinese", "MainDlgUI", "OUTPUT"},
    {"Chinese", "CListCtrlUI", "SP"},
    {"Chinese", "CListCtrlUI", "Status"},
    {"Chinese", "PDFSettingDlgUI", "Apply"},
};

std::string WithoutBlanks(std::string text) {
    text.erase(std::remove_if(text.begin(), text.end(),
                              [](char c) { return c == ' ' || c == '\n' || c == '\t'; }),
               text.end());
    return text;
}

// The manual's text without white space: lines break inside captions, and pdftotext puts a blank
// at a line break even between two Chinese characters.
std::string ManualText() {
    std::string text;
    for (const std::string& page : e2e::PageTexts(kManual)) {
        text += page;
    }
    return WithoutBlanks(text);
}

std::string CaptionText(const Caption& caption) {
    const fs::path file = fs::path(TESSALINE_SOURCE_DIR) / "resources/Languages" /
                          (std::string(caption.language) + ".xml");
    pugi::xml_document document;
    if (!document.load_file(file.c_str())) {
        ADD_FAILURE() << "cannot read " << file;
        return {};
    }
    const pugi::xml_node text = document.child("Language")
                                    .find_child_by_attribute("Section", "name", caption.section)
                                    .find_child_by_attribute("Text", "key", caption.key);
    return text.text().get();
}

class UserManual : public testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(fs::is_regular_file(kManual)) << "the build makes " << kManual;
    }
};

TEST_F(UserManual, IsASoundPdfWhoseTopBookmarksAreTheChapters) {
    if (!fs::exists("/usr/bin/qpdf")) {
        GTEST_SKIP() << "qpdf is not installed (/usr/bin/qpdf)";
    }
    EXPECT_EQ(e2e::QpdfCheckProblems(kManual), "");
    const e2e::PdfFacts facts = e2e::ReadPdfFacts(kManual);
    std::vector<std::string> chapters;
    int sections = 0;
    for (const e2e::OutlineEntry& entry : facts.outline) {
        if (entry.depth == 0) {
            chapters.push_back(entry.title);
        } else {
            ++sections;
        }
        EXPECT_GE(entry.page, 2) << entry.title << ": a bookmark leads past the title page";
        EXPECT_LE(entry.page, static_cast<int>(facts.pageHeights.size())) << entry.title;
    }
    EXPECT_EQ(chapters, kChapters);
    EXPECT_GT(sections, 0) << "the sections are bookmarks under their chapters";
}

TEST_F(UserManual, TextSaysWhatARestrictionWithoutAnOwnerPasswordDoes) {
    if (!fs::exists("/usr/bin/pdftotext")) {
        GTEST_SKIP() << "pdftotext is not installed (/usr/bin/pdftotext, poppler-utils)";
    }
    EXPECT_NE(ManualText().find(WithoutBlanks(
                  "a random owner password of full strength that is never stored or shown")),
              std::string::npos);
}

TEST_F(UserManual, QuotesTheCaptionsAsTheLanguageFilesSpellThem) {
    if (!fs::exists("/usr/bin/pdftotext")) {
        GTEST_SKIP() << "pdftotext is not installed (/usr/bin/pdftotext, poppler-utils)";
    }
    const std::string manual = ManualText();
    for (const Caption& caption : kQuotedCaptions) {
        const std::string text = CaptionText(caption);
        ASSERT_FALSE(text.empty())
            << caption.language << " " << caption.section << "/" << caption.key;
        EXPECT_NE(manual.find(WithoutBlanks(text)), std::string::npos)
            << caption.language << " " << caption.section << "/" << caption.key << ": \"" << text
            << "\" is not in the manual";
    }
}

}  // namespace
