#include "ReadAhead.h"

#include "WordAutomation.h"
#include "platform/com.h"
#include "platform/com_ptr.h"

namespace {

void ReadDocument(const CReadAhead::Document& wanted) {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return;
    }
    {
        ComPtr<IDispatch> application = word::CreateWordApplication();
        if (application) {
            try {
                const int version = word::GetMajorVersion(application.Get());
                ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
                ComPtr<IDispatch> document =
                    word::OpenDocument(documents.Get(), wanted.path, version);
                if (wanted.readContent) {
                    word::CountHyperlinks(document.Get());
                }
            } catch (const _com_error&) {
                // The job opens it again and reports why it cannot.
            }
            try {
                word::QuitWord(application.Get());
            } catch (const _com_error&) {
            }
        }
    }
    CoUninitialize();
}

}  // namespace

CReadAhead::~CReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    if (worker_.joinable()) {
        worker_.join();
    }
}

void CReadAhead::Resume(std::vector<Document> documents) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        queue_.assign(documents.begin(), documents.end());
        paused_ = false;
        if (!worker_.joinable()) {
            worker_ = std::thread(&CReadAhead::Run, this);
        }
    }
    changed_.notify_all();
}

void CReadAhead::Pause() {
    std::unique_lock<std::mutex> lock(mutex_);
    paused_ = true;
    changed_.wait(lock, [this] { return !busy_; });
}

std::vector<std::string> CReadAhead::Read() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read_;
}

void CReadAhead::Run() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        changed_.wait(lock, [this] { return quit_ || (!paused_ && !queue_.empty()); });
        if (quit_) {
            return;
        }
        const Document next = queue_.front();
        queue_.pop_front();
        if (!seen_.insert(next.path).second) {
            continue;
        }
        busy_ = true;
        lock.unlock();
        ReadDocument(next);
        lock.lock();
        busy_ = false;
        read_.push_back(next.path);
        changed_.notify_all();
    }
}
