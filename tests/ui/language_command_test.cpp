// The language command with a person's answers, over languages of the test's own: what is
// preselected, and when the chosen language is selected and the caller asked to refresh.
#include <gtest/gtest.h>

#include <QComboBox>
#include <string>

#include "components/vernello/Vernello.h"
#include "lang/LanguageProvider.h"
#include "tests/support/scoped_environment.h"
#include "tests/ui/modal_dialog.h"
#include "ui/CMainSettingDlg.h"
#include "ui/LanguageCommand.h"

namespace {

using testing_support::TempFolder;
using testing_support::WriteFile;

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_LANGUAGE_LIST = 1017;

// Each language's one text names it, so the test sees which one the provider has selected.
void WriteLanguage(const TempFolder& folder, const std::string& file, const std::string& name) {
    WriteFile(folder.Path() / file,
              "<Language name=\"" + name +
                  "\"><Section name=\"SettingDlgUI\"><Text key=\"SettingDlgUITitle\">" + name +
                  " languages</Text></Section></Language>");
}

std::string SelectedLanguage() {
    return LangText("SettingDlgUI", "SettingDlgUITitle");
}

QComboBox* List(QWidget& dialog) {
    return Item<QComboBox>(dialog, IDC_LANGUAGE_LIST);
}

// Chinese, English and english, listed in that order.
class LanguageCommand : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteLanguage(languages_, "a.xml", "Chinese");
        WriteLanguage(languages_, "b.xml", "English");
        WriteLanguage(languages_, "c.xml", "english");
        LoadLanguages((languages_.Str() + "/*.xml").c_str());
    }
    TempFolder languages_{"language-command"};
};

TEST_F(LanguageCommand, TheCurrentLanguageAgainNeitherSelectsNorRefreshes) {
    SelectLanguage("English");
    std::string language = "Chinese";
    WhenShown<CMainSettingDlg>([](CMainSettingDlg& dialog) {
        EXPECT_EQ(dialog.windowTitle().toStdString(), "English languages");
        QComboBox* list = List(dialog);
        ASSERT_EQ(list->count(), 3);
        EXPECT_EQ(list->itemText(2).toStdString(), "english");
        EXPECT_EQ(list->currentIndex(), 0);
        Press(dialog, IDOK);
    });
    EXPECT_FALSE(ChooseLanguage(nullptr, language));
    EXPECT_EQ(language, "Chinese");
    EXPECT_EQ(SelectedLanguage(), "English languages");
}

TEST_F(LanguageCommand, ANameDifferingOnlyInCaseIsAnotherLanguage) {
    std::string language = "English";
    WhenShown<CMainSettingDlg>([](CMainSettingDlg& dialog) {
        EXPECT_EQ(List(dialog)->currentIndex(), 1);
        List(dialog)->setCurrentIndex(2);
        Press(dialog, IDOK);
    });
    EXPECT_TRUE(ChooseLanguage(nullptr, language));
    EXPECT_EQ(language, "english");
    EXPECT_EQ(SelectedLanguage(), "english languages");
}

TEST_F(LanguageCommand, AnUnlistedCurrentNamePreselectsTheFirstAndOkSwitchesToIt) {
    std::string language = "Deutsch";
    WhenShown<CMainSettingDlg>([](CMainSettingDlg& dialog) {
        EXPECT_EQ(List(dialog)->currentIndex(), 0);
        Press(dialog, IDOK);
    });
    EXPECT_TRUE(ChooseLanguage(nullptr, language));
    EXPECT_EQ(language, "Chinese");
    EXPECT_EQ(SelectedLanguage(), "Chinese languages");
}

TEST_F(LanguageCommand, CancelChangesNothing) {
    std::string language = "English";
    WhenShown<CMainSettingDlg>([](CMainSettingDlg& dialog) {
        List(dialog)->setCurrentIndex(0);
        Press(dialog, IDCANCEL);
    });
    EXPECT_FALSE(ChooseLanguage(nullptr, language));
    EXPECT_EQ(language, "English");
    EXPECT_EQ(SelectedLanguage(), "English languages");
}

TEST(LanguageCommandWithoutLanguages, OkOnAnEmptyListChangesNothing) {
    TempFolder empty("no-languages");
    LoadLanguages((empty.Str() + "/*.xml").c_str());
    std::string language = "English";
    WhenShown<CMainSettingDlg>([](CMainSettingDlg& dialog) {
        EXPECT_EQ(List(dialog)->count(), 0);
        Press(dialog, IDOK);
    });
    EXPECT_FALSE(ChooseLanguage(nullptr, language));
    EXPECT_EQ(language, "English");
}

}  // namespace
