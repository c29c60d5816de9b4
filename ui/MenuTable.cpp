#include "ui/MenuTable.h"

#include <QAction>
#include <QMenu>

#include "lang/LanguageProvider.h"

void AddMenuItems(QMenu& menu, const char* section, std::span<const MenuItem> items) {
    for (const MenuItem& item : items) {
        if (item.id == kMenuSeparator) {
            menu.addSeparator();
            continue;
        }
        QString text = QString::fromStdString(LangText(section, item.key));
        QAction* action = menu.addAction(text.replace(QLatin1Char('&'), QLatin1String("&&")));
        action->setData(item.id);
    }
}
