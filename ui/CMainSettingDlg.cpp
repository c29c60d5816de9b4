#include "ui/CMainSettingDlg.h"

#include <QComboBox>
#include <QPushButton>
#include <algorithm>

#include "lang/LanguageProvider.h"
#include "platform/user32.h"
#include "skin/ControlCommand.h"
#include "ui/DialogTemplate.h"

namespace {

constexpr int IDC_LANGUAGE_GROUP = 1016;
constexpr int IDC_LANGUAGE_LIST = 1017;
constexpr int IDC_LANGUAGE_LABEL = 1018;

constexpr char kSection[] = "SettingDlgUI";

const ControlTemplate kControls[] = {
    {IDC_LANGUAGE_GROUP, ControlKind::kGroup, "Vernello", 11, 10, 217, 43},
    {IDC_LANGUAGE_LABEL, ControlKind::kLabel, "Language:", 17, 28, 60, 10},
    {IDC_LANGUAGE_LIST, ControlKind::kDropList, "", 57, 26, 159, 46},
    {IDOK, ControlKind::kDefaultButton, "OK", 123, 58, 50, 14},
    {IDCANCEL, ControlKind::kButton, "Cancel", 180, 58, 50, 14},
};

const ControlText kTexts[] = {
    {IDC_LANGUAGE_GROUP, kSection, "Vernello"},
    {IDC_LANGUAGE_LABEL, kSection, "SL"},
    {IDOK, kSection, "OK"},
    {IDCANCEL, kSection, "Cancel"},
};

}  // namespace

CMainSettingDlg::CMainSettingDlg(QWidget* parent) : CTemplateDialog(parent) {
    setWindowTitle(QStringLiteral("Setting"));
    SetDialogFrame(this, 242, 75);
    BuildControls(this, kControls);
    m_comboLanguage = static_cast<QComboBox*>(GetDlgItem(this, IDC_LANGUAGE_LIST));
    connect(static_cast<QPushButton*>(GetDlgItem(this, IDOK)), &QPushButton::clicked, this,
            &CMainSettingDlg::accept);
    connect(static_cast<QPushButton*>(GetDlgItem(this, IDCANCEL)), &QPushButton::clicked, this,
            &CMainSettingDlg::reject);
}

void CMainSettingDlg::OnInitDialog() {
    setWindowTitle(QString::fromStdString(LangText(kSection, "SettingDlgUITitle")));
    SetControlTexts(this, kTexts);
    const int count = std::min(m_nLanguageCount, static_cast<int>(m_arrLanguageNames.size()));
    for (int index = 0; index < count; ++index) {
        m_comboLanguage->insertItem(
            index, QString::fromStdString(m_arrLanguageNames[static_cast<std::size_t>(index)]));
    }
    m_comboLanguage->setCurrentIndex(m_nSelIndex);
    // Only the user's changes count, not the filling above.
    connect(m_comboLanguage, &QComboBox::currentIndexChanged, this,
            [this](int index) { m_nSelIndex = index; });
}
