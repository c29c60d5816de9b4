// LibreOffice's own PDF export of the example documents, with bookmarks and links: what the
// converted PDFs are compared with. The exports are made once per build tree, all documents in
// one office run, and made again when an example changes.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace e2e {

// The reference PDF of example `name` (e.g. "toc-headings.doc"), made on first use. Empty with
// the reason in *error when the office fails.
std::filesystem::path ReferencePdf(const std::string& name, std::string* error);

// The export filter of the references: the heading outline written as bookmarks; links are on
// by default.
inline constexpr char kReferencePdfFilter[] =
    R"(pdf:writer_pdf_Export:{"ExportBookmarks":{"type":"boolean","value":"true"}})";

// The opening of a flat ODF text document a test writes for LibreOffice to convert: the XML
// declaration and the document element with the namespaces the tests use. The document's
// styles and body follow it.
inline constexpr char kFlatOdtOpening[] = R"(<?xml version="1.0" encoding="UTF-8"?>
<office:document xmlns:office="urn:oasis:names:tc:opendocument:xmlns:office:1.0"
 xmlns:style="urn:oasis:names:tc:opendocument:xmlns:style:1.0"
 xmlns:text="urn:oasis:names:tc:opendocument:xmlns:text:1.0"
 xmlns:draw="urn:oasis:names:tc:opendocument:xmlns:drawing:1.0"
 xmlns:svg="urn:oasis:names:tc:opendocument:xmlns:svg-compatible:1.0"
 xmlns:fo="urn:oasis:names:tc:opendocument:xmlns:xsl-fo-compatible:1.0"
 xmlns:xlink="http://www.w3.org/1999/xlink"
 office:version="1.3" office:mimetype="application/vnd.oasis.opendocument.text">
)";

// LibreOffice's own conversion (soffice --convert-to, in one run with a private profile) of
// every document with the filter ("pdf:...", "docx:MS Word 2007 XML", "doc:MS Word 97") into
// outFolder, each named after the document with the filter's extension. False with the reason
// when a file is missing afterwards.
bool ConvertWithLibreOffice(const std::vector<std::filesystem::path>& documents,
                            const std::string& filter, const std::filesystem::path& outFolder,
                            std::string* error);

// Files made once per build tree into `folder` by `make`, and made again when `stamp` (what they
// are made of) changes. Test cases run as processes of their own: one makes, the others wait.
bool MadeOnce(const std::filesystem::path& folder, const std::string& stamp,
              const std::function<bool(std::string*)>& make, std::string* error);

// The folder the reference copies of the documents sit in: file link targets of a reference
// export are relative to it.
std::filesystem::path ReferenceDocumentFolder();

}  // namespace e2e
