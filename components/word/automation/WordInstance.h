// One "Word.Application" instance's state, shared by its Application, Documents and Document
// objects: the documents it opened and whether it has quit. Its lock is held through every
// member call of those objects, so Quit never closes a document under a running call.
#pragma once

#include <memory>
#include <mutex>
#include <vector>

#include "components/word/office/LoadedDocument.h"
#include "components/word/office/Office.h"
#include "components/word/model/DocumentModel.h"

namespace word_component {

// A document as one instance has it open.
struct OpenedDocument {
    std::shared_ptr<LoadedDocument> loaded;
    std::unique_ptr<word_model::DocumentModel> model;  // its content and layout objects
};

class WordInstance {
  public:
    std::mutex mutex;
    bool quit = false;  // every object answers kDisconnected from then on
    std::vector<std::shared_ptr<OpenedDocument>> documents;

    // Closes one document (with the lock held): its objects are disconnected and the office's
    // document is kept for a moment in case the same file is opened again.
    void Close(const std::shared_ptr<OpenedDocument>& document);
    // Quit: closes every document without saving.
    void CloseAll();

  private:
    OfficeUser user_;  // the office stays while the instance has objects
};

}  // namespace word_component
