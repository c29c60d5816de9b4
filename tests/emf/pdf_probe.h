// Draws metafiles into PDF files with the renderer and looks at the result through poppler's
// tools and qpdf, as a reader of the PDF would see it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/emf_writer.h"

namespace emf_test {

// Renders `emf` onto a one-page PDF as large as its frame, mapping reference device pixels to
// points. Returns the renderer's error (empty on success); throws when the EMF does not parse.
std::string RenderToPdf(const testing_support::Bytes& emf, const std::filesystem::path& pdf);

// Whether poppler-utils and qpdf are installed; tests skip without them.
bool PdfToolsPresent();

std::string PdfText(const std::filesystem::path& pdf);

struct PdfFont {
    std::string name;
    bool embedded = false;
    bool hasToUnicode = false;
};
std::vector<PdfFont> PdfFonts(const std::filesystem::path& pdf);

// One word of the page text with its box in points from the top left.
struct PdfWord {
    std::string text;
    double xMin = 0, yMin = 0, xMax = 0, yMax = 0;
};
std::vector<PdfWord> PdfWords(const std::filesystem::path& pdf);

// The page rasterised at `dpi`.
struct Raster {
    int width = 0;
    int height = 0;
    std::vector<unsigned char> rgb;
    // The colour at the fraction (fx, fy) of the page, as 0xRRGGBB.
    unsigned Pixel(double fx, double fy) const;
};
Raster RasterizePdf(const std::filesystem::path& pdf, int dpi);

// qpdf --check; empty when the file is sound, else qpdf's report.
std::string QpdfCheck(const std::filesystem::path& pdf);

// Whether two 0xRRGGBB colours differ by at most `tolerance` on every channel.
bool Near(unsigned a, unsigned b, int tolerance = 24);

}  // namespace emf_test
