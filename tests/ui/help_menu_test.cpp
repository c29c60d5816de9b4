// The help menu and the about box as a person meets them: the texts of the language selected,
// what each command opens, the version and the link.
#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QPushButton>
#include <QTimer>
#include <algorithm>
#include <initializer_list>
#include <utility>
#include <vector>

#include "components/vernello/Vernello.h"
#include "lang/LanguageProvider.h"
#include "platform/program_folder.h"
#include "skin/BitmapEx.h"
#include "tests/support/fake_xdg_open.h"
#include "tests/ui/modal_dialog.h"
#include "ui/CAboutDlg.h"
#include "ui/HelpMenu.h"
#include "ui/LinkButton.h"
#include "ui/ProductInfo.h"

namespace {

using testing_support::FakeXdgOpen;

constexpr int IDOK = 1;
constexpr int IDC_WEBSITE_LINK = 1051;

// The menu's rows: (command id, text), a separator as (0, "").
std::vector<std::pair<int, std::string>> Rows(const QMenu& menu) {
    std::vector<std::pair<int, std::string>> rows;
    for (const QAction* action : menu.actions()) {
        rows.emplace_back(action->isSeparator() ? 0 : action->data().toInt(),
                          action->text().toStdString());
    }
    return rows;
}

// Types the keys into the menu once it pops up.
void TypeIntoMenu(std::initializer_list<int> keys) {
    const std::vector<int> typed(keys);
    QTimer::singleShot(0, [typed] {
        QWidget* popup = QApplication::activePopupWidget();
        ASSERT_NE(popup, nullptr);
        for (int key : typed) {
            QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
            QApplication::sendEvent(popup, &press);
        }
    });
}

// The arguments of every start of the launcher since the last look.
std::vector<std::vector<std::string>> Opened(FakeXdgOpen& launcher) {
    std::vector<std::vector<std::string>> opened;
    for (const FakeXdgOpen::Call& call : launcher.TakeCalls())
        opened.push_back(call.arguments);
    return opened;
}

class HelpMenu : public ::testing::Test {
  protected:
    void SetUp() override {
        LoadLanguages(TESSALINE_PROGRAM_DIR "/Languages/*.xml");
        SelectLanguage(kLanguageEnglish);
    }
    FakeXdgOpen launcher_;
};

TEST_F(HelpMenu, ShowsTheTextsOfTheLanguageSelectedWhenItOpens) {
    for (const char* language : {kLanguageEnglish, kLanguageChinese}) {
        SelectLanguage(language);
        const auto rows = Rows(*MakeHelpMenu(nullptr));
        const std::vector<std::pair<int, std::string>> expected = {
            {ID_HELP_FILE, LangText("Menu", "HelpFile")},
            {0, ""},
            {ID_HELP_SUPPORT, LangText("Menu", "Support")},
            {0, ""},
            {ID_HELP_ABOUT, LangText("Menu", "About")}};
        EXPECT_EQ(rows, expected) << language;
    }
    EXPECT_NE(LangText("Menu", "HelpFile"), "User Manual");
}

TEST_F(HelpMenu, OpensTheManualAndTheSupportPageAndCancellingDoesNothing) {
    TypeIntoMenu({Qt::Key_Escape});
    RunHelpMenu(nullptr, QPoint(40, 40));
    // The second command (separators are passed over): the support page.
    TypeIntoMenu({Qt::Key_Down, Qt::Key_Down, Qt::Key_Return});
    RunHelpMenu(nullptr, QPoint(40, 40));
    EXPECT_EQ(Opened(launcher_), (std::vector<std::vector<std::string>>{{SupportPageUrl()}}));

    OnHelpCommand(nullptr, ID_HELP_FILE);
    EXPECT_EQ(Opened(launcher_),
              (std::vector<std::vector<std::string>>{{GetProgramFolder() + "UserDocument.pdf"}}));
}

TEST_F(HelpMenu, TheAboutBoxShowsTheVersionAndLinksToTheProductPage) {
    SelectLanguage(kLanguageChinese);
    WhenShown<CAboutDlg>([](CAboutDlg& about) {
        EXPECT_EQ(about.windowTitle().toStdString(), LangText("AboutDlg", "About"));
        EXPECT_EQ(Item<QPushButton>(about, IDOK)->text().toStdString(), LangText("AboutDlg", "OK"));
        std::vector<std::string> lines;
        for (const QLabel* label : about.findChildren<QLabel*>())
            lines.push_back(label->text().toStdString());
        EXPECT_NE(std::find(lines.begin(), lines.end(), "Tessaline, Version 2.2.1.0"), lines.end());
        auto* link = Item<CLinkButton>(about, IDC_WEBSITE_LINK);
        EXPECT_EQ(link->GetURL(), ProductPageUrl());
        EXPECT_EQ(link->toolTip().toStdString(), MakerUrl());
        link->click();
        Press(about, IDOK);
    });
    OnHelpCommand(nullptr, ID_HELP_ABOUT);
    EXPECT_EQ(Opened(launcher_), (std::vector<std::vector<std::string>>{{ProductPageUrl()}}));
}

TEST(AboutBox, TheProgramIconShowsNoKeyColour) {
    CAboutDlg about(nullptr, TESSALINE_PROGRAM_DIR "/");
    QImage icon;
    for (const QLabel* label : about.findChildren<QLabel*>()) {
        if (!label->pixmap().isNull())
            icon = label->pixmap().toImage();
    }
    ASSERT_FALSE(icon.isNull()) << "no icon in " TESSALINE_PROGRAM_DIR "/skins/Default";
    int keyed = 0;
    int transparent = 0;
    for (int y = 0; y < icon.height(); ++y) {
        for (int x = 0; x < icon.width(); ++x) {
            keyed += IsKeyColor(icon.pixel(x, y)) && qAlpha(icon.pixel(x, y)) != 0;
            transparent += qAlpha(icon.pixel(x, y)) == 0;
        }
    }
    EXPECT_EQ(keyed, 0);
    EXPECT_GT(transparent, 0);
}

}  // namespace
