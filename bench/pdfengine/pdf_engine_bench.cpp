// The PDF engine on a long document: a 100-page document exported by LibreOffice is split page
// by page with qpdf (the parts share byte-identical fonts, as the printer's page split makes
// them), each part becomes a payload EMF, and the engine assembles them as the PDF thread
// does. Prints pages per second, peak memory, and the output's size against LibreOffice's own
// export (target: at most 1.15 times). Without LibreOffice, a cairo document takes its place.
//
// Usage: pdf_engine_bench [pages]   (default 100)
#include <cairo-pdf.h>
#include <cairo.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <qpdf/QPDF.hh>
#include <qpdf/QPDFPageDocumentHelper.hh>

#include "components/pdfengine/PdfDocument.h"
#include "components/printer/EmfSpoolDriver.h"
#include "contracts/PdfEngine.h"
#include "convert/PdfThread.h"
#include "platform/com_ptr.h"
#include "platform/text.h"
#include "tests/support/process_resources.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace fs = std::filesystem;
using testing_support::RunProcess;

namespace {

const char* const kWords[] = {
    "conversion", "document", "engine",  "page",    "outline", "heading", "paragraph",
    "font",       "metafile", "printer", "spooler", "payload", "link",    "table",
    "figure",     "section",  "the",     "of",      "and",     "a",       "to",
    "in",         "is",       "for",     "with",    "on",      "that",    "by",
};

std::string Sentence(unsigned& seed, int words) {
    std::string text;
    for (int i = 0; i < words; ++i) {
        seed = seed * 1103515245u + 12345u;
        text += kWords[(seed >> 16) % (sizeof(kWords) / sizeof(kWords[0]))];
        text += i + 1 < words ? " " : ". ";
    }
    text[0] = static_cast<char>(std::toupper(static_cast<unsigned char>(text[0])));
    return text;
}

// A document of `pages` sections, each starting a new page and filling most of it.
std::string LongHtml(int pages) {
    std::string html =
        "<html><head><meta charset=\"utf-8\"><style>body{font-family:'Liberation Serif';"
        "font-size:11pt} h1{font-family:'Liberation Sans';page-break-before:always}</style>"
        "</head><body>\n";
    unsigned seed = 7;
    for (int page = 1; page <= pages; ++page) {
        html += "<h1>Chapter " + std::to_string(page) + "</h1>\n";
        for (int p = 0; p < 6; ++p) {
            html += "<p>";
            for (int s = 0; s < 5; ++s) {
                html += s == 2 ? "<b>" + Sentence(seed, 8) + "</b>" : Sentence(seed, 12);
            }
            html += "</p>\n";
        }
    }
    return html + "</body></html>\n";
}

std::string ExportWithLibreOffice(const std::string& soffice, const fs::path& folder, int pages) {
    const fs::path html = folder / "long.html";
    testing_support::WriteFile(html, LongHtml(pages));
    const auto result = RunProcess(
        {soffice, "--headless", "-env:UserInstallation=file://" + (folder / "profile").string(),
         "--convert-to", "pdf:writer_web_pdf_Export", "--outdir", folder.string(), html.string()});
    const fs::path pdf = folder / "long.pdf";
    if (result.exitCode != 0 || !fs::exists(pdf)) {
        std::fprintf(stderr, "LibreOffice failed: %s\n", result.errors.c_str());
        return {};
    }
    return testing_support::ReadFile(pdf);
}

cairo_status_t Append(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

std::string ExportWithCairo(int pages) {
    std::string pdf;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(Append, &pdf, 595.28, 841.89);
    cairo_t* cr = cairo_create(surface);
    unsigned seed = 7;
    for (int page = 1; page <= pages; ++page) {
        cairo_select_font_face(cr, "Liberation Serif", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 11);
        for (int line = 0; line < 50; ++line) {
            cairo_move_to(cr, 72, 72 + line * 14);
            cairo_show_text(cr, Sentence(seed, 10).c_str());
        }
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
    return pdf;
}

struct PartPage {
    std::string emfPath;
    double width = 0;
    double height = 0;
};

}  // namespace

int main(int argc, char** argv) {
    const int pages = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;
    testing_support::ScopedPlatform platform;
    const fs::path work = platform.Work();
    const std::string qpdf = testing_support::FindProgram("qpdf");
    if (qpdf.empty()) {
        std::fprintf(stderr, "qpdf is needed to split the reference document\n");
        return 2;
    }

    const std::string soffice = testing_support::FindProgram("soffice");
    std::string reference =
        soffice.empty() ? std::string() : ExportWithLibreOffice(soffice, work, pages);
    const char* referenceName = "LibreOffice export";
    if (reference.empty()) {
        reference = ExportWithCairo(pages);
        referenceName = "cairo document (LibreOffice not available)";
    }
    const fs::path referencePath = work / "reference.pdf";
    testing_support::WriteFile(referencePath, reference);

    // One part per page, split as the printer would: shared objects stay identical.
    const fs::path parts = work / "parts";
    fs::create_directories(parts);
    auto split = RunProcess(
        {qpdf, "--split-pages", referencePath.string(), (parts / "part-%d.pdf").string()});
    if (split.exitCode != 0) {
        std::fprintf(stderr, "qpdf --split-pages failed: %s\n", split.errors.c_str());
        return 1;
    }
    std::vector<fs::path> partFiles;
    for (const auto& entry : fs::directory_iterator(parts)) {
        partFiles.push_back(entry.path());
    }
    std::sort(partFiles.begin(), partFiles.end());
    std::vector<PartPage> emfs;
    for (const fs::path& part : partFiles) {
        const std::string bytes = testing_support::ReadFile(part);
        QPDF pdf;
        pdf.processMemoryFile(part.c_str(), bytes.data(), bytes.size());
        auto box =
            QPDFPageDocumentHelper(pdf).getAllPages().front().getMediaBox().getArrayAsRectangle();
        PartPage page{(work / (part.stem().string() + ".emf")).string(), box.urx - box.llx,
                      box.ury - box.lly};
        testing_support::WriteFile(page.emfPath,
                                   printer::MakePageEmf(page.width, page.height, bytes));
        emfs.push_back(page);
    }

    // The engine's part, timed: pages as the PDF thread makes them, then the save.
    const fs::path output = work / "assembled.pdf";
    const auto start = std::chrono::steady_clock::now();
    ComPtr<IPDFDocument4> engine;
    if (FAILED(pdfengine::CreatePdfDocument(IID_IPDFDocument4,
                                            reinterpret_cast<void**>(engine.Put())))) {
        return 1;
    }
    for (std::size_t i = 0; i < emfs.size(); ++i) {
        EmfPageHeader header;
        PdfPageGeometry geometry;
        if (!ReadEmfPageHeader(emfs[i].emfPath, &header) ||
            !ComputePageGeometry(header, 72, &geometry)) {
            return 1;
        }
        if (i > 0 && (FAILED(engine->AddPage()) || FAILED(engine->SelectPage(LONG(i))))) {
            return 1;
        }
        const auto scale = static_cast<FLOAT>(geometry.scale);
        const CEngineText path(platform::Utf8ToUtf16(emfs[i].emfPath));
        if (FAILED(engine->SetPageHeight(geometry.pageHeight)) ||
            FAILED(engine->SetPageWidth(geometry.pageWidth)) ||
            FAILED(engine->DrawMetafile(path.Get(), 0, 0, scale, scale))) {
            std::fprintf(stderr, "page %zu failed\n", i + 1);
            return 1;
        }
    }
    const HRESULT saved =
        engine->SaveToFile(CEngineText(platform::Utf8ToUtf16(output.string())).Get(), 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (FAILED(saved)) {
        std::fprintf(stderr, "SaveToFile failed: 0x%08X\n", static_cast<unsigned>(saved));
        return 1;
    }
    engine.Reset();

    const auto check = RunProcess({qpdf, "--check", output.string()});
    const double outputSize = static_cast<double>(fs::file_size(output));
    const double ratio = outputSize / static_cast<double>(reference.size());
    std::printf("reference: %s, %zu pages, %zu bytes\n", referenceName, emfs.size(),
                reference.size());
    std::printf("assembled: %.0f bytes in %.2f s: %.1f pages/s, peak memory %ld KiB\n", outputSize,
                seconds, static_cast<double>(emfs.size()) / seconds,
                testing_support::PeakResidentKb());
    std::printf("size ratio output / reference: %.3f (target <= 1.15)%s\n", ratio,
                ratio <= 1.15 ? "" : "  ABOVE TARGET");
    std::printf("qpdf --check: %s\n", check.exitCode == 0 ? "passed" : "FAILED");
    return check.exitCode == 0 ? 0 : 1;
}
