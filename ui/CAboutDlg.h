// The about box: the program icon, the product's name and version, and a link to its web page.
#pragma once

#include <QDialog>
#include <string>

#include "platform/program_folder.h"

class CLinkButton;

class CAboutDlg : public QDialog {
  public:
    // The program icon comes from the default skin in programFolder (ending in "/").
    explicit CAboutDlg(QWidget* parent = nullptr,
                       const std::string& programFolder = GetProgramFolder());

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void OnInitDialog();

    CLinkButton* m_btnLink = nullptr;  // control 1051
    bool m_bInitialised = false;
};
