#include "tests/word_print/sample_pdfs.h"

#include <unistd.h>

#include <cairo-pdf.h>
#include <cairo.h>
#include <qpdf/QPDF.hh>
#include <qpdf/QPDFObjectHandle.hh>
#include <qpdf/QPDFWriter.hh>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <regex>
#include <sstream>
#include <stdexcept>

#include "tests/support/run_process.h"

namespace word_print_test {
namespace {

// A 96 x 64 picture with enough detail that its compressed form is a few kilobytes.
cairo_surface_t* MakePicture() {
    cairo_surface_t* picture = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 96, 64);
    unsigned char* data = cairo_image_surface_get_data(picture);
    const int stride = cairo_image_surface_get_stride(picture);
    std::mt19937 noise(7);
    for (int y = 0; y < 64; ++y) {
        auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
        for (int x = 0; x < 96; ++x) {
            row[x] = (static_cast<std::uint32_t>(x * 2) << 16) |
                     (static_cast<std::uint32_t>(y * 4) << 8) | (noise() & 0x3F);
        }
    }
    cairo_surface_mark_dirty(picture);
    return picture;
}

}  // namespace

void WriteCairoPdf(const std::filesystem::path& path, const std::vector<SamplePage>& pages,
                   bool withNavigation) {
    cairo_surface_t* surface = cairo_pdf_surface_create(path.c_str(), 595.28, 841.89);
    cairo_surface_t* picture = MakePicture();
    cairo_t* cr = cairo_create(surface);
    int number = 0;
    for (const SamplePage& page : pages) {
        ++number;
        cairo_pdf_surface_set_size(surface, page.width, page.height);
        if (withNavigation) {
            const std::string name = "page" + std::to_string(number);
            cairo_tag_begin(cr, CAIRO_TAG_DEST, ("name='" + name + "'").c_str());
            cairo_tag_end(cr, CAIRO_TAG_DEST);
            cairo_pdf_surface_add_outline(
                surface, CAIRO_PDF_OUTLINE_ROOT, ("Page " + std::to_string(number)).c_str(),
                ("dest='" + name + "'").c_str(), static_cast<cairo_pdf_outline_flags_t>(0));
            cairo_tag_begin(cr, "P", "");
        }
        cairo_select_font_face(cr, "Liberation Sans", CAIRO_FONT_SLANT_NORMAL,
                               CAIRO_FONT_WEIGHT_NORMAL);
        cairo_set_font_size(cr, 18);
        cairo_set_source_rgb(cr, 0, 0, 0);
        std::istringstream lines(page.text);
        double y = 120;
        for (std::string line; std::getline(lines, line); y += 30) {
            cairo_move_to(cr, 72, y);
            cairo_show_text(cr, line.c_str());
        }
        if (withNavigation) {
            cairo_tag_end(cr, "P");
            cairo_tag_begin(cr, CAIRO_TAG_LINK, "uri='https://example.invalid/'");
            cairo_move_to(cr, 72, y);
            cairo_show_text(cr, "link");
            cairo_tag_end(cr, CAIRO_TAG_LINK);
        }
        if (page.image) {
            cairo_save(cr);
            cairo_translate(cr, 72, y + 20);
            cairo_set_source_surface(cr, picture, 0, 0);
            cairo_paint(cr);
            cairo_restore(cr);
        }
        cairo_show_page(cr);
    }
    cairo_destroy(cr);
    cairo_surface_destroy(picture);
    cairo_surface_finish(surface);
    const cairo_status_t status = cairo_surface_status(surface);
    cairo_surface_destroy(surface);
    if (status != CAIRO_STATUS_SUCCESS) {
        throw std::runtime_error(std::string("cairo: ") + cairo_status_to_string(status));
    }
}

void EditPdf(const std::filesystem::path& path, const std::function<void(QPDF&)>& change) {
    const std::filesystem::path edited = path.string() + ".edited";
    {
        QPDF pdf;
        pdf.processFile(path.c_str());
        change(pdf);
        QPDFWriter writer(pdf, edited.c_str());
        writer.write();
    }
    std::filesystem::rename(edited, path);
}

void WriteLargePdf(const std::filesystem::path& path, int pages, int imageBytes) {
    const int side = 256;
    const int rows = std::max(1, imageBytes / side);
    std::mt19937 noise(11);
    QPDF pdf;
    pdf.emptyPDF();
    for (int n = 0; n < pages; ++n) {
        std::string pixels(static_cast<std::size_t>(side) * rows, '\0');
        for (char& pixel : pixels) {
            pixel = static_cast<char>(noise());
        }
        QPDFObjectHandle image = pdf.newStream(pixels);
        image.replaceDict(QPDFObjectHandle::parse(
            "<< /Type /XObject /Subtype /Image /Width " + std::to_string(side) + " /Height " +
            std::to_string(rows) + " /ColorSpace /DeviceGray /BitsPerComponent 8 >>"));
        QPDFObjectHandle content = pdf.newStream("q 400 300 0 0 100 400 cm /Im0 Do Q");
        QPDFObjectHandle page = pdf.makeIndirectObject(QPDFObjectHandle::parse(
            "<< /Type /Page /MediaBox [0 0 595 842] /Resources << /XObject << >> >> >>"));
        page.getKey("/Resources").getKey("/XObject").replaceKey("/Im0", image);
        page.replaceKey("/Contents", content);
        pdf.addPage(page, false);
    }
    QPDFWriter writer(pdf, path.c_str());
    // Random pixels do not compress; leaving them raw keeps the file quick to write.
    writer.setCompressStreams(false);
    writer.write();
}

std::string PageText(const std::filesystem::path& pdf, int page) {
    std::vector<std::string> argv = {testing_support::FindProgram("pdftotext"), "-q"};
    if (page > 0) {
        argv.insert(argv.end(), {"-f", std::to_string(page), "-l", std::to_string(page)});
    }
    argv.insert(argv.end(), {pdf.string(), "-"});
    testing_support::ProcessResult result = testing_support::RunProcess(argv);
    if (result.exitCode != 0) {
        throw std::runtime_error("pdftotext failed on " + pdf.string() + ": " + result.errors);
    }
    return result.output;
}

std::vector<std::string> WordBoxes(const std::filesystem::path& pdf, int page) {
    testing_support::ProcessResult result = testing_support::RunProcess(
        {testing_support::FindProgram("pdftotext"), "-q", "-cropbox", "-bbox", "-f",
         std::to_string(page), "-l", std::to_string(page), pdf.string(), "-"});
    if (result.exitCode != 0) {
        throw std::runtime_error("pdftotext -bbox failed on " + pdf.string() + ": " +
                                 result.errors);
    }
    // <word xMin="72.000000" yMin="105.000000" xMax="112.000000" yMax="123.000000">Page</word>
    static const std::regex word(
        R"re(<word xMin="([-0-9.]+)" yMin="([-0-9.]+)" xMax="([-0-9.]+)" yMax="([-0-9.]+)">([^<]*)</word>)re");
    std::vector<std::string> words;
    for (std::sregex_iterator it(result.output.begin(), result.output.end(), word), end; it != end;
         ++it) {
        std::string line = (*it)[5];
        for (int i = 1; i <= 4; ++i) {
            char number[32];
            std::snprintf(number, sizeof number, " %.1f", std::stod((*it)[i]) + 0.0);
            line += number;
        }
        words.push_back(line);
    }
    return words;
}

std::string QpdfCheck(const std::filesystem::path& pdf, int* exitCode) {
    testing_support::ProcessResult result = testing_support::RunProcess(
        {testing_support::FindProgram("qpdf"), "--check", pdf.string()});
    *exitCode = result.exitCode;
    return result.output + result.errors;
}

}  // namespace word_print_test
