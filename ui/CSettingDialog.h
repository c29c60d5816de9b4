// The PDF settings of one job: document information, passwords, restrictions, links and
// bookmarks, and whether they go to every file of the list. The dialog shows the values it is
// given and hands them back on OK; it knows nothing of jobs.
#pragma once

#include "convert/PdfOptions.h"
#include "skin/ControlCommand.h"
#include "ui/TemplateDialog.h"

class CSettingDialog : public CTemplateDialog {
  public:
    explicit CSettingDialog(QWidget* parent = nullptr);

    // Set before the dialog is shown, read after OK.
    CPdfOptions m_options;
    INT m_bApplyToAll = 0;  // cleared whenever a dialog is made

    // Moves the controls' values into the fields (true) or the fields into the controls (false).
    void DoDataExchange(bool bSaveAndValidate);

  protected:
    void OnInitDialog() override;
    void accept() override;

  private:
    void BuildControls();
};
