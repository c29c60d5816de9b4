// A document the office has loaded for us, shared by the Document object that opened it and,
// once that is gone, by the list of recently closed documents that may hand it out again.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <ctime>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include <com/sun/star/frame/XFrame.hpp>
#include <com/sun/star/frame/XModel.hpp>

#include "components/word/office/Office.h"
#include "components/word/model/DocumentSnapshot.h"

namespace word_component {

// What identifies one version of a file: a changed file must be loaded again.
struct FileStamp {
    off_t size = 0;
    timespec modified{};
    dev_t device = 0;
    ino_t inode = 0;
    bool operator==(const FileStamp& other) const;
};
// False when the file cannot be looked at.
bool ReadFileStamp(const std::string& path, FileStamp* stamp);

struct LoadedDocument {
    css::uno::Reference<css::frame::XModel> model;
    css::uno::Reference<css::frame::XFrame> frame;  // ours, shown in nowhere (HiddenFrame.h)
    std::string path;                               // absolute, as opened
    FileStamp stamp;                                // of the file when it was loaded
    Office* office = nullptr;                       // the office that holds it
    unsigned generation = 0;                        // and that office's start (Office::Session)
    std::unique_ptr<Office::Tenancy> tenancy;       // counts it there while it lives

    // The office had it changed once loaded (fields it updated, say): it is not handed out again.
    // Nothing of ours changes a document afterwards (read-only, never edited), so this is known
    // without asking the office again.
    bool modifiedAtLoad = false;
    std::atomic<bool> printed{false};  // PrintOut ran on it: what it was opened for is done

    std::mutex exportMutex;
    std::string pdfPath;  // our PDF export of it, made once; deleted with the document

    // Its content and layout, taken once in the office and shared by every model of it (the
    // document is read-only, so they do not change). Taken before exportMutex when both are.
    std::mutex snapshotMutex;
    std::optional<word_model::DocumentSnapshot> snapshot;

    LoadedDocument() = default;
    LoadedDocument(const LoadedDocument&) = delete;
    LoadedDocument& operator=(const LoadedDocument&) = delete;
    // Closes the document and its frame in the office (without saving) and deletes the export.
    ~LoadedDocument();
    // The document may be handed to the next Open of the same, unchanged file.
    bool Reusable() const;
    // The office that holds it (the first office for a document made elsewhere).
    Office& Holder() const;
};

}  // namespace word_component
