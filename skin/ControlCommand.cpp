#include "skin/ControlCommand.h"

#include <QVariant>
#include <QWidget>

namespace {
constexpr char kIdProperty[] = "dlgCtrlId";
}  // namespace

void SetDlgCtrlID(QWidget* control, int nId) {
    control->setProperty(kIdProperty, nId);
}

int GetDlgCtrlID(const QWidget* control) {
    return control->property(kIdProperty).toInt();
}

QWidget* GetDlgItem(QWidget* dialog, int nId) {
    for (QWidget* child : dialog->findChildren<QWidget*>()) {
        if (GetDlgCtrlID(child) == nId)
            return child;
    }
    return nullptr;
}

void SendCommandToParent(QWidget* control, int nCode) {
    if (auto* target = dynamic_cast<ICommandTarget*>(control->parentWidget()))
        target->OnCommand(GetDlgCtrlID(control), nCode, control);
}
