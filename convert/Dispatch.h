// Late-bound calls by dispatch id, the one way the conversion talks to the word processor.
// Arguments are given in their natural order; each travels by reference (a
// VT_BYREF|VT_VARIANT pointing at the caller's value), so a member can write back through it.
// A failed call raises _com_error.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com.h"
#include "platform/com_ptr.h"

namespace dispatch {

// An owned VARIANT, cleared when it goes.
class Variant {
  public:
    Variant();  // VT_EMPTY
    Variant(const Variant& other);
    Variant(Variant&& other) noexcept;
    Variant& operator=(Variant other) noexcept;
    ~Variant();

    // An omitted optional argument: VT_ERROR with DISP_E_PARAMNOTFOUND.
    static Variant Missing();
    static Variant Int16(SHORT value);
    static Variant Int32(LONG value);
    static Variant Float(FLOAT value);
    static Variant Bool(bool value);
    static Variant String(std::string_view utf8);
    // Holds a reference of its own on the object.
    static Variant Object(IDispatch* object);

    VARTYPE Type() const { return v_.vt; }
    const VARIANT& Raw() const { return v_; }
    VARIANT& Raw() { return v_; }
    // Clears the value and hands out the variant to be filled.
    VARIANT* Put();

    // The readers raise _com_error (DISP_E_TYPEMISMATCH and the like) when the value does
    // not convert. A by-reference value is read through its reference.
    // VT_DISPATCH only; a null object gives an empty pointer.
    ComPtr<IDispatch> AsDispatch() const;
    std::string AsString() const;  // UTF-8
    LONG AsInt() const;
    double AsDouble() const;
    bool AsBool() const;

  private:
    VARIANT v_;
};

// Invokes a member with DISPATCH_METHOD and/or DISPATCH_PROPERTYGET. The arguments are the
// caller's: what the member writes back through them is there after the call.
Variant Invoke(IDispatch* object, DISPID member, WORD flags, std::span<Variant> args);

inline Variant Call(IDispatch* object, DISPID member, std::vector<Variant> args = {}) {
    return Invoke(object, member, DISPATCH_METHOD, args);
}

inline Variant Get(IDispatch* object, DISPID member, std::vector<Variant> args = {}) {
    return Invoke(object, member, DISPATCH_PROPERTYGET, args);
}

// Raises _com_error when hr failed.
void Check(HRESULT hr);

// Typed reads of the members the conversion uses. An object that must be there and is not
// raises _com_error(E_POINTER) at once, rather than failing later, further away.
ComPtr<IDispatch> RequireObject(const Variant& result);
ComPtr<IDispatch> GetObject(IDispatch* object, DISPID member);
// Item(index) of a collection: a method in the word processor, so both flags are offered.
ComPtr<IDispatch> Item(IDispatch* collection, LONG index);
std::string GetString(IDispatch* object, DISPID member);
LONG GetInt(IDispatch* object, DISPID member);
float GetFloat(IDispatch* object, DISPID member);

}  // namespace dispatch
