// The automation objects' common ground: reference counting, IDispatch by dispatch id only,
// reading the caller's arguments in natural order, writing results, and turning failures into
// what a late-bound caller of the word processor expects.
//
// A member's code reports a failure by throwing DispatchFailure (through the helpers below);
// Invoke catches it, and every other exception, at the boundary: UNO exceptions become Word-style
// errors (see TranslateCurrentException), nothing escapes into the caller.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/com.h"
#include "platform/com_ptr.h"

namespace word_model {

// Word's own run-time errors, as its automation reports them in EXCEPINFO::scode.
constexpr HRESULT kWordNoSuchMember = static_cast<HRESULT>(0x800A1735);  // past the end
constexpr HRESULT kWordCommandFailed = static_cast<HRESULT>(0x800A1066);
constexpr HRESULT kWordOpenFailed = static_cast<HRESULT>(0x800A1436);
constexpr HRESULT kWordBadDocument = static_cast<HRESULT>(0x800A13E9);
// A call on an object whose office or document has gone.
constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108);  // RPC_E_DISCONNECTED

// A failed member call. With wordError the call ends as DISP_E_EXCEPTION with an EXCEPINFO that
// carries hr and the description; without, hr is the call's result (DISP_E_BADPARAMCOUNT and
// the like), and argument (0-based, natural order) names the faulty argument when known.
struct DispatchFailure {
    HRESULT hr;
    std::string description;
    bool wordError = false;
    int argument = -1;
};

// Ends a member call with hr as it is (argument: the 0-based natural index at fault, or -1).
[[noreturn]] void Fail(HRESULT hr, int argument = -1);
// Ends a member call with one of Word's run-time errors.
[[noreturn]] void FailWord(HRESULT scode, const std::string& description);

// Fills EXCEPINFO (when given) for one of Word's run-time errors; returns DISP_E_EXCEPTION.
HRESULT RaiseWordError(EXCEPINFO* info, HRESULT scode, const std::string& description);

// Maps the exception being handled to the call's result; only valid inside a catch block.
// DispatchFailure as described above; css::lang::DisposedException and a lost connection to the
// office give kDisconnected; other UNO exceptions and std::exception give Word's
// kWordCommandFailed with the message; anything else E_UNEXPECTED.
HRESULT TranslateCurrentException(EXCEPINFO* info, UINT* argErr, UINT argCount);

// The arguments of one Invoke in natural order: argument 0 is the first one the caller wrote.
// Values are read through VT_BYREF|VT_VARIANT and through by-reference basic types.
class Arguments {
  public:
    explicit Arguments(const DISPPARAMS* params);

    UINT Count() const { return count_; }
    // Fails with DISP_E_BADPARAMCOUNT unless min <= Count() <= max.
    void ExpectCount(UINT min, UINT max) const;

    // The argument as passed, and the value it refers to.
    const VARIANT& Passed(UINT i) const;
    const VARIANT& Value(UINT i) const;
    // Absent (past Count) or passed as VT_ERROR DISP_E_PARAMNOTFOUND.
    bool Omitted(UINT i) const;
    bool IsString(UINT i) const;

    // Typed reads; DISP_E_TYPEMISMATCH for a value of another kind.
    std::int32_t Int(UINT i) const;    // I2, I4, INT, UI1, UI4, BOOL; a whole R4/R8
    double Float(UINT i) const;        // any number
    std::string String(UINT i) const;  // BSTR as UTF-8
    bool Bool(UINT i) const;           // BOOL or a number (non-zero true)
    IDispatch* Object(UINT i) const;   // DISPATCH (borrowed, may be null)

    // Writes an out argument passed as a by-reference VARIANT or a by-reference I4/R4;
    // DISP_E_TYPEMISMATCH otherwise.
    void SetOutInt(UINT i, std::int32_t value) const;

  private:
    const DISPPARAMS* params_;
    UINT count_;
};

// Member access flags. A property asked without DISPATCH_PROPERTYGET, or a method without
// DISPATCH_METHOD, is DISP_E_MEMBERNOTFOUND; a wrong argument count DISP_E_BADPARAMCOUNT.
void ExpectProperty(WORD flags, const Arguments& args, UINT minArgs = 0, UINT maxArgs = 0);
void ExpectMethod(WORD flags, const Arguments& args, UINT minArgs, UINT maxArgs);
// Collections' Item: a method in Word, taken with either flag, exactly one argument.
void ExpectItem(WORD flags, const Arguments& args);

// Results. A null result pointer (the caller wants none) is accepted by all of them.
void ReturnString(VARIANT* result, std::string_view utf8);
void ReturnString(VARIANT* result, std::u16string_view utf16);
void ReturnInt(VARIANT* result, std::int32_t value);
void ReturnFloat(VARIANT* result, float value);  // VT_R4, as Word's Single
void ReturnBool(VARIANT* result, bool value);
// Hands the object's reference to the result (released when there is no result).
void ReturnObject(VARIANT* result, ComPtr<IDispatch> object);

// Base of every automation object of the component. The last Release deletes it.
class DispatchObject : public IDispatch {
  public:
    DispatchObject();
    DispatchObject(const DispatchObject&) = delete;
    DispatchObject& operator=(const DispatchObject&) = delete;

    HRESULT QueryInterface(REFIID riid, void** object) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* count) override;
    HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                          DISPID* dispIds) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD flags, DISPPARAMS* params,
                   VARIANT* result, EXCEPINFO* excepInfo, UINT* argErr) override;

    // One of this component's objects behind an interface pointer the caller handed back to us
    // (no reference is added), or null for a foreign one.
    static DispatchObject* From(IUnknown* object);
    // Objects of the component alive in this process (for DllCanUnloadNow).
    static long LiveObjects();

  protected:
    virtual ~DispatchObject();
    // The member call. May return a failure or throw DispatchFailure or any exception; result
    // is VT_EMPTY on entry (never null: Invoke supplies a scratch one).
    virtual HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) = 0;

  private:
    std::atomic<ULONG> refs_{1};
};

// Creates an object with its one reference owned by the returned pointer.
template <typename T, typename... A>
ComPtr<IDispatch> MakeObject(A&&... args) {
    return ComPtr<IDispatch>(static_cast<IDispatch*>(new T(std::forward<A>(args)...)));
}

}  // namespace word_model
