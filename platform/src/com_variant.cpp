// BSTR and VARIANT. A BSTR is laid out as on Windows: a 4-byte byte length just before the
// characters, and a terminating NUL after them, so code that reads either form works.
// Conversions never consult the C locale: components and the system must agree on "1.5".
#include <algorithm>
#include <cctype>
#include <cfloat>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include "platform/com.h"
#include "platform/text.h"

namespace {

using Prefix = std::uint32_t;

BSTR AllocateBstr(UINT length) {
    constexpr UINT kMaxLength = (std::numeric_limits<Prefix>::max() - 2) / sizeof(OLECHAR);
    if (length > kMaxLength) {
        return nullptr;
    }
    const Prefix bytes = static_cast<Prefix>(length * sizeof(OLECHAR));
    auto* block =
        static_cast<unsigned char*>(std::malloc(sizeof(Prefix) + bytes + sizeof(OLECHAR)));
    if (block == nullptr) {
        return nullptr;
    }
    std::memcpy(block, &bytes, sizeof bytes);
    BSTR text = reinterpret_cast<BSTR>(block + sizeof(Prefix));
    text[length] = u'\0';
    return text;
}

BSTR AllocateBstr(std::u16string_view text) {
    BSTR result = AllocateBstr(static_cast<UINT>(text.size()));
    if (result != nullptr) {
        std::copy(text.begin(), text.end(), result);
    }
    return result;
}

bool IsValueType(VARTYPE type) {
    switch (type) {
        case VT_EMPTY:
        case VT_NULL:
        case VT_I2:
        case VT_I4:
        case VT_R4:
        case VT_R8:
        case VT_BSTR:
        case VT_DISPATCH:
        case VT_ERROR:
        case VT_BOOL:
        case VT_UNKNOWN:
        case VT_UI1:
        case VT_UI4:
        case VT_INT:
            return true;
        default:
            return false;
    }
}

bool IsValidType(VARTYPE vt) {
    if ((vt & VT_BYREF) != 0) {
        const VARTYPE base = vt & ~VT_BYREF;
        return base == VT_VARIANT || (IsValueType(base) && base != VT_EMPTY && base != VT_NULL);
    }
    return IsValueType(vt);
}

bool IsInterface(VARTYPE vt) {
    return vt == VT_DISPATCH || vt == VT_UNKNOWN;
}

// The interface a by-value VT_DISPATCH or VT_UNKNOWN variant holds.
IUnknown* InterfaceOf(const VARIANT& variant) {
    return variant.vt == VT_DISPATCH ? static_cast<IUnknown*>(variant.pdispVal) : variant.punkVal;
}

// The value a variant holds, with a reference read through. The result does not own anything.
HRESULT ReadThrough(const VARIANT& source, VARIANT* value) {
    if (!IsValidType(source.vt)) {
        return DISP_E_BADVARTYPE;
    }
    *value = source;
    if ((source.vt & VT_BYREF) == 0) {
        return S_OK;
    }
    if (source.byref == nullptr) {
        return E_INVALIDARG;
    }
    const VARTYPE base = source.vt & ~VT_BYREF;
    if (base == VT_VARIANT) {
        // One level only: a variant that refers to a variant that refers on is malformed.
        const VARIANT& target = *source.pvarVal;
        if (target.vt == (VT_BYREF | VT_VARIANT)) {
            return DISP_E_BADVARTYPE;
        }
        return ReadThrough(target, value);
    }
    value->vt = base;
    switch (base) {
        case VT_I2:
            value->iVal = *source.piVal;
            break;
        case VT_I4:
            value->lVal = *source.plVal;
            break;
        case VT_R4:
            value->fltVal = *source.pfltVal;
            break;
        case VT_R8:
            value->dblVal = *source.pdblVal;
            break;
        case VT_BSTR:
            value->bstrVal = *source.pbstrVal;
            break;
        case VT_DISPATCH:
            value->pdispVal = *source.ppdispVal;
            break;
        case VT_UNKNOWN:
            value->punkVal = *static_cast<IUnknown**>(source.byref);
            break;
        case VT_ERROR:
            value->scode = *source.pscode;
            break;
        case VT_BOOL:
            value->boolVal = *source.pboolVal;
            break;
        case VT_UI1:
            value->bVal = *static_cast<BYTE*>(source.byref);
            break;
        case VT_UI4:
            value->ulVal = *static_cast<ULONG*>(source.byref);
            break;
        case VT_INT:
            value->intVal = *static_cast<INT*>(source.byref);
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    return S_OK;
}

// ---- Numbers -------------------------------------------------------------------------------

// A basic value as a number: integers exactly, reals as doubles.
struct Number {
    bool integer = true;
    std::int64_t whole = 0;
    double real = 0;

    double AsReal() const { return integer ? static_cast<double>(whole) : real; }
    bool IsZero() const { return integer ? whole == 0 : real == 0; }
};

bool IsSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

std::string_view Trim(std::string_view text) {
    while (!text.empty() && IsSpace(text.front())) {
        text.remove_prefix(1);
    }
    while (!text.empty() && IsSpace(text.back())) {
        text.remove_suffix(1);
    }
    return text;
}

bool IsDigit(char c) {
    return c >= '0' && c <= '9';
}

bool EqualsAsciiNoCase(std::string_view a, std::string_view b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
               return std::tolower(static_cast<unsigned char>(x)) ==
                      std::tolower(static_cast<unsigned char>(y));
           });
}

// Decimal text: an optional sign, digits with an optional "." part, an optional exponent, blanks
// around. DISP_E_TYPEMISMATCH for anything else, DISP_E_OVERFLOW beyond a double's range.
HRESULT ParseNumber(std::string_view text, double* value) {
    text = Trim(text);
    size_t at = 0;
    std::string digits;
    if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        if (text[at] == '-') {
            digits += '-';
        }
        ++at;
    }
    const size_t numberStart = at;
    size_t mantissaDigits = 0;
    while (at < text.size() && IsDigit(text[at])) {
        ++at;
        ++mantissaDigits;
    }
    if (at < text.size() && text[at] == '.') {
        ++at;
        while (at < text.size() && IsDigit(text[at])) {
            ++at;
            ++mantissaDigits;
        }
    }
    if (mantissaDigits == 0) {
        return DISP_E_TYPEMISMATCH;
    }
    if (at < text.size() && (text[at] == 'e' || text[at] == 'E')) {
        ++at;
        if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
            ++at;
        }
        const size_t exponentStart = at;
        while (at < text.size() && IsDigit(text[at])) {
            ++at;
        }
        if (at == exponentStart) {
            return DISP_E_TYPEMISMATCH;
        }
    }
    if (at != text.size()) {
        return DISP_E_TYPEMISMATCH;
    }
    digits.append(text.substr(numberStart));
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), *value);
    if (error == std::errc::result_out_of_range) {
        return DISP_E_OVERFLOW;
    }
    return error == std::errc() && end == digits.data() + digits.size() ? S_OK
                                                                        : DISP_E_TYPEMISMATCH;
}

HRESULT ToNumber(const VARIANT& value, Number* number) {
    switch (value.vt) {
        case VT_EMPTY:
            *number = Number{};
            return S_OK;
        case VT_I2:
            number->whole = value.iVal;
            return S_OK;
        case VT_I4:
            number->whole = value.lVal;
            return S_OK;
        case VT_INT:
            number->whole = value.intVal;
            return S_OK;
        case VT_UI1:
            number->whole = value.bVal;
            return S_OK;
        case VT_UI4:
            number->whole = value.ulVal;
            return S_OK;
        case VT_BOOL:
            number->whole = value.boolVal;
            return S_OK;
        case VT_R4:
            number->integer = false;
            number->real = value.fltVal;
            return S_OK;
        case VT_R8:
            number->integer = false;
            number->real = value.dblVal;
            return S_OK;
        case VT_BSTR: {
            number->integer = false;
            const std::u16string_view text(value.bstrVal != nullptr ? value.bstrVal : u"",
                                           SysStringLen(value.bstrVal));
            return ParseNumber(platform::Utf16ToUtf8(text), &number->real);
        }
        default:
            return DISP_E_TYPEMISMATCH;
    }
}

// Rounds to the nearest integer, halves to the even one, as Windows converts reals to integers.
double RoundHalfEven(double value) {
    const double floor = std::floor(value);
    const double fraction = value - floor;
    if (fraction > 0.5) {
        return floor + 1;
    }
    if (fraction < 0.5) {
        return floor;
    }
    return std::fmod(floor, 2.0) == 0 ? floor : floor + 1;
}

HRESULT ToInteger(const Number& number, std::int64_t min, std::int64_t max, std::int64_t* out) {
    if (number.integer) {
        if (number.whole < min || number.whole > max) {
            return DISP_E_OVERFLOW;
        }
        *out = number.whole;
        return S_OK;
    }
    if (std::isnan(number.real)) {
        return DISP_E_OVERFLOW;
    }
    const double rounded = RoundHalfEven(number.real);
    if (rounded < static_cast<double>(min) || rounded > static_cast<double>(max)) {
        return DISP_E_OVERFLOW;
    }
    *out = static_cast<std::int64_t>(rounded);
    return S_OK;
}

// Reals as Windows writes them: up to 15 significant digits for a double, 7 for a float, an
// exponent only for very large or small values ("1E+20"), never "-0".
std::string FormatReal(double value, int precision) {
    if (value == 0) {
        return "0";
    }
    char buffer[64];
    const auto [end, error] =
        std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::general, precision);
    std::string text(buffer, error == std::errc() ? end : buffer);
    std::replace(text.begin(), text.end(), 'e', 'E');
    return text;
}

HRESULT ToText(const VARIANT& value, USHORT flags, std::string* text) {
    switch (value.vt) {
        case VT_EMPTY:
            text->clear();
            return S_OK;
        case VT_BOOL:
            if ((flags & VARIANT_ALPHABOOL) != 0) {
                *text = value.boolVal != VARIANT_FALSE ? "True" : "False";
                return S_OK;
            }
            *text = std::to_string(value.boolVal);
            return S_OK;
        case VT_R4:
            *text = FormatReal(value.fltVal, 7);
            return S_OK;
        case VT_R8:
            *text = FormatReal(value.dblVal, 15);
            return S_OK;
        default: {
            Number number;
            HRESULT hr = ToNumber(value, &number);
            if (FAILED(hr)) {
                return hr;
            }
            *text = std::to_string(number.whole);
            return S_OK;
        }
    }
}

HRESULT ToBoolean(const VARIANT& value, VARIANT_BOOL* result) {
    if (value.vt == VT_BSTR) {
        const std::string text = platform::Utf16ToUtf8(std::u16string_view(
            value.bstrVal != nullptr ? value.bstrVal : u"", SysStringLen(value.bstrVal)));
        const std::string_view word = Trim(text);
        if (EqualsAsciiNoCase(word, "True") || EqualsAsciiNoCase(word, "False")) {
            *result = EqualsAsciiNoCase(word, "True") ? VARIANT_TRUE : VARIANT_FALSE;
            return S_OK;
        }
    }
    Number number;
    HRESULT hr = ToNumber(value, &number);
    if (SUCCEEDED(hr)) {
        *result = number.IsZero() ? VARIANT_FALSE : VARIANT_TRUE;
    }
    return hr;
}

// Converts a value (not by reference) to another type into an empty variant.
HRESULT Convert(const VARIANT& value, USHORT flags, VARTYPE type, VARIANT* out) {
    if (value.vt == type) {
        return VariantCopy(out, &value);
    }
    if (type == VT_EMPTY) {
        return S_OK;
    }
    if (value.vt == VT_NULL || type == VT_NULL || value.vt == VT_ERROR || type == VT_ERROR) {
        return DISP_E_TYPEMISMATCH;
    }
    if (IsInterface(type) || IsInterface(value.vt)) {
        // Only between the two interface types; objects have no value property here.
        if (!IsInterface(type) || !IsInterface(value.vt)) {
            return DISP_E_TYPEMISMATCH;
        }
        IUnknown* from = InterfaceOf(value);
        void* object = nullptr;
        if (from != nullptr && FAILED(from->QueryInterface(
                                   type == VT_DISPATCH ? IID_IDispatch : IID_IUnknown, &object))) {
            return DISP_E_TYPEMISMATCH;
        }
        out->vt = type;
        if (type == VT_DISPATCH) {
            out->pdispVal = static_cast<IDispatch*>(object);
        } else {
            out->punkVal = static_cast<IUnknown*>(object);
        }
        return S_OK;
    }
    if (type == VT_BSTR) {
        std::string text;
        HRESULT hr = ToText(value, flags, &text);
        if (FAILED(hr)) {
            return hr;
        }
        BSTR result = AllocateBstr(platform::Utf8ToUtf16(text));
        if (result == nullptr) {
            return E_OUTOFMEMORY;
        }
        out->vt = VT_BSTR;
        out->bstrVal = result;
        return S_OK;
    }
    if (type == VT_BOOL) {
        VARIANT_BOOL result = VARIANT_FALSE;
        HRESULT hr = ToBoolean(value, &result);
        if (SUCCEEDED(hr)) {
            out->vt = VT_BOOL;
            out->boolVal = result;
        }
        return hr;
    }
    Number number;
    HRESULT hr = ToNumber(value, &number);
    if (FAILED(hr)) {
        return hr;
    }
    if (type == VT_R8) {
        out->vt = VT_R8;
        out->dblVal = number.AsReal();
        return S_OK;
    }
    if (type == VT_R4) {
        const double real = number.AsReal();
        if (std::isfinite(real) && std::fabs(real) > FLT_MAX) {
            return DISP_E_OVERFLOW;
        }
        out->vt = VT_R4;
        out->fltVal = static_cast<float>(real);
        return S_OK;
    }
    std::int64_t whole = 0;
    switch (type) {
        case VT_I2:
            hr = ToInteger(number, INT16_MIN, INT16_MAX, &whole);
            out->iVal = static_cast<SHORT>(whole);
            break;
        case VT_I4:
            hr = ToInteger(number, INT32_MIN, INT32_MAX, &whole);
            out->lVal = static_cast<LONG>(whole);
            break;
        case VT_INT:
            hr = ToInteger(number, INT32_MIN, INT32_MAX, &whole);
            out->intVal = static_cast<INT>(whole);
            break;
        case VT_UI1:
            hr = ToInteger(number, 0, UINT8_MAX, &whole);
            out->bVal = static_cast<BYTE>(whole);
            break;
        case VT_UI4:
            hr = ToInteger(number, 0, UINT32_MAX, &whole);
            out->ulVal = static_cast<ULONG>(whole);
            break;
        default:
            return DISP_E_BADVARTYPE;
    }
    if (SUCCEEDED(hr)) {
        out->vt = type;
    }
    return hr;
}

}  // namespace

BSTR SysAllocString(LPCOLESTR text) {
    if (text == nullptr) {
        return nullptr;
    }
    return AllocateBstr(std::u16string_view(text));
}

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
    BSTR result = AllocateBstr(length);
    if (result != nullptr) {
        // Without a source the characters are zeroed rather than left undefined.
        if (text != nullptr) {
            std::copy(text, text + length, result);
        } else {
            std::fill(result, result + length, u'\0');
        }
    }
    return result;
}

void SysFreeString(BSTR text) {
    if (text != nullptr) {
        std::free(reinterpret_cast<unsigned char*>(text) - sizeof(Prefix));
    }
}

UINT SysStringLen(BSTR text) {
    if (text == nullptr) {
        return 0;
    }
    Prefix bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const unsigned char*>(text) - sizeof(Prefix),
                sizeof bytes);
    return bytes / sizeof(OLECHAR);
}

void VariantInit(VARIANTARG* variant) {
    std::memset(variant, 0, sizeof *variant);
    variant->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANTARG* variant) {
    if (variant == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsValidType(variant->vt)) {
        return DISP_E_BADVARTYPE;
    }
    const VARIANT old = *variant;
    VariantInit(variant);
    // The variant is empty before a release that may reach code holding it.
    if (old.vt == VT_BSTR) {
        SysFreeString(old.bstrVal);
    } else if (IsInterface(old.vt) && InterfaceOf(old) != nullptr) {
        InterfaceOf(old)->Release();
    }
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source) {
    if (destination == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if (destination == source) {
        return S_OK;
    }
    if (!IsValidType(source->vt)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT copy = *source;
    if (source->vt == VT_BSTR && source->bstrVal != nullptr) {
        copy.bstrVal = SysAllocStringLen(source->bstrVal, SysStringLen(source->bstrVal));
        if (copy.bstrVal == nullptr) {
            return E_OUTOFMEMORY;
        }
    } else if (IsInterface(source->vt) && InterfaceOf(*source) != nullptr) {
        InterfaceOf(*source)->AddRef();
    }
    HRESULT hr = VariantClear(destination);
    if (FAILED(hr)) {
        VariantClear(&copy);
        return hr;
    }
    *destination = copy;
    return S_OK;
}

HRESULT VariantChangeType(VARIANTARG* destination, const VARIANTARG* source, USHORT flags,
                          VARTYPE type) {
    if (destination == nullptr || source == nullptr) {
        return E_INVALIDARG;
    }
    if (!IsValueType(type)) {
        return DISP_E_BADVARTYPE;
    }
    VARIANT value;
    HRESULT hr = ReadThrough(*source, &value);
    if (FAILED(hr)) {
        return hr;
    }
    // Converted aside first: the destination may be the source, and a failure leaves it as it was.
    VARIANT result;
    VariantInit(&result);
    hr = Convert(value, flags, type, &result);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    hr = VariantClear(destination);
    if (FAILED(hr)) {
        VariantClear(&result);
        return hr;
    }
    *destination = result;
    return S_OK;
}
