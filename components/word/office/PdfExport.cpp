#include "components/word/office/PdfExport.h"

#include <stdlib.h>
#include <unistd.h>

#include <com/sun/star/frame/XStorable.hpp>

#include "components/word/model/Uno.h"
#include "components/word/office/DocumentLoader.h"
#include "components/word/office/FileUrl.h"
#include "components/word/office/Office.h"
#include "components/word/office/PropertyList.h"
#include "platform/paths.h"

namespace word_component {

namespace {

// What a printed page shows, nothing more: no outline, links or form fields (the conversion
// puts its own links and outline back), without the blank pages the office puts in so that a
// page starts on its right or left side (as its own export leaves them out, and as the layout's
// page numbers count none of them), fonts embedded. Images are left to the export's own
// defaults, as the office's export with any options stores them: at most 300 pixels per inch of
// their size on the page, as JPEG where that is smaller than lossless. Keeping every picture's
// own pixels made a camera's photo shown a few centimetres wide several times the size the
// office's own export gives it.
css::uno::Sequence<css::beans::PropertyValue> PrintFilterData() {
    return PropertyList({
        Property("ExportBookmarks", css::uno::Any(false)),
        Property("ExportNotes", css::uno::Any(false)),
        Property("ExportFormFields", css::uno::Any(false)),
        Property("ExportLinksRelativeFsys", css::uno::Any(false)),
        Property("ConvertOOoTargetToPDFTarget", css::uno::Any(false)),
        Property("UseTaggedPDF", css::uno::Any(false)),
        Property("IsSkipEmptyPages", css::uno::Any(true)),
        Property("EmbedStandardFonts", css::uno::Any(true)),
    });
}

}  // namespace

css::uno::Sequence<css::beans::PropertyValue> PdfExportArguments() {
    return PropertyList({Property("FilterName", css::uno::Any(rtl::OUString("writer_pdf_Export"))),
                         Property("FilterData", css::uno::Any(PrintFilterData()))});
}

bool ReservePdfExportFile(std::string* path, std::string* error) {
    const std::string folder = platform::TempPath();
    if (folder.empty()) {
        *error = "no temporary folder for the printed pages";
        return false;
    }
    std::string name = folder + "tessaline-print-XXXXXX.pdf";
    const int fd = ::mkstemps(name.data(), 4);
    if (fd < 0) {
        *error = "cannot create a temporary file in " + folder;
        return false;
    }
    ::close(fd);
    *path = std::move(name);
    return true;
}

bool ExportPdf(LoadedDocument& document, std::string* pdfPath, std::string* error) {
    std::lock_guard<std::mutex> lock(document.exportMutex);
    if (!document.pdfPath.empty() && ::access(document.pdfPath.c_str(), R_OK) == 0) {
        *pdfPath = document.pdfPath;
        return true;
    }
    std::string name;
    if (!ReservePdfExportFile(&name, error)) {
        return false;
    }
    css::uno::Reference<css::frame::XStorable> storable(document.model, css::uno::UNO_QUERY);
    Office::Errand errand(document.Holder());
    Office::Watch watch(OfficeCallLimit(), document.Holder());
    try {
        if (!storable.is()) {
            throw css::uno::RuntimeException("the document cannot be exported");
        }
        storable->storeToURL(word_model::FromUtf8(FileUrlFromPath(name)), PdfExportArguments());
    } catch (const css::uno::Exception& e) {
        ::unlink(name.c_str());
        *error = watch.Fired() ? std::string("the document engine did not finish in time")
                               : "the document engine could not render the document: " +
                                     word_model::ToUtf8(e.Message);
        return false;
    }
    document.pdfPath = name;
    *pdfPath = name;
    return true;
}

void DiscardPdfExport(LoadedDocument& document) {
    std::lock_guard<std::mutex> lock(document.exportMutex);
    if (!document.pdfPath.empty()) {
        ::unlink(document.pdfPath.c_str());
        document.pdfPath.clear();
    }
}

}  // namespace word_component
