// The print spooler's printers and the default printer, with the semantics of the Windows
// spooler functions the program calls.
//
// The printers live in "printers.ini" under the platform root:
//
//   [Printers]
//   Tessaline=Tessaline
//   [Default]
//   Printer=Tessaline
//
// "[Printers]" holds name=driver lines in the order the printers were added; "[Default]" names
// the default printer in the printer's own spelling; "[Drivers]" names the service program of
// a driver; "[Jobs]" holds the number of the next print job.
// Every change is one atomic read-modify-write of that file under its lock, so processes that
// add, delete or choose printers at the same time lose no change, and a reader sees the file
// before or after a change, never half of it. Reading never creates the file or the root.
// Printer names compare without regard to case, as on Windows.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/last_error.h"
#include "platform/win_types.h"

constexpr DWORD ERROR_INVALID_PRINTER_NAME = 1801;

// Copies the default printer's name into `buffer`. *size is the buffer's size in characters;
// on success it receives the count copied including the terminator. A buffer too small (or
// null) gives FALSE, ERROR_INSUFFICIENT_BUFFER and the size needed in *size. No default
// printer, or a default that names no existing printer, gives FALSE and ERROR_FILE_NOT_FOUND.
// A null `size` gives ERROR_INVALID_PARAMETER.
BOOL GetDefaultPrinterA(LPSTR buffer, LPDWORD size);

// Makes the named printer the default. A null or empty name, or one that names no printer,
// gives FALSE and ERROR_INVALID_PRINTER_NAME and leaves the default as it was.
BOOL SetDefaultPrinterA(LPCSTR name);

namespace platform {

struct PrinterInfo {
    std::string name;
    std::string driver;
    bool operator==(const PrinterInfo&) const = default;
};

// Adds a printer, or gives an existing printer of that name (any case; it keeps its spelling)
// the new driver. A name must not be empty, begin or end with a blank, begin with ";" or hold
// a line break, NUL, "=", "[" or "]": such a name gives false and ERROR_INVALID_PRINTER_NAME.
// A driver holding a line break or NUL, or beginning or ending with a blank, gives false and
// ERROR_INVALID_PARAMETER. Nothing is written when the call fails.
bool AddPrinter(const std::string& name, const std::string& driver);

// Removes a printer; when it was the default there is no default printer afterwards. An
// unknown name gives false and ERROR_INVALID_PRINTER_NAME.
bool DeletePrinter(const std::string& name);

// Every printer, in the order added.
std::vector<PrinterInfo> ListPrinters();

// The printer of that name (any case), or nullopt.
std::optional<PrinterInfo> FindPrinter(const std::string& name);

// The program's query: GetDefaultPrinterA with a 256-byte buffer, "" when it fails.
std::string DefaultPrinterName();

// The program's change: SetDefaultPrinterA, true when it returns nonzero.
bool MakeDefaultPrinter(const std::string& name);

// The Windows folder of this installation: $windir when set, else the platform root's
// "windows" folder. The spooler's files live below it in "system32/spool/PRINTERS/".
std::string WindowsFolder();
// WindowsFolder() followed by "/system32/spool/PRINTERS/".
std::string SpoolFolder();

// The program that carries out a driver's jobs, as the spooler service runs a printer's
// driver; kept in "[Drivers]" as driver=path. A driver without one discards its jobs.
bool SetDriverService(const std::string& driver, const std::string& servicePath);
bool RemoveDriverService(const std::string& driver);
std::optional<std::string> DriverService(const std::string& driver);

// Hands a print job file to a printer. The spooler takes the file over (it moves it into
// its own folder), numbers the job, and starts the driver's service on it in a process of its
// own, detached, so the call returns before the job is printed. *jobId receives the number.
// ERROR_INVALID_PRINTER_NAME for an unknown printer; the job file is then left where it was.
DWORD SubmitPrintJob(const std::string& printerName, const std::string& jobFile,
                     DWORD* jobId = nullptr);

}  // namespace platform
