// Drives a document's objects through IDispatch the way the conversion's harvest does, and
// makes the same rectangles from the answers, so tests can hold them against the PDF.
#pragma once

#include <optional>
#include <string>

#include "convert/Dispatch.h"
#include "tests/word_model/pdf_words.h"

namespace word_model_test {

// Dispatch ids of the members the harvest uses.
namespace id {
constexpr DISPID kDocBookmarks = 4, kDocParagraphs = 16, kDocWindow = 42, kDocHyperlinks = 61;
constexpr DISPID kItem = 0, kLinksCount = 1, kBookmarksCount = 2, kFieldsCount = 1,
                 kParagraphsCount = 2;
constexpr DISPID kLinkName = 1003, kLinkType = 1005, kLinkRange = 1006, kLinkShape = 1007,
                 kLinkAddress = 1100, kLinkSubAddress = 1101;
constexpr DISPID kShapeHeight = 109, kShapeLeft = 111, kShapeTop = 123, kShapeWidth = 128,
                 kShapeAnchor = 501;
constexpr DISPID kWindowSelection = 4, kWindowScrollIntoView = 111, kWindowGetPoint = 112;
constexpr DISPID kSelectionInformation = 401;
constexpr DISPID kRangeText = 0, kRangeFields = 64, kRangeInformation = 313, kRangePageSetup = 1101,
                 kRangeSelect = 65535;
constexpr DISPID kLeftMargin = 102, kPageWidth = 105;
constexpr DISPID kBookmarkName = 0, kBookmarkRange = 1;
constexpr DISPID kFieldCode = 0, kFieldResult = 4;
constexpr DISPID kParagraphRange = 0, kParagraphLevel = 202;
}  // namespace id

using dispatch::GetFloat;
using dispatch::GetInt;
using dispatch::GetObject;
using dispatch::GetString;
using dispatch::Item;
// The result of a call that is expected to fail: the error a caller sees (Word's scode).
HRESULT FailureOf(IDispatch* object, DISPID member, WORD flags,
                  std::vector<dispatch::Variant> args = {});

// ScrollIntoView, Select, Window.Selection, as the harvest does before reading positions.
ComPtr<IDispatch> SelectOnScreen(IDispatch* window, IDispatch* range);
float SelectionPosition(IDispatch* selection, LONG item);
LONG PageOf(IDispatch* range);

struct Pixels {
    LONG left, top, width, height;
};
// Window.GetPoint; nothing when it fails.
std::optional<Pixels> GetPoint(IDispatch* window, IDispatch* item);

// The rectangle the harvest makes for a text link (points, y down) and its page; nothing when
// the link cannot be measured.
struct LinkRect {
    int page;
    Box box;
};
std::optional<LinkRect> TextLinkRect(IDispatch* window, IDispatch* range);
// The same for a link on a floating shape, placed from the shape's offsets against its anchor.
std::optional<LinkRect> ShapeLinkRect(IDispatch* window, IDispatch* link);

}  // namespace word_model_test
