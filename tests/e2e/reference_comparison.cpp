#include "tests/e2e/reference_comparison.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <regex>
#include <set>
#include <sstream>

#include "tests/e2e/link_targets.h"
#include "tests/e2e/pdf_facts.h"
#include "tests/support/run_process.h"

namespace e2e {
namespace {

std::string LinkText(const PdfLink& link, const std::string& target) {
    std::ostringstream text;
    text << "page " << link.page << " [" << link.box.left << ", " << link.box.top << ", "
         << link.box.right << ", " << link.box.bottom << "] -> " << target;
    return text.str();
}

// The hyperlink targets a .docx carries in its relationships, including those of pictures and
// shapes that LibreOffice's export drops; nothing for a .doc.
std::set<std::string> DocxHyperlinkTargets(const fs::path& document) {
    std::set<std::string> targets;
    if (document.extension() != ".docx") {
        return targets;
    }
    const testing_support::ProcessResult rels = testing_support::RunProcess(
        {"/usr/bin/unzip", "-p", document.string(), "word/_rels/document.xml.rels"});
    static const std::regex relationship(R"(<Relationship [^>]*>)");
    static const std::regex target(R"re(Target="([^"]*)")re");
    for (auto it = std::sregex_iterator(rels.output.begin(), rels.output.end(), relationship);
         it != std::sregex_iterator(); ++it) {
        const std::string element = it->str();
        std::smatch found;
        if (element.find("/hyperlink\"") == std::string::npos ||
            !std::regex_search(element, found, target)) {
            continue;
        }
        std::string uri = found[1].str();
        for (const auto& [entity, character] : {std::pair<std::string, std::string>{"&amp;", "&"},
                                                {"&quot;", "\""},
                                                {"&apos;", "'"},
                                                {"&lt;", "<"},
                                                {"&gt;", ">"}}) {
            for (std::size_t at; (at = uri.find(entity)) != std::string::npos;) {
                uri.replace(at, entity.size(), character);
            }
        }
        PdfLink link;
        link.uri = uri;
        targets.insert(ComparableTarget(link, document.parent_path(), document.parent_path()));
    }
    return targets;
}

// "title (under parent) on page n" for every titled entry. Entries without a title (the
// placeholders for skipped heading levels) are left out, and a titled entry counts as being
// under its nearest titled ancestor.
std::vector<std::string> OutlineLines(const std::vector<OutlineEntry>& outline) {
    std::vector<std::string> lines;
    for (const OutlineEntry& entry : outline) {
        if (entry.title.empty()) {
            continue;
        }
        int parent = entry.parent;
        while (parent >= 0 && outline[parent].title.empty()) {
            parent = outline[parent].parent;
        }
        lines.push_back(
            entry.title + " (under " +
            (parent < 0 ? std::string("the top") : "\"" + outline[parent].title + "\"") +
            ") on page " + std::to_string(entry.page));
    }
    return lines;
}

void CheckLinks(const fs::path& ours, const fs::path& reference, const fs::path& document,
                const fs::path& referenceDocumentFolder) {
    const PdfFacts ourFacts = ReadPdfFacts(ours);
    const PdfFacts referenceFacts = ReadPdfFacts(reference);
    std::set<std::pair<int, std::string>> ourTargets;
    for (const PdfLink& link : ourFacts.links) {
        ourTargets.insert(
            {link.page, ComparableTarget(link, ours.parent_path(), document.parent_path())});
    }
    std::set<std::string> documentTargets = DocxHyperlinkTargets(document);
    std::set<std::pair<int, std::string>> referenceTargets;
    for (const PdfLink& link : referenceFacts.links) {
        const std::string target =
            ComparableTarget(link, reference.parent_path(), referenceDocumentFolder);
        referenceTargets.insert({link.page, target});
        documentTargets.insert(target);
        // The link's text must lie under a link of ours with the same target.
        const Box textBox = LinkTextBox(link, PageWords(reference, link.page));
        double best = 0;
        std::string candidates;
        for (const PdfLink& our : ourFacts.links) {
            if (our.page != link.page ||
                ComparableTarget(our, ours.parent_path(), document.parent_path()) != target) {
                continue;
            }
            best = std::max(best, Area(Intersection(our.box, textBox)));
            candidates += "\n  ours: " + LinkText(our, target);
        }
        EXPECT_GE(best, 0.5 * Area(textBox))
            << "the link text at " << LinkText({link.page, textBox, "", 0}, target)
            << " is not covered by half by a link of ours with that target"
            << (candidates.empty() ? std::string(" (there is none)") : candidates);
    }
    for (const auto& [page, target] : referenceTargets) {
        EXPECT_TRUE(ourTargets.count({page, target}))
            << "no link to " << target << " on page " << page;
    }
    // Links LibreOffice's export loses (on shapes and frames) may be ours, but every link of
    // ours must go where one of the document's hyperlinks goes.
    for (const auto& [page, target] : ourTargets) {
        if (target.rfind("page ", 0) == 0) {
            EXPECT_TRUE(referenceTargets.count({page, target}))
                << "a jump on page " << page << " to " << target
                << " that no link of the document makes there";
        } else {
            EXPECT_TRUE(documentTargets.count(target))
                << "a link on page " << page << " to " << target
                << ", which is none of the document's hyperlink targets";
        }
    }
}
}  // namespace

Box LinkTextBox(const PdfLink& link, const std::vector<TextWord>& words) {
    bool any = false;
    Box box;
    for (const TextWord& word : words) {
        const double x = (word.box.left + word.box.right) / 2;
        const double y = (word.box.top + word.box.bottom) / 2;
        if (x < link.box.left || x > link.box.right || y < link.box.top || y > link.box.bottom) {
            continue;
        }
        box = any ? Union(box, word.box) : word.box;
        any = true;
    }
    if (!any) {
        return link.box;
    }
    // A word may run on beyond the link ("2." for a link on "2"): only its part under the link
    // is the link's text.
    box.left = std::max(box.left, link.box.left);
    box.right = std::min(box.right, link.box.right);
    return box;
}

void ExpectSamePagesAndText(const fs::path& pdf, const fs::path& reference) {
    SCOPED_TRACE("pages and their text");
    EXPECT_EQ(ReadPdfInfo(pdf).Field("Pages"), ReadPdfInfo(reference).Field("Pages"));
    const std::vector<std::string> ourPages = PageTexts(pdf);
    const std::vector<std::string> referencePages = PageTexts(reference);
    EXPECT_EQ(ourPages.size(), referencePages.size());
    for (std::size_t i = 0; i < std::min(ourPages.size(), referencePages.size()); ++i) {
        EXPECT_EQ(ourPages[i], referencePages[i]) << "page " << i + 1;
    }
}

void ExpectLikeReferenceExport(const fs::path& pdf, const fs::path& reference,
                               const fs::path& document, const fs::path& referenceDocumentFolder) {
    ExpectSamePagesAndText(pdf, reference);
    {
        SCOPED_TRACE("links");
        CheckLinks(pdf, reference, document, referenceDocumentFolder);
    }
    {
        SCOPED_TRACE("outline");
        EXPECT_EQ(OutlineLines(ReadPdfFacts(pdf).outline),
                  OutlineLines(ReadPdfFacts(reference).outline));
    }
}

}  // namespace e2e
