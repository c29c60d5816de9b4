// Class ids, the class registry and object creation. A class is found first among the factories
// this process registered, then through the registry: ProgID -> CLSID -> InprocServer32 library,
// whose DllGetClassObject hands out the class factory. Libraries stay loaded for the life of the
// process, since objects they made may outlive any caller's interest in the library.
#include "platform/com.h"

#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/com_ptr.h"
#include "platform/last_error.h"
#include "platform/registry.h"
#include "platform/text.h"

const IID IID_NULL = {0x00000000, 0x0000, 0x0000, {0, 0, 0, 0, 0, 0, 0, 0}};
const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
const IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

bool operator==(const GUID& a, const GUID& b) {
    return a.Data1 == b.Data1 && a.Data2 == b.Data2 && a.Data3 == b.Data3 &&
           std::equal(a.Data4, a.Data4 + 8, b.Data4);
}

namespace {

constexpr int kGuidTextLength = 38;  // "{8-4-4-4-12}" without the terminator

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9') {
        return c - u'0';
    }
    if (c >= u'a' && c <= u'f') {
        return c - u'a' + 10;
    }
    if (c >= u'A' && c <= u'F') {
        return c - u'A' + 10;
    }
    return -1;
}

// Reads `digits` hex digits at text[*at], advancing; false at anything else.
bool ReadHex(std::u16string_view text, size_t* at, int digits, std::uint32_t* value) {
    std::uint32_t result = 0;
    for (int i = 0; i < digits; ++i, ++*at) {
        const int digit = *at < text.size() ? HexDigit(text[*at]) : -1;
        if (digit < 0) {
            return false;
        }
        result = result << 4 | static_cast<std::uint32_t>(digit);
    }
    *value = result;
    return true;
}

bool Expect(std::u16string_view text, size_t* at, char16_t c) {
    if (*at >= text.size() || text[*at] != c) {
        return false;
    }
    ++*at;
    return true;
}

bool ParseGuid(std::u16string_view text, GUID* guid) {
    if (text.size() != kGuidTextLength) {
        return false;
    }
    size_t at = 0;
    std::uint32_t d1 = 0;
    std::uint32_t d2 = 0;
    std::uint32_t d3 = 0;
    std::uint32_t byte = 0;
    GUID result{};
    if (!Expect(text, &at, u'{') || !ReadHex(text, &at, 8, &d1) || !Expect(text, &at, u'-') ||
        !ReadHex(text, &at, 4, &d2) || !Expect(text, &at, u'-') || !ReadHex(text, &at, 4, &d3) ||
        !Expect(text, &at, u'-')) {
        return false;
    }
    result.Data1 = d1;
    result.Data2 = static_cast<std::uint16_t>(d2);
    result.Data3 = static_cast<std::uint16_t>(d3);
    for (int i = 0; i < 8; ++i) {
        if (i == 2 && !Expect(text, &at, u'-')) {
            return false;
        }
        if (!ReadHex(text, &at, 2, &byte)) {
            return false;
        }
        result.Data4[i] = static_cast<std::uint8_t>(byte);
    }
    if (!Expect(text, &at, u'}')) {
        return false;
    }
    *guid = result;
    return true;
}

HRESULT HResultFromWin32(LSTATUS status) {
    return status == 0 ? S_OK
                       : static_cast<HRESULT>(0x80070000u | (static_cast<DWORD>(status) & 0xFFFF));
}

// A key below Software\Classes, where class registrations live in either hive.
std::string ClassesKey(std::string_view below) {
    return "Software\\Classes\\" + std::string(below);
}

// A ProgID names one key below Classes; a separator would reach into another key.
bool IsValidProgId(std::string_view progId) {
    return !progId.empty() && progId.find('\\') == std::string_view::npos;
}

// A key's default value as text from one hive; nullopt when the key or the value is missing or
// the value is not a string.
std::optional<std::string> ReadDefaultString(HKEY root, const std::string& keyPath) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(root, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
        return std::nullopt;
    }
    std::optional<std::string> text;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, "", nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        (type == REG_SZ || type == REG_EXPAND_SZ)) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, "", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size) == ERROR_SUCCESS) {
            data.resize(std::min<size_t>(size, data.size()));
            text = data.substr(0, data.find('\0'));
        }
    }
    RegCloseKey(key);
    return text;
}

// Classes are merged from both hives as Windows does: the user's registration wins.
std::optional<std::string> ReadClassesValue(const std::string& keyPath) {
    if (std::optional<std::string> user = ReadDefaultString(HKEY_CURRENT_USER, keyPath)) {
        return user;
    }
    return ReadDefaultString(HKEY_LOCAL_MACHINE, keyPath);
}

LSTATUS WriteString(const std::string& keyPath, const char* valueName, const std::string& text) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = RegSetValueExA(key, valueName, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                            static_cast<DWORD>(text.size() + 1));
    RegCloseKey(key);
    return status;
}

// ---- Factories registered by this process --------------------------------------------------

struct Registration {
    DWORD cookie;
    CLSID clsid;
    IUnknown* factory;  // holds one reference while registered
    DWORD context;
};

struct ClassTable {
    std::mutex mutex;
    std::vector<Registration> entries;
    DWORD nextCookie = 1;
};

// Never destroyed: factories still registered at exit are not released into a dying process.
ClassTable& Classes() {
    static ClassTable* table = new ClassTable;
    return *table;
}

// The newest registration for the class that serves the context, with a reference of its own,
// so that a concurrent revoke cannot free it while it is in use. Null when there is none.
IUnknown* FindRegisteredFactory(REFCLSID clsid, DWORD context) {
    ClassTable& table = Classes();
    std::lock_guard<std::mutex> lock(table.mutex);
    for (auto it = table.entries.rbegin(); it != table.entries.rend(); ++it) {
        if (it->clsid == clsid && (it->context & context) != 0) {
            it->factory->AddRef();
            return it->factory;
        }
    }
    return nullptr;
}

// ---- Factories from registered libraries ---------------------------------------------------

struct LibraryCache {
    std::mutex mutex;
    std::map<std::string, DllGetClassObjectProc> entryPoints;  // by library path
};

LibraryCache& Libraries() {
    static LibraryCache* cache = new LibraryCache;
    return *cache;
}

HRESULT LoadClassObjectEntry(const std::string& path, DllGetClassObjectProc* entry) {
    LibraryCache& cache = Libraries();
    {
        std::lock_guard<std::mutex> lock(cache.mutex);
        auto found = cache.entryPoints.find(path);
        if (found != cache.entryPoints.end()) {
            *entry = found->second;
            return S_OK;
        }
    }
    // A path names a file that must exist; a bare name is searched for as the loader does.
    struct stat info {};
    if (path.find('/') != std::string::npos && ::stat(path.c_str(), &info) != 0) {
        return CO_E_DLLNOTFOUND;
    }
    // Loaded outside the lock: the library's initialisers may themselves create objects.
    void* library = ::dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        return path.find('/') != std::string::npos ? CO_E_ERRORINDLL : CO_E_DLLNOTFOUND;
    }
    void* symbol = ::dlsym(library, "DllGetClassObject");
    if (symbol == nullptr) {
        ::dlclose(library);
        return CO_E_ERRORINDLL;
    }
    *entry = reinterpret_cast<DllGetClassObjectProc>(symbol);
    std::lock_guard<std::mutex> lock(cache.mutex);
    cache.entryPoints.emplace(path, *entry);
    return S_OK;
}

HRESULT GetLibraryFactory(REFCLSID clsid, IClassFactory** factory) {
    const std::string keyPath =
        ClassesKey("CLSID\\" + platform::GuidToString(clsid) + "\\InprocServer32");
    std::optional<std::string> path = ReadClassesValue(keyPath);
    if (!path || path->empty()) {
        return REGDB_E_CLASSNOTREG;
    }
    DllGetClassObjectProc entry = nullptr;
    HRESULT hr = LoadClassObjectEntry(*path, &entry);
    if (FAILED(hr)) {
        return hr;
    }
    void* object = nullptr;
    hr = entry(clsid, IID_IClassFactory, &object);
    if (FAILED(hr)) {
        return hr;
    }
    if (object == nullptr) {
        return CO_E_ERRORINDLL;
    }
    *factory = static_cast<IClassFactory*>(object);
    return S_OK;
}

HRESULT GetClassFactory(REFCLSID clsid, DWORD context, IClassFactory** factory) {
    if (IUnknown* registered = FindRegisteredFactory(clsid, context)) {
        void* object = nullptr;
        HRESULT hr = registered->QueryInterface(IID_IClassFactory, &object);
        registered->Release();
        if (FAILED(hr)) {
            return hr;
        }
        *factory = static_cast<IClassFactory*>(object);
        return S_OK;
    }
    // Every class is served inside the process here, so the library also stands in for a
    // local server.
    if ((context & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)) == 0) {
        return REGDB_E_CLASSNOTREG;
    }
    return GetLibraryFactory(clsid, factory);
}

struct KnownError {
    HRESULT hr;
    const char* text;
};

// The system's texts for the codes this layer and its callers meet.
constexpr KnownError kKnownErrors[] = {
    {S_OK, "The operation completed successfully."},
    {S_FALSE, "Incorrect function."},
    {E_NOTIMPL, "Not implemented"},
    {E_NOINTERFACE, "No such interface supported"},
    {E_POINTER, "Invalid pointer"},
    {E_FAIL, "Unspecified error"},
    {E_UNEXPECTED, "Catastrophic failure"},
    {E_OUTOFMEMORY, "Not enough memory resources are available to complete this operation."},
    {E_INVALIDARG, "The parameter is incorrect."},
    {RPC_E_CHANGED_MODE, "Cannot change thread mode after it is set."},
    {CO_E_NOTINITIALIZED, "CoInitialize has not been called."},
    {CO_E_CLASSSTRING, "Invalid class string"},
    {CO_E_DLLNOTFOUND, "DLL for class not found"},
    {CO_E_ERRORINDLL, "Error in the DLL"},
    {REGDB_E_CLASSNOTREG, "Class not registered"},
    {CLASS_E_NOAGGREGATION, "Class does not support aggregation (or class object is remote)"},
    {CLASS_E_CLASSNOTAVAILABLE, "ClassFactory cannot supply requested class"},
    {DISP_E_UNKNOWNINTERFACE, "Unknown interface."},
    {DISP_E_MEMBERNOTFOUND, "Member not found."},
    {DISP_E_PARAMNOTFOUND, "Parameter not found."},
    {DISP_E_TYPEMISMATCH, "Type mismatch."},
    {DISP_E_UNKNOWNNAME, "Unknown name."},
    {DISP_E_BADVARTYPE, "Bad variable type."},
    {DISP_E_EXCEPTION, "Exception occurred."},
    {DISP_E_OVERFLOW, "Out of present range."},
    {DISP_E_BADPARAMCOUNT, "Invalid number of parameters."},
};

}  // namespace

HRESULT CLSIDFromString(LPCOLESTR text, CLSID* clsid) {
    if (clsid == nullptr) {
        return E_INVALIDARG;
    }
    if (text == nullptr) {
        *clsid = IID_NULL;
        return S_OK;
    }
    std::u16string_view view(text);
    if (!ParseGuid(view, clsid)) {
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

int StringFromGUID2(REFGUID guid, LPOLESTR buffer, int size) {
    if (buffer == nullptr || size < kGuidTextLength + 1) {
        return 0;
    }
    const std::string text = platform::GuidToString(guid);
    std::copy(text.begin(), text.end(), buffer);
    buffer[kGuidTextLength] = u'\0';
    return kGuidTextLength + 1;
}

HRESULT CLSIDFromProgID(LPCOLESTR progId, CLSID* clsid) {
    if (progId == nullptr || clsid == nullptr) {
        return E_INVALIDARG;
    }
    const std::string name = platform::Utf16ToUtf8(progId);
    if (!IsValidProgId(name)) {
        return CO_E_CLASSSTRING;
    }
    std::optional<std::string> text = ReadClassesValue(ClassesKey(name + "\\CLSID"));
    if (!text) {
        return REGDB_E_CLASSNOTREG;
    }
    if (!ParseGuid(platform::Utf8ToUtf16(*text), clsid)) {
        return CO_E_CLASSSTRING;
    }
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer, DWORD context, REFIID riid,
                         void** object) {
    if (object == nullptr) {
        return E_POINTER;
    }
    *object = nullptr;
    if (!platform::ThreadHasComApartment()) {
        return CO_E_NOTINITIALIZED;
    }
    ComPtr<IClassFactory> factory;
    HRESULT hr = GetClassFactory(clsid, context, factory.Put());
    if (FAILED(hr)) {
        return hr;
    }
    // No class here is written to be aggregated.
    if (outer != nullptr) {
        return CLASS_E_NOAGGREGATION;
    }
    hr = factory->CreateInstance(nullptr, riid, object);
    if (FAILED(hr)) {
        *object = nullptr;
    }
    return hr;
}

// Every registration serves any number of creations (REGCLS_MULTIPLEUSE), whatever the flags.
HRESULT CoRegisterClassObject(REFCLSID clsid, IUnknown* factory, DWORD context, DWORD,
                              LPDWORD cookie) {
    if (factory == nullptr || cookie == nullptr) {
        return E_INVALIDARG;
    }
    *cookie = 0;
    ClassTable& table = Classes();
    factory->AddRef();
    std::lock_guard<std::mutex> lock(table.mutex);
    const DWORD assigned = table.nextCookie++;
    table.entries.push_back(Registration{assigned, clsid, factory, context});
    *cookie = assigned;
    return S_OK;
}

HRESULT CoRevokeClassObject(DWORD cookie) {
    IUnknown* factory = nullptr;
    {
        ClassTable& table = Classes();
        std::lock_guard<std::mutex> lock(table.mutex);
        auto found = std::find_if(table.entries.begin(), table.entries.end(),
                                  [cookie](const Registration& r) { return r.cookie == cookie; });
        if (found == table.entries.end()) {
            return E_INVALIDARG;
        }
        factory = found->factory;
        table.entries.erase(found);
    }
    // Released outside the lock: the factory's destructor may call back into this layer.
    factory->Release();
    return S_OK;
}

namespace platform {

HRESULT RegisterComClass(const std::string& progId, REFCLSID clsid,
                         const std::string& libraryPath) {
    if (!IsValidProgId(progId)) {
        return E_INVALIDARG;
    }
    const std::string classId = GuidToString(clsid);
    LSTATUS status = WriteString(ClassesKey(progId + "\\CLSID"), "", classId);
    if (status == ERROR_SUCCESS && !libraryPath.empty()) {
        const std::string serverKey = ClassesKey("CLSID\\" + classId + "\\InprocServer32");
        status = WriteString(serverKey, "", libraryPath);
        if (status == ERROR_SUCCESS) {
            status = WriteString(serverKey, "ThreadingModel", "Both");
        }
    }
    return HResultFromWin32(status);
}

HRESULT UnregisterComClass(const std::string& progId, REFCLSID clsid) {
    if (!IsValidProgId(progId)) {
        return E_INVALIDARG;
    }
    // Entries already gone are no failure: unregistering twice is harmless.
    for (const std::string& key :
         {ClassesKey(progId), ClassesKey("CLSID\\" + GuidToString(clsid))}) {
        LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, key.c_str());
        if (status != ERROR_SUCCESS && status != static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) {
            return HResultFromWin32(status);
        }
    }
    return S_OK;
}

std::string GuidToString(REFGUID guid) {
    char text[kGuidTextLength + 1];
    std::snprintf(text, sizeof text, "{%08X-%04X-%04X-%02X%02X-%02X%02X%02X%02X%02X%02X}",
                  static_cast<unsigned>(guid.Data1), guid.Data2, guid.Data3, guid.Data4[0],
                  guid.Data4[1], guid.Data4[2], guid.Data4[3], guid.Data4[4], guid.Data4[5],
                  guid.Data4[6], guid.Data4[7]);
    return text;
}

}  // namespace platform

std::string _com_error::ErrorMessage() const {
    char code[32];
    std::snprintf(code, sizeof code, "0x%08X", static_cast<unsigned>(hr_));
    for (const KnownError& known : kKnownErrors) {
        if (known.hr == hr_) {
            return std::string(known.text) + " (" + code + ")";
        }
    }
    // Codes an automation object defines for itself, numbered as Windows shows them.
    const auto unsignedCode = static_cast<DWORD>(hr_);
    if (unsignedCode >= 0x80040200u && unsignedCode <= 0x8004FFFFu) {
        return "IDispatch error #" + std::to_string(unsignedCode - 0x80040200u) + " (" + code + ")";
    }
    return std::string("Unknown error ") + code;
}

void _com_issue_error(HRESULT hr) {
    throw _com_error(hr);
}
