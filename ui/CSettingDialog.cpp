#include "ui/CSettingDialog.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>

#include "lang/LanguageProvider.h"
#include "platform/user32.h"
#include "ui/DialogTemplate.h"

namespace {

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

// The dialog's controls, in tab order.
const ControlTemplate kControls[] = {
    {1016, ControlKind::kGroup, "Document Information", 9, 7, 160, 97},
    {1018, ControlKind::kGroup, "Security", 184, 4, 163, 99},
    {1053, ControlKind::kGroup, "About link and bookmark:", 9, 106, 338, 38},
    {1049, ControlKind::kGroup, "Application setting to all word files:", 9, 145, 187, 29},
    {1041, ControlKind::kLabel, "Title:", 18, 24, 28, 10},
    {IDC_TITLE, ControlKind::kEdit, "", 50, 22, 104, 13},
    {1042, ControlKind::kLabel, "Subject:", 18, 45, 28, 10},
    {IDC_SUBJECT, ControlKind::kEdit, "", 50, 43, 104, 13},
    {1043, ControlKind::kLabel, "Author:", 18, 66, 28, 10},
    {IDC_AUTHOR, ControlKind::kEdit, "", 50, 64, 104, 13},
    {1044, ControlKind::kLabel, "Keyword(s):", 18, 87, 28, 10},
    {IDC_KEYWORDS, ControlKind::kEdit, "", 50, 85, 104, 13},
    {1045, ControlKind::kLabel, "Owner Password:", 190, 17, 57, 10},
    {IDC_OWNER_PASSWORD, ControlKind::kPassword, "", 250, 15, 99, 13},
    {1046, ControlKind::kLabel, "User Password:", 190, 36, 50, 10},
    {IDC_USER_PASSWORD, ControlKind::kPassword, "", 249, 34, 100, 13},
    {IDC_NO_PRINT, ControlKind::kCheck, "Not allow printing", 190, 53, 127, 12},
    {IDC_NO_CHANGE, ControlKind::kCheck, "Not allow changing", 190, 70, 127, 12},
    {IDC_NO_COPY, ControlKind::kCheck, "Not allow copy or extraction", 190, 87, 127, 12},
    {IDC_KEEP_LINKS, ControlKind::kCheck, "Reserve word hyperlink in PDF file.", 16, 118, 326, 10},
    {IDC_KEEP_BOOKMARKS, ControlKind::kCheck, "", 16, 131, 326, 10},
    {IDC_APPLY_TO_ALL, ControlKind::kCheck, "Apply this setting to all files", 15, 157, 171, 12},
    {IDOK, ControlKind::kDefaultButton, "OK", 237, 162, 50, 14},
    {IDCANCEL, ControlKind::kButton, "Cancel", 300, 162, 50, 14},
};

// The language's texts, in the order the dialog sets them.
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

}  // namespace

CSettingDialog::CSettingDialog(QWidget* parent) : CTemplateDialog(parent) {
    setWindowTitle(QStringLiteral("Setting"));
    SetDialogFrame(this, 357, 179);
    BuildControls();
}

void CSettingDialog::BuildControls() {
    ::BuildControls(this, kControls);
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

void CSettingDialog::OnInitDialog() {
    DoDataExchange(false);
    setWindowTitle(QString::fromStdString(LangText(kSection, "PDFSettingDlgUITitle")));
    SetControlTexts(this, kTexts);
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
