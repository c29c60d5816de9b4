// The spooler side of the "Tessaline" printer, as the print spooler service runs a printer's
// driver: it turns one print job into an EMF spool file, holds that file open the way the
// spooler holds the job it prints, waits (bounded) for the program's pipe, and has Ravelin's
// ConvertFile cut the pages out; then it releases and removes the spool file.
#pragma once

#include <string>

#include "platform/win_types.h"

struct SpoolerServiceOptions {
    std::string printer;
    DWORD jobNumber = 0;
    std::string jobFile;
    std::string ravelinPath;  // the extractor library in the program folder
    unsigned pipeWaitMs = 5 * 60 * 1000;
    // A pidfd of the program that printed the job, or -1. Once that program has ended, nobody
    // waits for the pages any more: the job is dropped, so that its pages can never reach the
    // next program that waits for its own.
    int submitterPidfd = -1;
};

// Runs one job to its end; 0 when the extractor was called, 1 when the job could not be
// spooled or no program waited for it, 2 when the extractor could not be loaded.
int RunSpoolerJob(const SpoolerServiceOptions& options);

// "00042.SPL": the job number in five digits.
std::string SpoolFileName(DWORD jobNumber);
