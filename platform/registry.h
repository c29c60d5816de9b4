// The registry: keys and values under HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE, kept in one file
// under the platform root. Key and value names compare case-insensitively. Every change is
// written atomically under a lock, so processes sharing the root see each other's values.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/win_types.h"

struct HKEY__;
using HKEY = HKEY__*;
using PHKEY = HKEY*;
using REGSAM = DWORD;

#define HKEY_CURRENT_USER (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000001u)))
#define HKEY_LOCAL_MACHINE (reinterpret_cast<HKEY>(static_cast<ULONG_PTR>(0x80000002u)))

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_BINARY = 3;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_QWORD = 11;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;
constexpr REGSAM KEY_WRITE = 0x20006;
constexpr REGSAM KEY_ALL_ACCESS = 0xF003F;

constexpr DWORD REG_OPTION_NON_VOLATILE = 0;
constexpr DWORD REG_CREATED_NEW_KEY = 1;
constexpr DWORD REG_OPENED_EXISTING_KEY = 2;

// Opens an existing key; ERROR_FILE_NOT_FOUND when it does not exist.
LSTATUS RegOpenKeyExA(HKEY key, LPCSTR subKey, DWORD options, REGSAM desired, PHKEY result);

// Opens a key, creating it and its parents when missing.
LSTATUS RegCreateKeyExA(HKEY key, LPCSTR subKey, DWORD reserved, LPSTR className, DWORD options,
                        REGSAM desired, void* securityAttributes, PHKEY result,
                        LPDWORD disposition);

LSTATUS RegCloseKey(HKEY key);

// Reads a value. With no data buffer, *dataSize receives the size needed. A buffer too small for
// the value (a string with its terminator) gives ERROR_MORE_DATA and the size needed.
// Needs KEY_QUERY_VALUE access.
LSTATUS RegQueryValueExA(HKEY key, LPCSTR valueName, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataSize);

// Writes a value (the bytes as given). Needs KEY_SET_VALUE access.
LSTATUS RegSetValueExA(HKEY key, LPCSTR valueName, DWORD reserved, DWORD type, const BYTE* data,
                       DWORD dataSize);

LSTATUS RegDeleteValueA(HKEY key, LPCSTR valueName);

// Deletes a key that has no subkeys.
LSTATUS RegDeleteKeyA(HKEY key, LPCSTR subKey);

// Deletes a key with all its subkeys and values (a null subkey: the key's contents).
LSTATUS RegDeleteTreeA(HKEY key, LPCSTR subKey);

// Enumerates the key's direct subkeys and values by index; ERROR_NO_MORE_ITEMS past the end.
LSTATUS RegEnumKeyExA(HKEY key, DWORD index, LPSTR name, LPDWORD nameSize, LPDWORD reserved,
                      LPSTR className, LPDWORD classSize, void* lastWriteTime);
LSTATUS RegEnumValueA(HKEY key, DWORD index, LPSTR valueName, LPDWORD valueNameSize,
                      LPDWORD reserved, LPDWORD type, LPBYTE data, LPDWORD dataSize);

namespace platform {
// The file that holds the registry: "registry" under the platform root.
std::string RegistryFilePath();

namespace registry {
// A key path's names, split at '\' with empty names dropped ("Software\\Tessaline\\" has two).
std::vector<std::string> SplitKeyPath(std::string_view path);
}  // namespace registry
}  // namespace platform
