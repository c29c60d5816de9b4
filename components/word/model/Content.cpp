#include "Content.h"

#include <algorithm>
#include <functional>
#include <string_view>

#include <com/sun/star/container/XContentEnumerationAccess.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/text/ReferenceFieldPart.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextTable.hpp>

#include "Uno.h"
#include "platform/text.h"

namespace word_model {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using ParagraphVisitor = std::function<void(const Reference<css::text::XTextContent>&)>;

bool Supports(const Reference<css::uno::XInterface>& object, const char* service) {
    Reference<css::lang::XServiceInfo> info(object, UNO_QUERY);
    return info.is() && info->supportsService(rtl::OUString::createFromAscii(service));
}

// Paragraphs of a text in reading order; a table's cells row by row, their paragraphs inside.
void VisitParagraphs(const Reference<css::text::XText>& text, const ParagraphVisitor& visit) {
    Reference<css::container::XEnumerationAccess> access(text, UNO_QUERY);
    if (!access.is()) {
        return;
    }
    Reference<css::container::XEnumeration> items = access->createEnumeration();
    while (items->hasMoreElements()) {
        Reference<css::uno::XInterface> item(items->nextElement(), UNO_QUERY);
        if (Supports(item, "com.sun.star.text.TextTable")) {
            Reference<css::text::XTextTable> table(item, UNO_QUERY_THROW);
            for (const rtl::OUString& name : table->getCellNames()) {
                Reference<css::text::XText> cell(table->getCellByName(name), UNO_QUERY);
                VisitParagraphs(cell, visit);
            }
        } else if (Supports(item, "com.sun.star.text.Paragraph")) {
            visit(Reference<css::text::XTextContent>(item, UNO_QUERY_THROW));
        }
    }
}

Reference<css::text::XText> BodyText(const Reference<css::frame::XModel>& model) {
    return Reference<css::text::XTextDocument>(model, UNO_QUERY_THROW)->getText();
}

rtl::OUString StringProperty(const Reference<css::beans::XPropertySet>& object, const char* name) {
    return PropertyOr<rtl::OUString>(object, name, rtl::OUString());
}

// A range from the start of one range to the end of another in the same text.
Reference<css::text::XTextRange> Span(const Reference<css::text::XTextRange>& from,
                                      const Reference<css::text::XTextRange>& to) {
    Reference<css::text::XTextCursor> cursor =
        from->getText()->createTextCursorByRange(from->getStart());
    cursor->gotoRange(to->getEnd(), true);
    return Reference<css::text::XTextRange>(cursor, UNO_QUERY);
}

// Portions that take no room in the text: they neither end nor begin a link.
bool IsMarker(const rtl::OUString& type) {
    return type == "Bookmark" || type == "ReferenceMark" || type == "DocumentIndexMark" ||
           type == "SoftPageBreak" || type == "Redline" || type == "InContentMetadata";
}

LinkEntry ObjectLink(const Reference<css::beans::XPropertySet>& object, LinkKind kind,
                     const Reference<css::text::XTextRange>& anchor) {
    LinkEntry link;
    link.target = SplitLinkTarget(ToUtf8(StringProperty(object, "HyperLinkURL")));
    link.kind = kind;
    link.object = object;
    link.range = anchor;
    return link;
}

// Pictures and frames anchored as characters in a text portion, carrying a link.
void CollectInlineLinks(const Reference<css::uno::XInterface>& holder,
                        std::vector<LinkEntry>& links) {
    Reference<css::container::XContentEnumerationAccess> contents(holder, UNO_QUERY);
    if (!contents.is()) {
        return;
    }
    Reference<css::container::XEnumeration> objects = contents->createContentEnumeration(
        rtl::OUString::createFromAscii("com.sun.star.text.TextContent"));
    while (objects.is() && objects->hasMoreElements()) {
        Reference<css::beans::XPropertySet> object(objects->nextElement(), UNO_QUERY);
        if (StringProperty(object, "HyperLinkURL").isEmpty()) {
            continue;
        }
        const auto anchorType = PropertyOr<css::text::TextContentAnchorType>(
            object, "AnchorType", css::text::TextContentAnchorType_AT_PARAGRAPH);
        if (anchorType != css::text::TextContentAnchorType_AS_CHARACTER) {
            continue;
        }
        Reference<css::text::XTextContent> content(object, UNO_QUERY);
        Reference<css::text::XTextRange> anchor = content.is() ? content->getAnchor() : nullptr;
        links.push_back(ObjectLink(object, LinkKind::InlinePicture, anchor));
    }
}

// A floating picture, frame or shape that carries a link, waiting for its anchor's paragraph.
struct FloatingLink {
    Reference<css::beans::XPropertySet> object;
    Reference<css::text::XTextRange> anchor;
};

std::vector<FloatingLink> FloatingLinks(const Reference<css::frame::XModel>& model) {
    std::vector<FloatingLink> floating;
    Reference<css::drawing::XDrawPageSupplier> supplier(model, UNO_QUERY);
    if (!supplier.is()) {
        return floating;
    }
    // Deprecated in favour of XDrawPagesSupplier, which text documents do not offer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    Reference<css::container::XIndexAccess> shapes(supplier->getDrawPage(), UNO_QUERY);
#pragma GCC diagnostic pop
    for (sal_Int32 i = 0; shapes.is() && i < shapes->getCount(); ++i) {
        Reference<css::beans::XPropertySet> object(shapes->getByIndex(i), UNO_QUERY);
        if (StringProperty(object, "HyperLinkURL").isEmpty()) {
            continue;
        }
        const auto anchorType = PropertyOr<css::text::TextContentAnchorType>(
            object, "AnchorType", css::text::TextContentAnchorType_AT_PARAGRAPH);
        if (anchorType == css::text::TextContentAnchorType_AS_CHARACTER) {
            continue;  // met among its paragraph's text
        }
        Reference<css::text::XTextContent> content(object, UNO_QUERY);
        Reference<css::text::XTextRange> anchor = content.is() ? content->getAnchor() : nullptr;
        if (anchor.is()) {
            floating.push_back({object, anchor});
        }
    }
    return floating;
}

// Whether a position lies in a paragraph; false for one in another text.
bool Inside(const Reference<css::text::XTextRange>& position,
            const Reference<css::text::XTextRange>& paragraph) {
    Reference<css::text::XTextRangeCompare> compare(paragraph->getText(), UNO_QUERY);
    if (!compare.is()) {
        return false;
    }
    try {
        // 1: the first comes before the second, 0: the same place.
        return compare->compareRegionStarts(paragraph->getStart(), position->getStart()) >= 0 &&
               compare->compareRegionStarts(position->getStart(), paragraph->getEnd()) >= 0;
    } catch (const css::lang::IllegalArgumentException&) {
        return false;
    }
}

void CollectParagraphLinks(const Reference<css::text::XTextContent>& paragraph,
                           std::vector<FloatingLink>& floating, std::vector<LinkEntry>& links) {
    // Floating objects anchored here come first: Word anchors them to the paragraph's start.
    const Reference<css::text::XTextRange> paragraphRange = paragraph->getAnchor();
    std::erase_if(floating, [&](const FloatingLink& pending) {
        if (!Inside(pending.anchor, paragraphRange)) {
            return false;
        }
        links.push_back(ObjectLink(pending.object, LinkKind::Shape, pending.anchor));
        return true;
    });

    rtl::OUString url;
    rtl::OUString name;
    Reference<css::text::XTextRange> first;
    Reference<css::text::XTextRange> last;
    auto flush = [&] {
        if (first.is()) {
            LinkEntry link;
            link.target = SplitLinkTarget(ToUtf8(url));
            link.range = Span(first, last);
            links.push_back(std::move(link));
        }
        first.clear();
        last.clear();
    };
    Reference<css::container::XEnumeration> portions =
        Reference<css::container::XEnumerationAccess>(paragraph, UNO_QUERY_THROW)
            ->createEnumeration();
    while (portions->hasMoreElements()) {
        Reference<css::text::XTextRange> portion(portions->nextElement(), UNO_QUERY);
        Reference<css::beans::XPropertySet> properties(portion, UNO_QUERY);
        const rtl::OUString type = StringProperty(properties, "TextPortionType");
        if (IsMarker(type)) {
            continue;
        }
        if (type == "Frame") {
            flush();
            CollectInlineLinks(portion, links);
            continue;
        }
        const rtl::OUString portionUrl = StringProperty(properties, "HyperLinkURL");
        const rtl::OUString portionName = StringProperty(properties, "HyperLinkName");
        if (portionUrl.isEmpty()) {
            flush();
            continue;
        }
        if (first.is() && (portionUrl != url || portionName != name)) {
            flush();
        }
        if (!first.is()) {
            first = portion;
            url = portionUrl;
            name = portionName;
        }
        last = portion;
    }
    flush();
}

std::u16string FieldCode(const Reference<css::text::XTextField>& field) {
    Reference<css::beans::XPropertySet> properties(field, UNO_QUERY);
    if (Supports(field, "com.sun.star.text.TextField.GetReference")) {
        const rtl::OUString source = StringProperty(properties, "SourceName");
        const sal_Int16 part = PropertyOr<sal_Int16>(properties, "ReferenceFieldPart",
                                                     css::text::ReferenceFieldPart::TEXT);
        const char16_t* kind =
            part == css::text::ReferenceFieldPart::PAGE ? u" PAGEREF " : u" REF ";
        return std::u16string(kind) + ToU16(source) + u" \\h ";
    }
    if (Supports(field, "com.sun.star.text.TextField.PageNumber")) {
        return u" PAGE ";
    }
    return u" " + ToU16(field->getPresentation(true)) + u" ";
}

}  // namespace

std::vector<ParagraphEntry> CollectParagraphs(const Reference<css::frame::XModel>& model) {
    std::vector<ParagraphEntry> paragraphs;
    VisitParagraphs(BodyText(model), [&](const Reference<css::text::XTextContent>& paragraph) {
        ParagraphEntry entry;
        entry.range = paragraph->getAnchor();
        Reference<css::beans::XPropertySet> properties(paragraph, UNO_QUERY);
        const sal_Int16 level = PropertyOr<sal_Int16>(properties, "OutlineLevel", 0);
        entry.outlineLevel = level >= 1 && level <= 9 ? level : 10;
        paragraphs.push_back(std::move(entry));
    });
    return paragraphs;
}

std::vector<LinkEntry> CollectLinks(const Reference<css::frame::XModel>& model) {
    std::vector<LinkEntry> links;
    std::vector<FloatingLink> floating = FloatingLinks(model);
    VisitParagraphs(BodyText(model), [&](const Reference<css::text::XTextContent>& paragraph) {
        CollectParagraphLinks(paragraph, floating, links);
    });
    return links;
}

std::vector<BookmarkEntry> CollectBookmarks(const Reference<css::frame::XModel>& model) {
    std::vector<BookmarkEntry> bookmarks;
    Reference<css::text::XBookmarksSupplier> supplier(model, UNO_QUERY);
    if (!supplier.is()) {
        return bookmarks;
    }
    Reference<css::container::XIndexAccess> all(supplier->getBookmarks(), UNO_QUERY_THROW);
    for (sal_Int32 i = 0; i < all->getCount(); ++i) {
        Reference<css::text::XTextContent> bookmark(all->getByIndex(i), UNO_QUERY);
        Reference<css::container::XNamed> named(bookmark, UNO_QUERY);
        if (!bookmark.is() || !named.is()) {
            continue;
        }
        bookmarks.push_back({platform::Utf8ToUtf16(WordBookmarkName(ToUtf8(named->getName()))),
                             bookmark->getAnchor()});
    }
    return bookmarks;
}

std::vector<FieldEntry> CollectFields(const Reference<css::text::XTextRange>& range) {
    std::vector<FieldEntry> fields;
    Reference<css::text::XTextCursor> cursor = range->getText()->createTextCursorByRange(range);
    Reference<css::container::XEnumerationAccess> access(cursor, UNO_QUERY);
    if (!access.is()) {
        return fields;
    }
    Reference<css::container::XEnumeration> paragraphs = access->createEnumeration();
    while (paragraphs->hasMoreElements()) {
        Reference<css::container::XEnumerationAccess> paragraph(paragraphs->nextElement(),
                                                                UNO_QUERY);
        if (!paragraph.is()) {
            continue;  // a table inside the range: its fields are not the link's
        }
        Reference<css::container::XEnumeration> portions = paragraph->createEnumeration();
        while (portions->hasMoreElements()) {
            Reference<css::beans::XPropertySet> portion(portions->nextElement(), UNO_QUERY);
            if (StringProperty(portion, "TextPortionType") != "TextField") {
                continue;
            }
            Reference<css::text::XTextField> field;
            portion->getPropertyValue(rtl::OUString::createFromAscii("TextField")) >>= field;
            if (field.is()) {
                fields.push_back({FieldCode(field), ToU16(field->getPresentation(false))});
            }
        }
    }
    return fields;
}

std::vector<FieldEntry> LinkFields(const LinkTarget& target, const std::u16string& text,
                                   std::vector<FieldEntry> inner) {
    const std::u16string place = platform::Utf8ToUtf16(target.subAddress);
    std::u16string code = u" HYPERLINK ";
    if (!target.address.empty()) {
        code += u"\"" + platform::Utf8ToUtf16(target.address) + u"\" ";
    }
    if (!place.empty()) {
        code += u"\\l \"" + place + u"\" ";
    }
    std::vector<FieldEntry> fields = {{code, text}};

    const bool hasPageReference = std::any_of(inner.begin(), inner.end(), [](const FieldEntry& f) {
        return f.code.starts_with(u" PAGEREF ");
    });
    const std::size_t tab = text.rfind(u'\t');
    if (!hasPageReference && target.address.empty() && !place.empty() &&
        tab != std::u16string::npos) {
        std::u16string page = text.substr(tab + 1);
        while (!page.empty() && (page.back() == u'\r' || page.back() == u' ')) {
            page.pop_back();
        }
        // Page numbers are arabic or roman numerals.
        const bool isPageNumber =
            !page.empty() && std::all_of(page.begin(), page.end(), [](char16_t c) {
                return (c >= u'0' && c <= u'9') ||
                       std::u16string_view(u"ivxlcdmIVXLCDM").find(c) != std::u16string_view::npos;
            });
        if (isPageNumber) {
            inner.insert(inner.begin(), {u" PAGEREF " + place + u" \\h ", page});
        }
    }
    fields.insert(fields.end(), inner.begin(), inner.end());
    return fields;
}

std::u16string WordText(const Reference<css::text::XTextRange>& range, bool oneParagraph) {
    std::u16string text = ToU16(range->getString());
    for (char16_t& c : text) {
        if (c == u'\n') {
            c = oneParagraph ? u'\v' : u'\r';
        }
    }
    return text;
}

}  // namespace word_model
