#include "components/word/model/DispatchObject.h"

#include <cmath>
#include <exception>

#include <com/sun/star/bridge/BridgeExistsException.hpp>
#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/Exception.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>
#include <rtl/ustring.hxx>

#include "platform/text.h"

namespace word_model {
namespace {

using platform::Utf16ToUtf8;
using platform::Utf8ToUtf16;

std::atomic<long> g_liveObjects{0};

// {7A51E0C4-3D92-4B8F-9E61-0C2B5D7F4A13}: asks one of our objects for itself.
const IID kSelfIid = {0x7A51E0C4, 0x3D92, 0x4B8F, {0x9E, 0x61, 0x0C, 0x2B, 0x5D, 0x7F, 0x4A, 0x13}};

BSTR MakeBstr(std::u16string_view text) {
    return SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.data()),
                             static_cast<UINT>(text.size()));
}

std::string ToUtf8(const rtl::OUString& text) {
    return Utf16ToUtf8(std::u16string_view(reinterpret_cast<const char16_t*>(text.getStr()),
                                           static_cast<size_t>(text.getLength())));
}

}  // namespace

void Fail(HRESULT hr, int argument) {
    throw DispatchFailure{hr, {}, false, argument};
}

void FailWord(HRESULT scode, const std::string& description) {
    throw DispatchFailure{scode, description, true, -1};
}

HRESULT RaiseWordError(EXCEPINFO* info, HRESULT scode, const std::string& description) {
    if (info != nullptr) {
        *info = EXCEPINFO{};
        info->bstrSource = MakeBstr(u"Microsoft Word");
        info->bstrDescription = MakeBstr(Utf8ToUtf16(description));
        info->scode = scode;
    }
    return DISP_E_EXCEPTION;
}

HRESULT TranslateCurrentException(EXCEPINFO* info, UINT* argErr, UINT argCount) {
    try {
        throw;
    } catch (const DispatchFailure& failure) {
        if (failure.wordError) {
            return RaiseWordError(info, failure.hr, failure.description);
        }
        if (argErr != nullptr && failure.argument >= 0 &&
            static_cast<UINT>(failure.argument) < argCount) {
            // COM counts arguments from the last one.
            *argErr = argCount - 1 - static_cast<UINT>(failure.argument);
        }
        return failure.hr;
    } catch (const css::lang::DisposedException&) {
        return kDisconnected;
    } catch (const css::uno::RuntimeException& e) {
        // A broken pipe to the office shows as a RuntimeException from the bridge.
        if (e.Message.indexOf("disposed") >= 0 || e.Message.indexOf("Binary URP bridge") >= 0) {
            return kDisconnected;
        }
        return RaiseWordError(info, kWordCommandFailed, ToUtf8(e.Message));
    } catch (const css::uno::Exception& e) {
        return RaiseWordError(info, kWordCommandFailed, ToUtf8(e.Message));
    } catch (const std::bad_alloc&) {
        return E_OUTOFMEMORY;
    } catch (const std::exception& e) {
        return RaiseWordError(info, kWordCommandFailed, e.what());
    } catch (...) {
        return E_UNEXPECTED;
    }
}

// ---- Arguments --------------------------------------------------------------------------------

Arguments::Arguments(const DISPPARAMS* params)
    : params_(params), count_(params == nullptr || params->rgvarg == nullptr ? 0 : params->cArgs) {}

void Arguments::ExpectCount(UINT min, UINT max) const {
    if (count_ < min || count_ > max) {
        Fail(DISP_E_BADPARAMCOUNT);
    }
}

const VARIANT& Arguments::Passed(UINT i) const {
    if (i >= count_) {
        Fail(DISP_E_PARAMNOTFOUND, static_cast<int>(i));
    }
    return params_->rgvarg[count_ - 1 - i];
}

const VARIANT& Arguments::Value(UINT i) const {
    const VARIANT& passed = Passed(i);
    if (passed.vt == (VT_BYREF | VT_VARIANT)) {
        if (passed.pvarVal == nullptr) {
            Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
        }
        return *passed.pvarVal;
    }
    return passed;
}

bool Arguments::Omitted(UINT i) const {
    if (i >= count_) {
        return true;
    }
    const VARIANT& v = Value(i);
    return v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND;
}

bool Arguments::IsString(UINT i) const {
    const VARIANT& v = Value(i);
    return v.vt == VT_BSTR || v.vt == (VT_BYREF | VT_BSTR);
}

std::int32_t Arguments::Int(UINT i) const {
    const VARIANT& v = Value(i);
    const bool byRef = (v.vt & VT_BYREF) != 0;
    if (byRef && v.byref == nullptr) {
        Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
    }
    switch (v.vt & ~VT_BYREF) {
        case VT_I2:
            return byRef ? *v.piVal : v.iVal;
        case VT_I4:
            return byRef ? *v.plVal : v.lVal;
        case VT_INT:
            return byRef ? *static_cast<INT*>(v.byref) : v.intVal;
        case VT_UI1:
            return byRef ? *static_cast<BYTE*>(v.byref) : v.bVal;
        case VT_UI4: {
            const ULONG value = byRef ? *static_cast<ULONG*>(v.byref) : v.ulVal;
            if (value > 0x7FFFFFFFu) {
                Fail(DISP_E_OVERFLOW, static_cast<int>(i));
            }
            return static_cast<std::int32_t>(value);
        }
        case VT_BOOL:
            return (byRef ? *v.pboolVal : v.boolVal) != 0 ? -1 : 0;
        case VT_R4:
        case VT_R8: {
            const double value = Float(i);
            if (value != std::trunc(value) || std::fabs(value) > 2147483647.0) {
                Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
            }
            return static_cast<std::int32_t>(value);
        }
        default:
            Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
    }
}

double Arguments::Float(UINT i) const {
    const VARIANT& v = Value(i);
    const bool byRef = (v.vt & VT_BYREF) != 0;
    if (byRef && v.byref == nullptr) {
        Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
    }
    switch (v.vt & ~VT_BYREF) {
        case VT_R4:
            return byRef ? *v.pfltVal : v.fltVal;
        case VT_R8:
            return byRef ? *v.pdblVal : v.dblVal;
        default:
            return Int(i);
    }
}

std::string Arguments::String(UINT i) const {
    const VARIANT& v = Value(i);
    BSTR text = nullptr;
    if (v.vt == VT_BSTR) {
        text = v.bstrVal;
    } else if (v.vt == (VT_BYREF | VT_BSTR) && v.pbstrVal != nullptr) {
        text = *v.pbstrVal;
    } else {
        Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
    }
    if (text == nullptr) {
        return {};
    }
    return Utf16ToUtf8(
        std::u16string_view(reinterpret_cast<const char16_t*>(text), SysStringLen(text)));
}

bool Arguments::Bool(UINT i) const {
    return Float(i) != 0;
}

IDispatch* Arguments::Object(UINT i) const {
    const VARIANT& v = Value(i);
    if (v.vt == VT_DISPATCH) {
        return v.pdispVal;
    }
    if (v.vt == (VT_BYREF | VT_DISPATCH) && v.ppdispVal != nullptr) {
        return *v.ppdispVal;
    }
    Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
}

void Arguments::SetOutInt(UINT i, std::int32_t value) const {
    const VARIANT& passed = Passed(i);
    if (passed.vt == (VT_BYREF | VT_VARIANT) && passed.pvarVal != nullptr) {
        VariantClear(passed.pvarVal);
        passed.pvarVal->vt = VT_I4;
        passed.pvarVal->lVal = value;
    } else if (passed.vt == (VT_BYREF | VT_I4) && passed.plVal != nullptr) {
        *passed.plVal = value;
    } else if (passed.vt == (VT_BYREF | VT_R4) && passed.pfltVal != nullptr) {
        *passed.pfltVal = static_cast<float>(value);
    } else {
        Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
    }
}

void ExpectProperty(WORD flags, const Arguments& args, UINT minArgs, UINT maxArgs) {
    if ((flags & DISPATCH_PROPERTYGET) == 0) {
        Fail(DISP_E_MEMBERNOTFOUND);
    }
    args.ExpectCount(minArgs, maxArgs);
}

void ExpectMethod(WORD flags, const Arguments& args, UINT minArgs, UINT maxArgs) {
    if ((flags & DISPATCH_METHOD) == 0) {
        Fail(DISP_E_MEMBERNOTFOUND);
    }
    args.ExpectCount(minArgs, maxArgs);
}

void ExpectItem(WORD flags, const Arguments& args) {
    if ((flags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) == 0) {
        Fail(DISP_E_MEMBERNOTFOUND);
    }
    args.ExpectCount(1, 1);
}

// ---- Results ----------------------------------------------------------------------------------

void ReturnString(VARIANT* result, std::u16string_view utf16) {
    if (result == nullptr) {
        return;
    }
    BSTR text = MakeBstr(utf16);
    if (text == nullptr) {
        Fail(E_OUTOFMEMORY);
    }
    VariantClear(result);
    result->vt = VT_BSTR;
    result->bstrVal = text;
}

void ReturnString(VARIANT* result, std::string_view utf8) {
    ReturnString(result, std::u16string_view(Utf8ToUtf16(utf8)));
}

void ReturnInt(VARIANT* result, std::int32_t value) {
    if (result != nullptr) {
        VariantClear(result);
        result->vt = VT_I4;
        result->lVal = value;
    }
}

void ReturnFloat(VARIANT* result, float value) {
    if (result != nullptr) {
        VariantClear(result);
        result->vt = VT_R4;
        result->fltVal = value;
    }
}

void ReturnBool(VARIANT* result, bool value) {
    if (result != nullptr) {
        VariantClear(result);
        result->vt = VT_BOOL;
        result->boolVal = value ? -1 : 0;
    }
}

void ReturnObject(VARIANT* result, ComPtr<IDispatch> object) {
    if (result != nullptr) {
        VariantClear(result);
        result->vt = VT_DISPATCH;
        result->pdispVal = object.Detach();
    }
}

// ---- DispatchObject ---------------------------------------------------------------------------

DispatchObject::DispatchObject() {
    ++g_liveObjects;
}

DispatchObject::~DispatchObject() {
    --g_liveObjects;
}

long DispatchObject::LiveObjects() {
    return g_liveObjects.load();
}

HRESULT DispatchObject::QueryInterface(REFIID riid, void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    if (riid == kSelfIid) {
        *object = this;  // no reference: only for recognizing our own objects
        return S_OK;
    }
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        AddRef();
        *object = static_cast<IDispatch*>(this);
        return S_OK;
    }
    *object = nullptr;
    return E_NOINTERFACE;
}

ULONG DispatchObject::AddRef() {
    return ++refs_;
}

ULONG DispatchObject::Release() {
    const ULONG left = --refs_;
    if (left == 0) {
        delete this;
    }
    return left;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* count) {
    if (count == nullptr) {
        return E_POINTER;
    }
    *count = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** info) {
    if (info != nullptr) {
        *info = nullptr;
    }
    return E_NOTIMPL;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID, LPOLESTR*, UINT count, LCID, DISPID* dispIds) {
    for (UINT i = 0; dispIds != nullptr && i < count; ++i) {
        dispIds[i] = DISPID_UNKNOWN;
    }
    return DISP_E_UNKNOWNNAME;  // late binding by dispatch id only
}

HRESULT DispatchObject::Invoke(DISPID dispIdMember, REFIID, LCID, WORD flags, DISPPARAMS* params,
                               VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) {
    if (params != nullptr && params->cArgs > 0 && params->rgvarg == nullptr) {
        return E_INVALIDARG;
    }
    if (params != nullptr && params->cNamedArgs > 0) {
        return DISP_E_PARAMNOTFOUND;  // no caller of ours names its arguments
    }
    VARIANT scratch;
    VariantInit(&scratch);
    const Arguments args(params);
    HRESULT hr;
    try {
        hr = Call(dispIdMember, flags, args, &scratch);
    } catch (...) {
        hr = TranslateCurrentException(excepInfo, argErr, args.Count());
    }
    if (SUCCEEDED(hr) && result != nullptr) {
        VariantClear(result);
        *result = scratch;  // hands over what scratch owns
    } else {
        VariantClear(&scratch);
    }
    return hr;
}

DispatchObject* DispatchObject::From(IUnknown* object) {
    if (object == nullptr) {
        return nullptr;
    }
    void* self = nullptr;
    if (object->QueryInterface(kSelfIid, &self) != S_OK) {
        return nullptr;
    }
    return static_cast<DispatchObject*>(self);
}

}  // namespace word_model
