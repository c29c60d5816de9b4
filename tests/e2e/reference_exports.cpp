#include "tests/e2e/reference_exports.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <sstream>
#include <vector>

#include "tests/e2e/e2e_environment.h"
#include "tests/support/run_process.h"
#include "tests/support/scoped_environment.h"

namespace e2e {

namespace {

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
    std::vector<fs::path> copies;
    for (const std::string& name : names) {
        fs::rename(folder / "documents" / name, folder / "documents" / CopyName(name));
        copies.push_back(folder / "documents" / CopyName(name));
    }
    return ConvertWithLibreOffice(copies, kReferencePdfFilter, folder / "pdf", error);
}

}  // namespace

fs::path ReferenceDocumentFolder() {
    return CacheFolder() / "documents";
}

bool ConvertWithLibreOffice(const std::vector<fs::path>& documents, const std::string& filter,
                            const fs::path& outFolder, std::string* error) {
    testing_support::TempFolder office("e2e-reference-office");
    std::vector<std::string> argv = {
        "/usr/bin/soffice", "--headless",
        "--norestore",      "-env:UserInstallation=file://" + (office.Path() / "profile").string(),
        "--convert-to",     filter,
        "--outdir",         outFolder.string()};
    for (const fs::path& document : documents) {
        argv.push_back(document.string());
    }
    // The office's own temporary files stay in its folder, out of any test's platform.
    testing_support::ProcessOptions options;
    options.environment["TMPDIR"] = office.Str();
    options.environment["HOME"] = office.Str();
    const testing_support::ProcessResult result = testing_support::RunProcess(argv, options);
    const std::string extension = "." + filter.substr(0, filter.find(':'));
    for (const fs::path& document : documents) {
        const fs::path made = outFolder / (document.stem().string() + extension);
        if (!fs::exists(made)) {
            *error = "LibreOffice made no " + made.filename().string() + " (exit " +
                     std::to_string(result.exitCode) + "): " + result.output + result.errors;
            return false;
        }
    }
    return true;
}

bool MadeOnce(const fs::path& folder, const std::string& stamp,
              const std::function<bool(std::string*)>& make, std::string* error) {
    fs::create_directories(folder);
    // Test cases run as processes of their own, possibly in parallel: one makes, the rest wait.
    const int lock = ::open((folder / ".lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX) != 0) {
        *error = "cannot lock " + folder.string();
        if (lock >= 0) {
            ::close(lock);
        }
        return false;
    }
    const fs::path stampFile = folder / ".stamp";
    bool ready = fs::exists(stampFile) && testing_support::ReadFile(stampFile) == stamp;
    if (!ready) {
        fs::remove(stampFile);
        ready = make(error);
        if (ready) {
            testing_support::WriteFile(stampFile, stamp);
        }
    }
    ::close(lock);
    return ready;
}

fs::path ReferencePdf(const std::string& name, std::string* error) {
    const fs::path folder = CacheFolder();
    if (!MadeOnce(
            folder, ExamplesStamp(), [&](std::string* why) { return MakeExports(folder, why); },
            error)) {
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
