// Runs the PDF settings dialog for the options code: a fresh dialog for every job, so that the
// "apply to all files" box always starts cleared.
#pragma once

#include "convert/PdfOptions.h"

class QWidget;

class CSettingDialogRunner : public IPdfSettingsDialog {
  public:
    explicit CSettingDialogRunner(QWidget* owner) : m_owner(owner) {}
    bool Run(CPdfOptions& options, bool& applyToAll) override;

  private:
    QWidget* m_owner;
};
