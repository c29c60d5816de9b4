#include "ui/LanguageCommand.h"

#include "lang/LanguageProvider.h"
#include "ui/CMainSettingDlg.h"

bool ChooseLanguage(QWidget* owner, std::string& strLanguage) {
    const std::string oldName = strLanguage;
    CMainSettingDlg dialog(owner);
    dialog.m_arrLanguageNames = LanguageNames();
    const int count = static_cast<int>(dialog.m_arrLanguageNames.size());
    dialog.m_nLanguageCount = count;
    // A later equal name wins; none equal leaves the first.
    for (int index = 0; index < count; ++index) {
        if (dialog.m_arrLanguageNames[static_cast<std::size_t>(index)] == strLanguage)
            dialog.m_nSelIndex = index;
    }
    if (dialog.exec() != QDialog::Accepted || count <= 0 || dialog.m_nSelIndex < 0 ||
        dialog.m_nSelIndex >= count) {
        return false;
    }
    strLanguage = dialog.m_arrLanguageNames[static_cast<std::size_t>(dialog.m_nSelIndex)];
    if (strLanguage == oldName)
        return false;
    SelectLanguage(strLanguage.c_str());
    return true;
}
