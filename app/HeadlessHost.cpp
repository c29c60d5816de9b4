#include "app/HeadlessHost.h"

#include <chrono>

#include "convert/ConversionController.h"

namespace {
int DefaultAnswer(const CHeadlessHost::ShownMessage& message) {
    return (message.type & MB_TYPEMASK) == MB_YESNO ? IDYES : IDOK;
}
}  // namespace

CHeadlessHost::CHeadlessHost(std::string programTitle)
    : programTitle_(std::move(programTitle)), answerer_(DefaultAnswer), title_(programTitle_) {}

void CHeadlessHost::SetAnswerer(Answerer answerer) {
    std::lock_guard<std::mutex> lock(mutex_);
    answerer_ = std::move(answerer);
}

void CHeadlessHost::SetDestinationDir(std::string folder) {
    std::lock_guard<std::mutex> lock(mutex_);
    destination_ = std::move(folder);
}

void CHeadlessHost::SetMessageObserver(std::function<void(const ShownMessage&)> observer) {
    std::lock_guard<std::mutex> lock(mutex_);
    observer_ = std::move(observer);
}

bool CHeadlessHost::RunUntilIdle() {
    for (;;) {
        std::unique_lock<std::mutex> lock(mutex_);
        // Workers that stop a batch post nothing, so the loop also wakes now and then to see
        // whether the controller has gone idle.
        wake_.wait_for(lock, std::chrono::milliseconds(20),
                       [this] { return !queue_.empty() || closed_; });
        if (closed_) {
            return false;
        }
        if (!queue_.empty()) {
            Posted posted = queue_.front();
            queue_.pop_front();
            lock.unlock();
            if (controller_ != nullptr) {
                BeforeDispatch(posted.message);
                controller_->OnMessage(posted.message, posted.wParam, posted.lParam);
                AfterDispatch(posted.message);
            }
            continue;
        }
        lock.unlock();
        // A worker posts before it counts as finished, so an idle controller with an empty
        // queue has nothing more to say.
        if (controller_ == nullptr || controller_->IsIdle()) {
            lock.lock();
            if (queue_.empty()) {
                return !closed_;
            }
        }
    }
}

std::vector<CHeadlessHost::ShownMessage> CHeadlessHost::Messages() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return messages_;
}

std::string CHeadlessHost::Title() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return title_;
}

bool CHeadlessHost::Closed() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_;
}

bool CHeadlessHost::ButtonsEnabled() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return buttonsEnabled_;
}

std::vector<unsigned> CHeadlessHost::RedrawnJobs() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return redrawn_;
}

int CHeadlessHost::ShowMessageBox(const std::string& text, const std::string& caption, UINT type) {
    ShownMessage shown{text, caption, type, 0};
    Answerer answerer;
    std::function<void(const ShownMessage&)> observer;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        answerer = answerer_;
        observer = observer_;
    }
    shown.answer = answerer(shown);
    if (observer) {
        observer(shown);
    }
    std::lock_guard<std::mutex> lock(mutex_);
    messages_.push_back(shown);
    return shown.answer;
}

void CHeadlessHost::EnableBatchButtons(bool enable) {
    std::lock_guard<std::mutex> lock(mutex_);
    buttonsEnabled_ = enable;
}

void CHeadlessHost::RedrawJob(unsigned index) {
    std::lock_guard<std::mutex> lock(mutex_);
    redrawn_.push_back(index);
}

void CHeadlessHost::PostMessageToUi(UINT message, WPARAM wParam, LPARAM lParam) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.push_back({message, wParam, lParam});
    }
    wake_.notify_all();
}

void CHeadlessHost::CloseMainWindow() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        closed_ = true;
    }
    wake_.notify_all();
}

void CHeadlessHost::SetTitle(const std::string& title) {
    std::lock_guard<std::mutex> lock(mutex_);
    title_ = title;
}

std::string CHeadlessHost::DestinationDir() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return destination_;
}
