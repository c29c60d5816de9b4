#include "tests/emf/pdf_probe.h"

#include <cairo-pdf.h>
#include <unistd.h>

#include <cstdlib>
#include <sstream>
#include <stdexcept>

#include "components/pdfengine/emf/EmfReader.h"
#include "components/pdfengine/emf/EmfRenderer.h"
#include "tests/support/run_process.h"

// Two libraries lose memory of their own in the sanitizer builds: fontconfig while it parses its
// configuration, and cairo while it finishes a PDF that subsets a CFF (CJK) font. The leak
// checker passes over exactly those paths and reports every other leak, including objects of
// these libraries that the renderer forgets to free. Matching a path needs whole stacks, which
// the libraries' frames (built without frame pointers) only give to the slow unwinder.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:XML_ParseBuffer\nleak:cairo_surface_finish\n";
}
extern "C" const char* __asan_default_options() {
    return "fast_unwind_on_malloc=0";
}

namespace emf_test {

std::string RenderToPdf(const testing_support::Bytes& bytes, const std::filesystem::path& pdf) {
    emf::EmfMetafile metafile;
    std::string error;
    if (!emf::EmfMetafile::Parse(bytes, &metafile, &error)) {
        throw std::runtime_error("metafile does not parse: " + error);
    }
    const emf::EmfHeader& header = metafile.Header();
    const double widthPt = (header.frame.right - header.frame.left + 1) / 2540.0 * 72;
    const double heightPt = (header.frame.bottom - header.frame.top + 1) / 2540.0 * 72;
    cairo_surface_t* surface = cairo_pdf_surface_create(pdf.c_str(), widthPt, heightPt);
    cairo_t* cr = cairo_create(surface);
    // Points per reference device pixel.
    cairo_scale(cr, 72 / 25.4 / header.PixelsPerMmX(), 72 / 25.4 / header.PixelsPerMmY());
    emf::RenderEmf(metafile, cr, &error);
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS && error.empty()) {
        error = cairo_status_to_string(status);
    }
    return error;
}

namespace {

testing_support::ProcessResult RunTool(std::vector<std::string> argv) {
    argv[0] = testing_support::FindProgram(argv[0]);
    return testing_support::RunProcess(argv);
}

std::string Run(const std::vector<std::string>& argv) {
    const testing_support::ProcessResult result = RunTool(argv);
    if (result.exitCode != 0) {
        throw std::runtime_error(argv[0] + " failed: " + result.errors);
    }
    return result.output;
}
}  // namespace

bool PdfToolsPresent() {
    for (const char* tool : {"pdftotext", "pdffonts", "pdftoppm", "qpdf"}) {
        if (testing_support::FindProgram(tool).empty()) {
            return false;
        }
    }
    return true;
}

std::string PdfText(const std::filesystem::path& pdf) {
    return Run({"pdftotext", "-enc", "UTF-8", pdf.string(), "-"});
}

std::vector<PdfFont> PdfFonts(const std::filesystem::path& pdf) {
    // name type encoding emb sub uni object ID; names have no spaces, types may ("Type 1").
    std::stringstream lines(Run({"pdffonts", pdf.string()}));
    std::string line;
    std::vector<PdfFont> fonts;
    int skip = 2;  // column titles and rule
    while (std::getline(lines, line)) {
        if (skip > 0) {
            --skip;
            continue;
        }
        std::stringstream words(line);
        std::vector<std::string> columns;
        std::string word;
        while (words >> word) {
            columns.push_back(word);
        }
        if (columns.size() < 6) {
            continue;
        }
        // From the end: object id ("N 0"), uni, sub, emb.
        const std::size_t n = columns.size();
        fonts.push_back({columns[0], columns[n - 5] == "yes", columns[n - 3] == "yes"});
    }
    return fonts;
}

std::vector<PdfWord> PdfWords(const std::filesystem::path& pdf) {
    const std::string html = Run({"pdftotext", "-bbox", "-enc", "UTF-8", pdf.string(), "-"});
    std::vector<PdfWord> words;
    std::size_t at = 0;
    while ((at = html.find("<word ", at)) != std::string::npos) {
        PdfWord word;
        const auto attribute = [&](const char* name) {
            const std::size_t start = html.find(std::string(name) + "=\"", at);
            return std::stod(html.substr(start + std::string(name).size() + 2));
        };
        word.xMin = attribute("xMin");
        word.yMin = attribute("yMin");
        word.xMax = attribute("xMax");
        word.yMax = attribute("yMax");
        const std::size_t textStart = html.find('>', at) + 1;
        const std::size_t textEnd = html.find("</word>", textStart);
        word.text = html.substr(textStart, textEnd - textStart);
        words.push_back(word);
        at = textEnd;
    }
    return words;
}

unsigned Raster::Pixel(double fx, double fy) const {
    const int x = std::min(width - 1, static_cast<int>(fx * width));
    const int y = std::min(height - 1, static_cast<int>(fy * height));
    const std::size_t i = (static_cast<std::size_t>(y) * width + x) * 3;
    return (unsigned{rgb[i]} << 16) | (unsigned{rgb[i + 1]} << 8) | rgb[i + 2];
}

Raster RasterizePdf(const std::filesystem::path& pdf, int dpi) {
    const std::string ppm =
        Run({"pdftoppm", "-r", std::to_string(dpi), "-singlefile", pdf.string()});
    std::stringstream in(ppm);
    std::string magic;
    int maximum = 0;
    Raster raster;
    in >> magic >> raster.width >> raster.height >> maximum;
    in.get();
    if (magic != "P6" || maximum != 255 || raster.width <= 0 || raster.height <= 0) {
        throw std::runtime_error("pdftoppm gave no 8-bit PPM");
    }
    raster.rgb.resize(static_cast<std::size_t>(raster.width) * raster.height * 3);
    in.read(reinterpret_cast<char*>(raster.rgb.data()),
            static_cast<std::streamsize>(raster.rgb.size()));
    if (!in) {
        throw std::runtime_error("pdftoppm's image is short");
    }
    return raster;
}

std::string QpdfCheck(const std::filesystem::path& pdf) {
    const testing_support::ProcessResult result = RunTool({"qpdf", "--check", pdf.string()});
    return result.exitCode == 0 ? std::string() : result.output + result.errors;
}

bool Near(unsigned a, unsigned b, int tolerance) {
    for (int shift : {0, 8, 16}) {
        const int ca = static_cast<int>((a >> shift) & 0xFF);
        const int cb = static_cast<int>((b >> shift) & 0xFF);
        if (std::abs(ca - cb) > tolerance) {
            return false;
        }
    }
    return true;
}

}  // namespace emf_test
