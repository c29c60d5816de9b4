#include "reference_exports.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <sstream>

#include "e2e_environment.h"
#include "support/run_process.h"
#include "support/scoped_environment.h"

namespace e2e {

namespace {

// The export filter with the heading outline written as bookmarks; links are on by default.
constexpr char kPdfFilter[] =
    R"(pdf:writer_pdf_Export:{"ExportBookmarks":{"type":"boolean","value":"true"}})";

fs::path CacheFolder() {
    return E2E_REFERENCE_FOLDER;
}

// Each example's copy is named after the whole original name, so that the .doc and the .docx
// of one document get exports of their own ("a.doc.doc" gives "a.doc.pdf").
std::string CopyName(const std::string& name) {
    return name + fs::path(name).extension().string();
}

// Names, sizes and times of the examples: the exports are current while this is unchanged.
std::string ExamplesStamp() {
    std::ostringstream stamp;
    for (const std::string& name : ExampleDocumentNames()) {
        const fs::path path = ExamplesFolder() / name;
        stamp << name << ' ' << fs::file_size(path) << ' '
              << fs::last_write_time(path).time_since_epoch().count() << '\n';
    }
    return stamp.str();
}

bool MakeExports(const fs::path& folder, std::string* error) {
    std::error_code ignored;
    fs::remove_all(folder / "documents", ignored);
    fs::remove_all(folder / "pdf", ignored);
    const std::vector<std::string> names = ExampleDocumentNames();
    CopyExamples(names, folder / "documents");
    std::vector<std::string> argv = {"/usr/bin/soffice", "--headless", "--norestore"};
    testing_support::TempFolder office("e2e-reference-office");
    argv.push_back("-env:UserInstallation=file://" + (office.Path() / "profile").string());
    argv.insert(argv.end(), {"--convert-to", kPdfFilter, "--outdir", (folder / "pdf").string()});
    for (const std::string& name : names) {
        fs::rename(folder / "documents" / name, folder / "documents" / CopyName(name));
        argv.push_back((folder / "documents" / CopyName(name)).string());
    }
    // The office's own temporary files stay in its folder, out of any test's platform.
    testing_support::ProcessOptions options;
    options.environment["TMPDIR"] = office.Str();
    options.environment["HOME"] = office.Str();
    const testing_support::ProcessResult result = testing_support::RunProcess(argv, options);
    for (const std::string& name : names) {
        if (!fs::exists(folder / "pdf" / (name + ".pdf"))) {
            *error = "LibreOffice made no PDF of " + name + " (exit " +
                     std::to_string(result.exitCode) + "): " + result.output + result.errors;
            return false;
        }
    }
    return true;
}

}  // namespace

fs::path ReferenceDocumentFolder() {
    return CacheFolder() / "documents";
}

fs::path ReferencePdf(const std::string& name, std::string* error) {
    const fs::path folder = CacheFolder();
    fs::create_directories(folder);
    // Test cases run as processes of their own, possibly in parallel: one makes, the rest wait.
    const int lock = ::open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        *error = "cannot lock " + folder.string();
        if (lock >= 0) {
            ::close(lock);
        }
        return {};
    }
    const std::string stamp = ExamplesStamp();
    const fs::path stampFile = folder / "examples.stamp";
    bool ready = fs::exists(stampFile) && testing_support::ReadFile(stampFile) == stamp;
    if (!ready) {
        fs::remove(stampFile);
        ready = MakeExports(folder, error);
        if (ready) {
            testing_support::WriteFile(stampFile, stamp);
        }
    }
    ::close(lock);
    if (!ready) {
        return {};
    }
    const fs::path pdf = folder / "pdf" / (name + ".pdf");
    if (!fs::exists(pdf)) {
        *error = name + " is not an example document";
        return {};
    }
    return pdf;
}

}  // namespace e2e
