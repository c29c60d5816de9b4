// Named arguments for the office's calls (media descriptors, filter data).
#pragma once

#include <initializer_list>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

namespace word_component {

inline css::beans::PropertyValue Property(const char* name, const css::uno::Any& value) {
    css::beans::PropertyValue property;
    property.Name = rtl::OUString::createFromAscii(name);
    property.Value = value;
    return property;
}

inline css::uno::Sequence<css::beans::PropertyValue> PropertyList(
    std::initializer_list<css::beans::PropertyValue> properties) {
    css::uno::Sequence<css::beans::PropertyValue> list(static_cast<sal_Int32>(properties.size()));
    auto* out = list.getArray();
    for (const auto& property : properties) {
        *out++ = property;
    }
    return list;
}

}  // namespace word_component
