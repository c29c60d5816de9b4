// A tiny automation component in a library of its own, for creating objects through a class
// registered by library path. Members, by dispatch id:
//   1 Join(a, b, c)   method: the three arguments as text, joined with "|", in call order
//   2 LiveObjects     property get: objects and class factories of this library still alive
#include <atomic>
#include <string>
#include <type_traits>

#include "platform/com.h"
#include "platform/com_object.h"

namespace {

// {5C3B7F12-8E41-4D6A-B0C2-71E9A4D3F605}; the tests name the same class id.
const CLSID kComponentClsid = {
    0x5C3B7F12, 0x8E41, 0x4D6A, {0xB0, 0xC2, 0x71, 0xE9, 0xA4, 0xD3, 0xF6, 0x05}};

constexpr DISPID kDispJoin = 1;
constexpr DISPID kDispLiveObjects = 2;

std::atomic<LONG> g_liveObjects{0};

// Counts the component's live objects, for the tests of unloading.
template <typename Interface>
class Counted : public platform::ComObject<Interface> {
  public:
    Counted() { ++g_liveObjects; }
    ~Counted() override { --g_liveObjects; }
};

class Component final : public Counted<IDispatch> {
  public:
    bool Answers(REFIID riid) const override { return riid == IID_IDispatch; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID, DISPID* dispIds) override {
        HRESULT hr = S_OK;
        for (UINT i = 0; i < count; ++i) {
            const std::u16string name = names[i];
            dispIds[i] = name == u"Join"          ? kDispJoin
                         : name == u"LiveObjects" ? kDispLiveObjects
                                                  : DISPID_UNKNOWN;
            if (dispIds[i] == DISPID_UNKNOWN) {
                hr = DISP_E_UNKNOWNNAME;
            }
        }
        return hr;
    }
    HRESULT Invoke(DISPID member, REFIID, LCID, WORD flags, DISPPARAMS* params, VARIANT* result,
                   EXCEPINFO*, UINT* argErr) override {
        if (member == kDispLiveObjects && (flags & DISPATCH_PROPERTYGET) != 0) {
            if (result != nullptr) {
                VariantInit(result);
                result->vt = VT_I4;
                result->lVal = g_liveObjects.load();
            }
            return S_OK;
        }
        if (member != kDispJoin || (flags & DISPATCH_METHOD) == 0) {
            return DISP_E_MEMBERNOTFOUND;
        }
        if (params == nullptr || params->cArgs != 3) {
            return DISP_E_BADPARAMCOUNT;
        }
        std::u16string joined;
        for (UINT position = 0; position < 3; ++position) {
            // The arguments arrive last first.
            const UINT index = params->cArgs - 1 - position;
            VARIANT text;
            VariantInit(&text);
            if (FAILED(VariantChangeType(&text, &params->rgvarg[index], 0, VT_BSTR))) {
                if (argErr != nullptr) {
                    *argErr = index;
                }
                return DISP_E_TYPEMISMATCH;
            }
            if (position > 0) {
                joined += u'|';
            }
            joined.append(text.bstrVal, SysStringLen(text.bstrVal));
            VariantClear(&text);
        }
        if (result != nullptr) {
            VariantInit(result);
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringLen(joined.data(), static_cast<UINT>(joined.size()));
        }
        return S_OK;
    }
};

class Factory final : public Counted<IClassFactory> {
  public:
    bool Answers(REFIID riid) const override { return riid == IID_IClassFactory; }
    HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) override {
        if (outer != nullptr) {
            *object = nullptr;
            return CLASS_E_NOAGGREGATION;
        }
        return platform::HandOutNewObject(new Component, riid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT DllGetClassObject(REFCLSID clsid,
                                                                            REFIID riid,
                                                                            void** object) {
    return platform::GetClassObjectOf<Factory>(kComponentClsid, clsid, riid, object);
}

static_assert(std::is_same_v<decltype(&DllGetClassObject), DllGetClassObjectProc>,
              "the export has the type the class registry calls");
