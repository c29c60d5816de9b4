// The content and layout of one loaded text document, as Word's automation shows it: the
// document's Hyperlinks, ActiveWindow, Bookmarks and Paragraphs collections and everything
// reachable from them (Hyperlink, Shape, Window, Selection, Range, PageSetup, Bookmark, Fields,
// Field, Paragraph), answered from LibreOffice's own model and layout of the document.
//
// Where LibreOffice has no direct equivalent of what Word reports, this is what we give:
// - Positions (Selection.Information(5)/(6), Window.GetPoint, Range.Information(3)) come from
//   the layout through the controller's view cursor: the cursor is moved onto the range, its
//   page comes from XPageCursor::getPage(), and its position from XTextViewCursor::getPosition()
//   (1/100 mm in document view coordinates). The page's own origin is found by jumping the view
//   cursor to the start of that page and taking away that paragraph's position within the page
//   (the page style's top margin, header height and the paragraph's upper spacing), so the
//   result is relative to the page's top-left corner whatever the gap between pages is.
// - Information(6) is the top of the line the position is on (as Word reports it); GetPoint
//   gives the bounding box of every line the range covers, on a 96 dpi virtual screen, and fails
//   (kWordCommandFailed) for a range that has no layout: hidden text, headers and footers,
//   frames' own text.
// - Paragraphs are the body text's paragraphs in document order, text tables' cell paragraphs
//   included in reading order (row by row, cell by cell); OutlineLevel is the paragraph's
//   OutlineLevel property, with LibreOffice's 0 (body text) reported as Word's 10.
// - Hyperlinks are in document order: text links (consecutive text portions with the same
//   HyperLinkURL and hyperlink name make one link) and links on pictures and shapes (Type 2 for
//   a picture anchored as character, Type 1 for a floating one). A "#name" target is a place in
//   the document: Address "" and SubAddress name (without LibreOffice's "|outline"-style suffix).
//   A file link's path goes into both Address and Name as the document stores it (a
//   "file:///..." URL as the absolute path); a web link's URL into Address, Name empty.
// - Shape Left/Top are the shape's offsets from its anchor's position (the position
//   Information(5)/(6) reports for the anchor), minus one point, as the harvest adds that point.
#pragma once

#include <memory>
#include <string>

#include <com/sun/star/frame/XModel.hpp>

#include "DispatchObject.h"

namespace word_model {

struct DocumentState;

class DocumentModel {
  public:
    // model: a loaded text document (with a controller); path: the file it came from.
    DocumentModel(const css::uno::Reference<css::frame::XModel>& model, const std::string& path);
    // Objects handed out stay valid COM objects, but fail with kDisconnected from then on.
    ~DocumentModel();
    DocumentModel(const DocumentModel&) = delete;
    DocumentModel& operator=(const DocumentModel&) = delete;

    // Document's Hyperlinks 61, ActiveWindow 42, Bookmarks 4 and Paragraphs 16 (properties);
    // DISP_E_MEMBERNOTFOUND for any other id. Like a DispatchObject::Call it may throw.
    HRESULT Member(DISPID id, WORD flags, const Arguments& args, VARIANT* result);

    // The number of pages of the document's current layout.
    int PageCount();

  private:
    std::shared_ptr<DocumentState> state_;
};

}  // namespace word_model
