#include "DocumentModel.h"

namespace word_model {

struct DocumentState {
    css::uno::Reference<css::frame::XModel> model;
    std::string path;
};

DocumentModel::DocumentModel(const css::uno::Reference<css::frame::XModel>& model,
                             const std::string& path)
    : state_(std::make_shared<DocumentState>(DocumentState{model, path})) {}

DocumentModel::~DocumentModel() = default;

HRESULT DocumentModel::Member(DISPID, WORD, const Arguments&, VARIANT*) {
    return DISP_E_MEMBERNOTFOUND;  // the collections follow
}

int DocumentModel::PageCount() {
    return 0;
}

}  // namespace word_model
