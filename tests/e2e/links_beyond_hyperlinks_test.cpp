// The links a word processor's own PDF export makes beyond the document's hyperlinks: note
// marks and note numbers, cross-references, and links in headers, footers, notes and text
// boxes. Each kind, over its example document in .docx and .doc, converted by folvane-cli with
// links kept, against LibreOffice's own export of the same document: every such link of the
// export is ours too, on the same page, with the same target (the same page and height for a
// jump, the same address for a web link), over the same text.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "tests/e2e/e2e_environment.h"
#include "tests/e2e/link_targets.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/e2e/reference_comparison.h"
#include "tests/e2e/reference_exports.h"
#include "tests/support/scoped_environment.h"

namespace e2e {
namespace {

// A jump lands where the export's does when its height differs by no more than this (points).
constexpr double kSameHeight = 3;

enum class LinkKind { Jump, Web };

bool IsOfKind(const PdfLink& link, LinkKind kind) {
    return link.uri.empty() == (kind == LinkKind::Jump);
}

std::string Describe(const PdfLink& link, const std::string& target) {
    std::ostringstream text;
    text << "page " << link.page << " [" << link.box.left << ", " << link.box.top << ", "
         << link.box.right << ", " << link.box.bottom << "] -> " << target;
    if (link.uri.empty()) {
        text << " at " << link.destinationTop;
    }
    return text.str();
}

class EndToEndLinksBeyondHyperlinks : public PipelineTest {
  protected:
    // Converts the example in both formats and holds every link of the kind in LibreOffice's
    // export of each against ours.
    void ExpectLinksOfTheExport(const std::string& example, LinkKind kind) {
        testing_support::ScopedPlatform platform;
        ASSERT_TRUE(InstallPlatform());
        const fs::path output = platform.Work() / "pdf";
        fs::create_directories(output);
        for (const std::string extension : {".docx", ".doc"}) {
            const std::string name = example + extension;
            SCOPED_TRACE(name);
            std::string error;
            const fs::path reference = ReferencePdf(name, &error);
            ASSERT_FALSE(reference.empty()) << error;
            const fs::path document =
                CopyExamples({name}, platform.Work() / ("documents" + extension)).front();
            fs::create_directories(output / extension);
            const testing_support::ProcessResult run =
                RunCli({"--keep-links", "-o", (output / extension).string(), document.string()},
                       document.parent_path());
            ASSERT_EQ(run.exitCode, 0) << run.output << run.errors;
            ExpectLinks(output / extension / (example + ".pdf"), reference, document, kind);
        }
    }

  private:
    void ExpectLinks(const fs::path& ours, const fs::path& reference, const fs::path& document,
                     LinkKind kind) {
        const PdfFacts ourFacts = ReadPdfFacts(ours);
        const PdfFacts referenceFacts = ReadPdfFacts(reference);
        int checked = 0;
        for (const PdfLink& link : referenceFacts.links) {
            if (!IsOfKind(link, kind)) {
                continue;
            }
            ++checked;
            const std::string target =
                ComparableTarget(link, reference.parent_path(), ReferenceDocumentFolder());
            const Box text = LinkTextBox(link, PageWords(reference, link.page));
            bool found = false;
            std::string candidates;
            for (const PdfLink& our : ourFacts.links) {
                if (our.page != link.page ||
                    ComparableTarget(our, ours.parent_path(), document.parent_path()) != target) {
                    continue;
                }
                candidates += "\n  ours: " + Describe(our, target);
                found = found ||
                        ((kind == LinkKind::Web ||
                          std::fabs(our.destinationTop - link.destinationTop) <= kSameHeight) &&
                         Area(Intersection(our.box, text)) >= 0.5 * Area(text));
            }
            EXPECT_TRUE(found) << "the export's link " << Describe(link, target)
                               << " has no link of ours there with that target"
                               << (candidates.empty() ? std::string(" (none)") : candidates);
        }
        EXPECT_GT(checked, 0) << "the export of " << document.filename() << " has no such link";
    }
};

// Each footnote's and endnote's mark leads to its note and the note's number back to the mark;
// a cross-reference to a note leads to the note's mark.
TEST_F(EndToEndLinksBeyondHyperlinks, NoteMarksLeadToTheirNotesAndTheNotesNumbersBack) {
    ExpectLinksOfTheExport("notes-and-endnotes", LinkKind::Jump);
}

// Cross-references (REF, PAGEREF, heading numbers) lead to the numbered headings and figure
// captions they name.
TEST_F(EndToEndLinksBeyondHyperlinks, CrossReferencesLeadToTheirHeadingsAndFigures) {
    ExpectLinksOfTheExport("cross-references", LinkKind::Jump);
}

// Links in the header and footer stand on every page; those in footnotes, endnotes and a text
// box where the note or box is shown.
TEST_F(EndToEndLinksBeyondHyperlinks, LinksInHeadersFootersNotesAndTextBoxesWhereTheyAreShown) {
    ExpectLinksOfTheExport("header-and-note-links", LinkKind::Web);
}

}  // namespace
}  // namespace e2e
