// Drives a document's objects through IDispatch the way the conversion's harvest does, and
// makes the same rectangles from the answers, so tests can hold them against the PDF.
#pragma once

#include <optional>
#include <string>

#include "contracts/DispatchIds.h"
#include "convert/Dispatch.h"
#include "tests/word_model/pdf_words.h"

namespace word_model_test {

// Dispatch ids of the members the harvest uses.
namespace id = tessaline::contracts::dispid;

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
