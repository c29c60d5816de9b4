// Where a document's placed PDFs wait until the document is saved: one unnamed temporary file
// per document, so a long document holds its pages on disk, not in memory, and a page file that
// goes away after it was drawn does not matter.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com.h"

namespace pdfengine {

// A run of bytes in the store.
struct StoredBytes {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
};

class PageStore {
  public:
    PageStore() = default;
    PageStore(const PageStore&) = delete;
    PageStore& operator=(const PageStore&) = delete;
    ~PageStore();

    // Appends `bytes`. The file is made on first use in the user's temporary folder and unlinked
    // at once, so nothing is left behind whatever happens to the process.
    HRESULT Append(std::string_view bytes, StoredBytes* where);
    HRESULT Read(const StoredBytes& where, std::string* bytes) const;

  private:
    HRESULT Open();

    int fd_ = -1;
    std::uint64_t end_ = 0;
};

}  // namespace pdfengine
