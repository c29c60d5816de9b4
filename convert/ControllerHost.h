// What the conversion controller needs from the window it runs in. The GUI's main dialog, the
// headless command-line host and the tests each provide it, so one controller serves all three.
// Calls come from the UI thread and from the worker threads; a host must accept both.
#pragma once

#include <functional>
#include <string>

#include "platform/user32.h"

class IControllerHost {
  public:
    virtual ~IControllerHost() = default;

    // A modal message box owned by the main window; returns the answer (IDOK, IDYES, IDNO...).
    virtual int ShowMessageBox(const std::string& text, const std::string& caption, UINT type) = 0;
    // The caption of message boxes that name none: the program's own title.
    virtual std::string DefaultCaption() const = 0;
    // Enables or disables Add, Remove and Convert together.
    virtual void EnableBatchButtons(bool enable) = 0;
    virtual void Repaint() = 0;
    // Has the batch list draw one job's row again.
    virtual void RedrawJob(unsigned index) = 0;
    // A capability of the main window's device context, e.g. LOGPIXELSX: the screen's
    // horizontal dots per inch, which turn the word processor's on-screen pixels into points.
    virtual int GetDeviceCaps(int index) const = 0;
    // Queues a message for the UI thread, which hands it to CConversionController::OnMessage.
    virtual void PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) = 0;
    // Closes the main window as its Cancel command does; the program then ends.
    virtual void CloseMainWindow() = 0;
    virtual void SetTitle(const std::string& title) = 0;
    // Moves the controls' values into the window's data (true) or back (false); the output
    // folder is read from the Output box this way.
    virtual void UpdateData(bool saveAndValidate) = 0;
    // The folder in the Output box, as last taken over by UpdateData(true).
    virtual std::string DestinationDir() const = 0;
    // Why a job failed, in the selected language, just before its result is posted. The job
    // keeps it too (m_strFailure), for its row; a host that reports jobs one by one (the command
    // line) prints it.
    virtual void NoteJobFailure(unsigned /*job*/, const std::string& /*reason*/) {}
    // Runs a blocking wait of the UI thread's leg, the wait for the printed pages, and returns
    // its result. A window host runs it so that the window keeps painting and answering
    // meanwhile; the default just waits.
    virtual bool WaitResponsively(const std::function<bool()>& wait) { return wait(); }
    // The job waits for another batch of the same user (another window or the command line) to
    // finish printing; called once per wait, from the preparation thread.
    virtual void NoteWaitingForAnotherBatch() {}
};
