// Application: Version, Documents and Quit.
#include "components/word/automation/Objects.h"
#include "contracts/DispatchIds.h"

namespace dispid = tessaline::contracts::dispid;

namespace word_component {

namespace {

using namespace word_model;

class Application final : public DispatchObject {
  public:
    Application() : instance_(std::make_shared<WordInstance>()) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        std::lock_guard<std::mutex> lock(instance_->mutex);
        if (instance_->quit) {
            Fail(kDisconnected);
        }
        switch (id) {
            case dispid::kApplicationVersion:
                ExpectProperty(flags, args);
                ReturnString(result, std::string_view(kVersion));
                return S_OK;
            case dispid::kApplicationDocuments:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeDocuments(instance_));
                return S_OK;
            case dispid::kApplicationQuit:
                // SaveChanges, OriginalFormat, RouteDocument: documents are opened read-only
                // and never saved, whatever is asked.
                ExpectMethod(flags, args, 0, 3);
                instance_->CloseAll();
                instance_->quit = true;
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    std::shared_ptr<WordInstance> instance_;
};

}  // namespace

ComPtr<IDispatch> MakeApplication() {
    return word_model::MakeObject<Application>();
}

}  // namespace word_component
