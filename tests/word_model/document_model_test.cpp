// The document model against LibreOffice: a document written for the purpose, converted by the
// office to .docx and .doc, read back through IDispatch as the conversion's harvest reads it, and
// held against the office's own PDF export of the same document measured with pdftotext.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>

#include "components/word/office/InOfficeSnapshot.h"
#include "components/word/model/DocumentModel.h"
#include "tests/word_model/harvest_probe.h"
#include "tests/word_model/office_session.h"
#include "tests/word_model/pdf_words.h"
#include "tests/word_model/test_document.h"

namespace word_model_test {
namespace {

using dispatch::Variant;
namespace fs = std::filesystem;

constexpr HRESULT kNoSuchMember = static_cast<HRESULT>(0x800A1735);
constexpr HRESULT kCommandFailed = static_cast<HRESULT>(0x800A1066);
constexpr char kProbeLibrary[] = TESSALINE_PROBE_LIBRARY;

// The document's Document object, reduced to the members the model answers.
class DocumentStandIn : public word_model::DispatchObject {
  public:
    explicit DocumentStandIn(word_model::DocumentModel& model) : model_(model) {}

  protected:
    HRESULT Call(DISPID dispId, WORD flags, const word_model::Arguments& args,
                 VARIANT* result) override {
        return model_.Member(dispId, flags, args, result);
    }

  private:
    word_model::DocumentModel& model_;
};

// One converted document, loaded, with the model over it and the words of its PDF export.
struct LoadedDocument {
    std::string path;
    css::uno::Reference<css::frame::XModel> model;
    std::unique_ptr<word_model::DocumentModel> documentModel;
    ComPtr<IDispatch> document;
    std::vector<PdfWord> words;

    ~LoadedDocument() {
        document.Reset();
        documentModel.reset();
        OfficeSession::Close(model);
    }
};

// Loads a document, builds its model and measures the office's PDF of it. With inOffice the
// model takes its content and layout from our probe in the office, as the component does;
// without, it reads them piece by piece through the pipe.
std::unique_ptr<LoadedDocument> LoadAndMeasure(OfficeSession& office, const std::string& path,
                                               bool inOffice, std::string* error) {
    auto loaded = std::make_unique<LoadedDocument>();
    loaded->path = path;
    loaded->model = office.Load(path);
    word_model::SnapshotSource source;
    if (inOffice) {
        css::uno::Reference<css::task::XJob> probe =
            word_component::ActivateSnapshotProbe(office.Context(), kProbeLibrary);
        if (!probe.is()) {
            *error = std::string("the office did not load ") + kProbeLibrary;
            return nullptr;
        }
        source = [probe](const css::uno::Reference<css::frame::XModel>& model) {
            return std::optional(word_component::RunSnapshotProbe(probe, model));
        };
    }
    loaded->documentModel =
        std::make_unique<word_model::DocumentModel>(loaded->model, path, std::move(source));
    loaded->document = word_model::MakeObject<DocumentStandIn>(*loaded->documentModel);
    const std::string pdf = path + ".pdf";
    OfficeSession::StoreTo(loaded->model, pdf, "writer_pdf_Export");
    std::optional<std::vector<PdfWord>> words = ReadPdfWords(pdf, error);
    if (!words) {
        return nullptr;
    }
    loaded->words = std::move(*words);
    return loaded;
}

std::string Strip(const std::string& text, char c) {
    std::string out = text;
    std::erase(out, c);
    return out;
}

// Every text link's harvest rectangle against the link's words in the PDF: same page, and the
// rectangle covers at least half of the words' box. Returns the number of links checked.
int CheckLinkRectangles(LoadedDocument& doc) {
    IDispatch* document = doc.document.Get();
    ComPtr<IDispatch> window = GetObject(document, id::kDocumentActiveWindow);
    ComPtr<IDispatch> links = GetObject(document, id::kDocumentHyperlinks);
    const LONG count = GetInt(links.Get(), id::kHyperlinksCount);
    int checked = 0;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IDispatch> link = Item(links.Get(), i);
        if (GetInt(link.Get(), id::kHyperlinkType) == 1) {
            continue;  // a floating shape: no words to hold it against
        }
        ComPtr<IDispatch> range = GetObject(link.Get(), id::kHyperlinkRange);
        std::string text = GetString(range.Get(), id::kRangeText);
        std::erase_if(text, [](char c) { return c == '\t' || c == '\r' || c == '\v'; });
        std::optional<LinkRect> rect = TextLinkRect(window.Get(), range.Get());
        SCOPED_TRACE("link " + std::to_string(i) + " \"" + text + "\" in " + doc.path);
        if (text.find_first_not_of(" \x01") == std::string::npos) {
            continue;  // a picture link: its text is no text
        }
        if (!rect) {
            ADD_FAILURE() << "GetPoint failed";
            continue;
        }
        // Text that stands more than once on the page is held against its nearest place.
        const std::vector<std::vector<Box>> places = FindText(doc.words, rect->page, text);
        if (places.empty()) {
            ADD_FAILURE() << "the link's text is not on page " << rect->page << " of the PDF";
            continue;
        }
        double covered = 0;
        Box best{};
        for (const std::vector<Box>& lines : places) {
            Box words = lines.front();
            for (const Box& line : lines) {
                words = Union(words, line);
            }
            const double share = Intersection(rect->box, words).Area() / words.Area();
            if (share >= covered) {
                covered = share;
                best = words;
            }
        }
        EXPECT_GE(covered, 0.5) << "harvest box " << rect->box.left << "," << rect->box.top << " - "
                                << rect->box.right << "," << rect->box.bottom << " PDF box "
                                << best.left << "," << best.top << " - " << best.right << ","
                                << best.bottom;
        ++checked;
    }
    return checked;
}

// Every heading's vertical position and page against its words in the PDF. Returns the number
// of headings checked.
int CheckHeadings(LoadedDocument& doc) {
    IDispatch* document = doc.document.Get();
    ComPtr<IDispatch> window = GetObject(document, id::kDocumentActiveWindow);
    ComPtr<IDispatch> paragraphs = GetObject(document, id::kDocumentParagraphs);
    const LONG count = GetInt(paragraphs.Get(), id::kParagraphsCount);
    int checked = 0;
    for (LONG p = 1; p <= count; ++p) {
        ComPtr<IDispatch> paragraph = Item(paragraphs.Get(), p);
        const LONG level = GetInt(paragraph.Get(), id::kParagraphOutlineLevel);
        if (level < 1 || level > 9) {
            continue;
        }
        ComPtr<IDispatch> range = GetObject(paragraph.Get(), id::kParagraphRange);
        const std::string text = Strip(GetString(range.Get(), id::kRangeText), '\r');
        if (text.empty()) {
            continue;
        }
        SCOPED_TRACE("heading \"" + text + "\" in " + doc.path);
        ComPtr<IDispatch> selection = SelectOnScreen(window.Get(), range.Get());
        const float y = SelectionPosition(selection.Get(), 6);
        const LONG page = PageOf(range.Get());
        const std::vector<std::vector<Box>> places = FindText(doc.words, page, text);
        if (places.empty()) {
            ADD_FAILURE() << "the heading is not on page " << page << " of the PDF";
            continue;
        }
        // The heading's own place: the one nearest in height (its text may stand in a table
        // of contents on the same page too).
        std::vector<Box> lines = places.front();
        for (const std::vector<Box>& place : places) {
            if (std::fabs(place.front().top - y) < std::fabs(lines.front().top - y)) {
                lines = place;
            }
        }
        // The top of the heading's text, Chinese and Japanese too (their fonts keep more room
        // above the glyphs than Latin ones, and the line's top lies that much higher).
        EXPECT_NEAR(y, lines.front().top, 2.0);
        ++checked;
    }
    return checked;
}

class WordModelDocument : public testing::TestWithParam<std::string> {
  protected:
    static void SetUpTestSuite() {
        office_ = OfficeSession::Get(&whyNot_);
        if (office_ == nullptr) {
            return;
        }
        source_ = MakeTestDocument();
        const fs::path folder = office_->Folder();
        std::ofstream(folder / source_.linkedFile) << "linked\n";
        const fs::path fodt = folder / "sample.fodt";
        std::ofstream(fodt) << source_.fodt;
        auto model = office_->Load(fodt.string());
        OfficeSession::StoreTo(model, (folder / "sample.docx").string(), "MS Word 2007 XML");
        OfficeSession::StoreTo(model, (folder / "sample.doc").string(), "MS Word 97");
        OfficeSession::Close(model);
    }
    static void TearDownTestSuite() {
        loaded_.clear();
        OfficeSession::Shutdown();
    }

    void SetUp() override {
        if (office_ == nullptr) {
            GTEST_SKIP() << "no office: " << whyNot_;
        }
        std::unique_ptr<LoadedDocument>& slot = loaded_[GetParam()];
        if (!slot) {
            std::string error;
            slot = LoadAndMeasure(*office_, (office_->Folder() / ("sample." + Format())).string(),
                                  InOffice(), &error);
            if (!slot) {
                GTEST_SKIP() << "cannot measure the PDF: " << error;
            }
        }
        doc_ = slot.get();
    }

    IDispatch* Document() { return doc_->document.Get(); }
    // The parameter: the file format, and "+probe" when the model reads through the probe.
    std::string Format() const { return GetParam().substr(0, GetParam().find('+')); }
    bool InOffice() const { return GetParam().ends_with("+probe"); }

    static inline OfficeSession* office_ = nullptr;
    static inline std::string whyNot_;
    static inline TestDocument source_;
    static inline std::map<std::string, std::unique_ptr<LoadedDocument>> loaded_;
    LoadedDocument* doc_ = nullptr;
};

TEST_P(WordModelDocument, ParagraphsInReadingOrderWithOutlineLevels) {
    ComPtr<IDispatch> paragraphs = GetObject(Document(), id::kDocumentParagraphs);
    const LONG count = GetInt(paragraphs.Get(), id::kParagraphsCount);
    std::vector<ExpectedHeading> headings;
    std::vector<std::string> texts;
    for (LONG p = 1; p <= count; ++p) {
        ComPtr<IDispatch> paragraph = Item(paragraphs.Get(), p);
        ComPtr<IDispatch> range = GetObject(paragraph.Get(), id::kParagraphRange);
        const std::string text = GetString(range.Get(), id::kRangeText);
        ASSERT_FALSE(text.empty());
        EXPECT_EQ(text.back(), '\r') << "paragraph " << p << " lacks its mark";
        const std::string bare = text.substr(0, text.size() - 1);
        texts.push_back(bare);
        const LONG level = GetInt(paragraph.Get(), id::kParagraphOutlineLevel);
        EXPECT_TRUE((level >= 1 && level <= 9) || level == 10) << level;
        if (level != 10) {
            headings.push_back({static_cast<int>(level), bare, {}});
        }
    }
    ASSERT_EQ(headings.size(), source_.headings.size());
    for (size_t i = 0; i < headings.size(); ++i) {
        EXPECT_EQ(headings[i].level, source_.headings[i].level) << source_.headings[i].text;
        EXPECT_EQ(headings[i].text, source_.headings[i].text);
    }
    // Body paragraphs, table cells included, come in the source's order.
    auto at = texts.begin();
    for (const std::string& wanted : source_.bodyParagraphs) {
        at = std::find(at, texts.end(), wanted);
        EXPECT_NE(at, texts.end()) << "\"" << wanted << "\" missing or out of order";
    }
    EXPECT_EQ(FailureOf(paragraphs.Get(), id::kItem, DISPATCH_METHOD, {Variant::Int32(count + 1)}),
              kNoSuchMember);
    EXPECT_EQ(FailureOf(paragraphs.Get(), id::kItem, DISPATCH_METHOD, {Variant::Int32(0)}),
              kNoSuchMember);
}

TEST_P(WordModelDocument, HyperlinksInOrderWithWordsTargets) {
    ComPtr<IDispatch> links = GetObject(Document(), id::kDocumentHyperlinks);
    const LONG count = GetInt(links.Get(), id::kHyperlinksCount);
    // The office's .doc export drops the links on pictures; every other link must be there,
    // in the source's order.
    const bool picturesKept = Format() == "docx";
    size_t next = 0;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IDispatch> link = Item(links.Get(), i);
        while (!picturesKept && next < source_.links.size() && source_.links[next].type != 0) {
            ++next;
        }
        ASSERT_LT(next, source_.links.size()) << "more links than the source has";
        const ExpectedLink& wanted = source_.links[next++];
        SCOPED_TRACE(wanted.url);
        const std::string address = GetString(link.Get(), id::kHyperlinkAddress);
        const std::string name = GetString(link.Get(), id::kHyperlinkName);
        const std::string sub = GetString(link.Get(), id::kHyperlinkSubAddress);
        EXPECT_EQ(GetInt(link.Get(), id::kHyperlinkType), wanted.type);
        if (wanted.url.starts_with('#')) {
            EXPECT_EQ(address, "");
            EXPECT_EQ(sub, wanted.url.substr(1));
        } else if (wanted.url.find(':') == std::string::npos) {
            // A file beside the document: its path, the same in Address and Name.
            EXPECT_EQ(fs::path(address), office_->Folder() / wanted.url);
            EXPECT_EQ(name, address);
        } else {
            EXPECT_EQ(address, wanted.url);
            EXPECT_EQ(name, "");
            EXPECT_EQ(sub, "");
        }
        if (wanted.type == 1) {
            ComPtr<IDispatch> shape = GetObject(link.Get(), id::kHyperlinkShape);
            EXPECT_NEAR(GetFloat(shape.Get(), id::kShapeWidth), 3 / 2.54 * 72, 1.0);
            EXPECT_NEAR(GetFloat(shape.Get(), id::kShapeHeight), 2 / 2.54 * 72, 1.0);
            GetObject(shape.Get(), id::kShapeAnchor);
        } else {
            EXPECT_EQ(FailureOf(link.Get(), id::kHyperlinkShape, DISPATCH_PROPERTYGET),
                      kCommandFailed);
            ComPtr<IDispatch> range = GetObject(link.Get(), id::kHyperlinkRange);
            if (!wanted.text.empty()) {
                EXPECT_EQ(GetString(range.Get(), id::kRangeText), wanted.text);
            }
        }
    }
    while (!picturesKept && next < source_.links.size() && source_.links[next].type != 0) {
        ++next;
    }
    EXPECT_EQ(next, source_.links.size()) << "links missing";
}

TEST_P(WordModelDocument, TextLinksLandOnTheirWordsInThePdf) {
    EXPECT_GT(CheckLinkRectangles(*doc_), 8);
}

// A link that runs onto the next line: GetPoint's box takes in both lines, so the harvest's
// rectangle spans the text column and covers the words of each line, not only the first.
TEST_P(WordModelDocument, WrappingLinkCoversEachOfItsLines) {
    ComPtr<IDispatch> window = GetObject(Document(), id::kDocumentActiveWindow);
    ComPtr<IDispatch> links = GetObject(Document(), id::kDocumentHyperlinks);
    const LONG count = GetInt(links.Get(), id::kHyperlinksCount);
    int checked = 0;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IDispatch> link = Item(links.Get(), i);
        if (GetInt(link.Get(), id::kHyperlinkType) != 0) {
            continue;
        }
        ComPtr<IDispatch> range = GetObject(link.Get(), id::kHyperlinkRange);
        if (GetString(range.Get(), id::kRangeText) != source_.wrappingLink) {
            continue;
        }
        std::optional<Pixels> pixels = GetPoint(window.Get(), range.Get());
        std::optional<LinkRect> rect = TextLinkRect(window.Get(), range.Get());
        ASSERT_TRUE(pixels && rect);
        const std::vector<std::vector<Box>> places =
            FindText(doc_->words, rect->page, source_.wrappingLink);
        ASSERT_EQ(places.size(), 1u);
        const std::vector<Box>& lines = places.front();
        ASSERT_EQ(lines.size(), 2u) << "the link should wrap once in the PDF";
        // Two lines high, and as wide as the column the second line starts at the left of.
        const double widthPoints = pixels->width * 72.0 / 96;
        const double heightPoints = pixels->height * 72.0 / 96;
        EXPECT_GE(widthPoints, lines[0].right - lines[1].left - 2);
        EXPECT_GE(heightPoints, lines[1].bottom - lines[0].top - 4);
        for (const Box& line : lines) {
            EXPECT_GE(Intersection(rect->box, line).Area(), 0.5 * line.Area())
                << "harvest box " << rect->box.left << "," << rect->box.top << " - "
                << rect->box.right << "," << rect->box.bottom << " line " << line.left << ","
                << line.top << " - " << line.right << "," << line.bottom;
        }
        ++checked;
    }
    EXPECT_EQ(checked, 1);
}

TEST_P(WordModelDocument, HeadingsLandOnTheirWordsInThePdf) {
    EXPECT_EQ(CheckHeadings(*doc_), static_cast<int>(source_.headings.size()));
}

TEST_P(WordModelDocument, PictureLinksLandOnTheirPictures) {
    if (Format() != "docx") {
        GTEST_SKIP() << "the office's .doc export drops the links on pictures";
    }
    ComPtr<IDispatch> window = GetObject(Document(), id::kDocumentActiveWindow);
    ComPtr<IDispatch> links = GetObject(Document(), id::kDocumentHyperlinks);
    const LONG count = GetInt(links.Get(), id::kHyperlinksCount);
    int checked = 0;
    for (LONG i = 1; i <= count; ++i) {
        ComPtr<IDispatch> link = Item(links.Get(), i);
        const LONG type = GetInt(link.Get(), id::kHyperlinkType);
        if (type == 0) {
            continue;
        }
        SCOPED_TRACE("picture link of type " + std::to_string(type));
        std::optional<LinkRect> rect =
            type == 1
                ? ShapeLinkRect(window.Get(), link.Get())
                : TextLinkRect(window.Get(), GetObject(link.Get(), id::kHyperlinkRange).Get());
        ASSERT_TRUE(rect.has_value());
        // The inline picture is red, the floating one blue.
        const Rgb colour = type == 2 ? Rgb{255, 0, 0} : Rgb{0, 0, 255};
        std::optional<Box> picture =
            ColouredArea(doc_->path + ".pdf", rect->page, colour, office_->Folder().string());
        if (!picture) {
            GTEST_SKIP() << "pdftoppm is missing or the picture is not on page " << rect->page;
        }
        const double covered = Intersection(rect->box, *picture).Area() / picture->Area();
        EXPECT_GE(covered, 0.5) << "harvest box " << rect->box.left << "," << rect->box.top << " - "
                                << rect->box.right << "," << rect->box.bottom << " picture "
                                << picture->left << "," << picture->top << " - " << picture->right
                                << "," << picture->bottom;
        ++checked;
    }
    EXPECT_EQ(checked, 2);
}

TEST_P(WordModelDocument, BookmarkLinkFindsItsTarget) {
    ComPtr<IDispatch> bookmarks = GetObject(Document(), id::kDocumentBookmarks);
    const LONG count = GetInt(bookmarks.Get(), id::kBookmarksCount);
    bool found = false;
    for (LONG b = 1; b <= count; ++b) {
        ComPtr<IDispatch> bookmark = Item(bookmarks.Get(), b);
        if (GetString(bookmark.Get(), id::kBookmarkName) != source_.bookmark) {
            continue;
        }
        found = true;
        ComPtr<IDispatch> range = GetObject(bookmark.Get(), id::kBookmarkRange);
        EXPECT_EQ(GetString(range.Get(), id::kRangeText), source_.bookmarkText);
        ComPtr<IDispatch> window = GetObject(Document(), id::kDocumentActiveWindow);
        ComPtr<IDispatch> selection = SelectOnScreen(window.Get(), range.Get());
        const float y = SelectionPosition(selection.Get(), 6);
        const LONG page = PageOf(range.Get());
        const std::vector<std::vector<Box>> places =
            FindText(doc_->words, page, source_.bookmarkText);
        ASSERT_EQ(places.size(), 1u) << "on page " << page;
        EXPECT_NEAR(y, places.front().front().top, 2.0);
    }
    EXPECT_TRUE(found);
    // By name too; an unknown name is Word's "no such member".
    std::vector<Variant> byName{Variant::String(source_.bookmark)};
    ComPtr<IDispatch> named =
        dispatch::Invoke(bookmarks.Get(), id::kItem, DISPATCH_METHOD, byName).AsDispatch();
    EXPECT_EQ(GetString(named.Get(), id::kBookmarkName), source_.bookmark);
    EXPECT_EQ(FailureOf(bookmarks.Get(), id::kItem, DISPATCH_METHOD,
                        {Variant::String("no such bookmark")}),
              kNoSuchMember);
}

TEST_P(WordModelDocument, PageReferenceInALinkIsItsField) {
    ComPtr<IDispatch> links = GetObject(Document(), id::kDocumentHyperlinks);
    const LONG count = GetInt(links.Get(), id::kHyperlinksCount);
    ComPtr<IDispatch> fields;
    for (LONG i = 1; i <= count && !fields; ++i) {
        ComPtr<IDispatch> link = Item(links.Get(), i);
        if (GetInt(link.Get(), id::kHyperlinkType) != 0) {
            continue;
        }
        ComPtr<IDispatch> range = GetObject(link.Get(), id::kHyperlinkRange);
        if (GetString(range.Get(), id::kRangeText).starts_with(source_.pageReferenceLink)) {
            fields = GetObject(range.Get(), id::kRangeFields);
        }
    }
    ASSERT_TRUE(fields) << "no link with a page reference";
    // Word lists the link's own HYPERLINK field first, its result the link's whole text.
    ASSERT_EQ(GetInt(fields.Get(), id::kFieldsCount), 2);
    ComPtr<IDispatch> own = Item(fields.Get(), 1);
    EXPECT_TRUE(GetString(GetObject(own.Get(), id::kFieldCode).Get(), id::kRangeText)
                    .starts_with(" HYPERLINK "));
    EXPECT_TRUE(GetString(GetObject(own.Get(), id::kFieldResult).Get(), id::kRangeText)
                    .starts_with(source_.pageReferenceLink));
    ComPtr<IDispatch> field = Item(fields.Get(), 2);
    const std::string code =
        GetString(GetObject(field.Get(), id::kFieldCode).Get(), id::kRangeText);
    const std::string result =
        GetString(GetObject(field.Get(), id::kFieldResult).Get(), id::kRangeText);
    EXPECT_EQ(code, " PAGEREF " + source_.bookmark + " \\h ");
    // The result is the page the bookmark is on.
    std::vector<Variant> name{Variant::String(source_.bookmark)};
    ComPtr<IDispatch> bookmark =
        dispatch::Invoke(GetObject(Document(), id::kDocumentBookmarks).Get(), id::kItem,
                         DISPATCH_METHOD, name)
            .AsDispatch();
    EXPECT_EQ(result, std::to_string(PageOf(GetObject(bookmark.Get(), id::kBookmarkRange).Get())));
    EXPECT_EQ(FailureOf(fields.Get(), id::kItem, DISPATCH_METHOD, {Variant::Int32(3)}),
              kNoSuchMember);
}

TEST_P(WordModelDocument, PageInformationAndPageSetup) {
    ComPtr<IDispatch> paragraphs = GetObject(Document(), id::kDocumentParagraphs);
    ComPtr<IDispatch> last = Item(paragraphs.Get(), GetInt(paragraphs.Get(), id::kParagraphsCount));
    ComPtr<IDispatch> range = GetObject(last.Get(), id::kParagraphRange);
    EXPECT_EQ(PageOf(range.Get()), source_.pages);
    EXPECT_EQ(dispatch::Get(range.Get(), id::kRangeInformation, {Variant::Int32(4)}).AsInt(),
              source_.pages);
    EXPECT_EQ(dispatch::Get(range.Get(), id::kRangeInformation, {Variant::Int32(1)}).AsInt(),
              source_.pages);
    ComPtr<IDispatch> setup = GetObject(range.Get(), id::kRangePageSetup);
    EXPECT_NEAR(GetFloat(setup.Get(), id::kPageSetupPageWidth), source_.lastPageWidth, 0.5);
    EXPECT_NEAR(GetFloat(setup.Get(), id::kPageSetupLeftMargin), source_.lastLeftMargin, 0.5);
    // The first page's own setup.
    ComPtr<IDispatch> firstRange = GetObject(Item(paragraphs.Get(), 1).Get(), id::kParagraphRange);
    ComPtr<IDispatch> firstSetup = GetObject(firstRange.Get(), id::kRangePageSetup);
    EXPECT_NEAR(GetFloat(firstSetup.Get(), id::kPageSetupPageWidth), 21.59 / 2.54 * 72, 0.5);
    EXPECT_NEAR(GetFloat(firstSetup.Get(), id::kPageSetupLeftMargin), 2.5 / 2.54 * 72, 0.5);
    EXPECT_EQ(doc_->documentModel->PageCount(), source_.pages);
}

TEST_P(WordModelDocument, GetPointFailsForTextWithoutLayout) {
    ComPtr<IDispatch> window = GetObject(Document(), id::kDocumentActiveWindow);
    ComPtr<IDispatch> paragraphs = GetObject(Document(), id::kDocumentParagraphs);
    const LONG count = GetInt(paragraphs.Get(), id::kParagraphsCount);
    bool sawHidden = false;
    for (LONG p = 1; p <= count; ++p) {
        ComPtr<IDispatch> range = GetObject(Item(paragraphs.Get(), p).Get(), id::kParagraphRange);
        if (Strip(GetString(range.Get(), id::kRangeText), '\r') != source_.hiddenText) {
            continue;
        }
        sawHidden = true;
        EXPECT_FALSE(GetPoint(window.Get(), range.Get()).has_value());
    }
    EXPECT_TRUE(sawHidden);
    // Headers repeat on every page: Word measures nothing in them.
    std::vector<Variant> name{Variant::String(source_.headerBookmark)};
    ComPtr<IDispatch> inHeader =
        dispatch::Invoke(GetObject(Document(), id::kDocumentBookmarks).Get(), id::kItem,
                         DISPATCH_METHOD, name)
            .AsDispatch();
    ComPtr<IDispatch> headerRange = GetObject(inHeader.Get(), id::kBookmarkRange);
    EXPECT_EQ(GetString(headerRange.Get(), id::kRangeText), "Running head");
    EXPECT_FALSE(GetPoint(window.Get(), headerRange.Get()).has_value());
    // A field's code is text only, with no place on the pages.
    ComPtr<IDispatch> links = GetObject(Document(), id::kDocumentHyperlinks);
    ComPtr<IDispatch> linkRange = GetObject(Item(links.Get(), 1).Get(), id::kHyperlinkRange);
    ComPtr<IDispatch> fields = GetObject(linkRange.Get(), id::kRangeFields);
    EXPECT_GE(GetInt(fields.Get(), id::kFieldsCount), 0);
}

TEST_P(WordModelDocument, ArgumentErrorsAsWordGivesThem) {
    ComPtr<IDispatch> window = GetObject(Document(), id::kDocumentActiveWindow);
    ComPtr<IDispatch> links = GetObject(Document(), id::kDocumentHyperlinks);
    EXPECT_EQ(
        FailureOf(links.Get(), id::kHyperlinksCount, DISPATCH_PROPERTYGET, {Variant::Int32(1)}),
        DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(FailureOf(links.Get(), id::kHyperlinksCount, DISPATCH_PROPERTYPUT),
              DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(FailureOf(links.Get(), 999, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
    EXPECT_EQ(FailureOf(links.Get(), id::kItem, DISPATCH_METHOD, {Variant::String("x")}),
              kNoSuchMember);
    EXPECT_EQ(FailureOf(window.Get(), id::kWindowGetPoint, DISPATCH_METHOD,
                        {Variant::Int32(0), Variant::Int32(0), Variant::Int32(0), Variant::Int32(0),
                         Variant::Int32(7)}),
              DISP_E_TYPEMISMATCH);
    EXPECT_EQ(FailureOf(window.Get(), id::kWindowGetPoint, DISPATCH_METHOD, {Variant::Int32(0)}),
              DISP_E_BADPARAMCOUNT);
    EXPECT_EQ(FailureOf(Document(), 3, DISPATCH_PROPERTYGET), DISP_E_MEMBERNOTFOUND);
}

INSTANTIATE_TEST_SUITE_P(Formats, WordModelDocument,
                         testing::Values("docx", "doc", "docx+probe", "doc+probe"));

TEST(WordModelDocumentLifetime, ObjectsOfAClosedDocumentReportDisconnection) {
    std::string whyNot;
    OfficeSession* office = OfficeSession::Get(&whyNot);
    if (office == nullptr) {
        GTEST_SKIP() << "no office: " << whyNot;
    }
    const fs::path fodt = office->Folder() / "lifetime.fodt";
    std::ofstream(fodt) << MakeTestDocument().fodt;
    auto model = office->Load(fodt.string());
    ComPtr<IDispatch> links;
    {
        word_model::DocumentModel documentModel(model, fodt.string());
        ComPtr<IDispatch> document = word_model::MakeObject<DocumentStandIn>(documentModel);
        links = GetObject(document.Get(), id::kDocumentHyperlinks);
        EXPECT_GT(GetInt(links.Get(), id::kHyperlinksCount), 0);
    }
    EXPECT_EQ(FailureOf(links.Get(), id::kHyperlinksCount, DISPATCH_PROPERTYGET),
              word_model::kDisconnected);
    OfficeSession::Close(model);
}

}  // namespace
}  // namespace word_model_test

namespace word_model_test {
namespace {

// The project's example documents, when they are there.
std::vector<fs::path> ExampleDocuments() {
    std::vector<fs::path> documents;
    const fs::path folder = fs::path(TESSALINE_SOURCE_DIR) / "examples";
    if (!fs::is_directory(folder)) {
        return documents;
    }
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        const std::string extension = entry.path().extension().string();
        if (entry.is_regular_file() && (extension == ".docx" || extension == ".doc") &&
            entry.path().parent_path().filename() != "sources") {
            documents.push_back(entry.path());
        }
    }
    std::sort(documents.begin(), documents.end());
    return documents;
}

TEST(WordModelExamples, LinksAndHeadingsLandOnTheirWordsInThePdf) {
    std::string whyNot;
    OfficeSession* office = OfficeSession::Get(&whyNot);
    if (office == nullptr) {
        GTEST_SKIP() << "no office: " << whyNot;
    }
    const std::vector<fs::path> examples = ExampleDocuments();
    if (examples.empty()) {
        GTEST_SKIP() << "no example documents in " << TESSALINE_SOURCE_DIR << "/examples";
    }
    int links = 0;
    int headings = 0;
    for (const fs::path& example : examples) {
        SCOPED_TRACE(example.string());
        // A copy, so the office's PDF lands in our folder and the example stays as it is.
        const fs::path copy = office->Folder() / ("example-" + example.filename().string());
        fs::copy_file(example, copy, fs::copy_options::overwrite_existing);
        std::string error;
        // Read as the component reads them: through the probe in the office.
        std::unique_ptr<LoadedDocument> doc =
            LoadAndMeasure(*office, copy.string(), /*inOffice=*/true, &error);
        ASSERT_TRUE(doc) << error;
        try {
            links += CheckLinkRectangles(*doc);
            headings += CheckHeadings(*doc);
        } catch (const _com_error& e) {
            ADD_FAILURE() << "call failed: " << e.ErrorMessage();
        }
    }
    EXPECT_GT(links, 0);
    EXPECT_GT(headings, 0);
}

}  // namespace
}  // namespace word_model_test
