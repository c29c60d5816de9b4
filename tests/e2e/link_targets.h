// Link targets in a form two PDFs of one document can be compared in, whoever wrote them:
// LibreOffice writes file links relative to its PDF or as absolute file URIs, our pipeline
// writes "file:///" followed by the document's target, and either may percent-encode.
#pragma once

#include <filesystem>
#include <string>

#include "tests/e2e/pdf_facts.h"

namespace e2e {

// "page N" for a jump to page N of the document; the percent-decoded URI for web and mail
// links; "file:" and the path for files, relative to `documentFolder` when the file lies below
// it. Relative URIs resolve against `pdfFolder`, as a reader resolves them.
std::string ComparableTarget(const PdfLink& link, const std::filesystem::path& pdfFolder,
                             const std::filesystem::path& documentFolder);

std::string PercentDecode(const std::string& text);

}  // namespace e2e
