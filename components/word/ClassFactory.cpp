// The library's entry point: the class factory of "Word.Application".
#include <atomic>
#include <type_traits>

#include "Objects.h"
#include "Office.h"
#include "OfficeProcess.h"
#include "installer.h"

namespace {

using tessaline::installer::kWordApplicationClsid;

// The server program could not be started: here, the office is not installed.
constexpr HRESULT CO_E_SERVER_EXEC_FAILURE = static_cast<HRESULT>(0x80080005);

class ClassFactory final : public IClassFactory {
  public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        if (object == nullptr) {
            return E_POINTER;
        }
        if (riid != IID_IUnknown && riid != IID_IClassFactory) {
            *object = nullptr;
            return E_NOINTERFACE;
        }
        AddRef();
        *object = static_cast<IClassFactory*>(this);
        return S_OK;
    }
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
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
    ~ClassFactory() = default;
    std::atomic<ULONG> refs_{1};
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid,
                                                                            REFIID riid,
                                                                            void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (clsid != kWordApplicationClsid) {
        return CLASS_E_CLASSNOTAVAILABLE;
    }
    auto* factory = new ClassFactory;
    const HRESULT hr = factory->QueryInterface(riid, object);
    factory->Release();
    return hr;
}

static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectProc>,
              "the export has the type the class registry calls");
