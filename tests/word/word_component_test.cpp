// The "Word.Application" component on the real LibreOffice, created through the class registry
// and driven with the conversion's own late-bound calls.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "components/word/model/Uno.h"
#include "components/word/office/RecentDocuments.h"
#include "contracts/DispatchIds.h"
#include "contracts/Installation.h"
#include "convert/Dispatch.h"
#include "convert/WordAutomation.h"
#include "platform/com.h"
#include "platform/named_pipe.h"
#include "platform/profile.h"
#include "platform/registry.h"
#include "platform/spooler.h"
#include "tests/support/emf_writer.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"
#include "tests/support/wait_until.h"
#include "tests/word/reference_office.h"

namespace dispid = tessaline::contracts::dispid;

namespace {

namespace fs = std::filesystem;
using dispatch::GetString;
using dispatch::Variant;
using namespace std::chrono_literals;

constexpr HRESULT kFileNotFound = static_cast<HRESULT>(0x800A1436);
constexpr HRESULT kBadDocument = static_cast<HRESULT>(0x800A13E9);
constexpr HRESULT kCommandFailed = static_cast<HRESULT>(0x800A1066);
constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108);
constexpr HRESULT kServerExecFailure = static_cast<HRESULT>(0x80080005);

const fs::path kDocuments = TESSALINE_WORD_TEST_DOCUMENTS;
const fs::path kExamples = TESSALINE_SOURCE_DIR "/examples";
const std::string kService = TESSALINE_PROGRAM_DIR "/tessaline-spoold";

// One late-bound call as the caller sees it: the result, or the failure with Word's own code.
struct Outcome {
    HRESULT hr = S_OK;
    HRESULT scode = S_OK;  // EXCEPINFO's, for DISP_E_EXCEPTION
    std::string description;
    Variant result;
};

Outcome InvokeRaw(IDispatch* object, DISPID member, WORD flags, std::vector<VARIANT> reversed) {
    Outcome outcome;
    DISPPARAMS params{reversed.data(), nullptr, static_cast<UINT>(reversed.size()), 0};
    EXCEPINFO info{};
    UINT argErr = 0;
    outcome.hr = object->Invoke(member, IID_NULL, LOCALE_USER_DEFAULT, flags, &params,
                                outcome.result.Put(), &info, &argErr);
    if (outcome.hr == DISP_E_EXCEPTION) {
        outcome.scode = info.scode;
        if (info.bstrDescription != nullptr) {
            const std::u16string text(info.bstrDescription, SysStringLen(info.bstrDescription));
            outcome.description.assign(text.begin(), text.end());  // diagnostics only
        }
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
    }
    return outcome;
}

// The caller's arguments as it passes them: each by reference, the last one first.
std::vector<VARIANT> ByReference(std::vector<Variant>& args) {
    std::vector<VARIANT> reversed;
    for (auto it = args.rbegin(); it != args.rend(); ++it) {
        VARIANT byRef;
        VariantInit(&byRef);
        byRef.vt = VT_BYREF | VT_VARIANT;
        byRef.pvarVal = &it->Raw();
        reversed.push_back(byRef);
    }
    return reversed;
}

// Documents.Open as the conversion calls it for Word 2003 and later, with Word's error kept.
Outcome Open(IDispatch* documents, const std::string& path) {
    std::vector<Variant> args(16, Variant::Missing());
    args[0] = Variant::String(path);
    std::vector<VARIANT> reversed = ByReference(args);
    return InvokeRaw(documents, dispid::kDocumentsOpen11, DISPATCH_METHOD, reversed);
}

class WordComponent : public ::testing::Test {
  protected:
    void SetUp() override {
        const std::string missing = word_test::OfficeMissingReason();
        if (!missing.empty()) {
            GTEST_SKIP() << missing;
        }
        std::string error;
        ASSERT_TRUE(word_test::EnsureTestDocuments(kDocuments, &error)) << error;
        platform_.emplace();
        ASSERT_EQ(platform::RegisterComClass(tessaline::contracts::kWordApplicationProgId,
                                             tessaline::contracts::kWordApplicationClsid,
                                             TESSALINE_WORD_LIBRARY),
                  S_OK);
        ASSERT_TRUE(SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)));
        initialised_ = true;
    }
    void TearDown() override {
        if (initialised_) {
            CoUninitialize();
        }
    }

    fs::path Root() const { return platform_->Root(); }
    fs::path Work() const { return platform_->Work(); }
    // A copy of a test document in the test's own folder.
    fs::path Document(const std::string& name) const {
        const fs::path copy = Work() / name;
        if (!fs::exists(copy)) {
            fs::copy_file(kDocuments / name, copy);
        }
        return copy;
    }

    ComPtr<IDispatch> CreateWord() {
        ComPtr<IDispatch> application = word::CreateWordApplication();
        EXPECT_TRUE(application) << "Word.Application could not be created";
        return application;
    }

    // The "Tessaline" printer with its real driver service, as the installer sets it up.
    void InstallVirtualPrinter() {
        using namespace tessaline::contracts;
        ASSERT_TRUE(platform::AddPrinter(kVirtualPrinter, kVirtualPrinterDriver));
        ASSERT_TRUE(platform::SetDriverService(kVirtualPrinterDriver, kService));
        ASSERT_TRUE(platform::MakeDefaultPrinter(kVirtualPrinter));
        const std::string tempDir = platform_->Temp().string() + "/" + kOutputFolder + "/";
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, nullptr, 0, KEY_WRITE,
                                  nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        RegSetValueExA(key, kTempDirValue, 0, REG_SZ,
                       reinterpret_cast<const BYTE*>(tempDir.c_str()),
                       static_cast<DWORD>(tempDir.size() + 1));
        RegCloseKey(key);
    }

    // The program's side of the print hand-off: waits for Ravelin and gives the text of every
    // printed page's payload, in page order.
    std::vector<std::string> PrintedPageTexts() {
        using namespace tessaline::contracts;
        HANDLE pipe =
            CreateNamedPipeA(kHandOffPipeName, PIPE_ACCESS_DUPLEX, 0, 1, 0, 0, 1000, nullptr);
        EXPECT_NE(pipe, INVALID_HANDLE_VALUE);
        const BOOL connected = ConnectNamedPipeWithTimeout(pipe, 120000);
        CloseHandle(pipe);
        EXPECT_TRUE(connected) << "the printed pages never reached Ravelin";
        HKEY key = nullptr;
        char handOff[1024] = {};
        DWORD size = sizeof handOff;
        RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_READ, &key);
        RegQueryValueExA(key, kHandOffPathValue, nullptr, nullptr, reinterpret_cast<BYTE*>(handOff),
                         &size);
        RegCloseKey(key);
        std::vector<std::string> texts;
        char value[1024] = {};
        GetPrivateProfileStringA("Setting", "EMFCount", "0", value, sizeof value, handOff);
        const int count = std::atoi(value);
        for (int n = 1; n <= count; ++n) {
            GetPrivateProfileStringA("EMFFiles", ("EMF" + std::to_string(n)).c_str(), "", value,
                                     sizeof value, handOff);
            texts.push_back(word_test::PdfText(
                testing_support::PagePayloadOf(testing_support::ReadBytes(value))));
        }
        return texts;
    }

    // The office's own PDF export of the document, page by page.
    std::vector<std::string> ReferencePageTexts(const fs::path& document) {
        word_test::ReferenceOffice office(Work() / "reference-root");
        std::string error;
        const fs::path pdf = Work() / (document.filename().string() + ".reference.pdf");
        EXPECT_TRUE(office.ExportPdf(document, pdf, &error)) << error;
        return word_test::PdfPageTexts(pdf);
    }

    // Waits (up to the limit) until no office of the test's root runs.
    bool OfficeGone(std::chrono::seconds limit) {
        return testing_support::WaitUntil(
            [&] { return word_test::OfficeProcessesOfRoot(Root()).empty(); }, limit, 100ms);
    }

    std::optional<testing_support::ScopedPlatform> platform_;
    bool initialised_ = false;
};

}  // namespace

TEST_F(WordComponent, AnswersVersionAndDocumentsAndRefusesWhatWordDoesNotHave) {
    ComPtr<IDispatch> word = CreateWord();
    ASSERT_TRUE(word);
    EXPECT_EQ(GetString(word.Get(), dispid::kApplicationVersion), "16.0");
    EXPECT_EQ(word::GetMajorVersion(word.Get()), 16);
    ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
    ASSERT_TRUE(documents);

    EXPECT_EQ(InvokeRaw(word.Get(), 9999, DISPATCH_METHOD | DISPATCH_PROPERTYGET, {}).hr,
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(InvokeRaw(documents.Get(), 444, DISPATCH_METHOD, {}).hr, DISP_E_MEMBERNOTFOUND);
    // Version is a property, Quit takes at most three arguments, Open at least the file name.
    EXPECT_EQ(InvokeRaw(word.Get(), dispid::kApplicationVersion, DISPATCH_METHOD, {}).hr,
              DISP_E_MEMBERNOTFOUND);
    std::vector<VARIANT> four(4);
    for (VARIANT& v : four) {
        VariantInit(&v);
    }
    EXPECT_EQ(InvokeRaw(word.Get(), dispid::kApplicationQuit, DISPATCH_METHOD, four).hr,
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(InvokeRaw(documents.Get(), dispid::kDocumentsOpen11, DISPATCH_METHOD, {}).hr,
              DISP_E_BADPARAMCOUNT);
    VARIANT number;
    VariantInit(&number);
    number.vt = VT_I4;
    number.lVal = 7;
    EXPECT_EQ(InvokeRaw(documents.Get(), dispid::kDocumentsOpen11, DISPATCH_METHOD, {number}).hr,
              DISP_E_TYPEMISMATCH);
    word::QuitWord(word.Get());
}

TEST_F(WordComponent, OpensInEachVersionsFormAndTellsTheDocumentsFolder) {
    ComPtr<IDispatch> word = CreateWord();
    ASSERT_TRUE(word);
    ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
    const fs::path docx = Document("two-pages.docx");
    const fs::path doc = Document("two-pages.doc");
    for (int major : {9, 10, 11, 16}) {
        SCOPED_TRACE("major version " + std::to_string(major));
        for (const fs::path& path : {docx, doc}) {
            ComPtr<IDispatch> document;
            ASSERT_NO_THROW(document = word::OpenDocument(documents.Get(), path.string(), major));
            ASSERT_TRUE(document);
            EXPECT_EQ(GetString(document.Get(), dispid::kDocumentPath), Work().string());
        }
    }
    // The content collections come from the document model: two headings and six paragraphs.
    ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), docx.string(), 16);
    ComPtr<IDispatch> paragraphs = dispatch::Get(document.Get(), 16).AsDispatch();
    ASSERT_TRUE(paragraphs);
    EXPECT_EQ(dispatch::Get(paragraphs.Get(), 2).AsInt(), 8);
    ComPtr<IDispatch> hyperlinks = dispatch::Get(document.Get(), 61).AsDispatch();
    ASSERT_TRUE(hyperlinks);
    EXPECT_EQ(dispatch::Get(hyperlinks.Get(), 1).AsInt(), 0);
    EXPECT_TRUE(dispatch::Get(document.Get(), 42).AsDispatch());
    EXPECT_EQ(InvokeRaw(document.Get(), 9999, DISPATCH_PROPERTYGET, {}).hr, DISP_E_MEMBERNOTFOUND);
    // The file name by value, as a script would pass it, and a relative one.
    VARIANT name;
    VariantInit(&name);
    const std::u16string text = docx.u16string();
    name.vt = VT_BSTR;
    name.bstrVal = SysAllocString(text.c_str());
    Outcome byValue = InvokeRaw(documents.Get(), dispid::kDocumentsOpen9, DISPATCH_METHOD, {name});
    VariantClear(&name);
    ASSERT_EQ(byValue.hr, S_OK) << byValue.description;
    EXPECT_EQ(GetString(byValue.result.AsDispatch().Get(), dispid::kDocumentPath), Work().string());
    EXPECT_NO_THROW(word::QuitWord(word.Get()));
}

TEST_F(WordComponent, DocumentsWordCannotReadFailAsInWordAndTheNextOneOpens) {
    ComPtr<IDispatch> word = CreateWord();
    ASSERT_TRUE(word);
    ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
    struct Case {
        std::string path;
        HRESULT scode;
    };
    const std::vector<Case> cases = {
        {(Work() / "no-such-file.docx").string(), kFileNotFound},
        {Work().string(), kFileNotFound},  // a folder
        {Document("corrupt.docx").string(), kBadDocument},
        {Document("empty.doc").string(), kBadDocument},
        {Document("random.doc").string(), kBadDocument},
        {Document("password.doc").string(), kBadDocument},
        {Document("sheet.docx").string(), kBadDocument},
    };
    const fs::path good = Document("two-pages.docx");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        const auto start = std::chrono::steady_clock::now();
        const Outcome failed = Open(documents.Get(), c.path);
        // Not a speed check: a hang would end at the watchdog's limit (30 s) plus the restart.
        EXPECT_LT(std::chrono::steady_clock::now() - start, 90s);
        EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
        EXPECT_EQ(failed.scode, c.scode) << failed.description;
        EXPECT_FALSE(failed.description.empty());

        const Outcome next = Open(documents.Get(), good.string());
        ASSERT_EQ(next.hr, S_OK) << next.description;
        EXPECT_EQ(GetString(next.result.AsDispatch().Get(), dispid::kDocumentPath),
                  Work().string());
    }
    word::QuitWord(word.Get());
}

TEST_F(WordComponent, QuitClosesTheDocumentsAndDisconnectsEveryObjectOfTheInstanceOnly) {
    testing_support::ScopedEnvVar keepNothing("TESSALINE_DOCUMENT_KEEP_SECONDS", "0");
    ComPtr<IDispatch> word = CreateWord();
    ComPtr<IDispatch> other = CreateWord();
    ASSERT_TRUE(word && other);
    ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
    ComPtr<IDispatch> otherDocuments = word::GetDocuments(other.Get());
    ComPtr<IDispatch> document =
        word::OpenDocument(documents.Get(), Document("two-pages.docx").string(), 16);
    ComPtr<IDispatch> otherDocument =
        word::OpenDocument(otherDocuments.Get(), Document("two-pages.doc").string(), 16);

    EXPECT_EQ(word_test::DocumentsLoadedInOfficeOf(Root()).size(), 2u);
    word::QuitWord(word.Get());
    EXPECT_EQ(word_test::DocumentsLoadedInOfficeOf(Root()).size(), 1u);
    EXPECT_EQ(InvokeRaw(word.Get(), dispid::kApplicationVersion, DISPATCH_PROPERTYGET, {}).hr,
              kDisconnected);
    EXPECT_EQ(Open(documents.Get(), Document("two-pages.docx").string()).hr, kDisconnected);
    EXPECT_EQ(InvokeRaw(document.Get(), dispid::kDocumentPath, DISPATCH_PROPERTYGET, {}).hr,
              kDisconnected);
    EXPECT_EQ(InvokeRaw(document.Get(), 61, DISPATCH_PROPERTYGET, {}).hr, kDisconnected);

    // The other instance goes on.
    EXPECT_EQ(GetString(otherDocument.Get(), dispid::kDocumentPath), Work().string());
    EXPECT_EQ(GetString(other.Get(), dispid::kApplicationVersion), "16.0");
    word::QuitWord(other.Get());
    EXPECT_EQ(InvokeRaw(otherDocument.Get(), dispid::kDocumentPath, DISPATCH_PROPERTYGET, {}).hr,
              kDisconnected);
    EXPECT_TRUE(word_test::DocumentsLoadedInOfficeOf(Root()).empty());
}

TEST_F(WordComponent, InstancesOnSeveralThreadsShareTheOfficesOnePerCore) {
    const fs::path paths[] = {Document("two-pages.docx"), Document("two-pages.doc"),
                              Document("ten-pages.docx")};
    std::vector<std::string> failures(std::size(paths));
    std::vector<std::thread> threads;
    for (size_t i = 0; i < std::size(paths); ++i) {
        threads.emplace_back([&, i] {
            CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
            try {
                for (int round = 0; round < 3; ++round) {
                    ComPtr<IDispatch> word = word::CreateWordApplication();
                    ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
                    ComPtr<IDispatch> document =
                        word::OpenDocument(documents.Get(), paths[i].string(), 16);
                    if (GetString(document.Get(), dispid::kDocumentPath) != Work().string()) {
                        failures[i] = "wrong path";
                    }
                    document.Reset();
                    word::QuitWord(word.Get());
                }
            } catch (const _com_error& error) {
                failures[i] = error.ErrorMessage();
            }
            CoUninitialize();
        });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (size_t i = 0; i < std::size(paths); ++i) {
        EXPECT_EQ(failures[i], "") << paths[i];
    }
    const std::size_t offices = word_test::OfficeProcessesOfRoot(Root()).size();
    EXPECT_GE(offices, 1u);
    EXPECT_LE(offices, word_component::Office::OfficesAllowed());
}

// Side by side, documents go to offices of their own: while the first office is stuck on one
// document, another opens in the second, which two instances alive at once have started ahead.
// A document kept by the second office is handed out from there. One office is all there is when
// only one is allowed.
TEST_F(WordComponent, WhileTheFirstOfficeIsStuckADocumentOpensInTheSecond) {
    using word_component::Office;
    {
        testing_support::ScopedEnvVar one("TESSALINE_OFFICES", "1");
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> other = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        const Outcome opened = Open(documents.Get(), Document("two-pages.docx").string());
        EXPECT_EQ(opened.hr, S_OK) << opened.description;
        EXPECT_EQ(word_test::OfficeProcessesOfRoot(Root()).size(), 1u);
        word::QuitWord(other.Get());
        word::QuitWord(word.Get());
    }
    if (Office::OfficesAllowed() < 2) {
        GTEST_SKIP() << "skipped: this machine allows one office (one processor core)";
    }
    testing_support::ScopedEnvVar limit("TESSALINE_OFFICE_CALL_SECONDS", "120");
    ComPtr<IDispatch> word = CreateWord();
    ComPtr<IDispatch> other = CreateWord();
    // Ready once it listens on its pipe, and the component's keeper has connected.
    ASSERT_TRUE(word_test::WaitUntilOfficeListens(Root(), 1, 90s));
    ASSERT_TRUE(testing_support::WaitUntil(
        [&] { return !word_test::UnreadOnOfficeConnections(Root(), 1).empty(); }, 90s))
        << "the component never connected to its second office";
    // The keeper's last few calls of the start; nothing outside shows their end.
    std::this_thread::sleep_for(1s);

    const std::vector<pid_t> first = word_test::OfficeProcessesOfRoot(Root(), 0);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(::kill(first[0], SIGSTOP), 0);
    std::string stuckFailure = "not done";
    std::thread stuck([&] {
        CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
        try {
            ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
            word::OpenDocument(documents.Get(), Document("two-pages.doc").string(), 16);
            stuckFailure.clear();
        } catch (const _com_error& e) {
            stuckFailure = e.ErrorMessage();
        }
        CoUninitialize();
    });
    // Its open is under way once the stopped office has a request it cannot read.
    const bool underWay = testing_support::WaitUntil(
        [&] {
            const auto unread = word_test::UnreadOnOfficeConnections(Root(), 0);
            return std::any_of(unread.begin(), unread.end(), [](auto bytes) { return bytes > 0; });
        },
        90s);
    if (!underWay) {
        ::kill(first[0], SIGCONT);
        stuck.join();
        FAIL() << "the open never reached the first office";
    }
    const fs::path path = Document("ten-pages.docx");
    ComPtr<IDispatch> documents = word::GetDocuments(other.Get());
    const Outcome opened = Open(documents.Get(), path.string());
    ::kill(first[0], SIGCONT);
    stuck.join();
    ASSERT_EQ(opened.hr, S_OK) << opened.description;
    EXPECT_EQ(stuckFailure, "");
    EXPECT_EQ(word_test::DocumentsLoadedInOfficeOf(Root(), 1).size(), 1u);
    word::QuitWord(other.Get());

    // Kept by the second office, it is handed out from there: no office loads it again.
    ComPtr<IDispatch> again = word::GetDocuments(word.Get());
    ComPtr<IDispatch> reopened = word::OpenDocument(again.Get(), path.string(), 16);
    EXPECT_EQ(word_test::DocumentsLoadedInOfficeOf(Root(), 1).size(), 1u);
    reopened.Reset();
    word::QuitWord(word.Get());
}

TEST_F(WordComponent, AHungOrCrashedOfficeIsReplacedByTheNextOpen) {
    testing_support::ScopedEnvVar limit("TESSALINE_OFFICE_CALL_SECONDS", "4");
    ComPtr<IDispatch> word = CreateWord();
    ASSERT_TRUE(word);
    ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
    ComPtr<IDispatch> document =
        word::OpenDocument(documents.Get(), Document("two-pages.docx").string(), 16);
    std::vector<pid_t> offices = word_test::OfficeProcessesOfRoot(Root());
    ASSERT_EQ(offices.size(), 1u);

    // Hung: the office stops answering in the middle of an open.
    ASSERT_EQ(::kill(offices[0], SIGSTOP), 0);
    const Outcome hung = Open(documents.Get(), Document("two-pages.doc").string());
    EXPECT_EQ(hung.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(hung.scode, kBadDocument) << hung.description;
    ::kill(offices[0], SIGCONT);  // in case it was not ended

    const Outcome afterHang = Open(documents.Get(), Document("two-pages.doc").string());
    ASSERT_EQ(afterHang.hr, S_OK) << afterHang.description;
    offices = word_test::OfficeProcessesOfRoot(Root());
    ASSERT_EQ(offices.size(), 1u);

    // Crashed: the documents of the dead office are gone, the next open starts a new one.
    ComPtr<IDispatch> orphan = afterHang.result.AsDispatch();
    ASSERT_EQ(::kill(offices[0], SIGKILL), 0);
    ASSERT_TRUE(
        testing_support::WaitUntil([&] { return word_test::ProcessEnded(offices[0]); }, 30s))
        << "the killed office did not end";
    const Outcome afterCrash = Open(documents.Get(), Document("two-pages.docx").string());
    ASSERT_EQ(afterCrash.hr, S_OK) << afterCrash.description;
    const std::vector<pid_t> restarted = word_test::OfficeProcessesOfRoot(Root());
    ASSERT_EQ(restarted.size(), 1u);
    EXPECT_NE(restarted[0], offices[0]);
    word::QuitWord(word.Get());
}

// An office that has loaded its share of documents is replaced between documents, never under
// one. The only office goes once none of its documents is open, its kept ones with it.
TEST_F(WordComponent, AnOfficeIsReplacedAfterItsShareOfDocumentsButNotUnderAnOpenOne) {
    testing_support::ScopedEnvVar one("TESSALINE_OFFICES", "1");
    testing_support::ScopedEnvVar share("TESSALINE_OFFICE_MAX_DOCUMENTS", "2");
    InstallVirtualPrinter();
    const fs::path read = Document("two-pages.doc");
    const std::vector<std::string> expected = ReferencePageTexts(read);
    {
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        word::OpenDocument(documents.Get(), read.string(), 16);  // kept once quit
        ComPtr<IDispatch> open =
            word::OpenDocument(documents.Get(), Document("two-pages.docx").string(), 16);
        const std::vector<pid_t> due = word_test::OfficeProcessesOfRoot(Root());
        ASSERT_EQ(due.size(), 1u);
        std::this_thread::sleep_for(1500ms);  // several rounds of the office's housekeeping
        EXPECT_EQ(word_test::OfficeProcessesOfRoot(Root()), due);
        ASSERT_NO_THROW(word::PrintOutDocument(open.Get(), 16));
        EXPECT_EQ(PrintedPageTexts().size(), 2u);
        open.Reset();
        word::QuitWord(word.Get());

        // The next document opens in a new office, which holds nothing of the old one's.
        ComPtr<IDispatch> next = CreateWord();
        ComPtr<IDispatch> nextDocuments = word::GetDocuments(next.Get());
        const Outcome opened = Open(nextDocuments.Get(), Document("ten-pages.docx").string());
        ASSERT_EQ(opened.hr, S_OK) << opened.description;
        const std::vector<pid_t> now = word_test::OfficeProcessesOfRoot(Root());
        ASSERT_EQ(now.size(), 1u);
        EXPECT_NE(now[0], due[0]) << "the office was not replaced";
        EXPECT_EQ(word_test::DocumentsLoadedInOfficeOf(Root()).size(), 1u);
        // The document it had kept loads again, and prints.
        ComPtr<IDispatch> again = word::OpenDocument(nextDocuments.Get(), read.string(), 16);
        ASSERT_NO_THROW(word::PrintOutDocument(again.Get(), 16));
        EXPECT_EQ(PrintedPageTexts(), expected);
        again.Reset();
        word::QuitWord(next.Get());
    }
}

// With two offices, the other one takes the new documents while the retiring one still hands
// out what was read into it ahead of its turn; once that is printed, it is replaced.
TEST_F(WordComponent, ARetiringOfficeHandsOutWhatWasReadAheadWhileTheOtherTakesNewDocuments) {
    if (word_component::Office::OfficesAllowed() < 2) {
        GTEST_SKIP() << "skipped: this machine allows one office (one processor core)";
    }
    testing_support::ScopedEnvVar share("TESSALINE_OFFICE_MAX_DOCUMENTS", "2");
    testing_support::ScopedEnvVar keep("TESSALINE_DOCUMENT_KEEP_SECONDS", "600");
    InstallVirtualPrinter();
    const fs::path ahead[] = {Document("two-pages.docx"), Document("two-pages.doc")};
    const std::vector<std::string> expected = ReferencePageTexts(ahead[0]);
    // As a batch's reader holds one: with users, the new office starts at once.
    ComPtr<IDispatch> presence = CreateWord();
    auto readAhead = [&](const fs::path& path) {
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        word::OpenDocument(documents.Get(), path.string(), 16);
        word::QuitWord(word.Get());
    };
    for (const fs::path& path : ahead) {
        readAhead(path);  // both into the first office: its share
    }
    const std::vector<pid_t> first = word_test::OfficeProcessesOfRoot(Root(), 0);
    ASSERT_EQ(first.size(), 1u);
    ASSERT_EQ(word_test::DocumentsLoadedInOfficeOf(Root(), 0).size(), 2u);
    readAhead(Document("ten-pages.docx"));
    EXPECT_EQ(word_test::DocumentsLoadedInOfficeOf(Root(), 1).size(), 1u)
        << "a new document went to the retiring office";

    for (const fs::path& path : ahead) {
        SCOPED_TRACE(path.filename().string());
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        const Outcome opened = Open(documents.Get(), path.string());
        ASSERT_EQ(opened.hr, S_OK) << opened.description;
        EXPECT_EQ(word_test::OfficeProcessesOfRoot(Root(), 0), first);
        ComPtr<IDispatch> document = opened.result.AsDispatch();
        ASSERT_NO_THROW(word::PrintOutDocument(document.Get(), 16));
        const std::vector<std::string> printed = PrintedPageTexts();
        EXPECT_EQ(printed.size(), 2u);
        if (path == ahead[0]) {
            EXPECT_EQ(printed, expected);
        }
        document.Reset();
        word::QuitWord(word.Get());
    }
    // Nothing of it is left in use or kept: it is replaced, and the new one holds nothing.
    std::vector<pid_t> now;
    EXPECT_TRUE(testing_support::WaitUntil(
        [&] {
            now = word_test::OfficeProcessesOfRoot(Root(), 0);
            return !now.empty() && now != first;
        },
        90s, 200ms))
        << "the retiring office was not replaced";
    ASSERT_EQ(now.size(), 1u);
    ASSERT_TRUE(word_test::WaitUntilOfficeListens(Root(), 0, 90s));
    EXPECT_TRUE(word_test::DocumentsLoadedInOfficeOf(Root(), 0).empty());
    EXPECT_EQ(word_test::DocumentsLoadedInOfficeOf(Root(), 1).size(), 1u);
    readAhead(ahead[0]);
    word::QuitWord(presence.Get());
}

TEST_F(WordComponent, PrintOutPutsEveryPageOnTheDefaultPrinterInBothForms) {
    testing_support::ScopedEnvVar keepNothing("TESSALINE_DOCUMENT_KEEP_SECONDS", "0");
    InstallVirtualPrinter();
    for (const auto& [name, major] : {std::pair<std::string, int>{"two-pages.doc", 9},
                                      std::pair<std::string, int>{"two-pages.docx", 16}}) {
        SCOPED_TRACE(name);
        const fs::path path = Document(name);
        const std::vector<std::string> expected = ReferencePageTexts(path);
        ASSERT_EQ(expected.size(), 2u);
        ComPtr<IDispatch> word = CreateWord();
        ASSERT_TRUE(word);
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), path.string(), major);
        ASSERT_NO_THROW(word::PrintOutDocument(document.Get(), major));
        EXPECT_EQ(PrintedPageTexts(), expected);
        document.Reset();
        documents.Reset();
        word::QuitWord(word.Get());
    }
    // Our private PDF went with the document, and the office keeps its own files elsewhere.
    for (const auto& entry : fs::directory_iterator(platform_->Temp())) {
        EXPECT_EQ(entry.path().filename(), "DravelleOutput") << entry.path();
    }
}

TEST_F(WordComponent, PrintOutWithoutAPrinterThatPrintsFailsAsInWord) {
    ComPtr<IDispatch> word = CreateWord();
    ASSERT_TRUE(word);
    ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
    ComPtr<IDispatch> document =
        word::OpenDocument(documents.Get(), Document("two-pages.docx").string(), 16);
    std::vector<Variant> args(18, Variant::Missing());
    args[0] = Variant::Int16(1);
    args[1] = Variant::Int16(1);
    args[7] = Variant::Int32(1);
    std::vector<VARIANT> reversed = ByReference(args);
    const Outcome failed =
        InvokeRaw(document.Get(), dispid::kDocumentPrintOut10, DISPATCH_METHOD, reversed);
    EXPECT_EQ(failed.hr, DISP_E_EXCEPTION);
    EXPECT_EQ(failed.scode, kCommandFailed);
    EXPECT_NE(failed.description.find("printer"), std::string::npos) << failed.description;
    // Nineteen arguments are one too many.
    reversed.push_back(reversed.back());
    EXPECT_EQ(InvokeRaw(document.Get(), dispid::kDocumentPrintOut10, DISPATCH_METHOD, reversed).hr,
              DISP_E_BADPARAMCOUNT);
    word::QuitWord(word.Get());
}

TEST_F(WordComponent, ASecondOpenOfTheUnchangedFileReusesTheLoadedDocument) {
    InstallVirtualPrinter();
    const fs::path path = Document("two-pages.docx");
    const std::vector<std::string> expected = ReferencePageTexts(path);
    auto openAndQuit = [&](const fs::path& file) {
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        word::OpenDocument(documents.Get(), file.string(), 16);
        word::QuitWord(word.Get());
    };
    {
        // The first leg reads the document and leaves a selection behind.
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), path.string(), 16);
        ComPtr<IDispatch> paragraphs = dispatch::Get(document.Get(), 16).AsDispatch();
        ComPtr<IDispatch> first =
            dispatch::Call(paragraphs.Get(), 0, {Variant::Int32(1)}).AsDispatch();
        ComPtr<IDispatch> range = dispatch::Get(first.Get(), 0).AsDispatch();
        dispatch::Call(range.Get(), 65535);
        document.Reset();
        word::QuitWord(word.Get());
    }
    const auto kept = word_test::DocumentsLoadedInOfficeOf(Root());
    ASSERT_EQ(kept.size(), 1u);
    {
        // The second prints it: the same document, all of it.
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), path.string(), 16);
        const auto now = word_test::DocumentsLoadedInOfficeOf(Root());
        ASSERT_EQ(now.size(), 1u);
        EXPECT_TRUE(now[0] == kept[0]) << "the same unchanged file was loaded again";
        word::PrintOutDocument(document.Get(), 16);
        EXPECT_EQ(PrintedPageTexts(), expected);
        document.Reset();
        word::QuitWord(word.Get());
    }
    openAndQuit(path);
    auto now = word_test::DocumentsLoadedInOfficeOf(Root());
    ASSERT_EQ(now.size(), 1u);
    EXPECT_TRUE(now[0] == kept[0]);

    // Another file is kept beside it; the first is still handed out again.
    openAndQuit(Document("two-pages.doc"));
    now = word_test::DocumentsLoadedInOfficeOf(Root());
    ASSERT_EQ(now.size(), 2u);
    openAndQuit(path);
    now = word_test::DocumentsLoadedInOfficeOf(Root());
    ASSERT_EQ(now.size(), 2u);
    EXPECT_TRUE(std::count(now.begin(), now.end(), kept[0]) == 1);

    // A changed file at the same path is loaded anew, and what is printed is the new content.
    testing_support::WriteFile(Work() / "three-pages.fodt", word_test::FlatTextDocument(3, 1));
    {
        word_test::ReferenceOffice office(Work() / "reference-root");
        std::string error;
        ASSERT_TRUE(office.Convert(Work() / "three-pages.fodt", Work() / "three-pages.docx",
                                   "MS Word 2007 XML", "", &error))
            << error;
    }
    fs::copy_file(Work() / "three-pages.docx", path, fs::copy_options::overwrite_existing);
    ComPtr<IDispatch> again = CreateWord();
    ComPtr<IDispatch> againDocuments = word::GetDocuments(again.Get());
    ComPtr<IDispatch> second = word::OpenDocument(againDocuments.Get(), path.string(), 16);
    now = word_test::DocumentsLoadedInOfficeOf(Root());
    // The stale one is closed: the other file's and the new one.
    ASSERT_EQ(now.size(), 2u);
    EXPECT_EQ(std::count(now.begin(), now.end(), kept[0]), 0);
    word::PrintOutDocument(second.Get(), 16);
    const std::vector<std::string> printed = PrintedPageTexts();
    ASSERT_EQ(printed.size(), 3u);
    EXPECT_NE(printed[2].find("Page 3 heading"), std::string::npos) << printed[2];
    second.Reset();
    word::QuitWord(again.Get());
}

TEST_F(WordComponent, KeptDocumentsMakeRoomByClosingPrintedOnesFirstAndLeaveNoFrames) {
    InstallVirtualPrinter();
    const std::size_t most = word_component::RecentDocuments::kMostKept;
    std::vector<fs::path> files;
    for (std::size_t i = 0; i <= most; ++i) {
        files.push_back(Work() / ("copy-" + std::to_string(i) + ".docx"));
        fs::copy_file(Document("two-pages.docx"), files.back());
    }
    auto open = [&](const fs::path& file, bool print) {
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        ComPtr<IDispatch> document = word::OpenDocument(documents.Get(), file.string(), 16);
        if (print) {
            word::PrintOutDocument(document.Get(), 16);
            EXPECT_EQ(PrintedPageTexts().size(), 2u);
        }
        document.Reset();
        word::QuitWord(word.Get());
    };
    auto urls = [&] {
        std::set<std::string> loaded;
        for (const auto& model : word_test::DocumentsLoadedInOfficeOf(Root())) {
            const std::string url = word_model::ToUtf8(model->getURL());
            loaded.insert(url.substr(url.rfind('/') + 1));
        }
        return loaded;
    };
    // The second is printed; then one more than is kept arrives.
    for (std::size_t i = 0; i < files.size(); ++i) {
        open(files[i], i == 1);
    }
    std::set<std::string> loaded = urls();
    EXPECT_EQ(loaded.size(), most);
    EXPECT_EQ(loaded.count("copy-1.docx"), 0u) << "the printed document should have gone first";
    EXPECT_EQ(loaded.count("copy-0.docx"), 1u);
    EXPECT_EQ(loaded.count("copy-" + std::to_string(most) + ".docx"), 1u);
    // Every document has its one frame; closed documents leave none behind.
    EXPECT_EQ(word_test::FramesInOfficeOf(Root()), most);
    // One more again: now the oldest goes.
    const fs::path extra = Work() / "copy-extra.docx";
    fs::copy_file(Document("two-pages.docx"), extra);
    open(extra, false);
    EXPECT_EQ(urls().count("copy-0.docx"), 0u);
    EXPECT_EQ(word_test::FramesInOfficeOf(Root()), most);
    // Printed ones make room for each other too: only the latest few stay.
    const std::size_t printedKept = word_component::RecentDocuments::kMostPrintedKept;
    for (std::size_t i = 2; i < 3 + printedKept; ++i) {
        open(files[i], true);
    }
    loaded = urls();
    EXPECT_EQ(loaded.count("copy-2.docx"), 0u) << "the oldest printed one should have gone";
    EXPECT_EQ(loaded.count("copy-" + std::to_string(2 + printedKept) + ".docx"), 1u);
    EXPECT_EQ(loaded.size(), most - 1);
    EXPECT_EQ(word_test::FramesInOfficeOf(Root()), most - 1);
    // Documents that do not open leave no frame either.
    for (const char* broken : {"random.doc", "corrupt.docx", "password.doc"}) {
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        EXPECT_THROW(word::OpenDocument(documents.Get(), Document(broken).string(), 16), _com_error)
            << broken;
        word::QuitWord(word.Get());
    }
    EXPECT_EQ(word_test::FramesInOfficeOf(Root()), most - 1);
}

TEST_F(WordComponent, NoOfficeIsLeftWhenIdleOrWhenTheProcessEnds) {
    testing_support::ScopedEnvVar idle("TESSALINE_OFFICE_IDLE_SECONDS", "1");
    {
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        const Outcome opened = Open(documents.Get(), Document("two-pages.docx").string());
        EXPECT_EQ(opened.hr, S_OK) << opened.description;
        EXPECT_EQ(word_test::OfficeProcessesOfRoot(Root()).size(), 1u);
        // While objects live, the office stays.
        std::this_thread::sleep_for(2500ms);
        EXPECT_EQ(word_test::OfficeProcessesOfRoot(Root()).size(), 1u);
        word::QuitWord(word.Get());
    }
    EXPECT_TRUE(OfficeGone(30s)) << "the idle office was not ended";

    // A process that ends normally, and one that is killed, with an instance and a document.
    for (const char* how : {"exit", "killed"}) {
        SCOPED_TRACE(how);
        testing_support::ScopedEnvVar longIdle("TESSALINE_OFFICE_IDLE_SECONDS", "600");
        const fs::path flag = Work() / (std::string("opened-") + how);
        const pid_t child =
            testing_support::StartProcess({TESSALINE_WORD_CHILD, TESSALINE_WORD_LIBRARY,
                                           Document("two-pages.doc").string(), flag.string(), how});
        const fs::path go = flag.string() + ".go";
        if (!testing_support::WaitUntil([&] { return fs::exists(flag); }, 120s, 100ms)) {
            ::kill(child, SIGKILL);
            testing_support::WaitProcess(child);
            FAIL() << "the child never opened its document";
        }
        EXPECT_EQ(word_test::OfficeProcessesOfRoot(Root()).size(), 1u);
        if (std::string(how) == "killed") {
            ::kill(child, SIGKILL);
        } else {
            testing_support::WriteFile(go, "");
        }
        testing_support::WaitProcess(child);
        EXPECT_TRUE(OfficeGone(30s)) << "the child's office outlived it";
    }
}

TEST_F(WordComponent, WithoutTheOfficeTheInstanceCannotBeCreated) {
    testing_support::ScopedEnvVar missing("TESSALINE_OFFICE_PROGRAM",
                                          (Work() / "no-office/soffice.bin").string());
    CLSID clsid;
    ASSERT_EQ(CLSIDFromProgID(tessaline::contracts::kWordApplicationOleProgId.data(), &clsid),
              S_OK);
    ComPtr<IDispatch> word;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_SERVER, IID_IDispatch,
                               reinterpret_cast<void**>(word.Put())),
              kServerExecFailure);
    EXPECT_FALSE(word);
    EXPECT_FALSE(word::CreateWordApplication());
    EXPECT_TRUE(word_test::OfficeProcessesOfRoot(Root()).empty());
}

TEST_F(WordComponent, EveryExampleDocumentPrintsPageForPageAsTheOfficeExportsIt) {
    if (!fs::is_directory(kExamples)) {
        GTEST_SKIP() << "no example documents in " << kExamples;
    }
    InstallVirtualPrinter();
    std::vector<fs::path> examples;
    for (const auto& entry : fs::directory_iterator(kExamples)) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".doc" || extension == ".docx")) {
            examples.push_back(entry.path());
        }
    }
    std::sort(examples.begin(), examples.end());
    ASSERT_GE(examples.size(), 12u);
    for (const fs::path& example : examples) {
        SCOPED_TRACE(example.filename().string());
        const std::vector<std::string> expected = ReferencePageTexts(example);
        ASSERT_FALSE(expected.empty());
        ComPtr<IDispatch> word = CreateWord();
        ComPtr<IDispatch> documents = word::GetDocuments(word.Get());
        const Outcome opened = Open(documents.Get(), example.string());
        ASSERT_EQ(opened.hr, S_OK) << opened.description;
        ComPtr<IDispatch> document = opened.result.AsDispatch();
        ASSERT_NO_THROW(word::PrintOutDocument(document.Get(), 16));
        EXPECT_EQ(PrintedPageTexts(), expected);
        document.Reset();
        documents.Reset();
        word::QuitWord(word.Get());
    }
}
