// Profile (INI) file functions with the Windows semantics the INI store relies on.
//
// Files hold "[section]" header lines and "key=value" lines in ANSI text. Names compare
// case-insensitively; names and values are kept verbatim apart from surrounding blanks.
// Files written on Windows read as well: CRLF line ends, a UTF-8 byte-order mark, UTF-16LE files
// with their byte-order mark, and ";" comment lines. Every write replaces the file atomically
// (temporary file, rename) under a lock, so concurrent writers from several threads or processes
// lose no update and readers never see a half-written file.
#pragma once

#include "platform/win_types.h"

// Reads a value. A null section lists the section names, a null key the key names of the
// section (double-NUL-terminated lists). Returns the count copied without the terminator; a
// buffer too small gives size - 1 for a value and size - 2 for a list. A missing file, section
// or key gives the default (a null default is the empty string; its trailing blanks are dropped).
DWORD GetPrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR defaultValue,
                               LPSTR returnedString, DWORD size, LPCSTR fileName);

// Writes a value, creating the file, section and key as needed. A null key deletes the section,
// a null value deletes the key. Section, key and value cannot hold line breaks, a key cannot
// hold "=" or begin with "[" or ";", and a section name cannot hold "]": such a write fails with
// ERROR_INVALID_PARAMETER instead of breaking the file's structure.
BOOL WritePrivateProfileStringA(LPCSTR appName, LPCSTR keyName, LPCSTR value, LPCSTR fileName);

// The section's lines ("key=value", comments and blank lines left out) as a double-NUL list.
DWORD GetPrivateProfileSectionA(LPCSTR appName, LPSTR returnedString, DWORD size, LPCSTR fileName);

// Replaces the section's lines with the given double-NUL list; null data deletes the section.
BOOL WritePrivateProfileSectionA(LPCSTR appName, LPCSTR data, LPCSTR fileName);

// All section names as a double-NUL list.
DWORD GetPrivateProfileSectionNamesA(LPSTR returnBuffer, DWORD size, LPCSTR fileName);
