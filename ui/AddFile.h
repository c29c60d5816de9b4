// Accepting documents into the batch: the one routine behind the Add command, dropped files and
// the command line's file arguments. It checks the extension, refuses duplicates, reads the size
// and appends a checked job.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "convert/PdfOptions.h"

// Shows a text of the language's "MsgBox" section; `ownedByMainWindow` tells the Add routine's
// two kinds of box apart (the extension message has the main window as owner, the duplicate
// message none).
using AddFileMessage = std::function<void(const char* key, bool ownedByMainWindow)>;

enum class AddFileResult {
    Added,
    NotWordDocument,  // told with NOTPDF
    Duplicate,        // told with Added, only while warnDuplicate is set (the flag is then cleared)
    NotFound,         // nothing on disk at the path; not told
};

// Appends a job for `path` (Added), or refuses it, with a message where one is due.
AddFileResult AddFile(JobList& jobs, const std::string& path, bool& warnDuplicate,
                      const AddFileMessage& showMessage);

// The path's extension, from its last "." to the end, lower-cased; empty without a ".".
std::string LowerCaseExtension(const std::string& path);

// The size as the batch list shows it: "12.34 KB" below 100 KB, whole kilobytes above.
std::string FormatSizeText(std::uint32_t bytes);
