// The tests' own office, apart from the component's: it makes the test documents (flat ODF
// text written here, stored as .docx/.doc by the office's own filters) and gives the office's
// own PDF export and load time to compare the component with. It runs under a platform root of
// its own, so it never meets the office of the component under test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include <com/sun/star/frame/XModel.hpp>

namespace word_test {

namespace fs = std::filesystem;

// Why the office cannot be used here, or empty when it can.
std::string OfficeMissingReason();

class ReferenceOffice {
  public:
    // root: the platform root its office lives under (its profile and pipe).
    explicit ReferenceOffice(fs::path root);
    ReferenceOffice(const ReferenceOffice&) = delete;
    ReferenceOffice& operator=(const ReferenceOffice&) = delete;
    // Ends its office.
    ~ReferenceOffice();

    // Loads `source` and stores it as `target` with the office filter (e.g. "MS Word 2007 XML",
    // "MS Word 97"), protected by the password when one is given.
    bool Convert(const fs::path& source, const fs::path& target, const std::string& filter,
                 const std::string& password, std::string* error);
    // The office's own PDF export of a document, with the filter's defaults.
    bool ExportPdf(const fs::path& document, const fs::path& pdf, std::string* error);
    // Seconds to load (hidden, read-only) and close the document; negative on failure.
    double LoadSeconds(const fs::path& document, std::string* error);

  private:
    fs::path root_;
};

// A flat ODF text document: one heading and paragraphs per page, each page after the first
// starting with a page break. Page n's text is "Page n heading" and then its paragraphs.
std::string FlatTextDocument(int pages, int paragraphsPerPage);

// The test documents, made once per build tree into `folder` (locked against parallel tests):
//   two-pages.docx, two-pages.doc    a heading and paragraphs on each of two pages
//   ten-pages.docx                   ten such pages
//   password.doc                     two-pages text, protected by a password
//   sheet.docx                       a spreadsheet (flat ODF), misnamed
//   corrupt.docx                     two-pages.docx cut short
//   empty.doc                        zero bytes
//   random.doc                       64 KiB of random bytes
bool EnsureTestDocuments(const fs::path& folder, std::string* error);

// The text of each page of a PDF (pdftotext), with runs of white space made single blanks.
std::vector<std::string> PdfPageTexts(const fs::path& pdf);
std::string PdfText(const std::string& pdfBytes);

// The documents loaded in the component's office of that slot that serves this platform root,
// reached through a bridge of our own; empty when none runs.
std::vector<css::uno::Reference<css::frame::XModel>> DocumentsLoadedInOfficeOf(const fs::path& root,
                                                                               unsigned slot = 0);

// The number of frames that office has, 0 when none runs.
std::size_t FramesInOfficeOf(const fs::path& root, unsigned slot = 0);

// Waits up to the limit until the component's office of that slot listens on its pipe (the
// office's own socket in /tmp). Asking for a session before that would start a second office.
bool WaitUntilOfficeListens(const fs::path& root, unsigned slot, std::chrono::seconds limit);

// The connections to the component's office of that slot (the component's bridge, and any of
// the test's own): the bytes each holds that the office has not read yet. A stopped office
// leaves there what is sent to it. Throws when the system does not tell.
std::vector<std::size_t> UnreadOnOfficeConnections(const fs::path& root, unsigned slot);

// True once the process has ended: gone, or dead with all its threads and not yet reaped by its
// parent (a process being killed loses its command line well before that).
bool ProcessEnded(pid_t pid);

// Office processes (soffice.bin) whose command line names a profile of the component's offices
// under this root: that slot's, or every slot's.
std::vector<pid_t> OfficeProcessesOfRoot(const fs::path& root,
                                         std::optional<unsigned> slot = std::nullopt);

}  // namespace word_test
