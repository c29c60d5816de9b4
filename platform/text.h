// Text conversions between the ANSI code page (UTF-8 here) and UTF-16, with the semantics of
// MultiByteToWideChar and WideCharToMultiByte, plus convenience forms for C++ strings.
#pragma once

#include <string>
#include <string_view>

#include "platform/win_types.h"

constexpr UINT CP_ACP = 0;
constexpr UINT CP_OEMCP = 1;
constexpr UINT CP_THREAD_ACP = 3;
constexpr UINT CP_UTF8 = 65001;

constexpr DWORD MB_ERR_INVALID_CHARS = 0x00000008;
constexpr DWORD WC_ERR_INVALID_CHARS = 0x00000080;

// The ANSI code page of this system.
UINT GetACP();

// cbMultiByte -1: the input is NUL-terminated and the terminator is converted too.
// cchWideChar 0: returns the number of UTF-16 units needed. Invalid input is replaced with
// U+FFFD unless MB_ERR_INVALID_CHARS is given (then 0 and ERROR_NO_UNICODE_TRANSLATION).
// A buffer too small gives 0 and ERROR_INSUFFICIENT_BUFFER.
int MultiByteToWideChar(UINT codePage, DWORD flags, LPCSTR multiByte, int cbMultiByte,
                        LPWSTR wideChar, int cchWideChar);

// The reverse direction; an unpaired surrogate becomes U+FFFD unless WC_ERR_INVALID_CHARS is
// given. lpDefaultChar and lpUsedDefaultChar must be null for UTF-8, as on Windows.
int WideCharToMultiByte(UINT codePage, DWORD flags, LPCWSTR wideChar, int cchWideChar,
                        LPSTR multiByte, int cbMultiByte, LPCSTR defaultChar,
                        LPBOOL usedDefaultChar);

// Length of a NUL-terminated UTF-16 string, in code units.
int lstrlenW(LPCWSTR text);

// Case-insensitive comparison of two ANSI strings, multibyte-aware: <0, 0 or >0.
int lstrcmpiA(LPCSTR a, LPCSTR b);

namespace platform {

std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// True when the two texts are equal ignoring letter case (multibyte-aware, UTF-8).
bool EqualsNoCase(std::string_view a, std::string_view b);

// The text in upper case as UTF-16: the key NTFS orders file names by (ordinal comparison of
// the upcased UTF-16 units).
std::u16string UpcaseUtf16(std::string_view utf8);

}  // namespace platform
