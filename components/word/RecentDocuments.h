// The most recently closed document, kept loaded for a short while: the conversion opens every
// document twice in a row (once to read it, once to print it), and the second open then costs
// nothing. A document is handed out again only for the same path whose file is unchanged, and
// only while its office is the one that loaded it.
#pragma once

#include <memory>
#include <string>

#include "LoadedDocument.h"

namespace word_component {

class RecentDocuments {
  public:
    // The process's one list; it closes expired documents from the office's housekeeping.
    static RecentDocuments& Get();

    // Keeps a document that its last user has closed; the one kept before is closed.
    void Keep(std::shared_ptr<LoadedDocument> document);
    // The kept document of that path when the file still has that stamp and the office is of
    // that generation; it is no longer kept then.
    std::shared_ptr<LoadedDocument> Take(const std::string& path, const FileStamp& stamp,
                                         unsigned generation);
    // Closes what is kept.
    void Clear();

  private:
    RecentDocuments() = default;
    void Expire();
    struct Entry;
    std::shared_ptr<Entry> entry_;
};

}  // namespace word_component
