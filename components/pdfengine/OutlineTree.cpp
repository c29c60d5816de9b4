#include "components/pdfengine/OutlineTree.h"

#include <algorithm>
#include <utility>

namespace pdfengine {

OutlineTree::OutlineTree() : entries_(1) {}

bool OutlineTree::IsEntry(LONG id) const {
    return id > kRootId && static_cast<std::size_t>(id - kRootId) < entries_.size();
}

HRESULT OutlineTree::Insert(LONG parent, std::size_t position, std::string title, LONG* id) {
    const auto newId = static_cast<LONG>(entries_.size()) + kRootId;
    Entry entry;
    entry.title = std::move(title);
    entry.parent = parent;
    entries_.push_back(std::move(entry));
    std::vector<LONG>& siblings = At(parent).children;
    siblings.insert(siblings.begin() + static_cast<std::ptrdiff_t>(position), newId);
    *id = newId;
    return S_OK;
}

HRESULT OutlineTree::AddChild(LONG parent, std::string title, LONG* id) {
    if (id == nullptr) {
        return E_POINTER;
    }
    if (parent != kRootId && !IsEntry(parent)) {
        return E_INVALIDARG;
    }
    return Insert(parent, At(parent).children.size(), std::move(title), id);
}

HRESULT OutlineTree::AddSibling(LONG previous, std::string title, LONG* id) {
    if (id == nullptr) {
        return E_POINTER;
    }
    if (!IsEntry(previous)) {
        return E_INVALIDARG;
    }
    const LONG parent = At(previous).parent;
    const std::vector<LONG>& siblings = At(parent).children;
    // Entries are nearly always added after the last one; look from the back.
    const auto found = std::find(siblings.rbegin(), siblings.rend(), previous);
    const auto position = static_cast<std::size_t>(siblings.rend() - found);
    return Insert(parent, position, std::move(title), id);
}

LONG OutlineTree::AddDestination(const Destination& destination) {
    destinations_.push_back(destination);
    return static_cast<LONG>(destinations_.size());
}

HRESULT OutlineTree::SetDestination(LONG entry, LONG destination) {
    if (!IsEntry(entry) || destination < 1 ||
        static_cast<std::size_t>(destination) > destinations_.size()) {
        return E_INVALIDARG;
    }
    At(entry).destination = destination;
    return S_OK;
}

}  // namespace pdfengine
