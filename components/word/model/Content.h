// The parts of a text document Word's collections list: paragraphs, hyperlinks, bookmarks and
// fields, read from LibreOffice's document model in document order.
#pragma once

#include <string>
#include <vector>

#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/text/XTextRange.hpp>

#include "components/word/model/LinkTarget.h"

namespace word_model {

struct FieldEntry {
    std::u16string code;    // Word's field code, e.g. " PAGEREF _Toc123 \h "
    std::u16string result;  // the text the field shows
};

enum class LinkKind { Text = 0, Shape = 1, InlinePicture = 2 };

struct LinkEntry {
    LinkTarget target;
    LinkKind kind = LinkKind::Text;
    // A text link's text; a picture's or shape's anchor.
    css::uno::Reference<css::text::XTextRange> range;
    // A picture's, frame's or shape's own properties.
    css::uno::Reference<css::beans::XPropertySet> object;
};

struct ParagraphEntry {
    css::uno::Reference<css::text::XTextRange> range;
    int outlineLevel = 10;    // 1-9 headings, 10 body text
    bool holdsLinks = false;  // a text link starts in it (a table of contents' entry, say)
};

struct BookmarkEntry {
    std::u16string name;
    css::uno::Reference<css::text::XTextRange> range;
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
