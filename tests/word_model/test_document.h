// A small text document with everything the harvest reads: web, file and in-document links, a
// linked table of contents, headings 1, 2 and 4 (level 3 skipped), a link that wraps, links on
// pictures, several pages, Chinese text, a table, hidden text. Written as flat ODT, from which
// the office makes the .docx and .doc the tests load. What the document holds is described
// alongside, so the tests check against the source, not against the model's own answers.
#pragma once

#include <string>
#include <vector>

namespace word_model_test {

struct ExpectedHeading {
    int level;
    std::string text;
    std::string tocBookmark;  // the bookmark the table of contents links to
};

struct ExpectedLink {
    std::string text;  // empty for a picture
    std::string url;   // as written in the source; "#name" inside the document
    int type;          // 0 text, 1 floating picture, 2 inline picture
};

struct TestDocument {
    std::string fodt;
    std::vector<ExpectedHeading> headings;    // in document order
    std::vector<ExpectedLink> links;          // in document order
    std::vector<std::string> bodyParagraphs;  // texts of some body paragraphs, in order
    std::string bookmark;                     // a bookmark that a link targets
    std::string bookmarkText;                 // its paragraph's text
    std::string hiddenText;                   // a hidden paragraph's text
    std::string headerBookmark;               // a bookmark in the page header
    // A link whose text holds a page reference to `bookmark` after this text.
    std::string pageReferenceLink;
    std::string linkedFile;    // the file link's target, relative
    std::string wrappingLink;  // a link's text that runs on from one line onto the next
    int pages;
    double lastPageWidth;   // points
    double lastLeftMargin;  // points
};

TestDocument MakeTestDocument();

}  // namespace word_model_test
