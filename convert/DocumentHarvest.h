// The document analysis of leg 1. Printed pages carry no hyperlinks and no outline, so before the
// document is printed the preparation thread reads, through the word processor's own layout,
// every hyperlink with its page, rectangle and target, finds where in-document targets lie, and
// numbers the outline headings. The results wait in the controller for the PDF thread.
#pragma once

#include <string>
#include <string_view>

#include "convert/ConversionLegs.h"
#include "platform/com.h"

// Harvests the open document into the controller's results for its current job: hyperlink
// records always, table-of-contents targets when the job keeps links, outline entries when it
// keeps bookmarks. The results of any earlier harvest are cleared first. Items are measured by
// scrolling the document's active window to them and selecting them. Returns 1 when it ran to
// its end and 0 when it stopped on m_bExitRequested, looked at after each hyperlink and each
// matched heading; the records made so far stay in both cases and when a failure of the word
// processor raises _com_error. A link the window cannot measure (GetPoint fails) is skipped.
// A record's target is where its link leads, whole, as a URI: the address with "#" and the
// sub-address after it when the link has one; a file's path (existing or not) becomes a file
// URI, a relative one below the word processor's Document.Path. Links into the document keep
// an empty target. When the job keeps links, the links the word processor's own PDF export
// makes beyond its hyperlinks follow the hyperlinks' records, as records of the same kind (a
// jump to a page and height, or a web link): each footnote's and endnote's mark to its note and
// the note's number back, the cross-references that ask to be links (REF, PAGEREF, NOTEREF
// with \h) to their bookmarks, and the hyperlinks and cross-references of the footnotes,
// endnotes, text boxes, headers and footers, a header's or footer's on every page that shows it.
// Such a link that leads nowhere, or that stands over a link to the same place, is left out,
// and m_nLinkCount counts them all. `path` is the document's path as the job names it.
int HarvestDocument(CConversionController& dialog, const std::string& path, IDispatch* document);

// The outline step for one paragraph: a heading of outline level 1 to 9 gets the next number of
// its level ("1", "1.2", "1.2.1"...) in the controller's m_nLevel counters and an entry with its
// page, position and title in m_bookmarks, after filler entries for any level above it that has
// no number yet. The title is the heading's text with each run of white space (paragraph mark,
// tabs, line breaks) made one space and trimmed; a heading left without text, and any other
// paragraph, is left alone.
void NumberHeading(IDispatch* paragraph, CConversionController& dialog, IDispatch* window);

// Whether a paragraph's text, its paragraph mark last, is the heading that a table-of-contents
// entry's match text names: their first n bytes agree, n being the text's length less 2 when the
// text is longer than the match text and less 1 otherwise, and at least 1.
bool HeadingMatches(std::string_view text, std::string_view matchText);

// The harvest as the controller's leg 1 calls it.
class CDocumentHarvester : public IDocumentHarvester {
  public:
    int HarvestDocument(CConversionController& controller, const std::string& path,
                        IDispatch* document) override;
};
