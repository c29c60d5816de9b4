#include "components/word/model/Content.h"

#include <algorithm>
#include <deque>
#include <functional>
#include <string_view>
#include <unordered_map>

#include <com/sun/star/beans/PropertyState.hpp>
#include <com/sun/star/beans/XMultiPropertySet.hpp>
#include <com/sun/star/beans/XPropertyState.hpp>
#include <com/sun/star/container/NoSuchElementException.hpp>
#include <com/sun/star/container/XContentEnumerationAccess.hpp>
#include <com/sun/star/container/XEnumeration.hpp>
#include <com/sun/star/container/XEnumerationAccess.hpp>
#include <com/sun/star/container/XIndexAccess.hpp>
#include <com/sun/star/container/XNameAccess.hpp>
#include <com/sun/star/container/XNamed.hpp>
#include <com/sun/star/drawing/XDrawPageSupplier.hpp>
#include <com/sun/star/lang/IllegalArgumentException.hpp>
#include <com/sun/star/lang/XServiceInfo.hpp>
#include <com/sun/star/style/XStyle.hpp>
#include <com/sun/star/style/XStyleFamiliesSupplier.hpp>
#include <com/sun/star/text/ReferenceFieldPart.hpp>
#include <com/sun/star/text/TextContentAnchorType.hpp>
#include <com/sun/star/text/XBookmarksSupplier.hpp>
#include <com/sun/star/text/XEndnotesSupplier.hpp>
#include <com/sun/star/text/XFootnote.hpp>
#include <com/sun/star/text/XFootnotesSupplier.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextContent.hpp>
#include <com/sun/star/text/XTextCursor.hpp>
#include <com/sun/star/text/XTextDocument.hpp>
#include <com/sun/star/text/XTextField.hpp>
#include <com/sun/star/text/XTextFieldsSupplier.hpp>
#include <com/sun/star/text/XTextFrame.hpp>
#include <com/sun/star/text/XTextFramesSupplier.hpp>
#include <com/sun/star/text/XTextRangeCompare.hpp>
#include <com/sun/star/text/XTextTable.hpp>

#include "components/word/model/Uno.h"
#include "platform/text.h"

namespace word_model {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
// A paragraph and the text (body, table cell) it belongs to.
using ParagraphVisitor = std::function<void(const Reference<css::text::XTextContent>&,
                                            const Reference<css::text::XText>&)>;

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
    while (true) {
        // The end is the exception: asking before each item would double the calls.
        Reference<css::uno::XInterface> item;
        try {
            item.set(items->nextElement(), UNO_QUERY);
        } catch (const css::container::NoSuchElementException&) {
            break;
        }
        // A text holds paragraphs and tables.
        if (Reference<css::text::XTextTable> table(item, UNO_QUERY); table.is()) {
            for (const rtl::OUString& name : table->getCellNames()) {
                Reference<css::text::XText> cell(table->getCellByName(name), UNO_QUERY);
                VisitParagraphs(cell, visit);
            }
        } else if (Reference<css::text::XTextContent> paragraph(item, UNO_QUERY); paragraph.is()) {
            visit(paragraph, text);
        }
    }
}

Reference<css::text::XText> BodyText(const Reference<css::frame::XModel>& model) {
    return Reference<css::text::XTextDocument>(model, UNO_QUERY_THROW)->getText();
}

rtl::OUString StringProperty(const Reference<css::beans::XPropertySet>& object, const char* name) {
    return PropertyOr<rtl::OUString>(object, name, rtl::OUString());
}

// Several string properties of an object in one call to the office; empty where one is missing.
std::vector<rtl::OUString> StringProperties(const Reference<css::uno::XInterface>& object,
                                            const css::uno::Sequence<rtl::OUString>& names) {
    std::vector<rtl::OUString> values(static_cast<size_t>(names.getLength()));
    Reference<css::beans::XMultiPropertySet> multiple(object, UNO_QUERY);
    if (multiple.is()) {
        try {
            const css::uno::Sequence<css::uno::Any> found = multiple->getPropertyValues(names);
            for (sal_Int32 i = 0; i < std::min(found.getLength(), names.getLength()); ++i) {
                found[i] >>= values[static_cast<size_t>(i)];
            }
            return values;
        } catch (const css::uno::RuntimeException&) {
            // An object that does not answer for all of them at once: one by one below.
        }
    }
    Reference<css::beans::XPropertySet> properties(object, UNO_QUERY);
    for (sal_Int32 i = 0; i < names.getLength(); ++i) {
        values[static_cast<size_t>(i)] =
            PropertyOr<rtl::OUString>(properties, ToUtf8(names[i]).c_str(), rtl::OUString());
    }
    return values;
}

// A range from the start of one range to the end of another in the same text.
Reference<css::text::XTextRange> Span(const Reference<css::text::XText>& text,
                                      const Reference<css::text::XTextRange>& from,
                                      const Reference<css::text::XTextRange>& to) {
    Reference<css::text::XTextCursor> cursor = text->createTextCursorByRange(from->getStart());
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

// The pictures, frames and drawings of a text document; empty when it has none.
Reference<css::container::XIndexAccess> DrawPage(const Reference<css::frame::XModel>& model) {
    Reference<css::drawing::XDrawPageSupplier> supplier(model, UNO_QUERY);
    if (!supplier.is()) {
        return nullptr;
    }
    // Deprecated in favour of XDrawPagesSupplier, which text documents do not offer.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
    return Reference<css::container::XIndexAccess>(supplier->getDrawPage(), UNO_QUERY);
#pragma GCC diagnostic pop
}

// A picture, frame or shape that carries a link, waiting for its anchor's paragraph.
struct LinkedObject {
    Reference<css::beans::XPropertySet> object;
    Reference<css::text::XTextRange> anchor;
    Reference<css::text::XTextRange> anchorStart;
    bool inLine = false;  // anchored as a character: met among its paragraph's portions
};

// The document's linked objects, per text their anchors lie in, in the order of their anchors:
// as the paragraphs are visited in order, each paragraph only looks at the next one waiting.
class LinkedObjects {
  public:
    LinkedObjects() = default;  // none: the texts beside the body list only their text's links
    explicit LinkedObjects(const Reference<css::frame::XModel>& model);
    // Takes the objects anchored in a paragraph: floating ones become its first links; true when
    // a linked picture stands in its line.
    bool TakeAnchoredIn(const Reference<css::text::XTextRange>& paragraph,
                        const Reference<css::text::XText>& text, std::vector<LinkEntry>& links);

  private:
    struct Waiting {
        Reference<css::text::XText> text;  // keeps the key alive
        Reference<css::text::XTextRangeCompare> compare;
        std::deque<LinkedObject> objects;
    };
    std::unordered_map<const void*, Waiting> waiting_;
};

LinkedObjects::LinkedObjects(const Reference<css::frame::XModel>& model) {
    Reference<css::container::XIndexAccess> shapes = DrawPage(model);
    for (sal_Int32 i = 0; shapes.is() && i < shapes->getCount(); ++i) {
        Reference<css::beans::XPropertySet> object(shapes->getByIndex(i), UNO_QUERY);
        if (StringProperty(object, "HyperLinkURL").isEmpty()) {
            continue;
        }
        Reference<css::text::XTextContent> content(object, UNO_QUERY);
        Reference<css::text::XTextRange> anchor = content.is() ? content->getAnchor() : nullptr;
        if (!anchor.is()) {
            continue;
        }
        const auto anchorType = PropertyOr<css::text::TextContentAnchorType>(
            object, "AnchorType", css::text::TextContentAnchorType_AT_PARAGRAPH);
        Reference<css::text::XText> text = anchor->getText();
        Waiting& in = waiting_[text.get()];
        if (!in.text.is()) {
            in.text = text;
            in.compare.set(text, UNO_QUERY);
        }
        in.objects.push_back({object, anchor, anchor->getStart(),
                              anchorType == css::text::TextContentAnchorType_AS_CHARACTER});
    }
    for (auto& [key, in] : waiting_) {
        if (!in.compare.is()) {
            continue;
        }
        // Objects on one paragraph keep the drawing's order: Word lists them so.
        std::stable_sort(in.objects.begin(), in.objects.end(),
                         [&](const LinkedObject& a, const LinkedObject& b) {
                             // 1: the first comes before the second.
                             return in.compare->compareRegionStarts(a.anchorStart, b.anchorStart) >
                                    0;
                         });
    }
}

bool LinkedObjects::TakeAnchoredIn(const Reference<css::text::XTextRange>& paragraph,
                                   const Reference<css::text::XText>& text,
                                   std::vector<LinkEntry>& links) {
    auto found = waiting_.find(text.get());
    if (found == waiting_.end() || !found->second.compare.is()) {
        return false;
    }
    Waiting& in = found->second;
    bool inLine = false;
    // Not after the paragraph's end: in it, as the earlier paragraphs took theirs.
    while (!in.objects.empty() &&
           in.compare->compareRegionEnds(in.objects.front().anchorStart, paragraph) >= 0) {
        const LinkedObject& object = in.objects.front();
        if (object.inLine) {
            inLine = true;
        } else {
            links.push_back(ObjectLink(object.object, LinkKind::Shape, object.anchor));
        }
        in.objects.pop_front();
    }
    return inLine;
}

// Whether any of a paragraph's text carries a link; a paragraph with none needs no look at its
// portions, which costs many calls to the office.
bool MayHoldLinks(const Reference<css::text::XTextRange>& paragraph) {
    Reference<css::beans::XPropertyState> state(paragraph, UNO_QUERY);
    if (!state.is()) {
        return true;
    }
    try {
        return state->getPropertyState(rtl::OUString::createFromAscii("HyperLinkURL")) !=
               css::beans::PropertyState_DEFAULT_VALUE;
    } catch (const css::beans::UnknownPropertyException&) {
        return true;
    }
}

void CollectParagraphLinks(const Reference<css::text::XTextContent>& paragraph,
                           const Reference<css::text::XTextRange>& paragraphRange,
                           const Reference<css::text::XText>& text, LinkedObjects& objects,
                           std::vector<LinkEntry>& links) {
    // Floating objects anchored here come first: Word anchors them to the paragraph's start.
    // Linked pictures in the line are met among the portions below.
    const bool holdsPicture = objects.TakeAnchoredIn(paragraphRange, text, links);
    if (!holdsPicture && !MayHoldLinks(paragraphRange)) {
        return;
    }
    rtl::OUString url;
    rtl::OUString name;
    // A link's first and last portions; asked for their ranges only once the link is whole.
    Reference<css::uno::XInterface> first;
    Reference<css::uno::XInterface> last;
    auto flush = [&] {
        if (first.is()) {
            LinkEntry link;
            link.target = SplitLinkTarget(ToUtf8(url));
            link.range = Span(text, Reference<css::text::XTextRange>(first, UNO_QUERY_THROW),
                              Reference<css::text::XTextRange>(last, UNO_QUERY_THROW));
            links.push_back(std::move(link));
        }
        first.clear();
        last.clear();
    };
    Reference<css::container::XEnumeration> portions =
        Reference<css::container::XEnumerationAccess>(paragraph, UNO_QUERY_THROW)
            ->createEnumeration();
    const rtl::OUString names[] = {"TextPortionType", "HyperLinkURL", "HyperLinkName"};
    const css::uno::Sequence<rtl::OUString> portionProperties(names, 3);
    while (true) {
        Reference<css::uno::XInterface> portion;
        try {
            portion.set(portions->nextElement(), UNO_QUERY);
        } catch (const css::container::NoSuchElementException&) {
            break;
        }
        const std::vector<rtl::OUString> values = StringProperties(portion, portionProperties);
        const rtl::OUString& type = values[0];
        if (IsMarker(type)) {
            continue;
        }
        if (type == "Frame") {
            flush();
            CollectInlineLinks(portion, links);
            continue;
        }
        const rtl::OUString& portionUrl = values[1];
        const rtl::OUString& portionName = values[2];
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

// A text field as Word's Fields list it. A cross-reference names its bookmark as Word does.
FieldEntry ReadField(const Reference<css::text::XTextField>& field) {
    Reference<css::beans::XPropertySet> properties(field, UNO_QUERY);
    FieldEntry entry;
    entry.result = ToU16(field->getPresentation(false));
    if (Supports(field, "com.sun.star.text.TextField.GetReference")) {
        const std::string source =
            WordBookmarkName(ToUtf8(StringProperty(properties, "SourceName")));
        const sal_Int16 part = PropertyOr<sal_Int16>(properties, "ReferenceFieldPart",
                                                     css::text::ReferenceFieldPart::TEXT);
        const bool page = part == css::text::ReferenceFieldPart::PAGE;
        entry.type = page ? kFieldPageRef : kFieldRef;
        entry.code = std::u16string(page ? u" PAGEREF " : u" REF ") +
                     platform::Utf8ToUtf16(source) + u" \\h ";
    } else if (Supports(field, "com.sun.star.text.TextField.PageNumber")) {
        entry.code = u" PAGE ";
    } else {
        entry.code = u" " + ToU16(field->getPresentation(true)) + u" ";
    }
    return entry;
}

}  // namespace

BodyContent CollectBody(const Reference<css::frame::XModel>& model) {
    BodyContent body;
    LinkedObjects objects(model);
    VisitParagraphs(BodyText(model), [&](const Reference<css::text::XTextContent>& paragraph,
                                         const Reference<css::text::XText>& text) {
        ParagraphEntry entry;
        entry.range = paragraph->getAnchor();
        Reference<css::beans::XPropertySet> properties(paragraph, UNO_QUERY);
        const sal_Int16 level = PropertyOr<sal_Int16>(properties, "OutlineLevel", 0);
        entry.outlineLevel = level >= 1 && level <= 9 ? level : 10;
        if (entry.outlineLevel <= 9) {
            entry.listLabel = ToU16(StringProperty(properties, "ListLabelString"));
        }
        const std::size_t linksBefore = body.links.size();
        CollectParagraphLinks(paragraph, entry.range, text, objects, body.links);
        entry.holdsLinks =
            std::any_of(body.links.begin() + linksBefore, body.links.end(),
                        [](const LinkEntry& link) { return link.kind == LinkKind::Text; });
        body.paragraphs.push_back(std::move(entry));
    });
    return body;
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

namespace {

// Calls `visit` for every text portion of the paragraphs in a range (tables inside it left out).
void VisitPortions(const Reference<css::text::XTextRange>& range,
                   const std::function<void(const Reference<css::beans::XPropertySet>&)>& visit) {
    Reference<css::text::XTextCursor> cursor = range->getText()->createTextCursorByRange(range);
    Reference<css::container::XEnumerationAccess> access(cursor, UNO_QUERY);
    if (!access.is()) {
        return;
    }
    Reference<css::container::XEnumeration> paragraphs = access->createEnumeration();
    while (paragraphs->hasMoreElements()) {
        Reference<css::container::XEnumerationAccess> paragraph(paragraphs->nextElement(),
                                                                UNO_QUERY);
        if (!paragraph.is()) {
            continue;  // a table inside the range
        }
        Reference<css::container::XEnumeration> portions = paragraph->createEnumeration();
        while (portions->hasMoreElements()) {
            Reference<css::beans::XPropertySet> portion(portions->nextElement(), UNO_QUERY);
            if (portion.is()) {
                visit(portion);
            }
        }
    }
}

}  // namespace

std::vector<BookmarkEntry> CollectHeadingMarks(const std::vector<ParagraphEntry>& paragraphs,
                                               const std::vector<BookmarkEntry>& known) {
    std::vector<BookmarkEntry> marks;
    for (const ParagraphEntry& paragraph : paragraphs) {
        if (paragraph.outlineLevel > 9 || !paragraph.range.is()) {
            continue;
        }
        VisitPortions(paragraph.range, [&](const Reference<css::beans::XPropertySet>& portion) {
            if (StringProperty(portion, "TextPortionType") != "Bookmark") {
                return;
            }
            Reference<css::container::XNamed> named;
            portion->getPropertyValue(rtl::OUString::createFromAscii("Bookmark")) >>= named;
            if (!named.is()) {
                return;
            }
            const std::u16string name =
                platform::Utf8ToUtf16(WordBookmarkName(ToUtf8(named->getName())));
            const auto same = [&](const BookmarkEntry& entry) { return entry.name == name; };
            if (std::none_of(known.begin(), known.end(), same) &&
                std::none_of(marks.begin(), marks.end(), same)) {
                marks.push_back({name, paragraph.range});
            }
        });
    }
    return marks;
}

std::vector<BookmarkEntry> CollectWordBookmarks(const Reference<css::frame::XModel>& model,
                                                const std::vector<ParagraphEntry>& paragraphs) {
    std::vector<BookmarkEntry> bookmarks = CollectBookmarks(model);
    std::vector<BookmarkEntry> marks = CollectHeadingMarks(paragraphs, bookmarks);
    bookmarks.insert(bookmarks.end(), marks.begin(), marks.end());
    return bookmarks;
}

std::vector<FieldEntry> CollectFields(const Reference<css::text::XTextRange>& range) {
    std::vector<FieldEntry> fields;
    VisitPortions(range, [&](const Reference<css::beans::XPropertySet>& portion) {
        if (StringProperty(portion, "TextPortionType") != "TextField") {
            return;
        }
        Reference<css::text::XTextField> field;
        portion->getPropertyValue(rtl::OUString::createFromAscii("TextField")) >>= field;
        if (field.is()) {
            fields.push_back(ReadField(field));
        }
    });
    return fields;
}

namespace {

// The hyperlinks of a text beside the body, in its paragraphs' order.
std::vector<LinkEntry> CollectTextLinks(const Reference<css::text::XText>& text) {
    std::vector<LinkEntry> links;
    LinkedObjects none;
    VisitParagraphs(text, [&](const Reference<css::text::XTextContent>& paragraph,
                              const Reference<css::text::XText>& owner) {
        CollectParagraphLinks(paragraph, paragraph->getAnchor(), owner, none, links);
    });
    return links;
}

// The links in the text a drawing holds itself: URL fields, which LibreOffice lays out with the
// drawing, apart from the page's text. Each is a text link whose place is the drawing's: its
// range is a place of its own at the drawing's anchor, and its object the drawing.
void CollectDrawingTextLinks(const Reference<css::beans::XPropertySet>& drawing,
                             std::vector<LinkEntry>& links) {
    Reference<css::container::XEnumerationAccess> text(drawing, UNO_QUERY);
    Reference<css::text::XTextContent> content(drawing, UNO_QUERY);
    if (!text.is() || !content.is()) {
        return;
    }
    Reference<css::container::XEnumeration> paragraphs = text->createEnumeration();
    while (paragraphs.is() && paragraphs->hasMoreElements()) {
        Reference<css::container::XEnumerationAccess> paragraph(paragraphs->nextElement(),
                                                                UNO_QUERY);
        Reference<css::container::XEnumeration> portions =
            paragraph.is() ? paragraph->createEnumeration() : nullptr;
        while (portions.is() && portions->hasMoreElements()) {
            Reference<css::beans::XPropertySet> portion(portions->nextElement(), UNO_QUERY);
            if (StringProperty(portion, "TextPortionType") != "TextField") {
                continue;
            }
            Reference<css::beans::XPropertySet> field;
            portion->getPropertyValue(rtl::OUString::createFromAscii("TextField")) >>= field;
            const rtl::OUString url = StringProperty(field, "URL");
            Reference<css::text::XTextRange> anchor = content->getAnchor();
            if (!url.isEmpty() && anchor.is()) {
                LinkEntry link;
                link.target = SplitLinkTarget(ToUtf8(url));
                link.object = drawing;
                link.range.set(anchor->getText()->createTextCursorByRange(anchor), UNO_QUERY);
                links.push_back(std::move(link));
            }
        }
    }
}

// The notes of one kind, and the story of their texts' links.
StoryEntry CollectNotes(const Reference<css::container::XIndexAccess>& notes, StoryType type,
                        std::vector<NoteEntry>& entries,
                        std::vector<Reference<css::text::XText>>& texts) {
    StoryEntry story;
    story.type = type;
    for (sal_Int32 i = 0; notes.is() && i < notes->getCount(); ++i) {
        Reference<css::text::XFootnote> note(notes->getByIndex(i), UNO_QUERY);
        Reference<css::text::XText> text(note, UNO_QUERY);
        if (!note.is() || !text.is()) {
            continue;
        }
        entries.push_back({note->getAnchor(), Reference<css::text::XTextRange>(text.get())});
        std::vector<LinkEntry> links = CollectTextLinks(text);
        story.links.insert(story.links.end(), links.begin(), links.end());
        texts.push_back(text);
    }
    return story;
}

// The text boxes: Writer's frames (a Word text box becomes a drawing with a frame for its
// text), one story each, and the drawings that hold their text themselves, one story together.
void CollectTextBoxes(const Reference<css::frame::XModel>& model, std::vector<StoryEntry>& stories,
                      std::vector<std::vector<Reference<css::text::XText>>>& texts) {
    std::vector<Reference<css::text::XText>> frames;
    auto addFrame = [&](const Reference<css::text::XTextFrame>& frame) {
        Reference<css::text::XText> text = frame.is() ? frame->getText() : nullptr;
        if (text.is() && std::find(frames.begin(), frames.end(), text) == frames.end()) {
            frames.push_back(text);
        }
    };
    if (Reference<css::text::XTextFramesSupplier> supplier(model, UNO_QUERY); supplier.is()) {
        Reference<css::container::XNameAccess> all = supplier->getTextFrames();
        for (const rtl::OUString& name : all->getElementNames()) {
            addFrame(Reference<css::text::XTextFrame>(all->getByName(name), UNO_QUERY));
        }
    }
    StoryEntry drawings;
    drawings.type = StoryType::TextFrames;
    Reference<css::container::XIndexAccess> shapes = DrawPage(model);
    for (sal_Int32 i = 0; shapes.is() && i < shapes->getCount(); ++i) {
        Reference<css::beans::XPropertySet> shape(shapes->getByIndex(i), UNO_QUERY);
        if (PropertyOr<bool>(shape, "TextBox", false)) {
            addFrame(
                PropertyOr<Reference<css::text::XTextFrame>>(shape, "TextBoxContent", nullptr));
        } else if (!Supports(shape, "com.sun.star.text.TextFrame")) {
            CollectDrawingTextLinks(shape, drawings.links);
        }
    }
    for (const Reference<css::text::XText>& frame : frames) {
        StoryEntry story;
        story.type = StoryType::TextFrames;
        story.links = CollectTextLinks(frame);
        stories.push_back(std::move(story));
        texts.push_back({frame});
    }
    stories.push_back(std::move(drawings));
    texts.emplace_back();
}

// The headers and footers of the page styles in use.
void CollectHeadersAndFooters(const Reference<css::frame::XModel>& model,
                              std::vector<StoryEntry>& stories,
                              std::vector<std::vector<Reference<css::text::XText>>>& texts) {
    Reference<css::style::XStyleFamiliesSupplier> families(model, UNO_QUERY);
    if (!families.is()) {
        return;
    }
    Reference<css::container::XNameAccess> styles;
    families->getStyleFamilies()->getByName(rtl::OUString::createFromAscii("PageStyles")) >>=
        styles;
    if (!styles.is()) {
        return;
    }
    struct Kind {
        const char* name;
        StoryType primary, even, first;
    };
    const Kind kinds[] = {
        {"Header", StoryType::PrimaryHeader, StoryType::EvenPagesHeader,
         StoryType::FirstPageHeader},
        {"Footer", StoryType::PrimaryFooter, StoryType::EvenPagesFooter,
         StoryType::FirstPageFooter},
    };
    for (const rtl::OUString& name : styles->getElementNames()) {
        Reference<css::style::XStyle> style(styles->getByName(name), UNO_QUERY);
        Reference<css::beans::XPropertySet> properties(style, UNO_QUERY);
        if (!style.is() || !style->isInUse()) {
            continue;
        }
        for (const Kind& kind : kinds) {
            const std::string base = kind.name;
            if (!PropertyOr<bool>(properties, (base + "IsOn").c_str(), false)) {
                continue;
            }
            const bool leftShared = PropertyOr<bool>(properties, (base + "IsShared").c_str(), true);
            const bool firstShared = PropertyOr<bool>(properties, "FirstIsShared", true);
            std::vector<std::pair<std::string, StoryType>> parts = {{base + "Text", kind.primary}};
            if (!leftShared) {
                parts.push_back({base + "TextLeft", kind.even});
            }
            if (!firstShared) {
                parts.push_back({base + "TextFirst", kind.first});
            }
            for (const auto& [property, type] : parts) {
                auto text =
                    PropertyOr<Reference<css::text::XText>>(properties, property.c_str(), nullptr);
                if (!text.is()) {
                    continue;
                }
                StoryEntry story;
                story.type = type;
                story.links = CollectTextLinks(text);
                story.pageStyle = ToU16(name);
                story.leftShared = leftShared;
                story.firstShared = firstShared;
                stories.push_back(std::move(story));
                texts.push_back({text});
            }
        }
    }
}

// The fields of the document that refer to a bookmark, wherever they stand.
std::vector<FieldEntry> CollectCrossReferences(const Reference<css::frame::XModel>& model) {
    std::vector<FieldEntry> fields;
    Reference<css::text::XTextFieldsSupplier> supplier(model, UNO_QUERY);
    if (!supplier.is()) {
        return fields;
    }
    Reference<css::container::XEnumeration> all = supplier->getTextFields()->createEnumeration();
    while (all.is() && all->hasMoreElements()) {
        Reference<css::text::XTextField> field(all->nextElement(), UNO_QUERY);
        if (!field.is() || !Supports(field, "com.sun.star.text.TextField.GetReference")) {
            continue;
        }
        FieldEntry entry = ReadField(field);
        entry.anchor = field->getAnchor();
        if (entry.anchor.is()) {
            fields.push_back(std::move(entry));
        }
    }
    return fields;
}

}  // namespace

StoryContent CollectStories(const Reference<css::frame::XModel>& model) {
    StoryContent content;
    // Per story, the texts it is made of: a cross-reference goes with the story of its text.
    std::vector<std::vector<Reference<css::text::XText>>> texts(2);
    Reference<css::text::XFootnotesSupplier> footnotes(model, UNO_QUERY);
    Reference<css::text::XEndnotesSupplier> endnotes(model, UNO_QUERY);
    content.stories.push_back(CollectNotes(footnotes.is() ? footnotes->getFootnotes() : nullptr,
                                           StoryType::Footnotes, content.footnotes, texts[0]));
    content.stories.push_back(CollectNotes(endnotes.is() ? endnotes->getEndnotes() : nullptr,
                                           StoryType::Endnotes, content.endnotes, texts[1]));
    CollectTextBoxes(model, content.stories, texts);
    CollectHeadersAndFooters(model, content.stories, texts);

    for (FieldEntry& field : CollectCrossReferences(model)) {
        const Reference<css::text::XText> owner = field.anchor->getText();
        auto story = std::find_if(texts.begin(), texts.end(), [&](const auto& storyTexts) {
            return std::find(storyTexts.begin(), storyTexts.end(), owner) != storyTexts.end();
        });
        (story == texts.end() ? content.bodyFields
                              : content.stories[static_cast<size_t>(story - texts.begin())].fields)
            .push_back(std::move(field));
    }
    std::erase_if(content.stories, [](const StoryEntry& story) {
        return story.links.empty() && story.fields.empty();
    });
    return content;
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
    std::vector<FieldEntry> fields = {{.code = code, .result = text}};

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
            inner.insert(
                inner.begin(),
                {.code = u" PAGEREF " + place + u" \\h ", .result = page, .type = kFieldPageRef});
        }
    }
    fields.insert(fields.end(), inner.begin(), inner.end());
    return fields;
}

std::u16string WordText(const Reference<css::text::XTextRange>& range, bool oneParagraph) {
    return WordText(range->getString(), oneParagraph);
}

std::u16string WordText(const rtl::OUString& office, bool oneParagraph) {
    std::u16string text = ToU16(office);
    for (char16_t& c : text) {
        if (c == u'\n') {
            c = oneParagraph ? u'\v' : u'\r';
        }
    }
    return text;
}

}  // namespace word_model
