// The library's one export: the class factory of the PDF engine's document class, as the
// platform's class registry asks a registered component library for it.
#include <type_traits>

#include "components/pdfengine/PdfDocument.h"
#include "contracts/Installation.h"
#include "platform/com.h"
#include "platform/com_object.h"

namespace {

class DocumentFactory final : public platform::ComObject<IClassFactory> {
  public:
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        return pdfengine::CreatePdfDocument(riid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

  private:
    ~DocumentFactory() override = default;
    bool Answers(REFIID riid) const override { return riid == IID_IClassFactory; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid,
                                                                            REFIID riid,
                                                                            void** object) {
    return platform::GetClassObjectOf<DocumentFactory>(tessaline::contracts::kPdfDocumentClsid,
                                                       clsid, riid, object);
}

static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectProc>,
              "the export has the type the class registry calls");
