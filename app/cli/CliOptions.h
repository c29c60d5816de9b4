// folvane-cli's command line: the documents, the output folder, the PDF options every job gets,
// and the answers the program would otherwise ask the user for.
#pragma once

#include <string>
#include <vector>

#include "PdfOptions.h"

struct CliOptions {
    std::vector<std::string> files;
    std::string outputFolder;  // empty: the program's configured output folder
    std::string language;      // empty: the configured language
    CPdfOptions pdf;
    // Any option of the settings dialog was given: every job gets `pdf` as the dialog's OK
    // would give it, marked as having its options set.
    bool pdfOptionsGiven = false;
    bool keepExisting = false;  // answer No to the overwrite question: numbered names
    bool help = false;
    bool version = false;
};

struct CliParseError {
    std::string key;       // the "Cli" language text that says what is wrong
    std::string argument;  // the argument it is about
};

// Parses argv[1..]. False with `error` filled for an unknown option or a missing value. "--"
// ends the options; a lone "-" is a file name.
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions* options,
                     CliParseError* error);
