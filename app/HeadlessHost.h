// The controller's host without a window: a message loop of its own for the messages the legs
// post, message boxes answered by a policy (and recorded), and the window's state kept as data.
// The command-line program and the tests run batches through it.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

#include "convert/ControllerHost.h"

class CConversionController;

class CHeadlessHost : public IControllerHost {
  public:
    struct ShownMessage {
        std::string text;
        std::string caption;
        UINT type = 0;
        int answer = 0;
    };
    // Answers a message box; the default answers IDOK, and IDYES to a Yes/No question.
    using Answerer = std::function<int(const ShownMessage&)>;

    explicit CHeadlessHost(std::string programTitle);

    void SetController(CConversionController* controller) { controller_ = controller; }
    void SetAnswerer(Answerer answerer);
    void SetDestinationDir(std::string folder);
    // Called for every message box as it is shown (from whichever thread shows it).
    void SetMessageObserver(std::function<void(const ShownMessage&)> observer);

    // Runs the message loop until the controller is idle with nothing left to handle (true) or
    // the main window was closed (false).
    bool RunUntilIdle();

    std::vector<ShownMessage> Messages() const;
    std::string Title() const;
    bool Closed() const;
    bool ButtonsEnabled() const;
    std::vector<unsigned> RedrawnJobs() const;

    // IControllerHost
    int ShowMessageBox(const std::string& text, const std::string& caption, UINT type) override;
    std::string DefaultCaption() const override { return programTitle_; }
    void EnableBatchButtons(bool enable) override;
    void Repaint() override {}
    void RedrawJob(unsigned index) override;
    // No screen: the same virtual 96 dpi the word processor measures its window in.
    int GetDeviceCaps(int index) const override {
        return index == LOGPIXELSX || index == LOGPIXELSY ? 96 : 0;
    }
    void PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) override;
    void CloseMainWindow() override;
    void SetTitle(const std::string& title) override;
    void UpdateData(bool) override {}
    std::string DestinationDir() const override;

  protected:
    // Around each message the loop hands to the controller, on the loop's thread.
    virtual void BeforeDispatch(UINT /*message*/) {}
    virtual void AfterDispatch(UINT /*message*/) {}

  private:
    struct Posted {
        UINT message;
        WPARAM wParam;
        LPARAM lParam;
    };

    const std::string programTitle_;
    CConversionController* controller_ = nullptr;
    mutable std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Posted> queue_;
    Answerer answerer_;
    std::function<void(const ShownMessage&)> observer_;
    std::vector<ShownMessage> messages_;
    std::vector<unsigned> redrawn_;
    std::string destination_;
    std::string title_;
    bool closed_ = false;
    bool buttonsEnabled_ = true;
};
