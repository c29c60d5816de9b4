#include "components/word/model/DocumentSnapshot.h"

#include <initializer_list>
#include <stdexcept>

#include <com/sun/star/uno/Sequence.hxx>

#include "components/word/model/Uno.h"

namespace word_model {
namespace {

using css::uno::Any;
using css::uno::Reference;
using css::uno::Sequence;
using TextRange = Reference<css::text::XTextRange>;

// The first element of a packed snapshot: a value of another form is refused, not misread.
constexpr char kForm[] = "tessaline.word.snapshot.2";
constexpr sal_Int32 kPageNumbers = 6;
// Laid out, start, end, text top; then, when measured, the extent.
constexpr sal_Int32 kPlaceNumbers = 8;
constexpr sal_Int32 kExtentNumbers = 8;

// One item's reading; nullopt when the office refuses it. The snapshot reads more than a
// conversion may ask about, so one item's failure must not fail the document: the model asks
// again only if the item is wanted, and fails then as it would without a snapshot.
template <typename Read>
auto Optional(Read read) -> std::optional<decltype(read())> {
    try {
        return read();
    } catch (const css::uno::Exception&) {
        return std::nullopt;
    }
}

std::optional<MeasuredRange> MeasureRange(Layout& layout, const TextRange& range, bool withExtent) {
    if (!range.is()) {
        return std::nullopt;
    }
    return Optional([&] { return layout.MeasureAll(range, withExtent); });
}

// Whether a page shows a header's or footer's text: of its page style's texts, a page shows the
// first page's on the first page of a run of the style, else the left pages' on a left page,
// else the primary one.
bool Shows(const PageFace& face, const StoryEntry& story) {
    const bool footer = story.type == StoryType::PrimaryFooter ||
                        story.type == StoryType::EvenPagesFooter ||
                        story.type == StoryType::FirstPageFooter;
    StoryType shown = footer ? StoryType::PrimaryFooter : StoryType::PrimaryHeader;
    if (face.first && !story.firstShared) {
        shown = footer ? StoryType::FirstPageFooter : StoryType::FirstPageHeader;
    } else if (!face.right && !story.leftShared) {
        shown = footer ? StoryType::EvenPagesFooter : StoryType::EvenPagesHeader;
    }
    return face.style == story.pageStyle && shown == story.type;
}

// ---- Packing --------------------------------------------------------------------------------

template <typename T>
Sequence<T> SequenceOf(std::initializer_list<T> items) {
    return Sequence<T>(items.begin(), static_cast<sal_Int32>(items.size()));
}

Sequence<double> PackMeasured(const std::optional<MeasuredRange>& measured) {
    if (!measured) {
        return {};
    }
    const MeasuredRange& m = *measured;
    Sequence<double> packed(kPlaceNumbers + (m.extent ? kExtentNumbers : 0));
    double* n = packed.getArray();
    for (double value : {m.laidOut ? 1.0 : 0.0, double(m.start.page), m.start.x, m.start.y,
                         double(m.end.page), m.end.x, m.end.y, m.textTop}) {
        *n++ = value;
    }
    if (const std::optional<RangeExtent>& e = m.extent) {
        for (double value : {double(e->start.page), e->start.x, e->start.y, double(e->endPage),
                             e->left, e->top, e->right, e->bottom}) {
            *n++ = value;
        }
    }
    return packed;
}

template <typename T>
Any PackList(const std::vector<T>& items, Sequence<Any> (*pack)(const T&)) {
    Sequence<Any> packed(static_cast<sal_Int32>(items.size()));
    Any* out = packed.getArray();
    for (const T& item : items) {
        *out++ <<= pack(item);
    }
    return Any(packed);
}

// Text left out travels as an empty value.
Any PackText(const std::optional<rtl::OUString>& text) {
    return text ? Any(*text) : Any();
}

Sequence<Any> PackParagraph(const SnapshotParagraph& p) {
    return SequenceOf<Any>({Any(p.entry.range), Any(sal_Int16(p.entry.outlineLevel)),
                            PackText(p.text), Any(PackMeasured(p.measured)),
                            Any(FromU16(p.entry.listLabel))});
}

// A link's target, kind, range and object: six values.
std::vector<Any> PackLinkEntry(const LinkEntry& e) {
    return {Any(FromUtf8(e.target.address)),
            Any(FromUtf8(e.target.subAddress)),
            Any(FromUtf8(e.target.name)),
            Any(sal_Int32(e.kind)),
            Any(e.range),
            Any(e.object)};
}

Sequence<Any> PackLink(const SnapshotLink& l) {
    Any fields;
    if (l.fields) {
        Sequence<rtl::OUString> codesAndResults(static_cast<sal_Int32>(l.fields->size() * 2));
        rtl::OUString* field = codesAndResults.getArray();
        for (const FieldEntry& entry : *l.fields) {
            *field++ = FromU16(entry.code);
            *field++ = FromU16(entry.result);
        }
        fields <<= codesAndResults;
    }
    std::vector<Any> packed = PackLinkEntry(l.entry);
    packed.insert(packed.end(), {PackText(l.text), fields, Any(PackMeasured(l.measured))});
    return Sequence<Any>(packed.data(), static_cast<sal_Int32>(packed.size()));
}

Sequence<Any> PackStoryLink(const LinkEntry& e) {
    const std::vector<Any> packed = PackLinkEntry(e);
    return Sequence<Any>(packed.data(), static_cast<sal_Int32>(packed.size()));
}

Sequence<Any> PackField(const FieldEntry& f) {
    return SequenceOf<Any>(
        {Any(FromU16(f.code)), Any(FromU16(f.result)), Any(sal_Int32(f.type)), Any(f.anchor)});
}

Sequence<Any> PackNote(const NoteEntry& n) {
    return SequenceOf<Any>({Any(n.mark), Any(n.text)});
}

// A header's or footer's pages travel already found.
Sequence<Any> PackStory(const StoryEntry& s) {
    Sequence<sal_Int32> pages(static_cast<sal_Int32>(s.pages.size()));
    std::copy(s.pages.begin(), s.pages.end(), pages.getArray());
    return SequenceOf<Any>({Any(sal_Int32(s.type)), Any(FromU16(s.pageStyle)), Any(pages),
                            PackList(s.links, &PackStoryLink), PackList(s.fields, &PackField)});
}

Sequence<Any> PackStoryRange(const SnapshotRange& r) {
    return SequenceOf<Any>({Any(r.range), Any(PackMeasured(r.measured)), Any(r.repeated)});
}

Sequence<Any> PackBookmark(const SnapshotBookmark& b) {
    return SequenceOf<Any>(
        {Any(FromU16(b.entry.name)), Any(b.entry.range), Any(PackMeasured(b.measured))});
}

// ---- Unpacking ------------------------------------------------------------------------------

[[noreturn]] void Malformed() {
    throw std::runtime_error("The office's snapshot of the document is malformed.");
}

template <typename T>
T Take(const Any& value) {
    T result{};
    if (!(value >>= result)) {
        Malformed();
    }
    return result;
}

// A reference that may be empty: an empty Any or a void reference.
template <typename T>
Reference<T> TakeReference(const Any& value) {
    Reference<T> result;
    if (value.hasValue() && !(value >>= result)) {
        Malformed();
    }
    return result;
}

Sequence<Any> Fields(const Any& value, sal_Int32 count) {
    Sequence<Any> fields = Take<Sequence<Any>>(value);
    if (fields.getLength() != count) {
        Malformed();
    }
    return fields;
}

std::optional<rtl::OUString> UnpackText(const Any& value) {
    if (!value.hasValue()) {
        return std::nullopt;
    }
    return Take<rtl::OUString>(value);
}

std::optional<MeasuredRange> UnpackMeasured(const Any& value) {
    const Sequence<double> n = Take<Sequence<double>>(value);
    if (n.getLength() == 0) {
        return std::nullopt;
    }
    if (n.getLength() != kPlaceNumbers && n.getLength() != kPlaceNumbers + kExtentNumbers) {
        Malformed();
    }
    MeasuredRange m;
    m.laidOut = n[0] != 0;
    m.start = {int(n[1]), n[2], n[3]};
    m.end = {int(n[4]), n[5], n[6]};
    m.textTop = n[7];
    if (n.getLength() > kPlaceNumbers) {
        RangeExtent& e = m.extent.emplace();
        e.start = {int(n[8]), n[9], n[10]};
        e.endPage = int(n[11]);
        e.left = n[12];
        e.top = n[13];
        e.right = n[14];
        e.bottom = n[15];
    }
    return m;
}

template <typename T>
std::vector<T> UnpackList(const Any& value, T (*unpack)(const Any&)) {
    std::vector<T> items;
    const Sequence<Any> packed = Take<Sequence<Any>>(value);
    items.reserve(static_cast<size_t>(packed.getLength()));
    for (const Any& item : packed) {
        items.push_back(unpack(item));
    }
    return items;
}

SnapshotParagraph UnpackParagraph(const Any& value) {
    const Sequence<Any> f = Fields(value, 5);
    SnapshotParagraph p;
    p.entry.range = TakeReference<css::text::XTextRange>(f[0]);
    p.entry.outlineLevel = Take<sal_Int16>(f[1]);
    p.text = UnpackText(f[2]);
    p.measured = UnpackMeasured(f[3]);
    p.entry.listLabel = ToU16(Take<rtl::OUString>(f[4]));
    return p;
}

LinkEntry UnpackLinkEntry(const Sequence<Any>& f) {
    LinkEntry e;
    e.target.address = ToUtf8(Take<rtl::OUString>(f[0]));
    e.target.subAddress = ToUtf8(Take<rtl::OUString>(f[1]));
    e.target.name = ToUtf8(Take<rtl::OUString>(f[2]));
    const sal_Int32 kind = Take<sal_Int32>(f[3]);
    if (kind < sal_Int32(LinkKind::Text) || kind > sal_Int32(LinkKind::InlinePicture)) {
        Malformed();
    }
    e.kind = static_cast<LinkKind>(kind);
    e.range = TakeReference<css::text::XTextRange>(f[4]);
    e.object = TakeReference<css::beans::XPropertySet>(f[5]);
    return e;
}

SnapshotLink UnpackLink(const Any& value) {
    const Sequence<Any> f = Fields(value, 9);
    SnapshotLink l;
    l.entry = UnpackLinkEntry(f);
    l.text = UnpackText(f[6]);
    if (f[7].hasValue()) {
        const Sequence<rtl::OUString> fields = Take<Sequence<rtl::OUString>>(f[7]);
        if (fields.getLength() % 2 != 0) {
            Malformed();
        }
        l.fields.emplace();
        for (sal_Int32 i = 0; i < fields.getLength(); i += 2) {
            l.fields->push_back({.code = ToU16(fields[i]), .result = ToU16(fields[i + 1])});
        }
    }
    l.measured = UnpackMeasured(f[8]);
    return l;
}

LinkEntry UnpackStoryLink(const Any& value) {
    return UnpackLinkEntry(Fields(value, 6));
}

FieldEntry UnpackField(const Any& value) {
    const Sequence<Any> f = Fields(value, 4);
    return {.code = ToU16(Take<rtl::OUString>(f[0])),
            .result = ToU16(Take<rtl::OUString>(f[1])),
            .type = Take<sal_Int32>(f[2]),
            .anchor = TakeReference<css::text::XTextRange>(f[3])};
}

NoteEntry UnpackNote(const Any& value) {
    const Sequence<Any> f = Fields(value, 2);
    return {TakeReference<css::text::XTextRange>(f[0]), TakeReference<css::text::XTextRange>(f[1])};
}

StoryEntry UnpackStory(const Any& value) {
    const Sequence<Any> f = Fields(value, 5);
    StoryEntry s;
    const sal_Int32 type = Take<sal_Int32>(f[0]);
    if (type < sal_Int32(StoryType::Footnotes) || type > sal_Int32(StoryType::FirstPageFooter)) {
        Malformed();
    }
    s.type = static_cast<StoryType>(type);
    s.pageStyle = ToU16(Take<rtl::OUString>(f[1]));
    const Sequence<sal_Int32> pages = Take<Sequence<sal_Int32>>(f[2]);
    s.pages.assign(pages.begin(), pages.end());
    s.links = UnpackList(f[3], &UnpackStoryLink);
    s.fields = UnpackList(f[4], &UnpackField);
    return s;
}

SnapshotRange UnpackStoryRange(const Any& value) {
    const Sequence<Any> f = Fields(value, 3);
    std::optional<MeasuredRange> measured = UnpackMeasured(f[1]);
    if (!measured) {
        Malformed();
    }
    return {TakeReference<css::text::XTextRange>(f[0]), *measured, Take<bool>(f[2])};
}

SnapshotBookmark UnpackBookmark(const Any& value) {
    const Sequence<Any> f = Fields(value, 3);
    SnapshotBookmark b;
    b.entry.name = ToU16(Take<rtl::OUString>(f[0]));
    b.entry.range = TakeReference<css::text::XTextRange>(f[1]);
    b.measured = UnpackMeasured(f[2]);
    return b;
}

}  // namespace

DocumentSnapshot TakeSnapshot(const Reference<css::frame::XModel>& model) {
    DocumentSnapshot snapshot;
    Layout layout(model);
    snapshot.pages = layout.Pages();

    BodyContent body = CollectBody(model);
    std::vector<BookmarkEntry> bookmarks = CollectWordBookmarks(model, body.paragraphs);
    for (ParagraphEntry& entry : body.paragraphs) {
        SnapshotParagraph paragraph;
        if (entry.range.is()) {
            paragraph.text = Optional([&] { return entry.range->getString(); });
            // Headings are what the outline and the table of contents lead to; a table of
            // contents' own entries begin with their headings' text, so they are asked about too.
            if (entry.outlineLevel <= 9 || entry.holdsLinks) {
                paragraph.measured = MeasureRange(layout, entry.range, false);
            }
        }
        paragraph.entry = std::move(entry);
        snapshot.paragraphs.push_back(std::move(paragraph));
    }
    for (LinkEntry& entry : body.links) {
        SnapshotLink link;
        if (entry.range.is()) {
            link.text = Optional([&] { return entry.range->getString(); });
            if (entry.kind == LinkKind::Text) {
                link.fields = Optional([&] { return CollectFields(entry.range); });
            }
            link.measured = MeasureRange(layout, entry.range, true);
        }
        link.entry = std::move(entry);
        snapshot.links.push_back(std::move(link));
    }

    for (BookmarkEntry& entry : bookmarks) {
        SnapshotBookmark bookmark;
        bookmark.measured = MeasureRange(layout, entry.range, false);
        bookmark.entry = std::move(entry);
        snapshot.bookmarks.push_back(std::move(bookmark));
    }

    snapshot.stories = ReadStories(model, layout);
    auto measure = [&](const TextRange& range, bool withExtent, bool repeated) {
        if (std::optional<MeasuredRange> measured = MeasureRange(layout, range, withExtent)) {
            snapshot.storyRanges.push_back({range, *measured, repeated});
        }
    };
    for (const auto* notes : {&snapshot.stories.footnotes, &snapshot.stories.endnotes}) {
        for (const NoteEntry& note : *notes) {
            measure(note.mark, true, false);
            measure(note.text, true, false);
        }
    }
    for (const FieldEntry& field : snapshot.stories.bodyFields) {
        measure(field.anchor, true, false);
    }
    for (const StoryEntry& story : snapshot.stories.stories) {
        const bool repeated = story.Repeated();
        if (repeated && story.pages.empty()) {
            continue;  // shown on no page
        }
        for (const LinkEntry& link : story.links) {
            measure(link.range, true, repeated);
        }
        for (const FieldEntry& field : story.fields) {
            measure(field.anchor, true, repeated);
        }
    }
    return snapshot;
}

StoryContent ReadStories(const Reference<css::frame::XModel>& model, Layout& layout) {
    StoryContent content = CollectStories(model);
    for (const StoryEntry& story : content.stories) {
        for (const LinkEntry& link : story.links) {
            if (link.kind == LinkKind::Text && link.object.is()) {
                layout.Learn(link.range, layout.MeasureDrawing(link.object));
            }
        }
    }
    const std::vector<PageFace>& faces = layout.Faces();
    for (StoryEntry& story : content.stories) {
        if (!story.Repeated()) {
            continue;
        }
        for (size_t i = 0; i < faces.size(); ++i) {
            if (Shows(faces[i], story)) {
                story.pages.push_back(static_cast<int>(i) + 1);
            }
        }
        for (const LinkEntry& link : story.links) {
            if (link.range.is()) {
                layout.MarkRepeated(link.range);
            }
        }
        for (const FieldEntry& field : story.fields) {
            layout.MarkRepeated(field.anchor);
        }
    }
    return content;
}

Any PackSnapshot(const DocumentSnapshot& snapshot) {
    Sequence<double> pages(static_cast<sal_Int32>(snapshot.pages.size()) * kPageNumbers);
    double* page = pages.getArray();
    for (const PageLayout& entry : snapshot.pages) {
        *page++ = entry.top;
        *page++ = entry.format.width;
        *page++ = entry.format.height;
        *page++ = entry.format.leftMargin;
        *page++ = entry.format.topMargin;
        *page++ = entry.viewPage;
    }
    const StoryContent& stories = snapshot.stories;
    return Any(SequenceOf<Any>(
        {Any(rtl::OUString::createFromAscii(kForm)), Any(pages),
         PackList(snapshot.paragraphs, &PackParagraph), PackList(snapshot.links, &PackLink),
         PackList(snapshot.bookmarks, &PackBookmark), PackList(stories.footnotes, &PackNote),
         PackList(stories.endnotes, &PackNote), PackList(stories.bodyFields, &PackField),
         PackList(stories.stories, &PackStory), PackList(snapshot.storyRanges, &PackStoryRange)}));
}

DocumentSnapshot UnpackSnapshot(const Any& packed) {
    const Sequence<Any> parts = Fields(packed, 10);
    if (Take<rtl::OUString>(parts[0]) != kForm) {
        Malformed();
    }
    DocumentSnapshot snapshot;
    const Sequence<double> pages = Take<Sequence<double>>(parts[1]);
    if (pages.getLength() % kPageNumbers != 0) {
        Malformed();
    }
    for (sal_Int32 i = 0; i < pages.getLength(); i += kPageNumbers) {
        PageLayout entry;
        entry.top = pages[i];
        entry.format = {pages[i + 1], pages[i + 2], pages[i + 3], pages[i + 4]};
        entry.viewPage = static_cast<int>(pages[i + 5]);
        snapshot.pages.push_back(entry);
    }
    snapshot.paragraphs = UnpackList(parts[2], &UnpackParagraph);
    snapshot.links = UnpackList(parts[3], &UnpackLink);
    snapshot.bookmarks = UnpackList(parts[4], &UnpackBookmark);
    snapshot.stories.footnotes = UnpackList(parts[5], &UnpackNote);
    snapshot.stories.endnotes = UnpackList(parts[6], &UnpackNote);
    snapshot.stories.bodyFields = UnpackList(parts[7], &UnpackField);
    snapshot.stories.stories = UnpackList(parts[8], &UnpackStory);
    snapshot.storyRanges = UnpackList(parts[9], &UnpackStoryRange);
    return snapshot;
}

}  // namespace word_model
