// The names and ids an installation is made of, which the installer sets up and the program, the
// printer's spooler side and the components find things by: printers and their driver, the
// settings in the registry, the hand-off between the spooler side and the program, and the
// component classes.
#pragma once

#include <array>
#include <cstddef>

#include "platform/com.h"

namespace tessaline::contracts {

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
inline constexpr char kOutputFolder[] = "DravelleOutput";  // TempDir is this folder + "/"
// The hand-off: the spooler side writes the page list to TempDir + kHandOffFileName, stores that
// path in the value kHandOffPathValue beside TempDir and opens the program's pipe to say so.
inline constexpr char kHandOffFileName[] = "config.ini";
inline constexpr char kHandOffPathValue[] = "Inifile";
inline constexpr char kHandOffPipeName[] = "\\\\.\\pipe\\tessalinepipe";
// TempDir and the hand-off file's path are each read into a buffer of this size: a path needs
// to be shorter than that with its terminator.
inline constexpr std::size_t kPathValueBufferSize = 80;

// {333BA72C-0200-4BCC-B0EB-8AF38066D4C4}
inline constexpr CLSID kWordApplicationClsid = {
    0x333BA72C, 0x0200, 0x4BCC, {0xB0, 0xEB, 0x8A, 0xF3, 0x80, 0x66, 0xD4, 0xC4}};
// {4F840A22-7927-41DE-B45B-10785070F16F}
inline constexpr CLSID kPdfDocumentClsid = {
    0x4F840A22, 0x7927, 0x41DE, {0xB4, 0x5B, 0x10, 0x78, 0x50, 0x70, 0xF1, 0x6F}};

inline constexpr char kWordApplicationProgId[] = "Word.Application";
inline constexpr char kPdfDocumentProgId[] = "PDFCreatorPilot.PDFDocument4";

// An ASCII name as the OLE string CLSIDFromProgID takes, terminator included.
template <std::size_t N>
consteval std::array<char16_t, N> OleName(const char (&ascii)[N]) {
    std::array<char16_t, N> wide{};
    for (std::size_t i = 0; i < N; ++i) {
        wide[i] = static_cast<char16_t>(ascii[i]);
    }
    return wide;
}
inline constexpr auto kWordApplicationOleProgId = OleName(kWordApplicationProgId);
inline constexpr auto kPdfDocumentOleProgId = OleName(kPdfDocumentProgId);

// File names in the program folder.
inline constexpr char kWordLibrary[] = "libTessalineWord.so";
inline constexpr char kPdfEngineLibrary[] = "libTessalinePdfEngine.so";

struct ComponentClass {
    const char* progId;
    CLSID clsid;
    const char* library;  // file name in the program folder
};

// The component classes the installer registers.
inline constexpr ComponentClass kComponentClasses[] = {
    {kWordApplicationProgId, kWordApplicationClsid, kWordLibrary},
    {kPdfDocumentProgId, kPdfDocumentClsid, kPdfEngineLibrary},
};

}  // namespace tessaline::contracts
