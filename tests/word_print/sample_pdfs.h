// Source PDFs for the print path's tests: drawn with cairo (real fonts, an image, links, an
// outline, tagged structure) and reshaped with qpdf where cairo cannot go (rotation, crop boxes,
// inherited page attributes, forms, encryption).
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

class QPDF;

namespace word_print_test {

struct SamplePage {
    double width = 595.28;
    double height = 841.89;
    std::string text;    // one line per '\n', in Liberation Sans
    bool image = false;  // the document's one picture, shared by every page that shows it
};

// Draws the pages with cairo. With navigation, every page also gets a web link, an outline
// entry, a named destination and structure tags, as a word processor's export has them.
void WriteCairoPdf(const std::filesystem::path& path, const std::vector<SamplePage>& pages,
                   bool withNavigation = false);

// Rewrites the PDF at `path` in place after `change` has edited it.
void EditPdf(const std::filesystem::path& path, const std::function<void(QPDF&)>& change);

// A PDF of `pages` pages, each showing a picture of its own of about `imageBytes` bytes of
// incompressible data, written with qpdf (fast, no font needed): for memory checks.
void WriteLargePdf(const std::filesystem::path& path, int pages, int imageBytes);

// pdftotext of one page (1-based) of a PDF, or of the whole file with page 0.
std::string PageText(const std::filesystem::path& pdf, int page = 0);

// Where pdftotext finds each word of one page (1-based): "word x0 y0 x1 y1" in points from the
// top-left corner of the page as it is shown (turned, and cropped to its CropBox), rounded to
// tenths of a point.
std::vector<std::string> WordBoxes(const std::filesystem::path& pdf, int page);

// The output of `qpdf --check`; its exit code in *exitCode.
std::string QpdfCheck(const std::filesystem::path& pdf, int* exitCode);

}  // namespace word_print_test
