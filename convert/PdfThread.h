// Leg 3 of a job: the PDF thread. It reads the page list from the hand-off file, has the PDF
// engine make one page per EMF page at the page's own size, adds the harvested hyperlinks and
// outline, saves the PDF into the output folder, runs the post-processing when the job has PDF
// options, and reports the outcome with WM_JOB_FINISHED.
#pragma once

#include <cstdint>
#include <string>

#include "convert/ConversionLegs.h"

class CConversionController;

// The EMF header fields the page geometry is computed from (ENHMETAHEADER).
struct EmfPageHeader {
    std::int32_t boundsLeft = 0;  // rclBounds, device pixels, inclusive
    std::int32_t boundsTop = 0;
    std::int32_t boundsRight = 0;
    std::int32_t boundsBottom = 0;
    std::int32_t frameRight = 0;  // rclFrame, 0.01 mm, inclusive
    std::int32_t frameBottom = 0;
    std::uint32_t bytes = 0;    // nBytes
    std::int32_t deviceCx = 0;  // szlDevice, pixels
    std::int32_t deviceCy = 0;
    std::int32_t millimetresCx = 0;  // szlMillimeters
    std::int32_t millimetresCy = 0;
};

// Reads the header of the metafile at `path`; false when the file cannot be opened or does not
// start with an EMF header.
bool ReadEmfPageHeader(const std::string& path, EmfPageHeader* header);

struct PdfPageGeometry {
    std::int32_t widthPixels = 0;
    std::int32_t heightPixels = 0;
    std::int64_t verticalDpi = 0;
    double scale = 0;    // engine units per pixel, for both axes
    LONG pageWidth = 0;  // engine units
    LONG pageHeight = 0;
};

// The page size of one EMF page for an engine of `resolution` units per inch. False when the
// frame's bottom is not above 0 (no vertical resolution can be derived).
bool ComputePageGeometry(const EmfPageHeader& header, LONG resolution, PdfPageGeometry* geometry);

// The PDF's path for the document `currentFile` in `outputFolder` (which ends in "/"): the
// document's name without its extension plus ".pdf"; with `renameExisting`, "(1)", "(2)"...
// before the extension until the path is free.
std::string MakePdfOutputPath(const std::string& currentFile, const std::string& outputFolder,
                              bool renameExisting);

// The name the hand-off file gives (as CurrentDoc) to the pages printed from the document at
// `documentPath`: the file's name, as the spool file carries it.
std::string SpoolDocumentName(const std::string& documentPath);

// The thread routine for the controller's current job. Ends by posting WM_JOB_FINISHED with
// JOB_SUCCEEDED or JOB_FAILED.
void PdfThread(CConversionController& controller);

class CPdfBuilder : public IPdfBuilder {
  public:
    void RunPdfThread(CConversionController& controller) override { PdfThread(controller); }
};
