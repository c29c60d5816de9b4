// What the PDF engine's tests share: source documents made with cairo and split page by page
// with qpdf, page EMFs that carry those pages as payloads, the engine created through its
// registered library or directly, and reading results back with qpdf and poppler.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>

#include "contracts/PdfEngine.h"
#include "platform/com_ptr.h"

namespace pdfengine_test {

namespace fs = std::filesystem;

// The tools the tests read PDFs with (qpdf, pdftotext) that are not installed; empty when all are.
std::string MissingTools();

struct SourcePage {
    double width = 612;  // points
    double height = 792;
    std::string text;  // drawn in Liberation Sans at (72, 100)
};

// One PDF with a page per entry, made with cairo's PDF surface.
std::string MakeCairoPdf(const std::vector<SourcePage>& pages);

// Splits `pdf` into one file per page with `qpdf --split-pages`, which keeps the objects pages
// share byte-identical in every part. Returns the parts' contents in page order; fails the
// test when qpdf fails.
std::vector<std::string> SplitPages(const std::string& pdf, const fs::path& folder);

// Writes the page's EMF (printer::MakePageEmf) carrying `payload`; returns its path.
std::string WritePageEmf(const fs::path& path, double widthPoints, double heightPoints,
                         const std::string& payload);

// The page's geometry as the PDF thread computes it from the EMF header.
struct EngineGeometry {
    LONG width = 0;
    LONG height = 0;
    FLOAT scale = 0;
};
EngineGeometry GeometryOf(const std::string& emfPath);

// Registers the component library under the engine's ProgID and class id, in the platform
// root of the test's ScopedPlatform, as the installer does.
void RegisterEngineLibrary();
// Registers the library and creates an engine through the class registry.
ComPtr<IPDFDocument4> CreateRegisteredEngine();
// An engine from the document class linked into the test.
ComPtr<IPDFDocument4> CreateDirectEngine();

// "" when `qpdf --check` passes; its output otherwise.
std::string QpdfCheckProblems(const fs::path& pdf);
// pdftotext of one page (1-based).
std::string PageText(const fs::path& pdf, int page);
// The words of one page with their top-left corners, from `pdftotext -bbox`.
struct Word {
    std::string text;
    double x = 0;
    double y = 0;
};
std::vector<Word> PageWords(const fs::path& pdf, int page);

// Embedded font programs (streams under /FontFile, /FontFile2, /FontFile3) in the file.
int CountFontFiles(QPDF& pdf);

std::string Utf8(const std::u16string& text);

}  // namespace pdfengine_test
