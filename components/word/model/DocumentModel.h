// The content and layout of one loaded text document, as Word's automation shows it: the
// document's Hyperlinks, ActiveWindow, Bookmarks, Paragraphs, Footnotes, Endnotes, Fields and
// StoryRanges collections and everything reachable from them (Hyperlink, Shape, Window,
// Selection, Range, PageSetup, ListFormat, Bookmark, Fields, Field, Paragraph, Footnote,
// Endnote), answered from LibreOffice's own model and layout of the document.
//
// With a snapshot source (the component's reads the document inside the office, see
// DocumentSnapshot.h), everything below is read in one go at the first question, by the same
// readers; what the snapshot lacks is asked of the office then.
//
// Where LibreOffice has no direct equivalent of what Word reports, this is what we give:
// - Positions come from the layout through the document view's cursor. The view shows one page
//   per row; XTextViewCursor::getPosition() is in 1/100 mm, counted from the first page's text
//   area, so a place on page n is that position plus the cursor's page style's top and left
//   margins, less the heights of pages 1..n-1 (each from its own page style) and the view's
//   fixed gap between pages. The page is XPageCursor::getPage(), counted without the blank
//   pages the office puts before a right- or left-hand page: the view shows none, and the
//   printed document leaves them out as the office's own export does. Checked against the
//   office's own PDF export (pdftotext) for every example document: links overlap their words,
//   headings lie within 2 points of their text's top. Each range is measured once and its
//   answers kept (see Layout.h).
// - Selection.Information(5)/(6) is the top-left of the selection's first character: its left
//   and the top of its line's text. The view cursor gives the line's top, which lies above the
//   text by the room the line's tallest font keeps above its glyphs; Chinese and Japanese fonts
//   keep a fifth of their size more than Latin ones, so a line with such text is lowered by the
//   difference of the two fonts' ascents (from the office's font metrics) to where its glyphs
//   start. Information(1) and (3) are the page of the range's end, (4) the page count; other
//   items fail with Word's command error.
// - Window.GetPoint gives, on a 96 dpi virtual screen with the page's corner at 0,0, the box of
//   every line the range covers on its first page, from the top of its text as Information(6)
//   gives it: its width from the characters' positions (the line breaks found by halving the
//   range), its height about 1.17 times the font size per line (1.3 for Chinese and Japanese
//   text), as the API shows no line heights. A range that wraps is thus about as wide as the
//   text column. An inline picture's range is as big as the picture. It fails with Word's command
//   error for text with no layout: hidden text, headers and footers reached other than through
//   their stories (which Word does not measure either), fields' code and the result of a field
//   inside a link.
// - Window.ScrollIntoView only checks its argument: measuring needs no scrolling.
// - Paragraphs are the body text's paragraphs in document order, text tables' cells row by row
//   included; OutlineLevel is the paragraph's OutlineLevel property, LibreOffice's 0 (body text)
//   reported as Word's 10. Range.Text ends in "\r"; line breaks inside are "\v".
// - Hyperlinks are in document order: text links (consecutive text portions with the same
//   HyperLinkURL and hyperlink name make one link), links on pictures anchored as characters
//   (Type 2) and on floating pictures and frames (Type 1, listed before the text of the
//   paragraph they are anchored to). Links on drawing shapes that are not frames or pictures are
//   not listed. See LinkTarget.h for Address, SubAddress and Name: a file link's path is
//   absolute, as LibreOffice resolves relative links when it loads a document.
// - Bookmarks are LibreOffice's, in its order, "__RefHeading___Toc..." named "_Toc..." again.
// - Range.Fields lists the text fields in the range; Code is Word's field code for a page
//   reference (" PAGEREF name \h ") or page number (" PAGE "), else LibreOffice's own field
//   command. Tables of contents LibreOffice reads from Word files keep no fields: Count 0.
// - Footnotes and Endnotes are LibreOffice's, in document order: Reference is the mark in the
//   text, Range the note's text without its number (LibreOffice keeps the number out of the
//   text). Endnote pages after the body's last count as pages.
// - Document.Fields lists the body's cross-references: LibreOffice's reference fields to a
//   bookmark or heading, Type 3 (REF) or 37 (PAGEREF), Code " REF name \h " with Word's name of
//   the bookmark (LibreOffice keeps no \h switch: all of them show as links there), Result the
//   field's text where it stands. Other fields are not listed.
// - StoryRanges(type) gives the texts beside the body that hold hyperlinks or cross-references,
//   with Hyperlinks, Fields, StoryType and NextStoryRange: all footnotes as one story, all
//   endnotes as one, each text box (a frame, or a drawing's frame) as one, and each header and
//   footer once per page that shows it, in page order: the first page's text on the first page
//   of a run of its page style, the left pages' on an even-numbered page (page numbers restart
//   where a page style says so), else the primary one. A header's or footer's range is measured
//   where the office shows it and answers for the page of its story: Information(1)/(3) is that
//   page, its place on the page the same on every page. A link in a drawing's own text (a Word
//   97 text box as LibreOffice reads it) is a text link whose place is the drawing's box, as
//   that text has no place in the page layout of its own. Types the document lacks fail with
//   Word's error for a missing member.
// - Range.ListFormat.ListString is a numbered heading's number as shown ("2.1"); other ranges
//   give an empty string.
// - Shape Left/Top are the picture's place on the page less its anchor's position (what
//   Information(5)/(6) report for the anchor) and one point, as the harvest adds that point back.
//   The place is taken from the object's orientation relative to the page, the page's text
//   area or the anchor's paragraph.
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <com/sun/star/frame/XModel.hpp>

#include "components/word/model/DispatchObject.h"
#include "components/word/model/DocumentSnapshot.h"

namespace word_model {

struct DocumentState;

// Takes a document's snapshot where it is cheap (in the office's own process); nullopt when it
// cannot, and the objects then read the document piece by piece. Like a DispatchObject::Call it
// may throw.
using SnapshotSource =
    std::function<std::optional<DocumentSnapshot>(const css::uno::Reference<css::frame::XModel>&)>;

class DocumentModel {
  public:
    // model: a loaded text document (with a controller); path: the file it came from; source:
    // where the content and layout come from in one go, when they can.
    DocumentModel(const css::uno::Reference<css::frame::XModel>& model, const std::string& path,
                  SnapshotSource source = {});
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
