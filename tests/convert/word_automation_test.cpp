#include "convert/WordAutomation.h"

#include <cctype>
#include <filesystem>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "contracts/DispatchIds.h"
#include "convert/Dispatch.h"
#include "tests/support/fake_word.h"
#include "tests/support/scoped_environment.h"

namespace dispid = tessaline::contracts::dispid;

namespace {

using dispatch::Variant;
using testing_support::FakeWord;
using testing_support::RecordedArgument;
using testing_support::RecordedCall;
using testing_support::WordObject;

constexpr VARTYPE kByRefVariant = VT_BYREF | VT_VARIANT;
constexpr HRESULT kAccessDenied = static_cast<HRESULT>(0x80070005);
constexpr HRESULT kAborted = static_cast<HRESULT>(0x80004004);

// The HRESULT a call raised, S_OK when it raised nothing.
HRESULT RaisedBy(const std::function<void()>& call) {
    try {
        call();
    } catch (const _com_error& e) {
        return e.Error();
    }
    return S_OK;
}

void ExpectOmitted(const RecordedArgument& arg) {
    EXPECT_EQ(arg.passedType, kByRefVariant);
    EXPECT_EQ(arg.type, VT_ERROR);
    EXPECT_EQ(arg.integer, DISP_E_PARAMNOTFOUND);
}

void ExpectByRef(const RecordedArgument& arg, VARTYPE type, std::int64_t value) {
    EXPECT_EQ(arg.passedType, kByRefVariant);
    EXPECT_EQ(arg.type, type);
    EXPECT_EQ(arg.integer, value);
}

class WordTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
        inApartment_ = true;
        word_ = FakeWord::Install();
    }
    void TearDown() override {
        word_.reset();
        if (inApartment_) {
            CoUninitialize();
        }
    }

    std::string WriteDocument(const std::string& name, const std::string& content = "pages: 1\n") {
        std::filesystem::path path = platform_.Work() / name;
        testing_support::WriteFile(path, content);
        return path.string();
    }

    // Leg 2 of a job as the controller runs it: create, version, documents, open, print, release
    // the document and the collection, quit, release the instance.
    void PrintDocument(const std::string& path) {
        ComPtr<IDispatch> application = word::CreateWordApplication();
        ASSERT_TRUE(application);
        int major = word::GetMajorVersion(application.Get());
        ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
        ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), path, major);
        ASSERT_TRUE(document);
        word::PrintOutDocument(document.Get(), major);
        document.Reset();
        documents.Reset();
        word::QuitWord(application.Get());
    }

    testing_support::ScopedPlatform platform_;
    std::shared_ptr<FakeWord> word_;
    bool inApartment_ = false;
};

// ---- The calls of each version range ------------------------------------------------------

struct VersionCase {
    const char* version;
    int major;
    DISPID open;
    UINT openArgs;
    DISPID printOut;
};

void PrintTo(const VersionCase& c, std::ostream* os) {
    *os << "Version \"" << c.version << '"';
}

class WordVersionTest : public WordTest, public ::testing::WithParamInterface<VersionCase> {};

TEST_P(WordVersionTest, MakesTheContractCallsWithTheirArgumentShapes) {
    const VersionCase& c = GetParam();
    word_->SetVersion(c.version);
    std::string path = WriteDocument("Bericht Ü 1.doc");

    ComPtr<IDispatch> application = word::CreateWordApplication();
    ASSERT_TRUE(application);
    EXPECT_EQ(word::GetMajorVersion(application.Get()), c.major);
    ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
    ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), path, c.major);
    ASSERT_TRUE(document);
    word::PrintOutDocument(document.Get(), c.major);
    document.Reset();
    documents.Reset();
    word::QuitWord(application.Get());
    application.Reset();

    std::vector<RecordedCall> calls = word_->Calls();
    ASSERT_EQ(calls.size(), 5u);
    struct Expected {
        WordObject object;
        DISPID dispId;
        WORD flags;
        UINT args;
    };
    const Expected expected[] = {
        {WordObject::Application, dispid::kApplicationVersion, DISPATCH_PROPERTYGET, 0},
        {WordObject::Application, dispid::kApplicationDocuments, DISPATCH_PROPERTYGET, 0},
        {WordObject::Documents, c.open, DISPATCH_METHOD, c.openArgs},
        {WordObject::Document, c.printOut, DISPATCH_METHOD, 18},
        {WordObject::Application, dispid::kApplicationQuit, DISPATCH_METHOD, 3},
    };
    for (size_t i = 0; i < calls.size(); ++i) {
        SCOPED_TRACE("call " + std::to_string(i));
        EXPECT_EQ(calls[i].object, expected[i].object);
        EXPECT_EQ(calls[i].dispId, expected[i].dispId);
        EXPECT_EQ(calls[i].flags, expected[i].flags);
        EXPECT_EQ(calls[i].argCount, expected[i].args);
        EXPECT_EQ(calls[i].namedArgCount, 0u);
        EXPECT_EQ(calls[i].thread, std::this_thread::get_id());
    }

    const RecordedCall& open = calls[2];
    EXPECT_EQ(open.args[0].passedType, kByRefVariant);
    EXPECT_EQ(open.args[0].type, VT_BSTR);
    EXPECT_EQ(open.args[0].text, path);
    for (size_t i = 1; i < open.args.size(); ++i) {
        SCOPED_TRACE("Open argument " + std::to_string(i + 1));
        ExpectOmitted(open.args[i]);
    }

    const RecordedCall& printOut = calls[3];
    for (size_t i = 0; i < printOut.args.size(); ++i) {
        SCOPED_TRACE("PrintOut argument " + std::to_string(i + 1));
        if (i == 0 || i == 1) {
            ExpectByRef(printOut.args[i], VT_I2, 1);  // Background, Append
        } else if (i == 7) {
            ExpectByRef(printOut.args[i], VT_I4, 1);  // Copies
        } else {
            ExpectOmitted(printOut.args[i]);
        }
    }

    const RecordedCall& quit = calls[4];
    ExpectByRef(quit.args[0], VT_BOOL, VARIANT_FALSE);
    ExpectByRef(quit.args[1], VT_EMPTY, 0);
    ExpectByRef(quit.args[2], VT_EMPTY, 0);

    EXPECT_EQ(word_->InstancesCreated(), 1);
    EXPECT_EQ(word_->QuitCalls(), 1);
    EXPECT_EQ(word_->LiveObjects(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Versions, WordVersionTest,
    ::testing::Values(VersionCase{"8.0", 8, 15, 12, 444}, VersionCase{"9.0", 9, 15, 12, 444},
                      VersionCase{"abc", 0, 15, 12, 444}, VersionCase{"10.0", 10, 18, 15, 446},
                      VersionCase{"11.0", 11, 19, 16, 446}, VersionCase{"16.0", 16, 19, 16, 446}),
    [](const auto& info) {
        std::string name = info.param.version;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return "Word_" + name;
    });

TEST_F(WordTest, MajorVersionIsTheLeadingIntegerOfVersion) {
    const std::pair<const char*, int> cases[] = {
        {"16.0.4266.1001", 16}, {"10", 10}, {"9.9", 9}, {"8a", 8}, {"abc", 0}, {"", 0}, {".5", 0},
    };
    ComPtr<IDispatch> application = word::CreateWordApplication();
    ASSERT_TRUE(application);
    for (const auto& [version, major] : cases) {
        word_->SetVersion(version);
        EXPECT_EQ(word::GetMajorVersion(application.Get()), major)
            << "Version \"" << version << '"';
    }
}

// ---- Failures -----------------------------------------------------------------------------

TEST_F(WordTest, FailedCallsRaiseTheirHresult) {
    word_->SetVersion("16.0");
    std::string path = WriteDocument("a.doc");
    ComPtr<IDispatch> application = word::CreateWordApplication();
    ASSERT_TRUE(application);

    // A bare failure, and the second Version call only.
    word_->FailCall(dispid::kApplicationVersion, E_FAIL, 2);
    EXPECT_EQ(word::GetMajorVersion(application.Get()), 16);
    EXPECT_EQ(RaisedBy([&] { word::GetMajorVersion(application.Get()); }), E_FAIL);
    EXPECT_EQ(word::GetMajorVersion(application.Get()), 16);

    word_->FailCall(dispid::kApplicationDocuments, kAccessDenied);
    EXPECT_EQ(RaisedBy([&] { word::GetDocuments(application.Get()); }), kAccessDenied);
    ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
    ASSERT_TRUE(documents);

    // Word's own errors arrive as DISP_E_EXCEPTION; the raised error carries their code and text.
    word_->FailCall(dispid::kDocumentsOpen11, FakeWord::kOpenFailed, 1, WordObject::Documents,
                    "This file could not be found.");
    try {
        word::OpenDocument(documents.Get(), path, 16);
        ADD_FAILURE() << "Open did not raise";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), FakeWord::kOpenFailed);
        EXPECT_EQ(e.Description(), u"This file could not be found.");
    }

    ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), path, 16);
    ASSERT_TRUE(document);
    word_->FailPrintOut(E_OUTOFMEMORY);
    EXPECT_EQ(RaisedBy([&] { word::PrintOutDocument(document.Get(), 16); }), E_OUTOFMEMORY);
    EXPECT_EQ(RaisedBy([&] { word::PrintOutDocument(document.Get(), 8); }), E_OUTOFMEMORY);
    document.Reset();
    documents.Reset();

    word_->FailCall(dispid::kApplicationQuit, RPC_E_CHANGED_MODE);
    EXPECT_EQ(RaisedBy([&] { word::QuitWord(application.Get()); }), RPC_E_CHANGED_MODE);
    word::QuitWord(application.Get());
    application.Reset();

    // A failed call leaks neither its result nor its arguments' references.
    EXPECT_EQ(word_->LiveObjects(), 0);
}

TEST_F(WordTest, OpenRaisesWhenTheDocumentCannotBeOpened) {
    std::string refused = WriteDocument("refused.doc", "open: fail\n");
    std::string chosen = WriteDocument("chosen.doc");
    std::string missing = (platform_.Work() / "missing.doc").string();
    word_->FailOpen(chosen, kAborted);

    ComPtr<IDispatch> application = word::CreateWordApplication();
    ASSERT_TRUE(application);
    ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
    for (int major : {8, 10, 16}) {
        SCOPED_TRACE("major " + std::to_string(major));
        EXPECT_EQ(RaisedBy([&] { word::OpenDocument(documents.Get(), refused, major); }),
                  FakeWord::kOpenFailed);
        EXPECT_EQ(RaisedBy([&] { word::OpenDocument(documents.Get(), missing, major); }),
                  FakeWord::kOpenFailed);
        EXPECT_EQ(RaisedBy([&] { word::OpenDocument(documents.Get(), chosen, major); }), kAborted);
    }
    documents.Reset();
    word::QuitWord(application.Get());
    application.Reset();
    EXPECT_EQ(word_->LiveObjects(), 0);
}

// ---- Creating the instance ----------------------------------------------------------------

TEST_F(WordTest, CreateIsEmptyWhenWordCannotBeStarted) {
    word_->FailCreate(E_OUTOFMEMORY);
    EXPECT_FALSE(word::CreateWordApplication());
    word_->FailCreate(S_OK);
    EXPECT_TRUE(word::CreateWordApplication());

    word_.reset();  // the ProgID is no longer registered
    EXPECT_FALSE(word::CreateWordApplication());
}

TEST_F(WordTest, CreateNeedsAnApartment) {
    bool created = true;
    std::thread([&] { created = static_cast<bool>(word::CreateWordApplication()); }).join();
    EXPECT_FALSE(created);
    EXPECT_EQ(word_->InstancesCreated(), 0);
}

TEST_F(WordTest, WorkerThreadsEachDriveTheirOwnInstance) {
    word_->SetVersion("10.0");
    std::vector<std::string> paths;
    for (int i = 0; i < 4; ++i) {
        paths.push_back(WriteDocument("doc" + std::to_string(i) + ".doc"));
    }
    std::vector<std::thread> threads;
    std::vector<std::thread::id> ids(paths.size());
    for (size_t i = 0; i < paths.size(); ++i) {
        threads.emplace_back([&, i] {
            ids[i] = std::this_thread::get_id();
            ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
            PrintDocument(paths[i]);
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }

    EXPECT_EQ(word_->InstancesCreated(), 4);
    EXPECT_EQ(word_->QuitCalls(), 4);
    EXPECT_EQ(word_->LiveObjects(), 0);
    // Each thread's calls are its own leg, in order.
    std::vector<RecordedCall> calls = word_->Calls();
    for (size_t i = 0; i < paths.size(); ++i) {
        std::vector<DISPID> ids_of_thread;
        std::string opened;
        for (const RecordedCall& call : calls) {
            if (call.thread == ids[i]) {
                ids_of_thread.push_back(call.dispId);
                if (call.dispId == dispid::kDocumentsOpen10) {
                    opened = call.args[0].text;
                }
            }
        }
        EXPECT_EQ(ids_of_thread,
                  (std::vector<DISPID>{dispid::kApplicationVersion, dispid::kApplicationDocuments,
                                       dispid::kDocumentsOpen10, dispid::kDocumentPrintOut10,
                                       dispid::kApplicationQuit}));
        EXPECT_EQ(opened, paths[i]);
    }
}

// ---- The dispatch helper ------------------------------------------------------------------

TEST(DispatchVariantTest, ReadersConvertAndCopiesOwnTheirValues) {
    Variant copy;
    {
        Variant original = Variant::String("Kapitel 1 – Überblick");
        copy = original;
    }
    EXPECT_EQ(copy.AsString(), "Kapitel 1 – Überblick");

    EXPECT_EQ(Variant::Int32(42).AsString(), "42");
    EXPECT_EQ(Variant::String("7").AsInt(), 7);
    EXPECT_EQ(Variant::Int16(-3).AsDouble(), -3.0);
    EXPECT_FLOAT_EQ(static_cast<float>(Variant::Float(123.75f).AsDouble()), 123.75f);
    EXPECT_TRUE(Variant::Bool(true).AsBool());
    EXPECT_FALSE(Variant::Int32(0).AsBool());

    // Values read through a by-reference variant.
    Variant target = Variant::Int32(5);
    Variant ref;
    ref.Raw().vt = VT_BYREF | VT_VARIANT;
    ref.Raw().pvarVal = &target.Raw();
    EXPECT_EQ(ref.AsInt(), 5);
    EXPECT_EQ(ref.AsString(), "5");

    EXPECT_EQ(RaisedBy([] { Variant::Int32(1).AsDispatch(); }), DISP_E_TYPEMISMATCH);
    EXPECT_EQ(RaisedBy([] { Variant::String("seven").AsInt(); }), DISP_E_TYPEMISMATCH);
    EXPECT_FALSE(Variant::Object(nullptr).AsDispatch());
}

// An object that reports failure the way older servers do: a 16-bit code and a description
// filled in only on request.
class DeferredErrorObject : public IDispatch {
  public:
    HRESULT QueryInterface(REFIID, void**) override { return E_NOINTERFACE; }
    ULONG AddRef() override { return 1; }
    ULONG Release() override { return 1; }
    HRESULT GetTypeInfoCount(UINT*) override { return E_NOTIMPL; }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO* info,
                   UINT*) override {
        *info = EXCEPINFO{};
        info->wCode = 5;
        info->pfnDeferredFillIn = [](EXCEPINFO* e) -> HRESULT {
            e->bstrDescription = SysAllocString(u"late");
            return S_OK;
        };
        return DISP_E_EXCEPTION;
    }
};

TEST(DispatchInvokeTest, ExceptionsWithoutScodeMapToTheirCode) {
    DeferredErrorObject object;
    try {
        dispatch::Call(&object, 1);
        ADD_FAILURE() << "no error raised";
    } catch (const _com_error& e) {
        EXPECT_EQ(e.Error(), static_cast<HRESULT>(0x80040205));
        EXPECT_EQ(e.Description(), u"late");
    }
    EXPECT_EQ(RaisedBy([] { dispatch::Get(nullptr, 1); }), E_POINTER);
}

// ---- The fake's strictness the tests above rely on ---------------------------------------

TEST_F(WordTest, FakeRefusesFormsItsVersionLacksAndWrongArgumentCounts) {
    std::string path = WriteDocument("a.doc");
    word_->SetVersion("9.0");
    ComPtr<IDispatch> application = word::CreateWordApplication();
    ASSERT_TRUE(application);
    ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
    EXPECT_EQ(RaisedBy([&] { word::OpenDocument(documents.Get(), path, 11); }),
              DISP_E_MEMBERNOTFOUND);
    std::vector<Variant> args(11, Variant::Missing());
    args[0] = Variant::String(path);
    EXPECT_EQ(RaisedBy([&] { dispatch::Call(documents.Get(), dispid::kDocumentsOpen9, args); }),
              DISP_E_BADPARAMCOUNT);
    args.push_back(Variant::Missing());
    args[0] = Variant::Int32(1);
    EXPECT_EQ(RaisedBy([&] { dispatch::Call(documents.Get(), dispid::kDocumentsOpen9, args); }),
              DISP_E_TYPEMISMATCH);
    documents.Reset();
    word::QuitWord(application.Get());
    EXPECT_EQ(RaisedBy([&] { word::GetDocuments(application.Get()); }), FakeWord::kDisconnected);
}

// ---- The harvest's members, as the fake answers them --------------------------------------

TEST_F(WordTest, FakeAnswersTheHarvestMembersFromTheDocumentFile) {
    std::string path = WriteDocument("report.doc", R"(# two links, a bookmark, two paragraphs
pages: 4
page-size: 595 842
left-margin: 72
hyperlink: Chapter 2
  subaddress: _Toc123
  page: 2
  at: 100.5 200.25
  pixels: 120 18
  field: HYPERLINK \l "_Toc123" | Chapter 2 3
  field: PAGEREF _Toc123 \h | 3
hyperlink: logo
  address: http://example.com/
  name: http://example.com/
  shape: -5 10 50 40
  page: 3
  at: 90 300
  getpoint: fail
bookmark: Target
  text: Here
  page: 4
  at: 72 500
paragraph: 2 Chapter 2
  page: 2
paragraph: 10 Body text.
)");
    ComPtr<IDispatch> application = word::CreateWordApplication();
    ComPtr<IDispatch> documents = word::GetDocuments(application.Get());
    ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), path, 16);
    ASSERT_TRUE(document);
    {
        using dispatch::Call;
        using dispatch::Get;
        auto index = [](LONG i) { return std::vector<Variant>{Variant::Int32(i)}; };
        ComPtr<IDispatch> window = Get(document.Get(), 42).AsDispatch();
        EXPECT_EQ(Get(document.Get(), 3).AsString(), platform_.Work().string());

        ComPtr<IDispatch> links = Get(document.Get(), 61).AsDispatch();
        EXPECT_EQ(Get(links.Get(), 1).AsInt(), 2);
        ComPtr<IDispatch> text = Get(links.Get(), 0, index(1)).AsDispatch();
        EXPECT_EQ(Get(text.Get(), 1100).AsString(), "");
        EXPECT_EQ(Get(text.Get(), 1101).AsString(), "_Toc123");
        EXPECT_EQ(Get(text.Get(), 1005).AsInt(), 0);
        ComPtr<IDispatch> range = Get(text.Get(), 1006).AsDispatch();
        EXPECT_EQ(Get(range.Get(), 0).AsString(), "Chapter 2");
        Call(window.Get(), 111, {Variant::Object(range.Get()), Variant::Bool(true)});
        Call(range.Get(), 65535);
        ComPtr<IDispatch> selection = Get(window.Get(), 4).AsDispatch();
        EXPECT_DOUBLE_EQ(Get(selection.Get(), 401, index(5)).AsDouble(), 100.5);
        EXPECT_DOUBLE_EQ(Get(selection.Get(), 401, index(6)).AsDouble(), 200.25);
        EXPECT_EQ(Get(range.Get(), 313, index(3)).AsInt(), 2);
        ComPtr<IDispatch> setup = Get(range.Get(), 1101).AsDispatch();
        EXPECT_DOUBLE_EQ(Get(setup.Get(), 102).AsDouble(), 72);
        EXPECT_DOUBLE_EQ(Get(setup.Get(), 105).AsDouble(), 595);
        // GetPoint answers through its by-reference arguments.
        std::vector<Variant> point{Variant::Int32(0), Variant::Int32(0), Variant::Int32(0),
                                   Variant::Int32(0), Variant::Object(range.Get())};
        dispatch::Invoke(window.Get(), 112, DISPATCH_METHOD, point);
        EXPECT_EQ(point[2].AsInt(), 120);
        EXPECT_EQ(point[3].AsInt(), 18);
        ComPtr<IDispatch> fields = Get(range.Get(), 64).AsDispatch();
        EXPECT_EQ(Get(fields.Get(), 1).AsInt(), 2);
        ComPtr<IDispatch> first = Get(fields.Get(), 0, index(1)).AsDispatch();
        EXPECT_EQ(Get(Get(first.Get(), 0).AsDispatch().Get(), 0).AsString(),
                  "HYPERLINK \\l \"_Toc123\"");
        EXPECT_EQ(Get(Get(first.Get(), 4).AsDispatch().Get(), 0).AsString(), "Chapter 2 3");
        EXPECT_EQ(RaisedBy([&] { Get(fields.Get(), 0, index(3)); }), FakeWord::kNoSuchMember);

        ComPtr<IDispatch> onShape = Get(links.Get(), 0, index(2)).AsDispatch();
        EXPECT_EQ(Get(onShape.Get(), 1005).AsInt(), 1);
        EXPECT_EQ(Get(onShape.Get(), 1100).AsString(), "http://example.com/");
        ComPtr<IDispatch> shape = Get(onShape.Get(), 1007).AsDispatch();
        EXPECT_DOUBLE_EQ(Get(shape.Get(), 111).AsDouble(), -5);
        EXPECT_DOUBLE_EQ(Get(shape.Get(), 123).AsDouble(), 10);
        EXPECT_DOUBLE_EQ(Get(shape.Get(), 128).AsDouble(), 50);
        EXPECT_DOUBLE_EQ(Get(shape.Get(), 109).AsDouble(), 40);
        ComPtr<IDispatch> anchor = Get(shape.Get(), 501).AsDispatch();
        EXPECT_EQ(Get(anchor.Get(), 313, index(3)).AsInt(), 3);
        point[4] = Variant::Object(shape.Get());
        EXPECT_EQ(RaisedBy([&] { dispatch::Invoke(window.Get(), 112, DISPATCH_METHOD, point); }),
                  FakeWord::kCommandFailed);
        EXPECT_EQ(RaisedBy([&] { Get(text.Get(), 1007); }), FakeWord::kCommandFailed);

        ComPtr<IDispatch> bookmarks = Get(document.Get(), 4).AsDispatch();
        EXPECT_EQ(Get(bookmarks.Get(), 2).AsInt(), 1);
        ComPtr<IDispatch> bookmark = Get(bookmarks.Get(), 0, index(1)).AsDispatch();
        EXPECT_EQ(Get(bookmark.Get(), 0).AsString(), "Target");
        ComPtr<IDispatch> target = Get(bookmark.Get(), 1).AsDispatch();
        Call(target.Get(), 65535);
        EXPECT_DOUBLE_EQ(Get(selection.Get(), 401, index(6)).AsDouble(), 500);
        EXPECT_EQ(Get(selection.Get(), 401, index(3)).AsInt(), 4);

        ComPtr<IDispatch> paragraphs = Get(document.Get(), 16).AsDispatch();
        EXPECT_EQ(Get(paragraphs.Get(), 2).AsInt(), 2);
        ComPtr<IDispatch> heading = Get(paragraphs.Get(), 0, index(1)).AsDispatch();
        EXPECT_EQ(Get(heading.Get(), 202).AsInt(), 2);
        EXPECT_EQ(Get(Get(heading.Get(), 0).AsDispatch().Get(), 0).AsString(), "Chapter 2\r");
        ComPtr<IDispatch> body = Get(paragraphs.Get(), 0, index(2)).AsDispatch();
        EXPECT_EQ(Get(body.Get(), 202).AsInt(), 10);
    }
    EXPECT_GT(word_->LiveObjects(WordObject::Document), 0);
    document.Reset();
    documents.Reset();
    word::QuitWord(application.Get());
    application.Reset();
    EXPECT_EQ(word_->LiveObjects(), 0);
}

}  // namespace
