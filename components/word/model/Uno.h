// Small conversions between UNO's types and the component's: text, lengths.
#pragma once

#include <string>
#include <string_view>

#include <com/sun/star/beans/UnknownPropertyException.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <rtl/ustring.hxx>

namespace word_model {

inline std::u16string ToU16(const rtl::OUString& text) {
    return std::u16string(reinterpret_cast<const char16_t*>(text.getStr()),
                          static_cast<size_t>(text.getLength()));
}

inline rtl::OUString FromU16(std::u16string_view text) {
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.data()),
                         static_cast<sal_Int32>(text.size()));
}

inline rtl::OUString FromUtf8(std::string_view text) {
    return rtl::OUString(text.data(), static_cast<sal_Int32>(text.size()), RTL_TEXTENCODING_UTF8);
}

inline std::string ToUtf8(const rtl::OUString& text) {
    return std::string(text.toUtf8().getStr());
}

// LibreOffice's lengths are in 1/100 mm; Word's in points.
inline double Mm100ToPoints(double mm100) {
    return mm100 * 72.0 / 2540.0;
}

// A property's value, or the fallback when the object lacks it or it is void. One call to the
// office: an unknown name comes back as an exception rather than being asked about first.
template <typename T>
T PropertyOr(const css::uno::Reference<css::beans::XPropertySet>& object, const char* name,
             T fallback) {
    if (!object.is()) {
        return fallback;
    }
    try {
        T value{};
        if (object->getPropertyValue(rtl::OUString::createFromAscii(name)) >>= value) {
            return value;
        }
    } catch (const css::beans::UnknownPropertyException&) {
    }
    return fallback;
}

}  // namespace word_model
