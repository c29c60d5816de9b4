#include "components/word/automation/WordInstance.h"

#include <algorithm>

#include "components/word/office/RecentDocuments.h"

namespace word_component {

void WordInstance::Close(const std::shared_ptr<OpenedDocument>& document) {
    documents.erase(std::remove(documents.begin(), documents.end(), document), documents.end());
    try {
        document->model.reset();
    } catch (...) {
        // Its objects are disconnected either way.
    }
    if (document->loaded) {
        RecentDocuments::Get().Keep(std::move(document->loaded));
    }
}

void WordInstance::CloseAll() {
    while (!documents.empty()) {
        Close(documents.back());
    }
}

}  // namespace word_component
