// LibreOffice's own PDF export of the example documents, with bookmarks and links: what the
// converted PDFs are compared with. The exports are made once per build tree, all documents in
// one office run, and made again when an example changes.
#pragma once

#include <filesystem>
#include <string>

namespace e2e {

// The reference PDF of example `name` (e.g. "toc-headings.doc"), made on first use. Empty with
// the reason in *error when the office fails.
std::filesystem::path ReferencePdf(const std::string& name, std::string* error);

// The folder the reference copies of the documents sit in: file link targets of a reference
// export are relative to it.
std::filesystem::path ReferenceDocumentFolder();

}  // namespace e2e
