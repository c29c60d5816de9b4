#include "ui/CSettingDialog.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <algorithm>
#include <initializer_list>
#include <utility>

#include "lang/LanguageProvider.h"

namespace {

constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;
constexpr int IDC_TITLE = 1032;
constexpr int IDC_SUBJECT = 1033;
constexpr int IDC_AUTHOR = 1034;
constexpr int IDC_KEYWORDS = 1035;
constexpr int IDC_OWNER_PASSWORD = 1036;
constexpr int IDC_USER_PASSWORD = 1037;
constexpr int IDC_NO_PRINT = 1038;
constexpr int IDC_NO_CHANGE = 1039;
constexpr int IDC_NO_COPY = 1040;
constexpr int IDC_APPLY_TO_ALL = 1052;
constexpr int IDC_KEEP_LINKS = 1054;
constexpr int IDC_KEEP_BOOKMARKS = 1055;

constexpr char kSection[] = "PDFSettingDlgUI";
constexpr char kButtonSection[] = "SettingDlgUI";

enum class Kind { kButton, kDefaultButton, kGroup, kLabel, kEdit, kPassword, kCheck };

struct ControlTemplate {
    int id;
    Kind kind;
    const char* text;              // the text before the language's is set
    int left, top, width, height;  // dialog units
};

// The dialog's controls, in tab order.
const ControlTemplate kControls[] = {
    {1016, Kind::kGroup, "Document Information", 9, 7, 160, 97},
    {1018, Kind::kGroup, "Security", 184, 4, 163, 99},
    {1053, Kind::kGroup, "About link and bookmark:", 9, 106, 338, 38},
    {1049, Kind::kGroup, "Application setting to all word files:", 9, 145, 187, 29},
    {1041, Kind::kLabel, "Title:", 18, 24, 28, 10},
    {IDC_TITLE, Kind::kEdit, "", 50, 22, 104, 13},
    {1042, Kind::kLabel, "Subject:", 18, 45, 28, 10},
    {IDC_SUBJECT, Kind::kEdit, "", 50, 43, 104, 13},
    {1043, Kind::kLabel, "Author:", 18, 66, 28, 10},
    {IDC_AUTHOR, Kind::kEdit, "", 50, 64, 104, 13},
    {1044, Kind::kLabel, "Keyword(s):", 18, 87, 28, 10},
    {IDC_KEYWORDS, Kind::kEdit, "", 50, 85, 104, 13},
    {1045, Kind::kLabel, "Owner Password:", 190, 17, 57, 10},
    {IDC_OWNER_PASSWORD, Kind::kPassword, "", 250, 15, 99, 13},
    {1046, Kind::kLabel, "User Password:", 190, 36, 50, 10},
    {IDC_USER_PASSWORD, Kind::kPassword, "", 249, 34, 100, 13},
    {IDC_NO_PRINT, Kind::kCheck, "Not allow printing", 190, 53, 127, 12},
    {IDC_NO_CHANGE, Kind::kCheck, "Not allow changing", 190, 70, 127, 12},
    {IDC_NO_COPY, Kind::kCheck, "Not allow copy or extraction", 190, 87, 127, 12},
    {IDC_KEEP_LINKS, Kind::kCheck, "Reserve word hyperlink in PDF file.", 16, 118, 326, 10},
    {IDC_KEEP_BOOKMARKS, Kind::kCheck, "", 16, 131, 326, 10},
    {IDC_APPLY_TO_ALL, Kind::kCheck, "Apply this setting to all files", 15, 157, 171, 12},
    {IDOK, Kind::kDefaultButton, "OK", 237, 162, 50, 14},
    {IDCANCEL, Kind::kButton, "Cancel", 300, 162, 50, 14},
};

// The language's texts, in the order the dialog sets them.
struct ControlText {
    int id;
    const char* section;
    const char* key;
};
const ControlText kTexts[] = {
    {1016, kSection, "DI"},       {1018, kSection, "Security"},
    {1041, kSection, "Title"},    {1042, kSection, "Subject"},
    {1043, kSection, "Author"},   {1044, kSection, "Keyword"},
    {1045, kSection, "OP"},       {1046, kSection, "UP"},
    {1049, kSection, "AF"},       {1053, kSection, "About"},
    {1038, kSection, "NAP"},      {1039, kSection, "NAC"},
    {1040, kSection, "NACE"},     {1052, kSection, "Apply"},
    {1054, kSection, "Link"},     {1055, kSection, "Bookmark"},
    {IDOK, kButtonSection, "OK"}, {IDCANCEL, kButtonSection, "Cancel"},
};

// Dialog units of an 8-point dialog font at 96 dots per inch.
QRect DialogUnitsToPixels(int left, int top, int width, int height) {
    return QRect(left * 6 / 4, top * 13 / 8, width * 6 / 4, height * 13 / 8);
}

QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS Shell Dlg"), QStringLiteral("Liberation Sans"),
                      QStringLiteral("DejaVu Sans")});
    font.setPixelSize(11);
    return font;
}

QWidget* MakeControl(const ControlTemplate& control, QWidget* dialog) {
    const QString text = QString::fromUtf8(control.text);
    switch (control.kind) {
        case Kind::kButton:
        case Kind::kDefaultButton: {
            auto* button = new QPushButton(text, dialog);
            button->setDefault(control.kind == Kind::kDefaultButton);
            button->setAutoDefault(false);
            return button;
        }
        case Kind::kGroup:
            return new QGroupBox(text, dialog);
        case Kind::kLabel:
            return new QLabel(text, dialog);
        case Kind::kEdit:
        case Kind::kPassword: {
            auto* edit = new QLineEdit(dialog);
            if (control.kind == Kind::kPassword)
                edit->setEchoMode(QLineEdit::Password);
            return edit;
        }
        case Kind::kCheck:
            return new QCheckBox(text, dialog);
    }
    return nullptr;
}

void SetControlText(QWidget* control, const QString& text) {
    if (auto* button = qobject_cast<QAbstractButton*>(control)) {
        // Texts are shown as written; an "&" is no mnemonic here.
        QString shown = text;
        button->setText(shown.replace(QLatin1Char('&'), QLatin1String("&&")));
    } else if (auto* group = qobject_cast<QGroupBox*>(control)) {
        group->setTitle(text);
    } else if (auto* label = qobject_cast<QLabel*>(control)) {
        label->setText(text);
    }
}

// Captions longer in the chosen language than the template allows would be cut: the boxes of a
// column of captioned boxes then start after the longest caption, keeping their right edges.
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

}  // namespace

CSettingDialog::CSettingDialog(QWidget* parent) : QDialog(parent) {
    setWindowTitle(QStringLiteral("Setting"));
    setFont(DialogFont());
    setFixedSize(DialogUnitsToPixels(0, 0, 357, 179).size());
    BuildControls();
}

void CSettingDialog::BuildControls() {
    for (const ControlTemplate& control : kControls) {
        QWidget* widget = MakeControl(control, this);
        SetDlgCtrlID(widget, control.id);
        widget->setGeometry(
            DialogUnitsToPixels(control.left, control.top, control.width, control.height));
        // Group boxes are frames behind the controls they enclose, not their parents.
        if (control.kind == Kind::kGroup)
            widget->lower();
    }
    // The restrictions without an owner password come with a random one: say so where they are set.
    const QString restrictionTip = QString::fromStdString(LangText(kSection, "RestrictionTip"));
    for (int id : {IDC_OWNER_PASSWORD, IDC_NO_PRINT, IDC_NO_CHANGE, IDC_NO_COPY}) {
        GetDlgItem(this, id)->setToolTip(restrictionTip);
    }
    connect(static_cast<QPushButton*>(GetDlgItem(this, IDOK)), &QPushButton::clicked, this,
            &CSettingDialog::accept);
    connect(static_cast<QPushButton*>(GetDlgItem(this, IDCANCEL)), &QPushButton::clicked, this,
            &CSettingDialog::reject);
    // Ticking "apply to all" only takes the values over; the box counts only through OK.
    connect(static_cast<QCheckBox*>(GetDlgItem(this, IDC_APPLY_TO_ALL)), &QCheckBox::clicked, this,
            [this] { DoDataExchange(true); });
}

void CSettingDialog::DoDataExchange(bool bSaveAndValidate) {
    struct TextField {
        int id;
        std::string* value;
    };
    const TextField texts[] = {
        {IDC_TITLE, &m_options.m_strTitle},
        {IDC_SUBJECT, &m_options.m_strSubject},
        {IDC_AUTHOR, &m_options.m_strAuthor},
        {IDC_KEYWORDS, &m_options.m_strKeywords},
        {IDC_OWNER_PASSWORD, &m_options.m_strOwnerPassword},
        {IDC_USER_PASSWORD, &m_options.m_strUserPassword},
    };
    for (const TextField& field : texts) {
        auto* edit = static_cast<QLineEdit*>(GetDlgItem(this, field.id));
        if (bSaveAndValidate) {
            *field.value = edit->text().toStdString();
        } else {
            edit->setText(QString::fromStdString(*field.value));
        }
    }
    struct FlagField {
        int id;
        INT* value;
    };
    const FlagField flags[] = {
        {IDC_NO_PRINT, &m_options.m_bNoPrint},
        {IDC_NO_CHANGE, &m_options.m_bNoChange},
        {IDC_NO_COPY, &m_options.m_bNoCopy},
        {IDC_APPLY_TO_ALL, &m_bApplyToAll},
        {IDC_KEEP_LINKS, &m_options.m_bKeepLinks},
        {IDC_KEEP_BOOKMARKS, &m_options.m_bKeepBookmarks},
    };
    for (const FlagField& field : flags) {
        auto* box = static_cast<QCheckBox*>(GetDlgItem(this, field.id));
        if (bSaveAndValidate) {
            *field.value = box->isChecked() ? 1 : 0;
        } else {
            box->setChecked(*field.value != 0);
        }
    }
}

void CSettingDialog::showEvent(QShowEvent* event) {
    if (!m_bInitialised) {
        m_bInitialised = true;
        OnInitDialog();
    }
    QDialog::showEvent(event);
}

void CSettingDialog::OnInitDialog() {
    DoDataExchange(false);
    setWindowTitle(QString::fromStdString(LangText(kSection, "PDFSettingDlgUITitle")));
    for (const ControlText& text : kTexts) {
        SetControlText(GetDlgItem(this, text.id),
                       QString::fromStdString(LangText(text.section, text.key)));
    }
    FitCaptionsBeforeBoxes(
        this, {{1041, IDC_TITLE}, {1042, IDC_SUBJECT}, {1043, IDC_AUTHOR}, {1044, IDC_KEYWORDS}});
    FitCaptionsBeforeBoxes(this, {{1045, IDC_OWNER_PASSWORD}, {1046, IDC_USER_PASSWORD}});
    // The focus goes to the first control that takes it: the title box.
    GetDlgItem(this, IDC_TITLE)->setFocus();
}

void CSettingDialog::accept() {
    DoDataExchange(true);
    QDialog::accept();
}
