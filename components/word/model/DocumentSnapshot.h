// Everything the automation objects read about a document, taken in one go: the body's
// paragraphs and hyperlinks, the bookmarks, their texts and fields, the notes, cross-references
// and the texts beside the body, the pages, and the layout of every range the conversion
// measures (headings, links, bookmarks, note marks and texts, cross-references).
//
// Read through the pipe, that is tens of thousands of calls to the office for a long document,
// each a round trip. So the office takes the snapshot itself: our probe library, loaded into
// the office process (components/word/probe), runs TakeSnapshot there and hands back the result
// as one UNO value (PackSnapshot), which UnpackSnapshot reads on our side. The ranges in it stay
// live references into the document, so whatever the snapshot lacks is still asked of the
// office directly.
#pragma once

#include <optional>
#include <vector>

#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <rtl/ustring.hxx>

#include "components/word/model/Content.h"
#include "components/word/model/Layout.h"

namespace word_model {

// What could not be read of an item (the office refused it) is left out, and asked again when
// it is wanted, as it would be without a snapshot.
struct SnapshotParagraph {
    ParagraphEntry entry;
    std::optional<rtl::OUString> text;      // as LibreOffice gives it
    std::optional<MeasuredRange> measured;  // headings and paragraphs with text links
};

struct SnapshotLink {
    LinkEntry entry;
    std::optional<rtl::OUString> text;  // the link's text, or a picture's or shape's anchor
    std::optional<std::vector<FieldEntry>> fields;  // the text fields inside a text link
    std::optional<MeasuredRange> measured;
};

struct SnapshotBookmark {
    BookmarkEntry entry;
    std::optional<MeasuredRange> measured;
};

// Where one of the stories' ranges lies (a note's mark or text, a cross-reference, a link).
struct SnapshotRange {
    css::uno::Reference<css::text::XTextRange> range;
    MeasuredRange measured;
    bool repeated = false;  // a header's or footer's: shown on the story's pages
};

struct DocumentSnapshot {
    std::vector<PageLayout> pages;
    std::vector<SnapshotParagraph> paragraphs;
    std::vector<SnapshotLink> links;
    std::vector<SnapshotBookmark> bookmarks;  // heading marks included, as Word lists them
    StoryContent stories;
    std::vector<SnapshotRange> storyRanges;
};

// The notes, cross-references and stories of a document (Content.h), with the pages that show
// each header and footer; their ranges are marked as repeated text in the layout.
StoryContent ReadStories(const css::uno::Reference<css::frame::XModel>& model, Layout& layout);

// Reads the snapshot of a loaded text document (with a controller).
DocumentSnapshot TakeSnapshot(const css::uno::Reference<css::frame::XModel>& model);

// The snapshot as one UNO value of the office's own types, and back. UnpackSnapshot throws
// std::runtime_error when the value is not a snapshot of this form.
css::uno::Any PackSnapshot(const DocumentSnapshot& snapshot);
DocumentSnapshot UnpackSnapshot(const css::uno::Any& packed);

}  // namespace word_model
