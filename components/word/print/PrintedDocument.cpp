#include "components/word/print/PrintedDocument.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <optional>

#include "components/word/print/PayloadPages.h"
#include "contracts/PrintJob.h"
#include "platform/paths.h"
#include "platform/spooler.h"

namespace word_print {
namespace {

void RemoveQuietly(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove(path, ignored);
}

// The printer's name, once it is known to have a driver service that will print the job: the
// spooler silently discards jobs for a printer without one.
bool FindDefaultPrinter(std::string* printerName, std::string* error) {
    const std::string name = platform::DefaultPrinterName();
    if (name.empty()) {
        *error = "there is no default printer";
        return false;
    }
    std::optional<platform::PrinterInfo> printer = platform::FindPrinter(name);
    if (!printer) {
        *error = "the default printer \"" + name + "\" does not exist";
        return false;
    }
    if (!platform::DriverService(printer->driver)) {
        *error = "the default printer \"" + name + "\" has no service for its driver \"" +
                 printer->driver + "\"";
        return false;
    }
    *printerName = printer->name;
    return true;
}

// Claims a fresh job name in the user's temporary folder (private to the user). The empty file
// holds the name until the finished job replaces it.
bool ReserveJobFile(std::string* jobPath, std::string* error) {
    const std::string folder = platform::TempPath();
    if (folder.empty()) {
        *error = "the temporary folder cannot be used";
        return false;
    }
    std::string path = folder + "print-XXXXXX";
    const int fd = ::mkstemp(path.data());
    if (fd < 0) {
        *error = "cannot create a print job in " + folder + ": " + std::strerror(errno);
        return false;
    }
    ::close(fd);
    *jobPath = std::move(path);
    return true;
}

}  // namespace

bool WritePrintJobFromPdf(const std::string& pdfPath, const std::string& documentName,
                          const std::string& jobPath, std::string* error) {
    if (documentName.size() > tessaline::contracts::kMaxDocumentNameBytes) {
        *error = "the document name is longer than " +
                 std::to_string(tessaline::contracts::kMaxDocumentNameBytes) + " bytes";
        return false;
    }
    PayloadPages pages;
    if (!pages.Open(pdfPath, error)) {
        return false;
    }
    tessaline::contracts::PrintJobWriter job;
    if (!job.Create(jobPath, documentName)) {
        *error = "cannot create the print job " + jobPath + ": " + std::strerror(errno);
        return false;
    }
    PayloadPage page;
    for (std::size_t index = 0; index < pages.PageCount(); ++index) {
        if (!pages.MakePage(index, &page, error)) {
            return false;
        }
        if (page.pdf.size() > tessaline::contracts::kMaxPagePayloadBytes) {
            *error = pdfPath + ": page " + std::to_string(index + 1) + " is too large to print";
            return false;
        }
        if (!job.AddPage(page.widthPoints, page.heightPoints, page.pdf)) {
            *error = "cannot write the print job " + jobPath + ": " + std::strerror(errno);
            return false;
        }
    }
    if (!job.Finish()) {
        *error = "cannot finish the print job " + jobPath + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

bool PrintPdfToDefaultPrinter(const std::string& pdfPath, const std::string& documentName,
                              std::string* error) {
    std::string printerName;
    std::string jobPath;
    if (!FindDefaultPrinter(&printerName, error) || !ReserveJobFile(&jobPath, error)) {
        return false;
    }
    if (!WritePrintJobFromPdf(pdfPath, documentName, jobPath, error)) {
        RemoveQuietly(jobPath);
        return false;
    }
    // The spooler moves the job into its own folder; whatever it did not take is ours to remove.
    const DWORD submitted = platform::SubmitPrintJob(printerName, jobPath);
    if (submitted != ERROR_SUCCESS) {
        RemoveQuietly(jobPath);
        *error = "the printer \"" + printerName + "\" refused the print job (error " +
                 std::to_string(submitted) + ")";
        return false;
    }
    return true;
}

}  // namespace word_print
