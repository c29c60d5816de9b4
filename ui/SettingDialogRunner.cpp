#include "ui/SettingDialogRunner.h"

#include "ui/CSettingDialog.h"

bool CSettingDialogRunner::Run(CPdfOptions& options, bool& applyToAll) {
    CSettingDialog dialog(m_owner);
    dialog.m_options = options;
    if (dialog.exec() != QDialog::Accepted)
        return false;
    options = dialog.m_options;
    applyToAll = dialog.m_bApplyToAll != 0;
    return true;
}
