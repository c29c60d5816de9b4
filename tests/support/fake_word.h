// A scripted "Word.Application" for tests: registered at run time under the test's private
// platform root, it answers the conversion's late-bound calls by dispatch id from documents
// described in small text files, records every call, and fails calls on demand.
//
// Use: a testing_support::ScopedPlatform, CoInitializeEx on the test thread, then
// FakeWord::Install(). Destroying the last reference to the FakeWord unregisters it (on a thread
// that is still in its apartment).
//
// Document files. Documents.Open reads the file at the path it is given. One "key: value" per
// line; leading blanks are ignored, lines starting with "#" and blank lines are skipped. A value
// is the rest of the line after ": " (or ":"), taken exactly: no trimming, no escapes.
//
//   Document keys, anywhere in the file:
//     open: fail               Documents.Open of this file fails with kOpenFailed
//     pages: 3                 page count (Information(4), the print handler); default 1
//     page-size: 612 792       page width and height in points; default 612 792
//     left-margin: 90          PageSetup.LeftMargin in points; default 90
//     path: /some/folder       Document.Path; default the folder of the file
//
//   Items, in document order; the keys after an item line describe that item:
//     paragraph: LEVEL TEXT    outline level 1-9 (headings) or 10 (body); its range's text is
//                              TEXT followed by Word's paragraph mark "\r"
//     hyperlink: TEXT          a hyperlink whose range's text is TEXT
//       address: ADDRESS       Hyperlink.Address (default empty)
//       name: NAME             Hyperlink.Name (default empty)
//       subaddress: SUB        Hyperlink.SubAddress (default empty)
//       type: 0|1|2            Hyperlink.Type: text, shape, inline picture (default 0; 1 when
//                              "shape" is given)
//       shape: L T W H         the link's shape: Left, Top, Width, Height in points. For a shape
//                              link, page and at describe the anchor, pixels the shape
//       field: CODE | RESULT   a field in the link's range, repeatable; split at the last " | "
//     bookmark: NAME           a bookmark; "text" gives its range's text
//     docfield: TYPE CODE | RESULT  a field of the body (Document.Fields) of Word's field type
//                              TYPE, split at the last " | "; its place is its result's
//
//   Placement, for the current item (its range, or a shape link's anchor):
//     page: N                  the page it is on (Information(3)); default 1
//     at: X Y                  its position on the page in points once selected
//                              (Selection.Information(5) and (6)); default 0 0
//     pixels: W H              its on-screen width and height from Window.GetPoint; default 0 0
//     getpoint: fail           Window.GetPoint fails for it with kCommandFailed
//     place: none              the layout has no place for it (a bookmark in a header): its
//                              range's Select and Information fail with kCommandFailed
//     text: TEXT               the range's text (bookmarks)
//     list: NUMBER             a paragraph's number as shown (ListFormat.ListString)
//
// A file that does not parse makes Open fail with kBadDocument and the line in the description.
//
// Members answered, by dispatch id (P property get, M method, argument counts exact):
//   Application  Version 24 P (string), Documents 6 P, Quit 1105 M(3)
//   Documents    Open 15 M(12), 18 M(15) from version 10, 19 M(16) from version 11; argument 1
//                the path as a string by reference
//   Document     PrintOut 444 M(18), 446 M(18) from version 10; Hyperlinks 61, ActiveWindow 42,
//                Path 3, Bookmarks 4, Paragraphs 16 (P)
//   Hyperlinks   Count 1 P, Item 0 (i)
//   Hyperlink    Address 1100, Name 1003, SubAddress 1101 (strings), Type 1005, Range 1006,
//                Shape 1007 (P; Shape fails with kCommandFailed when the link is not on one)
//   Shape        Anchor 501, Left 111, Top 123, Width 128, Height 109 (P, 4-byte floats)
//   Window       ScrollIntoView 111 M(1-2), Selection 4 P,
//                GetPoint 112 M(5): writes left, top, width, height (pixels) through arguments
//                1-4 (by-reference VARIANTs or 4-byte integers) for the Range or Shape in 5
//   Selection    Information 401 P(1), of the range last selected in the document
//   Range        Text 0 P, Select 65535 M(0), Information 313 P(1), PageSetup 1101 P,
//                Fields 64 P, ListFormat 68 P
//   ListFormat   ListString 75 P (empty unless the paragraph has "list")
//   Information  items 1 and 3 the page, 4 the page count, 5 and 6 the position (4-byte floats)
//   PageSetup    LeftMargin 102, PageWidth 105 (P)
//   Bookmarks    Count 2 P, Item 0 (i or name)
//   Bookmark     Name 0, Range 1 (P)
//   Fields       Count 1 P, Item 0 (i)
//   Field        Code 0, Result 4 (P, ranges whose Text is the code or result); a docfield's
//                also Type 1 (P)
//   Paragraphs   Count 2 P, Item 0 (i)
//   Paragraph    Range 0, OutlineLevel 202 (P)
//   Document     Footnotes 7, Endnotes 8 (P): empty collections (Count 2); Fields 20 (P): the
//                docfields; StoryRanges 56 (P): Item 0 fails with kNoSuchMember (no stories
//                beside the body)
// Item takes either flag and a 1-based index (kNoSuchMember past the end). A property asked
// without DISPATCH_PROPERTYGET, a method without DISPATCH_METHOD or an unknown id gives
// DISP_E_MEMBERNOTFOUND; a wrong argument count DISP_E_BADPARAMCOUNT; an argument of the wrong
// type DISP_E_TYPEMISMATCH. As with a real instance in its apartment, calls from a thread other
// than the one that created the instance fail with kWrongThread, and every object of an
// instance fails with kDisconnected once it has quit.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "platform/com.h"

namespace testing_support {

// The kinds of object the fake hands out.
enum class WordObject {
    Application,
    Documents,
    Document,
    Hyperlinks,
    Hyperlink,
    Shape,
    Window,
    Selection,
    Range,
    PageSetup,
    Bookmarks,
    Bookmark,
    Fields,
    Field,
    Paragraphs,
    Paragraph,
    Notes,
    StoryRanges,
    ListFormat,
};
constexpr int kWordObjectKinds = 19;
const char* ToString(WordObject kind);

// One argument as the fake received it.
struct RecordedArgument {
    VARTYPE passedType = VT_EMPTY;  // as in rgvarg, e.g. VT_BYREF|VT_VARIANT
    VARTYPE type = VT_EMPTY;        // the value's type: the referenced variant's for by-ref
    bool byRef = false;
    std::int64_t integer = 0;          // I2, I4, INT, UI1, UI4, BOOL (-1 true), ERROR (its scode)
    double real = 0;                   // R4, R8
    std::string text;                  // BSTR, as UTF-8
    std::optional<WordObject> object;  // DISPATCH: the fake's kind, when it is one of ours
};

// One IDispatch::Invoke, in the order of arrival.
struct RecordedCall {
    WordObject object;
    DISPID dispId;
    WORD flags;
    UINT argCount;
    UINT namedArgCount;
    std::vector<RecordedArgument> args;  // natural order: args[0] is argument 1
    std::thread::id thread;
};

// What Document.PrintOut hands to the print handler.
struct PrintJob {
    std::string path;  // as given to Open
    int pages;
    float pageWidth;
    float pageHeight;
};

class FakeWord {
  public:
    // Word's own run-time errors as its automation reports them.
    static constexpr HRESULT kOpenFailed = static_cast<HRESULT>(0x800A1436);  // file not found
    static constexpr HRESULT kNoSuchMember = static_cast<HRESULT>(0x800A1735);
    static constexpr HRESULT kCommandFailed = static_cast<HRESULT>(0x800A1066);
    static constexpr HRESULT kBadDocument = static_cast<HRESULT>(0x800A13E9);
    // A call on an instance that has quit, and a call from a thread that does not own it.
    static constexpr HRESULT kDisconnected = static_cast<HRESULT>(0x80010108);
    static constexpr HRESULT kWrongThread = static_cast<HRESULT>(0x8001010E);

    static const CLSID kClsid;

    // Registers the class factory and the ProgID "Word.Application" in the current platform
    // root. The calling thread must be in an apartment.
    static std::shared_ptr<FakeWord> Install();
    ~FakeWord();
    FakeWord(const FakeWord&) = delete;
    FakeWord& operator=(const FakeWord&) = delete;

    // ---- Script ----
    // Application.Version; "16.0" unless set.
    void SetVersion(const std::string& version);
    // The class factory refuses to create instances with hr; a success code lifts that.
    void FailCreate(HRESULT hr);
    // Fails the nth call (1-based, counted from now) of dispId on objects of kind `on` (any
    // kind when absent) with hr; nth 0 fails every such call. With a description the failure
    // is reported as DISP_E_EXCEPTION with an EXCEPINFO carrying hr and the description, as
    // Word reports its own errors; without one, hr is returned as it is.
    void FailCall(DISPID dispId, HRESULT hr, int nth = 1, std::optional<WordObject> on = {},
                  const std::string& description = {});
    // Documents.Open of this exact path fails.
    void FailOpen(const std::string& path, HRESULT hr = kOpenFailed);
    // Called by every Documents.Open with the path, on the caller's thread, before the file is
    // read. Lets a test hold an open up.
    void SetOpenHandler(std::function<void(const std::string&)> handler);
    // Every Document.PrintOut fails.
    void FailPrintOut(HRESULT hr);
    // Called by every PrintOut that does not fail, on the caller's thread; its failure is the
    // call's failure. Lets a test stand in for the printer.
    void SetPrintHandler(std::function<HRESULT(const PrintJob&)> handler);

    // ---- Record ----
    std::vector<RecordedCall> Calls() const;
    std::vector<RecordedCall> Calls(WordObject kind, DISPID dispId) const;
    void ClearCalls();
    int InstancesCreated() const;
    int QuitCalls() const;
    // Objects of the fake still referenced by someone.
    int LiveObjects() const;
    int LiveObjects(WordObject kind) const;

    struct State;

  private:
    FakeWord() = default;
    std::shared_ptr<State> state_;
    IClassFactory* factory_ = nullptr;
    DWORD cookie_ = 0;
};

}  // namespace testing_support
