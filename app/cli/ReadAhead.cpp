#include "app/cli/ReadAhead.h"

#include <algorithm>

#include "convert/WordAutomation.h"
#include "platform/com.h"
#include "platform/com_ptr.h"

namespace {

// In the calling thread's apartment.
void ReadDocument(const CReadAhead::Document& wanted) {
    ComPtr<IDispatch> application = word::CreateWordApplication();
    if (!application) {
        return;
    }
    try {
        const int version = word::GetMajorVersion(application.Get());
        ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
        ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), wanted.path, version);
        if (wanted.readContent) {
            word::CountHyperlinks(document.Get());
        }
    } catch (const _com_error&) {
        // The job opens it again and reports why it cannot.
    }
    word::QuitWordQuietly(application.Get());
}

}  // namespace

CReadAhead::~CReadAhead() {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        quit_ = true;
    }
    changed_.notify_all();
    for (std::thread& worker : workers_) {
        worker.join();
    }
}

void CReadAhead::Start() {
    std::lock_guard<std::mutex> lock(mutex_);
    StartLocked();
}

void CReadAhead::StartLocked() {
    while (workers_.size() < readers_) {
        workers_.emplace_back(&CReadAhead::Run, this);
    }
}

void CReadAhead::Resume(std::vector<Document> documents) {
    {
        std::lock_guard<std::mutex> lock(mutex_);
        std::set<std::string> listed;
        for (const Document& document : documents) {
            listed.insert(document.path);
        }
        const auto unlisted = [&](const std::string& path) { return listed.count(path) == 0; };
        std::erase_if(seen_, unlisted);
        std::erase_if(read_, unlisted);
        queue_.assign(documents.begin(), documents.end());
        paused_ = false;
        StartLocked();
    }
    changed_.notify_all();
}

void CReadAhead::Pause() {
    std::unique_lock<std::mutex> lock(mutex_);
    paused_ = true;
    changed_.wait(lock, [this] { return busy_ == 0; });
}

void CReadAhead::Hold() {
    std::lock_guard<std::mutex> lock(mutex_);
    paused_ = true;
}

bool CReadAhead::WasRead(const std::string& path) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::find(read_.begin(), read_.end(), path) != read_.end();
}

std::vector<std::string> CReadAhead::Read() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return read_;
}

void CReadAhead::Run() {
    if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
        return;
    }
    // The reader's own instance, held while it lives (see the header).
    ComPtr<IDispatch> presence = word::CreateWordApplication();
    ReadWhileWanted();
    if (presence) {
        word::QuitWordQuietly(presence.Get());
        presence.Reset();
    }
    CoUninitialize();
}

void CReadAhead::ReadWhileWanted() {
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
        ++busy_;
        lock.unlock();
        ReadDocument(next);
        lock.lock();
        --busy_;
        read_.push_back(next.path);
        changed_.notify_all();
    }
}
