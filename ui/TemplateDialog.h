// The base of the dialogs built from control tables: as a Windows dialog gets WM_INITDIALOG once,
// just before it is first shown, OnInitDialog runs at the first showing only, when the caller has
// set the fields the dialog shows.
#pragma once

#include <QDialog>

class CTemplateDialog : public QDialog {
  public:
    using QDialog::QDialog;

  protected:
    void showEvent(QShowEvent* event) override;
    virtual void OnInitDialog() = 0;

  private:
    bool m_bInitialised = false;
};
