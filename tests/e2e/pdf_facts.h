// What the end-to-end tests read back from a PDF: pages, link annotations with their targets,
// the outline, the text of each page and where its words stand. Read with qpdf's library and
// poppler's tools, never with the code that wrote the file.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace e2e {

namespace fs = std::filesystem;

// A rectangle in points, from the page's top-left corner, y growing downwards.
struct Box {
    double left = 0;
    double top = 0;
    double right = 0;
    double bottom = 0;
};
double Area(const Box& box);
Box Intersection(const Box& a, const Box& b);
Box Union(const Box& a, const Box& b);

struct PdfLink {
    int page = 0;  // 1-based
    Box box;
    std::string uri;             // the URI action's target; empty for a jump in the document
    int destinationPage = 0;     // 1-based page a jump lands on; 0 when it has none
    double destinationTop = -1;  // where on that page, points from its top; -1 when not given
};

// One outline entry, flattened in reading order.
struct OutlineEntry {
    std::string title;  // white space at both ends trimmed
    int depth = 0;      // 0 at the top level
    int parent = -1;    // index of the parent entry, -1 at the top level
    int page = 0;       // 1-based page of the destination; 0 when it has none
};

struct PdfFacts {
    std::vector<double> pageHeights;
    std::vector<PdfLink> links;
    std::vector<OutlineEntry> outline;
};

// Opens the PDF with qpdf (with the password when it is encrypted). Fails the calling test
// when qpdf cannot read it.
PdfFacts ReadPdfFacts(const fs::path& pdf, const std::string& password = "");

// The text of every page (plain pdftotext), runs of white space made single blanks.
std::vector<std::string> PageTexts(const fs::path& pdf);

struct TextWord {
    std::string text;
    Box box;
};
// The words of one page (1-based) with their boxes, from `pdftotext -bbox`.
std::vector<TextWord> PageWords(const fs::path& pdf, int page);

// An image XObject of the file, wherever it is drawn.
struct PdfImage {
    int width = 0;
    int height = 0;
    std::string filter;  // the last filter its data goes through ("/DCTDecode"); empty: none
};
std::vector<PdfImage> ImagesIn(const fs::path& pdf);

// `pdfinfo` of the file as name -> value ("Pages", "Title", "Encrypted", ...), opened with the
// given password option ("-upw"/"-opw") when one is given. Empty when pdfinfo refuses the file.
struct PdfInfo {
    int exitCode = -1;
    std::vector<std::pair<std::string, std::string>> fields;
    std::string Field(const std::string& name) const;
};
PdfInfo ReadPdfInfo(const fs::path& pdf, const std::string& passwordOption = "",
                    const std::string& password = "");

// "" when `qpdf --check` finds nothing wrong; its output otherwise.
std::string QpdfCheckProblems(const fs::path& pdf, const std::string& password = "");

std::string TrimBlanks(const std::string& text);

}  // namespace e2e
