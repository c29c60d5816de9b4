// The most recently closed documents, kept loaded for a short while: the conversion opens every
// document twice in a row (once to read it, once to print it), and a batch may open its next
// documents ahead of their turn; the later opens then cost nothing. A document is handed out
// again only for the same path whose file is unchanged, and only while the office that loaded it
// still runs. At most kMostKept are kept, and of those at most kMostPrintedKept that were printed
// (printing is the last thing a conversion opens a document for); when one more comes, the
// oldest printed one goes, else the oldest. A document printed in an office that is due for
// replacement is not kept at all (see Office.h): the office then goes sooner.
#pragma once

#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "components/word/office/LoadedDocument.h"

namespace word_component {

class RecentDocuments {
  public:
    // The process's one list; it closes expired documents from the office's housekeeping.
    static RecentDocuments& Get();

    // Room for the documents a batch reads ahead (see app/cli/ReadAhead.h) and a few more.
    static constexpr std::size_t kMostKept = 24;
    static constexpr std::size_t kMostPrintedKept = 2;

    // Keeps a document that its last user has closed; one kept before of the same path, or one
    // to make room, is closed.
    void Keep(std::shared_ptr<LoadedDocument> document);
    // The kept document of that path when the file still has that stamp and its office still
    // runs; it is no longer kept then (nor when it does not fit).
    std::shared_ptr<LoadedDocument> Take(const std::string& path, const FileStamp& stamp);
    // Closes what is kept in that office.
    void ClearOf(const Office& office);

  private:
    RecentDocuments() = default;
    void Expire();
    struct Entry;
    // Takes the entries whose document `which` picks out of the list (the caller holds the lock).
    void MoveOutLocked(const std::function<bool(const LoadedDocument&)>& which,
                       std::vector<std::shared_ptr<Entry>>* out);
    std::deque<std::shared_ptr<Entry>> entries_;  // oldest first
};

}  // namespace word_component
