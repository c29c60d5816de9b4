// Documents: Open, in the three forms callers pick by Word's major version.
#include "components/word/automation/Objects.h"
#include "components/word/office/DocumentLoader.h"
#include "components/word/office/InOfficeSnapshot.h"
#include "contracts/DispatchIds.h"

namespace dispid = tessaline::contracts::dispid;

namespace word_component {

namespace {

using namespace word_model;

class Documents final : public DispatchObject {
  public:
    explicit Documents(std::shared_ptr<WordInstance> instance) : instance_(std::move(instance)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        std::lock_guard<std::mutex> lock(instance_->mutex);
        if (instance_->quit) {
            Fail(kDisconnected);
        }
        // FileName and then the optional arguments each form adds over the one before.
        switch (id) {
            case dispid::kDocumentsOpen9:
                ExpectMethod(flags, args, 1, 12);
                break;
            case dispid::kDocumentsOpen10:
                ExpectMethod(flags, args, 1, 15);
                break;
            case dispid::kDocumentsOpen11:
                ExpectMethod(flags, args, 1, 16);
                break;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
        const std::string path = args.String(0);
        OpenFailure failure;
        auto opened = std::make_shared<OpenedDocument>();
        opened->loaded = LoadDocument(path, &failure);
        if (!opened->loaded) {
            FailWord(failure.scode, failure.description);
        }
        opened->model = std::make_unique<DocumentModel>(opened->loaded->model, opened->loaded->path,
                                                        InOfficeSnapshots(opened->loaded));
        instance_->documents.push_back(opened);
        ReturnObject(result, MakeDocument(instance_, std::move(opened)));
        return S_OK;
    }

  private:
    std::shared_ptr<WordInstance> instance_;
};

}  // namespace

ComPtr<IDispatch> MakeDocuments(std::shared_ptr<WordInstance> instance) {
    return word_model::MakeObject<Documents>(std::move(instance));
}

}  // namespace word_component
