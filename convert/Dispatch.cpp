#include "convert/Dispatch.h"

#include <utility>

#include "contracts/DispatchIds.h"
#include "platform/text.h"

namespace dispatch {

namespace {

// The value a by-reference variant points at, else the variant itself.
const VARIANT& Value(const VARIANT& v) {
    if (v.vt == (VT_BYREF | VT_VARIANT) && v.pvarVal != nullptr) {
        return *v.pvarVal;
    }
    return v;
}

// Converts into a scratch variant, which the caller clears.
void ChangeType(VARIANT& out, const VARIANT& in, VARTYPE type) {
    VariantInit(&out);
    Check(VariantChangeType(&out, &in, 0, type));
}

// The HRESULT an exception report stands for, as COM smart callers map it: its scode, else
// its 16-bit code in the interface range, else DISP_E_EXCEPTION itself.
HRESULT ExceptionResult(const EXCEPINFO& info) {
    if (info.scode != 0) {
        return info.scode;
    }
    if (info.wCode == 0) {
        return DISP_E_EXCEPTION;
    }
    constexpr LONG kFirstWCode = static_cast<LONG>(0x80040200);
    constexpr LONG kLastWCode = static_cast<LONG>(0x8004FFFF);
    return info.wCode >= 0xFE00 ? kLastWCode : kFirstWCode + info.wCode;
}

}  // namespace

Variant::Variant() {
    VariantInit(&v_);
}

Variant::Variant(const Variant& other) {
    VariantInit(&v_);
    Check(VariantCopy(&v_, &other.v_));
}

Variant::Variant(Variant&& other) noexcept : v_(other.v_) {
    VariantInit(&other.v_);
}

Variant& Variant::operator=(Variant other) noexcept {
    std::swap(v_, other.v_);
    return *this;
}

Variant::~Variant() {
    VariantClear(&v_);
}

Variant Variant::Missing() {
    Variant v;
    v.v_.vt = VT_ERROR;
    v.v_.scode = DISP_E_PARAMNOTFOUND;
    return v;
}

Variant Variant::Int16(SHORT value) {
    Variant v;
    v.v_.vt = VT_I2;
    v.v_.iVal = value;
    return v;
}

Variant Variant::Int32(LONG value) {
    Variant v;
    v.v_.vt = VT_I4;
    v.v_.lVal = value;
    return v;
}

Variant Variant::Float(FLOAT value) {
    Variant v;
    v.v_.vt = VT_R4;
    v.v_.fltVal = value;
    return v;
}

Variant Variant::Bool(bool value) {
    Variant v;
    v.v_.vt = VT_BOOL;
    v.v_.boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
    return v;
}

Variant Variant::String(std::string_view utf8) {
    std::u16string text = platform::Utf8ToUtf16(utf8);
    Variant v;
    v.v_.bstrVal = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
    if (v.v_.bstrVal == nullptr) {
        throw _com_error(E_OUTOFMEMORY);
    }
    v.v_.vt = VT_BSTR;
    return v;
}

Variant Variant::Object(IDispatch* object) {
    Variant v;
    v.v_.vt = VT_DISPATCH;
    v.v_.pdispVal = object;
    if (object != nullptr) {
        object->AddRef();
    }
    return v;
}

VARIANT* Variant::Put() {
    VariantClear(&v_);
    return &v_;
}

ComPtr<IDispatch> Variant::AsDispatch() const {
    const VARIANT& v = Value(v_);
    IDispatch* object = nullptr;
    if (v.vt == VT_DISPATCH) {
        object = v.pdispVal;
    } else if (v.vt == (VT_BYREF | VT_DISPATCH) && v.ppdispVal != nullptr) {
        object = *v.ppdispVal;
    } else {
        throw _com_error(DISP_E_TYPEMISMATCH);
    }
    if (object != nullptr) {
        object->AddRef();
    }
    return ComPtr<IDispatch>(object);
}

std::string Variant::AsString() const {
    const VARIANT& v = Value(v_);
    if (v.vt == VT_BSTR) {
        return platform::Utf16ToUtf8(std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal)));
    }
    VARIANT text;
    ChangeType(text, v, VT_BSTR);
    std::string result =
        platform::Utf16ToUtf8(std::u16string_view(text.bstrVal, SysStringLen(text.bstrVal)));
    VariantClear(&text);
    return result;
}

LONG Variant::AsInt() const {
    VARIANT number;
    ChangeType(number, Value(v_), VT_I4);
    return number.lVal;
}

double Variant::AsDouble() const {
    // Positions arrive as 4-byte floats; read numbers directly so no precision is lost.
    const VARIANT& v = Value(v_);
    switch (v.vt) {
        case VT_R4:
            return v.fltVal;
        case VT_R8:
            return v.dblVal;
        case VT_I2:
            return v.iVal;
        case VT_I4:
            return v.lVal;
        case VT_INT:
            return v.intVal;
        default: {
            VARIANT number;
            ChangeType(number, v, VT_R8);
            return number.dblVal;
        }
    }
}

bool Variant::AsBool() const {
    VARIANT flag;
    ChangeType(flag, Value(v_), VT_BOOL);
    return flag.boolVal != VARIANT_FALSE;
}

void Check(HRESULT hr) {
    if (FAILED(hr)) {
        throw _com_error(hr);
    }
}

Variant Invoke(IDispatch* object, DISPID member, WORD flags, std::span<Variant> args) {
    if (object == nullptr) {
        throw _com_error(E_POINTER);
    }
    // rgvarg holds the arguments last first, each a reference to the caller's variant.
    std::vector<VARIANT> refs(args.size());
    for (size_t i = 0; i < args.size(); ++i) {
        VARIANT& ref = refs[args.size() - 1 - i];
        VariantInit(&ref);
        ref.vt = VT_BYREF | VT_VARIANT;
        ref.pvarVal = &args[i].Raw();
    }
    DISPPARAMS params{refs.data(), nullptr, static_cast<UINT>(refs.size()), 0};
    Variant result;
    EXCEPINFO info{};
    UINT argErr = 0;
    HRESULT hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params, result.Put(),
                                &info, &argErr);
    if (SUCCEEDED(hr)) {
        return result;
    }
    std::u16string description;
    if (hr == DISP_E_EXCEPTION) {
        if (info.pfnDeferredFillIn != nullptr) {
            info.pfnDeferredFillIn(&info);
        }
        hr = ExceptionResult(info);
        if (info.bstrDescription != nullptr) {
            description.assign(info.bstrDescription, SysStringLen(info.bstrDescription));
        }
    }
    SysFreeString(info.bstrSource);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrHelpFile);
    throw _com_error(hr, std::move(description));
}

ComPtr<IDispatch> RequireObject(const Variant& result) {
    ComPtr<IDispatch> object = result.AsDispatch();
    if (!object) {
        throw _com_error(E_POINTER);
    }
    return object;
}

ComPtr<IDispatch> GetObject(IDispatch* object, DISPID member) {
    return RequireObject(Get(object, member));
}

ComPtr<IDispatch> Item(IDispatch* collection, LONG index) {
    std::vector<Variant> args{Variant::Int32(index)};
    return RequireObject(Invoke(collection, tessaline::contracts::dispid::kItem,
                                DISPATCH_METHOD | DISPATCH_PROPERTYGET, args));
}

std::string GetString(IDispatch* object, DISPID member) {
    return Get(object, member).AsString();
}

LONG GetInt(IDispatch* object, DISPID member) {
    return Get(object, member).AsInt();
}

float GetFloat(IDispatch* object, DISPID member) {
    return static_cast<float>(Get(object, member).AsDouble());
}

}  // namespace dispatch
