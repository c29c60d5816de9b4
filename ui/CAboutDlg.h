// The about box: the program icon, the product's name and version, and a link to its web page.
#pragma once

#include <string>

#include "platform/program_folder.h"
#include "ui/TemplateDialog.h"

class CLinkButton;

class CAboutDlg : public CTemplateDialog {
  public:
    // The program icon comes from the default skin in programFolder (ending in "/").
    explicit CAboutDlg(QWidget* parent = nullptr,
                       const std::string& programFolder = GetProgramFolder());

  protected:
    void showEvent(QShowEvent* event) override;  // puts the focus on OK
    void OnInitDialog() override;

  private:
    CLinkButton* m_btnLink = nullptr;  // control 1051
};
