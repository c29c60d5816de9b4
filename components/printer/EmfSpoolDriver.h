// The "Tessaline" printer driver: turns a print job into the EMF spool file a Windows spooler
// would hold for it, one SRT_METAFILE_DATA record per page. Each page's EMF describes the printed
// page on a 600 dpi device and carries the page's content as a payload comment
// (contracts/PagePayload.h).
#pragma once

#include <string>
#include <string_view>

namespace printer {

// Reads the job at `jobPath` and writes the spool file to `spoolPath` (mode 0600). The file is
// written under a temporary name in the same folder and renamed into place when complete, so
// a spool folder never holds half a job. Pages are streamed one at a time. On failure returns
// false with the reason in *error and leaves nothing at `spoolPath` or its temporary name.
bool WriteSpoolFile(const std::string& jobPath, const std::string& spoolPath, std::string* error);

// One page's complete EMF: EMR_HEADER, the payload comment, EMR_EOF. Empty when the size is
// not a valid page size or the payload is too large (the limits of PrintJob.h).
std::string MakePageEmf(double widthPoints, double heightPoints, std::string_view payload);

}  // namespace printer
