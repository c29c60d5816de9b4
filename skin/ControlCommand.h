// How a skinned control tells its window that it was used: the window (or a panel between them)
// receives the control's id and a notification code, synchronously, on the UI thread.
#pragma once

class QWidget;

// The notification code of a click.
inline constexpr int BN_CLICKED = 0;

class ICommandTarget {
  public:
    virtual ~ICommandTarget() = default;
    // nId: the control's id; nCode: what happened; pControl: the control's window.
    virtual void OnCommand(int nId, int nCode, QWidget* pControl) = 0;
};

// A control keeps the id the window addresses it by.
void SetDlgCtrlID(QWidget* control, int nId);
int GetDlgCtrlID(const QWidget* control);
// The dialog's control with that id, wherever it sits among the dialog's windows; null if none.
QWidget* GetDlgItem(QWidget* dialog, int nId);

// Sends (id, code, control) to the control's parent when the parent takes commands.
void SendCommandToParent(QWidget* control, int nCode);
