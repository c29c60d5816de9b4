#include "ui/DialogTemplate.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>

#include "lang/LanguageProvider.h"
#include "skin/ControlCommand.h"
#include "ui/LinkButton.h"

namespace {

QWidget* MakeControl(const ControlTemplate& control, QWidget* dialog) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
        case ControlKind::kButton:
        case ControlKind::kDefaultButton: {
            auto* button = new QPushButton(text, dialog);
            button->setDefault(control.kind == ControlKind::kDefaultButton);
            button->setAutoDefault(false);
            return button;
        }
        case ControlKind::kGroup:
            return new QGroupBox(text, dialog);
        case ControlKind::kLabel:
        case ControlKind::kIcon:
            return new QLabel(text, dialog);
        case ControlKind::kEdit:
        case ControlKind::kPassword: {
            auto* edit = new QLineEdit(dialog);
            if (control.kind == ControlKind::kPassword)
                edit->setEchoMode(QLineEdit::Password);
            return edit;
        }
        case ControlKind::kCheck:
            return new QCheckBox(text, dialog);
        case ControlKind::kDropList:
            return new QComboBox(dialog);
        case ControlKind::kLink: {
            auto* link = new CLinkButton(dialog);
            link->setText(text);
            return link;
        }
    }
    return nullptr;
}

}  // namespace

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Shell Dlg"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    return font;
}

QRect DialogUnitsToPixels(int left, int top, int width, int height) {
    return QRect(left * 6 / 4, top * 13 / 8, width * 6 / 4, height * 13 / 8);
}

void SetDialogFrame(QWidget* dialog, int width, int height) {
    dialog->setFont(DialogFont());
    dialog->setFixedSize(DialogUnitsToPixels(0, 0, width, height).size());
}

std::vector<QWidget*> BuildControls(QWidget* dialog, std::span<const ControlTemplate> controls) {
    std::vector<QWidget*> made;
    for (const ControlTemplate& control : controls) {
        QWidget* widget = MakeControl(control, dialog);
        SetDlgCtrlID(widget, control.id);
        QRect at = DialogUnitsToPixels(control.left, control.top, control.width, control.height);
        // The closed box is as high as the style draws it; the rest of the height is its list's.
        if (control.kind == ControlKind::kDropList)
            at.setHeight(std::min(at.height(), widget->sizeHint().height()));
        widget->setGeometry(at);
        if (control.kind == ControlKind::kGroup)
            widget->lower();
        made.push_back(widget);
    }
    return made;
}

void SetControlText(QWidget* control, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        QString shown = text;
        button->setText(shown.replace(QLatin1Char('&'), QLatin1String("&&")));
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    }
}

void SetControlTexts(QWidget* dialog, std::span<const ControlText> texts) {
    for (const ControlText& text : texts) {
        SetControlText(GetDlgItem(dialog, text.id),
                       QString::fromStdString(LangText(text.section, text.key)));
    }
}

void FitCaptionsBeforeBoxes(QWidget* dialog, std::initializer_list<std::pair<int, int>> pairs) {
    int captionsEnd = 0;
    for (const auto& [label, edit] : pairs) {
        QWidget* caption = GetDlgItem(dialog, label);
        const int width = std::max(caption->width(), caption->sizeHint().width());
        caption->resize(width, caption->height());
        captionsEnd = std::max(captionsEnd, caption->x() + width + 4);
    }
    for (const auto& [label, edit] : pairs) {
        QWidget* box = GetDlgItem(dialog, edit);
        const QRect at = box->geometry();
        if (captionsEnd > at.x())
            box->setGeometry(at.adjusted(captionsEnd - at.x(), 0, 0, 0));
    }
}
