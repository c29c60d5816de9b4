#include "platform/com.h"

#include <dlfcn.h>
#include <unistd.h>

#include <atomic>
#include <clocale>
#include <cstring>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "platform/com_ptr.h"
#include "platform/registry.h"
#include "platform/text.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace {

// The class the test component library serves.
const CLSID kComponentClsid = {
    0x5C3B7F12, 0x8E41, 0x4D6A, {0xB0, 0xC2, 0x71, 0xE9, 0xA4, 0xD3, 0xF6, 0x05}};
// Classes made by factories the tests register; they differ in the last byte only.
const CLSID kLocalClsid = {
    0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xF9}};
const CLSID kOtherClsid = {
    0x0A1B2C3D, 0x4E5F, 0x6071, {0x82, 0x93, 0xA4, 0xB5, 0xC6, 0xD7, 0xE8, 0xFA}};

constexpr char kComponentProgId[] = "Tessaline.TestComponent";

class Apartment {
  public:
    explicit Apartment(DWORD model = COINIT_APARTMENTTHREADED)
        : hr_(CoInitializeEx(nullptr, model)) {}
    ~Apartment() {
        if (SUCCEEDED(hr_)) {
            CoUninitialize();
        }
    }
    HRESULT Result() const { return hr_; }

  private:
    HRESULT hr_;
};

template <typename Body>
void OnNewThread(Body body) {
    std::thread(body).join();
}

// Reference counting that deletes on the last Release.
template <typename Interface>
class Counted : public Interface {
  public:
    ULONG AddRef() override { return ++refs_; }
    ULONG Release() override {
        const ULONG left = --refs_;
        if (left == 0) {
            delete this;
        }
        return left;
    }
    ULONG Refs() const { return refs_; }

  protected:
    virtual ~Counted() = default;
    HRESULT Answer(bool supported, void** object) {
        *object = supported ? static_cast<Interface*>(this) : nullptr;
        if (supported) {
            AddRef();
        }
        return supported ? S_OK : E_NOINTERFACE;
    }

  private:
    std::atomic<ULONG> refs_{1};
};

// An object of a class registered at run time; counts the objects alive.
class LocalObject final : public Counted<IDispatch> {
  public:
    explicit LocalObject(std::atomic<int>* alive) : alive_(alive) { ++*alive_; }
    ~LocalObject() override { --*alive_; }
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return Answer(riid == IID_IUnknown || riid == IID_IDispatch, object);
    }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return E_NOTIMPL;
    }

  private:
    std::atomic<int>* alive_;
};

class LocalFactory final : public Counted<IClassFactory> {
  public:
    HRESULT QueryInterface(REFIID riid, void** object) override {
        return Answer(riid == IID_IUnknown || riid == IID_IClassFactory, object);
    }
    HRESULT CreateInstance(IUnknown*, REFIID riid, void** object) override {
        ++created;
        ComPtr<LocalObject> made(new LocalObject(&alive));
        return made->QueryInterface(riid, object);
    }
    HRESULT LockServer(BOOL) override { return S_OK; }

    std::atomic<int> created{0};
    std::atomic<int> alive{0};
};

// A variant that clears itself.
struct Var {
    Var() { VariantInit(&v); }
    Var(const Var&) = delete;
    ~Var() { VariantClear(&v); }
    VARIANT v;
};

VARIANT* Text(Var& var, const char16_t* text) {
    var.v.vt = VT_BSTR;
    var.v.bstrVal = SysAllocString(text);
    return &var.v;
}

std::u16string Str(BSTR text) {
    return text == nullptr ? std::u16string() : std::u16string(text, SysStringLen(text));
}

CLSID ProgIdClass(const std::string& progId, HRESULT expected = S_OK) {
    CLSID clsid = IID_NULL;
    EXPECT_EQ(CLSIDFromProgID(platform::Utf8ToUtf16(progId).c_str(), &clsid), expected) << progId;
    return clsid;
}

HRESULT Create(REFCLSID clsid, ComPtr<IDispatch>& object, IUnknown* outer = nullptr,
               DWORD context = CLSCTX_ALL) {
    return CoCreateInstance(clsid, outer, context, IID_IDispatch,
                            reinterpret_cast<void**>(object.Put()));
}

// ---- Apartments --------------------------------------------------------------------------

TEST(ComApartment, ResultCodesFollowTheThreadsModel) {
    OnNewThread([] {
        CoUninitialize();  // one too many is ignored
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), S_FALSE);
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), RPC_E_CHANGED_MODE);
        // Two successes need two CoUninitialize calls; the refused change needs none.
        CoUninitialize();
        EXPECT_TRUE(platform::ThreadHasComApartment());
        CoUninitialize();
        EXPECT_FALSE(platform::ThreadHasComApartment());
        // Out of the apartment the thread may choose the other model.
        EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
        EXPECT_EQ(CoInitialize(nullptr), RPC_E_CHANGED_MODE);
        CoUninitialize();
        EXPECT_FALSE(platform::ThreadHasComApartment());
    });
}

// ---- Class ids ---------------------------------------------------------------------------

TEST(ComGuid, TextRoundTripAndWellKnownIds) {
    EXPECT_EQ(platform::GuidToString(IID_IUnknown), "{00000000-0000-0000-C000-000000000046}");
    EXPECT_EQ(platform::GuidToString(IID_IDispatch), "{00020400-0000-0000-C000-000000000046}");
    EXPECT_EQ(platform::GuidToString(IID_IClassFactory), "{00000001-0000-0000-C000-000000000046}");

    OLECHAR text[39];
    EXPECT_EQ(StringFromGUID2(kComponentClsid, text, 38), 0);
    ASSERT_EQ(StringFromGUID2(kComponentClsid, text, 39), 39);
    EXPECT_EQ(std::u16string(text), u"{5C3B7F12-8E41-4D6A-B0C2-71E9A4D3F605}");
    CLSID parsed = IID_NULL;
    ASSERT_EQ(CLSIDFromString(text, &parsed), S_OK);
    EXPECT_TRUE(IsEqualCLSID(parsed, kComponentClsid));
    ASSERT_EQ(CLSIDFromString(u"{5c3b7f12-8e41-4d6a-b0c2-71e9a4d3f605}", &parsed), S_OK);
    EXPECT_EQ(parsed, kComponentClsid);
    EXPECT_NE(kLocalClsid, kOtherClsid);

    for (const char16_t* bad :
         {u"", u"5C3B7F12-8E41-4D6A-B0C2-71E9A4D3F605", u"{5C3B7F12-8E41-4D6A-B0C2-71E9A4D3F60}",
          u"{5C3B7F12-8E41-4D6A-B0C2-71E9A4D3F6050}", u"{5C3B7F12-8E41-4D6A-B0C271E9-A4D3F605}",
          u"{5C3B7F1G-8E41-4D6A-B0C2-71E9A4D3F605}", u"(5C3B7F12-8E41-4D6A-B0C2-71E9A4D3F605)"}) {
        parsed = kLocalClsid;
        EXPECT_EQ(CLSIDFromString(bad, &parsed), CO_E_CLASSSTRING) << platform::Utf16ToUtf8(bad);
        EXPECT_EQ(parsed, kLocalClsid);
    }
}

// ---- The class registry ------------------------------------------------------------------

class ComClasses : public ::testing::Test {
  protected:
    void SetUp() override { ASSERT_EQ(apartment_.Result(), S_OK); }

    testing_support::ScopedPlatform platform_;
    Apartment apartment_;
};

TEST_F(ComClasses, ProgIdLookup) {
    ProgIdClass("Missing.Application", REGDB_E_CLASSNOTREG);
    ProgIdClass("CLSID\\Nested", CO_E_CLASSSTRING);

    auto set = [](HKEY root, const char* keyPath, const std::string& value) {
        HKEY key = nullptr;
        ASSERT_EQ(
            RegCreateKeyExA(root, keyPath, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            0);
        EXPECT_EQ(RegSetValueExA(key, "", 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                 static_cast<DWORD>(value.size() + 1)),
                  0);
        RegCloseKey(key);
    };
    set(HKEY_CURRENT_USER, "Software\\Classes\\Broken.Class\\CLSID", "{not-a-class-id}");
    ProgIdClass("Broken.Class", CO_E_CLASSSTRING);

    // The machine's registration serves when the user has none, and the user's wins.
    set(HKEY_LOCAL_MACHINE, "Software\\Classes\\Machine.Class\\CLSID",
        platform::GuidToString(kOtherClsid));
    EXPECT_EQ(ProgIdClass("machine.class"), kOtherClsid);
    ASSERT_EQ(platform::RegisterComClass("Machine.Class", kLocalClsid, ""), S_OK);
    EXPECT_EQ(ProgIdClass("Machine.Class"), kLocalClsid);
}

TEST_F(ComClasses, RunTimeFactoryCreatesUntilRevoked) {
    ComPtr<LocalFactory> factory(new LocalFactory);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kLocalClsid, factory.Get(), CLSCTX_LOCAL_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    EXPECT_EQ(factory->Refs(), 2u);  // the registration holds its own reference
    ASSERT_EQ(platform::RegisterComClass("Tessaline.LocalObject", kLocalClsid, ""), S_OK);

    const CLSID clsid = ProgIdClass("Tessaline.LocalObject");
    ComPtr<IDispatch> first;
    ComPtr<IDispatch> second;
    ASSERT_EQ(Create(clsid, first), S_OK);
    ASSERT_EQ(Create(clsid, second, nullptr, CLSCTX_SERVER), S_OK);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(factory->created, 2);
    EXPECT_EQ(factory->Refs(), 2u);  // creation gave back what it took

    // An in-process-only request does not reach a class registered as a local server, nor does
    // an aggregating one reach the factory.
    ComPtr<IDispatch> refused;
    EXPECT_EQ(Create(clsid, refused, nullptr, CLSCTX_INPROC_SERVER), REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Create(clsid, refused, first.Get()), CLASS_E_NOAGGREGATION);
    EXPECT_FALSE(refused);
    EXPECT_EQ(factory->created, 2);

    // The object goes with its last reference: creation kept none.
    second.Reset();
    EXPECT_EQ(factory->alive, 1);

    // Another thread starts outside any apartment; this one's does not bind it.
    OnNewThread([] {
        ComPtr<IDispatch> object;
        EXPECT_EQ(Create(kLocalClsid, object), CO_E_NOTINITIALIZED);
        Apartment own(COINIT_MULTITHREADED);
        EXPECT_EQ(own.Result(), S_OK);
        EXPECT_EQ(Create(kLocalClsid, object), S_OK);
    });
    EXPECT_EQ(factory->created, 3);

    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
    EXPECT_EQ(factory->Refs(), 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), E_INVALIDARG);
    EXPECT_EQ(Create(clsid, refused), REGDB_E_CLASSNOTREG);
}

// Objects are made from several threads while registrations come and go.
TEST_F(ComClasses, ConcurrentCreationAndRegistration) {
    ComPtr<LocalFactory> factory(new LocalFactory);
    DWORD cookie = 0;
    ASSERT_EQ(CoRegisterClassObject(kLocalClsid, factory.Get(), CLSCTX_INPROC_SERVER,
                                    REGCLS_MULTIPLEUSE, &cookie),
              S_OK);
    constexpr int kThreads = 4;
    constexpr int kRounds = 200;
    std::atomic<int> failures{0};
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&failures] {
            Apartment apartment(COINIT_MULTITHREADED);
            for (int i = 0; i < kRounds; ++i) {
                ComPtr<IDispatch> object;
                failures += Create(kLocalClsid, object) != S_OK;
            }
        });
    }
    ComPtr<LocalFactory> other(new LocalFactory);
    for (int i = 0; i < kRounds; ++i) {
        DWORD otherCookie = 0;
        EXPECT_EQ(CoRegisterClassObject(kOtherClsid, other.Get(), CLSCTX_INPROC_SERVER,
                                        REGCLS_MULTIPLEUSE, &otherCookie),
                  S_OK);
        EXPECT_EQ(CoRevokeClassObject(otherCookie), S_OK);
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(failures, 0);
    EXPECT_EQ(factory->created, kThreads * kRounds);
    EXPECT_EQ(factory->alive, 0);
    EXPECT_EQ(other->Refs(), 1u);
    EXPECT_EQ(CoRevokeClassObject(cookie), S_OK);
}

// ---- Classes from registered libraries ---------------------------------------------------

class ComLibrary : public ComClasses {
  protected:
    void SetUp() override {
        ComClasses::SetUp();
        ASSERT_EQ(
            platform::RegisterComClass(kComponentProgId, kComponentClsid, COM_TEST_COMPONENT_PATH),
            S_OK);
    }

    // The library's objects and class factories alive, as the component counts them.
    static LONG LiveObjects(IDispatch* object) {
        Var result;
        DISPPARAMS none{nullptr, nullptr, 0, 0};
        EXPECT_EQ(object->Invoke(2, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_PROPERTYGET, &none,
                                 &result.v, nullptr, nullptr),
                  S_OK);
        return result.v.vt == VT_I4 ? result.v.lVal : -1;
    }
};

TEST_F(ComLibrary, CreatesByProgIdAndCallsThroughDispatch) {
    ComPtr<IDispatch> object;
    ASSERT_EQ(Create(ProgIdClass(kComponentProgId), object), S_OK);
    std::u16string name = u"Join";
    LPOLESTR names[] = {name.data()};
    DISPID join = DISPID_UNKNOWN;
    ASSERT_EQ(object->GetIDsOfNames(IID_NULL, names, 1, LOCALE_USER_DEFAULT, &join), S_OK);

    // Join("first", 2, 3.5): the first argument is the last element; one goes by reference.
    VARIANT args[3];
    args[2].vt = VT_BSTR;
    args[2].bstrVal = SysAllocString(u"first");
    LONG two = 2;
    args[1].vt = VT_BYREF | VT_I4;
    args[1].plVal = &two;
    args[0].vt = VT_R8;
    args[0].dblVal = 3.5;
    DISPPARAMS params{args, nullptr, 3, 0};
    Var result;
    const HRESULT hr = object->Invoke(join, IID_NULL, LOCALE_USER_DEFAULT, DISPATCH_METHOD, &params,
                                      &result.v, nullptr, nullptr);
    VariantClear(&args[2]);
    ASSERT_EQ(hr, S_OK);
    ASSERT_EQ(result.v.vt, VT_BSTR);
    EXPECT_EQ(Str(result.v.bstrVal), u"first|2|3.5");

    ASSERT_EQ(platform::UnregisterComClass(kComponentProgId, kComponentClsid), S_OK);
    EXPECT_EQ(platform::UnregisterComClass(kComponentProgId, kComponentClsid), S_OK);
    ProgIdClass(kComponentProgId, REGDB_E_CLASSNOTREG);
    EXPECT_EQ(Create(kComponentClsid, object), REGDB_E_CLASSNOTREG);
}

TEST_F(ComLibrary, ReferencesAreCountedAcrossTheLibrary) {
    ComPtr<IDispatch> first;
    ASSERT_EQ(Create(kComponentClsid, first), S_OK);
    // Only the object is left: creation released the library's class factory.
    EXPECT_EQ(LiveObjects(first.Get()), 1);
    ComPtr<IDispatch> second;
    ASSERT_EQ(Create(kComponentClsid, second), S_OK);
    EXPECT_EQ(LiveObjects(first.Get()), 2);
    void* unknown = nullptr;
    ASSERT_EQ(second->QueryInterface(IID_IUnknown, &unknown), S_OK);
    void* none = &none;
    EXPECT_EQ(second->QueryInterface(IID_IClassFactory, &none), E_NOINTERFACE);
    EXPECT_EQ(none, nullptr);
    second.Reset();
    EXPECT_EQ(LiveObjects(first.Get()), 2);  // still held as IUnknown
    EXPECT_EQ(static_cast<IUnknown*>(unknown)->Release(), 0u);
    EXPECT_EQ(LiveObjects(first.Get()), 1);

    EXPECT_EQ(Create(kComponentClsid, second, first.Get()), CLASS_E_NOAGGREGATION);
    EXPECT_EQ(LiveObjects(first.Get()), 1);
}

TEST_F(ComLibrary, LibraryFailures) {
    ComPtr<IDispatch> object;
    const std::string missing = (platform_.Work() / "missing.so").string();
    ASSERT_EQ(platform::RegisterComClass("Missing.Library", kLocalClsid, missing), S_OK);
    EXPECT_EQ(Create(kLocalClsid, object), CO_E_DLLNOTFOUND);

    const std::string notLibrary = (platform_.Work() / "text.so").string();
    testing_support::WriteFile(notLibrary, "not a shared library\n");
    ASSERT_EQ(platform::RegisterComClass("Text.Library", kLocalClsid, notLibrary), S_OK);
    EXPECT_EQ(Create(kLocalClsid, object), CO_E_ERRORINDLL);

    // A real library that exports no DllGetClassObject: the C library.
    Dl_info info{};
    ASSERT_NE(dladdr(reinterpret_cast<void*>(&::getpid), &info), 0);
    ASSERT_EQ(platform::RegisterComClass("C.Library", kLocalClsid, info.dli_fname), S_OK);
    EXPECT_EQ(Create(kLocalClsid, object), CO_E_ERRORINDLL);

    // The library answers for its own class only.
    ASSERT_EQ(platform::RegisterComClass("Wrong.Class", kOtherClsid, COM_TEST_COMPONENT_PATH),
              S_OK);
    EXPECT_EQ(Create(kOtherClsid, object), CLASS_E_CLASSNOTAVAILABLE);
    EXPECT_FALSE(object);
}

// ---- BSTR and VARIANT --------------------------------------------------------------------

TEST(ComBstr, LengthPrefixAndTerminator) {
    const char16_t withNuls[] = {u'a', u'\0', u'b', u'\0', u'c'};
    BSTR text = SysAllocStringLen(withNuls, 5);
    ASSERT_NE(text, nullptr);
    std::uint32_t bytes = 0;
    std::memcpy(&bytes, reinterpret_cast<const char*>(text) - 4, 4);
    EXPECT_EQ(bytes, 10u);
    EXPECT_EQ(Str(text), std::u16string(withNuls, 5));
    EXPECT_EQ(text[5], u'\0');
    SysFreeString(text);

    text = SysAllocString(u"abc");
    EXPECT_EQ(SysStringLen(text), 3u);
    SysFreeString(text);
    text = SysAllocStringLen(nullptr, 4);
    EXPECT_EQ(Str(text), std::u16string(4, u'\0'));
    SysFreeString(text);
    EXPECT_EQ(SysAllocString(nullptr), nullptr);
    EXPECT_EQ(SysStringLen(nullptr), 0u);
}

// Leaks and double frees here show under the sanitizer build.
TEST(ComVariant, ClearAndCopyOwnWhatTheyHold) {
    std::atomic<int> alive{0};
    Var object;
    object.v.vt = VT_DISPATCH;
    object.v.pdispVal = new LocalObject(&alive);
    Var copy;
    Text(copy, u"old text");
    ASSERT_EQ(VariantCopy(&copy.v, &object.v), S_OK);
    EXPECT_EQ(copy.v.pdispVal, object.v.pdispVal);
    ASSERT_EQ(VariantClear(&object.v), S_OK);
    EXPECT_EQ(object.v.vt, VT_EMPTY);
    EXPECT_EQ(alive, 1);  // the copy holds its own reference

    IDispatch* held = copy.v.pdispVal;
    Var byRef;
    byRef.v.vt = VT_BYREF | VT_DISPATCH;
    byRef.v.ppdispVal = &held;
    ASSERT_EQ(VariantClear(&byRef.v), S_OK);
    EXPECT_EQ(alive, 1);  // a reference owns nothing

    const char16_t withNul[] = {u'x', u'\0', u'y'};
    Var text;
    text.v.vt = VT_BSTR;
    text.v.bstrVal = SysAllocStringLen(withNul, 3);
    ASSERT_EQ(VariantCopy(&copy.v, &text.v), S_OK);
    EXPECT_EQ(alive, 0);
    EXPECT_NE(copy.v.bstrVal, text.v.bstrVal);
    VariantClear(&text.v);
    EXPECT_EQ(Str(copy.v.bstrVal), std::u16string(withNul, 3));

    text.v.vt = 0x55;
    EXPECT_EQ(VariantClear(&text.v), DISP_E_BADVARTYPE);
    EXPECT_EQ(VariantCopy(&copy.v, &text.v), DISP_E_BADVARTYPE);
    text.v.vt = VT_EMPTY;
}

TEST(ComVariant, TextToNumbers) {
    auto toInteger = [](const char16_t* text, LONG* value) {
        Var source;
        Var result;
        const HRESULT hr = VariantChangeType(&result.v, Text(source, text), 0, VT_I4);
        EXPECT_EQ(result.v.vt, hr == S_OK ? VT_I4 : VT_EMPTY);
        *value = result.v.lVal;
        return hr;
    };
    // Halves go to the even neighbour.
    for (const auto& [text, expected] : {std::pair{u"16.0", 16},
                                         {u" 16 ", 16},
                                         {u"+7", 7},
                                         {u"2.5", 2},
                                         {u"3.5", 4},
                                         {u"-1.5e1", -15},
                                         {u".5e1", 5}}) {
        LONG value = 0;
        EXPECT_EQ(toInteger(text, &value), S_OK) << platform::Utf16ToUtf8(text);
        EXPECT_EQ(value, expected) << platform::Utf16ToUtf8(text);
    }
    for (const char16_t* text : {u"abc", u"", u"1,5", u"16x", u"1e", u".", u"inf"}) {
        LONG value = 0;
        EXPECT_EQ(toInteger(text, &value), DISP_E_TYPEMISMATCH) << platform::Utf16ToUtf8(text);
    }
    LONG value = 0;
    EXPECT_EQ(toInteger(u"3000000000", &value), DISP_E_OVERFLOW);
    EXPECT_EQ(toInteger(u"1e999", &value), DISP_E_OVERFLOW);
}

VARIANT Make(VARTYPE type, double value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = type;
    if (type == VT_R8) {
        v.dblVal = value;
    } else if (type == VT_R4) {
        v.fltVal = static_cast<float>(value);
    } else if (type == VT_I2 || type == VT_BOOL) {
        v.iVal = static_cast<SHORT>(value);
    } else {
        v.lVal = static_cast<LONG>(value);
    }
    return v;
}

std::u16string AsText(VARIANT source, USHORT flags = 0) {
    Var result;
    EXPECT_EQ(VariantChangeType(&result.v, &source, flags, VT_BSTR), S_OK);
    return result.v.vt == VT_BSTR ? Str(result.v.bstrVal) : u"(failed)";
}

TEST(ComVariant, ConversionsBetweenValues) {
    EXPECT_EQ(AsText(Make(VT_I2, -123)), u"-123");
    EXPECT_EQ(AsText(Make(VT_R8, 0.1)), u"0.1");
    EXPECT_EQ(AsText(Make(VT_R8, 1234.5678)), u"1234.5678");
    EXPECT_EQ(AsText(Make(VT_R8, 1e20)), u"1E+20");
    EXPECT_EQ(AsText(Make(VT_R8, -0.0)), u"0");
    EXPECT_EQ(AsText(Make(VT_R8, 1.0 / 3)), u"0.333333333333333");
    EXPECT_EQ(AsText(Make(VT_R4, 1.1)), u"1.1");
    EXPECT_EQ(AsText(Make(VT_BOOL, VARIANT_TRUE)), u"-1");
    EXPECT_EQ(AsText(Make(VT_BOOL, VARIANT_TRUE), VARIANT_ALPHABOOL), u"True");
    EXPECT_EQ(AsText(Make(VT_BOOL, VARIANT_FALSE), VARIANT_ALPHABOOL), u"False");
    EXPECT_EQ(AsText(Make(VT_EMPTY, 0)), u"");

    const struct {
        VARIANT from;
        VARTYPE to;
        HRESULT hr;
        double value;
    } cases[] = {{Make(VT_R8, 2.5), VT_I4, S_OK, 2},
                 {Make(VT_R8, 1e10), VT_I4, DISP_E_OVERFLOW, 0},
                 {Make(VT_R8, 1e39), VT_R4, DISP_E_OVERFLOW, 0},
                 {Make(VT_I4, 70000), VT_I2, DISP_E_OVERFLOW, 0},
                 {Make(VT_I4, -1), VT_UI1, DISP_E_OVERFLOW, 0},
                 {Make(VT_I4, 7), VT_BOOL, S_OK, VARIANT_TRUE},
                 {Make(VT_I4, 7), VT_R4, S_OK, 7},
                 {Make(VT_BOOL, VARIANT_TRUE), VT_I4, S_OK, -1},
                 {Make(VT_EMPTY, 0), VT_I4, S_OK, 0},
                 {Make(VT_NULL, 0), VT_I4, DISP_E_TYPEMISMATCH, 0},
                 {Make(0x55, 0), VT_I4, DISP_E_BADVARTYPE, 0},
                 {Make(VT_I4, 1), VT_BYREF | VT_I4, DISP_E_BADVARTYPE, 0}};
    for (const auto& c : cases) {
        Var result;
        EXPECT_EQ(VariantChangeType(&result.v, &c.from, 0, c.to), c.hr) << c.from.vt << c.to;
        const double value = c.to == VT_R4                      ? result.v.fltVal
                             : c.to == VT_I2 || c.to == VT_BOOL ? result.v.iVal
                                                                : result.v.lVal;
        EXPECT_EQ(value, c.hr == S_OK ? c.value : 0) << c.from.vt << c.to;
    }

    for (const auto& [text, expected] : {std::pair{u"True", VARIANT_TRUE},
                                         {u" false ", VARIANT_FALSE},
                                         {u"0", VARIANT_FALSE},
                                         {u"2.5", VARIANT_TRUE}}) {
        Var source;
        Var result;
        ASSERT_EQ(VariantChangeType(&result.v, Text(source, text), 0, VT_BOOL), S_OK);
        EXPECT_EQ(result.v.boolVal, expected);
    }
    Var maybe;
    Var result;
    EXPECT_EQ(VariantChangeType(&result.v, Text(maybe, u"maybe"), 0, VT_BOOL), DISP_E_TYPEMISMATCH);
}

TEST(ComVariant, ReferencesAndInPlace) {
    double real = 41.6;
    Var byRef;
    byRef.v.vt = VT_BYREF | VT_R8;
    byRef.v.pdblVal = &real;
    Var number;
    ASSERT_EQ(VariantChangeType(&number.v, &byRef.v, 0, VT_I4), S_OK);
    EXPECT_EQ(number.v.lVal, 42);

    Var text;
    Text(text, u"16.0");
    Var toVariant;
    toVariant.v.vt = VT_BYREF | VT_VARIANT;
    toVariant.v.pvarVal = &text.v;
    ASSERT_EQ(VariantChangeType(&number.v, &toVariant.v, 0, VT_I4), S_OK);
    EXPECT_EQ(number.v.lVal, 16);
    Var copied;
    ASSERT_EQ(VariantChangeType(&copied.v, &toVariant.v, 0, VT_BSTR), S_OK);
    EXPECT_NE(copied.v.bstrVal, text.v.bstrVal);
    EXPECT_EQ(Str(copied.v.bstrVal), u"16.0");

    // In place: the old string goes, a failure keeps it.
    Var keep;
    EXPECT_EQ(VariantChangeType(&keep.v, Text(keep, u"keep"), 0, VT_I4), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(Str(keep.v.bstrVal), u"keep");
    ASSERT_EQ(VariantChangeType(&text.v, &text.v, 0, VT_R8), S_OK);
    EXPECT_EQ(text.v.dblVal, 16.0);
}

TEST(ComVariant, NumbersIgnoreTheProcessLocale) {
    testing_support::ScopedPlatform platform;
    const std::string saved = std::setlocale(LC_NUMERIC, nullptr);
    std::optional<testing_support::ScopedEnvVar> locpath;
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
        const auto folder = platform.Work() / "locales";
        std::filesystem::create_directories(folder);
        testing_support::RunProcess({"/usr/bin/localedef", "-i", "de_DE", "-f", "UTF-8",
                                     (folder / "de_DE.UTF-8").string()});
        locpath.emplace("LOCPATH", folder.string());
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") == nullptr) {
            GTEST_SKIP() << "no locale with a decimal comma is installed or can be compiled";
        }
    }
    const bool comma = std::strcmp(std::localeconv()->decimal_point, ",") == 0;
    const std::u16string written = AsText(Make(VT_R8, 1.5));
    Var source;
    Var read;
    const HRESULT hr = VariantChangeType(&read.v, Text(source, u"2.25"), 0, VT_R8);
    std::setlocale(LC_NUMERIC, saved.c_str());
    ASSERT_TRUE(comma);
    EXPECT_EQ(written, u"1.5");
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(read.v.dblVal, 2.25);
}

// ---- Errors ------------------------------------------------------------------------------

TEST(ComError, CarriesItsResult) {
    try {
        _com_issue_error(DISP_E_EXCEPTION);
        ADD_FAILURE() << "no exception";
    } catch (const _com_error& error) {
        EXPECT_EQ(error.Error(), DISP_E_EXCEPTION);
        EXPECT_EQ(error.ErrorMessage(), "Exception occurred. (0x80020009)");
    }
    EXPECT_EQ(_com_error(REGDB_E_CLASSNOTREG).ErrorMessage(), "Class not registered (0x80040154)");
    EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80040203)).ErrorMessage(),
              "IDispatch error #3 (0x80040203)");
    EXPECT_EQ(_com_error(static_cast<HRESULT>(0x80030001)).ErrorMessage(),
              "Unknown error 0x80030001");
}

}  // namespace
