// The most recently closed documents, kept loaded for a short while: the conversion opens every
// document twice in a row (once to read it, once to print it), and a batch may open its next
// documents ahead of their turn; the later opens then cost nothing. A document is handed out
// again only for the same path whose file is unchanged, and only while its office is the one
// that loaded it. At most kMostKept are kept; when one more comes, the oldest printed one goes
// (printing is the last thing a conversion opens a document for), else the oldest.
#pragma once

#include <cstddef>
#include <deque>
#include <memory>
#include <string>

#include "LoadedDocument.h"

namespace word_component {

class RecentDocuments {
  public:
    // The process's one list; it closes expired documents from the office's housekeeping.
    static RecentDocuments& Get();

    static constexpr std::size_t kMostKept = 6;

    // Keeps a document that its last user has closed; one kept before of the same path, or one
    // to make room, is closed.
    void Keep(std::shared_ptr<LoadedDocument> document);
    // The kept document of that path when the file still has that stamp and the office is of
    // that generation; it is no longer kept then (nor when it does not fit).
    std::shared_ptr<LoadedDocument> Take(const std::string& path, const FileStamp& stamp,
                                         unsigned generation);
    // Closes what is kept.
    void Clear();

  private:
    RecentDocuments() = default;
    void Expire();
    struct Entry;
    std::deque<std::shared_ptr<Entry>> entries_;  // oldest first
};

}  // namespace word_component
