// The automation objects' common ground: argument reading in natural order and through
// references, argument counts and types, results, and failures as a late-bound caller sees them.
#include <gtest/gtest.h>

#include <com/sun/star/lang/DisposedException.hpp>
#include <com/sun/star/uno/RuntimeException.hpp>

#include "components/word/model/DispatchObject.h"
#include "convert/Dispatch.h"
#include "tests/word_model/harvest_probe.h"

namespace word_model {
namespace {

using dispatch::Variant;
using word_model_test::FailureOf;

// Echoes its arguments: 1 Sum(a, b[, c]) of integers; 2 Text(s) property; 3 Out(x, y) writes
// 7 and 8 into its arguments; 4 Throw(kind) raises the kind of failure asked for.
class Echo : public DispatchObject {
  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        switch (id) {
            case 1: {
                ExpectMethod(flags, args, 2, 3);
                int sum = args.Int(0) + args.Int(1);
                if (!args.Omitted(2)) {
                    sum = sum * 100 + args.Int(2);
                }
                ReturnInt(result, sum);
                return S_OK;
            }
            case 2:
                ExpectProperty(flags, args, 1, 1);
                ReturnString(result, "[" + args.String(0) + "]");
                return S_OK;
            case 3:
                ExpectMethod(flags, args, 2, 2);
                args.SetOutInt(0, 7);
                args.SetOutInt(1, 8);
                return S_OK;
            case 4:
                ExpectMethod(flags, args, 1, 1);
                switch (args.Int(0)) {
                    case 1:
                        FailWord(kWordNoSuchMember, "gone");
                    case 2:
                        throw css::lang::DisposedException(rtl::OUString("office closed"));
                    case 3:
                        throw css::uno::RuntimeException(rtl::OUString("layout broke"));
                    default:
                        throw std::runtime_error("plain");
                }
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }
};

TEST(WordModelDispatch, ArgumentsArriveInNaturalOrderByValueAndByReference) {
    ComPtr<IDispatch> echo = MakeObject<Echo>();
    // dispatch::Invoke passes each argument as a reference to a VARIANT.
    EXPECT_EQ(dispatch::Call(echo.Get(), 1, {Variant::Int32(3), Variant::Int16(4)}).AsInt(), 7);
    EXPECT_EQ(
        dispatch::Call(echo.Get(), 1, {Variant::Int32(1), Variant::Int32(2), Variant::Int32(5)})
            .AsInt(),
        305);
    // An omitted optional argument counts as absent.
    EXPECT_EQ(
        dispatch::Call(echo.Get(), 1, {Variant::Int32(1), Variant::Int32(2), Variant::Missing()})
            .AsInt(),
        3);
    // By value, as another caller would pass them: rgvarg holds the last argument first.
    VARIANT raw[2];
    raw[0].vt = VT_I2;
    raw[0].iVal = 40;
    raw[1].vt = VT_I4;
    raw[1].lVal = 2;
    DISPPARAMS params{raw, nullptr, 2, 0};
    VARIANT result;
    VariantInit(&result);
    ASSERT_EQ(echo->Invoke(1, IID_NULL, 0, DISPATCH_METHOD, &params, &result, nullptr, nullptr),
              S_OK);
    EXPECT_EQ(result.vt, VT_I4);
    EXPECT_EQ(result.lVal, 42);
    EXPECT_EQ(dispatch::Get(echo.Get(), 2, {Variant::String("中文")}).AsString(), "[中文]");
}

TEST(WordModelDispatch, OutArgumentsAreWrittenBack) {
    ComPtr<IDispatch> echo = MakeObject<Echo>();
    std::vector<Variant> args{Variant::Int32(0), Variant::Int32(0)};
    dispatch::Invoke(echo.Get(), 3, DISPATCH_METHOD, args);
    EXPECT_EQ(args[0].AsInt(), 7);
    EXPECT_EQ(args[1].AsInt(), 8);
    // A by-reference 4-byte integer works too; a value cannot be written.
    LONG x = 0;
    VARIANT raw[2];
    raw[1].vt = VT_BYREF | VT_I4;
    raw[1].plVal = &x;
    raw[0].vt = VT_I4;
    raw[0].lVal = 0;
    DISPPARAMS params{raw, nullptr, 2, 0};
    UINT argErr = 99;
    EXPECT_EQ(echo->Invoke(3, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, nullptr, &argErr),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(x, 7);
    EXPECT_EQ(argErr, 0u) << "the second argument, counted from the last";
}

TEST(WordModelDispatch, WrongCallsGetTheDispatchErrors) {
    ComPtr<IDispatch> echo = MakeObject<Echo>();
    EXPECT_EQ(FailureOf(echo.Get(), 1, DISPATCH_METHOD, {Variant::Int32(1)}), DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(
        FailureOf(echo.Get(), 1, DISPATCH_PROPERTYGET, {Variant::Int32(1), Variant::Int32(1)}),
        DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(FailureOf(echo.Get(), 1, DISPATCH_METHOD, {Variant::String("a"), Variant::Int32(1)}),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(FailureOf(echo.Get(), 2, DISPATCH_PROPERTYGET, {Variant::Int32(1)}),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(FailureOf(echo.Get(), 77, DISPATCH_METHOD, {}), DISP_E_MEMBERNOTFOUND);
    DISPID ids[1];
    LPOLESTR names[1] = {nullptr};
    EXPECT_EQ(echo->GetIDsOfNames(IID_NULL, names, 1, 0, ids), DISP_E_UNKNOWNNAME);
}

TEST(WordModelDispatch, FailuresTravelAsWordReportsThem) {
    ComPtr<IDispatch> echo = MakeObject<Echo>();
    auto invoke = [&](LONG kind, EXCEPINFO& info) {
        VARIANT arg;
        arg.vt = VT_I4;
        arg.lVal = kind;
        DISPPARAMS params{&arg, nullptr, 1, 0};
        info = EXCEPINFO{};
        return echo->Invoke(4, IID_NULL, 0, DISPATCH_METHOD, &params, nullptr, &info, nullptr);
    };
    EXCEPINFO info;
    EXPECT_EQ(invoke(1, info), DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, kWordNoSuchMember);
    ASSERT_NE(info.bstrDescription, nullptr);
    EXPECT_EQ(SysStringLen(info.bstrDescription), 4u);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    // The office gone: the call is disconnected, as for an instance that has quit.
    EXPECT_EQ(invoke(2, info), kDisconnected);
    EXPECT_EQ(invoke(3, info), DISP_E_EXCEPTION);
    EXPECT_EQ(info.scode, kWordCommandFailed);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
    EXPECT_EQ(invoke(4, info), DISP_E_EXCEPTION);
    SysFreeString(info.bstrDescription);
    SysFreeString(info.bstrSource);
}

TEST(WordModelDispatch, ReferenceCountingAndIdentity) {
    const long before = DispatchObject::LiveObjects();
    IDispatch* raw = MakeObject<Echo>().Detach();
    EXPECT_EQ(DispatchObject::LiveObjects(), before + 1);
    IUnknown* unknown = nullptr;
    ASSERT_EQ(raw->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
    EXPECT_EQ(DispatchObject::From(unknown), static_cast<DispatchObject*>(raw));
    void* other = nullptr;
    EXPECT_EQ(raw->QueryInterface(IID_IClassFactory, &other), E_NOINTERFACE);
    EXPECT_EQ(other, nullptr);
    unknown->Release();
    EXPECT_EQ(raw->Release(), 0u);
    EXPECT_EQ(DispatchObject::LiveObjects(), before);
}

}  // namespace
}  // namespace word_model
