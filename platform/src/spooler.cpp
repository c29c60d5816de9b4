#include "platform/spooler.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <string_view>
#include <vector>

#include "platform/atomic_file.h"
#include "platform/root.h"
#include "platform/src/ini_document.h"
#include "platform/text.h"

namespace platform {
namespace {

constexpr std::string_view kPrintersSection = "Printers";
constexpr std::string_view kDefaultSection = "Default";
constexpr std::string_view kDefaultKey = "Printer";
constexpr std::string_view kDriversSection = "Drivers";
constexpr std::string_view kJobsSection = "Jobs";
constexpr std::string_view kNextJobKey = "Next";
// Spool files carry the job number in five digits, as the Windows spooler names them.
constexpr DWORD kLastJobNumber = 99999;

// Characters that would end a line of the file, or the C string a name is passed as.
constexpr std::string_view kLineBreaksAndNul{"\r\n\0", 3};
// ...and those that would turn a name into a section header or split it at "=".
constexpr std::string_view kBadNameCharacters{"\r\n\0=[]", 6};

std::string PrintersFilePath() {
    return (PlatformRoot() / "printers.ini").string();
}

bool IsBlank(char c) {
    return c == ' ' || c == '\t';
}

// The file trims blanks around names and values, so text with them would not read back as
// written; a leading ";" would make the line a comment.
bool ValidPrinterName(std::string_view name) {
    return !name.empty() && !IsBlank(name.front()) && !IsBlank(name.back()) &&
           name.front() != ';' && name.find_first_of(kBadNameCharacters) == name.npos;
}

bool ValidDriverName(std::string_view driver) {
    return driver.find_first_of(kLineBreaksAndNul) == driver.npos &&
           (driver.empty() || (!IsBlank(driver.front()) && !IsBlank(driver.back())));
}

// The printers file as it stands; a missing file (or root) holds no printers.
DWORD Load(IniDocument* doc) {
    DWORD error = ERROR_SUCCESS;
    std::optional<std::string> content = ReadWholeFile(PrintersFilePath(), &error);
    *doc = IniDocument::Parse(content ? *content : std::string());
    if (!content && error != ERROR_FILE_NOT_FOUND && error != ERROR_PATH_NOT_FOUND) {
        return error;
    }
    return ERROR_SUCCESS;
}

// Compared in full, not trimmed as the file's own key lookup would, so " Tessaline" is not
// taken for "Tessaline".
std::optional<PrinterInfo> FindIn(const IniDocument& doc, std::string_view name) {
    for (const std::string& key : doc.KeyNames(kPrintersSection)) {
        if (EqualsNoCase(key, name)) {
            return PrinterInfo{key, doc.Value(kPrintersSection, key).value_or("")};
        }
    }
    return std::nullopt;
}

// The default printer's name in the printer's own spelling; nullopt when there is no default
// or it names a printer that no longer exists.
std::optional<std::string> DefaultIn(const IniDocument& doc) {
    std::optional<std::string> name = doc.Value(kDefaultSection, kDefaultKey);
    if (!name || name->empty()) {
        return std::nullopt;
    }
    std::optional<PrinterInfo> printer = FindIn(doc, *name);
    if (!printer) {
        return std::nullopt;
    }
    return printer->name;
}

// One change: edit returns ERROR_SUCCESS or the error that refuses the change, and sets
// *changed when the document needs writing.
using Edit = std::function<DWORD(IniDocument& doc, bool* changed)>;

// Tries the edit on the file as it stands first: a change that is refused or has nothing to do
// there takes effect at that moment without touching the root. Otherwise the edit runs again
// under the file's lock on the current content, which is what gets written.
DWORD Update(const Edit& edit) {
    IniDocument current;
    if (Load(&current) == ERROR_SUCCESS) {
        bool changed = false;
        DWORD refused = edit(current, &changed);
        if (refused != ERROR_SUCCESS || !changed) {
            return refused;
        }
    }
    if (!EnsurePlatformRoot(nullptr)) {
        return ERROR_PATH_NOT_FOUND;
    }
    DWORD refused = ERROR_SUCCESS;
    DWORD error = UpdateFileAtomically(
        PrintersFilePath(),
        [&](std::optional<std::string>& content) {
            IniDocument doc = IniDocument::Parse(content ? *content : std::string());
            bool changed = false;
            refused = edit(doc, &changed);
            if (refused != ERROR_SUCCESS || !changed) {
                return EditResult::kUnchanged;
            }
            content = doc.Serialize();
            return EditResult::kChanged;
        },
        0600);
    return error != ERROR_SUCCESS ? error : refused;
}

bool Succeeded(DWORD error) {
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return false;
    }
    return true;
}

}  // namespace

bool AddPrinter(const std::string& name, const std::string& driver) {
    if (!ValidPrinterName(name)) {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return false;
    }
    if (!ValidDriverName(driver)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return Succeeded(Update([&](IniDocument& doc, bool* changed) {
        std::optional<PrinterInfo> existing = FindIn(doc, name);
        *changed = doc.SetValue(kPrintersSection, existing ? existing->name : name, driver);
        return ERROR_SUCCESS;
    }));
}

bool DeletePrinter(const std::string& name) {
    return Succeeded(Update([&](IniDocument& doc, bool* changed) -> DWORD {
        std::optional<PrinterInfo> printer = FindIn(doc, name);
        if (!printer) {
            return ERROR_INVALID_PRINTER_NAME;
        }
        std::optional<std::string> defaultName = doc.Value(kDefaultSection, kDefaultKey);
        if (defaultName && EqualsNoCase(*defaultName, printer->name)) {
            doc.DeleteSection(kDefaultSection);
        }
        *changed = doc.DeleteKey(kPrintersSection, printer->name);
        return ERROR_SUCCESS;
    }));
}

std::vector<PrinterInfo> ListPrinters() {
    IniDocument doc;
    Load(&doc);
    std::vector<PrinterInfo> printers;
    for (const std::string& key : doc.KeyNames(kPrintersSection)) {
        // A hand-edited file may repeat a name; its first line is the one that counts.
        bool seen = false;
        for (const PrinterInfo& printer : printers) {
            seen = seen || EqualsNoCase(printer.name, key);
        }
        if (!seen) {
            printers.push_back({key, doc.Value(kPrintersSection, key).value_or("")});
        }
    }
    return printers;
}

std::optional<PrinterInfo> FindPrinter(const std::string& name) {
    IniDocument doc;
    Load(&doc);
    return FindIn(doc, name);
}

std::string WindowsFolder() {
    const char* windir = std::getenv("windir");
    if (windir != nullptr && *windir != '\0') {
        return windir;
    }
    return (PlatformRoot() / "windows").string();
}

std::string SpoolFolder() {
    std::string folder = WindowsFolder();
    if (folder.back() != '/') {
        folder += '/';
    }
    return folder + "system32/spool/PRINTERS/";
}

bool SetDriverService(const std::string& driver, const std::string& servicePath) {
    if (driver.empty() || !ValidPrinterName(driver) || !ValidDriverName(servicePath)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return false;
    }
    return Succeeded(Update([&](IniDocument& doc, bool* changed) {
        *changed = doc.SetValue(kDriversSection, driver, servicePath);
        return ERROR_SUCCESS;
    }));
}

bool RemoveDriverService(const std::string& driver) {
    return Succeeded(Update([&](IniDocument& doc, bool* changed) {
        *changed = doc.DeleteKey(kDriversSection, driver);
        return ERROR_SUCCESS;
    }));
}

std::optional<std::string> DriverService(const std::string& driver) {
    IniDocument doc;
    Load(&doc);
    std::optional<std::string> path = doc.Value(kDriversSection, driver);
    if (!path || path->empty()) {
        return std::nullopt;
    }
    return path;
}

namespace {

// The next job number, counted in the printers file so processes never share one.
DWORD NextJobNumber(DWORD* number) {
    return Update([&](IniDocument& doc, bool* changed) {
        std::optional<std::string> text = doc.Value(kJobsSection, kNextJobKey);
        unsigned long next = text ? std::strtoul(text->c_str(), nullptr, 10) : 1;
        if (next == 0 || next > kLastJobNumber) {
            next = 1;
        }
        *number = static_cast<DWORD>(next);
        doc.SetValue(kJobsSection, kNextJobKey,
                     std::to_string(next == kLastJobNumber ? 1 : next + 1));
        *changed = true;
        return ERROR_SUCCESS;
    });
}

// Moves the job file into the spooler's own folder of jobs.
DWORD TakeOverJobFile(const std::string& jobFile, DWORD number, std::string* taken) {
    std::filesystem::path folder = PlatformRoot() / "spool" / "jobs";
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    ::chmod(folder.parent_path().c_str(), 0700);
    ::chmod(folder.c_str(), 0700);
    *taken = (folder / (std::to_string(number) + ".job")).string();
    std::filesystem::rename(jobFile, *taken, error);
    if (error) {
        // Another file system: copy, then remove the original.
        std::filesystem::copy_file(jobFile, *taken,
                                   std::filesystem::copy_options::overwrite_existing, error);
        if (error) {
            return ErrorFromErrno(error.value());
        }
        std::filesystem::remove(jobFile, error);
    }
    return ERROR_SUCCESS;
}

// Starts the service and waits only for its first process, which detaches the worker that
// prints the job and then ends: the caller keeps no child behind.
DWORD StartService(const std::string& service, const std::string& printer, DWORD number,
                   const std::string& jobPath) {
    const std::string numberText = std::to_string(number);
    std::vector<char*> argv = {const_cast<char*>(service.c_str()),
                               const_cast<char*>("--printer"),
                               const_cast<char*>(printer.c_str()),
                               const_cast<char*>("--job"),
                               const_cast<char*>(numberText.c_str()),
                               const_cast<char*>(jobPath.c_str()),
                               nullptr};
    pid_t pid = 0;
    int spawned = ::posix_spawn(&pid, service.c_str(), nullptr, nullptr, argv.data(), environ);
    if (spawned != 0) {
        return ErrorFromErrno(spawned);
    }
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) {
            return ErrorFromErrno(errno);
        }
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0 ? ERROR_SUCCESS : ERROR_WRITE_FAULT;
}

}  // namespace

DWORD SubmitPrintJob(const std::string& printerName, const std::string& jobFile, DWORD* jobId) {
    std::optional<PrinterInfo> printer = FindPrinter(printerName);
    if (!printer) {
        return ERROR_INVALID_PRINTER_NAME;
    }
    DWORD number = 0;
    if (DWORD error = NextJobNumber(&number); error != ERROR_SUCCESS) {
        return error;
    }
    if (jobId != nullptr) {
        *jobId = number;
    }
    std::string jobPath;
    if (DWORD error = TakeOverJobFile(jobFile, number, &jobPath); error != ERROR_SUCCESS) {
        return error;
    }
    std::optional<std::string> service = DriverService(printer->driver);
    if (!service) {
        // A printer without a service of ours prints nowhere: the job is done with.
        std::error_code ignored;
        std::filesystem::remove(jobPath, ignored);
        return ERROR_SUCCESS;
    }
    DWORD error = StartService(*service, printer->name, number, jobPath);
    if (error != ERROR_SUCCESS) {
        std::error_code ignored;
        std::filesystem::remove(jobPath, ignored);
    }
    return error;
}

std::string DefaultPrinterName() {
    char buffer[256];
    DWORD size = sizeof buffer;
    if (!GetDefaultPrinterA(buffer, &size)) {
        return std::string();
    }
    return std::string(buffer);
}

bool MakeDefaultPrinter(const std::string& name) {
    return SetDefaultPrinterA(name.c_str()) != FALSE;
}

}  // namespace platform

BOOL GetDefaultPrinterA(LPSTR buffer, LPDWORD size) {
    if (size == nullptr) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    platform::IniDocument doc;
    DWORD error = platform::Load(&doc);
    if (error != ERROR_SUCCESS) {
        SetLastError(error);
        return FALSE;
    }
    std::optional<std::string> name = platform::DefaultIn(doc);
    if (!name) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return FALSE;
    }
    const DWORD needed = static_cast<DWORD>(name->size() + 1);
    if (buffer == nullptr || *size < needed) {
        *size = needed;
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return FALSE;
    }
    std::memcpy(buffer, name->c_str(), needed);
    *size = needed;
    return TRUE;
}

BOOL SetDefaultPrinterA(LPCSTR name) {
    if (name == nullptr || *name == '\0') {
        SetLastError(ERROR_INVALID_PRINTER_NAME);
        return FALSE;
    }
    const std::string_view wanted(name);
    DWORD error = platform::Update([&](platform::IniDocument& doc, bool* changed) {
        std::optional<platform::PrinterInfo> printer = platform::FindIn(doc, wanted);
        if (!printer) {
            return ERROR_INVALID_PRINTER_NAME;
        }
        *changed = doc.SetValue(platform::kDefaultSection, platform::kDefaultKey, printer->name);
        return ERROR_SUCCESS;
    });
    return platform::Succeeded(error) ? TRUE : FALSE;
}
