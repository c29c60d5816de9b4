// The parts of a job's conversion that live outside the controller: switching the default
// printer, the document analysis, the wait for the printed pages, and the PDF thread. The
// controller calls them at fixed points of its legs.
#pragma once

#include <string>

#include "platform/com.h"

class CConversionController;

// The print spooler's default printer.
class IPrinterControl {
  public:
    virtual ~IPrinterControl() = default;
    // The default printer's name; empty when it cannot be queried.
    virtual std::string GetDefaultPrinter() = 0;
    // False when the printer cannot be made the default.
    virtual bool SetDefaultPrinter(const std::string& name) = 0;
};

// Reads the open document's hyperlinks and headings into the controller's harvest results.
class IDocumentHarvester {
  public:
    virtual ~IDocumentHarvester() = default;
    // 1 when it ran to its end, 0 when it stopped on the user's exit request. A failure of the
    // word processor raises _com_error.
    virtual int HarvestDocument(CConversionController& controller, const std::string& path,
                                IDispatch* document) = 0;
};

// The program's side of the print hand-off, after the document went to the printer.
class IPrintHandOff {
  public:
    virtual ~IPrintHandOff() = default;
    // Creates the pipe and blocks until the extractor connects; false when that fails.
    virtual bool WaitForPages() = 0;
    // The hand-off INI file's path from the registry; empty (after telling the user) on failure.
    virtual std::string ReadHandOffPath() = 0;
};

// The PDF thread's routine: builds the job's PDF and ends by posting WM_JOB_FINISHED.
class IPdfBuilder {
  public:
    virtual ~IPdfBuilder() = default;
    virtual void RunPdfThread(CConversionController& controller) = 0;
};

// The pieces a controller is built with; each must outlive it.
struct ConversionLegs {
    IPrinterControl* printer = nullptr;
    IDocumentHarvester* harvester = nullptr;
    IPrintHandOff* handOff = nullptr;
    IPdfBuilder* pdfBuilder = nullptr;
};
