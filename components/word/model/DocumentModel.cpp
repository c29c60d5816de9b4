#include "components/word/model/DocumentModel.h"

#include <cmath>
#include <optional>
#include <unordered_map>
#include <vector>

#include <com/sun/star/text/HoriOrientation.hpp>
#include <com/sun/star/text/RelOrientation.hpp>
#include <com/sun/star/text/VertOrientation.hpp>
#include <com/sun/star/text/XText.hpp>
#include <com/sun/star/text/XTextDocument.hpp>

#include "components/word/model/Content.h"
#include "components/word/model/Layout.h"
#include "components/word/model/Uno.h"
#include "contracts/DispatchIds.h"
#include "platform/text.h"

namespace dispid = tessaline::contracts::dispid;

namespace word_model {

using css::uno::Reference;
using css::uno::UNO_QUERY;
using css::uno::UNO_QUERY_THROW;
using TextRange = Reference<css::text::XTextRange>;

// Everything the objects of one document share. The objects keep it alive; once the document
// goes, `open` turns false and they fail as Word's do when their instance has gone.
struct DocumentState {
    DocumentState(const Reference<css::frame::XModel>& m, std::string p, SnapshotSource s)
        : model(m), path(std::move(p)), source(std::move(s)), layout(m) {}

    void CheckOpen() const {
        if (!open) {
            Fail(kDisconnected);
        }
    }
    const std::vector<LinkEntry>& Links() { return Body().links; }
    const std::vector<ParagraphEntry>& Paragraphs() { return Body().paragraphs; }
    const BodyContent& Body() {
        Load();
        if (!body) {
            body = CollectBody(model);
        }
        return *body;
    }
    const std::vector<BookmarkEntry>& Bookmarks() {
        Load();
        if (!bookmarks) {
            bookmarks = CollectWordBookmarks(model, Paragraphs());
        }
        return *bookmarks;
    }
    // The notes, cross-references and texts beside the body.
    const StoryContent& Stories() {
        Load();
        if (!stories) {
            stories = ReadStories(model, layout);
        }
        return *stories;
    }
    // Every story as Word's StoryRanges show them: a header or footer once per page showing
    // it (the story's index, and the page, 0 for the others).
    struct Showing {
        size_t story;
        int page;
    };
    const std::vector<Showing>& Showings() {
        if (!showings) {
            showings.emplace();
            const std::vector<StoryEntry>& all = Stories().stories;
            for (size_t i = 0; i < all.size(); ++i) {
                if (!all[i].Repeated()) {
                    showings->push_back({i, 0});
                }
                for (int page : all[i].pages) {
                    showings->push_back({i, page});
                }
            }
        }
        return *showings;
    }
    // A range's text as LibreOffice gives it.
    rtl::OUString Text(const TextRange& range) {
        auto known = texts.find(range.get());
        return known != texts.end() ? known->second : range->getString();
    }
    std::vector<FieldEntry> Fields(const TextRange& range) {
        auto known = fields.find(range.get());
        return known != fields.end() ? known->second : CollectFields(range);
    }

    // Everything at once from the snapshot source, when there is one; what it does not give is
    // read piece by piece.
    void Load() {
        if (loaded) {
            return;
        }
        loaded = true;
        std::optional<DocumentSnapshot> snapshot = source ? source(model) : std::nullopt;
        if (!snapshot) {
            return;
        }
        layout.LearnPages(std::move(snapshot->pages));
        auto learn = [&](const TextRange& range, const std::optional<MeasuredRange>& measured) {
            if (range.is() && measured) {
                layout.Learn(range, *measured);
            }
        };
        body.emplace();
        for (SnapshotParagraph& paragraph : snapshot->paragraphs) {
            learn(paragraph.entry.range, paragraph.measured);
            if (paragraph.text) {
                texts[paragraph.entry.range.get()] = *paragraph.text;
            }
            body->paragraphs.push_back(std::move(paragraph.entry));
        }
        for (SnapshotLink& link : snapshot->links) {
            learn(link.entry.range, link.measured);
            if (link.text) {
                texts[link.entry.range.get()] = *link.text;
            }
            if (link.fields) {
                fields[link.entry.range.get()] = std::move(*link.fields);
            }
            body->links.push_back(std::move(link.entry));
        }
        bookmarks.emplace();
        for (SnapshotBookmark& bookmark : snapshot->bookmarks) {
            learn(bookmark.entry.range, bookmark.measured);
            bookmarks->push_back(std::move(bookmark.entry));
        }
        for (const SnapshotRange& range : snapshot->storyRanges) {
            if (range.repeated) {
                layout.MarkRepeated(range.range);
            }
            learn(range.range, range.measured);
        }
        stories = std::move(snapshot->stories);
    }

    Reference<css::frame::XModel> model;
    std::string path;
    SnapshotSource source;
    Layout layout;
    bool open = true;
    bool loaded = false;
    std::optional<BodyContent> body;
    std::optional<std::vector<BookmarkEntry>> bookmarks;
    std::optional<StoryContent> stories;
    std::optional<std::vector<Showing>> showings;
    // Texts and fields the snapshot gave, by range; the ranges are kept alive in the entries.
    std::unordered_map<const void*, rtl::OUString> texts;
    std::unordered_map<const void*, std::vector<FieldEntry>> fields;
    // What Range.Select selected last, and the page it was selected on when it is repeated text;
    // Selection.Information reports on it.
    TextRange selection;
    int selectionPage = 0;
};

namespace {

using State = std::shared_ptr<DocumentState>;

constexpr double kPixelsPerPoint = 96.0 / 72.0;  // the virtual screen's resolution

// Information() items.
constexpr int kInfoActiveEndAdjustedPage = 1;
constexpr int kInfoActiveEndPage = 3;
constexpr int kInfoPageCount = 4;
constexpr int kInfoHorizontal = 5;
constexpr int kInfoVertical = 6;

// ---- Ranges and what hangs off them -----------------------------------------------------------

// Word's answer to Information(item) about a range; shownOnPage: the page a header's or
// footer's range is asked about on, else 0.
void Information(DocumentState& state, const TextRange& range, int shownOnPage, int item,
                 VARIANT* result) {
    switch (item) {
        case kInfoActiveEndAdjustedPage:
        case kInfoActiveEndPage:
            ReturnInt(result, shownOnPage != 0 ? shownOnPage : state.layout.EndPage(range));
            return;
        case kInfoPageCount:
            ReturnInt(result, state.layout.PageCount());
            return;
        case kInfoHorizontal:
            ReturnFloat(result, static_cast<float>(state.layout.Start(range).x));
            return;
        case kInfoVertical:
            ReturnFloat(result, static_cast<float>(state.layout.TextTop(range)));
            return;
        default:
            FailWord(kWordCommandFailed, "This Information item is not available.");
    }
}

class PageSetupObject : public DispatchObject {
  public:
    PageSetupObject(State state, PageFormat format) : state_(std::move(state)), format_(format) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        switch (id) {
            case dispid::kPageSetupLeftMargin:
                ExpectProperty(flags, args);
                ReturnFloat(result, static_cast<float>(format_.leftMargin));
                return S_OK;
            case dispid::kPageSetupPageWidth:
                ExpectProperty(flags, args);
                ReturnFloat(result, static_cast<float>(format_.width));
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    State state_;
    PageFormat format_;
};

// Collections: Count under its own id, Item(i) 1-based, optionally Item(name).
class CollectionObject : public DispatchObject {
  public:
    CollectionObject(State state, DISPID countId) : state_(std::move(state)), countId_(countId) {}

  protected:
    virtual int Size() = 0;
    virtual ComPtr<IDispatch> At(int index) = 0;  // 0-based, in range
    virtual int IndexOfName(const std::string& /*name*/) { return -1; }

    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        if (id == countId_) {
            ExpectProperty(flags, args);
            ReturnInt(result, Size());
            return S_OK;
        }
        if (id != dispid::kItem) {
            return DISP_E_MEMBERNOTFOUND;
        }
        ExpectItem(flags, args);
        int index = -1;
        if (args.IsString(0)) {
            index = IndexOfName(args.String(0));
        } else {
            const int ordinal = args.Int(0);
            if (ordinal >= 1 && ordinal <= Size()) {
                index = ordinal - 1;
            }
        }
        if (index < 0) {
            FailWord(kWordNoSuchMember, "The requested member of the collection does not exist.");
        }
        ReturnObject(result, At(index));
        return S_OK;
    }

    State state_;

  private:
    DISPID countId_;
};

class FieldsObject;

// A range's list formatting: its number as shown (empty for a range that is no numbered heading).
class ListFormatObject : public DispatchObject {
  public:
    ListFormatObject(State state, std::u16string label)
        : state_(std::move(state)), label_(std::move(label)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        if (id != dispid::kListFormatListString) {
            return DISP_E_MEMBERNOTFOUND;
        }
        ExpectProperty(flags, args);
        ReturnString(result, std::u16string_view(label_));
        return S_OK;
    }

  private:
    State state_;
    std::u16string label_;
};

// A piece of the document: its text, its place on the pages, its fields. A range made from a
// field's code or result has text only.
class RangeObject : public DispatchObject {
  public:
    // listLabel: a numbered heading's number, which Word's ListFormat gives.
    RangeObject(State state, TextRange range, bool oneParagraph, bool paragraphMark = false,
                std::u16string listLabel = {})
        : state_(std::move(state)),
          range_(std::move(range)),
          listLabel_(std::move(listLabel)),
          oneParagraph_(oneParagraph),
          paragraphMark_(paragraphMark) {}
    RangeObject(State state, std::u16string text)
        : state_(std::move(state)), text_(std::move(text)) {}
    // A text hyperlink's text, which Word keeps as the result of the link's own field.
    RangeObject(State state, TextRange range, LinkTarget link, int shownOnPage = 0)
        : state_(std::move(state)),
          range_(std::move(range)),
          link_(std::move(link)),
          shownOnPage_(shownOnPage) {}
    // A field's result: its text as the field shows it, its place where it stands.
    RangeObject(State state, TextRange range, std::u16string text, int shownOnPage)
        : state_(std::move(state)),
          range_(std::move(range)),
          text_(std::move(text)),
          shownOnPage_(shownOnPage) {}
    // The one character of a picture in the line: on screen it is as big as the picture.
    RangeObject(State state, TextRange range, Reference<css::beans::XPropertySet> picture,
                int shownOnPage = 0)
        : state_(std::move(state)),
          range_(std::move(range)),
          picture_(std::move(picture)),
          shownOnPage_(shownOnPage) {}

    const TextRange& Range() const { return range_; }
    const Reference<css::beans::XPropertySet>& Picture() const { return picture_; }

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override;

  private:
    const TextRange& Laid() const {
        if (!range_.is()) {
            FailWord(kWordCommandFailed, "The range is not part of the document's text.");
        }
        return range_;
    }

    State state_;
    TextRange range_;
    std::optional<std::u16string> text_;
    Reference<css::beans::XPropertySet> picture_;
    std::u16string listLabel_;
    std::optional<LinkTarget> link_;
    bool oneParagraph_ = true;
    bool paragraphMark_ = false;
    int shownOnPage_ = 0;  // repeated text: the page it is asked about on
};

// A field: its code and result. A field of the document's own has a place: its result is
// where it stands (on shownOnPage for a header's or footer's).
class FieldObject : public DispatchObject {
  public:
    FieldObject(State state, FieldEntry field, int shownOnPage)
        : state_(std::move(state)), field_(std::move(field)), shownOnPage_(shownOnPage) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        switch (id) {
            case dispid::kFieldType:
                ExpectProperty(flags, args);
                ReturnInt(result, field_.type);
                return S_OK;
            case dispid::kFieldCode:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<RangeObject>(state_, field_.code));
                return S_OK;
            case dispid::kFieldResult:
                ExpectProperty(flags, args);
                ReturnObject(result, field_.anchor.is()
                                         ? MakeObject<RangeObject>(state_, field_.anchor,
                                                                   field_.result, shownOnPage_)
                                         : MakeObject<RangeObject>(state_, field_.result));
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    State state_;
    FieldEntry field_;
    int shownOnPage_;
};

class FieldsObject : public CollectionObject {
  public:
    FieldsObject(State state, std::vector<FieldEntry> fields, int shownOnPage = 0)
        : CollectionObject(std::move(state), dispid::kFieldsCount),
          fields_(std::move(fields)),
          shownOnPage_(shownOnPage) {}

  protected:
    int Size() override { return static_cast<int>(fields_.size()); }
    ComPtr<IDispatch> At(int index) override {
        return MakeObject<FieldObject>(state_, fields_[index], shownOnPage_);
    }

  private:
    std::vector<FieldEntry> fields_;
    int shownOnPage_;
};

HRESULT RangeObject::Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) {
    state_->CheckOpen();
    switch (id) {
        case dispid::kRangeText:
            ExpectProperty(flags, args);
            if (text_) {
                ReturnString(result, std::u16string_view(*text_));
            } else {
                std::u16string text = WordText(state_->Text(range_), oneParagraph_);
                if (paragraphMark_) {
                    text += u'\r';
                }
                ReturnString(result, std::u16string_view(text));
            }
            return S_OK;
        case dispid::kRangeSelect:
            ExpectMethod(flags, args, 0, 0);
            state_->selection = Laid();
            state_->selectionPage = shownOnPage_;
            return S_OK;
        case dispid::kRangeInformation:
            ExpectProperty(flags, args, 1, 1);
            Information(*state_, Laid(), shownOnPage_, args.Int(0), result);
            return S_OK;
        case dispid::kRangePageSetup: {
            ExpectProperty(flags, args);
            const int page = shownOnPage_ != 0 ? shownOnPage_ : state_->layout.Start(Laid()).page;
            ReturnObject(result,
                         MakeObject<PageSetupObject>(state_, state_->layout.FormatOfPage(page)));
            return S_OK;
        }
        case dispid::kRangeListFormat:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<ListFormatObject>(state_, listLabel_));
            return S_OK;
        case dispid::kRangeFields: {
            ExpectProperty(flags, args);
            std::vector<FieldEntry> fields =
                range_.is() ? state_->Fields(range_) : std::vector<FieldEntry>{};
            if (link_ && range_.is()) {
                fields =
                    LinkFields(*link_, WordText(state_->Text(range_), true), std::move(fields));
            }
            ReturnObject(result, MakeObject<FieldsObject>(state_, std::move(fields)));
            return S_OK;
        }
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

// ---- Shapes -----------------------------------------------------------------------------------

// A floating picture, frame or shape, placed on its page.
struct ShapeBox {
    double left = 0;  // points from the page's corner
    double top = 0;
    double width = 0;
    double height = 0;
};

// Where a floating object lies on its page, from its anchoring: its offsets count from the page,
// the page's text area, or the anchor's paragraph or line.
ShapeBox PlaceShape(DocumentState& state, const LinkEntry& link, const PagePlace& anchor) {
    namespace Rel = css::text::RelOrientation;
    const auto& object = link.object;
    ShapeBox box;
    box.width = Mm100ToPoints(PropertyOr<sal_Int32>(object, "Width", 0));
    box.height = Mm100ToPoints(PropertyOr<sal_Int32>(object, "Height", 0));
    const PageFormat page = state.layout.FormatOfPage(anchor.page);
    const sal_Int16 horiRelation = PropertyOr<sal_Int16>(object, "HoriOrientRelation", Rel::FRAME);
    const sal_Int16 vertRelation = PropertyOr<sal_Int16>(object, "VertOrientRelation", Rel::FRAME);
    const double horiOffset = Mm100ToPoints(PropertyOr<sal_Int32>(object, "HoriOrientPosition", 0));
    const double vertOffset = Mm100ToPoints(PropertyOr<sal_Int32>(object, "VertOrientPosition", 0));
    double baseX = anchor.x;
    if (horiRelation == Rel::PAGE_FRAME || horiRelation == Rel::PAGE_LEFT) {
        baseX = 0;
    } else if (horiRelation == Rel::PAGE_PRINT_AREA) {
        baseX = page.leftMargin;
    }
    double baseY = anchor.y;
    if (vertRelation == Rel::PAGE_FRAME) {
        baseY = 0;
    } else if (vertRelation == Rel::PAGE_PRINT_AREA) {
        baseY = Mm100ToPoints(PropertyOr<sal_Int32>(object, "TopMargin", 0));
    }
    const sal_Int16 hori =
        PropertyOr<sal_Int16>(object, "HoriOrient", css::text::HoriOrientation::NONE);
    box.left = baseX + (hori == css::text::HoriOrientation::NONE ? horiOffset : 0);
    const sal_Int16 vert =
        PropertyOr<sal_Int16>(object, "VertOrient", css::text::VertOrientation::NONE);
    box.top = baseY + (vert == css::text::VertOrientation::NONE ? vertOffset : 0);
    return box;
}

class ShapeObject : public DispatchObject {
  public:
    ShapeObject(State state, LinkEntry link) : state_(std::move(state)), link_(std::move(link)) {}

    ShapeBox Box() {
        const PagePlace anchor = state_->layout.Start(Anchor());
        return PlaceShape(*state_, link_, anchor);
    }

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        switch (id) {
            case dispid::kShapeAnchor:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<RangeObject>(state_, Anchor(), true));
                return S_OK;
            case dispid::kShapeLeft:
            case dispid::kShapeTop: {
                ExpectProperty(flags, args);
                // Counted from the anchor's position as Information(5)/(6) report it, less the
                // point by which Word's own offsets and positions differ.
                const PagePlace anchor = state_->layout.Start(Anchor());
                const ShapeBox box = PlaceShape(*state_, link_, anchor);
                const double offset = id == dispid::kShapeLeft
                                          ? box.left - anchor.x - 1
                                          : box.top - state_->layout.TextTop(Anchor()) - 1;
                ReturnFloat(result, static_cast<float>(offset));
                return S_OK;
            }
            case dispid::kShapeWidth:
            case dispid::kShapeHeight: {
                ExpectProperty(flags, args);
                const double size = PropertyOr<sal_Int32>(
                    link_.object, id == dispid::kShapeWidth ? "Width" : "Height", 0);
                ReturnFloat(result, static_cast<float>(Mm100ToPoints(size)));
                return S_OK;
            }
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    const TextRange& Anchor() const {
        if (!link_.range.is()) {
            FailWord(kWordCommandFailed, "The shape has no anchor in the text.");
        }
        return link_.range;
    }

    State state_;
    LinkEntry link_;
};

// ---- Hyperlinks, bookmarks, paragraphs --------------------------------------------------------

class HyperlinkObject : public DispatchObject {
  public:
    // shownOnPage: a header's or footer's link, on one of the pages showing it; else 0.
    HyperlinkObject(State state, LinkEntry link, int shownOnPage)
        : state_(std::move(state)), link_(std::move(link)), shownOnPage_(shownOnPage) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        switch (id) {
            case dispid::kHyperlinkAddress:
                ExpectProperty(flags, args);
                ReturnString(result, link_.target.address);
                return S_OK;
            case dispid::kHyperlinkName:
                ExpectProperty(flags, args);
                ReturnString(result, link_.target.name);
                return S_OK;
            case dispid::kHyperlinkSubAddress:
                ExpectProperty(flags, args);
                ReturnString(result, link_.target.subAddress);
                return S_OK;
            case dispid::kHyperlinkType:
                ExpectProperty(flags, args);
                ReturnInt(result, static_cast<int>(link_.kind));
                return S_OK;
            case dispid::kHyperlinkRange:
                ExpectProperty(flags, args);
                if (!link_.range.is()) {
                    FailWord(kWordCommandFailed, "The hyperlink has no range.");
                }
                if (link_.kind == LinkKind::InlinePicture) {
                    ReturnObject(result, MakeObject<RangeObject>(state_, link_.range, link_.object,
                                                                 shownOnPage_));
                } else {
                    ReturnObject(result, MakeObject<RangeObject>(state_, link_.range, link_.target,
                                                                 shownOnPage_));
                }
                return S_OK;
            case dispid::kHyperlinkShape:
                ExpectProperty(flags, args);
                if (link_.kind != LinkKind::Shape) {
                    FailWord(kWordCommandFailed, "The hyperlink is not on a shape.");
                }
                ReturnObject(result, MakeObject<ShapeObject>(state_, link_));
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    State state_;
    LinkEntry link_;
    int shownOnPage_;
};

// The body's hyperlinks, or a story's (story: its index in the document's stories), read when
// first asked about.
class HyperlinksObject : public CollectionObject {
  public:
    explicit HyperlinksObject(State state, std::optional<size_t> story = {}, int shownOnPage = 0)
        : CollectionObject(std::move(state), dispid::kHyperlinksCount),
          story_(story),
          shownOnPage_(shownOnPage) {}

  protected:
    int Size() override { return static_cast<int>(Links().size()); }
    ComPtr<IDispatch> At(int index) override {
        return MakeObject<HyperlinkObject>(state_, Links()[index], shownOnPage_);
    }

  private:
    const std::vector<LinkEntry>& Links() {
        return story_ ? state_->Stories().stories[*story_].links : state_->Links();
    }

    std::optional<size_t> story_;
    int shownOnPage_;
};

class BookmarkObject : public DispatchObject {
  public:
    BookmarkObject(State state, BookmarkEntry bookmark)
        : state_(std::move(state)), bookmark_(std::move(bookmark)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        switch (id) {
            case dispid::kBookmarkName:
                ExpectProperty(flags, args);
                ReturnString(result, std::u16string_view(bookmark_.name));
                return S_OK;
            case dispid::kBookmarkRange:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<RangeObject>(state_, bookmark_.range, false));
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    State state_;
    BookmarkEntry bookmark_;
};

class BookmarksObject : public CollectionObject {
  public:
    explicit BookmarksObject(State state)
        : CollectionObject(std::move(state), dispid::kBookmarksCount) {}

  protected:
    int Size() override { return static_cast<int>(state_->Bookmarks().size()); }
    ComPtr<IDispatch> At(int index) override {
        return MakeObject<BookmarkObject>(state_, state_->Bookmarks()[index]);
    }
    int IndexOfName(const std::string& name) override {
        const std::u16string wanted = platform::Utf8ToUtf16(name);
        const auto& all = state_->Bookmarks();
        for (size_t i = 0; i < all.size(); ++i) {
            if (all[i].name == wanted) {
                return static_cast<int>(i);
            }
        }
        return -1;
    }
};

class ParagraphObject : public DispatchObject {
  public:
    ParagraphObject(State state, ParagraphEntry paragraph)
        : state_(std::move(state)), paragraph_(std::move(paragraph)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        switch (id) {
            case dispid::kParagraphRange:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<RangeObject>(state_, paragraph_.range, true, true,
                                                             paragraph_.listLabel));
                return S_OK;
            case dispid::kParagraphOutlineLevel:
                ExpectProperty(flags, args);
                ReturnInt(result, paragraph_.outlineLevel);
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    State state_;
    ParagraphEntry paragraph_;
};

class ParagraphsObject : public CollectionObject {
  public:
    explicit ParagraphsObject(State state)
        : CollectionObject(std::move(state), dispid::kParagraphsCount) {}

  protected:
    int Size() override { return static_cast<int>(state_->Paragraphs().size()); }
    ComPtr<IDispatch> At(int index) override {
        return MakeObject<ParagraphObject>(state_, state_->Paragraphs()[index]);
    }
};

// ---- Notes and stories -------------------------------------------------------------------------

// A footnote or endnote: Range is its text, Reference its mark in the text.
class NoteObject : public DispatchObject {
  public:
    NoteObject(State state, NoteEntry note) : state_(std::move(state)), note_(std::move(note)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        static_assert(dispid::kFootnoteRange == dispid::kEndnoteRange &&
                      dispid::kFootnoteReference == dispid::kEndnoteReference);
        state_->CheckOpen();
        switch (id) {
            case dispid::kFootnoteRange:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<RangeObject>(state_, note_.text, false));
                return S_OK;
            case dispid::kFootnoteReference:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<RangeObject>(state_, note_.mark, true));
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    State state_;
    NoteEntry note_;
};

class NotesObject : public CollectionObject {
  public:
    NotesObject(State state, bool endnotes)
        : CollectionObject(std::move(state),
                           endnotes ? dispid::kEndnotesCount : dispid::kFootnotesCount),
          endnotes_(endnotes) {}

  protected:
    int Size() override { return static_cast<int>(Notes().size()); }
    ComPtr<IDispatch> At(int index) override {
        return MakeObject<NoteObject>(state_, Notes()[index]);
    }

  private:
    const std::vector<NoteEntry>& Notes() {
        return endnotes_ ? state_->Stories().endnotes : state_->Stories().footnotes;
    }

    bool endnotes_;
};

// One story as Word's story ranges give it: its hyperlinks and fields, and the next story of
// its type (a header or footer on the next page showing it).
class StoryObject : public DispatchObject {
  public:
    StoryObject(State state, size_t showing) : state_(std::move(state)), showing_(showing) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        const DocumentState::Showing showing = state_->Showings()[showing_];
        const StoryEntry& story = state_->Stories().stories[showing.story];
        switch (id) {
            case dispid::kRangeStoryType:
                ExpectProperty(flags, args);
                ReturnInt(result, static_cast<int>(story.type));
                return S_OK;
            case dispid::kRangeHyperlinks:
                ExpectProperty(flags, args);
                ReturnObject(result,
                             MakeObject<HyperlinksObject>(state_, showing.story, showing.page));
                return S_OK;
            case dispid::kRangeFields:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<FieldsObject>(state_, story.fields, showing.page));
                return S_OK;
            case dispid::kRangeNextStoryRange: {
                ExpectProperty(flags, args);
                const auto& all = state_->Showings();
                for (size_t next = showing_ + 1; next < all.size(); ++next) {
                    if (state_->Stories().stories[all[next].story].type == story.type) {
                        ReturnObject(result, MakeObject<StoryObject>(state_, next));
                        return S_OK;
                    }
                }
                ReturnObject(result, ComPtr<IDispatch>());  // Word's Nothing
                return S_OK;
            }
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    State state_;
    size_t showing_;
};

// Item(type): the first story of that type; Word's error for a type the document lacks.
class StoryRangesObject : public DispatchObject {
  public:
    explicit StoryRangesObject(State state) : state_(std::move(state)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        if (id != dispid::kItem) {
            return DISP_E_MEMBERNOTFOUND;
        }
        ExpectItem(flags, args);
        const int type = args.Int(0);
        const auto& all = state_->Showings();
        for (size_t i = 0; i < all.size(); ++i) {
            if (static_cast<int>(state_->Stories().stories[all[i].story].type) == type) {
                ReturnObject(result, MakeObject<StoryObject>(state_, i));
                return S_OK;
            }
        }
        FailWord(kWordNoSuchMember, "The requested member of the collection does not exist.");
    }

  private:
    State state_;
};

// ---- The window -------------------------------------------------------------------------------

class SelectionObject : public DispatchObject {
  public:
    explicit SelectionObject(State state) : state_(std::move(state)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        if (id != dispid::kSelectionInformation) {
            return DISP_E_MEMBERNOTFOUND;
        }
        ExpectProperty(flags, args, 1, 1);
        const int item = args.Int(0);
        TextRange selection = state_->selection;
        if (!selection.is()) {
            // Nothing selected yet: the insertion point at the start of the document.
            selection = Reference<css::text::XTextDocument>(state_->model, UNO_QUERY_THROW)
                            ->getText()
                            ->getStart();
        }
        Information(*state_, selection, state_->selectionPage, item, result);
        return S_OK;
    }

  private:
    State state_;
};

class WindowObject : public DispatchObject {
  public:
    explicit WindowObject(State state) : state_(std::move(state)) {}

  protected:
    HRESULT Call(DISPID id, WORD flags, const Arguments& args, VARIANT* result) override {
        state_->CheckOpen();
        switch (id) {
            case dispid::kWindowScrollIntoView: {
                ExpectMethod(flags, args, 1, 2);
                Measurable(args, 0);  // the view needs no scrolling to measure
                return S_OK;
            }
            case dispid::kWindowSelection:
                ExpectProperty(flags, args);
                ReturnObject(result, MakeObject<SelectionObject>(state_));
                return S_OK;
            case dispid::kWindowGetPoint:
                ExpectMethod(flags, args, 5, 5);
                GetPoint(args);
                return S_OK;
            default:
                return DISP_E_MEMBERNOTFOUND;
        }
    }

  private:
    DispatchObject* Measurable(const Arguments& args, UINT i) {
        DispatchObject* object = DispatchObject::From(args.Object(i));
        if (dynamic_cast<RangeObject*>(object) == nullptr &&
            dynamic_cast<ShapeObject*>(object) == nullptr) {
            Fail(DISP_E_TYPEMISMATCH, static_cast<int>(i));
        }
        return object;
    }

    // Writes the item's bounding box in pixels: left, top, width, height.
    void GetPoint(const Arguments& args) {
        DispatchObject* object = Measurable(args, 4);
        double left;
        double top;
        double width;
        double height;
        if (auto* range = dynamic_cast<RangeObject*>(object)) {
            if (!range->Range().is()) {
                FailWord(kWordCommandFailed, "The range is not on the screen.");
            }
            if (range->Picture().is()) {
                const PagePlace place = state_->layout.Start(range->Range());
                left = place.x;
                top = place.y;
                width = Mm100ToPoints(PropertyOr<sal_Int32>(range->Picture(), "Width", 0));
                height = Mm100ToPoints(PropertyOr<sal_Int32>(range->Picture(), "Height", 0));
            } else {
                const RangeExtent extent = state_->layout.Measure(range->Range());
                left = extent.left;
                top = extent.top;
                width = extent.right - extent.left;
                height = extent.bottom - extent.top;
            }
        } else {
            const ShapeBox box = static_cast<ShapeObject*>(object)->Box();
            left = box.left;
            top = box.top;
            width = box.width;
            height = box.height;
        }
        auto pixels = [](double points) {
            return static_cast<std::int32_t>(std::lround(points * kPixelsPerPoint));
        };
        args.SetOutInt(0, pixels(left));
        args.SetOutInt(1, pixels(top));
        args.SetOutInt(2, pixels(width));
        args.SetOutInt(3, pixels(height));
    }

    State state_;
};

}  // namespace

// ---- DocumentModel ----------------------------------------------------------------------------

DocumentModel::DocumentModel(const Reference<css::frame::XModel>& model, const std::string& path,
                             SnapshotSource source)
    : state_(std::make_shared<DocumentState>(model, path, std::move(source))) {}

DocumentModel::~DocumentModel() {
    state_->open = false;
    state_->selection.clear();
}

HRESULT DocumentModel::Member(DISPID id, WORD flags, const Arguments& args, VARIANT* result) {
    state_->CheckOpen();
    switch (id) {
        case dispid::kDocumentHyperlinks:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<HyperlinksObject>(state_));
            return S_OK;
        case dispid::kDocumentActiveWindow:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<WindowObject>(state_));
            return S_OK;
        case dispid::kDocumentBookmarks:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<BookmarksObject>(state_));
            return S_OK;
        case dispid::kDocumentParagraphs:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<ParagraphsObject>(state_));
            return S_OK;
        case dispid::kDocumentFootnotes:
        case dispid::kDocumentEndnotes:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<NotesObject>(state_, id == dispid::kDocumentEndnotes));
            return S_OK;
        case dispid::kDocumentFields:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<FieldsObject>(state_, state_->Stories().bodyFields));
            return S_OK;
        case dispid::kDocumentStoryRanges:
            ExpectProperty(flags, args);
            ReturnObject(result, MakeObject<StoryRangesObject>(state_));
            return S_OK;
        default:
            return DISP_E_MEMBERNOTFOUND;
    }
}

int DocumentModel::PageCount() {
    state_->CheckOpen();
    state_->Load();
    return state_->layout.PageCount();
}

}  // namespace word_model
