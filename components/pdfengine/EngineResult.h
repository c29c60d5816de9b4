// Result codes of the engine's file work, as the storage layer names them, and the mapping from
// the C library's errors to them.
#pragma once

#include "platform/com.h"

namespace pdfengine {

constexpr HRESULT kStgFileNotFound = static_cast<HRESULT>(0x80030002);  // STG_E_FILENOTFOUND
constexpr HRESULT kStgPathNotFound = static_cast<HRESULT>(0x80030003);  // STG_E_PATHNOTFOUND
constexpr HRESULT kStgAccessDenied = static_cast<HRESULT>(0x80030005);  // STG_E_ACCESSDENIED
constexpr HRESULT kStgWriteFault = static_cast<HRESULT>(0x8003001D);    // STG_E_WRITEFAULT
constexpr HRESULT kStgReadFault = static_cast<HRESULT>(0x8003001E);     // STG_E_READFAULT
constexpr HRESULT kStgMediumFull = static_cast<HRESULT>(0x80030070);    // STG_E_MEDIUMFULL
constexpr HRESULT kStgInvalidName = static_cast<HRESULT>(0x800300FC);   // STG_E_INVALIDNAME

// The result code for an errno value of a failed file operation; `fallback` for any error
// without a closer code.
HRESULT HresultFromErrno(int error, HRESULT fallback);

}  // namespace pdfengine
