#include "skin/SkinApply.h"

#include <QWidget>
#include <optional>

#include "skin/BmpButton.h"
#include "skin/BmpStatic.h"
#include "skin/ControlCommand.h"
#include "skin/xml/SkinLayout.h"

namespace {

void Place(QWidget* control, const SkinRect& rect) {
    control->setGeometry(rect.left, rect.top, rect.length, rect.height);
}

}  // namespace

bool ApplySkinLayout(const std::string& skinFolder, QWidget* dialog, const std::string& section) {
    const std::optional<SkinLayout> layout = ReadSkinLayout(skinFolder, section);
    if (!layout || dialog == nullptr) {
        return false;
    }
    for (const SkinButton& entry : layout->buttons) {
        auto* button = dynamic_cast<CBmpButton*>(GetDlgItem(dialog, entry.id));
        if (button == nullptr) {
            continue;
        }
        button->m_bitmap = LoadPicture(entry.picture);
        Place(button, entry.rect);
        button->raise();
        if (entry.buttonType == 1) {
            button->m_nKind = CBmpButton::kCheck;
            button->setCheckable(true);
        }
        button->setVisible(entry.buttonShowHide != 1);
        button->update();
    }
    for (const SkinStatic& entry : layout->statics) {
        auto* panel = dynamic_cast<CBmpStatic*>(GetDlgItem(dialog, entry.id));
        if (panel == nullptr) {
            continue;
        }
        if (entry.parentId != 0) {
            QWidget* parent = GetDlgItem(dialog, entry.parentId);
            // A parent inside the static itself would make a loop of windows.
            if (parent != nullptr && parent != panel && !panel->isAncestorOf(parent)) {
                const bool hidden = panel->isHidden();
                panel->setParent(parent);  // Qt hides a window it moves to another parent
                panel->setVisible(!hidden);
            }
        }
        panel->m_bitmap = LoadPicture(entry.picture);
        panel->m_nExtendX = entry.extendX;
        panel->m_nExtendY = entry.extendY;
        Place(panel, entry.rect);
        panel->update();
    }
    for (const SkinPlacement& entry : layout->placements) {
        if (QWidget* control = GetDlgItem(dialog, entry.id)) {
            Place(control, entry.rect);
        }
    }
    return true;
}

bool LoadSkinBackground(const std::string& skinFolder, CBitmapEx& background,
                        const std::string& section) {
    const std::optional<SkinLayout> layout = ReadSkinLayout(skinFolder, section);
    if (!layout) {
        return false;
    }
    background = layout->background.empty() ? CBitmapEx() : LoadPicture(layout->background);
    return true;
}
