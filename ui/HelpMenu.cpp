#include "ui/HelpMenu.h"

#include <QAction>
#include <QMenu>

#include "platform/program_folder.h"
#include "platform/shell.h"
#include "ui/CAboutDlg.h"
#include "ui/MenuTable.h"
#include "ui/ProductInfo.h"

namespace {

constexpr char kSection[] = "Menu";
const MenuItem kItems[] = {
    {ID_HELP_FILE, "HelpFile"}, {kMenuSeparator, nullptr}, {ID_HELP_SUPPORT, "Support"},
    {kMenuSeparator, nullptr},  {ID_HELP_ABOUT, "About"},
};

}  // namespace

std::unique_ptr<QMenu> MakeHelpMenu(QWidget* owner) {
    auto menu = std::make_unique<QMenu>(owner);
    AddMenuItems(*menu, kSection, kItems);
    return menu;
}

void OnHelpCommand(QWidget* owner, int nCommand) {
    switch (nCommand) {
        case ID_HELP_FILE:
            platform::ShellOpen(GetProgramFolder() + "UserDocument.pdf");
            break;
        case ID_HELP_SUPPORT:
            platform::ShellOpen(SupportPageUrl());
            break;
        case ID_HELP_ABOUT: {
            CAboutDlg about(owner);
            about.exec();
            break;
        }
        default:
            break;
    }
}

void RunHelpMenu(QWidget* owner, const QPoint& globalAt) {
    // Made afresh at every opening, so a language chosen since shows.
    const std::unique_ptr<QMenu> menu = MakeHelpMenu(owner);
    const QAction* chosen = menu->exec(globalAt);
    OnHelpCommand(owner, chosen != nullptr ? chosen->data().toInt() : 0);
}
