#include "tests/pdfengine/engine_test_support.h"

#include <cairo-pdf.h>
#include <cairo.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include <gtest/gtest.h>
#include <qpdf/QPDFObjectHandle.hh>

#include "components/pdfengine/PdfDocument.h"
#include "components/printer/EmfSpoolDriver.h"
#include "contracts/Installation.h"
#include "convert/PdfThread.h"
#include "platform/text.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

// fontconfig loses a few small allocations of its own while it matches fonts for cairo (the
// test's documents and the engine's rendering); the leak checker of the sanitizer builds is told
// to pass over them, and reports every other leak.
extern "C" const char* __lsan_default_suppressions() {
    return "leak:libfontconfig.so\n";
}

namespace pdfengine_test {

namespace {

cairo_status_t AppendToString(void* closure, const unsigned char* data, unsigned int length) {
    static_cast<std::string*>(closure)->append(reinterpret_cast<const char*>(data), length);
    return CAIRO_STATUS_SUCCESS;
}

}  // namespace

std::string MissingTools() {
    std::string missing;
    for (const char* tool : {"qpdf", "pdftotext"}) {
        if (testing_support::FindProgram(tool).empty()) {
            missing += std::string(missing.empty() ? "" : ", ") + tool;
        }
    }
    return missing;
}

std::string MakeCairoPdf(const std::vector<SourcePage>& pages) {
    std::string pdf;
    cairo_surface_t* surface = cairo_pdf_surface_create_for_stream(
        AppendToString, &pdf, pages.front().width, pages.front().height);
    cairo_t* cr = cairo_create(surface);
    for (const SourcePage& page : pages) {
        cairo_pdf_surface_set_size(surface, page.width, page.height);
        cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 14);
        cairo_move_to(cr, 72, 100);
        cairo_show_text(cr, page.text.c_str());
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_finish(surface);
    EXPECT_EQ(cairo_surface_status(surface), CAIRO_STATUS_SUCCESS);
    cairo_surface_destroy(surface);
    return pdf;
}

std::vector<std::string> SplitPages(const std::string& pdf, const fs::path& folder) {
    fs::create_directories(folder);
    const fs::path whole = folder / "whole.pdf";
    testing_support::WriteFile(whole, pdf);
    const auto result =
        testing_support::RunProcess({testing_support::FindProgram("qpdf"), "--split-pages",
                                     whole.string(), (folder / "part-%d.pdf").string()});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    std::vector<fs::path> parts;
    for (const auto& entry : fs::directory_iterator(folder)) {
        if (entry.path().filename().string().rfind("part-", 0) == 0) {
            parts.push_back(entry.path());
        }
    }
    // part-1.pdf, part-2.pdf ... (qpdf pads the numbers to one width).
    std::sort(parts.begin(), parts.end());
    std::vector<std::string> contents;
    for (const fs::path& part : parts) {
        contents.push_back(testing_support::ReadFile(part));
    }
    return contents;
}

std::string WritePageEmf(const fs::path& path, double widthPoints, double heightPoints,
                         const std::string& payload) {
    const std::string emf = printer::MakePageEmf(widthPoints, heightPoints, payload);
    EXPECT_FALSE(emf.empty());
    testing_support::WriteFile(path, emf);
    return path.string();
}

EngineGeometry GeometryOf(const std::string& emfPath) {
    EmfPageHeader header;
    PdfPageGeometry geometry;
    EXPECT_TRUE(ReadEmfPageHeader(emfPath, &header));
    EXPECT_TRUE(ComputePageGeometry(header, 72, &geometry));
    return {geometry.pageWidth, geometry.pageHeight, static_cast<FLOAT>(geometry.scale)};
}

void RegisterEngineLibrary() {
    const std::string progId = std::string(tessaline::contracts::kPdfDocumentProgId);
    EXPECT_EQ(platform::RegisterComClass(progId, tessaline::contracts::kPdfDocumentClsid,
                                         PDF_ENGINE_LIBRARY_PATH),
              S_OK);
}

ComPtr<IPDFDocument4> CreateRegisteredEngine() {
    RegisterEngineLibrary();
    CLSID clsid{};
    EXPECT_EQ(CLSIDFromProgID(tessaline::contracts::kPdfDocumentOleProgId.data(), &clsid), S_OK);
    ComPtr<IPDFDocument4> engine;
    EXPECT_EQ(CoCreateInstance(clsid, nullptr, CLSCTX_ALL, IID_IPDFDocument4,
                               reinterpret_cast<void**>(engine.Put())),
              S_OK);
    return engine;
}

ComPtr<IPDFDocument4> CreateDirectEngine() {
    ComPtr<IPDFDocument4> engine;
    EXPECT_EQ(
        pdfengine::CreatePdfDocument(IID_IPDFDocument4, reinterpret_cast<void**>(engine.Put())),
        S_OK);
    return engine;
}

std::string QpdfCheckProblems(const fs::path& pdf) {
    const auto result = testing_support::RunProcess(
        {testing_support::FindProgram("qpdf"), "--check", pdf.string()});
    return result.exitCode == 0 ? std::string() : result.output + result.errors;
}

std::string PageText(const fs::path& pdf, int page) {
    const std::string number = std::to_string(page);
    const auto result = testing_support::RunProcess(
        {testing_support::FindProgram("pdftotext"), "-f", number, "-l", number, pdf.string(), "-"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    return result.output;
}

std::vector<Word> PageWords(const fs::path& pdf, int page) {
    const std::string number = std::to_string(page);
    const auto result =
        testing_support::RunProcess({testing_support::FindProgram("pdftotext"), "-bbox", "-f",
                                     number, "-l", number, pdf.string(), "-"});
    EXPECT_EQ(result.exitCode, 0) << result.errors;
    static const std::regex word(
        R"re(<word xMin="([0-9.]+)" yMin="([0-9.]+)" xMax="[0-9.]+" yMax="[0-9.]+">([^<]*)</word>)re");
    std::vector<Word> words;
    for (std::sregex_iterator it(result.output.begin(), result.output.end(), word), end; it != end;
         ++it) {
        words.push_back({(*it)[3].str(), std::stod((*it)[1].str()), std::stod((*it)[2].str())});
    }
    return words;
}

int CountFontFiles(QPDF& pdf) {
    std::set<QPDFObjGen> files;
    for (QPDFObjectHandle object : pdf.getAllObjects()) {
        if (!object.isDictionary() || !object.getKey("/Type").isNameAndEquals("/FontDescriptor")) {
            continue;
        }
        for (const char* key : {"/FontFile", "/FontFile2", "/FontFile3"}) {
            QPDFObjectHandle file = object.getKey(key);
            if (file.isStream()) {
                files.insert(file.getObjGen());
            }
        }
    }
    return static_cast<int>(files.size());
}

std::string Utf8(const std::u16string& text) {
    return platform::Utf16ToUtf8(text);
}

}  // namespace pdfengine_test
