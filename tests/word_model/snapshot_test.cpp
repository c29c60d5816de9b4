// The document's snapshot: taken by our probe inside the office it must say exactly what the
// same readers say through the pipe, and a packed snapshot reads back as it was, or not at all.
#include <cctype>
#include <filesystem>
#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include <com/sun/star/frame/Desktop.hpp>
#include <com/sun/star/frame/XFrames.hpp>
#include <com/sun/star/frame/XFramesSupplier.hpp>
#include <com/sun/star/uno/Sequence.hxx>

#include "components/word/model/DocumentSnapshot.h"
#include "components/word/model/Uno.h"
#include "components/word/office/HiddenFrame.h"
#include "components/word/office/InOfficeSnapshot.h"
#include "tests/word_model/office_session.h"

namespace word_model_test {
namespace {

namespace fs = std::filesystem;
using word_model::DocumentSnapshot;
using word_model::MeasuredRange;

void ExpectSamePlace(const word_model::PagePlace& a, const word_model::PagePlace& b) {
    EXPECT_EQ(a.page, b.page);
    EXPECT_NEAR(a.x, b.x, 0.01);
    EXPECT_NEAR(a.y, b.y, 0.01);
}

void ExpectSameMeasure(const std::optional<MeasuredRange>& a,
                       const std::optional<MeasuredRange>& b) {
    ASSERT_EQ(a.has_value(), b.has_value());
    if (!a) {
        return;
    }
    ASSERT_EQ(a->laidOut, b->laidOut);
    if (!a->laidOut) {
        return;
    }
    ExpectSamePlace(a->start, b->start);
    ExpectSamePlace(a->end, b->end);
    EXPECT_NEAR(a->textTop, b->textTop, 0.01);
    ASSERT_EQ(a->extent.has_value(), b->extent.has_value());
    if (a->extent) {
        ExpectSamePlace(a->extent->start, b->extent->start);
        EXPECT_EQ(a->extent->endPage, b->extent->endPage);
        EXPECT_NEAR(a->extent->left, b->extent->left, 0.01);
        EXPECT_NEAR(a->extent->top, b->extent->top, 0.01);
        EXPECT_NEAR(a->extent->right, b->extent->right, 0.01);
        EXPECT_NEAR(a->extent->bottom, b->extent->bottom, 0.01);
    }
}

void ExpectSameSnapshot(const DocumentSnapshot& a, const DocumentSnapshot& b) {
    ASSERT_EQ(a.pages.size(), b.pages.size());
    for (std::size_t i = 0; i < a.pages.size(); ++i) {
        EXPECT_NEAR(a.pages[i].top, b.pages[i].top, 0.01);
        EXPECT_NEAR(a.pages[i].format.width, b.pages[i].format.width, 0.01);
        EXPECT_NEAR(a.pages[i].format.height, b.pages[i].format.height, 0.01);
        EXPECT_NEAR(a.pages[i].format.leftMargin, b.pages[i].format.leftMargin, 0.01);
        EXPECT_NEAR(a.pages[i].format.topMargin, b.pages[i].format.topMargin, 0.01);
        EXPECT_EQ(a.pages[i].viewPage, b.pages[i].viewPage);
    }
    ASSERT_EQ(a.paragraphs.size(), b.paragraphs.size());
    for (std::size_t i = 0; i < a.paragraphs.size(); ++i) {
        SCOPED_TRACE("paragraph " + std::to_string(i + 1));
        EXPECT_EQ(a.paragraphs[i].entry.outlineLevel, b.paragraphs[i].entry.outlineLevel);
        EXPECT_TRUE(a.paragraphs[i].entry.listLabel == b.paragraphs[i].entry.listLabel);
        EXPECT_TRUE(a.paragraphs[i].text == b.paragraphs[i].text);
        ExpectSameMeasure(a.paragraphs[i].measured, b.paragraphs[i].measured);
    }
    ASSERT_EQ(a.links.size(), b.links.size());
    for (std::size_t i = 0; i < a.links.size(); ++i) {
        SCOPED_TRACE("link " + std::to_string(i + 1));
        const auto& x = a.links[i];
        const auto& y = b.links[i];
        EXPECT_EQ(x.entry.target.address, y.entry.target.address);
        EXPECT_EQ(x.entry.target.subAddress, y.entry.target.subAddress);
        EXPECT_EQ(x.entry.target.name, y.entry.target.name);
        EXPECT_EQ(x.entry.kind, y.entry.kind);
        EXPECT_EQ(x.entry.range.is(), y.entry.range.is());
        EXPECT_EQ(x.entry.object.is(), y.entry.object.is());
        EXPECT_TRUE(x.text == y.text);
        ASSERT_EQ(x.fields.has_value(), y.fields.has_value());
        if (x.fields) {
            ASSERT_EQ(x.fields->size(), y.fields->size());
            for (std::size_t f = 0; f < x.fields->size(); ++f) {
                EXPECT_TRUE((*x.fields)[f].code == (*y.fields)[f].code);
                EXPECT_TRUE((*x.fields)[f].result == (*y.fields)[f].result);
            }
        }
        ExpectSameMeasure(x.measured, y.measured);
    }
    ASSERT_EQ(a.bookmarks.size(), b.bookmarks.size());
    for (std::size_t i = 0; i < a.bookmarks.size(); ++i) {
        SCOPED_TRACE("bookmark " + std::to_string(i + 1));
        EXPECT_TRUE(a.bookmarks[i].entry.name == b.bookmarks[i].entry.name);
        ExpectSameMeasure(a.bookmarks[i].measured, b.bookmarks[i].measured);
    }
    EXPECT_EQ(a.stories.footnotes.size(), b.stories.footnotes.size());
    EXPECT_EQ(a.stories.endnotes.size(), b.stories.endnotes.size());
    const auto sameFields = [](const auto& x, const auto& y) {
        ASSERT_EQ(x.size(), y.size());
        for (std::size_t f = 0; f < x.size(); ++f) {
            EXPECT_TRUE(x[f].code == y[f].code);
            EXPECT_EQ(x[f].type, y[f].type);
            EXPECT_EQ(x[f].anchor.is(), y[f].anchor.is());
        }
    };
    sameFields(a.stories.bodyFields, b.stories.bodyFields);
    ASSERT_EQ(a.stories.stories.size(), b.stories.stories.size());
    for (std::size_t i = 0; i < a.stories.stories.size(); ++i) {
        SCOPED_TRACE("story " + std::to_string(i + 1));
        const auto& x = a.stories.stories[i];
        const auto& y = b.stories.stories[i];
        EXPECT_EQ(x.type, y.type);
        EXPECT_EQ(x.pages, y.pages);
        ASSERT_EQ(x.links.size(), y.links.size());
        for (std::size_t l = 0; l < x.links.size(); ++l) {
            EXPECT_EQ(x.links[l].target.address, y.links[l].target.address);
            EXPECT_EQ(x.links[l].object.is(), y.links[l].object.is());
        }
        sameFields(x.fields, y.fields);
    }
    ASSERT_EQ(a.storyRanges.size(), b.storyRanges.size());
    for (std::size_t i = 0; i < a.storyRanges.size(); ++i) {
        SCOPED_TRACE("story range " + std::to_string(i + 1));
        EXPECT_EQ(a.storyRanges[i].repeated, b.storyRanges[i].repeated);
        ExpectSameMeasure(a.storyRanges[i].measured, b.storyRanges[i].measured);
    }
}

// The office and our probe in it; without an office the tests are skipped.
template <class Base>
class WithProbe : public Base {
  protected:
    void SetUp() override {
        std::string whyNot;
        office = OfficeSession::Get(&whyNot);
        if (office == nullptr) {
            GTEST_SKIP() << "no office: " << whyNot;
        }
        probe = word_component::ActivateSnapshotProbe(office->Context(), TESSALINE_PROBE_LIBRARY);
        ASSERT_TRUE(probe.is()) << "the office did not load " << TESSALINE_PROBE_LIBRARY;
    }
    OfficeSession* office = nullptr;
    css::uno::Reference<css::task::XJob> probe;
};

class InOfficeSnapshot : public WithProbe<testing::TestWithParam<std::string>> {};
class InOfficeLoad : public WithProbe<testing::Test> {};

TEST_P(InOfficeSnapshot, SaysWhatTheSameReadersSayThroughThePipe) {
    const fs::path document = fs::path(TESSALINE_SOURCE_DIR) / "examples" / GetParam();
    css::uno::Reference<css::frame::XModel> model = office->Load(document.string());

    const DocumentSnapshot inside = word_component::RunSnapshotProbe(probe, model);
    const DocumentSnapshot outside = word_model::TakeSnapshot(model);
    EXPECT_FALSE(inside.paragraphs.empty());
    ExpectSameSnapshot(inside, outside);

    // The export rides along when asked, into the file named.
    const fs::path pdf = office->Folder() / (GetParam() + ".pdf");
    std::string exportError;
    css::uno::Sequence<css::beans::PropertyValue> arguments(1);
    arguments.getArray()[0].Name = "FilterName";
    arguments.getArray()[0].Value <<= rtl::OUString("writer_pdf_Export");
    word_component::RunSnapshotProbe(probe, model, FileUrl(pdf.string()), arguments, &exportError);
    EXPECT_EQ(exportError, "");
    EXPECT_GT(fs::exists(pdf) ? fs::file_size(pdf) : 0, 1000u);
    // A place the office cannot write to (under a plain file) fails the export only, with the
    // office's reason.
    const fs::path plainFile = office->Folder() / "plain-file";
    std::ofstream(plainFile) << "not a folder\n";
    const DocumentSnapshot again = word_component::RunSnapshotProbe(
        probe, model, FileUrl((plainFile / "x.pdf").string()), arguments, &exportError);
    EXPECT_NE(exportError, "");
    EXPECT_EQ(again.paragraphs.size(), inside.paragraphs.size());
    OfficeSession::Close(model);
}

// Documents with headings and a table of contents, tables, pictures and shapes, Chinese text,
// notes, cross-references, numbered headings and links in a header, a footer and a text box;
// the long manual is left out, as reading it through the pipe takes minutes.
INSTANTIATE_TEST_SUITE_P(Examples, InOfficeSnapshot,
                         testing::Values("ten-pages.docx", "toc-headings.doc",
                                         "chinese-report.docx", "picture-and-shape-links.docx",
                                         "picture-and-shape-links.doc", "tables-and-images.docx",
                                         "bookmark-links.docx", "heading-levels.doc",
                                         "notes-and-endnotes.docx", "cross-references.doc",
                                         "header-and-note-links.doc"),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name) {
                                 if (!std::isalnum(static_cast<unsigned char>(c))) {
                                     c = '_';
                                 }
                             }
                             return name;
                         });

sal_Int32 FrameCount(const css::uno::Reference<css::frame::XDesktop2>& desktop) {
    return css::uno::Reference<css::frame::XFramesSupplier>(desktop, css::uno::UNO_QUERY_THROW)
        ->getFrames()
        ->getCount();
}

css::uno::Sequence<css::beans::PropertyValue> HiddenLoad() {
    css::uno::Sequence<css::beans::PropertyValue> arguments(2);
    arguments.getArray()[0].Name = "Hidden";
    arguments.getArray()[0].Value <<= true;
    arguments.getArray()[1].Name = "ReadOnly";
    arguments.getArray()[1].Value <<= true;
    return arguments;
}

// The probe's load makes the same hidden frame inside the office as the component makes through
// the pipe: what the document says of itself, positions included, must not depend on which of
// the two made it. A load that fails leaves no frame of ours behind.
TEST_F(InOfficeLoad, LoadsAsThePipeDoesAndLeavesNoFrameWhenTheLoadFails) {
    auto desktop = css::frame::Desktop::create(office->Context());
    const sal_Int32 framesBefore = FrameCount(desktop);

    for (const char* name : {"toc-headings.docx", "ten-pages.doc"}) {
        SCOPED_TRACE(name);
        const rtl::OUString url = word_model::FromUtf8(
            FileUrl((fs::path(TESSALINE_SOURCE_DIR) / "examples" / name).string()));
        const word_component::ProbeLoad inside =
            word_component::RunLoadProbe(probe, url, HiddenLoad());
        ASSERT_TRUE(inside.frame.is());
        css::uno::Reference<css::frame::XModel> insideModel(inside.component,
                                                            css::uno::UNO_QUERY_THROW);
        EXPECT_EQ(insideModel->getCurrentController()->getFrame(), inside.frame);
        EXPECT_EQ(FrameCount(desktop), framesBefore + 1);

        const word_component::HiddenDocument outside =
            word_component::LoadIntoHiddenFrame(office->Context(), desktop, url, HiddenLoad());
        const css::uno::Reference<css::frame::XFrame> outsideFrame = outside.frame;
        css::uno::Reference<css::frame::XModel> outsideModel(outside.component,
                                                             css::uno::UNO_QUERY_THROW);
        ExpectSameSnapshot(word_component::RunSnapshotProbe(probe, insideModel),
                           word_component::RunSnapshotProbe(probe, outsideModel));

        for (const auto& frame : {inside.frame, outsideFrame}) {
            OfficeSession::Close(frame->getController()->getModel());
            word_component::CloseFrameQuietly(frame);
        }
        EXPECT_EQ(FrameCount(desktop), framesBefore);
    }

    // Not a document the office reads, and no file at all: no document, and no frame left over.
    const fs::path garbage = office->Folder() / "garbage.docx";
    std::ofstream(garbage, std::ios::binary) << "PK\x03\x04 not really a zip archive";
    for (const fs::path& path : {garbage, office->Folder() / "missing.doc"}) {
        SCOPED_TRACE(path.string());
        const rtl::OUString url = word_model::FromUtf8(FileUrl(path.string()));
        try {
            const word_component::ProbeLoad loaded =
                word_component::RunLoadProbe(probe, url, HiddenLoad());
            EXPECT_FALSE(loaded.component.is());
            EXPECT_FALSE(loaded.frame.is());
        } catch (const css::uno::Exception&) {
            // The office's own refusal of the file (through the pipe it throws the same).
        }
        EXPECT_EQ(FrameCount(desktop), framesBefore);
    }
}

TEST(SnapshotPacking, ReadsBackWhatWasPackedAndRefusesAnythingElse) {
    DocumentSnapshot snapshot;
    snapshot.pages.push_back({0, {595.3, 841.9, 56.7, 56.7}, 1});
    // The view's page 2 is a blank one: not printed, and not counted.
    snapshot.pages.push_back({30201, {612, 792, 72, 72}, 3});
    word_model::SnapshotParagraph heading;
    heading.entry.outlineLevel = 2;
    heading.text = "1.2 Scope";
    heading.measured = MeasuredRange{true, {2, 56.7, 120.5}, {2, 140, 120.5}, 123.25, {}};
    snapshot.paragraphs.push_back(heading);
    word_model::SnapshotParagraph body;
    const sal_Unicode chinese[] = {0x6982, 0x8FF0, ' ', 't', 'e', 'x', 't'};
    body.text = rtl::OUString(chinese, 7);
    snapshot.paragraphs.push_back(body);
    word_model::SnapshotLink link;
    link.entry.target = {"", "_Toc123", ""};
    link.entry.kind = word_model::LinkKind::InlinePicture;
    link.text = "1.2 Scope\t2";
    link.fields = std::vector<word_model::FieldEntry>{{u" PAGEREF _Toc123 \\h ", u"2"}};
    link.measured =
        MeasuredRange{true, {1, 70, 200}, {1, 300, 200}, 202, word_model::RangeExtent{}};
    link.measured->extent->right = 300;
    link.measured->extent->bottom = 214;
    snapshot.links.push_back(link);
    word_model::SnapshotBookmark hidden;
    hidden.entry.name = u"_Toc123";
    hidden.measured = MeasuredRange{};  // not laid out
    snapshot.bookmarks.push_back(hidden);
    snapshot.paragraphs[0].entry.listLabel = u"1.2";
    snapshot.stories.footnotes.emplace_back();
    snapshot.stories.bodyFields.push_back(
        {.code = u" PAGEREF _Toc123 \\h ", .result = u"2", .type = word_model::kFieldPageRef});
    word_model::StoryEntry footer;
    footer.type = word_model::StoryType::PrimaryFooter;
    footer.pageStyle = u"Standard";
    footer.pages = {1, 2};
    footer.links.push_back(link.entry);
    snapshot.stories.stories.push_back(footer);
    snapshot.storyRanges.push_back({nullptr, *link.measured, true});

    const css::uno::Any packed = word_model::PackSnapshot(snapshot);
    const DocumentSnapshot back = word_model::UnpackSnapshot(packed);
    ExpectSameSnapshot(snapshot, back);
    EXPECT_EQ(back.links[0].entry.kind, word_model::LinkKind::InlinePicture);
    EXPECT_TRUE(back.stories.bodyFields[0].result == u"2");
    EXPECT_TRUE(back.stories.stories[0].Repeated());
    EXPECT_FALSE(back.paragraphs[1].measured.has_value());
    // What could not be read stays unread, not empty.
    word_model::SnapshotParagraph unread;
    snapshot.paragraphs.push_back(unread);
    const DocumentSnapshot withUnread =
        word_model::UnpackSnapshot(word_model::PackSnapshot(snapshot));
    EXPECT_TRUE(withUnread.paragraphs[0].text.has_value());
    EXPECT_FALSE(withUnread.paragraphs[2].text.has_value());
    EXPECT_FALSE(withUnread.links[0].fields->empty());
    ASSERT_TRUE(back.links[0].measured->extent.has_value());
    EXPECT_DOUBLE_EQ(back.links[0].measured->extent->bottom, 214);

    // Anything else is refused, never half read.
    EXPECT_THROW(word_model::UnpackSnapshot(css::uno::Any()), std::runtime_error);
    EXPECT_THROW(word_model::UnpackSnapshot(css::uno::Any(sal_Int32(5))), std::runtime_error);
    css::uno::Sequence<css::uno::Any> parts;
    packed >>= parts;
    css::uno::Sequence<css::uno::Any> wrongForm = parts;
    wrongForm.getArray()[0] <<= rtl::OUString("another.snapshot.9");
    EXPECT_THROW(word_model::UnpackSnapshot(css::uno::Any(wrongForm)), std::runtime_error);
    css::uno::Sequence<css::uno::Any> oddPages = parts;
    oddPages.getArray()[1] <<= css::uno::Sequence<double>(3);
    EXPECT_THROW(word_model::UnpackSnapshot(css::uno::Any(oddPages)), std::runtime_error);
    css::uno::Sequence<css::uno::Any> badLinks = parts;
    css::uno::Sequence<css::uno::Any> links(1);
    css::uno::Sequence<css::uno::Any> oneLink;
    parts[3] >>= links;
    links[0] >>= oneLink;
    oneLink.getArray()[3] <<= sal_Int32(7);  // no such kind of link
    links.getArray()[0] <<= oneLink;
    badLinks.getArray()[3] <<= links;
    EXPECT_THROW(word_model::UnpackSnapshot(css::uno::Any(badLinks)), std::runtime_error);
}

}  // namespace
}  // namespace word_model_test
