// CIni: reads and writes one INI file through the platform's ANSI profile functions.
//
// The object holds only the file's path; every operation goes straight to the file, so two
// objects on the same path, or two processes, always see its current content. Besides strings
// it stores integers in bases 2, 8, 10 and 16, booleans, floating-point numbers, characters,
// binary blocks as hexadecimal text, points and rectangles, and lists, and it enumerates,
// copies, moves and deletes sections and keys.
//
// Conventions: a null section or key name makes reads return their default and writes fail.
// Lists are written into the caller's buffer as NUL-terminated items followed by one more NUL.
// Counts are DWORDs, truth values BOOLs (0 or 1). Failures show only in the results.
#pragma once

#ifdef TESSALINE_INI_OWNED_STRING
#include <string>
#endif

#include <memory>

#include "platform/win_types.h"

class CIni {
  public:
    CIni();
    explicit CIni(LPCSTR path);
    // Deep copies: each object owns its own copy of the path.
    CIni(const CIni& other);
    CIni& operator=(const CIni& other);
    virtual ~CIni();

    // A null path keeps the storage but empties the stored text.
    void SetPath(LPCSTR path);
    // Copies the path, always NUL-terminated within size; returns the length copied. With no
    // buffer returns the path's length.
    DWORD GetPath(LPSTR buffer, DWORD size) const;

    // Copies at most size bytes of the value and returns min(length, size); when the value is
    // size bytes or longer no terminator is added, so pass a zeroed buffer of size + 1 bytes.
    // With no buffer returns the value's full length.
    DWORD GetString(LPCSTR section, LPCSTR key, LPSTR buffer, DWORD size,
                    LPCSTR defaultValue = nullptr) const;
#ifdef TESSALINE_INI_OWNED_STRING
    std::string GetString(LPCSTR section, LPCSTR key, LPCSTR defaultValue = nullptr) const;
#endif
    // A null value writes the empty string: this never deletes the key.
    BOOL WriteString(LPCSTR section, LPCSTR key, LPCSTR value) const;
    BOOL AppendString(LPCSTR section, LPCSTR key, LPCSTR text) const;
    // Splits the value at every delimiter (null means ",") into a list, optionally trimming the
    // pieces; empty pieces are dropped. Returns the bytes the items and their NULs take; with no
    // buffer, the bytes the whole list needs.
    DWORD GetList(LPCSTR section, LPCSTR key, LPSTR buffer, DWORD size, LPCSTR delimiter = nullptr,
                  BOOL trim = TRUE) const;

    // Numbers read as 32-bit strtoul would; a base other than 2, 8 or 16 means 10.
    int GetInt(LPCSTR section, LPCSTR key, int defaultValue, int base = 10) const;
    UINT GetUInt(LPCSTR section, LPCSTR key, UINT defaultValue, int base = 10) const;
    // "true" and "yes" (any case) or a non-zero decimal number are 1.
    BOOL GetBool(LPCSTR section, LPCSTR key, BOOL defaultValue) const;
    double GetDouble(LPCSTR section, LPCSTR key, double defaultValue) const;
    char GetChar(LPCSTR section, LPCSTR key, char defaultValue) const;

    BOOL WriteInt(LPCSTR section, LPCSTR key, int value, int base = 10) const;
    BOOL WriteUInt(LPCSTR section, LPCSTR key, UINT value, int base = 10) const;
    BOOL WriteBool(LPCSTR section, LPCSTR key, BOOL value) const;
    // Fixed notation; six decimals unless precision is above 0.
    BOOL WriteDouble(LPCSTR section, LPCSTR key, double value, int precision = -1) const;
    BOOL WriteChar(LPCSTR section, LPCSTR key, char value) const;

    BOOL AddToInt(LPCSTR section, LPCSTR key, int increment, int base = 10) const;
    BOOL AddToUInt(LPCSTR section, LPCSTR key, UINT increment, int base = 10) const;
    BOOL AddToDouble(LPCSTR section, LPCSTR key, double increment, int precision = -1) const;
    BOOL ToggleBool(LPCSTR section, LPCSTR key) const;

    // Binary data as two hexadecimal digits per byte. GetHexBlock decodes up to size bytes from
    // byte offset on and returns the count; with no buffer the count available from offset.
    DWORD GetHexBlock(LPCSTR section, LPCSTR key, LPVOID buffer, DWORD size,
                      DWORD offset = 0) const;
    BOOL WriteHexBlock(LPCSTR section, LPCSTR key, LPCVOID data, DWORD size) const;
    BOOL AppendHexBlock(LPCSTR section, LPCSTR key, LPCVOID data, DWORD size) const;

    // Points and rectangles as the hexadecimal text of their 32-bit little-endian fields.
    POINT GetPoint(LPCSTR section, LPCSTR key, POINT defaultValue) const;
    RECT GetRect(LPCSTR section, LPCSTR key, RECT defaultValue) const;
    BOOL WritePoint(LPCSTR section, LPCSTR key, POINT value) const;
    BOOL WriteRect(LPCSTR section, LPCSTR key, RECT value) const;

    // The section's "key=value" lines as a list; with no buffer the size the list needs.
    DWORD GetSectionLines(LPCSTR section, LPSTR buffer, DWORD size) const;
    // The section's key names as a list, each cut to the room left; with no buffer the bytes
    // the names and their NULs need.
    DWORD GetKeyNames(LPCSTR section, LPSTR buffer, DWORD size) const;
    // All section names as a list; with no buffer the size the list needs.
    DWORD GetSectionNames(LPSTR buffer, DWORD size) const;
    BOOL HasSection(LPCSTR section) const;
    BOOL HasKey(LPCSTR section, LPCSTR key) const;

    BOOL DeleteSection(LPCSTR section) const;
    BOOL DeleteKey(LPCSTR section, LPCSTR key) const;
    // Copies fail, changing nothing, when the names are equal (ignoring case), the source does
    // not exist, or failIfExists is set and the target exists.
    BOOL CopySection(LPCSTR from, LPCSTR to, BOOL failIfExists) const;
    BOOL CopyKey(LPCSTR fromSection, LPCSTR fromKey, LPCSTR toSection, LPCSTR toKey,
                 BOOL failIfExists) const;
    // A move deletes the source only after the copy succeeded.
    BOOL MoveSection(LPCSTR from, LPCSTR to, BOOL failIfExists) const;
    BOOL MoveKey(LPCSTR fromSection, LPCSTR fromKey, LPCSTR toSection, LPCSTR toKey,
                 BOOL failIfExists) const;

  private:
    // The value of any length, or the default (empty when null) with a missing name.
    std::unique_ptr<char[]> ReadValue(LPCSTR section, LPCSTR key, LPCSTR defaultValue) const;
    // The path handed to the profile functions: "" when there is none.
    LPCSTR Path() const;

    char* m_pszPath = nullptr;
};
