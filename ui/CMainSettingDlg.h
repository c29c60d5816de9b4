// The language dialog: the user picks one of the language names it is given. The caller fills
// the names, their number and the selected index before running it modally, and reads the
// selected index after OK.
#pragma once

#include <string>
#include <vector>

#include "ui/TemplateDialog.h"

class QComboBox;

class CMainSettingDlg : public CTemplateDialog {
  public:
    explicit CMainSettingDlg(QWidget* parent = nullptr);

    std::vector<std::string> m_arrLanguageNames;  // in the provider's order
    int m_nSelIndex = 0;
    int m_nLanguageCount = 0;

  protected:
    void OnInitDialog() override;

  private:
    QComboBox* m_comboLanguage = nullptr;  // control 1017
};
