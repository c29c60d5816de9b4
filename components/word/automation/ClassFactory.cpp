// The library's entry point: the class factory of "Word.Application".
#include <type_traits>

#include "components/word/automation/Objects.h"
#include "components/word/office/Office.h"
#include "components/word/office/OfficeProcess.h"
#include "contracts/Installation.h"
#include "platform/com_object.h"

namespace {

using tessaline::contracts::kWordApplicationClsid;

// The server program could not be started: here, the office is not installed.
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005);

class ClassFactory final : public platform::ComObject<IClassFactory> {
  public:
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        *object = nullptr;
        if (outer != nullptr) {
            return CLASS_E_NOAGGREGATION;
        }
        if (!word_component::OfficeProgramAvailable()) {
            return CO_E_SERVER_EXEC_FAILURE;
        }
        ComPtr<IDispatch> application = word_component::MakeApplication();
        // The caller's next step is Open: have the office ready by then.
        word_component::Office::Get().Prestart();
        return application->QueryInterface(riid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

  private:
    ~ClassFactory() override = default;
    bool Answers(REFIID riid) const override { return riid == IID_IClassFactory; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid,
                                                                            REFIID riid,
                                                                            void** object) {
    return platform::GetClassObjectOf<ClassFactory>(kWordApplicationClsid, clsid, riid, object);
}

static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectProc>,
              "the export has the type the class registry calls");
