// Opening a document file the way Word's Documents.Open does: read-only, no macros, no links
// updated, no dialogs, within a time limit, and only text documents. A file that cannot be
// opened gives one of Word's run-time errors with a description.
#pragma once

#include <memory>
#include <string>

#include "components/word/office/LoadedDocument.h"
#include "components/word/office/Office.h"
#include "platform/com.h"

namespace word_component {

struct OpenFailure {
    HRESULT scode = S_OK;  // Word's error (see DispatchObject.h)
    std::string description;
};

// The loaded document (possibly the recently closed one of the same unchanged file), or null
// with *failure filled in.
std::shared_ptr<LoadedDocument> LoadDocument(const std::string& path, OpenFailure* failure);

// After a failed call: when the office no longer answers, the next Session restarts it.
void CheckOffice(const OfficeSession& session);

// Time limit of one call into the office that may hang on a bad document:
// TESSALINE_OFFICE_CALL_SECONDS (platform/environment_settings.h).
std::chrono::milliseconds OfficeCallLimit();

}  // namespace word_component
