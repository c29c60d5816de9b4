// tessaline-install: sets up an installation in the current platform root, as the product's
// installer does on Windows. It registers the virtual printer "Tessaline" and one ordinary
// printer, points TempDir at the user's temporary folder, and registers the component classes
// whose libraries are in the program folder. Running it again changes nothing; --uninstall
// takes away what it added and leaves everything else alone.
#pragma once

#include <cstddef>
#include <ostream>
#include <string>
#include <vector>

#include "platform/com.h"

namespace tessaline::installer {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;  // something could not be set up or taken away
constexpr int kExitUsage = 2;    // the command line is wrong

// The virtual printer the conversion prints to.
inline constexpr char kVirtualPrinter[] = "Tessaline";
inline constexpr char kVirtualPrinterDriver[] = "Tessaline EMF Driver";
// The program in the program folder that carries out the virtual printer's jobs.
inline constexpr char kVirtualPrinterService[] = "tessaline-spoold";
// A printer like the one a user already has, so there is a default printer to come back to.
inline constexpr char kOrdinaryPrinter[] = "Office Laser";
inline constexpr char kOrdinaryPrinterDriver[] = "Generic Text";

// HKEY_CURRENT_USER\Software\Tessaline\TempDir: the folder the hand-off writes pages to, in
// the user's temporary folder. Install makes it private (platform::EnsurePrivateFolder), or
// fails without setting anything up when a folder there is not the user's alone.
inline constexpr char kSettingsKey[] = "Software\\Tessaline";
inline constexpr char kTempDirValue[] = "TempDir";
inline constexpr char kOutputFolderName[] = "DravelleOutput/";
// The program reads the hand-off file's path, TempDir followed by "config.ini", into a buffer of
// this size and needs the path with its terminator to be shorter than that.
constexpr std::size_t kTempDirBufferSize = 80;
inline constexpr char kHandOffFileName[] = "config.ini";

// {333BA72C-0200-4BCC-B0EB-8AF38066D4C4}
inline constexpr CLSID kWordApplicationClsid = {
    0x333BA72C, 0x0200, 0x4BCC, {0xB0, 0xEB, 0x8A, 0xF3, 0x80, 0x66, 0xD4, 0xC4}};
// {4F840A22-7927-41DE-B45B-10785070F16F}
inline constexpr CLSID kPdfDocumentClsid = {
    0x4F840A22, 0x7927, 0x41DE, {0xB4, 0x5B, 0x10, 0x78, 0x50, 0x70, 0xF1, 0x6F}};

inline constexpr char kWordLibrary[] = "libTessalineWord.so";
inline constexpr char kPdfEngineLibrary[] = "libTessalinePdfEngine.so";

struct ComponentClass {
    const char* progId;
    CLSID clsid;
    const char* library;  // file name in the program folder
};

inline constexpr ComponentClass kComponentClasses[] = {
    {"Word.Application", kWordApplicationClsid, kWordLibrary},
    {"PDFCreatorPilot.PDFDocument4", kPdfDocumentClsid, kPdfEngineLibrary},
};

// Sets up the installation. `programFolder` ends in "/". Each action is reported on one line of
// `out`; a failure is reported on `err`. Returns the exit code.
int Install(const std::string& programFolder, std::ostream& out, std::ostream& err);

// Takes away the printers, TempDir and class registrations Install adds.
int Uninstall(std::ostream& out, std::ostream& err);

// The command line: no argument installs, "--uninstall" uninstalls, "--help" prints the usage.
// `args` are the arguments after the program name.
int RunInstaller(const std::vector<std::string>& args, const std::string& programFolder,
                 std::ostream& out, std::ostream& err);

}  // namespace tessaline::installer
