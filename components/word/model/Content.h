// The parts of a text document Word's collections list: paragraphs, hyperlinks, bookmarks,
// fields, notes and the texts beside the body (Word's stories), read from LibreOffice's document
// model in document order.
#pragma once

#include <string>
#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include "components/word/model/LinkTarget.h"

namespace word_model {

// Word's field types of the cross-references it shows as links.
constexpr int kFieldRef = 3;
constexpr int kFieldPageRef = 37;

struct FieldEntry {
    std::u16string code{};    // Word's field code, e.g. " PAGEREF _Toc123 \h "
    std::u16string result{};  // the text the field shows
    int type = 0;             // Word's field type: kFieldRef, kFieldPageRef; 0 for the others
    // Where the field stands in the text; empty for a field made up from plain text.
    css::uno::Reference<css::text::XTextRange> anchor{};
};

enum class LinkKind { Text = 0, Shape = 1, InlinePicture = 2 };

struct LinkEntry {
    LinkTarget target;
    LinkKind kind = LinkKind::Text;
    // A text link's text; a picture's or shape's anchor.
    css::uno::Reference<css::text::XTextRange> range;
    // A picture's, frame's or shape's own properties; for a text link, the drawing whose own
    // text holds it (see CollectStories), else empty.
    css::uno::Reference<css::beans::XPropertySet> object;
};

struct ParagraphEntry {
    css::uno::Reference<css::text::XTextRange> range;
    int outlineLevel = 10;     // 1-9 headings, 10 body text
    bool holdsLinks = false;   // a text link starts in it (a table of contents' entry, say)
    std::u16string listLabel;  // a numbered heading's number as shown ("2.1"); else empty
};

struct BookmarkEntry {
    std::u16string name;
    css::uno::Reference<css::text::XTextRange> range;
};

// A footnote or endnote: its mark in the text and its own text.
struct NoteEntry {
    css::uno::Reference<css::text::XTextRange> mark;
    css::uno::Reference<css::text::XTextRange> text;
};

// Word's story types of the texts beside the body.
enum class StoryType {
    Footnotes = 2,
    Endnotes = 3,
    TextFrames = 5,
    EvenPagesHeader = 6,
    PrimaryHeader = 7,
    EvenPagesFooter = 8,
    PrimaryFooter = 9,
    FirstPageHeader = 10,
    FirstPageFooter = 11,
};

// A text beside the body that holds hyperlinks or cross-references: the notes (all footnotes
// make one story, all endnotes another), a text box, or a header or footer, which the pages
// repeat (which pages show it is a question for the layout).
struct StoryEntry {
    StoryType type = StoryType::Footnotes;
    std::vector<LinkEntry> links;
    std::vector<FieldEntry> fields;  // its cross-references
    // A header or footer: its page style, whether that style's left pages and first page show
    // the primary text, and the pages that show it once the layout told them.
    std::u16string pageStyle;  // empty for the others
    bool leftShared = true;
    bool firstShared = true;
    std::vector<int> pages;

    bool Repeated() const { return !pageStyle.empty(); }
};

// Everything beside the body's paragraphs and hyperlinks that can lead somewhere.
struct StoryContent {
    std::vector<NoteEntry> footnotes;  // in document order
    std::vector<NoteEntry> endnotes;
    std::vector<FieldEntry> bodyFields;  // the body's cross-references
    std::vector<StoryEntry> stories;
};

// The body text's paragraphs (text tables' cells row by row included) and its hyperlinks, read
// in one pass over the text.
struct BodyContent {
    std::vector<ParagraphEntry> paragraphs;
    std::vector<LinkEntry> links;
};
BodyContent CollectBody(const css::uno::Reference<css::frame::XModel>& model);
std::vector<BookmarkEntry> CollectBookmarks(const css::uno::Reference<css::frame::XModel>& model);
// The marks LibreOffice keeps on headings for cross-references (a Word file's "_Toc" bookmarks
// become these when it is read): not among the document's bookmarks, but what Word lists as
// bookmarks and what links into the document name. Only those not in `known` are returned.
std::vector<BookmarkEntry> CollectHeadingMarks(const std::vector<ParagraphEntry>& paragraphs,
                                               const std::vector<BookmarkEntry>& known);
// The bookmarks Word lists: LibreOffice's, then the heading marks not among them.
std::vector<BookmarkEntry> CollectWordBookmarks(
    const css::uno::Reference<css::frame::XModel>& model,
    const std::vector<ParagraphEntry>& paragraphs);
// The text fields inside a range, in order.
std::vector<FieldEntry> CollectFields(const css::uno::Reference<css::text::XTextRange>& range);
// The notes, the cross-references (fields that refer to a bookmark, which Word shows as links)
// and the stories beside the body with their hyperlinks and cross-references. A link in the
// text a drawing holds itself (LibreOffice reads a Word 97 text box so) covers the drawing: that
// text has no place of its own in the page layout.
StoryContent CollectStories(const css::uno::Reference<css::frame::XModel>& model);

// The fields of a hyperlink's text as Word lists them. Word keeps every hyperlink as a HYPERLINK
// field whose result is the link's text, so that field comes first, then the fields inside the
// text. A table-of-contents entry ("Heading<tab>12") carries its page number in a PAGEREF field
// to the link's target; LibreOffice keeps that number as plain text when it reads a Word file,
// so the field is made up from the text when the document has none.
std::vector<FieldEntry> LinkFields(const LinkTarget& target, const std::u16string& text,
                                   std::vector<FieldEntry> inner);

// A range's text as Word gives it: paragraphs end in "\r", line breaks inside a paragraph are
// "\v". LibreOffice gives both as "\n"; within one paragraph it can only be a line break.
std::u16string WordText(const css::uno::Reference<css::text::XTextRange>& range, bool oneParagraph);
// The same, from the text LibreOffice gave for a range.
std::u16string WordText(const rtl::OUString& text, bool oneParagraph);

}  // namespace word_model
