#include "RecentDocuments.h"

#include <chrono>
#include <mutex>

#include "DurationSetting.h"
#include "Office.h"

namespace word_component {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_mutex;

// TESSALINE_DOCUMENT_KEEP_SECONDS, default 30; 0 keeps nothing.
std::chrono::milliseconds KeepTime() {
    return DurationSetting("TESSALINE_DOCUMENT_KEEP_SECONDS", std::chrono::seconds(30));
}

}  // namespace

struct RecentDocuments::Entry {
    std::shared_ptr<LoadedDocument> document;
    Clock::time_point expires;
};

RecentDocuments& RecentDocuments::Get() {
    // Never destroyed: the office's end at exit still closes through it.
    static RecentDocuments* list = [] {
        auto* created = new RecentDocuments;
        Office::Get().SetHousekeeping([created](bool officeEnding) {
            if (officeEnding) {
                created->Clear();
            } else {
                created->Expire();
            }
        });
        return created;
    }();
    return *list;
}

void RecentDocuments::Keep(std::shared_ptr<LoadedDocument> document) {
    const auto keep = KeepTime();
    std::shared_ptr<Entry> previous;
    if (keep.count() > 0 && document && document->Reusable()) {
        auto entry = std::make_shared<Entry>();
        entry->document = std::move(document);
        entry->expires = Clock::now() + keep;
        std::lock_guard<std::mutex> lock(g_mutex);
        previous = std::exchange(entry_, entry);
    }
    // The documents close here, outside the lock (a call into the office).
}

std::shared_ptr<LoadedDocument> RecentDocuments::Take(const std::string& path,
                                                      const FileStamp& stamp, unsigned generation) {
    std::shared_ptr<Entry> taken;
    bool fits = false;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (!entry_) {
            return {};
        }
        const LoadedDocument& kept = *entry_->document;
        if (kept.path != path) {
            return {};
        }
        // A kept document that does not fit is of no further use.
        fits = kept.stamp == stamp && kept.generation == generation;
        taken = std::exchange(entry_, nullptr);
    }
    if (!fits || !taken->document->Reusable()) {
        return {};
    }
    return taken->document;
}

void RecentDocuments::Clear() {
    std::shared_ptr<Entry> previous;
    std::lock_guard<std::mutex> lock(g_mutex);
    previous = std::exchange(entry_, nullptr);
}

void RecentDocuments::Expire() {
    std::shared_ptr<Entry> expired;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        if (entry_ && Clock::now() >= entry_->expires) {
            expired = std::exchange(entry_, nullptr);
        }
    }
}

}  // namespace word_component
