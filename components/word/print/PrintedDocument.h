// Document.PrintOut's last step: a document rendered to PDF becomes a print job for the default
// printer, one payload page per PDF page (PayloadPages.h), as the printer's driver expects.
#pragma once

#include <string>

namespace word_print {

// Writes the print job for the PDF to `jobPath` (PrintJob.h), a page at a time. On failure
// returns false with the reason in *error and leaves nothing at `jobPath`; an existing file
// there is only replaced when the whole job was written.
bool WritePrintJobFromPdf(const std::string& pdfPath, const std::string& documentName,
                          const std::string& jobPath, std::string* error);

// Prints the PDF on the spooler's default printer under `documentName`: writes the job in the
// user's temporary folder and hands it to the spooler, which takes the file over and runs the
// printer's driver on it. Returns once the job is submitted, not printed. No default printer, a
// printer without a driver service, or a PDF that cannot be printed gives false with the reason
// in *error, and no job file is left behind.
bool PrintPdfToDefaultPrinter(const std::string& pdfPath, const std::string& documentName,
                              std::string* error);

}  // namespace word_print
