// folvane-cli's command line: the documents, the output folder, the PDF options every job gets,
// and the answers the program would otherwise ask the user for.
#pragma once

#include <istream>
#include <string>
#include <vector>

#include "convert/PdfOptions.h"

struct CliOptions {
    std::vector<std::string> files;
    std::string outputFolder;  // empty: the program's configured output folder
    std::string language;      // empty: the configured language
    CPdfOptions pdf;
    // Any option of the settings dialog was given: every job gets `pdf` as the dialog's OK
    // would give it, marked as having its options set.
    bool pdfOptionsGiven = false;
    bool outputGiven = false;  // -o was given, perhaps with an empty folder
    // Files the passwords are read from ("-": standard input), so that they need not stand in
    // the process list.
    std::string ownerPasswordFile;
    std::string userPasswordFile;
    bool fetchRemoteContent = false;  // the word processor may fetch linked pictures
    bool keepExisting = false;        // answer No to the overwrite question: numbered names
    bool help = false;
    bool version = false;
};

struct CliParseError {
    std::string key;       // the "Cli" language text that says what is wrong
    std::string argument;  // the argument it is about
};

// Reads the passwords named by ownerPasswordFile and userPasswordFile into the PDF options: the
// file's first line, without its line end. When both come from standard input (`input`), the
// owner password is its first line and the user password its second. False with `error` filled
// when a file cannot be read.
bool ReadPasswordFiles(CliOptions* options, std::istream& input, CliParseError* error);

// Parses argv[1..]. False with `error` filled for an unknown option or a missing value. "--"
// ends the options; a lone "-" is a file name.
bool ParseCliOptions(const std::vector<std::string>& arguments, CliOptions* options,
                     CliParseError* error);
