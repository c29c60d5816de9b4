// The document's outline as the engine's callers build it: entries named by ids, each under a
// parent in order, and destinations (a page and a vertical position) that entries open.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/com.h"

namespace pdfengine {

struct Destination {
    LONG page = 0;  // 0-based
    double y = 0;   // points from the page's top
};

class OutlineTree {
  public:
    // The id of the root, which has no title and cannot be a sibling. Entry ids follow it.
    static constexpr LONG kRootId = 1;

    struct Entry {
        std::string title;  // UTF-8
        LONG parent = 0;
        std::vector<LONG> children;  // in order
        std::optional<LONG> destination;
    };

    OutlineTree();

    // A new last child of `parent` (the root or an entry). E_INVALIDARG for an unknown parent.
    HRESULT AddChild(LONG parent, std::string title, LONG* id);
    // A new entry right after `previous` (an entry, not the root) under the same parent.
    HRESULT AddSibling(LONG previous, std::string title, LONG* id);
    // Destination ids count from 1 in a space of their own.
    LONG AddDestination(const Destination& destination);
    // E_INVALIDARG for an unknown entry (or the root) or destination.
    HRESULT SetDestination(LONG entry, LONG destination);

    bool Empty() const { return entries_.size() == 1; }
    const Entry& Get(LONG id) const { return entries_[static_cast<std::size_t>(id - kRootId)]; }
    const Destination& GetDestination(LONG id) const {
        return destinations_[static_cast<std::size_t>(id - 1)];
    }

  private:
    bool IsEntry(LONG id) const;
    Entry& At(LONG id) { return entries_[static_cast<std::size_t>(id - kRootId)]; }
    HRESULT Insert(LONG parent, std::size_t position, std::string title, LONG* id);

    std::vector<Entry> entries_;  // the root first
    std::vector<Destination> destinations_;
};

}  // namespace pdfengine
