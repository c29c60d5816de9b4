#include "components/word/office/RecentDocuments.h"

#include <algorithm>
#include <chrono>
#include <mutex>
#include <string>
#include <vector>

#include "components/word/office/Office.h"
#include "platform/environment_settings.h"

namespace word_component {

namespace {

using Clock = std::chrono::steady_clock;

std::mutex g_mutex;

// 0 keeps nothing.
std::chrono::milliseconds KeepTime() {
    return platform::DurationSetting(platform::Setting::DocumentKeepSeconds);
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
        for (unsigned slot = 0; slot < Office::kMostOffices; ++slot) {
            Office& office = Office::At(slot);
            office.SetHousekeeping([created, &office](bool officeEnding) {
                if (officeEnding) {
                    created->ClearOf(office);
                } else {
                    created->Expire();
                }
            });
        }
        return created;
    }();
    return *list;
}

void RecentDocuments::Keep(std::shared_ptr<LoadedDocument> document) {
    const auto keep = KeepTime();
    std::vector<std::shared_ptr<Entry>> closing;
    // What a retiring office printed is done with; what it has not printed yet, a coming job
    // may still open.
    const bool done = document && document->printed && document->office != nullptr &&
                      document->office->Retiring();
    if (keep.count() > 0 && document && document->Reusable() && !done) {
        if (document->tenancy) {
            document->tenancy->Keep();
        }
        auto entry = std::make_shared<Entry>();
        entry->expires = Clock::now() + keep;
        entry->document = std::move(document);
        std::lock_guard<std::mutex> lock(g_mutex);
        const std::string& path = entry->document->path;
        MoveOutLocked([&](const LoadedDocument& kept) { return kept.path == path; }, &closing);
        entries_.push_back(std::move(entry));
        auto isPrinted = [](const auto& kept) { return kept->document->printed.load(); };
        while (static_cast<std::size_t>(
                   std::count_if(entries_.begin(), entries_.end(), isPrinted)) > kMostPrintedKept) {
            auto leaving = std::find_if(entries_.begin(), entries_.end(), isPrinted);
            closing.push_back(*leaving);
            entries_.erase(leaving);
        }
        if (entries_.size() > kMostKept) {
            auto printed = std::find_if(entries_.begin(), entries_.end(), isPrinted);
            auto leaving = printed != entries_.end() ? printed : entries_.begin();
            closing.push_back(*leaving);
            entries_.erase(leaving);
        }
    }
    // The documents close here, outside the lock (a call into the office).
}

std::shared_ptr<LoadedDocument> RecentDocuments::Take(const std::string& path,
                                                      const FileStamp& stamp) {
    std::shared_ptr<Entry> taken;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto found = std::find_if(entries_.begin(), entries_.end(),
                                  [&](const auto& entry) { return entry->document->path == path; });
        if (found == entries_.end()) {
            return {};
        }
        // A kept document that does not fit is of no further use.
        taken = *found;
        entries_.erase(found);
    }
    // Its office is asked outside the lock: the office's keeper takes the office's lock around
    // the housekeeping that comes here. Reclaimed last: the office is not replaced from then on.
    LoadedDocument& kept = *taken->document;
    const bool fits =
        kept.stamp == stamp && kept.Reusable() && kept.tenancy && kept.tenancy->Reclaim();
    return fits ? taken->document : nullptr;
}

void RecentDocuments::ClearOf(const Office& office) {
    std::vector<std::shared_ptr<Entry>> closing;
    std::lock_guard<std::mutex> lock(g_mutex);
    MoveOutLocked([&](const LoadedDocument& kept) { return kept.office == &office; }, &closing);
    // The documents close when `closing` goes, after the lock is released.
}

void RecentDocuments::MoveOutLocked(const std::function<bool(const LoadedDocument&)>& which,
                                    std::vector<std::shared_ptr<Entry>>* out) {
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (which(*(*it)->document)) {
            out->push_back(*it);
            it = entries_.erase(it);
        } else {
            ++it;
        }
    }
}

void RecentDocuments::Expire() {
    std::vector<std::shared_ptr<Entry>> expired;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        const Clock::time_point now = Clock::now();
        while (!entries_.empty() && now >= entries_.front()->expires) {
            expired.push_back(entries_.front());
            entries_.pop_front();
        }
    }
}

}  // namespace word_component
