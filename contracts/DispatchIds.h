// The word processor's dispatch ids: the members of "Word.Application" and the objects it leads
// to that the conversion calls, as Word numbers them. The caller (convert/), the component
// (components/word/) and the tests' fakes all take their ids from the one table below.
#pragma once

#include <string_view>

#include "platform/com.h"

namespace tessaline::contracts {

struct DispatchMember {
    std::string_view object;
    std::string_view member;
    DISPID id;
};

// Members whose form changed with Word's major version carry the first version of that form.
// Collections' Item is listed once, under "Collection".
inline constexpr DispatchMember kWordDispatchMembers[] = {
    {"Application", "Version", 24},
    {"Application", "Documents", 6},
    {"Application", "Quit", 1105},  // 3 arguments
    {"Documents", "Open9", 15},     // 12 arguments, major versions 9 and below
    {"Documents", "Open10", 18},    // 15 arguments
    {"Documents", "Open11", 19},    // 16 arguments, major versions 11 on
    {"Document", "Path", 3},
    {"Document", "Bookmarks", 4},
    {"Document", "Footnotes", 7},
    {"Document", "Endnotes", 8},
    {"Document", "Paragraphs", 16},
    {"Document", "Fields", 20},
    {"Document", "ActiveWindow", 42},
    {"Document", "StoryRanges", 56},
    {"Document", "Hyperlinks", 61},
    {"Document", "PrintOut9", 444},   // 18 arguments, major version 9; later versions keep it
    {"Document", "PrintOut10", 446},  // 18 arguments, from major version 10
    {"Collection", "Item", 0},
    {"Hyperlinks", "Count", 1},
    {"Bookmarks", "Count", 2},
    {"Fields", "Count", 1},
    {"Paragraphs", "Count", 2},
    {"Footnotes", "Count", 2},
    {"Endnotes", "Count", 2},
    {"Footnote", "Range", 4},
    {"Footnote", "Reference", 5},
    {"Endnote", "Range", 4},
    {"Endnote", "Reference", 5},
    {"Hyperlink", "Name", 1003},
    {"Hyperlink", "Type", 1005},
    {"Hyperlink", "Range", 1006},
    {"Hyperlink", "Shape", 1007},
    {"Hyperlink", "Address", 1100},
    {"Hyperlink", "SubAddress", 1101},
    {"Shape", "Height", 109},
    {"Shape", "Left", 111},
    {"Shape", "Top", 123},
    {"Shape", "Width", 128},
    {"Shape", "Anchor", 501},
    {"Window", "Selection", 4},
    {"Window", "ScrollIntoView", 111},
    {"Window", "GetPoint", 112},
    {"Selection", "Information", 401},
    {"Range", "Text", 0},
    {"Range", "StoryType", 7},
    {"Range", "Fields", 64},
    {"Range", "ListFormat", 68},
    {"Range", "Hyperlinks", 156},
    {"Range", "Information", 313},
    {"Range", "NextStoryRange", 320},
    {"Range", "PageSetup", 1101},
    {"Range", "Select", 65535},
    {"ListFormat", "ListString", 75},
    {"PageSetup", "LeftMargin", 102},
    {"PageSetup", "PageWidth", 105},
    {"Bookmark", "Name", 0},
    {"Bookmark", "Range", 1},
    {"Field", "Code", 0},
    {"Field", "Type", 1},
    {"Field", "Result", 4},
    {"Paragraph", "Range", 0},
    {"Paragraph", "OutlineLevel", 202},
};

// Within one object every member is listed once and has an id of its own: an object's members
// are told apart by id alone.
consteval bool EveryObjectsMembersAreDistinct() {
    for (const DispatchMember& a : kWordDispatchMembers) {
        for (const DispatchMember& b : kWordDispatchMembers) {
            if (&a != &b && a.object == b.object && (a.member == b.member || a.id == b.id)) {
                return false;
            }
        }
    }
    return true;
}
static_assert(EveryObjectsMembersAreDistinct(), "two members of one object share a name or id");

// The id of object.member; a name not in the table does not compile.
consteval DISPID WordDispatchId(std::string_view object, std::string_view member) {
    for (const DispatchMember& m : kWordDispatchMembers) {
        if (m.object == object && m.member == member) {
            return m.id;
        }
    }
    throw "not a member in the dispatch table";
}

namespace dispid {
inline constexpr DISPID kApplicationVersion = WordDispatchId("Application", "Version");
inline constexpr DISPID kApplicationDocuments = WordDispatchId("Application", "Documents");
inline constexpr DISPID kApplicationQuit = WordDispatchId("Application", "Quit");
inline constexpr DISPID kDocumentsOpen9 = WordDispatchId("Documents", "Open9");
inline constexpr DISPID kDocumentsOpen10 = WordDispatchId("Documents", "Open10");
inline constexpr DISPID kDocumentsOpen11 = WordDispatchId("Documents", "Open11");
inline constexpr DISPID kDocumentPath = WordDispatchId("Document", "Path");
inline constexpr DISPID kDocumentBookmarks = WordDispatchId("Document", "Bookmarks");
inline constexpr DISPID kDocumentFootnotes = WordDispatchId("Document", "Footnotes");
inline constexpr DISPID kDocumentEndnotes = WordDispatchId("Document", "Endnotes");
inline constexpr DISPID kDocumentParagraphs = WordDispatchId("Document", "Paragraphs");
inline constexpr DISPID kDocumentFields = WordDispatchId("Document", "Fields");
inline constexpr DISPID kDocumentStoryRanges = WordDispatchId("Document", "StoryRanges");
inline constexpr DISPID kDocumentActiveWindow = WordDispatchId("Document", "ActiveWindow");
inline constexpr DISPID kDocumentHyperlinks = WordDispatchId("Document", "Hyperlinks");
inline constexpr DISPID kDocumentPrintOut9 = WordDispatchId("Document", "PrintOut9");
inline constexpr DISPID kDocumentPrintOut10 = WordDispatchId("Document", "PrintOut10");
inline constexpr DISPID kItem = WordDispatchId("Collection", "Item");
inline constexpr DISPID kHyperlinksCount = WordDispatchId("Hyperlinks", "Count");
inline constexpr DISPID kBookmarksCount = WordDispatchId("Bookmarks", "Count");
inline constexpr DISPID kFieldsCount = WordDispatchId("Fields", "Count");
inline constexpr DISPID kParagraphsCount = WordDispatchId("Paragraphs", "Count");
inline constexpr DISPID kFootnotesCount = WordDispatchId("Footnotes", "Count");
inline constexpr DISPID kEndnotesCount = WordDispatchId("Endnotes", "Count");
inline constexpr DISPID kFootnoteRange = WordDispatchId("Footnote", "Range");
inline constexpr DISPID kFootnoteReference = WordDispatchId("Footnote", "Reference");
inline constexpr DISPID kEndnoteRange = WordDispatchId("Endnote", "Range");
inline constexpr DISPID kEndnoteReference = WordDispatchId("Endnote", "Reference");
inline constexpr DISPID kHyperlinkName = WordDispatchId("Hyperlink", "Name");
inline constexpr DISPID kHyperlinkType = WordDispatchId("Hyperlink", "Type");
inline constexpr DISPID kHyperlinkRange = WordDispatchId("Hyperlink", "Range");
inline constexpr DISPID kHyperlinkShape = WordDispatchId("Hyperlink", "Shape");
inline constexpr DISPID kHyperlinkAddress = WordDispatchId("Hyperlink", "Address");
inline constexpr DISPID kHyperlinkSubAddress = WordDispatchId("Hyperlink", "SubAddress");
inline constexpr DISPID kShapeHeight = WordDispatchId("Shape", "Height");
inline constexpr DISPID kShapeLeft = WordDispatchId("Shape", "Left");
inline constexpr DISPID kShapeTop = WordDispatchId("Shape", "Top");
inline constexpr DISPID kShapeWidth = WordDispatchId("Shape", "Width");
inline constexpr DISPID kShapeAnchor = WordDispatchId("Shape", "Anchor");
inline constexpr DISPID kWindowSelection = WordDispatchId("Window", "Selection");
inline constexpr DISPID kWindowScrollIntoView = WordDispatchId("Window", "ScrollIntoView");
inline constexpr DISPID kWindowGetPoint = WordDispatchId("Window", "GetPoint");
inline constexpr DISPID kSelectionInformation = WordDispatchId("Selection", "Information");
inline constexpr DISPID kRangeText = WordDispatchId("Range", "Text");
inline constexpr DISPID kRangeStoryType = WordDispatchId("Range", "StoryType");
inline constexpr DISPID kRangeFields = WordDispatchId("Range", "Fields");
inline constexpr DISPID kRangeHyperlinks = WordDispatchId("Range", "Hyperlinks");
inline constexpr DISPID kRangeListFormat = WordDispatchId("Range", "ListFormat");
inline constexpr DISPID kRangeNextStoryRange = WordDispatchId("Range", "NextStoryRange");
inline constexpr DISPID kRangeInformation = WordDispatchId("Range", "Information");
inline constexpr DISPID kRangePageSetup = WordDispatchId("Range", "PageSetup");
inline constexpr DISPID kRangeSelect = WordDispatchId("Range", "Select");
inline constexpr DISPID kListFormatListString = WordDispatchId("ListFormat", "ListString");
inline constexpr DISPID kPageSetupLeftMargin = WordDispatchId("PageSetup", "LeftMargin");
inline constexpr DISPID kPageSetupPageWidth = WordDispatchId("PageSetup", "PageWidth");
inline constexpr DISPID kBookmarkName = WordDispatchId("Bookmark", "Name");
inline constexpr DISPID kBookmarkRange = WordDispatchId("Bookmark", "Range");
inline constexpr DISPID kFieldCode = WordDispatchId("Field", "Code");
inline constexpr DISPID kFieldType = WordDispatchId("Field", "Type");
inline constexpr DISPID kFieldResult = WordDispatchId("Field", "Result");
inline constexpr DISPID kParagraphRange = WordDispatchId("Paragraph", "Range");
inline constexpr DISPID kParagraphOutlineLevel = WordDispatchId("Paragraph", "OutlineLevel");
}  // namespace dispid

}  // namespace tessaline::contracts
