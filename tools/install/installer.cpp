#include "tools/install/installer.h"

#include <strings.h>

#include <filesystem>
#include <optional>

#include "contracts/Installation.h"
#include "platform/com.h"
#include "platform/last_error.h"
#include "platform/paths.h"
#include "platform/registry.h"
#include "platform/spooler.h"

namespace tessaline::installer {
namespace {

using contracts::ComponentClass;
using contracts::kComponentClasses;
using contracts::kHandOffFileName;
using contracts::kOrdinaryPrinter;
using contracts::kOrdinaryPrinterDriver;
using contracts::kOutputFolder;
using contracts::kPathValueBufferSize;
using contracts::kSettingsKey;
using contracts::kTempDirValue;
using contracts::kVirtualPrinter;
using contracts::kVirtualPrinterDriver;
using contracts::kVirtualPrinterService;

constexpr char kHiveName[] = "HKEY_CURRENT_USER\\";

constexpr char kUsage[] =
    "Usage: tessaline-install [--uninstall | --help]\n"
    "Sets up Tessaline in the platform root ($TESSALINE_ROOT): the printers \"Tessaline\" and\n"
    "\"Office Laser\", HKEY_CURRENT_USER\\Software\\Tessaline\\TempDir, and the component\n"
    "classes whose libraries are in the program folder. Running it again changes nothing.\n"
    "  --uninstall  take away what the installer set up, and nothing else\n"
    "  --help       show this text\n";

struct PrinterEntry {
    const char* name;
    const char* driver;
    // The virtual printer only works with its own driver; an ordinary printer the user already
    // has under that name is theirs to keep.
    bool ownsName;
};

constexpr PrinterEntry kPrinters[] = {
    {kVirtualPrinter, kVirtualPrinterDriver, true},
    {kOrdinaryPrinter, kOrdinaryPrinterDriver, false},
};

// Printer names, like registry names, compare without regard to case.
bool SameName(const std::string& a, const std::string& b) {
    return ::strcasecmp(a.c_str(), b.c_str()) == 0;
}

std::string ErrorCode(DWORD error) {
    return "error " + std::to_string(error);
}

std::string HResultText(HRESULT hr) {
    return _com_error(hr).ErrorMessage();
}

// ---- Printers --------------------------------------------------------------------------

bool InstallPrinter(const PrinterEntry& printer, std::ostream& out, std::ostream& err) {
    const std::optional<platform::PrinterInfo> existing = platform::FindPrinter(printer.name);
    if (existing && existing->driver == printer.driver) {
        out << "printer " << existing->name << " already registered\n";
        return true;
    }
    if (existing && !printer.ownsName) {
        out << "kept printer " << existing->name << " (driver " << existing->driver << ")\n";
        return true;
    }
    // AddPrinter gives an existing printer of that name the new driver.
    if (!platform::AddPrinter(printer.name, printer.driver)) {
        err << "tessaline-install: cannot register printer " << printer.name << " ("
            << ErrorCode(GetLastError()) << ")\n";
        return false;
    }
    if (existing) {
        out << "changed the driver of printer " << existing->name << " from " << existing->driver
            << " to " << printer.driver << "\n";
    } else {
        out << "registered printer " << printer.name << " (driver " << printer.driver << ")\n";
    }
    return true;
}

bool EnsureDefaultPrinter(std::ostream& out, std::ostream& err) {
    // An empty name also covers a default that names a printer no longer there.
    const std::string current = platform::DefaultPrinterName();
    if (!current.empty()) {
        out << "kept the default printer " << current << "\n";
        return true;
    }
    if (!platform::MakeDefaultPrinter(kOrdinaryPrinter)) {
        err << "tessaline-install: cannot make " << kOrdinaryPrinter << " the default printer ("
            << ErrorCode(GetLastError()) << ")\n";
        return false;
    }
    out << "made " << kOrdinaryPrinter << " the default printer\n";
    return true;
}

bool UninstallPrinter(const PrinterEntry& printer, std::ostream& out, std::ostream& err) {
    const std::optional<platform::PrinterInfo> existing = platform::FindPrinter(printer.name);
    if (!existing) {
        out << "printer " << printer.name << " was not registered\n";
        return true;
    }
    if (existing->driver != printer.driver) {
        out << "kept printer " << existing->name << ": its driver " << existing->driver
            << " is not the installer's\n";
        return true;
    }
    const bool wasDefault = SameName(platform::DefaultPrinterName(), existing->name);
    // Deleting the default printer leaves no default behind.
    if (!platform::DeletePrinter(existing->name)) {
        err << "tessaline-install: cannot remove printer " << existing->name << " ("
            << ErrorCode(GetLastError()) << ")\n";
        return false;
    }
    out << "removed printer " << existing->name << "\n";
    if (wasDefault) {
        out << existing->name << " was the default printer; there is no default printer now\n";
    }
    return true;
}

// ---- Registry --------------------------------------------------------------------------

// A string value with its terminator, as REG_SZ is stored on Windows.
LSTATUS WriteString(const char* keyPath, const char* name, const std::string& value) {
    HKEY key = nullptr;
    LSTATUS status =
        RegCreateKeyExA(HKEY_CURRENT_USER, keyPath, 0, nullptr, REG_OPTION_NON_VOLATILE,
                        KEY_SET_VALUE, nullptr, &key, nullptr);
    if (status != ERROR_SUCCESS) {
        return status;
    }
    status = RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                            static_cast<DWORD>(value.size() + 1));
    RegCloseKey(key);
    return status;
}

// A string value without its terminator; nullopt when the key or value is missing.
std::optional<std::string> ReadString(const std::string& keyPath, const char* name) {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, keyPath.c_str(), 0, KEY_QUERY_VALUE, &key) !=
        ERROR_SUCCESS) {
        return std::nullopt;
    }
    DWORD type = 0;
    DWORD size = 0;
    std::optional<std::string> value;
    if (RegQueryValueExA(key, name, nullptr, &type, nullptr, &size) == ERROR_SUCCESS &&
        type == REG_SZ) {
        std::string data(size, '\0');
        if (RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(data.data()),
                             &size) == ERROR_SUCCESS) {
            data.resize(size);
            while (!data.empty() && data.back() == '\0') {
                data.pop_back();
            }
            value = std::move(data);
        }
    }
    RegCloseKey(key);
    return value;
}

bool KeyIsEmpty(HKEY key) {
    char name[256];
    DWORD size = sizeof name;
    if (RegEnumValueA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) !=
        static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS)) {
        return false;
    }
    size = sizeof name;
    return RegEnumKeyExA(key, 0, name, &size, nullptr, nullptr, nullptr, nullptr) ==
           static_cast<LSTATUS>(ERROR_NO_MORE_ITEMS);
}

bool UninstallTempDir(std::ostream& out, std::ostream& err) {
    const std::string valuePath = std::string(kHiveName) + kSettingsKey + "\\" + kTempDirValue;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_CURRENT_USER, kSettingsKey, 0, KEY_ALL_ACCESS, &key) != ERROR_SUCCESS) {
        out << valuePath << " was not set\n";
        return true;
    }
    LSTATUS status = RegDeleteValueA(key, kTempDirValue);
    if (status == ERROR_SUCCESS) {
        out << "removed " << valuePath << "\n";
    } else if (status == static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) {
        out << valuePath << " was not set\n";
    } else {
        RegCloseKey(key);
        err << "tessaline-install: cannot remove " << valuePath << " (" << ErrorCode(status)
            << ")\n";
        return false;
    }
    // Values others keep there (the hand-off's Inifile, say) keep the key.
    const bool empty = KeyIsEmpty(key);
    RegCloseKey(key);
    if (!empty) {
        return true;
    }
    status = RegDeleteKeyA(HKEY_CURRENT_USER, kSettingsKey);
    if (status != ERROR_SUCCESS) {
        err << "tessaline-install: cannot remove " << kHiveName << kSettingsKey << " ("
            << ErrorCode(status) << ")\n";
        return false;
    }
    out << "removed " << kHiveName << kSettingsKey << "\n";
    return true;
}

// ---- Component classes -----------------------------------------------------------------

std::string ProgIdClassKey(const ComponentClass& component) {
    return std::string("Software\\Classes\\") + component.progId + "\\CLSID";
}

bool InstallClass(const ComponentClass& component, const std::string& programFolder,
                  std::ostream& out, std::ostream& err) {
    const std::string library = programFolder + component.library;
    std::error_code ignored;
    if (!std::filesystem::is_regular_file(library, ignored)) {
        out << "skipped " << component.progId << ": " << component.library
            << " not in the program folder\n";
        return true;
    }
    const HRESULT hr = platform::RegisterComClass(component.progId, component.clsid, library);
    if (FAILED(hr)) {
        err << "tessaline-install: cannot register " << component.progId << ": " << HResultText(hr)
            << "\n";
        return false;
    }
    out << "registered " << component.progId << " " << platform::GuidToString(component.clsid)
        << " from " << library << "\n";
    return true;
}

bool UninstallClass(const ComponentClass& component, std::ostream& out, std::ostream& err) {
    const std::string classId = platform::GuidToString(component.clsid);
    const std::optional<std::string> registered = ReadString(ProgIdClassKey(component), "");
    if (registered && SameName(*registered, classId)) {
        const HRESULT hr = platform::UnregisterComClass(component.progId, component.clsid);
        if (FAILED(hr)) {
            err << "tessaline-install: cannot unregister " << component.progId << ": "
                << HResultText(hr) << "\n";
            return false;
        }
        out << "unregistered " << component.progId << "\n";
        return true;
    }
    // The ProgID is not ours (or gone); only our own class id's entries are taken away.
    const std::string classKey = "Software\\Classes\\CLSID\\" + classId;
    const LSTATUS status = RegDeleteTreeA(HKEY_CURRENT_USER, classKey.c_str());
    if (status != ERROR_SUCCESS && status != static_cast<LSTATUS>(ERROR_FILE_NOT_FOUND)) {
        err << "tessaline-install: cannot remove class " << classId << " (" << ErrorCode(status)
            << ")\n";
        return false;
    }
    if (registered) {
        out << "kept " << component.progId << ": it names class " << *registered
            << ", not the installer's\n";
    } else {
        out << component.progId << " was not registered\n";
    }
    return true;
}

}  // namespace

int Install(const std::string& programFolder, std::ostream& out, std::ostream& err) {
    if (programFolder.empty()) {
        err << "tessaline-install: cannot find the program folder\n";
        return kExitFailure;
    }
    const std::string temp = platform::TempPath();
    if (temp.empty()) {
        err << "tessaline-install: cannot find the user's temporary folder ("
            << ErrorCode(GetLastError()) << ")\n";
        return kExitFailure;
    }
    // Checked before anything is written, so a refused installation leaves no half of itself.
    const std::string tempDir = temp + kOutputFolder + "/";
    const std::size_t handOffBytes = tempDir.size() + sizeof kHandOffFileName;
    if (handOffBytes >= kPathValueBufferSize) {
        err << "tessaline-install: TempDir " << tempDir << " is too long: the hand-off file "
            << tempDir << kHandOffFileName << " would take " << handOffBytes
            << " bytes with its terminator, but the program reads fewer than "
            << kPathValueBufferSize << "; set TMPDIR to a shorter folder\n";
        return kExitFailure;
    }
    // The pages of every printed document go there: a folder that cannot be the user's alone
    // (a link, another user's) is reported here rather than failing each print job.
    if (!platform::EnsurePrivateFolder(tempDir)) {
        err << "tessaline-install: TempDir " << tempDir << " cannot be used ("
            << ErrorCode(GetLastError())
            << "): it must be a folder of yours alone, not a link and owned by you; remove it "
               "and run the installer again\n";
        return kExitFailure;
    }

    for (const PrinterEntry& printer : kPrinters) {
        if (!InstallPrinter(printer, out, err)) {
            return kExitFailure;
        }
    }
    if (!EnsureDefaultPrinter(out, err)) {
        return kExitFailure;
    }
    const std::string service = programFolder + kVirtualPrinterService;
    if (!platform::SetDriverService(kVirtualPrinterDriver, service)) {
        err << "tessaline-install: cannot register the driver service " << service << " ("
            << ErrorCode(GetLastError()) << ")\n";
        return kExitFailure;
    }
    out << "registered " << service << " for the driver " << kVirtualPrinterDriver << "\n";

    const LSTATUS status = WriteString(kSettingsKey, kTempDirValue, tempDir);
    if (status != ERROR_SUCCESS) {
        err << "tessaline-install: cannot set " << kHiveName << kSettingsKey << "\\"
            << kTempDirValue << " (" << ErrorCode(status) << ")\n";
        return kExitFailure;
    }
    out << "set " << kHiveName << kSettingsKey << "\\" << kTempDirValue << " to " << tempDir
        << "\n";

    for (const ComponentClass& component : kComponentClasses) {
        if (!InstallClass(component, programFolder, out, err)) {
            return kExitFailure;
        }
    }
    return kExitSuccess;
}

int Uninstall(std::ostream& out, std::ostream& err) {
    for (const PrinterEntry& printer : kPrinters) {
        if (!UninstallPrinter(printer, out, err)) {
            return kExitFailure;
        }
    }
    if (platform::DriverService(kVirtualPrinterDriver)) {
        platform::RemoveDriverService(kVirtualPrinterDriver);
        out << "removed the service of the driver " << kVirtualPrinterDriver << "\n";
    }
    if (!UninstallTempDir(out, err)) {
        return kExitFailure;
    }
    for (const ComponentClass& component : kComponentClasses) {
        if (!UninstallClass(component, out, err)) {
            return kExitFailure;
        }
    }
    return kExitSuccess;
}

int RunInstaller(const std::vector<std::string>& args, const std::string& programFolder,
                 std::ostream& out, std::ostream& err) {
    if (args.empty()) {
        return Install(programFolder, out, err);
    }
    if (args.size() == 1 && args[0] == "--uninstall") {
        return Uninstall(out, err);
    }
    if (args.size() == 1 && (args[0] == "--help" || args[0] == "-h")) {
        out << kUsage;
        return kExitSuccess;
    }
    if (args.size() > 1) {
        err << "tessaline-install: expected at most one argument\n" << kUsage;
    } else {
        err << "tessaline-install: unknown argument '" << args[0] << "'\n" << kUsage;
    }
    return kExitUsage;
}

}  // namespace tessaline::installer
