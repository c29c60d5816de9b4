// Component objects with COM's semantics: per-thread apartments, a class registry by ProgID,
// reference counting, IDispatch late binding with DISPPARAMS in COM's argument order, VARIANT
// and BSTR (UTF-16), and the _com_error exception that carries an HRESULT.
//
// Classes come from registered shared libraries (the registry's
// HKEY_CURRENT_USER\Software\Classes\<ProgID>\CLSID and ...\Classes\CLSID\{...}\InprocServer32,
// the library exporting DllGetClassObject) or from factories a process registers at run time
// with CoRegisterClassObject, as tests do.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/win_types.h"

// ---- Result codes ------------------------------------------------------------------------

using SCODE = LONG;

#define SUCCEEDED(hr) (static_cast<HRESULT>(hr) >= 0)
#define FAILED(hr) (static_cast<HRESULT>(hr) < 0)

constexpr HRESULT S_OK = 0;
constexpr HRESULT S_FALSE = 1;
constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001);
constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002);
constexpr HRESULT E_POINTER = static_cast<HRESULT>(0x80004003);
constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005);
constexpr HRESULT E_UNEXPECTED = static_cast<HRESULT>(0x8000FFFF);
constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000E);
constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057);
constexpr HRESULT RPC_E_CHANGED_MODE = static_cast<HRESULT>(0x80010106);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0);
constexpr HRESULT CO_E_CLASSSTRING = static_cast<HRESULT>(0x800401F3);
constexpr HRESULT CO_E_DLLNOTFOUND = static_cast<HRESULT>(0x800401F8);
constexpr HRESULT CO_E_ERRORINDLL = static_cast<HRESULT>(0x800401F9);
constexpr HRESULT REGDB_E_CLASSNOTREG = static_cast<HRESULT>(0x80040154);
constexpr HRESULT CLASS_E_NOAGGREGATION = static_cast<HRESULT>(0x80040110);
constexpr HRESULT CLASS_E_CLASSNOTAVAILABLE = static_cast<HRESULT>(0x80040111);
constexpr HRESULT DISP_E_UNKNOWNINTERFACE = static_cast<HRESULT>(0x80020001);
constexpr HRESULT DISP_E_MEMBERNOTFOUND = static_cast<HRESULT>(0x80020003);
constexpr HRESULT DISP_E_PARAMNOTFOUND = static_cast<HRESULT>(0x80020004);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005);
constexpr HRESULT DISP_E_UNKNOWNNAME = static_cast<HRESULT>(0x80020006);
constexpr HRESULT DISP_E_BADVARTYPE = static_cast<HRESULT>(0x80020008);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009);
constexpr HRESULT DISP_E_OVERFLOW = static_cast<HRESULT>(0x8002000A);
constexpr HRESULT DISP_E_BADPARAMCOUNT = static_cast<HRESULT>(0x8002000E);

// ---- Identifiers -------------------------------------------------------------------------

struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;
using REFGUID = const GUID&;

bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) {
    return !(a == b);
}
inline bool IsEqualGUID(REFGUID a, REFGUID b) {
    return a == b;
}
#define IsEqualIID(a, b) IsEqualGUID(a, b)
#define IsEqualCLSID(a, b) IsEqualGUID(a, b)

extern const IID IID_NULL;
extern const IID IID_IUnknown;
extern const IID IID_IDispatch;
extern const IID IID_IClassFactory;

using OLECHAR = WCHAR;
using LPOLESTR = OLECHAR*;
using LPCOLESTR = const OLECHAR*;
using BSTR = OLECHAR*;
using DISPID = LONG;
using MEMBERID = DISPID;
using VARTYPE = unsigned short;
using VARIANT_BOOL = short;
using FLOAT = float;
using DOUBLE = double;

constexpr VARIANT_BOOL VARIANT_TRUE = -1;
constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// "{xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx}" and back; CO_E_CLASSSTRING for malformed text.
HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid);
int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size);  // characters with NUL, 0 if short

// ---- Interfaces --------------------------------------------------------------------------

struct IUnknown {
    virtual HRESULT QueryInterface(REFIID riid, void** object) = 0;
    virtual ULONG AddRef() = 0;
    virtual ULONG Release() = 0;

  protected:
    ~IUnknown() = default;  // objects end through Release
};

struct VARIANT;
using VARIANTARG = VARIANT;

struct DISPPARAMS {
    VARIANTARG* rgvarg;  // the arguments in reverse order: rgvarg[0] is the last one
    DISPID* rgdispidNamedArgs;
    UINT cArgs;
    UINT cNamedArgs;
};

struct EXCEPINFO {
    WORD wCode;
    WORD wReserved;
    BSTR bstrSource;
    BSTR bstrDescription;
    BSTR bstrHelpFile;
    DWORD dwHelpContext;
    void* pvReserved;
    HRESULT (*pfnDeferredFillIn)(EXCEPINFO*);
    SCODE scode;
};

constexpr WORD DISPATCH_METHOD = 0x1;
constexpr WORD DISPATCH_PROPERTYGET = 0x2;
constexpr WORD DISPATCH_PROPERTYPUT = 0x4;
constexpr WORD DISPATCH_PROPERTYPUTREF = 0x8;
constexpr DISPID DISPID_UNKNOWN = -1;
constexpr DISPID DISPID_VALUE = 0;
constexpr DISPID DISPID_PROPERTYPUT = -3;
constexpr LCID LOCALE_USER_DEFAULT = 0x0400;
constexpr LCID LOCALE_SYSTEM_DEFAULT = 0x0800;

struct ITypeInfo;

struct IDispatch : IUnknown {
    virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
    virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
    virtual HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* names, UINT count, LCID lcid,
                                  DISPID* dispIds) = 0;
    virtual HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD flags,
                           DISPPARAMS* params, VARIANT* result, EXCEPINFO* excepInfo,
                           UINT* argErr) = 0;

  protected:
    ~IDispatch() = default;
};

struct IClassFactory : IUnknown {
    virtual HRESULT CreateInstance(IUnknown* outer, REFIID riid, void** object) = 0;
    virtual HRESULT LockServer(BOOL lock) = 0;

  protected:
    ~IClassFactory() = default;
};

// ---- VARIANT and BSTR --------------------------------------------------------------------

enum VARENUM : VARTYPE {
    VT_EMPTY = 0,
    VT_NULL = 1,
    VT_I2 = 2,
    VT_I4 = 3,
    VT_R4 = 4,
    VT_R8 = 5,
    VT_BSTR = 8,
    VT_DISPATCH = 9,
    VT_ERROR = 10,
    VT_BOOL = 11,
    VT_VARIANT = 12,
    VT_UNKNOWN = 13,
    VT_UI1 = 17,
    VT_UI4 = 19,
    VT_INT = 22,
    VT_BYREF = 0x4000,
};

struct VARIANT {
    VARTYPE vt;
    WORD wReserved1;
    WORD wReserved2;
    WORD wReserved3;
    union {
        LONG lVal;
        BYTE bVal;
        SHORT iVal;
        FLOAT fltVal;
        DOUBLE dblVal;
        VARIANT_BOOL boolVal;
        SCODE scode;
        ULONG ulVal;
        INT intVal;
        BSTR bstrVal;
        IUnknown* punkVal;
        IDispatch* pdispVal;
        SHORT* piVal;
        LONG* plVal;
        FLOAT* pfltVal;
        DOUBLE* pdblVal;
        VARIANT_BOOL* pboolVal;
        SCODE* pscode;
        BSTR* pbstrVal;
        IDispatch** ppdispVal;
        VARIANT* pvarVal;
        void* byref;
    };
};

// Length-prefixed UTF-16 strings; a null BSTR is the empty string.
BSTR SysAllocString(LPCOLESTR text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

constexpr USHORT VARIANT_NOVALUEPROP = 0x1;
constexpr USHORT VARIANT_ALPHABOOL = 0x2;
constexpr USHORT VARIANT_NOUSEROVERRIDE = 0x4;
constexpr USHORT VARIANT_LOCALBOOL = 0x10;

void VariantInit(VARIANTARG* variant);
// Frees what the variant owns (BSTR, interface reference) and makes it VT_EMPTY. By-reference
// variants own nothing.
HRESULT VariantClear(VARIANTARG* variant);
// A deep copy: BSTRs duplicated, interfaces AddRef'd.
HRESULT VariantCopy(VARIANTARG* destination, const VARIANTARG* source);
// Converts between the basic types (numbers, booleans, strings); DISP_E_TYPEMISMATCH otherwise,
// DISP_E_OVERFLOW for a number out of the target's range. A by-reference source is read through
// its reference. Numbers are written and read with "." as decimal point whatever the locale; a
// boolean becomes "-1" / "0", or "True" / "False" with VARIANT_ALPHABOOL.
HRESULT VariantChangeType(VARIANTARG* destination, const VARIANTARG* source, USHORT flags,
                          VARTYPE type);

// ---- Apartments and classes --------------------------------------------------------------

constexpr DWORD COINIT_MULTITHREADED = 0x0;
constexpr DWORD COINIT_APARTMENTTHREADED = 0x2;

constexpr DWORD CLSCTX_INPROC_SERVER = 0x1;
constexpr DWORD CLSCTX_INPROC_HANDLER = 0x2;
constexpr DWORD CLSCTX_LOCAL_SERVER = 0x4;
constexpr DWORD CLSCTX_SERVER = CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER;
constexpr DWORD CLSCTX_ALL = CLSCTX_INPROC_SERVER | CLSCTX_INPROC_HANDLER | CLSCTX_LOCAL_SERVER;

constexpr DWORD REGCLS_SINGLEUSE = 0;
constexpr DWORD REGCLS_MULTIPLEUSE = 1;

// S_OK for the first initialisation of the thread, S_FALSE for a further one with the same
// model, RPC_E_CHANGED_MODE for another model. Every successful call needs its CoUninitialize.
HRESULT CoInitializeEx(void* reserved, DWORD coInit);
HRESULT CoInitialize(void* reserved);  // a single-threaded apartment
void CoUninitialize();

namespace platform {
// True while the calling thread is in an apartment (a successful CoInitializeEx not yet undone).
bool ThreadHasComApartment();
}  // namespace platform

// Looks the ProgID up in the registry (HKEY_CURRENT_USER\Software\Classes\<ProgID>\CLSID,
// then the same under HKEY_LOCAL_MACHINE); REGDB_E_CLASSNOTREG / CO_E_CLASSSTRING when absent.
HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid);

// Creates an object: CO_E_NOTINITIALIZED on a thread without an apartment; a factory this
// process registered first, else the class's registered library (its DllGetClassObject);
// REGDB_E_CLASSNOTREG when the class is unknown, CO_E_DLLNOTFOUND / CO_E_ERRORINDLL when its
// library is missing or unusable, CLASS_E_NOAGGREGATION for an outer object.
HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object);

// Process-wide class factories, as a local server registers them; the cookie revokes. The newest
// registration whose context shares a bit with CoCreateInstance's request serves it. No apartment
// is needed to register here.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD flags,
                              LPDWORD cookie);
HRESULT CoRevokeClassObject(DWORD cookie);

// What a component library exports.
using DllGetClassObjectProc = HRESULT (*)(REFCLSID clsid, REFIID riid, void** object);

namespace platform {

// Writes the registry entries that make a ProgID creatable: ProgID -> CLSID and, when a
// library path is given, CLSID -> InprocServer32 library. Under HKEY_CURRENT_USER.
HRESULT RegisterComClass(const std::string& progId, REFCLSID clsid, const std::string& libraryPath);
HRESULT UnregisterComClass(const std::string& progId, REFCLSID clsid);

// The class id text "{...}" of a GUID.
std::string GuidToString(REFGUID guid);

}  // namespace platform

// ---- Exception ---------------------------------------------------------------------------

// A failed COM call, as raised by late-bound callers; carries the HRESULT and, when the
// object gave one, its description.
class _com_error {
  public:
    explicit _com_error(HRESULT hr, std::u16string description = {})
        : hr_(hr), description_(std::move(description)) {}
    HRESULT Error() const { return hr_; }
    const std::u16string& Description() const { return description_; }
    // For diagnostics: the system's text for the code and the code, as in "Exception occurred.
    // (0x80020009)"; "Unknown error 0x..." for a code without a text.
    std::string ErrorMessage() const;

  private:
    HRESULT hr_;
    std::u16string description_;
};

[[noreturn]] void _com_issue_error(HRESULT hr);
